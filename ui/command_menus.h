// The command menus on the three command lines at the foot of the screen:
// the window's name, "COMMANDS" and its command words, each word a click
// region standing for its key with its key letter highlighted, and the key
// hints of the bottom row. The menu shown follows the window that has the
// keyboard and the modifier key held down (plain, Ctrl, Alt or Shift).
// Main thread only.
#pragma once

#include "windows.h"

// The colour of text on the command lines (the FRAMES colour) and of the
// highlighted key letters; the colour loader keeps them current.
extern BYTE gMessageAttr;
extern BYTE gKeyLetterAttr;

// Shows the menu of gWindowMode for modifier (0 plain, 1 Ctrl, 2 Alt,
// 3 Shift). Nothing happens for the pair last shown unless force is set,
// nor while busy or while the directory picker is open. Otherwise the menu
// of the pair is drawn (nothing for a pair that has none), gMenuModifier
// becomes modifier and the pair is remembered as the last shown.
void ShowCommandMenu(WORD modifier, int force);
// Draws the tree window's plain menu when flag is nonzero.
void RedrawTreeCommands(int flag);
// The tree window's plain menu (TREE), whatever the last shown pair.
void ShowTreeCommands();
