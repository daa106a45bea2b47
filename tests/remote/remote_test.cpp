// With no remote drive mounted, every routing wrapper is the layer's own
// function: the same result and the same last error, for success and for
// failure, on two identical fixtures.
#include "posix/drive_fixture.h"
#include "qposix_path.h"
#include "remote/remote_drives.h"

#include <sys/stat.h>

#include <functional>
#include <string>

namespace {

class RoutingTest : public DriveMapTest {
  protected:
    void SetUp() override {
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        WriteDrivesFile("c: /\n");
        for (const char* side : {"a", "b"}) {
            dir.Write(std::string(side) + "/file.txt", "hello");
            dir.MakeDir(std::string(side) + "/sub");
        }
    }
    std::u16string W(const std::string& rel) {
        WCHAR out[4097];
        EXPECT_GE(PathFromPosix(dir.Sub(rel).c_str(), out, 4097), 0);
        return out;
    }
};

// One row: a call made on the fixture side given, through the wrapper or
// through the layer; its result as a number (handles as valid or not).
struct Row {
    const char* what;
    std::function<int64_t(bool wrapper, const std::u16string& side)> call;
};

int64_t Valid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }

TEST_F(RoutingTest, EachWrapperGivesTheLayersResultAndLastError) {
    const Row rows[] = {
        {"find an existing file",
         [](bool w, const std::u16string& s) {
             WIN32_FIND_DATAW d;
             HANDLE h = w ? RdFindFirstFileW((s + u"\\*").c_str(), &d)
                          : FindFirstFileW((s + u"\\*").c_str(), &d);
             int64_t n = 0;
             if (h != INVALID_HANDLE_VALUE) {
                 do n++;
                 while (w ? RdFindNextFileW(h, &d) : FindNextFileW(h, &d));
                 (w ? RdFindClose(h) : FindClose(h));
             }
             return n;
         }},
        {"find in a missing directory",
         [](bool w, const std::u16string& s) {
             WIN32_FIND_DATAW d;
             return Valid(w ? RdFindFirstFileExW((s + u"\\nope\\*").c_str(), FindExInfoBasic, &d,
                                                 FindExSearchNameMatch, nullptr, 0)
                            : FindFirstFileExW((s + u"\\nope\\*").c_str(), FindExInfoBasic, &d,
                                               FindExSearchNameMatch, nullptr, 0));
         }},
        {"close a handle that is not a find handle",
         [](bool w, const std::u16string&) { return int64_t(w ? RdFindClose(nullptr) : FindClose(nullptr)); }},
        {"attributes of a file",
         [](bool w, const std::u16string& s) {
             return int64_t(w ? RdGetFileAttributesW((s + u"\\file.txt").c_str())
                              : GetFileAttributesW((s + u"\\file.txt").c_str()));
         }},
        {"attributes of a missing file",
         [](bool w, const std::u16string& s) {
             return int64_t(w ? RdGetFileAttributesW((s + u"\\none").c_str())
                              : GetFileAttributesW((s + u"\\none").c_str()));
         }},
        {"set read-only",
         [](bool w, const std::u16string& s) {
             auto p = s + u"\\file.txt";
             return int64_t(w ? RdSetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_READONLY)
                              : SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_READONLY));
         }},
        {"make a directory that exists",
         [](bool w, const std::u16string& s) {
             auto p = s + u"\\sub";
             return int64_t(w ? RdCreateDirectoryW(p.c_str(), nullptr) : CreateDirectoryW(p.c_str(), nullptr));
         }},
        {"make a new directory",
         [](bool w, const std::u16string& s) {
             auto p = s + u"\\new";
             return int64_t(w ? RdCreateDirectoryW(p.c_str(), nullptr) : CreateDirectoryW(p.c_str(), nullptr));
         }},
        {"remove a directory",
         [](bool w, const std::u16string& s) {
             auto p = s + u"\\sub";
             return int64_t(w ? RdRemoveDirectoryW(p.c_str()) : RemoveDirectoryW(p.c_str()));
         }},
        {"delete a directory as a file",
         [](bool w, const std::u16string& s) {
             auto p = s + u"\\sub";
             return int64_t(w ? RdDeleteFileW(p.c_str()) : DeleteFileW(p.c_str()));
         }},
        {"copy onto a file with fail-if-exists",
         [](bool w, const std::u16string& s) {
             auto a = s + u"\\file.txt", b = s + u"\\file.txt";
             return int64_t(w ? RdCopyFileW(a.c_str(), (s + u"\\copy").c_str(), TRUE)
                              : CopyFileW(a.c_str(), (s + u"\\copy").c_str(), TRUE)) * 10 +
                    (w ? RdCopyFileExW(a.c_str(), b.c_str(), nullptr, nullptr, nullptr, COPY_FILE_FAIL_IF_EXISTS)
                       : CopyFileExW(a.c_str(), b.c_str(), nullptr, nullptr, nullptr, COPY_FILE_FAIL_IF_EXISTS));
         }},
        {"move a missing file",
         [](bool w, const std::u16string& s) {
             auto a = s + u"\\none", b = s + u"\\moved";
             return int64_t(w ? RdMoveFileW(a.c_str(), b.c_str()) : MoveFileW(a.c_str(), b.c_str()));
         }},
        {"short path name",
         [](bool w, const std::u16string& s) {
             WCHAR out[600];
             auto p = s + u"\\file.txt";
             return int64_t(w ? RdGetShortPathNameW(p.c_str(), out, 600) : GetShortPathNameW(p.c_str(), out, 600));
         }},
        {"full path name",
         [](bool w, const std::u16string& s) {
             WCHAR out[600];
             auto p = s + u"\\x\\..\\file.txt";
             return int64_t(w ? RdGetFullPathNameW(p.c_str(), 600, out, nullptr)
                              : GetFullPathNameW(p.c_str(), 600, out, nullptr));
         }},
        {"change to a missing directory",
         [](bool w, const std::u16string& s) {
             auto p = s + u"\\none";
             return int64_t(w ? RdSetCurrentDirectoryW(p.c_str()) : SetCurrentDirectoryW(p.c_str()));
         }},
        {"create, write, size, time and close a file",
         [](bool w, const std::u16string& s) {
             auto p = s + u"\\made";
             HANDLE h = w ? RdCreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)
                          : CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
             if (h == INVALID_HANDLE_VALUE) return int64_t(-1);
             DWORD written = 0;
             int64_t r = w ? RdWriteFile(h, "abc", 3, &written, nullptr) : WriteFile(h, "abc", 3, &written, nullptr);
             r = r * 10 + written;
             r = r * 10 + (w ? RdGetFileSize(h, nullptr) : GetFileSize(h, nullptr));
             FILETIME t{0x12345678, 0x01D00000};
             r = r * 10 + (w ? RdSetFileTime(h, nullptr, nullptr, &t) : SetFileTime(h, nullptr, nullptr, &t));
             r = r * 10 + (w ? RdCloseHandle(h) : CloseHandle(h));
             return r;
         }},
        {"create in a missing directory",
         [](bool w, const std::u16string& s) {
             auto p = s + u"\\none\\made";
             return Valid(w ? RdCreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)
                            : CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
         }},
        {"drive type of the root",
         [](bool w, const std::u16string&) {
             return int64_t(w ? RdGetDriveTypeW(u"C:\\") : GetDriveTypeW(u"C:\\")) * 100 +
                    (w ? RdGetDriveTypeA("Q:\\") : GetDriveTypeA("Q:\\"));
         }},
        {"volume information and free space of a missing drive",
         [](bool w, const std::u16string&) {
             DWORD serial = 0, a = 0, b = 0, c = 0, d = 0;
             int64_t r = w ? RdGetVolumeInformationA("Q:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)
                           : GetVolumeInformationA("Q:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
             return r * 10 + (w ? RdGetDiskFreeSpaceA("Q:\\", &a, &b, &c, &d) : GetDiskFreeSpaceA("Q:\\", &a, &b, &c, &d));
         }},
        {"stream of a file and of a missing one",
         [](bool w, const std::u16string& s) {
             FILE* f = w ? Rd_wfopen((s + u"\\file.txt").c_str(), u"rb") : _wfopen((s + u"\\file.txt").c_str(), u"rb");
             int64_t r = f != nullptr;
             if (f) fclose(f);
             FILE* g = w ? Rd_wfopen((s + u"\\none").c_str(), u"rb") : _wfopen((s + u"\\none").c_str(), u"rb");
             return r * 10 + (g != nullptr) + int64_t(errno) * 100;
         }},
        {"stat and access",
         [](bool w, const std::u16string& s) {
             QSTAT st{};
             int64_t r = w ? Rd_wstat((s + u"\\file.txt").c_str(), &st) : _wstat((s + u"\\file.txt").c_str(), &st);
             r = r * 1000 + st.st_size;
             r = r * 10 + (w ? Rd_waccess((s + u"\\none").c_str(), 0) : _waccess((s + u"\\none").c_str(), 0));
             return r * 100 + errno;
         }},
    };
    for (const Row& row : rows) {
        SetLastError(0xBEEF);
        errno = 0;
        const int64_t viaWrapper = row.call(true, W("a"));
        const DWORD wrapperError = GetLastError();
        SetLastError(0xBEEF);
        errno = 0;
        const int64_t viaLayer = row.call(false, W("b"));
        const DWORD layerError = GetLastError();
        EXPECT_EQ(viaWrapper, viaLayer) << row.what;
        EXPECT_EQ(wrapperError, layerError) << row.what;
    }
    // The two sides were changed alike.
    struct stat a, b;
    EXPECT_EQ(::stat(dir.Sub("a/new").c_str(), &a), 0);
    EXPECT_EQ(::stat(dir.Sub("b/new").c_str(), &b), 0);
    EXPECT_EQ(::stat(dir.Sub("a/made").c_str(), &a), 0);
    EXPECT_EQ(::stat(dir.Sub("b/made").c_str(), &b), 0);
    EXPECT_EQ(a.st_size, 3);
    EXPECT_EQ(a.st_mtime, b.st_mtime);
}

TEST_F(RoutingTest, NoPathIsRemoteWhileNothingIsMounted) {
    for (const char16_t* path : {u"C:\\tmp", u"c:", u"\\\\?\\C:\\x", u"\\\\.\\Z:\\", u"\\\\server\\share", u""}) {
        EXPECT_FALSE(RdIsRemotePath(path));
        WCHAR remote[2048];
        EXPECT_EQ(RdPathToDrive(path, remote), nullptr);
    }
    EXPECT_FALSE(RdIsRemotePath(nullptr));
    for (int letter : {int('A'), int('c'), int('Z'), int('1'), 0x1C3})
        EXPECT_FALSE(RdIsRemoteDrive(letter));
    EXPECT_EQ(std::u16string(RdDriveDisplayName('C')), u"");
    ULONGLONG freeBytes = 7, total = 9;
    SetLastError(0xBEEF);
    EXPECT_FALSE(RdGetDiskFree(u"C:\\", &freeBytes, &total));
    EXPECT_EQ(GetLastError(), 0xBEEFu) << "no error is set for a path that is not remote";
    RdUnmount('C'); // harmless for a letter not mounted
}

} // namespace
