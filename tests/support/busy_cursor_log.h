#pragma once
// What the program's cursor was while a window's operation held the window: at each change
// between enabled and disabled, and whenever events ran while it was disabled (the reader
// libraries let them through while they wait).
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// The shape the program overrides every window's cursor with, or kNoCursor.
inline constexpr int kNoCursor = -1;
inline constexpr int kBusyCursor = Qt::WaitCursor;
inline int OverrideCursor() {
    const QCursor *c = QGuiApplication::overrideCursor();
    return c ? int(c->shape()) : kNoCursor;
}

class CursorLog : public QObject {
  public:
    explicit CursorLog(QWidget *window) : Window(window) {
        window->installEventFilter(this);
        QObject::connect(&Sampler, &QTimer::timeout, [this] {
            if (!Window->isEnabled()) Waiting.push_back(OverrideCursor());
        });
        Sampler.start(0);
    }
    ~CursorLog() override { Window->removeEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == Window && event->type() == QEvent::EnabledChange)
            Changes.push_back({Window->isEnabled(), OverrideCursor()});
        return false;
    }

    // Every disabling put the busy cursor up and every enabling took it down again, as
    // often, the cursor stayed busy in between, and nothing is left up.
    void ExpectBusyWhileDisabled(const std::string &what) const {
        int disabled = 0, enabled = 0;
        for (const Change &c : Changes) {
            EXPECT_EQ(c.cursor, c.enabled ? kNoCursor : kBusyCursor) << what;
            ++(c.enabled ? enabled : disabled);
        }
        EXPECT_GT(disabled, 0) << what;
        EXPECT_EQ(disabled, enabled) << what;
        for (int shape : Waiting)
            EXPECT_EQ(shape, kBusyCursor) << what;
        EXPECT_EQ(OverrideCursor(), kNoCursor) << what;
        EXPECT_TRUE(Window->isEnabled()) << what;
    }

    struct Change {
        bool enabled;
        int cursor;
    };
    QWidget *Window;
    std::vector<Change> Changes;
    std::vector<int> Waiting;
    QTimer Sampler;
};
