// The virtual card's answers, shared by the library's tests and the window's tests.
#pragma once

#include "pcsc_lab.h"

namespace brenmark_lab {

// A card with a few files and commands of its own. Its script keeps state (the bytes a
// GET RESPONSE still has to give), so each card gets a fresh one:
//   00 84 00 00 Le   GET CHALLENGE: Le bytes A0, A1, ... (Le 00 gives 256) and 90 00
//   00 A4 04 00 ..   SELECT by name: 61 10; the sixteen bytes of kSelectData wait
//   00 A4 00 00 ..   SELECT by identifier: 90 00 alone
//   00 C0 00 00 Le   GET RESPONSE: with Le below what waits, that many bytes and 61 (rest);
//                    with Le equal, the bytes and 90 00; with Le 00 or above, 6C (what
//                    waits); with nothing waiting, 69 85
//   00 B0 00 00 Le   READ BINARY of an 8-byte file: kFileData and 90 00 when Le is 08,
//                    else 6C 08
//   80 01 00 00      a one-byte answer, 6F
//   80 CA 00 00 00   256 bytes 00 .. FF and 90 00 (258 bytes)
//   80 CB 00 00 00   259 bytes and 90 00 (261 bytes, more than a short response holds)
//   anything else    6D 00
VirtualCard::Script lab_card_script();

inline const Bytes kSelectData = {0x6F, 0x0E, 0x84, 0x08, 0xF0, 0x4C, 0x41, 0x42,
                                  0x2D, 0x31, 0x00, 0x01, 0xA5, 0x02, 0x88, 0x01};
inline const Bytes kFileData = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};

// An answer to reset of the greatest length, 33 bytes: T=0 and T=1 offered, T=0 in
// specific mode, fifteen historical bytes and the check byte.
extern const Bytes kAtr33;

} // namespace brenmark_lab
