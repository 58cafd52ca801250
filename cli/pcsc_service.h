// The smart-card service reached directly, for what the PC/SC library's six calls do not
// give: the state of every reader, its card's answer to reset, and changes as they happen.
#pragma once

#include "cli.h"

#include <PCSC/pcsclite.h>

#include <cstdint>
#include <string>
#include <vector>

struct TReaderState {
    std::string Name;
    bool Card = false;  // a card is in the reader
    bool Mute = false;  // ... but it gave no answer to reset
    bool InUse = false; // a program holds it, shared or exclusive
    bool Exclusive = false;
    std::vector<uint8_t> Atr;
};

// The names of the readers the service lists in `context`. Returns 0 (no reader is an empty
// list, not an error) or the service's error code.
long ListReaderNames(SCARDCONTEXT context, std::vector<std::string> &names);

// The readers and their states. Returns 0 (no reader is an empty list, not an error) or
// the service's error code.
long ListReaderStates(std::vector<TReaderState> &readers);

// The exit status and one-line message for an error code of the service.
int ServiceFailure(const TCliStreams &io, long code);
std::string ServiceFailureText(long code);

// The reader that `choice` names among `names`: a number is an index of the listing, anything
// else the exact name or else the one name that contains it. On failure -1, with the exit
// status and message written to io.
int ResolveReader(const TCliStreams &io, const std::vector<std::string> &names,
                  const std::string &choice, int &status);

// --reader's value, checked before anything is asked of the service.
bool ValidReaderChoice(const std::string &choice, std::string &why);

// Until SIGINT or SIGTERM: the readers and cards present, then every arrival and removal.
int WatchReaders(const TCliStreams &io, bool json);
