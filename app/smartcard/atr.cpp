#include "smartcard/atr.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>

namespace {

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// A byte read in the direct convention from a card that uses the inverse one: the bits
// arrive complemented and most significant first.
uint8_t FromInverse(uint8_t b) {
    b = static_cast<uint8_t>(~b);
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1u << i)) r = static_cast<uint8_t>(r | (0x80u >> i));
    return r;
}

// Clock rate conversion Fi with the greatest clock f, and the baud rate adjustment Di;
// 0 marks reserved values.
constexpr int kFi[16] = {372, 372, 558, 744,  1116, 1488, 1860, 0,
                         0,   512, 768, 1024, 1536, 2048, 0,    0};
constexpr const char *kFmax[16] = {"4", "5", "6",   "8",  "12", "16", "20", "",
                                   "",  "5", "7.5", "10", "15", "20", "",   ""};
constexpr int kDi[16] = {0, 1, 2, 4, 8, 16, 32, 64, 12, 20, 0, 0, 0, 0, 0, 0};

std::string ClockAndRate(uint8_t v) {
    const int fi = kFi[v >> 4], di = kDi[v & 0x0F];
    std::string fiText = fi ? Format("Fi=%d (f max %s MHz)", fi, kFmax[v >> 4])
                            : Format("Fi reserved (FI=%X)", v >> 4);
    std::string diText = di ? Format("Di=%d", di) : Format("Di reserved (DI=%X)", v & 0x0F);
    std::string text = fiText + ", " + diText;
    if (fi && di) text += Format(": %g clock cycles per bit", double(fi) / di);
    return text;
}

std::string ProtocolName(int t) {
    switch (t) {
    case 0:
    case 1:
        return Format("T=%d", t);
    case 14:
        return "T=14 (not standardised)";
    case 15:
        return "T=15 (global interface bytes)";
    default:
        return Format("T=%d (reserved)", t);
    }
}

// The interface bytes that a T0 or TDi byte announces for the next group.
std::string Announced(uint8_t y, int group) {
    std::string text;
    int count = 0;
    const char *names[4] = {"TA", "TB", "TC", "TD"};
    for (int k = 0; k < 4; ++k)
        if (y & (1u << k)) text += Format("%s%s%d", count++ ? " " : "", names[k], group);
    return count == 0 ? "no interface byte follows" : text + (count == 1 ? " follows" : " follow");
}

// What the interface byte `kind` (0 TA, 1 TB, 2 TC) of group i means, where t is the
// protocol named by the TD before it (-1 for group 1) and `first` tells whether this is the
// first group of that protocol after TD1.
std::string InterfaceMeaning(int kind, int i, int t, bool first, uint8_t v) {
    if (i == 1) {
        if (kind == 0) return ClockAndRate(v);
        if (kind == 1)
            return v == 0 ? "no programming voltage (a byte no longer used)"
                          : "programming voltage and current (no longer used; readers ignore it)";
        if (v == 255) return "minimum guard time: 12 etu under T=0, 11 etu under T=1";
        return v == 0 ? "no extra guard time" : Format("extra guard time: %u etu", v);
    }
    if (i == 2 && kind == 0)
        return Format("specific mode, T=%d; the mode %s; parameters %s", v & 0x0F,
                      (v & 0x80) ? "cannot be changed" : "can be changed",
                      (v & 0x10) ? "defined implicitly" : "as TA1 gives them");
    if (i == 2 && kind == 1) return "programming voltage (no longer used; readers ignore it)";
    if (i == 2 && kind == 2 && t == 0)
        return v == 0
                   ? "waiting time integer WI=0 (not allowed)"
                   : Format("waiting time integer WI=%u: work waiting time %u x 960 x Fi/f", v, v);
    if (t == 1 && first && i > 2) {
        if (kind == 0)
            return (v == 0 || v == 255) ? Format("IFSC %u (not allowed)", v)
                                        : Format("IFSC: the card takes blocks of %u bytes", v);
        if (kind == 1) {
            const int bwi = v >> 4, cwi = v & 0x0F;
            std::string text =
                Format("BWI=%d, CWI=%d: character waiting time %d etu, block waiting time "
                       "11 etu + 2^%d x 960 x 372/f",
                       bwi, cwi, (1 << cwi) + 11, bwi);
            if (bwi > 9) text += " (BWI above 9 is not allowed)";
            return text;
        }
        return std::string("error detection: ") + ((v & 1) ? "CRC" : "LRC") +
               ((v & 0xFE) ? " (other bits reserved)" : "");
    }
    if (t == 15 && first && i > 2) {
        if (kind == 0) {
            static const char *const kStop[4] = {"clock stop not supported",
                                                 "clock stop in state L", "clock stop in state H",
                                                 "clock stop in either state"};
            std::string classes;
            const char *names[3] = {"A (5 V)", "B (3 V)", "C (1.8 V)"};
            for (int k = 0; k < 3; ++k)
                if (v & (1u << k)) classes += std::string(classes.empty() ? "" : ", ") + names[k];
            return std::string(kStop[v >> 6]) + "; " +
                   (classes.empty() ? "no class given" : "classes " + classes);
        }
        if (kind == 1)
            return v == 0            ? "contact C6 not used"
                   : (v & 0x80) != 0 ? "proprietary use of contact C6"
                                     : "standard use of contact C6";
        return "reserved for T=15";
    }
    return t < 0 ? "reserved" : Format("specific to T=%d", t);
}

const char *CompactTag(int tag) {
    switch (tag) {
    case 1:
        return "country code";
    case 2:
        return "issuer identification";
    case 3:
        return "card service data";
    case 4:
        return "initial access data";
    case 5:
        return "card issuer's data";
    case 6:
        return "pre-issuing data";
    case 7:
        return "card capabilities";
    case 8:
        return "status indicator";
    case 15:
        return "application identifier";
    default:
        return "reserved tag";
    }
}

std::string HexBytes(const uint8_t *b, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i)
        text += Format(i ? " %02X" : "%02X", b[i]);
    return text;
}

// Compact-TLV objects in h[from, to).
void CompactObjects(const std::vector<uint8_t> &h, std::size_t from, std::size_t to,
                    std::vector<std::string> &notes) {
    for (std::size_t at = from; at < to;) {
        const int tag = h[at] >> 4;
        const std::size_t length = h[at] & 0x0F;
        if (length > to - at - 1) {
            notes.push_back(Format("object %02X (%s, %zu bytes) runs past the end", h[at],
                                   CompactTag(tag), length));
            return;
        }
        notes.push_back(Format("%s: ", CompactTag(tag)) +
                        (length ? HexBytes(&h[at + 1], length) : "(empty)"));
        at += 1 + length;
    }
}

void HistoricalNotes(TAtrInfo &info) {
    const std::vector<uint8_t> &h = info.Historical;
    if (h.empty()) return;
    static const uint8_t kStorageCard[] = {0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06};
    if (h.size() >= 11 && std::equal(std::begin(kStorageCard), std::end(kStorageCard), h.begin())) {
        info.HistoricalNotes.push_back(
            Format("storage card behind a contactless reader: standard %02X, card name %02X %02X",
                   h[8], h[9], h[10]));
        return;
    }
    switch (h[0]) {
    case 0x00:
        info.HistoricalNotes.push_back("category 00: compact-TLV objects, then a status indicator");
        if (h.size() < 4) {
            info.HistoricalNotes.push_back("the status indicator needs 3 bytes");
            return;
        }
        CompactObjects(h, 1, h.size() - 3, info.HistoricalNotes);
        info.HistoricalNotes.push_back("status indicator: " + HexBytes(&h[h.size() - 3], 3));
        return;
    case 0x80:
        info.HistoricalNotes.push_back("category 80: compact-TLV objects");
        CompactObjects(h, 1, h.size(), info.HistoricalNotes);
        return;
    case 0x10:
        info.HistoricalNotes.push_back(h.size() > 1
                                           ? Format("category 10: DIR data reference %02X", h[1])
                                           : "category 10: DIR data reference (missing)");
        return;
    default:
        info.HistoricalNotes.push_back(h[0] > 0x80 && h[0] < 0x90
                                           ? Format("category %02X: reserved", h[0])
                                           : "proprietary content");
    }
}

void SetProblem(TAtrInfo &info, std::size_t offset, std::string text) {
    if (!info.Problem.empty()) return;
    info.Problem = std::move(text);
    info.ProblemOffset = offset;
}

} // namespace

TAtrInfo DecodeAtr(const std::vector<uint8_t> &atr) {
    TAtrInfo info;
    info.Bytes = atr;
    std::vector<uint8_t> &b = info.Bytes;
    const std::size_t size = b.size();
    if (size == 0) {
        SetProblem(info, 0, "the answer is empty");
        return info;
    }
    if (b[0] == 0x03) {
        for (uint8_t &x : b)
            x = FromInverse(x);
        info.Converted = true;
    }
    if (b[0] != 0x3B && b[0] != 0x3F) {
        SetProblem(info, 0,
                   Format("TS is %02X, which is neither 3B (direct convention) nor 3F (inverse "
                          "convention)",
                          b[0]));
        return info;
    }
    info.Inverse = b[0] == 0x3F;
    info.Fields.push_back(
        {0, "TS", b[0],
         std::string(info.Inverse ? "inverse convention" : "direct convention") +
             (info.Converted ? " (the bytes were read as direct; converted)" : "")});
    if (size < 2) {
        SetProblem(info, 1, "the answer ends after TS: T0 is missing");
        return info;
    }
    const std::size_t historical = b[1] & 0x0F;
    info.Fields.push_back(
        {1, "T0", b[1], Announced(b[1] >> 4, 1) + Format("; %zu historical bytes", historical)});

    // Interface bytes, one group per TD byte.
    std::size_t at = 2;
    uint8_t y = b[1] >> 4;
    std::string announcer = "T0";
    int t = -1; // the protocol the group's bytes belong to
    bool seenT1 = false, seenT15 = false;
    for (int i = 1; y != 0; ++i) {
        const bool first = (t == 1 && !seenT1) || (t == 15 && !seenT15);
        if (i > 2 && t == 1) seenT1 = true;
        if (i > 2 && t == 15) seenT15 = true;
        uint8_t next = 0;
        for (int kind = 0; kind < 4; ++kind) {
            if (!(y & (1u << kind))) continue;
            const std::string name = Format("T%c%d", "ABCD"[kind], i);
            if (at >= size) {
                SetProblem(info, at,
                           Format("%s announces %s at offset %zu, but the answer ends after %zu "
                                  "bytes",
                                  announcer.c_str(), name.c_str(), at, size));
                return info;
            }
            const uint8_t v = b[at];
            if (kind < 3) {
                info.Fields.push_back({at, name, v, InterfaceMeaning(kind, i, t, first, v)});
            } else {
                const int protocol = v & 0x0F;
                std::string meaning = ProtocolName(protocol);
                if (protocol == 15 && i == 1) meaning += ", not allowed in TD1";
                meaning += "; " + Announced(v >> 4, i + 1);
                info.Fields.push_back({at, name, v, meaning});
                if (protocol != 15 && std::find(info.Protocols.begin(), info.Protocols.end(),
                                                protocol) == info.Protocols.end())
                    info.Protocols.push_back(protocol);
                if (protocol != 0) info.TckRequired = true;
                next = v;
                announcer = name;
                t = protocol;
            }
            ++at;
        }
        y = next >> 4;
    }
    if (info.Protocols.empty()) info.Protocols.push_back(0);
    info.InterfaceComplete = true;

    info.HistoricalOffset = at;
    const std::size_t present = std::min(historical, size - at);
    info.Historical.assign(b.begin() + static_cast<std::ptrdiff_t>(at),
                           b.begin() + static_cast<std::ptrdiff_t>(at + present));
    HistoricalNotes(info);
    if (present < historical) {
        SetProblem(info, size,
                   Format("T0 announces %zu historical bytes from offset %zu, but only %zu "
                          "follow",
                          historical, at, present));
        return info;
    }
    at += historical;

    if (info.TckRequired) {
        if (at >= size) {
            SetProblem(info, at,
                       "TCK is missing: a protocol other than T=0 is offered, which needs a "
                       "check byte");
            return info;
        }
        uint8_t check = 0;
        for (std::size_t k = 1; k < at; ++k)
            check ^= b[k];
        info.TckPresent = true;
        info.TckOk = check == b[at];
        info.Fields.push_back({at, "TCK", b[at],
                               info.TckOk ? "check byte, correct"
                                          : Format("check byte, wrong: should be %02X", check)});
        if (!info.TckOk)
            SetProblem(info, at,
                       Format("TCK is %02X but should be %02X (T0 to TCK must give 00 when "
                              "combined by exclusive-or)",
                              b[at], check));
        ++at;
    }
    if (at < size)
        SetProblem(info, at,
                   Format("%zu byte%s after the end of the answer at offset %zu", size - at,
                          size - at == 1 ? "" : "s", at));
    if (size > kMaxAtrBytes)
        SetProblem(
            info, kMaxAtrBytes,
            Format("the answer is %zu bytes long; at most %zu are allowed", size, kMaxAtrBytes));
    return info;
}

bool AtrPatternMatches(const std::string &pattern, const std::vector<uint8_t> &atr) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::size_t digit = 0;
    for (char c : pattern) {
        if (c == ' ' || c == '\t') continue;
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (digit / 2 >= atr.size()) return false;
        const uint8_t byte = atr[digit / 2];
        const char actual = kDigits[digit % 2 == 0 ? byte >> 4 : byte & 0x0F];
        if (upper != '.' && upper != actual) return false;
        ++digit;
    }
    return digit == 2 * atr.size();
}

namespace {
// A pattern line: hex digits, '.' and blanks only, whole bytes.
bool IsPatternLine(const std::string &line) {
    std::size_t digits = 0;
    for (char c : line) {
        if (c == ' ' || c == '\t') continue;
        if (c != '.' && !std::isxdigit(static_cast<unsigned char>(c))) return false;
        ++digits;
    }
    return digits > 0 && digits % 2 == 0;
}
} // namespace

std::vector<TKnownAtr> MatchKnownAtrs(std::istream &list, const std::vector<uint8_t> &atr) {
    std::vector<TKnownAtr> found;
    bool matching = false; // the description lines that follow belong to a match
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '\t') {
            if (matching) found.back().Descriptions.push_back(line.substr(1));
            continue;
        }
        matching = IsPatternLine(line) && AtrPatternMatches(line, atr);
        if (matching) found.push_back({line, {}});
    }
    return found;
}
