#pragma once
#include "shell/ui/busy_cursor.h"
#include "diagnostics/ic_card.h"

#include <QValidator>

class QLineEdit;
class QPlainTextEdit;
class QWidget;

// A window of the IC card test as its operations see it: the window that is disabled
// during an exchange, its transcript memo and, on the configuration window's tab, the
// reply memo.
class TIcView : public TIcWindow {
  public:
    TIcView(QWidget *window, QPlainTextEdit *transcript, QPlainTextEdit *reply = nullptr)
        : Window(window), Busy(window), Transcript(transcript), Reply(reply) {}
    void SetEnabled(bool enabled) override;
    void Message(const std::string &text) override;
    void SetTranscript(const std::string &text) override;
    void AppendTranscript(const std::string &text) override;
    void SetReply(const std::string &text) override;

  private:
    QWidget *Window;
    // The busy cursor while the exchange holds the window.
    TBusyWhileDisabled Busy;
    QPlainTextEdit *Transcript;
    QPlainTextEdit *Reply;
};

// The APDU entries' key filter, also applied to pasted text: only hex digits and blanks,
// a to f turned into upper case.
class TApduValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

// Makes `edit` an APDU entry: the filter above and at most 1024 characters.
void MakeApduEntry(QLineEdit *edit);
// The entry's APDU bytes (blanks skipped).
std::vector<uint8_t> ApduOf(const QLineEdit *edit);
