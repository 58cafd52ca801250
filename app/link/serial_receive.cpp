#include "link/serial_receive.h"

#include <thread>

TSerialEntryPoints SerialEntryPoints(const TReaderLink &link) {
    TSerialEntryPoints e;
    e.COM_Init = link.COM_Init;
    e.COM_Close = link.COM_Close;
    e.COM_RECV = link.COM_RECV;
    e.Set_flagT = link.Set_flagT;
    e.Set_flagF = link.Set_flagF;
    e.SerialPort = link.SerialPort;
    e.Bound =
        link.SerialBound && e.COM_Init && e.COM_Close && e.COM_RECV && e.Set_flagT && e.Set_flagF;
    return e;
}

ReceiveEnd RunSerialReceive(const TSerialEntryPoints &entry,
                            const std::atomic<uint8_t> &stopRequested, TSerialReceiver &receiver,
                            const TReceivePacing &pacing) {
    if (!entry.Bound) return ReceiveEnd::NotBound;
    const auto now = pacing.Now ? pacing.Now : [] { return std::chrono::steady_clock::now(); };
    const auto sleep = pacing.Sleep ? pacing.Sleep : [](std::chrono::milliseconds d) {
        std::this_thread::sleep_for(d);
    };

    const int opened = entry.COM_Init(entry.SerialPort);
    if (opened != 0) {
        // The receiver only hands the failure on: the box is shown on the window thread
        // while this thread closes the port and ends.
        receiver.OpenFailed(opened);
        entry.COM_Close();
        return ReceiveEnd::OpenFailed;
    }
    entry.Set_flagT();
    receiver.Receiving();

    bool afterCarriageReturn = false;
    while (stopRequested.load(std::memory_order_acquire) == 0) {
        unsigned char buffer[2] = {0, 0};
        const auto asked = now();
        if (entry.COM_RECV(buffer, 1) != 0) {
            if (now() - asked < kReceiveIdleWait) sleep(kReceiveIdleWait);
            continue;
        }
        const unsigned char byte = buffer[0];
        const bool lineFeedOfCrLf = byte == 0x0A && afterCarriageReturn;
        afterCarriageReturn = byte == 0x0D;
        if (byte == 0x0D) {
            receiver.Received("\r\n");
        } else if (byte != 0 && !lineFeedOfCrLf) {
            const char c = static_cast<char>(byte);
            receiver.Received(std::string_view(&c, 1));
        }
    }
    entry.COM_Close();
    return ReceiveEnd::Stopped;
}
