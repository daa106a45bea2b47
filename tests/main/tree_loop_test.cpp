// The tree window loop's own rules: the speed search's state over typed
// keys (with a fake search step that records what it is asked), the drag
// on the tree rows, the alternative key assignment, and the loop itself on
// the test process's console with a recorder in place of the file window.
#include "main/file_window.h"
#include "main/startup_options.h"
#include "main/tree_loop.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "platform_fixture.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/tree_records.h"
#include "tree_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// ---- the speed search --------------------------------------------------------------

struct StepCall {
    KeyCode code;
    std::u16string main;
    std::u16string second;
};

std::vector<StepCall> gSteps;

// The fake step: records the parts as the step would read them and moves
// the cursor one row, as a search that found the next line does.
KeyCode FakeStep(KeyCode code, TreePosition* pos) {
    const PaneState& s = gPanes[gCurrentPane];
    gSteps.push_back({code, std::u16string(s.TreeSearchMain, s.TreeSearchMainLen),
                      std::u16string(s.TreeSearchSecond, s.TreeSearchSecondLen)});
    pos->row++;
    return KC_INTERNAL + 23;
}

constexpr DWORD kShift = 0x200;
constexpr KeyCode kStep = KC_INTERNAL + 25;
constexpr KeyCode kNext = KC_INTERNAL + 26;

class TreeSearch : public ::testing::Test {
  protected:
    TreePosition pos = {5, 7, 6};

    void SetUp() override {
        qtest::ResetTreeState();
        gPanes[0] = PaneState{};
        gPanes[1] = PaneState{};
        gTreeSearchKept[0] = {};
        gTreeSearchKept[1] = {};
        gSettings.bSpellSearch = 1;
        gSettings.bSpellPlusMinus = 0;
        gSettings.bSpellLessGreater = 0;
        gSettings.bSpellBrackets = 0;
        gSteps.clear();
        saved_ = gTreeSearchStep;
        gTreeSearchStep = FakeStep;
    }
    void TearDown() override { gTreeSearchStep = saved_; }

    // Feeds key; whether the search took it, and the key to follow.
    bool Press(KeyCode key, DWORD flags = 0, KeyCode* next = nullptr) {
        KeyCode follow = 0;
        const bool taken = TreeSearchKey(key, flags, &pos, &follow);
        if (next) *next = follow;
        return taken;
    }
    void Type(const std::string& text) {
        for (char c : text)
            ASSERT_TRUE(Press(KeyCode(c))) << c;
    }
    PaneState& S() { return gPanes[0]; }
    std::u16string Main() { return std::u16string(S().TreeSearchMain, S().TreeSearchMainLen); }
    std::u16string Second() { return std::u16string(S().TreeSearchSecond, S().TreeSearchSecondLen); }

  private:
    TreeSearchStepFn saved_ = nullptr;
};

TEST_F(TreeSearch, TypedCharactersGrowTheTextAndRunTheStepFromTheFirstPosition) {
    Type("AB1");
    ASSERT_EQ(gSteps.size(), 3u);
    EXPECT_EQ(gSteps[0].main, u"A");
    EXPECT_EQ(gSteps[2].main, u"AB1");
    for (const StepCall& call : gSteps)
        EXPECT_EQ(call.code, kStep);
    // The position before the first character is kept, not the later ones.
    EXPECT_EQ(S().SavedTreeTop, 5u);
    EXPECT_EQ(S().SavedTreeRow, 7u);
    EXPECT_EQ(S().SavedTreeColumn, 6u);
    EXPECT_EQ(pos.row, 10) << "the fake step moved the cursor three times";
}

TEST_F(TreeSearch, WhichKeysSearch) {
    struct Case {
        KeyCode key;
        DWORD flags;
        BYTE plusMinus, lessGreater, brackets;
        bool searches;
    };
    const Case cases[] = {
        {'Q', 0, 0, 0, 0, true},      {'7', 0, 0, 0, 0, true},
        {'q', 0, 0, 0, 0, false},     {'t', kShift, 0, 0, 0, false},
        {'!', kShift, 0, 0, 0, true}, {'!', 0, 0, 0, 0, false},
        {' ', kShift, 0, 0, 0, true}, {'`', kShift, 0, 0, 0, true},
        {'*', 0, 0, 0, 0, false},     {'*', 0, 1, 0, 0, true},
        {'-', 0x100, 1, 0, 0, false}, {'?', 0, 0, 1, 0, true},
        {'?', 0, 0, 0, 0, false},     {'{', 0, 0, 0, 1, true},
        {KC_DOWN, 0, 1, 1, 1, false}, {KC_ENTER, 0, 1, 1, 1, false},
    };
    for (const Case& c : cases) {
        gPanes[0] = PaneState{};
        gSteps.clear();
        gSettings.bSpellPlusMinus = c.plusMinus;
        gSettings.bSpellLessGreater = c.lessGreater;
        gSettings.bSpellBrackets = c.brackets;
        EXPECT_EQ(Press(c.key, c.flags), c.searches) << "key " << c.key << " flags " << c.flags;
        EXPECT_EQ(gSteps.size(), c.searches ? 1u : 0u) << "key " << c.key;
    }
}

TEST_F(TreeSearch, TheThirtyFirstCharacterIsNotAddedButTheStepRunsAgain) {
    Type(std::string(30, 'A'));
    ASSERT_EQ(Main(), std::u16string(30, u'A'));
    KeyCode next = 0;
    EXPECT_TRUE(Press('B', 0, &next));
    EXPECT_EQ(Main(), std::u16string(30, u'A'));
    EXPECT_EQ(S().TreeSearchMain[30], 0) << "still zero-ended";
    ASSERT_EQ(gSteps.size(), 31u);
    EXPECT_EQ(gSteps.back().code, kStep);
    EXPECT_EQ(next, KC_INTERNAL + 23);
}

TEST_F(TreeSearch, ColonSendsCharactersToTheSecondPartOfAtMostTen) {
    Type("AB");
    KeyCode next = -5;
    EXPECT_TRUE(Press(':', kShift, &next));
    EXPECT_EQ(next, 0) << "no step for the colon";
    EXPECT_EQ(gSteps.size(), 2u);
    Type(std::string(11, 'C'));
    EXPECT_EQ(Main(), u"AB");
    EXPECT_EQ(Second(), std::u16string(10, u'C'));
    EXPECT_EQ(gSteps.size(), 13u);
    // Back to the first part.
    EXPECT_TRUE(Press(':', kShift));
    Type("D");
    EXPECT_EQ(Main(), u"ABD");
}

TEST_F(TreeSearch, LessAndGreaterAreStoredAsCommaAndPeriod) {
    gSettings.bSpellLessGreater = 1;
    Press('A');
    Press('<');
    Press('>');
    EXPECT_EQ(Main(), u"A,.");
}

TEST_F(TreeSearch, ShiftEscPutsTheCursorBackAndEmptiesEverything) {
    Type("AB");
    EXPECT_NE(pos.row, 7);
    KeyCode next = 0;
    EXPECT_TRUE(Press(KC_SH_ESC, 0, &next));
    EXPECT_EQ(pos.top, 5u);
    EXPECT_EQ(pos.row, 7);
    EXPECT_EQ(pos.column, 6);
    EXPECT_EQ(next, KC_INTERNAL + 23) << "the tree window is drawn with the cursor back";
    EXPECT_EQ(S().TreeSearchMainLen, 0);
    EXPECT_EQ(S().TreeSearchMain[0], 0);
    EXPECT_EQ(gSteps.size(), 2u) << "no step";
    // Nothing to take back afterwards.
    EXPECT_TRUE(Press(KC_SH_BKSP, 0, &next));
    EXPECT_EQ(next, 0);
    EXPECT_EQ(gSteps.size(), 2u);
}

TEST_F(TreeSearch, ShiftEscWithoutASearchLeavesTheCursor) {
    KeyCode next = -5;
    EXPECT_TRUE(Press(KC_SH_ESC, 0, &next));
    EXPECT_EQ(next, 0);
    EXPECT_EQ(pos.row, 7);
    EXPECT_EQ(pos.top, 5u);
}

TEST_F(TreeSearch, ACommandKeyEndsTheSearchAndShiftBackspaceTakesItBackLessOne) {
    Type("ABC");
    EXPECT_FALSE(Press('x'));
    EXPECT_EQ(S().TreeSearchMainLen, 0) << "ended";
    EXPECT_EQ(gTreeSearchKept[0].mainLen, 3);
    KeyCode next = 0;
    EXPECT_TRUE(Press(KC_SH_BKSP, 0, &next));
    EXPECT_EQ(Main(), u"AB");
    EXPECT_EQ(S().SearchState, DWORD(KC_SH_BKSP));
    ASSERT_EQ(gSteps.size(), 4u);
    EXPECT_EQ(gSteps.back().code, kStep);
    EXPECT_EQ(gSteps.back().main, u"AB");
    // Down to nothing: the text and the part switch are cleared.
    Press(KC_SH_BKSP);
    Press(KC_SH_BKSP);
    EXPECT_EQ(Main(), u"");
    EXPECT_EQ(gTreeSearchKept[0].mainLen, 0);
    const size_t steps = gSteps.size();
    EXPECT_TRUE(Press(KC_SH_BKSP, 0, &next));
    EXPECT_EQ(next, 0);
    EXPECT_EQ(gSteps.size(), steps) << "nothing left to remove";
}

TEST_F(TreeSearch, ShiftBackspaceTakesFromTheSecondPartWhileItIsChosen) {
    Type("AB");
    Press(':', kShift);
    Type("CD");
    Press(KC_SH_BKSP);
    EXPECT_EQ(Main(), u"AB");
    EXPECT_EQ(Second(), u"C");
}

TEST_F(TreeSearch, TheDoubleQuoteSearchesAgainWithTheKeptText) {
    KeyCode next = -5;
    EXPECT_TRUE(Press(KC_QUOTE, 0, &next));
    EXPECT_EQ(next, 0) << "nothing to search for";
    EXPECT_TRUE(gSteps.empty());
    Type("AB");
    EXPECT_FALSE(Press(KC_DOWN));
    EXPECT_TRUE(Press(KC_QUOTE, 0, &next));
    ASSERT_EQ(gSteps.size(), 3u);
    EXPECT_EQ(gSteps.back().code, kNext);
    EXPECT_EQ(gSteps.back().main, u"AB");
}

TEST_F(TreeSearch, SomeKeysLeaveTheSearchRunning) {
    for (KeyCode key : {KC_TAB, KeyCode('|'), KC_F1, KcAltF(7), KC_INTERNAL + 27, KC_INTERNAL + 99}) {
        gPanes[0] = PaneState{};
        Type("AB");
        EXPECT_FALSE(Press(key)) << key;
        EXPECT_EQ(S().TreeSearchMainLen, 2) << key;
    }
    EXPECT_FALSE(Press(KC_F4));
    EXPECT_EQ(S().TreeSearchMainLen, 0);
}

TEST_F(TreeSearch, EachPaneKeepsItsOwnSearch) {
    Type("AB");
    Press(KC_DOWN);
    SetCurrentPane(1);
    Type("Z");
    Press(KC_DOWN);
    EXPECT_EQ(gTreeSearchKept[0].mainLen, 2);
    EXPECT_EQ(gTreeSearchKept[1].mainLen, 1);
    SetCurrentPane(0);
}

// ---- the drag on the tree rows -----------------------------------------------------

TEST(TreeScrollDrag, TopAndRowForTheDraggedRow) {
    struct Case {
        const char* what;
        int r;
        DWORD L;
        int R;
        DWORD F;
        DWORD top;
        WORD row;
        DWORD wantTop;
        WORD wantRow;
        bool repaint;
        bool moved;
    };
    const Case cases[] = {
        {"the top row shows the root", 0, 100, 20, 0, 40, 5, 0, 0, true, true},
        {"the last row shows the last page", 20, 100, 20, 0, 0, 0, 80, 20, true, true},
        {"a middle row, in proportion", 10, 100, 20, 0, 0, 0, 48, 10, true, true},
        {"below the window: nothing", 21, 100, 20, 0, 30, 4, 30, 4, false, false},
        {"a short tree: the row only", 3, 5, 20, 0, 0, 0, 0, 3, false, true},
        {"a short tree past its last line", 10, 5, 20, 0, 0, 0, 0, 5, false, true},
        {"the same place again", 3, 5, 20, 0, 0, 3, 0, 3, false, false},
        {"three empty rows above the root", 0, 100, 20, 3, 40, 5, 3, 0, true, true},
        {"a short tree keeps the cursor off the empty rows", 1, 5, 20, 3, 0, 3, 0, 3, false,
         false},
    };
    for (const Case& c : cases) {
        const ScrollDragResult got = ScrollTrackDrag(c.r, c.L, c.R, c.F, c.top, c.row);
        EXPECT_EQ(got.top, c.wantTop) << c.what;
        EXPECT_EQ(got.row, c.wantRow) << c.what;
        EXPECT_EQ(got.repaint, c.repaint) << c.what;
        EXPECT_EQ(got.moved, c.moved) << c.what;
    }
}

// ---- the alternative key assignment --------------------------------------------------

TEST(TreeAltKeys, TranslationsOnlyUnderTheAlternativeAssignment) {
    struct Case {
        KeyCode key;
        KeyCode plain;
        KeyCode alternative;
    };
    const Case cases[] = {
        {'+', '+', '>'}, {'=', '=', '>'}, {'-', '-', '<'}, {'_', '_', '<'},
        {',', ',', 0},   {'.', '.', 0},   {'<', '<', 0},   {'>', '>', 0},
        {KC_DEL, KC_DEL, 11}, {'q', 'q', 'q'}, {KC_DOWN, KC_DOWN, KC_DOWN},
    };
    const DWORD saved = gAltKeyMode;
    for (const Case& c : cases) {
        gAltKeyMode = 0;
        EXPECT_EQ(TreeAltKeyTranslate(c.key), c.plain) << c.key;
        gAltKeyMode = 1;
        EXPECT_EQ(TreeAltKeyTranslate(c.key), c.alternative) << c.key;
    }
    // A comma or period handed back by the file window is the previous or
    // next disk's key there.
    gAltKeyMode = 1;
    EXPECT_EQ(TreeAltKeyTranslate(TreeAltReturnKey(',')), '<');
    EXPECT_EQ(TreeAltKeyTranslate(TreeAltReturnKey('.')), '>');
    EXPECT_EQ(TreeAltReturnKey('x'), 'x');
    gAltKeyMode = 0;
    EXPECT_EQ(TreeAltReturnKey(','), ',');
    gAltKeyMode = saved;
}

// ---- the loop on the console ----------------------------------------------------------

// What the file window found when it was entered, and the keys it ends
// with, one per entry.
struct FileWindowVisit {
    std::string directory;
    WORD windowMode;
    WORD displayMode;
    DWORD taggedOnly;
    DWORD listed;
};
std::vector<FileWindowVisit> gVisits;
std::vector<KeyCode> gFileWindowEnds;

// The file window writes its own headings where the panel has the
// directory's.
void ScribbleOverHeadings() {
    for (int row = 20; row <= 23 && row < gScreenRows; row++)
        ScrHLine(row, gScreenCols - 21, 20, u'X', u'X', u'X', 0x70);
}

KeyCode RecordingFileWindow(int first) {
    EXPECT_EQ(first, 1) << "entered afresh";
    ScribbleOverHeadings();
    gVisits.push_back({psiCurrent ? qtest::NarrowText(psiCurrent->pszName) : "",
                       gWindowMode, gDisplayMode[0], gTaggedOnly[0], gFMax});
    if (gVisits.size() > gFileWindowEnds.size()) return KC_ESC;
    return gFileWindowEnds[gVisits.size() - 1];
}

void NoWait(DWORD) {}

class TreeLoop : public qtest::PlatformTest {
  protected:
    DiskInfo* disk = nullptr;

    void SetUp() override {
        PlatformTest::SetUp();
        qtest::ResetTreeState();
        gTreeIndent = 3;
        gSettings.bSpellSearch = 0;
        gSettings.bQuitConfirm = 1;
        gSettings.bEmptyWindowAccess = 0;
        gNoQuitConfirm = FALSE;
        ConfirmQuitSetWaitForTest(NoWait);
        gTreeSearchKept[0] = {};
        gVisits.clear();
        gFileWindowEnds.clear();
        saved_ = gTreeFileWindow;
        gTreeFileWindow = RecordingFileWindow;
        Build();
    }
    // The root, a (row 1) with b (row 2) below it, c (row 3) and the empty
    // e (row 4), current with the cursor on the root.
    void Build() {
        disk = qtest::BuildTree('X', u"r.txt=1 a\\g.txt=5 a\\b\\f.txt=10 c\\h.txt=3 e\\");
        pdiCurrent = disk;
        psiCurrent = disk->psiRoot;
        showtree();
    }
    void TearDown() override {
        gTreeFileWindow = saved_;
        ConfirmQuitSetWaitForTest(nullptr);
        KeyPushStack.count = 0;
        for (int p = 0; p < 2; p++) {
            std::free(gTreeLines[p]);
            gTreeLines[p] = nullptr;
            gTreeLineRows[p] = 0;
        }
        qtest::ResetTreeState();
        PlatformTest::TearDown();
    }
    // Puts the tree cursor on window row row.
    void CursorOn(WORD row) {
        disk->dwTreeTop[0] = 0;
        disk->yBar[0] = row;
    }
    // Queues keys to be read in the order given.
    static void Keys(std::vector<KeyCode> keys) {
        for (auto k = keys.rbegin(); k != keys.rend(); ++k)
            ASSERT_TRUE(KbdStackKey(*k));
    }
    std::string Current() const { return psiCurrent ? qtest::NarrowText(psiCurrent->pszName) : ""; }

  private:
    KeyCode (*saved_)(int) = nullptr;
};

TEST_F(TreeLoop, EnterOpensTheFileWindowOnTheCursorsDirectoryAndComesBack) {
    CursorOn(2);
    // Ctrl-Enter with nothing tagged opens nothing; after 't' on b (which
    // moves down) and Up it lists the tagged file.
    Keys({KC_ENTER, KC_CTRL_ENTER, 't', KC_UP, KC_CTRL_ENTER, 'q', 'y'});
    EXPECT_EQ(TreeWindowLoop(0), 'q');
    ASSERT_EQ(gVisits.size(), 2u);
    EXPECT_EQ(gVisits[0].directory, "b");
    EXPECT_EQ(gVisits[0].windowMode, WM_FILE);
    EXPECT_EQ(gVisits[0].displayMode, 1);
    EXPECT_EQ(gVisits[0].taggedOnly, 0u);
    EXPECT_EQ(gVisits[0].listed, 1u) << "f.txt";
    EXPECT_EQ(gVisits[1].directory, "b");
    EXPECT_EQ(gVisits[1].taggedOnly, 1u) << "Ctrl-Enter lists tagged entries only";
    EXPECT_EQ(gVisits[1].listed, 1u);
    EXPECT_EQ(gTaggedOnly[0], 1u);
    EXPECT_EQ(gWindowMode, WM_TREE);
    EXPECT_EQ(gFileList, nullptr) << "the list is freed when the window ends";
    EXPECT_EQ(gFMax, 0u);
}

TEST_F(TreeLoop, ThePanelsHeadingsComeBackAfterTheFileWindow) {
    struct Case {
        const char* what;
        int rows;
        DWORD dirMode;
        DWORD kept;
        std::u16string row20, row21, row22, row23;
    };
    const std::u16string x20(20, u'X');
    const Case cases[] = {
        {"files, 30 rows", 30, 0, 0, u"File", u"Bytes", u"Attributes     ", std::u16string(20, u' ')},
        {"directories", 30, 1, 0, u"Dirs ", u"Bytes", u"Attributes     ", std::u16string(20, u' ')},
        {"27 rows: no row 23", 27, 0, 0, u"File", u"Bytes", u"Attributes     ", x20},
        {"a kept file window keeps its headings", 30, 0, 1, x20, x20, x20, x20},
    };
    // Opened even where it lists nothing: the headings are the point here.
    gSettings.bEmptyWindowAccess = 2;
    for (const Case& c : cases) {
        ScrSetupLayout(c.rows, 80, 1);
        pdiCurrent = disk;
        CursorOn(1);
        gDirMode[0] = c.dirMode;
        gPanes[0].FileWindowKept = c.kept;
        Keys({KC_ENTER, 'q', 'y'});
        EXPECT_EQ(TreeWindowLoop(0), 'q') << c.what;
        const int column = 80 - 21;
        EXPECT_EQ(qtest::ConsoleText(20, column, int(c.row20.size())), c.row20) << c.what;
        EXPECT_EQ(qtest::ConsoleText(21, column, int(c.row21.size())), c.row21) << c.what;
        EXPECT_EQ(qtest::ConsoleText(22, column, int(c.row22.size())), c.row22) << c.what;
        EXPECT_EQ(qtest::ConsoleText(23, column, int(c.row23.size())), c.row23) << c.what;
    }
    gDirMode[0] = 0;
    gPanes[0].FileWindowKept = 0;
}

// An empty list is opened for a key only when the settings allow it; the
// loop's own requests always open it.
TEST_F(TreeLoop, AnEmptyListOpensOnlyWhereAllowed) {
    struct Case {
        KeyCode key;
        BYTE access;
        bool entered;
    };
    const Case cases[] = {
        {KC_ENTER, 0, false}, {KC_ENTER, 2, true}, {KC_INS, 0, false},
        {KC_INTERNAL + 96, 0, true}, {KC_CTRL_ENTER, 2, false},
    };
    for (const Case& c : cases) {
        gVisits.clear();
        gSettings.bEmptyWindowAccess = c.access;
        CursorOn(4);
        Keys({c.key, 'q', 'y'});
        EXPECT_EQ(TreeWindowLoop(0), 'q');
        EXPECT_EQ(gVisits.size(), c.entered ? 1u : 0u) << c.key << " access " << int(c.access);
        if (!gVisits.empty()) {
            EXPECT_EQ(gVisits[0].directory, "e");
        }
        EXPECT_EQ(gFileList, nullptr);
        EXPECT_EQ(gTaggedOnly[0], 0u);
    }
}

// The file window's Backspace hands back 4150: the tree cursor goes to the
// parent first, so that the parent's list is the one opened.
TEST_F(TreeLoop, BackspaceFromTheFileWindowOpensTheParentsList) {
    CursorOn(2);
    gFileWindowEnds = {KC_INTERNAL + 54, KC_INTERNAL + 54, KC_ESC};
    Keys({KC_ENTER, 'q', 'y'});
    EXPECT_EQ(TreeWindowLoop(0), 'q');
    ASSERT_EQ(gVisits.size(), 3u);
    EXPECT_EQ(gVisits[0].directory, "b");
    EXPECT_EQ(gVisits[1].directory, "a");
    EXPECT_EQ(gVisits[2].directory, "X:\\") << "and from a level-one directory, the root";
    EXPECT_EQ(gVisits[1].listed, 1u) << "g.txt";
    EXPECT_EQ(Current(), "X:\\");
    EXPECT_EQ(disk->yBar[0], 0);
}

// A quit key handed back by the file window ends the program at once; the
// keys queued behind it are left, where a second question would have read
// them.
TEST_F(TreeLoop, AQuitKeyFromTheFileWindowAsksNothingMore) {
    for (const KeyCode quit : {KeyCode('q'), KcAlt('Q'), KcCtrl('Q')}) {
        gVisits.clear();
        gFileWindowEnds = {quit};
        KeyPushStack.count = 0;
        Keys({KC_ENTER, 'n', KcCtrl('Q'), 'y'});
        EXPECT_EQ(TreeWindowLoop(0), quit) << quit;
        EXPECT_EQ(KeyPushStack.count, 3) << quit;
    }
}

TEST_F(TreeLoop, QuitKeysAskFirstAndNoGoesOn) {
    Keys({'q', 'n', KcAlt('Q'), KC_ESC, KcCtrl('Q'), 'y'});
    EXPECT_EQ(TreeWindowLoop(0), KcCtrl('Q'));
    EXPECT_EQ(KeyPushStack.count, 0);
}

TEST_F(TreeLoop, TagAndUntagTheDirectorysFilesThenGoDown) {
    CursorOn(1);
    Keys({'t', 'q', 'y'});
    EXPECT_EQ(TreeWindowLoop(0), 'q');
    const SubdirInfo* a = disk->psiRoot->psiChild;
    ASSERT_EQ(qtest::NarrowText(a->pszName), "a");
    EXPECT_EQ(a->dwTagFiles[0], 1u);
    EXPECT_EQ(Current(), "b") << "then Down";
    CursorOn(1);
    Keys({'u', 'q', 'y'});
    TreeWindowLoop(0);
    EXPECT_EQ(a->dwTagFiles[0], 0u);
}

// Ctrl-T and Ctrl-U over the disk, Ctrl-F7, Ctrl-F8 and Ctrl-F9 over the
// cursor's branch (a: g.txt, and b's f.txt).
TEST_F(TreeLoop, CtrlKeysTagTheDiskOrTheBranch) {
    struct Case {
        const char* what;
        std::vector<KeyCode> keys;
        DWORD diskTagged;
        DWORD rootTagged;
    };
    const Case cases[] = {
        {"Ctrl-T tags every file of the disk", {KcCtrl('T')}, 4, 1},
        {"Ctrl-U takes them away", {KcCtrl('T'), KcCtrl('U')}, 0, 0},
        {"Ctrl-F7 tags the branch", {KcCtrlF(7)}, 2, 0},
        {"Ctrl-F8 untags it", {KcCtrl('T'), KcCtrlF(8)}, 2, 1},
        {"Ctrl-F9 inverts it", {KcCtrlF(7), KcCtrlF(9)}, 0, 0},
    };
    for (const Case& c : cases) {
        qtest::ResetTreeState();
        Build();
        CursorOn(1);
        std::vector<KeyCode> keys = c.keys;
        keys.push_back('q');
        keys.push_back('y');
        Keys(keys);
        EXPECT_EQ(TreeWindowLoop(0), 'q') << c.what;
        EXPECT_EQ(disk->dwTagFiles[0], c.diskTagged) << c.what;
        EXPECT_EQ(disk->psiRoot->dwTagFiles[0], c.rootTagged) << c.what;
        EXPECT_EQ(Current(), "a") << c.what << ": the cursor stays";
    }
}

TEST_F(TreeLoop, ShiftArrowsChangeTheNameWidthWithinItsLimits) {
    gFileDisplayFormat = 1;
    struct Case {
        const char* what;
        BYTE start;
        DWORD dirMode;
        std::vector<KeyCode> keys;
        BYTE want;
    };
    const Case cases[] = {
        {"Shift+Right at 3 stays", 3, 0, {KC_SH_RIGHT}, 3},
        {"Shift+Right takes one", 8, 0, {KC_SH_RIGHT, KC_SH_RIGHT}, 6},
        {"Shift+Left grows up to the name width less 9", 3, 0,
         std::vector<KeyCode>(20, KC_SH_LEFT), 11},
        {"Shift+Home goes back to 3", 9, 0, {KC_SH_HOME}, 3},
        {"Shift+Home does nothing while directories are listed", 9, 1, {KC_SH_HOME}, 9},
    };
    for (const Case& c : cases) {
        gNameFieldWidth = c.start;
        gNameLengthLimit = c.start;
        gDirMode[0] = c.dirMode;
        gPanes[0].NameWidth = 20;
        std::vector<KeyCode> keys = c.keys;
        keys.push_back('q');
        keys.push_back('y');
        Keys(keys);
        TreeWindowLoop(0);
        EXPECT_EQ(gNameFieldWidth, c.want) << c.what;
        EXPECT_EQ(gNameLengthLimit, c.want) << c.what;
    }
    gDirMode[0] = 0;
}

} // namespace
