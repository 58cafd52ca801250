#pragma once
#include "contactless/mifare_operations.h"
#include "shell/ui/busy_cursor.h"

class TForm10;

// The Mifare One window as its operations see it.
class TMifareWindowView : public TMifareWindow {
  public:
    explicit TMifareWindowView(TForm10 *form);
    std::string Text(TMifareField field) override;
    void SetText(TMifareField field, const std::string &text) override;
    bool KeyB(bool purse) override;
    void Message(const std::string &text) override;
    bool Ask(const std::string &caption, const std::string &text) override;
    void SetEnabled(bool enabled) override;
    void Pause(int milliseconds) override;

  private:
    TForm10 *Form;
    TBusyWhileDisabled Busy;
};
