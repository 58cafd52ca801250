#include "TForm3.h"

#include "link/ui/TForm2.h"
#include "shell/ui/forms.h"

#include <QCloseEvent>

TForm3::TForm3(QWidget *parent) : QWidget(parent) {
    setObjectName("Form3");
    setWindowTitle(QStringLiteral("MSR Test Page"));
}

void TForm3::closeEvent(QCloseEvent *event) {
    event->accept();
    if (Form2) Form2->setEnabled(true);
}
