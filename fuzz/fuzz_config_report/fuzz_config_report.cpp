// A load reply comes from the device: whatever it holds, `show` must print it as text and as
// JSON that parses back (the reader's bytes need not be UTF-8), without touching memory
// outside the record.
#include "config/codec.h"
#include "config/mapping.h"
#include "config/msr_settings.h"
#include "config_report.h"
#include "keycodes/key_names.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0, sizeof *s);
    const int n = size > 1024 ? 1024 : static_cast<int>(size);
    if (DecodeLoadReply(data, n, s->LayerStore, s->LayerModes) <= 0) return 0;
    // What a Load does with it before the window shows it.
    RepackLayer1(s->LayerStore[kOptionsLayer]);
    BuildKeyNames(s->LayerModes, s->LayerStore, s->NameCache);
    TMsrControls c = InitialControls();
    RecordToControls(*s, c);

    if (ConfigText(*s, c).empty()) __builtin_trap();
    const std::string text =
        ConfigJson(*s, c).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    const auto back = nlohmann::ordered_json::parse(text, nullptr, false);
    if (back.is_discarded() || back.size() != 8) __builtin_trap();
    return 0;
}
