#pragma once
#include <QApplication>
#include <functional>

// The program's application object: an exception thrown from an event handler would
// otherwise unwind through Qt's event loop (which is not exception safe); it is shown in a
// message box instead and the loop goes on.
class TApplication : public QApplication {
  public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// The box for an exception that escaped start-up, the loop or an event handler.
void ShowException(const char *what);

// Creates the window set (CreateForms unless given another step), runs the event loop until
// the chooser closes and destroys the windows. An exception escaping creation or the loop
// is shown in a box and makes the result 1.
int RunApplication(TApplication &app, const std::function<void()> &create = {});
