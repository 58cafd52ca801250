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
    BuildFileKeyNames(s->LayerModes, s->LayerStore, s->NameCache);
    EXPECT_EQ(SequenceText(*s, 100), "ab\\n");

    // A loaded control character shows as its escape, so 12 of them are 24 characters: all
    // shown, so that OK refuses them rather than cutting them.
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

TEST(TextEntry, TypedKeys) {
    EXPECT_EQ(FilterTypedKey('a', 0), TTypedKey::Insert);
    EXPECT_EQ(FilterTypedKey(' ', 19), TTypedKey::Insert);
    EXPECT_EQ(FilterTypedKey('~', 19), TTypedKey::Insert);
    EXPECT_EQ(FilterTypedKey('a', 20), TTypedKey::Exceed);
    EXPECT_EQ(FilterTypedKey(0x01, 20), TTypedKey::Exceed); // the limit comes first
    EXPECT_EQ(FilterTypedKey(kBackspace, 20), TTypedKey::Insert);
    EXPECT_EQ(FilterTypedKey(kBackspace, 35), TTypedKey::Insert);
    for (int c : {0x00, 0x09, 0x0D, 0x1B, 0x1F, 0x7F, 0x80, 0xE9, 0x20AC})
        EXPECT_EQ(FilterTypedKey(c, 3), TTypedKey::Swallow) << c;
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
    // A file keeps escapes as typed; a reader returns them as single bytes.
    for (const bool fromFile : {true, false}) {
        auto s = Zeroed();
        PutAscii(*s, 5, fromFile ? "a\\\\b\\tc\\q" : "a\\\r\tb");
        if (fromFile)
            BuildFileKeyNames(s->LayerModes, s->LayerStore, s->NameCache);
        else
            BuildKeyNames(s->LayerModes, s->LayerStore, s->NameCache);
        const std::string before = Sent(*s);
        const std::string text = SequenceText(*s, 102);
        ASSERT_LE(text.size(), 20u);
        ASSERT_EQ(StoreSequenceText(*s, 102, text), TStoreResult::Stored) << fromFile;
        EXPECT_EQ(Sent(*s), before) << fromFile;
    }
}
