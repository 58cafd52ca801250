// cardtool-cli over the system's hidapi and libudev, with the reader emulated at the kernel's
// boundary (run under emulated-reader, which the program inherits).
#include "cli_run.h"
#include "emulated_reader.h"

namespace {

using clitest::Result;
using emulated::Bytes;

class RealStackCli : public clitest::CliTest {
  protected:
    void SetUp() override {
        // Run alone it would talk to whatever reader this machine has.
        if (!emulated::ControlPath()) GTEST_SKIP() << "runs under emulated-reader only";
        emulated::Do("reset");
    }
};

TEST_F(RealStackCli, VersionAndAnUnpluggedReader) {
    Result r = Exec({"version"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, " KM5530 MSR V1.00\n");
    EXPECT_EQ(emulated::Messages(), std::vector<Bytes>{{0xAD}});

    emulated::Do("unplug");
    r = Exec({"version"});
    EXPECT_EQ(r.status, 2);
    emulated::Do("plug");
    EXPECT_EQ(Exec({"version"}).status, 0);
}

TEST_F(RealStackCli, BackupThenRestoreVerify) {
    Bytes changed = emulated::ConfigBlock();
    ASSERT_EQ(changed.size(), 225u);
    changed[2] = 'A'; // track 1's start sentinel
    changed[7] = 'Z'; // track 3's end sentinel
    emulated::SetConfigBlock(changed);
    const std::string file = File("shop.MDAT");
    Result r = Exec({"backup", file});
    ASSERT_EQ(r.status, 0) << r.err;

    emulated::Do("reset");
    emulated::Do("clear-log");
    r = Exec({"restore", "--verify", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, file + " written to the reader and verified\n");
    EXPECT_EQ(emulated::ConfigBlock(), changed);
    const auto sent = emulated::Messages();
    // The write, the read-back every Save makes, and the read of --verify.
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0][0], 0xAA);
    EXPECT_EQ(sent[1], (Bytes{0xA9, 0x7E}));
    EXPECT_EQ(sent[2], (Bytes{0xA9, 0x7E}));
}

// Only in the run whose reader has another release than the library takes.
TEST_F(RealStackCli, OtherRelease_ReaderIsNotTaken) {
    Result r = Exec({"version"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no reader found"), std::string::npos) << r.err;
    EXPECT_TRUE(emulated::Messages().empty());
}

} // namespace
