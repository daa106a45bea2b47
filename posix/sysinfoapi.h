// The system version, the clocks and sleeping: a fixed Windows 10 version,
// the monotonic clock as tick and performance counters, the realtime clock
// as a SYSTEMTIME in UTC and local time, and a sleep that signals cannot cut.
#pragma once

#include "minwinbase.h"

typedef struct _OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize; // set by the caller: 276, or 284 for the extended record
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128]; // service-pack text
} OSVERSIONINFOW, *POSVERSIONINFOW, *LPOSVERSIONINFOW;

typedef struct _OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW;

static_assert(sizeof(OSVERSIONINFOW) == 276 && offsetof(OSVERSIONINFOW, szCSDVersion) == 20);
static_assert(sizeof(OSVERSIONINFOEXW) == 284 &&
              offsetof(OSVERSIONINFOEXW, wServicePackMajor) == 276 &&
              offsetof(OSVERSIONINFOEXW, wProductType) == 282);

inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
inline constexpr BYTE VER_NT_WORKSTATION = 1;

// Fills the record whose dwOSVersionInfoSize the caller set (276 or 284):
// version 10.0, build 19041, platform 2, empty service-pack text; the
// extended record also gets service pack 0.0, suite mask 0 and product type
// 1 (workstation). Only the bytes of the given size are written. FALSE with
// last error 122 for a null record or another size.
BOOL GetVersionExW(LPOSVERSIONINFOW info);

// Milliseconds of the monotonic clock (seconds * 1000 + nanoseconds /
// 1,000,000), truncated to 32 bits: it wraps after 49.7 days, so callers
// compare differences.
DWORD GetTickCount();
// Nanoseconds of the monotonic clock. FALSE with last error 87 for a null
// pointer.
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
// 1,000,000,000: the counter counts nanoseconds. FALSE with last error 87
// for a null pointer.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

// Sleeps for the milliseconds on the monotonic clock. A signal handled in
// between does not shorten it: the sleep resumes until the whole time has
// passed.
void Sleep(DWORD milliseconds);

// The realtime clock as a SYSTEMTIME in local time (the process's time zone
// as libc last read it) and in UTC: year, month 1-12, day of week 0 =
// Sunday, day, hour, minute, second, milliseconds. A null pointer is ignored.
void GetLocalTime(LPSYSTEMTIME time);
void GetSystemTime(LPSYSTEMTIME time);
