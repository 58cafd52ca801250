#include "TUpDown.h"

#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>
#include <QVBoxLayout>

TUpDown::TUpDown(QWidget *parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    auto *layout = new QVBoxLayout(this);
    // Room for the focus frame around the arrows.
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    Up = new QToolButton(this);
    Down = new QToolButton(this);
    Up->setArrowType(Qt::UpArrow);
    Down->setArrowType(Qt::DownArrow);
    Up->setAccessibleName(QStringLiteral("Up"));
    Down->setAccessibleName(QStringLiteral("Down"));
    for (QToolButton *b : {Up, Down}) {
        b->setFixedSize(16, 11);
        b->setAutoRepeat(true);
        // The pair takes the focus as one control.
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::pressed, this, [this] { setFocus(Qt::MouseFocusReason); });
        layout->addWidget(b);
    }
    connect(Up, &QToolButton::clicked, this, [this] { Press(true); });
    connect(Down, &QToolButton::clicked, this, [this] { Press(false); });
}

void TUpDown::Press(bool up) {
    if (isEnabled()) emit Pressed(up);
}

bool TUpDown::Key(int key) {
    int presses = 0;
    bool up = true;
    switch (key) {
    case Qt::Key_Up:
        presses = 1;
        break;
    case Qt::Key_Down:
        presses = 1;
        up = false;
        break;
    case Qt::Key_PageUp:
        presses = kPageStep;
        break;
    case Qt::Key_PageDown:
        presses = kPageStep;
        up = false;
        break;
    default:
        return false;
    }
    for (int i = 0; i < presses; ++i)
        Press(up);
    return true;
}

void TUpDown::keyPressEvent(QKeyEvent *event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (Key(event->key())) return;
    }
    QWidget::keyPressEvent(event);
}

void TUpDown::paintEvent(QPaintEvent *) {
    if (!hasFocus()) return;
    QStylePainter p(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    p.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}
