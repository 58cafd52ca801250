// Display names of key codes and of the sequence layers of the record.
#pragma once

#include <cstdint>

// Name of the key code held in an entry (1..3 bytes, zero padded); nullptr when it has none.
const char *KeyCodeName(const uint8_t (&entry)[4]);

// Fills the names of layers 3..15 from their entries and modes (the caller clears names
// first). Code layers name entries 0..19 that have a name; ASCII layers, which hold their
// text as typed, name each character up to the first empty entry (a control byte held as it
// is takes two slots, "\" "n"); layer-marker layers spell "LayerN".
void BuildKeyNames(const int32_t (&modes)[16], const uint8_t (&store)[16][1024],
                   char (&names)[16][256][20]);
