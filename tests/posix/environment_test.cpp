// Environment variables as UTF-16 (the value cache, its pointer lifetime and
// thread safety, names and buffer sizes), and the current and temporary
// directories as Windows paths under a fixture drive map.
#include "drive_fixture.h"
#include "errhandlingapi.h"
#include "processenv.h"
#include "qposix_path.h"
#include "winerror.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xBEEF;

std::u16string OrNull(const WCHAR* s) { return s ? std::u16string(s) : u"(null)"; }

// Runs body in a forked child and returns its exit code (-1 when it died),
// for checks that would leave the process-wide cache full.
int InChild(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// ---- EnvGetW -------------------------------------------------------------------

TEST(EnvGetW, ValuesNamesAndEncodings) {
    const std::string name255(255, 'N');
    const std::string name256(256, 'M');
    qtest::ScopedEnv set[] = {
        {"QT_ENV_PLAIN", "abc"},
        {"QT_ENV_EMPTY", ""},
        {"QT_ENV_UTF8", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"QT_ENV_BAD", "a\xFFz\xC3"},
        {"QT_ENV_EQ", "B=x"},
        {"QT_ENV_UNSET", nullptr},
        {name255.c_str(), "long name"},
        {name256.c_str(), "too long name"},
    };
    const std::u16string wide255(name255.begin(), name255.end());
    const std::u16string wide256(name256.begin(), name256.end());
    struct Row {
        const char* what;
        const WCHAR* name;
        const WCHAR* value; // null: none
    } rows[] = {
        {"plain value", u"QT_ENV_PLAIN", u"abc"},
        {"an empty value is a value", u"QT_ENV_EMPTY", u""},
        {"UTF-8 decoded, supplementary as a pair", u"QT_ENV_UTF8", u"\u00E9t\u00E9 \u20AC \xD83D\xDE00"},
        {"invalid bytes keep their bytes as escapes", u"QT_ENV_BAD", u"a\xDCFFz\xDCC3"},
        {"unset gives none", u"QT_ENV_UNSET", nullptr},
        {"a name with '=' names no variable (getenv would find QT_ENV_EQ's tail)",
         u"QT_ENV_EQ=B", nullptr},
        {"a name of 255 bytes is taken", wide255.c_str(), u"long name"},
        {"a name of 256 bytes is refused", wide256.c_str(), nullptr},
        {"empty name", u"", nullptr},
        {"null name", nullptr, nullptr},
    };
    for (const Row& r : rows) {
        SetLastError(kSentinel);
        EXPECT_EQ(OrNull(EnvGetW(r.name)), OrNull(r.value)) << r.what;
        EXPECT_EQ(GetLastError(), kSentinel) << r.what;
    }
}

TEST(EnvGetW, PointerStaysValidUntilTheValueChangesAndIsAskedAgain) {
    qtest::ScopedEnv env("QT_ENV_LIFE", "first");
    const WCHAR* first = EnvGetW(u"QT_ENV_LIFE");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(EnvGetW(u"QT_ENV_LIFE"), first) << "an unchanged value keeps its string";

    ::setenv("QT_ENV_LIFE", "second", 1);
    // Not asked again yet: the string handed out is still the old value and
    // still readable (AddressSanitizer would stop a read of freed memory).
    EXPECT_EQ(std::u16string(first), u"first");
    const WCHAR* second = EnvGetW(u"QT_ENV_LIFE");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(std::u16string(second), u"second");
    EXPECT_EQ(EnvGetW(u"QT_ENV_LIFE"), second);

    // Unset, and set again to the same value: the cached string answers.
    ::unsetenv("QT_ENV_LIFE");
    EXPECT_EQ(EnvGetW(u"QT_ENV_LIFE"), nullptr);
    ::setenv("QT_ENV_LIFE", "second", 1);
    EXPECT_EQ(EnvGetW(u"QT_ENV_LIFE"), second);
}

TEST(EnvGetW, InvalidUtf8ValueSurvivesGetAndSet) {
    const char bytes[] = "/home/\xE9t\xE9/\xFF\xFE";
    qtest::ScopedEnv from("QT_ENV_RAW", bytes);
    qtest::ScopedEnv to("QT_ENV_COPY", nullptr);
    const WCHAR* value = EnvGetW(u"QT_ENV_RAW");
    ASSERT_NE(value, nullptr);
    ASSERT_TRUE(SetEnvironmentVariableW(u"QT_ENV_COPY", value));
    ASSERT_NE(::getenv("QT_ENV_COPY"), nullptr);
    EXPECT_STREQ(::getenv("QT_ENV_COPY"), bytes);
    // As a path it names the same directory.
    EXPECT_STREQ(PathToPosix(value), bytes);
}

TEST(EnvGetW, FullCacheAnswersNoneForNewNamesOnly) {
    static_assert(QPOSIX_ENV_CACHE_ENTRIES == 64);
    // In a child: a full cache would refuse the names of later tests.
    int failures = InChild([] {
        int bad = 0;
        std::vector<std::u16string> names;
        std::vector<const WCHAR*> seen;
        for (int i = 0; i < QPOSIX_ENV_CACHE_ENTRIES + 8; i++) {
            std::string name = "QT_FILL_" + std::to_string(i);
            ::setenv(name.c_str(), ("v" + std::to_string(i)).c_str(), 1);
            names.emplace_back(name.begin(), name.end());
        }
        size_t answered = 0;
        for (const std::u16string& n : names) {
            const WCHAR* v = EnvGetW(n.c_str());
            seen.push_back(v);
            if (v) {
                if (answered != seen.size() - 1) bad |= 1; // an answer after a refusal
                answered++;
            }
        }
        // Earlier tests in this process may hold entries; at most 64 names.
        if (answered == 0 || answered > static_cast<size_t>(QPOSIX_ENV_CACHE_ENTRIES)) bad |= 2;
        if (answered == names.size()) bad |= 4; // the 65th name was taken
        for (size_t i = 0; i < answered; i++)
            if (EnvGetW(names[i].c_str()) != seen[i]) bad |= 8; // a cached name lost its entry
        // GetEnvironmentVariableW does not depend on the cache.
        WCHAR buffer[16];
        if (GetEnvironmentVariableW(names.back().c_str(), buffer, 16) != 3 ||
            std::u16string(buffer) != u"v71")
            bad |= 16;
        return bad;
    });
    EXPECT_EQ(failures, 0) << "bit 1 answer after refusal, 2 count, 4 no limit, "
                              "8 lost entry, 16 GetEnvironmentVariableW refused";
}

// ---- GetEnvironmentVariableW and SetEnvironmentVariableW ------------------------------

TEST(GetEnvironmentVariableW, BufferSizes) {
    qtest::ScopedEnv env("QT_ENV_SIZE", "value");
    struct Row {
        const char* what;
        bool buffer;
        DWORD size;
        DWORD result;
        bool copied;
    } rows[] = {
        {"no buffer", false, 0, 6, false},
        {"no buffer with a size", false, 100, 6, false},
        {"size 0", true, 0, 6, false},
        {"one unit short of the terminator", true, 5, 6, false},
        {"exact: length + 1", true, 6, 5, true},
        {"large", true, 100, 5, true},
    };
    for (const Row& r : rows) {
        WCHAR buffer[100];
        for (WCHAR& c : buffer) c = u'#';
        SetLastError(kSentinel);
        EXPECT_EQ(GetEnvironmentVariableW(u"QT_ENV_SIZE", r.buffer ? buffer : nullptr, r.size),
                  r.result)
            << r.what;
        EXPECT_EQ(GetLastError(), kSentinel) << r.what;
        if (r.copied)
            EXPECT_EQ(std::u16string(buffer), u"value") << r.what;
        else
            EXPECT_EQ(buffer[0], u'#') << r.what << ": nothing written";
    }
}

TEST(GetEnvironmentVariableW, UnsetEmptyAndSupplementary) {
    qtest::ScopedEnv unset("QT_ENV_NONE", nullptr);
    qtest::ScopedEnv empty("QT_ENV_EMPTY2", "");
    qtest::ScopedEnv pair("QT_ENV_PAIR", "\xF0\x9F\x98\x80");
    WCHAR buffer[8];
    struct Row {
        const char* what;
        const WCHAR* name;
        DWORD result;
        DWORD error;
    } rows[] = {
        {"unset fails with 203", u"QT_ENV_NONE", 0, ERROR_ENVVAR_NOT_FOUND},
        {"empty value returns 0 and clears the last error", u"QT_ENV_EMPTY2", 0, ERROR_SUCCESS},
        {"a name with '=' is no variable", u"QT_ENV_PAIR=x", 0, ERROR_ENVVAR_NOT_FOUND},
        {"null name", nullptr, 0, ERROR_ENVVAR_NOT_FOUND},
        {"a supplementary character counts two units", u"QT_ENV_PAIR", 2, kSentinel},
    };
    for (const Row& r : rows) {
        SetLastError(kSentinel);
        EXPECT_EQ(GetEnvironmentVariableW(r.name, buffer, 8), r.result) << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
    }
    EXPECT_EQ(std::u16string(buffer), u"\xD83D\xDE00");
    SetLastError(kSentinel);
    EXPECT_EQ(GetEnvironmentVariableW(u"QT_ENV_NONE", nullptr, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
}

TEST(SetEnvironmentVariableW, ChangedHomeIsReadBack) {
    qtest::ScopedEnv home("HOME", "/home/before");
    WCHAR buffer[64];
    ASSERT_EQ(GetEnvironmentVariableW(u"HOME", buffer, 64), 12u);
    const WCHAR* cached = EnvGetW(u"HOME");
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(std::u16string(cached), u"/home/before");

    ASSERT_TRUE(SetEnvironmentVariableW(u"HOME", u"/home/\u00E9t\u00E9"));
    EXPECT_STREQ(::getenv("HOME"), "/home/\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(GetEnvironmentVariableW(u"HOME", buffer, 64), 9u);
    EXPECT_EQ(std::u16string(buffer), u"/home/\u00E9t\u00E9");
    EXPECT_EQ(std::u16string(EnvGetW(u"HOME")), u"/home/\u00E9t\u00E9");

    ASSERT_TRUE(SetEnvironmentVariableW(u"HOME", nullptr));
    EXPECT_EQ(::getenv("HOME"), nullptr);
    SetLastError(kSentinel);
    EXPECT_EQ(GetEnvironmentVariableW(u"HOME", buffer, 64), 0u);
    EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(EnvGetW(u"HOME"), nullptr);
}

TEST(SetEnvironmentVariableW, NamesAndValues) {
    const std::string name255(255, 'S');
    const std::u16string wide255(name255.begin(), name255.end());
    const std::u16string wide256(256, u'T');
    qtest::ScopedEnv restore[] = {
        {"QT_SET_A", nullptr},
        {"QT_SET_B", nullptr},
        {name255.c_str(), nullptr},
        {"QT_SET_GONE", "here"},
    };
    struct Row {
        const char* what;
        const WCHAR* name;
        const WCHAR* value;
        BOOL ok;
        DWORD error;
        const char* check; // the variable getenv then sees
        const char* bytes; // its value; null: unset
    } rows[] = {
        {"plain", u"QT_SET_A", u"1", TRUE, kSentinel, "QT_SET_A", "1"},
        {"overwrites", u"QT_SET_A", u"2", TRUE, kSentinel, "QT_SET_A", "2"},
        {"empty value is set, not unset", u"QT_SET_B", u"", TRUE, kSentinel, "QT_SET_B", ""},
        {"escaped bytes go back as bytes", u"QT_SET_B", u"x\xDCFF\u00E9", TRUE, kSentinel,
         "QT_SET_B", "x\xFF\xC3\xA9"},
        {"null value unsets", u"QT_SET_GONE", nullptr, TRUE, kSentinel, "QT_SET_GONE", nullptr},
        {"255-byte name", wide255.c_str(), u"v", TRUE, kSentinel, name255.c_str(), "v"},
        {"256-byte name", wide256.c_str(), u"v", FALSE, ERROR_INVALID_PARAMETER, "QT_SET_A",
         "2"},
        {"name with '='", u"QT_SET_A=B", u"v", FALSE, ERROR_INVALID_PARAMETER, "QT_SET_A", "2"},
        {"empty name", u"", u"v", FALSE, ERROR_INVALID_PARAMETER, "QT_SET_A", "2"},
        {"null name", nullptr, u"v", FALSE, ERROR_INVALID_PARAMETER, "QT_SET_A", "2"},
    };
    for (const Row& r : rows) {
        SetLastError(kSentinel);
        EXPECT_EQ(SetEnvironmentVariableW(r.name, r.value), r.ok) << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
        const char* now = ::getenv(r.check);
        if (r.bytes) {
            ASSERT_NE(now, nullptr) << r.what;
            EXPECT_STREQ(now, r.bytes) << r.what;
        } else {
            EXPECT_EQ(now, nullptr) << r.what;
        }
    }
    EXPECT_EQ(::getenv("QT_SET_A=B"), nullptr);
}

// ---- current directory ------------------------------------------------------------

// A drive map with C at "/", HOME in the test's directory, and the current
// directory put back after the test.
class DirectoryTest : public DriveMapTest {
  protected:
    void SetUp() override {
        saved = ::open(".", O_RDONLY | O_DIRECTORY);
        ASSERT_GE(saved, 0);
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        char* real = ::realpath(dir.path().c_str(), nullptr);
        ASSERT_NE(real, nullptr);
        root = real;
        std::free(real);
    }
    void TearDown() override {
        EXPECT_EQ(::fchdir(saved), 0);
        ::close(saved);
        DriveMapTest::TearDown();
    }
    // "C:" + the path with backslashes.
    static std::u16string C(const std::string& posix) {
        std::u16string out = u"C:";
        for (char c : posix) out += c == '/' ? u'\\' : static_cast<WCHAR>(c);
        return out;
    }
    int saved = -1;
    std::string root; // the test directory without symbolic links
};

TEST_F(DirectoryTest, SetAndGetCurrentDirectory) {
    dir.MakeDir("sub/deeper");
    ASSERT_TRUE(SetCurrentDirectoryW(C(root).c_str()));
    ASSERT_TRUE(SetCurrentDirectoryW(u"sub")) << "relative to the current directory";
    ASSERT_TRUE(SetCurrentDirectoryW(u"deeper\\..\\deeper"));
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), root + "/sub/deeper");

    const std::u16string expected = C(root + "/sub/deeper");
    const DWORD len = static_cast<DWORD>(expected.size());
    struct Row {
        const char* what;
        bool buffer;
        DWORD size;
        DWORD result;
        bool copied;
    } rows[] = {
        {"no buffer", false, 0, len + 1, false},
        {"size 0", true, 0, len + 1, false},
        {"no room for the terminator", true, len, len + 1, false},
        {"exact", true, len + 1, len, true},
        {"large", true, 4096, len, true},
    };
    for (const Row& r : rows) {
        std::vector<WCHAR> wide(4096, u'#');
        std::vector<char> narrow(4096, '#');
        SetLastError(kSentinel);
        EXPECT_EQ(GetCurrentDirectoryW(r.size, r.buffer ? wide.data() : nullptr), r.result)
            << r.what;
        EXPECT_EQ(GetCurrentDirectoryA(r.size, r.buffer ? narrow.data() : nullptr), r.result)
            << r.what;
        EXPECT_EQ(GetLastError(), kSentinel) << r.what;
        if (r.copied) {
            EXPECT_EQ(std::u16string(wide.data()), expected) << r.what;
            EXPECT_EQ(std::string(narrow.data()), Narrow(expected.c_str())) << r.what;
        } else {
            EXPECT_EQ(wide[0], u'#') << r.what;
            EXPECT_EQ(narrow[0], '#') << r.what;
        }
    }
}

TEST_F(DirectoryTest, NarrowFormKeepsLatin1AndMarksTheRest) {
    // U+00E9 fits one byte; U+20AC and an escaped invalid byte do not.
    dir.MakeDir("\xC3\xA9-\xE2\x82\xAC-\xFF");
    ASSERT_EQ(::chdir(dir.Sub("\xC3\xA9-\xE2\x82\xAC-\xFF").c_str()), 0);
    WCHAR wide[4096];
    DWORD n = GetCurrentDirectoryW(4096, wide);
    ASSERT_GT(n, 5u);
    EXPECT_EQ(std::u16string(wide + n - 5), u"\u00E9-\u20AC-\xDCFF");
    char narrow[4096];
    ASSERT_EQ(GetCurrentDirectoryA(4096, narrow), n);
    EXPECT_EQ(std::string(narrow + n - 5), "\xE9-?-?");
}

TEST_F(DirectoryTest, NarrowFormRefusesPathsOver4095Units) {
    // The Windows form is the POSIX path plus "C:"; build POSIX paths of
    // 4093 and 4094 bytes (getcwd still reads them), 4095 and 4096 units.
    struct Row {
        size_t posixLength;
        DWORD narrowResult;
        DWORD error;
    } rows[] = {
        {4093, 4095, kSentinel},
        {4094, 0, ERROR_FILENAME_EXCED_RANGE},
    };
    for (const Row& r : rows) {
        ASSERT_EQ(::chdir(root.c_str()), 0);
        std::string rel = "r" + std::to_string(r.posixLength);
        ASSERT_EQ(::mkdir(rel.c_str(), 0755), 0);
        ASSERT_EQ(::chdir(rel.c_str()), 0);
        size_t have = root.size() + 1 + rel.size();
        while (have < r.posixLength) {
            size_t part = std::min<size_t>(200, r.posixLength - have - 1);
            if (r.posixLength - have - 1 - part == 1) part--; // leave no 1-byte gap
            std::string name(part, 'd');
            ASSERT_EQ(::mkdir(name.c_str(), 0755), 0);
            ASSERT_EQ(::chdir(name.c_str()), 0);
            have += 1 + part;
        }
        ASSERT_EQ(have, r.posixLength);
        std::vector<WCHAR> wide(8192);
        EXPECT_EQ(GetCurrentDirectoryW(8192, wide.data()), r.posixLength + 2) << r.posixLength;
        std::vector<char> narrow(8192);
        SetLastError(kSentinel);
        EXPECT_EQ(GetCurrentDirectoryA(8192, narrow.data()), r.narrowResult) << r.posixLength;
        EXPECT_EQ(GetLastError(), r.error) << r.posixLength;
    }
}

TEST_F(DirectoryTest, FailuresUseTheErrnoTableUnrefined) {
    dir.Write("file", "x");
    ASSERT_EQ(::chdir(root.c_str()), 0);
    struct Row {
        const char* what;
        std::u16string path;
        DWORD error;
    } rows[] = {
        {"missing directory", C(root + "/missing"), ERROR_FILE_NOT_FOUND},
        {"missing parent is still 2, not refined to 3", C(root + "/nodir/missing"),
         ERROR_FILE_NOT_FOUND},
        {"a file", C(root + "/file"), ERROR_PATH_NOT_FOUND},
        {"empty path names nothing", u"", ERROR_FILE_NOT_FOUND},
        {"unmapped drive letter", u"Q:\\x", ERROR_PATH_NOT_FOUND},
    };
    for (const Row& r : rows) {
        SetLastError(kSentinel);
        EXPECT_FALSE(SetCurrentDirectoryW(r.path.c_str())) << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        EXPECT_EQ(std::string(cwd), root) << r.what << ": the directory stays";
    }
    SetLastError(kSentinel);
    EXPECT_FALSE(SetCurrentDirectoryW(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(DirectoryTest, PermissionDeniedIs5) {
    dir.OpenToAll();
    std::string locked = dir.MakeDir("locked");
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    std::u16string path = C(root + "/locked");
    int result = qtest::RunUnprivileged([&] {
        SetLastError(kSentinel);
        if (SetCurrentDirectoryW(path.c_str())) return 1;
        return GetLastError() == ERROR_ACCESS_DENIED ? 0 : 2;
    });
    EXPECT_EQ(result, 0) << "1: entered a directory without permission, 2: wrong error";
}

TEST_F(DirectoryTest, RemovedCurrentDirectoryFailsWith2) {
    std::string gone = dir.MakeDir("gone");
    ASSERT_EQ(::chdir(gone.c_str()), 0);
    ASSERT_EQ(::rmdir(gone.c_str()), 0);
    WCHAR wide[4096];
    char narrow[4096];
    SetLastError(kSentinel);
    EXPECT_EQ(GetCurrentDirectoryW(4096, wide), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    SetLastError(kSentinel);
    EXPECT_EQ(GetCurrentDirectoryA(4096, narrow), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// ---- temporary directory -----------------------------------------------------------

TEST_F(DirectoryTest, TempPathFromTmpdir) {
    struct Row {
        const char* what;
        const char* tmpdir; // null: unset
        const WCHAR* expected;
    } rows[] = {
        {"unset gives /tmp on C:", nullptr, u"C:\\tmp\\"},
        {"empty counts as unset", "", u"C:\\tmp\\"},
        {"set", "/var/tmp", u"C:\\var\\tmp\\"},
        {"a trailing slash is not doubled", "/var/tmp/", u"C:\\var\\tmp\\"},
        {"the root", "/", u"C:\\"},
        {"invalid bytes escaped, so the path maps back", "/tmp/\xFF", u"C:\\tmp\\\xDCFF\\"},
    };
    for (const Row& r : rows) {
        qtest::ScopedEnv env("TMPDIR", r.tmpdir);
        WCHAR buffer[64];
        DWORD n = GetTempPathW(64, buffer);
        EXPECT_EQ(std::u16string(buffer, n), r.expected) << r.what;
        EXPECT_EQ(n, std::u16string(r.expected).size()) << r.what;
    }
    qtest::ScopedEnv env("TMPDIR", "/tmp/\xFF");
    WCHAR buffer[64];
    ASSERT_GT(GetTempPathW(64, buffer), 0u);
    EXPECT_STREQ(PathToPosix(buffer), "/tmp/\xFF/");
}

TEST_F(DirectoryTest, TempPathBufferSizesAndTooLong) {
    qtest::ScopedEnv env("TMPDIR", "/var/tmp");
    const DWORD len = 11; // C:\var\tmp\ .
    struct Row {
        const char* what;
        bool buffer;
        DWORD size;
        DWORD result;
        bool copied;
    } rows[] = {
        {"no buffer", false, 0, len + 1, false},
        {"size 0", true, 0, len + 1, false},
        {"no room for the terminator", true, len, len + 1, false},
        {"room without the added backslash only", true, len - 1, len + 1, false},
        {"exact", true, len + 1, len, true},
    };
    for (const Row& r : rows) {
        WCHAR buffer[32];
        for (WCHAR& c : buffer) c = u'#';
        EXPECT_EQ(GetTempPathW(r.size, r.buffer ? buffer : nullptr), r.result) << r.what;
        if (r.copied)
            EXPECT_EQ(std::u16string(buffer), u"C:\\var\\tmp\\") << r.what;
        else
            EXPECT_EQ(buffer[0], u'#') << r.what;
    }
    // One that no file function could map back.
    std::string huge = "/" + std::string(5000, 'x');
    qtest::ScopedEnv longEnv("TMPDIR", huge.c_str());
    WCHAR buffer[16];
    SetLastError(kSentinel);
    EXPECT_EQ(GetTempPathW(16, buffer), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(DirectoryTest, PathsUnderNoLetterKeepTheirRootRelativeForm) {
    SetMounts({{"/", "ext4", "/dev/vda1"}, {"/data", "xfs", "/dev/vdb1"}});
    WriteDrivesFile("d: /data\n");
    qtest::ScopedEnv env("TMPDIR", "/var/tmp");
    WCHAR buffer[4096];
    ASSERT_EQ(GetTempPathW(4096, buffer), 9u);
    EXPECT_EQ(std::u16string(buffer), u"\\var\\tmp\\");
    EXPECT_STREQ(PathToPosix(buffer), "/var/tmp/");

    ASSERT_EQ(::chdir(root.c_str()), 0);
    DWORD n = GetCurrentDirectoryW(4096, buffer);
    ASSERT_GT(n, 0u);
    std::u16string expected;
    for (char c : root) expected += c == '/' ? u'\\' : static_cast<WCHAR>(c);
    EXPECT_EQ(std::u16string(buffer), expected);
    ASSERT_EQ(::chdir("/"), 0);
    ASSERT_TRUE(SetCurrentDirectoryW(buffer)) << "the root-relative form maps back";
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), root);
}

// ---- the cache under threads ----------------------------------------------------------

TEST(EnvCacheConcurrency, ThreadsShareOneStringPerValue) {
    constexpr int kNames = 16;
    constexpr int kThreads = 8;
    constexpr int kRounds = 400;
    std::vector<std::unique_ptr<qtest::ScopedEnv>> env;
    std::vector<std::u16string> names;
    for (int i = 0; i < kNames; i++) {
        std::string name = "QT_CONC_" + std::to_string(i);
        env.push_back(std::make_unique<qtest::ScopedEnv>(name.c_str(), nullptr));
        names.emplace_back(name.begin(), name.end());
    }
    // Two phases: the second begins with every value changed, so that the
    // first threads to ask replace entries while others look them up.
    for (int phase = 0; phase < 2; phase++) {
        std::vector<std::u16string> values;
        for (int i = 0; i < kNames; i++) {
            values.push_back(u"phase" + std::u16string(1, static_cast<WCHAR>(u'0' + phase)) +
                             u"-value-" + names[i]);
            ASSERT_TRUE(SetEnvironmentVariableW(names[i].c_str(), values[i].c_str()));
        }
        std::vector<std::vector<const WCHAR*>> seen(kThreads,
                                                    std::vector<const WCHAR*>(kNames, nullptr));
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; t++) {
            threads.emplace_back([&, t] {
                WCHAR buffer[64];
                for (int round = 0; round < kRounds; round++) {
                    int i = (round + t * 3) % kNames;
                    const WCHAR* v = EnvGetW(names[i].c_str());
                    if (!v || std::u16string(v) != values[i]) wrong++;
                    if (seen[t][i] && seen[t][i] != v) wrong++;
                    seen[t][i] = v;
                    DWORD n = GetEnvironmentVariableW(names[i].c_str(), buffer, 64);
                    if (n != values[i].size() || std::u16string(buffer) != values[i]) wrong++;
                }
            });
        }
        for (std::thread& th : threads) th.join();
        EXPECT_EQ(wrong.load(), 0) << "phase " << phase;
        for (int i = 0; i < kNames; i++) {
            const WCHAR* one = EnvGetW(names[i].c_str());
            for (int t = 0; t < kThreads; t++)
                EXPECT_EQ(seen[t][i], one) << "phase " << phase << ": every thread got one string";
        }
    }
}

} // namespace
