// Several readers at once: list, --device and restore --all against a bench of virtual
// readers, each with its own state and message log; and --json on every command that prints a
// result.
#include "cli_run.h"
#include "config_records.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <sstream>

namespace {

using namespace clitest;
using json = nlohmann::json;

class CliReaders : public CliTest {
  protected:
    static constexpr int kReaders = 4;
    Result Bench(const std::vector<std::string> &args,
                 std::map<std::string, std::string> env = {}) {
        env.emplace("VR_DEVICES", std::to_string(kReaders));
        return Exec(args, env);
    }
    // The first byte of every message reader k was sent.
    std::string Commands(int reader) const {
        std::string c;
        for (const Bytes &m : Messages(reader))
            c += m.empty() ? std::string("--") : Hex({m[0]});
        return c;
    }
    Bytes Changed() const { return Encoded(*Record(kChangedOptions, ChangedLayers), 3); }
};

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST_F(CliReaders, ListShowsEveryReaderAndAsksEachForItsVersion) {
    Result r = Bench({"list"}, {{"VR_VERSION_TEXT_1", "KeLdO KM9 V2"}, {"VR_PRESENT_2", "0"}});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 6u) << r.out;
    EXPECT_EQ(lines[0], "Readers:");
    EXPECT_EQ(lines[1],
              "  virtual-reader:0  10C4:847C  release 0101  serial 0001  KM5530 MSR V1.00");
    EXPECT_EQ(lines[2], "  virtual-reader:1  10C4:847C  release 0101  serial 0002  KM9 V2");
    EXPECT_EQ(lines[3],
              "  virtual-reader:3  10C4:847C  release 0101  serial 0004  KM5530 MSR V1.00");
    EXPECT_EQ(lines[4], "PC/SC readers:");
    for (const int k : {0, 1, 3})
        EXPECT_EQ(Commands(k), "AD") << k;

    // A reader that does not answer is listed all the same, with what went wrong.
    ClearMessages(kReaders);
    r = Bench({"list", "--json"}, {{"VR_SILENT_3", "1"}, {"VR_FAIL_WHEN_EMPTY_3", "1"}});
    ASSERT_EQ(r.status, 0) << r.err;
    const json listed = json::parse(r.out);
    ASSERT_EQ(listed["readers"].size(), 4u);
    EXPECT_EQ(listed["readers"][2],
              json::parse(R"({"path": "virtual-reader:2", "vendor": "10C4", "product": "847C",
                              "release": "0101", "serial": "0003",
                              "version": " KM5530 MSR V1.00", "error": null})"));
    EXPECT_EQ(listed["readers"][3]["version"], nullptr);
    EXPECT_EQ(listed["readers"][3]["error"], "reader did not answer after 3 attempts");
    EXPECT_TRUE(listed["pcsc"].contains("readers"));

    // --device lists the one reader it names; a name that fits none is exit status 2.
    r = Bench({"--device", "0002", "list", "--json"});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(json::parse(r.out)["readers"].size(), 1u);
    EXPECT_EQ(json::parse(r.out)["readers"][0]["path"], "virtual-reader:1");
    r = Bench({"list", "--device", "0009"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no reader 0009 found"), std::string::npos) << r.err;
}

// Every command acts on the reader --device names, by path or serial number, and on no other;
// without it, on the first reader.
TEST_F(CliReaders, DeviceChoosesTheReaderEveryCommandWorksOn) {
    const std::string file = File("factory.MDAT");
    WriteBytes(file, FileOf(*Record(kFactoryOptions), 0));
    struct Case {
        std::vector<std::string> args;
        int reader;
        std::string sent;
    };
    for (const Case &c : std::vector<Case>{
             {{"--device", "virtual-reader:2", "mode", "test"}, 2, "AE"},
             {{"mode", "test", "--device", "0004"}, 3, "AE"},
             {{"mode", "test"}, 0, "AE"},
             {{"--device", "0002", "default"}, 1, "AAA9"},
             {{"--device", "0003", "ic", "power-up"}, 2, "A6"},
             {{"--device", "0003", "verify", "--json", file}, 2, "A9"},
             {{"--device", "0002", "mifare", "read", "1", "0"}, 1, "A8A8A8A8A8A8A8A8"}}) {
        ClearMessages(kReaders);
        const Result r = Bench(c.args);
        EXPECT_EQ(r.status, 0) << testing::PrintToString(c.args) << r.err;
        for (int k = 0; k < kReaders; ++k)
            EXPECT_EQ(Commands(k), k == c.reader ? c.sent : "")
                << testing::PrintToString(c.args) << " reader " << k;
    }
    EXPECT_EQ(ReaderState(2)["mode"], "1");
    EXPECT_EQ(ReaderState(3)["mode"], "1");
    const Result verified = Bench({"--device", "0003", "verify", file});
    EXPECT_EQ(verified.out, "reader:0003 and " + file + " hold the same configuration\n");
    EXPECT_EQ(ReaderState(1)["mode"], "0");

    // Names that fit no reader, and malformed ones, which are refused before any is opened.
    ClearMessages(kReaders);
    for (const auto &[device, status, error] :
         std::vector<std::tuple<std::string, int, std::string>>{
             {"virtual-reader:4", 2, "no reader virtual-reader:4 found"},
             {"0000", 2, "no reader 0000 found"},
             {"", 1, "--device: no reader path or serial number given"},
             {std::string(256, 'x'), 1, "--device: longer than 255 characters"},
             {"00\n01", 1, "--device: holds the byte 0A"},
             {"0001\xC3\xA9", 1, "--device: holds the byte C3"}}) {
        const Result r = Bench({"--device", device, "show"});
        EXPECT_EQ(r.status, status) << device;
        EXPECT_EQ(r.err.rfind("cardtool-cli: " + error, 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "");
    }
    const Result r = Bench({"--device", "0001", "pcsc", "list"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the pcsc commands choose theirs with --reader"), std::string::npos);
    for (int k = 0; k < kReaders; ++k)
        EXPECT_EQ(Commands(k), "") << k;
}

TEST_F(CliReaders, RestoreAllWritesEveryReaderAndReportsTheWorst) {
    const std::string file = File("shop.MDAT");
    WriteBytes(file, FileOf(*Record(kChangedOptions, ChangedLayers), 3));
    auto expected = Record(kChangedOptions, ChangedLayers);
    expected->RemoveSelect() = 0x10;
    expected->RemoveLength() = 0x1D;
    const Bytes block = Encoded(*expected, 3);

    // Reader 1 refuses the write, reader 2 says yes and keeps its old configuration; the
    // others are written all the same.
    const std::map<std::string, std::string> faults{{"VR_COMMAND_STATUS_1", "AA:31"},
                                                    {"VR_COMMAND_STATUS_2", "AA:30"}};
    Result r = Bench({"restore", "--all", "--verify", file}, faults);
    EXPECT_EQ(r.status, 5) << r.err;
    EXPECT_EQ(r.out, "virtual-reader:0  0001  written and verified\n"
                     "virtual-reader:1  0002  exit 3: the reader refused the command (status 31)\n"
                     "virtual-reader:2  0003  exit 5: the reader answered the write but does "
                     "not hold the configuration sent\n"
                     "virtual-reader:3  0004  written and verified\n"
                     "4 readers: 2 written and verified, 2 failed\n");
    EXPECT_EQ(r.err, "");
    for (const int k : {0, 3})
        EXPECT_EQ(ReaderBlock(k), block) << k;
    for (const int k : {1, 2})
        EXPECT_NE(ReaderBlock(k), block) << k;

    // One at a time, as JSON: the same results, one object a line.
    for (int k = 0; k < kReaders; ++k)
        SetReaderBlock(Encoded(*Record(kFactoryOptions), 0), k);
    r = Bench({"restore", "--all", file, "--jobs", "1", "--json"}, faults);
    EXPECT_EQ(r.status, 5);
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(json::parse(lines[0]), json::parse(R"({"path": "virtual-reader:0", "serial": "0001",
                                                     "status": 0, "result": "written"})"));
    EXPECT_EQ(json::parse(lines[1])["status"], 3);
    EXPECT_EQ(json::parse(lines[2])["status"], 5);
    EXPECT_EQ(ReaderBlock(3), block);

    // A file named with a leading dash reaches each reader's process as a file, not an option.
    for (int k = 0; k < kReaders; ++k)
        SetReaderBlock(Encoded(*Record(kFactoryOptions), 0), k);
    std::filesystem::copy_file(file, File("-shop.MDAT"));
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(Dir);
    r = Bench({"restore", "--all", "--verify", "--", "-shop.MDAT"});
    std::filesystem::current_path(here);
    EXPECT_EQ(r.status, 0) << r.out;
    for (int k = 0; k < kReaders; ++k)
        EXPECT_EQ(ReaderBlock(k), block) << k;

    // Unplugged readers are not listed; none at all is exit status 2.
    r = Bench({"restore", "--all", file}, {{"VR_PRESENT", "0"}, {"VR_PRESENT_2", "1"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 2u);
    // A reader chosen in the environment does not narrow "all".
    r = Bench({"restore", "--all", file}, {{"LORVANE_DEVICE", "0002"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 5u);
    r = Bench({"restore", "--all", file}, {{"VR_PRESENT", "0"}});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "cardtool-cli: no reader found (vendor 10C4, product 847C/84A2)\n");
}

// The file and the options are checked before any reader is: nothing is sent to one.
TEST_F(CliReaders, RestoreAllRefusesBadFilesAndOptionsBeforeAnyReader) {
    const std::string file = File("shop.MDAT");
    const Bytes good = FileOf(*Record(kFactoryOptions), 0);
    struct Case {
        std::vector<std::string> args;
        Bytes bytes;
        int status;
        std::string error;
    };
    for (const Case &c : std::vector<Case>{
             {{"restore", "--all", file},
              Bytes(good.begin(), good.end() - 1),
              4,
              "file is 16447 bytes; a settings file holds 16448 (a file cut short?)"},
             {{"restore", "--all", file}, Bytes(16449, 0), 4, "file is 16449 bytes"},
             {{"restore", "--all", file}, {}, 4, "the file is empty"},
             {{"restore", "--all", file, "--jobs", "0"}, good, 1, "--jobs needs a whole number"},
             {{"restore", "--all", file, "--jobs", "x2"}, good, 1, "--jobs needs a whole number"},
             {{"restore", file, "--jobs", "2"}, good, 1, "--jobs goes with --all"},
             {{"--device", "0001", "restore", "--all", file}, good, 1, "--device chooses one"}}) {
        WriteBytes(file, c.bytes);
        const Result r = Bench(c.args);
        EXPECT_EQ(r.status, c.status) << c.error;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    for (int k = 0; k < kReaders; ++k)
        EXPECT_EQ(Commands(k), "") << k;
}

// Every command that prints a result prints it as one JSON object with --json.
TEST_F(CliReaders, JsonFromEveryCommandThatPrintsAResult) {
    const std::string file = File("shop.MDAT"), card = File("card.bin");
    struct Case {
        std::vector<std::string> args;
        std::string item;
        json value;
    };
    for (const Case &c :
         std::vector<Case>{{{"version"}, "version", " KM5530 MSR V1.00"},
                           {{"backup", file}, "bytes", 16448},
                           {{"restore", file}, "verified", false},
                           {{"restore", "--verify", file}, "verified", true},
                           {{"verify", file}, "equal", true},
                           {{"default"}, "written", "default"},
                           {{"mode", "normal"}, "mode", "normal"},
                           {{"ic", "power-up"}, "atr", "3B 02 14 50"},
                           {{"ic", "apdu", "00A4040000"}, "sw", "90 00"},
                           {{"ic", "power-down"}, "response", ""},
                           {{"mifare", "search"}, "serial", "A1B2C3D4"},
                           {{"mifare", "read", "1", "2"}, "data", std::string(32, '0')},
                           {{"mifare", "write", "1", "2", "11"}, "written", "11"},
                           {{"mifare", "value", "init", "2", "0", "100"}, "amount", 100},
                           {{"mifare", "value", "get", "2", "0"}, "value", 100},
                           {{"mifare", "dump", card}, "blocks_read", 64},
                           {{"mifare", "restore-data", card}, "blocks_written", 47}}) {
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        const Result r = Exec(args);
        EXPECT_EQ(r.status, 0) << testing::PrintToString(args) << r.err;
        const json j = json::parse(r.out, nullptr, false);
        ASSERT_FALSE(j.is_discarded()) << testing::PrintToString(args) << r.out;
        EXPECT_EQ(j.value(c.item, json()), c.value) << testing::PrintToString(args) << r.out;
    }
}

} // namespace
