// File attributes and POSIX modes by path: the attribute rule, the path
// errors, times and sizes, SetFileAttributesW, the compressed size, the mode
// word, the mode texts and the owner text; permission cases as an
// unprivileged user and chmod failures that leave the mode as it was.
#include "../support/fixture.h"
#include "windows.h"
#include "internal/fileinfo.h"
#include "internal/sys.h"
#include "qposix_modes.h"
#include "qposix_path.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

TEST(AttributeRule, FromModeAndName) {
    struct Row {
        const char* what;
        uint32_t mode;
        bool targetIsDirectory;
        const char* name;
        DWORD attributes;
    } rows[] = {
        {"a writable file is normal", S_IFREG | 0644, false, "f", FILE_ATTRIBUTE_NORMAL},
        {"no owner write bit: read-only", S_IFREG | 0466, false, "f", FILE_ATTRIBUTE_READONLY},
        {"group and others write bits do not count", S_IFREG | 0422, false, "f",
         FILE_ATTRIBUTE_READONLY},
        {"a directory", S_IFDIR | 0755, false, "d", FILE_ATTRIBUTE_DIRECTORY},
        {"a read-only directory", S_IFDIR | 0555, false, "d",
         FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY},
        {"a link", S_IFLNK | 0777, false, "l", FILE_ATTRIBUTE_REPARSE_POINT},
        {"a link to a directory", S_IFLNK | 0777, true, "l",
         FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY},
        {"the target flag means nothing for a file", S_IFREG | 0644, true, "f",
         FILE_ATTRIBUTE_NORMAL},
        {"a fifo is a device", S_IFIFO | 0644, false, "p", FILE_ATTRIBUTE_DEVICE},
        {"a read-only fifo", S_IFIFO | 0444, false, "p",
         FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY},
        {"a socket is a device", S_IFSOCK | 0755, false, "s", FILE_ATTRIBUTE_DEVICE},
        {"a character device", S_IFCHR | 0666, false, "c", FILE_ATTRIBUTE_DEVICE},
        {"a block device", S_IFBLK | 0660, false, "b", FILE_ATTRIBUTE_DEVICE},
        {"a dot file is hidden, not normal", S_IFREG | 0644, false, ".profile",
         FILE_ATTRIBUTE_HIDDEN},
        {"a hidden read-only file", S_IFREG | 0444, false, ".x",
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY},
        {"a hidden directory", S_IFDIR | 0755, false, ".git",
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY},
        {"a hidden fifo is hidden and a device", S_IFIFO | 0600, false, ".fifo",
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DEVICE},
        {"a hidden link", S_IFLNK | 0777, false, ".l",
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_REPARSE_POINT},
        {"'.' is not hidden", S_IFDIR | 0755, false, ".", FILE_ATTRIBUTE_DIRECTORY},
        {"'..' is not hidden", S_IFDIR | 0755, false, "..", FILE_ATTRIBUTE_DIRECTORY},
        {"'...' is hidden", S_IFDIR | 0755, false, "...",
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY},
        {"the set-id and sticky bits change nothing", S_IFREG | 07644, false, "f",
         FILE_ATTRIBUTE_NORMAL},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FileAttributesFromMode(r.mode, r.targetIsDirectory, r.name), r.attributes)
            << r.what;
}

TEST(AttributeRule, NamePartIgnoresTrailingSlashes) {
    struct Row {
        const char* path;
        const char* name;
    } rows[] = {
        {"/a/b", "b"}, {"/a/.b/", ".b"}, {"/a//", "a"}, {"/", ""}, {"x", "x"}, {"", ""},
        {"/a/..", ".."},
    };
    for (const Row& r : rows) EXPECT_EQ(FileNamePart(r.path), r.name) << r.path;
}

TEST(PermissionText, Letters) {
    struct Row {
        uint32_t mode;
        uint32_t perm;
        const char* text;
    } rows[] = {
        {S_IFREG, 0644, "-rw-r--r-- 0644"},   {S_IFDIR, 0755, "drwxr-xr-x 0755"},
        {S_IFLNK, 0777, "lrwxrwxrwx 0777"},   {S_IFCHR, 0620, "crw--w---- 0620"},
        {S_IFBLK, 0660, "brw-rw---- 0660"},   {S_IFIFO, 0600, "prw------- 0600"},
        {S_IFSOCK, 0755, "srwxr-xr-x 0755"},  {S_IFREG, 04755, "-rwsr-xr-x 4755"},
        {S_IFREG, 04644, "-rwSr--r-- 4644"},  {S_IFREG, 02755, "-rwxr-sr-x 2755"},
        {S_IFREG, 02745, "-rwxr-Sr-x 2745"},  {S_IFDIR, 01777, "drwxrwxrwt 1777"},
        {S_IFDIR, 01770, "drwxrwx--T 1770"},  {S_IFREG, 07777, "-rwsrwsrwt 7777"},
        {S_IFREG, 07000, "---S--S--T 7000"},  {S_IFREG, 0, "---------- 0000"},
    };
    for (const Row& r : rows) {
        char text[FILE_PERMISSION_TEXT_SIZE];
        std::memset(text, 'x', sizeof text);
        FilePermissionText(r.mode, r.perm, text);
        EXPECT_STREQ(text, r.text) << std::oct << r.perm;
    }
}

// Sets the process umask for one test and restores it.
struct ScopedUmask {
    mode_t old;
    explicit ScopedUmask(mode_t m) : old(::umask(m)) {}
    ~ScopedUmask() { ::umask(old); }
};

TEST(ModeText, Apply) {
    struct Row {
        const char* what;
        std::u16string text;
        int mode;
        bool isDirectory;
        mode_t umask;
        int result;
    } rows[] = {
        {"add and remove in two clauses", u"u+x,g-w", 0644, false, 022, 0744},
        {"'=' without who stays inside the umask", u"=r", 0644, false, 022, 0444},
        {"'=' without who leaves the umask's bits alone", u"=r", 0666, false, 022, 0466},
        {"'-' without who leaves the umask's bits alone", u"-w", 0666, false, 022, 0466},
        {"'+' without who, umask 077", u"+rwx", 0, false, 077, 0700},
        {"octal", u"755", 0, false, 022, 0755},
        {"octal with a leading zero", u"0755", 0644, false, 022, 0755},
        {"one octal digit", u"7", 0644, false, 022, 07},
        {"four octal digits", u"4755", 0, false, 022, 04755},
        {"five octal digits are not valid", u"12345", 0644, false, 022, -1},
        {"8 is not an octal digit", u"8", 0644, false, 022, -1},
        {"+R clears every write bit", u"+R", 0666, false, 022, 0444},
        {"+R keeps the special bits", u"+R", 06777, false, 022, 06555},
        {"-R sets the owner write bit", u"-R", 0444, false, 022, 0644},
        {"+r is a clause, not +R", u"+r", 0200, false, 022, 0644},
        {"blanks around are ignored", u"  u+x  ", 0644, false, 022, 0744},
        {"blanks around octal", u" 700 ", 0644, false, 022, 0700},
        {"empty", u"", 0644, false, 022, -1},
        {"only blanks", u"   ", 0644, false, 022, -1},
        {"X on a file without execute bits", u"a+X", 0644, false, 022, 0644},
        {"X on a file with one execute bit", u"a+X", 0744, false, 022, 0755},
        {"X on a directory", u"a+X", 0644, true, 022, 0755},
        {"u+s sets set-user-id only", u"u+s", 0755, false, 022, 04755},
        {"g+s sets set-group-id only", u"g+s", 0755, false, 022, 02755},
        {"o+s sets nothing", u"o+s", 0755, false, 022, 0755},
        {"+s sets both", u"+s", 0755, false, 022, 06755},
        {"+t sets sticky", u"+t", 0755, false, 022, 01755},
        {"u+t sets nothing", u"u+t", 0755, false, 022, 0755},
        {"o+t sets sticky", u"o+t", 0755, false, 022, 01755},
        {"copy the owner's bits", u"go=u", 0700, false, 022, 0777},
        {"copy the others' bits", u"g=o", 0751, false, 022, 0711},
        {"a copy then another operation", u"u=g+x", 0640, false, 022, 0540},
        {"several operations on one who", u"u-w+x", 0644, false, 022, 0544},
        {"'=' with nothing clears the class", u"u=", 0755, false, 022, 0055},
        {"a= clears everything", u"a=", 07777, false, 022, 0},
        {"ugo is a", u"ugo+rwx", 0, false, 022, 0777},
        {"a-x", u"a-x", 0777, false, 022, 0666},
        {"a clause without an operation", u"u+x,g", 0644, false, 022, -1},
        {"a who letter alone", u"u", 0644, false, 022, -1},
        {"a trailing comma", u"u+x,", 0644, false, 022, -1},
        {"a leading comma", u",u+x", 0644, false, 022, -1},
        {"a who letter after the letters", u"u+xg", 0644, false, 022, -1},
        {"an unknown letter", u"u+q", 0644, false, 022, -1},
        {"upper-case who letter", u"U+x", 0644, false, 022, -1},
        {"a blank after a comma", u"u+x, g-w", 0644, false, 022, -1},
        {"a blank inside a clause", u"u+ x", 0644, false, 022, -1},
        {"the mode is taken as 12 bits", u"+R", 0170666, false, 022, 0444},
    };
    for (const Row& r : rows) {
        ScopedUmask mask(r.umask);
        EXPECT_EQ(FileModeApplyText(r.text.c_str(), r.mode, r.isDirectory), r.result)
            << r.what << std::oct << " (got 0" << FileModeApplyText(r.text.c_str(), r.mode,
                                                                     r.isDirectory)
            << ")";
    }
    EXPECT_EQ(FileModeApplyText(nullptr, 0644, FALSE), -1);

    // At most 63 characters: a longer text is refused whole, never cut into
    // a shorter text that would mean something else.
    std::u16string longest = u"u+x";
    while (longest.size() + 4 <= 63) longest += u",g+r";
    ASSERT_EQ(longest.size(), 63u);
    EXPECT_EQ(FileModeApplyText(longest.c_str(), 0600, FALSE), 0740);
    std::u16string tooLong = longest + u"w"; // valid too, but longer
    EXPECT_EQ(FileModeApplyText(tooLong.c_str(), 0600, FALSE), -1);
}

TEST(ModeText, Matches) {
    struct Row {
        const char* what;
        std::u16string text;
        int mode;
        int result;
    } rows[] = {
        {"+x without who: any class", u"+x", 0744, 1},
        {"a+x: every class", u"a+x", 0744, 0},
        {"a+x with every class", u"a+x", 0755, 1},
        {"octal equal", u"755", 0755, 1},
        {"octal with trailing blanks", u"755  ", 0755, 1},
        {"octal with leading blanks", u"  755", 0755, 1},
        {"octal compares all 12 bits", u"755", 04755, 0},
        {"four octal digits", u"4755", 04755, 1},
        {"five octal digits", u"12345", 012345 & 07777, -1},
        {"octal followed by letters", u"755x", 0755, -1},
        {"empty", u"", 0755, -1},
        {"blanks only", u"  ", 0755, -1},
        {"'=' exactly", u"u=rwx", 0755, 1},
        {"'=' is not 'at least'", u"u=rw", 0755, 0},
        {"'-': none of them", u"g-w", 0755, 1},
        {"'-' fails when one is there", u"g-w", 0775, 0},
        {"'-' without who: every class", u"-w", 0555, 1},
        {"'-' without who fails on one class", u"-w", 0755, 0},
        {"'+' without who: one class is enough", u"+w", 0200, 1},
        {"'+' needs all its letters in one class", u"+rw", 0240, 0},
        {"'=' without who: every class", u"=r", 0444, 1},
        {"'=' without who fails on one class", u"=r", 0644, 0},
        {"every clause must hold", u"u+x,g+x", 0710, 1},
        {"one clause failing", u"u+x,g+x", 0700, 0},
        {"blanks before a comma", u"u+x  ,g+x", 0710, 1},
        {"a blank after a comma", u"u+x, g+x", 0710, -1},
        {"trailing blanks", u"u+x  ", 0700, 1},
        {"several who letters", u"go-w", 0755, 1},
        {"u+s set", u"u+s", 04755, 1},
        {"u+s not set", u"u+s", 02755, 0},
        {"g+s set", u"g+s", 02755, 1},
        {"+s: either special bit", u"+s", 02755, 1},
        {"+s: none", u"+s", 0755, 0},
        {"-s: none may be set", u"-s", 02755, 0},
        {"-s with none set", u"-s", 0755, 1},
        {"=s without who: both, and no rwx", u"=s", 06000, 1},
        {"=t: sticky and no rwx", u"=t", 01000, 1},
        {"=t: rwx present", u"=t", 01755, 0},
        {"o+t", u"o+t", 01777, 1},
        {"o+t without sticky", u"o+t", 0777, 0},
        {"+t", u"+t", 01000, 1},
        {"u+ with no letters holds", u"u+", 0, 1},
        {"a who letter alone", u"u", 0755, -1},
        {"no operator", u"x+u", 0755, -1},
        {"two operators", u"u+x-w", 0755, -1},
        {"an empty clause", u"u+x,,g+x", 0755, -1},
        {"a trailing comma", u"u+x,", 0755, -1},
        {"X is not a test letter", u"u+X", 0755, -1},
        {"a later bad clause spoils the whole", u"u+w,bad", 0, -1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FileModeMatchesText(r.text.c_str(), r.mode), r.result) << r.what;
    EXPECT_EQ(FileModeMatchesText(nullptr, 0), -1);
}

class FileAttrTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    void TearDown() override { QSysClearFaults(); }
    std::u16string W(const std::string& rel) {
        WCHAR out[4097];
        EXPECT_GE(PathFromPosix(dir.Sub(rel).c_str(), out, 4097), 0);
        return out;
    }
    std::string Make(const std::string& rel, const std::string& content, mode_t mode) {
        std::string path = dir.Write(rel, content);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        return path;
    }
    mode_t ModeOf(const std::string& rel) {
        struct stat st;
        EXPECT_EQ(::stat(dir.Sub(rel).c_str(), &st), 0) << rel;
        return st.st_mode & 07777;
    }
};

TEST_F(FileAttrTest, AttributesAndPathErrors) {
    Make("f", "x", 0644);
    dir.MakeDir(".hidden");
    ASSERT_EQ(::symlink("f", dir.Sub("link").c_str()), 0);
    struct Row {
        const char* what;
        std::u16string path;
        bool nullPath;
        DWORD result;
        DWORD error;
    } rows[] = {
        {"a file", W("f"), false, FILE_ATTRIBUTE_NORMAL, 0},
        {"a link, not its target", W("link"), false, FILE_ATTRIBUTE_REPARSE_POINT, 0},
        {"a hidden directory", W(".hidden"), false,
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY, 0},
        {"a hidden directory with a trailing separator", W(".hidden") + u"\\", false,
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY, 0},
        {"a missing file in an existing directory", W("missing"), false, INVALID_FILE_ATTRIBUTES,
         ERROR_FILE_NOT_FOUND},
        {"a file in a missing directory", W("nodir/f"), false, INVALID_FILE_ATTRIBUTES,
         ERROR_PATH_NOT_FOUND},
        {"a path through a file", W("f") + u"\\x", false, INVALID_FILE_ATTRIBUTES,
         ERROR_PATH_NOT_FOUND},
        {"an empty path is no path, not the root", u"", false, INVALID_FILE_ATTRIBUTES,
         ERROR_FILE_NOT_FOUND},
        {"a null path", u"", true, INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
    };
    for (const Row& r : rows) {
        SetLastError(0xBEEF);
        const WCHAR* p = r.nullPath ? nullptr : r.path.c_str();
        EXPECT_EQ(GetFileAttributesW(p), r.result) << r.what;
        if (r.error) {
            EXPECT_EQ(GetLastError(), r.error) << r.what;
        }
        WIN32_FILE_ATTRIBUTE_DATA data;
        SetLastError(0xBEEF);
        EXPECT_EQ(GetFileAttributesExW(p, GetFileExInfoStandard, &data), r.error == 0) << r.what;
        if (r.error) {
            EXPECT_EQ(GetLastError(), r.error) << r.what;
        } else {
            EXPECT_EQ(data.dwFileAttributes, r.result) << r.what;
        }
    }
    // Faults reach the caller as their Windows errors.
    struct Fault {
        int err;
        DWORD error;
    } faults[] = {{EIO, ERROR_GEN_FAILURE}, {EACCES, ERROR_ACCESS_DENIED}};
    for (const Fault& f : faults) {
        QSysInjectFault(QSYS_STATX, 1, f.err);
        SetLastError(0);
        EXPECT_EQ(GetFileAttributesW(W("f").c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), f.error);
    }
}

TEST_F(FileAttrTest, AttributeDataTimesAndSizes) {
    std::string big = dir.Sub("big");
    int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, (off_t(1) << 32) + 5), 0); // sparse
    ::close(fd);
    dir.MakeDir("d");
    ASSERT_EQ(::symlink("big", dir.Sub("link").c_str()), 0);
    // 2001-02-03 04:05:06.5 on the file, 2002-... on the link itself.
    struct timespec fileTimes[2] = {{981173106, 500000000}, {981173106, 500000000}};
    struct timespec linkTimes[2] = {{1012700000, 0}, {1012700000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, big.c_str(), fileTimes, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.Sub("link").c_str(), linkTimes, AT_SYMLINK_NOFOLLOW), 0);
    SYSTEMTIME st = {2001, 2, 0, 3, 4, 5, 6, 500};
    FILETIME fileWrite;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &fileWrite));
    SYSTEMTIME lt = {2002, 2, 0, 3, 1, 33, 20, 0};
    FILETIME linkWrite;
    ASSERT_TRUE(SystemTimeToFileTime(&lt, &linkWrite));

    struct Row {
        const char* what;
        std::string rel;
        DWORD attributes;
        DWORD high, low;
        const FILETIME* write;
    } rows[] = {
        {"a file above 4 GiB", "big", FILE_ATTRIBUTE_NORMAL, 1, 5, &fileWrite},
        {"a directory has no size", "d", FILE_ATTRIBUTE_DIRECTORY, 0, 0, nullptr},
        {"a link: its own size and times", "link", FILE_ATTRIBUTE_REPARSE_POINT, 0, 3, &linkWrite},
    };
    for (const Row& r : rows) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExW(W(r.rel).c_str(), GetFileExInfoStandard, &data)) << r.what;
        EXPECT_EQ(data.dwFileAttributes, r.attributes) << r.what;
        EXPECT_EQ(data.nFileSizeHigh, r.high) << r.what;
        EXPECT_EQ(data.nFileSizeLow, r.low) << r.what;
        if (r.write) {
            EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, r.write->dwLowDateTime) << r.what;
            EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, r.write->dwHighDateTime) << r.what;
        }
        if (r.rel == "big") {
            EXPECT_EQ(data.ftLastAccessTime.dwLowDateTime, fileWrite.dwLowDateTime) << r.what;
            EXPECT_EQ(data.ftLastAccessTime.dwHighDateTime, fileWrite.dwHighDateTime) << r.what;
        }
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    SetLastError(0);
    EXPECT_FALSE(GetFileAttributesExW(W("big").c_str(), GET_FILEEX_INFO_LEVELS(1), &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_FALSE(GetFileAttributesExW(W("big").c_str(), GetFileExInfoStandard, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FileAttrTest, SetFileAttributesChangesOnlyTheWriteBits) {
    struct Row {
        const char* what;
        bool directory;
        mode_t before;
        DWORD attributes;
        mode_t after;
    } rows[] = {
        {"without read-only: the owner may write", false, 0444, 0, 0644},
        {"read-only clears every write bit", false, 0666, FILE_ATTRIBUTE_READONLY, 0444},
        {"read-only on owner-only", false, 0600, FILE_ATTRIBUTE_READONLY, 0400},
        {"other attributes are ignored", false, 0755,
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 0555},
        {"already writable stays as it is", false, 0664, FILE_ATTRIBUTE_NORMAL, 0664},
        {"the special bits are kept", false, 04755, FILE_ATTRIBUTE_READONLY, 04555},
        {"a directory", true, 0755, FILE_ATTRIBUTE_READONLY, 0555},
    };
    int i = 0;
    for (const Row& r : rows) {
        std::string rel = "f" + std::to_string(i++);
        if (r.directory)
            dir.MakeDir(rel);
        else
            dir.Write(rel, "x");
        ASSERT_EQ(::chmod(dir.Sub(rel).c_str(), r.before), 0);
        EXPECT_TRUE(SetFileAttributesW(W(rel).c_str(), r.attributes)) << r.what;
        EXPECT_EQ(ModeOf(rel), r.after) << r.what;
    }

    // Through a link: the target changes, and the link is still a link.
    Make("target", "t", 0644);
    ASSERT_EQ(::symlink("target", dir.Sub("link").c_str()), 0);
    EXPECT_TRUE(SetFileAttributesW(W("link").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ModeOf("target"), 0444u);
    EXPECT_EQ(GetFileAttributesW(W("link").c_str()), FILE_ATTRIBUTE_REPARSE_POINT);

    struct Error {
        const char* what;
        std::u16string path;
        bool nullPath;
        DWORD error;
    } errors[] = {
        {"a missing file", W("missing"), false, ERROR_FILE_NOT_FOUND},
        {"a missing directory", W("nodir/f"), false, ERROR_PATH_NOT_FOUND},
        {"a dangling link", W("dangling"), false, ERROR_FILE_NOT_FOUND},
        {"an empty path never means the root", u"", false, ERROR_FILE_NOT_FOUND},
        {"a null path", u"", true, ERROR_FILE_NOT_FOUND},
    };
    ASSERT_EQ(::symlink("nothing", dir.Sub("dangling").c_str()), 0);
    for (const Error& e : errors) {
        SetLastError(0xBEEF);
        EXPECT_FALSE(SetFileAttributesW(e.nullPath ? nullptr : e.path.c_str(), 0)) << e.what;
        EXPECT_EQ(GetLastError(), e.error) << e.what;
    }
}

TEST_F(FileAttrTest, FailedChmodLeavesTheModeAndIsReported) {
    struct Row {
        int err;
        DWORD error;
    } rows[] = {{EIO, ERROR_GEN_FAILURE},
                {EACCES, ERROR_ACCESS_DENIED},
                {EROFS, ERROR_ACCESS_DENIED},
                {ENOSPC, ERROR_DISK_FULL}};
    Make("f", "x", 0644);
    for (const Row& r : rows) {
        QSysInjectFault(QSYS_CHMOD, 1, r.err);
        SetLastError(0);
        EXPECT_FALSE(SetFileAttributesW(W("f").c_str(), FILE_ATTRIBUTE_READONLY)) << r.err;
        EXPECT_EQ(GetLastError(), r.error) << r.err;
        EXPECT_EQ(ModeOf("f"), 0644u) << r.err;

        QSysInjectFault(QSYS_CHMOD, 1, r.err);
        FILE_MODE_WORD word = 0x1234;
        SetLastError(0);
        EXPECT_EQ(FileSetModeText(W("f").c_str(), u"u+x", &word), r.error) << r.err;
        EXPECT_EQ(GetLastError(), r.error) << r.err;
        EXPECT_EQ(word, 0x1234) << r.err;
        EXPECT_EQ(ModeOf("f"), 0644u) << r.err;
        QSysClearFaults();
    }
    // When nothing would change, no chmod is made: an armed fault stays
    // unused, so a file on a read-only mount can be given what it has.
    QSysInjectFault(QSYS_CHMOD, 1, EROFS);
    EXPECT_TRUE(SetFileAttributesW(W("f").c_str(), 0));
    EXPECT_EQ(FileSetModeText(W("f").c_str(), u"u+w", nullptr), 0u);
    EXPECT_FALSE(SetFileAttributesW(W("f").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(FileAttrTest, SetModeText) {
    struct Row {
        const char* what;
        bool directory;
        mode_t before;
        std::u16string text;
        DWORD result;
        mode_t after;
    } rows[] = {
        {"adds execute for the owner", false, 0644, u"u+x", 0, 0744},
        {"octal", false, 0644, u"600", 0, 0600},
        {"X on a directory", true, 0644, u"a+X", 0, 0755},
        {"sticky on a directory", true, 0777, u"+t", 0, 01777},
        {"a bad text changes nothing", false, 0644, u"u+q", ERROR_INVALID_PARAMETER, 0644},
        {"an empty text changes nothing", false, 0644, u"", ERROR_INVALID_PARAMETER, 0644},
    };
    int i = 0;
    for (const Row& r : rows) {
        std::string rel = "m" + std::to_string(i++);
        if (r.directory)
            dir.MakeDir(rel);
        else
            dir.Write(rel, "x");
        ASSERT_EQ(::chmod(dir.Sub(rel).c_str(), r.before), 0);
        FILE_MODE_WORD word = 0;
        EXPECT_EQ(FileSetModeText(W(rel).c_str(), r.text.c_str(), &word), r.result) << r.what;
        EXPECT_EQ(ModeOf(rel), r.after) << r.what;
        if (r.result == 0) {
            EXPECT_EQ(word, FILE_MODE_KNOWN | r.after) << r.what;
        }
    }
    EXPECT_EQ(FileSetModeText(W("missing").c_str(), u"u+x", nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FileSetModeText(W("nodir/x").c_str(), u"u+x", nullptr), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(FileSetModeText(u"", u"u+x", nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FileSetModeText(nullptr, u"u+x", nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileAttrTest, CompressedSize) {
    dir.Write("small", "abc");
    std::string sparse = dir.Sub("sparse");
    int fd = ::open(sparse.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(1) << 30), 0); // a hole of 1 GiB
    ::close(fd);
    ASSERT_EQ(::symlink("small", dir.Sub("link").c_str()), 0);
    struct Row {
        const char* what;
        std::string rel;
        DWORD size;
    } rows[] = {
        {"a small file: its size, not its block", "small", 3},
        {"a hole takes nothing", "sparse", 0},
        {"a link: its target", "link", 3},
    };
    for (const Row& r : rows) {
        DWORD high = 0xBEEF;
        SetLastError(0xBEEF);
        EXPECT_EQ(GetCompressedFileSizeW(W(r.rel).c_str(), &high), r.size) << r.what;
        EXPECT_EQ(high, 0u) << r.what;
        EXPECT_EQ(GetLastError(), 0u) << r.what;
    }
    SetLastError(0xBEEF);
    EXPECT_EQ(GetCompressedFileSizeW(W("small").c_str(), nullptr), 3u);
    DWORD high = 0xBEEF;
    SetLastError(0);
    EXPECT_EQ(GetCompressedFileSizeW(W("nodir/x").c_str(), &high), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(high, 0xBEEFu);
    EXPECT_EQ(GetCompressedFileSizeW(u"", &high), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileAttrTest, ModeWordOfAPath) {
    Make("f", "x", 0640);
    Make("suid", "x", 04755);
    dir.MakeDir("sticky");
    ASSERT_EQ(::chmod(dir.Sub("sticky").c_str(), 01777), 0);
    Make("private", "x", 0600);
    ASSERT_EQ(::symlink("private", dir.Sub("link").c_str()), 0);
    ASSERT_EQ(::symlink("nothing", dir.Sub("dangling").c_str()), 0);
    struct Row {
        const char* what;
        std::u16string path;
        bool nullPath;
        FILE_MODE_WORD word;
    } rows[] = {
        {"a file", W("f"), false, 0x81A0},
        {"set-user-id", W("suid"), false, 0x89ED},
        {"a sticky directory", W("sticky"), false, 0x83FF},
        {"a link: its target's bits", W("link"), false, 0x8180},
        {"a dangling link: its own", W("dangling"), false, 0x81FF},
        {"a missing path: unknown", W("missing"), false, FILE_MODE_UNKNOWN},
        {"an empty path: unknown", u"", false, FILE_MODE_UNKNOWN},
        {"a null path: unknown", u"", true, FILE_MODE_UNKNOWN},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FileGetModeWord(r.nullPath ? nullptr : r.path.c_str()), r.word) << r.what;
}

TEST_F(FileAttrTest, OwnerText) {
    Make("f", "x", 0750);
    Make("private", "x", 0600);
    ASSERT_EQ(::symlink("private", dir.Sub("link").c_str()), 0);
    ASSERT_EQ(::symlink("nothing", dir.Sub("dangling").c_str()), 0);
    Make("nameless", "x", 02644);
    // Ids no user or group on the machine has.
    ASSERT_EQ(::lchown(dir.Sub("nameless").c_str(), 54321, 54322), 0);
    ASSERT_EQ(::chmod(dir.Sub("nameless").c_str(), 02644), 0); // chown dropped set-group-id
    dir.MakeDir("d");
    ASSERT_EQ(::chmod(dir.Sub("d").c_str(), 01755), 0);
    struct Row {
        const char* what;
        std::string rel;
        const char* permission;
        std::u16string owner;
    } rows[] = {
        {"a file of root", "f", "-rwxr-x--- 0750", u"root:root"},
        {"a link shows its target's bits", "link", "lrw------- 0600", u"root:root"},
        {"a dangling link shows its own", "dangling", "lrwxrwxrwx 0777", u"root:root"},
        {"unknown ids as numbers", "nameless", "-rw-r-Sr-- 2644", u"54321:54322"},
        {"a sticky directory", "d", "drwxr-xr-t 1755", u"root:root"},
    };
    for (const Row& r : rows) {
        char permission[FILE_PERMISSION_TEXT_SIZE];
        WCHAR owner[64];
        ASSERT_EQ(FileOwnerText(W(r.rel).c_str(), permission, owner, 64), 1) << r.what;
        EXPECT_STREQ(permission, r.permission) << r.what;
        EXPECT_EQ(std::u16string(owner), r.owner) << r.what;
    }
    // An owner text that does not fit is left empty, never cut.
    char permission[FILE_PERMISSION_TEXT_SIZE] = "unchanged";
    WCHAR owner[6] = u"xxxxx";
    EXPECT_EQ(FileOwnerText(W("nameless").c_str(), permission, owner, 6), 1);
    EXPECT_EQ(owner[0], 0);
    // A path that cannot be examined leaves the outputs alone.
    std::memcpy(permission, "unchanged", 10);
    EXPECT_EQ(FileOwnerText(W("missing").c_str(), permission, owner, 6), 0);
    EXPECT_STREQ(permission, "unchanged");
    EXPECT_EQ(FileOwnerText(u"", permission, owner, 6), 0);
}

// As the unprivileged user: files of root cannot be changed, and paths in
// a directory that may not be searched cannot be examined.
TEST_F(FileAttrTest, PermissionsAsAnUnprivilegedUser) {
    dir.OpenToAll();
    Make("roots", "x", 0644);
    dir.Write("closed/inner", "x");
    ASSERT_EQ(::chmod(dir.Sub("closed").c_str(), 0700), 0);
    std::u16string roots = W("roots");
    std::u16string inner = W("closed/inner");
    int result = qtest::RunUnprivileged([&]() -> int {
        SetLastError(0);
        if (SetFileAttributesW(roots.c_str(), FILE_ATTRIBUTE_READONLY)) return 1;
        if (GetLastError() != ERROR_ACCESS_DENIED) return 2;
        if (FileSetModeText(roots.c_str(), u"a+x", nullptr) != ERROR_ACCESS_DENIED) return 3;
        // Examining a file of root is allowed.
        if (GetFileAttributesW(roots.c_str()) != FILE_ATTRIBUTE_NORMAL) return 4;
        if (FileGetModeWord(roots.c_str()) != 0x81A4) return 5;
        SetLastError(0);
        if (GetFileAttributesW(inner.c_str()) != INVALID_FILE_ATTRIBUTES) return 6;
        if (GetLastError() != ERROR_ACCESS_DENIED) return 7;
        if (FileGetModeWord(inner.c_str()) != FILE_MODE_UNKNOWN) return 8;
        if (GetCompressedFileSizeW(inner.c_str(), nullptr) != INVALID_FILE_SIZE) return 9;
        if (GetLastError() != ERROR_ACCESS_DENIED) return 10;
        return 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ModeOf("roots"), 0644u);
}

} // namespace
