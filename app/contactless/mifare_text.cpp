#include "contactless/mifare_text.h"

namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Only ever called on hex digits.
uint8_t Nibble(char c) {
    if (c >= 'a') return uint8_t(c - 'a' + 10);
    if (c >= 'A') return uint8_t(c - 'A' + 10);
    return uint8_t(c - '0');
}

bool AllHex(std::string_view text) {
    for (char c : text)
        if (!IsHex(c)) return false;
    return true;
}

// Hex digits into bytes, high nibble first; places the text does not reach stay zero.
template <size_t N> std::array<uint8_t, N> Pack(std::string_view text) {
    std::array<uint8_t, N> bytes{};
    for (size_t i = 0; i < text.size() && i / 2 < N; ++i)
        bytes[i / 2] |= uint8_t(Nibble(text[i]) << (i % 2 == 0 ? 4 : 0));
    return bytes;
}

} // namespace

std::string BytesToPlainHex(const uint8_t *bytes, size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * count);
    for (size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

char HexFieldChar(char c) {
    if (!IsHex(c)) return 0;
    return c >= 'a' ? char(c - 'a' + 'A') : c;
}

bool NormalizeHexField(std::string &text) {
    for (char &c : text) {
        const char upper = HexFieldChar(c);
        if (upper == 0) return false;
        c = upper;
    }
    return true;
}

std::optional<TMifareKey> ParseKey(std::string_view text) {
    if (text.size() != 12 || !AllHex(text)) return std::nullopt;
    return Pack<6>(text);
}

std::optional<TMifareBlock> ParseRow(std::string_view text) {
    if (text.empty() || text.size() > 32 || !AllHex(text)) return std::nullopt;
    return Pack<16>(text);
}

bool AccessBytesConsistent(uint8_t byte6, uint8_t byte7, uint8_t byte8) {
    const uint8_t c1 = byte7 >> 4, c2 = byte8 & 0x0F, c3 = byte8 >> 4;
    const uint8_t notC1 = byte6 & 0x0F, notC2 = byte6 >> 4, notC3 = byte7 & 0x0F;
    return notC1 == (~c1 & 0x0F) && notC2 == (~c2 & 0x0F) && notC3 == (~c3 & 0x0F);
}

TTrailerCheck ValidateTrailer(std::string_view row) {
    if (row.size() != 32) return TTrailerCheck::WrongLength;
    if (!AllHex(row)) return TTrailerCheck::NotHex;
    const TMifareBlock b = Pack<16>(row);
    return AccessBytesConsistent(b[6], b[7], b[8]) ? TTrailerCheck::Ok
                                                   : TTrailerCheck::BrokenAccessBits;
}

std::optional<int32_t> ParseAmount(std::string_view text) {
    if (text.empty() || text.size() > size_t(kAmountDigits)) return std::nullopt;
    int32_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0'); // nine digits always fit
    }
    return value;
}

bool AmountFieldAllows(std::string_view text) {
    if (!text.empty() && text[0] == '-') text.remove_prefix(1);
    if (text.size() > 10) return false;
    for (char c : text)
        if (!IsDigit(c)) return false;
    return true;
}

bool AmountKeyAccepted(char typed, std::string_view resultingText) {
    if (!IsDigit(typed)) return false;
    int digits = 0;
    for (char c : resultingText)
        digits += IsDigit(c);
    return digits <= kAmountDigits;
}

std::string AmountBytesText(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    if (point != std::string_view::npos) {
        const std::string_view fraction = text.substr(point + 1);
        for (char c : fraction)
            if (!IsDigit(c)) return {};
        if (whole.empty() && fraction.empty()) return {};
    } else if (whole.empty()) {
        return {};
    }
    // Eighteen digits still fit 64 bits; the low 32 bits are all that is shown.
    if (whole.size() > 18) return {};
    uint64_t magnitude = 0;
    for (char c : whole) {
        if (!IsDigit(c)) return {};
        magnitude = magnitude * 10 + uint64_t(c - '0');
    }
    const uint32_t value = uint32_t(negative ? 0 - magnitude : magnitude);
    const uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                              uint8_t(value >> 24)};
    return BytesToPlainHex(bytes, 4);
}

std::optional<int> ParseIndex(std::string_view text, int max) {
    if (text.empty() || text.size() > 2) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max) return std::nullopt;
    return value;
}
