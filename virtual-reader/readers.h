// Several readers in one process: what the environment set-up needs beyond the control API.
#pragma once

namespace vr {

// The most readers one process presents (vr_set_reader_count).
constexpr int kMaxReaders = 64;

// Whether a handle was opened on reader `index` in this process: only such a reader's state
// is written back to its file, so that processes working on other readers of the same bench
// do not overwrite what this one did not touch.
bool ReaderOpenedHere(int index);

} // namespace vr
