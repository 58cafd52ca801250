// The two library files are separate modules: each loaded copy has its own open reader.
#include "lorvane_fixture.h"

#include <dlfcn.h>

namespace {

using InitFn = int (*)();
using WriteFn = int (*)(unsigned char *, int, int, char *);

TEST_F(ReaderTest, EachLoadedFileKeepsItsOwnReader) {
    void *x = dlopen(CARDTOOL_BIN_DIR "/liblorvanex.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(x, nullptr) << dlerror();
    auto xInit = reinterpret_cast<InitFn>(dlsym(x, "HID_Init"));
    auto xClose = reinterpret_cast<InitFn>(dlsym(x, "HID_Close"));
    auto xWrite = reinterpret_cast<WriteFn>(dlsym(x, "HID_WRITE"));
    ASSERT_TRUE(xInit && xClose && xWrite);

    uint8_t frame[1] = {0xAD};
    Open();                                       // this file's copy has the reader open...
    EXPECT_EQ(xWrite(frame, 1, 2, nullptr), -91); // ...the other one has not
    ASSERT_EQ(xInit(), 0);
    EXPECT_EQ(vr_open_handles(), 2);
    EXPECT_EQ(xWrite(frame, 1, 2, nullptr), 0);
    EXPECT_EQ(xClose(), 0);
    EXPECT_EQ(HID_WRITE(frame, 1, 2, nullptr), 0);
    EXPECT_EQ(vr_open_handles(), 1);
    dlclose(x);
}

} // namespace
