// Input reports come from the device: whatever arrives, HID_READ and the contactless commands
// must stay inside the caller's buffers, and leave them alone when they fail. Every output
// area is allocated at exactly the size the callers give, so AddressSanitizer sees any write
// past it.
#include "lorvane.h"
#include "virtual_reader.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr uint8_t kUntouched = 0xA5;

struct Area {
    explicit Area(size_t n) : size(n), bytes(static_cast<uint8_t *>(std::malloc(n))) {
        std::memset(bytes, kUntouched, n);
    }
    ~Area() { std::free(bytes); }
    bool untouched() const {
        for (size_t i = 0; i < size; ++i)
            if (bytes[i] != kUntouched) return false;
        return true;
    }
    size_t size;
    uint8_t *bytes;
};

void Check(bool ok) {
    if (!ok) std::abort();
}

// Runs one contactless command chosen by `which`; outputs must change only on success.
void Contactless(int which) {
    Area out(16), response(504), value(4), len(2), len2(2);
    int r = 0;
    const uint8_t key[6] = {0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6};
    const uint8_t apdu[5] = {0x00, 0x84, 0x00, 0x00, 0x08};
    auto *len16 = reinterpret_cast<int16_t *>(len.bytes);
    switch (which % 8) {
    case 0:
        r = RF_Request(1, len16);
        break;
    case 1:
        r = RF_Anticoll(4, reinterpret_cast<uint32_t *>(value.bytes), len16);
        break;
    case 2:
        r = RF_read(1, 2, out.bytes, len16);
        break;
    case 3:
        r = RF_readval(1, 2, reinterpret_cast<int32_t *>(value.bytes));
        break;
    case 4:
        r = RF_Reset(1, reinterpret_cast<uint32_t *>(value.bytes), len16);
        break;
    case 5:
        r = RF_COS(apdu, 5, response.bytes, len16);
        break;
    case 6:
        r = RF_authentication(1, 3, key);
        break;
    case 7:
        r = RF_initval(1, 2, -1);
        break;
    }
    if (r != 0)
        Check(out.untouched() && response.untouched() && value.untouched() && len.untouched());
    if (r == 0 && which % 8 == 5) Check(*len16 >= 0 && *len16 <= 504);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool ready = [] {
        vr_reset();
        vr_set_fail_when_empty(1); // a reply that ends early fails at once, no 5 s wait
        return true;
    }();
    (void)ready;
    if (size < 1) return 0;
    static const int kLengths[4] = {65, 64, 9, 1024};
    vr_set_report_length(kLengths[(data[0] >> 4) & 3]);
    vr_set_next_reply_raw(data + 1, int(size - 1));

    if ((data[0] & 15) < 8) {
        if (HID_Init() != 0) std::abort();
        Area reply(1024), trace(2048), length(sizeof(int));
        uint8_t frame[2] = {0xA9, 0x7E};
        if (HID_WRITE(frame, 2, 2, nullptr) != 0) std::abort();
        int r = HID_READ(reply.bytes, reinterpret_cast<int *>(length.bytes), 2,
                         reinterpret_cast<char *>(trace.bytes));
        Check(std::memchr(trace.bytes, 0, trace.size) != nullptr); // NUL-terminated inside
        if (r != 0) {
            Check(reply.untouched() && length.untouched());
        } else {
            int n;
            std::memcpy(&n, length.bytes, sizeof n);
            Check(n >= 0 && n <= 1024);
        }
        HID_Close();
    } else {
        Contactless(data[0] & 7);
    }
    return 0;
}
