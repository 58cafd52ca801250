#pragma once

// Ends the program through the running event loop (the loop returns and main exits
// normally). Tests read whether an end was asked for, since they run no loop.
void EndProgram();
bool ProgramEndRequested();
void ResetProgramEnd();
