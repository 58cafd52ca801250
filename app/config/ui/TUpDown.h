#pragma once
#include <QWidget>

class QToolButton;

// A pair of small arrow buttons beside a read-only number edit. It only reports the
// presses; the owner moves the number. It takes the focus (Tab, or a click on an arrow);
// focused, the Up and Down keys press an arrow once and Page Up and Page Down kPageStep
// times.
class TUpDown : public QWidget {
    Q_OBJECT
  public:
    explicit TUpDown(QWidget *parent = nullptr);

    static constexpr int kPageStep = 4;

    // Same as pressing the upper (`up` true) or the lower arrow.
    void Press(bool up);
    // The arrow presses of a key (also for the edit beside it); false for other keys.
    bool Key(int key);

  signals:
    void Pressed(bool up);

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    QToolButton *Up, *Down;
};
