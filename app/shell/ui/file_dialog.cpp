#include "shell/ui/file_dialog.h"

#include <QFileDialog>
#include <utility>

namespace filedlg {
namespace {
bool gTestMode = false;
QString gNextPath;
std::vector<Request> gShown;
} // namespace

QString run(QWidget *parent, const Request &request) {
    if (gTestMode) {
        gShown.push_back(request);
        return std::exchange(gNextPath, QString());
    }
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(request.filter.split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

void setTestMode(bool on) {
    gTestMode = on;
}
void setNextPath(const QString &path) {
    gNextPath = path;
}
const std::vector<Request> &shown() {
    return gShown;
}
void clearShown() {
    gShown.clear();
}
} // namespace filedlg
