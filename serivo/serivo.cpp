#include "serivo.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

#define SERIVO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
constexpr unsigned char kStx = 0x02, kEtx = 0x03, kOk = 0x30;
constexpr int kMaxFrame = 1024;
constexpr int kMaxPayload = 1024;
constexpr int kTraceChars = 2048;
constexpr int kRecvWaitMs = 50;

std::atomic<int> gFd{-1};
std::atomic<bool> gReceiveMode{false};

using Clock = std::chrono::steady_clock;

int TimeoutMs() {
    const char *text = std::getenv("SERIVO_TIMEOUT_MS");
    if (text == nullptr || *text == 0) return 2000;
    const long ms = std::strtol(text, nullptr, 10);
    return ms > 0 && ms < 600000 ? static_cast<int>(ms) : 2000;
}

std::string DevicePath(int port) {
    const char *path = std::getenv("SERIVO_DEVICE");
    if (path != nullptr && *path != 0) return path;
    if (port >= 1 && port <= 99) return "/dev/ttyS" + std::to_string(port - 1);
    if (port >= 101 && port <= 199) return "/dev/ttyUSB" + std::to_string(port - 101);
    return {};
}

// Appends "%02X " per byte while it fits, keeping the text NUL-terminated.
class Trace {
  public:
    explicit Trace(char *text) : text_(text) {
        if (text_) text_[0] = 0;
    }
    void Add(const unsigned char *p, size_t n) {
        for (size_t i = 0; text_ && i < n && used_ + 3 < kTraceChars; ++i) {
            std::snprintf(text_ + used_, 4, "%02X ", p[i]);
            used_ += 3;
        }
    }

  private:
    char *text_;
    int used_ = 0;
};

// Reads exactly n bytes before the deadline.
bool ReadFully(int fd, unsigned char *p, size_t n, Clock::time_point deadline) {
    size_t got = 0;
    while (got < n) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd pfd{fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t r = read(fd, p + got, n - got);
        if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

bool WriteFully(int fd, const unsigned char *p, size_t n, Clock::time_point deadline) {
    size_t put = 0;
    while (put < n) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd pfd{fd, POLLOUT, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t w = write(fd, p + put, n - put);
        if (w < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (w <= 0) return false;
        put += static_cast<size_t>(w);
    }
    return true;
}

int ReadReply(unsigned char *reply, int *length, char *traceText) {
    Trace trace(traceText);
    const int fd = gFd.load();
    if (fd < 0) return -91;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs());
    unsigned char head[4];
    // Skip line noise before the lead byte.
    do {
        if (!ReadFully(fd, head, 1, deadline)) return -92;
    } while (head[0] != kStx);
    if (!ReadFully(fd, head + 1, 3, deadline)) return -92;
    trace.Add(head, 4);
    const unsigned char status = head[1];
    const int n = head[2] << 8 | head[3];
    if (n > kMaxPayload) return -93;
    unsigned char body[kMaxPayload + 2];
    if (!ReadFully(fd, body, static_cast<size_t>(n) + 2, deadline)) return -92;
    trace.Add(body, static_cast<size_t>(n) + 2);
    unsigned char x = head[1] ^ head[2] ^ head[3];
    for (int i = 0; i < n; ++i)
        x ^= body[i];
    if (body[n] != x || body[n + 1] != kEtx) return -94;
    if (status != kOk) return status == 0 ? -95 : status;
    if (reply == nullptr || length == nullptr) return -9;
    std::memcpy(reply, body, static_cast<size_t>(n));
    *length = n;
    return 0;
}
} // namespace

SERIVO_EXPORT int COM_Init(int port) {
    COM_Close();
    const std::string path = DevicePath(port);
    if (path.empty()) return -1;
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -2;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        close(fd);
        return -2;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | PARENB);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        close(fd);
        return -2;
    }
    tcflush(fd, TCIOFLUSH);
    gFd.store(fd);
    return 0;
}

SERIVO_EXPORT int COM_Close(void) {
    gReceiveMode.store(false);
    const int fd = gFd.exchange(-1);
    if (fd >= 0) close(fd);
    return 0;
}

SERIVO_EXPORT int COM_WRITE(unsigned char *frame, int length, int, char *traceText) {
    Trace trace(traceText);
    if (length < 1 || length > kMaxFrame || frame == nullptr) return -9;
    const int fd = gFd.load();
    if (fd < 0) return -91;
    unsigned char wire[kMaxFrame + 5];
    wire[0] = kStx;
    wire[1] = static_cast<unsigned char>(length >> 8);
    wire[2] = static_cast<unsigned char>(length & 0xFF);
    std::memcpy(wire + 3, frame, static_cast<size_t>(length));
    unsigned char x = wire[1] ^ wire[2];
    for (int i = 0; i < length; ++i)
        x ^= frame[i];
    wire[3 + length] = x;
    wire[4 + length] = kEtx;
    const size_t n = static_cast<size_t>(length) + 5;
    trace.Add(wire, n);
    // Whatever an earlier exchange left unread is not the answer to this frame.
    tcflush(fd, TCIFLUSH);
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs());
    if (!WriteFully(fd, wire, n, deadline)) return -92;
    return 0;
}

SERIVO_EXPORT int COM_READ(unsigned char *reply, int *length, int, char *trace) {
    return ReadReply(reply, length, trace);
}

SERIVO_EXPORT int COM_READ1(unsigned char *reply, int *length, int, char *trace) {
    return ReadReply(reply, length, trace);
}

SERIVO_EXPORT int COM_RECV(unsigned char *buffer, int count) {
    if (buffer == nullptr || count < 1) return -9;
    const int fd = gFd.load();
    if (fd < 0) return -91;
    if (!gReceiveMode.load()) return 1;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, kRecvWaitMs) <= 0) return 1;
    const ssize_t r = read(fd, buffer, 1);
    return r == 1 ? 0 : 1;
}

SERIVO_EXPORT int Set_flagT(void) {
    const int fd = gFd.load();
    if (fd >= 0) tcflush(fd, TCIFLUSH);
    gReceiveMode.store(true);
    return 0;
}

SERIVO_EXPORT int Set_flagF(void) {
    gReceiveMode.store(false);
    return 0;
}
