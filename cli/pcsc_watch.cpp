// pcsc watch: the readers and cards present, then every arrival and removal, until SIGINT
// or SIGTERM. A blocked wait for a change is ended with SCardCancel from a thread of its
// own, since the signal handler itself may only write to a pipe.
#include "json_text.h"
#include "pcsc_service.h"

#include "smartcard/apdu_text.h"

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char *kPnpReader = "\\\\?PnP?\\Notification";
// Without the service's reader notification the listing is asked again this often.
constexpr DWORD kPollMs = 1000;

int gSignalPipe = -1;

void OnSignal(int) {
    const char byte = 'i';
    const ssize_t ignored = write(gSignalPipe, &byte, 1);
    (void)ignored;
}

// Turns SIGINT and SIGTERM into a cancel of the blocked wait, and puts the signal handlers
// back when done.
class TCanceller {
  public:
    explicit TCanceller(SCARDCONTEXT context) : Context(context) {
        if (pipe2(Pipe, O_CLOEXEC) != 0) return;
        gSignalPipe = Pipe[1];
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        // A second Ctrl-C ends the program the usual way.
        action.sa_flags = SA_RESETHAND;
        sigaction(SIGINT, &action, &OldInt);
        sigaction(SIGTERM, &action, &OldTerm);
        Thread = std::thread([this] { Run(); });
    }
    ~TCanceller() {
        if (Thread.joinable()) {
            Done = true;
            const char byte = 'q';
            const ssize_t ignored = write(Pipe[1], &byte, 1);
            (void)ignored;
            Thread.join();
            sigaction(SIGINT, &OldInt, nullptr);
            sigaction(SIGTERM, &OldTerm, nullptr);
            gSignalPipe = -1;
        }
        for (int fd : Pipe)
            if (fd >= 0) close(fd);
    }
    TCanceller(const TCanceller &) = delete;
    TCanceller &operator=(const TCanceller &) = delete;

    bool Ready() const { return Thread.joinable(); }
    bool Stopping() const { return Stop; }

  private:
    void Run() {
        for (;;) {
            pollfd p{Pipe[0], POLLIN, 0};
            // Once stopping, the cancel is repeated: the main thread may have been between
            // its check and its next wait when the first one came.
            const int ready = poll(&p, 1, Stop ? 100 : -1);
            if (ready < 0 && errno != EINTR) return;
            if (ready > 0) {
                char byte = 0;
                if (read(Pipe[0], &byte, 1) == 1 && byte == 'i') Stop = true;
            }
            if (Done) return;
            if (Stop) SCardCancel(Context);
        }
    }

    SCARDCONTEXT Context;
    int Pipe[2] = {-1, -1};
    struct sigaction OldInt {
    }, OldTerm{};
    std::thread Thread;
    std::atomic<bool> Stop{false}, Done{false};
};

std::string Now(bool utc) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    std::tm parts{};
    if (utc)
        gmtime_r(&seconds, &parts);
    else
        localtime_r(&seconds, &parts);
    char text[40];
    std::strftime(text, sizeof text, utc ? "%Y-%m-%dT%H:%M:%S" : "%H:%M:%S", &parts);
    char full[48];
    std::snprintf(full, sizeof full, "%s.%03ld%s", text, ms, utc ? "Z" : "");
    return full;
}

class TEvents {
  public:
    TEvents(const TCliStreams &io, bool json) : Io(io), Json(json) {}

    // kind: reader-present, reader-added, reader-removed, card-present, card-inserted,
    // card-removed.
    void Emit(const char *kind, const std::string &reader, const std::vector<uint8_t> *atr,
              bool mute = false) {
        if (Json) {
            nlohmann::ordered_json e = {{"time", Now(true)}, {"event", kind}, {"reader", reader}};
            if (atr)
                e["atr"] = mute ? nlohmann::ordered_json()
                                : nlohmann::ordered_json(BytesToHex(atr->data(), atr->size()));
            if (mute) e["mute"] = true;
            Io.out << JsonText(e) << std::endl;
            return;
        }
        std::string what = kind;
        std::replace(what.begin(), what.end(), '-', ' ');
        Io.out << Now(false) << ' ' << what << ": " << reader;
        if (mute)
            Io.out << " (mute: no answer to reset)";
        else if (atr)
            Io.out << " (ATR " << BytesToSpacedHex(atr->data(), atr->size()) << ')';
        Io.out << std::endl;
    }

  private:
    const TCliStreams &Io;
    bool Json;
};

struct TWatched {
    std::string Name;
    DWORD State = SCARD_STATE_UNAWARE;
};

bool HasCard(DWORD state) {
    return (state & SCARD_STATE_PRESENT) != 0;
}

std::vector<uint8_t> AtrOf(const SCARD_READERSTATE &s) {
    return std::vector<uint8_t>(s.rgbAtr, s.rgbAtr + std::min<DWORD>(s.cbAtr, MAX_ATR_SIZE));
}

// Reports a change of one reader's card between the state known and the one seen.
void CardChange(TEvents &events, const std::string &name, DWORD before,
                const SCARD_READERSTATE &now) {
    const DWORD after = now.dwEventState;
    const bool had = HasCard(before), has = HasCard(after);
    // The high 16 bits count insertions and removals: a card swapped between two waits
    // keeps "present" but moves the count on.
    const bool swapped = had && has && (before >> 16) != (after >> 16) && (before >> 16) != 0;
    const std::vector<uint8_t> atr = AtrOf(now);
    const bool mute = (after & SCARD_STATE_MUTE) != 0;
    if (had && (!has || swapped)) events.Emit("card-removed", name, nullptr);
    if (has && (!had || swapped)) events.Emit("card-inserted", name, &atr, mute);
}

class TWatch {
  public:
    TWatch(const TCliStreams &io, bool json, SCARDCONTEXT context)
        : Io(io), Events(io, json), Context(context) {}

    int Run(const TCanceller &canceller) {
        std::vector<std::string> names;
        LONG rv = ListReaderNames(Context, names);
        if (rv != SCARD_S_SUCCESS) return ServiceFailure(Io, rv);
        // Start from nothing known: every reader and card present is reported once.
        if (!Refresh(names, "reader-present", "card-present")) return Failure;
        while (!canceller.Stopping()) {
            std::vector<SCARD_READERSTATE> states = States();
            if (states.empty()) {
                // No reader and no notification: look again later.
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                rv = SCARD_E_TIMEOUT;
            } else {
                rv = SCardGetStatusChange(Context, Pnp ? INFINITE : kPollMs, states.data(),
                                          static_cast<DWORD>(states.size()));
            }
            if (rv == SCARD_E_CANCELLED) break;
            bool relist = rv == SCARD_E_TIMEOUT && !Pnp;
            if (rv == SCARD_E_UNKNOWN_READER)
                relist = true;
            else if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT) {
                if (canceller.Stopping()) break;
                if (rv == SCARD_E_NO_SERVICE || rv == SCARD_E_SERVICE_STOPPED ||
                    rv == SCARD_F_COMM_ERROR)
                    return Fail(Io, kExitReaderFailed, "the smart-card service stopped");
                return Fail(Io, kExitReaderFailed,
                            std::string("waiting for a change failed: ") +
                                pcsc_stringify_error(rv));
            }
            if (rv == SCARD_S_SUCCESS) relist |= Take(states);
            if (relist) {
                rv = ListReaderNames(Context, names);
                if (rv != SCARD_S_SUCCESS) {
                    if (canceller.Stopping()) break;
                    return ServiceFailure(Io, rv);
                }
                if (!Refresh(names, "reader-added", "card-inserted")) return Failure;
            }
        }
        return kExitOk;
    }

  private:
    std::vector<SCARD_READERSTATE> States() {
        std::vector<SCARD_READERSTATE> states(Readers.size() + (Pnp ? 1 : 0));
        for (std::size_t i = 0; i < Readers.size(); ++i) {
            states[i].szReader = Readers[i].Name.c_str();
            states[i].dwCurrentState = Readers[i].State;
        }
        if (Pnp) {
            states.back().szReader = kPnpReader;
            states.back().dwCurrentState = PnpState;
        }
        return states;
    }

    // Takes the states after a wait; true when the reader list has to be asked again.
    bool Take(const std::vector<SCARD_READERSTATE> &states) {
        bool relist = false;
        for (std::size_t i = 0; i < Readers.size(); ++i) {
            const SCARD_READERSTATE &s = states[i];
            if (!(s.dwEventState & SCARD_STATE_CHANGED)) continue;
            if (s.dwEventState & (SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE)) {
                relist = true;
                continue;
            }
            CardChange(Events, Readers[i].Name, Readers[i].State, s);
            Readers[i].State = s.dwEventState & ~SCARD_STATE_CHANGED;
        }
        if (Pnp) {
            const SCARD_READERSTATE &s = states.back();
            if (s.dwEventState & SCARD_STATE_UNKNOWN) {
                // The service has no reader notification: poll the listing instead.
                Pnp = false;
                relist = true;
            } else if (s.dwEventState & SCARD_STATE_CHANGED) {
                PnpState = s.dwEventState & ~SCARD_STATE_CHANGED;
                relist = true;
            }
        }
        return relist;
    }

    // Brings the known readers in line with a new listing and reports the differences.
    bool Refresh(const std::vector<std::string> &names, const char *readerEvent,
                 const char *cardEvent) {
        for (auto it = Readers.begin(); it != Readers.end();) {
            if (std::find(names.begin(), names.end(), it->Name) != names.end()) {
                ++it;
                continue;
            }
            if (HasCard(it->State)) Events.Emit("card-removed", it->Name, nullptr);
            Events.Emit("reader-removed", it->Name, nullptr);
            it = Readers.erase(it);
        }
        std::vector<SCARD_READERSTATE> fresh;
        std::deque<std::string> freshNames;
        for (const std::string &name : names) {
            const bool known = std::any_of(Readers.begin(), Readers.end(),
                                           [&](const TWatched &w) { return w.Name == name; });
            if (known) continue;
            freshNames.push_back(name);
            SCARD_READERSTATE s{};
            s.szReader = freshNames.back().c_str();
            s.dwCurrentState = SCARD_STATE_UNAWARE;
            fresh.push_back(s);
        }
        if (!fresh.empty()) {
            const LONG rv =
                SCardGetStatusChange(Context, 0, fresh.data(), static_cast<DWORD>(fresh.size()));
            if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT && rv != SCARD_E_UNKNOWN_READER &&
                rv != SCARD_E_CANCELLED) {
                Failure = ServiceFailure(Io, rv);
                return false;
            }
            for (const SCARD_READERSTATE &s : fresh) {
                if (s.dwEventState & (SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE)) continue;
                Events.Emit(readerEvent, s.szReader, nullptr);
                if (HasCard(s.dwEventState)) {
                    const std::vector<uint8_t> atr = AtrOf(s);
                    Events.Emit(cardEvent, s.szReader, &atr,
                                (s.dwEventState & SCARD_STATE_MUTE) != 0);
                }
                Readers.push_back({s.szReader, s.dwEventState & ~SCARD_STATE_CHANGED});
            }
        }
        // The notification's count of readers must be the service's own, or the next wait
        // returns at once.
        if (PnpState == SCARD_STATE_UNAWARE) PnpState = static_cast<DWORD>(names.size()) << 16;
        return true;
    }

    const TCliStreams &Io;
    TEvents Events;
    SCARDCONTEXT Context;
    std::vector<TWatched> Readers;
    bool Pnp = true;
    DWORD PnpState = SCARD_STATE_UNAWARE;
    int Failure = kExitOk;
};

} // namespace

int WatchReaders(const TCliStreams &io, bool json) {
    SCARDCONTEXT context = 0;
    const LONG rv = SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context);
    if (rv != SCARD_S_SUCCESS) return ServiceFailure(io, rv);
    int status;
    {
        TCanceller canceller(context);
        if (!canceller.Ready()) {
            SCardReleaseContext(context);
            return Fail(io, kExitReaderFailed, "cannot set up the Ctrl-C handling");
        }
        TWatch watch(io, json, context);
        status = watch.Run(canceller);
    }
    SCardReleaseContext(context);
    return status;
}
