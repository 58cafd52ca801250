#include "bus.h"

#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace emu {
namespace {

constexpr int kHidrawMajor = 247;
constexpr const char *kManufacturer = "KELDO";
constexpr const char *kProduct = "USB MSR";

std::string Format(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

[[noreturn]] void Fail(const char *what, GError *error) {
    std::fprintf(stderr, "emulated-reader: %s: %s\n", what, error ? error->message : "failed");
    std::exit(125);
}

} // namespace

struct Bus::Node {
    explicit Node(const ReaderSetup &setup) : model(setup) {}
    Bus *bus = nullptr;
    int index = 0;
    HidrawReader model;
    int instance = 0; // the HID device's number, a new one on the bus at every plug
    std::string usb, interface, hid, hidraw, devnode;
    UMockdevIoctlBase *handler = nullptr;
    // The node is a pseudo-terminal to umockdev, so that polling it works: one byte waits on
    // its other side while an input report waits for an open file ("the doorbell"). The
    // master side is umockdev's.
    int master = -1, peer = -1;
    bool rung = false;
    std::string terminal; // the node's terminal, "/dev/pts/N"
    // The open files, each with a reference: umockdev reports closed files only through
    // their "connected" property.
    std::vector<UMockdevIoctlClient *> files;
};

// The node's file operations, on umockdev's worker thread.
struct NodeHandlers {
    using Node = Bus::Node;

    static void Log(Node &n, const char *what, long result) {
        if (n.bus->verbose_)
            std::fprintf(stderr, "emulated reader %d: %s -> %ld\n", n.index, what, result);
    }

    static void Complete(UMockdevIoctlClient *client, long result) {
        umockdev_ioctl_client_complete(client, result < 0 ? -1 : result,
                                       result < 0 ? int(-result) : 0);
    }

    // Copies `text` with its NUL into a buffer of `size` bytes, as the HIDIOCGRAW* requests
    // answer: the count copied.
    static long PutString(UMockdevIoctlData *arg, size_t size, const std::string &text) {
        if (size == 0) return 0;
        UMockdevIoctlData *out = umockdev_ioctl_data_resolve(arg, 0, size, nullptr);
        if (!out) return -EFAULT;
        const size_t n = std::min(size, text.size() + 1);
        std::memcpy(out->data, text.c_str(), n);
        out->data[n - 1] = 0;
        g_object_unref(out);
        return long(n);
    }

    static long Ioctl(Node &n, unsigned long request, UMockdevIoctlData *arg) {
        const ReaderSetup &s = n.model.Setup();
        if (_IOC_TYPE(request) != 'H') return -ENOTTY;
        const size_t size = _IOC_SIZE(request);
        switch (_IOC_NR(request)) {
        case _IOC_NR(HIDIOCGRDESCSIZE): {
            UMockdevIoctlData *out = umockdev_ioctl_data_resolve(arg, 0, sizeof(int), nullptr);
            if (!out) return -EFAULT;
            const int length = int(n.model.Descriptor().size());
            std::memcpy(out->data, &length, sizeof length);
            g_object_unref(out);
            return 0;
        }
        case _IOC_NR(HIDIOCGRDESC): {
            UMockdevIoctlData *out =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_report_descriptor), nullptr);
            if (!out) return -EFAULT;
            auto *d = reinterpret_cast<hidraw_report_descriptor *>(out->data);
            const std::vector<uint8_t> bytes = n.model.Descriptor();
            long result = 0;
            if (d->size > HID_MAX_DESCRIPTOR_SIZE - 1)
                result = -EINVAL;
            else
                std::memcpy(d->value, bytes.data(), std::min(size_t(d->size), bytes.size()));
            g_object_unref(out);
            return result;
        }
        case _IOC_NR(HIDIOCGRAWINFO): {
            UMockdevIoctlData *out =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(hidraw_devinfo), nullptr);
            if (!out) return -EFAULT;
            hidraw_devinfo info{};
            info.bustype = 3; // BUS_USB
            info.vendor = __s16(s.vendor);
            info.product = __s16(s.product);
            std::memcpy(out->data, &info, sizeof info);
            g_object_unref(out);
            return 0;
        }
        case 0x04: // HIDIOCGRAWNAME(len)
            return PutString(arg, size, std::string(kManufacturer) + " " + kProduct);
        case 0x05: // HIDIOCGRAWPHYS(len)
            return PutString(arg, size, Format("usb-0000:00:14.0-%d/input0", n.index + 1));
        case 0x08: // HIDIOCGRAWUNIQ(len)
            return PutString(arg, size, s.serial);
        case 0x06: // HIDIOCSFEATURE, HIDIOCGFEATURE, and the input and output report requests:
        case 0x07: // the reader declares no feature reports and answers no report requests on
        case 0x09: // its control pipe, so the USB request stalls.
        case 0x0A:
        case 0x0B:
        case 0x0C:
            return -EPIPE;
        default:
            return -ENOTTY;
        }
    }

    static gboolean OnIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data) {
        Node &n = *static_cast<Node *>(data);
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        long result;
        {
            std::lock_guard<std::mutex> lock(n.bus->mutex_);
            n.bus->Prune(n);
            result = n.model.Check(ClientId(client));
            if (result == 0) result = Ioctl(n, request, umockdev_ioctl_client_get_arg(client));
        }
        Log(n, Format("ioctl %08lX", request).c_str(), result);
        Complete(client, result);
        return TRUE;
    }

    static gboolean OnRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data) {
        Node &n = *static_cast<Node *>(data);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        std::vector<uint8_t> buffer(size_t(std::max(arg->data_len, 0)));
        long result;
        {
            std::lock_guard<std::mutex> lock(n.bus->mutex_);
            n.bus->Prune(n);
            result = n.model.Read(ClientId(client), buffer.data(), buffer.size());
            n.bus->SyncDoorbell(n);
        }
        if (result > 0) umockdev_ioctl_data_update(arg, 0, buffer.data(), int(result));
        Log(n, Format("read %d", arg->data_len).c_str(), result);
        Complete(client, result);
        return TRUE;
    }

    static gboolean OnWrite(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data) {
        Node &n = *static_cast<Node *>(data);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        long result;
        {
            std::lock_guard<std::mutex> lock(n.bus->mutex_);
            n.bus->Prune(n);
            result = n.model.Write(ClientId(client), arg->data, size_t(std::max(arg->data_len, 0)));
            n.bus->SyncDoorbell(n);
        }
        Log(n, Format("write %d", arg->data_len).c_str(), result);
        Complete(client, result);
        return TRUE;
    }

    static void OnConnected(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data) {
        Node &n = *static_cast<Node *>(data);
        std::lock_guard<std::mutex> lock(n.bus->mutex_);
        n.bus->Prune(n);
        n.files.push_back(static_cast<UMockdevIoctlClient *>(g_object_ref(client)));
        n.model.Open(ClientId(client));
        Log(n, "open", n.model.Check(ClientId(client)));
    }
};

namespace {

// The reader's devices as umockdev records them: USB device, its HID interface, the HID
// device with its report descriptor, the hidraw node. Attribute values end in a newline, as
// the kernel's do.
std::string Record(const ReaderSetup &s, const std::string &usb, const std::string &interface,
                   const std::string &hid, const std::string &hidraw, int index,
                   const std::vector<uint8_t> &descriptor) {
    std::string r;
    r += "P: " + usb + "\n";
    r += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n";
    r += Format("E: PRODUCT=%x/%x/%x\nE: TYPE=0/0/0\nE: BUSNUM=001\nE: DEVNUM=%03d\n", s.vendor,
                s.product, s.release, index + 2);
    r += Format("A: idVendor=%04x\\n\nA: idProduct=%04x\\n\nA: bcdDevice=%04x\\n\n", s.vendor,
                s.product, s.release);
    r += Format("A: manufacturer=%s\\n\nA: product=%s\\n\nA: serial=%s\\n\n", kManufacturer,
                kProduct, s.serial.c_str());
    r +=
        Format("A: busnum=1\\n\nA: devnum=%d\\n\nA: speed=12\\n\nA: version= 2.00\\n\n", index + 2);
    r += "A: bDeviceClass=00\\n\nA: bNumConfigurations=1\\n\nA: bNumInterfaces= 1\\n\n";
    r += "A: bConfigurationValue=1\\n\nA: bMaxPacketSize0=64\\n\nA: bmAttributes=80\\n\n";
    r += "\n";

    r += "P: " + interface + "\n";
    r += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=usbhid\nE: INTERFACE=3/0/0\n";
    r += Format("E: PRODUCT=%x/%x/%x\nE: TYPE=0/0/0\n", s.vendor, s.product, s.release);
    r += Format("E: MODALIAS=usb:v%04Xp%04Xd%04Xdc00dsc00dp00ic03isc00ip00in00\n", s.vendor,
                s.product, s.release);
    r += "A: bInterfaceNumber=00\\n\nA: bAlternateSetting= 0\\n\nA: bInterfaceClass=03\\n\n";
    r += "A: bInterfaceSubClass=00\\n\nA: bInterfaceProtocol=00\\n\nA: bNumEndpoints=02\\n\n";
    r += "\n";

    r += "P: " + hid + "\n";
    r += "E: SUBSYSTEM=hid\nE: DRIVER=hid-generic\n";
    r += Format("E: HID_ID=0003:%08X:%08X\n", s.vendor, s.product);
    r += Format("E: HID_NAME=%s %s\n", kManufacturer, kProduct);
    r += Format("E: HID_PHYS=usb-0000:00:14.0-%d/input0\n", index + 1);
    r += "E: HID_UNIQ=" + s.serial + "\n";
    r += Format("E: MODALIAS=hid:b0003g0001v%08Xp%08X\n", s.vendor, s.product);
    if (s.descriptorInSysfs) {
        r += "H: report_descriptor=";
        for (uint8_t b : descriptor)
            r += Format("%02X", b);
        r += "\n";
    }
    r += "\n";

    r += "P: " + hidraw + "\n";
    r += Format("N: hidraw%d\n", index);
    r += Format("E: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw%d\nE: MAJOR=%d\nE: MINOR=%d\n", index,
                kHidrawMajor, index);
    r += "L: device=../../../" + hid.substr(hid.rfind('/') + 1) + "\n";
    r += Format("A: dev=%d:%d\\n\n", kHidrawMajor, index);
    return r;
}

} // namespace

Bus::Bus(const std::vector<ReaderSetup> &setups, bool verbose) : verbose_(verbose) {
    testbed_ = umockdev_testbed_new();
    for (size_t i = 0; i < setups.size(); ++i) {
        auto n = std::make_unique<Node>(setups[i]);
        n->bus = this;
        n->index = int(i);
        n->devnode = Format("/dev/hidraw%zu", i);
        n->handler = umockdev_ioctl_base_new();
        Node *p = n.get();
        g_signal_connect(n->handler, "handle-ioctl", G_CALLBACK(NodeHandlers::OnIoctl), p);
        g_signal_connect(n->handler, "handle-read", G_CALLBACK(NodeHandlers::OnRead), p);
        g_signal_connect(n->handler, "handle-write", G_CALLBACK(NodeHandlers::OnWrite), p);
        g_signal_connect(n->handler, "client-connected", G_CALLBACK(NodeHandlers::OnConnected), p);
        n->model.onUnplug = [this, p] { AfterUnplug(*p); };
        nodes_.push_back(std::move(n));
    }
    for (auto &n : nodes_)
        Add(*n);
    janitor_ = std::thread(&Bus::RunJanitor, this);
}

Bus::~Bus() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        janitorCv_.notify_all();
    }
    janitor_.join();
    for (auto &n : nodes_) {
        umockdev_testbed_detach_ioctl(testbed_, n->devnode.c_str(), nullptr);
        if (n->peer >= 0) ::close(n->peer);
        for (UMockdevIoctlClient *c : n->files)
            g_object_unref(c);
        g_object_unref(n->handler);
    }
    g_object_unref(testbed_); // removes the testbed's folder
}

std::string Bus::Root() const {
    gchar *root = umockdev_testbed_get_root_dir(testbed_);
    std::string r = root;
    g_free(root);
    return r;
}

HidrawReader &Bus::Model(int i) {
    Node &n = *nodes_.at(size_t(i));
    Prune(n);
    return n.model;
}

void Bus::Prune(Node &n) {
    auto closed = [&n](UMockdevIoctlClient *c) {
        if (umockdev_ioctl_client_get_connected(c)) return false;
        n.model.Close(ClientId(c));
        g_object_unref(c);
        return true;
    };
    const size_t before = n.files.size();
    n.files.erase(std::remove_if(n.files.begin(), n.files.end(), closed), n.files.end());
    if (n.files.size() != before) SyncDoorbell(n);
}

// The node itself (and its terminal) stays for the testbed's life: umockdev cannot make a
// node of the same name twice. Unplugged, it only leads nowhere.
void Bus::Add(Node &n) {
    const bool first = n.instance == 0;
    n.instance = ++hidDevices_;
    const ReaderSetup &s = n.model.Setup();
    const int port = n.index + 1;
    n.usb = Format("/devices/pci0000:00/0000:00:14.0/usb1/1-%d", port);
    n.interface = n.usb + Format("/1-%d:1.0", port);
    n.hid = n.interface + Format("/0003:%04X:%04X.%04X", s.vendor, s.product, n.instance);
    n.hidraw = n.hid + Format("/hidraw/hidraw%d", n.index);
    std::string record =
        Record(s, n.usb, n.interface, n.hid, n.hidraw, n.index, n.model.Descriptor());
    if (!first) {
        const std::string line = Format("N: hidraw%d\n", n.index);
        record.erase(record.find(line), line.size());
    }
    const std::string root = Root();
    const std::string node = root + n.devnode;
    if (!first) {
        ::unlink(node.c_str());
        if (::symlink(n.terminal.c_str(), node.c_str()) != 0)
            Fail("cannot put the reader's node back", nullptr);
    }
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, record.c_str(), &error))
        Fail("cannot add the reader's devices", error);
    if (first) {
        if (!umockdev_testbed_attach_ioctl(testbed_, n.devnode.c_str(), n.handler, &error))
            Fail("cannot serve the reader's node", error);
        n.master = umockdev_testbed_get_dev_fd(testbed_, n.devnode.c_str());
        if (n.master < 0) Fail("the reader's node is no pseudo-terminal", nullptr);
        ::fcntl(n.master, F_SETFD, FD_CLOEXEC);
        char terminal[64] = "";
        ::ptsname_r(n.master, terminal, sizeof terminal);
        n.terminal = terminal;
    }
    // The node's major and minor numbers, for stat(); gone with the device.
    const std::string numbers = root + "/dev/.node/" + n.devnode.substr(5);
    if (::access(numbers.c_str(), F_OK) != 0)
        ::symlink(Format("%d:%d", kHidrawMajor, n.index).c_str(), numbers.c_str());

    const int peer = ::ioctl(n.master, TIOCGPTPEER, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (peer < 0) Fail("cannot open the node's terminal", nullptr);
    termios raw{};
    if (::tcgetattr(peer, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(peer, TCSANOW, &raw);
    }
    char sink[64]; // a doorbell that rang for good while the reader was gone
    while (::read(peer, sink, sizeof sink) > 0) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (n.peer >= 0) ::close(n.peer); // a doorbell that rang for good
    n.peer = peer;
    n.rung = false;
    n.model.Plug();
}

void Bus::Remove(Node &n) {
    for (const std::string *path : {&n.hidraw, &n.hid, &n.interface, &n.usb})
        umockdev_testbed_remove_device(testbed_, ("/sys" + *path).c_str());
    const std::string root = Root();
    // umockdev leaves this link, and would refuse to make it again at the next plug.
    ::unlink(Format("%s/sys/dev/char/%d:%d", root.c_str(), kHidrawMajor, n.index).c_str());
    // Without its node the path would reach the host's own /dev: leave one that leads nowhere.
    const std::string node = root + n.devnode;
    ::unlink(node.c_str());
    if (::symlink("/nonexistent/unplugged", node.c_str()) != 0)
        std::fprintf(stderr, "emulated-reader: cannot replace %s\n", node.c_str());
}

// Under the lock, possibly inside a file operation: the open files learn at once, sysfs a
// moment later from the janitor.
void Bus::AfterUnplug(Node &n) {
    if (n.peer >= 0) {
        // A hangup makes polls on the files report it, as they report a vanished hidraw
        // device; where it is not allowed, the doorbell rings for good and reads fail.
        if (::ioctl(n.peer, TIOCVHANGUP) == 0) {
            ::close(n.peer);
            n.peer = -1;
            NodeHandlers::Log(n, "unplugged, files hung up", 0);
        } else {
            if (!n.rung) n.rung = ::write(n.master, "!", 1) == 1;
            NodeHandlers::Log(n, "unplugged, files fail on reading", 0);
        }
    }
    removals_.push_back(&n);
    ++pendingRemovals_;
    janitorCv_.notify_all();
}

void Bus::SyncDoorbell(Node &n) {
    if (!n.model.Present() || n.peer < 0) return;
    const bool want = n.model.Readable();
    if (want && !n.rung) {
        n.rung = ::write(n.master, "!", 1) == 1;
    } else if (!want && n.rung) {
        // The byte may still be on its way through the terminal.
        pollfd p{n.peer, POLLIN, 0};
        if (::poll(&p, 1, 1000) > 0) {
            char sink[64];
            while (::read(n.peer, sink, sizeof sink) > 0) {
            }
        }
        n.rung = false;
    }
}

void Bus::RunJanitor() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        janitorCv_.wait(lock, [this] { return stopping_ || !removals_.empty(); });
        if (removals_.empty()) return;
        Node *n = removals_.front();
        removals_.pop_front();
        lock.unlock();
        Remove(*n);
        lock.lock();
        --pendingRemovals_;
        janitorCv_.notify_all();
    }
}

void Bus::WaitForJanitor() {
    std::unique_lock<std::mutex> lock(mutex_);
    janitorCv_.wait(lock, [this] { return pendingRemovals_ == 0; });
}

void Bus::Unplug(int i) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Model(i).Unplug();
    }
    WaitForJanitor();
}

void Bus::Plug(int i) {
    WaitForJanitor();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (Model(i).Present()) return;
    }
    Add(*nodes_.at(size_t(i)));
}

} // namespace emu
