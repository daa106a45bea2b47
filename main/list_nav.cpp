// The least of the tree list's movement: line by line, by pages, to the
// ends and to the parent, with the placement of a forward or backward jump.
#include "main/list_nav.h"

#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "tree/tree_records.h"

#include <algorithm>

WORD gScrollMargin = 3;

namespace {

SubdirInfo* LineDir(DWORD index) { return FindPathFromPos(index, 0, 4119); }

// Puts line target in the window: only the row changes while it is
// visible; otherwise a forward jump shows it gScrollMargin rows from the
// top (or the tree's last page), a backward one as far from the bottom (or
// the first page).
void Place(DWORD target, DWORD first, DWORD last, int R, DWORD* top, WORD* row) {
    const DWORD rows = DWORD(R);
    if (target >= *top && target <= *top + rows) {
        *row = WORD(target - *top);
        return;
    }
    DWORD newTop;
    if (target > *top) {
        newTop = target > gScrollMargin ? target - gScrollMargin : 0;
        if (last >= rows && newTop > last - rows) newTop = last - rows;
    } else {
        newTop = target + gScrollMargin > rows ? target + gScrollMargin - rows : 0;
        if (target <= rows) newTop = 0;
    }
    if (newTop < first && first <= target) newTop = std::min(newTop, target);
    *top = newTop;
    *row = WORD(target - newTop);
}

} // namespace

KeyCode ListNavKey(KeyCode key, WORD* cursorColumn, WORD* cursorRow, int firstColumn, DWORD* top,
                   WCHAR letter, int picker) {
    (void)letter;
    if (!pdiCurrent) return key;
    const DWORD first = gTreeFirstLine;
    const DWORD last = first + pdiCurrent->dwTreeRows;
    const int R = picker ? int(gMessageRow) - 6 : int(gTreeLastRowIndex);
    const DWORD current = *top + *cursorRow;
    DWORD target = current;
    switch (key) {
    case KC_UP:
        if (current <= first) return 0;
        target = current - 1;
        break;
    case KC_DOWN:
    case KC_SPACE:
        if (current >= last) return 0;
        target = current + 1;
        break;
    case KC_RIGHT: {
        if (current >= last) return 0;
        const SubdirInfo* here = LineDir(current);
        const SubdirInfo* next = LineDir(current + 1);
        return here && next && (here->wLevel == 0 || next->wLevel >= 2) ? KC_DOWN : 0;
    }
    case KC_HOME:
        target = first;
        break;
    case KC_END:
        target = last;
        break;
    case KC_PGUP:
        if (current <= first) return 0;
        if (*cursorRow > 0 && *top >= first)
            target = *top;
        else
            target = current > first + DWORD(R) ? current - DWORD(R) : first;
        break;
    case KC_PGDN:
        if (current >= last) return 0;
        target = *cursorRow < R ? *top + DWORD(R) : current + DWORD(R);
        if (target > last) target = last;
        break;
    case KC_LEFT:
    case KC_BKSP: {
        const SubdirInfo* here = LineDir(current);
        if (!here || here->wLevel == 0) return 0;
        if (key == KC_LEFT && here->wLevel == 1) return 0;
        target = current;
        while (target > first) {
            target--;
            const SubdirInfo* d = LineDir(target);
            if (d && d->wLevel < here->wLevel) break;
        }
        break;
    }
    case KC_TAB:
        if (gSplitScreen && !picker) return KC_INTERNAL + 27;
        return 0;
    case KC_INTERNAL + 25:
    case KC_INTERNAL + 26:
    case KC_INTERNAL + 28:
        return 0;
    default:
        return key;
    }
    if (target == current) return 0;
    DrawTreeCursorBar(int(*cursorRow), firstColumn + int(*cursorColumn), gNormalAttr, psiCurrent);
    const DWORD oldTop = *top;
    Place(target, first, last, R, top, cursorRow);
    if (*top != oldTop) {
        if (picker)
            ScrPaintTreeLine(int(*top));
        else
            ScrPaintTreeLines(int(*top));
    }
    if (const SubdirInfo* d = LineDir(target)) *cursorColumn = WORD(d->wLevel * gTreeIndent);
    return KC_INTERNAL + 23;
}
