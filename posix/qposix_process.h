// The layer's services for running other programs: a command line run by
// the shell with the terminal handed over, a document or URL opened with its
// program, the split of a Windows command line into arguments, and three
// questions about programs (the user's editor, whether a program is on the
// search path, whether a program is a graphical one).
#pragma once

#include "wintypes.h"

// Splits a Windows command line into a null-terminated vector of heap UTF-8
// strings, as Windows does: the first argument is taken plainly (a leading
// double quote runs to the next one, otherwise it ends at a blank); later
// arguments end at an unquoted blank, 2n backslashes before a double quote
// give n and the quote opens or closes quoting, 2n+1 give n and a literal
// quote, "" inside quotes is one literal quote, other backslashes are
// literal. An argument that begins with a letter, ':' and a separator (the
// first argument also when its second unit is ':' or it holds a '\') is a
// Windows path and goes through PathToPosix; other text is plain UTF-8.
// Null for an empty or blank line, or when memory runs out. Free the result
// with CommandLineFree.
char** CommandLineSplit(const WCHAR* line);
void CommandLineFree(char** argv);

// Runs a command line through /bin/sh in the foreground. Windows absolute
// paths in it (at the start of the line or after a blank, '=', '<', '>',
// '|', '&', ';' or '(', or enclosed in double quotes) become their POSIX
// paths in single quotes; all other text is passed as it stands. Where a
// path's extent is unclear because a file name holds characters that end a
// path (a blank, '|', '&', ';', '<', '>', '(', ')', a quote), the longest
// reading that names an existing file is taken, so a file name is never
// read as shell text. The terminal is handed to the child and taken back;
// this process ignores SIGINT and SIGQUIT meanwhile. With pause the user is
// asked for a key ("Press any key to continue...") before the terminal is
// taken back. Returns the child's exit code (its status, or 128 plus the
// signal that ended it); -1 when the line cannot be translated (a path of
// more than 2047 units, no memory) or the shell cannot be started. A null
// line answers 1 when /bin/sh can be executed, else 0.
int ShellRunCommand(const WCHAR* commandLine, BOOL pause);

// Opens file: a URL ("://" anywhere, or "mailto:" at the start) with
// xdg-open; a path (PathToPosix, relative to directory when given) runs
// itself when it is an executable ELF file or script (parameters split as a
// Windows command line), else xdg-open opens it. The child runs detached in
// directory when one is given. Returns 0, or the Windows error: 2 no such
// file, 1155 no program to open it (xdg-open missing), 5 access denied, 8
// no memory, else the errno table. With process a process handle is stored
// there; otherwise the child is reaped by a detached thread.
DWORD ShellOpen(const WCHAR* file, const WCHAR* parameters, const WCHAR* directory,
                HANDLE* process);

// The user's text editor: VISUAL when set and not empty, else EDITOR when
// set and not empty, else "editor" or "nano" when found on PATH, else "vi".
// The string is the environment's or a constant; do not free it.
const char* DefaultEditor();

// 1 when an executable file of that name is in an absolute element of PATH
// ("/usr/bin:/bin" when PATH is unset or empty), else 0.
int ProgramOnPath(const char* name);

// 1 when path is an executable ELF program (little-endian, 32 or 64 bits)
// that needs a graphical toolkit (X11, xcb, Wayland, GTK, GDK, Qt, SDL,
// GLFW, FLTK, wxWidgets, GL, EGL) and a display is available (DISPLAY, else
// WAYLAND_DISPLAY, set and not empty); 0 otherwise, also for scripts and
// for anything that cannot be read.
int ProgramIsGui(const WCHAR* path);

// A regular file this process may execute that begins with the ELF magic or
// with "#!".
bool ProgramIsExecutable(const char* posixPath);
