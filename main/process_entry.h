// The process entry of quilb: the two one-argument invocations it answers
// itself (--version and --keys), and otherwise the wide argument table and
// command-line text that the Windows-style program expects, then the
// hand-over to wmain.
#pragma once

#include "wintypes.h"

// "Quilbora 2.9.11 (qposix, 64-bit)", the answer to --version.
inline constexpr char QUILB_PRODUCT_NAME[] = "Quilbora";
inline constexpr char QUILB_PRODUCT_VERSION[] = "2.9.11";

// What main does. With exactly one argument, "--version" prints the version
// line and returns 0, and "--keys" runs the key tester and returns its
// status. Otherwise builds the argument table and the command-line text
// (SetCommandLineW), starts the console and calls wmain, which does not
// return. Returns 1 without a message when the argument table cannot be
// allocated; ends the process with status 1 and "quilb: out of memory"
// when an argument cannot be.
int QuilbMain(int argc, char** argv);

// The wide argument table: argc entries and a null one, each allocated.
// Argument 0 is converted unchanged. Any other argument that names an
// existing file or directory becomes its drive-letter path: as written when
// it begins with "/", resolved to an absolute path (links followed) when it
// holds a "/" elsewhere or is "." or ".."; every other argument, and one
// whose path cannot be had, is converted from UTF-8 unchanged (bytes that
// are not UTF-8 as U+DC80..U+DCFF). Null when the table cannot be
// allocated; *failedEntry (when the table could be) is set when an entry
// could not, and the table is then freed and null returned.
WCHAR** QuilbWideArguments(int argc, char** argv, bool* failedEntry);

// Frees a table made by QuilbWideArguments.
void QuilbFreeArguments(int argc, WCHAR** arguments);

// The command-line text of the arguments: separated by one blank; an
// argument that is empty or holds a blank, a tab or a double quote is
// written between double quotes with a backslash before each double quote
// inside it. Allocated (free it), null when memory runs out; empty text for
// argc 0.
WCHAR* QuilbCommandLine(int argc, WCHAR* const* arguments);

// The file manager's main program: takes the wide argument table (argument
// 0 the program's path) and never returns.
[[noreturn]] void wmain(int argc, WCHAR** argv);
