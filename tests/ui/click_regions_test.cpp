// Click regions on a 25 x 80 console (command lines on rows 22, 23 and 24):
// mouse events of every kind turned into keys window by window, the fixed
// region tables, the cursor of the previous lookup, the error dialog's own
// regions and the quit question answered with the mouse.
#include "platform_fixture.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "menu/qaap.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"

#include <string>
#include <vector>

namespace {

using qtest::ConsoleAttrs;
using qtest::Mouse;
using qtest::Put;

constexpr DWORD kLeft = FROM_LEFT_1ST_BUTTON_PRESSED;
constexpr DWORD kRight = RIGHTMOST_BUTTON_PRESSED;
constexpr DWORD kWheelForward = 0x00780000;
constexpr DWORD kWheelBack = 0xFF880000;

class ClickRegionsTest : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        Reset();
    }
    void TearDown() override {
        Reset();
        PlatformTest::TearDown();
    }
    static void Reset() {
        gAutoRefresh = 0;
        gTextCursor = FALSE;
        gSettings.bSwapTabCtrlTab = 0;
        gQaapOn = 0;
        gSplitScreen = 0;
        gMenuModifier = 0;
        gPickerActive = 0;
        gMouseDragging = FALSE;
        gMousePressRow = -1;
        gMousePressColumn = -1;
        gMouseRightRow = -1;
        gPanes[0].SmallFileWindow = 0;
        HotRegionAdd(0, 0, 0, 0);
        HotClear(FALSE);
        KeyPushStack.count = 0;
        gWindowMode = WM_TREE;
    }
};

// What a case changes before its event.
struct CaseSetup {
    DWORD split = 0;
    WORD menuModifier = 0;
    DWORD autoRefresh = 0;
    BOOL textCursor = FALSE;
    WORD cursorRow = 0;
    DWORD qaap = 0;
    BYTE ctrlTab = 0;
    DWORD smallFileWindow = 0;
};

void Apply(const CaseSetup& s) {
    gSplitScreen = s.split;
    gMenuModifier = s.menuModifier;
    gAutoRefresh = s.autoRefresh;
    gTextCursor = s.textCursor;
    gCursorRow = s.cursorRow;
    gQaapOn = s.qaap;
    gSettings.bSwapTabCtrlTab = s.ctrlTab;
    gPanes[gCurrentPane].SmallFileWindow = s.smallFileWindow;
}

TEST_F(ClickRegionsTest, SingleEventsInEveryWindow) {
    const DWORD shift = SHIFT_PRESSED;
    const DWORD ctrl = LEFT_CTRL_PRESSED;
    // The quit question's answers on the middle row, as the question draws
    // them, and a word on the bottom row of the tree menu.
    const auto quitRegions = [] {
        HotText(gHintRow, 53, 0, 0, 'n', u"[No]");
        HotText(gHintRow, 59, 0, 0, 'y', u"Yes/");
        HotText(gHintRow, 63, 0, 0, 'q', u"Quit");
    };
    const struct {
        const char* what;
        WORD mode;
        CaseSetup setup;
        INPUT_RECORD event;
        int key;
        int pushed; // keys the event pushed back
    } kCases[] = {
        // The wheel.
        {"wheel forward in the tree", WM_TREE, {}, Mouse(5, 5, kWheelForward, MOUSE_WHEELED),
         KC_UP, 0},
        {"wheel back in the tree", WM_TREE, {}, Mouse(5, 5, kWheelBack, MOUSE_WHEELED), KC_DOWN,
         0},
        {"wheel with Shift in the tree", WM_TREE, {},
         Mouse(5, 5, kWheelForward, MOUSE_WHEELED, shift), KC_PGUP, 0},
        {"wheel with Ctrl in the archive tree", WM_ARCHIVE_DIR, {},
         Mouse(5, 5, kWheelBack, MOUSE_WHEELED, ctrl), KC_CTRL_DOWN, 0},
        {"Shift wins over Ctrl in the tree", WM_TREE, {},
         Mouse(5, 5, kWheelForward, MOUSE_WHEELED, shift | ctrl), KC_PGUP, 0},
        {"Ctrl wins over Shift in the file window", WM_FILE, {},
         Mouse(5, 5, kWheelForward, MOUSE_WHEELED, shift | ctrl), KC_CTRL_UP, 0},
        {"wheel back in the text compare: three lines", WM_TEXT_COMPARE, {},
         Mouse(5, 5, kWheelBack, MOUSE_WHEELED), KC_DOWN, 2},
        {"Ctrl does not change the help's three lines", WM_VIEWER, {},
         Mouse(5, 5, kWheelForward, MOUSE_WHEELED, ctrl), KC_UP, 2},
        {"Shift and Ctrl give the wheel to the status companion", WM_TREE, {.qaap = 1},
         Mouse(5, 5, kWheelForward, MOUSE_WHEELED, shift | ctrl), 0, 0},
        {"Shift alone keeps it with the companion on", WM_TREE, {.qaap = 1},
         Mouse(5, 5, kWheelForward, MOUSE_WHEELED, shift), KC_PGUP, 0},
        // Right button.
        {"right click on the frame line under the list", WM_FILE, {},
         Mouse(5, 21, kRight, 0), 0, 0},
        {"right click on the statistics panel", WM_TREE, {}, Mouse(60, 5, kRight, 0), 0, 0},
        {"right click on the panel's columns in split screen", WM_FILE, {.split = 1},
         Mouse(60, 5, kRight, 0), HOT_RIGHT_CLICK, 0},
        {"right double click in the tree is a press", WM_TREE, {},
         Mouse(5, 5, kRight, DOUBLE_CLICK), HOT_RIGHT_CLICK, 0},
        {"right double click in autoview's file list", WM_AUTOVIEW, {},
         Mouse(5, 5, kRight, DOUBLE_CLICK), HOT_RIGHT_DOUBLE_CLICK, 0},
        {"right click in the help", WM_VIEWER, {}, Mouse(5, 5, kRight, 0), 0, 0},
        // Left double clicks.
        {"double click on the message row's name", WM_TREE, {},
         Mouse(3, 22, kLeft, DOUBLE_CLICK), KC_F4, 0},
        {"double click on the bottom row's start", WM_TREE, {},
         Mouse(3, 24, kLeft, DOUBLE_CLICK), KC_ENTER, 0},
        {"the same under the Ctrl menu", WM_TREE, {.menuModifier = 1},
         Mouse(3, 24, kLeft, DOUBLE_CLICK), KC_F4, 0},
        {"the same in the application menu", WM_APP_MENU, {},
         Mouse(3, 24, kLeft, DOUBLE_CLICK), KC_F4, 0},
        {"double click past the name column", WM_TREE, {}, Mouse(8, 22, kLeft, DOUBLE_CLICK), 0,
         0},
        {"double click on the path line", WM_TREE, {}, Mouse(8, 1, kLeft, DOUBLE_CLICK), 0, 0},
        {"double click at the split", WM_FILE, {.split = 1},
         Mouse(gSplitColumn - 1, 5, kLeft, DOUBLE_CLICK), 0, 0},
        {"double click in the log dialog", WM_LOG_DIALOG, {}, Mouse(8, 5, kLeft, DOUBLE_CLICK), 0,
         0},
        {"autoview's Shift menu: column 0 is Shift+Up", WM_AUTOVIEW, {.menuModifier = 3},
         Mouse(0, 24, kLeft, DOUBLE_CLICK), KC_SH_UP, 0},
        {"autoview's Shift menu: column 1 is Shift+Down", WM_AUTOVIEW, {.menuModifier = 3},
         Mouse(1, 24, kLeft, DOUBLE_CLICK), KC_SH_DOWN, 0},
        {"double click on the edited line", WM_LINE_EDITOR, {.textCursor = TRUE, .cursorRow = 23},
         Mouse(30, 23, kLeft, DOUBLE_CLICK), KC_ENTER, 0},
        {"double click off the edited line", WM_LINE_EDITOR,
         {.textCursor = TRUE, .cursorRow = 23}, Mouse(30, 5, kLeft, DOUBLE_CLICK), 0, 0},
        // Left presses in the windows.
        {"a tree row", WM_TREE, {}, Mouse(5, 5, kLeft, 0), HOT_DRAG_OR_LIST_ROW, 0},
        {"the filespec field", WM_FILE, {}, Mouse(65, 2, kLeft, 0), u'f', 0},
        {"the filespec field is no target in autoview", WM_AUTOVIEW, {},
         Mouse(65, 2, kLeft, 0), HOT_DRAG_OR_LIST_ROW, 0},
        {"the statistics panel", WM_FILE, {}, Mouse(70, 10, kLeft, 0), u'/', 0},
        {"the other half of a split screen", WM_FILE, {.split = 1},
         Mouse(gSplitColumn + 3, 5, kLeft, 0), KC_TAB, 0},
        {"the other half with Tab and Ctrl+Tab exchanged", WM_FILE, {.split = 1, .ctrlTab = 1},
         Mouse(gSplitColumn + 3, 5, kLeft, 0), KC_CTRL_TAB, 0},
        {"above the small file window", WM_FILE, {.smallFileWindow = 1}, Mouse(5, 3, kLeft, 0),
         KC_ESC, 0},
        {"a file row", WM_FILE, {}, Mouse(5, 5, kLeft, 0), HOT_DRAG_OR_LIST_ROW, 0},
        {"an empty command line", WM_TREE, {}, Mouse(40, 23, kLeft, 0), HOT_WINDOW_CLICK, 0},
        {"an empty command line while editing", WM_FILE, {.textCursor = TRUE},
         Mouse(40, 23, kLeft, 0), 0, 0},
        {"an empty command line of the information screen", WM_INFO_SCREEN, {},
         Mouse(40, 23, kLeft, 0), KC_ENTER, 0},
        {"the information screen refreshing itself", WM_INFO_SCREEN, {.autoRefresh = 1},
         Mouse(40, 5, kLeft, 0), KC_ESC, 0},
        {"the speed search while the information refreshes", WM_SPEED_SEARCH, {.autoRefresh = 1},
         Mouse(40, 5, kLeft, 0), KC_ESC, 0},
        // The help window.
        {"the help's title rows", WM_VIEWER, {}, Mouse(5, 1, kLeft, 0), HOT_DRAG_OR_LIST_ROW, 0},
        {"the help's row above the command lines", WM_VIEWER, {}, Mouse(5, 21, kLeft, 0),
         HOT_DRAG_OR_LIST_ROW, 0},
        {"the help's text", WM_VIEWER, {}, Mouse(5, 8, kLeft, 0), HOT_WINDOW_CLICK, 0},
        {"the help's menu name", WM_VIEWER, {}, Mouse(7, 23, kLeft, 0), HOT_HELP_MENU, 0},
        {"the help's bottom row, column 0", WM_VIEWER, {}, Mouse(0, 24, kLeft, 0), KC_UP, 0},
        {"the help's bottom row, column 1", WM_VIEWER, {}, Mouse(1, 24, kLeft, 0), KC_DOWN, 0},
        // The quit question.
        {"the quit question's Yes/ on the middle row", WM_QUIT_QUESTION, {},
         Mouse(60, 23, kLeft, 0), u'y', 0},
        {"the quit question's Quit on the middle row", WM_QUIT_QUESTION, {},
         Mouse(66, 23, kLeft, 0), u'q', 0},
        {"the quit question's middle row off its answers", WM_QUIT_QUESTION, {},
         Mouse(20, 23, kLeft, 0), 0, 0},
        {"the quit question's bottom row under Yes", WM_QUIT_QUESTION, {},
         Mouse(65, 24, kLeft, 0), u'Y', 0},
        {"the quit question's bottom row elsewhere", WM_QUIT_QUESTION, {},
         Mouse(20, 24, kLeft, 0), KC_ESC, 0},
        {"the quit question above the command lines", WM_QUIT_QUESTION, {},
         Mouse(60, 5, kLeft, 0), 0, 0},
    };
    for (const auto& c : kCases) {
        Reset();
        gWindowMode = c.mode;
        if (c.mode == WM_QUIT_QUESTION) quitRegions();
        Apply(c.setup);
        EXPECT_EQ(HotMouseToKey(&c.event.Event.MouseEvent), c.key) << c.what;
        EXPECT_EQ(KeyPushStack.count, c.pushed) << c.what;
    }
}

TEST_F(ClickRegionsTest, SequencesRememberPressesAndDrags) {
    struct Step {
        INPUT_RECORD event;
        int key;
    };
    const struct {
        const char* what;
        WORD mode;
        std::vector<Step> steps;
    } kCases[] = {
        {"dragging with the right button tags once per row",
         WM_FILE,
         {{Mouse(5, 5, kRight, 0), HOT_RIGHT_CLICK},
          {Mouse(9, 5, kRight, MOUSE_MOVED), 0},
          {Mouse(9, 6, kRight, MOUSE_MOVED), HOT_RIGHT_CLICK},
          {Mouse(12, 6, kRight, MOUSE_MOVED), 0},
          {Mouse(12, 8, kRight, MOUSE_MOVED), HOT_RIGHT_CLICK}}},
        {"a press on the border starts a drag that follows the mouse anywhere",
         WM_FILE,
         {{Mouse(0, 6, kLeft, 0), HOT_DRAG_OR_LIST_ROW},
          {Mouse(0, 6, kLeft, MOUSE_MOVED), 0},
          {Mouse(0, 7, kLeft, MOUSE_MOVED), HOT_DRAG_OR_LIST_ROW},
          {Mouse(30, 2, kLeft, MOUSE_MOVED), KC_HOME},
          {Mouse(70, 24, kLeft, MOUSE_MOVED), HOT_DRAG_OR_LIST_ROW}}},
        {"a drag inside the list moves the cursor and a new press ends the drag",
         WM_FILE,
         {{Mouse(0, 6, kLeft, 0), HOT_DRAG_OR_LIST_ROW},
          {Mouse(0, 8, kLeft, MOUSE_MOVED), HOT_DRAG_OR_LIST_ROW},
          {Mouse(10, 6, kLeft, 0), HOT_DRAG_OR_LIST_ROW},
          {Mouse(12, 7, kLeft, MOUSE_MOVED), HOT_WINDOW_CLICK},
          {Mouse(12, 24, kLeft, MOUSE_MOVED), 0}}},
    };
    for (const auto& c : kCases) {
        Reset();
        gWindowMode = c.mode;
        for (size_t i = 0; i < c.steps.size(); i++)
            EXPECT_EQ(HotMouseToKey(&c.steps[i].event.Event.MouseEvent), c.steps[i].key)
                << c.what << ", step " << i;
    }
    // A move without a button only remembers where the mouse is.
    const INPUT_RECORD hover = Mouse(33, 11, 0, MOUSE_MOVED);
    EXPECT_EQ(HotMouseToKey(&hover.Event.MouseEvent), 0);
    EXPECT_EQ(gMouseRow, 11);
    EXPECT_EQ(gMouseColumn, 33);
}

TEST_F(ClickRegionsTest, FixedTablesServeWindowsWithoutRegions) {
    const struct {
        const char* what;
        WORD mode;
        WORD modifier;
        DWORD picker;
        int row;
        int col;
        int key;
    } kCases[] = {
        {"application menu, Enter", WM_APP_MENU, 0, 0, 24, 0, 13},
        {"application menu, F5's last cell", WM_APP_MENU, 0, 0, 24, 56, 372},
        {"application menu, between F5 and F1", WM_APP_MENU, 0, 0, 24, 58, -1},
        {"application menu, Esc", WM_APP_MENU, 0, 0, 24, 78, 27},
        {"application menu under Alt, Alt+A", WM_APP_MENU, 2, 0, 22, 9, 2113},
        {"application menu under Alt, Alt+R", WM_APP_MENU, 2, 0, 22, 78, 2130},
        {"application menu under Alt, Alt+X", WM_APP_MENU, 2, 0, 23, 29, 2136},
        {"application menu under Alt has no Enter", WM_APP_MENU, 2, 0, 24, 0, -1},
        {"print keys, c", WM_PRINT_KEYS, 0, 0, 22, 33, 99},
        {"print keys, t", WM_PRINT_KEYS, 0, 0, 22, 46, 116},
        {"print keys, Esc", WM_PRINT_KEYS, 0, 0, 24, 69, 27},
        {"print options, h", WM_PRINT_OPTIONS, 0, 0, 23, 0, 104},
        {"print options, p", WM_PRINT_OPTIONS, 0, 0, 23, 60, 112},
        {"print options, between h and l", WM_PRINT_OPTIONS, 0, 0, 23, 12, -1},
        {"print options second state, l", WM_PRINT_OPTIONS_2, 0, 0, 23, 14, 108},
        {"print options second state, w", WM_PRINT_OPTIONS_2, 0, 0, 23, 27, 119},
        {"picker, Left", WM_FILE, 0, 1, 24, 0, 293},
        {"picker, Right", WM_FILE, 0, 1, 24, 3, 295},
        {"picker, Ins", WM_FILE, 0, 1, 24, 45, 301},
        {"picker, F4", WM_FILE, 0, 1, 24, 90, 371},
        {"picker, the message row", WM_FILE, 0, 1, 22, 0, -1},
        {"no table for the tree window", WM_TREE, 0, 0, 24, 0, 0},
    };
    for (const auto& c : kCases) {
        Reset();
        // The log dialog's lookup off its lines forgets the previous one.
        gWindowMode = WM_LOG_DIALOG;
        EXPECT_EQ(HotRegionLookup(FALSE, 5, 5), -1);
        gWindowMode = c.mode;
        gMenuModifier = c.modifier;
        gPickerActive = c.picker;
        EXPECT_EQ(HotRegionLookup(FALSE, c.row, c.col), c.key) << c.what;
    }

    // Regions written on a line win over the window's table.
    Reset();
    gWindowMode = WM_APP_MENU;
    HotText(gBottomRow, 0, 0, 1, u'z', u"zzz");
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 0), u'z');
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 70), -1) << "the table is not searched too";
}

TEST_F(ClickRegionsTest, LookupsByWindow) {
    // The pick list draws its lines one row higher and registers them as
    // the command lines.
    gWindowMode = WM_PICK_LIST;
    HotText(gMessageRow - 1, 10, 0, 1, u'a', u"above");
    HotText(gBottomRow - 1, 10, 0, 1, u'b', u"bottom");
    EXPECT_EQ(HotRegionLookup(FALSE, gMessageRow - 1, 12), u'a');
    EXPECT_EQ(HotRegionLookup(FALSE, gHintRow, 12), u'b');
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 12), -1) << "one row below the pick list's";
    const INPUT_RECORD pick = Mouse(14, gMessageRow - 1, kLeft, 0);
    EXPECT_EQ(HotMouseToKey(&pick.Event.MouseEvent), u'a');

    // The log dialog: its middle and bottom lines, and the letters of the
    // bottom line where no region stands.
    Reset();
    gWindowMode = WM_LOG_DIALOG;
    ScrPutStr(gBottomRow, 0, "Continue  partial", gMessageAttr);
    HotText(gBottomRow, 30, 0, 1, u'Q', u"Quit");
    HotText(gHintRow, 0, 0, 1, u'M', u"More");
    EXPECT_EQ(HotRegionLookup(TRUE, gBottomRow, 31), u'Q');
    EXPECT_EQ(HotRegionLookup(TRUE, gHintRow, 2), u'M');
    EXPECT_EQ(HotRegionLookup(TRUE, gBottomRow, 0), u'C') << "the letter under the mouse";
    EXPECT_EQ(HotRegionLookup(TRUE, gBottomRow, 1), -1) << "a lower-case letter";
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 0), -1) << "letters only when allowed";
    EXPECT_EQ(HotRegionLookup(TRUE, gMessageRow, 0), -1) << "the message row is not the dialog's";
    gWindowMode = WM_SPACE_WINDOW;
    EXPECT_EQ(HotRegionLookup(TRUE, gBottomRow, 0), u'C');
    gWindowMode = WM_TREE;
    EXPECT_EQ(HotRegionLookup(TRUE, gBottomRow, 0), -1) << "letters only in the log dialogs";

    // The line editor's empty command lines have no fallback.
    Reset();
    gWindowMode = WM_LINE_EDITOR;
    HotText(gBottomRow, 0, 0, 1, u'x', u"x");
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 0), u'x');
    EXPECT_EQ(HotRegionLookup(FALSE, gHintRow, 0), 0);
}

TEST_F(ClickRegionsTest, ThePreviousLookupIsForgottenWithItsRegions) {
    gWindowMode = WM_LOG_DIALOG;
    EXPECT_EQ(HotRegionLookup(FALSE, 5, 5), -1);
    gWindowMode = WM_TREE;
    EXPECT_EQ(HotRegionLookup(FALSE, 5, 5), 0) << "no lookup to go on from";
    HotText(gBottomRow, 0, 0, 1, u'a', u"a");
    HotText(gBottomRow, 4, 0, 1, u'b', u"b");
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 4), u'b');
    EXPECT_EQ(HotRegionLookup(FALSE, 5, 5), -1) << "the bottom list searched again";
    // An empty command line goes on from there too.
    EXPECT_EQ(HotRegionLookup(FALSE, gMessageRow, 0), -1);

    const struct {
        const char* what;
        void (*forget)();
        bool pushed;
    } kForgets[] = {
        {"cleared", [] { HotClear(FALSE); }, false},
        {"its row cleared", [] { HotClearRow(gBottomRow); }, false},
        {"pushed aside", [] { HotPush(); }, true},
    };
    for (const auto& c : kForgets) {
        Reset();
        HotText(gBottomRow, 0, 0, 1, u'a', u"a");
        HotText(gBottomRow, 4, 0, 1, u'b', u"b");
        EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 4), u'b');
        c.forget();
        EXPECT_EQ(HotRegionLookup(FALSE, 5, 5), 0) << c.what;
        if (c.pushed) HotPop();
    }
    // Another row's list keeps the cursor.
    Reset();
    HotText(gBottomRow, 0, 0, 1, u'a', u"a");
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 0), u'a');
    HotClearRow(gHintRow);
    EXPECT_EQ(HotRegionLookup(FALSE, 5, 5), -1);
}

TEST_F(ClickRegionsTest, TheErrorDialogAnswersItsOwnTwelveRegions) {
    gWindowMode = WM_ERROR_DIALOG;
    for (int i = 0; i < 13; i++)
        HotRegionAdd(10, i * 4, 3, DWORD(u'a' + i));
    const struct {
        const char* what;
        int row;
        int col;
        int key;
    } kCases[] = {
        {"the first region", 10, 0, u'a'},
        {"the last cell of the twelfth", 10, 46, u'l'},
        {"the thirteenth was dropped", 10, 48, 0},
        {"a gap between regions", 10, 3, 0},
        {"another row", 11, 0, 0},
        {"a command line", gBottomRow, 0, 0},
    };
    for (const auto& c : kCases) {
        const INPUT_RECORD click = Mouse(c.col, c.row, kLeft, 0);
        EXPECT_EQ(HotMouseToKey(&click.Event.MouseEvent), c.key) << c.what;
    }
    HotRegionAdd(0, 0, 0, 0);
    const INPUT_RECORD click = Mouse(0, 10, kLeft, 0);
    EXPECT_EQ(HotMouseToKey(&click.Event.MouseEvent), 0) << "emptied";
    HotRegionAdd(10, 0, 1, u'z');
    EXPECT_EQ(HotMouseToKey(&click.Event.MouseEvent), u'z') << "room again after emptying";
}

TEST_F(ClickRegionsTest, HotTextDrawsAndFitsWordsOnTheRow) {
    const struct {
        const char* what;
        int col;
        const char16_t* label;
        int hiOffset;
        int hiLen;
        int next;
        bool registered;
    } kCases[] = {
        {"a word", 10, u"Branch", 0, 1, 18, true},
        {"a word ending on the last column", 74, u"Quit", 0, 1, 80, true},
        {"a word one cell too long", 77, u"Quit", 0, 1, 77, false},
        {"a key letter inside the word", 20, u"sHortcut", 1, 1, 30, true},
        {"a key of three cells", 0, u"\u25C4\u2500\u2518 File", 0, 3, 10, true},
    };
    for (const auto& c : kCases) {
        Reset();
        ScrClearArea(gBottomRow, 0, gBottomRow, gScreenMaxCol, 0x07);
        const int length = int(std::char_traits<char16_t>::length(c.label));
        EXPECT_EQ(HotText(gBottomRow, c.col, c.hiOffset, c.hiLen, u'k', c.label), c.next) << c.what;
        EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, c.col + length - 1), c.registered ? u'k' : 0)
            << c.what;
        if (!c.registered) {
            EXPECT_EQ(qtest::ConsoleText(gBottomRow, c.col, 80 - c.col),
                      std::u16string(size_t(80 - c.col), u' '))
                << c.what << ": nothing drawn";
            continue;
        }
        EXPECT_EQ(qtest::ConsoleText(gBottomRow, c.col, length), std::u16string(c.label))
            << c.what;
        const std::vector<WORD> attrs = ConsoleAttrs(gBottomRow, c.col, length);
        for (int i = 0; i < length; i++) {
            const bool key = i >= c.hiOffset && i < c.hiOffset + c.hiLen;
            EXPECT_EQ(attrs[size_t(i)], WORD(key ? gKeyLetterAttr : gMessageAttr))
                << c.what << ", cell " << i;
        }
    }
}

TEST_F(ClickRegionsTest, AClickOnYesQuits) {
    ConfirmQuitSetWaitForTest([](DWORD) {});
    const struct {
        const char* what;
        int col;
        int row;
        int quits;
    } kCases[] = {
        {"Yes/ on the middle row", 60, 23, 1},
        {"Quit on the middle row", 64, 23, 1},
        {"[No] on the middle row", 54, 23, 0},
        {"Yes on the bottom row", 65, 24, 1},
        {"elsewhere on the bottom row", 10, 24, 0},
    };
    for (const auto& c : kCases) {
        Reset();
        // Esc after the click answers the question if the click is lost.
        Put({Mouse(c.col, c.row, kLeft, 0), Mouse(c.col, c.row, 0, 0)});
        Put(qtest::Tap(VK_ESCAPE, 0x01, 27, 0));
        EXPECT_EQ(ConfirmQuit(1), c.quits) << c.what;
        EXPECT_EQ(gWindowMode, WM_TREE) << c.what;
        FlushConsoleInputBuffer(gConIn);
    }
    ConfirmQuitSetWaitForTest(nullptr);
}

} // namespace
