#include "link/msr_operations.h"

#include "config/codec.h"
#include "keycodes/key_names.h"
#include "link/frames.h"
#include "link/transaction.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// UI text indices.
enum : int {
    kHidOpenErrorText = 73,
    kSerialOpenErrorText = 75,
    kNoReaderText = 76,
    kTooLongText = 77,
    kDefaultKeyCodesText = 79,
    kLoadSuccessfulText = 80,
    kSettingSuccessfulText = 81,
    kVersionCaptionText = 82,
    kSaveText = 89,
    kSaveErrorText = 90,
    kSaveSuccessText = 91,
    kLoadText = 92,
    kLoadErrorText = 93,
    kLoadSuccessText = 94,
    kNormalModeText = 95,
    kTestModeText = 98,
    kVersionText = 101,
    kSaveSuccessfulText = 111,
};

bool UsesHid(const TReaderLink &link) {
    return link.ConnectionKind == 0;
}

int OpenErrorText(const TReaderLink &link) {
    return UsesHid(link) ? kHidOpenErrorText : kSerialOpenErrorText;
}

TxResult Run(const TMsrContext &c, TxOptions opts,
             const std::function<int(uint8_t (&)[kFrameSize])> &build) {
    return RunTransaction(c.Link, build, opts, [&c](bool on) { c.Window.SetEnabled(on); });
}

// Puts a decoded configuration into the record and the window (Load and the probe, of the
// window and of cardtool-cli alike): options repacked, ASCII layers as typed text.
void ApplyDecoded(const TMsrContext &c, const TxResult &r) {
    std::memcpy(c.Settings.LayerStore, r.store, sizeof c.Settings.LayerStore);
    std::memcpy(c.Settings.LayerModes, r.modes, sizeof c.Settings.LayerModes);
    RepackLayer1(c.Settings.LayerStore[kOptionsLayer]);
    TypeLoadedLayers(c.Settings.LayerStore, c.Settings.LayerModes);
    std::memset(c.Settings.NameCache, 0, sizeof c.Settings.NameCache);
    BuildKeyNames(c.Settings.LayerModes, c.Settings.LayerStore, c.Settings.NameCache);
    c.Window.RecordToControls();
}

std::unique_ptr<TxResult> ReadConfiguration(const TMsrContext &c) {
    TxOptions opts;
    opts.command = TxCommand::ReadConfiguration;
    opts.decode = &DecodeLoadReply;
    // The result carries a whole store image: keep it off the stack.
    auto r = std::make_unique<TxResult>(Run(c, opts, frames::ReadConfiguration));
    return r;
}

bool Succeeded(const TxResult &r) {
    return r.outcome == TxOutcome::Ok || r.outcome == TxOutcome::EmptyImage;
}

MsrOutcome OutcomeOf(TxOutcome o) {
    switch (o) {
    case TxOutcome::Ok:
    case TxOutcome::EmptyImage:
        return MsrOutcome::Success;
    case TxOutcome::NotBound:
        return MsrOutcome::NotBound;
    case TxOutcome::NoReader:
        return MsrOutcome::NoReader;
    case TxOutcome::DefaultKeyCodes:
        return MsrOutcome::DefaultKeyCodes;
    case TxOutcome::Busy:
        return MsrOutcome::Busy;
    case TxOutcome::NoAnswer:
    case TxOutcome::FrameRejected:
        break;
    }
    return MsrOutcome::NoAnswer;
}

// The outcome of a transaction; three failed attempts whose last got a status byte other
// than success are told apart from a reader that did not answer, and the status is handed
// to the window.
MsrOutcome OutcomeOf(const TMsrContext &c, const TxResult &r) {
    if (r.outcome == TxOutcome::NoAnswer && r.readResult > 0) {
        c.Window.ReaderRefused(r.readResult);
        return MsrOutcome::Refused;
    }
    return OutcomeOf(r.outcome);
}

// Whether a configuration read back holds what the block sent holds. Compared decoded, as
// the reader may keep its records in another order.
bool HoldsBlock(const std::vector<uint8_t> &sent, const uint8_t *reply, int n) {
    struct Image {
        uint8_t Store[kLayerCount][kLayerBytes];
        int32_t Modes[kLayerCount];
    };
    auto want = std::make_unique<Image>(), got = std::make_unique<Image>();
    std::memset(want.get(), 0, sizeof *want);
    std::memset(got.get(), 0, sizeof *got);
    if (DecodeLoadReply(sent.data(), int(sent.size()), want->Store, want->Modes) != kDecodeOk ||
        DecodeLoadReply(reply, n, got->Store, got->Modes) != kDecodeOk)
        return false;
    return std::memcmp(want.get(), got.get(), sizeof *want) == 0;
}

// What a Save sends, taken once before its first attempt: every attempt encodes this same
// copy, whatever happens to the record while the reader is waited for.
struct SaveImage {
    uint8_t Store[kLayerCount][kLayerBytes];
    int32_t Modes[kLayerCount];
    uint8_t CustomLanguage[256];
    int Language;
};

MsrOutcome Save(const TMsrContext &c) {
    c.Window.SetPanel(0, c.Text[kSaveText]);
    c.Window.ControlsToRecord();
    if (!(UsesHid(c.Link) ? c.Link.HidBound : c.Link.SerialBound)) {
        c.Window.Message(c.Text[OpenErrorText(c.Link)]);
        c.Window.SetPanel(1, c.Text[kSaveErrorText]);
        return MsrOutcome::NotBound;
    }
    const int language = c.Window.LanguageChoice();
    // "UNKNOW" sends the language the reader reported; with none kept (the list shows it
    // after opening a file) there is nothing to send.
    if (language == kUnknownLanguage && !CustomLanguageHeld(c.Settings.CustomLanguage)) {
        c.Window.Message(kNoLanguageTable);
        c.Window.SetPanel(1, c.Text[kSaveErrorText]);
        return MsrOutcome::NoLanguage;
    }
    auto image = std::make_unique<SaveImage>();
    std::memcpy(image->Store, c.Settings.LayerStore, sizeof image->Store);
    std::memcpy(image->Modes, c.Settings.LayerModes, sizeof image->Modes);
    std::memcpy(image->CustomLanguage, c.Settings.CustomLanguage, sizeof image->CustomLanguage);
    image->Language = language;
    bool tooLong = false;
    std::vector<uint8_t> sent;
    TxOptions opts;
    opts.command = TxCommand::WriteConfiguration;
    // Only the configuration read back shows that the reader took the block: its answer to
    // the write is a bare success, which a stale answer imitates.
    opts.readBack = [&sent](const uint8_t *reply, int n) { return HoldsBlock(sent, reply, n); };
    const auto r = std::make_unique<TxResult>(Run(c, opts, [&](uint8_t(&frame)[kFrameSize]) {
        frames::WriteConfigurationLead(frame);
        int length = 0;
        if (EncodeSaveBlock(image->Store, image->Modes, image->Language, image->CustomLanguage,
                            frame, length) != kEncodeOk) {
            tooLong = true;
            return -1;
        }
        sent.assign(frame + 2, frame + length);
        return length;
    }));
    switch (r->outcome) {
    case TxOutcome::Ok:
        c.Window.ShowSavedPorts();
        c.Window.SetPanel(1, c.Text[kSaveSuccessText]);
        c.Window.Message(c.Text[kSaveSuccessfulText]);
        break;
    case TxOutcome::FrameRejected:
        c.Window.Message(c.Text[tooLong ? kTooLongText : kNoReaderText]);
        c.Window.SetPanel(1, c.Text[kSaveErrorText]);
        break;
    case TxOutcome::NotBound:
        c.Window.Message(c.Text[OpenErrorText(c.Link)]);
        c.Window.SetPanel(1, c.Text[kSaveErrorText]);
        break;
    case TxOutcome::Busy:
        break;
    case TxOutcome::NoAnswer:
        if (r->readBackDiffered) {
            c.Window.Message(kSaveNotKept);
            c.Window.SetPanel(1, c.Text[kSaveErrorText]);
            return MsrOutcome::NotKept;
        }
        [[fallthrough]];
    default:
        c.Window.Message(c.Text[kNoReaderText]);
        c.Window.SetPanel(1, c.Text[kSaveErrorText]);
        break;
    }
    return r->outcome == TxOutcome::FrameRejected && tooLong ? MsrOutcome::TooLong
                                                             : OutcomeOf(c, *r);
}

} // namespace

std::string RemoveBrand(std::string text) {
    static const char kBrand[] = "KELDO";
    const size_t n = sizeof kBrand - 1;
    // Repeated until none is left, so that taking one out cannot join the pieces of
    // another ("KEKELDOLDO").
    for (bool found = true; found;) {
        found = false;
        for (size_t i = 0; i + n <= text.size(); ++i) {
            size_t k = 0;
            while (k < n && std::toupper(static_cast<unsigned char>(text[i + k])) == kBrand[k])
                ++k;
            if (k == n) {
                text.erase(i, n);
                found = true;
                break;
            }
        }
    }
    return text;
}

MsrOutcome MsrProbe(const TMsrContext &c) {
    if (ReaderBusy()) return MsrOutcome::Busy;
    ReaderOperation operation;
    if (!(UsesHid(c.Link) ? c.Link.HidBound : c.Link.SerialBound)) {
        c.Window.Message(UsesHid(c.Link) ? kHidOpenError : kSerialOpenError);
        return MsrOutcome::NotBound;
    }
    c.Window.SetPanel(0, kProbePanel);
    const auto r = ReadConfiguration(c);
    switch (r->outcome) {
    case TxOutcome::NoReader:
        if (UsesHid(c.Link)) c.Window.Message(kProbeNoDevice);
        c.Window.SetPanel(1, kProbeError);
        break;
    case TxOutcome::DefaultKeyCodes:
        c.Window.SetPanel(1, c.Text[kLoadErrorText]);
        break;
    case TxOutcome::NoAnswer:
    case TxOutcome::FrameRejected:
        c.Window.SetPanel(1, kProbeError);
        break;
    case TxOutcome::Ok:
    case TxOutcome::EmptyImage:
        c.Window.SetPanel(1, kProbeSuccess);
        ApplyDecoded(c, *r);
        return MsrOutcome::Success;
    case TxOutcome::NotBound:
    case TxOutcome::Busy:
        return OutcomeOf(c, *r);
    }
    // A failed probe leaves the window showing the record it cleared, so nothing of an
    // earlier reader stays on screen.
    c.Window.RecordToControls();
    return OutcomeOf(c, *r);
}

MsrOutcome MsrLoad(const TMsrContext &c) {
    if (ReaderBusy()) return MsrOutcome::Busy;
    ReaderOperation operation;
    if (!(UsesHid(c.Link) ? c.Link.HidBound : c.Link.SerialBound)) {
        c.Window.Message(c.Text[OpenErrorText(c.Link)]);
        return MsrOutcome::NotBound;
    }
    c.Window.SetPanel(0, c.Text[kLoadText]);
    ClearLayers(c.Settings);
    const auto r = ReadConfiguration(c);
    if (Succeeded(*r)) {
        c.Window.SetPanel(1, c.Text[kLoadSuccessText]);
        ApplyDecoded(c, *r);
        c.Window.Message(c.Text[kLoadSuccessfulText]);
        return MsrOutcome::Success;
    }
    switch (r->outcome) {
    case TxOutcome::DefaultKeyCodes:
        c.Window.SetPanel(1, c.Text[kLoadErrorText]);
        c.Window.Message(c.Text[kDefaultKeyCodesText]);
        break;
    case TxOutcome::NotBound:
        c.Window.Message(c.Text[OpenErrorText(c.Link)]);
        break;
    case TxOutcome::Busy:
        break;
    default:
        c.Window.Message(c.Text[kNoReaderText]);
        c.Window.SetPanel(1, c.Text[kLoadErrorText]);
        break;
    }
    return OutcomeOf(c, *r);
}

MsrOutcome MsrSave(const TMsrContext &c) {
    if (ReaderBusy()) return MsrOutcome::Busy;
    ReaderOperation operation;
    return Save(c);
}

MsrOutcome MsrSetDefault(const TMsrContext &c) {
    if (ReaderBusy()) return MsrOutcome::Busy;
    ReaderOperation operation;
    ClearLayers(c.Settings);
    c.Window.ShowDefaults();
    return Save(c);
}

MsrOutcome MsrSetMode(const TMsrContext &c, bool testMode) {
    if (ReaderBusy()) return MsrOutcome::Busy;
    ReaderOperation operation;
    const int base = testMode ? kTestModeText : kNormalModeText; // +1 error, +2 success
    c.Window.SetPanel(0, c.Text[base]);
    TxOptions opts;
    opts.command = TxCommand::Mode;
    const auto r =
        std::make_unique<TxResult>(Run(c, opts, testMode ? frames::TestMode : frames::NormalMode));
    switch (r->outcome) {
    case TxOutcome::Ok:
        c.Window.SetPanel(1, c.Text[base + 2]);
        c.Window.Message(c.Text[kSettingSuccessfulText]);
        break;
    case TxOutcome::NotBound:
        c.Window.Message(c.Text[OpenErrorText(c.Link)]);
        c.Window.SetPanel(1, c.Text[base + 1]);
        break;
    case TxOutcome::Busy:
        break;
    default:
        c.Window.Message(c.Text[kNoReaderText]);
        c.Window.SetPanel(1, c.Text[base + 1]);
        break;
    }
    return OutcomeOf(c, *r);
}

MsrOutcome MsrVersion(const TMsrContext &c) {
    if (ReaderBusy()) return MsrOutcome::Busy;
    ReaderOperation operation;
    c.Window.SetPanel(0, c.Text[kVersionText]);
    const bool hid = UsesHid(c.Link);
    auto versionOf = [](const TxResult &r) {
        const auto *p = reinterpret_cast<const char *>(r.reply);
        return RemoveBrand(std::string(p, frames::VersionTextLength(r.reply, kReplySize)));
    };
    TxOptions opts;
    opts.command = TxCommand::ReadVersion;
    // Over USB HID the box is shown while the device is still open; over the serial
    // transport once it is closed.
    if (hid)
        opts.beforeClose = [&](const TxResult &r) {
            c.Window.VersionBox(c.Text[kVersionCaptionText], versionOf(r));
        };
    const auto r = std::make_unique<TxResult>(Run(c, opts, frames::ReadVersion));
    switch (r->outcome) {
    case TxOutcome::Ok:
        if (!hid) c.Window.VersionBox(c.Text[kVersionCaptionText], versionOf(*r));
        c.Window.SetPanel(1, c.Text[kVersionText + 2]);
        break;
    case TxOutcome::NotBound:
        c.Window.Message(c.Text[OpenErrorText(c.Link)]);
        c.Window.SetPanel(1, c.Text[kVersionText + 1]);
        break;
    case TxOutcome::NoReader:
        c.Window.SetPanel(1, c.Text[kVersionText + 1]);
        c.Window.Message(c.Text[kNoReaderText]);
        break;
    case TxOutcome::Busy:
        break;
    default:
        c.Window.Message(c.Text[kNoReaderText]);
        c.Window.SetPanel(1, c.Text[kVersionText + 1]);
        break;
    }
    return OutcomeOf(c, *r);
}
