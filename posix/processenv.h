// The process's command line, its environment variables as UTF-16, and the
// current and temporary directories as Windows paths.
#pragma once

#include "wintypes.h"

// The command line stored at start-up, or an empty string before.
LPWSTR GetCommandLineW();
// Stores a copy of the command line; called once by the process entry.
void SetCommandLineW(LPCWSTR line);

// ---- environment ------------------------------------------------------------

// Number of distinct variable names EnvGetW keeps UTF-16 values for.
inline constexpr int QPOSIX_ENV_CACHE_ENTRIES = 64;
// Longest variable name, in UTF-8 bytes, the environment functions accept.
inline constexpr size_t QPOSIX_ENV_NAME_MAX_BYTES = 255;

// The value of an environment variable as UTF-16, or null when the variable
// is not set, the name is null, empty, longer than 255 UTF-8 bytes or holds
// '=', or when all 64 cache entries already hold other names. Value bytes
// that are not valid UTF-8 come back as U+DC80..U+DCFF, so that the value
// set back or used as a path gives the same bytes. The string is owned by
// the cache: it stays valid, and the same pointer is returned, until the
// variable's value changes and EnvGetW is asked for the name again. Never
// sets the last error.
const WCHAR* EnvGetW(const WCHAR* name);

// Copies the value of a variable into buffer (size units including the
// terminator). Returns the length when it fits; with no buffer or a size
// below length + 1, returns length + 1 and writes nothing. A variable that
// is not set (or an unusable name) gives 0 and last error 203; an empty
// value gives 0 and last error 0, so that the two can be told apart. Works
// for any number of distinct names (it does not depend on the cache).
DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);

// Sets a variable (overwriting) to the UTF-8 form of value, or unsets it
// when value is null. FALSE with last error 87 for a null, empty or too long
// name or one that holds '='; FALSE with the errno-table code when the
// system refuses.
BOOL SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value);

// ---- current and temporary directories ---------------------------------------

// The current directory as a Windows path (PathFromPosix: a path under no
// drive letter keeps its root-relative form "\home\x"). Returns the length
// when it fits in size units with the terminator; with no buffer or a
// smaller size, returns length + 1 and writes nothing. 0 with the
// errno-table code when the directory cannot be read (ENOENT -> 2 when it
// was removed).
DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);

// The same path in 8 bits: units below 256 become that byte, others '?'.
// 0 when the path is longer than 4095 units (last error 206) or cannot be
// read (errno table).
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);

// chdir to PathToPosix(path). FALSE with the errno-table code on failure,
// without refining "not found" into file or path (ENOENT -> 2, ENOTDIR ->
// 3); a null path gives 87 and an empty one 2.
BOOL SetCurrentDirectoryW(LPCWSTR path);

// TMPDIR when set and not empty, else "/tmp", as a Windows path with a
// trailing backslash. Returns the length when it fits in size units with
// the terminator; with no buffer or a smaller size, returns length + 1 and
// writes nothing. 0 with last error 206 when the path cannot be converted.
DWORD GetTempPathW(DWORD size, LPWSTR buffer);
