// Fixture helpers for the settings files the program search finds: the
// drive-letter form of a fixture path, and the search's folders pointed at
// fresh directories of a fixture, so that only what a test writes is found.
#pragma once

#include "fixture.h"
#include "qposix_path.h"
#include "settings/folders.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <string>

namespace qtest {

inline std::u16string WinPath(const std::string& posix) {
    WCHAR out[1025];
    const int n = PathFromPosix(posix.c_str(), out, 1025);
    return n < 0 ? std::u16string() : std::u16string(out);
}

inline void SetWide(WCHAR* out, size_t units, const std::u16string& s) {
    ASSERT_LT(s.size(), units);
    std::copy(s.begin(), s.end(), out);
    out[s.size()] = 0;
}

// The data, program and start-up folders become the empty directories
// data, prog and start of dir; the program-files folder one that does not
// exist, and the tools folder the start-up directory.
inline void PointSearchFolders(const TempDir& dir) {
    SetWide(gDataDir, FOLDER_UNITS, WinPath(dir.MakeDir("data")) + u"\\");
    SetWide(gProgramDir, FOLDER_UNITS, WinPath(dir.MakeDir("prog")) + u"\\");
    SetWide(gStartDir, FOLDER_UNITS, WinPath(dir.MakeDir("start")) + u"\\");
    SetWide(gProgramFilesDir, FOLDER_UNITS, WinPath(dir.Sub("program-files")));
    SetWide(gToolsDir, 512, u"(start-up)");
}

} // namespace qtest
