// Internal entry points shared by the transport and the contactless commands. The exported
// functions wrap these with the busy guard; the contactless commands call them directly,
// since they already hold it.
#pragma once

#include <atomic>

namespace lorvane {

int Init();
int Write(const unsigned char *frame, int count, char *trace);
// `firstReportMs`: how long to wait for the reply's first report (the continuation reports
// get the full 5000 ms each).
constexpr int kReadTimeoutMs = 5000;
int Read(unsigned char *reply, int *length, char *trace, int firstReportMs = kReadTimeoutMs);

// One transfer at a time: an export entered while another runs (from the message pump, or
// from a second thread) gets -95 instead of racing the device state.
class BusyGuard {
  public:
    BusyGuard();
    ~BusyGuard();
    bool acquired() const { return acquired_; }

  private:
    bool acquired_;
};

constexpr int kBusy = -95;

} // namespace lorvane
