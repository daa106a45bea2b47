// Files the program creates itself, entered into a logged tree read from a
// real directory: the new entry with its size and every counter, the array
// sorted again, the display list rebuilt when it shows the directory, and
// nothing entered where the directory is not logged or the file is missing;
// and the disks marked for refresh logged again, on two drives.
#include "../posix/drive_fixture.h"
#include "entry_text.h"

#include "commands/target_refresh.h"
#include "main/window_state.h"
#include "platform/read_ahead.h"
#include "tree/entry_names.h"
#include "tree/file_list.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/refresh.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using qtest::CheckTreeText;

using qtest::Entry;
using qtest::Names;
using qtest::Shown;

std::vector<std::string> ListNames() {
    std::vector<std::string> out;
    for (DWORD i = 0; gFileList && i < gFMax; i++)
        out.push_back(Shown(reinterpret_cast<const FileEntry*>(ListEntries(gFileList)[i])));
    return out;
}

// Drive Q: a root file, a with two files, a\sub with one; logged whole.
class CreatedFileTest : public DriveMapTest {
  protected:
    std::string root;
    std::string other;

    void SetUp() override {
        root = dir.MakeDir("q");
        dir.Write("q/top.txt", "12345");
        dir.Write("q/a/b.txt", std::string(10, 'x'));
        dir.Write("q/a/d.txt", std::string(20, 'x'));
        dir.Write("q/a/sub/s", "1");
        // Drive R is mapped from the start, so that the map never keeps an
        // earlier test's place for it.
        other = dir.MakeDir("r");
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        WriteDrivesFile("q: " + root + "\nr: " + other + "\n");
        qtest::ResetTreeState();
        gLogMode = LOG_FULL_DISK;
        gLogDepthLimit = LOG_NO_DEPTH_LIMIT;
        gPrefetchEnabled = 0;
        gWindowMode = WM_TREE;
        ASSERT_EQ(LogDrive('q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        ASSERT_TRUE(pdiCurrent);
        qtest::DisownRecords();
    }
    void TearDown() override {
        UiScriptEnd();
        qtest::ResetTreeState();
        DriveMapTest::TearDown();
    }
    SubdirInfo* Dir(const char16_t* path) { return FindDirByPathAnyDisk(path, nullptr, TRUE); }
};

TEST_F(CreatedFileTest, CreatedFileIsEnteredWithEveryCounter) {
    struct Case {
        const char* what;
        const char* file; // below q/
        const char16_t* path;
        const char16_t* dir;
        std::vector<std::string> names; // the directory's array afterwards
    };
    const Case cases[] = {
        {"sorted between the others",
         "a/c.txt",
         u"Q:\\a\\c.txt",
         u"Q:\\a",
         {"b.txt", "c.txt", "d.txt"}},
        {"a long name",
         "a/a created listing.text",
         u"Q:\\a\\a created listing.text",
         u"Q:\\a",
         {"a created listing.text", "b.txt", "d.txt"}},
        {"in the root", "new", u"Q:\\new", u"Q:\\", {"new", "top.txt"}},
        {"a lower-case drive letter", "a/sub/t", u"q:\\a\\sub\\t", u"Q:\\a\\sub", {"s", "t"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        dir.Write("q/" + std::string(c.file), std::string(33, 'n'));
        SubdirInfo* target = Dir(c.dir);
        ASSERT_TRUE(target);
        const DWORD files = pdiCurrent->dwFiles;
        const ULONGLONG bytes = pdiCurrent->qwFileBytes;
        EXPECT_EQ(AddCreatedFileEntry(c.path), 0);
        EXPECT_EQ(Names(target), c.names);
        EXPECT_EQ(target->dwFiles, c.names.size());
        EXPECT_EQ(pdiCurrent->dwFiles, files + 1);
        EXPECT_EQ(pdiCurrent->qwFileBytes, bytes + 33);
        EXPECT_EQ(CheckTreeText(), "");
        TearDown();
        // The next case logs the drive again without this file.
        ::unlink((root + "/" + c.file).c_str());
    }
}

TEST_F(CreatedFileTest, RewrittenFileKeepsOneEntry) {
    dir.Write("q/a/b.txt", std::string(15, 'y'));
    SubdirInfo* a = Dir(u"Q:\\a");
    EXPECT_EQ(AddCreatedFileEntry(u"Q:\\a\\b.txt"), 0);
    EXPECT_EQ(Names(a), (std::vector<std::string>{"b.txt", "d.txt"}));
    EXPECT_EQ(a->qwFileBytes, 35u);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(CreatedFileTest, MissingFileGivesTwoAndChangesNothing) {
    const DWORD files = pdiCurrent->dwFiles;
    EXPECT_EQ(AddCreatedFileEntry(u"Q:\\a\\never.txt"), 2);
    EXPECT_EQ(pdiCurrent->dwFiles, files);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(CreatedFileTest, DirectoryNotLoggedIsLeftToItsNextRead) {
    // Only the root's files are read: a file created in a stays out of the
    // tree until a is read.
    qtest::ResetTreeState();
    gLogMode = LOG_ROOT_ONLY;
    ASSERT_EQ(LogDrive('q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    qtest::DisownRecords();
    dir.Write("q/a/c.txt", "c");
    SubdirInfo* a = Dir(u"Q:\\a");
    ASSERT_TRUE(a);
    ASSERT_EQ(a->bLogged, 0);
    const DWORD files = pdiCurrent->dwFiles;
    EXPECT_EQ(AddCreatedFileEntry(u"Q:\\a\\c.txt"), 0);
    EXPECT_EQ(a->pFiles, nullptr);
    EXPECT_EQ(pdiCurrent->dwFiles, files);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(CreatedFileTest, DisplayListShowingTheDirectoryIsRebuilt) {
    struct Case {
        const char* what;
        WORD displayMode;
        const char16_t* current;
        bool listed; // the new file is in the list afterwards
    };
    const Case cases[] = {
        {"directory mode on the target", 1, u"Q:\\a", true},
        {"branch mode above it", 3, u"Q:\\", true},
        {"showall mode", 4, u"Q:\\a\\sub", true},
        {"directory mode elsewhere", 1, u"Q:\\a\\sub", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        gDisplayMode[0] = c.displayMode;
        psiCurrent = Dir(c.current);
        ASSERT_TRUE(psiCurrent);
        if (c.displayMode == 1)
            BuildDisplayFileList(0);
        else
            BuildGlobalFileList(0, pdiCurrent, 1);
        ASSERT_TRUE(gFileList);
        const std::vector<std::string> before = ListNames();
        dir.Write("q/a/c.txt", "ccc");
        EXPECT_EQ(AddCreatedFileEntry(u"Q:\\a\\c.txt"), 0);
        std::vector<std::string> expected = before;
        if (c.listed) expected.push_back("c.txt");
        std::vector<std::string> after = ListNames();
        std::sort(after.begin(), after.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(after, expected);
        EXPECT_EQ(CheckTreeText(), "");
        TearDown();
        ::unlink((root + "/a/c.txt").c_str());
    }
}

// Drive Q as above and drive R beside it, both logged whole; a directory
// of each is marked to be read again after files changed on both.
class FlaggedDisksTest : public CreatedFileTest {
  protected:
    DiskInfo* q = nullptr;
    DiskInfo* r = nullptr;

    void SetUp() override {
        CreatedFileTest::SetUp();
        dir.Write("r/x/x1", "12");
        ASSERT_EQ(LogDrive('r', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        qtest::DisownRecords();
        q = FindVolume('Q');
        r = FindVolume('R');
        ASSERT_TRUE(q && r);
        pdiCurrent = q;
        psiCurrent = q->psiRoot;
    }
    SubdirInfo* On(DiskInfo* disk, const char16_t* path) {
        DiskInfo* saved = pdiCurrent;
        pdiCurrent = disk;
        SubdirInfo* d = FindDirByPath(path, nullptr, TRUE);
        pdiCurrent = saved;
        return d;
    }
};

TEST_F(FlaggedDisksTest, EveryMarkedDiskIsLoggedAgainAndItsMarkCleared) {
    dir.Write("q/a/added.txt", "abcd");
    ::unlink((root + "/a/b.txt").c_str());
    dir.Write("r/x/x2", "123");
    SubdirInfo* qa = On(q, u"Q:\\a");
    SubdirInfo* rx = On(r, u"R:\\x");
    ASSERT_TRUE(qa && rx);
    qa->bRefresh = REFRESH_FILES;
    rx->bRefresh = REFRESH_FILES;
    q->bHasRefresh = 1;
    r->bHasRefresh = 1;
    gPendingRefreshCount = 3;
    RefreshFlaggedDisks(FALSE);
    EXPECT_EQ(Names(qa), (std::vector<std::string>{"added.txt", "d.txt"}));
    EXPECT_EQ(Names(rx), (std::vector<std::string>{"x1", "x2"}));
    EXPECT_EQ(q->dwFiles, 4u);
    EXPECT_EQ(r->dwFiles, 2u);
    EXPECT_EQ(q->bHasRefresh, 0);
    EXPECT_EQ(r->bHasRefresh, 0);
    EXPECT_EQ(qa->bRefresh, 0);
    EXPECT_EQ(rx->bRefresh, 0);
    EXPECT_EQ(gPendingRefreshCount, 0u);
    EXPECT_EQ(pdiCurrent, q);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(FlaggedDisksTest, UnmarkedDiskIsLeftAlone) {
    // R's directory carries a mark, but its disk was not flagged: it waits.
    dir.Write("q/a/added.txt", "abcd");
    dir.Write("r/x/x2", "123");
    SubdirInfo* qa = On(q, u"Q:\\a");
    SubdirInfo* rx = On(r, u"R:\\x");
    qa->bRefresh = REFRESH_FILES;
    rx->bRefresh = REFRESH_FILES;
    q->bHasRefresh = 1;
    RefreshFlaggedDisks(FALSE);
    EXPECT_EQ(Names(qa), (std::vector<std::string>{"added.txt", "b.txt", "d.txt"}));
    EXPECT_EQ(Names(rx), (std::vector<std::string>{"x1"}));
    EXPECT_EQ(rx->bRefresh, REFRESH_FILES);
    EXPECT_EQ(q->bHasRefresh, 0);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(FlaggedDisksTest, FileOutsideTheTreeRefreshesTheDisksThatWait) {
    // a\sub is forgotten; a file created there cannot be entered, and the
    // disk waiting for its marked directory is refreshed instead.
    SubdirInfo* qa = On(q, u"Q:\\a");
    SubdirInfo* sub = On(q, u"Q:\\a\\sub");
    ASSERT_TRUE(qa && sub);
    UncountBranch(sub, TRUE);
    dir.Write("q/a/sub/t", "t");
    dir.Write("q/a/added.txt", "abcd");
    qa->bRefresh = REFRESH_FILES;
    q->bHasRefresh = 1;
    EXPECT_EQ(AddCreatedFileEntry(u"Q:\\a\\sub\\t"), 0);
    EXPECT_EQ(Names(qa), (std::vector<std::string>{"added.txt", "b.txt", "d.txt"}));
    EXPECT_EQ(q->bHasRefresh, 0);
    EXPECT_EQ(CheckTreeText(), "");
}

} // namespace
