#pragma once
#include <QWidget>

// The PC/SC card window; its controls come later. Closing it returns to the chooser.
class TForm11 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm11(QWidget *parent = nullptr);

  protected:
    void closeEvent(QCloseEvent *event) override;
};
