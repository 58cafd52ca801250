// The windows over the system's hidapi and libudev, with the reader emulated at the kernel's
// boundary (run under emulated-reader): the configuration window's probe, Load, Save, Set
// Default and Version, a Save cut short by an unplug, and the Mifare One window's search and
// read.
#include "contactless/ui/TForm10.h"
#include "emulated_reader.h"
#include "form2_window.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace {

using emulated::Bytes;

Options With(Opt k, uint8_t value) {
    Options o = kFactory;
    o[k] = value;
    return o;
}

// The library closes the node after every operation; the emulation notices a moment later.
void ExpectNodeClosed() {
    for (int i = 0; i < 100 && emulated::OpenFiles() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(emulated::OpenFiles(), 0);
}

// The hidapi the library loaded is the system's, not the virtual reader.
void ExpectSystemHidapi() {
    std::ifstream maps("/proc/self/maps");
    std::string hidapi;
    for (std::string line; std::getline(maps, line);)
        if (line.find("libhidapi-hidraw.so") != std::string::npos) hidapi = line;
    EXPECT_NE(hidapi, "");
    EXPECT_EQ(hidapi.find("virtual-reader"), std::string::npos) << hidapi;
}

class RealStack : public Form2Window {
  protected:
    void SetUp() override {
        Form2Window::SetUp();
        // Run alone it would talk to whatever reader this machine has.
        if (!emulated::ControlPath()) GTEST_SKIP() << "runs under emulated-reader only";
        emulated::Do("reset");
    }
};

TEST_F(RealStack, ProbeAndLoadShowWhatTheReaderHolds) {
    emulated::SetConfigBlock(Block(With(T1S, 'A')));
    Choose();
    EXPECT_EQ(Panel(1), "MSR_INIT SUCCESS");
    EXPECT_TRUE(msgbox::shown().empty());
    EXPECT_EQ(Edit(1)->text(), "A");
    EXPECT_EQ(emulated::Messages(), (std::vector<Bytes>{{0xA9, 0x7E}}));
    ExpectNodeClosed();
    ExpectSystemHidapi();

    emulated::SetConfigBlock(Block(With(T3E, 'Z')));
    msgbox::clearShown();
    Button(1)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"\"LOAD \"successful"});
    EXPECT_EQ(Panel(1), "LOAD SUCCESS");
    EXPECT_EQ(Edit(1)->text(), "%");
    EXPECT_EQ(Edit(6)->text(), "Z");
    ExpectNodeClosed();
}

TEST_F(RealStack, SaveAndSetDefaultStoreTheWindowsBlock) {
    Choose();
    Edit(1)->setText("B");
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"\"SAVE \"successful"});
    EXPECT_EQ(Panel(1), "SAVE SUCCESS");
    EXPECT_EQ(emulated::ConfigBlock(), Block(With(T1S, 'B')));

    msgbox::clearShown();
    Button(5)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"\"SAVE \"successful"});
    EXPECT_EQ(emulated::ConfigBlock(), Block(kFactory));
    EXPECT_EQ(Edit(1)->text(), "%");
    ExpectNodeClosed();
}

TEST_F(RealStack, VersionShowsTheReadersText) {
    Choose();
    msgbox::clearShown();
    W<QAction>("Version1")->trigger();
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_EQ(msgbox::shown()[0].caption, "The Version is");
    EXPECT_EQ(msgbox::shown()[0].text, " KM5530 MSR V1.00");
    EXPECT_EQ(Panel(1), "VERSION SUCCESS");
    EXPECT_EQ(emulated::Messages().back(), Bytes{0xAD});
}

// Gone after the first two of the Save's four reports, the reader keeps its block; gone after
// acting on the whole message, it has the new one. Either way the window says so, and after
// the replug the reader is found again.
TEST_F(RealStack, UnplugDuringASaveLeavesTheOldBlockOrTheNew) {
    Choose();
    const struct {
        const char *unplug;
        bool stored;
    } cases[] = {{"unplug-after-reports 2", false}, {"unplug-after-message", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.unplug);
        emulated::Do("reset");
        Edit(1)->setText("C");
        emulated::Do(c.unplug);
        msgbox::clearShown();
        Button(4)->click();
        EXPECT_EQ(Texts(), std::vector<QString>{"Can't find the USBMSR!"});
        EXPECT_EQ(Panel(1), "SAVE ERROR");
        EXPECT_TRUE(Form2->isEnabled());
        EXPECT_EQ(emulated::ConfigBlock(), c.stored ? Block(With(T1S, 'C')) : Block(kFactory));

        emulated::Do("plug");
        msgbox::clearShown();
        Button(1)->click();
        EXPECT_EQ(Texts(), std::vector<QString>{"\"LOAD \"successful"});
        EXPECT_EQ(Edit(1)->text(), c.stored ? "C" : "%");
    }
}

TEST_F(RealStack, MifareSearchAndRead) {
    Bytes known(16);
    for (int i = 0; i < 16; ++i)
        known[size_t(i)] = uint8_t(0x30 + 7 * i);
    emulated::SetCardBlock(9, known); // sector 2, block 1
    Form1->RadioButton3->setChecked(true);
    Form1->BitBtn1Click();
    ASSERT_TRUE(Form10->isVisible());
    Form10->Button[1]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Search Card Successful"});
    EXPECT_EQ(Form10->Edit[1]->text(), "A1B2C3D4");

    msgbox::clearShown();
    Form10->ComboBox[2]->setCurrentIndex(2);
    Form10->ComboBox[3]->setCurrentIndex(1);
    Form10->Button[2]->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"Read Card Successful"});
    EXPECT_EQ(Form10->Edit[4]->text(), "30373E454C535A61686F767D848B9299");
}

} // namespace
