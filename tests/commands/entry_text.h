// The names of file entries as the tests compare them: an entry's display
// name, a directory's array in array order, and the entry of a name.
#pragma once

#include "../support/tree_builder.h"

#include "tree/tree_records.h"

#include <string>
#include <vector>

namespace qtest {

inline std::string Shown(const FileEntry* e) {
    WCHAR name[TREE_MAX_FULL_NAME + 1];
    GetFileDisplayName(name, e);
    return NarrowText(name);
}

inline std::vector<std::string> Names(const SubdirInfo* d) {
    std::vector<std::string> out;
    for (const FileEntry* e = d->pFiles; e && e->wszShortName[0]; e++)
        out.push_back(Shown(e));
    return out;
}

inline const FileEntry* Entry(const SubdirInfo* d, const std::string& name) {
    for (const FileEntry* e = d->pFiles; e && e->wszShortName[0]; e++)
        if (Shown(e) == name) return e;
    return nullptr;
}

} // namespace qtest
