// Processes and threads: identity of the current process and thread.
#pragma once

#include "wintypes.h"

// Pseudo handles of the current process (-1) and thread (-2).
HANDLE GetCurrentProcess();
HANDLE GetCurrentThread();
DWORD GetCurrentProcessId();
