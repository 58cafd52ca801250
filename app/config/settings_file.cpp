#include "config/settings_file.h"

#include "config/codec.h"
#include "keycodes/key_names.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::function<int(TFileStep)> gFaultHook;

// The error number injected for a step, or 0.
int Fault(TFileStep step) {
    return gFaultHook ? gFaultHook(step) : 0;
}

void PutLe32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A mode of a short file: the bytes it has, low first; the missing ones zero.
int32_t ModeAt(const uint8_t *data, size_t size, int layer) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) {
        const size_t at = size_t(layer) * 4 + i;
        if (at < size) v |= uint32_t(data[at]) << (8 * i);
    }
    return static_cast<int32_t>(v);
}

bool KnownMode(int32_t mode) {
    return mode == kModeEmpty || mode == kModeCode || mode == kModeAscii ||
           mode == kModeLayerMarker;
}

std::string Reason(int error) {
    return std::strerror(error);
}

std::string Failed(const char *what, const std::string &path, int error) {
    return std::string(what) + " \"" + path + "\": " + Reason(error);
}

// Runs a system call step: the injected fault, or the call itself, retried when a signal
// interrupts it. Returns the call's result; errno is set when it is negative.
template <typename Call> auto Step(TFileStep step, Call call) -> decltype(call()) {
    if (const int error = Fault(step)) {
        errno = error;
        return -1;
    }
    decltype(call()) r;
    do
        r = call();
    while (r < 0 && errno == EINTR);
    return r;
}

// Closes once whatever happens (a close interrupted by a signal has still released the
// descriptor), then reports an injected fault or the close's own.
int Close(int fd) {
    const int r = ::close(fd);
    if (const int error = Fault(TFileStep::Close)) {
        errno = error;
        return -1;
    }
    return r;
}

std::string FolderOf(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A name for the new file, beside the target and hidden, unlikely to be taken. It must fit
// the folder's longest name as the target does, so a long target name is cut in it.
std::string TemporaryName(const std::string &path) {
    static std::mt19937_64 random{std::random_device{}()};
    const std::string folder = FolderOf(path);
    std::string base = path.substr(folder.size());
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, ".%012llx",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    const size_t added = 1 + std::strlen(suffix) + 4; // ".", suffix, ".tmp"
    long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = NAME_MAX;
    if (base.size() + added > size_t(limit)) {
        size_t keep = size_t(limit) > added ? size_t(limit) - added : 0;
        // Not inside a UTF-8 sequence, so that the name stays readable.
        while (keep > 0 && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80)
            --keep;
        base.resize(keep);
    }
    return folder + "." + base + suffix + ".tmp";
}

// The name that is really written: symbolic links are followed, so that a link stays a link
// and the file it names is replaced, or created when it does not exist yet.
bool FollowLinks(const std::string &path, std::string &target) {
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::vector<char> text(PATH_MAX + 1);
        const ssize_t n = ::readlink(target.c_str(), text.data(), text.size() - 1);
        if (n < 0) return false;
        const std::string link(text.data(), size_t(n));
        target = !link.empty() && link.front() == '/' ? link : FolderOf(target) + link;
    }
    errno = ELOOP;
    return false;
}

const char *KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "a special file";
}

// Why an existing target must not be replaced by a new file, or "". Renaming over it would
// destroy a pipe or a device, part a file from its other hard links, give another user's
// file to whoever saves, or override a write protection; none of that is what a save means.
std::string RefusedTarget(const std::string &path, const std::string &target,
                          const struct stat &st) {
    const std::string head =
        "Cannot save \"" + path + "\": " + (target == path ? "it" : "\"" + target + "\"");
    if (!S_ISREG(st.st_mode)) return head + " is " + KindOf(st.st_mode) + ", not a regular file";
    if (st.st_nlink > 1)
        return head + " has " + std::to_string(st.st_nlink) +
               " hard links, which saving would part; save under another name";
    if (st.st_uid != ::geteuid())
        return head + " belongs to another user (uid " + std::to_string(st.st_uid) +
               "); save under another name";
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return Failed("Cannot save", path, errno);
    return {};
}

// Makes the rename itself durable. A folder that cannot be opened for reading or a file
// system that cannot sync folders leaves nothing more to do.
int SyncFolder(const std::string &target) {
    const std::string folder = FolderOf(target);
    const int r = Step(TFileStep::SyncFolder, [&] {
        const int fd =
            ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno == EACCES ? 0 : -1;
        const int synced = ::fsync(fd);
        const int error = errno;
        ::close(fd);
        errno = error;
        return synced < 0 && (error == EINVAL || error == ENOTSUP) ? 0 : synced;
    });
    return r < 0 ? errno : 0;
}

} // namespace

void SetFileFaultHook(std::function<int(TFileStep)> hook) {
    gFaultHook = std::move(hook);
}

TSettingsImage SettingsImageOf(const TMsrSettings &s) {
    TSettingsImage image{};
    for (int layer = 0; layer < kLayerCount; ++layer)
        PutLe32(&image[size_t(layer) * 4], static_cast<uint32_t>(s.LayerModes[layer]));
    std::memcpy(&image[kSettingsModesBytes], s.LayerStore, sizeof s.LayerStore);
    return image;
}

void PutFileLanguage(TMsrSettings &s, int languageChoice) {
    // A loaded language block reaches past the part the window clears; none of it belongs
    // in a file.
    std::memset(s.LayerStore[kLanguageLayer], 0, sizeof s.LayerStore[kLanguageLayer]);
    PutLe32(s.LayerStore[kLanguageLayer], static_cast<uint32_t>(languageChoice));
}

std::string CheckSettingsImage(const uint8_t *data, size_t size) {
    if (size == 0 || data == nullptr) return "the file is empty";
    if (size > kSettingsFileBytes)
        return "the file is longer than " + std::to_string(kSettingsFileBytes) + " bytes";
    for (int layer = 0; layer < kLayerCount; ++layer) {
        const int32_t mode = ModeAt(data, size, layer);
        if (!KnownMode(mode)) {
            char text[96];
            std::snprintf(text, sizeof text, "layer %d has the unknown mode 0x%08X", layer,
                          static_cast<uint32_t>(mode));
            return text;
        }
    }
    return {};
}

std::string RecordFromSettingsImage(const uint8_t *data, size_t size, TMsrSettings &s) {
    std::string refused = CheckSettingsImage(data, size);
    if (!refused.empty()) return refused;
    ClearLayers(s);
    for (int layer = 0; layer < kLayerCount; ++layer)
        s.LayerModes[layer] = ModeAt(data, size, layer);
    if (size > kSettingsModesBytes)
        std::memcpy(s.LayerStore, data + kSettingsModesBytes, size - kSettingsModesBytes);
    NormaliseTypedLayers(s.LayerStore, s.LayerModes);
    BuildKeyNames(s.LayerModes, s.LayerStore, s.NameCache);
    return {};
}

std::string ReadSettingsFile(const std::string &path, std::vector<uint8_t> &bytes) {
    bytes.clear();
    // Not blocking: a named pipe chosen by mistake must not hang the window.
    const int fd = Step(TFileStep::Open,
                        [&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0) return Failed("Cannot open", path, errno);
    std::string error;
    struct stat st;
    if (fstat(fd, &st) != 0)
        error = Failed("Cannot read", path, errno);
    else if (!S_ISREG(st.st_mode))
        error = "Cannot read \"" + path + "\": not a regular file";
    bytes.resize(kSettingsFileBytes + 1);
    size_t got = 0;
    while (error.empty() && got < bytes.size()) {
        const ssize_t n = Step(TFileStep::Read,
                               [&] { return ::read(fd, bytes.data() + got, bytes.size() - got); });
        if (n < 0)
            error = Failed("Cannot read", path, errno);
        else if (n == 0)
            break;
        else
            got += size_t(n);
    }
    bytes.resize(got);
    if (Close(fd) != 0 && error.empty()) error = Failed("Cannot read", path, errno);
    if (!error.empty()) bytes.clear();
    return error;
}

std::string WriteFileAtomically(const std::string &path, const uint8_t *data, size_t size) {
    std::string target;
    if (!FollowLinks(path, target)) return Failed("Cannot save", path, errno);
    struct stat old;
    const bool replacing = ::lstat(target.c_str(), &old) == 0;
    if (replacing) {
        std::string refused = RefusedTarget(path, target, old);
        if (!refused.empty()) return refused;
    }

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = TemporaryName(target);
        fd = Step(TFileStep::Open, [&] {
            return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        });
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Failed("Cannot save", path, errno);

    std::string error;
    if (replacing && fchmod(fd, old.st_mode & 07777) != 0)
        error = Failed("Cannot save", path, errno);
    for (size_t done = 0; error.empty() && done < size;) {
        const ssize_t n =
            Step(TFileStep::Write, [&] { return ::write(fd, data + done, size - done); });
        if (n < 0)
            error = Failed("Cannot save", path, errno);
        else if (n == 0)
            error = Failed("Cannot save", path, EIO);
        else
            done += size_t(n);
    }
    if (error.empty() && Step(TFileStep::Sync, [&] { return ::fsync(fd); }) != 0)
        error = Failed("Cannot save", path, errno);
    if (Close(fd) != 0 && error.empty()) error = Failed("Cannot save", path, errno);
    if (error.empty() &&
        Step(TFileStep::Rename, [&] { return ::rename(temporary.c_str(), target.c_str()); }) != 0)
        error = Failed("Cannot save", path, errno);
    if (!error.empty()) {
        ::unlink(temporary.c_str());
        return error;
    }
    if (const int e = SyncFolder(target))
        return "Saved \"" + path +
               "\", but its folder could not be synced to the disk: " + Reason(e);
    return {};
}
