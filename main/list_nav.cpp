// The tree list's movement keys. A move computes the new top and cursor row
// from the target line, takes the cursor bar away, and repaints the lines
// when the top changed; the caller draws the bar again at the new place.
#include "main/list_nav.h"

#include "main/file_position.h"
#include "main/startup_options.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "settings/settings.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/tree_records.h"

#include <algorithm>

WORD gScrollMargin = 3;
SubdirInfo* gTreeSearchHit = nullptr;

namespace {

constexpr KeyCode kMoved = KC_INTERNAL + 23;       // 4119
constexpr KeyCode kSearchStep = KC_INTERNAL + 25;  // 4121: after a typed character
constexpr KeyCode kSearchAgain = KC_INTERNAL + 26; // 4122
constexpr KeyCode kPaneChange = KC_INTERNAL + 27;  // 4123
constexpr KeyCode kLetterJump = KC_INTERNAL + 28;  // 4124
constexpr KeyCode kReleaseKey = '-';
constexpr KeyCode kExpandWalk = KcF(6);

constexpr KeyCode kShiftTab = KC_SHIFT + KC_TAB;
constexpr KeyCode kCtrlShiftTab = KC_CTRL_SHIFT + KC_TAB;
constexpr KeyCode kShiftGreyPgUp = KC_SHIFT + KC_PGUP;
constexpr KeyCode kShiftGreyPgDn = KC_SHIFT + KC_PGDN;
constexpr KeyCode kShiftGreyUp = KC_SHIFT + KC_UP;
constexpr KeyCode kShiftGreyDown = KC_SHIFT + KC_DOWN;
// Control keys of the cursor block lose the special-key bit.
constexpr KeyCode kCtrlPgUp = KC_CTRL + (KC_PGUP & 0xFF);
constexpr KeyCode kCtrlPgDn = KC_CTRL + (KC_PGDN & 0xFF);
constexpr KeyCode kCtrlEnd = KC_CTRL + (KC_END & 0xFF);
constexpr KeyCode kCtrlHome = KC_CTRL + (KC_HOME & 0xFF);
constexpr KeyCode kCtrlLeft = KC_CTRL + (KC_LEFT & 0xFF);
constexpr KeyCode kCtrlUp = KC_CTRL + (KC_UP & 0xFF);
constexpr KeyCode kCtrlRight = KC_CTRL + (KC_RIGHT & 0xFF);
constexpr KeyCode kCtrlDown = KC_CTRL + (KC_DOWN & 0xFF);
constexpr KeyCode kAltSemicolon = KC_ALT + 0xBA;
constexpr KeyCode kAltBackslash = KC_ALT + 0xDC;

// The Shift+keypad keys (the keypad without its grey bit) and the share of
// the tree each one goes to.
struct KeypadShare {
    KeyCode key;
    DWORD percent;
};
constexpr KeypadShare kKeypadShares[] = {
    {KC_SHIFT + (KC_NUM5 & 0xFF), 50}, {KC_SHIFT + (KC_PGUP & 0xFF), 90}, {KC_SHIFT + (KC_PGDN & 0xFF), 30},
    {KC_SHIFT + (KC_END & 0xFF), 10},  {KC_SHIFT + (KC_HOME & 0xFF), 70}, {KC_SHIFT + (KC_LEFT & 0xFF), 40},
    {KC_SHIFT + (KC_UP & 0xFF), 80},   {KC_SHIFT + (KC_RIGHT & 0xFF), 60}, {KC_SHIFT + (KC_DOWN & 0xFF), 20},
};

constexpr DWORD kNone = 0xFFFFFFFF;
// The call site this file names to the tree-line lookup (shown in its dump).
constexpr int kCaller = 4460;

// The list and the window as one key sees them.
struct TreeList {
    DWORD first;  // the root's list index
    DWORD last;   // the last line's list index
    DWORD bottom; // the window's last row
    bool fixedRow;
    DWORD top;
    DWORD row;
    DWORD Cursor() const { return top + row; }
    bool Visible(DWORD line) const { return line >= top && line <= top + bottom; }
};

const SubdirInfo* LineDir(DWORD line) { return FindPathFromPos(line, 0, kCaller); }

DWORD LineLevel(DWORD line) {
    const SubdirInfo* dir = LineDir(line);
    return dir ? dir->wLevel : 0;
}

// A key that cannot move: a playing macro ends when the list's end it ran
// into is one its stop words name. Returns 0 (nothing moved).
KeyCode StopMacroAtEnd(bool upward) {
    const BOOL flag = upward ? MacroStopFlags.onHome : MacroStopFlags.onEnd;
    if (flag && MacroKeysLeft() > 0) MacroStop();
    return 0;
}

// Where a target line stands after a jump: a visible line keeps the top;
// otherwise a forward jump brings it to the margin row from the top (or
// shows the list's last lines), a backward one to the margin row from the
// bottom (or shows the list from its start).
void Place(TreeList& list, DWORD target) {
    if (list.fixedRow) {
        list.top = target - list.first;
        list.row = list.first;
        return;
    }
    if (list.Visible(target)) {
        list.row = target - list.top;
        return;
    }
    const DWORD margin = gScrollMargin;
    if (target > list.Cursor()) {
        if (target + list.bottom > list.last) list.top = list.last > list.bottom ? list.last - list.bottom : 0;
        else list.top = target > margin ? target - margin : 0;
    } else {
        const DWORD fromBottom = list.bottom > margin ? list.bottom - margin : 0;
        list.top = target < list.bottom ? 0 : target - fromBottom;
    }
    list.row = target - list.top;
}

// Scans for a line from start (inclusive) in steps of step over the list
// while keep allows, returning the first that wanted accepts, or kNone.
template <typename Keep, typename Wanted>
DWORD Scan(const TreeList& list, DWORD start, int step, Keep keep, Wanted wanted) {
    for (DWORD line = start; line >= list.first && line <= list.last; line += DWORD(step)) {
        const SubdirInfo* dir = LineDir(line);
        if (!dir) continue;
        if (!keep(dir)) return kNone;
        if (wanted(dir)) return line;
        if (step < 0 && line == 0) break;
    }
    return kNone;
}

// The nearest line above the cursor's of a lower level: its parent.
DWORD ParentLine(const TreeList& list) {
    const DWORD cursor = list.Cursor();
    if (cursor <= list.first) return kNone;
    const DWORD level = LineLevel(cursor);
    return Scan(list, cursor - 1, -1, [](const SubdirInfo*) { return true; },
                [level](const SubdirInfo* d) { return d->wLevel < level; });
}

// The next (step 1) or previous (step -1) line at level before a line of a
// lower level.
DWORD SiblingLine(const TreeList& list, DWORD level, int step) {
    const DWORD cursor = list.Cursor();
    if (step < 0 && cursor <= list.first) return kNone;
    return Scan(list, step > 0 ? cursor + 1 : cursor - 1, step,
                [level](const SubdirInfo* d) { return d->wLevel >= level; },
                [level](const SubdirInfo* d) { return d->wLevel == level; });
}

WCHAR UpperUnit(WCHAR c) { return c < 256 && c >= u'a' && c <= u'z' ? WCHAR(c - 32) : c; }

} // namespace

KeyCode ListNavKey(KeyCode key, WORD* cursorColumn, WORD* cursorRow, int firstColumn, DWORD* top,
                   WCHAR letter, int picker) {
    if (key != kSearchAgain) gTreeSearchHit = nullptr;
    if (gSettings.bSwapTabCtrlTab && (key == KC_TAB || key == KC_CTRL_TAB))
        key = key == KC_TAB ? KC_CTRL_TAB : KC_TAB;

    const DiskInfo* disk = pdiCurrent;
    TreeList list{};
    list.first = gTreeFirstLine;
    list.last = list.first + (disk ? disk->dwTreeRows : 0);
    list.bottom = picker ? (gMessageRow > 6 ? DWORD(gMessageRow) - 6 : 0) : gTreeLastRowIndex;
    list.fixedRow = gTreeFirstLine != 0;
    list.top = *top;
    list.row = *cursorRow;
    const DWORD cursor = list.Cursor();
    const SubdirInfo* cursorDir = LineDir(cursor);
    const DWORD cursorLevel = cursorDir ? cursorDir->wLevel : 0;

    // The cursor goes to line target; everything the caller does not redraw
    // is done here.
    auto moveTo = [&](const TreeList& to) -> KeyCode {
        // Without a tree line under the cursor nothing can move.
        if (!disk || !cursorDir) return 0;
        DrawTreeCursorBar(int(*cursorRow), firstColumn + int(*cursorColumn), gNormalAttr, psiCurrent);
        const bool scrolled = to.top != *top;
        *top = to.top;
        *cursorRow = WORD(to.row);
        *cursorColumn = WORD(LineLevel(to.Cursor()) * gTreeIndent);
        if (scrolled) {
            if (picker) ScrPaintTreeLine(int(to.top));
            else ScrPaintTreeLines(int(to.top));
        }
        return kMoved;
    };
    auto jumpTo = [&](DWORD target) -> KeyCode {
        if (target == kNone || target == cursor) return 0;
        TreeList to = list;
        Place(to, target);
        return moveTo(to);
    };

    for (const KeypadShare& share : kKeypadShares) {
        if (key != share.key) continue;
        const DWORD target = list.first + DWORD(ULONGLONG(share.percent) * (list.last - list.first) / 100);
        TreeList to = list;
        if (list.fixedRow) {
            to.top = target - list.first;
            to.row = list.first;
        } else if (target <= list.bottom / 2) {
            to.top = 0;
            to.row = target;
        } else {
            to.top = target - list.bottom / 2;
            to.row = list.bottom / 2;
        }
        if (to.top == list.top && to.row == list.row) return 0;
        return moveTo(to);
    }

    switch (key) {
    case KC_UP: {
        if (cursor <= list.first) return StopMacroAtEnd(true);
        TreeList to = list;
        if (!list.fixedRow && list.row > 0) to.row--;
        else to.top--;
        return moveTo(to);
    }
    case KC_DOWN:
    case KC_SPACE: {
        if (cursor >= list.last) return StopMacroAtEnd(false);
        TreeList to = list;
        if (!list.fixedRow && list.row < list.bottom) to.row++;
        else to.top++;
        return moveTo(to);
    }
    case KC_RIGHT:
        if (cursor < list.last && (cursorLevel == 0 || LineLevel(cursor + 1) >= 2)) return KC_DOWN;
        return 0;
    case KC_PGUP: {
        if (cursor <= list.first) return StopMacroAtEnd(true);
        TreeList to = list;
        if (list.fixedRow) {
            const DWORD page = list.bottom > list.first ? list.bottom - list.first : 1;
            to.top = list.top > page ? list.top - page : 0;
        } else if (list.row > 0) {
            to.row = 0;
        } else {
            to.top = list.top > list.bottom ? list.top - list.bottom : 0;
        }
        return moveTo(to);
    }
    case KC_PGDN: {
        if (cursor >= list.last) return StopMacroAtEnd(false);
        TreeList to = list;
        if (list.fixedRow) {
            const DWORD page = list.bottom > list.first ? list.bottom - list.first : 1;
            to.top = std::min(list.top + page, list.last - list.first);
        } else {
            const DWORD windowEnd = std::min(list.top + list.bottom, list.last);
            if (cursor < windowEnd) {
                to.row = windowEnd - list.top;
            } else {
                const DWORD target = std::min(cursor + list.bottom, list.last);
                to.top = target > list.bottom ? target - list.bottom : 0;
                to.row = target - to.top;
            }
        }
        return moveTo(to);
    }
    case KC_HOME: {
        if (cursor <= list.first) return StopMacroAtEnd(true);
        TreeList to = list;
        to.top = 0;
        to.row = list.first;
        return moveTo(to);
    }
    case KC_END: {
        if (cursor >= list.last) return StopMacroAtEnd(false);
        TreeList to = list;
        if (list.fixedRow) {
            to.top = list.last - list.first;
            to.row = list.first;
        } else if (list.last > list.bottom) {
            to.top = list.last - list.bottom;
            to.row = list.bottom;
        } else {
            to.top = 0;
            to.row = list.last;
        }
        return moveTo(to);
    }
    case KC_LEFT: {
        // A level-1 directory stays: Left never goes up to the root.
        const DWORD parent = ParentLine(list);
        if (parent == kNone || LineLevel(parent) == 0) return 0;
        return jumpTo(parent);
    }
    case KC_BKSP:
    case kCtrlHome:
        return jumpTo(ParentLine(list));
    case KC_NUM5: {
        TreeList to = list;
        if (list.fixedRow) {
            const DWORD half = (list.last - list.first) / 2;
            to.top = half >= list.first ? half - list.first : half;
        } else {
            to.top = cursor > list.bottom / 2 ? cursor - list.bottom / 2 : 0;
            to.row = cursor - to.top;
        }
        if (to.top == list.top && to.row == list.row) return 0;
        return moveTo(to);
    }
    case kShiftGreyUp:
    case kShiftGreyDown:
    case kShiftGreyPgUp:
    case kShiftGreyPgDn: {
        const bool forward = key == kShiftGreyDown || key == kShiftGreyPgDn;
        const bool read = key == kShiftGreyUp || key == kShiftGreyDown;
        DWORD target = kNone;
        if (forward ? cursor < list.last : cursor > list.first)
            target = Scan(list, forward ? cursor + 1 : cursor - 1, forward ? 1 : -1,
                          [](const SubdirInfo*) { return true; },
                          [read](const SubdirInfo* d) { return (d->bLogged == 1) == read; });
        if (target == kNone) return StopMacroAtEnd(false);
        return jumpTo(target);
    }
    case kCtrlUp:
    case kCtrlDown: {
        if (list.fixedRow) return ListNavKey(key == kCtrlUp ? KC_UP : KC_DOWN, cursorColumn, cursorRow,
                                             firstColumn, top, letter, picker);
        TreeList to = list;
        if (key == kCtrlUp) {
            if (list.top == 0) return disk && cursorDir ? kMoved : 0;
            to.top--;
            if (list.row < list.bottom) to.row++;
        } else {
            if (list.top + list.bottom >= list.last) return 0;
            to.top++;
            if (list.row > 0) to.row--;
        }
        return moveTo(to);
    }
    case kCtrlPgUp: {
        if (list.fixedRow || list.top == 0) return 0;
        TreeList to = list;
        if (list.row != list.bottom) {
            to.top = cursor > list.bottom ? cursor - list.bottom : 0;
            to.row = cursor - to.top;
        } else {
            to.top = list.top > list.bottom ? list.top - list.bottom : 0;
            to.row = list.bottom;
        }
        return moveTo(to);
    }
    case kCtrlPgDn: {
        if (list.fixedRow || list.top + list.bottom >= list.last) return 0;
        const DWORD lastTop = list.last - list.bottom;
        TreeList to = list;
        if (list.row != 0) {
            to.top = std::min(cursor, lastTop);
            to.row = cursor - to.top;
        } else {
            to.top = std::min(list.top + list.bottom, lastTop);
            to.row = 0;
        }
        return moveTo(to);
    }
    case kCtrlEnd: {
        if (cursorLevel == 0) return 0;
        DWORD target = kNone;
        for (DWORD line = cursor + 1; line <= list.last; line++) {
            const DWORD level = LineLevel(line);
            if (level < cursorLevel) break;
            if (level == cursorLevel) target = line;
        }
        return jumpTo(target);
    }
    case kCtrlLeft:
        if (cursorDir && cursorDir->bExpanded) return gAltKeyMode ? KC_DEL : kReleaseKey;
        return cursorLevel == 1 ? KC_HOME : KC_LEFT;
    case kCtrlRight: {
        if (!cursorDir) return 0;
        if (cursorDir->bExpanded) return cursorDir->psiChild ? KC_DOWN : 0;
        if (cursorDir->psiChild) return kExpandWalk;
        // Nothing of the branch is read yet: it is read now, one level at a
        // time as a refresh walk reads.
        const WORD mode = gLogMode;
        gLogMode = LOG_REFRESH_WALK;
        LogBranch(LOG_REFRESH_WALK, const_cast<SubdirInfo*>(cursorDir), TRUE);
        gLogMode = mode;
        showtree();
        if (picker) ScrPaintTreeLine(int(*top));
        else ScrPaintTreeLines(int(*top));
        return kMoved;
    }
    case KC_TAB:
        if (gSplitScreen && !picker) return kPaneChange;
        [[fallthrough]];
    case KC_CTRL_TAB: {
        const DWORD target = SiblingLine(list, cursorLevel == 0 ? 1 : cursorLevel, 1);
        if (target == kNone) return StopMacroAtEnd(false);
        return jumpTo(target);
    }
    case kShiftTab:
    case kCtrlShiftTab: {
        if (cursor <= list.first) return StopMacroAtEnd(true);
        if (cursorLevel == 0) return 0;
        return jumpTo(SiblingLine(list, cursorLevel, -1));
    }
    case kLetterJump: {
        const WCHAR wanted = UpperUnit(letter);
        auto starts = [wanted](const SubdirInfo* d) { return d->pszName && UpperUnit(d->pszName[0]) == wanted; };
        auto any = [](const SubdirInfo*) { return true; };
        DWORD target = cursor < list.last ? Scan(list, cursor + 1, 1, any, starts) : kNone;
        if (target == kNone) target = Scan(list, list.first, 1, any, starts);
        return jumpTo(target);
    }
    case kAltSemicolon:
    case kAltBackslash: {
        const DWORD count = list.last - list.first + 1;
        const DWORD n = ShowFilePositionEx(1, 0, cursor - list.first, count);
        if (n == 0 || n > count) return 0;
        return jumpTo(n - 1 + list.first);
    }
    case kSearchStep:
    case kSearchAgain:
        // The search over the tree's names finds nothing yet.
        ScrBeep();
        return 0;
    default:
        return key;
    }
}
