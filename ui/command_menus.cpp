// The command menus: the choice of menu by window and modifier, the layout
// every menu shares (name and "COMMANDS" at column 0, words chained from
// column 10 or placed at fixed columns, hints on the bottom row), and the
// words of each window's menus.
#include "ui/command_menus.h"
#include "archive/archiver_defs.h"
#include "compare/compare_menu.h"
#include "main/startup_options.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/colours.h"
#include "settings/settings.h"
#include "tree/tree_records.h"
#include "ui/click_regions.h"
#include "ui/edit_helpers.h"
#include "ui/progress.h"
#include "viewer/view_bars.h"

#include <initializer_list>

BYTE gMessageAttr = 0x1B;
BYTE gKeyLetterAttr = 0x1E;

namespace {

DWORD gLastMode = 0xFFFFFFFF;
DWORD gLastModifier = 0xFFFFFFFF;

// Ctrl+\ arrives as the control character 28.
constexpr DWORD kCtrlBackslash = KC_CTRL + 28;
constexpr DWORD kShiftAlone = KC_SHIFT;

// A word or hint of a chained line, left out when not shown. A command
// word's key letter is its first letter, or the second when the word starts
// in lower case (sHortcut, eXecute, sWitch); a hint highlights its key's
// name (up to the first blank).
struct Item {
    const WCHAR* label;
    DWORD key;
    bool shown = true;
};

// A word or hint at a fixed column.
struct Placed {
    int col;
    const WCHAR* label;
    DWORD key;
    bool hint = false;
};

int KeyLetterOffset(const WCHAR* label) {
    return label[0] >= u'a' && label[0] <= u'z' ? 1 : 0;
}

int KeyNameLength(const WCHAR* label) {
    int n = 0;
    while (label[n] != 0 && label[n] != u' ')
        n++;
    return n;
}

WORD PutWord(int row, int col, const WCHAR* label, DWORD key) {
    return HotText(row, col, KeyLetterOffset(label), 1, key, label);
}

WORD PutHint(int row, int col, const WCHAR* label, DWORD key) {
    return HotText(row, col, 0, KeyNameLength(label), key, label);
}

// Words chained from col on row; returns the column after the last.
int ChainWords(int row, int col, std::initializer_list<Item> words) {
    for (const Item& w : words)
        if (w.shown) col = PutWord(row, col, w.label, w.key);
    return col;
}

int ChainHints(int row, int col, std::initializer_list<Item> hints) {
    for (const Item& h : hints)
        if (h.shown) col = PutHint(row, col, h.label, h.key);
    return col;
}

void PlaceAll(int row, std::initializer_list<Placed> items) {
    for (const Placed& p : items) {
        if (p.hint)
            PutHint(row, p.col, p.label, p.key);
        else
            PutWord(row, p.col, p.label, p.key);
    }
}

// Plain text on a command line, kept off the right edge like a word.
int PutText(int row, int col, const WCHAR* text) {
    const int length = int(wcslen(text));
    if (col + length > gScreenCols) return col;
    ScrPutWStr(row, col, text, gMessageAttr);
    return col + length + 2;
}

// Blanks the command lines, drops their regions and writes the window's
// name and "COMMANDS".
void BeginMenu(const char* name) {
    HotClear(TRUE);
    ScrPutStr(gMessageRow, 0, name, gMessageAttr);
    ScrPutStr(gHintRow, 0, "COMMANDS", gMessageAttr);
}

WORD Pane() {
    return gCurrentPane & 1;
}

bool Wide() {
    return gScreenCols > 90;
}

bool InsHintFits() {
    return gScreenCols >= 86;
}

bool EnterViews() {
    return gSettings.bFileInvokesView != 0;
}

// Whether the open archive's archiver can delete from it; the built-in
// support can.
bool ArchiverDeletes() {
    const ArchiverDef* def = gCurrentArchiver;
    return def == nullptr || (def->deleteCommand != nullptr && def->deleteCommand[0] != 0);
}

void DimKeyCells(int row, int col, int n) {
    ScrFillAttr(row, col, gColourTable[COLOUR_DIMMED], n);
}

// "F7 Zoom" for Alt-F7; with zooming switched off the same text without a
// region and with its key dimmed.
int ZoomHint(int col) {
    if (!gNoMaximise) return PutHint(gBottomRow, col, u"F7 Zoom", DWORD(KcAltF(7)));
    const int next = PutText(gBottomRow, col, u"F7 Zoom");
    if (next != col) DimKeyCells(gBottomRow, col, 2);
    return next;
}

// The Ctrl-F4 hint, which names the list it switches to.
const WCHAR* TagsOnlyHint() {
    return gTaggedOnly[Pane()] ? u"◄─┘ Show matching" : u"◄─┘ Show tags only";
}

// The end of the bottom row of the tree and file menus: the statistics key
// with one logged disk, the disk selection keys with more.
void SelectTail(int c) {
    const int row = gBottomRow;
    if (gDiskCount < 2) {
        if (gUnshiftedKeys)
            PutHint(row, c, u"/", '/');
        else
            PutHint(row, c, u"?", '?');
        PutText(row, c + 2, u"Stats");
        return;
    }
    if (gAltKeyMode) {
        PutHint(row, c, u"+/", '+');
        PutHint(row, c + 2, u"-", '-');
    } else if (gUnshiftedKeys) {
        PutHint(row, c, u",", ',');
        PutHint(row, c + 2, u".", '.');
    } else {
        PutHint(row, c, u"<", '<');
        PutHint(row, c + 2, u">", '>');
    }
    PutText(row, c + 4, u"Select");
}

// "F8" and "F9 Video" read as "F8/F9 Video": the second hint starts one
// column before the usual place and a '/' stands on the blank before it.
int SlashedHint(int col, const WCHAR* label, DWORD key) {
    const int at = col - 1;
    if (at + int(wcslen(label)) > gScreenCols) return col;
    ScrPutChar(gBottomRow, at - 1, u'/', gMessageAttr);
    return PutHint(gBottomRow, at, label, key);
}

// ---- the tree window --------------------------------------------------------------------------

void ShowCtrlTreeCommands() {
    const bool dirs = gDirMode[Pane()] != 0;
    BeginMenu("CTRL TREE");
    ChainWords(gMessageRow, 10,
               {{u"Branch", DWORD(KcCtrl('B'))},
                {u"Filter", DWORD(KcCtrl('F'))},
                {u"Global", DWORD(KcCtrl('G'))},
                {u"Invert", DWORD(KcCtrl('I'))},
                {u"Log disk", DWORD(KcCtrl('L'))},
                {u"Quit", DWORD(KcCtrl('Q'))},
                {dirs ? u"Showall tagged dirs" : u"Showall tagged files", DWORD(KcCtrl('S'))}});
    const int col = ChainWords(gHintRow, 10,
                               {{u"Tag", DWORD(KcCtrl('T'))},
                                {u"Untag", DWORD(KcCtrl('U'))},
                                {u"Volume", DWORD(KcCtrl('V'))},
                                {u"Qlist", DWORD(KcCtrl('Z'))}});
    PutHint(gHintRow, col, dirs ? u"◄─┘ Show tagged dirs" : u"◄─┘ Show tagged files",
            KC_CTRL_ENTER);
    ChainHints(gBottomRow, 10,
               {{u"F7 Tag branch", DWORD(KcCtrlF(7))},
                {u"F8 Untag branch", DWORD(KcCtrlF(8))},
                {u"F9 Invert branch tags", DWORD(KcCtrlF(9))},
                {u"\\ Treespec", kCtrlBackslash},
                {u"Ins", DWORD(KC_CTRL_INS), InsHintFits()}});
}

// The Alt-F7 to Alt-F9 hints of the tree's Alt menu: "F7 Zoom" (without a
// region and dimmed when zooming is switched off), then "F8/F9 Video" while
// the program may size its console window.
int AltTreeVideoHints(int col) {
    col = ZoomHint(col);
    if (ConsoleReady()) {
        col = PutHint(gBottomRow, col, u"F8", DWORD(KcAltF(8)));
        col = SlashedHint(col, u"F9 Video", DWORD(KcAltF(9)));
    }
    return col;
}

void ShowAltTreeCommands() {
    const bool dirs = gDirMode[Pane()] != 0;
    BeginMenu("ALT TREE");
    ChainWords(gMessageRow, 10,
               {{u"Attributes", DWORD(KcAlt('A'))},
                {u"Compare", DWORD(KcAlt('C')), !dirs},
                {u"File display", DWORD(KcAlt('F'))},
                {u"Graft", DWORD(KcAlt('G'))},
                {u"Hide", DWORD(KcAlt('H'))},
                {u"Info", DWORD(KcAlt('I'))},
                {u"KByte", DWORD(KcAlt('K'))},
                {u"Log", DWORD(KcAlt('L'))}});
    ChainWords(gHintRow, 10,
               {{u"Mirror", DWORD(KcAlt('M'))},
                {u"Prune", DWORD(KcAlt('P'))},
                {u"Release", DWORD(KcAlt('R'))},
                {u"Sort", DWORD(KcAlt('S'))},
                {u"Tag", DWORD(KcAlt('T'))},
                {u"Untag", DWORD(KcAlt('U'))},
                {u"View", DWORD(KcAlt('V'))},
                {u"Wash", DWORD(KcAlt('W'))},
                {u"eXecute", DWORD(KcAlt('X'))},
                {u"Quit", DWORD(KcAlt('Q'))}});
    int col = ChainHints(gBottomRow, 10,
                         {{u"F2 Format", DWORD(KcAltF(2))}, {u"F3 Relog dir", DWORD(KcAltF(3))}});
    col = AltTreeVideoHints(col);
    PutHint(gBottomRow, col, u"F10 Configure", DWORD(KcAltF(10)));
}

// ---- the file window --------------------------------------------------------------------------

const char* FileHeader(const char* file, const char* dir) {
    return gDirMode[Pane()] ? dir : file;
}

void ShowFileCommands() {
    const WORD pane = Pane();
    const bool files = gDirMode[pane] == 0;
    BeginMenu(FileHeader("FILE", "DIR"));
    ChainWords(gMessageRow, 10,
               {{u"Attributes", 'a'},
                {u"Copy", 'c'},
                {u"Delete", 'd'},
                {u"Edit", 'e'},
                {u"Filter", 'f'},
                {u"sHortcut", 'h'},
                {u"Invert", 'i'},
                {u"RAZ", 'j', files},
                {u"Log", 'l'}});
    ChainWords(gHintRow, 10,
               {{u"Move", 'm'},
                {u"New date", 'n'},
                {u"Open", 'o'},
                {u"Print", 'p', files},
                {u"Rename", 'r'},
                {u"Tag", 't'},
                {u"Untag", 'u'},
                {u"View", 'v'},
                {u"sWitch", 'w', Wide()},
                {u"eXecute", 'x'},
                {u"Quit", 'q'}});
    const WCHAR* enter = gPanes[pane].SmallFileWindow ? u"◄─┘ More"
                         : EnterViews()               ? u"◄─┘ View"
                                                      : u"◄─┘ Tree";
    PutHint(gBottomRow, 0, enter, KC_ENTER);
    const int col = ChainHints(gBottomRow, 10,
                               {{u"F1 Help", DWORD(KC_F1)},
                                {u"F3 Refresh", DWORD(KcF(3)), Wide()},
                                {u"F7 Autoview", DWORD(KcF(7)), files},
                                {gSplitScreen ? u"F8 Unsplit" : u"F8 Split", DWORD(KcF(8))},
                                {u"F9 Menu", DWORD(KcF(9))},
                                {gDisplayMode[pane] == 1 ? u"\\ Treespec" : u"\\ To Dir", '\\'}});
    SelectTail(col);
}

void ShowCtrlFileCommands() {
    const WORD pane = Pane();
    const bool files = gDirMode[pane] == 0;
    BeginMenu(FileHeader("CTRL FILE", "CTRL DIR"));
    ChainWords(gMessageRow, 10,
               {{u"Attributes", DWORD(KcCtrl('A'))},
                {u"Batch", DWORD(KcCtrl('B'))},
                {u"Copy", DWORD(KcCtrl('C'))},
                {u"Delete", DWORD(KcCtrl('D'))},
                {u"Edit", DWORD(KcCtrl('E')), files},
                {u"sHortcut", DWORD(KcCtrl('H'))},
                {u"Invert", DWORD(KcCtrl('I'))},
                {u"RAZ", DWORD(KcCtrl('J')), files},
                {u"Log", DWORD(KcCtrl('L'))}});
    ChainWords(gHintRow, 10,
               {{u"Move", DWORD(KcCtrl('M'))},
                {u"New date", DWORD(KcCtrl('N'))},
                {u"Open", DWORD(KcCtrl('O'))},
                {u"Print", DWORD(KcCtrl('P')), files},
                {u"Rename", DWORD(KcCtrl('R'))},
                {u"Search", DWORD(KcCtrl('S')), files},
                {u"Tag", DWORD(KcCtrl('T'))},
                {u"Untag", DWORD(KcCtrl('U'))},
                {u"View", DWORD(KcCtrl('V')), files},
                {u"Qlist", DWORD(KcCtrl('Z')), files}});
    int col = ChainHints(gBottomRow, 10,
                         {{TagsOnlyHint(), DWORD(KcCtrlF(4))},
                          {u"F5 Archive tags", DWORD(KcCtrlF(5)), files},
                          {u"F6 Merge tags", DWORD(KcCtrlF(6))}});
    if (files && Wide()) col = PutHint(gBottomRow, 62, u"F7 Megaview", DWORD(KcCtrlF(7)));
    ChainHints(
        gBottomRow, col,
        {{u"F8 Partial untag", DWORD(KcCtrlF(8))}, {u"Ins", DWORD(KC_CTRL_INS), InsHintFits()}});
}

// The current entry is a Windows shortcut (its extension is LNK).
bool CurrentEntryIsLink() {
    const FileEntry* entry = gPaneCurrentEntry[Pane()];
    if (entry == nullptr) return false;
    const WCHAR* name = entry->pszLongName ? entry->pszLongName : entry->wszShortName;
    const WCHAR* dot = wcsrchr(name, u'.');
    return dot != nullptr && _wcsicmp(dot + 1, u"LNK") == 0;
}

void ShowAltFileCommands() {
    const WORD pane = Pane();
    const bool files = gDirMode[pane] == 0;
    BeginMenu(FileHeader("ALT FILE", "ALT DIR"));
    ChainWords(gMessageRow, 10,
               {{u"Batch", DWORD(KcAlt('B'))},
                {u"Copy", DWORD(KcAlt('C'))},
                {u"Edit", DWORD(KcAlt('E'))},
                {u"File display", DWORD(KcAlt('F'))},
                {u"Goto", DWORD(KcAlt('G')), files && CurrentEntryIsLink()},
                {u"Hide", DWORD(KcAlt('H'))},
                {u"Info", DWORD(KcAlt('I'))},
                {u"RAZ", DWORD(KcAlt('J')), files},
                {u"KByte", DWORD(KcAlt('K'))},
                {u"Log disk", DWORD(KcAlt('L'))},
                {u"Move", DWORD(KcAlt('M')), files}});
    ChainWords(gHintRow, 10,
               {{u"Open", DWORD(KcAlt('O'))},
                {u"Release", DWORD(KcAlt('R'))},
                {u"Sort criteria", DWORD(KcAlt('S'))},
                {u"Tag", DWORD(KcAlt('T'))},
                {u"Untag", DWORD(KcAlt('U'))},
                {u"View", DWORD(KcAlt('V'))},
                {u"eXecute", DWORD(KcAlt('X'))},
                {u"Quit", DWORD(KcAlt('Q'))},
                {u"QLog", DWORD(KcAlt('Z'))}});
    int col = ChainHints(gBottomRow, 10,
                         {{u"F2 Format", DWORD(KcAltF(2))},
                          {u"F3 Relog dir", DWORD(KcAltF(3))},
                          {u"F4 Compare", DWORD(KcAltF(4))},
                          {u"F5 Open archive", DWORD(KcAltF(5)), files}});
    const bool ready = ConsoleReady() != 0;
    bool afterF7 = false;
    if (!gNoMaximise) {
        col = PutHint(gBottomRow, col, ready ? u"F7" : u"F7 Zoom", DWORD(KcAltF(7)));
        afterF7 = true;
    }
    if (ready) {
        col = afterF7 ? SlashedHint(col, u"F8", DWORD(KcAltF(8)))
                      : PutHint(gBottomRow, col, u"F8", DWORD(KcAltF(8)));
        col = SlashedHint(col, u"F9 Video", DWORD(KcAltF(9)));
    }
    PutHint(gBottomRow, col, u"F10 Configure", DWORD(KcAltF(10)));
}

// ---- the archive windows ----------------------------------------------------------------------

void ShowArcDirCommands() {
    BeginMenu("ARC DIR");
    PlaceAll(gMessageRow, {{10, u"Branch", 'b'},
                           {18, u"Filter", 'f'},
                           {26, u"Print", 'p'},
                           {33, u"Showall", 's'},
                           {42, u"Tag", 't'},
                           {47, u"Untag", 'u'},
                           {54, u"eXecute", 'x'}});
    PutHint(gBottomRow, 0, u"◄─┘ File", KC_ENTER);
    ShowArchiveTitle();
    PlaceAll(gBottomRow,
             {{60, u"F1 Help", DWORD(KC_F1), true}, {69, u"Esc Cancel", DWORD(KC_ESC), true}});
}

void ShowArcAltDirCommands() {
    BeginMenu("ALT DIR");
    PlaceAll(gMessageRow, {{10, u"File display", DWORD(KcAlt('F'))},
                           {24, u"KByte", DWORD(KcAlt('K'))},
                           {31, u"Sort criteria", DWORD(KcAlt('S'))},
                           {46, u"Tag", DWORD(KcAlt('T'))},
                           {51, u"Untag", DWORD(KcAlt('U'))},
                           {58, u"eXecute", DWORD(KcAlt('X'))}});
}

void ShowArcCtrlDirCommands() {
    BeginMenu("CTRL DIR");
    PlaceAll(gMessageRow, {{10, u"Branch", DWORD(KcCtrl('B'))},
                           {18, u"Showall tagged", DWORD(KcCtrl('S'))},
                           {34, u"Tag all", DWORD(KcCtrl('T'))},
                           {43, u"Untag all", DWORD(KcCtrl('U'))}});
    PlaceAll(gBottomRow, {{10, u"F7 Tag Branch", DWORD(KcCtrlF(7)), true},
                          {25, u"F8 Untag branch", DWORD(KcCtrlF(8)), true},
                          {42, u"F9 Invert branch tags", DWORD(KcCtrlF(9)), true}});
}

void ShowArcFileCommands() {
    // In a branch, showall or global list every key letter takes the
    // GLOBAL colour, as that list's rows do.
    const bool global = gDisplayMode[Pane()] > 2;
    const BYTE keyLetter = gKeyLetterAttr;
    if (global) gKeyLetterAttr = gColourTable[COLOUR_GLOBAL];
    BeginMenu("ARC FILE");
    PlaceAll(gMessageRow, {{10, u"Delete", 'd'},
                           {18, u"Extract", 'e'},
                           {27, u"Filter", 'f'},
                           {35, u"Invert", 'i'},
                           {43, u"Open", 'o'},
                           {49, u"Tag", 't'},
                           {54, u"Untag", 'u'},
                           {61, u"View", 'v'},
                           {67, u"eXecute", 'x'}});
    if (!ArchiverDeletes()) DimKeyCells(gMessageRow, 10, 1);
    const bool hasTree = pdiCurrent != nullptr && pdiCurrent->dwTreeRows > 0;
    const WCHAR* enter = EnterViews() ? u"◄─┘ View" : hasTree ? u"◄─┘ Tree" : u"◄─┘ Cancel";
    PutHint(gBottomRow, 0, enter, KC_ENTER);
    ShowArchiveTitle();
    if (global) PutHint(gBottomRow, 44, u"\\ To Dir", '\\');
    PlaceAll(gBottomRow,
             {{60, u"F1 Help", DWORD(KC_F1), true}, {69, u"Esc Cancel", DWORD(KC_ESC), true}});
    gKeyLetterAttr = keyLetter;
}

void ShowArcAltFileCommands() {
    BeginMenu("ALT FILE");
    PlaceAll(gMessageRow, {{10, u"Extract", DWORD(KcAlt('E'))},
                           {19, u"File display", DWORD(KcAlt('F'))},
                           {33, u"Open", DWORD(KcAlt('O'))},
                           {39, u"Sort criteria", DWORD(KcAlt('S'))},
                           {54, u"Tag", DWORD(KcAlt('T'))},
                           {59, u"Untag", DWORD(KcAlt('U'))},
                           {66, u"View", DWORD(KcAlt('V'))},
                           {72, u"eXecute", DWORD(KcAlt('X'))}});
}

void ShowArcCtrlFileCommands() {
    BeginMenu("CTRL FILE");
    PlaceAll(gMessageRow, {{10, u"Delete", DWORD(KcCtrl('D'))},
                           {18, u"Extract", DWORD(KcCtrl('E'))},
                           {27, u"Invert", DWORD(KcCtrl('I'))},
                           {35, u"Tag all", DWORD(KcCtrl('T'))},
                           {44, u"Untag all", DWORD(KcCtrl('U'))}});
    if (!ArchiverDeletes()) DimKeyCells(gMessageRow, 10, 1);
    PlaceAll(gBottomRow, {{10, TagsOnlyHint(), DWORD(KcCtrlF(4)), true},
                          {62, u"F8 Partial untag", DWORD(KcCtrlF(8)), true}});
}

// ---- autoview ---------------------------------------------------------------------------------

void ShowAutoviewCommands() {
    BeginMenu("AUTOVIEW");
    PlaceAll(gMessageRow, {{10, u"Attributes", 'a'},
                           {22, u"Copy", 'c'},
                           {28, u"Delete", 'd'},
                           {36, u"Edit", 'e'},
                           {42, u"Filter", 'f'},
                           {50, u"sHortcut", 'h'},
                           {60, u"Invert", 'i'},
                           {68, u"RAZ", 'j'}});
    PlaceAll(gHintRow, {{10, u"Move", 'm'},
                        {16, u"New date", 'n'},
                        {26, u"Open", 'o'},
                        {32, u"Print", 'p'},
                        {39, u"Rename", 'r'},
                        {47, u"Tag", 't'},
                        {52, u"Untag", 'u'},
                        {59, u"View", 'v'},
                        {65, u"eXecute", 'x'},
                        {74, u"Quit", 'q'}});
    if (gPanes[Pane()].SmallFileWindow) PutText(gBottomRow, 4, u"More");
    PlaceAll(gBottomRow, {{10, u"F9 Menu", DWORD(KcF(9)), true},
                          {20, u"Shift for View menu", kShiftAlone, true},
                          {60, u"F1 Help", DWORD(KC_F1), true},
                          {69, u"Esc Cancel", DWORD(KC_ESC), true}});
}

void ShowAutoviewAltCommands() {
    BeginMenu("ALT");
    PlaceAll(gMessageRow, {{10, u"Batch", DWORD(KcAlt('B'))},
                           {17, u"Copy", DWORD(KcAlt('C'))},
                           {23, u"Edit", DWORD(KcAlt('E'))},
                           {29, u"Info", DWORD(KcAlt('I'))},
                           {35, u"RAZ", DWORD(KcAlt('J'))},
                           {40, u"Move", DWORD(KcAlt('M'))},
                           {46, u"Open", DWORD(KcAlt('O'))},
                           {52, u"Sort criteria", DWORD(KcAlt('S'))},
                           {67, u"Tag", DWORD(KcAlt('T'))},
                           {72, u"Untag", DWORD(KcAlt('U'))}});
    PutWord(gHintRow, 10, u"eXecute", DWORD(KcAlt('X')));
    PlaceAll(gBottomRow, {{10, u"F2 Format", DWORD(KcAltF(2)), true},
                          {21, u"F5 Open archive", DWORD(KcAltF(5)), true}});
    if (!ConsoleReady()) {
        ZoomHint(64);
        return;
    }
    if (PutText(gBottomRow, 64, u"F7/F8/F9 Video") == 64) return;
    if (gNoMaximise)
        DimKeyCells(gBottomRow, 64, 2);
    else
        PutHint(gBottomRow, 64, u"F7", DWORD(KcAltF(7)));
    PutHint(gBottomRow, 67, u"F8", DWORD(KcAltF(8)));
    PutHint(gBottomRow, 70, u"F9", DWORD(KcAltF(9)));
}

void ShowAutoviewCtrlCommands() {
    BeginMenu("CTRL");
    PlaceAll(gMessageRow, {{10, u"Attributes", DWORD(KcCtrl('A'))},
                           {22, u"Batch", DWORD(KcCtrl('B'))},
                           {29, u"Copy", DWORD(KcCtrl('C'))},
                           {35, u"Delete", DWORD(KcCtrl('D'))},
                           {43, u"Invert", DWORD(KcCtrl('I'))},
                           {51, u"Move", DWORD(KcCtrl('M'))},
                           {57, u"New date", DWORD(KcCtrl('N'))}});
    PlaceAll(gHintRow, {{10, u"Print", DWORD(KcCtrl('P'))},
                        {17, u"Rename", DWORD(KcCtrl('R'))},
                        {25, u"Search", DWORD(KcCtrl('S'))},
                        {33, u"Tag", DWORD(KcCtrl('T'))},
                        {38, u"Untag", DWORD(KcCtrl('U'))},
                        {45, u"View", DWORD(KcCtrl('V'))}});
    PlaceAll(gBottomRow, {{10, TagsOnlyHint(), DWORD(KcCtrlF(4)), true},
                          {30, u"F5 Archive tags", DWORD(KcCtrlF(5)), true}});
}

// The viewer's plain bar for autoview's Shift menu, drawn as for a file
// that is not autoviewed.
void ShowAutoviewShiftCommands() {
    const WORD pane = Pane();
    const DWORD autoview = gAutoview[pane];
    gAutoview[pane] = 0;
    DrawViewCommandBar();
    gAutoview[pane] = autoview;
}

// ---- the application menu ---------------------------------------------------------------------

// Recolours n key cells at each column of row.
void KeyCells(int row, std::initializer_list<int> cols, int n) {
    for (int col : cols)
        ScrFillAttr(row, col, gKeyLetterAttr, n);
}

// The application menu's lines are plain text: its click regions come from
// the fixed table of the click-region service.
void ShowAppMenuCommands() {
    BeginMenu("MENU");
    ScrPutStr(gMessageRow, 20, "Menu editing functions are available via the Alt menu",
              gMessageAttr);
    ScrPutStr(gHintRow, 25, "Press first letter of menu item to jump", gMessageAttr);
    ScrPutWStr(gBottomRow, 0, u"◄─┘", gKeyLetterAttr);
    ScrPutStr(gBottomRow, 4,
              "Execute command  F2 Load  F3 Save  F5 Graphics toggle   F1 Help  Esc Cancel",
              gMessageAttr);
    KeyCells(gBottomRow, {21, 30, 39, 60}, 2);
    KeyCells(gBottomRow, {69}, 3);
}

void ShowAppMenuAltCommands() {
    HotClear(TRUE);
    ScrPutStr(gMessageRow, 0,
              "ALT MENU  Add item  Copy item  Delete item  Edit script  Move item  Rename item",
              gMessageAttr);
    ScrPutStr(gHintRow, 0, "COMMANDS  Undo  View  eXecute", gMessageAttr);
    KeyCells(gMessageRow, {10, 20, 31, 44, 57, 68}, 1);
    KeyCells(gHintRow, {10, 16, 23}, 1);
}

// Draws the menu of a window mode and modifier; nothing for a pair that
// has none.
void DrawMenu(WORD mode, WORD modifier) {
    switch (mode) {
    case WM_TREE:
        if (modifier == 0) ShowTreeCommands();
        if (modifier == 1) ShowCtrlTreeCommands();
        if (modifier == 2) ShowAltTreeCommands();
        break;
    case WM_FILE:
        if (modifier == 0) ShowFileCommands();
        if (modifier == 1) ShowCtrlFileCommands();
        if (modifier == 2) ShowAltFileCommands();
        break;
    case WM_ARCHIVE_DIR:
        if (modifier == 0) ShowArcDirCommands();
        if (modifier == 1) ShowArcCtrlDirCommands();
        if (modifier == 2) ShowArcAltDirCommands();
        break;
    case WM_ARCHIVE_FILE:
        if (modifier == 0) ShowArcFileCommands();
        if (modifier == 1) ShowArcCtrlFileCommands();
        if (modifier == 2) ShowArcAltFileCommands();
        break;
    case WM_VIEWER:
    case WM_VIEW_TAGGED:
        if (modifier == 0) DrawViewCommandBar();
        if (modifier == 1) DrawViewCtrlBar();
        if (modifier == 2) DrawViewAltBar();
        if (modifier == 3) DrawViewShiftBar();
        break;
    case WM_AUTOVIEW:
        if (modifier == 0) ShowAutoviewCommands();
        if (modifier == 1) ShowAutoviewCtrlCommands();
        if (modifier == 2) ShowAutoviewAltCommands();
        if (modifier == 3) ShowAutoviewShiftCommands();
        break;
    case WM_APP_MENU:
        if (modifier == 0) ShowAppMenuCommands();
        if (modifier == 2) ShowAppMenuAltCommands();
        break;
    case WM_PICK_LIST:
        // The pick list draws its own hint lines while it is open.
        break;
    case WM_TEXT_COMPARE:
        VurCommandMenu(modifier);
        break;
    default:
        break;
    }
}

} // namespace

void ShowTreeCommands() {
    const WORD pane = Pane();
    const bool dirs = gDirMode[pane] != 0;
    BeginMenu("TREE");
    ChainWords(gMessageRow, 10,
               {{u"Avail", 'a'},
                {u"Branch", 'b'},
                {u"Compare", 'c', !dirs},
                {u"Del", 'd'},
                {u"Edit", 'e', Wide()},
                {u"Filter", 'f'},
                {u"Global", 'g'},
                {u"sHortcut", 'h'},
                {u"Invert", 'i'},
                {u"Log", 'l'},
                {u"Make", 'm'}});
    ChainWords(gHintRow, 10,
               {{u"New date", 'n'},
                {u"Oops!", 'o'},
                {u"Print", 'p'},
                {u"Rename", 'r'},
                {u"Showall", 's'},
                {u"Tag", 't'},
                {u"Untag", 'u'},
                {u"View", 'v'},
                {u"sWitch", 'w', Wide()},
                {u"eXecute", 'x'},
                {u"Quit", 'q'}});
    PutHint(gBottomRow, 0, dirs ? u"◄─┘ Dir " : u"◄─┘ File", KC_ENTER);
    const int col = ChainHints(gBottomRow, 10,
                               {{u"F1 Help", DWORD(KC_F1)},
                                {u"F3 Refresh", DWORD(KcF(3)), Wide()},
                                {u"F7 Autoview", DWORD(KcF(7)), !dirs},
                                {gSplitScreen ? u"F8 Unsplit" : u"F8 Split", DWORD(KcF(8))},
                                {u"F9 Menu", DWORD(KcF(9))},
                                {u"\\ Treespec", '\\'}});
    SelectTail(col);
}

void RedrawTreeCommands(int flag) {
    if (flag) ShowTreeCommands();
}

void ShowCommandMenu(WORD modifier, int force) {
    if (gWindowMode == gLastMode && modifier == gLastModifier && !force) return;
    if (gBusyFlag || gPickerActive) return;
    DrawMenu(gWindowMode, modifier);
    gMenuModifier = modifier;
    gLastMode = gWindowMode;
    gLastModifier = modifier;
}
