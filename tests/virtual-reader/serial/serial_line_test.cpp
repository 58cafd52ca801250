// The virtual reader over its serial line, driven through the serial library, and messages
// that go unanswered. (The GUI tests of the IC card test and the test page use both.)
#include "lorvane_fixture.h"
#include "serivo.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

class SerialLine : public ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        setenv("SERIVO_TIMEOUT_MS", "300", 1);
        path = vr_serial_open();
        ASSERT_NE(path, nullptr);
        setenv("SERIVO_DEVICE", path, 1);
        ASSERT_EQ(COM_Init(1), 0);
    }
    void TearDown() override {
        COM_Close();
        vr_serial_close();
        unsetenv("SERIVO_DEVICE");
        ReaderTest::TearDown();
    }
    struct Exchange {
        int write = -1, read = -1;
        Bytes reply;
        std::string trace;
    };
    static Exchange Transact(Bytes frame) {
        Exchange e;
        char trace[2048] = {};
        e.write = COM_WRITE(frame.data(), int(frame.size()), 2, trace);
        if (e.write != 0) return e;
        uint8_t reply[1024] = {};
        int length = 0;
        e.read = COM_READ(reply, &length, 2, trace);
        if (e.read == 0) e.reply.assign(reply, reply + length);
        e.trace = trace;
        return e;
    }
    const char *path = nullptr;
};

TEST_F(SerialLine, AnswersFromTheSameReaderAsTheHidSide) {
    EXPECT_STREQ(vr_serial_open(), path); // one line per process
    Exchange e = Transact({0xA6, 0x00});
    EXPECT_EQ(e.read, 0);
    EXPECT_EQ(e.reply, (Bytes{0x3B, 0x02, 0x14, 0x50}));
    EXPECT_EQ(e.trace, "02 30 00 04 3B 02 14 50 49 03 ");
    EXPECT_EQ(vr_ic_powered(), 1);
    EXPECT_EQ(LastMessage(), (Bytes{0xA6, 0x00}));
    e = Transact({0xA7, 0x00, 0xA4, 0x04, 0x00, 0x00});
    EXPECT_EQ(e.reply, (Bytes{0x90, 0x00}));
    // What the control API sets is what the line answers.
    vr_set_version_text("V9");
    e = Transact({0xAD});
    EXPECT_EQ(e.reply, (Bytes{'V', '9', 0}));
    // Statuses and silence apply here too.
    vr_set_command_status(0xA5, 0x31);
    EXPECT_EQ(Transact({0xA5, 0x00}).read, 0x31);
    vr_set_silent(1);
    EXPECT_EQ(Transact({0xA5, 0x00}).read, -92);
}

TEST_F(SerialLine, UnansweredMessagesAreLoggedAndThenAnsweringGoesOn) {
    vr_set_unanswered(2);
    EXPECT_EQ(Transact({0xAE, 0x01}).read, -92);
    EXPECT_EQ(Transact({0xAE, 0x01}).read, -92);
    EXPECT_EQ(vr_mode(), 0); // taken, not acted on
    EXPECT_EQ(Transact({0xAE, 0x01}).read, 0);
    EXPECT_EQ(vr_mode(), 1);
    EXPECT_EQ(vr_message_count(), 3);
    vr_set_unanswered(1);
    vr_reset(); // back to answering everything
    EXPECT_EQ(Transact({0xAE, 0x00}).read, 0);
}

TEST_F(SerialLine, NoiseBeforeAFrameAndABrokenFrameAreSkipped) {
    const int fd = open(path, O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    // Noise, a frame with a bad checksum, then a good one: only the good one is answered.
    const uint8_t wire[] = {0x55, 0x02, 0x00, 0x02, 0xAE, 0x01, 0x00, 0x03,
                            0x02, 0x00, 0x02, 0xAE, 0x01, 0xAD, 0x03};
    ASSERT_EQ(write(fd, wire, sizeof wire), ssize_t(sizeof wire));
    uint8_t reply[1024] = {};
    int length = 0;
    EXPECT_EQ(COM_READ(reply, &length, 2, nullptr), 0);
    EXPECT_EQ(vr_message_count(), 1);
    EXPECT_EQ(vr_mode(), 1);
    close(fd);
}

} // namespace
