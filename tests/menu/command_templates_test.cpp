// Command templates expanded for the current directory, a listed entry and a
// given path: the rule of each form, the root and empty-extension cases, line
// breaks and environment references.
//
// The rule: %1 full name, %2 drive, %3 path after "X:" (a root's "\" drops
// a following template "\"), %4/%5 name and extension (an empty extension
// takes back the "." before it), %6 the directory's own name, %p the parent
// ("ROOTDIR" when empty, nothing before a "\"), %n/%e %6 split at its dot,
// %v label, %r current directory, %s size, %d date and time, %a attributes,
// %% and %!, "!!" a line break when asked; %NAME% from the environment.
#include "menu/command_templates.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fixture.h"
#include "main/window_state.h"
#include "tree/file_list.h"
#include "tree_builder.h"
#include "ui/numbers_dates.h"

namespace {

class CommandTemplateTest : public ::testing::Test {
protected:
    void SetUp() override {
        qtest::ResetTreeState();
        gDateFormat = 1;
        gTwelveHourClock = 0;
        disk = qtest::BuildDisk('Q');
        std::strcpy(disk->szLabel, "DATA DISK");
        beta = qtest::BuildDir(disk, u"alpha\\beta");
        alpha = beta->psiParent;
        const int64_t march5 = 1709641805; // 2024-03-05 12:30:05 UTC
        qtest::BuildFiles(beta, {{u"d.c", 123, {2, 2}, march5}, {u"my notes", 7, {2, 2}, march5}});
        qtest::BuildFiles(disk->psiRoot, {{u"readme", 1, {2, 2}, march5}});
        pdiCurrent = disk;
    }
    void TearDown() override {
        qtest::FreeTrees();
        qtest::ResetTreeState();
    }
    std::string Expand(int index, const char16_t* tmpl, DWORD lineBreaks = 0,
                       const char16_t* path = u"") {
        WCHAR out[PERCENT_PARAMS_UNITS] = {};
        std::u16string(path).copy(out, PERCENT_PARAMS_UNITS - 1);
        ExpandPercentParams(index, out, tmpl, lineBreaks, 0);
        return qtest::NarrowText(out);
    }
    // The list index of a name in the list of dir's files.
    int ListOf(SubdirInfo* dir, const char16_t* name) {
        psiCurrent = dir;
        BuildDisplayFileList(0);
        for (DWORD i = 0; i < gFMax; ++i) {
            WCHAR shown[TREE_MAX_FULL_NAME + 1] = {};
            GetFileDisplayName(shown, reinterpret_cast<FileEntry*>(ListEntries(gFileList)[i]));
            if (std::u16string(shown) == name)
                return int(i);
        }
        return -1;
    }
    DiskInfo* disk = nullptr;
    SubdirInfo* alpha = nullptr;
    SubdirInfo* beta = nullptr;
};

TEST_F(CommandTemplateTest, TheCurrentDirectory) {
    struct Case {
        int dir; // 0 the root, 1 alpha, 2 beta
        const char16_t* tmpl;
        const char* out;
    };
    const Case cases[] = {
        {2, u"%1|%2|%3|%6", "Q:\\alpha\\beta|Q|\\alpha\\beta|beta"},
        {2, u"%p|%n.%e|%v|%r", "\\alpha|beta|DATA DISK|Q:\\alpha\\beta"},
        {1, u"[%p]", "[ROOTDIR]"},
        {1, u"%p\\x", "\\x"},
        {0, u"%2:%3\\x", "Q:\\x"},
        {0, u"[%6]", "[]"},
        {2, u"100%% done%!", "100% done!"},
        {2, u"[%j1]", "[]"},
    };
    for (const Case& c : cases) {
        SubdirInfo* const dirs[] = {disk->psiRoot, alpha, beta};
        psiCurrent = dirs[c.dir];
        EXPECT_EQ(Expand(-1, c.tmpl), c.out) << qtest::NarrowText(c.tmpl);
    }
}

TEST_F(CommandTemplateTest, AListedEntry) {
    const int dc = ListOf(beta, u"d.c");
    ASSERT_GE(dc, 0);
    EXPECT_EQ(Expand(dc, u"%1|%3|%4|%5|%6"), "Q:\\alpha\\beta\\d.c|\\alpha\\beta|d|c|beta");
    EXPECT_EQ(Expand(dc, u"%s|%a|%d"), "            123|....|  3-05-24 12:30:05");
    EXPECT_EQ(Expand(dc, u"%2:%3\\%4.%5"), "Q:\\alpha\\beta\\d.c");
    const int notes = ListOf(beta, u"my notes");
    ASSERT_GE(notes, 0);
    EXPECT_EQ(Expand(notes, u"%4.%5!"), "my notes!") << "no extension: the dot is taken back";
    const int readme = ListOf(disk->psiRoot, u"readme");
    ASSERT_GE(readme, 0);
    EXPECT_EQ(Expand(readme, u"%2:%3\\%4.%5"), "Q:\\readme") << "one backslash at the root";
    EXPECT_EQ(Expand(readme, u"[%6]"), "[]");
}

TEST_F(CommandTemplateTest, AGivenPathLineBreaksAndTheEnvironment) {
    psiCurrent = beta;
    EXPECT_EQ(Expand(-1, u"%1|%2|%3|%4|%5", 0, u"Q:\\docs\\file.txt"),
              "Q:\\docs\\file.txt|Q|\\docs|file|txt");
    EXPECT_EQ(Expand(-1, u"a!! b!!c", 1), "a\nb\nc");
    EXPECT_EQ(Expand(-1, u"a!! b", 0), "a!! b");
    qtest::ScopedEnv set("QTEST_PRINT_DIR", "spool");
    qtest::ScopedEnv unset("QTEST_NOT_SET", nullptr);
    EXPECT_EQ(Expand(-1, u"%QTEST_PRINT_DIR%\\%6.txt"), "spool\\beta.txt");
    EXPECT_EQ(Expand(-1, u"%QTEST_NOT_SET%|%x y"), "%QTEST_NOT_SET%|%x y");
}

} // namespace
