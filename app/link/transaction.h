#pragma once
#include "link/reader_link.h"

#include <cstdint>
#include <functional>

// One reader transaction: open the selected transport, up to three write/read attempts,
// close. Runs on the user-interface thread; the calling window is disabled throughout.

enum class TxOutcome {
    Ok,
    NotBound,        // the selected transport is not bound; no call was made
    NoReader,        // opening the transport failed (it is not closed then)
    NoAnswer,        // three attempts failed
    DefaultKeyCodes, // read configuration answered with status 0x41
    EmptyImage,      // read configuration answered with status 0x43: success, all-zero image
    FrameRejected,   // the frame builder refused (e.g. a layer too long); transport closed
    Busy             // another transaction is running (the library is pumping messages)
};

// What decides that an attempt succeeded.
// A reply of read configuration or read version always carries bytes: an empty success is
// the answer of another command (a write, a mode) and fails the attempt.
enum class TxCommand {
    ReadConfiguration,  // read 0 with bytes and the decoder above 0; 0x43 success, 0x41 stops
    WriteConfiguration, // read 0, then the read-back below when one is given
    ReadVersion,        // write 0 and read 0 with bytes
    Mode,               // normal / test mode: write 0 and read 0
    IcCard              // a read result of 0 or more ends the loop (verdict from the trace)
};

inline constexpr int kFrameSize = 1024;
inline constexpr int kReplySize = 1024;
inline constexpr int kTraceSize = 2048;
// readResult when the last attempt's write failed and no read was made.
inline constexpr int kTxNotRead = -2147483647 - 1;
// readResult when the transport claimed success but reported a reply longer than the
// 1024-byte reply buffer (or a negative length): the attempt counts as failed.
inline constexpr int kTxReplyTooLong = -1024;

struct TxResult {
    TxOutcome outcome = TxOutcome::NotBound;
    int writeResult = 0;
    int readResult = 0;
    int replyLength = 0;           // never above kReplySize
    uint8_t reply[kReplySize];     // zero-filled before each attempt
    char trace[kTraceSize];        // zero-filled at the start; always NUL-terminated
    int attempts = 0;              // attempts made (1..3), 0 when the transport never opened
    int readBackResult = 0;        // write configuration: the read-back's read result
    bool readBackDiffered = false; // a read-back showed a configuration other than the block
    int decodeResult = 0;          // read configuration: the decoder's last result
    uint8_t store[16][1024];       // read configuration: the decoded image (zeros for 0x43)
    int32_t modes[16];
};

typedef int (*TxDecodeFn)(const uint8_t *reply, int n, uint8_t (&store)[16][1024],
                          int32_t (&modes)[16]);

struct TxOptions {
    TxCommand command = TxCommand::Mode;
    // Read configuration: the configuration block decoder (DecodeLoadReply). Without one,
    // a read result of 0 alone counts as success.
    TxDecodeFn decode = nullptr;
    // Write configuration: the reader answers a write with its status alone, which a stale or
    // misdirected success imitates exactly. With this set, an attempt whose write was answered
    // reads the configuration back (A9 7E) and counts only when this accepts the reply. A
    // read-back answered "A" or "C" shows nothing either way: the write's answer then stands.
    std::function<bool(const uint8_t *reply, int length)> readBack;
    // Called after each successful write, before the read (the IC card transcript).
    std::function<void(TxResult &)> afterWrite;
    // Called on success after the window is enabled and before the transport is closed
    // (the version box over USB HID is shown while the device is still open).
    std::function<void(const TxResult &)> beforeClose;
};

// buildFrame fills the zeroed frame and returns its length, or a negative value to stop
// (outcome FrameRejected). setWindowEnabled(false) is called once the transport is about
// to be opened and setWindowEnabled(true) on every exit path after that.
TxResult RunTransaction(const TReaderLink &link,
                        const std::function<int(uint8_t (&frame)[kFrameSize])> &buildFrame,
                        const TxOptions &opts,
                        const std::function<void(bool enabled)> &setWindowEnabled);

// True while a transaction is in progress (a second one returns Busy at once).
bool TransactionRunning();

// Marks a reader operation as running from its first side effect to its end: an operation
// also changes the record and the window before and after its transaction (and pumps
// events while it does), and nothing started meanwhile may touch either.
class ReaderOperation {
  public:
    ReaderOperation();
    ~ReaderOperation();
    ReaderOperation(const ReaderOperation &) = delete;
    ReaderOperation &operator=(const ReaderOperation &) = delete;
};

// True while a reader operation or a transaction runs. Every operation checks it before
// it does anything and then does nothing at all.
bool ReaderBusy();
