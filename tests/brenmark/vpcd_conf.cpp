#include "vpcd_conf.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace brenmark_lab {
namespace {

std::string Trim(const std::string &s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool IsVpcdDriver(const std::string &path) {
    const std::string name = std::filesystem::path(path).filename().string();
    return name.rfind("libifdvpcd", 0) == 0;
}

// "/dev/null:<port>" gives the port; 0 for anything else.
std::uint16_t LocalPort(const std::string &device) {
    const auto colon = device.rfind(':');
    if (colon == std::string::npos || device.substr(0, colon) != "/dev/null") return 0;
    const std::string number = device.substr(colon + 1);
    if (number.empty()) return 0;
    char *end = nullptr;
    errno = 0;
    const long port = std::strtol(number.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || port <= 0 || port >= 65535) return 0;
    return static_cast<std::uint16_t>(port);
}

} // namespace

std::vector<VpcdReader> ParseVpcdReaders(const std::string &conf) {
    std::vector<VpcdReader> readers;
    std::string name, device, driver;
    // An entry ends where the next one begins (a second FRIENDLYNAME) or at the end.
    const auto finish = [&] {
        if (!driver.empty() && IsVpcdDriver(driver)) {
            if (const std::uint16_t port = LocalPort(device); port != 0)
                readers.push_back({name, port, driver});
        }
        name.clear();
        device.clear();
        driver.clear();
    };
    std::istringstream in(conf);
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        const auto gap = line.find_first_of(" \t");
        const std::string key = line.substr(0, gap);
        std::string value = gap == std::string::npos ? std::string() : Trim(line.substr(gap));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (key == "FRIENDLYNAME") {
            if (!name.empty() || !device.empty() || !driver.empty()) finish();
            name = value;
        } else if (key == "DEVICENAME") {
            device = value;
        } else if (key == "LIBPATH") {
            driver = value;
        }
    }
    finish();
    return readers;
}

std::vector<VpcdReader> SystemVpcdReaders() {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator("/etc/reader.conf.d", ec))
        if (entry.is_regular_file(ec)) files.push_back(entry.path());
    files.push_back("/etc/reader.conf");
    std::vector<VpcdReader> found;
    for (const auto &file : files) {
        std::ifstream in(file);
        if (!in) continue;
        std::ostringstream text;
        text << in.rdbuf();
        for (auto &reader : ParseVpcdReaders(text.str()))
            if (access(reader.driver.c_str(), R_OK) == 0) found.push_back(std::move(reader));
    }
    return found;
}

} // namespace brenmark_lab
