#pragma once
// The reader operations of the configuration window (probe, Load, Save, Set Default,
// Normal Mode, Test Mode, Version), free of any window toolkit: the window is reached
// through TMsrWindow, the reader through a reader transaction.

#include "config/msr_settings.h"
#include "link/reader_link.h"
#include "shell/ui_text.h"

#include <string>

// What the operations need of the configuration window.
class TMsrWindow {
  public:
    virtual ~TMsrWindow() = default;
    virtual void SetPanel(int panel, const std::string &text) = 0;
    // A plain information box with OK; returns once the user dismissed it.
    virtual void Message(const std::string &text) = 0;
    // The version box: a caption and the reader's own text (single-byte characters).
    virtual void VersionBox(const std::string &caption, const std::string &text) = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual void ControlsToRecord() = 0;
    virtual void RecordToControls() = 0;
    // An item index of the language list, or kUnknownLanguage while it shows "UNKNOW".
    virtual int LanguageChoice() = 0;
    // A failed operation whose reader answered its last attempt with a status other than
    // success (outcome Refused): that status byte. The boxes do not show it.
    virtual void ReaderRefused(int status) { (void)status; }
    // After a Save: the port captions take the port boxes' texts.
    virtual void ShowSavedPorts() = 0;
    // Set Default: the default control values, then pending events run.
    virtual void ShowDefaults() = 0;
};

struct TMsrContext {
    TReaderLink &Link;
    TMsrSettings &Settings;
    const TUiText &Text;
    TMsrWindow &Window;
};

// Save: the reader answered the write, but the configuration read back is another one.
inline constexpr const char *kSaveNotKept =
    "The reader answered but does not hold the configuration sent.";

// Fixed texts of the connection probe.
inline constexpr const char *kProbePanel = "MSR_INIT";
inline constexpr const char *kProbeNoDevice = "Can't find MSR Device!";
inline constexpr const char *kProbeError = "MSR_INIT ERROR";
inline constexpr const char *kProbeSuccess = "MSR_INIT SUCCESS";

// Save while the language list shows "UNKNOW" and no language of the reader is kept.
inline constexpr const char *kNoLanguageTable =
    "The keyboard language is unknown and no reader has reported it in this session: choose "
    "a language before saving.";

// How an operation ended. The window shows it through its boxes and panels; a front end
// without a window reads it here.
enum class MsrOutcome {
    Success,         // including a Load answered "C" (an empty configuration)
    Busy,            // another operation was running: nothing was done
    NotBound,        // the selected transport is not bound
    NoReader,        // the transport did not open
    NoAnswer,        // three failed attempts
    Refused,         // three failed attempts, the last answered with a status (ReaderRefused)
    DefaultKeyCodes, // Load answered "A"
    TooLong,         // Save: a layer holds more than 20 bytes; nothing was written
    NotKept,         // Save: the reader answered, but read back it holds another block
    NoLanguage       // Save: "UNKNOW" with no language kept; nothing was written
};

// While another reader operation or a transaction runs (ReaderBusy), each of these returns
// at once and touches neither the record nor the window. Save and Set Default send one copy
// of the layers, modes and language taken before the first attempt.
MsrOutcome MsrProbe(const TMsrContext &c);
MsrOutcome MsrLoad(const TMsrContext &c);
MsrOutcome MsrSave(const TMsrContext &c);
MsrOutcome MsrSetDefault(const TMsrContext &c);
MsrOutcome MsrSetMode(const TMsrContext &c, bool testMode);
MsrOutcome MsrVersion(const TMsrContext &c);

// The version text as shown: every "KELDO", in any mix of case, taken out.
std::string RemoveBrand(std::string text);
