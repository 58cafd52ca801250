#include "contactless/mifare_access.h"

#include <algorithm>

namespace {

constexpr uint8_t N = kNoKey, A = kKeyA, B = kKeyB, AB = kEitherKey;

// The trailer by condition: key A write, access bits read, access bits write, key B read,
// key B write. Key A itself never reads back.
constexpr TTrailerAccess kTrailer[8] = {
    {A, A, N, A, A},  // 000
    {A, A, A, A, A},  // 001: as delivered
    {N, A, N, A, N},  // 010
    {B, AB, B, N, B}, // 011
    {B, AB, N, N, B}, // 100
    {N, AB, B, N, N}, // 101
    {N, AB, N, N, N}, // 110
    {N, AB, N, N, N}, // 111
};

// Data blocks by condition: read, write, increment, decrement.
constexpr TDataAccess kData[8] = {
    {AB, AB, AB, AB}, // 000: as delivered
    {AB, N, N, AB},   // 001: value block, decrement only
    {AB, N, N, N},    // 010: read only
    {B, B, N, N},     // 011
    {AB, B, N, N},    // 100
    {B, N, N, N},     // 101
    {AB, B, B, AB},   // 110: value block
    {N, N, N, N},     // 111: no access
};

uint8_t Usable(const TMifareBlock &trailer) {
    return KeyBReadable(trailer) ? uint8_t(kKeyA) : uint8_t(kEitherKey);
}

std::string BlockList(uint8_t blocks) {
    std::string list;
    int left = __builtin_popcount(blocks);
    for (int b = 0; b < 3; ++b) {
        if (!(blocks & (1 << b))) continue;
        --left;
        list += std::to_string(b);
        if (left > 1) list += ", ";
        if (left == 1) list += " and ";
    }
    return (__builtin_popcount(blocks) > 1 ? "Blocks " : "Block ") + list;
}

} // namespace

int AccessCondition(const TMifareBlock &t, int block) {
    const int c1 = (t[7] >> (4 + block)) & 1, c2 = (t[8] >> block) & 1,
              c3 = (t[8] >> (4 + block)) & 1;
    return c1 << 2 | c2 << 1 | c3;
}

TTrailerAccess TrailerAccessOf(int condition) {
    return kTrailer[condition & 7];
}

TDataAccess DataAccessOf(int condition) {
    return kData[condition & 7];
}

bool KeyBReadable(const TMifareBlock &trailer) {
    return TrailerAccessOf(AccessCondition(trailer, kTrailerBlock)).KeyBRead != kNoKey;
}

TTrailerAccess EffectiveTrailerAccess(const TMifareBlock &trailer) {
    const uint8_t keys = Usable(trailer);
    TTrailerAccess a = TrailerAccessOf(AccessCondition(trailer, kTrailerBlock));
    for (uint8_t *right : {&a.KeyAWrite, &a.AccessRead, &a.AccessWrite, &a.KeyBRead, &a.KeyBWrite})
        *right &= keys;
    return a;
}

TDataAccess EffectiveDataAccess(const TMifareBlock &trailer, int block) {
    const uint8_t keys = Usable(trailer);
    TDataAccess a = DataAccessOf(AccessCondition(trailer, block));
    for (uint8_t *right : {&a.Read, &a.Write, &a.Increment, &a.Decrement})
        *right &= keys;
    return a;
}

TTrailerOutlook ReviewTrailer(const TMifareBlock &trailer) {
    TTrailerOutlook o;
    const TTrailerAccess t = EffectiveTrailerAccess(trailer);
    o.AccessBitsFrozen = t.AccessWrite == kNoKey;
    o.KeysFrozen = t.KeyAWrite == kNoKey && t.KeyBWrite == kNoKey;
    // While the access bits can still change, no data block is lost for good.
    if (!o.AccessBitsFrozen) return o;
    for (int b = 0; b < kTrailerBlock; ++b) {
        const TDataAccess d = EffectiveDataAccess(trailer, b);
        if (d.Write == kNoKey) o.Unwritable |= uint8_t(1 << b);
        if (d.Read == kNoKey) o.Unreadable |= uint8_t(1 << b);
    }
    return o;
}

std::string PermanentTrailerText(const TTrailerOutlook &o, int sector) {
    std::string text = "Sector " + std::to_string(sector) +
                       " would be locked for good: no key could ever change its access bits "
                       "again.";
    if (o.KeysFrozen) text += " Neither of its keys could be changed again.";
    if (o.Unwritable) text += " " + BlockList(o.Unwritable) + " could never be written again.";
    if (o.Unreadable) text += " " + BlockList(o.Unreadable) + " could never be read again.";
    return text;
}

bool ZeroKeyAChangesKey(const TMifareBlock &trailer, const TMifareKey &authenticationKey,
                        bool authenticatedWithKeyB) {
    const bool zeroKeyA =
        std::all_of(trailer.begin(), trailer.begin() + 6, [](uint8_t b) { return b == 0; });
    const bool zeroKey = std::all_of(authenticationKey.begin(), authenticationKey.end(),
                                     [](uint8_t b) { return b == 0; });
    return zeroKeyA && (authenticatedWithKeyB || !zeroKey);
}
