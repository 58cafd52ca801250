// The PC/SC window's text rules: command text to bytes, bytes to text, reader names.
#include "smartcard/apdu_text.h"
#include "smartcard/status_words.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

Bytes Convert(const std::string &text) {
    Bytes bytes{0xEE}; // must be replaced
    EXPECT_TRUE(CommandTextToBytes(text, bytes)) << text;
    return bytes;
}
} // namespace

TEST(CommandText, PairsOfDigitsHighNibbleFirst) {
    EXPECT_EQ(Convert("0084000004"), (Bytes{0x00, 0x84, 0x00, 0x00, 0x04}));
    EXPECT_EQ(Convert("00A4040"), (Bytes{0x00, 0xA4, 0x04, 0x00}));
    EXPECT_EQ(Convert("ABC"), (Bytes{0xAB, 0xC0}));
    EXPECT_EQ(Convert("abcdef"), (Bytes{0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(Convert("0"), (Bytes{0x00}));
    EXPECT_EQ(Convert(""), Bytes{});
}

TEST(CommandText, BlanksAreSkippedNeverNibbles) {
    EXPECT_EQ(Convert("00 84 00 00 04"), (Bytes{0x00, 0x84, 0x00, 0x00, 0x04}));
    EXPECT_EQ(Convert("1 23"), (Bytes{0x12, 0x30}));
    EXPECT_EQ(Convert("   "), Bytes{});
}

TEST(CommandText, AnyOtherCharacterRefusesTheWholeText) {
    for (const char *text : {"00G4", "0x84", "00\t84", "00-84", "0084000004\n", "Z"}) {
        Bytes bytes{1, 2};
        EXPECT_FALSE(CommandTextToBytes(text, bytes)) << text;
        EXPECT_TRUE(bytes.empty()) << text;
    }
    // A NUL inside the text is no end of it.
    Bytes bytes;
    EXPECT_FALSE(CommandTextToBytes(std::string("00\0"
                                                "84",
                                                5),
                                    bytes));
}

TEST(CommandText, InputIsHexDigitsAndBlanksUpTo1023Characters) {
    EXPECT_TRUE(IsCommandInput(""));
    EXPECT_TRUE(IsCommandInput("00 a4 04 00"));
    EXPECT_TRUE(IsCommandInput(std::string(1023, 'F')));
    EXPECT_FALSE(IsCommandInput(std::string(1024, 'F')));
    EXPECT_FALSE(IsCommandInput("00g4"));
    EXPECT_FALSE(IsCommandInput("00\t84"));
    EXPECT_FALSE(IsCommandInput("\xC3\xA4"));
    // 1023 digits make 512 bytes, the last one a lone high nibble.
    const Bytes bytes = Convert(std::string(1023, '7'));
    ASSERT_EQ(bytes.size(), 512u);
    EXPECT_EQ(bytes[510], 0x77);
    EXPECT_EQ(bytes[511], 0x70);
}

TEST(CommandText, TrimTakesBlanksAndControlsAtTheEndsOnly) {
    EXPECT_EQ(TrimBlanks("  00 84 \r\n"), "00 84");
    EXPECT_EQ(TrimBlanks(" \t "), "");
    EXPECT_EQ(TrimBlanks("A"), "A");
}

TEST(ResponseText, UpperCaseHexWithoutSeparators) {
    const uint8_t bytes[] = {0x90, 0x00, 0x0a, 0xFF};
    EXPECT_EQ(BytesToHex(bytes, 2), "9000");
    EXPECT_EQ(BytesToHex(bytes, 4), "90000AFF");
    EXPECT_EQ(BytesToHex(bytes, 0), "");
    EXPECT_EQ(BytesToSpacedHex(bytes, 4), "90 00 0A FF");
    EXPECT_EQ(BytesToSpacedHex(bytes, 1), "90");
}

TEST(ReaderList, NamesStayInsideTheirSlots) {
    char buffer[kReaderBuffer];
    std::memset(buffer, 0, sizeof buffer);
    std::strcpy(buffer, "Reader A");
    std::strcpy(buffer + 100, "Reader B");
    EXPECT_EQ(CopyReaderList(buffer, 2), (std::vector<std::string>{"Reader A", "Reader B"}));
    EXPECT_TRUE(CopyReaderList(buffer, 0).empty());
    EXPECT_TRUE(CopyReaderList(buffer, -3).empty());

    // Without terminators every slot gives its 100 bytes and no more.
    std::memset(buffer, 'x', sizeof buffer);
    for (int i = 0; i < kMaxReaders; ++i)
        buffer[i * kReaderSlot] = static_cast<char>('a' + i);
    const auto names = CopyReaderList(buffer, 25);
    ASSERT_EQ(names.size(), 20u);
    for (int i = 0; i < kMaxReaders; ++i) {
        ASSERT_EQ(names[i].size(), 100u);
        EXPECT_EQ(names[i][0], 'a' + i);
    }
    EXPECT_EQ(CopyReaderList(buffer, 1 << 30).size(), 20u);
}

TEST(StatusWords, CommonWordsHaveTheirMeanings) {
    EXPECT_EQ(StatusWordMeaning(0x90, 0x00), "Normal processing");
    EXPECT_EQ(StatusWordMeaning(0x61, 0x10),
              "Normal processing: 16 response bytes still available");
    EXPECT_EQ(StatusWordMeaning(0x61, 0x00),
              "Normal processing: 256 or more response bytes still available");
    EXPECT_EQ(StatusWordMeaning(0x6C, 0x08), "Wrong Le field: 8 bytes available");
    EXPECT_EQ(StatusWordMeaning(0x67, 0x00), "Wrong length");
    EXPECT_EQ(StatusWordMeaning(0x69, 0x82), "Security status not satisfied");
    EXPECT_EQ(StatusWordMeaning(0x6A, 0x82), "File or application not found");
    EXPECT_EQ(StatusWordMeaning(0x6D, 0x00), "Instruction code not supported or invalid");
    EXPECT_EQ(StatusWordMeaning(0x6E, 0x00), "Class not supported");
    EXPECT_EQ(StatusWordMeaning(0x63, 0xC2), "Warning: counter at 2 (verification failed)");
    EXPECT_EQ(StatusWordMeaning(0x69, 0x85), "Conditions of use not satisfied");
    EXPECT_EQ(StatusWordMeaning(0x62, 0x82),
              "Warning: end of file or record reached before reading Ne bytes");
}

TEST(StatusWords, UnlistedWordsFallBackToTheirGroup) {
    EXPECT_EQ(StatusWordMeaning(0x6A, 0x99), "Wrong parameters P1-P2");
    EXPECT_EQ(StatusWordMeaning(0x69, 0x42), "Command not allowed");
    EXPECT_EQ(StatusWordMeaning(0x67, 0x12), "Wrong length");
    EXPECT_EQ(StatusWordMeaning(0x93, 0x01), "Proprietary status");
    EXPECT_EQ(StatusWordMeaning(0x12, 0x34), "Unknown status word");
    EXPECT_EQ(StatusWordMeaning(0x60, 0x00), "Unknown status word");
    // Every word gets some text.
    for (int sw1 = 0; sw1 < 256; ++sw1)
        for (int sw2 = 0; sw2 < 256; sw2 += 17)
            ASSERT_FALSE(StatusWordMeaning(uint8_t(sw1), uint8_t(sw2)).empty());
}
