// Splitting the service's reader multi-string into names. Kept apart from the exports so
// that the unit tests and the fuzzer can reach it; it is not exported from the library.
#pragma once

#include <cstddef>

namespace brenmark {

// One name inside a multi-string: its first byte and its length without the NUL.
struct NameSpan {
    std::size_t offset;
    std::size_t length;
};

// Finds the names of a multi-string of size bytes (names each ended by a NUL, the list
// ended by an empty name). Never reads past size, also when the bytes lack their NULs.
// Stores at most max spans and returns how many it stored.
std::size_t split_reader_names(const char *multi, std::size_t size, NameSpan *out, std::size_t max);

// Writes a name into a slot of slot_size bytes: the name cut to slot_size - 1 bytes, a
// NUL, and zeros to the end of the slot.
void fill_name_slot(char *slot, std::size_t slot_size, const char *name, std::size_t length);

} // namespace brenmark
