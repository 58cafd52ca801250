// The copies between the configuration window's control values and the record.
#include "config/mapping.h"
#include "config/record_rules.h"
#include "keycodes/languages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

std::unique_ptr<TMsrSettings> Record() {
    auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0, sizeof *s);
    return s;
}

void SetOrder(TMsrSettings &s, const char *order) {
    for (int i = 0; i < 3; ++i)
        s.TrackOrder(i) = static_cast<uint8_t>(order[i]);
}

std::string Order(const TMsrSettings &s) {
    return {char(s.TrackOrder(0)), char(s.TrackOrder(1)), char(s.TrackOrder(2))};
}

TEST(RecordToControls, TrackOrderSetsTrackAndEnterBoxes) {
    auto s = Record();
    SetOrder(*s, "063");
    TMsrControls c = InitialControls();
    RecordToControls(*s, c);
    // Track 1 off: sentinels and Enter disabled, Enter unchecked.
    EXPECT_FALSE(c.Check[1]);
    EXPECT_FALSE(c.EditEnabled[1]);
    EXPECT_FALSE(c.EditEnabled[2]);
    EXPECT_FALSE(c.Check[4]);
    EXPECT_FALSE(c.CheckEnabled[4]);
    // Track 2 on with Enter, track 3 on without.
    EXPECT_TRUE(c.Check[2] && c.Check[5] && c.CheckEnabled[5]);
    EXPECT_TRUE(c.Check[3] && c.EditEnabled[5] && c.EditEnabled[6]);
    EXPECT_FALSE(c.Check[6]);
    EXPECT_TRUE(c.CheckEnabled[6]);
}

TEST(RecordToControls, NothingLoadedShowsAllTracksEnabled) {
    auto s = Record();
    TMsrControls c = InitialControls();
    c.Check[1] = c.Check[2] = c.Check[3] = false;
    c.EditEnabled[1] = false;
    RecordToControls(*s, c);
    for (int t = 1; t <= 3; ++t) {
        EXPECT_TRUE(c.Check[t]) << t;
        EXPECT_FALSE(c.Check[t + 3]) << t;
    }
    EXPECT_TRUE(c.EditEnabled[1]);
    // Zero sentinels show as empty edits.
    for (int e : {1, 2, 3, 4, 5, 6, 8, 9, 10, 11})
        EXPECT_EQ(c.Edit[e], "") << e;
}

TEST(ControlsToRecord, OrderComesFromReadingSequenceNotFromLoadedCharacters) {
    auto s = Record();
    SetOrder(*s, "063");
    TMsrControls c = InitialControls();
    RecordToControls(*s, c);
    ControlsToRecord(c, *s);
    EXPECT_EQ(Order(*s), "063");
    c.ReadingSequence = 2; // "2-1-3"
    ControlsToRecord(c, *s);
    EXPECT_EQ(Order(*s), "603");
    EXPECT_EQ(s->ReadingSequence, 2);
    EXPECT_EQ(s->LayerStore[kReadingSequenceLayer][0], 2);
}

TEST(ControlsToRecord, DisabledTrackNeverCarriesEnter) {
    auto s = Record();
    TMsrControls c = InitialControls();
    for (int t = 1; t <= 3; ++t) {
        c.Check[t] = false;
        c.Check[t + 3] = true;
    }
    ControlsToRecord(c, *s);
    EXPECT_EQ(Order(*s), "000");
}

TEST(ControlsToRecord, EmptySentinels) {
    auto s = Record();
    TMsrControls c = InitialControls();
    for (int e : {1, 2, 3, 4, 5, 6, 8, 9, 10, 11})
        c.Edit[e].clear();
    ControlsToRecord(c, *s);
    EXPECT_EQ(s->Track1Start(), 0x01);
    EXPECT_EQ(s->Track3End(), 0x01);
    EXPECT_EQ(s->IButtonStart(), 0x00);
    EXPECT_EQ(s->IButtonEnd(), 0x00);
    EXPECT_EQ(s->Jis2Start(), 0x00);
    EXPECT_EQ(s->Jis2End(), 0x00);
}

TEST(ControlsToRecord, PortBitsAlwaysSetOtherFlagBitsKept) {
    auto s = Record();
    s->OptionFlags() = 0xC2; // bits without a control
    TMsrControls c = InitialControls();
    c.CardPort = c.IButtonPort = 1; // "COM" in the hidden boxes
    c.Check[7] = false;
    c.Check[8] = true;
    c.Check[9] = true;
    ControlsToRecord(c, *s);
    EXPECT_EQ(s->OptionFlags(), 0xC2 | 0x04 | 0x30);
    c.Check[9] = false;
    c.Check[7] = true;
    ControlsToRecord(c, *s);
    EXPECT_EQ(s->OptionFlags(), 0xC2 | 0x01 | 0x04 | 0x08 | 0x30);
}

TEST(RecordToControls, OptionFlagsAndPorts) {
    auto s = Record();
    s->OptionFlags() = 0x01 | 0x08 | 0x20; // beep, any-track off, card port COM
    TMsrControls c = InitialControls();
    RecordToControls(*s, c);
    EXPECT_TRUE(c.Check[7]);
    EXPECT_FALSE(c.Check[8]);
    EXPECT_FALSE(c.Check[9]);
    EXPECT_EQ(c.CardPort, 1);
    EXPECT_EQ(c.Label13, "COM");
    EXPECT_EQ(c.IButtonPort, 0);
    EXPECT_EQ(c.Label27, "USB");
}

TEST(RecordToControls, OtherOrderShowsTheRecordsRange) {
    auto s = Record();
    s->AttachSelect() = 0x42;
    s->AttachLength() = 0x15; // length 6, beep
    TMsrControls c = InitialControls();
    RecordToControls(*s, c);
    EXPECT_EQ(c.AttachOrder, 4);
    EXPECT_EQ(c.Edit[12], "3");
    EXPECT_EQ(c.Edit[13], "6");
    EXPECT_TRUE(c.Check[10]);
    EXPECT_TRUE(c.EditEnabled[12] && c.EditEnabled[13]);
    EXPECT_TRUE(c.UpDownEnabled[1] && c.UpDownEnabled[2]);
    ControlsToRecord(c, *s);
    EXPECT_EQ(s->AttachSelect(), 0x42);
    EXPECT_EQ(s->AttachLength(), 0x15);
}

TEST(RecordToControls, FixedOrderShowsItsProposal) {
    auto s = Record();
    s->RemoveSelect() = 0x12;
    s->RemoveLength() = 0x03;
    TMsrControls c = InitialControls();
    RecordToControls(*s, c);
    EXPECT_EQ(c.RemoveOrder, 1);
    EXPECT_EQ(c.Edit[14], "1");
    EXPECT_EQ(c.Edit[15], "14");
    EXPECT_FALSE(c.EditEnabled[14] || c.EditEnabled[15]);
    EXPECT_FALSE(c.UpDownEnabled[3] || c.UpDownEnabled[4]);
    ControlsToRecord(c, *s);
    EXPECT_EQ(s->RemoveSelect(), 0x10);
    EXPECT_EQ(s->RemoveLength(), 0x0D);
}

TEST(OrderChangeRule, ProposalsAndEditability) {
    const int from[] = {1, 1, 3, 3, 1, 1, 1}, length[] = {16, 14, 14, 12, 16, 16, 16};
    for (int i = 0; i < 7; ++i) {
        TMsrControls c = InitialControls();
        c.AttachOrder = i;
        OrderChangeRule(c, false);
        EXPECT_EQ(c.Edit[12], std::to_string(from[i])) << i;
        EXPECT_EQ(c.Edit[13], std::to_string(length[i])) << i;
        EXPECT_EQ(c.EditEnabled[12], i == 4) << i;
        EXPECT_EQ(c.UpDownEnabled[2], i == 4) << i;
    }
    // No item: only disabled, values kept.
    TMsrControls c = InitialControls();
    c.Edit[14] = "7";
    c.EditEnabled[14] = c.UpDownEnabled[3] = true;
    c.RemoveOrder = -1;
    OrderChangeRule(c, true);
    EXPECT_EQ(c.Edit[14], "7");
    EXPECT_FALSE(c.EditEnabled[14] || c.UpDownEnabled[3]);
}

TEST(RecordToControls, UnlistedValuesAreKeptBySave) {
    // An order and a reading sequence the lists lack show no item and go back unchanged.
    auto s = Record();
    s->AttachSelect() = 0x93;
    s->LayerStore[kReadingSequenceLayer][0] = 9;
    TMsrControls c = InitialControls();
    RecordToControls(*s, c);
    EXPECT_EQ(c.AttachOrder, -1);
    EXPECT_EQ(c.ReadingSequence, -1);
    ControlsToRecord(c, *s);
    EXPECT_EQ(s->AttachSelect(), 0x93);
    EXPECT_EQ(s->LayerStore[kReadingSequenceLayer][0], 9);
    EXPECT_EQ(Order(*s), "123");
}

TEST(RecordToControls, LanguageListedOrUnknown) {
    auto s = Record();
    s->LayerStore[kLanguageLayer][0] = 3;
    s->LayerModes[kLanguageLayer] = kModeCode;
    s->CustomLanguage[0] = 0x55;
    TMsrControls c = InitialControls();
    RecordToControls(*s, c);
    EXPECT_EQ(c.Language, 3);
    EXPECT_EQ(s->CustomLanguage[0], 0x55); // untouched for a listed language
    EXPECT_EQ(s->LayerStore[kLanguageLayer][0], 0);
    EXPECT_EQ(s->LayerModes[kLanguageLayer], kModeEmpty);

    // Index 7 and a table, one byte per entry, as the decoder leaves them.
    s->LayerModes[kLanguageLayer] = kModeCode;
    s->LayerStore[kLanguageLayer][0] = 7;
    for (int k = 1; k <= 190; ++k)
        s->LayerStore[kLanguageLayer][4 * k] = static_cast<uint8_t>(k);
    RecordToControls(*s, c);
    EXPECT_EQ(c.Language, kLanguageUnknown);
    EXPECT_EQ(s->CustomLanguage[0], 7);
    EXPECT_EQ(s->CustomLanguage[1], 1);
    EXPECT_EQ(s->CustomLanguage[190], 190);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(s->LayerStore[kLanguageLayer][i], 0) << i;
    EXPECT_EQ(s->LayerModes[kLanguageLayer], kModeEmpty);
}

TEST(RecordToControls, RadioPairsShowOnlyAsciiOrCode) {
    auto s = Record();
    s->LayerModes[3] = kModeCode;
    s->LayerModes[4] = kModeAscii;
    s->LayerModes[5] = kModeLayerMarker;
    s->LayerModes[11] = kModeAscii;
    s->LayerModes[6] = 0x1234;
    TMsrControls c = InitialControls();
    for (TPairState &p : c.Pair)
        p = TPairState::Code;
    RecordToControls(*s, c);
    EXPECT_EQ(c.Pair[0], TPairState::Code);
    EXPECT_EQ(c.Pair[1], TPairState::Ascii);
    EXPECT_EQ(c.Pair[2], TPairState::None);
    EXPECT_EQ(c.Pair[3], TPairState::None);
    EXPECT_EQ(c.Pair[8], TPairState::Ascii); // JIS2 suffix, layer 11
}

TEST(Pickers, ButtonsCodesAndLayers) {
    ASSERT_NE(PickerOfButton(1), nullptr);
    EXPECT_EQ(PickerOfButton(2)->EditedSequence, 100);
    EXPECT_EQ(PickerOfButton(10)->EditedSequence, 108);
    EXPECT_EQ(PickerOfButton(10)->Layer, 11);
    EXPECT_EQ(PickerOfButton(11)->EditedSequence, 103);
    EXPECT_EQ(PickerOfButton(18)->Layer, 9);
    EXPECT_EQ(PickerOfButton(19), nullptr);
    EXPECT_EQ(PickerOfButton(0), nullptr);
    for (const TPicker &p : kPickers)
        EXPECT_EQ(LayerOfEditedSequence(p.EditedSequence), p.Layer);
}

TEST(UpDown, WrapsWithinOneToSixteen) {
    EXPECT_EQ(UpDownStep(16, true), 1);
    EXPECT_EQ(UpDownStep(1, false), 16);
    EXPECT_EQ(UpDownStep(5, true), 6);
    EXPECT_EQ(UpDownStep(5, false), 4);
}

TEST(Defaults, SetDefaultControlsGiveTheDefaultRecord) {
    auto s = Record();
    s->OptionFlags() = 0xFF;
    TMsrControls c = InitialControls();
    c.Check[2] = false;
    TrackClickRule(c, 2);
    c.Pair[0] = TPairState::Ascii;
    c.AttachOrder = 4;
    ClearLayers(*s);
    DefaultControls(c);
    EXPECT_TRUE(c.EditEnabled[3] && c.CheckEnabled[5]);
    EXPECT_FALSE(c.EditEnabled[12] || c.UpDownEnabled[1]);
    EXPECT_EQ(c.Pair[0], TPairState::None);
    ControlsToRecord(c, *s);
    for (int k = 0; k < layer1::kOptionCount; ++k)
        EXPECT_EQ(s->Layer1(layer1::kOptionOffsets[k]), kDefaultOptionBytes[k]) << k;
}

TEST(Defaults, InitialControlsDifferFromSetDefault) {
    const TMsrControls c = InitialControls();
    EXPECT_EQ(c.Edit[1], "%");
    EXPECT_EQ(c.Edit[6], "?");
    EXPECT_EQ(c.Edit[8], "*");
    EXPECT_EQ(c.Edit[10], "!");
    EXPECT_FALSE(c.Check[4] || c.Check[5] || c.Check[6]);
    EXPECT_FALSE(c.Check[10] || c.Check[11]);
    EXPECT_TRUE(c.Check[7]);
    EXPECT_EQ(c.Edit[12], "1");
    EXPECT_EQ(c.Edit[13], "16");
    EXPECT_FALSE(c.EditEnabled[12] || c.UpDownEnabled[2]);
}

TEST(RoundTrip, LayerOneSurvivesControls) {
    auto s = Record();
    const uint8_t options[layer1::kOptionCount] = {'A',  'B',  'C', 'D', 'E',  'F',
                                                   0x3D, '7',  '1', '0', 0x4F, 0x1A,
                                                   0x32, 0x0B, 'x', 'y', 'j',  'k'};
    for (int k = 0; k < layer1::kOptionCount; ++k)
        s->Layer1(layer1::kOptionOffsets[k]) = options[k];
    s->LayerStore[kReadingSequenceLayer][0] = 4; // "3-1-2"
    TMsrControls c = InitialControls();
    RecordToControls(*s, c);
    auto t = Record();
    ControlsToRecord(c, *t);
    for (int k = 0; k < layer1::kOptionCount; ++k)
        EXPECT_EQ(t->Layer1(layer1::kOptionOffsets[k]), options[k]) << k;
    EXPECT_EQ(t->LayerStore[kReadingSequenceLayer][0], 4);
}

} // namespace
