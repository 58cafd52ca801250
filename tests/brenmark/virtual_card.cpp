// virtual_card [--private]: puts the lab's virtual card into a PC/SC reader for the demo, when
// no PC/SC reader is present, and keeps it there until it gets SIGTERM, SIGINT or SIGHUP, or
// its parent ends.
//
// Where the card goes: into the vpcd reader of the system's pcscd when the service runs with
// that driver configured; otherwise (or with --private), as root, into a private pcscd run the
// way the tests run theirs. Its first line on standard output says what it did, for
// scripts/pcsc-demo.sh:
//   none                 a PC/SC reader is present: nothing started
//   system               the card is in the system's vpcd reader
//   private <socket>     the card is in a private pcscd; PCSCLITE_CSOCK_NAME=<socket> reaches it
//   unavailable          neither is possible here
// and one line on standard error says it for the user (in the last case: what to install).
#include "card_scripts.h"
#include "pcsc_lab.h"
#include "vpcd_conf.h"

#include <PCSC/winscard.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using brenmark_lab::Bytes;

constexpr const char *kFriendlyName = "Virtual PCD";
constexpr int kCardTimeoutMs = 5000;

std::string Hex(const Bytes &bytes) {
    std::string s;
    char byte[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", bytes[i]);
        s += byte;
    }
    return s;
}

void Say(const std::string &line) {
    std::fprintf(stderr, "PC/SC: %s\n", line.c_str());
}
void Report(const std::string &line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

struct SystemService {
    bool answers = false;
    std::vector<std::string> readers;
};

// What the system's pcscd lists. Asked from a child process: the client library fixes the
// service's socket at its first call, and this process may still need a private one.
SystemService AskSystemService() {
    SystemService service;
    int fds[2];
    if (pipe(fds) != 0) return service;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        unsetenv("PCSCLITE_CSOCK_NAME");
        std::string out;
        bool answers = false;
        for (const std::string &name : brenmark_lab::list_readers(&answers))
            out += name + '\n';
        out.insert(0, answers ? "1\n" : "0\n");
        (void)!write(fds[1], out.data(), out.size());
        _exit(0);
    }
    close(fds[1]);
    std::string in;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        in.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    if (pid > 0) waitpid(pid, nullptr, 0);
    std::size_t at = 0;
    for (std::size_t end; (end = in.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = in.substr(at, end - at);
        if (at == 0)
            service.answers = line == "1";
        else
            service.readers.push_back(line);
    }
    return service;
}

bool StartsWith(const std::string &s, const std::string &prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Waits for SIGTERM, SIGINT or SIGHUP, blocked in every thread since the start.
void WaitForTheEnd(const sigset_t &ending) {
    int signal = 0;
    sigwait(&ending, &signal);
}

} // namespace

int main(int argc, char **argv) {
    const bool forcePrivate = argc > 1 && std::strcmp(argv[1], "--private") == 0;
    sigset_t ending;
    sigemptyset(&ending);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&ending, s);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    // Gone with the script that started it, whatever ends the script (also if it ended
    // before the request took effect).
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) return 1;

    const SystemService system = AskSystemService();
    const std::vector<brenmark_lab::VpcdReader> vpcd = brenmark_lab::SystemVpcdReaders();
    const auto isVpcd = [&](const std::string &reader) {
        return std::any_of(vpcd.begin(), vpcd.end(), [&](const auto &v) {
            return StartsWith(reader, v.friendly_name + " ");
        });
    };
    for (const std::string &reader : system.readers)
        if (!isVpcd(reader)) {
            Say("using the reader present (\"" + reader + "\"); no virtual card started.");
            Report("none");
            return 0;
        }

    const Bytes atr = brenmark_lab::kAtrT0;
    brenmark_lab::VirtualCard card(atr, brenmark_lab::lab_card_script());
    // Debian's pcscd runs with --auto-exit: a minute without any client and it ends, taking
    // the vpcd reader and our card's connection with it; when the window connects later a new
    // pcscd shows the reader empty. A context of our own keeps the service up while we run.
    SCARDCONTEXT keepAlive = 0;
    brenmark_lab::PrivatePcscd daemon;
    std::string reader;
    std::string state;
    if (!forcePrivate && system.answers && !vpcd.empty()) {
        const auto &v = vpcd.front();
        reader = v.friendly_name + " 00 00";
        if (std::find(system.readers.begin(), system.readers.end(), reader) ==
            system.readers.end()) {
            Say("the system's pcscd does not list \"" + reader +
                "\" yet; restart it (systemctl restart pcscd) to read its vpcd configuration.");
            Report("unavailable");
            return 3;
        }
        if (!card.insert(v.port) || !brenmark_lab::wait_for_card(reader, true, kCardTimeoutMs)) {
            Say("the virtual card could not enter \"" + reader + "\" (port " +
                std::to_string(v.port) + "; another virtual card in it?).");
            Report("unavailable");
            return 3;
        }
        if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &keepAlive) !=
            SCARD_S_SUCCESS)
            keepAlive = 0;
        state = "system";
        Say("no reader present: a virtual card sits in \"" + reader +
            "\" of the system's pcscd, ATR " + Hex(atr) + ".");
    } else {
        const auto &a = brenmark_lab::availability();
        if (!a.usable) {
            std::string what;
            if (!system.answers && !vpcd.empty())
                what = "start pcscd (systemctl start pcscd.socket)";
            else
                what = "install the vpcd driver (apt-get install pcscd vsmartcard-vpcd)";
            Say("no reader and no virtual card; for the PC/SC demo " + what +
                ", or run scripts/run.sh as root (" + a.reason + ").");
            Report("unavailable");
            return 3;
        }
        std::string error;
        reader = std::string(kFriendlyName) + " 00 00";
        if (!daemon.start({kFriendlyName}, &error)) {
            Say("the private pcscd did not start: " + error);
            Report("unavailable");
            return 3;
        }
        if (!card.insert(daemon.port(0)) ||
            !brenmark_lab::wait_for_card(reader, true, kCardTimeoutMs)) {
            Say("the virtual card could not enter \"" + reader + "\" of the private pcscd.");
            Report("unavailable");
            return 3;
        }
        const char *socket = std::getenv("PCSCLITE_CSOCK_NAME");
        state = std::string("private ") + (socket ? socket : "");
        Say("no reader present: a private pcscd lists \"" + reader +
            "\" with a virtual card in it, ATR " + Hex(atr) + ".");
    }
    Report(state);
    WaitForTheEnd(ending);
    card.remove();
    if (keepAlive) SCardReleaseContext(keepAlive);
    daemon.stop();
    return 0;
}
