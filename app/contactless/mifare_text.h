// What the user types for a Mifare One card, turned into what the card gets, and the guards
// that keep a card from being made unusable: keys, block rows, sector trailers, amounts,
// sector and block numbers. Free of any window toolkit, for the window and other front ends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using TMifareKey = std::array<uint8_t, 6>;
using TMifareBlock = std::array<uint8_t, 16>;

inline constexpr int kMifareSectors = 16;
inline constexpr int kMifareBlocksPerSector = 4;
inline constexpr int kTrailerBlock = 3;
// Longest purse amount that can be typed: nine decimal digits.
inline constexpr int kAmountDigits = 9;

// Bytes as two upper-case hex digits each, without separators: "A1B2C3D4".
std::string BytesToPlainHex(const uint8_t *bytes, size_t count);

// A typed character for a key field or a block row: hex digits come back upper-case, anything
// else as 0 (dropped).
char HexFieldChar(char c);
// Text entering a key field or a block row (typed or pasted): upper-cased in place; false when
// it holds anything but hex digits.
bool NormalizeHexField(std::string &text);

// A key: exactly 12 hex digits (either case), nothing else.
std::optional<TMifareKey> ParseKey(std::string_view text);

// A block row: 1 to 32 hex digits, nothing else. Pairs give bytes high nibble first; an odd
// last digit is a high nibble, and the places the row does not reach are zeros.
std::optional<TMifareBlock> ParseRow(std::string_view text);

// A sector trailer (key A, access bytes 6..8, a user byte, key B) as typed for block 3.
enum class TTrailerCheck {
    Ok,
    WrongLength,     // not exactly 32 characters
    NotHex,          // a character that is no hex digit
    BrokenAccessBits // bytes 6..8 break the complement rule: the card would block the sector
};
TTrailerCheck ValidateTrailer(std::string_view row);
// Bytes 6, 7 and 8 of a trailer: each of C1, C2, C3 is stored once as it is and once
// inverted; true when every inverted copy matches.
bool AccessBytesConsistent(uint8_t byte6, uint8_t byte7, uint8_t byte8);

// A purse amount: 1 to 9 decimal digits, no sign, nothing else.
std::optional<int32_t> ParseAmount(std::string_view text);

// Whether the amount field may hold this text: what typing and pasting leave there is digits,
// and a balance shown may also be negative or ten digits long.
bool AmountFieldAllows(std::string_view text);
// Whether a typed character is taken, given the text the field would hold with it: digits
// only, at most nine of them.
bool AmountKeyAccepted(char typed, std::string_view resultingText);

// The amount field's text as four two's-complement bytes, least significant first, eight hex
// digits ("100" -> "64000000", "-100" -> "9CFFFFFF"). A fraction is dropped; a number beyond
// 32 bits keeps its low 32 bits. Empty when the text is no decimal number.
std::string AmountBytesText(std::string_view text);

// A sector (max 15) or block (max 3) number from a list's text: decimal digits only.
std::optional<int> ParseIndex(std::string_view text, int max);
