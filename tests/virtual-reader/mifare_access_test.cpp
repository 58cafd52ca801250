// The virtual card's stricter behaviour: single commands failing, halting on a wrong key,
// access conditions and blocked sectors.
#include "lorvane_fixture.h"

namespace {

using MifareAccessTest = ReaderTest;

const uint8_t kKey[6] = {0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6};

int Search() {
    int16_t type = 0, length = 0;
    uint32_t serial = 0;
    if (int r = RF_Request(1, &type)) return r;
    if (int r = RF_Anticoll(4, &serial, &length)) return r;
    return RF_Select(reinterpret_cast<const uint8_t *>(&serial), length);
}

// A trailer with the default keys and these access bytes.
Bytes Trailer(uint8_t b6, uint8_t b7, uint8_t b8) {
    Bytes t(kKey, kKey + 6);
    t.insert(t.end(), {b6, b7, b8, 0x69});
    t.insert(t.end(), kKey, kKey + 6);
    return t;
}

TEST_F(MifareAccessTest, OneCommandFailsWithItsStatus) {
    vr_set_rf_command_status(0x4B, 9);
    ASSERT_EQ(Search(), 0);
    ASSERT_EQ(RF_authentication(0, 1, kKey), 0);
    uint8_t data[16] = {};
    int16_t length = 0;
    EXPECT_EQ(RF_read(1, 0, data, &length), 9);
    EXPECT_EQ(RF_write(1, 0, data, 16), 0); // other commands are untouched
    vr_set_rf_command_status(0x4B, -1);
    EXPECT_EQ(RF_read(1, 0, data, &length), 0);
    // A forced success carries no data: too short for the read's outputs.
    vr_set_rf_command_status(0x4B, 0);
    EXPECT_EQ(RF_read(1, 0, data, &length), -103);
    vr_reset();
    EXPECT_EQ(Search(), 0);
    ASSERT_EQ(RF_authentication(0, 1, kKey), 0);
    EXPECT_EQ(RF_read(1, 0, data, &length), 0);
}

TEST_F(MifareAccessTest, WrongKeyHaltsTheCardOnlyWhenAsked) {
    const uint8_t wrong[6] = {};
    ASSERT_EQ(Search(), 0);
    EXPECT_EQ(RF_authentication(0, 1, wrong), 2);
    EXPECT_EQ(RF_authentication(0, 1, kKey), 0); // still selected: off by default
    EXPECT_EQ(vr_card_halted(), 0);

    vr_set_halt_on_wrong_key(1);
    EXPECT_EQ(RF_authentication(0, 1, wrong), 2);
    EXPECT_EQ(vr_card_halted(), 1);
    EXPECT_EQ(RF_authentication(0, 1, kKey), 1); // no card selected any more
    int16_t type = 0;
    EXPECT_EQ(RF_Request(0, &type), 1); // idle cards only: a halted card keeps still
    EXPECT_EQ(Search(), 0);             // all cards: it wakes
    EXPECT_EQ(vr_card_halted(), 0);
    EXPECT_EQ(RF_authentication(0, 1, kKey), 0);

    // Taking the card out of the field, or the antenna off, powers it down.
    EXPECT_EQ(RF_authentication(0, 1, wrong), 2);
    vr_set_card_present(0);
    vr_set_card_present(1);
    EXPECT_EQ(vr_card_halted(), 0);
    EXPECT_EQ(RF_authentication(0, 1, wrong), 1);
    ASSERT_EQ(Search(), 0);
    EXPECT_EQ(RF_authentication(0, 1, wrong), 2);
    ASSERT_EQ(RF_Antenna_Sta(0), 0);
    EXPECT_EQ(vr_card_halted(), 0);
}

TEST_F(MifareAccessTest, BrokenAccessBytesBlockTheSector) {
    EXPECT_EQ(vr_sector_blocked(2), 0);
    EXPECT_EQ(vr_sector_blocked(16), -1);
    EXPECT_EQ(vr_sector_blocked(-1), -1);
    const Bytes broken = Trailer(0xFF, 0x07, 0x81);
    vr_set_card_block(11, broken.data());
    EXPECT_EQ(vr_sector_blocked(2), 1);
    ASSERT_EQ(Search(), 0);
    EXPECT_EQ(RF_authentication(0, 2, kKey), 0); // not enforced by default
    vr_set_access_conditions(1);
    EXPECT_EQ(RF_authentication(0, 2, kKey), 2);
    EXPECT_EQ(RF_authentication(0, 3, kKey), 0);

    // Writing broken access bytes is taken, and blocks the sector from then on.
    const Bytes zeros(16, 0);
    ASSERT_EQ(RF_write(3, 3, zeros.data(), 16), 0);
    EXPECT_EQ(vr_sector_blocked(3), 1);
    EXPECT_EQ(RF_authentication(0, 3, zeros.data()), 2);
}

TEST_F(MifareAccessTest, AccessConditionsOfDataBlocks) {
    vr_set_access_conditions(1);
    // Blocks 0..2 of sector 1 as value blocks (110), the trailer writable with key B (011).
    const Bytes valueSector = Trailer(0x08, 0x77, 0x8F);
    vr_set_card_block(7, valueSector.data());
    ASSERT_EQ(Search(), 0);
    ASSERT_EQ(RF_authentication(0, 1, kKey), 0); // key A
    uint8_t data[16] = {};
    int16_t length = 0;
    int32_t value = 0;
    EXPECT_EQ(RF_read(1, 0, data, &length), 0);
    EXPECT_EQ(RF_write(1, 0, data, 16), 6);
    EXPECT_EQ(RF_initval(1, 0, 5), 6);
    EXPECT_EQ(RF_increment(1, 0, 5), 6);
    ASSERT_EQ(RF_authentication(1, 1, kKey), 0); // key B (not readable here: a real key)
    EXPECT_EQ(RF_initval(1, 0, 5), 0);
    EXPECT_EQ(RF_increment(1, 0, 5), 0);
    ASSERT_EQ(RF_authentication(0, 1, kKey), 0);
    EXPECT_EQ(RF_Debit(1, 0, 3), 0);
    EXPECT_EQ(RF_readval(1, 0, &value), 0);
    EXPECT_EQ(value, 7);

    // The card's default trailer (001): data blocks open to key A; key B is readable, so it
    // is data and opens nothing.
    ASSERT_EQ(RF_authentication(0, 2, kKey), 0);
    EXPECT_EQ(RF_write(2, 1, data, 16), 0);
    ASSERT_EQ(RF_authentication(1, 2, kKey), 0);
    EXPECT_EQ(RF_read(2, 1, data, &length), 6);
    EXPECT_EQ(RF_write(2, 1, data, 16), 6);
}

TEST_F(MifareAccessTest, AccessConditionsOfTrailers) {
    vr_set_access_conditions(1);
    const Bytes valueSector = Trailer(0x08, 0x77, 0x8F); // trailer 011
    vr_set_card_block(7, valueSector.data());
    ASSERT_EQ(Search(), 0);
    uint8_t data[16];
    int16_t length = 0;
    // Key A reads the access bytes, never key B under 011.
    ASSERT_EQ(RF_authentication(0, 1, kKey), 0);
    ASSERT_EQ(RF_read(1, 3, data, &length), 0);
    EXPECT_EQ(Bytes(data, data + 16),
              (Bytes{0, 0, 0, 0, 0, 0, 0x08, 0x77, 0x8F, 0x69, 0, 0, 0, 0, 0, 0}));
    // Key A may not write any of it; key B may.
    Bytes changed = valueSector;
    changed[0] = 0x11;
    EXPECT_EQ(RF_write(1, 3, changed.data(), 16), 6);
    ASSERT_EQ(RF_authentication(1, 1, kKey), 0);
    EXPECT_EQ(RF_write(1, 3, changed.data(), 16), 0);
    uint8_t stored[16];
    vr_card_block(7, stored);
    EXPECT_EQ(Bytes(stored, stored + 16), changed);

    // The default trailer (001): key A writes everything.
    ASSERT_EQ(RF_authentication(0, 2, kKey), 0);
    ASSERT_EQ(RF_read(2, 3, data, &length), 0);
    EXPECT_EQ(Bytes(data + 6, data + 16),
              (Bytes{0xFF, 0x07, 0x80, 0x69, 0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6}));
    const Bytes locked = Trailer(0x00, 0xF0, 0xFF); // 111 everywhere
    ASSERT_EQ(RF_write(2, 3, locked.data(), 16), 0);
    // Now nothing may change and the data blocks are shut.
    ASSERT_EQ(RF_authentication(0, 2, kKey), 0);
    EXPECT_EQ(RF_write(2, 3, Trailer(0xFF, 0x07, 0x80).data(), 16), 6);
    EXPECT_EQ(RF_read(2, 0, data, &length), 6);
    EXPECT_EQ(vr_sector_blocked(2), 0);
}

} // namespace
