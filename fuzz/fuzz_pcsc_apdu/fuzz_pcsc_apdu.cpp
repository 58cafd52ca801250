// What the PC/SC window takes from outside: the typed command, the listing and the card's
// answers through the library, whose lengths and counts may be anything. Input: a flag
// byte (bit 0: auto GET RESPONSE), a 16-bit reader count, the command text up to a NUL,
// then answers, each a result byte (0 = success), a 16-bit signed length to report, a
// byte count and that many bytes.
#include "smartcard/apdu_text.h"
#include "smartcard/pcsc_operations.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {
struct TAnswer {
    int Result;
    int Reported;
    std::vector<uint8_t> Bytes;
};
std::vector<TAnswer> gAnswers;
std::size_t gNext;
std::size_t gSent;
int gCount;
std::vector<uint8_t> gNames;

extern "C" int List(char *names, int *count) {
    for (std::size_t i = 0; i < kReaderBuffer && !gNames.empty(); ++i)
        names[i] = static_cast<char>(gNames[i % gNames.size()]);
    *count = gCount;
    return 0;
}
extern "C" int Transmit(const unsigned char *, int length, unsigned char *response,
                        int *responseLength) {
    if (length < 1) __builtin_trap();
    ++gSent;
    if (gNext >= gAnswers.size()) return -1003;
    const TAnswer &a = gAnswers[gNext++];
    if (a.Result != 0) return a.Result;
    if (!a.Bytes.empty())
        std::memcpy(response, a.Bytes.data(), std::min<std::size_t>(a.Bytes.size(), kResponseArea));
    *responseLength = a.Reported;
    return 0;
}
extern "C" int Nothing() {
    return 0;
}
extern "C" int Open(int) {
    return 0;
}

class TWindow : public TPcscWindow {
  public:
    void Message(const std::string &) override {}
    void ClearReaders() override { Items.clear(); }
    void AddReader(const std::string &name) override {
        if (name.size() > kReaderSlot) __builtin_trap();
        Items.push_back(name);
    }
    void SelectReader(int index) override {
        if (index < 0 || index >= int(Items.size())) __builtin_trap();
    }
    void SetReaderText(const std::string &) override {}
    int ReaderIndex() override { return 0; }
    std::string CommandText() override { return Command; }
    bool AutoGetResponse() override { return Auto; }
    void ShowResponse(const std::string &text, const std::string &) override { Response = text; }

    std::vector<std::string> Items;
    std::string Command, Response = "-";
    bool Auto = false;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    TWindow window;
    window.Auto = data[0] & 1;
    gCount = static_cast<int16_t>(data[1] << 8 | data[2]);
    std::size_t at = 3;
    while (at < size && data[at] != 0)
        window.Command += static_cast<char>(data[at++]);
    ++at;
    gNames.assign(data + std::min(at, size), data + size);
    gAnswers.clear();
    gNext = 0;
    gSent = 0;
    while (at + 4 <= size) {
        TAnswer a;
        a.Result = data[at] == 0 ? 0 : -1003;
        a.Reported = static_cast<int16_t>(data[at + 1] << 8 | data[at + 2]);
        const std::size_t n = std::min<std::size_t>(data[at + 3], size - at - 4);
        a.Bytes.assign(data + at + 4, data + at + 4 + n);
        gAnswers.push_back(std::move(a));
        at += 4 + n;
    }

    TPcscLink link;
    link.PS_GetDeviceList = List;
    link.PS_OpenDevice = Open;
    link.PS_CloseDevice = Nothing;
    link.PS_FreeDevice = Nothing;
    link.PS_TransmitData = Transmit;
    link.PS_ATRReset = Nothing;
    link.Bound = 1;
    std::vector<std::string> readers;
    const TPcscContext c{link, readers, window};

    PcscList(c);
    if (readers.size() > kMaxReaders || readers != window.Items) __builtin_trap();

    PcscApdu(c);
    std::vector<uint8_t> command;
    const auto text = TrimBlanks(window.Command);
    const bool valid =
        !text.empty() && text.size() <= kCommandTextLimit && CommandTextToBytes(text, command);
    if (!valid && gSent != 0) __builtin_trap();
    if (gSent > std::size_t(kMaxFollowUps) + 1) __builtin_trap();
    if (window.Response != "-") {
        const std::string &r = window.Response;
        if (r.size() % 2 != 0 || r.size() > 2u * kResponseArea * (kMaxFollowUps + 1))
            __builtin_trap();
        for (char ch : r)
            if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'))) __builtin_trap();
    }
    return 0;
}
