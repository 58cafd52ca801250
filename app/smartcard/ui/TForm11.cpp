// The PC/SC window: layout, showing and closing; its operations run in the Qt-free
// pcsc_operations over the view below.
#include "smartcard/ui/TForm11.h"

#include "shell/ui/TForm1.h"
#include "shell/ui/busy_cursor.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"
#include "shell/ui/program_exit.h"
#include "smartcard/apdu_text.h"
#include "smartcard/pcsc_operations.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QValidator>

// The window as its operations see it.
class TPcscWindowView : public TPcscWindow {
  public:
    explicit TPcscWindowView(TForm11 *form) : Form(form) {}
    void Message(const std::string &text) override {
        msgbox::information(Form, QString::fromStdString(text));
    }
    void ClearReaders() override { Form->ComboBox1->clear(); }
    void AddReader(const std::string &name) override {
        Form->ComboBox1->addItem(QString::fromUtf8(name.data(), qsizetype(name.size())));
    }
    void SelectReader(int index) override { Form->ComboBox1->setCurrentIndex(index); }
    void SetReaderText(const std::string &text) override {
        Form->ComboBox1->setEditText(QString::fromStdString(text));
    }
    int ReaderIndex() override {
        // Text typed over the chosen name chooses no reader.
        const int index = Form->ComboBox1->currentIndex();
        if (index < 0 || Form->ComboBox1->currentText() != Form->ComboBox1->itemText(index))
            return -1;
        return index;
    }
    std::string CommandText() override { return Form->Edit1->text().toStdString(); }
    bool AutoGetResponse() override { return Form->CheckBox1->isChecked(); }
    void ShowResponse(const std::string &text, const std::string &details) override {
        Form->Edit2->setText(QString::fromStdString(text));
        Form->Edit2->setToolTip(QString::fromStdString(details));
    }

  private:
    TForm11 *Form;
};

namespace {
// The command field takes hexadecimal digits and blanks, a-f as A-F; typed, pasted, dropped
// and composed text alike. Text that would not fit is refused whole.
class TCommandValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override {
        if (!IsCommandInput(input.toStdString())) return Invalid;
        input = input.toUpper();
        return Acceptable;
    }
};

QPushButton *MakeButton(QWidget *parent, const char *name, const char *caption, int x, int y,
                        int w = 86) {
    auto *b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, 28);
    return b;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const char *caption, int x, int y) {
    auto *l = new QLabel(QString::fromLatin1(caption), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(x, y, 90, 24);
    return l;
}
} // namespace

TForm11::TForm11(QWidget *parent) : QWidget(parent) {
    setObjectName("Form11");
    setWindowTitle(QStringLiteral("KELDO three in one 2014_PCSC"));
    setFixedSize(520, 212);
    View = std::make_unique<TPcscWindowView>(this);

    Label1 = MakeLabel(this, "Label1", "Reader List:", 16, 16);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    ComboBox1->setGeometry(106, 16, 296, 26);
    // Editable so that it can show a notice, but Enter adds nothing: item i stays reader i.
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    Label1->setBuddy(ComboBox1);
    BitBtn1 = MakeButton(this, "BitBtn1", "Refresh", 416, 15, 88);

    BitBtn2 = MakeButton(this, "BitBtn2", "Open", 16, 58);
    BitBtn3 = MakeButton(this, "BitBtn3", "Close", 112, 58);
    BitBtn4 = MakeButton(this, "BitBtn4", "Reset", 208, 58);
    Button1 = MakeButton(this, "Button1", "Free", 304, 58);

    Edit1 = new QLineEdit(QStringLiteral("0084000004"), this);
    Edit1->setObjectName("Edit1");
    Edit1->setGeometry(16, 104, 386, 26);
    Edit1->setValidator(new TCommandValidator(Edit1));
    BitBtn5 = MakeButton(this, "BitBtn5", "Apdu", 416, 103, 88);
    CheckBox1 = new QCheckBox(QStringLiteral("Auto GET RESPONSE"), this);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->setGeometry(16, 134, 240, 24);
    CheckBox1->setToolTip(
        QStringLiteral("61xx: GET RESPONSE with Le = xx; 6Cxx: the command again with Le = xx"));

    Label2 = MakeLabel(this, "Label2", "Receive:", 16, 168);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName("Edit2");
    Edit2->setGeometry(106, 168, 296, 26);
    Edit2->setReadOnly(true);
    Edit2->setEnabled(false);
    Label2->setBuddy(Edit2);
    BitBtn6 = MakeButton(this, "BitBtn6", "EXIT", 416, 167, 88);

    connect(BitBtn1, &QPushButton::clicked, this, &TForm11::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm11::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm11::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TForm11::BitBtn4Click);
    connect(Button1, &QPushButton::clicked, this, &TForm11::Button1Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TForm11::BitBtn5Click);
    connect(BitBtn6, &QPushButton::clicked, this, &TForm11::BitBtn6Click);
}

TForm11::~TForm11() = default;

TPcscContext TForm11::Context() {
    return TPcscContext{PcscLink, Readers, *View};
}

void TForm11::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // Restoring from minimised is not a new showing.
    if (!event->spontaneous()) FormShow();
}

void TForm11::FormShow() {
    View->ShowResponse("", "");
    if (Form1 && Form1->PortChoice.FirstShowPcsc == 1) {
        const auto ask = [](const char *caption) {
            if (msgbox::question(nullptr, QString::fromLatin1(caption),
                                 QString::fromLatin1(kPcscCloseQuestion)))
                EndProgram();
        };
        if (BindPcscLink(PcscLink, ask, BrenmarkLibraryFile.c_str()) != BindResult::Ok) return;
    }
    TBusyCursor busy;
    PcscList(Context());
}

void TForm11::closeEvent(QCloseEvent *event) {
    {
        TBusyCursor busy;
        PcscEndConnection(Context());
    }
    if (Form1 && !ProgramEndRequested()) {
        Form1->PortChoice.FirstShowPcsc = 0;
        Form1->show();
    }
    event->accept();
}

// Each button talks to the card service, which may take its time (a card being reset, a
// reader that hangs): the busy cursor shows meanwhile; its boxes show the arrow.
void TForm11::BitBtn1Click() {
    TBusyCursor busy;
    PcscRefresh(Context());
}
void TForm11::BitBtn2Click() {
    TBusyCursor busy;
    PcscOpen(Context());
}
void TForm11::BitBtn3Click() {
    TBusyCursor busy;
    PcscClose(Context());
}
void TForm11::BitBtn4Click() {
    TBusyCursor busy;
    PcscReset(Context());
}
void TForm11::Button1Click() {
    TBusyCursor busy;
    PcscFree(Context());
}
void TForm11::BitBtn5Click() {
    TBusyCursor busy;
    PcscApdu(Context());
}
void TForm11::BitBtn6Click() {
    // Closing ends the card connection (see closeEvent).
    close();
}
