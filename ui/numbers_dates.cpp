// Numbers into pictures, and the date and time settings.
#include "ui/numbers_dates.h"

#include "platform/packed_dates.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

WORD gDateFormat = 1;
DWORD gTwelveHourClock = 0;
// gThousandsSep belongs to the settings reader, which sets it from QBK.INI.

void FormatNumberPicture(char* dst, int64_t value, const char* picture) {
    char digits[24];
    snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
    const int nDigits = int(strlen(digits));
    char pic[21];
    snprintf(pic, sizeof pic, "%s", picture);
    const int length = int(strlen(pic));
    // The places of the whole part end at the decimal mark.
    const char* mark = strchr(pic, '.');
    const int whole = mark ? int(mark - pic) : length;
    int places = 0;
    for (int i = 0; i < whole; i++)
        if (pic[i] == '#') places++;
    for (int i = 0; i < whole && places < nDigits; i++)
        if (pic[i] == ',') {
            pic[i] = '#';
            places++;
        }
    char out[21];
    std::memcpy(out, pic, size_t(length) + 1);
    // After a decimal mark every place is '0'.
    for (int i = whole + 1; i < length; i++) out[i] = '0';
    if (places < nDigits) {
        // A number too wide for the picture never widens the column: the
        // whole part shows asterisks.
        std::memset(out, '*', size_t(whole));
        snprintf(dst, 24, "%s", out);
        return;
    }
    int next = nDigits - 1; // the next digit to place, from the right
    int leftmost = whole;   // the leftmost place the number took
    for (int i = whole - 1; i >= 0 && next >= 0; i--) {
        if (pic[i] == '#') {
            out[i] = digits[next--];
            leftmost = i;
        } else if (pic[i] == ',') {
            out[i] = gThousandsSep;
            leftmost = i;
        }
    }
    const char fill = pic[0];
    const bool filled = fill != '#' && fill != ',';
    for (int i = leftmost - 1; i >= 0; i--) {
        if (filled && (i == leftmost - 1 || pic[1] == fill))
            out[i] = fill;
        else
            out[i] = ' ';
    }
    snprintf(dst, 24, "%s", out);
}

void FormatSizeOrUnknown(char* dst, int64_t value, const char* picture) {
    if (value >= 0) {
        FormatNumberPicture(dst, value, picture);
        return;
    }
    // The picture's width, as FormatNumberPicture would write it.
    const int width = int(strnlen(picture, 20));
    snprintf(dst, 24, "%*s", width, "unknown");
}

const char* FormatThousands(DWORD value) {
    static char text[16];
    char digits[12];
    const int n = snprintf(digits, sizeof digits, "%u", unsigned(value));
    int out = 0;
    for (int i = 0; i < n; i++) {
        if (i > 0 && (n - i) % 3 == 0) text[out++] = gThousandsSep;
        text[out++] = digits[i];
    }
    text[out] = 0;
    return text;
}

DWORD JulianDay(const DateRecord& date) {
    DWORD m = date.month;
    DWORD y = date.year;
    if (m > 2) {
        m -= 3;
    } else {
        m += 9;
        y -= 1;
    }
    return (y % 100) * 1461 / 4 + date.day + (y / 100) * 146097 / 4 + (153 * m + 2) / 5 + 1721119;
}

DateRecord DateFromJulianDay(DWORD day) {
    // Centuries of 146097 days, four-year runs of 1461 days, and months of
    // 153 days per five, counted from March as JulianDay counts them.
    const uint64_t j4 = 4 * uint64_t(day) - 6884477;
    const uint64_t century = j4 / 146097;
    const uint64_t inCentury = (j4 % 146097) / 4;
    const uint64_t d4 = 4 * inCentury + 3;
    const uint64_t yearInCentury = d4 / 1461;
    const uint64_t dayOfYear = (d4 % 1461) / 4;
    const uint64_t m5 = 5 * dayOfYear + 2;
    uint64_t month = m5 / 153;
    const uint64_t dom = (m5 % 153) / 5 + 1;
    uint64_t year = 100 * century + yearInCentury;
    if (month < 10) {
        month += 3;
    } else {
        month -= 9;
        year += 1;
    }
    return DateRecord{BYTE(dom), BYTE(month), WORD(year)};
}

namespace {
// The three fields of a date in the order of a date format (formats 3-5
// repeat the orders of 0-2): day-month-year, month-day-year or
// year-month-day. False for an unknown format.
bool DateFieldsInOrder(WORD format, long day, long month, long year, long fields[3]) {
    if (format > 5) return false;
    const long orders[3][3] = {{day, month, year}, {month, day, year}, {year, month, day}};
    std::copy_n(orders[format % 3], 3, fields);
    return true;
}
} // namespace

int FormatShortDate(INT julianDay, WCHAR* out) {
    const DateRecord date = DateFromJulianDay(DWORD(julianDay));
    const long year = date.year;
    const long shownYear = gDateFormat < 3 ? year % 100 : year;
    long f[3];
    if (!DateFieldsInOrder(gDateFormat, date.day, date.month, shownYear, f)) return int(year / 100);
    char text[40];
    snprintf(text, sizeof text, "%02ld/%02ld/%2ld", f[0], f[1], f[2]);
    size_t i = 0;
    for (; text[i]; i++) out[i] = WCHAR(static_cast<unsigned char>(text[i]));
    out[i] = 0;
    return int(year / 100);
}

BOOL IsLeapYear(WORD year) {
    DWORD y = year;
    if (y < 100) y += 1900;
    else if (y < 1000) y += 2000;
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int ComparePackedDate(ULONGLONG a, ULONGLONG b) {
    // Field by field from the most significant: year, month, day of the
    // date half, then hour, minute, second, milliseconds of the time half.
    const ULONGLONG fields[][2] = {
        {(a & 0xFFFFFFFFu) >> 9, (b & 0xFFFFFFFFu) >> 9},
        {(a >> 5) & 0xF, (b >> 5) & 0xF},
        {a & 0x1F, b & 0x1F},
        {(a >> 59) & 0x1F, (b >> 59) & 0x1F},
        {(a >> 53) & 0x3F, (b >> 53) & 0x3F},
        {(a >> 47) & 0x3F, (b >> 47) & 0x3F},
        {(a >> 32) & 0x7FFF, (b >> 32) & 0x7FFF},
    };
    for (const auto& f : fields)
        if (f[0] != f[1]) return f[0] > f[1] ? 1 : -1;
    return 0;
}

int ComparePackedTime(DWORD a, DWORD b) {
    // Packed as hour, minute, second, milliseconds from the top bit down, so
    // that the fields compare in that order as one number.
    return a == b ? 0 : a > b ? 1 : -1;
}

namespace {
constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
} // namespace

const char* DayName(WORD index) { return index < 7 ? kDayNames[index] : ""; }

const char* MonthName(WORD index) { return index < 12 ? kMonthNames[index] : ""; }

int MonthFromName(const char* name) {
    if (!name) return 13;
    for (int m = 0; m < 12; m++) {
        int i = 0;
        while (i < 3 && name[i] && AsciiUpper(name[i]) == AsciiUpper(kMonthNames[m][i])) i++;
        if (i == 3) return m + 1;
    }
    return 13;
}

const char* FormatDate(DWORD packedDate) {
    static char text[24];
    const int day = int(packedDate & 0x1F);
    const int month = int(packedDate >> 5 & 0xF);
    const int year = int(packedDate >> 9);
    // Two-digit formats drop the first two characters of the year's text:
    // 2024 shows 24, a year 0 shows 0.
    char yearText[16];
    snprintf(yearText, sizeof yearText, "%d", year);
    const int shortYear = std::strlen(yearText) > 2 ? std::atoi(yearText + 2) : year;
    static constexpr const char* kPatterns[] = {"%2ld-%02ld-%02ld", "%2ld-%02ld-%02ld",
                                                 "%02ld-%02ld-%02ld", "%2ld-%02ld-%04ld",
                                                 "%2ld-%02ld-%04ld", "%4ld-%02ld-%02ld"};
    long f[3];
    if (DateFieldsInOrder(gDateFormat, day, month, gDateFormat < 3 ? shortYear : year, f))
        snprintf(text, sizeof text, kPatterns[gDateFormat], f[0], f[1], f[2]);
    else
        snprintf(text, sizeof text, "%4d-%02d-%02d", 0, 0, 0);
    return text;
}

namespace {
// The clock fields of a packed time as shown: the hour on the 12-hour clock
// when it is on, with its suffix.
struct ShownTime {
    int hour, minute, second, milliseconds;
    const char* suffix;
};

ShownTime Shown(DWORD packedTime) {
    ShownTime t{int(packedTime >> 27), int(packedTime >> 21 & 0x3F), int(packedTime >> 15 & 0x3F),
                int(packedTime & 0x7FFF), ""};
    if (gTwelveHourClock) {
        t.suffix = t.hour >= 12 ? " pm" : " am";
        if (t.hour == 0)
            t.hour = 12;
        else if (t.hour > 12)
            t.hour -= 12;
    }
    return t;
}
} // namespace

char* FormatTime(char* out, DWORD packedTime) {
    const ShownTime t = Shown(packedTime);
    snprintf(out, 16, " %2d:%02d:%02d%s", t.hour, t.minute, t.second, t.suffix);
    return out;
}

char* FormatTimeMs(char* out, DWORD packedTime) {
    const ShownTime t = Shown(packedTime);
    snprintf(out, 20, " %2d:%02d:%02d.%03d%s", t.hour, t.minute, t.second, t.milliseconds,
             t.suffix);
    return out;
}

char* FormatAttrLetters(char* out, WORD attributes, WORD mode) {
    if (mode & 0x8000) {
        snprintf(out, 8, "%04o", unsigned(mode & 0xFFF));
        return out;
    }
    out[0] = attributes & 0x1 ? 'r' : '.';
    out[1] = attributes & 0x20 ? 'a' : '.';
    out[2] = attributes & 0x4 ? 's' : '.';
    out[3] = attributes & 0x2 ? 'h' : '.';
    out[4] = 0;
    return out;
}

const char* FormatFileInfoLine(int64_t size, WORD attributes, WORD mode, DWORD packedDate,
                               DWORD packedTime, INT withMs) {
    static char line[50];
    char number[24];
    const char* unitMark = " ";
    int64_t shown = size;
    if (size >= 1000000000) {
        const int64_t unit = gKiloUnit ? int64_t(gKiloUnit) : 1024;
        // Rounded to the nearest unit without passing the range near the
        // largest sizes.
        shown = size / unit + (size % unit >= unit - unit / 2 ? 1 : 0);
        unitMark = "K";
    }
    FormatNumberPicture(number, shown, "###,###,###");
    char attrs[8];
    char clock[20];
    if (withMs)
        FormatTimeMs(clock, packedTime);
    else
        FormatTime(clock, packedTime);
    snprintf(line, sizeof line, "%s%s%s %s%s", number, unitMark,
             FormatAttrLetters(attrs, attributes, mode), FormatDate(packedDate), clock);
    return line;
}

const char* FormatFileInfoAttr(int64_t size, WORD attributes, DWORD packedDate, DWORD packedTime,
                               INT withMs) {
    return FormatFileInfoLine(size, attributes, 0, packedDate, packedTime, withMs);
}

const char* FormatFileInfoFromFileTime(int64_t size, WORD attributes, ULONGLONG fileTime) {
    FILETIME time;
    time.dwLowDateTime = DWORD(fileTime);
    time.dwHighDateTime = DWORD(fileTime >> 32);
    PackedDate date = 0;
    PackedTime clock = 0;
    FileTimeToPacked(&time, &date, &clock);
    return FormatFileInfoLine(size, attributes, 0, date, clock, 0);
}
