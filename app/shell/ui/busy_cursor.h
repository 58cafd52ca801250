#pragma once
#include <optional>

class QWidget;

// The busy cursor over every window of the program for as long as it lives. Nested ones
// stack; each gives back exactly what it put up, on every way out.
class TBusyCursor {
  public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;
};

// The ordinary arrow while a box waits for the user in the middle of an operation that
// shows the busy cursor (nothing happens when no busy cursor is up).
class TArrowCursor {
  public:
    TArrowCursor();
    ~TArrowCursor();
    TArrowCursor(const TArrowCursor &) = delete;
    TArrowCursor &operator=(const TArrowCursor &) = delete;

  private:
    bool Pushed = false;
};

// For the views of windows that their reader operations switch off and on again: the busy
// cursor from the window's SetEnabled(false) until its SetEnabled(true), or until the view
// goes (an operation left by an exception).
class TBusyWhileDisabled {
  public:
    explicit TBusyWhileDisabled(QWidget *window) : Window(window) {}
    void SetEnabled(bool enabled);

  private:
    QWidget *Window;
    std::optional<TBusyCursor> Cursor;
};
