#include "call_counter.h"

#include <PCSC/winscard.h>
#include <dlfcn.h>

namespace call_counter {
std::atomic<int> connects{0};
std::atomic<int> disconnects{0};
std::atomic<int> releases{0};
} // namespace call_counter

namespace {
template <typename F> F next_definition(const char *name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
} // namespace

extern "C" {

LONG SCardConnect(SCARDCONTEXT context, LPCSTR reader, DWORD share, DWORD protocols,
                  LPSCARDHANDLE card, LPDWORD active) {
    static auto next = next_definition<decltype(&SCardConnect)>("SCardConnect");
    ++call_counter::connects;
    return next(context, reader, share, protocols, card, active);
}

LONG SCardDisconnect(SCARDHANDLE card, DWORD disposition) {
    static auto next = next_definition<decltype(&SCardDisconnect)>("SCardDisconnect");
    ++call_counter::disconnects;
    return next(card, disposition);
}

LONG SCardReleaseContext(SCARDCONTEXT context) {
    static auto next = next_definition<decltype(&SCardReleaseContext)>("SCardReleaseContext");
    ++call_counter::releases;
    return next(context);
}

} // extern "C"
