// The text entry of a sequence, without the window: the text it shows, the filter of typed
// characters and of inserted text, and storing the text as ASCII entries.
#pragma once

#include <string>
#include <string_view>

struct TMsrSettings;

constexpr int kTextLimit = 20;
constexpr int kBackspace = 8;

inline constexpr const char *kTextTooLongText = "Exceed the limit of key codes";

// The text of the edited sequence when it is in ASCII mode: the first character of each of
// its names up to the first empty one. The whole text, even past 20 characters (a loaded
// escape takes two), so that OK refuses it rather than cut it. "" for any other mode or an
// edited sequence outside 100 ... 108.
std::string SequenceText(const TMsrSettings &s, int editedSequence);

enum class TTypedKey { Insert, Swallow, Exceed };
// A character typed into an entry that holds `length` characters.
TTypedKey FilterTypedKey(int character, int length);

// Text that reaches the entry other than by typing (pasted, dropped, from an input method)
// may hold only the characters 0x20 ... 0x7E, apart from the ones of the text the entry was
// given when it was shown, which it may keep.
bool TextAllowed(std::u16string_view text, std::u16string_view shown);

enum class TStoreResult { Stored, TooLong, NoSequence };
// OK: the text (single-byte characters) becomes the sequence's entries and names, the rest
// of its layer cleared; the mode is ASCII, or empty for an empty text. Nothing is written
// for a text over 20 characters or an edited sequence outside 100 ... 108.
TStoreResult StoreSequenceText(TMsrSettings &s, int editedSequence, std::string_view text);
