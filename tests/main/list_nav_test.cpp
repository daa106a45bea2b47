// The tree list's movement keys on the test process's own console: where
// each key leaves the window's top and the cursor row on a tree built in
// memory, with the tree's lines in their plain form and in the fixed-row
// form, the cursor bar taken away and the lines repainted after a scroll,
// and the stops of a playing macro at the list's ends.
#include "main/list_nav.h"

#include "main/startup_options.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "platform_fixture.h"
#include "fixture.h"
#include "qposix_drives.h"
#include "settings/settings.h"
#include "tree/tree_records.h"
#include "tree_builder.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Key codes as the key reader delivers them.
constexpr KeyCode kMoved = 4119;
constexpr KeyCode kPaneChange = 4123;
constexpr KeyCode kLetterJump = 4124;
constexpr KeyCode kSearchAgain = 4122;
constexpr KeyCode kUp = 294, kDown = 296, kRight = 295, kLeft = 293, kPgUp = 289, kPgDn = 290;
constexpr KeyCode kHome = 292, kEnd = 291, kBksp = 8, kSpace = 32, kClear = 268, kDel = 302;
constexpr KeyCode kShiftPad5 = 524, kShiftPad1 = 547, kShiftPad9 = 545, kShiftPad2 = 552;
constexpr KeyCode kShiftGreyUp = 806, kShiftGreyDown = 808, kShiftGreyPgUp = 801, kShiftGreyPgDn = 802;
constexpr KeyCode kCtrlUp = 1062, kCtrlDown = 1064, kCtrlPgUp = 1057, kCtrlPgDn = 1058;
constexpr KeyCode kCtrlHome = 1060, kCtrlEnd = 1059, kCtrlLeft = 1061, kCtrlRight = 1063;
constexpr KeyCode kTab = 9, kCtrlTab = 1033, kShiftTab = 521, kCtrlShiftTab = 1545;
constexpr KeyCode kAltSemicolon = 2234, kF6 = 373;

constexpr BYTE kNormal = 0x07;
constexpr BYTE kBar = 0x30;
// The window's last row: ten tree rows on screen rows 2 to 11.
constexpr WORD kBottom = 9;

// The tree every case runs on, one line each in this order (list index
// without the rows above the root):
//  0 root, 1 a, 2 a1, 3 a2, 4 y (in a2), 5 b, 6 c, 7 c1, 8 d00 ... 27 d19.
std::u16string TreeText() {
    std::u16string text = u"a\\a1\\ a\\a2\\y\\ b\\ c\\c1\\";
    for (int i = 0; i < 20; i++) {
        text += u" d";
        text += char16_t(u'0' + i / 10);
        text += char16_t(u'0' + i % 10);
        text += u'\\';
    }
    return text;
}
constexpr DWORD kLast = 27;

// One key from a position, and where it should leave the cursor.
struct Case {
    const char* what;
    KeyCode key;
    DWORD top;
    WORD row;
    KeyCode result;
    DWORD newTop;
    WORD newRow;
    WCHAR letter = 0;
};

class ListNav : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        qtest::ResetTreeState();
        gNormalAttr = kNormal;
        savedSmallRow_ = gSmallWindowRow;
        savedLastRow_ = gTreeLastRowIndex;
        gSmallWindowRow = kBottom + 4;
        gTreeLastRowIndex = kBottom;
        gSettings.bFixedBar = 0;
        gSettings.bSwapTabCtrlTab = 0;
        gAltKeyMode = 0;
        gSplitScreen = 0;
        gTreeSearchHit = nullptr;
        MacroStop();
        MacroStopFlags = {};
        disk_ = qtest::BuildTree('X', TreeText());
        pdiCurrent = disk_;
        psiCurrent = disk_->psiRoot;
    }
    void TearDown() override {
        MacroStop();
        MacroStopFlags = {};
        for (int p = 0; p < 2; p++) {
            std::free(gTreeLines[p]);
            gTreeLines[p] = nullptr;
            gTreeLineRows[p] = 0;
        }
        gSmallWindowRow = savedSmallRow_;
        gTreeLastRowIndex = savedLastRow_;
        gSettings.bFixedBar = 0;
        gSettings.bSwapTabCtrlTab = 0;
        gAltKeyMode = 0;
        gSplitScreen = 0;
        gPickerActive = 0;
        gTreeFirstLine = 0;
        DriveMapClear('Q');
        qtest::ResetTreeState();
        PlatformTest::TearDown();
    }

    // Lays the lines out, with three empty rows above the root in fixed-row
    // mode.
    void Layout(bool fixedRow) {
        gSettings.bFixedBar = fixedRow ? 1 : 0;
        gTreeFirstLine = fixedRow ? 3 : 0;
        showtree();
        ASSERT_EQ(disk_->dwTreeRows, kLast);
    }

    static SubdirInfo* Dir(const char16_t* path) { return FindDirByPath(path, nullptr, TRUE); }
    static SubdirInfo* Line(DWORD index) { return FindPathFromPos(index, 0, 0); }
    static std::string Name(DWORD index) {
        const SubdirInfo* dir = Line(index);
        return dir && dir->pszName ? qtest::NarrowText(dir->pszName) : std::string("(none)");
    }

    // The outcome of one key from a position.
    struct Outcome {
        KeyCode result;
        DWORD top;
        WORD row;
        WORD column;
    };
    Outcome Press(KeyCode key, DWORD top, WORD row, WCHAR letter = 0, int picker = 0) {
        psiCurrent = Line(top + row);
        WORD column = psiCurrent ? WORD(psiCurrent->wLevel * gTreeIndent) : 0;
        const KeyCode result = ListNavKey(key, &column, &row, 1, &top, letter, picker);
        return {result, top, row, column};
    }

    // Each case from its own position; a move also sets the cursor column to
    // the level of the line it reached.
    void Run(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            const Outcome out = Press(c.key, c.top, c.row, c.letter);
            EXPECT_EQ(out.result, c.result) << c.what;
            EXPECT_EQ(out.top, c.newTop) << c.what;
            EXPECT_EQ(out.row, c.newRow) << c.what;
            if (out.result == kMoved && Line(out.top + out.row)) {
                EXPECT_EQ(out.column, Line(out.top + out.row)->wLevel * gTreeIndent)
                    << c.what << ": the column follows the cursor's level";
            }
        }
    }

    DiskInfo* disk_ = nullptr;
    WORD savedSmallRow_ = 0;
    WORD savedLastRow_ = 0;
};

} // namespace

// ---- the plain list: the top stays while the target is visible ---------------------

TEST_F(ListNav, MovementKeysOnThePlainList) {
    Layout(false);
    const std::vector<Case> cases = {
        {"Up on the first line does nothing", kUp, 0, 0, 0, 0, 0},
        {"Up moves the cursor one row", kUp, 0, 3, kMoved, 0, 2},
        {"Up on the top row scrolls one line", kUp, 5, 0, kMoved, 4, 0},
        {"Down moves the cursor one row", kDown, 0, 2, kMoved, 0, 3},
        {"Down on the bottom row scrolls one line", kDown, 0, kBottom, kMoved, 1, kBottom},
        {"Down on the last line does nothing", kDown, 18, kBottom, 0, 18, kBottom},
        {"Space is Down", kSpace, 4, 4, kMoved, 4, 5},
        {"Space on the last line does nothing", kSpace, 18, kBottom, 0, 18, kBottom},
        {"Right on the root gives Down", kRight, 0, 0, kDown, 0, 0},
        {"Right before a level-2 line gives Down", kRight, 0, 1, kDown, 0, 1},
        {"Right before a level-1 line does nothing", kRight, 0, 5, 0, 0, 5},
        {"Right from a deep line before a level-1 line does nothing", kRight, 0, 4, 0, 0, 4},
        {"Right on the last line does nothing", kRight, 18, kBottom, 0, 18, kBottom},
        {"PgUp first goes to the top row", kPgUp, 10, 4, kMoved, 10, 0},
        {"PgUp on the top row goes a window up", kPgUp, 10, 0, kMoved, 1, 0},
        {"PgUp stops at the first line", kPgUp, 5, 0, kMoved, 0, 0},
        {"PgUp on the first line does nothing", kPgUp, 0, 0, 0, 0, 0},
        {"PgDn first goes to the bottom row", kPgDn, 0, 2, kMoved, 0, kBottom},
        {"PgDn on the bottom row goes a window down", kPgDn, 0, kBottom, kMoved, 9, kBottom},
        {"PgDn stops at the last line", kPgDn, 15, kBottom, kMoved, 18, kBottom},
        {"PgDn with the end shown goes to the last line", kPgDn, 18, 5, kMoved, 18, kBottom},
        {"PgDn on the last line does nothing", kPgDn, 18, kBottom, 0, 18, kBottom},
        {"Home goes to the root", kHome, 10, 4, kMoved, 0, 0},
        {"Home on the root does nothing", kHome, 0, 0, 0, 0, 0},
        {"End puts the last line on the bottom row", kEnd, 0, 0, kMoved, 18, kBottom},
        {"End on the last line does nothing", kEnd, 18, kBottom, 0, 18, kBottom},
        {"Left goes to the parent", kLeft, 0, 4, kMoved, 0, 3},
        {"Left from level 2 goes to its level-1 parent", kLeft, 0, 2, kMoved, 0, 1},
        {"Left on a level-1 directory stays", kLeft, 0, 1, 0, 0, 1},
        {"Left on the root does nothing", kLeft, 0, 0, 0, 0, 0},
        {"Left to a parent above the window shows the list from its start", kLeft, 7, 0, kMoved, 0, 6},
        {"Backspace on a level-1 directory goes to the root", kBksp, 0, 1, kMoved, 0, 0},
        {"Backspace on the root does nothing", kBksp, 0, 0, 0, 0, 0},
        {"Ctrl+Home goes to the parent", kCtrlHome, 0, 4, kMoved, 0, 3},
        {"Ctrl+Home on the root does nothing", kCtrlHome, 0, 0, 0, 0, 0},
    };
    Run(cases);
}

TEST_F(ListNav, JumpsPlaceTheirTargetByTheMargin) {
    Layout(false);
    ASSERT_EQ(gScrollMargin, 3);
    const std::vector<Case> cases = {
        {"Ctrl+Tab to a visible sibling moves the row", kCtrlTab, 0, 1, kMoved, 0, 5},
        {"Ctrl+Tab on the root goes to the first level-1 line", kCtrlTab, 0, 0, kMoved, 0, 1},
        {"Ctrl+Tab skips the deeper lines between siblings", kCtrlTab, 0, 6, kMoved, 0, 8},
        {"Ctrl+Tab at level 2 finds the next level-2 sibling", kCtrlTab, 0, 2, kMoved, 0, 3},
        {"Ctrl+Tab stops at a line of a lower level", kCtrlTab, 0, 4, 0, 0, 4},
        {"Ctrl+Tab without a next sibling does nothing", kCtrlTab, 18, kBottom, 0, 18, kBottom},
        {"a forward jump below the window lands on the margin row", kCtrlTab, 0, kBottom, kMoved, 7, 3},
        {"a forward jump among the last lines shows the end", kCtrlTab, 9, kBottom, kMoved, 18, 1},
        {"Shift+Tab goes to the previous sibling", kShiftTab, 0, 3, kMoved, 0, 2},
        {"Shift+Tab stops at the parent", kShiftTab, 0, 2, 0, 0, 2},
        {"Shift+Tab on the root does nothing", kShiftTab, 0, 0, 0, 0, 0},
        {"a backward jump above the window lands the margin above the bottom", kShiftTab, 20, 0, kMoved, 13, 6},
        {"Ctrl+Shift+Tab is Shift+Tab", kCtrlShiftTab, 0, 3, kMoved, 0, 2},
        {"Ctrl+End goes to the last sibling", kCtrlEnd, 0, 1, kMoved, 18, kBottom},
        {"Ctrl+End within a branch", kCtrlEnd, 0, 2, kMoved, 0, 3},
        {"Ctrl+End on the last sibling of its branch does nothing", kCtrlEnd, 0, 3, 0, 0, 3},
        {"Ctrl+End on the root does nothing", kCtrlEnd, 0, 0, 0, 0, 0},
        {"a letter goes to the next name with it", kLetterJump, 0, 0, kMoved, 0, 8, u'D'},
        {"a lower-case letter finds an upper-cased name's letter", kLetterJump, 0, 0, kMoved, 0, 6, u'c'},
        {"the letter search goes on from the line after the cursor", kLetterJump, 0, 8, kMoved, 0, 9, u'd'},
        {"the letter search wraps to the list's start", kLetterJump, 18, kBottom, kMoved, 0, 8, u'd'},
        {"a letter of no name does nothing", kLetterJump, 3, 2, 0, 3, 2, u'z'},
        {"the only name with the letter is the cursor's: nothing", kLetterJump, 0, 4, 0, 0, 4, u'y'},
        {"the root's line counts by its whole name", kLetterJump, 0, 4, kMoved, 0, 0, u'x'},
    };
    Run(cases);
}

TEST_F(ListNav, ScrollKeysAndShares) {
    Layout(false);
    const std::vector<Case> cases = {
        {"Clear brings the cursor's line to the middle row", kClear, 15, 5, kMoved, 16, 4},
        {"Clear near the start keeps top 0: nothing moves", kClear, 0, 2, 0, 0, 2},
        {"Shift+keypad 5 goes to half of the tree", kShiftPad5, 0, 0, kMoved, 9, 4},
        {"Shift+keypad 1 goes to a tenth, within the first half window", kShiftPad1, 10, 3, kMoved, 0, 2},
        {"Shift+keypad 9 goes to nine tenths", kShiftPad9, 0, 0, kMoved, 20, 4},
        {"Shift+keypad 2 goes to a fifth, on the middle row", kShiftPad2, 0, 5, kMoved, 1, 4},
        {"Shift+keypad 2 where it already stands does nothing", kShiftPad2, 1, 4, 0, 1, 4},
        {"Ctrl+Up with top 0 asks for a redraw only", kCtrlUp, 0, 3, kMoved, 0, 3},
        {"Ctrl+Up shows a line more above, the cursor on its line", kCtrlUp, 5, 3, kMoved, 4, 4},
        {"Ctrl+Up on the bottom row keeps the row", kCtrlUp, 5, kBottom, kMoved, 4, kBottom},
        {"Ctrl+Down with the end shown does nothing", kCtrlDown, 18, 3, 0, 18, 3},
        {"Ctrl+Down shows a line more below, the cursor on its line", kCtrlDown, 5, 3, kMoved, 6, 2},
        {"Ctrl+Down on the top row keeps the row", kCtrlDown, 5, 0, kMoved, 6, 0},
        {"Ctrl+PgUp at the top does nothing", kCtrlPgUp, 0, 3, 0, 0, 3},
        {"Ctrl+PgUp brings the cursor's line to the bottom row", kCtrlPgUp, 10, 3, kMoved, 4, kBottom},
        {"Ctrl+PgUp on the bottom row goes a window up", kCtrlPgUp, 10, kBottom, kMoved, 1, kBottom},
        {"Ctrl+PgUp near the start shows the list from its start", kCtrlPgUp, 5, 2, kMoved, 0, 7},
        {"Ctrl+PgDn with the end shown does nothing", kCtrlPgDn, 18, 0, 0, 18, 0},
        {"Ctrl+PgDn brings the cursor's line to the top row", kCtrlPgDn, 2, 5, kMoved, 7, 0},
        {"Ctrl+PgDn on the top row goes a window down", kCtrlPgDn, 7, 0, kMoved, 16, 0},
        {"Ctrl+PgDn stops with the last line on the bottom row", kCtrlPgDn, 15, 0, kMoved, 18, 0},
        {"Ctrl+PgDn near the end shows the end", kCtrlPgDn, 15, 8, kMoved, 18, 5},
        {"Alt+; without a position given does nothing", kAltSemicolon, 0, 3, 0, 0, 3},
    };
    Run(cases);
}

// ---- fixed-row mode: the cursor stays on the row of the root ---------------------

TEST_F(ListNav, FixedRowModeMovesTheTop) {
    Layout(true);
    // The root's line is list index 3: the cursor row is always 3 and the
    // top is the cursor's distance from the root.
    ASSERT_EQ(Line(3), disk_->psiRoot);
    constexpr WORD kRow = 3;
    const std::vector<Case> cases = {
        {"Up on the root does nothing", kUp, 0, kRow, 0, 0, kRow},
        {"Up scrolls the tree one line", kUp, 5, kRow, kMoved, 4, kRow},
        {"Down scrolls the tree one line", kDown, 0, kRow, kMoved, 1, kRow},
        {"Down on the last line does nothing", kDown, kLast, kRow, 0, kLast, kRow},
        {"PgDn goes the window less the empty rows", kPgDn, 0, kRow, kMoved, 6, kRow},
        {"PgDn stops at the last line", kPgDn, 25, kRow, kMoved, kLast, kRow},
        {"PgUp goes the window less the empty rows", kPgUp, 10, kRow, kMoved, 4, kRow},
        {"PgUp stops at the root", kPgUp, 4, kRow, kMoved, 0, kRow},
        {"Home goes to the root", kHome, 10, kRow, kMoved, 0, kRow},
        {"End goes to the last line", kEnd, 0, kRow, kMoved, kLast, kRow},
        {"Clear puts the top at half the tree less the empty rows", kClear, 0, kRow, kMoved, 10, kRow},
        {"Shift+keypad 5 goes to half of the tree", kShiftPad5, 0, kRow, kMoved, 13, kRow},
        {"Left goes to the parent", kLeft, 4, kRow, kMoved, 3, kRow},
        {"a letter jump moves the top", kLetterJump, 0, kRow, kMoved, 5, kRow, u'b'},
        {"Ctrl+Up acts as Up", kCtrlUp, 5, kRow, kMoved, 4, kRow},
        {"Ctrl+Down acts as Down", kCtrlDown, 5, kRow, kMoved, 6, kRow},
        {"Ctrl+PgUp does nothing", kCtrlPgUp, 10, kRow, 0, 10, kRow},
        {"Ctrl+PgDn does nothing", kCtrlPgDn, 10, kRow, 0, 10, kRow},
    };
    Run(cases);
}

// ---- keys the caller runs ----------------------------------------------------------

TEST_F(ListNav, KeysHandedBackToTheCaller) {
    Layout(false);
    SubdirInfo* b = Dir(u"X:\\b");
    SubdirInfo* a2 = Dir(u"X:\\a\\a2");
    ASSERT_TRUE(b && a2);
    // b: subdirectories not read, no child; a2: not read with a child.
    b->bExpanded = 0;
    a2->bExpanded = 0;
    const struct {
        const char* what;
        KeyCode key;
        WORD row;
        DWORD split, swap, altKeys;
        int picker;
        KeyCode result;
    } cases[] = {
        {"Ctrl+Left on a read directory: the release key", kCtrlLeft, 1, 0, 0, 0, 0, '-'},
        {"Ctrl+Left on a read directory under /AK: Del", kCtrlLeft, 1, 0, 0, 1, 0, kDel},
        {"Ctrl+Left on an unread level-1 directory: Home", kCtrlLeft, 5, 0, 0, 0, 0, kHome},
        {"Ctrl+Left on an unread deeper directory: Left", kCtrlLeft, 3, 0, 0, 0, 0, kLeft},
        {"Ctrl+Right on a read directory with a child: Down", kCtrlRight, 1, 0, 0, 0, 0, kDown},
        {"Ctrl+Right on a read directory without a child: nothing", kCtrlRight, 4, 0, 0, 0, 0, 0},
        {"Ctrl+Right on an unread directory with a child: the expand walk", kCtrlRight, 3, 0, 0, 0, 0, kF6},
        {"Tab in split screen: change pane", kTab, 1, 1, 0, 0, 0, kPaneChange},
        {"Ctrl+Tab in split screen moves to the sibling", kCtrlTab, 1, 1, 0, 0, 0, kMoved},
        {"Tab in split screen in the picker moves to the sibling", kTab, 1, 1, 0, 0, 1, kMoved},
        {"Tab without split screen moves to the sibling", kTab, 1, 0, 0, 0, 0, kMoved},
        {"exchanged: Ctrl+Tab changes pane", kCtrlTab, 1, 1, 1, 0, 0, kPaneChange},
        {"exchanged: Tab moves to the sibling", kTab, 1, 1, 1, 0, 0, kMoved},
        {"a key that is not a movement comes back", 'q', 1, 0, 0, 0, 0, 'q'},
        {"an Enter comes back", 13, 1, 0, 0, 0, 0, 13},
    };
    for (const auto& c : cases) {
        gSplitScreen = c.split;
        gSettings.bSwapTabCtrlTab = BYTE(c.swap);
        gAltKeyMode = c.altKeys;
        const Outcome out = Press(c.key, 0, c.row, 0, c.picker);
        EXPECT_EQ(out.result, c.result) << c.what;
        if (c.result != kMoved) {
            EXPECT_EQ(out.top, 0u) << c.what;
            EXPECT_EQ(out.row, c.row) << c.what;
        }
    }
}

TEST_F(ListNav, ShiftGreyKeysFollowTheFilesReadState) {
    Layout(false);
    // Files read on the root, a1, b and d05 only.
    for (SubdirInfo* dir : qtest::DirsInOrder(disk_)) dir->bLogged = 0;
    for (const char16_t* path : {u"X:\\", u"X:\\a\\a1", u"X:\\b", u"X:\\d05"}) Dir(path)->bLogged = 1;
    Dir(u"X:\\c")->bLogged = 5; // denied counts as not read
    const std::vector<Case> cases = {
        {"Shift+Down skips the directories whose files are not read", kShiftGreyDown, 0, 2, kMoved, 0, 5},
        {"Shift+Down below the window", kShiftGreyDown, 0, 5, kMoved, 10, 3},
        {"Shift+Down past the last read directory: nothing", kShiftGreyDown, 9, 5, 0, 9, 5},
        {"Shift+Up to the previous read directory", kShiftGreyUp, 0, 5, kMoved, 0, 2},
        {"Shift+Up reaches the root", kShiftGreyUp, 0, 2, kMoved, 0, 0},
        {"Shift+Up on the root: nothing", kShiftGreyUp, 0, 0, 0, 0, 0},
        {"Shift+PgDn skips the directories whose files are read", kShiftGreyPgDn, 0, 0, kMoved, 0, 1},
        {"Shift+PgDn passes a read directory", kShiftGreyPgDn, 0, 1, kMoved, 0, 3},
        {"Shift+PgDn takes a denied directory as unread", kShiftGreyPgDn, 0, 5, kMoved, 0, 6},
        {"Shift+PgUp to the previous unread directory", kShiftGreyPgUp, 0, 5, kMoved, 0, 4},
        {"Shift+PgUp with only read lines above: nothing", kShiftGreyPgUp, 0, 1, 0, 0, 1},
    };
    Run(cases);
    // With every line read, nothing is unread above or below.
    for (SubdirInfo* dir : qtest::DirsInOrder(disk_)) dir->bLogged = 1;
    for (KeyCode key : {kShiftGreyPgUp, kShiftGreyPgDn}) {
        const Outcome out = Press(key, 0, 5);
        EXPECT_EQ(out.result, 0) << key;
        EXPECT_EQ(out.row, 5) << key;
    }
}

// ---- what a move draws -------------------------------------------------------------

TEST_F(ListNav, AMoveTakesTheBarAwayAndAScrollRepaints) {
    Layout(false);
    // The bar on row 2 (a1's line); Down moves within the window.
    psiCurrent = Line(2);
    const int barColumn = 1 + int(psiCurrent->wLevel * gTreeIndent);
    DrawTreeCursorBar(2, barColumn, kBar, psiCurrent);
    ASSERT_EQ(qtest::ConsoleAttrs(2 + 2, barColumn, 1)[0], kBar);
    WORD row = 2, column = WORD(psiCurrent->wLevel * gTreeIndent);
    DWORD top = 0;
    ASSERT_EQ(ListNavKey(kDown, &column, &row, 1, &top, 0, 0), kMoved);
    EXPECT_NE(qtest::ConsoleAttrs(2 + 2, barColumn, 1)[0], kBar) << "the bar is taken away";

    // A scroll repaints the window from the new top: screen row 2 shows the
    // line at the new top.
    for (int r = 2; r <= 11; r++) ScrHLine(r, 0, 80, u'x', u'x', u'x', kNormal);
    top = 0;
    row = kBottom;
    psiCurrent = Line(kBottom);
    ASSERT_EQ(ListNavKey(kEnd, &column, &row, 1, &top, 0, 0), kMoved);
    ASSERT_EQ(top, 18u);
    for (int r = 0; r <= kBottom; r++) {
        const std::string shown = qtest::NarrowText(qtest::ConsoleText(2 + r, 1, 57));
        EXPECT_NE(shown.find(Name(18 + DWORD(r))), std::string::npos) << "window row " << r << ": " << shown;
    }

    // A move that keeps the top leaves the window's lines as they are.
    for (int r = 2; r <= 11; r++) ScrHLine(r, 0, 80, u'x', u'x', u'x', kNormal);
    psiCurrent = Line(top + row);
    ASSERT_EQ(ListNavKey(kUp, &column, &row, 1, &top, 0, 0), kMoved);
    EXPECT_EQ(qtest::ConsoleText(2, 20, 30), std::u16string(30, u'x'));
}

// ---- macro stops -------------------------------------------------------------------

TEST_F(ListNav, APlayingMacroStopsAtTheEndItsFlagNames) {
    Layout(false);
    const struct {
        const char* what;
        KeyCode key;
        WORD row;
        DWORD top;
        BOOL onHome, onEnd;
        bool stopped;
    } cases[] = {
        {"Up on the first line with the home flag", kUp, 0, 0, TRUE, FALSE, true},
        {"Up on the first line with the end flag only", kUp, 0, 0, FALSE, TRUE, false},
        {"PgUp on the first line with the home flag", kPgUp, 0, 0, TRUE, FALSE, true},
        {"Home on the first line with the home flag", kHome, 0, 0, TRUE, FALSE, true},
        {"Shift+Tab on the first line with the home flag", kShiftTab, 0, 0, TRUE, FALSE, true},
        {"Down on the last line with the end flag", kDown, kBottom, 18, FALSE, TRUE, true},
        {"Down on the last line with the home flag only", kDown, kBottom, 18, TRUE, FALSE, false},
        {"Space on the last line with the end flag", kSpace, kBottom, 18, FALSE, TRUE, true},
        {"PgDn on the last line with the end flag", kPgDn, kBottom, 18, FALSE, TRUE, true},
        {"End on the last line with the end flag", kEnd, kBottom, 18, FALSE, TRUE, true},
        {"Ctrl+Tab without a sibling with the end flag", kCtrlTab, kBottom, 18, FALSE, TRUE, true},
        {"Shift+grey Down without a target with the end flag", kShiftGreyDown, kBottom, 18, FALSE, TRUE, true},
        {"Down that moves keeps the macro", kDown, 2, 0, TRUE, TRUE, false},
        {"Left on a level-1 line keeps the macro", kLeft, 1, 0, TRUE, TRUE, false},
    };
    const std::vector<KeyCode> keys = {'a', 'b', 'c'};
    for (const auto& c : cases) {
        MacroLoadKeys(keys.data(), int(keys.size()), 0);
        MacroStopFlags.onHome = c.onHome;
        MacroStopFlags.onEnd = c.onEnd;
        ASSERT_EQ(MacroKeysLeft(), 3) << c.what;
        const Outcome out = Press(c.key, c.top, c.row);
        EXPECT_EQ(MacroKeysLeft() == 0, c.stopped) << c.what;
        if (c.stopped) {
            EXPECT_EQ(out.result, 0) << c.what;
        }
        MacroStop();
    }
}

TEST_F(ListNav, EveryKeyButSearchAgainForgetsTheSearchHit) {
    Layout(false);
    SubdirInfo* b = Dir(u"X:\\b");
    for (KeyCode key : {kDown, KeyCode('q'), KeyCode(0), kSearchAgain}) {
        gTreeSearchHit = b;
        Press(key, 0, 2);
        EXPECT_EQ(gTreeSearchHit, key == kSearchAgain ? b : nullptr) << key;
    }
}

// ---- reading a branch at once ----------------------------------------------------

TEST_F(ListNav, CtrlRightReadsAnUnreadBranchWithoutChildrenAtOnce) {
    // A drive on a temporary directory: b holds b1 and b2 on the disk, but
    // the tree knows b without anything below it.
    qtest::TempDir root;
    root.MakeDir("a");
    root.MakeDir("b/b1");
    root.MakeDir("b/b2");
    root.Write("b/f.txt", "x");
    ASSERT_TRUE(DriveMapSet('Q', root.path().c_str(), nullptr));
    qtest::ResetTreeState();
    DiskInfo* disk = qtest::BuildTree('Q', u"a\\ b\\");
    qtest::DisownRecords();
    pdiCurrent = disk;
    SubdirInfo* b = FindDirByPath(u"Q:\\b", nullptr, TRUE);
    ASSERT_NE(b, nullptr);
    b->bExpanded = 0;
    showtree();
    ASSERT_EQ(disk->dwTreeRows, 2u);
    for (int r = 2; r <= 11; r++) ScrHLine(r, 0, 80, u'x', u'x', u'x', kNormal);

    psiCurrent = b;
    WORD row = 2, column = WORD(gTreeIndent);
    DWORD top = 0;
    EXPECT_EQ(ListNavKey(1063, &column, &row, 1, &top, 0, 0), kMoved);
    EXPECT_EQ(b->bExpanded, 1) << "the branch's subdirectories are read";
    ASSERT_NE(b->psiChild, nullptr);
    EXPECT_EQ(disk->dwTreeRows, 4u) << "the new lines are in the tree";
    EXPECT_EQ(top, 0u);
    EXPECT_EQ(row, 2) << "the cursor stays on b";
    // The lines are painted from the top: b's children under it.
    EXPECT_NE(qtest::NarrowText(qtest::ConsoleText(2 + 3, 1, 57)).find("b1"), std::string::npos);
    EXPECT_NE(qtest::NarrowText(qtest::ConsoleText(2 + 4, 1, 57)).find("b2"), std::string::npos);
    DriveMapClear('Q');
}

// ---- the directory picker ---------------------------------------------------------

TEST_F(ListNav, ThePickerUsesItsOwnWindowAndPainter) {
    Layout(false);
    ASSERT_GT(gMessageRow, 12);
    const WORD bottom = WORD(gMessageRow - 6);
    ASSERT_LT(bottom, kLast);
    gPickerActive = 1;
    // PgDn goes to the picker's bottom row, not the tree window's.
    Outcome out = Press(kPgDn, 0, 2, 0, 1);
    EXPECT_EQ(out.result, kMoved);
    EXPECT_EQ(out.top, 0u);
    EXPECT_EQ(out.row, bottom);
    // End scrolls: the picker's rows (from screen row 3) show the lines from
    // the new top.
    for (int r = 3; r <= gScreenRows - 6; r++) ScrHLine(r, 0, 80, u'x', u'x', u'x', kNormal);
    out = Press(kEnd, 0, 0, 0, 1);
    EXPECT_EQ(out.result, kMoved);
    EXPECT_EQ(out.top, kLast - bottom);
    EXPECT_EQ(out.row, bottom);
    const std::string first = qtest::NarrowText(qtest::ConsoleText(3, 0, 60));
    EXPECT_NE(first.find(Name(kLast - bottom)), std::string::npos) << first;
    gPickerActive = 0;
}

TEST_F(ListNav, WithoutATreeLineUnderTheCursorNothingMoves) {
    Layout(false);
    // A cursor below the last line (a stale position) and no disk at all.
    for (const bool noDisk : {false, true}) {
        if (noDisk) pdiCurrent = nullptr;
        for (KeyCode key : {kUp, kDown, kPgUp, kPgDn, kHome, kEnd, kClear, kShiftPad5, kCtrlUp, kCtrlPgUp}) {
            WORD row = 5, column = 3;
            DWORD top = noDisk ? 0 : 40;
            const DWORD topBefore = top;
            EXPECT_EQ(ListNavKey(key, &column, &row, 1, &top, 0, 0), 0) << key << (noDisk ? " without a disk" : "");
            EXPECT_EQ(top, topBefore) << key;
            EXPECT_EQ(row, 5) << key;
        }
        WORD row = 5, column = 3;
        DWORD top = 0;
        EXPECT_EQ(ListNavKey('q', &column, &row, 1, &top, 0, 0), 'q');
    }
}
