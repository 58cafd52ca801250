#include "TForm6.h"

#include "keycodes/key_grid.h"
#include "keycodes/text_entry.h"
#include "link/ui/TForm2.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QValidator>

// Text that reaches the entry other than by typing (pasted, dropped, from an input method)
// is held to the printable characters; what the window itself put there may stay.
class TForm6::TTextValidator : public QValidator {
  public:
    using QValidator::QValidator;
    QString Shown;

    State validate(QString &input, int &) const override {
        return TextAllowed(std::u16string_view(reinterpret_cast<const char16_t *>(input.utf16()),
                                               size_t(input.size())),
                           std::u16string_view(reinterpret_cast<const char16_t *>(Shown.utf16()),
                                               size_t(Shown.size())))
                   ? Acceptable
                   : Invalid;
    }
};

TForm6::TForm6(QWidget *parent) : QWidget(parent) {
    setObjectName("Form6");
    setWindowTitle(QStringLiteral("ASCII_CODE"));
    setFixedSize(360, 170);

    GroupBox1 = new QGroupBox(QStringLiteral("ASCII INPUT:"), this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(8, 8, 344, 104);
    Label1 = new QLabel(QStringLiteral("Enter a string to represent the MSR:"), GroupBox1);
    Label1->setObjectName("Label1");
    Label1->setGeometry(12, 24, 320, 20);
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName("Edit1");
    Label1->setBuddy(Edit1);
    Edit1->setGeometry(12, 54, 250, 26);
    Validator = new TTextValidator(Edit1);
    Edit1->setValidator(Validator);
    Edit1->installEventFilter(this);
    Label2 = new QLabel(QStringLiteral("0"), GroupBox1);
    Label2->setObjectName("Label2");
    Label2->setGeometry(268, 48, 64, 36);
    Label2->setAlignment(Qt::AlignCenter);
    QFont big = Label2->font();
    big.setPointSize(16);
    big.setBold(true);
    Label2->setFont(big);
    QPalette blue = Label2->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label2->setPalette(blue);
    connect(Edit1, &QLineEdit::textChanged, this, &TForm6::Edit1Change);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(84, 126, 80, 30);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setGeometry(196, 126, 80, 30);
    // A focused button takes Return itself; elsewhere Return is OK and Escape Cancel.
    BitBtn1->setAutoDefault(true);
    BitBtn2->setAutoDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm6::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm6::BitBtn2Click);
}

void TForm6::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // Restoring from minimised is not a new showing.
    if (!event->spontaneous()) FormShow();
}

void TForm6::FormShow() {
    const std::string text =
        Form2 ? SequenceText(Form2->MsrSettings, Form2->MsrSettings.EditedSequence) : "";
    Validator->Shown = QString::fromLatin1(text.data(), qsizetype(text.size()));
    Edit1->setText(Validator->Shown);
    Edit1->setFocus();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm6::Edit1Change() {
    Label2->setText(QString::number(Edit1->text().size()));
}

bool TForm6::Edit1KeyPress(const QKeyEvent *event) {
    // Only keys that type a character: shortcuts, the window's own keys and the keys that
    // move the cursor go on.
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return false;
    default:
        break;
    }
    const int character = event->key() == Qt::Key_Backspace ? kBackspace
                          : event->text().isEmpty()         ? -1
                                                            : event->text().at(0).unicode();
    if (character < 0) return false;
    // The text as the key would leave it: typed over the selection, or at the cursor.
    QString withKey = Edit1->text();
    if (character != kBackspace) {
        if (Edit1->hasSelectedText())
            withKey.replace(Edit1->selectionStart(), Edit1->selectedText().size(),
                            QChar(character));
        else
            withKey.insert(Edit1->cursorPosition(), QChar(character));
    }
    switch (FilterTypedKey(character, withKey.toLatin1().toStdString())) {
    case TTypedKey::Insert:
        return false;
    case TTypedKey::Swallow:
        return true;
    case TTypedKey::Exceed:
        msgbox::information(this, QString::fromLatin1(kExceedLimitText));
        return true;
    }
    return true;
}

bool TForm6::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Edit1 && event->type() == QEvent::KeyPress)
        return Edit1KeyPress(static_cast<QKeyEvent *>(event));
    return QWidget::eventFilter(watched, event);
}

void TForm6::keyPressEvent(QKeyEvent *event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        BitBtn1->click();
        return;
    case Qt::Key_Escape:
        BitBtn2->click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TForm6::BitBtn1Click() {
    const QString text = Edit1->text();
    // Pasted text can pass the limit the typed-key filter keeps.
    if (TextTooLong(text.toLatin1().toStdString())) {
        msgbox::information(this, QString::fromLatin1(kTextTooLongText));
        return;
    }
    if (Form2)
        StoreSequenceText(Form2->MsrSettings, Form2->MsrSettings.EditedSequence,
                          text.toLatin1().toStdString());
    close();
}

void TForm6::BitBtn2Click() {
    close();
}

void TForm6::closeEvent(QCloseEvent *event) {
    event->accept();
    Edit1->clear();
    if (!Form2) return;
    // The configuration window comes back; Button7 puts every radio pair back to the mode
    // its sequence now has (the click that opened this window checked an ASCII button).
    Form2->setEnabled(true);
    Form2->Button[7]->click();
}
