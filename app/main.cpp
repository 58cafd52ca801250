// cardtool: creates the eleven windows, shows the device chooser and runs the event loop
// until the chooser closes.
#include "shell/ui/application.h"
#include "shell/ui/forms.h"

#include <exception>

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
