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
// even then shows '*' in every place of the whole part. The result is exactly
// as long as the picture (places after a '.' are '0'). dst holds at least 24
// bytes; it is terminated.
void FormatNumberPicture(char* dst, int64_t value, const char* picture);
// A size that could not be read (negative) as "unknown" right-aligned in the
// picture's width; any other value as FormatNumberPicture. dst as there.
void FormatSizeOrUnknown(char* dst, int64_t value, const char* picture);
// value in decimal with gThousandsSep before every group of three digits
// from the right, in a static buffer that the next call overwrites.
const char* FormatThousands(DWORD value);

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
// The date of a day number as "%02ld/%02ld/%2ld" in the order of gDateFormat
// (formats 0-2 with the year modulo 100) into out (at least 16 units); an
// unknown format writes nothing. Returns the year / 100.
int FormatShortDate(INT julianDay, WCHAR* out);
// Leap-year test; a year below 100 stands for 1900 + year, one from 100 to
// 999 for 2000 + year.
BOOL IsLeapYear(WORD year);
// Compares two packed date-times (date in the low half) field by field:
// year, month, day, hour, minute, second, milliseconds. 1 when a is later,
// -1 when it is earlier, 0 when they are equal.
int ComparePackedDate(ULONGLONG a, ULONGLONG b);
// Compares two packed times: hour, minute, second, milliseconds; 1, -1 or 0.
int ComparePackedTime(DWORD a, DWORD b);
// "Sun" .. "Sat" for 0-6 and "Jan" .. "Dec" for 0-11; "" for any other index.
const char* DayName(WORD index);
const char* MonthName(WORD index);
// 1-12 for the month whose name the first three characters of name spell
// (without regard to case); 13 when none does (a null name included).
int MonthFromName(const char* name);

// The date of a packed date by gDateFormat, in a static buffer that the next
// call overwrites: formats 0-2 with the year's last two digits ("%2d-%02d-%02d",
// year first as "%02d-%02d-%02d"), 3-5 with the full year; a year-0 date
// shows year 0; an unknown format "   0-00-00".
const char* FormatDate(DWORD packedDate);
// " %2d:%02d:%02d" and, on the 12-hour clock, " am" or " pm" (hour 0 shows
// 12 am, 12 shows 12 pm). out holds at least 16 bytes; returns out.
char* FormatTime(char* out, DWORD packedTime);
// FormatTime with ".%03d" milliseconds before the suffix. out holds at least
// 20 bytes; returns out.
char* FormatTimeMs(char* out, DWORD packedTime);
// A known POSIX mode (top bit set) as "%04o" of its permission bits, else the
// four letters r, a, s, h of read-only, archive, system and hidden, '.' for
// each that is clear. out holds at least 8 bytes; returns out.
char* FormatAttrLetters(char* out, WORD attributes, WORD mode);

// One line of file information in a static buffer of 50 characters that the
// next call overwrites: the size in "###,###,###" and a blank (from
// 1,000,000,000 bytes on, the size in gKiloUnit units, rounded, and "K"), the
// attribute text of FormatAttrLetters, a blank and the date, and the time
// (with milliseconds when withMs is nonzero).
const char* FormatFileInfoLine(int64_t size, WORD attributes, WORD mode, DWORD packedDate,
                               DWORD packedTime, INT withMs);
// FormatFileInfoLine with attribute letters (mode 0).
const char* FormatFileInfoAttr(int64_t size, WORD attributes, DWORD packedDate, DWORD packedTime,
                               INT withMs);
// FormatFileInfoLine of a file time (UTC, 100 ns units) shown in local time,
// with attribute letters and without milliseconds.
const char* FormatFileInfoFromFileTime(int64_t size, WORD attributes, ULONGLONG fileTime);
