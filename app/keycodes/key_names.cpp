#include "keycodes/key_names.h"

#include <cstdio>
#include <cstring>

#include "config/msr_settings.h"

namespace {

struct CodeName {
    uint8_t code;
    const char *name;
};

constexpr const char *kUserDefined = "User Defiend";

// Plain (one-byte) codes.
constexpr CodeName kPlainNames[] = {
    {0x01, "F9"},
    {0x02, "Delay 0.5 sec"},
    {0x03, "F5"},
    {0x04, "F3"},
    {0x05, "F1"},
    {0x06, "F2"},
    {0x07, "F12"},
    {0x08, "F13"},
    {0x09, "F10"},
    {0x0A, "F8"},
    {0x0B, "F6"},
    {0x0C, "F4"},
    {0x0D, "Tab"},
    {0x0E, "`"},
    {0x10, "F14"},
    {0x11, "Left Alt Down"},
    {0x12, "Left Shift Down"},
    {0x14, "Left Ctrl Down"},
    {0x15, "Q"},
    {0x16, "1"},
    {0x18, "F15"},
    {0x1A, "Z"},
    {0x1B, "S"},
    {0x1C, "A"},
    {0x1D, "W"},
    {0x1E, "2"},
    {0x21, "C"},
    {0x22, "X"},
    {0x23, "D"},
    {0x24, "E"},
    {0x25, "4"},
    {0x26, "3"},
    {0x29, "space"},
    {0x2A, "V"},
    {0x2B, "F"},
    {0x2C, "T"},
    {0x2D, "R"},
    {0x2E, "5"},
    {0x31, "N"},
    {0x32, "B"},
    {0x33, "H"},
    {0x34, "G"},
    {0x35, "Y"},
    {0x36, "6"},
    {0x3A, "M"},
    {0x3B, "J"},
    {0x3C, "U"},
    {0x3D, "7"},
    {0x3E, "8"},
    {0x41, ","},
    {0x42, "K"},
    {0x43, "I"},
    {0x44, "O"},
    {0x45, "0"},
    {0x46, "9"},
    {0x49, "."},
    {0x4A, "/"},
    {0x4B, "L"},
    {0x4C, ";"},
    {0x4D, "P"},
    {0x4E, "-"},
    {0x52, "\""},
    {0x54, "["},
    {0x55, "="},
    {0x58, "CapsLock"},
    {0x59, "Right Shift Down"},
    {0x5A, "Enter"},
    {0x5B, "]"},
    {0x5D, "\\"},
    {0x61, "Europe 2"},
    {0x66, "Backspace"},
    {0x69, "1(NumPad)"},
    {0x6B, "4(NumPad)"},
    {0x6C, "7(NumPad)"},
    {0x70, "0(NumPad)"},
    {0x71, ".(NumPad)"},
    {0x72, "2(NumPad)"},
    {0x73, "5(NumPad)"},
    {0x74, "6(NumPad)"},
    {0x75, "8(NumPad)"},
    {0x76, "ESC"},
    {0x77, "Numlock"},
    {0x78, "F11"},
    {0x79, "+(NumPad)"},
    {0x7A, "3(NumPad)"},
    {0x7B, "-(NumPad)"},
    {0x7C, "*(NumPad)"},
    {0x7D, "9(NumPad)"},
    {0x7E, "ScrolClock"},
    {0x83, "F7"},
    {0xE2, kUserDefined},
};

// Second byte of E0 xx.
constexpr CodeName kExtendedNames[] = {
    {0x10, "WWW Search"},
    {0x11, "Right Alt Down"},
    {0x12, "Print Screen"},
    {0x14, "Right Ctrl Down"},
    {0x1F, "LWIN Down"},
    {0x21, "Vol Down"},
    {0x27, "RWIN Down"},
    {0x2B, "Calcalutor"},
    {0x2F, "APP"},
    {0x32, "Vol Up"},
    {0x37, "Power"},
    {0x3F, "Sleep"},
    {0x40, "My computer"},
    {0x48, "Mail"},
    {0x4A, "/(NumPad)"},
    {0x50, "Media Select"},
    {0x5A, "Enter(Num Pad)"},
    {0x5E, "Wake Up"},
    {0x69, "End"},
    {0x6B, "Left"},
    {0x6C, "Home"},
    {0x70, "Insert"},
    {0x71, "Delete"},
    {0x72, "Down"},
    {0x74, "Right"},
    {0x75, "Up"},
    {0x7A, "PgDn"},
    {0x7D, "PgUp"},
};

// Third byte of E0 F0 xx.
constexpr CodeName kExtendedBreakNames[] = {
    {0x11, "Right Alt Up"}, {0x14, "Right Ctrl Up"}, {0x1F, "LWIN Up"}, {0x27, "RWIN Up"}};

// Second byte of F0 xx.
constexpr CodeName kBreakNames[] = {{0x12, "Left Shift Up"},
                                    {0x59, "Right Shift Up"},
                                    {0x14, "Left Ctrl Up"},
                                    {0x11, "Left Alt Up"}};

template <size_t N> const char *Find(const CodeName (&table)[N], uint8_t code) {
    for (const CodeName &c : table)
        if (c.code == code) return c.name;
    return nullptr;
}

// Writes a name into a zeroed 20-byte slot, without a terminator when it fills the slot.
void PutName(char (&slot)[20], const char *name) {
    std::memcpy(slot, name, strnlen(name, sizeof slot));
}

void PutChar(char (&slot)[20], char c) {
    slot[0] = c;
}

} // namespace

const char *KeyCodeName(const uint8_t (&entry)[4]) {
    switch (entry[0]) {
    case 0xE0:
        if (entry[1] == 0xF0) return Find(kExtendedBreakNames, entry[2]);
        if (const char *name = Find(kExtendedNames, entry[1])) return name;
        return kUserDefined;
    case 0xF0:
        return Find(kBreakNames, entry[1]);
    case 0xE1:
        return "PAUSE";
    default:
        return Find(kPlainNames, entry[0]);
    }
}

namespace {

void BuildNames(const int32_t (&modes)[16], const uint8_t (&store)[16][1024],
                char (&names)[16][256][20]) {
    for (int layer = kFirstSequenceLayer; layer < kLayerCount; ++layer) {
        char(&out)[256][20] = names[layer];
        const auto entry = [&](int i) -> const uint8_t(&)[4] {
            return *reinterpret_cast<const uint8_t(*)[4]>(store[layer] + i * kEntryBytes);
        };
        switch (modes[layer]) {
        case kModeCode:
            // Unnamed entries keep their slot, so a name can follow an unnamed entry.
            for (int i = 0; i < kSequenceEntries; ++i)
                if (const char *name = KeyCodeName(entry(i))) PutName(out[i], name);
            break;
        case kModeAscii: {
            // The text as typed, one character per slot. A control byte stored as it is
            // (a record made before texts were kept as typed) shows as its escape, in two.
            int p = 0;
            for (int i = 0; i < kEntriesPerLayer; ++i) {
                const uint8_t(&e)[4] = entry(i);
                if (e[0] == 0 && e[1] == 0 && e[2] == 0 && e[3] == 0) break;
                const char escape = e[0] == 0x0D   ? 'n'
                                    : e[0] == 0x1B ? 'e'
                                    : e[0] == 0x09 ? 't'
                                                   : 0;
                if (p + (escape ? 2 : 1) > kEntriesPerLayer) break;
                if (escape) PutChar(out[p++], '\\');
                PutChar(out[p++], escape ? escape : static_cast<char>(e[0]));
            }
            break;
        }
        case kModeLayerMarker: {
            char text[16];
            std::snprintf(text, sizeof text, "Layer%d", store[0][1] - 16);
            text[7] = 0;
            for (int k = 0; k < 7 && text[k] != 0; ++k)
                PutChar(out[k], text[k]);
            break;
        }
        default:
            break;
        }
    }
}

} // namespace

void BuildKeyNames(const int32_t (&modes)[16], const uint8_t (&store)[16][1024],
                   char (&names)[16][256][20]) {
    BuildNames(modes, store, names);
}
