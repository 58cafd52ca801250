#include "TForm10.h"

TForm10::TForm10(QWidget *parent) : QWidget(parent) {
    setObjectName("Form10");
    setWindowTitle(QStringLiteral("KELDO three in one 2014_RFID"));
}
