#include "shell/ui/window_place.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace {
class TPlacer : public QObject {
  public:
    TPlacer(QWidget *window, TPlacement placement, QWidget *owner)
        : QObject(window), Window(window), Placement(placement), Owner(owner) {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override {
        // A show event comes before the window is mapped, so the place set here is the
        // one the window manager is asked for. One from the window system (restoring a
        // minimised window) leaves the window where it is.
        if (watched == Window && event->type() == QEvent::Show && !event->spontaneous()) Showing();
        return false;
    }

  private:
    void Showing() {
        const bool ownerShown = Owner && Owner->isVisible();
        if (Owner && Window->windowHandle())
            Window->windowHandle()->setTransientParent(ownerShown ? Owner->windowHandle()
                                                                  : nullptr);
        switch (Placement) {
        case TPlacement::KeepPlace:
            if (!Placed)
                CentreWindow(Window);
            else
                // An explicit place: without one the window manager places the window anew.
                Window->move(Window->pos());
            Placed = true;
            break;
        case TPlacement::OnOwner:
            CentreWindow(Window, ownerShown ? Owner.data() : nullptr);
            break;
        case TPlacement::Own:
            break;
        }
    }

    QWidget *Window;
    TPlacement Placement;
    QPointer<QWidget> Owner;
    bool Placed = false;
};
} // namespace

void PlaceWindow(QWidget *window, TPlacement placement, QWidget *owner) {
    if (owner) window->setWindowFlags((window->windowFlags() & ~Qt::WindowType_Mask) | Qt::Dialog);
    new TPlacer(window, placement, owner);
}

void CentreWindow(QWidget *window, const QWidget *over) {
    const bool onWindow = over && over->isVisible();
    const QScreen *screen = over ? over->screen() : window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveCenter(onWindow ? over->frameGeometry().center() : available.center());
    // On the screen as far as it fits; a window larger than the screen keeps its title bar
    // on it.
    frame.moveRight(std::min(frame.right(), available.right()));
    frame.moveBottom(std::min(frame.bottom(), available.bottom()));
    frame.moveLeft(std::max(frame.left(), available.left()));
    frame.moveTop(std::max(frame.top(), available.top()));
    window->move(frame.topLeft());
}
