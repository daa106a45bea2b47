// The display list of the current pane: a header of per-pane totals
// followed by pointers into the tree's records, in display order.
#pragma once

#include "tree/tree_records.h"

struct DisplayFileList {
    DWORD taggedEntries[2];   // listed entries tagged or marked
    DWORD taggedFiles[2];     // sum of the walked directories' dwTagFiles
    ULONGLONG taggedBytes[2];
    ULONGLONG matchingBytes[2];
    // Followed in the same block by gFMax + 1 pointers (FileEntry, or
    // SubdirInfo in directory mode), the last null: ListEntries.
};
static_assert(sizeof(DisplayFileList) == 48);

// The entry pointers that follow the header, read through the shared head.
inline EntryHead** ListEntries(DisplayFileList* list) {
    return reinterpret_cast<EntryHead**>(list + 1);
}

// The list; null when the scope shows nothing.
extern DisplayFileList* gFileList;
// Entries listed (while a list is built: entries allocated).
extern DWORD gFMax;
// The list's figures for the statistics panel: entries tagged, entries
// matching the pane's filespec, and entries of the scope.
extern DWORD gFTagged;
extern DWORD gFMatching;
extern DWORD gFTotal;
