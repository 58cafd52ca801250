// The virtual reader's side of each command, driven through lorvane's exports the way the
// program drives a real reader, and its control API.
#include "lorvane_fixture.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace {

using VirtualReaderTest = ReaderTest;

// One transaction as the program runs it: open, write, read, close.
struct Exchange {
    int write = -1, read = -1, length = -1;
    Bytes reply;
};

Exchange Transact(const Bytes &frame) {
    Exchange e;
    if (HID_Init() != 0) return e;
    Bytes copy = frame;
    e.write = HID_WRITE(copy.data(), int(copy.size()), 2, nullptr);
    uint8_t reply[1024] = {};
    int length = -1;
    if (e.write == 0) e.read = HID_READ(reply, &length, 2, nullptr);
    if (e.read == 0) {
        e.length = length;
        e.reply.assign(reply, reply + length);
    }
    HID_Close();
    return e;
}

// --- the magnetic-stripe reader ------------------------------------------------------------

TEST_F(VirtualReaderTest, FreshReaderHoldsTheFactoryConfiguration) {
    Exchange e = Transact({0xA9, 0x7E});
    ASSERT_EQ(e.read, 0);
    ASSERT_EQ(e.length, 225);
    const Bytes &b = e.reply;
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 20),
              (Bytes{0x01, 0x1E, '%',  '?',  ';',  '?',  ';', '?', 0x39, '5',
                     '6',  '7',  0x00, 0x1F, 0x00, 0x1F, '!', '?', '*',  '?'}));
    EXPECT_TRUE(std::all_of(b.begin() + 20, b.begin() + 32, [](uint8_t x) { return x == 0; }));
    EXPECT_EQ(Bytes(b.begin() + 32, b.begin() + 35), (Bytes{0x02, 0xBF, 0x00}));
    auto entry = [&](char c) {
        return Bytes{b[size_t(35 + 2 * (c - 0x20))], b[size_t(36 + 2 * (c - 0x20))]};
    };
    EXPECT_EQ(entry(' '), (Bytes{0x00, 0x2C}));
    EXPECT_EQ(entry('A'), (Bytes{0x00, 0x04}));
    EXPECT_EQ(entry('a'), (Bytes{0x00, 0x04}));
    EXPECT_EQ(entry('1'), (Bytes{0x00, 0x1E}));
    EXPECT_EQ(entry('?'), (Bytes{0x02, 0x38}));
    EXPECT_EQ(entry('~'), (Bytes{0x02, 0x35}));
}

TEST_F(VirtualReaderTest, WrittenConfigurationIsReadBack) {
    Bytes frame = {0xAA, 0x7E};
    Bytes block = {0x01, 0x1E};
    for (int i = 0; i < 30; ++i)
        block.push_back(uint8_t(0x20 + i));
    block.insert(block.end(), {0x03, 0x02, 0x1C, 0x32}); // a header layer
    frame.insert(frame.end(), block.begin(), block.end());
    Exchange w = Transact(frame);
    EXPECT_EQ(w.read, 0);
    EXPECT_EQ(w.length, 0); // status only
    Exchange r = Transact({0xA9, 0x7E});
    ASSERT_EQ(r.read, 0);
    EXPECT_EQ(r.reply, block);

    // A blank reader, set through the control API.
    const uint8_t blank[] = {0x00, 0xFF};
    vr_set_config_block(blank, 2);
    r = Transact({0xA9, 0x7E});
    EXPECT_EQ(r.reply, (Bytes{0x00, 0xFF}));
}

TEST_F(VirtualReaderTest, VersionCarriesTheBrandWordInMixedCase) {
    Exchange e = Transact({0xAD});
    ASSERT_EQ(e.read, 0);
    ASSERT_FALSE(e.reply.empty());
    EXPECT_EQ(e.reply.back(), 0); // ends in a NUL
    std::string text(reinterpret_cast<const char *>(e.reply.data()));
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_NE(upper.find("KELDO"), std::string::npos);
    EXPECT_EQ(text.find("KELDO"), std::string::npos);

    vr_set_version_text("keldo V2");
    e = Transact({0xAD});
    EXPECT_STREQ(reinterpret_cast<const char *>(e.reply.data()), "keldo V2");
}

TEST_F(VirtualReaderTest, ModesAndStatusAnswers) {
    EXPECT_EQ(vr_mode(), 0);
    EXPECT_EQ(Transact({0xAE, 0x01}).read, 0);
    EXPECT_EQ(vr_mode(), 1);
    EXPECT_EQ(Transact({0xAE, 0x00}).read, 0);
    EXPECT_EQ(vr_mode(), 0);
    EXPECT_EQ(Transact({0xAE, 0x05}).read, 0x45);
    EXPECT_EQ(Transact({0xB3}).read, 0x45); // unknown command

    vr_set_command_status(0xA9, 0x41);
    EXPECT_EQ(Transact({0xA9, 0x7E}).read, 0x41);
    EXPECT_EQ(Transact({0xAD}).read, 0);
    vr_set_command_status(0xA9, -1);
    EXPECT_EQ(Transact({0xA9, 0x7E}).read, 0);

    // Messages are logged whole, with the command byte's bit 7.
    vr_clear_log();
    Transact({0xAE, 0x01});
    EXPECT_EQ(vr_message_count(), 1);
    EXPECT_EQ(LastMessage(), (Bytes{0xAE, 0x01}));
}

TEST_F(VirtualReaderTest, SilentReaderTakesMessagesButIgnoresThem) {
    vr_set_silent(1);
    vr_set_fail_when_empty(1); // fail at once instead of the 5 s wait
    Exchange e = Transact({0xAE, 0x01});
    EXPECT_EQ(e.write, 0);
    EXPECT_EQ(e.read, -97);
    EXPECT_EQ(vr_mode(), 0); // nor acted on it
    EXPECT_EQ(LastMessage(), (Bytes{0xAE, 0x01}));
}

TEST_F(VirtualReaderTest, PacingSpacesTheReports) {
    vr_set_report_delay_us(2000);
    ASSERT_EQ(HID_Init(), 0);
    uint8_t frame[2] = {0xA9, 0x7E}, reply[1024];
    int length = 0;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(HID_WRITE(frame, 2, 2, nullptr), 0);
    ASSERT_EQ(HID_READ(reply, &length, 2, nullptr), 0);
    auto elapsed = std::chrono::steady_clock::now() - start;
    // One report out, four in (225 bytes): 5 x 2 ms at least.
    EXPECT_GE(elapsed, std::chrono::milliseconds(10));
    EXPECT_EQ(length, 225);
}

// --- the IC card slot ----------------------------------------------------------------------

TEST_F(VirtualReaderTest, IcCardPowerAndApdus) {
    EXPECT_EQ(Transact({0xA7, 0x00, 0xA4, 0x04, 0x00}).read, 0x31); // not powered yet
    Exchange up = Transact({0xA6, 0x00});
    ASSERT_EQ(up.read, 0);
    EXPECT_EQ(up.reply, (Bytes{0x3B, 0x02, 0x14, 0x50}));
    EXPECT_EQ(vr_ic_powered(), 1);

    EXPECT_EQ(Transact({0xA7, 0x00, 0xA4, 0x04, 0x00, 0x00}).reply, (Bytes{0x90, 0x00}));
    Exchange challenge = Transact({0xA7, 0x00, 0x84, 0x00, 0x00, 0x04});
    ASSERT_EQ(challenge.length, 6);
    EXPECT_EQ(Bytes(challenge.reply.end() - 2, challenge.reply.end()), (Bytes{0x90, 0x00}));
    EXPECT_EQ(Transact({0xA7, 0x00, 0xB0, 0x00, 0x00, 0x03}).reply,
              (Bytes{0x00, 0x01, 0x02, 0x90, 0x00}));
    EXPECT_EQ(Transact({0xA7, 0x00, 0x12, 0x00, 0x00}).reply, (Bytes{0x6D, 0x00}));
    EXPECT_EQ(Transact({0xA7, 0x80, 0xA4, 0x00, 0x00}).reply, (Bytes{0x6E, 0x00}));
    EXPECT_EQ(Transact({0xA7, 0x00, 0xA4}).reply, (Bytes{0x67, 0x00}));
    Exchange empty = Transact({0xA7}); // an empty entry sends the command byte alone
    EXPECT_EQ(empty.reply, (Bytes{0x67, 0x00}));

    Exchange down = Transact({0xA5, 0x00});
    EXPECT_EQ(down.read, 0);
    EXPECT_EQ(down.length, 0);
    EXPECT_EQ(vr_ic_powered(), 0);

    vr_set_ic_card_present(0);
    EXPECT_EQ(Transact({0xA6, 0x00}).read, 0x31);
}

// --- the Mifare One card -------------------------------------------------------------------

const uint8_t kKey[6] = {0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6};

// The window's search sequence.
int SearchCard(uint32_t &serial) {
    int16_t type = 0, length = 0;
    if (int r = RF_Antenna_Sta(0)) return r;
    if (int r = RF_Init_Type(0)) return r;
    if (int r = RF_Antenna_Sta(1)) return r;
    if (int r = RF_Request(1, &type)) return r;
    if (int r = RF_Anticoll(4, &serial, &length)) return r;
    return RF_Select(reinterpret_cast<const uint8_t *>(&serial), length);
}

TEST_F(VirtualReaderTest, SearchFindsTheCard) {
    uint32_t serial = 0;
    ASSERT_EQ(SearchCard(serial), 0);
    const uint8_t *s = reinterpret_cast<const uint8_t *>(&serial);
    EXPECT_EQ(Bytes(s, s + 4), (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));

    vr_remove_card();
    EXPECT_EQ(SearchCard(serial), 1);
    vr_set_card_present(1);
    const uint8_t uid[4] = {0x01, 0x02, 0x03, 0x04};
    vr_set_card_uid(uid);
    ASSERT_EQ(SearchCard(serial), 0);
    EXPECT_EQ(Bytes(s, s + 4), (Bytes{0x01, 0x02, 0x03, 0x04}));

    // Selecting another serial number fails.
    const uint8_t other[4] = {9, 9, 9, 9};
    int16_t type;
    ASSERT_EQ(RF_Request(1, &type), 0);
    EXPECT_EQ(RF_Select(other, 4), 1);
}

TEST_F(VirtualReaderTest, AuthenticationGatesBlockAccess) {
    uint8_t data[16];
    int16_t length = 0;
    EXPECT_EQ(RF_authentication(0, 1, kKey), 1); // no card selected yet
    uint32_t serial;
    ASSERT_EQ(SearchCard(serial), 0);
    EXPECT_EQ(RF_read(1, 0, data, &length), 3); // not authenticated

    const uint8_t wrong[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(RF_authentication(0, 1, wrong), 2);
    EXPECT_EQ(RF_read(1, 0, data, &length), 3);

    ASSERT_EQ(RF_authentication(0, 1, kKey), 0);
    EXPECT_EQ(RF_read(1, 2, data, &length), 0);
    EXPECT_EQ(RF_read(2, 0, data, &length), 3);  // another sector
    ASSERT_EQ(RF_authentication(1, 2, kKey), 0); // key B
    EXPECT_EQ(RF_read(2, 0, data, &length), 0);
    EXPECT_EQ(RF_read(1, 2, data, &length), 3);

    // The sector trailer reads with key A hidden.
    ASSERT_EQ(RF_read(2, 3, data, &length), 0);
    EXPECT_EQ(Bytes(data, data + 16), (Bytes{0, 0, 0, 0, 0, 0, 0xFF, 0x07, 0x80, 0x69, 0x7B, 0x3E,
                                             0x51, 0xA9, 0xC4, 0xD6}));

    // Antenna off drops the card.
    ASSERT_EQ(RF_Antenna_Sta(0), 0);
    EXPECT_EQ(RF_read(2, 0, data, &length), 1);
}

TEST_F(VirtualReaderTest, BlocksAreWrittenAndReadBack) {
    uint32_t serial;
    ASSERT_EQ(SearchCard(serial), 0);
    ASSERT_EQ(RF_authentication(0, 5, kKey), 0);
    // The window sends 32 bytes: the block and 16 zeros.
    uint8_t bytes[32] = {};
    for (int i = 0; i < 16; ++i)
        bytes[i] = uint8_t(0xC0 + i);
    ASSERT_EQ(RF_write(5, 1, bytes, 32), 0);
    uint8_t data[16];
    int16_t length = 0;
    ASSERT_EQ(RF_read(5, 1, data, &length), 0);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(Bytes(data, data + 16), Bytes(bytes, bytes + 16));
    uint8_t stored[16];
    ASSERT_EQ(vr_card_block(21, stored), 0);
    EXPECT_EQ(Bytes(stored, stored + 16), Bytes(bytes, bytes + 16));
    EXPECT_EQ(RF_write(5, 1, bytes, 10), 5); // too short for a block

    // Block 0 holds the serial number and cannot be written.
    ASSERT_EQ(RF_authentication(0, 0, kKey), 0);
    EXPECT_EQ(RF_write(0, 0, bytes, 16), 6);
}

TEST_F(VirtualReaderTest, NewKeysInATrailerTakeEffect) {
    uint32_t serial;
    ASSERT_EQ(SearchCard(serial), 0);
    ASSERT_EQ(RF_authentication(0, 3, kKey), 0);
    uint8_t trailer[16] = {1, 2, 3, 4, 5, 6, 0xFF, 0x07, 0x80, 0x69, 6, 5, 4, 3, 2, 1};
    ASSERT_EQ(RF_write(3, 3, trailer, 16), 0);
    EXPECT_EQ(RF_authentication(0, 3, kKey), 2);
    EXPECT_EQ(RF_authentication(0, 3, trailer), 0);
    EXPECT_EQ(RF_authentication(1, 3, trailer + 10), 0);
    EXPECT_EQ(RF_authentication(0, 4, kKey), 0); // other sectors keep theirs
}

TEST_F(VirtualReaderTest, ValueBlocks) {
    uint32_t serial;
    ASSERT_EQ(SearchCard(serial), 0);
    ASSERT_EQ(RF_authentication(0, 1, kKey), 0);
    int32_t value = 0;
    EXPECT_EQ(RF_readval(1, 0, &value), 4); // a zero block is no value block
    ASSERT_EQ(RF_initval(1, 0, 100), 0);
    uint8_t b[16];
    ASSERT_EQ(vr_card_block(4, b), 0);
    EXPECT_EQ(Bytes(b, b + 16), (Bytes{0x64, 0, 0, 0, 0x9B, 0xFF, 0xFF, 0xFF, 0x64, 0, 0, 0, 0x04,
                                       0xFB, 0x04, 0xFB}));
    ASSERT_EQ(RF_increment(1, 0, 50), 0);
    ASSERT_EQ(RF_readval(1, 0, &value), 0);
    EXPECT_EQ(value, 150);
    ASSERT_EQ(RF_Debit(1, 0, 200), 0);
    ASSERT_EQ(RF_readval(1, 0, &value), 0);
    EXPECT_EQ(value, -50);
    ASSERT_EQ(RF_initval(1, 1, 2500), 0);
    ASSERT_EQ(RF_readval(1, 1, &value), 0);
    EXPECT_EQ(value, 2500);

    EXPECT_EQ(RF_initval(1, 3, 1), 6);   // not on a trailer
    EXPECT_EQ(RF_increment(1, 2, 1), 4); // block 2 holds no value
    EXPECT_EQ(RF_readval(2, 0, &value), 3);
    // A damaged copy makes it no value block any more.
    b[8] ^= 1;
    vr_set_card_block(4, b);
    EXPECT_EQ(RF_readval(1, 0, &value), 4);
}

TEST_F(VirtualReaderTest, CosAndResetOnTheCard) {
    uint32_t serial;
    uint8_t response[600];
    int16_t length = 0;
    uint8_t select[5] = {0x00, 0xA4, 0x04, 0x00, 0x00};
    EXPECT_EQ(RF_COS(select, 5, response, &length), 1); // no card selected
    uint32_t result = 0;
    int16_t resultLength = 0;
    ASSERT_EQ(RF_Reset(1, &result, &resultLength), 0);
    EXPECT_EQ(resultLength, 4);
    const uint8_t *r = reinterpret_cast<const uint8_t *>(&result);
    EXPECT_EQ(Bytes(r, r + 4), (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));
    ASSERT_EQ(RF_COS(select, 5, response, &length), 0);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(Bytes(response, response + 2), (Bytes{0x90, 0x00}));
    uint8_t challenge[5] = {0x00, 0x84, 0x00, 0x00, 0x08};
    ASSERT_EQ(RF_COS(challenge, 5, response, &length), 0);
    EXPECT_EQ(length, 10);
    (void)serial;
}

TEST_F(VirtualReaderTest, BadContactlessFramesAreAnsweredWithStatus5) {
    ASSERT_EQ(HID_Init(), 0);
    // RF_Request's frame with a wrong checksum.
    uint8_t frame[] = {0xA8, 0x02, 0x00, 0x00, 0x04, 0x46, 0x52, 0x9D, 0x03};
    ASSERT_EQ(HID_WRITE(frame, sizeof frame, 2, nullptr), 0);
    uint8_t reply[1024];
    int length = 0;
    ASSERT_EQ(HID_READ(reply, &length, 2, nullptr), 0);
    ASSERT_GE(length, 8);
    EXPECT_EQ(reply[4], 0x46);
    EXPECT_EQ(reply[5], 5);
    EXPECT_EQ(reply[length - 1], 0x03);
}

// What the system's hidapi shows of a reader's hidraw node (see the emulated reader), at
// hidapi's own calls.
TEST_F(VirtualReaderTest, HandlesBehaveAsFilesOfAHidrawNode) {
    hid_device *a = hid_open_path("virtual-reader:0"), *b = hid_open_path("virtual-reader:0");
    ASSERT_TRUE(a && b);
    uint8_t in[65];
    // Every open file receives every input report, whichever wrote the message.
    uint8_t version[65] = {0x08, 0x2D};
    ASSERT_EQ(hid_write(a, version, sizeof version), 65);
    for (hid_device *h : {a, b}) {
        ASSERT_EQ(hid_read_timeout(h, in, sizeof in, 1000), 65);
        EXPECT_EQ(in[1], 0x30);
        EXPECT_EQ(in[3], 23);
    }
    // One reader, one message at a time: reports join whichever file wrote them.
    uint8_t save[2][65] = {{0x08, 0x2A, 0x00, 64, 0x7E}, {0x08, 0xAA}};
    ASSERT_EQ(hid_write(a, save[0], 65), 65);
    ASSERT_EQ(hid_write(b, save[1], 65), 65);
    EXPECT_EQ(vr_message_count(), 2);
    for (hid_device *h : {a, b}) {
        EXPECT_EQ(hid_read_timeout(h, in, sizeof in, 1000), 65);
        EXPECT_EQ(in[1], 0x30);
    }
    EXPECT_EQ(vr_config_block(in, sizeof in), 63);
    // Fewer than two bytes are refused.
    EXPECT_EQ(hid_write(a, version, 1), -1);
    EXPECT_EQ(vr_message_count(), 2);

    // Without identifiers: a leading zero is not sent, and the data comes alone.
    vr_set_report_id(0);
    version[0] = 0x00;
    ASSERT_EQ(hid_write(a, version, sizeof version), 65);
    ASSERT_EQ(hid_read_timeout(a, in, sizeof in, 1000), 64);
    EXPECT_EQ(in[0], 0x30);
    EXPECT_EQ(in[2], 23);
    version[0] = 0x08; // an identifier the reader does not use is data to it
    ASSERT_EQ(hid_write(b, version, sizeof version), 65);
    EXPECT_EQ(hid_read_timeout(b, in, sizeof in, 0), 64); // the answer above, for b as well
    EXPECT_EQ(hid_read_timeout(b, in, sizeof in, 50), 0);
    hid_close(a);
    hid_close(b);
}

// hid_open goes by what is listed, as hidapi's does, not by the control API's choice.
TEST_F(VirtualReaderTest, HidOpenTakesTheFirstReaderListedWithTheNumbers) {
    vr_set_reader_count(3);
    vr_set_present(0); // reader 0 ("0001") is not listed
    vr_select_reader(2);
    struct Case {
        const wchar_t *serial;
        int reader; // -1: none opened
    } cases[] = {{nullptr, 1}, {L"0003", 2}, {L"0001", -1}, {L"0009", -1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reader);
        hid_device *h = hid_open(0x10C4, 0x847C, c.serial);
        ASSERT_EQ(h != nullptr, c.reader >= 0);
        if (!h) continue;
        vr_select_reader(c.reader);
        EXPECT_EQ(vr_open_handles(), 1);
        hid_close(h);
    }
    EXPECT_EQ(hid_open(0x10C4, 0x84A2, nullptr), nullptr);
}

// Like every other setting, unanswered messages belong to the reader they were set on.
TEST_F(VirtualReaderTest, UnansweredMessagesAreTheSelectedReadersOwn) {
    vr_set_reader_count(2);
    vr_select_reader(1);
    vr_set_unanswered(1);
    hid_device *first = hid_open_path("virtual-reader:0");
    hid_device *second = hid_open_path("virtual-reader:1");
    ASSERT_TRUE(first && second);
    uint8_t version[65] = {0x08, 0x2D}, in[65];
    struct Step {
        hid_device *h;
        int read; // what hid_read_timeout gives
    } steps[] = {{first, 65}, {second, 0}, {second, 65}};
    for (const Step &s : steps) {
        ASSERT_EQ(hid_write(s.h, version, sizeof version), 65);
        EXPECT_EQ(hid_read_timeout(s.h, in, sizeof in, 100), s.read);
    }
    hid_close(first);
    hid_close(second);
}

TEST_F(VirtualReaderTest, ResetRestoresAFreshReader) {
    vr_set_identity(1, 2, 3);
    vr_set_report_length(17);
    vr_set_silent(1);
    vr_set_version_text("x");
    uint8_t b[16] = {1};
    vr_set_card_block(8, b);
    vr_reset();
    uint8_t now[16];
    vr_card_block(8, now);
    EXPECT_EQ(now[0], 0);
    Exchange e = Transact({0xAD});
    EXPECT_EQ(e.read, 0);
    EXPECT_EQ(vr_written_report_count(), 1);
    EXPECT_EQ(WrittenReport(0).size(), 65u);
    EXPECT_EQ(vr_open_handles(), 0);
}

} // namespace
