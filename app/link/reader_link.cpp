#include "link/reader_link.h"

#include "link/entry_point.h"

#include <dlfcn.h>

namespace {
MessagePumpFn gPump = nullptr;
void *gPumpContext = nullptr;
} // namespace

void SetMessagePump(MessagePumpFn pump, void *ctx) {
    gPump = pump;
    gPumpContext = ctx;
}

MessagePumpFn CurrentMessagePump() {
    return gPump;
}
void *CurrentMessagePumpContext() {
    return gPumpContext;
}

BindResult BindReaderLink(TReaderLink &link, const std::function<void(const char *caption)> &ask,
                          const char *hidFile, const char *serialFile) {
    link.HidModule = dlopen(hidFile, RTLD_NOW | RTLD_LOCAL);
    if (link.HidModule == nullptr) {
        ask(kHidNotOpen);
        return BindResult::Stopped;
    }
    bool all = true;
    all &= LookupEntryPoint(link.HidModule, "HID_Init", link.HID_Init);
    all &= LookupEntryPoint(link.HidModule, "HID_Close", link.HID_Close);
    all &= LookupEntryPoint(link.HidModule, "HID_WRITE", link.HID_WRITE);
    all &= LookupEntryPoint(link.HidModule, "HID_READ", link.HID_READ);
    if (!all) {
        ask(kHidOpenError);
        return BindResult::Stopped;
    }
    link.HidBound = 1;
    // The pump hook is optional: a library without it simply keeps the window still.
    if (LookupEntryPoint(link.HidModule, "HID_SetMessagePump", link.HID_SetMessagePump) &&
        gPump != nullptr)
        link.HID_SetMessagePump(gPump, gPumpContext);

    link.SerialModule = dlopen(serialFile, RTLD_NOW | RTLD_LOCAL);
    if (link.SerialModule == nullptr) {
        ask(kSerialNotOpen);
        return BindResult::Stopped;
    }
    all = true;
    all &= LookupEntryPoint(link.SerialModule, "COM_Init", link.COM_Init);
    all &= LookupEntryPoint(link.SerialModule, "COM_Close", link.COM_Close);
    all &= LookupEntryPoint(link.SerialModule, "COM_WRITE", link.COM_WRITE);
    all &= LookupEntryPoint(link.SerialModule, "COM_READ", link.COM_READ);
    all &= LookupEntryPoint(link.SerialModule, "COM_READ1", link.COM_READ1);
    all &= LookupEntryPoint(link.SerialModule, "COM_RECV", link.COM_RECV);
    all &= LookupEntryPoint(link.SerialModule, "Set_flagT", link.Set_flagT);
    all &= LookupEntryPoint(link.SerialModule, "Set_flagF", link.Set_flagF);
    if (!all) {
        ask(kSerialOpenError);
        return BindResult::Stopped;
    }
    link.SerialBound = 1;
    return BindResult::Ok;
}
