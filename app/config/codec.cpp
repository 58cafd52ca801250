#include "config/codec.h"

#include <cstring>

#include "config/msr_settings.h"
#include "keycodes/languages.h"

namespace {

using Entry = uint8_t[kEntryBytes];

// Bytes an entry contributes: its leading non-zero bytes, at most three (a code never uses
// the fourth byte).
int EntryCodeLength(const Entry &e) {
    int len = 0;
    while (len < 3 && e[len] != 0)
        ++len;
    return len;
}

uint8_t EscapeValue(uint8_t c, bool &known) {
    known = true;
    switch (c) {
    case 'n':
    case 'N':
        return 0x0D;
    case 'e':
    case 'E':
        return 0x1B;
    case 't':
    case 'T':
        return 0x09;
    case '\\':
        return 0x5C;
    default:
        known = false;
        return 0;
    }
}

// The bytes a typed text sends, entry by entry: entryAt(i) is entry i of count (4 bytes).
template <typename EntryAt> std::vector<uint8_t> TypedBytes(int count, EntryAt entryAt) {
    std::vector<uint8_t> bytes;
    bool escapes = true;
    for (int i = 0; i < count; ++i) {
        const uint8_t *e = entryAt(i);
        if (escapes && e[0] == '\\' && i + 1 < count) {
            bool known = false;
            const uint8_t value = EscapeValue(entryAt(i + 1)[0], known);
            if (known) {
                bytes.push_back(value);
                ++i;
                continue;
            }
            escapes = false;
        }
        for (int k = 0; k < 3 && e[k] != 0; ++k)
            bytes.push_back(e[k]);
    }
    return bytes;
}

// Appends the record of one sequence layer. False when it holds more than 20 bytes.
bool AppendLayerRecord(int layer, const uint8_t (&bytes)[kLayerBytes], int32_t mode,
                       uint8_t (&frame)[1024], int &pos) {
    const bool ascii = mode == kModeAscii;
    std::vector<uint8_t> data;
    if (ascii) {
        data = AsciiLayerBytes(bytes);
    } else {
        for (int i = 0; i < kSequenceEntries; ++i) {
            const Entry &e = *reinterpret_cast<const Entry *>(bytes + i * kEntryBytes);
            data.insert(data.end(), e, e + EntryCodeLength(e));
        }
    }
    const int total = static_cast<int>(data.size());
    if (total > kSequenceMaxBytes) return false;
    if (total == 0) return true;
    frame[pos++] = static_cast<uint8_t>(ascii ? layer + kAsciiTagBase : layer);
    frame[pos++] = static_cast<uint8_t>(total);
    std::memcpy(frame + pos, data.data(), data.size());
    pos += total;
    return true;
}

// The letter of the escape that stands for a byte, 0 for a byte typed as itself.
char EscapeLetter(uint8_t b) {
    switch (b) {
    case 0x0D:
        return 'n';
    case 0x1B:
        return 'e';
    case 0x09:
        return 't';
    case '\\':
        return '\\';
    default:
        return 0;
    }
}

} // namespace

int EncodeSaveBlock(const uint8_t (&store)[16][1024], const int32_t (&modes)[16], int languageIndex,
                    const uint8_t (&customLanguage)[256], uint8_t (&frame)[1024],
                    int &frameLength) {
    frameLength = 0;
    int pos = 2;
    frame[pos++] = kOptionsTag;
    frame[pos++] = kOptionsLength;
    for (int k = 0; k < layer1::kOptionCount; ++k)
        frame[pos++] = store[kOptionsLayer][layer1::kOptionOffsets[k]];
    std::memset(frame + pos, 0, kOptionsLength - layer1::kOptionCount);
    pos += kOptionsLength - layer1::kOptionCount;

    frame[pos++] = kLanguageTag;
    frame[pos++] = kLanguageLength;
    if (languageIndex >= 0 && languageIndex < kLanguageCount) {
        frame[pos++] = static_cast<uint8_t>(languageIndex);
        std::memcpy(frame + pos, kLanguageTables[languageIndex], kLanguageTableBytes);
    } else {
        // A language the program does not list goes back as the reader reported it.
        frame[pos++] = customLanguage[0];
        std::memcpy(frame + pos, customLanguage + 1, kLanguageTableBytes);
    }
    pos += kLanguageTableBytes;

    // Layer 2 is left out: the language record above already carries the language, and after
    // Save File layer 2 holds the index as a 32-bit value that would make a second, truncated
    // language record. 13 layers of at most 22 bytes keep the frame far below 1024 bytes.
    for (int layer = kFirstSequenceLayer; layer < kLayerCount; ++layer) {
        if (!AppendLayerRecord(layer, store[layer], modes[layer], frame, pos))
            return kEncodeTooLong;
    }
    frameLength = pos;
    return kEncodeOk;
}

int DecodeLoadReply(const uint8_t *reply, int n, uint8_t (&store)[16][1024], int32_t (&modes)[16]) {
    if (n < 0 || n > kDecodeWorkArea || (n > 0 && reply == nullptr)) return kDecodeMalformed;
    // Bytes past the reply read as zero, as in a cleared work area.
    uint8_t work[kDecodeWorkArea + 3] = {};
    if (n > 0) std::memcpy(work, reply, n);

    if (work[1] == 0xFF) return kDecodeBlank;

    if (work[0] == 0x20 || work[0] == 0x21) {
        const uint8_t second = work[0] == 0x20 ? work[2] : 0x20;
        for (int layer = 0; layer < kLayerCount; ++layer) {
            store[layer][0] = 0xFF;
            store[layer][1] = second;
            modes[layer] = kModeLayerMarker;
        }
        return kDecodeOk;
    }

    int pos = 0;
    while (pos < n) {
        const int tag = work[pos];
        const int len = work[pos + 1];
        if (len == 0) return kDecodeMalformed;
        const int begin = pos + 2, end = begin + len;
        // A record running past the reply can never add up to n.
        if (end > n) return kDecodeMalformed;

        if (tag >= kAsciiTagBase) {
            int layer = tag - kAsciiTagBase;
            if (layer > 15) layer = 15;
            modes[layer] = kModeAscii;
            for (int k = 0; k < len; ++k)
                store[layer][k * kEntryBytes] = work[begin + k];
        } else {
            const int layer = tag;
            modes[layer] = kModeCode;
            // Options and the language block are bytes, not key codes: grouping would let an
            // option of value E0/E1/F0 shift the options after it.
            const bool bytewise = layer == kOptionsLayer || layer == kLanguageLayer;
            int entry = 0;
            for (int p = begin; p < end; ++entry) {
                uint8_t *e = store[layer] + entry * kEntryBytes;
                int codeLen = 1;
                if (!bytewise) {
                    const uint8_t b = work[p];
                    if (b == 0xE0)
                        codeLen = (p + 1 < end && work[p + 1] == 0xF0) ? 3 : 2;
                    else if (b == 0xF0 || b == 0xE1)
                        codeLen = 2;
                    // A code cut off by the end of its record keeps only its own bytes.
                    if (p + codeLen > end) codeLen = end - p;
                }
                std::memcpy(e, work + p, codeLen);
                p += codeLen;
            }
        }
        pos = end;
    }
    return kDecodeOk;
}

void RepackLayer1(uint8_t (&layer1)[1024]) {
    // Option k lands at or below byte 4k, below every source still to be read: in place is safe.
    for (int k = 0; k < layer1::kOptionCount; ++k)
        layer1[layer1::kOptionOffsets[k]] = layer1[k * kEntryBytes];
    for (int offset = 44; offset <= 68; offset += kEntryBytes)
        layer1[offset] = 0;
}

void PackCustomLanguage(const uint8_t (&layer2)[1024], uint8_t (&customLanguage)[256]) {
    std::memset(customLanguage, 0, sizeof customLanguage);
    for (int k = 0; k < kLanguageLength; ++k)
        customLanguage[k] = layer2[k * kEntryBytes];
}

bool CustomLanguageHeld(const uint8_t (&customLanguage)[256]) {
    return customLanguage[0] >= kLanguageCount;
}

std::vector<uint8_t> AsciiLayerBytes(const uint8_t (&layer)[1024]) {
    return TypedBytes(kEntriesPerLayer, [&layer](int i) { return layer + i * kEntryBytes; });
}

std::vector<uint8_t> TypedTextBytes(std::string_view text) {
    std::vector<uint8_t> entries(text.size() * kEntryBytes, 0);
    for (size_t i = 0; i < text.size(); ++i)
        entries[i * kEntryBytes] = static_cast<uint8_t>(text[i]);
    return TypedBytes(static_cast<int>(text.size()),
                      [&entries](int i) { return entries.data() + i * kEntryBytes; });
}

void PutTypedText(const uint8_t *bytes, int n, uint8_t (&layer)[1024]) {
    std::memset(layer, 0, sizeof layer);
    int entry = 0;
    for (int k = 0; k < n; ++k) {
        if (bytes[k] == 0) continue;
        const char letter = EscapeLetter(bytes[k]);
        if (entry + (letter ? 2 : 1) > kEntriesPerLayer) break;
        if (letter) {
            layer[entry++ * kEntryBytes] = '\\';
            layer[entry++ * kEntryBytes] = static_cast<uint8_t>(letter);
        } else {
            layer[entry++ * kEntryBytes] = bytes[k];
        }
    }
}

void TypeLoadedLayers(uint8_t (&store)[16][1024], const int32_t (&modes)[16]) {
    for (int layer = kFirstSequenceLayer; layer < kLayerCount; ++layer) {
        if (modes[layer] != kModeAscii) continue;
        uint8_t bytes[kEntriesPerLayer];
        for (int i = 0; i < kEntriesPerLayer; ++i)
            bytes[i] = store[layer][i * kEntryBytes];
        PutTypedText(bytes, kEntriesPerLayer, store[layer]);
    }
}

void NormaliseTypedLayers(uint8_t (&store)[16][1024], const int32_t (&modes)[16]) {
    for (int layer = kFirstSequenceLayer; layer < kLayerCount; ++layer) {
        if (modes[layer] != kModeAscii) continue;
        const std::vector<uint8_t> bytes = AsciiLayerBytes(store[layer]);
        if (bytes.size() > size_t(kSequenceMaxBytes)) continue;
        PutTypedText(bytes.data(), static_cast<int>(bytes.size()), store[layer]);
    }
}
