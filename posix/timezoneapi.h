// Conversions between FILETIME, SYSTEMTIME, UTC and local time.
#pragma once

#include "minwinbase.h"

#include <ctime>

// 100-ns ticks from 1601-01-01 to 1970-01-01.
inline constexpr int64_t QPOSIX_FILETIME_1970 = 116444736000000000LL;

BOOL FileTimeToSystemTime(const FILETIME* in, LPSYSTEMTIME out);
BOOL SystemTimeToFileTime(const SYSTEMTIME* in, LPFILETIME out);
// Shift by the local offset from UTC as it is now, whatever the date.
BOOL FileTimeToLocalFileTime(const FILETIME* in, LPFILETIME out);
BOOL LocalFileTimeToFileTime(const FILETIME* in, LPFILETIME out);
// The zone argument is not used: the system's zone rules for the date apply.
BOOL SystemTimeToTzSpecificLocalTime(const void* zone, const SYSTEMTIME* in, LPSYSTEMTIME out);
BOOL TzSpecificLocalTimeToSystemTime(const void* zone, const SYSTEMTIME* in, LPSYSTEMTIME out);

// Year 1601-30827, month, day within the month (Gregorian leap years),
// hour, minute, second and milliseconds in range; day of week not checked.
bool SystemTimeIsValid(const SYSTEMTIME* st);

// The fields of a broken-down time (year from 1900, month from 0) as a
// SYSTEMTIME with the given milliseconds.
void SystemTimeFromTm(const struct tm& tm, WORD milliseconds, LPSYSTEMTIME out);

// A POSIX time to FILETIME; a result before 1601 is stored as 0, one past
// the latest FILETIME (year 30828) as the latest.
FILETIME FileTimeFromTimespec(const struct timespec& ts);
// The reverse; a negative remainder moves into the previous second.
struct timespec TimespecFromFileTime(const FILETIME& ft);
