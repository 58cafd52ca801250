#pragma once
#include <cstdint>
#include <functional>

// Entry points of the two transport libraries, as the program calls them.
extern "C" {
typedef int (*HidInitFn)(void);
typedef int (*HidCloseFn)(void);
typedef int (*TransferWriteFn)(unsigned char *frame, int length, int mode, char *trace);
typedef int (*TransferReadFn)(unsigned char *reply, int *length, int mode, char *trace);
typedef int (*ComInitFn)(int port);
typedef int (*ComCloseFn)(void);
typedef int (*ComRecvFn)(unsigned char *buffer, int count);
typedef int (*ComFlagFn)(void);
typedef void (*MessagePumpFn)(void *ctx);
typedef void (*SetMessagePumpFn)(MessagePumpFn pump, void *ctx);
}

// The transport binding of the configuration window: loaded once, never released.
struct TReaderLink {
    HidInitFn HID_Init = nullptr;
    HidCloseFn HID_Close = nullptr;
    TransferWriteFn HID_WRITE = nullptr;
    TransferReadFn HID_READ = nullptr;

    ComInitFn COM_Init = nullptr;
    ComCloseFn COM_Close = nullptr;
    TransferWriteFn COM_WRITE = nullptr;
    TransferReadFn COM_READ = nullptr;
    TransferReadFn COM_READ1 = nullptr;
    ComRecvFn COM_RECV = nullptr;
    ComFlagFn Set_flagT = nullptr;
    ComFlagFn Set_flagF = nullptr;

    void *HidModule = nullptr;
    void *SerialModule = nullptr;
    uint8_t HidBound = 0;
    uint8_t SerialBound = 0;
    int32_t ConnectionKind = 0; // 0 = USB HID, anything else = serial
    int32_t SerialPort = 0;

    // Optional: the HID library's hook for a message pump (nullptr when it has none).
    SetMessagePumpFn HID_SetMessagePump = nullptr;
};

// The question asked when a library or an entry point is missing, and its captions.
inline constexpr const char *kCloseQuestion = "Are you sure to close the application program?";
inline constexpr const char *kHidNotOpen = "The LORVANE.dll Is Not Open!";
inline constexpr const char *kHidOpenError = "The LORVANE.dll Open Error!";
inline constexpr const char *kSerialNotOpen = "The COM.dll Is Not Open!";
inline constexpr const char *kSerialOpenError = "The COM.dll Open Error!";

enum class BindResult { Ok, Stopped };

// Loads the HID library, then the serial library, and looks up their entry points in
// order. On the first failure `ask` is called once with the step's caption (the caller
// asks kCloseQuestion and ends the program on Yes) and binding stops there, leaving the
// bound flags as they stand. When the HID library offers HID_SetMessagePump, the pump set
// by SetMessagePump is registered with it.
BindResult BindReaderLink(TReaderLink &link, const std::function<void(const char *caption)> &ask,
                          const char *hidFile = "liblorvane.so",
                          const char *serialFile = "libserivo.so");

// The pump handed to every HID library bound afterwards (the program installs one that
// processes its window events while the library waits).
void SetMessagePump(MessagePumpFn pump, void *ctx);
MessagePumpFn CurrentMessagePump();
void *CurrentMessagePumpContext();
