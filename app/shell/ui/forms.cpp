#include "shell/ui/forms.h"

#include "contactless/ui/TForm10.h"
#include "diagnostics/ui/TForm3.h"
#include "diagnostics/ui/TForm7.h"
#include "keycodes/ui/TForm5.h"
#include "keycodes/ui/TForm6.h"
#include "link/ui/TForm2.h"
#include "link/ui/message_pump.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/TForm4.h"
#include "shell/ui/TForm8.h"
#include "shell/ui/TForm9.h"
#include "shell/ui/accessibility.h"
#include "shell/ui/button_padding.h"
#include "shell/ui/window_place.h"
#include "smartcard/ui/TForm11.h"

TForm1 *Form1 = nullptr;
TLazyForm<TForm2> Form2;
TLazyForm<TForm3> Form3;
TLazyForm<TForm4> Form4;
TLazyForm<TForm5> Form5;
TLazyForm<TForm6> Form6;
TLazyForm<TForm7> Form7;
TLazyForm<TForm8> Form8;
TLazyForm<TForm9> Form9;
TLazyForm<TForm10> Form10;
TLazyForm<TForm11> Form11;

// The pictures live in cardgui, a static library: registering them by hand keeps the
// linker from dropping them.
static void InitPictures() {
    Q_INIT_RESOURCE(pictures);
}

namespace {
bool gFormsExist = false;

// The chooser and the device windows stay where the user left them. The auxiliary windows
// belong to the configuration window, which they disable while they are open: they stay
// above it. The test page, the about box and the two editors centre themselves on the
// screen; the IC card test and the reader-not-found notice come up over their owner.
TPlacement PlacementOf(const QWidget *w) {
    if (w == Form3.existing() || w == Form4.existing() || w == Form5.existing() ||
        w == Form6.existing())
        return TPlacement::Own;
    if (w == Form7.existing() || w == Form9.existing()) return TPlacement::OnOwner;
    return TPlacement::KeepPlace;
}

// What every window gets once it is built.
void Prepare(QWidget *w) {
    const TPlacement placement = PlacementOf(w);
    PlaceWindow(w, placement, placement == TPlacement::KeepPlace ? nullptr : Form2.get());
    // Captions keep clear of their buttons' edges at any font size and scale.
    PadButtons(w);
    MakeAccessible(w);
}
} // namespace

template <typename T> T *TLazyForm<T>::get() {
    if (Form == nullptr && gFormsExist && !Building) {
        Building = true;
        try {
            Form = new T;
        } catch (...) {
            Building = false;
            throw;
        }
        Building = false;
        Prepare(Form);
    }
    return Form;
}

template <typename T> void TLazyForm<T>::destroy() {
    delete Form;
    Form = nullptr;
}

template class TLazyForm<TForm2>;
template class TLazyForm<TForm3>;
template class TLazyForm<TForm4>;
template class TLazyForm<TForm5>;
template class TLazyForm<TForm6>;
template class TLazyForm<TForm7>;
template class TLazyForm<TForm8>;
template class TLazyForm<TForm9>;
template class TLazyForm<TForm10>;
template class TLazyForm<TForm11>;

void CreateForms() {
    InitPictures();
    InstallMessagePump();
    gFormsExist = true;
    // The chooser first: the other windows read its texts and its choice as they are built.
    Form1 = new TForm1;
    Prepare(Form1);
    Form1->show();
}

void DestroyForms() {
    // Nothing is built any more, also not from a destructor that asks for another window.
    gFormsExist = false;
    Form11.destroy();
    Form10.destroy();
    Form5.destroy();
    Form3.destroy();
    Form2.destroy();
    Form8.destroy();
    Form7.destroy();
    Form6.destroy();
    Form4.destroy();
    Form9.destroy();
    delete Form1;
    Form1 = nullptr;
}
