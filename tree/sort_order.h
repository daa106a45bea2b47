// Sort orders of the panes and the small name comparators that keep
// directory names in tree order.
#pragma once

#include "windows.h"

// A pane's order in five bytes.
struct SortSpec {
    BYTE key;        // 0 to 14
    BYTE pathFirst;  // compare the owners' full names first
    BYTE descending;
    BYTE charset;    // 0 OEM (ASCII letters folded), 1 ANSI (locale compare)
    BYTE timestamp;  // 0 written, 1 created, 2 accessed
};
static_assert(sizeof(SortSpec) == 5);

inline constexpr BYTE SORT_CHARSET_OEM = 0;
inline constexpr BYTE SORT_CHARSET_ANSI = 1;

// Per pane: the file order, the directory order, and the order the window
// works with now (one of the two).
extern SortSpec gFileOrder[2];
extern SortSpec gDirOrder[2];
extern SortSpec* gPaneOrder[2];
// Directory names compared in number order (StrCmpLogicalW) instead of
// plainly; shared by both panes.
extern BOOL gTreeNumberOrder;

// Plain name order: an empty name first, drive entries last (two of them
// equal); ANSI: the locale's compare without case; OEM: unit by unit with
// ASCII letters folded to upper case. The character set is the current
// pane's.
int CompareNames(const WCHAR* a, const WCHAR* b);
// Tree order of two records given as pointers to record pointers (qsort
// form): their long names in number order when gTreeNumberOrder is on, else
// CompareNames; ties by wcscmp.
int CompareEntryNames(const void* a, const void* b);
// The same order between a name (a const WCHAR*) and a record given as a
// pointer to its pointer (bsearch form), by CompareNames and wcscmp.
int FindEntryName(const void* name, const void* record);
// StrCmpLogicalW.
int CompareLogical(const WCHAR* a, const WCHAR* b);
