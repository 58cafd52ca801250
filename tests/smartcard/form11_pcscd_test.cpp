// The PC/SC window offscreen against a private pcscd with the vpcd driver and the virtual
// card of the library's tests, through the real smart-card library.
#include "card_scripts.h"
#include "pcsc_lab.h"
#include "program_test.h"
#include "shell/ui/TForm1.h"
#include "smartcard/ui/TForm11.h"

#include <PCSC/winscard.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {
using brenmark_lab::Bytes;
using Texts_ = std::vector<QString>;

QString Hex(const Bytes &bytes) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()))
            .toHex()
            .toUpper());
}

class Form11Pcscd : public ProgramTest {
  protected:
    void SetUp() override {
        const auto &a = brenmark_lab::availability();
        if (!a.usable) GTEST_SKIP() << "private pcscd cannot run here: " << a.reason;
        ProgramTest::SetUp();
        Form11->BrenmarkLibraryFile = BRENMARK_FILE;
    }
    void TearDown() override {
        // The library lives on in the process: leave it without a card or context.
        if (Form11 && Form11->PcscLink.Bound) Form11->PcscLink.PS_FreeDevice();
        card_.reset();
        daemon_.stop();
        if (Form1) ProgramTest::TearDown();
    }

    void Start(const std::vector<std::string> &names) {
        std::string error;
        ASSERT_TRUE(daemon_.start(names, &error)) << error;
    }
    // One device (two readers) with a card in the first.
    void StartWithCard(const Bytes &atr, const std::string &friendly = "Lab Reader") {
        ASSERT_NO_FATAL_FAILURE(Start({friendly}));
        reader_ = friendly + " 00 00";
        InsertCard(atr);
    }
    void InsertCard(const Bytes &atr) {
        if (reader_.empty()) reader_ = "Lab Reader 00 00";
        card_ = std::make_unique<brenmark_lab::VirtualCard>(atr, brenmark_lab::lab_card_script());
        ASSERT_TRUE(card_->insert(daemon_.port(0)));
        ASSERT_TRUE(brenmark_lab::wait_for_card(reader_, true, 5000)) << daemon_.log();
    }
    void RemoveCard() {
        card_->remove();
        ASSERT_TRUE(brenmark_lab::wait_for_card(reader_, false, 5000));
    }

    void Choose() {
        Form1->RadioButton2->setChecked(true);
        QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);
        ASSERT_TRUE(Form11->isVisible());
        ASSERT_EQ(Questions(), 0);
    }
    // Clicks a button; returns the boxes it showed.
    std::vector<QString> Click(QPushButton *button) {
        msgbox::clearShown();
        QTest::mouseClick(button, Qt::LeftButton);
        return Texts();
    }
    std::vector<QString> Send(const QString &text) {
        Form11->Edit1->setText(text);
        return Click(Form11->BitBtn5);
    }
    std::vector<QString> Items() const {
        std::vector<QString> items;
        for (int i = 0; i < Form11->ComboBox1->count(); ++i)
            items.push_back(Form11->ComboBox1->itemText(i));
        return items;
    }
    QString Response() const { return Form11->Edit2->text(); }

    brenmark_lab::PrivatePcscd daemon_;
    std::unique_ptr<brenmark_lab::VirtualCard> card_;
    std::string reader_;
};

const Texts_ kSent = {"TransmitData Successful"};
const Texts_ kNotSent = {"TransmitData Error"};
} // namespace

TEST_F(Form11Pcscd, NoReaderThenNoService) {
    ASSERT_NO_FATAL_FAILURE(Start({}));
    Choose();
    EXPECT_EQ(Texts(), Texts_{"Can't find PS/SC Device"});
    EXPECT_EQ(Form11->ComboBox1->count(), 0);
    EXPECT_EQ(Form11->ComboBox1->currentText(), "");
    // The service's own code for an empty reader list.
    EXPECT_EQ(Click(Form11->BitBtn1),
              Texts_{QString::number(int(LONG(SCARD_E_NO_READERS_AVAILABLE)))});
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Error"});
    daemon_.stop();
    EXPECT_EQ(Click(Form11->BitBtn1), Texts_{"-1004"});
    EXPECT_EQ(Form11->ComboBox1->count(), 0);
    // Showing again says so again.
    Form11->close();
    msgbox::clearShown();
    Choose();
    EXPECT_EQ(Texts(), Texts_{"Can't find PS/SC Device"});
}

TEST_F(Form11Pcscd, OneDeviceListsTwoReadersAndExchanges) {
    ASSERT_NO_FATAL_FAILURE(StartWithCard(brenmark_lab::kAtrT0));
    Choose();
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(Items(), (Texts_{"Lab Reader 00 00", "Lab Reader 00 01"}));
    EXPECT_EQ(Form11->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(Click(Form11->BitBtn1), Texts_{"0"});
    EXPECT_EQ(Items().size(), 2u);
    EXPECT_EQ(Form11->ComboBox1->currentIndex(), 0);

    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Send("0084000004"), kSent);
    EXPECT_EQ(Response(), "A0A1A2A39000");
    EXPECT_EQ(Form11->Edit2->toolTip(), "Sent: 00 84 00 00 04\n"
                                        "Response: 6 bytes\n"
                                        "Data: A0 A1 A2 A3\n"
                                        "SW1 SW2: 90 00 (Normal processing)");
    // Status words only.
    EXPECT_EQ(Send("00A40000023F00"), kSent);
    EXPECT_EQ(Response(), "9000");
    // 256 data bytes.
    EXPECT_EQ(Send("0084000000"), kSent);
    EXPECT_EQ(Response().size(), 516);
    EXPECT_TRUE(Response().startsWith("A0A1A2"));
    EXPECT_TRUE(Response().endsWith("9F9000"));
    // 261 bytes do not fit a short response: an error, and nothing shown.
    EXPECT_EQ(Send("80CB000000"), kNotSent);
    EXPECT_EQ(Response(), "");
    EXPECT_EQ(Click(Form11->BitBtn4), Texts_{"ATRReset Successful"});
    EXPECT_EQ(Click(Form11->BitBtn3), Texts_{"CLOSE Successful"});
    EXPECT_EQ(Send("0084000004"), kNotSent);
    EXPECT_EQ(card_->commands().size(), 4u);
}

TEST_F(Form11Pcscd, LongReaderNameStillOpensAndExchanges) {
    ASSERT_NO_FATAL_FAILURE(StartWithCard(brenmark_lab::kAtrT0, std::string(110, 'L')));
    Choose();
    ASSERT_EQ(Items().size(), 2u);
    EXPECT_EQ(Items()[0], QString(99, 'L'));
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Send("0084000002"), kSent);
    EXPECT_EQ(Response(), "A0A19000");
}

TEST_F(Form11Pcscd, OpenWithoutACardTwiceAndWhileAnotherHoldsIt) {
    ASSERT_NO_FATAL_FAILURE(Start({"Lab Reader"}));
    Choose();
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Error"});
    ASSERT_NO_FATAL_FAILURE(InsertCard(brenmark_lab::kAtrT0));
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Send("0084000001"), kSent);
    EXPECT_EQ(Click(Form11->BitBtn3), Texts_{"CLOSE Successful"});

    SCARDCONTEXT context;
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context), SCARD_S_SUCCESS);
    SCARDHANDLE other;
    DWORD protocol = 0;
    ASSERT_EQ(SCardConnect(context, reader_.c_str(), SCARD_SHARE_EXCLUSIVE,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &other, &protocol),
              SCARD_S_SUCCESS);
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Error"});
    SCardDisconnect(other, SCARD_LEAVE_CARD);
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    // The window holds the card now; closing it lets the other program in.
    Form11->close();
    EXPECT_EQ(SCardConnect(context, reader_.c_str(), SCARD_SHARE_EXCLUSIVE,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &other, &protocol),
              SCARD_S_SUCCESS);
    SCardDisconnect(other, SCARD_LEAVE_CARD);
    SCardReleaseContext(context);
}

TEST_F(Form11Pcscd, ResetBeforeAfterOpenAfterRemovalAndWithTheLongestAnswerToReset) {
    ASSERT_NO_FATAL_FAILURE(StartWithCard(brenmark_lab::kAtrT0));
    Choose();
    EXPECT_EQ(Click(Form11->BitBtn4), Texts_{"ATRReset Error"});
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Click(Form11->BitBtn4), Texts_{"ATRReset Successful"});
    ASSERT_NO_FATAL_FAILURE(RemoveCard());
    EXPECT_EQ(Click(Form11->BitBtn4), Texts_{"ATRReset Error"});
    EXPECT_EQ(Send("0084000004"), kNotSent);

    ASSERT_NO_FATAL_FAILURE(InsertCard(brenmark_lab::kAtr33));
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Click(Form11->BitBtn4), Texts_{"ATRReset Successful"});
    EXPECT_EQ(Send("0084000004"), kSent);
}

TEST_F(Form11Pcscd, FreeThenOpenNeedsANewListing) {
    ASSERT_NO_FATAL_FAILURE(StartWithCard(brenmark_lab::kAtrT0));
    Choose();
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_TRUE(Click(Form11->Button1).empty());
    EXPECT_EQ(Send("0084000004"), kNotSent);
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Error"});
    EXPECT_EQ(Click(Form11->BitBtn1), Texts_{"0"});
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Send("0084000004"), kSent);
}

TEST_F(Form11Pcscd, RefreshEndsTheConnection) {
    ASSERT_NO_FATAL_FAILURE(StartWithCard(brenmark_lab::kAtrT0));
    Choose();
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Send("0084000004"), kSent);
    EXPECT_EQ(Click(Form11->BitBtn1), Texts_{"0"});
    EXPECT_EQ(Send("0084000004"), kNotSent);
    EXPECT_EQ(Response(), "");
}

TEST_F(Form11Pcscd, CardOfferingOnlyT1) {
    ASSERT_NO_FATAL_FAILURE(StartWithCard(brenmark_lab::kAtrT1));
    Choose();
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Send("0084000004"), kSent);
    EXPECT_EQ(Response(), "A0A1A2A39000");
    EXPECT_EQ(Click(Form11->BitBtn4), Texts_{"ATRReset Successful"});
}

TEST_F(Form11Pcscd, WithoutAutoGetResponseTheCardsOwnAnswerShows) {
    ASSERT_NO_FATAL_FAILURE(StartWithCard(brenmark_lab::kAtrT0));
    Choose();
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Send("00A4040002F04C"), kSent);
    EXPECT_EQ(Response(), "6110");
    EXPECT_EQ(Form11->Edit2->toolTip(),
              "Sent: 00 A4 04 00 02 F0 4C\n"
              "Response: 2 bytes\n"
              "Data: none\n"
              "SW1 SW2: 61 10 (Normal processing: 16 response bytes still available)");
    EXPECT_EQ(Send("00B0000000"), kSent);
    EXPECT_EQ(Response(), "6C08");
    EXPECT_EQ(Form11->Edit2->toolTip(), "Sent: 00 B0 00 00 00\n"
                                        "Response: 2 bytes\n"
                                        "Data: none\n"
                                        "SW1 SW2: 6C 08 (Wrong Le field: 8 bytes available)");
    EXPECT_EQ(card_->commands().size(), 2u);
}

TEST_F(Form11Pcscd, AutoGetResponseShowsTheFinalAnswer) {
    ASSERT_NO_FATAL_FAILURE(StartWithCard(brenmark_lab::kAtrT0));
    Choose();
    Form11->CheckBox1->setChecked(true);
    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Send("00A4040002F04C"), kSent);
    EXPECT_EQ(Response(), Hex(brenmark_lab::kSelectData) + "9000");
    EXPECT_EQ(Form11->Edit2->toolTip(), "Sent: 00 A4 04 00 02 F0 4C\n"
                                        "Sent: 00 C0 00 00 10\n"
                                        "Response: 18 bytes\n"
                                        "Data: 6F 0E 84 08 F0 4C 41 42 2D 31 00 01 A5 02 88 01\n"
                                        "SW1 SW2: 90 00 (Normal processing)");
    EXPECT_EQ(Send("00B0000000"), kSent);
    EXPECT_EQ(Response(), Hex(brenmark_lab::kFileData) + "9000");
    EXPECT_EQ(Form11->Edit2->toolTip(), "Sent: 00 B0 00 00 00\n"
                                        "Sent: 00 B0 00 00 08\n"
                                        "Response: 10 bytes\n"
                                        "Data: 10 20 30 40 50 60 70 80\n"
                                        "SW1 SW2: 90 00 (Normal processing)");
    // Answers that need nothing more are shown as they came.
    EXPECT_EQ(Send("0084000004"), kSent);
    EXPECT_EQ(Response(), "A0A1A2A39000");
    EXPECT_EQ(card_->commands(), (std::vector<Bytes>{{0x00, 0xA4, 0x04, 0x00, 0x02, 0xF0, 0x4C},
                                                     {0x00, 0xC0, 0x00, 0x00, 0x10},
                                                     {0x00, 0xB0, 0x00, 0x00, 0x00},
                                                     {0x00, 0xB0, 0x00, 0x00, 0x08},
                                                     {0x00, 0x84, 0x00, 0x00, 0x04}}));
}

int main(int argc, char **argv) {
    // Before any smart-card call: points the client library at the private daemon.
    brenmark_lab::availability();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
