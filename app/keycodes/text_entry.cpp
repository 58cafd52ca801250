#include "keycodes/text_entry.h"

#include "config/codec.h"
#include "config/msr_settings.h"

#include <algorithm>
#include <cstring>

namespace {
bool Printable(int c) {
    return c >= 0x20 && c <= 0x7E;
}
} // namespace

std::string SequenceText(const TMsrSettings &s, int editedSequence) {
    std::string text;
    const int layer = LayerOfEditedSequence(editedSequence);
    if (layer < 0 || s.LayerModes[layer] != kModeAscii) return text;
    for (const auto &name : s.NameCache[layer]) {
        if (name[0] == 0) break;
        text += name[0];
    }
    return text;
}

bool TextTooLong(std::string_view text) {
    // No byte takes more than two characters (an escape): past 40 there is no need to count.
    if (text.size() > size_t(2 * kTextLimit)) return true;
    return TypedTextBytes(text).size() > size_t(kTextLimit);
}

TTypedKey FilterTypedKey(int character, std::string_view withKey) {
    if (character == kBackspace) return TTypedKey::Insert;
    if (TextTooLong(withKey)) return TTypedKey::Exceed;
    return Printable(character) ? TTypedKey::Insert : TTypedKey::Swallow;
}

bool TextAllowed(std::u16string_view text, std::u16string_view shown) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (Printable(c)) continue;
        // As many of this character as the shown text had, and no more.
        const auto have = std::count(text.begin(), text.end(), c);
        if (have > std::count(shown.begin(), shown.end(), c)) return false;
    }
    return true;
}

TStoreResult StoreSequenceText(TMsrSettings &s, int editedSequence, std::string_view text) {
    if (TextTooLong(text)) return TStoreResult::TooLong;
    const int layer = LayerOfEditedSequence(editedSequence);
    if (layer < 0) return TStoreResult::NoSequence;
    std::memset(s.LayerStore[layer], 0, sizeof s.LayerStore[layer]);
    std::memset(s.NameCache[layer], 0, sizeof s.NameCache[layer]);
    for (size_t i = 0; i < text.size(); ++i) {
        s.LayerStore[layer][i * kEntryBytes] = static_cast<uint8_t>(text[i]);
        s.NameCache[layer][i][0] = text[i];
    }
    s.LayerModes[layer] = text.empty() ? kModeEmpty : kModeAscii;
    return TStoreResult::Stored;
}
