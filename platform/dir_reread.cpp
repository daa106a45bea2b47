// Re-reading the subdirectories of logged directories: the directories found
// on disk are merged into a directory's children (new ones added in sort
// order, vanished ones removed with their branches, the rest given their
// current attributes and dates), for one directory or a whole branch with
// read-ahead.
#include "platform/dir_reading.h"
#include "platform/file_utils.h"
#include "platform/read_ahead.h"
#include "main/window_state.h"
#include "remote/remote_drives.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/branch_links.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/refresh.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>


namespace {

// Above this many children a directory's children are looked up by binary
// search instead of along the sibling links.
constexpr size_t kLinearLookupLimit = 1000;

bool IsDotName(const WCHAR* name) {
    return name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0));
}

// The order the lookup array is sorted by: the same order FindEntryName
// searches with (CompareNames, ties by code units). The tree threads
// siblings by CompareEntryNames, which follows number order when that is
// on; bisecting an array in that order with FindEntryName would miss
// children, so the array is sorted here by the searching comparator.
bool LookupLess(const SubdirInfo* a, const SubdirInfo* b) {
    return FindEntryName(a->pszName, &b) < 0;
}

// The children of dir: the first child and the rows reached from it through
// psiNext while the level stays the first child's.
std::vector<SubdirInfo*> ChildrenOf(SubdirInfo* dir) {
    std::vector<SubdirInfo*> children;
    SubdirInfo* first = dir->psiChild;
    for (SubdirInfo* c = first; c && c->wLevel == first->wLevel; c = c->psiNext) children.push_back(c);
    return children;
}

// Finds the child of a name among children: exactly (caseFold false) or by
// CompareNames alone. With a sorted array (sorted non-null) by binary
// search; otherwise along the list. Only children not yet taken count.
struct ChildLookup {
    std::vector<SubdirInfo*> children;
    std::vector<SubdirInfo*> sorted; // empty: linear lookup
    std::vector<SubdirInfo*> taken;  // sorted by address

    bool IsTaken(SubdirInfo* c) const { return std::binary_search(taken.begin(), taken.end(), c); }
    void Take(SubdirInfo* c) { taken.insert(std::upper_bound(taken.begin(), taken.end(), c), c); }

    SubdirInfo* Find(const WCHAR* name, bool caseFold) const {
        if (sorted.empty()) {
            for (SubdirInfo* c : children) {
                if (IsTaken(c)) continue;
                if (caseFold ? CompareNames(name, c->pszName) == 0 : wcscmp(name, c->pszName) == 0)
                    return c;
            }
            return nullptr;
        }
        if (!caseFold) {
            auto it = std::lower_bound(sorted.begin(), sorted.end(), name,
                                       [](SubdirInfo* c, const WCHAR* n) {
                                           return FindEntryName(n, &c) > 0;
                                       });
            if (it != sorted.end() && FindEntryName(name, &*it) == 0 && !IsTaken(*it)) return *it;
            return nullptr;
        }
        // Names equal but for case lie together in the array.
        auto it = std::lower_bound(sorted.begin(), sorted.end(), name,
                                   [](SubdirInfo* c, const WCHAR* n) {
                                       return CompareNames(c->pszName, n) < 0;
                                   });
        for (; it != sorted.end() && CompareNames((*it)->pszName, name) == 0; ++it)
            if (!IsTaken(*it)) return *it;
        return nullptr;
    }
};

// The directory entries of the search that the merge considers.
bool Considered(const WIN32_FIND_DATAW& data) {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDotName(data.cFileName)) return false;
    if ((gSettings.bHideDirs & 1) &&
        (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        return false;
    return true;
}

// A child takes what the disk reports of it now. A name whose letter case
// changed is taken over, and the paths below the child follow it, or they
// would name directories that no longer exist on a case-sensitive disk.
void TakeFindData(SubdirInfo* child, const WIN32_FIND_DATAW& data) {
    child->wAttributes = WORD(data.dwFileAttributes);
    if (wcscmp(child->pszName, data.cFileName) != 0 &&
        wcslen(child->pszName) == wcslen(data.cFileName)) {
        const std::u16string oldPath = child->pszFullName;
        std::memcpy(child->pszName, data.cFileName, wcslen(data.cFileName) * sizeof(WCHAR));
        FixDescendantPaths(oldPath.c_str(), child->pszFullName, child);
    }
    FindDataToPacked(&data, &child->dCreated, &child->tCreated, &child->dWritten, &child->tWritten,
                     &child->dAccessed, &child->tAccessed);
    child->wMode = WORD(data.dwReserved1);
}

} // namespace

int qioRereadDir(SubdirInfo* dir, BOOL batch) {
    std::u16string pattern = QioLongPath(dir->pszFullName);
    if (dir->wLevel != 0) pattern += u'\\';
    pattern += u'*';

    WIN32_FIND_DATAW data;
    HANDLE find;
    for (;;) {
        find = qioPrefetchFindFirst(pattern.c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            gErrorAnswer = 0;
            if (dir->bLogged == 5) dir->bLogged = 0;
            if (dir->wLevel != 0) {
                if (!batch) {
                    const DWORD attributes = qioGetFileAttributes(dir->pszFullName);
                    if (attributes != INVALID_FILE_ATTRIBUTES) dir->wAttributes = WORD(attributes);
                }
                dir->wMode = 0;
            }
            break;
        }
        if (gErrorAnswer == ErrChoiceSkip) return 2;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_ACCESS_DENIED) {
            if (dir->bLogged == 5) dir->bLogged = 0;
            break;
        }
        gErrorAnswer = ErrorDialog(dir->pszFullName[0], error, 0);
        if (gErrorAnswer != ErrChoiceRetry) return -1;
    }

    // Every entry first: each is matched exactly before any is matched
    // without case, so that names differing only in case stay apart.
    std::vector<WIN32_FIND_DATAW> entries;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (Considered(data)) entries.push_back(data);
        } while (qioFindNextFile(find, &data));
        qioFindClose(find);
    }

    ChildLookup lookup;
    lookup.children = ChildrenOf(dir);
    if (lookup.children.size() > kLinearLookupLimit) {
        lookup.sorted = lookup.children;
        std::sort(lookup.sorted.begin(), lookup.sorted.end(), LookupLess);
    }

    const bool read = find != INVALID_HANDLE_VALUE;
    bool changed = false;
    std::vector<const WIN32_FIND_DATAW*> unmatched;
    for (const WIN32_FIND_DATAW& entry : entries) {
        if (SubdirInfo* child = lookup.Find(entry.cFileName, false)) {
            lookup.Take(child);
            if (child->bRefresh & REFRESH_ADDED) changed = true;
            TakeFindData(child, entry);
        } else {
            unmatched.push_back(&entry);
        }
    }
    std::vector<const WIN32_FIND_DATAW*> fresh;
    for (const WIN32_FIND_DATAW* entry : unmatched) {
        if (SubdirInfo* child = lookup.Find(entry->cFileName, true)) {
            lookup.Take(child);
            if (child->bRefresh & REFRESH_ADDED) changed = true;
            TakeFindData(child, *entry);
        } else {
            fresh.push_back(entry);
        }
    }

    // Children no longer on disk leave with their branches (the release
    // keeps the directory counts); the picker only adds.
    if (!gPickerActive && lookup.taken.size() < lookup.children.size()) {
        std::vector<SubdirInfo*> removed;
        for (SubdirInfo* c : lookup.children)
            if (!lookup.IsTaken(c)) removed.push_back(c);
        std::sort(removed.begin(), removed.end());
        FixBranchLinks(dir->pdiDisk, removed.data(), removed.size());
        changed = true;
    }

    const WORD pane = gCurrentPane & 1;
    for (const WIN32_FIND_DATAW* entry : fresh) {
        std::u16string full = dir->pszFullName;
        if (dir->wLevel != 0) full += u'\\';
        full += entry->cFileName;
        SubdirInfo* child = NewSubdirRecord(dir, full.c_str());
        child->wAttributes = WORD(entry->dwFileAttributes);
        FindDataToPacked(entry, &child->dCreated, &child->tCreated, &child->dWritten,
                         &child->tWritten, &child->dAccessed, &child->tAccessed);
        child->wMode = WORD(entry->dwReserved1);
        child->bLogged = 0;
        child->bExpanded = 0;
        // Its files are still to be read: the branch worker logs it.
        child->bRefresh = REFRESH_FILES;
        if (child->pdiDisk) child->pdiDisk->bHasRefresh = 1;
        if (SlotPasses(gFilterSlots[pane], child))
            child->bFlags[pane] |= ENTRY_MATCHES;
        else
            child->bFlags[pane] &= BYTE(~ENTRY_MATCHES);
        changed = true;
    }
    // Gone or unreadable is 0 whatever left the tree; a read is 1 when the
    // children changed (or one was waiting as added by the program).
    return read && changed ? 1 : 0;
}

int qioReadNewDir(SubdirInfo* dir, BOOL branch, BOOL relink) {
    SetBusy(1);
    struct BusyEnd {
        ~BusyEnd() { SetBusy(0); }
    } busyEnd;

    auto isRead = [](const SubdirInfo* d) { return d->bLogged == 1 || d->bExpanded; };
    bool readAhead = false;
    if (branch && gPrefetchEnabled && dir->pdiDisk && !RdIsRemoteDrive(dir->pdiDisk->cDrive)) {
        std::vector<const WCHAR*> paths;
        paths.reserve(1024);
        const DWORD top = dir->wLevel;
        for (SubdirInfo* d = dir; d && (d == dir || d->wLevel > top);
             d = d->psiChild ? d->psiChild : d->psiNext)
            if (isRead(d)) paths.push_back(d->pszFullName);
        if (paths.size() >= 16) readAhead = qioPrefetchStart(paths.data(), DWORD(paths.size()), FALSE) != 0;
    }

    // The branch is walked as it stands after each re-read, so that a
    // directory removed with its parent's re-read is never visited.
    bool changed = false;
    bool first = true;
    const DWORD level = dir->wLevel;
    for (SubdirInfo* d = dir; d && (d == dir || d->wLevel > level);) {
        if (isRead(d)) {
            const int r = qioRereadDir(d, !first && readAhead);
            first = false;
            if (r == -1) {
                if (readAhead) qioPrefetchEnd();
                return 0;
            }
            if (r == 1) changed = true;
        }
        if (!branch) break;
        d = d->psiChild ? d->psiChild : d->psiNext;
    }
    if (readAhead) qioPrefetchEnd();

    if (dir->psiChild && (relink || changed)) {
        SubdirInfo* follower = dir->psiNext;
        dir->psiChild = CollectLevelRun(dir->psiChild, follower, TRUE);
        if (dir->pdiDisk && dir->pdiDisk->psiRoot) FixSiblingLinks(dir->pdiDisk->psiRoot);
    }
    // The re-read is what a directory added by the program waited for; a
    // mark for its files stays for the branch worker.
    dir->bRefresh &= BYTE(~(REFRESH_ADDED));
    return 1;
}
