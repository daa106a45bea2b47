// The command menus on the three command lines at the foot of the screen:
// which menu is shown (plain, Ctrl, Alt or Shift) and the colours of the
// command-line text. The menus' words are not drawn yet: only the choice of
// menu is kept, which the key reader and the click regions follow.
#pragma once

#include "windows.h"

// The colour of text on the command lines (the FRAMES colour) and of the
// highlighted key letters; the colour loader keeps them current.
extern BYTE gMessageAttr;
extern BYTE gKeyLetterAttr;

// Shows the menu of gWindowMode for modifier (0 plain, 1 Ctrl, 2 Alt,
// 3 Shift): nothing happens while busy or while the directory picker is
// open, nor for the pair last shown unless force is set; otherwise
// gMenuModifier becomes modifier.
void ShowCommandMenu(WORD modifier, int force);
