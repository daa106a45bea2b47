// The logged-volumes dialog on the test process's own console: its lines,
// the keys that save, load, merge or cancel, the name prompt and relative
// names, an existing file kept unless Y, a new file's missing directory,
// a file that cannot be created, a full disk, and the re-sort before a save.
#include "settings/qlog_dialog.h"

#include "fixture.h"
#include "internal/sys.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "platform_fixture.h"
#include "qposix_path.h"
#include "settings/path_lists.h"
#include "settings/settings.h"
#include "tree/branch_links.h"
#include "tree/dir_counts.h"
#include "tree/filter.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/error_dialog.h"
#include "ui/help.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using qtest::Put;
using qtest::ShadowText;
using qtest::Tap;

constexpr DWORD kAlt = LEFT_ALT_PRESSED;

std::u16string WinPath(const std::string& posix) {
    WCHAR out[1025];
    const int n = PathFromPosix(posix.c_str(), out, 1025);
    return n < 0 ? std::u16string() : std::u16string(out);
}

std::vector<INPUT_RECORD> Letter(char c, DWORD state = 0) {
    const char upper = c >= 'a' && c <= 'z' ? char(c - 32) : c;
    return Tap(WORD(upper), 0, WCHAR(c), state);
}
std::vector<INPUT_RECORD> Enter() { return Tap(VK_RETURN, 0x1C, 13); }
std::vector<INPUT_RECORD> Esc() { return Tap(VK_ESCAPE, 0x01, 27); }
std::vector<INPUT_RECORD> F1() { return Tap(VK_F1, 0x3B, 0); }

class QlogDialogTest : public qtest::PlatformTest {
  protected:
    qtest::TempDir dir;
    std::string oldCwd = std::filesystem::current_path();
    std::u16string shown = WinPath(dir.Sub("TEMP.QLOG"));

    void SetUp() override {
        qtest::PlatformTest::SetUp();
        qtest::ResetTreeState();
        InitFilterSlots();
        LoggedPathList(11, 0, u"");
        VolumePathMemo(2, nullptr, nullptr);
        VolumePathMemoAlt(2, nullptr, nullptr);
        gInterruptRequested = 0;
        gSettings.bHighlightDefaults = 1; // a typed name replaces the one shown
        QlogDialogForget();
        std::filesystem::current_path(dir.path());
        qtest::BuildTree('C', u"a\\b\\ a\\f.txt=120#3 top=5#1");
        qtest::BuildTree('E', u"music\\one.ogg=4000#1");
        pdiCurrent = pdiFirst;
        psiCurrent = pdiCurrent->psiRoot;
        RecountAllDisks();
        ScrPutStr(gMessageRow, 0, "message row before", 0x07);
        ScrPutStr(gBottomRow, 0, "bottom row before", 0x07);
    }
    void TearDown() override {
        UiScriptEnd();
        QSysClearFaults();
        std::filesystem::current_path(oldCwd);
        QlogDialogForget();
        qtest::ResetTreeState();
        InitFilterSlots();
        qtest::PlatformTest::TearDown();
    }

    // The dialog with shown as its file and keys waiting.
    int Run(const std::vector<std::vector<INPUT_RECORD>>& keys, BOOL resort = FALSE) {
        for (const auto& k : keys) Put(k);
        std::vector<WCHAR> path(QLOG_NAME_UNITS, 0);
        std::copy(shown.begin(), shown.end(), path.begin());
        const int result = QlogDialog(&switches, path.data(), resort);
        lastShown = path.data();
        return result;
    }

    std::string Image() {
        std::string image;
        EXPECT_TRUE(BuildQlogImage(switches, &image));
        return image;
    }

    QlogPaneSwitches switches{};
    std::u16string lastShown;
};

TEST_F(QlogDialogTest, TheDialogShowsItsLinesAndPutsThemBack) {
    dir.Write("TEMP.QLOG", std::string(12345, 'x'));
    const std::u16string message = ShadowText(gMessageRow, 0, 80);
    const std::u16string bottom = ShadowText(gBottomRow, 0, 80);
    // F1 asks for the dialog's help and the dialog stays; the screen while
    // it waits is read by the help request's moment: after Esc it is gone.
    Put(F1());
    Put(Esc());
    std::vector<WCHAR> path(QLOG_NAME_UNITS, 0);
    std::copy(shown.begin(), shown.end(), path.begin());
    gWindowMode = WM_FILE;
    EXPECT_EQ(QlogDialog(&switches, path.data(), FALSE), 0);
    EXPECT_EQ(HelpLastTopic(), 64);
    EXPECT_EQ(gWindowMode, WM_FILE);
    EXPECT_EQ(ShadowText(gMessageRow, 0, 80), message);
    EXPECT_EQ(ShadowText(gBottomRow, 0, 80), bottom);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("TEMP.QLOG")), std::string(12345, 'x')) << "Esc writes nothing";
}

TEST_F(QlogDialogTest, KeysSaveOrCancel) {
    struct Case {
        const char* what;
        std::vector<std::vector<INPUT_RECORD>> keys;
        int result;
        const char* written; // the file that must hold the image, or null
    };
    const Case kCases[] = {
        {"Alt+R saves to the file shown and resumes", {Letter('r', kAlt)}, 'R', "TEMP.QLOG"},
        {"Alt+Q saves to the file shown and quits", {Letter('q', kAlt)}, 'Q', "TEMP.QLOG"},
        {"the opening letter saves and quits", {Letter('z')}, 'Q', "TEMP.QLOG"},
        {"so does the opening key itself", {Letter('z', kAlt)}, 'Q', "TEMP.QLOG"},
        {"R asks for a name, relative to the current directory",
         {Letter('r'), qtest::TypeText(u"other.qlog"), Enter()}, 'R', "other.qlog"},
        {"Q asks for a name too", {Letter('q'), qtest::TypeText(u"quit.qlog"), Enter()}, 'Q', "quit.qlog"},
        {"Esc at the name goes back to the dialog, Esc there cancels",
         {Letter('r'), Esc(), Esc()}, 0, nullptr},
        {"an unknown key only beeps", {Letter('x'), Esc()}, 0, nullptr},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        // Emptied, not removed: it stays the current directory.
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            std::filesystem::remove_all(entry.path());
        EXPECT_EQ(Run(c.keys), c.result);
        if (c.written) {
            EXPECT_EQ(qtest::ReadFile(dir.Sub(c.written)), Image());
            EXPECT_EQ(lastShown, WinPath(dir.Sub(c.written))) << "the name typed is shown next time";
        } else {
            EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
        }
        EXPECT_EQ(gWindowMode, WM_TREE);
    }
}

TEST_F(QlogDialogTest, LoadAndMergeReadTheFileShownOrTyped) {
    ASSERT_EQ(Run({Letter('r', kAlt)}), 'R');
    const std::string saved = Image();
    // Another tree in memory: load replaces it with what was saved.
    qtest::DisownRecords();
    while (pdiFirst) ReleaseDisk(pdiFirst);
    qtest::BuildTree('D', u"x\\y.txt=1");
    qtest::DisownRecords();
    EXPECT_EQ(Run({Letter('l', kAlt)}), 1);
    EXPECT_EQ(Image(), saved);
    EXPECT_EQ(FindVolume('D'), nullptr) << "a load replaces everything logged";
    // A merge through the name prompt keeps the other letters.
    qtest::BuildTree('D', u"x\\y.txt=1");
    qtest::DisownRecords();
    std::filesystem::rename(dir.Sub("TEMP.QLOG"), dir.Sub("kept.qlog"));
    EXPECT_EQ(Run({Letter('m'), qtest::TypeText(u"kept.qlog"), Enter()}), 1);
    EXPECT_NE(FindVolume('D'), nullptr);
    EXPECT_NE(FindVolume('C'), nullptr);
    EXPECT_NE(FindVolume('E'), nullptr);
    EXPECT_EQ(qtest::CheckTree(), std::vector<std::string>{});
}

TEST_F(QlogDialogTest, AnExistingFileIsReplacedOnlyAfterYes) {
    dir.Write("TEMP.QLOG", "old contents");
    // The question is answered by the script, the dialog by the keys: N
    // goes back to the dialog, where Esc cancels.
    UiScriptAnswers({'n', 27, 'y'});
    EXPECT_EQ(Run({Letter('r', kAlt), Esc()}), 0);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("TEMP.QLOG")), "old contents");
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_STREQ(UiQuestionsAsked()[0].kind, "PromptFileExists");
    EXPECT_EQ(UiQuestionsAsked()[0].path, shown);
    // Esc at the question goes back to the dialog as well.
    EXPECT_EQ(Run({Letter('r', kAlt), Esc()}), 0);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("TEMP.QLOG")), "old contents");
    // Y replaces it.
    EXPECT_EQ(Run({Letter('r', kAlt)}), 'R');
    EXPECT_EQ(qtest::ReadFile(dir.Sub("TEMP.QLOG")), Image());
    EXPECT_EQ(UiQuestionsAsked().size(), 3u);
}

TEST_F(QlogDialogTest, ANewFilesMissingDirectoryIsMadeOnlyOnRequest) {
    shown = WinPath(dir.Sub("new/deeper/saved.qlog"));
    UiScriptAnswers({'n'});
    EXPECT_EQ(Run({Letter('r', kAlt), Esc()}), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("new")));
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_STREQ(UiQuestionsAsked()[0].kind, "PromptYesNo");
    UiScriptEnd();
    UiScriptAnswers({'y'});
    EXPECT_EQ(Run({Letter('q', kAlt)}), 'Q');
    EXPECT_EQ(qtest::ReadFile(dir.Sub("new/deeper/saved.qlog")), Image());
}

TEST_F(QlogDialogTest, AFileThatCannotBeCreatedIsReportedWithRetry) {
    // The temporary file's name is taken by a directory: every open fails.
    dir.MakeDir("TEMP.QLOG.$$$");
    UiScriptAnswers({'r', 27});
    EXPECT_EQ(Run({Letter('r', kAlt)}), 0) << "Esc at the report ends the dialog";
    ASSERT_EQ(UiQuestionsAsked().size(), 2u) << "Retry tried once more";
    for (const UiQuestion& q : UiQuestionsAsked()) EXPECT_EQ(q.path, shown);
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("TEMP.QLOG")));
}

TEST_F(QlogDialogTest, NextAfterAFailedOpenGoesBackToTheDialog) {
    // A path that cannot be found is reported on the error line: Enter is
    // "next", which the writer hands back for the dialog to ask again.
    UiScriptAnswers({13});
    QSysInjectFault(QSYS_OPEN, 1, ENOENT);
    EXPECT_EQ(SaveQlogFile(shown.c_str(), switches), ErrChoiceNext);
    QSysClearFaults();
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_STREQ(UiQuestionsAsked()[0].kind, "ReportError");
    EXPECT_EQ(UiQuestionsAsked()[0].code, DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("TEMP.QLOG")));
}

TEST_F(QlogDialogTest, AFullDiskNeverEndsInQuit) {
    dir.Write("TEMP.QLOG", "old contents");
    // The disk fills when the file is flushed (a write fault could hit the
    // console's own output to its terminal instead).
    UiScriptAnswers({'y', 13});
    QSysInjectFault(QSYS_FSYNC, 1, ENOSPC);
    EXPECT_EQ(Run({Letter('q', kAlt)}), 0) << "the caller must not quit after a failed save";
    QSysClearFaults();
    EXPECT_EQ(qtest::ReadFile(dir.Sub("TEMP.QLOG")), "old contents");
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("TEMP.QLOG.$$$")));
    ASSERT_EQ(UiQuestionsAsked().size(), 2u);
    EXPECT_EQ(UiQuestionsAsked()[1].path, u"Disk Full");
}

TEST_F(QlogDialogTest, EscDuringTheTreesAbandonsTheSave) {
    dir.Write("TEMP.QLOG", "old contents");
    gQlogTreeWritten = [] { gInterruptRequested = 1; };
    UiScriptAnswers({'y', 27});
    EXPECT_EQ(Run({Letter('r', kAlt)}), 0);
    gQlogTreeWritten = nullptr;
    EXPECT_EQ(qtest::ReadFile(dir.Sub("TEMP.QLOG")), "old contents");
    ASSERT_EQ(UiQuestionsAsked().size(), 2u);
    EXPECT_EQ(UiQuestionsAsked()[1].path, u"QLOG saving interrupted!  Continue?");
}

TEST_F(QlogDialogTest, ReSortPutsTheFilesInThePanesOrderFirst) {
    SubdirInfo* top = pdiCurrent->psiRoot;
    // Long names, so that they stand in the file as UTF-8 lines.
    qtest::BuildFiles(top, {{u"zeta with a long name.txt", 1, {0, 0}, 0},
                            {u"alpha with a long name.txt", 2, {0, 0}, 0}});
    gFileOrder[0].key = SORT_NAME;
    gArrayOrder.key = SORT_UNSORTED;
    auto order = [&](const std::string& image) {
        return image.find("alpha with") < image.find("zeta with") ? "sorted" : "as logged";
    };
    ASSERT_EQ(Run({Letter('r', kAlt)}, FALSE), 'R');
    EXPECT_STREQ(order(qtest::ReadFile(dir.Sub("TEMP.QLOG"))), "as logged");
    UiScriptAnswers({'y'});
    ASSERT_EQ(Run({Letter('r', kAlt)}, TRUE), 'R');
    EXPECT_STREQ(order(qtest::ReadFile(dir.Sub("TEMP.QLOG"))), "sorted");
}

} // namespace
