// The reader behind an emulated hidraw node: what the drivers do with the reports between
// the node and the reader, for each report format a reader can have, and the node once the
// reader is gone.
#include "hidraw_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using emu::HidrawReader;
using emu::ReaderSetup;

constexpr emu::ClientId kFile = 1, kOther = 2;

ReaderSetup Format(uint8_t id, int length) {
    ReaderSetup s;
    s.reportId = id;
    s.reportLength = length;
    return s;
}

// A message as the host library writes it: byte 0 the identifier (0 without), the lead byte
// with bit 7 cleared in the first report, the staged length and payload.
std::vector<Bytes> HostReports(const ReaderSetup &s, uint8_t command, const Bytes &payload) {
    Bytes staged = {uint8_t(payload.size() >> 8), uint8_t(payload.size())};
    staged.insert(staged.end(), payload.begin(), payload.end());
    std::vector<Bytes> reports;
    const size_t per = size_t(s.reportLength - 2);
    for (size_t at = 0; at < staged.size(); at += per) {
        Bytes r(size_t(s.reportLength), 0);
        r[0] = s.reportId;
        r[1] = reports.empty() ? uint8_t(command & 0x7F) : command;
        std::copy(staged.begin() + long(at),
                  staged.begin() + long(std::min(staged.size(), at + per)), r.begin() + 2);
        reports.push_back(r);
    }
    return reports;
}

void Send(HidrawReader &r, const std::vector<Bytes> &reports, emu::ClientId file = kFile) {
    for (const Bytes &b : reports)
        ASSERT_EQ(r.Write(file, b.data(), b.size()), long(b.size()));
}

Bytes ReadOne(HidrawReader &r, emu::ClientId file = kFile, size_t capacity = 1024) {
    Bytes b(capacity);
    const long n = r.Read(file, b.data(), b.size());
    b.resize(n > 0 ? size_t(n) : 0);
    return b;
}

Bytes SaveBlock() {
    Bytes block(225);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = uint8_t(i * 7);
    return block;
}

struct Layout {
    uint8_t id;
    int length;
};
class EveryFormat : public ::testing::TestWithParam<Layout> {};

// The read size and where the status stands differ with the identifier; the reader's
// framing does not.
TEST_P(EveryFormat, MessagesAreAnsweredAsTheFormatSays) {
    const ReaderSetup s = Format(GetParam().id, GetParam().length);
    HidrawReader r(s);
    r.Open(kFile);
    Bytes save = {0x7E};
    const Bytes block = SaveBlock();
    save.insert(save.end(), block.begin(), block.end());
    Send(r, HostReports(s, 0xAA, save));
    EXPECT_EQ(r.reader.config, block);
    const size_t read = size_t(s.reportLength - (s.reportId ? 0 : 1));
    const size_t status = s.reportId ? 1 : 0;
    Bytes first = ReadOne(r);
    ASSERT_EQ(first.size(), read);
    EXPECT_EQ(first[status], 0x30);
    EXPECT_FALSE(r.Readable());

    Send(r, HostReports(s, 0xA9, {0x7E}));
    first = ReadOne(r);
    ASSERT_EQ(first.size(), read);
    EXPECT_EQ(first[status], 0x30);
    EXPECT_EQ(first[status + 1] * 256 + first[status + 2], 225);
    Bytes payload(first.begin() + long(status + 3), first.end());
    const int continuations = (225 + 2) / (s.reportLength - 2);
    for (int j = 0; j < continuations; ++j) {
        const Bytes next = ReadOne(r);
        ASSERT_EQ(next.size(), read);
        EXPECT_EQ(next[status], 0xB0);
        payload.insert(payload.end(), next.begin() + long(status + 1), next.end());
    }
    EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 225), block);
    EXPECT_EQ(r.Read(kFile, first.data(), first.size()), -EAGAIN);
    // A read shorter than the report gets its beginning.
    Send(r, HostReports(s, 0xAD, {}));
    EXPECT_EQ(ReadOne(r, kFile, 3).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(HidrawReader, EveryFormat,
                         ::testing::Values(Layout{8, 65}, Layout{8, 64}, Layout{0, 65},
                                           Layout{0, 64}));

TEST(HidrawReader, ByteZeroOfAWriteAsTheUsbDriverSendsIt) {
    // Numbered: a zero byte 0 is not sent, so the reader takes the lead byte as identifier
    // and the length's high byte as the lead byte.
    HidrawReader numbered(Format(8, 65));
    numbered.Open(kFile);
    Bytes report = HostReports(numbered.Setup(), 0xAD, {})[0];
    report[0] = 0;
    Send(numbered, {report});
    EXPECT_EQ(numbered.messages, std::vector<Bytes>{{0x80}});
    // Without identifiers: identifier 8 is the reader's first data byte.
    HidrawReader plain(Format(0, 65));
    plain.Open(kFile);
    report[0] = 8;
    Send(plain, {report});
    EXPECT_TRUE(plain.messages.empty());
    // Fewer than two bytes are refused.
    EXPECT_EQ(plain.Write(kFile, report.data(), 1), -EINVAL);
}

TEST(HidrawReader, EveryOpenFileGetsEveryReport) {
    HidrawReader r(Format(8, 65));
    r.Open(kFile);
    r.Open(kOther);
    Send(r, HostReports(r.Setup(), 0xAD, {}), kOther);
    EXPECT_EQ(ReadOne(r, kFile).at(1), 0x30);
    EXPECT_EQ(ReadOne(r, kOther).at(1), 0x30);
    r.Close(kOther);
    EXPECT_EQ(r.OpenFiles(), 1);
}

// The driver keeps a file's reports in a ring of 64 slots, one always free: a file that does
// not read holds the first 63 and loses the rest.
TEST(HidrawReader, AFileThatDoesNotReadKeepsSixtyThreeReports) {
    HidrawReader r(Format(8, 4)); // two payload bytes a report: a long answer
    r.Open(kFile);
    Send(r, HostReports(r.Setup(), 0xA9, {0x7E}));
    int kept = 0;
    uint8_t b[4];
    while (r.Read(kFile, b, sizeof b) > 0)
        ++kept;
    EXPECT_EQ(kept, 63);
}

TEST(HidrawReader, UnplugFailsTheOpenFilesAndAPlugDoesNotRevive) {
    HidrawReader r(Format(8, 65));
    int unplugs = 0;
    r.onUnplug = [&] { ++unplugs; };
    r.Open(kFile);
    Send(r, HostReports(r.Setup(), 0xAD, {}));
    r.Unplug();
    r.Unplug();
    EXPECT_EQ(unplugs, 1);
    const Bytes report = HostReports(r.Setup(), 0xAD, {})[0];
    EXPECT_EQ(r.Write(kFile, report.data(), report.size()), -ENODEV);
    EXPECT_EQ(r.Check(kFile), -ENODEV);
    EXPECT_EQ(ReadOne(r).size(), 65u); // what had arrived is still read
    uint8_t b[65];
    EXPECT_EQ(r.Read(kFile, b, sizeof b), -EIO);
    r.Open(kOther); // opened while gone
    EXPECT_EQ(r.Check(kOther), -ENODEV);

    r.Plug();
    EXPECT_EQ(r.Check(kFile), -ENODEV);
    r.Open(kOther);
    EXPECT_EQ(r.Check(kOther), 0);
    Send(r, {report}, kOther);
    EXPECT_EQ(ReadOne(r, kOther).at(1), 0x30);
}

TEST(HidrawReader, UnplugDuringASaveKeepsTheOldBlockOrTheNew) {
    const Bytes old = HidrawReader(Format(8, 65)).reader.config;
    Bytes save = {0x7E};
    const Bytes block = SaveBlock();
    save.insert(save.end(), block.begin(), block.end());

    struct Case {
        int afterReports; // 0: after the message
        bool stored;
    } cases[] = {{1, false}, {3, false}, {4, true}, {0, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.afterReports);
        HidrawReader r(Format(8, 65));
        r.Open(kFile);
        if (c.afterReports)
            r.UnplugAfterReports(c.afterReports);
        else
            r.UnplugAfterMessage(true);
        const auto reports = HostReports(r.Setup(), 0xAA, save);
        ASSERT_EQ(reports.size(), 4u);
        for (const Bytes &b : reports)
            r.Write(kFile, b.data(), b.size());
        EXPECT_FALSE(r.Present());
        EXPECT_EQ(r.reader.config, c.stored ? block : old);
        EXPECT_FALSE(r.Readable()); // never answered
    }
}

} // namespace
