// The archiver definitions of ARCHIVER.BB2: the external archivers whose
// commands the archive windows run. The definitions file is not read yet:
// loading always finds no file.
#pragma once

#include "windows.h"

// One archiver of the definitions file; so far only what the archive
// windows' menus read of it.
struct ArchiverDef {
    ArchiverDef* next;
    // The command that deletes from an archive; null or empty when the
    // archiver cannot delete.
    const WCHAR* deleteCommand;
};

// The archiver of the open archive window; null while none is open or the
// archive is served by the built-in support.
extern ArchiverDef* gCurrentArchiver;

// Statuses of LoadArchiverDefs.
inline constexpr int ARCHIVER_DEFS_OK = 0;
inline constexpr int ARCHIVER_DEFS_NO_FILE = 1;
inline constexpr int ARCHIVER_DEFS_CANNOT_OPEN = 2;
inline constexpr int ARCHIVER_DEFS_BAD_VERSION = 3;
inline constexpr int ARCHIVER_DEFS_NONE_LISTED = 4;

// Loads the definitions: the list, or null with *status saying why (1 no
// file, 2 cannot open, 3 a first line below version 21, 4 no definitions).
// *path receives where the file was looked for (empty when nowhere).
ArchiverDef* LoadArchiverDefs(int* status, const WCHAR** path);
// Frees a list LoadArchiverDefs gave (null is accepted).
void FreeArchiverDefs(ArchiverDef* list);

// Test hook: the next loads give status and path instead of looking for the
// file (status ARCHIVER_DEFS_OK: look again).
void ArchiverDefsSetResultForTest(int status, const WCHAR* path);
