// The IC card operations without a window, against scripted entry points and a window that
// writes down every call; the APDU text, the key filter, the verdict and the test page's
// port text.
#include "diagnostics/ic_card.h"

#include "diagnostics/port_label.h"
#include "keycodes/hex_text.h"
#include "link/transaction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Log = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

// One scripted attempt: what the write and the read return and leave behind.
struct Attempt {
    int write = 0;
    int read = 0;
    std::string readTrace;
    Bytes reply;
    int replyLength = -1; // -1: the reply's size
};

struct Script {
    Log log;
    int open = 0;
    std::vector<Attempt> attempts;
    size_t next = 0;
    Bytes lastFrame;
    std::function<void()> duringWrite;
};
Script gScript;

extern "C" int FakeOpen() {
    gScript.log.push_back("open");
    return gScript.open;
}
extern "C" int FakeComOpen(int port) {
    gScript.log.push_back("open COM" + std::to_string(port));
    return gScript.open;
}
extern "C" int FakeClose() {
    gScript.log.push_back("close");
    return 0;
}
extern "C" int FakeWrite(unsigned char *frame, int length, int mode, char *trace) {
    gScript.lastFrame.assign(frame, frame + length);
    char text[32];
    std::snprintf(text, sizeof text, "write %02X/%d/%d", frame[0], length, mode);
    gScript.log.push_back(text);
    // What the library traces of the frame it sent.
    std::snprintf(trace, 2048, "08 %02X ", frame[0] & 0x7F);
    // Runs once: the hook may call back into the operation.
    if (const auto during = std::exchange(gScript.duringWrite, nullptr)) during();
    const Attempt &a = gScript.attempts.at(gScript.next);
    if (a.write != 0) ++gScript.next;
    return a.write;
}
extern "C" int FakeRead(unsigned char *reply, int *length, int mode, char *trace) {
    // The trace was zero-filled after the transcript took the write's dump.
    gScript.log.push_back(std::string("read") + (trace[0] == 0 ? "" : " dirty") +
                          (mode == 2 ? "" : " mode?"));
    const Attempt &a = gScript.attempts.at(gScript.next++);
    std::snprintf(trace, 2048, "%s", a.readTrace.c_str());
    if (a.read == 0) {
        if (!a.reply.empty()) std::memcpy(reply, a.reply.data(), a.reply.size());
        *length = a.replyLength < 0 ? int(a.reply.size()) : a.replyLength;
    }
    return a.read;
}

class RecordingWindow : public TIcWindow {
  public:
    void SetEnabled(bool enabled) override {
        gScript.log.push_back(enabled ? "enable" : "disable");
    }
    void Message(const std::string &text) override { gScript.log.push_back("message " + text); }
    void SetTranscript(const std::string &text) override {
        gScript.log.push_back("transcript " + text);
        transcript = text;
    }
    void AppendTranscript(const std::string &text) override {
        gScript.log.push_back("append " + text);
        transcript += text;
    }
    void SetReply(const std::string &text) override {
        gScript.log.push_back("reply " + text);
        reply = text;
    }
    std::string transcript, reply;
};

// Reads of a reply with status "0" over USB: report 08, status 30, length, data.
const std::string kOkTrace = "08 30 00 04 3B 02 14 50 ";
const Bytes kAtr = {0x3B, 0x02, 0x14, 0x50};
const std::string kStatus31Trace = "08 31 00 00 ";
const Attempt kNoReply{0, -92, "", {}};  // written, no reply in time
const Attempt kNotTaken{-92, 0, "", {}}; // the write was not taken

class IcCard : public ::testing::Test {
  protected:
    void SetUp() override {
        gScript = Script{};
        link.HID_Init = FakeOpen;
        link.HID_Close = FakeClose;
        link.HID_WRITE = FakeWrite;
        link.HID_READ = FakeRead;
        link.COM_Init = FakeComOpen;
        link.COM_Close = FakeClose;
        link.COM_WRITE = FakeWrite;
        link.COM_READ = FakeRead;
        link.HidBound = link.SerialBound = 1;
        link.SerialPort = 3;
    }
    TIcResult Run(IcFrontEnd frontEnd, IcOperation op, const Bytes &apdu = {}) {
        return RunIcOperation(link, frontEnd, op, apdu, IcFixedTexts(), window);
    }
    TIcResult Tab(IcOperation op, const Bytes &apdu = {}) {
        return Run(IcFrontEnd::ConfigurationTab, op, apdu);
    }
    void Serial() { link.ConnectionKind = 1; }
    int Count(const std::string &entry) const {
        return int(std::count(gScript.log.begin(), gScript.log.end(), entry));
    }

    TReaderLink link;
    RecordingWindow window;
};

TEST_F(IcCard, PowerUpOnTheTabOverUsbShowsTranscriptReplyAndVerdictInOrder) {
    gScript.attempts = {{0, 0, kOkTrace, kAtr}};
    const TIcResult r = Tab(IcOperation::PowerUp);
    EXPECT_EQ(gScript.log,
              (Log{"reply ", "disable", "open", "write A6/2/2", "transcript SEND:\r\n08 26 \r\n",
                   "read", "enable", "close", "append RECEIVE:\r\n", "append " + kOkTrace,
                   "reply 3B 02 14 50 ", "message IC POWER UP Successful!"}));
    EXPECT_EQ(gScript.lastFrame, (Bytes{0xA6, 0x00}));
    EXPECT_EQ(r.outcome, IcOutcome::Successful);
    EXPECT_EQ(r.reply, kAtr);
    EXPECT_EQ(r.attempts, 1);
}

// Every row of the reply table: which window, which transport, which operation, and what
// a reply with status "0" (with and without data) and with status 0x31 shows.
struct Row {
    IcFrontEnd frontEnd;
    bool serial;
    IcOperation op;
    // Expected for r = 0 with data, r = 0 without data, r = 0x31:
    // the dump appended to the transcript, and the reply memo ("-" = not written after the
    // clearing at the start).
    bool dumpOk, dumpStatus;
    const char *replyData, *replyEmpty, *replyStatus;
};

TEST_F(IcCard, EveryRowOfTheReplyTable) {
    const auto tab = IcFrontEnd::ConfigurationTab, win = IcFrontEnd::TestWindow;
    const auto up = IcOperation::PowerUp, down = IcOperation::PowerDown, apdu = IcOperation::Apdu;
    const Row rows[] = {
        // the tab over USB: the data, "SUCCESSFUL" or ERR= and the status
        {tab, false, up, true, true, "3B 02 14 50 ", "SUCCESSFUL", "ERR=31 "},
        {tab, false, down, true, true, "3B 02 14 50 ", "SUCCESSFUL", "ERR=31 "},
        {tab, false, apdu, true, true, "3B 02 14 50 ", "SUCCESSFUL", "ERR=31 "},
        // the tab over serial: power up shows the data (none after a status); the others
        // show only a reply with a status, and never in the reply memo
        {tab, true, up, true, true, "3B 02 14 50 ", "", ""},
        {tab, true, down, false, true, "-", "-", "-"},
        {tab, true, apdu, false, true, "-", "-", "-"},
        // the test window has no reply memo
        {win, false, up, true, true, "-", "-", "-"},
        {win, false, down, true, true, "-", "-", "-"},
        {win, false, apdu, true, true, "-", "-", "-"},
        {win, true, up, true, true, "-", "-", "-"},
        {win, true, down, false, true, "-", "-", "-"},
        {win, true, apdu, false, true, "-", "-", "-"},
    };
    for (const Row &row : rows) {
        const int n = int(&row - rows);
        link.ConnectionKind = row.serial ? 1 : 0;
        const struct {
            Attempt attempt;
            bool dump;
            const char *reply;
            IcOutcome outcome;
        } cases[] = {
            {{0, 0, kOkTrace, kAtr}, row.dumpOk, row.replyData, IcOutcome::Successful},
            {{0, 0, "08 30 00 00 ", {}}, row.dumpOk, row.replyEmpty, IcOutcome::Successful},
            {{0, 0x31, kStatus31Trace, {}}, row.dumpStatus, row.replyStatus, IcOutcome::Lose}};
        for (const auto &c : cases) {
            gScript = Script{};
            gScript.attempts = {c.attempt};
            window = RecordingWindow{};
            window.reply = "-";
            const TIcResult r = Run(row.frontEnd, row.op, {0x00, 0xA4, 0x04, 0x00, 0x00});
            const std::string sendBlock = "SEND:\r\n08 " +
                                          std::string(row.op == up     ? "26"
                                                      : row.op == down ? "25"
                                                                       : "27") +
                                          " \r\n";
            const std::string expected =
                sendBlock + (c.dump ? "RECEIVE:\r\n" + c.attempt.readTrace : "");
            EXPECT_EQ(window.transcript, expected) << "row " << n;
            // The tab clears its reply memo first; "-" stays when nothing else was written.
            const std::string reply =
                row.frontEnd == tab && std::string(c.reply) == "-" ? "" : c.reply;
            EXPECT_EQ(window.reply, reply) << "row " << n;
            EXPECT_EQ(r.outcome, c.outcome) << "row " << n;
            const int op = int(row.op);
            EXPECT_EQ(gScript.log.back(), "message " + (c.outcome == IcOutcome::Successful
                                                            ? IcFixedTexts().Successful[op]
                                                            : IcFixedTexts().Lose[op]))
                << "row " << n;
        }
    }
}

TEST_F(IcCard, SerialTransportOpensTheSerialPort) {
    Serial();
    gScript.attempts = {{0, 0, "02 30 00 00 30 03 ", {}}};
    EXPECT_EQ(Tab(IcOperation::PowerDown).outcome, IcOutcome::Successful);
    EXPECT_EQ(Count("open COM3"), 1);
    EXPECT_EQ(gScript.lastFrame, (Bytes{0xA5, 0x00}));
}

TEST_F(IcCard, ApduFramesFromTheEntryText) {
    gScript.attempts = {{0, 0, "08 30 00 02 90 00 ", {0x90, 0x00}}};
    Tab(IcOperation::Apdu, ApduTextToBytes("00A4040000"));
    EXPECT_EQ(gScript.lastFrame, (Bytes{0xA7, 0x00, 0xA4, 0x04, 0x00, 0x00}));
    EXPECT_EQ(window.reply, "90 00 ");
    for (const auto &[text, frame] : std::vector<std::pair<std::string, Bytes>>{
             {"00 A4 04 00 00", {0xA7, 0x00, 0xA4, 0x04, 0x00, 0x00}},
             {"ABC", {0xA7, 0xAB, 0xC0}},
             {"A BC", {0xA7, 0xAB, 0xC0}},
             {"", {0xA7}},
             {"   ", {0xA7}}}) {
        gScript = Script{};
        gScript.attempts = {{0, 0, kOkTrace, {}}};
        Tab(IcOperation::Apdu, ApduTextToBytes(text));
        EXPECT_EQ(gScript.lastFrame, frame) << '"' << text << '"';
    }
}

TEST_F(IcCard, AnApduLongerThanAFrameIsRefusedBeforeAnything) {
    EXPECT_EQ(Tab(IcOperation::Apdu, Bytes(kMaxApduBytes + 1, 0x11)).outcome,
              IcOutcome::ApduTooLong);
    EXPECT_TRUE(gScript.log.empty());
    gScript.attempts = {{0, 0, kOkTrace, {}}};
    EXPECT_EQ(Tab(IcOperation::Apdu, Bytes(kMaxApduBytes, 0x11)).outcome, IcOutcome::Successful);
    EXPECT_EQ(gScript.lastFrame.size(), kMaxApduBytes + 1);
}

TEST_F(IcCard, NotBoundShowsTheSelectedTransportsErrorAndCallsNothing) {
    link.HidBound = 0;
    EXPECT_EQ(Tab(IcOperation::PowerUp).outcome, IcOutcome::NotBound);
    EXPECT_EQ(gScript.log, (Log{"reply ", "message The LORVANE.dll Open Error!"}));
    gScript.log.clear();
    Serial();
    link.SerialBound = 0;
    EXPECT_EQ(Run(IcFrontEnd::TestWindow, IcOperation::Apdu).outcome, IcOutcome::NotBound);
    EXPECT_EQ(gScript.log, (Log{"message The COM.dll Open Error!"}));
    // A flag that is set over a missing entry point is no binding either.
    gScript.log.clear();
    link.SerialBound = 1;
    link.COM_READ = nullptr;
    EXPECT_EQ(Run(IcFrontEnd::TestWindow, IcOperation::Apdu).outcome, IcOutcome::NotBound);
    EXPECT_EQ(gScript.log, (Log{"message The COM.dll Open Error!"}));
}

TEST_F(IcCard, NoReaderEnablesTheWindowAndDoesNotClose) {
    gScript.open = -91;
    EXPECT_EQ(Tab(IcOperation::PowerUp).outcome, IcOutcome::NoReader);
    EXPECT_EQ(gScript.log,
              (Log{"reply ", "disable", "open", "enable", "message Can't find the USBMSR!"}));
}

TEST_F(IcCard, SilentReaderKeepsTheLastSendBlockAndShowsNoVerdict) {
    gScript.attempts = {kNoReply, kNoReply, kNoReply};
    const TIcResult r = Tab(IcOperation::PowerUp);
    EXPECT_EQ(r.outcome, IcOutcome::NoAnswer);
    EXPECT_EQ(r.attempts, 3);
    EXPECT_EQ(Count("write A6/2/2"), 3);
    EXPECT_EQ(window.transcript, "SEND:\r\n08 26 \r\n");
    EXPECT_EQ(Count("close"), 1);
    const Log tail(gScript.log.end() - 3, gScript.log.end());
    EXPECT_EQ(tail, (Log{"enable", "close", "message Can't find the USBMSR!"}));
}

TEST_F(IcCard, RetriesUntilAReplyComes) {
    // A write that is not taken leaves no SEND block; two silent reads, then a reply.
    gScript.attempts = {kNoReply, kNotTaken, {0, 0, kOkTrace, kAtr}};
    const TIcResult r = Tab(IcOperation::PowerUp);
    EXPECT_EQ(r.outcome, IcOutcome::Successful);
    EXPECT_EQ(r.attempts, 3);
    EXPECT_EQ(Count("write A6/2/2"), 3);
    EXPECT_EQ(Count("read"), 2);
    // Each attempt's block replaces the last: only the third is left, with its reply.
    EXPECT_EQ(window.transcript, "SEND:\r\n08 26 \r\nRECEIVE:\r\n" + kOkTrace);
}

TEST_F(IcCard, VerdictComesFromTheTraceNotFromTheReadResult) {
    // A library that says 0 while its trace carries status 0x00 (or no status at all) has
    // not succeeded.
    for (const std::string trace : {"08 00 00 00 ", "08 3", "", "08 31 "}) {
        gScript = Script{};
        gScript.attempts = {{0, 0, trace, {}}};
        EXPECT_EQ(Tab(IcOperation::PowerDown).outcome, IcOutcome::Lose) << trace;
        EXPECT_EQ(gScript.log.back(), "message IC POWER DOWN Lose!");
    }
}

TEST_F(IcCard, EveryReplyByteIsShown) {
    Bytes big(1024);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i);
    gScript.attempts = {{0, 0, kOkTrace, big}};
    const TIcResult r = Tab(IcOperation::Apdu);
    EXPECT_EQ(r.reply.size(), 1024u);
    ASSERT_EQ(window.reply.size(), 3 * 1024u);
    EXPECT_EQ(window.reply.substr(3 * 1023), "FF ");
    EXPECT_EQ(window.reply.substr(3 * 682, 3), "AA ");
}

// The test window shows a reply only through the trace, which the library cuts at its
// buffer: a reply longer than a full trace holds is shown after it, byte for byte.
TEST_F(IcCard, TheTestWindowShowsTheBytesACutTraceLeftOut) {
    Bytes big(700);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7);
    std::string fullTrace = "08 30 02 BC ";
    while (fullTrace.size() + 3 <= 2047)
        fullTrace += "5A ";
    for (const bool cut : {true, false}) {
        gScript = Script{};
        gScript.attempts = {{0, 0, cut ? fullTrace : kOkTrace, big}};
        window = RecordingWindow{};
        EXPECT_EQ(Run(IcFrontEnd::TestWindow, IcOperation::Apdu).outcome, IcOutcome::Successful);
        const std::string all = BytesToHexText(big.data(), big.size());
        const size_t at = window.transcript.find(all);
        if (!cut) {
            EXPECT_EQ(at, std::string::npos); // the trace shows the reply as it is
            continue;
        }
        ASSERT_NE(at, std::string::npos) << window.transcript;
        EXPECT_GT(at, window.transcript.find(fullTrace));
        EXPECT_NE(window.transcript.find("cut"), std::string::npos);
    }
}

TEST_F(IcCard, AClickDuringAnExchangeIsBusyAndShowsNothing) {
    gScript.attempts = {{0, 0, kOkTrace, kAtr}};
    RecordingWindow other;
    TIcResult nested;
    gScript.duringWrite = [&] {
        const size_t before = gScript.log.size();
        nested = RunIcOperation(link, IcFrontEnd::TestWindow, IcOperation::PowerDown, {},
                                IcFixedTexts(), other);
        EXPECT_EQ(gScript.log.size(), before);
    };
    EXPECT_EQ(Tab(IcOperation::PowerUp).outcome, IcOutcome::Successful);
    EXPECT_EQ(nested.outcome, IcOutcome::Busy);
    EXPECT_EQ(Count("message Can't find the USBMSR!"), 0);
    EXPECT_EQ(window.reply, "3B 02 14 50 ");
}

TEST_F(IcCard, TheTableTextsAreTheWindowsOwnWords) {
    TUiText table;
    table.Fill();
    const TIcTexts a = IcTexts(table), &b = IcFixedTexts();
    EXPECT_EQ(a.HidOpenError, b.HidOpenError);
    EXPECT_EQ(a.SerialOpenError, b.SerialOpenError);
    EXPECT_EQ(a.NoReader, b.NoReader);
    EXPECT_EQ(a.Send, b.Send);
    EXPECT_EQ(a.Receive, b.Receive);
    EXPECT_EQ(a.NoData, b.NoData);
    EXPECT_EQ(a.StatusPrefix, b.StatusPrefix);
    for (int op = 0; op < 3; ++op) {
        EXPECT_EQ(a.Successful[op], b.Successful[op]);
        EXPECT_EQ(a.Lose[op], b.Lose[op]);
    }
}

TEST(ApduText, KeyFilterAndPastedText) {
    std::string typed;
    for (char key : std::string("1a b\x08g-Z.F"))
        if (char c = ApduKeyFilter(key)) typed += c;
    EXPECT_EQ(typed, "1A B\x08"
                     "F");
    EXPECT_TRUE(IsApduText("00 a4 04 00 00"));
    EXPECT_TRUE(IsApduText(""));
    EXPECT_FALSE(IsApduText("00A4\t04"));
    EXPECT_FALSE(IsApduText("0x00"));
    EXPECT_FALSE(IsApduText("00\x08"));
    EXPECT_EQ(ApduTextToBytes("0"), (Bytes{0x00}));
    EXPECT_EQ(ApduTextToBytes("f 0 0"), (Bytes{0xF0, 0x00}));
}

TEST(ApduText, VerdictNeedsTheStatusCharactersThemselves) {
    EXPECT_TRUE(IcTraceSucceeded("08 30"));
    EXPECT_TRUE(IcTraceSucceeded("02 30 00 00 30 03 "));
    EXPECT_FALSE(IcTraceSucceeded("08 3"));
    EXPECT_FALSE(IcTraceSucceeded(""));
    EXPECT_FALSE(IcTraceSucceeded("08 03 "));
}

TEST(TestPage, PortNamesAndLabel) {
    const char *const names[] = {"USB",  "COM6", "COM1", "COM2", "COM3",
                                 "COM4", "COM5", "COM7", "COM8"};
    for (int i = 0; i < 9; ++i)
        EXPECT_STREQ(TestPortName(i), names[i]);
    for (int i : {-1, 9, 16, 1 << 30})
        EXPECT_STREQ(TestPortName(i), "") << i;
    EXPECT_EQ(TestPortLabel(true, false, 1), "USB");
    EXPECT_EQ(TestPortLabel(false, true, 1), " COM6");
    EXPECT_EQ(TestPortLabel(true, true, 2), "USB COM1");
    EXPECT_EQ(TestPortLabel(false, false, 2), "");
    EXPECT_EQ(TestPortLabel(true, true, 42), "USB ");
}

} // namespace
