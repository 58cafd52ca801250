#pragma once
// The contactless window's binding of the HID reader library under its second file name:
// its own loaded copy, with its own reader state.
#include "link/reader_link.h"
#include "shell/ui_text.h"

#include <cstdint>
#include <functional>

extern "C" {
typedef int (*RfSwitchFn)(int value);
typedef int (*RfRequestFn)(int mode, int16_t *cardType);
typedef int (*RfAnticollFn)(int parameter, uint32_t *serialNumber, int16_t *serialLength);
typedef int (*RfSelectFn)(const uint8_t *serialNumber, int16_t serialLength);
typedef int (*RfAuthenticationFn)(int keyChoice, int sector, const uint8_t *key);
typedef int (*RfReadFn)(int sector, int block, uint8_t *data, int16_t *length);
typedef int (*RfWriteFn)(int sector, int block, const uint8_t *data, int16_t count);
typedef int (*RfValueFn)(int sector, int block, int32_t value);
typedef int (*RfReadValueFn)(int sector, int block, int32_t *value);
typedef int (*RfResetFn)(int mode, uint32_t *result, int16_t *length);
typedef int (*RfCosFn)(const uint8_t *command, int16_t count, uint8_t *response,
                       int16_t *responseLength);
}

// Loaded once, on the window's first showing, and never released.
struct TRfidLink {
    HidInitFn HID_Init = nullptr;
    HidCloseFn HID_Close = nullptr;
    TransferWriteFn HID_WRITE = nullptr;
    TransferReadFn HID_READ = nullptr;
    RfSwitchFn RF_Antenna_Sta = nullptr;
    RfSwitchFn RF_Init_Type = nullptr;
    RfRequestFn RF_Request = nullptr;
    RfAnticollFn RF_Anticoll = nullptr;
    RfSelectFn RF_Select = nullptr;
    RfAuthenticationFn RF_authentication = nullptr;
    RfReadFn RF_read = nullptr;
    RfWriteFn RF_write = nullptr;
    RfValueFn RF_initval = nullptr;
    RfValueFn RF_increment = nullptr;
    RfValueFn RF_Debit = nullptr;
    RfReadValueFn RF_readval = nullptr;
    RfResetFn RF_Reset = nullptr;
    RfCosFn RF_COS = nullptr;

    void *Module = nullptr;
    uint8_t Bound = 0; // 1 once the library is loaded and all eighteen names were found
    // Optional: the library's hook for a message pump (nullptr when it has none).
    SetMessagePumpFn HID_SetMessagePump = nullptr;
};

inline constexpr const char *kRfidLibraryFile = "liblorvanex.so";
// The question when the library cannot be loaded (this one has no question mark) and its
// caption. A missing entry point asks UI texts 71 and 73 instead.
inline constexpr const char *kRfidCloseQuestion = "Are you sure to close the application program";
inline constexpr const char *kRfidNotOpen = "The lorvanex.dll Is Not Open!";
inline constexpr int kRfidQuestionText = 71;
inline constexpr int kRfidOpenErrorText = 73;

// Loads `file` and looks up the eighteen entry points in order. On a failure `ask` is called
// once with a caption and a text (the caller asks and ends the program on Yes) and binding
// stops there. When the library offers HID_SetMessagePump and everything was found, the
// program's pump (SetMessagePump) is registered with it.
BindResult BindRfidLink(TRfidLink &link, const TUiText &texts,
                        const std::function<void(const char *caption, const char *text)> &ask,
                        const char *file = kRfidLibraryFile);
