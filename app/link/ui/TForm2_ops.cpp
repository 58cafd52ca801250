// The configuration window's life (showing, closing) and its operations, which run in
// the Qt-free msr_operations over the window view below.
#include "TForm2.h"

#include "diagnostics/ui/TForm3.h"
#include "keycodes/ui/TForm5.h"
#include "keycodes/ui/TForm6.h"
#include "link/msr_operations.h"
#include "link/transaction.h"
#include "link/ui/TForm2View.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/TForm4.h"
#include "shell/ui/accessibility.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"
#include "shell/ui/program_exit.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QRadioButton>
#include <QShowEvent>

namespace {
// The texts of the chooser; a window used without one (in tests) reads its own copy.
const TUiText &Texts() {
    if (Form1) return Form1->UiText;
    static const TUiText own = [] {
        TUiText t;
        t.Fill();
        return t;
    }();
    return own;
}
} // namespace

TMsrContext TForm2::Context() {
    return TMsrContext{ReaderLink, MsrSettings, Texts(), *View};
}

void TForm2::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    // Restoring from minimised is not a new showing.
    if (!event->spontaneous()) FormShow();
}

void TForm2::FormShow() {
    ComboBox[1]->setCurrentIndex(0);
    ComboBox[2]->setCurrentIndex(0);
    ClearLayers(MsrSettings);
    if (Form1 && Form1->PortChoice.FirstShowMsr == 1) {
        const auto ask = [](const char *caption) {
            if (msgbox::question(nullptr, QString::fromLatin1(caption),
                                 QString::fromLatin1(kCloseQuestion)))
                EndProgram();
        };
        if (BindReaderLink(ReaderLink, ask, HidLibraryFile.c_str(), SerialLibraryFile.c_str()) !=
            BindResult::Ok)
            return;
    }
    if (Form1) {
        const TPortChoice &choice = Form1->PortChoice;
        ReaderLink.ConnectionKind = choice.ConnectionKind;
        CardOnUsb = choice.CardOnUsb;
        IButtonOnSerial = choice.IButtonOnSerial;
        if (choice.IButtonOnSerial == 1) ReaderLink.SerialPort = choice.SerialPort;
    }
    // The probe may show a box, which belongs over this window: it runs once the window is
    // on the screen (and the chooser gone), from the event queue.
    const quint64 showing = ++Showings;
    ProbePending = true;
    QMetaObject::invokeMethod(
        this, [this, showing] { RunQueuedProbe(showing); }, Qt::QueuedConnection);
}

void TForm2::RunQueuedProbe(quint64 showing) {
    // A later showing has queued its own probe.
    if (showing != Showings) return;
    ProbePending = false;
    // Hidden again before the queue got here: nobody is there to see the outcome.
    if (!isVisible()) return;
    MsrProbe(Context());
}

void TForm2::closeEvent(QCloseEvent *event) {
    // The close box still works while the window is disabled: the window stays until the
    // operation is over or the auxiliary window that disabled it closes (closing it then
    // would leave that window open over the chooser).
    if (!isEnabled() || ReaderBusy()) {
        event->ignore();
        return;
    }
    if (Form1 && !ProgramEndRequested()) {
        Form1->PortChoice.FirstShowMsr = 0;
        Form1->show();
    }
    event->accept();
}

// A disabled window's actions do nothing, however they are reached (a menu item triggered,
// a click queued before the window was disabled).
void TForm2::BitBtn1Click() {
    if (isEnabled()) close();
}

void TForm2::Button1Click() {
    if (isEnabled()) MsrLoad(Context());
}
void TForm2::Button2Click() {
    if (isEnabled()) MsrSetMode(Context(), false);
}
void TForm2::Button3Click() {
    if (isEnabled()) MsrSetMode(Context(), true);
}
void TForm2::Button4Click() {
    if (isEnabled()) MsrSave(Context());
}
void TForm2::Button5Click() {
    if (isEnabled()) MsrSetDefault(Context());
}
void TForm2::Version1Click() {
    if (isEnabled()) MsrVersion(Context());
}

void TForm2::Button6Click() {
    if (!Form3 || !isEnabled()) return;
    ReturnFocusOnHide(Form3, focusWidget());
    setEnabled(false);
    Form3->show();
}

void TForm2::About1Click() {
    if (!Form4 || !isEnabled()) return;
    ReturnFocusOnHide(Form4, focusWidget());
    setEnabled(false);
    Form4->show();
}

void TForm2::RadioButtonMouseDown(int radioButton) {
    const TPicker *p = PickerOfButton(radioButton);
    if (!p || !isEnabled()) return;
    MsrSettings.EditedSequence = p->EditedSequence;
    QWidget *editor = radioButton == p->AsciiButton ? static_cast<QWidget *>(Form6)
                                                    : static_cast<QWidget *>(Form5);
    if (!editor) return;
    // The button keeps the focus for when the editor closes, also after a mouse click.
    ReturnFocusOnHide(editor, RadioButton[radioButton]);
    setEnabled(false);
    editor->show();
}

// --- the view ------------------------------------------------------------------------

TMsrWindowView::TMsrWindowView(TForm2 *form) : Form(form), Busy(form) {}

void TMsrWindowView::SetPanel(int panel, const std::string &text) {
    Form->SetPanelText(panel, QString::fromStdString(text));
}

void TMsrWindowView::Message(const std::string &text) {
    msgbox::information(Form, QString::fromStdString(text));
}

void TMsrWindowView::VersionBox(const std::string &caption, const std::string &text) {
    // The reader's text is single-byte characters; the box has no owner window.
    msgbox::information(nullptr, QString::fromStdString(caption),
                        QString::fromLatin1(text.data(), qsizetype(text.size())));
}

void TMsrWindowView::SetEnabled(bool enabled) {
    Busy.SetEnabled(enabled);
}
void TMsrWindowView::ControlsToRecord() {
    Form->ControlsToRecord();
}

void TMsrWindowView::RecordToControls() {
    Form->RecordToControls();
    QCoreApplication::processEvents();
}

int TMsrWindowView::LanguageChoice() {
    return Form->LanguageChoice();
}

void TMsrWindowView::ShowSavedPorts() {
    Form->Label13->setText(Form->ComboBox[2]->currentText());
    Form->Label27->setText(Form->ComboBox[6]->currentText());
}

void TMsrWindowView::ShowDefaults() {
    TMsrControls c;
    Form->ReadControls(c);
    DefaultControls(c);
    Form->WriteControls(c);
    QCoreApplication::processEvents();
}
