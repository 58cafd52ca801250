// Shared helpers of the lorvane and virtual reader tests: a fixture that starts from a fresh
// virtual reader, and readers of what was written to it.
#pragma once

#include "lorvane.h"
#include "virtual_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes WrittenReport(int index) {
    uint8_t buf[1024];
    int n = vr_written_report(index, buf, sizeof buf);
    return n < 0 ? Bytes{} : Bytes(buf, buf + n);
}

inline Bytes LastMessage() {
    uint8_t buf[4096];
    int count = vr_message_count();
    if (count == 0) return {};
    int n = vr_message(count - 1, buf, sizeof buf);
    return Bytes(buf, buf + n);
}

inline std::string Hex(const Bytes &b) {
    std::string s;
    char group[4];
    for (uint8_t x : b) {
        std::snprintf(group, sizeof group, "%02X ", x);
        s += group;
    }
    return s;
}

class ReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        HID_Close();
        HID_SetMessagePump(nullptr, nullptr);
        vr_reset();
    }
    void TearDown() override {
        HID_SetMessagePump(nullptr, nullptr);
        HID_Close();
        vr_reset();
    }
    // Opens the reader and forgets what discovery wrote.
    void Open() {
        ASSERT_EQ(HID_Init(), 0);
        vr_clear_log();
    }
};
