// The command-line program against the configuration window: the frame `restore` sends is the
// frame the window sends after Open File and Save, and the files of `backup` and Save File are
// the same bytes. The window runs here against this process's virtual reader, the program as a
// child against its own, both starting from the same configuration.
#include "cli_run.h"
#include "config/settings_file.h"
#include "keycodes/ui/TForm6.h"
#include "msr_reader_test.h"

#include <QLineEdit>
#include <QTest>
#include <random>

namespace {

using clitest::Bytes;

class CliWindowTest : public MsrReaderTest {
  protected:
    void SaveFile(const std::string &path) {
        filedlg::setNextPath(QString::fromStdString(path));
        Button(12)->click();
        ASSERT_EQ(Panel(1), "SAVE FILE SUCCESS");
    }
    void OpenFile(const std::string &path) {
        filedlg::setNextPath(QString::fromStdString(path));
        Button(11)->click();
        ASSERT_EQ(Panel(1), "OPEN FILE SUCCESS");
    }
    // The last write-configuration frame this process's reader got.
    static Bytes WindowSaveFrame() {
        Bytes frame;
        for (int i = 0; i < vr_message_count(); ++i) {
            Bytes m(4096);
            m.resize(size_t(vr_message(i, m.data(), int(m.size()))));
            if (!m.empty() && m[0] == 0xAA) frame = m;
        }
        return frame;
    }
    // The frame the window sends for `file` after probing a reader that holds `block`.
    Bytes WindowFrame(const std::string &file, const Bytes &block) {
        vr_reset();
        SetReaderBlock(block);
        if (!Form2->isVisible()) Choose();
        Button(1)->click(); // Load: as freshly shown on that reader
        OpenFile(file);
        vr_clear_log();
        msgbox::clearShown();
        Button(4)->click();
        EXPECT_EQ(SaveFrames(), 1);
        return WindowSaveFrame();
    }
    // The frame the program sends for `file` to a reader that holds `block`.
    Bytes CliFrame(const std::string &file, const Bytes &block) {
        Cli.SetReaderBlock(block);
        Cli.ClearMessages();
        const clitest::Result r = Cli.Exec({"restore", file});
        EXPECT_EQ(r.status, 0) << r.err;
        Bytes frame;
        for (const Bytes &m : Cli.Messages())
            if (!m.empty() && m[0] == 0xAA) frame = m;
        return frame;
    }
    std::string Path(const char *name) { return Cli.File(name); }

    // The window on a reader holding `block`, loaded.
    void Loaded(const Bytes &block) {
        vr_reset();
        SetReaderBlock(block);
        if (!Form2->isVisible()) Choose();
        Button(1)->click();
        ASSERT_EQ(Panel(1), "LOAD SUCCESS");
        msgbox::clearShown();
    }
    // Save, and what the reader then holds.
    static Bytes Saved() {
        msgbox::clearShown();
        Button(4)->click();
        EXPECT_EQ(Panel(1), "SAVE SUCCESS");
        return ReaderBlock();
    }
    // The text entry of a sequence opened from its ASCII button and closed with OK, its text
    // as it was shown unless `typed` replaces it.
    static void TextEntryOk(int asciiButton, const char *typed = nullptr) {
        MouseDown(Radio(asciiButton));
        ASSERT_TRUE(Form6->isVisible());
        if (typed) {
            Form6->Edit1->clear();
            QTest::keyClicks(Form6->Edit1, QString::fromLatin1(typed));
        }
        Form6->BitBtn1->click();
        ASSERT_FALSE(Form6->isVisible());
    }
    // backup, then restore of that file, by the program against its own reader holding
    // `block`; what that reader holds afterwards.
    Bytes BackupRestore(const Bytes &block) {
        Cli.SetReaderBlock(block);
        const std::string file = Path("round.MDAT");
        const clitest::Result b = Cli.Exec({"backup", file});
        EXPECT_EQ(b.status, 0) << b.err;
        EXPECT_EQ(b.err, "");
        const clitest::Result r = Cli.Exec({"restore", file});
        EXPECT_EQ(r.status, 0) << r.err;
        return Cli.ReaderBlock();
    }

    // The factory block with the reader's bytes of an ASCII layer appended as they are.
    static Bytes WithAsciiLayer(int layer, const Bytes &bytes) {
        Bytes block = Block();
        block.push_back(uint8_t(0x10 + layer));
        block.push_back(uint8_t(bytes.size()));
        block.insert(block.end(), bytes.begin(), bytes.end());
        return block;
    }

    clitest::CliRunner Cli;
};

// A reader configuration with a bit of everything: GERMAN, reading sequence "2-1-3" with
// track 1 off, the removal range the window replaces, an ASCII header with a control byte
// and a Code suffix.
void Changed(TMsrSettings &s) {
    s.TrackOrder(0) = '6';
    s.TrackOrder(1) = '0';
    s.TrackOrder(2) = '3';
    s.LayerStore[kReadingSequenceLayer][0] = 2;
    s.RemoveSelect() = 0x12;
    s.AttachSelect() = 0x42;
    s.AttachLength() = 0x0B;
    const uint8_t header[] = {'a', 0, 0, 0, 0x0D, 0, 0, 0, 'b'};
    std::memcpy(s.LayerStore[3], header, sizeof header);
    s.LayerModes[3] = kModeAscii;
    const uint8_t suffix[] = {0x12, 0, 0, 0, 0x1C, 0, 0, 0, 0xF0, 0x12, 0, 0, 0xE0, 0xF0, 0x1F};
    std::memcpy(s.LayerStore[5], suffix, sizeof suffix);
    s.LayerModes[5] = kModeCode;
}

Bytes FileOf(const std::function<void(TMsrSettings &)> &fill, int language) {
    auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0, sizeof *s);
    fill(*s);
    PutFileLanguage(*s, language);
    const TSettingsImage image = SettingsImageOf(*s);
    return Bytes(image.begin(), image.end());
}

TEST_F(CliWindowTest, RestoreSendsTheFrameOfOpenFileThenSave) {
    const Bytes factory = Block();
    uint8_t custom[256] = {};
    custom[0] = 12;
    for (int i = 1; i <= 190; ++i)
        custom[i] = uint8_t(3 * i);
    const Bytes unlisted = Block(kUnknownLanguage, custom);

    struct Case {
        const char *name;
        Bytes file, reader;
    };
    Bytes escapes(64 + 5 * 1024 + 16, 0); // short: the rest reads as zero
    escapes[5 * 4 + 2] = 0xFF;
    const char typed[] = {'a', 'b', '\\', 'n'};
    for (int i = 0; i < 4; ++i)
        escapes[64 + 5 * 1024 + 4 * size_t(i)] = uint8_t(typed[i]);
    const Case cases[] = {
        {"changed", FileOf(Changed, 3), factory},
        {"options only", FileOf([](TMsrSettings &s) { s.Layer1(12) = 0x00; }, 6), factory},
        {"short with escapes", escapes, factory},
        {"unknown language", FileOf(Changed, kUnknownLanguage), unlisted},
    };
    Choose();
    for (const Case &c : cases) {
        const std::string path = Path(c.name);
        clitest::WriteBytes(path, c.file);
        const Bytes window = WindowFrame(path, c.reader);
        ASSERT_FALSE(window.empty()) << c.name;
        EXPECT_EQ(CliFrame(path, c.reader), window) << c.name;
    }
}

TEST_F(CliWindowTest, BackupIsWhatSaveFileWritesAndBothOpenAlike) {
    uint8_t custom[256] = {};
    custom[0] = 7;
    for (const Bytes &block : {Block(3, nullptr, Changed), Block(kUnknownLanguage, custom)}) {
        vr_reset();
        SetReaderBlock(block);
        if (!Form2->isVisible()) Choose();
        Button(1)->click(); // Load
        const std::string windowFile = Path("window.MDAT"), cliFile = Path("cli.MDAT");
        SaveFile(windowFile);
        Cli.SetReaderBlock(block);
        const clitest::Result r = Cli.Exec({"backup", cliFile});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(clitest::ReadBytes(cliFile), clitest::ReadBytes(windowFile));
    }
}

TEST_F(CliWindowTest, AFileOfSaveFileRestoredGivesTheReaderWhatSaveGives) {
    SetReaderBlock(Block(3, nullptr, Changed));
    Choose();
    Select(3, 5);                                                     // SPANISH
    Form2->CheckBox[8]->setChecked(!Form2->CheckBox[8]->isChecked()); // IBM card support
    const std::string file = Path("edited.MDAT");
    SaveFile(file);
    msgbox::clearShown();
    Button(4)->click();
    const Bytes saved = ReaderBlock();

    const clitest::Result r = Cli.Exec({"restore", "--verify", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Cli.ReaderBlock(), saved);
}

// A layer's bytes, whatever they are, come back unchanged from every way the program takes
// them through its record: Load and Save; a settings file between them; backup and restore;
// the text entry confirmed as it was shown.
TEST_F(CliWindowTest, AsciiLayerBytesSurviveEveryRoundTrip) {
    const unsigned seed = 20260519;
    std::mt19937 rng(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    // Half the bytes from those that look like escapes, so that they meet often.
    const uint8_t tricky[] = {0x5C, 0x0D, 0x1B, 0x09, 'n', 'e', 't', 'N', 'E', 'T', 'q'};
    const std::string file = Path("layer.MDAT");
    for (int iteration = 0; iteration < 24; ++iteration) {
        Bytes layer(size_t(std::uniform_int_distribution<int>(1, 20)(rng)));
        for (uint8_t &b : layer)
            b = rng() % 2 ? tricky[rng() % sizeof tricky]
                          : uint8_t(std::uniform_int_distribution<int>(1, 255)(rng));
        const Bytes block = WithAsciiLayer(5, layer);
        SCOPED_TRACE("layer " + clitest::Hex(layer));
        const auto same = [&block](const Bytes &back, const char *how) {
            EXPECT_EQ(clitest::Hex(LayerRecords(back)), clitest::Hex(LayerRecords(block))) << how;
            EXPECT_TRUE(back == block) << how; // options and language too
        };

        Loaded(block);
        same(Saved(), "Load, Save");

        Loaded(block);
        SaveFile(file);
        OpenFile(file);
        same(Saved(), "Load, Save File, Open File, Save");

        Loaded(block);
        TextEntryOk(5);
        same(Saved(), "Load, text entry OK, Save");

        same(BackupRestore(block), "backup, restore");
        if (HasFailure()) break;
    }
}

TEST_F(CliWindowTest, WhatTheUserTypedIsWhatTheReaderKeeps) {
    const Bytes backslashN = {0x15, 2, 0x5C, 'n'};
    struct Case {
        const char *name;
        Bytes reader;               // the reader's block to start from
        std::function<Bytes()> run; // the steps; what the reader then holds
        Bytes layers;               // its layer records
    } cases[] = {
        {"typed \\\\n, then Load, beep changed, Save", Block(),
         [this, &backslashN] {
             TextEntryOk(5, "\\\\n");
             EXPECT_EQ(LayerRecords(Saved()), backslashN);
             Loaded(ReaderBlock());
             Form2->CheckBox[7]->setChecked(!Form2->CheckBox[7]->isChecked());
             return Saved();
         },
         backslashN},
        {"typed \\\\n, then backup and restore", Block(),
         [this] {
             TextEntryOk(5, "\\\\n");
             return BackupRestore(Saved());
         },
         backslashN},
        {"13 02 5C 0D, Save File, Open File, text entry OK, Save",
         WithAsciiLayer(3, {0x5C, 0x0D}),
         [this] {
             SaveFile(Path("c.MDAT"));
             OpenFile(Path("c.MDAT"));
             TextEntryOk(1);
             return Saved();
         },
         {0x13, 2, 0x5C, 0x0D}},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        Loaded(c.reader);
        EXPECT_EQ(clitest::Hex(LayerRecords(c.run())), clitest::Hex(c.layers));
    }
}

} // namespace
