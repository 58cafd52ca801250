// Creates the program's windows as start-up does, shows each in turn offscreen and saves
// what it shows as <dir>/<nn>-<FormN>.png. Message boxes are answered through the seam
// (and listed on standard output), so nothing waits for a user.
#include "shell/ui/application.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"

#include "contactless/ui/TForm10.h"
#include "diagnostics/ui/TForm3.h"
#include "diagnostics/ui/TForm7.h"
#include "keycodes/ui/TForm5.h"
#include "keycodes/ui/TForm6.h"
#include "link/ui/TForm2.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/TForm4.h"
#include "shell/ui/TForm8.h"
#include "shell/ui/TForm9.h"
#include "smartcard/ui/TForm11.h"

#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdio>

namespace {
void Settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}
// The test windows pictured at work: a card swiped on the test page (the reader types
// it), the IC card powered up.
void ShowInUse(QWidget *w) {
    if (w == Form3) {
        for (const char *line :
             {"%B4000123412341234^DOE/JOHN^2512101?", ";4000123412341234=2512101?"}) {
            for (QChar c : QString::fromLatin1(line) + QChar('\r')) {
                QKeyEvent press(QEvent::KeyPress, c == '\r' ? Qt::Key_Return : Qt::Key_unknown,
                                Qt::NoModifier, QString(c));
                QCoreApplication::sendEvent(Form3->Memo1, &press);
            }
        }
    } else if (w == Form7) {
        Form7->Button1->click();
    }
    Settle(100);
}
} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_windows <dir>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) return 1;
    msgbox::setTestMode(true);
    CreateForms();
    // As choosing the reader in the chooser does: card data comes in over USB.
    Form1->PortChoice.CardOnUsb = 1;
    Settle(100);

#ifdef FAKE_BRENMARK
    // The PC/SC window on the tests' stand-in library, so that it shows an answer.
    Form11->BrenmarkLibraryFile = FAKE_BRENMARK;
#endif
    const QList<QWidget *> windows = {Form1, Form2, Form3, Form4,  Form5, Form6,
                                      Form7, Form8, Form9, Form10, Form11};
    int failures = 0;
    for (int i = 0; i < windows.size(); ++i) {
        QWidget *w = windows[i];
        if (i > 0) {
            w->show();
            Settle(300);
            ShowInUse(w);
        }
        if (w == Form11) {
            Form11->BitBtn2->click(); // Open
            Form11->BitBtn5->click(); // Apdu with the default command
            Settle(100);
        }
        const QString file =
            dir.filePath(QString("%1-%2.png").arg(i + 1, 2, 10, QChar('0')).arg(w->objectName()));
        const bool saved = w->grab().save(file);
        std::printf("%s %s \"%s\"\n", saved ? "wrote" : "FAILED", qPrintable(file),
                    qPrintable(w->windowTitle()));
        failures += !saved;
        for (const auto &box : msgbox::shown())
            std::printf("  box%s: [%s] %s\n", box.isQuestion ? " (question)" : "",
                        qPrintable(box.caption), qPrintable(box.text));
        msgbox::clearShown();
        if (i > 0) {
            w->close();
            Settle(100);
        }
    }
    DestroyForms();
    return failures == 0 ? 0 : 1;
}
