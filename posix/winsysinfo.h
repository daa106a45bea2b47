// The memory status from the kernel's counters, and the system directory,
// which on this platform is the directory of the system's programs.
#pragma once

#include "wintypes.h"

// 56 bytes; the sizes are in bytes.
typedef struct _MEMORYSTATUS {
    DWORD dwLength;
    DWORD dwMemoryLoad; // percent of physical memory in use
    SIZE_T dwTotalPhys;
    SIZE_T dwAvailPhys;
    SIZE_T dwTotalPageFile;
    SIZE_T dwAvailPageFile;
    SIZE_T dwTotalVirtual;
    SIZE_T dwAvailVirtual;
} MEMORYSTATUS, *LPMEMORYSTATUS;

static_assert(sizeof(MEMORYSTATUS) == 56);
static_assert(offsetof(MEMORYSTATUS, dwMemoryLoad) == 4 &&
              offsetof(MEMORYSTATUS, dwTotalPhys) == 8 &&
              offsetof(MEMORYSTATUS, dwAvailPhys) == 16 &&
              offsetof(MEMORYSTATUS, dwTotalPageFile) == 24 &&
              offsetof(MEMORYSTATUS, dwAvailPageFile) == 32 &&
              offsetof(MEMORYSTATUS, dwTotalVirtual) == 40 &&
              offsetof(MEMORYSTATUS, dwAvailVirtual) == 48);

// The larger record of the extended memory status, which the layer does not
// offer by name; callers fill it from GlobalMemoryStatus. 64 bytes.
typedef struct _MEMORYSTATUSEX {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    ULONGLONG ullTotalPhys;
    ULONGLONG ullAvailPhys;
    ULONGLONG ullTotalPageFile;
    ULONGLONG ullAvailPageFile;
    ULONGLONG ullTotalVirtual;
    ULONGLONG ullAvailVirtual;
    ULONGLONG ullAvailExtendedVirtual;
} MEMORYSTATUSEX, *LPMEMORYSTATUSEX;

static_assert(sizeof(MEMORYSTATUSEX) == 64 && offsetof(MEMORYSTATUSEX, ullTotalPhys) == 8 &&
              offsetof(MEMORYSTATUSEX, ullAvailExtendedVirtual) == 56);

// Fills *status from sysinfo: length 56; total physical = total RAM;
// available physical = free + buffer RAM; the page file counts swap and RAM
// together (total swap + total RAM, free swap + free RAM + buffer RAM);
// total and available virtual 0x800000000000 each; memory load = 100 -
// available * 100 / total physical, 0 when the total is 0. When sysinfo
// fails, everything but the length is 0. A null status is ignored.
void GlobalMemoryStatus(LPMEMORYSTATUS status);

// The system directory: "/usr/bin" as a Windows path (PathFromPosix, at most
// 260 units). When buffer holds length + 1 units, copies the path with its
// terminator and returns the length; otherwise (also for a null buffer)
// writes nothing and returns length + 1. 0 when the path cannot be
// converted.
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
