// Tree records: the disk ring, the pre-order threading of directories, the
// lookups by letter, path and index, and the names of entries.
#include "tree/tree_records.h"

#include "archive/archive_state.h"
#include "main/window_state.h"
#include "qposix_modes.h"
#include "qwcrt.h"
#include "settings/quit.h"
#include "shlwapi.h"
#include "tree/file_list.h"
#include "tree/sort_order.h"

#include <algorithm>
#include <string>
#include <vector>

DiskInfo* pdiCurrent = nullptr;
SubdirInfo* psiCurrent = nullptr;
DiskInfo* pdiFirst = nullptr;
DiskInfo* pdiLast = nullptr;
WORD gDiskCount = 0;
WCHAR gFullNameBuffer[TREE_MAX_FULL_NAME + 2];
WCHAR gFullNameScratch[TREE_MAX_FULL_NAME + 2];

namespace {
constexpr const char* kModule = "Qtb";
} // namespace

bool IsDriveEntryName(const WCHAR* name) {
    if (!name || name[0] != 0xFFFF) return false;
    for (int i = 1; i < 11; i++)
        if (!name[i]) return false;
    return name[11] == u':';
}

DiskInfo* AllocDiskRecordAt(int line, const char* function) {
    return static_cast<DiskInfo*>(CheckedCalloc(1, sizeof(DiskInfo), kModule, line, function));
}
SubdirInfo* AllocSubdirRecordAt(int line, const char* function) {
    return static_cast<SubdirInfo*>(CheckedCalloc(1, sizeof(SubdirInfo), kModule, line, function));
}
FileEntry* AllocFileArrayAt(DWORD count, int line, const char* function) {
    return static_cast<FileEntry*>(
        CheckedCalloc(size_t(count) + 1, sizeof(FileEntry), kModule, line, function));
}

// ---- insertion ------------------------------------------------------------------------------

void LinkDiskRecord(DiskInfo* disk) {
    if (!gDiskCount || !pdiFirst) {
        disk->pdiPrev = disk->pdiNext = nullptr;
        pdiFirst = pdiLast = disk;
    } else if (disk->cDrive < pdiFirst->cDrive || disk->cDrive >= pdiLast->cDrive) {
        // In front of the first or behind the last: between the two ends.
        disk->pdiPrev = pdiLast;
        disk->pdiNext = pdiFirst;
        pdiLast->pdiNext = disk;
        pdiFirst->pdiPrev = disk;
        if (disk->cDrive < pdiFirst->cDrive) pdiFirst = disk;
        else pdiLast = disk;
    } else {
        // first <= letter < last: in front of the first record with a
        // higher letter, which exists.
        DiskInfo* walk = pdiFirst->pdiNext;
        for (WORD n = 1; n < gDiskCount && disk->cDrive >= walk->cDrive; n++)
            walk = walk->pdiNext;
        disk->pdiNext = walk;
        disk->pdiPrev = walk->pdiPrev;
        walk->pdiPrev->pdiNext = disk;
        walk->pdiPrev = disk;
    }
    gDiskCount++;
}

namespace {

int CompareDirs(const SubdirInfo* a, const SubdirInfo* b) { return CompareEntryNames(&a, &b); }

// The row after dir in pre-order.
const SubdirInfo* NextRow(const SubdirInfo* dir) {
    return dir->psiChild ? dir->psiChild : dir->psiNext;
}

} // namespace

void LinkSubdirRecord(SubdirInfo* parent, SubdirInfo* dir) {
    if (!parent->psiChild) {
        parent->psiChild = dir;
        dir->psiNext = parent->psiNext;
        return;
    }
    SubdirInfo* previous = nullptr;
    SubdirInfo* child = parent->psiChild;
    while (child && child->wLevel == dir->wLevel && CompareDirs(child, dir) < 0) {
        previous = child;
        child = child->psiNext;
    }
    if (!previous) {
        parent->psiChild = dir;
        dir->psiNext = child;
        return;
    }
    SubdirInfo* oldNext = previous->psiNext;
    dir->psiNext = oldNext;
    // The last descendants of previous led where previous did; now to dir.
    for (SubdirInfo* row = previous->psiChild; row && row->wLevel > previous->wLevel;
         row = const_cast<SubdirInfo*>(NextRow(row)))
        if (row->psiNext == oldNext) row->psiNext = dir;
    previous->psiNext = dir;
}

SubdirInfo* CollectLevelRun(SubdirInfo* first, SubdirInfo* follower, BOOL recursive) {
    if (!first) return nullptr;
    std::vector<SubdirInfo*> run;
    for (SubdirInfo* d = first; d && d->wLevel == first->wLevel; d = d->psiNext) run.push_back(d);
    if (run.size() > 1)
        std::stable_sort(run.begin(), run.end(),
                         [](const SubdirInfo* a, const SubdirInfo* b) { return CompareDirs(a, b) < 0; });
    for (size_t i = 0; i < run.size(); i++)
        run[i]->psiNext = i + 1 < run.size() ? run[i + 1] : follower;
    if (recursive)
        for (SubdirInfo* member : run)
            if (member->psiChild)
                member->psiChild = CollectLevelRun(member->psiChild, member->psiNext, TRUE);
    return run.front();
}

// ---- lookups --------------------------------------------------------------------------------

DiskInfo* FindVolume(int letter) {
    DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++, disk = disk->pdiNext)
        if (disk->cDrive == BYTE(letter)) return disk;
    return nullptr;
}

namespace {

bool IsLetterColon(const WCHAR* p) { return p[0] && p[1] == u':'; }

// Units of a full name that the root's name takes: "X:\" or "X:".
size_t RootPrefix(const WCHAR* path) {
    if (!IsLetterColon(path)) return 0;
    return path[2] == u'\\' ? 3 : 2;
}

bool SameName(const WCHAR* a, const WCHAR* b) { return !_wcsicmp(a, b) && !wcscmp(a, b); }

SubdirInfo* FindDirCore(std::u16string path, DWORD* row, BOOL exactOnly, bool visibleOnly) {
    if (!pdiCurrent || !pdiCurrent->psiRoot) return nullptr;
    SubdirInfo* root = pdiCurrent->psiRoot;
    const bool archive = gArchiveTreeActive;
    if (!archive && (path.size() < 2 || path[1] != u':')) return nullptr;
    for (;;) {
        // A trailing backslash is no part of the name, except the root's.
        if (path.size() > 1 && path.back() == u'\\' &&
            !(path.size() == 3 && IsLetterColon(path.c_str())))
            path.pop_back();
        DWORD level = 0;
        const WCHAR* tail = path.c_str();
        if (!archive) {
            if (towupper(path[0]) != towupper(root->pszFullName[0])) return nullptr;
            tail += RootPrefix(path.c_str());
            if (*tail) level = 1 + DWORD(std::count(tail, path.c_str() + path.size(), u'\\'));
        }
        DWORD rows = 0;
        for (const SubdirInfo* d = root; d; d = NextRow(d)) {
            const bool isRow = d == root || d->bVisible;
            if (visibleOnly && !isRow) continue;
            if (archive) {
                if (SameName(d->pszFullName, path.c_str())) {
                    if (row) *row = rows;
                    return const_cast<SubdirInfo*>(d);
                }
            } else if (d->wLevel == level &&
                       SameName(d->pszFullName + RootPrefix(d->pszFullName), tail)) {
                if (row) *row = rows;
                return const_cast<SubdirInfo*>(d);
            }
            if (isRow) rows++;
        }
        if (exactOnly) return nullptr;
        // The parent's path: cut the last component, keeping the root's
        // backslash ("X:\\", or "\\" in an archive).
        const size_t cut = path.rfind(u'\\');
        if (cut == std::u16string::npos) return nullptr;
        size_t keep = cut;
        if (!archive && cut == 2) keep = 3;
        else if (archive && cut == 0) keep = 1;
        if (keep >= path.size()) return nullptr;
        path.resize(keep);
    }
}

} // namespace

SubdirInfo* FindDirByPath(const WCHAR* path, DWORD* row, BOOL exactOnly) {
    return path ? FindDirCore(path, row, exactOnly, false) : nullptr;
}

SubdirInfo* FindDirByPathEx(const WCHAR* path, DWORD* row, BOOL exactOnly) {
    return path ? FindDirCore(path, row, exactOnly, true) : nullptr;
}

SubdirInfo* FindDirByPathAnyDisk(const WCHAR* path, DWORD* row, BOOL exactOnly) {
    if (!path) return nullptr;
    if (gArchiveTreeActive || !IsLetterColon(path) ||
        (pdiCurrent && pdiCurrent->cDrive == BYTE(towupper(path[0]))))
        return FindDirByPath(path, row, exactOnly);
    DiskInfo* disk = FindVolume(towupper(path[0]));
    if (!disk) return nullptr;
    DiskInfo* saved = pdiCurrent;
    pdiCurrent = disk;
    SubdirInfo* found = FindDirByPath(path, row, exactOnly);
    pdiCurrent = saved;
    return found;
}

SubdirInfo* FindDirByWidePath(const WCHAR* path, size_t length, BOOL mode) {
    if (!path || !pdiCurrent || !pdiCurrent->psiRoot) return nullptr;
    length = std::min(length, wcslen(path));
    if (!gArchiveTreeActive &&
        (length < 1 || BYTE(towupper(path[0])) != BYTE(towupper(pdiCurrent->psiRoot->pszFullName[0]))))
        return nullptr;
    const DWORD level = DWORD(std::count(path, path + length, u'\\'));
    SubdirInfo* first = nullptr;
    bool afterCurrent = false;
    for (const SubdirInfo* d = pdiCurrent->psiRoot->psiChild; d; d = NextRow(d)) {
        if (d->wLevel != level || _wcsnicmp(d->pszFullName, path, length) != 0) continue;
        SubdirInfo* match = const_cast<SubdirInfo*>(d);
        if (!mode || afterCurrent) return match;
        if (!first) first = match;
        if (!_wcsicmp(d->pszFullName, path)) afterCurrent = true;
    }
    return first;
}

SubdirInfo* FindTreePredecessor(const SubdirInfo* dir) {
    if (!dir || !dir->pdiDisk) return nullptr;
    for (const SubdirInfo* d = dir->pdiDisk->psiRoot; d; d = NextRow(d))
        if (d->psiNext == dir || d->psiChild == dir) return const_cast<SubdirInfo*>(d);
    return nullptr;
}

DWORD FindDirIndex(DWORD index, const SubdirInfo* dir, BOOL visibleOnly) {
    if (!dir && gFileList) {
        EntryHead** entries = ListEntries(gFileList);
        for (DWORD i = 0; i < gFMax && entries[i]; i++)
            if (entries[i]->index == index) return i + 1;
        return 0;
    }
    if (gDirMode[gCurrentPane & 1]) return index;
    if (!dir || !dir->pFiles) return 0;
    DWORD position = 0;
    for (const FileEntry* e = dir->pFiles; e->wszShortName[0]; e++) {
        if (visibleOnly && !(e->bFlags[gCurrentPane & 1] & ENTRY_MATCHES)) continue;
        position++;
        if (e->wIndex == index) return position;
    }
    return 0;
}

// ---- names ----------------------------------------------------------------------------------

namespace {

size_t TrimBlanks(WCHAR* text, size_t length) {
    while (length && text[length - 1] == u' ') length--;
    text[length] = 0;
    return length;
}

bool IsRootEntry(const FileEntry* entry) {
    return entry->psiOwner == reinterpret_cast<const SubdirInfo*>(entry);
}

} // namespace

size_t GetFileDisplayName(WCHAR* buffer, const FileEntry* entry) {
    if (entry->pszLongName) {
        wcscpy(buffer, entry->pszLongName);
        return wcslen(buffer);
    }
    // Built apart, so that the caller's buffer needs room for the result only.
    const WCHAR* inline_ = entry->wszShortName;
    WCHAR name[16];
    size_t n = 0;
    while (n < 12 && inline_[n]) n++;
    std::copy(inline_, inline_ + n, name);
    size_t length = n;
    if (std::count(name, name + n, u' ')) {
        length = TrimBlanks(name, std::min<size_t>(n, 8));
        if (n > 8 && inline_[8] == u'.') {
            std::copy(inline_ + 8, inline_ + n, name + length);
            length = TrimBlanks(name, length + (n - 8));
        }
    }
    std::copy(name, name + length, buffer);
    buffer[length] = 0;
    return length;
}

size_t DisplayNameLength(const FileEntry* entry) {
    if (entry->pszLongName) return wcslen(entry->pszLongName);
    WCHAR name[16];
    return GetFileDisplayName(name, entry);
}

int GetFullFileName(WCHAR* buffer, const FileEntry* entry) {
    const SubdirInfo* owner = entry->psiOwner;
    if (IsRootEntry(entry)) {
        const WCHAR* name = owner->pszFullName;
        if (wcslen(name) > TREE_MAX_FULL_NAME) return 0;
        wcscpy(buffer, name);
        return 1;
    }
    const size_t nameLength = DisplayNameLength(entry);
    const WCHAR* dir = owner ? owner->pszFullName : u"";
    size_t dirLength = wcslen(dir);
    const bool separator = !dirLength || dir[dirLength - 1] != u'\\';
    if (dirLength + separator + nameLength > TREE_MAX_FULL_NAME) return 0;
    std::copy(dir, dir + dirLength, buffer);
    if (separator) buffer[dirLength++] = u'\\';
    GetFileDisplayName(buffer + dirLength, entry);
    return 1;
}

WCHAR* FullFileName(WCHAR* buffer, const FileEntry* entry) {
    if (!GetFullFileName(gFullNameBuffer, entry)) gFullNameBuffer[0] = 0;
    if (!buffer) return gFullNameBuffer;
    wcscpy(buffer, gFullNameBuffer);
    if (IsRootEntry(entry) || !gFullNameBuffer[0]) return gFullNameBuffer;
    return gFullNameBuffer + (wcslen(gFullNameBuffer) - DisplayNameLength(entry));
}

WORD GetEntryModeWord(FileEntry* entry) {
    if (gArchiveTreeActive && (entry->wAttributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    if (entry->wMode <= 16383) {
        if (GetFullFileName(gFullNameScratch, entry))
            entry->wMode = FileGetModeWord(gFullNameScratch);
        else
            entry->wMode = FILE_MODE_UNKNOWN;
    }
    return (entry->wMode & 0x8000) ? entry->wMode : 0;
}

namespace {

const WCHAR* FromFirstDigit(const WCHAR* name) {
    while (*name && !iswdigit(*name)) name++;
    return name;
}

} // namespace

int CompareListNames(const FileEntry* a, const FileEntry* b, int mode) {
    std::u16string nameA(DisplayNameLength(a) + 1, 0), nameB(DisplayNameLength(b) + 1, 0);
    GetFileDisplayName(nameA.data(), a);
    GetFileDisplayName(nameB.data(), b);
    if (mode != 10) return StrCmpLogicalW(nameA.c_str(), nameB.c_str());
    const WCHAR* tailA = FromFirstDigit(nameA.c_str());
    const WCHAR* tailB = FromFirstDigit(nameB.c_str());
    if (!*tailA || !*tailB) return (*tailB ? -1 : 0) + (*tailA ? 1 : 0);
    return StrCmpLogicalW(tailA, tailB);
}

void SetNodeFileTimes(SubdirInfo* dir, const WIN32_FIND_DATAW* data) {
    FindDataToPacked(data, &dir->dCreated, &dir->tCreated, &dir->dWritten, &dir->tWritten,
                     &dir->dAccessed, &dir->tAccessed);
    dir->wMode = WORD(data->dwReserved1);
}

void TreeDirFacts(const SubdirInfo* dir, WORD* level, WORD* attributes) {
    *level = WORD(std::min<DWORD>(dir->wLevel, 0xFFFF));
    *attributes = dir->wAttributes;
}
