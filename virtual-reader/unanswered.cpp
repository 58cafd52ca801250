// The count of messages that are taken and logged but not answered.
#include "serial_line.h"
#include "virtual_reader.h"

#include <atomic>

namespace {
std::atomic<int> gUnanswered{0};
} // namespace

namespace vr {
bool TakeUnanswered() {
    int left = gUnanswered.load();
    while (left > 0)
        if (gUnanswered.compare_exchange_weak(left, left - 1)) return true;
    return false;
}

void ResetUnanswered() {
    gUnanswered.store(0);
}
} // namespace vr

extern "C" VR_API void vr_set_unanswered(int count) {
    gUnanswered.store(count > 0 ? count : 0);
}
