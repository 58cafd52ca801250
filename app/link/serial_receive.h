#pragma once
// The receive loop of the serial receive thread, free of any thread or window class: it
// opens the port, switches the serial library to receive mode and asks for one byte at a
// time until it is told to stop, handing each byte's text to a receiver.

#include "link/reader_link.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string_view>

// A copy of the serial entry points and port, taken on the window thread before the loop
// starts, so the loop never reads the binding while the window thread owns it.
struct TSerialEntryPoints {
    ComInitFn COM_Init = nullptr;
    ComCloseFn COM_Close = nullptr;
    ComRecvFn COM_RECV = nullptr;
    ComFlagFn Set_flagT = nullptr;
    ComFlagFn Set_flagF = nullptr; // not called by the loop: the page calls it to stop
    int32_t SerialPort = 0;
    bool Bound = false; // the library was bound and every entry point above was found
};

TSerialEntryPoints SerialEntryPoints(const TReaderLink &link);

// Where the loop's output goes. Both are called on the loop's thread.
class TSerialReceiver {
  public:
    virtual ~TSerialReceiver() = default;
    // One received byte as text: "\r\n" for a carriage return, otherwise the byte itself.
    // Zero bytes and a line feed directly after a carriage return give no call.
    virtual void Received(std::string_view text) = 0;
    // COM_Init failed with this result; the loop closes the port and ends after it.
    virtual void OpenFailed(int result) = 0;
    // The port is open and Set_flagT was called: bytes sent from now on are received.
    virtual void Receiving() {}
};

// Clock and sleep of the loop (tests script them).
struct TReceivePacing {
    std::function<std::chrono::steady_clock::time_point()> Now;
    std::function<void(std::chrono::milliseconds)> Sleep;
};

// A request that says "nothing" sooner than this is followed by a wait of this long, so a
// serial library that does not wait for a byte itself costs no processor.
inline constexpr std::chrono::milliseconds kReceiveIdleWait{5};

enum class ReceiveEnd {
    NotBound,   // no call was made
    OpenFailed, // COM_Init failed; COM_Close was called once
    Stopped     // the stop flag was seen; COM_Close was called once
};

// Runs until `stopRequested` is non-zero (it is read before every request).
ReceiveEnd RunSerialReceive(const TSerialEntryPoints &entry,
                            const std::atomic<uint8_t> &stopRequested, TSerialReceiver &receiver,
                            const TReceivePacing &pacing = {});
