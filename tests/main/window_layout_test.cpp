// The window layout on the test process's own console: the geometry of the
// tree and file areas for each display format, screen width, split
// arrangement and autoview; the size keys; the height keys with the frame
// line they move; and the split-mode dialog driven by typed keys.
#include "main/window_layout.h"
#include "main/startup_options.h"
#include "main/tree_window.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "platform_fixture.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/command_menus.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using qtest::ConsoleText;
using qtest::Put;
using qtest::Tap;

std::vector<INPUT_RECORD> Letter(char upper) {
    return Tap(WORD(upper), 0, WCHAR(upper + 32));
}
std::vector<INPUT_RECORD> Esc() {
    return Tap(VK_ESCAPE, 0x01, 27);
}

class WindowLayout : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        gFileDisplayFormat = 0;
        gLongNameWidth = 24;
        gNameLengthLimit = 255;
        gIniWorking.dateExtraWidth = 0;
        gSettings.bTime12Hour = 0;
        gSettings.bWindowSizing = 0;
        gSmallWindowUserRow = 0;
        gMaxRowAdjust = 0;
        gMaxColAdjust = 0;
        gNoMaximise = 0;
        gRowSizeCount = gColSizeCount = 0;
        gSavedSizeRows = gSavedSizeCols = 0;
        gSizeWidthChanged = gSizeHeightChanged = FALSE;
    }
    void TearDown() override {
        gMaxRowAdjust = 0;
        gMaxColAdjust = 0;
        gSettings.bTime12Hour = 0;
        gSettings.bWindowSizing = 0;
        PlatformTest::TearDown();
    }
    // The screen's size as the geometry reads it, without a resize.
    static void Size(int rows, int cols) {
        gScreenRows = WORD(rows);
        gScreenCols = WORD(cols);
        gScreenMaxRow = WORD(rows - 1);
        gScreenMaxCol = WORD(cols - 1);
    }
};

struct LayoutCase {
    const char* what;
    int cols;
    DWORD split;
    BYTE setting;
    DWORD autoview;
    WORD format;
    // expected
    int treeWidth, splitColumn, splitLayout;
    DWORD panels;
    DWORD fileColumns, columnWidth, entryWidth, nameWidth;
    BYTE nameField;
};

const LayoutCase kLayoutCases[] = {
    {"96 no split, names only: three widened columns", 96, 0, 0, 0, 3, 73, -1, -1, 0, 3, 24, 23, 22,
     13},
    {"80 no split, name size attributes: two columns", 80, 0, 0, 0, 2, 57, -1, -1, 0, 2, 29, 28, 12,
     3},
    {"80 no split, names only: narrow columns", 80, 0, 0, 0, 3, 57, -1, -1, 0, 3, 19, 18, 17, 8},
    {"96 no split, long name", 96, 0, 0, 0, 0, 73, -1, -1, 0, 1, 0, 73, 72, 63},
    {"96 no split, full rows on a 24-hour clock", 96, 0, 0, 0, 1, 73, -1, -1, 0, 1, 0, 73, 37, 28},
    {"121 split Both falls back to Current", 121, 1, 2, 0, 0, 47, 49, 1, 1, 1, 0, 47, 46, 37},
    {"122 split Both holds", 122, 1, 2, 0, 0, 38, 61, 2, 1, 1, 0, 38, 37, 28},
    {"100 split Current falls back to None", 100, 1, 1, 0, 1, 48, 50, 0, 0, 1, 0, 48, 24, 15},
    {"101 split Current holds", 101, 1, 1, 0, 0, 37, 39, 1, 1, 1, 0, 37, 36, 27},
    {"132 split Both, two-column format fits one column", 132, 1, 2, 0, 2, 43, 66, 2, 1, 1, 0, 43,
     24, 15},
    {"132 split with a stored value out of range: None", 132, 1, 3, 0, 0, 64, 66, 0, 0, 1, 0, 64,
     63, 54},
    {"80 split None, name size attributes: one wide column", 80, 1, 0, 0, 2, 38, 40, 0, 0, 1, 0, 38,
     19, 10},
    {"132 autoview, names only take the wide columns", 132, 0, 0, 1, 3, 43, 66, -1, 0, 2, 22, 21,
     20, 11},
    {"96 autoview, names only", 96, 0, 0, 1, 3, 46, 48, -1, 0, 2, 23, 22, 21, 12},
    {"96 autoview column", 96, 0, 0, 1, 4, 46, 48, -1, 0, 1, 0, 39, 38, 29},
    {"80 autoview column without the width allowance", 80, 0, 0, 1, 4, 38, 40, -1, 0, 1, 0, 38, 37,
     28},
};

TEST_F(WindowLayout, GeometryByWidthSplitAutoviewAndFormat) {
    for (const LayoutCase& c : kLayoutCases) {
        SCOPED_TRACE(c.what);
        Size(34, c.cols);
        gSplitScreen = c.split;
        gSplitLayoutSetting = c.setting;
        gSplitLayout = 0;
        gSplitPanels = 0;
        gAutoview[0] = c.autoview;
        gFileDisplayFormat = c.format;
        gPanes[0] = PaneState{};
        gPanes[1] = PaneState{};
        gSplitColumn = 0;
        ComputeFileWinLayout(-1);
        EXPECT_EQ(gTreeWidth, c.treeWidth);
        EXPECT_EQ(gTreeLineStride, c.treeWidth + 4);
        if (c.splitColumn >= 0) {
            EXPECT_EQ(gSplitColumn, c.splitColumn);
            EXPECT_EQ(gLeftLastColumn, c.splitColumn - 1);
        }
        if (c.splitLayout >= 0) {
            EXPECT_EQ(gSplitLayout, c.splitLayout);
        }
        if (c.split) {
            EXPECT_EQ(gSplitPanels, c.panels);
        }
        const PaneState& p = gPanes[0];
        EXPECT_EQ(p.FileColumns, c.fileColumns);
        EXPECT_EQ(p.ColumnWidth, c.columnWidth);
        EXPECT_EQ(p.EntryWidth, c.entryWidth);
        EXPECT_EQ(p.NameWidth, c.nameWidth);
        EXPECT_EQ(gNameFieldWidth, c.nameField);
        EXPECT_EQ(p.FileAreaRow, 2u);
        EXPECT_EQ(gFileRows, 28);
        EXPECT_EQ(p.PageSize, 28u * c.fileColumns);
    }
}

// The full rows' name width gives way to the 12-hour clock, the four-digit
// year and, in a narrow split half, to the size and date columns.
TEST_F(WindowLayout, FullRowNameWidthFollowsClockYearAndSplit) {
    struct Case {
        const char* what;
        int cols;
        DWORD split;
        BYTE twelveHour;
        WORD yearExtra;
        DWORD nameWidth;
    } cases[] = {
        {"24-hour clock, wide tree", 96, 0, 0, 0, 37},
        {"12-hour clock", 96, 0, 1, 0, 34},
        {"four-digit years", 96, 0, 0, 2, 35},
        {"80 columns: a tree of 57 still takes the wider name", 80, 0, 0, 0, 57 - 36},
        {"split half narrower than 57", 100, 1, 0, 2, 48 - 2 - 24},
        {"split half of 57 or more", 122, 1, 1, 0, 59 - 39},
    };
    gFileDisplayFormat = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Size(34, c.cols);
        gSplitScreen = c.split;
        gSplitLayoutSetting = 0;
        gSettings.bTime12Hour = c.twelveHour;
        gIniWorking.dateExtraWidth = c.yearExtra;
        ComputeFileWinLayout(-1);
        EXPECT_EQ(gPanes[0].NameWidth, c.nameWidth) << "tree width " << gTreeWidth;
    }
}

TEST_F(WindowLayout, NameFieldTakesTheUserLimitOnlyWhenItIsSmaller) {
    Size(34, 96);
    gFileDisplayFormat = 0; // W = 72, room 63
    for (auto [limit, expected] : {std::pair<int, int>{10, 10}, {63, 63}, {64, 63}, {255, 63}}) {
        gNameLengthLimit = BYTE(limit);
        ComputeFileWinLayout(-1);
        EXPECT_EQ(gNameFieldWidth, expected) << "limit " << limit;
    }
}

TEST_F(WindowLayout, DescriptionFormatHalvesAndDoublesTheNameWidthUntilItNoLongerFits) {
    Size(34, 96); // tree width 73
    gFileDisplayFormat = 5;
    gLongNameWidth = 24;
    struct Step {
        int direction;
        WORD longName;
        DWORD nameWidth;
    } steps[] = {{-1, 24, 37}, {0, 48, 61}, {1, 24, 37}, {0, 48, 61},
                 {0, 0, 13},   {0, 0, 13},  {-1, 0, 13}};
    for (const Step& s : steps) {
        ComputeFileWinLayout(s.direction);
        EXPECT_EQ(gLongNameWidth, s.longName) << "direction " << s.direction;
        EXPECT_EQ(gPanes[0].NameWidth, s.nameWidth) << "direction " << s.direction;
        EXPECT_EQ(gPanes[0].FileColumns, 1u);
    }
}

TEST_F(WindowLayout, RowsFollowTheSmallFileWindowAndSplitGivesTheOtherPaneItsHalf) {
    Size(34, 132);
    gSmallWindowRow = 20;
    gSmallWindowRows = 10;
    gSplitScreen = 1;
    gSplitLayoutSetting = 2;
    gFileDisplayFormat = 3;
    SetCurrentPane(1); // pane 1 on side 1
    gPanes[1].SmallFileWindow = 1;
    gPanes[0].SmallFileWindow = 0;
    ComputeFileWinLayout(-1);
    const PaneState& cur = gPanes[1];
    const PaneState& other = gPanes[0];
    EXPECT_EQ(cur.FileAreaRow, 20u);
    EXPECT_EQ(gFileRows, 10);
    EXPECT_EQ(cur.PaneColumn, 66u);
    EXPECT_EQ(cur.FileAreaColumn, 67u);
    EXPECT_EQ(cur.PageSize, 10u * cur.FileColumns);
    EXPECT_EQ(other.PaneColumn, 0u);
    EXPECT_EQ(other.FileAreaColumn, 1u);
    EXPECT_EQ(other.FileAreaRow, 2u) << "the other pane's own full-height window";
    EXPECT_EQ(other.FileColumns, cur.FileColumns);
    EXPECT_EQ(other.ColumnWidth, cur.ColumnWidth);
    EXPECT_EQ(other.EntryWidth, cur.EntryWidth);
    EXPECT_EQ(other.NameWidth, cur.NameWidth);

    // Swapped: pane 1 is drawn on the left, the other pane on the right.
    gPanesSwapped = 1;
    SetCurrentPane(1);
    ASSERT_EQ(gCurrentSide, 0);
    gPanes[0].SmallFileWindow = 1;
    ComputeFileWinLayout(-1);
    EXPECT_EQ(gPanes[1].PaneColumn, 0u);
    EXPECT_EQ(gPanes[0].PaneColumn, 66u);
    EXPECT_EQ(gPanes[0].FileAreaColumn, 67u);
    EXPECT_EQ(gPanes[0].FileAreaRow, 20u);

    // A current pane in autoview keeps the left columns and leaves the
    // other pane alone.
    gPanesSwapped = 0;
    SetCurrentPane(1);
    gAutoview[1] = 1;
    gPanes[0].FileColumns = 7;
    ComputeFileWinLayout(-1);
    EXPECT_EQ(gPanes[1].PaneColumn, 0u);
    EXPECT_EQ(gPanes[1].FileAreaColumn, 1u);
    EXPECT_EQ(gPanes[0].FileColumns, 7u);
}

// The tree window's last row follows the small file window, however the
// screen was set up.
TEST_F(WindowLayout, TheTreeWindowsLastRowFollowsTheScreenSetUp) {
    for (const int rows : {25, 34, 50}) {
        ScrSetupLayout(rows, 96, 1);
        ASSERT_GT(gSmallWindowRow, 8) << rows;
        EXPECT_EQ(gTreeLastRowIndex, gSmallWindowRow - 4) << rows << " rows";
    }
    Size(34, 96);
    gSmallWindowRow = 12;
    ComputeFileWinLayout(-1);
    EXPECT_EQ(gTreeLastRowIndex, 8);
}

// ---- size keys ---------------------------------------------------------------------------

constexpr int kAltF7 = KC_ALT + 0x6F + 7;
constexpr int kAltF8 = KC_ALT + 0x6F + 8;
constexpr int kAltShF8 = KC_ALT_SHIFT + 0x6F + 8;
constexpr int kAltF9 = KC_ALT + 0x6F + 9;
constexpr int kAltShF9 = KC_ALT_SHIFT + 0x6F + 9;

TEST_F(WindowLayout, SizeKeySequencesStepThroughHeightsAndWidths) {
    // The test terminal is 80 x 25: the largest size becomes 160 x 80.
    gMaxRowAdjust = 55;
    gMaxColAdjust = 80;
    struct Case {
        const char* what;
        int rows, cols, key;
        std::vector<int> seen; // requested rows or columns, each applied in turn
    } cases[] = {
        {"Alt-F9 through the steps, by ten, and from the largest back",
         25,
         96,
         kAltF9,
         {28, 34, 43, 50, 60, 70, 80, 25}},
        {"Alt-F9 from a height outside the steps", 37, 96, kAltF9, {47, 57, 67, 77, 80, 25}},
        {"Alt-F9 from 999", 999, 96, kAltF9, {25}},
        {"Alt-Shift-F9 from 25 takes the largest, then down",
         25,
         96,
         kAltShF9,
         {80, 70, 60, 50, 43, 34, 28, 25, 80}},
        {"Alt-Shift-F9 between the steps", 57, 96, kAltShF9, {47, 37, 27, 80}},
        {"Alt-Shift-F9 from 999", 999, 96, kAltShF9, {80}},
        {"Alt-F8 by 16 up to the largest, then back to 96",
         25,
         96,
         kAltF8,
         {112, 128, 144, 160, 96}},
        {"Alt-F8 stops at the largest", 25, 150, kAltF8, {160, 96}},
        {"Alt-Shift-F8 from 96 takes the largest, then down to 96",
         25,
         96,
         kAltShF8,
         {160, 144, 128, 112, 96, 160}},
        {"Alt-Shift-F8 never below 96", 25, 100, kAltShF8, {96, 160}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Size(c.rows, c.cols);
        const bool rowsKey = c.key == kAltF9 || c.key == kAltShF9;
        for (int expected : c.seen) {
            gSizeWidthChanged = gSizeHeightChanged = FALSE;
            EXPECT_EQ(ConsoleSizeKey(c.key), 1);
            const int got = rowsKey ? gSizeRequestRows : gSizeRequestCols;
            EXPECT_EQ(got, expected);
            EXPECT_EQ(rowsKey ? gSizeRequestCols : gSizeRequestRows,
                      rowsKey ? gScreenCols : gScreenRows)
                << "the other dimension is kept";
            EXPECT_EQ(bool(gSizeHeightChanged), rowsKey);
            EXPECT_EQ(bool(gSizeWidthChanged), !rowsKey);
            Size(rowsKey ? got : gScreenRows, rowsKey ? gScreenCols : got);
        }
    }
}

TEST_F(WindowLayout, SizeKeysWalkTheStartupListsBothWays) {
    gColSizeList[0] = 100;
    gColSizeList[1] = 120;
    gColSizeList[2] = 140;
    gColSizeCount = 3;
    gRowSizeList[0] = 30;
    gRowSizeList[1] = 40;
    gRowSizeCount = 2;
    struct Case {
        const char* what;
        int key;
        WORD startPos;
        std::vector<int> seen;
    } cases[] = {
        {"widths forward from past the end", kAltF8, 3, {100, 120, 140, 100}},
        {"widths back from past the end", kAltShF8, 3, {140, 120, 100, 140}},
        {"heights forward from the first", kAltF9, 0, {40, 30, 40}},
        {"heights back from the first", kAltShF9, 0, {40, 30, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Size(25, 96);
        gColSizePos = gRowSizePos = c.startPos;
        for (int expected : c.seen) {
            ConsoleSizeKey(c.key);
            const bool rowsKey = c.key == kAltF9 || c.key == kAltShF9;
            EXPECT_EQ(rowsKey ? gSizeRequestRows : gSizeRequestCols, expected);
        }
    }
}

TEST_F(WindowLayout, AltF7MaximisesAndRestores) {
    gMaxRowAdjust = 55;
    gMaxColAdjust = 80;
    gFirstScreenRows = 34;
    gFirstScreenCols = 100;

    Size(43, 120);
    ConsoleSizeKey(kAltF7);
    EXPECT_EQ(gSizeRequestRows, 65535) << "the largest is asked for";
    EXPECT_TRUE(gSizeHeightChanged);

    Size(80, 160); // maximised
    ConsoleSizeKey(kAltF7);
    EXPECT_EQ(gSizeRequestRows, 43);
    EXPECT_EQ(gSizeRequestCols, 120);

    Size(80, 160); // maximised with nothing saved: the start-up size
    ConsoleSizeKey(kAltF7);
    EXPECT_EQ(gSizeRequestRows, 34);
    EXPECT_EQ(gSizeRequestCols, 100);

    gFirstScreenRows = 80;
    gFirstScreenCols = 160;
    Size(80, 160); // already the start-up size: 96 x 43
    ConsoleSizeKey(kAltF7);
    EXPECT_EQ(gSizeRequestRows, 43);
    EXPECT_EQ(gSizeRequestCols, 96);

    gNoMaximise = 1;
    Size(43, 120);
    gSizeHeightChanged = gSizeWidthChanged = FALSE;
    gSizeRequestRows = 0;
    EXPECT_EQ(ConsoleSizeKey(kAltF7), 1);
    EXPECT_FALSE(gSizeHeightChanged) << "a fixed size is never maximised";
    EXPECT_FALSE(gSizeWidthChanged);
}

TEST_F(WindowLayout, TheStartFormatComesFromTheSettingsWithinItsRange) {
    const struct {
        unsigned setting;
        WORD format;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 2}, {5, 2}, {65535, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(FileDisplayFormatFromSetting(c.setting), c.format) << c.setting;
}

// ---- window height keys ------------------------------------------------------------------

constexpr int kAltHome = KC_ALT + 0x24;
constexpr int kAltUp = KC_ALT + 0x26;
constexpr int kAltDown = KC_ALT + 0x28;

TEST_F(WindowLayout, AltUpNeverMovesTheSmallWindowAboveRowEight) {
    // The fixture lays the screen out as 25 x 80.
    int row = gSmallWindowRow;
    ASSERT_GT(row, 8);
    while (row > 8) {
        EXPECT_EQ(WindowHeightKey(kAltUp, TRUE), 4119);
        row--;
        EXPECT_EQ(gSmallWindowRow, row);
        EXPECT_EQ(gSmallWindowRows, gSmallWindowLastRow + 1 - row);
        EXPECT_EQ(gTreeLastRowIndex, row - 4);
        // The line above the small window moved with it.
        EXPECT_EQ(ConsoleText(row - 1, 0, 2), u"\u251C\u2500");
        EXPECT_EQ(ConsoleText(row, 0, 2), u"\u2502 ");
    }
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(WindowHeightKey(kAltUp, TRUE), 0);
        EXPECT_EQ(gSmallWindowRow, 8);
    }
}

TEST_F(WindowLayout, AltDownStopsTwoRowsAboveTheMessageRowAndAltHomeGoesBack) {
    const int start = gSmallWindowDefaultRow;
    ASSERT_EQ(gSmallWindowRow, start);
    EXPECT_EQ(WindowHeightKey(kAltHome, TRUE), 0) << "already at the default";
    int moves = 0;
    while (WindowHeightKey(kAltDown, TRUE) == 4119)
        moves++;
    EXPECT_EQ(gSmallWindowRow, gMessageRow - 2);
    EXPECT_EQ(moves, gMessageRow - 2 - start);
    EXPECT_EQ(WindowHeightKey(kAltHome, TRUE), 4119);
    EXPECT_EQ(gSmallWindowRow, start);
}

TEST_F(WindowLayout, HeightIsKeptInTheFormTheSizingSwitchAsks) {
    struct Case {
        const char* what;
        BYTE sizing;
        BYTE stored; // for row 9 on 25 rows
    } cases[] = {
        {"proportional", 0, (9 - 3) * 100 / (25 - 7)},
        {"tree window fixed", 1, 9},
        {"small file window fixed", 2, 25 - 4 - 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gSettings.bWindowSizing = c.sizing;
        WindowHeightKey(kAltHome, TRUE);
        gSmallWindowRow = 10;
        ASSERT_EQ(WindowHeightKey(kAltUp, TRUE), 4119);
        EXPECT_EQ(gSmallWindowStored, c.stored);
        EXPECT_EQ(gSmallWindowUserRow, 9);
    }
}

TEST_F(WindowLayout, AMovedBoundaryDrawsTheCursorMarkAgainUnlessToldNot) {
    gPanes[0].TreeTop = 0;
    gPanes[0].TreeRow = 3;
    for (BOOL noRedraw : {TRUE, FALSE}) {
        SCOPED_TRACE(noRedraw ? "no redraw" : "redraw");
        WindowHeightKey(kAltHome, TRUE);
        ScrClearArea(0, 0, 24, 79, 0x07);
        ASSERT_EQ(WindowHeightKey(kAltDown, noRedraw), 4119);
        EXPECT_EQ(ConsoleText(3 + 2, 1, 1), noRedraw ? u" " : u"\u2192");
    }
}

TEST_F(WindowLayout, AltUpOntoTheTreeCursorScrollsTheTree) {
    gSmallWindowRow = 12;
    gPanes[0].TreeTop = 4;
    gPanes[0].TreeRow = 8;
    EXPECT_EQ(WindowHeightKey(kAltUp, TRUE), 4119); // row 11 == 8 + 3
    EXPECT_EQ(gPanes[0].TreeTop, 5u);
    EXPECT_EQ(gPanes[0].TreeRow, 7u);
    EXPECT_EQ(WindowHeightKey(kAltUp, TRUE), 4119); // row 10 == 7 + 3
    EXPECT_EQ(gPanes[0].TreeTop, 6u);
    EXPECT_EQ(gPanes[0].TreeRow, 6u);
}

// ---- autoview frame and pane figures ----------------------------------------------------------

TEST_F(WindowLayout, MainFrameLineAboveTheSmallWindowDrawnAndErased) {
    // 25 x 80 without split screen: the line is 80 - 21 = 59 columns long.
    struct Case {
        const char* what;
        int lineRow;
        BOOL on;
        std::u16string ends; // columns 0, 1, 57 and 58
    } cases[] = {
        // Drawn, the sort indicator stands on the line at 79 - 25 - 10 = 44
        // and ends with its own tee in column 57.
        {"drawn", 12, TRUE, u"\u251C\u2500\u251C\u2524"},
        {"erased", 12, FALSE, u"\u2502  \u2502"},
        {"drawn on the statistics panel's own line", 7, TRUE, u"\u251C\u2500\u251C\u253C"},
        {"erased on the statistics panel's own line", 7, FALSE, u"\u2502  \u251C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScrClearArea(0, 0, 24, 79, 0x07);
        ScrHLine(c.lineRow, 0, 80, u'x', u'x', u'x', 0x07);
        gSmallWindowRow = WORD(c.lineRow + 1);
        ComputeFileWinLayout(-1);
        DrawMainFrame(c.on);
        const std::u16string row = ConsoleText(c.lineRow, 0, 60);
        EXPECT_EQ(row.substr(0, 2) + row.substr(57, 2), c.ends);
        EXPECT_EQ(row[59], u'x') << "the statistics panel's columns untouched";
        if (c.on) {
            EXPECT_EQ(row.substr(43, 2), u"\u2500\u2500") << "the indicator starts at column 44";
            EXPECT_EQ(row.substr(53, 1), u"\u2524") << "the indicator's key letter box";
        }
        EXPECT_EQ(ConsoleText(2, 0, 1), u"\u2502") << "the left frame column";
        EXPECT_EQ(ConsoleText(gFrameLastRow - 1, 0, 1), u"\u2502");
    }
}

TEST_F(WindowLayout, MainFrameInSplitScreenGivesEachHalfItsPiece) {
    // 25 x 80 split, layout None: the halves start at 0 and 40, tree width 38.
    gSplitScreen = 1;
    gSmallWindowRow = 13;
    ComputeFileWinLayout(-1);
    ASSERT_EQ(gSplitColumn, 40);
    ASSERT_EQ(gTreeWidth, 38);
    struct Case {
        const char* what;
        DWORD rightFileWindowOpen;
        std::u16string right; // columns 40 (the split column), 41 and 79 of the line
    } cases[] = {
        {"both halves show the tree", 0, u"\u251C\u2500\u2524"},
        {"the right half's full file window keeps its rows", 1, u"\u2502xx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScrClearArea(0, 0, 24, 79, 0x07);
        ScrHLine(12, 0, 80, u'x', u'x', u'x', 0x07);
        gPanes[1].FileWindowOpen = c.rightFileWindowOpen;
        DrawMainFrame(TRUE);
        const std::u16string row = ConsoleText(12, 0, 80);
        EXPECT_EQ(row.substr(0, 2) + row.substr(39, 1), u"\u251C\u2500\u2524")
            << "left piece, 40 long";
        EXPECT_EQ(row.substr(40, 2) + row.substr(79, 1), c.right);
        EXPECT_EQ(ConsoleText(5, 40, 1), u"\u2502") << "the split column";
    }
}

TEST_F(WindowLayout, AutoviewFrameBoxesTheNarrowColumn) {
    // 25 x 80: the column's text is gLongNameWidth + 14 = 38 wide.
    for (BOOL full : {FALSE, TRUE}) {
        SCOPED_TRACE(full);
        ScrClearArea(0, 0, 24, 79, 0x07);
        DrawFileWindowFrame(full);
        EXPECT_EQ(gPanes[0].EntryWidth, 38u);
        EXPECT_EQ(ConsoleText(1, 0, 1), u"\u250C");
        EXPECT_EQ(ConsoleText(1, 38, 3), u"\u2500\u252C\u2500");
        EXPECT_EQ(ConsoleText(1, 79, 1), u"\u2510");
        EXPECT_EQ(ConsoleText(gFrameLastRow, 0, 1), u"\u2514");
        EXPECT_EQ(ConsoleText(gFrameLastRow, 39, 1), u"\u2534");
        EXPECT_EQ(ConsoleText(gFrameLastRow, 79, 1), u"\u2518");
        for (int row = 2; row < gFrameLastRow; row++) {
            SCOPED_TRACE(row);
            EXPECT_EQ(ConsoleText(row, 39, 1), u"\u2502");
            const bool panelLine = row == 3 || row == 7 || row == gSmallWindowRow - 1;
            EXPECT_EQ(ConsoleText(row, 79, 1), full || panelLine ? u"\u2502" : u" ");
        }
    }
}

TEST_F(WindowLayout, AutoviewOnNarrowsTheListAndOffPutsTheScreenBack) {
    // 25 x 80 without split screen, a three-column list scrolled to the top.
    gFileDisplayFormat = 3;
    gWindowMode = WM_FILE;
    ComputeFileWinLayout(-1);
    ASSERT_GT(gPanes[0].FileColumns, 1u);
    const int rows = gFileRows;
    for (int row = 0; row <= gScreenMaxRow; row++)
        ScrHLine(row, 0, 80, u'x', u'x', u'x', 0x70);
    const std::u16string panelBefore = ConsoleText(5, 58, 22);
    const std::u16string pathBefore = ConsoleText(0, 0, 58);

    DWORD index = DWORD(rows + 4), row = 0; // below a one-column page
    StartAutoview(&index, &row);
    EXPECT_EQ(gAutoview[0], 1u);
    EXPECT_EQ(gWindowMode, WM_AUTOVIEW);
    EXPECT_EQ(gFileDisplayFormat, 4);
    EXPECT_EQ(gSplitPanels, 0u);
    EXPECT_EQ(gPanes[0].FileColumns, 1u);
    EXPECT_EQ(index, DWORD(rows + 4)) << "the cursor entry stays";
    EXPECT_EQ(gPanes[0].FirstShown, 5u);
    EXPECT_EQ(row, DWORD(rows - 1)) << "on the page's last row";
    EXPECT_EQ(ConsoleText(1, 39, 1), u"\u252C") << "the autoview column's frame";
    EXPECT_EQ(ConsoleText(1, 79, 1), u"\u2510") << "the frame over the statistics panel";

    StartAutoview(&index, &row);
    EXPECT_EQ(gAutoview[0], 0u);
    EXPECT_EQ(gWindowMode, WM_FILE);
    EXPECT_EQ(gFileDisplayFormat, 3);
    EXPECT_EQ(gSplitPanels, 1u);
    EXPECT_GT(gPanes[0].FileColumns, 1u);
    EXPECT_EQ(ConsoleText(5, 58, 22), panelBefore) << "the statistics panel put back";
    EXPECT_EQ(ConsoleText(1, 79, 1), u"x");
    EXPECT_EQ(ConsoleText(0, 0, 58), pathBefore) << "the path line put back";
}

TEST_F(WindowLayout, PaneFrameRepaintDrawsFrameTrackAndTree) {
    qtest::ResetTreeState();
    DiskInfo* disk = qtest::BuildTree('Q', u"alpha\\ beta\\");
    pdiCurrent = disk;
    psiCurrent = disk->psiRoot;
    gPanes[0].SmallFileWindow = 1;
    ComputeFileWinLayout(-1);
    for (int row = 0; row <= gScreenMaxRow; row++)
        ScrHLine(row, 0, 80, u'x', u'x', u'x', 0x07);
    RedrawPaneFrame();
    EXPECT_EQ(ConsoleText(1, 0, 3), u"\u250C\u2500\u2500");
    EXPECT_EQ(ConsoleText(1, 57, 2), u"\u2500x") << "58 columns, the statistics panel untouched";
    EXPECT_EQ(ConsoleText(gFrameLastRow, 0, 2), u"\u2514\u2500");
    EXPECT_EQ(ConsoleText(gFrameLastRow - 1, 0, 1), u"\u2502") << "the track on the pane's column";
    const std::u16string tree = ConsoleText(3, 1, 20) + ConsoleText(4, 1, 20);
    EXPECT_NE(tree.find(u"alpha"), std::u16string::npos) << qtest::NarrowText(tree);
    EXPECT_NE(tree.find(u"beta"), std::u16string::npos) << qtest::NarrowText(tree);
    std::free(gTreeLines[0]);
    gTreeLines[0] = nullptr;
    gTreeLineRows[0] = 0;
    qtest::ResetTreeState();
}

TEST_F(WindowLayout, CopySideStateGivesTheOtherPaneTheseFigures) {
    qtest::ResetTreeState();
    DiskInfo* disk = qtest::BuildTree('Q', u"a\\f.txt=10#3 a\\g.txt=20 b\\h=5#1 r=7");
    qtest::RecountTrees();
    // Pane 1 starts with nothing of its own.
    disk->dwTagFiles[1] = 0;
    disk->qwMatchBytes[1] = 0;
    for (SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
        d->bFlags[1] = 0;
        d->dwTagFiles[1] = d->dwMatchFiles[1] = 0;
        d->qwTagBytes[1] = d->qwMatchBytes[1] = 0;
        for (DWORD i = 0; d->pFiles && i < d->dwFiles; i++)
            d->pFiles[i].bFlags[1] = 0;
    }
    struct {
        DisplayFileList header;
        void* entries[1];
    } list{};
    list.header.taggedEntries[0] = 2;
    list.header.taggedBytes[0] = 15;
    gFileList = &list.header;

    CopySideState(TRUE, 1);
    EXPECT_EQ(list.header.taggedEntries[1], 0u) << "the list header is left alone";
    EXPECT_EQ(disk->dwTagFiles[1], disk->dwTagFiles[0]);
    EXPECT_EQ(disk->qwMatchBytes[1], disk->qwMatchBytes[0]);
    EXPECT_NE(disk->dwTagFiles[0], 0u) << "the tree has tagged files to copy";
    int files = 0;
    for (SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
        SCOPED_TRACE(qtest::NarrowText(d->pszFullName));
        EXPECT_EQ(d->bFlags[1], d->bFlags[0]);
        EXPECT_EQ(d->dwTagFiles[1], d->dwTagFiles[0]);
        EXPECT_EQ(d->qwTagBytes[1], d->qwTagBytes[0]);
        EXPECT_EQ(d->dwMatchFiles[1], d->dwMatchFiles[0]);
        EXPECT_EQ(d->qwMatchBytes[1], d->qwMatchBytes[0]);
        for (DWORD i = 0; d->pFiles && i < d->dwFiles; i++, files++)
            EXPECT_EQ(d->pFiles[i].bFlags[1], d->pFiles[i].bFlags[0]);
    }
    EXPECT_EQ(files, 4);

    CopySideState(FALSE, 1);
    EXPECT_EQ(list.header.taggedEntries[1], 2u);
    EXPECT_EQ(list.header.taggedBytes[1], 15u);
    gFileList = nullptr;
    qtest::ResetTreeState();
}

TEST_F(WindowLayout, HeightKeyInSplitScreenAsksTheLoopToRepaintTheOtherHalf) {
    struct Case {
        const char* what;
        DWORD otherOpen, otherSmall;
        bool repaint;
    } cases[] = {
        {"the other half shows its tree", 0, 0, true},
        {"the other half shows the small file window", 1, 1, true},
        {"the other half's full file window is left alone", 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gSplitScreen = 1;
        gSmallWindowRow = 14;
        gPanes[1].FileWindowOpen = c.otherOpen;
        gPanes[1].SmallFileWindow = c.otherSmall;
        ASSERT_EQ(WindowHeightKey(KC_ALT + 0x26, TRUE), 4119);
        Put(Letter('Z'));
        if (c.repaint) {
            EXPECT_EQ(KbdGetKey(FALSE, TRUE), 4123);
            EXPECT_EQ(KbdGetKey(FALSE, TRUE), 4123);
        }
        EXPECT_EQ(KbdGetKey(FALSE, TRUE), 'Z');
    }
}

// ---- split-mode dialog -------------------------------------------------------------------

TEST_F(WindowLayout, SplitModeDialogKeys) {
    struct Case {
        const char* what;
        int cols;
        DWORD split;
        BYTE setting;
        std::vector<char> keys; // '\x1b' for Esc
        int result;
        BYTE settingAfter;
        DWORD swappedAfter;
    } cases[] = {
        {"Both on a wide split screen", 132, 1, 0, {'B'}, 4137, 2, 0},
        {"Current on a wide split screen", 132, 1, 2, {'C'}, 4137, 1, 0},
        {"the same choice changes nothing", 132, 1, 1, {'C'}, 0, 1, 0},
        {"Both refused below 122 columns", 121, 1, 0, {'B', '\x1b'}, 0, 0, 0},
        {"Current refused at 100 columns", 100, 1, 0, {'C', '\x1b'}, 0, 0, 0},
        {"chosen without split screen: kept, nothing to redraw", 132, 0, 0, {'B'}, 0, 2, 0},
        {"other keys ignored", 132, 1, 0, {'X', 'Q', 'N'}, 0, 0, 0},
        {"Swap with split screen", 96, 1, 0, {'S'}, 4137, 0, 1},
        {"Swap refused without split screen", 96, 0, 0, {'S', '\x1b'}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScrSetupLayout(25, c.cols, 1);
        gSplitScreen = c.split;
        gPanesSwapped = 0;
        SetCurrentPane(0);
        gSplitLayoutSetting = c.setting;
        ComputeFileWinLayout(-1);
        for (char k : c.keys)
            Put(k == '\x1b' ? Esc() : Letter(k));
        Put(Letter('Z')); // left for whoever reads next
        EXPECT_EQ(SplitModeDialog(), c.result);
        EXPECT_EQ(gSplitLayoutSetting, c.settingAfter);
        EXPECT_EQ(gPanesSwapped, c.swappedAfter);
        if (c.swappedAfter) {
            EXPECT_EQ(gCurrentSide, 1) << "pane 0 now drawn on the right";
        }
        EXPECT_EQ(KbdGetKey(FALSE, TRUE), 'Z') << "the dialog reads exactly its own keys";
    }
}

TEST_F(WindowLayout, SplitModeDialogShowsOnlyTheChoicesTheScreenAllows) {
    struct Case {
        int cols;
        DWORD split;
        BYTE setting;
        std::u16string row; // columns 0..49 of the message row
        std::u16string swap;
    } cases[] = {
        {132, 1, 2, u"Split Mode: Statistics None Current Both (Both   )", u"Swap"},
        {101, 1, 1, u"Split Mode: Statistics None Current      (Current)", u"Swap"},
        {96, 0, 0, u"Split Mode: Statistics None              (None   )", u"Swap"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cols);
        ScrSetupLayout(25, c.cols, 1);
        gSplitScreen = c.split;
        gSplitLayoutSetting = c.setting;
        ComputeFileWinLayout(-1);
        Put(Esc());
        EXPECT_EQ(SplitModeDialog(), 0);
        // The dialog's rows are still on screen after Esc.
        EXPECT_EQ(ConsoleText(gMessageRow, 0, 50), c.row);
        EXPECT_EQ(ConsoleText(gHintRow, 12, 4), c.swap);
        EXPECT_EQ(qtest::ConsoleAttrs(gHintRow, 12, 1)[0], gKeyLetterAttr);
        EXPECT_EQ(qtest::ConsoleAttrs(gMessageRow, 23, 1)[0], gKeyLetterAttr) << "N of None";
    }
}

} // namespace
