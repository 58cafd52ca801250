// The multi-string splitter and slot filler, and the library's export list.
#include "reader_names.h"

#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

using brenmark::NameSpan;

namespace {

std::vector<std::string> split(const std::string &multi, std::size_t max = 20) {
    std::vector<NameSpan> spans(max);
    std::size_t n = brenmark::split_reader_names(multi.data(), multi.size(), spans.data(), max);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < n; ++i)
        names.push_back(multi.substr(spans[i].offset, spans[i].length));
    return names;
}

std::string multi_of(const std::vector<std::string> &names) {
    std::string multi;
    for (const auto &n : names)
        multi += n + '\0';
    return multi + '\0';
}

TEST(ReaderNames, SplitsAWellFormedMultiString) {
    EXPECT_EQ(split(multi_of({"Reader A 00 00", "Reader B 00 01"})),
              (std::vector<std::string>{"Reader A 00 00", "Reader B 00 01"}));
}

TEST(ReaderNames, EmptyAndOneByteListsHoldNoName) {
    EXPECT_TRUE(split(std::string()).empty());
    EXPECT_TRUE(split(std::string(1, '\0')).empty());
    EXPECT_TRUE(split(std::string(2, '\0')).empty());
}

TEST(ReaderNames, StopsAtTheEmptyNameAndAtTheLimit) {
    EXPECT_EQ(split(std::string("a\0\0b\0\0", 6)), (std::vector<std::string>{"a"}));
    std::vector<std::string> many;
    for (int i = 0; i < 25; ++i)
        many.push_back("Reader " + std::to_string(i));
    auto names = split(multi_of(many));
    ASSERT_EQ(names.size(), 20u);
    EXPECT_EQ(names.back(), "Reader 19");
}

TEST(ReaderNames, NeverReadsPastTheGivenSize) {
    // No final NULs: the last name ends at the size (ASan would catch an overread).
    std::string bytes = "abc";
    std::vector<char> exact(bytes.begin(), bytes.end());
    std::vector<NameSpan> spans(4);
    ASSERT_EQ(brenmark::split_reader_names(exact.data(), exact.size(), spans.data(), 4), 1u);
    EXPECT_EQ(spans[0].length, 3u);
    std::string two("x\0yz", 4);
    EXPECT_EQ(split(two), (std::vector<std::string>{"x", "yz"}));
}

TEST(ReaderNames, SlotIsZeroFilledAndCutAt99) {
    char slot[101];
    std::fill(slot, slot + sizeof slot, '#');
    std::string shortName = "Reader 00 00";
    brenmark::fill_name_slot(slot, 100, shortName.data(), shortName.size());
    EXPECT_EQ(std::string(slot), shortName);
    EXPECT_TRUE(std::all_of(slot + shortName.size(), slot + 100, [](char c) { return c == 0; }));
    EXPECT_EQ(slot[100], '#');

    for (std::size_t length : {99u, 100u, 150u}) {
        std::string name(length, 'N');
        std::fill(slot, slot + sizeof slot, '#');
        brenmark::fill_name_slot(slot, 100, name.data(), name.size());
        EXPECT_EQ(std::string(slot), std::string(99, 'N')) << length;
        EXPECT_EQ(slot[99], '\0');
        EXPECT_EQ(slot[100], '#') << "wrote past the slot";
    }
}

// The library exports the six PS_ functions and nothing else.
TEST(BrenmarkExports, ExactlyTheSixFunctions) {
    std::string command = std::string("nm -D --defined-only ") + BRENMARK_LIBRARY + " 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> symbols;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        auto space = text.find_last_of(' ');
        symbols.insert(space == std::string::npos ? text : text.substr(space + 1));
    }
    ASSERT_EQ(pclose(pipe), 0) << "nm failed";
    EXPECT_EQ(symbols,
              (std::set<std::string>{"PS_ATRReset", "PS_CloseDevice", "PS_FreeDevice",
                                     "PS_GetDeviceList", "PS_OpenDevice", "PS_TransmitData"}));
}

} // namespace
