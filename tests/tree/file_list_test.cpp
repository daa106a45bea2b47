// The display-list builders: every display mode and directory mode compared
// with a list gathered by brute force from the records, tagged-only lists,
// the sort decision, allocation failure and the fatal end of counters out of
// step with the records.
#include "archive/archive_state.h"
#include "main/statistics.h"
#include "main/window_state.h"
#include "platform/keyboard.h"
#include "settings/quit.h"
#include "tree/dir_counts.h"
#include "tree/file_list.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "list_scope.h"
#include "tree_builder.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using qtest::BuildTree;

struct Sums {
    DWORD taggedEntries = 0, taggedFiles = 0;
    ULONGLONG taggedBytes = 0, matchingBytes = 0;
};

using qtest::ScopeDirs;
const auto Tagged = qtest::IsTaggedFlag;

// The files a list of the scope must hold, in walk order, and its sums.
std::vector<EntryHead*> BruteFiles(WORD mode, DiskInfo* disk, bool taggedOnly, Sums* sums) {
    std::vector<EntryHead*> out;
    for (SubdirInfo* d : ScopeDirs(mode, disk)) {
        if (!d->pFiles || !d->bLogged) continue;
        for (FileEntry* e = d->pFiles; e->wszShortName[0]; e++) {
            const BYTE f = e->bFlags[gCurrentPane];
            if (IsDriveEntry(e) || !(f & ENTRY_MATCHES)) continue;
            if (Tagged(f)) sums->taggedEntries++;
            else if (taggedOnly && !(f & ENTRY_INCLUDED)) continue;
            out.push_back(HeadOf(e));
        }
        sums->taggedFiles += d->dwTagFiles[gCurrentPane];
        sums->taggedBytes += d->qwTagBytes[gCurrentPane];
        sums->matchingBytes += d->qwMatchBytes[gCurrentPane];
    }
    return out;
}

std::vector<EntryHead*> Listed() {
    std::vector<EntryHead*> out;
    if (!gFileList) return out;
    for (DWORD i = 0; i < gFMax; i++) out.push_back(ListEntries(gFileList)[i]);
    EXPECT_EQ(ListEntries(gFileList)[gFMax], nullptr) << "the list ends in a null pointer";
    return out;
}

void SortLikeTheList(std::vector<EntryHead*>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](EntryHead* a, EntryHead* b) { return SortFileList(a, b) < 0; });
}

std::string Names(const std::vector<EntryHead*>& entries) {
    std::string out;
    for (EntryHead* e : entries) {
        WCHAR name[1100];
        GetFileDisplayName(name, reinterpret_cast<FileEntry*>(e));
        for (const WCHAR* p = name; *p; p++) out += char(*p < 0x80 ? *p : '?');
        out += ' ';
    }
    return out;
}

class FileListTest : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        Reset();
        UiScriptEnd();
        CheckedAllocFailAt(0);
    }
    static void Reset() {
        qtest::ResetTreeState();
        gFileListSkipRecountForTest = FALSE;
    }
    // Two disks: C with a branch a (files tagged, unmatched and in a
    // subdirectory), a sibling d after it and files in the root; E with a
    // directory and a root file.
    static void TwoDisks() {
        BuildTree('E', u"m\\n.txt=4#3 m\\o=2 root.c=9 m\\p.txt=8#1");
        BuildTree('C', u"a\\f1.txt=10 a\\f2.c=20#3 a\\b\\g.txt=5 a\\b\\h=7#0 a\\b\\k.txt=6#7 "
                       u"d\\x.txt=1 d\\y.txt=30#3 d\\e\\q.txt=11 top.txt=3 zz.txt=2");
        pdiCurrent = FindVolume('C');
        psiCurrent = FindDirByPath(u"C:\\a", nullptr, TRUE);
    }
};

TEST_F(FileListTest, EveryModeListsWhatTheScopeHoldsWithItsSums) {
    struct Case {
        const char* what;
        WORD mode;
        const char16_t* current;
        bool taggedOnly;
        const char16_t* unlogged = nullptr; // a directory whose files stay but count as unread
    };
    const Case cases[] = {
        {"directory", 1, u"C:\\a", false},
        {"directory, tagged only", 1, u"C:\\a", true},
        {"archive builds like a directory", 2, u"C:\\d", false},
        {"branch", 3, u"C:\\a", false},
        {"branch, tagged only", 3, u"C:\\a", true},
        {"branch of the root is the disk", 3, u"C:\\", false},
        {"showall", 4, u"C:\\a\\b", false},
        {"showall, tagged only", 4, u"C:\\d", true},
        {"global", 5, u"C:\\d", false},
        {"global, tagged only", 5, u"C:\\a", true},
        {"an unread directory adds nothing", 3, u"C:\\a", false, u"C:\\a\\b"},
        {"an unread directory adds nothing to showall", 4, u"C:\\a", true, u"C:\\a\\b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reset();
        TwoDisks();
        psiCurrent = FindDirByPath(c.current, nullptr, TRUE);
        ASSERT_NE(psiCurrent, nullptr);
        if (c.unlogged) FindDirByPath(c.unlogged, nullptr, TRUE)->bLogged = 0;
        gDisplayMode[0] = c.mode;
        Sums sums;
        std::vector<EntryHead*> expected = BruteFiles(c.mode, pdiCurrent, c.taggedOnly, &sums);
        // A directory's list keeps the array's order, which is the pane's.
        if (c.mode >= 3 && expected.size() > 1) SortLikeTheList(expected);
        if (c.mode <= 2) BuildDisplayFileList(c.taggedOnly);
        else BuildGlobalFileList(c.taggedOnly, pdiCurrent, 7);
        EXPECT_EQ(Names(Listed()), Names(expected));
        EXPECT_EQ(Listed(), expected);
        EXPECT_EQ(gFMax, expected.size());
        ASSERT_EQ(gFileList != nullptr, !expected.empty());
        if (!gFileList) continue;
        EXPECT_EQ(gFileList->taggedEntries[0], sums.taggedEntries);
        EXPECT_EQ(gFileList->taggedEntries[1], 0u) << "only the current pane's sums are written";
        EXPECT_EQ(gFileList->taggedFiles[0], sums.taggedFiles);
        EXPECT_EQ(gFileList->taggedBytes[0], sums.taggedBytes);
        EXPECT_EQ(gFileList->matchingBytes[0], sums.matchingBytes);
        // The scope's counters.
        if (c.unlogged) continue; // the counters still hold the unread directory's files
        DWORD total = 0, matching = 0, tagged = 0;
        for (SubdirInfo* d : ScopeDirs(c.mode, pdiCurrent)) {
            if (!d->pFiles || !d->bLogged) continue;
            for (FileEntry* e = d->pFiles; e->wszShortName[0]; e++) {
                if (IsDriveEntry(e)) continue;
                total++;
                const BYTE f = e->bFlags[0];
                if (f & ENTRY_MATCHES) matching++;
                if (Tagged(f)) tagged++; // tagged counts whether it matches or not
            }
        }
        EXPECT_EQ(gFTotal, total);
        EXPECT_EQ(gFMatching, matching);
        EXPECT_EQ(gFTagged, tagged);
    }
}

TEST_F(FileListTest, TaggedOnlyListIncludesAnEntryMarkedOnceAndThenForgetsTheMark) {
    // f1 matches and carries "include once" (8); f2 is tagged.
    BuildTree('C', u"a\\f1.txt=10#10 a\\f2.c=20#3 a\\f3.c=5");
    psiCurrent = FindDirByPath(u"C:\\a", nullptr, TRUE);
    BuildDisplayFileList(TRUE);
    FileEntry* f1 = &psiCurrent->pFiles[0];
    ASSERT_EQ(gFMax, 2u);
    EXPECT_EQ(gFTagged, 2u) << "the included entry counts as tagged";
    const std::vector<EntryHead*> listed = Listed();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), HeadOf(f1)), 1);
    EXPECT_EQ(f1->bFlags[0] & ENTRY_INCLUDED, 0) << "the mark is used once";
    EXPECT_EQ(gFileList->taggedEntries[0], 1u) << "only f2 is tagged";
    BuildDisplayFileList(TRUE);
    EXPECT_EQ(gFMax, 1u);
    EXPECT_EQ(gFTagged, 1u);
    EXPECT_EQ(Listed(), std::vector<EntryHead*>{HeadOf(&psiCurrent->pFiles[1])});
}

TEST_F(FileListTest, DriveEntriesAreNeverListedEvenWhenTheyMatch) {
    DiskInfo* c = qtest::BuildDisk('C');
    std::u16string drive = u"\xFFFF" u"D         :";
    ASSERT_EQ(drive.size(), 12u);
    qtest::BuildFiles(c->psiRoot, {{u"a.txt", 5, {3, 3}}, {drive, 0, {3, 3}}, {u"b.txt", 6, {2, 2}}});
    psiCurrent = c->psiRoot;
    for (WORD mode : {WORD(1), WORD(4), WORD(5)}) {
        SCOPED_TRACE(mode);
        gDisplayMode[0] = mode;
        if (mode == 1) BuildDisplayFileList(FALSE);
        else BuildGlobalFileList(FALSE, c, 1);
        ASSERT_EQ(gFMax, 2u);
        for (EntryHead* e : Listed()) EXPECT_FALSE(IsDriveEntry(reinterpret_cast<FileEntry*>(e)));
    }
}

TEST_F(FileListTest, GlobalModeVisitsEveryDiskOnceBeginningAtTheGivenOne) {
    BuildTree('C', u"c1.txt c\\c2.txt");
    BuildTree('E', u"e1.txt");
    BuildTree('G', u"g\\g1.txt g2.txt");
    // The pane compares directories first, as the arrays are kept: the list
    // stays in walk order.
    gFileOrder[0].pathFirst = 1;
    gArrayOrder = gFileOrder[0];
    gDisplayMode[0] = 5;
    struct Case {
        char given;
        const char* order;
    };
    for (const Case& c : {Case{'E', "e1.txt g2.txt g1.txt c1.txt c2.txt "},
                          Case{'C', "c1.txt c2.txt e1.txt g2.txt g1.txt "},
                          Case{'G', "g2.txt g1.txt c1.txt c2.txt e1.txt "}}) {
        SCOPED_TRACE(c.given);
        pdiCurrent = FindVolume(c.given);
        psiCurrent = pdiCurrent->psiRoot;
        BuildGlobalFileList(FALSE, pdiCurrent, 1);
        EXPECT_EQ(Names(Listed()), c.order);
        EXPECT_EQ(gFTotal, 5u);
    }
    // One disk alone: itself only.
    Reset();
    BuildTree('E', u"e1.txt e2.txt");
    gDisplayMode[0] = 5;
    BuildGlobalFileList(FALSE, pdiCurrent, 1);
    EXPECT_EQ(Names(Listed()), "e1.txt e2.txt ");
}

TEST_F(FileListTest, TheSortIsSkippedExactlyWhenTheWalkGivesThePanesOrder) {
    // Names in the arrays' order (by name) differ from the pane's size order.
    struct Case {
        const char* what;
        SortSpec pane;
        SortSpec arrays;
        bool sorted;
    };
    const Case cases[] = {
        {"path first, same order as the arrays", {0, 1, 0, 0, 0}, {0, 1, 0, 0, 0}, false},
        {"unsorted, same order as the arrays", {4, 0, 0, 0, 0}, {4, 0, 0, 0, 0}, false},
        {"path first, the arrays sorted otherwise", {3, 1, 0, 0, 0}, {0, 1, 0, 0, 0}, true},
        {"path first, descending", {0, 1, 1, 0, 0}, {0, 1, 0, 0, 0}, true},
        {"plain name order sorts across directories", {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, true},
        {"the timestamp byte does not count", {0, 1, 0, 0, 2}, {0, 1, 0, 0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reset();
        BuildTree('C', u"b.txt=1 a\\z.txt=3 a\\c.txt=9 d.txt=2");
        gFileOrder[0] = c.pane;
        gArrayOrder = c.arrays;
        gDisplayMode[0] = 4;
        gPanes[0].CurrentIndex = 3;
        gPanes[0].ResortPending = 1;
        BuildGlobalFileList(FALSE, pdiCurrent, 1);
        Sums sums;
        std::vector<EntryHead*> walk = BruteFiles(4, pdiCurrent, false, &sums);
        if (c.sorted) SortLikeTheList(walk);
        EXPECT_EQ(Names(Listed()), Names(walk));
        EXPECT_EQ(gPanes[0].ResortPending, c.sorted ? 0u : 1u);
        EXPECT_EQ(gPanes[0].CurrentIndex, c.sorted ? 0u : 3u);
    }
}

TEST_F(FileListTest, AListOfOneEntryIsLeftAsItIs) {
    BuildTree('C', u"a\\only.txt=4 a\\other.c=1#0");
    psiCurrent = FindDirByPath(u"C:\\a", nullptr, TRUE);
    gDisplayMode[0] = 3;
    gPanes[0].ResortPending = 1;
    gPanes[0].CurrentIndex = 7;
    BuildGlobalFileList(FALSE, pdiCurrent, 1);
    ASSERT_EQ(gFMax, 1u);
    EXPECT_EQ(gPanes[0].ResortPending, 1u) << "no sort ran";
    EXPECT_EQ(gPanes[0].CurrentIndex, 7u);
}

TEST_F(FileListTest, ABlockThatCannotBeHadIsAskedAgainOrGivenUp) {
    struct Case {
        const char* what;
        int answer;
        DWORD listed;
    };
    for (const Case& c : {Case{"retry", 'R', 2u}, Case{"cancel", 27, 0u}}) {
        SCOPED_TRACE(c.what);
        Reset();
        BuildTree('C', u"a.txt b.txt");
        gDisplayMode[0] = 4;
        UiScriptAnswers({c.answer});
        CheckedAllocFailAt(1);
        BuildGlobalFileList(FALSE, pdiCurrent, 1);
        CheckedAllocFailAt(0);
        ASSERT_EQ(UiQuestionsAsked().size(), 1u);
        EXPECT_STREQ(UiQuestionsAsked()[0].kind, "ErrorDialog");
        EXPECT_EQ(UiQuestionsAsked()[0].code, DWORD(ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_EQ(UiQuestionsAsked()[0].drive, WORD('C'));
        EXPECT_EQ(gFMax, c.listed);
        EXPECT_EQ(gFileList != nullptr, c.listed != 0);
        UiScriptEnd();
    }
}

TEST_F(FileListTest, CountersOutOfStepAreRecountedBeforeTheListIsBuilt) {
    BuildTree('C', u"a.txt=1 b.txt=2 c\\d.txt=3");
    gDisplayMode[0] = 4;
    pdiCurrent->dwMatchFiles[0] = 1; // the disk promises one matching file of three
    BuildGlobalFileList(FALSE, pdiCurrent, 1);
    EXPECT_EQ(gFMax, 3u);
    EXPECT_EQ(pdiCurrent->dwMatchFiles[0], 3u);
    EXPECT_TRUE(qtest::CheckTree().empty());
    // The directory list of a directory likewise.
    psiCurrent = pdiCurrent->psiRoot;
    psiCurrent->dwMatchFiles[0] = 1;
    gDisplayMode[0] = 1;
    BuildDisplayFileList(FALSE);
    EXPECT_EQ(gFMax, 2u);
    // Counters still wrong after the recount: the directory's list keeps
    // the entries it allocated for, and never stores one beyond them.
    psiCurrent->dwMatchFiles[0] = 1;
    gFileListSkipRecountForTest = TRUE;
    BuildDisplayFileList(FALSE);
    EXPECT_EQ(gFMax, 1u);
    EXPECT_EQ(ListEntries(gFileList)[1], nullptr);
}

TEST_F(FileListTest, CountersStillOutOfStepAfterTheRecountEndTheProgramWithTheirFigures) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    BuildTree('C', u"a.txt=1 b.txt=2 c\\d.txt=3 e.txt");
    gDisplayMode[0] = 4;
    pdiCurrent->dwMatchFiles[0] = 2;
    gFileListSkipRecountForTest = TRUE;
    EXPECT_EXIT(
        {
            ::dup2(2, 1); // the message goes to standard output
            BuildGlobalFileList(FALSE, pdiCurrent, 321);
        },
        ::testing::ExitedWithCode(255),
        "Fatal Memory error in module: Qtb\nLine: \\([0-9]+\\) BuildGlobalFileList\\(0, 321\\) : "
        "gFMax = 2 : Count = 4\n");
}

TEST_F(FileListTest, DirectoryModeListsDirectoriesOfTheScope) {
    struct Case {
        const char* what;
        WORD mode;
        const char16_t* current;
        bool taggedOnly;
        const char* names;
    };
    const Case cases[] = {
        {"the subdirectories of a directory", 1, u"C:\\a", false, "b b2 "},
        {"the subdirectories, tagged only", 1, u"C:\\a", true, "b2 "},
        {"a branch, its top included", 3, u"C:\\a", false, "a b b2 x "},
        {"the disk", 4, u"C:\\a", false, "C:\\ a d b b2 x "},
        {"every disk", 5, u"C:\\a", false, "C:\\ a d b b2 x E:\\ m "},
        {"every disk, tagged only", 5, u"C:\\a", true, "b2 m "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reset();
        BuildTree('E', u"m\\n.txt=4");
        BuildTree('C', u"a\\b\\x\\f.txt=1 a\\b2\\g.txt=2 a\\h.txt=4 d\\i.txt=8");
        pdiCurrent = FindVolume('C');
        FindDirByPath(u"C:\\a\\b2", nullptr, TRUE)->bFlags[0] |= ENTRY_TAGGED;
        FindDirByPathAnyDisk(u"E:\\m", nullptr, TRUE)->bFlags[0] |= ENTRY_MARKED;
        for (DiskInfo* k : {FindVolume('C'), FindVolume('E')})
            for (SubdirInfo* d = k->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext)
                d->bFlags[0] |= ENTRY_MATCHES;
        pdiCurrent = FindVolume('C');
        psiCurrent = FindDirByPath(c.current, nullptr, TRUE);
        gDirMode[0] = 1;
        gPaneOrder[0] = &gDirOrder[0];
        gDisplayMode[0] = c.mode;
        gDirOrder[0].pathFirst = 1; // full names decide: the order is the tree's
        gTaggedOnly[0] = c.taggedOnly; // the subdirectory list follows the pane's switch
        if (c.mode <= 2) BuildDisplayFileList(c.taggedOnly);
        else BuildGlobalFileList(c.taggedOnly, pdiCurrent, 1);
        std::string names;
        for (EntryHead* e : Listed()) {
            for (const WCHAR* p = e->name; *p; p++) names += char(*p);
            names += ' ';
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(gFMatching, 0u);
    }
}

TEST_F(FileListTest, MarkingAndUntaggingTouchOnlyTheirScope) {
    BuildTree('C', u"a\\t.txt#3 a\\u.txt#1 a\\v.txt a\\b\\w.txt#3 x.txt#3");
    psiCurrent = FindDirByPath(u"C:\\a", nullptr, TRUE);
    BuildDisplayFileList(FALSE);
    MarkTaggedInList();
    FileEntry* t = &psiCurrent->pFiles[0];
    FileEntry* u = &psiCurrent->pFiles[1];
    EXPECT_EQ(t->bFlags[0], ENTRY_TAGGED | ENTRY_MATCHES | ENTRY_MARKED);
    EXPECT_EQ(u->bFlags[0], ENTRY_TAGGED) << "not listed: it does not match";
    EXPECT_EQ(t->bFlags[1], ENTRY_TAGGED | ENTRY_MATCHES) << "the other pane keeps its flags";
    gDisplayMode[0] = 3;
    UntagScope(0);
    EXPECT_EQ(t->bFlags[0], ENTRY_MATCHES);
    EXPECT_EQ(u->bFlags[0], 0);
    EXPECT_EQ(FindDirByPath(u"C:\\a\\b", nullptr, TRUE)->pFiles[0].bFlags[0], ENTRY_MATCHES);
    EXPECT_EQ(pdiCurrent->psiRoot->pFiles[0].bFlags[0], ENTRY_TAGGED | ENTRY_MATCHES)
        << "outside the branch";
}

TEST_F(FileListTest, RebuildingRecountsTheDisksFirst) {
    BuildTree('E', u"e.txt");
    BuildTree('C', u"a.txt b.txt");
    pdiCurrent = FindVolume('C');
    psiCurrent = pdiCurrent->psiRoot;
    gTaggedOnly[0] = 1;
    // Tags placed behind the counters' back on both disks.
    pdiCurrent->psiRoot->pFiles[0].bFlags[0] |= ENTRY_TAGGED;
    FindVolume('E')->psiRoot->pFiles[0].bFlags[0] |= ENTRY_TAGGED;
    RebuildAllFileLists(0);
    EXPECT_EQ(gFMax, 1u);
    EXPECT_EQ(qtest::CheckTreeText(), "");
    // Inside an archive tree only the current disk is recounted.
    FindVolume('E')->psiRoot->pFiles[0].bFlags[0] &= BYTE(~ENTRY_TAGGED);
    gArchiveTreeActive = TRUE;
    RebuildAllFileLists(0);
    EXPECT_EQ(FindVolume('E')->dwTagFiles[0], 1u) << "left as it was";
    EXPECT_EQ(gFMax, 1u);
}

} // namespace

namespace {

TEST_F(FileListTest, TheMacroStopCodesReadTheListsFacts) {
    ASSERT_NE(gMacroListFacts, nullptr) << "the key reader is told about the list from the start";
    BuildTree('C', u"a.txt#3 b.txt c.txt#0 d.txt#1");
    MACRO_LIST_FACTS facts = {TRUE, 9, 9};
    gMacroListFacts(&facts);
    EXPECT_FALSE(facts.listExists);
    EXPECT_EQ(facts.matching, 0u);
    EXPECT_EQ(facts.tagged, 2u) << "without a list, the disk's tagged files";
    BuildDisplayFileList(FALSE);
    gMacroListFacts(&facts);
    EXPECT_TRUE(facts.listExists);
    EXPECT_EQ(facts.matching, 2u);
    EXPECT_EQ(facts.tagged, 2u);
    gCurrentPane = 1; // the other pane has no tags on this disk's second byte
    pdiCurrent->psiRoot->pFiles[0].bFlags[1] = ENTRY_MATCHES;
    qtest::RecountTrees();
    std::free(gFileList);
    gFileList = nullptr;
    gMacroListFacts(&facts);
    EXPECT_EQ(facts.tagged, 1u);
}

} // namespace
