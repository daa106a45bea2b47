// FILETIME and SYSTEMTIME conversions, record validation, and UTC/local time
// under a fixed zone and under one with daylight saving time.
#include "../support/fixture.h"
#include "windows.h"

#include <gtest/gtest.h>

#include "qposix_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

namespace {

FILETIME Ft(int64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
    return ft;
}

int64_t Ticks(const FILETIME& ft) {
    return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) |
                                ft.dwLowDateTime);
}

// Sets TZ for one test and makes libc read it.
class ZoneTest : public ::testing::Test {
  protected:
    void Zone(const char* tz) {
        env_ = std::make_unique<qtest::ScopedEnv>("TZ", tz);
        ::tzset();
    }
    void TearDown() override {
        env_.reset();
        ::tzset();
    }
    std::unique_ptr<qtest::ScopedEnv> env_;
};

TEST(FileTimeToSystemTime, SplitsTicks) {
    struct Row {
        int64_t ticks;
        SYSTEMTIME st;
    } rows[] = {
        {116444736000000000LL, {1970, 1, 4, 1, 0, 0, 0, 0}},
        {0, {1601, 1, 1, 1, 0, 0, 0, 0}},
        {116444735999990000LL, {1969, 12, 3, 31, 23, 59, 59, 999}},
        {116444736000000000LL + 10000LL * 1234, {1970, 1, 4, 1, 0, 0, 1, 234}},
        {132223104000000000LL, {2020, 1, 3, 1, 0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        SYSTEMTIME out;
        FILETIME ft = Ft(r.ticks);
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &out)) << r.ticks;
        EXPECT_EQ(out.wYear, r.st.wYear) << r.ticks;
        EXPECT_EQ(out.wMonth, r.st.wMonth) << r.ticks;
        EXPECT_EQ(out.wDayOfWeek, r.st.wDayOfWeek) << r.ticks;
        EXPECT_EQ(out.wDay, r.st.wDay) << r.ticks;
        EXPECT_EQ(out.wHour, r.st.wHour) << r.ticks;
        EXPECT_EQ(out.wMinute, r.st.wMinute) << r.ticks;
        EXPECT_EQ(out.wSecond, r.st.wSecond) << r.ticks;
        EXPECT_EQ(out.wMilliseconds, r.st.wMilliseconds) << r.ticks;
        // And back: the day of week is ignored on the way in.
        SYSTEMTIME in = r.st;
        in.wDayOfWeek = 6;
        FILETIME back;
        ASSERT_TRUE(SystemTimeToFileTime(&in, &back));
        EXPECT_EQ(Ticks(back), r.ticks);
    }
    SYSTEMTIME out;
    FILETIME negative = Ft(-1);
    SetLastError(0);
    EXPECT_FALSE(FileTimeToSystemTime(&negative, &out));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(SystemTimeToFileTime, RejectsInvalidRecords) {
    struct Row {
        const char* what;
        SYSTEMTIME st;
        bool ok;
    } rows[] = {
        {"2023-02-29", {2023, 2, 0, 29, 0, 0, 0, 0}, false},
        {"2024-02-29", {2024, 2, 0, 29, 0, 0, 0, 0}, true},
        {"2000-02-29", {2000, 2, 0, 29, 0, 0, 0, 0}, true},
        {"2100-02-29", {2100, 2, 0, 29, 0, 0, 0, 0}, false},
        {"year 1600", {1600, 12, 0, 31, 0, 0, 0, 0}, false},
        {"year 30828", {30828, 1, 0, 1, 0, 0, 0, 0}, false},
        {"month 13", {2020, 13, 0, 1, 0, 0, 0, 0}, false},
        {"day 0", {2020, 1, 0, 0, 0, 0, 0, 0}, false},
        {"April 31", {2020, 4, 0, 31, 0, 0, 0, 0}, false},
        {"hour 24", {2020, 1, 0, 1, 24, 0, 0, 0}, false},
        {"second 60", {2020, 1, 0, 1, 0, 0, 60, 0}, false},
        {"milliseconds 1000", {2020, 1, 0, 1, 0, 0, 0, 1000}, false},
        {"last moment", {30827, 12, 0, 31, 23, 59, 59, 999}, true},
    };
    for (const Row& r : rows) {
        FILETIME ft;
        SetLastError(0);
        EXPECT_EQ(SystemTimeToFileTime(&r.st, &ft) != 0, r.ok) << r.what;
        EXPECT_EQ(SystemTimeIsValid(&r.st), r.ok) << r.what;
        if (!r.ok) {
            EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << r.what;
        }
    }
}

TEST(FileTimeFromTimespec, ClampsBefore1601AndRoundTrips) {
    struct timespec ts = {-11644473601LL, 0}; // one second before 1601
    FILETIME ft = FileTimeFromTimespec(ts);
    EXPECT_EQ(Ticks(ft), 0);
    ts = {-1, 500000000}; // 1969-12-31 23:59:59.5
    ft = FileTimeFromTimespec(ts);
    EXPECT_EQ(Ticks(ft), 116444736000000000LL - 5000000);
    struct timespec back = TimespecFromFileTime(ft);
    EXPECT_EQ(back.tv_sec, -1);
    EXPECT_EQ(back.tv_nsec, 500000000);
}

// A file's modification time as a file system can hold it, taken through
// stat and the find data, the broken-down time and local time: nothing
// overflows, far times show as the nearest a FILETIME can carry.
TEST_F(ZoneTest, ExtremeFileTimesSaturate) {
    Zone("Asia/Tokyo"); // a positive offset pushes the latest time further
    constexpr int64_t kLatest = INT64_MAX;
    const struct Row {
        const char* what;
        int64_t seconds;
        int64_t ticks; // what the find data carries
        WORD year;     // of the broken-down time
        bool onDisk;   // also set on a file (tmpfs keeps it)
    } rows[] = {
        {"2020", 1577836800, 132223104000000000LL, 2020, true},
        {"the last second that fits", 910692730085, 9223372036850000000LL, 30828, true},
        {"1e12 seconds", 1000000000000LL, kLatest, 30828, true},
        {"1e14 seconds", 100000000000000LL, kLatest, 30828, true},
        {"the latest time_t", INT64_MAX, kLatest, 30828, false},
        {"before 1601", -100000000000LL, 0, 1601, true},
        {"the earliest time_t", INT64_MIN, 0, 1601, false},
    };
    qtest::ShmFile file;
    WCHAR wide[4096];
    ASSERT_GE(PathFromPosix(file.path().c_str(), wide, 4096), 0);

    for (const Row& r : rows) {
        struct timespec ts[2] = {{static_cast<time_t>(r.seconds), 0},
                                 {static_cast<time_t>(r.seconds), 0}};
        FILETIME direct = FileTimeFromTimespec(ts[1]);
        EXPECT_EQ(Ticks(direct), r.ticks) << r.what;

        if (r.onDisk) {
            ASSERT_TRUE(file.SetTimes(r.seconds)) << r.what << ": the file system cut the time";
            WIN32_FIND_DATAW fd;
            HANDLE h = FindFirstFileW(wide, &fd);
            ASSERT_NE(h, INVALID_HANDLE_VALUE) << r.what;
            FindClose(h);
            EXPECT_EQ(Ticks(fd.ftLastWriteTime), r.ticks) << r.what << ": find data";
            WIN32_FILE_ATTRIBUTE_DATA ad;
            ASSERT_TRUE(GetFileAttributesExW(wide, GetFileExInfoStandard, &ad)) << r.what;
            EXPECT_EQ(Ticks(ad.ftLastWriteTime), r.ticks) << r.what << ": attribute data";
        }

        SYSTEMTIME st2;
        ASSERT_TRUE(FileTimeToSystemTime(&direct, &st2)) << r.what;
        EXPECT_EQ(st2.wYear, r.year) << r.what;
        FILETIME local, back;
        ASSERT_TRUE(FileTimeToLocalFileTime(&direct, &local)) << r.what;
        EXPECT_GE(Ticks(local), 0) << r.what;
        EXPECT_TRUE(FileTimeToSystemTime(&local, &st2)) << r.what << ": local time shows";
        ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back)) << r.what;
        EXPECT_GE(Ticks(back), 0) << r.what;
        struct timespec again = TimespecFromFileTime(direct);
        EXPECT_EQ(Ticks(FileTimeFromTimespec(again)), r.ticks) << r.what << ": round trip";
    }

    // Local time at both ends of the FILETIME range, and past them.
    const struct {
        int64_t ticks;
        int64_t localTicks;
    } shifts[] = {
        {kLatest, kLatest},
        {kLatest - 1, kLatest},
        {0, 9 * 3600 * 10000000LL},
        {INT64_MIN, INT64_MIN + 9 * 3600 * 10000000LL},
    };
    for (const auto& s : shifts) {
        FILETIME in = Ft(s.ticks), out;
        ASSERT_TRUE(FileTimeToLocalFileTime(&in, &out));
        EXPECT_EQ(Ticks(out), s.localTicks) << s.ticks;
    }
    FILETIME zero = Ft(0), out;
    ASSERT_TRUE(LocalFileTimeToFileTime(&zero, &out));
    EXPECT_EQ(Ticks(out), 0) << "no time before 1601 from a valid one";
}

TEST_F(ZoneTest, UtcZoneChangesNothing) {
    Zone("UTC");
    SYSTEMTIME utc = {1960, 6, 0, 15, 12, 30, 45, 7}, local, again;
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    EXPECT_EQ(local.wHour, 12);
    EXPECT_EQ(local.wMilliseconds, 7);
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &again));
    EXPECT_EQ(again.wYear, 1960);
    EXPECT_EQ(again.wHour, 12);
    FILETIME ft = Ft(116444736000000000LL), shifted;
    ASSERT_TRUE(FileTimeToLocalFileTime(&ft, &shifted));
    EXPECT_EQ(Ticks(shifted), Ticks(ft));
}

TEST_F(ZoneTest, DaylightSavingFollowsTheDateConverted) {
    Zone("Europe/Berlin");
    SYSTEMTIME winter = {2021, 1, 0, 15, 12, 0, 0, 0}, summer = {2021, 7, 0, 15, 12, 0, 0, 0};
    SYSTEMTIME local;
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &winter, &local));
    EXPECT_EQ(local.wHour, 13);
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &summer, &local));
    EXPECT_EQ(local.wHour, 14);
    SYSTEMTIME utc;
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
    EXPECT_EQ(utc.wHour, 12);
    EXPECT_EQ(utc.wDay, 15);
    // Before 1970 as well.
    SYSTEMTIME old = {1960, 1, 0, 1, 0, 30, 0, 0};
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &old, &local));
    EXPECT_EQ(local.wHour, 1);
    EXPECT_EQ(local.wYear, 1960);
}

TEST_F(ZoneTest, LocalFileTimeUsesTheOffsetOfNowForEveryDate) {
    Zone("Europe/Berlin");
    time_t now = ::time(nullptr);
    struct tm tm;
    ::localtime_r(&now, &tm);
    int64_t offset = tm.tm_gmtoff; // +3600 in winter, +7200 in summer
    FILETIME jan = Ft(132551424000000000LL); // 2021-01-15 00:00 UTC
    FILETIME local, back;
    ASSERT_TRUE(FileTimeToLocalFileTime(&jan, &local));
    EXPECT_EQ(Ticks(local) - Ticks(jan), offset * 10000000);
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
    EXPECT_EQ(Ticks(back), Ticks(jan));
}

} // namespace
