// The keyboard-language tables the reader uses to type ASCII sequences: for each character
// 0x20..0x7F a USB HID modifier byte and a keyboard usage ID. Constant data.
#pragma once

#include <cstdint>

constexpr int kLanguageCount = 7;
constexpr int kLanguageTableSize = 192;

extern const char kLanguageNames[kLanguageCount][32];
extern const uint8_t kLanguageTables[kLanguageCount][kLanguageTableSize];
