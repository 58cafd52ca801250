// Contactless command frames byte for byte, reply unpacking and the RF_ result codes.
#include "lorvane_fixture.h"

namespace {

// The message the reader received last, after its command byte 0xA8.
Bytes LastFrame() {
    Bytes m = LastMessage();
    if (m.empty() || m[0] != 0xA8) return {};
    return Bytes(m.begin() + 1, m.end());
}

// A reply frame on the wire, escaped as the reader does.
Bytes WireReply(uint8_t cmd, const Bytes &block) {
    Bytes frame = {0x00, 0x00, uint8_t(block.size() + 3), cmd};
    frame.insert(frame.end(), block.begin(), block.end());
    uint8_t sum = 0;
    for (size_t i = 2; i < frame.size(); ++i)
        sum = uint8_t(sum + frame[i]);
    frame.push_back(sum);
    Bytes wire = {0x02};
    for (uint8_t b : frame) {
        if (b == 0x02 || b == 0x03 || b == 0x10) wire.push_back(0x10);
        wire.push_back(b);
    }
    wire.push_back(0x03);
    return wire;
}

void NextReply(const Bytes &wire) {
    vr_set_next_reply(0x30, wire.data(), int(wire.size()));
}

using ContactlessTest = ReaderTest;

const uint8_t kKey[6] = {0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6};

TEST_F(ContactlessTest, FramesOfSimpleCommands) {
    int16_t type = 0;
    ASSERT_EQ(RF_Request(1, &type), 0);
    EXPECT_EQ(LastFrame(), (Bytes{0x02, 0x00, 0x00, 0x04, 0x46, 0x52, 0x9C, 0x03}));
    // Lead byte 0xA8 travels as 0x28 in the (only) report.
    int n = vr_written_report_count();
    EXPECT_EQ(WrittenReport(n - 1)[1], 0x28);
    EXPECT_EQ(type, 0x04);

    ASSERT_EQ(RF_Request(0, &type), 0);
    EXPECT_EQ(LastFrame(), (Bytes{0x02, 0x00, 0x00, 0x04, 0x46, 0x26, 0x70, 0x03}));
    ASSERT_EQ(RF_Antenna_Sta(1), 0);
    EXPECT_EQ(LastFrame(), (Bytes{0x02, 0x00, 0x00, 0x04, 0x05, 0x01, 0x0A, 0x03}));
    ASSERT_EQ(RF_Antenna_Sta(7), 0);
    EXPECT_EQ(LastFrame(), (Bytes{0x02, 0x00, 0x00, 0x04, 0x05, 0x01, 0x0A, 0x03}));
    ASSERT_EQ(RF_Antenna_Sta(0), 0);
    EXPECT_EQ(LastFrame(), (Bytes{0x02, 0x00, 0x00, 0x04, 0x05, 0x00, 0x09, 0x03}));
    ASSERT_EQ(RF_Init_Type(0), 0);
    EXPECT_EQ(LastFrame(), (Bytes{0x02, 0x00, 0x00, 0x04, 0x3A, 0x41, 0x7F, 0x03}));
    ASSERT_EQ(RF_Init_Type(1), 0);
    EXPECT_EQ(LastFrame()[5], 0x42);
    ASSERT_EQ(RF_Init_Type(9), 0);
    EXPECT_EQ(LastFrame()[5], 0x31);
}

TEST_F(ContactlessTest, FramesWithAddressesKeysAndValues) {
    RF_authentication(1, 15, kKey);
    EXPECT_EQ(LastFrame(), (Bytes{0x02, 0x00, 0x00, 0x0B, 0x4A, 0x61, 0x3C, 0x7B, 0x3E, 0x51, 0xA9,
                                  0xC4, 0xD6, 0x3F, 0x03}));
    RF_authentication(0, 2, kKey);
    EXPECT_EQ(LastFrame()[5], 0x60);
    EXPECT_EQ(LastFrame()[6], 0x08);

    uint8_t data[16];
    int16_t length = 0;
    RF_read(1, 2, data, &length);
    EXPECT_EQ(LastFrame(), (Bytes{0x02, 0x00, 0x00, 0x04, 0x4B, 0x06, 0x55, 0x03}));

    RF_initval(0, 1, 100);
    EXPECT_EQ(LastFrame(),
              (Bytes{0x02, 0x00, 0x00, 0x08, 0x4D, 0x01, 0x64, 0x00, 0x00, 0x00, 0xBA, 0x03}));
    RF_initval(0, 1, -1);
    EXPECT_EQ(LastFrame(),
              (Bytes{0x02, 0x00, 0x00, 0x08, 0x4D, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x52, 0x03}));
    RF_increment(3, 0, 0x01020304);
    EXPECT_EQ(LastFrame(), (Bytes{0x02, 0x00, 0x00, 0x08, 0x50, 0x0C, 0x04, 0x10, 0x03, 0x10, 0x02,
                                  0x01, 0x6E, 0x03}));
    RF_Debit(1, 1, 5);
    Bytes debit = LastFrame();
    EXPECT_EQ(Bytes(debit.begin() + 4, debit.begin() + 7), (Bytes{0x4F, 0x05, 0x05}));
    int32_t value;
    RF_readval(15, 3, &value);
    EXPECT_EQ(LastFrame()[5], 63);
}

TEST_F(ContactlessTest, EscapedDataAndEscapedChecksum) {
    // Length 0x14, code 0x4C, address 1, data 10 9F and zeros: checksum 0x110 -> 0x10.
    uint8_t data[16] = {0x10, 0x9F};
    RF_write(0, 1, data, 16);
    Bytes expected = {0x02, 0x00, 0x00, 0x14, 0x4C, 0x01, 0x10, 0x10, 0x9F};
    expected.insert(expected.end(), 14, 0x00);
    expected.insert(expected.end(), {0x10, 0x10, 0x03});
    EXPECT_EQ(LastFrame(), expected);

    // Checksums 0x02 and 0x03 are escaped the same way.
    data[0] = 0x01;
    data[1] = 0xA0; // 0x60 + 1 + 0xA1 = 0x102
    RF_write(0, 1, data, 16);
    Bytes f = LastFrame();
    EXPECT_EQ(Bytes(f.end() - 3, f.end()), (Bytes{0x10, 0x02, 0x03}));
    data[1] = 0xA1;
    RF_write(0, 1, data, 16);
    f = LastFrame();
    EXPECT_EQ(Bytes(f.end() - 3, f.end()), (Bytes{0x10, 0x03, 0x03}));

    // A length byte of 0x10 is escaped too (13 data bytes).
    uint8_t command[13] = {0x00, 0xA4, 0x04, 0x00, 0x08};
    uint8_t response[600];
    int16_t responseLength = 0;
    RF_COS(command, 13, response, &responseLength);
    f = LastFrame();
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 6), (Bytes{0x02, 0x00, 0x00, 0x10, 0x10, 0x54}));
}

TEST_F(ContactlessTest, ValuesAreDecodedLeastSignificantFirst) {
    int32_t value = 0;
    NextReply(WireReply(0x4E, {0x00, 0x10, 0x27, 0x00, 0x00}));
    ASSERT_EQ(RF_readval(0, 1, &value), 0);
    EXPECT_EQ(value, 10000);
    NextReply(WireReply(0x4E, {0x00, 0xFE, 0xFF, 0xFF, 0xFF}));
    ASSERT_EQ(RF_readval(0, 1, &value), 0);
    EXPECT_EQ(value, -2);
    NextReply(WireReply(0x4E, {0x00, 0x00, 0x00, 0x00, 0x80}));
    ASSERT_EQ(RF_readval(0, 1, &value), 0);
    EXPECT_EQ(value, INT32_MIN);
}

TEST_F(ContactlessTest, OutputsComeFromTheReplyBlock) {
    uint32_t serial = 0;
    int16_t serialLength = 0;
    NextReply(WireReply(0x47, {0x00, 0x11, 0x02, 0x33, 0x44, 0x66}));
    ASSERT_EQ(RF_Anticoll(4, &serial, &serialLength), 0);
    const uint8_t *s = reinterpret_cast<const uint8_t *>(&serial);
    EXPECT_EQ(Bytes(s, s + 4), (Bytes{0x11, 0x02, 0x33, 0x44}));
    EXPECT_EQ(serialLength, 4);
    EXPECT_EQ(LastFrame(), (Bytes{0x02, 0x00, 0x00, 0x04, 0x47, 0x04, 0x4F, 0x03}));

    uint32_t result = 0;
    int16_t length = 0;
    NextReply(WireReply(0x53, {0x00, 0xA1, 0xB2, 0xC3, 0xD4}));
    ASSERT_EQ(RF_Reset(1, &result, &length), 0);
    const uint8_t *r = reinterpret_cast<const uint8_t *>(&result);
    EXPECT_EQ(Bytes(r, r + 4), (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));
    EXPECT_EQ(length, 4);

    // A full read reply fills all 16 bytes.
    uint8_t data[16];
    Bytes block = {0x00};
    for (int i = 0; i < 16; ++i)
        block.push_back(uint8_t(0xF0 + i));
    NextReply(WireReply(0x4B, block));
    ASSERT_EQ(RF_read(0, 1, data, &length), 0);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(Bytes(data, data + 16), Bytes(block.begin() + 1, block.end()));

    // Bytes after the last end byte are ignored.
    Bytes wire = WireReply(0x46, {0x00, 0x44, 0x00});
    wire.insert(wire.end(), {0x77, 0x88});
    NextReply(wire);
    int16_t type = 0;
    ASSERT_EQ(RF_Request(1, &type), 0);
    EXPECT_EQ(type, 0x44);
}

TEST_F(ContactlessTest, SuccessfulRepliesTooShortForTheOutputsFail) {
    // A read reply with two data bytes would otherwise hand over its checksum and end byte.
    uint8_t data[16];
    std::memset(data, 0x5A, sizeof data);
    int16_t length = -7;
    NextReply(WireReply(0x4B, {0x00, 0x01, 0x02}));
    EXPECT_EQ(RF_read(0, 1, data, &length), -103);
    Bytes fifteen(16, 0x11);
    fifteen[0] = 0x00;
    NextReply(WireReply(0x4B, fifteen));
    EXPECT_EQ(RF_read(0, 1, data, &length), -103);
    for (uint8_t b : data)
        EXPECT_EQ(b, 0x5A);
    EXPECT_EQ(length, -7);

    int32_t value = -7;
    NextReply(WireReply(0x4E, {0x00, 0x10, 0x27, 0x00}));
    EXPECT_EQ(RF_readval(0, 1, &value), -103);
    EXPECT_EQ(value, -7);

    uint32_t serial = 0xDEADBEEF, result = 0xDEADBEEF;
    int16_t serialLength = -7;
    NextReply(WireReply(0x47, {0x00, 0x11, 0x22, 0x33}));
    EXPECT_EQ(RF_Anticoll(4, &serial, &serialLength), -103);
    NextReply(WireReply(0x53, {0x00}));
    EXPECT_EQ(RF_Reset(1, &result, &length), -103);
    EXPECT_EQ(serial, 0xDEADBEEFu);
    EXPECT_EQ(result, 0xDEADBEEFu);
    EXPECT_EQ(serialLength, -7);
    EXPECT_EQ(length, -7);

    int16_t type = -7;
    NextReply(WireReply(0x46, {0x00}));
    EXPECT_EQ(RF_Request(1, &type), -103);
    EXPECT_EQ(type, -7);

    // A failing status is still the result, however short the reply.
    NextReply(WireReply(0x4B, {0x02}));
    EXPECT_EQ(RF_read(0, 1, data, &length), 2);
    // Exactly the outputs' length is enough; commands without outputs need the status only.
    NextReply(WireReply(0x4E, {0x00, 0x10, 0x27, 0x00, 0x00}));
    EXPECT_EQ(RF_readval(0, 1, &value), 0);
    EXPECT_EQ(value, 10000);
    NextReply(WireReply(0x4C, {0x00}));
    EXPECT_EQ(RF_write(0, 1, data, 16), 0);
}

TEST_F(ContactlessTest, CosResponseLengthIsTheBlockLessItsStatus) {
    uint8_t command[5] = {0x00, 0xA4, 0x04, 0x00, 0x00};
    uint8_t response[600];
    int16_t responseLength = -1;
    NextReply(WireReply(0x54, {0x00, 0x90, 0x00}));
    ASSERT_EQ(RF_COS(command, 5, response, &responseLength), 0);
    EXPECT_EQ(responseLength, 2);
    EXPECT_EQ(response[0], 0x90);
    EXPECT_EQ(response[1], 0x00);
    // Status alone: no response bytes.
    std::memset(response, 0x5A, sizeof response);
    NextReply(WireReply(0x54, {0x00}));
    ASSERT_EQ(RF_COS(command, 5, response, &responseLength), 0);
    EXPECT_EQ(responseLength, 0);
    EXPECT_EQ(response[0], 0x5A);
    // The longest reply that fits the unstuffing area: 512 bytes, 504 response bytes.
    Bytes block(505, 0x41);
    block[0] = 0x00;
    NextReply(WireReply(0x54, block));
    ASSERT_EQ(RF_COS(command, 5, response, &responseLength), 0);
    EXPECT_EQ(responseLength, 504);
    EXPECT_EQ(response[503], 0x41);
    EXPECT_EQ(response[504], 0x5A);
}

TEST_F(ContactlessTest, NonzeroStatusLeavesOutputsUntouched) {
    vr_set_rf_status(1);
    int16_t type = -7, length = -7, serialLength = -7;
    uint32_t serial = 0xDEADBEEF, result = 0xDEADBEEF;
    int32_t value = -7;
    uint8_t data[16], response[600];
    std::memset(data, 0x5A, sizeof data);
    std::memset(response, 0x5A, sizeof response);
    uint8_t apdu[4] = {0x00, 0xA4, 0x04, 0x00};
    EXPECT_EQ(RF_Antenna_Sta(1), 1);
    EXPECT_EQ(RF_Init_Type(0), 1);
    EXPECT_EQ(RF_Request(1, &type), 1);
    EXPECT_EQ(RF_Anticoll(4, &serial, &serialLength), 1);
    EXPECT_EQ(RF_Select(reinterpret_cast<uint8_t *>(&serial), 4), 1);
    EXPECT_EQ(RF_authentication(0, 1, kKey), 1);
    EXPECT_EQ(RF_read(1, 0, data, &length), 1);
    EXPECT_EQ(RF_write(1, 0, data, 16), 1);
    EXPECT_EQ(RF_initval(1, 0, 5), 1);
    EXPECT_EQ(RF_readval(1, 0, &value), 1);
    EXPECT_EQ(RF_Debit(1, 0, 5), 1);
    EXPECT_EQ(RF_increment(1, 0, 5), 1);
    EXPECT_EQ(RF_Reset(1, &result, &length), 1);
    EXPECT_EQ(RF_COS(apdu, 4, response, &length), 1);
    EXPECT_EQ(type, -7);
    EXPECT_EQ(length, -7);
    EXPECT_EQ(serialLength, -7);
    EXPECT_EQ(serial, 0xDEADBEEFu);
    EXPECT_EQ(result, 0xDEADBEEFu);
    EXPECT_EQ(value, -7);
    for (uint8_t b : data)
        EXPECT_EQ(b, 0x5A);
    EXPECT_EQ(response[0], 0x5A);

    // A status from the transport is passed on the same way.
    vr_set_rf_status(-1);
    vr_set_status(0x31);
    EXPECT_EQ(RF_Request(1, &type), 49);
    EXPECT_EQ(type, -7);
}

TEST_F(ContactlessTest, EveryCommandDiscoversTheReaderAfresh) {
    int16_t type = 0;
    ASSERT_EQ(RF_Request(1, &type), 0);
    vr_set_report_length(33); // seen only by a new discovery
    vr_clear_log();
    ASSERT_EQ(RF_Request(1, &type), 0);
    EXPECT_EQ(WrittenReport(0).size(), 33u);
    EXPECT_EQ(vr_open_handles(), 1); // the previous handle was released
}

TEST_F(ContactlessTest, TransportFailuresArePassedOn) {
    vr_set_present(0);
    int16_t type = -7;
    EXPECT_EQ(RF_Request(1, &type), -91);
    vr_set_present(1);
    vr_set_status(0x00);
    EXPECT_EQ(RF_Request(1, &type), -96);
    EXPECT_EQ(type, -7);
}

TEST_F(ContactlessTest, OversizedDataIsRefusedBeforeAnythingIsSent) {
    uint8_t big[300] = {};
    uint8_t response[600];
    int16_t length = 0;
    EXPECT_EQ(RF_write(0, 1, big, 251), -100); // address + 251 = 252 data bytes
    EXPECT_EQ(RF_write(0, 1, big, -1), -100);
    EXPECT_EQ(RF_COS(big, 252, response, &length), -100);
    EXPECT_EQ(RF_COS(big, -3, response, &length), -100);
    EXPECT_EQ(RF_Select(big, 252), -100);
    EXPECT_EQ(vr_message_count(), 0);
    // 251 data bytes still travel (the reader refuses them: no card selected).
    EXPECT_EQ(RF_COS(big, 251, response, &length), 1);
    EXPECT_EQ(LastFrame().size(), 2u + 256u);
}

TEST_F(ContactlessTest, MalformedRepliesFailWithTheirOwnCodes) {
    int16_t type = -7;
    const uint8_t noEnd[] = {0x02, 0x00, 0x00, 0x04, 0x46, 0x00, 0x04, 0x00, 0x4E};
    vr_set_next_reply(0x30, noEnd, sizeof noEnd);
    EXPECT_EQ(RF_Request(1, &type), -102);
    vr_set_next_reply(0x30, nullptr, 0); // empty reply
    EXPECT_EQ(RF_Request(1, &type), -102);

    const uint8_t seven[] = {0x02, 0x00, 0x00, 0x04, 0x46, 0x4A, 0x03};
    vr_set_next_reply(0x30, seven, sizeof seven);
    EXPECT_EQ(RF_Request(1, &type), -103);
    // Escapes count once: 9 bytes on the wire, 7 unstuffed.
    const uint8_t escaped[] = {0x02, 0x10, 0x10, 0x00, 0x04, 0x46, 0x10, 0x03, 0x03};
    vr_set_next_reply(0x30, escaped, sizeof escaped);
    EXPECT_EQ(RF_Request(1, &type), -103);
    // Eight bytes carry the status, enough for a command without outputs.
    const uint8_t eight[] = {0x02, 0x00, 0x00, 0x04, 0x05, 0x00, 0x09, 0x03};
    vr_set_next_reply(0x30, eight, sizeof eight);
    EXPECT_EQ(RF_Antenna_Sta(1), 0);

    Bytes big(600, 0x41);
    big.push_back(0x03);
    type = -7;
    vr_set_next_reply(0x30, big.data(), int(big.size()));
    EXPECT_EQ(RF_Request(1, &type), -104);
    big.erase(big.begin(), big.begin() + 88); // 513 bytes
    vr_set_next_reply(0x30, big.data(), int(big.size()));
    EXPECT_EQ(RF_Request(1, &type), -104);
    big.erase(big.begin()); // 512 bytes fit
    big[4] = 0x46;
    big[5] = 0;
    uint8_t sum = 0;
    for (size_t i = 3; i < big.size() - 2; ++i)
        sum = uint8_t(sum + big[i]);
    big[big.size() - 2] = sum;
    vr_set_next_reply(0x30, big.data(), int(big.size()));
    EXPECT_EQ(RF_Request(1, &type), 0);
    EXPECT_EQ(type, 0x41);
}

} // namespace

namespace {

// A reply is taken only when it answers the command sent: another command's echo, or a
// checksum that does not add up, is dropped and the read goes on.
TEST_F(ContactlessTest, RepliesOfAnotherCommandAreDiscarded) {
    int16_t type = 0, length = 0;
    uint32_t serial = 0;
    ASSERT_EQ(RF_Request(1, &type), 0);
    ASSERT_EQ(RF_Anticoll(4, &serial, &length), 0);
    ASSERT_EQ(RF_Select(reinterpret_cast<uint8_t *>(&serial), 4), 0);

    // The authentication's success comes first, then the write's refusal of block 0.
    uint8_t block0[16], data[32] = {0x11};
    vr_card_block(0, block0);
    ASSERT_EQ(RF_authentication(0, 0, kKey), 0);
    vr_fault_next(VR_FAULT_STALE);
    EXPECT_EQ(RF_write(0, 0, data, 32), 6);
    uint8_t now[16];
    vr_card_block(0, now);
    EXPECT_EQ(Bytes(now, now + 16), Bytes(block0, block0 + 16));

    // A debit of a block that holds no value.
    ASSERT_EQ(RF_authentication(0, 1, kKey), 0);
    vr_fault_next(VR_FAULT_STALE);
    EXPECT_EQ(RF_Debit(1, 0, 5), 4);

    // Nothing else arrives after a dropped reply: the read fails instead of taking it.
    vr_set_fail_when_empty(1);
    int32_t value = -7;
    struct {
        const char *what;
        Bytes wire;
    } const dropped[] = {
        {"another echo", WireReply(0x4B, {0x00, 0x07, 0x00, 0x00, 0x00})},
        {"bad checksum",
         [] {
             Bytes w = WireReply(0x4E, {0x00, 0x07, 0x00, 0x00, 0x00});
             w[w.size() - 2] ^= 0x01;
             return w;
         }()},
    };
    for (const auto &d : dropped) {
        NextReply(d.wire);
        EXPECT_EQ(RF_readval(1, 0, &value), -97) << d.what;
        EXPECT_EQ(value, -7) << d.what;
    }
    NextReply(WireReply(0x4E, {0x00, 0x07, 0x00, 0x00, 0x00}));
    EXPECT_EQ(RF_readval(1, 0, &value), 0);
    EXPECT_EQ(value, 7);
}

} // namespace
