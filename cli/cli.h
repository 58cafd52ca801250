// cardtool-cli: the reader's configuration, its IC slot and a Mifare One card from a terminal.
// The commands run the same Qt-free operations as the windows, over the same library loaded
// by file name, with a small "window" each that prints instead of showing boxes.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Exit statuses; the manual page lists them.
enum ExitStatus : int {
    kExitOk = 0,
    kExitUsage = 1,        // the command line or its values were refused; nothing was sent
    kExitNoReader = 2,     // no reader found, or its library could not be loaded
    kExitReaderFailed = 3, // the reader (or the card) refused, failed or did not answer
    kExitFile = 4,         // a file could not be read or written, or its content was refused
    kExitVerify = 5        // a check failed: a write read back, restore --verify, a pcsc script
                           // answer, an ATR
};

// Where a command writes: results to `out`, one-line errors to `err`. `terminal` is true when
// `err` is a terminal (a progress bar is drawn there then). `json`: the result goes to `out`
// as JSON (errors stay one line of text on `err`).
struct TCliStreams {
    std::ostream &out;
    std::ostream &err;
    bool terminal = false;
    bool json = false;
};

// Writes "cardtool-cli: <message>" to the error stream and returns `status`.
int Fail(const TCliStreams &io, int status, const std::string &message);

// The reader library's file name (the windows load the same file).
inline constexpr const char *kCliLibraryFile = "liblorvane.so";
inline constexpr const char *kNoAnswerText = "reader did not answer after 3 attempts";
// The variable through which the reader library takes the reader chosen with --device.
inline constexpr const char *kDeviceVariable = "LORVANE_DEVICE";

// "no reader found ...": which reader was looked for, the chosen one or any of the family.
std::string NoReaderText();
inline constexpr const char *kNoReaderFound = "no reader found (vendor 10C4, product 847C/84A2)";
// A reader's path or serial number as --device takes it: "" or why it is refused (a phrase to
// follow the name of the option).
std::string CheckDeviceName(const std::string &name);

// --- configuration commands (config_commands.cpp) ---
int CmdVersion(const TCliStreams &io);
int CmdShow(const TCliStreams &io);
int CmdBackup(const TCliStreams &io, const std::string &file);
int CmdRestore(const TCliStreams &io, const std::string &file, bool verify);
int CmdDefault(const TCliStreams &io);
int CmdMode(const TCliStreams &io, bool test);

// --- settings files and readers compared (compare_commands.cpp) ---
int CmdShowFile(const TCliStreams &io, const std::string &file);
// Exit 0 when the reader holds what the file would write, kExitVerify when not.
int CmdVerify(const TCliStreams &io, const std::string &file);
// Each side is a settings file, "reader" (the chosen or first reader) or "reader:PATH|SERIAL".
int CmdDiff(const TCliStreams &io, const std::string &a, const std::string &b);

// --- several readers (readers_commands.cpp) ---
int CmdList(const TCliStreams &io);
// Runs `restore FILE` for each reader in a child process of its own (this program again, with
// --device), `jobs` at a time (0: all at once).
int CmdRestoreAll(const TCliStreams &io, const std::string &file, bool verify, int jobs);
// The program restore --all starts for each reader when this process has threads and so
// cannot fork safely: by default this process's own executable. A program that runs the
// command line in its own process (a benchmark, a test) names cardtool-cli here.
void SetCliProgram(const std::string &path);

// --- the IC slot (ic_commands.cpp) ---
enum class TIcCommand { PowerUp, PowerDown, Apdu };
// `apduWords` are the hex words of an APDU ("00A40400" or "00 A4 04 00" alike).
int CmdIc(const TCliStreams &io, TIcCommand command, const std::vector<std::string> &apduWords,
          bool trace);

// --- a Mifare One card (mifare_commands.cpp) ---
struct TMifareOptions {
    std::string Key = "7B3E51A9C4D6";
    bool KeyB = false;
};
enum class TValueOp { Init, Inc, Dec, Get };
int CmdMifareSearch(const TCliStreams &io);
int CmdMifareRead(const TCliStreams &io, const TMifareOptions &o, const std::string &sector,
                  const std::string &block);
// What a write of block 3 was allowed: the trailer at all, access bits that lock the sector
// for good, and a key A of zeros that is not the key in use.
struct TTrailerPermissions {
    bool Force = false, Permanent = false, ZeroKeyA = false;
};
int CmdMifareWrite(const TCliStreams &io, const TMifareOptions &o, const std::string &sector,
                   const std::string &block, const std::string &hex,
                   const TTrailerPermissions &allowed);
int CmdMifareValue(const TCliStreams &io, const TMifareOptions &o, TValueOp op,
                   const std::string &sector, const std::string &block, const std::string &amount);
// A dump that could not read every block writes nothing (exit status 3) unless `partial`:
// then the image and its read map beside it are written, still with exit status 3.
int CmdMifareDump(const TCliStreams &io, const TMifareOptions &o, const std::string &file,
                  bool partial);
// Writes the data blocks the map beside the image marks as read; without a map, every data
// block only when `allBlocks`.
int CmdMifareRestoreData(const TCliStreams &io, const TMifareOptions &o, const std::string &file,
                         bool allBlocks);

// --- PC/SC readers (pcsc_commands.cpp, pcsc_watch.cpp, pcsc_cli.cpp) ---
struct TPcscOptions {
    std::string Reader; // --reader: an index of `pcsc list` or a name; "" for the default
    bool Json = false;
    bool Auto = false; // GET RESPONSE after 61xx and the Le retry after 6Cxx
};
int CmdPcscList(const TCliStreams &io, bool json);
int CmdPcscAtr(const TCliStreams &io, const TPcscOptions &o, const std::vector<std::string> &hex);
int CmdPcscApdu(const TCliStreams &io, const TPcscOptions &o, const std::vector<std::string> &hex);
int CmdPcscScript(const TCliStreams &io, const TPcscOptions &o, const std::string &file);
int CmdPcscWatch(const TCliStreams &io, bool json);

namespace CLI {
class App;
}
// Adds the pcsc command and its subcommands; the chosen one is put into `run`.
void AddPcscCommands(CLI::App &app, std::function<int()> &run, const TCliStreams &io);

// The whole program: parses the command line and runs the command; returns the exit status.
int RunCli(int argc, char **argv, const TCliStreams &io);
