// mifare ... run as a process against the virtual card: the card image of a dump, the guards
// that keep input from ever reaching the card, and what writes and value operations leave on
// the card byte for byte.
#include "cli_run.h"

#include <functional>
#include <random>

namespace {

using namespace clitest;

const Bytes kKey = {0x7B, 0x3E, 0x51, 0xA9, 0xC4, 0xD6};
const Bytes kAccess = {0xFF, 0x07, 0x80, 0x69};

Bytes Trailer(const Bytes &keyA, const Bytes &access, const Bytes &keyB) {
    Bytes t = keyA;
    t.insert(t.end(), access.begin(), access.end());
    t.insert(t.end(), keyB.begin(), keyB.end());
    return t;
}

Bytes Pattern(int block) {
    Bytes b(16);
    for (int i = 0; i < 16; ++i)
        b[size_t(i)] = uint8_t(block * 16 + i);
    return b;
}

// A value block: the value, its complement, the value again, and the address four times.
Bytes ValueBlock(int32_t value, uint8_t address) {
    Bytes b(16);
    for (int i = 0; i < 4; ++i) {
        const uint8_t v = uint8_t(uint32_t(value) >> (8 * i));
        b[size_t(i)] = b[size_t(8 + i)] = v;
        b[size_t(4 + i)] = uint8_t(~v);
    }
    b[12] = b[14] = address;
    b[13] = b[15] = uint8_t(~address);
    return b;
}

class CliMifare : public CliTest {
  protected:
    Bytes ImageBlock(const Bytes &image, int block) {
        return Bytes(image.begin() + block * 16, image.begin() + block * 16 + 16);
    }
};

TEST_F(CliMifare, DumpIsTheCardBlockByBlockWithTrailersAsRead) {
    for (int block : {1, 5, 62})
        SetCardBlock(block, Pattern(block));
    const std::string file = File("card.bin");
    const Result r = Exec({"mifare", "dump", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  sector  0: R R R R\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("64 of 64 blocks read"), std::string::npos) << r.out;
    const Bytes image = ReadBytes(file);
    ASSERT_EQ(image.size(), 1024u);
    for (int block = 0; block < 64; ++block) {
        Bytes expected = CardBlock(block);
        if (block % 4 == 3) std::fill_n(expected.begin(), 6, 0); // key A never reads back
        EXPECT_EQ(ImageBlock(image, block), expected) << block;
    }
    EXPECT_EQ(ImageBlock(image, 5), Pattern(5));
    EXPECT_EQ(ImageBlock(image, 7), Trailer(Bytes(6, 0), kAccess, kKey));
}

TEST_F(CliMifare, DumpMapsWhatItCouldNotRead) {
    const Bytes other = {1, 2, 3, 4, 5, 6};
    SetCardBlock(15, Trailer(other, kAccess, other)); // sector 3 has another key
    SetCardBlock(13, Pattern(13));
    const std::string file = File("card.bin");
    Result r = Exec({"mifare", "dump", file, "--partial"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("  sector  3: A A A A\n  sector  4: R R R R\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("60 of 64 blocks read"), std::string::npos);
    Bytes image = ReadBytes(file);
    ASSERT_EQ(image.size(), 1024u);
    EXPECT_EQ(ImageBlock(image, 13), Bytes(16, 0));

    // With that sector's key only that sector is read.
    r = Exec({"mifare", "--key", "010203040506", "dump", file, "--partial"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("  sector  3: R R R R\n"), std::string::npos) << r.out;
    EXPECT_EQ(ImageBlock(ReadBytes(file), 13), Pattern(13));
}

TEST_F(CliMifare, TrailerWritesNeedForceAndAWholeValidRow) {
    const Bytes before = CardBlock(7);
    const std::string good = "A0A1A2A3A4A5FF078069B0B1B2B3B4B5";
    const auto refused = [&](const std::vector<std::string> &args, const std::string &why) {
        const Result r = Exec(args);
        EXPECT_EQ(r.status, 1) << testing::PrintToString(args);
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    };
    refused({"mifare", "write", "1", "3", good}, "needs --force-trailer");
    refused({"mifare", "write", "1", "3", good.substr(0, 30), "--force-trailer"}, "32 hex digits");
    refused({"mifare", "write", "1", "3", "A0A1A2A3A4A5FE078069B0B1B2B3B4B5", "--force-trailer"},
            "complement rule");
    refused({"mifare", "write", "1", "1", std::string(33, '0')}, "1 to 32 hex digits");
    refused({"mifare", "write", "1", "1", "00GG"}, "1 to 32 hex digits");
    refused({"mifare", "write", "16", "1", "00"}, "sector must be 0 to 15");
    refused({"mifare", "--key", "7B3E51A9C4", "read", "1", "1"}, "12 hex digits");
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(CardBlock(7), before);

    const Result r = Exec({"mifare", "write", "1", "3", good, "--force-trailer"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CardBlock(7), FromHex(good));
}

TEST_F(CliMifare, TrailersThatCannotBeUndoneNeedTheirOwnFlag) {
    // Access bits 111 throughout, and key A as a read of the trailer shows it.
    const std::string locking = "7B3E51A9C4D600F0FF69B0B1B2B3B4B5";
    const Result read = Exec({"mifare", "read", "2", "3"});
    ASSERT_EQ(read.status, 0) << read.err;
    const std::string asRead = read.out.substr(0, 32);
    EXPECT_EQ(asRead, "000000000000FF0780697B3E51A9C4D6");
    const Bytes before = CardBlock(11);
    ClearMessages();
    const struct {
        std::vector<std::string> args;
        const char *why;
    } refused[] = {
        {{"mifare", "write", "2", "3", locking, "--force-trailer"},
         "Sector 2 would be locked for good"},
        {{"mifare", "write", "2", "3", locking, "--force-trailer", "--allow-zero-key-a"},
         "needs --force-trailer --allow-permanent"},
        {{"mifare", "write", "2", "3", asRead, "--force-trailer"}, "--allow-zero-key-a"},
        {{"mifare", "write", "2", "3", asRead, "--force-trailer", "--allow-permanent"},
         "would replace the sector's key A"},
        // Key B of zeros says nothing of key A.
        {{"mifare", "--key-b", "--key", "000000000000", "write", "2", "3", asRead,
          "--force-trailer"},
         "--allow-zero-key-a"},
    };
    for (const auto &r : refused) {
        const Result result = Exec(r.args);
        EXPECT_EQ(result.status, 1) << testing::PrintToString(r.args);
        EXPECT_NE(result.err.find(r.why), std::string::npos) << result.err;
    }
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(CardBlock(11), before);

    // Said explicitly, each is written; a zero key A is the key in use afterwards.
    Result r = Exec({"mifare", "write", "2", "3", asRead, "--force-trailer", "--allow-zero-key-a"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CardBlock(11), FromHex(asRead));
    r = Exec({"mifare", "--key", "000000000000", "write", "2", "3", asRead, "--force-trailer"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = Exec({"mifare", "--key", "000000000000", "write", "2", "3", locking, "--force-trailer",
              "--allow-permanent"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CardBlock(11), FromHex(locking));
}

TEST_F(CliMifare, WriteAndReadADataBlock) {
    Result r = Exec({"mifare", "write", "1", "1", "00112233aabb"});
    EXPECT_EQ(r.status, 0) << r.err;
    Bytes expected(16, 0);
    const Bytes head = {0x00, 0x11, 0x22, 0x33, 0xAA, 0xBB};
    std::copy(head.begin(), head.end(), expected.begin());
    EXPECT_EQ(CardBlock(5), expected);
    // The frame: the block address, the block, then 16 zeros (as the window sends it).
    const Bytes last = Messages().back();
    ASSERT_GE(last.size(), 5u);
    EXPECT_EQ(last[5], 0x4C) << Hex(last);

    r = Exec({"mifare", "--key-b", "read", "1", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "00112233AABB00000000000000000000\n");
    r = Exec({"mifare", "read", "1", "1", "--key", "000000000000"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "cardtool-cli: key authentication failed for sector 1 with key A\n");
}

TEST_F(CliMifare, ValueOperationsByteForByte) {
    Result r = Exec({"mifare", "value", "init", "2", "1", "100"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CardBlock(9), ValueBlock(100, 9));
    EXPECT_EQ(Exec({"mifare", "value", "inc", "2", "1", "5"}).status, 0);
    EXPECT_EQ(CardBlock(9), ValueBlock(105, 9));
    EXPECT_EQ(Exec({"mifare", "value", "dec", "2", "1", "110"}).status, 0);
    EXPECT_EQ(CardBlock(9), ValueBlock(-5, 9));
    r = Exec({"mifare", "value", "get", "2", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "-5\n");

    ClearMessages();
    for (const std::vector<std::string> &args : {
             std::vector<std::string>{"mifare", "value", "init", "2", "3", "1"}, // a trailer
             {"mifare", "value", "inc", "2", "1"},                               // no amount
             {"mifare", "value", "dec", "2", "1", "-5"},
             {"mifare", "value", "inc", "2", "1", "1234567890"},
             {"mifare", "value", "get", "2", "1", "7"},
         })
        EXPECT_EQ(Exec(args).status, 1) << testing::PrintToString(args);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(CardBlock(11), Trailer(kKey, kAccess, kKey));

    r = Exec({"mifare", "value", "get", "2", "2"}); // not a value block
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Balance Error"), std::string::npos);
}

TEST_F(CliMifare, RestoreDataWritesDataBlocksOnly) {
    Bytes image;
    for (int block = 0; block < 64; ++block) {
        const Bytes p = Pattern(block);
        image.insert(image.end(), p.begin(), p.end());
    }
    const std::string file = File("image.bin");
    WriteBytes(file, image);
    ASSERT_EQ(Exec({"mifare", "search"}).status, 0); // the card as it is
    const Bytes block0 = CardBlock(0);
    const Result r = Exec({"mifare", "restore-data", file, "--all-blocks"}); // no map
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("47 of 47 data blocks written"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  sector  0: . W W .\n  sector  1: W W W .\n"), std::string::npos)
        << r.out;
    for (int block = 0; block < 64; ++block) {
        if (block == 0)
            EXPECT_EQ(CardBlock(0), block0);
        else if (block % 4 == 3)
            EXPECT_EQ(CardBlock(block), Trailer(kKey, kAccess, kKey)) << block;
        else
            EXPECT_EQ(CardBlock(block), Pattern(block)) << block;
    }

    ClearMessages();
    WriteBytes(file, Bytes(1000, 0));
    const Result shortImage = Exec({"mifare", "restore-data", file});
    EXPECT_EQ(shortImage.status, 4);
    EXPECT_NE(shortImage.err.find("file is 1000 bytes; a card image holds 1024"),
              std::string::npos);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(CliMifare, WhatADumpCouldNotReadIsNeverWrittenAsZeros) {
    for (int block : {1, 13, 14})
        SetCardBlock(block, Pattern(block));
    const std::string file = File("card.bin"), map = file + ".map";
    Result r = Exec({"mifare", "dump", file});
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes good = ReadBytes(file), goodMap = ReadBytes(map);
    ASSERT_EQ(good.size(), 1024u);
    EXPECT_NE(ReadText(map).find("  sector  3: R R R R\n"), std::string::npos) << ReadText(map);

    // A wrong key reads nothing: the good dump and its map stay as they were.
    r = Exec({"mifare", "--key", "000000000000", "dump", file});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("0 of 64 blocks read; " + file + " was not written"), std::string::npos)
        << r.err;
    EXPECT_EQ(ReadBytes(file), good);
    EXPECT_EQ(ReadBytes(map), goodMap);

    // Sector 3 under another key: --partial writes the image with its holes mapped.
    const Bytes other = {1, 2, 3, 4, 5, 6};
    SetCardBlock(15, Trailer(other, kAccess, other));
    const std::string holes = File("holes.bin");
    r = Exec({"mifare", "dump", holes, "--partial"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(ReadText(holes + ".map").find("  sector  3: A A A A\n"), std::string::npos);
    // Restored onto a changed card, the holes leave sector 3 alone; the rest comes back.
    SetCardBlock(1, Pattern(40));
    SetCardBlock(13, Pattern(41));
    r = Exec({"mifare", "restore-data", holes});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  sector  3: x x x .\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("44 of 44 data blocks written from " + holes +
                         "; 3 the image does not hold left alone"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(CardBlock(1), Pattern(1));
    EXPECT_EQ(CardBlock(13), Pattern(41));
    EXPECT_EQ(CardBlock(14), Pattern(14));

    // A map that is missing, broken or of another image: nothing reaches the card.
    SetCardBlock(1, Pattern(40));
    ClearMessages();
    const Bytes holesMap = ReadBytes(holes + ".map");
    Bytes changed = ReadBytes(holes);
    changed[16] ^= 0xFF;
    const struct {
        std::function<void()> arrange;
        int status;
        const char *why;
    } refused[] = {
        {[&] { std::remove((holes + ".map").c_str()); }, 1, "--all-blocks"},
        {[&] { WriteBytes(holes + ".map", Bytes(holesMap.begin(), holesMap.end() - 5)); }, 4,
         "not a card image map"},
        {[&] {
             WriteBytes(holes + ".map", holesMap);
             WriteBytes(holes, changed);
         },
         4, "belongs to another image"},
    };
    for (const auto &c : refused) {
        c.arrange();
        r = Exec({"mifare", "restore-data", holes});
        EXPECT_EQ(r.status, c.status) << c.why;
        EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    }
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(CardBlock(1), Pattern(40));
}

// Against a reader that garbles statuses, answers with an earlier command's reply or is
// unplugged: exit status 0 only when the card (or the image) holds what was asked for, and a
// failed dump never touches the image it was to replace.
TEST_F(CliMifare, FaultyReaderNeverMakesAFailureLookLikeASuccess) {
    for (int block : {4, 5})
        SetCardBlock(block, ValueBlock(1000, uint8_t(block)));
    const std::string file = File("card.bin");
    ASSERT_EQ(Exec({"mifare", "dump", file}).status, 0);
    Bytes image = ReadBytes(file);
    const auto asRead = [&](int block) {
        Bytes b = CardBlock(block);
        if (block % 4 == 3) std::fill_n(b.begin(), 6, 0);
        return b;
    };
    const unsigned seed = 19;
    std::mt19937 rng(seed);
    int successes = 0, failures = 0;
    for (int run = 0; run < 40; ++run) {
        // Per million: wrong status, stale reply first, stale reply after, unplugged.
        const int scale = rng() % 2 ? 1 : 20;
        std::string mix = std::to_string(seed + unsigned(run)) + ":0,0,0";
        for (int perMillion : {1000, 0, 4000, 1000, 500})
            mix += "," + std::to_string(perMillion * scale);
        const int sector = int(rng() % 2), block = int(rng() % 3), address = sector * 4 + block;
        const Bytes before = CardBlock(address);
        const int op = int(rng() % 4);
        const std::string what = "run " + std::to_string(run) + ", op " + std::to_string(op);
        Result r;
        if (op == 0) {
            Bytes row(16);
            for (auto &b : row)
                b = uint8_t(rng());
            r = Exec({"mifare", "write", std::to_string(sector), std::to_string(block), Hex(row)},
                     {{"VR_FAULT_MIX", mix}});
            if (r.status == 0) {
                EXPECT_EQ(CardBlock(address), row) << what;
            }
        } else if (op == 1) {
            const int32_t amount = int32_t(1 + rng() % 100);
            r = Exec({"mifare", "value", "dec", std::to_string(sector), std::to_string(block),
                      std::to_string(amount)},
                     {{"VR_FAULT_MIX", mix}});
            int32_t value = int32_t(uint32_t(before[0]) | uint32_t(before[1]) << 8 |
                                    uint32_t(before[2]) << 16 | uint32_t(before[3]) << 24);
            if (r.status == 0) {
                EXPECT_EQ(before, ValueBlock(value, uint8_t(address))) << what;
                EXPECT_EQ(CardBlock(address), ValueBlock(value - amount, uint8_t(address))) << what;
            }
        } else if (op == 2) {
            r = Exec({"mifare", "dump", file}, {{"VR_FAULT_MIX", mix}});
            const Bytes now = ReadBytes(file);
            if (r.status == 0) {
                for (int b = 0; b < 64; ++b)
                    EXPECT_EQ(Bytes(now.begin() + b * 16, now.begin() + b * 16 + 16), asRead(b))
                        << what << ", block " << b;
                image = now;
            } else {
                EXPECT_EQ(now, image) << what;
            }
        } else {
            r = Exec({"mifare", "restore-data", file}, {{"VR_FAULT_MIX", mix}});
            for (int b = 1; b < 64 && r.status == 0; ++b) {
                if (b % 4 == 3) continue;
                EXPECT_EQ(CardBlock(b), Bytes(image.begin() + b * 16, image.begin() + b * 16 + 16))
                    << what << ", block " << b;
            }
        }
        (r.status == 0 ? successes : failures)++;
    }
    EXPECT_GT(successes, 5);
    EXPECT_GT(failures, 5);
}

TEST_F(CliMifare, NoCardOrNoReader) {
    Result r = Exec({"mifare", "search"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "A1B2C3D4\n");
    SetState("card_present", "0");
    r = Exec({"mifare", "read", "0", "0"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "cardtool-cli: no card selected: the reader answered status 1\n");
    r = Exec({"mifare", "dump", File("card.bin")}, {{"VR_PRESENT", "0"}});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "cardtool-cli: no card selected: no reader found (vendor 10C4, product "
                     "847C/84A2)\n");
}

} // namespace
