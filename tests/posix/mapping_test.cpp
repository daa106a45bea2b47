// File mappings and views: sizes, access, the view table's limit, and views
// that reach past the end of their file, also when the file shrinks.
#include "../support/fixture.h"
#include "windows.h"
#include "qposix_path.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

class MappingTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    HANDLE OpenFile(const std::string& rel, DWORD access, DWORD disposition) {
        WCHAR path[4097];
        EXPECT_GE(PathFromPosix(dir.Sub(rel).c_str(), path, 4097), 0);
        return CreateFileW(path, access, 0, nullptr, disposition, 0, nullptr);
    }
};

TEST_F(MappingTest, ReadsAndWritesThroughAView) {
    dir.Write("f", "hello mapped world");
    HANDLE f = OpenFile("f", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    HANDLE m = CreateFileMappingW(f, nullptr, PAGE_READWRITE, 0, 0, nullptr);
    ASSERT_NE(m, nullptr);
    auto* p = static_cast<char*>(MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p, 18), "hello mapped world");
    p[0] = 'J';
    EXPECT_TRUE(UnmapViewOfFile(p));
    CloseHandle(m);
    CloseHandle(f);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("f")), "Jello mapped world");
    SetLastError(0);
    EXPECT_FALSE(UnmapViewOfFile(p));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
}

TEST_F(MappingTest, Errors) {
    dir.Write("empty", "");
    HANDLE f = OpenFile("empty", GENERIC_READ, OPEN_EXISTING);
    SetLastError(0);
    EXPECT_EQ(CreateFileMappingW(f, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
    CloseHandle(f);
    SetLastError(0);
    EXPECT_EQ(CreateFileMappingW(reinterpret_cast<HANDLE>(0x10002), nullptr, PAGE_READONLY, 0, 1,
                                 nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    dir.Write("small", "abc");
    f = OpenFile("small", GENERIC_READ, OPEN_EXISTING);
    HANDLE m = CreateFileMappingW(f, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(m, nullptr);
    SetLastError(0);
    EXPECT_EQ(MapViewOfFile(m, FILE_MAP_READ, 0, 3, 0), nullptr); // offset at the end
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MapViewOfFile(f, FILE_MAP_READ, 0, 0, 0), nullptr); // not a mapping
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(m);
    CloseHandle(f);
}

TEST_F(MappingTest, The65thViewFailsAndLeavesNothingMapped) {
    dir.Write("f", std::string(100, 'x'));
    HANDLE f = OpenFile("f", GENERIC_READ, OPEN_EXISTING);
    HANDLE m = CreateFileMappingW(f, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(m, nullptr);
    std::vector<void*> views;
    for (int i = 0; i < 64; i++) {
        void* v = MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0);
        ASSERT_NE(v, nullptr) << i;
        views.push_back(v);
    }
    SetLastError(0);
    EXPECT_EQ(MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(UnmapViewOfFile(views.back()));
    views.pop_back();
    void* again = MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0);
    EXPECT_NE(again, nullptr);
    views.push_back(again);
    for (void* v : views) EXPECT_TRUE(UnmapViewOfFile(v));
    CloseHandle(m);
    CloseHandle(f);
}

TEST_F(MappingTest, WritableMappingLargerThanItsFileExtendsTheFile) {
    dir.Write("f", "abc");
    HANDLE f = OpenFile("f", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    HANDLE m = CreateFileMappingW(f, nullptr, PAGE_READWRITE, 0, 3 * 4096 + 10, nullptr);
    ASSERT_NE(m, nullptr);
    auto* p = static_cast<char*>(MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(p, nullptr);
    p[3 * 4096 + 9] = 'z'; // the last byte of the mapping: no bus error
    EXPECT_TRUE(UnmapViewOfFile(p));
    CloseHandle(m);
    CloseHandle(f);
    std::string content = qtest::ReadFile(dir.Sub("f"));
    ASSERT_EQ(content.size(), 3u * 4096 + 10);
    EXPECT_EQ(content.substr(0, 3), "abc");
    EXPECT_EQ(content.back(), 'z');
}

TEST_F(MappingTest, ReadOnlyViewPastTheEndReadsZeros) {
    dir.Write("f", "abc");
    HANDLE f = OpenFile("f", GENERIC_READ, OPEN_EXISTING);
    HANDLE m = CreateFileMappingW(f, nullptr, PAGE_READONLY, 0, 5 * 4096, nullptr);
    ASSERT_NE(m, nullptr);
    auto* p = static_cast<const char*>(MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p, 3), "abc");
    EXPECT_EQ(p[4 * 4096 + 100], 0);
    EXPECT_TRUE(UnmapViewOfFile(p));
    CloseHandle(m);
    CloseHandle(f);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("f")), "abc"); // a read-only mapping changes nothing
}

TEST_F(MappingTest, FileShrinkingUnderAViewDoesNotCrashItsReader) {
    dir.Write("f", std::string(4 * 4096, 'q'));
    HANDLE f = OpenFile("f", GENERIC_READ, OPEN_EXISTING);
    HANDLE m = CreateFileMappingW(f, nullptr, PAGE_READONLY, 0, 0, nullptr);
    auto* p = static_cast<const volatile char*>(MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[3 * 4096], 'q');
    ASSERT_EQ(::truncate(dir.Sub("f").c_str(), 100), 0);
    EXPECT_EQ(p[50], 'q');       // still in the file
    EXPECT_EQ(p[3 * 4096], 0);   // gone with the file: a zero page, no bus error
    EXPECT_EQ(p[2 * 4096 + 1], 0);
    EXPECT_TRUE(UnmapViewOfFile(const_cast<const char*>(p)));
    CloseHandle(m);
    CloseHandle(f);
}

} // namespace
