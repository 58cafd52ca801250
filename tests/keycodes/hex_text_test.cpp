#include <gtest/gtest.h>

#include <vector>

#include "keycodes/hex_text.h"

namespace {

std::vector<uint8_t> Code(std::string_view text, bool &ok) {
    uint8_t entry[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    ok = HexToKeyCode(text, entry);
    return std::vector<uint8_t>(entry, entry + 4);
}

} // namespace

TEST(HexText, KeyCodeBothWays) {
    const uint8_t pgUp[4] = {0xE0, 0x7D, 0, 0}, lwinUp[4] = {0xE0, 0xF0, 0x1F, 0},
                  shift[4] = {0x12, 0, 0, 0}, empty[4] = {}, odd[4] = {0x12, 0, 0x34, 0};
    EXPECT_EQ(KeyCodeToHex(pgUp), "E07D");
    EXPECT_EQ(KeyCodeToHex(lwinUp), "E0F01F");
    EXPECT_EQ(KeyCodeToHex(shift), "12");
    EXPECT_EQ(KeyCodeToHex(empty), "");
    EXPECT_EQ(KeyCodeToHex(odd), "12"); // a code ends at its first zero byte

    bool ok = false;
    EXPECT_EQ(Code("e0f011", ok), (std::vector<uint8_t>{0xE0, 0xF0, 0x11, 0}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(Code("E07d", ok), (std::vector<uint8_t>{0xE0, 0x7D, 0, 0}));
    EXPECT_TRUE(ok);
    for (const char *bad : {"", "E", "E0F", "E0F01F12", "G0", "E0 7D", "00", "E000", "0x12"}) {
        EXPECT_EQ(Code(bad, ok), (std::vector<uint8_t>{0, 0, 0, 0})) << bad;
        EXPECT_FALSE(ok) << bad;
    }
}

TEST(HexText, ByteDump) {
    const uint8_t bytes[] = {0xAA, 0x7E, 0x00, 0x0F};
    EXPECT_EQ(BytesToHexText(bytes, 4), "AA 7E 00 0F ");
    EXPECT_EQ(BytesToHexText(bytes, 0), "");
}

TEST(HexText, TypedHex) {
    using V = std::vector<uint8_t>;
    EXPECT_EQ(HexTextToBytes("0084000004"), (V{0x00, 0x84, 0x00, 0x00, 0x04}));
    EXPECT_EQ(HexTextToBytes("00A4040"), (V{0x00, 0xA4, 0x04, 0x00}));
    EXPECT_EQ(HexTextToBytes("abc"), (V{0xAB, 0xC0}));
    EXPECT_EQ(HexTextToBytes("00 a4 04 00"), (V{0x00, 0xA4, 0x04, 0x00}));
    EXPECT_EQ(HexTextToBytes("0 0A4"), (V{0x00, 0xA4}));
    EXPECT_EQ(HexTextToBytes("   "), V{});
    EXPECT_EQ(HexTextToBytes(""), V{});
}
