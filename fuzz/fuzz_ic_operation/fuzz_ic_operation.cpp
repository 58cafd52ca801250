// The IC card operation shows what a transport hands back: results, reply lengths, reply
// bytes and trace text the reader (or a faulty library) chose. Whatever they are, the
// operation must stay within its areas, show every reply byte it accepted and decide its
// verdict from the trace alone.
#include "diagnostics/ic_card.h"
#include "link/transaction.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The fuzz input, read front to back; zeros once it is used up.
struct Input {
    const uint8_t *p;
    size_t n;
    uint8_t Byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    int Result() {
        // Mostly the results that matter (0, a status, a failure), sometimes anything.
        const uint8_t kind = Byte();
        switch (kind % 4) {
        case 0:
            return 0;
        case 1:
            return Byte();
        case 2:
            return -static_cast<int>(Byte());
        default: {
            uint32_t v = 0;
            for (int i = 0; i < 4; ++i)
                v = v << 8 | Byte();
            return static_cast<int>(v);
        }
        }
    }
};
Input gIn{nullptr, 0};

// What a transport may write: at most the reply and trace areas it was given.
constexpr int kReplyLimit = 1024;
constexpr int kTraceLimit = 2047;

extern "C" int Open() {
    return gIn.Byte() % 8 == 0 ? -91 : 0;
}
extern "C" int ComOpen(int) {
    return Open();
}
extern "C" int Close() {
    return 0;
}
extern "C" int Write(unsigned char *, int length, int, char *trace) {
    if (length < 1 || length > 1024) __builtin_trap();
    const int n = std::min<int>(gIn.Byte(), kTraceLimit);
    for (int i = 0; i < n; ++i)
        trace[i] = static_cast<char>(gIn.Byte() | 1); // never NUL inside
    trace[n] = 0;
    return gIn.Byte() % 4 == 0 ? -92 : 0;
}
extern "C" int Read(unsigned char *reply, int *length, int, char *trace) {
    const int r = gIn.Result();
    const int traced = gIn.Byte() * 8;
    const int t = std::min(traced, kTraceLimit);
    for (int i = 0; i < t; ++i)
        trace[i] = static_cast<char>(i < 6 ? "08 30 "[i] : gIn.Byte());
    trace[t] = 0;
    if (r == 0) {
        const int stored = std::min(gIn.Byte() * 5, kReplyLimit);
        for (int i = 0; i < stored; ++i)
            reply[i] = gIn.Byte();
        // The length the library claims need not be what it stored.
        *length = gIn.Byte() % 16 == 0 ? gIn.Result() : stored;
    }
    return r;
}

class NullWindow : public TIcWindow {
  public:
    void SetEnabled(bool) override {}
    void Message(const std::string &) override {}
    void SetTranscript(const std::string &text) override { transcript = text; }
    void AppendTranscript(const std::string &text) override { transcript += text; }
    void SetReply(const std::string &text) override { reply = text; }
    std::string transcript, reply;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    gIn = Input{data, size};
    TReaderLink link;
    link.HID_Init = Open;
    link.HID_Close = Close;
    link.HID_WRITE = Write;
    link.HID_READ = Read;
    link.COM_Init = ComOpen;
    link.COM_Close = Close;
    link.COM_WRITE = Write;
    link.COM_READ = Read;
    link.HidBound = link.SerialBound = 1;
    const uint8_t how = gIn.Byte();
    link.ConnectionKind = how & 1;
    const auto frontEnd = how & 2 ? IcFrontEnd::TestWindow : IcFrontEnd::ConfigurationTab;
    const auto op = static_cast<IcOperation>((how >> 2) % 3);
    const std::string text(reinterpret_cast<const char *>(gIn.p),
                           std::min<size_t>(gIn.n, gIn.Byte()));
    gIn.p += text.size();
    gIn.n -= text.size();
    const std::vector<uint8_t> apdu = ApduTextToBytes(text);

    NullWindow window;
    const TIcResult r = RunIcOperation(link, frontEnd, op, apdu, IcFixedTexts(), window);
    if (r.reply.size() > 1024 || r.trace.size() > size_t(kTraceSize - 1)) __builtin_trap();
    const bool decided = r.outcome == IcOutcome::Successful || r.outcome == IcOutcome::Lose;
    if (decided && (r.outcome == IcOutcome::Successful) != IcTraceSucceeded(r.trace))
        __builtin_trap();
    // The tab over USB shows every accepted reply byte after a status-"0" reply.
    if (decided && frontEnd == IcFrontEnd::ConfigurationTab && link.ConnectionKind == 0 &&
        r.readResult == 0 && !r.reply.empty() && window.reply.size() != 3 * r.reply.size())
        __builtin_trap();
    return 0;
}
