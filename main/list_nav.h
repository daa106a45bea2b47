// Cursor movement over the tree lines of the current disk.
#pragma once

#include "platform/keyboard.h"
#include "windows.h"

// Rows kept between a line a jump brings into view and the window's edge.
extern WORD gScrollMargin;

// Handles one key on the tree list: 4119 when the cursor or the window
// moved, 0 when nothing moved, another key for the caller to run, or the
// key itself when it is not a movement key. letter is the character of
// code 4124; picker is 1 in the directory picker.
KeyCode ListNavKey(KeyCode key, WORD* cursorColumn, WORD* cursorRow, int firstColumn, DWORD* top,
                   WCHAR letter, int picker);
