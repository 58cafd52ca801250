#include "pcsc_lab.h"

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace brenmark_lab {
namespace {

// The daemon always serves this directory; the client library can be pointed elsewhere.
constexpr const char *kDaemonRunDir = "/run/pcscd";
constexpr const char *kDaemonSocket = "/run/pcscd/pcscd.comm";

using Clock = std::chrono::steady_clock;

void sleep_ms(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct Setup {
    Availability availability;
    std::string pcscd;
    std::string driver;
    fs::path base;   // private files of this process
    fs::path run;    // bound on /run/pcscd inside the namespace
    fs::path conf;   // reader configuration directory
    fs::path socket; // what the client library connects to

    ~Setup() {
        std::error_code ec;
        if (!base.empty()) fs::remove_all(base, ec);
    }
};

std::string first_executable(std::initializer_list<const char *> paths) {
    for (const char *p : paths)
        if (access(p, X_OK) == 0) return p;
    return {};
}

std::string find_vpcd_driver() {
    for (const char *root : {"/usr/lib/pcsc/drivers", "/usr/local/lib/pcsc/drivers",
                             "/usr/lib/x86_64-linux-gnu/pcsc/drivers"}) {
        std::error_code ec;
        if (!fs::is_directory(root, ec)) continue;
        for (auto it = fs::recursive_directory_iterator(root, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            std::string name = it->path().filename().string();
            if (name.rfind("libifdvpcd.so", 0) == 0 && fs::is_regular_file(it->path(), ec))
                return it->path().string();
        }
    }
    return {};
}

bool socket_answers(const std::string &path) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    bool ok = connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// In a child: a private mount namespace with `run` bound on the daemon's directory.
// Returns 0 or the errno of the failing step. Only system calls, so safe after fork.
int enter_private_namespace(const char *run) {
    if (unshare(CLONE_NEWNS) != 0) return errno;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return errno;
    if (mount(run, kDaemonRunDir, nullptr, MS_BIND, nullptr) != 0) return errno;
    return 0;
}

bool probe_namespace(const std::string &run, std::string *why) {
    pid_t pid = fork();
    if (pid < 0) {
        *why = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) _exit(enter_private_namespace(run.c_str()));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    *why = WIFEXITED(status) ? std::strerror(WEXITSTATUS(status)) : "probe died";
    return false;
}

// Private directories of test processes that were killed before they could clean up;
// their names carry the owner's process id.
void remove_stale_private_dirs() {
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator("/tmp", ec)) {
        std::string name = entry.path().filename().string();
        const std::string prefix = "brenmark-lab-";
        if (name.rfind(prefix, 0) != 0) continue;
        long owner = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (owner > 0 && kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH)
            fs::remove_all(entry.path(), ec);
    }
}

Setup &setup() {
    static Setup s = [] {
        Setup s;
        Availability &a = s.availability;
        if (geteuid() != 0) {
            a.reason = "not root: pcscd needs root to start with a private reader list";
            return s;
        }
        s.pcscd = first_executable({"/usr/sbin/pcscd", "/usr/bin/pcscd", "/sbin/pcscd"});
        if (s.pcscd.empty()) {
            a.reason = "pcscd is not installed (Debian package pcscd)";
            return s;
        }
        s.driver = find_vpcd_driver();
        if (s.driver.empty()) {
            a.reason = "the vpcd driver is not installed (Debian package vsmartcard-vpcd)";
            return s;
        }
        remove_stale_private_dirs();
        std::string templ = "/tmp/brenmark-lab-" + std::to_string(getpid()) + "-XXXXXX";
        if (mkdtemp(templ.data()) == nullptr) {
            a.reason = std::string("mkdtemp: ") + std::strerror(errno);
            return s;
        }
        s.base = templ.c_str();
        s.run = s.base / "run";
        s.conf = s.base / "conf";
        fs::create_directories(s.run);
        fs::create_directories(s.conf);
        fs::create_directories(s.base / "drivers");
        // The mount point; the pcscd package creates the same directory when it runs.
        std::error_code ec;
        fs::create_directories(kDaemonRunDir, ec);
        std::string why;
        if (probe_namespace(s.run.string(), &why)) {
            a.own_namespace = true;
            s.socket = s.run / "pcscd.comm";
        } else if (socket_answers(kDaemonSocket)) {
            a.reason = "no private mount namespace (" + why + ") and another pcscd is live on " +
                       kDaemonSocket + "; refusing to disturb it";
            return s;
        } else {
            s.socket = kDaemonSocket;
        }
        setenv("PCSCLITE_CSOCK_NAME", s.socket.c_str(), 1);
        a.usable = true;
        return s;
    }();
    return s;
}

// A port P with P + 1 free as well (vpcd takes both for a device's two slots). The probe
// sockets stay open in *held until all ports are chosen, so no two devices share one.
std::uint16_t free_port_pair(std::vector<int> *held) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        int a = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_ANY); // vpcd listens on every address
        socklen_t len = sizeof addr;
        if (bind(a, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
            getsockname(a, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
            close(a);
            continue;
        }
        std::uint16_t port = ntohs(addr.sin_port);
        if (port == 65535) {
            close(a);
            continue;
        }
        int b = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        addr.sin_port = htons(static_cast<std::uint16_t>(port + 1));
        if (bind(b, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            close(a);
            close(b);
            continue;
        }
        held->push_back(a);
        held->push_back(b);
        return port;
    }
    return 0;
}

void clear_dir(const fs::path &dir) {
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec))
        fs::remove_all(entry.path(), ec);
}

} // namespace

const Availability &availability() {
    return setup().availability;
}

bool PrivatePcscd::start(const std::vector<std::string> &friendly_names, std::string *error) {
    stop();
    Setup &s = setup();
    if (!s.availability.usable) {
        *error = s.availability.reason;
        return false;
    }
    if (s.availability.own_namespace) clear_dir(s.run);
    clear_dir(s.conf);

    // Each device its own copy of the driver: vpcd keeps its sockets in static storage,
    // and pcscd shares one loaded driver between devices of the same file.
    std::vector<int> held;
    ports_.clear();
    names_ = friendly_names;
    std::ostringstream conf;
    for (std::size_t i = 0; i < friendly_names.size(); ++i) {
        fs::path copy = s.base / "drivers" / ("libifdvpcd-" + std::to_string(i) + ".so");
        std::error_code ec;
        if (!fs::exists(copy, ec)) fs::copy_file(s.driver, copy, ec);
        if (ec) {
            *error = "cannot copy the vpcd driver: " + ec.message();
            return false;
        }
        std::uint16_t port = free_port_pair(&held);
        if (port == 0) {
            *error = "no free pair of TCP ports";
            for (int fd : held)
                close(fd);
            return false;
        }
        ports_.push_back(port);
        conf << "FRIENDLYNAME \"" << friendly_names[i] << "\"\n"
             << "DEVICENAME /dev/null:" << port << "\n"
             << "LIBPATH " << copy.string() << "\n\n";
    }
    for (int fd : held)
        close(fd);
    if (!friendly_names.empty()) std::ofstream(s.conf / "readers") << conf.str();

    fs::path log_path = s.base / "pcscd.log";
    int log_fd = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int report[2];
    if (log_fd < 0 || null_fd < 0 || pipe2(report, O_CLOEXEC) != 0) {
        *error = std::string("cannot prepare the daemon's files: ") + std::strerror(errno);
        if (log_fd >= 0) close(log_fd);
        if (null_fd >= 0) close(null_fd);
        return false;
    }
    std::string conf_dir = s.conf.string();
    std::string run_dir = s.run.string();
    const char *argv[] = {s.pcscd.c_str(), "-f", "-c", conf_dir.c_str(), nullptr};
    bool own_namespace = s.availability.own_namespace;

    pid_t pid = fork();
    if (pid == 0) {
        // Only system calls from here on. The daemon dies with the test process.
        int step = 0;
        int err = 0;
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
            step = 1;
            err = errno;
        } else if (own_namespace && (err = enter_private_namespace(run_dir.c_str())) != 0) {
            step = 2;
        } else if (dup2(null_fd, 0) < 0 || dup2(log_fd, 1) < 0 || dup2(log_fd, 2) < 0) {
            step = 3;
            err = errno;
        } else {
            execv(argv[0], const_cast<char *const *>(argv));
            step = 4;
            err = errno;
        }
        int msg[2] = {step, err};
        ssize_t ignored = write(report[1], msg, sizeof msg);
        (void)ignored;
        _exit(127);
    }
    close(report[1]);
    close(log_fd);
    close(null_fd);
    if (pid < 0) {
        close(report[0]);
        *error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    pid_ = pid;
    int msg[2] = {0, 0};
    ssize_t got;
    while ((got = read(report[0], msg, sizeof msg)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof msg)) {
        static const char *steps[] = {"", "prctl", "private mount namespace", "redirect",
                                      "exec pcscd"};
        const char *step = msg[0] >= 1 && msg[0] <= 4 ? steps[msg[0]] : "?";
        *error = std::string("starting pcscd failed at ") + step + ": " + std::strerror(msg[1]);
        stop();
        return false;
    }

    // Ready when the socket answers and every reader is listed.
    const std::size_t expected = friendly_names.size() * 2;
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            *error = "pcscd exited at start:\n" + log();
            return false;
        }
        if (socket_answers(s.socket.string()) && list_readers().size() == expected) return true;
        sleep_ms(20);
    }
    *error = "pcscd did not come up within 10 s:\n" + log();
    stop();
    return false;
}

void PrivatePcscd::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    bool reaped = false;
    for (int i = 0; i < 150 && !reaped; ++i) {
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD))
            reaped = true;
        else
            sleep_ms(20);
    }
    if (!reaped) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
    Setup &s = setup();
    if (s.availability.own_namespace) clear_dir(s.run);
}

std::string PrivatePcscd::log() const {
    std::ifstream in(setup().base / "pcscd.log");
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string PrivatePcscd::reader_name(std::size_t reader) const {
    return names_.at(reader / 2) + (reader % 2 ? " 00 01" : " 00 00");
}

std::uint16_t PrivatePcscd::reader_port(std::size_t reader) const {
    return static_cast<std::uint16_t>(port(reader / 2) + reader % 2);
}

bool CardRack::insert(std::size_t reader, Bytes atr, VirtualCard::Script script, int timeout_ms) {
    if (!remove(reader, timeout_ms)) return false;
    if (cards_.size() <= reader) cards_.resize(reader + 1);
    cards_[reader] = std::make_unique<VirtualCard>(std::move(atr), std::move(script));
    return cards_[reader]->insert(daemon_.reader_port(reader), timeout_ms) &&
           wait_for_card(daemon_.reader_name(reader), true, timeout_ms);
}

bool CardRack::remove(std::size_t reader, int timeout_ms) {
    if (reader >= cards_.size() || !cards_[reader]) return true;
    cards_[reader].reset();
    return wait_for_card(daemon_.reader_name(reader), false, timeout_ms);
}

const VirtualCard *CardRack::card(std::size_t reader) const {
    return reader < cards_.size() ? cards_[reader].get() : nullptr;
}

std::vector<std::string> list_readers(bool *answered) {
    std::vector<std::string> names;
    SCARDCONTEXT context;
    const bool up =
        SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) == SCARD_S_SUCCESS;
    if (answered) *answered = up;
    if (!up) return names;
    DWORD size = 0;
    if (SCardListReaders(context, nullptr, nullptr, &size) == SCARD_S_SUCCESS && size > 1) {
        std::string multi(size, '\0');
        if (SCardListReaders(context, nullptr, multi.data(), &size) == SCARD_S_SUCCESS) {
            for (std::size_t pos = 0; pos < size && multi[pos] != '\0';) {
                std::string name(multi.c_str() + pos);
                pos += name.size() + 1;
                names.push_back(name);
            }
        }
    }
    SCardReleaseContext(context);
    return names;
}

bool wait_for_card(const std::string &reader, bool present, int timeout_ms) {
    SCARDCONTEXT context;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return false;
    SCARD_READERSTATE state{};
    state.szReader = reader.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    bool reached = false;
    while (!reached) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        LONG rv = SCardGetStatusChange(context, static_cast<DWORD>(left.count()), &state, 1);
        if (rv != SCARD_S_SUCCESS && rv != SCARD_E_TIMEOUT) break;
        DWORD now = state.dwEventState;
        bool has_card = (now & SCARD_STATE_PRESENT) && !(now & SCARD_STATE_MUTE);
        bool empty = (now & SCARD_STATE_EMPTY) != 0;
        reached = present ? has_card : empty;
        state.dwCurrentState = now & ~SCARD_STATE_CHANGED;
        if (rv == SCARD_E_TIMEOUT) break;
    }
    SCardReleaseContext(context);
    return reached;
}

VirtualCard::VirtualCard(Bytes atr, Script script)
    : atr_(std::move(atr)), script_(std::move(script)) {}

bool VirtualCard::insert(std::uint16_t port, int timeout_ms) {
    remove();
    auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < deadline) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            fd_ = fd;
            stopping_ = false;
            thread_ = std::thread([this] { serve(); });
            return true;
        }
        close(fd);
        sleep_ms(20);
    }
    return false;
}

void VirtualCard::remove() {
    if (fd_ < 0) return;
    stopping_ = true;
    shutdown(fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    close(fd_);
    fd_ = -1;
}

std::vector<Bytes> VirtualCard::commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

bool VirtualCard::send_frame(const Bytes &data) {
    // Length and bytes in one write: vpcd reads a frame as one piece.
    Bytes frame;
    frame.reserve(data.size() + 2);
    frame.push_back(static_cast<std::uint8_t>(data.size() >> 8));
    frame.push_back(static_cast<std::uint8_t>(data.size() & 0xFF));
    frame.insert(frame.end(), data.begin(), data.end());
    std::size_t sent = 0;
    while (sent < frame.size()) {
        ssize_t n = send(fd_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void VirtualCard::serve() {
    // Reads exactly n bytes, waking up now and then to notice removal.
    auto read_exact = [this](std::uint8_t *out, std::size_t n) {
        std::size_t got = 0;
        while (got < n) {
            if (stopping_) return false;
            pollfd p{fd_, POLLIN, 0};
            int ready = poll(&p, 1, 50);
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0) return false;
            if (ready == 0) continue;
            // vpcd writes a frame's length and bytes separately; an ACK held back by us
            // would keep the second write waiting for 40 ms under Nagle's rule.
            int one = 1;
            setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
            ssize_t r = recv(fd_, out + got, n - got, 0);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
            got += static_cast<std::size_t>(r);
        }
        return true;
    };
    for (;;) {
        std::uint8_t head[2];
        if (!read_exact(head, 2)) return;
        std::size_t length = (std::size_t{head[0]} << 8) | head[1];
        Bytes body(length);
        if (length > 0 && !read_exact(body.data(), length)) return;
        if (length == 1) {
            // Control: 0 power off, 1 power on, 2 reset (no answer), 4 the ATR.
            if (body[0] == 4 && !send_frame(atr_)) return;
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            commands_.push_back(body);
        }
        if (!send_frame(script_(body))) return;
    }
}

} // namespace brenmark_lab
