// UTF-8/UTF-16 conversion with the byte escape, and the mapping between
// Windows paths and POSIX paths through a fixture drive map.
#include "drive_fixture.h"
#include "qposix_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <set>

namespace {

std::u16string Utf16(const std::string& utf8, bool escape = true) {
    std::vector<WCHAR> out(utf8.size() + 1);
    SSIZE_T n = Utf8ToUtf16(utf8.data(), static_cast<SSIZE_T>(utf8.size()), out.data(), out.size(),
                            escape);
    EXPECT_GE(n, 0);
    return std::u16string(out.data(), n < 0 ? 0 : static_cast<size_t>(n));
}

std::string Utf8(const std::u16string& s) {
    std::vector<char> out(s.size() * 3 + 1);
    SSIZE_T n = Utf16ToUtf8(s.data(), static_cast<SSIZE_T>(s.size()), out.data(), out.size());
    EXPECT_GE(n, 0);
    return std::string(out.data(), n < 0 ? 0 : static_cast<size_t>(n));
}

TEST(Utf8ToUtf16, DecodesAndEscapes) {
    struct Row {
        const char* what;
        std::string in;
        bool escape;
        std::u16string out;
    } rows[] = {
        {"ascii", "abc", true, u"abc"},
        {"two-byte", "\xC3\xA9", true, u"\u00E9"},
        {"three-byte", "\xE2\x82\xAC", true, u"\u20AC"},
        {"supplementary becomes a pair", "\xF0\x9F\x98\x80", true, u"\xD83D\xDE00"},
        {"invalid byte escaped", "a\xFFz", true, u"a\xDCFFz"},
        {"invalid byte as itself without escape", "a\xFFz", false, u"a\u00FFz"},
        {"lead byte C0 is invalid", "\xC0\x80", true, u"\xDCC0\xDC80"},
        {"cut sequence escapes its lead", "\xE2\x82", true, u"\xDCE2\xDC82"},
        {"overlong three-byte escaped", "\xE0\x80\x80", true, u"\xDCE0\xDC80\xDC80"},
        {"overlong three-byte no character without escape", "\xE0\x81\x81", false, u"\uFFFD"},
        {"encoded surrogate escaped", "\xED\xB2\x80", true, u"\xDCED\xDCB2\xDC80"},
        {"overlong four-byte escaped", "\xF0\x80\x80\x80", true,
         u"\xDCF0\xDC80\xDC80\xDC80"},
        {"above U+10FFFF escaped", "\xF4\x90\x80\x80", true, u"\xDCF4\xDC90\xDC80\xDC80"},
    };
    for (const Row& r : rows) EXPECT_EQ(Utf16(r.in, r.escape), r.out) << r.what;
}

TEST(Utf8ToUtf16, SmallOutputFailsButStaysTerminated) {
    WCHAR out[3] = {1, 1, 1};
    // "ab" + a pair: the pair does not fit after "ab" (3 units with terminator).
    EXPECT_EQ(Utf8ToUtf16("ab\xF0\x9F\x98\x80", -1, out, 3, true), -1);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(out[1], 'b');
    EXPECT_EQ(out[2], 0);
    WCHAR one[1] = {1};
    EXPECT_EQ(Utf8ToUtf16("", -1, one, 1, true), 0);
    EXPECT_EQ(one[0], 0);
    EXPECT_EQ(Utf8ToUtf16("x", -1, one, 1, true), -1);
    EXPECT_EQ(one[0], 0);
}

TEST(Utf16ToUtf8, EncodesEscapesAndLoneSurrogates) {
    struct Row {
        const char* what;
        std::u16string in;
        std::string out;
    } rows[] = {
        {"escaped byte back to the byte", u"\xDCFF", "\xFF"},
        {"pair to four bytes", u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {"pair whose low half lies in the escape range", u"\xD800\xDC80",
         "\xF0\x90\x82\x80"},
        {"unpaired high surrogate, three-byte form", u"\xD800x", "\xED\xA0\x80x"},
        {"lone low surrogate outside the escape range", u"\xDC00", "\xED\xB0\x80"},
        {"two-byte", u"\u00E9", "\xC3\xA9"},
    };
    for (const Row& r : rows) EXPECT_EQ(Utf8(r.in), r.out) << r.what;

    // A high surrogate that ends a counted input is not paired with what
    // lies beyond the count.
    const WCHAR text[] = {0xD83D, 0xDE00, 0};
    char out[8];
    EXPECT_EQ(Utf16ToUtf8(text, 1, out, sizeof out), 3);
    EXPECT_STREQ(out, "\xED\xA0\xBD");
}

TEST(Utf16ToUtf8, SmallOutputTerminatesAfterLastWholeCharacter) {
    char out[4];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(Utf16ToUtf8(u"a\u20AC", -1, out, sizeof out), -1);
    EXPECT_STREQ(out, "a");
    EXPECT_EQ(Utf16ToUtf8(u"ab\u00E9", -1, out, sizeof out), -1);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(Utf16ToUtf8(u"a\u00E9", -1, out, sizeof out), 3);
}

// Every byte string survives UTF-8 -> UTF-16 (escaped) -> UTF-8 unchanged.
TEST(Utf8ToUtf16, EveryByteStringRoundTrips) {
    const uint32_t seed = 20261210;
    std::mt19937 rng(seed);
    // Bytes chosen to hit lead bytes, continuation bytes and their edges.
    const unsigned char interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0xBF, 0xC0, 0xC1,
                                         0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF,
                                         0xA0, 0x9F};
    for (int iter = 0; iter < 20000; iter++) {
        size_t len = rng() % 12;
        std::string bytes;
        for (size_t i = 0; i < len; i++) {
            unsigned char b = rng() % 2 ? interesting[rng() % sizeof interesting]
                                        : static_cast<unsigned char>(rng());
            if (b == 0) b = 0x01; // zero ends a C string in the paths
            bytes += static_cast<char>(b);
        }
        std::u16string wide = Utf16(bytes);
        ASSERT_EQ(Utf8(wide), bytes) << "seed " << seed << " iteration " << iter;
    }
}

class PathMapTest : public DriveMapTest {
  protected:
    void SetUp() override {
        SetMounts({{"/", "ext4", "/dev/vda1"}, {"/mnt/d", "ext4", "/dev/vdb1"}});
    }
};

TEST_F(PathMapTest, WindowsPathsToPosix) {
    struct Row {
        const char16_t* in;
        const char* out;
    } rows[] = {
        {u"C:", "/"},
        {u"C:\\", "/"},
        {u"C:foo", "/foo"},
        {u"c:\\a\\b", "/a/b"},
        {u"D:", "/mnt/d/"},
        {u"D:\\x", "/mnt/d/x"},
        {u"d:\\x", "/mnt/d/x"},
        {u"D:x", "/mnt/d/x"},
        {u"\\\\?\\D:\\x", "/mnt/d/x"},
        {u"\\\\?\\UNC\\srv\\share", "/dev/null/unc-path-not-served"},
        {u"\\\\server\\share", "//server/share"},
        {u"\\dir\\f", "/dir/f"},
        {u"", "/"},
        {u"rel\\a", "rel/a"},
        {u"/already/posix", "/already/posix"},
        {u"Q:\\x", "/dev/null/nonexistent-drive-Q:/x"},
        {u"q:", "/dev/null/nonexistent-drive-q:/"},
        {u"C:\\\xDCFF", "/\xFF"},
    };
    for (const Row& r : rows) EXPECT_STREQ(PathToPosix(r.in), r.out) << Narrow(r.in);
    EXPECT_EQ(PathToPosix(static_cast<const WCHAR*>(nullptr)), nullptr);
    EXPECT_STREQ(PathToPosix("D:\\x"), "/mnt/d/x");
    EXPECT_STREQ(PathToPosix("C:\\\xE9"), "/\xC3\xA9"); // each byte one unit
}

TEST_F(PathMapTest, UnmappedLetterCanNeverBeCreated) {
    // Not even root can make a directory below a device file.
    const char* p = PathToPosix(u"Q:\\made");
    EXPECT_NE(::mkdir(p, 0755), 0);
    EXPECT_EQ(errno, ENOTDIR);
    int fd = ::open(PathToPosix(u"Q:\\file"), O_CREAT | O_WRONLY, 0644);
    EXPECT_LT(fd, 0);
    EXPECT_EQ(ErrnoToWin32Error(errno), ERROR_PATH_NOT_FOUND);
}

// A long UNC form names a share the layer does not serve: it is not found,
// and never taken for a path relative to the current directory.
TEST_F(PathMapTest, LongUncFormFailsInsteadOfNamingARelativePath) {
    dir.Write("cwd/UNC/server/share/x", "other file");
    const std::string decoy = dir.Sub("cwd/UNC/server/share/x");
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.Sub("cwd").c_str()), 0);
    for (const char16_t* path : {u"\\\\?\\UNC\\server\\share\\x", u"\\\\?\\unc\\server\\share\\x",
                                 u"\\\\?\\UNC/server/share/x"}) {
        SetLastError(0);
        EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES) << Narrow(path);
        EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND) << Narrow(path);
        SetLastError(0);
        EXPECT_FALSE(DeleteFileW(path)) << Narrow(path);
        EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND) << Narrow(path);
        HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE) << Narrow(path);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(qtest::ReadFile(decoy), "other file");
}

TEST_F(PathMapTest, TooLongPathsFailWith206InsteadOfBeingCut) {
    std::u16string longPath = u"C:\\" + std::u16string(QPOSIX_PATH_MAX_UNITS, u'a');
    std::u16string fits = u"C:\\" + std::u16string(200, u'a');
    std::u16string manyBytes = u"C:\\" + std::u16string(1500, u'\u20AC'); // 4500 bytes
    for (const std::u16string& p : {longPath, manyBytes}) {
        const char* posix = PathToPosix(p.c_str());
        int fd = ::open(posix, O_RDONLY);
        EXPECT_LT(fd, 0);
        EXPECT_EQ(ErrnoToWin32Error(errno), ERROR_FILENAME_EXCED_RANGE);
    }
    EXPECT_EQ(std::strlen(PathToPosix(fits.c_str())), 201u);
    std::string narrowLong(QPOSIX_PATH_MAX_UNITS + 1, 'a');
    EXPECT_LT(::open(PathToPosix(narrowLong.c_str()), O_RDONLY), 0);
    EXPECT_EQ(errno, ENAMETOOLONG);
}

TEST_F(PathMapTest, FourResultsStayValidPerThread) {
    const char* r[4];
    const char16_t* in[4] = {u"C:\\one", u"C:\\two", u"C:\\three", u"C:\\four"};
    for (int i = 0; i < 4; i++) r[i] = PathToPosix(in[i]);
    EXPECT_STREQ(r[0], "/one");
    EXPECT_STREQ(r[1], "/two");
    EXPECT_STREQ(r[2], "/three");
    EXPECT_STREQ(r[3], "/four");
    PathToPosix(u"C:\\five");
    EXPECT_STRNE(r[0], "/one"); // the fifth call reuses the first buffer
}

TEST_F(PathMapTest, PosixPathsToWindows) {
    struct Row {
        const char* in;
        const char16_t* out;
    } rows[] = {
        {"/mnt/d", u"D:\\"},
        {"/mnt/d/x/y", u"D:\\x\\y"},
        {"/mnt/dx", u"C:\\mnt\\dx"},
        {"/", u"C:\\"},
        {"/home/\xFF", u"C:\\home\\\xDCFF"},
    };
    for (const Row& r : rows) {
        WCHAR out[64];
        int n = PathFromPosix(r.in, out, 64);
        EXPECT_EQ(std::u16string(out), r.out) << r.in;
        EXPECT_EQ(n, static_cast<int>(std::char_traits<char16_t>::length(r.out))) << r.in;
    }
    WCHAR tiny[4];
    EXPECT_EQ(PathFromPosix("/mnt/d/x", tiny, 3), -1);
    EXPECT_EQ(PathFromPosix("/mnt/d/x", tiny, 4), -1);
}

TEST_F(DriveMapTest, PathUnderNoLetterKeepsItsPosixForm) {
    SetMounts({{"/", "ext4", "/dev/vda1"}, {"/data", "xfs", "/dev/vdb1"}});
    WriteDrivesFile("d: /data\n");
    WCHAR out[64];
    // C: is not "/" here, so a path outside D: must not claim to be on C:.
    int n = PathFromPosix("/home/user/f", out, 64);
    EXPECT_EQ(std::u16string(out), u"\\home\\user\\f");
    EXPECT_EQ(n, 12);
    EXPECT_STREQ(PathToPosix(out), "/home/user/f");
    PathFromPosix("/data/f", out, 64);
    EXPECT_EQ(std::u16string(out), u"D:\\f");
}

const WCHAR* FtpHook(int letter) { return letter == 'F' ? u"ftp://host/" : nullptr; }

class DisplayPathTest : public PathMapTest {
  protected:
    void SetUp() override {
        PathMapTest::SetUp();
        gDriveNameHook = FtpHook;
        DriveMapSet('S', "/run/user/1000/gvfs/smb-share:server=x,share=y", u"smb://x/y/");
    }
    void TearDown() override {
        gDriveNameHook = nullptr;
        PathMapTest::TearDown();
    }
};

TEST_F(DisplayPathTest, DriveLettersShownAsMountPaths) {
    struct Row {
        const char16_t* in;
        const char16_t* out;
    } rows[] = {
        {u"C:\\", u"/"},
        {u"C:\\a\\b", u"/a/b"},
        {u"C:", u"/"},
        {u"D:\\x", u"/mnt/d/x"},
        {u"D:", u"/mnt/d"},
        {u"D:\\", u"/mnt/d"},
        {u"D:x", u"/mnt/d/x"},
        {u"F:\\pub\\a", u"ftp://host/pub/a"},
        {u"S:\\docs", u"smb://x/y/docs"},
        {u"Q:\\x", u"Q:\\x"},
        {u"relative\\x", u"relative\\x"},
        {u"", u""},
    };
    for (const Row& r : rows) {
        WCHAR out[128];
        int n = PathMapDriveLetter(r.in, out, 128);
        EXPECT_EQ(std::u16string(out), r.out) << Narrow(r.in);
        EXPECT_EQ(n, static_cast<int>(std::char_traits<char16_t>::length(r.out)));
    }
    WCHAR small[5];
    EXPECT_EQ(PathMapDriveLetter(u"D:\\abcdef", small, 5), 4);
    EXPECT_EQ(std::u16string(small), u"/mnt");
    EXPECT_EQ(PathMapDriveLetter(u"D:\\x", small, 1), 0);
}

TEST_F(DisplayPathTest, TypedPathsBackToDriveLetters) {
    qtest::ScopedEnv home("HOME", "/mnt/d/home");
    struct Row {
        const char16_t* in;
        const char16_t* out;
    } rows[] = {
        {u"/mnt/d/x/y", u"D:\\x\\y"},
        {u"/etc", u"C:\\etc"},
        {u"~", u"D:\\home"},
        {u"~/docs\\a", u"D:\\home\\docs\\a"},
        {u"~user", u"~user"},
        {u"ftp://host/pub/a", u"F:\\pub\\a"},
        {u"FTP://HOST", u"F:\\"},
        {u"ftp://hostname/x", u"ftp://hostname/x"},
        {u"smb://x/y/docs/f", u"S:\\docs\\f"},
        {u"//server/share", u"//server/share"},
        {u"relative", u"relative"},
    };
    for (const Row& r : rows) {
        WCHAR out[128];
        int n = PathFindDriveLetter(r.in, out, 128);
        EXPECT_EQ(std::u16string(out), r.out) << Narrow(r.in);
        EXPECT_EQ(n, static_cast<int>(std::char_traits<char16_t>::length(r.out)));
    }
}

} // namespace
