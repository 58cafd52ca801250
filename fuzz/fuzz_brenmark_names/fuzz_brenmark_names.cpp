// Splits arbitrary bytes as a reader multi-string and files every name in a slot, as a
// listing does; the spans must stay inside the bytes and the slots inside their 100 bytes.
#include "reader_names.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // An exact-size copy, so that reading one byte too far is caught.
    std::vector<char> bytes(data, data + size);
    brenmark::NameSpan spans[20];
    std::size_t n = brenmark::split_reader_names(bytes.data(), bytes.size(), spans, 20);
    if (n > 20) std::abort();
    std::size_t previous_end = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto &s = spans[i];
        if (s.length == 0 || s.offset < previous_end || s.offset + s.length > size) std::abort();
        if (std::memchr(bytes.data() + s.offset, '\0', s.length) != nullptr) std::abort();
        previous_end = s.offset + s.length;
        std::vector<char> slot(100);
        brenmark::fill_name_slot(slot.data(), slot.size(), bytes.data() + s.offset, s.length);
        if (slot[99] != '\0') std::abort();
    }
    return 0;
}
