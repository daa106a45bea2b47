// The tree window's command loop: the key read, the tree speed search, the
// dispatch of every key to its command, the hand-over to the file window
// and back, the pane switch and the drag on the tree rows.
#include "main/tree_loop.h"

#include "main/file_window.h"
#include "main/speed_search.h"
#include "main/list_nav.h"
#include "main/startup_options.h"
#include "main/statistics.h"
#include "main/tree_screen.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/branch_links.h"
#include "tree/file_list.h"
#include "tree/logging.h"
#include "tree/tagging.h"
#include "tree/tree_records.h"
#include "ui/command_menus.h"
#include "ui/progress.h"

#include <cstdlib>

TreeSearchKept gTreeSearchKept[2] = {};

namespace {

constexpr KeyCode kDrag = KC_INTERNAL + 21;         // 4117
constexpr KeyCode kFrame = KC_INTERNAL + 22;        // 4118
constexpr KeyCode kRedrawWindow = KC_INTERNAL + 23; // 4119
constexpr KeyCode kSearchStep = KC_INTERNAL + 25;   // 4121
constexpr KeyCode kSearchNext = KC_INTERNAL + 26;   // 4122
constexpr KeyCode kSwitchPane = KC_INTERNAL + 27;   // 4123
constexpr KeyCode kLetterJump = KC_INTERNAL + 28;   // 4124
constexpr KeyCode kSplitOn = KC_INTERNAL + 32;      // 4128
constexpr KeyCode kSplitOff = KC_INTERNAL + 33;     // 4129
constexpr KeyCode kFrameAgain = KC_INTERNAL + 44;   // 4140
constexpr KeyCode kRelogDrive = KC_INTERNAL + 24;  // 4120
constexpr KeyCode kRelogDir = KC_INTERNAL + 48;    // 4144
constexpr KeyCode kQuitRequest = KC_INTERNAL + 53;  // 4149
constexpr KeyCode kParentList = KC_INTERNAL + 54;   // 4150
constexpr KeyCode kEnterList = KC_INTERNAL + 96;    // 4192
constexpr KeyCode kEnterTagged = KC_INTERNAL + 97;  // 4193
constexpr KeyCode kShiftDel = KC_SH_DEL;            // 814

constexpr DWORD kFlagShift = 0x200;
constexpr DWORD kFlagKeypad = 0x100;

WORD Pane() { return gCurrentPane & 1; }

PaneState& Search() { return gPanes[gCurrentPane]; }

// ---- the speed search ----------------------------------------------------------------

KeyCode ListStep(KeyCode code, TreePosition* pos) {
    return ListNavKey(code, &pos->column, &pos->row, TreeFirstColumn(), &pos->top, 0, 0);
}

// Whether key types into the search while the speed search is on.
bool IsSearchCharacter(KeyCode key, DWORD flags) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return true;
    if (flags & kFlagShift) {
        switch (key) {
        case ' ': case '!': case '#': case '$': case '%': case '&': case '\'': case '(':
        case ')': case '@': case '^': case '_': case '~': case '`':
            return true;
        default:
            break;
        }
    }
    if (gSettings.bSpellPlusMinus && !(flags & kFlagKeypad) &&
        (key == '*' || key == '+' || key == '-' || key == '='))
        return true;
    if (gSettings.bSpellLessGreater && (key == '<' || key == '>' || key == '?')) return true;
    if (gSettings.bSpellBrackets && (key == '[' || key == ']' || key == '{' || key == '}')) return true;
    return false;
}

// Keys that leave a search in progress running.
bool KeepsSearch(KeyCode key) {
    return key == KC_TAB || key == '|' || key == KC_QUOTE || key == KC_F1 || key == KcAltF(7) ||
           key == KcAltF(8) || key == KcAltF(9) || key == kSwitchPane ||
           (key >= KC_INTERNAL + 96 && key <= KC_INTERNAL + 103);
}

// The empty parts take back their kept lengths.
void TakeBackKept(PaneState& s, const TreeSearchKept& kept) {
    if (s.TreeSearchMainLen == 0) s.TreeSearchMainLen = kept.mainLen;
    if (s.TreeSearchSecondLen == 0) s.TreeSearchSecondLen = kept.secondLen;
}

KeyCode AddSearchCharacter(KeyCode key, TreePosition* pos) {
    PaneState& s = Search();
    TreeSearchKept& kept = gTreeSearchKept[Pane()];
    s.SearchState = 0;
    const bool second = s.TreeSearchToSecond != 0;
    const bool full = second ? s.TreeSearchSecondLen >= TREE_SEARCH_SECOND_MAX
                             : s.TreeSearchMainLen >= TREE_SEARCH_MAIN_MAX;
    if (!full) {
        if (s.TreeSearchMainLen == 0) kept.mainLen = 0;
        if (s.TreeSearchSecondLen == 0) kept.secondLen = 0;
        WCHAR c = WCHAR(key);
        if (c == u'<') c = u',';
        if (c == u'>') c = u'.';
        if (s.TreeSearchMainLen == 0) {
            s.SavedTreeTop = pos->top;
            s.SavedTreeRow = pos->row;
            s.SavedTreeColumn = pos->column;
            s.TreeSearchText[0] = 0;
        }
        if (second) {
            s.TreeSearchSecond[s.TreeSearchSecondLen++] = c;
            s.TreeSearchSecond[s.TreeSearchSecondLen] = 0;
        } else {
            s.TreeSearchMain[s.TreeSearchMainLen++] = c;
            s.TreeSearchMain[s.TreeSearchMainLen] = 0;
        }
    }
    return gTreeSearchStep(kSearchStep, pos);
}

void TogglePart() {
    PaneState& s = Search();
    TreeSearchKept& kept = gTreeSearchKept[Pane()];
    s.TreeSearchToSecond = !s.TreeSearchToSecond;
    kept.toSecond = !kept.toSecond;
    TakeBackKept(s, kept);
    SpeedSearch(1, s.TreeSearchText, 1, 0);
}

KeyCode RemoveSearchCharacter(TreePosition* pos) {
    PaneState& s = Search();
    TreeSearchKept& kept = gTreeSearchKept[Pane()];
    s.SearchState = KC_SH_BKSP;
    TakeBackKept(s, kept);
    s.TreeSearchToSecond = kept.toSecond;
    if (s.TreeSearchMainLen == 0 && s.TreeSearchSecondLen == 0) return 0;
    if (s.TreeSearchToSecond && s.TreeSearchSecondLen > 0) {
        s.TreeSearchSecond[--s.TreeSearchSecondLen] = 0;
    } else {
        s.TreeSearchToSecond = 0;
        if (s.TreeSearchMainLen > 0) s.TreeSearchMain[--s.TreeSearchMainLen] = 0;
    }
    if (s.TreeSearchMainLen == 0) kept.mainLen = 0;
    if (s.TreeSearchMainLen == 0 && s.TreeSearchSecondLen == 0) {
        s.TreeSearchToSecond = 0;
        s.TreeSearchText[0] = 0;
    }
    return gTreeSearchStep(kSearchStep, pos);
}

KeyCode ContinueSearch(TreePosition* pos) {
    PaneState& s = Search();
    const TreeSearchKept& kept = gTreeSearchKept[Pane()];
    TakeBackKept(s, kept);
    // A text typed before the kept lengths were ever set is still whole in
    // its buffer.
    if (s.TreeSearchMainLen == 0 && s.TreeSearchMain[0]) {
        BYTE n = 0;
        while (n < TREE_SEARCH_MAIN_MAX && s.TreeSearchMain[n]) n++;
        s.TreeSearchMainLen = n;
    }
    s.TreeSearchToSecond = kept.toSecond;
    if (s.TreeSearchMainLen == 0 && s.TreeSearchSecondLen == 0) return 0;
    return gTreeSearchStep(kSearchNext, pos);
}

KeyCode EndSearch(TreePosition* pos) {
    PaneState& s = Search();
    gTreeSearchKept[Pane()] = {};
    const bool held = s.TreeSearchMainLen != 0 || s.TreeSearchSecondLen != 0;
    s.TreeSearchText[0] = 0;
    s.TreeSearchMain[0] = 0;
    s.TreeSearchSecond[0] = 0;
    s.TreeSearchToSecond = 0;
    if (!held) {
        SpeedSearch(1, s.TreeSearchText, 0, 0);
        return 0;
    }
    s.TreeSearchMainLen = 0;
    s.TreeSearchSecondLen = 0;
    pos->top = s.SavedTreeTop;
    pos->row = WORD(s.SavedTreeRow);
    pos->column = WORD(s.SavedTreeColumn);
    if (pdiCurrent) ScrPaintTreeLines(int(pos->top));
    SpeedSearch(1, s.TreeSearchText, 0, 0);
    return kRedrawWindow;
}

// ---- the tree position ---------------------------------------------------------------

TreePosition LoadPosition() {
    TreePosition pos = {};
    if (pdiCurrent) {
        pos.top = pdiCurrent->dwTreeTop[Pane()];
        pos.row = pdiCurrent->yBar[Pane()];
    }
    if (psiCurrent) pos.column = WORD(psiCurrent->wLevel * gTreeIndent);
    return pos;
}

void StorePosition(const TreePosition& pos) {
    if (!pdiCurrent) return;
    pdiCurrent->dwTreeTop[Pane()] = pos.top;
    pdiCurrent->yBar[Pane()] = pos.row;
    PaneState& state = gPanes[gCurrentPane];
    state.TreeTop = pos.top;
    state.TreeRow = pos.row;
    state.TreeColumn = pos.column;
}

// The tree window after a move: tree lines, bar, mark, path line, and the
// current directory's name, figures and small file window.
void RedrawAfterMove() {
    RedrawTreeWindow();
    if (pdiCurrent) ShowFileWindow();
}

// ---- the commands ----------------------------------------------------------------------

// The other pane's half in split screen: its tree and its title, drawn from
// its own record; the current pane is put back afterwards.
void DrawOtherHalf() {
    if (!gSplitScreen) return;
    const WORD current = gCurrentPane;
    const WORD other = WORD(1 - current);
    SavePane(current);
    SetCurrentPane(other);
    RestorePane(other);
    if (pdiCurrent) {
        showtree();
        RedrawTreeWindow();
    }
    FormatTreeTitle(other);
    SavePane(other);
    SetCurrentPane(current);
    RestorePane(current);
}

// Everything on the screen, both halves in split screen.
void RedrawAll() {
    RedrawTreeScreen();
    DrawOtherHalf();
    FormatTreeTitle(gCurrentPane);
    if (pdiCurrent) ShowFileWindow();
}

void ToggleSplit() {
    if (gSplitScreen) {
        SavePane(gCurrentPane);
        SplitScreenOff();
        RestorePane(0);
    } else {
        SplitScreenOn();
        CopySideState(FALSE, 1);
        RestorePane(gCurrentPane);
    }
    ComputeFileWinLayout(2);
    RedrawAll();
}

void SwitchPanes() {
    if (!gSplitScreen) return;
    const WORD other = WORD(1 - gCurrentPane);
    SavePane(gCurrentPane);
    SetCurrentPane(other);
    RestorePane(other);
    ComputeFileWinLayout(2);
    RedrawAll();
}

// The files read for the current directory given back (its branch's
// records with them); nothing when none are read.
void ReleaseDirFiles() {
    if (!psiCurrent || psiCurrent->bLogged == 0) return;
    SetBusy(1);
    FreeDirFiles(psiCurrent, TRUE);
    SetBusy(0);
    showtree();
    DrawMainFrame(TRUE);
    RedrawAfterMove();
}

// ',' and '<' the previous, '.' and '>' the next logged disk, on the
// directory the pane last stood on there (its root when that is gone).
void SelectDisk(bool next, const TreePosition& pos) {
    if (gDiskCount < 2 || !pdiCurrent) return;
    const WORD pane = Pane();
    StorePosition(pos);
    if (psiCurrent && psiCurrent->pszFullName)
        wcscpy_s(pdiCurrent->wszSavedPath[pane], 1025, psiCurrent->pszFullName);
    DiskInfo* disk = next ? pdiCurrent->pdiNext : pdiCurrent->pdiPrev;
    if (!disk) disk = next ? pdiFirst : pdiLast;
    if (!disk || disk == pdiCurrent) return;
    pdiCurrent = disk;
    const WCHAR* saved = disk->wszSavedPath[pane];
    SubdirInfo* dir = saved[0] ? FindDirByPath(saved, nullptr, TRUE) : nullptr;
    psiCurrent = dir ? dir : disk->psiRoot;
    if (!dir) {
        disk->dwTreeTop[pane] = 0;
        disk->yBar[pane] = gTreeFirstLine;
    }
    showtree();
    RedrawAll();
}

void FreeDisplayList() {
    std::free(gFileList);
    gFileList = nullptr;
    gFMax = 0;
}

// The statistics panel's headings of the current directory's figures,
// which the file window wrote its own over: not while the pane keeps its
// file window or split screen shows no panel.
void RedrawDirHeadings() {
    const WORD pane = Pane();
    if (gPanes[gCurrentPane].FileWindowKept || (gSplitScreen && gSplitLayout == 0)) return;
    const int column = gSplitScreen && gSplitLayout == 2 && gCurrentSide == 0
                           ? gScreenCols / 2 - 21
                           : gScreenCols - 21;
    if (gScreenRows > 25) {
        ScrPutStr(20, column, gDirMode[pane] ? "Dirs " : "File", gNormalAttr);
        ScrPutStr(21, column, "Bytes", gNormalAttr);
    }
    if (gScreenRows > 26) ScrPutStr(22, column, "Attributes     ", gNormalAttr);
    if (gScreenRows > 27) ScrClearArea(23, column, 23, column + 19, gNormalAttr);
}

bool QuitKey(KeyCode key) { return key == 'q' || key == KcCtrl('Q') || key == KcAlt('Q'); }

// Opens the file window on the current directory for key; returns the key
// it ended with (already a quit key when the program is to end), 0 when
// nothing is to follow.
KeyCode EnterFileWindow(KeyCode key, TreePosition& pos, bool* quit) {
    if (!pdiCurrent || !psiCurrent) return 0;
    const WORD pane = Pane();
    StorePosition(pos);
    if (psiCurrent->bLogged != 1 || (psiCurrent->dwFiles && !psiCurrent->pFiles)) {
        if (!LogBranch(4, psiCurrent, TRUE)) {
            RedrawAfterMove();
            return 0;
        }
    }
    gTaggedOnly[pane] =
        key == KC_CTRL_ENTER || (key == kEnterTagged && psiCurrent->dwTagFiles[pane] != 0);
    BuildDisplayFileList(gTaggedOnly[pane]);
    PaneState& state = gPanes[gCurrentPane];
    const bool internal = key >= kEnterList;
    if (gFMax == 0 && !internal &&
        (gSettings.bEmptyWindowAccess == 0 || gTaggedOnly[pane])) {
        FreeDisplayList();
        gTaggedOnly[pane] = 0;
        state.FileWindowOpen = 0;
        state.FileWindowKept = 0;
        RedrawAfterMove();
        return 0;
    }
    pdiCurrent->dwListKey[pane] = DWORD(key);
    if (state.SmallFileWindow) DrawCursorMark(int(pos.row) + 2);
    gDisplayMode[pane] = 1;
    gWindowMode = WM_FILE;
    state.FileWindowOpen = 1;
    StorePosition(pos);
    ShowCommandMenu(gMenuModifier, 1);
    KeyCode back = gTreeFileWindow(1);
    while (back == 1)
        back = gTreeFileWindow(0);
    FreeDisplayList();
    state.FileWindowOpen = 0;
    if (QuitKey(back)) {
        *quit = true;
        return back;
    }
    gAutoview[pane] = 0;
    RedrawDirHeadings();
    gWindowMode = WM_TREE;
    gMenuModifier = 0;
    ShowCommandMenu(0, 1);
    return TreeAltReturnKey(back);
}

// Shift+Home, Shift+Left and Shift+Right: the width of the names of the
// file rows under the tree.
void NameWidthKey(KeyCode key) {
    const WORD pane = Pane();
    if (key == KC_SH_HOME) {
        if (gDirMode[pane]) return;
        gNameFieldWidth = 3;
        gNameLengthLimit = 3;
    } else {
        if (gFileDisplayFormat == 0) return;
        gNameLengthLimit = gNameFieldWidth;
        const DWORD limit = gPanes[gCurrentPane].NameWidth;
        if (key == KC_SH_LEFT) {
            if (DWORD(gNameFieldWidth) + 9 >= limit) return;
            gNameFieldWidth++;
            gNameLengthLimit++;
        } else {
            if (gNameFieldWidth <= 3) return;
            gNameFieldWidth--;
            gNameLengthLimit--;
        }
    }
    if (psiCurrent && psiCurrent->bLogged == 1) DrawDirFiles(1);
}

bool IsMovementKey(KeyCode key) {
    switch (key) {
    case KC_BKSP: case KC_TAB: case KC_SPACE: case KC_NUM5: case KC_PGUP: case KC_PGDN:
    case KC_END: case KC_HOME: case KC_LEFT: case KC_UP: case KC_RIGHT: case KC_DOWN:
    case KC_SH_PGUP: case KC_SH_PGDN: case KC_SH_UP: case KC_SH_DOWN: case KC_CTRL_TAB:
    case kSearchStep: case kSearchNext: case kLetterJump:
        return true;
    default:
        return key >= KC_CTRL_PGUP && key <= KC_CTRL_DOWN;
    }
}

// Commands of other windows' and dialogs' making that are not here yet:
// each sounds one beep and changes nothing.
bool IsPendingCommand(KeyCode key) {
    switch (key) {
    // Plain keys.
    case '/': case '?': case ';': case '\\':
    case '=': case '[': case ']': case 'a': case 'b': case 'c': case 'd': case 'e': case 'f':
    case 'g': case 'h': case 'i': case 'l': case 'm': case 'n': case 'o': case 'p': case 'r':
    case 's': case 'v': case 'w': case 'x': case 'y': case '|': case KC_DEL:
    case 349: case KcShF(10): case KC_F1:
    case KcF(7): case KcF(9):
    case KcF(11): case KC_F12:
    // Shift keys.
    case KC_SH_NUM_MINUS: case KcShF(4):
    // Ctrl keys.
    case KC_CTRL_BKSP: case KC_CTRL_BKSL: case KC_CTRL_INS: case KcCtrl('B'): case KcCtrl('G'):
    case KcCtrl('S'): case KcCtrl('F'): case KcCtrl('I'): case KcCtrl('L'): case KcCtrl('V'):
    case KcCtrl('Z'):
    // Alt keys.
    case KC_ALT_LEFT: case KC_ALT_RIGHT: case KcAlt('A'): case KcAlt('C'): case KcAlt('E'):
    case KcAlt('F'): case KcAlt('G'): case KcAlt('H'): case KcAlt('I'): case KcAlt('K'):
    case KcAlt('M'): case KcAlt('P'): case KcAlt('R'): case KcAlt('S'): case KcAlt('T'):
    case KcAlt('U'): case KcAlt('V'): case KcAlt('W'): case KcAlt('X'): case KcAlt('Z'):
    case KcAltF(2): case KcAltF(6): case KcAltF(7): case KcAltF(8): case KcAltF(9):
    case KcAltF(10): case KC_ALT_F12:
    // The log prompt of Alt-L waits for the log dialogs.
    case KcAlt('L'):
    // Internal requests of commands not here yet.
    case KC_INTERNAL + 40: case KC_INTERNAL + 49: case KC_INTERNAL + 105:
    case KC_INTERNAL + 45: case KC_INTERNAL + 46: case KC_INTERNAL + 47:
    case KC_INTERNAL + 57: case KC_INTERNAL + 58: case KC_INTERNAL + 59: case KC_INTERNAL + 60:
    case KC_INTERNAL + 61: case KC_INTERNAL + 98: case KC_INTERNAL + 99: case KC_INTERNAL + 100:
    case KC_INTERNAL + 101: case KC_INTERNAL + 102: case KC_INTERNAL + 103:
        return true;
    default:
        return false;
    }
}

} // namespace

TreeSearchStepFn gTreeSearchStep = ListStep;
KeyCode (*gTreeFileWindow)(int first) = FileWindowLoop;

bool TreeSearchKey(KeyCode key, DWORD keyFlags, TreePosition* pos, KeyCode* next) {
    *next = 0;
    PaneState& s = Search();
    if (!gSettings.bSpellSearch) {
        if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) {
            *next = ListNavKey(kLetterJump, &pos->column, &pos->row, TreeFirstColumn(), &pos->top,
                               WCHAR(key), 0);
            return true;
        }
        return false;
    }
    if (key == ':' && (keyFlags & kFlagShift)) {
        TogglePart();
        return true;
    }
    if (IsSearchCharacter(key, keyFlags)) {
        *next = AddSearchCharacter(key, pos);
        return true;
    }
    switch (key) {
    case KC_SH_BKSP:
        *next = RemoveSearchCharacter(pos);
        return true;
    case KC_QUOTE:
        *next = ContinueSearch(pos);
        return true;
    case KC_SH_ESC:
        *next = EndSearch(pos);
        return true;
    default:
        break;
    }
    s.SearchState = 0;
    if (!KeepsSearch(key) && (s.TreeSearchMainLen || s.TreeSearchSecondLen)) {
        gTreeSearchKept[Pane()] = {s.TreeSearchMainLen, s.TreeSearchSecondLen, s.TreeSearchToSecond};
        s.TreeSearchMainLen = 0;
        s.TreeSearchSecondLen = 0;
        s.TreeSearchToSecond = 0;
        if (pdiCurrent) SpeedSearch(1, s.TreeSearchText, 0, 0);
    }
    return false;
}

ScrollDragResult ScrollTrackDrag(int r, DWORD L, int R, DWORD F, DWORD top, WORD row) {
    ScrollDragResult out = {top, row, false, false};
    if (r < 0 || r > R) return out;
    const DWORD rows = DWORD(R);
    DWORD t;
    if (r == 0) {
        t = F;
    } else {
        t = DWORD(r) * L / (rows + 1) + 1;
        if (r == R || L < rows + 1 + t) t = rows >= L ? F : F + L - rows;
    }
    if (t != top && t + rows <= L + F) {
        out.top = t;
        out.repaint = true;
    }
    out.row = WORD(r);
    if (DWORD(r) + out.top > L + F) {
        if (rows >= L) {
            out.row = WORD(L);
        } else {
            out.top = L - rows;
            out.row = WORD(R);
            out.repaint = out.top != top;
        }
    }
    if (out.row < F && out.top < F) out.row = WORD(F);
    out.moved = out.top != top || out.row != row;
    return out;
}

KeyCode TreeAltKeyTranslate(KeyCode key) {
    if (!gAltKeyMode) return key;
    switch (key) {
    case '+':
    case '=':
        return '>';
    case '-':
    case '_':
        return '<';
    case ',':
    case '.':
    case '<':
    case '>':
        return 0;
    case KC_DEL:
        return 11;
    default:
        return key;
    }
}

KeyCode TreeAltReturnKey(KeyCode key) {
    if (!gAltKeyMode) return key;
    if (key == ',') return '-';
    if (key == '.') return '+';
    return key;
}

KeyCode TreeWindowLoop(KeyCode key) {
    gWindowMode = WM_TREE;
    RedrawAll();
    DWORD flags = 0;
    for (;;) {
        gWindowMode = WM_TREE;
        if (key == 0) {
            flags = 0;
            // A command left busy gives the screen back before the next key.
            EndBusyRedraw();
            key = KbdGetKeyEx(TRUE, &flags);
            if (key == 525) key = KC_ENTER;
        }
        TreePosition pos = LoadPosition();
        KeyCode next = 0;
        if (pdiCurrent && TreeSearchKey(key, flags, &pos, &next)) {
            if (next == kRedrawWindow) StorePosition(pos);
            key = next;
            continue;
        }
        key = TreeAltKeyTranslate(key);
        if (IsMovementKey(key)) {
            const KeyCode asked = key;
            next = ListNavKey(key, &pos.column, &pos.row, TreeFirstColumn(), &pos.top, 0, 0);
            if (next == kRedrawWindow) StorePosition(pos);
            key = next == asked ? 0 : next;
            continue;
        }
        bool quit = false;
        switch (key) {
        case 0:
            break;
        case kRedrawWindow:
            RedrawAfterMove();
            break;
        case KC_RESIZED:
            RedrawAll();
            break;
        case kFrame:
        case kFrameAgain:
        case 14:
            DrawMainFrame(TRUE);
            break;
        case 'q':
        case KcCtrl('Q'):
        case KcAlt('Q'):
        case kQuitRequest:
            if (ConfirmQuit(gSettings.bQuitConfirm)) return key == kQuitRequest ? 'q' : key;
            break;
        case KC_ENTER:
        case '+':
        case KC_INS:
        case KC_CTRL_ENTER:
        case kEnterList:
        case kEnterTagged:
            next = EnterFileWindow(key, pos, &quit);
            break;
        case kParentList:
            // Backspace in the file window: the parent's list, so the cursor
            // goes up first (entering alone would open the same list again).
            if (ListNavKey(KC_BKSP, &pos.column, &pos.row, TreeFirstColumn(), &pos.top, 0, 0) ==
                kRedrawWindow) {
                StorePosition(pos);
                RedrawAfterMove();
            }
            next = EnterFileWindow(key, pos, &quit);
            break;
        case KC_F4:
            ShowCommandMenu(WORD((gMenuModifier + 1) % 3), 1);
            break;
        case KcF(8):
        case kSplitOn:
        case kSplitOff:
            StorePosition(pos);
            ToggleSplit();
            break;
        case kSwitchPane:
            StorePosition(pos);
            SwitchPanes();
            break;
        case 't':
        case 'u':
            if (psiCurrent) {
                if (key == 't')
                    TagAllInDir(psiCurrent);
                else
                    UntagAllInDir(psiCurrent);
                ShowFileWindow();
                next = KC_DOWN;
            }
            break;
        case KcCtrl('T'):
        case KcCtrl('U'):
            if (pdiCurrent) {
                TagDiskAll(key == KcCtrl('T') ? 'T' : 'U');
                RedrawAfterMove();
            }
            break;
        case KcCtrlF(7):
        case KcCtrlF(8):
        case KcCtrlF(9):
            if (psiCurrent) {
                TagBranchAll(WORD(TAG_BRANCH_TAG + (key - KcCtrlF(7))), psiCurrent);
                RedrawAfterMove();
            }
            break;
        case 11:
        case '-':
        case '_':
            ReleaseDirFiles();
            break;
        case ',':
        case '<':
        case '.':
        case '>':
            SelectDisk(key == '.' || key == '>', pos);
            break;
        case KC_SH_END:
            break;
        case KcF(5):
        case KcShF(5):
        case KcF(6):
        case KcShF(6):
            // The branch's collapsed and expanded state, walked.
            if (psiCurrent) {
                TreeExpandWalk(key == KcF(6) || key == KcShF(6));
                showtree();
                RedrawAfterMove();
            }
            break;
        case KcF(3):
        case KcShF(3):
        case KcAltF(3):
            if (pdiCurrent) {
                ReadDiskInfo(pdiCurrent);
                next = kRelogDrive;
            }
            break;
        case kRelogDrive:
            if (pdiCurrent) {
                LogDrive(pdiCurrent->cDrive, TRUE, FALSE, FALSE);
                showtree();
                RedrawAll();
            }
            break;
        case '*':
        case kRelogDir:
            if (pdiCurrent && psiCurrent) {
                ReadDiskInfo(pdiCurrent);
                RelogCurrentDir();
                showtree();
                RedrawAll();
            }
            break;
        case KC_SH_HOME:
        case KC_SH_LEFT:
        case KC_SH_RIGHT:
            NameWidthKey(key);
            break;
        case KcShF(8):
            next = SplitModeDialog();
            break;
        case KC_ALT_HOME:
        case KC_ALT_UP:
        case KC_ALT_DOWN:
            next = WindowHeightKey(key, FALSE);
            break;
        case KC_ALT_SEMI:
        case KC_ALT_BKSL:
            ShowCommandMenu(2, 1);
            next = ListNavKey(key, &pos.column, &pos.row, TreeFirstColumn(), &pos.top, 0, 0);
            if (next == kRedrawWindow) StorePosition(pos);
            if (next == key) next = 0;
            break;
        case kDrag: {
            if (flags > 0x0FFFFFFF) flags ^= 0xF0000000;
            if (pdiCurrent) {
                const ScrollDragResult drag =
                    ScrollTrackDrag(int(flags & 0xFFFF) - 2, pdiCurrent->dwTreeRows,
                                    int(gTreeLastRowIndex), gTreeFirstLine, pos.top, pos.row);
                if (drag.moved) {
                    if (drag.repaint)
                        ScrPaintTreeLines(int(drag.top));
                    else
                        DrawTreeCursorBar(int(pos.row), TreeFirstColumn() + int(pos.column),
                                          gNormalAttr, psiCurrent);
                    pos.top = drag.top;
                    pos.row = drag.row;
                    StorePosition(pos);
                    next = kRedrawWindow;
                }
            }
            flags = 0;
            break;
        }
        default:
            if (IsPendingCommand(key)) ScrBeep();
            break;
        }
        if (quit) return next;
        key = next;
    }
}
