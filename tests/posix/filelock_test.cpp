// Byte-range locks on file handles: conflicts between handles of this
// process and with another process, ranges, shared and exclusive kinds, the
// lock's owner (the handle, not the process), and the parameter errors; and
// the own-directory check of the mode service.
#include "../support/fixture.h"
#include "windows.h"
#include "qposix_modes.h"
#include "qposix_path.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

std::u16string Win(const std::string& posix) {
    WCHAR out[4097];
    EXPECT_GE(PathFromPosix(posix.c_str(), out, 4097), 0);
    return out;
}

class FileLockTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    std::u16string file = Win(dir.Write("locked", "0123456789"));
    HANDLE Open(DWORD access = GENERIC_READ | GENERIC_WRITE) {
        HANDLE h = CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        return h;
    }
    static BOOL Lock(HANDLE h, DWORD flags, ULONGLONG offset, ULONGLONG length) {
        OVERLAPPED at = {};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        return LockFileEx(h, flags, 0, DWORD(length), DWORD(length >> 32), &at);
    }
    static BOOL Unlock(HANDLE h, ULONGLONG offset, ULONGLONG length) {
        OVERLAPPED at = {};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        return UnlockFileEx(h, 0, DWORD(length), DWORD(length >> 32), &at);
    }
};

constexpr DWORD kTryExclusive = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
constexpr DWORD kTryShared = LOCKFILE_FAIL_IMMEDIATELY;
constexpr ULONGLONG kEverything = ~0ULL;

// What a second handle of this process may lock while the first holds a
// lock: the kinds and the ranges.
TEST_F(FileLockTest, SecondHandleMeetsTheFirstHandlesLock) {
    struct Row {
        const char* what;
        DWORD heldFlags;
        ULONGLONG heldOffset, heldLength;
        DWORD tryFlags;
        ULONGLONG tryOffset, tryLength;
        bool granted;
    } rows[] = {
        {"exclusive against exclusive", kTryExclusive, 0, 1, kTryExclusive, 0, 1, false},
        {"exclusive against shared", kTryExclusive, 0, 1, kTryShared, 0, 1, false},
        {"shared against exclusive", kTryShared, 0, 1, kTryExclusive, 0, 1, false},
        {"shared beside shared", kTryShared, 0, 1, kTryShared, 0, 1, true},
        {"ranges apart", kTryExclusive, 0, 4, kTryExclusive, 4, 4, true},
        {"ranges overlapping by one byte", kTryExclusive, 0, 5, kTryExclusive, 4, 4, false},
        {"a range past the largest offset holds everything on",
         kTryExclusive, 10, kEverything, kTryExclusive, 1ULL << 40, 1, false},
        {"... but nothing before its start", kTryExclusive, 10, kEverything, kTryExclusive, 0, 10,
         true},
        {"beyond the end of the file", kTryExclusive, 1000, 1, kTryExclusive, 1000, 1, false},
    };
    for (const Row& r : rows) {
        HANDLE first = Open();
        HANDLE second = Open();
        ASSERT_TRUE(Lock(first, r.heldFlags, r.heldOffset, r.heldLength)) << r.what;
        SetLastError(0xBEEF);
        EXPECT_EQ(Lock(second, r.tryFlags, r.tryOffset, r.tryLength), r.granted) << r.what;
        EXPECT_EQ(GetLastError(), r.granted ? 0xBEEFu : ERROR_LOCK_VIOLATION) << r.what;
        CloseHandle(second);
        CloseHandle(first);
    }
}

// The lock belongs to the handle: unlocking or closing that handle ends it,
// closing another handle to the same file does not.
TEST_F(FileLockTest, TheLockEndsWithItsHandleOnly) {
    HANDLE holder = Open();
    HANDLE other = Open();
    HANDLE bystander = Open();
    ASSERT_TRUE(Lock(holder, kTryExclusive, 0, 1));
    CloseHandle(bystander);
    EXPECT_FALSE(Lock(other, kTryExclusive, 0, 1));
    ASSERT_TRUE(Unlock(holder, 0, 1));
    EXPECT_TRUE(Lock(other, kTryExclusive, 0, 1));
    ASSERT_TRUE(Unlock(other, 0, 1));
    ASSERT_TRUE(Lock(holder, kTryExclusive, 0, 1));
    EXPECT_FALSE(Lock(other, kTryExclusive, 0, 1));
    CloseHandle(holder);
    EXPECT_TRUE(Lock(other, kTryExclusive, 0, 1));
    CloseHandle(other);
}

// Another process sees the lock while this one holds it, and not after the
// handle is closed; a waiting request there is granted once it is free.
TEST_F(FileLockTest, AnotherProcessSeesTheLock) {
    HANDLE holder = Open();
    ASSERT_TRUE(Lock(holder, kTryExclusive, 0, 1));
    auto inChild = [&](DWORD flags) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE) ::_exit(2);
            if (Lock(h, flags, 0, 1)) ::_exit(0);
            ::_exit(GetLastError() == ERROR_LOCK_VIOLATION ? 1 : 3);
        }
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(inChild(kTryExclusive), 1);
    EXPECT_EQ(inChild(kTryShared), 1);
    CloseHandle(holder);
    EXPECT_EQ(inChild(kTryExclusive), 0);
    EXPECT_EQ(inChild(LOCKFILE_EXCLUSIVE_LOCK), 0);
}

TEST_F(FileLockTest, RefusedRequests) {
    HANDLE readOnly = Open(GENERIC_READ);
    HANDLE writeOnly = Open(GENERIC_WRITE);
    OVERLAPPED at = {};
    struct Row {
        const char* what;
        HANDLE handle;
        DWORD flags;
        DWORD reserved;
        DWORD length;
        LPOVERLAPPED overlapped;
        DWORD error;
    } rows[] = {
        {"no overlapped", writeOnly, kTryExclusive, 0, 1, nullptr, ERROR_INVALID_PARAMETER},
        {"no bytes", writeOnly, kTryExclusive, 0, 0, &at, ERROR_INVALID_PARAMETER},
        {"reserved set", writeOnly, kTryExclusive, 1, 1, &at, ERROR_INVALID_PARAMETER},
        {"exclusive on a read-only handle", readOnly, kTryExclusive, 0, 1, &at,
         ERROR_ACCESS_DENIED},
        {"shared on a write-only handle", writeOnly, kTryShared, 0, 1, &at, ERROR_ACCESS_DENIED},
        {"not a handle", reinterpret_cast<HANDLE>(0x10002), kTryExclusive, 0, 1, &at,
         ERROR_INVALID_HANDLE},
    };
    for (const Row& r : rows) {
        SetLastError(0xBEEF);
        EXPECT_FALSE(LockFileEx(r.handle, r.flags, r.reserved, r.length, 0, r.overlapped))
            << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
    }
    // The refused requests left nothing locked.
    HANDLE other = Open();
    EXPECT_TRUE(Lock(other, kTryExclusive, 0, kEverything));
    CloseHandle(other);
    CloseHandle(readOnly);
    CloseHandle(writeOnly);
}

TEST(OwnDirectoryTest, OnlyARealDirectoryOfTheUser) {
    qtest::TempDir dir;
    dir.MakeDir("mine");
    dir.Write("file", "x");
    ASSERT_EQ(::symlink(dir.Sub("mine").c_str(), dir.Sub("link").c_str()), 0);
    struct Row {
        const char* what;
        std::u16string path;
        BOOL own;
    } rows[] = {
        {"a directory made here", Win(dir.Sub("mine")), TRUE},
        {"with a trailing separator", Win(dir.Sub("mine")) + u"\\", TRUE},
        {"a link to that directory", Win(dir.Sub("link")), FALSE},
        {"a plain file", Win(dir.Sub("file")), FALSE},
        {"nothing there", Win(dir.Sub("missing")), FALSE},
        {"an empty path", u"", FALSE},
    };
    for (const Row& r : rows) EXPECT_EQ(FileIsOwnDirectory(r.path.c_str()), r.own) << r.what;
    EXPECT_EQ(FileIsOwnDirectory(nullptr), FALSE);
}

// Another user's directory is not the user's own, though every user may
// write into it.
TEST(OwnDirectoryTest, AnotherUsersDirectory) {
    qtest::TempDir dir;
    dir.OpenToAll();
    const std::u16string shared = Win(dir.MakeDir("shared"));
    ASSERT_EQ(::chmod(dir.Sub("shared").c_str(), 0777), 0);
    const bool root = ::geteuid() == 0;
    const int result = qtest::RunUnprivileged([&] {
        // As root the body runs as another user, who does not own it; as a
        // plain user it runs as the owner.
        return FileIsOwnDirectory(shared.c_str()) ? 1 : 0;
    });
    EXPECT_EQ(result, root ? 0 : 1);
}

} // namespace
