// The text entry of a sequence, without the window: the text it shows, the filter of typed
// characters and of inserted text, and storing the text as ASCII entries.
#pragma once

#include <string>
#include <string_view>

struct TMsrSettings;

constexpr int kTextLimit = 20; // bytes sent: an escape such as "\n" is one
constexpr int kBackspace = 8;

inline constexpr const char *kTextTooLongText = "Exceed the limit of key codes";

// The text of the edited sequence when it is in ASCII mode: the first character of each of
// its names up to the first empty one, the whole text however long. "" for any other mode or
// an edited sequence outside 100 ... 108.
std::string SequenceText(const TMsrSettings &s, int editedSequence);

// True when a typed text sends more bytes than a sequence holds.
bool TextTooLong(std::string_view text);

enum class TTypedKey { Insert, Swallow, Exceed };
// A typed character; withKey is the entry's text as the character would leave it. Backspace
// always goes in; the limit comes before the check for a printable character.
TTypedKey FilterTypedKey(int character, std::string_view withKey);

// Text that reaches the entry other than by typing (pasted, dropped, from an input method)
// may hold only the characters 0x20 ... 0x7E, apart from the ones of the text the entry was
// given when it was shown, which it may keep.
bool TextAllowed(std::u16string_view text, std::u16string_view shown);

enum class TStoreResult { Stored, TooLong, NoSequence };
// OK: the text (single-byte characters) becomes the sequence's entries and names, the rest
// of its layer cleared; the mode is ASCII, or empty for an empty text. Nothing is written
// for a text that sends more than 20 bytes or an edited sequence outside 100 ... 108.
TStoreResult StoreSequenceText(TMsrSettings &s, int editedSequence, std::string_view text);
