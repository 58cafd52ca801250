#pragma once
// What a card's status word means, after the common table of ISO/IEC 7816-4.
#include <cstdint>
#include <string>

// A short English meaning of SW1 SW2; "Unknown status word" when neither the exact word
// nor its SW1 group is known.
std::string StatusWordMeaning(uint8_t sw1, uint8_t sw2);
