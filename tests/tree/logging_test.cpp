// Logging disks, branches and paths from real directories: what each log
// mode reads, the depth limit, the never-log list, links and mount points,
// the answers to the log-option question and the error dialog, and the
// volume facts of fixed and removable drives.
#include "../posix/drive_fixture.h"
#include "../support/tree_builder.h"
#include "../support/tree_fixture.h"

#include "internal/sys.h"
#include "main/drive_list.h"
#include "main/tree_window.h"
#include "main/window_state.h"
#include "platform/read_ahead.h"
#include "settings/nolog.h"
#include "settings/settings.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/read_tree.h"
#include "tree/tree_records.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

namespace {

using qtest::CheckTreeText;
using qtest::DirsInOrder;

// What the tree holds of one directory, for comparing with expectations.
struct DirState {
    DWORD level;
    BYTE logged;
    BYTE expanded;
    DWORD files;
    bool operator==(const DirState&) const = default;
};

std::string Name(const SubdirInfo* d) {
    return d->wLevel ? qtest::NarrowText(d->pszFullName + 3) : "";
}

std::map<std::string, DirState> TreeStates(const DiskInfo* disk) {
    std::map<std::string, DirState> out;
    for (SubdirInfo* d : DirsInOrder(disk))
        out[Name(d)] = {d->wLevel, d->bLogged, d->bExpanded, d->dwFiles};
    return out;
}

std::ostream& operator<<(std::ostream& os, const DirState& s) {
    return os << "{level " << s.level << " logged " << int(s.logged) << " expanded "
              << int(s.expanded) << " files " << s.files << "}";
}

// A small tree on drive Q: files of known sizes, an empty directory, a
// hidden one, a link to a directory and three levels of depth.
class LogTest : public DriveMapTest {
  protected:
    std::string root;

    void SetUp() override {
        root = dir.MakeDir("q");
        dir.Write("q/top.txt", "12345");
        dir.Write("q/a/a1", std::string(10, 'x'));
        dir.Write("q/a/a2", std::string(20, 'x'));
        dir.Write("q/a/deep/d1", "1");
        dir.Write("q/a/deep/deeper/e1", "12");
        dir.MakeDir("q/b");
        dir.Write("q/c/only", "abc");
        dir.Write("q/.hid/h", "h");
        ASSERT_EQ(::symlink((root + "/a").c_str(), (root + "/link").c_str()), 0);
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        WriteDrivesFile("q: " + root + "\n");
        qtest::ResetTreeState();
        gLogMode = LOG_FULL_DISK;
    }
    void TearDown() override {
        UiScriptEnd();
        ReadTreeInterruptAfterForTest(0);
        QSysClearFaults();
        NoLogListFree(&gNoLogList);
        gLogDepthLimit = LOG_NO_DEPTH_LIMIT;
        qtest::FreeTrees();
        DriveMapTest::TearDown();
    }
};

TEST_F(LogTest, EachModeReadsWhatItsTableSays) {
    struct Case {
        WORD mode;
        DWORD prefetch;
        std::map<std::string, DirState> expected;
    };
    // Level, logged, expanded, files; the root's files are read in modes 0
    // and 2 only.
    const std::map<std::string, DirState> full = {
        {"", {0, 1, 1, 1}},         {"a", {1, 1, 1, 2}},        {"a\\deep", {2, 1, 1, 1}},
        {"a\\deep\\deeper", {3, 1, 1, 1}}, {"b", {1, 1, 1, 0}}, {"c", {1, 1, 1, 1}},
        {".hid", {1, 1, 1, 1}},     {"link", {1, 0, 0, 0}},
    };
    const std::map<std::string, DirState> treeOnly = {
        {"", {0, 0, 1, 0}},         {"a", {1, 0, 1, 0}},        {"a\\deep", {2, 0, 1, 0}},
        {"a\\deep\\deeper", {3, 0, 1, 0}}, {"b", {1, 0, 1, 0}}, {"c", {1, 0, 1, 0}},
        {".hid", {1, 0, 1, 0}},     {"link", {1, 0, 0, 0}},
    };
    const std::map<std::string, DirState> rootOnly = {
        {"", {0, 1, 1, 1}}, {"a", {1, 0, 0, 0}},    {"b", {1, 0, 0, 0}},
        {"c", {1, 0, 0, 0}}, {".hid", {1, 0, 0, 0}}, {"link", {1, 0, 0, 0}},
    };
    const Case cases[] = {
        {LOG_FULL_DISK, 1, full}, {LOG_FULL_DISK, 0, full},   {LOG_TREE_ONLY, 1, treeOnly},
        {LOG_TREE_ONLY, 0, treeOnly}, {LOG_ROOT_ONLY, 1, rootOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " read-ahead " + std::to_string(c.prefetch));
        qtest::ResetTreeState();
        gLogMode = c.mode;
        gPrefetchEnabled = c.prefetch;
        ASSERT_EQ(LogDrive('q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        ASSERT_TRUE(pdiCurrent);
        EXPECT_EQ(pdiCurrent->cDrive, 'Q');
        EXPECT_EQ(TreeStates(pdiCurrent), c.expected);
        EXPECT_EQ(CheckTreeText(), "");
        EXPECT_EQ(gLogMode, c.mode) << "the caller's mode is put back";
        EXPECT_EQ(gReadAheadActive, 0u);
        EXPECT_EQ(PrefetchActive.load(), 0u) << "read-ahead ends with the log";
        EXPECT_EQ(pdiCurrent->dwDirEntries, c.expected.size());
        qtest::FreeTrees();
    }
}

TEST_F(LogTest, FullLogCountsFilesBytesAndTheCurrentDirectory) {
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    DiskInfo* disk = pdiCurrent;
    EXPECT_EQ(disk->dwFiles, 7u);
    EXPECT_EQ(disk->qwFileBytes, 5u + 10 + 20 + 1 + 2 + 3 + 1);
    EXPECT_EQ(disk->dwMatchFiles[0], 7u);
    EXPECT_EQ(psiCurrent, disk->psiRoot);
    EXPECT_EQ(std::u16string(disk->wszSavedPath[0]), u"Q:\\");
    // Two files are sorted by name; the order of the read is kept in wIndex.
    SubdirInfo* a = FindDirByPath(u"Q:\\a", nullptr, TRUE);
    ASSERT_TRUE(a);
    ASSERT_EQ(a->dwFiles, 2u);
    EXPECT_EQ(std::u16string(a->pFiles[0].wszShortName).substr(0, 2), u"a1");
    EXPECT_EQ(a->pFiles[2].wszShortName[0], 0) << "the end record follows";
    EXPECT_NE(a->pFiles[0].wIndex, a->pFiles[1].wIndex);
}

TEST_F(LogTest, EachDirectoryIsListedOnce) {
    // The read of a directory's files brings its subdirectories along; the
    // tree reader takes those instead of listing the directory again. Every
    // listing the walk asks for is counted by read-ahead.
    for (WORD mode : {LOG_FULL_DISK, LOG_TREE_ONLY}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        qtest::ResetTreeState();
        gLogMode = mode;
        PrefetchCountersReset();
        ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        const PrefetchCounters& c = gPrefetchCounters;
        const ULONGLONG listings = c.served + c.waited + c.takenFromQueue + c.readDirectly;
        // Every directory but the link, which is never entered; in mode 1
        // the root's files are not read, so it is listed by the tree reader
        // alone too.
        EXPECT_EQ(listings, pdiCurrent->dwDirEntries - 1);
        qtest::FreeTrees();
    }
}

TEST_F(LogTest, TooLongAPathIsRefusedThroughTheErrorDialog) {
    // Directories nested until the full name passes 1024 units: the
    // directory whose name is too long is shown but not read.
    std::string rel = "q/long";
    const std::string part(200, 'n');
    for (int i = 0; i < 6; i++) rel += "/" + part + std::to_string(i);
    dir.Write(rel + "/f", "x");
    // Skip passes over the directory; any other answer ends the log as
    // partial logging does, keeping what was read.
    for (int key : {'S', 'C'}) {
        SCOPED_TRACE(std::string("answer ") + char(key));
        qtest::ResetTreeState();
        UiScriptAnswers({key});
        ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        ASSERT_FALSE(UiQuestionsAsked().empty());
        EXPECT_STREQ(UiQuestionsAsked()[0].kind, "ErrorDialog");
        EXPECT_EQ(UiQuestionsAsked()[0].code, DWORD(ERROR_FILENAME_EXCED_RANGE));
        EXPECT_GT(UiQuestionsAsked()[0].path.size(), 1024u);
        UiScriptEnd();
        for (SubdirInfo* d : DirsInOrder(pdiCurrent)) {
            if (wcslen(d->pszFullName) > 1024) {
                EXPECT_EQ(d->bLogged, 0);
            }
        }
        if (key == 'S') {
            EXPECT_EQ(pdiCurrent->dwFiles, 7u) << "all but the file below the long path";
        } else {
            EXPECT_LT(pdiCurrent->dwFiles, 7u);
        }
        EXPECT_EQ(CheckTreeText(), "");
        qtest::FreeTrees();
    }
}

TEST_F(LogTest, UnderThePickerALoggedDiskIsOnlySwitchedTo) {
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    dir.Write("q/new.txt", "n");
    gPickerActive = 1;
    EXPECT_EQ(LogDrive('Q', TRUE, FALSE, TRUE), LOGDRIVE_OK);
    gPickerActive = 0;
    EXPECT_EQ(pdiCurrent->dwFiles, 7u) << "not read again";
    EXPECT_EQ(LogDrive('Q', TRUE, FALSE, TRUE), LOGDRIVE_OK);
    EXPECT_EQ(pdiCurrent->dwFiles, 8u);
}

TEST_F(LogTest, DepthLimitFromTheRoot) {
    struct Case {
        WORD mode;
        SHORT limit;
        DWORD deepestLevel;
    };
    const Case cases[] = {{LOG_FULL_DISK, 1, 1}, {LOG_FULL_DISK, 2, 2}, {LOG_TREE_ONLY, 2, 2},
                          {LOG_FULL_DISK, 3, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " limit " + std::to_string(c.limit));
        qtest::ResetTreeState();
        gLogMode = c.mode;
        gLogDepthLimit = c.limit;
        ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        DWORD deepest = 0;
        for (SubdirInfo* d : DirsInOrder(pdiCurrent)) {
            deepest = std::max(deepest, d->wLevel);
            if (d->wLevel == DWORD(c.limit) && Name(d) != "link") {
                EXPECT_EQ(d->bLogged, 0) << Name(d) << " at the limit is not read";
                EXPECT_EQ(d->bExpanded, 0) << Name(d) << " at the limit is collapsed";
            }
        }
        EXPECT_EQ(deepest, c.deepestLevel);
        EXPECT_EQ(CheckTreeText(), "");
        qtest::FreeTrees();
    }
}

TEST_F(LogTest, NeverLogDirectoryIsShownButNotRead) {
    const std::u16string line = u"Q:\\a\\deep";
    NoLogListAddLine(&gNoLogList, line.c_str(), line.size());
    ASSERT_EQ(gNoLogList.count, 1);
    for (DWORD prefetch : {1u, 0u}) {
        qtest::ResetTreeState();
        gPrefetchEnabled = prefetch;
        ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        SubdirInfo* deep = FindDirByPath(u"Q:\\a\\deep", nullptr, TRUE);
        ASSERT_TRUE(deep);
        EXPECT_EQ(deep->bLogged, 0);
        EXPECT_EQ(deep->psiChild, nullptr);
        EXPECT_FALSE(FindDirByPath(u"Q:\\a\\deep\\deeper", nullptr, TRUE));
        EXPECT_EQ(pdiCurrent->dwFiles, 5u);
        EXPECT_EQ(CheckTreeText(), "");
        qtest::FreeTrees();
    }
}

TEST_F(LogTest, HiddenDirectoriesLeftOutWhenTheSettingSaysSo) {
    gSettings.bHideDirs = 1;
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    gSettings.bHideDirs = 0;
    EXPECT_FALSE(FindDirByPath(u"Q:\\.hid", nullptr, TRUE));
    EXPECT_TRUE(FindDirByPath(u"Q:\\b", nullptr, TRUE));
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(LogTest, LoggedLetterWithoutRelogOnlyBecomesCurrent) {
    dir.MakeDir("r/x");
    WriteDrivesFile("q: " + root + "\nr: " + dir.Sub("r") + "\n");
    DriveMapSetSources(mountinfo.c_str(), nullptr);
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    DiskInfo* q = pdiCurrent;
    ASSERT_EQ(LogDrive('R', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    EXPECT_EQ(pdiCurrent->cDrive, 'R');
    EXPECT_EQ(gDiskCount, 2);
    // Files that appear afterwards are not seen: nothing is read again.
    dir.Write("q/new.txt", "n");
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    EXPECT_EQ(pdiCurrent, q);
    EXPECT_EQ(q->dwFiles, 7u);
    EXPECT_EQ(psiCurrent, q->psiRoot);
    // With relog it is read again.
    ASSERT_EQ(LogDrive('Q', TRUE, FALSE, TRUE), LOGDRIVE_OK);
    EXPECT_EQ(pdiCurrent->dwFiles, 8u);
    EXPECT_EQ(gDiskCount, 2);
    // releaseOthers leaves the one disk.
    ASSERT_EQ(LogDrive('Q', TRUE, TRUE, TRUE), LOGDRIVE_OK);
    EXPECT_EQ(gDiskCount, 1);
    EXPECT_EQ(pdiCurrent->cDrive, 'Q');
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(LogTest, InvalidLetterIsRefused) {
    UiScriptAnswers({13});
    EXPECT_EQ(LogDrive('k', FALSE, FALSE, TRUE), LOGDRIVE_INVALID);
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_STREQ(UiQuestionsAsked()[0].kind, "ShowError");
    EXPECT_EQ(qtest::NarrowText(UiQuestionsAsked()[0].path), "Invalid drive specified [K:]");
    EXPECT_EQ(pdiCurrent, nullptr);
    EXPECT_EQ(gDiskCount, 0);
}

TEST_F(LogTest, LogOptionAnswersDuringANewDisksLog) {
    // A disk logged before stays current when the new one is given up.
    dir.MakeDir("r/x");
    WriteDrivesFile("q: " + root + "\nr: " + dir.Sub("r") + "\n");
    DriveMapSetSources(mountinfo.c_str(), nullptr);
    ASSERT_EQ(LogDrive('R', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    DiskInfo* r = pdiCurrent;
    SubdirInfo* rDir = FindDirByPath(u"R:\\x", nullptr, TRUE);
    ASSERT_TRUE(rDir);
    psiCurrent = rDir;

    // Esc: the new disk is released and the previous state comes back.
    ReadTreeInterruptAfterForTest(2);
    UiScriptAnswers({27});
    EXPECT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_STOPPED);
    EXPECT_EQ(pdiCurrent, r);
    EXPECT_EQ(psiCurrent, rDir);
    EXPECT_EQ(gDiskCount, 1);
    EXPECT_FALSE(FindVolume('Q'));
    ASSERT_FALSE(UiQuestionsAsked().empty());
    EXPECT_STREQ(UiQuestionsAsked()[0].kind, "PromptLogOption");
    UiScriptEnd();
    EXPECT_EQ(CheckTreeText(), "");

    // Partial logging keeps what was read and reads no further.
    ReadTreeInterruptAfterForTest(2);
    UiScriptAnswers({'P'});
    EXPECT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    UiScriptEnd();
    DiskInfo* q = FindVolume('Q');
    ASSERT_TRUE(q);
    EXPECT_EQ(pdiCurrent, q);
    const auto states = TreeStates(q);
    EXPECT_EQ(states.size(), 6u) << "every directory of the root is shown";
    int read = 0;
    for (const auto& [name, state] : states)
        if (state.level == 1 && state.logged == 1) read++;
    EXPECT_LT(read, 5) << "reading stopped after the answer";
    EXPECT_FALSE(FindDirByPath(u"Q:\\a\\deep\\deeper", nullptr, TRUE));
    EXPECT_EQ(CheckTreeText(), "");

    // Continue goes on to the end.
    qtest::FreeTrees();
    ReadTreeInterruptAfterForTest(3);
    UiScriptAnswers({'C'});
    EXPECT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    UiScriptEnd();
    EXPECT_EQ(pdiCurrent->dwFiles, 7u);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(LogTest, EscDuringARelogOfTheCurrentDiskKeepsTheRoot) {
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    DiskInfo* q = pdiCurrent;
    ReadTreeInterruptAfterForTest(1);
    UiScriptAnswers({27});
    EXPECT_EQ(LogDrive('Q', TRUE, FALSE, TRUE), LOGDRIVE_RELOG_STOPPED);
    EXPECT_EQ(pdiCurrent, q);
    EXPECT_EQ(psiCurrent, q->psiRoot);
    EXPECT_EQ(q->psiRoot->psiChild, nullptr);
    EXPECT_EQ(q->dwFiles, 0u);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(LogTest, ReadErrorAnswers) {
    // A readdir of the first subdirectory's listing fails with EIO (the
    // root's listing takes nine: its six entries, "." and ".." and the
    // end): the error dialog is asked; retry reads again, skip leaves the
    // directory unread, cancel stops the log and gives the new disk up.
    struct Case {
        int key;
        int result;
    };
    const Case cases[] = {{'R', LOGDRIVE_OK}, {'S', LOGDRIVE_OK}, {27, LOGDRIVE_STOPPED}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("answer ") + char(c.key));
        qtest::ResetTreeState();
        gPrefetchEnabled = 0;
        QSysInjectFault(QSYS_READDIR, 10, EIO);
        UiScriptAnswers({c.key});
        EXPECT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), c.result);
        EXPECT_EQ(QSysFaultsArmed(), 0u) << "the fault fired";
        QSysClearFaults();
        ASSERT_EQ(UiQuestionsAsked().size(), 1u);
        EXPECT_STREQ(UiQuestionsAsked()[0].kind, "ErrorDialog");
        EXPECT_EQ(UiQuestionsAsked()[0].drive, 'Q');
        UiScriptEnd();
        if (c.key == 'R') {
            EXPECT_EQ(pdiCurrent->dwFiles, 7u);
        } else if (c.key == 'S') {
            int unread = 0;
            for (SubdirInfo* d : DirsInOrder(pdiCurrent))
                if (d->wLevel == 1 && !d->bLogged && Name(d) != "link") unread++;
            EXPECT_EQ(unread, 1);
        } else {
            EXPECT_FALSE(FindVolume('Q'));
        }
        EXPECT_EQ(CheckTreeText(), "");
        qtest::FreeTrees();
    }
}

TEST_F(LogTest, AccessDeniedMarksTheDirectory) {
    dir.MakeDir("q/locked/inner");
    ASSERT_EQ(::chmod(dir.Sub("q/locked").c_str(), 0), 0);
    dir.OpenToAll();
    ::chmod(root.c_str(), 0755);
    ::chmod(dir.Sub("q/locked").c_str(), 0);
    const int status = qtest::RunUnprivileged([&] {
        gLogSkipErrors = 1; // the dialog is not asked: skip-same is armed
        if (LogDrive('Q', FALSE, FALSE, TRUE) != LOGDRIVE_OK) return 10;
        SubdirInfo* locked = FindDirByPath(u"Q:\\locked", nullptr, TRUE);
        if (!locked) return 11;
        if (locked->bLogged != 5) return 12;
        if (locked->psiChild) return 13;
        if (!FindDirByPath(u"Q:\\a\\deep", nullptr, TRUE)) return 14;
        if (!CheckTreeText().empty()) return 15;
        return 0;
    });
    ::chmod(dir.Sub("q/locked").c_str(), 0755);
    EXPECT_EQ(status, 0);
}

TEST_F(LogTest, LogPathLogsTheDirectoriesAlongIt) {
    gLogMode = LOG_ROOT_ONLY;
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    ASSERT_FALSE(FindDirByPath(u"Q:\\a\\deep", nullptr, TRUE));
    DWORD top = 99;
    WORD bar = 0;
    SubdirInfo* found = LogPath(u"Q:\\a\\deep", &top, &bar);
    ASSERT_TRUE(found);
    EXPECT_EQ(qtest::NarrowText(found->pszFullName), "Q:\\a\\deep");
    EXPECT_EQ(found->bLogged, 1) << "the last directory's files are read";
    EXPECT_EQ(found->dwFiles, 1u);
    EXPECT_EQ(psiCurrent, found);
    EXPECT_EQ(top, 0u);
    // The cursor row counts window rows, so that top + row is the line of
    // the directory found.
    EXPECT_EQ(FindPathFromPos(top + bar, 0, 0), found);
    EXPECT_EQ(pdiCurrent->yBar[0], bar);
    EXPECT_TRUE(FindDirByPath(u"Q:\\a\\deep\\deeper", nullptr, TRUE))
        << "one level below the path's directory is read";
    EXPECT_EQ(CheckTreeText(), "");
    // A path relative to the current drive, and one that does not exist:
    // the deepest directory found.
    found = LogPath(u"\\c", &top, &bar);
    ASSERT_TRUE(found);
    EXPECT_EQ(qtest::NarrowText(found->pszFullName), "Q:\\c");
    found = LogPath(u"Q:\\b\\missing", &top, &bar);
    ASSERT_TRUE(found);
    EXPECT_EQ(qtest::NarrowText(found->pszFullName), "Q:\\b");
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(LogTest, LogUnloggedSubdirsReadsTheRestOfTheBranch) {
    gLogMode = LOG_TREE_ONLY;
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    EXPECT_EQ(pdiCurrent->dwFiles, 0u);
    psiCurrent = FindDirByPath(u"Q:\\a", nullptr, TRUE);
    ASSERT_TRUE(psiCurrent);
    EXPECT_EQ(LogUnloggedSubdirs(), 1);
    EXPECT_EQ(pdiCurrent->dwFiles, 4u) << "a, a\\deep and a\\deep\\deeper";
    for (const char16_t* path : {u"Q:\\a", u"Q:\\a\\deep", u"Q:\\a\\deep\\deeper"}) {
        SubdirInfo* d = FindDirByPath(path, nullptr, TRUE);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->bLogged, 1) << qtest::NarrowText(path);
    }
    EXPECT_EQ(FindDirByPath(u"Q:\\c", nullptr, TRUE)->bLogged, 0) << "outside the branch";
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(LogTest, RelogCurrentDirSeesChanges) {
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    psiCurrent = FindDirByPath(u"Q:\\a", nullptr, TRUE);
    dir.Write("q/a/a3", "123");
    dir.MakeDir("q/a/fresh");
    ::rmdir(dir.Sub("q/a/deep/deeper").c_str()) ;
    ::unlink(dir.Sub("q/a/deep/deeper/e1").c_str());
    ::rmdir(dir.Sub("q/a/deep/deeper").c_str());
    EXPECT_EQ(RelogCurrentDir(), 1);
    SubdirInfo* a = FindDirByPath(u"Q:\\a", nullptr, TRUE);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->dwFiles, 3u);
    EXPECT_TRUE(FindDirByPath(u"Q:\\a\\fresh", nullptr, TRUE));
    EXPECT_FALSE(FindDirByPath(u"Q:\\a\\deep\\deeper", nullptr, TRUE));
    EXPECT_EQ(pdiCurrent->dwFiles, 7u);
    EXPECT_EQ(CheckTreeText(), "");
    // On the root the whole disk is read again.
    psiCurrent = pdiCurrent->psiRoot;
    dir.Write("q/b/new", "1");
    EXPECT_EQ(RelogCurrentDir(), 1);
    EXPECT_EQ(pdiCurrent->dwFiles, 8u);
    EXPECT_EQ(CheckTreeText(), "");
}

TEST_F(LogTest, ReadDiskInfoReportsMediaChangeOnlyForRemovableDrives) {
    // A CD-ROM file system on R, a fixed one on Q.
    dir.MakeDir("cd/x");
    SetMounts({{"/", "ext4", "/dev/vda1"}, {dir.Sub("cd"), "iso9660", "/dev/sr0"}});
    WriteDrivesFile("q: " + root + "\nr: " + dir.Sub("cd") + "\n");
    DiskInfo fixed{};
    fixed.cDrive = 'Q';
    EXPECT_EQ(ReadDiskInfo(&fixed), DISKINFO_OK);
    EXPECT_EQ(fixed.bDriveType, DRIVE_FIXED);
    EXPECT_GT(fixed.qwTotalBytes, 0);
    EXPECT_STREQ(fixed.szFileSystem, "EXT4");
    std::strcpy(fixed.szLabel, "OLD");
    EXPECT_EQ(ReadDiskInfo(&fixed), DISKINFO_OK) << "a fixed disk's label change is no media change";

    DiskInfo cd{};
    cd.cDrive = 'R';
    EXPECT_EQ(ReadDiskInfo(&cd), DISKINFO_MEDIA_CHANGED) << "from no label to one";
    EXPECT_EQ(cd.bDriveType, DRIVE_CDROM);
    EXPECT_EQ(ReadDiskInfo(&cd), DISKINFO_OK) << "nothing changed";
    std::strcpy(cd.szLabel, "OTHER DISC");
    EXPECT_EQ(ReadDiskInfo(&cd), DISKINFO_MEDIA_CHANGED);
    cd.dwSerial ^= 1;
    EXPECT_EQ(ReadDiskInfo(&cd), DISKINFO_MEDIA_CHANGED) << "another serial number";

    // Through the letter of a logged disk.
    EXPECT_EQ(RefreshDiskInfoByLetter('R'), 0u) << "not logged";
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    pdiCurrent->qwFreeBytes = 1;
    EXPECT_EQ(RefreshDiskInfoByLetter('Q'), DISKINFO_OK);
    EXPECT_NE(pdiCurrent->qwFreeBytes, 1);
}

} // namespace
