#include "TForm5.h"

TForm5::TForm5(QWidget *parent) : QWidget(parent) {
    setObjectName("Form5");
    setWindowTitle(QStringLiteral("KEY CODE"));
}
