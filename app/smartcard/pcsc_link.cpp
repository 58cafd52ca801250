#include "smartcard/pcsc_link.h"

#include <dlfcn.h>

namespace {
template <typename Fn> bool Lookup(void *module, const char *name, Fn &slot) {
    // Each address is stored whether found or not, so every lookup runs.
    slot = reinterpret_cast<Fn>(dlsym(module, name));
    return slot != nullptr;
}
} // namespace

BindResult BindPcscLink(TPcscLink &link, const std::function<void(const char *caption)> &ask,
                        const char *file) {
    link.Bound = 0;
    link.Module = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (link.Module == nullptr) {
        ask(kPcscNotOpen);
        return BindResult::Stopped;
    }
    bool all = true;
    all &= Lookup(link.Module, "PS_GetDeviceList", link.PS_GetDeviceList);
    all &= Lookup(link.Module, "PS_OpenDevice", link.PS_OpenDevice);
    all &= Lookup(link.Module, "PS_CloseDevice", link.PS_CloseDevice);
    all &= Lookup(link.Module, "PS_FreeDevice", link.PS_FreeDevice);
    all &= Lookup(link.Module, "PS_TransmitData", link.PS_TransmitData);
    all &= Lookup(link.Module, "PS_ATRReset", link.PS_ATRReset);
    if (!all) {
        ask(kPcscOpenError);
        return BindResult::Stopped;
    }
    link.Bound = 1;
    return BindResult::Ok;
}
