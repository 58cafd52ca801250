// Configurations to write, show or compare: a settings file as the window's Open File opens
// it, or a reader as its Load reads it.
#pragma once

#include "cli.h"
#include "link/transaction.h"
#include "msr_session.h"

#include <string>

// How a file shorter than a settings file is taken: what it lacks reads as zero (as the
// window's Open File takes it), the same with a warning, or refused.
enum class TShortFile { Accept, Warn, Refuse };

// Opens a settings file into the session's record and controls as Open File does, then copies
// the controls back into the record as Save does, so that the record is what a restore sends.
// A file carries no language table: nothing of its layer 2 is kept as one. kExitOk, or the
// exit status with its error written.
int OpenSettingsFile(const TCliStreams &io, const std::string &file, TShortFile shortFile,
                     TMsrSession &m);

// The frame Save sends for a record (command bytes included); false when a key sequence holds
// more than the reader takes.
bool EncodeRecord(const TMsrSettings &s, int language, uint8_t (&frame)[kFrameSize], int &length);
// The error of a file whose record cannot be encoded.
std::string TooLongText(const std::string &file);

// Reads the configuration of the reader (the chosen one, or the first) as Load does. kExitOk,
// or the exit status with its error written.
int LoadReader(const TCliStreams &io, TMsrSession &m);

// Chooses the reader the library opens for as long as it lives (`name` empty: keeps the
// choice as it is), then puts the earlier choice back.
class TDeviceChoice {
  public:
    explicit TDeviceChoice(const std::string &name);
    ~TDeviceChoice();
    TDeviceChoice(const TDeviceChoice &) = delete;
    TDeviceChoice &operator=(const TDeviceChoice &) = delete;

  private:
    bool changed_ = false, had_ = false;
    std::string earlier_;
};
