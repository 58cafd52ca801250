// cardtool-cli over the system's hidapi and libudev, with the reader emulated at the kernel's
// boundary (run under emulated-reader, which the program inherits).
#include "cli_run.h"
#include "emulated_reader.h"

#include <algorithm>
#include <nlohmann/json.hpp>

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

// Only in the run with two readers on the bus: the bench commands over the real stack.
TEST_F(RealStackCli, TwoReaders_ListChooseAndRestoreEveryOne) {
    emulated::Do("@1 reset");
    emulated::Do("clear-log");
    emulated::Do("@1 clear-log");

    Result r = Exec({"list", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto listed = nlohmann::json::parse(r.out)["readers"];
    ASSERT_EQ(listed.size(), 2u) << r.out;
    std::vector<std::string> serials;
    for (const auto &reader : listed) {
        EXPECT_EQ(reader["version"], " KM5530 MSR V1.00") << reader;
        EXPECT_EQ(reader["path"].get<std::string>().rfind("/dev/hidraw", 0), 0u) << reader;
        serials.push_back(reader["serial"]);
    }
    std::sort(serials.begin(), serials.end());
    EXPECT_EQ(serials, (std::vector<std::string>{"SN0001", "SN0002"}));

    // The chosen reader alone hears the command.
    emulated::Do("clear-log");
    emulated::Do("@1 clear-log");
    r = Exec({"--device", "SN0002", "version"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(emulated::Messages(0).empty());
    EXPECT_EQ(emulated::Messages(1), std::vector<Bytes>{{0xAD}});
    EXPECT_EQ(Exec({"--device", "SN0009", "version"}).status, 2);

    // One reader's configuration onto both, each in a process of its own.
    Bytes changed = emulated::ConfigBlock(0);
    changed[2] = 'A';
    emulated::SetConfigBlock(changed, 0);
    const std::string file = File("bench.MDAT");
    ASSERT_EQ(Exec({"--device", "SN0001", "backup", file}).status, 0);
    ASSERT_NE(emulated::ConfigBlock(1), changed);
    r = Exec({"restore", "--all", "--verify", file});
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_NE(r.out.find("2 readers: 2 written and verified"), std::string::npos) << r.out;
    EXPECT_EQ(emulated::ConfigBlock(1), changed);
    EXPECT_EQ(emulated::ConfigBlock(0), changed);
}

} // namespace
