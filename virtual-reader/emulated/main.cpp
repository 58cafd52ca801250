// emulated-reader: runs a command with card readers emulated at the kernel's boundary, so that
// the command's own hidapi and libudev find them in sysfs and talk to their hidraw nodes.
#include "bus.h"
#include "control.h"
#include "state_text.h"

#include <umockdev.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr const char *kPreload = "libumockdev-preload.so.0";
constexpr const char *kRestarted = "EMULATED_READER_RESTARTED";
// The exit status when the emulation cannot be set up here (ctest's SKIP_RETURN_CODE).
constexpr int kSkipped = 77;

// The lines of this process's memory map that name a library.
std::vector<std::string> MappedLibraries() {
    std::vector<std::string> paths;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        const size_t at = line.find('/');
        if (at != std::string::npos) paths.push_back(line.substr(at));
    }
    return paths;
}

// Whether a library whose file name starts with `name` is mapped (the map names the file a
// symbolic link leads to).
bool Loaded(const std::string &name) {
    for (const std::string &path : MappedLibraries())
        if (path.find("/" + name) != std::string::npos) return true;
    return false;
}

// The path of a sanitizer runtime loaded as a library of its own (as GCC links it), or "".
std::string SanitizerRuntime() {
    for (const std::string &path : MappedLibraries())
        for (const char *name : {"/libasan.so", "/libtsan.so", "/libubsan.so"})
            if (path.find(name) != std::string::npos) return path;
    return {};
}

const char kUsage[] =
    "usage: emulated-reader [OPTION...] [--] COMMAND [ARG...]\n"
    "Runs COMMAND with card readers emulated on a USB bus of their own, through umockdev:\n"
    "COMMAND's hidapi and libudev find them in sysfs and talk to their hidraw nodes. The\n"
    "readers answer as the virtual reader does. COMMAND's exit status is returned.\n"
    "\n"
    "  --readers N          N readers (default 1), serial numbers SN0001, SN0002...\n"
    "  --product HEX        USB product id (default 847C)\n"
    "  --release HEX        USB device release (default 0101)\n"
    "  --report-length N    input and output report length, counting the identifier byte\n"
    "                       even without identifiers (default 65)\n"
    "  --report-id HEX|none report identifier, or none at all (default 8)\n"
    "  --no-descriptor      the report descriptor cannot be read from sysfs\n"
    "  --state FILE         reader 0 starts from this state file if it exists, and leaves\n"
    "                       its state there at the end (the virtual reader's format)\n"
    "  --verbose            every file operation on the nodes on standard error\n"
    "\n"
    "COMMAND finds the control socket (see virtual-reader/emulated/control.h) in\n"
    "EMULATED_READER_CONTROL. Exit status 77: the emulation cannot work here (no umockdev).\n";

[[noreturn]] void Usage(const char *problem) {
    if (problem) std::fprintf(stderr, "emulated-reader: %s\n", problem);
    std::fputs(kUsage, problem ? stderr : stdout);
    std::exit(problem ? 125 : 0);
}

bool Hex16(const char *text, uint16_t &value) {
    char *end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 16);
    if (!*text || *end || v > 0xFFFF) return false;
    value = uint16_t(v);
    return true;
}

pid_t gChild = 0;

void Forward(int signal) {
    if (gChild > 0) ::kill(gChild, signal);
}

} // namespace

int main(int argc, char **argv) {
    emu::ReaderSetup setup;
    int readers = 1;
    std::string stateFile;
    bool verbose = false;
    int at = 1;
    for (; at < argc; ++at) {
        const std::string a = argv[at];
        const char *value = at + 1 < argc ? argv[at + 1] : nullptr;
        if (a == "--") {
            ++at;
            break;
        }
        if (a.rfind("--", 0) != 0) break;
        if (a == "--help") Usage(nullptr);
        if (a == "--no-descriptor") {
            setup.descriptorInSysfs = false;
            continue;
        }
        if (a == "--verbose") {
            verbose = true;
            continue;
        }
        if (!value) Usage(("missing value for " + a).c_str());
        ++at;
        if (a == "--readers") {
            readers = std::atoi(value);
            if (readers < 1 || readers > 8) Usage("--readers takes 1 to 8");
        } else if (a == "--product") {
            if (!Hex16(value, setup.product)) Usage("bad --product");
        } else if (a == "--release") {
            if (!Hex16(value, setup.release)) Usage("bad --release");
        } else if (a == "--report-length") {
            setup.reportLength = std::atoi(value);
            if (setup.reportLength < 4 || setup.reportLength > 1024)
                Usage("--report-length takes 4 to 1024");
        } else if (a == "--report-id") {
            uint16_t id = 0;
            if (std::strcmp(value, "none") == 0)
                setup.reportId = 0;
            else if (Hex16(value, id) && id >= 1 && id <= 0xFF)
                setup.reportId = uint8_t(id);
            else
                Usage("bad --report-id");
        } else if (a == "--state") {
            stateFile = value;
        } else {
            Usage(("unknown option " + a).c_str());
        }
    }
    if (at >= argc) Usage("no command");

    // umockdev's testbed works under its own preload (its paths are the emulated ones): start
    // again under it. The command inherits it.
    if (!Loaded("libumockdev-preload.so")) {
        if (std::getenv(kRestarted)) {
            std::fprintf(stderr,
                         "emulated-reader: skipped: umockdev's preload %s could not be "
                         "loaded (is the package umockdev installed?)\n",
                         kPreload);
            return kSkipped;
        }
        // A sanitizer runtime of its own library refuses to start behind a preload: it keeps
        // its place in front.
        std::string preload = SanitizerRuntime();
        preload += (preload.empty() ? "" : ":") + std::string(kPreload);
        if (const char *old = std::getenv("LD_PRELOAD"); old && *old)
            preload += ":" + std::string(old);
        ::setenv("LD_PRELOAD", preload.c_str(), 1);
        ::setenv(kRestarted, "1", 1);
        ::execv("/proc/self/exe", argv);
        std::fprintf(stderr, "emulated-reader: cannot start again under %s: %s\n", kPreload,
                     std::strerror(errno));
        return 125;
    }
    ::unsetenv(kRestarted);

    std::vector<emu::ReaderSetup> setups;
    for (int i = 0; i < readers; ++i) {
        emu::ReaderSetup s = setup;
        char serial[16];
        std::snprintf(serial, sizeof serial, "SN%04d", i + 1);
        s.serial = serial;
        setups.push_back(s);
    }
    int status = 125;
    {
        emu::Bus bus(setups, verbose);
        if (!stateFile.empty()) {
            std::ifstream in(stateFile, std::ios::binary);
            if (in) {
                const std::string text{std::istreambuf_iterator<char>(in), {}};
                bus.With(0, [&text](emu::HidrawReader &r) { vr::LoadStateText(r.reader, text); });
            }
        }
        const std::string control = bus.Root() + "/control";
        emu::ControlServer server(bus, control);
        ::setenv("EMULATED_READER_CONTROL", control.c_str(), 1);

        struct sigaction forward {};
        forward.sa_handler = Forward;
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            ::sigaction(s, &forward, nullptr);
        pid_t child = 0;
        if (int e = ::posix_spawnp(&child, argv[at], nullptr, nullptr, argv + at, environ)) {
            std::fprintf(stderr, "emulated-reader: cannot run %s: %s\n", argv[at],
                         std::strerror(e));
            return 127;
        }
        gChild = child;
        int wstatus = 0;
        while (::waitpid(child, &wstatus, 0) < 0 && errno == EINTR) {
        }
        gChild = 0;
        status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);

        if (!stateFile.empty()) {
            std::ofstream out(stateFile, std::ios::binary | std::ios::trunc);
            out << bus.With(0, [](emu::HidrawReader &r) { return vr::StateText(r.reader); });
            if (!out) std::fprintf(stderr, "emulated-reader: cannot write %s\n", stateFile.c_str());
        }
    }
    return status;
}
