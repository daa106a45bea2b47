// The object behind a process handle (handle type 7) and the waits on it;
// the time limits of the helper tools, which tests shorten.
#pragma once

#include "wintypes.h"

#include <sys/types.h>

// A process handle for a started child. consoleHeld: the child owns the
// terminal, which is taken back when the child is seen to end. Null when no
// handle can be made (the caller still owns the child).
HANDLE ProcessObjectCreate(pid_t pid, bool consoleHeld);

// WaitForSingleObject on a process handle: INFINITE blocks until the child
// ends; any other time-out polls every 10 ms against a monotonic clock (0:
// one poll). 0 (WAIT_OBJECT_0) when it ended, 258 on time-out, 0xFFFFFFFF
// with last error 6 for a handle that is not a process.
DWORD ProcessWait(HANDLE handle, DWORD milliseconds);

// Time limits of the clipboard tools (3 s) and of gio (60 s, and how long
// a gio told to stop may take before it is killed, 5 s). 0 restores the
// default.
void ClipboardSetTimeLimitForTest(unsigned milliseconds);
void GioSetTimeLimitForTest(unsigned milliseconds, unsigned graceMilliseconds);

#include <string>

// The shell command ShellRunCommand runs for a Windows command line: the
// Windows absolute paths in it become single-quoted POSIX paths (see
// ShellRunCommand in qposix_process.h for where a path is recognised and
// how far it runs). False when a path is longer than 2047 units or memory
// runs out.
bool ShellCommandTranslate(const WCHAR* line, std::string* out);
