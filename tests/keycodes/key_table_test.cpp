#include <gtest/gtest.h>

#include <set>
#include <string>

#include "keycodes/hex_text.h"
#include "keycodes/key_table.h"
#include "keycodes/keyboard_hook.h"

namespace {

std::string NameOfLabel(int label) {
    const TKeyRow *row = KeyByLabel(label);
    return row ? row->Name : "<none>";
}

std::string NameOfKey(int key) {
    const TKeyRow *row = KeyByScanCode(key);
    return row ? row->Name : "<none>";
}

// The row a key event of an evdev key inserts, as the platform reports it (evdev + 8).
std::string Pressed(int evdev) {
    const THookAction a = HookKey(KeyOfNativeScanCode(uint32_t(evdev + 8)), true, false);
    return a.Add ? a.Add->Name : "<none>";
}

bool Overlap(const TKeyRow &a, const TKeyRow &b) {
    return a.Left < b.Left + b.Width && b.Left < a.Left + a.Width && a.Top < b.Top + b.Height &&
           b.Top < a.Top + a.Height;
}

} // namespace

TEST(KeyTable, RowsAreasAndKeysAreCompleteAndDistinct) {
    std::set<int> labels, keys;
    std::set<std::string> names;
    int withCode = 0;
    for (const TKeyRow &row : kKeyTable) {
        names.insert(row.Name);
        if (row.Label) {
            EXPECT_TRUE(labels.insert(row.Label).second) << row.Name;
        }
        if (row.ScanCode) {
            EXPECT_TRUE(keys.insert(row.ScanCode).second) << row.Name;
        }
        if (*row.Code) {
            ++withCode;
            uint8_t entry[4];
            EXPECT_TRUE(HexToKeyCode(row.Code, entry)) << row.Name;
            EXPECT_EQ(KeyCodeToHex(entry), row.Code) << row.Name; // upper case, no blanks
        }
    }
    EXPECT_EQ(names.size(), 116u);
    EXPECT_EQ(withCode, 114); // "PAUSE" and "><" insert no code
    // Label2 ... Label104 and Label107 ... Label118; "><" has no area.
    EXPECT_EQ(labels.size(), 115u);
    EXPECT_EQ(*labels.begin(), 2);
    EXPECT_EQ(*labels.rbegin(), 118);
    EXPECT_EQ(labels.count(105) + labels.count(106), 0u);
    // Wake Up, Sleep, Power and the eight Up rows have no key.
    EXPECT_EQ(keys.size(), 105u);
}

TEST(KeyTable, LookupsByAreaKeyAndName) {
    const TKeyRow *backslash = KeyByLabel(57);
    ASSERT_NE(backslash, nullptr);
    EXPECT_STREQ(backslash->Name, "\\");
    EXPECT_STREQ(backslash->Code, "5D");
    EXPECT_EQ(backslash->Left, 412);
    EXPECT_EQ(backslash->Top, 66);
    EXPECT_EQ(backslash->ScanCode, 0x02b);
    EXPECT_EQ(NameOfLabel(17), "`");
    EXPECT_EQ(NameOfLabel(113), "LWIN Up");
    for (int none : {0, 1, 105, 106, 119, -3})
        EXPECT_EQ(NameOfLabel(none), "<none>") << none;

    EXPECT_EQ(NameOfKey(0x056), "><");
    for (int none : {0, 0x059, 0x101, 0x1FF, 0x200})
        EXPECT_EQ(NameOfKey(none), "<none>") << none;
    EXPECT_STREQ(KeyByName("PAUSE")->Code, "");
    EXPECT_EQ(KeyByName("Pause"), nullptr);
    EXPECT_STREQ(KeyByName("Right Alt Up")->Code, "E0F011");
}

TEST(KeyTable, ModifiersPairAnAreaWithItsOverlayAndKey) {
    const char *const up[][2] = {{"Left Shift Down", "Left Shift Up"},
                                 {"Right Shift Down", "Right Shift Up"},
                                 {"Left Ctrl Down", "Left Ctrl Up"},
                                 {"Right Ctrl Down", "Right Ctrl Up"},
                                 {"Left Alt Down", "Left Alt Up"},
                                 {"Right Alt Down", "Right Alt Up"},
                                 {"LWIN Down", "LWIN Up"},
                                 {"RWIN Down", "RWIN Up"}};
    for (const auto &pair : up) {
        const TKeyRow *down = KeyByName(pair[0]);
        ASSERT_NE(down, nullptr) << pair[0];
        const TModifierKey *m = ModifierOfLabel(down->Label);
        ASSERT_NE(m, nullptr) << pair[0];
        EXPECT_EQ(m, ModifierOfLabel(m->UpLabel));
        EXPECT_EQ(m->ScanCode, down->ScanCode);
        EXPECT_EQ(NameOfLabel(m->UpLabel), pair[1]);
        // The overlay covers its key.
        EXPECT_TRUE(Overlap(*down, *KeyByLabel(m->UpLabel))) << pair[0];
        ASSERT_NE(UpRowOfScanCode(down->ScanCode), nullptr);
        EXPECT_STREQ(UpRowOfScanCode(down->ScanCode)->Name, pair[1]);
    }
    EXPECT_EQ(UpRowOfScanCode(0x01e), nullptr); // "A"
    EXPECT_EQ(UpRowOfScanCode(0x03a), nullptr); // Caps Lock is no modifier here
    EXPECT_EQ(ModifierOfLabel(46), nullptr);
}

TEST(KeyTable, ClickAreasLieOnThePictureWithoutCoveringEachOther) {
    for (const TKeyRow &a : kKeyTable) {
        if (!a.Label) continue;
        EXPECT_GE(a.Left, kPictureLeft) << a.Name;
        EXPECT_GE(a.Top, kPictureTop) << a.Name;
        EXPECT_LE(a.Left + a.Width, kPictureLeft + kPictureWidth) << a.Name;
        EXPECT_LE(a.Top + a.Height, kPictureTop + kPictureHeight) << a.Name;
        for (const TKeyRow &b : kKeyTable) {
            if (&a == &b || !b.Label) continue;
            const TModifierKey *m = ModifierOfLabel(a.Label);
            if (m && (b.Label == m->DownLabel || b.Label == m->UpLabel)) continue;
            EXPECT_FALSE(Overlap(a, b)) << a.Name << " / " << b.Name;
        }
    }
}

TEST(KeyTable, SpecialCodesVerbatim) {
    ASSERT_EQ(kSpecialCodeCount, 12);
    EXPECT_STREQ(kSpecialCodes[0].Name, "Europe1");
    EXPECT_STREQ(kSpecialCodes[0].Code, "5D");
    EXPECT_STREQ(kSpecialCodes[7].Name, "Madia Select");
    EXPECT_STREQ(kSpecialCodes[8].Name, "Mai");
    EXPECT_STREQ(kSpecialCodes[8].Code, "E048");
    EXPECT_STREQ(kSpecialCodes[11].Code, "E010");
    for (const TSpecialCode &c : kSpecialCodes) {
        uint8_t entry[4];
        EXPECT_TRUE(HexToKeyCode(c.Code, entry)) << c.Name;
    }
}

TEST(KeyboardKeys, EvdevCodesBecomeTheTablesKeyNumbers) {
    EXPECT_EQ(Pressed(1), "ESC");
    EXPECT_EQ(Pressed(30), "A");
    EXPECT_EQ(Pressed(69), "Num lock"); // counts as extended: 0x145
    EXPECT_EQ(Pressed(119), "PAUSE");   // the plain 0x045
    EXPECT_EQ(Pressed(96), "Enter(Num Pad)");
    EXPECT_EQ(Pressed(28), "Enter");
    EXPECT_EQ(Pressed(98), "/(Num Pad)");
    EXPECT_EQ(Pressed(53), "/");
    EXPECT_EQ(Pressed(125), "LWIN Down");
    EXPECT_EQ(Pressed(126), "RWIN Down");
    EXPECT_EQ(Pressed(127), "APP");
    EXPECT_EQ(Pressed(100), "Right Alt Down");
    EXPECT_EQ(Pressed(86), "><");
    for (int none : {0, 84, -1})
        EXPECT_EQ(KeyOfEvdev(none), kNoKey) << none;

    // Every key of the table can be typed: some evdev code gives its number.
    std::set<int> reachable;
    for (int evdev = 0; evdev < 256; ++evdev)
        reachable.insert(KeyOfEvdev(evdev));
    for (const TKeyRow &row : kKeyTable)
        if (row.ScanCode) {
            EXPECT_EQ(reachable.count(row.ScanCode), 1u) << row.Name;
        }
}

TEST(KeyboardKeys, NativeScanCodesOfSyntheticUnknownAndForeignKeys) {
    EXPECT_EQ(KeyOfNativeScanCode(0), kNoKey); // made by a program
    EXPECT_EQ(KeyOfNativeScanCode(7), kNoKey);
    EXPECT_EQ(KeyOfNativeScanCode(9), 0x001);
    EXPECT_EQ(KeyOfNativeScanCode(77), 0x145);
    // A real key without a number of its own is still the keyboard's: swallowed, no row.
    EXPECT_EQ(KeyOfNativeScanCode(8 + 240), kUnnumberedKey);
    EXPECT_EQ(KeyByScanCode(kUnnumberedKey), nullptr);
    EXPECT_EQ(KeyOfNativeScanCode(300), kFirstForeignKey);
}

TEST(KeyboardKeys, HookPressesReleasesAndRepeats) {
    const auto name = [](const THookAction &a) { return a.Add ? a.Add->Name : "<none>"; };
    // Key 0 and keys from 0x200 go on unchanged.
    for (int key : {kNoKey, kFirstForeignKey, 0x345}) {
        const THookAction a = HookKey(key, true, false);
        EXPECT_FALSE(a.Swallow) << key;
        EXPECT_EQ(a.Add, nullptr) << key;
    }
    EXPECT_EQ(std::string(name(HookKey(0x02a, true, false))), "Left Shift Down");
    EXPECT_EQ(std::string(name(HookKey(0x02a, false, false))), "Left Shift Up");
    // A held key repeats its row; its repeated releases add nothing.
    EXPECT_EQ(std::string(name(HookKey(0x01e, true, true))), "A");
    EXPECT_EQ(std::string(name(HookKey(0x02a, true, true))), "Left Shift Down");
    const THookAction repeatedRelease = HookKey(0x02a, false, true);
    EXPECT_TRUE(repeatedRelease.Swallow);
    EXPECT_EQ(repeatedRelease.Add, nullptr);
    EXPECT_EQ(std::string(name(HookKey(0x15c, false, false))), "RWIN Up");
    EXPECT_EQ(std::string(name(HookKey(0x11d, false, false))), "Right Ctrl Up");
    // Other releases and unlisted keys add nothing but are swallowed all the same.
    for (const THookAction &a :
         {HookKey(0x01e, false, false), HookKey(0x059, true, false), HookKey(0x1FF, true, false)}) {
        EXPECT_TRUE(a.Swallow);
        EXPECT_EQ(a.Add, nullptr);
    }
}
