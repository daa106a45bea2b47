// Wildcard matching of file names and backslash-separated paths: one matcher
// under a process-wide flag word, and the four entries that set the word
// for what they match (file names against filespec entries, paths against
// path patterns and never-log entries).
#pragma once

#include "wintypes.h"

// The flag word of the matcher.
inline constexpr DWORD FNM_SLASH_LITERAL = 1;   // "/" is matched only by itself
inline constexpr DWORD FNM_NO_ESCAPE = 2;       // backslash is an ordinary character
inline constexpr DWORD FNM_SPLIT_EXTENSION = 4; // the name part ends before the last "."
inline constexpr DWORD FNM_PATH = 8;            // a single "*" does not pass a backslash
inline constexpr DWORD FNM_DOUBLE_STAR = 16;    // "**" passes backslashes; "**\" may be empty
inline constexpr DWORD FNM_LEADING_PART = 32;   // a name that runs out first is a match

// The characters that open and close a character set in a pattern; "[" and
// "]" are ordinary characters, as they are in file names.
inline constexpr WCHAR FNM_SET_OPEN = 0x25C4;
inline constexpr WCHAR FNM_SET_CLOSE = 0x25BA;

// Length of each pattern of the record, terminator included.
inline constexpr size_t FNMATCH_PATTERN_UNITS = 256;

// A filespec entry as fnmatch takes it: the pattern of the name part and
// the pattern of the extension.
struct FnMatchPattern {
    WCHAR name[FNMATCH_PATTERN_UNITS];
    WCHAR extension[FNMATCH_PATTERN_UNITS];
};

// The flag word FnMatchCore works under; each entry sets it before matching.
extern DWORD gFnMatchFlags;

// pattern against name under gFnMatchFlags: 1 for a match, 0 otherwise.
// Characters compare lower-cased; a "?" that finds the name part used up
// matches nothing only when the rest of the pattern is "?" alone and the
// trailing-? setting is off. However many stars a pattern holds, the work
// stays polynomial in the lengths of pattern and name.
int FnMatchCore(LPCWSTR pattern, LPCWSTR name);

// A file name against a filespec entry (flags 1, 2, 4): the name pattern
// against the part before the last ".", then the extension pattern against
// the part after it; a name without extension matches only an empty or "*"
// extension pattern. Carries libc's name: a C++ overload, never libc's.
int fnmatch(const FnMatchPattern* pattern, LPCWSTR name);

// A path against one level of a path pattern (flags 1, 2, 8).
int FnMatchFlags11(LPCWSTR pattern, LPCWSTR path);
// The same where "**" passes directories (flags 1, 2, 8, 16).
int FnMatchFlags27(LPCWSTR pattern, LPCWSTR path);
// The same, and a path that runs out first may still lead to a match
// (flags 1, 2, 8, 16, 32).
int FnMatchFlags59(LPCWSTR pattern, LPCWSTR path);
