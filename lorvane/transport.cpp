// Device discovery and report I/O over hidapi.
#include "transport.h"
#include "lorvane.h"
#include "report_descriptor.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

// Newer hidapi versions have it; older ones (and the sysfs path below) cover the rest. Weak,
// so that the library loads against either and uses whichever hidapi is on the path.
extern "C" int hid_get_report_descriptor(hid_device *dev, unsigned char *buf, size_t buf_size)
    __attribute__((weak));

namespace lorvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned short kVendor = 0x10C4;
constexpr unsigned short kProductA = 0x847C;
constexpr unsigned short kProductB = 0x84A2;
constexpr unsigned short kRelease = 0x0101;
constexpr int kMaxInterfaces = 20;
constexpr int kDefaultReportLength = 65;
constexpr int kMaxReport = 1024;
constexpr int kMaxWriteCount = 2047;
constexpr int kMaxReplyPayload = 1024;
constexpr int kTraceLimit = 2047; // characters, the NUL comes after
constexpr auto kWriteTimeout = std::chrono::milliseconds(2000);
constexpr auto kReadTimeout = std::chrono::milliseconds(kReadTimeoutMs);
// The pump is promised at least every 20 ms. A wait that ran the full 20 ms would always
// overshoot by the wake-up's latency, so waits end 15 ms after the pump last started.
constexpr auto kPumpWait = std::chrono::milliseconds(15);

constexpr int kNoStart = -9, kListFailed = -90, kNoDevice = -91, kTimeout = -92, kTooLong = -93,
              kReplyTooLong = -94, kStatusZero = -96, kIoError = -97, kNoBuffer = -98;

// The one open reader of this loaded copy of the library.
hid_device *gDevice = nullptr;
int gInputLength = 0;
int gOutputLength = 0;
// The device's reports carry an identifier. Without one the kernel hands over the data
// alone and sends an output report whose byte 0 is zero without that byte.
bool gNumbered = true;

void (*gPump)(void *) = nullptr;
void *gPumpContext = nullptr;

std::atomic<bool> gBusy{false};

Clock::time_point gLastPump;

void Pump() {
    if (!gPump) return;
    gLastPump = Clock::now();
    gPump(gPumpContext);
}

// When a wait has to end so that the pump runs in time.
Clock::time_point PumpDue(Clock::time_point deadline) {
    return gPump ? std::min(deadline, gLastPump + kPumpWait) : deadline;
}

// Writes reports on its own thread from its own buffer, so that a write hidapi cannot bound
// can be abandoned after the time-out without ever touching the caller's storage. Both sides
// spin briefly before they sleep: a report is handed over in microseconds that way, where a
// wake-up through the scheduler can cost tens.
//
// The worker shares its state with the library through a shared_ptr and holds its own share:
// a write still blocked in the device at program exit outlives the library's static Writer,
// and when it returns it must find its mutex, condition variables and buffer alive.
class Writer {
  public:
    Writer() : s_(std::make_shared<State>()) {}

    ~Writer() {
        std::unique_lock<std::mutex> lock(s_->mutex);
        if (!thread_.joinable()) return;
        s_->stop = true;
        s_->jobCv.notify_all();
        bool stuck = s_->busy();
        lock.unlock();
        if (stuck)
            thread_.detach(); // blocked in the device; it ends when the device lets it go
        else
            thread_.join();
    }

    // Writes one report; 0 = written, kTimeout, kIoError.
    int write(hid_device *dev, const unsigned char *report, int length) {
        State &s = *s_;
        auto deadline = Clock::now() + kWriteTimeout;
        // A write abandoned earlier may still be blocked: it has to end first.
        if (!waitUntil(deadline, [&s] { return !s.busy(); })) return kTimeout;
        std::memcpy(s.buffer, report, size_t(length));
        s.device = dev;
        s.length = length;
        uint64_t ticket = s.submitted.load(std::memory_order_relaxed) + 1;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            if (!thread_.joinable()) {
                // No exception may leave the library: without a worker nothing is sent.
                try {
                    thread_ = std::thread(&Writer::Run, s_);
                } catch (const std::system_error &) {
                    return kIoError;
                }
            }
            s.submitted.store(ticket, std::memory_order_release);
            s.jobCv.notify_one();
        }
        if (!waitUntil(deadline, [&] { return s.done.load(std::memory_order_acquire) >= ticket; }))
            return kTimeout;
        return s.result == length ? 0 : kIoError;
    }

    // Closes a device, or hands it to the worker when a write on it is still outstanding.
    void close(hid_device *dev) {
        std::unique_lock<std::mutex> lock(s_->mutex);
        if (s_->busy() && s_->device == dev) {
            s_->closeAfter = dev;
            return;
        }
        lock.unlock();
        hid_close(dev);
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable jobCv, doneCv;
        bool stop = false;
        std::atomic<uint64_t> submitted{0}, done{0};
        hid_device *device = nullptr;
        hid_device *closeAfter = nullptr;
        int length = 0;
        int result = 0;
        unsigned char buffer[kMaxReport];

        bool busy() const {
            return done.load(std::memory_order_acquire) !=
                   submitted.load(std::memory_order_acquire);
        }
    };

    template <class Pred> static bool Spin(Pred ready, std::chrono::microseconds limit) {
        auto until = Clock::now() + limit;
        while (!ready()) {
            if (Clock::now() >= until) return false;
            std::this_thread::yield();
        }
        return true;
    }

    template <class Pred> bool waitUntil(Clock::time_point deadline, Pred ready) {
        if (Spin(ready, std::chrono::microseconds(50))) return true;
        State &s = *s_;
        std::unique_lock<std::mutex> lock(s.mutex);
        while (!ready()) {
            auto now = Clock::now();
            if (now >= deadline) return false;
            auto until = PumpDue(deadline);
            s.doneCv.wait_until(lock, until);
            if (!ready() && gPump) {
                lock.unlock();
                Pump();
                lock.lock();
            }
        }
        return true;
    }

    // The worker: everything it touches is in its own share of the state.
    static void Run(std::shared_ptr<State> share) {
        State &s = *share;
        for (;;) {
            uint64_t seen = s.done.load(std::memory_order_relaxed);
            auto hasJob = [&] { return s.submitted.load(std::memory_order_acquire) != seen; };
            if (!Spin(hasJob, std::chrono::microseconds(200))) {
                std::unique_lock<std::mutex> lock(s.mutex);
                s.jobCv.wait(lock, [&] { return s.stop || hasJob(); });
                if (!hasJob()) return; // stopped
            }
            uint64_t ticket = s.submitted.load(std::memory_order_acquire);
            int r = hid_write(s.device, s.buffer, size_t(s.length));
            hid_device *closing;
            bool stop;
            {
                std::lock_guard<std::mutex> lock(s.mutex);
                s.result = r;
                s.done.store(ticket, std::memory_order_release);
                closing = s.closeAfter;
                s.closeAfter = nullptr;
                stop = s.stop;
                s.doneCv.notify_all();
            }
            if (closing) hid_close(closing);
            if (stop) return;
        }
    }

    std::shared_ptr<State> s_;
    std::thread thread_;
};

Writer gWriter;

// The trace text: "%02X " per byte, cut before it would exceed kTraceLimit characters.
class Trace {
  public:
    explicit Trace(char *text) : text_(text) {
        if (text_) text_[0] = '\0';
    }
    void bytes(const unsigned char *p, int n) {
        static const char hex[] = "0123456789ABCDEF";
        for (int i = 0; i < n; ++i) {
            char group[3] = {hex[p[i] >> 4], hex[p[i] & 15], ' '};
            append(group, 3);
        }
    }
    void lineBreak() { append("\r\n", 2); }

  private:
    void append(const char *s, int n) {
        if (!text_ || full_) return;
        if (pos_ + n > kTraceLimit) {
            full_ = true;
            return;
        }
        std::memcpy(text_ + pos_, s, size_t(n));
        pos_ += n;
        text_[pos_] = '\0';
    }
    char *text_;
    int pos_ = 0;
    bool full_ = false;
};

void CloseDevice() {
    if (!gDevice) return;
    gWriter.close(gDevice);
    gDevice = nullptr;
    gInputLength = gOutputLength = 0;
    gNumbered = true;
}

// Reads the descriptor through hidapi when it can, else through sysfs for a hidraw node.
int ReadDescriptor(hid_device *dev, const char *path, unsigned char *buf, size_t size) {
    if (hid_get_report_descriptor) {
        int n = hid_get_report_descriptor(dev, buf, size);
        if (n > 0) return n;
    }
    const char prefix[] = "/dev/hidraw";
    if (!path || std::strncmp(path, prefix, sizeof prefix - 1) != 0) return -1;
    const char *node = path + 5; // "hidrawN"
    for (const char *p = node + 6; *p; ++p)
        if (*p < '0' || *p > '9') return -1;
    if (!node[6]) return -1;
    char sysfs[96];
    std::snprintf(sysfs, sizeof sysfs, "/sys/class/hidraw/%s/device/report_descriptor", node);
    int fd = ::open(sysfs, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    ssize_t n = ::read(fd, buf, size);
    ::close(fd);
    return n > 0 ? int(n) : -1;
}

ReportLengths LengthsOf(hid_device *dev, const char *path) {
    static unsigned char descriptor[4096];
    ReportLengths lengths{kDefaultReportLength, kDefaultReportLength, true};
    int n = ReadDescriptor(dev, path, descriptor, sizeof descriptor);
    if (n > 0) {
        ReportLengths parsed;
        if (ParseReportLengths(descriptor, size_t(n), parsed)) lengths = parsed;
    }
    return lengths;
}

bool Usable(const ReportLengths &l) {
    return l.input >= 4 && l.input <= kMaxReport && l.output >= 3 && l.output <= kMaxReport;
}

// Waits for one input report; >0 bytes read, 0 time-out, <0 device error. The data of a
// device without identifiers goes after a zero byte, where the others have theirs.
int ReadReport(unsigned char *report, int n, Clock::time_point deadline) {
    const int skip = gNumbered ? 0 : 1;
    report[0] = 0;
    for (;;) {
        auto now = Clock::now();
        if (now >= deadline) return 0;
        auto wait = PumpDue(deadline) - now;
        int ms = int(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
        int r = hid_read_timeout(gDevice, report + skip, size_t(n - skip), std::max(ms, 1));
        if (r > 0) return r + skip;
        if (r < 0) return r;
        Pump();
    }
}

// Throws away input reports that were already waiting: they belong to an earlier exchange.
void DiscardStale() {
    unsigned char scratch[kMaxReport];
    for (int i = 0; i < 4096; ++i)
        if (hid_read_timeout(gDevice, scratch, size_t(gInputLength), 0) <= 0) break;
}

// Whether `name` is the interface's path or its serial number (compared character by
// character; a serial number holds plain ASCII in practice).
bool Named(const hid_device_info &info, const char *name) {
    if (info.path && std::strcmp(info.path, name) == 0) return true;
    const wchar_t *serial = info.serial_number;
    if (!serial || !*serial) return false;
    size_t i = 0;
    for (; serial[i] && name[i]; ++i)
        if (serial[i] != wchar_t(static_cast<unsigned char>(name[i]))) return false;
    return !serial[i] && !name[i];
}

} // namespace

BusyGuard::BusyGuard() : acquired_(!gBusy.exchange(true, std::memory_order_acquire)) {}
BusyGuard::~BusyGuard() {
    if (acquired_) gBusy.store(false, std::memory_order_release);
}

int Init() {
    CloseDevice();
    if (hid_init() != 0) return kListFailed;
    // A reader named by the caller is looked for among every interface: the limit of 20 is
    // the first-reader rule's, and a bench of readers beside other HID devices exceeds it.
    const char *chosen = std::getenv("LORVANE_DEVICE");
    if (chosen && !*chosen) chosen = nullptr;
    hid_device_info *list = hid_enumerate(0, 0);
    int index = 0;
    for (hid_device_info *p = list; p && (chosen || index < kMaxInterfaces); p = p->next, ++index) {
        if (p->vendor_id != kVendor || (p->product_id != kProductA && p->product_id != kProductB) ||
            p->release_number != kRelease)
            continue;
        if (chosen && !Named(*p, chosen)) continue;
        hid_device *dev = hid_open_path(p->path);
        if (!dev) continue;
        ReportLengths lengths = LengthsOf(dev, p->path);
        if (!Usable(lengths)) {
            hid_close(dev);
            continue;
        }
        gDevice = dev;
        gInputLength = lengths.input;
        gOutputLength = lengths.output;
        gNumbered = lengths.numbered;
        break;
    }
    hid_free_enumeration(list);
    return gDevice ? 0 : kNoDevice;
}

int Write(const unsigned char *frame, int count, char *trace) {
    if (!frame || count < 1) return kNoStart;
    if (count > kMaxWriteCount) return kTooLong;
    if (!gDevice) return kNoDevice;
    Trace text(trace);
    DiscardStale();

    // Staged message: payload length (count - 1), high byte first, then the payload.
    static unsigned char staged[2048];
    std::memset(staged, 0, sizeof staged);
    staged[0] = uint8_t((count - 1) >> 8);
    staged[1] = uint8_t(count - 1);
    std::memcpy(staged + 2, frame + 1, size_t(count - 1));
    const int n = gOutputLength;
    const int perReport = n - 2;
    const int reports = (count + 1 + perReport - 1) / perReport;

    unsigned char report[kMaxReport];
    for (int i = 0; i < reports; ++i) {
        Pump();
        std::memset(report, 0, size_t(n));
        report[0] = gNumbered ? 0x08 : 0x00;
        report[1] = i == 0 ? uint8_t(frame[0] & 0x7F) : frame[0];
        int from = i * perReport;
        int take = std::min(perReport, int(sizeof staged) - from);
        if (take > 0) std::memcpy(report + 2, staged + from, size_t(take));
        text.bytes(report, n);
        int r = gWriter.write(gDevice, report, n);
        if (r != 0) return r;
        Pump();
    }
    return 0;
}

int Read(unsigned char *reply, int *length, char *trace, int firstReportMs) {
    if (!reply || !length) return kNoBuffer;
    if (!gDevice) return kNoDevice;
    Trace text(trace);
    const int n = gInputLength;
    unsigned char report[kMaxReport];

    Pump();
    std::memset(report, 0, size_t(n));
    int r = ReadReport(report, n, Clock::now() + std::chrono::milliseconds(firstReportMs));
    if (r == 0) return kTimeout;
    if (r < 0) return kIoError;
    text.bytes(report, n);
    Pump();

    int status = report[1];
    if (status != 0x30) return status ? status : kStatusZero;
    int declared = report[2] * 256 + report[3];
    if (declared > kMaxReplyPayload) return kReplyTooLong;

    static unsigned char payload[2048];
    std::memset(payload, 0, sizeof payload);
    std::memcpy(payload, report + 4, size_t(n - 4));
    // The reader sends floor((L + 2) / (n - 2)) continuation reports, not the ceiling minus
    // one: with L + 2 an exact multiple one more report follows.
    const int continuations = (declared + 2) / (n - 2);
    for (int j = 1; j <= continuations; ++j) {
        auto deadline = Clock::now() + kReadTimeout;
        for (;;) {
            Pump();
            std::memset(report, 0, size_t(n));
            r = ReadReport(report, n, deadline);
            if (r == 0) return kTimeout;
            if (r < 0) return kIoError;
            if (report[1] != 0xB0) { // not part of the reply: dropped, not counted
                Pump();
                continue;
            }
            text.lineBreak();
            text.bytes(report, n);
            int at = (n - 4) + (j - 1) * (n - 2);
            std::memcpy(payload + at, report + 2, size_t(n - 2));
            Pump();
            break;
        }
    }
    *length = declared;
    std::memcpy(reply, payload, size_t(declared));
    return 0;
}

} // namespace lorvane

using namespace lorvane;

extern "C" {

int HID_Init(void) {
    BusyGuard guard;
    if (!guard.acquired()) return kBusy;
    return Init();
}

int HID_Close(void) {
    BusyGuard guard;
    if (!guard.acquired()) return kBusy;
    CloseDevice();
    return 0;
}

int HID_WRITE(unsigned char *frame, int length, int, char *trace) {
    BusyGuard guard;
    if (!guard.acquired()) return kBusy;
    return Write(frame, length, trace);
}

int HID_READ(unsigned char *reply, int *length, int, char *trace) {
    BusyGuard guard;
    if (!guard.acquired()) return kBusy;
    return Read(reply, length, trace);
}

void HID_SetMessagePump(void (*pump)(void *ctx), void *ctx) {
    gPump = pump;
    gPumpContext = ctx;
}

} // extern "C"
