// Packed dates and times: every file date the program keeps, shows, compares
// or filters is a pair of 32-bit local values made from a FILETIME when the
// file is read. Comparing two pairs as unsigned numbers (date first) orders
// them in time.
#pragma once

#include "windows.h"

// Day in bits 0-4, month in 5-8, the full year (at most 9999) from bit 9.
typedef DWORD PackedDate;
// Milliseconds in bits 0-14, second in 15-20, minute in 21-26, hour 27-31.
typedef DWORD PackedTime;

inline constexpr PackedDate PackDate(unsigned year, unsigned month, unsigned day) {
    return (year > 9999 ? 9999u : year) << 9 | (month & 0xFu) << 5 | (day & 0x1Fu);
}
inline constexpr PackedTime PackTime(unsigned hour, unsigned minute, unsigned second,
                                     unsigned milliseconds) {
    return (hour & 0x1Fu) << 27 | (minute & 0x3Fu) << 21 | (second & 0x3Fu) << 15 |
           (milliseconds & 0x7FFFu);
}
// A date and time held as one value: the date in the low half.
inline constexpr ULONGLONG PackedDateTime64(PackedDate date, PackedTime time) {
    return ULONGLONG(time) << 32 | date;
}
inline constexpr PackedDate PackedDateOf64(ULONGLONG value) { return PackedDate(value); }
inline constexpr PackedTime PackedTimeOf64(ULONGLONG value) { return PackedTime(value >> 32); }

// The clock as GetPackedNow gives it.
struct DosDateTime {
    BYTE hour;
    BYTE minute;
    BYTE second;
    BYTE hundredths; // milliseconds / 10
    BYTE day;
    BYTE month;
    WORD year;
    WORD reserved; // always 0
    BYTE dayOfWeek; // 0 = Sunday
};
static_assert(sizeof(DosDateTime) == 12);
static_assert(offsetof(DosDateTime, hundredths) == 3);
static_assert(offsetof(DosDateTime, year) == 6);
static_assert(offsetof(DosDateTime, reserved) == 8);
static_assert(offsetof(DosDateTime, dayOfWeek) == 10);

// ---- pure cores -------------------------------------------------------------

// The fields of a SYSTEMTIME packed (masks and the year limit only).
void PackSystemTime(const SYSTEMTIME& time, PackedDate* date, PackedTime* clock);
// The fields of a local SYSTEMTIME as a DosDateTime.
void DosDateTimeFromSystemTime(const SYSTEMTIME& time, DosDateTime* out);

// ---- conversions ------------------------------------------------------------

// A UTC FILETIME as local time by the setting at byte 124 of the settings
// record: on, the zone rules in force at that date; off, today's offset for
// every date. A time the layer cannot convert gives an all-zero SYSTEMTIME.
void FileTimeToLocalSystem(const FILETIME* time, SYSTEMTIME* out);
// FileTimeToLocalSystem, then packed.
void FileTimeToPacked(const FILETIME* time, PackedDate* date, PackedTime* clock);
// The creation, last-write and last-access times of find data as three
// date and time pairs, in that order.
void FindDataToPacked(const WIN32_FIND_DATAW* data, PackedDate* createdDate,
                      PackedTime* createdTime, PackedDate* writtenDate, PackedTime* writtenTime,
                      PackedDate* accessedDate, PackedTime* accessedTime);
// The local clock now.
void GetPackedNow(DosDateTime* out);
// Test hook: GetPackedNow reads this clock instead of GetLocalTime (null
// puts GetLocalTime back).
void PackedNowSetClockForTest(void (*clock)(LPSYSTEMTIME));

// Writes the times of an open file (through the routing layer); a null or
// zero time is left as it is. When the file system refuses a time (error
// 87), each time before 1980 or after 2080 is moved to the same day and time
// in 1980, in the caller's record too, and the write is tried once more.
// Returns 0 or the error code.
DWORD SetFileTimeClamped(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write);
