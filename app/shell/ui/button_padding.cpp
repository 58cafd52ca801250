#include "shell/ui/button_padding.h"

#include <QFontMetrics>
#include <QLayout>
#include <QPushButton>
#include <QWidget>
#include <algorithm>

namespace {
// The caption as drawn: "&&" shows one ampersand, a single one only underlines.
QString Shown(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// Whether the button is placed by its parent's layout (or one nested in it).
bool InLayout(const QWidget *button) {
    const QWidget *parent = button->parentWidget();
    if (!parent || !parent->layout()) return false;
    const auto holds = [button](const auto &self, QLayout *layout) -> bool {
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem *item = layout->itemAt(i);
            if (item->widget() == button || (item->layout() && self(self, item->layout())))
                return true;
        }
        return false;
    };
    return holds(holds, parent->layout());
}
} // namespace

int PaddedButtonWidth(const QPushButton *button) {
    const QFontMetrics metrics(button->font());
    int width = metrics.horizontalAdvance(Shown(button->text())) + 2 * kButtonPadding;
    if (!button->icon().isNull()) width += button->iconSize().width() + 4;
    return width;
}

void PadButtons(QWidget *window) {
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (button->text().isEmpty()) continue;
        const int width = PaddedButtonWidth(button);
        if (InLayout(button)) {
            button->setMinimumWidth(std::max(button->minimumWidth(), width));
        } else if (button->width() < width) {
            QRect r = button->geometry();
            r.adjust(-(width - r.width()) / 2, 0, 0, 0);
            r.setWidth(width);
            button->setGeometry(r);
        }
    }
}
