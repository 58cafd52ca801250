// Hexadecimal text of key codes and byte buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The value of one hex digit (either case), or -1 for any other character.
int HexDigitValue(char c);

// The code's bytes (leading non-zero bytes, at most 3) as upper-case hex, no separators:
// "E0F01F". An empty entry gives "".
std::string KeyCodeToHex(const uint8_t (&entry)[4]);

// Reads "E07D" / "e0f011" two digits per byte into entry (zero padded). False, with entry
// zeroed, unless the text is 1..3 non-zero bytes of hex digits (either case).
bool HexToKeyCode(std::string_view text, uint8_t (&entry)[4]);

// "%02X " for every byte: "AA 7E ".
std::string BytesToHexText(const uint8_t *p, size_t n);

// Typed hex: pairs of hex digits, high nibble first; an odd last digit becomes a high nibble
// ("ABC" -> AB C0). Characters that are no hex digits (blanks) are skipped.
std::vector<uint8_t> HexTextToBytes(std::string_view text);
