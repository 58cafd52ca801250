// cardtool: shows the device chooser (the other windows are built on their first use) and
// runs the event loop until the chooser closes.
#include "shell/ui/application.h"

int main(int argc, char **argv) {
    TApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("cardtool"));
    // The program ends when the chooser closes, not when the last visible window does
    // (a device window hides itself after showing the chooser again).
    app.setQuitOnLastWindowClosed(false);
    return RunApplication(app);
}
