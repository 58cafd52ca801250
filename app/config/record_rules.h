// Rules of the configuration record that do not depend on any window: the reading sequences
// and the TrackOrder characters they give, the iButton output orders, sentinel and
// packing rules, and the record that Set Default makes Save send.
#pragma once

#include <cstdint>

#include "config/msr_settings.h"

// Reading sequence (ComboBox1 items; index = ReadingSequence = layer 14 byte 0).
constexpr int kReadingSequenceCount = 6;
extern const char *const kReadingSequenceItems[kReadingSequenceCount];

// The three TrackOrder digits ('1'..'3') of a reading sequence; any index outside 0..5
// gives '1' '2' '3'.
void ReadingSequenceOrder(int readingSequence, uint8_t (&order)[3]);

// TrackOrder as the window makes it: the order of the reading sequence, a disabled track's
// digit becomes '0', an enabled track with Enter becomes digit + 4 ('5'..'7').
// enabled[t] and enter[t] are for track t + 1.
void MakeTrackOrder(int readingSequence, const bool (&enabled)[3], const bool (&enter)[3],
                    uint8_t (&order)[3]);

// The inverse as the window shows it: '1'/'5' enable track 1 (Enter when '5'), likewise for
// tracks 2 and 3; a TrackOrder starting with 0x00 (nothing loaded) then enables all three
// tracks, keeping the Enter boxes the other characters set.
void ReadTrackOrder(const uint8_t (&order)[3], bool (&enabled)[3], bool (&enter)[3]);

// iButton output order (ComboBox4 attach, ComboBox5 removal; index in the high nibble).
struct TIButtonOrder {
    const char *Item;
    int ExtractFrom; // proposed, 1..16
    int Length;      // proposed, 1..16
    bool Editable;   // whether Extract From and Length may be changed
};
constexpr int kIButtonOrderCount = 7;
constexpr int kIButtonOrderOther = 4; // "4-Other", the only editable one
extern const TIButtonOrder kIButtonOrders[kIButtonOrderCount];

// Extract From and Length are 1..16; the up-down buttons wrap within that range.
constexpr int kExtractMin = 1, kExtractMax = 16;
int WrapExtractValue(int value);

// AttachSelect / RemoveSelect: low nibble = Extract From - 1, high nibble = output order.
uint8_t PackIButtonSelect(int extractFrom, int orderIndex);
int SelectExtractFrom(uint8_t select); // 1..16
int SelectOrder(uint8_t select);       // 0..15
// AttachLength / RemoveLength: low nibble = Length - 1, bit 4 = beep.
uint8_t PackIButtonLength(int length, bool beep);
int LengthValue(uint8_t length); // 1..16
bool LengthBeep(uint8_t length);

// A sentinel edit left empty is stored as these bytes.
constexpr uint8_t kEmptyTrackSentinel = 0x01; // tracks 1..3
constexpr uint8_t kEmptyOtherSentinel = 0x00; // iButton and JIS2

// The record Save sends after Set Default: sentinels '%' '?' ';' '?' ';' '?', OptionFlags
// 0x39, TrackOrder '5' '6' '7', attach and removal 0x00 / 0x1F, iButton '!' '?', JIS2 '*' '?'.
// Option bytes in the order of the options record.
extern const uint8_t kDefaultOptionBytes[layer1::kOptionCount];
constexpr int kDefaultLanguage = 0;        // "USA"
constexpr int kDefaultReadingSequence = 0; // "1-2-3"

// Puts the record into the Set Default state: layers, names and modes cleared, layer 1 set
// to the default options, ReadingSequence 0. The language to send is kDefaultLanguage.
void FillDefaultRecord(TMsrSettings &s);
