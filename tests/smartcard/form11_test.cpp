// The PC/SC window offscreen on a stand-in library with scripted results: binding,
// listing limits, the command field and the response field. Needs no smart-card service.
#include "busy_cursor_log.h"
#include "program_test.h"
#include "shell/ui/TForm1.h"
#include "smartcard/ui/TForm11.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {
using Bytes = std::vector<uint8_t>;

// The stand-in library's own controls, from the copy the window loads.
struct TFake {
    explicit TFake(const char *file) {
        void *h = dlopen(file, RTLD_NOW);
        EXPECT_NE(h, nullptr) << dlerror();
        reset = reinterpret_cast<void (*)()>(dlsym(h, "fake_ps_reset"));
        setList =
            reinterpret_cast<void (*)(int, int, const char *, int)>(dlsym(h, "fake_ps_set_list"));
        setResult = reinterpret_cast<void (*)(int, int)>(dlsym(h, "fake_ps_set_result"));
        setAnswer = reinterpret_cast<void (*)(const unsigned char *, int, int)>(
            dlsym(h, "fake_ps_set_answer"));
        calls = reinterpret_cast<int (*)(int)>(dlsym(h, "fake_ps_calls"));
        lastOpen = reinterpret_cast<int (*)()>(dlsym(h, "fake_ps_last_open_index"));
        lastCommand =
            reinterpret_cast<int (*)(unsigned char *, int)>(dlsym(h, "fake_ps_last_command"));
    }
    Bytes LastCommand() const {
        Bytes b(4096);
        const int n = lastCommand(b.data(), int(b.size()));
        b.resize(n < 0 ? 0 : size_t(n));
        return b;
    }
    int AllCalls() const {
        int n = 0;
        for (int i = 0; i < 6; ++i)
            n += calls(i);
        return n;
    }
    void (*reset)();
    void (*setList)(int, int, const char *, int);
    void (*setResult)(int, int);
    void (*setAnswer)(const unsigned char *, int, int);
    int (*calls)(int);
    int (*lastOpen)();
    int (*lastCommand)(unsigned char *, int);
};
enum { kList, kOpen, kClose, kFree, kTransmit, kReset };

const TFake &Full() {
    static const TFake fake(FAKE_FULL);
    return fake;
}
const TFake &Partial() {
    static const TFake fake(FAKE_PARTIAL);
    return fake;
}

class Form11Fake : public ProgramTest {
  protected:
    void SetUp() override {
        ProgramTest::SetUp();
        Full().reset();
        Partial().reset();
    }

    // Chooses "PS/SC Device" in the chooser, with the window bound to `file`.
    void Choose(const char *file = FAKE_FULL) {
        Form11->BrenmarkLibraryFile = file;
        Form1->RadioButton2->setChecked(true);
        QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);
        ASSERT_TRUE(Form11->isVisible());
    }
    void Click(QPushButton *button) {
        msgbox::clearShown();
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // Types a command and sends it; returns the bytes that reached the library.
    Bytes Send(const QString &text) {
        Form11->Edit1->setText(text);
        Click(Form11->BitBtn5);
        return Full().LastCommand();
    }
    std::vector<QString> Items() const {
        std::vector<QString> items;
        for (int i = 0; i < Form11->ComboBox1->count(); ++i)
            items.push_back(Form11->ComboBox1->itemText(i));
        return items;
    }
};

using Texts_ = std::vector<QString>;
} // namespace

TEST_F(Form11Fake, BusyCursorWhileTheCardServiceIsAsked) {
    std::vector<int> boxCursors;
    msgbox::setWhileShown([&](const msgbox::Shown &) { boxCursors.push_back(OverrideCursor()); });
    Choose();
    // Each button, and each with the library failing.
    for (bool failing : {false, true}) {
        if (failing)
            for (int entry : {kList, kOpen, kClose, kTransmit, kReset})
                Full().setResult(entry, -1003);
        for (QPushButton *button : {Form11->BitBtn1, Form11->BitBtn2, Form11->BitBtn4,
                                    Form11->BitBtn5, Form11->BitBtn3, Form11->Button1}) {
            Click(button);
            EXPECT_EQ(OverrideCursor(), kNoCursor) << button->text().toStdString();
        }
    }
    Form11->close();
    EXPECT_EQ(OverrideCursor(), kNoCursor);
    msgbox::setWhileShown({});
    // Every box came while the service was being asked: under the busy cursor (a real box
    // puts the arrow up over it).
    ASSERT_GE(boxCursors.size(), 8u);
    for (int shape : boxCursors)
        EXPECT_EQ(shape, kBusyCursor);
}

TEST_F(Form11Fake, LayoutCarriesEveryControlWithItsCaption) {
    EXPECT_EQ(Form11->windowTitle(), "KELDO three in one 2014_PCSC");
    const struct {
        const char *name, *caption;
    } buttons[] = {{"BitBtn1", "Refresh"}, {"BitBtn2", "Open"}, {"BitBtn3", "Close"},
                   {"BitBtn4", "Reset"},   {"Button1", "Free"}, {"BitBtn5", "Apdu"},
                   {"BitBtn6", "EXIT"}};
    for (const auto &b : buttons) {
        auto *button = Form11->findChild<QPushButton *>(b.name);
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->text(), b.caption);
    }
    EXPECT_EQ(Form11->findChild<QLabel *>("Label1")->text(), "Reader List:");
    EXPECT_EQ(Form11->findChild<QLabel *>("Label2")->text(), "Receive:");
    ASSERT_NE(Form11->findChild<QComboBox *>("ComboBox1"), nullptr);
    auto *edit1 = Form11->findChild<QLineEdit *>("Edit1");
    auto *edit2 = Form11->findChild<QLineEdit *>("Edit2");
    ASSERT_TRUE(edit1 && edit2);
    EXPECT_EQ(edit1->text(), "0084000004");
    EXPECT_TRUE(edit2->isReadOnly());
    EXPECT_FALSE(edit2->isEnabled());
    auto *check = Form11->findChild<QCheckBox *>("CheckBox1");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->text(), "Auto GET RESPONSE");
    EXPECT_FALSE(check->isChecked());
}

TEST_F(Form11Fake, FirstShowingBindsAndListsWithoutAQuestion) {
    Choose();
    EXPECT_EQ(Questions(), 0);
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Items(), (Texts_{"Lab Reader 00 00", "Lab Reader 00 01"}));
    EXPECT_EQ(Form11->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(Full().calls(kList), 1);
    // Every showing lists again, the binding stays.
    Form11->close();
    EXPECT_EQ(Form1->PortChoice.FirstShowPcsc, 0);
    EXPECT_TRUE(Form1->isVisible());
    Choose();
    EXPECT_EQ(Full().calls(kList), 2);
    EXPECT_EQ(Questions(), 0);
}

TEST_F(Form11Fake, MissingLibraryAsksAndTheButtonsCallNothing) {
    Choose(MISSING_FILE);
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_TRUE(msgbox::shown()[0].isQuestion);
    EXPECT_EQ(msgbox::shown()[0].caption, "The brenmark.dll Is Not Open!");
    EXPECT_EQ(msgbox::shown()[0].text, "Are you sure to close the application program");
    EXPECT_FALSE(ProgramEndRequested());
    EXPECT_TRUE(Form11->isVisible());
    for (QPushButton *b : {Form11->BitBtn1, Form11->BitBtn2, Form11->BitBtn3, Form11->BitBtn4,
                           Form11->Button1, Form11->BitBtn5}) {
        Click(b);
        EXPECT_EQ(Texts(), Texts_{"The brenmark.dll Open Error!"}) << b->objectName().toStdString();
    }
    // EXIT only closes; showing the window again neither asks nor lists.
    Click(Form11->BitBtn6);
    EXPECT_TRUE(Texts().empty());
    EXPECT_FALSE(Form11->isVisible());
    Choose(FAKE_FULL);
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Full().AllCalls(), 0);
    EXPECT_EQ(Form11->ComboBox1->count(), 0);
}

TEST_F(Form11Fake, FiveEntryPointsAskAndReopeningCallsNothing) {
    Choose(FAKE_PARTIAL);
    ASSERT_EQ(Questions(), 1);
    EXPECT_EQ(msgbox::shown()[0].caption, "The brenmark.dll Open Error!");
    EXPECT_EQ(msgbox::shown()[0].text, "Are you sure to close the application program");
    EXPECT_EQ(msgbox::shown().size(), 1u); // the showing ends at the question
    EXPECT_EQ(Partial().AllCalls(), 0);
    Form11->close();
    EXPECT_EQ(Partial().AllCalls(), 0); // not even the close box's disconnect
    msgbox::clearShown();
    Choose(FAKE_PARTIAL);
    EXPECT_TRUE(Texts().empty());
    Click(Form11->BitBtn5);
    Click(Form11->BitBtn1);
    EXPECT_EQ(Texts(), Texts_{"The brenmark.dll Open Error!"});
    EXPECT_EQ(Partial().AllCalls(), 0);
}

TEST_F(Form11Fake, YesToEitherQuestionEndsTheProgram) {
    msgbox::setNextAnswer(true);
    Choose(FAKE_PARTIAL);
    EXPECT_TRUE(ProgramEndRequested());
    ResetProgramEnd();
    Form11->close();
    Form11->PcscLink = TPcscLink{};
    Form1->PortChoice.FirstShowPcsc = 1;
    msgbox::setNextAnswer(true);
    Choose(MISSING_FILE);
    EXPECT_TRUE(ProgramEndRequested());
    EXPECT_EQ(Questions(), 2);
}

TEST_F(Form11Fake, ListingIsHeldToTwentyNamesOfAHundredBytes) {
    // 25 readers claimed, 2000 bytes without a single terminator.
    std::string bytes(2000, 'n');
    for (int i = 0; i < 20; ++i)
        bytes[size_t(i) * 100] = char('A' + i);
    Full().setList(0, 25, bytes.data(), int(bytes.size()));
    Choose();
    ASSERT_EQ(Form11->ComboBox1->count(), 20);
    for (int i = 0; i < 20; ++i) {
        const QString item = Form11->ComboBox1->itemText(i);
        ASSERT_EQ(item.size(), 100);
        EXPECT_EQ(item[0], QChar('A' + i));
    }
    // The index chosen is the index sent.
    Form11->ComboBox1->setCurrentIndex(19);
    Click(Form11->BitBtn2);
    EXPECT_EQ(Full().lastOpen(), 19);
    EXPECT_EQ(Texts(), Texts_{"OPEN Successful"});

    // A negative count lists nothing.
    Full().setList(0, -4, bytes.data(), int(bytes.size()));
    Click(Form11->BitBtn1);
    EXPECT_EQ(Texts(), Texts_{"0"});
    EXPECT_EQ(Form11->ComboBox1->count(), 0);
    EXPECT_EQ(Form11->ComboBox1->currentText(), "Can't Find Smart reader");
}

TEST_F(Form11Fake, ReaderListTakesNoNewItemsAndTypedTextChoosesNoReader) {
    Choose();
    Form11->ComboBox1->lineEdit()->selectAll();
    QTest::keyClicks(Form11->ComboBox1->lineEdit(), "Typed name");
    QTest::keyClick(Form11->ComboBox1->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(Form11->ComboBox1->count(), 2);
    Full().setResult(kOpen, -1001);
    Click(Form11->BitBtn2);
    EXPECT_EQ(Full().lastOpen(), -1);
    EXPECT_EQ(Texts(), Texts_{"OPEN Error"});
}

TEST_F(Form11Fake, CommandTextBecomesBytes) {
    Choose();
    EXPECT_EQ(Send("0084000004"), (Bytes{0x00, 0x84, 0x00, 0x00, 0x04}));
    EXPECT_EQ(Send("00A4040"), (Bytes{0x00, 0xA4, 0x04, 0x00}));
    EXPECT_EQ(Send("ABC"), (Bytes{0xAB, 0xC0}));
    EXPECT_EQ(Send("00 84 00 00 04"), (Bytes{0x00, 0x84, 0x00, 0x00, 0x04}));
    EXPECT_EQ(Send("1 23"), (Bytes{0x12, 0x30}));
    // One byte: a command that the virtual card's driver could not carry.
    EXPECT_EQ(Send("  00 "), Bytes{0x00});
    EXPECT_EQ(Texts(), Texts_{"TransmitData Successful"});
    EXPECT_EQ(Form11->Edit2->text(), "9000");
    const Bytes long_command = Send(QString(1023, 'C'));
    ASSERT_EQ(long_command.size(), 512u);
    EXPECT_EQ(long_command.back(), 0xC0);
    const int sent = Full().calls(kTransmit);
    for (const QString &text : {QString("   "), QString(1024, 'C'), QString("00G4")}) {
        Form11->Edit1->setText(text);
        Click(Form11->BitBtn5);
        EXPECT_EQ(Texts(), Texts_{"Please input APDU data! "}) << text.left(8).toStdString();
    }
    EXPECT_EQ(Full().calls(kTransmit), sent);
}

TEST_F(Form11Fake, CommandFieldRefusesWhatIsNoHexText) {
    QLineEdit *e = Form11->Edit1;
    e->clear();
    e->setFocus();
    QTest::keyClicks(e, "0a g-Z1f");
    EXPECT_EQ(e->text(), "0A 1F");
    // Pasted text is taken whole or not at all.
    QApplication::clipboard()->setText("00 b0 00 00 08");
    e->paste();
    EXPECT_EQ(e->text(), "0A 1F00 B0 00 00 08");
    e->clear();
    QApplication::clipboard()->setText("00 B0\t00");
    e->paste();
    EXPECT_EQ(e->text(), "");
    QApplication::clipboard()->setText(QString(1024, '1'));
    e->paste();
    EXPECT_EQ(e->text(), "");
    QApplication::clipboard()->setText(QString(1023, '1'));
    e->paste();
    EXPECT_EQ(e->text().size(), 1023);
    QTest::keyClick(e, Qt::Key_2);
    EXPECT_EQ(e->text().size(), 1023); // one more would not fit: refused, not cut
    // Dropped and composed text arrive as insertions; the same rule holds.
    e->clear();
    e->insert("xyz");
    EXPECT_EQ(e->text(), "");
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("\u00E4"));
    QCoreApplication::sendEvent(e, &composed);
    EXPECT_EQ(e->text(), "");
    composed.setCommitString("ff");
    QCoreApplication::sendEvent(e, &composed);
    EXPECT_EQ(e->text(), "FF");
}

TEST_F(Form11Fake, ResponseLengthFromTheLibraryIsHeld) {
    Choose();
    const unsigned char answer[] = {0x12, 0x34, 0x90, 0x00};
    Full().setAnswer(answer, 4, 1 << 30);
    Send("0084000004");
    EXPECT_EQ(Texts(), Texts_{"TransmitData Successful"});
    EXPECT_EQ(Form11->Edit2->text().size(), 2048);
    EXPECT_TRUE(Form11->Edit2->text().startsWith("12349000000000"));
    Full().setAnswer(answer, 4, -1);
    Send("0084000004");
    EXPECT_EQ(Form11->Edit2->text(), "");
    Full().setAnswer(answer, 4, 4);
    Send("0084000004");
    EXPECT_EQ(Form11->Edit2->text(), "12349000");
    EXPECT_EQ(Form11->Edit2->toolTip(), "Sent: 00 84 00 00 04\nResponse: 4 bytes\n"
                                        "Data: 12 34\nSW1 SW2: 90 00 (Normal processing)");
}

TEST_F(Form11Fake, FailedExchangeLeavesNoOldAnswerShowing) {
    Choose();
    Send("0084000004");
    ASSERT_FALSE(Form11->Edit2->text().isEmpty());
    Full().setResult(kTransmit, -1003);
    Send("0084000004");
    EXPECT_EQ(Texts(), Texts_{"TransmitData Error"});
    EXPECT_EQ(Form11->Edit2->text(), "");
    // A new showing also starts empty.
    Full().setResult(kTransmit, 0);
    Send("0084000004");
    Form11->close();
    Choose();
    EXPECT_EQ(Form11->Edit2->text(), "");
}

TEST_F(Form11Fake, ClosingInAnyWayEndsTheConnectionOnce) {
    Choose();
    Click(Form11->BitBtn6);
    EXPECT_EQ(Full().calls(kClose), 1);
    EXPECT_TRUE(Texts().empty());
    EXPECT_FALSE(Form11->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(Form1->PortChoice.FirstShowPcsc, 0);
    Choose();
    Form11->close(); // the close box
    EXPECT_EQ(Full().calls(kClose), 2);
    EXPECT_EQ(Full().calls(kFree), 0);
}

TEST_F(Form11Fake, ButtonsReportWhatTheLibrarySays) {
    Choose();
    Full().setResult(kList, -1006);
    Click(Form11->BitBtn1);
    EXPECT_EQ(Texts(), Texts_{"-1006"});
    EXPECT_EQ(Form11->ComboBox1->count(), 0);
    Click(Form11->BitBtn2);
    EXPECT_EQ(Full().lastOpen(), -1);
    Full().setResult(kClose, 3);
    Click(Form11->BitBtn3);
    EXPECT_EQ(Texts(), Texts_{"CLOSE Error"});
    Click(Form11->BitBtn4);
    EXPECT_EQ(Texts(), Texts_{"ATRReset Successful"});
    Click(Form11->Button1);
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Full().calls(kFree), 1);
}
