// Median time of one APDU exchange through PS_TransmitData and through SCardTransmit
// directly, on the same card connection, in one run; prints both and their ratio.
#include "brenmark.h"
#include "pcsc_lab.h"

#include <PCSC/winscard.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <vector>

namespace {

SCARDHANDLE g_card = 0;
DWORD g_protocol = 0;

} // namespace

// The library's connection, learnt on its way through: the direct exchanges use the very
// same card handle and protocol.
extern "C" LONG SCardConnect(SCARDCONTEXT context, LPCSTR reader, DWORD share, DWORD protocols,
                             LPSCARDHANDLE card, LPDWORD active) {
    static auto next = reinterpret_cast<decltype(&SCardConnect)>(dlsym(RTLD_NEXT, "SCardConnect"));
    LONG rv = next(context, reader, share, protocols, card, active);
    if (rv == SCARD_S_SUCCESS) {
        g_card = *card;
        g_protocol = *active;
    }
    return rv;
}

namespace {

using Clock = std::chrono::steady_clock;
using brenmark_lab::Bytes;

const Bytes kApdu = {0x00, 0x84, 0x00, 0x00, 0x08};

Bytes answer(const Bytes &apdu) {
    Bytes out(apdu.size() >= 5 ? apdu[4] : 0, 0x5A);
    out.push_back(0x90);
    out.push_back(0x00);
    return out;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool run(const char *label, const Bytes &atr, int rounds) {
    brenmark_lab::PrivatePcscd daemon;
    std::string error;
    if (!daemon.start({"Bench Reader"}, &error)) {
        std::fprintf(stderr, "pcscd: %s\n", error.c_str());
        return false;
    }
    brenmark_lab::VirtualCard card(atr, answer);
    const std::string reader = "Bench Reader 00 00";
    if (!card.insert(daemon.port(0)) || !brenmark_lab::wait_for_card(reader, true, 5000)) {
        std::fprintf(stderr, "the virtual card did not come up\n");
        return false;
    }
    char names[2000] = {};
    int count = 0;
    if (PS_GetDeviceList(names, &count) != PS_OK || PS_OpenDevice(0) != PS_OK) {
        std::fprintf(stderr, "cannot open %s\n", reader.c_str());
        return false;
    }
    const SCARD_IO_REQUEST *pci = g_protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;

    unsigned char response[1024];
    int length = 0;
    auto through_library = [&] {
        return PS_TransmitData(kApdu.data(), static_cast<int>(kApdu.size()), response, &length) ==
               PS_OK;
    };
    auto direct = [&] {
        unsigned char received[1024];
        DWORD received_length = 260;
        return SCardTransmit(g_card, pci, kApdu.data(), static_cast<DWORD>(kApdu.size()), nullptr,
                             received, &received_length) == SCARD_S_SUCCESS;
    };
    for (int i = 0; i < 100; ++i)
        if (!through_library() || !direct()) {
            std::fprintf(stderr, "exchange failed during warm-up\n");
            return false;
        }

    // Alternating blocks, so that drift of the machine hits both sides alike.
    std::vector<double> lib_us, direct_us;
    const int block = 50;
    for (int done = 0; done < rounds; done += block) {
        for (int i = 0; i < block; ++i) {
            auto t0 = Clock::now();
            if (!through_library()) return false;
            lib_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        for (int i = 0; i < block; ++i) {
            auto t0 = Clock::now();
            if (!direct()) return false;
            direct_us.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
    }
    PS_CloseDevice();
    PS_FreeDevice();
    double lib = median(lib_us), base = median(direct_us);
    std::printf("%s card (protocol T=%d), %zu exchanges each:\n", label,
                g_protocol == SCARD_PROTOCOL_T1 ? 1 : 0, lib_us.size());
    std::printf("  SCardTransmit   median %8.1f us (baseline)\n", base);
    std::printf("  PS_TransmitData median %8.1f us\n", lib);
    std::printf("  ratio %.3f (target at most 1.05)\n", lib / base);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    // Before any smart-card call: points the client library at the private daemon.
    const auto &a = brenmark_lab::availability();
    if (!a.usable) {
        std::printf("bench_brenmark not run: %s\n", a.reason.c_str());
        return 2;
    }
    int rounds = argc > 1 ? std::max(50, std::atoi(argv[1])) : 2000;
    bool ok = run("T=0", brenmark_lab::kAtrT0, rounds) && run("T=1", brenmark_lab::kAtrT1, rounds);
    return ok ? 0 : 1;
}
