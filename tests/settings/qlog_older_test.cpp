// Logged-volume files of the older format letters, made by hand byte for
// byte from the offsets written out below (never from the reader's own
// constants), so that each layout is pinned; the same checks refuse a
// malformed older file with the tree left as it was; Esc while loading;
// the file a load falls back to; what is rebuilt after a load.
#include "settings/qlog.h"

#include "fixture.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/packed_dates.h"
#include "qlog_fixture.h"
#include "qlog_older_image.h"
#include "settings/folders.h"
#include "settings/path_lists.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using qlogtest::Dir;
using qlogtest::DumpTrees;
using qlogtest::WinPath;

using qlogtest::Faults;
using qlogtest::Kind;
using qlogtest::kOlder;
using qlogtest::Older;
using qlogtest::OlderImage;
using qlogtest::kAccessedDate;
using qlogtest::kCreatedDate;
using qlogtest::kWrittenDate;
using qlogtest::kWrittenTime;

class QlogOlderTest : public qlogtest::QlogFixture {
  protected:
    // The session's state before a load, unlike anything the files hold.
    void SessionState() {
        gFileOrder[0] = {SORT_EXTENSION, 0, 0, 0, SORT_STAMP_CREATED};
        gFileOrder[1] = {SORT_NAME, 0, 0, 0, 0};
        gSplitSortDifferent = 0;
        gDirMode[0] = 0;
        gDisplayMode[0] = gDisplayMode[1] = 1;
    }
};

TEST_F(QlogOlderTest, EachOlderLetterLoadsItsLayout) {
    for (const Older& o : kOlder) {
        SCOPED_TRACE(std::string("letter ") + o.letter);
        qtest::ResetTreeState();
        SessionState();
        qtest::BuildTree('C', u"other\\ x=1");
        qtest::DisownRecords();
        QlogPaneSwitches switches{};
        ASSERT_EQ(ApplyQlogImage(OlderImage(o), 1, &switches), QLOG_OK);
        EXPECT_EQ(qtest::CheckTreeText(), "");
        EXPECT_EQ(FindVolume('C'), nullptr) << "a load replaces everything logged";
        DiskInfo* g = FindVolume('G');
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->dwSerial, 0xCAFEF00Du);
        EXPECT_STREQ(g->szLabel, "OLDDISK");
        EXPECT_EQ(g->qwTotalBytes, 123456789);
        EXPECT_EQ(std::u16string(g->wszSavedPath[0]), u"G:\\sub");
        EXPECT_EQ(std::u16string(g->wszSavedPath[1]), u"G:\\");
        EXPECT_EQ(g->bHasRefresh, 1);
        EXPECT_EQ(std::u16string(g->wszDevice), o.kind == Kind::V1 ? u"" : u"/dev/sdz1");

        SubdirInfo* root = g->psiRoot;
        ASSERT_EQ(root->dwFiles, 2u);
        const FileEntry* readme = root->pFiles;
        const FileEntry* longName = root->pFiles + 1;
        EXPECT_EQ(std::u16string(readme->wszShortName), u"README.TXT");
        EXPECT_EQ(readme->pszLongName, nullptr);
        EXPECT_EQ(std::u16string(longName->wszShortName), u"LONGNA~1.TXT");
        ASSERT_NE(longName->pszLongName, nullptr);
        EXPECT_EQ(std::u16string(longName->pszLongName), u"Long name \u00E9.txt");
        EXPECT_EQ(readme->qwSize, 5000u);
        EXPECT_EQ(longName->qwSize, 4000u);
        EXPECT_EQ(readme->wAttributes, 0x21);
        EXPECT_EQ(readme->bFlags[0], 1);
        EXPECT_EQ(readme->bFlags[1], 2);
        EXPECT_EQ(readme->dWritten, kWrittenDate);
        EXPECT_EQ(readme->tWritten, kWrittenTime);
        const bool pairs = o.kind != Kind::B;
        EXPECT_EQ(readme->dCreated, pairs ? kCreatedDate : 0u);
        EXPECT_EQ(readme->dAccessed, pairs ? kAccessedDate : 0u);
        EXPECT_EQ(root->dWritten, kWrittenDate);
        EXPECT_EQ(root->tWritten, kWrittenTime);
        EXPECT_EQ(root->dCreated, o.kind == Kind::B ? 0u : kCreatedDate);
        EXPECT_EQ(root->dAccessed, o.kind == Kind::CToE ? kAccessedDate : 0u);
        EXPECT_EQ(root->bFlags[0], o.kind == Kind::B ? 0 : 1) << "'B' keeps no flags of directories";
        EXPECT_EQ(root->wAttributes, 0x10);
        SubdirInfo* sub = Dir(g, u"sub");
        ASSERT_NE(sub, nullptr);
        EXPECT_EQ(sub->wLevel, 1u);
        EXPECT_EQ(sub->dWritten, kWrittenDate);
        EXPECT_EQ(sub->psiParent, root);

        // The pane header: what the letter holds is applied, the rest is
        // the session's.
        EXPECT_EQ(gDisplayMode[0], 3);
        EXPECT_EQ(gDisplayMode[1], 4);
        EXPECT_EQ(gFileOrder[1].key, SORT_SIZE);
        EXPECT_EQ(gFileOrder[1].descending, 1);
        EXPECT_EQ(gSplitSortDifferent, o.headerBytes > 6 ? 1u : 0u);
        EXPECT_EQ(gDirMode[0], o.headerBytes > 6 ? 1u : 0u);
        EXPECT_EQ(gFileOrder[0].key, o.letter >= 'D' ? SORT_DATE : SORT_EXTENSION);
        EXPECT_EQ(gFileOrder[0].descending, o.letter >= 'D' ? 1 : 0);
        EXPECT_EQ(gFileOrder[0].timestamp, o.letter >= 'E' ? SORT_STAMP_ACCESSED : SORT_STAMP_CREATED);

        EXPECT_EQ(switches.window[0], 1);
        EXPECT_EQ(switches.window[1], 3);
        EXPECT_EQ(switches.window[17], 'Q');
        EXPECT_EQ(switches.pane[0], 5);
        EXPECT_EQ(switches.pane[3], 8);
        EXPECT_EQ(std::u16string(gFilterSlots[0].fullText), u"*.c");
        ASSERT_EQ(LoggedPathCount(), 2u);
        EXPECT_EQ(std::u16string(LoggedPathAt(0)), u"G:\\sub");
        EXPECT_EQ(std::u16string(LoggedPathAt(1)), u"G:\\");
        ASSERT_EQ(MemoCount(1), 1u);
        EXPECT_EQ(MemoAt(1, 0)->key, u"G:\\sub");
        EXPECT_EQ(MemoAt(1, 0)->value, u"value");
        ASSERT_NE(psiCurrent, nullptr);
        EXPECT_EQ(psiCurrent, sub) << "the first pane's path line";
    }
}

TEST_F(QlogOlderTest, MalformedOlderFilesChangeNothing) {
    struct Case {
        const char* what;
        Faults faults;
        QlogResult result;
    };
    Faults countPastEnd;
    countPastEnd.rootFiles = 0xFFFF;
    Faults twoDown;
    twoDown.subLevel = 2;
    Faults noLetter;
    noLetter.drive = '1';
    Faults cut;
    cut.cutInTrees = true;
    Faults separator;
    separator.firstName = "READ\\ME.TXT";
    const Case cases[] = {
        {"a file count past the end", countPastEnd, QLOG_MALFORMED},
        {"a level two below its parent", twoDown, QLOG_MALFORMED},
        {"a drive byte that is no letter", noLetter, QLOG_MALFORMED},
        {"the trees cut short", cut, QLOG_MALFORMED},
        {"a file name holding a backslash", separator, QLOG_MALFORMED},
    };
    qtest::BuildTree('C', u"kept\\ k.txt=3");
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    qtest::DisownRecords();
    LoggedPathList(11, 0, u"C:\\kept|");
    const std::string before = DumpTrees();
    for (const Older& o : kOlder) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string("letter ") + o.letter + ": " + c.what);
            for (int mode : {1, 0}) {
                EXPECT_EQ(ApplyQlogImage(OlderImage(o, c.faults), mode, nullptr), c.result);
                EXPECT_EQ(DumpTrees(), before);
                EXPECT_EQ(LoggedPathCount(), 1u);
            }
        }
    }
    // The oldest letters end their bookmark line with the marker after the
    // last bar.
    Faults badTail;
    badTail.bookmarkTail = "QX";
    EXPECT_EQ(ApplyQlogImage(OlderImage(kOlder[0], badTail), 1, nullptr), QLOG_MALFORMED);
    EXPECT_EQ(DumpTrees(), before);
    // A letter newer than any known is no file to read.
    std::string newer = OlderImage(kOlder[7]);
    newer[2] = 'G';
    EXPECT_EQ(ApplyQlogImage(newer, 1, nullptr), QLOG_MALFORMED);
    EXPECT_EQ(DumpTrees(), before);
    EXPECT_EQ(ApplyQlogImage(OlderImage(kOlder[0]), 0, nullptr), QLOG_OK) << "the unaltered file merges";
    EXPECT_NE(FindVolume('C'), nullptr) << "a merge keeps the other letters";
}

// ---- Esc while loading --------------------------------------------------------------

TEST_F(QlogOlderTest, EscWhileLoadingAsksAndEscAbandons) {
    qtest::BuildTree('C', u"a\\ b\\ c\\ f=1");
    qtest::BuildTree('E', u"x\\");
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    std::string image;
    ASSERT_TRUE(BuildQlogImage({}, &image));
    qtest::DisownRecords();
    qtest::ResetTreeState();
    qtest::BuildTree('D', u"mine\\");
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    qtest::DisownRecords();
    const std::string before = DumpTrees();
    static int reads;
    reads = 0;
    // Esc is pressed once, while the second directory is read.
    gQlogDirectoryRead = [] {
        if (++reads == 2) gInterruptRequested = 1;
    };
    UiScriptAnswers({27});
    EXPECT_EQ(ApplyQlogImage(image, 1, nullptr), QLOG_ABANDONED);
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_EQ(UiQuestionsAsked()[0].path, u"QLOG loading interrupted!  Continue?");
    EXPECT_EQ(DumpTrees(), before) << "an abandoned load changes nothing";
    EXPECT_EQ(reads, 2) << "the load stops at the question";
    UiScriptEnd();

    // Going on reads the whole file.
    reads = 0;
    UiScriptAnswers({'Y'});
    EXPECT_EQ(ApplyQlogImage(image, 1, nullptr), QLOG_OK);
    EXPECT_EQ(UiQuestionsAsked().size(), 1u);
    UiScriptEnd();
    EXPECT_NE(FindVolume('E'), nullptr);
    EXPECT_EQ(FindVolume('D'), nullptr);

    // Through the file: an abandoned load shows nothing more.
    qtest::TempDir dir;
    const std::string host = dir.Write("abandon.qlog", image);
    const std::string loaded = DumpTrees();
    reads = 0;
    UiScriptAnswers({27});
    EXPECT_EQ(QlogLoad(nullptr, WinPath(host).c_str(), 1), 0);
    EXPECT_EQ(UiQuestionsAsked().size(), 1u) << "no message after the user's own Esc";
    EXPECT_EQ(DumpTrees(), loaded);
}

// ---- the file a load falls back to -------------------------------------------

// The process's current directory for the length of a test.
class CurrentDirectory {
  public:
    explicit CurrentDirectory(const std::string& path) {
        char buffer[4096];
        if (::getcwd(buffer, sizeof buffer)) saved_ = buffer;
        const std::u16string wide = WinPath(path);
        changed_ = SetCurrentDirectoryW(wide.c_str()) != 0;
    }
    ~CurrentDirectory() {
        if (!saved_.empty()) {
            const std::u16string wide = WinPath(saved_);
            SetCurrentDirectoryW(wide.c_str());
        }
    }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;
    bool changed() const { return changed_; }

  private:
    std::string saved_;
    bool changed_ = false;
};

TEST_F(QlogOlderTest, ALoadWithoutANameFallsBackInOrder) {
    qtest::TempDir dir;
    // One file per place, each with a disk of its own letter.
    auto imageOf = [](char letter) {
        qtest::ResetTreeState();
        qtest::BuildTree(letter, u"d\\");
        pdiCurrent = pdiFirst;
        psiCurrent = pdiFirst->psiRoot;
        std::string image;
        EXPECT_TRUE(BuildQlogImage({}, &image));
        qtest::ResetTreeState();
        return image;
    };
    const std::string named = dir.Write("named.qlog", imageOf('H'));
    dir.Write("work/TEMP.QLOG", imageOf('J'));
    dir.Write("settings/TEMP.QLOG", imageOf('K'));
    dir.Write("settings/QBK.INI", "");
    const std::u16string ini = WinPath(dir.Sub("settings/QBK.INI"));
    std::copy(ini.begin(), ini.end(), gIniPath);
    gIniPath[ini.size()] = 0;
    EXPECT_EQ(QlogSettingsFolderFile(), WinPath(dir.Sub("settings")) + u"\\TEMP.QLOG");
    CurrentDirectory cwd(dir.Sub("work"));
    ASSERT_TRUE(cwd.changed());
    const std::u16string commandLine = WinPath(named);
    std::copy(commandLine.begin(), commandLine.end(), gQlogCommandLineFile);
    gQlogCommandLineFile[commandLine.size()] = 0;

    struct Step {
        const char* what;
        char letter;
    };
    const Step steps[] = {
        {"the file named on the command line", 'H'},
        {"then TEMP.QLOG in the current directory", 'J'},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ASSERT_EQ(QlogLoad(nullptr, nullptr, 1), 1);
        ASSERT_NE(pdiFirst, nullptr);
        EXPECT_EQ(char(pdiFirst->cDrive), s.letter);
        EXPECT_EQ(gDiskCount, 1u);
    }
    EXPECT_EQ(gQlogCommandLineFile[0], 0) << "the command-line file is used once";
    ASSERT_EQ(::unlink(dir.Sub("work/TEMP.QLOG").c_str()), 0);
    ASSERT_EQ(QlogLoad(nullptr, u"", 1), 1) << "then TEMP.QLOG beside the settings";
    EXPECT_EQ(char(pdiFirst->cDrive), 'K');
}

// ---- what a load rebuilds -----------------------------------------------------------

TEST_F(QlogOlderTest, ALoadRebuildsTheTreeLinesFromTheNewRecords) {
    struct TreeGeometry {
        WORD width = gTreeWidth, stride = gTreeLineStride;
        TreeGeometry() {
            gTreeWidth = 20;
            gTreeLineStride = 24;
        }
        ~TreeGeometry() {
            for (int p = 0; p < 2; p++) {
                std::free(gTreeLines[p]);
                gTreeLines[p] = nullptr;
                gTreeLineRows[p] = 0;
            }
            gTreeWidth = width;
            gTreeLineStride = stride;
        }
    } geometry;
    qtest::TempDir dir;
    qtest::BuildTree('C', u"one\\ two\\");
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    const std::string host = dir.Sub("tree.qlog");
    ASSERT_EQ(SaveQlogFile(WinPath(host).c_str(), {}), 0u);
    showtree(); // lines that point into the records about to be released
    ASSERT_EQ(FindPathFromPos(gTreeFirstLine, 0, 0), pdiFirst->psiRoot);
    qtest::DisownRecords();
    ASSERT_EQ(QlogLoad(nullptr, WinPath(host).c_str(), 1), 1);
    EXPECT_EQ(FindPathFromPos(gTreeFirstLine, 0, 0), pdiCurrent->psiRoot) << "the new root's row";
    EXPECT_EQ(FindPathFromPos(gTreeFirstLine + 1, 0, 0), Dir(pdiCurrent, u"one"));
    EXPECT_EQ(gTreeLines[1], nullptr) << "the other pane's lines are built when it is shown";
}

// ---- bookmarks ------------------------------------------------------------------------

TEST_F(QlogOlderTest, ABarInsideABookmarkComesBack) {
    qtest::BuildTree('C', u"a|b\\");
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    const std::u16string entries[] = {u"C:\\a|b", u"C:\\"};
    SetLoggedPaths(entries, 2);
    ASSERT_EQ(LoggedPathCount(), 2u);
    std::string image;
    ASSERT_TRUE(BuildQlogImage({}, &image));
    qtest::DisownRecords();
    SetLoggedPaths(nullptr, 0);
    ASSERT_EQ(ApplyQlogImage(image, 1, nullptr), QLOG_OK);
    ASSERT_EQ(LoggedPathCount(), 2u);
    EXPECT_EQ(std::u16string(LoggedPathAt(0)), u"C:\\a|b");
    EXPECT_EQ(std::u16string(LoggedPathAt(1)), u"C:\\");
}

} // namespace
