// The serial front end: a pseudo-terminal whose master side plays the reader for the serial
// library. A thread takes the library's frames off the line (STX, length high, length low,
// frame, XOR, ETX) and answers each from the virtual reader's state (STX, status, length
// high, length low, payload, XOR, ETX); tests put unasked bytes on the line as well.
#include "serial_line.h"
#include "virtual_reader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint8_t kStx = 0x02, kEtx = 0x03;
constexpr size_t kMaxFrame = 1024;
// A frame begun and not completed within this long is taken for line noise.
constexpr auto kStaleFrame = std::chrono::milliseconds(300);

using Clock = std::chrono::steady_clock;

struct Line {
    std::mutex mutex; // open, close and writes to the master side
    int master = -1;
    // The front end keeps the terminal's own side open too, so the master side never
    // reports a hang-up while the library has the port closed.
    int slave = -1;
    std::string path;
    std::thread thread;
    std::atomic<bool> stop{false};
};

Line &L() {
    static Line *line = new Line; // never destroyed: its thread may run until exit
    return *line;
}

bool WriteAll(int fd, const uint8_t *p, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) {
            pollfd pfd{fd, POLLOUT, 0};
            poll(&pfd, 1, 50);
            continue;
        }
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

void Reply(Line &line, const vr::Answer &a) {
    const size_t n = std::min(a.payload.size(), size_t(0xFFFF));
    std::vector<uint8_t> wire{kStx, uint8_t(a.status), uint8_t(n >> 8), uint8_t(n & 0xFF)};
    wire.insert(wire.end(), a.payload.begin(), a.payload.begin() + long(n));
    uint8_t x = 0;
    for (size_t i = 1; i < wire.size(); ++i)
        x ^= wire[i];
    wire.push_back(x);
    wire.push_back(kEtx);
    std::lock_guard<std::mutex> lock(line.mutex);
    if (line.master >= 0) WriteAll(line.master, wire.data(), wire.size());
}

// Takes every complete frame off the front of `in` and answers it. `stale` drops a frame
// that has waited too long for its end.
void TakeFrames(Line &line, std::vector<uint8_t> &in, bool stale) {
    for (;;) {
        size_t start = 0;
        while (start < in.size() && in[start] != kStx)
            ++start;
        in.erase(in.begin(), in.begin() + long(start));
        if (in.size() < 3) break;
        const size_t n = size_t(in[1]) << 8 | in[2];
        const auto resync = [&] { in.erase(in.begin()); };
        if (n == 0 || n > kMaxFrame) {
            resync();
            continue;
        }
        if (in.size() < n + 5) {
            if (!stale) break;
            resync();
            stale = false;
            continue;
        }
        uint8_t x = in[1] ^ in[2];
        for (size_t i = 0; i < n; ++i)
            x ^= in[3 + i];
        if (in[3 + n] != x || in[4 + n] != kEtx) {
            resync();
            continue;
        }
        const std::vector<uint8_t> frame(in.begin() + 3, in.begin() + 3 + long(n));
        in.erase(in.begin(), in.begin() + long(n + 5));
        vr::Answer answer;
        if (vr::AnswerSerialMessage(frame[0], frame.data() + 1, frame.size() - 1, answer))
            Reply(line, answer);
    }
}

void Run(Line &line, int master) {
    std::vector<uint8_t> in;
    auto lastByte = Clock::now();
    while (!line.stop.load()) {
        pollfd pfd{master, POLLIN, 0};
        const int ready = poll(&pfd, 1, 20);
        bool stale = false;
        if (ready > 0 && (pfd.revents & POLLIN)) {
            uint8_t buf[512];
            const ssize_t got = read(master, buf, sizeof buf);
            if (got > 0) {
                in.insert(in.end(), buf, buf + got);
                lastByte = Clock::now();
            }
        } else if (ready > 0) {
            // Hang-up or error: nothing to read; do not spin on it.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else {
            stale = !in.empty() && Clock::now() - lastByte > kStaleFrame;
        }
        TakeFrames(line, in, stale);
    }
}

void MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
}

} // namespace

extern "C" {

VR_API const char *vr_serial_open(void) {
    Line &line = L();
    std::lock_guard<std::mutex> lock(line.mutex);
    if (line.master >= 0) return line.path.c_str();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return nullptr;
    char name[128] = {};
    const bool named =
        grantpt(master) == 0 && unlockpt(master) == 0 && ptsname_r(master, name, sizeof name) == 0;
    const int slave = named ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (slave < 0) {
        close(master);
        return nullptr;
    }
    // Raw from the start: no echo of what the reader side writes, no line editing.
    MakeRaw(slave);
    MakeRaw(master);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    line.master = master;
    line.slave = slave;
    line.path = name;
    line.stop.store(false);
    line.thread = std::thread(Run, std::ref(line), master);
    return line.path.c_str();
}

VR_API void vr_serial_close(void) {
    Line &line = L();
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(line.mutex);
        if (line.master < 0) return;
        line.stop.store(true);
        thread = std::move(line.thread);
    }
    thread.join();
    std::lock_guard<std::mutex> lock(line.mutex);
    close(line.master);
    close(line.slave);
    line.master = line.slave = -1;
    line.path.clear();
}

VR_API int vr_serial_send(const unsigned char *bytes, int size) {
    Line &line = L();
    std::lock_guard<std::mutex> lock(line.mutex);
    if (line.master < 0 || size < 0 || (size > 0 && bytes == nullptr)) return -1;
    return WriteAll(line.master, bytes, size_t(size)) ? size : -1;
}

} // extern "C"
