// Sizes, counts, dates, times and file-information lines as every window
// shows them, under the settings that change them: the thousands separator,
// the date format, the 12-hour clock and the kilobyte unit.
#include "platform/packed_dates.h"
#include "settings/settings.h"
#include "ui/numbers_dates.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The settings these formatters read, put back after each test.
class Formatting : public ::testing::Test {
  protected:
    void TearDown() override {
        gThousandsSep = ',';
        gDateFormat = 1;
        gTwelveHourClock = 0;
        gKiloUnit = 1024;
    }
};

std::string Narrow(const WCHAR* s) {
    std::string out;
    for (; *s; s++) out += char(*s);
    return out;
}

TEST_F(Formatting, SizesThatCannotBeReadShowUnknownInThePictureWidth) {
    const struct {
        int64_t value;
        const char* picture;
        const char* text;
    } kCases[] = {
        {-1, "###,###,###", "    unknown"},
        {-5, "###,###", "unknown"},
        {-1, "####", "unknown"}, // wider than the picture: shown whole
        {0, "###,###", "      0"},
        {1234, "###,###", "  1,234"},
    };
    for (const auto& c : kCases) {
        char out[24];
        std::memset(out, 'x', sizeof out);
        FormatSizeOrUnknown(out, c.value, c.picture);
        EXPECT_STREQ(out, c.text) << c.value << " in " << c.picture;
    }
}

TEST_F(Formatting, ThousandsSeparateEveryGroupOfThreeDigits) {
    const struct {
        DWORD value;
        char separator;
        const char* text;
    } kCases[] = {
        {1234567, ',', "1,234,567"}, {1234567, '.', "1.234.567"}, {0, ',', "0"},
        {999, ',', "999"},           {1000, ',', "1,000"},        {100000, '\'', "100'000"},
        {4294967295u, ',', "4,294,967,295"},
    };
    for (const auto& c : kCases) {
        gThousandsSep = c.separator;
        EXPECT_STREQ(FormatThousands(c.value), c.text) << c.value;
    }
}

TEST_F(Formatting, ShortDatesFollowTheDateFormat) {
    const INT march5 = INT(JulianDay(DateRecord{5, 3, 2024}));
    const INT newYear2000 = INT(JulianDay(DateRecord{1, 1, 2000}));
    const INT lastOf1999 = INT(JulianDay(DateRecord{31, 12, 1999}));
    ASSERT_EQ(newYear2000, 2451545);
    const struct {
        WORD format;
        INT day;
        const char* text; // "" when nothing is written
        int century;
    } kCases[] = {
        {0, march5, "05/03/24", 20},      {1, march5, "03/05/24", 20},
        {2, march5, "24/03/ 5", 20},      {3, march5, "05/03/2024", 20},
        {4, march5, "03/05/2024", 20},    {5, march5, "2024/03/ 5", 20},
        {1, newYear2000, "01/01/ 0", 20}, {0, lastOf1999, "31/12/99", 19},
        {6, march5, "", 20},
    };
    for (const auto& c : kCases) {
        gDateFormat = c.format;
        WCHAR out[16] = {u'?', 0};
        EXPECT_EQ(FormatShortDate(c.day, out), c.century) << "format " << c.format;
        EXPECT_EQ(Narrow(out), *c.text ? c.text : "?") << "format " << c.format;
    }
}

TEST_F(Formatting, ShortYearsOfTheLeapYearTestStandForTheirCentury) {
    const struct {
        WORD year;
        BOOL leap;
    } kCases[] = {
        {0, FALSE},    // 1900
        {96, TRUE},    // 1996
        {99, FALSE},   // 1999
        {100, FALSE},  // 2100
        {104, TRUE},   // 2104
        {400, TRUE},   // 2400
        {2000, TRUE},  {1900, FALSE}, {2024, TRUE}, {2023, FALSE},
    };
    for (const auto& c : kCases) EXPECT_EQ(IsLeapYear(c.year), c.leap) << c.year;
}

TEST_F(Formatting, TimesWithMillisecondsOnBothClocks) {
    const struct {
        DWORD twelveHour;
        PackedTime time;
        const char* text;
    } kCases[] = {
        {0, PackTime(12, 30, 5, 7), " 12:30:05.007"},
        {1, PackTime(12, 30, 5, 7), " 12:30:05.007 pm"},
        {1, PackTime(0, 15, 0, 999), " 12:15:00.999 am"},
        {0, PackTime(9, 5, 0, 120), "  9:05:00.120"},
        {1, PackTime(23, 59, 59, 0), " 11:59:59.000 pm"},
    };
    for (const auto& c : kCases) {
        gTwelveHourClock = c.twelveHour;
        char out[20];
        EXPECT_STREQ(FormatTimeMs(out, c.time), c.text);
    }
}

TEST_F(Formatting, PackedTimesCompareFieldByField) {
    const struct {
        PackedTime a, b;
        int order;
    } kCases[] = {
        {PackTime(10, 0, 0, 0), PackTime(9, 59, 59, 999), 1},
        {PackTime(9, 59, 59, 999), PackTime(10, 0, 0, 0), -1},
        {PackTime(9, 30, 0, 0), PackTime(9, 29, 59, 0), 1},
        {PackTime(9, 30, 1, 0), PackTime(9, 30, 0, 999), 1},
        {PackTime(9, 30, 1, 1), PackTime(9, 30, 1, 2), -1},
        {PackTime(9, 30, 1, 2), PackTime(9, 30, 1, 2), 0},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(ComparePackedTime(c.a, c.b), c.order) << std::hex << c.a << " " << c.b;
}

TEST_F(Formatting, DayAndMonthNamesBothWays) {
    EXPECT_STREQ(DayName(0), "Sun");
    EXPECT_STREQ(DayName(6), "Sat");
    EXPECT_STREQ(DayName(7), "") << "past the table";
    EXPECT_STREQ(MonthName(0), "Jan");
    EXPECT_STREQ(MonthName(11), "Dec");
    EXPECT_STREQ(MonthName(12), "");
    const struct {
        const char* name;
        int month;
    } kCases[] = {
        {"dec", 12}, {"Foo", 13},   {"JANUARY", 1}, {"mAy", 5}, {"Sep 12", 9},
        {"de", 13},  {"", 13},      {nullptr, 13},  {"Ja", 13}, {"jun", 6},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(MonthFromName(c.name), c.month) << (c.name ? c.name : "(null)");
    for (WORD m = 0; m < 12; m++) EXPECT_EQ(MonthFromName(MonthName(m)), m + 1);
}

TEST_F(Formatting, FileInformationLines) {
    const PackedDate date = PackDate(2024, 3, 5);
    const PackedTime time = PackTime(12, 30, 5, 7);
    const struct {
        const char* why;
        int64_t size;
        WORD attributes, mode;
        DWORD kilo;
        INT withMs;
        const char* text;
    } kCases[] = {
        {"bytes", 1234, 0x20, 0, 1024, 0, "      1,234 .a..  3-05-24 12:30:05"},
        {"largest in bytes", 999999999, 0x21, 0, 1024, 0, "999,999,999 ra..  3-05-24 12:30:05"},
        {"kilobytes of 1024", 1500000000, 0x20, 0, 1024, 0, "  1,464,844K.a..  3-05-24 12:30:05"},
        {"kilobytes of 1000", 1500000000, 0, 0, 1000, 0, "  1,500,000K....  3-05-24 12:30:05"},
        {"rounded", 1000000600, 0, 0, 1000, 0, "  1,000,001K....  3-05-24 12:30:05"},
        {"POSIX mode", 10, 0x20, 0x8000 | 0640, 1024, 0, "         10 0640  3-05-24 12:30:05"},
        {"milliseconds", 10, 0, 0, 1024, 1, "         10 ....  3-05-24 12:30:05.007"},
    };
    for (const auto& c : kCases) {
        gKiloUnit = c.kilo;
        EXPECT_STREQ(FormatFileInfoLine(c.size, c.attributes, c.mode, date, time, c.withMs), c.text)
            << c.why;
    }
    gKiloUnit = 1024;
    // The attribute form never shows a mode.
    EXPECT_STREQ(FormatFileInfoAttr(10, 0x20, date, time, 0), "         10 .a..  3-05-24 12:30:05");
    // Largest values stay inside the line.
    gTwelveHourClock = 1;
    gDateFormat = 5;
    const char* wide = FormatFileInfoLine(INT64_MAX, 0x27, 0, PackDate(9999, 12, 31),
                                          PackTime(23, 59, 59, 32767), 1);
    EXPECT_STREQ(wide, "***********Krash 9999-12-31 11:59:59.32767 pm");
}

TEST_F(Formatting, FileInformationOfAFileTime) {
    // 2024-03-05 12:00:00 UTC in 100 ns units since 1601; the day stays the
    // same in every time zone within twelve hours of UTC.
    const ULONGLONG noon = (1709640000ULL + 11644473600ULL) * 10000000ULL;
    const std::string line = FormatFileInfoFromFileTime(1234, 0x20, noon);
    EXPECT_EQ(line.substr(0, 16), "      1,234 .a..") << line;
    EXPECT_EQ(line.substr(16, 9), "  3-05-24") << line;
    EXPECT_EQ(line.size(), 34u) << "no milliseconds: " << line;
}

} // namespace
