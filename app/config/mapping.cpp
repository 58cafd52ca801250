#include "config/mapping.h"

#include "config/codec.h"
#include "config/record_rules.h"

#include <cstdlib>
#include <cstring>

const TPicker kPickers[9] = {
    {1, 2, 100, 3},   // Header
    {3, 4, 101, 4},   // Separator
    {5, 6, 102, 5},   // Suffix
    {11, 12, 103, 6}, // iButton attach prefix
    {13, 14, 104, 7}, // iButton attach suffix
    {15, 16, 105, 8}, // iButton remove prefix
    {17, 18, 106, 9}, // iButton remove suffix
    {7, 8, 107, 10},  // JIS2 prefix
    {9, 10, 108, 11}, // JIS2 suffix
};

namespace {

// Edits and up-downs of one output order: attach or removal.
struct TOrderControls {
    int Combo, From, Length, UpFrom, UpLength, Beep;
};
constexpr TOrderControls kAttach{4, 12, 13, 1, 2, 10};
constexpr TOrderControls kRemove{5, 14, 15, 3, 4, 11};

uint8_t FirstChar(const std::string &text, uint8_t empty) {
    return text.empty() ? empty : static_cast<uint8_t>(text[0]);
}

std::string CharText(uint8_t b) {
    return b ? std::string(1, static_cast<char>(b)) : std::string();
}

// The read-only number edits only ever hold 1..16; anything else is held to that range.
int EditNumber(const std::string &text) {
    int v = std::atoi(text.c_str());
    return v < kExtractMin ? kExtractMin : v > kExtractMax ? kExtractMax : v;
}

int &OrderIndex(TMsrControls &c, bool remove) {
    return remove ? c.RemoveOrder : c.AttachOrder;
}

void SetFlag(uint8_t &flags, uint8_t bit, bool on) {
    flags = static_cast<uint8_t>(on ? flags | bit : flags & ~bit);
}

} // namespace

TMsrControls InitialControls() {
    TMsrControls c;
    const char *const sentinels[] = {"", "%", "?", ";", "?", ";", "?", "", "*", "?", "!", "?"};
    for (int e = 1; e <= 11; ++e) {
        c.Edit[e] = sentinels[e];
        c.EditEnabled[e] = true;
    }
    for (int i = 1; i <= 11; ++i)
        c.CheckEnabled[i] = true;
    c.Check[1] = c.Check[2] = c.Check[3] = true;
    c.Check[7] = true;
    c.Edit[12] = c.Edit[14] = "1";
    c.Edit[13] = c.Edit[15] = "16";
    return c;
}

void ControlsToRecord(const TMsrControls &c, TMsrSettings &s) {
    s.Track1Start() = FirstChar(c.Edit[1], kEmptyTrackSentinel);
    s.Track1End() = FirstChar(c.Edit[2], kEmptyTrackSentinel);
    s.Track2Start() = FirstChar(c.Edit[3], kEmptyTrackSentinel);
    s.Track2End() = FirstChar(c.Edit[4], kEmptyTrackSentinel);
    s.Track3Start() = FirstChar(c.Edit[5], kEmptyTrackSentinel);
    s.Track3End() = FirstChar(c.Edit[6], kEmptyTrackSentinel);

    // With no item shown (a loaded index the list lacks) the loaded index is kept.
    if (c.ReadingSequence >= 0) s.ReadingSequence = c.ReadingSequence;
    s.LayerStore[kReadingSequenceLayer][0] = static_cast<uint8_t>(s.ReadingSequence & 0xFF);
    const bool enabled[3] = {c.Check[1], c.Check[2], c.Check[3]};
    const bool enter[3] = {c.Check[4], c.Check[5], c.Check[6]};
    uint8_t order[3];
    MakeTrackOrder(s.ReadingSequence, enabled, enter, order);
    for (int i = 0; i < 3; ++i)
        s.TrackOrder(i) = order[i];

    uint8_t &flags = s.OptionFlags();
    SetFlag(flags, kFlagBeep, c.Check[7]);
    SetFlag(flags, kFlagIbmCard, c.Check[8]);
    SetFlag(flags, kFlagAnyTrackOff, !c.Check[9]);
    // The reader always gets both ports as USB; the hidden port boxes are not read.
    flags |= kFlagCardUsb | kFlagIButtonUsb;

    for (const bool remove : {false, true}) {
        const TOrderControls &k = remove ? kRemove : kAttach;
        uint8_t &select = remove ? s.RemoveSelect() : s.AttachSelect();
        uint8_t &length = remove ? s.RemoveLength() : s.AttachLength();
        const int shown = remove ? c.RemoveOrder : c.AttachOrder;
        // No item shown: a loaded order the list lacks, kept rather than turned into 15.
        const int order = shown >= 0 ? shown : SelectOrder(select);
        select = PackIButtonSelect(EditNumber(c.Edit[k.From]), order);
        length = PackIButtonLength(EditNumber(c.Edit[k.Length]), c.Check[k.Beep]);
    }

    s.IButtonStart() = FirstChar(c.Edit[10], kEmptyOtherSentinel);
    s.IButtonEnd() = FirstChar(c.Edit[11], kEmptyOtherSentinel);
    s.Jis2Start() = FirstChar(c.Edit[8], kEmptyOtherSentinel);
    s.Jis2End() = FirstChar(c.Edit[9], kEmptyOtherSentinel);
}

void TrackClickRule(TMsrControls &c, int track) {
    if (track < 1 || track > 3) return;
    const bool on = c.Check[track];
    c.EditEnabled[2 * track - 1] = c.EditEnabled[2 * track] = on;
    c.CheckEnabled[track + 3] = on;
    if (!on) c.Check[track + 3] = false;
}

void OrderChangeRule(TMsrControls &c, bool remove) {
    const TOrderControls &k = remove ? kRemove : kAttach;
    c.UpDownEnabled[k.UpFrom] = c.UpDownEnabled[k.UpLength] = false;
    c.EditEnabled[k.From] = c.EditEnabled[k.Length] = false;
    const int index = OrderIndex(c, remove);
    if (index < 0 || index >= kIButtonOrderCount) return;
    const TIButtonOrder &o = kIButtonOrders[index];
    c.Edit[k.From] = std::to_string(o.ExtractFrom);
    c.Edit[k.Length] = std::to_string(o.Length);
    if (o.Editable)
        c.UpDownEnabled[k.UpFrom] = c.UpDownEnabled[k.UpLength] = c.EditEnabled[k.From] =
            c.EditEnabled[k.Length] = true;
}

void PairsFromModes(const TMsrSettings &s, TMsrControls &c) {
    for (int p = 0; p < 9; ++p) {
        const int32_t mode = s.LayerModes[kPickers[p].Layer];
        c.Pair[p] = mode == kModeCode    ? TPairState::Code
                    : mode == kModeAscii ? TPairState::Ascii
                                         : TPairState::None;
    }
}

void RecordToControls(TMsrSettings &s, TMsrControls &c) {
    for (int e = 12; e <= 15; ++e)
        c.EditEnabled[e] = true;
    for (int u = 1; u <= 4; ++u)
        c.UpDownEnabled[u] = true;

    c.Edit[1] = CharText(s.Track1Start());
    c.Edit[2] = CharText(s.Track1End());
    c.Edit[3] = CharText(s.Track2Start());
    c.Edit[4] = CharText(s.Track2End());
    c.Edit[5] = CharText(s.Track3Start());
    c.Edit[6] = CharText(s.Track3End());
    c.Edit[8] = CharText(s.Jis2Start());
    c.Edit[9] = CharText(s.Jis2End());
    c.Edit[10] = CharText(s.IButtonStart());
    c.Edit[11] = CharText(s.IButtonEnd());

    PairsFromModes(s, c);

    const int sequence = s.LayerStore[kReadingSequenceLayer][0];
    c.ReadingSequence = sequence < kReadingSequenceCount ? sequence : -1;
    s.ReadingSequence = sequence;

    const uint8_t order[3] = {s.TrackOrder(0), s.TrackOrder(1), s.TrackOrder(2)};
    bool enabled[3], enter[3];
    ReadTrackOrder(order, enabled, enter);
    for (int t = 1; t <= 3; ++t) {
        c.Check[t] = enabled[t - 1];
        c.Check[t + 3] = enter[t - 1];
        TrackClickRule(c, t);
    }

    const uint8_t flags = s.OptionFlags();
    c.Check[7] = flags & kFlagBeep;
    c.Check[8] = flags & kFlagIbmCard;
    c.Check[9] = !(flags & kFlagAnyTrackOff);
    c.CardPort = flags & kFlagCardUsb ? 0 : 1;
    c.Label13 = c.CardPort == 0 ? "USB" : "COM";
    c.IButtonPort = flags & kFlagIButtonUsb ? 0 : 1;
    c.Label27 = c.IButtonPort == 0 ? "USB" : "COM";

    const uint8_t language = s.LayerStore[kLanguageLayer][0];
    if (language < kListedLanguages) {
        c.Language = language;
    } else {
        c.Language = kLanguageUnknown;
        PackCustomLanguage(s.LayerStore[kLanguageLayer], s.CustomLanguage);
    }
    std::memset(s.LayerStore[kLanguageLayer], 0, 256);
    s.LayerModes[kLanguageLayer] = kModeEmpty;

    for (const bool remove : {false, true}) {
        const TOrderControls &k = remove ? kRemove : kAttach;
        const uint8_t select = remove ? s.RemoveSelect() : s.AttachSelect();
        const uint8_t length = remove ? s.RemoveLength() : s.AttachLength();
        c.Edit[k.From] = std::to_string(SelectExtractFrom(select));
        const int shown = SelectOrder(select);
        OrderIndex(c, remove) = shown < kIButtonOrderCount ? shown : -1;
        c.Edit[k.Length] = std::to_string(LengthValue(length));
        c.Check[k.Beep] = LengthBeep(length);
    }
    for (const bool remove : {false, true}) {
        OrderChangeRule(c, remove);
        // "4-Other" shows the record's own range rather than the proposal.
        if (OrderIndex(c, remove) == kIButtonOrderOther) {
            const TOrderControls &k = remove ? kRemove : kAttach;
            c.Edit[k.From] =
                std::to_string(SelectExtractFrom(remove ? s.RemoveSelect() : s.AttachSelect()));
            c.Edit[k.Length] =
                std::to_string(LengthValue(remove ? s.RemoveLength() : s.AttachLength()));
        }
    }
}

void DefaultControls(TMsrControls &c) {
    c.ReadingSequence = 0;
    const char *const sentinels[] = {"", "%", "?", ";", "?", ";", "?", "", "*", "?", "!", "?"};
    for (int e = 1; e <= 11; ++e)
        if (e != 7) c.Edit[e] = sentinels[e];
    for (int t = 1; t <= 3; ++t) {
        c.Check[t] = true;
        TrackClickRule(c, t);
        c.Check[t + 3] = true;
    }
    c.Check[7] = true;
    c.Check[8] = c.Check[9] = false;
    for (TPairState &p : c.Pair)
        p = TPairState::None;
    c.CardPort = c.IButtonPort = 0;
    c.Language = 0;
    c.AttachOrder = c.RemoveOrder = 0;
    c.Check[10] = c.Check[11] = true;
    OrderChangeRule(c, false);
    OrderChangeRule(c, true);
}

int UpDownStep(int value, bool up) {
    return WrapExtractValue(value + (up ? 1 : -1));
}

const TPicker *PickerOfButton(int radioButton) {
    for (const TPicker &p : kPickers)
        if (p.AsciiButton == radioButton || p.CodeButton == radioButton) return &p;
    return nullptr;
}
