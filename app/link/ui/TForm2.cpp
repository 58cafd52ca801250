// The configuration window's layout: pages, buttons, menu and status bar.
#include "TForm2.h"

#include "config/ui/TUpDown.h"
#include "config/ui/sentinel_validator.h"
#include "link/ui/TForm2View.h"
#include "shell/ui/natural_layout.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstring>

namespace {

const char *const kOrderItems[] = {"0-All",   "1-CRC,ID",   "2-ID,FC",        "3-ID",
                                   "4-Other", "5-Disabled", "6-Prefix&Suffix"};
const char *const kSequenceItems[] = {"1-2-3", "1-3-2", "2-1-3", "2-3-1", "3-1-2", "3-2-1"};
const char *const kLanguageItems[] = {"USA",     "Finland", "FRENCH",  "GERMAN",
                                      "ITALIAN", "SPANISH", "JAPANESE"};

QString Name(const char *kind, int n) {
    return QStringLiteral("%1%2").arg(kind).arg(n);
}

// A page whose controls keep their natural size in a larger window.
QGridLayout *NaturalPage(QWidget *page) {
    auto *grid = new QGridLayout(NaturalContent(page));
    grid->setContentsMargins(0, 0, 0, 0);
    return grid;
}

// A list that keeps the width of its longest item.
void NaturalWidth(QComboBox *combo) {
    combo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

// A label that names `control` (to assistive technology too), beside it.
QLabel *Labelled(const QString &text, QWidget *control) {
    auto *label = new QLabel(text, control->parentWidget());
    label->setBuddy(control);
    return label;
}

// One character that the reader can take as its byte.
void MakeSentinelEdit(QLineEdit *edit) {
    edit->setMaxLength(1);
    edit->setFixedWidth(32);
    edit->setValidator(new TSentinelValidator(edit));
}

} // namespace

TForm2::TForm2(QWidget *parent) : QMainWindow(parent) {
    setObjectName("Form2");
    setWindowTitle(QStringLiteral("KM5530_MSR V1.00"));
    View = std::make_unique<TMsrWindowView>(this);

    auto *central = new QWidget(this);
    setCentralWidget(central);
    auto *outer = new QVBoxLayout(central);

    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName("PageControl1");
    const char *const tabCaptions[] = {"", "     ISO     ", "   JIS2   ", "   iButton   ",
                                       "   IC_CARD   "};
    for (int i = 1; i <= 4; ++i) {
        TabSheet[i] = new QWidget;
        TabSheet[i]->setObjectName(Name("TabSheet", i));
        PageControl1->addTab(TabSheet[i], QString::fromLatin1(tabCaptions[i]));
    }
    BuildIsoPage(TabSheet[1]);
    BuildJis2Page(TabSheet[2]);
    BuildIButtonPage(TabSheet[3]);
    BuildIcCardPage(TabSheet[4]);
    outer->addWidget(PageControl1);

    // The buttons keep their size, centred under the pages.
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    const char *const captions[] = {
        "", "Load", "Normal Mode", "Test Mode", "Save", "Set Default", "Test MSR", "Button7", "",
        "", "",     "Open File",   "Save File"};
    for (int i : {1, 2, 3, 4, 5, 6, 7, 11, 12}) {
        Button[i] = new QPushButton(QString::fromLatin1(captions[i]), central);
        Button[i]->setObjectName(Name("Button", i));
        buttons->addWidget(Button[i]);
    }
    BitBtn1 = new QPushButton(QStringLiteral("EXIT"), central);
    BitBtn1->setObjectName("BitBtn1");
    buttons->addWidget(BitBtn1);
    buttons->addStretch(1);
    // Button7 is pressed by the sequence editors; the file buttons are kept for the
    // settings-file operations but not offered.
    for (int i : {7, 11, 12})
        Button[i]->setVisible(false);
    outer->addLayout(buttons);

    BuildMenu();
    BuildStatusBar();
    ConnectIcCard();

    connect(Button[1], &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button[2], &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(Button[3], &QPushButton::clicked, this, &TForm2::Button3Click);
    connect(Button[4], &QPushButton::clicked, this, &TForm2::Button4Click);
    connect(Button[5], &QPushButton::clicked, this, &TForm2::Button5Click);
    connect(Button[6], &QPushButton::clicked, this, &TForm2::Button6Click);
    connect(Button[7], &QPushButton::clicked, this, &TForm2::Button7Click);
    connect(Button[11], &QPushButton::clicked, this, &TForm2::Button11Click);
    connect(Button[12], &QPushButton::clicked, this, &TForm2::Button12Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    for (int t = 1; t <= 3; ++t)
        connect(CheckBox[t], &QCheckBox::clicked, this, [this, t] { CheckBoxTrackClick(t); });
    connect(ComboBox[4], &QComboBox::activated, this, &TForm2::ComboBox4Change);
    connect(ComboBox[5], &QComboBox::activated, this, &TForm2::ComboBox5Change);
    for (int i = 1; i <= 4; ++i)
        connect(UpDown[i], &TUpDown::Pressed, this, [this, i](bool up) { StepUpDown(i, up); });

    // Creation: the language list, an empty IC transcript, the JIS2 tab hidden and the
    // ISO page active, nothing bound.
    ComboBox[3]->setCurrentIndex(0);
    Memo2->clear();
    std::memset(MsrSettings.CustomLanguage, 0, sizeof MsrSettings.CustomLanguage);
    PageControl1->setTabVisible(1, false); // JIS2
    PageControl1->setTabVisible(3, false); // IC_CARD
    PageControl1->setCurrentIndex(0);
    ReaderLink.HidBound = 0;
    ReaderLink.SerialBound = 0;
    WriteControls(InitialControls());
    resize(560, 470);
}

TForm2::~TForm2() = default;

void TForm2::BuildIsoPage(QWidget *page) {
    QGridLayout *grid = NaturalPage(page);

    auto *tracks = new QGroupBox(QStringLiteral("Tracks"), page);
    tracks->setObjectName("GroupBox2");
    auto *tg = new QGridLayout(tracks);
    for (int t = 1; t <= 3; ++t) {
        CheckBox[t] = new QCheckBox(QStringLiteral("Track %1:").arg(t), tracks);
        tg->addWidget(CheckBox[t], t - 1, 0);
        for (int k = 0; k < 2; ++k) {
            int e = 2 * t - 1 + k;
            auto *label =
                new QLabel(QStringLiteral("%1 %2:").arg(k == 0 ? "SS" : "ES").arg(t), tracks);
            Edit[e] = new QLineEdit(tracks);
            label->setBuddy(Edit[e]);
            tg->addWidget(label, t - 1, 1 + 2 * k);
            tg->addWidget(Edit[e], t - 1, 2 + 2 * k);
        }
        CheckBox[t + 3] = new QCheckBox(QStringLiteral("Enter"), tracks);
        tg->addWidget(CheckBox[t + 3], t - 1, 5);
    }
    tg->setColumnStretch(6, 1);
    grid->addWidget(tracks, 0, 0, 1, 3);

    grid->addWidget(PickerGroup(QStringLiteral("Header"), 1), 1, 0);
    grid->addWidget(PickerGroup(QStringLiteral("Separator"), 3), 1, 1);
    grid->addWidget(PickerGroup(QStringLiteral("Suffix"), 5), 1, 2);

    auto *others = new QGroupBox(QStringLiteral("Others"), page);
    others->setObjectName("GroupBox3");
    auto *og = new QGridLayout(others);
    const char *const checks[] = {"Enable Beep", "Support IBM  Card",
                                  "Output Data For Any Valid Track"};
    for (int i = 0; i < 3; ++i) {
        CheckBox[7 + i] = new QCheckBox(QString::fromLatin1(checks[i]), others);
        og->addWidget(CheckBox[7 + i], i, 0, 1, 2);
    }
    ComboBox[1] = new QComboBox(others);
    for (const char *item : kSequenceItems)
        ComboBox[1]->addItem(QString::fromLatin1(item));
    og->addWidget(Labelled(QStringLiteral("Reading Sequence:"), ComboBox[1]), 3, 0);
    og->addWidget(ComboBox[1], 3, 1, Qt::AlignLeft);
    ComboBox[3] = new QComboBox(others);
    for (const char *item : kLanguageItems)
        ComboBox[3]->addItem(QString::fromLatin1(item));
    // Shown while the reader's own language is not one of the list.
    ComboBox[3]->setPlaceholderText(QStringLiteral("UNKNOW"));
    og->addWidget(Labelled(QStringLiteral("Language Selection:"), ComboBox[3]), 4, 0);
    og->addWidget(ComboBox[3], 4, 1, Qt::AlignLeft);
    og->setColumnStretch(2, 1);
    grid->addWidget(others, 2, 0, 1, 3);

    GroupBox1 = new QGroupBox(QStringLiteral("Port Setting"), page);
    GroupBox1->setObjectName("GroupBox1");
    auto *pg = new QGridLayout(GroupBox1);
    ComboBox[2] = new QComboBox(GroupBox1);
    ComboBox[6] = new QComboBox(GroupBox1);
    for (int i : {2, 6})
        ComboBox[i]->addItems({QStringLiteral("USB"), QStringLiteral("COM")});
    Label13 = new QLabel(QStringLiteral("USB"), GroupBox1);
    Label27 = new QLabel(QStringLiteral("USB"), GroupBox1);
    Label13->setObjectName("Label13");
    Label27->setObjectName("Label27");
    pg->addWidget(new QLabel(QStringLiteral("Read Card From Port :"), GroupBox1), 0, 0);
    pg->addWidget(ComboBox[2], 0, 1);
    pg->addWidget(new QLabel(QStringLiteral("Card Current Port :"), GroupBox1), 0, 2);
    pg->addWidget(Label13, 0, 3);
    pg->addWidget(new QLabel(QStringLiteral("Ibutton From Port :"), GroupBox1), 1, 0);
    pg->addWidget(ComboBox[6], 1, 1);
    pg->addWidget(new QLabel(QStringLiteral("Ibutton Current Port:"), GroupBox1), 1, 2);
    pg->addWidget(Label27, 1, 3);
    GroupBox1->setVisible(false);
    grid->addWidget(GroupBox1, 3, 0, 1, 3);

    for (int e = 1; e <= 6; ++e) {
        Edit[e]->setObjectName(Name("Edit", e));
        MakeSentinelEdit(Edit[e]);
    }
    for (int i = 1; i <= 9; ++i)
        CheckBox[i]->setObjectName(Name("CheckBox", i));
    for (int i : {1, 2, 3, 6}) {
        ComboBox[i]->setObjectName(Name("ComboBox", i));
        NaturalWidth(ComboBox[i]);
    }
}

void TForm2::BuildJis2Page(QWidget *page) {
    QGridLayout *grid = NaturalPage(page);
    auto *jis = new QGroupBox(QStringLiteral("JIS2 Track"), page);
    jis->setObjectName("GroupBox4");
    auto *jg = new QGridLayout(jis);
    for (int k = 0; k < 2; ++k) {
        int e = 8 + k;
        Edit[e] = new QLineEdit(jis);
        Edit[e]->setObjectName(Name("Edit", e));
        MakeSentinelEdit(Edit[e]);
        jg->addWidget(Labelled(k == 0 ? QStringLiteral("SS:") : QStringLiteral("ES:"), Edit[e]), 0,
                      2 * k);
        jg->addWidget(Edit[e], 0, 2 * k + 1);
    }
    grid->addWidget(jis, 0, 0, 1, 2);
    grid->addWidget(PickerGroup(QStringLiteral("Prefix"), 7), 1, 0);
    grid->addWidget(PickerGroup(QStringLiteral("Suffix"), 9), 1, 1);
    grid->setRowStretch(2, 1);
}

QWidget *TForm2::OrderRow(QWidget *parent, bool remove) {
    const int combo = remove ? 5 : 4, from = remove ? 14 : 12, check = remove ? 11 : 10;
    const int upFrom = remove ? 3 : 1;
    auto *box =
        new QGroupBox(remove ? QStringLiteral("Remove:") : QStringLiteral("Attach:"), parent);
    box->setObjectName(remove ? "GroupBox6" : "GroupBox5");
    auto *g = new QGridLayout(box);
    ComboBox[combo] = new QComboBox(box);
    ComboBox[combo]->setObjectName(Name("ComboBox", combo));
    for (const char *item : kOrderItems)
        ComboBox[combo]->addItem(QString::fromLatin1(item));
    NaturalWidth(ComboBox[combo]);
    g->addWidget(Labelled(QStringLiteral("Output Order"), ComboBox[combo]), 0, 0);
    g->addWidget(ComboBox[combo], 0, 1, 1, 2, Qt::AlignLeft);
    const QString labels[] = {QStringLiteral("Extract From:"), QStringLiteral("Length:")};
    for (int k = 0; k < 2; ++k) {
        const int e = from + k, u = upFrom + k;
        Edit[e] = new QLineEdit(box);
        Edit[e]->setObjectName(Name("Edit", e));
        Edit[e]->setReadOnly(true);
        Edit[e]->setFixedWidth(40);
        // The arrow keys step the number as the up-down beside it does.
        Edit[e]->installEventFilter(this);
        UpDown[u] = new TUpDown(box);
        UpDown[u]->setObjectName(Name("UpDown", u));
        g->addWidget(Labelled(labels[k], Edit[e]), 1 + k, 0);
        g->addWidget(Edit[e], 1 + k, 1);
        g->addWidget(UpDown[u], 1 + k, 2, Qt::AlignLeft);
    }
    CheckBox[check] = new QCheckBox(QStringLiteral("Enable Beep"), box);
    CheckBox[check]->setObjectName(Name("CheckBox", check));
    g->addWidget(CheckBox[check], 3, 0, 1, 3);
    return box;
}

void TForm2::BuildIButtonPage(QWidget *page) {
    QGridLayout *grid = NaturalPage(page);
    auto *sentinels = new QWidget(page);
    auto *sl = new QHBoxLayout(sentinels);
    for (int k = 0; k < 2; ++k) {
        int e = 10 + k;
        Edit[e] = new QLineEdit(sentinels);
        Edit[e]->setObjectName(Name("Edit", e));
        MakeSentinelEdit(Edit[e]);
        sl->addWidget(Labelled(k == 0 ? QStringLiteral("SS:") : QStringLiteral("ES:"), Edit[e]));
        sl->addWidget(Edit[e]);
    }
    sl->addStretch();
    grid->addWidget(sentinels, 0, 0, 1, 2);
    grid->addWidget(OrderRow(page, false), 1, 0);
    grid->addWidget(OrderRow(page, true), 1, 1);

    for (int remove = 0; remove < 2; ++remove) {
        auto *box =
            new QGroupBox(remove ? QStringLiteral("Remove") : QStringLiteral("Attach"), page);
        box->setObjectName(remove ? "GroupBox8" : "GroupBox7");
        auto *bl = new QHBoxLayout(box);
        bl->addWidget(PickerGroup(QStringLiteral("Prefix"), remove ? 15 : 11));
        bl->addWidget(PickerGroup(QStringLiteral("Suffix"), remove ? 17 : 13));
        grid->addWidget(box, 2, remove);
    }
    grid->setRowStretch(3, 1);
}

void TForm2::BuildIcCardPage(QWidget *page) {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto *grid = new QGridLayout(page);
    auto *operation = new QGroupBox(QStringLiteral("Operation:"), page);
    auto *ol = new QHBoxLayout(operation);
    const char *const captions[] = {"IC POWER UP", "IC POWER DOWN", "SEND"};
    for (int i = 8; i <= 10; ++i) {
        Button[i] = new QPushButton(QString::fromLatin1(captions[i - 8]));
        Button[i]->setObjectName(Name("Button", i));
    }
    ol->addWidget(Button[8]);
    ol->addWidget(Button[9]);
    grid->addWidget(operation, 0, 0, 1, 2);
    auto *apdu = new QGroupBox(QStringLiteral("APDU:"), page);
    auto *al = new QHBoxLayout(apdu);
    Edit[7] = new QLineEdit(apdu);
    Edit[7]->setObjectName("Edit7");
    Edit[7]->setFont(fixed);
    al->addWidget(Edit[7]);
    al->addWidget(Button[10]);
    grid->addWidget(apdu, 1, 0, 1, 2);
    Memo2 = new QPlainTextEdit(page);
    Memo2->setObjectName("Memo2");
    grid->addWidget(Labelled(QStringLiteral("Recevie:"), Memo2), 2, 0);
    Memo2->setFont(fixed);
    grid->addWidget(Memo2, 3, 0, 1, 2);
    auto *message = new QGroupBox(QStringLiteral("Message:"), page);
    auto *ml = new QVBoxLayout(message);
    Memo1 = new QPlainTextEdit(message);
    Memo1->setObjectName("Memo1");
    Memo1->setFont(fixed);
    ml->addWidget(Memo1);
    grid->addWidget(message, 4, 0, 1, 2);
}

QGroupBox *TForm2::PickerGroup(const QString &caption, int asciiButton) {
    auto *box = new QGroupBox(caption);
    auto *l = new QHBoxLayout(box);
    for (int k = 0; k < 2; ++k) {
        const int n = asciiButton + k;
        RadioButton[n] =
            new QRadioButton(k == 0 ? QStringLiteral("ASCII") : QStringLiteral("Code"), box);
        RadioButton[n]->setObjectName(Name("RadioButton", n));
        // The pair shows the layer's mode, which may be neither; only the editors change it.
        RadioButton[n]->setAutoExclusive(false);
        RadioButton[n]->installEventFilter(this);
        l->addWidget(RadioButton[n]);
    }
    return box;
}

void TForm2::BuildMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    // The titles' access keys (Alt+O, Alt+H) only underline a letter: the text stays the same.
    Operations1 = MainMenu1->addMenu(QStringLiteral("&Operations"));
    Operations1->setObjectName("Operations1");
    auto item = [](QMenu *menu, const char *name, const char *caption) {
        QAction *a = menu->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    Load1 = item(Operations1, "Load1", "Load");
    NomalMode1 = item(Operations1, "NomalMode1", "Nomal Mode");
    TestMode1 = item(Operations1, "TestMode1", "Test Mode");
    Save1 = item(Operations1, "Save1", "Save");
    SetDefault1 = item(Operations1, "SetDefault1", "Set Default");
    Operations1->addSeparator();
    OpenFile1 = item(Operations1, "OpenFile1", "Open File");
    SaveFile1 = item(Operations1, "SaveFile1", "Save File");
    Exit1 = item(Operations1, "Exit1", "Test MSR");
    ICCARDTEST1 = item(Operations1, "ICCARDTEST1", "IC CARD TEST");
    ICCARDTEST1Separator = Operations1->addSeparator();
    CurrentConnection1Menu = Operations1->addMenu(QStringLiteral("Current Connection"));
    CurrentConnection1 = CurrentConnection1Menu->menuAction();
    CurrentConnection1->setObjectName("CurrentConnection1");
    CurrentConnection1Menu->setObjectName("CurrentConnection1Menu");
    item(CurrentConnection1Menu, "USB1", "USB");
    for (int i = 1; i <= 8; ++i)
        item(CurrentConnection1Menu, (QStringLiteral("COM%1").arg(i) + '1').toLatin1().constData(),
             QStringLiteral("COM%1").arg(i).toLatin1().constData());
    EXIT2 = item(Operations1, "EXIT2", "EXIT");
    for (QAction *hidden :
         {OpenFile1, SaveFile1, ICCARDTEST1, ICCARDTEST1Separator, CurrentConnection1})
        hidden->setVisible(false);

    Help1 = MainMenu1->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName("Help1");
    Version1 = item(Help1, "Version1", "Version");
    About1 = item(Help1, "About1", "About");

    // A menu item runs its button's action, so both behave the same.
    connect(Load1, &QAction::triggered, this, &TForm2::Button1Click);
    connect(NomalMode1, &QAction::triggered, this, &TForm2::Button2Click);
    connect(TestMode1, &QAction::triggered, this, &TForm2::Button3Click);
    connect(Save1, &QAction::triggered, this, &TForm2::Button4Click);
    connect(SetDefault1, &QAction::triggered, this, &TForm2::Button5Click);
    connect(Exit1, &QAction::triggered, this, &TForm2::Button6Click);
    // The file items press their (hidden) buttons.
    connect(OpenFile1, &QAction::triggered, this, [this] { Button[11]->click(); });
    connect(SaveFile1, &QAction::triggered, this, [this] { Button[12]->click(); });
    connect(EXIT2, &QAction::triggered, this, &TForm2::BitBtn1Click);
    connect(Version1, &QAction::triggered, this, &TForm2::Version1Click);
    connect(About1, &QAction::triggered, this, &TForm2::About1Click);
}

void TForm2::BuildStatusBar() {
    StatusBar1 = statusBar();
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        Panel[i] = new QLabel(StatusBar1);
        Panel[i]->setObjectName(Name("StatusBar1Panel", i));
        Panel[i]->setFrameShape(QFrame::Panel);
        Panel[i]->setFrameShadow(QFrame::Sunken);
    }
    // Panel 1 starts at 50 pixels and, as the last panel, takes the rest of the bar.
    Panel[0]->setFixedWidth(170);
    Panel[1]->setMinimumWidth(50);
    StatusBar1->addWidget(Panel[0]);
    StatusBar1->addWidget(Panel[1], 1);
}

QString TForm2::PanelText(int panel) const {
    return panel >= 0 && panel < 2 ? Panel[panel]->text() : QString();
}

void TForm2::SetPanelText(int panel, const QString &text) {
    if (panel >= 0 && panel < 2) Panel[panel]->setText(text);
}
