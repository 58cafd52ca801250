#include "contactless/ui/TForm10.h"

#include "shell/ui/TForm1.h"
#include "shell/ui/forms.h"

#include <QCloseEvent>

TForm10::TForm10(QWidget *parent) : QWidget(parent) {
    setObjectName("Form10");
    setWindowTitle(QStringLiteral("KELDO three in one 2014_RFID"));
}

void TForm10::closeEvent(QCloseEvent *event) {
    // The window stays; only its first showing is over.
    if (Form1 != nullptr) {
        Form1->PortChoice.FirstShowRfid = 0;
        Form1->show();
    }
    event->accept();
}
