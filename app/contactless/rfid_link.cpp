#include "contactless/rfid_link.h"

#include <dlfcn.h>

namespace {
template <typename Fn> bool Lookup(void *module, const char *name, Fn &slot) {
    // Each address is stored whether found or not, so every later name is still looked up.
    slot = reinterpret_cast<Fn>(dlsym(module, name));
    return slot != nullptr;
}
} // namespace

BindResult BindRfidLink(TRfidLink &link, const TUiText &texts,
                        const std::function<void(const char *caption, const char *text)> &ask,
                        const char *file) {
    link.Module = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (link.Module == nullptr) {
        // Nothing to look names up in: one question, and the showing ends.
        ask(kRfidNotOpen, kRfidCloseQuestion);
        return BindResult::Stopped;
    }
    void *m = link.Module;
    bool all = true;
    all &= Lookup(m, "HID_Init", link.HID_Init);
    all &= Lookup(m, "HID_Close", link.HID_Close);
    all &= Lookup(m, "HID_WRITE", link.HID_WRITE);
    all &= Lookup(m, "HID_READ", link.HID_READ);
    all &= Lookup(m, "RF_Antenna_Sta", link.RF_Antenna_Sta);
    all &= Lookup(m, "RF_Init_Type", link.RF_Init_Type);
    all &= Lookup(m, "RF_Request", link.RF_Request);
    all &= Lookup(m, "RF_Anticoll", link.RF_Anticoll);
    all &= Lookup(m, "RF_Select", link.RF_Select);
    all &= Lookup(m, "RF_authentication", link.RF_authentication);
    all &= Lookup(m, "RF_read", link.RF_read);
    all &= Lookup(m, "RF_write", link.RF_write);
    all &= Lookup(m, "RF_initval", link.RF_initval);
    all &= Lookup(m, "RF_increment", link.RF_increment);
    all &= Lookup(m, "RF_Debit", link.RF_Debit);
    all &= Lookup(m, "RF_readval", link.RF_readval);
    all &= Lookup(m, "RF_Reset", link.RF_Reset);
    all &= Lookup(m, "RF_COS", link.RF_COS);
    if (!all) {
        ask(texts[kRfidOpenErrorText].c_str(), texts[kRfidQuestionText].c_str());
        return BindResult::Stopped;
    }
    link.Bound = 1;
    // The pump hook is optional: without it the window just stays still while it waits.
    if (Lookup(m, "HID_SetMessagePump", link.HID_SetMessagePump) && CurrentMessagePump())
        link.HID_SetMessagePump(CurrentMessagePump(), CurrentMessagePumpContext());
    return BindResult::Ok;
}
