#include "state_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vr {
namespace {

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::string Hex(const uint8_t *p, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

bool FromHex(const std::string &text, std::vector<uint8_t> &bytes) {
    bytes.clear();
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = Nibble(text[i]), lo = Nibble(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(uint8_t(hi << 4 | lo));
    }
    return true;
}

void LoadStateText(ReaderState &s, const std::string &text) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        char key[32], value[2100];
        int number = 0;
        std::vector<uint8_t> bytes;
        if (std::sscanf(line.c_str(), "block %d %2099s", &number, value) == 2) {
            if (number >= 0 && number < 64 && FromHex(value, bytes) && bytes.size() == 16)
                std::memcpy(s.card.blocks[number], bytes.data(), 16);
            continue;
        }
        if (std::sscanf(line.c_str(), "%31s %2099s", key, value) != 2) continue;
        const std::string k = key;
        if (k == "config" && FromHex(value, bytes))
            s.config = bytes;
        else if (k == "uid" && FromHex(value, bytes) && bytes.size() == 4)
            std::memcpy(s.card.uid, bytes.data(), 4);
        else if (k == "mode")
            s.mode = std::atoi(value) ? 1 : 0;
        else if (k == "ic_present")
            s.icPresent = std::atoi(value) != 0;
        else if (k == "ic_powered")
            s.icPowered = std::atoi(value) != 0;
        else if (k == "antenna")
            s.antenna = std::atoi(value) != 0;
        else if (k == "card_present")
            s.card.present = std::atoi(value) != 0;
    }
    s.card.state = MifareCard::Idle;
    s.card.authSector = -1;
}

std::string StateText(const ReaderState &s) {
    std::string text;
    text += "config " + Hex(s.config.data(), s.config.size()) + "\n";
    text += "mode " + std::to_string(s.mode) + "\n";
    text += "ic_present " + std::to_string(int(s.icPresent)) + "\n";
    text += "ic_powered " + std::to_string(int(s.icPowered)) + "\n";
    text += "antenna " + std::to_string(int(s.antenna)) + "\n";
    text += "card_present " + std::to_string(int(s.card.present)) + "\n";
    text += "uid " + Hex(s.card.uid, 4) + "\n";
    for (int b = 0; b < 64; ++b)
        text += "block " + std::to_string(b) + " " + Hex(s.card.blocks[b], 16) + "\n";
    return text;
}

} // namespace vr
