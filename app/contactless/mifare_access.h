// The access conditions a Mifare Classic sector trailer sets (C1 C2 C3 per block, in access
// bytes 6..8) and what a trailer leaves possible once it is on the card: which key may write
// the keys and the access bits again, and which data blocks are locked for good. Free of any
// window toolkit, for the window and the command line alike.
#pragma once

#include "contactless/mifare_text.h"

#include <cstdint>
#include <string>

// Who may do something once authenticated: a set of keys.
enum TMifareKeys : uint8_t { kNoKey = 0, kKeyA = 1, kKeyB = 2, kEitherKey = kKeyA | kKeyB };

// What the trailer's condition allows on the trailer itself.
struct TTrailerAccess {
    uint8_t KeyAWrite, AccessRead, AccessWrite, KeyBRead, KeyBWrite;
    bool operator==(const TTrailerAccess &) const = default;
};
// What a data block's condition allows.
struct TDataAccess {
    uint8_t Read, Write, Increment, Decrement; // decrement also covers transfer and restore
    bool operator==(const TDataAccess &) const = default;
};

// The condition of block 0..3 of the sector as C1 << 2 | C2 << 1 | C3.
int AccessCondition(const TMifareBlock &trailer, int block);
// The card's tables, as they stand (key B counted even where it cannot authenticate).
TTrailerAccess TrailerAccessOf(int condition);
TDataAccess DataAccessOf(int condition);

// Where the trailer lets key B be read, key B is data: it opens nothing on the card, so every
// right of key B in the sector is void.
bool KeyBReadable(const TMifareBlock &trailer);
// The rights that remain with the keys that can authenticate.
TTrailerAccess EffectiveTrailerAccess(const TMifareBlock &trailer);
TDataAccess EffectiveDataAccess(const TMifareBlock &trailer, int block);

// What a trailer written now leaves possible for good. Only meaningful for access bytes that
// keep their complement rule (AccessBytesConsistent).
struct TTrailerOutlook {
    bool AccessBitsFrozen = false; // no key can ever change the access bits again
    bool KeysFrozen = false;       // neither key can ever be changed again
    uint8_t Unwritable = 0;        // bit b: data block b can never be written again
    uint8_t Unreadable = 0;        // bit b: data block b can never be read again
    // Nothing written with this trailer can be undone.
    bool Permanent() const { return AccessBitsFrozen; }
};
TTrailerOutlook ReviewTrailer(const TMifareBlock &trailer);
// What a permanent trailer does to the sector, in one or two sentences.
std::string PermanentTrailerText(const TTrailerOutlook &outlook, int sector);

// A trailer whose key A is all zeros while the key that authenticates is not, or is key B: a
// trailer read back shows key A as zeros, so writing such a row back would change the
// sector's key A. Key B says nothing of key A, even when both are zeros.
bool ZeroKeyAChangesKey(const TMifareBlock &trailer, const TMifareKey &authenticationKey,
                        bool authenticatedWithKeyB = false);
