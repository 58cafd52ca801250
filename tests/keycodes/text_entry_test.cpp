#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "config/codec.h"
#include "config/msr_settings.h"
#include "keycodes/key_names.h"
#include "keycodes/text_entry.h"

namespace {

std::unique_ptr<TMsrSettings> Zeroed() {
    auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0, sizeof *s);
    return s;
}

// The layer record the encoder sends for the record (tag, length, bytes), or "" for none.
std::string Sent(const TMsrSettings &s) {
    uint8_t frame[1024] = {};
    int length = 0;
    EXPECT_EQ(EncodeSaveBlock(s.LayerStore, s.LayerModes, 0, s.CustomLanguage, frame, length), 0);
    return std::string(reinterpret_cast<const char *>(frame) + 2 + kFixedBlockBytes,
                       size_t(length - 2 - kFixedBlockBytes));
}

void PutAscii(TMsrSettings &s, int layer, const std::string &bytes) {
    s.LayerModes[layer] = kModeAscii;
    for (size_t i = 0; i < bytes.size(); ++i)
        s.LayerStore[layer][i * 4] = static_cast<uint8_t>(bytes[i]);
}

} // namespace

TEST(TextEntry, ShowsTheWholeTextOfAnAsciiSequenceOnly) {
    auto s = Zeroed();
    PutAscii(*s, 3, "ab\\n");
    BuildKeyNames(s->LayerModes, s->LayerStore, s->NameCache);
    EXPECT_EQ(SequenceText(*s, 100), "ab\\n");

    // A control byte held as it is shows as its escape, so 12 of them are 24 characters, all
    // shown.
    PutAscii(*s, 11, std::string(12, '\r'));
    BuildKeyNames(s->LayerModes, s->LayerStore, s->NameCache);
    std::string escapes;
    for (int i = 0; i < 12; ++i)
        escapes += "\\n";
    EXPECT_EQ(SequenceText(*s, 108), escapes);

    // Up to the first empty name.
    s->NameCache[3][1][0] = 0;
    EXPECT_EQ(SequenceText(*s, 100), "a");
    s->LayerModes[3] = kModeCode;
    EXPECT_EQ(SequenceText(*s, 100), "");
    for (int code : {99, 109, 0})
        EXPECT_EQ(SequenceText(*s, code), "") << code;
}

TEST(TextEntry, TypedKeysStopAtTwentyBytes) {
    const std::string nineteen(19, 'x'), twenty(20, 'x');
    EXPECT_EQ(FilterTypedKey('a', "a"), TTypedKey::Insert);
    EXPECT_EQ(FilterTypedKey(' ', nineteen + " "), TTypedKey::Insert);
    EXPECT_EQ(FilterTypedKey('~', twenty), TTypedKey::Insert);
    EXPECT_EQ(FilterTypedKey('a', twenty + "a"), TTypedKey::Exceed);
    EXPECT_EQ(FilterTypedKey(0x01, twenty + "\x01"), TTypedKey::Exceed); // the limit comes first
    EXPECT_EQ(FilterTypedKey(kBackspace, twenty + "a"), TTypedKey::Insert);
    EXPECT_EQ(FilterTypedKey(kBackspace, std::string(35, 'a')), TTypedKey::Insert);
    for (int c : {0x00, 0x09, 0x0D, 0x1B, 0x1F, 0x7F, 0x80, 0xE9, 0x20AC})
        EXPECT_EQ(FilterTypedKey(c, "abc"), TTypedKey::Swallow) << c;

    // The limit is on the bytes sent: an escape is one, a backslash that ends the escapes is
    // one, and so is what follows it.
    struct Case {
        std::string text;
        bool tooLong;
    } cases[] = {
        {nineteen + "\\", false},  // a lone backslash, on the way to an escape
        {nineteen + "\\n", false}, // 21 characters, 20 bytes
        {twenty + "\\", true},
        {std::string(40, '\\'), false}, // 20 escaped backslashes
        {std::string(41, '\\'), true},
        {"\\q" + std::string(17, 'x') + "\\n", true}, // \q ends the escapes: 21 bytes
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TextTooLong(c.text), c.tooLong) << c.text;
        EXPECT_EQ(FilterTypedKey('x', c.text) == TTypedKey::Exceed, c.tooLong) << c.text;
    }
}

TEST(TextEntry, InsertedTextKeepsToPrintableCharactersAndWhatWasShown) {
    EXPECT_TRUE(TextAllowed(u"", u""));
    EXPECT_TRUE(TextAllowed(u"any ~ text 0123456789 long enough to pass twenty", u""));
    EXPECT_FALSE(TextAllowed(u"a\tb", u""));
    EXPECT_FALSE(TextAllowed(u"caf\u00e9", u""));
    EXPECT_FALSE(TextAllowed(u"\u20ac", u""));
    EXPECT_FALSE(TextAllowed(u"\x7f", u""));
    // A character the window was shown may stay, as often as it was there.
    EXPECT_TRUE(TextAllowed(u"x\x01y", u"\x01"));
    EXPECT_FALSE(TextAllowed(u"\x01x\x01", u"\x01"));
    EXPECT_FALSE(TextAllowed(u"\x02", u"\x01"));
}

TEST(TextEntry, StoresCharactersAsAsciiEntries) {
    auto s = Zeroed();
    std::memset(s->LayerStore[3], 0xEE, sizeof s->LayerStore[3]);
    std::memset(s->NameCache[3], 'x', sizeof s->NameCache[3]);
    s->LayerModes[3] = kModeCode;
    ASSERT_EQ(StoreSequenceText(*s, 100, "ab\\n"), TStoreResult::Stored);
    const uint8_t entries[] = {'a', 0, 0, 0, 'b', 0, 0, 0, '\\', 0, 0, 0, 'n', 0, 0, 0};
    EXPECT_EQ(std::memcmp(s->LayerStore[3], entries, sizeof entries), 0);
    for (size_t i = sizeof entries; i < 1024; ++i)
        ASSERT_EQ(s->LayerStore[3][i], 0) << i;
    EXPECT_EQ(s->NameCache[3][2][0], '\\');
    for (int k = 1; k < 20; ++k)
        ASSERT_EQ(s->NameCache[3][2][k], 0);
    for (int i = 4; i < 256; ++i)
        ASSERT_EQ(s->NameCache[3][i][0], 0) << i;
    EXPECT_EQ(s->LayerModes[3], kModeAscii);
    // The escape becomes one byte on its way to the reader.
    EXPECT_EQ(Sent(*s), std::string("\x13\x03\x61\x62\x0D"));

    ASSERT_EQ(StoreSequenceText(*s, 100, ""), TStoreResult::Stored);
    EXPECT_EQ(s->LayerModes[3], kModeEmpty);
    EXPECT_EQ(s->LayerStore[3][0], 0);
    EXPECT_EQ(Sent(*s), "");

    ASSERT_EQ(StoreSequenceText(*s, 108, std::string(20, 'z')), TStoreResult::Stored);
    EXPECT_EQ(s->LayerStore[11][19 * 4], 'z');
    EXPECT_EQ(s->LayerModes[11], kModeAscii);
}

TEST(TextEntry, RefusedTextsAndSequencesWriteNothing) {
    auto s = Zeroed();
    PutAscii(*s, 4, "keep");
    const auto before = std::make_unique<TMsrSettings>(*s);
    EXPECT_EQ(StoreSequenceText(*s, 101, std::string(21, 'a')), TStoreResult::TooLong);
    EXPECT_EQ(StoreSequenceText(*s, 99, "x"), TStoreResult::NoSequence);
    EXPECT_EQ(StoreSequenceText(*s, 109, "x"), TStoreResult::NoSequence);
    EXPECT_EQ(std::memcmp(s.get(), before.get(), sizeof *s), 0);
}

TEST(TextEntry, OkUnchangedSendsWhatTheSequenceSentBefore) {
    // A text as typed (from the entry or a file), and the reader's bytes as a Load keeps them.
    struct Case {
        const char *name;
        std::string text;
        bool loaded;
    } cases[] = {
        {"typed", "a\\\\b\\tc\\q", false},
        {"typed, a backslash ending the escapes", "\\qa\\n", false},
        {"loaded", "a\\\r\tb", true},
        {"loaded, 20 bytes in 40 characters", std::string(10, '\\') + std::string(10, '\r'), true},
    };
    for (const Case &c : cases) {
        auto s = Zeroed();
        PutAscii(*s, 5, c.text);
        if (c.loaded) TypeLoadedLayers(s->LayerStore, s->LayerModes);
        BuildKeyNames(s->LayerModes, s->LayerStore, s->NameCache);
        const std::string before = Sent(*s);
        if (c.loaded) {
            EXPECT_EQ(before.substr(2), c.text) << c.name;
        }
        ASSERT_EQ(StoreSequenceText(*s, 102, SequenceText(*s, 102)), TStoreResult::Stored)
            << c.name;
        EXPECT_EQ(Sent(*s), before) << c.name;
    }
}
