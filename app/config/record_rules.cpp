#include "config/record_rules.h"

const char *const kReadingSequenceItems[kReadingSequenceCount] = {"1-2-3", "1-3-2", "2-1-3",
                                                                  "2-3-1", "3-1-2", "3-2-1"};

void ReadingSequenceOrder(int readingSequence, uint8_t (&order)[3]) {
    static const char kOrders[kReadingSequenceCount][4] = {"123", "132", "213",
                                                           "231", "312", "321"};
    const char *o = (readingSequence >= 0 && readingSequence < kReadingSequenceCount)
                        ? kOrders[readingSequence]
                        : kOrders[0];
    for (int i = 0; i < 3; ++i)
        order[i] = static_cast<uint8_t>(o[i]);
}

void MakeTrackOrder(int readingSequence, const bool (&enabled)[3], const bool (&enter)[3],
                    uint8_t (&order)[3]) {
    ReadingSequenceOrder(readingSequence, order);
    // Disabling comes first, so a disabled track never carries Enter.
    for (int track = 0; track < 3; ++track) {
        const uint8_t digit = static_cast<uint8_t>('1' + track);
        for (uint8_t &c : order) {
            if (c != digit) continue;
            if (!enabled[track])
                c = '0';
            else if (enter[track])
                c = static_cast<uint8_t>(digit + 4);
        }
    }
}

void ReadTrackOrder(const uint8_t (&order)[3], bool (&enabled)[3], bool (&enter)[3]) {
    for (int t = 0; t < 3; ++t)
        enabled[t] = enter[t] = false;
    for (uint8_t c : order) {
        int track = -1;
        bool withEnter = false;
        if (c >= '1' && c <= '3')
            track = c - '1';
        else if (c >= '5' && c <= '7')
            track = c - '5', withEnter = true;
        if (track < 0) continue;
        enabled[track] = true;
        enter[track] = withEnter;
    }
    // Nothing loaded: every track on, with whatever Enter the later characters gave.
    if (order[0] == 0)
        for (bool &e : enabled)
            e = true;
}

const TIButtonOrder kIButtonOrders[kIButtonOrderCount] = {
    {"0-All", 1, 16, false},           {"1-CRC,ID", 1, 14, false},
    {"2-ID,FC", 3, 14, false},         {"3-ID", 3, 12, false},
    {"4-Other", 1, 16, true},          {"5-Disabled", 1, 16, false},
    {"6-Prefix&Suffix", 1, 16, false},
};

int WrapExtractValue(int value) {
    const int span = kExtractMax - kExtractMin + 1;
    int v = (value - kExtractMin) % span;
    if (v < 0) v += span;
    return v + kExtractMin;
}

uint8_t PackIButtonSelect(int extractFrom, int orderIndex) {
    return static_cast<uint8_t>(((extractFrom - 1) + 16 * orderIndex) & 0xFF);
}

int SelectExtractFrom(uint8_t select) {
    return (select & 0x0F) + 1;
}
int SelectOrder(uint8_t select) {
    return select >> 4;
}

uint8_t PackIButtonLength(int length, bool beep) {
    return static_cast<uint8_t>(((length - 1) & 0x0F) | (beep ? 0x10 : 0x00));
}

int LengthValue(uint8_t length) {
    return (length & 0x0F) + 1;
}
bool LengthBeep(uint8_t length) {
    return (length & 0x10) != 0;
}

const uint8_t kDefaultOptionBytes[layer1::kOptionCount] = {
    '%',
    '?',
    ';',
    '?',
    ';',
    '?',                                                           // track sentinels
    kFlagBeep | kFlagAnyTrackOff | kFlagCardUsb | kFlagIButtonUsb, // 0x39
    '5',
    '6',
    '7', // tracks 1-2-3, each with Enter
    0x00,
    0x1F,
    0x00,
    0x1F, // "0-All", from 1, 16 long, beep
    '!',
    '?',
    '*',
    '?'}; // iButton, JIS2 sentinels

void FillDefaultRecord(TMsrSettings &s) {
    ClearLayers(s);
    for (int k = 0; k < layer1::kOptionCount; ++k)
        s.Layer1(layer1::kOptionOffsets[k]) = kDefaultOptionBytes[k];
    s.ReadingSequence = kDefaultReadingSequence;
}
