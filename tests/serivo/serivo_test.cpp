// libserivo against a pseudo-terminal: the test holds the master side and plays the reader.
#include "link/frames.h"
#include "link/reader_link.h"
#include "link/transaction.h"
#include "serivo.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

class Pty : public ::testing::Test {
  protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        setenv("SERIVO_DEVICE", ptsname(master), 1);
        if (std::getenv("SERIVO_TIMEOUT_MS") == nullptr) setenv("SERIVO_TIMEOUT_MS", "300", 1);
        ASSERT_EQ(COM_Init(1), 0);
    }
    void TearDown() override {
        COM_Close();
        unsetenv("SERIVO_DEVICE");
        close(master);
    }

    // Everything the library wrote to the line within `ms`.
    Bytes Drain(int ms = 200) {
        Bytes got;
        pollfd p{master, POLLIN, 0};
        while (poll(&p, 1, ms) > 0) {
            uint8_t buf[2048];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            got.insert(got.end(), buf, buf + n);
            ms = 50;
        }
        return got;
    }
    // Waits for the library's next frame. While no slave side is open (between a COM_Close
    // and the next COM_Init) the master reports a hang-up at once, so poll again until
    // bytes come or the time is up.
    Bytes AwaitFrame(int ms = 2000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        Bytes got;
        while (got.empty() && std::chrono::steady_clock::now() < end) {
            got = Drain(100);
            if (got.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return got;
    }
    void Send(const Bytes &b) { ASSERT_EQ(write(master, b.data(), b.size()), (ssize_t)b.size()); }

    static Bytes Reply(uint8_t status, const Bytes &payload) {
        Bytes r;
        r.reserve(payload.size() + 6);
        for (uint8_t b :
             {uint8_t(0x02), status, uint8_t(payload.size() >> 8), uint8_t(payload.size() & 0xFF)})
            r.push_back(b);
        for (uint8_t b : payload)
            r.push_back(b);
        uint8_t x = 0;
        for (size_t i = 1; i < r.size(); ++i)
            x ^= r[i];
        r.push_back(x);
        r.push_back(0x03);
        return r;
    }

    int master = -1;
};
} // namespace

TEST_F(Pty, WriteFramesTheCommand) {
    uint8_t frame[1024] = {0xAE, 0x01};
    char trace[2048];
    EXPECT_EQ(COM_WRITE(frame, 2, 2, trace), 0);
    EXPECT_EQ(Drain(), (Bytes{0x02, 0x00, 0x02, 0xAE, 0x01, 0x00 ^ 0x02 ^ 0xAE ^ 0x01, 0x03}));
    EXPECT_STREQ(trace, "02 00 02 AE 01 AD 03 ");
    EXPECT_EQ(COM_WRITE(frame, 0, 2, trace), -9);
    EXPECT_EQ(COM_WRITE(frame, 1025, 2, trace), -9);
}

TEST_F(Pty, ReadTakesThePayloadOfASuccessfulReply) {
    Send(Reply(0x30, {'V', '1', '.', '0'}));
    uint8_t reply[1024] = {};
    int length = -1;
    char trace[2048];
    EXPECT_EQ(COM_READ(reply, &length, 2, trace), 0);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(reply), 4), "V1.0");
    EXPECT_EQ(std::string(trace).substr(3, 2), "30"); // the status byte
}

TEST_F(Pty, StatusBytesArePassedBackAndNothingStored) {
    for (uint8_t status : {0x41, 0x43, 0x31}) {
        Send(Reply(status, {1, 2, 3}));
        uint8_t reply[1024] = {};
        int length = -7;
        char trace[2048];
        EXPECT_EQ(COM_READ(reply, &length, 2, trace), status);
        EXPECT_EQ(length, -7);
        EXPECT_EQ(reply[0], 0);
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", status);
        EXPECT_EQ(std::string(trace).substr(3, 2), hex);
    }
    // A zero status cannot be returned as itself (0 is success).
    Send(Reply(0x00, {}));
    uint8_t reply[1024];
    int length = 0;
    char trace[2048];
    EXPECT_EQ(COM_READ(reply, &length, 2, trace), -95);
}

TEST_F(Pty, SilenceAndBrokenRepliesFail) {
    uint8_t reply[1024] = {};
    int length = 0;
    char trace[2048];
    EXPECT_EQ(COM_READ(reply, &length, 2, trace), -92);
    Bytes bad = Reply(0x30, {1, 2});
    bad[bad.size() - 2] ^= 0xFF; // checksum
    Send(bad);
    EXPECT_EQ(COM_READ(reply, &length, 2, trace), -94);
    Send({0x02, 0x30, 0x00, 0x05, 1, 2}); // cut short
    EXPECT_EQ(COM_READ(reply, &length, 2, trace), -92);
}

TEST_F(Pty, OversizedPayloadIsRefused) {
    Bytes huge(1025, 0x55);
    Send(Reply(0x30, huge));
    std::vector<uint8_t> reply(1024 + 16, 0);
    int length = 0;
    char trace[2048];
    EXPECT_EQ(COM_READ(reply.data(), &length, 2, trace), -93);
    for (uint8_t b : reply)
        ASSERT_EQ(b, 0);
    // The largest payload that fits the caller's buffer is taken, and the trace stays bounded.
    Drain(50);
    Bytes full(1024, 0x66);
    std::thread reader([&] { Send(Reply(0x30, full)); });
    std::vector<char> bigTrace(4096, 'x');
    const int r = COM_READ(reply.data(), &length, 2, bigTrace.data());
    reader.join();
    EXPECT_EQ(r, 0);
    EXPECT_EQ(length, 1024);
    EXPECT_EQ(reply[1024], 0);
    EXPECT_LT(std::strlen(bigTrace.data()), 2048u);
}

TEST_F(Pty, LineNoiseBeforeTheReplyIsSkipped) {
    Bytes noisy{0xFF, 0x00, 0x13};
    Bytes ok = Reply(0x30, {7});
    noisy.insert(noisy.end(), ok.begin(), ok.end());
    Send(noisy);
    uint8_t reply[1024] = {};
    int length = 0;
    char trace[2048];
    EXPECT_EQ(COM_READ1(reply, &length, 2, trace), 0);
    EXPECT_EQ(length, 1);
    EXPECT_EQ(reply[0], 7);
}

TEST_F(Pty, ReceiveModeTakesOneByteAtATime) {
    unsigned char buf[2] = {};
    EXPECT_EQ(COM_RECV(buf, 1), 1); // receive mode is off
    EXPECT_EQ(Set_flagT(), 0);
    EXPECT_EQ(COM_RECV(buf, 1), 1); // nothing on the line
    Send({'1', '2', '\r'});
    std::string got;
    for (int i = 0; i < 3; ++i) {
        buf[0] = buf[1] = 0;
        ASSERT_EQ(COM_RECV(buf, 1), 0);
        EXPECT_EQ(buf[1], 0);
        got += static_cast<char>(buf[0]);
    }
    EXPECT_EQ(got, "12\r");
    EXPECT_EQ(COM_RECV(buf, 0), -9);
    Set_flagF();
    Send({'9'});
    EXPECT_EQ(COM_RECV(buf, 1), 1);
}

TEST(Serivo, PortsAndClosedState) {
    unsetenv("SERIVO_DEVICE");
    EXPECT_EQ(COM_Init(0), -1);
    EXPECT_EQ(COM_Init(200), -1);
    setenv("SERIVO_DEVICE", "/nonexistent/tty", 1);
    EXPECT_EQ(COM_Init(1), -2);
    unsetenv("SERIVO_DEVICE");
    uint8_t frame[4] = {0xAD};
    uint8_t reply[1024];
    int length = 0;
    char trace[2048];
    EXPECT_EQ(COM_WRITE(frame, 1, 2, trace), -91);
    EXPECT_EQ(COM_READ(reply, &length, 2, trace), -91);
    unsigned char b[2];
    EXPECT_EQ(COM_RECV(b, 1), -91);
    EXPECT_EQ(COM_Close(), 0);
}

// The reader transaction of the program over the serial transport, bound by file name.
TEST_F(Pty, TransactionOverTheSerialTransport) {
    COM_Close();
    TReaderLink link;
    std::vector<std::string> asked;
    // The HID side is a dummy here: the serial library is bound after it.
    link.ConnectionKind = 1;
    link.SerialPort = 1;
    void *h = dlopen(SERIVO_FILE, RTLD_NOW);
    ASSERT_NE(h, nullptr);
    link.COM_Init = reinterpret_cast<ComInitFn>(dlsym(h, "COM_Init"));
    link.COM_Close = reinterpret_cast<ComCloseFn>(dlsym(h, "COM_Close"));
    link.COM_WRITE = reinterpret_cast<TransferWriteFn>(dlsym(h, "COM_WRITE"));
    link.COM_READ = reinterpret_cast<TransferReadFn>(dlsym(h, "COM_READ"));
    link.SerialBound = 1;

    std::thread reader([&] {
        const Bytes got = AwaitFrame();
        EXPECT_EQ(got, (Bytes{0x02, 0x00, 0x01, 0xAD, 0x00 ^ 0x01 ^ 0xAD, 0x03}));
        Send(Reply(0x30, {'K', 'M', 0, 'Z'}));
    });
    TxOptions opts;
    opts.command = TxCommand::ReadVersion;
    const TxResult r = RunTransaction(link, frames::ReadVersion, opts, nullptr);
    reader.join();
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(r.attempts, 1);
    EXPECT_EQ(frames::VersionTextLength(r.reply, kReplySize), 2u);

    // Status "C" to a read configuration: no retry, an empty image.
    std::thread reader2([&] {
        AwaitFrame();
        Send(Reply(0x43, {}));
    });
    opts.command = TxCommand::ReadConfiguration;
    const TxResult c = RunTransaction(link, frames::ReadConfiguration, opts, nullptr);
    reader2.join();
    EXPECT_EQ(c.outcome, TxOutcome::EmptyImage);
    EXPECT_EQ(c.attempts, 1);
}
