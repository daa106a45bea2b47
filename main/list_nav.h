// Cursor movement over the tree lines of the tree window and the directory
// picker: the movement keys, the placement of a line brought into view, the
// fixed-row mode of a tree with empty rows above its root, and the stops of
// a playing keyboard macro at either end of the list.
#pragma once

#include "windows.h"
#include "platform/keyboard.h"

struct SubdirInfo;

// Rows kept between a line that a jump brings into view and the window's
// edge.
extern WORD gScrollMargin;
// The first line found in the running tree search cycle (null: none); every
// ListNavKey call with a key other than the search-again request clears it.
extern SubdirInfo* gTreeSearchHit;

// One key on the current pane's tree list. The position is the caller's:
// *top is the list index shown on window row 0, *cursorRow the cursor's
// window row, *cursorColumn the cursor directory's level times gTreeIndent
// (set here after every move), firstColumn the screen column where a level-0
// connector would stand (TreeFirstColumn: -1 on side 0 with the wide indent).
// letter is the character of the letter jump (KC_INTERNAL + 28); picker is
// 1 in the directory picker (its window, painter and no pane change on Tab).
// Returns KC_INTERNAL + 23 when the cursor or the window moved (the caller
// redraws the cursor line, the path and the panels), 0 when nothing moved,
// a key for the caller to run (the release and expand keys, Down for Right,
// the pane change for Tab in split screen), or key itself when it is none
// of the movement keys.
KeyCode ListNavKey(KeyCode key, WORD* cursorColumn, WORD* cursorRow, int firstColumn, DWORD* top,
                   WCHAR letter, int picker);
