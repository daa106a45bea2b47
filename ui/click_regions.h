// Click regions: every key hint written on the three command lines is also a
// mouse target standing for its key, and every console mouse event becomes
// the key code that the window loops handle like a key press. Main thread.
#pragma once

#include "windows.h"

#include <vector>

// One region of a command line: columns colFirst..colLast of the row
// gMessageRow + rowOffset, standing for key (never 0).
struct HotRegion {
    WORD colFirst;
    WORD colLast;
    WORD rowOffset;
    DWORD key;
};

// The regions of the three command lines: the message row, the middle row
// and the bottom row. One set is current; HotPush keeps up to four more.
struct HotRegionSet {
    std::vector<HotRegion> lists[3];
};

// Where the mouse was last seen, where a button was last pressed, whether a
// drag is under way and the row of the last right click; the window loops
// act on the click codes with them.
extern int gMouseRow;
extern int gMouseColumn;
extern int gMousePressRow;
extern int gMousePressColumn;
extern BOOL gMouseDragging;
extern int gMouseRightRow;

// Internal key codes of mouse actions that the window loops complete with
// the remembered positions.
inline constexpr int HOT_DRAG_OR_LIST_ROW = 4117;
inline constexpr int HOT_WINDOW_CLICK = 4118;
inline constexpr int HOT_DOUBLE_CLICK = 4140;
inline constexpr int HOT_RIGHT_DOUBLE_CLICK = 4147;
inline constexpr int HOT_HELP_MENU = 4200;
inline constexpr int HOT_RIGHT_CLICK = 14;

// Writes label at (row, col) in the command-line colour with hiLen cells
// from col + hiOffset in the key-letter colour, and registers the cells as a
// region for key on that row's list (a region for the same key on the row
// moves). A label that would pass the right edge is neither drawn nor
// registered and col is returned; otherwise the column after the label and
// two blanks.
WORD HotText(int row, int col, int hiOffset, int hiLen, DWORD key, const WCHAR* label);
// Forgets every region of the command lines; with blank, the three lines are
// first blanked in the command-line colour.
void HotClear(BOOL blank);
// Forgets the regions of one command line.
void HotClearRow(int row);
// Saves the regions (up to four levels; deeper pushes only clear) and starts
// with none; HotPop forgets the current ones and brings the saved back.
void HotPush();
void HotPop();
// The error dialog's own regions, on absolute screen rows: len 0 forgets
// them all; otherwise {col .. col + len - 1, row, key} is kept while fewer
// than twelve are held (more are dropped).
void HotRegionAdd(int row, int col, int len, DWORD key);
// The key of the region at (row, col): 0 when the row has no regions, -1
// when no region is hit. A command line without regions falls back to the
// fixed tables of the directory picker, the application menu and the print
// menus, and a row that is no command line to the list the previous lookup
// ended in. In the log dialogs (modes 8 and 9), with
// allowLetter, a click on an upper-case letter of the bottom row that no
// region covers is that letter.
int HotRegionLookup(BOOL allowLetter, int row, int col);
// The key a console mouse event stands for in the current window, 0 for
// none: the middle button is Enter; the wheel moves by lines (pages with
// Shift; Ctrl+Up and Ctrl+Down with Ctrl); a click on the command lines is
// the region's key; a right click on a list row is 14 (4147 doubled in a
// file window); a left double click in the window area 4140; a left press
// on a list row 4117 and elsewhere in the window 4118, on the statistics
// panel '/', on the other half of a split screen Tab. In the quit question
// a press on an answer is its key, and one elsewhere on the bottom row is
// Yes under "Yes" and Esc otherwise. With the status companion on, the wheel
// may be reported to it instead (0).
int HotMouseToKey(const MOUSE_EVENT_RECORD* event);
