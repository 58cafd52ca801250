// The HID library's results over the system's hidapi, where they hang on what hidapi returns
// for a reader that does not answer (a time-out: 0) and for one that is gone (-1).
#include "emulated_reader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

struct Library {
    Library() {
        handle = dlopen(CARDTOOL_BIN_DIR "/liblorvane.so", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        init = reinterpret_cast<int (*)()>(dlsym(handle, "HID_Init"));
        close = reinterpret_cast<int (*)()>(dlsym(handle, "HID_Close"));
        write = reinterpret_cast<int (*)(unsigned char *, int, int, char *)>(
            dlsym(handle, "HID_WRITE"));
        read = reinterpret_cast<int (*)(unsigned char *, int *, int, char *)>(
            dlsym(handle, "HID_READ"));
    }
    ~Library() {
        if (handle) dlclose(handle);
    }
    void *handle = nullptr;
    int (*init)() = nullptr;
    int (*close)() = nullptr;
    int (*write)(unsigned char *, int, int, char *) = nullptr;
    int (*read)(unsigned char *, int *, int, char *) = nullptr;
};

TEST(RealStackLibrary, TimeOut_SilentReaderTimesOutAndAVanishedOneFailsAtOnce) {
    if (!emulated::ControlPath()) GTEST_SKIP() << "runs under emulated-reader only";
    Library lib;
    ASSERT_TRUE(lib.init && lib.close && lib.write && lib.read) << dlerror();
    const struct {
        const char *reader;
        int result;
    } cases[] = {{"silent 1", -92}, {"unplug-after-message", -97}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reader);
        emulated::Do("reset");
        ASSERT_EQ(lib.init(), 0);
        emulated::Do(c.reader);
        unsigned char version[1] = {0xAD}, reply[1024];
        int length = -1;
        EXPECT_EQ(lib.write(version, 1, 2, nullptr), 0);
        EXPECT_EQ(lib.read(reply, &length, 2, nullptr), c.result);
        EXPECT_EQ(length, -1);
        EXPECT_EQ(lib.close(), 0);
    }
    emulated::Do("reset");
}

} // namespace
