#pragma once
#include <QLabel>
#include <functional>

// A caption that acts as a button: the click areas over a picture. Assistive technology
// sees a button named by the caption (its description says more where set), which it can
// press as a click does.
class TClickArea : public QLabel {
    Q_OBJECT
  public:
    TClickArea(const QString &caption, QWidget *parent);
    std::function<void()> OnClick;

  public slots:
    void click();

  protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
