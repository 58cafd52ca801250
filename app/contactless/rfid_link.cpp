#include "contactless/rfid_link.h"

#include "link/entry_point.h"

#include <dlfcn.h>

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
    all &= LookupEntryPoint(m, "HID_Init", link.HID_Init);
    all &= LookupEntryPoint(m, "HID_Close", link.HID_Close);
    all &= LookupEntryPoint(m, "HID_WRITE", link.HID_WRITE);
    all &= LookupEntryPoint(m, "HID_READ", link.HID_READ);
    all &= LookupEntryPoint(m, "RF_Antenna_Sta", link.RF_Antenna_Sta);
    all &= LookupEntryPoint(m, "RF_Init_Type", link.RF_Init_Type);
    all &= LookupEntryPoint(m, "RF_Request", link.RF_Request);
    all &= LookupEntryPoint(m, "RF_Anticoll", link.RF_Anticoll);
    all &= LookupEntryPoint(m, "RF_Select", link.RF_Select);
    all &= LookupEntryPoint(m, "RF_authentication", link.RF_authentication);
    all &= LookupEntryPoint(m, "RF_read", link.RF_read);
    all &= LookupEntryPoint(m, "RF_write", link.RF_write);
    all &= LookupEntryPoint(m, "RF_initval", link.RF_initval);
    all &= LookupEntryPoint(m, "RF_increment", link.RF_increment);
    all &= LookupEntryPoint(m, "RF_Debit", link.RF_Debit);
    all &= LookupEntryPoint(m, "RF_readval", link.RF_readval);
    all &= LookupEntryPoint(m, "RF_Reset", link.RF_Reset);
    all &= LookupEntryPoint(m, "RF_COS", link.RF_COS);
    if (!all) {
        ask(texts[kRfidOpenErrorText].c_str(), texts[kRfidQuestionText].c_str());
        return BindResult::Stopped;
    }
    link.Bound = 1;
    // The pump hook is optional: without it the window just stays still while it waits.
    if (LookupEntryPoint(m, "HID_SetMessagePump", link.HID_SetMessagePump) && CurrentMessagePump())
        link.HID_SetMessagePump(CurrentMessagePump(), CurrentMessagePumpContext());
    return BindResult::Ok;
}
