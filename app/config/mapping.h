#pragma once
// The copies between the configuration window's controls and the record, with the
// rules that enable and disable controls. The controls are held here as plain values,
// indexed by the number in their component name (Edit[12] is Edit12), so that the
// rules run without widgets; the window copies its widgets to and from this struct.

#include "config/codec.h"
#include "config/msr_settings.h"

#include <cstdint>
#include <string>

// State of one ASCII/Code radio pair.
enum class TPairState : int8_t { None = 0, Ascii = 1, Code = 2 };

struct TMsrControls {
    // Edit1..Edit6 (ISO sentinels), Edit8..Edit11 (JIS2 and iButton sentinels),
    // Edit12..Edit15 (iButton Extract From / Length). Index 0 and 7 are unused
    // (Edit7 is the APDU entry of the IC card page).
    std::string Edit[16];
    bool EditEnabled[16] = {};
    // CheckBox1..CheckBox11.
    bool Check[12] = {};
    bool CheckEnabled[12] = {};
    // UpDown1..UpDown4.
    bool UpDownEnabled[5] = {};
    int ReadingSequence = 0; // ComboBox1 item index
    int Language = 0;        // ComboBox3 item index; kLanguageUnknown shows "UNKNOW"
    int CardPort = 0;        // ComboBox2: 0 "USB", 1 "COM"
    int IButtonPort = 0;     // ComboBox6
    std::string Label13 = "USB", Label27 = "USB";
    int AttachOrder = 0; // ComboBox4 item index, -1 = none selected
    int RemoveOrder = 0; // ComboBox5
    // The nine radio pairs in the order of kPickers.
    TPairState Pair[9] = {};
};

constexpr int kLanguageUnknown = kUnknownLanguage;
constexpr int kListedLanguages = 7;

// One ASCII/Code picker pair: its radio buttons, the sequence code it edits and its layer.
struct TPicker {
    int AsciiButton, CodeButton, EditedSequence, Layer;
};
extern const TPicker kPickers[9];

// The window's initial control values (its definition, not Set Default).
TMsrControls InitialControls();

// Controls -> layer 1, layer 14 and ReadingSequence.
void ControlsToRecord(const TMsrControls &c, TMsrSettings &s);

// Record -> controls. Consumes the language block of layer 2 (kept in CustomLanguage
// when the reader's language is not listed, then cleared).
void RecordToControls(TMsrSettings &s, TMsrControls &c);

// Track box `track` (1..3) clicked: enables or disables its sentinels and Enter box.
void TrackClickRule(TMsrControls &c, int track);

// Output order of attach (`remove` false, ComboBox4) or removal (ComboBox5) changed.
void OrderChangeRule(TMsrControls &c, bool remove);

// The nine radio pairs from the layer modes.
void PairsFromModes(const TMsrSettings &s, TMsrControls &c);

// The controls of Set Default (before its Save).
void DefaultControls(TMsrControls &c);

// An up-down press on a value of 1..16: moves it by one and wraps.
int UpDownStep(int value, bool up);

// Picker of a radio button (1..18), or nullptr.
const TPicker *PickerOfButton(int radioButton);
