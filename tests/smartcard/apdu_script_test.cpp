// APDU scripts: what a line may hold, which line is refused and why, and how an expected
// response with wildcards matches.
#include "smartcard/apdu_script.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

TEST(ApduScript, LinesCommentsAndExpectations) {
    const std::string text = "# select, then read\r\n"
                             "\n"
                             "  00 A4 04 00 02 3F 00 => * 90 00   # any data\r\n"
                             "00b0000008=>xx XX XX XX XX XX XX XX 9000\n"
                             "\t00 84 00 00 04\t\n"
                             "80 CA 00 00 00 => 6X XX"; // no newline at the end
    std::vector<TScriptStep> steps;
    TScriptError error;
    ASSERT_TRUE(ParseApduScript(text, steps, error)) << error.Line << ": " << error.Message;
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].Line, 3);
    EXPECT_EQ(steps[0].Text, "00 A4 04 00 02 3F 00 => * 90 00");
    EXPECT_EQ(steps[0].Command, (Bytes{0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00}));
    EXPECT_EQ(PatternText(steps[0].Expected), "* 90 00");
    EXPECT_EQ(steps[1].Line, 4);
    EXPECT_EQ(PatternText(steps[1].Expected), "XX XX XX XX XX XX XX XX 90 00");
    EXPECT_EQ(steps[2].Line, 5);
    EXPECT_FALSE(steps[2].Checked);
    EXPECT_EQ(steps[3].Line, 6);
    EXPECT_EQ(PatternText(steps[3].Expected), "6X XX");
}

TEST(ApduScript, TheFirstBadLineIsNamedAndNothingIsKept) {
    struct TCase {
        const char *Text;
        int Line;
        const char *Message;
    };
    const TCase cases[] = {
        {"00 A4 04 00\n00 A4 0G 00\n", 2, "'G' is no hex digit"},
        {"00A40400\n\n00A404000\n", 3, "the APDU has an odd number of hex digits (9)"},
        {"00 A4 04\n", 1, "the APDU has 3 bytes; it needs at least 4 (CLA INS P1 P2)"},
        {"=> 90 00\n", 1, "no APDU before '=>'"},
        {"00A40400 =>\n", 1, "nothing follows '=>'"},
        {"00A40400 => 90\n", 1, "the expected response must end with SW1 SW2"},
        {"00A40400 => 12 * 90\n", 1, "the expected response must end with SW1 SW2"},
        {"00A40400 => 9 00\n", 1, "the expected response has an odd number of digits"},
        {"00A40400 => * 12 * 90 00\n", 1, "only one '*' is allowed"},
        {"00A40400 => 1*2 90 00\n", 1, "a '*' splits a byte"},
        {"00A40400 => 90 0Z\n", 1, "'Z' is neither a hex digit nor X"},
        {"00A40400 => 90 00 => 90 00\n", 1, "a second '=>'"},
        {"00A4\x01"
         "0400\n",
         1, "byte 01 is no hex digit"},
        {"# only comments\n\n", 0, "the script holds no APDU"},
        {"", 0, "the script holds no APDU"},
    };
    for (const TCase &c : cases) {
        std::vector<TScriptStep> steps(1);
        TScriptError error;
        EXPECT_FALSE(ParseApduScript(c.Text, steps, error)) << c.Text;
        EXPECT_EQ(error.Line, c.Line) << c.Text;
        EXPECT_EQ(error.Message, c.Message) << c.Text;
        EXPECT_TRUE(steps.empty());
    }
}

TEST(ApduScript, CommandLengthLimits) {
    Bytes bytes;
    EXPECT_EQ(ParseApduHex(std::string(2 * kMaxScriptApduBytes, 'A'), bytes), "");
    EXPECT_EQ(bytes.size(), kMaxScriptApduBytes);
    EXPECT_EQ(ParseApduHex(std::string(2 * kMaxScriptApduBytes + 2, 'A'), bytes),
              "the APDU is longer than 511 bytes");
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(ParseApduHex(" \t ", bytes), "the APDU is empty");
}

TEST(ApduScript, ResponsePatterns) {
    struct TCase {
        const char *Pattern;
        Bytes Response;
        bool Matches;
    };
    const TCase cases[] = {
        {"90 00", {0x90, 0x00}, true},
        {"90 00", {0x01, 0x90, 0x00}, false}, // no '*': no data allowed
        {"XX 90 00", {0x01, 0x90, 0x00}, true},
        {"XX 90 00", {0x90, 0x00}, false},
        {"* 90 00", {0x90, 0x00}, true},
        {"* 90 00", {1, 2, 3, 0x90, 0x00}, true},
        {"* 90 00", {1, 2, 3, 0x6A, 0x82}, false},
        {"6F * 90 00", {0x6F, 0x90, 0x00}, true},
        {"6F XX * 90 00", {0x6F, 0x90, 0x00}, false}, // head and tail may not overlap
        {"61 XX", {0x61, 0x10}, true},
        {"6X XX", {0x6A, 0x82}, true},
        {"6X XX", {0x90, 0x00}, false},
        {"X1 00", {0xF1, 0x00}, true},
        {"90 00", {0x90}, false},
        {"90 00", {}, false},
    };
    for (const TCase &c : cases) {
        TResponsePattern pattern;
        ASSERT_EQ(ParseResponsePattern(c.Pattern, pattern), "") << c.Pattern;
        EXPECT_EQ(ResponseMatches(pattern, c.Response), c.Matches) << c.Pattern;
    }
}

} // namespace
