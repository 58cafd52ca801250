#include "cli.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char **argv) {
    const TCliStreams io{std::cout, std::cerr, isatty(STDERR_FILENO) == 1};
    const int status = RunCli(argc, argv, io);
    std::cout.flush();
    return status;
}
