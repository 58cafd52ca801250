#include "shell/ui/TForm8.h"

#include "shell/ui/TForm1.h"
#include "shell/ui/forms.h"
#include "shell/ui/jpeg_picture.h"

#include <QCloseEvent>

TForm8::TForm8(QWidget *parent) : QWidget(parent) {
    setObjectName("Form8");
    setWindowTitle(QStringLiteral("KX7P"));
    Image1 = new TPicture(this);
    Image1->setObjectName("Image1");
    Image1->setStretch(true);
    Image1->setJpegFile(QStringLiteral(":/pictures/cable.jpg"));
    resize(420, 260);
}

void TForm8::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    Image1->setGeometry(rect());
}

void TForm8::closeEvent(QCloseEvent *event) {
    event->accept();
    if (Form1 != nullptr) Form1->setEnabled(true);
}
