#include "diagnostics/ic_card.h"

#include "keycodes/hex_text.h"
#include "link/frames.h"
#include "link/transaction.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

// UI text indices.
enum : int {
    kHidOpenErrorText = 73,
    kSerialOpenErrorText = 75,
    kNoReaderText = 76,
    kPowerUpSuccessfulText = 83, // then Lose, and the same pair for power down and APDU
    kSendText = 104,
    kReceiveText = 105,
    kNoDataText = 106,
    kStatusPrefixText = 107,
};

int BuildFrame(IcOperation operation, const std::vector<uint8_t> &apdu,
               uint8_t (&frame)[kFrameSize]) {
    switch (operation) {
    case IcOperation::PowerUp:
        return frames::IcPowerUp(frame);
    case IcOperation::PowerDown:
        return frames::IcPowerDown(frame);
    case IcOperation::Apdu:
        break;
    }
    return frames::IcApdu(frame, apdu.data(), apdu.size());
}

// True when the trace has no room left for another byte: it may have been cut.
bool TraceMayBeCut(const std::string &trace) {
    return trace.size() + 3 > size_t(kTraceSize - 1);
}

// Shows the reply of the attempt that got one (r = the read's result, 0 or above).
void ShowReply(IcFrontEnd frontEnd, IcOperation operation, bool hid, const TIcResult &r,
               const TIcTexts &texts, TIcWindow &window) {
    const bool tab = frontEnd == IcFrontEnd::ConfigurationTab;
    const auto appendDump = [&] {
        window.AppendTranscript(texts.Receive);
        window.AppendTranscript(r.trace);
        // The library cuts its trace at the buffer, so a long reply loses its last bytes
        // there; the tab has its reply memo, the test window only this transcript.
        if (!tab && TraceMayBeCut(r.trace) && !r.reply.empty())
            window.AppendTranscript("\r\nThe dump above is cut; all " +
                                    std::to_string(r.reply.size()) + " data bytes:\r\n" +
                                    BytesToHexText(r.reply.data(), r.reply.size()));
    };
    // Over the serial transport a power down or an APDU answered with status "0" shows
    // nothing but its verdict.
    if (!hid && operation != IcOperation::PowerUp) {
        if (r.readResult > 0) appendDump();
        return;
    }
    appendDump();
    if (!tab) return;
    const std::string dump = BytesToHexText(r.reply.data(), r.reply.size());
    if (!hid) {
        window.SetReply(dump);
    } else if (r.readResult == 0) {
        window.SetReply(r.reply.empty() ? texts.NoData : dump);
    } else {
        char status[16];
        std::snprintf(status, sizeof status, "%02X ", static_cast<unsigned>(r.readResult));
        window.SetReply(texts.StatusPrefix + status);
    }
}

} // namespace

TIcTexts IcTexts(const TUiText &text) {
    TIcTexts t;
    t.HidOpenError = text[kHidOpenErrorText];
    t.SerialOpenError = text[kSerialOpenErrorText];
    t.NoReader = text[kNoReaderText];
    t.Send = text[kSendText];
    t.Receive = text[kReceiveText];
    t.NoData = text[kNoDataText];
    t.StatusPrefix = text[kStatusPrefixText];
    for (int op = 0; op < 3; ++op) {
        t.Successful[op] = text[kPowerUpSuccessfulText + 2 * op];
        t.Lose[op] = text[kPowerUpSuccessfulText + 2 * op + 1];
    }
    return t;
}

const TIcTexts &IcFixedTexts() {
    static const TIcTexts texts = [] {
        TIcTexts t;
        t.HidOpenError = "The LORVANE.dll Open Error!";
        t.SerialOpenError = "The COM.dll Open Error!";
        t.NoReader = "Can't find the USBMSR!";
        t.Send = "SEND:\r\n";
        t.Receive = "RECEIVE:\r\n";
        t.NoData = "SUCCESSFUL";
        t.StatusPrefix = "ERR=";
        t.Successful[0] = "IC POWER UP Successful!";
        t.Lose[0] = "IC POWER UP Lose!";
        t.Successful[1] = "IC POWER DOWN Successful!";
        t.Lose[1] = "IC POWER DOWN Lose!";
        t.Successful[2] = "APDU TEST Successful!";
        t.Lose[2] = "APDU TEST Lose!";
        return t;
    }();
    return texts;
}

TIcResult RunIcOperation(const TReaderLink &link, IcFrontEnd frontEnd, IcOperation operation,
                         const std::vector<uint8_t> &apdu, const TIcTexts &texts,
                         TIcWindow &window) {
    TIcResult result;
    // A click that reaches this window while the library pumps messages for another
    // exchange changes nothing, not even the reply memo of the running one.
    if (TransactionRunning()) return result;
    if (operation == IcOperation::Apdu && apdu.size() > kMaxApduBytes) {
        result.outcome = IcOutcome::ApduTooLong;
        return result;
    }
    if (frontEnd == IcFrontEnd::ConfigurationTab) window.SetReply("");

    const bool hid = link.ConnectionKind == 0;
    const std::string &openError = hid ? texts.HidOpenError : texts.SerialOpenError;
    if (!(hid ? link.HidBound : link.SerialBound)) {
        result.outcome = IcOutcome::NotBound;
        window.Message(openError);
        return result;
    }

    TxOptions opts;
    opts.command = TxCommand::IcCard;
    // Each attempt's transcript replaces the one before; the read starts on a clean trace.
    opts.afterWrite = [&](TxResult &r) {
        window.SetTranscript(texts.Send + std::string(r.trace, strnlen(r.trace, kTraceSize)) +
                             "\r\n");
        std::memset(r.trace, 0, sizeof r.trace);
    };
    const auto tx = std::make_unique<TxResult>(RunTransaction(
        link, [&](uint8_t(&frame)[kFrameSize]) { return BuildFrame(operation, apdu, frame); }, opts,
        [&](bool enabled) { window.SetEnabled(enabled); }));

    result.attempts = tx->attempts;
    result.readResult = tx->readResult;
    switch (tx->outcome) {
    case TxOutcome::Ok:
        break;
    case TxOutcome::Busy:
    case TxOutcome::FrameRejected: // the length was checked above
        return result;
    case TxOutcome::NotBound:
        result.outcome = IcOutcome::NotBound;
        window.Message(openError);
        return result;
    case TxOutcome::NoReader:
        result.outcome = IcOutcome::NoReader;
        window.Message(texts.NoReader);
        return result;
    default: // three failed attempts
        result.outcome = IcOutcome::NoAnswer;
        window.Message(texts.NoReader);
        return result;
    }

    result.reply.assign(tx->reply, tx->reply + tx->replyLength);
    result.trace.assign(tx->trace, strnlen(tx->trace, kTraceSize));
    ShowReply(frontEnd, operation, hid, result, texts, window);
    const bool success = IcTraceSucceeded(result.trace);
    result.outcome = success ? IcOutcome::Successful : IcOutcome::Lose;
    const int op = static_cast<int>(operation);
    window.Message(success ? texts.Successful[op] : texts.Lose[op]);
    return result;
}

char ApduKeyFilter(char key) {
    if (key == ' ' || key == 8) return key;
    if (HexDigitValue(key) < 0) return 0;
    return key >= 'a' && key <= 'f' ? static_cast<char>(key - 'a' + 'A') : key;
}

bool IsApduText(std::string_view text) {
    for (char c : text)
        if (c == 8 || ApduKeyFilter(c) == 0) return false;
    return true;
}

std::vector<uint8_t> ApduTextToBytes(std::string_view text) {
    return HexTextToBytes(text);
}

bool IcTraceSucceeded(std::string_view trace) {
    return trace.size() >= 5 && trace[3] == '3' && trace[4] == '0';
}
