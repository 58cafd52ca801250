// The contactless (Mifare One) commands: one framed command, one reply, per call.
#include "lorvane.h"
#include "transport.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace lorvane {
namespace {

constexpr int kDataTooLong = -100, kNoEndByte = -102, kReplyTooShort = -103,
              kReplyTooLongUnstuffed = -104;
// Internal only: a reply of another command, never returned.
constexpr int kOtherCommand = -1000;
constexpr int kMaxData = 251;
constexpr int kAreaSize = 512;
constexpr uint8_t kLead = 0xA8, kStart = 0x02, kEnd = 0x03, kEscape = 0x10;

// The reply after unstuffing; reply-data byte k (0 = status) is area[5 + k].
struct Reply {
    uint8_t area[kAreaSize];
    int size = 0;
    uint8_t data(int k) const { return area[5 + k]; }
    int blockLength() const { return size - 7; }
};

// A successful reply must carry the command's outputs: a shorter one would hand its checksum
// and end byte to the caller as data.
int NeedBlock(int r, const Reply &reply, int blockLength) {
    if (r == 0 && reply.blockLength() < blockLength) return kReplyTooShort;
    return r;
}

bool NeedsEscape(uint8_t b) {
    return b == kStart || b == kEnd || b == kEscape;
}

// Unstuffs a reply into `reply`; its status, a malformed reply's code, or kOtherCommand when
// the echo or the checksum does not match the command `code`.
int Unpack(const unsigned char *raw, int length, uint8_t code, Reply &reply) {
    int end = length - 1;
    while (end >= 0 && raw[end] != kEnd)
        --end;
    if (end < 0) return kNoEndByte;

    std::memset(reply.area, 0, sizeof reply.area);
    int size = 0;
    for (int i = 0; i <= end; ++i) {
        uint8_t b = raw[i];
        if (b == kEscape && i < end) b = raw[++i];
        if (size == kAreaSize) return kReplyTooLongUnstuffed;
        reply.area[size++] = b;
    }
    if (size <= 7) return kReplyTooShort;
    // The checksum sums the length, the echo, the status and the data.
    uint8_t sum = 0;
    for (int i = 3; i < size - 2; ++i)
        sum = uint8_t(sum + reply.area[i]);
    if (reply.area[4] != code || reply.area[size - 2] != sum) return kOtherCommand;
    reply.size = size;
    return reply.data(0);
}

int RoundTrip(uint8_t code, const uint8_t *data, int count, Reply &reply) {
    if (count < 0 || count > kMaxData) return kDataTooLong;

    uint8_t frame[4 + kMaxData + 1];
    frame[0] = 0x00;
    frame[1] = 0x00;
    frame[2] = uint8_t(count + 3);
    frame[3] = code;
    uint8_t sum = uint8_t(frame[2] + code);
    for (int i = 0; i < count; ++i) {
        frame[4 + i] = data[i];
        sum = uint8_t(sum + data[i]);
    }
    frame[4 + count] = sum;
    const int frameLength = 5 + count;

    unsigned char message[3 + 2 * sizeof frame];
    int m = 0;
    message[m++] = kLead;
    message[m++] = kStart;
    for (int i = 0; i < frameLength; ++i) {
        if (NeedsEscape(frame[i])) message[m++] = kEscape;
        message[m++] = frame[i];
    }
    message[m++] = kEnd;

    int r = Init();
    if (r != 0) return r;
    char trace[2048];
    r = Write(message, m, trace);
    if (r != 0) return r;
    // A reply that answers another command (a late or stale one) is dropped and the read goes
    // on; dropped replies do not extend the wait for the right one.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        unsigned char raw[1024];
        std::memset(raw, 0, sizeof raw);
        int length = 0;
        r = Read(raw, &length, trace, int(std::max<long long>(left.count(), 0)));
        if (r != 0) return r;
        r = Unpack(raw, length, code, reply);
        if (r != kOtherCommand) return r;
    }
}

uint8_t BlockAddress(int sector, int block) {
    return uint8_t(sector * 4 + block);
}

int ValueCommand(uint8_t code, int sector, int block, int32_t value) {
    uint32_t v = uint32_t(value);
    uint8_t data[5] = {BlockAddress(sector, block), uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16),
                       uint8_t(v >> 24)};
    Reply reply;
    return RoundTrip(code, data, 5, reply);
}

} // namespace
} // namespace lorvane

using namespace lorvane;

#define GUARDED                                                                                    \
    BusyGuard guard;                                                                               \
    if (!guard.acquired()) return kBusy

extern "C" {

int RF_Antenna_Sta(int on) {
    GUARDED;
    uint8_t data = on ? 1 : 0;
    Reply reply;
    return RoundTrip(0x05, &data, 1, reply);
}

int RF_Init_Type(int type) {
    GUARDED;
    uint8_t data = type == 0 ? 0x41 : type == 1 ? 0x42 : 0x31;
    Reply reply;
    return RoundTrip(0x3A, &data, 1, reply);
}

int RF_Request(int mode, int16_t *cardType) {
    GUARDED;
    uint8_t data = mode ? 0x52 : 0x26;
    Reply reply;
    int r = NeedBlock(RoundTrip(0x46, &data, 1, reply), reply, 2);
    if (r == 0) *cardType = reply.data(1);
    return r;
}

int RF_Anticoll(int parameter, uint32_t *serialNumber, int16_t *serialLength) {
    GUARDED;
    uint8_t data = uint8_t(parameter);
    Reply reply;
    int r = NeedBlock(RoundTrip(0x47, &data, 1, reply), reply, 5);
    if (r == 0) {
        std::memcpy(serialNumber, &reply.area[6], 4);
        *serialLength = 4;
    }
    return r;
}

int RF_Select(const uint8_t *serialNumber, int16_t serialLength) {
    GUARDED;
    Reply reply;
    return RoundTrip(0x48, serialNumber, serialLength, reply);
}

int RF_authentication(int keyChoice, int sector, const uint8_t *key) {
    GUARDED;
    uint8_t data[8] = {uint8_t(keyChoice ? 0x61 : 0x60), uint8_t(sector * 4)};
    std::memcpy(data + 2, key, 6);
    Reply reply;
    return RoundTrip(0x4A, data, 8, reply);
}

int RF_read(int sector, int block, uint8_t *out, int16_t *length) {
    GUARDED;
    uint8_t data = BlockAddress(sector, block);
    Reply reply;
    int r = NeedBlock(RoundTrip(0x4B, &data, 1, reply), reply, 17);
    if (r == 0) {
        std::memcpy(out, &reply.area[6], 16);
        *length = 16;
    }
    return r;
}

int RF_write(int sector, int block, const uint8_t *bytes, int16_t count) {
    GUARDED;
    if (count < 0 || count > kMaxData - 1) return kDataTooLong;
    uint8_t data[kMaxData];
    data[0] = BlockAddress(sector, block);
    if (count > 0) std::memcpy(data + 1, bytes, size_t(count));
    Reply reply;
    return RoundTrip(0x4C, data, count + 1, reply);
}

int RF_initval(int sector, int block, int32_t value) {
    GUARDED;
    return ValueCommand(0x4D, sector, block, value);
}

int RF_readval(int sector, int block, int32_t *value) {
    GUARDED;
    uint8_t data = BlockAddress(sector, block);
    Reply reply;
    int r = NeedBlock(RoundTrip(0x4E, &data, 1, reply), reply, 5);
    if (r == 0)
        *value = int32_t(uint32_t(reply.data(1)) | uint32_t(reply.data(2)) << 8 |
                         uint32_t(reply.data(3)) << 16 | uint32_t(reply.data(4)) << 24);
    return r;
}

int RF_Debit(int sector, int block, int32_t value) {
    GUARDED;
    return ValueCommand(0x4F, sector, block, value);
}

int RF_increment(int sector, int block, int32_t value) {
    GUARDED;
    return ValueCommand(0x50, sector, block, value);
}

int RF_Reset(int mode, uint32_t *result, int16_t *length) {
    GUARDED;
    uint8_t data = mode ? 0x52 : 0x26;
    Reply reply;
    int r = NeedBlock(RoundTrip(0x53, &data, 1, reply), reply, 5);
    if (r == 0) {
        std::memcpy(result, &reply.area[6], 4);
        *length = 4;
    }
    return r;
}

int RF_COS(const uint8_t *command, int16_t count, uint8_t *response, int16_t *responseLength) {
    GUARDED;
    Reply reply;
    int r = RoundTrip(0x54, command, count, reply);
    if (r == 0) {
        int n = reply.blockLength() - 1;
        if (n > 0) std::memcpy(response, &reply.area[6], size_t(n));
        *responseLength = int16_t(n);
    }
    return r;
}

} // extern "C"
