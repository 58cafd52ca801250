#include "config/msr_settings.h"

#include <cstring>

void ClearLayers(TMsrSettings &s) {
    std::memset(s.LayerStore, 0, sizeof s.LayerStore);
    std::memset(s.NameCache, 0, sizeof s.NameCache);
    std::memset(s.LayerModes, 0, sizeof s.LayerModes);
}

int LayerOfEditedSequence(int code) {
    if (code < kFirstEditedSequence || code > kLastEditedSequence) return -1;
    return code - 97;
}
