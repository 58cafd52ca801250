// Which vpcd readers a pcscd configuration names, and on which port a card must connect.
#include "vpcd_conf.h"

#include <gtest/gtest.h>

namespace {
using brenmark_lab::ParseVpcdReaders;

TEST(VpcdConf, EntriesWithALocalPortAndTheVpcdDriverCount) {
    const struct {
        const char *conf;
        std::vector<std::pair<std::string, int>> expected; // name, port
    } cases[] = {
        // The distribution's file: hexadecimal port, quoted name, an extra field.
        {"FRIENDLYNAME \"Virtual PCD\"\nDEVICENAME   /dev/null:0x8C7B\n"
         "LIBPATH      /usr/lib/pcsc/drivers/serial/libifdvpcd.so\nCHANNELID    0x8C7B\n",
         {{"Virtual PCD", 0x8C7B}}},
        // Decimal, comments, two entries, blanks around the values.
        {"# two\nFRIENDLYNAME One # trailing\n\tDEVICENAME /dev/null:35000 \n"
         "LIBPATH /x/libifdvpcd.so.0.8\n\nFRIENDLYNAME \"Two\"\nLIBPATH /x/libifdvpcd.so\n"
         "DEVICENAME /dev/null:35002\n",
         {{"One", 35000}, {"Two", 35002}}},
        // Another driver; the driver connecting out to a host; no port; bad ports.
        {"FRIENDLYNAME Serial\nDEVICENAME /dev/ttyS0\nLIBPATH /x/libccidtwin.so\n", {}},
        {"FRIENDLYNAME Out\nDEVICENAME 10.0.0.2:35963\nLIBPATH /x/libifdvpcd.so\n", {}},
        {"FRIENDLYNAME NoPort\nDEVICENAME /dev/null\nLIBPATH /x/libifdvpcd.so\n", {}},
        {"FRIENDLYNAME Big\nDEVICENAME /dev/null:70000\nLIBPATH /x/libifdvpcd.so\n", {}},
        {"FRIENDLYNAME Junk\nDEVICENAME /dev/null:12ab\nLIBPATH /x/libifdvpcd.so\n", {}},
        // All commented out.
        {"#FRIENDLYNAME \"Virtual PCD\"\n#DEVICENAME /dev/null:0x8C7B\n"
         "#LIBPATH /x/libifdvpcd.so\n",
         {}},
        {"", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.conf);
        const auto readers = ParseVpcdReaders(c.conf);
        ASSERT_EQ(readers.size(), c.expected.size());
        for (std::size_t i = 0; i < readers.size(); ++i) {
            EXPECT_EQ(readers[i].friendly_name, c.expected[i].first);
            EXPECT_EQ(readers[i].port, c.expected[i].second);
        }
    }
}

} // namespace
