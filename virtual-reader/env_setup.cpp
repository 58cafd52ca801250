// Steering the virtual reader of another process: a test that runs a program as a child
// cannot call the control API there, so the child's reader reads a few environment variables
// when it is loaded and, if asked to, leaves its state and what it was sent in files when the
// process ends. Nothing here acts unless one of the variables is set.
#include "reader.h"
#include "readers.h"
#include "state_text.h"
#include "virtual_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The reader whose settings are being read: a variable NAME_k (VR_SILENT_2) holds reader k's
// own value, which goes before the plain NAME that every reader shares.
int gReader = 0;

const char *Env(const char *name) {
    const std::string own = std::string(name) + "_" + std::to_string(gReader);
    const char *v = std::getenv(own.c_str());
    if (!v || !*v) v = std::getenv(name);
    return v && *v ? v : nullptr;
}

bool EnvFlag(const char *name, bool &on) {
    const char *v = Env(name);
    if (!v) return false;
    on = std::strcmp(v, "0") != 0;
    return true;
}

// A file of reader k: the path itself for reader 0, "path.k" for the others.
std::string FileOf(const char *path, int reader) {
    return reader == 0 ? std::string(path) : std::string(path) + "." + std::to_string(reader);
}

int ReaderCountFromEnvironment() {
    const char *v = std::getenv("VR_DEVICES");
    if (!v || !*v) return 1;
    return std::clamp(std::atoi(v), 1, vr::kMaxReaders);
}

std::vector<uint8_t> ReadFile(const char *path, bool &ok) {
    std::vector<uint8_t> bytes;
    ok = false;
    FILE *f = std::fopen(path, "rb");
    if (!f) return bytes;
    uint8_t buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    ok = !std::ferror(f);
    std::fclose(f);
    return bytes;
}

void LoadState(vr::ReaderState &s, void *context) {
    vr::LoadStateText(s, *static_cast<const std::string *>(context));
}

void SaveState(vr::ReaderState &s, void *context) {
    *static_cast<std::string *>(context) = vr::StateText(s);
}

void WriteText(const char *path, const std::string &text, const char *mode) {
    if (FILE *f = std::fopen(path, mode)) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    } else {
        std::fprintf(stderr, "virtual reader: cannot write %s\n", path);
    }
}

void SetUpReader() {
    bool ok = false;
    if (const char *path = Env("VR_STATE_FILE")) {
        std::vector<uint8_t> bytes = ReadFile(FileOf(path, gReader).c_str(), ok);
        if (ok) {
            std::string text(bytes.begin(), bytes.end());
            vr::WithReader(LoadState, &text);
        }
    }
    if (const char *path = Env("VR_CONFIG_BLOCK_FILE")) {
        std::vector<uint8_t> block = ReadFile(path, ok);
        if (ok)
            vr_set_config_block(block.data(), int(block.size()));
        else
            std::fprintf(stderr, "virtual reader: cannot read %s\n", path);
    }
    if (const char *text = Env("VR_VERSION_TEXT")) vr_set_version_text(text);
    bool on = false;
    if (EnvFlag("VR_PRESENT", on)) vr_set_present(on);
    if (EnvFlag("VR_SILENT", on)) vr_set_silent(on);
    if (EnvFlag("VR_FAIL_WHEN_EMPTY", on)) vr_set_fail_when_empty(on);
    if (EnvFlag("VR_ACCESS_CONDITIONS", on)) vr_set_access_conditions(on);
    if (const char *v = Env("VR_REPORT_DELAY_US")) vr_set_report_delay_us(std::atoi(v));
    // "7:0,20000,0,...": the seed, then per million for faults 1, 2, ... (vr_set_fault_mix).
    if (const char *v = Env("VR_FAULT_MIX")) {
        int perMillion[VR_FAULT_KINDS] = {};
        const char *at = std::strchr(v, ':');
        for (int k = 1; at && k < VR_FAULT_KINDS; ++k) {
            perMillion[k] = std::atoi(at + 1);
            at = std::strchr(at + 1, ',');
        }
        vr_set_fault_mix(unsigned(std::strtoul(v, nullptr, 10)), perMillion);
    }
    // "A9:41,AA:31": command byte and the status it is answered with, both in hex.
    if (const char *v = Env("VR_COMMAND_STATUS")) {
        std::string list = v;
        for (size_t at = 0; at < list.size();) {
            size_t end = list.find(',', at);
            if (end == std::string::npos) end = list.size();
            unsigned command = 0, status = 0;
            if (std::sscanf(list.substr(at, end - at).c_str(), "%x:%x", &command, &status) == 2)
                vr_set_command_status(int(command), int(status));
            at = end + 1;
        }
    }
}

__attribute__((constructor)) void SetUpFromEnvironment() {
    const int count = ReaderCountFromEnvironment();
    if (count > 1) vr_set_reader_count(count);
    for (gReader = 0; gReader < count; ++gReader) {
        vr_select_reader(gReader);
        SetUpReader();
    }
    gReader = 0;
    vr_select_reader(0);
}

// A reader's state goes back to its file only when this process opened it: a process that
// merely listed the readers of a bench must not undo what others wrote meanwhile.
void SaveReader() {
    if (!vr::ReaderOpenedHere(gReader)) return;
    if (const char *path = Env("VR_STATE_FILE")) {
        std::string text;
        vr::WithReader(SaveState, &text);
        WriteText(FileOf(path, gReader).c_str(), text, "w");
    }
    // Every message the reader was sent, one a line as hex (command byte first), appended.
    if (const char *path = Env("VR_MESSAGE_LOG")) {
        std::string text;
        for (int i = 0; i < vr_message_count(); ++i) {
            std::vector<uint8_t> m(4096);
            const int n = vr_message(i, m.data(), int(m.size()));
            if (n < 0) continue;
            text += vr::Hex(m.data(), std::min(size_t(n), m.size())) + "\n";
        }
        WriteText(FileOf(path, gReader).c_str(), text, "a");
    }
}

__attribute__((destructor)) void SaveToFiles() {
    const int count = vr_reader_count();
    for (gReader = 0; gReader < count; ++gReader) {
        vr_select_reader(gReader);
        SaveReader();
    }
}

} // namespace
