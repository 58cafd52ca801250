#include "keycodes/key_grid.h"

#include "config/msr_settings.h"
#include "keycodes/hex_text.h"

#include <cstring>

namespace {
const char kPause[] = "PAUSE";
} // namespace

void TKeyGrid::Reset() {
    for (TGridRow &r : Rows)
        r = TGridRow{};
    Next = 1;
    SelectedRow = 0;
}

void TKeyGrid::Load(const TMsrSettings &s, int editedSequence) {
    Reset();
    const int layer = LayerOfEditedSequence(editedSequence);
    if (layer < 0 || s.LayerModes[layer] != kModeCode) return;
    for (int i = 0; i < kRows; ++i) {
        const char *name = s.NameCache[layer][i];
        Rows[i + 1].Name.assign(name, strnlen(name, kNameBytes));
        uint8_t entry[kEntryBytes];
        std::memcpy(entry, &s.LayerStore[layer][i * kEntryBytes], kEntryBytes);
        Rows[i + 1].Code = KeyCodeToHex(entry);
    }
}

bool TKeyGrid::Full() const {
    // A row 20 with only a code (loaded without a name) is as full as a named one: moving
    // the rows down would drop it.
    return Next > kRows || !Rows[kRows].Empty();
}

TAddResult TKeyGrid::Put(std::string_view name, std::string_view code) {
    if (Full()) return TAddResult::Full;
    for (int r = kRows; r > Next; --r)
        Rows[r] = Rows[r - 1];
    Rows[Next] = TGridRow{std::string(name), std::string(code)};
    SelectedRow = Next;
    ++Next;
    return TAddResult::Added;
}

TAddResult TKeyGrid::AddKey(std::string_view name, std::string_view code) {
    if (Rows[1].Name == kPause) return TAddResult::Paused;
    return Put(name, code);
}

TAddResult TKeyGrid::AddSpecial(std::string_view name, std::string_view code) {
    return Put(name, code);
}

void TKeyGrid::Click(int row) {
    if (row < 1 || row > kRows) return;
    SelectedRow = row;
    Next = row;
    if (Rows[row].Name.empty()) {
        Next = 1;
        for (int r = row - 1; r >= 1; --r)
            if (!Rows[r].Name.empty()) {
                Next = r + 1;
                break;
            }
    }
}

void TKeyGrid::MouseDown(int column, int row) {
    if (column < 1 || row < 1 || row > kRows) return;
    SelectedRow = row;
    if (!Rows[row].Empty()) Next = row;
}

void TKeyGrid::Delete() {
    // Only what the user sees selected goes: an empty row or no selection removes nothing.
    const int row = SelectedRow;
    if (row < 1 || row > kRows || Rows[row].Empty()) return;
    for (int r = row; r < kRows; ++r)
        Rows[r] = Rows[r + 1];
    Rows[kRows] = TGridRow{};
    // The rows below moved up, and the insertion point with them, so no gap opens.
    if (Next > row) --Next;
}

void TKeyGrid::ClearAll() {
    Reset();
}

bool TKeyGrid::Store(TMsrSettings &s, int editedSequence) const {
    const int layer = LayerOfEditedSequence(editedSequence);
    if (layer < 0) return false;
    int last = 0;
    for (int r = kRows; r >= 1; --r)
        if (!Rows[r].Code.empty()) {
            last = r;
            break;
        }
    std::memset(s.LayerStore[layer], 0, sizeof s.LayerStore[layer]);
    std::memset(s.NameCache[layer], 0, sizeof s.NameCache[layer]);
    for (int r = 1; r <= last; ++r) {
        uint8_t entry[kEntryBytes];
        if (HexToKeyCode(Rows[r].Code, entry))
            std::memcpy(&s.LayerStore[layer][(r - 1) * kEntryBytes], entry, kEntryBytes);
        const std::string &name = Rows[r].Name;
        std::memcpy(s.NameCache[layer][r - 1], name.data(),
                    name.size() < size_t(kNameBytes) ? name.size() : size_t(kNameBytes));
    }
    s.LayerModes[layer] = Rows[1].Code.empty() ? kModeEmpty : kModeCode;
    return true;
}
