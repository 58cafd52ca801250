#pragma once
#include "link/serial_receive.h"

#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>

class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class comthread;

// "MSR Test Page": shows what the reader delivers, keystrokes over USB and bytes over a
// serial port (received by comthread), in one memo. Opened modeless by the configuration
// window, which it disables until it closes; each showing starts a new test by itself.
class TForm3 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm3(QWidget *parent = nullptr);
    ~TForm3() override;

    // 1 while typed keys are not copied into the memo.
    uint8_t KeyInputOff = 1;
    // 1 tells the receive thread to end its loop; read by that thread.
    std::atomic<uint8_t> StopRequested{1};

    QLabel *Label3 = nullptr; // "MSR PORT :"
    QLabel *Label4 = nullptr; // the port text
    QPlainTextEdit *Memo1 = nullptr;
    // Never visible: kept outside the window area.
    QGroupBox *GroupBox1 = nullptr; // "Select Test Port"
    QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr;
    QPushButton *Button1 = nullptr; // "TEST START"
    QPushButton *Button2 = nullptr; // "TEST STOP"
    QPushButton *BitBtn1 = nullptr; // "EXIT"
    QGroupBox *GroupBox2 = nullptr; // "COM Setting"
    QLabel *Label1 = nullptr, *Label2 = nullptr;
    QComboBox *ComboBox1 = nullptr, *ComboBox2 = nullptr;

    void FormCreate();
    void FormShow();
    void Button1Click(); // TEST START
    void Button2Click(); // TEST STOP
    void BitBtn1Click(); // EXIT
    void RadioButton1Click();
    void RadioButton2Click();

    // For tests: receive threads started by this page, and whether one is running now.
    int ReceiveThreadsStarted() const { return ThreadsStarted; }
    bool ReceiveThreadRunning() const;
    // True once the running test's receive thread has the port open in receive mode.
    bool SerialReceiving() const { return Receiving; }

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void FormKeyPress(const QKeyEvent *event);
    void AppendToMemo(const QString &text);
    void ClearMemo();
    // Runs `click` from the event queue, unless the page was hidden or shown anew by then.
    void PostClick(void (TForm3::*click)());
    void ShowReaderNotFound();
    void StartReceiveThread();
    // StopRequested, then Set_flagF when the serial library is bound.
    void RequestStop();
    // Waits for the receive thread (at most `ms` milliseconds; -1: without a bound).
    // True when no receive thread is left running.
    bool JoinReceiveThread(int ms);
    void ThreadFinished(int id);

    std::unique_ptr<comthread> Thread;
    TSerialEntryPoints Serial; // the entry points the running thread was given
    quint64 Run = 0;           // bumped whenever the memo is cleared
    quint64 Showing = 0;       // bumped on every showing
    int ThreadsStarted = 0;
    bool Receiving = false;
    int ThreadId = 0; // ThreadsStarted when Thread was started
};
