// hidapi's C API over the virtual readers, and the control API tests use to steer them.
#include "faults.h"
#include "framing.h"
#include "reader.h"
#include "readers.h"
#include "serial_line.h"
#include "virtual_reader.h"

#include <hidapi/hidapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

extern "C" HID_API_EXPORT int hid_get_report_descriptor(hid_device *dev, unsigned char *buf,
                                                        size_t buf_size);

using Clock = std::chrono::steady_clock;

struct QueuedReport {
    std::vector<uint8_t> bytes;
    Clock::time_point ready;
    long long answers = -1; // serial of the message this report answers; -1 none
};

struct hid_device_ {
    std::deque<QueuedReport> queue;
    bool nonblocking = false;
};

namespace {

constexpr const char *kReaderPath = "virtual-reader:";
constexpr size_t kLogLimit = 4096;
constexpr long long kNothingRead = -2;

// What became of one message: whether the reader acted on it, and which answer the host read
// first after it (the one a host takes for its reply).
struct MessageFate {
    long long serial = 0;
    bool acted = false;
    long long firstRead = kNothingRead; // serial of the message it answers, -1 none
};

struct Device {
    std::mutex mutex;
    std::condition_variable arrived;
    int index = 0;           // the reader's number: its path and serial number come from it
    bool openedHere = false; // a handle was opened on it in this process (not reset)
    vr::ReaderState reader;
    unsigned short vendor = 0x10C4, product = 0x847C, release = 0x0101;
    int reportLength = 65;
    uint8_t reportId = vr::kReportId; // 0: the reports carry no identifier
    bool descriptorAvailable = true;
    std::vector<uint8_t> customDescriptor;
    bool present = true;
    bool initFails = false;
    int otherDevices = 0;
    bool silent = false;
    int unanswered = 0; // messages still to be taken without an answer
    int status = -1;
    int commandStatus[256];
    int spuriousCount = 0, spuriousByte = 0;
    int delayUs = 0;
    int stallMs = 0;
    bool failWhenEmpty = false;
    std::optional<vr::Answer> nextReply;
    std::optional<std::vector<uint8_t>> nextRaw;
    std::deque<std::vector<uint8_t>> written, messages;
    std::deque<MessageFate> fates; // one per entry of `messages`
    long long serial = 0;          // messages received since the last reset
    int delivered = 0;             // input reports the host has read
    std::set<hid_device *> handles;
    int opened = 0, closed = 0;
    vr::FaultPlan faults;
    vr::Answer lastAnswer; // the answer of the previous message (the stale one)
    long long lastAnswerSerial = -1;
    vr::Answer lastSave; // the answer of the last configuration written (a success)
    long long lastSaveSerial = -1;
    int unplugAfterReads = 0; // an unplug fault: reports still to be read before it happens
    // One output endpoint: reports join into a message whichever handle wrote them.
    vr::MessageAssembler assembler;

    Device() { reset(); }
    void reset() {
        vr::ResetReader(reader);
        unanswered = 0;
        vendor = 0x10C4;
        product = 0x847C;
        release = 0x0101;
        reportLength = 65;
        reportId = vr::kReportId;
        descriptorAvailable = true;
        customDescriptor.clear();
        present = true;
        initFails = false;
        otherDevices = 0;
        silent = false;
        status = -1;
        std::fill(std::begin(commandStatus), std::end(commandStatus), -1);
        spuriousCount = spuriousByte = 0;
        delayUs = stallMs = 0;
        failWhenEmpty = false;
        nextReply.reset();
        nextRaw.reset();
        written.clear();
        messages.clear();
        fates.clear();
        serial = 0;
        delivered = 0;
        opened = closed = 0;
        faults.Reset();
        lastAnswer = vr::Answer{};
        lastAnswerSerial = -1;
        lastSave = vr::Answer{};
        lastSaveSerial = -1;
        unplugAfterReads = 0;
        assembler.Reset();
        for (hid_device *h : handles)
            h->queue.clear();
    }
};

// The readers presented. Never destroyed: handles may outlive static teardown. The control
// API acts on the selected one; each handle belongs to the reader it was opened on.
struct Readers {
    std::mutex mutex; // taken before any reader's own
    Device *readers[vr::kMaxReaders] = {};
    int count = 1, selected = 0;
};

Readers &R() {
    static Readers *readers = new Readers;
    return *readers;
}

Device &ReaderLocked(Readers &r, int k) {
    if (!r.readers[k]) {
        r.readers[k] = new Device;
        r.readers[k]->index = k;
    }
    return *r.readers[k];
}

Device &Reader(int k) {
    Readers &r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    return ReaderLocked(r, k);
}

Device &D() {
    Readers &r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    return ReaderLocked(r, r.selected);
}

// The reader a handle was opened on; stops loudly for a handle that is not open, as hidapi
// would crash on it.
Device &OwnerOf(hid_device *h, const char *call) {
    Readers &r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (Device *d : r.readers) {
        if (!d) continue;
        std::lock_guard<std::mutex> own(d->mutex);
        if (d->handles.count(h)) return *d;
    }
    std::fprintf(stderr, "virtual reader: %s on a handle that is not open\n", call);
    std::abort();
}

std::string PathOf(int k) {
    return kReaderPath + std::to_string(k);
}

void Log(std::deque<std::vector<uint8_t>> &log, std::vector<uint8_t> entry) {
    log.push_back(std::move(entry));
    if (log.size() > kLogLimit) log.pop_front();
}

// Logs a complete message (the command byte, then the payload); returns its fate record.
MessageFate &LogMessage(Device &d, uint8_t command, const uint8_t *payload, size_t size) {
    std::vector<uint8_t> entry{command};
    entry.insert(entry.end(), payload, payload + size);
    Log(d.messages, std::move(entry));
    d.fates.push_back(MessageFate{++d.serial});
    if (d.fates.size() > kLogLimit) d.fates.pop_front();
    return d.fates.back();
}

// The reader acts on a message: the state changes and the answer is remembered for the
// stale faults.
vr::Answer Act(Device &d, MessageFate &fate, uint8_t command, const uint8_t *payload, size_t size) {
    vr::Answer a = vr::Process(d.reader, command, payload, size);
    fate.acted = true;
    d.lastAnswer = a;
    d.lastAnswerSerial = fate.serial;
    if (command == 0xAA && a.status == 0x30) {
        d.lastSave = a;
        d.lastSaveSerial = fate.serial;
    }
    return a;
}

// Waits until `t` closely: the pacing has to be accurate to a few microseconds for the
// benchmark's wire-time comparison, which a plain sleep (timer slack) is not.
void SleepUntil(Clock::time_point t) {
    auto early = t - std::chrono::microseconds(200);
    if (Clock::now() < early) std::this_thread::sleep_until(early);
    while (Clock::now() < t)
        std::this_thread::yield();
}

// hidraw hands every input report to every open file of the node, not only to the one whose
// message it answers.
void Enqueue(Device &d, hid_device *h, std::vector<uint8_t> report, Clock::time_point t,
             long long answers = -1) {
    for (hid_device *other : d.handles)
        if (other != h) other->queue.push_back({report, t, answers});
    h->queue.push_back({std::move(report), t, answers});
}

// Cuts an answer into the reader's reports and queues them, paced.
void QueueAnswer(Device &d, hid_device *h, const vr::Answer &a, Clock::time_point start,
                 long long answers) {
    auto reports =
        vr::AnswerReports(a, d.reportLength, d.reportId, d.spuriousCount, uint8_t(d.spuriousByte));
    auto step = std::chrono::microseconds(d.delayUs);
    auto t = start;
    for (auto &r : reports) {
        t += step;
        Enqueue(d, h, std::move(r), t, answers);
    }
}

void QueueRaw(Device &d, hid_device *h, const std::vector<uint8_t> &raw, Clock::time_point start) {
    const size_t n = size_t(d.reportLength);
    auto t = start;
    for (size_t at = 0; at < raw.size(); at += n) {
        std::vector<uint8_t> r(n, 0);
        std::memcpy(r.data(), raw.data() + at, std::min(n, raw.size() - at));
        t += std::chrono::microseconds(d.delayUs);
        Enqueue(d, h, std::move(r), t);
    }
}

// A success of exactly the length of the message's own answer, holding another command's
// answer: what a reader that mixed up its commands would send.
vr::Answer OtherAnswer(const Device &d, uint8_t command, const uint8_t *payload, size_t size) {
    vr::ReaderState scratch = d.reader; // the message is not acted on
    const size_t length = vr::Process(scratch, command, payload, size).payload.size();
    std::vector<uint8_t> other(d.reader.config);
    if (command == 0xA9) {
        other.assign(d.reader.version.begin(), d.reader.version.end());
        other.push_back(0);
    }
    vr::Answer a;
    a.payload.assign(length, 0);
    std::copy_n(other.begin(), std::min(length, other.size()), a.payload.begin());
    return a;
}

// A message meets a fault. A wrong status, a stale success and another command's answer leave
// the reader untouched; every other fault strikes after the reader acted on the message, on
// the way back.
void AnswerWithFault(Device &d, hid_device *h, MessageFate &fate, int fault, uint8_t command,
                     const uint8_t *payload, size_t size, Clock::time_point start) {
    switch (fault) {
    case VR_FAULT_WRONG_STATUS: {
        vr::Answer a;
        a.status = d.faults.WrongStatus();
        QueueAnswer(d, h, a, start, fate.serial);
        return;
    }
    case VR_FAULT_STALE_SUCCESS:
        QueueAnswer(d, h, d.lastSave, start, d.lastSaveSerial);
        return;
    case VR_FAULT_OTHER_ANSWER:
        QueueAnswer(d, h, OtherAnswer(d, command, payload, size), start, -1);
        return;
    default:
        break;
    }
    const vr::Answer stale = d.lastAnswer;
    const vr::Answer a = Act(d, fate, command, payload, size);
    const long long own = fate.serial;
    // A stale answer identical to its own is, to the host, its own.
    const bool same = stale.status == a.status && stale.payload == a.payload;
    const long long staleSerial = same ? own : d.lastAnswerSerial;
    switch (fault) {
    case VR_FAULT_LOST:
        break;
    case VR_FAULT_LATE:
        QueueAnswer(d, h, a, start + std::chrono::milliseconds(d.faults.LateMs), own);
        break;
    case VR_FAULT_LATE_WITHIN:
        QueueAnswer(d, h, a, start + std::chrono::milliseconds(d.faults.WithinMs), own);
        break;
    case VR_FAULT_GARBAGE: {
        bool acceptable = false;
        QueueRaw(d, h, d.faults.Garbage(d.reportLength, acceptable), start);
        break;
    }
    case VR_FAULT_STALE:
        QueueAnswer(d, h, stale, start, staleSerial);
        QueueAnswer(d, h, a, start, own);
        break;
    case VR_FAULT_STALE_AFTER:
        QueueAnswer(d, h, a, start, own);
        QueueAnswer(d, h, stale, start, staleSerial);
        break;
    case VR_FAULT_UNPLUG: {
        // Gone as the answer is read: after its first report when it has more than one.
        const size_t before = h->queue.size();
        QueueAnswer(d, h, a, start, own);
        if (h->queue.size() - before > 1) {
            d.unplugAfterReads = 1;
        } else {
            d.present = false;
            d.arrived.notify_all();
        }
        break;
    }
    default:
        QueueAnswer(d, h, a, start, own);
        break;
    }
}

// True (and one fewer left) while this reader's messages are to go unanswered.
bool TakeUnanswered(Device &d) {
    if (d.unanswered <= 0) return false;
    --d.unanswered;
    return true;
}

// A complete message arrived on handle h: answer it.
void Answer(Device &d, hid_device *h, Clock::time_point start) {
    const uint8_t command = d.assembler.Command();
    const uint8_t *payload = d.assembler.Payload();
    const size_t size = d.assembler.PayloadSize();
    MessageFate &fate = LogMessage(d, command, payload, size);
    if (TakeUnanswered(d)) return;

    if (int fault = d.faults.Draw(); fault != VR_FAULT_NONE) {
        AnswerWithFault(d, h, fate, fault, command, payload, size, start);
        d.arrived.notify_all();
        return;
    }
    if (d.nextRaw) {
        QueueRaw(d, h, *d.nextRaw, start);
        d.nextRaw.reset();
    } else if (d.silent) {
        // taken, never answered
    } else if (d.nextReply) {
        QueueAnswer(d, h, *d.nextReply, start, fate.serial);
        d.nextReply.reset();
    } else if (d.status >= 0 || d.commandStatus[command] >= 0) {
        vr::Answer a;
        a.status = d.status >= 0 ? d.status : d.commandStatus[command];
        QueueAnswer(d, h, a, start, fate.serial);
    } else {
        QueueAnswer(d, h, Act(d, fate, command, payload, size), start, fate.serial);
    }
    d.arrived.notify_all();
}

} // namespace

void vr::WithReader(void (*f)(ReaderState &, void *), void *context) {
    std::lock_guard<std::mutex> lock(D().mutex);
    f(D().reader, context);
}

// hidapi's header marks nothing for export on Linux; these definitions are the API.
#pragma GCC visibility push(default)
extern "C" {

// ---------------------------------------------------------------- hidapi

int HID_API_EXPORT hid_init(void) {
    Device &d = Reader(0);
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.initFails ? -1 : 0;
}
int HID_API_EXPORT hid_exit(void) {
    return 0;
}

static hid_device_info *NewInfo(const char *path, unsigned short vid, unsigned short pid,
                                unsigned short release, int serial = 1) {
    auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup(path);
    info->vendor_id = vid;
    info->product_id = pid;
    info->release_number = release;
    wchar_t number[16];
    std::swprintf(number, 16, L"%04d", serial);
    info->serial_number = wcsdup(number);
    info->manufacturer_string = wcsdup(L"Virtual");
    info->product_string = wcsdup(L"Virtual card reader");
    info->usage_page = 0xFF00;
    info->usage = 1;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

struct hid_device_info HID_API_EXPORT *hid_enumerate(unsigned short vendor_id,
                                                     unsigned short product_id) {
    Readers &r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    hid_device_info *head = nullptr, **tail = &head;
    auto add = [&](hid_device_info *info) {
        if ((vendor_id && info->vendor_id != vendor_id) ||
            (product_id && info->product_id != product_id)) {
            hid_device_info *one = info;
            hid_free_enumeration(one);
            return;
        }
        *tail = info;
        tail = &info->next;
    };
    // Other devices come first, as the first reader's settings have them.
    Device &first = ReaderLocked(r, 0);
    int others = 0;
    {
        std::lock_guard<std::mutex> own(first.mutex);
        others = first.otherDevices;
    }
    for (int i = 0; i < others; ++i) {
        char path[48];
        std::snprintf(path, sizeof path, "virtual-other:%d", i);
        add(NewInfo(path, 0x1234, uint16_t(1 + i), 0x0100));
    }
    for (int k = 0; k < r.count; ++k) {
        Device &d = ReaderLocked(r, k);
        std::lock_guard<std::mutex> own(d.mutex);
        if (d.present) add(NewInfo(PathOf(k).c_str(), d.vendor, d.product, d.release, k + 1));
    }
    return head;
}

void HID_API_EXPORT hid_free_enumeration(struct hid_device_info *devs) {
    while (devs) {
        hid_device_info *next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs);
        devs = next;
    }
}

hid_device HID_API_EXPORT *hid_open_path(const char *path) {
    Readers &r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (int k = 0; path && k < r.count; ++k) {
        if (PathOf(k) != path) continue;
        Device &d = ReaderLocked(r, k);
        std::lock_guard<std::mutex> own(d.mutex);
        if (!d.present) return nullptr;
        auto *h = new hid_device_;
        d.handles.insert(h);
        ++d.opened;
        d.openedHere = true;
        return h;
    }
    return nullptr;
}

// As hidapi does it: the first device listed with these numbers (and this serial number, when
// one is given) is opened, whichever reader the control API has selected.
hid_device HID_API_EXPORT *hid_open(unsigned short vendor_id, unsigned short product_id,
                                    const wchar_t *serial_number) {
    hid_device_info *devices = hid_enumerate(vendor_id, product_id);
    const hid_device_info *match = devices;
    for (; match; match = match->next) {
        if (match->vendor_id != vendor_id || match->product_id != product_id) continue;
        if (!serial_number ||
            (match->serial_number && std::wcscmp(match->serial_number, serial_number) == 0))
            break;
    }
    hid_device *h = match ? hid_open_path(match->path) : nullptr;
    hid_free_enumeration(devices);
    return h;
}

void HID_API_EXPORT hid_close(hid_device *dev) {
    if (!dev) return;
    // Closing a handle twice is a fault of the caller.
    Device &d = OwnerOf(dev, "hid_close");
    std::lock_guard<std::mutex> lock(d.mutex);
    d.handles.erase(dev);
    ++d.closed;
    delete dev;
}

int HID_API_EXPORT hid_write(hid_device *dev, const unsigned char *data, size_t length) {
    Device &d = OwnerOf(dev, "hid_write");
    int stallMs, delayUs;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        stallMs = d.stallMs;
        delayUs = d.delayUs;
    }
    if (stallMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
    if (delayUs > 0) SleepUntil(Clock::now() + std::chrono::microseconds(delayUs));

    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.handles.count(dev)) {
        std::fprintf(stderr, "virtual reader: hid_write on a handle that is not open\n");
        std::abort();
    }
    if (!d.present) return -1;
    if (length < 2) return -1; // the hidraw driver refuses it
    Log(d.written, std::vector<uint8_t>(data, data + length));
    const auto report = vr::ReportFromHost(data, length, d.reportLength, d.reportId);
    if (d.assembler.Take(report.data(), report.size())) Answer(d, dev, Clock::now());
    return int(length);
}

int HID_API_EXPORT hid_read_timeout(hid_device *dev, unsigned char *data, size_t length,
                                    int milliseconds) {
    Device &d = OwnerOf(dev, "hid_read");
    std::unique_lock<std::mutex> lock(d.mutex);
    auto deadline = milliseconds < 0 ? Clock::now() + std::chrono::hours(24 * 365)
                                     : Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (!d.handles.count(dev)) {
            std::fprintf(stderr, "virtual reader: hid_read on a handle that is not open\n");
            std::abort();
        }
        if (!d.present) return -1;
        auto now = Clock::now();
        if (!dev->queue.empty()) {
            QueuedReport &head = dev->queue.front();
            if (head.ready <= now) {
                // Without identifiers the hidraw driver hands over the data alone.
                const size_t skip = d.reportId ? 0 : 1;
                size_t n = std::min(length, head.bytes.size() - skip);
                std::memcpy(data, head.bytes.data() + skip, n);
                if (!d.fates.empty() && d.fates.back().firstRead == kNothingRead)
                    d.fates.back().firstRead = head.answers;
                dev->queue.pop_front();
                ++d.delivered;
                if (d.unplugAfterReads > 0 && --d.unplugAfterReads == 0) {
                    d.present = false;
                    d.arrived.notify_all();
                }
                return int(n);
            }
            if (milliseconds == 0 || now >= deadline) return 0;
            auto until = std::min(head.ready, deadline);
            lock.unlock();
            SleepUntil(until);
            lock.lock();
            continue;
        }
        if (d.failWhenEmpty) return -1;
        if (milliseconds == 0 || now >= deadline) return 0;
        d.arrived.wait_until(lock, deadline);
    }
}

int HID_API_EXPORT hid_read(hid_device *dev, unsigned char *data, size_t length) {
    return hid_read_timeout(dev, data, length, dev && dev->nonblocking ? 0 : -1);
}

int HID_API_EXPORT hid_set_nonblocking(hid_device *dev, int nonblock) {
    std::lock_guard<std::mutex> lock(OwnerOf(dev, "hid_set_nonblocking").mutex);
    dev->nonblocking = nonblock != 0;
    return 0;
}

int HID_API_EXPORT hid_get_report_descriptor(hid_device *dev, unsigned char *buf, size_t buf_size) {
    Device &d = OwnerOf(dev, "hid_get_report_descriptor");
    std::lock_guard<std::mutex> lock(d.mutex);
    if (!d.descriptorAvailable || !d.present) return -1;
    std::vector<uint8_t> bytes = d.customDescriptor.empty()
                                     ? vr::ReportDescriptor(d.reportLength, d.reportId)
                                     : d.customDescriptor;
    size_t n = std::min(buf_size, bytes.size());
    std::memcpy(buf, bytes.data(), n);
    return int(n);
}

const wchar_t HID_API_EXPORT *hid_error(hid_device *dev) {
    Device &d = dev ? OwnerOf(dev, "hid_error") : D();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.present ? L"Success" : L"virtual reader unplugged";
}

// ---------------------------------------------------------------- control

#define LOCKED                                                                                     \
    Device &d = D();                                                                               \
    std::lock_guard<std::mutex> lock(d.mutex)

void vr_reset(void) {
    {
        Readers &r = R();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (Device *d : r.readers)
            if (d) {
                std::lock_guard<std::mutex> own(d->mutex);
                d->reset();
            }
        r.count = 1;
        r.selected = 0;
    }
}

void vr_set_reader_count(int count) {
    Readers &r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.count = std::clamp(count, 1, vr::kMaxReaders);
    for (int k = 0; k < r.count; ++k)
        ReaderLocked(r, k);
}

int vr_reader_count(void) {
    Readers &r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.count;
}

void vr_select_reader(int index) {
    Readers &r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.selected = std::clamp(index, 0, vr::kMaxReaders - 1);
    ReaderLocked(r, r.selected);
}

int vr_selected_reader(void) {
    Readers &r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.selected;
}

void vr_set_identity(unsigned short vendor, unsigned short product, unsigned short release) {
    LOCKED;
    d.vendor = vendor;
    d.product = product;
    d.release = release;
}

void vr_set_report_length(int length) {
    LOCKED;
    d.reportLength = std::clamp(length, 3, 1024);
}

void vr_set_report_id(int id) {
    LOCKED;
    d.reportId = uint8_t(std::clamp(id, 0, 255));
}

void vr_set_descriptor_available(int available) {
    LOCKED;
    d.descriptorAvailable = available != 0;
}

void vr_set_descriptor(const unsigned char *bytes, int size) {
    LOCKED;
    d.customDescriptor.assign(bytes, bytes + std::max(size, 0));
}

void vr_set_present(int present) {
    LOCKED;
    d.present = present != 0;
    d.arrived.notify_all();
}

void vr_set_hid_init_fails(int fails) {
    LOCKED;
    d.initFails = fails != 0;
}

void vr_set_other_devices(int count) {
    LOCKED;
    d.otherDevices = std::clamp(count, 0, 1000);
}

void vr_set_silent(int silent) {
    LOCKED;
    d.silent = silent != 0;
}

void vr_set_unanswered(int count) {
    LOCKED;
    d.unanswered = std::max(count, 0);
}

void vr_set_status(int status) {
    LOCKED;
    d.status = status < 0 ? -1 : status & 0xFF;
}

void vr_set_command_status(int command, int status) {
    LOCKED;
    d.commandStatus[command & 0xFF] = status < 0 ? -1 : status & 0xFF;
}

void vr_set_rf_status(int status) {
    LOCKED;
    d.reader.rfStatus = status < 0 ? -1 : status & 0xFF;
}

void vr_set_spurious_reports(int count, int statusByte) {
    LOCKED;
    d.spuriousCount = std::clamp(count, 0, 100);
    d.spuriousByte = statusByte & 0xFF;
}

void vr_set_report_delay_us(int microseconds) {
    LOCKED;
    d.delayUs = std::max(microseconds, 0);
}

void vr_set_write_stall_ms(int milliseconds) {
    LOCKED;
    d.stallMs = std::max(milliseconds, 0);
}

void vr_set_fail_when_empty(int on) {
    LOCKED;
    d.failWhenEmpty = on != 0;
    d.arrived.notify_all();
}

void vr_set_next_reply(int status, const unsigned char *payload, int size) {
    LOCKED;
    vr::Answer a;
    a.status = status & 0xFF;
    if (size > 0) a.payload.assign(payload, payload + size);
    d.nextReply = a;
}

void vr_set_next_reply_raw(const unsigned char *reports, int size) {
    LOCKED;
    d.nextRaw = std::vector<uint8_t>(reports, reports + std::max(size, 0));
}

void vr_queue_input_report(const unsigned char *report, int size) {
    LOCKED;
    std::vector<uint8_t> r(size_t(d.reportLength), 0);
    std::memcpy(r.data(), report, size_t(std::clamp(size, 0, d.reportLength)));
    for (hid_device *h : d.handles)
        h->queue.push_back({r, Clock::now()});
    d.arrived.notify_all();
}

int vr_pending_input_reports(void) {
    LOCKED;
    size_t n = 0;
    for (hid_device *h : d.handles)
        n += h->queue.size();
    return int(n);
}

int vr_written_report_count(void) {
    LOCKED;
    return int(d.written.size());
}

static int CopyEntry(const std::deque<std::vector<uint8_t>> &log, int index, unsigned char *buf,
                     int capacity) {
    if (index < 0 || size_t(index) >= log.size()) return -1;
    const auto &e = log[size_t(index)];
    if (buf && capacity > 0) std::memcpy(buf, e.data(), std::min(e.size(), size_t(capacity)));
    return int(e.size());
}

int vr_written_report(int index, unsigned char *buffer, int capacity) {
    LOCKED;
    return CopyEntry(d.written, index, buffer, capacity);
}

int vr_message_count(void) {
    LOCKED;
    return int(d.messages.size());
}

int vr_message(int index, unsigned char *buffer, int capacity) {
    LOCKED;
    return CopyEntry(d.messages, index, buffer, capacity);
}

int vr_message_acted(int index) {
    LOCKED;
    if (index < 0 || size_t(index) >= d.fates.size()) return -1;
    return d.fates[size_t(index)].acted ? 1 : 0;
}

int vr_message_answered_by(int index) {
    LOCKED;
    if (index < 0 || size_t(index) >= d.fates.size()) return -3;
    const MessageFate &f = d.fates[size_t(index)];
    if (f.firstRead == kNothingRead) return -2;
    if (f.firstRead < 0) return -1;
    return int(std::min<long long>(f.serial - f.firstRead, 1 << 30));
}

void vr_clear_log(void) {
    LOCKED;
    d.written.clear();
    d.messages.clear();
    d.fates.clear();
    d.delivered = 0;
}

int vr_read_report_count(void) {
    LOCKED;
    return d.delivered;
}

int vr_open_handles(void) {
    LOCKED;
    return int(d.handles.size());
}

void vr_set_config_block(const unsigned char *block, int size) {
    LOCKED;
    d.reader.config.assign(block, block + std::max(size, 0));
}

int vr_config_block(unsigned char *buffer, int capacity) {
    LOCKED;
    const auto &c = d.reader.config;
    if (buffer && capacity > 0) std::memcpy(buffer, c.data(), std::min(c.size(), size_t(capacity)));
    return int(c.size());
}

void vr_set_version_text(const char *text) {
    LOCKED;
    d.reader.version = text ? text : "";
}

int vr_mode(void) {
    LOCKED;
    return d.reader.mode;
}

void vr_set_ic_card_present(int present) {
    LOCKED;
    d.reader.icPresent = present != 0;
    if (!present) d.reader.icPowered = false;
}

int vr_ic_powered(void) {
    LOCKED;
    return d.reader.icPowered ? 1 : 0;
}

void vr_set_card_present(int present) {
    LOCKED;
    d.reader.card.present = present != 0;
    d.reader.card.state = vr::MifareCard::Idle;
    d.reader.card.authSector = -1;
    d.reader.card.halted = false;
}

void vr_remove_card(void) {
    vr_set_card_present(0);
}

void vr_set_card_uid(const unsigned char uid[4]) {
    LOCKED;
    std::memcpy(d.reader.card.uid, uid, 4);
}

int vr_card_block(int block, unsigned char data[16]) {
    LOCKED;
    if (block < 0 || block >= 64) return -1;
    std::memcpy(data, d.reader.card.blocks[block], 16);
    return 0;
}

int vr_set_card_block(int block, const unsigned char data[16]) {
    LOCKED;
    if (block < 0 || block >= 64) return -1;
    std::memcpy(d.reader.card.blocks[block], data, 16);
    return 0;
}

int vr_antenna(void) {
    LOCKED;
    return d.reader.antenna ? 1 : 0;
}

void vr_fault_next(int fault) {
    LOCKED;
    d.faults.Queue(fault);
}

void vr_set_fault_mix(unsigned seed, const int per_million[VR_FAULT_KINDS]) {
    LOCKED;
    d.faults.SetMix(seed, per_million);
}

void vr_set_late_ms(int past, int within) {
    LOCKED;
    d.faults.LateMs = std::max(past, 0);
    d.faults.WithinMs = std::max(within, 0);
}

int vr_faults_injected(int fault) {
    LOCKED;
    return d.faults.Injected(fault);
}

void vr_handle_counts(int *opened, int *closed) {
    LOCKED;
    if (opened) *opened = d.opened;
    if (closed) *closed = d.closed;
}

} // extern "C"
#pragma GCC visibility pop

// ---------------------------------------------------------------- several readers

bool vr::ReaderOpenedHere(int index) {
    Readers &r = R();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (index < 0 || index >= vr::kMaxReaders || !r.readers[index]) return false;
    std::lock_guard<std::mutex> own(r.readers[index]->mutex);
    return r.readers[index]->openedHere;
}

// ---------------------------------------------------------------- the serial front end

bool vr::AnswerSerialMessage(uint8_t command, const uint8_t *payload, size_t size,
                             vr::Answer &answer) {
    Device &d = D();
    std::lock_guard<std::mutex> lock(d.mutex);
    MessageFate &fate = LogMessage(d, command, payload, size);
    if (TakeUnanswered(d) || d.silent) return false;
    if (d.nextReply) {
        answer = *d.nextReply;
        d.nextReply.reset();
    } else if (d.status >= 0 || d.commandStatus[command] >= 0) {
        answer = vr::Answer{};
        answer.status = d.status >= 0 ? d.status : d.commandStatus[command];
    } else {
        answer = Act(d, fate, command, payload, size);
    }
    fate.firstRead = fate.serial; // the line carries it straight back
    return true;
}
