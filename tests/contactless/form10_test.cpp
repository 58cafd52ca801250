// The Mifare One window end to end: chosen from the chooser, binding the HID reader library
// under its second name and driving the virtual reader's card; what the reader received is
// checked frame by frame, message boxes are answered through the seam.
#include "busy_cursor_log.h"
#include "contactless/mifare_operations.h"
#include "contactless/ui/TForm10.h"
#include "program_test.h"
#include "shell/ui/TForm1.h"
#include "shell/ui/forms.h"
#include "shell/ui/message_box.h"
#include "shell/ui/program_exit.h"
#include "virtual_reader.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

// Readable failures.
void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using Bytes = std::vector<uint8_t>;

// One contactless command as the reader received it: its code and data, unescaped.
struct Frame {
    uint8_t code = 0;
    Bytes data;
    Bytes wire; // the message after its lead byte, as it travelled
    bool operator==(const Frame &o) const { return code == o.code && data == o.data; }
};

void PrintTo(const Frame &f, std::ostream *os) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X", f.code);
    *os << b << ":";
    for (uint8_t x : f.data) {
        std::snprintf(b, sizeof b, " %02X", x);
        *os << b;
    }
}

Frame F(uint8_t code, Bytes data) {
    return Frame{code, std::move(data), {}};
}

std::vector<Frame> Frames() {
    std::vector<Frame> frames;
    for (int i = 0; i < vr_message_count(); ++i) {
        Bytes m(4096);
        m.resize(size_t(vr_message(i, m.data(), int(m.size()))));
        if (m.empty() || m[0] != 0xA8) continue;
        Bytes unstuffed;
        for (size_t k = 2; k + 1 < m.size(); ++k) // between start and end byte
            unstuffed.push_back(m[k] == 0x10 ? m[++k] : m[k]);
        Frame f;
        f.wire.assign(m.begin() + 1, m.end());
        if (unstuffed.size() >= 5) {
            f.code = unstuffed[3];
            f.data.assign(unstuffed.begin() + 4, unstuffed.end() - 1);
        }
        frames.push_back(f);
    }
    return frames;
}

const Bytes kKey = {0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6};

Bytes Auth(int keyChoice, int sector, const Bytes &key = kKey) {
    Bytes d = {uint8_t(keyChoice ? 0x61 : 0x60), uint8_t(sector * 4)};
    d.insert(d.end(), key.begin(), key.end());
    return d;
}

Bytes CardBlock(int block) {
    Bytes b(16);
    vr_card_block(block, b.data());
    return b;
}

Bytes FromHexText(const QString &hex) {
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    return Bytes(bytes.begin(), bytes.end());
}

Bytes Concat(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Form10Test : public ProgramTest {
  protected:
    void SetUp() override {
        vr_reset();
        ProgramTest::SetUp();
    }
    void TearDown() override {
        ProgramTest::TearDown();
        vr_reset();
    }

    // Choosing "RFID Device" in the chooser shows the window.
    void Choose() {
        Form1->RadioButton3->setChecked(true);
        Form1->BitBtn1Click();
        ASSERT_TRUE(Form10->isVisible());
    }
    // Chosen, then the card searched; the log and the boxes start empty after it.
    void Search() {
        Choose();
        Form10->Button[1]->click();
        ASSERT_EQ(Texts(), std::vector<QString>{"Search Card Successful"});
        Forget();
    }
    void Forget() {
        vr_clear_log();
        msgbox::clearShown();
    }
    void Set(int edit, const QString &text) { Form10->Edit[edit]->setText(text); }
    void Select(int combo, int index) { Form10->ComboBox[combo]->setCurrentIndex(index); }
    QString Edit(int n) { return Form10->Edit[n]->text(); }
    std::vector<QString> Rows() { return {Edit(3), Edit(4), Edit(5), Edit(6)}; }
};

const std::vector<Frame> kSearchFrames = {F(0x05, {0x00}), F(0x3A, {0x41}),
                                          F(0x05, {0x01}), F(0x46, {0x52}),
                                          F(0x47, {0x04}), F(0x48, {0xA1, 0xB2, 0xC3, 0xD4})};

// --- showing and binding ----------------------------------------------------------------

TEST_F(Form10Test, LayoutNamesAndCaptions) {
    EXPECT_EQ(Form10->windowTitle(), "KELDO three in one 2014_RFID");
    const char *const captions[][2] = {{"Label1", "Select Card Type:："},
                                       {"Label2", "Sector："},
                                       {"Label3", "Block："},
                                       {"Label4", "1："},
                                       {"Label7", "4："},
                                       {"Label8", "Key:"},
                                       {"Label9", "Block："},
                                       {"Label10", "Sector："},
                                       {"Label11", "Key:"},
                                       {"Label12", "Data:"},
                                       {"Button1", "SearchCard"},
                                       {"Button2", "Read Card"},
                                       {"Button3", "Write Card"},
                                       {"BitBtn1", "Initialize"},
                                       {"BitBtn2", "Increase"},
                                       {"BitBtn3", "Decrease"},
                                       {"BitBtn4", "Balance"},
                                       {"BitBtn5", "EXIT"},
                                       {"RadioButton1", "A Key"},
                                       {"RadioButton2", "B Key"},
                                       {"RadioButton3", "A Key"},
                                       {"RadioButton4", "B Key"},
                                       {"GroupBox1", "MifareOne:"},
                                       {"GroupBox2", "Operation Window"},
                                       {"GroupBox4", "Purse Function"}};
    for (const auto &c : captions) {
        QWidget *w = Form10->findChild<QWidget *>(c[0]);
        ASSERT_NE(w, nullptr) << c[0];
        QString text = w->property("text").toString();
        if (auto *g = qobject_cast<QGroupBox *>(w)) text = g->title();
        EXPECT_EQ(text, QString::fromUtf8(c[1])) << c[0];
    }
    const struct {
        const char *name;
        int count;
    } combos[] = {
        {"ComboBox1", 1}, {"ComboBox2", 16}, {"ComboBox3", 4}, {"ComboBox4", 16}, {"ComboBox5", 4}};
    for (const auto &c : combos) {
        auto *combo = Form10->findChild<QComboBox *>(c.name);
        ASSERT_EQ(combo->count(), c.count) << c.name;
        EXPECT_EQ(combo->itemText(c.count - 1),
                  c.count == 1 ? "MifareOne" : QString::number(c.count - 1));
        EXPECT_FALSE(combo->isEditable());
    }
    for (int e = 1; e <= 9; ++e)
        EXPECT_NE(Form10->findChild<QLineEdit *>(QString("Edit%1").arg(e)), nullptr) << e;
    EXPECT_EQ(Form10->Edit[3]->maxLength(), 32);
    EXPECT_FALSE(Form10->Edit[9]->isEnabled());
    EXPECT_TRUE(Form10->GroupBox1->isAncestorOf(Form10->GroupBox4));
}

TEST_F(Form10Test, ShowingResetsTheFieldsKeepsTheKeyChoiceAndSendsNothing) {
    Choose();
    EXPECT_TRUE(msgbox::shown().empty());
    EXPECT_EQ(Form10->RfidLink.Bound, 1);
    EXPECT_EQ(vr_message_count(), 0);
    EXPECT_EQ(Edit(2), "7B3E51A9C4D6");
    EXPECT_EQ(Edit(7), "7B3E51A9C4D6");
    EXPECT_TRUE(Form10->RadioButton[1]->isChecked());

    for (int e : {1, 2, 3, 4, 5, 6, 7, 8})
        Set(e, "12");
    for (int c = 2; c <= 5; ++c)
        Select(c, 3);
    Form10->RadioButton[2]->setChecked(true);
    Form10->RadioButton[4]->setChecked(true);
    Form10->close();
    EXPECT_EQ(Form1->PortChoice.FirstShowRfid, 0);
    EXPECT_TRUE(Form1->isVisible());
    Form10->RfidLibraryFile = "libno-such-library.so"; // would ask if binding ran again
    Choose();
    EXPECT_TRUE(msgbox::shown().empty());
    for (int e : {1, 3, 4, 5, 6, 8, 9})
        EXPECT_EQ(Edit(e), "") << e;
    EXPECT_EQ(Edit(2), "7B3E51A9C4D6");
    EXPECT_EQ(Edit(7), "7B3E51A9C4D6");
    for (int c = 1; c <= 5; ++c)
        EXPECT_EQ(Form10->ComboBox[c]->currentIndex(), 0) << c;
    EXPECT_TRUE(Form10->RadioButton[2]->isChecked());
    EXPECT_TRUE(Form10->RadioButton[4]->isChecked());
    EXPECT_EQ(vr_message_count(), 0);
    // Still bound from the first showing.
    Form10->Button[1]->click();
    EXPECT_EQ(Edit(1), "A1B2C3D4");
}

TEST_F(Form10Test, MissingLibraryAsksOnceAndNoLeavesTheWindowWithoutIt) {
    Form10->RfidLibraryFile = "libno-such-library.so";
    Choose();
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_TRUE(msgbox::shown()[0].isQuestion);
    EXPECT_EQ(msgbox::shown()[0].caption, "The lorvanex.dll Is Not Open!");
    EXPECT_EQ(msgbox::shown()[0].text, "Are you sure to close the application program");
    EXPECT_FALSE(ProgramEndRequested());
    EXPECT_TRUE(Form10->isVisible());

    // Every button reports the missing library and sends nothing; EXIT only closes.
    Forget();
    Set(8, "5");
    for (QPushButton *b :
         {Form10->Button[1], Form10->Button[2], Form10->Button[3], Form10->BitBtn[1],
          Form10->BitBtn[2], Form10->BitBtn[3], Form10->BitBtn[4]})
        b->click();
    EXPECT_EQ(Texts(), std::vector<QString>(7, "The LORVANE.dll Open Error!"));
    Form10->BitBtn[5]->click();
    EXPECT_FALSE(Form10->isVisible());
    EXPECT_EQ(vr_message_count(), 0);
    EXPECT_EQ(vr_antenna(), 1);
}

TEST_F(Form10Test, YesEndsTheProgramAndAMissingNameAsksTheUiTexts) {
    Form10->RfidLibraryFile = "libno-such-library.so";
    msgbox::setNextAnswer(true);
    Choose();
    EXPECT_TRUE(ProgramEndRequested());
    ResetProgramEnd();
    Form10->close();

    // A library without the contactless names: the chooser's texts 73 and 71.
    DestroyForms();
    CreateForms();
    msgbox::clearShown();
    Form10->RfidLibraryFile = "libserivo.so";
    Choose();
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_EQ(msgbox::shown()[0].caption, "The LORVANE.dll Open Error!");
    EXPECT_EQ(msgbox::shown()[0].text, "Are you sure to close the application program?");
    EXPECT_FALSE(ProgramEndRequested());
    EXPECT_EQ(Form10->RfidLink.Bound, 0);
}

// --- SearchCard ---------------------------------------------------------------------------

TEST_F(Form10Test, SearchCardFindsTheFreshCard) {
    Choose();
    Form10->Button[1]->click();
    EXPECT_EQ(Edit(1), "A1B2C3D4");
    EXPECT_EQ(Texts(), std::vector<QString>{"Search Card Successful"});
    EXPECT_EQ(Frames(), kSearchFrames);
    EXPECT_TRUE(Form10->isEnabled());
}

TEST_F(Form10Test, SearchCardOfAUidNeedingEscapes) {
    const uint8_t uid[4] = {0x02, 0x10, 0x03, 0xD4};
    vr_set_card_uid(uid);
    Choose();
    Form10->Button[1]->click();
    EXPECT_EQ(Edit(1), "021003D4");
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[5], F(0x48, {0x02, 0x10, 0x03, 0xD4}));
    // On the wire every one of them travelled escaped.
    const Bytes wire = frames[5].wire;
    EXPECT_EQ(Bytes(wire.begin() + 5, wire.begin() + 12),
              (Bytes{0x10, 0x02, 0x10, 0x10, 0x10, 0x03, 0xD4}));
}

TEST_F(Form10Test, SearchCardWithoutCardOrReaderShowsTheNumber) {
    Choose();
    Set(1, "kept");
    vr_remove_card();
    Form10->Button[1]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"1"});
    EXPECT_EQ(Edit(1), "kept");
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 4u); // no anticollision, no select
    EXPECT_EQ(frames[3].code, 0x46);

    Forget();
    vr_set_present(0);
    Form10->Button[1]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"-91"});
    EXPECT_EQ(vr_message_count(), 0);
    EXPECT_TRUE(Form10->isEnabled());
}

TEST_F(Form10Test, BusyCursorWhileTheCardIsTalkedToOnEveryPath) {
    Search();
    const struct {
        const char *name;
        std::function<void()> reader;
    } readers[] = {
        {"card in the field", [] {}},
        {"no card", [] { vr_remove_card(); }},
        {"unplugged", [] { vr_set_present(0); }},
    };
    for (const auto &reader : readers)
        for (QPushButton *button : {Form10->Button[1], Form10->Button[2], Form10->BitBtn[4]}) {
            const std::string what = std::string(reader.name) + ", " + button->text().toStdString();
            vr_reset();
            reader.reader();
            std::vector<int> boxCursors;
            msgbox::setWhileShown(
                [&](const msgbox::Shown &) { boxCursors.push_back(OverrideCursor()); });
            CursorLog log(Form10);
            button->click();
            log.ExpectBusyWhileDisabled(what);
            for (int shape : boxCursors)
                EXPECT_EQ(shape, kNoCursor) << what;
            EXPECT_FALSE(boxCursors.empty()) << what;
            msgbox::setWhileShown({});
        }
    // The search pauses between its steps with the window held: busy throughout.
    vr_reset();
    CursorLog log(Form10);
    Form10->Button[1]->click();
    log.ExpectBusyWhileDisabled("search");
    EXPECT_FALSE(log.Waiting.empty());
}

// --- Read Card and Write Card ---------------------------------------------------------------

TEST_F(Form10Test, ReadCardWithKeyAAndKeyB) {
    Bytes known(16);
    for (int i = 0; i < 16; ++i)
        known[size_t(i)] = uint8_t(0x30 + 7 * i);
    vr_set_card_block(9, known.data()); // sector 2, block 1
    Search();
    Select(2, 2);
    Select(3, 1);
    Set(3, "STALE");
    Form10->Button[2]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Read Card Successful"});
    EXPECT_EQ(Rows(), (std::vector<QString>{"", "30373E454C535A61686F767D848B9299", "", ""}));
    EXPECT_EQ(Frames(), (std::vector<Frame>{F(0x4A, Auth(0, 2)), F(0x4B, {9})}));

    Forget();
    Form10->RadioButton[2]->setChecked(true);
    Form10->Button[2]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Read Card Successful"});
    EXPECT_EQ(Frames(), (std::vector<Frame>{F(0x4A, Auth(1, 2)), F(0x4B, {9})}));
}

TEST_F(Form10Test, ReadCardWithAWrongKeyOrAFailingRead) {
    Search();
    Set(3, "KEEP");
    Set(2, "FFFFFFFFFFFF");
    Form10->Button[2]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Key Authentication Fails"});
    EXPECT_EQ(Frames(), (std::vector<Frame>{F(0x4A, Auth(0, 0, Bytes(6, 0xFF)))}));
    EXPECT_EQ(Edit(3), "KEEP");

    Forget();
    Set(2, "7B3E51A9C4D6");
    vr_set_rf_command_status(0x4B, 3);
    Form10->Button[2]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Read Card Error"});
    EXPECT_EQ(Edit(3), "KEEP");
}

TEST_F(Form10Test, ReadCardOfAReplyWithAnEscapedChecksum) {
    // Length 0x14 + code 0x4B + status 0 + data: 0x5F + 0x10 + 0x02 + 0x03 + 0x9C = 0x110.
    Bytes data(16, 0);
    data[0] = 0x10, data[1] = 0x02, data[2] = 0x03, data[3] = 0x9C;
    vr_set_card_block(4, data.data());
    Search();
    Select(2, 1);
    vr_set_report_length(17); // a reply cut over several reports
    Form10->Button[2]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Read Card Successful"});
    EXPECT_EQ(Edit(3), "1002039C000000000000000000000000");
}

TEST_F(Form10Test, WriteCardOfADataBlockAndOfBlockZero) {
    Search();
    Select(2, 5);
    Select(3, 2);
    Set(5, "00112233445566778899AABBCCDDEEFF");
    Set(3, "FF"); // another row plays no part
    Form10->Button[3]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Write Card Successful"});
    const Bytes block = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                         0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(CardBlock(22), block);
    EXPECT_EQ(Frames(), (std::vector<Frame>{F(0x4A, Auth(0, 5)),
                                            F(0x4C, Concat(Concat({22}, block), Bytes(16, 0)))}));

    // A ten-digit row: five bytes, then zeros.
    Forget();
    Set(5, "");
    QTest::keyClicks(Form10->Edit[5], "a1b2c3d4e5");
    EXPECT_EQ(Edit(5), "A1B2C3D4E5");
    Form10->Button[3]->click();
    EXPECT_EQ(CardBlock(22),
              (Bytes{0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // An empty row is refused rather than written as zeros.
    Forget();
    Set(5, "");
    Form10->Button[3]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{kBadRow});
    EXPECT_EQ(vr_message_count(), 0);

    // Block 0 of sector 0 is the maker's: the card refuses it.
    Forget();
    const Bytes maker = CardBlock(0);
    Select(2, 0);
    Select(3, 0);
    Set(3, "11111111111111111111111111111111");
    Form10->Button[3]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Write Card Error"});
    EXPECT_EQ(CardBlock(0), maker);
}

TEST_F(Form10Test, WriteCardOfBlockThreeAsksAndANewKeyWorksAfterwards) {
    Search();
    Select(2, 4);
    Select(3, 3);
    Set(6, "A0A1A2A3A4A5FF078069B0B1B2B3B4B5");
    const Bytes before = CardBlock(19);
    Form10->Button[3]->click(); // answered No
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_TRUE(msgbox::shown()[0].isQuestion);
    EXPECT_EQ(msgbox::shown()[0].caption, QString::fromUtf8("写第三块，可能导致卡片失效"));
    EXPECT_EQ(msgbox::shown()[0].text, QString::fromUtf8("你确定要写第三块吗?"));
    EXPECT_EQ(vr_message_count(), 0);
    EXPECT_EQ(CardBlock(19), before);

    Forget();
    msgbox::setNextAnswer(true);
    Form10->Button[3]->click();
    EXPECT_EQ(Texts().back(), "Write Card Successful");
    EXPECT_EQ(CardBlock(19), (Bytes{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xFF, 0x07, 0x80, 0x69,
                                    0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5}));
    Forget();
    Form10->Button[2]->click(); // the old key no longer opens the sector
    EXPECT_EQ(Texts(), std::vector<QString>{"Key Authentication Fails"});
    Forget();
    Set(2, "A0A1A2A3A4A5");
    Select(3, 0);
    Form10->Button[2]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Read Card Successful"});
    EXPECT_EQ(Frames()[0], F(0x4A, Auth(0, 4, {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5})));
}

TEST_F(Form10Test, MalformedTrailerIsRefusedAndTheSectorStaysUsable) {
    vr_set_access_conditions(1);
    Search();
    Select(2, 6);
    Select(3, 3);
    msgbox::setNextAnswer(true); // a question would be answered Yes
    const Bytes before = CardBlock(27);
    for (const char *row : {"7B3E51A9C4D6FF078169FFFFFFFFFFFF", "00000000000000000000000000000000",
                            "7B3E51A9C4D6FF078069"}) {
        Set(6, row);
        Form10->Button[3]->click();
    }
    EXPECT_EQ(Texts(), std::vector<QString>(3, kBadTrailer));
    EXPECT_EQ(Questions(), 0);
    EXPECT_EQ(vr_message_count(), 0);
    EXPECT_EQ(CardBlock(27), before);
    EXPECT_EQ(vr_sector_blocked(6), 0);

    // The sector still opens and reads.
    msgbox::setNextAnswer(false);
    Forget();
    Select(3, 0);
    Form10->Button[2]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Read Card Successful"});
}

TEST_F(Form10Test, TrailerThatCannotBeUndoneNeedsASecondYes) {
    vr_set_access_conditions(1);
    Search();
    Select(2, 6);
    Select(3, 3);
    const Bytes before = CardBlock(27);
    std::vector<bool> answers; // the answers of the next questions, in order
    msgbox::setWhileShown([&](const msgbox::Shown &s) {
        if (!s.isQuestion || answers.empty()) return;
        msgbox::setNextAnswer(answers.front());
        answers.erase(answers.begin());
    });
    const auto write = [&](std::vector<bool> yes) {
        Forget();
        answers = std::move(yes);
        Form10->Button[3]->click();
    };

    // Access bits 111 throughout: the second question says what would be lost.
    const QString locking = "7B3E51A9C4D600F0FF69B0B1B2B3B4B5";
    Set(6, locking);
    write({true, false});
    ASSERT_EQ(Questions(), 2);
    EXPECT_EQ(msgbox::shown()[1].caption, kPermanentCaption);
    EXPECT_TRUE(msgbox::shown()[1].text.startsWith("Sector 6 would be locked for good"))
        << msgbox::shown()[1].text.toStdString();
    EXPECT_EQ(vr_message_count(), 0);
    EXPECT_EQ(CardBlock(27), before);

    // Two Yes: written, and the sector is closed to the key that wrote it.
    write({true, true});
    EXPECT_EQ(Texts().back(), "Write Card Successful");
    EXPECT_EQ(CardBlock(27), FromHexText(locking));
    Select(3, 0);
    Forget();
    Form10->Button[2]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Read Card Error"});
    msgbox::setWhileShown({});
}

// --- the purse ----------------------------------------------------------------------------

TEST_F(Form10Test, PurseSequenceKeepsAValueBlock) {
    Search();
    Select(4, 3);
    Select(5, 1); // block 13
    const auto valueBlock = [](uint32_t v) {
        Bytes b(16);
        for (int i = 0; i < 4; ++i) {
            b[size_t(i)] = b[size_t(8 + i)] = uint8_t(v >> (8 * i));
            b[size_t(4 + i)] = uint8_t(~(v >> (8 * i)));
        }
        b[12] = b[14] = 13;
        b[13] = b[15] = uint8_t(~13);
        return b;
    };

    Set(8, "100");
    EXPECT_EQ(Edit(9), "64000000");
    Form10->BitBtn[1]->click();
    EXPECT_EQ(CardBlock(13), valueBlock(100));
    Set(8, "1000");
    EXPECT_EQ(Edit(9), "E8030000");
    Form10->BitBtn[2]->click();
    EXPECT_EQ(CardBlock(13), valueBlock(1100));
    Set(8, "300");
    Form10->BitBtn[3]->click();
    EXPECT_EQ(CardBlock(13), valueBlock(800));
    Set(8, "");
    Form10->BitBtn[4]->click();
    EXPECT_EQ(Texts(), (std::vector<QString>{"Initialize Successful", "Increase Successful",
                                             "Decrease Successful", "Balance Successful"}));
    EXPECT_EQ(Edit(8), "800");
    EXPECT_EQ(Edit(9), "20030000");
    EXPECT_EQ(Frames(), (std::vector<Frame>{F(0x4A, Auth(0, 3)), F(0x4D, {13, 0x64, 0, 0, 0}),
                                            F(0x4A, Auth(0, 3)), F(0x50, {13, 0xE8, 0x03, 0, 0}),
                                            F(0x4A, Auth(0, 3)), F(0x4F, {13, 0x2C, 0x01, 0, 0}),
                                            F(0x4A, Auth(0, 3)), F(0x4E, {13})}));

    // Below zero, the balance shows its sign.
    Forget();
    Set(8, "1000");
    Form10->BitBtn[3]->click();
    Form10->BitBtn[4]->click();
    EXPECT_EQ(Edit(8), "-200");
    EXPECT_EQ(Edit(9), "38FFFFFF");
    EXPECT_EQ(Texts().back(), "Balance Successful");
}

TEST_F(Form10Test, BalanceShowsTheLargestValueInFull) {
    Bytes max = {0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80,
                 0xFF, 0xFF, 0xFF, 0x7F, 0x05, 0xFA, 0x05, 0xFA};
    vr_set_card_block(5, max.data());
    Search();
    Select(4, 1);
    Select(5, 1);
    Form10->BitBtn[4]->click();
    EXPECT_EQ(Edit(8), "2147483647");
    EXPECT_EQ(Edit(9), "FFFFFF7F");
    // The shown balance is not a valid amount: nothing is sent for it.
    Forget();
    Form10->BitBtn[2]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Please Enter a valid amount"});
    EXPECT_EQ(vr_message_count(), 0);
}

// --- typing --------------------------------------------------------------------------------

TEST_F(Form10Test, FieldsTakeOnlyWhatTheyMayHold) {
    Choose();
    Set(2, "");
    QTest::keyClicks(Form10->Edit[2], "a1g-Fz");
    EXPECT_EQ(Edit(2), "A1F");
    // Pasted text goes through the same filter.
    Form10->Edit[3]->insert("12 34");
    EXPECT_EQ(Edit(3), "");
    Form10->Edit[3]->insert("abcdef");
    EXPECT_EQ(Edit(3), "ABCDEF");
    QTest::keyClicks(Form10->Edit[4], QString(40, QChar('1')));
    EXPECT_EQ(Edit(4).size(), 32);

    QTest::keyClicks(Form10->Edit[8], "12-3x4.56789012");
    EXPECT_EQ(Edit(8), "123456789");
    EXPECT_EQ(Edit(9), "15CD5B07");
    QTest::keyClick(Form10->Edit[8], Qt::Key_Backspace);
    EXPECT_EQ(Edit(8), "12345678");
    Form10->Edit[8]->insert("x");
    EXPECT_EQ(Edit(8), "12345678");

    // A negative balance shown can be edited with backspace.
    Set(8, "-100");
    EXPECT_EQ(Edit(9), "9CFFFFFF");
    QTest::keyClick(Form10->Edit[8], Qt::Key_End);
    QTest::keyClick(Form10->Edit[8], Qt::Key_Backspace);
    EXPECT_EQ(Edit(8), "-10");
    EXPECT_EQ(Edit(9), "F6FFFFFF");
}

// --- a faulty reader ------------------------------------------------------------------------

// A value block: the value, its complement, the value again, the address four times.
Bytes ValueBlock(int32_t value, uint8_t address) {
    Bytes b(16);
    for (int i = 0; i < 4; ++i) {
        b[size_t(i)] = b[size_t(8 + i)] = uint8_t(uint32_t(value) >> (8 * i));
        b[size_t(4 + i)] = uint8_t(~b[size_t(i)]);
    }
    b[12] = b[14] = address;
    b[13] = b[15] = uint8_t(~address);
    return b;
}

bool ValueOf(const Bytes &b, uint8_t address, int32_t &value) {
    value =
        int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    return b == ValueBlock(value, address);
}

// Whatever the reader loses, garbles, answers late or with an earlier command's reply, and
// whenever it is unplugged: a success is shown only when the card holds what it says.
TEST_F(Form10Test, FaultyReaderNeverMakesAFailureLookLikeASuccess) {
    Search();
    for (int block : {4, 5}) // sector 1: two purses; block 0 of sector 0 the card refuses
        vr_set_card_block(block, ValueBlock(1000, uint8_t(block)).data());
    int mix[VR_FAULT_KINDS] = {};
    mix[VR_FAULT_LOST] = 10000;
    mix[VR_FAULT_WRONG_STATUS] = 60000;
    mix[VR_FAULT_GARBAGE] = 30000;
    mix[VR_FAULT_STALE] = 200000;
    mix[VR_FAULT_STALE_AFTER] = 60000;
    mix[VR_FAULT_UNPLUG] = 30000;
    const unsigned seed = 19;
    vr_set_fault_mix(seed, mix);
    std::mt19937 rng(seed);
    int successes = 0, failures = 0;
    for (int step = 0; step < 60; ++step) {
        vr_set_present(1); // plugged in again after an unplug
        Forget();
        const int sector = int(rng() % 2), block = int(rng() % 3), address = sector * 4 + block;
        const Bytes before = CardBlock(address);
        const int op = int(rng() % 4);
        const std::string what = "step " + std::to_string(step) + ", op " + std::to_string(op) +
                                 ", block " + std::to_string(address);
        QString success;
        if (op < 2) {
            Select(2, sector);
            Select(3, block);
            Bytes row(16);
            for (auto &b : row)
                b = uint8_t(rng());
            Set(3 + block,
                QString::fromLatin1(
                    QByteArray(reinterpret_cast<const char *>(row.data()), 16).toHex().toUpper()));
            (op == 0 ? Form10->Button[3] : Form10->Button[2])->click();
            success = op == 0 ? "Write Card Successful" : "Read Card Successful";
            if (!Texts().empty() && Texts().back() == success) {
                EXPECT_EQ(op == 0 ? CardBlock(address) : FromHexText(Edit(3 + block)),
                          op == 0 ? row : before)
                    << what;
            }
        } else {
            const int32_t amount = int32_t(1 + rng() % 100);
            Select(4, sector);
            Select(5, block);
            Set(8, QString::number(amount));
            (op == 2 ? Form10->BitBtn[2] : Form10->BitBtn[3])->click();
            success = op == 2 ? "Increase Successful" : "Decrease Successful";
            int32_t value = 0;
            if (!Texts().empty() && Texts().back() == success) {
                ASSERT_TRUE(ValueOf(before, uint8_t(address), value)) << what;
                EXPECT_EQ(CardBlock(address),
                          ValueBlock(op == 2 ? value + amount : value - amount, uint8_t(address)))
                    << what;
            }
        }
        ASSERT_EQ(Texts().size(), 1u) << what;
        (Texts().back() == success ? successes : failures)++;
        EXPECT_TRUE(Form10->isEnabled()) << what;
    }
    EXPECT_GT(successes, 10);
    EXPECT_GT(failures, 10);
    for (int fault : {VR_FAULT_STALE, VR_FAULT_UNPLUG, VR_FAULT_WRONG_STATUS})
        EXPECT_GT(vr_faults_injected(fault), 0) << fault;

    // Unplugged while the card is written: the write's error, and nothing after it.
    vr_set_fault_mix(0, nullptr);
    vr_set_present(1);
    Forget();
    Select(2, 2);
    Select(3, 1);
    Set(4, "0123456789ABCDEF0123456789ABCDEF");
    vr_fault_next(VR_FAULT_NONE); // the authentication
    vr_fault_next(VR_FAULT_UNPLUG);
    Form10->Button[3]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Write Card Error"});
    EXPECT_TRUE(Form10->isEnabled());
}

// --- one operation at a time ------------------------------------------------------------------

TEST_F(Form10Test, SlowOperationKeepsTheWindowDisabledOpenAndDeaf) {
    Search();
    vr_set_report_delay_us(30000);
    bool disabledMeanwhile = false, visibleAfterClose = false, ranInside = false;
    int framesBefore = -1, framesAfter = -1;
    // Runs from the message pump while the library waits for a reply.
    QTimer::singleShot(5, Form10, [&] {
        ranInside = true;
        disabledMeanwhile = !Form10->isEnabled();
        Form10->close();
        visibleAfterClose = Form10->isVisible();
        framesBefore = vr_message_count();
        Form10->Button2Click(); // a click that got through is ignored
        Form10->BitBtn5Click(); // so is EXIT
        Form10->BitBtn[4]->click();
        framesAfter = vr_message_count();
    });
    Form10->Button[2]->click();
    EXPECT_TRUE(ranInside);
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(framesAfter, framesBefore);
    EXPECT_EQ(Texts(), std::vector<QString>{"Read Card Successful"});
    EXPECT_EQ(Frames().size(), 2u);
    EXPECT_TRUE(Form10->isEnabled());
    EXPECT_TRUE(Form10->isVisible());
    EXPECT_EQ(vr_antenna(), 1);
}

TEST_F(Form10Test, ExitTurnsTheAntennaOffAndReturnsToTheChooser) {
    Search();
    Form10->BitBtn[5]->click();
    EXPECT_EQ(vr_antenna(), 0);
    EXPECT_EQ(Frames(), (std::vector<Frame>{F(0x05, {0x00})}));
    EXPECT_FALSE(Form10->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(Form1->PortChoice.FirstShowRfid, 0);
    EXPECT_TRUE(msgbox::shown().empty());
}

} // namespace
