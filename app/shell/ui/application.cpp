#include "shell/ui/application.h"

#include "shell/ui/message_box.h"

#include <exception>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

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
