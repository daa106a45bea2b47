// Reading directories into the tree: one directory's files into its entry
// array, and the subdirectories below a directory into new records, as the
// log mode asks. Main thread; the read-ahead threads run underneath, behind
// the directory reader and the prefetching find.
#include "tree/read_tree.h"

#include "main/statistics.h"
#include "main/tree_window.h"
#include "main/window_state.h"
#include "platform/dir_reading.h"
#include "platform/packed_dates.h"
#include "platform/read_ahead.h"
#include "qio.h"
#include "qwcrt.h"
#include "settings/nolog.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/dir_counts.h"
#include "tree/entry_names.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Redraws during a pass come at most this often.
constexpr DWORD kRedrawIntervalMs = 75;

DWORD gInterruptAfter = 0; // test hook: directories still to make
DWORD gLastProgressDraw = 0;
DWORD gLastPathDraw = 0;

// True when a redraw is due: always outside a pass, else once per interval.
bool RedrawDue(DWORD* last) {
    if (!gReadAheadActive) return true;
    const DWORD now = GetTickCount();
    if (*last && now - *last < kRedrawIntervalMs) return false;
    *last = now;
    return true;
}

template <typename T> void LowerBy(T& figure, T amount) { figure -= std::min(figure, amount); }

void SetBit(BYTE& flags, bool on) {
    if (on)
        flags |= ENTRY_MATCHES;
    else
        flags &= BYTE(~ENTRY_MATCHES);
}

// Takes dir's file figures off disk (never below 0) and clears them in dir.
void DropFileFigures(DiskInfo* disk, SubdirInfo* dir) {
    if (disk) {
        LowerBy(disk->dwFiles, dir->dwFiles);
        LowerBy(disk->qwFileBytes, dir->qwFileBytes);
        for (int p = 0; p < 2; p++) {
            LowerBy(disk->dwMatchFiles[p], dir->dwMatchFiles[p]);
            LowerBy(disk->qwMatchBytes[p], dir->qwMatchBytes[p]);
            LowerBy(disk->dwTagFiles[p], dir->dwTagFiles[p]);
            LowerBy(disk->qwTagBytes[p], dir->qwTagBytes[p]);
        }
    }
    dir->dwFiles = 0;
    dir->qwFileBytes = 0;
    for (int p = 0; p < 2; p++) {
        dir->dwMatchFiles[p] = dir->dwTagFiles[p] = 0;
        dir->qwMatchBytes[p] = dir->qwTagBytes[p] = 0;
    }
}

// Frees dir's file array and its long names; a pane's current entry among
// them is forgotten.
void FreeFiles(SubdirInfo* dir) {
    if (!dir->pFiles) return;
    for (FileEntry*& current : gPaneCurrentEntry)
        if (current && current->psiOwner == dir) current = nullptr;
    for (FileEntry* e = dir->pFiles; e->wszShortName[0]; e++) std::free(e->pszLongName);
    std::free(dir->pFiles);
    dir->pFiles = nullptr;
}

// A directory read without error becomes logged, and expanded when it was
// neither expanded nor has children.
void MarkRead(SubdirInfo* dir) {
    if (!dir->bLogged) dir->bLogged = 1;
    if (!dir->bExpanded && !dir->psiChild) dir->bExpanded = 1;
}

// The question of an interrupted log. 'C' goes on, 'P' partial, 27 stop;
// the prompt's quit choice ends the program.
int AskLogOption() {
    gInterruptRequested = 0;
    return PromptLogOption(gWindowMode == WM_LOG_DIALOG);
}

bool Interrupted() { return gInterruptRequested && !gSuppressLogPrompt; }

// The cached listing of a record that goes away goes with it: a record
// made later at the same address must not receive it.
void ForgetCachedListingOf(const SubdirInfo* dir) {
    if (gCachedSubdirsOwner != dir) return;
    qioFreeDirList(gCachedSubdirs);
    gCachedSubdirs = nullptr;
    gCachedSubdirsOwner = nullptr;
}

// Frees a record made by readtreeRec with its files and everything below
// it. The directories below are reached through psiChild and the psiNext
// chains under it, which readtreeRec leaves ending in null.
void FreeBuiltRecord(SubdirInfo* dir, DiskInfo* disk) {
    if (!dir) return;
    if (dir->pszFullName) {
        for (SubdirInfo* child = dir->psiChild; child;) {
            SubdirInfo* next = child->psiNext;
            FreeBuiltRecord(child, disk);
            child = next;
        }
        DropFileFigures(disk, dir);
        FreeFiles(dir);
        if (disk) {
            LowerBy(disk->dwTreeRows, DWORD(1));
            LowerBy(disk->dwDirEntries, DWORD(1));
        }
        if (SubdirInfo* parent = dir->psiParent; parent && parent != dir)
            LowerBy(parent->dwChildren, DWORD(1));
        std::free(dir->pszFullName);
    }
    if (psiCurrent == dir) psiCurrent = nullptr;
    ForgetCachedListingOf(dir);
    std::free(dir);
}

// Empties a spare that was filled, keeping its level: the record goes back
// to the state its caller gave it.
void ResetSpare(SubdirInfo* spare, DWORD level, DiskInfo* disk) {
    for (SubdirInfo* child = spare->psiChild; child;) {
        SubdirInfo* next = child->psiNext;
        FreeBuiltRecord(child, disk);
        child = next;
    }
    if (spare->pszFullName) {
        DropFileFigures(disk, spare);
        FreeFiles(spare);
        if (disk) {
            LowerBy(disk->dwTreeRows, DWORD(1));
            LowerBy(disk->dwDirEntries, DWORD(1));
        }
        if (SubdirInfo* parent = spare->psiParent; parent && parent != spare)
            LowerBy(parent->dwChildren, DWORD(1));
        std::free(spare->pszFullName);
    }
    ForgetCachedListingOf(spare);
    std::memset(spare, 0, sizeof *spare);
    spare->wLevel = level;
}

// The directories a listing gives, from the cached listing of the pass or
// from a prefetching find.
struct DirSource {
    DirSubdirRec* cached = nullptr; // taken over; freed as it is used
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW first{};
    bool firstPending = false;

    // The next entry into data: 0, ERROR_NO_MORE_FILES at the end, or the
    // error that cut the listing short.
    DWORD Next(WIN32_FIND_DATAW* data) {
        if (cached) {
            DirSubdirRec* rec = cached;
            *data = rec->data;
            cached = rec->next;
            std::free(rec);
            return 0;
        }
        if (find == INVALID_HANDLE_VALUE) return ERROR_NO_MORE_FILES;
        if (firstPending) {
            firstPending = false;
            *data = first;
            return 0;
        }
        if (qioFindNextFile(find, data)) return 0;
        const DWORD error = GetLastError();
        return error ? error : ERROR_NO_MORE_FILES;
    }
    // Opens the listing of pattern: 0, or what readtreeRec returns when it
    // cannot be had (0 for a directory that is gone or empty).
    int Open(const WCHAR* pattern, const WCHAR* path, DiskInfo* disk) {
        for (;;) {
            find = qioPrefetchFindFirst(pattern, &first);
            if (find != INVALID_HANDLE_VALUE) {
                firstPending = true;
                return 0;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return 0;
            if (error == ERROR_ACCESS_DENIED) return READTREE_DENIED;
            const DWORD answer = AskAboutError(path, disk, error);
            if (answer == ErrChoiceSkip) return READTREE_SKIPPED;
            if (answer != ErrChoiceRetry) return READTREE_STOPPED;
        }
    }
    static DWORD AskAboutError(const WCHAR* path, DiskInfo* disk, DWORD error) {
        wcsncpy_s(gErrorPath, 1026, path, 1025);
        const DWORD answer = ErrorDialog(disk ? disk->cDrive : path[0], error, 1);
        gErrorAnswer = answer;
        return answer;
    }
    void Close() {
        qioFreeDirList(cached);
        cached = nullptr;
        if (find != INVALID_HANDLE_VALUE) qioFindClose(find);
        find = INVALID_HANDLE_VALUE;
    }
};

// Whether one of the count directories made from first on (a chain
// through psiNext) has name.
bool AlreadyMade(const SubdirInfo* first, int count, const WCHAR* name) {
    for (const SubdirInfo* d = first; d && count > 0; d = d->psiNext, count--)
        if (d->pszName && !wcscmp(d->pszName, name)) return true;
    return false;
}

bool IsDotName(const WCHAR* name) {
    return name[0] == u'.' && (!name[1] || (name[1] == u'.' && !name[2]));
}

// A directory the log shows but never enters: a symbolic link or junction,
// or a directory that another file system is mounted on.
bool IsNotEntered(const WIN32_FIND_DATAW& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
           data.dwReserved0 == FIND_DATA_MOUNT_TAG;
}

bool HasDepthLimit() { return gLogDepthLimit != LOG_NO_DEPTH_LIMIT; }
// The deepest level a log may reach.
DWORD DepthLimitLevel() {
    return DWORD(WORD(gLogDepthLimit)) + (psiCurrent ? psiCurrent->wLevel : 0);
}

// Fills dir from the find data of a new directory below path.
void FillNewDir(SubdirInfo* dir, const WCHAR* path, const WIN32_FIND_DATAW& data, DWORD level,
                DiskInfo* disk, SubdirInfo* parent) {
    const size_t pathLength = wcslen(path);
    const size_t nameLength = wcslen(data.cFileName);
    auto* full = static_cast<WCHAR*>(
        CheckedMalloc((pathLength + 1 + nameLength + 1) * sizeof(WCHAR), "Qtb", 6202, "readtreeRec"));
    std::memcpy(full, path, pathLength * sizeof(WCHAR));
    full[pathLength] = u'\\';
    std::memcpy(full + pathLength + 1, data.cFileName, (nameLength + 1) * sizeof(WCHAR));
    SubdirInfo* owner = parent ? parent : disk->psiRoot;
    dir->wLevel = level;
    dir->pszFullName = full;
    dir->pszName = full + pathLength + 1;
    dir->wNameWidth = WORD(std::max<size_t>(nameLength + 1, 14));
    dir->wAttributes = WORD(data.dwFileAttributes);
    dir->bVisible = parent ? parent->bVisible : 1;
    dir->psiParent = owner;
    dir->pdiDisk = disk;
    FindDataToPacked(&data, &dir->dCreated, &dir->tCreated, &dir->dWritten, &dir->tWritten,
                     &dir->dAccessed, &dir->tAccessed);
    dir->wMode = WORD(data.dwReserved1);
    const WORD pane = gCurrentPane & 1;
    SetBit(dir->bFlags[pane], SlotPasses(gFilterSlots[pane], dir) != 0);
    if (owner) owner->dwChildren++;
    disk->dwTreeRows++;
    disk->dwDirEntries++;
}

} // namespace

int qReadDir(DiskInfo* disk, SubdirInfo* dir) {
    SetBusy(1);
    struct BusyEnd {
        ~BusyEnd() { SetBusy(0); }
    } busyEnd;

    if (dir->pFiles || dir->dwFiles) {
        DropFileFigures(disk, dir);
        FreeFiles(dir);
        _heapmin();
    } else {
        DropFileFigures(nullptr, dir);
    }

    const size_t nameLength = dir->pszFullName ? wcslen(dir->pszFullName) : 0;
    if (nameLength > TREE_MAX_FULL_NAME) {
        wcsncpy_s(gErrorPath, 1026, dir->pszFullName, 1025);
        const WORD drive = dir->pszFullName[0];
        DWORD answer;
        do answer = ErrorDialog(drive, ERROR_FILENAME_EXCED_RANGE, 1);
        while (answer == ErrChoiceRetry);
        gErrorAnswer = answer;
        return answer == ErrChoiceSkip ? -2 : -3;
    }

    std::u16string pattern = QioLongPath(dir->pszFullName);
    if (pattern.empty() || pattern.back() != u'\\') pattern += u'\\';
    pattern += u'*';

    DirFileRec* files = nullptr;
    int n;
    if (gReadAheadActive) {
        qioFreeDirList(gCachedSubdirs);
        gCachedSubdirs = nullptr;
        gCachedSubdirsOwner = nullptr;
        DirSubdirRec* subdirs = nullptr;
        DWORD endFlag = 0;
        n = qioReadDirEx(pattern.c_str(), &files, &subdirs, &endFlag);
        // A complete listing is kept even when it holds no directory, so
        // that a leaf is not listed a second time for its subdirectories.
        if (n >= 0 && endFlag) {
            gCachedSubdirs = subdirs;
            gCachedSubdirsOwner = dir;
        } else {
            qioFreeDirList(subdirs);
        }
    } else {
        n = qioReadDir(pattern.c_str(), &files);
    }

    dir->bRefresh = 0;
    dir->pdiDisk = disk;
    if (n <= 0) {
        qioFreeFileList(files);
        if (n < 0) {
            dir->bLogged = 0;
            return n;
        }
        MarkRead(dir);
        return 0;
    }

    FileEntry* array = AllocFileArrayAt(DWORD(n), 6986, "qReadDir");
    const WORD pane = gCurrentPane & 1;
    ULONGLONG bytes = 0;
    DWORD index = 0;
    for (DirFileRec* rec = files; rec;) {
        FileEntry* e = &array[index];
        SetEntryName(rec->name, e);
        e->wIndex = ++index;
        e->qwSize = rec->size;
        e->wAttributes = rec->attributes;
        e->wMode = rec->mode;
        e->dCreated = rec->createdDate;
        e->tCreated = rec->createdTime;
        e->dWritten = rec->writtenDate;
        e->tWritten = rec->writtenTime;
        e->dAccessed = rec->accessedDate;
        e->tAccessed = rec->accessedTime;
        e->psiOwner = dir;
        e->bFlags[pane] = 0;
        bytes += rec->size;
        DirFileRec* next = rec->next;
        rec->next = nullptr;
        qioFreeFileList(rec);
        rec = next;
    }
    dir->pFiles = array;
    dir->dwFiles = index;
    dir->qwFileBytes = bytes;

    if (disk) {
        disk->dwFiles += index;
        disk->qwFileBytes += bytes;
    }
    // SortDirFiles counts the ordinary entries; an array of one is only
    // counted.
    SortDirFiles(dir);
    dir->bRefresh = 0;
    MarkRead(dir);
    ApplyDirCounts(disk, dir);

    if (disk && gLogMode == LOG_FULL_DISK && (!gSplitScreen || gIniWorking.statsPanels == 2) &&
        RedrawDue(&gLastProgressDraw))
        ShowLogProgress(disk);
    return int(index);
}

int readtreeRec(const WCHAR* path, SubdirInfo** spareIO, DiskInfo* disk, SubdirInfo* parent,
                BOOL showPath) {
    SubdirInfo* const entrySpare = *spareIO;
    const DWORD entryLevel = entrySpare->wLevel;
    const DWORD level = entryLevel + 1;

    if (Interrupted()) {
        const int key = AskLogOption();
        if (key == 'P') return READTREE_PARTIAL;
        if (key == 27) return READTREE_STOPPED;
    }

    if (HasDepthLimit() && DepthLimitLevel() < level) {
        entrySpare->psiNext = nullptr;
        return READTREE_SKIPPED;
    }

    const size_t pathLength = wcslen(path);
    auto* pattern = static_cast<WCHAR*>(
        CheckedMalloc((pathLength + 12) * sizeof(WCHAR), "Qtb", 6088, "readtreeRec"));
    {
        std::u16string text = QioLongPath(path);
        text += u"\\*.*";
        std::memcpy(pattern, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    }
    struct PatternEnd {
        WCHAR* p;
        ~PatternEnd() { std::free(p); }
    } patternEnd{pattern};

    if (showPath && (!psiCurrent || !psiCurrent->pszFullName || wcscmp(path, psiCurrent->pszFullName)) &&
        RedrawDue(&gLastPathDraw))
        ShowPathLine(path);

    DirSource source;
    SubdirInfo* const owner = parent ? parent : disk->psiRoot;
    if (gCachedSubdirsOwner && gCachedSubdirsOwner == owner) {
        source.cached = gCachedSubdirs;
        gCachedSubdirs = nullptr;
        gCachedSubdirsOwner = nullptr;
    } else {
        const int opened = source.Open(pattern, path, disk);
        if (source.find == INVALID_HANDLE_VALUE) return opened;
    }

    const bool hideDirs = (gSettings.bHideDirs & 1) != 0;
    const bool noLogList = gNoLogList.count > 0;
    SubdirInfo* spare = entrySpare;
    SubdirInfo* last = nullptr;
    int count = 0;
    bool stopped = false;
    int stopCode = READTREE_STOPPED;
    bool resumed = false; // the listing was started again after a read error
    WIN32_FIND_DATAW data;
    for (;;) {
        const DWORD got = source.Next(&data);
        if (got == ERROR_NO_MORE_FILES) break;
        if (got) {
            // A listing cut short is no complete listing: the error dialog
            // decides, and a retry lists the directory again from its start.
            source.Close();
            const DWORD answer = DirSource::AskAboutError(path, disk, got);
            if (answer == ErrChoiceRetry) {
                const int opened = source.Open(pattern, path, disk);
                if (source.find != INVALID_HANDLE_VALUE) {
                    resumed = true;
                    continue;
                }
                if (opened == 0) break;
                stopCode = opened;
            } else {
                stopCode = answer == ErrChoiceSkip ? READTREE_SKIPPED : READTREE_STOPPED;
            }
            stopped = true;
            break;
        }
        if (resumed && count && AlreadyMade(entrySpare, count, data.cFileName)) continue;
        if (count && Interrupted()) {
            const int key = AskLogOption();
            if (key == 'P') gLogMode = LOG_STOPPED;
            if (key == 27) {
                stopped = true;
                break;
            }
        }
        const DWORD a = data.dwFileAttributes;
        if (!(a & FILE_ATTRIBUTE_DIRECTORY) || IsDotName(data.cFileName)) continue;
        if (hideDirs && (a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) continue;

        SubdirInfo* dir = spare;
        FillNewDir(dir, path, data, level, disk, parent);
        count++;
        if (gInterruptAfter && !--gInterruptAfter) gInterruptRequested = 1;
        last = dir;

        const WORD mode = gLogMode;
        const bool notEntered = IsNotEntered(data);
        bool descend = false;
        if (mode == LOG_FULL_DISK || mode == LOG_BRANCH) {
            if ((HasDepthLimit() && DepthLimitLevel() == level) || notEntered) {
                // Shown, not read: collapsed and not logged.
            } else if (noLogList && IsNoLogPath(level, dir->pszFullName)) {
                // Read ahead or not, this branch is never asked for.
                qioPrefetchDropBranch(dir->pszFullName);
            } else {
                const int r = qReadDir(disk, dir);
                if (r == QIO_READ_CANCELLED) {
                    stopped = true;
                } else if (r == QIO_READ_PARTIAL) {
                    gLogMode = LOG_STOPPED;
                } else if (r == QIO_READ_SKIPPED_DENIED) {
                    dir->bLogged = 5;
                    dir->bExpanded = 0;
                } else if (r >= 0) {
                    descend = true;
                }
            }
        } else if (mode == LOG_TREE_ONLY) {
            dir->bExpanded = 1;
            if (noLogList && IsNoLogPath(level, dir->pszFullName)) {
                dir->bExpanded = 0;
                qioPrefetchDropBranch(dir->pszFullName);
            } else if (!notEntered) {
                descend = true;
            } else {
                dir->bExpanded = 0;
            }
        }

        SubdirInfo* next = static_cast<SubdirInfo*>(
            CheckedCalloc(1, sizeof(SubdirInfo), "Qtb", 6264, "readtreeRec"));
        next->wLevel = level;
        dir->psiNext = next;
        spare = next;
        if (stopped) break;
        if (!descend || gLogMode == LOG_STOPPED) continue;

        SubdirInfo* childSpare = next;
        const int r = readtreeRec(dir->pszFullName, &childSpare, disk, dir, showPath);
        if (r > 0) {
            dir->bExpanded = 1;
            dir->psiChild = next;
            dir->psiNext = childSpare;
            spare = childSpare;
        } else if (r < 0) {
            // Nothing was made below dir: its spare is still empty.
            dir->bExpanded = 0;
            if (r == READTREE_DENIED) {
                dir->bLogged = 5;
            } else {
                dir->bLogged = 0;
                if (r == READTREE_PARTIAL) {
                    gLogMode = LOG_STOPPED;
                    DropFileFigures(disk, dir);
                    FreeFiles(dir);
                } else if (r == READTREE_STOPPED) {
                    stopped = true;
                    break;
                }
            }
        }
    }
    source.Close();

    if (stopped) {
        // Nothing of a stopped level is kept: the chain from the entry spare
        // on is freed, and the entry spare is handed back empty. A level
        // whose listing broke off and was skipped is left unread likewise.
        for (SubdirInfo* d = entrySpare->psiNext; d;) {
            SubdirInfo* following = d->psiNext;
            d->psiNext = nullptr;
            FreeBuiltRecord(d, disk);
            d = following;
        }
        ResetSpare(entrySpare, entryLevel, disk);
        *spareIO = entrySpare;
        return stopCode;
    }

    if (!count) {
        entrySpare->psiNext = nullptr;
        *spareIO = entrySpare;
        return 0;
    }
    last->psiNext = nullptr;
    const WORD endMode = gLogMode;
    if (endMode == LOG_ROOT_ONLY || endMode == LOG_REFRESH_WALK) {
        std::free(spare);
        *spareIO = last;
    } else {
        *spareIO = spare;
    }
    return count;
}

void ReadTreeInterruptAfterForTest(DWORD count) { gInterruptAfter = count; }

void EndLogPass(DiskInfo* disk) {
    gReadAheadActive = 0;
    qioFreeDirList(gCachedSubdirs);
    gCachedSubdirs = nullptr;
    gCachedSubdirsOwner = nullptr;
    gLastProgressDraw = gLastPathDraw = 0;
    if (disk && gLogMode == LOG_FULL_DISK) ShowLogProgress(disk);
}
