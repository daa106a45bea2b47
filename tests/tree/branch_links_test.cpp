// Branch links and release: directories leaving the tree one at a time and
// many at once, branches and disks freed (LeakSanitizer, in the sanitizer
// build, checks that every record, name and file array is freed), the
// panes and the display list following, missing links filled within their
// step budget, and branches expanded and collapsed.
#include "main/window_state.h"
#include "tree/branch_links.h"
#include "tree/file_list.h"
#include "tree/pane_bookkeeping.h"
#include "tree/tree_records.h"
#include "ui/sorted_nodes.h"
#include "tree_builder.h"
#include "tree_fixture.h"
#include "fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using qtest::BuildDir;
using qtest::BuildTree;
using qtest::CheckTree;

using qtest::DirsInOrder;
#define EXPECT_SOUND() EXPECT_EQ(qtest::CheckTreeText(), "")

std::string Name(const WCHAR* text) { return qtest::NarrowText(text); }

// The full names of a disk's rows in pre-order, without the drive letter.
std::vector<std::string> Rows(const DiskInfo* disk) {
    std::vector<std::string> rows;
    for (const SubdirInfo* d : DirsInOrder(disk)) rows.push_back(Name(d->pszFullName + 2));
    return rows;
}

// The directories below the root in pre-order.
std::vector<SubdirInfo*> Below(const DiskInfo* disk) {
    std::vector<SubdirInfo*> dirs = DirsInOrder(disk);
    dirs.erase(dirs.begin());
    return dirs;
}

// Visible directories below the root: what dwTreeRows counts.
DWORD VisibleRows(const DiskInfo* disk) {
    DWORD rows = 0;
    for (const SubdirInfo* d : Below(disk)) rows += d->bVisible;
    return rows;
}

SubdirInfo* Dir(DiskInfo* disk, const char16_t* path) {
    std::u16string full = std::u16string(1, char16_t(disk->cDrive)) + u":\\" + path;
    DiskInfo* saved = pdiCurrent;
    pdiCurrent = disk;
    SubdirInfo* found = FindDirByPath(full.c_str(), nullptr, TRUE);
    pdiCurrent = saved;
    return found;
}

// A display list of the current pane holding records.
void MakeList(const std::vector<void*>& records) {
    std::free(gFileList);
    gFileList = static_cast<DisplayFileList*>(
        std::calloc(1, sizeof(DisplayFileList) + (records.size() + 1) * sizeof(void*)));
    EntryHead** entries = ListEntries(gFileList);
    for (size_t i = 0; i < records.size(); i++) entries[i] = static_cast<EntryHead*>(records[i]);
    gFMax = DWORD(records.size());
}

std::vector<void*> ListOf() {
    std::vector<void*> out;
    EntryHead** entries = ListEntries(gFileList);
    for (DWORD i = 0; i < gFMax; i++) out.push_back(entries[i]);
    EXPECT_EQ(entries[gFMax], nullptr);
    return out;
}

class BranchLinksTest : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() { qtest::ResetTreeState(); }
};

// ---- one directory leaving the tree ---------------------------------------------------------

// The three children of a, each with a child of its own and files, so that
// the neighbours' last descendants must be relinked too.
constexpr char16_t kThreeChildren[] =
    u"a\\b\\b1\\ a\\c\\c1\\ a\\d\\d1\\ e\\ a\\b\\b1\\f=10 a\\c\\g=20 a\\c\\c1\\h=30#3 a\\d\\i=40 a\\j=1";

struct RemoveCase {
    const char* what;
    const char16_t* removed;
    std::vector<std::string> rows;
};

const RemoveCase kRemoveCases[] = {
    {"the first child: the parent's child link moves on", u"a\\b",
     {"\\", "\\a", "\\a\\c", "\\a\\c\\c1", "\\a\\d", "\\a\\d\\d1", "\\e"}},
    {"a middle child: its neighbours are joined", u"a\\c",
     {"\\", "\\a", "\\a\\b", "\\a\\b\\b1", "\\a\\d", "\\a\\d\\d1", "\\e"}},
    {"the last child: the one before leads where the parent leads", u"a\\d",
     {"\\", "\\a", "\\a\\b", "\\a\\b\\b1", "\\a\\c", "\\a\\c\\c1", "\\e"}},
};

TEST_F(BranchLinksTest, RemovingAFirstMiddleAndLastChild) {
    for (const RemoveCase& c : kRemoveCases) {
        SCOPED_TRACE(c.what);
        DiskInfo* disk = BuildTree('C', kThreeChildren);
        qtest::DisownRecords();
        SubdirInfo* a = Dir(disk, u"a");
        SubdirInfo* e = Dir(disk, u"e");
        SubdirInfo* gone = Dir(disk, c.removed);
        ASSERT_TRUE(a && e && gone);
        psiCurrent = Dir(disk, (std::u16string(c.removed) + u"\\" + (c.removed[2] == u'b' ? u"b1" : c.removed[2] == u'c' ? u"c1" : u"d1")).c_str());
        ASSERT_NE(psiCurrent, nullptr);
        const DWORD filesBefore = disk->dwFiles;
        const DWORD goneFiles = gone->dwFiles + gone->psiChild->dwFiles;

        FreeDirFiles(gone, TRUE);
        RelinkBranchKeep(TRUE, a, gone, gone->psiNext);

        EXPECT_EQ(Rows(disk), c.rows);
        EXPECT_EQ(a->psiNext, e);
        EXPECT_EQ(a->dwChildren, 2u);
        EXPECT_EQ(disk->dwDirEntries, 7u);
        EXPECT_EQ(disk->dwFiles, filesBefore - goneFiles);
        EXPECT_EQ(disk->dwTreeRows, VisibleRows(disk));
        // The cursor was on a freed directory: it moves to the parent that
        // stays.
        EXPECT_EQ(psiCurrent, a);
        EXPECT_SOUND();
        qtest::FreeTrees();
    }
}

TEST_F(BranchLinksTest, RemovingTheOnlyChildLeavesNoChildLinkAndTheNextLinkAlone) {
    DiskInfo* disk = BuildTree('C', u"a\\only\\ b\\");
    qtest::DisownRecords();
    SubdirInfo* a = Dir(disk, u"a");
    SubdirInfo* b = Dir(disk, u"b");
    SubdirInfo* only = a->psiChild;
    RelinkBranchKeep(TRUE, a, only, only->psiNext);
    EXPECT_EQ(a->psiChild, nullptr);
    EXPECT_EQ(a->psiNext, b);
    EXPECT_EQ(a->dwChildren, 0u);
    EXPECT_EQ(Rows(disk), (std::vector<std::string>{"\\", "\\a", "\\b"}));
    EXPECT_SOUND();
}

TEST_F(BranchLinksTest, UnlinkingABranchLeavesItWholeAndNothingLeadingIntoIt) {
    DiskInfo* disk = BuildTree('C', kThreeChildren);
    SubdirInfo* c = Dir(disk, u"a\\c");
    SubdirInfo* c1 = c->psiChild;
    SubdirInfo* d = Dir(disk, u"a\\d");
    UnlinkBranch(c);
    EXPECT_EQ(Rows(disk), (std::vector<std::string>{"\\", "\\a", "\\a\\b", "\\a\\b\\b1", "\\a\\d",
                                                   "\\a\\d\\d1", "\\e"}));
    // The branch keeps its own links, to be threaded in elsewhere.
    EXPECT_EQ(c->psiChild, c1);
    EXPECT_EQ(c->psiNext, d);
    EXPECT_EQ(c1->psiNext, d);
    // The first child unlinked: the parent's child link goes to the next.
    SubdirInfo* a = Dir(disk, u"a");
    SubdirInfo* b = a->psiChild;
    UnlinkBranch(b);
    EXPECT_EQ(a->psiChild, d);
    // The only one left: no child at all.
    UnlinkBranch(d);
    EXPECT_EQ(a->psiChild, nullptr);
    EXPECT_EQ(Rows(disk), (std::vector<std::string>{"\\", "\\a", "\\e"}));
    // The builder still owns the unlinked records and frees them.
}

TEST_F(BranchLinksTest, AMoveRelinksWithoutFreeing) {
    DiskInfo* disk = BuildTree('C', u"a\\b\\ a\\c\\ a\\d\\");
    SubdirInfo* a = Dir(disk, u"a");
    SubdirInfo* c = Dir(disk, u"a\\c");
    SubdirInfo* d = Dir(disk, u"a\\d");
    RelinkBranchMove(a, c, c->psiNext);
    EXPECT_EQ(Rows(disk), (std::vector<std::string>{"\\", "\\a", "\\a\\b", "\\a\\d"}));
    EXPECT_EQ(c->psiNext, d); // the record itself is untouched
    ReplaceTreeLinks(d, nullptr);
    EXPECT_EQ(Rows(disk), (std::vector<std::string>{"\\", "\\a", "\\a\\b"}));
}

TEST_F(BranchLinksTest, AChildLinkNeverLeadsToAnotherLevel) {
    DiskInfo* disk = BuildTree('C', u"a\\only\\ a\\only\\x\\ b\\");
    SubdirInfo* a = Dir(disk, u"a");
    SubdirInfo* b = Dir(disk, u"b");
    SubdirInfo* only = Dir(disk, u"a\\only");
    // Not a top call: every link to the record, child links included, is
    // replaced; the parent's child link cannot take b, a row of level 1.
    RelinkBranchKeep(FALSE, only, only, only->psiNext);
    EXPECT_EQ(a->psiChild, nullptr);
    EXPECT_EQ(a->psiNext, b);
    EXPECT_EQ(Rows(disk), (std::vector<std::string>{"\\", "\\a", "\\b"}));
    EXPECT_EQ(disk->dwDirEntries, 3u);
    EXPECT_EQ(a->dwChildren, 0u);
    qtest::DisownRecords();
}

// ---- freeing a directory's branch and files -------------------------------------------------

TEST_F(BranchLinksTest, FreeingABranchKeepsTheDirectoryAndTheBooks) {
    DiskInfo* disk = BuildTree('C', u"p\\q\\r\\ p\\s\\ p\\f=5 p\\q\\g=7#3 p\\q\\r\\h=11 t\\u=13");
    qtest::DisownRecords();
    SubdirInfo* p = Dir(disk, u"p");
    SubdirInfo* q = Dir(disk, u"p\\q");
    SubdirInfo* t = Dir(disk, u"t");
    psiCurrent = Dir(disk, u"p\\q\\r");
    gPanes[1].Directory = q;
    gPaneCurrentEntry[0] = &q->pFiles[0];
    gPaneCurrentEntry[1] = &t->pFiles[0];

    FreeDirFiles(p, FALSE);
    EXPECT_EQ(Rows(disk), (std::vector<std::string>{"\\", "\\p", "\\t"}));
    EXPECT_EQ(p->psiChild, nullptr);
    EXPECT_EQ(p->psiNext, t);
    EXPECT_EQ(p->dwFiles, 1u); // its own files stay
    EXPECT_EQ(p->bLogged, 1);
    EXPECT_EQ(p->dwChildren, 0u);
    EXPECT_EQ(disk->dwFiles, 2u);
    EXPECT_EQ(disk->qwFileBytes, 18u);
    EXPECT_EQ(disk->dwTagFiles[0], 0u);
    EXPECT_EQ(disk->dwDirEntries, 3u);
    EXPECT_EQ(disk->dwTreeRows, 2u);
    EXPECT_EQ(psiCurrent, p);
    EXPECT_EQ(gPanes[1].Directory, p);
    EXPECT_EQ(gPaneCurrentEntry[0], nullptr);
    EXPECT_EQ(gPaneCurrentEntry[1], &t->pFiles[0]);
    EXPECT_SOUND();

    gPaneCurrentEntry[0] = &p->pFiles[0];
    FreeDirFiles(p, TRUE);
    EXPECT_EQ(p->pFiles, nullptr);
    EXPECT_EQ(p->dwFiles, 0u);
    EXPECT_EQ(p->qwFileBytes, 0u);
    EXPECT_EQ(p->bLogged, 0);
    EXPECT_EQ(p->bExpanded, 0);
    EXPECT_EQ(gPaneCurrentEntry[0], nullptr);
    EXPECT_EQ(disk->dwFiles, 1u);
    EXPECT_EQ(disk->qwFileBytes, 13u);
    EXPECT_EQ(disk->qwSlackBytes, 0);
    EXPECT_SOUND();
}

TEST_F(BranchLinksTest, InAListOfDirectoriesTheFreedOnesLeaveTheList) {
    DiskInfo* disk = BuildTree('C', u"p\\q\\r\\ p\\s\\ t\\");
    qtest::DisownRecords();
    SubdirInfo* p = Dir(disk, u"p");
    SubdirInfo* t = Dir(disk, u"t");
    gDirMode[0] = 1;
    MakeList({p, Dir(disk, u"p\\q"), t, Dir(disk, u"p\\q\\r"), Dir(disk, u"p\\s")});
    gFTagged = 1;
    gFMatching = 5;
    gFTotal = 5;
    FreeDirFiles(p, TRUE);
    EXPECT_EQ(ListOf(), (std::vector<void*>{p, t}));
    EXPECT_EQ(gFMax, 2u);
    EXPECT_EQ(gFTagged, 0u); // lowered while not 0
    EXPECT_EQ(gFMatching, 2u);
    EXPECT_EQ(gFTotal, 2u);
    EXPECT_SOUND();
}

TEST_F(BranchLinksTest, DroppingOneListEntry) {
    int records[4];
    MakeList({&records[0], &records[1], &records[2], &records[3]});
    gFTagged = 0;
    gFMatching = 2;
    gFTotal = 4;
    DropDirListEntry(1);
    EXPECT_EQ(ListOf(), (std::vector<void*>{&records[0], &records[2], &records[3]}));
    EXPECT_EQ(gFTagged, 0u);
    EXPECT_EQ(gFMatching, 1u);
    EXPECT_EQ(gFTotal, 3u);
    DropDirListEntry(2); // the last
    EXPECT_EQ(ListOf(), (std::vector<void*>{&records[0], &records[2]}));
    DropDirListEntry(2); // beyond the list: nothing
    EXPECT_EQ(gFMax, 2u);
    DropDirListEntry(0);
    EXPECT_EQ(ListOf(), (std::vector<void*>{&records[2]}));
}

// ---- disks ------------------------------------------------------------------------------------

TEST_F(BranchLinksTest, ReleasingTheOnlyDisk) {
    DiskInfo* disk = BuildTree('C', u"a\\b\\ a\\f=3 x=4");
    qtest::DisownRecords();
    psiCurrent = Dir(disk, u"a\\b");
    gPanes[0].Disk = disk;
    gPanes[0].Directory = psiCurrent;
    gPaneCurrentEntry[0] = &disk->psiRoot->pFiles[0];
    EXPECT_EQ(ReleaseDisk(disk), nullptr);
    EXPECT_EQ(pdiCurrent, nullptr);
    EXPECT_EQ(psiCurrent, nullptr);
    EXPECT_EQ(pdiFirst, nullptr);
    EXPECT_EQ(pdiLast, nullptr);
    EXPECT_EQ(gDiskCount, 0);
    EXPECT_EQ(gPanes[0].Disk, nullptr);
    EXPECT_EQ(gPanes[0].Directory, nullptr);
    EXPECT_EQ(gPaneCurrentEntry[0], nullptr);
    EXPECT_SOUND();
}

struct ReleaseCase {
    const char* what;
    char released;
    char current;
    WORD otherDisplayMode;
    char expectCurrent;
    const char* otherPath; // the other pane's directory afterwards
    std::vector<char> ring;
};

const ReleaseCase kReleaseCases[] = {
    {"one of three, not current; the other pane on it follows", 'D', 'C', 1, 'C', "\\s", {'C', 'E'}},
    {"the current one: the next disk", 'D', 'D', 1, 'E', "\\", {'C', 'E'}},
    {"the current last one: round to the first", 'E', 'E', 5, 'C', "\\s", {'C', 'D'}},
    {"the current first one", 'C', 'C', 3, 'D', "\\x\\y", {'D', 'E'}},
};

TEST_F(BranchLinksTest, ReleasingOneOfSeveralDisksWithTheOtherPaneOnIt) {
    for (const ReleaseCase& c : kReleaseCases) {
        SCOPED_TRACE(c.what);
        DiskInfo* disks[3] = {BuildTree('C', u"s\\ t\\f=1"), BuildTree('D', u"x\\y\\ x\\g=2"),
                              BuildTree('E', u"s\\ h=3")};
        qtest::DisownRecords();
        auto disk = [&](char letter) { return disks[letter - 'C']; };
        // Each pane's saved path on each disk.
        const char16_t* saved0[3] = {u"C:\\t", u"D:\\x", u"E:\\s"};
        const char16_t* saved1[3] = {u"C:\\s", u"D:\\x\\y", u"E:\\missing"};
        for (int i = 0; i < 3; i++) {
            std::copy_n(saved0[i], std::char_traits<char16_t>::length(saved0[i]) + 1,
                        disks[i]->wszSavedPath[0]);
            std::copy_n(saved1[i], std::char_traits<char16_t>::length(saved1[i]) + 1,
                        disks[i]->wszSavedPath[1]);
        }
        pdiCurrent = disk(c.current);
        psiCurrent = pdiCurrent->psiRoot->psiChild;
        gSplitScreen = 1;
        gCurrentPane = 0;
        gDisplayMode[1] = c.otherDisplayMode;
        gPanes[1].Disk = disk(c.released);
        gPanes[1].Directory = disk(c.released)->psiRoot;
        gPanes[1].CurrentIndex = 7;
        gPanes[1].FirstShown = 3;
        SubdirInfo* currentBefore = psiCurrent;

        DiskInfo* now = ReleaseDisk(disk(c.released));
        ASSERT_NE(now, nullptr);
        EXPECT_EQ(now, pdiCurrent);
        EXPECT_EQ(char(pdiCurrent->cDrive), c.expectCurrent);
        EXPECT_EQ(gDiskCount, 2);
        std::vector<char> ring;
        DiskInfo* walk = pdiFirst;
        for (int n = 0; n < gDiskCount; n++, walk = walk->pdiNext) ring.push_back(char(walk->cDrive));
        EXPECT_EQ(ring, c.ring);
        if (c.current == c.released) {
            // The current pane's directory: its saved path on the new disk.
            ASSERT_NE(psiCurrent, nullptr);
            EXPECT_EQ(psiCurrent->pdiDisk, pdiCurrent);
            EXPECT_EQ(Name(psiCurrent->pszFullName), Name(pdiCurrent->wszSavedPath[0]));
        } else {
            EXPECT_EQ(psiCurrent, currentBefore);
        }
        EXPECT_EQ(gPanes[1].Disk, pdiCurrent);
        ASSERT_NE(gPanes[1].Directory, nullptr);
        EXPECT_EQ(gPanes[1].Directory->pdiDisk, pdiCurrent);
        EXPECT_EQ(Name(gPanes[1].Directory->pszFullName + 2), c.otherPath);
        const bool global = c.otherDisplayMode == 5;
        EXPECT_EQ(gPanes[1].CurrentIndex, global ? 7u : 0u);
        EXPECT_EQ(gPanes[1].FirstShown, global ? 3u : 0u);
        EXPECT_SOUND();
        qtest::FreeTrees();
        Reset();
    }
}

TEST_F(BranchLinksTest, FreeingADiskTreeKeepsTheRecordEmpty) {
    DiskInfo* disk = BuildTree('C', u"a\\b\\ a\\f=3 x=4#3");
    DiskInfo* other = BuildTree('D', u"k=1");
    qtest::DisownRecords();
    pdiCurrent = disk;
    psiCurrent = Dir(disk, u"a");
    gPaneCurrentEntry[0] = &Dir(disk, u"a")->pFiles[0];
    gPaneCurrentEntry[1] = &other->psiRoot->pFiles[0];
    FreeDiskTree(disk);
    EXPECT_EQ(disk->psiRoot, nullptr);
    EXPECT_EQ(disk->dwFiles, 0u);
    EXPECT_EQ(disk->qwFileBytes, 0u);
    EXPECT_EQ(disk->dwTagFiles[0], 0u);
    EXPECT_EQ(disk->dwDirEntries, 0u);
    EXPECT_EQ(psiCurrent, nullptr);
    EXPECT_EQ(gPaneCurrentEntry[0], nullptr);
    EXPECT_EQ(gPaneCurrentEntry[1], &other->psiRoot->pFiles[0]);
    EXPECT_EQ(gDiskCount, 2); // the record stays in the ring
}

// ---- filling links ----------------------------------------------------------------------------

TEST_F(BranchLinksTest, MissingNextLinksAreFilled) {
    DiskInfo* disk = BuildTree('C', u"a\\b\\c\\ a\\b\\d\\ a\\e\\ f\\g\\ h\\");
    const std::vector<std::string> rows = Rows(disk);
    const std::vector<SubdirInfo*> dirs = Below(disk);
    std::map<SubdirInfo*, SubdirInfo*> nextOf;
    for (SubdirInfo* d : dirs) nextOf[d] = d->psiNext;
    // Drop every psiNext that does not lead to a sibling: they all come back.
    for (SubdirInfo* d : dirs)
        if (d->psiNext && d->psiNext->wLevel != d->wLevel) d->psiNext = nullptr;
    EXPECT_LT(FixSiblingLinks(disk->psiRoot->psiChild), 100u);
    for (SubdirInfo* d : dirs) EXPECT_EQ(d->psiNext, nextOf[d]) << Name(d->pszFullName);
    EXPECT_EQ(Rows(disk), rows);
    EXPECT_SOUND();
}

TEST_F(BranchLinksTest, FillingStaysWithinTheStartingLevel) {
    DiskInfo* disk = BuildTree('C', u"a\\b\\c\\ d\\");
    SubdirInfo* b = Dir(disk, u"a\\b");
    SubdirInfo* c = Dir(disk, u"a\\b\\c");
    SubdirInfo* d = Dir(disk, u"d");
    c->psiNext = nullptr;
    b->psiNext = nullptr;
    // From c or b: the links to fill lead above the starting level.
    FixSiblingLinks(c);
    FixSiblingLinks(b);
    EXPECT_EQ(c->psiNext, nullptr);
    EXPECT_EQ(b->psiNext, nullptr);
    // From a: b takes a's next, and c climbs to b for it.
    FixSiblingLinks(Dir(disk, u"a"));
    EXPECT_EQ(b->psiNext, d);
    EXPECT_EQ(c->psiNext, d);
}

TEST_F(BranchLinksTest, FillingReturnsOnALoopedTree) {
    DiskInfo* disk = BuildTree('C', u"a\\ b\\ c\\");
    SubdirInfo* a = Dir(disk, u"a");
    SubdirInfo* b = Dir(disk, u"b");
    SubdirInfo* c = Dir(disk, u"c");
    c->psiNext = a; // a -> b -> c -> a -> ...
    EXPECT_EQ(FixSiblingLinks(a), FIX_SIBLING_LINKS_STEPS);
    // A loop of parents, none leading on, is cut by the same budget.
    a->psiNext = b->psiNext = c->psiNext = nullptr;
    a->psiParent = b;
    b->psiParent = a;
    c->psiParent = a;
    EXPECT_EQ(FixSiblingLinksLimited(c, 1000), 1000u);
    a->psiParent = b->psiParent = c->psiParent = disk->psiRoot;
    a->psiNext = b;
    b->psiNext = c;
}

// ---- many at once -----------------------------------------------------------------------------

// The books and the shape of a disk, for comparing two disks built alike.
std::vector<std::string> Shape(const DiskInfo* disk) {
    std::vector<std::string> out;
    char line[200];
    (std::snprintf)(line, sizeof line, "disk files %u bytes %llu match %u/%u tag %u/%u dirs %u rows %u",
                  disk->dwFiles, (unsigned long long)disk->qwFileBytes, disk->dwMatchFiles[0], disk->dwMatchFiles[1],
                  disk->dwTagFiles[0], disk->dwTagFiles[1], disk->dwDirEntries, disk->dwTreeRows);
    out.push_back(line);
    for (const SubdirInfo* d : DirsInOrder(disk)) {
        (std::snprintf)(line, sizeof line, " children %u files %u visible %u next %s",
                      d->dwChildren, d->dwFiles, d->bVisible,
                      d->psiNext ? Name(d->psiNext->pszFullName + 2).c_str() : "-");
        out.push_back(Name(d->pszFullName + 2) + line);
    }
    return out;
}

TEST_F(BranchLinksTest, ManyRecordsAtOnceEqualRemovingThemOneByOne) {
    qtest::TempDir dir;
    qtest::TreeSpec spec;
    spec.seed = 7;
    spec.directories = 300;
    spec.files = 900;
    spec.maxDepth = 6;
    spec.awkward = false;
    const qtest::Manifest manifest = qtest::GenerateTree(dir.MakeDir("tree"), spec);
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        DiskInfo* bulk = qtest::BuildTreeFromManifest('C', manifest);
        DiskInfo* single = qtest::BuildTreeFromManifest('D', manifest);
        qtest::DisownRecords();
        // Some directories collapsed, so that hidden ones are removed too.
        std::mt19937 random(seed);
        const std::vector<SubdirInfo*> bulkDirs = Below(bulk), singleDirs = Below(single);
        ASSERT_EQ(bulkDirs.size(), singleDirs.size());
        ASSERT_GT(bulkDirs.size(), 250u);
        std::vector<size_t> chosen;
        for (size_t i = 0; i < bulkDirs.size(); i++) {
            if (random() % 5 == 0) {
                for (SubdirInfo* d : {bulkDirs[i], singleDirs[i]})
                    for (SubdirInfo* c = d->psiChild; c && c->wLevel > d->wLevel;
                         c = c->psiChild ? c->psiChild : c->psiNext)
                        c->bVisible = 0;
            }
            if (random() % 4 == 0) chosen.push_back(i);
        }
        for (DiskInfo* d : {bulk, single}) d->dwTreeRows = VisibleRows(d);
        ASSERT_EQ(Shape(bulk).size(), Shape(single).size());

        // Whole branches: a chosen directory takes everything below it.
        std::vector<SubdirInfo*> removed;
        for (size_t i : chosen) removed.push_back(bulkDirs[i]);
        std::shuffle(removed.begin(), removed.end(), random);
        FixBranchLinks(bulk, removed.data(), removed.size());

        // One by one, deepest rows last in pre-order first, so that each
        // directory's subdirectories have gone before it.
        for (auto i = chosen.rbegin(); i != chosen.rend(); ++i) {
            SubdirInfo* d = singleDirs[*i];
            FreeDirFiles(d, TRUE);
            RelinkBranchKeep(TRUE, d->psiParent, d, d->psiNext);
        }
        // Removing the same records leaves the same tree; but FreeDirFiles
        // also marks a removed directory's files gone before its record goes:
        // the trees must agree on everything that stays.
        std::vector<std::string> a = Shape(bulk), b = Shape(single);
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); i++) EXPECT_EQ(a[i], b[i]);
        EXPECT_LT(Rows(bulk).size(), bulkDirs.size());
        EXPECT_SOUND();
        qtest::FreeTrees();
    }
}

TEST_F(BranchLinksTest, AnEmptyRemovalOnlyFixesLinks) {
    DiskInfo* disk = BuildTree('C', u"a\\b\\ c\\");
    SubdirInfo* b = Dir(disk, u"a\\b");
    SubdirInfo* c = Dir(disk, u"c");
    b->psiNext = nullptr;
    FixBranchLinks(disk, nullptr, 0);
    EXPECT_EQ(b->psiNext, c);
    EXPECT_SOUND();
}

TEST_F(BranchLinksTest, RemovingAFirstChildAndItsFollowingSiblingAtOnce) {
    DiskInfo* disk = BuildTree('C', u"a\\b\\ a\\c\\ a\\d\\x\\ a\\e\\ f\\");
    qtest::DisownRecords();
    SubdirInfo* a = Dir(disk, u"a");
    // Named twice: freed once.
    SubdirInfo* removed[] = {Dir(disk, u"a\\c"), Dir(disk, u"a\\b"), Dir(disk, u"a\\e"),
                             Dir(disk, u"a\\c")};
    FixBranchLinks(disk, removed, 4);
    EXPECT_EQ(Rows(disk), (std::vector<std::string>{"\\", "\\a", "\\a\\d", "\\a\\d\\x", "\\f"}));
    EXPECT_EQ(a->dwChildren, 1u);
    EXPECT_EQ(Dir(disk, u"a\\d\\x")->psiNext, Dir(disk, u"f"));
    EXPECT_SOUND();
}

// ---- expanding and collapsing -----------------------------------------------------------------

TEST_F(BranchLinksTest, ExpandingAndCollapsingABranch) {
    DiskInfo* disk = BuildTree('C', u"a\\b\\c\\ a\\b\\d\\ a\\e\\ z\\");
    SubdirInfo* a = Dir(disk, u"a");
    SubdirInfo* b = Dir(disk, u"a\\b");
    SubdirInfo* c = Dir(disk, u"a\\b\\c");
    SubdirInfo* e = Dir(disk, u"a\\e");
    psiCurrent = a;
    auto visible = [&] {
        std::string out;
        for (const SubdirInfo* d : Below(disk)) out += d->bVisible ? '1' : '0';
        return out; // a b c d e z
    };
    EXPECT_EQ(visible(), "111111");

    TreeExpandWalk(TRUE); // expanded: collapse
    EXPECT_EQ(visible(), "100001");
    EXPECT_EQ(a->bExpanded, 0);
    EXPECT_EQ(b->bExpanded, 0);
    EXPECT_EQ(disk->dwTreeRows, VisibleRows(disk));

    TreeExpandWalk(TRUE); // collapsed: expand everything
    EXPECT_EQ(visible(), "111111");
    EXPECT_EQ(a->bExpanded, 1);
    EXPECT_EQ(b->bExpanded, 1);
    EXPECT_EQ(disk->dwTreeRows, VisibleRows(disk));

    // Without toggling: a is expanded and no visible child with
    // subdirectories is collapsed, so the branch collapses.
    TreeExpandWalk(FALSE);
    EXPECT_EQ(visible(), "100001");
    // Collapsed: it expands.
    TreeExpandWalk(FALSE);
    EXPECT_EQ(visible(), "111111");
    // Expanded, but a visible child with subdirectories is collapsed: the
    // whole branch expands again.
    b->bExpanded = 0;
    c->bVisible = 0;
    Dir(disk, u"a\\b\\d")->bVisible = 0;
    disk->dwTreeRows = VisibleRows(disk);
    TreeExpandWalk(FALSE);
    EXPECT_EQ(visible(), "111111");
    EXPECT_EQ(b->bExpanded, 1);
    EXPECT_EQ(disk->dwTreeRows, VisibleRows(disk));

    // Below a directory that is not logged nothing deeper is shown.
    b->bLogged = 0;
    c->bVisible = 0;
    Dir(disk, u"a\\b\\d")->bVisible = 0;
    disk->dwTreeRows = VisibleRows(disk);
    TreeExpandWalk(TRUE);
    EXPECT_EQ(visible(), "100001");
    TreeExpandWalk(TRUE);
    EXPECT_EQ(visible(), "110011");
    EXPECT_EQ(disk->dwTreeRows, VisibleRows(disk));
    EXPECT_EQ(b->bVisible, 1);
    EXPECT_EQ(e->bVisible, 1);
    // A directory without children: nothing happens.
    psiCurrent = e;
    TreeExpandWalk(TRUE);
    EXPECT_EQ(e->bExpanded, 1);
}

// ---- sorted nodes -----------------------------------------------------------------------------

TEST(SortedNodes, BisectionFindsExactlyTheMembers) {
    std::vector<int> storage(64);
    std::vector<void*> members;
    for (size_t i = 0; i < storage.size(); i += 3) members.push_back(&storage[i]);
    std::shuffle(members.begin(), members.end(), std::mt19937(5));
    void** sorted = GrowPtrArray(nullptr, 0, members.size());
    std::copy(members.begin(), members.end(), sorted);
    SortPtrArray(sorted, members.size());
    for (size_t i = 0; i < storage.size(); i++)
        EXPECT_EQ(FindInSortedNodes(&storage[i], sorted, members.size()), i % 3 == 0) << i;
    EXPECT_FALSE(FindInSortedNodes(&storage[0], sorted, 0));
    // Growing keeps what was there and clears the new places.
    sorted = GrowPtrArray(sorted, members.size(), members.size() + 4);
    for (size_t i = 0; i < members.size(); i++)
        EXPECT_TRUE(FindInSortedNodes(sorted[i], sorted, members.size()));
    for (size_t i = members.size(); i < members.size() + 4; i++) EXPECT_EQ(sorted[i], nullptr);
    std::free(sorted);
    const uint64_t small = 1, large = uint64_t(1) << 63;
    EXPECT_EQ(CompareU64(&small, &large), -1);
    EXPECT_EQ(CompareU64(&large, &small), 1);
    EXPECT_EQ(CompareU64(&large, &large), 0);
}

} // namespace
