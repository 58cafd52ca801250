#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "config/msr_settings.h"
#include "config/record_rules.h"

namespace {

std::string Order(int sequence, bool e1, bool e2, bool e3, bool n1, bool n2, bool n3) {
    const bool enabled[3] = {e1, e2, e3}, enter[3] = {n1, n2, n3};
    uint8_t order[3];
    MakeTrackOrder(sequence, enabled, enter, order);
    return std::string(order, order + 3);
}

} // namespace

TEST(RecordRules, TrackOrderFromWindow) {
    EXPECT_EQ(Order(0, true, true, true, true, true, true), "567");
    EXPECT_EQ(Order(0, false, false, false, true, true, true), "000"); // never '4'
    EXPECT_EQ(Order(0, false, true, true, false, true, false), "063");
    EXPECT_EQ(Order(2, false, true, true, false, true, false), "603");
    EXPECT_EQ(Order(5, true, true, true, false, false, false), "321");
    EXPECT_EQ(Order(4, true, false, true, true, false, false), "350");
    EXPECT_EQ(Order(6, true, true, true, false, false, false), "123");
    EXPECT_EQ(Order(-1, true, true, true, false, false, false), "123");
}

TEST(RecordRules, TrackOrderToWindow) {
    bool enabled[3], enter[3];
    const uint8_t loaded[3] = {'0', '6', '3'};
    ReadTrackOrder(loaded, enabled, enter);
    EXPECT_FALSE(enabled[0]);
    EXPECT_TRUE(enabled[1] && enter[1]);
    EXPECT_TRUE(enabled[2] && !enter[2]);
    EXPECT_FALSE(enter[0]);

    const uint8_t nothing[3] = {0, '2', 0}; // nothing loaded: all tracks on
    ReadTrackOrder(nothing, enabled, enter);
    EXPECT_TRUE(enabled[0] && enabled[1] && enabled[2]);
    EXPECT_FALSE(enter[0] || enter[1] || enter[2]);
    const uint8_t startsEmpty[3] = {0, '6', '7'}; // the later characters still set Enter
    ReadTrackOrder(startsEmpty, enabled, enter);
    EXPECT_TRUE(enabled[0] && enabled[1] && enabled[2]);
    EXPECT_TRUE(!enter[0] && enter[1] && enter[2]);

    const uint8_t odd[3] = {'4', '9', '7'}; // unknown digits enable nothing
    ReadTrackOrder(odd, enabled, enter);
    EXPECT_FALSE(enabled[0] || enabled[1]);
    EXPECT_TRUE(enabled[2] && enter[2]);
}

TEST(RecordRules, IButtonFields) {
    EXPECT_EQ(PackIButtonSelect(3, 4), 0x42);
    EXPECT_EQ(SelectOrder(0x42), 4);
    EXPECT_EQ(SelectExtractFrom(0x42), 3);
    EXPECT_EQ(PackIButtonSelect(16, 15), 0xFF);
    EXPECT_EQ(PackIButtonLength(16, true), 0x1F);
    EXPECT_EQ(PackIButtonLength(1, false), 0x00);
    EXPECT_EQ(LengthValue(0x1F), 16);
    EXPECT_TRUE(LengthBeep(0x1F));
    EXPECT_FALSE(LengthBeep(0x0F));
    EXPECT_EQ(WrapExtractValue(17), 1);
    EXPECT_EQ(WrapExtractValue(0), 16);
    EXPECT_EQ(WrapExtractValue(9), 9);

    const int proposed[7][2] = {{1, 16}, {1, 14}, {3, 14}, {3, 12}, {1, 16}, {1, 16}, {1, 16}};
    for (int i = 0; i < kIButtonOrderCount; ++i) {
        EXPECT_EQ(kIButtonOrders[i].ExtractFrom, proposed[i][0]) << i;
        EXPECT_EQ(kIButtonOrders[i].Length, proposed[i][1]) << i;
        EXPECT_EQ(kIButtonOrders[i].Editable, i == kIButtonOrderOther) << i;
    }
    EXPECT_STREQ(kIButtonOrders[6].Item, "6-Prefix&Suffix");
    EXPECT_STREQ(kReadingSequenceItems[3], "2-3-1");
}

TEST(RecordRules, EditedSequenceLayers) {
    EXPECT_EQ(LayerOfEditedSequence(100), 3);
    EXPECT_EQ(LayerOfEditedSequence(108), 11);
    EXPECT_EQ(LayerOfEditedSequence(99), -1);
    EXPECT_EQ(LayerOfEditedSequence(109), -1);
}

TEST(RecordRules, DefaultRecord) {
    auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0xA5, sizeof *s);
    FillDefaultRecord(*s);
    EXPECT_EQ(s->OptionFlags(), 0x39);
    EXPECT_EQ(s->TrackOrder(0), '5');
    EXPECT_EQ(s->TrackOrder(2), '7');
    EXPECT_EQ(s->Track1Start(), '%');
    EXPECT_EQ(s->Track3End(), '?');
    EXPECT_EQ(s->AttachLength(), 0x1F);
    EXPECT_EQ(s->RemoveSelect(), 0x00);
    EXPECT_EQ(s->IButtonStart(), '!');
    EXPECT_EQ(s->Jis2Start(), '*');
    EXPECT_EQ(s->ReadingSequence, 0);
    // Nothing but the 18 options is left in the layers, names and modes.
    int nonZero = 0;
    for (auto &layer : s->LayerStore)
        for (uint8_t b : layer)
            nonZero += b != 0;
    EXPECT_EQ(nonZero, 18 - 2); // AttachSelect and RemoveSelect are zero
    for (int32_t m : s->LayerModes)
        EXPECT_EQ(m, kModeEmpty);
    EXPECT_EQ(s->NameCache[15][255][19], 0);
    // Outside the layers, the record is left alone.
    EXPECT_EQ(s->CustomLanguage[0], 0xA5);
}
