#pragma once
#include <cstddef>
#include <cstdint>

// Command frames of the magnetic-stripe reader. Each builder writes into a zeroed
// 1024-byte frame and returns the length handed to the write call.
namespace frames {
inline constexpr uint8_t kReadConfiguration = 0xA9;
inline constexpr uint8_t kWriteConfiguration = 0xAA;
inline constexpr uint8_t kReadVersion = 0xAD;
inline constexpr uint8_t kSetMode = 0xAE;
inline constexpr uint8_t kIcPowerUp = 0xA6;
inline constexpr uint8_t kIcPowerDown = 0xA5;
inline constexpr uint8_t kIcApdu = 0xA7;
inline constexpr uint8_t kLead = 0x7E;

int ReadConfiguration(uint8_t (&frame)[1024]); // A9 7E
int ReadVersion(uint8_t (&frame)[1024]);       // AD
int NormalMode(uint8_t (&frame)[1024]);        // AE 00
int TestMode(uint8_t (&frame)[1024]);          // AE 01
int IcPowerUp(uint8_t (&frame)[1024]);         // A6 00
int IcPowerDown(uint8_t (&frame)[1024]);       // A5 00
// A7 + the APDU; an APDU longer than 1023 bytes is refused (-1).
int IcApdu(uint8_t (&frame)[1024], const uint8_t *apdu, size_t n);
// AA 7E + the configuration block from EncodeSaveBlock (which writes from frame[2] and
// returns the whole length); this only puts the two lead bytes in.
int WriteConfigurationLead(uint8_t (&frame)[1024]);

// The version text: the reply up to its first zero byte, never past n bytes.
size_t VersionTextLength(const uint8_t *reply, size_t n);
} // namespace frames
