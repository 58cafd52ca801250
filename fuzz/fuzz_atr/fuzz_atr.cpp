// An answer to reset from a card or the command line, and a list of known answers from a
// file: both may be anything. Input: a length byte, that many bytes of answer, the rest a
// list.
#include "smartcard/atr.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const std::size_t n = std::min<std::size_t>(data[0], size - 1);
    const std::vector<uint8_t> atr(data + 1, data + 1 + n);
    const TAtrInfo info = DecodeAtr(atr);

    if (info.ProblemOffset > atr.size()) __builtin_trap();
    if (info.Sound() != info.Problem.empty()) __builtin_trap();
    if (info.Sound() && (atr.size() > kMaxAtrBytes || !info.InterfaceComplete)) __builtin_trap();
    if (info.Historical.size() > 15 || info.Bytes.size() != atr.size()) __builtin_trap();
    std::size_t last = 0;
    for (const TAtrField &f : info.Fields) {
        if (f.Offset >= atr.size() || f.Value != info.Bytes[f.Offset]) __builtin_trap();
        if (&f != &info.Fields.front() && f.Offset <= last) __builtin_trap();
        last = f.Offset;
    }
    if (info.TckPresent && info.Fields.back().Name != "TCK") __builtin_trap();

    std::istringstream list(
        std::string(reinterpret_cast<const char *>(data + 1 + n), size - 1 - n));
    for (const TKnownAtr &k : MatchKnownAtrs(list, atr))
        if (!AtrPatternMatches(k.Pattern, atr)) __builtin_trap();
    return 0;
}
