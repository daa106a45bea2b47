// FIND & LOG inside the test process: the packed entries of a searched
// directory, the order of found paths, the stack of directories still to
// search, and whole searches with their workers (the Concurrency tests run
// under ThreadSanitizer too), stopped or not, capped or not.
#include "../platform/platform_fixture.h"
#include "../posix/drive_fixture.h"
#include "../support/tree_builder.h"
#include "../support/tree_fixture.h"

#include "internal/threads.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "settings/nolog.h"
#include "tree/filter.h"
#include "tree/find_log.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/tree_records.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using qtest::DirsInOrder;

std::string Rel(const SubdirInfo* d) { return d->wLevel ? qtest::NarrowText(d->pszFullName + 3) : ""; }

class FindLogTest : public DriveMapTest {
  protected:
    std::string root;

    void SetUp() override {
        root = dir.MakeDir("q");
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        WriteDrivesFile("q: " + root + "\n");
        qtest::ResetTreeState();
        InitFilterSlots();
    }
    void TearDown() override {
        UiScriptEnd();
        FindLogInterruptAfterForTest(0, 0);
        FindLogSetCapForTest(0);
        FindLogHoldMainForTest(FALSE);
        ThreadCreateFailForTest(0);
        NoLogListFree(&gNoLogList);
        qtest::FreeTrees();
        InitFilterSlots();
        DriveMapTest::TearDown();
    }
    void Filter(const std::u16string& text) {
        ASSERT_EQ(CompileFilterText(text.c_str(), &gFilterSlots[0], nullptr, 0, nullptr), FILTER_OK);
    }
    // Logs Q: root only, as the windows have it, then runs FIND & LOG;
    // its report is answered by the test hook.
    int Run() {
        gLogMode = LOG_ROOT_ONLY;
        EXPECT_EQ(LogDrive('q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        UiScriptAnswers({});
        return FindAndLog();
    }
    std::set<std::string> Logged() const {
        std::set<std::string> out;
        for (SubdirInfo* d : DirsInOrder(pdiCurrent))
            if (d->wLevel && d->bLogged == 1) out.insert(Rel(d));
        return out;
    }
};

// ---- packed entries ----------------------------------------------------------------

TEST_F(FindLogTest, PackedRecordsKeepEveryFieldOnEightByteBoundaries) {
    // Names of every length class around the rounding, a big size, and
    // directories the search keeps or drops.
    const std::vector<std::string> names = {"a", "ab", "abc", "abcd", std::string(40, 'n'),
                                            std::string(255, 'z')};
    for (const std::string& n : names) dir.Write("q/" + n, std::string(n.size() % 7, 'x'));
    dir.MakeDir("q/sub");
    ASSERT_EQ(::symlink((root + "/sub").c_str(), (root + "/link").c_str()), 0);
    // A sparse file past 4 GiB: both halves of the size are kept.
    const std::string big = dir.Write("q/big", "");
    ASSERT_EQ(::truncate(big.c_str(), (5ll << 32) + 7), 0);
    FindLogNode* node = FindLogNewDir(u"Q:", u"", 0);
    EXPECT_EQ(std::u16string(node->wszPath), u"Q:\\");
    FindLogRead(node);
    std::map<std::string, FindLogEntry> seen;
    for (size_t offset = 0; offset < node->cbUsed;) {
        EXPECT_EQ(offset % 8, 0u);
        FindLogEntry e;
        const size_t next = FindLogEntryAt(node, offset, &e);
        const size_t units = std::char_traits<char16_t>::length(e.name);
        EXPECT_EQ(next - offset, FindLogRecordLength(units));
        seen[qtest::NarrowText(e.name)] = e;
        offset = next;
    }
    EXPECT_GE(node->cbAlloc, node->cbUsed);
    for (const std::string& n : names) {
        ASSERT_TRUE(seen.count(n)) << n;
        EXPECT_EQ(seen[n].size, n.size() % 7) << n;
        struct stat st;
        ASSERT_EQ(::stat((root + "/" + n).c_str(), &st), 0);
        const ULONGLONG written =
            ULONGLONG(seen[n].written.dwHighDateTime) << 32 | seen[n].written.dwLowDateTime;
        EXPECT_EQ(written / 10000000 - 11644473600ull, ULONGLONG(st.st_mtime)) << n;
    }
    EXPECT_EQ(seen["big"].size, (5ull << 32) + 7);
    ASSERT_TRUE(seen.count("sub"));
    EXPECT_TRUE(seen["sub"].attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(seen.count("link")) << "a link to a directory is never entered";
    EXPECT_FALSE(seen.count(".")) << "nor are the dot entries";
    EXPECT_FALSE(seen.count(".."));
    // The lengths: 38 bytes, the name and its end, rounded up to 8.
    const std::pair<size_t, size_t> lengths[] = {{0, 40}, {1, 48}, {4, 48}, {5, 56}, {255, 552}};
    for (const auto& [units, bytes] : lengths) EXPECT_EQ(FindLogRecordLength(units), bytes) << units;
    std::free(node->pEntries);
    std::free(node);
}

TEST(FindLogPaths, OrderCaseInsensitivelyThenExactlyAndDropTheDoubledBackslash) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int sign;
    };
    const Case cases[] = {
        {u"Q:\\\\abc", u"Q:\\\\ABD", -1}, // the case does not decide
        {u"Q:\\\\Dir", u"Q:\\\\dir", -1}, // until nothing else does
        {u"Q:\\\\dir", u"Q:\\\\Dir", 1},
        {u"Q:\\\\a", u"Q:\\\\a\\b", -1},
        {u"Q:\\", u"Q:\\\\a", -1},
        {u"Q:\\\\x", u"Q:\\\\x", 0},
    };
    for (const Case& c : cases) {
        const int r = FindLogPathCompare(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << qtest::NarrowText(c.a) << " " << qtest::NarrowText(c.b);
    }
    WCHAR out[64];
    EXPECT_EQ(std::u16string(FindLogTreePath(u"Q:\\", out, 64)), u"Q:\\");
    EXPECT_EQ(std::u16string(FindLogTreePath(u"Q:\\\\a\\b", out, 64)), u"Q:\\a\\b");
    FindLogNode* child = FindLogNewDir(u"Q:\\", u"a", 1);
    EXPECT_EQ(std::u16string(child->wszPath), u"Q:\\\\a");
    std::free(child);
}

TEST_F(FindLogTest, PushedSubdirectoriesGoOnTopLastMadeFirstWithoutTheNeverLogOnes) {
    dir.MakeDir("q/one");
    dir.MakeDir("q/two");
    dir.MakeDir("q/skip");
    dir.Write("q/file", "x");
    const std::string list = "skip\r\n";
    NoLogListParse(&gNoLogList, reinterpret_cast<const BYTE*>(list.data()), list.size());
    FindLogNode* node = FindLogNewDir(u"Q:", u"", 0);
    FindLogRead(node);
    std::vector<std::string> order;
    for (size_t offset = 0; offset < node->cbUsed;) {
        FindLogEntry e;
        offset = FindLogEntryAt(node, offset, &e);
        if (e.attributes & FILE_ATTRIBUTE_DIRECTORY) order.push_back(qtest::NarrowText(e.name));
    }
    for (BOOL testNoLog : {FALSE, TRUE}) {
        SCOPED_TRACE(testNoLog ? "with the never-log test" : "without it");
        gFindLogStack = nullptr;
        gFindLogPending = 1;
        node->bPushed = 0;
        FindLogPushSubdirs(node, testNoLog);
        EXPECT_EQ(node->bPushed, 1u);
        std::vector<std::string> stack;
        for (FindLogNode* n = gFindLogStack; n;) {
            EXPECT_EQ(n->dwLevel, 1u);
            stack.push_back(qtest::NarrowText(n->wszPath + 4));
            FindLogNode* next = n->pNext;
            std::free(n);
            n = next;
        }
        std::vector<std::string> want(order.rbegin(), order.rend());
        if (testNoLog) want.erase(std::find(want.begin(), want.end(), "skip"));
        EXPECT_EQ(stack, want);
        EXPECT_EQ(gFindLogPending, 1 + want.size());
    }
    gFindLogStack = nullptr;
    // An empty buffer only marks the node.
    FindLogNode* empty = FindLogNewDir(u"Q:\\", u"nothing", 1);
    FindLogPushSubdirs(empty, FALSE);
    EXPECT_EQ(empty->bPushed, 1u);
    EXPECT_EQ(gFindLogStack, nullptr);
    std::free(empty);
    std::free(node->pEntries);
    std::free(node);
}

// ---- whole searches ---------------------------------------------------------------

class FindLogConcurrency : public FindLogTest {
  protected:
    std::set<std::string> want; // directories holding an "f*7.dat"
    void SetUp() override {
        FindLogTest::SetUp();
        ::rmdir(root.c_str());
        ::mkdir(root.c_str(), 0755);
        qtest::TreeSpec spec;
        spec.seed = 103;
        spec.directories = 150;
        spec.files = 900;
        spec.awkward = false;
        const qtest::Manifest m = qtest::GenerateTree(root, spec);
        for (const qtest::ManifestEntry& e : m.entries) {
            if (e.type != 'f') continue;
            const std::string name = e.path.substr(e.path.rfind('/') + 1);
            if (name[0] == 'f' && name.size() > 5 && name.substr(name.size() - 5) == "7.dat") {
                const size_t slash = e.path.rfind('/');
                std::string d = slash == std::string::npos ? "" : e.path.substr(0, slash);
                for (char& c : d)
                    if (c == '/') c = '\\';
                want.insert(d);
            }
        }
        want.erase("");
        Filter(u"f*7.dat");
    }
};

TEST_F(FindLogConcurrency, FourWorkersFindWhatOneThreadFinds) {
    ASSERT_FALSE(want.empty());
    for (int workers : {4, 1, 0}) {
        SCOPED_TRACE("workers " + std::to_string(workers));
        qtest::FreeTrees();
        qtest::ResetTreeState();
        if (workers < 4) ThreadCreateFailForTest(DWORD(workers) + 1);
        EXPECT_EQ(Run(), 1);
        ThreadCreateFailForTest(0);
        EXPECT_EQ(gFindLogFigures.workers, workers);
        EXPECT_EQ(Logged(), want);
        EXPECT_EQ(gFindLogFigures.searched, 151u);
        EXPECT_EQ(qtest::CheckTreeText(), "");
        EXPECT_TRUE(UiQuestionsAsked().empty()) << "a search run to its end reports nothing";
        EXPECT_EQ(gFindLogActive.load(), 0u);
        EXPECT_EQ(gDeferRecount, 0u);
        EXPECT_EQ(gReadAheadActive, 0u);
        UiScriptEnd();
    }
}

TEST_F(FindLogConcurrency, ACappedDoneListHoldsNoMoreThanOneNodeBeyondTheCap) {
    constexpr ULONGLONG kCap = 6000;
    FindLogSetCapForTest(kCap);
    FindLogHoldMainForTest(TRUE);
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Logged(), want);
    EXPECT_GT(gFindLogFigures.capWaits, 0u);
    EXPECT_LE(gFindLogFigures.donePeakBytes, kCap + gFindLogFigures.largestNodeBytes);
}

TEST_F(FindLogConcurrency, StoppingInTheMiddleEndsTheWorkersAndFreesWhatTheyRead) {
    // The nodes left on the stack and the done list, and those the workers
    // were reading, are freed: LeakSanitizer checks at the end of the run.
    for (DWORD after : {1u, 20u, 80u}) {
        SCOPED_TRACE("after " + std::to_string(after));
        qtest::FreeTrees();
        qtest::ResetTreeState();
        FindLogInterruptAfterForTest(after, 0);
        Run();
        EXPECT_TRUE(gFindLogFigures.stoppedSearching);
        // The batch taken when Esc came is finished first.
        EXPECT_GE(gFindLogFigures.searched, after);
        EXPECT_LE(gFindLogFigures.searched, 151u);
        EXPECT_EQ(gFindLogStack, nullptr);
        EXPECT_EQ(gFindLogDone, nullptr);
        EXPECT_EQ(gFindLogThreads.load(), 0);
        for (const std::string& d : Logged()) EXPECT_TRUE(want.count(d)) << d;
        EXPECT_EQ(Logged().size(), gFindLogFigures.foundDirs);
        ASSERT_EQ(UiQuestionsAsked().size(), 1u);
        EXPECT_STREQ(UiQuestionsAsked()[0].kind, "ShowMessage");
        UiScriptEnd();
    }
}

// ---- on the console --------------------------------------------------------------

// The search on the test process's console, where Esc waits in the key
// reader's input as a user's would.
class FindLogScreen : public qtest::PlatformTest {
  protected:
    qtest::TempDir dir;
    qtest::ScopedEnv home{"HOME", dir.path().c_str()};
    std::string root;

    void SetUp() override {
        PlatformTest::SetUp();
        root = dir.MakeDir("q");
        for (int i = 0; i < 30; i++) {
            const std::string d = "q/d" + std::to_string(i);
            dir.Write(d + "/hit" + std::to_string(i) + ".txt", "x");
            dir.Write(d + "/miss.dat", "y");
        }
        mountinfo = dir.Write("mountinfo", MountInfoLine(20, {"/", "ext4", "/dev/vda1"}));
        DriveMapSetSources(mountinfo.c_str(), nullptr);
        dir.Write(".config/quilb/drives", "q: " + root + "\n");
        qtest::ResetTreeState();
        InitFilterSlots();
        ASSERT_EQ(CompileFilterText(u"*.txt", &gFilterSlots[0], nullptr, 0, nullptr), FILTER_OK);
        gLogMode = LOG_ROOT_ONLY;
        ASSERT_EQ(LogDrive('q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
        // Progress and the look for Esc after every batch, whatever the
        // speed of the machine.
        FindLogStatusEveryForTest(0);
        UiScriptAnswers({});
    }
    void TearDown() override {
        UiScriptEnd();
        FindLogStatusEveryForTest(FINDLOG_STATUS_DEFAULT);
        qtest::FreeTrees();
        InitFilterSlots();
        DriveMapSetSources(nullptr, nullptr);
        PlatformTest::TearDown();
    }
    std::string mountinfo;
};

TEST_F(FindLogScreen, ThePromptLineAndEscWaitingInTheInputStopTheSearch) {
    qtest::Put(qtest::Tap(VK_ESCAPE, 0x01, 27));
    EXPECT_EQ(FindAndLog(), gFindLogFigures.foundDirs ? 1 : 0);
    EXPECT_TRUE(gFindLogFigures.stoppedSearching);
    EXPECT_LE(gFindLogFigures.searched, 31u);
    EXPECT_EQ(qtest::Pending(), 0) << "Esc is taken from the input";
    EXPECT_EQ(gInterruptRequested.load(), 0u);
    EXPECT_EQ(gBusyFlag.load(), 0u) << "the busy state ends with the command";
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    const std::string message = qtest::NarrowText(UiQuestionsAsked()[0].path.c_str());
    if (gFindLogFigures.foundDirs)
        EXPECT_EQ(message, "Stopped - " + std::to_string(gFindLogFigures.foundFiles) +
                               " files found in " + std::to_string(gFindLogFigures.foundDirs) +
                               " directories so far");
    else
        EXPECT_EQ(message, "Stopped - no matching files in " +
                               std::to_string(gFindLogFigures.searched) + " directories searched");
    EXPECT_EQ(qtest::ConsoleText(gMessageRow, 0, 18), u"FIND & LOG: *.txt ");
    EXPECT_EQ(qtest::ConsoleText(gBottomRow, 69, 8), u"Esc Stop");
}

TEST_F(FindLogScreen, ProgressOnTheCommandLinesAndWhereTheTreeStandsAfterwards) {
    EXPECT_EQ(FindAndLog(), 1);
    EXPECT_FALSE(gFindLogFigures.stoppedSearching);
    EXPECT_EQ(gFindLogFigures.foundDirs, 30u);
    EXPECT_TRUE(UiQuestionsAsked().empty());
    // The last progress of the logging, drawn before the last directory.
    EXPECT_EQ(qtest::ConsoleText(gHintRow, 0, 34), u"Logging 30 directories - 29 done  ");
    // The last directory logged, in path order, is where the tree stands.
    ASSERT_TRUE(psiCurrent);
    EXPECT_EQ(std::u16string(psiCurrent->pszFullName), u"Q:\\d9");
    EXPECT_EQ(std::u16string(pdiCurrent->wszSavedPath[0]), u"Q:\\d9");
    EXPECT_EQ(psiCurrent->bLogged, 1);
}

} // namespace
