// The reader test page end to end: opened from the configuration window, keys typed as a
// swipe, the reader-not-found path, and serial bytes from the virtual reader's line
// received by the page's thread.
#include "gui_fixture.h"
#include "shell/ui/TForm9.h"
#include "diagnostics/ui/TForm3.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <atomic>
#include <thread>

void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

std::atomic<int> gFlagF{0};
ComFlagFn gRealFlagF = nullptr;
extern "C" int CountingFlagF() {
    ++gFlagF;
    return gRealFlagF ? gRealFlagF() : 0;
}

class TestPage : public ReaderGuiTest {
  protected:
    void SetUp() override {
        ReaderGuiTest::SetUp();
        gFlagF = 0;
        Choose();
        gRealFlagF = Form2->ReaderLink.Set_flagF;
        Form2->ReaderLink.Set_flagF = CountingFlagF;
    }
    // "Test MSR" in the configuration window.
    void OpenPage() {
        Form2->Button[6]->click();
        ASSERT_TRUE(Form3->isVisible());
        ASSERT_FALSE(Form2->isEnabled());
    }
    void Serial(int portNameIndex = 1) {
        UseSerialLine();
        Form2->IButtonOnSerial = 1;
        Form2->ReaderLink.SerialPort = 1;
        Form1->PortChoice.PortNameIndex = portNameIndex;
    }
    static QString Memo() { return Form3->Memo1->toPlainText(); }
    static void Send(const std::string &bytes) {
        ASSERT_EQ(vr_serial_send(reinterpret_cast<const unsigned char *>(bytes.data()),
                                 int(bytes.size())),
                  int(bytes.size()));
    }
    // The memo shows each "\r\n" as one line break.
    static bool MemoIs(const QString &text) { return Memo() == text; }
};

TEST_F(TestPage, LayoutHiddenControlsAndPortRadios) {
    EXPECT_EQ(Form3->windowTitle(), "MSR Test Page");
    EXPECT_EQ(Form3->Label3->text(), "MSR PORT :");
    EXPECT_EQ(Form3->Label4->text(), "USB_HID");
    EXPECT_EQ(Form3->KeyInputOff, 1);
    EXPECT_EQ(Form3->StopRequested.load(), 1);
    const char *const captions[][2] = {
        {"Button1", "TEST START"}, {"Button2", "TEST STOP"}, {"BitBtn1", "EXIT"}};
    for (const auto &c : captions) {
        auto *b = Form3->findChild<QPushButton *>(c[0]);
        ASSERT_NE(b, nullptr) << c[0];
        EXPECT_EQ(b->text(), c[1]);
        EXPECT_TRUE(b->isHidden());
    }
    EXPECT_EQ(Form3->GroupBox1->title(), "Select Test Port");
    EXPECT_EQ(Form3->GroupBox2->title(), "COM Setting");
    EXPECT_TRUE(Form3->GroupBox1->isHidden());
    EXPECT_TRUE(Form3->GroupBox2->isHidden());
    EXPECT_TRUE(Form3->RadioButton1->isChecked());
    EXPECT_EQ(Form3->RadioButton2->text(), "COM Port");
    EXPECT_EQ(Form3->ComboBox1->count(), 16);
    EXPECT_EQ(Form3->ComboBox1->itemText(15), "COM16");
    EXPECT_EQ(Form3->ComboBox2->itemText(2), "115200");
    // Outside the window area.
    EXPECT_GE(Form3->GroupBox1->x(), Form3->width());
    EXPECT_GE(Form3->Button1->x(), Form3->width());

    Form3->RadioButton1Click();
    EXPECT_FALSE(Form3->ComboBox1->isEnabled());
    EXPECT_EQ(Form3->ComboBox1->palette().color(QPalette::Base), QColor(0xA0, 0xA0, 0xA4));
    Form3->RadioButton2Click();
    EXPECT_TRUE(Form3->ComboBox1->isEnabled());
    EXPECT_EQ(Form3->ComboBox1->palette().color(QPalette::Base),
              Form3->palette().color(QPalette::Button));
}

TEST_F(TestPage, ASwipeOverUsbAppearsAsTypedAndReachesNoControl) {
    OpenPage();
    EXPECT_EQ(Form3->Label4->text(), "USB");
    // Keys before the posted start are not the reader's.
    QTest::keyClicks(Form3->Memo1, "early");
    EXPECT_TRUE(Memo().isEmpty());
    ASSERT_TRUE(WaitFor([] { return Form3->KeyInputOff == 0; }));
    EXPECT_EQ(Form3->StopRequested.load(), 0);

    QTest::keyClicks(Form3->Memo1, "%B4000123412341234^DOE/JOHN^2512?");
    QTest::keyClick(Form3->Memo1, Qt::Key_Return);
    QTest::keyClicks(Form3->Memo1, ";4000123412341234=2512?");
    QTest::keyClick(Form3->Memo1, Qt::Key_Enter);
    EXPECT_EQ(Memo(), "%B4000123412341234^DOE/JOHN^2512?\n;4000123412341234=2512?\n");
    EXPECT_EQ(Form3->Memo1->document()->blockCount(), 3); // "\r\n" is one line break

    // Keys sent to the page's other controls (even hidden ones) end in the memo too.
    Form3->ComboBox1->setCurrentIndex(5);
    QTest::keyClicks(Form3->ComboBox1, "C");
    QTest::keyClicks(Form3, "7");
    EXPECT_EQ(Form3->ComboBox1->currentIndex(), 5);
    EXPECT_TRUE(Memo().endsWith("\nC7"));
    // Keys without text add nothing.
    QTest::keyClick(Form3->Memo1, Qt::Key_F5);
    EXPECT_TRUE(Memo().endsWith("\nC7"));
    EXPECT_EQ(Form3->ReceiveThreadsStarted(), 0);

    Form3->close();
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_GE(gFlagF.load(), 1); // the serial library is bound: told to stop all the same

    // Showing the page again starts a new test on an empty memo.
    OpenPage();
    EXPECT_TRUE(Memo().isEmpty());
    EXPECT_EQ(Form3->KeyInputOff, 1);
}

TEST_F(TestPage, TestStopAndStartFromTheHiddenButtons) {
    OpenPage();
    ASSERT_TRUE(WaitFor([] { return Form3->KeyInputOff == 0; }));
    QTest::keyClicks(Form3->Memo1, "ab");
    Form3->Button2->click();
    EXPECT_EQ(Form3->KeyInputOff, 1);
    EXPECT_EQ(Form3->StopRequested.load(), 1);
    QTest::keyClicks(Form3->Memo1, "cd");
    EXPECT_EQ(Memo(), "ab");
    Form3->Button1->click();
    EXPECT_EQ(Memo(), "");
    QTest::keyClicks(Form3->Memo1, "e");
    EXPECT_EQ(Memo(), "e");
    Form3->BitBtn1->click(); // EXIT
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(TestPage, NeitherRouteBringsUpTheReaderNotFoundWindow) {
    Form2->CardOnUsb = 0;
    Form2->IButtonOnSerial = 0;
    OpenPage();
    EXPECT_TRUE(Form9->isVisible());
    EXPECT_EQ(Form9->Label2->text(), "USB AND COM");
    ASSERT_TRUE(WaitFor([] { return !Form3->isVisible(); }));
    EXPECT_FALSE(Form2->isEnabled()); // until the notice is closed
    EXPECT_EQ(Form3->ReceiveThreadsStarted(), 0);
    Form9->BitBtn1->click();
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(TestPage, ClosingBeforeThePostedStartStartsNothing) {
    Serial();
    OpenPage();
    Form3->close();
    EXPECT_TRUE(Form2->isEnabled());
    Drain();
    EXPECT_EQ(Form3->ReceiveThreadsStarted(), 0);
    EXPECT_EQ(Form3->KeyInputOff, 1);
}

TEST_F(TestPage, SerialBytesAndTypedKeysShareTheMemoInOrder) {
    Serial(1);
    OpenPage();
    EXPECT_EQ(Form3->Label4->text(), "USB COM6");
    ASSERT_TRUE(WaitFor([] { return Form3->SerialReceiving(); }));
    Send("1234\r");
    ASSERT_TRUE(WaitFor([] { return Memo() == "1234\n"; })) << Memo().toStdString();
    QTest::keyClicks(Form3->Memo1, "ab");
    Send(std::string("\r\n56\0"
                     "7\xE9",
                     7));
    ASSERT_TRUE(WaitFor([] { return Memo().size() >= 11; }));
    EXPECT_EQ(Memo(), QString::fromLatin1("1234\nab\n567\xE9"));
    EXPECT_EQ(Form3->ReceiveThreadsStarted(), 1);

    // Closing joins the thread before the configuration window is enabled.
    Form3->close();
    EXPECT_FALSE(Form3->ReceiveThreadRunning());
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_GE(gFlagF.load(), 1);
    // Bytes sent after the close reach no memo.
    Send("late");
    Drain();
    EXPECT_EQ(Memo(), QString::fromLatin1("1234\nab\n567\xE9"));
}

TEST_F(TestPage, PortWithoutSerialRouteLabelsOnlyThePort) {
    Serial(2);
    Form2->CardOnUsb = 0;
    OpenPage();
    EXPECT_EQ(Form3->Label4->text(), " COM1");
    ASSERT_TRUE(WaitFor([] { return Form3->SerialReceiving(); }));
    // Over the serial route alone, typed keys still reach the memo.
    QTest::keyClicks(Form3->Memo1, "k");
    EXPECT_EQ(Memo(), "k");
    Form3->close();
}

TEST_F(TestPage, OpenCloseAndReopenInOneTurnRunsOneThread) {
    Serial();
    OpenPage();
    Form3->close();
    OpenPage();
    ASSERT_TRUE(WaitFor([] { return Form3->SerialReceiving(); }));
    Drain();
    EXPECT_EQ(Form3->ReceiveThreadsStarted(), 1);
    Send("AB");
    ASSERT_TRUE(WaitFor([] { return Memo().size() >= 2; }));
    Drain();
    EXPECT_EQ(Memo(), "AB");

    // A new start joins the running thread before its own begins.
    Form3->Button1->click();
    EXPECT_EQ(Form3->ReceiveThreadsStarted(), 2);
    ASSERT_TRUE(WaitFor([] { return Form3->SerialReceiving(); }));
    Send("C");
    ASSERT_TRUE(WaitFor([] { return Memo() == "C"; })) << Memo().toStdString();
    Form3->close();
    EXPECT_FALSE(Form3->ReceiveThreadRunning());
}

TEST_F(TestPage, APortThatCannotBeOpenedIsReportedOnTheWindowThread) {
    Serial();
    setenv("SERIVO_DEVICE", "/nonexistent/tty", 1);
    Form2->CardOnUsb = 0;
    OpenPage();
    ASSERT_TRUE(WaitFor([] { return !msgbox::shown().empty(); }));
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_EQ(msgbox::shown()[0].caption, "MSR Configuration");
    EXPECT_EQ(msgbox::shown()[0].text, "Can't Open the COM!!");
    EXPECT_EQ(msgbox::offThreadCalls(), 0);
    ASSERT_TRUE(WaitFor([] { return !Form3->ReceiveThreadRunning(); }));
    QTest::keyClicks(Form3->Memo1, "k");
    EXPECT_EQ(Memo(), "k");
    Form3->close();
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(TestPage, WithoutTheSerialLibraryNothingIsCalledThroughIt) {
    Serial();
    Form2->ReaderLink.SerialBound = 0;
    OpenPage();
    ASSERT_TRUE(WaitFor([] { return Form3->KeyInputOff == 0; }));
    EXPECT_EQ(Texts(), std::vector<QString>{"The COM.dll Open Error!"});
    EXPECT_EQ(Form3->ReceiveThreadsStarted(), 0);
    QTest::keyClicks(Form3->Memo1, "k");
    EXPECT_EQ(Memo(), "k");
    Form3->close();
    EXPECT_EQ(gFlagF.load(), 0);
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(TestPage, DestroyingTheWindowsJoinsARunningThread) {
    Serial();
    OpenPage();
    ASSERT_TRUE(WaitFor([] { return Form3->SerialReceiving(); }));
    // TearDown destroys the windows while the thread runs; the page's destructor ends it.
}

TEST(MessageBoxSeam, ACallFromAnotherThreadIsRefused) {
    msgbox::setTestMode(true);
    msgbox::clearShown();
    msgbox::resetOffThreadCalls();
    std::thread([] { msgbox::information(nullptr, "from a thread"); }).join();
    EXPECT_EQ(msgbox::offThreadCalls(), 1);
    EXPECT_TRUE(msgbox::shown().empty());
    msgbox::information(nullptr, "from the window thread");
    EXPECT_EQ(msgbox::shown().size(), 1u);
    msgbox::resetOffThreadCalls();
    msgbox::clearShown();
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The serial library's reply time-out: a silent reader fails three attempts quickly.
    if (qEnvironmentVariableIsEmpty("SERIVO_TIMEOUT_MS")) qputenv("SERIVO_TIMEOUT_MS", "300");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
