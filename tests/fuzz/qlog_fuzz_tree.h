// A small logged tree made with the tree's own record functions, for the
// logged-volume file fuzz target and its seed writer: two disks, nested
// directories, short and long names, tags in both panes, dates, a
// bookmark and a remembered value; and the file that saves it.
#pragma once

#include <cstring>
#include <string>

#include "main/window_state.h"
#include "platform/packed_dates.h"
#include "settings/path_lists.h"
#include "settings/qlog.h"
#include "tree/tree_records.h"

namespace qfuzz {

inline WCHAR* Units(std::u16string_view text) {
    auto* out = static_cast<WCHAR*>(std::calloc(text.size() + 1, sizeof(WCHAR)));
    if (!out) abort();
    std::memcpy(out, text.data(), text.size() * sizeof(WCHAR));
    return out;
}

inline SubdirInfo* MakeDir(DiskInfo* disk, SubdirInfo* parent, std::u16string_view name) {
    SubdirInfo* dir = AllocSubdirRecord();
    std::u16string full(parent->pszFullName);
    if (full.back() != u'\\') full.push_back(u'\\');
    full += name;
    dir->pszFullName = Units(full);
    dir->pszName = dir->pszFullName + (full.size() - name.size());
    dir->wLevel = parent->wLevel + 1;
    dir->wNameWidth = WORD(name.size() + 1 < 14 ? 14 : name.size() + 1);
    dir->psiParent = parent;
    dir->pdiDisk = disk;
    dir->bLogged = dir->bVisible = dir->bExpanded = 1;
    dir->dWritten = PackDate(2021, 6, 30);
    LinkSubdirRecord(parent, dir);
    parent->dwChildren++;
    disk->dwDirEntries++;
    return dir;
}

// Files by short name; a long name is given after a '/'.
inline void MakeFiles(SubdirInfo* dir, std::initializer_list<std::u16string_view> names) {
    dir->pFiles = AllocFileArray(DWORD(names.size()));
    DWORD i = 0;
    for (std::u16string_view name : names) {
        FileEntry* e = dir->pFiles + i;
        const size_t slash = name.find(u'/');
        const std::u16string_view shortName = name.substr(0, slash);
        for (size_t k = 0; k < shortName.size() && k < 12; k++) e->wszShortName[k] = shortName[k];
        if (slash != std::u16string_view::npos) e->pszLongName = Units(name.substr(slash + 1));
        e->wIndex = ++i;
        e->qwSize = 100 * i;
        e->psiOwner = dir;
        e->bFlags[0] = BYTE(i % 2 ? ENTRY_TAGGED : 0);
        e->bFlags[1] = BYTE(i % 3 ? 0 : ENTRY_TAGGED);
        e->dWritten = PackDate(2020, 2, 29);
        e->tWritten = PackTime(12, 0, 0, 0);
        dir->qwFileBytes += e->qwSize;
    }
    dir->dwFiles = i;
}

inline DiskInfo* MakeDisk(char letter) {
    DiskInfo* disk = AllocDiskRecord();
    disk->cDrive = BYTE(letter);
    std::strcpy(disk->szLabel, "FUZZ");
    SubdirInfo* root = AllocSubdirRecord();
    const WCHAR name[4] = {WCHAR(letter), u':', u'\\', 0};
    root->pszFullName = Units(name);
    root->pszName = root->pszFullName;
    root->psiParent = root;
    root->pdiDisk = disk;
    root->wNameWidth = 14;
    root->bLogged = root->bVisible = root->bExpanded = 1;
    disk->psiRoot = root;
    disk->dwDirEntries = 1;
    LinkDiskRecord(disk);
    return disk;
}

// Logs the small tree (nothing may be logged before) and returns the file
// that saves it.
inline std::string SmallTreeImage() {
    DiskInfo* c = MakeDisk('C');
    MakeFiles(c->psiRoot, {u"README.TXT", u"LONGNA~1.TXT/Long name.txt"});
    SubdirInfo* src = MakeDir(c, c->psiRoot, u"src");
    MakeFiles(src, {u"A.C", u"B.H", u"MAKEFI~1/Makefile.am"});
    SubdirInfo* deep = MakeDir(c, src, u"deep dir");
    MakeFiles(deep, {u"X"});
    MakeDir(c, c->psiRoot, u"empty");
    DiskInfo* e = MakeDisk('E');
    MakeFiles(MakeDir(e, e->psiRoot, u"music"), {u"ONE.OGG", u"TWO.OGG"});
    pdiCurrent = c;
    psiCurrent = src;
    LoggedPathList(11, 0, u"C:\\src|E:\\music|");
    std::string image;
    if (!BuildQlogImage({}, &image)) abort();
    return image;
}

} // namespace qfuzz
