// What the library adds to an exchange with the reader, measured against the virtual reader in
// this process:
//  1. with no device delay: library time per report (target: under 20 microseconds);
//  2. with the reader pacing one report per millisecond, as a full-speed interrupt endpoint
//     does: the exchange's time as a ratio to that wire minimum (target: within 1.10).
// Two exchanges: a read-configuration (2-byte command, 533-byte reply in 9 reports) and an
// RF_read round trip (discovery, one report each way).
#include "lorvane.h"
#include "virtual_reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The longest block a Save can produce: options, language and 14 layers of 20 codes.
std::vector<uint8_t> LongestConfiguration() {
    std::vector<uint8_t> block(225, 0);
    block[0] = 0x01;
    block[1] = 0x1E;
    block[32] = 0x02;
    block[33] = 0xBF;
    for (int layer = 2; layer <= 15; ++layer) {
        block.push_back(uint8_t(layer));
        block.push_back(20);
        for (int i = 0; i < 20; ++i)
            block.push_back(uint8_t(0x1C + i));
    }
    return block;
}

bool ReadConfiguration() {
    uint8_t frame[2] = {0xA9, 0x7E}, reply[1024];
    int length = 0;
    char trace[2048];
    return HID_WRITE(frame, 2, 2, trace) == 0 && HID_READ(reply, &length, 2, trace) == 0 &&
           length == 533;
}

const uint8_t kKey[6] = {0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6};

bool ReadBlock() {
    uint8_t data[16];
    int16_t length = 0;
    return RF_read(1, 2, data, &length) == 0 && length == 16;
}

template <class F> double MedianMicros(int rounds, F exchange) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        if (!exchange()) {
            std::fprintf(stderr, "exchange failed\n");
            std::exit(1);
        }
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main() {
    vr_reset();
    std::vector<uint8_t> block = LongestConfiguration();
    vr_set_config_block(block.data(), int(block.size()));
    if (HID_Init() != 0) return 1;

    // Put the card in a state where RF_read succeeds.
    int16_t type, length;
    uint32_t serial;
    if (RF_Request(1, &type) || RF_Anticoll(4, &serial, &length) ||
        RF_Select(reinterpret_cast<uint8_t *>(&serial), length) || RF_authentication(0, 1, kKey)) {
        std::fprintf(stderr, "card setup failed\n");
        return 1;
    }
    HID_Init();

    constexpr int kConfigReports = 10, kBlockReports = 2;
    // Warm up, then measure without delay.
    MedianMicros(200, ReadConfiguration);
    double config = MedianMicros(2000, ReadConfiguration);
    MedianMicros(200, ReadBlock);
    double blockRead = MedianMicros(2000, ReadBlock);
    HID_Init();

    vr_set_report_delay_us(1000);
    double pacedConfig = MedianMicros(100, ReadConfiguration);
    double pacedBlock = MedianMicros(200, ReadBlock);

    double perReportConfig = config / kConfigReports;
    double perReportBlock = blockRead / kBlockReports;
    std::printf("library time per report, no device delay (target < 20 us):\n");
    std::printf("  read configuration (1 + 9 reports): %.2f us/report (%.3f of target)\n",
                perReportConfig, perReportConfig / 20.0);
    std::printf("  RF_read round trip (1 + 1 reports, with discovery): %.2f us/report (%.3f of "
                "target)\n",
                perReportBlock, perReportBlock / 20.0);
    std::printf("paced at 1 report/ms, time / wire minimum (target <= 1.10):\n");
    std::printf("  read configuration: %.3f (%.0f us for %d ms of reports)\n",
                pacedConfig / (kConfigReports * 1000.0), pacedConfig, kConfigReports);
    std::printf("  RF_read round trip: %.3f (%.0f us for %d ms of reports)\n",
                pacedBlock / (kBlockReports * 1000.0), pacedBlock, kBlockReports);
    HID_Close();
    return 0;
}
