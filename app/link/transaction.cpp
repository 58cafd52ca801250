#include "link/transaction.h"

#include "link/frames.h"

#include <algorithm>
#include <cstring>

namespace {
bool gRunning = false;
int gOperations = 0;

// The transport may write more than our buffers hold (the HID library joins up to 2048
// payload bytes and traces every report), so it writes into roomier scratch areas and
// only what fits is copied into the result.
constexpr int kReplyScratch = 4096;
constexpr int kTraceScratch = 16384;

// Whatever way the transaction ends, the window is enabled again and an opened transport
// closed, in that order.
class Finish {
  public:
    Finish(const std::function<void(bool)> &setEnabled) : setEnabled_(setEnabled) {}
    ~Finish() {
        Enable();
        Close();
        gRunning = false;
    }
    void Opened(HidCloseFn close) { close_ = close; }
    void Enable() {
        if (!enabled_ && setEnabled_) setEnabled_(true);
        enabled_ = true;
    }
    void Close() {
        if (close_) close_();
        close_ = nullptr;
    }

  private:
    const std::function<void(bool)> &setEnabled_;
    HidCloseFn close_ = nullptr;
    bool enabled_ = false;
};

void TraceIn(const TxResult &r, char *scratch) {
    std::memset(scratch, 0, kTraceScratch);
    std::memcpy(scratch, r.trace, kTraceSize);
}

void TraceOut(TxResult &r, const char *scratch) {
    std::memcpy(r.trace, scratch, kTraceSize - 1);
    r.trace[kTraceSize - 1] = 0;
}

// The read-back of a write-configuration attempt: true when the reader shows the block, or
// answers "A" or "C" and so shows nothing.
bool ReadBack(const TxOptions &opts, TransferWriteFn write, TransferReadFn read, TxResult &r,
              uint8_t (&frame)[kFrameSize], uint8_t *reply, char *trace) {
    std::memset(frame, 0, kFrameSize);
    const int length = frames::ReadConfiguration(frame);
    TraceIn(r, trace);
    const int written = write(frame, length, 2, trace);
    TraceOut(r, trace);
    r.readBackResult = kTxNotRead;
    if (written != 0) return false;
    std::memset(reply, 0, kReplyScratch);
    int replyLength = 0;
    TraceIn(r, trace);
    r.readBackResult = read(reply, &replyLength, 2, trace);
    TraceOut(r, trace);
    if (r.readBackResult == 0x41 || r.readBackResult == 0x43) return true;
    if (r.readBackResult != 0 || replyLength <= 0 || replyLength > kReplySize) return false;
    if (opts.readBack(reply, replyLength)) return true;
    r.readBackDiffered = true;
    return false;
}
} // namespace

bool TransactionRunning() {
    return gRunning;
}

ReaderOperation::ReaderOperation() {
    ++gOperations;
}
ReaderOperation::~ReaderOperation() {
    --gOperations;
}

bool ReaderBusy() {
    return gRunning || gOperations > 0;
}

TxResult RunTransaction(const TReaderLink &link,
                        const std::function<int(uint8_t (&frame)[kFrameSize])> &buildFrame,
                        const TxOptions &opts,
                        const std::function<void(bool enabled)> &setWindowEnabled) {
    TxResult r{};
    r.outcome = TxOutcome::NotBound;
    const bool hid = link.ConnectionKind == 0;
    const bool bound =
        hid ? link.HidBound && link.HID_Init && link.HID_Close && link.HID_WRITE && link.HID_READ
            : link.SerialBound && link.COM_Init && link.COM_Close && link.COM_WRITE &&
                  link.COM_READ;
    if (!bound) return r;
    if (gRunning) {
        r.outcome = TxOutcome::Busy;
        return r;
    }
    gRunning = true;

    Finish finish(setWindowEnabled);
    if (setWindowEnabled) setWindowEnabled(false);

    const int opened = hid ? link.HID_Init() : link.COM_Init(link.SerialPort);
    if (opened != 0) {
        r.outcome = TxOutcome::NoReader;
        return r;
    }
    finish.Opened(hid ? link.HID_Close : link.COM_Close);
    const TransferWriteFn write = hid ? link.HID_WRITE : link.COM_WRITE;
    const TransferReadFn read = hid ? link.HID_READ : link.COM_READ;

    uint8_t frame[kFrameSize];
    uint8_t reply[kReplyScratch];
    char trace[kTraceScratch];
    bool ok = false;
    for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
        r.attempts = attempt + 1;
        std::memset(frame, 0, sizeof frame);
        std::memset(r.reply, 0, sizeof r.reply);
        r.replyLength = 0;
        if (opts.command == TxCommand::ReadConfiguration) {
            std::memset(r.store, 0, sizeof r.store);
            std::memset(r.modes, 0, sizeof r.modes);
        }
        const int length = buildFrame(frame);
        if (length < 0 || length > kFrameSize) {
            r.outcome = TxOutcome::FrameRejected;
            return r;
        }

        TraceIn(r, trace);
        r.writeResult = write(frame, length, 2, trace);
        TraceOut(r, trace);
        r.readResult = kTxNotRead;
        if (r.writeResult != 0) continue;
        if (opts.afterWrite) opts.afterWrite(r);

        std::memset(reply, 0, sizeof reply);
        int replyLength = 0;
        TraceIn(r, trace);
        r.readResult = read(reply, &replyLength, 2, trace);
        TraceOut(r, trace);
        if (r.readResult == 0) {
            if (replyLength < 0 || replyLength > kReplySize) {
                r.readResult = kTxReplyTooLong;
            } else {
                r.replyLength = replyLength;
                std::memcpy(r.reply, reply, static_cast<size_t>(replyLength));
            }
        }

        switch (opts.command) {
        case TxCommand::ReadConfiguration:
            if (r.readResult == 0 && r.replyLength == 0) {
                ok = false;
            } else if (r.readResult == 0) {
                if (opts.decode) {
                    r.decodeResult = opts.decode(r.reply, r.replyLength, r.store, r.modes);
                    ok = r.decodeResult > 0;
                } else {
                    ok = true;
                }
            } else if (r.readResult == 0x43) {
                std::memset(r.store, 0, sizeof r.store);
                std::memset(r.modes, 0, sizeof r.modes);
                r.outcome = TxOutcome::EmptyImage;
                ok = true;
            } else if (r.readResult == 0x41) {
                r.outcome = TxOutcome::DefaultKeyCodes;
                return r;
            }
            break;
        case TxCommand::WriteConfiguration:
            ok = r.readResult == 0 &&
                 (!opts.readBack || ReadBack(opts, write, read, r, frame, reply, trace));
            break;
        case TxCommand::ReadVersion:
            ok = r.readResult == 0 && r.replyLength > 0;
            break;
        case TxCommand::Mode:
            ok = r.readResult == 0;
            break;
        case TxCommand::IcCard:
            ok = r.readResult >= 0;
            break;
        }
    }
    if (!ok) {
        r.outcome = TxOutcome::NoAnswer;
        return r;
    }
    if (r.outcome != TxOutcome::EmptyImage) r.outcome = TxOutcome::Ok;
    finish.Enable();
    if (opts.beforeClose) opts.beforeClose(r);
    return r;
}
