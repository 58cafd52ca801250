#pragma once
// The IC card test through the magnetic-stripe reader, free of any window toolkit: power
// the card up, power it down or send one APDU, each as one reader transaction, with the
// raw frames shown as hex text and a one-line verdict. The window is reached through
// TIcWindow, the reader through the transport binding.

#include "link/reader_link.h"
#include "shell/ui_text.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What an IC operation needs of its window.
class TIcWindow {
  public:
    virtual ~TIcWindow() = default;
    virtual void SetEnabled(bool enabled) = 0;
    // A plain information box with OK; returns once the user dismissed it.
    virtual void Message(const std::string &text) = 0;
    // The transcript memo (both front ends).
    virtual void SetTranscript(const std::string &text) = 0;
    virtual void AppendTranscript(const std::string &text) = 0;
    // The reply memo (the configuration window's IC tab only).
    virtual void SetReply(const std::string &text) = 0;
};

enum class IcOperation { PowerUp, PowerDown, Apdu };

// The configuration window's IC tab has a reply memo; the IC CARD TEST window has not: it
// shows a reply through the trace, followed by all its data bytes when the trace was cut.
enum class IcFrontEnd { ConfigurationTab, TestWindow };

enum class IcOutcome {
    Busy,        // another transaction was running: nothing was done or shown
    ApduTooLong, // more APDU bytes than a frame holds: nothing was done or shown
    NotBound,    // the selected transport is not bound: its open error was shown
    NoReader,    // the transport did not open: "Can't find the USBMSR!"
    NoAnswer,    // three failed attempts: "Can't find the USBMSR!", no verdict
    Successful,  // the reply's status was "0": the Successful verdict
    Lose         // a reply with another status: the Lose verdict
};

// The texts an operation shows. The configuration window takes them from the UI text
// table, the IC CARD TEST window has the same words as its own.
struct TIcTexts {
    std::string HidOpenError, SerialOpenError, NoReader;
    std::string Send, Receive;          // transcript headings, each ending in "\r\n"
    std::string NoData, StatusPrefix;   // reply memo: "SUCCESSFUL", "ERR="
    std::string Successful[3], Lose[3]; // verdicts, by IcOperation
};
TIcTexts IcTexts(const TUiText &text);
const TIcTexts &IcFixedTexts();

struct TIcResult {
    IcOutcome outcome = IcOutcome::Busy;
    int attempts = 0;           // write/read attempts made
    int readResult = 0;         // of the last attempt
    std::vector<uint8_t> reply; // the reply's data bytes (at most 1024)
    std::string trace;          // the last read's trace text (at most 2047 characters)
};

// The most APDU bytes one frame carries (after its command byte).
inline constexpr size_t kMaxApduBytes = 1023;

// One operation: the three buttons of either front end. `apdu` is used by IcOperation::Apdu
// only. Runs on the window thread; the window is disabled while the reader is open.
TIcResult RunIcOperation(const TReaderLink &link, IcFrontEnd frontEnd, IcOperation operation,
                         const std::vector<uint8_t> &apdu, const TIcTexts &texts,
                         TIcWindow &window);

// The key filter of the APDU entries: a blank, backspace (8), a decimal or hexadecimal digit
// passes (a to f as A to F); 0 means the key is swallowed.
char ApduKeyFilter(char key);
// True when every character of `text` passes the key filter (backspace excepted).
bool IsApduText(std::string_view text);
// Typed APDU text to bytes: pairs of hex digits, high nibble first, blanks skipped, an odd
// last digit becoming a high nibble ("00 A4 0" gives 00 A4 00; "ABC" gives AB C0).
// Characters other than hex digits are skipped like blanks.
std::vector<uint8_t> ApduTextToBytes(std::string_view text);

// The success rule: characters 3 and 4 of the trace (the reply's status byte in hex) are
// "30". A trace shorter than five characters is no success.
bool IcTraceSucceeded(std::string_view trace);
