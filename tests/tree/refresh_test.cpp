// Keeping the tree current: changes made on disk after a log are brought
// into the tree by marking, refreshing, re-reading subdirectories and the
// branch worker, and the result is compared with a fresh log of the same
// disk; tags survive by exact name; directories are added by path, removed,
// renamed, uncounted and scanned.
#include "../posix/drive_fixture.h"
#include "../support/tree_builder.h"

#include "internal/sys.h"
#include "archive/archive_state.h"
#include "main/drive_list.h"
#include "main/window_state.h"
#include "platform/dir_reading.h"
#include "platform/read_ahead.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/read_tree.h"
#include "tree/refresh.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

using qtest::CheckTreeText;
using qtest::DirsInOrder;
using qtest::NarrowText;

std::string FileName(const FileEntry* e) {
    WCHAR buffer[TREE_MAX_FULL_NAME + 2];
    GetFileDisplayName(buffer, e);
    return NarrowText(buffer);
}

// The tree of a disk as text: every directory in pre-order with its state
// and figures, its files by name with size and both panes' tag bits, and
// the disk's totals. Dates are left out: a fresh log reads the same ones.
std::string Dump(const DiskInfo* disk) {
    using std::to_string;
    std::string out = "disk files " + to_string(disk->dwFiles) + " bytes " +
                      to_string(disk->qwFileBytes) + " dirs " + to_string(disk->dwDirEntries) +
                      " tagged " + to_string(disk->dwTagFiles[0]) + "/" +
                      to_string(disk->dwTagFiles[1]) + "\n";
    for (const SubdirInfo* d : DirsInOrder(disk)) {
        out += NarrowText(d->pszFullName) + " level " + to_string(d->wLevel) + " logged " +
               to_string(d->bLogged) + " expanded " + to_string(d->bExpanded) + " children " +
               to_string(d->dwChildren) + " files " + to_string(d->dwFiles) + " bytes " +
               to_string(d->qwFileBytes) + "\n";
        std::vector<std::string> files;
        for (const FileEntry* e = d->pFiles; e && e->wszShortName[0]; e++)
            files.push_back("  " + FileName(e) + " " + to_string(e->qwSize) + " tags " +
                            to_string(e->bFlags[0] & (ENTRY_TAGGED | ENTRY_MARKED)) + "/" +
                            to_string(e->bFlags[1] & (ENTRY_TAGGED | ENTRY_MARKED)) + "\n");
        std::sort(files.begin(), files.end());
        for (const std::string& f : files) out += f;
    }
    return out;
}

FileEntry* FileNamed(SubdirInfo* dir, const std::string& name) {
    for (FileEntry* e = dir ? dir->pFiles : nullptr; e && e->wszShortName[0]; e++)
        if (FileName(e) == name) return e;
    return nullptr;
}

SubdirInfo* Dir(const char16_t* path) { return FindDirByPath(path, nullptr, TRUE); }

// A small tree on drive Q: logged whole, then changed on disk.
class RefreshTest : public DriveMapTest {
  protected:
    std::string root;

    void SetUp() override {
        root = dir.MakeDir("q");
        WriteOriginalTree();
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        WriteDrivesFile("q: " + root + "\n");
        qtest::ResetTreeState();
        gLogMode = LOG_FULL_DISK;
        gTreeNumberOrder = FALSE;
        gSettings.bAutoRefresh = 0;
        gRefreshPending = 0;
    }
    void TearDown() override {
        UiScriptEnd();
        gPickerActive = 0;
        gTreeNumberOrder = FALSE;
        gPrefetchEnabled = 1;
        qtest::FreeTrees();
        DriveMapTest::TearDown();
    }
    void WriteOriginalTree() {
        dir.Write("q/top.txt", "12345");
        dir.Write("q/a/a1", std::string(10, 'x'));
        dir.Write("q/a/a2", std::string(20, 'x'));
        dir.Write("q/a/deep/d1", "1");
        dir.Write("q/b/b1", "bb");
        dir.Write("q/c/only", "abc");
    }
    std::string P(const std::string& rel) { return root + "/" + rel; }
    void LogQ() {
        ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        ASSERT_TRUE(pdiCurrent);
        gLogMode = LOG_FULL_DISK;
    }
    // The dump of a fresh log of Q in place of the current tree.
    std::string FreshDump() {
        qtest::FreeTrees();
        qtest::ResetTreeState();
        gLogMode = LOG_FULL_DISK;
        EXPECT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        return pdiCurrent ? Dump(pdiCurrent) : std::string("no disk");
    }
};

// Directories added, removed and renamed, files added, deleted and resized:
// after the marks and the branch re-read the tree is what a fresh log gives,
// with read-ahead on and off (its workers run beside the re-read), and with
// the changes marked for later or refreshed at once.
TEST_F(RefreshTest, ChangesOnDiskEndAsAFreshLogConcurrency) {
    struct Case {
        const char* what;
        DWORD readAhead;
        BOOL immediate;
    };
    const Case cases[] = {
        {"read-ahead on, marked for later", 1, FALSE},
        {"read-ahead off, marked for later", 0, FALSE},
        {"read-ahead on, refreshed at once", 1, TRUE},
        {"read-ahead off, refreshed at once", 0, TRUE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Each case starts from the original tree.
        std::system(("rm -rf '" + root + "' && mkdir -p '" + root + "'").c_str());
        WriteOriginalTree();
        // Enough logged directories for the branch re-read to read ahead.
        for (int i = 0; i < 16; i++) dir.Write("q/p/p" + std::to_string(i) + "/f", "p");
        qtest::FreeTrees();
        qtest::ResetTreeState();
        gPrefetchEnabled = c.readAhead;
        LogQ();
        ASSERT_EQ(CheckTreeText(), "");

        // 20 new directories make the branch large enough for read-ahead.
        for (int i = 0; i < 20; i++) dir.Write("q/new/n" + std::to_string(i) + "/f", "12");
        std::system(("rm -rf '" + P("b") + "'").c_str());
        ASSERT_EQ(::rename(P("c").c_str(), P("c2").c_str()), 0);
        dir.Write("q/a/a3", "333");
        ASSERT_EQ(::unlink(P("a/a1").c_str()), 0);
        dir.Write("q/a/a2", std::string(50, 'y'));
        dir.Write("q/a/deep/sub/s", "s");
        dir.Write("q/root_new.txt", "rootnew");

        for (const char16_t* changed : {u"Q:\\", u"Q:\\a", u"Q:\\a\\deep"})
            MarkDirForRefresh(u"Q:\\", changed, c.immediate);
        EXPECT_EQ(CheckTreeText(), "");
        if (!c.immediate) {
            EXPECT_EQ(gRefreshPending, 1u);
            EXPECT_EQ(pdiCurrent->bHasRefresh, 1);
            EXPECT_EQ(Dir(u"Q:\\a")->bRefresh & REFRESH_FILES, REFRESH_FILES);
        }
        PrefetchCountersReset();
        ASSERT_EQ(qioReadNewDir(pdiCurrent->psiRoot, TRUE, FALSE), 1);
        EXPECT_EQ(gPrefetchCounters.queued.load() > 0, c.readAhead != 0) << "read ahead as switched";
        EXPECT_EQ(PrefetchActive.load(), 0u) << "read-ahead ends with the re-read";
        EXPECT_EQ(CheckTreeText(), "");
        ASSERT_EQ(LogBranchWorker(pdiCurrent->psiRoot, TRUE, FALSE, FALSE), 1);
        EXPECT_EQ(CheckTreeText(), "");
        const std::string refreshed = Dump(pdiCurrent);
        EXPECT_EQ(refreshed, FreshDump());
    }
}

// The branch worker by mark: 4 sorts again, 2 is only cleared, 1 reads the
// files again; unmarked directories are read only when a key may stop the
// walk, and a key already pressed stops it before anything is read.
TEST_F(RefreshTest, BranchWorkerByMark) {
    struct Case {
        const char* what;
        BYTE mark;
        BOOL stopOnKey;
        DWORD interrupt;
        DWORD files; // of Q:\a after the walk (2 logged, 3 on disk)
    };
    const Case cases[] = {
        {"files mark reads again", REFRESH_FILES, FALSE, 0, 3},
        {"added mark is only cleared", REFRESH_ADDED, FALSE, 0, 2},
        {"resort mark sorts only", REFRESH_RESORT, FALSE, 0, 2},
        {"no mark: not read", 0, FALSE, 0, 2},
        {"no mark, stop on key: read", 0, TRUE, 0, 3},
        {"key pressed: the walk stops at once", REFRESH_FILES, TRUE, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(P("a/a3").c_str());
        qtest::FreeTrees();
        qtest::ResetTreeState();
        LogQ();
        dir.Write("q/a/a3", "333");
        SubdirInfo* a = Dir(u"Q:\\a");
        a->bRefresh = c.mark;
        gInterruptRequested = c.interrupt;
        EXPECT_EQ(LogBranchWorker(a, TRUE, FALSE, c.stopOnKey), 1);
        gInterruptRequested = 0;
        EXPECT_EQ(a->dwFiles, c.files);
        EXPECT_EQ(a->bRefresh, c.interrupt ? c.mark : 0);
        EXPECT_EQ(gLogMode, LOG_FULL_DISK) << "the log mode is put back";
        EXPECT_EQ(CheckTreeText(), "");
    }
}

// Marks on another disk go to its deepest logged directory as the setting
// allows; a refresh at once reads it again; pdiCurrent is put back on
// every path.
TEST_F(RefreshTest, MarksOnAnotherDisk) {
    const std::string other = dir.MakeDir("r");
    dir.Write("r/x/f1", "1");
    WriteDrivesFile("q: " + root + "\nr: " + other + "\n");
    ASSERT_EQ(LogDrive('R', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    DiskInfo* r = pdiCurrent;
    LogQ();
    DiskInfo* q = pdiCurrent;
    ASSERT_NE(q, r);
    SubdirInfo* x = FindDirByPathAnyDisk(u"R:\\x", nullptr, TRUE);
    ASSERT_TRUE(x);

    struct Case {
        const char* what;
        BYTE setting;
        const char16_t* path;
        BYTE marked;
    };
    const Case cases[] = {
        {"always: deepest logged directory marked", 0, u"R:\\x\\not\\there", REFRESH_FILES},
        {"after a write: marked", 2, u"R:\\x", REFRESH_FILES},
        {"No: not marked", 1, u"R:\\x", 0},
        {"a letter not logged", 0, u"S:\\x", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        x->bRefresh = 0;
        r->bHasRefresh = 0;
        gSettings.bAutoRefresh = c.setting;
        MarkDirForRefresh(u"Q:\\", c.path, FALSE);
        EXPECT_EQ(x->bRefresh, c.marked);
        EXPECT_EQ(r->bHasRefresh, c.marked ? 1 : 0);
        EXPECT_EQ(pdiCurrent, q);
    }
    gSettings.bAutoRefresh = 0;
    x->bRefresh = 0;

    dir.Write("r/x/f2", "22");
    MarkDirForRefresh(u"Q:\\", u"R:\\x", TRUE);
    EXPECT_EQ(pdiCurrent, q);
    EXPECT_EQ(x->dwFiles, 2u);
    EXPECT_EQ(r->dwFiles, 2u);
    EXPECT_EQ(x->bRefresh, 0) << "the branch worker read it";
    EXPECT_EQ(CheckTreeText(), "");

    // A file's directory is marked unless it is the current directory.
    MarkParentForRefresh(u"R:\\x\\f2");
    EXPECT_EQ(x->bRefresh, REFRESH_FILES);
    SubdirInfo* a = Dir(u"Q:\\a");
    MarkParentForRefresh(u"Q:\\a\\a1");
    EXPECT_EQ(a->bRefresh, REFRESH_FILES);
    a->bRefresh = 0;
    psiCurrent = a;
    MarkParentForRefresh(u"Q:\\a\\a1");
    EXPECT_EQ(a->bRefresh, 0);
    EXPECT_EQ(pdiCurrent, q);
}

// A tag goes back only to the entry of exactly its name: "a.txt" tagged
// beside "A.TXT" untagged stays so after a refresh; the pane's current
// entry is found exactly first, then without case; the counters equal a
// recount.
TEST_F(RefreshTest, TagsComeBackByExactName) {
    dir.Write("q/t/a.txt", "1");
    dir.Write("q/t/A.TXT", "22");
    dir.Write("q/t/gone.txt", "333");
    dir.Write("q/t/Cur.txt", "4444");
    LogQ();
    SubdirInfo* t = Dir(u"Q:\\t");
    ASSERT_TRUE(t);
    FileEntry* lower = FileNamed(t, "a.txt");
    ASSERT_TRUE(lower && FileNamed(t, "A.TXT"));
    lower->bFlags[0] |= ENTRY_TAGGED | ENTRY_MARKED;
    FileNamed(t, "gone.txt")->bFlags[0] |= ENTRY_TAGGED | ENTRY_MARKED;
    qtest::RecountTrees();
    gPaneCurrentEntry[0] = FileNamed(t, "Cur.txt");
    ASSERT_EQ(CheckTreeText(), "");

    ASSERT_EQ(::unlink(P("t/gone.txt").c_str()), 0);
    ASSERT_EQ(::rename(P("t/Cur.txt").c_str(), P("t/CUR.TXT").c_str()), 0);
    ASSERT_EQ(RefreshDirFiles(t, TRUE, FALSE), 1);

    struct Row {
        const char* name;
        BYTE tags;
    };
    const Row rows[] = {{"a.txt", ENTRY_TAGGED | ENTRY_MARKED}, {"A.TXT", 0}, {"CUR.TXT", 0}};
    for (const Row& r : rows) {
        FileEntry* e = FileNamed(t, r.name);
        ASSERT_TRUE(e) << r.name;
        EXPECT_EQ(e->bFlags[0] & (ENTRY_TAGGED | ENTRY_MARKED), r.tags) << r.name;
    }
    EXPECT_EQ(FileNamed(t, "gone.txt"), nullptr);
    EXPECT_EQ(t->dwTagFiles[0], 1u);
    EXPECT_EQ(t->qwTagBytes[0], 1u);
    EXPECT_EQ(pdiCurrent->dwTagFiles[0], 1u);
    EXPECT_EQ(gPaneCurrentEntry[0], FileNamed(t, "CUR.TXT"));
    EXPECT_EQ(CheckTreeText(), "");

    // With the file window open on the directory its list is built again:
    // the list holds the files read, and its tag figure is the directory's.
    psiCurrent = t;
    gPanes[0].FileWindowOpen = 1;
    ASSERT_EQ(RefreshDirFiles(t, TRUE, FALSE), 1);
    EXPECT_EQ(gFMax, 3u);
    EXPECT_EQ(gFTagged, 1u);
    gPanes[0].FileWindowOpen = 0;
    EXPECT_EQ(CheckTreeText(), "");

    // Without restore nothing is tagged again.
    ASSERT_EQ(RefreshDirFiles(t, FALSE, FALSE), 1);
    EXPECT_EQ(FileNamed(t, "a.txt")->bFlags[0] & ENTRY_TAGGED, 0);
    EXPECT_EQ(CheckTreeText(), "");
}

// The current entry prefers the exact name over one equal but for case.
TEST_F(RefreshTest, CurrentEntryPrefersTheExactName) {
    dir.Write("q/t/x.txt", "1");
    dir.Write("q/t/X.TXT", "2");
    LogQ();
    SubdirInfo* t = Dir(u"Q:\\t");
    for (const char* name : {"x.txt", "X.TXT"}) {
        gPaneCurrentEntry[0] = FileNamed(t, name);
        ASSERT_EQ(RefreshDirFiles(t, TRUE, FALSE), 1);
        ASSERT_TRUE(gPaneCurrentEntry[0]);
        EXPECT_EQ(FileName(gPaneCurrentEntry[0]), name);
    }
}

// A directory whose name changed only in case keeps its record, and the
// paths below it follow.
TEST_F(RefreshTest, CaseRenameReachesDescendants) {
    LogQ();
    SubdirInfo* a = Dir(u"Q:\\a");
    ASSERT_EQ(::rename(P("a").c_str(), P("A").c_str()), 0);
    EXPECT_EQ(qioReadNewDir(pdiCurrent->psiRoot, TRUE, FALSE), 1);
    EXPECT_EQ(Dir(u"Q:\\A"), a) << "the same record";
    SubdirInfo* deep = Dir(u"Q:\\A\\deep");
    ASSERT_TRUE(deep);
    EXPECT_EQ(NarrowText(deep->pszFullName), "Q:\\A\\deep");
    EXPECT_EQ(deep->dwFiles, 1u);
    EXPECT_EQ(RefreshDirFiles(deep, TRUE, FALSE), 1) << "its path is readable";
    EXPECT_EQ(deep->dwFiles, 1u);
    EXPECT_EQ(CheckTreeText(), "");
}

// Two directories whose names differ only in case are two directories: a
// new "X" beside a logged "x" is added, and "x" keeps its name.
TEST_F(RefreshTest, NamesDifferingInCaseStayApart) {
    dir.MakeDir("q/x");
    LogQ();
    SubdirInfo* x = Dir(u"Q:\\x");
    ASSERT_TRUE(x);
    dir.MakeDir("q/X");
    EXPECT_EQ(qioRereadDir(pdiCurrent->psiRoot, FALSE), 1);
    EXPECT_EQ(Dir(u"Q:\\x"), x);
    EXPECT_EQ(NarrowText(x->pszName), "x");
    SubdirInfo* upper = Dir(u"Q:\\X");
    ASSERT_TRUE(upper);
    EXPECT_NE(upper, x);
    EXPECT_EQ(CheckTreeText(), "");
}

// qioRereadDir: 1 when the children changed, 0 when nothing changed or the
// directory is gone (its children then leave the tree), -1 when the error
// dialog is cancelled; under the directory picker nothing is removed.
TEST_F(RefreshTest, RereadDirResults) {
    LogQ();
    SubdirInfo* a = Dir(u"Q:\\a");
    ASSERT_TRUE(a);
    EXPECT_EQ(qioRereadDir(a, FALSE), 0) << "nothing changed";

    dir.MakeDir("q/a/fresh");
    EXPECT_EQ(qioRereadDir(a, FALSE), 1) << "one added";
    SubdirInfo* fresh = Dir(u"Q:\\a\\fresh");
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->bLogged, 0);
    EXPECT_EQ(fresh->bFlags[0] & ENTRY_MATCHES, ENTRY_MATCHES);
    EXPECT_EQ(CheckTreeText(), "");

    ASSERT_EQ(::rmdir(P("a/fresh").c_str()), 0);
    gPickerActive = 1;
    EXPECT_EQ(qioRereadDir(a, FALSE), 0) << "the picker removes nothing";
    EXPECT_TRUE(Dir(u"Q:\\a\\fresh"));
    gPickerActive = 0;
    EXPECT_EQ(qioRereadDir(a, FALSE), 1) << "one removed";
    EXPECT_FALSE(Dir(u"Q:\\a\\fresh"));
    EXPECT_EQ(CheckTreeText(), "");

    // A branch re-read with the child run rebuilt leaves a sound tree.
    dir.MakeDir("q/a/deep/later");
    EXPECT_EQ(qioReadNewDir(a, TRUE, TRUE), 1);
    EXPECT_TRUE(Dir(u"Q:\\a\\deep\\later"));
    EXPECT_EQ(CheckTreeText(), "");

    const DWORD dirsBefore = pdiCurrent->dwDirEntries;
    DWORD below = 0;
    for (SubdirInfo* d : DirsInOrder(pdiCurrent))
        if (d->wLevel > 1 && d->pszFullName[3] == u'a' && d->pszFullName[4] == u'\\') below++;
    ASSERT_EQ(below, 2u) << "deep and deep\\later";
    std::system(("rm -rf '" + P("a") + "'").c_str());
    EXPECT_EQ(qioRereadDir(a, FALSE), 0) << "gone";
    EXPECT_FALSE(Dir(u"Q:\\a\\deep"));
    EXPECT_EQ(pdiCurrent->dwDirEntries, dirsBefore - below);
    EXPECT_EQ(CheckTreeText(), "");
}

// A read error other than gone or denied asks the error dialog without the
// Skip choice: retry reads again, any other answer cancels; after "Skip
// same error" the directory is passed over without a question.
TEST_F(RefreshTest, RereadDirErrors) {
    LogQ();
    SubdirInfo* a = Dir(u"Q:\\a");
    ASSERT_TRUE(a);
    struct Case {
        const char* what;
        DWORD answerBefore;
        int key;
        int result;
        size_t questions;
    };
    const Case cases[] = {
        {"retry reads again", 0, 'R', 0, 1},
        {"Esc cancels", 0, 27, -1, 1},
        {"skip same error", ErrChoiceSkip, 27, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gErrorAnswer = c.answerBefore;
        QSysInjectFault(QSYS_OPEN, 1, EIO);
        UiScriptAnswers({c.key});
        EXPECT_EQ(qioRereadDir(a, FALSE), c.result);
        QSysClearFaults();
        ASSERT_EQ(UiQuestionsAsked().size(), c.questions);
        if (c.questions) {
            EXPECT_STREQ(UiQuestionsAsked()[0].kind, "ErrorDialog");
            EXPECT_EQ(UiQuestionsAsked()[0].allowSkip, 0u);
            EXPECT_EQ(UiQuestionsAsked()[0].drive, 'Q');
        }
        UiScriptEnd();
        EXPECT_TRUE(Dir(u"Q:\\a\\deep")) << "a failed read removes nothing";
    }
    gErrorAnswer = 0;
}

// Above 1000 children the lookup bisects; with the tree in number order
// (d2 before d10) the result must be that of the list walk: every child
// found, none removed and added again.
TEST_F(RefreshTest, ManyChildrenInNumberOrderAreAllFound) {
    for (int count : {1000, 1001}) {
        SCOPED_TRACE(count);
        std::system(("rm -rf '" + P("many") + "'").c_str());
        for (int i = 1; i <= count; i++) dir.MakeDir("q/many/d" + std::to_string(i));
        qtest::FreeTrees();
        qtest::ResetTreeState();
        gTreeNumberOrder = TRUE;
        LogQ();
        SubdirInfo* many = Dir(u"Q:\\many");
        ASSERT_TRUE(many);
        ASSERT_EQ(many->dwChildren, DWORD(count));
        std::set<SubdirInfo*> before;
        for (SubdirInfo* d : DirsInOrder(pdiCurrent))
            if (d->psiParent == many) before.insert(d);

        EXPECT_EQ(qioRereadDir(many, FALSE), 0);
        std::set<SubdirInfo*> after;
        for (SubdirInfo* d : DirsInOrder(pdiCurrent))
            if (d->psiParent == many) after.insert(d);
        EXPECT_EQ(after, before) << "the same records stay";
        EXPECT_EQ(many->dwChildren, DWORD(count));
        EXPECT_EQ(CheckTreeText(), "");
    }
}

// AddDirByPath of Q:\x\y\z with only the root logged creates all three and
// adds each in sort order; an existing directory gives -1; a file in the
// way 123; a UNC path without server and share 161.
TEST_F(RefreshTest, AddDirByPath) {
    dir.MakeDir("q/x0");
    dir.MakeDir("q/xz");
    dir.Write("q/file", "f");
    gLogMode = LOG_ROOT_ONLY;
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    gLogMode = LOG_FULL_DISK;
    ASSERT_EQ(AddDirByPath(u"Q:\\", u"x\\y\\z", FALSE), 0);
    struct stat st;
    EXPECT_EQ(::stat(P("x/y/z").c_str(), &st), 0);
    for (const char16_t* p : {u"Q:\\x", u"Q:\\x\\y", u"Q:\\x\\y\\z"}) EXPECT_TRUE(Dir(p)) << NarrowText(p);
    std::vector<std::string> order;
    for (SubdirInfo* d : DirsInOrder(pdiCurrent)) order.push_back(NarrowText(d->pszFullName));
    const std::vector<std::string> expected = {"Q:\\",      "Q:\\a",        "Q:\\b",
                                               "Q:\\c",     "Q:\\x",        "Q:\\x\\y",
                                               "Q:\\x\\y\\z", "Q:\\x0",       "Q:\\xz"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(CheckTreeText(), "");

    struct Case {
        const char* what;
        const char16_t* path;
        const char16_t* name;
        int result;
    };
    const Case cases[] = {
        {"existing directory", u"Q:\\x", u"y", -1},
        {"existing, trailing backslash", u"Q:\\x\\y\\", nullptr, -1},
        {"a file in the way", u"Q:\\", u"file", 123},
        {"a file in the way of a component", u"Q:\\file", u"sub", 123},
        {"UNC without a share", u"\\\\server", nullptr, 161},
        {"UNC with an empty server", u"\\\\\\share", nullptr, 161},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AddDirByPath(c.path, c.name, FALSE), c.result) << c.what;

    // markNew on an existing directory marks it as added by the program.
    EXPECT_EQ(AddDirByPath(u"Q:\\x", u"y", TRUE), -1);
    EXPECT_EQ(Dir(u"Q:\\x\\y")->bRefresh, REFRESH_ADDED);
    EXPECT_EQ(pdiCurrent->bHasRefresh, 1);
    EXPECT_EQ(CheckTreeText(), "");
}

// A directory that was on disk before it is added stays not logged; one made
// here is logged (it has no files).
TEST_F(RefreshTest, AddDirByPathKeepsExistingDirectoriesUnlogged) {
    LogQ();
    ASSERT_EQ(::mkdir(P("a/old").c_str(), 0755), 0);
    dir.Write("q/a/old/f", "1");
    ASSERT_EQ(AddDirByPath(u"Q:\\a\\old", u"new", FALSE), 0);
    EXPECT_EQ(Dir(u"Q:\\a\\old")->bLogged, 0);
    EXPECT_EQ(Dir(u"Q:\\a\\old\\new"), nullptr) << "its parent is neither logged nor expanded";
    EXPECT_EQ(CheckTreeText(), "");
}

// Hand-built trees for the record operations.
class RefreshRecordsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtest::ResetTreeState();
        gSettings.bAutoRefresh = 0;
    }
    void TearDown() override {
        gArchiveTreeActive = FALSE;
        gArchiveRefreshPending = FALSE;
        qtest::FreeTrees();
    }
};

TEST_F(RefreshRecordsTest, FixDescendantPathsAfterARename) {
    DiskInfo* disk = qtest::BuildTree('X', u"a\\c\\d\\ a\\c\\f.txt=5 a\\e\\ b2\\");
    pdiCurrent = disk;
    SubdirInfo* a = Dir(u"X:\\a");
    ASSERT_TRUE(a);
    // The rename itself: a's own names, then those below it.
    std::free(a->pszFullName);
    a->pszFullName = static_cast<WCHAR*>(std::malloc(5 * sizeof(WCHAR)));
    std::copy_n(u"X:\\b", 5, a->pszFullName);
    a->pszName = a->pszFullName + 3;
    FixDescendantPaths(u"X:\\a", u"X:\\b", a);
    struct Row {
        const char16_t* path;
        const char* name;
    };
    for (const Row& r : {Row{u"X:\\b\\c", "c"}, Row{u"X:\\b\\c\\d", "d"}, Row{u"X:\\b\\e", "e"}}) {
        SubdirInfo* d = FindDirByPath(r.path, nullptr, TRUE);
        ASSERT_TRUE(d) << NarrowText(r.path);
        EXPECT_EQ(NarrowText(d->pszName), r.name);
    }
    EXPECT_TRUE(Dir(u"X:\\b2")) << "the directory after the branch keeps its name";
}

TEST_F(RefreshRecordsTest, RemoveDirRecordKeepsTheBooks) {
    DiskInfo* disk = qtest::BuildTree('X', u"a\\f=10 b\\c\\g=20 b\\h=1 d\\");
    qtest::DisownRecords();
    pdiCurrent = disk;
    SubdirInfo* b = Dir(u"X:\\b");
    SubdirInfo* root = disk->psiRoot;
    const DWORD dirs = disk->dwDirEntries;
    EXPECT_EQ(RemoveDirRecord(b, FindTreePredecessor(b), TRUE), 1);
    EXPECT_FALSE(Dir(u"X:\\b"));
    EXPECT_FALSE(Dir(u"X:\\b\\c"));
    EXPECT_EQ(disk->dwDirEntries, dirs - 2);
    EXPECT_EQ(disk->dwFiles, 1u);
    EXPECT_EQ(disk->qwFileBytes, 10u);
    EXPECT_EQ(root->dwChildren, 2u);
    EXPECT_EQ(root->bChanged, 1);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(RefreshRecordsTest, UncountBranch) {
    struct Case {
        const char* what;
        BOOL whole;
        DWORD files;
        ULONGLONG bytes;
        BYTE deepLogged;
    };
    const Case cases[] = {{"the directory alone", FALSE, 2, 21, 1}, {"the whole branch", TRUE, 1, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qtest::FreeTrees();
        DiskInfo* disk = qtest::BuildTree('X', u"b\\f=10#3 b\\c\\g=20 h=1");
        qtest::DisownRecords();
        pdiCurrent = disk;
        SubdirInfo* b = Dir(u"X:\\b");
        UncountBranch(b, c.whole);
        EXPECT_EQ(b->bLogged, 0);
        EXPECT_EQ(b->pFiles, nullptr);
        EXPECT_EQ(b->dwTagFiles[0], 0u);
        EXPECT_EQ(disk->dwFiles, c.files);
        EXPECT_EQ(disk->qwFileBytes, c.bytes);
        EXPECT_EQ(disk->dwTagFiles[0], 0u);
        EXPECT_EQ(Dir(u"X:\\b\\c")->bLogged, c.deepLogged);
    }
}

TEST_F(RefreshRecordsTest, ScanBranchFlags) {
    struct Case {
        const char* what;
        const char16_t* tree;
        const char16_t* scanned;
        int mode;
        void (*change)();
        DWORD result;
    };
    auto readOnlyFile = [] { Dir(u"X:\\b")->pFiles[0].wAttributes = FILE_ATTRIBUTE_READONLY; };
    auto hiddenDir = [] { Dir(u"X:\\b\\c")->wAttributes = FILE_ATTRIBUTE_HIDDEN; };
    auto both = [] {
        Dir(u"X:\\b")->pFiles[0].wAttributes = FILE_ATTRIBUTE_READONLY;
        Dir(u"X:\\b\\c")->wAttributes = FILE_ATTRIBUTE_SYSTEM;
    };
    auto unlogged = [] { Dir(u"X:\\b\\c")->bLogged = 0; };
    auto changed = [] { Dir(u"X:\\b\\c")->bChanged = 1; };
    auto none = [] {};
    auto volumeInfo = [] { qtest::BuildDir(pdiCurrent, u"b\\c\\System Volume Information"); };
    const Case cases[] = {
        {"plain", u"b\\f=1 b\\c\\g=2", u"X:\\b", 0, none, 0},
        {"read-only file", u"b\\f=1 b\\c\\g=2", u"X:\\b", 0, readOnlyFile, SCAN_READ_ONLY},
        {"read-only not counted in mode 1", u"b\\f=1 b\\c\\g=2", u"X:\\b", 1, readOnlyFile, 0},
        {"hidden directory", u"b\\f=1 b\\c\\g=2", u"X:\\b", 0, hiddenDir, SCAN_HIDDEN_SYSTEM},
        {"hidden not counted in mode 2", u"b\\f=1 b\\c\\g=2", u"X:\\b", 2, hiddenDir, 0},
        {"hidden not counted in mode 3", u"b\\f=1 b\\c\\g=2", u"X:\\b", 3, hiddenDir, 0},
        {"both", u"b\\f=1 b\\c\\g=2", u"X:\\b", 0, both, SCAN_READ_ONLY | SCAN_HIDDEN_SYSTEM},
        {"unlogged", u"b\\f=1 b\\c\\g=2", u"X:\\b", 0, unlogged, SCAN_UNLOGGED},
        {"changed", u"b\\f=1 b\\c\\g=2", u"X:\\b", 0, changed, SCAN_UNLOGGED},
        {"system volume information", u"b\\f=1 b\\c\\g=2", u"X:\\b", 0, volumeInfo,
         SCAN_SYSTEM_VOLUME_INFO},
        {"outside the branch counts not", u"b\\f=1 b\\c\\g=2 z\\", u"X:\\z", 0, both, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qtest::FreeTrees();
        pdiCurrent = qtest::BuildTree('X', c.tree);
        c.change();
        EXPECT_EQ(ScanBranchFlags(FALSE, Dir(c.scanned), c.mode), c.result);
        EXPECT_EQ(CheckTreeText(), "");
    }
}

// An archive tree has no drive letter: marks find the directory by its
// whole name, and a change inside the archive's own path asks for a reload
// unless the setting says "No".
TEST_F(RefreshRecordsTest, ArchiveTreeMarks) {
    struct Case {
        const char* what;
        BYTE setting;
        const char16_t* path;
        BYTE marked;
        BOOL reload;
    };
    const Case cases[] = {
        {"inside, always", 0, u"arc.zip\\sub", REFRESH_FILES, TRUE},
        {"inside, setting No", 1, u"arc.zip\\sub", REFRESH_FILES, FALSE},
        {"elsewhere", 0, u"other\\sub", 0, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qtest::FreeTrees();
        DiskInfo* disk = qtest::BuildDisk('\0', u"arc.zip");
        qtest::BuildDir(disk, u"sub");
        pdiCurrent = disk;
        gArchiveTreeActive = TRUE;
        gArchiveRefreshPending = FALSE;
        gSettings.bAutoRefresh = c.setting;
        MarkDirForRefresh(u"arc.zip", c.path, FALSE);
        SubdirInfo* sub = FindDirByPath(u"arc.zip\\sub", nullptr, TRUE);
        ASSERT_TRUE(sub);
        EXPECT_EQ(sub->bRefresh, c.marked);
        EXPECT_EQ(gArchiveRefreshPending, c.reload);
        EXPECT_EQ(pdiCurrent, disk);
        EXPECT_EQ(CheckTreeText(), "");
    }
}

} // namespace
