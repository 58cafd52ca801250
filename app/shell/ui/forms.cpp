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

#include <initializer_list>

TForm1 *Form1 = nullptr;
TForm2 *Form2 = nullptr;
TForm3 *Form3 = nullptr;
TForm4 *Form4 = nullptr;
TForm5 *Form5 = nullptr;
TForm6 *Form6 = nullptr;
TForm7 *Form7 = nullptr;
TForm8 *Form8 = nullptr;
TForm9 *Form9 = nullptr;
TForm10 *Form10 = nullptr;
TForm11 *Form11 = nullptr;

// The pictures live in cardgui, a static library: registering them by hand keeps the
// linker from dropping them.
static void InitPictures() {
    Q_INIT_RESOURCE(pictures);
}

// The chooser and the device windows stay where the user left them. The auxiliary windows
// belong to the configuration window, which they disable while they are open: they stay
// above it. The test page, the about box and the two editors centre themselves on the
// screen; the IC card test and the reader-not-found notice come up over their owner.
static void PlaceWindows() {
    for (QWidget *w : std::initializer_list<QWidget *>{Form1, Form2, Form8, Form10, Form11})
        PlaceWindow(w, TPlacement::KeepPlace);
    for (QWidget *w : std::initializer_list<QWidget *>{Form3, Form4, Form5, Form6})
        PlaceWindow(w, TPlacement::Own, Form2);
    for (QWidget *w : std::initializer_list<QWidget *>{Form7, Form9})
        PlaceWindow(w, TPlacement::OnOwner, Form2);
}

void CreateForms() {
    InitPictures();
    InstallMessagePump();
    // Start-up order; later windows may read the chooser (its texts, its choice) as they
    // are built, so it comes first.
    Form1 = new TForm1;
    Form9 = new TForm9;
    Form4 = new TForm4;
    Form6 = new TForm6;
    Form7 = new TForm7;
    Form8 = new TForm8;
    Form2 = new TForm2;
    Form3 = new TForm3;
    Form5 = new TForm5;
    Form10 = new TForm10;
    Form11 = new TForm11;
    PlaceWindows();
    // Captions keep clear of their buttons' edges at any font size and scale.
    for (QWidget *w : std::initializer_list<QWidget *>{Form1, Form2, Form3, Form4, Form5, Form6,
                                                       Form7, Form8, Form9, Form10, Form11}) {
        PadButtons(w);
        MakeAccessible(w);
    }
    Form1->show();
}

template <typename T> static void Destroy(T *&form) {
    delete form;
    form = nullptr;
}

void DestroyForms() {
    Destroy(Form11);
    Destroy(Form10);
    Destroy(Form5);
    Destroy(Form3);
    Destroy(Form2);
    Destroy(Form8);
    Destroy(Form7);
    Destroy(Form6);
    Destroy(Form4);
    Destroy(Form9);
    Destroy(Form1);
}
