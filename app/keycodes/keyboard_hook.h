// The key code editor takes keys from the real keyboard: each key event is numbered the way
// its key table numbers keys (the PC scan code, 0x100 added for extended keys) and turned
// into the row it inserts.
#pragma once

#include <cstdint>

struct TKeyRow;

// The key number of a Linux input (evdev) key code; 0 for codes that have none.
int KeyOfEvdev(int evdev);

// Key numbers from 1 to 0x1FF are keys of the keyboard; 0 is no key.
constexpr int kNoKey = 0;
constexpr int kFirstForeignKey = 0x200;
// A keyboard key without a number of its own: swallowed like the others, inserts nothing.
constexpr int kUnnumberedKey = 0x1FF;

// The key number of a key event's native scan code as the X11 and Wayland platforms report
// it (the evdev code + 8). 0 (events made by a program carry no scan code) stays kNoKey.
int KeyOfNativeScanCode(uint32_t nativeScanCode);

// What the editor does with one key event of key number `key`.
struct THookAction {
    bool Swallow = false;         // the event goes no further
    const TKeyRow *Add = nullptr; // the row to insert, if any
};
THookAction HookKey(int key, bool press, bool autoRepeat);
