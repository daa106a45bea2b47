// FILETIME, SYSTEMTIME, UTC and local time through gmtime_r, localtime_r,
// timegm and mktime and the system's time zone.
#include "timezoneapi.h"
#include "errhandlingapi.h"
#include "winerror.h"

#include <cstdint>

namespace {

constexpr int64_t kTicksPerSecond = 10000000;

int64_t Ticks(const FILETIME* ft) {
    return static_cast<int64_t>((static_cast<uint64_t>(ft->dwHighDateTime) << 32) |
                                ft->dwLowDateTime);
}

void SetTicks(FILETIME* ft, int64_t ticks) {
    uint64_t u = static_cast<uint64_t>(ticks);
    ft->dwLowDateTime = static_cast<DWORD>(u);
    ft->dwHighDateTime = static_cast<DWORD>(u >> 32);
}

constexpr int64_t kLatestTicks = INT64_MAX;

// Ticks since 1970 split into whole seconds (rounded towards minus infinity)
// and the ticks left over, 0 to 9,999,999.
void SplitTicks(int64_t ticks, int64_t* seconds, int64_t* rest) {
    int64_t rel = ticks - QPOSIX_FILETIME_1970; // cannot overflow: the offset is positive
    *seconds = rel / kTicksPerSecond;
    *rest = rel % kTicksPerSecond;
    if (*rest < 0) {
        *rest += kTicksPerSecond;
        --*seconds;
    }
}

// seconds * 10,000,000 + extra + the 1970 offset, held to 0 .. the latest
// FILETIME: a file system may hold times far beyond year 30828 (or before
// 1601), and such a time is shown as the nearest one a FILETIME can carry.
int64_t TicksFromSeconds(int64_t seconds, int64_t extra) {
    int64_t ticks;
    if (__builtin_mul_overflow(seconds, kTicksPerSecond, &ticks) ||
        __builtin_add_overflow(ticks, extra, &ticks) ||
        __builtin_add_overflow(ticks, QPOSIX_FILETIME_1970, &ticks))
        return seconds < 0 ? 0 : kLatestTicks;
    return ticks < 0 ? 0 : ticks;
}

// A FILETIME moved by the local offset. A valid value stays within 0 .. the
// latest FILETIME; an invalid (negative) one only within the 64 bits.
int64_t ShiftTicks(int64_t ticks, int64_t offsetSeconds) {
    int64_t shifted;
    if (__builtin_add_overflow(ticks, offsetSeconds * kTicksPerSecond, &shifted))
        return offsetSeconds < 0 ? INT64_MIN : kLatestTicks;
    if (ticks >= 0 && shifted < 0) return 0;
    return shifted;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

struct tm ToTm(const SYSTEMTIME* in) {
    struct tm tm = {};
    tm.tm_year = in->wYear - 1900;
    tm.tm_mon = in->wMonth - 1;
    tm.tm_mday = in->wDay;
    tm.tm_hour = in->wHour;
    tm.tm_min = in->wMinute;
    tm.tm_sec = in->wSecond;
    return tm;
}

// Seconds east of UTC now.
int64_t LocalOffsetNow() {
    time_t now = ::time(nullptr);
    struct tm local;
    if (!::localtime_r(&now, &local)) return 0;
    return local.tm_gmtoff;
}

} // namespace

void SystemTimeFromTm(const struct tm& tm, WORD milliseconds, LPSYSTEMTIME out) {
    out->wYear = static_cast<WORD>(tm.tm_year + 1900);
    out->wMonth = static_cast<WORD>(tm.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    out->wDay = static_cast<WORD>(tm.tm_mday);
    out->wHour = static_cast<WORD>(tm.tm_hour);
    out->wMinute = static_cast<WORD>(tm.tm_min);
    out->wSecond = static_cast<WORD>(tm.tm_sec);
    out->wMilliseconds = milliseconds;
}

bool SystemTimeIsValid(const SYSTEMTIME* st) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!st || st->wYear < 1601 || st->wYear > 30827) return false;
    if (st->wMonth < 1 || st->wMonth > 12) return false;
    int days = kDays[st->wMonth - 1] + (st->wMonth == 2 && IsLeap(st->wYear) ? 1 : 0);
    if (st->wDay < 1 || st->wDay > days) return false;
    return st->wHour <= 23 && st->wMinute <= 59 && st->wSecond <= 59 && st->wMilliseconds <= 999;
}

BOOL FileTimeToSystemTime(const FILETIME* in, LPSYSTEMTIME out) {
    int64_t ticks = in ? Ticks(in) : -1;
    if (ticks < 0 || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t seconds, rest;
    SplitTicks(ticks, &seconds, &rest);
    time_t t = static_cast<time_t>(seconds);
    struct tm tm;
    if (!::gmtime_r(&t, &tm)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SystemTimeFromTm(tm, static_cast<WORD>(rest / 10000), out);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* in, LPFILETIME out) {
    if (!SystemTimeIsValid(in) || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct tm tm = ToTm(in);
    time_t t = ::timegm(&tm);
    SetTicks(out, TicksFromSeconds(static_cast<int64_t>(t), in->wMilliseconds * 10000LL));
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* in, LPFILETIME out) {
    SetTicks(out, ShiftTicks(Ticks(in), LocalOffsetNow()));
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* in, LPFILETIME out) {
    SetTicks(out, ShiftTicks(Ticks(in), -LocalOffsetNow()));
    return TRUE;
}

BOOL SystemTimeToTzSpecificLocalTime(const void*, const SYSTEMTIME* in, LPSYSTEMTIME out) {
    if (!SystemTimeIsValid(in) || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct tm tm = ToTm(in);
    time_t t = ::timegm(&tm);
    struct tm local;
    if (!::localtime_r(&t, &local)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SystemTimeFromTm(local, in->wMilliseconds, out);
    return TRUE;
}

BOOL TzSpecificLocalTimeToSystemTime(const void*, const SYSTEMTIME* in, LPSYSTEMTIME out) {
    if (!SystemTimeIsValid(in) || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct tm tm = ToTm(in);
    tm.tm_isdst = -1; // the system decides whether daylight saving applies
    time_t t = ::mktime(&tm);
    struct tm utc;
    if (!::gmtime_r(&t, &utc)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SystemTimeFromTm(utc, in->wMilliseconds, out);
    return TRUE;
}

FILETIME FileTimeFromTimespec(const struct timespec& ts) {
    FILETIME ft;
    SetTicks(&ft, TicksFromSeconds(static_cast<int64_t>(ts.tv_sec), ts.tv_nsec / 100));
    return ft;
}

struct timespec TimespecFromFileTime(const FILETIME& ft) {
    struct timespec ts;
    int64_t seconds, rest;
    // A negative FILETIME names no time; it is taken as the earliest.
    int64_t ticks = Ticks(&ft);
    SplitTicks(ticks < 0 ? 0 : ticks, &seconds, &rest);
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}
