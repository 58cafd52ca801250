#include "shell/ui/TForm4.h"

#include "link/ui/TForm2.h"
#include "shell/ui/forms.h"
#include "shell/ui/jpeg_picture.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

TForm4::TForm4(QWidget *parent) : QWidget(parent) {
    setObjectName("Form4");
    setWindowTitle(QStringLiteral("KELDO three in one 2014 ABOUT"));
    setFixedSize(440, 190);

    Image1 = new TPicture(this);
    Image1->setObjectName("Image1");
    Image1->setGeometry(16, 20, 120, 150);
    Image1->setJpegFile(QStringLiteral(":/pictures/about.jpg"));

    Label1 = new QLabel(QString::fromUtf8("VERSION： KELDO three in one 2014 V1.00"), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(152, 40, 276, 24);
    Label2 = new QLabel(QStringLiteral("DATE: 2014-06-30"), this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(152, 76, 276, 24);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(310, 140, 100, 30);
    // OK is the box's default button: it has the focus, and Enter and Escape press it.
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    setFocusProxy(BitBtn1);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm4::BitBtn1Click);
}

void TForm4::keyPressEvent(QKeyEvent *event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        if (event->modifiers() & ~Qt::KeypadModifier) break;
        BitBtn1->click();
        return;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void TForm4::BitBtn1Click() {
    close();
}

void TForm4::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    BitBtn1->setFocus();
}

void TForm4::closeEvent(QCloseEvent *event) {
    event->accept();
    if (Form2 != nullptr) Form2->setEnabled(true);
}
