#pragma once
#include <QApplication>

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
