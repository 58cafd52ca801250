#include "shell/ui/message_box.h"

#include "shell/ui/busy_cursor.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>
#include <QThread>
#include <algorithm>
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
    const auto box = build(parent, false, caption, text);
    const TArrowCursor arrow;
    box->exec();
}

bool question(QWidget *parent, const QString &caption, const QString &text) {
    if (!OnGuiThread(text)) return false;
    if (gTestMode) {
        Record({true, caption, text});
        const bool yes = gNextAnswer;
        gNextAnswer = false;
        return yes;
    }
    const auto box = build(parent, true, caption, text);
    const TArrowCursor arrow;
    return box->exec() == QMessageBox::Yes;
}

int titleRoom(const QString &caption, const QFont &font) {
    // Title bars usually set the caption in bold, beside an icon and three buttons.
    QFont bold = font;
    bold.setBold(true);
    constexpr int kTitleBarChrome = 120;
    return QFontMetrics(bold).horizontalAdvance(caption) + kTitleBarChrome;
}

std::unique_ptr<QMessageBox> build(QWidget *parent, bool isQuestion, const QString &caption,
                                   const QString &text) {
    auto box = std::make_unique<QMessageBox>(
        isQuestion ? QMessageBox::Question : QMessageBox::NoIcon, caption, text,
        isQuestion ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    if (isQuestion) box->setDefaultButton(QMessageBox::No);
    // Buttons look like the windows' own: a caption, no icon.
    for (QAbstractButton *button : box->buttons())
        button->setIcon(QIcon());
    // A box sizes itself to its text; a short text under a long caption would leave the
    // title bar too narrow for it. The box stays within the screen.
    int room = titleRoom(caption, box->font());
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        room = std::min(room, screen->availableGeometry().width() * 9 / 10);
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout()))
        grid->addItem(new QSpacerItem(room, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box;
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
