// The error line: a one-line message on the bottom command line that waits
// for a key.
#pragma once

#include "windows.h"

// Stops a running macro, then shows "Error: " and text on the bottom row and
// waits for one key, which it returns. kind 0 offers Enter ("OK"); any other
// kind offers OK and Esc and leaves the busy state for the wait. Before the
// keyboard is open the text goes to standard output as "Error: %s" and a key
// is read from the terminal. The row is not restored; callers redraw their
// command lines.
int ShowError(DWORD kind, const char* text);
// The same for UTF-16 text (code page 437, at most 1025 bytes).
int ShowErrorW(DWORD kind, const WCHAR* text);
// A report that is no error: the text alone on the bottom row with the OK
// hint; waits for a key and returns it. Recorded by the test hook as
// "ShowMessage".
int ShowMessageWait(const char* text);
