#include <gtest/gtest.h>

#include <vector>

#include "keycodes/hex_text.h"
#include "keycodes/languages.h"

namespace {

// Rows where a table differs from USA: modifier and usage for all seven tables, in order.
struct Row {
    uint8_t code;
    const char *entries;
};
const Row kDifferingRows[] = {
    {0x21, "021E 021E 0038 021E 021E 021E 021E"}, {0x22, "0234 021F 0020 021F 021F 021F 021F"},
    {0x23, "0220 0220 4020 0031 4034 4020 0220"}, {0x24, "0221 4021 0030 0221 0221 0221 4021"},
    {0x25, "0222 0222 0234 0222 0222 0222 0222"}, {0x26, "0224 0223 001E 0223 0223 0223 0223"},
    {0x27, "0034 0031 0021 0231 002D 002D 0031"}, {0x28, "0226 0225 0022 0225 0225 0225 0225"},
    {0x29, "0227 0226 022D 0226 0226 0226 0226"}, {0x2A, "0225 0231 0031 0230 0230 0230 0234"},
    {0x2B, "022E 002D 022E 0030 0030 0030 0233"}, {0x2C, "0036 0036 0010 0036 0036 0036 0036"},
    {0x2D, "002D 0038 0023 0038 0038 0038 002D"}, {0x2E, "0037 0037 0236 0037 0037 0037 0037"},
    {0x2F, "0038 0224 0237 0224 0224 0224 0038"}, {0x30, "0027 0027 0227 0027 0027 0027 0027"},
    {0x31, "001E 001E 021E 001E 001E 001E 001E"}, {0x32, "001F 001F 021F 001F 001F 001F 001F"},
    {0x33, "0020 0020 0220 0020 0020 0020 0020"}, {0x34, "0021 0021 0221 0021 0021 0021 0021"},
    {0x35, "0022 0022 0222 0022 0022 0022 0022"}, {0x36, "0023 0023 0223 0023 0023 0023 0023"},
    {0x37, "0024 0024 0224 0024 0024 0024 0024"}, {0x38, "0025 0025 0225 0025 0025 0025 0025"},
    {0x39, "0026 0026 0226 0026 0026 0026 0026"}, {0x3A, "0233 0237 0037 0237 0237 0237 0034"},
    {0x3B, "0033 0236 0036 0236 0236 0236 0033"}, {0x3C, "0236 0064 0264 0064 0064 0064 0236"},
    {0x3D, "002E 0227 002E 0227 0227 0227 022D"}, {0x3E, "0237 0264 0264 0264 0237 0264 0264"},
    {0x3F, "0238 022D 0210 022D 022D 022D 0238"}, {0x40, "021F 401F 4027 4014 4033 401F 002F"},
    {0x41, "0004 0004 0014 0004 0004 0004 0004"}, {0x4D, "0010 0010 0033 0010 0010 0010 0010"},
    {0x51, "0014 0014 0004 0014 0014 0014 0014"}, {0x57, "001A 001A 001D 001A 001A 001A 001A"},
    {0x59, "001C 001C 001C 001D 001C 001C 001C"}, {0x5A, "001D 001D 001A 001C 001D 001D 001D"},
    {0x5B, "002F 4025 4022 4025 402F 402F 0030"}, {0x5C, "0031 402D 4025 402D 0035 4035 0089"},
    {0x5D, "0030 4026 402D 4026 4030 4030 0031"}, {0x5E, "0223 0230 4026 0230 022E 0230 002E"},
    {0x5F, "022D 0238 0025 0238 0238 0238 0287"}, {0x60, "0035 022E 4024 022E 022E 002F 022F"},
    {0x61, "0004 0004 0014 0004 0004 0004 0004"}, {0x6D, "0010 0010 0033 0010 0010 0010 0010"},
    {0x71, "0014 0014 0004 0014 0014 0014 0014"}, {0x77, "001A 001A 001D 001A 001A 001A 001A"},
    {0x7A, "001D 001D 001A 001D 001D 001D 001D"}, {0x7B, "022F 4024 4021 4024 4024 4034 0230"},
    {0x7C, "0231 4064 4023 4064 0235 401E 0289"}, {0x7D, "0230 4027 402E 4027 4027 4031 0231"},
    {0x7E, "0235 4030 401F 4030 4030 4030 022E"},
};

const uint8_t *Entry(int table, int ch) {
    return kLanguageTables[table] + 2 * (ch - 0x20);
}

} // namespace

TEST(LanguageTables, Names) {
    const char *names[] = {"USA", "Finland", "FRENCH", "GERMAN", "ITALIAN", "SPANISH", "JAPANESE"};
    for (int t = 0; t < kLanguageCount; ++t)
        EXPECT_STREQ(kLanguageNames[t], names[t]);
}

TEST(LanguageTables, UsaLettersDigitsAndSpace) {
    for (int i = 0; i < 26; ++i) {
        const uint8_t usage = static_cast<uint8_t>(0x04 + i);
        EXPECT_EQ(Entry(0, 'A' + i)[0], 0x00);
        EXPECT_EQ(Entry(0, 'A' + i)[1], usage);
        EXPECT_EQ(Entry(0, 'a' + i)[0], 0x00);
        EXPECT_EQ(Entry(0, 'a' + i)[1], usage);
    }
    for (int d = 1; d <= 9; ++d)
        EXPECT_EQ(Entry(0, '0' + d)[1], 0x1D + d);
    EXPECT_EQ(Entry(0, '0')[1], 0x27);
    EXPECT_EQ(Entry(0, ' ')[0], 0x00);
    EXPECT_EQ(Entry(0, ' ')[1], 0x2C);
}

TEST(LanguageTables, EveryTableIsUsaExceptTheListedRows) {
    for (int ch = 0x20; ch <= 0x7F; ++ch) {
        std::vector<uint8_t> listed;
        for (const Row &r : kDifferingRows)
            if (r.code == ch) listed = HexTextToBytes(r.entries);
        for (int t = 0; t < kLanguageCount; ++t) {
            const uint8_t *expected = listed.empty() ? Entry(0, ch) : listed.data() + 2 * t;
            EXPECT_EQ(Entry(t, ch)[0], expected[0]) << "table " << t << " char " << ch;
            EXPECT_EQ(Entry(t, ch)[1], expected[1]) << "table " << t << " char " << ch;
        }
    }
    for (int t = 0; t < kLanguageCount; ++t) {
        EXPECT_EQ(Entry(t, 0x7F)[0], 0x00);
        EXPECT_EQ(Entry(t, 0x7F)[1], 0x00);
    }
}

TEST(LanguageTables, SpotChecks) {
    EXPECT_EQ(Entry(3, 'Y')[1], 0x1D); // GERMAN swaps only the upper-case Y and Z
    EXPECT_EQ(Entry(3, 'y')[1], 0x1C);
    EXPECT_EQ(Entry(3, 'Z')[1], 0x1C);
    EXPECT_EQ(Entry(2, '1')[0], 0x02); // FRENCH digits need Shift
    EXPECT_EQ(Entry(2, '1')[1], 0x1E);
    EXPECT_EQ(Entry(6, '\\')[1], 0x89); // JAPANESE International3
    EXPECT_EQ(Entry(6, '_')[1], 0x87);
}
