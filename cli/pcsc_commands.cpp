// pcsc list | atr | apdu | script. apdu and script run the PC/SC window's own listing,
// Open and exchange over the same library, so what they send is what the window sends;
// list and atr ask the service directly for what the library's calls do not give.
#include "cli.h"
#include "json_text.h"
#include "pcsc_service.h"
#include "smartcard/apdu_script.h"
#include "smartcard/apdu_text.h"
#include "smartcard/atr.h"
#include "smartcard/pcsc_link.h"
#include "smartcard/pcsc_operations.h"
#include "smartcard/status_words.h"

#include <PCSC/winscard.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace {

using json = nlohmann::ordered_json;

constexpr const char *kPcscLibraryFile = "libbrenmark.so";
constexpr const char *kDefaultAtrList = "/usr/share/pcsc/smartcard_list.txt";
// The library's results that the commands tell apart.
constexpr int kPsNoContext = -1004;
constexpr int kPsNoReader = -1006;
// Longer than any answer to reset; what is between is decoded and shown as wrong.
constexpr std::size_t kMaxAtrInput = 256;

std::string Spaced(const std::vector<uint8_t> &bytes) {
    return BytesToSpacedHex(bytes.data(), bytes.size());
}
std::string Hex(const std::vector<uint8_t> &bytes) {
    return BytesToHex(bytes.data(), bytes.size());
}
std::string Hex(uint8_t b) {
    return BytesToHex(&b, 1);
}

std::string Joined(const std::vector<std::string> &words) {
    std::string text;
    for (const std::string &w : words)
        text += (text.empty() ? "" : " ") + w;
    return text;
}

// --- the answer to reset ---

struct TKnownLookup {
    bool Listed = false; // the list could be read
    std::string Path;
    std::vector<TKnownAtr> Matches;
};

// The list of known answers is optional: without it nothing is named. A list asked for by
// name that cannot be read is worth a warning.
TKnownLookup LookUpKnown(const TCliStreams &io, const std::vector<uint8_t> &atr) {
    TKnownLookup k;
    const char *chosen = std::getenv("CARDTOOL_ATR_LIST");
    k.Path = chosen && *chosen ? chosen : kDefaultAtrList;
    std::ifstream in(k.Path);
    if (!in) {
        if (chosen && *chosen)
            io.err << "cardtool-cli: warning: cannot read the list of known ATRs " << k.Path
                   << '\n';
        return k;
    }
    k.Listed = true;
    k.Matches = MatchKnownAtrs(in, atr);
    return k;
}

json AtrJson(const TAtrInfo &info, const TKnownLookup &known, const std::string &reader) {
    json j;
    if (!reader.empty()) j["reader"] = reader;
    j["atr"] = Hex(info.Bytes);
    j["convention"] = info.Fields.empty() ? json() : json(info.Inverse ? "inverse" : "direct");
    j["converted"] = info.Converted;
    json fields = json::array();
    for (const TAtrField &f : info.Fields)
        fields.push_back(json{{"offset", f.Offset},
                              {"name", f.Name},
                              {"value", Hex(f.Value)},
                              {"meaning", f.Meaning}});
    j["fields"] = fields;
    j["protocols"] = info.InterfaceComplete ? json(info.Protocols) : json();
    j["historical"] = info.InterfaceComplete ? json{{"offset", info.HistoricalOffset},
                                                    {"bytes", Hex(info.Historical)},
                                                    {"notes", info.HistoricalNotes}}
                                             : json();
    j["tck"] = json{{"required", info.TckRequired},
                    {"present", info.TckPresent},
                    {"ok", info.TckPresent ? json(info.TckOk) : json()}};
    j["problem"] =
        info.Sound() ? json() : json{{"offset", info.ProblemOffset}, {"text", info.Problem}};
    if (known.Listed) {
        json matches = json::array();
        for (const TKnownAtr &m : known.Matches)
            matches.push_back(json{{"pattern", m.Pattern}, {"descriptions", m.Descriptions}});
        j["known"] = matches;
    } else {
        j["known"] = json();
    }
    return j;
}

void AtrText(std::ostream &out, const TAtrInfo &info, const TKnownLookup &known,
             const std::string &reader) {
    if (!reader.empty()) out << "Reader: " << reader << '\n';
    out << "ATR: " << Spaced(info.Bytes) << '\n';
    for (const TAtrField &f : info.Fields) {
        char head[32];
        std::snprintf(head, sizeof head, "  %2zu  %-4s %02X  ", f.Offset, f.Name.c_str(), f.Value);
        out << head << f.Meaning << '\n';
    }
    if (info.InterfaceComplete) {
        out << "Protocols:";
        for (int t : info.Protocols)
            out << " T=" << t;
        out << '\n';
        out << "Historical bytes: ";
        if (info.Historical.empty()) {
            out << "none\n";
        } else {
            std::string ascii;
            for (uint8_t b : info.Historical)
                ascii += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
            out << Spaced(info.Historical) << "  \"" << ascii << "\"\n";
            for (const std::string &note : info.HistoricalNotes)
                out << "  " << note << '\n';
        }
        if (!info.TckRequired) out << "TCK: none (only T=0 is offered)\n";
    }
    if (!info.Sound())
        out << "Problem at offset " << info.ProblemOffset << ": " << info.Problem << '\n';
    if (!known.Listed) return;
    if (known.Matches.empty()) {
        out << "Known as: not in " << known.Path << '\n';
        return;
    }
    out << "Known as:\n";
    for (const TKnownAtr &m : known.Matches)
        for (const std::string &d : m.Descriptions)
            out << "  " << d << '\n';
}

// --- the library session ---

// The PC/SC window as the commands run it: no boxes, the last message kept.
class TCliPcscWindow : public TPcscWindow {
  public:
    void Message(const std::string &text) override { Last = text; }
    void ClearReaders() override {}
    void AddReader(const std::string &) override {}
    void SelectReader(int) override {}
    void SetReaderText(const std::string &) override {}
    int ReaderIndex() override { return Index; }
    std::string CommandText() override { return {}; }
    bool AutoGetResponse() override { return false; }
    void ShowResponse(const std::string &, const std::string &) override {}

    std::string Last;
    int Index = -1;
};

class TCardSession {
  public:
    TCardSession() = default;
    TCardSession(const TCardSession &) = delete;
    TCardSession &operator=(const TCardSession &) = delete;
    ~TCardSession() {
        if (Link.Bound != 1) return;
        PcscEndConnection(Context());
        Link.PS_FreeDevice();
    }

    // Loads the library, lists the readers and connects to the card in the reader `choice`
    // names, or else in the first reader that holds one. kExitOk, or the exit status with
    // its message written.
    int Open(const TCliStreams &io, const std::string &choice) {
        std::string caption;
        if (BindPcscLink(
                Link, [&](const char *c) { caption = c; }, kPcscLibraryFile) != BindResult::Ok)
            return Fail(io, kExitNoReader,
                        caption == kPcscNotOpen
                            ? std::string("cannot load ") + kPcscLibraryFile
                            : std::string(kPcscLibraryFile) + " lacks one of its entry points");
        const int listed = PcscListReaders(Context());
        if (listed == kPsNoContext)
            return Fail(io, kExitNoReader, "the smart-card service (pcscd) is not running");
        if (listed == kPsNoReader || listed == static_cast<int>(SCARD_E_NO_READERS_AVAILABLE))
            return Fail(io, kExitNoReader, "no PC/SC reader");
        if (listed != 0)
            return Fail(io, kExitNoReader,
                        "listing the PC/SC readers failed (result " + std::to_string(listed) + ")");
        if (!choice.empty()) {
            int status = kExitOk;
            const int index = ResolveReader(io, Readers, choice, status);
            if (index < 0) return status;
            if (!Connect(index))
                return Fail(io, kExitReaderFailed,
                            "cannot connect to the card in '" + Readers[std::size_t(index)] +
                                "': no card, or another program holds it");
            return kExitOk;
        }
        for (int i = 0; i < static_cast<int>(Readers.size()); ++i)
            if (Connect(i)) return kExitOk;
        return Fail(io, kExitReaderFailed,
                    "no card in any PC/SC reader (or other programs hold them all)");
    }

    TApduExchange Exchange(const std::vector<uint8_t> &command, bool autoGetResponse) {
        return ExchangeApdu(Link.PS_TransmitData, command, autoGetResponse);
    }

    std::string Reader;

  private:
    TPcscContext Context() { return TPcscContext{Link, Readers, Window}; }

    bool Connect(int index) {
        Window.Index = index;
        PcscOpen(Context());
        if (Window.Last != kOpenSuccessful) return false;
        Reader = Readers[static_cast<std::size_t>(index)];
        return true;
    }

    TPcscLink Link;
    std::vector<std::string> Readers;
    TCliPcscWindow Window;
};

json ExchangeJson(const TApduExchange &x) {
    json sent = json::array();
    for (const auto &s : x.Sent)
        sent.push_back(Hex(s));
    const std::vector<uint8_t> &r = x.Response;
    json j{{"sent", sent}, {"response", Hex(r)}};
    if (r.size() >= 2) {
        j["data"] = Hex(std::vector<uint8_t>(r.begin(), r.end() - 2));
        j["sw"] = Hex(std::vector<uint8_t>(r.end() - 2, r.end()));
        j["meaning"] = StatusWordMeaning(r[r.size() - 2], r.back());
    } else {
        j["data"] = Hex(r);
        j["sw"] = json();
        j["meaning"] = json();
    }
    return j;
}

void ExchangeText(std::ostream &out, const TApduExchange &x, const char *indent) {
    for (const auto &s : x.Sent)
        out << indent << "sent: " << Spaced(s) << '\n';
    if (x.Result != 0) return;
    const std::vector<uint8_t> &r = x.Response;
    if (r.size() < 2) {
        out << indent << "response: " << (r.empty() ? "(none)" : Spaced(r))
            << " (no status word)\n";
        return;
    }
    const std::vector<uint8_t> data(r.begin(), r.end() - 2);
    out << indent << "response: " << (data.empty() ? "(none)" : Spaced(data)) << '\n';
    out << indent << "SW1 SW2: " << Spaced({r[r.size() - 2], r.back()}) << " ("
        << StatusWordMeaning(r[r.size() - 2], r.back()) << ")\n";
}

std::string ExchangeFailed(const TApduExchange &x) {
    return "the exchange failed (result " + std::to_string(x.Result) +
           "): the card was removed or refused the command";
}

// The script file whole; kExitOk or the exit status with its message written.
int ReadScript(const TCliStreams &io, const std::string &file, std::string &text) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(io, kExitFile, "cannot read " + file + ": " + std::strerror(errno));
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            return Fail(io, kExitFile, "cannot read " + file + ": " + std::strerror(error));
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMaxScriptBytes) {
            close(fd);
            return Fail(io, kExitFile, file + " is larger than 1 MiB: no APDU script");
        }
    }
    close(fd);
    return kExitOk;
}

} // namespace

int CmdPcscList(const TCliStreams &io, bool asJson) {
    std::vector<TReaderState> readers;
    const long rv = ListReaderStates(readers);
    if (rv != 0) return ServiceFailure(io, rv);
    if (asJson) {
        json list = json::array();
        for (std::size_t i = 0; i < readers.size(); ++i) {
            const TReaderState &r = readers[i];
            list.push_back(json{{"index", i},
                                {"name", r.Name},
                                {"card", r.Card},
                                {"atr", r.Card && !r.Mute ? json(Hex(r.Atr)) : json()},
                                {"mute", r.Mute},
                                {"in_use", r.InUse},
                                {"exclusive", r.Exclusive}});
        }
        io.out << JsonText(json{{"readers", list}}, 2) << '\n';
        return kExitOk;
    }
    if (readers.empty()) io.out << "no PC/SC reader\n";
    for (std::size_t i = 0; i < readers.size(); ++i) {
        const TReaderState &r = readers[i];
        io.out << i << ": " << r.Name << ": ";
        if (!r.Card)
            io.out << "no card";
        else if (r.Mute)
            io.out << "card mute (no answer to reset)";
        else
            io.out << "card " << Spaced(r.Atr);
        if (r.Exclusive)
            io.out << ", held by a program";
        else if (r.InUse)
            io.out << ", in use";
        io.out << '\n';
    }
    return kExitOk;
}

int CmdPcscAtr(const TCliStreams &io, const TPcscOptions &o, const std::vector<std::string> &hex) {
    std::string why;
    if (!o.Reader.empty() && !ValidReaderChoice(o.Reader, why)) return Fail(io, kExitUsage, why);
    if (!hex.empty() && !o.Reader.empty())
        return Fail(io, kExitUsage, "give an ATR or --reader, not both");
    std::vector<uint8_t> atr;
    std::string reader;
    if (!hex.empty()) {
        const std::string error = ParseHexBytes(Joined(hex), atr, "ATR", kMaxAtrInput);
        if (!error.empty()) return Fail(io, kExitUsage, error);
    } else {
        std::vector<TReaderState> readers;
        const long rv = ListReaderStates(readers);
        if (rv != 0) return ServiceFailure(io, rv);
        if (readers.empty()) return Fail(io, kExitNoReader, "no PC/SC reader");
        int index = -1;
        if (!o.Reader.empty()) {
            std::vector<std::string> names;
            for (const TReaderState &r : readers)
                names.push_back(r.Name);
            int status = kExitOk;
            index = ResolveReader(io, names, o.Reader, status);
            if (index < 0) return status;
            if (!readers[std::size_t(index)].Card)
                return Fail(io, kExitReaderFailed,
                            "no card in '" + names[std::size_t(index)] + "'");
        } else {
            for (std::size_t i = 0; i < readers.size() && index < 0; ++i)
                if (readers[i].Card) index = static_cast<int>(i);
            if (index < 0) return Fail(io, kExitReaderFailed, "no card in any PC/SC reader");
        }
        const TReaderState &r = readers[std::size_t(index)];
        if (r.Mute)
            return Fail(io, kExitReaderFailed,
                        "the card in '" + r.Name + "' gives no answer to reset (mute)");
        atr = r.Atr;
        reader = r.Name;
    }
    const TAtrInfo info = DecodeAtr(atr);
    const TKnownLookup known = LookUpKnown(io, atr);
    if (o.Json)
        io.out << JsonText(AtrJson(info, known, reader), 2) << '\n';
    else
        AtrText(io.out, info, known, reader);
    return info.Sound() ? kExitOk : kExitVerify;
}

int CmdPcscApdu(const TCliStreams &io, const TPcscOptions &o, const std::vector<std::string> &hex) {
    std::string why;
    if (!o.Reader.empty() && !ValidReaderChoice(o.Reader, why)) return Fail(io, kExitUsage, why);
    std::vector<uint8_t> command;
    const std::string error = ParseApduHex(Joined(hex), command);
    if (!error.empty()) return Fail(io, kExitUsage, error);

    TCardSession session;
    const int opened = session.Open(io, o.Reader);
    if (opened != kExitOk) return opened;
    const TApduExchange x = session.Exchange(command, o.Auto);
    if (o.Json) {
        json j{{"reader", session.Reader}};
        j.update(ExchangeJson(x));
        if (x.Result == 0) io.out << JsonText(j, 2) << '\n';
    } else {
        io.out << "reader: " << session.Reader << '\n';
        ExchangeText(io.out, x, "");
    }
    return x.Result == 0 ? kExitOk : Fail(io, kExitReaderFailed, ExchangeFailed(x));
}

int CmdPcscScript(const TCliStreams &io, const TPcscOptions &o, const std::string &file) {
    std::string why;
    if (!o.Reader.empty() && !ValidReaderChoice(o.Reader, why)) return Fail(io, kExitUsage, why);
    std::string text;
    const int read = ReadScript(io, file, text);
    if (read != kExitOk) return read;
    std::vector<TScriptStep> steps;
    TScriptError error;
    if (!ParseApduScript(text, steps, error))
        return Fail(io, kExitUsage,
                    file + (error.Line ? ":" + std::to_string(error.Line) : "") + ": " +
                        error.Message);

    TCardSession session;
    const int opened = session.Open(io, o.Reader);
    if (opened != kExitOk) return opened;
    json done = json::array();
    if (!o.Json) io.out << "reader: " << session.Reader << '\n';
    int status = kExitOk;
    std::string failure;
    std::size_t checked = 0;
    for (const TScriptStep &step : steps) {
        const TApduExchange x = session.Exchange(step.Command, o.Auto);
        const bool matched =
            x.Result == 0 && (!step.Checked || ResponseMatches(step.Expected, x.Response));
        checked += step.Checked ? 1 : 0;
        if (o.Json) {
            json j{{"line", step.Line}, {"text", step.Text}};
            j.update(ExchangeJson(x));
            if (x.Result != 0) j["response"] = j["data"] = j["sw"] = j["meaning"] = json();
            j["expected"] = step.Checked ? json(PatternText(step.Expected)) : json();
            j["matched"] = step.Checked && x.Result == 0 ? json(matched) : json();
            done.push_back(j);
        } else {
            io.out << "line " << step.Line << ": " << step.Text << '\n';
            ExchangeText(io.out, x, "  ");
        }
        const std::string where = file + ":" + std::to_string(step.Line) + ": ";
        if (x.Result != 0) {
            status = kExitReaderFailed;
            failure = where + ExchangeFailed(x);
            break;
        }
        if (!matched) {
            status = kExitVerify;
            failure = where + "expected " + PatternText(step.Expected) + ", the card answered " +
                      (x.Response.empty() ? "nothing" : Spaced(x.Response)) +
                      " (line: " + step.Text + ")";
            break;
        }
    }
    if (o.Json) {
        const json result{{"reader", session.Reader},
                          {"steps", done},
                          {"result", status == kExitOk       ? "ok"
                                     : status == kExitVerify ? "mismatch"
                                                             : "failed"}};
        io.out << JsonText(result, 2) << '\n';
    } else if (status == kExitOk) {
        io.out << "done: " << steps.size() << (steps.size() == 1 ? " command" : " commands") << ", "
               << checked << (checked == 1 ? " answer" : " answers") << " as expected\n";
    }
    return status == kExitOk ? kExitOk : Fail(io, status, failure);
}

int CmdPcscWatch(const TCliStreams &io, bool asJson) {
    return WatchReaders(io, asJson);
}
