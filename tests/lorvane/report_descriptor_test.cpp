// Report lengths from real report descriptors.
#include "report_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

using lorvane::ParseReportLengths;
using lorvane::ReportLengths;

namespace {

// The boot keyboard of the HID class definition: 8 modifier bits, a reserved byte and six key
// bytes in; five LED bits and three padding bits out.
const std::vector<uint8_t> kKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};

// The boot mouse: three buttons, five padding bits, X and Y; no output report.
const std::vector<uint8_t> kMouse = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00,
                                     0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01,
                                     0x95, 0x03, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x05,
                                     0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81,
                                     0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0};

// A vendor-defined interface like the reader's: report 8, 64 data bytes each way.
const std::vector<uint8_t> kVendor64 = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x08, 0x15,
                                        0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01,
                                        0x81, 0x02, 0x95, 0x40, 0x09, 0x01, 0x91, 0x02, 0xC0};

ReportLengths Parse(const std::vector<uint8_t> &d) {
    ReportLengths r{-1, -1};
    EXPECT_TRUE(ParseReportLengths(d.data(), d.size(), r));
    return r;
}

TEST(ReportDescriptor, BootKeyboardAndMouse) {
    ReportLengths k = Parse(kKeyboard);
    EXPECT_EQ(k.input, 9);
    EXPECT_EQ(k.output, 2);
    EXPECT_FALSE(k.numbered);
    ReportLengths m = Parse(kMouse);
    EXPECT_EQ(m.input, 4);
    EXPECT_EQ(m.output, 0);
}

TEST(ReportDescriptor, VendorReportsCountTheIdentifierByte) {
    ReportLengths v = Parse(kVendor64);
    EXPECT_EQ(v.input, 65);
    EXPECT_EQ(v.output, 65);
    EXPECT_TRUE(v.numbered);
}

TEST(ReportDescriptor, LongestReportOfSeveralIdentifiersWins) {
    // Report 1: 8 bytes in; report 2: 2 bytes in, 32 bytes out; report 3: 3 bits in.
    std::vector<uint8_t> d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x85,
                              0x01, 0x95, 0x08, 0x81, 0x02,                               // id 1
                              0x85, 0x02, 0x95, 0x02, 0x81, 0x02, 0x95, 0x20, 0x91, 0x02, // id 2
                              0x85, 0x03, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02,             // id 3
                              0xC0};
    ReportLengths r = Parse(d);
    EXPECT_EQ(r.input, 9);
    EXPECT_EQ(r.output, 33);
}

TEST(ReportDescriptor, PushPopAndLongItems) {
    // Push size 8 / count 16, change them, pop, then an input of the pushed 16 bytes; a long
    // item in between is skipped whole.
    std::vector<uint8_t> d = {
        0x75, 0x08, 0x95, 0x10, 0xA4, 0x75, 0x01,
        0x95, 0x01, 0xFE, 0x02, 0x10, 0x81, 0x81, // long item whose data looks like Input
        0xB4, 0x81, 0x02};
    ReportLengths r = Parse(d);
    EXPECT_EQ(r.input, 17);
    EXPECT_EQ(r.output, 0);
}

TEST(ReportDescriptor, FourByteItemsAndHugeCountsDoNotWrap) {
    std::vector<uint8_t> d = {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97,
                              0xFF, 0xFF, 0xFF, 0xFF, 0x91, 0x02};
    ReportLengths r = Parse(d);
    EXPECT_GT(r.output, 1024); // absurd, but positive: the library refuses such a device
}

TEST(ReportDescriptor, MalformedDescriptorsAreRejected) {
    ReportLengths r{7, 7};
    std::vector<std::vector<uint8_t>> bad = {
        {0x95},                   // item data missing
        {0x96, 0x40},             // 2-byte item cut short
        {0xFE, 0x05, 0x00, 0x01}, // long item cut short
        {0xFE},                   // long item header cut short
        {0xB4},                   // pop without push
    };
    for (const auto &d : bad)
        EXPECT_FALSE(ParseReportLengths(d.data(), d.size(), r));
    EXPECT_EQ(r.input, 7);
    EXPECT_EQ(r.output, 7);
    std::vector<uint8_t> deep(17, 0xA4); // 17 pushes
    EXPECT_FALSE(ParseReportLengths(deep.data(), deep.size(), r));
    EXPECT_TRUE(ParseReportLengths(nullptr, 0, r));
    EXPECT_EQ(r.input, 0);
}

} // namespace
