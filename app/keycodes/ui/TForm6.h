#pragma once
#include <QWidget>

// The text entry of a sequence (opened by the configuration window's picker buttons).
// Until the editor is built it only hands the configuration window back when it closes.
class TForm6 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm6(QWidget *parent = nullptr);

  protected:
    void closeEvent(QCloseEvent *event) override;
};
