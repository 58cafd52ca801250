// Report framing, replies, time-outs and result codes of the transport exports, against the
// virtual reader.
#include "lorvane_fixture.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// --- discovery ---------------------------------------------------------------------------

TEST_F(ReaderTest, TransfersWithoutOpenReaderReturnMinus91) {
    uint8_t frame[2] = {0xA9, 0x7E}, reply[1024];
    int length = -1;
    char trace[2048];
    EXPECT_EQ(HID_WRITE(frame, 2, 2, trace), -91);
    EXPECT_EQ(HID_READ(reply, &length, 2, trace), -91);
    ASSERT_EQ(HID_Init(), 0);
    EXPECT_EQ(HID_Close(), 0);
    EXPECT_EQ(HID_WRITE(frame, 2, 2, trace), -91);
    EXPECT_EQ(HID_READ(reply, &length, 2, trace), -91);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(vr_written_report_count(), 0);
    EXPECT_EQ(HID_Close(), 0); // closing twice is harmless
}

TEST_F(ReaderTest, OnlyTheRightIdentityIsTaken) {
    vr_set_identity(0x10C4, 0x847C, 0x0102);
    EXPECT_EQ(HID_Init(), -91);
    EXPECT_EQ(vr_open_handles(), 0);
    vr_set_identity(0x10C5, 0x847C, 0x0101);
    EXPECT_EQ(HID_Init(), -91);
    vr_set_identity(0x10C4, 0x847D, 0x0101);
    EXPECT_EQ(HID_Init(), -91);
    vr_set_identity(0x10C4, 0x84A2, 0x0101);
    EXPECT_EQ(HID_Init(), 0);
    vr_set_identity(0x10C4, 0x847C, 0x0101);
    EXPECT_EQ(HID_Init(), 0);
    EXPECT_EQ(vr_open_handles(), 1); // the earlier handle was released
}

TEST_F(ReaderTest, OnlyTheFirstTwentyInterfacesAreSearched) {
    vr_set_other_devices(19);
    EXPECT_EQ(HID_Init(), 0);
    vr_set_other_devices(20);
    EXPECT_EQ(HID_Init(), -91);
    EXPECT_EQ(vr_open_handles(), 0);
}

// LORVANE_DEVICE names one reader by path or serial number; it is looked for past the first
// twenty interfaces, and a name that fits no reader of the family opens nothing.
TEST_F(ReaderTest, TheReaderNamedInTheEnvironmentIsTaken) {
    struct Case {
        const char *name;
        int others, result;
    };
    for (const Case &c : {Case{"virtual-reader:0", 0, 0}, Case{"0001", 0, 0}, Case{"0001", 40, 0},
                          Case{"", 20, -91}, Case{"virtual-reader:01", 0, -91}, Case{"000", 0, -91},
                          Case{"00011", 0, -91}, Case{"virtual-other:3", 5, -91}}) {
        vr_set_other_devices(c.others);
        setenv("LORVANE_DEVICE", c.name, 1);
        EXPECT_EQ(HID_Init(), c.result) << c.name << " after " << c.others;
        EXPECT_EQ(vr_open_handles(), c.result == 0 ? 1 : 0) << c.name;
    }
    unsetenv("LORVANE_DEVICE");
    vr_set_other_devices(0);
    EXPECT_EQ(HID_Init(), 0);
}

// On a bench of several readers the chosen one is opened, and only it hears the message; a
// reader unplugged cannot be chosen, and without a choice the first one present is taken.
TEST_F(ReaderTest, OneReaderOfSeveralIsChosen) {
    vr_set_reader_count(3);
    vr_select_reader(1);
    vr_set_version_text("second");
    uint8_t frame[1] = {0xAD}, reply[1024];
    int length = 0;
    for (const auto &[name, reader] :
         std::vector<std::pair<const char *, int>>{{"0002", 1}, {"virtual-reader:2", 2}, {"", 0}}) {
        setenv("LORVANE_DEVICE", name, 1);
        ASSERT_EQ(HID_Init(), 0) << name;
        ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
        ASSERT_EQ(HID_READ(reply, &length, 2, nullptr), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char *>(reply)),
                  reader == 1 ? "second" : "KeLdO KM5530 MSR V1.00")
            << name;
        for (int k = 0; k < 3; ++k) {
            vr_select_reader(k);
            EXPECT_EQ(vr_message_count(), k == reader ? 1 : 0) << name << " reader " << k;
            vr_clear_log();
        }
    }
    vr_select_reader(0);
    vr_set_present(0);
    unsetenv("LORVANE_DEVICE");
    EXPECT_EQ(HID_Init(), 0); // the first one present
    EXPECT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    vr_select_reader(1);
    EXPECT_EQ(vr_message_count(), 1);
    setenv("LORVANE_DEVICE", "0001", 1);
    EXPECT_EQ(HID_Init(), -91);
    unsetenv("LORVANE_DEVICE");
    vr_reset();
    EXPECT_EQ(vr_reader_count(), 1);
    EXPECT_EQ(vr_selected_reader(), 0);
}

TEST_F(ReaderTest, UnpluggedReaderIsNotFound) {
    vr_set_present(0);
    EXPECT_EQ(HID_Init(), -91);
}

TEST_F(ReaderTest, UnavailableHidLayerReturnsMinus90) {
    Open();
    vr_set_hid_init_fails(1);
    EXPECT_EQ(HID_Init(), -90);
    EXPECT_EQ(vr_open_handles(), 0); // the reader that was open is closed all the same
    uint8_t frame[1] = {0xAD};
    EXPECT_EQ(HID_WRITE(frame, 1, 2, nullptr), -91);
    int16_t type = 0;
    EXPECT_EQ(RF_Request(1, &type), -90);
}

TEST_F(ReaderTest, ReportLengthComesFromTheDescriptor) {
    vr_set_report_length(33);
    Open();
    uint8_t frame[1] = {0xAD};
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    EXPECT_EQ(WrittenReport(0).size(), 33u);
    uint8_t reply[1024];
    int length = 0;
    ASSERT_EQ(HID_READ(reply, &length, 2, nullptr), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(reply), "KeLdO KM5530 MSR V1.00");

    // A long reply over short reports: 225 bytes in 1 + (227 / 31) = 8 reports.
    frame[0] = 0xA9;
    uint8_t load[2] = {0xA9, 0x7E};
    ASSERT_EQ(HID_WRITE(load, 2, 2, nullptr), 0);
    ASSERT_EQ(HID_READ(reply, &length, 2, nullptr), 0);
    uint8_t block[1024];
    ASSERT_EQ(length, vr_config_block(block, sizeof block));
    EXPECT_EQ(std::memcmp(reply, block, size_t(length)), 0);
}

TEST_F(ReaderTest, UnreadableDescriptorMeans65ByteReports) {
    vr_set_descriptor_available(0);
    vr_set_report_length(33);
    Open();
    uint8_t frame[1] = {0xAD};
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    EXPECT_EQ(WrittenReport(0).size(), 65u);
}

// Without identifiers the kernel sends the data alone and drops a zero byte 0 of a report
// written: the library writes 0x00 there and puts 0x00 in front of what it reads.
TEST_F(ReaderTest, ReportsWithoutIdentifier) {
    for (int n : {65, 64}) {
        SCOPED_TRACE(n);
        vr_reset();
        vr_set_report_id(0);
        vr_set_report_length(n);
        Open();
        uint8_t version[1] = {0xAD};
        char trace[2048];
        ASSERT_EQ(HID_WRITE(version, 1, 2, trace), 0);
        ASSERT_EQ(WrittenReport(0).size(), size_t(n));
        EXPECT_EQ(WrittenReport(0)[0], 0x00);
        EXPECT_EQ(WrittenReport(0)[1], 0x2D);
        uint8_t reply[1024];
        int length = 0;
        ASSERT_EQ(HID_READ(reply, &length, 2, trace), 0);
        EXPECT_STREQ(reinterpret_cast<char *>(reply), "KeLdO KM5530 MSR V1.00");
        EXPECT_EQ(std::string(trace).substr(0, 12), "00 30 00 17 ");
        EXPECT_EQ(std::strlen(trace), size_t(3 * n));

        // A block over several reports each way.
        uint8_t save[227] = {0xAA, 0x7E};
        for (int i = 2; i < 227; ++i)
            save[i] = uint8_t(i);
        ASSERT_EQ(HID_WRITE(save, int(sizeof save), 2, nullptr), 0);
        ASSERT_EQ(HID_READ(reply, &length, 2, nullptr), 0);
        uint8_t load[2] = {0xA9, 0x7E};
        ASSERT_EQ(HID_WRITE(load, 2, 2, nullptr), 0);
        ASSERT_EQ(HID_READ(reply, &length, 2, nullptr), 0);
        ASSERT_EQ(length, 225);
        EXPECT_EQ(std::memcmp(reply, save + 2, 225), 0);
    }
}

TEST_F(ReaderTest, ReaderWithUnusableReportLengthsIsNotTaken) {
    // Output reports of 2 bytes (identifier and one byte) carry no message bytes.
    const uint8_t tiny[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x08, 0x75,
                            0x08, 0x95, 0x40, 0x81, 0x02, 0x95, 0x01, 0x91, 0x02, 0xC0};
    vr_set_descriptor(tiny, sizeof tiny);
    EXPECT_EQ(HID_Init(), -91);
    EXPECT_EQ(vr_open_handles(), 0);
}

// --- writing -----------------------------------------------------------------------------

TEST_F(ReaderTest, CountOfOneSendsOneReportWithEmptyPayload) {
    Open();
    uint8_t frame[1] = {0xAD};
    char trace[2048];
    ASSERT_EQ(HID_WRITE(frame, 1, 2, trace), 0);
    ASSERT_EQ(vr_written_report_count(), 1);
    Bytes expected(65, 0);
    expected[0] = 0x08;
    expected[1] = 0x2D; // bit 7 cleared in the first report
    EXPECT_EQ(WrittenReport(0), expected);
    EXPECT_EQ(std::string(trace), Hex(expected));
}

TEST_F(ReaderTest, ReportCountFollowsTheStagedLength) {
    Open();
    uint8_t frame[63];
    for (int i = 0; i < 63; ++i)
        frame[i] = uint8_t(0x40 + i);
    frame[0] = 0xAA;

    // 62 bytes stage 63 (2 length bytes + 61): exactly one report.
    ASSERT_EQ(HID_WRITE(frame, 62, 2, nullptr), 0);
    ASSERT_EQ(vr_written_report_count(), 1);
    Bytes r = WrittenReport(0);
    EXPECT_EQ(r[0], 0x08);
    EXPECT_EQ(r[1], 0x2A);
    EXPECT_EQ(r[2], 0x00);
    EXPECT_EQ(r[3], 61);
    EXPECT_EQ(r[4], frame[1]);
    EXPECT_EQ(r[64], frame[61]);

    // 63 bytes stage 64: two reports, the second with the lead byte unchanged and one byte.
    vr_clear_log();
    char trace[2048];
    ASSERT_EQ(HID_WRITE(frame, 63, 2, trace), 0);
    ASSERT_EQ(vr_written_report_count(), 2);
    Bytes second = WrittenReport(1);
    Bytes expected(65, 0);
    expected[0] = 0x08;
    expected[1] = 0xAA;
    expected[2] = frame[62];
    EXPECT_EQ(second, expected);
    // Reports follow each other in the trace: byte j of report i at (i * 65 + j) * 3.
    EXPECT_EQ(std::string(trace), Hex(WrittenReport(0)) + Hex(second));
    EXPECT_EQ(std::string(trace).substr((65 + 1) * 3, 3), "AA ");
    EXPECT_EQ(std::string(trace).substr((65 + 2) * 3, 3), Hex({frame[62]}));

    // The reader joined it into one message.
    Bytes message = LastMessage();
    EXPECT_EQ(message, Bytes(frame, frame + 63));
}

TEST_F(ReaderTest, LeadByteWithBit7ClearTravelsUnchanged) {
    Open();
    uint8_t frame[100] = {0x29};
    ASSERT_EQ(HID_WRITE(frame, 100, 2, nullptr), 0);
    ASSERT_EQ(vr_written_report_count(), 2);
    EXPECT_EQ(WrittenReport(0)[1], 0x29);
    EXPECT_EQ(WrittenReport(1)[1], 0x29);
}

TEST_F(ReaderTest, WriteRefusesBadCounts) {
    Open();
    uint8_t frame[2048] = {0xAA};
    EXPECT_EQ(HID_WRITE(frame, 0, 2, nullptr), -9);
    EXPECT_EQ(HID_WRITE(frame, -5, 2, nullptr), -9);
    EXPECT_EQ(HID_WRITE(nullptr, 2, 2, nullptr), -9);
    EXPECT_EQ(HID_WRITE(frame, 2048, 2, nullptr), -93);
    EXPECT_EQ(vr_written_report_count(), 0);
    // The largest count is taken; its trace is cut at 2047 characters and a NUL.
    char trace[4096];
    std::memset(trace, 0x7F, sizeof trace);
    ASSERT_EQ(HID_WRITE(frame, 2047, 2, trace), 0);
    EXPECT_EQ(vr_written_report_count(), 33); // ceil(2048 / 63)
    EXPECT_EQ(std::strlen(trace), 2046u);     // 682 whole groups
    for (size_t i = 2048; i < sizeof trace; ++i)
        ASSERT_EQ(trace[i], 0x7F) << i;
    EXPECT_EQ(LastMessage().size(), 2047u);
}

// --- reading -----------------------------------------------------------------------------

TEST_F(ReaderTest, MultiReportReplyIsJoinedAndTraced) {
    Open();
    Bytes payload(100);
    for (int i = 0; i < 100; ++i)
        payload[size_t(i)] = uint8_t(i * 3);
    vr_set_next_reply(0x30, payload.data(), 100);
    uint8_t frame[2] = {0xA9, 0x7E};
    ASSERT_EQ(HID_WRITE(frame, 2, 2, nullptr), 0);
    uint8_t reply[1024];
    int length = 0;
    char trace[2048];
    ASSERT_EQ(HID_READ(reply, &length, 2, trace), 0);
    ASSERT_EQ(length, 100);
    EXPECT_EQ(Bytes(reply, reply + 100), payload);
    // First report at 0; continuation 1 at 3n + 2 = 197 after CR LF at 195.
    std::string t(trace);
    ASSERT_EQ(t.size(), size_t(65 * 3 + 2 + 65 * 3));
    EXPECT_EQ(t.substr(0, 12), "08 30 00 64 ");
    EXPECT_EQ(t.substr(195, 2), "\r\n");
    EXPECT_EQ(t.substr(197, 6), "08 B0 ");
}

// A raw first report with the status 0x30 and the declared length L, data bytes 1, 2, 3...
Bytes FirstReport(int length) {
    Bytes r(65, 0);
    r[0] = 0x08;
    r[1] = 0x30;
    r[2] = uint8_t(length >> 8);
    r[3] = uint8_t(length);
    for (int i = 4; i < 65; ++i)
        r[size_t(i)] = uint8_t(i - 3);
    return r;
}

Bytes Continuation(uint8_t fill) {
    Bytes r(65, fill);
    r[0] = 0x08;
    r[1] = 0xB0;
    return r;
}

TEST_F(ReaderTest, ContinuationCountRoundsDown) {
    Open();
    uint8_t frame[1] = {0xAD}, reply[1024];
    int length = 0;
    char trace[2048];

    // L = 60: (60 + 2) / 63 = 0 continuations; a report after it stays queued.
    Bytes raw = FirstReport(60), extra = Continuation(0x55);
    raw.insert(raw.end(), extra.begin(), extra.end());
    vr_set_next_reply_raw(raw.data(), int(raw.size()));
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    ASSERT_EQ(HID_READ(reply, &length, 2, trace), 0);
    EXPECT_EQ(length, 60);
    EXPECT_EQ(vr_pending_input_reports(), 1);
    EXPECT_EQ(std::string(trace).find('\r'), std::string::npos);

    // L = 61: 63 / 63 = 1 continuation is awaited although the first report holds all 61.
    raw = FirstReport(61);
    raw.insert(raw.end(), extra.begin(), extra.end());
    vr_set_next_reply_raw(raw.data(), int(raw.size()));
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0); // also drops the report left over above
    ASSERT_EQ(HID_READ(reply, &length, 2, trace), 0);
    EXPECT_EQ(length, 61);
    EXPECT_EQ(reply[60], 61);
    EXPECT_EQ(vr_pending_input_reports(), 0);
    EXPECT_EQ(std::string(trace).substr(195, 8), "\r\n08 B0 ");
}

TEST_F(ReaderTest, ForeignReportsBetweenContinuationsAreSkipped) {
    Open();
    vr_set_spurious_reports(2, 0x31);
    uint8_t frame[2] = {0xA9, 0x7E}, reply[1024];
    int length = 0;
    char trace[2048];
    ASSERT_EQ(HID_WRITE(frame, 2, 2, nullptr), 0);
    ASSERT_EQ(HID_READ(reply, &length, 2, trace), 0);
    uint8_t block[1024];
    ASSERT_EQ(length, vr_config_block(block, sizeof block));
    EXPECT_EQ(std::memcmp(reply, block, size_t(length)), 0);
    std::string t(trace);
    EXPECT_EQ(t.find("EE"), std::string::npos); // skipped reports are not traced
    EXPECT_EQ(t.size(), size_t(4 * 65 * 3 + 3 * 2));
    EXPECT_EQ(vr_pending_input_reports(), 0);
}

TEST_F(ReaderTest, StatusByteIsReturnedAndNothingCopied) {
    Open();
    vr_set_status(0x31);
    uint8_t frame[1] = {0xAD}, reply[1024];
    std::memset(reply, 0x5A, sizeof reply);
    int length = -7;
    char trace[2048];
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    EXPECT_EQ(HID_READ(reply, &length, 2, trace), 49);
    EXPECT_EQ(length, -7);
    for (uint8_t b : reply)
        ASSERT_EQ(b, 0x5A);
    EXPECT_EQ(std::string(trace).substr(0, 6), "08 31 "); // the report is traced all the same

    // Status 0x00 cannot be returned as itself.
    vr_set_status(0x00);
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    EXPECT_EQ(HID_READ(reply, &length, 2, trace), -96);
    EXPECT_EQ(length, -7);
    for (uint8_t b : reply)
        ASSERT_EQ(b, 0x5A);
}

TEST_F(ReaderTest, OversizedReplyIsRefused) {
    Open();
    uint8_t frame[1] = {0xAD};
    uint8_t reply[1024 + 64];
    int length = -7;
    Bytes raw = FirstReport(1025);
    vr_set_next_reply_raw(raw.data(), int(raw.size()));
    std::memset(reply, 0x5A, sizeof reply);
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    EXPECT_EQ(HID_READ(reply, &length, 2, nullptr), -94);
    EXPECT_EQ(length, -7);
    for (uint8_t b : reply)
        ASSERT_EQ(b, 0x5A);

    // 1024 bytes still read whole; only the trace is cut.
    Bytes payload(1024);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i * 7 + 1);
    vr_set_next_reply(0x30, payload.data(), 1024);
    char trace[4096];
    std::memset(trace, 0x7F, sizeof trace);
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    ASSERT_EQ(HID_READ(reply, &length, 2, trace), 0);
    EXPECT_EQ(length, 1024);
    EXPECT_EQ(Bytes(reply, reply + 1024), payload);
    for (size_t i = 1024; i < sizeof reply; ++i)
        ASSERT_EQ(reply[i], 0x5A);
    EXPECT_LE(std::strlen(trace), 2047u);
    for (size_t i = 2048; i < sizeof trace; ++i)
        ASSERT_EQ(trace[i], 0x7F) << i;
}

TEST_F(ReaderTest, StaleReportsAreDiscardedBeforeWriting) {
    Open();
    // A late reply to an earlier attempt, waiting in the queue.
    Bytes stale = FirstReport(2);
    stale[4] = 'X';
    stale[5] = 'Y';
    vr_queue_input_report(stale.data(), int(stale.size()));
    vr_queue_input_report(stale.data(), int(stale.size()));
    uint8_t frame[1] = {0xAD}, reply[1024] = {};
    int length = 0;
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    ASSERT_EQ(HID_READ(reply, &length, 2, nullptr), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(reply), "KeLdO KM5530 MSR V1.00");
}

TEST_F(ReaderTest, DeviceErrorsAreReported) {
    Open();
    uint8_t frame[1] = {0xAD}, reply[1024];
    int length = 0;
    vr_set_fail_when_empty(1);
    EXPECT_EQ(HID_READ(reply, &length, 2, nullptr), -97);
    vr_set_present(0);
    EXPECT_EQ(HID_WRITE(frame, 1, 2, nullptr), -97);
    EXPECT_EQ(HID_READ(reply, nullptr, 2, nullptr), -98);
    EXPECT_EQ(HID_READ(nullptr, &length, 2, nullptr), -98);
}

// --- time-outs and the message pump -------------------------------------------------------

struct PumpLog {
    std::vector<Clock::time_point> calls;
    int nested = 0;
};

void LogPump(void *ctx) {
    static_cast<PumpLog *>(ctx)->calls.push_back(Clock::now());
}

// The typical gap between pump calls: the promise is "at least every 20 ms", so a library that
// waits 20 ms between calls and then some (every gap longer) fails here even on an idle machine.
Clock::duration MedianGap(const PumpLog &log) {
    std::vector<Clock::duration> gaps;
    for (size_t i = 1; i < log.calls.size(); ++i)
        gaps.push_back(log.calls[i] - log.calls[i - 1]);
    if (gaps.empty()) return Clock::duration::max();
    std::nth_element(gaps.begin(), gaps.begin() + long(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

TEST_F(ReaderTest, SilentReaderTimesOutAfterFiveSecondsWhilePumping) {
    Open();
    PumpLog log;
    HID_SetMessagePump(LogPump, &log);
    vr_set_silent(1);
    uint8_t frame[2] = {0xA9, 0x7E}, reply[1024];
    std::memset(reply, 0x5A, sizeof reply);
    int length = -7;
    ASSERT_EQ(HID_WRITE(frame, 2, 2, nullptr), 0);
    auto start = Clock::now();
    log.calls.clear();
    EXPECT_EQ(HID_READ(reply, &length, 2, nullptr), -92);
    auto elapsed = Clock::now() - start;
    // The lower bounds are the library's promise; the upper ones only catch a wait that
    // never ends or a pump that stops, with room for a loaded machine.
    EXPECT_GE(elapsed, std::chrono::milliseconds(4990));
    EXPECT_LT(elapsed, std::chrono::milliseconds(8000));
    EXPECT_EQ(length, -7);
    EXPECT_EQ(reply[0], 0x5A);
    ASSERT_GE(log.calls.size(), 100u); // 5000 ms / 20 ms, less what a busy machine loses
    auto worst = std::chrono::steady_clock::duration::zero();
    for (size_t i = 1; i < log.calls.size(); ++i)
        worst = std::max(worst, log.calls[i] - log.calls[i - 1]);
    EXPECT_LT(worst, std::chrono::milliseconds(1000));
    EXPECT_LE(MedianGap(log), std::chrono::milliseconds(25));
}

TEST_F(ReaderTest, PumpKeepsRunningWhileAWriteIsHeldUp) {
    Open();
    PumpLog log;
    HID_SetMessagePump(LogPump, &log);
    vr_set_write_stall_ms(400);
    uint8_t frame[1] = {0xAD};
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    ASSERT_GE(log.calls.size(), 20u); // 400 ms / 20 ms
    EXPECT_LE(MedianGap(log), std::chrono::milliseconds(25));
}

TEST_F(ReaderTest, PumpRunsBeforeAndAfterEveryReport) {
    Open();
    int calls = 0;
    HID_SetMessagePump([](void *ctx) { ++*static_cast<int *>(ctx); }, &calls);
    uint8_t frame[100] = {0xAA, 0x7E};
    ASSERT_EQ(HID_WRITE(frame, 100, 2, nullptr), 0); // two reports
    EXPECT_GE(calls, 4);
    calls = 0;
    uint8_t reply[1024];
    int length = 0;
    ASSERT_EQ(HID_READ(reply, &length, 2, nullptr), 0); // one report (status only)
    EXPECT_GE(calls, 2);
}

TEST_F(ReaderTest, ExportsCalledFromThePumpAreRefused) {
    Open();
    struct Nested {
        int init = 1, write = 1, close = 1, rf = 1;
    } nested;
    HID_SetMessagePump(
        [](void *ctx) {
            auto *n = static_cast<Nested *>(ctx);
            uint8_t frame[1] = {0xAD};
            n->init = HID_Init();
            n->write = HID_WRITE(frame, 1, 2, nullptr);
            n->close = HID_Close();
            n->rf = RF_Antenna_Sta(1);
        },
        &nested);
    uint8_t frame[1] = {0xAD};
    ASSERT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    EXPECT_EQ(nested.init, -95);
    EXPECT_EQ(nested.write, -95);
    EXPECT_EQ(nested.close, -95);
    EXPECT_EQ(nested.rf, -95);
    EXPECT_EQ(vr_written_report_count(), 1);
}

TEST_F(ReaderTest, BlockedWriteTimesOutAndCompletesSafelyLater) {
    Open();
    vr_set_write_stall_ms(2600);
    auto *frame = new uint8_t[2]{0xA9, 0x7E};
    auto start = Clock::now();
    EXPECT_EQ(HID_WRITE(frame, 2, 2, nullptr), -92);
    auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(1990));
    EXPECT_LT(elapsed, std::chrono::milliseconds(4000));
    delete[] frame; // the late completion must not need the caller's buffer
    // Closing while the write is still blocked hands the handle to the writer.
    EXPECT_EQ(HID_Close(), 0);
    EXPECT_EQ(vr_open_handles(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    EXPECT_EQ(vr_open_handles(), 0);
    // The report was delivered in the end, from the library's own copy.
    ASSERT_EQ(vr_written_report_count(), 1);
    EXPECT_EQ(WrittenReport(0)[1], 0x29);

    // And the library works normally afterwards.
    vr_set_write_stall_ms(0);
    ASSERT_EQ(HID_Init(), 0);
    uint8_t load[2] = {0xA9, 0x7E}, reply[1024];
    int length = 0;
    ASSERT_EQ(HID_WRITE(load, 2, 2, nullptr), 0);
    ASSERT_EQ(HID_READ(reply, &length, 2, nullptr), 0);
    EXPECT_EQ(length, 225);
}

} // namespace
