#pragma once
// Runs cardtool-cli as a child process against the virtual reader (first on the library path,
// set by the test's environment) and steers that reader through its environment variables:
// the reader's state goes in and out through a state file, what it was sent through a log.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace clitest {

using Bytes = std::vector<uint8_t>;

struct Result {
    int status = -1;
    std::string out, err;
};

inline std::string ReadText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline Bytes ReadBytes(const std::string &path) {
    const std::string t = ReadText(path);
    return Bytes(t.begin(), t.end());
}

inline void WriteBytes(const std::string &path, const Bytes &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::string Hex(const Bytes &b) {
    std::string s;
    char t[3];
    for (uint8_t x : b) {
        std::snprintf(t, sizeof t, "%02X", x);
        s += t;
    }
    return s;
}

inline Bytes FromHex(const std::string &h) {
    Bytes b;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        b.push_back(uint8_t(std::stoi(h.substr(i, 2), nullptr, 16)));
    return b;
}

// Runs the program in a folder of its own, with the reader's state and message log in it.
class CliRunner {
  public:
    CliRunner() {
        std::string pattern = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                              "/cli-test-XXXXXX";
        Dir = mkdtemp(pattern.data());
        State = Dir + "/reader.state";
        Log = Dir + "/messages.log";
    }
    ~CliRunner() { std::system(("rm -rf '" + Dir + "'").c_str()); }
    CliRunner(const CliRunner &) = delete;
    CliRunner &operator=(const CliRunner &) = delete;

    std::string File(const std::string &name) const { return Dir + "/" + name; }

    // Runs the program with these arguments; the reader keeps its state between runs.
    Result Exec(const std::vector<std::string> &args,
                const std::map<std::string, std::string> &env = {}) {
        std::vector<std::string> envs;
        for (char **e = environ; *e; ++e)
            if (std::strncmp(*e, "VR_", 3) != 0) envs.push_back(*e);
        envs.push_back("VR_STATE_FILE=" + State);
        envs.push_back("VR_MESSAGE_LOG=" + Log);
        for (const auto &[k, v] : env)
            envs.push_back(k + "=" + v);
        std::vector<char *> envp;
        for (std::string &e : envs)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> argv0{CARDTOOL_CLI};
        argv0.insert(argv0.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : argv0)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        const std::string out = File("stdout"), err = File("stderr");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t pid = 0;
        Result r;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(spawned, 0) << CARDTOOL_CLI;
        if (spawned != 0) return r;
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        EXPECT_TRUE(WIFEXITED(status)) << "the program did not end by itself: " << status;
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadText(out);
        r.err = ReadText(err);
        return r;
    }

    // Reader k's files on a bench of several (VR_DEVICES): the paths with ".k" appended.
    std::string StateOf(int reader) const {
        return reader == 0 ? State : State + "." + std::to_string(reader);
    }
    std::string LogOf(int reader) const {
        return reader == 0 ? Log : Log + "." + std::to_string(reader);
    }

    // The reader's state after the last run, by item ("config", "mode", "block 5", ...).
    std::map<std::string, std::string> ReaderState(int reader = 0) const {
        std::map<std::string, std::string> items;
        std::istringstream in(ReadText(StateOf(reader)));
        for (std::string line; std::getline(in, line);) {
            const size_t last = line.rfind(' ');
            if (last != std::string::npos) items[line.substr(0, last)] = line.substr(last + 1);
        }
        return items;
    }
    Bytes ReaderBlock(int reader = 0) const { return FromHex(ReaderState(reader)["config"]); }
    Bytes CardBlock(int block) const {
        return FromHex(ReaderState()["block " + std::to_string(block)]);
    }

    // Puts an item into the state the next run starts from.
    void SetState(const std::string &item, const std::string &value, int reader = 0) {
        auto items = ReaderState(reader);
        items[item] = value;
        std::string text;
        for (const auto &[k, v] : items)
            text += k + " " + v + "\n";
        std::ofstream(StateOf(reader), std::ios::trunc) << text;
    }
    void SetReaderBlock(const Bytes &block, int reader = 0) {
        SetState("config", Hex(block), reader);
    }
    void SetCardBlock(int block, const Bytes &bytes) {
        SetState("block " + std::to_string(block), Hex(bytes));
    }

    // Every message the reader was sent since the log was last cleared, command byte first.
    std::vector<Bytes> Messages(int reader = 0) const {
        std::vector<Bytes> all;
        std::istringstream in(ReadText(LogOf(reader)));
        for (std::string line; std::getline(in, line);)
            all.push_back(FromHex(line));
        return all;
    }
    void ClearMessages(int readers = 1) {
        for (int k = 0; k < readers; ++k)
            std::remove(LogOf(k).c_str());
    }

    std::string Dir, State, Log;
};

class CliTest : public ::testing::Test, public CliRunner {};

} // namespace clitest
