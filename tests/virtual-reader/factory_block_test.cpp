// The virtual reader's factory configuration is written out as data; the program's own encoder
// must produce exactly those bytes for the defaults that Set Default saves.
#include "config/codec.h"
#include "config/msr_settings.h"
#include "config/record_rules.h"
#include "virtual_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

TEST(FactoryBlock, EqualsTheBlockASaveOfTheDefaultsSends) {
    vr_reset();
    uint8_t stored[1024];
    int storedLength = vr_config_block(stored, sizeof stored);

    auto settings = std::make_unique<TMsrSettings>();
    FillDefaultRecord(*settings);
    uint8_t frame[1024] = {0xAA, 0x7E};
    int frameLength = 0;
    ASSERT_EQ(EncodeSaveBlock(settings->LayerStore, settings->LayerModes, kDefaultLanguage,
                              settings->CustomLanguage, frame, frameLength),
              0);
    ASSERT_EQ(frameLength, 227);
    EXPECT_EQ(std::vector<uint8_t>(stored, stored + storedLength),
              std::vector<uint8_t>(frame + 2, frame + frameLength));
}
