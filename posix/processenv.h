// The process's command line.
#pragma once

#include "wintypes.h"

// The command line stored at start-up, or an empty string before.
LPWSTR GetCommandLineW();
// Stores a copy of the command line; called once by the process entry.
void SetCommandLineW(LPCWSTR line);
