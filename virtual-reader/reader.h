// The reader's side of the command set, apart from the HID transport: what the virtual
// reader holds and how it answers one complete message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vr {

struct MifareCard {
    uint8_t blocks[64][16];
    uint8_t uid[4];
    bool present = true;
    enum State { Idle, Ready, Active } state = Idle;
    int authSector = -1;
    int authKey = 0;     // 0 key A, 1 key B: the key of the last authentication
    bool halted = false; // only a request for all cards (0x52) wakes it
};

struct ReaderState {
    std::vector<uint8_t> config;
    std::string version;
    int mode = 0; // 0 normal, 1 test
    bool icPresent = true;
    bool icPowered = false;
    bool antenna = true;
    int cardType = 0x41;
    int rfStatus = -1;
    std::vector<int> rfCommandStatus = std::vector<int>(256, -1); // per contactless command
    bool haltOnWrongKey = false;
    bool enforceAccess = false;
    uint32_t challenge = 0x2545F491;
    MifareCard card;
};

struct Answer {
    int status = 0x30;
    std::vector<uint8_t> payload;
};

void ResetReader(ReaderState &s);
void ResetCard(MifareCard &card);
Answer Process(ReaderState &s, uint8_t command, const uint8_t *payload, size_t size);

// Runs f on the reader's state under the device's lock (for the control API).
void WithReader(void (*f)(ReaderState &, void *), void *context);

// Access conditions of the card (mifare_access.cpp), used when enforceAccess is on.
enum class CardOp { Read, Write, Increment, Decrement };
// The three access bytes of a trailer keep the complement rule.
bool AccessBytesValid(const uint8_t trailer[16]);
bool SectorBlocked(const MifareCard &card, int sector);
// Whether the key of the last authentication may do `op` on `block`.
bool AccessAllowed(const MifareCard &card, int block, CardOp op);
// A trailer as a read shows it: the parts that may not be read are zeros.
void MaskTrailerRead(const MifareCard &card, int block, uint8_t out[16]);
// Whether writing `data` to trailer `block` changes only parts the key may write.
bool TrailerWriteAllowed(const MifareCard &card, int block, const uint8_t data[16]);

} // namespace vr
