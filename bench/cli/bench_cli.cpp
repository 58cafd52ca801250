// What cardtool-cli adds to the reader's own pace: with the virtual reader sending and taking
// one report per millisecond, as a full-speed interrupt endpoint does, each command's time as
// a ratio to the wire minimum of the reports it exchanged (target: within 1.15):
//  1. mifare dump of the virtual card: 128 commands after the card search (an authentication
//     before every block read), whose five 20 ms pauses (kept from the window, for the
//     reader's field) count as part of the minimum;
//  2. restore --verify of a settings file: the write and the read back.
// The commands run in this process, so the figures leave out starting the program.
#include "cli.h"
#include "contactless/mifare_operations.h"
#include "run_cli.h"
#include "virtual_reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double micros = 0;
    int reports = 0;
    int searches = 0;
};

// Card searches among the messages sent: each one sets the card type once.
int Searches() {
    int n = 0;
    for (int i = 0; i < vr_message_count(); ++i) {
        unsigned char m[64];
        const int length = vr_message(i, m, int(sizeof m));
        n += length > 5 && m[0] == 0xA8 && m[5] == 0x3A;
    }
    return n;
}

Figures Measure(const std::vector<std::string> &args) {
    vr_clear_log();
    const auto start = Clock::now();
    if (RunCliHere(args) != 0) {
        std::fprintf(stderr, "cardtool-cli failed\n");
        std::exit(1);
    }
    Figures f;
    f.micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    f.reports = vr_written_report_count() + vr_read_report_count();
    f.searches = Searches();
    return f;
}

// The round with the median time.
Figures Median(int rounds, const std::vector<std::string> &args) {
    std::vector<Figures> all;
    for (int i = 0; i < rounds; ++i)
        all.push_back(Measure(args));
    std::sort(all.begin(), all.end(),
              [](const Figures &a, const Figures &b) { return a.micros < b.micros; });
    return all[all.size() / 2];
}

} // namespace

int main() {
    char folder[] = "/tmp/bench-cli-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string image = std::string(folder) + "/card.bin";
    const std::string settings = std::string(folder) + "/reader.MDAT";
    vr_reset();
    // Warm up (the library is loaded once) and make the settings file to restore.
    if (RunCliHere({"backup", settings}) != 0 || RunCliHere({"mifare", "dump", image}) != 0)
        return 1;

    vr_set_report_delay_us(1000);
    const Figures dump = Median(7, {"mifare", "dump", image});
    const Figures restore = Median(21, {"restore", "--verify", settings});
    vr_set_report_delay_us(0);

    const double pauses = dump.searches * 5.0 * kSearchPauseMs * 1000.0;
    std::printf("cardtool-cli paced at 1 report/ms, time / wire minimum (target <= 1.15):\n");
    std::printf("  mifare dump: %.3f (%.1f ms for %d reports and %.0f ms of search pauses; "
                "%.3f against the reports alone)\n",
                dump.micros / (dump.reports * 1000.0 + pauses), dump.micros / 1000.0, dump.reports,
                pauses / 1000.0, dump.micros / (dump.reports * 1000.0));
    std::printf("  restore --verify: %.3f (%.1f ms for %d reports)\n",
                restore.micros / (restore.reports * 1000.0), restore.micros / 1000.0,
                restore.reports);
    std::remove(image.c_str());
    std::remove((image + ".map").c_str());
    std::remove(settings.c_str());
    rmdir(folder);
    return 0;
}
