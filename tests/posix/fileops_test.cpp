// Directories, deletion and links; full path names under drive letters and
// under no drive letter; short names; temporary names (their form, the
// bound of the output, exhaustion, and two processes at once); the file and
// program searches.
#include "drive_fixture.h"
#include "fileops_support.h"
#include "internal/sys.h"

#include <fcntl.h>

#include <cerrno>
#include <set>

namespace {

using fsops::Entries;
using fsops::Exists;
using fsops::LinkText;
using fsops::Lstat;
using fsops::Win;

// How the helpers below report a failed call.
std::string Failed(DWORD code) {
    return "error " + std::to_string(code);
}

// Changes the current directory for one scope.
class ScopedCwd {
  public:
    explicit ScopedCwd(const std::string& path) {
        char buf[4096];
        if (::getcwd(buf, sizeof buf)) old_ = buf;
        EXPECT_EQ(::chdir(path.c_str()), 0) << path;
    }
    ~ScopedCwd() {
        if (!old_.empty()) ::chdir(old_.c_str());
    }
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

  private:
    std::string old_;
};

class FileOpsTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    std::u16string W(const std::string& rel) { return Win(dir.Sub(rel)); }
    void TearDown() override { QSysClearFaults(); }
};

// ---- directories, deletion, links ------------------------------------------------

TEST_F(FileOpsTest, DirectoriesDeletionAndLinks) {
    dir.Write("file", "data");
    dir.Write("readonly", "keep me");
    ASSERT_EQ(::chmod(dir.Sub("readonly").c_str(), 0444), 0);
    dir.Write("full/inside", "x");
    dir.MakeDir("empty");
    dir.MakeDir("target");
    dir.Write("target/kept", "kept");
    ASSERT_EQ(::symlink("target", dir.Sub("dirlink").c_str()), 0);
    ASSERT_EQ(::symlink("target", dir.Sub("dirlink2").c_str()), 0);
    ASSERT_EQ(::symlink("readonly", dir.Sub("rolink").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", dir.Sub("dangling").c_str()), 0);
    dir.Write("victim", "v");

    enum Op { kMkdir, kRmdir, kDelete };
    struct Row {
        const char* what;
        Op op;
        const char* name;
        DWORD error;
        bool existsAfter;
    } rows[] = {
        {"make a directory", kMkdir, "newdir", 0, true},
        {"make an existing directory", kMkdir, "empty", ERROR_ALREADY_EXISTS, true},
        {"make over a file", kMkdir, "file", ERROR_ALREADY_EXISTS, true},
        {"make with a missing parent", kMkdir, "no/dir", ERROR_PATH_NOT_FOUND, false},
        {"remove an empty directory", kRmdir, "empty", 0, false},
        {"remove a full directory", kRmdir, "full", ERROR_DIR_NOT_EMPTY, true},
        {"remove a file as a directory", kRmdir, "file", ERROR_DIRECTORY, true},
        {"remove a missing directory", kRmdir, "missing", ERROR_FILE_NOT_FOUND, false},
        {"remove a link to a directory: only the link", kRmdir, "dirlink", 0, false},
        {"remove a link named with a separator", kRmdir, "dirlink2/", 0, false},
        {"delete a file", kDelete, "victim", 0, false},
        {"delete a read-only file", kDelete, "readonly", ERROR_ACCESS_DENIED, true},
        {"delete a directory", kDelete, "full", ERROR_ACCESS_DENIED, true},
        {"delete a link to a read-only file", kDelete, "rolink", 0, false},
        {"delete a dangling link", kDelete, "dangling", 0, false},
        {"delete a missing file", kDelete, "missing", ERROR_FILE_NOT_FOUND, false},
        {"delete in a missing directory", kDelete, "no/file", ERROR_PATH_NOT_FOUND, false},
    };
    for (const Row& r : rows) {
        std::u16string name = W(r.name);
        SetLastError(0xBEEF);
        BOOL ok = r.op == kMkdir   ? CreateDirectoryW(name.c_str(), nullptr)
                  : r.op == kRmdir ? RemoveDirectoryW(name.c_str())
                                   : DeleteFileW(name.c_str());
        EXPECT_EQ(ok, r.error == 0) << r.what;
        EXPECT_EQ(GetLastError(), r.error ? r.error : 0xBEEF) << r.what;
        std::string path = dir.Sub(r.name);
        while (path.back() == '/')
            path.pop_back();
        EXPECT_EQ(Exists(path), r.existsAfter) << r.what;
    }
    EXPECT_TRUE(S_ISDIR(Lstat(dir.Sub("newdir")).st_mode));
    EXPECT_EQ(qtest::ReadFile(dir.Sub("target/kept")), "kept");
    EXPECT_EQ(qtest::ReadFile(dir.Sub("readonly")), "keep me");

    SetLastError(0);
    EXPECT_FALSE(DecryptFileW(W("file").c_str(), 0));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

TEST_F(FileOpsTest, HardAndSymbolicLinks) {
    dir.Write("file", "data");
    dir.Write("taken", "taken");
    ASSERT_TRUE(CreateHardLinkW(W("hard").c_str(), W("file").c_str(), nullptr));
    EXPECT_EQ(Lstat(dir.Sub("hard")).st_ino, Lstat(dir.Sub("file")).st_ino);

    auto hard = [&](const char* made, const char* existing) {
        return CreateHardLinkW(W(made).c_str(), W(existing).c_str(), nullptr);
    };
    struct Call {
        const char* what;
        const char* made;
        const char* existing;
        DWORD error;
    } hardCalls[] = {
        {"new name taken", "taken", "file", ERROR_ALREADY_EXISTS},
        {"existing name missing", "new1", "missing", ERROR_FILE_NOT_FOUND},
        {"new name in a missing directory", "no/new", "file", ERROR_PATH_NOT_FOUND},
    };
    for (const Call& c : hardCalls) {
        SetLastError(0xBEEF);
        EXPECT_FALSE(hard(c.made, c.existing)) << c.what;
        EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    EXPECT_EQ(qtest::ReadFile(dir.Sub("taken")), "taken");

    // Symbolic links: the target text is mapped, not resolved.
    struct LinkRow {
        const char* what;
        const char* link;
        std::u16string target;
        DWORD error;
        std::string text; // the link's text afterwards
    } links[] = {
        {"relative target stays relative", "rel", u"..\\x\\y", 0, "../x/y"},
        {"drive path becomes a POSIX path", "abs", W("file"), 0, dir.Sub("file")},
        {"link name taken", "taken", u"file", ERROR_ALREADY_EXISTS, ""},
        {"empty target", "empty", u"", ERROR_INVALID_PARAMETER, ""},
        {"link in a missing directory", "no/link", u"file", ERROR_PATH_NOT_FOUND, ""},
    };
    for (const LinkRow& l : links) {
        SetLastError(0xBEEF);
        BOOLEAN ok = CreateSymbolicLinkW(W(l.link).c_str(), l.target.c_str(), 0);
        EXPECT_EQ(ok != 0, l.error == 0) << l.what;
        EXPECT_EQ(GetLastError(), l.error ? l.error : 0xBEEF) << l.what;
        EXPECT_EQ(LinkText(dir.Sub(l.link)), l.text) << l.what;
    }
    EXPECT_EQ(qtest::ReadFile(dir.Sub("abs")), "data");
}

TEST_F(FileOpsTest, NullAndEmptyNames) {
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryW(nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // An empty name names nothing; it is never taken for the root.
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryW(u"", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    SetLastError(0);
    EXPECT_FALSE(RemoveDirectoryW(u""));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(u""));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    SetLastError(0);
    EXPECT_FALSE(RemoveDirectoryW(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_FALSE(DeleteFileW(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FileOpsTest, ShortNameIsTheLongName) {
    dir.Write("a file with a long name.text", "x");
    std::u16string name = W("a file with a long name.text");
    DWORD len = static_cast<DWORD>(name.size());
    std::vector<WCHAR> out(len + 10, u'#');
    EXPECT_EQ(GetShortPathNameW(name.c_str(), out.data(), len + 1), len);
    EXPECT_EQ(std::u16string(out.data()), name);
    // Too small: the size needed, nothing written.
    std::fill(out.begin(), out.end(), u'#');
    EXPECT_EQ(GetShortPathNameW(name.c_str(), out.data(), len), len + 1);
    EXPECT_EQ(out[0], u'#');
    EXPECT_EQ(GetShortPathNameW(name.c_str(), nullptr, 0), len + 1);
    // The same buffer in and out.
    std::vector<WCHAR> same(name.begin(), name.end());
    same.push_back(0);
    EXPECT_EQ(GetShortPathNameW(same.data(), same.data(), len + 1), len);
    EXPECT_EQ(std::u16string(same.data()), name);
    SetLastError(0);
    EXPECT_EQ(GetShortPathNameW(W("missing").c_str(), out.data(), 100), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    std::string narrow = fsops::Narrow(name);
    char buf[4200];
    EXPECT_EQ(GetShortPathNameA(narrow.c_str(), buf, sizeof buf), narrow.size());
    EXPECT_EQ(std::string(buf), narrow);
    EXPECT_EQ(GetShortPathNameA(narrow.c_str(), buf, 3), narrow.size() + 1);
}

// ---- full path names -------------------------------------------------------------

// Drives C: and D: on directories of the fixture, so that the expected forms
// do not depend on the machine.
class FullPathTest : public DriveMapTest {
  protected:
    void SetUp() override {
        dir.MakeDir("c/work");
        dir.MakeDir("d/work");
        dir.MakeDir("elsewhere/deep");
        WriteDrivesFile("C: " + dir.Sub("c") + "\nD: " + dir.Sub("d") + "\n");
        SetMounts({{"/", "ext4", "/dev/root"}});
    }
    // GetFullPathNameW into a roomy buffer; "error N" when it fails.
    std::string Full(const WCHAR* name) {
        static WCHAR out[16384];
        SetLastError(0xBEEF);
        DWORD n = GetFullPathNameW(name, 16384, out, nullptr);
        if (n == 0) return Failed(GetLastError());
        EXPECT_EQ(GetLastError(), 0xBEEFu);
        EXPECT_EQ(n, std::char_traits<char16_t>::length(out));
        return fsops::Narrow(out);
    }
};

TEST_F(FullPathTest, NamesCompletedOnDriveLetters) {
    ScopedCwd cwd(dir.Sub("c/work"));
    struct Row {
        const char* what;
        const WCHAR* name;
        std::string full;
    } rows[] = {
        {"dot and dot-dot parts", u"C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
        {"never above the root", u"C:\\..", "C:\\"},
        {"never above the root, many times", u"c:\\a\\..\\..\\..\\b", "C:\\b"},
        {"drive letter upper-cased", u"d:\\x", "D:\\x"},
        {"drive-relative taken from the root", u"C:dir", "C:\\dir"},
        {"bare drive", u"D:", "D:\\"},
        {"slashes and doubled separators", u"C:/a//b\\\\c", "C:\\a\\b\\c"},
        {"trailing separator kept", u"dir\\", "C:\\work\\dir\\"},
        {"trailing slash kept as backslash", u"dir/", "C:\\work\\dir\\"},
        {"trailing dot dropped", u"dir\\.", "C:\\work\\dir"},
        {"relative name", u"a\\b", "C:\\work\\a\\b"},
        {"current directory", u".", "C:\\work"},
        {"parent of the current directory", u"..", "C:\\"},
        {"relative name never above the root", u"..\\..\\..\\x", "C:\\x"},
        {"root-relative on the current drive", u"\\x\\y", "C:\\x\\y"},
        {"UNC name", u"\\\\server\\share\\..\\x", "\\\\server\\x"},
        {"UNC name with trailing separator", u"\\\\server\\share\\", "\\\\server\\share\\"},
        {"trailing separator of the root only", u"C:\\", "C:\\"},
        {"long-path prefix keeps its drive as the root", u"\\\\?\\c:\\a\\..\\..\\b",
         "\\\\?\\C:\\b"},
        {"empty name", u"", Failed(ERROR_INVALID_NAME)},
        {"null name", nullptr, Failed(ERROR_INVALID_NAME)},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Full(r.name), r.full) << r.what;

    // Names of many parts are completed whole, never cut to a shorter path
    // that would name another file.
    std::u16string deep = u"C:";
    for (int i = 0; i < 3000; i++)
        deep += u"\\p";
    deep += u"\\file";
    EXPECT_EQ(Full(deep.c_str()), fsops::Narrow(deep));

    // A root-relative name takes the drive of the current directory, also
    // when that is not the drive's root.
    ScopedCwd onD(dir.Sub("d/work"));
    EXPECT_EQ(Full(u"\\x"), "D:\\x");
    EXPECT_EQ(Full(u"y"), "D:\\work\\y");
}

// A current directory under no drive letter has the form "\dir\...": names
// are completed below that root and never put on an invented drive.
TEST_F(FullPathTest, NamesCompletedUnderNoDriveLetter) {
    std::string deep = dir.Sub("elsewhere/deep");
    ScopedCwd cwd(deep);
    std::string base = fsops::Narrow(Win(deep)); // "\tmp\...\elsewhere\deep"
    ASSERT_EQ(base[0], '\\');
    ASSERT_NE(base[1], ':');
    std::string parent = base.substr(0, base.rfind('\\'));
    struct Row {
        const char* what;
        const WCHAR* name;
        std::string full;
    } rows[] = {
        {"relative name", u"x", base + "\\x"},
        {"current directory", u".", base},
        {"parent", u"..", parent},
        {"root-relative name stays without a drive", u"\\etc\\x", "\\etc\\x"},
        {"never above the root", u"..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..", "\\"},
        {"drive names still on their drive", u"C:\\x", "C:\\x"},
    };
    for (const Row& r : rows) {
        std::string got = Full(r.name);
        EXPECT_EQ(got, r.full) << r.what;
        EXPECT_EQ(got.find("C:"), r.full.find("C:")) << r.what << ": no drive is invented";
    }
    // The completed form maps back to the same POSIX path.
    WCHAR out[4200];
    ASSERT_GT(GetFullPathNameW(u"x", 4200, out, nullptr), 0u);
    EXPECT_EQ(std::string(PathToPosix(out)), deep + "/x");
}

TEST_F(FullPathTest, RemovedCurrentDirectoryGivesNoGuess) {
    std::string gone = dir.MakeDir("gone");
    ScopedCwd cwd(gone);
    ASSERT_EQ(::rmdir(gone.c_str()), 0);
    EXPECT_EQ(Full(u"x"), Failed(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Full(u"\\x"), "\\x");
    EXPECT_EQ(Full(u"D:x"), "D:\\x");
}

TEST_F(FullPathTest, OutputSizeAndFilePart) {
    ScopedCwd cwd(dir.Sub("c/work"));
    const WCHAR* name = u"sub\\file.txt"; // "C:\work\sub\file.txt", 20 units
    const DWORD len = 20;
    WCHAR out[64];
    LPWSTR part = nullptr;
    std::fill(std::begin(out), std::end(out), u'#');
    EXPECT_EQ(GetFullPathNameW(name, len, out, &part), len + 1);
    EXPECT_EQ(out[0], u'#') << "nothing is written when it does not fit";
    EXPECT_EQ(part, nullptr);
    EXPECT_EQ(GetFullPathNameW(name, 0, nullptr, nullptr), len + 1);
    EXPECT_EQ(GetFullPathNameW(name, len + 1, out, &part), len);
    EXPECT_EQ(std::u16string(out), u"C:\\work\\sub\\file.txt");
    EXPECT_EQ(out[len + 1], u'#');
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(std::u16string(part), u"file.txt");
    part = out;
    EXPECT_EQ(GetFullPathNameW(u"sub\\", 64, out, &part), 12u);
    EXPECT_EQ(part, nullptr) << "a result ending in a backslash has no file part";
}

// ---- temporary names -------------------------------------------------------------

TEST_F(FileOpsTest, TempFileNameForms) {
    struct Row {
        const char* what;
        const WCHAR* directory;
        const WCHAR* prefix;
        UINT unique;
        const char* name;
    } rows[] = {
        {"backslash added", u"C:\\tmp", u"abc", 0x1A2B, "C:\\tmp\\abc1A2B.tmp"},
        {"no second backslash", u"C:\\tmp\\", u"abc", 0x1A2B, "C:\\tmp\\abc1A2B.tmp"},
        {"prefix cut to three", u"C:\\tmp", u"abcdef", 0xF, "C:\\tmp\\abcF.tmp"},
        {"no prefix", u"C:\\tmp", nullptr, 0x10, "C:\\tmp\\10.tmp"},
        {"empty directory", u"", u"q", 0xBEEF, "qBEEF.tmp"},
        {"low 16 bits of unique", u"x", u"q", 0x12345, "x\\q2345.tmp"},
    };
    for (const Row& r : rows) {
        WCHAR out[MAX_PATH];
        EXPECT_EQ(GetTempFileNameW(r.directory, r.prefix, r.unique, out), r.unique) << r.what;
        EXPECT_EQ(fsops::Narrow(out), r.name) << r.what;
    }
    // With a given number nothing is created.
    WCHAR out[MAX_PATH];
    ASSERT_EQ(GetTempFileNameW(W("").c_str(), u"qt", 0x77, out), 0x77u);
    EXPECT_TRUE(Entries(dir.path()).empty());
}

// The name never runs past the MAX_PATH units of the output: one that
// needs 260 with its terminator is made, one more is refused.
TEST_F(FileOpsTest, TempFileNameStaysInsideItsOutput) {
    for (size_t units : {size_t{259}, size_t{260}, size_t{400}}) {
        // "X\" + padding + "\p" + "1" + ".tmp" == units
        std::u16string directory = u"C:\\" + std::u16string(units - 3 - 7, u'd');
        WCHAR out[MAX_PATH + 8];
        std::fill(std::begin(out), std::end(out), u'#');
        SetLastError(0xBEEF);
        UINT r = GetTempFileNameW(directory.c_str(), u"p", 1, out);
        if (units <= 259) {
            EXPECT_EQ(r, 1u) << units;
            EXPECT_EQ(std::char_traits<char16_t>::length(out), units) << units;
        } else {
            EXPECT_EQ(r, 0u) << units;
            EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE) << units;
            EXPECT_EQ(out[0], 0) << units;
        }
        for (size_t i = MAX_PATH; i < MAX_PATH + 8; i++)
            EXPECT_EQ(out[i], u'#') << units;
    }
    // The same bound when numbers are searched and files made.
    std::u16string base = W("");
    std::u16string directory = base + std::u16string(MAX_PATH - base.size() - 8, u'd');
    ASSERT_EQ(::mkdir(PathToPosix(directory.c_str()), 0755), 0);
    WCHAR out[MAX_PATH + 8];
    std::fill(std::begin(out), std::end(out), u'#');
    SetLastError(0xBEEF);
    EXPECT_EQ(GetTempFileNameW(directory.c_str(), u"pre", 0, out), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    for (size_t i = MAX_PATH; i < MAX_PATH + 8; i++)
        EXPECT_EQ(out[i], u'#');
    EXPECT_TRUE(Entries(PathToPosix(directory.c_str())).empty());
}

TEST_F(FileOpsTest, TempFileNameCreatesAFreshEmptyFile) {
    std::u16string d = Win(dir.path());
    std::set<std::u16string> seen;
    for (int i = 0; i < 20; i++) {
        WCHAR out[MAX_PATH];
        UINT n = GetTempFileNameW(d.c_str(), u"qtmp", 0, out);
        ASSERT_NE(n, 0u);
        WCHAR expected[MAX_PATH];
        swprintf(expected, MAX_PATH, u"%s\\qtm%X.tmp", d.c_str(), n);
        EXPECT_EQ(std::u16string(out), expected);
        EXPECT_TRUE(seen.insert(out).second) << "a name given twice";
        struct stat st = Lstat(PathToPosix(out));
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_size, 0);
    }
    EXPECT_EQ(Entries(dir.path()).size(), 20u);

    SetLastError(0);
    WCHAR out[MAX_PATH];
    EXPECT_EQ(GetTempFileNameW(W("missing").c_str(), u"q", 0, out), 0u);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    SetLastError(0);
    EXPECT_EQ(GetTempFileNameW(nullptr, u"q", 0, out), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// In a directory where all numbers but three are taken, the three are found
// wherever the search starts, no taken name is opened over, and then the
// search ends with 80 instead of looping.
TEST_F(FileOpsTest, TempFileNameFindsTheLastFreeNumbersThenFails) {
    // Many files: on the memory file system when there is one, for speed.
    fsops::OtherFileSystem shm;
    std::string d = shm.available() ? shm.dir().MakeDir("full") : dir.MakeDir("full");
    const std::set<UINT> freeNumbers = {0x1, 0x8000, 0xFFFF};
    for (unsigned n = 1; n <= 0xFFFF; n++) {
        if (freeNumbers.count(n)) continue;
        char name[32];
        snprintf(name, sizeof name, "/t%X.tmp", n);
        int fd = ::open((d + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0) << name;
        ASSERT_EQ(::write(fd, "taken", 5), 5);
        ::close(fd);
    }
    std::u16string wd = Win(d);
    std::set<UINT> given;
    for (int i = 0; i < 3; i++) {
        WCHAR out[MAX_PATH];
        UINT n = GetTempFileNameW(wd.c_str(), u"t", 0, out);
        ASSERT_NE(n, 0u) << i;
        given.insert(n);
        EXPECT_EQ(Lstat(PathToPosix(out)).st_size, 0) << i;
    }
    EXPECT_EQ(given, freeNumbers);
    WCHAR out[MAX_PATH];
    SetLastError(0);
    EXPECT_EQ(GetTempFileNameW(wd.c_str(), u"t", 0, out), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    std::vector<std::string> names = Entries(d);
    EXPECT_EQ(names.size(), 0xFFFFu);
    for (const std::string& name : names) {
        std::string n = name.substr(1, name.size() - 5);
        if (freeNumbers.count(static_cast<UINT>(std::stoul(n, nullptr, 16)))) continue;
        if (Lstat(d + "/" + name).st_size != 5) ADD_FAILURE() << name << " was opened over";
    }
}

// Two processes asking for names in one directory at the same time never get
// the same one: each name is created exclusively.
TEST_F(FileOpsTest, TwoProcessesNeverGetTheSameTempName) {
    const int perProcess = 300;
    std::u16string d = W("");
    int pipes[2][2];
    pid_t pids[2];
    for (int p = 0; p < 2; p++) {
        ASSERT_EQ(::pipe(pipes[p]), 0);
        pids[p] = ::fork();
        ASSERT_GE(pids[p], 0);
        if (pids[p] == 0) {
            ::close(pipes[p][0]);
            for (int i = 0; i < perProcess; i++) {
                WCHAR out[MAX_PATH];
                UINT n = GetTempFileNameW(d.c_str(), u"tw", 0, out);
                if (n == 0) ::_exit(1);
                // Some are deleted again, so that numbers come free and are
                // fought over; only the names kept are reported.
                if (i % 3 == 0) {
                    ::unlink(PathToPosix(out));
                    continue;
                }
                char line[16];
                int len = snprintf(line, sizeof line, "%X\n", n);
                if (::write(pipes[p][1], line, static_cast<size_t>(len)) != len) ::_exit(2);
            }
            ::_exit(0);
        }
        ::close(pipes[p][1]);
    }
    std::set<std::string> kept[2];
    for (int p = 0; p < 2; p++) {
        std::string all;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(pipes[p][0], buf, sizeof buf)) > 0)
            all.append(buf, static_cast<size_t>(n));
        ::close(pipes[p][0]);
        int status = 0;
        ASSERT_EQ(::waitpid(pids[p], &status, 0), pids[p]);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "process " << p;
        for (size_t i = 0; i < all.size();) {
            size_t e = all.find('\n', i);
            kept[p].insert(all.substr(i, e - i));
            i = e + 1;
        }
        EXPECT_EQ(kept[p].size(), static_cast<size_t>(perProcess - perProcess / 3)) << p;
    }
    // A name kept by both would be one file handed to two processes.
    for (const std::string& name : kept[0])
        EXPECT_EQ(kept[1].count(name), 0u) << name;
    EXPECT_EQ(Entries(dir.path()).size(), static_cast<size_t>(2 * (perProcess - perProcess / 3)));
}

// ---- searching -------------------------------------------------------------------

class SearchTest : public FileOpsTest {
  protected:
    std::string Search(const WCHAR* list, const WCHAR* name, const WCHAR* ext = nullptr,
                       bool program = false) {
        WCHAR out[4200];
        LPWSTR part = nullptr;
        SetLastError(0xBEEF);
        DWORD n = program ? SearchProgramPathW(list, name, ext, 4200, out, &part)
                          : SearchPathW(list, name, ext, 4200, out, &part);
        if (n == 0) return Failed(GetLastError());
        EXPECT_EQ(GetLastError(), 0xBEEFu);
        EXPECT_NE(part, nullptr);
        return PathToPosix(out);
    }
};

TEST_F(SearchTest, GivenPathList) {
    dir.MakeDir("a/tool"); // a directory is never the answer
    dir.Write("b/tool", "b");
    dir.Write("b/tool.exe", "b");
    dir.Write("a/lib.dll", "a");
    dir.Write("b/lib.dll", "b");
    dir.Write("c/x.cfg", "c");
    std::u16string list = W("a") + u";" + W("b") + u"\\;" + W("c");
    struct Row {
        const char* what;
        std::u16string list;
        std::u16string name; // empty: a null name
        std::u16string ext;  // empty: none
        std::string found;
    } rows[] = {
        {"directories are passed over", list, u"tool", u"", dir.Sub("b/tool")},
        {"first element wins", list, u"lib.dll", u"", dir.Sub("a/lib.dll")},
        {"element ending in a backslash", W("b") + u"\\", u"lib.dll", u"", dir.Sub("b/lib.dll")},
        {"extension appended to a name without a dot", list, u"tool", u".exe",
         dir.Sub("b/tool.exe")},
        {"extension not appended to a name with a dot", list, u"x.cfg", u".exe",
         dir.Sub("c/x.cfg")},
        {"not found", list, u"none", u"", Failed(ERROR_FILE_NOT_FOUND)},
        {"empty list", u"", u"lib.dll", u"", Failed(ERROR_FILE_NOT_FOUND)},
        {"empty elements skipped", u";;" + W("c"), u"x.cfg", u"", dir.Sub("c/x.cfg")},
        {"a long list is searched to its end", std::u16string(9000, u';') + W("c"), u"x.cfg", u"",
         dir.Sub("c/x.cfg")},
        {"absolute name is not searched", u"", W("c/x.cfg"), u"", dir.Sub("c/x.cfg")},
        {"absolute name missing", list, W("c") + u"\\none", u"", Failed(ERROR_FILE_NOT_FOUND)},
        {"null name", list, u"", u"", Failed(ERROR_INVALID_PARAMETER)},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Search(r.list.c_str(), r.name.empty() ? nullptr : r.name.c_str(),
                         r.ext.empty() ? nullptr : r.ext.c_str()),
                  r.found)
            << r.what;
    }

    // Output too small: the size needed, nothing written.
    std::u16string full = W("b/tool");
    WCHAR out[8] = {u'#'};
    EXPECT_EQ(SearchPathW(list.c_str(), u"tool", nullptr, 8, out, nullptr), full.size() + 1);
    EXPECT_EQ(out[0], u'#');
}

// The documented default searches the current directory before PATH; the
// program search never looks there on its own, nor through relative or
// empty PATH elements, and finds only what may be executed.
TEST_F(SearchTest, DefaultListAndProgramSearch) {
    dir.Write("cwd/tool", "planted");
    ASSERT_EQ(::chmod(dir.Sub("cwd/tool").c_str(), 0755), 0);
    dir.Write("cwd/sub/tool", "named");
    ASSERT_EQ(::chmod(dir.Sub("cwd/sub/tool").c_str(), 0755), 0);
    dir.Write("p1/tool", "not executable");
    dir.Write("p2/tool", "real");
    ASSERT_EQ(::chmod(dir.Sub("p2/tool").c_str(), 0755), 0);
    dir.Write("p1/data.txt", "data");
    std::string path = "::.:cwd:" + dir.Sub("p1") + ":" + dir.Sub("p2");
    qtest::ScopedEnv env("PATH", path.c_str());
    ScopedCwd cwd(dir.Sub("cwd"));

    EXPECT_EQ(Search(nullptr, u"tool"), dir.Sub("cwd/tool")) << "current directory first";
    EXPECT_EQ(Search(nullptr, u"data.txt"), dir.Sub("p1/data.txt"));
    EXPECT_EQ(Search(nullptr, u"tool", nullptr, true), dir.Sub("p2/tool"));
    EXPECT_EQ(Search(nullptr, u"data.txt", nullptr, true), Failed(ERROR_FILE_NOT_FOUND))
        << "not executable";
    // Relative elements of a given list are skipped for programs.
    std::u16string list = u".;cwd;" + W("p2");
    EXPECT_EQ(Search(list.c_str(), u"tool", nullptr, true), dir.Sub("p2/tool"));
    EXPECT_EQ(Search(u".;cwd", u"tool", nullptr, true), Failed(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Search(u".", u"tool"), dir.Sub("cwd/tool"));
    // A name the user gave with a directory is taken as named, not searched.
    EXPECT_EQ(Search(nullptr, u"sub\\tool", nullptr, true), dir.Sub("cwd/sub/tool"));
    EXPECT_EQ(Search(nullptr, u"sub\\none", nullptr, true), Failed(ERROR_FILE_NOT_FOUND));

    // The program's own directory comes first in both lists.
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    std::string exe = self;
    std::string leaf = exe.substr(exe.rfind('/') + 1);
    std::u16string base(leaf.begin(), leaf.end());
    EXPECT_EQ(Search(nullptr, base.c_str()), exe);
    EXPECT_EQ(Search(nullptr, base.c_str(), nullptr, true), exe);
}

// Every constant of the file-system operations, pinned to its number.
TEST(FileOpsConstants, Numbers) {
    struct Row {
        const char* name;
        DWORD value;
        DWORD number;
    } rows[] = {
        {"COPY_FILE_FAIL_IF_EXISTS", COPY_FILE_FAIL_IF_EXISTS, 1},
        {"COPY_FILE_ALLOW_DECRYPTED_DESTINATION", COPY_FILE_ALLOW_DECRYPTED_DESTINATION, 8},
        {"MOVEFILE_REPLACE_EXISTING", MOVEFILE_REPLACE_EXISTING, 1},
        {"MOVEFILE_COPY_ALLOWED", MOVEFILE_COPY_ALLOWED, 2},
        {"SYMBOLIC_LINK_FLAG_DIRECTORY", SYMBOLIC_LINK_FLAG_DIRECTORY, 1},
        {"CALLBACK_CHUNK_FINISHED", CALLBACK_CHUNK_FINISHED, 0},
        {"CALLBACK_STREAM_SWITCH", CALLBACK_STREAM_SWITCH, 1},
        {"PROGRESS_CONTINUE", PROGRESS_CONTINUE, 0},
        {"PROGRESS_CANCEL", PROGRESS_CANCEL, 1},
        {"PROGRESS_STOP", PROGRESS_STOP, 2},
        {"PROGRESS_QUIET", PROGRESS_QUIET, 3},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.value, r.number) << r.name;
}

} // namespace
