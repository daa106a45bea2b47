// Directory searches: the name match, the patterns over a tree of awkward
// names (invalid UTF-8, a backslash, wildcards, dot files, links of every
// kind, a fifo), single-name lookups, "." and ".." at mount paths, errors
// that leave nothing open, and read failures that are never taken for the
// end of a listing.
#include "../support/mount_points.h"
#include "drive_fixture.h"
#include "internal/fileinfo.h"
#include "internal/sys.h"
#include "qposix_path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// A readable form of a UTF-16 name for failure messages: escape units and
// other non-ASCII units as <XXXX>.
std::string Show(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            out += '<';
            for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
            out += '>';
        }
    }
    return out;
}

TEST(FindMatchName, Patterns) {
    struct Row {
        const char* what;
        std::u16string pattern;
        std::u16string name;
        bool match;
    } rows[] = {
        {"'*.' takes a name without a dot", u"*.", u"README", true},
        {"'*.' refuses a name with a dot", u"*.", u"a.b", false},
        {"'*.' refuses a dot at the end too", u"*.", u"a.", false},
        {"'*' takes the empty name", u"*", u"", true},
        {"'**' takes the empty name", u"**", u"", true},
        {"the empty pattern takes the empty name", u"", u"", true},
        {"'?' needs a character", u"?", u"", false},
        {"the empty pattern refuses a name", u"", u"a", false},
        {"'*' crosses dots", u"a*z", u"a.b.c.z", true},
        {"case does not matter", u"*.TXT", u"read.me.txt", true},
        {"case does not matter beyond ASCII", u"\u00C9T\u00C9*", u"\u00E9t\u00E9.doc", true},
        {"'*.*' alone needs a dot", u"*.*", u"noext", false},
        {"a tail after the name is no match", u"*.txt", u"a.txt.bak", false},
        {"backtracks to the last '*'", u"a*b*c", u"aXbYbZc", true},
        {"backtracking still fails when nothing fits", u"a*c", u"abcbd", false},
        {"trailing stars are skipped at the end", u"a**", u"a", true},
        {"a star between takes nothing", u"*a*", u"a", true},
        {"a shorter pattern is no match", u"ab", u"abc", false},
        {"a longer pattern is no match", u"abc", u"ab", false},
        {"'?' takes a surrogate pair as one character", u"?", u"\xD83D\xDE00", true},
        {"two '?' are too much for one pair", u"?" u"?", u"\xD83D\xDE00", false},
        {"'*?' backtracks over a pair whole", u"*?x", u"\xD83D\xDE00x", true},
        {"a '*' never stops inside a pair", u"*\xDE00", u"\xD83D\xDE00", false},
        {"an escaped backslash is one character", u"a?b", u"a\xDC5C" u"b", true},
        {"an escaped star is matched by '*', not a wildcard itself", u"x*", u"x\xDC2A", true},
        {"an escaped star in a pattern is literal", u"x\xDC2A", u"xy", false},
        {"an escaped byte matches itself", u"\xDCFF*", u"\xDCFF" u"abc", true},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(FindMatchName(r.pattern.c_str(), r.name.c_str()), r.match)
            << r.what << ": " << Show(r.pattern) << " / " << Show(r.name);
    }
}

// Seconds since 1970 as a FILETIME.
FILETIME FileTimeOf(time_t seconds, long nanoseconds) {
    uint64_t v = static_cast<uint64_t>(seconds) * 10000000ULL +
                 static_cast<uint64_t>(nanoseconds / 100) + 116444736000000000ULL;
    return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

void SetTimes(const std::string& path, time_t seconds, bool nofollow) {
    struct timespec ts[2] = {{seconds, 500000000}, {seconds, 500000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, nofollow ? AT_SYMLINK_NOFOLLOW : 0), 0)
        << path;
}

int OpenDescriptors() {
    int n = 0;
    DIR* d = ::opendir("/proc/self/fd");
    while (::readdir(d)) n++;
    ::closedir(d);
    return n;
}

// A drive map with C: at "/" and D: at a directory of the fixture, and a
// tree of awkward names in "t".
class FindTest : public DriveMapTest {
  protected:
    void SetUp() override {
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        dir.MakeDir("mnt/sub");
        WriteDrivesFile("c: /\nd: " + dir.Sub("mnt") + "\n");
        oldUmask = ::umask(022); // directories made on the way get 0755

        Make("plain.txt", "hello", 0644);
        Make("noext", "", 0644);
        Make(".profile", "p", 0644);
        Make("ro.txt", "r", 0444);
        Make("suid", "s", 04750);
        dir.MakeDir("t/sub");
        dir.MakeDir("t/empty");
        Make("\xFF\xFE" "bad", "invalid", 0644);
        // A file whose name holds a backslash, next to the directory and
        // file that the name would split into.
        Make("a\\b", "backslash", 0644);
        Make("a/b", "other file", 0644);
        Make("x*", "star", 0644);
        Make("xyz", "another", 0644);
        Make("q?", "question", 0644);
        ASSERT_EQ(::symlink("plain.txt", T("link-file").c_str()), 0);
        ASSERT_EQ(::symlink("sub", T("link-dir").c_str()), 0);
        ASSERT_EQ(::symlink("missing", T("dangling").c_str()), 0);
        ASSERT_EQ(::symlink("loop", T("loop").c_str()), 0);
        ASSERT_EQ(::mkfifo(T("fifo").c_str(), 0640), 0);
        ASSERT_EQ(::mkfifo(T(".hfifo").c_str(), 0600), 0);
        ASSERT_EQ(::chmod(T("sub").c_str(), 0755), 0);
        ASSERT_EQ(::chmod(T("empty").c_str(), 0700), 0);
        SetTimes(T("plain.txt"), 981173106, false);   // 2001-02-03 04:05:06.5 UTC
        SetTimes(T("link-file"), 1000000000, true);   // the link's own time
    }
    void TearDown() override {
        QSysClearFaults();
        ::umask(oldUmask);
        DriveMapTest::TearDown();
    }

    mode_t oldUmask = 022;
    std::string T(const std::string& rel) { return dir.Sub("t/" + rel); }
    void Make(const std::string& rel, const std::string& content, mode_t mode) {
        dir.Write("t/" + rel, content);
        ASSERT_EQ(::chmod(T(rel).c_str(), mode), 0) << rel;
    }
    // The Windows form of a path of the fixture ("C:\tmp\...").
    std::u16string W(const std::string& rel) {
        WCHAR out[4097];
        EXPECT_GE(PathFromPosix(dir.Sub(rel).c_str(), out, 4097), 0);
        return out;
    }

    // Every entry of a search, in the order given; error is the last error
    // of the call that ended it (0 when FindFirstFileW failed at once).
    std::vector<WIN32_FIND_DATAW> List(const std::u16string& path, DWORD* error = nullptr) {
        std::vector<WIN32_FIND_DATAW> out;
        WIN32_FIND_DATAW data;
        SetLastError(0xBEEF);
        HANDLE h = FindFirstFileW(path.c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) {
            if (error) *error = GetLastError();
            return out;
        }
        EXPECT_EQ(GetLastError(), 0u) << Show(path);
        do out.push_back(data);
        while (FindNextFileW(h, &data));
        if (error) *error = GetLastError();
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES) << Show(path);
        EXPECT_TRUE(FindClose(h));
        return out;
    }
    std::vector<std::u16string> Names(const std::u16string& path, DWORD* error = nullptr) {
        std::vector<std::u16string> names;
        for (const WIN32_FIND_DATAW& d : List(path, error)) names.push_back(d.cFileName);
        return names;
    }
};

// Every entry of the tree as "*" lists it: attributes, the link tag, the
// mode word and the size.
TEST_F(FindTest, ListsEveryEntryWithItsAttributesModeAndSize) {
    struct Row {
        const char* what;
        std::u16string name;
        DWORD attributes;
        DWORD reserved0;
        DWORD modeWord;
        DWORD size;
    } rows[] = {
        {"a plain file", u"plain.txt", FILE_ATTRIBUTE_NORMAL, 0, 0x81A4, 5},
        {"a file without an extension", u"noext", FILE_ATTRIBUTE_NORMAL, 0, 0x81A4, 0},
        {"a dot file is hidden", u".profile", FILE_ATTRIBUTE_HIDDEN, 0, 0x81A4, 1},
        {"no owner write bit: read-only", u"ro.txt", FILE_ATTRIBUTE_READONLY, 0, 0x8124, 1},
        {"set-user-id travels in the mode word", u"suid", FILE_ATTRIBUTE_NORMAL, 0, 0x89E8, 1},
        {"a directory", u"sub", FILE_ATTRIBUTE_DIRECTORY, 0, 0x81ED, 0},
        {"an empty directory", u"empty", FILE_ATTRIBUTE_DIRECTORY, 0, 0x81C0, 0},
        {"invalid UTF-8 bytes travel escaped", u"\xDCFF\xDCFE" u"bad", FILE_ATTRIBUTE_NORMAL, 0,
         0x81A4, 7},
        {"a backslash in a name travels escaped", u"a\xDC5C" u"b", FILE_ATTRIBUTE_NORMAL, 0,
         0x81A4, 9},
        {"the directory the backslash would split into", u"a", FILE_ATTRIBUTE_DIRECTORY, 0, 0x81ED,
         0},
        {"a star in a name travels escaped", u"x\xDC2A", FILE_ATTRIBUTE_NORMAL, 0, 0x81A4, 4},
        {"a question mark in a name travels escaped", u"q\xDC3F", FILE_ATTRIBUTE_NORMAL, 0,
         0x81A4, 8},
        {"the file a star would also match", u"xyz", FILE_ATTRIBUTE_NORMAL, 0, 0x81A4, 7},
        {"a link to a file: tagged, the target's mode, no size", u"link-file",
         FILE_ATTRIBUTE_REPARSE_POINT, FIND_DATA_SYMLINK_TAG, 0x81A4, 0},
        {"a link to a directory is also a directory", u"link-dir",
         FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY, FIND_DATA_SYMLINK_TAG, 0x81ED, 0},
        {"a dangling link keeps its own mode", u"dangling", FILE_ATTRIBUTE_REPARSE_POINT,
         FIND_DATA_SYMLINK_TAG, 0x81FF, 0},
        {"a link to itself is a plain link", u"loop", FILE_ATTRIBUTE_REPARSE_POINT,
         FIND_DATA_SYMLINK_TAG, 0x81FF, 0},
        {"a fifo is a device", u"fifo", FILE_ATTRIBUTE_DEVICE, 0, 0x81A0, 0},
        {"a hidden fifo is hidden and a device", u".hfifo",
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DEVICE, 0, 0x8180, 0},
        {"'.' is not hidden", u".", FILE_ATTRIBUTE_DIRECTORY, 0, 0x81ED, 0},
        {"'..' is not hidden", u"..", FILE_ATTRIBUTE_DIRECTORY, 0, 0, 0},
    };
    std::vector<WIN32_FIND_DATAW> listed = List(W("t") + u"\\*");
    ASSERT_GE(listed.size(), 2u);
    EXPECT_EQ(std::u16string(listed[0].cFileName), u".");
    EXPECT_EQ(std::u16string(listed[1].cFileName), u"..");
    std::map<std::u16string, WIN32_FIND_DATAW> byName;
    for (const WIN32_FIND_DATAW& d : listed) {
        EXPECT_TRUE(byName.emplace(d.cFileName, d).second) << "listed twice: " << Show(d.cFileName);
        EXPECT_EQ(d.cAlternateFileName[0], 0) << Show(d.cFileName);
    }
    EXPECT_EQ(byName.size(), std::size(rows));
    for (const Row& r : rows) {
        auto it = byName.find(r.name);
        ASSERT_NE(it, byName.end()) << r.what;
        const WIN32_FIND_DATAW& d = it->second;
        EXPECT_EQ(d.dwFileAttributes, r.attributes) << r.what;
        EXPECT_EQ(d.dwReserved0, r.reserved0) << r.what;
        if (r.name != u"..") {
            EXPECT_EQ(d.dwReserved1, r.modeWord) << r.what;
        }
        EXPECT_EQ(d.nFileSizeLow, r.size) << r.what;
        EXPECT_EQ(d.nFileSizeHigh, 0u) << r.what;
    }
    // Times are the entry's own, a link's not its target's.
    EXPECT_TRUE(SameTime(byName[u"plain.txt"].ftLastWriteTime, FileTimeOf(981173106, 500000000)));
    EXPECT_TRUE(SameTime(byName[u"plain.txt"].ftLastAccessTime, FileTimeOf(981173106, 500000000)));
    EXPECT_TRUE(SameTime(byName[u"link-file"].ftLastWriteTime, FileTimeOf(1000000000, 500000000)));
}

// Whatever a listing gives back, joined to its directory, names that same
// entry again: a backslash never splits a name, a star never turns a lookup
// into a search.
TEST_F(FindTest, ListedNamesLeadBackToTheSameEntry) {
    std::u16string base = W("t") + u"\\";
    for (const WIN32_FIND_DATAW& listed : List(base + u"*")) {
        std::u16string name = listed.cFileName;
        if (name == u"." || name == u"..") continue;
        std::u16string full = base + name;
        EXPECT_EQ(GetFileAttributesW(full.c_str()), listed.dwFileAttributes) << Show(name);
        WIN32_FIND_DATAW again;
        HANDLE h = FindFirstFileW(full.c_str(), &again);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << Show(name);
        // Following a link to its target reads the link and so may move
        // its access time; everything else is the same.
        WIN32_FIND_DATAW a = again, b = listed;
        a.ftLastAccessTime = b.ftLastAccessTime = FILETIME{};
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << Show(name);
        SetLastError(0);
        EXPECT_FALSE(FindNextFileW(h, &again)) << Show(name);
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES) << Show(name);
        FindClose(h);
    }
    // The file named "a\b" opens as itself, not as file "b" of directory "a".
    HANDLE f = CreateFileW((base + u"a\xDC5C" u"b").c_str(), GENERIC_READ, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    char buf[32] = {};
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(f, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "backslash");
    CloseHandle(f);
    // And a path made by PathFromPosix for it maps back to it.
    std::u16string mapped = W("t/a\\b");
    EXPECT_STREQ(PathToPosix(mapped.c_str()), T("a\\b").c_str());
}

TEST_F(FindTest, PatternsSelectNames) {
    struct Row {
        const char* what;
        std::u16string pattern;
        std::vector<std::u16string> names; // "." and ".." first when listed
    } rows[] = {
        {"'*.' lists names without a dot and always '.' and '..'", u"*.",
         {u".", u"..", u"noext", u"suid", u"sub", u"empty", u"\xDCFF\xDCFE" u"bad",
          u"a\xDC5C" u"b", u"a", u"x\xDC2A", u"xyz", u"q\xDC3F", u"link-file", u"link-dir",
          u"dangling", u"loop", u"fifo"}},
        {"case does not matter", u"*.TXT", {u"plain.txt", u"ro.txt"}},
        {"'?' takes one character, '.' too", u"?", {u".", u"a"}},
        {"dot names", u".*", {u".", u"..", u".profile", u".hfifo"}},
        {"'?' takes an escaped star", u"x?", {u"x\xDC2A"}},
        {"a star in the pattern takes both the literal and others", u"x*", {u"x\xDC2A", u"xyz"}},
        {"link names", u"*link*", {u"link-file", u"link-dir"}},
    };
    for (const Row& r : rows) {
        std::vector<std::u16string> got = Names(W("t") + u"\\" + r.pattern);
        std::vector<std::u16string> want = r.names;
        ASSERT_FALSE(got.empty()) << r.what;
        // Pseudo entries come first, in order; the rest in the system's order.
        size_t pseudo = 0;
        while (pseudo < want.size() && (want[pseudo] == u"." || want[pseudo] == u"..")) pseudo++;
        for (size_t i = 0; i < pseudo; i++) EXPECT_EQ(got[i], want[i]) << r.what;
        std::sort(got.begin() + static_cast<long>(std::min(pseudo, got.size())), got.end());
        std::sort(want.begin() + static_cast<long>(pseudo), want.end());
        EXPECT_EQ(got, want) << r.what;
    }
    // "*" and "*.*" list the same, names without dots included.
    EXPECT_EQ(Names(W("t") + u"\\*.*"), Names(W("t") + u"\\*"));
    EXPECT_EQ(Names(W("t") + u"\\*").size(), 21u);
    // A drive-relative pattern: the part after "X:" is the pattern.
    EXPECT_EQ(Names(u"D:*"), std::vector<std::u16string>{u"sub"});
}

TEST_F(FindTest, SingleNamesAreDescribedAlone) {
    struct Row {
        const char* what;
        std::u16string name;
        DWORD error;     // 0: found
        DWORD size;
        DWORD attributes;
    } rows[] = {
        {"a file", u"plain.txt", 0, 5, FILE_ATTRIBUTE_NORMAL},
        {"no case folding for one name", u"PLAIN.TXT", ERROR_FILE_NOT_FOUND, 0, 0},
        {"a missing name", u"missing", ERROR_FILE_NOT_FOUND, 0, 0},
        {"the literal star file, never another", u"x\xDC2A", 0, 4, FILE_ATTRIBUTE_NORMAL},
        {"the literal question-mark file", u"q\xDC3F", 0, 8, FILE_ATTRIBUTE_NORMAL},
        {"the backslash file, not a\\b", u"a\xDC5C" u"b", 0, 9, FILE_ATTRIBUTE_NORMAL},
        {"a link to a directory, the link itself", u"link-dir", 0, 0,
         FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY},
        {"a dangling link exists", u"dangling", 0, 0, FILE_ATTRIBUTE_REPARSE_POINT},
        {"'.' is the directory itself", u".", 0, 0, FILE_ATTRIBUTE_DIRECTORY},
    };
    for (const Row& r : rows) {
        WIN32_FIND_DATAW d;
        SetLastError(0xBEEF);
        HANDLE h = FindFirstFileW((W("t") + u"\\" + r.name).c_str(), &d);
        if (r.error) {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE) << r.what;
            EXPECT_EQ(GetLastError(), r.error) << r.what;
            continue;
        }
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << r.what;
        EXPECT_EQ(GetLastError(), 0u) << r.what;
        EXPECT_EQ(std::u16string(d.cFileName), r.name) << r.what;
        EXPECT_EQ(d.nFileSizeLow, r.size) << r.what;
        EXPECT_EQ(d.dwFileAttributes, r.attributes) << r.what;
        SetLastError(0);
        EXPECT_FALSE(FindNextFileW(h, &d)) << r.what;
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES) << r.what;
        EXPECT_TRUE(FindClose(h)) << r.what;
    }
    // The root directory gives "/name".
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(u"C:\\tmp", &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(d.cFileName), u"tmp");
    EXPECT_TRUE(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FindClose(h);
}

TEST_F(FindTest, NoDotEntriesAtADriveMountPath) {
    struct Row {
        const char* what;
        std::u16string path;
        std::vector<std::u16string> names;
    } rows[] = {
        {"the mount path of D:", u"D:\\*", {u"sub"}},
        {"the mount path with '*.*'", u"D:\\*.*", {u"sub"}},
        {"the mount path with '*.'", u"D:\\*.", {u"sub"}},
        {"a directory below it", u"D:\\sub\\*", {u".", u".."}},
        {"the mount path, nothing else matching", u"D:\\.*", {}},
    };
    for (const Row& r : rows) {
        DWORD error = 0;
        std::vector<std::u16string> got = Names(r.path, &error);
        EXPECT_EQ(got, r.names) << r.what;
        if (r.names.empty()) {
            EXPECT_EQ(error, ERROR_FILE_NOT_FOUND) << r.what;
        }
    }
    // The same directory reached under C: is a mount path too ("/" has a
    // letter), so this holds for the root by its own letter as well.
    std::vector<std::u16string> root = Names(u"C:\\*");
    EXPECT_EQ(std::count(root.begin(), root.end(), u"."), 0);
    EXPECT_EQ(std::count(root.begin(), root.end(), u"tmp"), 1);
}

TEST_F(FindTest, ErrorsLeaveNothingOpen) {
    WIN32_FIND_DATAW d;
    HANDLE first = FindFirstFileW((W("t") + u"\\*").c_str(), &d);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    FindClose(first);
    int fds = OpenDescriptors();

    std::u16string base = W("t");
    std::u16string longPattern = base + u"\\*" + std::u16string(259, u'a');
    std::u16string longDirectory = u"C:\\" + std::u16string(4092, u'd') + u"\\*";
    struct Row {
        const char* what;
        std::u16string path;
        bool nullPath;
        DWORD error;
    } rows[] = {
        {"a null path", u"", true, ERROR_FILE_NOT_FOUND},
        {"an empty path", u"", false, ERROR_FILE_NOT_FOUND},
        {"a trailing separator", base + u"\\", false, ERROR_FILE_NOT_FOUND},
        {"a trailing slash", base + u"/", false, ERROR_FILE_NOT_FOUND},
        {"just a drive", u"D:", false, ERROR_FILE_NOT_FOUND},
        {"a missing directory", base + u"\\missing\\*", false, ERROR_PATH_NOT_FOUND},
        {"a missing directory, one name", base + u"\\missing\\x", false, ERROR_PATH_NOT_FOUND},
        {"a file taken for a directory", base + u"\\plain.txt\\*", false, ERROR_PATH_NOT_FOUND},
        {"a link to a file taken for a directory", base + u"\\link-file\\*", false,
         ERROR_PATH_NOT_FOUND},
        {"an unmapped drive", u"Q:\\*", false, ERROR_PATH_NOT_FOUND},
        {"no name matches", base + u"\\nothing*", false, ERROR_FILE_NOT_FOUND},
        {"nothing in an empty directory but its dot entries", base + u"\\empty\\*x", false,
         ERROR_FILE_NOT_FOUND},
        {"a pattern longer than any name", longPattern, false, ERROR_FILENAME_EXCED_RANGE},
        {"a directory too long", longDirectory, false, ERROR_FILENAME_EXCED_RANGE},
    };
    for (const Row& r : rows) {
        SetLastError(0xBEEF);
        EXPECT_EQ(FindFirstFileW(r.nullPath ? nullptr : r.path.c_str(), &d), INVALID_HANDLE_VALUE)
            << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
    }
    SetLastError(0xBEEF);
    EXPECT_EQ(FindFirstFileW((base + u"\\*").c_str(), nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    EXPECT_EQ(OpenDescriptors(), fds);
    // Handles are given lowest slot first: no slot was left taken.
    HANDLE again = FindFirstFileW((W("t") + u"\\*").c_str(), &d);
    EXPECT_EQ(again, first);
    FindClose(again);
}

TEST_F(FindTest, HandlesOfOtherKindsAreRefused) {
    WIN32_FIND_DATAW d;
    HANDLE file = CreateFileW(W("t/plain.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(0);
    EXPECT_FALSE(FindNextFileW(file, &d));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(FindClose(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // The file handle is still open and usable.
    char c;
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(file, &c, 1, &n, nullptr));
    EXPECT_EQ(n, 1u);
    CloseHandle(file);

    HANDLE h = FindFirstFileW((W("t") + u"\\*").c_str(), &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    SetLastError(0);
    EXPECT_FALSE(FindNextFileW(h, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(FindClose(h));
    for (HANDLE bad : {h, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
        SetLastError(0);
        EXPECT_FALSE(FindNextFileW(bad, &d));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(FindClose(bad));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
}

TEST_F(FindTest, ReadFailuresAreReportedNotTakenForTheEnd) {
    WIN32_FIND_DATAW d;
    // "." and ".." come without reading; the first read then fails.
    HANDLE h = FindFirstFileW((W("t") + u"\\*").c_str(), &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    QSysInjectFault(QSYS_READDIR, 1, EIO);
    ASSERT_TRUE(FindNextFileW(h, &d));
    EXPECT_EQ(std::u16string(d.cFileName), u"..");
    SetLastError(0);
    EXPECT_FALSE(FindNextFileW(h, &d));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    FindClose(h);

    int fds = OpenDescriptors();
    struct Row {
        const char* what;
        QSysCall call;
        int err;
        DWORD error;
    } rows[] = {
        {"the first read fails", QSYS_READDIR, EIO, ERROR_GEN_FAILURE},
        {"the directory cannot be opened", QSYS_OPEN, EACCES, ERROR_ACCESS_DENIED},
        {"the directory vanished before it was opened", QSYS_OPEN, ENOENT, ERROR_PATH_NOT_FOUND},
    };
    for (const Row& r : rows) {
        QSysInjectFault(r.call, 1, r.err);
        SetLastError(0xBEEF);
        EXPECT_EQ(FindFirstFileW((W("t") + u"\\*.txt").c_str(), &d), INVALID_HANDLE_VALUE)
            << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
        QSysClearFaults();
    }
    EXPECT_EQ(OpenDescriptors(), fds);
}

TEST_F(FindTest, EntriesThatCannotBeExaminedAreListedOrSkipped) {
    dir.Write("one/only", "1");
    struct Row {
        const char* what;
        int err;
        bool listed;
        DWORD modeWord;
    } rows[] = {
        {"an entry examined normally", 0, true, 0x81A4},
        {"an entry gone since the directory was read is skipped", ENOENT, false, 0},
        {"an entry that cannot be examined is listed, mode unknown", EIO, true, 0x4000},
        {"an entry that may not be examined is listed, mode unknown", EACCES, true, 0x4000},
    };
    ASSERT_EQ(::chmod(dir.Sub("one/only").c_str(), 0644), 0);
    for (const Row& r : rows) {
        // The directory's own statx is the first; the entry's the second.
        if (r.err) QSysInjectFault(QSYS_STATX, 2, r.err);
        WIN32_FIND_DATAW d;
        SetLastError(0xBEEF);
        HANDLE h = FindFirstFileW((W("one") + u"\\o*").c_str(), &d);
        QSysClearFaults();
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, r.listed) << r.what;
        if (h == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << r.what;
            continue;
        }
        EXPECT_EQ(std::u16string(d.cFileName), u"only") << r.what;
        EXPECT_EQ(d.dwReserved1, r.modeWord) << r.what;
        EXPECT_EQ(d.dwFileAttributes, FILE_ATTRIBUTE_NORMAL) << r.what;
        FindClose(h);
    }
}

// Permission cases as the unprivileged user: a directory that may be read
// but not searched, and one that may be searched but not read.
TEST_F(FindTest, PermissionsAsAnUnprivilegedUser) {
    dir.OpenToAll();
    ASSERT_EQ(::chmod(dir.Sub("t").c_str(), 0755), 0);
    dir.Write("t/readonly-dir/f1", "1");
    dir.Write("t/readonly-dir/sub/f", "1");
    dir.Write("t/search-only/known", "k");
    ASSERT_EQ(::chmod(dir.Sub("t/readonly-dir").c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.Sub("t/search-only").c_str(), 0111), 0);
    ASSERT_EQ(::chmod(dir.Sub("t/search-only/known").c_str(), 0644), 0);
    std::u16string readonlyDir = W("t/readonly-dir") + u"\\*";
    std::u16string searchOnly = W("t/search-only") + u"\\*";
    std::u16string known = W("t/search-only/known");
    int result = qtest::RunUnprivileged([&]() -> int {
        // Every name of the readable directory is listed, though none can
        // be examined: no mode is known, a directory is still a directory.
        std::map<std::u16string, WIN32_FIND_DATAW> seen;
        WIN32_FIND_DATAW d;
        HANDLE h = FindFirstFileW(readonlyDir.c_str(), &d);
        if (h == INVALID_HANDLE_VALUE) return 1;
        do seen[d.cFileName] = d;
        while (FindNextFileW(h, &d));
        if (GetLastError() != ERROR_NO_MORE_FILES) return 2;
        FindClose(h);
        if (seen.size() != 4 || !seen.count(u".") || !seen.count(u"..")) return 3;
        if (!seen.count(u"f1") || seen[u"f1"].dwReserved1 != 0x4000) return 4;
        if (!seen.count(u"sub") || seen[u"sub"].dwFileAttributes != FILE_ATTRIBUTE_DIRECTORY)
            return 5;
        // A directory that cannot be read cannot be listed ...
        SetLastError(0);
        if (FindFirstFileW(searchOnly.c_str(), &d) != INVALID_HANDLE_VALUE) return 6;
        if (GetLastError() != ERROR_ACCESS_DENIED) return 7;
        // ... but a name in it can still be looked up.
        h = FindFirstFileW(known.c_str(), &d);
        if (h == INVALID_HANDLE_VALUE) return 8;
        if (d.nFileSizeLow != 1 || d.dwReserved1 != 0x81A4) return 9;
        FindClose(h);
        return 0;
    });
    EXPECT_EQ(result, 0);
    ASSERT_EQ(::chmod(dir.Sub("t/readonly-dir").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.Sub("t/search-only").c_str(), 0755), 0);
}

TEST(NameEscape, NamesAndPathsRoundTrip) {
    struct Row {
        const char* what;
        std::string bytes;
        std::u16string wide;
    } rows[] = {
        {"plain", "abc", u"abc"},
        {"backslash", "a\\b", u"a\xDC5C" u"b"},
        {"star and question mark", "*?", u"\xDC2A\xDC3F"},
        {"invalid bytes keep the byte escape", "\xFF", u"\xDCFF"},
        {"valid UTF-8 is decoded", "\xC3\xA9", u"\u00E9"},
    };
    for (const Row& r : rows) {
        WCHAR out[32];
        EXPECT_EQ(NameFromPosix(r.bytes.c_str(), -1, out, 32),
                  static_cast<SSIZE_T>(r.wide.size()))
            << r.what;
        EXPECT_EQ(std::u16string(out), r.wide) << r.what;
        char back[32];
        EXPECT_GE(Utf16ToUtf8(out, -1, back, sizeof back), 0) << r.what;
        EXPECT_EQ(std::string(back), r.bytes) << r.what;
    }
    WCHAR small[3];
    EXPECT_EQ(NameFromPosix("a\\bc", -1, small, 3), -1);
    EXPECT_EQ(std::u16string(small), u"a\xDC5C");
}

TEST_F(DriveMapTest, PathsMapTheNameEscapeBothWays) {
    SetMounts({{"/", "ext4", "/dev/vda1"}});
    WriteDrivesFile("c: /\n");
    WCHAR out[64];
    ASSERT_GT(PathFromPosix("/dir/a\\b/x*?", out, 64), 0);
    EXPECT_EQ(std::u16string(out), u"C:\\dir\\a\xDC5C" u"b\\x\xDC2A\xDC3F");
    EXPECT_STREQ(PathToPosix(out), "/dir/a\\b/x*?");
    // Typed text keeps the Windows meaning of the three characters.
    ASSERT_GT(PathFindDriveLetter(u"/dir/a\\b/*.txt", out, 64), 0);
    EXPECT_EQ(std::u16string(out), u"C:\\dir\\a\\b\\*.txt");
}

// The tag of the find data from an entry's facts and name.
TEST(FileFactsFindTag, LinksAndMountRoots) {
    struct Row {
        const char* what;
        uint32_t mode;
        bool mountRoot;
        const char* name;
        DWORD tag;
    } rows[] = {
        {"a plain directory", S_IFDIR | 0755, false, "dir", 0},
        {"a directory another file system is mounted on", S_IFDIR | 0755, true, "shm",
         FIND_DATA_MOUNT_TAG},
        {"a mount root seen as the searched directory", S_IFDIR | 0755, true, ".", 0},
        {"a mount root seen as the parent", S_IFDIR | 0755, true, "..", 0},
        {"a name that only begins with dots", S_IFDIR | 0755, true, "...", FIND_DATA_MOUNT_TAG},
        {"a file mounted over a file", S_IFREG | 0644, true, "null", 0},
        {"a symbolic link", S_IFLNK | 0777, false, "link", FIND_DATA_SYMLINK_TAG},
        {"a link stays a link whatever the flag", S_IFLNK | 0777, true, "link", FIND_DATA_SYMLINK_TAG},
        {"a regular file", S_IFREG | 0644, false, "f", 0},
    };
    for (const Row& r : rows) {
        FILE_FACTS f{};
        f.mode = r.mode;
        f.mountRoot = r.mountRoot;
        EXPECT_EQ(FileFactsFindTag(f, r.name), r.tag) << r.what;
    }
}

// A letter mapped to /dev: the directories the mount table lists directly
// below it carry the mount tag, every other entry keeps what it had, and
// "." and ".." never carry it.
TEST_F(DriveMapTest, DirectoriesOtherFileSystemsAreMountedOnCarryTheMountTag) {
    const std::set<std::string> mounted = qtest::MountPointsBelow("/dev");
    ASSERT_FALSE(mounted.empty()) << "the mount table lists nothing below /dev";
    WriteDrivesFile("c: /\nx: /dev\n");
    GetLogicalDrives();

    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(u"X:\\*", &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::set<std::string> tagged, directories;
    do {
        char name[1024];
        ASSERT_GE(Utf16ToUtf8(d.cFileName, -1, name, sizeof name), 0);
        const std::string path = std::string("/dev/") + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) continue; // gone since it was listed
        // Attributes are those of any entry of that kind.
        EXPECT_EQ(d.dwFileAttributes, FileAttributesOf(st, path.c_str())) << path;
        if (S_ISDIR(st.st_mode)) directories.insert(name);
        if (d.dwReserved0 == FIND_DATA_MOUNT_TAG) tagged.insert(name);
        else if (S_ISLNK(st.st_mode)) EXPECT_EQ(d.dwReserved0, FIND_DATA_SYMLINK_TAG) << path;
        else EXPECT_EQ(d.dwReserved0, 0u) << path;
    } while (FindNextFileW(h, &d));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    FindClose(h);
    std::set<std::string> mountedDirectories;
    for (const std::string& m : mounted)
        if (directories.count(m)) mountedDirectories.insert(m);
    ASSERT_FALSE(mountedDirectories.empty()) << "no directory below /dev is a mount point";
    EXPECT_EQ(tagged, mountedDirectories);

    // The same entry named alone, and its own listing.
    const std::string some = *mountedDirectories.begin();
    const std::u16string alone = u"X:\\" + Wide(some);
    h = FindFirstFileW(alone.c_str(), &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << some;
    EXPECT_EQ(d.dwReserved0, FIND_DATA_MOUNT_TAG) << some;
    EXPECT_NE(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << some;
    FindClose(h);
    h = FindFirstFileW((alone + u"\\*").c_str(), &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << some;
    int dots = 0;
    do {
        if (std::u16string(d.cFileName) == u"." || std::u16string(d.cFileName) == u"..") {
            dots++;
            EXPECT_EQ(d.dwReserved0, 0u) << some << " " << Show(d.cFileName);
        }
    } while (FindNextFileW(h, &d));
    FindClose(h);
    EXPECT_EQ(dots, 2) << some;
}

// ".." of a directory made inside a mount root names the mount root, and
// is not tagged; the directory made there is on the same file system.
TEST_F(DriveMapTest, TheParentOfADirectoryInsideAMountRootIsNotTagged) {
    const std::set<std::string> mounted = qtest::MountPointsBelow("/dev");
    ASSERT_TRUE(mounted.count("shm")) << "no file system mounted on /dev/shm";
    char made[] = "/dev/shm/quilb-mount-XXXXXX";
    ASSERT_NE(::mkdtemp(made), nullptr);
    const std::string inner = std::string(made) + "/inner";
    ASSERT_EQ(::mkdir(inner.c_str(), 0755), 0);
    WriteDrivesFile("c: /\nx: /dev\n");
    GetLogicalDrives();
    const std::string base = std::string(made).substr(std::strlen("/dev/"));
    const std::u16string pattern = u"X:\\" + Wide(base) + u"\\*";
    std::map<std::u16string, DWORD> tags;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(pattern.c_str(), &d);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) {
        do tags[d.cFileName] = d.dwReserved0;
        while (FindNextFileW(h, &d));
        FindClose(h);
    }
    ::rmdir(inner.c_str());
    ::rmdir(made);
    const std::map<std::u16string, DWORD> expected = {{u".", 0}, {u"..", 0}, {u"inner", 0}};
    EXPECT_EQ(tags, expected);
}

} // namespace
