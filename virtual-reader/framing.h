// The reader's report framing, apart from any transport: how the output reports of one
// message join again, how an answer is cut into input reports, and the report descriptor
// that announces them. Reports here always carry the identifier byte in front (0 when the
// reader numbers none); a transport that drops it does so itself.
#pragma once

#include "reader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vr {

constexpr uint8_t kReportId = 0x08;

// Joins the output reports of one message: byte 0 the identifier, byte 1 the lead byte, then
// the staged message (payload length, high byte first, then the payload) over as many reports
// as it needs. The lead byte of the first report names the command.
class MessageAssembler {
  public:
    // Takes one report; true when it completed a message, which then stays readable until
    // the next report is taken.
    bool Take(const uint8_t *report, size_t length);
    void Reset();
    // The command byte: the first report's lead byte with bit 7 set.
    uint8_t Command() const { return uint8_t(lead_ | 0x80); }
    const uint8_t *Payload() const { return message_.data() + 2; }
    size_t PayloadSize() const { return message_.size() - 2; }

  private:
    std::vector<uint8_t> message_; // the staged bytes taken so far
    size_t expected_ = 0;          // staged length of the message, 0 = none started
    uint8_t lead_ = 0;
    bool complete_ = false;
};

// An output report as the reader receives it from a write of `size` bytes (at least 1) on its
// hidraw node: the USB HID driver does not send an identifier of 0, and the reader takes one
// report of its `length` (zeros where the write fell short, the rest not looked at).
// Returned with the identifier byte in front, 0 for a reader without identifiers.
std::vector<uint8_t> ReportFromHost(const uint8_t *data, size_t size, int length, uint8_t id);

// An answer as the reader's input reports of `length` bytes (identifier included): a first
// report (identifier, status, payload length high and low, payload) and then
// floor((L + 2) / (length - 2)) continuation reports (identifier, 0xB0, payload), each of those
// preceded by `spurious` reports (identifier, spuriousByte, 0xEE...).
std::vector<std::vector<uint8_t>> AnswerReports(const Answer &answer, int length,
                                                uint8_t id = kReportId, int spurious = 0,
                                                uint8_t spuriousByte = 0);

// A vendor report descriptor declaring one input and one output report of `length` bytes,
// identifier included; id 0 declares no identifier (the data is then length - 1 bytes).
std::vector<uint8_t> ReportDescriptor(int length, uint8_t id = kReportId);

} // namespace vr
