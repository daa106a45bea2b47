// Keeping the tree current after the program changed the file system:
// marking directories for a later refresh or refreshing them at once, the
// branch worker that refreshes what is marked, adding and removing
// directory records, rewriting paths below a renamed directory, taking a
// branch's files out of the counters and scanning a branch before a
// delete, prune or move.
#include "tree/refresh.h"

#include "archive/archive_state.h"
#include "main/statistics.h"
#include "main/window_state.h"
#include "platform/dir_reading.h"
#include "platform/file_utils.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/branch_links.h"
#include "tree/dir_counts.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/read_tree.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

DWORD gRefreshPending = 0;


namespace {

// The values of the "Automatically refresh directories" setting.
constexpr BYTE kAutoRefreshNo = 1;

bool AutoRefreshOff() { return gSettings.bAutoRefresh == kAutoRefreshNo; }

// pdiCurrent is put back however a call ends.
struct KeepCurrentDisk {
    DiskInfo* saved = pdiCurrent;
    ~KeepCurrentDisk() { pdiCurrent = saved; }
};

WCHAR Upper(WCHAR c) { return c >= u'a' && c <= u'z' ? WCHAR(c - 32) : c; }

bool IsRoot(const SubdirInfo* dir) { return dir->wLevel == 0; }

// Pre-order over dir and every directory below it.
template <typename Visit> void WalkBranch(SubdirInfo* dir, Visit visit) {
    const DWORD level = dir->wLevel;
    for (SubdirInfo* d = dir; d && (d == dir || d->wLevel > level);) {
        SubdirInfo* next = d->psiChild ? d->psiChild : d->psiNext;
        if (!visit(d)) return;
        d = next;
    }
}

bool IsBelowOrSame(const SubdirInfo* dir, const SubdirInfo* ancestor) {
    for (const SubdirInfo* d = dir; d; d = d->psiParent) {
        if (d == ancestor) return true;
        if (d->psiParent == d) break;
    }
    return false;
}

// The entry's name as the list shows it.
std::u16string EntryName(const FileEntry* e) {
    WCHAR buffer[TREE_MAX_FULL_NAME + 2];
    GetFileDisplayName(buffer, e);
    return buffer;
}

bool SameWithoutCase(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// What a refresh keeps of one pane while the files are read again.
struct SavedPane {
    WORD pane = 0;
    std::vector<std::u16string> tagged;
    bool hadCurrent = false;
    std::u16string current;
};

// Frees dir's file array (clearing the panes' current entries in it).
void FreeFileArray(SubdirInfo* dir) {
    for (FileEntry*& current : gPaneCurrentEntry)
        if (current && current->psiOwner == dir) current = nullptr;
    if (!dir->pFiles) return;
    for (FileEntry* e = dir->pFiles; e->wszShortName[0]; e++) std::free(e->pszLongName);
    std::free(dir->pFiles);
    dir->pFiles = nullptr;
}

void Lower(DWORD& value, DWORD by) { value = value > by ? value - by : 0; }
void Lower(ULONGLONG& value, ULONGLONG by) { value = value > by ? value - by : 0; }

// The parent's attributes and dates as the disk reports them now.
void ReadDirDates(SubdirInfo* dir) {
    FileInfoRec info;
    if (IsRoot(dir) || qioGetFileInfo(dir->pszFullName, 1, &info) != 0) return;
    dir->wAttributes = WORD(info.attributes);
    dir->dCreated = info.createdDate;
    dir->tCreated = info.createdTime;
    dir->dWritten = info.writtenDate;
    dir->tWritten = info.writtenTime;
    dir->dAccessed = info.accessedDate;
    dir->tAccessed = info.accessedTime;
}

// Whether a display list other than the directory list is shown in pane.
bool OtherListShown(WORD pane) { return gDisplayMode[pane] != 0 && gPanes[pane].FileWindowOpen; }

} // namespace

// ---- marking --------------------------------------------------------------------------------

void MarkDirForRefresh(const WCHAR* origin, const WCHAR* path, BOOL immediate) {
    if (!path || !path[0]) return;
    KeepCurrentDisk keep;
    std::u16string target = path;
    while (!target.empty() && target.back() == u' ') target.pop_back();
    if (target.size() == 2 && target[1] == u':') target += u'\\';
    if (target.empty()) return;
    const WORD pane = gCurrentPane & 1;

    if (gArchiveTreeActive) {
        // A tree of its own, without drive letters: whole names are compared.
        if (!pdiCurrent) return;
        SubdirInfo* dir = FindDirByPath(target.c_str(), nullptr, TRUE);
        pdiCurrent->qwSlackBytes = 0;
        if (dir && dir->bLogged == 1) {
            dir->bRefresh |= REFRESH_FILES;
            pdiCurrent->bHasRefresh = 1;
            gRefreshPending = 1;
        }
        // A change within the archive's own path reloads the archive.
        SubdirInfo* root = pdiCurrent->psiRoot;
        if (root && !AutoRefreshOff()) {
            const std::u16string own = root->pszFullName;
            if (target.compare(0, own.size(), own) == 0 &&
                (target.size() == own.size() || own.empty() || own.back() == u'\\' ||
                 target[own.size()] == u'\\'))
                gArchiveRefreshPending = 1;
        }
        return;
    }

    // A change on the letter of the operation's source, on the disk shown.
    if (origin && origin[0] && Upper(origin[0]) == Upper(target[0]) && pdiCurrent &&
        pdiCurrent->cDrive == Upper(target[0])) {
        SubdirInfo* dir = FindDirByPath(target.c_str(), nullptr, TRUE);
        pdiCurrent->qwSlackBytes = 0;
        if (!dir || dir->bLogged != 1) return;
        if (!immediate) {
            dir->bRefresh |= REFRESH_FILES;
            gRefreshPending = 1;
            dir->pdiDisk->bHasRefresh = 1;
            return;
        }
        const bool keepTags =
            dir == psiCurrent ||
            (OtherListShown(pane) && (gDisplayMode[pane] > 2 || (psiCurrent && IsBelowOrSame(dir, psiCurrent))));
        RefreshDirFiles(dir, TRUE, keepTags);
        return;
    }

    DiskInfo* disk = FindVolume(Upper(target[0]));
    if (!disk) return;
    pdiCurrent = disk;
    ReadDiskInfo(disk);
    SubdirInfo* dir = FindDirByPath(target.c_str(), nullptr, FALSE);
    if (!dir) return;
    if (!AutoRefreshOff()) {
        dir->bRefresh |= REFRESH_FILES;
        disk->bHasRefresh = 1;
    }
    disk->qwSlackBytes = 0;
    if (dir->bLogged != 1 && !dir->bExpanded) LogBranch(LOG_REFRESH_WALK, dir, FALSE);
    if (!immediate) return;
    if (OtherListShown(pane)) {
        bool listed = false;
        for (DWORD i = 0; gFileList && i < gFMax && !listed; i++) {
            const EntryHead* e = ListEntries(gFileList)[i];
            listed = e && e->owner && e->owner->pszFullName &&
                     wcscmp(e->owner->pszFullName, dir->pszFullName) == 0;
        }
        RefreshDirFiles(dir, TRUE, listed);
        return;
    }
    qioReadNewDir(dir, TRUE, FALSE);
    LogBranchWorker(dir, TRUE, FALSE, FALSE);
}

void MarkParentForRefresh(const WCHAR* path) {
    if (!path) return;
    std::u16string parent = path;
    const size_t slash = parent.find_last_of(u'\\');
    if (slash == std::u16string::npos) return;
    parent.resize(slash);
    if (parent.size() == 2 && parent[1] == u':') parent += u'\\';
    if (psiCurrent && psiCurrent->pszFullName && _wcsicmp(psiCurrent->pszFullName, parent.c_str()) == 0)
        return;
    // The current disk is the origin: a directory there is marked exactly,
    // one on another disk through that disk's deepest logged directory.
    const WCHAR origin[2] = {WCHAR(pdiCurrent ? pdiCurrent->cDrive : 0), 0};
    MarkDirForRefresh(origin, parent.c_str(), FALSE);
}

// ---- refreshing -----------------------------------------------------------------------------

int RefreshDirFiles(SubdirInfo* dir, BOOL restore, BOOL keepTags) {
    if (!dir) return 0;
    DiskInfo* disk = dir->pdiDisk;
    bool saveTags = true;
    if (disk && !gArchiveTreeActive) {
        const DWORD answer = ReadDiskInfo(disk);
        if (answer == ErrChoiceSkip || answer == 1223) return 1;
        if (keepTags && answer == DISKINFO_MEDIA_CHANGED) saveTags = false;
    }

    const WORD current = gCurrentPane & 1;
    std::vector<SavedPane> saved;
    saved.push_back(SavedPane{current, {}, false, {}});
    if (gSplitScreen) saved.push_back(SavedPane{WORD(1 - current), {}, false, {}});
    for (SavedPane& s : saved) {
        if (saveTags && dir->pFiles)
            for (FileEntry* e = dir->pFiles; e->wszShortName[0]; e++) {
                if (IsDriveEntry(e)) continue;
                if (e->bFlags[s.pane] & (ENTRY_TAGGED | ENTRY_MARKED)) s.tagged.push_back(EntryName(e));
            }
        FileEntry*& entry = gPaneCurrentEntry[s.pane];
        if (entry && entry->psiOwner == dir) {
            s.hadCurrent = true;
            s.current = EntryName(entry);
            entry = nullptr;
        }
    }

    int read;
    if (!gDirMode[current]) {
        read = qReadDir(disk, dir);
    } else {
        read = qioReadNewDir(dir, TRUE, FALSE) ? 0 : -1;
        ReadDirDates(dir);
        if (read >= 0 && dir->bLogged == 1) read = qReadDir(disk, dir);
    }

    if (restore && dir->pFiles) {
        bool retagged = false;
        for (SavedPane& s : saved) {
            std::sort(s.tagged.begin(), s.tagged.end());
            FileEntry* caseless = nullptr;
            for (FileEntry* e = dir->pFiles; e->wszShortName[0]; e++) {
                if (IsDriveEntry(e)) continue;
                const std::u16string name = EntryName(e);
                // Names that differ only in case are two files: a tag goes
                // back only to the entry of exactly its name.
                if (std::binary_search(s.tagged.begin(), s.tagged.end(), name)) {
                    e->bFlags[s.pane] |= ENTRY_TAGGED | ENTRY_MARKED;
                    retagged = true;
                }
                if (s.hadCurrent && !gPaneCurrentEntry[s.pane]) {
                    if (name == s.current)
                        gPaneCurrentEntry[s.pane] = e;
                    else if (!caseless && SameWithoutCase(name, s.current))
                        caseless = e;
                }
            }
            if (s.hadCurrent && !gPaneCurrentEntry[s.pane]) gPaneCurrentEntry[s.pane] = caseless;
        }
        // The directory's and the disk's tag figures follow the tags put back.
        if (retagged && !gDirMode[current]) ApplyDirCounts(disk, dir);
    }

    const WORD side = current;
    if (gPanes[side].FileWindowOpen) {
        if (gDisplayMode[current] > 2)
            BuildGlobalFileList(gTaggedOnly[current], pdiCurrent, 0);
        else if (dir == psiCurrent)
            BuildDisplayFileList(gTaggedOnly[current]);
        else
            ShowListStats();
    }
    return read >= 0 ? 1 : 0;
}

int LogBranchWorker(SubdirInfo* dir, BOOL restore, BOOL keepTags, BOOL stopOnKey) {
    if (!dir) return 1;
    const WORD savedMode = gLogMode;
    gLogMode = LOG_REFRESH_WALK;
    int result = 1;
    const DWORD level = dir->wLevel;
    for (SubdirInfo* d = dir; d && (d == dir || d->wLevel > level);) {
        if (stopOnKey && gInterruptRequested) break;
        const BYTE mark = d->bRefresh;
        bool refresh = false;
        if (mark == REFRESH_RESORT) {
            SortDirFiles(d);
            d->bRefresh = 0;
        } else if (mark == REFRESH_ADDED || mark == 0) {
            d->bRefresh = 0;
            refresh = stopOnKey && d->bLogged == 1;
        } else {
            if (d->bLogged != 1 && !d->bExpanded) {
                LogBranch(LOG_FULL_DISK, d, FALSE);
                gLogMode = LOG_REFRESH_WALK;
            }
            refresh = true;
        }
        if (refresh) {
            if (!RefreshDirFiles(d, restore, keepTags)) {
                result = 0;
                break;
            }
            d->bRefresh = 0;
        }
        d = d->psiChild ? d->psiChild : d->psiNext;
    }
    gLogMode = savedMode;
    return result;
}

// ---- adding and removing --------------------------------------------------------------------

SubdirInfo* NewSubdirRecord(SubdirInfo* parent, const WCHAR* fullPath) {
    SubdirInfo* dir = AllocSubdirRecord();
    const size_t length = wcslen(fullPath);
    auto* full = static_cast<WCHAR*>(CHECKED_MALLOC((length + 1) * sizeof(WCHAR), "Qtb"));
    std::memcpy(full, fullPath, (length + 1) * sizeof(WCHAR));
    size_t skip = wcslen(parent->pszFullName);
    if (!IsRoot(parent)) skip++;
    if (skip > length) skip = length;
    dir->wLevel = parent->wLevel + 1;
    dir->pszFullName = full;
    dir->pszName = full + skip;
    dir->wNameWidth = WORD(std::max<size_t>(wcslen(dir->pszName) + 1, 14));
    dir->pdiDisk = parent->pdiDisk;
    dir->psiParent = parent;
    dir->bVisible = parent->bExpanded ? 1 : 0;
    dir->bExpanded = parent->bExpanded ? 1 : 0;
    dir->bLogged = 1;
    parent->dwChildren++;
    if (DiskInfo* disk = parent->pdiDisk) {
        if (dir->bVisible) disk->dwTreeRows++;
        disk->dwDirEntries++;
    }
    LinkSubdirRecord(parent, dir);
    return dir;
}

int RemoveDirRecord(SubdirInfo* dir, SubdirInfo* predecessor, BOOL markParent) {
    SubdirInfo* parent = dir->psiParent;
    DiskInfo* disk = dir->pdiDisk;
    FreeDirFiles(dir, TRUE);
    // The release keeps the disk's and the parent's directory counts.
    RelinkBranch(TRUE, predecessor ? predecessor : parent, dir, dir->psiNext, TRUE);
    if (disk && disk->psiRoot) FixSiblingLinks(disk->psiRoot);
    if (markParent && parent) parent->bChanged = 1;
    return 1;
}

int AddDirByPath(const WCHAR* path, const WCHAR* name, BOOL markNew) {
    KeepCurrentDisk keep;
    std::u16string full = path ? path : u"";
    if (name && name[0]) {
        if (!full.empty() && full.back() != u'\\') full += u'\\';
        full += name;
    }
    const bool unc = full.size() >= 2 && full[0] == u'\\' && full[1] == u'\\';
    if (!unc && full.size() >= 2 && full[1] == u':') {
        if (DiskInfo* disk = FindVolume(Upper(full[0]))) pdiCurrent = disk;
    }
    const size_t minimum = unc ? 2 : 3;
    while (full.size() > minimum && full.back() == u'\\') full.pop_back();

    // Where the components begin: after "X:\", or after "\\server\share\".
    size_t start;
    if (unc) {
        const size_t server = full.find(u'\\', 2);
        if (server == std::u16string::npos || server == 2 || server + 1 >= full.size())
            return ERROR_BAD_PATHNAME;
        const size_t share = full.find(u'\\', server + 1);
        if (share == server + 1) return ERROR_BAD_PATHNAME;
        start = share == std::u16string::npos ? full.size() : share + 1;
    } else {
        if (full.size() < 3 || full[1] != u':' || full[2] != u'\\') return ERROR_BAD_PATHNAME;
        start = 3;
    }

    const DWORD existing = qioGetFileAttributes(full.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if (!(existing & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_INVALID_NAME;
        if (full.find(u'~') != std::u16string::npos) {
            std::vector<WCHAR> longName(full.size() + TREE_MAX_FULL_NAME + 2);
            if (qioGetLongPathName(full.c_str(), longName.data()) &&
                wcscmp(longName.data(), full.c_str()) != 0)
                return ERROR_ALREADY_EXISTS;
        }
        if (SubdirInfo* dir = unc ? nullptr : FindDirByPath(full.c_str(), nullptr, TRUE)) {
            if (markNew) {
                dir->bRefresh = REFRESH_ADDED;
                if (dir->pdiDisk) dir->pdiDisk->bHasRefresh = 1;
            }
            return -1;
        }
    }

    SubdirInfo* lastParent = nullptr;
    size_t at = start;
    while (at < full.size()) {
        size_t end = full.find(u'\\', at);
        if (end == std::u16string::npos) end = full.size();
        const std::u16string prefix = full.substr(0, end);
        DWORD attributes = qioGetFileAttributes(prefix.c_str());
        bool existedBefore = attributes != INVALID_FILE_ATTRIBUTES;
        if (existedBefore && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_INVALID_NAME;
        if (!existedBefore) {
            for (;;) {
                const DWORD error = qioCreateDirectory(prefix.c_str());
                if (error == 0) break;
                if (error == ERROR_ALREADY_EXISTS) {
                    existedBefore = true;
                    break;
                }
                WORD letter = unc ? 0 : WORD(prefix[0]);
                if (ReportError(letter, error) != ErrChoiceRetry) return int(error);
            }
        }
        if (!unc && pdiCurrent && Upper(prefix[0]) == pdiCurrent->cDrive) {
            std::u16string parentPath = full.substr(0, at);
            if (parentPath.size() > 3) parentPath.pop_back();
            SubdirInfo* parent = FindDirByPath(parentPath.c_str(), nullptr, TRUE);
            SubdirInfo* dir = FindDirByPath(prefix.c_str(), nullptr, TRUE);
            if (parent && !dir && (parent->bLogged == 1 || parent->bExpanded)) {
                dir = NewSubdirRecord(parent, prefix.c_str());
                WIN32_FIND_DATAW data;
                HANDLE find = qioFindFirstFile(prefix.c_str(), &data);
                if (find != INVALID_HANDLE_VALUE) {
                    qioFindClose(find);
                    dir->wAttributes = WORD(data.dwFileAttributes);
                    FindDataToPacked(&data, &dir->dCreated, &dir->tCreated, &dir->dWritten,
                                     &dir->tWritten, &dir->dAccessed, &dir->tAccessed);
                    dir->wMode = WORD(data.dwReserved1);
                }
                const WORD pane = gCurrentPane & 1;
                if (SlotPasses(gFilterSlots[pane], dir))
                    dir->bFlags[pane] |= ENTRY_MATCHES;
                else
                    dir->bFlags[pane] &= BYTE(~ENTRY_MATCHES);
                // What was on disk already has files the tree has not read.
                if (existedBefore) {
                    dir->bLogged = 0;
                    dir->bExpanded = 0;
                }
                if (markNew && parent->bExpanded) {
                    if (dir->pdiDisk) dir->pdiDisk->bHasRefresh = 1;
                    if (parent->bLogged != 1) parent->bRefresh = 0;
                    dir->bRefresh = REFRESH_ADDED;
                }
            }
            if (parent) lastParent = parent;
        }
        at = end + 1;
    }
    if (lastParent && !AutoRefreshOff()) ReadDirDates(lastParent);
    return 0;
}

// ---- paths and counters ---------------------------------------------------------------------

void FixDescendantPaths(const WCHAR* oldPath, const WCHAR* newPath, SubdirInfo* dir) {
    if (!dir) return;
    const size_t oldLength = wcslen(oldPath);
    const size_t level = dir->wLevel;
    for (SubdirInfo* d = dir->psiChild; d && d->wLevel > level;
         d = d->psiChild ? d->psiChild : d->psiNext) {
        const size_t length = wcslen(d->pszFullName);
        const WCHAR* rest = d->pszFullName + std::min(oldLength, length);
        std::u16string renamed = std::u16string(newPath) + rest;
        auto* full = static_cast<WCHAR*>(CHECKED_MALLOC((renamed.size() + 1) * sizeof(WCHAR), "Qtb"));
        std::memcpy(full, renamed.c_str(), (renamed.size() + 1) * sizeof(WCHAR));
        std::free(d->pszFullName);
        d->pszFullName = full;
        const WCHAR* slash = nullptr;
        for (WCHAR* p = full; *p; p++)
            if (*p == u'\\') slash = p;
        d->pszName = slash ? const_cast<WCHAR*>(slash) + 1 : full;
    }
}

void UncountBranch(SubdirInfo* dir, BOOL wholeBranch) {
    if (!dir) return;
    auto uncount = [&](SubdirInfo* d) {
        if (d->bLogged == 1) {
            if (DiskInfo* disk = d->pdiDisk) {
                Lower(disk->dwFiles, d->dwFiles);
                Lower(disk->qwFileBytes, d->qwFileBytes);
                // The figures cleared below leave the disk's in every list
                // mode, so that the disk stays the sum of its directories.
                for (int p = 0; p < 2; p++) {
                        Lower(disk->dwMatchFiles[p], d->dwMatchFiles[p]);
                        Lower(disk->qwMatchBytes[p], d->qwMatchBytes[p]);
                        Lower(disk->dwTagFiles[p], d->dwTagFiles[p]);
                        Lower(disk->qwTagBytes[p], d->qwTagBytes[p]);
                    }
                disk->qwSlackBytes = 0;
            }
            FreeFileArray(d);
            d->dwFiles = 0;
            d->qwFileBytes = 0;
            for (int p = 0; p < 2; p++) {
                d->dwMatchFiles[p] = 0;
                d->qwMatchBytes[p] = 0;
                d->dwTagFiles[p] = 0;
                d->qwTagBytes[p] = 0;
            }
            d->bLogged = 0;
        }
        return bool(wholeBranch);
    };
    WalkBranch(dir, uncount);
}

DWORD ScanBranchFlags(BOOL checkJunctions, SubdirInfo* dir, int mode) {
    DWORD result = 0;
    if (!dir) return 0;
    auto note = [&](DWORD attributes) {
        if ((attributes & FILE_ATTRIBUTE_READONLY) && mode != 1) result |= SCAN_READ_ONLY;
        if ((attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) && mode != 2 && mode != 3)
            result |= SCAN_HIDDEN_SYSTEM;
    };
    auto done = [&] { return (result & (SCAN_READ_ONLY | SCAN_HIDDEN_SYSTEM)) == (SCAN_READ_ONLY | SCAN_HIDDEN_SYSTEM); };
    WalkBranch(dir, [&](SubdirInfo* d) {
        if (checkJunctions && !IsRoot(d)) {
            const DWORD attributes = qioGetFileAttributes(d->pszFullName);
            if (attributes != INVALID_FILE_ATTRIBUTES) d->wAttributes = WORD(attributes);
        }
        if (d->pszName && _wcsicmp(d->pszName, u"System Volume Information") == 0)
            result |= SCAN_SYSTEM_VOLUME_INFO;
        if (d->bLogged != 1 || d->bChanged) result |= SCAN_UNLOGGED;
        if (!IsRoot(d)) note(d->wAttributes);
        if (d->pFiles)
            for (FileEntry* e = d->pFiles; e->wszShortName[0] && !done(); e++)
                if (!IsDriveEntry(e)) note(e->wAttributes);
        return !done();
    });
    return result;
}
