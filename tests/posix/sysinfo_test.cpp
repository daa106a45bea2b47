// System information: error message texts, the system version record, the
// machine and user names with their size rules, the monotonic clocks against
// clock_gettime, Sleep under signals, and UTC and local time under fixed zones.
#include "../support/fixture.h"
#include "errhandlingapi.h"
#include "sysinfoapi.h"
#include "winbase.h"
#include "winerror.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr DWORD kSentinel = 0xBEEF;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// ---- FormatMessageW ----------------------------------------------------------------

DWORD Format(DWORD code, WCHAR* buffer, DWORD size) {
    return FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                          code, 0, buffer, size, nullptr);
}

TEST(FormatMessageW, MessageTable) {
    struct Row {
        DWORD code;
        const WCHAR* text;
    } rows[] = {
        {2, u"The system cannot find the file specified."},
        {3, u"The system cannot find the path specified."},
        {5, u"Access is denied."},
        {8, u"Not enough memory is available."},
        {50, u"The request is not supported."},
        {53, u"The network path was not found."},
        {64, u"The connection was closed."},
        {65, u"Network access is denied."},
        {80, u"The file exists."},
        {112, u"There is not enough space on the disk."},
        {145, u"The directory is not empty."},
        {183, u"The file already exists."},
        {1223, u"The operation was canceled by the user."},
        {1231, u"The network location cannot be reached."},
        {1326, u"The user name or password is incorrect."},
        {9999, u"Error 9999."},
        {0, u"Error 0."},
        {122, u"Error 122."},
        {0xFFFFFFFFu, u"Error 4294967295."},
    };
    for (const Row& r : rows) {
        WCHAR buffer[256];
        SetLastError(kSentinel);
        DWORD n = Format(r.code, buffer, 256);
        EXPECT_EQ(std::u16string(buffer), r.text) << r.code;
        EXPECT_EQ(n, std::u16string(r.text).size()) << r.code;
        EXPECT_EQ(GetLastError(), kSentinel) << r.code;
    }
}

TEST(FormatMessageW, FlagsBufferAndCutting) {
    struct Row {
        const char* what;
        DWORD flags;
        bool buffer;
        DWORD size;
        DWORD result;
        DWORD error;
        const WCHAR* text; // null: buffer untouched
    } rows[] = {
        {"from system alone", FORMAT_MESSAGE_FROM_SYSTEM, true, 64, 17, kSentinel,
         u"Access is denied."},
        {"exact: length + 1", FORMAT_MESSAGE_FROM_SYSTEM, true, 18, 17, kSentinel,
         u"Access is denied."},
        {"one short: cut", FORMAT_MESSAGE_FROM_SYSTEM, true, 17, 16, kSentinel,
         u"Access is denied"},
        {"size 6", FORMAT_MESSAGE_FROM_SYSTEM, true, 6, 5, kSentinel, u"Acces"},
        {"size 1: terminator only", FORMAT_MESSAGE_FROM_SYSTEM, true, 1, 0, kSentinel, u""},
        {"size 0", FORMAT_MESSAGE_FROM_SYSTEM, true, 0, 0, ERROR_INVALID_PARAMETER, nullptr},
        {"no buffer", FORMAT_MESSAGE_FROM_SYSTEM, false, 64, 0, ERROR_INVALID_PARAMETER,
         nullptr},
        {"not from system", FORMAT_MESSAGE_IGNORE_INSERTS, true, 64, 0, ERROR_INVALID_PARAMETER,
         nullptr},
        {"allocate buffer", FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, true,
         64, 0, ERROR_INVALID_PARAMETER, nullptr},
    };
    for (const Row& r : rows) {
        WCHAR buffer[64];
        for (WCHAR& c : buffer) c = u'#';
        SetLastError(kSentinel);
        EXPECT_EQ(FormatMessageW(r.flags, nullptr, ERROR_ACCESS_DENIED, 0,
                                 r.buffer ? buffer : nullptr, r.size, nullptr),
                  r.result)
            << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
        if (r.text)
            EXPECT_EQ(std::u16string(buffer), r.text) << r.what;
        else
            EXPECT_EQ(buffer[0], u'#') << r.what;
    }
    WCHAR small[4];
    EXPECT_EQ(Format(9999, small, 4), 3u);
    EXPECT_EQ(std::u16string(small), u"Err");
}

// ---- GetVersionExW ---------------------------------------------------------------------

TEST(GetVersionExW, FillsTheRecordOfTheGivenSize) {
    // The extended record filled with a marker: the short size must write
    // nothing past its 276 bytes.
    for (DWORD size : {DWORD(sizeof(OSVERSIONINFOW)), DWORD(sizeof(OSVERSIONINFOEXW))}) {
        OSVERSIONINFOEXW info;
        std::memset(&info, 0xAB, sizeof info);
        info.dwOSVersionInfoSize = size;
        SetLastError(kSentinel);
        ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info))) << size;
        EXPECT_EQ(GetLastError(), kSentinel);
        EXPECT_EQ(info.dwOSVersionInfoSize, size);
        EXPECT_EQ(info.dwMajorVersion, 10u);
        EXPECT_EQ(info.dwMinorVersion, 0u);
        EXPECT_EQ(info.dwBuildNumber, 19041u);
        EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
        EXPECT_EQ(info.szCSDVersion[0], 0) << "empty service-pack text";
        if (size == sizeof(OSVERSIONINFOEXW)) {
            EXPECT_EQ(info.wServicePackMajor, 0);
            EXPECT_EQ(info.wServicePackMinor, 0);
            EXPECT_EQ(info.wSuiteMask, 0);
            EXPECT_EQ(info.wProductType, VER_NT_WORKSTATION);
        } else {
            const unsigned char* tail = reinterpret_cast<const unsigned char*>(&info) + 276;
            for (int i = 0; i < 8; i++) EXPECT_EQ(tail[i], 0xAB) << "byte " << 276 + i;
        }
    }
}

TEST(GetVersionExW, OtherSizesFailWith122) {
    for (DWORD size : {0u, 148u, 275u, 277u, 283u, 285u, 0xFFFFFFFFu}) {
        OSVERSIONINFOEXW info = {};
        info.dwOSVersionInfoSize = size;
        SetLastError(kSentinel);
        EXPECT_FALSE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info))) << size;
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER) << size;
        EXPECT_EQ(info.dwMajorVersion, 0u) << size;
    }
    SetLastError(kSentinel);
    EXPECT_FALSE(GetVersionExW(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

// ---- names -------------------------------------------------------------------------

// One size case of the name functions.
struct NameRow {
    const char* what;
    bool buffer;
    DWORD size;    // in
    BOOL ok;
    DWORD error;
    DWORD sizeOut; // *size after the call
};

// Runs the rows against a name function (a buffer of 256 units filled with
// '#', so that a failing call is seen to leave it alone), then checks that a
// null size is refused with error 87.
template <size_t N>
void ExpectNameRows(BOOL (*name)(LPWSTR, LPDWORD), const NameRow (&rows)[N],
                    const std::u16string& expected) {
    for (const NameRow& r : rows) {
        WCHAR buffer[256];
        for (WCHAR& c : buffer) c = u'#';
        DWORD size = r.size;
        SetLastError(kSentinel);
        EXPECT_EQ(name(r.buffer ? buffer : nullptr, &size), r.ok) << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
        EXPECT_EQ(size, r.sizeOut) << r.what;
        if (r.ok)
            EXPECT_EQ(std::u16string(buffer), expected) << r.what;
        else
            EXPECT_EQ(buffer[0], u'#') << r.what;
    }
    WCHAR buffer[8];
    SetLastError(kSentinel);
    EXPECT_FALSE(name(buffer, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(GetComputerNameW, HostNameAndSizes) {
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    const std::u16string expected = Wide(host);
    const DWORD len = static_cast<DWORD>(expected.size());
    ASSERT_GT(len, 0u);
    const NameRow rows[] = {
        {"no buffer", false, 100, FALSE, ERROR_BUFFER_OVERFLOW, len + 1},
        {"size 0", true, 0, FALSE, ERROR_BUFFER_OVERFLOW, len + 1},
        {"no room for the terminator", true, len, FALSE, ERROR_BUFFER_OVERFLOW, len + 1},
        {"exact: stores the length without the terminator", true, len + 1, TRUE, kSentinel, len},
        {"large", true, 256, TRUE, kSentinel, len},
    };
    ExpectNameRows(GetComputerNameW, rows, expected);
}

TEST(GetUserNameW, PasswordNameAndSizes) {
    struct passwd* pw = ::getpwuid(::getuid());
    if (!pw) GTEST_SKIP() << "the real user id has no password entry here";
    // USER must not win over the password database.
    qtest::ScopedEnv user("USER", "somebody-else");
    const std::u16string expected = Wide(pw->pw_name);
    const DWORD len = static_cast<DWORD>(expected.size());
    const NameRow rows[] = {
        {"no buffer", false, 100, FALSE, ERROR_INSUFFICIENT_BUFFER, len + 1},
        {"size 0", true, 0, FALSE, ERROR_INSUFFICIENT_BUFFER, len + 1},
        {"no room for the terminator", true, len, FALSE, ERROR_INSUFFICIENT_BUFFER, len + 1},
        {"exact: stores the length with the terminator", true, len + 1, TRUE, kSentinel, len + 1},
        {"large", true, 256, TRUE, kSentinel, len + 1},
    };
    ExpectNameRows(GetUserNameW, rows, expected);
}

TEST(GetUserNameW, WithoutPasswordEntryUsesUserOrKnowsNone) {
    // A user id that the password database does not know needs root to take.
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to a user id without an entry";
    constexpr uid_t kStranger = 54321;
    ASSERT_EQ(::getpwuid(kStranger), nullptr) << "pick another unused user id";
    struct Row {
        const char* what;
        const char* user; // USER; null: unset
        BOOL ok;
        DWORD error;
        DWORD sizeOut;
        const WCHAR* name;
    } rows[] = {
        {"USER answers", "guest\xC3\xA9", TRUE, kSentinel, 7, u"guest\u00E9"},
        {"no USER: FALSE, last error cleared, size kept", nullptr, FALSE, ERROR_SUCCESS, 64,
         nullptr},
        {"an empty USER is no name", "", FALSE, ERROR_SUCCESS, 64, nullptr},
    };
    for (const Row& r : rows) {
        int result = -1;
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (::setresuid(kStranger, kStranger, kStranger) != 0) ::_exit(100);
            if (r.user)
                ::setenv("USER", r.user, 1);
            else
                ::unsetenv("USER");
            WCHAR buffer[64] = {};
            DWORD size = 64;
            // 122 beforehand: a caller must not read it as "buffer too small".
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            BOOL ok = GetUserNameW(buffer, &size);
            DWORD error = GetLastError();
            if (ok != r.ok) ::_exit(1);
            if (!ok && error != r.error) ::_exit(2);
            if (size != r.sizeOut) ::_exit(3);
            if (r.name && std::u16string(buffer) != r.name) ::_exit(4);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        result = WEXITSTATUS(status);
        EXPECT_EQ(result, 0) << r.what << " (1 result, 2 error, 3 size, 4 name, 100 setresuid)";
    }
}

// ---- clocks ----------------------------------------------------------------------

int64_t ClockNs(clockid_t clock) {
    struct timespec ts;
    ::clock_gettime(clock, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

TEST(Clocks, AgreeWithTheMonotonicClock) {
    LARGE_INTEGER frequency;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 1000000000LL);
    for (int i = 0; i < 1000; i++) {
        int64_t before = ClockNs(CLOCK_MONOTONIC);
        LARGE_INTEGER counter;
        ASSERT_TRUE(QueryPerformanceCounter(&counter));
        DWORD tick = GetTickCount();
        int64_t after = ClockNs(CLOCK_MONOTONIC);
        ASSERT_LE(before, counter.QuadPart);
        ASSERT_LE(counter.QuadPart, after);
        // Milliseconds truncated to 32 bits: compare as a difference, which
        // survives the wrap.
        DWORD low = static_cast<DWORD>(before / 1000000);
        DWORD span = static_cast<DWORD>(after / 1000000 - before / 1000000);
        ASSERT_LE(static_cast<DWORD>(tick - low), span) << "tick " << tick << " from " << low;
    }
    SetLastError(kSentinel);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(kSentinel);
    EXPECT_FALSE(QueryPerformanceFrequency(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Clocks, NeverGoBack) {
    LARGE_INTEGER last;
    ASSERT_TRUE(QueryPerformanceCounter(&last));
    DWORD lastTick = GetTickCount();
    for (int i = 0; i < 200000; i++) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        ASSERT_GE(now.QuadPart, last.QuadPart);
        last = now;
        DWORD tick = GetTickCount();
        ASSERT_LT(static_cast<DWORD>(tick - lastTick), 0x80000000u) << "went back";
        lastTick = tick;
    }
}

// ---- Sleep -------------------------------------------------------------------------

int64_t ElapsedMs(int64_t startNs) { return (ClockNs(CLOCK_MONOTONIC) - startNs) / 1000000; }

TEST(Sleep, SleepsTheWholeTime) {
    for (DWORD ms : {0u, 1u, 30u, 250u, 1100u}) {
        int64_t start = ClockNs(CLOCK_MONOTONIC);
        Sleep(ms);
        int64_t elapsed = ElapsedMs(start);
        EXPECT_GE(elapsed, static_cast<int64_t>(ms)) << ms;
        // Generous: only catches a sleep gone wildly long.
        EXPECT_LT(elapsed, static_cast<int64_t>(ms) + 10000) << ms;
    }
}

std::atomic<int> gSignals{0};
void CountSignal(int) { gSignals++; }

TEST(Sleep, SignalsDoNotCutItShort) {
    // A handler without SA_RESTART: every signal interrupts the sleep.
    struct sigaction action = {};
    struct sigaction old = {};
    action.sa_handler = CountSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &old), 0);
    gSignals = 0;
    constexpr int kSignals = 5;
    constexpr DWORD kSleepMs = 400;
    pthread_t sleeper = ::pthread_self();
    std::atomic<bool> started{false};
    std::thread signaller([&] {
        while (!started) std::this_thread::yield();
        for (int i = 0; i < kSignals; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            ::pthread_kill(sleeper, SIGUSR1);
        }
    });
    int64_t start = ClockNs(CLOCK_MONOTONIC);
    started = true;
    Sleep(kSleepMs);
    int64_t elapsed = ElapsedMs(start);
    signaller.join();
    ::sigaction(SIGUSR1, &old, nullptr);
    EXPECT_EQ(gSignals.load(), kSignals) << "the signals arrived during the sleep";
    EXPECT_GE(elapsed, static_cast<int64_t>(kSleepMs));
}

// ---- UTC and local time ----------------------------------------------------------------

// Milliseconds since 1970 of a SYSTEMTIME read as UTC fields; checks that its
// day of week agrees with its date.
int64_t FieldsToMs(const SYSTEMTIME& st) {
    struct tm tm = {};
    tm.tm_year = st.wYear - 1900;
    tm.tm_mon = st.wMonth - 1;
    tm.tm_mday = st.wDay;
    tm.tm_hour = st.wHour;
    tm.tm_min = st.wMinute;
    tm.tm_sec = st.wSecond;
    time_t t = ::timegm(&tm);
    EXPECT_EQ(tm.tm_wday, st.wDayOfWeek) << "day of week";
    EXPECT_EQ(tm.tm_mday, st.wDay) << "fields in range";
    EXPECT_LT(st.wMilliseconds, 1000);
    return static_cast<int64_t>(t) * 1000 + st.wMilliseconds;
}

class LocalTimeTest : public ::testing::Test {
  protected:
    void Zone(const char* tz) {
        env_.reset(); // restore the first, so that the next one restores the original
        env_ = std::make_unique<qtest::ScopedEnv>("TZ", tz);
        ::tzset();
    }
    void TearDown() override {
        env_.reset();
        ::tzset();
    }
    std::unique_ptr<qtest::ScopedEnv> env_;
};

TEST_F(LocalTimeTest, SystemAndLocalTimeFollowTheRealtimeClockAndZone) {
    struct Row {
        const char* tz;
        int64_t offsetSeconds; // east of UTC; -1: ask localtime_r (a zone with summer time)
    } rows[] = {
        {"UTC0", 0},
        {"IST-5:30", 19800},
        {"XST+9:45", -35100},
        {"CET-1CEST,M3.5.0,M10.5.0/3", -1},
    };
    for (const Row& r : rows) {
        Zone(r.tz);
        int64_t before = ClockNs(CLOCK_REALTIME) / 1000000;
        SYSTEMTIME utc, local;
        GetSystemTime(&utc);
        GetLocalTime(&local);
        int64_t after = ClockNs(CLOCK_REALTIME) / 1000000;
        int64_t offset = r.offsetSeconds;
        if (offset == -1) {
            time_t now = static_cast<time_t>(before / 1000);
            struct tm tm;
            ASSERT_NE(::localtime_r(&now, &tm), nullptr);
            offset = tm.tm_gmtoff;
            EXPECT_TRUE(offset == 3600 || offset == 7200) << offset;
        }
        int64_t utcMs = FieldsToMs(utc);
        int64_t localMs = FieldsToMs(local) - offset * 1000;
        EXPECT_LE(before, utcMs) << r.tz;
        EXPECT_LE(utcMs, localMs) << r.tz << ": local taken after UTC";
        EXPECT_LE(localMs, after) << r.tz;
    }
    // A null record is ignored, not written through.
    GetSystemTime(nullptr);
    GetLocalTime(nullptr);
}

} // namespace
