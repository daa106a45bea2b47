// The running of a command line as a child program while the file manager
// holds the terminal: the terminal is handed to the child and taken back,
// with the screen, its size, the title and the working directory.
#pragma once

#include "windows.h"

// Runs commandLine (its first 1024 units become the console title) through
// the shell runner of the layer, which reads a Windows path in it as one
// path whatever its characters, in directory when one is given (a directory
// that cannot be made current is ignored). showScreen leaves the child the
// terminal's normal screen in sight; clearScreen clears it first; pause asks
// for a key before the terminal is taken back; a running clock thread is
// suspended meanwhile and resumed afterwards (holdClock is accepted for the
// callers). The screen the program showed,
// its size and the title are put back afterwards. Returns the child's exit
// status, 128 plus the signal that ended it, or -1 when the shell cannot be
// started.
int RunChild(DWORD showScreen, DWORD clearScreen, DWORD holdClock, DWORD pause, WCHAR* commandLine,
             const WCHAR* directory);
