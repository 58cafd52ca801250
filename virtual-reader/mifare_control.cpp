// The control API that switches the card's stricter behaviour on: failing single contactless
// commands, halting on a wrong key, enforcing the access conditions.
#include "reader.h"
#include "virtual_reader.h"

extern "C" {

#pragma GCC visibility push(default)

void vr_set_rf_command_status(int command, int status) {
    struct Args {
        int command, status;
    } args{command & 0xFF, status < 0 ? -1 : status & 0xFF};
    vr::WithReader(
        [](vr::ReaderState &s, void *p) {
            const auto *a = static_cast<Args *>(p);
            s.rfCommandStatus[size_t(a->command)] = a->status;
        },
        &args);
}

void vr_set_halt_on_wrong_key(int on) {
    vr::WithReader([](vr::ReaderState &s, void *p) { s.haltOnWrongKey = *static_cast<int *>(p); },
                   &on);
}

void vr_set_access_conditions(int on) {
    vr::WithReader([](vr::ReaderState &s, void *p) { s.enforceAccess = *static_cast<int *>(p); },
                   &on);
}

int vr_sector_blocked(int sector) {
    if (sector < 0 || sector > 15) return -1;
    struct Args {
        int sector, blocked;
    } args{sector, 0};
    vr::WithReader(
        [](vr::ReaderState &s, void *p) {
            auto *a = static_cast<Args *>(p);
            a->blocked = vr::SectorBlocked(s.card, a->sector) ? 1 : 0;
        },
        &args);
    return args.blocked;
}

int vr_card_halted(void) {
    int halted = 0;
    vr::WithReader([](vr::ReaderState &s, void *p) { *static_cast<int *>(p) = s.card.halted; },
                   &halted);
    return halted;
}

#pragma GCC visibility pop

} // extern "C"
