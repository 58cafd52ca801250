#pragma once
#include <QWidget>

// The reader test page (opened by the configuration window's "Test MSR"). Until the page
// is built it only enables the configuration window again when it closes.
class TForm3 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm3(QWidget *parent = nullptr);

  protected:
    void closeEvent(QCloseEvent *event) override;
};
