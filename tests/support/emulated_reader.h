#pragma once
// The control socket of the emulated readers (virtual-reader/emulated/control.h), for tests
// that run under emulated-reader: the program's own hidapi talks to the readers' hidraw
// nodes, the test steers and looks at the readers here.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace emulated {

using Bytes = std::vector<uint8_t>;

inline const char *ControlPath() {
    return std::getenv("EMULATED_READER_CONTROL");
}

// Sends one request; the answer's lines, the first "ok..." or "error ...". Empty when there
// is no control socket to talk to.
inline std::vector<std::string> Ask(const std::string &request) {
    std::vector<std::string> lines;
    const char *path = ControlPath();
    if (!path) return lines;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path);
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return lines;
    std::string answer;
    if (::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
        const std::string line = request + "\n";
        if (::write(s, line.data(), line.size()) == ssize_t(line.size())) {
            char buffer[4096];
            while (answer.size() < 2 || answer.compare(answer.size() - 2, 2, "\n\n") != 0) {
                const ssize_t n = ::read(s, buffer, sizeof buffer);
                if (n <= 0) break;
                answer.append(buffer, size_t(n));
            }
        }
    }
    ::close(s);
    for (size_t at = 0, end; (end = answer.find('\n', at)) != std::string::npos; at = end + 1)
        if (end > at) lines.push_back(answer.substr(at, end - at));
    return lines;
}

// A request that answers "ok" and nothing else.
inline void Do(const std::string &request) {
    const auto lines = Ask(request);
    EXPECT_TRUE(lines.size() == 1 && lines[0] == "ok")
        << request << ": " << (lines.empty() ? "no answer" : lines[0]);
}

// The value of a request that answers "ok VALUE".
inline std::string Value(const std::string &request) {
    const auto lines = Ask(request);
    if (lines.size() == 1 && lines[0].rfind("ok ", 0) == 0) return lines[0].substr(3);
    ADD_FAILURE() << request << ": " << (lines.empty() ? "no answer" : lines[0]);
    return {};
}

inline std::string Hex(const Bytes &bytes) {
    std::string s;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        s += two;
    }
    return s;
}

inline Bytes FromHex(const std::string &hex) {
    Bytes b;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        b.push_back(uint8_t(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
    return b;
}

// Requests go to the first reader unless another one of the bus is named.
inline std::string On(int reader, const std::string &request) {
    return reader == 0 ? request : "@" + std::to_string(reader) + " " + request;
}

inline Bytes ConfigBlock(int reader = 0) {
    return FromHex(Value(On(reader, "config")));
}
inline void SetConfigBlock(const Bytes &block, int reader = 0) {
    Do(On(reader, "config " + Hex(block)));
}
inline void SetCardBlock(int block, const Bytes &data) {
    Do("card-block " + std::to_string(block) + " " + Hex(data));
}
// Every message the reader took, command byte first.
inline std::vector<Bytes> Messages(int reader = 0) {
    std::vector<Bytes> all;
    const auto lines = Ask(On(reader, "messages"));
    EXPECT_FALSE(lines.empty() || lines[0] != "ok");
    for (size_t i = 1; i < lines.size(); ++i)
        all.push_back(FromHex(lines[i]));
    return all;
}
// Files open on the reader's node.
inline int OpenFiles() {
    return std::atoi(Value("files").c_str());
}

} // namespace emulated
