// Typed hex text comes from the user: any text must convert, and a key code read from text
// must print back as the same digits.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "keycodes/hex_text.h"
#include "keycodes/key_names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    const std::vector<uint8_t> bytes = HexTextToBytes(text);
    size_t digits = 0;
    for (char c : text)
        digits += std::isxdigit(static_cast<unsigned char>(c)) != 0;
    if (bytes.size() != (digits + 1) / 2) __builtin_trap();
    const std::string dump = BytesToHexText(bytes.data(), bytes.size());
    if (dump.size() != 3 * bytes.size() || HexTextToBytes(dump) != bytes) __builtin_trap();

    uint8_t entry[4];
    if (HexToKeyCode(text, entry)) {
        std::string upper(text);
        for (char &c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (KeyCodeToHex(entry) != upper || entry[3] != 0) __builtin_trap();
        (void)KeyCodeName(entry);
    } else if (entry[0] | entry[1] | entry[2] | entry[3]) {
        __builtin_trap();
    }
    return 0;
}
