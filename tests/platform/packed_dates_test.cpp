// Packed dates and times: the packing itself, both local-time rules in UTC
// and in a zone with daylight saving, the clock record from a fixed clock,
// and the year clamp of written file times with the refusal injected.
#include "fixture.h"
#include "posix/drive_fixture.h"
#include "internal/sys.h"
#include "qposix_path.h"
#include "platform/packed_dates.h"
#include "settings/settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

SYSTEMTIME St(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD ms) {
    SYSTEMTIME st{};
    st.wYear = y;
    st.wMonth = mo;
    st.wDay = d;
    st.wHour = h;
    st.wMinute = mi;
    st.wSecond = s;
    st.wMilliseconds = ms;
    return st;
}

FILETIME Ft(const SYSTEMTIME& st) {
    FILETIME ft{};
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
    return ft;
}

TEST(PackedDates, FieldsArePackedWithTheirMasksAndTheYearLimit) {
    const struct {
        const char* what;
        SYSTEMTIME time;
        PackedDate date;
        PackedTime clock;
    } rows[] = {
        {"the first day of 1980", St(1980, 1, 1, 0, 0, 0, 0), 0x000F7821, 0},
        {"the last moment of 2023", St(2023, 12, 31, 23, 59, 59, 999), 0x000FCF9F, 0xBF7D83E7},
        {"a year past 9999 keeps month and day", St(12000, 3, 4, 1, 2, 3, 4), 9999u << 9 | 3 << 5 | 4,
         1u << 27 | 2 << 21 | 3 << 15 | 4},
        {"1601", St(1601, 1, 1, 0, 0, 0, 0), 1601u << 9 | 1 << 5 | 1, 0},
    };
    for (const auto& row : rows) {
        PackedDate date;
        PackedTime clock;
        PackSystemTime(row.time, &date, &clock);
        EXPECT_EQ(date, row.date) << row.what;
        EXPECT_EQ(clock, row.clock) << row.what;
    }
    EXPECT_EQ(PackedDateTime64(0x000FCF9F, 0xBF7D83E7), 0xBF7D83E7000FCF9Full);
    EXPECT_EQ(PackedDateOf64(0xBF7D83E7000FCF9Full), 0x000FCF9Fu);
    EXPECT_EQ(PackedTimeOf64(0xBF7D83E7000FCF9Full), 0xBF7D83E7u);
    // Packed pairs order as numbers: a later millisecond, minute, day.
    EXPECT_LT(PackTime(23, 59, 59, 998), PackTime(23, 59, 59, 999));
    EXPECT_LT(PackTime(22, 59, 59, 999), PackTime(23, 0, 0, 0));
    EXPECT_LT(PackDate(2023, 12, 31), PackDate(2024, 1, 1));
}

using Zone = qtest::ScopedZone;

class LocalRule : public ::testing::Test {
  protected:
    void TearDown() override { gSettings.bStampTimezone = saved_; }
    BYTE saved_ = gSettings.bStampTimezone;
    static std::pair<PackedDate, PackedTime> Pack(const SYSTEMTIME& utc) {
        FILETIME ft = Ft(utc);
        std::pair<PackedDate, PackedTime> out;
        FileTimeToPacked(&ft, &out.first, &out.second);
        return out;
    }
};

TEST_F(LocalRule, InUtcBothRulesGiveTheSameFields) {
    Zone zone("UTC0");
    for (BYTE rule : {0, 1}) {
        gSettings.bStampTimezone = rule;
        EXPECT_EQ(Pack(St(2023, 12, 31, 23, 59, 59, 999)),
                  std::make_pair(PackedDate(0x000FCF9F), PackedTime(0xBF7D83E7)))
            << "rule " << int(rule);
        EXPECT_EQ(Pack(St(1980, 1, 1, 0, 0, 0, 0)), std::make_pair(PackedDate(0x000F7821), PackedTime(0)));
    }
}

TEST_F(LocalRule, DaylightSavingFollowsTheDateOnlyWithTheSetting) {
    Zone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const SYSTEMTIME summer = St(2023, 7, 1, 12, 0, 0, 0);
    const SYSTEMTIME winter = St(2023, 1, 15, 12, 0, 0, 0);

    gSettings.bStampTimezone = 1; // the rules in force at each date
    EXPECT_EQ(Pack(summer), std::make_pair(PackDate(2023, 7, 1), PackTime(14, 0, 0, 0)));
    EXPECT_EQ(Pack(winter), std::make_pair(PackDate(2023, 1, 15), PackTime(13, 0, 0, 0)));

    // Off: today's offset for every date, whatever the season of the file.
    gSettings.bStampTimezone = 0;
    const time_t now = ::time(nullptr);
    struct tm today;
    ASSERT_NE(::localtime_r(&now, &today), nullptr);
    const unsigned hour = unsigned(12 + today.tm_gmtoff / 3600);
    EXPECT_EQ(Pack(summer), std::make_pair(PackDate(2023, 7, 1), PackTime(hour, 0, 0, 0)));
    EXPECT_EQ(Pack(winter), std::make_pair(PackDate(2023, 1, 15), PackTime(hour, 0, 0, 0)));

    SYSTEMTIME local;
    FILETIME ft = Ft(summer);
    gSettings.bStampTimezone = 1;
    FileTimeToLocalSystem(&ft, &local);
    EXPECT_EQ(local.wHour, 14);
    EXPECT_EQ(local.wDayOfWeek, 6) << "1 July 2023 was a Saturday";
}

TEST_F(LocalRule, FindDataGivesCreationWriteAndAccessInThatOrder) {
    Zone zone("UTC0");
    WIN32_FIND_DATAW data{};
    data.ftCreationTime = Ft(St(2001, 1, 1, 1, 0, 0, 0));
    data.ftLastAccessTime = Ft(St(2003, 3, 3, 3, 0, 0, 0));
    data.ftLastWriteTime = Ft(St(2002, 2, 2, 2, 0, 0, 0));
    PackedDate d[3];
    PackedTime t[3];
    FindDataToPacked(&data, &d[0], &t[0], &d[1], &t[1], &d[2], &t[2]);
    for (unsigned i = 0; i < 3; i++) {
        EXPECT_EQ(d[i], PackDate(2001 + i, 1 + i, 1 + i)) << i;
        EXPECT_EQ(t[i], PackTime(1 + i, 0, 0, 0)) << i;
    }
}

// Times a file system can hold far outside what a FILETIME carries: set on
// a file of the shared-memory file system (which keeps any 64-bit time),
// read through the find data and packed, under both local-time rules.
// They saturate to the nearest date a FILETIME carries, never wrap.
TEST_F(LocalRule, ExtremeFileTimesPackAsTheNearestDate) {
    Zone zone("UTC0");
    const struct Row {
        const char* what;
        int64_t seconds;
        PackedDate date; // written date, packed
    } rows[] = {
        {"2020", 1577836800, PackDate(2020, 1, 1)},
        {"1e12 seconds", 1000000000000LL, PackDate(9999, 9, 14)},
        {"1e14 seconds", 100000000000000LL, PackDate(9999, 9, 14)},
        {"before 1601", -100000000000LL, PackDate(1601, 1, 1)},
    };
    qtest::ShmFile file;
    WCHAR wide[4096];
    ASSERT_GE(PathFromPosix(file.path().c_str(), wide, 4096), 0);
    for (const Row& r : rows) {
        ASSERT_TRUE(file.SetTimes(r.seconds)) << r.what;
        WIN32_FIND_DATAW data;
        HANDLE h = FindFirstFileW(wide, &data);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << r.what;
        FindClose(h);
        for (BYTE rule : {0, 1}) {
            gSettings.bStampTimezone = rule;
            PackedDate d[3];
            PackedTime t[3];
            FindDataToPacked(&data, &d[0], &t[0], &d[1], &t[1], &d[2], &t[2]);
            // The year, month and day; the last FILETIME's day is 14
            // September 30828, whose year the packed form stores as 9999.
            EXPECT_EQ(d[1], r.date) << r.what << ", rule " << int(rule);
        }
    }
}

void FixedClock(LPSYSTEMTIME out) { *out = St(2024, 2, 29, 12, 34, 56, 789), out->wDayOfWeek = 4; }

TEST(PackedNow, ClockFieldsWithHundredthsFromMilliseconds) {
    PackedNowSetClockForTest(FixedClock);
    DosDateTime now;
    memset(&now, 0xAA, sizeof now);
    GetPackedNow(&now);
    PackedNowSetClockForTest(nullptr);
    EXPECT_EQ(now.hour, 12);
    EXPECT_EQ(now.minute, 34);
    EXPECT_EQ(now.second, 56);
    EXPECT_EQ(now.hundredths, 78);
    EXPECT_EQ(now.day, 29);
    EXPECT_EQ(now.month, 2);
    EXPECT_EQ(now.year, 2024);
    EXPECT_EQ(now.reserved, 0);
    EXPECT_EQ(now.dayOfWeek, 4);
}

class Clamp : public DriveMapTest {
  protected:
    void SetUp() override {
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        WriteDrivesFile("c: /\n");
        path = dir.Write("f", "data");
        WCHAR out[4097];
        ASSERT_GE(PathFromPosix(path.c_str(), out, 4097), 0);
        file = CreateFileW(out, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        QSysClearFaults();
        CloseHandle(file);
        DriveMapTest::TearDown();
    }
    time_t Mtime() {
        struct stat st;
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return st.st_mtime;
    }
    static time_t Utc(int y, int mo, int d, int h, int mi, int s) {
        struct tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = s;
        return ::timegm(&tm);
    }
    std::string path;
    HANDLE file = INVALID_HANDLE_VALUE;
};

TEST_F(Clamp, ARefusedTimeIsWrittenAsTheSameDayIn1980) {
    FILETIME write = Ft(St(1601, 6, 15, 10, 20, 30, 0));
    FILETIME access = Ft(St(2000, 2, 29, 8, 0, 0, 0));
    FILETIME far = Ft(St(2100, 2, 28, 7, 0, 0, 0));
    const FILETIME accessBefore = access;
    QSysInjectFault(QSYS_UTIMENS, 1, EINVAL);
    EXPECT_EQ(SetFileTimeClamped(file, &far, &access, &write), 0u);
    EXPECT_EQ(Mtime(), Utc(1980, 6, 15, 10, 20, 30));
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&write, &st));
    EXPECT_EQ(st.wYear, 1980) << "the caller's value is replaced";
    EXPECT_EQ(st.wMonth, 6);
    ASSERT_TRUE(FileTimeToSystemTime(&far, &st));
    EXPECT_EQ(st.wYear, 1980) << "a year after 2080 too";
    EXPECT_EQ(access.dwLowDateTime, accessBefore.dwLowDateTime) << "a year in range is kept";
    EXPECT_EQ(access.dwHighDateTime, accessBefore.dwHighDateTime);
}

TEST_F(Clamp, OtherErrorsAreReturnedWithoutASecondTry) {
    const time_t before = Mtime();
    FILETIME write = Ft(St(1601, 6, 15, 10, 20, 30, 0));
    QSysInjectFault(QSYS_UTIMENS, 1, EACCES);
    EXPECT_EQ(SetFileTimeClamped(file, nullptr, nullptr, &write), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Mtime(), before);
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToSystemTime(&write, &st));
    EXPECT_EQ(st.wYear, 1601);

    FILETIME good = Ft(St(2020, 5, 6, 7, 8, 9, 0));
    EXPECT_EQ(SetFileTimeClamped(file, nullptr, nullptr, &good), 0u);
    EXPECT_EQ(Mtime(), Utc(2020, 5, 6, 7, 8, 9));
}

} // namespace

namespace {

// The local time of a FILETIME as the layer's own conversions give it: by
// the zone's rules at that date, or by today's offset.
SYSTEMTIME LayerLocal(const FILETIME& ft, bool zoneRules) {
    SYSTEMTIME utc{}, out{};
    if (zoneRules) {
        if (FileTimeToSystemTime(&ft, &utc) && !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &out))
            out = utc;
    } else {
        FILETIME local{};
        if (FileTimeToLocalFileTime(&ft, &local) && !FileTimeToSystemTime(&local, &out)) out = SYSTEMTIME{};
    }
    return out;
}

FILETIME FtOfTicks(uint64_t ticks) { return {DWORD(ticks), DWORD(ticks >> 32)}; }

FILETIME FtOfUnix(int64_t seconds, int64_t extraTicks = 0) {
    return FtOfTicks(uint64_t(seconds * 10000000 + extraTicks + 116444736000000000LL));
}

std::string Show(const SYSTEMTIME& t) {
    char text[64];
    snprintf(text, sizeof text, "%04u-%02u-%02u (%u) %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
             t.wDayOfWeek, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

// Times around the changes of the zones below, the ends of what a FILETIME
// holds, and a spread over its whole range.
std::vector<FILETIME> SampleTimes() {
    std::vector<FILETIME> times;
    const int64_t changes[] = {
        1679792400, // 2023-03-26 01:00 UTC: central Europe to summer time
        1698541200, // 2023-10-29 01:00 UTC: and back
        1680361200, // 2023-04-01 15:00 UTC: a half-hour zone back to its standard time
        1696087800, // 2023-09-30 15:30 UTC: and to summer time, in the middle of an hour
        -1025745572, // 1937-06-30 23:40:28 UTC: Amsterdam from +0:19:32 to +0:20
        -2208988800, // 1900-01-01
        0,
    };
    for (const int64_t c : changes)
        for (const int64_t d : {-3601LL, -3600LL, -1801LL, -1LL, 0LL, 1LL, 1799LL, 3599LL, 3600LL, 86400LL})
            times.push_back(FtOfUnix(c + d, 1234567));
    for (const uint64_t ticks : {0ull, 1ull, 9999ull, 0x7FFFFFFFFFFFFFFFull, 0x7FFFFFFFFFFFFFFFull - 864000000000ull * 400,
                                 0x8000000000000000ull, 0xFFFFFFFFFFFFFFFFull})
        times.push_back(FtOfTicks(ticks));
    uint64_t x = 88172645463325252ull;
    for (int i = 0; i < 3000; i++) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        // Mostly the last hundred years, some anywhere.
        const uint64_t span = i % 4 ? 31556952ull * 100 * 10000000 : 0x7FFFFFFFFFFFFFFFull;
        const uint64_t base = i % 4 ? 116444736000000000ull + 31556952ull * 30 * 10000000 : 0;
        times.push_back(FtOfTicks(base + x % span));
    }
    return times;
}

// Converting many times with the zone's offsets remembered gives what the
// layer's conversion gives for each, in zones with summer time, half-hour
// changes and old offsets of odd seconds.
TEST_F(LocalRule, RememberedOffsetsGiveTheLayersLocalTimes) {
    const std::vector<FILETIME> times = SampleTimes();
    const char* zones[] = {
        "UTC0",
        "CET-1CEST,M3.5.0,M10.5.0/3",
        "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0",
        "<+0545>-5:45",
        "Europe/Amsterdam",
        "America/New_York",
        "Australia/Lord_Howe",
    };
    for (const char* tz : zones) {
        Zone zone(tz);
        for (BYTE rule : {1, 0}) {
            gSettings.bStampTimezone = rule;
            // Twice: the second pass answers from what the first kept.
            for (int pass = 0; pass < 2; pass++)
                for (const FILETIME& ft : times) {
                    SYSTEMTIME got;
                    FileTimeToLocalSystem(&ft, &got);
                    const SYSTEMTIME want = LayerLocal(ft, rule);
                    ASSERT_EQ(Show(got), Show(want))
                        << tz << " rule " << int(rule) << " pass " << pass << " ticks "
                        << (uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime);
                }
        }
    }
}

// A change of TZ is followed at once, also when nobody told the C library
// to read the zone again.
TEST_F(LocalRule, AChangeOfTheZoneIsFollowed) {
    gSettings.bStampTimezone = 1;
    const FILETIME summer = FtOfUnix(1688212800); // 2023-07-01 12:00 UTC
    Zone outer("UTC0");
    struct Row {
        const char* tz;
        WORD hour;
    } rows[] = {
        {"UTC0", 12},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 14},
        {"<+0545>-5:45", 17},
        {"EST5EDT,M3.2.0,M11.1.0", 8},
        {"UTC0", 12},
    };
    for (const Row& r : rows) {
        ::setenv("TZ", r.tz, 1); // no tzset
        for (int pass = 0; pass < 2; pass++) {
            SYSTEMTIME got;
            FileTimeToLocalSystem(&summer, &got);
            EXPECT_EQ(got.wHour, r.hour) << r.tz << " pass " << pass;
        }
    }
    ::unsetenv("TZ");
    ::tzset();
    SYSTEMTIME got;
    FileTimeToLocalSystem(&summer, &got);
    EXPECT_EQ(Show(got), Show(LayerLocal(summer, true))) << "TZ unset: the system's zone";
}

} // namespace
