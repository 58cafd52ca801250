// The PC/SC window's operations without a window, over scripted entry points.
#include "smartcard/apdu_text.h"
#include "smartcard/pcsc_operations.h"

#include <cstring>
#include <deque>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

// What the scripted library does and what it was asked.
struct TScript {
    int ListResult = 0;
    int ListCount = 0;
    std::vector<std::string> Names; // written into consecutive 100-byte slots
    int OpenResult = 0, CloseResult = 0, ResetResult = 0;
    // One answer per exchange, the last repeated; the length reported may lie.
    struct TAnswer {
        int Result = 0;
        ::Bytes Data;
        int Reported = -2; // -2: the bytes' own length
    };
    std::deque<TAnswer> Answers;
    std::vector<Bytes> Sent;
    int Lists = 0, Opens = 0, Closes = 0, Frees = 0, Resets = 0;
    int OpenIndex = -100;
};
TScript gScript;

extern "C" int FakeList(char *names, int *count) {
    ++gScript.Lists;
    for (size_t i = 0; i < gScript.Names.size() && i < 20; ++i)
        std::strncpy(names + i * 100, gScript.Names[i].c_str(), 100);
    *count = gScript.ListCount;
    return gScript.ListResult;
}
extern "C" int FakeOpen(int index) {
    ++gScript.Opens;
    gScript.OpenIndex = index;
    return gScript.OpenResult;
}
extern "C" int FakeClose() {
    ++gScript.Closes;
    return gScript.CloseResult;
}
extern "C" int FakeFree() {
    ++gScript.Frees;
    return 0;
}
extern "C" int FakeReset() {
    ++gScript.Resets;
    return gScript.ResetResult;
}
extern "C" int FakeTransmit(const unsigned char *command, int length, unsigned char *response,
                            int *responseLength) {
    gScript.Sent.emplace_back(command, command + length);
    if (gScript.Answers.empty()) return -1003;
    const TScript::TAnswer a = gScript.Answers.front();
    if (gScript.Answers.size() > 1) gScript.Answers.pop_front();
    if (a.Result != 0) return a.Result;
    std::memcpy(response, a.Data.data(), a.Data.size());
    *responseLength = a.Reported == -2 ? int(a.Data.size()) : a.Reported;
    return 0;
}

TPcscLink BoundLink() {
    TPcscLink link;
    link.PS_GetDeviceList = FakeList;
    link.PS_OpenDevice = FakeOpen;
    link.PS_CloseDevice = FakeClose;
    link.PS_FreeDevice = FakeFree;
    link.PS_TransmitData = FakeTransmit;
    link.PS_ATRReset = FakeReset;
    link.Bound = 1;
    return link;
}

// The window as the operations leave it.
class TRecordingWindow : public TPcscWindow {
  public:
    void Message(const std::string &text) override { Messages.push_back(text); }
    void ClearReaders() override {
        Items.clear();
        Index = -1;
        Text.clear();
    }
    void AddReader(const std::string &name) override { Items.push_back(name); }
    void SelectReader(int index) override {
        Index = index;
        Text = Items.at(size_t(index));
    }
    void SetReaderText(const std::string &text) override { Text = text; }
    int ReaderIndex() override { return Index; }
    std::string CommandText() override { return Command; }
    bool AutoGetResponse() override { return Auto; }
    void ShowResponse(const std::string &text, const std::string &details) override {
        Response = text;
        Details = details;
    }

    std::vector<std::string> Messages, Items;
    int Index = -1;
    std::string Text, Command = "0084000004", Response = "old", Details;
    bool Auto = false;
};

class Operations : public ::testing::Test {
  protected:
    void SetUp() override { gScript = TScript{}; }
    TPcscContext Context() { return TPcscContext{Link, Readers, Window}; }
    void Answer(Bytes bytes, int reported = -2) {
        gScript.Answers.push_back({0, std::move(bytes), reported});
    }

    TPcscLink Link = BoundLink();
    std::vector<std::string> Readers;
    TRecordingWindow Window;
};

using Messages = std::vector<std::string>;
} // namespace

TEST_F(Operations, UnboundLibraryIsNeverCalled) {
    TPcscLink unbound;                   // every entry point empty: a call would crash
    unbound.PS_GetDeviceList = FakeList; // found, but the binding as a whole failed
    TPcscContext c{unbound, Readers, Window};
    PcscList(c);
    EXPECT_TRUE(Window.Messages.empty());
    PcscEndConnection(c);
    for (auto op : {PcscRefresh, PcscOpen, PcscClose, PcscReset, PcscFree, PcscApdu})
        op(c);
    EXPECT_EQ(Window.Messages, Messages(6, "The brenmark.dll Open Error!"));
    EXPECT_EQ(gScript.Lists, 0);
    EXPECT_EQ(Window.Response, "old");
}

TEST_F(Operations, ShowingWithReadersSelectsTheFirst) {
    gScript.Names = {"Reader A", "Reader B"};
    gScript.ListCount = 2;
    Window.Items = {"stale"};
    PcscList(Context());
    EXPECT_EQ(Window.Items, (Messages{"Reader A", "Reader B"}));
    EXPECT_EQ(Readers, Window.Items);
    EXPECT_EQ(Window.Index, 0);
    EXPECT_TRUE(Window.Messages.empty());
}

TEST_F(Operations, ShowingWithoutReadersSaysSoAndLeavesTheListEmpty) {
    for (int result : {-1006, -1004, 0}) {
        gScript.ListResult = result;
        gScript.Names = {"Ghost"};
        gScript.ListCount = result == 0 ? 0 : 1; // a failed listing's count means nothing
        Window = TRecordingWindow{};
        Window.Items = {"stale"};
        PcscList(Context());
        EXPECT_EQ(Window.Messages, Messages{"Can't find PS/SC Device"}) << result;
        EXPECT_TRUE(Window.Items.empty());
        EXPECT_TRUE(Readers.empty());
        EXPECT_EQ(Window.Text, "");
        EXPECT_EQ(Window.Index, -1);
    }
}

TEST_F(Operations, ListingHoldsTheCountToTheTable) {
    for (int i = 0; i < 25; ++i)
        gScript.Names.push_back("R" + std::to_string(i));
    gScript.ListCount = 25;
    PcscList(Context());
    EXPECT_EQ(Window.Items.size(), 20u);
    EXPECT_EQ(Window.Items.back(), "R19");
    gScript.ListCount = -5;
    PcscList(Context());
    EXPECT_TRUE(Window.Items.empty());
    EXPECT_EQ(Window.Messages.back(), "Can't find PS/SC Device");
}

TEST_F(Operations, RefreshShowsTheResultAsANumber) {
    gScript.ListResult = -1006;
    Window.Items = {"stale"};
    PcscRefresh(Context());
    EXPECT_EQ(Window.Messages, Messages{"-1006"});
    EXPECT_TRUE(Window.Items.empty());

    gScript.ListResult = int(0x8010002E);
    PcscRefresh(Context());
    EXPECT_EQ(Window.Messages.back(), "-2146435026");

    gScript.ListResult = 0;
    gScript.ListCount = 0;
    PcscRefresh(Context());
    EXPECT_EQ(Window.Messages.back(), "0");
    EXPECT_EQ(Window.Text, "Can't Find Smart reader");

    gScript.Names = {"Reader A", "Reader B"};
    gScript.ListCount = 2;
    PcscRefresh(Context());
    EXPECT_EQ(Window.Messages.back(), "0");
    EXPECT_EQ(Window.Items, (Messages{"Reader A", "Reader B"}));
    EXPECT_EQ(Window.Index, 0);
}

TEST_F(Operations, ApduRefusesTextThatIsNoCommand) {
    Answer({0x90, 0x00});
    for (const std::string &text :
         std::vector<std::string>{"", "   ", "00G4", "0x84", std::string(1024, '0')}) {
        Window.Command = text;
        PcscApdu(Context());
    }
    EXPECT_TRUE(gScript.Sent.empty());
    EXPECT_EQ(Window.Messages, Messages(5, "Please input APDU data! "));
    EXPECT_EQ(Window.Response, "old");
}

TEST_F(Operations, FailedExchangeClearsTheResponse) {
    gScript.Answers.push_back({-1003, {}, 0});
    PcscApdu(Context());
    EXPECT_EQ(Window.Messages, Messages{"TransmitData Error"});
    EXPECT_EQ(Window.Response, "");
    EXPECT_EQ(Window.Details, "Sent: 00 84 00 00 04\nNo response (result -1003)");
}

TEST_F(Operations, DetailsTellDataStatusAndMeaningApart) {
    Answer({0xA0, 0xA1, 0xA2, 0xA3, 0x90, 0x00});
    PcscApdu(Context());
    EXPECT_EQ(Window.Details, "Sent: 00 84 00 00 04\n"
                              "Response: 6 bytes\n"
                              "Data: A0 A1 A2 A3\n"
                              "SW1 SW2: 90 00 (Normal processing)");
    gScript.Answers = {{0, {0x6F}, -2}};
    PcscApdu(Context());
    EXPECT_EQ(Window.Details, "Sent: 00 84 00 00 04\n"
                              "Response: 1 byte\n"
                              "Data: 6F\n"
                              "SW1 SW2: missing");
    // Long data goes on lines of sixteen bytes.
    Bytes long_answer(20, 0x11);
    long_answer.push_back(0x6A);
    long_answer.push_back(0x82);
    gScript.Answers = {{0, long_answer, -2}};
    PcscApdu(Context());
    EXPECT_EQ(Window.Details, "Sent: 00 84 00 00 04\n"
                              "Response: 22 bytes\n"
                              "Data: 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11\n"
                              "      11 11 11 11\n"
                              "SW1 SW2: 6A 82 (File or application not found)");
}

TEST_F(Operations, WithoutAutoGetResponseTheRawAnswerShows) {
    Answer({0x61, 0x10});
    Window.Command = "00A4040002F04C";
    PcscApdu(Context());
    EXPECT_EQ(gScript.Sent.size(), 1u);
    EXPECT_EQ(Window.Response, "6110");
}

TEST(Exchange, MoreDataIsFetchedAndJoined) {
    gScript = TScript{};
    gScript.Answers = {{0, {0x01, 0x61, 0x03}, -2}, // data and "3 more"
                       {0, {0x02, 0x03, 0x61, 0x01}, -2},
                       {0, {0x04, 0x90, 0x00}, -2}};
    const TApduExchange e = ExchangeApdu(FakeTransmit, {0x01, 0xA4, 0x04, 0x00}, true);
    EXPECT_EQ(e.Result, 0);
    EXPECT_EQ(e.Response, (Bytes{0x01, 0x02, 0x03, 0x04, 0x90, 0x00}));
    // GET RESPONSE keeps the logical channel of the command.
    EXPECT_EQ(e.Sent, (std::vector<Bytes>{{0x01, 0xA4, 0x04, 0x00},
                                          {0x01, 0xC0, 0x00, 0x00, 0x03},
                                          {0x01, 0xC0, 0x00, 0x00, 0x01}}));
    const std::string details = ExchangeDetails(e);
    EXPECT_EQ(details.find("Sent: 00 A4"), std::string::npos);
    EXPECT_NE(details.find("Sent: 01 C0 00 00 03\nSent: 01 C0 00 00 01\nResponse: 6 bytes\n"
                           "Data: 01 02 03 04\n"),
              std::string::npos)
        << details;
}

TEST(Exchange, WrongLeIsCorrectedOnce) {
    gScript = TScript{};
    gScript.Answers = {{0, {0x6C, 0x08}, -2}, {0, {0x10, 0x20, 0x90, 0x00}, -2}};
    const TApduExchange e = ExchangeApdu(FakeTransmit, {0x00, 0xB0, 0x00, 0x00, 0x00}, true);
    EXPECT_EQ(e.Sent,
              (std::vector<Bytes>{{0x00, 0xB0, 0x00, 0x00, 0x00}, {0x00, 0xB0, 0x00, 0x00, 0x08}}));
    EXPECT_EQ(e.Response, (Bytes{0x10, 0x20, 0x90, 0x00}));
}

TEST(Exchange, EndlessFollowUpsAreBounded) {
    gScript = TScript{};
    gScript.Answers = {{0, {0xAB, 0x61, 0x01}, -2}};
    const TApduExchange e = ExchangeApdu(FakeTransmit, {0x00, 0xC0, 0x00, 0x00, 0x01}, true);
    EXPECT_EQ(e.Result, 0);
    EXPECT_EQ(e.Sent.size(), size_t(kMaxFollowUps + 1));
    // What was gathered, and the last answer as it came.
    EXPECT_EQ(e.Response.size(), size_t(kMaxFollowUps + 3));
    EXPECT_EQ(e.Response.back(), 0x01);

    // A card that answers 6Cxx to every Le gets the command once more, with its Le.
    gScript.Answers = {{0, {0x6C, 0x05}, -2}};
    const TApduExchange wrongLe = ExchangeApdu(FakeTransmit, {0x00, 0xB0, 0x00, 0x00, 0x01}, true);
    EXPECT_EQ(wrongLe.Sent,
              (std::vector<Bytes>{{0x00, 0xB0, 0x00, 0x00, 0x01}, {0x00, 0xB0, 0x00, 0x00, 0x05}}));
    EXPECT_EQ(wrongLe.Response, (Bytes{0x6C, 0x05}));
}

TEST(Exchange, WrongLeIsResentOnlyWithAnotherLe) {
    const struct {
        const char *what;
        Bytes command;
        std::vector<Bytes> answers;
        std::vector<Bytes> sent;
    } cases[] = {
        {"the Le the card asks for is the one sent",
         {0x00, 0xB0, 0x00, 0x00, 0x05},
         {{0x6C, 0x05}},
         {{0x00, 0xB0, 0x00, 0x00, 0x05}}},
        {"256 asked for as 00, sent as 00",
         {0x00, 0xB0, 0x00, 0x00, 0x00},
         {{0x6C, 0x00}},
         {{0x00, 0xB0, 0x00, 0x00, 0x00}}},
        {"the card changes its mind after the resend",
         {0x00, 0xB0, 0x00, 0x00, 0x01},
         {{0x6C, 0x05}, {0x6C, 0x01}},
         {{0x00, 0xB0, 0x00, 0x00, 0x01}, {0x00, 0xB0, 0x00, 0x00, 0x05}}},
        {"a GET RESPONSE with a wrong Le is corrected too",
         {0x00, 0xA4, 0x04, 0x00},
         {{0x61, 0x10}, {0x6C, 0x08}, {0x01, 0x90, 0x00}},
         {{0x00, 0xA4, 0x04, 0x00},
          {0x00, 0xC0, 0x00, 0x00, 0x10},
          {0x00, 0xC0, 0x00, 0x00, 0x08}}},
    };
    for (const auto &c : cases) {
        gScript = TScript{};
        for (const Bytes &a : c.answers)
            gScript.Answers.push_back({0, a, -2});
        const TApduExchange e = ExchangeApdu(FakeTransmit, c.command, true);
        EXPECT_EQ(e.Sent, c.sent) << c.what;
        EXPECT_EQ(e.Result, 0) << c.what;
    }
}

// GET RESPONSE goes out on the logical channel of the command: channels 0-3 sit in bits 1-2
// of the first interindustry classes, channels 4-19 in bits 1-4 of the further ones.
TEST(Exchange, GetResponseKeepsTheLogicalChannel) {
    const struct {
        uint8_t cla, expected;
    } cases[] = {
        {0x00, 0x00}, {0x03, 0x03}, {0x0D, 0x01}, {0x13, 0x03}, // secure messaging, chaining
        {0x40, 0x40}, {0x41, 0x41}, {0x4F, 0x4F}, {0x6A, 0x4A}, // channels 4, 5, 19, 14
        {0x7F, 0x4F}, {0x50, 0x40},                             // with SM and chaining bits
        {0x80, 0x00}, {0xA4, 0x00},                             // proprietary: basic channel
    };
    for (const auto &c : cases) {
        gScript = TScript{};
        gScript.Answers = {{0, {0x61, 0x02}, -2}, {0, {0x01, 0x02, 0x90, 0x00}, -2}};
        const TApduExchange e = ExchangeApdu(FakeTransmit, {c.cla, 0xCA, 0x00, 0x6E, 0x00}, true);
        ASSERT_EQ(e.Sent.size(), 2u) << int(c.cla);
        EXPECT_EQ(e.Sent[1], (Bytes{c.expected, 0xC0, 0x00, 0x00, 0x02})) << std::hex << int(c.cla);
    }
}

TEST(Exchange, AFailedFollowUpFailsTheCommand) {
    gScript = TScript{};
    gScript.Answers = {{0, {0x61, 0x10}, -2}, {-1003, {}, 0}};
    const TApduExchange e = ExchangeApdu(FakeTransmit, {0x00, 0xA4, 0x04, 0x00}, true);
    EXPECT_EQ(e.Result, -1003);
    EXPECT_TRUE(e.Response.empty());
    EXPECT_EQ(e.Sent.size(), 2u);
}

TEST(Exchange, LeIsSetWhereTheCommandCarriesIt) {
    Bytes out;
    // Case 1 and 3 gain an Le, case 2 and 4 have theirs replaced.
    ASSERT_TRUE(CommandWithLe({0x00, 0xB0, 0x00, 0x00}, 0x08, out));
    EXPECT_EQ(out, (Bytes{0x00, 0xB0, 0x00, 0x00, 0x08}));
    ASSERT_TRUE(CommandWithLe({0x00, 0xB0, 0x00, 0x00, 0x20}, 0x08, out));
    EXPECT_EQ(out, (Bytes{0x00, 0xB0, 0x00, 0x00, 0x08}));
    ASSERT_TRUE(CommandWithLe({0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00}, 0x10, out));
    EXPECT_EQ(out, (Bytes{0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00, 0x10}));
    ASSERT_TRUE(CommandWithLe({0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00, 0x00}, 0x10, out));
    EXPECT_EQ(out, (Bytes{0x00, 0xA4, 0x04, 0x00, 0x02, 0x3F, 0x00, 0x10}));
    EXPECT_FALSE(CommandWithLe({0x00, 0xB0, 0x00}, 0x08, out));

    // A short command answered 6Cxx ends with that answer.
    gScript = TScript{};
    gScript.Answers = {{0, {0x6C, 0x02}, -2}};
    const TApduExchange e = ExchangeApdu(FakeTransmit, {0x00}, true);
    EXPECT_EQ(e.Sent.size(), 1u);
    EXPECT_EQ(e.Response, (Bytes{0x6C, 0x02}));
}
