// Display names of key codes and of the sequence layers of the record.
#pragma once

#include <cstdint>

// Name of the key code held in an entry (1..3 bytes, zero padded); nullptr when it has none.
const char *KeyCodeName(const uint8_t (&entry)[4]);

// Fills the names of layers 3..15 from their entries and modes (the caller clears names
// first). Code layers name entries 0..19 that have a name; ASCII layers show control
// characters as two-slot escapes ("\" "n"); layer-marker layers spell "LayerN".
void BuildKeyNames(const int32_t (&modes)[16], const uint8_t (&store)[16][1024],
                   char (&names)[16][256][20]);

// The same for a record read from a settings file: there an ASCII layer holds the escapes as
// they were typed (a backslash, then 'n'), so a backslash takes one name slot like any other
// character and the text entry shows the text as it was saved.
void BuildFileKeyNames(const int32_t (&modes)[16], const uint8_t (&store)[16][1024],
                       char (&names)[16][256][20]);
