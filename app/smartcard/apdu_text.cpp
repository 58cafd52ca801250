#include "smartcard/apdu_text.h"

#include "keycodes/hex_text.h"

#include <algorithm>
#include <cstring>

namespace {
bool IsBlank(char c) {
    return c == ' ';
}

const char kDigits[] = "0123456789ABCDEF";
} // namespace

bool IsCommandInput(std::string_view text) {
    if (text.size() > kCommandTextLimit) return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return IsBlank(c) || HexDigitValue(c) >= 0; });
}

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool CommandTextToBytes(std::string_view text, std::vector<uint8_t> &bytes) {
    bytes.clear();
    bool high = true;
    for (char c : text) {
        if (IsBlank(c)) continue;
        const int v = HexDigitValue(c);
        if (v < 0) {
            bytes.clear();
            return false;
        }
        if (high)
            bytes.push_back(static_cast<uint8_t>(v << 4));
        else
            bytes.back() = static_cast<uint8_t>(bytes.back() | v);
        high = !high;
    }
    return true;
}

std::string BytesToHex(const uint8_t *bytes, std::size_t count) {
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string BytesToSpacedHex(const uint8_t *bytes, std::size_t count) {
    std::string text;
    text.reserve(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::vector<std::string> CopyReaderList(const char (&buffer)[kReaderBuffer], int count) {
    count = std::clamp(count, 0, kMaxReaders);
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const char *slot = buffer + i * kReaderSlot;
        names.emplace_back(slot, strnlen(slot, kReaderSlot));
    }
    return names;
}
