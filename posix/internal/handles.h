// The one process-wide table of typed handles. A handle is 0x10000 + 4 x its
// slot; each type has one close operation that CloseHandle runs.
#pragma once

#include "wintypes.h"

#include <cstdint>

enum HANDLE_TYPE : int32_t {
    HANDLE_TYPE_FREE = 0,
    HANDLE_TYPE_FILE = 1,
    HANDLE_TYPE_MAPPING = 2,
    HANDLE_TYPE_FIND = 3,
    HANDLE_TYPE_THREAD = 4,
    HANDLE_TYPE_SCREEN_BUFFER = 5,
    HANDLE_TYPE_CONSOLE_INPUT = 6,
    HANDLE_TYPE_PROCESS = 7,
};

typedef void (*HandleCloseFn)(void* object);

// Enters object under a new handle, lowest free slot first; null when the
// table cannot grow.
HANDLE HandleAllocate(int type, void* object);
// The object of a handle of the given type, or null.
void* HandleLookup(HANDLE handle, int type);
// The close operation of a type 1..7; other types are ignored.
void HandleRegisterType(int type, HandleCloseFn close);

// The object behind a file handle (type 1).
struct FILE_OBJECT {
    int32_t fd;            // negative: none
    int32_t isDirectory;   // a directory opened for backup semantics, or a link to one
    int32_t isLink;        // the link itself, opened as a reparse point
    int32_t noData;        // opened without data access: reads give 0 bytes
    char* path;            // the POSIX path it was opened by (owned); null for a descriptor
    int32_t deleteOnClose; // unlink the path on close
    uint64_t dev;          // identity of the opened file, so that delete-on-close
    uint64_t ino;          // never removes another file that took its name
};

// The file object of a handle, or null with last error 6.
FILE_OBJECT* HandleLookupFile(HANDLE handle);
// A file handle around an open descriptor (no path); the descriptor is
// closed when no handle can be made. Null with last error 8 then.
HANDLE HandleFromDescriptor(int fd);
