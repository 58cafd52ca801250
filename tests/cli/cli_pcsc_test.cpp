// pcsc list | atr | apdu | script | watch run as a process against a private pcscd with
// virtual cards: what they print, what reaches the cards, and what must not.
#include "card_scripts.h"
#include "cli_run.h"
#include "pcsc_lab.h"
#include "smartcard/apdu_script.h"

#include <chrono>
#include <csignal>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

namespace {

using namespace clitest;
using json = nlohmann::json;
namespace lab = brenmark_lab;

const Bytes kGetChallenge = {0x00, 0x84, 0x00, 0x00, 0x04};
const Bytes kSelectByName = {0x00, 0xA4, 0x04, 0x00, 0x02, 0xF0, 0x4C};

TEST_F(CliTest, VersionOptionIsTheProgramsOwnAndTheCommandAsksTheReader) {
    Result r = Exec({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("cardtool-cli ", 0), 0u) << r.out;
    EXPECT_TRUE(Messages().empty());
    r = Exec({"version"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(Messages().empty());
    EXPECT_EQ(r.out.find("cardtool-cli"), std::string::npos);
}

// One daemon with two devices, "Lab A" and "Lab B": readers 0 to 3.
class CliPcsc : public CliTest {
  protected:
    void SetUp() override {
        const auto &a = lab::availability();
        if (!a.usable) GTEST_SKIP() << "private pcscd cannot run here: " << a.reason;
    }

    void Start() {
        std::string error;
        ASSERT_TRUE(daemon_.start({"Lab A", "Lab B"}, &error)) << error;
        rack_ = std::make_unique<lab::CardRack>(daemon_);
    }
    void Insert(std::size_t reader, const Bytes &atr) {
        ASSERT_TRUE(rack_->insert(reader, atr, lab::lab_card_script())) << daemon_.log();
    }
    std::vector<Bytes> Received(std::size_t reader) const {
        const lab::VirtualCard *card = rack_->card(reader);
        return card ? card->commands() : std::vector<Bytes>{};
    }
    std::string Script(const std::string &text) {
        const std::string path = File("script.apdu");
        std::ofstream(path, std::ios::trunc) << text;
        return path;
    }

    lab::PrivatePcscd daemon_;
    std::unique_ptr<lab::CardRack> rack_;
};

TEST_F(CliPcsc, List) {
    Result r = Exec({"pcsc", "list"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "cardtool-cli: the smart-card service (pcscd) is not running\n");

    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Insert(1, lab::kAtrT0));
    ASSERT_NO_FATAL_FAILURE(Insert(2, lab::kAtrT1));
    r = Exec({"pcsc", "list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0: Lab A 00 00: no card\n"
                     "1: Lab A 00 01: card 3B 02 14 50\n"
                     "2: Lab B 00 00: card 3B 80 01 81\n"
                     "3: Lab B 00 01: no card\n");

    r = Exec({"pcsc", "list", "--json"});
    EXPECT_EQ(r.status, 0);
    const json j = json::parse(r.out);
    ASSERT_EQ(j["readers"].size(), 4u);
    EXPECT_EQ(j["readers"][1], json::parse(R"({"index":1,"name":"Lab A 00 01","card":true,
        "atr":"3B021450","mute":false,"in_use":false,"exclusive":false})"));
    EXPECT_TRUE(j["readers"][3]["atr"].is_null());
    EXPECT_TRUE(Received(1).empty());

    // The bench's list names the PC/SC readers after the readers of the family.
    r = Exec({"list"});
    EXPECT_EQ(r.status, 0) << r.err;
    const size_t pcsc = r.out.find("PC/SC readers:\n");
    ASSERT_NE(pcsc, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(pcsc), "PC/SC readers:\n"
                                  "  0: Lab A 00 00: no card\n"
                                  "  1: Lab A 00 01: card present\n"
                                  "  2: Lab B 00 00: card present\n"
                                  "  3: Lab B 00 01: no card\n");
    EXPECT_EQ(json::parse(Exec({"list", "--json"}).out)["pcsc"]["readers"][2],
              json::parse(R"({"index": 2, "name": "Lab B 00 00", "card": true})"));
}

TEST_F(CliPcsc, Atr) {
    // A list of known answers of the test's own; a missing one is no error.
    const std::string list = File("known.txt");
    std::ofstream(list) << "3B 02 14 5.\n\tLab T=0 card\n3B 80 01 81\n\tLab T=1 card\n";
    const std::map<std::string, std::string> env{{"CARDTOOL_ATR_LIST", list}};

    Result r = Exec({"pcsc", "atr", "3B0214", "50"}, env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ATR: 3B 02 14 50\n"
                     "   0  TS   3B  direct convention\n"
                     "   1  T0   02  no interface byte follows; 2 historical bytes\n"
                     "Protocols: T=0\n"
                     "Historical bytes: 14 50  \".P\"\n"
                     "  proprietary content\n"
                     "TCK: none (only T=0 is offered)\n"
                     "Known as:\n"
                     "  Lab T=0 card\n");
    r = Exec({"pcsc", "atr", "3B 02 14 50"}, {{"CARDTOOL_ATR_LIST", File("absent.txt")}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("Known as"), std::string::npos);
    EXPECT_NE(r.err.find("cannot read the list of known ATRs"), std::string::npos);

    // Malformed: decoded up to where it stops, exit status 5.
    r = Exec({"pcsc", "atr", "--json", "3B8001"}, env);
    EXPECT_EQ(r.status, 5);
    json j = json::parse(r.out);
    EXPECT_EQ(j["problem"]["offset"], 3);
    EXPECT_EQ(j["protocols"], json::array({1}));
    EXPECT_EQ(j["fields"].size(), 3u);
    EXPECT_EQ(j["known"], json::array());
    // A list need not be UTF-8: what is not is replaced in JSON, never the end of the program.
    std::ofstream(File("latin1.txt")) << "3B 80 01 81\n\tcarte \xE9tudiant\n";
    r = Exec({"pcsc", "atr", "--json", "3B800181"}, {{"CARDTOOL_ATR_LIST", File("latin1.txt")}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["known"][0]["descriptions"][0], "carte \xEF\xBF\xBDtudiant");

    for (const char *bad : {"3B0", "3B 0G", "", "0x3B"}) {
        r = Exec({"pcsc", "atr", bad});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(Exec({"pcsc", "atr", "--reader", "1", "3B00"}).status, 1);

    // From a reader: the first that holds a card, or the one chosen.
    ASSERT_NO_FATAL_FAILURE(Start());
    r = Exec({"pcsc", "atr"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "cardtool-cli: no card in any PC/SC reader\n");
    ASSERT_NO_FATAL_FAILURE(Insert(1, lab::kAtrT1));
    ASSERT_NO_FATAL_FAILURE(Insert(3, lab::kAtr33));
    r = Exec({"pcsc", "atr"}, env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Reader: Lab A 00 01\nATR: 3B 80 01 81\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Known as:\n  Lab T=1 card\n"), std::string::npos);
    r = Exec({"pcsc", "atr", "--json", "--reader", "Lab B 00 01"});
    EXPECT_EQ(r.status, 0) << r.err;
    j = json::parse(r.out);
    EXPECT_EQ(j["atr"], clitest::Hex(lab::kAtr33));
    EXPECT_EQ(j["tck"]["ok"], true);
    EXPECT_EQ(j["protocols"], json::array({0, 1}));

    r = Exec({"pcsc", "atr", "--reader", "2"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "cardtool-cli: no card in 'Lab B 00 00'\n");
    r = Exec({"pcsc", "atr", "--reader", "4"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "cardtool-cli: there is no PC/SC reader 4 (4 readers are listed)\n");
    r = Exec({"pcsc", "atr", "--reader", "00 0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "cardtool-cli: '00 0' names several readers: 'Lab A 00 00', "
                     "'Lab A 00 01', 'Lab B 00 00', 'Lab B 00 01'\n");
    EXPECT_EQ(Exec({"pcsc", "atr", "--reader", "Lab C"}).status, 2);
}

TEST_F(CliPcsc, Apdu) {
    ASSERT_NO_FATAL_FAILURE(Start());
    // Refused before anything is asked of the service or sent.
    for (const std::vector<std::string> &bad :
         std::vector<std::vector<std::string>>{{"0084000"},
                                               {"00", "84", "00", "0G", "04"},
                                               {"008400"},
                                               {std::string(1024, '0')},
                                               {"00840000", "--reader", ""}}) {
        const Result r = Exec([&] {
            std::vector<std::string> args{"pcsc", "apdu"};
            args.insert(args.end(), bad.begin(), bad.end());
            return args;
        }());
        EXPECT_EQ(r.status, 1) << bad[0];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    Result r = Exec({"pcsc", "apdu", "0084000004"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err,
              "cardtool-cli: no card in any PC/SC reader (or other programs hold them all)\n");

    ASSERT_NO_FATAL_FAILURE(Insert(2, lab::kAtrT0));
    ASSERT_NO_FATAL_FAILURE(Insert(3, lab::kAtrT1));
    r = Exec({"pcsc", "apdu", "00 84 00 00", "04"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "reader: Lab B 00 00\n"
                     "sent: 00 84 00 00 04\n"
                     "response: A0 A1 A2 A3\n"
                     "SW1 SW2: 90 00 (Normal processing)\n");

    // --auto: GET RESPONSE after 61xx, as the window's checkbox; the T=1 card by name.
    r = Exec({"pcsc", "apdu", "--reader", "Lab B 00 01", "00A40400", "02F04C"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("SW1 SW2: 61 10 (Normal processing: 16 response bytes still available)"),
              std::string::npos)
        << r.out;
    r = Exec({"pcsc", "apdu", "--auto", "--json", "--reader", "3", "00A4040002F04C"});
    EXPECT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["reader"], "Lab B 00 01");
    EXPECT_EQ(j["sent"], json::array({"00A4040002F04C", "00C0000010"}));
    EXPECT_EQ(j["data"], clitest::Hex(lab::kSelectData));
    EXPECT_EQ(j["sw"], "9000");
    EXPECT_EQ(j["meaning"], "Normal processing");

    EXPECT_EQ(Received(2), std::vector<Bytes>{kGetChallenge});
    EXPECT_EQ(Received(3),
              (std::vector<Bytes>{kSelectByName, kSelectByName, {0x00, 0xC0, 0x00, 0x00, 0x10}}));

    // A one-byte answer has no status word; a reader without a card is refused.
    r = Exec({"pcsc", "apdu", "--reader", "2", "80010000"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("response: 6F (no status word)\n"), std::string::npos) << r.out;
    r = Exec({"pcsc", "apdu", "--reader", "0", "80010000"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "cardtool-cli: cannot connect to the card in 'Lab A 00 00': no card, or "
                     "another program holds it\n");
}

TEST_F(CliPcsc, Script) {
    ASSERT_NO_FATAL_FAILURE(Start());
    // A script is checked whole before anything is sent.
    Result r = Exec({"pcsc", "script",
                     Script("0084000004 => XX XX XX XX 90 00\n"
                            "# the next line is wrong\n"
                            "00 B0 00 00 0 => 90 00\n")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "cardtool-cli: " + File("script.apdu") +
                         ":3: the APDU has an odd number of hex digits (9)\n");
    r = Exec({"pcsc", "script", Script("# nothing\n")});
    EXPECT_EQ(r.status, 1);
    r = Exec({"pcsc", "script", File("absent.apdu")});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos);
    r = Exec({"pcsc", "script", Dir});
    EXPECT_EQ(r.status, 4);
    r = Exec({"pcsc", "script", Script(std::string(kMaxScriptBytes + 1, '0'))});
    EXPECT_EQ(r.status, 4);

    ASSERT_NO_FATAL_FAILURE(Insert(0, lab::kAtrT0));
    EXPECT_TRUE(Received(0).empty());
    const std::string good = Script("# challenge, select, read\n"
                                    "00 84 00 00 04 => A0 XX * A3 90 00\n"
                                    "00 A4 04 00 02 F0 4C => 6F 0E * 9X 0X  # with --auto\n"
                                    "00 B0 00 00 00\n"
                                    "00 B0 00 00 08 => * 90 00\n");
    r = Exec({"pcsc", "script", "--auto", good});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("reader: Lab A 00 00\n"
                          "line 2: 00 84 00 00 04 => A0 XX * A3 90 00\n"
                          "  sent: 00 84 00 00 04\n"
                          "  response: A0 A1 A2 A3\n"
                          "  SW1 SW2: 90 00 (Normal processing)\n"
                          "line 3: ",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\n  sent: 00 B0 00 00 00\n  sent: 00 B0 00 00 08\n"), std::string::npos);
    EXPECT_NE(r.out.find("\ndone: 4 commands, 3 answers as expected\n"), std::string::npos);

    // Without --auto the select answers 61 10: the script stops there, exit status 5, and
    // the lines after it are never sent.
    const std::size_t before = Received(0).size();
    r = Exec({"pcsc", "script", "--json", good});
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.err, "cardtool-cli: " + good +
                         ":3: expected 6F 0E * 9X 0X, the card answered 61 10 (line: 00 A4 04 00 "
                         "02 F0 4C => 6F 0E * 9X 0X)\n");
    const json j = json::parse(r.out);
    EXPECT_EQ(j["result"], "mismatch");
    ASSERT_EQ(j["steps"].size(), 2u);
    EXPECT_EQ(j["steps"][0]["matched"], true);
    EXPECT_EQ(j["steps"][1]["line"], 3);
    EXPECT_EQ(j["steps"][1]["matched"], false);
    EXPECT_EQ(j["steps"][1]["sw"], "6110");
    EXPECT_EQ(Received(0).size(), before + 2);
}

// A child that runs until it is told to stop, its output in a file.
class Background {
  public:
    Background(const std::vector<std::string> &args, const std::string &out,
               const std::string &err = "/dev/null")
        : Out(out) {
        std::vector<std::string> all{CARDTOOL_CLI};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        EXPECT_EQ(posix_spawn(&Pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Background() {
        if (Pid > 0) {
            kill(Pid, SIGKILL);
            Wait();
        }
    }

    // Waits until the output holds `text`; false after 5 s.
    bool WaitFor(const std::string &text) const {
        for (int i = 0; i < 250; ++i) {
            if (ReadText(Out).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Sends the signal and returns the exit status; -1 unless it ended by itself in 5 s.
    int Stop(int signal) {
        kill(Pid, signal);
        for (int i = 0; i < 250; ++i) {
            int status = 0;
            if (waitpid(Pid, &status, WNOHANG) == Pid) {
                Pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    std::string Output() const { return ReadText(Out); }

  private:
    void Wait() {
        int status = 0;
        while (waitpid(Pid, &status, 0) < 0 && errno == EINTR) {
        }
        Pid = -1;
    }

    std::string Out;
    pid_t Pid = -1;
};

// The text without each line's time of day.
std::string Untimed(const std::string &text) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);)
        out += line.substr(line.find(' ') + 1) + "\n";
    return out;
}

TEST_F(CliPcsc, Watch) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_NO_FATAL_FAILURE(Insert(1, lab::kAtrT0));
    {
        Background watch({"pcsc", "watch"}, File("watch.txt"));
        ASSERT_TRUE(watch.WaitFor("reader present: Lab B 00 01\n")) << watch.Output();
        ASSERT_NO_FATAL_FAILURE(Insert(3, lab::kAtrT1));
        ASSERT_TRUE(watch.WaitFor("card inserted: Lab B 00 01")) << watch.Output();
        ASSERT_TRUE(rack_->remove(1));
        ASSERT_TRUE(watch.WaitFor("card removed: Lab A 00 01")) << watch.Output();
        EXPECT_EQ(watch.Stop(SIGINT), 0);
        EXPECT_EQ(Untimed(watch.Output()), "reader present: Lab A 00 00\n"
                                           "reader present: Lab A 00 01\n"
                                           "card present: Lab A 00 01 (ATR 3B 02 14 50)\n"
                                           "reader present: Lab B 00 00\n"
                                           "reader present: Lab B 00 01\n"
                                           "card inserted: Lab B 00 01 (ATR 3B 80 01 81)\n"
                                           "card removed: Lab A 00 01\n");
    }
    {
        Background watch({"pcsc", "watch", "--json"}, File("watch.json"));
        ASSERT_TRUE(watch.WaitFor("card-present")) << watch.Output();
        ASSERT_NO_FATAL_FAILURE(Insert(0, lab::kAtr33));
        ASSERT_TRUE(watch.WaitFor("card-inserted")) << watch.Output();
        // TERM ends it as cleanly as Ctrl-C.
        EXPECT_EQ(watch.Stop(SIGTERM), 0);
        std::istringstream lines(watch.Output());
        std::vector<json> events;
        for (std::string line; std::getline(lines, line);)
            events.push_back(json::parse(line));
        ASSERT_EQ(events.size(), 6u);
        EXPECT_EQ(events[3]["event"], "reader-present");
        EXPECT_EQ(events[4]["event"], "card-present");
        EXPECT_EQ(events[4]["reader"], "Lab B 00 01");
        EXPECT_EQ(events[4]["atr"], "3B800181");
        EXPECT_EQ(events[5]["event"], "card-inserted");
        EXPECT_EQ(events[5]["reader"], "Lab A 00 00");
        EXPECT_EQ(events[5]["atr"], clitest::Hex(lab::kAtr33));
        EXPECT_EQ(events[5]["time"].get<std::string>().size(), 24u);
    }
    // The service going away ends the watch with exit status 3.
    Background watch({"pcsc", "watch"}, File("watch.txt"), File("watch.err"));
    ASSERT_TRUE(watch.WaitFor("Lab B 00 01\n")) << watch.Output();
    rack_.reset();
    daemon_.stop();
    EXPECT_EQ(watch.Stop(0), 3);
    EXPECT_EQ(ReadText(File("watch.err")), "cardtool-cli: the smart-card service stopped\n");
}

} // namespace
