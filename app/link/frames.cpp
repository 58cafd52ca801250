#include "link/frames.h"

#include <cstring>

namespace frames {
namespace {
int Two(uint8_t (&frame)[1024], uint8_t code, uint8_t parameter) {
    frame[0] = code;
    frame[1] = parameter;
    return 2;
}
} // namespace

int ReadConfiguration(uint8_t (&frame)[1024]) {
    return Two(frame, kReadConfiguration, kLead);
}
int NormalMode(uint8_t (&frame)[1024]) {
    return Two(frame, kSetMode, 0x00);
}
int TestMode(uint8_t (&frame)[1024]) {
    return Two(frame, kSetMode, 0x01);
}
int IcPowerUp(uint8_t (&frame)[1024]) {
    return Two(frame, kIcPowerUp, 0x00);
}
int IcPowerDown(uint8_t (&frame)[1024]) {
    return Two(frame, kIcPowerDown, 0x00);
}
int WriteConfigurationLead(uint8_t (&frame)[1024]) {
    return Two(frame, kWriteConfiguration, kLead);
}

int ReadVersion(uint8_t (&frame)[1024]) {
    frame[0] = kReadVersion;
    return 1;
}

int IcApdu(uint8_t (&frame)[1024], const uint8_t *apdu, size_t n) {
    if (n > sizeof frame - 1 || (n > 0 && apdu == nullptr)) return -1;
    frame[0] = kIcApdu;
    if (n > 0) std::memcpy(frame + 1, apdu, n);
    return static_cast<int>(n + 1);
}

size_t VersionTextLength(const uint8_t *reply, size_t n) {
    const void *zero = std::memchr(reply, 0, n);
    return zero ? static_cast<size_t>(static_cast<const uint8_t *>(zero) - reply) : n;
}
} // namespace frames
