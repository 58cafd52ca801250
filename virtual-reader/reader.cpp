// How the virtual reader answers each command: configuration, version, modes, the IC card
// slot and the Mifare One card in the field.
#include "reader.h"

#include <cstring>

namespace vr {
namespace {

// The factory configuration: the block that a Save of the default settings sends.
// clang-format off
const uint8_t kFactoryBlock[] = {
    // options record: tag, length, 18 option bytes, 12 zero bytes
    0x01, 0x1E, 0x25, 0x3F, 0x3B, 0x3F, 0x3B, 0x3F, 0x39, 0x35, 0x36, 0x37, 0x00, 0x1F, 0x00, 0x1F,
    0x21, 0x3F, 0x2A, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    // language record: tag, length, language 0, then the USA table for 0x20..0x7E
    0x02, 0xBF, 0x00,
    0x00, 0x2C, 0x02, 0x1E, 0x02, 0x34, 0x02, 0x20, 0x02, 0x21, 0x02, 0x22, 0x02, 0x24, 0x00, 0x34,
    0x02, 0x26, 0x02, 0x27, 0x02, 0x25, 0x02, 0x2E, 0x00, 0x36, 0x00, 0x2D, 0x00, 0x37, 0x00, 0x38,
    0x00, 0x27, 0x00, 0x1E, 0x00, 0x1F, 0x00, 0x20, 0x00, 0x21, 0x00, 0x22, 0x00, 0x23, 0x00, 0x24,
    0x00, 0x25, 0x00, 0x26, 0x02, 0x33, 0x00, 0x33, 0x02, 0x36, 0x00, 0x2E, 0x02, 0x37, 0x02, 0x38,
    0x02, 0x1F, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09, 0x00, 0x0A,
    0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0D, 0x00, 0x0E, 0x00, 0x0F, 0x00, 0x10, 0x00, 0x11, 0x00, 0x12,
    0x00, 0x13, 0x00, 0x14, 0x00, 0x15, 0x00, 0x16, 0x00, 0x17, 0x00, 0x18, 0x00, 0x19, 0x00, 0x1A,
    0x00, 0x1B, 0x00, 0x1C, 0x00, 0x1D, 0x00, 0x2F, 0x00, 0x31, 0x00, 0x30, 0x02, 0x23, 0x02, 0x2D,
    0x00, 0x35, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09, 0x00, 0x0A,
    0x00, 0x0B, 0x00, 0x0C, 0x00, 0x0D, 0x00, 0x0E, 0x00, 0x0F, 0x00, 0x10, 0x00, 0x11, 0x00, 0x12,
    0x00, 0x13, 0x00, 0x14, 0x00, 0x15, 0x00, 0x16, 0x00, 0x17, 0x00, 0x18, 0x00, 0x19, 0x00, 0x1A,
    0x00, 0x1B, 0x00, 0x1C, 0x00, 0x1D, 0x02, 0x2F, 0x02, 0x31, 0x02, 0x30, 0x02, 0x35,
};
// clang-format on
static_assert(sizeof kFactoryBlock == 225);

const uint8_t kDefaultKey[6] = {0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6};
const uint8_t kAccessBits[4] = {0xFF, 0x07, 0x80, 0x69};
const uint8_t kDefaultUid[4] = {0xA1, 0xB2, 0xC3, 0xD4};
const uint8_t kAtr[] = {0x3B, 0x02, 0x14, 0x50};

constexpr int kStatusNoIcCard = 0x31, kStatusUnknown = 0x45;
enum RfStatus {
    RfOk = 0,
    RfNoCard = 1,
    RfAuthFailed = 2,
    RfNotAuthenticated = 3,
    RfNotValue = 4,
    RfBadFrame = 5,
    RfRefused = 6
};

std::vector<uint8_t> Apdu(ReaderState &s, const uint8_t *a, size_t n) {
    if (n < 4) return {0x67, 0x00};
    if (a[0] != 0x00) return {0x6E, 0x00};
    size_t le = n >= 5 ? a[4] : 8;
    switch (a[1]) {
    case 0xA4:
        return {0x90, 0x00};
    case 0x84: {
        std::vector<uint8_t> r;
        for (size_t i = 0; i < (le ? le : 8); ++i) {
            s.challenge ^= s.challenge << 13;
            s.challenge ^= s.challenge >> 17;
            s.challenge ^= s.challenge << 5;
            r.push_back(uint8_t(s.challenge));
        }
        r.push_back(0x90);
        r.push_back(0x00);
        return r;
    }
    case 0xB0: {
        std::vector<uint8_t> r;
        for (size_t i = 0; i < le; ++i)
            r.push_back(uint8_t(i));
        r.push_back(0x90);
        r.push_back(0x00);
        return r;
    }
    default:
        return {0x6D, 0x00};
    }
}

bool IsTrailer(int block) {
    return block % 4 == 3;
}

bool ValueOf(const uint8_t *b, int32_t &value) {
    for (int i = 0; i < 4; ++i)
        if (b[i] != b[8 + i] || b[i] != uint8_t(~b[4 + i])) return false;
    if (b[12] != b[14] || b[13] != b[15] || b[12] != uint8_t(~b[13])) return false;
    value =
        int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    return true;
}

void StoreValue(uint8_t *b, int32_t value, uint8_t address) {
    uint32_t v = uint32_t(value);
    for (int i = 0; i < 4; ++i) {
        uint8_t byte = uint8_t(v >> (8 * i));
        b[i] = byte;
        b[4 + i] = uint8_t(~byte);
        b[8 + i] = byte;
    }
    b[12] = address;
    b[13] = uint8_t(~address);
    b[14] = address;
    b[15] = uint8_t(~address);
}

// One contactless command on the card; returns the status and fills `out`.
int Mifare(ReaderState &s, uint8_t cmd, const std::vector<uint8_t> &d, std::vector<uint8_t> &out) {
    MifareCard &c = s.card;
    switch (cmd) {
    case 0x05: // antenna
        if (d.size() != 1) return RfBadFrame;
        s.antenna = d[0] != 0;
        if (!s.antenna) {
            c.state = MifareCard::Idle;
            c.authSector = -1;
            c.halted = false; // the card loses power
        }
        return RfOk;
    case 0x3A: // card type
        if (d.size() != 1) return RfBadFrame;
        s.cardType = d[0];
        return RfOk;
    default:
        break;
    }
    if (!s.antenna || !c.present) return RfNoCard;

    auto gate = [&](int block) {
        if (c.state != MifareCard::Active) return int(RfNoCard);
        if (block < 0 || block >= 64) return int(RfBadFrame);
        if (c.authSector != block / 4) return int(RfNotAuthenticated);
        return int(RfOk);
    };

    switch (cmd) {
    case 0x46: // request
    case 0x53: // reset: request, anticollision and select in one
        if (d.size() != 1 || (d[0] != 0x52 && d[0] != 0x26)) return RfBadFrame;
        if (c.halted && d[0] == 0x26) return RfNoCard;
        c.halted = false;
        c.authSector = -1;
        if (cmd == 0x46) {
            c.state = MifareCard::Ready;
            out = {0x04, 0x00};
        } else {
            c.state = MifareCard::Active;
            out.assign(c.uid, c.uid + 4);
        }
        return RfOk;
    case 0x47: { // anticollision
        if (c.state == MifareCard::Idle) return RfNoCard;
        out.assign(c.uid, c.uid + 4);
        out.push_back(uint8_t(c.uid[0] ^ c.uid[1] ^ c.uid[2] ^ c.uid[3]));
        return RfOk;
    }
    case 0x48: // select
        if (c.state == MifareCard::Idle) return RfNoCard;
        if (d.size() < 4 || std::memcmp(d.data(), c.uid, 4) != 0) return RfNoCard;
        c.state = MifareCard::Active;
        c.authSector = -1;
        out = {0x08};
        return RfOk;
    case 0x4A: { // authentication
        if (c.state != MifareCard::Active) return RfNoCard;
        if (d.size() != 8 || (d[0] != 0x60 && d[0] != 0x61) || d[1] >= 64) return RfBadFrame;
        const uint8_t *trailer = c.blocks[(d[1] / 4) * 4 + 3];
        const uint8_t *key = d[0] == 0x60 ? trailer : trailer + 10;
        if (std::memcmp(key, d.data() + 2, 6) != 0 ||
            (s.enforceAccess && SectorBlocked(c, d[1] / 4))) {
            c.authSector = -1;
            if (s.haltOnWrongKey) {
                c.state = MifareCard::Idle;
                c.halted = true;
            }
            return RfAuthFailed;
        }
        c.authSector = d[1] / 4;
        c.authKey = d[0] == 0x61;
        return RfOk;
    }
    case 0x4B: { // read
        if (d.size() != 1) return RfBadFrame;
        if (int g = gate(d[0])) return g;
        if (s.enforceAccess && !AccessAllowed(c, d[0], CardOp::Read)) return RfRefused;
        out.assign(c.blocks[d[0]], c.blocks[d[0]] + 16);
        if (IsTrailer(d[0])) std::memset(out.data(), 0, 6); // key A never reads back
        if (s.enforceAccess && IsTrailer(d[0])) MaskTrailerRead(c, d[0], out.data());
        return RfOk;
    }
    case 0x4C: { // write: the block's 16 bytes; more may follow and are ignored
        if (d.size() < 17) return RfBadFrame;
        if (int g = gate(d[0])) return g;
        if (d[0] == 0) return RfRefused;
        if (s.enforceAccess && (IsTrailer(d[0]) ? !TrailerWriteAllowed(c, d[0], d.data() + 1)
                                                : !AccessAllowed(c, d[0], CardOp::Write)))
            return RfRefused;
        std::memcpy(c.blocks[d[0]], d.data() + 1, 16);
        return RfOk;
    }
    case 0x4D:   // init value
    case 0x4F:   // decrement
    case 0x50: { // increment
        if (d.size() != 5) return RfBadFrame;
        if (int g = gate(d[0])) return g;
        if (d[0] == 0 || IsTrailer(d[0])) return RfRefused;
        if (s.enforceAccess && !AccessAllowed(c, d[0],
                                              cmd == 0x4D   ? CardOp::Write
                                              : cmd == 0x50 ? CardOp::Increment
                                                            : CardOp::Decrement))
            return RfRefused;
        int32_t amount = int32_t(uint32_t(d[1]) | uint32_t(d[2]) << 8 | uint32_t(d[3]) << 16 |
                                 uint32_t(d[4]) << 24);
        int32_t value = 0;
        if (cmd != 0x4D && !ValueOf(c.blocks[d[0]], value)) return RfNotValue;
        if (cmd == 0x4D) value = amount;
        if (cmd == 0x4F) value = int32_t(uint32_t(value) - uint32_t(amount));
        if (cmd == 0x50) value = int32_t(uint32_t(value) + uint32_t(amount));
        StoreValue(c.blocks[d[0]], value, d[0]);
        return RfOk;
    }
    case 0x4E: { // read value
        if (d.size() != 1) return RfBadFrame;
        if (int g = gate(d[0])) return g;
        if (s.enforceAccess && !AccessAllowed(c, d[0], CardOp::Read)) return RfRefused;
        int32_t value;
        if (IsTrailer(d[0]) || !ValueOf(c.blocks[d[0]], value)) return RfNotValue;
        uint32_t v = uint32_t(value);
        out = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        return RfOk;
    }
    case 0x54: // card operating system command
        if (c.state != MifareCard::Active) return RfNoCard;
        out = Apdu(s, d.data(), d.size());
        return RfOk;
    default:
        return RfBadFrame;
    }
}

void PutEscaped(std::vector<uint8_t> &wire, uint8_t b) {
    if (b == 0x02 || b == 0x03 || b == 0x10) wire.push_back(0x10);
    wire.push_back(b);
}

Answer Contactless(ReaderState &s, const uint8_t *p, size_t n) {
    std::vector<uint8_t> frame;
    bool ended = false;
    if (n > 0 && p[0] == 0x02) {
        for (size_t i = 1; i < n; ++i) {
            if (p[i] == 0x10 && i + 1 < n) {
                frame.push_back(p[++i]);
            } else if (p[i] == 0x03) {
                ended = true;
                break;
            } else {
                frame.push_back(p[i]);
            }
        }
    }
    uint8_t cmd = frame.size() > 3 ? frame[3] : 0;
    int status = RfBadFrame;
    std::vector<uint8_t> data, out;
    if (ended && frame.size() >= 5) {
        data.assign(frame.begin() + 4, frame.end() - 1);
        uint8_t sum = uint8_t(frame[2] + cmd);
        for (uint8_t b : data)
            sum = uint8_t(sum + b);
        if (frame[2] == data.size() + 3 && sum == frame.back()) {
            const int forced = s.rfStatus >= 0 ? s.rfStatus : s.rfCommandStatus[cmd];
            status = forced >= 0 ? forced : Mifare(s, cmd, data, out);
        }
    }
    if (status != RfOk) out.clear();

    uint8_t length = uint8_t(out.size() + 4);
    uint8_t sum = uint8_t(length + cmd + status);
    for (uint8_t b : out)
        sum = uint8_t(sum + b);
    Answer a;
    a.payload.push_back(0x02);
    for (uint8_t b : {uint8_t(0), uint8_t(0), length, cmd, uint8_t(status)})
        PutEscaped(a.payload, b);
    for (uint8_t b : out)
        PutEscaped(a.payload, b);
    PutEscaped(a.payload, sum);
    a.payload.push_back(0x03);
    return a;
}

} // namespace

void ResetCard(MifareCard &c) {
    std::memset(c.blocks, 0, sizeof c.blocks);
    std::memcpy(c.uid, kDefaultUid, 4);
    const uint8_t maker[] = {0x08, 0x04, 0x00, 0x4D, 0x31, 0x56, 0x52, 0x00, 0x00, 0x00, 0x01};
    std::memcpy(c.blocks[0], c.uid, 4);
    c.blocks[0][4] = uint8_t(c.uid[0] ^ c.uid[1] ^ c.uid[2] ^ c.uid[3]);
    std::memcpy(c.blocks[0] + 5, maker, sizeof maker);
    for (int sector = 0; sector < 16; ++sector) {
        uint8_t *t = c.blocks[sector * 4 + 3];
        std::memcpy(t, kDefaultKey, 6);
        std::memcpy(t + 6, kAccessBits, 4);
        std::memcpy(t + 10, kDefaultKey, 6);
    }
    c.present = true;
    c.state = MifareCard::Idle;
    c.authSector = -1;
}

void ResetReader(ReaderState &s) {
    s = ReaderState{};
    s.config.assign(kFactoryBlock, kFactoryBlock + sizeof kFactoryBlock);
    s.version = "KeLdO KM5530 MSR V1.00";
    ResetCard(s.card);
}

Answer Process(ReaderState &s, uint8_t command, const uint8_t *p, size_t n) {
    Answer a;
    switch (command) {
    case 0xA9: // read configuration
        a.payload = s.config;
        break;
    case 0xAA: // write configuration: 0x7E, then the block
        if (n >= 1) s.config.assign(p + 1, p + n);
        break;
    case 0xAD: // version
        a.payload.assign(s.version.begin(), s.version.end());
        a.payload.push_back(0);
        break;
    case 0xAE: // normal / test mode
        if (n >= 1 && p[0] <= 1)
            s.mode = p[0];
        else
            a.status = kStatusUnknown;
        break;
    case 0xA6: // IC power up
        if (!s.icPresent) {
            a.status = kStatusNoIcCard;
            break;
        }
        s.icPowered = true;
        a.payload.assign(kAtr, kAtr + sizeof kAtr);
        break;
    case 0xA5: // IC power down
        s.icPowered = false;
        break;
    case 0xA7: // IC APDU
        if (!s.icPresent || !s.icPowered) {
            a.status = kStatusNoIcCard;
            break;
        }
        a.payload = Apdu(s, p, n);
        break;
    case 0xA8: // contactless frame
        return Contactless(s, p, n);
    default:
        a.status = kStatusUnknown;
        break;
    }
    return a;
}

} // namespace vr
