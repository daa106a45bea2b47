// Closing handles of every type.
#pragma once

#include "wintypes.h"

// The pseudo handles -1 and -2 succeed at once; any other value that names
// no object fails with error 6. The type's close operation runs once.
BOOL CloseHandle(HANDLE handle);
