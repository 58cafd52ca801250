#include "TForm6.h"

#include "link/ui/TForm2.h"
#include "shell/ui/forms.h"

#include <QCloseEvent>
#include <QPushButton>

TForm6::TForm6(QWidget *parent) : QWidget(parent) {
    setObjectName("Form6");
    setWindowTitle(QStringLiteral("ASCII_CODE"));
}

void TForm6::closeEvent(QCloseEvent *event) {
    event->accept();
    if (!Form2) return;
    // The configuration window comes back and shows the modes the record now holds.
    Form2->setEnabled(true);
    Form2->Button[7]->click();
}
