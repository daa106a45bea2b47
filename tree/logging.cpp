// Logging disks, branches and single directories: the volume facts of a
// drive, the disk records, and the log commands on top of the directory
// readers. Every command puts back what it borrowed for its call (the log
// mode, the skip-same state, the current disk and directory) on every way
// out, and a pass it started ends with read-ahead stopped.
#include "tree/logging.h"

#include "main/drive_list.h"
#include "main/file_window.h"
#include "main/statistics.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/file_utils.h"
#include "platform/read_ahead.h"
#include "platform/screen.h"
#include "platform/system_services.h"
#include "qwcrt.h"
#include "remote/remote_drives.h"
#include "settings/nolog.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/branch_links.h"
#include "tree/dir_counts.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/read_tree.h"
#include "tree/tree_records.h"
#include "ui/error_dialog.h"
#include "ui/error_reporting.h"
#include "ui/progress.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The first screen row of the tree window. The cursor row (yBar) counts
// window rows from it, so that the cursor's line is top + yBar.
constexpr WORD kTreeStartRow = 2;

int UpperLetter(int letter) { return letter >= 'a' && letter <= 'z' ? letter - 32 : letter; }

SubdirInfo* NextRow(const SubdirInfo* row) { return row->psiChild ? row->psiChild : row->psiNext; }

// The figures of a disk that its files and directories make.
void ClearDiskCounters(DiskInfo* disk) {
    disk->dwFiles = 0;
    disk->qwFileBytes = 0;
    for (int p = 0; p < 2; p++) {
        disk->dwMatchFiles[p] = disk->dwTagFiles[p] = 0;
        disk->qwMatchBytes[p] = disk->qwTagBytes[p] = 0;
    }
}

// Frees dir's files only; its subdirectories stay. The figures leave the
// disk's.
void FreeOwnFiles(SubdirInfo* dir) {
    SubdirInfo* child = dir->psiChild;
    const BYTE expanded = dir->bExpanded;
    // FreeDirFiles frees the records below a directory too: hold them back.
    dir->psiChild = nullptr;
    FreeDirFiles(dir, TRUE);
    dir->psiChild = child;
    dir->bExpanded = expanded;
}

// A spare record for readtreeRec at level.
SubdirInfo* NewSpare(DWORD level) {
    SubdirInfo* spare = AllocSubdirRecord();
    spare->wLevel = level;
    return spare;
}

// What readtreeRec handed back, when it is an unused spare.
void FreeSpare(SubdirInfo* spare) {
    if (spare && !spare->pszFullName) std::free(spare);
}

// What a logging pass borrows from its caller and puts back.
struct PassGuard {
    WORD mode = gLogMode;
    DWORD skipSame = gSkipSameAction;
    DWORD passWasRunning = gReadAheadActive;
    bool prefetchStarted = false;

    // Arms the skip-same state for the pass when the start-up option asks.
    void ArmSkipSame() const {
        if (gLogSkipErrors) gSkipSameAction = ErrChoiceSkip;
    }
    void StopReadAhead() {
        if (prefetchStarted) qioPrefetchEnd();
        prefetchStarted = false;
    }
};

// The pane other than the current one.
WORD OtherPane() { return WORD((gCurrentPane & 1) ^ 1); }

// Makes disk current with the directory of the current pane's saved path,
// else its root.
void MakeCurrent(DiskInfo* disk) {
    pdiCurrent = disk;
    SubdirInfo* dir = nullptr;
    const WCHAR* saved = disk->wszSavedPath[gCurrentPane & 1];
    if (saved[0]) dir = FindDirByPath(saved, nullptr, TRUE);
    psiCurrent = dir ? dir : disk->psiRoot;
}

} // namespace

DWORD ReadDiskInfo(DiskInfo* disk) {
    char root[4] = {char(disk->cDrive), ':', '\\', 0};
    char oldLabel[sizeof disk->szLabel];
    std::memcpy(oldLabel, disk->szLabel, sizeof oldLabel);

    char label[260] = {};
    char fileSystem[260] = {};
    DWORD serial = 0, maxComponent = 0, fsFlags = 0;
    for (;;) {
        if (RdGetVolumeInformationA(root, label, sizeof label, &serial, &maxComponent, &fsFlags,
                                    fileSystem, sizeof fileSystem))
            break;
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED) return DISKINFO_OK;
        if (error == ERROR_MORE_DATA) break;
        gErrorPath[0] = 0;
        const DWORD answer = ErrorDialog(disk->cDrive, error, 1);
        gErrorAnswer = answer;
        if (answer != ErrChoiceRetry) return answer;
    }
    disk->bDriveType = BYTE(RdGetDriveTypeA(root));

    DiskGeometry geometry{};
    ULONGLONG freeBytes = 0;
    if (qioGetDiskSpace(root, &geometry, &freeBytes) != 0) return DISKINFO_NO_SPACE_INFO;

    label[sizeof label - 1] = 0;
    CharToOemA(label, disk->szLabel);
    disk->szLabel[sizeof disk->szLabel - 1] = 0;
    snprintf(disk->szFileSystem, sizeof disk->szFileSystem, "%s", fileSystem);

    disk->wszDevice[0] = 0;
    const size_t deviceUnits = sizeof disk->wszDevice / sizeof(WCHAR);
    if (RdIsRemoteDrive(disk->cDrive)) {
        wcsncpy_s(disk->wszDevice, deviceUnits, RdDriveDisplayName(disk->cDrive), deviceUnits - 1);
    } else if (disk->bDriveType != DRIVE_REMOTE) {
        const WCHAR drive[3] = {WCHAR(disk->cDrive), u':', 0};
        WCHAR target[1024] = {};
        if (QueryDosDeviceW(drive, target, 1024) && wcslen(target) > 4 && target[1] == u'?')
            wcsncpy_s(disk->wszDevice, deviceUnits, target + 4, deviceUnits - 1);
    } else {
        const WCHAR drive[4] = {WCHAR(disk->cDrive), u':', u'\\', 0};
        WCHAR real[1100] = {};
        if (NetDriveRealPath(drive, real)) wcsncpy_s(disk->wszDevice, deviceUnits, real, deviceUnits - 1);
    }

    disk->wSectorBytes = WORD(geometry.bytesPerSector);
    disk->wClusterSectors = WORD(geometry.sectorsPerCluster);
    disk->wClusterBytes = WORD(geometry.bytesPerSector * geometry.sectorsPerCluster);
    const ULONGLONG clusterBytes = ULONGLONG(geometry.bytesPerSector) * geometry.sectorsPerCluster;
    disk->qwTotalBytes = LONGLONG(clusterBytes * geometry.totalClusters);
    disk->qwFreeBytes = LONGLONG(freeBytes);
    disk->qwUsedBytes = disk->qwFreeBytes < 0 ? ~0ULL
                                              : ULONGLONG(disk->qwTotalBytes) - ULONGLONG(disk->qwFreeBytes);
    if (disk->qwFreeBytes >= 0 && disk->qwFreeBytes > disk->qwTotalBytes) disk->qwUsedBytes = 0;
    disk->dwFsFlags = fsFlags;

    if (disk->bDriveType != DRIVE_REMOVABLE && disk->bDriveType != DRIVE_CDROM) {
        disk->dwSerial = serial;
        return DISKINFO_OK;
    }
    const bool changed = std::strcmp(oldLabel, disk->szLabel) != 0 ||
                         (disk->dwSerial != 0 && disk->dwSerial != serial);
    disk->dwSerial = serial;
    return changed ? DISKINFO_MEDIA_CHANGED : DISKINFO_OK;
}

DWORD RefreshDiskInfoByLetter(int letter) {
    DiskInfo* disk = FindVolume(letter);
    return disk ? ReadDiskInfo(disk) : 0;
}

DWORD NewDiskRecord(int letter, BOOL create, DiskInfo** diskIO, BOOL readInfo) {
    SetBusy(1);
    struct BusyEnd {
        ~BusyEnd() { SetBusy(0); }
    } busyEnd;

    DiskInfo* disk;
    if (!create) {
        disk = *diskIO;
        disk->cDrive = BYTE(letter);
        if (readInfo) {
            const DWORD code = ReadDiskInfo(disk);
            if (code > DISKINFO_MEDIA_CHANGED) return code;
        }
    } else {
        disk = AllocDiskRecord();
        disk->cDrive = BYTE(letter);
        if (readInfo) {
            const DWORD code = ReadDiskInfo(disk);
            if (code > DISKINFO_MEDIA_CHANGED) {
                std::free(disk);
                return code;
            }
        }
        LinkDiskRecord(disk);
        *diskIO = disk;
    }
    if (!readInfo) return 0;

    disk->dwTreeRows = 0;
    ClearDiskCounters(disk);
    disk->dwDirEntries = 0;
    for (int p = 0; p < 2; p++) {
        disk->dwTreeTop[p] = 0;
        disk->dwListKey[p] = 0;
        disk->yBar[p] = gTreeFirstLine; // the root's row
    }
    pdiCurrent = disk;
    RecountDisk(disk);
    ShowDiskStats();
    if (!gSplitScreen) {
        const WCHAR root[4] = {WCHAR(disk->cDrive), u':', u'\\', 0};
        ShowPathLine(root);
        if (gSmallWindowRow && gSmallWindowLastRow >= gSmallWindowRow)
            ScrClearArea(gSmallWindowRow, 1, gSmallWindowLastRow, gTreeWidth, gNormalAttr);
    }
    return 0;
}

int LogDiskRoot(BOOL show) {
    DiskInfo* disk = pdiCurrent;
    const WORD mode = gLogMode;
    const bool remote = RdIsRemoteDrive(disk->cDrive) != FALSE;
    if (show && (mode == LOG_TREE_ONLY || mode == LOG_FULL_DISK) && !gSplitScreen) ShowLogoBox(0);
    FreeDiskTree(disk);

    // The root.
    SubdirInfo* root = AllocSubdirRecord();
    const WCHAR rootName[4] = {WCHAR(disk->cDrive), u':', u'\\', 0};
    root->pszFullName = static_cast<WCHAR*>(CHECKED_MALLOC(sizeof rootName, "Qtb"));
    std::memcpy(root->pszFullName, rootName, sizeof rootName);
    root->pszName = root->pszFullName;
    root->wLevel = 0;
    root->psiParent = root;
    root->pdiDisk = disk;
    root->bVisible = 1;
    const DWORD attributes = qioGetFileAttributes(rootName);
    root->wAttributes = WORD(attributes == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_DIRECTORY : attributes);
    root->wNameWidth = WORD(std::max<size_t>(wcslen(disk->wszDevice) + 5, 14));
    for (int p = 0; p < 2; p++)
        if (SlotPasses(gFilterSlots[p], root)) root->bFlags[p] |= ENTRY_MATCHES;
    disk->psiRoot = root;
    disk->dwTreeRows = 0;
    disk->dwDirEntries = 1;
    disk->bHasRefresh = 0;
    disk->qwSlackBytes = 0;
    // A depth limit counts from the directory being logged: the root.
    psiCurrent = root;
    if (show) ShowLogProgress(disk);

    PassGuard guard;
    gReadAheadActive = 1;
    if (gPrefetchEnabled && (mode == LOG_TREE_ONLY || mode == LOG_FULL_DISK) &&
        gLogDepthLimit == LOG_NO_DEPTH_LIMIT && !remote)
        guard.prefetchStarted = qioPrefetchBranch(rootName) != 0;

    const bool readRootFiles =
        mode == LOG_FULL_DISK || (mode == LOG_ROOT_ONLY && !gSettings.bNoLogFilesInRoot);
    if (readRootFiles) {
        if (qReadDir(disk, root) < 0) {
            guard.StopReadAhead();
            EndLogPass(nullptr);
            return 0;
        }
    } else {
        root->bExpanded = 1;
        root->bLogged = 0;
    }

    SubdirInfo* spare = NewSpare(0);
    SubdirInfo* first = spare;
    guard.ArmSkipSame();
    SetBusy(1);
    const WCHAR drive[3] = {WCHAR(disk->cDrive), u':', 0};
    const int found = readtreeRec(drive, &spare, disk, nullptr, show);
    SetBusy(0);
    if (spare != first) FreeSpare(spare);
    guard.StopReadAhead();

    if (found == READTREE_STOPPED) {
        std::free(first);
        FreeOwnFiles(root);
        ClearDiskCounters(disk);
        disk->dwTreeRows = 0;
        disk->dwDirEntries = 1;
        EndLogPass(nullptr);
        gSkipSameAction = guard.skipSame;
        return 0;
    }
    if (found == READTREE_PARTIAL) gLogMode = LOG_STOPPED;
    psiCurrent = root;
    if (found > 0) {
        root->psiChild = CollectLevelRun(first, nullptr, TRUE);
        FixSiblingLinks(root->psiChild);
    } else {
        std::free(first);
        root->psiChild = nullptr;
    }
    EndLogPass(nullptr);
    gSkipSameAction = guard.skipSame;
    if (show) {
        RecountDisk(disk);
        showtree();
        ScrPaintTreeLines(int(disk->dwTreeTop[gCurrentPane & 1]));
        ShowDiskStats();
        ShowFileWindow();
        ShowStatsHeader();
    }
    return 1;
}

int LogDrive(int letter, BOOL relog, BOOL releaseOthers, BOOL quiet) {
    letter = UpperLetter(letter);
    DiskInfo* existing = FindVolume(letter);
    if ((!existing || relog) && !DriveInList(letter) && BuildDriveList(letter) != letter) {
        if (gWindowMode == WM_LOG_DIALOG) {
            ScrBeep();
        } else {
            char text[40];
            snprintf(text, sizeof text, "Invalid drive specified [%c:]", letter);
            ShowError(0, text);
        }
        return LOGDRIVE_INVALID;
    }

    DiskInfo* const previousDisk = pdiCurrent;
    SubdirInfo* const previousDir = psiCurrent;
    if (existing) {
        bool relogIt = relog != FALSE;
        // Under the directory picker a logged disk is only switched to; A
        // is read again when its media changed.
        if (gPickerActive)
            relogIt = letter == 'A' && ReadDiskInfo(existing) == DISKINFO_MEDIA_CHANGED;
        if (!relogIt) {
            MakeCurrent(existing);
            ShowDiskStats();
            return LOGDRIVE_OK;
        }
        DiskInfo* disk = existing;
        const DWORD code = NewDiskRecord(letter, FALSE, &disk, TRUE);
        if (code) {
            pdiCurrent = previousDisk;
            psiCurrent = previousDir;
            return int(code);
        }
    } else {
        DiskInfo* disk = nullptr;
        const DWORD code = NewDiskRecord(letter, TRUE, &disk, TRUE);
        if (code) {
            pdiCurrent = previousDisk;
            psiCurrent = previousDir;
            return int(code);
        }
    }
    DiskInfo* const disk = pdiCurrent;

    if (!gSplitScreen) ShowStatsHeader();
    const WORD callerMode = gLogMode;
    // A pass that ended partially leaves mode 5, and branch and refresh
    // modes are no disk methods: a disk is then logged by the settings.
    if (gLogMode > LOG_FULL_DISK) gLogMode = gIniWorking.logMethod <= LOG_FULL_DISK ? gIniWorking.logMethod : LOG_ROOT_ONLY;
    if (RdIsRemoteDrive(letter)) gLogMode = LOG_ROOT_ONLY;
    const int done = LogDiskRoot(!quiet);
    gLogMode = callerMode;

    if (done) {
        for (int p = 0; p < 2; p++) wcscpy_s(disk->wszSavedPath[p], 1025, disk->psiRoot->pszFullName);
        if (gSplitScreen) {
            PaneState& other = gPanes[OtherPane()];
            if (!other.Disk || other.Disk->cDrive == disk->cDrive || other.Disk == disk) {
                other.Disk = disk;
                other.Directory = disk->psiRoot;
            }
        }
        if (releaseOthers) {
            std::vector<DiskInfo*> others;
            DiskInfo* d = pdiFirst;
            for (WORD n = 0; n < gDiskCount && d; n++, d = d->pdiNext)
                if (d != disk) others.push_back(d);
            for (DiskInfo* other : others) ReleaseDisk(other);
            pdiCurrent = disk;
            psiCurrent = disk->psiRoot;
        }
        return LOGDRIVE_OK;
    }

    if (disk != previousDisk) {
        ReleaseDisk(disk);
        pdiCurrent = previousDisk;
        psiCurrent = previousDisk ? previousDir : nullptr;
        if (previousDisk && !previousDir) psiCurrent = previousDisk->psiRoot;
        return LOGDRIVE_STOPPED;
    }
    psiCurrent = disk->psiRoot;
    return LOGDRIVE_RELOG_STOPPED;
}

int LogBranch(WORD mode, SubdirInfo* dir, BOOL showPath) {
    PassGuard guard;
    gLogMode = mode;
    DiskInfo* disk = dir->pdiDisk ? dir->pdiDisk : pdiCurrent;
    int result;
    if (!dir->psiParent || dir->psiParent == dir) {
        result = LogDiskRoot(mode == LOG_TREE_ONLY);
    } else {
        // The branch is read anew: the directories logged below dir before go.
        if (dir->psiChild) FreeDirFiles(dir, FALSE);
        SubdirInfo* spare = NewSpare(dir->wLevel);
        SubdirInfo* const first = spare;
        SetBusy(1);
        gReadAheadActive = 1;
        guard.ArmSkipSame();
        if (gPrefetchEnabled && mode >= LOG_TREE_ONLY && mode <= LOG_BRANCH &&
            gLogDepthLimit == LOG_NO_DEPTH_LIMIT && !RdIsRemoteDrive(disk->cDrive))
            guard.prefetchStarted = qioPrefetchBranch(dir->pszFullName) != 0;
        const int found = readtreeRec(dir->pszFullName, &spare, disk, dir, showPath);
        guard.StopReadAhead();
        SetBusy(0);
        if (spare != first) FreeSpare(spare);
        if (found > 0) {
            dir->psiChild = CollectLevelRun(first, dir->psiNext, TRUE);
        } else {
            std::free(first);
            dir->psiChild = nullptr;
        }
        if (found < 0 && found != READTREE_DENIED) FreeOwnFiles(dir);
        if (found == READTREE_PARTIAL) gLogMode = LOG_STOPPED;
        if (!gDeferRecount) {
            if (disk->psiRoot) FixSiblingLinks(disk->psiRoot->psiChild);
            RecountDisk(disk);
        }
        if (found >= 0) {
            dir->bExpanded = 1;
            if (dir->bLogged == 5) dir->bLogged = 0;
            result = 1;
        } else if (found == READTREE_DENIED) {
            dir->bLogged = 5;
            dir->bExpanded = 0;
            result = 0;
        } else {
            dir->bExpanded = 0;
            result = 0;
        }
        if (!guard.passWasRunning) EndLogPass(disk);
    }
    if (gLogMode == LOG_STOPPED) gErrorAnswer = 1223;
    gSkipSameAction = guard.skipSame;
    gLogMode = guard.mode;
    return result;
}

SubdirInfo* LogPath(const WCHAR* path, DWORD* top, WORD* yBar) {
    *top = 0;
    *yBar = gTreeFirstLine;
    WCHAR full[TREE_MAX_FULL_NAME + 8];
    const int currentLetter = pdiCurrent ? pdiCurrent->cDrive : 'A' + _getdrive() - 1;
    bool fromCurrentDirectory = false;
    if (!path) {
        if (!GetCurrentDirectoryW(TREE_MAX_FULL_NAME + 1, full)) return nullptr;
        fromCurrentDirectory = true;
    } else if (path[0] == u'\\') {
        full[0] = WCHAR(currentLetter);
        full[1] = u':';
        wcsncpy_s(full + 2, TREE_MAX_FULL_NAME + 6, path, TREE_MAX_FULL_NAME);
    } else if (!wcschr(path, u':')) {
        full[0] = WCHAR(currentLetter);
        full[1] = u':';
        full[2] = u'\\';
        wcsncpy_s(full + 3, TREE_MAX_FULL_NAME + 5, path, TREE_MAX_FULL_NAME);
    } else {
        wcsncpy_s(full, TREE_MAX_FULL_NAME + 8, path, TREE_MAX_FULL_NAME + 2);
    }
    full[0] = WCHAR(UpperLetter(full[0]));
    DiskInfo* disk = FindVolume(full[0]);
    if (!disk || !disk->psiRoot) return nullptr;
    pdiCurrent = disk;
    SubdirInfo* root = disk->psiRoot;
    if (fromCurrentDirectory) psiCurrent = FindDirByPath(full, nullptr, FALSE);

    // A bare drive: its root.
    const size_t length = wcslen(full);
    if (length <= 3) {
        if (gLogDepthLimit != LOG_NO_DEPTH_LIMIT) {
            psiCurrent = root;
            LogBranch(LOG_FULL_DISK, root, 0);
        }
        return disk->psiRoot;
    }

    if (gLogMode != LOG_FULL_DISK && root->pFiles) {
        FreeOwnFiles(root);
        root->bLogged = 0;
    }

    SubdirInfo* at = root;
    SubdirInfo* foundDir = nullptr;
    const WCHAR* component = full + 3;
    while (*component) {
        const WCHAR* end = component;
        while (*end && *end != u'\\') end++;
        const size_t units = size_t(end - component);
        const bool lastComponent = !*end || !end[1];
        SubdirInfo* match = nullptr;
        if (units) {
            SubdirInfo* fold = nullptr;
            for (SubdirInfo* child = at->psiChild; child && child->wLevel > at->wLevel;
                 child = child->psiNext) {
                if (child->wLevel != at->wLevel + 1) continue;
                const WCHAR* name = child->pszName;
                if (wcslen(name) != units) continue;
                if (!wcsncmp(name, component, units)) {
                    match = child;
                    break;
                }
                if (!fold && !_wcsnicmp(name, component, units)) fold = child;
            }
            if (!match) match = fold;
            if (!match) break;
            psiCurrent = match;
            if (!match->bExpanded) {
                const DWORD skipSame = gSkipSameAction;
                if (gLogSkipErrors) gSkipSameAction = ErrChoiceSkip;
                LogBranch(gLogDepthLimit != LOG_NO_DEPTH_LIMIT ? LOG_FULL_DISK : LOG_REFRESH_WALK,
                          match, 0);
                gSkipSameAction = skipSame;
            }
            if (lastComponent && match->bLogged != 1) qReadDir(disk, match);
            foundDir = match;
            at = match;
        }
        if (!*end) break;
        component = end + 1;
    }
    if (!foundDir) {
        if (!root->bLogged) return nullptr;
        foundDir = root;
        psiCurrent = root;
    }

    // The tree window shows the directory.
    showtree();
    DWORD row = 0;
    for (const SubdirInfo* d = root; d && d != foundDir; d = NextRow(d))
        if (d != root && d->bVisible) row++;
    if (foundDir != root) row++;
    const DWORD index = row + gTreeFirstLine;
    const DWORD windowRows = gSmallWindowRow > kTreeStartRow + 1 ? gSmallWindowRow - kTreeStartRow - 1 : 1;
    DWORD newTop = 0;
    while (index - newTop >= windowRows) newTop++;
    *top = newTop;
    *yBar = WORD(index - newTop);
    const WORD pane = gCurrentPane & 1;
    disk->dwTreeTop[pane] = *top;
    disk->yBar[pane] = *yBar;
    return foundDir;
}

int LogUnloggedSubdirs() {
    DiskInfo* disk = pdiCurrent;
    SubdirInfo* top = psiCurrent;
    if (!disk || !top) return 1;
    const LONG noLogCount = gNoLogList.count;
    if (gNoLogList.count > 0) gNoLogList.count = 0;
    gErrorAnswer = 0;
    // The branch is shown for the walk, so that what it logs gets rows.
    const BYTE wasExpanded = top->bExpanded;
    if (!wasExpanded && top->psiChild) TreeExpandWalk(FALSE);

    bool skipLater = false;
    for (SubdirInfo* d = top; d;) {
        if (d->bLogged == 0) {
            if (skipLater) gSkipSameAction = ErrChoiceSkip;
            if (d->bExpanded) {
                if (gLogMode != LOG_STOPPED) qReadDir(disk, d);
            } else {
                LogBranch(LOG_FULL_DISK, d, 0);
            }
            if (gErrorAnswer == 1223) break;
            if (gErrorAnswer == ErrChoiceSkip) skipLater = true;
        }
        SubdirInfo* next = NextRow(d);
        if (!next || next->wLevel <= top->wLevel) break;
        d = next;
    }

    gNoLogList.count = noLogCount;
    if (!wasExpanded && top->bExpanded && psiCurrent == top) TreeExpandWalk(TRUE);
    gSkipSameAction = 0;
    return 1;
}

int RelogDir(SubdirInfo* dir, WORD mode) {
    const DWORD passWasRunning = gReadAheadActive;
    gReadAheadActive = 1;
    DiskInfo* disk = dir->pdiDisk ? dir->pdiDisk : pdiCurrent;
    if (dir->bLogged || dir->bExpanded) FreeDirFiles(dir, TRUE);
    int result = qReadDir(disk, dir);
    if (result >= 0) result = LogBranch(mode, dir, 1);
    if (!passWasRunning) EndLogPass(disk);
    return result;
}

int RelogCurrentDir() {
    const WORD callerMode = gLogMode;
    gLogMode = LOG_FULL_DISK;
    DiskInfo* disk = pdiCurrent;
    int result;
    if (psiCurrent && disk && psiCurrent == disk->psiRoot) {
        ClearDiskCounters(disk);
        // Mode 2 reads the root's files whatever "Log files in disk root" says.
        result = LogDiskRoot(TRUE);
        if (!result) {
            if (disk->psiRoot) FreeOwnFiles(disk->psiRoot);
            ClearDiskCounters(disk);
            result = -1;
        }
    } else if (psiCurrent) {
        result = RelogDir(psiCurrent, LOG_FULL_DISK);
    } else {
        result = 0;
    }
    gLogMode = callerMode;
    return result;
}
