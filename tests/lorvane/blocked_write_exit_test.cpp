// A program that ends normally while a report write is still blocked in the device: the
// library's write worker wakes after the library's statics are gone and must find its own
// state alive. Run under ThreadSanitizer this fails on any touch of destroyed state; in the
// other builds it checks that the exit itself is clean.
#include "virtual_reader.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <thread>

namespace {
// Registered before the library is loaded, so it runs after the library's static destructors:
// the worker's write ends during this pause.
void LingerAfterTheLibrary() {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
}
} // namespace

int main() {
    std::atexit(LingerAfterTheLibrary);
    void *lib = dlopen("liblorvane.so", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "cannot load liblorvane.so: %s\n", dlerror());
        return 2;
    }
    auto init = reinterpret_cast<int (*)()>(dlsym(lib, "HID_Init"));
    auto write =
        reinterpret_cast<int (*)(unsigned char *, int, int, char *)>(dlsym(lib, "HID_WRITE"));
    if (!init || !write || init() != 0) {
        std::fprintf(stderr, "no reader\n");
        return 2;
    }
    // The write gives up after its 2000 ms; the device lets the report go 300 ms later.
    vr_set_write_stall_ms(2300);
    unsigned char frame[2] = {0xAE, 0x00};
    char trace[2048];
    const int r = write(frame, 2, 2, trace);
    if (r != -92) {
        std::fprintf(stderr, "HID_WRITE gave %d, not the time-out\n", r);
        return 1;
    }
    return 0; // exit with the write still blocked
}
