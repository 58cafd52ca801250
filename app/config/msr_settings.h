// The reader configuration record. Its member layout is the settings file's layout, so it is
// pinned byte for byte below; change nothing here without changing the file format.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kModeEmpty = 0, kModeCode = 0x000000FF, kModeAscii = 0x00FF0000,
                  kModeLayerMarker = 0x00008000;

constexpr int kLayerCount = 16;
constexpr int kLayerBytes = 1024;
constexpr int kEntryBytes = 4;
constexpr int kEntriesPerLayer = kLayerBytes / kEntryBytes; // 256
constexpr int kNameBytes = 20;

// Layers with a fixed meaning.
constexpr int kOptionsLayer = 1;
constexpr int kLanguageLayer = 2;
constexpr int kFirstSequenceLayer = 3; // header
constexpr int kLastSequenceLayer = 11; // JIS2 suffix
constexpr int kReadingSequenceLayer = 14;

// A user sequence is at most 20 entries and at most 20 bytes once encoded.
constexpr int kSequenceEntries = 20;
constexpr int kSequenceMaxBytes = 20;

// EditedSequence codes: 100 header ... 108 JIS2 suffix; code c edits layer c - 97.
constexpr int kFirstEditedSequence = 100;
constexpr int kLastEditedSequence = 108;

// Layer-1 offsets of the packed option bytes.
namespace layer1 {
constexpr int kTrack1Start = 0, kTrack1End = 1, kTrack2Start = 4, kTrack2End = 5, kTrack3Start = 8,
              kTrack3End = 9, kOptionFlags = 12, kTrackOrder = 16, kAttachSelect = 20,
              kAttachLength = 24, kRemoveSelect = 28, kRemoveLength = 32, kIButtonStart = 36,
              kIButtonEnd = 37, kJis2Start = 40, kJis2End = 41;
// The 18 option bytes in the order the reader's options record carries them.
constexpr int kOptionCount = 18;
constexpr int kOptionOffsets[kOptionCount] = {
    kTrack1Start,  kTrack1End,    kTrack2Start,    kTrack2End,      kTrack3Start,  kTrack3End,
    kOptionFlags,  kTrackOrder,   kTrackOrder + 1, kTrackOrder + 2, kAttachSelect, kAttachLength,
    kRemoveSelect, kRemoveLength, kIButtonStart,   kIButtonEnd,     kJis2Start,    kJis2End};
} // namespace layer1

// OptionFlags bits.
constexpr uint8_t kFlagBeep = 0x01;
constexpr uint8_t kFlagIbmCard = 0x04;
constexpr uint8_t kFlagAnyTrackOff = 0x08; // set when "output for any valid track" is off
constexpr uint8_t kFlagCardUsb = 0x10;
constexpr uint8_t kFlagIButtonUsb = 0x20;

struct TMsrSettings {
    uint8_t LayerStore[kLayerCount][kLayerBytes];
    int32_t LayerModes[kLayerCount];
    char NameCache[kLayerCount][kEntriesPerLayer][kNameBytes];
    int32_t ReadingSequence;
    int32_t EditedSequence;
    uint8_t CustomLanguage[256];

    uint8_t &Layer1(int offset) { return LayerStore[kOptionsLayer][offset]; }
    const uint8_t &Layer1(int offset) const { return LayerStore[kOptionsLayer][offset]; }

    uint8_t &Track1Start() { return Layer1(layer1::kTrack1Start); }
    uint8_t &Track1End() { return Layer1(layer1::kTrack1End); }
    uint8_t &Track2Start() { return Layer1(layer1::kTrack2Start); }
    uint8_t &Track2End() { return Layer1(layer1::kTrack2End); }
    uint8_t &Track3Start() { return Layer1(layer1::kTrack3Start); }
    uint8_t &Track3End() { return Layer1(layer1::kTrack3End); }
    uint8_t &OptionFlags() { return Layer1(layer1::kOptionFlags); }
    uint8_t &TrackOrder(int pos) { return Layer1(layer1::kTrackOrder + pos); } // pos 0..2
    uint8_t &AttachSelect() { return Layer1(layer1::kAttachSelect); }
    uint8_t &AttachLength() { return Layer1(layer1::kAttachLength); }
    uint8_t &RemoveSelect() { return Layer1(layer1::kRemoveSelect); }
    uint8_t &RemoveLength() { return Layer1(layer1::kRemoveLength); }
    uint8_t &IButtonStart() { return Layer1(layer1::kIButtonStart); }
    uint8_t &IButtonEnd() { return Layer1(layer1::kIButtonEnd); }
    uint8_t &Jis2Start() { return Layer1(layer1::kJis2Start); }
    uint8_t &Jis2End() { return Layer1(layer1::kJis2End); }

    const uint8_t &Track1Start() const { return Layer1(layer1::kTrack1Start); }
    const uint8_t &Track1End() const { return Layer1(layer1::kTrack1End); }
    const uint8_t &Track2Start() const { return Layer1(layer1::kTrack2Start); }
    const uint8_t &Track2End() const { return Layer1(layer1::kTrack2End); }
    const uint8_t &Track3Start() const { return Layer1(layer1::kTrack3Start); }
    const uint8_t &Track3End() const { return Layer1(layer1::kTrack3End); }
    const uint8_t &OptionFlags() const { return Layer1(layer1::kOptionFlags); }
    const uint8_t &TrackOrder(int pos) const { return Layer1(layer1::kTrackOrder + pos); }
    const uint8_t &AttachSelect() const { return Layer1(layer1::kAttachSelect); }
    const uint8_t &AttachLength() const { return Layer1(layer1::kAttachLength); }
    const uint8_t &RemoveSelect() const { return Layer1(layer1::kRemoveSelect); }
    const uint8_t &RemoveLength() const { return Layer1(layer1::kRemoveLength); }
    const uint8_t &IButtonStart() const { return Layer1(layer1::kIButtonStart); }
    const uint8_t &IButtonEnd() const { return Layer1(layer1::kIButtonEnd); }
    const uint8_t &Jis2Start() const { return Layer1(layer1::kJis2Start); }
    const uint8_t &Jis2End() const { return Layer1(layer1::kJis2End); }
};

// Settings-file layout: modes then store are written as one raw image, so neither may move.
static_assert(sizeof(int32_t) == 4);
static_assert(offsetof(TMsrSettings, LayerStore) == 0);
static_assert(sizeof(TMsrSettings::LayerStore) == 16384);
static_assert(offsetof(TMsrSettings, LayerModes) == 16384);
static_assert(sizeof(TMsrSettings::LayerModes) == 64);
static_assert(offsetof(TMsrSettings, NameCache) == 16448);
static_assert(sizeof(TMsrSettings::NameCache) == 81920);
static_assert(offsetof(TMsrSettings, ReadingSequence) == 98368);
static_assert(offsetof(TMsrSettings, EditedSequence) == 98372);
static_assert(offsetof(TMsrSettings, CustomLanguage) == 98376);
static_assert(sizeof(TMsrSettings::CustomLanguage) == 256);
static_assert(sizeof(TMsrSettings) == 98632);

// Layer-1 offsets the reader and stored files rely on.
static_assert(layer1::kTrack1Start == 0 && layer1::kTrack1End == 1);
static_assert(layer1::kTrack2Start == 4 && layer1::kTrack2End == 5);
static_assert(layer1::kTrack3Start == 8 && layer1::kTrack3End == 9);
static_assert(layer1::kOptionFlags == 12 && layer1::kTrackOrder == 16);
static_assert(layer1::kAttachSelect == 20 && layer1::kAttachLength == 24);
static_assert(layer1::kRemoveSelect == 28 && layer1::kRemoveLength == 32);
static_assert(layer1::kIButtonStart == 36 && layer1::kIButtonEnd == 37);
static_assert(layer1::kJis2Start == 40 && layer1::kJis2End == 41);

// Zeroes LayerStore, NameCache and LayerModes (what Load, Open File and Set Default clear).
void ClearLayers(TMsrSettings &s);

// Layer edited for an EditedSequence code: 100..108 -> 3..11; -1 for any other code.
int LayerOfEditedSequence(int code);
