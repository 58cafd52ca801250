#pragma once
// What the virtual reader holds and received, for tests of the windows and programs that talk
// to it in the same process.
#include "virtual_reader.h"

#include <cstdint>
#include <vector>

inline void SetReaderBlock(const std::vector<uint8_t> &block) {
    vr_set_config_block(block.data(), int(block.size()));
}

inline std::vector<uint8_t> ReaderBlock() {
    std::vector<uint8_t> b(1024);
    b.resize(size_t(vr_config_block(b.data(), int(b.size()))));
    return b;
}

// Every complete message received: the command byte, then the payload.
inline std::vector<std::vector<uint8_t>> Messages() {
    std::vector<std::vector<uint8_t>> all;
    for (int i = 0; i < vr_message_count(); ++i) {
        std::vector<uint8_t> m(4096);
        m.resize(size_t(vr_message(i, m.data(), int(m.size()))));
        all.push_back(m);
    }
    return all;
}

inline int CountMessages(uint8_t command) {
    int n = 0;
    for (const auto &m : Messages())
        n += !m.empty() && m[0] == command;
    return n;
}
