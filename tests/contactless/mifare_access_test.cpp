// The access conditions of a sector trailer, decoded: which key may still write what once the
// trailer is on the card, and when a trailer locks its sector for good.
#include "contactless/mifare_access.h"

#include <gtest/gtest.h>

namespace {

constexpr uint8_t N = kNoKey, A = kKeyA, B = kKeyB, AB = kEitherKey;

// A trailer with these conditions (C1 << 2 | C2 << 1 | C3) for blocks 0..3, key A 0x11..,
// key B 0x22...
TMifareBlock Trailer(int c0, int c1, int c2, int c3) {
    const int c[4] = {c0, c1, c2, c3};
    uint8_t bit1 = 0, bit2 = 0, bit3 = 0;
    for (int b = 0; b < 4; ++b) {
        bit1 |= uint8_t((c[b] >> 2 & 1) << b);
        bit2 |= uint8_t((c[b] >> 1 & 1) << b);
        bit3 |= uint8_t((c[b] & 1) << b);
    }
    TMifareBlock t{};
    t.fill(0x11);
    std::fill(t.begin() + 10, t.end(), 0x22);
    t[6] = uint8_t((~bit2 & 0xF) << 4 | (~bit1 & 0xF));
    t[7] = uint8_t(bit1 << 4 | (~bit3 & 0xF));
    t[8] = uint8_t(bit3 << 4 | bit2);
    t[9] = 0x69;
    return t;
}

TEST(MifareAccess, ConditionsComeFromTheAccessBytes) {
    // As delivered: FF 07 80: data blocks 000, trailer 001.
    TMifareBlock t = *ParseRow("7B3E51A9C4D6FF078069FFFFFFFFFFFF");
    for (int b = 0; b < 3; ++b)
        EXPECT_EQ(AccessCondition(t, b), 0) << b;
    EXPECT_EQ(AccessCondition(t, 3), 1);
    EXPECT_EQ(Trailer(0, 0, 0, 1), (TMifareBlock{0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0xFF, 0x07,
                                                 0x80, 0x69, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22}));
    // Value blocks 110 and trailer 011: 08 77 8F.
    t = *ParseRow("FFFFFFFFFFFF08778F00FFFFFFFFFFFF");
    EXPECT_EQ(AccessCondition(t, 0), 6);
    EXPECT_EQ(AccessCondition(t, 2), 6);
    EXPECT_EQ(AccessCondition(t, 3), 3);
    for (int c = 0; c < 8; ++c) {
        const TMifareBlock mixed = Trailer(c, 7 - c, c ^ 5, 7 - c);
        EXPECT_TRUE(AccessBytesConsistent(mixed[6], mixed[7], mixed[8])) << c;
        EXPECT_EQ(AccessCondition(mixed, 0), c);
        EXPECT_EQ(AccessCondition(mixed, 1), 7 - c);
        EXPECT_EQ(AccessCondition(mixed, 2), c ^ 5);
        EXPECT_EQ(AccessCondition(mixed, 3), 7 - c);
    }
}

TEST(MifareAccess, TrailerConditionsWithKeyBOnlyWhereItCanAuthenticate) {
    const struct {
        int condition;
        TTrailerAccess table, effective;
        bool keyBReadable, permanent, keysFrozen;
    } rows[] = {
        {0, {A, A, N, A, A}, {A, A, N, A, A}, true, true, false},
        {1, {A, A, A, A, A}, {A, A, A, A, A}, true, false, false},
        {2, {N, A, N, A, N}, {N, A, N, A, N}, true, true, true},
        {3, {B, AB, B, N, B}, {B, AB, B, N, B}, false, false, false},
        {4, {B, AB, N, N, B}, {B, AB, N, N, B}, false, true, false},
        {5, {N, AB, B, N, N}, {N, AB, B, N, N}, false, false, true},
        {6, {N, AB, N, N, N}, {N, AB, N, N, N}, false, true, true},
        {7, {N, AB, N, N, N}, {N, AB, N, N, N}, false, true, true},
    };
    for (const auto &r : rows) {
        const TMifareBlock t = Trailer(0, 0, 0, r.condition);
        EXPECT_EQ(TrailerAccessOf(r.condition), r.table) << r.condition;
        EXPECT_EQ(EffectiveTrailerAccess(t), r.effective) << r.condition;
        EXPECT_EQ(KeyBReadable(t), r.keyBReadable) << r.condition;
        const TTrailerOutlook o = ReviewTrailer(t);
        EXPECT_EQ(o.Permanent(), r.permanent) << r.condition;
        EXPECT_EQ(o.KeysFrozen, r.keysFrozen) << r.condition;
    }
}

TEST(MifareAccess, DataConditionsLoseKeyBWhereKeyBIsReadable) {
    const struct {
        int condition;
        TDataAccess withKeyB, keyBReadable;
    } rows[] = {
        {0, {AB, AB, AB, AB}, {A, A, A, A}}, {1, {AB, N, N, AB}, {A, N, N, A}},
        {2, {AB, N, N, N}, {A, N, N, N}},    {3, {B, B, N, N}, {N, N, N, N}},
        {4, {AB, B, N, N}, {A, N, N, N}},    {5, {B, N, N, N}, {N, N, N, N}},
        {6, {AB, B, B, AB}, {A, N, N, A}},   {7, {N, N, N, N}, {N, N, N, N}},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(DataAccessOf(r.condition), r.withKeyB) << r.condition;
        EXPECT_EQ(EffectiveDataAccess(Trailer(r.condition, 0, 0, 3), 0), r.withKeyB) << r.condition;
        EXPECT_EQ(EffectiveDataAccess(Trailer(0, r.condition, 0, 1), 1), r.keyBReadable)
            << r.condition;
    }
}

TEST(MifareAccess, BlocksLockedForGoodOnlyOnceTheAccessBitsAreFrozen) {
    const struct {
        TMifareBlock trailer;
        bool permanent;
        uint8_t unwritable, unreadable;
        const char *text;
    } rows[] = {
        // Access bits still writable (011): nothing is lost for good, however locked.
        {Trailer(7, 7, 7, 3), false, 0, 0, ""},
        // Everything locked for good (111 throughout).
        {Trailer(7, 7, 7, 7), true, 7, 7,
         "Sector 4 would be locked for good: no key could ever change its access bits again. "
         "Neither of its keys could be changed again. Blocks 0, 1 and 2 could never be written "
         "again. Blocks 0, 1 and 2 could never be read again."},
        // Frozen (100) with key B usable: read only, no access, value block.
        {Trailer(2, 7, 6, 4), true, 3, 2,
         "Sector 4 would be locked for good: no key could ever change its access bits again. "
         "Blocks 0 and 1 could never be written again. Block 1 could never be read again."},
        // Frozen (000) with key B readable: a block only key B may write is lost to writing.
        {Trailer(0, 4, 3, 0), true, 6, 4,
         "Sector 4 would be locked for good: no key could ever change its access bits again. "
         "Blocks 1 and 2 could never be written again. Block 2 could never be read again."},
    };
    for (const auto &r : rows) {
        const TTrailerOutlook o = ReviewTrailer(r.trailer);
        EXPECT_EQ(o.Permanent(), r.permanent) << r.text;
        EXPECT_EQ(o.Unwritable, r.unwritable) << r.text;
        EXPECT_EQ(o.Unreadable, r.unreadable) << r.text;
        if (r.permanent) {
            EXPECT_EQ(PermanentTrailerText(o, 4), r.text);
        }
    }
}

TEST(MifareAccess, ZeroKeyAIsAChangeUnlessItIsTheKeyInUse) {
    const TMifareKey zero{}, key{0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6};
    TMifareBlock t = Trailer(0, 0, 0, 1);
    EXPECT_FALSE(ZeroKeyAChangesKey(t, key));
    std::fill_n(t.begin(), 6, 0); // as a trailer reads back
    EXPECT_TRUE(ZeroKeyAChangesKey(t, key));
    EXPECT_FALSE(ZeroKeyAChangesKey(t, zero));
    // Authenticated with key B, zeros or not, nothing is known of key A.
    EXPECT_TRUE(ZeroKeyAChangesKey(t, zero, true));
    EXPECT_TRUE(ZeroKeyAChangesKey(t, key, true));
    t[5] = 1;
    EXPECT_FALSE(ZeroKeyAChangesKey(t, key));
}

} // namespace
