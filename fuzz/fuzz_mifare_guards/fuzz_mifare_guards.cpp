// Whatever the user types and whatever the library answers, the Mifare operations never send
// a trailer with broken access bits (nor one that locks its sector without a second Yes), a
// value operation on a trailer, an address outside the card or a write of another length than
// 32; and the text conversions agree with each other.
#include "contactless/mifare_access.h"
#include "contactless/mifare_operations.h"
#include "contactless/mifare_text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

const uint8_t *gResults = nullptr; // one byte per entry point call; 0 = success
size_t gResultCount = 0, gNext = 0;
int gQuestions = 0; // questions answered Yes in this run

int NextResult() {
    const uint8_t b = gNext < gResultCount ? gResults[gNext] : 0;
    ++gNext;
    // Mostly success, sometimes the card's status, the library's codes or its busy code.
    if (b < 160) return 0;
    if (b < 200) return b - 159;
    if (b < 230) return -90 - (b - 200) % 15;
    return kRfBusy;
}

void CheckAddress(int sector, int block) {
    if (sector < 0 || sector > 15 || block < 0 || block > 3) __builtin_trap();
}

extern "C" {
int Antenna(int) {
    return NextResult();
}
int InitType(int) {
    return NextResult();
}
int Request(int, int16_t *type) {
    const int r = NextResult();
    if (r == 0) *type = 4;
    return r;
}
int Anticoll(int, uint32_t *serial, int16_t *length) {
    const int r = NextResult();
    if (r == 0) {
        *serial = 0xD4C3B2A1;
        *length = int16_t(gNext * 37 % 600 - 100); // any length the library may claim
    }
    return r;
}
int Select(const uint8_t *serial, int16_t length) {
    if (length < 0 || length > 4) __builtin_trap();
    volatile uint8_t sink = 0;
    for (int i = 0; i < length; ++i)
        sink = sink + serial[i];
    (void)sink;
    return NextResult();
}
int Authenticate(int keyChoice, int sector, const uint8_t *) {
    if (keyChoice != 0 && keyChoice != 1) __builtin_trap();
    CheckAddress(sector, 0);
    return NextResult();
}
int Read(int sector, int block, uint8_t *data, int16_t *length) {
    CheckAddress(sector, block);
    const int r = NextResult();
    if (r == 0) {
        std::memset(data, int(gNext), 16);
        *length = 16;
    }
    return r;
}
int Write(int sector, int block, const uint8_t *data, int16_t count) {
    CheckAddress(sector, block);
    if (count != 32) __builtin_trap();
    for (int i = 16; i < 32; ++i)
        if (data[i] != 0) __builtin_trap();
    if (block == 3 && !AccessBytesConsistent(data[6], data[7], data[8])) __builtin_trap();
    // A trailer that cannot be undone needs a Yes of its own after the trailer question.
    if (block == 3) {
        TMifareBlock trailer;
        std::memcpy(trailer.data(), data, 16);
        if (ReviewTrailer(trailer).Permanent() && gQuestions < 2) __builtin_trap();
    }
    return NextResult();
}
int ValueOp(int sector, int block, int32_t value) {
    CheckAddress(sector, block);
    if (block == 3 || value < 0 || value > 999999999) __builtin_trap();
    return NextResult();
}
int ReadVal(int sector, int block, int32_t *value) {
    CheckAddress(sector, block);
    const int r = NextResult();
    if (r == 0) *value = int32_t(0x80000000u + gNext);
    return r;
}
}

class FuzzWindow : public TMifareWindow {
  public:
    std::string fields[12];
    bool keyB = false, answer = false;
    int enabled = 1;
    std::string Text(TMifareField f) override { return fields[int(f)]; }
    void SetText(TMifareField f, const std::string &text) override { fields[int(f)] = text; }
    bool KeyB(bool) override { return keyB; }
    void Message(const std::string &) override {}
    bool Ask(const std::string &, const std::string &) override {
        gQuestions += answer;
        return answer;
    }
    void SetEnabled(bool on) override {
        enabled += on ? 1 : -1;
        if (enabled < 0 || enabled > 1) __builtin_trap();
    }
    void Pause(int) override {
        if (enabled != 0) __builtin_trap(); // pauses only while disabled
    }
};

std::string Upper(std::string_view text) {
    std::string s(text);
    for (char &c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

void CheckConversions(std::string_view text) {
    if (const auto key = ParseKey(text)) {
        if (BytesToPlainHex(key->data(), 6) != Upper(text)) __builtin_trap();
    }
    if (const auto row = ParseRow(text)) {
        const std::string hex = BytesToPlainHex(row->data(), 16);
        if (hex.compare(0, text.size(), Upper(text)) != 0) __builtin_trap();
        if (hex.find_first_not_of('0', text.size()) != std::string::npos) __builtin_trap();
    }
    if (ValidateTrailer(text) == TTrailerCheck::Ok) {
        const auto row = ParseRow(text);
        if (!row || !AccessBytesConsistent((*row)[6], (*row)[7], (*row)[8])) __builtin_trap();
    }
    std::string field(text);
    const bool hex = NormalizeHexField(field);
    if (hex != (text.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos))
        __builtin_trap();
    if (const auto amount = ParseAmount(text)) {
        const uint32_t v = uint32_t(*amount);
        const uint8_t bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        if (AmountBytesText(text) != BytesToPlainHex(bytes, 4)) __builtin_trap();
        if (!AmountFieldAllows(text)) __builtin_trap();
    }
    const std::string bytes = AmountBytesText(text);
    if (!bytes.empty() && bytes.size() != 8) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const uint8_t flags = data[0];
    const size_t resultBytes = data[1] % 32;
    if (size < 2 + resultBytes) return 0;
    gResults = data + 2;
    gResultCount = resultBytes;
    gNext = 0;
    gQuestions = 0;

    // The rest: the twelve fields, separated by newlines.
    FuzzWindow w;
    std::string_view rest(reinterpret_cast<const char *>(data + 2 + resultBytes),
                          size - 2 - resultBytes);
    for (auto &field : w.fields) {
        const size_t end = rest.find('\n');
        field = std::string(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        CheckConversions(field);
    }
    w.keyB = flags & 1;
    w.answer = flags & 2;

    TRfidLink link;
    link.RF_Antenna_Sta = Antenna;
    link.RF_Init_Type = InitType;
    link.RF_Request = Request;
    link.RF_Anticoll = Anticoll;
    link.RF_Select = Select;
    link.RF_authentication = Authenticate;
    link.RF_read = Read;
    link.RF_write = Write;
    link.RF_initval = ValueOp;
    link.RF_increment = ValueOp;
    link.RF_Debit = ValueOp;
    link.RF_readval = ReadVal;
    link.Bound = (flags & 4) ? 0 : 1;

    switch ((flags >> 3) % 7) {
    case 0:
        MifareSearchCard(link, w);
        break;
    case 1:
        MifareReadCard(link, w);
        break;
    case 2:
        MifareWriteCard(link, w);
        break;
    case 3:
        MifarePurse(link, w, TPurseOp((flags >> 6) % 3));
        break;
    case 4:
        MifareBalance(link, w);
        break;
    case 5:
        if (!MifareExit(link, w)) __builtin_trap();
        break;
    default:
        MifarePurse(link, w, TPurseOp::Decrease);
        break;
    }
    if (w.enabled != 1 || MifareOperationRunning()) __builtin_trap();
    return 0;
}
