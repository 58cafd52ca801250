// ic power-up | power-down | apdu: the IC card test's three operations, one reader
// transaction each, with the response as hex and the status word's meaning.
#include "cli.h"
#include "diagnostics/ic_card.h"
#include "json_text.h"
#include "keycodes/hex_text.h"
#include "msr_session.h"
#include "smartcard/apdu_text.h"
#include "smartcard/status_words.h"

#include <cctype>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace {

// Keeps what the test window would show.
class TCliIcWindow : public TIcWindow {
  public:
    void SetEnabled(bool) override {}
    void Message(const std::string &text) override { Verdict = text; }
    void SetTranscript(const std::string &text) override { Transcript = text; }
    void AppendTranscript(const std::string &text) override { Transcript += text; }
    void SetReply(const std::string &) override {}

    std::string Verdict, Transcript;
};

// The APDU's hex words: hex digits only (blanks inside a word are allowed), an even count of
// them in all. "" or what is wrong.
std::string CheckApduWords(const std::vector<std::string> &words, std::string &joined) {
    joined.clear();
    size_t digits = 0;
    for (const std::string &w : words)
        for (char c : w) {
            if (c == ' ') continue;
            if (!std::isxdigit(static_cast<unsigned char>(c)))
                return std::string("the APDU holds '") + c + "', which is no hex digit";
            joined += c;
            ++digits;
        }
    if (digits == 0) return "the APDU is empty";
    if (digits % 2) return "the APDU has an odd number of hex digits";
    if (digits / 2 > kMaxApduBytes)
        return "the APDU is longer than " + std::to_string(kMaxApduBytes) + " bytes";
    return {};
}

std::string Spaced(const std::vector<uint8_t> &bytes) {
    return bytes.empty() ? "(none)" : BytesToSpacedHex(bytes.data(), bytes.size());
}

} // namespace

int CmdIc(const TCliStreams &io, TIcCommand command, const std::vector<std::string> &apduWords,
          bool trace) {
    std::vector<uint8_t> apdu;
    if (command == TIcCommand::Apdu) {
        std::string joined;
        const std::string error = CheckApduWords(apduWords, joined);
        if (!error.empty()) return Fail(io, kExitUsage, error);
        apdu = ApduTextToBytes(joined);
    }
    TMsrSession m;
    const std::string error = m.Bind();
    if (!error.empty()) return Fail(io, kExitNoReader, error);

    const IcOperation operation = command == TIcCommand::PowerUp     ? IcOperation::PowerUp
                                  : command == TIcCommand::PowerDown ? IcOperation::PowerDown
                                                                     : IcOperation::Apdu;
    TCliIcWindow window;
    const TIcResult r =
        RunIcOperation(m.Link, IcFrontEnd::TestWindow, operation, apdu, IcFixedTexts(), window);
    std::string transcript;
    if (trace && !window.Transcript.empty()) {
        transcript = window.Transcript;
        for (size_t at; (at = transcript.find('\r')) != std::string::npos;)
            transcript.erase(at, 1);
        if (transcript.back() != '\n') transcript += '\n';
        if (!io.json) io.out << transcript;
    }
    switch (r.outcome) {
    case IcOutcome::Successful:
        break;
    case IcOutcome::Lose: {
        char status[8];
        std::snprintf(status, sizeof status, "%02X", unsigned(r.readResult & 0xFF));
        return Fail(io, kExitReaderFailed,
                    window.Verdict + " (the reader answered status " + status + ")");
    }
    case IcOutcome::NoReader:
        return Fail(io, kExitNoReader, NoReaderText());
    case IcOutcome::NoAnswer:
        return Fail(io, kExitReaderFailed, kNoAnswerText);
    case IcOutcome::NotBound:
        return Fail(io, kExitNoReader, std::string("cannot load ") + kCliLibraryFile);
    case IcOutcome::ApduTooLong:
    case IcOutcome::Busy:
        return Fail(io, kExitUsage, "the APDU was not sent");
    }

    nlohmann::ordered_json result;
    if (command != TIcCommand::Apdu) {
        const char *what = command == TIcCommand::PowerUp ? "atr" : "response";
        result[what] = BytesToSpacedHex(r.reply.data(), r.reply.size());
        if (!io.json)
            io.out << (command == TIcCommand::PowerUp ? "ATR: " : "response: ") << Spaced(r.reply)
                   << '\n';
    } else if (r.reply.size() < 2) {
        result["response"] = BytesToSpacedHex(r.reply.data(), r.reply.size());
        result["sw"] = nullptr;
        if (!io.json) io.out << "response: " << Spaced(r.reply) << " (no status word)\n";
    } else {
        const std::vector<uint8_t> &reply = r.reply;
        const uint8_t sw1 = reply[reply.size() - 2], sw2 = reply.back();
        char sw[8];
        std::snprintf(sw, sizeof sw, "%02X %02X", sw1, sw2);
        result["response"] = BytesToSpacedHex(reply.data(), reply.size() - 2);
        result["sw"] = sw;
        result["meaning"] = StatusWordMeaning(sw1, sw2);
        if (!io.json)
            io.out << "response: " << Spaced({reply.begin(), reply.end() - 2}) << '\n'
                   << "SW1 SW2: " << sw << " (" << StatusWordMeaning(sw1, sw2) << ")\n";
    }
    if (io.json) {
        if (trace) result["trace"] = transcript;
        io.out << JsonText(result) << '\n';
    }
    return kExitOk;
}
