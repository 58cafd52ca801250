#pragma once
// The Mifare One window's operations (SearchCard, Read Card, Write Card, the purse, EXIT),
// free of any window toolkit: the window is reached through TMifareWindow, the card through
// the contactless entry points of TRfidLink. Every guard runs before anything is sent.

#include "contactless/rfid_link.h"

#include <string>

// The fields the operations read and write.
enum class TMifareField {
    Serial, // Edit1
    Key,    // Edit2
    Row0,   // Edit3 .. Edit6: blocks 0 .. 3 of the sector
    Row1,
    Row2,
    Row3,
    PurseKey,    // Edit7
    Amount,      // Edit8
    Sector,      // ComboBox2
    Block,       // ComboBox3
    PurseSector, // ComboBox4
    PurseBlock   // ComboBox5
};

// What the operations need of the window.
class TMifareWindow {
  public:
    virtual ~TMifareWindow() = default;
    virtual std::string Text(TMifareField field) = 0;
    virtual void SetText(TMifareField field, const std::string &text) = 0;
    // Key B chosen: RadioButton2 for reading and writing, RadioButton4 for the purse.
    virtual bool KeyB(bool purse) = 0;
    // A plain information box with OK; returns once the user dismissed it.
    virtual void Message(const std::string &text) = 0;
    // A Yes/No question; true = Yes.
    virtual bool Ask(const std::string &caption, const std::string &text) = 0;
    virtual void SetEnabled(bool enabled) = 0;
    // Waits this long while the window keeps repainting.
    virtual void Pause(int milliseconds) = 0;
};

// Texts the operations show.
inline constexpr const char *kSearchSuccessful = "Search Card Successful";
inline constexpr const char *kInputKey = "Please Input 12 HEX Key";
inline constexpr const char *kAuthenticationFails = "Key Authentication Fails";
inline constexpr const char *kReadError = "Read Card Error";
inline constexpr const char *kReadSuccessful = "Read Card Successful";
inline constexpr const char *kWriteError = "Write Card Error";
inline constexpr const char *kWriteSuccessful = "Write Card Successful";
inline constexpr const char *kTrailerQuestion = "你确定要写第三块吗?";
inline constexpr const char *kTrailerCaption = "写第三块，可能导致卡片失效";
inline constexpr const char *kEnterAmount = "Please Enter a valid amount";
inline constexpr const char *kBalanceError = "Balance Error";
inline constexpr const char *kBalanceSuccessful = "Balance Successful";
// The guards' own texts.
inline constexpr const char *kBadAddress = "Please Select Sector 0-15 and Block 0-3";
inline constexpr const char *kBadRow = "Please Input HEX Data for the Block (at most 32 digits)";
inline constexpr const char *kBadTrailer =
    "Block 3 was not written: it needs 32 HEX digits whose access bits (digits 13 to 18) are "
    "valid";
// The questions after the trailer question, each answered No by default: a trailer that
// locks the sector for good (the text says what is lost), and a key A of zeros.
inline constexpr const char *kPermanentCaption = "Block 3 would lock the sector for good";
inline constexpr const char *kPermanentQuestion = " Write block 3 anyway?";
inline constexpr const char *kZeroKeyACaption = "Key A would become 000000000000";
inline constexpr const char *kZeroKeyAQuestion =
    "Key A in this row (digits 1 to 12) is 000000000000, which is what a trailer that was read "
    "shows in place of the real key. Writing it changes the sector's key A to 000000000000. "
    "Write block 3 anyway?";
inline constexpr const char *kPurseOnTrailer =
    "Block 3 holds the sector's keys and cannot be a purse";

// The library's result when it was entered while another of its calls ran: not a card
// failure, so nothing is reported for it.
inline constexpr int kRfBusy = -95;
// The pause between one successful call of SearchCard and the next.
inline constexpr int kSearchPauseMs = 20;

enum class TPurseOp { Initialize, Increase, Decrease };

// An operation started while another one runs (a click delivered by the library's message
// pump) returns at once and does nothing.
void MifareSearchCard(const TRfidLink &link, TMifareWindow &window);
void MifareReadCard(const TRfidLink &link, TMifareWindow &window);
void MifareWriteCard(const TRfidLink &link, TMifareWindow &window);
void MifarePurse(const TRfidLink &link, TMifareWindow &window, TPurseOp op);
void MifareBalance(const TRfidLink &link, TMifareWindow &window);
// EXIT: the antenna off (when bound). False while another operation runs: the window stays.
bool MifareExit(const TRfidLink &link, TMifareWindow &window);

// True from the start of an operation to its end (closing the window is refused meanwhile).
bool MifareOperationRunning();
