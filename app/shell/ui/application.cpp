#include "shell/ui/application.h"

#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"
#include "shell/ui/program_icon.h"

#include <exception>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {
    setWindowIcon(ProgramIcon());
}

bool TApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("Unknown exception.");
    }
    return false;
}

void ShowException(const char *what) {
    msgbox::information(nullptr, QApplication::applicationDisplayName(),
                        QString::fromLocal8Bit(what));
}

int RunApplication(TApplication &app, const std::function<void()> &create) {
    int result = 0;
    try {
        if (create)
            create();
        else
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
