// Keeping the per-pane match and tag counters in step with the filters.
#include "tree/dir_counts.h"

#include "main/window_state.h"
#include "tree/filter.h"
#include "tree/tree_records.h"

namespace {

// Takes what from figure, stopping at 0.
template <typename T> void Subtract(T& figure, T what) { figure = figure > what ? figure - what : 0; }

// The panes whose bits a recount sets: the current one, and in split
// screen the other one as well.
bool PaneIsRecounted(int pane) { return pane == gCurrentPane || gSplitScreen; }

void SetBit(BYTE& flags, bool on) {
    if (on) flags |= ENTRY_MATCHES;
    else flags &= BYTE(~ENTRY_MATCHES);
}

// The match bits of dir and every directory of its branch for pane.
void MarkBranch(SubdirInfo* dir, int pane) {
    const FilterSlot& slot = gFilterSlots[pane];
    for (SubdirInfo* d = dir; d;) {
        const bool hidden = d->pszName && d->pszName[0] == '/';
        SetBit(d->bFlags[pane], !hidden && SlotPasses(slot, d));
        SubdirInfo* next = d->psiChild ? d->psiChild : d->psiNext;
        if (!next || next->wLevel <= dir->wLevel) break;
        d = next;
    }
}

} // namespace

void ApplyDirCounts(DiskInfo* disk, SubdirInfo* dir) {
    if (!dir) return;
    if (disk) {
        for (int p = 0; p < 2; p++) {
            Subtract(disk->dwMatchFiles[p], dir->dwMatchFiles[p]);
            Subtract(disk->qwMatchBytes[p], dir->qwMatchBytes[p]);
            Subtract(disk->dwTagFiles[p], dir->dwTagFiles[p]);
            Subtract(disk->qwTagBytes[p], dir->qwTagBytes[p]);
        }
    }
    for (int p = 0; p < 2; p++) {
        dir->dwMatchFiles[p] = dir->dwTagFiles[p] = 0;
        dir->qwMatchBytes[p] = dir->qwTagBytes[p] = 0;
        if (PaneIsRecounted(p) && gDirMode[p]) MarkBranch(dir, p);
    }
    if (dir->pFiles) {
        bool setBits[2];
        for (int p = 0; p < 2; p++) setBits[p] = PaneIsRecounted(p) && !gDirMode[p];
        DWORD counted = 0;
        for (FileEntry* e = dir->pFiles; e->wszShortName[0]; e++) {
            if (IsDriveEntry(e)) continue;
            counted++;
            for (int p = 0; p < 2; p++) {
                if (setBits[p]) SetBit(e->bFlags[p], SlotPasses(gFilterSlots[p], e));
                if (e->bFlags[p] & ENTRY_MATCHES) {
                    dir->dwMatchFiles[p]++;
                    dir->qwMatchBytes[p] += e->qwSize;
                }
                if (e->bFlags[p] & (ENTRY_TAGGED | ENTRY_MARKED)) {
                    dir->dwTagFiles[p]++;
                    dir->qwTagBytes[p] += e->qwSize;
                }
            }
        }
        dir->dwFiles = counted;
    }
    if (disk) {
        for (int p = 0; p < 2; p++) {
            disk->dwMatchFiles[p] += dir->dwMatchFiles[p];
            disk->qwMatchBytes[p] += dir->qwMatchBytes[p];
            disk->dwTagFiles[p] += dir->dwTagFiles[p];
            disk->qwTagBytes[p] += dir->qwTagBytes[p];
        }
    }
}

void RecountDisk(DiskInfo* disk) {
    if (!disk || !disk->psiRoot) return;
    for (int p = 0; p < 2; p++) {
        disk->dwMatchFiles[p] = disk->dwTagFiles[p] = 0;
        disk->qwMatchBytes[p] = disk->qwTagBytes[p] = 0;
    }
    const bool listsDirs = gDirMode[gCurrentPane] != 0;
    for (SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
        for (int p = 0; p < 2; p++) {
            d->dwMatchFiles[p] = d->dwTagFiles[p] = 0;
            d->qwMatchBytes[p] = d->qwTagBytes[p] = 0;
        }
        if (d->bLogged == 1 || (listsDirs && !d->bExpanded)) ApplyDirCounts(disk, d);
    }
    // While a pane lists directories every directory's bit follows its
    // filter, read or not.
    for (int p = 0; p < 2; p++)
        if (PaneIsRecounted(p) && gDirMode[p]) MarkBranch(disk->psiRoot, p);
}

void RecountAllDisks() {
    DiskInfo* const current = pdiCurrent;
    DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++) {
        pdiCurrent = disk;
        RecountDisk(disk);
        disk = disk->pdiNext;
    }
    pdiCurrent = current;
}
