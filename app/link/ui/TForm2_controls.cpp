// The copies between the configuration window's widgets and the plain control values that
// the mapping rules work on, and the event rules that go through them.
#include "TForm2.h"

#include "config/ui/TUpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace {
bool IsMappedEdit(int e) {
    return e >= 1 && e <= 15 && e != 7;
}
} // namespace

void TForm2::ReadControls(TMsrControls &c) const {
    for (int e = 1; e <= 15; ++e)
        if (IsMappedEdit(e)) {
            c.Edit[e] = Edit[e]->text().toLatin1().toStdString();
            c.EditEnabled[e] = Edit[e]->isEnabled();
        }
    for (int i = 1; i <= 11; ++i) {
        c.Check[i] = CheckBox[i]->isChecked();
        c.CheckEnabled[i] = CheckBox[i]->isEnabled();
    }
    for (int i = 1; i <= 4; ++i)
        c.UpDownEnabled[i] = UpDown[i]->isEnabled();
    c.ReadingSequence = ComboBox[1]->currentIndex();
    c.Language = LanguageChoice();
    c.CardPort = ComboBox[2]->currentIndex();
    c.IButtonPort = ComboBox[6]->currentIndex();
    c.Label13 = Label13->text().toStdString();
    c.Label27 = Label27->text().toStdString();
    c.AttachOrder = ComboBox[4]->currentIndex();
    c.RemoveOrder = ComboBox[5]->currentIndex();
    for (int p = 0; p < 9; ++p) {
        const TPicker &k = kPickers[p];
        c.Pair[p] = RadioButton[k.CodeButton]->isChecked()    ? TPairState::Code
                    : RadioButton[k.AsciiButton]->isChecked() ? TPairState::Ascii
                                                              : TPairState::None;
    }
}

void TForm2::WriteControls(const TMsrControls &c) {
    for (int e = 1; e <= 15; ++e)
        if (IsMappedEdit(e)) {
            Edit[e]->setText(QString::fromLatin1(c.Edit[e].data(), qsizetype(c.Edit[e].size())));
            Edit[e]->setEnabled(c.EditEnabled[e]);
            SetEditColour(Edit[e]);
        }
    for (int i = 1; i <= 11; ++i) {
        CheckBox[i]->setChecked(c.Check[i]);
        CheckBox[i]->setEnabled(c.CheckEnabled[i]);
    }
    for (int i = 1; i <= 4; ++i)
        UpDown[i]->setEnabled(c.UpDownEnabled[i]);
    ComboBox[1]->setCurrentIndex(c.ReadingSequence);
    ComboBox[3]->setCurrentIndex(c.Language >= 0 && c.Language < kListedLanguages ? c.Language
                                                                                  : -1);
    ComboBox[2]->setCurrentIndex(c.CardPort);
    ComboBox[6]->setCurrentIndex(c.IButtonPort);
    Label13->setText(QString::fromStdString(c.Label13));
    Label27->setText(QString::fromStdString(c.Label27));
    ComboBox[4]->setCurrentIndex(c.AttachOrder);
    ComboBox[5]->setCurrentIndex(c.RemoveOrder);
    for (int p = 0; p < 9; ++p) {
        const TPicker &k = kPickers[p];
        RadioButton[k.AsciiButton]->setChecked(c.Pair[p] == TPairState::Ascii);
        RadioButton[k.CodeButton]->setChecked(c.Pair[p] == TPairState::Code);
    }
}

void TForm2::SetEditColour(QLineEdit *edit) {
    // A switched-off track's sentinels take the button-face colour, as the window's own.
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, edit->isEnabled() ? palette().color(QPalette::Base)
                                                 : palette().color(QPalette::Button));
    edit->setPalette(p);
}

int TForm2::LanguageChoice() const {
    const int i = ComboBox[3]->currentIndex();
    return i >= 0 ? i : kLanguageUnknown;
}

void TForm2::ControlsToRecord() {
    TMsrControls c;
    ReadControls(c);
    ::ControlsToRecord(c, MsrSettings);
}

void TForm2::RecordToControls() {
    TMsrControls c;
    ReadControls(c);
    ::RecordToControls(MsrSettings, c);
    WriteControls(c);
}

void TForm2::CheckBoxTrackClick(int track) {
    TMsrControls c;
    ReadControls(c);
    TrackClickRule(c, track);
    WriteControls(c);
}

void TForm2::ComboBox4Change() {
    TMsrControls c;
    ReadControls(c);
    OrderChangeRule(c, false);
    WriteControls(c);
}

void TForm2::ComboBox5Change() {
    TMsrControls c;
    ReadControls(c);
    OrderChangeRule(c, true);
    WriteControls(c);
}

void TForm2::StepUpDown(int upDown, bool up) {
    QLineEdit *edit = Edit[upDown + 11];
    edit->setText(QString::number(UpDownStep(edit->text().toInt(), up)));
}

void TForm2::Button7Click() {
    TMsrControls c;
    ReadControls(c);
    PairsFromModes(MsrSettings, c);
    WriteControls(c);
    QCoreApplication::processEvents();
}

bool TForm2::eventFilter(QObject *watched, QEvent *event) {
    const auto type = event->type();
    if (type == QEvent::KeyPress) {
        // Extract From and Length: their keys go to the up-down beside them (which does
        // nothing while it is disabled).
        const auto *key = static_cast<QKeyEvent *>(event);
        for (int u = 1; u <= 4; ++u)
            if (watched == Edit[u + 11] && (key->modifiers() & ~Qt::KeypadModifier) == 0 &&
                UpDown[u]->Key(key->key()))
                return true;
    }
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
        (type == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space)) {
        for (int n = 1; n <= 18; ++n)
            if (watched == RadioButton[n]) {
                // Qt shows presses on disabled widgets to event filters: a disabled window
                // (a transaction, an open editor) takes them and does nothing.
                if (isEnabled()) RadioButtonMouseDown(n);
                // The pair keeps showing the record's mode; the editor decides.
                return true;
            }
    }
    return QMainWindow::eventFilter(watched, event);
}
