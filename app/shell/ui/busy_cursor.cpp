#include "shell/ui/busy_cursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QWidget>

TBusyCursor::TBusyCursor() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

TBusyCursor::~TBusyCursor() {
    QGuiApplication::restoreOverrideCursor();
}

TArrowCursor::TArrowCursor() {
    if (QGuiApplication::overrideCursor() == nullptr) return;
    QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    Pushed = true;
}

TArrowCursor::~TArrowCursor() {
    if (Pushed) QGuiApplication::restoreOverrideCursor();
}

void TBusyWhileDisabled::SetEnabled(bool enabled) {
    // The cursor goes up before the window greys and comes down before it takes input.
    if (enabled) {
        Cursor.reset();
        Window->setEnabled(true);
    } else {
        if (!Cursor) Cursor.emplace();
        Window->setEnabled(false);
    }
}
