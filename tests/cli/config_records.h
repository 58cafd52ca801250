#pragma once
// Configuration records for the command-line tests: the reader's factory options, one that
// changes something in every part show prints, and their blocks and settings files.
#include "cli_run.h"
#include "config/codec.h"
#include "config/msr_settings.h"
#include "config/settings_file.h"

#include <functional>
#include <memory>

namespace clitest {

constexpr uint8_t kFactoryOptions[18] = {'%', '?', ';',  '?', ';',  '?', 0x39, '5', '6',
                                         '7', 0,   0x1F, 0,   0x1F, '!', '?',  '*', '?'};

inline std::unique_ptr<TMsrSettings>
Record(const uint8_t (&options)[18], const std::function<void(TMsrSettings &)> &layers = {}) {
    auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0, sizeof *s);
    for (int k = 0; k < 18; ++k)
        s->Layer1(layer1::kOptionOffsets[k]) = options[k];
    if (layers) layers(*s);
    return s;
}

inline Bytes Encoded(const TMsrSettings &s, int language) {
    uint8_t frame[1024] = {};
    int length = 0;
    EXPECT_EQ(
        EncodeSaveBlock(s.LayerStore, s.LayerModes, language, s.CustomLanguage, frame, length), 0);
    return Bytes(frame + 2, frame + length);
}

inline void PutEntries(TMsrSettings &s, int layer, int32_t mode,
                       const std::vector<Bytes> &entries) {
    for (size_t i = 0; i < entries.size(); ++i)
        std::memcpy(s.LayerStore[layer] + 4 * i, entries[i].data(), entries[i].size());
    s.LayerModes[layer] = mode;
}

// A configuration with something in every part `show` prints: tracks 2 and 3 on in the
// sequence "2-1-3" (track 2 with Enter), track 3's sentinels left empty, beep off, IBM and
// any-valid-track on, iButton attach "4-Other" from 3 for 12, removal "1-CRC,ID" with the
// record's own (ignored) range, no JIS2 sentinels, and three sequences.
constexpr uint8_t kChangedOptions[18] = {'%', '?',  ';',  '?',  0x01, 0x01, 0x34, '6', '0',
                                         '3', 0x42, 0x0B, 0x12, 0x1F, '[',  ']',  0,   0};
inline void ChangedLayers(TMsrSettings &s) {
    s.LayerStore[kReadingSequenceLayer][0] = 2;
    PutEntries(s, 3, kModeAscii, {{'a'}, {0x0D}, {'b'}});
    PutEntries(s, 5, kModeCode,
               {{0x12}, {0x1C}, {0xF0, 0x12}, {0xE0, 0xF0, 0x1F}, {0xE0, 0x99}, {0x30}});
    PutEntries(s, 10, kModeCode, {{0x5A}});
}

// The settings file of a record, as Save File writes it.
inline Bytes FileOf(TMsrSettings &s, int language) {
    PutFileLanguage(s, language);
    const TSettingsImage image = SettingsImageOf(s);
    return Bytes(image.begin(), image.end());
}

} // namespace clitest
