// ic power-up | power-down | apdu run as a process: the frames of the IC card test, the
// response with its status word, and a reader or card that refuses.
#include "cli_run.h"

namespace {

using namespace clitest;

class CliIc : public CliTest {};

TEST_F(CliIc, ApduWithAndWithoutPower) {
    Result r = Exec({"ic", "apdu", "00", "B0", "00", "00", "04"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "cardtool-cli: APDU TEST Lose! (the reader answered status 31)\n");

    r = Exec({"ic", "power-up"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ATR: 3B 02 14 50\n");
    EXPECT_EQ(ReaderState()["ic_powered"], "1");

    r = Exec({"ic", "apdu", "00B0 0000", "04"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "response: 00 01 02 03\nSW1 SW2: 90 00 (Normal processing)\n");
    r = Exec({"ic", "apdu", "80a4040000"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "response: (none)\nSW1 SW2: 6E 00 (Class not supported)\n");

    r = Exec({"ic", "power-down"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ReaderState()["ic_powered"], "0");

    const std::vector<Bytes> sent = Messages();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0], (Bytes{0xA7, 0x00, 0xB0, 0x00, 0x00, 0x04}));
    EXPECT_EQ(sent[1], (Bytes{0xA6, 0x00}));
    EXPECT_EQ(sent[2], sent[0]);
    EXPECT_EQ(sent[3], (Bytes{0xA7, 0x80, 0xA4, 0x04, 0x00, 0x00}));
    EXPECT_EQ(sent[4], (Bytes{0xA5, 0x00}));
}

TEST_F(CliIc, TraceShowsTheRawReports) {
    const Result r = Exec({"ic", "--trace", "power-up"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("SEND:\n08 26 00 01 00 ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nRECEIVE:\n08 30 00 04 3B 02 14 50 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ATR: 3B 02 14 50\n"), std::string::npos);
}

TEST_F(CliIc, RefusedApdusSendNothing) {
    for (const char *bad : {"00A", "0x00", "zz", " "}) {
        const Result r = Exec({"ic", "apdu", bad});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(Exec({"ic", "apdu", std::string(2048, '0')}).status, 1); // 1024 bytes: one too many
    EXPECT_TRUE(Messages().empty());
}

TEST_F(CliIc, NoCardInTheSlot) {
    SetState("ic_present", "0");
    const Result r = Exec({"ic", "power-up"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "cardtool-cli: IC POWER UP Lose! (the reader answered status 31)\n");
}

} // namespace
