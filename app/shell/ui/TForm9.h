#pragma once
#include <QWidget>

class QLabel;
class QPushButton;

// The reader-not-found notice of the test page: the opener writes the port name into
// Label2. Showing it disables the configuration window, closing it enables it again.
class TForm9 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm9(QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QPushButton *BitBtn1 = nullptr; // "OK(&O)"

    void BitBtn1Click();

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
};
