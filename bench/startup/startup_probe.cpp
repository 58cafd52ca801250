// Started by bench_startup: builds the program's start-up (the eleven windows and the
// chooser), one empty window, or one window with a line of text (plain, or ending in a
// full-width colon), and reports on the descriptor in
// STARTUP_READY_FD as soon as the first window has been painted, then exits.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#ifdef PROBE_TEXT
#include <QLabel>
#endif
#include <cstdlib>
#include <unistd.h>

#ifdef PROBE_CARDTOOL
#include "shell/ui/TForm1.h"
#include "shell/ui/application.h"
#include "shell/ui/forms.h"
#endif

namespace {
class FirstPaint : public QObject {
  public:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            // Reported once the paint has been handled.
            QTimer::singleShot(0, [] {
                const char *fd = std::getenv("STARTUP_READY_FD");
                if (fd != nullptr) {
                    const char byte = 1;
                    (void)!write(std::atoi(fd), &byte, 1);
                }
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }
    bool seen = false;
};
} // namespace

int main(int argc, char **argv) {
    FirstPaint watcher;
#ifdef PROBE_CARDTOOL
    TApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    CreateForms();
    Form1->installEventFilter(&watcher);
    const int rc = app.exec();
    DestroyForms();
    return rc;
#else
    QApplication app(argc, argv);
    QWidget window;
    window.resize(478, 250);
#ifdef PROBE_TEXT
    // One line of text: what any window with a caption on a control pays for fonts. With
    // the chooser's full-width colon the label needs the same fallback font as the chooser.
#ifdef PROBE_FULLWIDTH
    QLabel label(QString::fromUtf8("Choose Devices："), &window);
#else
    QLabel label(QStringLiteral("Choose Devices"), &window);
#endif
    label.move(16, 12);
#endif
    window.installEventFilter(&watcher);
    window.show();
    return app.exec();
#endif
}
