#include "report_descriptor.h"

#include <algorithm>

namespace lorvane {
namespace {

struct Globals {
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint32_t reportId = 0;
};

// Bits are summed in 64 bits and capped, so that absurd size x count products cannot wrap.
constexpr uint64_t kBitCap = uint64_t(1) << 40;

int BytesFor(uint64_t bits) {
    uint64_t bytes = (bits + 7) / 8 + 1;
    return bytes > 0x7FFFFFFF ? 0x7FFFFFFF : int(bytes);
}

} // namespace

bool ParseReportLengths(const uint8_t *d, size_t size, ReportLengths &out) {
    constexpr int kMaxStack = 16;
    Globals stack[kMaxStack];
    int depth = 0;
    Globals g;
    // Bits per report identifier (identifier byte values 0..255) for input and output.
    uint64_t inBits[256] = {}, outBits[256] = {};
    bool anyIn = false, anyOut = false, numbered = false;

    size_t i = 0;
    while (i < size) {
        uint8_t prefix = d[i];
        if (prefix == 0xFE) { // long item: size byte, tag byte, data; carries no lengths
            if (size - i < 3) return false;
            size_t len = d[i + 1];
            if (size - i < 3 + len) return false;
            i += 3 + len;
            continue;
        }
        size_t len = prefix & 3;
        if (len == 3) len = 4;
        if (size - i - 1 < len) return false;
        uint32_t value = 0;
        for (size_t k = 0; k < len; ++k)
            value |= uint32_t(d[i + 1 + k]) << (8 * k);
        uint8_t type = (prefix >> 2) & 3;
        uint8_t tag = prefix >> 4;
        i += 1 + len;

        if (type == 1) { // global
            switch (tag) {
            case 7:
                g.reportSize = value;
                break;
            case 8:
                g.reportId = value & 0xFF;
                numbered = true;
                break;
            case 9:
                g.reportCount = value;
                break;
            case 10:
                if (depth == kMaxStack) return false;
                stack[depth++] = g;
                break;
            case 11:
                if (depth == 0) return false;
                g = stack[--depth];
                break;
            default:
                break;
            }
        } else if (type == 0) { // main
            uint64_t bits = uint64_t(g.reportSize) * uint64_t(g.reportCount);
            if (tag == 8) {
                inBits[g.reportId] = std::min(inBits[g.reportId] + bits, kBitCap);
                anyIn = true;
            } else if (tag == 9) {
                outBits[g.reportId] = std::min(outBits[g.reportId] + bits, kBitCap);
                anyOut = true;
            }
        }
    }

    ReportLengths r;
    r.numbered = numbered;
    for (int id = 0; id < 256; ++id) {
        if (anyIn && inBits[id]) r.input = std::max(r.input, BytesFor(inBits[id]));
        if (anyOut && outBits[id]) r.output = std::max(r.output, BytesFor(outBits[id]));
    }
    out = r;
    return true;
}

} // namespace lorvane
