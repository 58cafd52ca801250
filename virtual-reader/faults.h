// Faults the virtual reader can meet on a message: drawn at random from a seeded mix, or
// queued one at a time by a test.
#pragma once

#include <cstdint>
#include <deque>
#include <random>
#include <vector>

namespace vr {

constexpr int kFaultKinds = 11; // VR_FAULT_NONE .. VR_FAULT_OTHER_ANSWER (virtual_reader.h)

class FaultPlan {
  public:
    FaultPlan() { Reset(); }
    void Reset();
    // Seeded random faults, `perMillion[k]` per message for fault k (k >= 1); all zero: off.
    void SetMix(unsigned seed, const int *perMillion);
    // The next message meets `fault` (successive calls: successive messages).
    void Queue(int fault);
    // The fault of the message that just arrived (counted).
    int Draw();
    int Injected(int fault) const;

    // A status other than success, and other than the two the read-configuration command
    // gives a meaning to (0x41, 0x43).
    int WrongStatus();
    // Bytes that are no proper reply, cut into reports of `reportLength` by the caller. Sets
    // `acceptable` when they still read as a successful reply of random content.
    std::vector<uint8_t> Garbage(int reportLength, bool &acceptable);

    int LateMs = 5500;
    int WithinMs = 4500;

  private:
    std::mt19937 rng_;
    int perMillion_[kFaultKinds];
    std::deque<int> queued_;
    int injected_[kFaultKinds];
};

} // namespace vr
