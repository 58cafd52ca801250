#include "TUpDown.h"

#include <QToolButton>
#include <QVBoxLayout>

TUpDown::TUpDown(QWidget *parent) : QWidget(parent) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Up = new QToolButton(this);
    Down = new QToolButton(this);
    Up->setArrowType(Qt::UpArrow);
    Down->setArrowType(Qt::DownArrow);
    for (QToolButton *b : {Up, Down}) {
        b->setFixedSize(16, 11);
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
    }
    connect(Up, &QToolButton::clicked, this, [this] { Press(true); });
    connect(Down, &QToolButton::clicked, this, [this] { Press(false); });
}

void TUpDown::Press(bool up) {
    if (isEnabled()) emit Pressed(up);
}
