#include "shell/ui/natural_layout.h"

#include <QGridLayout>
#include <QWidget>

QWidget *NaturalContent(QWidget *host) {
    auto *outer = new QGridLayout(host);
    auto *content = new QWidget(host);
    content->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    outer->addWidget(content, 0, 1);
    outer->setColumnStretch(0, 1);
    outer->setColumnStretch(2, 1);
    outer->setRowStretch(1, 1);
    return content;
}
