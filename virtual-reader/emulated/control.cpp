#include "control.h"

#include "state_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace emu {
namespace {

bool Number(const std::string &text, int &value) {
    if (text.empty()) return false;
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end || v < 0 || v > 1000000) return false;
    value = int(v);
    return true;
}

} // namespace

std::string Execute(Bus &bus, const std::string &request) {
    std::istringstream in(request);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    int reader = 0;
    if (!words.empty() && words[0].size() > 1 && words[0][0] == '@') {
        if (!Number(words[0].substr(1), reader) || reader >= bus.Count())
            return "error no reader " + words[0].substr(1);
        words.erase(words.begin());
    }
    if (words.empty()) return "error empty request";
    const std::string &what = words[0];
    const size_t args = words.size() - 1;
    int number = 0;
    std::vector<uint8_t> bytes;

    if (what == "plug" && !args) {
        bus.Plug(reader);
        return "ok";
    }
    if (what == "unplug" && !args) {
        bus.Unplug(reader);
        return "ok";
    }
    if (what == "reset" && !args) {
        bus.Plug(reader);
        bus.With(reader, [](HidrawReader &r) { r.Reset(); });
        return "ok";
    }
    if (what == "unplug-after-reports" && args == 1 && Number(words[1], number) && number > 0) {
        bus.With(reader, [number](HidrawReader &r) { r.UnplugAfterReports(number); });
        return "ok";
    }
    if (what == "unplug-after-message" && !args) {
        bus.With(reader, [](HidrawReader &r) { r.UnplugAfterMessage(true); });
        return "ok";
    }
    if (what == "silent" && args == 1 && (words[1] == "0" || words[1] == "1")) {
        const bool on = words[1] == "1";
        bus.With(reader, [on](HidrawReader &r) { r.SetSilent(on); });
        return "ok";
    }
    if (what == "config" && !args) {
        return "ok " + bus.With(reader, [](HidrawReader &r) {
            return vr::Hex(r.reader.config.data(), r.reader.config.size());
        });
    }
    if (what == "config" && args == 1 && vr::FromHex(words[1], bytes)) {
        bus.With(reader, [&bytes](HidrawReader &r) { r.reader.config = bytes; });
        return "ok";
    }
    if (what == "version" && args >= 1) {
        const std::string text = request.substr(request.find("version") + 8);
        bus.With(reader, [&text](HidrawReader &r) { r.reader.version = text; });
        return "ok";
    }
    if (what == "card-block" && args >= 1 && Number(words[1], number) && number < 64) {
        if (args == 1)
            return "ok " + bus.With(reader, [number](HidrawReader &r) {
                return vr::Hex(r.reader.card.blocks[number], 16);
            });
        if (args == 2 && vr::FromHex(words[2], bytes) && bytes.size() == 16) {
            bus.With(reader, [&](HidrawReader &r) {
                std::memcpy(r.reader.card.blocks[number], bytes.data(), 16);
            });
            return "ok";
        }
    }
    if (what == "state" && !args) {
        return "ok\n" + bus.With(reader, [](HidrawReader &r) {
            std::string text = vr::StateText(r.reader);
            if (!text.empty() && text.back() == '\n') text.pop_back();
            return text;
        });
    }
    if (what == "messages" && !args) {
        return "ok" + bus.With(reader, [](HidrawReader &r) {
            std::string text;
            for (const auto &m : r.messages)
                text += "\n" + vr::Hex(m.data(), m.size());
            return text;
        });
    }
    if (what == "clear-log" && !args) {
        bus.With(reader, [](HidrawReader &r) { r.messages.clear(); });
        return "ok";
    }
    if (what == "files" && !args)
        return "ok " +
               std::to_string(bus.With(reader, [](HidrawReader &r) { return r.OpenFiles(); }));
    return "error unknown request: " + request;
}

ControlServer::ControlServer(Bus &bus, const std::string &path) : bus_(bus), path_(path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        std::fprintf(stderr, "emulated-reader: control path too long: %s\n", path.c_str());
        std::exit(125);
    }
    std::strcpy(address.sun_path, path.c_str());
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0 || ::pipe2(stopPipe_, O_CLOEXEC) != 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0) {
        std::fprintf(stderr, "emulated-reader: control socket %s: %s\n", path.c_str(),
                     std::strerror(errno));
        std::exit(125);
    }
    thread_ = std::thread(&ControlServer::Run, this);
}

ControlServer::~ControlServer() {
    if (::write(stopPipe_[1], "x", 1) != 1) std::fprintf(stderr, "emulated-reader: stop\n");
    thread_.join();
    ::close(listener_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
    ::unlink(path_.c_str());
}

void ControlServer::Run() {
    for (;;) {
        pollfd p[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        if (!(p[0].revents & POLLIN)) continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        Serve(connection);
        ::close(connection);
    }
}

// One connection, its requests one after another until it closes.
void ControlServer::Serve(int connection) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        pollfd p[2] = {{connection, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR) return;
        if (p[1].revents) return;
        const ssize_t n = ::read(connection, buffer, sizeof buffer);
        if (n <= 0) return;
        pending.append(buffer, size_t(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string request = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!request.empty() && request.back() == '\r') request.pop_back();
            const std::string answer = Execute(bus_, request) + "\n\n";
            for (size_t at = 0; at < answer.size();) {
                const ssize_t w = ::write(connection, answer.data() + at, answer.size() - at);
                if (w <= 0) return;
                at += size_t(w);
            }
        }
    }
}

} // namespace emu
