// The natural name order (numbers by value, case ignored, leading zeros
// first), the relative-path test, and the shell functions that answer fixed
// values on a terminal.
#include "shellapi.h"
#include "shlobj.h"
#include "shlwapi.h"
#include "winerror.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(StrCmpLogical, NumbersByValue) {
    struct Row {
        const char* what;
        const WCHAR* a;
        const WCHAR* b;
        int order;
    } rows[] = {
        {"2 before 10", u"file2", u"file10", -1},
        {"leading zeros first", u"file01", u"file1", -1},
        {"more leading zeros first", u"x00", u"x0", -1},
        {"zeros decide before what follows", u"a1b", u"a01a", 1},
        {"case ignored", u"FILE1", u"file1", 0},
        {"case ignored beyond ASCII", u"\u00C4rger", u"\u00E4rger", 0},
        {"equal", u"abc12def", u"abc12def", 0},
        {"numbers longer than 64 bits", u"v123456789012345678901234567890",
         u"v123456789012345678901234567891", -1},
        {"a longer number is greater", u"v99999999999999999999", u"v100000000000000000000", -1},
        {"same digits, more of them", u"7", u"70", -1},
        {"a number continues after its run", u"a10b2", u"a10b10", -1},
        {"a digit before a letter", u"1a", u"a", -1},
        {"letters by lower-cased value", u"B", u"a", 1},
        {"a prefix first", u"abc", u"abcd", -1},
        {"a number after a prefix", u"abc", u"abc1", -1},
        {"both empty", u"", u"", 0},
        {"empty first", u"", u"a", -1},
        {"null counts as empty", nullptr, u"", 0},
        {"null before text", nullptr, u"a", -1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(StrCmpLogicalW(r.a, r.b), r.order) << r.what;
        EXPECT_EQ(StrCmpLogicalW(r.b, r.a), -r.order) << r.what << ", reversed";
    }
}

TEST(PathIsRelative, RootsAndDrives) {
    struct Row {
        const WCHAR* path;
        BOOL relative;
    } rows[] = {
        {u"C:foo", FALSE},      {u"C:\\foo", FALSE}, {u"\\foo", FALSE},   {u"/foo", FALSE},
        {u"\\\\srv\\s", FALSE}, {u"1:", FALSE},      {u"foo\\bar", TRUE}, {u"..\\x", TRUE},
        {u"c", TRUE},           {u"", TRUE},         {nullptr, TRUE},
    };
    for (const Row& r : rows)
        EXPECT_EQ(PathIsRelativeW(r.path), r.relative)
            << (r.path ? std::string(r.path, r.path + std::char_traits<char16_t>::length(r.path))
                       : std::string("(null)"));
}

TEST(ShellStubs, AnswersOfFunctionsWithoutMeaningHere) {
    void* stream = &stream;
    EXPECT_EQ(SHCreateStreamOnFileW(u"C:\\x", 0, reinterpret_cast<IStream**>(&stream)), E_NOTIMPL);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(SHCreateStreamOnFileW(u"C:\\x", 0, nullptr), E_NOTIMPL);
    EXPECT_EQ(SHFormatDrive(nullptr, 2, 0, 0), SHFMT_ERROR);

    // The file information record is cleared when the caller's size holds
    // it, and left alone otherwise.
    SHFILEINFOW info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(SHGetFileInfoW(u"C:\\x.exe", 0, &info, sizeof info - 1, SHGFI_EXETYPE), 0u);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(&info)[0], 0xAB);
    EXPECT_EQ(SHGetFileInfoW(u"C:\\x.exe", 0, &info, sizeof info, SHGFI_EXETYPE), 0u);
    SHFILEINFOW zero{};
    EXPECT_EQ(std::memcmp(&info, &zero, sizeof info), 0);
    EXPECT_EQ(SHGetFileInfoW(u"C:\\x.exe", 0, nullptr, sizeof info, 0), 0u);
}

} // namespace
