// The reader transaction against scripted entry points that count their calls.
#include "link/frames.h"
#include "link/transaction.h"

#include <cstring>
#include <deque>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
struct ReadStep {
    int result = 0;
    std::vector<uint8_t> payload;
    bool claim = false; // report claimedLength instead of the payload's size
    int claimedLength = 0;
    int writeBytes = -1; // bytes actually written into the buffer (-1: payload)
};

struct Script {
    int initResult = 0;
    std::deque<int> writes;     // results of successive writes (default 0)
    std::deque<ReadStep> reads; // successive reads (default: -92, silent)
    int inits = 0, closes = 0, writeCalls = 0, readCalls = 0, comPort = -1;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<std::string> log;
    std::function<void()> duringWrite;
    const char *traceFill = nullptr;
} S;

int Init() {
    ++S.inits;
    S.log.push_back("open");
    return S.initResult;
}
int ComInit(int port) {
    S.comPort = port;
    return Init();
}
int Close() {
    ++S.closes;
    S.log.push_back("close");
    return 0;
}
int Write(unsigned char *frame, int length, int mode, char *trace) {
    ++S.writeCalls;
    S.log.push_back("write");
    EXPECT_EQ(mode, 2);
    S.frames.emplace_back(frame, frame + length);
    std::snprintf(trace, 8, "%02X ", frame[0]);
    if (S.duringWrite) S.duringWrite();
    if (S.writes.empty()) return 0;
    const int r = S.writes.front();
    S.writes.pop_front();
    return r;
}
int Read(unsigned char *reply, int *length, int mode, char *trace) {
    ++S.readCalls;
    S.log.push_back("read");
    EXPECT_EQ(mode, 2);
    if (S.traceFill) std::strcpy(trace, S.traceFill);
    if (S.reads.empty()) return -92;
    ReadStep step = S.reads.front();
    S.reads.pop_front();
    if (step.result == 0) {
        const int n =
            step.writeBytes >= 0 ? step.writeBytes : static_cast<int>(step.payload.size());
        for (int i = 0; i < n; ++i)
            reply[i] = i < static_cast<int>(step.payload.size()) ? step.payload[i] : 0x5A;
        *length = step.claim ? step.claimedLength : static_cast<int>(step.payload.size());
    }
    return step.result;
}

TReaderLink HidLink() {
    TReaderLink link;
    link.HID_Init = Init;
    link.HID_Close = Close;
    link.HID_WRITE = Write;
    link.HID_READ = Read;
    link.HidBound = 1;
    return link;
}

class Transaction : public ::testing::Test {
  protected:
    void SetUp() override { S = Script{}; }

    TxResult Run(TxCommand command, int (*build)(uint8_t (&)[1024]) = frames::ReadVersion,
                 TxDecodeFn decode = nullptr) {
        TxOptions opts;
        opts.command = command;
        opts.decode = decode;
        return RunTransaction(
            link, [&](uint8_t(&f)[1024]) { return build(f); }, opts, Enabler());
    }
    std::function<void(bool)> Enabler() {
        return [this](bool on) {
            enables.push_back(on);
            S.log.push_back(on ? "enable" : "disable");
        };
    }

    TReaderLink link = HidLink();
    std::vector<bool> enables;
};

int DecodeOk(const uint8_t *, int n, uint8_t (&store)[16][1024], int32_t (&modes)[16]) {
    store[0][0] = 0x11;
    modes[0] = 0xFF;
    return n > 0 ? 1 : 10;
}

ReadStep Status(int s) {
    ReadStep r;
    r.result = s;
    return r;
}
ReadStep Payload(std::vector<uint8_t> p) {
    ReadStep r;
    r.payload = std::move(p);
    return r;
}
} // namespace

TEST_F(Transaction, NotBoundMakesNoCallAndLeavesTheWindowAlone) {
    link.HidBound = 0;
    const TxResult r = Run(TxCommand::Mode, frames::NormalMode);
    EXPECT_EQ(r.outcome, TxOutcome::NotBound);
    EXPECT_EQ(S.inits + S.writeCalls + S.readCalls + S.closes, 0);
    EXPECT_TRUE(enables.empty());
    // The serial transport is checked by its own flag, whatever the HID side says.
    link.HidBound = 1;
    link.ConnectionKind = 1;
    EXPECT_EQ(Run(TxCommand::Mode, frames::NormalMode).outcome, TxOutcome::NotBound);
    EXPECT_EQ(S.inits, 0);
}

TEST_F(Transaction, UnpluggedReaderWritesNothingAndIsNotClosed) {
    S.initResult = -91;
    const TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration, DecodeOk);
    EXPECT_EQ(r.outcome, TxOutcome::NoReader);
    EXPECT_EQ(S.inits, 1);
    EXPECT_EQ(S.writeCalls, 0);
    EXPECT_EQ(S.closes, 0);
    EXPECT_EQ(enables, (std::vector<bool>{false, true}));
}

TEST_F(Transaction, SilentReaderGetsThreeAttemptsAndOneClose) {
    const TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration, DecodeOk);
    EXPECT_EQ(r.outcome, TxOutcome::NoAnswer);
    EXPECT_EQ(r.attempts, 3);
    EXPECT_EQ(S.writeCalls, 3);
    EXPECT_EQ(S.readCalls, 3);
    EXPECT_EQ(S.closes, 1);
    EXPECT_EQ(S.log, (std::vector<std::string>{"disable", "open", "write", "read", "write", "read",
                                               "write", "read", "enable", "close"}));
}

TEST_F(Transaction, FailedWriteSkipsItsRead) {
    S.writes = {-92, -92, -92};
    const TxResult r = Run(TxCommand::ReadVersion);
    EXPECT_EQ(r.outcome, TxOutcome::NoAnswer);
    EXPECT_EQ(S.writeCalls, 3);
    EXPECT_EQ(S.readCalls, 0);
    EXPECT_EQ(S.closes, 1);
    EXPECT_EQ(r.readResult, kTxNotRead);
    // A later attempt may still succeed.
    SetUp();
    S.writes = {-92, 0};
    S.reads = {Payload({'V', '1'})};
    const TxResult ok = Run(TxCommand::ReadVersion);
    EXPECT_EQ(ok.outcome, TxOutcome::Ok);
    EXPECT_EQ(ok.attempts, 2);
    EXPECT_EQ(S.readCalls, 1);
}

TEST_F(Transaction, StatusCEndsAsSuccessWithAnEmptyImage) {
    S.reads = {Status(0x43)};
    const TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration, DecodeOk);
    EXPECT_EQ(r.outcome, TxOutcome::EmptyImage);
    EXPECT_EQ(S.writeCalls, 1);
    EXPECT_EQ(S.closes, 1);
    for (const auto &layer : r.store)
        for (uint8_t b : layer)
            ASSERT_EQ(b, 0);
    for (int32_t m : r.modes)
        EXPECT_EQ(m, 0);
    EXPECT_EQ(enables, (std::vector<bool>{false, true}));
}

TEST_F(Transaction, StatusAStopsWithoutRetry) {
    S.reads = {Status(0x41), Payload({1, 2, 3})};
    const TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration, DecodeOk);
    EXPECT_EQ(r.outcome, TxOutcome::DefaultKeyCodes);
    EXPECT_EQ(S.writeCalls, 1);
    EXPECT_EQ(S.readCalls, 1);
    EXPECT_EQ(S.closes, 1);
    EXPECT_EQ(enables, (std::vector<bool>{false, true}));
}

TEST_F(Transaction, StatusesOnlyCountForReadConfiguration) {
    // For the other commands 0x41 / 0x43 are plain failures and are retried.
    S.reads = {Status(0x43), Status(0x41), Payload({})};
    const TxResult r = Run(TxCommand::Mode, frames::TestMode);
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(r.attempts, 3);
}

TEST_F(Transaction, ReadConfigurationNeedsADecodedBlock) {
    auto decode = [](const uint8_t *, int n, uint8_t(&)[16][1024], int32_t(&)[16]) {
        return n == 3 ? 1 : -2;
    };
    S.reads = {Payload({9}), Payload({1, 2, 3})};
    const TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration, decode);
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(r.attempts, 2);
    EXPECT_EQ(r.decodeResult, 1);
    EXPECT_EQ(r.replyLength, 3);
}

// An empty success is the answer to a write or a mode: a read has always something to say.
TEST_F(Transaction, AnEmptySuccessIsNoConfigurationAndNoVersion) {
    S.reads = {Payload({}), Payload({5})};
    TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration, DecodeOk);
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(r.attempts, 2);
    SetUp();
    S.reads = {Payload({}), Payload({'V', 0})};
    r = Run(TxCommand::ReadVersion);
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(r.attempts, 2);
    SetUp();
    S.reads = {Payload({})}; // a mode's own answer is empty
    EXPECT_EQ(Run(TxCommand::Mode, frames::TestMode).attempts, 1);
}

TEST_F(Transaction, AWriteCountsOnlyOnceTheReadBackShowsTheBlock) {
    const ReadStep written = Payload({}); // the write's own answer: a bare success
    struct Case {
        const char *name;
        std::deque<ReadStep> reads; // write, read-back, write, read-back...
        TxOutcome outcome;
        int attempts;
        bool differed;
    };
    const Case cases[] = {
        {"read back as sent", {written, Payload({1, 2, 3})}, TxOutcome::Ok, 1, false},
        {"another block first",
         {written, Payload({9}), written, Payload({1, 2, 3})},
         TxOutcome::Ok,
         2,
         true},
        {"a bare success read back (a stale answer)",
         {written, Payload({}), written, Payload({1, 2, 3})},
         TxOutcome::Ok,
         2,
         false},
        {"status A: nothing shown, the write's answer stands",
         {written, Status(0x41)},
         TxOutcome::Ok,
         1,
         false},
        {"status C: the same", {written, Status(0x43)}, TxOutcome::Ok, 1, false},
        {"another block every time",
         {written, Payload({9}), written, Payload({9}), written, Payload({9})},
         TxOutcome::NoAnswer,
         3,
         true},
        {"no read-back answered",
         {written, Status(-92), written, Status(0x31), written, Status(-92)},
         TxOutcome::NoAnswer,
         3,
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        S.reads = c.reads;
        TxOptions opts;
        opts.command = TxCommand::WriteConfiguration;
        opts.readBack = [](const uint8_t *reply, int n) {
            return n == 3 && reply[0] == 1 && reply[1] == 2 && reply[2] == 3;
        };
        const TxResult r = RunTransaction(
            link,
            [](uint8_t(&f)[1024]) {
                f[0] = 0xAA;
                f[1] = 0x7E;
                return 5;
            },
            opts, Enabler());
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.attempts, c.attempts);
        EXPECT_EQ(r.readBackDiffered, c.differed);
        ASSERT_EQ(S.frames.size(), size_t(2 * c.attempts));
        for (int a = 0; a < c.attempts; ++a) {
            EXPECT_EQ(S.frames[size_t(2 * a)].size(), 5u);
            EXPECT_EQ(S.frames[size_t(2 * a + 1)], (std::vector<uint8_t>{0xA9, 0x7E}));
        }
        EXPECT_EQ(S.closes, 1);
    }
    // A write that is not answered is not read back.
    SetUp();
    S.reads = {Status(0x31), written, Payload({1, 2, 3})};
    TxOptions opts;
    opts.command = TxCommand::WriteConfiguration;
    opts.readBack = [](const uint8_t *, int n) { return n == 3; };
    const TxResult r = RunTransaction(
        link, [](uint8_t(&f)[1024]) { return frames::WriteConfigurationLead(f); }, opts, nullptr);
    EXPECT_EQ(r.attempts, 2);
    EXPECT_EQ(S.frames.size(), 3u);
}

TEST_F(Transaction, VersionFrameIsOneByte) {
    S.reads = {Payload({'K', 'M', '1', 0, 'x'})};
    const TxResult r = Run(TxCommand::ReadVersion);
    ASSERT_EQ(S.frames.size(), 1u);
    EXPECT_EQ(S.frames[0], (std::vector<uint8_t>{0xAD}));
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(frames::VersionTextLength(r.reply, kReplySize), 3u);
}

TEST_F(Transaction, FrameIsRebuiltFromZeroOnEveryAttempt) {
    int builds = 0;
    TxOptions opts;
    opts.command = TxCommand::WriteConfiguration;
    RunTransaction(
        link,
        [&](uint8_t(&f)[1024]) {
            ++builds;
            for (uint8_t b : f)
                EXPECT_EQ(b, 0);
            std::memset(f, 0xEE, sizeof f); // dirty the whole buffer
            f[0] = 0xAA;
            f[1] = 0x7E;
            return 40;
        },
        opts, Enabler());
    EXPECT_EQ(builds, 3);
    ASSERT_EQ(S.frames.size(), 3u);
    EXPECT_EQ(S.frames[2].size(), 40u);
}

TEST_F(Transaction, RejectedFrameClosesWithoutWriting) {
    TxOptions opts;
    opts.command = TxCommand::WriteConfiguration;
    const TxResult r = RunTransaction(
        link, [](uint8_t(&)[1024]) { return -1; }, opts, Enabler());
    EXPECT_EQ(r.outcome, TxOutcome::FrameRejected);
    EXPECT_EQ(S.writeCalls, 0);
    EXPECT_EQ(S.closes, 1);
    EXPECT_EQ(enables, (std::vector<bool>{false, true}));
    // A length beyond the frame buffer is refused the same way.
    SetUp();
    const TxResult big = RunTransaction(
        link, [](uint8_t(&)[1024]) { return 1025; }, opts, nullptr);
    EXPECT_EQ(big.outcome, TxOutcome::FrameRejected);
    EXPECT_EQ(S.writeCalls, 0);
}

TEST_F(Transaction, ReplyNeverExceedsTheBuffer) {
    // The library claims (and writes) 2048 bytes: the attempt fails, nothing overflows.
    ReadStep huge;
    huge.payload.assign(2048, 0x42);
    S.reads = {huge, huge, huge};
    TxResult r = Run(TxCommand::ReadVersion);
    EXPECT_EQ(r.outcome, TxOutcome::NoAnswer);
    EXPECT_EQ(r.readResult, kTxReplyTooLong);
    EXPECT_EQ(r.replyLength, 0);
    // A negative length is no better.
    SetUp();
    ReadStep negative = Payload({1});
    negative.claim = true;
    negative.claimedLength = -5;
    S.reads = {negative};
    r = Run(TxCommand::ReadVersion);
    EXPECT_EQ(r.attempts, 3);
    // Exactly 1024 bytes fit.
    SetUp();
    ReadStep full;
    full.payload.assign(1024, 0x31);
    S.reads = {full};
    r = Run(TxCommand::ReadVersion);
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(r.replyLength, 1024);
    EXPECT_EQ(r.reply[1023], 0x31);
}

TEST_F(Transaction, TraceIsBoundedAndTerminated) {
    static std::string longTrace(6000, 'F');
    S.traceFill = longTrace.c_str();
    const TxResult r = Run(TxCommand::ReadVersion);
    EXPECT_EQ(std::strlen(r.trace), static_cast<size_t>(kTraceSize - 1));
}

TEST_F(Transaction, WindowIsEnabledAndTransportClosedWhenABuilderThrows) {
    TxOptions opts;
    EXPECT_THROW(
        RunTransaction(
            link, [](uint8_t(&)[1024]) -> int { throw std::runtime_error("x"); }, opts, Enabler()),
        std::runtime_error);
    EXPECT_EQ(enables, (std::vector<bool>{false, true}));
    EXPECT_EQ(S.closes, 1);
    EXPECT_FALSE(TransactionRunning());
}

TEST_F(Transaction, SecondTransactionDuringAWaitIsRefused) {
    TxResult inner{};
    bool ranInner = false;
    S.duringWrite = [&] {
        if (ranInner) return;
        ranInner = true;
        EXPECT_TRUE(TransactionRunning());
        TxOptions opts;
        inner = RunTransaction(link, frames::NormalMode, opts, nullptr);
    };
    S.reads = {Payload({})};
    const TxResult outer = Run(TxCommand::Mode, frames::TestMode);
    EXPECT_EQ(inner.outcome, TxOutcome::Busy);
    EXPECT_EQ(outer.outcome, TxOutcome::Ok);
    EXPECT_EQ(S.inits, 1);
    EXPECT_EQ(S.writeCalls, 1);
    EXPECT_FALSE(TransactionRunning());
}

TEST_F(Transaction, BeforeCloseRunsWithTheWindowEnabledAndTheDeviceOpen) {
    S.reads = {Payload({'V'})};
    TxOptions opts;
    opts.command = TxCommand::ReadVersion;
    opts.beforeClose = [](const TxResult &r) {
        S.log.push_back("box");
        EXPECT_EQ(r.reply[0], 'V');
    };
    RunTransaction(link, frames::ReadVersion, opts, Enabler());
    EXPECT_EQ(S.log, (std::vector<std::string>{"disable", "open", "write", "read", "enable", "box",
                                               "close"}));
}

TEST_F(Transaction, IcCardEndsOnAnyReply) {
    S.reads = {Status(-92), Status(0x31)};
    std::vector<std::string> seen;
    TxOptions opts;
    opts.command = TxCommand::IcCard;
    opts.afterWrite = [&](TxResult &r) {
        seen.emplace_back(r.trace);
        std::memset(r.trace, 0, sizeof r.trace);
    };
    const TxResult r = RunTransaction(link, frames::IcPowerUp, opts, nullptr);
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(r.readResult, 0x31);
    EXPECT_EQ(r.attempts, 2);
    EXPECT_EQ(seen, (std::vector<std::string>{"A6 ", "A6 "}));
}

TEST_F(Transaction, SerialTransportUsesItsPort) {
    TReaderLink serial;
    serial.COM_Init = ComInit;
    serial.COM_Close = Close;
    serial.COM_WRITE = Write;
    serial.COM_READ = Read;
    serial.SerialBound = 1;
    serial.ConnectionKind = 1;
    serial.SerialPort = 3;
    S.reads = {Payload({})};
    TxOptions opts;
    const TxResult r = RunTransaction(serial, frames::NormalMode, opts, nullptr);
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(S.comPort, 3);
    EXPECT_EQ(S.closes, 1);
}
