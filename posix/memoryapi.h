// File mappings and views of them.
#pragma once

#include "minwinbase.h"

inline constexpr DWORD PAGE_READONLY = 0x02;
inline constexpr DWORD PAGE_READWRITE = 0x04;
inline constexpr DWORD FILE_MAP_WRITE = 0x2;
inline constexpr DWORD FILE_MAP_READ = 0x4;

// A mapping of an open file; its size is maxHigh:maxLow when either is
// nonzero, else the file size (0 fails with 1006). A writable mapping larger
// than its file extends the file to the mapping's size.
HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect,
                          DWORD maxHigh, DWORD maxLow, LPCWSTR name);
// Maps bytes (0: to the end of the mapping) from offset. Pages beyond the end
// of the file read as zeros and never fault, also when the file shrinks
// while the view is mapped. At most 64 views at once (then error 8).
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID address);
