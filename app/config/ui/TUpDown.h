#pragma once
#include <QWidget>

class QToolButton;

// A pair of small arrow buttons beside a read-only number edit. It only reports the
// presses; the owner moves the number.
class TUpDown : public QWidget {
    Q_OBJECT
  public:
    explicit TUpDown(QWidget *parent = nullptr);

    // Same as pressing the upper (`up` true) or the lower arrow.
    void Press(bool up);

  signals:
    void Pressed(bool up);

  private:
    QToolButton *Up, *Down;
};
