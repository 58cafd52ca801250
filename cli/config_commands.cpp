// version, show, backup, restore, default and mode: the configuration window's operations.
#include "cli.h"
#include "config/codec.h"
#include "config/record_rules.h"
#include "config/settings_file.h"
#include "config_report.h"
#include "link/frames.h"
#include "link/transaction.h"
#include "msr_session.h"

#include <cstring>
#include <sys/stat.h>

namespace {

using json = nlohmann::ordered_json;

// A session whose library is loaded; the exit status otherwise (with its error written).
int Bound(const TCliStreams &io, TMsrSession &m) {
    const std::string error = m.Bind();
    return error.empty() ? kExitOk : Fail(io, kExitNoReader, error);
}

// The configuration block a record gives, as Save encodes it.
bool Encode(const TMsrSettings &s, int language, uint8_t (&frame)[kFrameSize], int &length) {
    std::memset(frame, 0, sizeof frame);
    frames::WriteConfigurationLead(frame);
    return EncodeSaveBlock(s.LayerStore, s.LayerModes, language, s.CustomLanguage, frame, length) ==
           kEncodeOk;
}

// Reads the reader's configuration back and compares it, decoded, with the block that was
// sent: the reader may keep its records in another order, but must hold the same layers.
int Verify(const TCliStreams &io, const TMsrSession &m, const std::string &file) {
    uint8_t frame[kFrameSize];
    int length = 0;
    Encode(*m.Settings, m.Window.Controls.Language, frame, length);
    auto sent = std::make_unique<TxResult>();
    std::memset(sent->store, 0, sizeof sent->store);
    std::memset(sent->modes, 0, sizeof sent->modes);
    DecodeLoadReply(frame + 2, length - 2, sent->store, sent->modes);

    TxOptions opts;
    opts.command = TxCommand::ReadConfiguration;
    opts.decode = &DecodeLoadReply;
    const auto back =
        std::make_unique<TxResult>(RunTransaction(m.Link, frames::ReadConfiguration, opts, {}));
    switch (back->outcome) {
    case TxOutcome::Ok:
    case TxOutcome::EmptyImage:
        break;
    case TxOutcome::NoReader:
        return Fail(io, kExitNoReader, "verify: " + std::string(kNoReaderText));
    case TxOutcome::DefaultKeyCodes:
        return Fail(io, kExitReaderFailed,
                    "verify: the reader refused to give its configuration (status 41)");
    default:
        return Fail(io, kExitReaderFailed,
                    "verify: " + (back->outcome == TxOutcome::NoAnswer && back->readResult > 0
                                      ? RefusedText(back->readResult)
                                      : std::string(kNoAnswerText)));
    }
    std::string differing;
    for (int layer = 0; layer < kLayerCount; ++layer)
        if (sent->modes[layer] != back->modes[layer] ||
            std::memcmp(sent->store[layer], back->store[layer], kLayerBytes) != 0)
            differing += (differing.empty() ? "" : ", ") + std::to_string(layer);
    if (!differing.empty())
        return Fail(io, kExitVerify,
                    "verify: the reader holds another configuration than " + file +
                        " (layers differing: " + differing + ")");
    return kExitOk;
}

} // namespace

int CmdVersion(const TCliStreams &io) {
    TMsrSession m;
    if (const int status = Bound(io, m)) return status;
    const MsrOutcome outcome = MsrVersion(m.Context());
    if (outcome != MsrOutcome::Success) return ReportOutcome(io, m, outcome);
    io.out << m.Window.Version << '\n';
    return kExitOk;
}

int CmdShow(const TCliStreams &io, bool asJson) {
    TMsrSession m;
    if (const int status = Bound(io, m)) return status;
    const MsrOutcome outcome = MsrLoad(m.Context());
    if (outcome != MsrOutcome::Success) return ReportOutcome(io, m, outcome);
    if (asJson)
        // Names come from the reader's bytes, which need not be UTF-8.
        io.out << ConfigJson(*m.Settings, m.Window.Controls)
                      .dump(2, ' ', false, json::error_handler_t::replace)
               << '\n';
    else
        io.out << ConfigText(*m.Settings, m.Window.Controls);
    return kExitOk;
}

int CmdBackup(const TCliStreams &io, const std::string &file) {
    TMsrSession m;
    if (const int status = Bound(io, m)) return status;
    const MsrOutcome outcome = MsrLoad(m.Context());
    if (outcome != MsrOutcome::Success) return ReportOutcome(io, m, outcome);
    // What the window's Save File writes after it loaded the reader.
    m.Window.ControlsToRecord();
    PutFileLanguage(*m.Settings, m.Window.LanguageChoice());
    const TSettingsImage image = SettingsImageOf(*m.Settings);
    const std::string error = WriteFileAtomically(file, image.data(), image.size());
    if (!error.empty()) return Fail(io, kExitFile, error);
    io.out << "configuration saved to " << file << '\n';
    return kExitOk;
}

int CmdRestore(const TCliStreams &io, const std::string &file, bool verify) {
    // The file first: a refused file sends nothing, whether a reader is there or not.
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
    TMsrSession m;
    error = RecordFromSettingsImage(bytes.data(), bytes.size(), *m.Settings);
    if (!error.empty()) return Fail(io, kExitFile, file + ": " + error);
    // Open File: the window shows the record; a file carries no language table, so nothing of
    // the file's layer 2 is kept as one.
    m.Window.RecordToControls();
    std::memset(m.Settings->CustomLanguage, 0, sizeof m.Settings->CustomLanguage);
    // Save copies the controls into the record first (again: the same values).
    m.Window.ControlsToRecord();
    uint8_t frame[kFrameSize];
    int length = 0;
    if (!Encode(*m.Settings, kDefaultLanguage, frame, length))
        return Fail(io, kExitFile,
                    file + ": a key sequence holds more than the 20 bytes the reader takes");

    if (const int status = Bound(io, m)) return status;
    if (m.Window.Controls.Language == kLanguageUnknown) {
        // The window read the reader when it was shown: a language the program does not list
        // goes back to the reader as the reader gave it.
        TMsrSession reader;
        reader.Link = m.Link;
        const MsrOutcome outcome = MsrLoad(reader.Context());
        if (outcome != MsrOutcome::Success) return ReportOutcome(io, reader, outcome);
        if (!CustomLanguageHeld(reader.Settings->CustomLanguage))
            return Fail(io, kExitFile,
                        file + ": the keyboard language is unknown and the reader has a listed "
                               "one; nothing was written");
        std::memcpy(m.Settings->CustomLanguage, reader.Settings->CustomLanguage,
                    sizeof m.Settings->CustomLanguage);
    }
    const MsrOutcome outcome = MsrSave(m.Context());
    if (outcome != MsrOutcome::Success) return ReportOutcome(io, m, outcome);
    if (verify)
        if (const int status = Verify(io, m, file)) return status;
    io.out << file << " written to the reader" << (verify ? " and verified" : "") << '\n';
    return kExitOk;
}

int CmdDefault(const TCliStreams &io) {
    TMsrSession m;
    if (const int status = Bound(io, m)) return status;
    const MsrOutcome outcome = MsrSetDefault(m.Context());
    if (outcome != MsrOutcome::Success) return ReportOutcome(io, m, outcome);
    io.out << "default configuration written to the reader\n";
    return kExitOk;
}

int CmdMode(const TCliStreams &io, bool test) {
    TMsrSession m;
    if (const int status = Bound(io, m)) return status;
    const MsrOutcome outcome = MsrSetMode(m.Context(), test);
    if (outcome != MsrOutcome::Success) return ReportOutcome(io, m, outcome);
    io.out << "reader in " << (test ? "test" : "normal") << " mode\n";
    return kExitOk;
}
