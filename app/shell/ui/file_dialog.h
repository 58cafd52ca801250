#pragma once
#include <QString>
#include <vector>

class QWidget;

// Every file dialog of the program goes through here, so tests can answer them without a
// modal loop.
namespace filedlg {
// What a dialog is set up with.
struct Request {
    bool save;             // a save dialog (else an open dialog)
    QString title;         // window title
    QString filter;        // name filters, separated by ";;"
    QString defaultSuffix; // appended to a typed name that has none, without the dot
};

// Runs the dialog; the chosen path, or an empty string when the user cancelled.
QString run(QWidget *parent, const Request &request);

// Test seam: in test mode no dialog is shown; each call is recorded and answered at once
// with the path given to setNextPath (empty: cancelled), which is then used up.
void setTestMode(bool on);
void setNextPath(const QString &path);
const std::vector<Request> &shown();
void clearShown();
} // namespace filedlg
