// The end of a session: the question asked before the file manager exits,
// the one fatal exit for memory that ran out, the checked allocations that
// lead to it, and the command-line help printed for "/?".
#pragma once

#include "wintypes.h"

#include <cstddef>

// ---- the quit question ---------------------------------------------------------------

// Set by a caller that has already had the user's word (or must not ask
// again): while it is set, ConfirmQuit asks nothing. Main thread.
extern BOOL gNoQuitConfirm;

// Asks "Are you sure you wish to exit?" on the first two command lines
// (window mode 16) when ask is nonzero and gNoQuitConfirm is clear; the
// lines, their click regions and the window mode are put back afterwards.
// Y or Q answers yes; any other key, Enter and Esc included, gives 0 at
// once. Before returning 1 it gives running open-with threads a moment
// (100 ms, then up to five 500 ms waits while any is still running), so
// that a desktop opener they started is not cut off. Main thread.
int ConfirmQuit(int ask);

// Test hook: the waits of ConfirmQuit go to wait instead of Sleep (nullptr
// puts Sleep back), so that tests see each wait and its length without
// depending on the machine's speed.
void ConfirmQuitSetWaitForTest(void (*wait)(DWORD milliseconds));

// ---- the fatal exit --------------------------------------------------------------------

// The program's only reaction to an exhausted heap. Puts back what the
// terminal showed, gives the terminal back, writes
// "\nFatal Memory error in module: <module> at line: <line> : <function>\n",
// a line on where to find support and "\nPress Any Key..." on standard
// output, waits for one key on the terminal (not without one) and ends the
// process with status 255. Any thread may call it; the first caller ends the
// process and any other waits until it has.
[[noreturn]] void FatalMemoryError(const char* module, int line, const char* function);
// The same exit with the caller's own message (lines ending in "\n") in
// place of the module line.
[[noreturn]] void FatalExitWithMessage(const char* message);

// Makes a failing operator new (std containers and strings included) end
// through FatalMemoryError ("new", line 0, "operator new") instead of
// throwing. Called once at start-up.
void InstallFatalNewHandler();

// ---- checked allocations ----------------------------------------------------------------
//
// Every allocation of the settings, platform and tree code goes through
// these: the result is never null, because a failure ends the program
// through FatalMemoryError with the caller's module, line and function. A
// request of 0 bytes gets a block of its own all the same. A size above
// PTRDIFF_MAX (or a calloc product that overflows) fails without asking the
// heap. Blocks are released with free(). module is a short tag of the
// calling source ("Qnt", "Qtb", ...); the macros fill in line and function.

void* CheckedMalloc(size_t bytes, const char* module, int line, const char* function);
// Zeroed, count elements of size bytes.
void* CheckedCalloc(size_t count, size_t size, const char* module, int line, const char* function);
// Zeroed like CheckedCalloc, for the callers that offer the user a retry:
// null when the heap (or the test hook below) refuses the block.
void* CallocOrNull(size_t count, size_t size);
// block may be null; on failure the old block is left as it was (the
// program ends anyway).
void* CheckedRealloc(void* block, size_t bytes, const char* module, int line, const char* function);
// Copies of a terminated string.
char* CheckedStrdup(const char* text, const char* module, int line, const char* function);
WCHAR* CheckedWcsdup(const WCHAR* text, const char* module, int line, const char* function);

#define CHECKED_MALLOC(bytes, module) CheckedMalloc((bytes), (module), __LINE__, __func__)
#define CHECKED_CALLOC(count, size, module)                                                        \
    CheckedCalloc((count), (size), (module), __LINE__, __func__)
#define CHECKED_REALLOC(block, bytes, module)                                                      \
    CheckedRealloc((block), (bytes), (module), __LINE__, __func__)
#define CHECKED_STRDUP(text, module) CheckedStrdup((text), (module), __LINE__, __func__)
#define CHECKED_WCSDUP(text, module) CheckedWcsdup((text), (module), __LINE__, __func__)

// Releases a checked block; lets a checked buffer live in a std::unique_ptr.
struct CheckedFree {
    void operator()(void* block) const;
};

// Test hook: the nth checked allocation (CallocOrNull included) from now
// (1 = the next one) fails as if the heap were exhausted; 0 turns the
// injection off. Lets tests reach the fatal exit of a caller, or its retry
// question, without exhausting memory.
void CheckedAllocFailAt(unsigned n);

// ---- usage text ------------------------------------------------------------------------------

// Writes the banner and the usage text of the command-line options on
// standard output, line by line; no line is wider than 80 columns.
void ShowUsage();
