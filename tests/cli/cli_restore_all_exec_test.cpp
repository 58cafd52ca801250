// restore --all from a process that has threads, which may not fork: each reader's child is
// cardtool-cli started afresh with --device. The command line runs in this process, against
// the virtual reader linked in; the children load theirs from the library path and share the
// bench through its state files.
#include "cli.h"
#include "config_records.h"
#include "virtual_reader.h"

#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

using namespace clitest;

TEST(CliRestoreAllExec, ChildrenAreTheProgramStartedAgainWhenThisProcessHasThreads) {
    CliRunner bench;
    const std::string file = bench.File("shop.MDAT");
    WriteBytes(file, FileOf(*Record(kChangedOptions, ChangedLayers), 3));
    vr_set_reader_count(2);
    // Only a child started afresh reads this from the file; a copy of this process would
    // write back the test mode its own reader lacks.
    bench.SetState("mode", "1", 1);
    setenv("VR_DEVICES", "2", 1);
    setenv("VR_STATE_FILE", bench.State.c_str(), 1);
    SetCliProgram(CARDTOOL_CLI);

    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread other([&] {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [&] { return finished; });
    });
    std::ostringstream out, err;
    const TCliStreams io{out, err, false};
    std::vector<std::string> args{"cardtool-cli", "restore", "--all", "--verify", file};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    const int status = RunCli(int(argv.size()), argv.data(), io);
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    done.notify_all();
    other.join();
    unsetenv("VR_DEVICES");
    unsetenv("VR_STATE_FILE");

    EXPECT_EQ(status, 0) << err.str();
    EXPECT_EQ(out.str(), "virtual-reader:0  0001  written and verified\n"
                         "virtual-reader:1  0002  written and verified\n"
                         "2 readers: 2 written and verified, 0 failed\n");
    auto expected = Record(kChangedOptions, ChangedLayers);
    expected->RemoveSelect() = 0x10;
    expected->RemoveLength() = 0x1D;
    for (const int k : {0, 1})
        EXPECT_EQ(bench.ReaderBlock(k), Encoded(*expected, 3)) << k;
    EXPECT_EQ(bench.ReaderState(1)["mode"], "1");
}

} // namespace
