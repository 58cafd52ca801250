// Report lengths from a HID report descriptor, counted as the reader's host stack counts them:
// per report identifier, the bits of all main items of one kind, rounded up to whole bytes,
// plus one byte for the report identifier (always counted, even when the device uses none).
#pragma once

#include <cstddef>
#include <cstdint>

namespace lorvane {

struct ReportLengths {
    int input = 0;         // longest input report, 0 when there is none
    int output = 0;        // longest output report, 0 when there is none
    bool numbered = false; // the reports carry an identifier (a Report ID item was seen)
};

// Returns false for a descriptor that is truncated or malformed (bad push/pop nesting);
// `out` is then left as it was.
bool ParseReportLengths(const uint8_t *descriptor, size_t size, ReportLengths &out);

} // namespace lorvane
