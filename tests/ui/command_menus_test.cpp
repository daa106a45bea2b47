// The command menus read back from the console buffer: every menu's three
// rows at 80 and 96 columns with the cells of its key letters, the words
// that depend on the window's state, the key each word stands for when
// clicked, and when a request draws nothing.
#include "platform_fixture.h"
#include "archive/archiver_defs.h"
#include "main/startup_options.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/colours.h"
#include "settings/settings.h"
#include "tree/tree_records.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/progress.h"

#include <functional>
#include <string>

namespace {

constexpr BYTE kText = 0x1B;
constexpr BYTE kKey = 0x1E;
constexpr BYTE kDimmed = 0x18;
constexpr BYTE kGlobal = 0x2F;

// The state a menu reads, put back after every test.
class CommandMenuTest : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        saved_[0] = gMessageAttr;
        saved_[1] = gKeyLetterAttr;
        saved_[2] = gColourTable[COLOUR_DIMMED];
        saved_[3] = gColourTable[COLOUR_GLOBAL];
        gMessageAttr = kText;
        gKeyLetterAttr = kKey;
        gColourTable[COLOUR_DIMMED] = kDimmed;
        gColourTable[COLOUR_GLOBAL] = kGlobal;
        diskCount_ = gDiskCount;
        gDiskCount = 1;
        gAltKeyMode = 0;
        gNoMaximise = 0;
        gUnshiftedKeys = 0;
        terminalHost_ = gTerminalHost;
        gTerminalHost = TRUE;
        fileInvokesView_ = gSettings.bFileInvokesView;
        gSettings.bFileInvokesView = 0;
        gCurrentArchiver = nullptr;
        gPaneCurrentEntry[0] = nullptr;
        current_ = pdiCurrent;
        pdiCurrent = nullptr;
    }
    void TearDown() override {
        gMessageAttr = saved_[0];
        gKeyLetterAttr = saved_[1];
        gColourTable[COLOUR_DIMMED] = saved_[2];
        gColourTable[COLOUR_GLOBAL] = saved_[3];
        gDiskCount = diskCount_;
        gAltKeyMode = 0;
        gNoMaximise = 0;
        gUnshiftedKeys = 0;
        gSettings.bFileInvokesView = fileInvokesView_;
        gTerminalHost = terminalHost_;
        gCurrentArchiver = nullptr;
        gPaneCurrentEntry[0] = nullptr;
        pdiCurrent = current_;
        gWindowMode = WM_TREE;
        gMenuModifier = 0;
        HotClear(FALSE);
        PlatformTest::TearDown();
    }

    // A 25-row screen columns wide, the command lines blank.
    static void Screen(int columns) {
        ASSERT_TRUE(SetConsoleScreenBufferSize(gConOut, COORD{SHORT(columns), 25}));
        ScrSetupLayout(25, columns, 1);
        ScrClearArea(0, 0, 24, columns - 1, 0x07);
        HotClear(FALSE);
    }

    BYTE saved_[4] = {};
    WORD diskCount_ = 0;
    BYTE fileInvokesView_ = 0;
    BOOL terminalHost_ = FALSE;
    DiskInfo* current_ = nullptr;
};

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        switch (c) {
        case u'◄':
            out += "<-";
            break;
        case u'─':
            out += "-";
            break;
        case u'┘':
            out += "'";
            break;
        default:
            out += c < 0x80 ? char(c) : '#';
        }
    }
    return out;
}

std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// A row's text, the Enter symbol's three cells written "<-'" as one
// readable group ("<--'"), trailing blanks dropped.
std::string RowText(int row) {
    return TrimRight(Narrow(qtest::ConsoleText(row, 0, gScreenCols)));
}

// A row's colours, one mark per cell: '^' key letter, 'd' dimmed, 'g'
// GLOBAL, ' ' command-line text, '?' anything else.
std::string RowMarks(int row) {
    std::string marks;
    for (WORD a : qtest::ConsoleAttrs(row, 0, gScreenCols)) {
        const BYTE b = BYTE(a);
        marks += b == kKey ? '^' : b == kDimmed ? 'd' : b == kGlobal ? 'g' : b == kText ? ' ' : '?';
    }
    return TrimRight(marks);
}

struct Snapshot {
    const char* name;
    WORD mode;
    WORD modifier;
    int columns;
    std::function<void()> setup;
    // Message, middle and bottom rows, and their key-cell marks.
    const char* rows[3];
    const char* marks[3];
};

void NoSetup() {}

TEST_F(CommandMenuTest, EveryMenuAt80And96Columns) {
    const Snapshot kCases[] = {
        {"TREE at 96: every word",
         WM_TREE,
         0,
         96,
         NoSetup,
         {"TREE      Avail  Branch  Compare  Del  Edit  Filter  Global  sHortcut  Invert  Log  "
          "Make",
          "COMMANDS  New date  Oops!  Print  Rename  Showall  Tag  Untag  View  sWitch  eXecute  "
          "Quit",
          "<--' File  F1 Help  F3 Refresh  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  ? Stats"},
         {"          ^      ^       ^        ^    ^     ^       ^        ^        ^       ^    ^",
          "          ^         ^      ^      ^       ^        ^    ^      ^      ^       ^       ^",
          "^^^       ^^       ^^          ^^           ^^        ^^       ^           ^"}},
        // At 80 columns the wide words are left out, and the chaining then
        // runs Make and Quit past the edge: their keys still work.
        {"TREE at 80: no Edit, sWitch, F3 Refresh, Make or Quit",
         WM_TREE,
         0,
         80,
         NoSetup,
         {"TREE      Avail  Branch  Compare  Del  Filter  Global  sHortcut  Invert  Log",
          "COMMANDS  New date  Oops!  Print  Rename  Showall  Tag  Untag  View  eXecute",
          "<--' File  F1 Help  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  ? Stats"},
         {"          ^      ^       ^        ^    ^       ^        ^        ^       ^",
          "          ^         ^      ^      ^       ^        ^    ^      ^      ^",
          "^^^       ^^       ^^           ^^        ^^       ^           ^"}},
        {"CTRL TREE at 96",
         WM_TREE,
         1,
         96,
         NoSetup,
         {"CTRL TREE Branch  Filter  Global  Invert  Log disk  Quit  Showall tagged files",
          "COMMANDS  Tag  Untag  Volume  Qlist  <--' Show tagged files",
          "          F7 Tag branch  F8 Untag branch  F9 Invert branch tags  \\ Treespec  Ins"},
         {"          ^       ^       ^       ^       ^         ^     ^",
          "          ^    ^      ^       ^      ^^^",
          "          ^^             ^^               ^^                     ^           ^^^"}},
        {"CTRL TREE at 80: no Ins",
         WM_TREE,
         1,
         80,
         NoSetup,
         {"CTRL TREE Branch  Filter  Global  Invert  Log disk  Quit  Showall tagged files",
          "COMMANDS  Tag  Untag  Volume  Qlist  <--' Show tagged files",
          "          F7 Tag branch  F8 Untag branch  F9 Invert branch tags  \\ Treespec"},
         {"          ^       ^       ^       ^       ^         ^     ^",
          "          ^    ^      ^       ^      ^^^",
          "          ^^             ^^               ^^                     ^"}},
        {"ALT TREE at 96 in a terminal",
         WM_TREE,
         2,
         96,
         NoSetup,
         {"ALT TREE  Attributes  Compare  File display  Graft  Hide  Info  KByte  Log",
          "COMMANDS  Mirror  Prune  Release  Sort  Tag  Untag  View  Wash  eXecute  Quit",
          "          F2 Format  F3 Relog dir  F7 Zoom  F10 Configure"},
         {"          ^           ^        ^             ^      ^     ^     ^      ^",
          "          ^       ^      ^        ^     ^    ^      ^     ^      ^       ^",
          "          ^^         ^^            ^^       ^^^"}},
        {"ALT TREE at 80, console window sizable: F8/F9 Video",
         WM_TREE,
         2,
         80,
         [] { gTerminalHost = FALSE; },
         {"ALT TREE  Attributes  Compare  File display  Graft  Hide  Info  KByte  Log",
          "COMMANDS  Mirror  Prune  Release  Sort  Tag  Untag  View  Wash  eXecute  Quit",
          "          F2 Format  F3 Relog dir  F7 Zoom  F8/F9 Video  F10 Configure"},
         {"          ^           ^        ^             ^      ^     ^     ^      ^",
          "          ^       ^      ^        ^     ^    ^      ^     ^      ^       ^",
          "          ^^         ^^            ^^       ^^ ^^        ^^^"}},
        {"FILE at 96",
         WM_FILE,
         0,
         96,
         NoSetup,
         {"FILE      Attributes  Copy  Delete  Edit  Filter  sHortcut  Invert  RAZ  Log",
          "COMMANDS  Move  New date  Open  Print  Rename  Tag  Untag  View  sWitch  eXecute  Quit",
          "<--' Tree  F1 Help  F3 Refresh  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  ? Stats"},
         {"          ^           ^     ^       ^     ^        ^        ^       ^    ^",
          "          ^     ^         ^     ^      ^       ^    ^      ^      ^       ^       ^",
          "^^^       ^^       ^^          ^^           ^^        ^^       ^           ^"}},
        {"FILE at 80",
         WM_FILE,
         0,
         80,
         NoSetup,
         {"FILE      Attributes  Copy  Delete  Edit  Filter  sHortcut  Invert  RAZ  Log",
          "COMMANDS  Move  New date  Open  Print  Rename  Tag  Untag  View  eXecute  Quit",
          "<--' Tree  F1 Help  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  ? Stats"},
         {"          ^           ^     ^       ^     ^        ^        ^       ^    ^",
          "          ^     ^         ^     ^      ^       ^    ^      ^      ^       ^",
          "^^^       ^^       ^^           ^^        ^^       ^           ^"}},
        {"CTRL FILE at 96: Megaview at column 62",
         WM_FILE,
         1,
         96,
         NoSetup,
         {"CTRL FILE Attributes  Batch  Copy  Delete  Edit  sHortcut  Invert  RAZ  Log",
          "COMMANDS  Move  New date  Open  Print  Rename  Search  Tag  Untag  View  Qlist",
          "          <--' Show tags only  F5 Archive tags  F6 Merge tags  F7 Megaview  F8 Partial "
          "untag  Ins"},
         {"          ^           ^      ^     ^       ^      ^        ^       ^    ^",
          "          ^     ^         ^     ^      ^       ^       ^    ^      ^     ^",
          "          ^^^                 ^^               ^^             ^^           ^^           "
          "     ^^^"}},
        {"CTRL FILE at 80: no Megaview, no Ins",
         WM_FILE,
         1,
         80,
         NoSetup,
         {"CTRL FILE Attributes  Batch  Copy  Delete  Edit  sHortcut  Invert  RAZ  Log",
          "COMMANDS  Move  New date  Open  Print  Rename  Search  Tag  Untag  View  Qlist",
          "          <--' Show tags only  F5 Archive tags  F6 Merge tags  F8 Partial untag"},
         {"          ^           ^      ^     ^       ^      ^        ^       ^    ^",
          "          ^     ^         ^     ^      ^       ^       ^    ^      ^     ^",
          "          ^^^                 ^^               ^^             ^^"}},
        {"ALT FILE at 96, console window sizable: F7/F8/F9 Video",
         WM_FILE,
         2,
         96,
         [] { gTerminalHost = FALSE; },
         {"ALT FILE  Batch  Copy  Edit  File display  Hide  Info  RAZ  KByte  Log disk  Move",
          "COMMANDS  Open  Release  Sort criteria  Tag  Untag  View  eXecute  Quit  QLog",
          "          F2 Format  F3 Relog dir  F4 Compare  F5 Open archive  F7/F8/F9 Video  F10 "
          "Configure"},
         {"          ^      ^     ^     ^             ^     ^     ^    ^      ^         ^",
          "          ^     ^        ^              ^    ^      ^      ^       ^     ^",
          "          ^^         ^^            ^^          ^^               ^^ ^^ ^^        ^^^"}},
        {"ALT FILE at 80 in a terminal",
         WM_FILE,
         2,
         80,
         NoSetup,
         {"ALT FILE  Batch  Copy  Edit  File display  Hide  Info  RAZ  KByte  Log disk",
          "COMMANDS  Open  Release  Sort criteria  Tag  Untag  View  eXecute  Quit  QLog",
          "          F2 Format  F3 Relog dir  F4 Compare  F5 Open archive  F7 Zoom"},
         {"          ^      ^     ^     ^             ^     ^     ^    ^      ^",
          "          ^     ^        ^              ^    ^      ^      ^       ^     ^",
          "          ^^         ^^            ^^          ^^               ^^"}},
        {"ARC DIR",
         WM_ARCHIVE_DIR,
         0,
         80,
         NoSetup,
         {"ARC DIR   Branch  Filter  Print  Showall  Tag  Untag  eXecute", "COMMANDS",
          "<--' File                                                    F1 Help  Esc Cancel"},
         {"          ^       ^       ^      ^        ^    ^       ^", "",
          "^^^                                                         ^^       ^^^"}},
        {"archive CTRL DIR",
         WM_ARCHIVE_DIR,
         1,
         96,
         NoSetup,
         {"CTRL DIR  Branch  Showall tagged  Tag all  Untag all", "COMMANDS",
          "          F7 Tag Branch  F8 Untag branch  F9 Invert branch tags"},
         {"          ^       ^               ^        ^", "",
          "          ^^             ^^               ^^"}},
        {"archive ALT DIR",
         WM_ARCHIVE_DIR,
         2,
         80,
         NoSetup,
         {"ALT DIR   File display  KByte  Sort criteria  Tag  Untag  eXecute", "COMMANDS", ""},
         {"          ^             ^      ^              ^    ^       ^", "", ""}},
        {"ARC FILE without tree lines",
         WM_ARCHIVE_FILE,
         0,
         96,
         NoSetup,
         {"ARC FILE  Delete  Extract  Filter  Invert  Open  Tag  Untag  View  eXecute", "COMMANDS",
          "<--' Cancel                                                  F1 Help  Esc Cancel"},
         {"          ^       ^        ^       ^       ^     ^    ^      ^      ^", "",
          "^^^                                                         ^^       ^^^"}},
        {"archive CTRL FILE",
         WM_ARCHIVE_FILE,
         1,
         80,
         NoSetup,
         {"CTRL FILE Delete  Extract  Invert  Tag all  Untag all", "COMMANDS",
          "          <--' Show tags only                                  F8 Partial untag"},
         {"          ^       ^        ^       ^        ^", "",
          "          ^^^                                                 ^^"}},
        {"archive ALT FILE",
         WM_ARCHIVE_FILE,
         2,
         80,
         NoSetup,
         {"ALT FILE  Extract  File display  Open  Sort criteria  Tag  Untag  View  eXecute",
          "COMMANDS", ""},
         {"          ^        ^             ^     ^              ^    ^      ^      ^", "", ""}},
        {"AUTOVIEW",
         WM_AUTOVIEW,
         0,
         80,
         NoSetup,
         {"AUTOVIEW  Attributes  Copy  Delete  Edit  Filter  sHortcut  Invert  RAZ",
          "COMMANDS  Move  New date  Open  Print  Rename  Tag  Untag  View  eXecute  Quit",
          "          F9 Menu   Shift for View menu                     F1 Help  Esc Cancel"},
         {"          ^           ^     ^       ^     ^        ^        ^       ^",
          "          ^     ^         ^     ^      ^       ^    ^      ^      ^       ^",
          "          ^^        ^^^^^                                   ^^       ^^^"}},
        {"autoview CTRL",
         WM_AUTOVIEW,
         1,
         96,
         NoSetup,
         {"CTRL      Attributes  Batch  Copy  Delete  Invert  Move  New date",
          "COMMANDS  Print  Rename  Search  Tag  Untag  View",
          "          <--' Show tags only  F5 Archive tags"},
         {"          ^           ^      ^     ^       ^       ^     ^",
          "          ^      ^       ^       ^    ^      ^", "          ^^^                 ^^"}},
        {"autoview ALT in a terminal",
         WM_AUTOVIEW,
         2,
         80,
         NoSetup,
         {"ALT       Batch  Copy  Edit  Info  RAZ  Move  Open  Sort criteria  Tag  Untag",
          "COMMANDS  eXecute",
          "          F2 Format  F5 Open archive                            F7 Zoom"},
         {"          ^      ^     ^     ^     ^    ^     ^     ^              ^    ^",
          "           ^", "          ^^         ^^                                         ^^"}},
        {"autoview ALT, console window sizable, zoom off",
         WM_AUTOVIEW,
         2,
         80,
         [] {
             gTerminalHost = FALSE;
             gNoMaximise = 1;
         },
         {"ALT       Batch  Copy  Edit  Info  RAZ  Move  Open  Sort criteria  Tag  Untag",
          "COMMANDS  eXecute",
          "          F2 Format  F5 Open archive                            F7/F8/F9 Video"},
         {"          ^      ^     ^     ^     ^    ^     ^     ^              ^    ^",
          "           ^",
          "          ^^         ^^                                         dd ^^ ^^"}},
        {"MENU",
         WM_APP_MENU,
         0,
         80,
         NoSetup,
         {"MENU                Menu editing functions are available via the Alt menu",
          "COMMANDS                 Press first letter of menu item to jump",
          "<--' Execute command  F2 Load  F3 Save  F5 Graphics toggle   F1 Help  Esc Cancel"},
         {"", "", "^^^                  ^^       ^^       ^^                   ^^       ^^^"}},
        {"ALT MENU",
         WM_APP_MENU,
         2,
         96,
         NoSetup,
         {"ALT MENU  Add item  Copy item  Delete item  Edit script  Move item  Rename item",
          "COMMANDS  Undo  View  eXecute", ""},
         {"          ^         ^          ^            ^            ^          ^",
          "          ^     ^      ^", ""}},
    };
    for (const Snapshot& c : kCases) {
        SCOPED_TRACE(c.name);
        Screen(c.columns);
        c.setup();
        gWindowMode = c.mode;
        ShowCommandMenu(c.modifier, 1);
        for (int r = 0; r < 3; r++) {
            EXPECT_EQ(RowText(gMessageRow + r), c.rows[r]) << "row " << r;
            EXPECT_EQ(RowMarks(gMessageRow + r), c.marks[r]) << "row " << r;
        }
        EXPECT_EQ(gMenuModifier, c.modifier);
        gTerminalHost = TRUE;
        gNoMaximise = 0;
    }
}

// One row of a menu under one state of the window.
struct Variant {
    const char* name;
    WORD mode;
    WORD modifier;
    int columns;
    std::function<void()> setup;
    int row; // 0 message, 1 middle, 2 bottom
    const char* text;
    const char* marks;
};

TEST_F(CommandMenuTest, WordsFollowTheWindowsState) {
    static DiskInfo withTree{};
    withTree.dwTreeRows = 3;
    static const WCHAR noDelete[] = u"";
    static ArchiverDef cannotDelete{nullptr, noDelete};
    static FileEntry link{};
    static WCHAR linkName[] = u"Start menu.lnk";
    link.pszLongName = linkName;
    const Variant kCases[] = {
        {"two disks: the selection keys", WM_TREE, 0, 96, [] { gDiskCount = 2; }, 2,
         "<--' File  F1 Help  F3 Refresh  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  < > Select",
         "^^^       ^^       ^^          ^^           ^^        ^^       ^           ^ ^"},
        {"two disks, unshifted keys", WM_TREE, 0, 96,
         [] {
             gDiskCount = 2;
             gUnshiftedKeys = 1;
         },
         2,
         "<--' File  F1 Help  F3 Refresh  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  , . Select",
         "^^^       ^^       ^^          ^^           ^^        ^^       ^           ^ ^"},
        {"two disks, alternative keys", WM_TREE, 0, 96,
         [] {
             gDiskCount = 2;
             gAltKeyMode = 1;
         },
         2,
         "<--' File  F1 Help  F3 Refresh  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  +/- Select",
         "^^^       ^^       ^^          ^^           ^^        ^^       ^           ^^^"},
        {"one disk, unshifted keys", WM_TREE, 0, 96, [] { gUnshiftedKeys = 1; }, 2,
         "<--' File  F1 Help  F3 Refresh  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  / Stats",
         "^^^       ^^       ^^          ^^           ^^        ^^       ^           ^"},
        {"directories listed, split screen", WM_TREE, 0, 96,
         [] {
             gDirMode[0] = 1;
             gSplitScreen = 1;
         },
         2, "<--' Dir   F1 Help  F3 Refresh  F8 Unsplit  F9 Menu  \\ Treespec  ? Stats",
         "^^^       ^^       ^^          ^^          ^^       ^           ^"},
        {"directories listed: no Compare", WM_TREE, 0, 96, [] { gDirMode[0] = 1; }, 0,
         "TREE      Avail  Branch  Del  Edit  Filter  Global  sHortcut  Invert  Log  Make",
         "          ^      ^       ^    ^     ^       ^        ^        ^       ^    ^"},
        {"CTRL TREE, directories listed", WM_TREE, 1, 96, [] { gDirMode[0] = 1; }, 1,
         "COMMANDS  Tag  Untag  Volume  Qlist  <--' Show tagged dirs",
         "          ^    ^      ^       ^      ^^^"},
        {"ALT TREE, zoom off", WM_TREE, 2, 96, [] { gNoMaximise = 1; }, 2,
         "          F2 Format  F3 Relog dir  F7 Zoom  F10 Configure",
         "          ^^         ^^            dd       ^^^"},
        {"small file window", WM_FILE, 0, 96, [] { gPanes[0].SmallFileWindow = 1; }, 2,
         "<--' More  F1 Help  F3 Refresh  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  ? Stats",
         "^^^       ^^       ^^          ^^           ^^        ^^       ^           ^"},
        {"Enter views, branch list", WM_FILE, 0, 96,
         [] {
             gSettings.bFileInvokesView = 1;
             gDisplayMode[0] = 3;
         },
         2, "<--' View  F1 Help  F3 Refresh  F7 Autoview  F8 Split  F9 Menu  \\ To Dir  ? Stats",
         "^^^       ^^       ^^          ^^           ^^        ^^       ^         ^"},
        {"DIR: no RAZ", WM_FILE, 0, 96, [] { gDirMode[0] = 1; }, 0,
         "DIR       Attributes  Copy  Delete  Edit  Filter  sHortcut  Invert  Log",
         "          ^           ^     ^       ^     ^        ^        ^       ^"},
        {"DIR: no Print, no F7 Autoview", WM_FILE, 0, 96, [] { gDirMode[0] = 1; }, 1,
         "COMMANDS  Move  New date  Open  Rename  Tag  Untag  View  sWitch  eXecute  Quit",
         "          ^     ^         ^     ^       ^    ^      ^      ^       ^       ^"},
        {"CTRL DIR at 96", WM_FILE, 1, 96, [] { gDirMode[0] = 1; }, 2,
         "          <--' Show tags only  F6 Merge tags  F8 Partial untag  Ins",
         "          ^^^                 ^^             ^^                ^^^"},
        {"CTRL FILE, tagged only", WM_FILE, 1, 80, [] { gTaggedOnly[0] = 1; }, 2,
         "          <--' Show matching  F5 Archive tags  F6 Merge tags  F8 Partial untag",
         "          ^^^                ^^               ^^             ^^"},
        {"ALT FILE on a shortcut: Goto", WM_FILE, 2, 96, [] { gPaneCurrentEntry[0] = &link; }, 0,
         "ALT FILE  Batch  Copy  Edit  File display  Goto  Hide  Info  RAZ  KByte  Log disk  Move",
         "          ^      ^     ^     ^             ^     ^     ^     ^    ^      ^         ^"},
        {"ALT FILE, zoom off, console window sizable", WM_FILE, 2, 96,
         [] {
             gNoMaximise = 1;
             gTerminalHost = FALSE;
         },
         2,
         "          F2 Format  F3 Relog dir  F4 Compare  F5 Open archive  F8/F9 Video  F10 "
         "Configure",
         "          ^^         ^^            ^^          ^^               ^^ ^^        ^^^"},
        {"ARC FILE with tree lines, archiver cannot delete", WM_ARCHIVE_FILE, 0, 80,
         [] {
             pdiCurrent = &withTree;
             gCurrentArchiver = &cannotDelete;
         },
         0, "ARC FILE  Delete  Extract  Filter  Invert  Open  Tag  Untag  View  eXecute",
         "          d       ^        ^       ^       ^     ^    ^      ^      ^"},
        {"ARC FILE with tree lines", WM_ARCHIVE_FILE, 0, 80, [] { pdiCurrent = &withTree; }, 2,
         "<--' Tree                                                    F1 Help  Esc Cancel",
         "^^^                                                         ^^       ^^^"},
        {"ARC FILE in a showall list: GLOBAL key letters", WM_ARCHIVE_FILE, 0, 80,
         [] { gDisplayMode[0] = 4; }, 2,
         "<--' Cancel                                  \\ To Dir        F1 Help  Esc Cancel",
         "ggg                                         g               gg       ggg"},
        {"archive CTRL FILE, archiver cannot delete", WM_ARCHIVE_FILE, 1, 80,
         [] { gCurrentArchiver = &cannotDelete; }, 0,
         "CTRL FILE Delete  Extract  Invert  Tag all  Untag all",
         "          d       ^        ^       ^        ^"},
        {"AUTOVIEW under the tree", WM_AUTOVIEW, 0, 80, [] { gPanes[0].SmallFileWindow = 1; }, 2,
         "    More  F9 Menu   Shift for View menu                     F1 Help  Esc Cancel",
         "          ^^        ^^^^^                                   ^^       ^^^"},
    };
    for (const Variant& c : kCases) {
        SCOPED_TRACE(c.name);
        Screen(c.columns);
        c.setup();
        gWindowMode = c.mode;
        ShowCommandMenu(c.modifier, 1);
        EXPECT_EQ(RowText(gMessageRow + c.row), c.text);
        EXPECT_EQ(RowMarks(gMessageRow + c.row), c.marks);
        gDiskCount = 1;
        gUnshiftedKeys = 0;
        gAltKeyMode = 0;
        gNoMaximise = 0;
        gTerminalHost = TRUE;
        gDirMode[0] = 0;
        gSplitScreen = 0;
        gTaggedOnly[0] = 0;
        gDisplayMode[0] = 1;
        gPanes[0].SmallFileWindow = 0;
        gSettings.bFileInvokesView = 0;
        gPaneCurrentEntry[0] = nullptr;
        gCurrentArchiver = nullptr;
        pdiCurrent = nullptr;
    }
}

// The column of text on a command line, -1 when it is not there.
int ColumnOf(int row, const std::u16string& text) {
    const std::u16string line = qtest::ConsoleText(row, 0, gScreenCols);
    const size_t at = line.find(text);
    return at == std::u16string::npos ? -1 : int(at);
}

TEST_F(CommandMenuTest, EachWordIsARegionForItsKey) {
    const struct {
        const char* name;
        WORD mode;
        WORD modifier;
        int columns;
        int row;
        const char16_t* word;
        int key;
    } kCases[] = {
        {"TREE Quit", WM_TREE, 0, 96, 1, u"Quit", 'q'},
        {"TREE sHortcut", WM_TREE, 0, 96, 0, u"sHortcut", 'h'},
        {"TREE Enter", WM_TREE, 0, 80, 2, u"◄─┘ File", KC_ENTER},
        {"TREE F9 Menu", WM_TREE, 0, 80, 2, u"F9 Menu", KcF(9)},
        {"TREE statistics", WM_TREE, 0, 80, 2, u"?", '?'},
        {"CTRL TREE Branch", WM_TREE, 1, 80, 0, u"Branch", 1090},
        {"CTRL TREE show tagged", WM_TREE, 1, 80, 1, u"◄─┘ Show", 1037},
        {"CTRL TREE Treespec", WM_TREE, 1, 80, 2, u"\\ Treespec", 1052},
        {"CTRL TREE Ins", WM_TREE, 1, 96, 2, u"Ins", 1069},
        {"ALT TREE Attributes", WM_TREE, 2, 80, 0, u"Attributes", 2113},
        {"ALT TREE Quit", WM_TREE, 2, 80, 1, u"Quit", 2129},
        {"ALT TREE F10", WM_TREE, 2, 80, 2, u"F10 Configure", 2169},
        {"CTRL FILE tags only", WM_FILE, 1, 80, 2, u"◄─┘ Show", 1139},
        {"ALT FILE QLog", WM_FILE, 2, 80, 1, u"QLog", 2138},
        {"ALT FILE Format", WM_FILE, 2, 80, 2, u"F2 Format", 2161},
        {"ARC DIR Esc", WM_ARCHIVE_DIR, 0, 80, 2, u"Esc Cancel", KC_ESC},
        {"AUTOVIEW Shift", WM_AUTOVIEW, 0, 80, 2, u"Shift for", 512},
        {"AUTOVIEW Quit", WM_AUTOVIEW, 0, 80, 1, u"Quit", 'q'},
        {"autoview CTRL Search", WM_AUTOVIEW, 1, 80, 1, u"Search", 1107},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Screen(c.columns);
        gWindowMode = c.mode;
        ShowCommandMenu(c.modifier, 1);
        const int row = gMessageRow + c.row;
        const int col = ColumnOf(row, c.word);
        ASSERT_GE(col, 0);
        const int length = int(std::u16string(c.word).size());
        EXPECT_EQ(HotRegionLookup(FALSE, row, col), c.key);
        EXPECT_EQ(HotRegionLookup(FALSE, row, col + length - 1), c.key);
        // The blank before the word belongs to no region.
        if (col > 10) {
            EXPECT_EQ(HotRegionLookup(FALSE, row, col - 1), -1);
        }
    }
}

TEST_F(CommandMenuTest, NarrowTreeMenuKeepsNoRegionPastTheEdge) {
    Screen(80);
    gWindowMode = WM_TREE;
    ShowCommandMenu(0, 1);
    // "Log" ends the message row at 80 columns and "eXecute" the middle
    // row: nothing stands for Make or Quit after them.
    EXPECT_EQ(ColumnOf(gMessageRow, u"Make"), -1);
    EXPECT_EQ(ColumnOf(gHintRow, u"Quit"), -1);
    for (int col = 76; col < 80; col++) {
        EXPECT_EQ(HotRegionLookup(FALSE, gMessageRow, col), -1) << col;
        EXPECT_EQ(HotRegionLookup(FALSE, gHintRow, col), -1) << col;
    }
}

TEST_F(CommandMenuTest, ARepeatedRequestDrawsNothingUnlessForced) {
    Screen(80);
    gWindowMode = WM_TREE;
    ShowCommandMenu(0, 1);
    ScrClearArea(gMessageRow, 0, gBottomRow, 79, 0x07);
    ShowCommandMenu(0, 0);
    EXPECT_EQ(RowText(gMessageRow), "");
    ShowCommandMenu(0, 1);
    EXPECT_EQ(RowText(gMessageRow).substr(0, 15), "TREE      Avail");

    // A new modifier draws without force, and the key reader's release
    // brings the plain menu back.
    ShowCommandMenu(1, 0);
    EXPECT_EQ(RowText(gMessageRow).substr(0, 16), "CTRL TREE Branch");
    EXPECT_EQ(gMenuModifier, 1);
    ShowCommandMenu(0, 0);
    EXPECT_EQ(RowText(gMessageRow).substr(0, 15), "TREE      Avail");
    EXPECT_EQ(gMenuModifier, 0);

    // A new window mode draws without force.
    gWindowMode = WM_FILE;
    ShowCommandMenu(0, 0);
    EXPECT_EQ(RowText(gMessageRow).substr(0, 4), "FILE");
}

TEST_F(CommandMenuTest, NothingIsDrawnOrRememberedWhileBusyOrPicking) {
    const struct {
        const char* name;
        DWORD busy;
        DWORD picker;
    } kCases[] = {{"busy", 1, 0}, {"directory picker", 0, 1}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Screen(80);
        gWindowMode = WM_TREE;
        ShowCommandMenu(0, 1);
        ScrClearArea(gMessageRow, 0, gBottomRow, 79, 0x07);
        gBusyFlag = c.busy;
        gPickerActive = c.picker;
        ShowCommandMenu(1, 1);
        EXPECT_EQ(RowText(gMessageRow), "");
        EXPECT_EQ(gMenuModifier, 0);
        gBusyFlag = 0;
        gPickerActive = 0;
        // Ctrl was never recorded as shown: the same request now draws.
        ShowCommandMenu(1, 0);
        EXPECT_EQ(RowText(gMessageRow).substr(0, 9), "CTRL TREE");
        EXPECT_EQ(gMenuModifier, 1);
    }
}

TEST_F(CommandMenuTest, APairWithoutAMenuClearsNothingButIsRemembered) {
    Screen(80);
    gWindowMode = WM_TREE;
    ShowCommandMenu(0, 1);
    // The tree has no Shift menu: the plain one stays on screen.
    ShowCommandMenu(3, 0);
    EXPECT_EQ(RowText(gMessageRow).substr(0, 4), "TREE");
    EXPECT_EQ(gMenuModifier, 3);
    EXPECT_EQ(HotRegionLookup(FALSE, gMessageRow, 10), 'a');
}

TEST_F(CommandMenuTest, RedrawTreeCommandsOnlyWithItsFlag) {
    Screen(80);
    gWindowMode = WM_FILE;
    RedrawTreeCommands(0);
    EXPECT_EQ(RowText(gMessageRow), "");
    RedrawTreeCommands(1);
    EXPECT_EQ(RowText(gMessageRow).substr(0, 15), "TREE      Avail");
}

} // namespace
