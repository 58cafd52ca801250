// Counts the library's calls into the smart-card service. The test program defines the
// service functions itself, so the dynamic linker binds the library's calls to these
// definitions, which count and forward to pcsc-lite.
#pragma once

#include <atomic>

namespace call_counter {
extern std::atomic<int> connects;
extern std::atomic<int> disconnects;
extern std::atomic<int> releases;
} // namespace call_counter
