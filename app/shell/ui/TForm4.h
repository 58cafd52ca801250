#pragma once
#include <QWidget>

class QLabel;
class QPushButton;
class TPicture;

// The about box: shown modeless by the configuration window, which disables itself first;
// closing the box enables it again.
class TForm4 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm4(QWidget *parent = nullptr);

    TPicture *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *BitBtn1 = nullptr; // "OK"

    void BitBtn1Click();

  protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
};
