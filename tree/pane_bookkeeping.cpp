// The display list's entries and figures as records leave the tree.
#include "tree/pane_bookkeeping.h"

#include "tree/file_list.h"
#include "ui/sorted_nodes.h"

#include <algorithm>

namespace {

// Each figure drops by one per entry removed, never below 0.
void LowerListFigures(DWORD removed) {
    for (DWORD* figure : {&gFTagged, &gFMatching, &gFTotal})
        *figure -= std::min(*figure, removed);
    gFMax -= removed;
}

} // namespace

void DropDirListEntry(DWORD index) {
    if (!gFileList || index >= gFMax) return;
    EntryHead** entries = ListEntries(gFileList);
    // The pointers after it move up, the closing null with them.
    std::copy(entries + index + 1, entries + gFMax + 1, entries + index);
    LowerListFigures(1);
}

DWORD DropDirListEntries(void* const* sorted, size_t count) {
    if (!gFileList || !count) return 0;
    EntryHead** entries = ListEntries(gFileList);
    DWORD kept = 0;
    for (DWORD i = 0; i < gFMax; i++)
        if (!FindInSortedNodes(entries[i], sorted, count)) entries[kept++] = entries[i];
    const DWORD removed = gFMax - kept;
    std::fill(entries + kept, entries + gFMax + 1, nullptr);
    LowerListFigures(removed);
    return removed;
}
