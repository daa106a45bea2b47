// A few logged entries of X:\\dir for the fuzz targets to test against: the
// root, a logged directory with five files of different names, sizes and
// dates, and an unread subdirectory.
#pragma once

#include <cstring>

#include "platform/packed_dates.h"
#include "tree/tree_records.h"

namespace qfuzz {

struct Entries {
    SubdirInfo root{};
    SubdirInfo dir{};
    SubdirInfo unread{};
    FileEntry files[6]{};
    Entries() {
        static WCHAR rootName[] = u"X:\\";
        static WCHAR dirName[] = u"X:\\dir";
        static WCHAR unreadName[] = u"X:\\dir\\sub";
        root.pszFullName = rootName;
        root.pszName = rootName;
        root.psiParent = &root;
        root.bLogged = 1;
        dir.pszFullName = dirName;
        dir.pszName = dirName + 3;
        dir.psiParent = &root;
        dir.wLevel = 1;
        dir.bLogged = 1;
        dir.qwFileBytes = 4096;
        dir.dWritten = PackDate(2020, 2, 29);
        unread.pszFullName = unreadName;
        unread.pszName = unreadName + 7;
        unread.psiParent = &dir;
        unread.wLevel = 2;
        static WCHAR names[5][24] = {u"a.txt", u"readme", u".profile", u"x y,z.tar.gz",
                                     u"\u00e9t\u00e9.DOC"};
        const ULONGLONG sizes[5] = {0, 1, 1000, 123456789, 65535};
        const PackedDate dates[5] = {PackDate(1980, 1, 1), PackDate(2000, 12, 31),
                                     PackDate(2023, 1, 1), PackDate(2079, 12, 31),
                                     PackDate(2024, 6, 15)};
        for (int i = 0; i < 5; i++) {
            files[i].wIndex = DWORD(i + 1);
            files[i].pszLongName = names[i];
            files[i].qwSize = sizes[i];
            files[i].dWritten = dates[i];
            files[i].psiOwner = &dir;
            std::memcpy(files[i].wszShortName, u"X           ", 13 * sizeof(WCHAR));
        }
        dir.pFiles = files;
        dir.dwFiles = 5;
    }
};

} // namespace qfuzz
