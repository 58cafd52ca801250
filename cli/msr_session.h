// The configuration window's operations without a window: the record, the controls as plain
// values, and a window that keeps what the operations would have shown.
#pragma once

#include "cli.h"
#include "config/mapping.h"
#include "config/msr_settings.h"
#include "link/msr_operations.h"
#include "link/reader_link.h"
#include "shell/ui_text.h"

#include <memory>
#include <string>
#include <vector>

class TCliMsrWindow : public TMsrWindow {
  public:
    explicit TCliMsrWindow(TMsrSettings &settings) : Settings(settings) {}

    void SetPanel(int, const std::string &) override {}
    void Message(const std::string &text) override { Messages.push_back(text); }
    void VersionBox(const std::string &, const std::string &text) override { Version = text; }
    void SetEnabled(bool) override {}
    void ControlsToRecord() override { ::ControlsToRecord(Controls, Settings); }
    void RecordToControls() override { ::RecordToControls(Settings, Controls); }
    int LanguageChoice() override { return Controls.Language; }
    void ShowSavedPorts() override {}
    void ShowDefaults() override { DefaultControls(Controls); }
    void ReaderRefused(int status) override { RefusedStatus = status; }

    // The window as it is created: its initial control values.
    TMsrControls Controls = InitialControls();
    std::vector<std::string> Messages;
    std::string Version;
    int RefusedStatus = 0;

  private:
    TMsrSettings &Settings;
};

// One reader, one record, one window: what a command works on.
class TMsrSession {
  public:
    TMsrSession();
    TMsrSession(const TMsrSession &) = delete;
    TMsrSession &operator=(const TMsrSession &) = delete;

    // Loads the library as the configuration window does (USB HID only). "" or why not.
    std::string Bind();
    TMsrContext Context() { return TMsrContext{Link, *Settings, Text, Window}; }

    TReaderLink Link;
    std::unique_ptr<TMsrSettings> Settings; // large: kept off the stack
    TUiText Text;
    TCliMsrWindow Window;
};

// A failed operation's exit status, with its one-line error on the error stream; kExitOk on
// success. `m` is the session the operation ran in.
int ReportOutcome(const TCliStreams &io, const TMsrSession &m, MsrOutcome outcome);
// The same as a text and its exit status, written nowhere ("" and kExitOk on success).
std::string OutcomeText(const TMsrSession &m, MsrOutcome outcome, int &status);

// The error of a reader that answered with a status byte other than success.
std::string RefusedText(int status);
