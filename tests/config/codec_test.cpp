// Byte fixtures of the configuration block: what Save sends and what Load accepts.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/codec.h"
#include "config/msr_settings.h"
#include "config/record_rules.h"

namespace {

struct Encoded {
    int result = 0;
    int length = 0;
    uint8_t frame[1024] = {};
    std::vector<uint8_t> Tail() const { // bytes after the fixed 227-byte part
        return std::vector<uint8_t>(frame + 227, frame + (length > 227 ? length : 227));
    }
};

Encoded Encode(const TMsrSettings &s, int language = 0) {
    Encoded e;
    e.frame[0] = kSaveCommand[0];
    e.frame[1] = kSaveCommand[1];
    e.result =
        EncodeSaveBlock(s.LayerStore, s.LayerModes, language, s.CustomLanguage, e.frame, e.length);
    return e;
}

std::unique_ptr<TMsrSettings> Fresh() {
    auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0, sizeof *s);
    return s;
}

void PutText(TMsrSettings &s, int layer, const char *text) {
    for (int i = 0; text[i]; ++i)
        s.LayerStore[layer][4 * i] = static_cast<uint8_t>(text[i]);
    s.LayerModes[layer] = kModeAscii;
}

const uint8_t kUsaTable190[190] = {
    0x00, 0x2C, 0x02, 0x1E, 0x02, 0x34, 0x02, 0x20, 0x02, 0x21, 0x02, 0x22, 0x02, 0x24, 0x00, 0x34,
    0x02, 0x26, 0x02, 0x27, 0x02, 0x25, 0x02, 0x2E, 0x00, 0x36, 0x00, 0x2D, 0x00, 0x37, 0x00, 0x38,
    0x00, 0x27, 0x00, 0x1E, 0x00, 0x1F, 0x00, 0x20, 0x00, 0x21, 0x00, 0x22, 0x00, 0x23, 0x00, 0x24,
    0x00, 0x25, 0x00, 0x26, 0x02, 0x33, 0x00, 0x33, 0x02, 0x36, 0x00, 0x2E, 0x02, 0x37, 0x02, 0x38,
    0x02, 0x1F, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09, 0x00, 0x0A,
    0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0D, 0x00, 0x0E, 0x00, 0x0F, 0x00, 0x10, 0x00, 0x11, 0x00, 0x12,
    0x00, 0x13, 0x00, 0x14, 0x00, 0x15, 0x00, 0x16, 0x00, 0x17, 0x00, 0x18, 0x00, 0x19, 0x00, 0x1A,
    0x00, 0x1B, 0x00, 0x1C, 0x00, 0x1D, 0x00, 0x2F, 0x00, 0x31, 0x00, 0x30, 0x02, 0x23, 0x02, 0x2D,
    0x00, 0x35, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09, 0x00, 0x0A,
    0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0D, 0x00, 0x0E, 0x00, 0x0F, 0x00, 0x10, 0x00, 0x11, 0x00, 0x12,
    0x00, 0x13, 0x00, 0x14, 0x00, 0x15, 0x00, 0x16, 0x00, 0x17, 0x00, 0x18, 0x00, 0x19, 0x00, 0x1A,
    0x00, 0x1B, 0x00, 0x1C, 0x00, 0x1D, 0x02, 0x2F, 0x02, 0x31, 0x02, 0x30, 0x02, 0x35,
};

} // namespace

TEST(EncodeSaveBlock, DefaultsGiveA227ByteFrameWithEveryByteKnown) {
    auto s = Fresh();
    FillDefaultRecord(*s);
    const Encoded e = Encode(*s, kDefaultLanguage);
    ASSERT_EQ(e.result, kEncodeOk);
    ASSERT_EQ(e.length, 227);

    std::vector<uint8_t> expected = {0x01, 0x1E, '%',  '?',  ';',  '?',  ';', '?', 0x39, '5',
                                     '6',  '7',  0x00, 0x1F, 0x00, 0x1F, '!', '?', '*',  '?'};
    expected.insert(expected.end(), 12, 0x00);
    expected.insert(expected.end(), {0x02, 0xBF, 0x00});
    expected.insert(expected.end(), kUsaTable190, kUsaTable190 + 190);
    ASSERT_EQ(expected.size(), 225u);
    EXPECT_EQ(std::vector<uint8_t>(e.frame + 2, e.frame + 227), expected);
    EXPECT_EQ(e.frame[0], 0xAA);
    EXPECT_EQ(e.frame[1], 0x7E);
    EXPECT_EQ(e.frame[227], 0x00);
}

TEST(EncodeSaveBlock, SequenceByteLimit) {
    auto s = Fresh();
    FillDefaultRecord(*s);
    s->LayerModes[3] = kModeCode;
    for (int i = 0; i < 20; ++i)
        s->LayerStore[3][4 * i] = static_cast<uint8_t>(0x10 + i);
    Encoded e = Encode(*s);
    ASSERT_EQ(e.result, kEncodeOk);
    ASSERT_EQ(e.length, 227 + 22);
    std::vector<uint8_t> header = {0x03, 0x14};
    for (int i = 0; i < 20; ++i)
        header.push_back(static_cast<uint8_t>(0x10 + i));
    EXPECT_EQ(e.Tail(), header);

    // Entries past the 20th are never sent.
    s->LayerStore[3][4 * 20] = 0x1C;
    EXPECT_EQ(Encode(*s).Tail(), header);

    // Seven three-byte codes are 21 bytes: refused, and no frame length is reported.
    auto t = Fresh();
    FillDefaultRecord(*t);
    t->LayerModes[5] = kModeCode;
    for (int i = 0; i < 7; ++i)
        std::memcpy(&t->LayerStore[5][4 * i], "\xE0\xF0\x1F", 3);
    e = Encode(*t);
    EXPECT_EQ(e.result, kEncodeTooLong);
    EXPECT_EQ(e.length, 0);

    // Six of them and two plain codes are exactly 20 bytes.
    std::memset(&t->LayerStore[5][4 * 6], 0, 4);
    t->LayerStore[5][4 * 6] = 0x5A;
    t->LayerStore[5][4 * 7] = 0x29;
    e = Encode(*t);
    ASSERT_EQ(e.result, kEncodeOk);
    EXPECT_EQ(e.length, 227 + 22);
    EXPECT_EQ(e.frame[227], 0x05);
    EXPECT_EQ(e.frame[228], 20);
}

TEST(EncodeSaveBlock, AsciiEscapes) {
    struct Case {
        const char *stored;
        std::vector<uint8_t> sent;
    } cases[] = {
        {"ab\\n", {0x61, 0x62, 0x0D}},
        {"\\E\\t\\N\\e", {0x1B, 0x09, 0x0D, 0x1B}},
        {"\\\\n", {0x5C, 'n'}},                   // an escaped backslash, then a plain n
        {"a\\q\\n", {'a', 0x5C, 'q', 0x5C, 'n'}}, // \q stops the conversion for the layer
        {"x\\n\\", {'x', 0x0D, 0x5C}},            // a trailing backslash stays as it is
        {"\\", {0x5C}},
    };
    for (const Case &c : cases) {
        auto s = Fresh();
        FillDefaultRecord(*s);
        PutText(*s, 5, c.stored);
        const std::vector<uint8_t> before(s->LayerStore[5], s->LayerStore[5] + 1024);
        const Encoded first = Encode(*s), second = Encode(*s);
        ASSERT_EQ(first.result, kEncodeOk) << c.stored;
        std::vector<uint8_t> expected = {0x15, static_cast<uint8_t>(c.sent.size())};
        expected.insert(expected.end(), c.sent.begin(), c.sent.end());
        EXPECT_EQ(first.Tail(), expected) << c.stored;
        // The record keeps its two-character escapes, so a retry sends the same frame.
        EXPECT_EQ(std::vector<uint8_t>(s->LayerStore[5], s->LayerStore[5] + 1024), before);
        EXPECT_EQ(std::memcmp(first.frame, second.frame, sizeof first.frame), 0) << c.stored;
    }
}

TEST(EncodeSaveBlock, TheLimitIsOnBytesSentNotOnTypedEntries) {
    struct Case {
        std::string typed;
        int result;
        size_t bytes; // sent
        uint8_t last; // last byte sent
    } cases[] = {
        {std::string(40, '\\'), kEncodeOk, 20, 0x5C},                 // 20 escaped backslashes
        {std::string(19, 'a') + "\\n", kEncodeOk, 20, 0x0D},          // 21 entries
        {"abcdefghijklmnopqrs\\nx", kEncodeTooLong, 0, 0},            // 21 bytes: refused, not cut
        {"\\q" + std::string(17, 'a') + "\\n", kEncodeTooLong, 0, 0}, // \q ends the escapes
    };
    for (const Case &c : cases) {
        auto s = Fresh();
        PutText(*s, 5, c.typed.c_str());
        const Encoded e = Encode(*s);
        EXPECT_EQ(e.result, c.result) << c.typed;
        if (c.result != kEncodeOk) continue;
        const std::vector<uint8_t> tail = e.Tail();
        ASSERT_EQ(tail.size(), 2 + c.bytes) << c.typed;
        EXPECT_EQ(tail[1], c.bytes) << c.typed;
        EXPECT_EQ(tail.back(), c.last) << c.typed;
    }
}

TEST(TypedText, EveryByteSequenceComesBackFromItsTypedText) {
    // All one- and two-byte texts, and 20-byte runs of the bytes that look like escapes.
    std::vector<std::vector<uint8_t>> texts;
    for (int a = 1; a < 256; ++a) {
        texts.push_back({uint8_t(a)});
        for (int b = 1; b < 256; ++b)
            texts.push_back({uint8_t(a), uint8_t(b)});
    }
    for (const uint8_t b : {0x5C, 0x0D, 0x1B, 0x09})
        texts.push_back(std::vector<uint8_t>(20, b));
    uint8_t layer[1024];
    for (const auto &text : texts) {
        PutTypedText(text.data(), int(text.size()), layer);
        ASSERT_EQ(AsciiLayerBytes(layer), text) << int(text[0]) << " " << text.size();
    }
    // Twenty escapes take 40 entries; nothing is written past the text.
    PutTypedText(texts.back().data(), 20, layer);
    EXPECT_EQ(layer[39 * 4], 't');
    EXPECT_EQ(layer[40 * 4], 0);

    // Zero bytes are left out; a text past the layer's 256 entries is cut at a whole escape.
    const uint8_t holes[] = {'a', 0, 'b'};
    PutTypedText(holes, 3, layer);
    EXPECT_EQ(AsciiLayerBytes(layer), (std::vector<uint8_t>{'a', 'b'}));
    const std::vector<uint8_t> many(200, 0x5C);
    PutTypedText(many.data(), 200, layer);
    EXPECT_EQ(AsciiLayerBytes(layer), std::vector<uint8_t>(128, 0x5C));
}

TEST(TypedText, LoadTypesTheReadersBytesAndOpenNormalisesOldFiles) {
    struct Case {
        const char *name;
        std::string stored; // entries of the layer as found
        bool loaded;        // after a Load; else after Open File
        std::string typed;  // the layer afterwards
    } cases[] = {
        {"loaded controls and backslash", "a\\\r\x1B\tb", true, "a\\\\\\n\\e\\tb"},
        {"loaded hole", std::string("a\0b", 3), true, "ab"},
        {"file, upper-case escape", "\\N\\E", false, "\\n\\e"},
        {"file, control byte as it is", "a\rb", false, "a\\nb"},
        {"file, a backslash ending the escapes", "\\q\\n", false, "\\\\q\\\\n"},
        {"file, a trailing backslash", "ab\\", false, "ab\\\\"},
        {"file over the limit stays", std::string(21, 'z') + "\r", false,
         std::string(21, 'z') + "\r"},
    };
    for (const Case &c : cases) {
        auto s = Fresh();
        for (size_t i = 0; i < c.stored.size(); ++i)
            s->LayerStore[6][4 * i] = uint8_t(c.stored[i]);
        s->LayerModes[6] = kModeAscii;
        s->LayerStore[1][0] = '\\'; // options and Code layers are no text
        s->LayerModes[1] = kModeAscii;
        s->LayerStore[7][0] = 0x5C;
        s->LayerModes[7] = kModeCode;
        const std::vector<uint8_t> before = AsciiLayerBytes(s->LayerStore[6]);
        if (c.loaded)
            TypeLoadedLayers(s->LayerStore, s->LayerModes);
        else
            NormaliseTypedLayers(s->LayerStore, s->LayerModes);
        std::string typed;
        for (int i = 0; i < 256 && s->LayerStore[6][4 * i]; ++i)
            typed += char(s->LayerStore[6][4 * i]);
        EXPECT_EQ(typed, c.typed) << c.name;
        if (!c.loaded) {
            EXPECT_EQ(AsciiLayerBytes(s->LayerStore[6]), before) << c.name;
        }
        EXPECT_EQ(s->LayerStore[1][4], 0) << c.name;
        EXPECT_EQ(s->LayerStore[7][4], 0) << c.name;
    }
}

TEST(EncodeSaveBlock, EscapesShrinkTheLayerBelowTheLimit) {
    // 20 entries holding ten escapes are 10 bytes once converted.
    auto s = Fresh();
    PutText(*s, 4, "\\n\\n\\n\\n\\n\\t\\t\\t\\t\\t");
    const Encoded e = Encode(*s);
    ASSERT_EQ(e.result, kEncodeOk);
    EXPECT_EQ(e.Tail(), (std::vector<uint8_t>{0x14, 10, 13, 13, 13, 13, 13, 9, 9, 9, 9, 9}));
}

TEST(EncodeSaveBlock, WhichLayersAreSent) {
    auto s = Fresh();
    FillDefaultRecord(*s);
    s->LayerStore[0][0] = 0x1C; // layer 0: never sent
    s->LayerModes[0] = kModeCode;
    std::memcpy(s->LayerStore[2], "\x03\0\0\0", 4); // Save File's language index: not sent
    s->LayerModes[2] = kModeCode;
    s->LayerModes[6] = kModeAscii; // empty layer: nothing whatever its mode
    s->LayerStore[12][0] = 0x1C;   // mode 0 but not empty: sent as Code
    s->LayerStore[13][0] = 0x1B;   // layer marker: sent as Code
    s->LayerModes[13] = kModeLayerMarker;
    s->LayerStore[14][0] = 3; // reading sequence 3
    PutText(*s, 15, "z");
    const Encoded e = Encode(*s);
    ASSERT_EQ(e.result, kEncodeOk);
    EXPECT_EQ(e.Tail(),
              (std::vector<uint8_t>{0x0C, 1, 0x1C, 0x0D, 1, 0x1B, 0x0E, 1, 3, 0x1F, 1, 'z'}));
    EXPECT_EQ(e.frame[36], 0x00);
}

TEST(EncodeSaveBlock, LanguageRecord) {
    auto s = Fresh();
    FillDefaultRecord(*s);
    const auto entry = [](const Encoded &e, char c) {
        const int at = 37 + 2 * (c - 0x20);
        return std::vector<uint8_t>{e.frame[at], e.frame[at + 1]};
    };
    Encoded e = Encode(*s, 2); // FRENCH
    EXPECT_EQ(e.frame[36], 2);
    EXPECT_EQ(entry(e, '1'), (std::vector<uint8_t>{0x02, 0x1E}));
    EXPECT_EQ(entry(Encode(*s, 0), '1'), (std::vector<uint8_t>{0x00, 0x1E}));
    e = Encode(*s, 3); // GERMAN swaps only the upper-case rows
    EXPECT_EQ(entry(e, 'Y'), (std::vector<uint8_t>{0x00, 0x1D}));
    EXPECT_EQ(entry(e, 'y'), (std::vector<uint8_t>{0x00, 0x1C}));
    EXPECT_EQ(entry(e, '~'), (std::vector<uint8_t>{0x40, 0x30}));
    EXPECT_EQ(e.length, 227); // the 0x7F entry is not sent

    // "UNKNOW": the kept index and 190 bytes go back as they are.
    for (int k = 0; k < 191; ++k)
        s->CustomLanguage[k] = static_cast<uint8_t>(200 - k);
    s->CustomLanguage[191] = 0xEE; // beyond the record: never sent
    e = Encode(*s, kUnknownLanguage);
    ASSERT_EQ(e.result, kEncodeOk);
    EXPECT_EQ(std::memcmp(e.frame + 36, s->CustomLanguage, 191), 0);
    EXPECT_EQ(e.length, 227);
}

TEST(DecodeLoadReply, SpecialReplies) {
    uint8_t store[16][1024];
    int32_t modes[16];
    const auto run = [&](std::vector<uint8_t> reply) {
        std::memset(store, 0x5A, sizeof store);
        std::memset(modes, 0x5A, sizeof modes);
        return DecodeLoadReply(reply.data(), static_cast<int>(reply.size()), store, modes);
    };
    // Blank reader: success, nothing touched.
    EXPECT_EQ(run({0x01, 0xFF, 0x01, 0x02}), kDecodeBlank);
    EXPECT_EQ(store[1][0], 0x5A);
    EXPECT_EQ(modes[0], 0x5A5A5A5A);

    EXPECT_EQ(run({0x20, 0x00, 0x12}), kDecodeOk);
    for (int layer = 0; layer < 16; ++layer) {
        EXPECT_EQ(modes[layer], kModeLayerMarker);
        EXPECT_EQ(store[layer][0], 0xFF);
        EXPECT_EQ(store[layer][1], 0x12);
    }
    EXPECT_EQ(run({0x21}), kDecodeOk);
    EXPECT_EQ(modes[15], kModeLayerMarker);
    EXPECT_EQ(store[15][1], 0x20);
    EXPECT_EQ(run({0x20}), kDecodeOk); // the missing third byte reads as zero
    EXPECT_EQ(store[0][1], 0x00);
}

TEST(DecodeLoadReply, MalformedReplies) {
    uint8_t store[16][1024] = {};
    int32_t modes[16] = {};
    const auto run = [&](std::vector<uint8_t> reply) {
        return DecodeLoadReply(reply.data(), static_cast<int>(reply.size()), store, modes);
    };
    EXPECT_EQ(run({0x03, 0x00}), kDecodeMalformed);                   // zero length
    EXPECT_EQ(run({0x03, 0x01, 0x1C, 0x04, 0x00}), kDecodeMalformed); // zero length later
    EXPECT_EQ(run({0x03, 0x02, 0x1C}), kDecodeMalformed);             // runs past the end
    EXPECT_EQ(run({0x03, 0x01, 0x1C, 0x04}), kDecodeMalformed);       // lone trailing tag
    EXPECT_EQ(run({0x03}), kDecodeMalformed);
    EXPECT_EQ(DecodeLoadReply(nullptr, -1, store, modes), kDecodeMalformed);

    // Longer than the work area: refused even when the records add up.
    std::vector<uint8_t> big;
    while (big.size() < 800)
        big.insert(big.end(), {0x0F, 0x02, 0x1C, 0x1B});
    EXPECT_EQ(run(big), kDecodeOk);
    big.push_back(0x00);
    EXPECT_EQ(run(big), kDecodeMalformed);
}

TEST(DecodeLoadReply, RecordsAndGrouping) {
    uint8_t store[16][1024] = {};
    int32_t modes[16] = {};
    const std::vector<uint8_t> reply = {
        0x03, 0x0A, 0xE0, 0xF0, 0x1F, 0xF0, 0x12, 0xE1, 0x14, 0xE0, 0x7D, 0x29, // grouped
        0x04, 0x02, 0x1C, 0xE0,             // a code cut by the record end
        0x15, 0x03, 'a',  0x0D, 'b',        // ASCII layer 5
        0xFF, 0x01, 'q',                    // any tag from 0x1F goes to layer 15
        0x01, 0x04, 0xE0, 0x3F, 0xF0, 0x2F, // options are single bytes
        0x02, 0x04, 0x09, 0xE0, 0xF0, 0x11, // so is the language block
    };
    ASSERT_EQ(DecodeLoadReply(reply.data(), static_cast<int>(reply.size()), store, modes),
              kDecodeOk);
    const auto entry = [&](int layer, int i) {
        return std::vector<uint8_t>(store[layer] + 4 * i, store[layer] + 4 * i + 4);
    };
    using V = std::vector<uint8_t>;
    EXPECT_EQ(modes[3], kModeCode);
    EXPECT_EQ(entry(3, 0), (V{0xE0, 0xF0, 0x1F, 0}));
    EXPECT_EQ(entry(3, 1), (V{0xF0, 0x12, 0, 0}));
    EXPECT_EQ(entry(3, 2), (V{0xE1, 0x14, 0, 0}));
    EXPECT_EQ(entry(3, 3), (V{0xE0, 0x7D, 0, 0}));
    EXPECT_EQ(entry(3, 4), (V{0x29, 0, 0, 0}));
    EXPECT_EQ(entry(3, 5), (V{0, 0, 0, 0}));
    EXPECT_EQ(entry(4, 0), (V{0x1C, 0, 0, 0}));
    EXPECT_EQ(entry(4, 1), (V{0xE0, 0, 0, 0}));
    EXPECT_EQ(entry(4, 2), (V{0, 0, 0, 0}));
    EXPECT_EQ(modes[5], kModeAscii);
    EXPECT_EQ(entry(5, 1), (V{0x0D, 0, 0, 0}));
    EXPECT_EQ(entry(5, 2), (V{'b', 0, 0, 0}));
    EXPECT_EQ(modes[15], kModeAscii);
    EXPECT_EQ(entry(15, 0), (V{'q', 0, 0, 0}));
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(entry(1, k), (V{reply[26 + k], 0, 0, 0})) << k;
        EXPECT_EQ(entry(2, k), (V{reply[32 + k], 0, 0, 0})) << k;
    }
    EXPECT_EQ(modes[0], kModeEmpty);
}

TEST(RepackLayer1, OptionsMoveToTheirOffsets) {
    // An options record whose sentinels are E0, E1 and F0 must not shift the later options.
    std::vector<uint8_t> reply = {0x01, 30};
    const uint8_t options[18] = {0xE0, 0xE1, 0xF0, 0xE0, 0xF0, 0x3F, 0x39, '5',  '0',
                                 '7',  0x42, 0x1F, 0x12, 0x0F, 0xE0, 0xF0, 0xE1, 0x01};
    reply.insert(reply.end(), options, options + 18);
    reply.insert(reply.end(), 12, 0x00);
    uint8_t store[16][1024] = {};
    int32_t modes[16] = {};
    ASSERT_EQ(DecodeLoadReply(reply.data(), static_cast<int>(reply.size()), store, modes),
              kDecodeOk);
    RepackLayer1(store[1]);
    const int offsets[18] = {0, 1, 4, 5, 8, 9, 12, 16, 17, 18, 20, 24, 28, 32, 36, 37, 40, 41};
    uint8_t expected[1024] = {};
    for (int k = 0; k < 18; ++k)
        expected[offsets[k]] = options[k];
    EXPECT_EQ(std::memcmp(store[1], expected, 1024), 0);
}

TEST(PackCustomLanguage, KeepsIndexAndAllTableBytes) {
    uint8_t layer2[1024] = {};
    for (int k = 0; k < 256; ++k)
        layer2[4 * k] = static_cast<uint8_t>(k + 1);
    layer2[1] = 0x77; // bytes between entries are not part of the record
    uint8_t custom[256];
    std::memset(custom, 0xCC, sizeof custom);
    PackCustomLanguage(layer2, custom);
    for (int k = 0; k < 191; ++k)
        EXPECT_EQ(custom[k], k + 1) << k;
    for (int k = 191; k < 256; ++k)
        EXPECT_EQ(custom[k], 0) << k;
}
