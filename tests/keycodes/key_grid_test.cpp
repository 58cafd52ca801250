#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/codec.h"
#include "config/msr_settings.h"
#include "keycodes/key_grid.h"
#include "keycodes/key_names.h"
#include "keycodes/key_table.h"

namespace {

std::unique_ptr<TMsrSettings> Zeroed() {
    auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0, sizeof *s);
    return s;
}

std::string Name(const TMsrSettings &s, int layer, int i) {
    return std::string(s.NameCache[layer][i], strnlen(s.NameCache[layer][i], 20));
}

TAddResult Add(TKeyGrid &g, const char *name) {
    const TKeyRow *row = KeyByName(name);
    EXPECT_NE(row, nullptr) << name;
    return g.AddKey(row->Name, row->Code);
}

// Names of rows 1 ... n, joined with '|'.
std::string Names(const TKeyGrid &g, int n = TKeyGrid::kRows) {
    std::string all;
    for (int r = 1; r <= n; ++r)
        all += (r > 1 ? "|" : "") + g.Row(r).Name;
    return all;
}

TKeyGrid Filled(int rows) {
    TKeyGrid g;
    g.Reset();
    const char *const keys[] = {"A", "S", "D", "F", "G", "H", "J", "K", "L", "Q"};
    for (int i = 0; i < rows; ++i)
        EXPECT_EQ(Add(g, keys[i % 10]), TAddResult::Added) << i;
    return g;
}

} // namespace

TEST(KeyGrid, InsertsAtTheInsertionPointAndStopsAtTwenty) {
    TKeyGrid g = Filled(3);
    EXPECT_EQ(Names(g, 4), "A|S|D|");
    EXPECT_EQ(g.Row(2).Code, "1B");
    EXPECT_EQ(g.InsertRow(), 4);
    EXPECT_EQ(g.Selected(), 3);

    // A click on row 1 inserts there, the rest moving down.
    g.Click(1);
    EXPECT_EQ(g.InsertRow(), 1);
    EXPECT_EQ(Add(g, "Tab"), TAddResult::Added);
    EXPECT_EQ(Names(g, 5), "Tab|A|S|D|");
    EXPECT_EQ(g.InsertRow(), 2);
    EXPECT_EQ(g.Selected(), 1);

    // Inserting at row 1 of 19 rows moves them all down; the 21st insertion is refused.
    TKeyGrid full = Filled(19);
    full.Click(1);
    EXPECT_EQ(Add(full, "ESC"), TAddResult::Added);
    EXPECT_EQ(full.Row(1).Name, "ESC");
    EXPECT_EQ(full.Row(20).Name, "L"); // the 19th key, moved down
    const std::string before = Names(full);
    EXPECT_EQ(Add(full, "F1"), TAddResult::Full);
    EXPECT_EQ(full.AddSpecial("Mai", "E048"), TAddResult::Full);
    EXPECT_EQ(Names(full), before);

    // Past row 20 is full too, even with room above.
    TKeyGrid end = Filled(20);
    EXPECT_EQ(end.InsertRow(), 21);
    EXPECT_EQ(Add(end, "F1"), TAddResult::Full);
}

TEST(KeyGrid, RowTwentyWithOnlyACodeIsFull) {
    auto s = Zeroed();
    s->LayerModes[3] = kModeCode;
    s->LayerStore[3][19 * 4] = 0xF0; // F0 30: a loaded code without a name
    s->LayerStore[3][19 * 4 + 1] = 0x30;
    BuildKeyNames(s->LayerModes, s->LayerStore, s->NameCache);
    TKeyGrid g;
    g.Load(*s, 100);
    EXPECT_EQ(g.Row(20).Name, "");
    EXPECT_EQ(g.Row(20).Code, "F030");
    EXPECT_EQ(Add(g, "A"), TAddResult::Full);
    EXPECT_EQ(g.Row(20).Code, "F030");
}

TEST(KeyGrid, PauseInRowOneLocksThePictureAndKeyboardButNotSpecialCodes) {
    TKeyGrid g;
    g.Reset();
    EXPECT_EQ(Add(g, "PAUSE"), TAddResult::Added);
    EXPECT_EQ(g.Row(1).Code, "");
    EXPECT_EQ(Add(g, "A"), TAddResult::Paused);
    EXPECT_EQ(Add(g, "PAUSE"), TAddResult::Paused);
    EXPECT_EQ(g.AddSpecial("F13", "08"), TAddResult::Added);
    EXPECT_EQ(Names(g, 3), "PAUSE|F13|");

    // A pause further down locks nothing.
    TKeyGrid later = Filled(1);
    EXPECT_EQ(Add(later, "PAUSE"), TAddResult::Added);
    EXPECT_EQ(Add(later, "S"), TAddResult::Added);
}

TEST(KeyGrid, ClicksAndRightClicksChooseTheRow) {
    TKeyGrid g = Filled(3);
    g.Click(2);
    EXPECT_EQ(g.InsertRow(), 2);
    // An empty row: after the last named row above it.
    g.Click(9);
    EXPECT_EQ(g.InsertRow(), 4);
    EXPECT_EQ(g.Selected(), 9);
    TKeyGrid empty;
    empty.Reset();
    empty.Click(5);
    EXPECT_EQ(empty.InsertRow(), 1);

    // A mouse button on a row with a name or a code chooses it; an empty row is only selected;
    // column 0 (the row numbers) and rows outside 1 ... 20 do nothing.
    g.Click(1);
    g.MouseDown(1, 3);
    EXPECT_EQ(g.InsertRow(), 3);
    EXPECT_EQ(g.Selected(), 3);
    g.MouseDown(2, 12);
    EXPECT_EQ(g.InsertRow(), 3);
    EXPECT_EQ(g.Selected(), 12);
    g.MouseDown(0, 1);
    EXPECT_EQ(g.Selected(), 12);
    g.MouseDown(1, 21);
    g.MouseDown(1, 0);
    EXPECT_EQ(g.Selected(), 12);

    // "><" has a name and no code; a loaded F0 30 has a code and no name: both are rows.
    Add(g, "><");
    EXPECT_EQ(g.Row(3).Name, "><");
    g.MouseDown(1, 1);
    g.MouseDown(2, 3);
    EXPECT_EQ(g.InsertRow(), 3);
    auto s = Zeroed();
    s->LayerModes[4] = kModeCode;
    s->LayerStore[4][4] = 0xF0;
    s->LayerStore[4][5] = 0x30;
    TKeyGrid loaded;
    loaded.Load(*s, 101);
    loaded.MouseDown(1, 2);
    EXPECT_EQ(loaded.InsertRow(), 2);
}

TEST(KeyGrid, DeleteRemovesTheChosenRowAndClearAllEmptiesTheList) {
    TKeyGrid g = Filled(4); // A S D F
    g.MouseDown(1, 2);
    g.Delete();
    EXPECT_EQ(Names(g, 5), "A|D|F||");
    EXPECT_EQ(g.InsertRow(), 2);

    // After the 20th key the insertion point is past the list: Delete empties row 20.
    TKeyGrid full = Filled(20);
    full.Delete();
    EXPECT_TRUE(full.Row(20).Empty());
    EXPECT_EQ(full.Row(19).Name, "L");

    full.ClearAll();
    EXPECT_EQ(Names(full), std::string(19, '|'));
    EXPECT_EQ(full.InsertRow(), 1);
    EXPECT_EQ(full.Selected(), 0);
}

TEST(KeyGrid, DeleteActsOnTheRowShownSelectedOrOnNothing) {
    struct Case {
        const char *name;
        void (*choose)(TKeyGrid &); // on the list A S D F, just typed (row 4 selected)
        const char *after;          // rows 1 ... 5 after Delete
        int insertRow;              // where the next key then goes
    } cases[] = {
        {"left click on a key, right click on an empty row",
         [](TKeyGrid &g) {
             g.Click(2);
             g.MouseDown(1, 9);
         },
         "A|S|D|F|", 2},
        {"the key just typed", [](TKeyGrid &) {}, "A|S|D||", 4},
        {"left click on an empty row", [](TKeyGrid &g) { g.Click(7); }, "A|S|D|F|", 5},
    };
    for (const Case &c : cases) {
        TKeyGrid g = Filled(4);
        c.choose(g);
        const int selected = g.Selected();
        g.Delete();
        EXPECT_EQ(Names(g, 5), c.after) << c.name;
        EXPECT_EQ(g.InsertRow(), c.insertRow) << c.name;
        EXPECT_EQ(g.Selected(), selected) << c.name;
    }

    // A list loaded from the record shows nothing selected: Delete keeps it whole.
    auto s = Zeroed();
    s->LayerModes[3] = kModeCode;
    s->LayerStore[3][0] = 0x1C;
    s->LayerStore[3][4] = 0x1B;
    BuildKeyNames(s->LayerModes, s->LayerStore, s->NameCache);
    TKeyGrid loaded;
    loaded.Load(*s, 100);
    loaded.Delete();
    EXPECT_EQ(Names(loaded, 3), "A|S|");
}

TEST(KeyGrid, StoreKeepsEveryRowDownToTheLastCode) {
    struct Case {
        const char *name;
        std::vector<const char *> keys; // rows from 1 on
        std::vector<uint8_t> record;    // the suffix record sent
    } cases[] = {
        {"Enter alone", {"Enter"}, {0x05, 1, 0x5A}},
        {"Enter, then a row without a code", {"Enter", "><"}, {0x05, 1, 0x5A}},
        {"a code in row 20 only",
         {"><", "><", "><", "><", "><", "><", "><", "><", "><", "><",
          "><", "><", "><", "><", "><", "><", "><", "><", "><", "Tab"},
         {0x05, 1, 0x0D}},
    };
    for (const Case &c : cases) {
        auto s = Zeroed();
        TKeyGrid g;
        g.Reset();
        for (const char *key : c.keys)
            Add(g, key);
        ASSERT_TRUE(g.Store(*s, 102)) << c.name;
        uint8_t frame[1024] = {};
        int length = 0;
        ASSERT_EQ(
            EncodeSaveBlock(s->LayerStore, s->LayerModes, 0, s->CustomLanguage, frame, length), 0);
        EXPECT_EQ(std::vector<uint8_t>(frame + 2 + kFixedBlockBytes, frame + length), c.record)
            << c.name;
    }
}

TEST(KeyGrid, StoreWritesTheLayerNamesAndModeExactly) {
    auto s = Zeroed();
    std::memset(s->LayerStore[5], 0xEE, sizeof s->LayerStore[5]); // old content, all of it
    std::memset(s->NameCache[5], 'x', sizeof s->NameCache[5]);
    s->LayerModes[5] = kModeAscii;
    s->LayerStore[4][0] = 0x77; // a neighbour that must stay
    TKeyGrid g;
    g.Reset();
    Add(g, "Left Shift Down");
    Add(g, "><"); // a row without a code inside the list
    g.AddSpecial("lower case", "e0f011");
    Add(g, "Right Ctrl Up");
    Add(g, "PAUSE"); // after the last code: not stored
    ASSERT_TRUE(g.Store(*s, 102));

    const uint8_t expected[] = {0x12, 0,    0,    0, 0,    0,    0,    0,
                                0xE0, 0xF0, 0x11, 0, 0xE0, 0xF0, 0x14, 0};
    EXPECT_EQ(std::memcmp(s->LayerStore[5], expected, sizeof expected), 0);
    for (size_t i = sizeof expected; i < 1024; ++i)
        ASSERT_EQ(s->LayerStore[5][i], 0) << i;
    EXPECT_EQ(Name(*s, 5, 0), "Left Shift Down");
    EXPECT_EQ(Name(*s, 5, 1), "><");
    EXPECT_EQ(Name(*s, 5, 2), "lower case");
    EXPECT_EQ(Name(*s, 5, 3), "Right Ctrl Up");
    for (int i = 4; i < 256; ++i)
        ASSERT_EQ(Name(*s, 5, i), "") << i;
    EXPECT_EQ(s->LayerModes[5], kModeCode);
    EXPECT_EQ(s->LayerStore[4][0], 0x77);

    // Through the encoder: the suffix record, entry after entry.
    uint8_t frame[1024] = {};
    int length = 0;
    ASSERT_EQ(EncodeSaveBlock(s->LayerStore, s->LayerModes, 0, s->CustomLanguage, frame, length),
              0);
    const uint8_t record[] = {0x04, 1, 0x77, 0x05, 7, 0x12, 0xE0, 0xF0, 0x11, 0xE0, 0xF0, 0x14};
    ASSERT_EQ(length, 2 + kFixedBlockBytes + int(sizeof record));
    EXPECT_EQ(std::memcmp(frame + 2 + kFixedBlockBytes, record, sizeof record), 0);
}

TEST(KeyGrid, StoreModeFollowsRowOne) {
    auto s = Zeroed();
    TKeyGrid g;
    g.Reset();
    Add(g, "PAUSE"); // row 1 without a code
    g.AddSpecial("F13", "08");
    ASSERT_TRUE(g.Store(*s, 108));
    EXPECT_EQ(s->LayerModes[11], kModeEmpty); // neither radio button, yet the entry is there
    EXPECT_EQ(s->LayerStore[11][4], 0x08);
    EXPECT_EQ(Name(*s, 11, 0), "PAUSE");

    // An empty list empties the sequence, whatever mode it had.
    s->LayerModes[3] = kModeAscii;
    s->LayerStore[3][0] = 'a';
    g.ClearAll();
    ASSERT_TRUE(g.Store(*s, 100));
    EXPECT_EQ(s->LayerModes[3], kModeEmpty);
    EXPECT_EQ(s->LayerStore[3][0], 0);
}

TEST(KeyGrid, SequencesOutsideTheNineShowNothingAndStoreNothing) {
    auto s = Zeroed();
    for (auto &layer : s->LayerModes)
        layer = kModeCode;
    for (auto &layer : s->LayerStore)
        layer[0] = 0x1C;
    const auto before = std::make_unique<TMsrSettings>(*s);
    for (int code : {0, 99, 109, -1, 200}) {
        TKeyGrid g;
        g.Load(*s, code);
        EXPECT_TRUE(g.Row(1).Empty()) << code;
        Add(g, "A");
        EXPECT_FALSE(g.Store(*s, code)) << code;
        EXPECT_EQ(std::memcmp(s.get(), before.get(), sizeof *s), 0) << code;
    }
}

TEST(KeyGrid, LoadShowsACodeLayerWithItsNamesAndOnlyACodeLayer) {
    auto s = Zeroed();
    s->LayerModes[3] = kModeCode;
    const uint8_t codes[] = {0x7E, 0, 0, 0, 0xF0, 0x30, 0, 0, 0, 0, 0, 0, 0xE0, 0xF0, 0x1F, 0};
    std::memcpy(s->LayerStore[3], codes, sizeof codes);
    s->LayerStore[3][20 * 4] = 0x1C; // past the sequence: not shown
    BuildKeyNames(s->LayerModes, s->LayerStore, s->NameCache);
    TKeyGrid g;
    g.Load(*s, 100);
    // The name builder's names, not the editor's ("Scrlock").
    EXPECT_EQ(g.Row(1).Name, "ScrolClock");
    EXPECT_EQ(g.Row(1).Code, "7E");
    EXPECT_EQ(g.Row(2).Name, "");
    EXPECT_EQ(g.Row(2).Code, "F030");
    EXPECT_TRUE(g.Row(3).Empty());
    EXPECT_EQ(g.Row(4).Name, "LWIN Up");
    EXPECT_EQ(g.Row(4).Code, "E0F01F");
    EXPECT_EQ(g.InsertRow(), 1);

    // OK unchanged gives the same entries back.
    const auto before = std::make_unique<TMsrSettings>(*s);
    s->LayerStore[3][20 * 4] = 0;
    ASSERT_TRUE(g.Store(*s, 100));
    EXPECT_EQ(std::memcmp(s->LayerStore[3], before->LayerStore[3], 80), 0);

    s->LayerModes[3] = kModeAscii;
    g.Load(*s, 100);
    EXPECT_TRUE(g.Row(1).Empty());
}
