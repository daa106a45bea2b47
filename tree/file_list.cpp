// The display list of the current pane and its builders.
#include "tree/file_list.h"

#include "archive/archive_state.h"
#include "main/statistics.h"
#include "main/window_state.h"
#include "platform/keyboard.h"
#include "settings/quit.h"
#include "tree/dir_counts.h"
#include "tree/sort_order.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

DisplayFileList* gFileList = nullptr;
DWORD gFMax = 0;
DWORD gFTagged = 0;
DWORD gFMatching = 0;
DWORD gFTotal = 0;
BOOL gFileListSkipRecountForTest = FALSE;

namespace {

// What the macro stop codes test: a list exists and holds matching
// entries; the pane has tagged entries (of the list's scope, or of the disk
// while no list is shown).
void DisplayListFacts(MACRO_LIST_FACTS* facts) {
    const int pane = gCurrentPane;
    facts->listExists = gFileList != nullptr;
    facts->matching = gFileList ? gFMax : 0;
    facts->tagged = gFileList ? gFTagged : (pdiCurrent ? pdiCurrent->dwTagFiles[pane] : 0);
}

// The key reader asks the list from the first key on.
[[maybe_unused]] const bool gListFactsInstalled = (gMacroListFacts = DisplayListFacts, true);

SubdirInfo* NextInTree(const SubdirInfo* d) { return d->psiChild ? d->psiChild : d->psiNext; }

bool IsTagged(BYTE flags) { return (flags & (ENTRY_TAGGED | ENTRY_MARKED)) != 0; }

// Leaves the busy state however the builder returns.
struct BusyScope {
    BusyScope() { SetBusy(1); }
    ~BusyScope() { SetBusy(0); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

void ForgetList() {
    // The pane's list is the block's only owner: a builder that merely
    // dropped the pointer would lose the block.
    std::free(gFileList);
    gFileList = nullptr;
    gFMax = 0;
    gPanes[gCurrentPane].ListRebuilt = 0;
}

// A zeroed block for entries pointers and the end mark; the error dialog
// (error 8) is asked while it cannot be had, until it answers other than
// retry.
DisplayFileList* AllocList(DWORD entries, const DiskInfo* disk) {
    const size_t bytes = sizeof(DisplayFileList) + sizeof(EntryHead*) * (size_t(entries) + 1);
    for (;;) {
        if (void* block = CallocOrNull(1, bytes)) return static_cast<DisplayFileList*>(block);
        gErrorAnswer = ErrorDialog(disk ? disk->cDrive : 0, ERROR_NOT_ENOUGH_MEMORY, 0);
        if (gErrorAnswer != ErrChoiceRetry) return nullptr;
    }
}

// Walks the directories of a scope in tree order: display mode 3 psiCurrent
// and its branch, 4 the disk, 5 every disk of the ring from disk on; any
// other mode psiCurrent alone.
template <class Visit>
void WalkScope(WORD mode, DiskInfo* disk, Visit visit) {
    if (mode == 3) {
        SubdirInfo* top = psiCurrent;
        if (!top) return;
        visit(top);
        for (SubdirInfo* d = NextInTree(top); d && d->wLevel > top->wLevel; d = NextInTree(d))
            visit(d);
        return;
    }
    if (mode == 4 || mode == 5) {
        const WORD disks = mode == 5 ? gDiskCount : WORD(1);
        DiskInfo* k = disk;
        for (WORD n = 0; n < disks && k; n++, k = k->pdiNext) {
            for (SubdirInfo* d = k->psiRoot; d; d = NextInTree(d)) visit(d);
            if (!k->pdiNext || k->pdiNext == disk) break;
        }
        return;
    }
    if (psiCurrent) visit(psiCurrent);
}

// The entries of one build: stored while below the allocated number,
// counted always.
struct ListFill {
    DisplayFileList* list = nullptr;
    DWORD allocated = 0;
    DWORD count = 0;
    bool taggedOnly = false;
    int pane = 0;

    void Add(EntryHead* entry) {
        if (count < allocated) ListEntries(list)[count] = entry;
        count++;
    }

    // One more pointer for an entry that the counters did not promise (an
    // untagged entry included once in a tagged-only list).
    void Grow() {
        const size_t bytes = sizeof(DisplayFileList) + sizeof(EntryHead*) * (size_t(allocated) + 2);
        list = static_cast<DisplayFileList*>(CHECKED_REALLOC(list, bytes, "Qtb"));
        ListEntries(list)[allocated + 1] = nullptr;
        allocated++;
        gFMax++;
        gFTagged++;
    }

    // The listed files of one directory; returns whether it contributed.
    bool AddFiles(SubdirInfo* dir) {
        if (!dir->pFiles || !dir->bLogged) return false;
        for (FileEntry* e = dir->pFiles; e->wszShortName[0]; e++) {
            if (IsDriveEntry(e)) continue;
            BYTE& flags = e->bFlags[pane];
            if (!(flags & ENTRY_MATCHES)) continue;
            if (IsTagged(flags)) {
                list->taggedEntries[pane]++;
            } else if (taggedOnly) {
                if (!(flags & ENTRY_INCLUDED)) continue;
                flags &= BYTE(~ENTRY_INCLUDED);
                Grow();
            }
            Add(HeadOf(e));
        }
        return true;
    }

    void AddSums(const SubdirInfo* dir) {
        list->taggedFiles[pane] += dir->dwTagFiles[pane];
        list->taggedBytes[pane] += dir->qwTagBytes[pane];
        list->matchingBytes[pane] += dir->qwMatchBytes[pane];
    }

    void SetSums(const SubdirInfo* dir) {
        list->taggedFiles[pane] = dir->dwTagFiles[pane];
        list->taggedBytes[pane] = dir->qwTagBytes[pane];
        list->matchingBytes[pane] = dir->qwMatchBytes[pane];
    }

    // A directory as an entry of a directory list.
    void AddDir(SubdirInfo* dir) {
        if (!dir->pszName) return;
        const BYTE flags = dir->bFlags[pane];
        if (!(flags & ENTRY_MATCHES)) return;
        if (IsTagged(flags)) {
            list->taggedEntries[pane]++;
            Add(HeadOf(dir));
        } else if (!taggedOnly) {
            Add(HeadOf(dir));
        }
    }
};

// Counts of a directory-mode scope: every named directory in gFTotal, the
// tagged matching ones in gFTagged; returns the entries to allocate.
template <class Walk>
DWORD CountDirScope(bool taggedOnly, int pane, Walk walk) {
    DWORD allocate = 0;
    gFTagged = gFMatching = gFTotal = 0;
    walk([&](SubdirInfo* d) {
        if (!d->pszName) return;
        gFTotal++;
        const BYTE flags = d->bFlags[pane];
        if (!(flags & ENTRY_MATCHES)) return;
        if (IsTagged(flags)) gFTagged++;
        if (IsTagged(flags) || !taggedOnly) allocate++;
    });
    return allocate;
}

// The file counters of display modes 3 to 5.
void CountFileScope(WORD mode, DiskInfo* disk, int pane) {
    gFTagged = gFMatching = gFTotal = 0;
    if (mode == 3) {
        SumBranchStats(psiCurrent, TRUE);
        gFTotal = gStatFiles;
        gFMatching = gStatMatchFiles;
        gFTagged = gStatTagFiles;
        return;
    }
    const WORD disks = mode == 5 ? gDiskCount : WORD(1);
    DiskInfo* k = disk;
    for (WORD n = 0; n < disks && k; n++, k = k->pdiNext) {
        gFTotal += k->dwFiles;
        gFMatching += k->dwMatchFiles[pane];
        gFTagged += k->dwTagFiles[pane];
        if (!k->pdiNext || k->pdiNext == disk) break;
    }
}

// The counters of the disks a scope touches, recounted from their records.
void RecountScope(WORD mode, DiskInfo* disk) {
    if (gFileListSkipRecountForTest) return;
    DiskInfo* const current = pdiCurrent;
    if (mode == 5) {
        DiskInfo* k = disk;
        for (WORD n = 0; n < gDiskCount && k; n++, k = k->pdiNext) {
            pdiCurrent = k;
            RecountDisk(k);
            if (!k->pdiNext || k->pdiNext == disk) break;
        }
    } else if (disk) {
        pdiCurrent = disk;
        RecountDisk(disk);
    }
    pdiCurrent = current;
}

[[noreturn]] void FatalListCount(int line, DWORD taggedOnly, int callerTag, DWORD max, DWORD count) {
    SetBusy(0);
    char message[400];
    snprintf(message, sizeof message,
             "\nFatal Memory error in module: %s\n"
             "Line: (%d) BuildGlobalFileList(%d, %d) : gFMax = %u : Count = %u\n",
             "Qtb", line, int(taggedOnly), callerTag, unsigned(max), unsigned(count));
    FatalExitWithMessage(message);
}

// Ends a build: the list holds count entries (0: no list).
void CloseList(ListFill& fill) {
    gFMax = fill.count;
    if (fill.count == 0) {
        std::free(fill.list);
        gFileList = nullptr;
        return;
    }
    ListEntries(fill.list)[fill.count] = nullptr;
    gFileList = fill.list;
}

bool SameFirstFour(const SortSpec& a, const SortSpec& b) { return std::memcmp(&a, &b, 4) == 0; }

// The files of psiCurrent, the files of a wider scope (display modes 3 to
// 5), the directories of that scope, psiCurrent's subdirectories.
enum class Scope { Directory, Files, Dirs, Subdirs };

// One build of a list over the scope; returns false when more entries were
// found than the counters promised (nothing is kept then, unless keepFirst:
// then the entries allocated for are kept).
bool BuildOnce(Scope scope, DWORD taggedOnly, DiskInfo* disk, DWORD* found, bool keepFirst) {
    const int pane = gCurrentPane;
    const WORD mode = gDisplayMode[pane];
    DWORD allocate;
    if (scope == Scope::Directory) {
        gFTagged = psiCurrent->dwTagFiles[pane];
        gFMatching = psiCurrent->dwMatchFiles[pane];
        gFTotal = psiCurrent->dwFiles;
        allocate = taggedOnly ? gFTagged : gFMatching;
    } else if (scope == Scope::Files) {
        CountFileScope(mode, disk, pane);
        allocate = taggedOnly ? gFTagged : gFMatching;
    } else if (scope == Scope::Dirs) {
        allocate = CountDirScope(taggedOnly, pane, [&](auto visit) { WalkScope(mode, disk, visit); });
    } else {
        allocate = CountDirScope(taggedOnly, pane, [&](auto visit) {
            if (!psiCurrent) return;
            for (SubdirInfo* d = psiCurrent->psiChild; d && d->wLevel == psiCurrent->wLevel + 1;
                 d = d->psiNext)
                visit(d);
        });
    }
    *found = 0;
    if (allocate == 0) return true;
    ListFill fill;
    fill.pane = pane;
    fill.taggedOnly = taggedOnly != 0;
    fill.allocated = gFMax = allocate;
    fill.list = AllocList(allocate, disk ? disk : pdiCurrent);
    if (!fill.list) {
        gFMax = 0;
        return true;
    }
    if (scope == Scope::Directory) {
        fill.AddFiles(psiCurrent);
        fill.SetSums(psiCurrent);
    } else if (scope == Scope::Files) {
        WalkScope(mode, disk, [&](SubdirInfo* d) {
            if (fill.AddFiles(d)) fill.AddSums(d);
        });
    } else if (scope == Scope::Dirs) {
        // Each directory whose first child the walk enters adds its sums,
        // and so does the start directory when it is not a root.
        SubdirInfo* previous = nullptr;
        WalkScope(mode, disk, [&](SubdirInfo* d) {
            if (previous ? previous->psiChild == d : d->wLevel > 0) fill.AddSums(previous ? previous : d);
            fill.AddDir(d);
            previous = d;
        });
    } else {
        fill.SetSums(psiCurrent);
        for (SubdirInfo* d = psiCurrent->psiChild; d && d->wLevel == psiCurrent->wLevel + 1;
             d = d->psiNext)
            fill.AddDir(d);
    }
    *found = fill.count;
    if (fill.count > fill.allocated && keepFirst) fill.count = fill.allocated;
    if (fill.count > fill.allocated) {
        std::free(fill.list);
        gFMax = fill.allocated;
        return false;
    }
    CloseList(fill);
    return true;
}

void SortBuiltList(bool clearResort) {
    if (gFMax < 2) return;
    if (clearResort) gPanes[gCurrentPane].ResortPending = 0;
    SortGlobalFileList(gFMax);
}

// A list, recounted and built once more when the counters turn out to be
// out of step with the records. Still out of step after that, a list of
// psiCurrent's files keeps the entries allocated for; any other list ends
// the program, since the counters of whole disks cannot be trusted.
void BuildCounted(Scope scope, DWORD taggedOnly, DiskInfo* disk, int callerTag, int line) {
    const WORD mode = gDisplayMode[gCurrentPane];
    DWORD found = 0;
    if (BuildOnce(scope, taggedOnly, disk, &found, false)) return;
    if (scope == Scope::Directory) {
        if (!gFileListSkipRecountForTest) ApplyDirCounts(psiCurrent->pdiDisk, psiCurrent);
        BuildOnce(scope, taggedOnly, disk, &found, true);
        return;
    }
    RecountScope(scope == Scope::Subdirs ? 1 : mode, disk ? disk : pdiCurrent);
    if (BuildOnce(scope, taggedOnly, disk, &found, false)) return;
    FatalListCount(line, taggedOnly, callerTag, gFMax, found);
}

} // namespace

void BuildDisplayFileList(DWORD taggedOnly) {
    ForgetList();
    const int pane = gCurrentPane;
    if (gDirMode[pane]) {
        BuildSubdirList(gTaggedOnly[pane]);
        return;
    }
    gFTagged = gFMatching = gFTotal = 0;
    if (!psiCurrent) return;
    BuildCounted(Scope::Directory, taggedOnly,
                 psiCurrent->pdiDisk ? psiCurrent->pdiDisk : pdiCurrent, 0, __LINE__);
    if (gFMax < 2) return;
    const SortSpec* order = gPaneOrder[pane];
    if (gPanes[pane].ResortPending || !SameFirstFour(*order, gArrayOrder)) SortGlobalFileList(gFMax);
}

void BuildGlobalFileList(DWORD taggedOnly, DiskInfo* disk, int callerTag) {
    const int pane = gCurrentPane;
    if (gDirMode[pane]) {
        BuildGlobalDirList(taggedOnly, disk, callerTag);
        return;
    }
    BusyScope busy;
    ForgetList();
    BuildCounted(Scope::Files, taggedOnly, disk, callerTag, __LINE__);
    if (gFMax < 2) return;
    const SortSpec* order = gPaneOrder[pane];
    // The walk gives the order of the file arrays, directory by directory:
    // nothing to sort when the pane asks for just that.
    if ((order->pathFirst || order->key == 4) && SameFirstFour(*order, gArrayOrder)) return;
    gPanes[pane].CurrentIndex = 0;
    SortBuiltList(true);
}

void BuildGlobalDirList(DWORD taggedOnly, DiskInfo* disk, int callerTag) {
    BusyScope busy;
    ForgetList();
    BuildCounted(Scope::Dirs, taggedOnly, disk, callerTag, __LINE__);
    SortBuiltList(false);
}

void BuildSubdirList(DWORD taggedOnly) {
    ForgetList();
    if (!psiCurrent) {
        gFTagged = gFMatching = gFTotal = 0;
        return;
    }
    BuildCounted(Scope::Subdirs, taggedOnly, pdiCurrent, 0, __LINE__);
    SortBuiltList(false);
}

void RebuildAllFileLists(int sortArg) {
    ForgetList();
    DiskInfo* const current = pdiCurrent;
    if (gArchiveTreeActive) {
        if (current) RecountDisk(current);
    } else {
        DiskInfo* k = pdiFirst;
        for (WORD n = 0; n < gDiskCount && k; n++, k = k->pdiNext) {
            pdiCurrent = k;
            RecountDisk(k);
        }
        pdiCurrent = current;
    }
    const int pane = gCurrentPane;
    if (gDisplayMode[pane] >= 3) {
        BuildGlobalFileList(gTaggedOnly[pane], pdiCurrent, LIST_CALLER_REBUILD_ALL);
    } else {
        BuildDisplayFileList(gTaggedOnly[pane]);
        // The sort argument of the callers chooses nothing the sort needs.
        (void)sortArg;
        if (gFMax > 1) SortGlobalFileList(gFMax);
    }
    ShowListStats();
}

void MarkTaggedInList() {
    if (!gFileList) return;
    const int pane = gCurrentPane;
    EntryHead** entries = ListEntries(gFileList);
    for (DWORD i = 0; i < gFMax && entries[i]; i++) {
        BYTE& flags = entries[i]->bFlags[pane];
        if ((flags & ENTRY_MATCHES) && IsTagged(flags)) flags |= ENTRY_MARKED;
    }
}

void UntagScope(WORD pane) {
    BusyScope busy;
    const int s = pane > 1 ? 1 : pane;
    WalkScope(gDisplayMode[s], pdiCurrent, [&](SubdirInfo* d) {
        if (!d->pFiles || !d->bLogged) return;
        for (FileEntry* e = d->pFiles; e->wszShortName[0]; e++)
            e->bFlags[s] &= BYTE(~(ENTRY_TAGGED | ENTRY_MARKED));
    });
}
