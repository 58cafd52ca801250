#include "card_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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
