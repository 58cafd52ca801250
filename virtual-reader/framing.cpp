#include "framing.h"

#include <algorithm>
#include <cstring>

namespace vr {

void MessageAssembler::Reset() {
    message_.clear();
    expected_ = 0;
    complete_ = false;
}

bool MessageAssembler::Take(const uint8_t *report, size_t length) {
    if (complete_) Reset();
    if (length < 3) return false;
    if (expected_ == 0) { // first report of a message: lead byte, then the staged length
        if (length < 4) return false;
        lead_ = report[1];
        expected_ = size_t(report[2]) * 256 + report[3] + 2;
        message_.clear();
    }
    const size_t take = std::min(length - 2, expected_ - message_.size());
    message_.insert(message_.end(), report + 2, report + 2 + take);
    if (message_.size() < expected_) return false;
    expected_ = 0;
    complete_ = true;
    return true;
}

std::vector<uint8_t> ReportFromHost(const uint8_t *data, size_t size, int length, uint8_t id) {
    const uint8_t *bytes = data[0] == 0 ? data + 1 : data;
    const size_t count = data[0] == 0 ? size - 1 : size;
    std::vector<uint8_t> report(size_t(std::max(length, 1)), 0);
    const size_t at = id ? 0 : 1;
    std::memcpy(report.data() + at, bytes, std::min(count, report.size() - at));
    return report;
}

std::vector<std::vector<uint8_t>> AnswerReports(const Answer &a, int n, uint8_t id, int spurious,
                                                uint8_t spuriousByte) {
    std::vector<std::vector<uint8_t>> reports;
    const int length = int(a.payload.size());
    std::vector<uint8_t> first(size_t(n), 0);
    first[0] = id;
    first[1] = uint8_t(a.status);
    if (n > 3) {
        first[2] = uint8_t(length >> 8);
        first[3] = uint8_t(length);
    }
    size_t at = 0;
    for (int i = 4; i < n && at < a.payload.size(); ++i)
        first[size_t(i)] = a.payload[at++];
    reports.push_back(first);
    const int continuations = n > 2 ? (length + 2) / (n - 2) : 0;
    for (int j = 0; j < continuations; ++j) {
        for (int k = 0; k < spurious; ++k) {
            std::vector<uint8_t> junk(size_t(n), 0xEE);
            junk[0] = id;
            junk[1] = spuriousByte;
            reports.push_back(junk);
        }
        std::vector<uint8_t> next(size_t(n), 0);
        next[0] = id;
        next[1] = 0xB0;
        for (int i = 2; i < n && at < a.payload.size(); ++i)
            next[size_t(i)] = a.payload[at++];
        reports.push_back(next);
    }
    return reports;
}

std::vector<uint8_t> ReportDescriptor(int n, uint8_t id) {
    unsigned count = unsigned(n - 1);
    uint8_t lo = uint8_t(count), hi = uint8_t(count >> 8);
    std::vector<uint8_t> d = {0x06, 0x00, 0xFF,                  // usage page (vendor)
                              0x09, 0x01,                        // usage
                              0xA1, 0x01};                       // collection (application)
    if (id) d.insert(d.end(), {0x85, id});                       // report id
    d.insert(d.end(), {0x15, 0x00, 0x26, 0xFF, 0x00,             // logical 0..255
                       0x75, 0x08,                               // report size 8
                       0x96, lo,   hi,                           // report count n - 1
                       0x09, 0x01, 0x81, 0x02,                   // input
                       0x96, lo,   hi,   0x09, 0x01, 0x91, 0x02, // output
                       0xC0});
    return d;
}

} // namespace vr
