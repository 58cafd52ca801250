// The configuration window's IC card tab (kept hidden) and its menu item for the IC CARD
// TEST window: the operations run in the Qt-free ic_card over the tab's memos.
#include "TForm2.h"

#include "diagnostics/ic_card.h"
#include "diagnostics/ui/TForm7.h"
#include "diagnostics/ui/ic_view.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/accessibility.h"
#include "shell/ui/forms.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

namespace {
// The chooser's texts; a window used without one (in tests) reads its own copy.
TIcTexts TabTexts() {
    if (Form1) return IcTexts(Form1->UiText);
    TUiText own;
    own.Fill();
    return IcTexts(own);
}
} // namespace

void TForm2::ConnectIcCard() {
    MakeApduEntry(Edit[7]);
    connect(Button[8], &QPushButton::clicked, this, &TForm2::Button8Click);
    connect(Button[9], &QPushButton::clicked, this, &TForm2::Button9Click);
    connect(Button[10], &QPushButton::clicked, this, &TForm2::Button10Click);
    connect(ICCARDTEST1, &QAction::triggered, this, &TForm2::ICCARDTEST1Click);
}

void TForm2::RunIcCard(int operation) {
    if (!isEnabled()) return; // held by an auxiliary window or an operation
    TIcView view(this, Memo1, Memo2);
    RunIcOperation(ReaderLink, IcFrontEnd::ConfigurationTab, static_cast<IcOperation>(operation),
                   ApduOf(Edit[7]), TabTexts(), view);
}

void TForm2::Button8Click() {
    RunIcCard(static_cast<int>(IcOperation::PowerUp));
}
void TForm2::Button9Click() {
    RunIcCard(static_cast<int>(IcOperation::PowerDown));
}
void TForm2::Button10Click() {
    RunIcCard(static_cast<int>(IcOperation::Apdu));
}

void TForm2::ICCARDTEST1Click() {
    if (!Form7 || !isEnabled()) return;
    ReturnFocusOnHide(Form7, focusWidget());
    setEnabled(false);
    Form7->show();
}
