// The answer-to-reset decoder: sound answers of common card types, the inverse convention,
// malformed answers that must stop where they stop making sense, and the known-ATR list.
#include "smartcard/atr.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

const TAtrField *Field(const TAtrInfo &info, const std::string &name) {
    for (const TAtrField &f : info.Fields)
        if (f.Name == name) return &f;
    return nullptr;
}

std::string Meaning(const TAtrInfo &info, const std::string &name) {
    const TAtrField *f = Field(info, name);
    return f ? f->Meaning : "(absent)";
}

// A contact card offering T=0 and T=1 with all its interface bytes: the longest answer.
const Bytes kFull = [] {
    Bytes atr = {0x3B, 0xFF, 0x11, 0x00, 0x00, 0xF0, 0x80, 0x00, 0x0A, 0xF1, 0xFE,
                 0x45, 0x00, 0x71, 0x00, 0x00, 0x00, 0x80, 0x31, 0x80, 0x65, 0xB0,
                 0x85, 0x04, 0x01, 0x20, 0x12, 0x0F, 0xFF, 0x82, 0x90, 0x00};
    uint8_t check = 0;
    for (std::size_t i = 1; i < atr.size(); ++i)
        check ^= atr[i];
    atr.push_back(check);
    return atr;
}();

struct TSound {
    const char *What;
    Bytes Atr;
    std::vector<int> Protocols;
    bool Tck;
    std::size_t Historical;
};

TEST(Atr, SoundAnswersOfCommonCardTypes) {
    const TSound cases[] = {
        {"T=0, two historical bytes", {0x3B, 0x02, 0x14, 0x50}, {0}, false, 2},
        {"T=0 with guard time and compact-TLV history",
         {0x3B, 0x6E, 0x00, 0x00, 0x80, 0x31, 0x80, 0x66, 0xB0, 0x84, 0x12, 0x01, 0x6E, 0x01, 0x83,
          0x00, 0x90, 0x00},
         {0},
         false,
         14},
        {"storage card behind a contactless reader",
         {0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
          0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x6A},
         {0, 1},
         true,
         15},
        {"T=1 only, no history", {0x3B, 0x80, 0x01, 0x81}, {1}, true, 0},
        {"T=1 with IFSC and waiting times",
         {0x3B, 0xF8, 0x13, 0x00, 0x00, 0x81, 0x31, 0xFE, 0x45, 'L', 'A', 'B', 'C', 'A', 'R', 'D',
          '1', 0x8A},
         {1},
         true,
         8},
        {"33 bytes, T=0 and T=1", kFull, {0, 1}, true, 15},
        {"inverse convention",
         {0x3F, 0x65, 0x25, 0x00, 0x2C, 0x09, 0x69, 0x90, 0x00},
         {0},
         false,
         5},
        {"T=15 global bytes", {0x3B, 0x80, 0x80, 0x1F, 0x03, 0x1C}, {0}, true, 0},
    };
    for (const TSound &c : cases) {
        SCOPED_TRACE(c.What);
        const TAtrInfo info = DecodeAtr(c.Atr);
        EXPECT_TRUE(info.Sound()) << info.Problem;
        EXPECT_EQ(info.Protocols, c.Protocols);
        EXPECT_EQ(info.TckPresent, c.Tck);
        EXPECT_EQ(info.Historical.size(), c.Historical);
        EXPECT_EQ(info.Inverse, c.Atr[0] == 0x3F);
        EXPECT_EQ(info.Fields.back().Offset + 1 + (c.Tck ? 0 : c.Historical), c.Atr.size());
    }
}

TEST(Atr, InterfaceBytesSayWhatTheySet) {
    TAtrInfo info = DecodeAtr(kFull);
    EXPECT_EQ(Meaning(info, "T0"), "TA1 TB1 TC1 TD1 follow; 15 historical bytes");
    EXPECT_EQ(Meaning(info, "TA1"), "Fi=372 (f max 5 MHz), Di=1: 372 clock cycles per bit");
    EXPECT_EQ(Meaning(info, "TC1"), "no extra guard time");
    EXPECT_EQ(Meaning(info, "TD1"), "T=0; TA2 TB2 TC2 TD2 follow");
    EXPECT_EQ(Meaning(info, "TA2"),
              "specific mode, T=0; the mode cannot be changed; parameters as TA1 gives them");
    EXPECT_EQ(Meaning(info, "TC2"),
              "waiting time integer WI=10: work waiting time 10 x 960 x Fi/f");
    // The first group after T=1 is T=1's own, the second one has no meaning of its own.
    EXPECT_EQ(Meaning(info, "TA3"), "IFSC: the card takes blocks of 254 bytes");
    EXPECT_NE(Meaning(info, "TB3").find("BWI=4, CWI=5: character waiting time 43 etu"),
              std::string::npos);
    EXPECT_EQ(Meaning(info, "TC3"), "error detection: LRC");
    EXPECT_EQ(Meaning(info, "TA4"), "specific to T=1");
    EXPECT_EQ(Meaning(info, "TCK"), "check byte, correct");

    info = DecodeAtr({0x3B, 0x90, 0x96, 0x11, 0x01, 0x16});
    EXPECT_EQ(Meaning(info, "TA1"), "Fi=512 (f max 5 MHz), Di=32: 16 clock cycles per bit");
    EXPECT_EQ(Meaning(info, "TD1"), "T=1; TA2 follows");
    EXPECT_NE(Meaning(info, "TA2").find("T=1; the mode can be changed"), std::string::npos);

    info = DecodeAtr({0x3B, 0x70, 0x7F, 0x00, 0xFF});
    EXPECT_EQ(Meaning(info, "TA1"), "Fi reserved (FI=7), Di reserved (DI=F)");
    EXPECT_EQ(Meaning(info, "TC1"), "minimum guard time: 12 etu under T=0, 11 etu under T=1");

    info = DecodeAtr({0x3B, 0x80, 0x80, 0x1F, 0x03, 0x1C});
    EXPECT_EQ(Meaning(info, "TA3"), "clock stop not supported; classes A (5 V), B (3 V)");
}

TEST(Atr, HistoricalBytesByCategory) {
    TAtrInfo info = DecodeAtr({0x3B, 0x6E, 0x00, 0x00, 0x80, 0x31, 0x80, 0x66, 0xB0, 0x84, 0x12,
                               0x01, 0x6E, 0x01, 0x83, 0x00, 0x90, 0x00});
    EXPECT_EQ(info.HistoricalNotes,
              (std::vector<std::string>{"category 80: compact-TLV objects", "card service data: 80",
                                        "pre-issuing data: B0 84 12 01 6E 01",
                                        "status indicator: 00 90 00"}));
    // An object longer than what is left is named, not read past the end.
    info = DecodeAtr({0x3B, 0x03, 0x80, 0x45, 0x01});
    EXPECT_EQ(info.HistoricalNotes.back(),
              "object 45 (initial access data, 5 bytes) runs past the end");
    EXPECT_TRUE(info.Sound());
    info = DecodeAtr({0x3B, 0x02, 0x00, 0x90});
    EXPECT_EQ(info.HistoricalNotes.back(), "the status indicator needs 3 bytes");
}

// The bytes a direct-convention reader takes from an inverse-convention card.
Bytes AsReadDirect(Bytes atr) {
    for (uint8_t &b : atr) {
        uint8_t r = 0;
        for (int i = 0; i < 8; ++i)
            if (~b & (1u << i)) r = static_cast<uint8_t>(r | (0x80u >> i));
        b = r;
    }
    return atr;
}

TEST(Atr, InverseConventionReadAsDirectIsConverted) {
    const Bytes inverse = {0x3F, 0x65, 0x25, 0x00, 0x2C, 0x09, 0x69, 0x90, 0x00};
    const Bytes raw = AsReadDirect(inverse);
    ASSERT_EQ(raw[0], 0x03);
    const TAtrInfo info = DecodeAtr(raw);
    EXPECT_TRUE(info.Sound()) << info.Problem;
    EXPECT_TRUE(info.Converted);
    EXPECT_TRUE(info.Inverse);
    EXPECT_EQ(info.Bytes, inverse);
}

struct TMalformed {
    Bytes Atr;
    std::size_t Offset;
    const char *Problem;
};

TEST(Atr, MalformedAnswersSayWhereTheyStop) {
    Bytes tooLong = {0x3B, 0x8F};
    for (int i = 0; i < 20; ++i)
        tooLong.push_back(0x80);
    tooLong.push_back(0x00);
    tooLong.resize(tooLong.size() + 15, 0x41);
    const TMalformed cases[] = {
        {{}, 0, "the answer is empty"},
        {{0x12, 0x00},
         0,
         "TS is 12, which is neither 3B (direct convention) nor 3F (inverse "
         "convention)"},
        {{0x3B}, 1, "the answer ends after TS: T0 is missing"},
        {{0x3B, 0xF0}, 2, "T0 announces TA1 at offset 2, but the answer ends after 2 bytes"},
        {{0x3B, 0x80, 0x81}, 3, "TD1 announces TD2 at offset 3, but the answer ends after 3 bytes"},
        {{0x3B, 0x05, 0x14, 0x50},
         4,
         "T0 announces 5 historical bytes from offset 2, but only 2 follow"},
        {{0x3B, 0x80, 0x01},
         3,
         "TCK is missing: a protocol other than T=0 is offered, which needs a check byte"},
        {{0x3B, 0x80, 0x01, 0x80},
         3,
         "TCK is 80 but should be 81 (T0 to TCK must give 00 when combined by exclusive-or)"},
        {{0x3B, 0x02, 0x14, 0x50, 0x00}, 4, "1 byte after the end of the answer at offset 4"},
        {tooLong, 33, "the answer is 38 bytes long; at most 33 are allowed"},
    };
    for (const TMalformed &c : cases) {
        const TAtrInfo info = DecodeAtr(c.Atr);
        EXPECT_EQ(info.Problem, c.Problem);
        EXPECT_EQ(info.ProblemOffset, c.Offset) << c.Problem;
    }
}

TEST(Atr, EveryCutOfASoundAnswerIsMalformedWithinIt) {
    // Under the sanitizers this also shows that no cut is read past its end.
    for (std::size_t n = 0; n < kFull.size(); ++n) {
        const Bytes cut(kFull.begin(), kFull.begin() + static_cast<std::ptrdiff_t>(n));
        const TAtrInfo info = DecodeAtr(cut);
        EXPECT_FALSE(info.Sound()) << n;
        EXPECT_LE(info.ProblemOffset, n);
        for (const TAtrField &f : info.Fields)
            EXPECT_LT(f.Offset, n);
    }
}

TEST(Atr, KnownListMatchesWithWildcards) {
    std::istringstream list("# a comment\n"
                            "3B 02 14 50\n"
                            "\tLab T=0 card\n"
                            "\tsecond line\n"
                            "\n"
                            "3b 02 14 5.\r\n"
                            "\tAny 3B 02 14 5x\r\n"
                            "3B 02 14\n"
                            "\tShorter\n"
                            "3B 02 14 50 00\n"
                            "\tLonger\n"
                            "3B 02 (14|15) 50\n"
                            "\tA pattern of another kind\n"
                            "3B 8F 80 01 80 4F 0C A0 00 00 03 06 .. .. .. 00 00 00 00 ..\n"
                            "\tStorage card\n");
    const std::vector<TKnownAtr> found = MatchKnownAtrs(list, {0x3B, 0x02, 0x14, 0x50});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].Descriptions, (std::vector<std::string>{"Lab T=0 card", "second line"}));
    EXPECT_EQ(found[1].Pattern, "3b 02 14 5.");
    EXPECT_EQ(found[1].Descriptions, std::vector<std::string>{"Any 3B 02 14 5x"});

    EXPECT_TRUE(AtrPatternMatches("3B 8F 80 01 80 4F 0C A0 00 00 03 06 .. .. .. 00 00 00 00 ..",
                                  {0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00,
                                   0x03, 0x06, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x6A}));
    EXPECT_FALSE(AtrPatternMatches("3B 02 14 5", {0x3B, 0x02, 0x14, 0x50}));
    EXPECT_FALSE(AtrPatternMatches("", {0x3B}));
}

} // namespace
