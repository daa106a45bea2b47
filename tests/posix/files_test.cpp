// File handles: CreateFile dispositions and their last errors, directories,
// devices and links, reads and writes, seeking, sizes, times, reparse
// points, delete-on-close, and the C-runtime functions on descriptors.
#include "../support/fixture.h"
#include "windows.h"
#include "internal/handles.h"
#include "internal/sys.h"
#include "qposix_drives.h"
#include "qposix_path.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

namespace {

// The Windows form of a POSIX path, through the machine's own drive map.
std::u16string Win(const std::string& posix) {
    WCHAR out[4097];
    EXPECT_GE(PathFromPosix(posix.c_str(), out, 4097), 0);
    return out;
}

class FileTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    std::u16string W(const std::string& rel) { return Win(dir.Sub(rel)); }
    HANDLE Open(const std::string& rel, DWORD access, DWORD disposition, DWORD flags = 0) {
        return CreateFileW(W(rel).c_str(), access, 0, nullptr, disposition, flags, nullptr);
    }
};

TEST_F(FileTest, DispositionsAndTheirLastErrors) {
    dir.Write("existing", "0123456789");
    struct Row {
        const char* what;
        const char* file;
        DWORD disposition;
        bool ok;
        DWORD error;
        const char* content; // after the call; null: the file does not exist
    } rows[] = {
        {"create new on existing", "existing", CREATE_NEW, false, ERROR_FILE_EXISTS, "0123456789"},
        {"open existing", "existing", OPEN_EXISTING, true, 0, "0123456789"},
        {"open always on existing", "existing", OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS,
         "0123456789"},
        {"create always truncates", "existing", CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
        {"open existing on missing", "missing1", OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND,
         nullptr},
        {"truncate missing", "missing2", TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"open always creates", "new1", OPEN_ALWAYS, true, 0, ""},
        {"create new creates", "new2", CREATE_NEW, true, 0, ""},
        {"missing parent", "nodir/f", CREATE_ALWAYS, false, ERROR_PATH_NOT_FOUND, nullptr},
        {"bad disposition", "new3", 9, false, ERROR_INVALID_PARAMETER, nullptr},
    };
    for (const Row& r : rows) {
        SetLastError(0xBEEF);
        HANDLE h = Open(r.file, GENERIC_READ | GENERIC_WRITE, r.disposition);
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, r.ok) << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        struct stat st;
        bool exists = ::stat(dir.Sub(r.file).c_str(), &st) == 0;
        EXPECT_EQ(exists, r.content != nullptr) << r.what;
        if (r.content) {
            EXPECT_EQ(qtest::ReadFile(dir.Sub(r.file)), r.content) << r.what;
        }
    }
    SetLastError(0);
    EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FileTest, ReadOnlyAttributeMakesAReadOnlyFile) {
    HANDLE h = Open("ro", GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    struct stat st;
    ASSERT_EQ(::stat(dir.Sub("ro").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
}

TEST_F(FileTest, Directories) {
    dir.MakeDir("sub");
    SetLastError(0);
    EXPECT_EQ(Open("sub", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    std::u16string slash = W("sub") + u"\\";
    EXPECT_EQ(CreateFileW(slash.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    HANDLE h = Open("sub", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(h, &info));
    EXPECT_TRUE(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    char buf[4];
    DWORD n = 7;
    SetLastError(0);
    EXPECT_FALSE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(n, 0u);
    CloseHandle(h);
}

TEST_F(FileTest, FifoOpenedForReadingNeverBlocksAndReadsNothing) {
    ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0644), 0);
    HANDLE h = Open("fifo", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buf[8];
    DWORD n = 99;
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(n, 0u);
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(h, &info));
    EXPECT_TRUE(info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE);
    CloseHandle(h);
    HANDLE nul = CreateFileW(u"nul", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(nul, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(nul, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    CloseHandle(nul);
}

TEST(FileRead, PipeDeliveringInPiecesFillsOneRead) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    HANDLE h = HandleFromDescriptor(fds[0]);
    ASSERT_NE(h, nullptr);
    std::thread writer([&] {
        ASSERT_EQ(::write(fds[1], "abcd", 4), 4);
        ::usleep(50000);
        ASSERT_EQ(::write(fds[1], "efghij", 6), 6);
        ::close(fds[1]);
    });
    char buf[10];
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(h, buf, 10, &n, nullptr));
    writer.join();
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(std::string(buf, 10), "abcdefghij");
    CloseHandle(h);
    SetLastError(0);
    EXPECT_FALSE(ReadFile(h, buf, 10, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FileTest, ReadWriteSeekAndSize) {
    HANDLE h = Open("data", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n;
    ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
    EXPECT_EQ(n, 11u);
    EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
    char buf[16] = {};
    ASSERT_TRUE(ReadFile(h, buf, 16, &n, nullptr));
    EXPECT_EQ(n, 5u);
    EXPECT_STREQ(buf, "world");
    // Reads and writes at an OVERLAPPED offset leave the file position alone.
    OVERLAPPED ov{};
    ov.Offset = 1;
    ASSERT_TRUE(ReadFile(h, buf, 4, &n, &ov));
    EXPECT_EQ(std::string(buf, 4), "ello");
    ov.Offset = 0;
    ASSERT_TRUE(WriteFile(h, "J", 1, &n, &ov));
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 11u);

    SetLastError(0xBEEF);
    EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, 3), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0xBEEF);
    EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_END), 10u);
    EXPECT_EQ(GetLastError(), 0u);

    // 64-bit positions through the high part.
    LONG high = 1;
    EXPECT_EQ(SetFilePointer(h, 5, &high, FILE_BEGIN), 5u);
    EXPECT_EQ(high, 1);
    ASSERT_TRUE(SetEndOfFile(h)); // a sparse file of 4 GiB + 5 bytes
    DWORD sizeHigh = 0;
    SetLastError(0xBEEF);
    EXPECT_EQ(GetFileSize(h, &sizeHigh), 5u);
    EXPECT_EQ(sizeHigh, 1u);
    EXPECT_EQ(GetLastError(), 0u);
    LARGE_INTEGER pos, size;
    pos.QuadPart = 3;
    ASSERT_TRUE(SetFilePointerEx(h, pos, &size, FILE_BEGIN));
    EXPECT_EQ(size.QuadPart, 3);
    ASSERT_TRUE(SetEndOfFile(h));
    ASSERT_TRUE(GetFileSizeEx(h, &size));
    EXPECT_EQ(size.QuadPart, 3);
    EXPECT_TRUE(FlushFileBuffers(h));
    CloseHandle(h);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("data")), "Jel");
}

TEST_F(FileTest, TimesAndInformation) {
    HANDLE h = Open("t", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // 2001-02-03 04:05:06.5 UTC
    SYSTEMTIME st = {2001, 2, 0, 3, 4, 5, 6, 500};
    FILETIME ft, none = {0, 0}, c, a, w;
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
    ASSERT_TRUE(GetFileTime(h, &c, &a, &w));
    EXPECT_EQ(w.dwLowDateTime, ft.dwLowDateTime);
    EXPECT_EQ(w.dwHighDateTime, ft.dwHighDateTime);
    FILETIME before = a;
    ASSERT_TRUE(SetFileTime(h, nullptr, &none, nullptr)); // nothing to set
    ASSERT_TRUE(GetFileTime(h, nullptr, &a, nullptr));
    EXPECT_EQ(a.dwLowDateTime, before.dwLowDateTime);

    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(h, &info));
    struct stat s;
    ASSERT_EQ(::stat(dir.Sub("t").c_str(), &s), 0);
    EXPECT_EQ(info.nFileIndexLow, static_cast<DWORD>(s.st_ino));
    EXPECT_EQ(info.nNumberOfLinks, 1u);
    EXPECT_EQ(info.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(info.dwVolumeSerialNumber, DeviceSerialNumber(s.st_dev));
    EXPECT_EQ(info.ftLastWriteTime.dwLowDateTime, ft.dwLowDateTime);
    CloseHandle(h);
}

TEST_F(FileTest, LinksAsReparsePoints) {
    dir.Write("target", "x");
    ASSERT_EQ(::symlink("target", dir.Sub("rel").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("target").c_str(), dir.Sub("abs").c_str()), 0);
    HANDLE h = Open("rel", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    alignas(8) unsigned char out[100];
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, out, 100, &returned,
                                nullptr));
    EXPECT_EQ(returned, 52u);
    auto* r = reinterpret_cast<REPARSE_DATA_BUFFER*>(out);
    EXPECT_EQ(r->ReparseTag, IO_REPARSE_TAG_SYMLINK);
    EXPECT_EQ(r->ReparseDataLength, 44);
    EXPECT_EQ(r->SymbolicLinkReparseBuffer.Flags, SYMLINK_FLAG_RELATIVE);
    EXPECT_EQ(r->SymbolicLinkReparseBuffer.SubstituteNameLength, 20);
    EXPECT_EQ(r->SymbolicLinkReparseBuffer.PrintNameOffset, 20);
    EXPECT_EQ(r->SymbolicLinkReparseBuffer.PrintNameLength, 12);
    EXPECT_EQ(std::u16string(r->SymbolicLinkReparseBuffer.PathBuffer, 16),
              u"\\??\\targettarget");
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, out, 51, &returned,
                                 nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(DeviceIoControl(h, 0x12345, nullptr, 0, out, 100, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    // The link itself is described, not its target.
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(h, &info));
    EXPECT_EQ(info.dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT);
    CloseHandle(h);

    HANDLE ab = Open("abs", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    ASSERT_NE(ab, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(DeviceIoControl(ab, FSCTL_GET_REPARSE_POINT, nullptr, 0, out, 100 * 0 + 100,
                                &returned, nullptr) ||
                GetLastError() == ERROR_INSUFFICIENT_BUFFER);
    CloseHandle(ab);

    // A backslash in a relative target stays part of its component.
    ASSERT_EQ(::symlink("sub/a\\b", dir.Sub("odd").c_str()), 0);
    HANDLE odd = Open("odd", GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
    ASSERT_NE(odd, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(DeviceIoControl(odd, FSCTL_GET_REPARSE_POINT, nullptr, 0, out, 100, &returned,
                                nullptr));
    auto* ro = reinterpret_cast<REPARSE_DATA_BUFFER*>(out);
    EXPECT_EQ(std::u16string(ro->SymbolicLinkReparseBuffer.PathBuffer + 4, 7),
              std::u16string(u"sub\\a") + char16_t(QPOSIX_NAME_ESCAPE_BACKSLASH) + u"b");
    CloseHandle(odd);

    HANDLE plain = Open("target", GENERIC_READ, OPEN_EXISTING);
    SetLastError(0);
    EXPECT_FALSE(DeviceIoControl(plain, FSCTL_GET_REPARSE_POINT, nullptr, 0, out, 100, &returned,
                                 nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NOT_A_REPARSE_POINT);
    CloseHandle(plain);
}

TEST_F(FileTest, DeleteOnCloseRemovesOnlyTheFileItOpened) {
    HANDLE h = Open("tmp", GENERIC_WRITE, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_NE(::access(dir.Sub("tmp").c_str(), F_OK), 0);

    // Another file takes the name while the handle is open: it stays.
    h = Open("tmp", GENERIC_WRITE, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_EQ(::unlink(dir.Sub("tmp").c_str()), 0);
    dir.Write("tmp", "precious");
    CloseHandle(h);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("tmp")), "precious");
}

TEST_F(FileTest, CreateFileAConvertsFromTheAnsiPage) {
    std::string name = dir.Sub("caf\xC3\xA9"); // UTF-8 on disk
    std::u16string wide = Win(name);
    std::string ansi;
    for (char16_t c : wide) ansi += static_cast<char>(c); // é is 0xE9 in the ANSI page
    HANDLE h = CreateFileA(ansi.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(::access(name.c_str(), F_OK), 0);
    SetLastError(0);
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FileTest, RuntimeDescriptorFunctions) {
    std::u16string p = W("crt");
    int fd = _wopen(p.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(_write(fd, "abcdef", 6), 6);
    EXPECT_EQ(_filelengthi64(fd), 6);
    EXPECT_EQ(_filelength32(fd), 6);
    EXPECT_EQ(_eof(fd), 1);
    EXPECT_EQ(_chsize(fd, 3), 0);
    ::lseek(fd, 0, SEEK_SET);
    EXPECT_EQ(_eof(fd), 0);
    char buf[8];
    EXPECT_EQ(_read(fd, buf, 8), 3);
    EXPECT_EQ(_chsize(-1, 3), EBADF);
    EXPECT_EQ(_eof(-1), -1);
    ::close(fd);

    int ro = _wopen(W("ro").c_str(), _O_WRONLY | _O_CREAT, _S_IREAD);
    ASSERT_GE(ro, 0);
    ::close(ro);
    EXPECT_NE(_wopen(W("ro").c_str(), _O_WRONLY | _O_CREAT | _O_EXCL, _S_IWRITE), 0 * 0 + 0);
    QSTAT st;
    ASSERT_EQ(_wstat(W("ro").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode, _S_IFREG | 0x100);
    ASSERT_EQ(_wstat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode, _S_IFREG | 0x100 | 0x80);
    EXPECT_EQ(st.st_size, 3);
    struct stat real;
    ASSERT_EQ(::stat(dir.Sub("crt").c_str(), &real), 0);
    EXPECT_EQ(st.st_mtime, real.st_mtim.tv_sec);
    ASSERT_EQ(_stat("C:\\", &st), 0);
    EXPECT_EQ(st.st_mode, _S_IFDIR | 0x100 | 0x80 | 0x40);
    EXPECT_EQ(_wstat(W("missing").c_str(), &st), -1);

    EXPECT_EQ(_waccess(p.c_str(), 6), 0);
    EXPECT_EQ(_waccess(W("missing").c_str(), 0), -1);
    EXPECT_EQ(_getdrive(), 3);
    std::string narrow;
    for (char16_t c : W("made")) narrow += static_cast<char>(c);
    EXPECT_EQ(_mkdir(narrow.c_str()), 0);
    struct stat made;
    ASSERT_EQ(::stat(dir.Sub("made").c_str(), &made), 0);
    EXPECT_TRUE(S_ISDIR(made.st_mode));
}

TEST(Runtime, SmallHelpers) {
    struct Row {
        unsigned value;
        int shift;
        unsigned result;
    } rows[] = {
        {0x8001, 1, 0x0003},   {0x12345678, 4, 0x12346785}, {0xABCD, 16, 0xABCD},
        {0xABCD, 0, 0xABCD},   {0x0001, 15, 0x8000},
    };
    for (const Row& r : rows) EXPECT_EQ(_rotl16(r.value, r.shift), r.result) << std::hex << r.value;
    char d[4];
    EXPECT_EQ(strcpy_s(d, 4, "abc"), 0);
    EXPECT_STREQ(d, "abc");
    EXPECT_DEATH(strcpy_s(d, 3, "abc"), "qposix: invalid parameter to strcpy_s\n");
    EXPECT_DEATH(strcpy_s(d, 4, nullptr), "qposix: invalid parameter to strcpy_s\n");
    EXPECT_EQ(_heapmin(), 0);

    std::atomic<int> ran{0};
    unsigned id = 0;
    uintptr_t t = _beginthreadex(
        nullptr, 1, [](void* p) -> unsigned {
            static_cast<std::atomic<int>*>(p)->store(7);
            return 0;
        },
        &ran, 0, &id);
    ASSERT_NE(t, static_cast<uintptr_t>(-1));
    for (int i = 0; i < 500 && ran.load() == 0; i++) ::usleep(1000);
    EXPECT_EQ(ran.load(), 7);
}

} // namespace

namespace {

TEST_F(FileTest, InjectedFaultsReachTheCallerAsWindowsErrors) {
    HANDLE h = Open("f", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    // The second write fails: the first one's bytes stay, the count says so.
    QSysInjectFault(QSYS_WRITE, 2, ENOSPC);
    ASSERT_TRUE(WriteFile(h, "abc", 3, &n, nullptr));
    SetLastError(0);
    EXPECT_FALSE(WriteFile(h, "def", 3, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(n, 0u);
    ASSERT_TRUE(WriteFile(h, "ghi", 3, &n, nullptr)); // only the armed call failed
    QSysInjectFault(QSYS_READ, 1, EIO);
    SetFilePointer(h, 0, nullptr, FILE_BEGIN);
    char buf[8];
    EXPECT_FALSE(ReadFile(h, buf, 8, &n, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    QSysInjectFault(QSYS_OPEN, 1, EACCES);
    EXPECT_EQ(Open("g", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    QSysInjectFault(QSYS_WRITE, 5, EIO);
    QSysClearFaults();
    SetFilePointer(h, 0, nullptr, FILE_END);
    ASSERT_TRUE(WriteFile(h, "j", 1, &n, nullptr));
    CloseHandle(h);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("f")), "abcghij");
}

} // namespace

namespace {

TEST_F(FileTest, PermissionDeniedAsAnUnprivilegedUser) {
    dir.OpenToAll();
    dir.Write("private", "secret");
    ASSERT_EQ(::chmod(dir.Sub("private").c_str(), 0600), 0);
    std::u16string path = W("private");
    std::u16string created = W("sub/new");
    dir.MakeDir("sub");
    ASSERT_EQ(::chmod(dir.Sub("sub").c_str(), 0555), 0);
    int result = qtest::RunUnprivileged([&] {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) return 1;
        h = CreateFileW(created.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) return 2;
        return 0;
    });
    EXPECT_EQ(result, 0);
}

} // namespace
