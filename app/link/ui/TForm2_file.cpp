// The configuration window's settings file: Save File (Button12) writes the record's modes
// and layers to a file the user chooses, Open File (Button11) reads one back into the record
// and the window. Neither talks to the reader.
#include "TForm2.h"

#include "config/settings_file.h"
#include "link/msr_operations.h"
#include "shell/ui/file_dialog.h"
#include "shell/ui/message_box.h"

#include <QCoreApplication>
#include <QFile>
#include <cstring>
#include <vector>

namespace {

// UI text indices.
enum : int {
    kOpenFileText = 15,
    kSaveFileText = 16,
    kSaveFileSuccessText = 108,
    kOpenFileSuccessText = 109,
};
// The table has no text for a failed file operation.
const char kOpenFileError[] = "OPEN FILE ERROR";
const char kSaveFileError[] = "SAVE FILE ERROR";

filedlg::Request Dialog(bool save) {
    return {save, save ? QStringLiteral("Save File") : QStringLiteral("Open File"),
            QStringLiteral("MDAT(*.MDAT);;ALL FILE(*.ALL)"), QStringLiteral("MDAT")};
}

} // namespace

void TForm2::Button12Click() {
    if (!isEnabled()) return; // held by an auxiliary window or an operation
    const QString path = filedlg::run(this, Dialog(true));
    if (path.isEmpty()) return;
    ControlsToRecord();
    PutFileLanguage(MsrSettings, LanguageChoice());
    const TSettingsImage image = SettingsImageOf(MsrSettings);
    const std::string error =
        WriteFileAtomically(QFile::encodeName(path).toStdString(), image.data(), image.size());
    const TUiText &texts = Context().Text;
    SetPanelText(0, QString::fromStdString(texts[kSaveFileText]));
    if (!error.empty()) {
        SetPanelText(1, QString::fromLatin1(kSaveFileError));
        msgbox::information(this, QString::fromStdString(error));
        return;
    }
    SetPanelText(1, QString::fromStdString(texts[kSaveFileSuccessText]));
}

void TForm2::Button11Click() {
    if (!isEnabled()) return;
    const QString path = filedlg::run(this, Dialog(false));
    if (path.isEmpty()) return;
    const std::string file = QFile::encodeName(path).toStdString();
    std::vector<uint8_t> bytes;
    std::string error = ReadSettingsFile(file, bytes);
    if (error.empty()) {
        // A file carries no language table: the one a reader reported stays for "UNKNOW".
        uint8_t kept[sizeof MsrSettings.CustomLanguage];
        std::memcpy(kept, MsrSettings.CustomLanguage, sizeof kept);
        error = RecordFromSettingsImage(bytes.data(), bytes.size(), MsrSettings);
        if (error.empty()) {
            RecordToControls();
            std::memcpy(MsrSettings.CustomLanguage, kept, sizeof kept);
            QCoreApplication::processEvents();
        } else {
            error = "Cannot open \"" + file + "\": " + error;
        }
    }
    const TUiText &texts = Context().Text;
    SetPanelText(0, QString::fromStdString(texts[kOpenFileText]));
    if (!error.empty()) {
        SetPanelText(1, QString::fromLatin1(kOpenFileError));
        msgbox::information(this, QString::fromStdString(error));
        return;
    }
    SetPanelText(1, QString::fromStdString(texts[kOpenFileSuccessText]));
}
