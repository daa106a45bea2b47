// New date: setting one time stamp of a file or directory. The file
// descriptions use it to put a file's last-access time back after reading
// the file for its description.
#pragma once

#include "windows.h"

// Time indices of SetFileTimesEx, in the order an entry's times are kept.
inline constexpr int STAMP_WRITTEN = 0;
inline constexpr int STAMP_CREATED = 1;
inline constexpr int STAMP_ACCESSED = 2;
inline constexpr int STAMP_ALL = 3;

// Sets time index timeIndex (STAMP_WRITTEN, STAMP_CREATED, STAMP_ACCESSED or
// STAMP_ALL) of path to *time and leaves every other time as it was. A
// read-only item has the bit cleared around the write and set again. Returns
// 0 or the error code of the step that failed. Only the path form is served:
// a null path (the form that names the entry by listIndex) gives
// ERROR_INVALID_PARAMETER and changes nothing.
DWORD SetFileTimesEx(int timeIndex, const WCHAR* path, int listIndex, FILETIME time);
