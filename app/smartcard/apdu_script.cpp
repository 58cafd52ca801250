#include "smartcard/apdu_script.h"

#include "keycodes/hex_text.h"

#include <cstdio>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// A character as the user would recognise it in a message.
std::string Shown(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u < 0x7F) return std::string("'") + c + "'";
    char text[16];
    std::snprintf(text, sizeof text, "byte %02X", u);
    return text;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool Matches(const TExpectByte &e, uint8_t b) {
    return (b & e.Mask) == (e.Value & e.Mask);
}

std::string ByteText(const TExpectByte &e) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(2, 'X');
    if (e.Mask & 0xF0) text[0] = kDigits[e.Value >> 4];
    if (e.Mask & 0x0F) text[1] = kDigits[e.Value & 0x0F];
    return text;
}

} // namespace

std::string ParseHexBytes(std::string_view text, std::vector<uint8_t> &bytes, const char *what,
                          std::size_t most) {
    bytes.clear();
    std::size_t digits = 0;
    for (char c : text) {
        if (IsBlank(c)) continue;
        const int v = HexDigitValue(c);
        if (v < 0) {
            bytes.clear();
            return Shown(c) + " is no hex digit";
        }
        if (digits % 2 == 0)
            bytes.push_back(static_cast<uint8_t>(v << 4));
        else
            bytes.back() = static_cast<uint8_t>(bytes.back() | v);
        ++digits;
        // Refused long before a hostile line could take much memory.
        if (bytes.size() > most) break;
    }
    std::string error;
    const std::string the = std::string("the ") + what;
    if (digits == 0)
        error = the + " is empty";
    else if (bytes.size() > most)
        error = the + " is longer than " + std::to_string(most) + " bytes";
    else if (digits % 2)
        error = the + " has an odd number of hex digits (" + std::to_string(digits) + ")";
    if (!error.empty()) bytes.clear();
    return error;
}

std::string ParseApduHex(std::string_view text, std::vector<uint8_t> &bytes) {
    std::string error = ParseHexBytes(text, bytes, "APDU", kMaxScriptApduBytes);
    if (error.empty() && bytes.size() < kMinApduBytes) {
        error = "the APDU has " + std::to_string(bytes.size()) +
                (bytes.size() == 1 ? " byte" : " bytes") + "; it needs at least 4 (CLA INS P1 P2)";
        bytes.clear();
    }
    return error;
}

std::string ParseResponsePattern(std::string_view text, TResponsePattern &pattern) {
    pattern = {};
    std::vector<TExpectByte> *into = &pattern.Head;
    bool high = true;
    for (char c : text) {
        if (IsBlank(c)) continue;
        if (c == '*') {
            if (pattern.AnyMiddle) return "only one '*' is allowed";
            if (!high) return "a '*' splits a byte";
            pattern.AnyMiddle = true;
            into = &pattern.Tail;
            continue;
        }
        TExpectByte nibble;
        if (c == 'X' || c == 'x') {
            nibble.Mask = 0;
        } else {
            const int v = HexDigitValue(c);
            if (v < 0) return Shown(c) + " is neither a hex digit nor X";
            nibble.Value = static_cast<uint8_t>(v);
            nibble.Mask = 0x0F;
        }
        if (high) {
            into->push_back(
                {static_cast<uint8_t>(nibble.Value << 4), static_cast<uint8_t>(nibble.Mask << 4)});
        } else {
            into->back().Value |= nibble.Value;
            into->back().Mask |= nibble.Mask;
        }
        high = !high;
        if (into->size() > kMaxScriptApduBytes + 2) return "the expected response is too long";
    }
    if (!high) return "the expected response has an odd number of digits";
    const std::size_t last = pattern.AnyMiddle ? pattern.Tail.size() : pattern.Head.size();
    if (pattern.Head.empty() && pattern.Tail.empty() && !pattern.AnyMiddle)
        return "nothing follows '=>'";
    if (last < 2) return "the expected response must end with SW1 SW2";
    return {};
}

bool ResponseMatches(const TResponsePattern &pattern, const std::vector<uint8_t> &response) {
    const std::size_t head = pattern.Head.size(), tail = pattern.Tail.size();
    if (pattern.AnyMiddle ? response.size() < head + tail : response.size() != head) return false;
    for (std::size_t i = 0; i < head; ++i)
        if (!Matches(pattern.Head[i], response[i])) return false;
    const std::size_t from = response.size() - tail;
    for (std::size_t i = 0; i < tail; ++i)
        if (!Matches(pattern.Tail[i], response[from + i])) return false;
    return true;
}

std::string PatternText(const TResponsePattern &pattern) {
    std::string text;
    const auto add = [&text](const std::string &word) {
        if (!text.empty()) text += ' ';
        text += word;
    };
    for (const TExpectByte &e : pattern.Head)
        add(ByteText(e));
    if (pattern.AnyMiddle) add("*");
    for (const TExpectByte &e : pattern.Tail)
        add(ByteText(e));
    return text;
}

bool ParseApduScript(std::string_view text, std::vector<TScriptStep> &steps, TScriptError &error) {
    steps.clear();
    error = {};
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::size_t comment = line.find('#');
        line = Trim(line.substr(0, comment));
        if (line.empty()) continue;

        TScriptStep step;
        step.Line = number;
        step.Text = std::string(line);
        const std::size_t arrow = line.find("=>");
        const std::string_view command = Trim(line.substr(0, arrow));
        std::string problem;
        if (command.empty())
            problem = "no APDU before '=>'";
        else
            problem = ParseApduHex(command, step.Command);
        if (problem.empty() && arrow != std::string_view::npos) {
            const std::string_view expected = line.substr(arrow + 2);
            if (expected.find("=>") != std::string_view::npos)
                problem = "a second '=>'";
            else
                problem = ParseResponsePattern(expected, step.Expected);
            step.Checked = true;
        }
        if (!problem.empty()) {
            steps.clear();
            error = {number, problem};
            return false;
        }
        steps.push_back(std::move(step));
    }
    if (steps.empty()) {
        error = {0, "the script holds no APDU"};
        return false;
    }
    return true;
}
