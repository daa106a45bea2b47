// Bookkeeping of each pane's view of the tree: the display list's entries
// and figures as records leave the tree.
#pragma once

#include "tree/tree_records.h"

#include <cstddef>

// Removes the pointer at index (from 0) of the pane's display list: the
// later ones move up, gFMax drops by one, and each of gFTagged, gFMatching
// and gFTotal by one when it is not 0. Nothing happens without a list or
// for an index at or beyond gFMax.
void DropDirListEntry(DWORD index);
// DropDirListEntry for every list entry that is among the count records of
// sorted (ascending by address), in one pass. Returns the entries dropped.
DWORD DropDirListEntries(void* const* sorted, size_t count);

// Over the pane's display list, the matching entries tagged (flag 1 or 4):
// their number when countOnly or when their bytes sum to 0, else the byte
// sum, with 70000 bytes added per file when withOverhead.
ULONGLONG SumTaggedSize(BOOL countOnly, BOOL withOverhead);
// The entries of dir whose flags of pane have bit 1 or 4.
DWORD CountTaggedInDir(const SubdirInfo* dir, WORD pane);
// The owning directory of lowest level among the display-list entries
// (psiCurrent for an empty list).
SubdirInfo* ShallowestListDir();
// In the branch, showall and global display modes: index and the first shown
// list index as the pane's dwListIndex and dwListTop of dir's disk.
void SaveSidePosition(SubdirInfo* dir, DWORD index);
// Every disk: the other pane's dwListKey and dwListIndex, and every
// directory's dwPaneWord, copied to the current pane.
void InheritOtherSideState();
// Every disk: pane 0's dwListKey becomes pane 1's and its dwListIndex 0;
// every directory's dwPaneWord of the current pane is cleared.
void ResetSideDirState();
// Limits the tree cursor row to the window, pulls the top back while the
// rows below would not fill it, stores both for the pane, and returns the
// directory of the cursor row.
SubdirInfo* KeepTreeCursorVisible(DWORD* treeTop, WORD* yBar);
// Tags in the other pane every listed entry that matches and is tagged in
// the current pane and is not tagged in the other.
void CopyTagsToOtherSide();
// For a ".LNK" list entry whose target exists: the jump globals set and
// 4153 returned; else 0.
int FollowShortcutEntry(DWORD index);
// Deletes a temporary file; the shared one only when its use count drops to
// 0.
void ReleaseTempFile(const WCHAR* path);
// The information screen's compressed (or sparse) files and their bytes, as
// the last ComputeDiskSlack counted them.
extern DWORD gSlackCompressedFiles;
extern ULONGLONG gSlackCompressedBytes;
// The cluster slack of pdiCurrent's logged files for the information
// screen, stored as the disk's qwSlackBytes, with qwSavedBytes when every
// directory is logged; the compressed files are counted only below
// psiCurrent when asked. The cluster is wSectorBytes x wClusterSectors (0:
// no slack). A key press (gInterruptRequested) stops it: both figures and
// the result stay all ones.
ULONGLONG ComputeDiskSlack(BOOL belowCurrentOnly);
