#pragma once
// Text and byte rules of the PC/SC window: the command typed as hexadecimal text, the
// response shown as hexadecimal text, and the reader names copied out of the library's
// listing buffer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The command text's work area holds 1023 characters and its NUL.
inline constexpr std::size_t kCommandTextLimit = 1023;
// The response area handed to the library, and the most of it that is ever read.
inline constexpr int kResponseArea = 1024;
// The listing buffer: 20 slots of 100 bytes, one reader name per slot.
inline constexpr int kMaxReaders = 20;
inline constexpr int kReaderSlot = 100;
inline constexpr int kReaderBuffer = kMaxReaders * kReaderSlot;

// What the command field takes: hexadecimal digits and blanks only, at most
// kCommandTextLimit characters. Anything else is refused whole.
bool IsCommandInput(std::string_view text);

// The text without the blanks and control characters at either end.
std::string_view TrimBlanks(std::string_view text);

// Pairs of hexadecimal digits, the first digit the high nibble; an odd last digit becomes
// a high nibble with a zero low nibble ("ABC" -> AB C0). Blanks are skipped. False, with
// bytes left empty, when any other character is present.
bool CommandTextToBytes(std::string_view text, std::vector<uint8_t> &bytes);

// Two upper-case hexadecimal digits per byte, no separators: "9000".
std::string BytesToHex(const uint8_t *bytes, std::size_t count);
// "%02X " per byte without the last blank: "90 00".
std::string BytesToSpacedHex(const uint8_t *bytes, std::size_t count);

// The names of a listing: count held to 0..kMaxReaders, each name read within its own
// kReaderSlot bytes (a slot without a NUL gives all its bytes).
std::vector<std::string> CopyReaderList(const char (&buffer)[kReaderBuffer], int count);
