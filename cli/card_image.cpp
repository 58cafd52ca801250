#include "card_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

void PutCardBlock(TCardImage &image, int block, const uint8_t (&data)[16]) {
    if (block >= 0 && block < kCardBlocks) std::memcpy(image.data() + block * 16, data, 16);
}

bool RestoredBlock(int sector, int block) {
    return block != 3 && !(sector == 0 && block == 0);
}

int CountWanted(const std::function<bool(int, int)> &wanted) {
    int n = 0;
    for (int b = 0; b < kCardBlocks; ++b)
        n += wanted(b / 4, b % 4);
    return n;
}

std::string SectorMap(const std::string &marks, const std::string &legend) {
    std::string map = "sector map (" + legend + "):\n";
    for (int sector = 0; sector * 4 < int(marks.size()); ++sector) {
        char line[32];
        std::snprintf(line, sizeof line, "  sector %2d:", sector);
        map += line;
        for (int b = 0; b < 4 && sector * 4 + b < int(marks.size()); ++b) {
            map += ' ';
            map += marks[size_t(sector * 4 + b)];
        }
        map += '\n';
    }
    return map;
}

int CountMarks(const std::string &marks, char mark) {
    return int(std::count(marks.begin(), marks.end(), mark));
}

namespace {

constexpr const char *kMapHeader = "cardtool card image map, image fnv1a64 ";

uint64_t Fnv1a64(const TCardImage &image) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (uint8_t b : image) {
        h ^= b;
        h *= 0x100000001B3ull;
    }
    return h;
}

std::string HashText(const TCardImage &image) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(Fnv1a64(image)));
    return text;
}

} // namespace

std::string CardMapPath(const std::string &imagePath) {
    return imagePath + ".map";
}

std::string CardMapText(const TCardImage &image, const std::string &marks) {
    return kMapHeader + HashText(image) + "\n" + SectorMap(marks, kDumpLegend);
}

TCardMapCheck ParseCardMap(const std::string &text, const TCardImage &image, std::string &marks) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) return TCardMapCheck::Malformed; // cut short
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (lines.size() != 2 + kCardBlocks / 4) return TCardMapCheck::Malformed;
    const std::string header = kMapHeader;
    if (lines[0].size() != header.size() + 16 || lines[0].compare(0, header.size(), header) != 0)
        return TCardMapCheck::Malformed;
    if (lines[1] != std::string("sector map (") + kDumpLegend + "):")
        return TCardMapCheck::Malformed;
    std::string found;
    for (int sector = 0; sector < kCardBlocks / 4; ++sector) {
        const std::string &line = lines[size_t(2 + sector)];
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "  sector %2d:", sector);
        const size_t n = std::strlen(prefix);
        if (line.size() != n + 8 || line.compare(0, n, prefix) != 0)
            return TCardMapCheck::Malformed;
        for (int b = 0; b < 4; ++b) {
            const char mark = line[n + size_t(2 * b) + 1];
            if (line[n + size_t(2 * b)] != ' ' || mark == 0 || !std::strchr("RAE-", mark))
                return TCardMapCheck::Malformed;
            found += mark;
        }
    }
    if (lines[0].compare(header.size(), 16, HashText(image)) != 0) return TCardMapCheck::OtherImage;
    marks = found;
    return TCardMapCheck::Ok;
}
