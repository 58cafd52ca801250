#include "shell/ui/TForm1.h"

#include "contactless/ui/TForm10.h"
#include "link/ui/TForm2.h"
#include "shell/ui/forms.h"
#include "shell/ui/program_exit.h"
#include "shell/ui/round_button.h"
#include "smartcard/ui/TForm11.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QRadioButton>

namespace {
QRadioButton *MakeRadio(QWidget *parent, const char *name, const char *text, const QColor &colour,
                        int y) {
    auto *radio = new QRadioButton(QString::fromUtf8(text), parent);
    radio->setObjectName(QString::fromLatin1(name));
    QFont font = radio->font();
    font.setBold(true);
    font.setPixelSize(19);
    radio->setFont(font);
    // The colour while the chooser takes input; greyed, the caption dims like the rest.
    QPalette palette = radio->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, colour);
        palette.setColor(group, QPalette::ButtonText, colour);
    }
    radio->setPalette(palette);
    radio->setGeometry(40, y, 220, 32);
    return radio;
}
} // namespace

TForm1::TForm1(QWidget *parent) : QWidget(parent) {
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("KELDO three in one 2014_DEMO"));
    setFixedSize(478, 250);

    RadioGroup1 = new QGroupBox(QString::fromUtf8("Choose Devices："), this);
    RadioGroup1->setObjectName("RadioGroup1");
    RadioGroup1->setGeometry(16, 12, 314, 226);
    RadioButton1 = MakeRadio(RadioGroup1, "RadioButton1", "MSR Device", QColor(Qt::red), 44);
    RadioButton2 = MakeRadio(RadioGroup1, "RadioButton2", "PS/SC Device", QColor(Qt::blue), 104);
    RadioButton3 = MakeRadio(RadioGroup1, "RadioButton3", "RFID Device", QColor(128, 0, 128), 164);
    RadioButton1->setChecked(true);

    BitBtn1 = new TRoundButton(TRoundButton::Glyph::Go, this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(358, 20, 90, 90);
    BitBtn1->setToolTip(QStringLiteral("Go"));
    BitBtn2 = new TRoundButton(TRoundButton::Glyph::Quit, this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setGeometry(358, 136, 90, 90);
    BitBtn2->setToolTip(QStringLiteral("Exit"));
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);

    FormCreate();
}

void TForm1::FormCreate() {
    UiText.Fill();
    PortChoice.FirstShowMsr = 1;
    PortChoice.FirstShowRfid = 1;
    PortChoice.FirstShowPcsc = 1;
}

void TForm1::BitBtn1Click() {
    // Whichever device is chosen: the reader over USB HID, card data as keystrokes.
    PortChoice.ConnectionKind = 0;
    PortChoice.CardOnUsb = 1;
    PortChoice.IButtonOnSerial = 0;

    QWidget *target = nullptr;
    if (RadioButton1->isChecked())
        target = Form2;
    else if (RadioButton2->isChecked())
        target = Form11;
    else if (RadioButton3->isChecked())
        target = Form10;
    if (target == nullptr) return;
    // The device window may talk to its reader while it shows (the library keeps events
    // flowing meanwhile); the chooser takes no second click until it is hidden.
    setEnabled(false);
    target->show();
    target->raise();
    target->activateWindow();
    hide();
    setEnabled(true);
}

void TForm1::BitBtn2Click() {
    close();
}

void TForm1::closeEvent(QCloseEvent *event) {
    // The chooser is the main window: closing it ends the program, hidden windows or not.
    event->accept();
    EndProgram();
}
