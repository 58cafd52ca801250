#pragma once
#include "contactless/rfid_link.h"

#include <QWidget>
#include <memory>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TMifareWindowView;

// "KELDO three in one 2014_RFID": the Mifare One card window. It binds the HID reader library
// under its second file name on its first showing; its operations run in the Qt-free
// mifare_operations over the window view. Closing it returns to the chooser.
class TForm10 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm10(QWidget *parent = nullptr);
    ~TForm10() override;

    TRfidLink RfidLink{};
    // The library file the first showing binds (tests point it elsewhere).
    std::string RfidLibraryFile = kRfidLibraryFile;

  public slots:
    void FormShow();
    void Button1Click(); // SearchCard
    void Button2Click(); // Read Card
    void Button3Click(); // Write Card
    void BitBtn1Click(); // Initialize
    void BitBtn2Click(); // Increase
    void BitBtn3Click(); // Decrease
    void BitBtn4Click(); // Balance
    void BitBtn5Click(); // EXIT
    void Edit8Change();

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  public:
    // Controls by component number (index 0 unused).
    QLabel *Label[13] = {};
    QComboBox *ComboBox[6] = {};
    QLineEdit *Edit[10] = {};
    QRadioButton *RadioButton[5] = {};
    QPushButton *Button[4] = {};
    QPushButton *BitBtn[6] = {};
    QGroupBox *GroupBox1 = nullptr, *GroupBox2 = nullptr, *GroupBox4 = nullptr;

  private:
    QWidget *BuildOperationWindow(QWidget *parent);
    QWidget *BuildPurse(QWidget *parent);
    std::unique_ptr<TMifareWindowView> View;
};
