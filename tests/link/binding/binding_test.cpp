// Binding the transport libraries by file name, against stand-ins with missing pieces.
#include "link/frames.h"
#include "link/reader_link.h"
#include "link/transaction.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
struct Asked {
    std::vector<std::string> captions;
    std::function<void(const char *)> fn() {
        return [this](const char *c) { captions.emplace_back(c); };
    }
};

bool Loaded(const char *path) {
    void *h = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (h != nullptr) dlclose(h); // drops only the reference NOLOAD just took
    return h != nullptr;
}

void HidCounts(const TReaderLink &link, int (&out)[4]) {
    auto counts = reinterpret_cast<void (*)(int *)>(dlsym(link.HidModule, "fake_hid_counts"));
    ASSERT_NE(counts, nullptr);
    counts(out);
}
} // namespace

TEST(Binding, MissingHidLibraryAsksOnceAndStops) {
    TReaderLink link;
    Asked asked;
    EXPECT_EQ(BindReaderLink(link, asked.fn(), MISSING_FILE, SERIVO_FILE), BindResult::Stopped);
    EXPECT_EQ(asked.captions, (std::vector<std::string>{"The LORVANE.dll Is Not Open!"}));
    EXPECT_EQ(link.HidBound, 0);
    EXPECT_EQ(link.SerialBound, 0);
    EXPECT_EQ(link.HidModule, nullptr);
    EXPECT_EQ(link.SerialModule, nullptr);
}

TEST(Binding, HidLibraryLackingANameStopsBeforeTheSerialLibrary) {
    TReaderLink link;
    Asked asked;
    EXPECT_EQ(BindReaderLink(link, asked.fn(), FAKE_HID_PARTIAL, FAKE_COM_FULL),
              BindResult::Stopped);
    EXPECT_EQ(asked.captions, (std::vector<std::string>{"The LORVANE.dll Open Error!"}));
    EXPECT_EQ(link.HidBound, 0);
    EXPECT_NE(link.HidModule, nullptr);
    // Every name is looked up; the found ones are kept.
    EXPECT_NE(link.HID_Init, nullptr);
    EXPECT_NE(link.HID_WRITE, nullptr);
    EXPECT_EQ(link.HID_READ, nullptr);
    // The serial library is not even loaded.
    EXPECT_EQ(link.SerialModule, nullptr);
    EXPECT_FALSE(Loaded(FAKE_COM_FULL));
    // The transaction refuses the unbound transport without calling anything.
    TxOptions opts;
    EXPECT_EQ(RunTransaction(link, frames::NormalMode, opts, nullptr).outcome, TxOutcome::NotBound);
}

TEST(Binding, MissingSerialLibraryLeavesTheHidSideWorking) {
    TReaderLink link;
    Asked asked;
    EXPECT_EQ(BindReaderLink(link, asked.fn(), FAKE_HID_FULL, MISSING_FILE), BindResult::Stopped);
    EXPECT_EQ(asked.captions, (std::vector<std::string>{"The COM.dll Is Not Open!"}));
    EXPECT_EQ(link.HidBound, 1);
    EXPECT_EQ(link.SerialBound, 0);
    EXPECT_EQ(link.SerialModule, nullptr);

    int before[4], after[4];
    HidCounts(link, before);
    TxOptions opts;
    opts.command = TxCommand::ReadVersion;
    const TxResult r = RunTransaction(link, frames::ReadVersion, opts, nullptr);
    EXPECT_EQ(r.outcome, TxOutcome::Ok);
    EXPECT_EQ(r.replyLength, 2);
    HidCounts(link, after);
    EXPECT_EQ(after[0] - before[0], 1); // open
    EXPECT_EQ(after[1] - before[1], 1); // close
    EXPECT_EQ(after[2] - before[2], 1); // write
    EXPECT_EQ(after[3] - before[3], 1); // read

    // Serial operations on the same binding report the unbound transport.
    link.ConnectionKind = 1;
    EXPECT_EQ(RunTransaction(link, frames::NormalMode, opts, nullptr).outcome, TxOutcome::NotBound);
}

TEST(Binding, SerialLibraryLackingANameIsAnOpenError) {
    TReaderLink link;
    Asked asked;
    EXPECT_EQ(BindReaderLink(link, asked.fn(), FAKE_HID_FULL, FAKE_COM_PARTIAL),
              BindResult::Stopped);
    EXPECT_EQ(asked.captions, (std::vector<std::string>{"The COM.dll Open Error!"}));
    EXPECT_EQ(link.HidBound, 1);
    EXPECT_EQ(link.SerialBound, 0);
    EXPECT_NE(link.SerialModule, nullptr);
    EXPECT_EQ(link.COM_READ1, nullptr);
    EXPECT_NE(link.Set_flagF, nullptr); // looked up after the missing one
}

TEST(Binding, CompleteLibrariesBindWithoutAsking) {
    TReaderLink link;
    Asked asked;
    EXPECT_EQ(BindReaderLink(link, asked.fn(), FAKE_HID_FULL, SERIVO_FILE), BindResult::Ok);
    EXPECT_TRUE(asked.captions.empty());
    EXPECT_EQ(link.HidBound, 1);
    EXPECT_EQ(link.SerialBound, 1);
    const void *all[] = {
        reinterpret_cast<void *>(link.HID_Init),  reinterpret_cast<void *>(link.HID_Close),
        reinterpret_cast<void *>(link.HID_WRITE), reinterpret_cast<void *>(link.HID_READ),
        reinterpret_cast<void *>(link.COM_Init),  reinterpret_cast<void *>(link.COM_Close),
        reinterpret_cast<void *>(link.COM_WRITE), reinterpret_cast<void *>(link.COM_READ),
        reinterpret_cast<void *>(link.COM_READ1), reinterpret_cast<void *>(link.COM_RECV),
        reinterpret_cast<void *>(link.Set_flagT), reinterpret_cast<void *>(link.Set_flagF)};
    for (const void *p : all)
        EXPECT_NE(p, nullptr);
}

namespace {
int pumped = 0;
void CountingPump(void *ctx) {
    pumped += *static_cast<int *>(ctx);
}
} // namespace

TEST(Binding, RegistersTheMessagePumpWithTheHidLibrary) {
    static int step = 5;
    SetMessagePump(&CountingPump, &step);
    TReaderLink link;
    Asked asked;
    BindReaderLink(link, asked.fn(), FAKE_HID_FULL, SERIVO_FILE);
    SetMessagePump(nullptr, nullptr);
    ASSERT_NE(link.HID_SetMessagePump, nullptr);
    auto run = reinterpret_cast<int (*)()>(dlsym(link.HidModule, "fake_hid_run_pump"));
    ASSERT_NE(run, nullptr);
    pumped = 0;
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(pumped, 5);
}
