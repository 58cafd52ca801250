// The configuration block that travels to the reader after 0xAA 0x7E (Save) and comes back
// as the reply to 0xA9 0x7E (Load): a run of records of tag, length and bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

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
// frameLength to 2 + block length. The store is read only, so the same record always gives
// the same bytes. languageIndex 0..6 sends that table; any other value (kUnknownLanguage)
// sends customLanguage[0..190] as the language record.
// Layers 0 and 2 are never sent as layer records; a Code layer sends its entries 0..19, an
// ASCII layer the bytes of its typed text (below). Returns 0, or -1 when a layer holds more
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

// An ASCII layer holds its text as the user types it, one character per entry: "\n", "\e",
// "\t" and "\\" (letters in either case) stand for Enter, Esc, Tab and a backslash. A
// backslash before anything else is sent as it is and ends the escapes of the layer; the
// rest goes as typed. The reader's limit is on the bytes sent, so a text of 20 bytes can take
// up to 40 entries.

// The bytes the typed text of an ASCII layer sends: every non-empty entry in order (its
// leading non-zero bytes), the escapes converted. May be more than the reader takes.
std::vector<uint8_t> AsciiLayerBytes(const uint8_t (&layer)[1024]);
// The same for a typed text (single-byte characters).
std::vector<uint8_t> TypedTextBytes(std::string_view text);

// Replaces the layer's entries with the typed text that sends exactly these bytes: a
// backslash, Enter, Esc and Tab written as their escapes, everything else as it is (zero
// bytes, which no entry can hold, left out). Cut at a whole character when it would pass the
// layer's 256 entries, which only a text far over the reader's limit does.
void PutTypedText(const uint8_t *bytes, int n, uint8_t (&layer)[1024]);

// Load: the decoder leaves the reader's bytes of an ASCII layer one per entry; each ASCII
// layer 3..15 becomes the typed text that sends them.
void TypeLoadedLayers(uint8_t (&store)[16][1024], const int32_t (&modes)[16]);

// Open File: each ASCII layer 3..15 is written again as the one typed text of the bytes it
// sends, so that it shows unambiguously (files of earlier versions can hold control bytes as
// they are, upper-case escapes, or a backslash that ends the escapes). What it sends stays
// the same; a layer over the reader's limit stays as it is, for Save to refuse.
void NormaliseTypedLayers(uint8_t (&store)[16][1024], const int32_t (&modes)[16]);
