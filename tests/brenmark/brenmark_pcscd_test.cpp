// The six exports against a real pcscd with the vpcd driver and a virtual card.
#include "brenmark.h"
#include "call_counter.h"
#include "card_scripts.h"
#include "pcsc_lab.h"

#include <PCSC/winscard.h>

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>

using brenmark_lab::Bytes;

namespace {

constexpr int kNamesSize = 2000;
constexpr int kResponseSize = 1024;
constexpr std::uint8_t kUntouched = 0xEE;

const Bytes kGetChallenge = {0x00, 0x84, 0x00, 0x00, 0x04};
const Bytes kChallengeAnswer = {0xA0, 0xA1, 0xA2, 0xA3, 0x90, 0x00};
const Bytes kSelect = {0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00};

// First in the file: in a whole-program run it still sees the library untouched.
TEST(BrenmarkBeforeListing, EveryCallFailsSafelyWithoutTheService) {
    int releases = call_counter::releases;
    int connects = call_counter::connects;
    int disconnects = call_counter::disconnects;
    unsigned char response[kResponseSize];
    int length = -1;
    EXPECT_EQ(PS_OpenDevice(0), PS_ERR_ARGUMENT);
    EXPECT_EQ(PS_TransmitData(kGetChallenge.data(), 5, response, &length), PS_ERR_NO_CARD);
    EXPECT_EQ(PS_ATRReset(), PS_ERR_REFUSED);
    EXPECT_EQ(PS_CloseDevice(), PS_OK);
    EXPECT_EQ(PS_FreeDevice(), PS_OK);
    int count = 0;
    char names[kNamesSize];
    EXPECT_EQ(PS_GetDeviceList(nullptr, &count), PS_ERR_ARGUMENT);
    EXPECT_EQ(PS_GetDeviceList(names, nullptr), PS_ERR_ARGUMENT);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(call_counter::releases, releases);
    EXPECT_EQ(call_counter::connects, connects);
    EXPECT_EQ(call_counter::disconnects, disconnects);
}

class PcscdTest : public testing::Test {
  protected:
    void SetUp() override {
        const auto &a = brenmark_lab::availability();
        if (!a.usable) GTEST_SKIP() << "private pcscd cannot run here: " << a.reason;
        PS_FreeDevice();
    }
    void TearDown() override {
        PS_FreeDevice();
        card_.reset();
        daemon_.stop();
    }

    // Starts the daemon; a failure here is a fault of the machine or of the fixture.
    void start(const std::vector<std::string> &names) {
        std::string error;
        ASSERT_TRUE(daemon_.start(names, &error)) << error;
    }

    // One reader device with a card of the given ATR in its first slot.
    void start_with_card(const Bytes &atr, const std::string &friendly = "Lab Reader") {
        ASSERT_NO_FATAL_FAILURE(start({friendly}));
        reader_ = friendly + " 00 00";
        insert_card(atr);
    }

    void insert_card(const Bytes &atr) {
        card_ = std::make_unique<brenmark_lab::VirtualCard>(atr, brenmark_lab::lab_card_script());
        ASSERT_TRUE(card_->insert(daemon_.port(0)));
        ASSERT_TRUE(brenmark_lab::wait_for_card(reader_, true, 5000)) << daemon_.log();
    }

    // Lists and returns the index of the reader with the card.
    int list_and_find() {
        std::memset(names_, 0, sizeof names_);
        int count = -1;
        EXPECT_EQ(PS_GetDeviceList(names_, &count), PS_OK);
        for (int i = 0; i < count; ++i)
            if (reader_.compare(0, 99, names_ + i * PS_NAME_SLOT) == 0) return i;
        ADD_FAILURE() << "reader " << reader_ << " not listed";
        return -1;
    }

    void open_card() {
        int index = list_and_find();
        ASSERT_GE(index, 0);
        ASSERT_EQ(PS_OpenDevice(index), PS_OK);
    }

    // Sends an APDU; returns the result and fills response.
    int transmit(const Bytes &apdu, Bytes *response) {
        std::memset(buffer_, kUntouched, sizeof buffer_);
        int length = -1;
        int rv = PS_TransmitData(apdu.data(), static_cast<int>(apdu.size()), buffer_, &length);
        if (rv == PS_OK) response->assign(buffer_, buffer_ + length);
        return rv;
    }

    bool buffer_untouched_from(int offset) const {
        return std::all_of(buffer_ + offset, buffer_ + kResponseSize,
                           [](std::uint8_t b) { return b == kUntouched; });
    }

    brenmark_lab::PrivatePcscd daemon_;
    std::unique_ptr<brenmark_lab::VirtualCard> card_;
    std::string reader_;
    char names_[kNamesSize];
    unsigned char buffer_[kResponseSize];
};

TEST_F(PcscdTest, ListsNamesInZeroFilledSlotsAndWritesNoFurther) {
    // Names of 20 and 35 characters: the friendly name and " 00 00" or " 00 01".
    const std::string a = "Short reader a";
    const std::string b = "A reader with a longer name x";
    ASSERT_NO_FATAL_FAILURE(start({a, b}));
    char names[kNamesSize + 16];
    std::memset(names, kUntouched, sizeof names);
    int count = -1;
    ASSERT_EQ(PS_GetDeviceList(names, &count), PS_OK);
    ASSERT_EQ(count, 4);
    std::set<std::string> expected = {a + " 00 00", a + " 00 01", b + " 00 00", b + " 00 01"};
    std::set<std::string> seen;
    for (int i = 0; i < count; ++i) {
        const char *slot = names + i * PS_NAME_SLOT;
        std::size_t length = strnlen(slot, PS_NAME_SLOT);
        ASSERT_LT(length, std::size_t{PS_NAME_SLOT});
        EXPECT_TRUE(length == 20 || length == 35) << slot;
        seen.insert(slot);
        EXPECT_TRUE(std::all_of(slot + length, slot + PS_NAME_SLOT, [](char c) { return c == 0; }))
            << "slot " << i << " is not zero-filled";
    }
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(std::all_of(names + count * PS_NAME_SLOT, names + sizeof names,
                            [](char c) { return static_cast<std::uint8_t>(c) == kUntouched; }));
}

TEST_F(PcscdTest, SixteenReadersFillSixteenSlots) {
    // The daemon's own limit; each device has its own driver copy and ports.
    std::vector<std::string> friendly;
    for (int i = 0; i < 8; ++i)
        friendly.push_back("Device " + std::string(1, char('A' + i)));
    ASSERT_NO_FATAL_FAILURE(start(friendly));
    char names[kNamesSize];
    std::memset(names, kUntouched, sizeof names);
    int count = -1;
    ASSERT_EQ(PS_GetDeviceList(names, &count), PS_OK);
    ASSERT_EQ(count, 16);
    std::set<std::string> seen;
    for (int i = 0; i < count; ++i)
        seen.insert(names + i * PS_NAME_SLOT);
    EXPECT_EQ(seen.size(), 16u);
    EXPECT_EQ(seen.count("Device H 00 01"), 1u);
    EXPECT_TRUE(std::all_of(names + 1600, names + kNamesSize,
                            [](char c) { return static_cast<std::uint8_t>(c) == kUntouched; }));
}

TEST_F(PcscdTest, LongNameIsCutInItsSlotButConnectsByItsFullName) {
    const std::string friendly(110, 'L');
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtrT0, friendly));
    ASSERT_EQ(reader_.size(), 116u);
    int count = -1;
    ASSERT_EQ(PS_GetDeviceList(names_, &count), PS_OK);
    ASSERT_EQ(count, 2);
    int index = -1;
    for (int i = 0; i < count; ++i) {
        const char *slot = names_ + i * PS_NAME_SLOT;
        EXPECT_EQ(strnlen(slot, PS_NAME_SLOT), 99u);
        EXPECT_EQ(std::string(slot), reader_.substr(0, 99));
        if (index < 0) index = i; // both cut names look alike; the first is slot 00 00
    }
    ASSERT_EQ(PS_OpenDevice(index), PS_OK);
    Bytes response;
    EXPECT_EQ(transmit(kGetChallenge, &response), PS_OK);
    EXPECT_EQ(response, kChallengeAnswer);
}

TEST_F(PcscdTest, IndexOutsideTheListIsRefusedWithoutCallingTheService) {
    ASSERT_NO_FATAL_FAILURE(start({"Lab Reader"}));
    int before = call_counter::connects;
    int count = -1;
    ASSERT_EQ(PS_GetDeviceList(names_, &count), PS_OK);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(PS_OpenDevice(-1), PS_ERR_ARGUMENT);
    EXPECT_EQ(PS_OpenDevice(count), PS_ERR_ARGUMENT);
    EXPECT_EQ(call_counter::connects, before);
    // A listed reader without a card: the service refuses.
    EXPECT_EQ(PS_OpenDevice(0), PS_ERR_REFUSED);
    EXPECT_EQ(call_counter::connects, before + 1);
}

TEST_F(PcscdTest, TransmitChecksLengthAndConnection) {
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtrT0));
    unsigned char response[kResponseSize];
    int length = -1;
    EXPECT_EQ(PS_TransmitData(kGetChallenge.data(), 5, response, &length), PS_ERR_NO_CARD);
    ASSERT_NO_FATAL_FAILURE(open_card());
    EXPECT_EQ(PS_TransmitData(kGetChallenge.data(), 0, response, &length), PS_ERR_ARGUMENT);
    EXPECT_EQ(PS_TransmitData(kGetChallenge.data(), -5, response, &length), PS_ERR_ARGUMENT);
    EXPECT_EQ(PS_TransmitData(nullptr, 5, response, &length), PS_ERR_ARGUMENT);
    EXPECT_EQ(PS_TransmitData(kGetChallenge.data(), 5, nullptr, &length), PS_ERR_ARGUMENT);
    EXPECT_EQ(length, -1);
    EXPECT_TRUE(card_->commands().empty()) << "a refused call reached the card";
}

TEST_F(PcscdTest, T0CardExchangesWithTheNegotiatedProtocol) {
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtrT0));
    ASSERT_NO_FATAL_FAILURE(open_card());
    Bytes response;
    ASSERT_EQ(transmit(kGetChallenge, &response), PS_OK);
    EXPECT_EQ(response, kChallengeAnswer);
    EXPECT_TRUE(buffer_untouched_from(6));
    // Status words only.
    ASSERT_EQ(transmit(kSelect, &response), PS_OK);
    EXPECT_EQ(response, (Bytes{0x90, 0x00}));
    EXPECT_EQ(card_->commands(), (std::vector<Bytes>{kGetChallenge, kSelect}));
    EXPECT_EQ(PS_ATRReset(), PS_OK);
}

TEST_F(PcscdTest, T1OnlyCardExchangesWithTheNegotiatedProtocol) {
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtrT1));
    ASSERT_NO_FATAL_FAILURE(open_card());
    Bytes response;
    ASSERT_EQ(transmit(kGetChallenge, &response), PS_OK);
    EXPECT_EQ(response, kChallengeAnswer);
    ASSERT_EQ(transmit(kSelect, &response), PS_OK);
    EXPECT_EQ(response, (Bytes{0x90, 0x00}));
    EXPECT_EQ(PS_ATRReset(), PS_OK);

    // The card really runs T=1 here, so T=0 control information would have failed.
    ASSERT_EQ(PS_CloseDevice(), PS_OK);
    SCARDCONTEXT context;
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context), SCARD_S_SUCCESS);
    SCARDHANDLE card;
    DWORD protocol = 0;
    ASSERT_EQ(SCardConnect(context, reader_.c_str(), SCARD_SHARE_EXCLUSIVE,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol),
              SCARD_S_SUCCESS);
    EXPECT_EQ(protocol, static_cast<DWORD>(SCARD_PROTOCOL_T1));
    unsigned char raw[300];
    DWORD raw_length = sizeof raw;
    EXPECT_NE(SCardTransmit(card, SCARD_PCI_T0, kGetChallenge.data(), 5, nullptr, raw, &raw_length),
              SCARD_S_SUCCESS);
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    SCardReleaseContext(context);
}

TEST_F(PcscdTest, StatusWordsForMoreDataAndWrongLePassThroughRaw) {
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtrT0));
    ASSERT_NO_FATAL_FAILURE(open_card());
    Bytes response;
    ASSERT_EQ(transmit({0x00, 0xA4, 0x04, 0x00, 0x02, 0xF0, 0x4C}, &response), PS_OK);
    EXPECT_EQ(response, (Bytes{0x61, 0x10}));
    ASSERT_EQ(transmit({0x00, 0xC0, 0x00, 0x00, 0x10}, &response), PS_OK);
    Bytes expected = brenmark_lab::kSelectData;
    expected.push_back(0x90);
    expected.push_back(0x00);
    EXPECT_EQ(response, expected);
    ASSERT_EQ(transmit({0x00, 0xB0, 0x00, 0x00, 0x00}, &response), PS_OK);
    EXPECT_EQ(response, (Bytes{0x6C, 0x08}));
    // An answer shorter than a status word is handed on as it came.
    ASSERT_EQ(transmit({0x80, 0x01, 0x00, 0x00}, &response), PS_OK);
    EXPECT_EQ(response, (Bytes{0x6F}));
    EXPECT_TRUE(buffer_untouched_from(1));
}

TEST_F(PcscdTest, LongestAnswerToResetIsRead) {
    ASSERT_EQ(brenmark_lab::kAtr33.size(), 33u);
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtr33));
    ASSERT_NO_FATAL_FAILURE(open_card());
    EXPECT_EQ(PS_ATRReset(), PS_OK);
    Bytes response;
    EXPECT_EQ(transmit(kGetChallenge, &response), PS_OK);
    // The service really holds all 33 bytes.
    SCARDCONTEXT context;
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context), SCARD_S_SUCCESS);
    SCARD_READERSTATE state{};
    state.szReader = reader_.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    ASSERT_EQ(SCardGetStatusChange(context, 0, &state, 1), SCARD_S_SUCCESS);
    EXPECT_EQ(Bytes(state.rgbAtr, state.rgbAtr + state.cbAtr), brenmark_lab::kAtr33);
    SCardReleaseContext(context);
}

TEST_F(PcscdTest, ResponseIsBoundedBy260Bytes) {
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtrT1));
    ASSERT_NO_FATAL_FAILURE(open_card());
    Bytes response;
    ASSERT_EQ(transmit({0x80, 0xCA, 0x00, 0x00, 0x00}, &response), PS_OK);
    ASSERT_EQ(response.size(), 258u);
    EXPECT_EQ(response[255], 0xFF);
    EXPECT_EQ(response[257], 0x00);
    EXPECT_TRUE(buffer_untouched_from(258));
    // More than asked for: refused or cut, never written past 260 bytes.
    int rv = transmit({0x80, 0xCB, 0x00, 0x00, 0x00}, &response);
    if (rv == PS_OK)
        EXPECT_LE(response.size(), 260u);
    else
        EXPECT_EQ(rv, PS_ERR_REFUSED);
    EXPECT_TRUE(buffer_untouched_from(260));
}

TEST_F(PcscdTest, CloseTwiceDisconnectsOnce) {
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtrT0));
    ASSERT_NO_FATAL_FAILURE(open_card());
    int before = call_counter::disconnects;
    EXPECT_EQ(PS_CloseDevice(), PS_OK);
    EXPECT_EQ(PS_CloseDevice(), PS_OK);
    EXPECT_EQ(call_counter::disconnects, before + 1);
    Bytes response;
    EXPECT_EQ(transmit(kGetChallenge, &response), PS_ERR_NO_CARD);
    EXPECT_EQ(PS_ATRReset(), PS_ERR_REFUSED);
    // Closed, so the card can be opened again.
    ASSERT_NO_FATAL_FAILURE(open_card());
    EXPECT_EQ(transmit(kGetChallenge, &response), PS_OK);
}

TEST_F(PcscdTest, ListingWhileConnectedEndsConnectionAndContext) {
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtrT0));
    ASSERT_NO_FATAL_FAILURE(open_card());
    int disconnects = call_counter::disconnects;
    int releases = call_counter::releases;
    int count = -1;
    ASSERT_EQ(PS_GetDeviceList(names_, &count), PS_OK);
    EXPECT_EQ(call_counter::disconnects, disconnects + 1);
    EXPECT_EQ(call_counter::releases, releases + 1);
    Bytes response;
    EXPECT_EQ(transmit(kGetChallenge, &response), PS_ERR_NO_CARD);
    // The exclusive connection is really gone: another client gets the card.
    SCARDCONTEXT context;
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context), SCARD_S_SUCCESS);
    SCARDHANDLE card;
    DWORD protocol = 0;
    EXPECT_EQ(SCardConnect(context, reader_.c_str(), SCARD_SHARE_EXCLUSIVE,
                           SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol),
              SCARD_S_SUCCESS);
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    SCardReleaseContext(context);
}

TEST_F(PcscdTest, FreeReleasesOnceAndLeavesNothingToUse) {
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtrT0));
    ASSERT_NO_FATAL_FAILURE(open_card());
    int releases = call_counter::releases;
    int connects = call_counter::connects;
    EXPECT_EQ(PS_FreeDevice(), PS_OK);
    EXPECT_EQ(PS_FreeDevice(), PS_OK);
    EXPECT_EQ(call_counter::releases, releases + 1) << "no release without a context";
    Bytes response;
    EXPECT_EQ(transmit(kGetChallenge, &response), PS_ERR_NO_CARD);
    EXPECT_EQ(PS_OpenDevice(0), PS_ERR_REFUSED);
    EXPECT_EQ(call_counter::connects, connects);
    // A new listing brings everything back.
    ASSERT_NO_FATAL_FAILURE(open_card());
    EXPECT_EQ(transmit(kGetChallenge, &response), PS_OK);
}

TEST_F(PcscdTest, NoServiceGivesMinus1004) {
    ASSERT_NO_FATAL_FAILURE(start({"Lab Reader"}));
    daemon_.stop();
    int count = 7;
    EXPECT_EQ(PS_GetDeviceList(names_, &count), PS_ERR_NO_CONTEXT);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(PS_OpenDevice(0), PS_ERR_ARGUMENT);
    int releases = call_counter::releases;
    EXPECT_EQ(PS_FreeDevice(), PS_OK);
    EXPECT_EQ(call_counter::releases, releases);
}

TEST_F(PcscdTest, NoReaderPassesTheServiceCodeOn) {
    ASSERT_NO_FATAL_FAILURE(start({}));
    int count = 7;
    EXPECT_EQ(PS_GetDeviceList(names_, &count),
              static_cast<int>(static_cast<LONG>(SCARD_E_NO_READERS_AVAILABLE)));
    EXPECT_EQ(count, 7);
    EXPECT_EQ(PS_OpenDevice(0), PS_ERR_ARGUMENT);
}

TEST_F(PcscdTest, CardRemovedBetweenExchangesThenRecovers) {
    ASSERT_NO_FATAL_FAILURE(start_with_card(brenmark_lab::kAtrT0));
    ASSERT_NO_FATAL_FAILURE(open_card());
    Bytes response;
    ASSERT_EQ(transmit(kGetChallenge, &response), PS_OK);
    EXPECT_EQ(PS_ATRReset(), PS_OK);
    card_->remove();
    EXPECT_EQ(transmit(kGetChallenge, &response), PS_ERR_REFUSED);
    ASSERT_TRUE(brenmark_lab::wait_for_card(reader_, false, 5000));
    EXPECT_EQ(PS_ATRReset(), PS_ERR_REFUSED);
    EXPECT_EQ(transmit(kGetChallenge, &response), PS_ERR_REFUSED);

    ASSERT_NO_FATAL_FAILURE(insert_card(brenmark_lab::kAtrT0));
    ASSERT_NO_FATAL_FAILURE(open_card());
    ASSERT_EQ(transmit(kGetChallenge, &response), PS_OK);
    EXPECT_EQ(response, kChallengeAnswer);
    EXPECT_EQ(PS_ATRReset(), PS_OK);
}

} // namespace

int main(int argc, char **argv) {
    // Before any smart-card call: points the client library at the private daemon.
    brenmark_lab::availability();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
