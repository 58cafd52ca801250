// Save File and Open File of the configuration window: the dialogs through their seam, the
// file on disk, and what the virtual reader gets from a Save afterwards.
#include "config/settings_file.h"
#include "keycodes/ui/TForm6.h"
#include "link/msr_operations.h"
#include "msr_reader_test.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TempDir {
  public:
    TempDir() {
        std::string pattern = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
        pattern += "/settings-gui-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        Path = mkdtemp(buffer.data());
    }
    ~TempDir() {
        for (const std::string &name : Names())
            ::unlink((Path + "/" + name).c_str());
        ::rmdir(Path.c_str());
    }
    QString File(const char *name) const { return QString::fromStdString(Path + "/" + name); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        if (DIR *d = opendir(Path.c_str())) {
            while (dirent *e = readdir(d))
                if (e->d_name[0] != '.' ||
                    (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0))
                    names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }
    std::string Path;
};

std::vector<uint8_t> Contents(const QString &path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Put(const QString &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path.toStdString(), std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

size_t StoreAt(int layer, int offset) {
    return kSettingsModesBytes + size_t(layer) * kLayerBytes + size_t(offset);
}

class SettingsFileTest : public MsrReaderTest {
  protected:
    void SaveFile(const QString &path) {
        filedlg::setNextPath(path);
        msgbox::clearShown();
        Button(12)->click();
    }
    void OpenFile(const QString &path) {
        filedlg::setNextPath(path);
        msgbox::clearShown();
        Button(11)->click();
    }
    // The configuration as the window shows it.
    static TMsrControls Shown() {
        TMsrControls c;
        Form2->ReadControls(c);
        return c;
    }
    static bool Same(const TMsrControls &a, const TMsrControls &b) {
        for (int e = 1; e <= 15; ++e)
            if (e != 7 && (a.Edit[e] != b.Edit[e] || a.EditEnabled[e] != b.EditEnabled[e]))
                return false;
        for (int i = 1; i <= 11; ++i)
            if (a.Check[i] != b.Check[i]) return false;
        for (int p = 0; p < 9; ++p)
            if (a.Pair[p] != b.Pair[p]) return false;
        return a.ReadingSequence == b.ReadingSequence && a.Language == b.Language &&
               a.AttachOrder == b.AttachOrder && a.RemoveOrder == b.RemoveOrder;
    }
    TempDir Dir;
};

// A reader configuration with something in every part a file carries: an ASCII header with
// a control byte, a Code suffix, a JIS2 prefix, reading sequence "2-1-3" and the track order
// the window makes of it.
void Sequences(TMsrSettings &s) {
    const uint8_t header[] = {'a', 0, 0, 0, 0x0D, 0, 0, 0, 'b', 0, 0, 0};
    std::memcpy(s.LayerStore[3], header, sizeof header);
    s.LayerModes[3] = kModeAscii;
    const uint8_t suffix[] = {0x12, 0, 0, 0, 0x1C, 0, 0, 0, 0xF0, 0x12, 0, 0};
    std::memcpy(s.LayerStore[5], suffix, sizeof suffix);
    s.LayerModes[5] = kModeCode;
    s.LayerStore[10][0] = 'x';
    s.LayerStore[10][4] = 'y';
    s.LayerModes[10] = kModeAscii;
    s.LayerStore[14][0] = 2;
    s.TrackOrder(0) = '6';
    s.TrackOrder(1) = '5';
    s.TrackOrder(2) = '7';
}

} // namespace

TEST_F(SettingsFileTest, HiddenControlsRunTheDialogsAndACancelChangesNothing) {
    Choose();
    EXPECT_TRUE(Button(11)->isHidden());
    EXPECT_TRUE(Button(12)->isHidden());
    EXPECT_FALSE(W<QAction>(Form2, "OpenFile1")->isVisible());
    EXPECT_FALSE(W<QAction>(Form2, "SaveFile1")->isVisible());
    const auto before = std::make_unique<TMsrSettings>(Form2->MsrSettings);
    const TMsrControls shown = Shown();
    const QString panels = Panel(0) + Panel(1);

    W<QAction>(Form2, "SaveFile1")->trigger(); // no path: cancelled
    W<QAction>(Form2, "OpenFile1")->trigger();
    ASSERT_EQ(filedlg::shown().size(), 2u);
    const filedlg::Request &save = filedlg::shown()[0], &open = filedlg::shown()[1];
    EXPECT_TRUE(save.save);
    EXPECT_EQ(save.title, "Save File");
    EXPECT_FALSE(open.save);
    EXPECT_EQ(open.title, "Open File");
    for (const filedlg::Request *r : {&save, &open}) {
        EXPECT_EQ(r->filter, "MDAT(*.MDAT);;ALL FILE(*.ALL)");
        EXPECT_EQ(r->defaultSuffix, "MDAT");
    }
    EXPECT_EQ(std::memcmp(&Form2->MsrSettings, before.get(), sizeof *before), 0);
    EXPECT_TRUE(Same(Shown(), shown));
    EXPECT_EQ(Panel(0) + Panel(1), panels);
    EXPECT_TRUE(msgbox::shown().empty());
    EXPECT_TRUE(Dir.Names().empty());
}

TEST_F(SettingsFileTest, SaveFileRightAfterSetDefault) {
    Choose();
    Button(5)->click();
    vr_clear_log();
    const QString path = Dir.File("defaults.MDAT");
    SaveFile(path);
    EXPECT_TRUE(msgbox::shown().empty());
    EXPECT_EQ(Panel(0), "Save File");
    EXPECT_EQ(Panel(1), "SAVE FILE SUCCESS");
    EXPECT_EQ(vr_message_count(), 0); // nothing goes to the reader
    const auto file = Contents(path);
    ASSERT_EQ(file.size(), 16448u);
    const std::pair<int, uint8_t> layer1[] = {
        {0, '%'},  {1, '?'},  {4, ';'},   {5, '?'},   {8, ';'},  {9, '?'},  {12, 0x39}, {16, '5'},
        {17, '6'}, {18, '7'}, {24, 0x1F}, {32, 0x1F}, {36, '!'}, {37, '?'}, {40, '*'},  {41, '?'}};
    std::vector<uint8_t> expected(16448, 0);
    for (const auto &[offset, value] : layer1)
        expected[StoreAt(1, offset)] = value;
    EXPECT_EQ(file, expected);
}

TEST_F(SettingsFileTest, SaveOpenSaveGivesTheReaderTheSameBlock) {
    const auto original = Block(3, nullptr, Sequences); // GERMAN
    SetReaderBlock(original);
    Choose();
    const TMsrControls loaded = Shown();
    EXPECT_EQ(Combo(3)->currentText(), "GERMAN");
    const QString path = Dir.File("reader.MDAT");
    SaveFile(path);
    EXPECT_EQ(Panel(1), "SAVE FILE SUCCESS");
    EXPECT_EQ(Contents(path)[StoreAt(2, 0)], 3);

    Button(5)->click(); // Set Default: the reader and the window go back to the defaults
    ASSERT_NE(ReaderBlock(), original);
    OpenFile(path);
    EXPECT_TRUE(msgbox::shown().empty());
    EXPECT_EQ(Panel(0), "Open File");
    EXPECT_EQ(Panel(1), "OPEN FILE SUCCESS");
    EXPECT_TRUE(Same(Shown(), loaded));
    EXPECT_EQ(Combo(1)->currentText(), "2-1-3");
    EXPECT_TRUE(Radio(1)->isChecked());
    EXPECT_TRUE(Radio(6)->isChecked());
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(ReaderBlock(), original);

    // The text entry shown the header and closed with OK changes nothing that is sent.
    MouseDown(Radio(1));
    EXPECT_EQ(Form6->Edit1->text(), "a\\nb");
    Form6->BitBtn1->click();
    Button(4)->click();
    EXPECT_EQ(ReaderBlock(), original);
}

TEST_F(SettingsFileTest, UnknownReaderLanguageGoesThroughAFileUnchanged) {
    uint8_t custom[256] = {};
    custom[0] = 9;
    for (int i = 1; i <= 190; ++i)
        custom[i] = static_cast<uint8_t>(255 - i);
    const auto original = Block(kUnknownLanguage, custom, Sequences);
    SetReaderBlock(original);
    Choose();
    ASSERT_EQ(Combo(3)->currentIndex(), -1);
    // What the Load left of the reader's language reaches past the part the window clears;
    // none of it goes into the file.
    const QString path = Dir.File("unknown.MDAT");
    SaveFile(path);
    const auto file = Contents(path);
    ASSERT_EQ(file.size(), 16448u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(file[StoreAt(2, i)], 0xFF);
    for (int i = 4; i < 1024; ++i)
        ASSERT_EQ(file[StoreAt(2, i)], 0) << i;

    Select(3, 1); // Finland, saved to the reader
    Button(4)->click();
    ASSERT_NE(ReaderBlock(), original);
    OpenFile(path);
    EXPECT_EQ(Combo(3)->currentIndex(), -1);
    EXPECT_EQ(Form2->LanguageChoice(), kUnknownLanguage);
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"\"SAVE \"successful"});
    EXPECT_EQ(ReaderBlock(), original);
}

TEST_F(SettingsFileTest, UnknownLanguageWithNothingKeptStopsTheSave) {
    Choose(); // a reader with a listed language: nothing kept
    std::vector<uint8_t> bytes(16448, 0);
    for (int i = 0; i < 4; ++i)
        bytes[StoreAt(2, i)] = 0xFF;
    const QString path = Dir.File("unknown.MDAT");
    Put(path, bytes);
    OpenFile(path);
    ASSERT_EQ(Combo(3)->currentIndex(), -1);
    vr_clear_log();
    Button(4)->click();
    EXPECT_EQ(Texts(), std::vector<QString>{QString::fromLatin1(kNoLanguageTable)});
    EXPECT_EQ(Panel(1), "SAVE ERROR");
    EXPECT_EQ(SaveFrames(), 0);
    EXPECT_TRUE(Form2->isEnabled());
    // A listed language sends again.
    Select(3, 3);
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(SaveFrames(), 1);
    EXPECT_EQ(ReaderBlock().at(34), 3);
}

TEST_F(SettingsFileTest, RefusedOrUnreadableFilesLeaveRecordAndWindowAsTheyWere) {
    SetReaderBlock(Block(3, nullptr, Sequences));
    Choose();
    const auto before = std::make_unique<TMsrSettings>(Form2->MsrSettings);
    const TMsrControls shown = Shown();

    // The checks themselves are the core's; here: the window reports and keeps everything.
    std::vector<uint8_t> badMode(16448, 0);
    badMode[4 * 4] = 0x01;
    const QString path = Dir.File("mode.MDAT");
    Put(path, badMode);
    OpenFile(path);
    EXPECT_EQ(Texts(),
              std::vector<QString>{
                  QStringLiteral("Cannot open \"%1\": layer 4 has the unknown mode 0x00000001")
                      .arg(path)});
    EXPECT_EQ(Panel(0), "Open File");
    EXPECT_EQ(Panel(1), "OPEN FILE ERROR");
    EXPECT_EQ(std::memcmp(&Form2->MsrSettings, before.get(), sizeof *before), 0);
    EXPECT_TRUE(Same(Shown(), shown));

    const QString missing = Dir.File("missing.MDAT");
    OpenFile(missing);
    EXPECT_EQ(Texts(),
              std::vector<QString>{QStringLiteral("Cannot open \"%1\": %2")
                                       .arg(missing, QString::fromLatin1(std::strerror(ENOENT)))});
    EXPECT_EQ(Panel(1), "OPEN FILE ERROR");
    EXPECT_EQ(std::memcmp(&Form2->MsrSettings, before.get(), sizeof *before), 0);
}

TEST_F(SettingsFileTest, AFailedSaveLeavesTheOldFileAndSaysSo) {
    Choose();
    const QString path = Dir.File("kept.MDAT");
    const std::vector<uint8_t> old(16448, 0x5A);
    Put(path, old);
    SetFileFaultHook([](TFileStep step) { return step == TFileStep::Write ? ENOSPC : 0; });
    SaveFile(path);
    SetFileFaultHook({});
    EXPECT_EQ(Texts(),
              std::vector<QString>{QStringLiteral("Cannot save \"%1\": %2")
                                       .arg(path, QString::fromLatin1(std::strerror(ENOSPC)))});
    EXPECT_EQ(Panel(0), "Save File");
    EXPECT_EQ(Panel(1), "SAVE FILE ERROR");
    EXPECT_EQ(Contents(path), old);
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"kept.MDAT"});

    SaveFile(Dir.File("no-folder/x.MDAT"));
    EXPECT_EQ(Panel(1), "SAVE FILE ERROR");
    ASSERT_EQ(msgbox::shown().size(), 1u);
    EXPECT_TRUE(msgbox::shown()[0].text.startsWith("Cannot save"));
}

TEST_F(SettingsFileTest, SavingOntoAPipeSaysSoAndLeavesThePipe) {
    Choose();
    const QString pipe = Dir.File("pipe");
    ASSERT_EQ(::mkfifo(pipe.toStdString().c_str(), 0644), 0);
    SaveFile(pipe);
    EXPECT_EQ(Panel(1), "SAVE FILE ERROR");
    EXPECT_EQ(Texts(),
              std::vector<QString>{
                  QStringLiteral("Cannot save \"%1\": it is a named pipe, not a regular file")
                      .arg(pipe)});
    struct stat st;
    ASSERT_EQ(::stat(pipe.toStdString().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(SettingsFileTest, TypedEscapesInAFileOpenAsTheyWereTyped) {
    Choose();
    std::vector<uint8_t> bytes(64 + 5 * 1024 + 16, 0); // a short file: the rest reads as zero
    bytes[5 * 4 + 2] = 0xFF;                           // layer 5: ASCII
    const char text[] = {'a', 'b', '\\', 'n'};
    for (int i = 0; i < 4; ++i)
        bytes[StoreAt(5, 4 * i)] = uint8_t(text[i]);
    const QString path = Dir.File("escape.MDAT");
    Put(path, bytes);
    OpenFile(path);
    EXPECT_EQ(Panel(1), "OPEN FILE SUCCESS");
    const TMsrSettings &s = Form2->MsrSettings;
    const char *const names[] = {"a", "b", "\\", "n", ""};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(std::string(s.NameCache[5][i], strnlen(s.NameCache[5][i], 20)), names[i]) << i;
    EXPECT_TRUE(Radio(5)->isChecked());
    // The short file has no options: every track shown on, no sentinels.
    EXPECT_EQ(Form2->Edit[1]->text(), "");
    EXPECT_TRUE(Form2->CheckBox[1]->isChecked());

    MouseDown(Radio(5));
    EXPECT_EQ(Form6->Edit1->text(), "ab\\n");
    QTest::keyClick(Form6->Edit1, Qt::Key_Return);
    msgbox::clearShown();
    Button(4)->click();
    EXPECT_EQ(LayerRecords(ReaderBlock()), (std::vector<uint8_t>{0x15, 3, 0x61, 0x62, 0x0D}));
}
