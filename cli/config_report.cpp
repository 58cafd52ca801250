#include "config_report.h"

#include "config/codec.h"
#include "config/record_rules.h"
#include "keycodes/hex_text.h"
#include "keycodes/languages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using json = nlohmann::ordered_json;

struct TSequenceInfo {
    const char *Label; // as the window labels it
    const char *Key;   // the JSON key
    int Layer;
};
constexpr TSequenceInfo kSequences[] = {
    {"Header", "header", 3},
    {"Separator", "separator", 4},
    {"Suffix", "suffix", 5},
    {"iButton attach prefix", "ibutton_attach_prefix", 6},
    {"iButton attach suffix", "ibutton_attach_suffix", 7},
    {"iButton remove prefix", "ibutton_remove_prefix", 8},
    {"iButton remove suffix", "ibutton_remove_suffix", 9},
    {"JIS2 prefix", "jis2_prefix", 10},
    {"JIS2 suffix", "jis2_suffix", 11},
};
// Layers no control shows, kept as the reader gave them.
constexpr int kOtherLayers[] = {12, 13, 15};

std::string Hex2(uint8_t b) {
    char t[4];
    std::snprintf(t, sizeof t, "%02X", b);
    return t;
}

bool Printable(uint8_t b) {
    return b >= 0x20 && b <= 0x7E;
}

// A sentinel: the character when it has one, and its byte.
std::string SentinelText(uint8_t b) {
    if (b == 0) return "none (00)";
    if (Printable(b)) return std::string("'") + char(b) + "' (" + Hex2(b) + ")";
    return "(" + Hex2(b) + ")";
}

json SentinelJson(uint8_t b) {
    return json{{"hex", Hex2(b)}, {"char", Printable(b) ? json(std::string(1, char(b))) : json()}};
}

const char *ModeName(int32_t mode) {
    switch (mode) {
    case kModeEmpty:
        return "none";
    case kModeCode:
        return "Code";
    case kModeAscii:
        return "ASCII";
    case kModeLayerMarker:
        return "layer marker";
    }
    return "unknown";
}

struct TSequence {
    std::string Mode;
    std::vector<std::string> Names, Hex;
};

std::string NameAt(const TMsrSettings &s, int layer, int slot) {
    const char *n = s.NameCache[layer][slot];
    return std::string(n, strnlen(n, kNameBytes));
}

// A sequence layer: the names the name builder gave it and, as hex, what the reader gets:
// the non-empty entries among the first 20 of a Code layer (as the editor shows them), the
// bytes the typed text of an ASCII layer sends.
TSequence SequenceOf(const TMsrSettings &s, int layer) {
    TSequence q;
    const int32_t mode = s.LayerModes[layer];
    q.Mode = ModeName(mode);
    if (mode == kModeAscii) {
        for (uint8_t b : AsciiLayerBytes(s.LayerStore[layer]))
            q.Hex.push_back(Hex2(b));
    } else {
        for (int i = 0; i < kSequenceEntries; ++i) {
            uint8_t entry[4];
            std::memcpy(entry, s.LayerStore[layer] + i * kEntryBytes, 4);
            if (entry[0] == 0) continue; // sends nothing, as the encoder counts leading bytes
            q.Hex.push_back(KeyCodeToHex(entry));
            if (mode == kModeCode) {
                const std::string name = NameAt(s, layer, i);
                q.Names.push_back(name.empty() ? "?" : name);
            }
        }
    }
    // Other modes name slots in order: an ASCII layer its text as typed ("\\" "n").
    if (mode != kModeCode)
        for (int slot = 0; slot < kEntriesPerLayer; ++slot) {
            const std::string name = NameAt(s, layer, slot);
            if (name.empty()) break;
            q.Names.push_back(name);
        }
    return q;
}

bool LayerEmpty(const TMsrSettings &s, int layer) {
    for (uint8_t b : s.LayerStore[layer])
        if (b) return false;
    return s.LayerModes[layer] == kModeEmpty;
}

std::string Joined(const std::vector<std::string> &items, bool quoted) {
    std::string t;
    for (const std::string &i : items) {
        if (!t.empty()) t += ' ';
        t += quoted ? "\"" + i + "\"" : i;
    }
    return t;
}

std::string SequenceLine(const TSequence &q) {
    if (q.Hex.empty()) return "(empty)";
    return q.Mode + "  " + Joined(q.Names, true) + "  | " + Joined(q.Hex, false);
}

json SequenceJson(const TSequence &q, int layer) {
    return json{{"layer", layer}, {"mode", q.Mode}, {"names", q.Names}, {"hex", q.Hex}};
}

struct TLanguage {
    int Index;
    std::string Name;
};

TLanguage LanguageOf(const TMsrSettings &s, const TMsrControls &c, TConfigSource source) {
    if (c.Language >= 0 && c.Language < kLanguageCount)
        return {c.Language, kLanguageNames[c.Language]};
    if (source == TConfigSource::File) return {kLanguageUnknown, "unknown"};
    return {s.CustomLanguage[0], "unknown"};
}

std::string LanguageText(const TLanguage &l) {
    if (l.Index == kLanguageUnknown) return l.Name + " (the reader's own)";
    return l.Name + " (" + std::to_string(l.Index) + ")";
}

std::string ReadingSequenceName(const TMsrControls &c) {
    return c.ReadingSequence >= 0 && c.ReadingSequence < kReadingSequenceCount
               ? kReadingSequenceItems[c.ReadingSequence]
               : "unknown";
}

std::string OrderName(int order) {
    return order >= 0 && order < kIButtonOrderCount ? kIButtonOrders[order].Item : "unknown";
}

struct TIButtonSide {
    int Order;
    int From, Length;
    bool Beep;
};

TIButtonSide SideOf(const TMsrSettings &s, const TMsrControls &c, bool remove) {
    const uint8_t select = remove ? s.RemoveSelect() : s.AttachSelect();
    const int shown = remove ? c.RemoveOrder : c.AttachOrder;
    return {shown >= 0 ? shown : SelectOrder(select), std::atoi(c.Edit[remove ? 14 : 12].c_str()),
            std::atoi(c.Edit[remove ? 15 : 13].c_str()), c.Check[remove ? 11 : 10]};
}

const char *OnOff(bool on) {
    return on ? "on" : "off";
}

std::string SideText(const TIButtonSide &side) {
    return OrderName(side.Order) + ", extract from " + std::to_string(side.From) + ", length " +
           std::to_string(side.Length) + ", beep " + OnOff(side.Beep);
}

json SideJson(const TIButtonSide &side) {
    return json{{"order", side.Order},
                {"order_name", OrderName(side.Order)},
                {"extract_from", side.From},
                {"length", side.Length},
                {"beep", side.Beep}};
}

std::string OptionBytes(const TMsrSettings &s) {
    std::vector<std::string> bytes;
    for (int k = 0; k < layer1::kOptionCount; ++k)
        bytes.push_back(Hex2(s.Layer1(layer1::kOptionOffsets[k])));
    return Joined(bytes, false);
}

uint8_t TrackStart(const TMsrSettings &s, int t) {
    return t == 1 ? s.Track1Start() : t == 2 ? s.Track2Start() : s.Track3Start();
}
uint8_t TrackEnd(const TMsrSettings &s, int t) {
    return t == 1 ? s.Track1End() : t == 2 ? s.Track2End() : s.Track3End();
}

} // namespace

std::string ConfigText(const TMsrSettings &s, const TMsrControls &c, TConfigSource source) {
    std::string t;
    const auto line = [&t](const std::string &text) { t += text + "\n"; };
    line("Tracks (reading sequence " + ReadingSequenceName(c) + "):");
    for (int k = 1; k <= 3; ++k)
        line("  Track " + std::to_string(k) + ": " + (c.Check[k] ? "on " : "off") + "  start " +
             SentinelText(TrackStart(s, k)) + "  end " + SentinelText(TrackEnd(s, k)) + "  " +
             (c.Check[k + 3] ? "Enter after" : "no Enter"));
    const TLanguage language = LanguageOf(s, c, source);
    line("Keyboard language: " + LanguageText(language));
    line("Options:");
    line(std::string("  Beep on a good read: ") + OnOff(c.Check[7]));
    line(std::string("  IBM card support: ") + OnOff(c.Check[8]));
    line(std::string("  Output data for any valid track: ") + OnOff(c.Check[9]));
    line(std::string("  Card data port: ") + (c.CardPort == 0 ? "USB" : "COM"));
    line(std::string("  iButton data port: ") + (c.IButtonPort == 0 ? "USB" : "COM"));
    line("  Option bytes: " + OptionBytes(s));
    line("iButton:");
    line("  Start " + SentinelText(s.IButtonStart()) + "  end " + SentinelText(s.IButtonEnd()));
    for (const bool remove : {false, true})
        line(std::string(remove ? "  Remove: " : "  Attach: ") + SideText(SideOf(s, c, remove)));
    line("JIS2:");
    line("  Start " + SentinelText(s.Jis2Start()) + "  end " + SentinelText(s.Jis2End()));
    line("Sequences:");
    for (const TSequenceInfo &q : kSequences) {
        std::string label = std::string("  ") + q.Label + ":";
        label.resize(26, ' ');
        line(label + SequenceLine(SequenceOf(s, q.Layer)));
    }
    for (const int layer : kOtherLayers)
        if (!LayerEmpty(s, layer)) {
            std::string label = "  Layer " + std::to_string(layer) + ":";
            label.resize(26, ' ');
            line(label + SequenceLine(SequenceOf(s, layer)));
        }
    return t;
}

json ConfigJson(const TMsrSettings &s, const TMsrControls &c, TConfigSource source) {
    json tracks = json::array();
    for (int k = 1; k <= 3; ++k)
        tracks.push_back(json{{"track", k},
                              {"enabled", c.Check[k]},
                              {"start", SentinelJson(TrackStart(s, k))},
                              {"end", SentinelJson(TrackEnd(s, k))},
                              {"enter", c.Check[k + 3]}});
    const TLanguage language = LanguageOf(s, c, source);
    json ibutton{{"start", SentinelJson(s.IButtonStart())}, {"end", SentinelJson(s.IButtonEnd())}};
    for (const bool remove : {false, true})
        ibutton[remove ? "remove" : "attach"] = SideJson(SideOf(s, c, remove));
    json sequences = json::object();
    for (const TSequenceInfo &q : kSequences)
        sequences[q.Key] = SequenceJson(SequenceOf(s, q.Layer), q.Layer);
    json others = json::array();
    for (const int layer : kOtherLayers)
        if (!LayerEmpty(s, layer)) others.push_back(SequenceJson(SequenceOf(s, layer), layer));
    return json{
        {"tracks", tracks},
        {"reading_sequence",
         {{"index", c.ReadingSequence >= 0 ? c.ReadingSequence : s.ReadingSequence},
          {"name", ReadingSequenceName(c)}}},
        {"keyboard_language", {{"index", language.Index}, {"name", language.Name}}},
        {"options",
         {{"beep", c.Check[7]},
          {"ibm_card", c.Check[8]},
          {"any_valid_track", c.Check[9]},
          {"card_port", c.CardPort == 0 ? "USB" : "COM"},
          {"ibutton_port", c.IButtonPort == 0 ? "USB" : "COM"},
          {"option_bytes", OptionBytes(s)}}},
        {"ibutton", ibutton},
        {"jis2", {{"start", SentinelJson(s.Jis2Start())}, {"end", SentinelJson(s.Jis2End())}}},
        {"sequences", sequences},
        {"other_layers", others},
    };
}

std::vector<TConfigField> ConfigFields(const TMsrSettings &s, const TMsrControls &c,
                                       TConfigSource source) {
    std::vector<TConfigField> fields;
    const auto add = [&fields](std::string key, std::string label, std::string text, json value) {
        fields.push_back({std::move(key), std::move(label), text, std::move(value), text});
    };
    const auto sentinel = [&add](const std::string &key, const std::string &label, uint8_t b) {
        add(key, label, SentinelText(b), SentinelJson(b));
    };
    const auto onOff = [&add](const std::string &key, const std::string &label, bool on) {
        add(key, label, OnOff(on), on);
    };
    add("reading_sequence", "Reading sequence", ReadingSequenceName(c), ReadingSequenceName(c));
    for (int k = 1; k <= 3; ++k) {
        const std::string key = "tracks." + std::to_string(k), label = "Track " + std::to_string(k);
        onOff(key + ".enabled", label, c.Check[k]);
        sentinel(key + ".start", label + " start", TrackStart(s, k));
        sentinel(key + ".end", label + " end", TrackEnd(s, k));
        add(key + ".enter", label + " Enter", c.Check[k + 3] ? "Enter after" : "no Enter",
            c.Check[k + 3]);
    }
    const TLanguage language = LanguageOf(s, c, source);
    add("keyboard_language", "Keyboard language", LanguageText(language),
        json{{"index", language.Index}, {"name", language.Name}});
    // A file's unlisted language is whatever the reader holds unlisted; a reader's is its
    // index and table, which the file cannot name.
    if (c.Language < 0 || c.Language >= kLanguageCount) fields.back().Compared = "unknown";
    onOff("options.beep", "Beep on a good read", c.Check[7]);
    onOff("options.ibm_card", "IBM card support", c.Check[8]);
    onOff("options.any_valid_track", "Output data for any valid track", c.Check[9]);
    add("options.card_port", "Card data port", c.CardPort == 0 ? "USB" : "COM",
        c.CardPort == 0 ? "USB" : "COM");
    add("options.ibutton_port", "iButton data port", c.IButtonPort == 0 ? "USB" : "COM",
        c.IButtonPort == 0 ? "USB" : "COM");
    add("options.option_bytes", "Option bytes", OptionBytes(s), OptionBytes(s));
    sentinel("ibutton.start", "iButton start", s.IButtonStart());
    sentinel("ibutton.end", "iButton end", s.IButtonEnd());
    for (const bool remove : {false, true}) {
        const TIButtonSide side = SideOf(s, c, remove);
        add(remove ? "ibutton.remove" : "ibutton.attach",
            remove ? "iButton remove" : "iButton attach", SideText(side), SideJson(side));
    }
    sentinel("jis2.start", "JIS2 start", s.Jis2Start());
    sentinel("jis2.end", "JIS2 end", s.Jis2End());
    for (const TSequenceInfo &q : kSequences) {
        const TSequence sequence = SequenceOf(s, q.Layer);
        add(std::string("sequences.") + q.Key, q.Label, SequenceLine(sequence),
            SequenceJson(sequence, q.Layer));
    }
    for (const int layer : kOtherLayers) {
        const TSequence sequence = SequenceOf(s, layer);
        add("layers." + std::to_string(layer), "Layer " + std::to_string(layer),
            SequenceLine(sequence), SequenceJson(sequence, layer));
    }
    return fields;
}
