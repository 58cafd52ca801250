#include "hidraw_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace emu {
namespace {

// Input reports one open file keeps; newer ones are dropped while it is full. The driver's
// ring has 64 slots and keeps one free.
constexpr size_t kFileReports = 63;
// The longest report the hidraw driver passes on.
constexpr size_t kMaxWrite = 16384;

} // namespace

HidrawReader::HidrawReader(const ReaderSetup &setup) : setup_(setup) {
    vr::ResetReader(reader);
}

std::vector<uint8_t> HidrawReader::Descriptor() const {
    return vr::ReportDescriptor(setup_.reportLength, setup_.reportId);
}

void HidrawReader::Open(ClientId client) {
    Client &c = clients_[client];
    c = Client{};
    c.dead = !present_;
}

void HidrawReader::Close(ClientId client) {
    clients_.erase(client);
}

int HidrawReader::Check(ClientId client) const {
    auto it = clients_.find(client);
    return it == clients_.end() || it->second.dead ? -ENODEV : 0;
}

long HidrawReader::Write(ClientId client, const uint8_t *data, size_t size) {
    if (int error = Check(client)) return error;
    if (size < 2 || size > kMaxWrite) return -EINVAL;

    const std::vector<uint8_t> report =
        vr::ReportFromHost(data, size, setup_.reportLength, setup_.reportId);

    const bool lastBeforeUnplug = unplugAfterReports_ > 0 && --unplugAfterReports_ == 0;
    if (assembler_.Take(report.data(), report.size())) {
        std::vector<uint8_t> message{assembler_.Command()};
        message.insert(message.end(), assembler_.Payload(),
                       assembler_.Payload() + assembler_.PayloadSize());
        messages.push_back(message);
        if (!silent_) {
            const vr::Answer answer = vr::Process(reader, assembler_.Command(),
                                                  assembler_.Payload(), assembler_.PayloadSize());
            if (unplugAfterMessage_) {
                Unplug();
                return long(size);
            }
            for (const auto &r : vr::AnswerReports(answer, setup_.reportLength, setup_.reportId))
                Deliver(r);
        }
    }
    if (lastBeforeUnplug) Unplug();
    return long(size);
}

void HidrawReader::Deliver(const std::vector<uint8_t> &report) {
    // Without report identifiers the driver hands over the data alone.
    const std::vector<uint8_t> read =
        setup_.reportId ? report : std::vector<uint8_t>(report.begin() + 1, report.end());
    for (auto &[id, c] : clients_)
        if (!c.dead && c.queue.size() < kFileReports) c.queue.push_back(read);
}

long HidrawReader::Read(ClientId client, uint8_t *buffer, size_t capacity) {
    auto it = clients_.find(client);
    if (it == clients_.end()) return -EBADF;
    Client &c = it->second;
    // Reports that arrived before the reader went are still read first.
    if (!c.queue.empty()) {
        const std::vector<uint8_t> report = std::move(c.queue.front());
        c.queue.pop_front();
        const size_t n = std::min(capacity, report.size());
        std::memcpy(buffer, report.data(), n);
        return long(n);
    }
    // An empty file does not block here: whoever serves the node only lets a reader in once
    // a report is waiting.
    return c.dead ? -EIO : -EAGAIN;
}

bool HidrawReader::Readable() const {
    for (const auto &[id, c] : clients_)
        if (!c.dead && !c.queue.empty()) return true;
    return false;
}

void HidrawReader::Unplug() {
    if (!present_) return;
    present_ = false;
    unplugAfterReports_ = 0;
    unplugAfterMessage_ = false;
    assembler_.Reset();
    for (auto &[id, c] : clients_)
        c.dead = true;
    if (onUnplug) onUnplug();
}

void HidrawReader::Plug() {
    present_ = true;
}

void HidrawReader::Reset() {
    vr::ResetReader(reader);
    messages.clear();
    silent_ = false;
    unplugAfterReports_ = 0;
    unplugAfterMessage_ = false;
    assembler_.Reset();
    for (auto &[id, c] : clients_)
        c.queue.clear();
}

} // namespace emu
