// The match and tag counters after filter changes: on either pane, in split
// screen and not, with tagged entries, read and unread directories, and
// directory lists; every state is checked by the tree's invariant checker
// and every match bit against its pane's filter.
#include "main/window_state.h"
#include "tree/dir_counts.h"
#include "tree/filter.h"
#include "tree/regex.h"
#include "ui/filter_cache.h"
#include "tree/tree_records.h"
#include "regex_filters.h"
#include "tree_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qtest::BuildTree;
using qtest::CheckTree;

std::string Joined(const std::vector<std::string>& faults) {
    std::string out;
    for (const std::string& f : faults) out += f + "\n";
    return out;
}

class DirCounts : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { qtest::BindRegexFilters(); }
    static void TearDownTestSuite() { qtest::UnbindRegexFilters(); }
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        qtest::FreeTrees();
        InitFilterSlots();
        gCurrentPane = 0;
        gSplitScreen = 0;
        gDirMode[0] = gDirMode[1] = 0;
    }
    static void SetFilter(int pane, const char16_t* text) {
        ASSERT_EQ(CompileFilterText(text, &gFilterSlots[pane], nullptr, 0, nullptr), FILTER_OK);
    }
    // Every file's bit of pane agrees with the pane's filter.
    static void ExpectBitsFollow(int pane) {
        for (DiskInfo* disk = pdiFirst; disk; disk = disk->pdiNext == pdiFirst ? nullptr : disk->pdiNext) {
            for (SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
                if (!d->pFiles) continue;
                for (FileEntry* e = d->pFiles; e->wszShortName[0]; e++) {
                    WCHAR name[TREE_MAX_FULL_NAME + 2];
                    GetFileDisplayName(name, e);
                    EXPECT_EQ((e->bFlags[pane] & ENTRY_MATCHES) != 0,
                              SlotPasses(gFilterSlots[pane], e) != 0)
                        << "pane " << pane << " " << std::string(name, name + wcslen(name));
                }
            }
            if (gDiskCount == 1) break;
        }
    }
    static void ExpectSound() { EXPECT_EQ(Joined(CheckTree()), ""); }
};

constexpr char16_t kTree[] =
    u"a\\x.txt=100 a\\y.doc=20#3 a\\b\\z.txt=7 a\\b\\big.bin=5000#1 c\\ w.txt=1 v.c=3#6";

TEST_F(DirCounts, FilterChangesOnEitherPaneKeepTheCountersSound) {
    DiskInfo* disk = BuildTree('X', kTree);
    DiskInfo* other = BuildTree('Y', u"q\\p.txt=9 r.doc=2");
    pdiCurrent = disk;
    psiCurrent = disk->psiRoot;
    const struct {
        int pane;
        DWORD split;
        const char16_t* filter;
    } steps[] = {
        {0, 0, u"*.txt"},   {0, 0, u">S50"},  {1, 0, u"-*.txt"}, {1, 1, u"*.doc,*.c"},
        {0, 1, u"-=S7"},    {1, 1, u"*.*"},   {0, 1, u"z*"},     {1, 0, u"/\\.bin$/"},
    };
    for (const auto& step : steps) {
        gCurrentPane = WORD(step.pane);
        gSplitScreen = step.split;
        SetFilter(step.pane, step.filter);
        RecountAllDisks();
        ExpectSound();
        ExpectBitsFollow(step.pane);
        if (step.split) ExpectBitsFollow(1 - step.pane);
        EXPECT_EQ(pdiCurrent, disk) << "the current disk is put back";
    }
    // The figures themselves, for *.txt on pane 0 of X.
    gSplitScreen = 0;
    gCurrentPane = 0;
    SetFilter(0, u"*.txt");
    RecountAllDisks();
    EXPECT_EQ(disk->dwMatchFiles[0], 3u);
    EXPECT_EQ(disk->qwMatchBytes[0], 108u);
    EXPECT_EQ(disk->dwTagFiles[0], 3u) << "tagged and marked entries, whether they match or not";
    EXPECT_EQ(disk->qwTagBytes[0], 5023u);
    EXPECT_EQ(other->dwMatchFiles[0], 1u) << "the other disk is recounted too";
    ExpectSound();
}

TEST_F(DirCounts, WithoutSplitScreenOnlyTheCurrentPanesBitsChange) {
    DiskInfo* disk = BuildTree('X', kTree);
    pdiCurrent = disk;
    SetFilter(0, u"*.doc");
    SetFilter(1, u"*.doc");
    gCurrentPane = 1;
    gSplitScreen = 0;
    RecountDisk(disk);
    ExpectBitsFollow(1);
    EXPECT_EQ(disk->dwMatchFiles[0], 5u) << "pane 0 keeps its bits: every file but big.bin";
    EXPECT_EQ(disk->dwMatchFiles[1], 1u);
    ExpectSound();
}

TEST_F(DirCounts, ApplyDirCountsMovesOneDirectorysFiguresOnTheDisk) {
    DiskInfo* disk = BuildTree('X', kTree);
    SubdirInfo* a = FindDirByPath(u"X:\\a", nullptr, TRUE);
    pdiCurrent = disk;
    ASSERT_NE(a, nullptr);
    SetFilter(0, u"*.doc");
    ApplyDirCounts(disk, a);
    EXPECT_EQ(a->dwMatchFiles[0], 1u);
    EXPECT_EQ(a->qwMatchBytes[0], 20u);
    ExpectSound();
    // A disk figure smaller than the directory's stops at 0.
    disk->dwMatchFiles[0] = 0;
    disk->qwMatchBytes[0] = 0;
    ApplyDirCounts(disk, a);
    EXPECT_EQ(disk->dwMatchFiles[0], 1u);
    EXPECT_EQ(disk->qwMatchBytes[0], 20u);
    // Without a disk only the directory is counted.
    SetFilter(0, u"*.*");
    ApplyDirCounts(nullptr, a);
    EXPECT_EQ(a->dwMatchFiles[0], 2u);
    EXPECT_EQ(disk->dwMatchFiles[0], 1u);
}

TEST_F(DirCounts, ADirectoryListTestsTheDirectoriesOfTheBranch) {
    DiskInfo* disk = BuildTree('X', u"a\\b\\ a\\x.txt=1 c\\ abc\\d\\");
    pdiCurrent = disk;
    SubdirInfo* abc = FindDirByPath(u"X:\\abc", nullptr, TRUE);
    ASSERT_NE(abc, nullptr);
    abc->bExpanded = 0;
    gDirMode[0] = 1;
    SetFilter(0, u"a*");
    RecountDisk(disk);
    const struct {
        const char16_t* path;
        bool match;
    } rows[] = {{u"X:\\a", true}, {u"X:\\a\\b", false}, {u"X:\\c", false}, {u"X:\\abc", true},
                {u"X:\\abc\\d", false}};
    for (const auto& row : rows) {
        SubdirInfo* d = FindDirByPath(row.path, nullptr, TRUE);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ((d->bFlags[0] & ENTRY_MATCHES) != 0, row.match)
            << std::string(row.path, row.path + wcslen(row.path));
    }
    ExpectSound();
}

} // namespace
