// The click regions of the command lines and the translation of mouse
// events into keys.
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"

#include "menu/qaap.h"
#include "settings/settings.h"

#include <span>
#include <vector>

int gMouseRow = 0;
int gMouseColumn = 0;
int gMousePressRow = -1;
int gMousePressColumn = -1;
BOOL gMouseDragging = FALSE;
int gMouseRightRow = -1;

namespace {

constexpr int kPushDepth = 4;
constexpr int kExtraRegions = 12;
HotRegionSet gRegions;
HotRegionSet gSaved[kPushDepth];
int gDepth = 0;
int gOverflow = 0;
HotRegion gExtra[kExtraRegions];
int gExtraCount = 0;

// Fixed tables of the windows whose command lines are not written region by
// region; each ends with a key 0.
constexpr HotRegion kPickerRegions[] = {
    {0, 0, 2, 293},   {1, 1, 2, 294},   {2, 2, 2, 296},   {3, 3, 2, 295},
    {13, 13, 2, 60},  {15, 15, 2, 62},  {29, 38, 2, 92},  {39, 49, 2, 301},
    {50, 58, 2, 108}, {60, 66, 2, 13},  {68, 78, 2, 27},  {81, 90, 2, 371},
    {0, 0, 0, 0},
};
constexpr HotRegion kAppMenuRegions[] = {
    {0, 19, 2, 13},  {21, 27, 2, 369}, {30, 36, 2, 370}, {39, 56, 2, 372},
    {60, 66, 2, 368}, {69, 78, 2, 27}, {0, 0, 0, 0},
};
constexpr HotRegion kAppMenuAltRegions[] = {
    {9, 18, 0, 2113},  {19, 29, 0, 2115}, {30, 42, 0, 2116}, {43, 55, 0, 2117},
    {56, 66, 0, 2125}, {67, 78, 0, 2130}, {9, 14, 1, 2133},  {15, 20, 1, 2134},
    {21, 29, 1, 2136}, {0, 0, 0, 0},
};
constexpr HotRegion kPrintKeyRegions[] = {
    {9, 33, 0, 99}, {35, 44, 0, 112}, {46, 50, 0, 116}, {69, 77, 2, 27}, {0, 0, 0, 0},
};
constexpr HotRegion kPrintOptionRegions[] = {
    {0, 11, 1, 104},  {14, 28, 1, 108}, {30, 39, 1, 109}, {41, 50, 1, 119},
    {52, 60, 1, 112}, {69, 77, 2, 27},  {0, 0, 0, 0},
};
constexpr HotRegion kPrintOptionRegions2[] = {
    {0, 14, 1, 108}, {16, 25, 1, 109}, {27, 36, 1, 119}, {38, 46, 1, 112}, {69, 77, 2, 27},
    {0, 0, 0, 0},
};

// Where the previous lookup ended: a list of the current set (0..2) or a
// fixed table, and the entry to scan from. A list that is freed or put
// aside takes the cursor with it, so it never points at regions that are
// gone.
struct LastHit {
    int list = -1;
    const HotRegion* table = nullptr;
    size_t from = 0;
};
LastHit gLastHit;

int ListIndexOf(int row) {
    if (row == gMessageRow) return 0;
    if (row == gHintRow) return 1;
    return 2;
}

// The list of a screen row: any row other than the first two command lines
// counts as the bottom row.
std::vector<HotRegion>& ListOf(int row) {
    return gRegions.lists[ListIndexOf(row)];
}

bool OnCommandLines(int row) {
    return row >= gMessageRow && row <= gBottomRow;
}

void ForgetLastHitList(int list) {
    if (gLastHit.table == nullptr && (list < 0 || gLastHit.list == list)) gLastHit = LastHit();
}

LastHit CurrentList(int list) {
    LastHit hit;
    hit.list = list;
    return hit;
}

LastHit FixedTable(const HotRegion* table) {
    LastHit hit;
    hit.table = table;
    return hit;
}

// The regions a cursor stands for, from its entry on, end marker excluded.
std::span<const HotRegion> RegionsOf(const LastHit& at) {
    std::span<const HotRegion> all;
    if (at.table != nullptr) {
        size_t n = 0;
        while (at.table[n].key != 0) n++;
        all = std::span<const HotRegion>(at.table, n);
    } else if (at.list >= 0) {
        all = gRegions.lists[at.list];
    }
    return at.from < all.size() ? all.subspan(at.from) : std::span<const HotRegion>();
}

bool HasLastHit() {
    return gLastHit.table != nullptr || gLastHit.list >= 0;
}

} // namespace

WORD HotText(int row, int col, int hiOffset, int hiLen, DWORD key, const WCHAR* label) {
    const int length = int(wcslen(label));
    if (col + length > gScreenCols) return WORD(col);
    ScrPutWStr(row, col, label, gMessageAttr);
    if (hiLen > 0) ScrFillAttr(row, col + hiOffset, gKeyLetterAttr, hiLen);
    int listRow = row;
    int offset = row - gMessageRow;
    if (gWindowMode == WM_PICK_LIST) {
        listRow = row + 1;
        offset = row + 1 - gMessageRow;
    }
    const HotRegion region = {WORD(col), WORD(col + length - 1), WORD(offset), key};
    std::vector<HotRegion>& list = ListOf(listRow);
    bool replaced = false;
    for (HotRegion& r : list)
        if (r.key == key) {
            r = region;
            replaced = true;
            break;
        }
    if (!replaced) list.push_back(region);
    return WORD(col + length + 2);
}

void HotClear(BOOL blank) {
    if (blank) ScrClearArea(gMessageRow, 0, gBottomRow, gScreenMaxCol, gMessageAttr);
    for (auto& list : gRegions.lists)
        list.clear();
    ForgetLastHitList(-1);
}

void HotClearRow(int row) {
    ListOf(row).clear();
    ForgetLastHitList(ListIndexOf(row));
}

void HotPush() {
    if (gDepth == kPushDepth) {
        HotClear(FALSE);
        gOverflow++;
        return;
    }
    gSaved[gDepth++] = std::move(gRegions);
    gRegions = HotRegionSet();
    ForgetLastHitList(-1);
}

void HotPop() {
    HotClear(FALSE);
    if (gOverflow > 0) {
        gOverflow--;
    } else if (gDepth > 0) {
        gRegions = std::move(gSaved[--gDepth]);
        gSaved[gDepth] = HotRegionSet();
    }
}

void HotRegionAdd(int row, int col, int len, DWORD key) {
    if (len == 0) {
        gExtraCount = 0;
        return;
    }
    if (gExtraCount == kExtraRegions) return;
    gExtra[gExtraCount++] = {WORD(col), WORD(col + len - 1), WORD(row), key};
}

int HotRegionLookup(BOOL allowLetter, int row, int col) {
    const int mode = gWindowMode;
    LastHit chosen;
    if (mode == WM_PICK_LIST) {
        if (row == gMessageRow - 1)
            chosen = CurrentList(0);
        else if (row == gMessageRow)
            chosen = CurrentList(1);
        else if (row == gHintRow)
            chosen = CurrentList(2);
        else
            chosen = gLastHit;
        row++;
    } else if (mode == WM_LOG_DIALOG) {
        if (row == gHintRow) {
            chosen = CurrentList(1);
        } else if (row == gBottomRow) {
            chosen = CurrentList(2);
        } else {
            gLastHit = LastHit();
            return -1;
        }
    } else if (gPickerActive) {
        chosen = FixedTable(kPickerRegions);
    } else if (OnCommandLines(row) && !ListOf(row).empty()) {
        chosen = CurrentList(ListIndexOf(row));
    } else if (mode == WM_APP_MENU) {
        chosen = FixedTable(gMenuModifier == 2 ? kAppMenuAltRegions : kAppMenuRegions);
    } else if (mode == WM_PRINT_KEYS) {
        chosen = FixedTable(kPrintKeyRegions);
    } else if (mode == WM_PRINT_OPTIONS) {
        chosen = FixedTable(kPrintOptionRegions);
    } else if (mode == WM_PRINT_OPTIONS_2) {
        chosen = FixedTable(kPrintOptionRegions2);
    } else if (mode == WM_LINE_EDITOR && OnCommandLines(row)) {
        return 0;
    } else {
        if (!HasLastHit()) return 0;
        chosen = gLastHit;
    }
    gLastHit = chosen;

    const std::span<const HotRegion> regions = RegionsOf(chosen);
    if (regions.empty()) return -1;
    for (size_t i = 0; i < regions.size(); i++) {
        const HotRegion& r = regions[i];
        if (r.rowOffset == row - gMessageRow && col >= r.colFirst && col <= r.colLast) {
            gLastHit.from = chosen.from + i;
            return int(r.key);
        }
    }
    if (allowLetter && (mode == WM_LOG_DIALOG || mode == WM_SPACE_WINDOW) && row == gBottomRow) {
        char c = 0;
        ScrReadText(row, col, &c, 1);
        if (c >= 'A' && c <= 'Z') return c;
    }
    return -1;
}

int HotMouseToKey(const MOUSE_EVENT_RECORD* event) {
    const int mode = gWindowMode;
    const int row = event->dwMousePosition.Y;
    const int col = event->dwMousePosition.X;
    const DWORD buttons = event->dwButtonState;
    const DWORD flags = event->dwEventFlags;
    const DWORD state = event->dwControlKeyState;
    const bool left = buttons & FROM_LEFT_1ST_BUTTON_PRESSED;
    const bool right = buttons & RIGHTMOST_BUTTON_PRESSED;
    const bool middle = buttons & FROM_LEFT_2ND_BUTTON_PRESSED;
    const bool moved = flags & MOUSE_MOVED;
    const bool wheel = flags & MOUSE_WHEELED;
    const bool twice = flags & DOUBLE_CLICK;
    const bool shift = state & SHIFT_PRESSED;
    const bool ctrl = state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED);
    const bool alt = state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED);
    const bool split = gSplitScreen != 0;
    // The columns of list rows: left of the statistics panel, or of the last
    // column in split screen.
    const int listLimit = split ? gScreenMaxCol : gScreenMaxCol - 21;

    if (middle && !moved && !wheel) return KC_ENTER;
    if (moved && !left && !right) {
        gMouseRow = row;
        gMouseColumn = col;
        return 0;
    }
    if (wheel) {
        const bool forward = SHORT(buttons >> 16) > 0;
        if (gQaapOn) {
            const bool asked = ReadQbrFlag();
            if (asked || (shift && ctrl)) {
                const bool plain = asked ? !shift : !alt;
                QaapStatus(1, '-', plain ? '^' : '~', forward ? 216 : 217,
                           int(gPanes[gCurrentPane].CurrentIndex));
                return 0;
            }
        }
        const KeyCode line = forward ? KC_UP : KC_DOWN;
        const KeyCode page = forward ? KC_PGUP : KC_PGDN;
        const KeyCode ctrlLine = forward ? KC_CTRL_UP : KC_CTRL_DOWN;
        if (mode == WM_TREE || mode == WM_ARCHIVE_DIR) return shift ? page : ctrl ? ctrlLine : line;
        if (mode == WM_VIEWER || mode == WM_TEXT_COMPARE) {
            if (shift) return page;
            KbdStackKey(line);
            KbdStackKey(line);
            return line;
        }
        return ctrl ? ctrlLine : shift ? page : line;
    }

    gMouseRow = row;
    gMouseColumn = col;
    if (mode > WM_INFO_SCREEN) {
        if (!left) return 0;
        if (gAutoRefresh) return KC_ESC;
        if (mode == WM_TEXT_COMPARE && OnCommandLines(row) && !moved && !twice) {
            const int key = HotRegionLookup(FALSE, row, col);
            return key > 0 ? key : 0;
        }
    }
    if (mode == WM_EXECUTE_PROMPT || mode == WM_QUIT_QUESTION || mode == WM_INFO_SCREEN) {
        if (!left) return 0;
        if (gAutoRefresh) return KC_ESC;
    }

    const bool listWindow =
        mode == WM_TREE || mode == WM_FILE || mode == WM_ARCHIVE_FILE || mode == WM_AUTOVIEW;
    if (right && !left) {
        if (!listWindow) return 0;
        const bool listRow = row >= 2 && row < gFrameLastRow && col >= 1 && col < listLimit;
        if (!listRow) return 0;
        if (twice && mode != WM_TREE && !gDirMode[gCurrentPane]) return HOT_RIGHT_DOUBLE_CLICK;
        if (!moved || row != gMouseRightRow) {
            gMouseRightRow = row;
            return HOT_RIGHT_CLICK;
        }
        return 0;
    }
    if (!left) return 0;

    if (twice) {
        if (gTextCursor) return row == gCursorRow ? KC_ENTER : 0;
        if (row < 2) return 0;
        if (mode == WM_LOG_DIALOG || mode == WM_APP_MENU_EDITOR || mode == WM_PRINT_OPTIONS ||
            mode == WM_PRINT_OPTIONS_2 || mode == WM_LINE_EDITOR || gPickerActive)
            return 0;
        if (OnCommandLines(row)) {
            // The autoview Shift menu's arrows take the first two cells.
            if (mode == WM_AUTOVIEW && gMenuModifier == 3 && row == gBottomRow && col <= 1)
                return col == 0 ? KC_SH_UP : KC_SH_DOWN;
            if (col > 7) return 0;
            if (row != gBottomRow) return KC_F4;
            return (gMenuModifier == 0 && mode != WM_APP_MENU) ? KC_ENTER : KC_F4;
        }
        if (col == 0 || (split && (col == gSplitColumn || col == gSplitColumn - 1))) return 0;
        return HOT_DOUBLE_CLICK;
    }

    if (moved) {
        if (row == gMousePressRow && col == gMousePressColumn) return 0;
        const int border = (mode == WM_APP_MENU || gPickerActive) ? 1 : 0;
        const int top = (mode == WM_APP_MENU || gPickerActive) ? 3 : 2;
        if (col == border || (split && col == gSplitColumn) || gMouseDragging) {
            gMouseDragging = TRUE;
            return row <= top ? KC_HOME : HOT_DRAG_OR_LIST_ROW;
        }
        if (row < gScreenMaxRow && col >= 1 && col < listLimit) return HOT_WINDOW_CLICK;
        return 0;
    }

    gMousePressRow = row;
    gMousePressColumn = col;
    gMouseDragging = FALSE;
    int key = 0;
    if (mode == WM_VIEWER) {
        if (row < 2 || row == gMessageRow - 1) return HOT_DRAG_OR_LIST_ROW;
        if (!OnCommandLines(row)) return HOT_WINDOW_CLICK;
        if (col <= 7 && row != gBottomRow) return HOT_HELP_MENU;
        key = HotRegionLookup(FALSE, row, col);
        if (key <= 0 && row == gBottomRow && col <= 1) return col == 0 ? KC_UP : KC_DOWN;
    } else if (mode == WM_EXECUTE_PROMPT) {
        if (!OnCommandLines(row)) return 0;
        key = HotRegionLookup(FALSE, row, col);
    } else if (mode == WM_PICK_LIST) {
        key = HotRegionLookup(FALSE, row, col);
    } else if (mode == WM_QUIT_QUESTION) {
        // The answers stand on the middle row as regions; a press on the
        // bottom row that hits none is Yes on its "Yes" cells, else Esc.
        if (!OnCommandLines(row)) return 0;
        key = HotRegionLookup(FALSE, row, col);
        if (key <= 0 && row == gBottomRow) return (col >= 64 && col <= 66) ? 'Y' : KC_ESC;
    } else if (mode == WM_ERROR_DIALOG) {
        for (int i = 0; i < gExtraCount; i++) {
            const HotRegion& r = gExtra[i];
            if (r.rowOffset == row && col >= r.colFirst && col <= r.colLast) return int(r.key);
        }
        return 0;
    } else if (OnCommandLines(row)) {
        key = HotRegionLookup(TRUE, row, col);
        if (key <= 0) return mode == WM_INFO_SCREEN ? KC_ENTER : !gTextCursor ? HOT_WINDOW_CLICK : 0;
    } else {
        const bool otherHalf = split && ((gCurrentSide == 0) == (col >= gSplitColumn));
        const int panelColumn = gScreenMaxCol - 21;
        if (!split && row >= 4 && col >= panelColumn) return '/';
        if (row == 2 && col >= gScreenMaxCol - 20 && mode >= WM_TREE && mode <= WM_ARCHIVE_FILE)
            return 'f';
        if (otherHalf) return gSettings.bSwapTabCtrlTab ? KC_CTRL_TAB : KC_TAB;
        if (mode == WM_TREE || mode == WM_ARCHIVE_DIR) {
            if (row >= 2 && row <= gSmallWindowRow - 2) return HOT_DRAG_OR_LIST_ROW;
            if (row >= gSmallWindowRow && row <= gSmallWindowLastRow) return KC_ENTER;
            return HOT_WINDOW_CLICK;
        }
        if (mode == WM_FILE && gPanes[gCurrentPane].SmallFileWindow && row < gSmallWindowRow)
            return KC_ESC;
        if ((mode == WM_FILE || mode == WM_ARCHIVE_FILE || mode == WM_AUTOVIEW) && row >= 2 &&
            row < gFrameLastRow)
            return HOT_DRAG_OR_LIST_ROW;
        return HOT_WINDOW_CLICK;
    }
    if (key > 0 && ((gMenuModifier == 1 && !ctrl) || (gMenuModifier == 2 && !alt)))
        gMenuModifier = 0;
    return key < 0 ? 0 : key;
}
