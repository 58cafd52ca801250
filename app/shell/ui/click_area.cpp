#include "shell/ui/click_area.h"

#include <QAccessibleWidget>
#include <QMouseEvent>

namespace {
// A label is static text to assistive technology; a click area is a button.
class TClickAreaAccessible : public QAccessibleWidget {
  public:
    explicit TClickAreaAccessible(TClickArea *area)
        : QAccessibleWidget(area, QAccessible::Button) {}

    // Named by its caption, not by the group around it.
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const TClickArea *>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        return QStringList(pressAction()) + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override {
        if (action == pressAction() && widget()->isEnabled())
            static_cast<TClickArea *>(widget())->click();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *ClickAreaInterface(const QString &className, QObject *object) {
    if (className == QLatin1String("TClickArea"))
        if (auto *area = qobject_cast<TClickArea *>(object)) return new TClickAreaAccessible(area);
    return nullptr;
}
} // namespace

TClickArea::TClickArea(const QString &caption, QWidget *parent) : QLabel(caption, parent) {
    static const bool installed = (QAccessible::installFactory(ClickAreaInterface), true);
    Q_UNUSED(installed);
}

void TClickArea::click() {
    if (OnClick) OnClick();
}

void TClickArea::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) click();
}
