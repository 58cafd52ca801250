// cardtool: creates the eleven windows, shows the device chooser and runs the event loop
// until the chooser closes.
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"

#include <QApplication>
#include <exception>

namespace {
void ShowException(const char *what) {
    msgbox::information(nullptr, QApplication::applicationDisplayName(),
                        QString::fromLocal8Bit(what));
}

// An exception thrown from an event handler would otherwise unwind through Qt's event
// loop (which is not exception safe); it is shown and the loop goes on.
class TApplication : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            ShowException(e.what());
        } catch (...) {
            ShowException("Unknown exception.");
        }
        return false;
    }
};
} // namespace

int main(int argc, char **argv) {
    TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("cardtool"));
    // The program ends when the chooser closes, not when the last visible window does
    // (a device window hides itself after showing the chooser again).
    app.setQuitOnLastWindowClosed(false);
    int result = 0;
    try {
        CreateForms();
        result = app.exec();
    } catch (const std::exception &e) {
        ShowException(e.what());
        result = 1;
    } catch (...) {
        ShowException("Unknown exception.");
        result = 1;
    }
    DestroyForms();
    return result;
}
