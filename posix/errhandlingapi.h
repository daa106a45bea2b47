// The per-thread last error and the one mapping from errno to Windows error
// codes that every function of the layer reports through.
#pragma once

#include "wintypes.h"

// The calling thread's last error: 0 at thread start, on every thread,
// including threads the layer did not create.
DWORD GetLastError();
void SetLastError(DWORD code);

// errno -> Windows error code; errno values without an entry give 31.
DWORD ErrnoToWin32Error(int err);

// Sets the last error from errno through ErrnoToWin32Error and returns the
// code set. The one place where an entry point turns a failed system call
// into its last error.
DWORD SetLastErrorFromErrno(int err);

// Keeps the caller's last error across helpers that may overwrite it.
struct LastErrorSaver {
    DWORD saved;
    LastErrorSaver() : saved(GetLastError()) {}
    ~LastErrorSaver() { SetLastError(saved); }
    LastErrorSaver(const LastErrorSaver&) = delete;
    LastErrorSaver& operator=(const LastErrorSaver&) = delete;
};

UINT SetErrorMode(UINT mode);
BOOL IsDebuggerPresent();

// The error of a failed call on a path: ENOENT gives 2 when the parent
// directory exists and 3 when it does not, ENOTDIR 3, EISDIR 5, EEXIST 80,
// anything else the errno table.
DWORD PathErrnoToWin32Error(int err, const char* posixPath);
// 2 when the parent directory of posixPath exists, else 3.
DWORD FilePathNotFoundCode(const char* posixPath);
