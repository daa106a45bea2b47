// The click regions of the command lines and the translation of mouse
// events into keys.
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"

#include <vector>

int gMouseRow = 0;
int gMouseColumn = 0;
int gMousePressRow = -1;
int gMousePressColumn = -1;
BOOL gMouseDragging = FALSE;
int gMouseRightRow = -1;

namespace {

// The regions of the message row, the middle row and the bottom row.
struct RegionSet {
    std::vector<HotRegion> rows[3];
};

constexpr int kPushDepth = 4;
RegionSet gRegions;
RegionSet gSaved[kPushDepth];
int gDepth = 0;
int gOverflow = 0;

// The list of a screen row: any row other than the first two command lines
// counts as the bottom row.
std::vector<HotRegion>& ListOf(int row) {
    if (row == gMessageRow) return gRegions.rows[0];
    if (row == gHintRow) return gRegions.rows[1];
    return gRegions.rows[2];
}

bool OnCommandLines(int row) {
    return row >= gMessageRow && row <= gBottomRow;
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
    for (auto& list : gRegions.rows)
        list.clear();
}

void HotClearRow(int row) {
    ListOf(row).clear();
}

void HotPush() {
    if (gDepth == kPushDepth) {
        HotClear(FALSE);
        gOverflow++;
        return;
    }
    gSaved[gDepth++] = std::move(gRegions);
    gRegions = RegionSet();
}

void HotPop() {
    HotClear(FALSE);
    if (gOverflow > 0) {
        gOverflow--;
    } else if (gDepth > 0) {
        gRegions = std::move(gSaved[--gDepth]);
        gSaved[gDepth] = RegionSet();
    }
}

int HotRegionLookup(BOOL allowLetter, int row, int col) {
    const std::vector<HotRegion>* list = nullptr;
    if (gWindowMode == WM_PICK_LIST) {
        if (row == gMessageRow - 1)
            list = &gRegions.rows[0];
        else if (row == gMessageRow)
            list = &gRegions.rows[1];
        else if (row == gHintRow)
            list = &gRegions.rows[2];
        row++;
    } else if (OnCommandLines(row) && !ListOf(row).empty()) {
        list = &ListOf(row);
    }
    if (list == nullptr) return 0;
    for (const HotRegion& r : *list)
        if (r.rowOffset == row - gMessageRow && col >= r.colFirst && col <= r.colLast)
            return int(r.key);
    if (allowLetter && (gWindowMode == WM_LOG_DIALOG || gWindowMode == 9) && row == gBottomRow) {
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
        if (mode == WM_TEXT_COMPARE && OnCommandLines(row)) {
            const int key = HotRegionLookup(FALSE, row, col);
            return key > 0 ? key : 0;
        }
    }
    if ((mode == 10 || mode == WM_QUIT_QUESTION || mode == WM_INFO_SCREEN) && !left) return 0;

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
        if (mode == WM_LOG_DIALOG || mode == 12 || mode == 14 || mode == 15 ||
            mode == WM_LINE_EDITOR || gPickerActive)
            return 0;
        if (OnCommandLines(row)) {
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
    bool commandLineHit = false;
    if (mode == WM_VIEWER) {
        if (row < 2 || row == gMessageRow - 1) return HOT_DRAG_OR_LIST_ROW;
        if (!OnCommandLines(row)) return HOT_WINDOW_CLICK;
        if (col <= 7 && row != gBottomRow) return HOT_HELP_MENU;
        key = HotRegionLookup(FALSE, row, col);
        if (key <= 0 && row == gBottomRow && col <= 1) return col == 0 ? KC_UP : KC_DOWN;
        commandLineHit = key > 0;
    } else if (mode == 10 || mode == WM_PICK_LIST) {
        key = HotRegionLookup(FALSE, row, col);
        commandLineHit = key > 0;
    } else if (mode == WM_QUIT_QUESTION) {
        if (row != gBottomRow) return 0;
        return (col >= 64 && col <= 66) ? 'Y' : KC_ESC;
    } else if (mode == WM_ERROR_DIALOG) {
        return 0;
    } else if (OnCommandLines(row)) {
        key = HotRegionLookup(TRUE, row, col);
        commandLineHit = key > 0;
        if (key <= 0) key = mode == WM_INFO_SCREEN ? KC_ENTER : !gTextCursor ? HOT_WINDOW_CLICK : 0;
    } else {
        const bool otherHalf = split && ((gCurrentSide == 0) == (col >= gSplitColumn));
        const int panelColumn = gScreenMaxCol - 21;
        if (!split && row >= 4 && col >= panelColumn) return '/';
        if (row == 2 && col >= gScreenMaxCol - 20 && mode >= WM_TREE && mode <= WM_ARCHIVE_FILE)
            return 'f';
        if (otherHalf) return KC_TAB;
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
    if (commandLineHit &&
        ((gMenuModifier == 1 && !ctrl) ||
         (gMenuModifier == 2 && !(state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)))))
        gMenuModifier = 0;
    return key < 0 ? 0 : key;
}
