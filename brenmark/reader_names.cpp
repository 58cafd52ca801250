#include "reader_names.h"

#include <cstring>

namespace brenmark {

std::size_t split_reader_names(const char *multi, std::size_t size, NameSpan *out,
                               std::size_t max) {
    std::size_t found = 0;
    std::size_t pos = 0;
    while (found < max && pos < size) {
        const void *nul = std::memchr(multi + pos, '\0', size - pos);
        std::size_t end =
            nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - multi) : size;
        if (end == pos) break; // the empty name that ends the list
        out[found++] = NameSpan{pos, end - pos};
        pos = end + 1;
    }
    return found;
}

void fill_name_slot(char *slot, std::size_t slot_size, const char *name, std::size_t length) {
    if (slot_size == 0) return;
    std::size_t kept = length < slot_size - 1 ? length : slot_size - 1;
    std::memcpy(slot, name, kept);
    std::memset(slot + kept, 0, slot_size - kept);
}

} // namespace brenmark
