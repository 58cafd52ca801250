// The key code editor's list of up to 20 keys, without the window: rows 1 ... 20 of name and
// code text, the row where the next key goes, and the rules that fill, edit and store it.
#pragma once

#include <string>
#include <string_view>

struct TMsrSettings;

inline constexpr const char *kCannotAssignText = "Cannot assign this code!";
inline constexpr const char *kExceedLimitText = "Exceed the limit of key codes!";

enum class TAddResult { Added, Paused, Full };

struct TGridRow {
    std::string Name, Code; // Code: hex text ("E0F01F"), "" for none

    bool Empty() const { return Name.empty() && Code.empty(); }
};

class TKeyGrid {
  public:
    static constexpr int kRows = 20;

    // Rows 1 ... 20 empty, the next key goes to row 1, nothing selected.
    void Reset();
    // Showing: rows from the edited layer when it holds key codes (names from the record's
    // name cache). An edited sequence outside 100 ... 108 shows an empty list.
    void Load(const TMsrSettings &s, int editedSequence);

    // Inserts at InsertRow (rows below move down) and selects the new row. Refused while row
    // 1 holds "PAUSE" (a pause ends the sequence) or when the list is full.
    TAddResult AddKey(std::string_view name, std::string_view code);
    // A special code: as AddKey, but a "PAUSE" in row 1 does not stop it.
    TAddResult AddSpecial(std::string_view name, std::string_view code);

    // A left click on row r: the next key goes there, or after the last named row above it
    // when r has no name.
    void Click(int row);
    // Any mouse button on a cell (column 1 or 2): selects it; a row with a name or a code
    // also becomes the row the next key goes to.
    void MouseDown(int column, int row);
    // Removes the selected row, the rows below moving up (the insertion point too, when it
    // was below); nothing when no row or an empty one is selected.
    void Delete();
    void ClearAll();

    // OK: the rows down to the last one with a code become the edited layer's entries and
    // names, the rest of the layer is cleared; the mode is Code when row 1 has a code, else
    // empty. False, with nothing written, for an edited sequence outside 100 ... 108.
    bool Store(TMsrSettings &s, int editedSequence) const;

    const TGridRow &Row(int row) const { return Rows[row]; }
    int InsertRow() const { return Next; }
    int Selected() const { return SelectedRow; }
    bool Full() const;

  private:
    TAddResult Put(std::string_view name, std::string_view code);

    TGridRow Rows[kRows + 1]; // index 0 unused
    int Next = 1;             // InsertRow, 1 ... 21
    int SelectedRow = 0;      // 0: none
};
