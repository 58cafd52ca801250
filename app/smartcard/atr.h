#pragma once
// A card's answer to reset taken apart byte by byte: the convention, the interface bytes and
// what they set, the historical bytes and the check byte. A malformed answer is decoded as
// far as it holds together and says where it stops; nothing past its end is ever read.
#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// The longest answer to reset: TS and 32 more bytes.
inline constexpr std::size_t kMaxAtrBytes = 33;

struct TAtrField {
    std::size_t Offset = 0; // byte index in the answer
    std::string Name;       // "TS", "T0", "TA1", "TD2", "TCK", ...
    uint8_t Value = 0;
    std::string Meaning;
};

struct TAtrInfo {
    // The bytes decoded: those given, or, when they were read in the wrong convention
    // (TS 03), those bytes turned into the inverse convention's values.
    std::vector<uint8_t> Bytes;
    bool Inverse = false;
    bool Converted = false;
    std::vector<TAtrField> Fields; // TS, T0, the interface bytes and TCK, in order
    // All interface bytes announced are there; what follows is only known then.
    bool InterfaceComplete = false;
    std::vector<int> Protocols; // offered, first is the default; T=15 is no protocol
    std::size_t HistoricalOffset = 0;
    std::vector<uint8_t> Historical; // those present, even when fewer than announced
    std::vector<std::string> HistoricalNotes;
    bool TckRequired = false; // a protocol other than T=0 is offered
    bool TckPresent = false;
    bool TckOk = false;
    // Where the answer stops making sense, or its check byte fails; empty when sound.
    std::string Problem;
    std::size_t ProblemOffset = 0;

    bool Sound() const { return Problem.empty(); }
};

TAtrInfo DecodeAtr(const std::vector<uint8_t> &atr);

// One entry of a list of known answers to reset: a pattern line of hex bytes in which '.'
// stands for any hex digit ("3B 8F 80 01 .. .."), then its description lines, each starting
// with a tab; '#' starts a comment line. Patterns of another syntax are skipped.
struct TKnownAtr {
    std::string Pattern;
    std::vector<std::string> Descriptions;
};
std::vector<TKnownAtr> MatchKnownAtrs(std::istream &list, const std::vector<uint8_t> &atr);

// The pattern (as in the list) matches the answer: same length, each digit equal or '.'.
bool AtrPatternMatches(const std::string &pattern, const std::vector<uint8_t> &atr);
