#pragma once
#include <QWidget>

class TPicture;

// The cable picture: one picture stretched over the whole window. Closing it enables the
// chooser.
class TForm8 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm8(QWidget *parent = nullptr);

    TPicture *Image1 = nullptr;

  protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
};
