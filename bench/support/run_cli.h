#pragma once
// cardtool-cli's command line run in the benchmark's own process, its output kept out of the
// figures; what it said on error is printed when it fails.
#include "cli.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

inline int RunCliHere(std::vector<std::string> args) {
    std::ostringstream out, err;
    const TCliStreams io{out, err, false};
    std::vector<char *> argv;
    args.insert(args.begin(), "cardtool-cli");
    for (std::string &a : args)
        argv.push_back(a.data());
    const int status = RunCli(int(argv.size()), argv.data(), io);
    if (status != 0) std::fprintf(stderr, "%s", err.str().c_str());
    return status;
}
