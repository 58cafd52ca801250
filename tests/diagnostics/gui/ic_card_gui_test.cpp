// The IC card test end to end: the configuration window's hidden IC tab and the IC CARD
// TEST window, against the virtual reader's IC slot over USB HID and over its serial line.
#include "busy_cursor_log.h"
#include "diagnostics/ui/TForm7.h"
#include "gui_fixture.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

class IcCardGui : public ReaderGuiTest {
  protected:
    void SetUp() override {
        ReaderGuiTest::SetUp();
        Choose();
        vr_clear_log();
    }
    static void Click(int button) { Form2->Button[button]->click(); }
    static QString Transcript() { return Form2->Memo1->toPlainText(); }
    static QString Reply() { return Form2->Memo2->toPlainText(); }
    static void Apdu(const QString &text) {
        Form2->Edit[7]->setText(text);
        Click(10);
    }
    // A reader that takes every message and never answers, failing at once.
    static void Silence() {
        vr_set_silent(1);
        vr_set_fail_when_empty(1);
    }
};

TEST_F(IcCardGui, TheTabIsHiddenButComplete) {
    auto *tabs = Form2->PageControl1;
    EXPECT_FALSE(tabs->isTabVisible(3));
    EXPECT_EQ(tabs->tabText(3), "   IC_CARD   ");
    EXPECT_EQ(Form2->Button[8]->text(), "IC POWER UP");
    EXPECT_EQ(Form2->Button[9]->text(), "IC POWER DOWN");
    EXPECT_EQ(Form2->Button[10]->text(), "SEND");
    EXPECT_EQ(Form2->Edit[7]->maxLength(), 1024);
    EXPECT_EQ(Form2->Edit[7]->font(), Form2->Memo1->font()); // the fixed-pitch font
    EXPECT_FALSE(Form2->ICCARDTEST1->isVisible());
}

TEST_F(IcCardGui, PowerUpApduAndPowerDownOverUsb) {
    Click(8);
    EXPECT_EQ(Texts(), std::vector<QString>{"IC POWER UP Successful!"});
    EXPECT_EQ(Reply(), "3B 02 14 50 ");
    // The frame as the library sent it (A6 travels as 26), then the reader's report.
    EXPECT_TRUE(Transcript().startsWith("SEND:\n08 26 00 01 00 00 ")) << Transcript().toStdString();
    EXPECT_TRUE(Transcript().contains("\nRECEIVE:\n08 30 00 04 3B 02 14 50 00 "));
    EXPECT_TRUE(Form2->isEnabled());
    EXPECT_EQ(vr_ic_powered(), 1);

    msgbox::clearShown();
    Apdu("00A4040000");
    EXPECT_EQ(Reply(), "90 00 ");
    EXPECT_EQ(Texts(), std::vector<QString>{"APDU TEST Successful!"});
    std::vector<uint8_t> sent(16);
    sent.resize(size_t(vr_message(vr_message_count() - 1, sent.data(), 16)));
    EXPECT_EQ(sent, (std::vector<uint8_t>{0xA7, 0x00, 0xA4, 0x04, 0x00, 0x00}));

    // As technicians type it: blanks between the bytes.
    msgbox::clearShown();
    Apdu("00 B0 00 00 03");
    EXPECT_EQ(Reply(), "00 01 02 90 00 ");

    msgbox::clearShown();
    Click(9);
    EXPECT_EQ(Reply(), "SUCCESSFUL");
    EXPECT_EQ(Texts(), std::vector<QString>{"IC POWER DOWN Successful!"});
    EXPECT_EQ(vr_ic_powered(), 0);

    // A card that is not powered answers with status 0x31.
    msgbox::clearShown();
    Apdu("00A4040000");
    EXPECT_EQ(Reply(), "ERR=31 ");
    EXPECT_EQ(Texts(), std::vector<QString>{"APDU TEST Lose!"});
    EXPECT_TRUE(Transcript().contains("RECEIVE:\n08 31 00 00 "));
}

TEST_F(IcCardGui, UnpluggedAndSilentReaders) {
    Form2->Memo1->setPlainText("earlier");
    vr_set_present(0);
    Click(8);
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(vr_message_count(), 0);
    EXPECT_EQ(Transcript(), "earlier");
    EXPECT_TRUE(Form2->isEnabled());

    vr_set_present(1);
    Silence();
    msgbox::clearShown();
    Click(8);
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(CountMessages(0xA6), 3);
    EXPECT_EQ(Transcript().count("SEND:"), 1);
    EXPECT_FALSE(Transcript().contains("RECEIVE:"));
    EXPECT_EQ(Reply(), "");
    EXPECT_EQ(vr_open_handles(), 0);
}

TEST_F(IcCardGui, BusyCursorWhileTheCardIsTalkedToOnEveryPath) {
    const struct {
        const char *name;
        std::function<void()> reader;
    } readers[] = {
        {"answering", [] {}},
        {"silent", [] { Silence(); }},
        {"unplugged", [] { vr_set_present(0); }},
        {"without a card", [] { vr_set_ic_card_present(0); }},
    };
    for (const auto &reader : readers)
        for (int button : {8, 10, 9}) {
            // The configuration window's tab, then the test window.
            for (bool testWindow : {false, true}) {
                const std::string what = std::string(reader.name) + ", button " +
                                         std::to_string(button) + (testWindow ? ", window" : "");
                vr_reset();
                reader.reader();
                if (testWindow) Form2->ICCARDTEST1->trigger();
                QWidget *window = testWindow ? static_cast<QWidget *>(Form7) : Form2;
                std::vector<int> boxCursors;
                msgbox::setWhileShown(
                    [&](const msgbox::Shown &) { boxCursors.push_back(OverrideCursor()); });
                CursorLog log(window);
                Form2->Edit[7]->setText("00A4040000");
                Form7->Edit1->setText("00A4040000");
                if (testWindow)
                    (button == 8   ? Form7->Button1
                     : button == 9 ? Form7->Button2
                                   : Form7->Button3)
                        ->click();
                else
                    Click(button);
                log.ExpectBusyWhileDisabled(what);
                for (int shape : boxCursors)
                    EXPECT_EQ(shape, kNoCursor) << what;
                EXPECT_FALSE(boxCursors.empty()) << what;
                msgbox::setWhileShown({});
                if (testWindow) Form7->close();
            }
        }
}

TEST_F(IcCardGui, TwoUnansweredAttemptsThenAnAnswer) {
    vr_set_fail_when_empty(1);
    vr_set_unanswered(2);
    Click(8);
    EXPECT_EQ(CountMessages(0xA6), 3);
    EXPECT_EQ(Texts(), std::vector<QString>{"IC POWER UP Successful!"});
    EXPECT_EQ(Transcript().count("SEND:"), 1);
    EXPECT_EQ(Transcript().count("RECEIVE:"), 1);
    EXPECT_EQ(Reply(), "3B 02 14 50 ");
}

TEST_F(IcCardGui, StatusZeroIsNeverASuccess) {
    vr_set_command_status(0xA6, 0x00);
    Click(8);
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    vr_set_command_status(0xA6, -1);
    // Over the serial library a status 0 is a failed attempt as well.
    UseSerialLine();
    Form2->ReaderLink.ConnectionKind = 1;
    Form2->ReaderLink.SerialPort = 1;
    vr_set_command_status(0xA5, 0x00);
    msgbox::clearShown();
    Click(9);
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
}

TEST_F(IcCardGui, LongRepliesAreShownWholeOrRefused) {
    Click(8);
    std::vector<uint8_t> big(700);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7);
    vr_set_next_reply(0x30, big.data(), int(big.size()));
    msgbox::clearShown();
    Apdu("00B0000000");
    EXPECT_EQ(Texts(), std::vector<QString>{"APDU TEST Successful!"});
    ASSERT_EQ(Reply().size(), 3 * 700);
    EXPECT_EQ(Reply().right(6), "16 1D "); // bytes 698 and 699
    // The trace of the reply's reports is cut at its buffer.
    const qsizetype receive = Transcript().indexOf("RECEIVE:\n");
    ASSERT_GE(receive, 0);
    EXPECT_LE(Transcript().size() - receive - 9, 2047);

    // The test window has only the trace to show, and says where it was cut.
    Form2->ICCARDTEST1->trigger();
    vr_set_next_reply(0x30, big.data(), int(big.size()));
    msgbox::clearShown();
    Form7->Edit1->setText("00B0000000");
    Form7->Button3->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"APDU TEST Successful!"});
    EXPECT_TRUE(Form7->Memo1->toPlainText().endsWith(Reply()))
        << Form7->Memo1->toPlainText().right(80).toStdString();
    Form7->close();

    // More than the reply buffer holds: refused, and the next attempt gets the real reply.
    std::vector<uint8_t> huge(1100, 0x5A);
    vr_set_next_reply(0x30, huge.data(), int(huge.size()));
    vr_clear_log();
    msgbox::clearShown();
    Apdu("00A4040000");
    EXPECT_EQ(CountMessages(0xA7), 2);
    EXPECT_EQ(Reply(), "90 00 ");
    EXPECT_EQ(Texts(), std::vector<QString>{"APDU TEST Successful!"});
}

TEST_F(IcCardGui, ApduEntriesTakeHexDigitsAndBlanksOnly) {
    for (QLineEdit *edit : {Form2->Edit[7], Form7->Edit1}) {
        edit->clear();
        QTest::keyClicks(edit, "1a bg-Z");
        EXPECT_EQ(edit->text(), "1A B");
        QApplication::clipboard()->setText("00 a4 zz");
        edit->paste();
        EXPECT_EQ(edit->text(), "1A B");
        QApplication::clipboard()->setText("00 a4");
        edit->paste();
        EXPECT_EQ(edit->text(), "1A B00 A4");
        EXPECT_EQ(edit->maxLength(), 1024);
    }
}

TEST_F(IcCardGui, TheIcCardTestWindowFromTheHiddenMenuItem) {
    EXPECT_EQ(Form7->windowTitle(), "IC CARD TEST");
    EXPECT_EQ(Form7->GroupBox1->title(), QString::fromUtf8("Operation："));
    EXPECT_EQ(Form7->GroupBox2->title(), QString::fromUtf8("APDU："));
    EXPECT_EQ(Form7->GroupBox3->title(), QString::fromUtf8("Recevie："));
    EXPECT_EQ(Form7->Button1->text(), "IC POWER UP");
    EXPECT_EQ(Form7->Button2->text(), "IC POWER DOWN");
    EXPECT_EQ(Form7->Button3->text(), "SEND");
    EXPECT_EQ(Form7->BitBtn1->text(), "EXIT");

    Form2->ICCARDTEST1->trigger();
    ASSERT_TRUE(Form7->isVisible());
    EXPECT_FALSE(Form2->isEnabled());
    Form7->Button1->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"IC POWER UP Successful!"});
    const QString up = Form7->Memo1->toPlainText();
    EXPECT_TRUE(up.startsWith("SEND:\n08 26 "));
    EXPECT_TRUE(up.contains("RECEIVE:\n08 30 00 04 3B 02 14 50 "));
    EXPECT_TRUE(Form7->isEnabled());

    msgbox::clearShown();
    QTest::keyClicks(Form7->Edit1, "00a4040000");
    Form7->Button3->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"APDU TEST Successful!"});
    EXPECT_TRUE(Form7->Memo1->toPlainText().contains("RECEIVE:\n08 30 00 02 90 00 "));
    EXPECT_EQ(Form2->Memo2->toPlainText(), ""); // the tab's memos are not this window's

    msgbox::clearShown();
    Form7->Button2->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"IC POWER DOWN Successful!"});
    Form7->BitBtn1->click();
    EXPECT_FALSE(Form7->isVisible());
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(IcCardGui, TheTestWindowStaysWhileItsExchangeRunsAndAClickMeanwhileDoesNothing) {
    Form2->ICCARDTEST1->trigger();
    // Slow reports: the library pumps events while it waits, and these run then.
    vr_set_report_delay_us(20000);
    bool closedMidway = true;
    QTimer::singleShot(0, [&] {
        Form7->close();
        closedMidway = !Form7->isVisible();
        EXPECT_FALSE(Form7->isEnabled());
        Form2->Button8Click(); // reaches the configuration window while the exchange runs
    });
    Form7->Button1->click();
    EXPECT_FALSE(closedMidway);
    EXPECT_TRUE(Form7->isVisible());
    EXPECT_EQ(Texts(), std::vector<QString>{"IC POWER UP Successful!"});
    EXPECT_EQ(CountMessages(0xA6), 1);
    EXPECT_FALSE(Form2->isEnabled());
    Form7->close();
    EXPECT_TRUE(Form2->isEnabled());
}

TEST_F(IcCardGui, OverTheSerialLine) {
    UseSerialLine();
    Form2->ReaderLink.ConnectionKind = 1;
    Form2->ReaderLink.SerialPort = 1;
    Click(8);
    EXPECT_EQ(Texts(), std::vector<QString>{"IC POWER UP Successful!"});
    EXPECT_EQ(Reply(), "3B 02 14 50 ");
    // STX, length, A6 00, XOR, ETX; the reply STX, status, length, ATR, XOR, ETX.
    EXPECT_TRUE(Transcript().startsWith("SEND:\n02 00 02 A6 00 A4 03 \nRECEIVE:\n"
                                        "02 30 00 04 3B 02 14 50 49 03 "))
        << Transcript().toStdString();

    // An APDU answered with status "0" shows only what was sent, and its verdict.
    msgbox::clearShown();
    Apdu("00A4040000");
    EXPECT_EQ(Texts(), std::vector<QString>{"APDU TEST Successful!"});
    EXPECT_FALSE(Transcript().contains("RECEIVE:"));
    EXPECT_TRUE(Transcript().startsWith("SEND:\n02 00 06 A7 00 A4 04 00 00 "));
    EXPECT_EQ(Reply(), "");

    msgbox::clearShown();
    Click(9);
    EXPECT_EQ(Texts(), std::vector<QString>{"IC POWER DOWN Successful!"});
    msgbox::clearShown();
    Apdu("00A4040000");
    EXPECT_EQ(Texts(), std::vector<QString>{"APDU TEST Lose!"});
    EXPECT_TRUE(Transcript().contains("RECEIVE:\n02 31 00 00 31 03 "));
    EXPECT_EQ(Reply(), "");

    // The test window over the same line.
    Form2->ICCARDTEST1->trigger();
    msgbox::clearShown();
    Form7->Button1->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"IC POWER UP Successful!"});
    EXPECT_TRUE(Form7->Memo1->toPlainText().contains("RECEIVE:\n02 30 00 04 "));
    Form7->close();

    // A silent reader: three attempts, each waiting for the library's time-out.
    vr_set_silent(1);
    vr_clear_log();
    msgbox::clearShown();
    Click(8);
    EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
    EXPECT_EQ(CountMessages(0xA6), 3);
    EXPECT_EQ(Transcript().count("SEND:"), 1);
}

TEST_F(IcCardGui, SerialTransportWithoutItsLibrary) {
    Form2->ReaderLink.ConnectionKind = 1;
    Form2->ReaderLink.SerialBound = 0;
    Click(10);
    EXPECT_EQ(Texts(), std::vector<QString>{"The COM.dll Open Error!"});
    EXPECT_EQ(vr_message_count(), 0);
}

} // namespace
