#include "TForm6.h"

TForm6::TForm6(QWidget *parent) : QWidget(parent) {
    setObjectName("Form6");
    setWindowTitle(QStringLiteral("ASCII_CODE"));
}
