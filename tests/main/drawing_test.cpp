// The drawers a log redraws, on the test process's own console: the tree
// window's line list, the path line, the statistics panel's figures and
// headings, the running figures of a log, the logo box and the small file
// window, read back cell by cell with their colours.
#include "internal/console.h"
#include "main/file_window.h"
#include "main/startup_options.h"
#include "main/statistics.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "archive/archive_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "fixture.h"
#include "platform_fixture.h"
#include "qposix_path.h"
#include "settings/folders.h"
#include "settings/colours.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/command_menus.h"
#include "ui/progress.h"

#include <chrono>
#include <cstdlib>
#include <thread>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <cstring>
#include <string>
#include <vector>

namespace {

using qtest::ShadowText;

constexpr BYTE kNormal = 0x07;
constexpr BYTE kFigure = 0x1E;
constexpr BYTE kFrames = 0x1B;
constexpr BYTE kFileWindow = 0x17;
constexpr BYTE kDirWindow = 0x13;
constexpr BYTE kTagColour = 0x4F;

std::string Narrow(const std::u16string& s) { return qtest::NarrowText(s); }

class Drawing : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        qtest::ResetTreeState();
        gNormalAttr = kNormal;
        gKeyLetterAttr = kFigure;
        gMessageAttr = kFrames;
        gColourTable[COLOUR_NORMAL] = kFileWindow;
        gColourTable[COLOUR_DMNORMAL] = kDirWindow;
        gColourTable[COLOUR_TAGN] = kTagColour;
        gTreeSizeMode = 0;
        gKiloUnit = 1024;
        gSettings.bFixedBar = 0;
        gTitleLayout = {};
        gArchiveTreeActive = FALSE;
        gLogoShown = FALSE;
    }
    void TearDown() override {
        for (int p = 0; p < 2; p++) {
            std::free(gTreeLines[p]);
            gTreeLines[p] = nullptr;
            gTreeLineRows[p] = 0;
        }
        qtest::ResetTreeState();
        gSettings.bFixedBar = 0;
        gTitleLayout = {};
        PlatformTest::TearDown();
    }

    // Fills a rectangle with a character, so that a test sees what a drawer
    // cleared and what it left.
    static void Fill(int top, int left, int bottom, int right, WCHAR c) {
        for (int row = top; row <= bottom; row++)
            ScrHLine(row, left, right - left + 1, c, c, c, 0x70);
    }

    // The text of list row i of pane 0, gTreeWidth units.
    static std::u16string Row(DWORD i) {
        return std::u16string(gTreeLines[0] + size_t(i) * gTreeLineStride, gTreeWidth);
    }
    static const SubdirInfo* RowDir(DWORD i) {
        const SubdirInfo* dir = nullptr;
        std::memcpy(&dir, gTreeLines[0] + size_t(i) * gTreeLineStride + gTreeWidth, sizeof dir);
        return dir;
    }
    // A row's text without its trailing blanks.
    static std::u16string Trimmed(DWORD i) {
        std::u16string text = Row(i);
        while (!text.empty() && text.back() == u' ') text.pop_back();
        return text;
    }

    static SubdirInfo* Dir(const char16_t* path) { return FindDirByPath(path, nullptr, TRUE); }

    DiskInfo* MakeTree(std::u16string_view description) {
        DiskInfo* disk = qtest::BuildTree('X', description);
        std::memcpy(disk->wszDevice, u"/dev/t", sizeof(u"/dev/t"));
        pdiCurrent = disk;
        psiCurrent = disk->psiRoot;
        return disk;
    }
};

// ---- the tree window's rows ----------------------------------------------------

TEST_F(Drawing, TreeRowsHaveBranchLinesAndConnectors) {
    DiskInfo* disk = MakeTree(u"a\\b\\ a\\c\\x\\ d\\ d\\e\\");
    struct {
        BYTE fixedBar;
        WORD first;
    } layouts[] = {{0, 0}, {1, 3}};
    for (const auto& layout : layouts) {
        gSettings.bFixedBar = layout.fixedBar;
        showtree();
        ASSERT_EQ(gTreeFirstLine, layout.first);
        ASSERT_NE(gTreeLines[0], nullptr);
        EXPECT_GE(gTreeLineRows[0], DWORD(gScreenRows) + 7 + 1) << "a row for each directory";
        const WORD f = layout.first;
        const std::u16string expected[] = {
            u" X:\\ /dev/t",
            u" \u251C\u2500\u2500a",
            u" \u2502  \u251C\u2500\u2500b",
            u" \u2502  \u2514\u2500\u2500c",
            u" \u2502     \u2514\u2500\u2500x",
            u" \u2514\u2500\u2500d",
            u"    \u2514\u2500\u2500e",
        };
        const char16_t* paths[] = {u"X:\\", u"X:\\a", u"X:\\a\\b", u"X:\\a\\c",
                                   u"X:\\a\\c\\x", u"X:\\d", u"X:\\d\\e"};
        for (DWORD i = 0; i < 7; i++) {
            EXPECT_EQ(Trimmed(f + i), expected[i]) << "row " << i << ": " << Narrow(Row(f + i));
            EXPECT_EQ(RowDir(f + i), Dir(paths[i])) << "row " << i;
        }
        EXPECT_EQ(Trimmed(f + 7), u"") << "the rows after the tree are blank";
        EXPECT_EQ(RowDir(f + 7), nullptr);
        for (WORD i = 0; i < f; i++) EXPECT_EQ(RowDir(i), nullptr) << "empty rows above the root";
        EXPECT_EQ(disk->dwTreeRows, 6u) << "rows below the root";
    }
    EXPECT_EQ(gBusyFlag.load(), 0u) << "the busy state is left as it was found";
}

TEST_F(Drawing, TreeMarksFollowTheDirectoryFlags) {
    DiskInfo* disk = MakeTree(u"a\\ b\\ c\\ e\\ f\\ g\\ g\\h\\");
    SubdirInfo* a = Dir(u"X:\\a");
    SubdirInfo* b = Dir(u"X:\\b");
    SubdirInfo* c = Dir(u"X:\\c");
    SubdirInfo* e = Dir(u"X:\\e");
    SubdirInfo* f = Dir(u"X:\\f");
    SubdirInfo* g = Dir(u"X:\\g");
    SubdirInfo* h = Dir(u"X:\\g\\h");
    ASSERT_TRUE(a && b && c && e && f && g && h);
    // a: read, subdirectories read. b: read, subdirectories not. c: read
    // but to be read again. e: not read. f: not read, to be read again.
    // g: not read, collapsed over a hidden child.
    b->bExpanded = 0;
    c->bRefresh = 1;
    e->bLogged = 0;
    e->bExpanded = 0;
    f->bLogged = 0;
    f->bRefresh = 1;
    f->bExpanded = 0;
    g->bLogged = 0;
    g->bExpanded = 0;
    h->bVisible = 0;
    showtree();
    const struct {
        DWORD row;
        WCHAR mark;
        const char* what;
    } rows[] = {
        {0, u' ', "the root, read with its subdirectories"},
        {1, u' ', "read, subdirectories read"},
        {2, u'\u00B7', "read, subdirectories not read"},
        {3, u'-', "read, partly known"},
        {4, u'+', "not read"},
        {5, u'\u00F7', "not read, partly known"},
        {6, u':', "not read, collapsed over hidden subdirectories"},
    };
    for (const auto& row : rows) EXPECT_EQ(Row(row.row)[0], row.mark) << row.what;
    EXPECT_EQ(Trimmed(7), u"") << "a hidden directory gets no row";
    EXPECT_EQ(disk->dwTreeRows, 6u);

    // The marks are the program's own: /AK exchanges them.
    gMarkLogged = u'+';
    gMarkUnlogged = u'\u00B7';
    showtree();
    EXPECT_EQ(Row(2)[0], u'+');
    EXPECT_EQ(Row(4)[0], u'\u00B7');
    gMarkLogged = u'\u00B7';
    gMarkUnlogged = u'+';
    // The start-up option /AK draws each mark in the other's place.
    gAltKeyMode = 1;
    showtree();
    gAltKeyMode = 0;
    EXPECT_EQ(Row(2)[0], u'+') << "read, subdirectories not read, under /AK";
    EXPECT_EQ(Row(4)[0], u'\u00B7') << "not read, under /AK";
    EXPECT_EQ(Row(3)[0], u'-') << "the other marks stay";
}

TEST_F(Drawing, RootMarksAndARootWithoutReadSubdirectories) {
    DiskInfo* disk = MakeTree(u"a\\ b\\");
    SubdirInfo* root = disk->psiRoot;
    const struct {
        BYTE logged, expanded, refresh;
        WCHAR mark;
        DWORD rowsBelow;
        const char* what;
    } rows[] = {
        {1, 1, 0, u' ', 2, "read with its subdirectories"},
        {1, 1, 1, u'-', 2, "read, partly known"},
        {1, 0, 0, u'\u00B7', 0, "files read, subdirectories not: only the root row"},
        {0, 0, 1, u'\u00F7', 0, "not read, partly known"},
        {0, 0, 0, u'+', 0, "not read"},
    };
    for (const auto& row : rows) {
        root->bLogged = row.logged;
        root->bExpanded = row.expanded;
        root->bRefresh = row.refresh;
        showtree();
        EXPECT_EQ(Row(0)[0], row.mark) << row.what;
        EXPECT_EQ(Trimmed(0).substr(1), u"X:\\ /dev/t") << row.what;
        EXPECT_EQ(disk->dwTreeRows, row.rowsBelow) << row.what;
        EXPECT_EQ(RowDir(1) != nullptr, row.rowsBelow != 0) << row.what;
    }
}

TEST_F(Drawing, RootRowOfAnArchiveListingNamesItsPath) {
    DiskInfo* disk = qtest::BuildTree('$', u"dir\\");
    std::memcpy(disk->wszDevice, u"Q:\\box\\pack.zip", sizeof(u"Q:\\box\\pack.zip"));
    pdiCurrent = disk;
    psiCurrent = disk->psiRoot;
    showtree();
    EXPECT_EQ(Trimmed(0), u" \\ Q:\\box\\pack.zip") << Narrow(Row(0));
    EXPECT_EQ(Trimmed(1), u" \u2514\u2500\u2500dir");
}

TEST_F(Drawing, DirectoriesBeyondTheDepthLimitShowDotsWithoutConnector) {
    // 80 columns: the tree is 57 wide, 19 levels of 3; the limit is 15.
    ASSERT_EQ(gTreeWidth, 57);
    std::u16string chain;
    for (int level = 1; level <= 17; level++) chain += u"l" + std::u16string(1, char16_t('a' + level - 1)) + u"\\";
    MakeTree(chain + u" z\\");
    showtree();
    auto columns = [](int count) {
        std::u16string s = u"\u2502  "; // level 1 has a sibling below
        for (int k = 2; k <= count; k++) s += u"   ";
        return s;
    };
    // Row n is the directory of level n; z closes the list.
    EXPECT_EQ(Trimmed(15), u" " + columns(14) + u"\u2514\u2500\u2500lo") << "level 15 is the limit";
    EXPECT_EQ(Trimmed(16), u" " + columns(14) + u"...lp") << "level 16 is beyond it";
    EXPECT_EQ(Trimmed(17), u" " + columns(14) + u"...lq") << "so is level 17, at the same column";
    EXPECT_EQ(Trimmed(18), u" \u2514\u2500\u2500z");
    EXPECT_EQ(RowDir(17), Dir(u"X:\\la\\lb\\lc\\ld\\le\\lf\\lg\\lh\\li\\lj\\lk\\ll\\lm\\ln\\lo\\lp\\lq"));

    // The size column takes ten columns: 47 / 3 = 15 levels, the limit 11.
    gTreeSizeMode = 1;
    showtree();
    EXPECT_EQ(Row(12).substr(0, 1 + 10 * 3 + 3), u" " + columns(10) + u"...") << Narrow(Row(12));
    EXPECT_EQ(Row(11).substr(0, 1 + 10 * 3 + 1), u" " + columns(10) + u"\u2514") << Narrow(Row(11));
}

TEST_F(Drawing, ALongNameEndsInTheCutMark) {
    const std::u16string name(70, u'n');
    MakeTree(name + u"\\ short\\");
    showtree();
    const std::u16string row = Row(1);
    ASSERT_EQ(row.size(), 57u);
    EXPECT_EQ(row.substr(0, 4), u" \u251C\u2500\u2500");
    EXPECT_EQ(row.substr(4, 52), std::u16string(52, u'n'));
    EXPECT_EQ(row[56], u'\u25BA') << "the cut mark stands in the last column";
    EXPECT_EQ(Trimmed(2), u" \u2514\u2500\u2500short") << "a name that fits is whole";
    // A name that fills the width exactly is not cut.
    qtest::FreeTrees();
    MakeTree(std::u16string(53, u'm') + u"\\");
    showtree();
    EXPECT_EQ(Row(1).substr(4), std::u16string(53, u'm'));
}

TEST_F(Drawing, NamesAreShownReadablyAndCutByCells) {
    // 80 columns: the tree is 57 wide, a first-level name starts at column 4.
    ASSERT_EQ(gTreeWidth, 57);
    const std::u16string cjk = u"\u65E5\u672C";
    std::u16string many;
    for (int i = 0; i < 30; i++) many += u"\u6F22";
    std::u16string manyCells;
    for (int i = 0; i < 26; i++) manyCells += u"\u6F22 ";
    const struct {
        std::u16string name;
        std::u16string row; // the row from column 4 on, trailing blanks dropped
        const char* what;
    } rows[] = {
        {u"bad\xDCE9name", u"bad\uFFFDname", "a byte that is not UTF-8"},
        {u"back\xDC5Cslash", u"back\\slash", "a backslash in the name"},
        {u"w\xDC2A\xDC3F", u"w*?", "wildcards in the name"},
        {cjk + u"x", u"\u65E5 \u672C x", "double-width characters take two cells"},
        {many, manyCells + u"\u25BA", "cut by cells: the mark in the last column"},
        {u"a" + many, u"a" + manyCells.substr(0, 50) + u" \u25BA",
         "a double-width character cut in half gives way to a blank"},
    };
    for (const auto& row : rows) {
        qtest::FreeTrees();
        MakeTree(row.name + u"\\");
        showtree();
        const std::u16string text = Row(1);
        ASSERT_EQ(text.size(), 57u) << row.what;
        EXPECT_EQ(text.substr(0, 4), u" \u2514\u2500\u2500") << row.what;
        std::u16string shown = text.substr(4);
        while (!shown.empty() && shown.back() == u' ') shown.pop_back();
        EXPECT_EQ(shown, row.row) << row.what << ": " << Narrow(text);
        EXPECT_EQ(RowDir(1), Dir((u"X:\\" + row.name).c_str())) << row.what;
    }
}

TEST_F(Drawing, TheSizeColumnEndsInTheLastColumn) {
    DiskInfo* disk = MakeTree(u"a\\f=2048 b\\ c\\");
    SubdirInfo* c = Dir(u"X:\\c");
    c->bLogged = 0;
    gTreeSizeMode = 1;
    showtree();
    EXPECT_EQ(Row(1).substr(57 - 3), u"(2k") << Narrow(Row(1));
    EXPECT_EQ(Row(1).substr(0, 5), u" \u251C\u2500\u2500a");
    EXPECT_EQ(Row(2).substr(4), std::u16string(u"b") + std::u16string(52, u' '))
        << "a read directory without files shows nothing";
    EXPECT_EQ(Row(3)[56], u'?') << "an unread directory without a figure";
    EXPECT_EQ(Row(0)[56], u' ') << "the root has no files";
    // The root shows a column only while some directory of the disk is read.
    gTreeSizeMode = 6;
    showtree();
    EXPECT_EQ(Row(0).substr(57 - 3), u"{1#") << Narrow(Row(0));
    for (SubdirInfo* d : qtest::DirsInOrder(disk)) d->bLogged = 0;
    showtree();
    EXPECT_EQ(Row(0).substr(1), u"X:\\ /dev/t" + std::u16string(57 - 11, u' '))
        << "no directory read: the root row has no column";
}

// ---- the path line ---------------------------------------------------------------

TEST_F(Drawing, PathLineColumnAndWidthFollowTheLayout) {
    std::u16string path = u"X:\\";
    for (int i = 0; i < 30; i++) path += u"dir" + std::u16string(1, char16_t('a' + i % 26)) + u"\\";
    path += u"end";
    const struct {
        DWORD split;
        WORD side, layout;
        DWORD picker, autoview;
        int column, width;
        const char* what;
    } rows[] = {
        {0, 0, 0, 0, 0, 1, 79 - 22, "one pane"},
        {1, 0, 0, 0, 0, 1, 39, "left half"},
        {1, 1, 0, 0, 0, 41, 39, "right half without panels"},
        {1, 1, 2, 0, 0, 41, 27, "right half beside its panel"},
        {1, 1, 1, 0, 0, 41, 28, "right half in layout Current"},
        {1, 0, 0, 1, 0, 41, 39, "the picker on the left pane is drawn right"},
        {1, 1, 0, 1, 0, 1, 39, "the picker on the right pane is drawn left"},
        {1, 0, 0, 0, 1, 41, 79, "autoview"},
    };
    for (const auto& row : rows) {
        gSplitScreen = row.split;
        gCurrentSide = row.side;
        gSplitLayout = row.layout;
        gPickerActive = row.picker;
        gAutoview[0] = row.autoview;
        gSplitColumn = 40;
        gLeftLastColumn = 39;
        gTreeWidth = 27;
        if (!row.split) ComputeFileWinLayout(-1);
        Fill(0, 0, 0, 79, u'#');
        ShowPathLine(path.c_str());
        const int end = std::min(row.column + row.width, 80);
        const std::u16string line = ShadowText(0, 0, 80);
        EXPECT_EQ(line[size_t(row.column - 1)], u'#') << row.what;
        EXPECT_EQ(line.substr(size_t(row.column), 18), path.substr(0, 18)) << row.what;
        EXPECT_EQ(line.substr(size_t(row.column) + 18, 3), u"...") << row.what;
        // The path's end stands in the last cell of the width.
        if (end < 80) {
            EXPECT_EQ(line.substr(size_t(end - 3), 3), u"end") << row.what;
            EXPECT_EQ(line[size_t(end)], u'#') << row.what;
        }
        EXPECT_EQ(qtest::ConsoleAttrs(0, row.column, 1)[0], kNormal) << row.what;
    }
    gSplitScreen = 0;
    gPickerActive = 0;
    gAutoview[0] = 0;
    gCurrentSide = 0;
    gSplitLayout = 0;
    ComputeFileWinLayout(-1);
}

TEST_F(Drawing, AShortPathIsPaddedAndGoesIntoTheTitle) {
    Fill(0, 0, 0, 79, u'#');
    gTitleLayout.items[0] = 'O';
    gTitleLayout.itemCount = 1;
    gTitleLayout.flags = TITLE_FLAG_OBJECT;
    ShowPathLine(u"Q:\\work\\notes");
    EXPECT_EQ(ShadowText(0, 0, 60), u"#Q:\\work\\notes" + std::u16string(57 - 13, u' ') + u"##");
    WCHAR title[256] = {};
    GetConsoleTitleW(title, 256);
    EXPECT_EQ(std::u16string(title), u"notes") << "the last component of a deeper path";
    ShowPathLine(u"Q:\\work");
    GetConsoleTitleW(title, 256);
    EXPECT_EQ(std::u16string(title), u"Q:\\work") << "a path one level deep, whole";
    // Without the title bit the title stays.
    gTitleLayout.flags = 0;
    ShowPathLine(u"Q:\\other\\place");
    GetConsoleTitleW(title, 256);
    EXPECT_EQ(std::u16string(title), u"Q:\\work");
    // The volume-and-path form: the line shows what follows the drive, the
    // title the drive part.
    gTitleLayout.flags = TITLE_FLAG_OBJECT | TITLE_FLAG_PATH_SPLIT;
    ShowPathLine(u"Q:\\other\\place");
    EXPECT_EQ(ShadowText(0, 1, 12), u"other\\place ");
    GetConsoleTitleW(title, 256);
    EXPECT_EQ(std::u16string(title), u"Q:\\");
}

// ---- the cursor bar and mark -------------------------------------------------------

TEST_F(Drawing, CursorBarCoversTheConnectorAndARunForTheName) {
    // 80 columns: the tree is 57 wide, its text in columns 1 to 57.
    ASSERT_EQ(gTreeWidth, 57);
    MakeTree(u"a\\");
    SubdirInfo* a = Dir(u"X:\\a");
    ASSERT_NE(a, nullptr);
    constexpr BYTE kBar = 0x30;
    constexpr BYTE kBack = 0x70;
    const struct {
        DWORD sizeMode, picker;
        WORD level, nameWidth;
        int column;
        int first, last; // the cells the bar covers
        const char* what;
    } rows[] = {
        {0, 0, 1, 6, 4, 4, 18, "a short name: the run is at least 14"},
        {0, 0, 1, 30, 10, 10, 40, "the run is the name's width"},
        {0, 0, 1, 30, 52, 50, 57, "near the edge the bar starts at the width less 7, and stops at the edge"},
        {1, 0, 1, 6, 10, 10, 57, "size column: the run is the tree's width, up to its edge"},
        {1, 0, 1, 6, 45, 40, 57, "size column, far right: the bar starts at the width less 17"},
        {0, 0, 16, 14, 31, 30, 44, "beyond the depth limit: one column further left"},
        {0, 1, 1, 14, 4, 4, 17, "the picker: the run is one shorter"},
    };
    for (const auto& row : rows) {
        gTreeSizeMode = row.sizeMode;
        gPickerActive = row.picker;
        a->wLevel = row.level;
        a->wNameWidth = row.nameWidth;
        const int screenRow = 3 + (row.picker ? 3 : 2);
        Fill(screenRow, 0, screenRow, 79, u'x');
        DrawTreeCursorBar(3, row.column, kBar, a);
        const std::vector<WORD> attrs = qtest::ConsoleAttrs(screenRow, 0, 80);
        for (int c = 0; c < 80; c++) {
            const bool inBar = c >= row.first && c <= row.last;
            EXPECT_EQ(attrs[size_t(c)], inBar ? kBar : kBack) << row.what << ", column " << c;
        }
        EXPECT_EQ(ShadowText(screenRow, 0, 80), std::u16string(80, u'x')) << "only colours change";
    }
    gPickerActive = 0;
    gTreeSizeMode = 0;
    a->wLevel = 1;
}

TEST_F(Drawing, TakingTheCursorBarAwayGivesANameItsAttributeColour) {
    MakeTree(u"a\\");
    SubdirInfo* a = Dir(u"X:\\a");
    SubdirInfo* root = pdiCurrent->psiRoot;
    const TREE_COLOURS saved = gTreeColours;
    gTreeColours = {kDirWindow, 0x2A, 0x3B, 0x4C, 0x5D, 0x6E};
    a->wNameWidth = 14;
    const struct {
        SubdirInfo* dir;
        WORD attributes, displayMode;
        BYTE run;
        const char* what;
    } rows[] = {
        {a, 0x0002, 0, 0x4C, "hidden"},
        {a, 0x0004, 0, 0x5D, "system"},
        {a, 0x0001, 0, 0x6E, "read-only"},
        {a, 0x4000 | 0x0002, 0, 0x3B, "encrypted wins over hidden"},
        {a, 0x0400 | 0x4000, 0, 0x2A, "a link wins over everything"},
        {a, 0x0000, 0, kNormal, "no attribute: the normal colour"},
        {a, 0x0002, 1, kNormal, "plain colours"},
        {root, 0x0002, 0, kNormal, "the root keeps the normal colour"},
    };
    for (const auto& row : rows) {
        row.dir->wAttributes = row.attributes;
        gTreeDisplayMode = row.displayMode;
        Fill(4, 0, 4, 79, u'x');
        DrawTreeCursorBar(2, 1, kNormal, row.dir);
        const std::vector<WORD> attrs = qtest::ConsoleAttrs(4, 0, 17);
        EXPECT_EQ(attrs[0], 0x70) << row.what;
        EXPECT_EQ(attrs[1], kNormal) << row.what << ": the connector cell";
        for (int c = 2; c <= 15; c++) EXPECT_EQ(attrs[size_t(c)], row.run) << row.what << ", column " << c;
        EXPECT_EQ(attrs[16], 0x70) << row.what;
    }
    gTreeDisplayMode = 0;
    gTreeColours = saved;
}

TEST_F(Drawing, CursorMarkShowsTheRowsMarkInTheBarColour) {
    gColourTable[COLOUR_BAR] = 0x30;
    const struct {
        DWORD split;
        WORD side;
        WCHAR before, after;
        int column;
        const char* what;
    } rows[] = {
        {0, 0, u' ', u'\u2192', 1, "a blank mark becomes the arrow"},
        {0, 0, u'+', u'+', 1, "a mark stays what it is"},
        {1, 1, u' ', u'\u2192', 41, "the right half"},
    };
    for (const auto& row : rows) {
        gSplitScreen = row.split;
        gCurrentSide = row.side;
        gSplitColumn = 40;
        Fill(7, 0, 7, 79, u'x');
        ScrPutChar(7, row.column, row.before, kNormal);
        DrawCursorMark(7);
        const std::u16string expected{u'x', row.after, u'x'};
        EXPECT_EQ(ShadowText(7, row.column - 1, 3), expected) << row.what;
        EXPECT_EQ(qtest::ConsoleAttrs(7, row.column, 1)[0], 0x30) << row.what;
        EXPECT_EQ(qtest::ConsoleAttrs(7, row.column + 1, 1)[0], 0x70) << row.what;
    }
    gSplitScreen = 0;
    gCurrentSide = 0;
    ComputeFileWinLayout(-1);
}

TEST_F(Drawing, TreePathLineWidthAndBranchColour) {
    std::u16string path = u"X:\\";
    for (int i = 0; i < 30; i++) path += u"dir" + std::u16string(1, char16_t('a' + i % 26)) + u"\\";
    path += u"end";
    const struct {
        DWORD split;
        WORD side, layout, displayMode;
        BYTE branchColour;
        int column, width;
        BYTE attr;
        const char* what;
    } rows[] = {
        {0, 0, 0, 1, 0, 1, 57, kNormal, "one pane"},
        {1, 0, 2, 1, 0, 1, 39, kNormal, "left half"},
        {1, 1, 0, 1, 0, 41, 39, kNormal, "right half without panels"},
        {1, 1, 2, 1, 0, 41, 27, kNormal, "right half beside its panel"},
        {1, 1, 1, 1, 0, 41, 28, kNormal, "right half in layout Current"},
        {0, 0, 0, 3, 0x4E, 1, 57, 0x4E, "a branch in its own colour"},
        {0, 0, 0, 3, 0, 1, 57, kNormal, "a branch without one"},
        {0, 0, 0, 4, 0x4E, 1, 57, kNormal, "only the branch display"},
    };
    for (const auto& row : rows) {
        gSplitScreen = row.split;
        gCurrentSide = row.side;
        gSplitLayout = row.layout;
        gDisplayMode[0] = row.displayMode;
        gExtraColours.currPath = row.branchColour;
        gSplitColumn = 40;
        gLeftLastColumn = 39;
        gTreeWidth = 27;
        if (!row.split) ComputeFileWinLayout(-1);
        Fill(0, 0, 0, 79, u'#');
        DrawPathLine(path.c_str());
        const std::u16string line = ShadowText(0, 0, 80);
        const int end = row.column + row.width;
        EXPECT_EQ(line[size_t(row.column - 1)], u'#') << row.what;
        EXPECT_EQ(line.substr(size_t(row.column), 18), path.substr(0, 18)) << row.what;
        EXPECT_EQ(line.substr(size_t(end - 3), 3), u"end") << row.what;
        if (end < 80) {
            EXPECT_EQ(line[size_t(end)], u'#') << row.what;
        }
        EXPECT_EQ(qtest::ConsoleAttrs(0, row.column, 1)[0], row.attr) << row.what;
        EXPECT_EQ(qtest::ConsoleAttrs(0, end - 1, 1)[0], row.attr) << row.what;
    }
    // Only the branch, showall and global lists outside autoview.
    gSplitScreen = 0;
    gCurrentSide = 0;
    gSplitLayout = 0;
    gExtraColours.currPath = 0;
    ComputeFileWinLayout(-1);
    const struct {
        WORD displayMode;
        DWORD autoview;
        bool drawn;
    } modes[] = {{1, 0, false}, {2, 0, false}, {3, 0, true}, {4, 0, true}, {5, 0, true}, {3, 1, false}};
    for (const auto& m : modes) {
        gDisplayMode[0] = m.displayMode;
        gAutoview[0] = m.autoview;
        Fill(0, 0, 0, 79, u'#');
        DrawPathLineIfTree(u"X:\\here");
        EXPECT_EQ(ShadowText(0, 1, 7) == u"X:\\here", m.drawn) << "display mode " << m.displayMode
                                                              << ", autoview " << m.autoview;
    }
    gDisplayMode[0] = 1;
    gAutoview[0] = 0;
}

// ---- rows back to directories -----------------------------------------------------

TEST_F(Drawing, FindPathFromPosGivesEachRowsDirectory) {
    DiskInfo* disk = MakeTree(u"a\\ b\\");
    gSettings.bFixedBar = 1;
    showtree();
    ASSERT_EQ(disk->dwTreeRows, 2u);
    const struct {
        DWORD row;
        const char16_t* path; // null: no directory
    } rows[] = {{0, nullptr}, {2, nullptr}, {3, u"X:\\"}, {4, u"X:\\a"}, {5, u"X:\\b"}, {6, nullptr}, {100000, nullptr}};
    for (const auto& row : rows)
        for (int mode : {0, 1})
            EXPECT_EQ(FindPathFromPos(row.row, mode, 7), row.path ? Dir(row.path) : nullptr)
                << "row " << row.row << ", mode " << mode;
    // Under the debug switch, a lookup alone (mode 0) still passes over a
    // row without a directory.
    gDebugSwitch = TRUE;
    EXPECT_EQ(FindPathFromPos(2, 0, 7), nullptr);
    EXPECT_EQ(FindPathFromPos(4, 0, 7), Dir(u"X:\\a"));
    gDebugSwitch = FALSE;
}

// Under the debug switch a row without a directory, asked for with a scroll
// mark, ends the program: the dump on standard output and in QBK.LOG of
// the data folder, then status -1.
TEST_F(Drawing, UnderTheDebugSwitchARowWithoutADirectoryStopsWithADump) {
    DiskInfo* disk = MakeTree(u"a\\ b\\");
    gSettings.bFixedBar = 1;
    showtree();
    std::memcpy(disk->wszSavedPath[0], u"X:\\a", sizeof(u"X:\\a"));
    disk->dwTreeTop[0] = 5;
    disk->yBar[0] = 2;
    psiCurrent = Dir(u"X:\\b");
    qtest::TempDir data;
    WCHAR folder[1025];
    ASSERT_GT(PathFromPosix(data.path().c_str(), folder, 1000), 0);
    const std::u16string withSlash = std::u16string(folder) + u"\\";
    std::copy(withSlash.begin(), withSlash.end() + 1, gDataDir);
    gDebugSwitch = TRUE;
    EXPECT_EXIT(
        {
            fflush(stdout);
            if (::dup2(2, 1) < 0) std::abort();
            // Keys for the dump's wait on the terminal, typed until the
            // process ends (the screen's end throws away what came before).
            std::thread([] {
                for (;;) {
                    qtest::PlatformTerminal().Write("x");
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            }).detach();
            FindPathFromPos(6, 1, 4119);
        },
        ::testing::ExitedWithCode(255),
        "^\nException in module: Qtb - FindPathFromPos\\(\\)\n\nCalled From: 4119 - row \\[3\\] Max "
        "\\[2\\]\n\nSee QBK.LOG for debug information\n$");
    gDebugSwitch = FALSE;
    auto utf8 = [](DWORD i) {
        const std::u16string text = Row(i);
        char out[1200];
        return Utf16ToUtf8(text.c_str(), SSIZE_T(text.size()), out, sizeof out) >= 0 ? std::string(out) : "";
    };
    std::ifstream in(data.Sub("QBK.LOG"));
    std::stringstream log;
    log << in.rdbuf();
    EXPECT_EQ(log.str(),
              "\nException in module: Qtb Called From: 4119 - FindPathFromPos()\n"
              "row [3] Max [2] Split[No]\n"
              "Saved Pathname = X:\\a\n"
              "        Offset = [  2]\n"
              "          yBar = [  2]\n\n"
              "psiCurrent->pszFullName = X:\\b\n\n" +
                  utf8(3) + "\n" + utf8(4) + "\n" + utf8(5) + "\n" + utf8(6) + "\n");
}

// ---- the terminal title -----------------------------------------------------------

TEST_F(Drawing, CurrentFileGoesIntoTheTitle) {
    MakeTree(u"a\\");
    WCHAR title[256] = {};
    const struct {
        DWORD flags;
        const char16_t* dir;
        std::u16string title;
        const char* what;
    } rows[] = {
        {TITLE_FLAG_OBJECT_LINE, u"X:\\", u"X:\\notes.txt", "a file in the root"},
        {TITLE_FLAG_OBJECT_LINE, u"X:\\a", u"X: notes.txt", "a file below the root"},
        {0, u"X:\\a", u"unchanged", "without the file bit the title stays"},
    };
    gTitleLayout.items[0] = 'O';
    gTitleLayout.itemCount = 1;
    for (const auto& row : rows) {
        SetConsoleTitleW(u"unchanged");
        gTitleLayout.flags = row.flags;
        psiCurrent = Dir(row.dir);
        FormatPathLine(u"notes.txt");
        GetConsoleTitleW(title, 256);
        EXPECT_EQ(std::u16string(title), row.title) << row.what;
    }
    // The volume-and-path layout shows the entry's whole path on the path
    // line and the drive in the title.
    gTitleLayout.flags = TITLE_FLAG_OBJECT_LINE | TITLE_FLAG_PATH_SPLIT;
    psiCurrent = Dir(u"X:\\a");
    Fill(0, 0, 0, 79, u'#');
    FormatPathLine(u"notes.txt");
    EXPECT_EQ(ShadowText(0, 1, 12), u"a\\notes.txt ");
    GetConsoleTitleW(title, 256);
    EXPECT_EQ(std::u16string(title), u"X:\\");
}

// ---- the statistics panel ---------------------------------------------------------

TEST_F(Drawing, DiskFiguresStandInTheirRowsWithTheirColours) {
    // Files: a\f1 100, a\f2 50 tagged, a\b\f3 10, a\b\g 7 matching
    // nothing, r 5 marked.
    DiskInfo* disk = MakeTree(u"a\\f1=100 a\\f2=50#3 a\\b\\f3=10 a\\b\\g=7#0 r=5#6");
    const int v = 79 - 21 + 6;
    struct Figures {
        const char* count;
        const char* bytes;
    };
    auto check = [&](const char* what, Figures files, Figures match, Figures tag) {
        const struct {
            int row;
            const char* text;
        } cells[] = {{10, files.count}, {11, files.bytes}, {13, match.count},
                     {14, match.bytes}, {16, tag.count},   {17, tag.bytes}};
        for (const auto& cell : cells) {
            const std::u16string expected(cell.text, cell.text + std::strlen(cell.text));
            EXPECT_EQ(ShadowText(cell.row, v - 5, 20), expected) << what << " row " << cell.row;
        }
    };
    Fill(10, v - 5, 17, v + 14, u'#');
    showtree(); // draws the figures first, in the tree window
    // The tagged block's labels are written again with their colour.
    check("the disk", {"#####              5", "Bytes            172"},
          {"#####              4", "Bytes            165"},
          {"Files              2", "Bytes             55"});
    EXPECT_EQ(qtest::ConsoleAttrs(10, v, 15), std::vector<WORD>(15, kFigure));
    EXPECT_EQ(qtest::ConsoleAttrs(11, v - 5, 5), std::vector<WORD>(5, kNormal));
    EXPECT_EQ(qtest::ConsoleAttrs(11, v, 15), std::vector<WORD>(15, kFigure));

    // A branch display sums the branch of the current directory.
    Fill(10, v - 5, 17, v + 14, u'#');
    gDisplayMode[0] = 3;
    psiCurrent = Dir(u"X:\\a");
    ShowDiskStats();
    check("the branch", {"#####              4", "Bytes            167"},
          {"#####              3", "Bytes            160"},
          {"Files              1", "Bytes             50"});

    // A byte figure of more than 15 characters takes the label's place.
    gDisplayMode[0] = 1;
    disk->qwFileBytes = 999999999999ULL;
    ShowDiskStats();
    EXPECT_EQ(ShadowText(11, v - 5, 20), u"Bytes999,999,999,999");
    disk->qwFileBytes = 1000000000000ULL;
    ShowDiskStats();
    EXPECT_EQ(ShadowText(11, v - 4, 19), u"  1,000,000,000,000");
    EXPECT_EQ(ShadowText(11, v - 5, 1), u"B") << "the label's first cell is left";
    EXPECT_EQ(qtest::ConsoleAttrs(11, v - 4, 4), std::vector<WORD>(4, kFigure));

    // Without a panel (split screen without panels) nothing is drawn.
    Fill(10, v - 5, 17, v + 14, u'#');
    gSplitScreen = 1;
    gSplitLayout = 0;
    ShowDiskStats();
    EXPECT_EQ(ShadowText(10, v - 5, 20), std::u16string(20, u'#'));
    gSplitScreen = 0;
}

TEST_F(Drawing, StatsHeaderNamesTheDiskOrTheArchive) {
    const int c = 79 - 21;
    Fill(8, c + 1, 8, c + 20, u'#');
    Fill(1, 0, 1, 79, u'#');
    Fill(21, 0, 21, 79, u'#');
    ShowStatsHeader();
    EXPECT_EQ(ShadowText(8, c + 1, 20), u"DISK Statistics     ");
    EXPECT_EQ(ShadowText(18, c + 3, 17), u"Current Directory");
    EXPECT_EQ(ShadowText(1, c - 1, 3), u"#\u252C#") << "the joint with the top line";
    EXPECT_EQ(ShadowText(21, c - 1, 3), u"#\u2534#") << "the joint with the bottom line";
    gArchiveTreeActive = TRUE;
    ShowStatsHeader();
    EXPECT_EQ(ShadowText(8, c + 1, 20), u"ARCHIVE Statistics  ");
    gPickerActive = 1;
    ShowStatsHeader();
    EXPECT_EQ(ShadowText(8, c + 1, 20), u"DISK Statistics     ") << "the picker shows disks";
    gPickerActive = 0;
    gArchiveTreeActive = FALSE;
    EXPECT_EQ(ShadowText(gScreenRows - 6, c + 1, 19), std::u16string(19, u' '))
        << "25 rows leave no room for the program line";
    // More than 30 rows: the program line ends at c + 19, the maker's
    // notice starts at c + 1.
    ScrSetupLayout(35, 80, 1);
    ScrClearArea(29, 0, 30, 79, kNormal);
    ShowStatsHeader();
    EXPECT_EQ(ShadowText(29, c + 4, 16), u"Quilbora v2.9.11");
    EXPECT_EQ(ShadowText(29, c + 20, 1), u" ") << "nothing past c + 19";
    EXPECT_NE(ShadowText(30, c + 1, 1), u" ");
    // In split screen only the panel right of the middle has it.
    ScrClearArea(29, 0, 30, 79, kNormal);
    gSplitScreen = 1;
    gSplitLayout = 2;
    gCurrentSide = 0;
    gLeftLastColumn = 39;
    ShowStatsHeader();
    EXPECT_EQ(ShadowText(8, 39 - 21 + 1, 20), u"DISK Statistics     ") << "the left panel";
    EXPECT_EQ(ShadowText(29, 0, 80), std::u16string(80, u' '));
    gSplitScreen = 0;
    gSplitLayout = 0;
    ScrSetupLayout(25, 80, 1);
}

TEST_F(Drawing, LogProgressShowsTheRunningFigures) {
    DiskInfo* disk = MakeTree(u"a\\");
    disk->dwFiles = 1234;
    disk->dwDirEntries = 17;
    disk->qwFileBytes = 999999999999ULL;
    disk->dwMatchFiles[0] = 1200;
    disk->qwMatchBytes[0] = 1000000000000ULL;
    const int x = 57 + 7;
    const struct {
        DWORD dirMode, fileWindow;
        const char16_t* row10;
        const char16_t* row13;
        const char* what;
    } rows[] = {
        {0, 0, u"             17", u"          1,200", "listing files"},
        {0, 1, u"             17", u"          1,200", "listing files, file window open"},
        {1, 0, u"             17", u"          1,200", "listing directories"},
        {1, 1, u"###############", u"###############", "directory list open: no counts"},
    };
    for (const auto& row : rows) {
        Fill(10, x - 5, 14, x + 14, u'#');
        gDirMode[0] = row.dirMode;
        gPanes[0].FileWindowOpen = row.fileWindow;
        ShowLogProgress(disk);
        EXPECT_EQ(ShadowText(10, x, 15), row.row10) << row.what;
        EXPECT_EQ(ShadowText(13, x, 15), row.row13) << row.what;
        EXPECT_EQ(ShadowText(11, x - 5, 20), u"Bytes999,999,999,999") << row.what;
        EXPECT_EQ(ShadowText(14, x - 5, 20), u"#  1,000,000,000,000")
            << row.what << ": one more than 999,999,999,999 has no label";
    }
    EXPECT_EQ(qtest::ConsoleAttrs(11, x - 5, 5), std::vector<WORD>(5, kNormal));
    EXPECT_EQ(qtest::ConsoleAttrs(11, x, 15), std::vector<WORD>(15, kFigure));
    gPanes[0] = PaneState{};
    gDirMode[0] = 0;

    // The left pane's own panel in split screen with both panels.
    gSplitScreen = 1;
    gSplitLayout = 2;
    gCurrentSide = 0;
    gSplitColumn = 40;
    gLeftLastColumn = 39;
    gTreeWidth = 17;
    Fill(10, 0, 14, 79, u'#');
    ShowLogProgress(disk);
    EXPECT_EQ(ShadowText(10, 24, 15), u"             17");
    EXPECT_EQ(ShadowText(10, 64, 15), std::u16string(15, u'#')) << "the right panel is left";
    gCurrentSide = 1;
    ShowLogProgress(disk);
    EXPECT_EQ(ShadowText(10, 64, 15), u"             17");
    gSplitScreen = 0;
    gSplitLayout = 0;
    gCurrentSide = 0;
    ComputeFileWinLayout(-1);
}

TEST_F(Drawing, CurrentDirectoryNameAndFigures) {
    MakeTree(u"abcdefghijklmnopqrstu\\f=3000 short\\g=1 short\\h=2");
    const struct {
        const char16_t* path;
        const char16_t* name;
        const char16_t* files;
        const char16_t* bytes;
    } rows[] = {
        {u"X:\\abcdefghijklmnopqrstu", u"abcdefghijklmnopqrs\u25BA", u"              1",
         u"          3,000"},
        {u"X:\\short", u"short               ", u"              2", u"              3"},
        {u"X:\\", u"X:\\                 ", u"              0", u"              0"},
    };
    for (int screenRows : {25, 30}) {
        ScrSetupLayout(screenRows, 80, 1);
        for (const auto& row : rows) {
            Fill(19, 59, 21, 79, u'#');
            psiCurrent = Dir(row.path);
            ASSERT_NE(psiCurrent, nullptr);
            ShowCurrentDirName();
            ShowCurrentDirStats();
            EXPECT_EQ(ShadowText(19, 79 - 20, 20), row.name) << screenRows;
            if (screenRows < 26) {
                EXPECT_EQ(ShadowText(20, 79 - 15, 15), row.bytes) << "only the bytes";
                EXPECT_EQ(ShadowText(21, 79 - 15, 15), std::u16string(15, u'#'));
            } else {
                EXPECT_EQ(ShadowText(20, 79 - 15, 15), row.files) << screenRows;
                EXPECT_EQ(ShadowText(21, 79 - 15, 15), row.bytes) << screenRows;
            }
        }
        // An unread directory's figures are cleared.
        psiCurrent->bLogged = 0;
        ShowCurrentDirStats();
        EXPECT_EQ(ShadowText(20, 64, 15), std::u16string(15, u' ')) << screenRows;
        if (screenRows >= 26) {
            EXPECT_EQ(ShadowText(21, 64, 15), std::u16string(15, u' '));
        }
        psiCurrent->bLogged = 1;
    }
    ScrSetupLayout(25, 80, 1);
    EXPECT_EQ(qtest::ConsoleAttrs(19, 59, 20), std::vector<WORD>(20, kFigure));
    // Listing directories, an unread directory still shows its count.
    gDirMode[0] = 1;
    psiCurrent = Dir(u"X:\\");
    psiCurrent->bLogged = 0;
    ShowCurrentDirStats();
    EXPECT_EQ(ShadowText(20, 64, 15), u"              2");
    gDirMode[0] = 0;
}

TEST_F(Drawing, PanelBoxFrameAndLabelsOfTheTreeWindow) {
    ScrSetupLayout(34, 96, 1);
    gWindowMode = WM_TREE;
    const int c = 95 - 21;
    Fill(0, 0, 33, 95, u'#');
    ShowStatistics(c, FALSE);
    const std::u16string line(20, u'\u2500');
    EXPECT_EQ(ShadowText(1, c, 22), u"\u252C" + line + u"\u2510");
    EXPECT_EQ(ShadowText(3, c, 22), u"\u251C" + line + u"\u2524");
    EXPECT_EQ(ShadowText(7, c, 22), u"\u251C" + line + u"\u2524");
    EXPECT_EQ(ShadowText(30, c, 22), u"\u2534" + line + u"\u2518") << "the frame's bottom row";
    for (int row : {2, 4, 9, 17, 18, 25, 29}) {
        EXPECT_EQ(ShadowText(row, c, 1), u"\u2502") << row;
        EXPECT_EQ(ShadowText(row, c + 21, 1), u"\u2502") << row;
    }
    EXPECT_EQ(ShadowText(5, c - 1, 1), u"#") << "nothing left of the box";
    EXPECT_EQ(ShadowText(0, c, 22), std::u16string(22, u'#')) << "no clock asked for";
    const struct {
        int row, column;
        const char16_t* text;
    } labels[] = {
        {2, 1, u"FILE "},        {4, 1, u"DISK "},
        {5, 4, u"Available"},    {8, 1, u"DISK Statistics     "},
        {9, 8, u"Logged"},       {10, 1, u"Files"},
        {11, 1, u"Bytes"},       {12, 7, u"Matching"},
        {13, 1, u"Files"},       {14, 1, u"Bytes"},
        {15, 8, u"Tagged"},      {16, 1, u"Files"},
        {17, 1, u"Bytes"},       {18, 3, u"Current Directory"},
        {20, 1, u"Files"},       {21, 1, u"Bytes"},
        {22, 3, u"Attributes"},  {28, 4, u"Quilbora v2.9.11"},
    };
    for (const auto& label : labels) {
        const std::u16string text(label.text);
        EXPECT_EQ(ShadowText(label.row, c + label.column, int(text.size())), text) << label.row;
    }
    EXPECT_EQ(ShadowText(28, c + 20, 1), u" ") << "the program line ends at c + 19";
    EXPECT_NE(ShadowText(29, c + 1, 20), std::u16string(20, u' ')) << "the maker's notice";

    // Up to 30 rows there is no program line; under 26 the directory has
    // only its bytes.
    const struct {
        int rows;
        const char16_t* row20;
        const char16_t* row22;
    } heights[] = {{25, u"Bytes", u"     "}, {26, u"Files", u"     "}, {27, u"Files", u"  Att"}};
    for (const auto& h : heights) {
        ScrSetupLayout(h.rows, 80, 1);
        Fill(0, 0, h.rows - 1, 79, u'#');
        ShowStatistics(58, FALSE);
        EXPECT_EQ(ShadowText(20, 59, 5), h.row20) << h.rows;
        if (22 < gFrameLastRow) {
            EXPECT_EQ(ShadowText(22, 59, 5), h.row22) << h.rows;
        }
        EXPECT_EQ(ShadowText(h.rows - 6, 59, 20).find(u"Quilb"), std::u16string::npos) << h.rows;
    }
    ScrSetupLayout(25, 80, 1);
    // The value fields carry the highlight; the labels the normal colour
    // (read back from the console, 80 columns wide).
    ShowStatistics(58, FALSE);
    for (int row : {2, 6, 10, 11, 13, 14, 16, 17, 20})
        EXPECT_EQ(qtest::ConsoleAttrs(row, 64, 15), std::vector<WORD>(15, kFigure)) << row;
    EXPECT_EQ(qtest::ConsoleAttrs(19, 59, 20), std::vector<WORD>(20, kFigure));
    EXPECT_EQ(qtest::ConsoleAttrs(10, 59, 5), std::vector<WORD>(5, kNormal));
    EXPECT_EQ(qtest::ConsoleAttrs(1, 58, 22), std::vector<WORD>(22, kFrames));
}

TEST_F(Drawing, PanelLabelsFollowTheWindowAndTheList) {
    ScrSetupLayout(30, 80, 1);
    const int c = 58;
    const struct {
        WORD window, display;
        DWORD dirs;
        BOOL archive;
        const char16_t* heading;
        const char16_t* row18;
        const char16_t* files;
        const char* what;
    } cases[] = {
        {WM_TREE, 1, 0, FALSE, u"DISK Statistics     ", u"  Current Directory", u"Files", "tree"},
        {WM_ARCHIVE_DIR, 2, 0, TRUE, u"ARCHIVE Statistics  ", u"  Current Directory", u"Files",
         "archive directory window"},
        {WM_FILE, 1, 0, FALSE, u"DIRECTORY Statistics", u"     Current File", u"Files",
         "directory list"},
        {WM_FILE, 1, 1, FALSE, u"DIRECTORY Statistics", u"  Current Directory", u"Dirs ",
         "listing directories"},
        {WM_ARCHIVE_FILE, 2, 0, TRUE, u"ARC Directory Stats ", u"     Current File", u"Files",
         "archive list"},
        {WM_FILE, 3, 0, FALSE, u"BRANCH Statistics   ", u"     Current File", u"Files", "branch"},
        {WM_FILE, 3, 0, TRUE, u"ARC Branch Stats    ", u"     Current File", u"Files",
         "archive branch"},
        {WM_FILE, 4, 0, FALSE, u"SHOWALL Statistics  ", u"     Current File", u"Files", "showall"},
        {WM_FILE, 4, 0, TRUE, u"ARC Showall Stats   ", u"     Current File", u"Files",
         "archive showall"},
        {WM_FILE, 5, 0, FALSE, u"GLOBAL Statistics   ", u"     Current File", u"Files", "global"},
    };
    for (const auto& k : cases) {
        gWindowMode = k.window;
        gDisplayMode[0] = k.display;
        gDirMode[0] = k.dirs;
        gArchiveTreeActive = k.archive;
        ShowStatistics(c, FALSE);
        EXPECT_EQ(ShadowText(8, c + 1, 20), k.heading) << k.what;
        EXPECT_EQ(ShadowText(18, c + 1, int(std::u16string(k.row18).size())), k.row18) << k.what;
        EXPECT_EQ(ShadowText(10, c + 1, 5), k.files) << k.what;
        EXPECT_EQ(ShadowText(2, c + 1, 4), k.dirs ? u"DIR " : u"FILE") << k.what;
        EXPECT_EQ(ShadowText(4, c + 1, 7), k.archive ? u"ARCHIVE" : u"DISK   ") << k.what;
    }
    // The file window's rows under the current file's name.
    gWindowMode = WM_FILE;
    gDisplayMode[0] = 1;
    gDirMode[0] = 0;
    gArchiveTreeActive = FALSE;
    ShowStatistics(c, FALSE);
    EXPECT_EQ(ShadowText(20, c + 1, 5), u"Bytes");
    EXPECT_EQ(ShadowText(21, c + 3, 10), u"Attributes");
    EXPECT_EQ(ShadowText(22, c + 1, 4), u"Date");
    EXPECT_EQ(ShadowText(23, c + 1, 4), u"Time");
    gWindowMode = WM_TREE;
    ScrSetupLayout(25, 80, 1);
}

TEST_F(Drawing, DiskFiguresNameTheSpecificationTheVolumeAndTheFreeBytes) {
    DiskInfo* disk = MakeTree(u"a\\f1=100 a\\f2=50#3 r=5");
    InitFilterSlots();
    std::strcpy(disk->szLabel, "WORKDISK-LABEL-LONGER");
    const int c = 58;
    const struct {
        LONGLONG free;
        const char16_t* shown;
    } rows[] = {
        {1234577, u"          1,234,577"},
        {0, u"                  0"},
        {-1, u"            unknown"},
    };
    for (const auto& row : rows) {
        disk->qwFreeBytes = row.free;
        Fill(2, c + 1, 6, c + 20, u'#');
        ShowDiskStats();
        EXPECT_EQ(ShadowText(2, c + 6, 15), u"*.*            ");
        EXPECT_EQ(ShadowText(4, c + 6, 15), u"WORKDISK-LABEL-") << "cut to 15";
        EXPECT_EQ(ShadowText(6, c + 2, 19), row.shown);
    }
    EXPECT_EQ(qtest::ConsoleAttrs(6, c + 2, 19), std::vector<WORD>(19, kFigure));
    // The tagged block takes the tag colour while anything is tagged.
    ShowDiskStats();
    EXPECT_EQ(qtest::ConsoleAttrs(15, c + 8, 6), std::vector<WORD>(6, kTagColour));
    EXPECT_EQ(qtest::ConsoleAttrs(16, c + 1, 5), std::vector<WORD>(5, kTagColour));
    EXPECT_EQ(qtest::ConsoleAttrs(17, c + 1, 5), std::vector<WORD>(5, kTagColour));
    FindDirByPath(u"X:\\a", nullptr, TRUE)->pFiles[1].bFlags[0] = ENTRY_MATCHES;
    qtest::RecountTrees();
    ShowDiskStats();
    EXPECT_EQ(ShadowText(16, c + 6, 15), u"              0");
    EXPECT_EQ(qtest::ConsoleAttrs(15, c + 8, 6), std::vector<WORD>(6, kNormal));
    EXPECT_EQ(qtest::ConsoleAttrs(17, c + 1, 5), std::vector<WORD>(5, kNormal));
}

TEST_F(Drawing, ListFiguresOfOneDirectory) {
    MakeTree(u"a\\f1=100 a\\f2=50#3 a\\f3=9#0 a\\b\\f4=10 a\\c\\ r=5#6");
    InitFilterSlots();
    psiCurrent = Dir(u"X:\\a");
    Dir(u"X:\\a\\b")->bFlags[0] = ENTRY_MATCHES;
    Dir(u"X:\\a\\c")->bFlags[0] = 0;
    const int c = 58;
    const struct {
        DWORD dirs;
        const char16_t* count;
        const char16_t* bytes;
        const char16_t* match;
        const char16_t* tagged;
        const char16_t* tagBytes;
        const char* what;
    } rows[] = {
        {0, u"          3", u"Bytes            159", u"          2", u"              1",
         u"Bytes             50", "the directory's files"},
        {1, u"          2", u"Bytes             10", u"          1", u"              1",
         u"Bytes             50", "its subdirectories; tagged figures still its own"},
    };
    for (const auto& row : rows) {
        gDirMode[0] = row.dirs;
        Fill(10, c + 1, 17, c + 20, u'#');
        ShowListStats();
        EXPECT_EQ(ShadowText(10, c + 10, 11), row.count) << row.what;
        EXPECT_EQ(ShadowText(11, c + 1, 20), row.bytes) << row.what;
        EXPECT_EQ(ShadowText(13, c + 10, 11), row.match) << row.what;
        EXPECT_EQ(ShadowText(16, c + 6, 15), row.tagged) << row.what;
        EXPECT_EQ(ShadowText(17, c + 1, 20), row.tagBytes) << row.what;
    }
    gDirMode[0] = 0;
    // Split screen without panels: the figures are computed, nothing drawn.
    gSplitScreen = 1;
    gSplitLayout = 0;
    Fill(10, c + 1, 17, c + 20, u'#');
    ShowListStats();
    EXPECT_EQ(gStatFiles, 3u);
    EXPECT_EQ(ShadowText(10, c + 1, 20), std::u16string(20, u'#'));
    gSplitScreen = 0;
}

TEST_F(Drawing, PaneMarkShowsWhatNarrowsTheList) {
    InitFilterSlots();
    const struct {
        DWORD filter, filesWith, taggedOnly;
        char16_t mark;
        BYTE attr;
        const char* what;
    } rows[] = {
        {0, 0, 0, u' ', kFrames, "nothing narrows the list"},
        {1, 0, 0, u'-', kFigure, "the filter is in force"},
        {0, 0, 1, u'\u2666', kFrames, "tagged entries only"},
        {1, 0, 1, u'\u2666', kFrames, "tagged only wins over the filter"},
        {1, 1, 1, u'#', kFrames, "a show-files-with result wins over both"},
    };
    for (const auto& row : rows) {
        gFilterSlots[0].active = row.filter;
        gFilesWithList[0] = row.filesWith;
        gTaggedOnly[0] = row.taggedOnly;
        Fill(0, 0, 0, 79, u'x');
        DrawPaneMark(0);
        EXPECT_EQ(ShadowText(0, 0, 1), std::u16string(1, row.mark)) << row.what;
        EXPECT_EQ(qtest::ConsoleAttrs(0, 0, 1), std::vector<WORD>(1, row.attr)) << row.what;
        EXPECT_EQ(ShadowText(0, 1, 1), u"x") << row.what << ": one cell";
    }
    // In split screen each pane marks its own half; swapped halves swap
    // the columns.
    gSplitScreen = 1;
    gSplitColumn = 40;
    const struct {
        DWORD swapped;
        WORD pane;
        int column;
    } halves[] = {{0, 0, 0}, {0, 1, 40}, {1, 0, 40}, {1, 1, 0}};
    for (const auto& h : halves) {
        gFilterSlots[h.pane].active = 1;
        gFilesWithList[h.pane] = 0;
        gTaggedOnly[h.pane] = 0;
        gPanesSwapped = h.swapped;
        Fill(0, 0, 0, 79, u'x');
        DrawPaneMark(h.pane);
        EXPECT_EQ(ShadowText(0, h.column, 1), u"-") << h.pane << " swapped " << h.swapped;
        EXPECT_EQ(ShadowText(0, 40 - h.column, 1), u"x");
    }
    // A pane's title drawn again brings its mark with it.
    gPanesSwapped = 0;
    gFilterSlots[1].active = 0;
    gTaggedOnly[1] = 1;
    Fill(0, 0, 1, 79, u'x');
    FormatTreeTitle(1);
    EXPECT_EQ(ShadowText(0, 40, 1), u"\u2666");
    EXPECT_EQ(ShadowText(1, 41, 7), u"<tree: ");
    gSplitScreen = 0;
    gPanesSwapped = 0;
    gFilesWithList[0] = gFilesWithList[1] = 0;
    gTaggedOnly[0] = gTaggedOnly[1] = 0;
}

TEST_F(Drawing, StatsPanelDrawsTheWholeFrame) {
    MakeTree(u"a\\f=1");
    InitFilterSlots();
    gWindowMode = WM_TREE;
    gLogMode = 0;
    Fill(0, 0, 24, 79, u'#');
    ShowStatsPanel(0);
    const std::u16string line(57, u'\u2500');
    EXPECT_EQ(ShadowText(1, 0, 80),
              u"\u250C" + line + u"\u252C" + std::u16string(20, u'\u2500') + u"\u2510");
    // The bottom line (the sort indicator stands in it right of the tree).
    EXPECT_EQ(ShadowText(21, 0, 59), u"\u2514" + line + u"\u2534");
    EXPECT_EQ(ShadowText(21, 79, 1), u"\u2518");
    EXPECT_EQ(ShadowText(gSmallWindowRow - 1, 0, 1), u"\u251C") << "the tree window's frame";
    EXPECT_EQ(ShadowText(8, 59, 15), u"DISK Statistics");
    EXPECT_EQ(ShadowText(23, 0, 80) + ShadowText(24, 0, 80), std::u16string(160, u'#'))
        << "the command lines are left";
    EXPECT_EQ(ShadowText(gMessageRow, 0, 5), u"## ##");
    EXPECT_EQ(ShadowText(gMessageRow, 41, 3), u"# #");
    // With the clock: the date and time in the clock's own places.
    EXPECT_EQ(ShadowText(0, 62, 1), u"-");
    EXPECT_EQ(ShadowText(0, 65, 1), u"-");
    EXPECT_EQ(ShadowText(0, 71, 1), u":");
    EXPECT_EQ(ShadowText(0, 74, 1), u":");
    EXPECT_EQ(ShadowText(0, 1, 58), std::u16string(58, u' '));

    // With the command lines, the tree menu; while a full-disk log runs,
    // the logo box in the tree window.
    gLogMode = LOG_FULL_DISK;
    Fill(0, 0, 24, 79, u'#');
    ShowStatsPanel(1);
    EXPECT_EQ(ShadowText(19, 24, 8), u"Version:");
    EXPECT_EQ(ShadowText(gMessageRow, 0, 4), u"TREE");
    EXPECT_EQ(ShadowText(24, 0, 80).find(u'#'), std::u16string::npos);
    gLogMode = 0;

    // A file window that is not the small one: its empty area, no frame
    // line above a small window.
    gWindowMode = WM_FILE;
    gPanes[0].SmallFileWindow = 0;
    gPanes[0].FileWindowOpen = 1;
    Fill(0, 0, 24, 79, u'#');
    ShowStatsPanel(0);
    for (int row = 2; row < 21; row++)
        EXPECT_EQ(ShadowText(row, 1, 57), std::u16string(57, u' ')) << row;
    EXPECT_EQ(ShadowText(gSmallWindowRow - 1, 0, 1), std::u16string(1, gIniWorking.scrollTrack));
    EXPECT_EQ(ShadowText(1, 79 - 35, 14), u"─────────┤n W├") << "the sort indicator on the top line";
    gWindowMode = WM_TREE;
    gPanes[0].FileWindowOpen = 0;

    // Split screen with both panels (wide enough for them): the left one
    // ends at the split column's joints.
    ScrSetupLayout(25, 130, 1);
    gSplitScreen = 1;
    gSplitLayoutSetting = 2;
    gSplitColumn = 40;
    gLeftLastColumn = 39;
    gPanes[0].SmallFileWindow = 1;
    gPanes[1].SmallFileWindow = 1;
    ComputeFileWinLayout(-1);
    ASSERT_EQ(gSplitLayout, 2);
    const int split = gSplitColumn;
    const int leftPanel = gLeftLastColumn - 21;
    Fill(0, 0, 24, 129, u'#');
    ShowStatsPanel(0);
    EXPECT_EQ(ShadowText(1, split - 1, 2), u"\u2510\u250C");
    EXPECT_EQ(ShadowText(21, split - 1, 2), u"\u2518\u2514");
    EXPECT_EQ(ShadowText(10, split - 1, 1), u"\u2502");
    EXPECT_EQ(ShadowText(8, leftPanel + 1, 15), u"DISK Statistics") << "the left panel";
    EXPECT_EQ(ShadowText(8, 129 - 21 + 1, 15), u"DISK Statistics") << "the right panel";
    gSplitScreen = 0;
    gSplitLayout = 0;
    gSplitLayoutSetting = 0;
    ScrSetupLayout(25, 80, 1);
    ComputeFileWinLayout(-1);
}

// ---- the logo box ---------------------------------------------------------------

TEST_F(Drawing, CentredLogoBox) {
    ShowLogoBox(1);
    // 25 rows: r = 1; 80 columns: c = 17, the frame from column 13.
    EXPECT_EQ(ShadowText(1, 13, 53), u"\u2554" + std::u16string(51, u'\u2550') + u"\u2557");
    EXPECT_EQ(ShadowText(21, 13, 53), u"\u255A" + std::u16string(51, u'\u2550') + u"\u255D");
    for (int row = 2; row <= 20; row++) {
        EXPECT_EQ(ShadowText(row, 13, 1), u"\u2551") << row;
        EXPECT_EQ(ShadowText(row, 65, 1), u"\u2551") << row;
    }
    EXPECT_EQ(ShadowText(1, 12, 1), u" ") << "nothing left of the frame";
    EXPECT_EQ(ShadowText(19, 33, 8), u"Version:");
    EXPECT_EQ(ShadowText(19, 42, 6), u"2.9.11");
    // Fourteen banner lines from row 3, drawn with the upper-half block.
    for (int row = 3; row < 17; row++)
        EXPECT_NE(ShadowText(row, 14, 51).find(u'\u2580'), std::u16string::npos) << row;
    EXPECT_EQ(ShadowText(2, 14, 51), std::u16string(51, u' '));
    EXPECT_EQ(ShadowText(17, 14, 51), std::u16string(51, u' '));
    EXPECT_NE(ShadowText(20, 23, 20), std::u16string(20, u' ')) << "the maker's line";
    EXPECT_TRUE(gLogoShown);
}

TEST_F(Drawing, LogoBoxInsideTheTreeWindow) {
    Fill(1, 0, 21, 79, u'#');
    ShowLogoBox(0);
    // The tree window area is cleared, its frame drawn again.
    EXPECT_EQ(ShadowText(1, 0, 58), u"\u250C" + std::u16string(57, u'\u2500'));
    EXPECT_EQ(ShadowText(21, 0, 58), u"\u2514" + std::u16string(57, u'\u2500'));
    EXPECT_EQ(ShadowText(16, 0, 1), std::u16string(1, gIniWorking.scrollTrack));
    EXPECT_EQ(ShadowText(16, 58, 1), u"\u2502");
    EXPECT_EQ(ShadowText(2, 1, 57), std::u16string(57, u' '));
    EXPECT_EQ(ShadowText(20, 1, 57).find(u'#'), std::u16string::npos);
    EXPECT_EQ(ShadowText(10, 59, 10), std::u16string(10, u'#')) << "the panel is left";
    // Fewer than 29 rows: banner from row 3, version on row 19; c = 8.
    EXPECT_NE(ShadowText(3, 1, 57).find(u'\u2580'), std::u16string::npos);
    EXPECT_NE(ShadowText(16, 1, 57).find(u'\u2580'), std::u16string::npos);
    EXPECT_EQ(ShadowText(19, 24, 8), u"Version:");
    EXPECT_EQ(ShadowText(19, 33, 6), u"2.9.11");
    EXPECT_TRUE(gLogoShown);
    // Taller screens move the banner down.
    const struct {
        int rows, banner, version;
    } heights[] = {{28, 3, 19}, {29, 6, 22}, {43, 6, 22}, {44, 10, 26}, {60, 10, 26}};
    for (const auto& h : heights) {
        ScrSetupLayout(h.rows, 80, 1);
        ShowLogoBox(0);
        EXPECT_EQ(ShadowText(h.banner - 1, 1, 57), std::u16string(57, u' ')) << h.rows;
        EXPECT_NE(ShadowText(h.banner, 1, 57).find(u'\u2580'), std::u16string::npos) << h.rows;
        EXPECT_NE(ShadowText(h.banner + 13, 1, 57).find(u'\u2580'), std::u16string::npos) << h.rows;
        EXPECT_EQ(ShadowText(h.banner + 14, 1, 57), std::u16string(57, u' ')) << h.rows;
        EXPECT_EQ(ShadowText(h.version, 24, 8), u"Version:") << h.rows;
        EXPECT_EQ(ShadowText(gFrameLastRow, 0, 2), u"\u2514\u2500") << h.rows;
    }
    ScrSetupLayout(25, 80, 1);
}

// ---- the small file window --------------------------------------------------------

TEST_F(Drawing, UnreadDirectoryShowsItsMessageOnce) {
    MakeTree(u"a\\f=1");
    psiCurrent = Dir(u"X:\\a");
    psiCurrent->bLogged = 0;
    psiCurrent->bExpanded = 0;
    const int top = gSmallWindowRow;
    const struct {
        DWORD dirMode;
        int column;
        BYTE colour;
        const char* what;
    } rows[] = {{0, 2, kFileWindow, "listing files"}, {1, 4, kDirWindow, "listing directories"}};
    for (const auto& row : rows) {
        gDirMode[0] = row.dirMode;
        Fill(top, 0, gSmallWindowLastRow, 79, u'#');
        ShowFileWindow();
        EXPECT_EQ(ShadowText(top, row.column, 29), u"Directory contents not logged") << row.what;
        EXPECT_EQ(qtest::ConsoleAttrs(top, row.column, 29), std::vector<WORD>(29, row.colour))
            << row.what;
        EXPECT_EQ(ShadowText(top + 1, 1, 57), std::u16string(57, u' ')) << row.what << ": cleared";
        EXPECT_EQ(ShadowText(gSmallWindowLastRow, 1, 57), std::u16string(57, u' ')) << row.what;
        EXPECT_EQ(ShadowText(top, 0, 1), std::u16string(1, gIniWorking.scrollTrack)) << row.what;
        EXPECT_EQ(ShadowText(top, 58, 2), u"##") << row.what << ": the panel is left";
        if (row.dirMode) {
            EXPECT_EQ(ShadowText(top, 2, 1), u"\u2502");
        }
        // Drawn again while the message stands there: nothing is cleared.
        ScrPutWStr(top + 2, 5, u"kept", 0x70);
        ShowFileWindow();
        EXPECT_EQ(ShadowText(top + 2, 5, 4), u"kept") << row.what;
    }
    gDirMode[0] = 0;
    // The path line and the directory's name come with it.
    EXPECT_EQ(ShadowText(0, 1, 4), u"X:\\a");
    EXPECT_EQ(ShadowText(19, 59, 2), u"a ");
}

TEST_F(Drawing, ReadDirectoryListsItsEntriesDownTheFirstColumn) {
    DiskInfo* disk = MakeTree(u"d\\zeta=1 d\\alpha=2#3 d\\hidden=3#0 d\\beta=4 d\\sub\\ e\\");
    (void)disk;
    psiCurrent = Dir(u"X:\\d");
    const int top = gSmallWindowRow;
    Fill(top, 0, gSmallWindowLastRow, 79, u'#');
    ShowFileWindow();
    const std::u16string names[] = {u"zeta ", u"alpha", u"beta "};
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(ShadowText(top + i, 2, 5), names[i]) << "entry " << i << " in array order";
    EXPECT_EQ(ShadowText(top + 3, 1, 57), std::u16string(57, u' '))
        << "an entry that does not pass the filter takes no row";
    EXPECT_EQ(ShadowText(top + 1, 1, 1), u"\u2666") << "the tag mark";
    EXPECT_EQ(qtest::ConsoleAttrs(top + 1, 1, 1)[0], kTagColour);
    EXPECT_EQ(ShadowText(top, 1, 1), u" ");
    EXPECT_EQ(qtest::ConsoleAttrs(top, 2, 4), std::vector<WORD>(4, kFileWindow));

    // Listing directories: the subdirectories.
    gDirMode[0] = 1;
    Dir(u"X:\\d\\sub")->bFlags[0] = ENTRY_MATCHES;
    ShowFileWindow();
    EXPECT_EQ(ShadowText(top, 2, 4), u"sub ");
    EXPECT_EQ(ShadowText(top + 1, 1, 57), std::u16string(57, u' '));
    gDirMode[0] = 0;

    // The messages of a read directory with nothing to show.
    const struct {
        const char16_t* path;
        BYTE logged;
        DWORD dirMode;
        const char16_t* text;
    } rows[] = {
        {u"X:\\e", 1, 0, u"No files      "},
        {u"X:\\e", 5, 0, u"Access Denied!"},
        {u"X:\\e", 1, 1, u"No directories"},
    };
    for (const auto& row : rows) {
        psiCurrent = Dir(row.path);
        psiCurrent->bLogged = row.logged;
        gDirMode[0] = row.dirMode;
        Fill(top, 0, gSmallWindowLastRow, 79, u'#');
        ShowFileWindow();
        const std::u16string text(row.text);
        EXPECT_EQ(ShadowText(top, row.dirMode ? 4 : 2, int(text.size())), text);
    }
    gDirMode[0] = 0;
    // Files, but none passes the filter.
    psiCurrent = Dir(u"X:\\d");
    for (FileEntry* f = psiCurrent->pFiles; f < psiCurrent->pFiles + psiCurrent->dwFiles; f++)
        f->bFlags[0] = 0;
    ShowFileWindow();
    EXPECT_EQ(ShadowText(top, 2, 25), u"No files match the filter");
}

} // namespace
