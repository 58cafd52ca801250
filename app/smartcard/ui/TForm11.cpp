#include "smartcard/ui/TForm11.h"

#include "shell/ui/TForm1.h"
#include "shell/ui/forms.h"

#include <QCloseEvent>

TForm11::TForm11(QWidget *parent) : QWidget(parent) {
    setObjectName("Form11");
    setWindowTitle(QStringLiteral("KELDO three in one 2014_PCSC"));
}

void TForm11::closeEvent(QCloseEvent *event) {
    // The window stays; only its first showing is over.
    if (Form1 != nullptr) {
        Form1->PortChoice.FirstShowPcsc = 0;
        Form1->show();
    }
    event->accept();
}
