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
