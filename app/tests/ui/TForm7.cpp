#include "TForm7.h"

TForm7::TForm7(QWidget *parent) : QWidget(parent) {
    setObjectName("Form7");
    setWindowTitle(QStringLiteral("IC CARD TEST"));
}
