// Report descriptors come from the device: any bytes must parse or be refused safely.
#include "report_descriptor.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // An exact-size copy, so that a read past the end is caught.
    std::vector<uint8_t> copy(data, data + size);
    lorvane::ReportLengths lengths{-1, -1};
    if (lorvane::ParseReportLengths(copy.data(), copy.size(), lengths)) {
        if (lengths.input < 0 || lengths.output < 0) std::abort();
        if (lengths.input == 1 || lengths.output == 1) std::abort(); // 0, or identifier + data
    } else if (lengths.input != -1 || lengths.output != -1) {
        std::abort(); // a refused descriptor leaves the result alone
    }
    return 0;
}
