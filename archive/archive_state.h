// The state the archive windows share with the tree model: whether an
// archive runs as a tree of its own, and whether it must be reloaded.
#pragma once

#include "windows.h"

// Set by the archive windows while an archive runs as a tree of its own
// (full names without a drive letter), cleared when it closes. While it is
// set, path lookups compare whole full names, only the current disk is
// recounted or re-sorted, and a directory's mode word counts as unknown.
extern BOOL gArchiveTreeActive;
// Set by the tree model when a change touches the archive's own path while
// gArchiveTreeActive is set; the archive window reloads the archive when it
// sees it.
extern BOOL gArchiveRefreshPending;
