#include "shell/ui/program_exit.h"

#include <QCoreApplication>

namespace {
bool gEndRequested = false;
}

void EndProgram() {
    gEndRequested = true;
    // Every running event loop returns, the outermost one last; main then tidies up.
    QCoreApplication::exit(0);
}

bool ProgramEndRequested() {
    return gEndRequested;
}
void ResetProgramEnd() {
    gEndRequested = false;
}
