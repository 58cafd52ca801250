#include "shell/ui/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>
#include <atomic>

namespace msgbox {
namespace {
bool gTestMode = false;
bool gNextAnswer = false;
std::vector<Shown> gShown;
std::atomic<int> gOffThreadCalls{0};

// A box belongs to the window thread. A call from any other thread is refused (and
// counted, so a test fails) instead of touching widgets from there.
bool OnGuiThread(const QString &text) {
    const QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) return true;
    ++gOffThreadCalls;
    qCritical("message box refused off the window thread: %s", qPrintable(text));
    return false;
}
std::function<void(const Shown &)> gWhileShown;

void Record(const Shown &box) {
    gShown.push_back(box);
    if (gWhileShown) gWhileShown(box);
}

QString ApplicationCaption() {
    return QGuiApplication::applicationDisplayName();
}
} // namespace

void information(QWidget *parent, const QString &text) {
    information(parent, ApplicationCaption(), text);
}

void information(QWidget *parent, const QString &caption, const QString &text) {
    if (!OnGuiThread(text)) return;
    if (gTestMode) {
        Record({false, caption, text});
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool question(QWidget *parent, const QString &caption, const QString &text) {
    if (!OnGuiThread(text)) return false;
    if (gTestMode) {
        Record({true, caption, text});
        const bool yes = gNextAnswer;
        gNextAnswer = false;
        return yes;
    }
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void setTestMode(bool on) {
    gTestMode = on;
}
bool testMode() {
    return gTestMode;
}
void setNextAnswer(bool yes) {
    gNextAnswer = yes;
}
const std::vector<Shown> &shown() {
    return gShown;
}
void clearShown() {
    gShown.clear();
}
int offThreadCalls() {
    return gOffThreadCalls.load();
}
void resetOffThreadCalls() {
    gOffThreadCalls.store(0);
}
void setWhileShown(std::function<void(const Shown &)> action) {
    gWhileShown = std::move(action);
}
} // namespace msgbox
