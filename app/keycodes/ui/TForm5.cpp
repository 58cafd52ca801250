#include "TForm5.h"

#include "link/ui/TForm2.h"
#include "shell/ui/forms.h"

#include <QCloseEvent>
#include <QPushButton>

TForm5::TForm5(QWidget *parent) : QWidget(parent) {
    setObjectName("Form5");
    setWindowTitle(QStringLiteral("KEY CODE"));
}

void TForm5::closeEvent(QCloseEvent *event) {
    event->accept();
    if (!Form2) return;
    // The configuration window comes back and shows the modes the record now holds.
    Form2->setEnabled(true);
    Form2->Button[7]->click();
}
