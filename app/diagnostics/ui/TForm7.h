#pragma once
#include "diagnostics/ic_card.h"

#include <QWidget>

class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "IC CARD TEST": power up, power down and APDU exchanges with the IC card in the reader's
// slot, over the configuration window's transport binding. Opened modeless from the
// configuration window's (hidden) menu item, which it disables until it closes.
class TForm7 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm7(QWidget *parent = nullptr);

    QGroupBox *GroupBox1 = nullptr; // "Operation："
    QPushButton *Button1 = nullptr; // "IC POWER UP"
    QPushButton *Button2 = nullptr; // "IC POWER DOWN"
    QGroupBox *GroupBox2 = nullptr; // "APDU："
    QLineEdit *Edit1 = nullptr;
    QPushButton *Button3 = nullptr; // "SEND"
    QGroupBox *GroupBox3 = nullptr; // "Recevie："
    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *BitBtn1 = nullptr; // "EXIT"

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void BitBtn1Click();

  protected:
    void closeEvent(QCloseEvent *event) override;

  private:
    void Run(IcOperation operation);

    bool Exchanging = false;
};
