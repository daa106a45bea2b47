// The program locator: where the file manager finds a program or one of its
// own files (settings, colour and menu files, helper scripts) from the
// program part of a command line, and the expansion of %NAME% environment
// references that the program search and the path functions share.
#pragma once

#include "wintypes.h"

// Longest program part FindProgram looks for, and the room of its result.
inline constexpr size_t LOCATOR_NAME_UNITS = 260;
inline constexpr size_t LOCATOR_RESULT_UNITS = 1025;
// Room of SearchPathList's and LocateFileA's results.
inline constexpr size_t LOCATOR_LIST_RESULT_UNITS = 1024;
inline constexpr size_t LOCATOR_NARROW_RESULT_BYTES = 260;

// The program part of a command line into out (outUnits with the
// terminator). A leading "START " (any case) is skipped when the line holds
// no "/", and an empty title ("" and a blank) after it. A part that begins
// with a double quote is the text up to the next one. Otherwise a part
// without a blank is the program; with a blank the scan starts four units
// before the first blank (or at the blank when it is among the first four
// units): a "." starts an extension, which the next blank ends (a second "."
// right after it ends the program at the first), and a backslash leaves it;
// outside an extension a blank ends the program only before "%", "-" or a
// backslash. Returns false (out empty) when the part does not fit.
bool ExtractProgramPart(const WCHAR* line, WCHAR* out, size_t outUnits);

// The full path of the first existing file (never a directory) for the
// program part of line, looked for in this order: a name with a colon, or
// beginning with "\\" or "/", as it stands; the data folder first when the
// start-up directory lies in the program-files folder; the start-up
// directory; the tree's current directory; the data folder; the program
// directory; the tools folder; then, for names without a separator, the
// lists PATH, DPATH and XPATH. In the start-up and current directories a
// program (a file that may be executed) is passed over: a file placed in a
// browsed directory never stands in for a program of the same name; the
// program's own files are found there. A name with a separator that is not
// found on its own place gives none. Returns a per-thread buffer that the
// next call on the thread overwrites, or null.
const WCHAR* FindProgram(const WCHAR* line);

// A name that begins with a letter, ":" and "\" comes back unchanged,
// without a test; a name with a blank and no double quote is put in double
// quotes; then FindProgram.
const WCHAR* LocateFile(const WCHAR* name);
// FindProgram for 8-bit text in the ANSI code page (Windows-1252): the
// result in a per-thread 260-byte buffer, null when not found or when the
// path does not fit there or holds a character the code page lacks.
const char* LocateFileA(const char* name);

// The first existing file (never a directory) formed from an element of the
// ":"-separated list in the environment variable listName, a backslash and
// name. Each element loses a leading and a trailing double quote and is
// mapped from its POSIX form to a drive-letter path; empty and relative
// elements are skipped (they would make the current directory a place of
// programs). Returns a per-thread buffer (1024 units), or null when the
// variable is not set or no element gives a file.
const WCHAR* SearchPathList(const WCHAR* listName, const WCHAR* name);

// Copies in to out (outUnits with the terminator) with every %NAME%
// reference replaced by the variable's value: a set variable with an empty
// value gives nothing; a reference to a variable that is not set is copied
// as written, both "%" included. A "%" whose name meets a blank or the end
// before the closing "%", or whose name is empty, is not a reference: it is
// copied with the unit after it. Returns 1 when a reference was replaced,
// 0 when none was, -1 when the result did not fit (out then holds what fit).
int ExpandEnvVars(WCHAR* out, size_t outUnits, const WCHAR* in);
