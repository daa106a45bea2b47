// Entering a file a command wrote into its directory of the in-memory tree:
// the reset call and its cache, the targets left alone, the record added or
// replaced with every counter kept, whether the display list must be built
// again, and the pointers carried when the file array moves.
#include "entry_text.h"

#include "commands/target_refresh.h"
#include "main/window_state.h"
#include "platform/packed_dates.h"
#include "tree/file_list.h"
#include "tree/refresh.h"
#include "tree/tree_records.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using qtest::CheckTreeText;

using qtest::Entry;
using qtest::Names;
using qtest::Shown;

// Drive Q: a root file, a directory with two files and one below it, and an
// empty logged directory; drive R: one directory.
class TargetRefreshTest : public ::testing::Test {
  public:
    DiskInfo* q = nullptr;
    DiskInfo* r = nullptr;
    SubdirInfo* a = nullptr;
    SubdirInfo* ab = nullptr;
    SubdirInfo* empty = nullptr;
    FileEntry source{};

    void SetUp() override {
        qtest::ResetTreeState();
        q = qtest::BuildTree('Q', u"top=3 a\\one.txt=10 a\\two.txt=20 a\\b\\deep=7 ax\\ e\\");
        r = qtest::BuildTree('R', u"x\\f=1");
        a = FindDirByPathAnyDisk(u"Q:\\a", nullptr, TRUE);
        ab = FindDirByPathAnyDisk(u"Q:\\a\\b", nullptr, TRUE);
        empty = FindDirByPathAnyDisk(u"Q:\\e", nullptr, TRUE);
        ASSERT_TRUE(a && ab && empty);
        pdiCurrent = q;
        psiCurrent = q->psiRoot;
        // The caller's source entry: a file of 100 bytes written on a known
        // day, belonging to no directory of the tree.
        source.qwSize = 100;
        source.dWritten = PackDate(2021, 3, 4);
        source.tWritten = PackTime(5, 6, 8, 0);
        gFilesChanged = 0;
        ASSERT_EQ(CheckTreeText(), "");
    }
    void TearDown() override {
        std::free(gFileList);
        gFileList = nullptr;
        gFMax = 0;
        qtest::ResetTreeState();
    }

    int Copy(const char16_t* dir, const char16_t* path, DWORD attributes = 0,
             const TargetFileTimes* times = nullptr) {
        FileEntry* src = &source;
        RefreshTargetDir(dir, FALSE, nullptr, nullptr, 0, nullptr);
        return RefreshTargetDir(dir, FALSE, &src, path, attributes, times);
    }
    // An empty display list, so that the scope decision has a list to ask
    // about.
    void MakeList() {
        gFileList =
            static_cast<DisplayFileList*>(std::calloc(1, sizeof(DisplayFileList) + sizeof(void*)));
        gFMax = 0;
    }
};

TEST_F(TargetRefreshTest, ResetLooksUpTheTargetDiskAndForgetsTheCache) {
    const struct {
        const char* what;
        const char16_t* dir;
        char letter; // 0: no disk
    } cases[] = {
        {"logged letter", u"Q:\\a", 'Q'},
        {"lower-case letter", u"r:\\x\\", 'R'},
        {"letter not logged", u"S:\\", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gRefreshDir = a;
        gRefreshNoFreeSlot = TRUE;
        gRefreshVolume = nullptr;
        EXPECT_EQ(RefreshTargetDir(c.dir, FALSE, nullptr, nullptr, 0, nullptr), 0);
        EXPECT_EQ(gRefreshDir, nullptr);
        EXPECT_FALSE(gRefreshNoFreeSlot);
        EXPECT_EQ(gRefreshVolume, c.letter ? FindVolume(c.letter) : nullptr);
    }
}

TEST_F(TargetRefreshTest, TargetsOutsideTheLoggedTreeChangeNothing) {
    struct Case {
        const char* what;
        const char16_t* dir;
        void (*prepare)(SubdirInfo* a);
    };
    const Case cases[] = {
        {"drive not logged", u"S:\\a", [](SubdirInfo*) {}},
        {"directory not in the tree", u"Q:\\nowhere", [](SubdirInfo*) {}},
        {"a name differing in case", u"Q:\\A", [](SubdirInfo*) {}},
        {"files not read", u"Q:\\a", [](SubdirInfo* d) { d->bLogged = 0; }},
        {"marked to be read again", u"Q:\\a", [](SubdirInfo* d) { d->bRefresh = REFRESH_FILES; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const BYTE logged = a->bLogged;
        c.prepare(a);
        const DWORD files = q->dwFiles;
        const ULONGLONG bytes = q->qwFileBytes;
        std::u16string path = std::u16string(c.dir) + u"\\new.txt";
        EXPECT_EQ(Copy(c.dir, path.c_str()), TARGET_NOT_IN_TREE);
        EXPECT_EQ(q->dwFiles, files);
        EXPECT_EQ(q->qwFileBytes, bytes);
        EXPECT_EQ(Names(a), (std::vector<std::string>{"one.txt", "two.txt"}));
        EXPECT_EQ(gFilesChanged, 0u);
        a->bLogged = logged;
        a->bRefresh = 0;
        EXPECT_EQ(CheckTreeText(), "");
    }
}

TEST_F(TargetRefreshTest, AddedFileKeepsEveryCounter) {
    struct Case {
        const char* what;
        const char16_t* dir;
        const char16_t* path;
        const char* name;
        SubdirInfo* TargetRefreshTest::*target;
    };
    const Case cases[] = {
        {"8.3 name", u"Q:\\a", u"Q:\\a\\new.txt", "new.txt", &TargetRefreshTest::a},
        {"trailing backslash", u"Q:\\a\\", u"Q:\\a\\x", "x", &TargetRefreshTest::a},
        {"long name", u"Q:\\a\\b", u"Q:\\a\\b\\a rather long name.text", "a rather long name.text",
         &TargetRefreshTest::ab},
        {"same name in other case", u"Q:\\a", u"Q:\\a\\ONE.TXT", "ONE.TXT", &TargetRefreshTest::a},
        {"directory without files", u"Q:\\e", u"Q:\\e\\first", "first", &TargetRefreshTest::empty},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        SubdirInfo* dir = this->*c.target;
        const DWORD dirFiles = dir->dwFiles, diskFiles = q->dwFiles;
        const ULONGLONG diskBytes = q->qwFileBytes, matchBytes = q->qwMatchBytes[0];
        EXPECT_EQ(Copy(c.dir, c.path), TARGET_UPDATED);
        const FileEntry* e = Entry(dir, c.name);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->qwSize, 100u);
        EXPECT_EQ(e->wIndex, dirFiles + 1);
        EXPECT_EQ(e->psiOwner, dir);
        EXPECT_EQ(e->dWritten, source.dWritten);
        EXPECT_EQ(e->tWritten, source.tWritten);
        EXPECT_EQ(e->bFlags[0], ENTRY_MATCHES);
        EXPECT_EQ(dir->dwFiles, dirFiles + 1);
        EXPECT_EQ(q->dwFiles, diskFiles + 1);
        EXPECT_EQ(q->qwFileBytes, diskBytes + 100);
        EXPECT_EQ(q->qwMatchBytes[0], matchBytes + 100);
        EXPECT_EQ(CheckTreeText(), "");
        // The windows learn that the directory must be sorted and shown again.
        EXPECT_EQ(gFilesChanged, 1u);
        EXPECT_EQ(q->bHasRefresh, 1);
        EXPECT_TRUE(dir->bRefresh & REFRESH_RESORT);
        EXPECT_EQ(gRefreshDir, dir) << "the directory is kept for the next file";
        TearDown();
    }
}

TEST_F(TargetRefreshTest, AttributesAndTimes) {
    const TargetFileTimes reported{PackDate(2024, 12, 31), PackTime(23, 59, 58, 0)};
    const TargetFileTimes noDay{PackDate(2024, 12, 0), PackTime(1, 2, 4, 0)};
    struct Case {
        const char* what;
        const char* fileSystem;
        DWORD volumeFlags;
        WORD dirAttributes;
        DWORD attributes;
        const TargetFileTimes* times;
        WORD expectedAttributes;
        PackedDate expectedDate;
    };
    const Case cases[] = {
        {"compressed and sparse on ext4", "ext4", 0, 0, 0x821, nullptr, 0x21, source.dWritten},
        {"compressed and sparse on NTFS", "NTFS", 0, 0, 0xA01, nullptr, 0xA01, source.dWritten},
        {"compressed directory on NTFS", "NTFS", 0, 0x800, 0x20, nullptr, 0x820, source.dWritten},
        {"compressed volume on NTFS", "NTFS", 0x8000, 0, 0x20, nullptr, 0x820, source.dWritten},
        {"compressed volume elsewhere", "vfat", 0x8000, 0, 0x20, nullptr, 0x20, source.dWritten},
        {"high bits dropped", "ext4", 0, 0, 0x81A40001, nullptr, 0x1, source.dWritten},
        {"reported time", "ext4", 0, 0, 0, &reported, 0, reported.dWritten},
        {"a date without day is not reported", "ext4", 0, 0, 0, &noDay, 0, source.dWritten},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::strcpy(q->szFileSystem, c.fileSystem);
        q->dwFsFlags = c.volumeFlags;
        a->wAttributes = c.dirAttributes;
        const std::u16string path = u"Q:\\a\\f" + std::u16string(1, char16_t(u'0' + n++));
        ASSERT_EQ(Copy(u"Q:\\a", path.c_str(), c.attributes, c.times), TARGET_UPDATED);
        const FileEntry* e = Entry(a, qtest::NarrowText(path.substr(5)));
        ASSERT_TRUE(e);
        EXPECT_EQ(e->wAttributes, c.expectedAttributes);
        EXPECT_EQ(e->dWritten, c.expectedDate);
    }
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(TargetRefreshTest, ReplacedFileFollowsTheNewSize) {
    // one.txt (10 bytes) is overwritten by a file of 100 bytes: still one
    // entry, and every total follows the difference.
    const DWORD files = q->dwFiles;
    const ULONGLONG bytes = q->qwFileBytes;
    FileEntry* one = const_cast<FileEntry*>(Entry(a, "one.txt"));
    ASSERT_TRUE(one);
    const DWORD index = one->wIndex;
    EXPECT_EQ(Copy(u"Q:\\a", u"Q:\\a\\one.txt", 0x20), TARGET_UPDATED);
    EXPECT_EQ(Names(a), (std::vector<std::string>{"one.txt", "two.txt"}));
    EXPECT_EQ(one->qwSize, 100u);
    EXPECT_EQ(one->wIndex, index);
    EXPECT_EQ(one->wAttributes, 0x20);
    EXPECT_EQ(one->dWritten, source.dWritten);
    EXPECT_EQ(q->dwFiles, files);
    EXPECT_EQ(q->qwFileBytes, bytes + 90);
    EXPECT_EQ(CheckTreeText(), "");

    // A copy onto a tagged file takes its tag away in the current pane;
    // a tag in the other pane, not shown, follows the new size.
    one->bFlags[0] |= ENTRY_TAGGED | ENTRY_MARKED;
    one->bFlags[1] |= ENTRY_TAGGED;
    qtest::RecountTrees();
    ASSERT_EQ(a->dwTagFiles[0], 1u);
    source.qwSize = 4;
    EXPECT_EQ(Copy(u"Q:\\a", u"Q:\\a\\one.txt"), TARGET_UPDATED);
    EXPECT_EQ(one->bFlags[0] & (ENTRY_TAGGED | ENTRY_MARKED), 0);
    EXPECT_EQ(a->dwTagFiles[0], 0u);
    EXPECT_EQ(a->qwTagBytes[0], 0u);
    EXPECT_EQ(q->dwTagFiles[0], 0u);
    EXPECT_EQ(one->bFlags[1] & ENTRY_TAGGED, ENTRY_TAGGED);
    EXPECT_EQ(a->qwTagBytes[1], 4u);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(TargetRefreshTest, DisplayListIsRebuiltWhenItsScopeHoldsTheTarget) {
    struct Case {
        const char* what;
        WORD displayMode;
        DWORD dirMode;
        const char16_t* current; // psiCurrent
        bool sourceInTarget;
        const char16_t* dir;
        int expected;
    };
    const Case cases[] = {
        {"directory mode on the target", 1, 0, u"Q:\\a", false, u"Q:\\a", 2},
        {"directory mode elsewhere", 1, 0, u"Q:\\a\\b", false, u"Q:\\a", 0},
        {"a sibling whose name begins alike", 1, 0, u"Q:\\a", false, u"Q:\\ax", 0},
        {"branch below the current directory", 3, 0, u"Q:\\a", false, u"Q:\\a\\b", 2},
        {"branch from the root", 3, 0, u"Q:\\", false, u"Q:\\a\\b", 2},
        {"branch beside it", 3, 0, u"Q:\\a\\b", false, u"Q:\\a", 0},
        {"showall on the same drive", 4, 0, u"Q:\\e", false, u"Q:\\a", 2},
        {"showall on another drive", 4, 0, u"Q:\\a", false, u"R:\\x", 0},
        {"global", 5, 0, u"Q:\\a", false, u"R:\\x", 2},
        {"listing directories", 1, 1, u"Q:\\a", false, u"Q:\\a", 0},
        {"the source's own directory", 1, 1, u"Q:\\e", true, u"Q:\\a", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        MakeList();
        gDisplayMode[0] = c.displayMode;
        gDirMode[0] = c.dirMode;
        psiCurrent = FindDirByPathAnyDisk(c.current, nullptr, TRUE);
        ASSERT_TRUE(psiCurrent);
        SubdirInfo* target = FindDirByPathAnyDisk(c.dir, nullptr, TRUE);
        ASSERT_TRUE(target);
        if (c.sourceInTarget) source.psiOwner = target;
        const std::u16string path = std::u16string(c.dir) + u"\\n.txt";
        EXPECT_EQ(Copy(c.dir, path.c_str()), c.expected);
        // Added either way; only the marks of a finished update differ.
        EXPECT_TRUE(Entry(target, "n.txt"));
        EXPECT_EQ(CheckTreeText(), "");
        EXPECT_EQ(gFilesChanged, c.expected == 0 ? 1u : 0u);
        source.psiOwner = nullptr;
        TearDown();
    }
}

TEST_F(TargetRefreshTest, MoveWithinOneDirectoryLeavesTheRenameToTheCaller) {
    MakeList();
    FileEntry* two = const_cast<FileEntry*>(Entry(a, "two.txt"));
    FileEntry* slot = two;
    RefreshTargetDir(u"Q:\\a", TRUE, nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(RefreshTargetDir(u"Q:\\a", TRUE, &slot, u"Q:\\a\\renamed", 0, nullptr),
              TARGET_SLOT_MOVED);
    EXPECT_EQ(Names(a), (std::vector<std::string>{"one.txt", "two.txt"}));
    EXPECT_EQ(slot, two);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(TargetRefreshTest, PointersIntoAGrownArrayFollowIt) {
    // The caller's entry, a list slot and the pane's current entry all point
    // into the target's array, which grows by the new record.
    const DWORD count = 2;
    gFileList = static_cast<DisplayFileList*>(
        std::calloc(1, sizeof(DisplayFileList) + (count + 1) * sizeof(void*)));
    gFMax = count;
    FileEntry* one = const_cast<FileEntry*>(Entry(a, "one.txt"));
    FileEntry* two = const_cast<FileEntry*>(Entry(a, "two.txt"));
    ListEntries(gFileList)[0] = HeadOf(one);
    ListEntries(gFileList)[1] = HeadOf(two);
    gPaneCurrentEntry[0] = two;
    gPaneCurrentEntry[1] = one;
    psiCurrent = a;
    FileEntry* caller = one;
    RefreshTargetDir(u"Q:\\a", FALSE, nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(RefreshTargetDir(u"Q:\\a", FALSE, &caller, u"Q:\\a\\copy.txt", 0, nullptr),
              TARGET_REBUILD_LIST);
    const FileEntry* begin = a->pFiles;
    const FileEntry* end = a->pFiles + a->dwFiles;
    auto inside = [&](const void* p) { return p >= begin && p < end; };
    ASSERT_TRUE(inside(caller));
    EXPECT_EQ(Shown(caller), "one.txt");
    ASSERT_TRUE(inside(ListEntries(gFileList)[0]) && inside(ListEntries(gFileList)[1]));
    EXPECT_EQ(Shown(reinterpret_cast<FileEntry*>(ListEntries(gFileList)[0])), "one.txt");
    EXPECT_EQ(Shown(reinterpret_cast<FileEntry*>(ListEntries(gFileList)[1])), "two.txt");
    ASSERT_TRUE(inside(gPaneCurrentEntry[0]) && inside(gPaneCurrentEntry[1]));
    EXPECT_EQ(Shown(gPaneCurrentEntry[0]), "two.txt");
    EXPECT_EQ(Shown(gPaneCurrentEntry[1]), "one.txt");
    const FileEntry* copy = Entry(a, "copy.txt");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->qwSize, 10u) << "a copy has its source's size";
    EXPECT_EQ(copy->wIndex, 3u);
    EXPECT_FALSE(a->pFiles[3].wszShortName[0]) << "the end record follows";
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(TargetRefreshTest, FreeSlotIsReusedBeforeTheArrayGrows) {
    // two.txt left a as a moved file does: its record stays as a free slot.
    FileEntry* two = const_cast<FileEntry*>(Entry(a, "two.txt"));
    const DWORD slotIndex = two->wIndex;
    for (int i = 0; i < 10; i++)
        two->wszShortName[i] = 0xFFFF;
    two->wszShortName[10] = u' ';
    two->wszShortName[11] = u':';
    two->wszShortName[12] = 0;
    a->dwFiles--;
    a->qwFileBytes -= two->qwSize;
    two->qwSize = 0;
    RefreshTargetDir(u"Q:\\a", FALSE, nullptr, nullptr, 0, nullptr);
    FileEntry* src = &source;
    EXPECT_EQ(RefreshTargetDir(u"Q:\\a", FALSE, &src, u"Q:\\a\\moved.in", 0, nullptr),
              TARGET_UPDATED);
    EXPECT_EQ(Names(a), (std::vector<std::string>{"one.txt", "moved.in"}));
    EXPECT_EQ(Entry(a, "moved.in")->wIndex, slotIndex);
    EXPECT_FALSE(gRefreshNoFreeSlot);
    EXPECT_EQ(a->dwFiles, 2u);
    // No slot is left: the next file appends, and the search is not made
    // again in this command.
    EXPECT_EQ(RefreshTargetDir(u"Q:\\a", FALSE, &src, u"Q:\\a\\third", 0, nullptr), TARGET_UPDATED);
    EXPECT_EQ(Names(a), (std::vector<std::string>{"one.txt", "moved.in", "third"}));
    EXPECT_TRUE(gRefreshNoFreeSlot);
    qtest::RecountTrees();
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(TargetRefreshTest, MatchBitFollowsEachPanesFilterOnlyWhereItIsShown) {
    // The other pane keeps the source's match bit unless split screen shows
    // it; either way its counters agree with the bits.
    for (DWORD split : {0u, 1u}) {
        SCOPED_TRACE(split ? "split screen" : "one pane");
        SetUp();
        gSplitScreen = split;
        source.bFlags[0] = 0;
        source.bFlags[1] = 0;
        EXPECT_EQ(Copy(u"Q:\\a", u"Q:\\a\\m"), TARGET_UPDATED);
        const FileEntry* e = Entry(a, "m");
        ASSERT_TRUE(e);
        EXPECT_EQ(e->bFlags[0], ENTRY_MATCHES);
        EXPECT_EQ(e->bFlags[1], split ? ENTRY_MATCHES : 0);
        EXPECT_EQ(CheckTreeText(), "");
        TearDown();
    }
}

} // namespace
