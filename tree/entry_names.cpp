// Names and modes of single tree records: the inline 8.3 field or a kept
// long name of a file entry, a listed directory's renamed full name, and
// mode words read on first use.
#include "tree/entry_names.h"

#include "archive/archive_state.h"
#include "commands/target_refresh.h"
#include "main/statistics.h"
#include "main/window_state.h"
#include "qposix_modes.h"
#include "qwcrt.h"
#include "platform/dir_reading.h"
#include "settings/quit.h"
#include "tree/file_list.h"
#include "tree/sort_order.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {

constexpr const char* kModule = "Qtb";
constexpr WCHAR kMoreMark = 0x25BA; // the inline field of a name cut short

// record is one of the subdirectory records of its owner (the run of
// children at the owner's level + 1), not a file entry: a file entry lies
// in its owner's file array, or is a record of the caller's own that no
// child link leads to.
bool IsListedDirectory(const FileEntry* record) {
    const SubdirInfo* owner = record->psiOwner;
    if (!owner) return false;
    if (owner->pFiles && record >= owner->pFiles && record <= owner->pFiles + owner->dwFiles)
        return false;
    for (const SubdirInfo* child = owner->psiChild; child && child->wLevel == owner->wLevel + 1;
         child = child->psiNext)
        if (static_cast<const void*>(child) == static_cast<const void*>(record)) return true;
    return false;
}

// The directory's full name with name as its last component.
void RenameDirectory(SubdirInfo* dir, const WCHAR* name) {
    const WCHAR* full = dir->pszFullName ? dir->pszFullName : u"";
    const WCHAR* slash = wcsrchr(full, u'\\');
    const size_t keep = slash ? size_t(slash - full) + 1 : 0;
    const size_t nameLength = wcslen(name);
    auto* renamed = static_cast<WCHAR*>(
        CHECKED_MALLOC((keep + nameLength + 1) * sizeof(WCHAR), kModule));
    std::copy(full, full + keep, renamed);
    std::copy(name, name + nameLength + 1, renamed + keep);
    std::free(dir->pszFullName);
    dir->pszFullName = renamed;
    const WCHAR* last = wcsrchr(renamed, u'\\');
    dir->pszName = last ? const_cast<WCHAR*>(last) + 1 : renamed;
}

// Writes text into the inline field, padded with blanks to width units.
void SetInline(FileEntry* entry, const WCHAR* text, size_t length, size_t width) {
    std::fill(std::begin(entry->wszShortName), std::end(entry->wszShortName), WCHAR(0));
    std::copy(text, text + length, entry->wszShortName);
    std::fill(entry->wszShortName + length, entry->wszShortName + width, WCHAR(u' '));
}

// The inline "%-8s.%s" or "%-12s" form of a short name, when the name has
// one: up to 8 units without a dot after the first and without a blank;
// or up to 12 units with a dot after the first, at most 8 before the last
// dot and 3 after it, and no blank just before that dot.
bool InlineForm(const WCHAR* name, size_t length, FileEntry* entry) {
    if (length > 12) return false;
    const WCHAR* dot = nullptr;
    for (size_t i = length; i > 1; i--)
        if (name[i - 1] == u'.') {
            dot = name + i - 1;
            break;
        }
    if (!dot) {
        if (length > 8 || std::find(name, name + length, u' ') != name + length) return false;
        SetInline(entry, name, length, 12);
        return true;
    }
    const size_t before = size_t(dot - name);
    const size_t after = length - before - 1;
    if (before > 8 || after > 3 || dot[-1] == u' ') return false;
    SetInline(entry, name, before, 8);
    entry->wszShortName[8] = u'.';
    std::copy(dot + 1, name + length, entry->wszShortName + 9);
    return true;
}

} // namespace

int SetEntryName(const WCHAR* name, FileEntry* record) {
    if (gDirMode[gCurrentPane & 1] && IsListedDirectory(record)) {
        RenameDirectory(reinterpret_cast<SubdirInfo*>(record), name);
        return 1;
    }
    const size_t length = wcslen(name);
    WCHAR* oldLong = record->pszLongName;
    record->pszLongName = nullptr;
    if (InlineForm(name, length, record)) {
        // The inline field drops trailing blanks of the name and of the
        // extension when it is read back: only a name it returns unchanged
        // may live there alone.
        WCHAR back[16];
        if (GetFileDisplayName(back, record) == length && std::equal(name, name + length, back)) {
            std::free(oldLong);
            return 0;
        }
    }
    record->pszLongName = CHECKED_WCSDUP(name, kModule);
    std::free(oldLong);
    if (length <= 12) {
        SetInline(record, name, length, 12);
    } else {
        SetInline(record, name, 11, 11);
        record->wszShortName[11] = kMoreMark;
    }
    return 1;
}

WORD GetEntryMode(FileEntry* entry) {
    if (gArchiveTreeActive) return (entry->wMode & FILE_MODE_KNOWN) ? entry->wMode : 0;
    return GetEntryModeWord(entry);
}

WORD GetNodeMode(SubdirInfo* dir) {
    if (dir->wMode <= 16383) dir->wMode = FileGetModeWord(dir->pszFullName);
    return (dir->wMode & FILE_MODE_KNOWN) ? dir->wMode : 0;
}

WORD GetDirMode(SubdirInfo* dir) { return gArchiveTreeActive ? 0 : GetNodeMode(dir); }

namespace {

// Some logged disk waits for its marked directories to be read again.
bool DisksAwaitRefresh() {
    const DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++, disk = disk->pdiNext)
        if (disk->bHasRefresh) return true;
    return false;
}

// The current pane's list after the created file was entered into owner.
void RebuildListAfterCreate(const SubdirInfo* owner) {
    const WORD pane = gCurrentPane & 1;
    // A tagged-only autoview list shows what was tagged, not the new file.
    if (gTaggedOnly[pane] && gAutoview[pane]) return;
    if (gDisplayMode[pane] == 1 && owner == psiCurrent)
        BuildDisplayFileList(gTaggedOnly[pane]);
    else if (gDisplayMode[pane] >= 3 && gDisplayMode[pane] <= 5)
        BuildGlobalFileList(gTaggedOnly[pane], pdiCurrent, 34222);
    if (gWindowMode == WM_FILE) ShowListStats();
}

} // namespace

int AddCreatedFileEntry(const WCHAR* path) {
    DirFileRec* files = nullptr;
    const std::u16string pattern = QioLongPath(path);
    if (qioReadDir(pattern.c_str(), &files) <= 0 || !files) {
        qioFreeFileList(files);
        return 2;
    }
    FileEntry created{};
    // The name goes in before the owner, so that it is never taken for a
    // directory of the owner's listing.
    SetEntryName(files->name, &created);
    created.qwSize = files->size;
    created.wAttributes = files->attributes;
    created.wMode = files->mode;
    created.dCreated = files->createdDate;
    created.tCreated = files->createdTime;
    created.dWritten = files->writtenDate;
    created.tWritten = files->writtenTime;
    created.dAccessed = files->accessedDate;
    created.tAccessed = files->accessedTime;
    created.psiOwner = psiCurrent;
    created.bFlags[gCurrentPane & 1] = 0;
    const DWORD attributes = DWORD(files->attributes) | DWORD(files->mode) << 16;
    const TargetFileTimes times{files->writtenDate, files->writtenTime};
    qioFreeFileList(files);

    // The directory part of the path's long form.
    WCHAR longPath[TREE_MAX_FULL_NAME + 2];
    if (wcslen(path) > TREE_MAX_FULL_NAME) {
        std::free(created.pszLongName);
        return 2;
    }
    if (!qioGetLongPathName(path, longPath)) wcscpy(longPath, path);
    std::u16string directory(longPath);
    const size_t cut = directory.rfind(u'\\');
    if (cut == std::u16string::npos) {
        std::free(created.pszLongName);
        return 2;
    }
    // A file in a root keeps the root's backslash.
    directory.resize(cut == 2 ? 3 : cut);

    RefreshDiskInfoByLetter(path[0] >= u'a' && path[0] <= u'z' ? path[0] - 32 : path[0]);
    RefreshTargetDir(directory.c_str(), FALSE, nullptr, nullptr, 0, nullptr);
    FileEntry* source = &created;
    const int result =
        RefreshTargetDir(directory.c_str(), FALSE, &source, longPath, attributes, &times);
    if (result >= 0 && gRefreshDir) {
        SortDirFiles(gRefreshDir);
        if (result == TARGET_REBUILD_LIST) RebuildListAfterCreate(gRefreshDir);
    } else if (result < 0 && !gArchiveTreeActive && DisksAwaitRefresh()) {
        RefreshFlaggedDisks(FALSE);
    }
    std::free(created.pszLongName);
    return 0;
}
