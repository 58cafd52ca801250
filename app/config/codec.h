// The configuration block that travels to the reader after 0xAA 0x7E (Save) and comes back
// as the reply to 0xA9 0x7E (Load): a run of records of tag, length and bytes.
#pragma once

#include <cstdint>

constexpr int kUnknownLanguage = -1; // the "UNKNOW" state: CustomLanguage is sent

constexpr uint8_t kSaveCommand[2] = {0xAA, 0x7E};
constexpr uint8_t kLoadCommand[2] = {0xA9, 0x7E};

constexpr uint8_t kOptionsTag = 0x01, kOptionsLength = 30;
constexpr uint8_t kLanguageTag = 0x02, kLanguageLength = 191;
constexpr uint8_t kAsciiTagBase = 0x10;
constexpr int kLanguageTableBytes = 190; // characters 0x20..0x7E, two bytes each
constexpr int kFixedBlockBytes = 2 + kOptionsLength + 2 + kLanguageLength; // 225

constexpr int kEncodeOk = 0, kEncodeTooLong = -1;
constexpr int kDecodeOk = 1, kDecodeBlank = 10, kDecodeMalformed = -2;
constexpr int kDecodeWorkArea = 800; // longer replies are rejected as malformed

// Writes the block from frame[2] on (frame[0..1] = 0xAA 0x7E are the caller's) and sets
// frameLength to 2 + block length. The store is read only: escapes are converted in a copy,
// so the same record always gives the same bytes. languageIndex 0..6 sends that table; any
// other value (kUnknownLanguage) sends customLanguage[0..190] as the language record.
// Layers 0 and 2 are never sent as layer records. Returns 0, or -1 when a layer holds more
// than 20 bytes (frameLength is then 0).
int EncodeSaveBlock(const uint8_t (&store)[16][1024], const int32_t (&modes)[16], int languageIndex,
                    const uint8_t (&customLanguage)[256], uint8_t (&frame)[1024], int &frameLength);

// Decodes a load reply of n bytes into store and modes (both cleared by the caller).
// Returns 1 ok, 10 blank reader (nothing filled), -2 malformed (including n < 0 or n > 800).
// Layers 1 and 2 are read one byte per entry; other Code layers group E0/E1/F0 codes.
int DecodeLoadReply(const uint8_t *reply, int n, uint8_t (&store)[16][1024], int32_t (&modes)[16]);

// After a load: option byte k (byte 0 of entry k) moves to its layer-1 offset; the entry
// bytes it came from that are not option offsets (44 ... 68) become zero.
void RepackLayer1(uint8_t (&layer1)[1024]);

// Keeps a loaded language the program does not list: the index and the 190 table bytes (byte
// 0 of entries 0..190 of layer 2) packed one byte each into customLanguage[0..190], the rest
// zero. The encoder sends exactly those 191 bytes in the "UNKNOW" state.
void PackCustomLanguage(const uint8_t (&layer2)[1024], uint8_t (&customLanguage)[256]);

// True when customLanguage holds a language the reader reported (a kept language starts with
// an index the list lacks); false when none was kept, as before any such Load.
bool CustomLanguageHeld(const uint8_t (&customLanguage)[256]);
