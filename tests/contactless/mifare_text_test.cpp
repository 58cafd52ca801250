// Keys, block rows, trailers and amounts as the user types them, turned into card bytes.
#include "contactless/mifare_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> V(const TMifareBlock &b) {
    return {b.begin(), b.end()};
}

TEST(MifareText, KeysAreExactlyTwelveHexDigits) {
    const auto key = ParseKey("7B3E51a9c4D6");
    ASSERT_TRUE(key);
    EXPECT_EQ(*key, (TMifareKey{0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6}));
    for (const char *bad : {"", "7B3E51A9C4D", "7B3E51A9C4D60", "7B3E51A9C4DG", "7B3E51A9C4 6",
                            "7B3E51A9C4D\xC3", "-B3E51A9C4D6"})
        EXPECT_FALSE(ParseKey(bad)) << bad;
    EXPECT_FALSE(ParseKey(std::string("7B3E51A9C4\0D", 12)));
}

TEST(MifareText, RowsFillTheBlockHighNibbleFirstAndZeroBeyond) {
    EXPECT_EQ(V(*ParseRow("00112233445566778899AABBCCDDEEFF")),
              (std::vector<uint8_t>{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                                    0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
    // Ten digits: five bytes and eleven zeros; an odd last digit is a high nibble.
    std::vector<uint8_t> ten(16, 0);
    ten[0] = 0x12, ten[1] = 0x34, ten[2] = 0x56, ten[3] = 0x78, ten[4] = 0x9A;
    EXPECT_EQ(V(*ParseRow("123456789a")), ten);
    std::vector<uint8_t> odd(16, 0);
    odd[0] = 0xAB, odd[1] = 0xC0;
    EXPECT_EQ(V(*ParseRow("ABC")), odd);
    // An empty row would write sixteen zeros: refused, like anything that is no hex.
    for (const char *bad : {"", "12 34", "XYZ", "00112233445566778899AABBCCDDEEFF0", "+1"})
        EXPECT_FALSE(ParseRow(bad)) << bad;
}

TEST(MifareText, TypedAndPastedHexIsUpperCasedOrRefused) {
    EXPECT_EQ(HexFieldChar('a'), 'A');
    EXPECT_EQ(HexFieldChar('f'), 'F');
    EXPECT_EQ(HexFieldChar('9'), '9');
    for (char c : {'g', 'G', ' ', '\0', '@', '`', '/', ':'})
        EXPECT_EQ(HexFieldChar(c), 0) << int(c);
    std::string pasted = "7b3e51a9c4d6";
    EXPECT_TRUE(NormalizeHexField(pasted));
    EXPECT_EQ(pasted, "7B3E51A9C4D6");
    std::string empty;
    EXPECT_TRUE(NormalizeHexField(empty));
    for (std::string bad : {"7B3E 51", "0x12", "12\n", "ÄB"})
        EXPECT_FALSE(NormalizeHexField(bad)) << bad;
}

TEST(MifareText, TrailersKeepTheAccessBitComplements) {
    // The card's own trailer and a value-block layout (C1..C3 = 110 for blocks 0..2).
    EXPECT_EQ(ValidateTrailer("7B3E51A9C4D6FF078069FFFFFFFFFFFF"), TTrailerCheck::Ok);
    EXPECT_EQ(ValidateTrailer("7b3e51a9c4d6ff078069ffffffffffff"), TTrailerCheck::Ok);
    EXPECT_EQ(ValidateTrailer("FFFFFFFFFFFF08778F00FFFFFFFFFFFF"), TTrailerCheck::Ok);
    EXPECT_TRUE(AccessBytesConsistent(0xFF, 0x07, 0x80));
    EXPECT_TRUE(AccessBytesConsistent(0x08, 0x77, 0x8F));
    // Any one bit flipped in bytes 6..8 breaks the rule; byte 9 is the user's.
    for (int bit = 0; bit < 24; ++bit) {
        uint8_t b[3] = {0xFF, 0x07, 0x80};
        b[bit / 8] ^= uint8_t(1 << (bit % 8));
        EXPECT_FALSE(AccessBytesConsistent(b[0], b[1], b[2])) << bit;
    }
    EXPECT_EQ(ValidateTrailer("7B3E51A9C4D6FF078000FFFFFFFFFFFF"), TTrailerCheck::Ok);
    EXPECT_EQ(ValidateTrailer("7B3E51A9C4D6FF078169FFFFFFFFFFFF"), TTrailerCheck::BrokenAccessBits);
    EXPECT_EQ(ValidateTrailer(std::string(32, '0')), TTrailerCheck::BrokenAccessBits);
    EXPECT_EQ(ValidateTrailer("7B3E51A9C4D6FF078069FFFFFFFFFFF"), TTrailerCheck::WrongLength);
    EXPECT_EQ(ValidateTrailer(""), TTrailerCheck::WrongLength);
    EXPECT_EQ(ValidateTrailer("7B3E51A9C4D6FF078069FFFFFFFFFFFF0"), TTrailerCheck::WrongLength);
    EXPECT_EQ(ValidateTrailer("7B3E51A9C4D6FF078069FFFFFFFFFFFG"), TTrailerCheck::NotHex);
}

TEST(MifareText, AmountsAreOneToNineDigitsWithoutSign) {
    EXPECT_EQ(ParseAmount("0"), 0);
    EXPECT_EQ(ParseAmount("100"), 100);
    EXPECT_EQ(ParseAmount("000000042"), 42);
    EXPECT_EQ(ParseAmount("999999999"), 999999999);
    for (const char *bad : {"", "-1", "+1", "1000000000", "12a", " 1", "1.5", "2147483647"})
        EXPECT_FALSE(ParseAmount(bad)) << bad;
}

TEST(MifareText, AmountFieldTakesDigitsAndKeepsAShownBalance) {
    EXPECT_TRUE(AmountKeyAccepted('7', "123456787"));
    EXPECT_FALSE(AmountKeyAccepted('7', "1234567877")); // a tenth digit
    EXPECT_FALSE(AmountKeyAccepted('-', "-"));
    EXPECT_FALSE(AmountKeyAccepted('a', "a"));
    EXPECT_FALSE(AmountKeyAccepted('.', "1."));
    EXPECT_TRUE(AmountKeyAccepted('1', "-1001")); // typing into a shown negative balance
    for (const char *ok : {"", "123", "-100", "2147483647", "-2147483648"})
        EXPECT_TRUE(AmountFieldAllows(ok)) << ok;
    for (const char *bad : {"abc", "1-2", "--1", "12345678901", "1 2", "1.5"})
        EXPECT_FALSE(AmountFieldAllows(bad)) << bad;
}

TEST(MifareText, AmountBytesAreLeastSignificantFirst) {
    EXPECT_EQ(AmountBytesText("100"), "64000000");
    EXPECT_EQ(AmountBytesText("1000"), "E8030000");
    EXPECT_EQ(AmountBytesText("2500"), "C4090000");
    EXPECT_EQ(AmountBytesText("-100"), "9CFFFFFF");
    EXPECT_EQ(AmountBytesText("-1"), "FFFFFFFF");
    EXPECT_EQ(AmountBytesText("0"), "00000000");
    EXPECT_EQ(AmountBytesText("2147483647"), "FFFFFF7F");
    EXPECT_EQ(AmountBytesText("-2147483648"), "00000080");
    EXPECT_EQ(AmountBytesText("4294967297"), "01000000"); // the low 32 bits
    EXPECT_EQ(AmountBytesText("12.9"), "0C000000");       // the fraction is dropped
    for (const char *bad : {"", "-", "abc", "1e3", "1.2.3", "1234567890123456789"})
        EXPECT_EQ(AmountBytesText(bad), "") << bad;
}

TEST(MifareText, SectorsAndBlocksStayInRange) {
    EXPECT_EQ(ParseIndex("0", 15), 0);
    EXPECT_EQ(ParseIndex("15", 15), 15);
    EXPECT_EQ(ParseIndex("3", 3), 3);
    for (const char *bad : {"", "16", "-1", "4x", "007", " 1"})
        EXPECT_FALSE(ParseIndex(bad, 15)) << bad;
    EXPECT_FALSE(ParseIndex("4", 3));
}

TEST(MifareText, BytesShowAsHexWithoutSeparators) {
    const uint8_t serial[] = {0xA1, 0xB2, 0x03, 0x10};
    EXPECT_EQ(BytesToPlainHex(serial, 4), "A1B20310");
    EXPECT_EQ(BytesToPlainHex(serial, 0), "");
}

} // namespace
