// One reader behind a hidraw device node, as the kernel's hidraw and USB HID drivers present
// it to a program: what a write on the node reaches the reader as, the input reports every
// open file of the node receives, and what reads and writes return once the reader is gone.
// The reader itself is the virtual reader's (reader.h, framing.h); only the transport is here.
// Not thread-safe: the caller serialises.
#pragma once

#include "framing.h"
#include "reader.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace emu {

struct ReaderSetup {
    uint16_t vendor = 0x10C4;
    uint16_t product = 0x847C;
    uint16_t release = 0x0101;
    std::string serial = "SN0001";
    // Report length as the host library counts it: the data bytes and the identifier byte,
    // which is counted even when the reader numbers no reports.
    int reportLength = 65;
    uint8_t reportId = vr::kReportId; // 0: the reader numbers no reports
    bool descriptorInSysfs = true;    // false: the report_descriptor attribute cannot be read
};

// One open file of the node.
using ClientId = uintptr_t;

class HidrawReader {
  public:
    explicit HidrawReader(const ReaderSetup &setup);

    const ReaderSetup &Setup() const { return setup_; }
    std::vector<uint8_t> Descriptor() const;

    // The node's file operations, answered as the drivers answer them: a byte count, or a
    // negative errno.
    void Open(ClientId client);
    void Close(ClientId client);
    long Write(ClientId client, const uint8_t *data, size_t size);
    long Read(ClientId client, uint8_t *buffer, size_t capacity);
    // 0, or -ENODEV once the reader the file was opened on is gone (for its ioctls).
    int Check(ClientId client) const;
    // Some open file has an input report waiting.
    bool Readable() const;
    int OpenFiles() const { return int(clients_.size()); }

    bool Present() const { return present_; }
    // Gone at once: every open file fails from now on; onUnplug runs.
    void Unplug();
    // Plugged in again: a new device, files opened before stay dead.
    void Plug();
    // Gone right after the reader took `reports` more output reports (0: off).
    void UnplugAfterReports(int reports) { unplugAfterReports_ = reports; }
    // Gone right after the reader acted on the next complete message, before it answers.
    void UnplugAfterMessage(bool on) { unplugAfterMessage_ = on; }
    // Messages are taken, neither acted on nor answered.
    void SetSilent(bool silent) { silent_ = silent; }

    // Back to a fresh reader, plugged in, nothing pending, logs empty.
    void Reset();

    vr::ReaderState reader;
    // Every complete message: the command byte, then the payload.
    std::vector<std::vector<uint8_t>> messages;
    std::function<void()> onUnplug;

  private:
    struct Client {
        std::deque<std::vector<uint8_t>> queue;
        bool dead = false;
    };
    void Deliver(const std::vector<uint8_t> &report);

    ReaderSetup setup_;
    std::map<ClientId, Client> clients_;
    // One output endpoint: reports join into messages whichever file wrote them.
    vr::MessageAssembler assembler_;
    bool present_ = true;
    bool silent_ = false;
    int unplugAfterReports_ = 0;
    bool unplugAfterMessage_ = false;
};

} // namespace emu
