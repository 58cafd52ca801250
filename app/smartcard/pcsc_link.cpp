#include "smartcard/pcsc_link.h"

#include "link/entry_point.h"

#include <dlfcn.h>

BindResult BindPcscLink(TPcscLink &link, const std::function<void(const char *caption)> &ask,
                        const char *file) {
    link.Bound = 0;
    link.Module = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (link.Module == nullptr) {
        ask(kPcscNotOpen);
        return BindResult::Stopped;
    }
    bool all = true;
    all &= LookupEntryPoint(link.Module, "PS_GetDeviceList", link.PS_GetDeviceList);
    all &= LookupEntryPoint(link.Module, "PS_OpenDevice", link.PS_OpenDevice);
    all &= LookupEntryPoint(link.Module, "PS_CloseDevice", link.PS_CloseDevice);
    all &= LookupEntryPoint(link.Module, "PS_FreeDevice", link.PS_FreeDevice);
    all &= LookupEntryPoint(link.Module, "PS_TransmitData", link.PS_TransmitData);
    all &= LookupEntryPoint(link.Module, "PS_ATRReset", link.PS_ATRReset);
    if (!all) {
        ask(kPcscOpenError);
        return BindResult::Stopped;
    }
    link.Bound = 1;
    return BindResult::Ok;
}
