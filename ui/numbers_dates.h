// The shared formatting of numbers and the date and time settings that every
// window's dates, times and counts follow.
#pragma once

#include "windows.h"

// The date format: 0 day-month-year, 1 month-day-year, 2 year-month-day,
// 3-5 the same orders with four-digit years. 1 until the settings are read.
extern WORD gDateFormat;
// Times on the 12-hour clock (" am", " pm").
extern DWORD gTwelveHourClock;
// The thousands separator (',' until the settings are read).
extern char gThousandsSep;

// Writes value into the picture (at most 20 characters of '#' digit places,
// ',' group marks, optionally a leading fill character and a '.'): the
// digits fill the places from the right (a minus sign counts as a digit),
// group marks between digits become gThousandsSep, group marks further left
// become digit places when the digits need them, and the places left of the
// number are blanks, or the fill character (directly left of the number, and
// further left too when the picture repeats it). A number that does not fit
// even then is written whole. dst holds at least 24 bytes; it is terminated.
void FormatNumberPicture(char* dst, int64_t value, const char* picture);

// A calendar date as the day-number helpers take it.
struct DateRecord {
    BYTE day;
    BYTE month;
    WORD year;
};

// The day number of a Gregorian date (1 January 2000 is 2451545).
DWORD JulianDay(const DateRecord& date);
// The Gregorian date of a day number; the inverse of JulianDay.
DateRecord DateFromJulianDay(DWORD day);
// Compares two packed date-times (date in the low half) field by field:
// year, month, day, hour, minute, second, milliseconds. 1 when a is later,
// -1 when it is earlier, 0 when they are equal.
int ComparePackedDate(ULONGLONG a, ULONGLONG b);

// The date of a packed date by gDateFormat, in a static buffer that the next
// call overwrites: formats 0-2 with the year's last two digits ("%2d-%02d-%02d",
// year first as "%02d-%02d-%02d"), 3-5 with the full year; a year-0 date
// shows year 0; an unknown format "   0-00-00".
const char* FormatDate(DWORD packedDate);
// " %2d:%02d:%02d" and, on the 12-hour clock, " am" or " pm" (hour 0 shows
// 12 am, 12 shows 12 pm). out holds at least 16 bytes; returns out.
char* FormatTime(char* out, DWORD packedTime);
// A known POSIX mode (top bit set) as "%04o" of its permission bits, else the
// four letters r, a, s, h of read-only, archive, system and hidden, '.' for
// each that is clear. out holds at least 8 bytes; returns out.
char* FormatAttrLetters(char* out, WORD attributes, WORD mode);
