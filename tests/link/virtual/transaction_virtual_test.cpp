// The reader transaction over liblorvane.so and the virtual reader.
#include "config/codec.h"
#include "link/frames.h"
#include "link/reader_link.h"
#include "link/transaction.h"
#include "virtual_reader.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
int pumped = 0;
bool nestedRefused = true;
TReaderLink *boundLink = nullptr;

void CountingPump(void *) {
    ++pumped;
    // A transaction started from inside the pump (a click handled while the library
    // waits) is refused without touching the library.
    if (boundLink != nullptr && pumped == 1) {
        TxOptions opts;
        nestedRefused = RunTransaction(*boundLink, frames::NormalMode, opts, nullptr).outcome ==
                        TxOutcome::Busy;
    }
}

class VirtualReader : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        SetMessagePump(&CountingPump, nullptr);
        std::vector<std::string> asked;
        const BindResult r = BindReaderLink(link, [&](const char *c) { asked.emplace_back(c); });
        ASSERT_EQ(r, BindResult::Ok) << (asked.empty() ? "" : asked[0]);
        ASSERT_EQ(link.HidBound, 1);
        ASSERT_EQ(link.SerialBound, 1);
    }
    void SetUp() override {
        vr_reset();
        enables.clear();
        pumped = 0;
    }

    TxResult Run(TxCommand command, int (*build)(uint8_t (&)[1024])) {
        TxOptions opts;
        opts.command = command;
        opts.decode = DecodeLoadReply;
        return RunTransaction(link, build, opts, [this](bool on) { enables.push_back(on); });
    }
    static std::vector<uint8_t> Message(int i) {
        std::vector<uint8_t> m(4096);
        const int n = vr_message(i, m.data(), static_cast<int>(m.size()));
        m.resize(n < 0 ? 0 : n);
        return m;
    }

    static TReaderLink link;
    std::vector<bool> enables;
};
TReaderLink VirtualReader::link;
} // namespace

TEST_F(VirtualReader, UnpluggedReaderGetsNoFrame) {
    vr_set_present(0);
    const TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration);
    EXPECT_EQ(r.outcome, TxOutcome::NoReader);
    EXPECT_EQ(vr_written_report_count(), 0);
    EXPECT_EQ(vr_open_handles(), 0);
    EXPECT_EQ(enables, (std::vector<bool>{false, true}));
}

TEST_F(VirtualReader, SilentReaderGetsThreeFramesThenTheDeviceIsClosed) {
    vr_set_silent(1);
    vr_set_fail_when_empty(1); // the read fails at once instead of after its time-out
    const TxResult r = Run(TxCommand::Mode, frames::NormalMode);
    EXPECT_EQ(r.outcome, TxOutcome::NoAnswer);
    EXPECT_EQ(r.attempts, 3);
    EXPECT_EQ(vr_message_count(), 3);
    EXPECT_EQ(vr_open_handles(), 0);
    EXPECT_EQ(enables, (std::vector<bool>{false, true}));
}

TEST_F(VirtualReader, ReadConfigurationDecodesTheStoredBlock) {
    const TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration);
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(r.attempts, 1);
    EXPECT_GT(r.decodeResult, 0);
    ASSERT_EQ(vr_message_count(), 1);
    EXPECT_EQ(Message(0), (std::vector<uint8_t>{0xA9, 0x7E}));
    EXPECT_EQ(vr_open_handles(), 0);
}

TEST_F(VirtualReader, StatusCIsAnEmptyImageWithoutRetry) {
    vr_set_command_status(0xA9, 0x43);
    const TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration);
    EXPECT_EQ(r.outcome, TxOutcome::EmptyImage);
    EXPECT_EQ(vr_message_count(), 1);
    for (int32_t m : r.modes)
        EXPECT_EQ(m, 0);
    EXPECT_EQ(vr_open_handles(), 0);
}

TEST_F(VirtualReader, StatusAStopsWithoutRetry) {
    vr_set_command_status(0xA9, 0x41);
    const TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration);
    EXPECT_EQ(r.outcome, TxOutcome::DefaultKeyCodes);
    EXPECT_EQ(vr_message_count(), 1);
    EXPECT_EQ(vr_open_handles(), 0);
    EXPECT_EQ(enables, (std::vector<bool>{false, true}));
}

TEST_F(VirtualReader, VersionIsASingleByteFrame) {
    const TxResult r = Run(TxCommand::ReadVersion, frames::ReadVersion);
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    ASSERT_EQ(vr_message_count(), 1);
    EXPECT_EQ(Message(0), (std::vector<uint8_t>{0xAD}));
    const size_t n = frames::VersionTextLength(r.reply, kReplySize);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(r.reply), n), "KeLdO KM5530 MSR V1.00");
}

TEST_F(VirtualReader, ModesReachTheReader) {
    EXPECT_EQ(Run(TxCommand::Mode, frames::TestMode).outcome, TxOutcome::Ok);
    EXPECT_EQ(vr_mode(), 1);
    EXPECT_EQ(Run(TxCommand::Mode, frames::NormalMode).outcome, TxOutcome::Ok);
    EXPECT_EQ(vr_mode(), 0);
}

TEST_F(VirtualReader, LongReplyNeverOverrunsTheReplyBuffer) {
    // A reply payload of 1500 bytes: the library can join it, the program refuses it.
    std::vector<uint8_t> payload(1500, 'x');
    for (int i = 0; i < 3; ++i)
        vr_set_next_reply(0x30, payload.data(), static_cast<int>(payload.size()));
    vr_set_version_text(std::string(1500, 'y').c_str());
    const TxResult r = Run(TxCommand::ReadVersion, frames::ReadVersion);
    EXPECT_EQ(r.outcome, TxOutcome::NoAnswer);
    EXPECT_EQ(r.replyLength, 0);
    EXPECT_EQ(vr_open_handles(), 0);
}

TEST_F(VirtualReader, WindowsArePumpedWhileTheLibraryWaits) {
    boundLink = &link;
    nestedRefused = false;
    vr_set_report_delay_us(2000);
    const TxResult r = Run(TxCommand::ReadConfiguration, frames::ReadConfiguration);
    boundLink = nullptr;
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_GT(pumped, 0);
    EXPECT_TRUE(nestedRefused);
    EXPECT_EQ(vr_message_count(), 1); // the nested one never reached the reader
}
