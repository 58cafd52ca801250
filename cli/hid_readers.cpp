#include "hid_readers.h"

#include <hidapi/hidapi.h>

#include <dlfcn.h>

namespace {

constexpr uint16_t kVendor = 0x10C4, kProductA = 0x847C, kProductB = 0x84A2, kRelease = 0x0101;

struct THidapi {
    int (*Init)() = nullptr;
    hid_device_info *(*Enumerate)(unsigned short, unsigned short) = nullptr;
    void (*Free)(hid_device_info *) = nullptr;
};

// Loaded once and kept, as the reader library keeps it: the reader library loaded later finds
// this same copy by its soname.
std::string Bind(THidapi &api) {
    void *module = dlopen(kHidapiFile, RTLD_NOW | RTLD_GLOBAL);
    if (!module) {
        const char *error = dlerror();
        return std::string("cannot load ") + kHidapiFile + ": " + (error ? error : "");
    }
    api.Init = reinterpret_cast<int (*)()>(dlsym(module, "hid_init"));
    api.Enumerate = reinterpret_cast<hid_device_info *(*)(unsigned short, unsigned short)>(
        dlsym(module, "hid_enumerate"));
    api.Free = reinterpret_cast<void (*)(hid_device_info *)>(dlsym(module, "hid_free_enumeration"));
    if (!api.Init || !api.Enumerate || !api.Free)
        return std::string(kHidapiFile) + " lacks hid_init, hid_enumerate or hid_free_enumeration";
    return {};
}

// The serial number as the library compares it: one character per code; what is not plain
// ASCII shows as '?' (such a reader is chosen by its path).
std::string Narrow(const wchar_t *text, bool &plain) {
    std::string s;
    plain = true;
    for (; text && *text; ++text) {
        const bool ascii = *text >= 0x20 && *text < 0x7F;
        plain = plain && ascii;
        s += ascii ? char(*text) : '?';
    }
    return s;
}

} // namespace

std::string ListHidReaders(std::vector<THidReader> &readers) {
    readers.clear();
    static THidapi api;
    static const std::string bound = Bind(api);
    if (!bound.empty()) return bound;
    if (api.Init() != 0) return "the HID layer could not be initialised (hid_init failed)";
    hid_device_info *list = api.Enumerate(kVendor, 0);
    for (const hid_device_info *p = list; p; p = p->next) {
        if (p->vendor_id != kVendor || (p->product_id != kProductA && p->product_id != kProductB))
            continue;
        THidReader r;
        r.Path = p->path ? p->path : "";
        r.Vendor = p->vendor_id;
        r.Product = p->product_id;
        r.Release = p->release_number;
        r.Serial = Narrow(p->serial_number, r.SerialPlain);
        r.Taken = r.Release == kRelease;
        readers.push_back(std::move(r));
    }
    api.Free(list);
    return {};
}

bool NamesReader(const THidReader &reader, const std::string &name) {
    return reader.Path == name ||
           (!reader.Serial.empty() && reader.SerialPlain && reader.Serial == name);
}
