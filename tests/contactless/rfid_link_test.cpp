// Binding the contactless library by file name, against stand-ins with and without all names.
#include "contactless/rfid_link.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Asked {
    std::vector<std::string> captions, texts;
    std::function<void(const char *, const char *)> fn() {
        return [this](const char *c, const char *t) {
            captions.emplace_back(c);
            texts.emplace_back(t);
        };
    }
};

TUiText Texts() {
    TUiText t;
    t.Fill();
    return t;
}

TEST(RfidBinding, MissingLibraryAsksOnceWithItsOwnCaption) {
    TRfidLink link;
    Asked asked;
    EXPECT_EQ(BindRfidLink(link, Texts(), asked.fn(), MISSING_FILE), BindResult::Stopped);
    EXPECT_EQ(asked.captions, (std::vector<std::string>{"The lorvanex.dll Is Not Open!"}));
    EXPECT_EQ(asked.texts,
              (std::vector<std::string>{"Are you sure to close the application program"}));
    EXPECT_EQ(link.Bound, 0);
    EXPECT_EQ(link.Module, nullptr);
    EXPECT_EQ(link.HID_Init, nullptr);
}

TEST(RfidBinding, MissingNameAsksTheUiTextsAndLeavesItUnbound) {
    TRfidLink link;
    Asked asked;
    EXPECT_EQ(BindRfidLink(link, Texts(), asked.fn(), FAKE_RFID_PARTIAL), BindResult::Stopped);
    EXPECT_EQ(asked.captions, (std::vector<std::string>{"The LORVANE.dll Open Error!"}));
    EXPECT_EQ(asked.texts,
              (std::vector<std::string>{"Are you sure to close the application program?"}));
    EXPECT_EQ(link.Bound, 0);
    EXPECT_NE(link.Module, nullptr);
    EXPECT_EQ(link.RF_Select, nullptr);
    EXPECT_NE(link.RF_COS, nullptr);             // looked up after the missing one
    EXPECT_EQ(link.HID_SetMessagePump, nullptr); // no pump for a library that is not used
}

int pumped = 0;
void CountingPump(void *ctx) {
    pumped += *static_cast<int *>(ctx);
}

TEST(RfidBinding, CompleteLibraryBindsEveryNameAndGetsThePump) {
    static int step = 3;
    SetMessagePump(&CountingPump, &step);
    TRfidLink link;
    Asked asked;
    EXPECT_EQ(BindRfidLink(link, Texts(), asked.fn(), FAKE_RFID_FULL), BindResult::Ok);
    SetMessagePump(nullptr, nullptr);
    EXPECT_TRUE(asked.captions.empty());
    EXPECT_EQ(link.Bound, 1);
    const void *all[] = {reinterpret_cast<void *>(link.HID_Init),
                         reinterpret_cast<void *>(link.HID_Close),
                         reinterpret_cast<void *>(link.HID_WRITE),
                         reinterpret_cast<void *>(link.HID_READ),
                         reinterpret_cast<void *>(link.RF_Antenna_Sta),
                         reinterpret_cast<void *>(link.RF_Init_Type),
                         reinterpret_cast<void *>(link.RF_Request),
                         reinterpret_cast<void *>(link.RF_Anticoll),
                         reinterpret_cast<void *>(link.RF_Select),
                         reinterpret_cast<void *>(link.RF_authentication),
                         reinterpret_cast<void *>(link.RF_read),
                         reinterpret_cast<void *>(link.RF_write),
                         reinterpret_cast<void *>(link.RF_initval),
                         reinterpret_cast<void *>(link.RF_increment),
                         reinterpret_cast<void *>(link.RF_Debit),
                         reinterpret_cast<void *>(link.RF_readval),
                         reinterpret_cast<void *>(link.RF_Reset),
                         reinterpret_cast<void *>(link.RF_COS)};
    for (const void *p : all)
        EXPECT_NE(p, nullptr);
    // Each name is bound to its own symbol.
    EXPECT_EQ(reinterpret_cast<void *>(link.RF_Debit), dlsym(link.Module, "RF_Debit"));
    EXPECT_EQ(reinterpret_cast<void *>(link.RF_increment), dlsym(link.Module, "RF_increment"));
    auto run = reinterpret_cast<int (*)()>(dlsym(link.Module, "fake_rfid_run_pump"));
    ASSERT_NE(run, nullptr);
    pumped = 0;
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(pumped, 3);
}

} // namespace
