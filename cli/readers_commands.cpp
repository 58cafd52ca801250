// list and restore --all: the readers of a bench. The reader library holds one reader per
// process, so list asks the readers one after another, and restore --all runs this program
// once per reader, several at a time, with --device naming it.
#include "cli.h"
#include "config/record_rules.h"
#include "hid_readers.h"
#include "json_text.h"
#include "msr_session.h"
#include "pcsc_service.h"
#include "settings_source.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using json = nlohmann::ordered_json;

std::string Hex4(uint16_t v) {
    char t[8];
    std::snprintf(t, sizeof t, "%04X", unsigned(v));
    return t;
}

std::string Padded(std::string text, size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

std::string Trimmed(const std::string &text) {
    const size_t from = text.find_first_not_of(' ');
    return from == std::string::npos ? std::string()
                                     : text.substr(from, text.find_last_not_of(' ') + 1 - from);
}

// The readers attached, or (`chosen`) those --device names; the exit status with its error
// otherwise.
int AttachedReaders(const TCliStreams &io, std::vector<THidReader> &readers, bool chosenOnly) {
    const std::string error = ListHidReaders(readers);
    if (!error.empty()) return Fail(io, kExitNoReader, error);
    const char *chosen = std::getenv(kDeviceVariable);
    if (chosenOnly && chosen && *chosen) {
        std::erase_if(readers, [chosen](const THidReader &r) { return !NamesReader(r, chosen); });
        if (readers.empty()) return Fail(io, kExitNoReader, NoReaderText());
    }
    return kExitOk;
}

std::string NotTakenText(const THidReader &r) {
    return "release " + Hex4(r.Release) + ", which the reader library does not take";
}

struct TListed {
    std::string Version, Error;
};

} // namespace

int CmdList(const TCliStreams &io) {
    std::vector<THidReader> readers;
    if (const int status = AttachedReaders(io, readers, true)) return status;
    std::vector<TListed> listed(readers.size());
    for (size_t i = 0; i < readers.size(); ++i) {
        if (!readers[i].Taken) {
            listed[i].Error = NotTakenText(readers[i]);
            continue;
        }
        const TDeviceChoice choice(readers[i].Path);
        TMsrSession m;
        const std::string error = m.Bind();
        if (!error.empty()) return Fail(io, kExitNoReader, error);
        int status = kExitOk;
        listed[i].Error = OutcomeText(m, MsrVersion(m.Context()), status);
        listed[i].Version = m.Window.Version;
    }
    std::vector<TReaderState> cards;
    const long rv = ListReaderStates(cards);
    const std::string pcscError = rv == 0 ? std::string() : ServiceFailureText(rv);

    if (io.json) {
        json hid = json::array();
        for (size_t i = 0; i < readers.size(); ++i) {
            const THidReader &r = readers[i];
            const TListed &l = listed[i];
            hid.push_back(json{{"path", r.Path},
                               {"vendor", Hex4(r.Vendor)},
                               {"product", Hex4(r.Product)},
                               {"release", Hex4(r.Release)},
                               {"serial", r.Serial.empty() ? json() : json(r.Serial)},
                               {"version", l.Error.empty() ? json(l.Version) : json()},
                               {"error", l.Error.empty() ? json() : json(l.Error)}});
        }
        json pcsc = json::array();
        for (size_t i = 0; i < cards.size(); ++i)
            pcsc.push_back(json{{"index", i}, {"name", cards[i].Name}, {"card", cards[i].Card}});
        io.out << JsonText(json{{"readers", hid},
                                {"pcsc",
                                 {{"readers", pcsc},
                                  {"error", pcscError.empty() ? json() : json(pcscError)}}}},
                           2)
               << '\n';
        return kExitOk;
    }
    size_t pathWidth = 0, serialWidth = 1;
    for (const THidReader &r : readers) {
        pathWidth = std::max(pathWidth, r.Path.size());
        serialWidth = std::max(serialWidth, r.Serial.size());
    }
    io.out << "Readers:\n";
    if (readers.empty()) io.out << "  none attached (vendor 10C4, product 847C or 84A2)\n";
    for (size_t i = 0; i < readers.size(); ++i) {
        const THidReader &r = readers[i];
        io.out << "  " << Padded(r.Path, pathWidth) << "  " << Hex4(r.Vendor) << ':'
               << Hex4(r.Product) << "  release " << Hex4(r.Release) << "  serial "
               << Padded(r.Serial.empty() ? "-" : r.Serial, serialWidth) << "  "
               << (listed[i].Error.empty() ? Trimmed(listed[i].Version)
                                           : "(" + listed[i].Error + ")")
               << '\n';
    }
    io.out << "PC/SC readers:\n";
    if (!pcscError.empty()) io.out << "  (" << pcscError << ")\n";
    if (pcscError.empty() && cards.empty()) io.out << "  none\n";
    for (size_t i = 0; i < cards.size(); ++i)
        io.out << "  " << i << ": " << cards[i].Name << ": "
               << (cards[i].Card ? "card present" : "no card") << '\n';
    return kExitOk;
}

namespace {

// One reader's restore, run by a child process.
struct TRun {
    const THidReader *Reader = nullptr;
    pid_t Pid = -1;
    int Out = -1, Err = -1; // the child's standard output and error, until they end
    std::string OutText, ErrText;
    bool Started = false, Done = false;
    int Status = kExitOk;
    std::string Result;
};

void CloseFd(int &fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// A process with one thread may fork and go on: nothing can hold a lock in the copy.
bool SingleThreaded() {
    FILE *f = std::fopen("/proc/self/status", "r");
    if (!f) return false;
    char line[256];
    int threads = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "Threads: %d", &threads) == 1) break;
    std::fclose(f);
    return threads == 1;
}

// The child: this program again, with --device naming the one reader. Forked, it runs the
// command line at once from the copy of this process, whose libraries are loaded already: a
// bench's readers all start together, and loading the program afresh for each of them would
// cost more than the readers take to answer. A process with other threads starts the program
// anew instead. `others`: the pipes of earlier children, which a forked child closes.
void Start(TRun &run, const std::string &program, const std::vector<std::string> &args,
           const std::vector<int> &others, bool forked) {
    run.Started = true;
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        run.Done = true;
        run.Status = kExitReaderFailed;
        run.Result = std::string("no process started: ") + std::strerror(errno);
        return;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        const int e = errno;
        ::close(out[0]);
        ::close(out[1]);
        run.Done = true;
        run.Status = kExitReaderFailed;
        run.Result = std::string("no process started: ") + std::strerror(e);
        return;
    }
    std::vector<std::string> argv0{program, "--device", run.Reader->Path};
    argv0.insert(argv0.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argv0)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int failed = 0;
    if (forked) {
        std::cout.flush();
        std::cerr.flush();
        run.Pid = ::fork();
        if (run.Pid == 0) {
            const int null = ::open("/dev/null", O_RDONLY);
            if (null >= 0) ::dup2(null, 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            for (const int fd : others)
                ::close(fd);
            for (const int fd : {out[0], out[1], err[0], err[1], null})
                if (fd > 2) ::close(fd);
            const TCliStreams io{std::cout, std::cerr, false};
            const int status = RunCli(int(argv0.size()), argv.data(), io);
            std::cout.flush();
            std::cerr.flush();
            std::exit(status); // the libraries' own clean-up runs, as when the program ends
        }
        if (run.Pid < 0) failed = errno;
    } else {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        failed = posix_spawn(&run.Pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
    }
    ::close(out[1]);
    ::close(err[1]);
    run.Out = out[0];
    run.Err = err[0];
    // Read as far as there is something, never waiting: poll says when.
    ::fcntl(run.Out, F_SETFL, O_NONBLOCK);
    ::fcntl(run.Err, F_SETFL, O_NONBLOCK);
    if (failed != 0) {
        CloseFd(run.Out);
        CloseFd(run.Err);
        run.Pid = -1;
        run.Done = true;
        run.Status = kExitReaderFailed;
        run.Result = std::string("no process started: ") + std::strerror(failed);
    }
}

// The child's verdict: its error line without the program's name, or what it wrote.
void Finish(TRun &run, int waitStatus, bool verify) {
    run.Done = true;
    if (WIFSIGNALED(waitStatus)) {
        run.Status = kExitReaderFailed;
        run.Result = "ended by signal " + std::to_string(WTERMSIG(waitStatus));
        return;
    }
    run.Status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : kExitReaderFailed;
    if (run.Status == kExitOk) {
        run.Result = verify ? "written and verified" : "written";
        return;
    }
    std::string text = run.ErrText;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    text = text.substr(text.rfind('\n') + 1);
    const std::string prefix = "cardtool-cli: ";
    if (text.compare(0, prefix.size(), prefix) == 0) text.erase(0, prefix.size());
    run.Result = text.empty() ? "ended with exit status " + std::to_string(run.Status) : text;
}

// Reads what is there; false once the stream has ended.
bool Drain(int fd, std::string &into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            // A child says one line; a runaway one must not fill the memory.
            if (into.size() < 65536) into.append(buffer, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && errno == EAGAIN;
    }
}

std::string gProgram; // SetCliProgram's

std::string ProgramPath() {
    if (!gProgram.empty()) return gProgram;
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    path[n] = '\0';
    return path;
}

} // namespace

void SetCliProgram(const std::string &path) {
    gProgram = path;
}

int CmdRestoreAll(const TCliStreams &io, const std::string &file, bool verify, int jobs) {
    // The file is checked once, before any reader is touched; a file cut short, which a
    // single restore would take as the window does, is refused for a whole bench.
    {
        TMsrSession m;
        if (const int status = OpenSettingsFile(io, file, TShortFile::Refuse, m)) return status;
        uint8_t frame[kFrameSize];
        int length = 0;
        if (!EncodeRecord(*m.Settings, kDefaultLanguage, frame, length))
            return Fail(io, kExitFile, TooLongText(file));
    }
    // Every reader, whatever LORVANE_DEVICE says: each child gets its own --device.
    std::vector<THidReader> readers;
    if (const int status = AttachedReaders(io, readers, false)) return status;
    if (readers.empty()) return Fail(io, kExitNoReader, kNoReaderFound);
    const std::string program = ProgramPath();
    if (program.empty()) return Fail(io, kExitUsage, "cannot find this program to run it again");
    // Loaded once here: a missing library is one error, not one per reader, and the children
    // forked below find it loaded.
    TMsrSession library;
    if (const std::string error = library.Bind(); !error.empty())
        return Fail(io, kExitNoReader, error);
    const bool forked = SingleThreaded();

    // "--" keeps a file name that starts with a dash a file name in the child.
    std::vector<std::string> args{"restore"};
    if (verify) args.push_back("--verify");
    args.insert(args.end(), {"--", file});
    std::vector<TRun> runs(readers.size());
    for (size_t i = 0; i < readers.size(); ++i) {
        runs[i].Reader = &readers[i];
        if (!readers[i].Taken) {
            runs[i].Started = runs[i].Done = true;
            runs[i].Status = kExitNoReader;
            runs[i].Result = NotTakenText(readers[i]);
        }
    }
    size_t pathWidth = 0, serialWidth = 1;
    for (const THidReader &r : readers) {
        pathWidth = std::max(pathWidth, r.Path.size());
        serialWidth = std::max(serialWidth, r.Serial.size());
    }
    // Results in the order of the listing, each as soon as those before it are in.
    size_t printed = 0;
    int worst = kExitOk, written = 0;
    const auto print = [&] {
        for (; printed < runs.size() && runs[printed].Done; ++printed) {
            const TRun &r = runs[printed];
            worst = std::max(worst, r.Status);
            written += r.Status == kExitOk;
            if (io.json)
                io.out << JsonText(
                              json{{"path", r.Reader->Path},
                                   {"serial",
                                    r.Reader->Serial.empty() ? json() : json(r.Reader->Serial)},
                                   {"status", r.Status},
                                   {"result", r.Result}},
                              -1)
                       << '\n';
            else
                io.out << Padded(r.Reader->Path, pathWidth) << "  "
                       << Padded(r.Reader->Serial.empty() ? "-" : r.Reader->Serial, serialWidth)
                       << "  "
                       << (r.Status == kExitOk
                               ? r.Result
                               : "exit " + std::to_string(r.Status) + ": " + r.Result)
                       << '\n';
            io.out.flush();
        }
    };

    const size_t limit = jobs > 0 ? size_t(jobs) : runs.size();
    size_t running = 0;
    for (;;) {
        for (TRun &r : runs)
            if (!r.Started && running < limit) {
                std::vector<int> others;
                for (const TRun &o : runs)
                    for (const int fd : {o.Out, o.Err})
                        if (fd >= 0) others.push_back(fd);
                Start(r, program, args, others, forked);
                if (!r.Done) ++running;
            }
        print();
        if (running == 0 &&
            std::all_of(runs.begin(), runs.end(), [](const TRun &r) { return r.Started; }))
            break;
        std::vector<pollfd> fds;
        std::vector<std::pair<TRun *, int *>> owners;
        for (TRun &r : runs)
            for (int *fd : {&r.Out, &r.Err})
                if (*fd >= 0) {
                    fds.push_back({*fd, POLLIN, 0});
                    owners.push_back({&r, fd});
                }
        if (!fds.empty() && ::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            return Fail(io, kExitReaderFailed, std::string("poll failed: ") + std::strerror(errno));
        for (size_t k = 0; k < fds.size(); ++k) {
            if (!fds[k].revents) continue;
            auto [run, fd] = owners[k];
            if (!Drain(*fd, fd == &run->Out ? run->OutText : run->ErrText)) CloseFd(*fd);
        }
        for (TRun &r : runs) {
            if (!r.Started || r.Done || r.Out >= 0 || r.Err >= 0) continue;
            int waitStatus = 0;
            while (::waitpid(r.Pid, &waitStatus, 0) < 0 && errno == EINTR) {
            }
            Finish(r, waitStatus, verify);
            --running;
        }
    }
    if (!io.json)
        io.out << readers.size() << (readers.size() == 1 ? " reader: " : " readers: ") << written
               << " written" << (verify ? " and verified" : "") << ", "
               << readers.size() - size_t(written) << " failed\n";
    return worst;
}
