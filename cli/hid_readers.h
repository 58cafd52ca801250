// The readers of the family attached, listed through hidapi itself: the reader library holds one
// reader at a time and has no listing of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct THidReader {
    std::string Path;
    uint16_t Vendor = 0, Product = 0, Release = 0;
    std::string Serial;      // "" when the device has none; '?' for what is not plain ASCII
    bool SerialPlain = true; // the serial number is plain ASCII, so it can choose the reader
    bool Taken = false;      // the library takes it (its release is the one it knows)
};

// The hidapi library the reader library runs on, by its soname.
inline constexpr const char *kHidapiFile = "libhidapi-hidraw.so.0";

// Every interface with the family's vendor and product, in hidapi's order. "" or why they
// could not be listed.
std::string ListHidReaders(std::vector<THidReader> &readers);

// Whether `name` is the reader's path or its serial number, as the library matches them.
bool NamesReader(const THidReader &reader, const std::string &name);
