// Numbers into pictures, and the date and time settings.
#include "ui/numbers_dates.h"

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
    if (places < nDigits) {
        snprintf(dst, 24, "%s", digits);
        return;
    }
    char out[21];
    std::memcpy(out, pic, size_t(length) + 1);
    for (int i = whole; i < length; i++)
        if (out[i] == '#') out[i] = '0';
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
    switch (gDateFormat) {
    case 0: snprintf(text, sizeof text, "%2d-%02d-%02d", day, month, shortYear); break;
    case 1: snprintf(text, sizeof text, "%2d-%02d-%02d", month, day, shortYear); break;
    case 2: snprintf(text, sizeof text, "%02d-%02d-%02d", shortYear, month, day); break;
    case 3: snprintf(text, sizeof text, "%2d-%02d-%04d", day, month, year); break;
    case 4: snprintf(text, sizeof text, "%2d-%02d-%04d", month, day, year); break;
    case 5: snprintf(text, sizeof text, "%4d-%02d-%02d", year, month, day); break;
    default: snprintf(text, sizeof text, "%4d-%02d-%02d", 0, 0, 0); break;
    }
    return text;
}

char* FormatTime(char* out, DWORD packedTime) {
    int hour = int(packedTime >> 27);
    const int minute = int(packedTime >> 21 & 0x3F);
    const int second = int(packedTime >> 15 & 0x3F);
    const char* suffix = "";
    if (gTwelveHourClock) {
        suffix = hour >= 12 ? " pm" : " am";
        if (hour == 0)
            hour = 12;
        else if (hour > 12)
            hour -= 12;
    }
    snprintf(out, 16, " %2d:%02d:%02d%s", hour, minute, second, suffix);
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
