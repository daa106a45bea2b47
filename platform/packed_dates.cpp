// Packing of file times into local date and time words, the local-time rule,
// the clock record and the year clamp of written file times.
#include "platform/packed_dates.h"
#include "remote/remote_drives.h"
#include "settings/settings.h"

#include <initializer_list>

namespace {

void (*gPackedClock)(LPSYSTEMTIME) = nullptr;

} // namespace

void PackSystemTime(const SYSTEMTIME& time, PackedDate* date, PackedTime* clock) {
    *date = PackDate(time.wYear, time.wMonth, time.wDay);
    *clock = PackTime(time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
}

void DosDateTimeFromSystemTime(const SYSTEMTIME& time, DosDateTime* out) {
    out->hour = BYTE(time.wHour);
    out->minute = BYTE(time.wMinute);
    out->second = BYTE(time.wSecond);
    out->hundredths = BYTE(time.wMilliseconds / 10);
    out->day = BYTE(time.wDay);
    out->month = BYTE(time.wMonth);
    out->year = time.wYear;
    out->reserved = 0;
    out->dayOfWeek = BYTE(time.wDayOfWeek);
}

void FileTimeToLocalSystem(const FILETIME* time, SYSTEMTIME* out) {
    SYSTEMTIME utc{};
    *out = SYSTEMTIME{};
    if (gSettings.bStampTimezone) {
        if (FileTimeToSystemTime(time, &utc) && !SystemTimeToTzSpecificLocalTime(nullptr, &utc, out))
            *out = SYSTEMTIME{};
    } else {
        FILETIME local{};
        if (FileTimeToLocalFileTime(time, &local) && !FileTimeToSystemTime(&local, out))
            *out = SYSTEMTIME{};
    }
}

void FileTimeToPacked(const FILETIME* time, PackedDate* date, PackedTime* clock) {
    SYSTEMTIME local;
    FileTimeToLocalSystem(time, &local);
    PackSystemTime(local, date, clock);
}

void FindDataToPacked(const WIN32_FIND_DATAW* data, PackedDate* createdDate,
                      PackedTime* createdTime, PackedDate* writtenDate, PackedTime* writtenTime,
                      PackedDate* accessedDate, PackedTime* accessedTime) {
    FileTimeToPacked(&data->ftCreationTime, createdDate, createdTime);
    FileTimeToPacked(&data->ftLastWriteTime, writtenDate, writtenTime);
    FileTimeToPacked(&data->ftLastAccessTime, accessedDate, accessedTime);
}

void GetPackedNow(DosDateTime* out) {
    SYSTEMTIME now{};
    (gPackedClock ? gPackedClock : GetLocalTime)(&now);
    DosDateTimeFromSystemTime(now, out);
}

void PackedNowSetClockForTest(void (*clock)(LPSYSTEMTIME)) { gPackedClock = clock; }

DWORD SetFileTimeClamped(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write) {
    if (RdSetFileTime(file, creation, access, write)) return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_PARAMETER) return error;
    for (FILETIME* time : {creation, access, write}) {
        SYSTEMTIME st;
        if (!time || !FileTimeToSystemTime(time, &st)) continue;
        if (st.wYear >= 1980 && st.wYear <= 2080) continue;
        st.wYear = 1980; // a leap year: 29 February stays a valid day
        FILETIME clamped;
        if (SystemTimeToFileTime(&st, &clamped)) *time = clamped;
    }
    return RdSetFileTime(file, creation, access, write) ? 0 : GetLastError();
}
