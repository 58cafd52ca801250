#pragma once
// APDU scripts: one command per line, each optionally followed by "=>" and the response it
// must get. '#' starts a comment; blank lines are skipped. Example:
//
//   00 A4 04 00 07 F0 01 02 03 04 05 06 => * 90 00   # any data, then 90 00
//   00 B0 00 00 08 => XX XX XX XX XX XX XX XX 90 00
//   00 84 00 00 04 => 6X XX                         # a nibble can be a wildcard too
//
// The expected response is byte pairs in which X stands for any hex digit; one '*' stands
// for any number of bytes (none too). Its last two bytes are SW1 SW2 and must be given.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What one command may be: CLA INS P1 P2 at least, and no more than the PC/SC window's
// command field holds (1023 hex digits).
inline constexpr std::size_t kMinApduBytes = 4;
inline constexpr std::size_t kMaxScriptApduBytes = 511;
// A script larger than this is no script.
inline constexpr std::size_t kMaxScriptBytes = 1 << 20;

// Hex digits, blanks and tabs (ignored) to bytes: an even number of digits, at least one byte
// and at most `most`. "" or what is wrong, the bytes named `what` ("APDU", "ATR").
std::string ParseHexBytes(std::string_view text, std::vector<uint8_t> &bytes, const char *what,
                          std::size_t most);
// The same for one command: at least kMinApduBytes and at most kMaxScriptApduBytes bytes.
std::string ParseApduHex(std::string_view text, std::vector<uint8_t> &bytes);

struct TExpectByte {
    uint8_t Value = 0;
    uint8_t Mask = 0xFF; // the bits that must equal Value
};

struct TResponsePattern {
    std::vector<TExpectByte> Head; // all of it when there is no '*'
    bool AnyMiddle = false;        // a '*' between Head and Tail
    std::vector<TExpectByte> Tail;
};

// "" or what is wrong with the pattern text (without the "=>").
std::string ParseResponsePattern(std::string_view text, TResponsePattern &pattern);
bool ResponseMatches(const TResponsePattern &pattern, const std::vector<uint8_t> &response);
// The pattern as written, normalised: "6F XX * 90 00".
std::string PatternText(const TResponsePattern &pattern);

struct TScriptStep {
    int Line = 0;
    std::string Text; // the line as written, without its comment and outer blanks
    std::vector<uint8_t> Command;
    bool Checked = false; // an expected response was given
    TResponsePattern Expected;
};

struct TScriptError {
    int Line = 0;
    std::string Message;
};

// The whole script, or the first line that does not parse. An empty script (no command)
// is an error of line 0.
bool ParseApduScript(std::string_view text, std::vector<TScriptStep> &steps, TScriptError &error);
