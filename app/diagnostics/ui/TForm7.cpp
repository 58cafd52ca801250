#include "TForm7.h"

#include "link/ui/TForm2.h"
#include "shell/ui/forms.h"
#include "diagnostics/ui/ic_view.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TForm7::TForm7(QWidget *parent) : QWidget(parent) {
    setObjectName("Form7");
    setWindowTitle(QStringLiteral("IC CARD TEST"));
    resize(520, 420);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto *outer = new QVBoxLayout(this);

    GroupBox1 = new QGroupBox(QString::fromUtf8("Operation："), this);
    GroupBox1->setObjectName("GroupBox1");
    auto *ol = new QHBoxLayout(GroupBox1);
    Button1 = new QPushButton(QStringLiteral("IC POWER UP"), GroupBox1);
    Button1->setObjectName("Button1");
    Button2 = new QPushButton(QStringLiteral("IC POWER DOWN"), GroupBox1);
    Button2->setObjectName("Button2");
    ol->addWidget(Button1);
    ol->addWidget(Button2);
    ol->addStretch();
    outer->addWidget(GroupBox1);

    GroupBox2 = new QGroupBox(QString::fromUtf8("APDU："), this);
    GroupBox2->setObjectName("GroupBox2");
    auto *al = new QHBoxLayout(GroupBox2);
    Edit1 = new QLineEdit(GroupBox2);
    Edit1->setObjectName("Edit1");
    Edit1->setFont(fixed);
    MakeApduEntry(Edit1);
    Button3 = new QPushButton(QStringLiteral("SEND"), GroupBox2);
    Button3->setObjectName("Button3");
    al->addWidget(Edit1, 1);
    al->addWidget(Button3);
    outer->addWidget(GroupBox2);

    GroupBox3 = new QGroupBox(QString::fromUtf8("Recevie："), this);
    GroupBox3->setObjectName("GroupBox3");
    auto *rl = new QVBoxLayout(GroupBox3);
    Memo1 = new QPlainTextEdit(GroupBox3);
    Memo1->setObjectName("Memo1");
    Memo1->setFont(fixed);
    rl->addWidget(Memo1);
    outer->addWidget(GroupBox3, 1);

    auto *bl = new QHBoxLayout;
    BitBtn1 = new QPushButton(QStringLiteral("EXIT"), this);
    BitBtn1->setObjectName("BitBtn1");
    bl->addStretch();
    bl->addWidget(BitBtn1);
    outer->addLayout(bl);

    connect(Button1, &QPushButton::clicked, this, &TForm7::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm7::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm7::Button3Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm7::BitBtn1Click);
}

void TForm7::Run(IcOperation operation) {
    if (!Form2 || Exchanging) return;
    TIcView view(this, Memo1);
    Exchanging = true;
    RunIcOperation(Form2->ReaderLink, IcFrontEnd::TestWindow, operation, ApduOf(Edit1),
                   IcFixedTexts(), view);
    Exchanging = false;
}

void TForm7::Button1Click() {
    Run(IcOperation::PowerUp);
}
void TForm7::Button2Click() {
    Run(IcOperation::PowerDown);
}
void TForm7::Button3Click() {
    Run(IcOperation::Apdu);
}

void TForm7::BitBtn1Click() {
    close();
}

void TForm7::closeEvent(QCloseEvent *event) {
    // Closing mid-exchange (the close box still works while the library pumps messages)
    // would enable the configuration window under a running transaction.
    if (Exchanging) {
        event->ignore();
        return;
    }
    event->accept();
    if (Form2) Form2->setEnabled(true);
}
