#pragma once
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "ASCII_CODE": the text entry of the sequence the configuration window's record names in
// EditedSequence; OK stores the text as ASCII entries. A plain window rather than a dialog,
// so that every way of closing it runs its close steps.
class TForm6 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm6(QWidget *parent = nullptr);

  public slots:
    void BitBtn1Click(); // OK
    void BitBtn2Click(); // Cancel
    void Edit1Change();

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void FormShow();
    // The typed-key filter: true swallows the key.
    bool Edit1KeyPress(const QKeyEvent *event);

    class TTextValidator;
    TTextValidator *Validator = nullptr;

  public:
    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr;
};
