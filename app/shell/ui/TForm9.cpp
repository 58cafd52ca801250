#include "shell/ui/TForm9.h"

#include "link/ui/TForm2.h"
#include "shell/ui/forms.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

TForm9::TForm9(QWidget *parent) : QWidget(parent) {
    setObjectName("Form9");
    setWindowTitle(QStringLiteral("KM5530"));
    setFixedSize(330, 150);

    QFont bold = font();
    bold.setBold(true);
    Label1 = new QLabel(QStringLiteral("No MSR found at current selected"), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(24, 20, 290, 22);
    Label1->setFont(bold);
    Label2 = new QLabel(this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(24, 50, 120, 22);
    Label2->setFont(bold);
    Label3 = new QLabel(QStringLiteral("port!"), this);
    Label3->setObjectName("Label3");
    Label3->setGeometry(150, 50, 80, 22);
    Label3->setFont(bold);

    BitBtn1 = new QPushButton(QStringLiteral("OK(&O)"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(115, 100, 100, 30);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm9::BitBtn1Click);
}

void TForm9::BitBtn1Click() {
    close();
}

void TForm9::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (Form2 != nullptr) Form2->setEnabled(false);
}

void TForm9::closeEvent(QCloseEvent *event) {
    event->accept();
    if (Form2 != nullptr) Form2->setEnabled(true);
}
