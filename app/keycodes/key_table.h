// The keys the key code editor can insert: what each writes into the sequence, where its
// click area lies on the keyboard picture and which keyboard key inserts it. Constant data.
#pragma once

#include <cstdint>
#include <string_view>

struct TKeyRow {
    const char *Name; // written into the grid as it is
    const char *Code; // hex text of the key code; "" for the keys that insert no code
    int Label;        // number of the click area (Label2 ... Label118); 0 for none
    int Left, Top;    // the click area within the picture's group box
    int Width, Height;
    int ScanCode;        // keyboard key (0x100 added for extended keys); 0 for none
    const char *Caption; // what the picture shows on the key
};

constexpr int kKeyRowCount = 116;
extern const TKeyRow kKeyTable[kKeyRowCount];

// The picture itself, within its group box.
constexpr int kPictureLeft = 21, kPictureTop = 19, kPictureWidth = 665, kPictureHeight = 134;

// The row of a click area, of a keyboard key or of a name; nullptr when there is none.
const TKeyRow *KeyByLabel(int label);
const TKeyRow *KeyByScanCode(int scanCode);
const TKeyRow *KeyByName(std::string_view name);

// A modifier key: its click area, the grey overlay that shows it held down, and its key.
struct TModifierKey {
    int DownLabel, UpLabel, ScanCode;
};
constexpr int kModifierCount = 8;
extern const TModifierKey kModifierKeys[kModifierCount];

// The modifier whose key or overlay this click area is; nullptr for other areas.
const TModifierKey *ModifierOfLabel(int label);
// The "... Up" row a released key adds; nullptr for keys other than the eight modifiers.
const TKeyRow *UpRowOfScanCode(int scanCode);

// The special codes offered beside the sequence (rows 1 ... 12 of their grid).
struct TSpecialCode {
    const char *Name;
    const char *Code;
};
constexpr int kSpecialCodeCount = 12;
extern const TSpecialCode kSpecialCodes[kSpecialCodeCount];
