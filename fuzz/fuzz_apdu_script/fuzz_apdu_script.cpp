// An APDU script file, which may hold anything: every command taken must be sendable, and
// every expected response must read back as written and match an answer made from it.
#include "smartcard/apdu_script.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {
std::vector<uint8_t> Fill(const std::vector<TExpectByte> &bytes) {
    std::vector<uint8_t> out;
    for (const TExpectByte &b : bytes)
        out.push_back(static_cast<uint8_t>(b.Value & b.Mask));
    return out;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    std::vector<TScriptStep> steps;
    TScriptError error;
    const bool ok = ParseApduScript(text, steps, error);
    if (ok != error.Message.empty() || ok == steps.empty()) __builtin_trap();
    if (!ok && error.Line < 0) __builtin_trap();
    int line = 0;
    for (const TScriptStep &s : steps) {
        if (s.Command.size() < kMinApduBytes || s.Command.size() > kMaxScriptApduBytes)
            __builtin_trap();
        if (s.Line <= line) __builtin_trap();
        line = s.Line;
        if (!s.Checked) continue;
        TResponsePattern again;
        if (!ParseResponsePattern(PatternText(s.Expected), again).empty()) __builtin_trap();
        if (PatternText(again) != PatternText(s.Expected)) __builtin_trap();
        std::vector<uint8_t> answer = Fill(s.Expected.Head);
        if (s.Expected.AnyMiddle) answer.push_back(0x5A);
        const std::vector<uint8_t> tail = Fill(s.Expected.Tail);
        answer.insert(answer.end(), tail.begin(), tail.end());
        if (!ResponseMatches(s.Expected, answer)) __builtin_trap();
        if (answer.size() < 2) __builtin_trap();
    }
    return 0;
}
