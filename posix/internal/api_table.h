// The sorted table of the Windows functions the layer provides, through
// which GetProcAddress answers for the pseudo modules.
#pragma once

#include "libloaderapi.h"

struct ApiTableRow {
    const char* name;
    FARPROC function;
};

// The rows, sorted by name in byte order.
const ApiTableRow* ApiTableRows(size_t* count);
// Binary search by exact name; null when the layer has no such function.
FARPROC ApiTableLookup(const char* name);
