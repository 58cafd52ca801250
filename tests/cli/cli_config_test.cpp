// The configuration commands run as a process: what they print, the files they write and
// what reaches the reader, including what must not.
#include "cli_run.h"
#include "config_records.h"

#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace clitest;
using json = nlohmann::json;

constexpr const char *kFactoryText = R"(Tracks (reading sequence 1-2-3):
  Track 1: on   start '%' (25)  end '?' (3F)  Enter after
  Track 2: on   start ';' (3B)  end '?' (3F)  Enter after
  Track 3: on   start ';' (3B)  end '?' (3F)  Enter after
Keyboard language: USA (0)
Options:
  Beep on a good read: on
  IBM card support: off
  Output data for any valid track: off
  Card data port: USB
  iButton data port: USB
  Option bytes: 25 3F 3B 3F 3B 3F 39 35 36 37 00 1F 00 1F 21 3F 2A 3F
iButton:
  Start '!' (21)  end '?' (3F)
  Attach: 0-All, extract from 1, length 16, beep on
  Remove: 0-All, extract from 1, length 16, beep on
JIS2:
  Start '*' (2A)  end '?' (3F)
Sequences:
  Header:                 (empty)
  Separator:              (empty)
  Suffix:                 (empty)
  iButton attach prefix:  (empty)
  iButton attach suffix:  (empty)
  iButton remove prefix:  (empty)
  iButton remove suffix:  (empty)
  JIS2 prefix:            (empty)
  JIS2 suffix:            (empty)
)";

constexpr const char *kChangedText = R"(Tracks (reading sequence 2-1-3):
  Track 1: off  start '%' (25)  end '?' (3F)  no Enter
  Track 2: on   start ';' (3B)  end '?' (3F)  Enter after
  Track 3: on   start (01)  end (01)  no Enter
Keyboard language: GERMAN (3)
Options:
  Beep on a good read: off
  IBM card support: on
  Output data for any valid track: on
  Card data port: USB
  iButton data port: USB
  Option bytes: 25 3F 3B 3F 01 01 34 36 30 33 42 0B 12 1F 5B 5D 00 00
iButton:
  Start '[' (5B)  end ']' (5D)
  Attach: 4-Other, extract from 3, length 12, beep off
  Remove: 1-CRC,ID, extract from 1, length 14, beep on
JIS2:
  Start none (00)  end none (00)
Sequences:
  Header:                 ASCII  "a" "\" "n" "b"  | 61 0D 62
  Separator:              (empty)
  Suffix:                 Code  "Left Shift Down" "A" "Left Shift Up" "LWIN Up" "User Defiend" "?"  | 12 1C F012 E0F01F E099 30
  iButton attach prefix:  (empty)
  iButton attach suffix:  (empty)
  iButton remove prefix:  (empty)
  iButton remove suffix:  (empty)
  JIS2 prefix:            Code  "Enter"  | 5A
  JIS2 suffix:            (empty)
)";

constexpr const char *kChangedJson = R"({
  "tracks": [
    {"track": 1, "enabled": false, "start": {"hex": "25", "char": "%"},
     "end": {"hex": "3F", "char": "?"}, "enter": false},
    {"track": 2, "enabled": true, "start": {"hex": "3B", "char": ";"},
     "end": {"hex": "3F", "char": "?"}, "enter": true},
    {"track": 3, "enabled": true, "start": {"hex": "01", "char": null},
     "end": {"hex": "01", "char": null}, "enter": false}],
  "reading_sequence": {"index": 2, "name": "2-1-3"},
  "keyboard_language": {"index": 3, "name": "GERMAN"},
  "options": {"beep": false, "ibm_card": true, "any_valid_track": true, "card_port": "USB",
              "ibutton_port": "USB",
              "option_bytes": "25 3F 3B 3F 01 01 34 36 30 33 42 0B 12 1F 5B 5D 00 00"},
  "ibutton": {"start": {"hex": "5B", "char": "["}, "end": {"hex": "5D", "char": "]"},
    "attach": {"order": 4, "order_name": "4-Other", "extract_from": 3, "length": 12,
               "beep": false},
    "remove": {"order": 1, "order_name": "1-CRC,ID", "extract_from": 1, "length": 14,
               "beep": true}},
  "jis2": {"start": {"hex": "00", "char": null}, "end": {"hex": "00", "char": null}},
  "sequences": {
    "header": {"layer": 3, "mode": "ASCII", "names": ["a", "\\", "n", "b"],
               "hex": ["61", "0D", "62"]},
    "separator": {"layer": 4, "mode": "none", "names": [], "hex": []},
    "suffix": {"layer": 5, "mode": "Code",
               "names": ["Left Shift Down", "A", "Left Shift Up", "LWIN Up", "User Defiend", "?"],
               "hex": ["12", "1C", "F012", "E0F01F", "E099", "30"]},
    "ibutton_attach_prefix": {"layer": 6, "mode": "none", "names": [], "hex": []},
    "ibutton_attach_suffix": {"layer": 7, "mode": "none", "names": [], "hex": []},
    "ibutton_remove_prefix": {"layer": 8, "mode": "none", "names": [], "hex": []},
    "ibutton_remove_suffix": {"layer": 9, "mode": "none", "names": [], "hex": []},
    "jis2_prefix": {"layer": 10, "mode": "Code", "names": ["Enter"], "hex": ["5A"]},
    "jis2_suffix": {"layer": 11, "mode": "none", "names": [], "hex": []}},
  "other_layers": []
})";

class CliConfig : public CliTest {
  protected:
    Bytes Changed() { return Encoded(*Record(kChangedOptions, ChangedLayers), 3); }
    static bool SentOnly(const std::vector<Bytes> &messages, std::vector<uint8_t> commands) {
        if (messages.size() != commands.size()) return false;
        for (size_t i = 0; i < messages.size(); ++i)
            if (messages[i].empty() || messages[i][0] != commands[i]) return false;
        return true;
    }
};

TEST_F(CliConfig, ShowFactoryAndChangedConfiguration) {
    Result r = Exec({"show"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kFactoryText);
    r = Exec({"show", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json factory = json::parse(r.out);
    EXPECT_EQ(factory["keyboard_language"], json::parse(R"({"index": 0, "name": "USA"})"));
    EXPECT_EQ(factory["options"]["option_bytes"],
              "25 3F 3B 3F 3B 3F 39 35 36 37 00 1F 00 1F 21 3F 2A 3F");
    // The same keys, in the same order, whatever the reader holds.
    std::vector<std::string> keys;
    const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(r.out);
    for (const auto &item : ordered.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"tracks", "reading_sequence", "keyboard_language",
                                              "options", "ibutton", "jis2", "sequences",
                                              "other_layers"}));

    SetReaderBlock(Changed());
    r = Exec({"show"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kChangedText);
    r = Exec({"show", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(json::parse(r.out), json::parse(kChangedJson));
    // Showing sends one read and nothing else.
    EXPECT_TRUE(SentOnly(Messages(), {0xA9, 0xA9, 0xA9, 0xA9}));
}

TEST_F(CliConfig, ShowAnUnlistedLanguageAndBytesThatAreNoText) {
    auto s = Record(kFactoryOptions, [](TMsrSettings &s) {
        PutEntries(s, 3, kModeAscii, {{0xE9}, {'x'}});
    });
    s->CustomLanguage[0] = 9;
    SetReaderBlock(Encoded(*s, kUnknownLanguage));
    const Result r = Exec({"show", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json shown = json::parse(r.out); // valid JSON although the reader sent no UTF-8
    EXPECT_EQ(shown["keyboard_language"], json::parse(R"({"index": 9, "name": "unknown"})"));
    EXPECT_EQ(shown["sequences"]["header"]["hex"], json::parse(R"(["E9", "78"])"));
    EXPECT_NE(Exec({"show"}).out.find("Keyboard language: unknown (9)"), std::string::npos);
}

TEST_F(CliConfig, BackupThenRestoreGivesTheReaderWhatTheWindowWouldSend) {
    SetReaderBlock(Changed());
    const std::string file = File("shop.MDAT");
    Result r = Exec({"backup", file});
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes saved = ReadBytes(file);
    ASSERT_EQ(saved.size(), 16448u);
    EXPECT_EQ(saved[64 + 2 * 1024], 3);        // the language index, layer 2
    EXPECT_EQ(saved[64 + 1 * 1024 + 16], '6'); // TrackOrder, packed in layer 1
    EXPECT_EQ(saved[3 * 4 + 2], 0xFF);         // layer 3 is ASCII
    EXPECT_EQ(Exec({"default"}).status, 0);
    ASSERT_NE(ReaderBlock(), Changed());

    ClearMessages();
    r = Exec({"restore", "--verify", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, file + " written to the reader and verified\n");
    EXPECT_TRUE(SentOnly(Messages(), {0xAA, 0xA9, 0xA9})); // the write's read-back, the verify
    // The removal order "1-CRC,ID" goes back with the range the window proposes for it.
    auto expected = Record(kChangedOptions, ChangedLayers);
    expected->RemoveSelect() = 0x10;
    expected->RemoveLength() = 0x1D;
    EXPECT_EQ(ReaderBlock(), Encoded(*expected, 3));
}

// A backup never renames its file over something that is no regular file: the pipe a user
// named (or a device, as root) stays what it was.
TEST_F(CliConfig, BackupOntoAPipeIsRefused) {
    const std::string pipe = File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    ASSERT_EQ(::symlink("pipe", File("to-pipe").c_str()), 0);
    for (const std::string &name : {pipe, File("to-pipe")}) {
        const Result r = Exec({"backup", name});
        EXPECT_EQ(r.status, 4) << name;
        EXPECT_EQ(r.out, "") << name;
        EXPECT_NE(r.err.find("is a named pipe, not a regular file"), std::string::npos) << r.err;
        struct stat st;
        ASSERT_EQ(::stat(pipe.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << name;
    }
}

// A reader whose ASCII header holds a backslash and an 'n' gets one carriage return back from
// a restore of its backup, as from the window's Load and Save: the backup says so.
TEST_F(CliConfig, BackupAndRestoreKeepABackslashBeforeAnN) {
    Bytes block = Encoded(*Record(kFactoryOptions), 0);
    block.insert(block.end(), {0x14, 3, 'x', '\\', 'n'});
    SetReaderBlock(block);
    const std::string file = File("escape.MDAT");
    Result r = Exec({"backup", file});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // The file holds the text as typed: the backslash escaped.
    const Bytes saved = ReadBytes(file);
    ASSERT_EQ(saved.size(), 16448u);
    const Bytes typed = {'x', 0, 0, 0, '\\', 0, 0, 0, '\\', 0, 0, 0, 'n', 0, 0, 0, 0};
    EXPECT_EQ(Bytes(saved.begin() + 64 + 4 * 1024, saved.begin() + 64 + 4 * 1024 + 17), typed);
    EXPECT_EQ(Exec({"restore", file}).status, 0);
    EXPECT_EQ(ReaderBlock(), block);
}

TEST_F(CliConfig, RefusedFilesSendNothing) {
    const Bytes factory = ReaderBlock();
    const std::string file = File("bad.MDAT");
    const auto refused = [&](const Bytes &bytes, const std::string &why) {
        WriteBytes(file, bytes);
        const Result r = Exec({"restore", "--verify", file});
        EXPECT_EQ(r.status, 4) << why;
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(Messages().empty()) << why;
    };
    refused(Bytes(20000, 0), "file is 20000 bytes; a settings file holds at most 16448");
    refused({}, "the file is empty");
    Bytes mode(16448, 0);
    mode[4 * 4] = 0x01;
    refused(mode, "layer 4 has the unknown mode 0x00000001");
    // Seven three-byte codes: 21 bytes, one more than the reader takes.
    auto tooLong = Record(kFactoryOptions, [](TMsrSettings &s) {
        PutEntries(s, 5, kModeCode, std::vector<Bytes>(7, Bytes{0xE0, 0xF0, 0x1F}));
    });
    refused(FileOf(*tooLong, 0), "more than the 20 bytes the reader takes");

    const Result missing = Exec({"restore", File("missing.MDAT")});
    EXPECT_EQ(missing.status, 4);
    EXPECT_NE(missing.err.find("missing.MDAT"), std::string::npos);
    EXPECT_EQ(ReaderBlock(), factory);
}

TEST_F(CliConfig, RestoreWithTheReaderSilentUnpluggedOrKeepingSomethingElse) {
    const std::string file = File("shop.MDAT");
    WriteBytes(file, FileOf(*Record(kChangedOptions, ChangedLayers), 3));

    Result r =
        Exec({"restore", "--verify", file}, {{"VR_SILENT", "1"}, {"VR_FAIL_WHEN_EMPTY", "1"}});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "cardtool-cli: reader did not answer after 3 attempts\n");
    EXPECT_TRUE(SentOnly(Messages(), {0xAA, 0xAA, 0xAA}));

    ClearMessages();
    r = Exec({"restore", "--verify", file}, {{"VR_PRESENT", "0"}});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "cardtool-cli: no reader found (vendor 10C4, product 847C/84A2)\n");
    EXPECT_TRUE(Messages().empty());

    // A reader that says yes to the write and keeps its old configuration: the read-back of
    // every write shows it, with or without --verify.
    for (const bool verify : {true, false}) {
        ClearMessages();
        r = Exec(verify ? std::vector<std::string>{"restore", "--verify", file}
                        : std::vector<std::string>{"restore", file},
                 {{"VR_COMMAND_STATUS", "AA:30"}});
        EXPECT_EQ(r.status, 5) << verify;
        EXPECT_EQ(r.err, "cardtool-cli: the reader answered the write but does not hold the "
                         "configuration sent\n");
        EXPECT_TRUE(SentOnly(Messages(), {0xAA, 0xA9, 0xAA, 0xA9, 0xAA, 0xA9}));
    }
    // One that says "C" (nothing to show) when read: the write's answer stands, and --verify
    // names the layers it does not show.
    r = Exec({"restore", "--verify", file}, {{"VR_COMMAND_STATUS", "AA:30,A9:43"}});
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.err.find("layers differing: 1, 2, 3, 5, 10, 14"), std::string::npos) << r.err;
}

TEST_F(CliConfig, AFileWithAnUnknownLanguageTakesTheReadersOwn) {
    const std::string file = File("unknown.MDAT");
    WriteBytes(file, FileOf(*Record(kChangedOptions, ChangedLayers), kUnknownLanguage));
    // The reader has a listed language: nothing to send back, nothing written.
    Result r = Exec({"restore", file});
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(SentOnly(Messages(), {0xA9}));

    auto own = Record(kFactoryOptions);
    own->CustomLanguage[0] = 9;
    for (int i = 1; i <= 190; ++i)
        own->CustomLanguage[i] = uint8_t(i);
    const Bytes block = Encoded(*own, kUnknownLanguage);
    SetReaderBlock(block);
    ClearMessages();
    r = Exec({"restore", "--verify", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(SentOnly(Messages(), {0xA9, 0xAA, 0xA9, 0xA9}));
    const Bytes now = ReaderBlock();
    ASSERT_GE(now.size(), 225u);
    EXPECT_TRUE(std::equal(block.begin() + 32, block.begin() + 225, now.begin() + 32));
}

TEST_F(CliConfig, DefaultModeAndVersion) {
    SetReaderBlock(Changed());
    Result r = Exec({"default"});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto sent = Messages();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].size(), 227u);         // AA 7E and the 225-byte block
    EXPECT_EQ(sent[1], (Bytes{0xA9, 0x7E})); // read back
    EXPECT_EQ(ReaderBlock(), Encoded(*Record(kFactoryOptions), 0));

    EXPECT_EQ(Exec({"mode", "test"}).status, 0);
    EXPECT_EQ(ReaderState()["mode"], "1");
    EXPECT_EQ(Exec({"mode", "normal"}).status, 0);
    EXPECT_EQ(ReaderState()["mode"], "0");

    r = Exec({"version"}, {{"VR_VERSION_TEXT", "kElDo KM5530 KELDOx keldo"}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, " KM5530 x \n");
}

// A settings file is shown, verified and compared as the window shows it once opened: what a
// restore of it would leave in the reader. None of it writes.
TEST_F(CliConfig, ShowVerifyAndDiffAFile) {
    SetReaderBlock(Changed());
    const std::string file = File("shop.MDAT");
    ASSERT_EQ(Exec({"backup", file}).status, 0);
    ClearMessages();
    // The window's Save gives a removal in the order "1-CRC,ID" the range it proposes.
    Result r = Exec({"verify", file});
    EXPECT_EQ(r.status, 5);
    const std::string reader = "reader" + std::string(file.size() - 6, ' ');
    EXPECT_EQ(r.out, "Option bytes:\n"
                     "  " +
                         reader +
                         "  25 3F 3B 3F 01 01 34 36 30 33 42 0B 12 1F 5B 5D 00 00\n"
                         "  " +
                         file +
                         "  25 3F 3B 3F 01 01 34 36 30 33 42 0B 10 1D 5B 5D 00 00\n"
                         "1 field differs between reader and " +
                         file + "\n");
    EXPECT_TRUE(SentOnly(Messages(), {0xA9}));

    ASSERT_EQ(Exec({"restore", file}).status, 0);
    r = Exec({"verify", file});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "reader and " + file + " hold the same configuration\n");
    const Result shown = Exec({"show", file});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out, Exec({"show"}).out);
    EXPECT_EQ(json::parse(Exec({"show", "--json", file}).out),
              json::parse(Exec({"show", "--json"}).out));

    // Two files, field by field; a file named "reader" is ./reader.
    const std::string other = File("reader");
    auto changed = Record(kFactoryOptions, [](TMsrSettings &s) {
        PutEntries(s, 4, kModeAscii, {{'-'}});
        s.Layer1(layer1::kTrack2Start) = '+';
    });
    WriteBytes(other, FileOf(*changed, 5));
    ClearMessages();
    char here[4096];
    ASSERT_NE(::getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(::chdir(Dir.c_str()), 0);
    r = Exec({"diff", "--json", "./reader", file});
    EXPECT_EQ(::chdir(here), 0);
    EXPECT_EQ(r.status, 5);
    const json d = json::parse(r.out);
    std::vector<std::string> fields;
    for (const json &f : d["differences"])
        fields.push_back(f["field"]);
    EXPECT_EQ(fields, (std::vector<std::string>{"reading_sequence",
                                                "tracks.1.enabled",
                                                "tracks.1.enter",
                                                "tracks.2.start",
                                                "tracks.3.start",
                                                "tracks.3.end",
                                                "tracks.3.enter",
                                                "keyboard_language",
                                                "options.beep",
                                                "options.ibm_card",
                                                "options.any_valid_track",
                                                "options.option_bytes",
                                                "ibutton.start",
                                                "ibutton.end",
                                                "ibutton.attach",
                                                "ibutton.remove",
                                                "jis2.start",
                                                "jis2.end",
                                                "sequences.header",
                                                "sequences.separator",
                                                "sequences.suffix",
                                                "sequences.jis2_prefix"}));
    EXPECT_EQ(d["differences"][0]["a"], "1-2-3");
    EXPECT_EQ(d["differences"][7]["a"], json::parse(R"({"index": 5, "name": "SPANISH"})"));
    EXPECT_EQ(Exec({"diff", file, file}).status, 0);
    EXPECT_TRUE(Messages().empty());
    // The reader against itself, by name and by default.
    r = Exec({"diff", "reader", "reader:0001"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "reader and reader:0001 hold the same configuration\n");
}

// Files are checked before any reader is asked, and a file cut short is said to be one.
TEST_F(CliConfig, VerifyAndDiffRefuseBadFilesAndNames) {
    const std::string file = File("bad.MDAT");
    struct Case {
        std::vector<std::string> args;
        Bytes bytes;
        int status;
        std::string error;
    };
    for (const Case &c : std::vector<Case>{
             {{"verify", file}, Bytes(16449, 0), 4, "file is 16449 bytes"},
             {{"verify", file}, {}, 4, "the file is empty"},
             {{"diff", "reader", file}, Bytes(64, 0xFF), 4, "unknown mode"},
             {{"diff", file, "reader:"}, Bytes(16448, 0), 1, "reader:: no reader path"},
             {{"diff", "reader:a\tb", file}, Bytes(16448, 0), 1, "holds the byte 09"},
             {{"show", File("none.MDAT")}, {}, 4, "none.MDAT"}}) {
        WriteBytes(file, c.bytes);
        const Result r = Exec(c.args);
        EXPECT_EQ(r.status, c.status) << c.error;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.error;
    }
    EXPECT_TRUE(Messages().empty());
    // A short file reads as zeros where it ends, with a warning.
    Bytes factory = FileOf(*Record(kFactoryOptions), 0);
    factory.resize(64 + 3 * 1024);
    WriteBytes(file, factory);
    const Result r = Exec({"verify", file});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "cardtool-cli: warning: " + file +
                         ": file is 3136 bytes; a settings file holds 16448; what it lacks "
                         "reads as zero\n");
}

TEST_F(CliConfig, ReaderRefusalsAndUsageErrors) {
    Result r = Exec({"show"}, {{"VR_COMMAND_STATUS", "A9:41"}});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Keycode is default setting!"), std::string::npos);
    EXPECT_EQ(Exec({"backup", File("no-folder/x.MDAT")}).status, 4);
    // A reader that refuses every attempt answered them all: it is no silent reader.
    for (const auto &[args, status] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"default"}, "AA:31"}, {{"mode", "test"}, "AE:32"}}) {
        r = Exec(args, {{"VR_COMMAND_STATUS", status}});
        EXPECT_EQ(r.status, 3) << args[0];
        EXPECT_EQ(r.err, "cardtool-cli: the reader refused the command (status " +
                             status.substr(3) + ")\n")
            << args[0];
    }

    ClearMessages();
    for (const std::vector<std::string> &args : {std::vector<std::string>{},
                                                 {"frobnicate"},
                                                 {"restore"},
                                                 {"mode", "fast"},
                                                 {"show", "--xml"},
                                                 {"ic"},
                                                 {"mifare", "value", "add", "1", "1", "5"}}) {
        r = Exec(args);
        EXPECT_EQ(r.status, 1) << testing::PrintToString(args);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_TRUE(Messages().empty());
    r = Exec({"restore", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--verify"), std::string::npos);
}

} // namespace
