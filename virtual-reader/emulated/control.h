// The control socket of the emulated readers: what a test of the program running under them
// uses to steer them and to look at what they hold. Its path is in EMULATED_READER_CONTROL.
//
// One request a line; the answer is one or more lines, the first "ok" (with the value asked
// for, if any) or "error <why>", and an empty line after the last. A request may start with
// "@N" for reader N (default 0).
//   reset                     a fresh reader, plugged in, nothing pending, log empty
//   plug | unplug             in or out now (the answer comes once sysfs shows it)
//   unplug-after-reports K    gone right after taking K more output reports
//   unplug-after-message      gone right after acting on the next message, unanswered
//   silent 0|1                messages taken, neither acted on nor answered
//   config [HEX]              the configuration block ("ok HEX"), or set it
//   version TEXT              the version text
//   card-block B [HEX]        block B of the Mifare One card ("ok HEX"), or set it
//   state                     the reader's state text (state_text.h), one item a line
//   messages                  every message taken, one a line in hex, command byte first
//   clear-log                 forgets them
//   files                     how many files are open on the node ("ok N")
#pragma once

#include "bus.h"

#include <atomic>
#include <string>
#include <thread>

namespace emu {

// The answer to one request, without the empty line that ends it on the socket.
std::string Execute(Bus &bus, const std::string &request);

class ControlServer {
  public:
    ControlServer(Bus &bus, const std::string &path);
    ~ControlServer();
    ControlServer(const ControlServer &) = delete;
    ControlServer &operator=(const ControlServer &) = delete;

  private:
    void Run();
    void Serve(int connection);

    Bus &bus_;
    std::string path_;
    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace emu
