#include "TForm3.h"

#include "link/ui/TForm2.h"
#include "link/ui/comthread.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/TForm9.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"
#include "diagnostics/port_label.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>

namespace {
const char *const kOpenFailedCaption = "MSR Configuration";
const char *const kOpenFailedText = "Can't Open the COM!!";
// How long a stop waits for the receive thread before the configuration window is enabled
// again or a new thread starts.
constexpr int kJoinBoundMs = 1000;
// The serial port's grey while the USB port is selected (red, green, blue).
const QColor kDisabledPortColour(0xA0, 0xA0, 0xA4);
} // namespace

TForm3::TForm3(QWidget *parent) : QWidget(parent) {
    setObjectName("Form3");
    setWindowTitle(QStringLiteral("MSR Test Page"));
    setFixedSize(520, 400);

    Label3 = new QLabel(QStringLiteral("MSR PORT :"), this);
    Label3->setObjectName("Label3");
    Label3->setGeometry(16, 12, 90, 22);
    Label4 = new QLabel(QStringLiteral("USB_HID"), this);
    Label4->setObjectName("Label4");
    Label4->setGeometry(110, 12, 390, 22);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setGeometry(16, 40, 488, 344);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Only typed keys and the receive thread fill the memo (no paste, no drop).
    Memo1->setReadOnly(true);

    // The controls below exist but are never shown: they stand right of the window area.
    GroupBox1 = new QGroupBox(QStringLiteral("Select Test Port"), this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(540, 12, 160, 80);
    RadioButton1 = new QRadioButton(QStringLiteral("USB_HID"), GroupBox1);
    RadioButton1->setObjectName("RadioButton1");
    RadioButton1->setGeometry(10, 20, 140, 22);
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(QStringLiteral("COM Port"), GroupBox1);
    RadioButton2->setObjectName("RadioButton2");
    RadioButton2->setGeometry(10, 48, 140, 22);
    Button1 = new QPushButton(QStringLiteral("TEST START"), this);
    Button1->setObjectName("Button1");
    Button1->setGeometry(540, 100, 100, 28);
    Button2 = new QPushButton(QStringLiteral("TEST STOP"), this);
    Button2->setObjectName("Button2");
    Button2->setGeometry(540, 136, 100, 28);
    BitBtn1 = new QPushButton(QStringLiteral("EXIT"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(540, 172, 100, 28);
    GroupBox2 = new QGroupBox(QStringLiteral("COM Setting"), this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(540, 210, 200, 90);
    Label1 = new QLabel(QStringLiteral("Port:"), GroupBox2);
    Label1->setObjectName("Label1");
    Label1->setGeometry(10, 22, 70, 22);
    ComboBox1 = new QComboBox(GroupBox2);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setGeometry(90, 22, 100, 24);
    for (int i = 1; i <= 16; ++i)
        ComboBox1->addItem(QStringLiteral("COM%1").arg(i));
    Label2 = new QLabel(QStringLiteral("Baud Rate:"), GroupBox2);
    Label2->setObjectName("Label2");
    Label2->setGeometry(10, 54, 70, 22);
    ComboBox2 = new QComboBox(GroupBox2);
    ComboBox2->setObjectName("ComboBox2");
    ComboBox2->setGeometry(90, 54, 100, 24);
    ComboBox2->addItems(
        {QStringLiteral("9600"), QStringLiteral("38400"), QStringLiteral("115200")});
    for (QWidget *hidden : {static_cast<QWidget *>(GroupBox1), static_cast<QWidget *>(Button1),
                            static_cast<QWidget *>(Button2), static_cast<QWidget *>(BitBtn1),
                            static_cast<QWidget *>(GroupBox2)})
        hidden->setVisible(false);

    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm3::BitBtn1Click);
    connect(RadioButton1, &QRadioButton::clicked, this, &TForm3::RadioButton1Click);
    connect(RadioButton2, &QRadioButton::clicked, this, &TForm3::RadioButton2Click);

    // Key preview: the page sees every key before the control that has the focus.
    installEventFilter(this);
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);
    FormCreate();
}

TForm3::~TForm3() {
    // No receive thread outlives the page, however long its library takes to return.
    StopRequested.store(1);
    if (Thread && Serial.Bound) Serial.Set_flagF();
    JoinReceiveThread(-1);
}

void TForm3::FormCreate() {
    ClearMemo();
}

void TForm3::ClearMemo() {
    Memo1->clear();
    // Bytes of an earlier run still queued for the memo are dropped from now on.
    ++Run;
    Receiving = false;
}

void TForm3::AppendToMemo(const QString &text) {
    Memo1->moveCursor(QTextCursor::End);
    Memo1->insertPlainText(text);
    Memo1->moveCursor(QTextCursor::End);
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

void TForm3::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return; // restored from minimised: not a new showing
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormShow();
}

void TForm3::FormShow() {
    ++Showing;
    ClearMemo();
    const bool cardOnUsb = Form2 && Form2->CardOnUsb == 1;
    const bool iButtonOnSerial = Form2 && Form2->IButtonOnSerial == 1;
    const int32_t portIndex = Form1 ? Form1->PortChoice.PortNameIndex : 0;
    Label4->setText(QString::fromLatin1(TestPortLabel(cardOnUsb, iButtonOnSerial, portIndex)));
    // Keys typed before the test has started are not the reader's.
    KeyInputOff = 1;
    if (cardOnUsb || iButtonOnSerial)
        PostClick(&TForm3::Button1Click);
    else
        ShowReaderNotFound();
}

void TForm3::PostClick(void (TForm3::*click)()) {
    const quint64 showing = Showing;
    QMetaObject::invokeMethod(
        this,
        [this, showing, click] {
            // A page closed (or closed and shown again) before the click arrived must not
            // start a test nobody stops.
            if (showing == Showing && isVisible()) (this->*click)();
        },
        Qt::QueuedConnection);
}

void TForm3::ShowReaderNotFound() {
    if (Form9) {
        Form9->Label2->setText(QStringLiteral("USB AND COM"));
        Form9->show();
    }
    QCoreApplication::processEvents();
    PostClick(&TForm3::BitBtn1Click);
}

void TForm3::Button1Click() {
    // At most one receive thread per page: the one of an earlier start ends first. One
    // whose library has not returned within the bound still reads the stop flag, so the
    // flag stays set and no second thread is started beside it.
    bool joined = true;
    if (Thread) {
        RequestStop();
        joined = JoinReceiveThread(kJoinBoundMs);
    }
    if (joined) StopRequested.store(0);
    ClearMemo();
    const bool cardOnUsb = Form2 && Form2->CardOnUsb == 1;
    const bool iButtonOnSerial = Form2 && Form2->IButtonOnSerial == 1;
    if (cardOnUsb) KeyInputOff = 0;
    if (iButtonOnSerial) {
        KeyInputOff = 0;
        if (joined) StartReceiveThread();
    }
    if (!cardOnUsb && !iButtonOnSerial) ShowReaderNotFound();
}

void TForm3::StartReceiveThread() {
    Serial = Form2 ? SerialEntryPoints(Form2->ReaderLink) : TSerialEntryPoints{};
    if (!Serial.Bound) {
        msgbox::information(this, QString::fromLatin1(kSerialOpenError));
        return;
    }
    Thread = std::make_unique<comthread>(Serial, StopRequested, Run);
    comthread *thread = Thread.get();
    connect(
        thread, &comthread::Received, this,
        [this](quint64 run, const QString &text) {
            if (run == Run) AppendToMemo(text);
        },
        Qt::QueuedConnection);
    connect(
        thread, &comthread::OpenFailed, this,
        [this](quint64 run) {
            if (run == Run && isVisible())
                msgbox::information(this, QString::fromLatin1(kOpenFailedCaption),
                                    QString::fromLatin1(kOpenFailedText));
        },
        Qt::QueuedConnection);
    connect(
        thread, &comthread::Receiving, this,
        [this](quint64 run) {
            if (run == Run) Receiving = true;
        },
        Qt::QueuedConnection);
    const int id = ++ThreadsStarted;
    ThreadId = id;
    connect(
        thread, &QThread::finished, this, [this, id] { ThreadFinished(id); }, Qt::QueuedConnection);
    thread->start(QThread::LowPriority);
}

void TForm3::ThreadFinished(int id) {
    if (!Thread || ThreadId != id) return; // already joined (and perhaps replaced)
    Thread->wait();
    Thread.reset();
}

bool TForm3::ReceiveThreadRunning() const {
    return Thread && !Thread->isFinished();
}

void TForm3::RequestStop() {
    StopRequested.store(1);
    if (Form2 && Form2->ReaderLink.SerialBound && Form2->ReaderLink.Set_flagF)
        Form2->ReaderLink.Set_flagF();
}

bool TForm3::JoinReceiveThread(int ms) {
    if (!Thread) return true;
    const bool ended = ms < 0 ? Thread->wait() : Thread->wait(QDeadlineTimer(ms));
    if (ended) Thread.reset();
    return ended;
}

void TForm3::Button2Click() {
    RequestStop();
    Button1->setEnabled(true);
    BitBtn1->setEnabled(true);
    KeyInputOff = 1;
}

void TForm3::BitBtn1Click() {
    RequestStop();
    close();
}

void TForm3::closeEvent(QCloseEvent *event) {
    RequestStop();
    JoinReceiveThread(kJoinBoundMs);
    event->accept();
    // The reader-not-found window enables the configuration window when it closes.
    if (Form9 && Form9->isVisible()) return;
    if (Form2) Form2->setEnabled(true);
}

void TForm3::RadioButton1Click() {
    ComboBox1->setEnabled(false);
    QPalette p = ComboBox1->palette();
    p.setColor(QPalette::Base, kDisabledPortColour);
    p.setColor(QPalette::Button, kDisabledPortColour);
    ComboBox1->setPalette(p);
}

void TForm3::RadioButton2Click() {
    ComboBox1->setEnabled(true);
    const QColor face = palette().color(QPalette::Button);
    QPalette p = ComboBox1->palette();
    p.setColor(QPalette::Base, face);
    p.setColor(QPalette::Button, face);
    ComboBox1->setPalette(p);
}

bool TForm3::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress) {
        // Every key ends here: nothing is typed into a control of the page.
        FormKeyPress(static_cast<const QKeyEvent *>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm3::FormKeyPress(const QKeyEvent *event) {
    if (KeyInputOff != 0) return;
    QString text = event->text();
    if (text.isEmpty() && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter))
        text = QStringLiteral("\r");
    if (text.isEmpty()) return;
    QString out;
    for (QChar c : text) {
        if (c == QLatin1Char('\r'))
            out += QStringLiteral("\r\n");
        else
            out += c;
    }
    AppendToMemo(out);
}
