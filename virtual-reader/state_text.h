// The reader's state as text, one item a line: "config HEX", "mode N", "ic_present N",
// "ic_powered N", "antenna N", "card_present N", "uid HEX", "block N HEX" (64 of them, keys
// included). What a process leaves for the next one, and what tests read back.
#pragma once

#include "reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vr {

std::string Hex(const uint8_t *bytes, size_t size);
// Hex digits to bytes; false on anything else or an odd count.
bool FromHex(const std::string &text, std::vector<uint8_t> &bytes);

std::string StateText(const ReaderState &s);
// Lines it does not know are skipped. A card always starts unselected.
void LoadStateText(ReaderState &s, const std::string &text);

} // namespace vr
