// Each pane's bookkeeping over the tree: tagged totals of the display list,
// tagged files of a directory, the shallowest listed directory, the per-pane
// positions kept in the disks, the tree cursor kept inside the window, the
// row-to-directory lookup, shortcuts, the shared temporary copy and the
// cluster slack of the information screen.
#include "../posix/drive_fixture.h"
#include "main/file_jump.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "menu/open_copy.h"
#include "platform/console_session.h"
#include "tree/file_list.h"
#include "tree/pane_bookkeeping.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/progress.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using qtest::BuildTree;

class PaneBookkeeping : public ::testing::Test {
  protected:
    void SetUp() override { qtest::ResetTreeState(); }
    void TearDown() override { qtest::ResetTreeState(); }

    // The current disk and directory, and a mode-1 list of its files.
    static void ListFilesOf(DiskInfo* disk, const char16_t* path) {
        pdiCurrent = disk;
        psiCurrent = FindDirByPath(path, nullptr, TRUE);
        ASSERT_NE(psiCurrent, nullptr);
        gDisplayMode[gCurrentPane] = 1;
        BuildDisplayFileList(0);
    }
};

TEST_F(PaneBookkeeping, SumTaggedSizeCountsListedTaggedEntries) {
    struct Case {
        const char* what;
        const char16_t* files;
        BOOL countOnly, withOverhead;
        ULONGLONG expected;
    };
    // #1: tagged but not matching (not listed); #3 tagged; #6 marked; #7 both.
    const char16_t* kMixed = u"a.txt=100#3 b.txt=20#7 c.txt=5#2 d.txt=9#1 e.txt=7#6";
    const Case cases[] = {
        {"count of tagged and marked entries", kMixed, TRUE, FALSE, 3},
        {"their bytes", kMixed, FALSE, FALSE, 127},
        {"bytes and 70000 per file", kMixed, FALSE, TRUE, 127 + 3 * 70000},
        {"count only ignores the overhead", kMixed, TRUE, TRUE, 3},
        {"tagged files of 0 bytes give their count", u"z.txt=0#3 y.txt=0#6 x.txt=4#2", FALSE, TRUE, 2},
        {"nothing tagged", u"p.txt=4#2 q.txt=8#2", FALSE, TRUE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qtest::ResetTreeState();
        ListFilesOf(BuildTree('C', c.files), u"C:\\");
        EXPECT_EQ(SumTaggedSize(c.countOnly, c.withOverhead), c.expected);
    }
}

TEST_F(PaneBookkeeping, SumTaggedSizeOfNoListIsZero) {
    ListFilesOf(BuildTree('C', u"d\\ d\\a.txt=5#3"), u"C:\\");
    ASSERT_EQ(gFileList, nullptr) << "the root has no files, so no list";
    for (BOOL countOnly : {FALSE, TRUE})
        for (BOOL overhead : {FALSE, TRUE}) EXPECT_EQ(SumTaggedSize(countOnly, overhead), 0u);
}

TEST_F(PaneBookkeeping, SumTaggedSizeReadsTheCurrentPaneOnly) {
    DiskInfo* disk = BuildTree('C', u"a.txt=10#3 b.txt=30#3");
    ListFilesOf(disk, u"C:\\");
    // Pane 1 has only b tagged.
    FileEntry* files = psiCurrent->pFiles;
    files[0].bFlags[1] = ENTRY_MATCHES;
    EXPECT_EQ(SumTaggedSize(FALSE, FALSE), 40u);
    gCurrentPane = 1;
    EXPECT_EQ(SumTaggedSize(FALSE, FALSE), 30u);
    EXPECT_EQ(SumTaggedSize(TRUE, FALSE), 1u);
}

TEST_F(PaneBookkeeping, CountTaggedInDirPerPane) {
    DiskInfo* disk = BuildTree('C', u"d\\a=1#3 d\\b=1#6 d\\c=1#2 d\\e=1#1 d\\f=1#0");
    pdiCurrent = disk;
    SubdirInfo* d = FindDirByPath(u"C:\\d", nullptr, TRUE);
    ASSERT_NE(d, nullptr);
    // Pane 0: flags 3, 6 and 1 count (1 counts without the match bit).
    EXPECT_EQ(CountTaggedInDir(d, 0), 3u);
    for (DWORD i = 0; i < d->dwFiles; i++) d->pFiles[i].bFlags[1] = ENTRY_MATCHES;
    d->pFiles[4].bFlags[1] = ENTRY_MARKED;
    EXPECT_EQ(CountTaggedInDir(d, 1), 1u);
    EXPECT_EQ(CountTaggedInDir(disk->psiRoot, 0), 0u) << "a directory without files";
    EXPECT_EQ(CountTaggedInDir(nullptr, 0), 0u);
}

TEST_F(PaneBookkeeping, ShallowestListDirOfAShowallList) {
    struct Case {
        const char* what;
        const char16_t* tree;
        const char16_t* current;
        const char16_t* expected;
    };
    const Case cases[] = {
        {"the level-1 directory among deeper ones", u"a\\b\\c\\f1=1 a\\b\\f2=1 x\\f3=1 a\\b\\c\\f4=1",
         u"C:\\a\\b\\c", u"C:\\x"},
        {"the root when it lists files", u"a\\f1=1 top=1", u"C:\\a", u"C:\\"},
        {"the first of equal levels in list order", u"m\\f1=1 n\\f2=1", u"C:\\n", u"C:\\m"},
        {"the current directory for an empty list", u"a\\f1=1#0 b\\", u"C:\\b", u"C:\\b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qtest::ResetTreeState();
        DiskInfo* disk = BuildTree('C', c.tree);
        pdiCurrent = disk;
        psiCurrent = FindDirByPath(c.current, nullptr, TRUE);
        ASSERT_NE(psiCurrent, nullptr);
        gDisplayMode[0] = 4;
        BuildGlobalFileList(0, disk, 0);
        EXPECT_EQ(ShallowestListDir(), FindDirByPath(c.expected, nullptr, TRUE));
    }
}

TEST_F(PaneBookkeeping, SaveSidePositionOnlyInWideDisplayModes) {
    DiskInfo* disk = BuildTree('C', u"d\\f=1");
    pdiCurrent = disk;
    SubdirInfo* d = FindDirByPath(u"C:\\d", nullptr, TRUE);
    for (WORD pane : {WORD(0), WORD(1)})
        for (WORD mode = 1; mode <= 5; mode++) {
            SCOPED_TRACE("pane " + std::to_string(pane) + " mode " + std::to_string(mode));
            disk->dwListIndex[0] = disk->dwListIndex[1] = 99;
            disk->dwListTop[0] = disk->dwListTop[1] = 98;
            gCurrentPane = pane;
            gDisplayMode[pane] = mode;
            gPanes[pane].FirstShown = 40 + mode;
            SaveSidePosition(d, 7 + mode);
            const bool stored = mode > 2;
            EXPECT_EQ(disk->dwListIndex[pane], stored ? 7u + mode : 99u);
            EXPECT_EQ(disk->dwListTop[pane], stored ? 40u + mode : 98u);
            EXPECT_EQ(disk->dwListIndex[1 - pane], 99u) << "the other pane is left alone";
            EXPECT_EQ(disk->dwListTop[1 - pane], 98u);
        }
    gPanes[0].FirstShown = gPanes[1].FirstShown = 0;
}

// Two disks whose per-pane fields all differ, for the side-state copies.
struct TwoDisks {
    std::vector<DiskInfo*> disks;
    std::vector<SubdirInfo*> dirs;
};

// A fresh tree of them, with pane current.
TwoDisks MarkedDisks(WORD pane) {
    qtest::ResetTreeState();
    gCurrentPane = pane;
    TwoDisks t;
    t.disks = {BuildTree('C', u"a\\ a\\b\\ c\\"), BuildTree('D', u"x\\")};
    DWORD n = 1;
    for (DiskInfo* disk : t.disks) {
        disk->dwListKey[0] = n++;
        disk->dwListKey[1] = n++;
        disk->dwListIndex[0] = n++;
        disk->dwListIndex[1] = n++;
        for (SubdirInfo* d : qtest::DirsInOrder(disk)) {
            d->dwPaneWord[0] = n++;
            d->dwPaneWord[1] = n++;
            t.dirs.push_back(d);
        }
    }
    return t;
}

TEST_F(PaneBookkeeping, InheritOtherSideStateCopiesToTheCurrentPane) {
    for (WORD pane : {WORD(0), WORD(1)}) {
        SCOPED_TRACE("current pane " + std::to_string(pane));
        TwoDisks t = MarkedDisks(pane);
        const WORD other = WORD(1 - pane);
        std::vector<DWORD> otherKeys, otherWords;
        for (DiskInfo* disk : t.disks) otherKeys.push_back(disk->dwListKey[other]);
        for (SubdirInfo* d : t.dirs) otherWords.push_back(d->dwPaneWord[other]);
        InheritOtherSideState();
        for (size_t i = 0; i < t.disks.size(); i++) {
            EXPECT_EQ(t.disks[i]->dwListKey[pane], otherKeys[i]);
            EXPECT_EQ(t.disks[i]->dwListKey[other], otherKeys[i]) << "the source stays";
            EXPECT_EQ(t.disks[i]->dwListIndex[pane], t.disks[i]->dwListIndex[other]);
        }
        for (size_t i = 0; i < t.dirs.size(); i++) {
            EXPECT_EQ(t.dirs[i]->dwPaneWord[pane], otherWords[i]);
            EXPECT_EQ(t.dirs[i]->dwPaneWord[other], otherWords[i]);
        }
    }
}

TEST_F(PaneBookkeeping, ResetSideDirStateWritesPaneZeroListFieldsAndClearsTheCurrentPaneWords) {
    for (WORD pane : {WORD(0), WORD(1)}) {
        SCOPED_TRACE("current pane " + std::to_string(pane));
        TwoDisks t = MarkedDisks(pane);
        const WORD other = WORD(1 - pane);
        std::vector<DWORD> keys1, index1, otherWords;
        for (DiskInfo* disk : t.disks) {
            keys1.push_back(disk->dwListKey[1]);
            index1.push_back(disk->dwListIndex[1]);
        }
        for (SubdirInfo* d : t.dirs) otherWords.push_back(d->dwPaneWord[other]);
        ResetSideDirState();
        for (size_t i = 0; i < t.disks.size(); i++) {
            EXPECT_EQ(t.disks[i]->dwListKey[0], keys1[i]);
            EXPECT_EQ(t.disks[i]->dwListIndex[0], 0u);
            EXPECT_EQ(t.disks[i]->dwListKey[1], keys1[i]);
            EXPECT_EQ(t.disks[i]->dwListIndex[1], index1[i]);
        }
        for (size_t i = 0; i < t.dirs.size(); i++) {
            EXPECT_EQ(t.dirs[i]->dwPaneWord[pane], 0u);
            EXPECT_EQ(t.dirs[i]->dwPaneWord[other], otherWords[i]);
        }
    }
}

// Tree lines made as the tree builder stores them: each row's text and,
// after gTreeWidth units, its directory pointer (null for an empty row).
class TreeRows : public PaneBookkeeping {
  protected:
    WORD savedWidth = 0, savedStride = 0, savedSmallRow = 0;
    std::vector<SubdirInfo> dirs;

    void SetUp() override {
        PaneBookkeeping::SetUp();
        savedWidth = gTreeWidth;
        savedStride = gTreeLineStride;
        savedSmallRow = gSmallWindowRow;
        gTreeWidth = 20;
        gTreeLineStride = 26;
    }
    void TearDown() override {
        for (int p = 0; p < 2; p++) {
            std::free(gTreeLines[p]);
            gTreeLines[p] = nullptr;
            gTreeLineRows[p] = 0;
        }
        gTreeWidth = savedWidth;
        gTreeLineStride = savedStride;
        gSmallWindowRow = savedSmallRow;
        gTreeFirstLine = 0;
        PaneBookkeeping::TearDown();
    }
    // rows list rows for pane; every row from first to first + withDirs - 1
    // holds a directory of its own.
    void MakeRows(int pane, DWORD rows, DWORD first, DWORD withDirs) {
        dirs.assign(rows, SubdirInfo{});
        std::free(gTreeLines[pane]);
        auto* lines = static_cast<WCHAR*>(std::calloc(rows, gTreeLineStride * sizeof(WCHAR)));
        for (DWORD r = 0; r < rows; r++) {
            std::fill(lines + r * gTreeLineStride, lines + r * gTreeLineStride + gTreeWidth, u'x');
            SubdirInfo* dir = r >= first && r < first + withDirs ? &dirs[r] : nullptr;
            std::memcpy(lines + r * gTreeLineStride + gTreeWidth, &dir, sizeof dir);
        }
        gTreeLines[pane] = lines;
        gTreeLineRows[pane] = rows;
    }
};

TEST_F(TreeRows, FindPathFromPosReadsTheRowPointer) {
    MakeRows(0, 8, 2, 4);
    for (int mode : {0, 1, 2}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        for (DWORD row = 0; row < 10; row++) {
            SubdirInfo* expected = row >= 2 && row < 6 ? &dirs[row] : nullptr;
            EXPECT_EQ(FindPathFromPos(row, mode, 1), expected) << "row " << row;
        }
    }
    gCurrentPane = 1;
    EXPECT_EQ(FindPathFromPos(3, 0, 1), nullptr) << "pane 1 has no rows";
    MakeRows(1, 3, 0, 3);
    EXPECT_EQ(FindPathFromPos(1, 0, 1), &dirs[1]);
    gTreeLineStride = WORD(gTreeWidth + 2);
    EXPECT_EQ(FindPathFromPos(1, 0, 1), nullptr) << "rows without room for the pointer";
}

TEST_F(TreeRows, KeepTreeCursorVisibleLimits) {
    struct Case {
        const char* what;
        WORD firstLine;
        DWORD treeRows; // below the root
        DWORD top;
        WORD bar;
        DWORD expectedTop;
        WORD expectedBar;
    };
    // gSmallWindowRow 13: a window of 10 rows.
    const Case cases[] = {
        {"inside the window", 0, 20, 0, 5, 0, 5},
        {"inside, scrolled", 0, 20, 6, 9, 6, 9},
        {"a row below the window moves into the top", 0, 30, 2, 14, 7, 9},
        {"the top pulled back while the window is not filled", 0, 20, 15, 2, 11, 6},
        {"a tree shorter than the window starts at the top", 0, 4, 3, 1, 0, 4},
        {"a cursor beyond the last row comes back to it", 0, 4, 0, 8, 0, 4},
        {"a cursor beyond the last row with a top", 0, 12, 6, 9, 3, 9},
        {"three empty rows above the root count", 3, 4, 0, 3, 0, 3},
        {"three empty rows, a long tree", 3, 30, 20, 3, 20, 3},
    };
    gSmallWindowRow = 13;
    for (WORD pane : {WORD(0), WORD(1)})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", pane " + std::to_string(pane));
            qtest::ResetTreeState();
            gCurrentPane = pane;
            gTreeFirstLine = c.firstLine;
            pdiCurrent = BuildTree('C', u"a\\");
            pdiCurrent->dwTreeRows = c.treeRows;
            const DWORD lines = c.firstLine + 1 + c.treeRows;
            MakeRows(pane, lines, c.firstLine, c.treeRows + 1);
            DWORD top = c.top;
            WORD bar = c.bar;
            SubdirInfo* found = KeepTreeCursorVisible(&top, &bar);
            EXPECT_EQ(top, c.expectedTop);
            EXPECT_EQ(bar, c.expectedBar);
            EXPECT_EQ(pdiCurrent->dwTreeTop[pane], c.expectedTop);
            EXPECT_EQ(pdiCurrent->yBar[pane], c.expectedBar);
            EXPECT_EQ(pdiCurrent->dwTreeTop[1 - pane], 0u) << "the other pane is left alone";
            EXPECT_EQ(found, &dirs[c.expectedTop + c.expectedBar]);
        }
}

// Slack: a disk of known files, cluster geometry and file system.
struct SlackCase {
    const char* what;
    const char* fileSystem;
    WORD sectorBytes, clusterSectors;
    const char16_t* files;
    ULONGLONG expectedSlack;
};

TEST_F(PaneBookkeeping, ComputeDiskSlackSumsTheRestOfEachLastCluster) {
    const char16_t* kFiles = u"a\\f1=1 a\\f2=4096 a\\f3=4097 b\\f4=0 top=65537";
    const SlackCase cases[] = {
        {"4 KiB clusters", "FAT32", 512, 8, kFiles, 4095 + 0 + 4095 + 0 + 4095},
        {"64 KiB clusters, more than 16 bits hold", "exFAT", 512, 128, kFiles,
         65535 + 61440 + 61439 + 0 + 65535},
        {"128 KiB clusters", "ext4", 4096, 32, u"x=131072 y=1", 0 + 131071},
        {"an unknown cluster size gives no slack", "FAT32", 0, 8, kFiles, 0},
        {"no sectors per cluster gives no slack", "FAT32", 512, 0, kFiles, 0},
        {"NTFS counts no slack of plain files", "NTFS", 512, 8, kFiles, 0},
        {"no files", "FAT32", 512, 8, u"a\\ b\\", 0},
    };
    for (const SlackCase& c : cases) {
        SCOPED_TRACE(c.what);
        qtest::ResetTreeState();
        DiskInfo* disk = BuildTree('C', c.files);
        pdiCurrent = disk;
        psiCurrent = disk->psiRoot;
        std::strcpy(disk->szFileSystem, c.fileSystem);
        disk->wSectorBytes = c.sectorBytes;
        disk->wClusterSectors = c.clusterSectors;
        disk->wClusterBytes = WORD(c.sectorBytes * c.clusterSectors);
        disk->qwUsedBytes = 10'000'000;
        EXPECT_EQ(ComputeDiskSlack(FALSE), c.expectedSlack);
        EXPECT_EQ(disk->qwSlackBytes, LONGLONG(c.expectedSlack));
        const LONGLONG overhead = LONGLONG(10'000'000 - disk->qwFileBytes);
        const bool ntfs = std::strcmp(c.fileSystem, "NTFS") == 0;
        EXPECT_EQ(disk->qwSavedBytes, ntfs ? overhead + LONGLONG(c.expectedSlack)
                                           : overhead - LONGLONG(c.expectedSlack));
        EXPECT_EQ(gSlackCompressedFiles, 0u);
    }
}

TEST_F(PaneBookkeeping, ComputeDiskSlackWithADirectoryNotLoggedLeavesSavedUnknown) {
    DiskInfo* disk = BuildTree('C', u"a\\f1=1 b\\f2=1");
    pdiCurrent = disk;
    psiCurrent = disk->psiRoot;
    std::strcpy(disk->szFileSystem, "FAT32");
    disk->wSectorBytes = 512;
    disk->wClusterSectors = 1;
    disk->qwUsedBytes = 100000;
    SubdirInfo* b = FindDirByPath(u"C:\\b", nullptr, TRUE);
    b->bLogged = 0;
    // Only a's file is known.
    EXPECT_EQ(ComputeDiskSlack(FALSE), 511u);
    EXPECT_EQ(disk->qwSlackBytes, 511);
    EXPECT_EQ(disk->qwSavedBytes, -1);
}

TEST_F(PaneBookkeeping, ComputeDiskSlackCountsCompressedFilesBelowTheCurrentDirectoryWhenAsked) {
    DiskInfo* disk = BuildTree('C', u"a\\f1=10 a\\f2=20 a\\s\\f3=40 b\\f4=80 top=160");
    pdiCurrent = disk;
    std::strcpy(disk->szFileSystem, "NTFS");
    disk->wSectorBytes = 512;
    disk->wClusterSectors = 8;
    // Compressed: f1, f3 and f4; sparse: top.
    for (SubdirInfo* d : qtest::DirsInOrder(disk))
        for (DWORD i = 0; i < d->dwFiles; i++) {
            FileEntry& f = d->pFiles[i];
            if (f.qwSize == 10 || f.qwSize == 40 || f.qwSize == 80) f.wAttributes = 0x800;
            if (f.qwSize == 160) f.wAttributes = 0x200;
        }
    struct Case {
        const char16_t* current;
        BOOL below;
        DWORD files;
        ULONGLONG bytes;
    };
    const Case cases[] = {
        {u"C:\\a", FALSE, 4, 10 + 40 + 80 + 160},
        {u"C:\\a", TRUE, 2, 10 + 40},
        {u"C:\\a\\s", TRUE, 1, 40},
        {u"C:\\", TRUE, 4, 10 + 40 + 80 + 160},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qtest::NarrowText(c.current) + (c.below ? " below" : " whole disk"));
        psiCurrent = FindDirByPath(c.current, nullptr, TRUE);
        ComputeDiskSlack(c.below);
        EXPECT_EQ(gSlackCompressedFiles, c.files);
        EXPECT_EQ(gSlackCompressedBytes, c.bytes);
    }
}

TEST_F(PaneBookkeeping, ComputeDiskSlackStoppedByAKeyLeavesBothFiguresAllOnes) {
    for (const char* fileSystem : {"FAT32", "NTFS"}) {
        SCOPED_TRACE(fileSystem);
        qtest::ResetTreeState();
        DiskInfo* disk = BuildTree('C', u"a\\f1=1 a\\f2=2 top=3");
        pdiCurrent = disk;
        psiCurrent = disk->psiRoot;
        std::strcpy(disk->szFileSystem, fileSystem);
        disk->wSectorBytes = 512;
        disk->wClusterSectors = 128;
        disk->qwUsedBytes = 1'000'000;
        disk->qwSlackBytes = 5;
        disk->qwSavedBytes = 6;
        // The key arrives while the caller's busy state is on, as the clock
        // thread reports it.
        SetBusy(1);
        gInterruptRequested = 1;
        EXPECT_EQ(ComputeDiskSlack(FALSE), ~0ULL);
        SetBusy(0);
        EXPECT_EQ(disk->qwSlackBytes, -1);
        EXPECT_EQ(disk->qwSavedBytes, -1);
        // Without the key the same disk has its figures.
        const bool ntfs = std::strcmp(fileSystem, "NTFS") == 0;
        EXPECT_EQ(ComputeDiskSlack(FALSE), ntfs ? 0u : 3 * 65536u - 6);
        EXPECT_NE(disk->qwSavedBytes, -1);
    }
}

TEST_F(PaneBookkeeping, ComputeDiskSlackWithoutADiskIsUnknown) {
    EXPECT_EQ(ComputeDiskSlack(FALSE), ~0ULL);
}

// A shortcut resolves through the shell's link component, which this system
// does not have: no entry is followed and the jump target stays as it was.
TEST_F(PaneBookkeeping, FollowShortcutEntryFollowsNothingWithoutTheLinkComponent) {
    ListFilesOf(BuildTree('C', u"go.LNK=10 go.lnk=10 plain.txt=3 lnk=1"), u"C:\\");
    ASSERT_EQ(gFMax, 4u);
    gJumpDir[0] = u'J';
    gJumpDir[1] = 0;
    gJumpFile[0] = 0;
    for (DWORD i = 0; i < gFMax + 2; i++) {
        EXPECT_EQ(FollowShortcutEntry(i), 0) << "entry " << i;
        EXPECT_EQ(std::u16string(gJumpDir), u"J");
        EXPECT_EQ(gJumpFile[0], 0);
    }
}

class ReleaseTemp : public DriveMapTest {
  protected:
    std::string root;
    void SetUp() override {
        root = dir.MakeDir("t");
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        WriteDrivesFile("t: " + root + "\n");
        Forget();
    }
    void TearDown() override {
        Forget();
        DriveMapTest::TearDown();
    }
    static void Forget() {
        gOpenCopyUses = 0;
        gOpenCopyPath[0] = gOpenCopySource[0] = 0;
    }
    bool Exists(const std::string& name) {
        struct stat st;
        return ::stat((root + "/" + name).c_str(), &st) == 0;
    }
    static void Remember(const char16_t* copy, DWORD uses) {
        std::u16string c(copy);
        std::copy(c.begin(), c.end(), gOpenCopyPath);
        gOpenCopyPath[c.size()] = 0;
        const std::u16string source = u"R:\\remote\\file.txt";
        std::copy(source.begin(), source.end(), gOpenCopySource);
        gOpenCopySource[source.size()] = 0;
        gOpenCopyUses = uses;
    }
};

TEST_F(ReleaseTemp, TheSharedCopyGoesWithItsLastUser) {
    dir.Write("t/shared.txt", "shared");
    Remember(u"T:\\shared.txt", 3);
    for (DWORD left : {2u, 1u}) {
        ReleaseTempFile(u"T:\\shared.txt");
        EXPECT_EQ(gOpenCopyUses, left);
        EXPECT_TRUE(Exists("shared.txt")) << "still used";
        EXPECT_EQ(std::u16string(gOpenCopyPath), u"T:\\shared.txt");
    }
    ReleaseTempFile(u"T:\\shared.txt");
    EXPECT_FALSE(Exists("shared.txt"));
    EXPECT_EQ(gOpenCopyUses, 0u);
    EXPECT_EQ(gOpenCopyPath[0], 0) << "the shared name is forgotten";
    EXPECT_EQ(gOpenCopySource[0], 0);
}

TEST_F(ReleaseTemp, AnotherTemporaryFileGoesAtOnce) {
    dir.Write("t/shared.txt", "shared");
    dir.Write("t/other.txt", "other");
    dir.Write("t/Shared.txt", "case differs");
    Remember(u"T:\\shared.txt", 2);
    ReleaseTempFile(u"T:\\other.txt");
    EXPECT_FALSE(Exists("other.txt"));
    ReleaseTempFile(u"T:\\Shared.txt");
    EXPECT_FALSE(Exists("Shared.txt")) << "a name of other case is another file";
    EXPECT_TRUE(Exists("shared.txt"));
    EXPECT_EQ(gOpenCopyUses, 2u);
    ReleaseTempFile(nullptr);
    ReleaseTempFile(u"");
    EXPECT_EQ(gOpenCopyUses, 2u);
    EXPECT_TRUE(Exists("shared.txt"));
}

TEST_F(ReleaseTemp, WithoutARememberedCopyTheSharedNameIsAnyFile) {
    dir.Write("t/shared.txt", "shared");
    Remember(u"T:\\shared.txt", 0);
    ReleaseTempFile(u"T:\\shared.txt");
    EXPECT_FALSE(Exists("shared.txt"));
    EXPECT_EQ(gOpenCopyUses, 0u);
}

} // namespace
