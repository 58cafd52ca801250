// Stands in for cardtool under scripts/pcsc-demo.sh (see pcsc_demo_test.sh): the program
// offscreen, whose PC/SC window must list the virtual card's reader and answer the default
// command. Exits 77 (skipped) where the script could not put a card in.
#include "program_test.h"
#include "shell/ui/TForm1.h"
#include "smartcard/ui/TForm11.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {
class PcscDemo : public ProgramTest {
  protected:
    void TearDown() override {
        if (Form11.existing() && Form11->PcscLink.Bound) Form11->PcscLink.PS_FreeDevice();
        ProgramTest::TearDown();
    }
    std::vector<QString> Click(QPushButton *button) {
        msgbox::clearShown();
        QTest::mouseClick(button, Qt::LeftButton);
        return Texts();
    }
};
using Texts_ = std::vector<QString>;

TEST_F(PcscDemo, TheWindowListsTheVirtualCardsReaderAndItAnswers) {
    Form11->BrenmarkLibraryFile = BRENMARK_FILE;
    Form1->RadioButton2->setChecked(true);
    QTest::mouseClick(Form1->BitBtn1, Qt::LeftButton);
    ASSERT_TRUE(Form11->isVisible());
    EXPECT_TRUE(Texts().empty()); // no "Can't find PS/SC Device"
    ASSERT_GE(Form11->ComboBox1->count(), 1);
    EXPECT_EQ(Form11->ComboBox1->currentText(), "Virtual PCD 00 00");

    EXPECT_EQ(Click(Form11->BitBtn2), Texts_{"OPEN Successful"});
    EXPECT_EQ(Form11->Edit1->text(), "0084000004");
    EXPECT_EQ(Click(Form11->BitBtn5), Texts_{"TransmitData Successful"});
    EXPECT_EQ(Form11->Edit2->text(), "A0A1A2A39000"); // four bytes and 90 00
    EXPECT_EQ(Click(Form11->BitBtn4), Texts_{"ATRReset Successful"});
    EXPECT_EQ(Click(Form11->BitBtn6), Texts_{});
    EXPECT_TRUE(Form1->isVisible());
}
} // namespace

int main(int argc, char **argv) {
    const char *state = std::getenv("CARDTOOL_PCSC_DEMO");
    const std::string s = state ? state : "";
    if (s == "none" || s == "unavailable") {
        std::printf("SKIPPED: the demo script put no virtual card in (%s)\n", s.c_str());
        return 77;
    }
    if (s != "private" && s != "system") {
        std::printf("FAIL: not run by scripts/pcsc-demo.sh, or its card failed (\"%s\")\n",
                    s.c_str());
        return 1;
    }
    // For the script's test: where the private service was, to see it gone afterwards.
    if (const char *out = std::getenv("PCSC_DEMO_SOCKET_FILE"))
        std::ofstream(out) << (std::getenv("PCSCLITE_CSOCK_NAME") ?: "");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
