// The display list of the current pane: a header of per-pane totals
// followed by pointers into the tree's records, in display order, and the
// builders that gather it from the pane's scope (the current directory, its
// branch, the disk or every logged disk).
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
// Of the scope of the last build: tagged entries, entries that pass the
// filter, and all entries.
extern DWORD gFTagged;
extern DWORD gFMatching;
extern DWORD gFTotal;

// The caller tag of RebuildAllFileLists, named in the fatal message.
inline constexpr int LIST_CALLER_REBUILD_ALL = 16069;

// Every builder first frees the pane's old list. Only the current pane's
// elements of the header are written. An allocation that fails asks the
// error dialog (error 8) and tries again on retry; any other answer leaves
// no list. The busy mark is shown by the global builders and cleared on
// every way out.

// Display modes 1 and 2: the files of psiCurrent that match the filter (with
// taggedOnly, the tagged ones and those marked to be included once); in
// directory mode the pane's subdirectory list instead. Sorted when the
// pane's order asks for it.
void BuildDisplayFileList(DWORD taggedOnly);
// Display modes 3 (psiCurrent's branch), 4 (disk) and 5 (every logged disk
// from disk on); in directory mode BuildGlobalDirList. callerTag only
// appears in the fatal message of inconsistent counters.
void BuildGlobalFileList(DWORD taggedOnly, DiskInfo* disk, int callerTag);
// The directories of the same scopes as entries.
void BuildGlobalDirList(DWORD taggedOnly, DiskInfo* disk, int callerTag);
// The direct subdirectories of psiCurrent as entries.
void BuildSubdirList(DWORD taggedOnly);
// Frees the list, recounts the logged disks (only pdiCurrent inside an
// archive tree), builds the list for the pane's display mode (modes 1 and
// 2 sorted with sortArg) and updates the list statistics.
void RebuildAllFileLists(int sortArg);
// Marks (flag 4) every listed entry that matches and is tagged, so that a
// command over tagged entries can later tell which took part.
void MarkTaggedInList();
// Clears flags 1 and 4 of every file in pane's scope; counters are left to
// the caller's recount.
void UntagScope(WORD pane);

// Test hook: while set, the recount that follows a count above the
// allocated number leaves the counters as they were, so that the fatal end
// of inconsistent counters can be reached.
extern BOOL gFileListSkipRecountForTest;
