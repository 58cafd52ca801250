#pragma once
#include "smartcard/pcsc_link.h"

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TPcscWindowView;

// "KELDO three in one 2014_PCSC": contact smart cards in PC/SC readers through the
// smart-card library, bound on the first showing. Closing it returns to the chooser.
class TForm11 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm11(QWidget *parent = nullptr);
    ~TForm11() override;

    TPcscLink PcscLink{};
    // The names of the last listing; item i of ComboBox1 is name i.
    std::vector<std::string> Readers;
    // Library file the first showing binds (tests point it elsewhere).
    std::string BrenmarkLibraryFile = "libbrenmark.so";

    QLabel *Label1 = nullptr, *Label2 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr, *BitBtn3 = nullptr, *BitBtn4 = nullptr,
                *BitBtn5 = nullptr, *BitBtn6 = nullptr, *Button1 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr;
    QCheckBox *CheckBox1 = nullptr; // Auto GET RESPONSE

  public slots:
    void FormShow();
    void BitBtn1Click(); // Refresh
    void BitBtn2Click(); // Open
    void BitBtn3Click(); // Close
    void BitBtn4Click(); // Reset
    void Button1Click(); // Free
    void BitBtn5Click(); // Apdu
    void BitBtn6Click(); // EXIT

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

  private:
    friend class TPcscWindowView;
    std::unique_ptr<TPcscWindowView> View;
    struct TPcscContext Context();
};
