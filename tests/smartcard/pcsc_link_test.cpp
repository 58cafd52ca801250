// Binding the smart-card library by file name: all six entry points or none.
#include "smartcard/pcsc_link.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
std::vector<std::string> Bind(TPcscLink &link, const char *file, BindResult expected) {
    std::vector<std::string> asked;
    EXPECT_EQ(BindPcscLink(
                  link, [&](const char *caption) { asked.emplace_back(caption); }, file),
              expected);
    return asked;
}
} // namespace

TEST(PcscBinding, MissingLibraryAsksOnce) {
    TPcscLink link;
    EXPECT_EQ(Bind(link, MISSING_FILE, BindResult::Stopped),
              std::vector<std::string>{"The brenmark.dll Is Not Open!"});
    EXPECT_EQ(link.Bound, 0);
    EXPECT_EQ(link.Module, nullptr);
}

TEST(PcscBinding, FiveEntryPointsAreNotEnough) {
    TPcscLink link;
    EXPECT_EQ(Bind(link, FAKE_PARTIAL, BindResult::Stopped),
              std::vector<std::string>{"The brenmark.dll Open Error!"});
    EXPECT_EQ(link.Bound, 0);
    // Every lookup ran, the missing one is empty.
    EXPECT_NE(link.PS_TransmitData, nullptr);
    EXPECT_EQ(link.PS_ATRReset, nullptr);
}

TEST(PcscBinding, SixEntryPointsBind) {
    TPcscLink link;
    EXPECT_TRUE(Bind(link, FAKE_FULL, BindResult::Ok).empty());
    EXPECT_EQ(link.Bound, 1);
    for (void *p :
         {(void *)link.PS_GetDeviceList, (void *)link.PS_OpenDevice, (void *)link.PS_CloseDevice,
          (void *)link.PS_FreeDevice, (void *)link.PS_TransmitData, (void *)link.PS_ATRReset})
        EXPECT_NE(p, nullptr);
    EXPECT_EQ(link.PS_CloseDevice(), 0);
    // The real library binds the same way.
    TPcscLink real;
    EXPECT_TRUE(Bind(real, BRENMARK_FILE, BindResult::Ok).empty());
}
