#include "keycodes/key_table.h"

// Rows in the order of the editor's own list. The areas of a modifier key and of its grey
// "held down" overlay lie on the same spot on purpose.
const TKeyRow kKeyTable[kKeyRowCount] = {
    // name, code, click area, left, top, width, height, keyboard key, caption
    {"ESC", "76", 2, 24, 22, 27, 20, 0x001, "Esc"},
    {"F1", "05", 3, 81, 22, 27, 20, 0x03b, "F1"},
    {"F2", "06", 4, 111, 22, 27, 20, 0x03c, "F2"},
    {"F3", "04", 5, 140, 22, 27, 20, 0x03d, "F3"},
    {"F4", "0C", 6, 168, 22, 27, 20, 0x03e, "F4"},
    {"F5", "03", 7, 203, 22, 27, 20, 0x03f, "F5"},
    {"F6", "0B", 8, 232, 22, 27, 20, 0x040, "F6"},
    {"F7", "83", 9, 261, 22, 27, 20, 0x041, "F7"},
    {"F8", "0A", 10, 290, 22, 27, 20, 0x042, "F8"},
    {"F9", "01", 11, 324, 22, 27, 20, 0x043, "F9"},
    {"F10", "09", 12, 352, 22, 27, 20, 0x044, "F10"},
    {"F11", "78", 13, 382, 22, 27, 20, 0x057, "F11"},
    {"F12", "07", 14, 411, 22, 27, 20, 0x058, "F12"},
    {"PgUp", "E07D", 15, 513, 66, 31, 20, 0x149, "PgUp"},
    {"PgDn", "E07A", 16, 513, 88, 31, 20, 0x151, "PgDn"},
    {"`", "0E", 17, 24, 44, 27, 20, 0x029, "`"},
    {"1", "16", 18, 53, 44, 27, 20, 0x002, "1"},
    {"2", "1E", 19, 82, 44, 27, 20, 0x003, "2"},
    {"3", "26", 20, 110, 44, 27, 20, 0x004, "3"},
    {"4", "25", 21, 139, 44, 27, 20, 0x005, "4"},
    {"5", "2E", 22, 168, 44, 27, 20, 0x006, "5"},
    {"6", "36", 23, 198, 44, 27, 20, 0x007, "6"},
    {"7", "3D", 24, 227, 44, 27, 20, 0x008, "7"},
    {"8", "3E", 25, 256, 44, 27, 20, 0x009, "8"},
    {"9", "46", 26, 285, 44, 27, 20, 0x00a, "9"},
    {"0", "45", 27, 314, 44, 27, 20, 0x00b, "0"},
    {"-", "4E", 28, 343, 44, 27, 20, 0x00c, "-"},
    {"=", "55", 29, 372, 44, 27, 20, 0x00d, "="},
    {"Backspace", "66", 30, 401, 44, 39, 20, 0x00e, "Back"},
    {"Tab", "0D", 31, 24, 66, 38, 20, 0x00f, "Tab"},
    {"Q", "15", 32, 64, 66, 27, 20, 0x010, "Q"},
    {"W", "1D", 33, 92, 66, 27, 20, 0x011, "W"},
    {"E", "24", 34, 121, 66, 27, 20, 0x012, "E"},
    {"R", "2D", 35, 151, 66, 27, 20, 0x013, "R"},
    {"T", "2C", 36, 180, 66, 27, 20, 0x014, "T"},
    {"Y", "35", 37, 209, 66, 27, 20, 0x015, "Y"},
    {"U", "3C", 38, 238, 66, 27, 20, 0x016, "U"},
    {"I", "43", 39, 267, 66, 27, 20, 0x017, "I"},
    {"O", "44", 40, 295, 66, 27, 20, 0x018, "O"},
    {"P", "4D", 41, 324, 66, 27, 20, 0x019, "P"},
    {"[", "54", 42, 353, 66, 27, 20, 0x01a, "["},
    {"]", "5B", 43, 382, 66, 27, 20, 0x01b, "]"},
    {"Enter", "5A", 44, 395, 88, 45, 20, 0x01c, "Enter"},
    {"Caps Lock", "58", 45, 24, 88, 50, 20, 0x03a, "Caps"},
    {"A", "1C", 46, 76, 88, 27, 20, 0x01e, "A"},
    {"S", "1B", 47, 104, 88, 27, 20, 0x01f, "S"},
    {"D", "23", 48, 134, 88, 27, 20, 0x020, "D"},
    {"F", "2B", 49, 162, 88, 27, 20, 0x021, "F"},
    {"G", "34", 50, 192, 88, 27, 20, 0x022, "G"},
    {"H", "33", 51, 220, 88, 27, 20, 0x023, "H"},
    {"J", "3B", 52, 249, 88, 27, 20, 0x024, "J"},
    {"K", "42", 53, 279, 88, 27, 20, 0x025, "K"},
    {"L", "4B", 54, 307, 88, 27, 20, 0x026, "L"},
    {";", "4C", 55, 336, 88, 27, 20, 0x027, ";"},
    {"'", "52", 56, 366, 88, 27, 20, 0x028, "'"},
    {"\\", "5D", 57, 412, 66, 28, 20, 0x02b, "\\"},
    {"Left Shift Down", "12", 58, 24, 110, 60, 20, 0x02a, "Shift"},
    {"Z", "1A", 59, 86, 110, 27, 20, 0x02c, "Z"},
    {"X", "22", 60, 115, 110, 27, 20, 0x02d, "X"},
    {"C", "21", 61, 144, 110, 27, 20, 0x02e, "C"},
    {"V", "2A", 62, 174, 110, 27, 20, 0x02f, "V"},
    {"B", "32", 63, 202, 110, 27, 20, 0x030, "B"},
    {"N", "31", 64, 232, 110, 27, 20, 0x031, "N"},
    {"M", "3A", 65, 261, 110, 27, 20, 0x032, "M"},
    {",", "41", 66, 288, 110, 27, 20, 0x033, ","},
    {".", "49", 67, 318, 110, 27, 20, 0x034, "."},
    {"/", "4A", 68, 346, 110, 27, 20, 0x035, "/"},
    {"Right Shift Down", "59", 69, 376, 110, 64, 20, 0x036, "Shift"},
    {"UP", "E075", 70, 479, 110, 31, 20, 0x148, "Up"},
    {"Left Ctrl Down", "14", 71, 24, 132, 50, 20, 0x01d, "Ctrl"},
    {"Left Alt Down", "11", 72, 116, 132, 31, 20, 0x038, "Alt"},
    {"Home", "E06C", 73, 480, 66, 31, 20, 0x147, "Home"},
    {"End", "E069", 74, 480, 88, 31, 20, 0x14f, "End"},
    {"Space", "29", 75, 149, 132, 123, 20, 0x039, "Space"},
    {"Right Alt Down", "E011", 76, 274, 132, 32, 20, 0x138, "Alt"},
    {"Right Ctrl Down", "E014", 77, 388, 132, 52, 20, 0x11d, "Ctrl"},
    {"Scrlock", "7E", 78, 480, 44, 31, 20, 0x046, "ScrLk"},
    {"Left", "E06B", 79, 445, 132, 31, 20, 0x14b, "Left"},
    {"Down", "E072", 80, 479, 132, 31, 20, 0x150, "Down"},
    {"Right", "E074", 81, 512, 132, 31, 20, 0x14d, "Right"},
    {"Print Screen", "E012", 82, 445, 44, 31, 20, 0x137, "PrtSc"},
    {"PAUSE", "", 83, 513, 44, 31, 20, 0x045, "Pause"},
    {"Insert", "E070", 84, 445, 66, 31, 20, 0x152, "Ins"},
    {"Delete", "E071", 85, 445, 88, 31, 20, 0x153, "Del"},
    {"Num lock", "77", 86, 552, 44, 31, 20, 0x145, "Num"},
    {"/(Num Pad)", "E04A", 87, 586, 44, 31, 20, 0x135, "/"},
    {"*(Num Pad)", "7C", 88, 621, 44, 31, 20, 0x037, "*"},
    {"-(Num Pad)", "7B", 89, 655, 44, 31, 20, 0x04a, "-"},
    {"7(Num Pad)", "6C", 90, 552, 66, 31, 20, 0x047, "7"},
    {"8(Num Pad)", "75", 91, 586, 66, 31, 20, 0x048, "8"},
    {"9(Num Pad)", "7D", 92, 621, 66, 31, 20, 0x049, "9"},
    {"+(Num Pad)", "79", 93, 655, 66, 31, 42, 0x04e, "+"},
    {"4(Num Pad)", "6B", 94, 552, 88, 31, 20, 0x04b, "4"},
    {"5(Num Pad)", "73", 95, 586, 88, 31, 20, 0x04c, "5"},
    {"6(Num Pad)", "74", 96, 621, 88, 31, 20, 0x04d, "6"},
    {"1(Num Pad)", "69", 97, 552, 110, 31, 20, 0x04f, "1"},
    {"2(Num Pad)", "72", 98, 586, 110, 31, 20, 0x050, "2"},
    {"3(Num Pad)", "7A", 99, 621, 110, 31, 20, 0x051, "3"},
    {"Enter(Num Pad)", "E05A", 100, 655, 110, 31, 42, 0x11c, "Enter"},
    {"0(Num Pad)", "70", 101, 552, 132, 65, 20, 0x052, "0"},
    {".(Num Pad)", "71", 102, 621, 132, 31, 20, 0x053, "."},
    {"LWIN Down", "E01F", 103, 76, 132, 38, 20, 0x15b, "LWIN"},
    {"APP", "E02F", 104, 348, 132, 38, 20, 0x15d, "App"},
    {"><", "", 0, 0, 0, 0, 0, 0x056, ""},
    {"RWIN Down", "E027", 107, 308, 132, 38, 20, 0x15c, "RWIN"},
    {"Wake Up", "E05E", 108, 445, 22, 31, 20, 0, "Wake"},
    {"Sleep", "E03F", 109, 479, 22, 31, 20, 0, "Sleep"},
    {"Power", "E037", 110, 513, 22, 31, 20, 0, "Power"},
    {"Left Shift Up", "F012", 111, 24, 110, 60, 20, 0, "Shift"},
    {"Left Ctrl Up", "F014", 112, 25, 132, 49, 20, 0, "Ctrl"},
    {"LWIN Up", "E0F01F", 113, 76, 132, 38, 20, 0, "LWIN"},
    {"Left Alt Up", "F011", 114, 116, 132, 31, 20, 0, "Alt"},
    {"Right Alt Up", "E0F011", 115, 274, 132, 32, 20, 0, "Alt"},
    {"RWIN Up", "E0F027", 116, 308, 132, 38, 20, 0, "RWIN"},
    {"Right Ctrl Up", "E0F014", 117, 388, 132, 52, 20, 0, "Ctrl"},
    {"Right Shift Up", "F059", 118, 376, 110, 64, 20, 0, "Shift"},
};

const TModifierKey kModifierKeys[kModifierCount] = {
    {58, 111, 0x02a},  // left Shift
    {69, 118, 0x036},  // right Shift
    {71, 112, 0x01d},  // left Ctrl
    {77, 117, 0x11d},  // right Ctrl
    {72, 114, 0x038},  // left Alt
    {76, 115, 0x138},  // right Alt
    {103, 113, 0x15b}, // LWIN
    {107, 116, 0x15c}, // RWIN
};

// The names are the window's own, misspellings included.
const TSpecialCode kSpecialCodes[kSpecialCodeCount] = {
    {"Europe1", "5D"}, {"Europe2", "61"},      {"F13", "08"},           {"F14", "10"},
    {"F15", "18"},     {"Vol Up", "E032"},     {"Vol Down", "E021"},    {"Madia Select", "E050"},
    {"Mai", "E048"},   {"Calculator", "E02B"}, {"My Computer", "E040"}, {"WWW Search", "E010"},
};

const TKeyRow *KeyByLabel(int label) {
    if (label <= 0) return nullptr;
    for (const TKeyRow &row : kKeyTable)
        if (row.Label == label) return &row;
    return nullptr;
}

const TKeyRow *KeyByScanCode(int scanCode) {
    if (scanCode <= 0) return nullptr;
    for (const TKeyRow &row : kKeyTable)
        if (row.ScanCode == scanCode) return &row;
    return nullptr;
}

const TKeyRow *KeyByName(std::string_view name) {
    for (const TKeyRow &row : kKeyTable)
        if (name == row.Name) return &row;
    return nullptr;
}

const TModifierKey *ModifierOfLabel(int label) {
    for (const TModifierKey &m : kModifierKeys)
        if (m.DownLabel == label || m.UpLabel == label) return &m;
    return nullptr;
}

const TKeyRow *UpRowOfScanCode(int scanCode) {
    for (const TModifierKey &m : kModifierKeys)
        if (m.ScanCode == scanCode) return KeyByLabel(m.UpLabel);
    return nullptr;
}
