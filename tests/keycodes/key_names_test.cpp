#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/codec.h"
#include "config/msr_settings.h"
#include "keycodes/key_names.h"

namespace {

std::string NameOf(std::vector<uint8_t> code) {
    uint8_t entry[4] = {};
    std::memcpy(entry, code.data(), code.size());
    const char *name = KeyCodeName(entry);
    return name ? name : "<none>";
}

struct Record {
    std::unique_ptr<TMsrSettings> s = std::make_unique<TMsrSettings>();
    Record() { std::memset(s.get(), 0, sizeof *s); }
    void Build() { BuildKeyNames(s->LayerModes, s->LayerStore, s->NameCache); }
    std::string Name(int layer, int i) const {
        return std::string(s->NameCache[layer][i], strnlen(s->NameCache[layer][i], 20));
    }
};

} // namespace

TEST(KeyCodeName, Table) {
    EXPECT_EQ(NameOf({0xE0, 0xF0, 0x1F}), "LWIN Up");
    EXPECT_EQ(NameOf({0xE0, 0xF0, 0x12}), "<none>");
    EXPECT_EQ(NameOf({0xF0, 0x30}), "<none>");
    EXPECT_EQ(NameOf({0xF0, 0x59}), "Right Shift Up");
    EXPECT_EQ(NameOf({0xE1, 0x14}), "PAUSE");
    EXPECT_EQ(NameOf({0xE1, 0x00}), "PAUSE");
    EXPECT_EQ(NameOf({0xE0, 0x99}), "User Defiend");
    EXPECT_EQ(NameOf({0xE0, 0x7D}), "PgUp");
    EXPECT_EQ(NameOf({0xE0, 0x2B}), "Calcalutor");
    EXPECT_EQ(NameOf({0xE2}), "User Defiend");
    EXPECT_EQ(NameOf({0x02}), "Delay 0.5 sec");
    EXPECT_EQ(NameOf({0x83}), "F7");
    EXPECT_EQ(NameOf({0x0E}), "`");
    EXPECT_EQ(NameOf({0x52}), "\"");
    EXPECT_EQ(NameOf({0x5D}), "\\");
    EXPECT_EQ(NameOf({0x7E}), "ScrolClock");
    EXPECT_EQ(NameOf({0x00}), "<none>");
    EXPECT_EQ(NameOf({0x0F}), "<none>");
    EXPECT_EQ(NameOf({0x84}), "<none>");
}

TEST(BuildKeyNames, CodeLayers) {
    Record r;
    r.s->LayerModes[3] = kModeCode;
    std::memcpy(&r.s->LayerStore[3][0], "\xE0\xF0\x12", 3); // no name: slot stays empty
    r.s->LayerStore[3][4] = 0x1C;                           // a name after an unnamed entry
    r.s->LayerStore[3][4 * 5] = 0x59;                       // after empty entries too
    r.s->LayerStore[3][4 * 20] = 0x1C;                      // beyond the sequence: no name
    r.s->LayerModes[15] = kModeCode;
    r.s->LayerStore[15][0] = 0x5A;
    r.s->LayerModes[2] = kModeCode; // layers 0..2 never get names
    r.s->LayerStore[2][0] = 0x1C;
    r.Build();
    EXPECT_EQ(r.Name(3, 0), "");
    EXPECT_EQ(r.Name(3, 1), "A");
    EXPECT_EQ(r.Name(3, 5), "Right Shift Down");
    EXPECT_EQ(r.Name(3, 20), "");
    EXPECT_EQ(r.Name(15, 0), "Enter");
    EXPECT_EQ(r.Name(2, 0), "");
}

TEST(BuildKeyNames, AsciiLayersShowTheirTextAsTyped) {
    Record r;
    r.s->LayerModes[4] = kModeAscii;
    // A typed "\\" and "\\n" are two characters each; control bytes held as they are (a
    // record of an earlier version) show as their escapes.
    const uint8_t text[] = {'a', 0x0D, 'b', 0x5C, 0x5C, 0x1B, 0x09, '\\', 'n', 0, 'z'};
    for (size_t i = 0; i < sizeof text; ++i)
        r.s->LayerStore[4][4 * i] = text[i];
    r.Build();
    const char *expected[] = {"a", "\\", "n", "b", "\\", "\\", "\\", "e", "\\", "t", "\\", "n", ""};
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(r.Name(4, i), expected[i]) << i;
    // The walk stops at the first empty entry: 'z' is not shown.
    EXPECT_EQ(r.Name(4, 13), "");
}

TEST(BuildKeyNames, AWholeLayerOfControlBytesFillsEveryNameSlot) {
    Record r;
    r.s->LayerModes[6] = kModeAscii;
    for (int i = 0; i < 21; ++i)
        r.s->LayerStore[6][4 * i] = 0x0D;
    r.s->LayerModes[7] = kModeAscii;
    for (int i = 0; i < 256; ++i)
        r.s->LayerStore[7][4 * i] = 0x09;
    r.Build();
    EXPECT_EQ(r.Name(6, 40), "\\");
    EXPECT_EQ(r.Name(6, 41), "n");
    EXPECT_EQ(r.Name(6, 42), "");
    EXPECT_EQ(r.Name(7, 254), "\\");
    EXPECT_EQ(r.Name(7, 255), "t");
}

TEST(BuildKeyNames, LayerMarkerReplySpellsTheLayer) {
    Record r;
    const uint8_t reply[] = {0x20, 0x00, 0x12};
    ASSERT_EQ(DecodeLoadReply(reply, 3, r.s->LayerStore, r.s->LayerModes), kDecodeOk);
    r.Build();
    const char *expected[] = {"L", "a", "y", "e", "r", "2", ""};
    for (int layer = 3; layer < 16; ++layer)
        for (int k = 0; k < 7; ++k)
            EXPECT_EQ(r.Name(layer, k), expected[k]) << layer << k;
    EXPECT_EQ(r.Name(1, 0), "");

    // Numbers below 16 and of three digits are cut to seven characters.
    Record low;
    const uint8_t lowReply[] = {0x20, 0x00, 0x00};
    ASSERT_EQ(DecodeLoadReply(lowReply, 3, low.s->LayerStore, low.s->LayerModes), kDecodeOk);
    low.Build();
    EXPECT_EQ(low.Name(3, 5), "-");
    EXPECT_EQ(low.Name(3, 6), "1");
    EXPECT_EQ(low.Name(3, 7), "");
}

TEST(BuildKeyNames, UnknownModeNamesNothing) {
    Record r;
    r.s->LayerModes[7] = kModeCode;
    r.s->LayerStore[7][0] = 0x59;
    r.s->LayerModes[8] = 0x1234; // an unknown mode: nothing
    r.s->LayerStore[8][0] = 0x59;
    r.Build();
    EXPECT_EQ(r.Name(7, 0), "Right Shift Down");
    EXPECT_EQ(r.Name(8, 0), "");
}
