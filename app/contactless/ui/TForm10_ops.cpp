// The Mifare One window's life (showing, closing) and its operations, which run in the Qt-free
// mifare_operations over the window view below.
#include "contactless/ui/TForm10.h"

#include "contactless/ui/TForm10View.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"
#include "shell/ui/program_exit.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>

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

const char *const kDefaultKey = "7B3E51A9C4D6";
} // namespace

void TForm10::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // Restoring from minimised is not a new showing.
    if (!event->spontaneous()) FormShow();
}

void TForm10::FormShow() {
    // Every showing starts from empty fields and the default keys; the key choices stay.
    for (int c : {1, 2, 3, 4, 5})
        ComboBox[c]->setCurrentIndex(0);
    for (int e = 1; e <= 9; ++e)
        Edit[e]->clear();
    Edit[2]->setText(QString::fromLatin1(kDefaultKey));
    Edit[7]->setText(QString::fromLatin1(kDefaultKey));
    if (Form1 && Form1->PortChoice.FirstShowRfid == 1 && !RfidLink.Bound) {
        const auto ask = [](const char *caption, const char *text) {
            if (msgbox::question(nullptr, QString::fromLatin1(caption), QString::fromLatin1(text)))
                EndProgram();
        };
        BindRfidLink(RfidLink, Texts(), ask, RfidLibraryFile.c_str());
    }
}

void TForm10::closeEvent(QCloseEvent *event) {
    // The window stays until the operation in progress is over.
    if (MifareOperationRunning()) {
        event->ignore();
        return;
    }
    if (Form1 && !ProgramEndRequested()) {
        Form1->PortChoice.FirstShowRfid = 0;
        Form1->show();
    }
    event->accept();
}

void TForm10::Button1Click() {
    MifareSearchCard(RfidLink, *View);
}
void TForm10::Button2Click() {
    MifareReadCard(RfidLink, *View);
}
void TForm10::Button3Click() {
    MifareWriteCard(RfidLink, *View);
}
void TForm10::BitBtn1Click() {
    MifarePurse(RfidLink, *View, TPurseOp::Initialize);
}
void TForm10::BitBtn2Click() {
    MifarePurse(RfidLink, *View, TPurseOp::Increase);
}
void TForm10::BitBtn3Click() {
    MifarePurse(RfidLink, *View, TPurseOp::Decrease);
}
void TForm10::BitBtn4Click() {
    MifareBalance(RfidLink, *View);
}
void TForm10::BitBtn5Click() {
    if (MifareExit(RfidLink, *View)) close();
}

// --- the view ------------------------------------------------------------------------

TMifareWindowView::TMifareWindowView(TForm10 *form) : Form(form), Busy(form) {}

namespace {
QWidget *FieldWidget(TForm10 *f, TMifareField field) {
    switch (field) {
    case TMifareField::Serial:
        return f->Edit[1];
    case TMifareField::Key:
        return f->Edit[2];
    case TMifareField::Row0:
    case TMifareField::Row1:
    case TMifareField::Row2:
    case TMifareField::Row3:
        return f->Edit[3 + int(field) - int(TMifareField::Row0)];
    case TMifareField::PurseKey:
        return f->Edit[7];
    case TMifareField::Amount:
        return f->Edit[8];
    case TMifareField::Sector:
        return f->ComboBox[2];
    case TMifareField::Block:
        return f->ComboBox[3];
    case TMifareField::PurseSector:
        return f->ComboBox[4];
    case TMifareField::PurseBlock:
        return f->ComboBox[5];
    }
    return nullptr;
}
} // namespace

std::string TMifareWindowView::Text(TMifareField field) {
    QWidget *w = FieldWidget(Form, field);
    if (auto *edit = qobject_cast<QLineEdit *>(w)) return edit->text().toStdString();
    if (auto *combo = qobject_cast<QComboBox *>(w)) return combo->currentText().toStdString();
    return {};
}

void TMifareWindowView::SetText(TMifareField field, const std::string &text) {
    if (auto *edit = qobject_cast<QLineEdit *>(FieldWidget(Form, field)))
        edit->setText(QString::fromStdString(text));
}

bool TMifareWindowView::KeyB(bool purse) {
    return Form->RadioButton[purse ? 4 : 2]->isChecked();
}

void TMifareWindowView::Message(const std::string &text) {
    msgbox::information(Form, QString::fromStdString(text));
}

bool TMifareWindowView::Ask(const std::string &caption, const std::string &text) {
    return msgbox::question(Form, QString::fromStdString(caption), QString::fromStdString(text));
}

void TMifareWindowView::SetEnabled(bool enabled) {
    Busy.SetEnabled(enabled);
}

void TMifareWindowView::Pause(int milliseconds) {
    // Events keep flowing (the window repaints); its input is off while it is disabled.
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}
