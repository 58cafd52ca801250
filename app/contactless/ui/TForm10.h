#pragma once
#include <QWidget>

// The contactless (Mifare One) card window; its controls come later. Closing it returns to the
// chooser.
class TForm10 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm10(QWidget *parent = nullptr);

  protected:
    void closeEvent(QCloseEvent *event) override;
};
