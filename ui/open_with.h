// Opening a file with the program the desktop associates with it runs on a
// thread of its own per request; what the rest of the program sees of those
// threads is how many are still running.
#pragma once

#include "windows.h"

#include <atomic>

// The open-with threads still running: each raises it when its request is
// built and lowers it when it ends, on every way out. The quit confirmation
// gives them a moment to hand the file over before the program exits.
extern std::atomic<WORD> gOpenWithThreads;
