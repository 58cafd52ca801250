#pragma once
#include "config/mapping.h"
#include "config/msr_settings.h"
#include "link/reader_link.h"

#include <QMainWindow>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class TUpDown;
class TMsrWindowView;

// "KM5530_MSR V1.00": the magnetic-stripe reader's configuration window. It owns the
// configuration record and the transport binding; the windows it opens (test page, key
// code editor, text entry, IC card test) use both through the global Form2.
class TForm2 : public QMainWindow {
    Q_OBJECT
  public:
    explicit TForm2(QWidget *parent = nullptr);
    ~TForm2() override;

    TMsrSettings MsrSettings{};
    TReaderLink ReaderLink{};
    // The chooser's card and iButton routes, copied at each showing (the test page reads them).
    uint8_t CardOnUsb = 0;
    uint8_t IButtonOnSerial = 0;

    // Library file names the first showing binds (tests point them elsewhere).
    std::string HidLibraryFile = "liblorvane.so";
    std::string SerialLibraryFile = "libserivo.so";

    // True from a showing until its connection probe has run (or was dropped because the
    // window was hidden first); the probe runs from the event queue once the window shows.
    bool ProbeQueued() const { return ProbePending; }

    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString &text);

    // The copies between controls and record.
    void ReadControls(TMsrControls &c) const;
    void WriteControls(const TMsrControls &c);
    void ControlsToRecord();
    void RecordToControls();
    // ComboBox3's choice: an item index, or kLanguageUnknown while it shows "UNKNOW".
    int LanguageChoice() const;

  public slots:
    void FormShow();
    void Button1Click();  // Load
    void Button2Click();  // Normal Mode
    void Button3Click();  // Test Mode
    void Button4Click();  // Save
    void Button5Click();  // Set Default
    void Button6Click();  // Test MSR
    void Button7Click();  // radio pairs from the layer modes (editors press it)
    void Button11Click(); // Open File
    void Button12Click(); // Save File
    void BitBtn1Click();  // EXIT
    void Version1Click(); // read version
    void About1Click();
    void CheckBoxTrackClick(int track);
    void ComboBox4Change();
    void ComboBox5Change();
    void RadioButtonMouseDown(int radioButton);
    // The IC card tab and the IC CARD TEST window (TForm2_ic.cpp).
    void Button8Click();  // IC POWER UP
    void Button9Click();  // IC POWER DOWN
    void Button10Click(); // SEND
    void ICCARDTEST1Click();

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void BuildIsoPage(QWidget *page);
    void BuildJis2Page(QWidget *page);
    void BuildIButtonPage(QWidget *page);
    void BuildIcCardPage(QWidget *page);
    void BuildMenu();
    void BuildStatusBar();
    QGroupBox *PickerGroup(const QString &caption, int asciiButton);
    QWidget *OrderRow(QWidget *parent, bool remove);
    void SetEditColour(QLineEdit *edit);
    void ApplyControls(const TMsrControls &c);
    void StepUpDown(int upDown, bool up);
    void ConnectIcCard();
    void RunIcCard(int operation);

  public:
    // Controls by component number (index 0 unused where the name has no 0).
    QLineEdit *Edit[16] = {};
    QCheckBox *CheckBox[12] = {};
    QRadioButton *RadioButton[19] = {};
    QComboBox *ComboBox[7] = {};
    QPushButton *Button[13] = {};
    TUpDown *UpDown[5] = {};
    QPushButton *BitBtn1 = nullptr;
    QLabel *Label13 = nullptr, *Label27 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet[5] = {};
    QPlainTextEdit *Memo1 = nullptr, *Memo2 = nullptr;
    QMenuBar *MainMenu1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLabel *Panel[2] = {};
    QAction *Load1 = nullptr, *NomalMode1 = nullptr, *TestMode1 = nullptr, *Save1 = nullptr,
            *SetDefault1 = nullptr, *OpenFile1 = nullptr, *SaveFile1 = nullptr, *Exit1 = nullptr,
            *ICCARDTEST1 = nullptr, *ICCARDTEST1Separator = nullptr, *EXIT2 = nullptr,
            *CurrentConnection1 = nullptr, *Version1 = nullptr, *About1 = nullptr;
    QMenu *Operations1 = nullptr, *Help1 = nullptr, *CurrentConnection1Menu = nullptr;

  private:
    void RunQueuedProbe(quint64 showing);

    std::unique_ptr<TMsrWindowView> View;
    quint64 Showings = 0;
    bool ProbePending = false;
    struct TMsrContext Context();
};
