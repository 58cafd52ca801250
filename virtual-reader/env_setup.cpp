// Steering the virtual reader of another process: a test that runs a program as a child
// cannot call the control API there, so the child's reader reads a few environment variables
// when it is loaded and, if asked to, leaves its state and what it was sent in files when the
// process ends. Nothing here acts unless one of the variables is set.
#include "reader.h"
#include "readers.h"
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

std::string Hex(const uint8_t *p, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Hex digits to bytes; false on anything else or an odd count.
bool FromHex(const std::string &text, std::vector<uint8_t> &bytes) {
    bytes.clear();
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = Nibble(text[i]), lo = Nibble(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(uint8_t(hi << 4 | lo));
    }
    return true;
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

// The state file, one item a line: "config HEX", "mode N", "ic_present N", "ic_powered N",
// "antenna N", "card_present N", "uid HEX", "block N HEX" (64 of them, keys included). A
// card always starts unselected.
void LoadState(vr::ReaderState &s, void *context) {
    const std::string &text = *static_cast<const std::string *>(context);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        char key[32], value[2100];
        int number = 0;
        std::vector<uint8_t> bytes;
        if (std::sscanf(line.c_str(), "block %d %2099s", &number, value) == 2) {
            if (number >= 0 && number < 64 && FromHex(value, bytes) && bytes.size() == 16)
                std::memcpy(s.card.blocks[number], bytes.data(), 16);
            continue;
        }
        if (std::sscanf(line.c_str(), "%31s %2099s", key, value) != 2) continue;
        const std::string k = key;
        if (k == "config" && FromHex(value, bytes))
            s.config = bytes;
        else if (k == "uid" && FromHex(value, bytes) && bytes.size() == 4)
            std::memcpy(s.card.uid, bytes.data(), 4);
        else if (k == "mode")
            s.mode = std::atoi(value) ? 1 : 0;
        else if (k == "ic_present")
            s.icPresent = std::atoi(value) != 0;
        else if (k == "ic_powered")
            s.icPowered = std::atoi(value) != 0;
        else if (k == "antenna")
            s.antenna = std::atoi(value) != 0;
        else if (k == "card_present")
            s.card.present = std::atoi(value) != 0;
    }
    s.card.state = vr::MifareCard::Idle;
    s.card.authSector = -1;
}

void SaveState(vr::ReaderState &s, void *context) {
    std::string &text = *static_cast<std::string *>(context);
    text += "config " + Hex(s.config.data(), s.config.size()) + "\n";
    text += "mode " + std::to_string(s.mode) + "\n";
    text += "ic_present " + std::to_string(int(s.icPresent)) + "\n";
    text += "ic_powered " + std::to_string(int(s.icPowered)) + "\n";
    text += "antenna " + std::to_string(int(s.antenna)) + "\n";
    text += "card_present " + std::to_string(int(s.card.present)) + "\n";
    text += "uid " + Hex(s.card.uid, 4) + "\n";
    for (int b = 0; b < 64; ++b)
        text += "block " + std::to_string(b) + " " + Hex(s.card.blocks[b], 16) + "\n";
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
            text += Hex(m.data(), std::min(size_t(n), m.size())) + "\n";
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
