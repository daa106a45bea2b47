// Copying the current pane's tags to the other pane: entries tagged and
// listed here become tagged there, entries already tagged there stay as they
// are, and every counter of both panes equals a recount afterwards.
#include "main/window_state.h"
#include "tree/file_list.h"
#include "tree/pane_bookkeeping.h"
#include "tree/tree_records.h"
#include "list_scope.h"
#include "tree_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const auto Tagged = qtest::IsTaggedFlag;

class CopyTags : public ::testing::Test {
  protected:
    void SetUp() override { qtest::ResetTreeState(); }
    void TearDown() override { qtest::ResetTreeState(); }
};

struct PaneFlags {
    BYTE pane0, pane1;
};

// The files of dir with the flag pairs given, in order, counters recounted.
void SetFlags(SubdirInfo* dir, const std::vector<PaneFlags>& flags) {
    ASSERT_EQ(dir->dwFiles, flags.size());
    for (size_t i = 0; i < flags.size(); i++) {
        dir->pFiles[i].bFlags[0] = flags[i].pane0;
        dir->pFiles[i].bFlags[1] = flags[i].pane1;
    }
    qtest::RecountTrees();
}

TEST_F(CopyTags, FilesTaggedHereBecomeTaggedThere) {
    struct Case {
        const char* what;
        WORD pane;
        std::vector<PaneFlags> flags;
        std::vector<bool> taggedThereAfter;
    };
    const Case cases[] = {
        {"tagged and marked entries are copied", 0,
         {{3, 2}, {6, 2}, {2, 2}, {7, 2}},
         {true, true, false, true}},
        {"an entry tagged there already is left as it is", 0,
         {{3, 3}, {3, 6}, {3, 2}},
         {true, true, true}},
        {"an entry that is not listed here is not copied", 0,
         {{1, 2}, {5, 2}, {3, 2}},
         {false, false, true}},
        {"an entry that does not match there is still tagged there", 0,
         {{3, 0}, {2, 0}},
         {true, false}},
        {"from pane 1 to pane 0", 1,
         {{2, 3}, {3, 2}, {2, 6}, {2, 2}},
         {true, true, true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qtest::ResetTreeState();
        std::u16string description;
        for (size_t i = 0; i < c.flags.size(); i++)
            description += u"d\\f" + std::u16string(1, char16_t(u'a' + i)) + u".txt=" +
                           std::u16string(1, char16_t(u'1' + i)) + u"0 ";
        DiskInfo* disk = qtest::BuildTree('C', description + u"d\\other.txt=5");
        pdiCurrent = disk;
        psiCurrent = FindDirByPath(u"C:\\d", nullptr, TRUE);
        ASSERT_NE(psiCurrent, nullptr);
        std::vector<PaneFlags> flags = c.flags;
        flags.push_back({2, 2});
        SetFlags(psiCurrent, flags);
        gCurrentPane = c.pane;
        gDisplayMode[c.pane] = 1;
        BuildDisplayFileList(0);
        ASSERT_NE(gFileList, nullptr);
        const WORD other = WORD(1 - c.pane);
        const DWORD listTagged = gFileList->taggedEntries[c.pane];
        const DWORD fTagged = gFTagged;
        std::vector<BYTE> before;
        for (DWORD i = 0; i < psiCurrent->dwFiles; i++) before.push_back(psiCurrent->pFiles[i].bFlags[other]);

        CopyTagsToOtherSide();

        EXPECT_EQ(gCurrentPane, c.pane) << "the current pane is put back";
        EXPECT_EQ(qtest::CheckTreeText(), "") << "counters of both panes equal a recount";
        EXPECT_EQ(gFileList->taggedEntries[c.pane], listTagged);
        EXPECT_EQ(gFTagged, fTagged);
        for (size_t i = 0; i < c.flags.size(); i++) {
            SCOPED_TRACE("file " + std::to_string(i));
            const FileEntry& f = psiCurrent->pFiles[i];
            const BYTE here = c.pane == 0 ? c.flags[i].pane0 : c.flags[i].pane1;
            EXPECT_EQ(f.bFlags[c.pane], here) << "this pane is not changed";
            EXPECT_EQ(Tagged(f.bFlags[other]), c.taggedThereAfter[i]);
            if (Tagged(before[i])) {
                EXPECT_EQ(f.bFlags[other], before[i]) << "already tagged: unchanged";
            }
            EXPECT_EQ(f.bFlags[other] & ENTRY_MATCHES, before[i] & ENTRY_MATCHES);
        }
        EXPECT_FALSE(Tagged(psiCurrent->pFiles[c.flags.size()].bFlags[other]));
        // Copying again changes nothing.
        std::vector<BYTE> once;
        for (DWORD i = 0; i < psiCurrent->dwFiles; i++) once.push_back(psiCurrent->pFiles[i].bFlags[other]);
        const DWORD dirTagged = psiCurrent->dwTagFiles[other];
        CopyTagsToOtherSide();
        for (DWORD i = 0; i < psiCurrent->dwFiles; i++) EXPECT_EQ(psiCurrent->pFiles[i].bFlags[other], once[i]);
        EXPECT_EQ(psiCurrent->dwTagFiles[other], dirTagged);
        EXPECT_EQ(qtest::CheckTreeText(), "");
    }
}

TEST_F(CopyTags, AShowallListCopiesAcrossDirectories) {
    DiskInfo* disk = qtest::BuildTree('C', u"a\\x=10#3 a\\y=20#2 b\\c\\z=30#3 top=40#3");
    for (SubdirInfo* d : qtest::DirsInOrder(disk))
        for (DWORD i = 0; i < d->dwFiles; i++) d->pFiles[i].bFlags[1] = ENTRY_MATCHES;
    qtest::RecountTrees();
    pdiCurrent = disk;
    psiCurrent = disk->psiRoot;
    gDisplayMode[0] = 4;
    BuildGlobalFileList(0, disk, 0);
    ASSERT_EQ(gFMax, 4u);
    CopyTagsToOtherSide();
    EXPECT_EQ(qtest::CheckTreeText(), "");
    EXPECT_EQ(disk->dwTagFiles[1], 3u);
    EXPECT_EQ(disk->qwTagBytes[1], 80u);
    EXPECT_EQ(disk->dwTagFiles[0], 3u);
}

} // namespace
