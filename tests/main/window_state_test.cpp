// The window state: which half the current pane is drawn in, the initial
// values, saving and restoring a pane, and split screen switched on and off
// over trees built in memory.
#include "main/tree_window.h"
#include "main/window_state.h"
#include "platform/screen.h"
#include "tree/sort_order.h"
#include "tree_builder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Text(const WCHAR* text) {
    return text;
}

class WindowState : public ::testing::Test {
  protected:
    void SetUp() override {
        qtest::ResetTreeState();
        gSplitScreen = 0;
        gPanesSwapped = 0;
        for (PaneState& p : gPanes)
            p = PaneState{};
        SetCurrentPane(0);
    }
    void TearDown() override {
        qtest::ResetTreeState();
        gSplitScreen = 0;
        gPanesSwapped = 0;
        SetCurrentPane(0);
    }
};

// The numbers by which the menus, help, the click regions, the key reader
// and the clock tell the windows apart.
TEST(WindowModes, EachWindowHasItsNumber) {
    const struct {
        WORD mode;
        WORD value;
        const char* window;
    } rows[] = {
        {WM_EXPAND_PARAMETERS, 0, "execute, expanding parameters"},
        {WM_TREE, 1, "tree"},
        {WM_FILE, 2, "file window"},
        {WM_ARCHIVE_DIR, 3, "archive directory"},
        {WM_ARCHIVE_FILE, 4, "archive file"},
        {WM_VIEWER, 5, "viewer"},
        {WM_VIEW_TAGGED, 6, "tagged files viewed in turn"},
        {WM_AUTOVIEW, 7, "autoview"},
        {WM_LOG_DIALOG, 8, "log dialog"},
        {WM_SPACE_WINDOW, 9, "available space"},
        {WM_EXECUTE_PROMPT, 10, "execute prompt"},
        {WM_APP_MENU, 11, "application menu"},
        {WM_APP_MENU_EDITOR, 12, "menu item editor"},
        {WM_PRINT_KEYS, 13, "print key loop"},
        {WM_PRINT_OPTIONS, 14, "print options"},
        {WM_PRINT_OPTIONS_2, 15, "print options, second state"},
        {WM_QUIT_QUESTION, 16, "quit question"},
        {WM_RELEASE_DIALOG, 17, "release dialog"},
        {WM_LINE_EDITOR, 18, "line editor"},
        {WM_PICK_LIST, 19, "pick list"},
        {WM_INFO_SCREEN, 20, "information screen"},
        {WM_SPEED_SEARCH, 21, "speed search"},
        {WM_ERROR_DIALOG, 22, "error dialog (the clock counts its time-out down)"},
        {WM_ERROR_LINE, 23, "error line"},
        {WM_LOG_OPTION, 24, "log option question"},
        {WM_TEXT_COMPARE, 25, "text compare"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.mode, row.value) << row.window;
}

TEST_F(WindowState, TheCurrentPaneIsDrawnInItsOwnHalfUnlessSwapped) {
    const struct {
        DWORD split, swapped;
        WORD pane;
        WORD current, side;
        const char* what;
    } rows[] = {
        {0, 0, 0, 0, 0, "one pane: the left half"},
        {0, 0, 1, 1, 1, "pane 1 without split screen: side equals pane"},
        {0, 1, 1, 1, 1, "swapped means nothing without split screen"},
        {1, 0, 0, 0, 0, "split screen: pane 0 on the left"},
        {1, 0, 1, 1, 1, "split screen: pane 1 on the right"},
        {1, 1, 0, 0, 1, "swapped: pane 0 on the right"},
        {1, 1, 1, 1, 0, "swapped: pane 1 on the left"},
        {1, 0, 7, 1, 1, "a pane number past 1 is pane 1"},
    };
    for (const auto& r : rows) {
        gSplitScreen = r.split;
        gPanesSwapped = r.swapped;
        SetCurrentPane(r.pane);
        EXPECT_EQ(gCurrentPane, r.current) << r.what;
        EXPECT_EQ(gCurrentSide, r.side) << r.what;
    }
}

TEST_F(WindowState, InitialValuesAfterTheOptions) {
    for (WORD pane = 0; pane < 2; pane++) {
        gPanes[pane].CurrentIndex = 9;
        gPanes[pane].FirstShown = 4;
        gPanes[pane].FileWindowOpen = 1;
        gPanes[pane].TreeSearchText[0] = u'x';
        gPanes[pane].FileSearchText[0] = u'y';
        gDisplayMode[pane] = 4;
        gTaggedOnly[pane] = 1;
    }
    gPanes[0].PaneColumn = 48;
    const BYTE normal = gNormalAttr;
    for (BOOL small : {FALSE, TRUE}) {
        InitWindowState(small);
        for (WORD pane = 0; pane < 2; pane++) {
            SCOPED_TRACE(pane);
            EXPECT_EQ(gPanes[pane].CurrentIndex, 0u);
            EXPECT_EQ(gPanes[pane].FirstShown, 0u);
            EXPECT_EQ(gPanes[pane].SmallFileWindow, small ? 1u : 0u);
            EXPECT_EQ(gPanes[pane].FileWindowOpen, 0u);
            EXPECT_EQ(gPanes[pane].TreeSearchText[0], 0);
            EXPECT_EQ(gPanes[pane].FileSearchText[0], 0);
            EXPECT_EQ(gDisplayMode[pane], 1);
            EXPECT_EQ(gTaggedOnly[pane], 0u);
        }
        EXPECT_EQ(gPanes[0].PaneColumn, 0u);
        EXPECT_EQ(gPanes[0].Colour, normal);
    }
}

TEST_F(WindowState, ASavedPaneComesBackWhereItStood) {
    DiskInfo* disk = qtest::BuildTree('Q', u"a\\b\\c\\ x\\");
    SubdirInfo* deep = FindDirByWidePath(u"Q:\\a\\b\\c", 8, FALSE);
    ASSERT_NE(deep, nullptr);
    pdiCurrent = disk;
    psiCurrent = deep;
    gNormalAttr = 0x1E;
    SavePane(1);
    EXPECT_EQ(gPanes[1].Disk, disk);
    EXPECT_EQ(gPanes[1].Directory, deep);
    EXPECT_EQ(Text(gPanes[1].Path), u"Q:\\a\\b\\c");
    EXPECT_EQ(gPanes[1].Colour, 0x1E);
    EXPECT_EQ(gPanes[1].TreeColumn, DWORD(3 * gTreeIndent))
        << "the cursor bar's column: level times indent";

    gPanes[1].TreeTop = 2;
    gPanes[1].TreeRow = 5;
    psiCurrent = disk->psiRoot;
    pdiCurrent = nullptr;
    RestorePane(1);
    EXPECT_EQ(pdiCurrent, disk);
    EXPECT_EQ(psiCurrent, deep);
    EXPECT_EQ(disk->dwTreeTop[1], 2u);
    EXPECT_EQ(disk->yBar[1], 5);
}

TEST_F(WindowState, SplitScreenOnStartsTheSecondPaneWhereTheFirstStands) {
    DiskInfo* disk = qtest::BuildTree('Q', u"a\\b\\");
    pdiCurrent = disk;
    psiCurrent = FindDirByWidePath(u"Q:\\a\\b", 6, FALSE);
    ASSERT_NE(psiCurrent, nullptr);
    gPanes[1].CurrentIndex = 17;
    gPanes[1].Path[0] = u'Z';
    gPanesSwapped = 1;
    SplitScreenOn();
    EXPECT_EQ(gSplitScreen, 1u);
    EXPECT_EQ(gPanesSwapped, 0u) << "switching on undoes an exchange of the halves";
    EXPECT_EQ(gPanes[0].Directory, psiCurrent) << "the current position went into pane 0";
    EXPECT_EQ(Text(gPanes[1].Path), u"Q:\\a\\b");
    EXPECT_EQ(gPanes[1].Directory, psiCurrent);
    EXPECT_EQ(gPanes[1].CurrentIndex, gPanes[0].CurrentIndex) << "the whole record is copied";
    EXPECT_EQ(gCurrentSide, gCurrentPane);
}

TEST_F(WindowState, SplitScreenOffCarriesOnWherePaneOneStood) {
    const struct {
        WORD current;
        bool exchanged;
        const char* what;
    } rows[] = {
        {1, true, "pane 1 current: its record, orders and searches move to pane 0"},
        {0, false, "pane 0 current: nothing is exchanged"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        gSplitScreen = 1;
        gPanesSwapped = 1;
        gPanes[0] = PaneState{};
        gPanes[1] = PaneState{};
        gPanes[0].Path[0] = u'A';
        gPanes[1].Path[0] = u'B';
        gPanes[1].TreeSearchMain[0] = u's';
        gPanes[1].TreeSearchMainLen = 1;
        for (WORD pane = 0; pane < 2; pane++) {
            gPanes[pane].CurrentIndex = 5;
            gPanes[pane].FirstShown = 3;
            gFileOrder[pane] = SortSpec{BYTE(pane + 1), 0, 0, 0, 0};
            gDirOrder[pane] = SortSpec{BYTE(pane + 7), 0, 0, 0, 0};
        }
        // Pane 1 works with its directory order, pane 0 with its files'.
        gPaneOrder[0] = &gFileOrder[0];
        gPaneOrder[1] = &gDirOrder[1];
        gTaggedOnly[0] = 1;
        SetCurrentPane(r.current);
        SplitScreenOff();
        EXPECT_EQ(gSplitScreen, 0u);
        EXPECT_EQ(gCurrentPane, 0);
        EXPECT_EQ(gCurrentSide, 0);
        EXPECT_EQ(gTaggedOnly[0], 0u);
        for (WORD pane = 0; pane < 2; pane++) {
            EXPECT_EQ(gPanes[pane].CurrentIndex, 0u) << pane;
            EXPECT_EQ(gPanes[pane].FirstShown, 0u) << pane;
        }
        EXPECT_EQ(gPanes[0].Path[0], r.exchanged ? u'B' : u'A');
        EXPECT_EQ(gPanes[0].TreeSearchMainLen, r.exchanged ? 1 : 0);
        EXPECT_EQ(gFileOrder[0].key, r.exchanged ? 2 : 1);
        EXPECT_EQ(gDirOrder[0].key, r.exchanged ? 8 : 7);
        EXPECT_EQ(gPaneOrder[0], r.exchanged ? &gDirOrder[0] : &gFileOrder[0])
            << "pane 0 works with the kind of order pane 1 worked with";
        EXPECT_EQ(gPaneOrder[1], r.exchanged ? &gFileOrder[1] : &gDirOrder[1]);
    }
}

} // namespace
