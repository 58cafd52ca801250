#pragma once
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QFont;
class QMessageBox;
class QWidget;

// Every message box of the program goes through here, so tests can answer them without
// a modal loop.
namespace msgbox {
// A plain information box with OK.
void information(QWidget *parent, const QString &text);
// A plain information box with OK and a caption.
void information(QWidget *parent, const QString &caption, const QString &text);
// A Yes/No question; true = Yes.
bool question(QWidget *parent, const QString &caption, const QString &text);

// The box the two calls above show outside test mode (not shown yet): at least titleRoom
// wide, its buttons without icons, a question's default No.
std::unique_ptr<QMessageBox> build(QWidget *parent, bool isQuestion, const QString &caption,
                                   const QString &text);
// The width a caption needs in a title bar: the caption in bold and the bar's icon and
// buttons beside it.
int titleRoom(const QString &caption, const QFont &font);

// Test seam: in test mode no box is shown; each call is recorded and answered at once.
struct Shown {
    bool isQuestion;
    QString caption;
    QString text;
};
void setTestMode(bool on);
bool testMode();
void setNextAnswer(bool yes); // answer of the next question (default No)
const std::vector<Shown> &shown();
void clearShown();
// Calls refused because they came from another thread than the window thread (a box
// there would touch widgets off their thread; the call shows nothing, a question is No).
int offThreadCalls();
void resetOffThreadCalls();
// Runs while a box is up (after it is recorded, before the call returns), as a user would
// act while reading it; an empty function removes it.
void setWhileShown(std::function<void(const Shown &)> action);
} // namespace msgbox
