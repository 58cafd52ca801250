// A Mifare One card as one 1024-byte image (block 0 first, 16 bytes a block, the trailers as
// read), which other Mifare Classic tools read too, and the map of which blocks a walk over
// the card reached, kept beside the image so that a restore writes only what was read.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

inline constexpr int kCardBlocks = 64;
inline constexpr int kCardImageBytes = kCardBlocks * 16;
using TCardImage = std::array<uint8_t, kCardImageBytes>;

void PutCardBlock(TCardImage &image, int block, const uint8_t (&data)[16]);

// What restore-data writes: the data blocks, never block 0 (the maker's) or a trailer.
bool RestoredBlock(int sector, int block);
int CountWanted(const std::function<bool(int, int)> &wanted);

// One line per sector, one mark per block, after a line with the legend.
std::string SectorMap(const std::string &marks, const std::string &legend);
int CountMarks(const std::string &marks, char mark);

// The marks a dump gives a block, and the legend that explains them.
inline constexpr char kMarkRead = 'R';
inline constexpr const char *kDumpLegend =
    "R read, A authentication failed, E read failed, - not tried";

// The read map of an image: "card.bin" -> "card.bin.map".
std::string CardMapPath(const std::string &imagePath);
// The map's text: a first line that ties it to the image's bytes (a hash), then the sector
// map of the dump's marks.
std::string CardMapText(const TCardImage &image, const std::string &marks);
enum class TCardMapCheck { Ok, Malformed, OtherImage };
// The 64 marks of a map's text, checked against the image it lies beside.
TCardMapCheck ParseCardMap(const std::string &text, const TCardImage &image, std::string &marks);
