#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "config/codec.h"
#include "config/mapping.h"
#include "config/msr_settings.h"
#include "config/settings_file.h"

namespace {

std::unique_ptr<TMsrSettings> Zeroed() {
    auto s = std::make_unique<TMsrSettings>();
    std::memset(s.get(), 0, sizeof *s);
    return s;
}

std::string Name(const TMsrSettings &s, int layer, int i) {
    return std::string(s.NameCache[layer][i], strnlen(s.NameCache[layer][i], 20));
}

// The record as Save File leaves it right after Set Default.
std::unique_ptr<TMsrSettings> AfterSetDefault() {
    auto s = Zeroed();
    TMsrControls c = InitialControls();
    DefaultControls(c);
    ControlsToRecord(c, *s);
    PutFileLanguage(*s, c.Language);
    return s;
}

size_t StoreAt(int layer, int offset) {
    return kSettingsModesBytes + size_t(layer) * kLayerBytes + size_t(offset);
}

class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
        pattern += "/settings-file-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        Path = mkdtemp(buffer.data());
    }
    ~TempDir() {
        for (const std::string &name : Names())
            ::unlink((Path + "/" + name).c_str());
        ::rmdir(Path.c_str());
    }
    std::string File(const std::string &name) const { return Path + "/" + name; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        if (DIR *d = opendir(Path.c_str())) {
            while (dirent *e = readdir(d))
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                    names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }
    std::string Path;
};

std::vector<uint8_t> Contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Put(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

class FileFault {
  public:
    FileFault(TFileStep step, int error) {
        SetFileFaultHook([step, error](TFileStep s) { return s == step ? error : 0; });
    }
    ~FileFault() { SetFileFaultHook({}); }
};

} // namespace

TEST(SettingsImage, RightAfterSetDefault) {
    const auto s = AfterSetDefault();
    const TSettingsImage image = SettingsImageOf(*s);
    ASSERT_EQ(image.size(), 16448u);
    // Every byte that is not zero, and nothing else.
    const std::map<int, uint8_t> layer1 = {
        {0, '%'},  {1, '?'},  {4, ';'},   {5, '?'},   {8, ';'},  {9, '?'},  {12, 0x39}, {16, '5'},
        {17, '6'}, {18, '7'}, {24, 0x1F}, {32, 0x1F}, {36, '!'}, {37, '?'}, {40, '*'},  {41, '?'}};
    for (size_t at = 0; at < image.size(); ++at) {
        uint8_t expected = 0;
        if (at >= StoreAt(1, 0) && at < StoreAt(2, 0)) {
            const auto it = layer1.find(int(at - StoreAt(1, 0)));
            if (it != layer1.end()) expected = it->second;
        }
        ASSERT_EQ(image[at], expected) << "offset " << at;
    }
}

TEST(SettingsImage, ModesLittleEndianFirstThenTheStore) {
    auto s = Zeroed();
    // An ASCII header "ab\n" (the escape as typed) and a Code suffix.
    const uint8_t header[] = {'a', 0, 0, 0, 'b', 0, 0, 0, '\\', 0, 0, 0, 'n', 0, 0, 0};
    std::memcpy(s->LayerStore[3], header, sizeof header);
    s->LayerModes[3] = kModeAscii;
    const uint8_t suffix[] = {0x12, 0, 0, 0, 0x1C, 0, 0, 0, 0xF0, 0x12, 0, 0};
    std::memcpy(s->LayerStore[5], suffix, sizeof suffix);
    s->LayerModes[5] = kModeCode;
    s->LayerModes[9] = kModeLayerMarker;
    s->LayerStore[14][0] = 2;
    std::memset(s->NameCache, 'n', sizeof s->NameCache); // never stored
    s->ReadingSequence = 2;

    const TSettingsImage image = SettingsImageOf(*s);
    const uint8_t modes[] = {0,    0,    0,    0,    0, 0, 0, 0, 0,    0, 0, 0,
                             0x00, 0x00, 0xFF, 0x00, 0, 0, 0, 0, 0xFF, 0, 0, 0};
    EXPECT_EQ(std::memcmp(image.data(), modes, sizeof modes), 0);
    EXPECT_EQ(image[9 * 4], 0x00);
    EXPECT_EQ(image[9 * 4 + 1], 0x80);
    EXPECT_EQ(std::memcmp(&image[StoreAt(3, 0)], header, sizeof header), 0);
    EXPECT_EQ(std::memcmp(&image[StoreAt(5, 0)], suffix, sizeof suffix), 0);
    EXPECT_EQ(image[StoreAt(14, 0)], 2);
    EXPECT_EQ(image.back(), 0);
}

TEST(SettingsImage, LanguageIndexFillsLayerTwoAlone) {
    auto s = Zeroed();
    // What a Load leaves past the part the window clears.
    s->LayerStore[2][700] = 0x5A;
    s->LayerStore[2][0] = 9;
    PutFileLanguage(*s, 3); // GERMAN
    TSettingsImage image = SettingsImageOf(*s);
    EXPECT_EQ(image[StoreAt(2, 0)], 3);
    for (int i = 1; i < 1024; ++i)
        ASSERT_EQ(image[StoreAt(2, i)], 0) << i;

    PutFileLanguage(*s, kUnknownLanguage);
    image = SettingsImageOf(*s);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(image[StoreAt(2, i)], 0xFF);
    EXPECT_EQ(image[StoreAt(2, 4)], 0);

    // Opened again, "UNKNOW" is shown.
    auto opened = Zeroed();
    ASSERT_EQ(RecordFromSettingsImage(image.data(), image.size(), *opened), "");
    TMsrControls c = InitialControls();
    RecordToControls(*opened, c);
    EXPECT_EQ(c.Language, kLanguageUnknown);
}

TEST(SettingsImage, OpensIntoTheRecordWithTheFilesNames) {
    auto s = Zeroed();
    const uint8_t header[] = {'a', 0, 0, 0, 'b', 0, 0, 0, '\\', 0, 0, 0, 'n', 0, 0, 0};
    std::memcpy(s->LayerStore[3], header, sizeof header);
    s->LayerModes[3] = kModeAscii;
    s->LayerStore[5][0] = 0x12;
    s->LayerStore[5][4] = 0xF0;
    s->LayerStore[5][5] = 0x30;
    s->LayerModes[5] = kModeCode;
    const TSettingsImage image = SettingsImageOf(*s);

    auto opened = Zeroed();
    std::memset(opened->NameCache, 'x', sizeof opened->NameCache);
    std::memset(opened->LayerStore, 0x33, sizeof opened->LayerStore);
    opened->CustomLanguage[0] = 9;
    opened->ReadingSequence = 4;
    opened->EditedSequence = 105;
    ASSERT_EQ(RecordFromSettingsImage(image.data(), image.size(), *opened), "");
    EXPECT_EQ(std::memcmp(opened->LayerStore, s->LayerStore, sizeof s->LayerStore), 0);
    EXPECT_EQ(std::memcmp(opened->LayerModes, s->LayerModes, sizeof s->LayerModes), 0);
    // A backslash from a file is one name: "a" "b" "\" "n".
    EXPECT_EQ(Name(*opened, 3, 0), "a");
    EXPECT_EQ(Name(*opened, 3, 1), "b");
    EXPECT_EQ(Name(*opened, 3, 2), "\\");
    EXPECT_EQ(Name(*opened, 3, 3), "n");
    EXPECT_EQ(Name(*opened, 3, 4), "");
    EXPECT_EQ(Name(*opened, 5, 0), "Left Shift Down");
    EXPECT_EQ(Name(*opened, 5, 1), ""); // no name for F0 30, and no old one left
    EXPECT_EQ(Name(*opened, 0, 0), "");
    EXPECT_EQ(opened->CustomLanguage[0], 9);
    EXPECT_EQ(opened->ReadingSequence, 4);
    EXPECT_EQ(opened->EditedSequence, 105);
    // Saved again, the same file.
    EXPECT_EQ(SettingsImageOf(*opened), image);
}

TEST(SettingsImage, ShortFilesLeaveTheRestZero) {
    auto s = Zeroed();
    std::memset(s->LayerStore, 0x44, sizeof s->LayerStore);
    s->LayerModes[1] = 0x1234;
    const uint8_t one[] = {0xFF};
    ASSERT_EQ(RecordFromSettingsImage(one, sizeof one, *s), "");
    EXPECT_EQ(s->LayerModes[0], kModeCode);
    for (int layer = 1; layer < 16; ++layer)
        EXPECT_EQ(s->LayerModes[layer], 0);
    for (const auto &layer : s->LayerStore)
        for (uint8_t b : layer)
            ASSERT_EQ(b, 0);

    // Three bytes of a mode are its low bytes; five bytes of the store are its first five.
    std::vector<uint8_t> bytes(64 + 5, 0);
    bytes[4 * 3 + 2] = 0xFF; // layer 3: 0x00FF0000
    for (int i = 0; i < 5; ++i)
        bytes[64 + size_t(i)] = uint8_t(i + 1);
    ASSERT_EQ(RecordFromSettingsImage(bytes.data(), 4 * 3 + 3, *s), "");
    EXPECT_EQ(s->LayerModes[3], kModeAscii);
    ASSERT_EQ(RecordFromSettingsImage(bytes.data(), bytes.size(), *s), "");
    EXPECT_EQ(s->LayerStore[0][4], 5);
    EXPECT_EQ(s->LayerStore[0][5], 0);
}

TEST(SettingsImage, RefusedFilesLeaveTheRecordAsItWas) {
    auto s = Zeroed();
    std::memset(s->LayerStore, 0x21, sizeof s->LayerStore);
    std::memset(s->NameCache, 'q', sizeof s->NameCache);
    s->LayerModes[4] = kModeCode;
    const auto before = std::make_unique<TMsrSettings>(*s);

    std::vector<uint8_t> tooLong(16449, 0);
    std::vector<uint8_t> badMode(16448, 0);
    badMode[7 * 4] = 0x01; // layer 7: mode 1
    std::vector<uint8_t> nearMode(100, 0);
    nearMode[15 * 4 + 3] = 0x01; // layer 15: 0x01000000
    const struct {
        const uint8_t *data;
        size_t size;
        const char *reason;
    } refused[] = {
        {badMode.data(), 0, "the file is empty"},
        {nullptr, 0, "the file is empty"},
        {tooLong.data(), tooLong.size(), "the file is longer than 16448 bytes"},
        {badMode.data(), badMode.size(), "layer 7 has the unknown mode 0x00000001"},
        {nearMode.data(), nearMode.size(), "layer 15 has the unknown mode 0x01000000"},
    };
    for (const auto &r : refused) {
        EXPECT_EQ(CheckSettingsImage(r.data, r.size), r.reason);
        EXPECT_EQ(RecordFromSettingsImage(r.data, r.size, *s), r.reason);
        EXPECT_EQ(std::memcmp(s.get(), before.get(), sizeof *s), 0) << r.reason;
    }

    // Every mode the record can hold opens, on every layer, with any store bytes.
    std::vector<uint8_t> full(16448);
    for (size_t i = 0; i < full.size(); ++i)
        full[i] = uint8_t(i * 7 + 3);
    const int32_t modes[] = {kModeEmpty, kModeCode, kModeAscii, kModeLayerMarker};
    for (int layer = 0; layer < 16; ++layer)
        for (int b = 0; b < 4; ++b)
            full[size_t(layer) * 4 + size_t(b)] = uint8_t(modes[layer % 4] >> (8 * b));
    EXPECT_EQ(RecordFromSettingsImage(full.data(), full.size(), *s), "");
    EXPECT_EQ(s->LayerModes[6], kModeAscii);
    EXPECT_EQ(s->LayerStore[15][1023], full.back());
}

TEST(SettingsFileIo, ReadsWholeFilesAndSeesOverlongOnes) {
    TempDir dir;
    std::vector<uint8_t> bytes;
    const std::vector<uint8_t> small = {1, 2, 3};
    Put(dir.File("small.MDAT"), small);
    EXPECT_EQ(ReadSettingsFile(dir.File("small.MDAT"), bytes), "");
    EXPECT_EQ(bytes, small);

    Put(dir.File("long.MDAT"), std::vector<uint8_t>(20000, 0));
    EXPECT_EQ(ReadSettingsFile(dir.File("long.MDAT"), bytes), "");
    EXPECT_EQ(bytes.size(), 16449u); // enough to refuse it
    EXPECT_NE(CheckSettingsImage(bytes.data(), bytes.size()), "");

    const std::string missing = dir.File("missing.MDAT");
    EXPECT_EQ(ReadSettingsFile(missing, bytes),
              "Cannot open \"" + missing + "\": " + std::strerror(ENOENT));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(ReadSettingsFile(dir.Path, bytes),
              "Cannot read \"" + dir.Path + "\": not a regular file");

    FileFault fault(TFileStep::Read, EIO);
    EXPECT_EQ(ReadSettingsFile(dir.File("small.MDAT"), bytes),
              "Cannot read \"" + dir.File("small.MDAT") + "\": " + std::strerror(EIO));
    EXPECT_TRUE(bytes.empty());
}

TEST(SettingsFileIo, AtomicWriteReplacesWholeOrLeavesTheFileAsItWas) {
    TempDir dir;
    const std::string path = dir.File("config.MDAT");
    const std::vector<uint8_t> first(16448, 0xA1), second(16448, 0xB2);
    ASSERT_EQ(WriteFileAtomically(path, first.data(), first.size()), "");
    EXPECT_EQ(Contents(path), first);
    ::chmod(path.c_str(), 0640);
    ASSERT_EQ(WriteFileAtomically(path, second.data(), second.size()), "");
    EXPECT_EQ(Contents(path), second);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the replaced file's permissions stay
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"config.MDAT"});

    const struct {
        TFileStep step;
        int error;
    } faults[] = {{TFileStep::Open, EACCES},
                  {TFileStep::Write, ENOSPC},
                  {TFileStep::Sync, EIO},
                  {TFileStep::Close, EIO},
                  {TFileStep::Rename, EXDEV}};
    for (const auto &f : faults) {
        FileFault fault(f.step, f.error);
        EXPECT_EQ(WriteFileAtomically(path, first.data(), first.size()),
                  "Cannot save \"" + path + "\": " + std::strerror(f.error))
            << int(f.step);
        EXPECT_EQ(Contents(path), second) << int(f.step); // byte for byte as it was
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"config.MDAT"}) << int(f.step);
    }

    // A new file that fails leaves nothing behind either.
    {
        FileFault fault(TFileStep::Write, ENOSPC);
        EXPECT_NE(WriteFileAtomically(dir.File("new.MDAT"), first.data(), first.size()), "");
    }
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"config.MDAT"});

    const std::string nowhere = dir.File("no-such-folder/x.MDAT");
    EXPECT_EQ(WriteFileAtomically(nowhere, first.data(), first.size()),
              "Cannot save \"" + nowhere + "\": " + std::strerror(ENOENT));
}

TEST(SettingsFileIo, ALinkIsFollowedAndKept) {
    TempDir dir;
    const std::vector<uint8_t> bytes = {9, 8, 7};
    Put(dir.File("real.MDAT"), {1});
    ASSERT_EQ(::symlink("real.MDAT", dir.File("link.MDAT").c_str()), 0);
    ASSERT_EQ(WriteFileAtomically(dir.File("link.MDAT"), bytes.data(), bytes.size()), "");
    EXPECT_EQ(Contents(dir.File("real.MDAT")), bytes);
    struct stat st;
    ASSERT_EQ(::lstat(dir.File("link.MDAT").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

namespace {

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// What a save must leave of a name it refused: the same node (inode, kind).
std::pair<ino_t, mode_t> NodeOf(const std::string &path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return {st.st_ino, st.st_mode};
}

// Runs `save` as the unprivileged user `uid` in a child process (the tests run as root, for
// whom every file is writable) and returns what it returned.
std::string SaveAs(uid_t uid, const std::function<std::string()> &save) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string r = "cannot change user";
        if (::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0) r = save();
        (void)!::write(fds[1], r.data(), r.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string r;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        r.append(buffer, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return r;
}

constexpr uid_t kNobody = 65534;

} // namespace

TEST(SettingsFileIo, ANameThatIsNoRegularFileIsRefusedAndLeftAsItWas) {
    TempDir dir;
    const std::vector<uint8_t> bytes(16448, 0x77);
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("pipe", dir.File("to-pipe").c_str()), 0);
    ASSERT_EQ(::symlink("folder", dir.File("to-folder").c_str()), 0);
    // A device node of its own (the null device: harmless should it be written to).
    const bool device = ::mknod(dir.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    const struct {
        const char *name, *target, *kind;
    } cases[] = {{"pipe", "pipe", "a named pipe"},
                 {"folder", "folder", "a folder"},
                 {"to-pipe", "pipe", "a named pipe"},
                 {"to-folder", "folder", "a folder"},
                 {"null", "null", "a device"}};
    const std::vector<std::string> before = Sorted(dir.Names());
    for (const auto &c : cases) {
        if (!device && std::strcmp(c.name, "null") == 0) continue;
        const auto name = NodeOf(dir.File(c.name)), target = NodeOf(dir.File(c.target));
        const std::string error = WriteFileAtomically(dir.File(c.name), bytes.data(), bytes.size());
        EXPECT_NE(error.find(std::string(c.kind) + ", not a regular file"), std::string::npos)
            << c.name << ": " << error;
        EXPECT_EQ(error.rfind("Cannot save \"" + dir.File(c.name) + "\"", 0), 0u) << error;
        EXPECT_EQ(NodeOf(dir.File(c.name)), name) << c.name;
        EXPECT_EQ(NodeOf(dir.File(c.target)), target) << c.name;
        EXPECT_EQ(Sorted(dir.Names()), before) << c.name; // no new file left beside it
    }
    ::rmdir(dir.File("folder").c_str());

    // A link to a name not yet taken creates the file it names; the link stays.
    ASSERT_EQ(::symlink("new.MDAT", dir.File("to-new").c_str()), 0);
    ASSERT_EQ(WriteFileAtomically(dir.File("to-new"), bytes.data(), bytes.size()), "");
    EXPECT_EQ(Contents(dir.File("new.MDAT")), bytes);
    EXPECT_TRUE(S_ISLNK(NodeOf(dir.File("to-new")).second));
}

TEST(SettingsFileIo, FilesThatAReplacementWouldDetachReOwnOrOverrideAreRefused) {
    TempDir dir;
    const std::vector<uint8_t> old = {1, 2, 3}, bytes(64, 0x42);

    // A second hard link: replacing one name would leave the other with the old bytes.
    Put(dir.File("a.MDAT"), old);
    ASSERT_EQ(::link(dir.File("a.MDAT").c_str(), dir.File("b.MDAT").c_str()), 0);
    std::string error = WriteFileAtomically(dir.File("a.MDAT"), bytes.data(), bytes.size());
    EXPECT_NE(error.find("2 hard links"), std::string::npos) << error;
    EXPECT_EQ(Contents(dir.File("a.MDAT")), old);
    EXPECT_EQ(NodeOf(dir.File("a.MDAT")), NodeOf(dir.File("b.MDAT")));
    ::unlink(dir.File("b.MDAT").c_str());

    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make files of another user";
    // Another user's file: the replacement would belong to whoever saves.
    ASSERT_EQ(::chown(dir.File("a.MDAT").c_str(), kNobody, kNobody), 0);
    error = WriteFileAtomically(dir.File("a.MDAT"), bytes.data(), bytes.size());
    EXPECT_NE(error.find("belongs to another user"), std::string::npos) << error;
    EXPECT_EQ(Contents(dir.File("a.MDAT")), old);

    // A write-protected file of one's own, in a folder one may write to.
    ASSERT_EQ(::chown(dir.Path.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(dir.File("a.MDAT").c_str(), 0444), 0);
    if (SaveAs(kNobody, [&] { return ::access(dir.Path.c_str(), W_OK | X_OK) == 0 ? "" : "no"; }) !=
        "")
        GTEST_SKIP() << "the temporary folder is out of the unprivileged user's reach";
    error = SaveAs(kNobody, [&] {
        return WriteFileAtomically(dir.File("a.MDAT"), bytes.data(), bytes.size());
    });
    EXPECT_EQ(error, "Cannot save \"" + dir.File("a.MDAT") + "\": " + std::strerror(EACCES));
    EXPECT_EQ(Contents(dir.File("a.MDAT")), old);
    // Made writable, the same user replaces it.
    ASSERT_EQ(::chmod(dir.File("a.MDAT").c_str(), 0644), 0);
    EXPECT_EQ(
        SaveAs(kNobody,
               [&] { return WriteFileAtomically(dir.File("a.MDAT"), bytes.data(), bytes.size()); }),
        "");
    EXPECT_EQ(Contents(dir.File("a.MDAT")), bytes);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"a.MDAT"});
}

TEST(SettingsFileIo, TheFolderIsSyncedAfterTheRename) {
    TempDir dir;
    const std::vector<uint8_t> bytes = {5, 6};
    std::vector<TFileStep> steps;
    SetFileFaultHook([&](TFileStep s) {
        steps.push_back(s);
        return 0;
    });
    EXPECT_EQ(WriteFileAtomically(dir.File("x.MDAT"), bytes.data(), bytes.size()), "");
    SetFileFaultHook({});
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[steps.size() - 2], TFileStep::Rename);
    EXPECT_EQ(steps.back(), TFileStep::SyncFolder);

    // The file is in place then, but a save that may not survive a power cut is no success.
    FileFault fault(TFileStep::SyncFolder, EIO);
    const std::string error = WriteFileAtomically(dir.File("x.MDAT"), bytes.data(), bytes.size());
    EXPECT_NE(error.find(std::strerror(EIO)), std::string::npos) << error;
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"x.MDAT"});
}

TEST(SettingsFileIo, NamesUpToTheLongestAFolderTakes) {
    TempDir dir;
    const std::vector<uint8_t> bytes = {1, 2, 3, 4};
    for (size_t length : {size_t(NAME_MAX) - 18, size_t(NAME_MAX) - 1, size_t(NAME_MAX)}) {
        const std::string name = std::string(length - 5, 'n') + ".MDAT";
        for (int round = 0; round < 2; ++round) // a new file, then replacing it
            EXPECT_EQ(WriteFileAtomically(dir.File(name), bytes.data(), bytes.size()), "")
                << length;
        EXPECT_EQ(Contents(dir.File(name)), bytes) << length;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{name}) << length;
        ::unlink(dir.File(name).c_str());
    }
}
