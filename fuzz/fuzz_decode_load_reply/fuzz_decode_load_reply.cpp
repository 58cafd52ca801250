// Load replies come from the device: any bytes at all must decode, repack, name and save
// again without touching memory outside the record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "config/codec.h"
#include "config/msr_settings.h"
#include "keycodes/key_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0, sizeof *s);
    const int n = size > 4096 ? 4096 : static_cast<int>(size);
    const int result = DecodeLoadReply(data, n, s->LayerStore, s->LayerModes);
    if (result != kDecodeOk && result != kDecodeBlank && result != kDecodeMalformed)
        __builtin_trap();
    if (result == kDecodeMalformed && (n > kDecodeWorkArea)) {
        for (int32_t m : s->LayerModes)
            if (m != kModeEmpty) __builtin_trap(); // refused before anything was written
    }

    RepackLayer1(s->LayerStore[kOptionsLayer]);
    // Load keeps an ASCII layer as the typed text that sends the reader's bytes again (all of
    // them whenever they fit the layer typed, as any 128 do).
    std::vector<uint8_t> raw[kLayerCount];
    for (int layer = kFirstSequenceLayer; layer < kLayerCount; ++layer)
        for (int i = 0; s->LayerModes[layer] == kModeAscii && i < kEntriesPerLayer; ++i)
            if (const uint8_t b = s->LayerStore[layer][i * kEntryBytes]) raw[layer].push_back(b);
    TypeLoadedLayers(s->LayerStore, s->LayerModes);
    for (int layer = kFirstSequenceLayer; layer < kLayerCount; ++layer)
        if (s->LayerModes[layer] == kModeAscii && raw[layer].size() <= 128 &&
            AsciiLayerBytes(s->LayerStore[layer]) != raw[layer])
            __builtin_trap();
    PackCustomLanguage(s->LayerStore[kLanguageLayer], s->CustomLanguage);
    BuildKeyNames(s->LayerModes, s->LayerStore, s->NameCache);

    uint8_t frame[1024] = {kSaveCommand[0], kSaveCommand[1]};
    int length = 0;
    if (EncodeSaveBlock(s->LayerStore, s->LayerModes, kUnknownLanguage, s->CustomLanguage, frame,
                        length) == kEncodeOk &&
        (length < 2 + kFixedBlockBytes || length > 1024))
        __builtin_trap();
    return 0;
}
