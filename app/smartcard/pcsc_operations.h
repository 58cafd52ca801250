#pragma once
// The PC/SC window's operations (listing, Refresh, Open, Close, Reset, Free, Apdu), free
// of any window toolkit: the window is reached through TPcscWindow, the card through the
// bound library.
#include "smartcard/pcsc_link.h"

#include <cstdint>
#include <string>
#include <vector>

// What the operations need of the window.
class TPcscWindow {
  public:
    virtual ~TPcscWindow() = default;
    // A plain information box with OK; returns once the user dismissed it.
    virtual void Message(const std::string &text) = 0;
    // The reader list box: item i is always reader i of the last listing.
    virtual void ClearReaders() = 0;
    virtual void AddReader(const std::string &name) = 0;
    virtual void SelectReader(int index) = 0;
    virtual void SetReaderText(const std::string &text) = 0;
    // The chosen reader's index, -1 when none is chosen.
    virtual int ReaderIndex() = 0;
    virtual std::string CommandText() = 0;
    virtual bool AutoGetResponse() = 0;
    // The response field and the details shown beside it.
    virtual void ShowResponse(const std::string &text, const std::string &details) = 0;
};

struct TPcscContext {
    TPcscLink &Link;
    // The names of the last listing; item i of the list box is name i.
    std::vector<std::string> &Readers;
    TPcscWindow &Window;
};

// Fixed texts of the window.
inline constexpr const char *kNoPcscDevice = "Can't find PS/SC Device";
inline constexpr const char *kNoSmartReader = "Can't Find Smart reader";
inline constexpr const char *kOpenError = "OPEN Error";
inline constexpr const char *kOpenSuccessful = "OPEN Successful";
inline constexpr const char *kCloseError = "CLOSE Error";
inline constexpr const char *kCloseSuccessful = "CLOSE Successful";
inline constexpr const char *kResetError = "ATRReset Error";
inline constexpr const char *kResetSuccessful = "ATRReset Successful";
inline constexpr const char *kNoApduData = "Please input APDU data! ";
inline constexpr const char *kTransmitError = "TransmitData Error";
inline constexpr const char *kTransmitSuccessful = "TransmitData Successful";

// The library's listing into c.Readers (left empty unless the result is 0); returns the
// library's result. Shows nothing; the library must be bound.
int PcscListReaders(const TPcscContext &c);
// The listing of a showing; does nothing unless the library is bound.
void PcscList(const TPcscContext &c);
// The buttons. Each shows kPcscOpenError and calls nothing while the library is unbound.
void PcscRefresh(const TPcscContext &c);
void PcscOpen(const TPcscContext &c);
void PcscClose(const TPcscContext &c);
void PcscReset(const TPcscContext &c);
void PcscFree(const TPcscContext &c);
void PcscApdu(const TPcscContext &c);
// Closing the window: the card is held exclusively, so the connection ends with it.
void PcscEndConnection(const TPcscContext &c);

// One command as sent: with auto GET RESPONSE a 61xx answer is followed by GET RESPONSE
// with Le = xx on the command's logical channel, and a 6Cxx answer by the same command
// again with Le = xx, once, and only when that Le differs from the one sent; the data of
// the 61xx answers is joined to the final answer.
struct TApduExchange {
    int Result = 0;                         // 0, or the result of the failing call
    std::vector<std::vector<uint8_t>> Sent; // every command sent, in order
    std::vector<uint8_t> Response;          // the answer shown; empty after a failure
};
// A card that keeps answering 61xx or 6Cxx gets no more follow-ups than this.
inline constexpr int kMaxFollowUps = 16;
TApduExchange ExchangeApdu(PsTransmitDataFn transmit, const std::vector<uint8_t> &command,
                           bool autoGetResponse);

// The command with its Le set to le (a command without one gains it). False for a command
// too short to carry one.
bool CommandWithLe(const std::vector<uint8_t> &command, uint8_t le, std::vector<uint8_t> &out);

// The details of an exchange as shown beside the response: the bytes sent, the response's
// length, its data and status word apart, and the status word's meaning.
std::string ExchangeDetails(const TApduExchange &exchange);
