// What the printing tests share: the clipboard's text as the layer gives it,
// and the names in a directory (to see spool files come and go).
#pragma once

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clipboardapi.h"
#include "windows.h"

namespace qtest {

inline std::u16string ClipboardNow() {
    std::u16string text;
    if (!OpenClipboard(nullptr))
        return text;
    if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const WCHAR*>(GlobalLock(block));
        GlobalUnlock(block);
    }
    CloseClipboard();
    return text;
}

// The names in directory without those starting with '.', sorted.
inline std::vector<std::string> FileNames(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* d = opendir(directory.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace qtest
