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
int32_t gValue = 0;
std::function<void()> gDuringCall; // runs inside every entry point (the message pump)

std::string Hex(const uint8_t *p, size_t n) {
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", p[i]);
        s += b;
    }
    return s;
}

// Writes down "name(a,b,...)" and returns the scripted result.
template <typename... Args> int Call(const std::string &name, Args... args) {
    std::string text;
    ((text += (text.empty() ? "" : ",") + std::string(args)), ...);
    gLog.push_back(name + "(" + text + ")");
    if (gDuringCall) gDuringCall();
    auto it = gResult.find(name);
    return it == gResult.end() ? 0 : it->second;
}

std::string N(long v) {
    return std::to_string(v);
}

// Entry points as the library has them, each one written down.
void Script(TRfidLink &l) {
    l.RF_Antenna_Sta = [](int on) { return Call("RF_Antenna_Sta", N(on)); };
    l.RF_Init_Type = [](int type) { return Call("RF_Init_Type", N(type)); };
    l.RF_Request = [](int mode, int16_t *type) {
        *type = 4;
        return Call("RF_Request", N(mode));
    };
    l.RF_Anticoll = [](int parameter, uint32_t *serial, int16_t *length) {
        const uint8_t uid[4] = {0xA1, 0xB2, 0xC3, 0xD4};
        std::memcpy(serial, uid, 4);
        *length = 4;
        return Call("RF_Anticoll", N(parameter));
    };
    l.RF_Select = [](const uint8_t *serial, int16_t length) {
        return Call("RF_Select", Hex(serial, size_t(length)), N(length));
    };
    l.RF_authentication = [](int keyChoice, int sector, const uint8_t *key) {
        return Call("RF_authentication", N(keyChoice), N(sector), Hex(key, 6));
    };
    l.RF_read = [](int sector, int block, uint8_t *data, int16_t *length) {
        for (int i = 0; i < 16; ++i)
            data[i] = uint8_t(0xF0 + i);
        *length = 16;
        return Call("RF_read", N(sector), N(block));
    };
    l.RF_write = [](int sector, int block, const uint8_t *data, int16_t count) {
        gWritten.assign(data, data + count);
        return Call("RF_write", N(sector), N(block), N(count));
    };
    l.RF_initval = [](int s, int b, int32_t v) { return Call("RF_initval", N(s), N(b), N(v)); };
    l.RF_increment = [](int s, int b, int32_t v) { return Call("RF_increment", N(s), N(b), N(v)); };
    l.RF_Debit = [](int s, int b, int32_t v) { return Call("RF_Debit", N(s), N(b), N(v)); };
    l.RF_readval = [](int sector, int block, int32_t *value) {
        *value = gValue;
        return Call("RF_readval", N(sector), N(block));
    };
    l.Bound = 1;
}

class RecordingWindow : public TMifareWindow {
  public:
    std::map<TMifareField, std::string> fields;
    bool keyB = false, purseKeyB = false, answer = false;
    std::vector<bool> answers; // answered first, in order; then `answer`

    std::string Text(TMifareField f) override { return fields[f]; }
    void SetText(TMifareField f, const std::string &text) override { fields[f] = text; }
    bool KeyB(bool purse) override { return purse ? purseKeyB : keyB; }
    void Message(const std::string &text) override { gLog.push_back("message " + text); }
    bool Ask(const std::string &caption, const std::string &text) override {
        gLog.push_back("ask " + caption + " " + text);
        if (answers.empty()) return answer;
        const bool yes = answers.front();
        answers.erase(answers.begin());
        return yes;
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
        gValue = 0;
        Script(link);
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

TEST_F(MifareOperations, TrailersThatCannotBeUndoneNeedTheirOwnYes) {
    w.fields[TMifareField::Sector] = "4";
    w.fields[TMifareField::Block] = "3";
    const std::string trailer = std::string("ask ") + kTrailerCaption + " " + kTrailerQuestion;
    const std::string locked = std::string("ask ") + kPermanentCaption +
                               " Sector 4 would be locked for good: no key could ever change its "
                               "access bits again. Neither of its keys could be changed again. "
                               "Blocks 0, 1 and 2 could never be written again. Blocks 0, 1 and 2 "
                               "could never be read again. Write block 3 anyway?";
    const std::string zeroKey = std::string("ask ") + kZeroKeyACaption + " " + kZeroKeyAQuestion;
    const Log written = {"disable", "RF_authentication(0,4,7B3E51A9C4D6)", "RF_write(4,3,32)",
                         "enable", "message Write Card Successful"};
    const auto then = [](Log asks, const Log &rest) {
        asks.insert(asks.end(), rest.begin(), rest.end());
        return asks;
    };
    const struct {
        const char *row, *key;
        std::vector<bool> answers;
        Log log;
        bool keyB = false;
    } cases[] = {
        // Access bits 111 throughout: the second question names what is lost.
        {"7B3E51A9C4D600F0FF69B0B1B2B3B4B5", "7B3E51A9C4D6", {true, false}, {trailer, locked}},
        {"7B3E51A9C4D600F0FF69B0B1B2B3B4B5",
         "7B3E51A9C4D6",
         {true, true},
         then({trailer, locked}, written)},
        // A trailer as it reads back: key A shows as zeros.
        {"000000000000FF0780697B3E51A9C4D6", "7B3E51A9C4D6", {true, false}, {trailer, zeroKey}},
        {"000000000000FF0780697B3E51A9C4D6",
         "7B3E51A9C4D6",
         {true, true},
         then({trailer, zeroKey}, written)},
        {"000000000000FF0780697B3E51A9C4D6",
         "000000000000",
         {true},
         then({trailer}, {"disable", "RF_authentication(0,4,000000000000)", "RF_write(4,3,32)",
                          "enable", "message Write Card Successful"})},
        // Key B of zeros opens the sector (access bits 011): key A is still unknown.
        {"0000000000007F078869000000000000",
         "000000000000",
         {true, false},
         {trailer, zeroKey},
         true},
        // Both: three questions, and a No to the last still sends nothing.
        {"00000000000000F0FF69B0B1B2B3B4B5",
         "7B3E51A9C4D6",
         {true, true, false},
         {trailer, locked, zeroKey}},
    };
    for (const auto &c : cases) {
        gLog.clear();
        w.fields[TMifareField::Row3] = c.row;
        w.fields[TMifareField::Key] = c.key;
        w.answers = c.answers;
        w.keyB = c.keyB;
        MifareWriteCard(link, w);
        EXPECT_EQ(gLog, c.log) << c.row << " " << c.key << " " << c.answers.size();
    }
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
