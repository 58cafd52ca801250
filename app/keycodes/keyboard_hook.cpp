#include "keycodes/keyboard_hook.h"

#include "keycodes/key_table.h"

namespace {

// Evdev codes 1 ... 83 are the PC scan codes of the same keys, except Num Lock (below).
constexpr int kLastPlainEvdev = 83;

struct TEvdevKey {
    int Evdev, Key;
};

// The keys past the plain block, and the two whose numbers are not their scan codes: Num
// Lock counts as extended and Pause as the plain 0x45.
constexpr TEvdevKey kOtherKeys[] = {
    {69, 0x145},  // Num Lock
    {86, 0x056},  // the key beside the left Shift
    {87, 0x057},  // F11
    {88, 0x058},  // F12
    {96, 0x11c},  // keypad Enter
    {97, 0x11d},  // right Ctrl
    {98, 0x135},  // keypad /
    {99, 0x137},  // Print Screen
    {100, 0x138}, // right Alt
    {102, 0x147}, // Home
    {103, 0x148}, // Up
    {104, 0x149}, // Page Up
    {105, 0x14b}, // Left
    {106, 0x14d}, // Right
    {107, 0x14f}, // End
    {108, 0x150}, // Down
    {109, 0x151}, // Page Down
    {110, 0x152}, // Insert
    {111, 0x153}, // Delete
    {113, 0x120}, // Mute
    {114, 0x12e}, // Volume Down
    {115, 0x130}, // Volume Up
    {116, 0x15e}, // Power
    {117, 0x059}, // keypad =
    {119, 0x045}, // Pause
    {125, 0x15b}, // left Windows key
    {126, 0x15c}, // right Windows key
    {127, 0x15d}, // menu (APP)
    {142, 0x15f}, // Sleep
    {143, 0x163}, // Wake Up
    {183, 0x064}, // F13
    {184, 0x065}, // F14
    {185, 0x066}, // F15
};

// X11 key codes start at 8.
constexpr uint32_t kNativeOffset = 8;
constexpr uint32_t kLastNative = 255 + kNativeOffset;

} // namespace

int KeyOfEvdev(int evdev) {
    for (const TEvdevKey &k : kOtherKeys)
        if (k.Evdev == evdev) return k.Key;
    if (evdev >= 1 && evdev <= kLastPlainEvdev) return evdev;
    return kNoKey;
}

int KeyOfNativeScanCode(uint32_t nativeScanCode) {
    if (nativeScanCode < kNativeOffset) return kNoKey;
    if (nativeScanCode > kLastNative) return kFirstForeignKey;
    const int key = KeyOfEvdev(static_cast<int>(nativeScanCode - kNativeOffset));
    return key != kNoKey ? key : kUnnumberedKey;
}

THookAction HookKey(int key, bool press, bool autoRepeat) {
    THookAction a;
    if (key <= kNoKey || key >= kFirstForeignKey) return a;
    a.Swallow = true;
    if (press)
        a.Add = KeyByScanCode(key); // a held key repeats
    else if (!autoRepeat)
        a.Add = UpRowOfScanCode(key);
    return a;
}
