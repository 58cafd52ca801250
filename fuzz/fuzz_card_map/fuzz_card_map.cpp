// The map beside a card image is a file anyone can edit: whatever it holds, it gives 64 known
// marks or is refused, and a map that is taken is exactly the one a dump writes for them.
#include "card_image.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The image is the first bytes (so a map can match it), the map the rest.
    TCardImage image{};
    const size_t imageBytes = size < 2 ? 0 : std::min<size_t>(data[0], size - 1);
    if (imageBytes) std::memcpy(image.data(), data + 1, imageBytes);
    const std::string text(reinterpret_cast<const char *>(data) + 1 + imageBytes,
                           size - (size ? 1 + imageBytes : 0));
    std::string marks = "untouched";
    switch (ParseCardMap(text, image, marks)) {
    case TCardMapCheck::Ok:
        if (marks.size() != kCardBlocks) __builtin_trap();
        for (char m : marks)
            if (!std::strchr("RAE-", m)) __builtin_trap();
        if (CardMapText(image, marks) != text) __builtin_trap();
        break;
    case TCardMapCheck::Malformed:
    case TCardMapCheck::OtherImage:
        if (marks != "untouched") __builtin_trap();
        break;
    }
    return 0;
}
