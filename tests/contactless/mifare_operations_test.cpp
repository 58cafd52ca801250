// The window's operations against scripted entry points and a window that writes down every
// call: what is sent, in which order, and that every guard sends nothing.
#include "contactless/mifare_operations.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gLog;
std::map<std::string, int> gResult; // per entry point; 0 when not set
std::vector<uint8_t> gWritten;      // the bytes RF_write was given
uint8_t gReadData[16];
uint8_t gSerial[4] = {0xA1, 0xB2, 0xC3, 0xD4};
int16_t gSerialLength = 4;
int32_t gValue = 0;
std::function<void()> gDuringCall; // runs inside every entry point (the message pump)

int Call(const std::string &name, const std::string &args) {
    gLog.push_back(name + "(" + args + ")");
    if (gDuringCall) gDuringCall();
    auto it = gResult.find(name);
    return it == gResult.end() ? 0 : it->second;
}

std::string Hex(const uint8_t *p, size_t n) {
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", p[i]);
        s += b;
    }
    return s;
}

extern "C" {
int Antenna(int on) {
    return Call("RF_Antenna_Sta", std::to_string(on));
}
int InitType(int type) {
    return Call("RF_Init_Type", std::to_string(type));
}
int Request(int mode, int16_t *type) {
    int r = Call("RF_Request", std::to_string(mode));
    if (r == 0) *type = 4;
    return r;
}
int Anticoll(int parameter, uint32_t *serial, int16_t *length) {
    int r = Call("RF_Anticoll", std::to_string(parameter));
    if (r == 0) {
        std::memcpy(serial, gSerial, 4);
        *length = gSerialLength;
    }
    return r;
}
int Select(const uint8_t *serial, int16_t length) {
    return Call("RF_Select",
                Hex(serial, size_t(std::max<int16_t>(length, 0))) + "," + std::to_string(length));
}
int Authenticate(int keyChoice, int sector, const uint8_t *key) {
    return Call("RF_authentication",
                std::to_string(keyChoice) + "," + std::to_string(sector) + "," + Hex(key, 6));
}
int Read(int sector, int block, uint8_t *data, int16_t *length) {
    int r = Call("RF_read", std::to_string(sector) + "," + std::to_string(block));
    if (r == 0) {
        std::memcpy(data, gReadData, 16);
        *length = 16;
    }
    return r;
}
int Write(int sector, int block, const uint8_t *data, int16_t count) {
    gWritten.assign(data, data + count);
    return Call("RF_write",
                std::to_string(sector) + "," + std::to_string(block) + "," + std::to_string(count));
}
int Value(const char *name, int sector, int block, int32_t value) {
    return Call(name,
                std::to_string(sector) + "," + std::to_string(block) + "," + std::to_string(value));
}
int InitVal(int s, int b, int32_t v) {
    return Value("RF_initval", s, b, v);
}
int Increment(int s, int b, int32_t v) {
    return Value("RF_increment", s, b, v);
}
int Debit(int s, int b, int32_t v) {
    return Value("RF_Debit", s, b, v);
}
int ReadVal(int sector, int block, int32_t *value) {
    int r = Call("RF_readval", std::to_string(sector) + "," + std::to_string(block));
    if (r == 0) *value = gValue;
    return r;
}
}

class RecordingWindow : public TMifareWindow {
  public:
    std::map<TMifareField, std::string> fields;
    bool keyB = false, purseKeyB = false, answer = false;

    std::string Text(TMifareField f) override { return fields[f]; }
    void SetText(TMifareField f, const std::string &text) override { fields[f] = text; }
    bool KeyB(bool purse) override { return purse ? purseKeyB : keyB; }
    void Message(const std::string &text) override { gLog.push_back("message " + text); }
    bool Ask(const std::string &caption, const std::string &text) override {
        gLog.push_back("ask " + caption + " " + text);
        return answer;
    }
    void SetEnabled(bool enabled) override { gLog.push_back(enabled ? "enable" : "disable"); }
    void Pause(int ms) override { gLog.push_back("pause " + std::to_string(ms)); }
};

using Log = std::vector<std::string>;

class MifareOperations : public ::testing::Test {
  protected:
    TRfidLink link;
    RecordingWindow w;

    void SetUp() override {
        gLog.clear();
        gResult.clear();
        gWritten.clear();
        gDuringCall = nullptr;
        gSerialLength = 4;
        gValue = 0;
        for (int i = 0; i < 16; ++i)
            gReadData[i] = uint8_t(0xF0 + i);
        link.RF_Antenna_Sta = Antenna;
        link.RF_Init_Type = InitType;
        link.RF_Request = Request;
        link.RF_Anticoll = Anticoll;
        link.RF_Select = Select;
        link.RF_authentication = Authenticate;
        link.RF_read = Read;
        link.RF_write = Write;
        link.RF_initval = InitVal;
        link.RF_increment = Increment;
        link.RF_Debit = Debit;
        link.RF_readval = ReadVal;
        link.Bound = 1;
        // The window as a showing leaves it.
        for (auto f : {TMifareField::Sector, TMifareField::Block, TMifareField::PurseSector,
                       TMifareField::PurseBlock})
            w.fields[f] = "0";
        w.fields[TMifareField::Key] = "7B3E51A9C4D6";
        w.fields[TMifareField::PurseKey] = "7B3E51A9C4D6";
    }
    void TearDown() override { gDuringCall = nullptr; }
};

const char *const kAuthA2 = "RF_authentication(0,2,7B3E51A9C4D6)";

TEST_F(MifareOperations, SearchCardRunsSixCallsWithPausesAndShowsTheSerial) {
    MifareSearchCard(link, w);
    EXPECT_EQ(gLog, (Log{"disable", "RF_Antenna_Sta(0)", "pause 20", "RF_Init_Type(0)", "pause 20",
                         "RF_Antenna_Sta(1)", "pause 20", "RF_Request(1)", "pause 20",
                         "RF_Anticoll(4)", "pause 20", "RF_Select(A1B2C3D4,4)", "enable",
                         "message Search Card Successful"}));
    EXPECT_EQ(w.fields[TMifareField::Serial], "A1B2C3D4");
}

TEST_F(MifareOperations, SearchCardStopsAtTheFirstFailureAndShowsItsNumber) {
    w.fields[TMifareField::Serial] = "kept";
    gResult["RF_Request"] = 1;
    MifareSearchCard(link, w);
    EXPECT_EQ(gLog, (Log{"disable", "RF_Antenna_Sta(0)", "pause 20", "RF_Init_Type(0)", "pause 20",
                         "RF_Antenna_Sta(1)", "pause 20", "RF_Request(1)", "enable", "message 1"}));
    EXPECT_EQ(w.fields[TMifareField::Serial], "kept");

    gLog.clear();
    gResult.clear();
    gResult["RF_Antenna_Sta"] = -91;
    MifareSearchCard(link, w);
    EXPECT_EQ(gLog, (Log{"disable", "RF_Antenna_Sta(0)", "enable", "message -91"}));

    // The library's busy code is no card failure: nothing is shown.
    gLog.clear();
    gResult.clear();
    gResult["RF_Select"] = kRfBusy;
    MifareSearchCard(link, w);
    EXPECT_EQ(gLog.back(), "enable");
}

TEST_F(MifareOperations, SearchCardNeverReadsPastTheFourSerialBytes) {
    gSerialLength = 200;
    MifareSearchCard(link, w);
    EXPECT_EQ(gLog[11], "RF_Select(A1B2C3D4,4)");
    EXPECT_EQ(w.fields[TMifareField::Serial], "A1B2C3D4");
    gLog.clear();
    gSerialLength = -3;
    MifareSearchCard(link, w);
    EXPECT_EQ(gLog[11], "RF_Select(,0)");
    EXPECT_EQ(w.fields[TMifareField::Serial], "");
}

TEST_F(MifareOperations, ReadCardFillsOnlyTheRowOfTheBlock) {
    w.fields[TMifareField::Sector] = "2";
    w.fields[TMifareField::Block] = "1";
    for (auto f : {TMifareField::Row0, TMifareField::Row1, TMifareField::Row2, TMifareField::Row3})
        w.fields[f] = "OLD";
    MifareReadCard(link, w);
    EXPECT_EQ(gLog,
              (Log{"disable", kAuthA2, "RF_read(2,1)", "enable", "message Read Card Successful"}));
    EXPECT_EQ(w.fields[TMifareField::Row0], "");
    EXPECT_EQ(w.fields[TMifareField::Row1], "F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF");
    EXPECT_EQ(w.fields[TMifareField::Row2], "");
    EXPECT_EQ(w.fields[TMifareField::Row3], "");

    // Key B, and the failures leave the rows alone.
    gLog.clear();
    w.keyB = true;
    gResult["RF_read"] = 3;
    MifareReadCard(link, w);
    EXPECT_EQ(gLog, (Log{"disable", "RF_authentication(1,2,7B3E51A9C4D6)", "RF_read(2,1)", "enable",
                         "message Read Card Error"}));
    gLog.clear();
    gResult["RF_authentication"] = 2;
    MifareReadCard(link, w);
    EXPECT_EQ(gLog, (Log{"disable", "RF_authentication(1,2,7B3E51A9C4D6)", "enable",
                         "message Key Authentication Fails"}));
    EXPECT_EQ(w.fields[TMifareField::Row1], "F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF");
}

TEST_F(MifareOperations, KeyAndAddressGuardsSendNothing) {
    const auto expectRefused = [&](const std::function<void()> &op, const std::string &text) {
        gLog.clear();
        op();
        EXPECT_EQ(gLog, (Log{"message " + text}));
    };
    using Op = std::function<void()>;
    const Op read = [&] { MifareReadCard(link, w); };
    const Op write = [&] { MifareWriteCard(link, w); };
    const Op balance = [&] { MifareBalance(link, w); };
    const Op initialize = [&] { MifarePurse(link, w, TPurseOp::Initialize); };
    w.fields[TMifareField::Row0] = "00";
    w.fields[TMifareField::Amount] = "5";
    for (const char *key : {"7B3E51A9C4D", "7B3E51A9C4D60", "7B3E51A9C4DX", ""}) {
        w.fields[TMifareField::Key] = key;
        w.fields[TMifareField::PurseKey] = key;
        for (const auto &op : {read, write, balance, initialize})
            expectRefused(op, "Please Input 12 HEX Key");
    }
    w.fields[TMifareField::Key] = "7b3e51a9c4d6"; // either case is the same key
    w.fields[TMifareField::PurseKey] = "7B3E51A9C4D6";
    for (const char *sector : {"16", "-1", "x", ""}) {
        w.fields[TMifareField::Sector] = sector;
        w.fields[TMifareField::PurseSector] = sector;
        for (const auto &op : {read, write, balance, initialize})
            expectRefused(op, kBadAddress);
    }
    w.fields[TMifareField::Sector] = w.fields[TMifareField::PurseSector] = "1";
    w.fields[TMifareField::Block] = w.fields[TMifareField::PurseBlock] = "4";
    for (const auto &op : {read, write, balance, initialize})
        expectRefused(op, kBadAddress);
    w.fields[TMifareField::Block] = "0";
    gLog.clear();
    read();
    EXPECT_EQ(gLog[1], "RF_authentication(0,1,7B3E51A9C4D6)");
}

TEST_F(MifareOperations, WriteCardSendsTheBlockAndSixteenZeros) {
    w.fields[TMifareField::Sector] = "5";
    w.fields[TMifareField::Block] = "2";
    w.fields[TMifareField::Row2] = "123456789A"; // ten digits: five bytes
    w.fields[TMifareField::Row0] = "FFFF";       // other rows play no part
    MifareWriteCard(link, w);
    EXPECT_EQ(gLog, (Log{"disable", "RF_authentication(0,5,7B3E51A9C4D6)", "RF_write(5,2,32)",
                         "enable", "message Write Card Successful"}));
    std::vector<uint8_t> expected(32, 0);
    expected[0] = 0x12, expected[1] = 0x34, expected[2] = 0x56, expected[3] = 0x78;
    expected[4] = 0x9A;
    EXPECT_EQ(gWritten, expected);

    gLog.clear();
    gResult["RF_write"] = 6;
    MifareWriteCard(link, w);
    EXPECT_EQ(gLog.back(), "message Write Card Error");
    gLog.clear();
    gResult["RF_authentication"] = 2;
    MifareWriteCard(link, w);
    EXPECT_EQ(gLog, (Log{"disable", "RF_authentication(0,5,7B3E51A9C4D6)", "enable",
                         "message Key Authentication Fails"}));
}

TEST_F(MifareOperations, WriteCardRefusesRowsThatAreNoBlock) {
    w.fields[TMifareField::Block] = "1";
    for (const char *row : {"", "12 34", "XYZ"}) {
        gLog.clear();
        w.fields[TMifareField::Row1] = row;
        MifareWriteCard(link, w);
        EXPECT_EQ(gLog, (Log{std::string("message ") + kBadRow})) << row;
    }
}

TEST_F(MifareOperations, TrailerIsCheckedThenConfirmed) {
    w.fields[TMifareField::Sector] = "3";
    w.fields[TMifareField::Block] = "3";
    const std::string ask = std::string("ask ") + kTrailerCaption + " " + kTrailerQuestion;
    // Malformed: refused before the question, nothing sent.
    for (const char *row :
         {"7B3E51A9C4D6FF078169FFFFFFFFFFFF", "00000000000000000000000000000000",
          "7B3E51A9C4D6FF078069FFFFFFFFFFF", "7B3E51A9C4D6FF078069FFFFFFFFFFFZ"}) {
        gLog.clear();
        w.fields[TMifareField::Row3] = row;
        MifareWriteCard(link, w);
        EXPECT_EQ(gLog, (Log{std::string("message ") + kBadTrailer})) << row;
    }
    // Well formed: the question; No sends nothing and says nothing.
    w.fields[TMifareField::Row3] = "112233445566FF078069665544332211";
    gLog.clear();
    MifareWriteCard(link, w);
    EXPECT_EQ(gLog, (Log{ask}));
    w.answer = true;
    gLog.clear();
    MifareWriteCard(link, w);
    EXPECT_EQ(gLog, (Log{ask, "disable", "RF_authentication(0,3,7B3E51A9C4D6)", "RF_write(3,3,32)",
                         "enable", "message Write Card Successful"}));
    ASSERT_EQ(gWritten.size(), 32u);
    EXPECT_EQ(Hex(gWritten.data(), 32), "112233445566FF078069665544332211" + std::string(32, '0'));
}

TEST_F(MifareOperations, PurseOperationsSendTheAmount) {
    w.fields[TMifareField::PurseSector] = "1";
    w.fields[TMifareField::PurseBlock] = "2";
    w.fields[TMifareField::Amount] = "100";
    w.purseKeyB = true;
    const struct {
        TPurseOp op;
        const char *call, *ok, *error;
    } ops[] = {{TPurseOp::Initialize, "RF_initval", "Initialize Successful", "Initialize Error"},
               {TPurseOp::Increase, "RF_increment", "Increase Successful", "Increase Error"},
               {TPurseOp::Decrease, "RF_Debit", "Decrease Successful", "Decrease Error"}};
    for (const auto &o : ops) {
        gLog.clear();
        gResult.clear();
        MifarePurse(link, w, o.op);
        EXPECT_EQ(gLog, (Log{"disable", "RF_authentication(1,1,7B3E51A9C4D6)",
                             std::string(o.call) + "(1,2,100)", "enable",
                             std::string("message ") + o.ok}));
        gLog.clear();
        gResult[o.call] = 4;
        MifarePurse(link, w, o.op);
        EXPECT_EQ(gLog.back(), std::string("message ") + o.error);
        gLog.clear();
        gResult[o.call] = kRfBusy;
        MifarePurse(link, w, o.op);
        EXPECT_EQ(gLog.back(), "enable");
    }
}

TEST_F(MifareOperations, PurseGuardsSendNothing) {
    w.fields[TMifareField::PurseBlock] = "3";
    w.fields[TMifareField::Amount] = "100";
    for (TPurseOp op : {TPurseOp::Initialize, TPurseOp::Increase, TPurseOp::Decrease}) {
        gLog.clear();
        MifarePurse(link, w, op);
        EXPECT_EQ(gLog, (Log{std::string("message ") + kPurseOnTrailer}));
    }
    w.fields[TMifareField::PurseBlock] = "1";
    for (const char *amount : {"", "-5", "1000000000", "12a", "2147483647"}) {
        gLog.clear();
        w.fields[TMifareField::Amount] = amount;
        MifarePurse(link, w, TPurseOp::Decrease);
        EXPECT_EQ(gLog, (Log{"message Please Enter a valid amount"})) << amount;
    }
}

TEST_F(MifareOperations, BalanceShowsTheSignedValueAfterItsMessage) {
    w.fields[TMifareField::PurseBlock] = "1";
    w.fields[TMifareField::Amount] = "junk"; // not checked
    for (int32_t value : {2500, -100, 2147483647, -2147483647 - 1}) {
        gLog.clear();
        gValue = value;
        MifareBalance(link, w);
        EXPECT_EQ(gLog, (Log{"disable", "RF_authentication(0,0,7B3E51A9C4D6)", "RF_readval(0,1)",
                             "enable", "message Balance Successful"}));
        EXPECT_EQ(w.fields[TMifareField::Amount], std::to_string(value));
    }
    gLog.clear();
    gResult["RF_readval"] = 4;
    MifareBalance(link, w);
    EXPECT_EQ(gLog.back(), "message Balance Error");
    EXPECT_EQ(w.fields[TMifareField::Amount], "-2147483648");
}

TEST_F(MifareOperations, UnboundLibraryIsNeverCalled) {
    link.Bound = 0;
    w.fields[TMifareField::Amount] = "1";
    MifareSearchCard(link, w);
    MifareReadCard(link, w);
    MifareWriteCard(link, w);
    MifarePurse(link, w, TPurseOp::Increase);
    MifareBalance(link, w);
    EXPECT_EQ(gLog, Log(5, std::string("message ") + kHidOpenError));
    gLog.clear();
    EXPECT_TRUE(MifareExit(link, w)); // only closes
    EXPECT_TRUE(gLog.empty());
    // Bound with an entry point missing counts as unbound.
    link.Bound = 1;
    link.RF_readval = nullptr;
    MifareBalance(link, w);
    EXPECT_EQ(gLog, Log{std::string("message ") + kHidOpenError});
}

TEST_F(MifareOperations, ExitTurnsTheAntennaOff) {
    EXPECT_TRUE(MifareExit(link, w));
    EXPECT_EQ(gLog, (Log{"disable", "RF_Antenna_Sta(0)", "enable"}));
    gLog.clear();
    gResult["RF_Antenna_Sta"] = -91; // closes all the same
    EXPECT_TRUE(MifareExit(link, w));
}

TEST_F(MifareOperations, OneOperationAtATime) {
    // Clicks delivered while the library waits (from its message pump) are ignored, and the
    // window may not close meanwhile.
    bool runningInside = false, exitInside = true, fired = false;
    gDuringCall = [&] {
        if (fired) return;
        fired = true;
        runningInside = MifareOperationRunning();
        MifareSearchCard(link, w);
        MifareReadCard(link, w);
        MifarePurse(link, w, TPurseOp::Initialize);
        exitInside = MifareExit(link, w);
    };
    w.fields[TMifareField::Amount] = "5";
    MifareBalance(link, w);
    EXPECT_TRUE(runningInside);
    EXPECT_FALSE(exitInside);
    EXPECT_EQ(gLog, (Log{"disable", "RF_authentication(0,0,7B3E51A9C4D6)", "RF_readval(0,0)",
                         "enable", "message Balance Successful"}));
    EXPECT_FALSE(MifareOperationRunning());
}

} // namespace
