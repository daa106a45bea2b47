// Full paths from what a user typed or a setting holds (MakeFullPath), and
// editor, viewer and compare commands whose program is resolved to a full
// path (ResolveProgramCmd).
#pragma once

#include "wintypes.h"

// Room of MakeFullPath's output, in units (bytes for MakeFullPathA).
inline constexpr size_t FULL_PATH_UNITS = 1025;

// Where relative forms are completed.
struct PathContext {
    // The current directory: the tree cursor's, else the process's. Empty
    // when it cannot be had (relative forms then stay as they are).
    WCHAR currentDir[FULL_PATH_UNITS];
    // The letter of the current disk; 0 when no disk is logged (the letter
    // of currentDir is used then).
    WCHAR currentDrive;
    // The path the current pane last showed on a logged disk, or null when
    // that disk is not logged; null when there is no tree.
    const WCHAR* (*lastPanePath)(WCHAR letter);
    // Fills the stamp sections of a path (the mask builder's ":yyyymmdd:")
    // into out (units of room); 0 when done, negative when the text is no
    // valid mask or the result does not fit. Null: such paths stay as they
    // are.
    int (*expandStamps)(const WCHAR* text, WCHAR* out, size_t units);
};

// What the tree model adds to the context; the tree library fills it when
// the tree exists (InstallTreePathSeam). An empty entry leaves the
// process's view: its current directory, no disk logged, no pane paths, no
// stamp sections.
struct PATH_TREE_SEAM {
    // The tree cursor's directory into out; FALSE when there is none.
    BOOL (*cursorDirectory)(WCHAR* out, size_t units);
    // The current disk's letter; 0 when no disk is logged.
    WCHAR (*currentDiskLetter)();
    const WCHAR* (*lastPanePath)(WCHAR letter);
    int (*expandStamps)(const WCHAR* text, WCHAR* out, size_t units);
};
extern PATH_TREE_SEAM gPathTreeSeam;

// The context of the running program. Until the tree exists it is the
// process's current directory with no disk logged; the tree model completes
// it with the cursor's directory, the current disk and the panes' paths.
void GetPathContext(PathContext* context);

// Turns a typed or configured path into a full path with a drive letter, in
// this order: a path beginning with two backslashes is copied unchanged; a
// path holding two or more colons after its drive (or in all, without one)
// has its stamp sections filled from the current time
// ("D:\logs\:yyyymmdd:.txt" is today's log);
// %NAME% references are replaced by environment values; a leading double
// quote is dropped and the text cut at the next one; "\x" gets the current
// disk's letter; ".\x", "..\x" and "dir\x" are joined to the current
// directory; "X:name" is joined to the path the pane last showed on that
// disk, else to its root; every whole "\.." component removes itself and the
// component before it (a root is never removed). A bare name stays as it
// is. out holds FULL_PATH_UNITS units. Returns 0 when out equals the input,
// 1 when a new form was produced, -1 (out empty) when in is null or the
// result does not fit.
int MakeFullPathIn(const PathContext& context, WCHAR* out, const WCHAR* in);
// MakeFullPathIn with GetPathContext.
int MakeFullPath(WCHAR* out, const WCHAR* in);
// The same for 8-bit text in code page 437 (out holds FULL_PATH_UNITS
// bytes); -1 also when the result holds a character the code page lacks.
int MakeFullPathA(char* out, const char* in);

// Rewrites in place an 8-bit command (code page 437, size bytes of room)
// so that its program is a full path: "[LFN]" and "[SFN]" cut off the
// command with the character before them; a leading "START " kept aside;
// the program ends at the first blank at or after the first of ".exe",
// ".com", ".bat", ".cmd", ".lnk", " \", " %", " -" (any case), the rest is
// its arguments; a program "..\x" is taken from the program directory, one
// beginning with "\" or "." or holding "%" through MakeFullPathA; then it is
// located with FindProgram. Found: the command becomes "START " (when it had
// it), the program (in double quotes when it holds a blank), the arguments
// and " %8" when "[SFN]" was given; the result is the program's full path
// in a per-thread buffer. Not found: the command keeps its text without the
// marker, " %8" appended after "[SFN]"; the result is null. A command whose
// new form would not fit in size bytes is left exactly as it was (null).
const char* ResolveProgramCmd(char* cmd, size_t size);
