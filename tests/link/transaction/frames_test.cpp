#include "link/frames.h"

#include <gtest/gtest.h>

namespace {
struct Frame {
    uint8_t bytes[1024] = {};
};
} // namespace

TEST(Frames, CommandsAndLengths) {
    Frame f;
    EXPECT_EQ(frames::ReadConfiguration(f.bytes), 2);
    EXPECT_EQ(f.bytes[0], 0xA9);
    EXPECT_EQ(f.bytes[1], 0x7E);
    Frame v;
    EXPECT_EQ(frames::ReadVersion(v.bytes), 1);
    EXPECT_EQ(v.bytes[0], 0xAD);
    EXPECT_EQ(v.bytes[1], 0x00);
    Frame n, t, up, down, w;
    EXPECT_EQ(frames::NormalMode(n.bytes), 2);
    EXPECT_EQ(frames::TestMode(t.bytes), 2);
    EXPECT_EQ(n.bytes[0], 0xAE);
    EXPECT_EQ(n.bytes[1], 0x00);
    EXPECT_EQ(t.bytes[1], 0x01);
    EXPECT_EQ(frames::IcPowerUp(up.bytes), 2);
    EXPECT_EQ(up.bytes[0], 0xA6);
    EXPECT_EQ(frames::IcPowerDown(down.bytes), 2);
    EXPECT_EQ(down.bytes[0], 0xA5);
    EXPECT_EQ(frames::WriteConfigurationLead(w.bytes), 2);
    EXPECT_EQ(w.bytes[0], 0xAA);
    EXPECT_EQ(w.bytes[1], 0x7E);
    // Every command code has bit 7 set (the HID library relies on it).
    for (uint8_t code :
         {f.bytes[0], v.bytes[0], n.bytes[0], up.bytes[0], down.bytes[0], w.bytes[0]})
        EXPECT_TRUE(code & 0x80);
}

TEST(Frames, ApduIsBoundedByTheFrame) {
    Frame f;
    const uint8_t apdu[] = {0x00, 0x84, 0x00, 0x00, 0x08};
    EXPECT_EQ(frames::IcApdu(f.bytes, apdu, sizeof apdu), 6);
    EXPECT_EQ(f.bytes[0], 0xA7);
    EXPECT_EQ(f.bytes[5], 0x08);
    EXPECT_EQ(frames::IcApdu(f.bytes, nullptr, 0), 1);
    static uint8_t big[1024] = {};
    EXPECT_EQ(frames::IcApdu(f.bytes, big, 1023), 1024);
    EXPECT_EQ(frames::IcApdu(f.bytes, big, 1024), -1);
}

TEST(Frames, VersionTextStopsAtZeroOrBufferEnd) {
    const uint8_t text[] = {'V', '1', '.', '0', 0, 'x'};
    EXPECT_EQ(frames::VersionTextLength(text, sizeof text), 4u);
    const uint8_t full[] = {'A', 'B', 'C'};
    EXPECT_EQ(frames::VersionTextLength(full, sizeof full), 3u);
    EXPECT_EQ(frames::VersionTextLength(full, 0), 0u);
}
