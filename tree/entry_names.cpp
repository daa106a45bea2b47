// Names and modes of single tree records: the inline 8.3 field or a kept
// long name of a file entry, a listed directory's renamed full name, and
// mode words read on first use.
#include "tree/entry_names.h"

#include "archive/archive_state.h"
#include "main/window_state.h"
#include "qposix_modes.h"
#include "qwcrt.h"
#include "settings/quit.h"

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
