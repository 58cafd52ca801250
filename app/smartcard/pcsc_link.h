#pragma once
// The PC/SC window's binding of the smart-card library: loaded by file name on the
// window's first showing, never released.
#include "link/reader_link.h"

#include <cstdint>
#include <functional>

extern "C" {
typedef int (*PsGetDeviceListFn)(char *names, int *count);
typedef int (*PsOpenDeviceFn)(int index);
typedef int (*PsCallFn)(void);
typedef int (*PsTransmitDataFn)(const unsigned char *command, int length, unsigned char *response,
                                int *responseLength);
}

struct TPcscLink {
    PsGetDeviceListFn PS_GetDeviceList = nullptr;
    PsOpenDeviceFn PS_OpenDevice = nullptr;
    PsCallFn PS_CloseDevice = nullptr;
    PsCallFn PS_FreeDevice = nullptr;
    PsTransmitDataFn PS_TransmitData = nullptr;
    PsCallFn PS_ATRReset = nullptr;

    void *Module = nullptr;
    // 1 once the library is loaded and all six entry points were found; nothing is
    // called through the link before that.
    uint8_t Bound = 0;
};

// This window's question has no question mark, unlike the configuration window's.
inline constexpr const char *kPcscCloseQuestion = "Are you sure to close the application program";
inline constexpr const char *kPcscNotOpen = "The brenmark.dll Is Not Open!";
inline constexpr const char *kPcscOpenError = "The brenmark.dll Open Error!";

// Loads the library and looks up its six entry points in order. On a failure `ask` is
// called once with the caption (the caller asks kPcscCloseQuestion and ends the program on
// Yes) and Stopped is returned with Bound left at 0.
BindResult BindPcscLink(TPcscLink &link, const std::function<void(const char *caption)> &ask,
                        const char *file = "libbrenmark.so");
