#include "faults.h"

#include <algorithm>
#include <cstring>

namespace vr {

void FaultPlan::Reset() {
    rng_.seed(1);
    std::fill(std::begin(perMillion_), std::end(perMillion_), 0);
    std::fill(std::begin(injected_), std::end(injected_), 0);
    queued_.clear();
    LateMs = 5500;
    WithinMs = 4500;
}

void FaultPlan::SetMix(unsigned seed, const int *perMillion) {
    rng_.seed(seed);
    for (int k = 0; k < kFaultKinds; ++k)
        perMillion_[k] = k == 0 || !perMillion ? 0 : std::clamp(perMillion[k], 0, 1000000);
}

void FaultPlan::Queue(int fault) {
    if (fault >= 0 && fault < kFaultKinds) queued_.push_back(fault);
}

int FaultPlan::Draw() {
    int fault = 0;
    if (!queued_.empty()) {
        fault = queued_.front();
        queued_.pop_front();
    } else {
        int r = int(rng_() % 1000000u);
        for (int k = 1; k < kFaultKinds; ++k) {
            if (r < perMillion_[k]) {
                fault = k;
                break;
            }
            r -= perMillion_[k];
        }
    }
    ++injected_[fault];
    return fault;
}

int FaultPlan::Injected(int fault) const {
    return fault >= 0 && fault < kFaultKinds ? injected_[fault] : 0;
}

int FaultPlan::WrongStatus() {
    static const int kStatuses[] = {0x31, 0x45, 0x00, 0xFF, 0x32};
    return kStatuses[rng_() % (sizeof kStatuses / sizeof kStatuses[0])];
}

std::vector<uint8_t> FaultPlan::Garbage(int reportLength, bool &acceptable) {
    const size_t n = size_t(std::max(reportLength, 4));
    std::vector<uint8_t> bytes(n);
    for (auto &b : bytes)
        b = uint8_t(rng_());
    acceptable = false;
    switch (rng_() % 3) {
    case 0: // noise: whatever the status byte says, it is not success
        while (bytes[1] == 0x30 || bytes[1] == 0x41 || bytes[1] == 0x43)
            bytes[1] = uint8_t(rng_());
        break;
    case 1: { // success claiming more than any reply may hold
        bytes[0] = 0x08;
        bytes[1] = 0x30;
        const unsigned declared = 1025 + rng_() % (65536 - 1025);
        bytes[2] = uint8_t(declared >> 8);
        bytes[3] = uint8_t(declared);
        break;
    }
    default: { // success with random content: nothing on the wire tells it apart
        const unsigned declared = rng_() % 151;
        const size_t continuations = (declared + 2) / (n - 2);
        bytes.resize(n * (continuations + 1));
        for (size_t i = n; i < bytes.size(); ++i)
            bytes[i] = uint8_t(rng_());
        bytes[0] = 0x08;
        bytes[1] = 0x30;
        bytes[2] = uint8_t(declared >> 8);
        bytes[3] = uint8_t(declared);
        for (size_t j = 1; j <= continuations; ++j) {
            bytes[j * n] = 0x08;
            bytes[j * n + 1] = 0xB0;
        }
        acceptable = true;
        break;
    }
    }
    return bytes;
}

} // namespace vr
