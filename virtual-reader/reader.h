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

} // namespace vr
