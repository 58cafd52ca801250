#include "settings_source.h"

#include "config/codec.h"
#include "config/settings_file.h"
#include "link/frames.h"

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

int OpenSettingsFile(const TCliStreams &io, const std::string &file, TShortFile shortFile,
                     TMsrSession &m) {
    std::vector<uint8_t> bytes;
    std::string error = ReadSettingsFile(file, bytes);
    if (!error.empty()) return Fail(io, kExitFile, error);
    if (bytes.size() > kSettingsFileBytes) {
        struct stat st;
        const std::string size = ::stat(file.c_str(), &st) == 0
                                     ? std::to_string(st.st_size)
                                     : "more than " + std::to_string(kSettingsFileBytes);
        return Fail(io, kExitFile,
                    file + ": file is " + size + " bytes; a settings file holds at most " +
                        std::to_string(kSettingsFileBytes));
    }
    if (bytes.size() < kSettingsFileBytes && !bytes.empty() && shortFile != TShortFile::Accept) {
        const std::string size = file + ": file is " + std::to_string(bytes.size()) +
                                 " bytes; a settings file holds " +
                                 std::to_string(kSettingsFileBytes);
        // One cut short in a copy would give every reader zeros where it ends.
        if (shortFile == TShortFile::Refuse)
            return Fail(io, kExitFile, size + " (a file cut short?); nothing was written");
        io.err << "cardtool-cli: warning: " << size << "; what it lacks reads as zero\n";
    }
    error = RecordFromSettingsImage(bytes.data(), bytes.size(), *m.Settings);
    if (!error.empty()) return Fail(io, kExitFile, file + ": " + error);
    m.Window.RecordToControls();
    std::memset(m.Settings->CustomLanguage, 0, sizeof m.Settings->CustomLanguage);
    m.Window.ControlsToRecord();
    return kExitOk;
}

bool EncodeRecord(const TMsrSettings &s, int language, uint8_t (&frame)[kFrameSize], int &length) {
    std::memset(frame, 0, sizeof frame);
    frames::WriteConfigurationLead(frame);
    return EncodeSaveBlock(s.LayerStore, s.LayerModes, language, s.CustomLanguage, frame, length) ==
           kEncodeOk;
}

std::string TooLongText(const std::string &file) {
    return file + ": a key sequence holds more than the 20 bytes the reader takes";
}

int LoadReader(const TCliStreams &io, TMsrSession &m) {
    const std::string error = m.Bind();
    if (!error.empty()) return Fail(io, kExitNoReader, error);
    return ReportOutcome(io, m, MsrLoad(m.Context()));
}

TDeviceChoice::TDeviceChoice(const std::string &name) {
    if (name.empty()) return;
    if (const char *v = std::getenv(kDeviceVariable)) {
        had_ = true;
        earlier_ = v;
    }
    ::setenv(kDeviceVariable, name.c_str(), 1);
    changed_ = true;
}

TDeviceChoice::~TDeviceChoice() {
    if (!changed_) return;
    if (had_)
        ::setenv(kDeviceVariable, earlier_.c_str(), 1);
    else
        ::unsetenv(kDeviceVariable);
}
