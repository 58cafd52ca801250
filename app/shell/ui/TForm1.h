#pragma once
#include "shell/port_choice.h"
#include "shell/ui_text.h"

#include <QWidget>

class QGroupBox;
class QRadioButton;
class QPushButton;

// The device chooser and main window: picks the device window to show, and owns the UI
// text table and the connection choice that the other windows read.
class TForm1 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm1(QWidget *parent = nullptr);

    TUiText UiText;
    TPortChoice PortChoice;

    QGroupBox *RadioGroup1 = nullptr;
    QRadioButton *RadioButton1 = nullptr; // "MSR Device"
    QRadioButton *RadioButton2 = nullptr; // "PS/SC Device"
    QRadioButton *RadioButton3 = nullptr; // "RFID Device"
    QPushButton *BitBtn1 = nullptr;       // go
    QPushButton *BitBtn2 = nullptr;       // quit

    void BitBtn1Click();
    void BitBtn2Click();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void FormCreate();
};
