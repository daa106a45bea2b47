// One time stamp set on a real file or directory through its path: only the
// named time moves, a read-only item keeps its bit, and failures come back
// as error codes with nothing changed.
#include "../posix/drive_fixture.h"

#include "commands/new_date.h"
#include "platform/file_utils.h"
#include "tree_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

namespace {

constexpr time_t kWritten = 1500000000;  // 2017
constexpr time_t kAccessed = 1400000000; // 2014
constexpr time_t kNew = 1262304000;      // 2010-01-01 00:00:00 UTC

FILETIME FileTimeOf(time_t seconds) {
    const ULONGLONG ticks = (ULONGLONG(seconds) + 11644473600ULL) * 10000000ULL;
    return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

class NewDateTest : public DriveMapTest {
  protected:
    void SetUp() override {
        ::mkdir(dir.Sub("f").c_str(), 0755);
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        qtest::WriteFixtureDrives(dir.path(), 'F', dir.Sub("f"));
    }
    std::string P(const std::string& rel) const { return dir.Sub("f/" + rel); }
    static std::u16string F(const std::string& rel) { return u"F:\\" + Wide(rel); }
    void SetTimes(const std::string& path) {
        struct timespec times[2] = {{kAccessed, 0}, {kWritten, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
    }
    static struct stat Stat(const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st;
    }
};

TEST_F(NewDateTest, OnlyTheNamedTimeMoves) {
    dir.Write("f/file", "data");
    ::mkdir(P("dir").c_str(), 0755);
    struct Row {
        const char* what;
        int index;
        bool written, accessed;
    } rows[] = {
        {"written", STAMP_WRITTEN, true, false},
        // Putting the access time back after a read must never touch the
        // write time.
        {"accessed", STAMP_ACCESSED, false, true},
        {"created (not kept by the file system)", STAMP_CREATED, false, false},
        {"all", STAMP_ALL, true, true},
    };
    for (const char* name : {"file", "dir"}) {
        for (const Row& r : rows) {
            SetTimes(P(name));
            EXPECT_EQ(SetFileTimesEx(r.index, F(name).c_str(), -1, FileTimeOf(kNew)), 0u)
                << name << " " << r.what;
            const struct stat st = Stat(P(name));
            EXPECT_EQ(st.st_mtime, r.written ? kNew : kWritten) << name << " " << r.what;
            EXPECT_EQ(st.st_atime, r.accessed ? kNew : kAccessed) << name << " " << r.what;
        }
    }
}

TEST_F(NewDateTest, AReadOnlyFileIsStampedAndStaysReadOnly) {
    dir.Write("f/ro", "data");
    SetTimes(P("ro"));
    ASSERT_TRUE(qioSetFileAttributes(F("ro").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(SetFileTimesEx(STAMP_ACCESSED, F("ro").c_str(), -1, FileTimeOf(kNew)), 0u);
    EXPECT_EQ(Stat(P("ro")).st_atime, kNew);
    EXPECT_EQ(Stat(P("ro")).st_mtime, kWritten);
    EXPECT_NE(qioGetFileAttributes(F("ro").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(NewDateTest, FailuresAreErrorCodes) {
    dir.Write("f/file", "data");
    SetTimes(P("file"));
    struct Row {
        const char* what;
        const WCHAR* path;
        DWORD error;
    } rows[] = {
        {"missing file", u"F:\\missing", ERROR_FILE_NOT_FOUND},
        {"missing directory", u"F:\\nodir\\file", ERROR_PATH_NOT_FOUND},
        {"no path", nullptr, ERROR_INVALID_PARAMETER},
        {"empty path", u"", ERROR_INVALID_PARAMETER},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SetFileTimesEx(STAMP_ALL, r.path, 0, FileTimeOf(kNew)), r.error) << r.what;
    EXPECT_EQ(Stat(P("file")).st_mtime, kWritten);
    EXPECT_EQ(Stat(P("file")).st_atime, kAccessed);
}

} // namespace
