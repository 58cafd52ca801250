#include "card_scripts.h"

#include <memory>

namespace brenmark_lab {
namespace {

Bytes with_status(Bytes data, std::uint8_t sw1, std::uint8_t sw2) {
    data.push_back(sw1);
    data.push_back(sw2);
    return data;
}

Bytes counting(std::size_t n, std::uint8_t first) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(first + i);
    return out;
}

Bytes make_atr33() {
    Bytes atr = {0x3B, 0xFF,                   // TS, T0: TA1..TD1 and 15 historical bytes
                 0x11, 0x00, 0x00, 0xF0,       // TA1 TB1 TC1, TD1: TA2..TD2, T=0
                 0x80, 0x00, 0x0A, 0xF1,       // TA2 (specific mode, T=0) TB2 TC2, TD2: T=1
                 0xFE, 0x45, 0x00, 0x71,       // TA3 (IFSC) TB3 TC3, TD3: TA4..TC4, T=1
                 0x00, 0x00, 0x00,             // TA4 TB4 TC4
                 0x80, 0x31, 0x80, 0x65, 0xB0, // historical bytes
                 0x85, 0x04, 0x01, 0x20, 0x12, 0x0F, 0xFF, 0x82, 0x90, 0x00};
    std::uint8_t check = 0;
    for (std::size_t i = 1; i < atr.size(); ++i)
        check ^= atr[i];
    atr.push_back(check);
    return atr;
}

} // namespace

const Bytes kAtr33 = make_atr33();

VirtualCard::Script lab_card_script() {
    auto waiting = std::make_shared<Bytes>();
    return [waiting](const Bytes &apdu) -> Bytes {
        if (apdu.size() < 4) return {0x67, 0x00};
        const std::uint8_t cla = apdu[0], ins = apdu[1], p1 = apdu[2];
        const int le = apdu.size() == 5 ? apdu[4] : -1;
        if (cla == 0x00 && ins == 0x84 && le >= 0)
            return with_status(counting(le == 0 ? 256 : le, 0xA0), 0x90, 0x00);
        if (cla == 0x00 && ins == 0xA4 && p1 == 0x04) {
            *waiting = kSelectData;
            return {0x61, static_cast<std::uint8_t>(waiting->size())};
        }
        if (cla == 0x00 && ins == 0xA4) return {0x90, 0x00};
        if (cla == 0x00 && ins == 0xC0 && le >= 0) {
            if (waiting->empty()) return {0x69, 0x85};
            const auto have = waiting->size();
            if (le == 0 || static_cast<std::size_t>(le) > have)
                return {0x6C, static_cast<std::uint8_t>(have)};
            Bytes part(waiting->begin(), waiting->begin() + le);
            waiting->erase(waiting->begin(), waiting->begin() + le);
            if (waiting->empty()) return with_status(part, 0x90, 0x00);
            return with_status(part, 0x61, static_cast<std::uint8_t>(waiting->size()));
        }
        if (cla == 0x00 && ins == 0xB0 && le >= 0) {
            if (le != static_cast<int>(kFileData.size()))
                return {0x6C, static_cast<std::uint8_t>(kFileData.size())};
            return with_status(kFileData, 0x90, 0x00);
        }
        if (cla == 0x80 && ins == 0x01) return {0x6F};
        if (cla == 0x80 && (ins == 0xCA || ins == 0xCB))
            return with_status(counting(ins == 0xCA ? 256 : 259, 0x00), 0x90, 0x00);
        return {0x6D, 0x00};
    };
}

} // namespace brenmark_lab
