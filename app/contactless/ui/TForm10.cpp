// The Mifare One window's layout and its input filters.
#include "contactless/ui/TForm10.h"

#include "contactless/mifare_text.h"
#include "contactless/ui/TForm10View.h"
#include "shell/ui/natural_layout.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <utility>

namespace {

QString Name(const char *kind, int n) {
    return QStringLiteral("%1%2").arg(kind).arg(n);
}

// Keys and block rows take hex digits only, upper-cased, whether typed or pasted.
class HexFieldValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override {
        std::string text = input.toStdString();
        if (!NormalizeHexField(text)) return Invalid;
        input = QString::fromStdString(text);
        return Acceptable;
    }
};

// The amount takes digits; what a balance put there (a sign, ten digits) may stay.
class AmountValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override {
        return AmountFieldAllows(input.toStdString()) ? Acceptable : Invalid;
    }
};

QStringList Numbers(int count) {
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << QString::number(i);
    return items;
}

} // namespace

TForm10::TForm10(QWidget *parent) : QWidget(parent) {
    setObjectName("Form10");
    setWindowTitle(QStringLiteral("KELDO three in one 2014_RFID"));
    View = std::make_unique<TMifareWindowView>(this);

    // The controls keep their natural size when the window is enlarged.
    auto *outer = new QVBoxLayout(NaturalContent(this));
    outer->setContentsMargins(0, 0, 0, 0);
    auto *type = new QHBoxLayout;
    Label[1] = new QLabel(QString::fromUtf8("Select Card Type:："), this);
    ComboBox[1] = new QComboBox(this);
    ComboBox[1]->addItem(QStringLiteral("MifareOne"));
    type->addWidget(Label[1]);
    type->addWidget(ComboBox[1]);
    type->addStretch(1);
    outer->addLayout(type);

    GroupBox1 = new QGroupBox(QStringLiteral("MifareOne:"), this);
    GroupBox1->setObjectName("GroupBox1");
    auto *frame = new QVBoxLayout(GroupBox1);
    auto *search = new QHBoxLayout;
    Button[1] = new QPushButton(QStringLiteral("SearchCard"), GroupBox1);
    Edit[1] = new QLineEdit(GroupBox1);
    search->addWidget(Button[1]);
    search->addWidget(Edit[1], 1);
    frame->addLayout(search);
    frame->addWidget(BuildOperationWindow(GroupBox1));
    frame->addWidget(BuildPurse(GroupBox1));
    outer->addWidget(GroupBox1);

    auto *exit = new QHBoxLayout;
    BitBtn[5] = new QPushButton(QStringLiteral("EXIT"), this);
    exit->addStretch(1);
    exit->addWidget(BitBtn[5]);
    outer->addLayout(exit);

    for (int i = 1; i <= 12; ++i)
        if (Label[i]) Label[i]->setObjectName(Name("Label", i));
    for (int i = 1; i <= 5; ++i) {
        ComboBox[i]->setObjectName(Name("ComboBox", i));
        ComboBox[i]->setEditable(false); // only the listed sectors and blocks
        BitBtn[i]->setObjectName(Name("BitBtn", i));
    }
    for (int i = 1; i <= 9; ++i)
        Edit[i]->setObjectName(Name("Edit", i));
    for (int i = 1; i <= 4; ++i)
        RadioButton[i]->setObjectName(Name("RadioButton", i));
    for (int i = 1; i <= 3; ++i)
        Button[i]->setObjectName(Name("Button", i));

    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (int e : {1, 2, 3, 4, 5, 6, 7, 9})
        Edit[e]->setFont(fixed);
    auto *hex = new HexFieldValidator(this);
    for (int e : {2, 3, 4, 5, 6, 7})
        Edit[e]->setValidator(hex);
    for (int e = 3; e <= 6; ++e)
        Edit[e]->setMaxLength(32);
    Edit[8]->setValidator(new AmountValidator(this));
    Edit[8]->installEventFilter(this);
    Edit[9]->setReadOnly(true);
    Edit[9]->setEnabled(false);
    RadioButton[1]->setChecked(true);
    RadioButton[3]->setChecked(true);
    // Each label names the control beside it (to assistive technology too).
    const std::pair<int, QWidget *> labelled[] = {
        {1, ComboBox[1]}, {2, ComboBox[2]},  {3, ComboBox[3]}, {4, Edit[3]},
        {5, Edit[4]},     {6, Edit[5]},      {7, Edit[6]},     {8, Edit[2]},
        {9, ComboBox[5]}, {10, ComboBox[4]}, {11, Edit[7]},    {12, Edit[8]}};
    for (const auto &[label, control] : labelled)
        Label[label]->setBuddy(control);
    // The entry fields of both groups line up: each label column is as wide as the widest
    // label of either group.
    int labelWidth = 0;
    for (int label : {4, 5, 6, 7, 8, 11, 12})
        labelWidth = std::max(labelWidth, Label[label]->sizeHint().width());
    for (QGroupBox *group : {GroupBox2, GroupBox4})
        static_cast<QGridLayout *>(group->layout())->setColumnMinimumWidth(0, labelWidth);

    connect(Button[1], &QPushButton::clicked, this, &TForm10::Button1Click);
    connect(Button[2], &QPushButton::clicked, this, &TForm10::Button2Click);
    connect(Button[3], &QPushButton::clicked, this, &TForm10::Button3Click);
    connect(BitBtn[1], &QPushButton::clicked, this, &TForm10::BitBtn1Click);
    connect(BitBtn[2], &QPushButton::clicked, this, &TForm10::BitBtn2Click);
    connect(BitBtn[3], &QPushButton::clicked, this, &TForm10::BitBtn3Click);
    connect(BitBtn[4], &QPushButton::clicked, this, &TForm10::BitBtn4Click);
    connect(BitBtn[5], &QPushButton::clicked, this, &TForm10::BitBtn5Click);
    connect(Edit[8], &QLineEdit::textChanged, this, &TForm10::Edit8Change);
}

TForm10::~TForm10() = default;

QWidget *TForm10::BuildOperationWindow(QWidget *parent) {
    GroupBox2 = new QGroupBox(QStringLiteral("Operation Window"), parent);
    GroupBox2->setObjectName("GroupBox2");
    auto *grid = new QGridLayout(GroupBox2);

    auto *address = new QHBoxLayout;
    Label[2] = new QLabel(QString::fromUtf8("Sector："), GroupBox2);
    ComboBox[2] = new QComboBox(GroupBox2);
    ComboBox[2]->addItems(Numbers(kMifareSectors));
    Label[3] = new QLabel(QString::fromUtf8("Block："), GroupBox2);
    ComboBox[3] = new QComboBox(GroupBox2);
    ComboBox[3]->addItems(Numbers(kMifareBlocksPerSector));
    RadioButton[1] = new QRadioButton(QStringLiteral("A Key"), GroupBox2);
    RadioButton[2] = new QRadioButton(QStringLiteral("B Key"), GroupBox2);
    for (QWidget *w :
         {static_cast<QWidget *>(Label[2]), static_cast<QWidget *>(ComboBox[2]),
          static_cast<QWidget *>(Label[3]), static_cast<QWidget *>(ComboBox[3]),
          static_cast<QWidget *>(RadioButton[1]), static_cast<QWidget *>(RadioButton[2])})
        address->addWidget(w);
    address->addStretch(1);
    grid->addLayout(address, 0, 0, 1, 2);

    Label[8] = new QLabel(QStringLiteral("Key:"), GroupBox2);
    Edit[2] = new QLineEdit(GroupBox2);
    grid->addWidget(Label[8], 1, 0);
    grid->addWidget(Edit[2], 1, 1);
    for (int row = 0; row < 4; ++row) {
        Label[4 + row] = new QLabel(QString::fromUtf8("%1：").arg(row + 1), GroupBox2);
        Edit[3 + row] = new QLineEdit(GroupBox2);
        grid->addWidget(Label[4 + row], 2 + row, 0);
        grid->addWidget(Edit[3 + row], 2 + row, 1);
    }
    // Room for a whole block: 32 digits.
    Edit[3]->setMinimumWidth(Edit[3]->fontMetrics().horizontalAdvance(QString(34, QChar('D'))));

    auto *buttons = new QHBoxLayout;
    Button[2] = new QPushButton(QStringLiteral("Read Card"), GroupBox2);
    Button[3] = new QPushButton(QStringLiteral("Write Card"), GroupBox2);
    buttons->addStretch(1);
    buttons->addWidget(Button[2]);
    buttons->addWidget(Button[3]);
    grid->addLayout(buttons, 6, 0, 1, 2);
    return GroupBox2;
}

QWidget *TForm10::BuildPurse(QWidget *parent) {
    GroupBox4 = new QGroupBox(QStringLiteral("Purse Function"), parent);
    GroupBox4->setObjectName("GroupBox4");
    auto *grid = new QGridLayout(GroupBox4);

    auto *address = new QHBoxLayout;
    Label[10] = new QLabel(QString::fromUtf8("Sector："), GroupBox4);
    ComboBox[4] = new QComboBox(GroupBox4);
    ComboBox[4]->addItems(Numbers(kMifareSectors));
    Label[9] = new QLabel(QString::fromUtf8("Block："), GroupBox4);
    ComboBox[5] = new QComboBox(GroupBox4);
    ComboBox[5]->addItems(Numbers(kMifareBlocksPerSector));
    RadioButton[3] = new QRadioButton(QStringLiteral("A Key"), GroupBox4);
    RadioButton[4] = new QRadioButton(QStringLiteral("B Key"), GroupBox4);
    for (QWidget *w :
         {static_cast<QWidget *>(Label[10]), static_cast<QWidget *>(ComboBox[4]),
          static_cast<QWidget *>(Label[9]), static_cast<QWidget *>(ComboBox[5]),
          static_cast<QWidget *>(RadioButton[3]), static_cast<QWidget *>(RadioButton[4])})
        address->addWidget(w);
    address->addStretch(1);
    grid->addLayout(address, 0, 0, 1, 3);

    Label[11] = new QLabel(QStringLiteral("Key:"), GroupBox4);
    Edit[7] = new QLineEdit(GroupBox4);
    grid->addWidget(Label[11], 1, 0);
    grid->addWidget(Edit[7], 1, 1, 1, 2);
    Label[12] = new QLabel(QStringLiteral("Data:"), GroupBox4);
    Edit[8] = new QLineEdit(GroupBox4);
    Edit[9] = new QLineEdit(GroupBox4);
    grid->addWidget(Label[12], 2, 0);
    grid->addWidget(Edit[8], 2, 1);
    grid->addWidget(Edit[9], 2, 2);

    auto *buttons = new QHBoxLayout;
    const char *const captions[] = {"", "Initialize", "Increase", "Decrease", "Balance"};
    for (int i = 1; i <= 4; ++i) {
        BitBtn[i] = new QPushButton(QString::fromLatin1(captions[i]), GroupBox4);
        buttons->addWidget(BitBtn[i]);
    }
    grid->addLayout(buttons, 3, 0, 1, 3);
    return GroupBox4;
}

bool TForm10::eventFilter(QObject *watched, QEvent *event) {
    // The amount takes typed digits, at most nine; editing keys and shortcuts pass.
    if (watched == Edit[8] && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const QString typed = key->text();
        if (typed.size() == 1 && typed[0].unicode() >= 0x20 && typed[0].unicode() != 0x7F) {
            QString result = Edit[8]->text();
            if (Edit[8]->hasSelectedText())
                result.remove(Edit[8]->selectionStart(), Edit[8]->selectedText().size());
            const char c = typed[0].unicode() < 0x80 ? char(typed[0].unicode()) : '?';
            if (!AmountKeyAccepted(c, (result + typed).toStdString())) return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm10::Edit8Change() {
    const QString text = Edit[8]->text();
    if (!text.isEmpty())
        Edit[9]->setText(QString::fromStdString(AmountBytesText(text.toStdString())));
}
