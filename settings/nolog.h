// The never-log list: directories named in QNOLOG.INI are left out of the
// tree whenever a disk or branch is logged. The file is read at start-up and
// again after the configuration program; the /QN switch turns the list off
// for the session.
#pragma once

#include "wintypes.h"

#include <cstddef>

// One pattern of the list.
struct NoLogEntry {
    WCHAR* pattern;  // owned; the drive prefix already put in front
    DWORD deep;      // made from a line holding "**\" (one of its two entries)
    DWORD nameOnly;  // a line without a backslash: matched against the last component
    DWORD depth;     // backslashes of a path pattern without "**"; 0 otherwise
};

// The entries in file order. count -1: the list is disabled and never loaded.
struct NoLogList {
    NoLogEntry* entries;
    LONG count;
    LONG capacity;
};

extern NoLogList gNoLogList;

// Longest line of the file that is taken, in characters without its line
// end; a longer line is passed over whole.
inline constexpr size_t NOLOG_LINE_UNITS = 1025;

// Reads QNOLOG.INI (found through FindProgram) into gNoLogList, replacing
// the entries read before. Returns the number of entries: 0 when the list
// is disabled, the file is not found or cannot be read.
int LoadNoLogList();
// 1 when the directory at path, which holds level backslashes, is excluded
// by an entry of gNoLogList (entries in file order), else 0.
int IsNoLogPath(DWORD level, const WCHAR* path);
// Turns the list off for the session (the /QN switch): the entries are
// freed, the count becomes -1 and LoadNoLogList reads nothing from then on.
void DisableNoLogList();

// ---- the cores the two entries above are built on ---------------------------

// Applies the line rules to one line of length units (it need not be
// terminated; it ends at the first carriage return, line feed or null):
// adds none, one or, for "**\", two entries to list. A line longer than
// NOLOG_LINE_UNITS is passed over.
void NoLogListAddLine(NoLogList* list, const WCHAR* line, size_t length);
// Adds the entries of a whole file image: UTF-8 after the bytes EF BB BF,
// UTF-16LE after FF FE, otherwise code page 437.
void NoLogListParse(NoLogList* list, const BYTE* data, size_t size);
// 1 when an entry of list excludes path at level (see IsNoLogPath).
int NoLogListMatches(const NoLogList* list, DWORD level, const WCHAR* path);
// Frees the entries; the count becomes 0 (a disabled list stays at -1).
void NoLogListFree(NoLogList* list);
