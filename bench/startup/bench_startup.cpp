// bench_startup [runs]: time from process start to the first window painted, for the
// program's start-up and for a minimal Qt Widgets program with one empty window (and, for
// reference, one with a single label, and one whose label ends in the chooser's full-width
// colon, so that it loads the same fallback font), started alternately in the same run
// with the same platform plugin. Prints medians and the ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
std::string Dir() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = 0;
    std::string s(path);
    return s.substr(0, s.rfind('/'));
}

// Milliseconds from fork to the probe's ready byte; negative when the probe failed.
double RunOnce(const std::string &program) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        setenv("STARTUP_READY_FD", std::to_string(fds[1]).c_str(), 1);
        execl(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char byte = 0;
    const ssize_t got = read(fds[0], &byte, 1);
    const auto ready = std::chrono::steady_clock::now();
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != 1) return -1;
    return std::chrono::duration<double, std::milli>(ready - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
} // namespace

int main(int argc, char **argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Without it every probe warns once on standard error; any private directory will do.
    char runtime[] = "/tmp/bench-startup-XXXXXX";
    const bool own_runtime = std::getenv("XDG_RUNTIME_DIR") == nullptr && mkdtemp(runtime);
    if (own_runtime) setenv("XDG_RUNTIME_DIR", runtime, 1);
    const std::string dir = Dir();
    const std::string cardtool = dir + "/startup_probe_cardtool";
    const std::string minimal = dir + "/startup_probe_minimal";
    const std::string text = dir + "/startup_probe_text";
    const std::string fullwidth = dir + "/startup_probe_fullwidth";
    // One unmeasured run each warms the file cache.
    RunOnce(cardtool);
    RunOnce(minimal);
    RunOnce(text);
    RunOnce(fullwidth);
    std::vector<double> a, b, c, d;
    for (int i = 0; i < runs; ++i) {
        const double x = RunOnce(cardtool);
        const double y = RunOnce(minimal);
        const double z = RunOnce(text);
        const double w = RunOnce(fullwidth);
        if (x < 0 || y < 0 || z < 0 || w < 0) {
            std::fprintf(stderr, "a probe failed to show its window\n");
            if (own_runtime) rmdir(runtime);
            return 1;
        }
        a.push_back(x);
        b.push_back(y);
        c.push_back(z);
        d.push_back(w);
    }
    const double ma = Median(a), mb = Median(b), mc = Median(c), md = Median(d);
    std::printf("platform %s, %d runs each\n", std::getenv("QT_QPA_PLATFORM"), runs);
    std::printf("cardtool start-up to chooser shown: median %.1f ms\n", ma);
    std::printf("minimal Qt Widgets window shown:    median %.1f ms\n", mb);
    std::printf("ratio %.2f (target at most 1.50)\n", ma / mb);
    // For reading the ratio: how much of the gap any window with text pays (fonts).
    std::printf("minimal window with one label:      median %.1f ms (ratio %.2f; cardtool "
                "against it %.2f)\n",
                mc, mc / mb, ma / mc);
    // The fair comparison: the chooser's size and its fallback font, nothing else.
    std::printf("same window, label with a full-width colon: median %.1f ms (ratio %.2f; "
                "cardtool against it %.2f, target at most 1.30)\n",
                md, md / mb, ma / md);
    if (own_runtime) rmdir(runtime);
    return 0;
}
