// The Mifare One card's access conditions (C1 C2 C3 per block, from the sector trailer).
#include "reader.h"

#include <cstring>

namespace vr {
namespace {

// Who may: nobody, key A, key B, either.
enum Who : uint8_t { N = 0, A = 1, B = 2, AB = 3 };

// Data blocks by condition (C1 << 2 | C2 << 1 | C3): read, write, increment, decrement.
const uint8_t kData[8][4] = {
    {AB, AB, AB, AB}, // 000: transport
    {AB, N, N, AB},   // 001: value block, decrement only
    {AB, N, N, N},    // 010: read only
    {B, B, N, N},     // 011
    {AB, B, N, N},    // 100
    {B, N, N, N},     // 101
    {AB, B, B, AB},   // 110: value block
    {N, N, N, N},     // 111: locked
};

// Trailers by condition: key A write, access bytes read, access bytes write, key B read,
// key B write.
enum TrailerPart { KeyAWrite, AccessRead, AccessWrite, KeyBRead, KeyBWrite };
const uint8_t kTrailer[8][5] = {
    {A, A, N, A, A},  // 000
    {A, A, A, A, A},  // 001: transport
    {N, A, N, A, N},  // 010
    {B, AB, B, N, B}, // 011
    {B, AB, N, N, B}, // 100
    {N, AB, B, N, N}, // 101
    {N, AB, N, N, N}, // 110
    {N, AB, N, N, N}, // 111
};

const uint8_t *TrailerOf(const MifareCard &card, int block) {
    return card.blocks[(block / 4) * 4 + 3];
}

// The condition of block `block` (0..63) as C1 << 2 | C2 << 1 | C3.
int Condition(const MifareCard &card, int block) {
    const uint8_t *t = TrailerOf(card, block);
    const int b = block % 4;
    const int c1 = (t[7] >> (4 + b)) & 1, c2 = (t[8] >> b) & 1, c3 = (t[8] >> (4 + b)) & 1;
    return c1 << 2 | c2 << 1 | c3;
}

bool Permits(uint8_t who, const MifareCard &card) {
    return (who & (card.authKey ? B : A)) != 0;
}

// A key B that the trailer lets be read is data, not a key: it opens nothing.
bool KeyBIsData(const MifareCard &card, int block) {
    return kTrailer[Condition(card, (block / 4) * 4 + 3)][KeyBRead] != N;
}

} // namespace

bool AccessBytesValid(const uint8_t t[16]) {
    const uint8_t b6 = t[6], b7 = t[7], b8 = t[8];
    return (b6 & 0x0F) == (~b7 >> 4 & 0x0F) && (b6 >> 4) == (~b8 & 0x0F) &&
           (b7 & 0x0F) == (~b8 >> 4 & 0x0F);
}

bool SectorBlocked(const MifareCard &card, int sector) {
    return !AccessBytesValid(card.blocks[sector * 4 + 3]);
}

bool AccessAllowed(const MifareCard &card, int block, CardOp op) {
    if (card.authKey && KeyBIsData(card, block)) return false;
    const int c = Condition(card, block);
    if (block % 4 == 3) {
        // A trailer is read whole (what may not be seen reads as zeros); writes go through
        // TrailerWriteAllowed; it holds no value.
        return op == CardOp::Read && Permits(kTrailer[c][AccessRead], card);
    }
    return Permits(kData[c][int(op)], card);
}

void MaskTrailerRead(const MifareCard &card, int block, uint8_t out[16]) {
    const int c = Condition(card, block);
    std::memset(out, 0, 6);
    if (!Permits(kTrailer[c][AccessRead], card)) std::memset(out + 6, 0, 4);
    if (!Permits(kTrailer[c][KeyBRead], card)) std::memset(out + 10, 0, 6);
}

bool TrailerWriteAllowed(const MifareCard &card, int block, const uint8_t data[16]) {
    if (card.authKey && KeyBIsData(card, block)) return false;
    const uint8_t *old = card.blocks[block];
    const uint8_t *rule = kTrailer[Condition(card, block)];
    const struct {
        int from, size;
        TrailerPart part;
    } parts[] = {{0, 6, KeyAWrite}, {6, 4, AccessWrite}, {10, 6, KeyBWrite}};
    for (const auto &p : parts)
        if (std::memcmp(old + p.from, data + p.from, size_t(p.size)) != 0 &&
            !Permits(rule[p.part], card))
            return false;
    return true;
}

} // namespace vr
