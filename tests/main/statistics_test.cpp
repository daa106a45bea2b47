// The branch sums of the statistics panel, the branch walk behind the size
// column, the size figure of a directory in its counting and row forms, and
// the pane title, over small trees built in memory.
#include "main/statistics.h"
#include "main/tree_window.h"
#include "platform/console_session.h"
#include "settings/quit.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/tree_records.h"
#include "tree_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <string>

namespace {

// The six figures of the panel as a table row gives them.
struct Figures {
    DWORD files, match, tag;
    ULONGLONG bytes, matchBytes, tagBytes;
};

void ExpectFigures(const Figures& f, const char* what) {
    EXPECT_EQ(gStatFiles, f.files) << what;
    EXPECT_EQ(gStatBytes, f.bytes) << what;
    EXPECT_EQ(gStatMatchFiles, f.match) << what;
    EXPECT_EQ(gStatMatchBytes, f.matchBytes) << what;
    EXPECT_EQ(gStatTagFiles, f.tag) << what;
    EXPECT_EQ(gStatTagBytes, f.tagBytes) << what;
}

class Statistics : public ::testing::Test {
  protected:
    void SetUp() override {
        Reset();
        // Files: a\f1 100, a\f2 50 (tagged), a\b\f3 10, a\b\g 7 (matches
        // nothing), root r 5 (marked); c\ holds none.
        disk_ = qtest::BuildTree('X', u"a\\f1=100 a\\f2=50#3 a\\b\\f3=10 a\\b\\g=7#0 c\\ r=5#6");
        pdiCurrent = disk_;
        psiCurrent = disk_->psiRoot;
        a_ = FindDirByPath(u"X:\\a", nullptr, TRUE);
        b_ = FindDirByPath(u"X:\\a\\b", nullptr, TRUE);
        c_ = FindDirByPath(u"X:\\c", nullptr, TRUE);
        ASSERT_TRUE(a_ && b_ && c_);
    }
    void TearDown() override { Reset(); }

  public:
    static void Reset() {
        qtest::FreeTrees();
        gCurrentPane = 0;
        gDirMode[0] = gDirMode[1] = 0;
        gDisplayMode[0] = gDisplayMode[1] = 1;
        gTreeSizeMode = 0;
        gKiloUnit = 1024;
        gStatFiles = gStatMatchFiles = gStatTagFiles = gStatLoggedDirs = 0;
        gStatBytes = gStatMatchBytes = gStatTagBytes = 0;
    }
    DiskInfo* disk_ = nullptr;
    SubdirInfo* a_ = nullptr;
    SubdirInfo* b_ = nullptr;
    SubdirInfo* c_ = nullptr;
};

TEST_F(Statistics, BranchSumsOfReadDirectories) {
    const struct {
        const char* what;
        bool bUnread;
        SubdirInfo* Statistics::*dir;
        DWORD files, match, tag, logged;
        ULONGLONG bytes, matchBytes, tagBytes;
    } rows[] = {
        {"the whole disk", false, nullptr, 5, 4, 2, 4, 172, 165, 55},
        {"the branch of a", false, &Statistics::a_, 4, 3, 1, 2, 167, 160, 50},
        {"a leaf", false, &Statistics::b_, 2, 1, 0, 1, 17, 10, 0},
        {"an unread directory adds nothing", true, &Statistics::a_, 2, 2, 1, 1, 150, 150, 50},
    };
    for (const auto& row : rows) {
        b_->bLogged = row.bUnread ? 0 : 1;
        SubdirInfo* dir = row.dir ? this->*row.dir : disk_->psiRoot;
        EXPECT_EQ(SumBranchStats(dir, TRUE), row.match) << row.what;
        ExpectFigures({row.files, row.match, row.tag, row.bytes, row.matchBytes, row.tagBytes},
                      row.what);
        EXPECT_EQ(gStatLoggedDirs, row.logged) << row.what;
    }
    b_->bLogged = 1;
    // Without reset only the count of read directories changes.
    gStatFiles = 999;
    EXPECT_EQ(SumBranchStats(a_, FALSE), 3u);
    EXPECT_EQ(gStatFiles, 999u);
    EXPECT_EQ(gStatLoggedDirs, 2u);
    EXPECT_EQ(SumBranchStats(nullptr, TRUE), 0u);
    // The other pane's figures are its own.
    gCurrentPane = 1;
    a_->pFiles[0].bFlags[1] = 0;
    qtest::RecountTrees();
    EXPECT_EQ(SumBranchStats(a_, TRUE), 2u);
}

TEST_F(Statistics, BranchSumsWhileListingDirectories) {
    gDirMode[0] = 1;
    a_->bFlags[0] = ENTRY_MATCHES | ENTRY_TAGGED;
    b_->bFlags[0] = 0;
    SumBranchStats(a_, TRUE);
    EXPECT_EQ(gStatFiles, 1u) << "the subdirectories of the branch";
    EXPECT_EQ(gStatBytes, 167u);
    EXPECT_EQ(gStatMatchFiles, 1u) << "a passes the filter, b does not";
    EXPECT_EQ(gStatMatchBytes, 150u);
    EXPECT_EQ(gStatTagFiles, 2u) << "a itself and its tagged file";
    EXPECT_EQ(gStatTagBytes, 200u);
    gDisplayMode[0] = 3;
    SumBranchStats(a_, TRUE);
    EXPECT_EQ(gStatFiles, 2u) << "a branch list counts its top directory";
}

TEST_F(Statistics, BranchWalkCountsAndKnowsWhenItIsComplete) {
    DWORD complete = 1;
    EXPECT_EQ(BranchHasUnlogged(a_, &complete, FALSE, FALSE, TRUE, FALSE), 167u);
    EXPECT_EQ(complete, 1u);
    EXPECT_EQ(BranchHasUnlogged(a_, nullptr, FALSE, FALSE, FALSE, FALSE), 4u);
    EXPECT_EQ(BranchHasUnlogged(a_, nullptr, FALSE, TRUE, TRUE, FALSE), 50u);
    EXPECT_EQ(BranchHasUnlogged(a_, nullptr, FALSE, TRUE, FALSE, FALSE), 1u);
    EXPECT_EQ(BranchHasUnlogged(a_, nullptr, FALSE, FALSE, TRUE, TRUE), 4u * 65535u)
        << "every file counts at least 65535";
    EXPECT_EQ(BranchHasUnlogged(a_, nullptr, TRUE, FALSE, TRUE, FALSE), 1u);
    b_->bRefresh = 1;
    complete = 1;
    EXPECT_EQ(BranchHasUnlogged(a_, &complete, FALSE, FALSE, TRUE, FALSE), 167u);
    EXPECT_EQ(complete, 0u) << "files to be read again are not complete";
    b_->bRefresh = 0;
    b_->bLogged = 0;
    complete = 1;
    EXPECT_EQ(BranchHasUnlogged(a_, &complete, FALSE, FALSE, TRUE, FALSE), 150u);
    EXPECT_EQ(complete, 0u);
    a_->bLogged = 0;
    EXPECT_EQ(BranchHasUnlogged(a_, nullptr, TRUE, FALSE, TRUE, FALSE), 0u)
        << "no read directory in the branch";
    EXPECT_EQ(BranchHasUnlogged(nullptr, nullptr, FALSE, FALSE, TRUE, FALSE), 0u);
}

TEST_F(Statistics, SizeFigureInItsCountingForm) {
    const struct {
        WORD mode;
        SubdirInfo* Statistics::*dir;
        ULONGLONG figure;
    } rows[] = {
        {0, &Statistics::a_, 150}, {1, &Statistics::a_, 150}, {2, &Statistics::a_, 167},
        {3, &Statistics::a_, 50},  {4, &Statistics::a_, 50},  {5, &Statistics::a_, 2},
        {6, &Statistics::a_, 4},   {7, &Statistics::a_, 1},   {8, &Statistics::a_, 1},
        {2, &Statistics::b_, 17},  {9, &Statistics::a_, 150}, {3, &Statistics::b_, 17},
    };
    for (const auto& row : rows) {
        gTreeSizeMode = row.mode;
        EXPECT_EQ(FormatCountK(this->*row.dir, nullptr, 0), row.figure) << "mode " << row.mode;
    }
    // The figure a size filter compares for a directory.
    gTreeSizeMode = 0;
    FilterSlot slot{};
    ASSERT_EQ(CompileFilterText(u">S149,<S151", &slot, nullptr, 0, nullptr), FILTER_OK);
    EXPECT_EQ(SlotPasses(slot, a_), 1);
    EXPECT_EQ(SlotPasses(slot, b_), 0);
    std::free(slot.items);
}

TEST_F(Statistics, SizeFigureInItsRowForm) {
    const struct {
        WORD mode;
        SubdirInfo* Statistics::*dir;
        bool bUnread;
        const char16_t* column;
    } rows[] = {
        {1, &Statistics::a_, false, u"(1k"}, {2, &Statistics::a_, false, u"[1k"},
        {2, &Statistics::a_, true, u"{1k"},  {5, &Statistics::a_, false, u"(2#"},
        {6, &Statistics::a_, false, u"[4#"}, {8, &Statistics::a_, false, u"[1\u2666"},
        {3, &Statistics::a_, false, u"(1t"},
    };
    for (const auto& row : rows) {
        b_->bLogged = row.bUnread ? 0 : 1;
        gTreeSizeMode = row.mode;
        WCHAR text[21] = u"name";
        FormatCountK(this->*row.dir, text, 20);
        const std::u16string shown(text);
        EXPECT_EQ(shown.size(), 19u) << "mode " << row.mode;
        const std::u16string column(row.column);
        EXPECT_EQ(shown.substr(19 - column.size()), column) << "mode " << row.mode;
        EXPECT_EQ(shown.substr(0, 5), u"name ") << "mode " << row.mode;
    }
    // An unread directory without files has no figure: "?".
    c_->bLogged = 0;
    gTreeSizeMode = 1;
    WCHAR text[21] = u"c";
    EXPECT_EQ(FormatCountK(c_, text, 20), 0u);
    EXPECT_EQ(std::u16string(text), u"c                 ?");
}

TEST_F(Statistics, PaneTitleNamesTheWindowAndTheFilter) {
    InitFilterSlots();
    ASSERT_EQ(CompileFilterText(u"*.txt", &gFilterSlots[1], nullptr, 0, nullptr), FILTER_OK);
    gTreeWidth = 30;
    WCHAR title[41];
    EXPECT_EQ(TreeTitleText(1, title, 40), 13u);
    EXPECT_EQ(std::u16string(title).substr(0, 14), u"<tree: *.txt>\u2500");
    EXPECT_EQ(std::u16string(title).size(), 40u);
    gPanes[1].FileWindowOpen = 1;
    gDisplayMode[1] = 4;
    TreeTitleText(1, title, 40);
    EXPECT_EQ(std::u16string(title).substr(0, 17), u"<showall: *.txt>\u2500");
    // A filter longer than the room is cut with a mark.
    ASSERT_EQ(CompileFilterText(u"aaaaaaaaaa,bbbbbbbbbb,cccccccccc", &gFilterSlots[1], nullptr, 0,
                                nullptr),
              FILTER_OK);
    const size_t length = TreeTitleText(1, title, 40);
    const std::u16string shown(title, length);
    EXPECT_EQ(shown.substr(0, 10), u"<showall: ");
    EXPECT_EQ(shown.substr(shown.size() - 2), u"\u25BA>");
    EXPECT_LE(shown.size(), size_t(30 + 2 - 5));
    gPanes[1] = PaneState{};
    InitFilterSlots();
}

} // namespace

namespace {

// The tree window's rows take one heap block; when it cannot be had the
// program ends, naming the request.
TEST(TreeRows, NoMemoryForTheRowsEndsTheProgramWithTheRequest) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Statistics::Reset();
    gScreenRows = 43;
    gTreeLineStride = 77;
    gWindowMode = 0;
    pdiCurrent = qtest::BuildTree('X', u"a\\ b\\");
    EXPECT_EXIT(
        {
            ::dup2(2, 1); // the message goes to standard output
            CheckedAllocFailAt(1);
            showtree();
        },
        ::testing::ExitedWithCode(255),
        "Fatal Memory error in module: Qtb at line: [0-9]+ : showtree\\(\\) \nRequested 7 KB "
        "\\(47 x 154\\)\n");
    Statistics::Reset();
}

} // namespace

namespace {

// Three logged disks for the disk figures: X as the fixture has it, Y
// with a directory and a tagged root file, Z with an unread directory.
struct ThreeDisks {
    DiskInfo* x;
    DiskInfo* y;
    DiskInfo* z;
};

ThreeDisks BuildThreeDisks(DiskInfo* x) {
    ThreeDisks disks{x, qtest::BuildTree('Y', u"d\\f=1000 g=24#3"),
                     qtest::BuildTree('Z', u"e\\ f=1")};
    FindDirByPathAnyDisk(u"Z:\\e", nullptr, TRUE)->bLogged = 0;
    return disks;
}

} // namespace

TEST_F(Statistics, DiskSumsOverTheCurrentDiskOrEveryLoggedDisk) {
    const ThreeDisks disks = BuildThreeDisks(disk_);
    ASSERT_EQ(gDiskCount, 3);
    const struct {
        const char* what;
        WORD displayMode;
        DWORD dirMode;
        DiskInfo* ThreeDisks::*current;
        DWORD files, match, tag, logged;
        ULONGLONG bytes, matchBytes, tagBytes;
    } rows[] = {
        {"one disk", 1, 0, &ThreeDisks::x, 5, 4, 2, 4, 172, 165, 55},
        {"showall counts its own disk", 4, 0, &ThreeDisks::y, 2, 2, 1, 2, 1024, 1024, 24},
        {"global adds every disk of the ring", 5, 0, &ThreeDisks::x, 8, 7, 3, 7, 1197, 1190, 79},
        {"global from another disk", 5, 0, &ThreeDisks::z, 8, 7, 3, 7, 1197, 1190, 79},
        {"directories in place of files", 1, 1, &ThreeDisks::x, 4, 4, 2, 4, 172, 165, 55},
        {"global directories", 5, 1, &ThreeDisks::x, 8, 7, 3, 7, 1197, 1190, 79},
    };
    for (const auto& row : rows) {
        gDisplayMode[0] = row.displayMode;
        gDirMode[0] = row.dirMode;
        pdiCurrent = disks.*row.current;
        SumDiskStats(TRUE);
        ExpectFigures({row.files, row.match, row.tag, row.bytes, row.matchBytes, row.tagBytes},
                      row.what);
        EXPECT_EQ(gStatLoggedDirs, row.logged) << row.what;
        // Without countLogged the read directories are left as they were.
        gStatLoggedDirs = 999;
        SumDiskStats(FALSE);
        EXPECT_EQ(gStatLoggedDirs, 999u) << row.what;
        EXPECT_EQ(gStatFiles, row.files) << row.what;
    }
}

TEST_F(Statistics, DirectoryListFigures) {
    gDirMode[0] = 1;
    SubdirInfo* root = disk_->psiRoot;
    const struct {
        const char* what;
        BYTE rootFlags, aFlags, bFlags;
        WORD displayMode;
        DWORD files, match, tag;
        ULONGLONG bytes, matchBytes, tagBytes;
    } rows[] = {
        {"children count once, grandchildren add bytes", 0, ENTRY_MATCHES | ENTRY_TAGGED,
         ENTRY_MATCHES, 1, 1, 1, 1, 167, 160, 50},
        {"a tagged directory counts itself", ENTRY_TAGGED, ENTRY_MATCHES | ENTRY_TAGGED,
         ENTRY_MATCHES, 1, 1, 1, 2, 167, 160, 55},
        {"a marked grandchild adds bytes, not a count", 0, ENTRY_MATCHES, ENTRY_MARKED, 1, 1, 1, 0,
         167, 150, 0},
        {"a branch list counts its top", 0, ENTRY_MATCHES | ENTRY_TAGGED, ENTRY_MATCHES, 3, 2, 2, 1,
         167, 160, 50},
    };
    for (const auto& row : rows) {
        root->bFlags[0] = row.rootFlags;
        a_->bFlags[0] = row.aFlags;
        b_->bFlags[0] = row.bFlags;
        c_->bFlags[0] = 0;
        gDisplayMode[0] = row.displayMode;
        gStatMatchFiles = gStatTagFiles = 0;
        gStatMatchBytes = gStatTagBytes = 0;
        EXPECT_EQ(SumDirStats(root), row.match) << row.what;
        ExpectFigures({row.files, row.match, row.tag, row.bytes, row.matchBytes, row.tagBytes},
                      row.what);
    }
    // Totals nothing contributed to keep what they held.
    root->bFlags[0] = a_->bFlags[0] = b_->bFlags[0] = 0;
    gDisplayMode[0] = 1;
    gStatMatchFiles = 77;
    gStatTagBytes = 88;
    EXPECT_EQ(SumDirStats(root), 77u);
    EXPECT_EQ(gStatTagBytes, 88u);
}

TEST_F(Statistics, SizeColumnRoundsUpAndKnowsWhenToShowNothing) {
    pdiCurrent = qtest::BuildTree('W', u"one\\f=1 zero\\z=0 deep\\mid\\w=0 none\\");
    SubdirInfo* one = FindDirByPath(u"W:\\one", nullptr, TRUE);
    SubdirInfo* zero = FindDirByPath(u"W:\\zero", nullptr, TRUE);
    SubdirInfo* deep = FindDirByPath(u"W:\\deep", nullptr, TRUE);
    SubdirInfo* none = FindDirByPath(u"W:\\none", nullptr, TRUE);
    const struct {
        const char* what;
        WORD kilo, mode;
        SubdirInfo* dir;
        const char16_t* row; // the whole row of width 12; "" leaves "name" as it was
    } rows[] = {
        {"1 byte is 1k (1024)", 1024, 1, one, u"name     (1k"},
        {"1 byte is 1k (1000)", 1000, 1, one, u"name     (1k"},
        {"files of 0 bytes show 0", 1024, 1, zero, u"name     (0k"},
        {"a branch of 0 bytes with files shows 0", 1024, 2, deep, u"name     [0k"},
        {"a branch with nothing tagged shows nothing", 1024, 4, deep, u"name"},
        {"a read directory without files shows nothing", 1024, 1, none, u"name"},
        {"nothing tagged in one directory shows nothing", 1024, 3, one, u"name"},
    };
    for (const auto& row : rows) {
        gKiloUnit = row.kilo;
        gTreeSizeMode = row.mode;
        WCHAR text[14] = u"name";
        FormatCountK(row.dir, text, 13);
        EXPECT_EQ(std::u16string(text), row.row) << row.what;
    }
}
