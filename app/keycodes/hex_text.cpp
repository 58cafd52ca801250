#include "keycodes/hex_text.h"

namespace {

const char kDigits[] = "0123456789ABCDEF";

} // namespace

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string KeyCodeToHex(const uint8_t (&entry)[4]) {
    std::string text;
    for (int i = 0; i < 3 && entry[i] != 0; ++i) {
        text += kDigits[entry[i] >> 4];
        text += kDigits[entry[i] & 0x0F];
    }
    return text;
}

bool HexToKeyCode(std::string_view text, uint8_t (&entry)[4]) {
    entry[0] = entry[1] = entry[2] = entry[3] = 0;
    if (text.empty() || text.size() > 6 || text.size() % 2 != 0) return false;
    uint8_t bytes[3] = {};
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigitValue(text[i]), lo = HexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        // A zero byte would end the code early when it is sent.
        if (hi == 0 && lo == 0) return false;
        bytes[i / 2] = static_cast<uint8_t>(hi << 4 | lo);
    }
    for (int i = 0; i < 3; ++i)
        entry[i] = bytes[i];
    return true;
}

std::string BytesToHexText(const uint8_t *p, size_t n) {
    std::string text;
    text.reserve(n * 3);
    for (size_t i = 0; i < n; ++i) {
        text += kDigits[p[i] >> 4];
        text += kDigits[p[i] & 0x0F];
        text += ' ';
    }
    return text;
}

std::vector<uint8_t> HexTextToBytes(std::string_view text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2 + 1);
    bool high = true;
    for (char c : text) {
        const int v = HexDigitValue(c);
        if (v < 0) continue;
        if (high)
            bytes.push_back(static_cast<uint8_t>(v << 4));
        else
            bytes.back() |= static_cast<uint8_t>(v);
        high = !high;
    }
    return bytes;
}
