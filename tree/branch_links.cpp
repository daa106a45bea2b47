// Branch links and release: the threading kept sound while directories,
// branches and disks leave the tree, and the books kept while their records
// are freed.
#include "tree/branch_links.h"

#include "main/window_state.h"
#include "qio.h"
#include "qposix_shares.h"
#include "remote/remote_drives.h"
#include "tree/pane_bookkeeping.h"
#include "ui/progress.h"
#include "ui/sorted_nodes.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace {

SubdirInfo* NextRow(const SubdirInfo* row) { return row->psiChild ? row->psiChild : row->psiNext; }

// dir's psiNext when that is a sibling of dir (the same level), else null:
// what a child link to dir becomes when dir goes.
SubdirInfo* NextSibling(const SubdirInfo* dir) {
    SubdirInfo* next = dir->psiNext;
    return next && next->wLevel == dir->wLevel ? next : nullptr;
}

template <typename T> void LowerBy(T& figure, T amount) { figure -= std::min(figure, amount); }

// The records below dir, in pre-order.
void CollectBelow(SubdirInfo* dir, std::vector<SubdirInfo*>* out) {
    for (SubdirInfo* row = dir->psiChild; row && row->wLevel > dir->wLevel; row = NextRow(row))
        out->push_back(row);
}

// The sorted, distinct addresses of records.
std::vector<void*> SortedSet(const std::vector<SubdirInfo*>& records) {
    std::vector<void*> sorted(records.begin(), records.end());
    SortPtrArray(sorted.data(), sorted.size());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    return sorted;
}

bool InSet(const void* record, const std::vector<void*>& sorted) {
    return record && FindInSortedNodes(record, sorted.data(), sorted.size());
}

// The file figures that a disk and a directory share (under the same
// names) of record lose those of part, never going below 0.
template <typename Record, typename Part> void LowerFigures(Record* record, const Part* part) {
    if (!record) return;
    LowerBy(record->dwFiles, part->dwFiles);
    LowerBy(record->qwFileBytes, part->qwFileBytes);
    for (int p = 0; p < 2; p++) {
        LowerBy(record->dwMatchFiles[p], part->dwMatchFiles[p]);
        LowerBy(record->qwMatchBytes[p], part->qwMatchBytes[p]);
        LowerBy(record->dwTagFiles[p], part->dwTagFiles[p]);
        LowerBy(record->qwTagBytes[p], part->qwTagBytes[p]);
    }
}

void SubtractDirFigures(DiskInfo* disk, const SubdirInfo* dir) { LowerFigures(disk, dir); }
// Each figure less itself.
template <typename Record> void ClearFigures(Record* record) { LowerFigures(record, record); }

// Frees dir's file array and long names.
void FreeFileArray(SubdirInfo* dir) {
    if (!dir->pFiles) return;
    for (FileEntry* e = dir->pFiles; e->wszShortName[0]; e++) std::free(e->pszLongName);
    std::free(dir->pFiles);
    dir->pFiles = nullptr;
}

// Clears a pane's current entry that is one of dir's files.
void ForgetCurrentEntriesOf(const SubdirInfo* dir) {
    for (FileEntry*& current : gPaneCurrentEntry)
        if (current && current->psiOwner == dir) current = nullptr;
}

// The nearest ancestor of record that stays, or null when none does.
SubdirInfo* SurvivingAncestor(SubdirInfo* record, const std::vector<void*>& leaving) {
    SubdirInfo* at = record;
    while (InSet(at, leaving)) {
        SubdirInfo* parent = at->psiParent;
        if (!parent || parent == at) return nullptr;
        at = parent;
    }
    return at;
}

// Frees the count records of leaving (sorted by address, each once), which
// no link of the tree leads to any more, keeping the books (see the
// header): every pointer into them moves to the nearest surviving ancestor
// or is cleared, and in a list of directories their entries are dropped.
void ReleaseRecords(void* const* leaving, size_t count) {
    if (!count) return;
    const std::vector<void*> set(leaving, leaving + count);
    for (FileEntry*& current : gPaneCurrentEntry)
        if (current && InSet(current->psiOwner, set)) current = nullptr;
    if (InSet(psiCurrent, set)) psiCurrent = SurvivingAncestor(psiCurrent, set);
    for (PaneState& pane : gPanes)
        if (InSet(pane.Directory, set)) pane.Directory = SurvivingAncestor(pane.Directory, set);
    if (gDirMode[gCurrentPane & 1]) DropDirListEntries(leaving, count);
    for (void* address : set) {
        auto* record = static_cast<SubdirInfo*>(address);
        if (DiskInfo* disk = record->pdiDisk) {
            if (record->bVisible) LowerBy(disk->dwTreeRows, DWORD(1));
            SubtractDirFigures(disk, record);
            LowerBy(disk->dwDirEntries, DWORD(1));
            disk->qwSlackBytes = 0;
        }
        SubdirInfo* parent = record->psiParent;
        if (parent && parent != record && !InSet(parent, set)) LowerBy(parent->dwChildren, DWORD(1));
    }
    for (void* address : set) {
        auto* record = static_cast<SubdirInfo*>(address);
        FreeFileArray(record);
        std::free(record->pszFullName);
        std::free(record);
    }
}

void ReleaseRecords(const std::vector<SubdirInfo*>& records) {
    const std::vector<void*> leaving = SortedSet(records);
    ReleaseRecords(leaving.data(), leaving.size());
}

} // namespace

// ---- links ------------------------------------------------------------------------------------

void ReplaceTreeLinks(SubdirInfo* dir, SubdirInfo* replacement) {
    if (!dir || !dir->pdiDisk) return;
    SubdirInfo* child = replacement && replacement->wLevel == dir->wLevel ? replacement : nullptr;
    for (SubdirInfo* row = dir->pdiDisk->psiRoot; row; row = NextRow(row)) {
        if (row == dir) break; // only a damaged tree leads here
        if (row->psiChild == dir) row->psiChild = child;
        if (row->psiNext == dir) row->psiNext = replacement;
    }
}

void RelinkBranch(BOOL top, SubdirInfo* start, SubdirInfo* dir, SubdirInfo* replacement,
                  BOOL freeRecord) {
    if (!start || !dir) return;
    const DWORD level = start->wLevel;
    for (SubdirInfo* row = start; row && row->wLevel >= level; row = NextRow(row)) {
        if (row->psiNext == dir) row->psiNext = replacement;
        // Reached through start's child link: no row after it leads to dir.
        if (row == dir) break;
    }
    if (top) {
        if (start->psiChild == dir) start->psiChild = NextSibling(dir);
        if (start->psiNext == dir) start->psiNext = dir->psiNext;
    }
    if (freeRecord) {
        ReplaceTreeLinks(dir, replacement);
        std::vector<SubdirInfo*> records{dir};
        CollectBelow(dir, &records);
        ReleaseRecords(records);
    }
}

void RelinkBranchKeep(BOOL top, SubdirInfo* start, SubdirInfo* dir, SubdirInfo* replacement) {
    RelinkBranch(top, start, dir, replacement, TRUE);
}

void RelinkBranchMove(SubdirInfo* start, SubdirInfo* dir, SubdirInfo* replacement) {
    RelinkBranch(TRUE, start, dir, replacement, FALSE);
}

void UnlinkBranch(SubdirInfo* dir) {
    if (!dir || !dir->pdiDisk || !dir->pdiDisk->psiRoot || dir == dir->pdiDisk->psiRoot) return;
    std::vector<SubdirInfo*> branch{dir};
    CollectBelow(dir, &branch);
    const std::vector<void*> members = SortedSet(branch);
    SubdirInfo* after = dir->psiNext;
    SubdirInfo* sibling = NextSibling(dir);
    for (SubdirInfo* row = dir->pdiDisk->psiRoot; row; row = NextRow(row)) {
        if (InSet(row, members)) break; // only a damaged tree leads here
        if (InSet(row->psiChild, members))
            row->psiChild = sibling && sibling->psiParent == row ? sibling : nullptr;
        if (InSet(row->psiNext, members)) row->psiNext = after;
    }
}

DWORD FixSiblingLinksLimited(SubdirInfo* dir, DWORD maxSteps) {
    if (!dir) return 0;
    const DWORD level = dir->wLevel;
    DWORD steps = 0;
    SubdirInfo* row = dir;
    while (row && steps < maxSteps) {
        steps++;
        if (row->psiChild) {
            SubdirInfo* parent = row->psiParent;
            if (!row->psiNext && parent && parent != row && parent->wLevel >= level)
                row->psiNext = parent->psiNext;
            row = row->psiChild;
            continue;
        }
        if (row->psiNext) {
            row = row->psiNext;
            continue;
        }
        // Neither: the nearest ancestor, not above the walk's level, that
        // leads on. The climb counts against the budget too, so that a loop
        // of parents cannot hang it.
        SubdirInfo* from = row;
        SubdirInfo* parent = row->psiParent;
        while (parent && parent != from && parent->wLevel >= level && !parent->psiNext &&
               steps < maxSteps) {
            steps++;
            from = parent;
            parent = parent->psiParent;
        }
        if (!parent || parent == from || parent->wLevel < level || !parent->psiNext) break;
        row->psiNext = parent->psiNext;
        row = row->psiNext;
    }
    return steps;
}

DWORD FixSiblingLinks(SubdirInfo* dir) { return FixSiblingLinksLimited(dir, FIX_SIBLING_LINKS_STEPS); }

void FixBranchLinks(DiskInfo* disk, SubdirInfo** removed, size_t count) {
    if (!disk || !disk->psiRoot) return;
    // The records to drop, with whatever lies below them, by address.
    std::vector<SubdirInfo*> records;
    for (size_t i = 0; i < count; i++) {
        if (!removed[i] || removed[i] == disk->psiRoot) continue;
        records.push_back(removed[i]);
        CollectBelow(removed[i], &records);
    }
    void** sorted = GrowPtrArray(nullptr, 0, records.size());
    std::copy(records.begin(), records.end(), sorted);
    SortPtrArray(sorted, records.size());
    const size_t distinct = size_t(std::unique(sorted, sorted + records.size()) - sorted);
    auto dropped = [&](const SubdirInfo* record) {
        return record && FindInSortedNodes(record, sorted, distinct);
    };
    // One walk: every link that leads to a dropped record leads past it.
    for (SubdirInfo* row = disk->psiRoot; row; row = NextRow(row)) {
        if (dropped(row->psiChild)) {
            SubdirInfo* child = row->psiChild;
            const DWORD level = child->wLevel;
            while (child && child->wLevel == level && dropped(child)) child = child->psiNext;
            row->psiChild = child && child->wLevel == level ? child : nullptr;
        }
        if (dropped(row->psiNext)) {
            SubdirInfo* next = row->psiNext;
            while (dropped(next)) next = next->psiNext;
            row->psiNext = next;
        }
    }
    if (disk->psiRoot->psiChild) FixSiblingLinks(disk->psiRoot->psiChild);
    ReleaseRecords(sorted, distinct);
    std::free(sorted);
    _heapmin();
}

// ---- freeing ----------------------------------------------------------------------------------

void FreeDirFiles(SubdirInfo* dir, BOOL withFiles) {
    if (!dir) return;
    DiskInfo* disk = dir->pdiDisk;
    if (withFiles) {
        ForgetCurrentEntriesOf(dir);
        SubtractDirFigures(disk, dir);
        if (disk) disk->qwSlackBytes = 0;
        FreeFileArray(dir);
        ClearFigures(dir);
        dir->bExpanded = dir->bLogged = dir->bChanged = 0;
    }
    if (dir->psiChild && dir->psiChild->pdiDisk == disk) {
        // Only dir's child link leads into its branch: cutting it takes the
        // branch out of the threading, and dir keeps its place.
        std::vector<SubdirInfo*> below;
        CollectBelow(dir, &below);
        dir->psiChild = nullptr;
        ReleaseRecords(below);
    }
    _heapmin();
}

void FreeDiskTree(DiskInfo* disk) {
    if (!disk) return;
    SetBusy(1);
    std::vector<SubdirInfo*> records;
    if (SubdirInfo* root = disk->psiRoot) {
        records.push_back(root);
        for (SubdirInfo* row = NextRow(root); row && row != root; row = NextRow(row))
            records.push_back(row);
    }
    disk->psiRoot = nullptr;
    ReleaseRecords(records);
    ClearFigures(disk);
    disk->dwDirEntries = 0;
    disk->dwTreeRows = 0;
    disk->qwSlackBytes = 0;
    _heapmin();
    SetBusy(0);
}

namespace {

// The logged directory of pane's saved path on pdiCurrent, else its root.
SubdirInfo* SavedDirectory(int pane) {
    if (!pdiCurrent || !pdiCurrent->psiRoot) return nullptr;
    SubdirInfo* found = FindDirByPath(pdiCurrent->wszSavedPath[pane & 1], nullptr, TRUE);
    return found ? found : pdiCurrent->psiRoot;
}

} // namespace

DiskInfo* ReleaseDisk(DiskInfo* disk) {
    if (!disk) return pdiCurrent;
    DiskInfo* next = gDiskCount > 1 ? disk->pdiNext : nullptr;
    if (gDiskCount <= 1) {
        pdiFirst = pdiLast = nullptr;
    } else {
        disk->pdiPrev->pdiNext = disk->pdiNext;
        disk->pdiNext->pdiPrev = disk->pdiPrev;
        if (pdiFirst == disk) pdiFirst = disk->pdiNext;
        if (pdiLast == disk) pdiLast = disk->pdiPrev;
        // A single disk's links are null.
        if (gDiskCount == 2) pdiFirst->pdiNext = pdiFirst->pdiPrev = nullptr;
    }
    FreeDiskTree(disk);
    RdUnmount(disk->cDrive);
    NetShareUnmapDrive(WCHAR(disk->cDrive));
    if (gDiskCount) gDiskCount--;
    if (pdiCurrent == disk) {
        pdiCurrent = next;
        psiCurrent = SavedDirectory(gCurrentPane);
    }
    for (size_t p = 0; p < std::size(gPanes); p++) {
        PaneState& pane = gPanes[p];
        if (pane.Disk != disk) continue;
        pane.Disk = pdiCurrent;
        pane.Directory = SavedDirectory(int(p));
        if (p < 2 && gDisplayMode[p] != 5) pane.CurrentIndex = pane.FirstShown = 0;
    }
    std::free(disk);
    return pdiCurrent;
}

// ---- expanding --------------------------------------------------------------------------------

void TreeExpandWalk(BOOL toggle) {
    SubdirInfo* top = psiCurrent;
    if (!top || !top->psiChild) return;
    BYTE state;
    if (toggle) {
        state = !top->bExpanded;
    } else {
        bool collapsedChild = false;
        for (SubdirInfo* c = top->psiChild; c && c->wLevel == top->wLevel + 1; c = c->psiNext)
            if (c->bVisible && c->psiChild && !c->bExpanded) collapsedChild = true;
        state = !top->bExpanded || collapsedChild;
    }
    DiskInfo* disk = top->pdiDisk;
    for (SubdirInfo* d = top->psiChild; d && d->wLevel > top->wLevel; d = NextRow(d)) {
        if (d->psiParent == top || d->psiParent->bLogged == 1) {
            if (disk && d->bVisible != state) {
                if (state) disk->dwTreeRows++;
                else LowerBy(disk->dwTreeRows, DWORD(1));
            }
            d->bVisible = state;
        }
        if (d->bLogged == 1) d->bExpanded = state;
    }
    top->bExpanded = state;
}
