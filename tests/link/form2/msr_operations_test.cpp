// The order of what the window's reader operations show, against scripted entry points
// and a window that writes down every call.
#include "link/msr_operations.h"

#include "config/codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gLog;
int gInitResult = 0;
int gReadResult = 0;
std::string gReply;
std::vector<std::vector<uint8_t>> gFrames;
// The block of the last configuration written: a read configuration after it answers with it,
// as the reader does.
std::vector<uint8_t> gStored;
// Runs inside every read, while the operation waits for the reader.
std::function<void()> gDuringRead;

extern "C" int FakeInit() {
    gLog.push_back("open");
    return gInitResult;
}
extern "C" int FakeComInit(int) {
    return FakeInit();
}
extern "C" int FakeClose() {
    gLog.push_back("close");
    return 0;
}
extern "C" int FakeWrite(unsigned char *frame, int length, int, char *) {
    char text[16];
    std::snprintf(text, sizeof text, "write %02X/%d", frame[0], length);
    gLog.push_back(text);
    gFrames.emplace_back(frame, frame + length);
    if (frame[0] == 0xAA) gStored.assign(frame + 2, frame + length);
    return 0;
}
extern "C" int FakeRead(unsigned char *reply, int *length, int, char *) {
    if (gDuringRead) gDuringRead();
    if (gReadResult == 0) {
        const bool readBack = !gStored.empty() && gFrames.back()[0] == 0xA9;
        const std::string r = readBack ? std::string(gStored.begin(), gStored.end()) : gReply;
        std::memcpy(reply, r.data(), r.size());
        *length = int(r.size());
    }
    return gReadResult;
}

class RecordingWindow : public TMsrWindow {
  public:
    void SetPanel(int panel, const std::string &text) override {
        gLog.push_back("panel" + std::to_string(panel) + " " + text);
    }
    void Message(const std::string &text) override { gLog.push_back("message " + text); }
    void VersionBox(const std::string &caption, const std::string &text) override {
        gLog.push_back("box " + caption + ": " + text);
    }
    void SetEnabled(bool enabled) override { gLog.push_back(enabled ? "enable" : "disable"); }
    void ControlsToRecord() override { gLog.push_back("controls->record"); }
    void RecordToControls() override { gLog.push_back("record->controls"); }
    int LanguageChoice() override { return 0; }
    void ShowSavedPorts() override { gLog.push_back("ports"); }
    void ReaderRefused(int status) override { gLog.push_back("refused " + std::to_string(status)); }
    void ShowDefaults() override { gLog.push_back("defaults"); }
};

class MsrOperations : public ::testing::Test {
  protected:
    void SetUp() override {
        gLog.clear();
        gInitResult = 0;
        gReadResult = 0;
        gReply.clear();
        gFrames.clear();
        gStored.clear();
        gDuringRead = nullptr;
        Text.Fill();
        std::memset(Settings.get(), 0, sizeof *Settings);
        Link.HID_Init = FakeInit;
        Link.HID_Close = FakeClose;
        Link.HID_WRITE = FakeWrite;
        Link.HID_READ = FakeRead;
        Link.COM_Init = FakeComInit;
        Link.COM_Close = FakeClose;
        Link.COM_WRITE = FakeWrite;
        Link.COM_READ = FakeRead;
        Link.HidBound = Link.SerialBound = 1;
    }
    TMsrContext Context() { return {Link, *Settings, Text, Window}; }

    TReaderLink Link;
    std::unique_ptr<TMsrSettings> Settings = std::make_unique<TMsrSettings>();
    TUiText Text;
    RecordingWindow Window;
};

using Log = std::vector<std::string>;

TEST_F(MsrOperations, ModeReportsInTheirOrder) {
    MsrSetMode(Context(), false);
    EXPECT_EQ(gLog, (Log{"panel0 NORMAL MODE", "disable", "open", "write AE/2", "enable", "close",
                         "panel1 NORMAL MODE SUCCESS", "message setting is Successful!"}));
    gLog.clear();
    gInitResult = -1;
    MsrSetMode(Context(), true);
    EXPECT_EQ(gLog, (Log{"panel0 TEST MODE", "disable", "open", "enable",
                         "message Can't find the USBMSR!", "panel1 TEST MODE ERROR"}));
    gLog.clear();
    gInitResult = 0;
    gReadResult = -5;
    MsrSetMode(Context(), true);
    EXPECT_EQ(gLog.back(), "panel1 TEST MODE ERROR");
    EXPECT_EQ(gLog[gLog.size() - 2], "message Can't find the USBMSR!");
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "write AE/2"), 3);
}

TEST_F(MsrOperations, VersionBoxWhileTheReaderIsOpenOverUsbAfterClosingOverSerial) {
    gReply = std::string("KELDO V1.2\0junk", 15);
    MsrVersion(Context());
    EXPECT_EQ(gLog, (Log{"panel0 VERSION", "disable", "open", "write AD/1", "enable",
                         "box The Version is:  V1.2", "close", "panel1 VERSION SUCCESS"}));
    gLog.clear();
    Link.ConnectionKind = 1;
    MsrVersion(Context());
    EXPECT_EQ(gLog, (Log{"panel0 VERSION", "disable", "open", "write AD/1", "enable", "close",
                         "box The Version is:  V1.2", "panel1 VERSION SUCCESS"}));
}

TEST_F(MsrOperations, VersionWithoutReaderSetsThePanelBeforeTheMessage) {
    gInitResult = 1;
    MsrVersion(Context());
    EXPECT_EQ(gLog, (Log{"panel0 VERSION", "disable", "open", "enable", "panel1 VERSION ERROR",
                         "message Can't find the USBMSR!"}));
    gLog.clear();
    Link.HidBound = 0;
    MsrVersion(Context());
    EXPECT_EQ(gLog, (Log{"panel0 VERSION", "message The LORVANE.dll Open Error!",
                         "panel1 VERSION ERROR"}));
}

TEST_F(MsrOperations, LoadDefaultKeyCodesClosesBeforeTheMessage) {
    Settings->LayerStore[5][0] = 0x1C;
    gReadResult = 0x41;
    MsrLoad(Context());
    EXPECT_EQ(gLog, (Log{"panel0 LOAD", "disable", "open", "write A9/2", "enable", "close",
                         "panel1 LOAD ERROR", "message Keycode is default setting!"}));
    EXPECT_EQ(Settings->LayerStore[5][0], 0);
}

TEST_F(MsrOperations, LoadSuccessFillsTheWindowBeforeTheMessage) {
    gReadResult = 0x43;
    MsrLoad(Context());
    EXPECT_EQ(gLog,
              (Log{"panel0 LOAD", "disable", "open", "write A9/2", "enable", "close",
                   "panel1 LOAD SUCCESS", "record->controls", "message \"LOAD \"successful"}));
}

TEST_F(MsrOperations, ProbeUsesItsFixedTextsAndNoMessageOverSerial) {
    Link.ConnectionKind = 1;
    gInitResult = 1;
    MsrProbe(Context());
    EXPECT_EQ(gLog, (Log{"panel0 MSR_INIT", "disable", "open", "enable", "panel1 MSR_INIT ERROR",
                         "record->controls"}));
    gLog.clear();
    Link.ConnectionKind = 0;
    MsrProbe(Context());
    EXPECT_EQ(gLog,
              (Log{"panel0 MSR_INIT", "disable", "open", "enable", "message Can't find MSR Device!",
                   "panel1 MSR_INIT ERROR", "record->controls"}));
    gLog.clear();
    Link.SerialBound = 0;
    Link.ConnectionKind = 1;
    MsrProbe(Context());
    EXPECT_EQ(gLog, (Log{"message The COM.dll Open Error!"}));
}

TEST_F(MsrOperations, SaveRefusedBeforeWritingAndSaveSuccess) {
    for (int i = 0; i < 7; ++i) {
        Settings->LayerStore[4][4 * i] = 0xE0;
        Settings->LayerStore[4][4 * i + 1] = 0xF0;
        Settings->LayerStore[4][4 * i + 2] = 0x14;
    }
    MsrSave(Context());
    EXPECT_EQ(gLog, (Log{"panel0 SAVE", "controls->record", "disable", "open", "enable", "close",
                         "message Your magcard's mark defined too mand codes in one or more layers",
                         "panel1 SAVE ERROR"}));
    gLog.clear();
    std::memset(Settings->LayerStore[4], 0, 1024);
    MsrSetDefault(Context());
    EXPECT_EQ(gLog, (Log{"defaults", "panel0 SAVE", "controls->record", "disable", "open",
                         "write AA/227", "write A9/2", "enable", "close", "ports",
                         "panel1 SAVE SUCCESS", "message \"SAVE \"successful"}));
}

// The boxes say "Can't find the USBMSR!" for both; a front end without boxes tells them apart.
TEST_F(MsrOperations, OutcomesTellNoReaderFromNoAnswerAndRefusals) {
    gReply = "V1";
    EXPECT_EQ(MsrVersion(Context()), MsrOutcome::Success);
    gReadResult = 0x43;
    EXPECT_EQ(MsrLoad(Context()), MsrOutcome::Success); // an empty configuration
    gReadResult = 0x41;
    EXPECT_EQ(MsrLoad(Context()), MsrOutcome::DefaultKeyCodes);
    EXPECT_EQ(MsrProbe(Context()), MsrOutcome::DefaultKeyCodes);
    gReadResult = -92;
    EXPECT_EQ(MsrSave(Context()), MsrOutcome::NoAnswer);
    EXPECT_EQ(MsrSetMode(Context(), true), MsrOutcome::NoAnswer);
    // A reader that answers with a status other than success is there and refuses; the boxes
    // still say what the window always said.
    gReadResult = 0x31;
    for (const auto &operation : std::vector<std::function<MsrOutcome()>>{
             [&] { return MsrSave(Context()); }, [&] { return MsrSetMode(Context(), false); },
             [&] { return MsrLoad(Context()); }, [&] { return MsrVersion(Context()); }}) {
        gLog.clear();
        EXPECT_EQ(operation(), MsrOutcome::Refused);
        EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "refused 49"), 1);
        EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "message Can't find the USBMSR!"), 1);
    }
    gInitResult = -91;
    EXPECT_EQ(MsrSetDefault(Context()), MsrOutcome::NoReader);
    EXPECT_EQ(MsrVersion(Context()), MsrOutcome::NoReader);
    gInitResult = 0;
    gReadResult = 0;
    Settings->LayerStore[2][0] = 9; // an unlisted language, with none kept
    class Unknown : public RecordingWindow {
        int LanguageChoice() override { return kUnknownLanguage; }
    } unknown;
    EXPECT_EQ(MsrSave({Link, *Settings, Text, unknown}), MsrOutcome::NoLanguage);
    for (int i = 0; i < 7; ++i)
        std::memcpy(Settings->LayerStore[4] + 4 * i, "\xE0\xF0\x14", 3);
    gFrames.clear();
    EXPECT_EQ(MsrSave(Context()), MsrOutcome::TooLong);
    EXPECT_TRUE(gFrames.empty());
    Link.HidBound = 0;
    EXPECT_EQ(MsrLoad(Context()), MsrOutcome::NotBound);
}

// A second operation reached while one waits for the reader (a queued click, a menu item)
// must do nothing at all: not even the panel or the record, which the running Save would
// otherwise send in its next attempt.
TEST_F(MsrOperations, NothingStartedDuringAnOperationTouchesTheRecordOrTheWindow) {
    Settings->Layer1(layer1::kOptionOffsets[0]) = '%';
    Settings->LayerStore[3][0] = 'h';
    Settings->LayerModes[3] = kModeAscii;
    const auto record = std::make_unique<TMsrSettings>(*Settings);
    int reads = 0;
    std::vector<std::string> logDuringRead;
    gDuringRead = [&] {
        if (reads++ != 0) return;
        const size_t before = gLog.size();
        MsrLoad(Context());
        MsrSave(Context());
        MsrSetDefault(Context());
        MsrSetMode(Context(), true);
        MsrVersion(Context());
        MsrProbe(Context());
        logDuringRead.assign(gLog.begin() + long(before), gLog.end());
        EXPECT_EQ(std::memcmp(record.get(), Settings.get(), sizeof *Settings), 0);
        // An editor writing into the record meanwhile does not reach this Save either.
        Settings->LayerStore[3][0] = 'x';
    };
    gReadResult = 0x45; // the first attempt fails, so the Save encodes again
    Link.HID_READ = [](unsigned char *reply, int *length, int mode, char *trace) {
        const int r = FakeRead(reply, length, mode, trace);
        gReadResult = 0;
        return r;
    };
    MsrSave(Context());
    EXPECT_TRUE(logDuringRead.empty()) << logDuringRead.front();
    ASSERT_EQ(gFrames.size(), 3u); // two writes, then the read-back
    EXPECT_EQ(gFrames[0], gFrames[1]);
    EXPECT_EQ(gFrames[2], (std::vector<uint8_t>{0xA9, 0x7E}));
    EXPECT_EQ(gLog.back(), "message \"SAVE \"successful");
    // Once it is over, the next operation runs.
    gLog.clear();
    MsrSetMode(Context(), false);
    EXPECT_EQ(gLog.back(), "message setting is Successful!");
}

TEST(RemoveBrand, EveryCaseAndJoinedPieces) {
    EXPECT_EQ(RemoveBrand("KeLdO KM5530"), " KM5530");
    EXPECT_EQ(RemoveBrand("kelDOkeldoKELDO"), "");
    EXPECT_EQ(RemoveBrand("KEKELDOLDO V1"), " V1");
    EXPECT_EQ(RemoveBrand("KELD KELDX"), "KELD KELDX");
    EXPECT_EQ(RemoveBrand(""), "");
}

} // namespace
