// The serial receive loop: against scripted entry points (the order of its calls, the text
// of each byte, a failed open, stopping, pacing) and against the serial library over a
// pseudo-terminal, with the loop on its own thread as the test page runs it.
#include "link/serial_receive.h"
#include "serivo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// One scripted answer of COM_RECV: a byte, or "nothing" (taking `takes` of scripted time).
struct Recv {
    int result;
    uint8_t byte = 0;
    std::chrono::milliseconds takes{0};
};

struct Script {
    std::vector<std::string> log;
    int initResult = 0;
    std::vector<Recv> recv;
    size_t next = 0;
    std::atomic<uint8_t> stop{0};
    bool dirtyBuffer = false; // a request found the buffer not zero-filled
    int badCount = 0;         // a request asked for more or fewer than one byte
    std::chrono::steady_clock::time_point clock{};
    std::vector<std::chrono::milliseconds> sleeps;
};
Script *gScript = nullptr;

extern "C" int ScriptInit(int port) {
    gScript->log.push_back("init " + std::to_string(port));
    return gScript->initResult;
}
extern "C" int ScriptClose() {
    gScript->log.push_back("close");
    return 0;
}
extern "C" int ScriptFlagT() {
    gScript->log.push_back("flagT");
    return 0;
}
extern "C" int ScriptFlagF() {
    gScript->log.push_back("flagF");
    return 0;
}
extern "C" int ScriptRecv(unsigned char *buffer, int count) {
    Script &s = *gScript;
    if (buffer[0] != 0 || buffer[1] != 0) s.dirtyBuffer = true;
    if (count != 1) ++s.badCount;
    s.log.push_back("recv");
    // When the script is done, the page stops the loop while this request runs.
    if (s.next >= s.recv.size()) {
        s.stop.store(1);
        return 1;
    }
    const Recv r = s.recv[s.next++];
    s.clock += r.takes;
    if (r.result == 0) buffer[0] = r.byte;
    buffer[1] = 0xEE; // the library may use the whole buffer: the loop zero-fills it again
    return r.result;
}

class Receiver : public TSerialReceiver {
  public:
    void Received(std::string_view text) override { texts.emplace_back(text); }
    void OpenFailed(int result) override {
        gScript->log.push_back("open failed " + std::to_string(result));
    }
    void Receiving() override { gScript->log.push_back("receiving"); }
    std::vector<std::string> texts;
};

class SerialReceive : public ::testing::Test {
  protected:
    void SetUp() override {
        gScript = &script;
        link.COM_Init = ScriptInit;
        link.COM_Close = ScriptClose;
        link.COM_RECV = ScriptRecv;
        link.Set_flagT = ScriptFlagT;
        link.Set_flagF = ScriptFlagF;
        link.SerialBound = 1;
        link.SerialPort = 7;
        pacing.Now = [this] { return script.clock; };
        pacing.Sleep = [this](std::chrono::milliseconds d) { script.sleeps.push_back(d); };
    }
    void TearDown() override { gScript = nullptr; }

    ReceiveEnd Run() {
        return RunSerialReceive(SerialEntryPoints(link), script.stop, receiver, pacing);
    }
    static Recv Byte(uint8_t b) { return {0, b}; }
    void Bytes(const std::string &bytes) {
        for (char c : bytes)
            script.recv.push_back(Byte(uint8_t(c)));
    }

    Script script;
    TReaderLink link;
    TReceivePacing pacing;
    Receiver receiver;
};

using Texts = std::vector<std::string>;

TEST_F(SerialReceive, OpensReceivesEachByteAndClosesOnceWhenStopped) {
    Bytes("1234\r");
    script.recv.push_back({1});
    Bytes("Z");
    EXPECT_EQ(Run(), ReceiveEnd::Stopped);
    EXPECT_EQ(receiver.texts, (Texts{"1", "2", "3", "4", "\r\n", "Z"}));
    // init, Set_flagT once, one request per scripted answer plus the one that saw the stop.
    std::vector<std::string> expected{"init 7", "flagT", "receiving"};
    for (int i = 0; i < 8; ++i)
        expected.push_back("recv");
    expected.push_back("close");
    EXPECT_EQ(script.log, expected);
    EXPECT_FALSE(script.dirtyBuffer);
    EXPECT_EQ(script.badCount, 0);
}

TEST_F(SerialReceive, ZeroBytesVanishAndALineFeedRightAfterACarriageReturnIsDropped) {
    // CR LF is one line break; a LF of its own, or after anything else, stays.
    Bytes(std::string("a\r\nb\n\r\r\nc\r", 11));
    Bytes(std::string("\0\n", 2)); // a zero byte comes between: the LF is not "directly after"
    Bytes("\xE9");
    Run();
    EXPECT_EQ(receiver.texts,
              (Texts{"a", "\r\n", "b", "\n", "\r\n", "\r\n", "c", "\r\n", "\n", "\xE9"}));
}

TEST_F(SerialReceive, StoppedBeforeTheFirstRequestStillOpensAndClosesOnce) {
    script.stop.store(1);
    EXPECT_EQ(Run(), ReceiveEnd::Stopped);
    EXPECT_EQ(script.log, (std::vector<std::string>{"init 7", "flagT", "receiving", "close"}));
}

TEST_F(SerialReceive, FailedOpenIsReportedThenClosedWithoutReceiveMode) {
    script.initResult = -2;
    EXPECT_EQ(Run(), ReceiveEnd::OpenFailed);
    EXPECT_EQ(script.log, (std::vector<std::string>{"init 7", "open failed -2", "close"}));
    EXPECT_TRUE(receiver.texts.empty());
}

TEST_F(SerialReceive, NothingIsCalledWithoutTheWholeBinding) {
    link.SerialBound = 0;
    EXPECT_EQ(Run(), ReceiveEnd::NotBound);
    link.SerialBound = 1;
    const std::function<void(TReaderLink &)> drops[] = {
        [](TReaderLink &l) { l.COM_Init = nullptr; }, [](TReaderLink &l) { l.COM_Close = nullptr; },
        [](TReaderLink &l) { l.COM_RECV = nullptr; }, [](TReaderLink &l) { l.Set_flagT = nullptr; },
        [](TReaderLink &l) { l.Set_flagF = nullptr; }};
    for (const auto &drop : drops) {
        TReaderLink partial = link;
        drop(partial);
        EXPECT_FALSE(SerialEntryPoints(partial).Bound);
        EXPECT_EQ(RunSerialReceive(SerialEntryPoints(partial), script.stop, receiver, pacing),
                  ReceiveEnd::NotBound);
    }
    EXPECT_TRUE(script.log.empty());
}

TEST_F(SerialReceive, WaitsOnlyAfterALibraryThatReturnsNothingAtOnce) {
    script.recv = {{1}, {1, 0, 2ms}, {1, 0, 50ms}, Byte('x'), {-91}};
    Run();
    // "Nothing" at once (also an error result) and after 2 ms is followed by a short wait;
    // after a request that waited 50 ms itself, or after a byte, the next request follows.
    ASSERT_EQ(script.sleeps.size(), 4u); // the last is the request during which it was stopped
    for (auto d : script.sleeps) {
        EXPECT_GE(d, 5ms);
        EXPECT_LE(d, 10ms);
    }
    EXPECT_EQ(receiver.texts, Texts{"x"});
}

TEST_F(SerialReceive, StopSetByAnotherThreadEndsTheLoopWithOneClose) {
    // Every request says "nothing" at once; the window thread sets the flag meanwhile.
    static std::atomic<int> requests{0};
    requests = 0;
    link.COM_RECV = [](unsigned char *, int) {
        ++requests;
        return 1;
    };
    std::atomic<uint8_t> stop{0};
    Receiver quiet;
    std::thread loop([&] { RunSerialReceive(SerialEntryPoints(link), stop, quiet); });
    while (requests.load() < 3)
        std::this_thread::yield();
    stop.store(1);
    loop.join();
    const int after = requests.load();
    EXPECT_EQ(script.log, (std::vector<std::string>{"init 7", "flagT", "receiving", "close"}));
    EXPECT_EQ(requests.load(), after);
}

// --- over the serial library and a pseudo-terminal --------------------------------------

class Collector : public TSerialReceiver {
  public:
    void Received(std::string_view text) override {
        std::lock_guard<std::mutex> lock(mutex);
        got += text;
        changed.notify_all();
    }
    void OpenFailed(int result) override {
        std::lock_guard<std::mutex> lock(mutex);
        openResult = result;
        changed.notify_all();
    }
    void Receiving() override {
        std::lock_guard<std::mutex> lock(mutex);
        receiving = true;
        changed.notify_all();
    }
    // Waits (generously bounded) until `done` holds under the lock.
    template <typename F> bool WaitFor(F done) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 20s, [&] { return done(); });
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::string got;
    int openResult = 0;
    bool receiving = false;
};

class SerialReceiveOverSerivo : public ::testing::Test {
  protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        setenv("SERIVO_DEVICE", ptsname(master), 1);
        link.COM_Init = COM_Init;
        link.COM_Close = COM_Close;
        link.COM_RECV = COM_RECV;
        link.Set_flagT = Set_flagT;
        link.Set_flagF = Set_flagF;
        link.SerialBound = 1;
        link.SerialPort = 1;
    }
    void TearDown() override {
        unsetenv("SERIVO_DEVICE");
        close(master);
    }
    void Send(const std::string &bytes) {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

    int master = -1;
    TReaderLink link;
};

TEST_F(SerialReceiveOverSerivo, BytesFromTheLineArriveInOrderUntilStopped) {
    std::atomic<uint8_t> stop{0};
    Collector collector;
    ReceiveEnd end = ReceiveEnd::NotBound;
    std::thread loop([&] { end = RunSerialReceive(SerialEntryPoints(link), stop, collector); });
    ASSERT_TRUE(collector.WaitFor([&] { return collector.receiving; }));
    Send("1234\r\n");
    Send(std::string("AB\0C\r", 5));
    const std::string expected = "1234\r\nABC\r\n";
    EXPECT_TRUE(collector.WaitFor([&] { return collector.got.size() >= expected.size(); }));
    // The page stops the thread: the flag, then Set_flagF, which ends a waiting request.
    stop.store(1);
    Set_flagF();
    loop.join();
    EXPECT_EQ(end, ReceiveEnd::Stopped);
    std::lock_guard<std::mutex> lock(collector.mutex);
    EXPECT_EQ(collector.got, expected);
    // The port was closed by the loop.
    unsigned char b[2] = {};
    EXPECT_EQ(COM_RECV(b, 1), -91);
}

TEST_F(SerialReceiveOverSerivo, APortThatCannotBeOpenedEndsTheThread) {
    setenv("SERIVO_DEVICE", "/nonexistent/tty", 1);
    std::atomic<uint8_t> stop{0};
    Collector collector;
    std::thread loop([&] { RunSerialReceive(SerialEntryPoints(link), stop, collector); });
    loop.join();
    EXPECT_EQ(collector.openResult, -2);
    EXPECT_FALSE(collector.receiving);
}

} // namespace
