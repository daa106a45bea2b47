// The scope of a display list gathered the slow way, for the list tests:
// every row of the disks concerned, kept when it belongs, found by parents
// rather than by the builders' walk.
#pragma once

#include "tree/tree_records.h"

#include <vector>

namespace qtest {

inline bool IsTaggedFlag(BYTE f) { return (f & (ENTRY_TAGGED | ENTRY_MARKED)) != 0; }

// Whether d lies in top's branch (top included), by its parents.
inline bool InBranch(const SubdirInfo* d, const SubdirInfo* top) {
    for (;;) {
        if (d == top) return true;
        if (d->wLevel == 0 || d->wLevel <= top->wLevel) return false;
        d = d->psiParent;
    }
}

// The directories of display mode's scope in row order: psiCurrent (modes 1
// and 2), its branch (3), disk (4), or every disk of the ring from disk on
// (5).
inline std::vector<SubdirInfo*> ScopeDirs(WORD mode, DiskInfo* disk) {
    std::vector<DiskInfo*> disks{disk};
    if (mode == 5)
        for (DiskInfo* k = disk->pdiNext; k && k != disk; k = k->pdiNext) disks.push_back(k);
    std::vector<SubdirInfo*> dirs;
    for (DiskInfo* k : disks)
        for (SubdirInfo* d = k->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
            if (mode <= 2 && d != psiCurrent) continue;
            if (mode == 3 && !InBranch(d, psiCurrent)) continue;
            dirs.push_back(d);
        }
    return dirs;
}

} // namespace qtest
