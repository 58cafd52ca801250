#include "TForm11.h"

TForm11::TForm11(QWidget *parent) : QWidget(parent) {
    setObjectName("Form11");
    setWindowTitle(QStringLiteral("KELDO three in one 2014_PCSC"));
}
