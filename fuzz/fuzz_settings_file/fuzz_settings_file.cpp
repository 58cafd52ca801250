// Settings files come from the user's disk: any bytes at all must be refused without touching
// the record, or open, name, fill the window's controls and save again, to the reader and to a
// file, without touching memory outside the record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "config/codec.h"
#include "config/mapping.h"
#include "config/msr_settings.h"
#include "config/settings_file.h"
#include "keycodes/key_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static auto s = std::make_unique<TMsrSettings>();
    static auto before = std::make_unique<TMsrSettings>();
    static auto file = std::make_unique<TMsrSettings>();
    // A record with old content everywhere, so that what opening leaves is seen.
    std::memset(s.get(), 0x5A, sizeof *s);
    std::memcpy(before.get(), s.get(), sizeof *s);

    const std::string refused = RecordFromSettingsImage(data, size, *s);
    if (refused != CheckSettingsImage(data, size)) __builtin_trap();
    if (!refused.empty()) {
        if (std::memcmp(s.get(), before.get(), sizeof *s) != 0) __builtin_trap();
        return 0;
    }
    // Saved again unchanged, the file comes back, padded with zeros; an ASCII sequence layer
    // may be written another way, but sends the same bytes.
    TSettingsImage padded{};
    std::memcpy(padded.data(), data, size);
    std::memset(file.get(), 0, sizeof *file);
    std::memcpy(file->LayerStore, padded.data() + kSettingsModesBytes, sizeof file->LayerStore);
    const TSettingsImage image = SettingsImageOf(*s);
    if (std::memcmp(image.data(), padded.data(), kSettingsModesBytes) != 0) __builtin_trap();
    for (int layer = 0; layer < kLayerCount; ++layer) {
        const bool text = layer >= kFirstSequenceLayer && s->LayerModes[layer] == kModeAscii;
        if (text ? AsciiLayerBytes(s->LayerStore[layer]) != AsciiLayerBytes(file->LayerStore[layer])
                 : std::memcmp(s->LayerStore[layer], file->LayerStore[layer], kLayerBytes) != 0)
            __builtin_trap();
    }
    if (std::memcmp(s->CustomLanguage, before->CustomLanguage, sizeof s->CustomLanguage) != 0)
        __builtin_trap();

    // The window: controls from the record and back.
    TMsrControls c = InitialControls();
    RecordToControls(*s, c);
    ControlsToRecord(c, *s);

    uint8_t frame[1024] = {kSaveCommand[0], kSaveCommand[1]};
    int length = 0;
    if (EncodeSaveBlock(s->LayerStore, s->LayerModes, c.Language, s->CustomLanguage, frame,
                        length) == kEncodeOk &&
        (length < 2 + kFixedBlockBytes || length > 1024))
        __builtin_trap();

    // Save File of what the window now shows opens again.
    PutFileLanguage(*s, c.Language);
    const TSettingsImage again = SettingsImageOf(*s);
    if (!CheckSettingsImage(again.data(), again.size()).empty()) __builtin_trap();
    return 0;
}
