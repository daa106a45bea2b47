// Each pane's view of the tree: the display list's entries and figures as
// records leave it, the tagged totals, the per-pane positions kept in the
// disks, copying tags across, shortcuts, the shared temporary copy and the
// cluster slack of the information screen.
#include "tree/pane_bookkeeping.h"

#include "main/file_jump.h"
#include "main/tree_window.h"
#include "main/window_state.h"
#include "menu/open_copy.h"
#include "platform/console_session.h"
#include "platform/file_utils.h"
#include "qwcrt.h"
#include "remote/remote_drives.h"
#include "tree/file_list.h"
#include "ui/progress.h"
#include "ui/sorted_nodes.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

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

namespace {

constexpr BYTE kTagBits = ENTRY_TAGGED | ENTRY_MARKED;

bool IsTagged(const EntryHead* e, WORD pane) { return (e->bFlags[pane & 1] & kTagBits) != 0; }

WORD Pane() { return WORD(gCurrentPane & 1); }

SubdirInfo* NextInPreOrder(SubdirInfo* d) { return d->psiChild ? d->psiChild : d->psiNext; }

// The logged disks in ring order.
template <typename Fn> void ForEachDisk(Fn fn) {
    DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++, disk = disk->pdiNext) fn(disk);
}

template <typename Fn> void ForEachDir(DiskInfo* disk, Fn fn) {
    for (SubdirInfo* d = disk->psiRoot; d; d = NextInPreOrder(d)) fn(d);
}

// The list's entries, or none without a list.
std::span<EntryHead*> ListSpan() {
    if (!gFileList) return {};
    return {ListEntries(gFileList), size_t(gFMax)};
}

// Copies path into a buffer of JUMP_PATH_UNITS, cut when longer.
void StoreJumpText(WCHAR* buffer, const WCHAR* text, size_t length) {
    length = std::min(length, JUMP_PATH_UNITS - 1);
    std::copy(text, text + length, buffer);
    buffer[length] = 0;
}

// Splits path at its last backslash into the jump directory and file; a
// root keeps its backslash.
void StoreJumpTarget(const WCHAR* path, bool isDirectory) {
    if (isDirectory) {
        StoreJumpText(gJumpDir, path, wcslen(path));
        gJumpFile[0] = 0;
        return;
    }
    const WCHAR* slash = wcsrchr(path, u'\\');
    const size_t dirLength = !slash ? 0 : slash == path + 2 && path[1] == u':' ? 3 : size_t(slash - path);
    StoreJumpText(gJumpDir, path, dirLength);
    const WCHAR* name = slash ? slash + 1 : path;
    StoreJumpText(gJumpFile, name, wcslen(name));
}

// The directory part of path (a root keeps its backslash), or empty.
std::u16string ParentOf(const WCHAR* path) {
    const WCHAR* slash = wcsrchr(path, u'\\');
    if (!slash) return {};
    if (slash == path + 2 && path[1] == u':') return std::u16string(path, 3);
    return std::u16string(path, size_t(slash - path));
}

ULONGLONG CompressedSizeOf(const FileEntry* file) {
    WCHAR path[TREE_MAX_FULL_NAME + 1];
    if (!GetFullFileName(path, file)) return file->qwSize;
    DWORD high = 0;
    const DWORD low = qioGetCompressedSize(path, &high);
    return ULONGLONG(high) << 32 | low;
}

bool IsBelow(const SubdirInfo* dir, const SubdirInfo* top) {
    if (!top) return false;
    for (const SubdirInfo* d = dir; d; d = d->psiParent) {
        if (d == top) return true;
        if (d->wLevel == 0 || d->psiParent == d) return false;
    }
    return false;
}

} // namespace

DWORD gSlackCompressedFiles = 0;
ULONGLONG gSlackCompressedBytes = 0;

ULONGLONG SumTaggedSize(BOOL countOnly, BOOL withOverhead) {
    const WORD pane = Pane();
    ULONGLONG count = 0, bytes = 0;
    for (const EntryHead* e : ListSpan()) {
        if (!e || !(e->bFlags[pane] & ENTRY_MATCHES) || !IsTagged(e, pane)) continue;
        count++;
        bytes += e->size;
    }
    if (countOnly || bytes == 0) return count;
    return withOverhead ? bytes + 70000 * count : bytes;
}

DWORD CountTaggedInDir(const SubdirInfo* dir, WORD pane) {
    if (!dir || !dir->pFiles) return 0;
    DWORD count = 0;
    for (DWORD i = 0; i < dir->dwFiles; i++)
        if (IsTagged(HeadOf(&dir->pFiles[i]), pane)) count++;
    return count;
}

SubdirInfo* ShallowestListDir() {
    SubdirInfo* shallowest = nullptr;
    DWORD lowest = 300;
    for (const EntryHead* e : ListSpan())
        if (e && e->owner && e->owner->wLevel < lowest) {
            lowest = e->owner->wLevel;
            shallowest = e->owner;
        }
    return shallowest ? shallowest : psiCurrent;
}

void SaveSidePosition(SubdirInfo* dir, DWORD index) {
    const WORD pane = Pane();
    if (gDisplayMode[pane] <= 2 || !dir || !dir->pdiDisk) return;
    dir->pdiDisk->dwListIndex[pane] = index;
    dir->pdiDisk->dwListTop[pane] = gPanes[pane].FirstShown;
}

void InheritOtherSideState() {
    const WORD pane = Pane(), other = WORD(1 - pane);
    ForEachDisk([&](DiskInfo* disk) {
        disk->dwListKey[pane] = disk->dwListKey[other];
        disk->dwListIndex[pane] = disk->dwListIndex[other];
        ForEachDir(disk, [&](SubdirInfo* d) { d->dwPaneWord[pane] = d->dwPaneWord[other]; });
    });
}

void ResetSideDirState() {
    const WORD pane = Pane();
    ForEachDisk([&](DiskInfo* disk) {
        disk->dwListKey[0] = disk->dwListKey[1];
        disk->dwListIndex[0] = 0;
        ForEachDir(disk, [&](SubdirInfo* d) { d->dwPaneWord[pane] = 0; });
    });
}

SubdirInfo* KeepTreeCursorVisible(DWORD* treeTop, WORD* yBar) {
    const WORD pane = Pane();
    DiskInfo* const disk = pdiCurrent;
    // The tree window's rows: those above the small file window, less the
    // frame and the path line.
    const DWORD height = gSmallWindowRow > 4 ? DWORD(gSmallWindowRow) - 3 : 1;
    DWORD top = *treeTop;
    DWORD row = *yBar;
    if (row >= height) {
        top += row - (height - 1);
        row = height - 1;
    }
    if (disk) {
        // The list's last row: the empty rows above the root, the root and
        // the rows below it. The cursor never lies beyond it.
        const DWORD last = DWORD(gTreeFirstLine) + disk->dwTreeRows;
        if (top + row > last) {
            const DWORD excess = top + row - last;
            const DWORD fromTop = std::min(excess, top);
            top -= fromTop;
            row -= std::min<DWORD>(excess - fromTop, row);
        }
        // Pulling the top back keeps the cursor on its line, one row lower.
        while (top > 0 && top + height > last + 1 && row + 1 < height) {
            top--;
            row++;
        }
        disk->dwTreeTop[pane] = top;
        disk->yBar[pane] = WORD(row);
    }
    *treeTop = top;
    *yBar = WORD(row);
    return FindPathFromPos(top + row, 0, 5064);
}

int FollowShortcutEntry(DWORD index) {
    if (!gFileList || index >= gFMax) return 0;
    EntryHead* e = ListEntries(gFileList)[index];
    if (!e) return 0;
    WCHAR path[TREE_MAX_FULL_NAME + 1];
    if (gDirMode[Pane()]) {
        const SubdirInfo* dir = reinterpret_cast<const SubdirInfo*>(e);
        if (!dir->pszFullName || wcslen(dir->pszFullName) > TREE_MAX_FULL_NAME) return 0;
        wcscpy_s(path, TREE_MAX_FULL_NAME + 1, dir->pszFullName);
    } else if (!GetFullFileName(path, reinterpret_cast<const FileEntry*>(e))) {
        return 0;
    }
    const WCHAR* dot = wcsrchr(path, u'.');
    if (!dot || wcschr(dot, u'\\') || _wcsicmp(dot + 1, u"LNK") != 0) return 0;
    WCHAR target[JUMP_PATH_UNITS] = {};
    if (!ShellObjectHelper(path, target, JUMP_PATH_UNITS) || !target[0]) return 0;
    const DWORD attributes = RdGetFileAttributesW(target);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        StoreJumpTarget(target, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        return 4153;
    }
    // The target is gone: its directory, when that is still there.
    const std::u16string parent = ParentOf(target);
    if (parent.empty()) return 0;
    const DWORD parentAttributes = RdGetFileAttributesW(parent.c_str());
    if (parentAttributes == INVALID_FILE_ATTRIBUTES || !(parentAttributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    MessageBeep(0);
    StoreJumpTarget(target, false);
    return 4153;
}

void ReleaseTempFile(const WCHAR* path) {
    if (!path || !path[0]) return;
    if (gOpenCopyUses > 0 && wcscmp(path, gOpenCopyPath) == 0) {
        // Other users still read the shared copy.
        if (--gOpenCopyUses > 0) return;
        RdDeleteFileW(path);
        gOpenCopyPath[0] = 0;
        gOpenCopySource[0] = 0;
        return;
    }
    RdDeleteFileW(path);
}

ULONGLONG ComputeDiskSlack(BOOL belowCurrentOnly) {
    constexpr LONGLONG kUnknown = -1;
    DiskInfo* const disk = pdiCurrent;
    gSlackCompressedFiles = 0;
    gSlackCompressedBytes = 0;
    if (!disk) return ULONGLONG(kUnknown);
    disk->qwSlackBytes = kUnknown;
    disk->qwSavedBytes = kUnknown;
    SetBusy(1);
    // In 64 bits: a cluster of 64 KiB or more does not fit 16 bits. A
    // cluster size of 0 (unknown) gives no slack.
    const ULONGLONG cluster = ULONGLONG(disk->wSectorBytes) * disk->wClusterSectors;
    const bool ntfs = std::strcmp(disk->szFileSystem, "NTFS") == 0;
    ULONGLONG slack = 0;
    bool everyDirLogged = true;
    for (SubdirInfo* d = disk->psiRoot; d; d = NextInPreOrder(d)) {
        if (d->bLogged == 0) everyDirLogged = false;
        if (d->bLogged == 0 || !d->pFiles) continue;
        const bool counted = !belowCurrentOnly || IsBelow(d, psiCurrent);
        for (DWORD i = 0; i < d->dwFiles; i++) {
            if (gInterruptRequested.load()) {
                SetBusy(0);
                return ULONGLONG(kUnknown);
            }
            const FileEntry* file = &d->pFiles[i];
            if (IsDriveEntry(file)) continue;
            const ULONGLONG size = file->qwSize;
            if (file->wAttributes & (0x800 | 0x200)) {
                if (counted) {
                    gSlackCompressedFiles++;
                    gSlackCompressedBytes += size;
                }
                const ULONGLONG onDisk = CompressedSizeOf(file);
                if (cluster && onDisk < size) slack += (size + cluster - 1) / cluster * cluster - onDisk;
            } else if (!ntfs && cluster) {
                slack += (cluster - size % cluster) % cluster;
            }
        }
    }
    disk->qwSlackBytes = LONGLONG(slack);
    if (everyDirLogged) {
        const LONGLONG overhead = LONGLONG(disk->qwUsedBytes - disk->qwFileBytes);
        disk->qwSavedBytes = ntfs ? overhead + LONGLONG(slack) : overhead - LONGLONG(slack);
    }
    SetBusy(0);
    return slack;
}
