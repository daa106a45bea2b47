// The refresh of a command's target directory: a file the command wrote is
// entered into the directory's file array, or the entry of the same name
// updated, with the counters of the directory, its disk and the display list
// kept in step, so that the directory need not be read again.
#include "commands/target_refresh.h"

#include "main/window_state.h"
#include "qwcrt.h"
#include "settings/quit.h"
#include "tree/entry_names.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/refresh.h"
#include "tree/tagging.h"
#include "tree/tree_records.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

DWORD gFilesChanged = 0;
DWORD gPendingRefreshCount = 0;
DiskInfo* gRefreshVolume = nullptr;
SubdirInfo* gRefreshDir = nullptr;
BOOL gRefreshNoFreeSlot = FALSE;

namespace {

constexpr const char* kModule = "Qtb";
constexpr DWORD kCompressed = 0x800;
constexpr DWORD kSparse = 0x200;
// The volume compresses every file.
constexpr DWORD kVolumeCompressed = 0x8000;

WCHAR UpperAscii(WCHAR c) {
    return c >= u'a' && c <= u'z' ? WCHAR(c - 32) : c;
}

// A slot a move left behind: its inline name is U+FFFF units and its last
// extension unit ':'.
bool IsFreeSlot(const FileEntry* e) {
    return e->wszShortName[0] == 0xFFFF && e->wszShortName[11] == u':';
}

// The number of records before the end record.
DWORD ArrayLength(const FileEntry* files) {
    DWORD n = 0;
    if (files)
        while (files[n].wszShortName[0])
            n++;
    return n;
}

// The directory of targetDir in the tree, through the cache of the command.
SubdirInfo* TargetDirectory(const WCHAR* targetDir) {
    WCHAR path[TREE_MAX_FULL_NAME + 2];
    size_t length = wcslen(targetDir);
    if (length > TREE_MAX_FULL_NAME) return nullptr;
    std::memcpy(path, targetDir, length * sizeof(WCHAR));
    // A root keeps its backslash ("X:\"); below it the full names have none.
    if (length > 3 && path[length - 1] == u'\\') length--;
    path[length] = 0;
    if (gRefreshDir && gRefreshDir->pszFullName && !wcscmp(gRefreshDir->pszFullName, path))
        return gRefreshDir;
    gRefreshDir = FindDirByPathAnyDisk(path, nullptr, TRUE);
    return gRefreshDir;
}

// The last component of a path.
const WCHAR* NamePart(const WCHAR* path) {
    const WCHAR* name = path;
    for (const WCHAR* p = path; *p; p++)
        if (*p == u'\\') name = p + 1;
    return name;
}

// The entry of exactly name in the array (a name that differs only in
// letter case is another file), or null.
FileEntry* FindSameName(FileEntry* files, const WCHAR* name) {
    if (!files) return nullptr;
    WCHAR shown[TREE_MAX_FULL_NAME + 1];
    for (FileEntry* e = files; e->wszShortName[0]; e++) {
        if (IsFreeSlot(e) || IsDriveEntry(e)) continue;
        if (GetFileDisplayName(shown, e) && !wcscmp(shown, name)) return e;
    }
    return nullptr;
}

// Whether the current pane's display list shows the target directory's
// files, so that an entry added there must appear in it.
bool ListConcerned(const SubdirInfo* target, const FileEntry* source, const WCHAR* targetPath) {
    if (!gFileList) return false;
    if (source && source->psiOwner == target) return true;
    const WORD pane = gCurrentPane & 1;
    if (gDisplayMode[pane] == 5) return true;
    if (gDirMode[pane] || !psiCurrent || !psiCurrent->pszFullName) return false;
    const WCHAR* current = psiCurrent->pszFullName;
    if (gDisplayMode[pane] == 4) return UpperAscii(targetPath[0]) == UpperAscii(current[0]);
    // The scope is the current directory and what lies below it; the root's
    // name already ends in the backslash.
    size_t length = wcslen(current);
    if (length && current[length - 1] == u'\\') length--;
    return !wcsncmp(targetPath, current, length) && targetPath[length] == u'\\';
}

// The panes whose filter decides an entry's match bit now: the current one,
// and the other with split screen.
bool PaneFollowsFilter(WORD pane) {
    return pane == (gCurrentPane & 1) || gSplitScreen;
}

// Grows the array by one record (count + 2 with the end record) and carries
// every pointer into it to the new block.
FileEntry* GrowArray(SubdirInfo* dir, DWORD count, FileEntry** entry) {
    // The old block is known by its address alone: it is never read after
    // the realloc.
    const uintptr_t lo = reinterpret_cast<uintptr_t>(dir->pFiles);
    void* block = std::realloc(dir->pFiles, (size_t(count) + 2) * sizeof(FileEntry));
    if (!block) FatalMemoryError(kModule, __LINE__, "RefreshTargetDir");
    FileEntry* files = static_cast<FileEntry*>(block);
    std::memset(&files[count], 0, 2 * sizeof(FileEntry));
    dir->pFiles = files;
    if (!lo || reinterpret_cast<uintptr_t>(files) == lo) return files;
    auto inOld = [&](const void* p) {
        const auto a = reinterpret_cast<uintptr_t>(p);
        return a >= lo && a < lo + size_t(count) * sizeof(FileEntry);
    };
    auto carry = [&](const void* p) {
        return &files[(reinterpret_cast<uintptr_t>(p) - lo) / sizeof(FileEntry)];
    };
    if (gFileList && !gDirMode[gCurrentPane & 1]) {
        EntryHead** slots = ListEntries(gFileList);
        for (DWORD i = 0; i < gFMax; i++)
            if (slots[i] && inOld(slots[i])) slots[i] = HeadOf(carry(slots[i]));
    }
    if (entry && *entry && inOld(*entry)) *entry = carry(*entry);
    for (FileEntry*& current : gPaneCurrentEntry)
        if (current && inOld(current)) current = carry(current);
    return files;
}

// Adds size and match figures of one file in pane to the directory and its
// disk.
void CountMatch(SubdirInfo* dir, WORD pane, LONGLONG files, LONGLONG bytes) {
    dir->dwMatchFiles[pane] = DWORD(LONGLONG(dir->dwMatchFiles[pane]) + files);
    dir->qwMatchBytes[pane] = ULONGLONG(LONGLONG(dir->qwMatchBytes[pane]) + bytes);
    if (DiskInfo* disk = dir->pdiDisk) {
        disk->dwMatchFiles[pane] = DWORD(LONGLONG(disk->dwMatchFiles[pane]) + files);
        disk->qwMatchBytes[pane] = ULONGLONG(LONGLONG(disk->qwMatchBytes[pane]) + bytes);
    }
}

// A file of the same name was replaced: its size, attributes and time
// follow the new file and every byte total the size difference.
void UpdateReplaced(SubdirInfo* dir, FileEntry* found, const FileEntry* source, DWORD attributes,
                    const TargetFileTimes* times) {
    const ULONGLONG newSize = source ? source->qwSize : found->qwSize;
    // A copy onto a tagged file takes its tag away in the current pane (and
    // the other one in split screen): the tagged counts lose one file and
    // its old size, the list's as well.
    const WORD current = gCurrentPane & 1;
    for (WORD pane = 0; pane < 2; pane++) {
        if (!(found->bFlags[pane] & (ENTRY_TAGGED | ENTRY_MARKED))) continue;
        if (pane != current && !gSplitScreen) continue;
        if (pane != current) SetCurrentPane(pane);
        UntagEntry(dir, LONG(found - dir->pFiles));
        if (gFileList && pane == current) {
            DisplayFileList& header = *gFileList;
            header.taggedFiles[pane] -= header.taggedFiles[pane] ? 1 : 0;
            header.taggedBytes[pane] -= std::min(header.taggedBytes[pane], found->qwSize);
            header.taggedEntries[pane] -= header.taggedEntries[pane] ? 1 : 0;
            if (gFTagged) gFTagged--;
        }
        if (pane != current) SetCurrentPane(current);
    }
    const LONGLONG delta = LONGLONG(newSize - found->qwSize);
    dir->qwFileBytes = ULONGLONG(LONGLONG(dir->qwFileBytes) + delta);
    if (DiskInfo* disk = dir->pdiDisk)
        disk->qwFileBytes = ULONGLONG(LONGLONG(disk->qwFileBytes) + delta);
    for (WORD pane = 0; pane < 2; pane++) {
        if (found->bFlags[pane] & ENTRY_MATCHES) CountMatch(dir, pane, 0, delta);
        // A tag kept in a pane not shown follows the file's new size.
        if (found->bFlags[pane] & (ENTRY_TAGGED | ENTRY_MARKED)) {
            dir->qwTagBytes[pane] = ULONGLONG(LONGLONG(dir->qwTagBytes[pane]) + delta);
            if (DiskInfo* disk = dir->pdiDisk)
                disk->qwTagBytes[pane] = ULONGLONG(LONGLONG(disk->qwTagBytes[pane]) + delta);
            if (gFileList && pane == (gCurrentPane & 1))
                gFileList->taggedBytes[pane] =
                    ULONGLONG(LONGLONG(gFileList->taggedBytes[pane]) + delta);
        }
    }
    found->qwSize = newSize;
    found->wAttributes = WORD(attributes);
    if (times && (times->dWritten & 0x1F)) {
        found->dWritten = times->dWritten;
        found->tWritten = times->tWritten;
    } else if (source) {
        found->dWritten = source->dWritten;
        found->tWritten = source->tWritten;
    }
}

// The finished result 0 leaves the marks that make the windows sort and
// show the directory again.
void MarkChanged(SubdirInfo* dir) {
    gFilesChanged = 1;
    if (dir->pdiDisk) dir->pdiDisk->bHasRefresh = 1;
    dir->bRefresh |= REFRESH_RESORT;
}

} // namespace

int RefreshTargetDir(const WCHAR* targetDir, BOOL move, FileEntry** entry, const WCHAR* targetPath,
                     DWORD attributes, const TargetFileTimes* times) {
    if (!targetPath) {
        gRefreshDir = nullptr;
        gRefreshVolume = targetDir && targetDir[0] ? FindVolume(UpperAscii(targetDir[0])) : nullptr;
        gRefreshNoFreeSlot = FALSE;
        return 0;
    }
    if (!gRefreshVolume || !targetDir) return TARGET_NOT_IN_TREE;
    SubdirInfo* dir = TargetDirectory(targetDir);
    if (!dir || dir->bLogged != 1 || (dir->bRefresh & REFRESH_FILES)) return TARGET_NOT_IN_TREE;

    FileEntry* source = entry ? *entry : nullptr;
    const WCHAR* name = NamePart(targetPath);
    if (!*name) return TARGET_NOT_IN_TREE;

    // Compression and sparseness are kept only where the file system has
    // them.
    if ((dir->wAttributes & kCompressed) || (gRefreshVolume->dwFsFlags & kVolumeCompressed))
        attributes |= kCompressed;
    if (strcmp(gRefreshVolume->szFileSystem, "NTFS") != 0) attributes &= ~(kSparse | kCompressed);
    attributes &= 0xFFFF;

    const bool concerned = ListConcerned(dir, source, targetPath);
    if (FileEntry* found = FindSameName(dir->pFiles, name)) {
        UpdateReplaced(dir, found, source, attributes, times);
        if (concerned) return TARGET_REBUILD_LIST;
        MarkChanged(dir);
        return TARGET_UPDATED;
    }
    const bool sameDirMove = move && gFileList && source && source->psiOwner == dir;
    if (sameDirMove) {
        dir->bRefresh |= REFRESH_RESORT;
        return TARGET_SLOT_MOVED;
    }

    // The record is added: a free slot a move left behind takes it before
    // the array grows.
    FileEntry* record = nullptr;
    if (!gRefreshNoFreeSlot && dir->pFiles) {
        for (FileEntry* e = dir->pFiles; e->wszShortName[0]; e++)
            if (IsFreeSlot(e)) {
                record = e;
                break;
            }
        if (!record) gRefreshNoFreeSlot = TRUE;
    }
    DWORD index;
    if (record) {
        index = record->wIndex;
    } else {
        const DWORD count = ArrayLength(dir->pFiles);
        FileEntry* files = GrowArray(dir, count, entry);
        source = entry ? *entry : nullptr;
        record = &files[count];
        index = count + 1;
    }

    FileEntry fresh{};
    SetEntryName(name, &fresh);
    fresh.wIndex = index;
    fresh.qwSize = source ? source->qwSize : 0;
    fresh.wAttributes = WORD(attributes);
    fresh.wMode = source ? source->wMode : 0;
    if (times && (times->dWritten & 0x1F)) {
        fresh.dWritten = times->dWritten;
        fresh.tWritten = times->tWritten;
    } else if (source) {
        fresh.dWritten = source->dWritten;
        fresh.tWritten = source->tWritten;
    }
    if (source) {
        fresh.dCreated = source->dCreated;
        fresh.tCreated = source->tCreated;
        fresh.dAccessed = source->dAccessed;
        fresh.tAccessed = source->tAccessed;
    }
    fresh.psiOwner = dir;
    // Tags and marks are not carried over; the match bit is.
    for (WORD pane = 0; pane < 2; pane++) {
        BYTE flags = source ? BYTE(source->bFlags[pane] & ENTRY_MATCHES) : 0;
        if (PaneFollowsFilter(pane))
            flags = SlotPasses(gFilterSlots[pane], &fresh) ? ENTRY_MATCHES : 0;
        fresh.bFlags[pane] = flags;
    }
    *record = fresh;

    dir->dwFiles++;
    dir->qwFileBytes += record->qwSize;
    if (DiskInfo* disk = dir->pdiDisk) {
        disk->dwFiles++;
        disk->qwFileBytes += record->qwSize;
    }
    // Every pane whose match bit is set counts the file, so that the
    // figures equal a recount whichever pane looks.
    for (WORD pane = 0; pane < 2; pane++)
        if (record->bFlags[pane] & ENTRY_MATCHES)
            CountMatch(dir, pane, 1, LONGLONG(record->qwSize));

    if (!concerned) {
        MarkChanged(dir);
        return TARGET_UPDATED;
    }
    return TARGET_REBUILD_LIST;
}
