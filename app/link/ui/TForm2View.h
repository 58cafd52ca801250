#pragma once
#include "link/msr_operations.h"
#include "shell/ui/busy_cursor.h"

class TForm2;

// The configuration window as its reader operations see it.
class TMsrWindowView : public TMsrWindow {
  public:
    explicit TMsrWindowView(TForm2 *form);
    void SetPanel(int panel, const std::string &text) override;
    void Message(const std::string &text) override;
    void VersionBox(const std::string &caption, const std::string &text) override;
    void SetEnabled(bool enabled) override;
    void ControlsToRecord() override;
    void RecordToControls() override;
    int LanguageChoice() override;
    void ShowSavedPorts() override;
    void ShowDefaults() override;

  private:
    TForm2 *Form;
    TBusyWhileDisabled Busy;
};
