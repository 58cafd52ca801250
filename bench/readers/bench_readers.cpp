// A bench of readers, paced at one report per millisecond as a full-speed interrupt endpoint:
//  1. restore --all --verify onto eight virtual readers against the same onto one: the
//     readers are written by processes of their own at the same time, so eight should take
//     about as long as one (target: at most 1.3). Both run cardtool-cli as a process, with
//     start-up and the children's start-ups in the figure;
//  2. list with eight readers, in this process: its time beyond the reports it exchanged (the
//     readers' answers to the version command), target under 50 ms; and the same for the
//     program run as a process, start-up included, for comparison.
#include "cli.h"
#include "run_cli.h"
#include "virtual_reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBench = 8;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs cardtool-cli with the virtual reader first on the library path; its time in ms.
double RunProgram(const std::vector<std::string> &args, const std::vector<std::string> &vars) {
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "VR_", 3) != 0 && std::strncmp(*e, "LD_LIBRARY_PATH=", 16) != 0 &&
            std::strncmp(*e, "LORVANE_DEVICE=", 15) != 0)
            env.push_back(*e);
    env.push_back("LD_LIBRARY_PATH=" CARDTOOL_VIRTUAL_READER_DIR ":" CARDTOOL_BIN_DIR);
    env.insert(env.end(), vars.begin(), vars.end());
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> all{CARDTOOL_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        std::fprintf(stderr, "cannot start %s\n", CARDTOOL_CLI);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "cardtool-cli %s failed (%d)\n", args[0].c_str(), status);
        std::exit(1);
    }
    return ms;
}

// Reports every reader exchanged since their logs were cleared.
int Reports(int readers) {
    int n = 0;
    for (int k = 0; k < readers; ++k) {
        vr_select_reader(k);
        n += vr_written_report_count() + vr_read_report_count();
    }
    vr_select_reader(0);
    return n;
}

void ClearLogs(int readers) {
    for (int k = 0; k < readers; ++k) {
        vr_select_reader(k);
        vr_clear_log();
    }
    vr_select_reader(0);
}

} // namespace

int main(int argc, char **argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    char folder[] = "/tmp/bench-readers-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string dir = folder, settings = dir + "/shop.MDAT";

    // --- restore --all --verify: eight readers against one, rounds interleaved ---
    const std::vector<std::string> paced{"VR_REPORT_DELAY_US=1000", "VR_STATE_FILE=" + dir + "/r"};
    RunProgram({"backup", settings}, paced);
    std::vector<double> one, eight;
    for (int i = 0; i < rounds; ++i) {
        std::vector<std::string> vars = paced;
        vars.push_back("VR_DEVICES=1");
        one.push_back(RunProgram({"restore", "--all", "--verify", settings}, vars));
        vars.back() = "VR_DEVICES=" + std::to_string(kBench);
        eight.push_back(RunProgram({"restore", "--all", "--verify", settings}, vars));
    }
    const double t1 = Median(one), t8 = Median(eight);

    // --- list with eight readers, in this process and as a process ---
    vr_reset();
    vr_set_reader_count(kBench);
    for (int k = 0; k < kBench; ++k) {
        vr_select_reader(k);
        vr_set_report_delay_us(1000);
    }
    vr_select_reader(0);
    if (RunCliHere({"list"}) != 0) return 1; // loads the libraries once
    std::vector<double> beyond;
    double wire = 0;
    for (int i = 0; i < rounds; ++i) {
        ClearLogs(kBench);
        const auto start = Clock::now();
        if (RunCliHere({"list"}) != 0) return 1;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        wire = Reports(kBench); // one millisecond each
        beyond.push_back(ms - wire);
    }
    std::vector<double> listed;
    for (int i = 0; i < rounds; ++i)
        listed.push_back(RunProgram({"list"}, {"VR_REPORT_DELAY_US=1000",
                                               "VR_DEVICES=" + std::to_string(kBench)}) -
                         wire);
    const double listBeyond = Median(beyond), processBeyond = Median(listed);

    std::printf("A bench of %d virtual readers paced at 1 report/ms (median of %d rounds):\n",
                kBench, rounds);
    std::printf("  restore --all --verify, %d readers / 1 reader: %.2f (%.1f ms / %.1f ms; "
                "target <= 1.3)\n",
                kBench, t8 / t1, t8, t1);
    std::printf("  list, %d readers: %.1f ms beyond the %.0f ms of reports (%.2f of the 50 ms "
                "target); as a process, start-up included: %.1f ms beyond\n",
                kBench, listBeyond, wire, listBeyond / 50.0, processBeyond);
    std::system(("rm -rf '" + dir + "'").c_str());
    return 0;
}
