// Property: whatever valid record Save sends, a reader that returns those records (in any
// order) gives the same record back after Load's decode and repack, and saving that again
// sends the same frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "config/codec.h"
#include "config/msr_settings.h"
#include "keycodes/languages.h"

namespace {

using Rng = std::mt19937;

int Pick(Rng &rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

uint8_t NonZeroExcept(Rng &rng, std::initializer_list<int> excluded) {
    for (;;) {
        const int b = Pick(rng, 1, 255);
        if (std::find(excluded.begin(), excluded.end(), b) == excluded.end())
            return static_cast<uint8_t>(b);
    }
}

std::vector<uint8_t> RandomCode(Rng &rng) {
    switch (Pick(rng, 0, 4)) {
    case 0:
        return {NonZeroExcept(rng, {0xE0, 0xE1, 0xF0})};
    case 1:
        return {0xE0, NonZeroExcept(rng, {0xF0})};
    case 2:
        return {0xE0, 0xF0, NonZeroExcept(rng, {})};
    case 3:
        return {0xF0, NonZeroExcept(rng, {})};
    default:
        return {0xE1, NonZeroExcept(rng, {})};
    }
}

// A record as the window and editors can make it: options of any value, sequences within
// 20 entries and 20 bytes, ASCII text without escapes, a reading sequence 0..5.
void RandomRecord(Rng &rng, TMsrSettings &s, int &language) {
    std::memset(&s, 0, sizeof s);
    for (int offset : layer1::kOptionOffsets)
        s.Layer1(offset) = static_cast<uint8_t>(Pick(rng, 0, 255));
    for (int layer = 3; layer < 16; ++layer) {
        if (layer == kReadingSequenceLayer || Pick(rng, 0, 2) == 0) continue;
        const bool ascii = Pick(rng, 0, 1) == 1;
        const int count = Pick(rng, 1, 20);
        int bytes = 0;
        for (int i = 0; i < count; ++i) {
            const std::vector<uint8_t> code =
                ascii ? std::vector<uint8_t>{NonZeroExcept(rng, {'\\'})} : RandomCode(rng);
            if (bytes + static_cast<int>(code.size()) > 20) break;
            std::memcpy(&s.LayerStore[layer][4 * i], code.data(), code.size());
            bytes += static_cast<int>(code.size());
        }
        s.LayerModes[layer] = ascii ? kModeAscii : kModeCode;
    }
    s.ReadingSequence = Pick(rng, 0, 5);
    s.LayerStore[kReadingSequenceLayer][0] = static_cast<uint8_t>(s.ReadingSequence);
    if (s.ReadingSequence != 0) s.LayerModes[kReadingSequenceLayer] = kModeCode;

    language = Pick(rng, -1, 6);
    if (language < 0) { // a language the program does not list
        language = kUnknownLanguage;
        s.CustomLanguage[0] = static_cast<uint8_t>(Pick(rng, 7, 255));
        for (int k = 1; k < 191; ++k)
            s.CustomLanguage[k] = static_cast<uint8_t>(Pick(rng, 0, 255));
    }
}

// The reader returns the records it stored, in an order of its own.
std::vector<uint8_t> ReaderReply(Rng &rng, const uint8_t *block, int length) {
    std::vector<std::vector<uint8_t>> records;
    for (int pos = 0; pos < length; pos += 2 + block[pos + 1])
        records.emplace_back(block + pos, block + pos + 2 + block[pos + 1]);
    std::shuffle(records.begin(), records.end(), rng);
    std::vector<uint8_t> reply;
    for (const auto &r : records)
        reply.insert(reply.end(), r.begin(), r.end());
    return reply;
}

} // namespace

TEST(CodecRoundTrip, RandomRecordsSurviveSaveAndLoad) {
    Rng rng(20261207);
    auto sent = std::make_unique<TMsrSettings>();
    auto loaded = std::make_unique<TMsrSettings>();
    for (int iteration = 0; iteration < 3000; ++iteration) {
        SCOPED_TRACE(iteration);
        int language = 0;
        RandomRecord(rng, *sent, language);
        uint8_t frame[1024] = {0xAA, 0x7E};
        int length = 0;
        ASSERT_EQ(EncodeSaveBlock(sent->LayerStore, sent->LayerModes, language,
                                  sent->CustomLanguage, frame, length),
                  kEncodeOk);

        const std::vector<uint8_t> reply = ReaderReply(rng, frame + 2, length - 2);
        std::memset(loaded.get(), 0, sizeof *loaded);
        ASSERT_EQ(DecodeLoadReply(reply.data(), static_cast<int>(reply.size()), loaded->LayerStore,
                                  loaded->LayerModes),
                  kDecodeOk);
        RepackLayer1(loaded->LayerStore[1]);

        EXPECT_EQ(std::memcmp(loaded->LayerStore[1], sent->LayerStore[1], 1024), 0);
        for (int layer = 3; layer < 16; ++layer) {
            EXPECT_EQ(loaded->LayerModes[layer], sent->LayerModes[layer]) << layer;
            EXPECT_EQ(std::memcmp(loaded->LayerStore[layer], sent->LayerStore[layer], 1024), 0)
                << layer;
        }
        EXPECT_EQ(loaded->LayerStore[kReadingSequenceLayer][0], sent->ReadingSequence);

        // The language comes back whole, whether listed or not.
        PackCustomLanguage(loaded->LayerStore[2], loaded->CustomLanguage);
        if (language == kUnknownLanguage) {
            EXPECT_EQ(std::memcmp(loaded->CustomLanguage, sent->CustomLanguage, 191), 0);
        } else {
            EXPECT_EQ(loaded->CustomLanguage[0], language);
            EXPECT_EQ(std::memcmp(loaded->CustomLanguage + 1, kLanguageTables[language], 190), 0);
        }

        // Saving what was loaded (language kept as "UNKNOW") sends the very same frame.
        std::memset(loaded->LayerStore[2], 0, 1024);
        loaded->LayerModes[2] = kModeEmpty;
        uint8_t again[1024] = {0xAA, 0x7E};
        int againLength = 0;
        ASSERT_EQ(EncodeSaveBlock(loaded->LayerStore, loaded->LayerModes, kUnknownLanguage,
                                  loaded->CustomLanguage, again, againLength),
                  kEncodeOk);
        ASSERT_EQ(againLength, length);
        EXPECT_EQ(std::memcmp(again, frame, sizeof frame), 0);
        if (HasFailure()) break;
    }
}
