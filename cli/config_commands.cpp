// version, show, backup, restore, default and mode: the configuration window's operations.
#include "cli.h"
#include "config/codec.h"
#include "config/record_rules.h"
#include "config/settings_file.h"
#include "config_report.h"
#include "json_text.h"
#include "link/frames.h"
#include "link/transaction.h"
#include "msr_session.h"
#include "settings_source.h"

#include <cstring>

namespace {

using json = nlohmann::ordered_json;

// A session whose library is loaded; the exit status otherwise (with its error written).
int Bound(const TCliStreams &io, TMsrSession &m) {
    const std::string error = m.Bind();
    return error.empty() ? kExitOk : Fail(io, kExitNoReader, error);
}

// A result: as JSON, or as its line of text.
int Done(const TCliStreams &io, const json &result, const std::string &text) {
    if (io.json)
        io.out << JsonText(result) << '\n';
    else
        io.out << text << '\n';
    return kExitOk;
}

// Reads the reader's configuration back and compares it, decoded, with the block that was
// sent: the reader may keep its records in another order, but must hold the same layers.
int Verify(const TCliStreams &io, const TMsrSession &m, const std::string &file) {
    uint8_t frame[kFrameSize];
    int length = 0;
    EncodeRecord(*m.Settings, m.Window.Controls.Language, frame, length);
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
        return Fail(io, kExitNoReader, "verify: " + NoReaderText());
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
    return Done(io, json{{"version", m.Window.Version}}, m.Window.Version);
}

int CmdShow(const TCliStreams &io) {
    TMsrSession m;
    if (const int status = LoadReader(io, m)) return status;
    if (io.json)
        io.out << JsonText(ConfigJson(*m.Settings, m.Window.Controls), 2) << '\n';
    else
        io.out << ConfigText(*m.Settings, m.Window.Controls);
    return kExitOk;
}

int CmdBackup(const TCliStreams &io, const std::string &file) {
    TMsrSession m;
    if (const int status = LoadReader(io, m)) return status;
    // What the window's Save File writes after it loaded the reader.
    m.Window.ControlsToRecord();
    PutFileLanguage(*m.Settings, m.Window.LanguageChoice());
    const TSettingsImage image = SettingsImageOf(*m.Settings);
    const std::string error = WriteFileAtomically(file, image.data(), image.size());
    if (!error.empty()) return Fail(io, kExitFile, error);
    return Done(io, json{{"file", file}, {"bytes", image.size()}},
                "configuration saved to " + file);
}

int CmdRestore(const TCliStreams &io, const std::string &file, bool verify) {
    // The file first: a refused file sends nothing, whether a reader is there or not.
    TMsrSession m;
    if (const int status = OpenSettingsFile(io, file, TShortFile::Accept, m)) return status;
    uint8_t frame[kFrameSize];
    int length = 0;
    if (!EncodeRecord(*m.Settings, kDefaultLanguage, frame, length))
        return Fail(io, kExitFile, TooLongText(file));

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
    return Done(io, json{{"file", file}, {"written", true}, {"verified", verify}},
                file + " written to the reader" + (verify ? " and verified" : ""));
}

int CmdDefault(const TCliStreams &io) {
    TMsrSession m;
    if (const int status = Bound(io, m)) return status;
    const MsrOutcome outcome = MsrSetDefault(m.Context());
    if (outcome != MsrOutcome::Success) return ReportOutcome(io, m, outcome);
    return Done(io, json{{"written", "default"}}, "default configuration written to the reader");
}

int CmdMode(const TCliStreams &io, bool test) {
    TMsrSession m;
    if (const int status = Bound(io, m)) return status;
    const MsrOutcome outcome = MsrSetMode(m.Context(), test);
    if (outcome != MsrOutcome::Success) return ReportOutcome(io, m, outcome);
    const std::string mode = test ? "test" : "normal";
    return Done(io, json{{"mode", mode}}, "reader in " + mode + " mode");
}
