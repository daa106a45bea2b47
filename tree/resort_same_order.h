// Bringing the directories' file arrays back into order when a file window
// is left: only for a pane that works in the order the arrays are kept in.
#pragma once

#include "windows.h"

// The directories marked for re-sorting while a display list was open are
// sorted again (ResortLoggedDirs with all 0) when the pane concerned sorts
// its files in the array order (gArrayOrder, first four bytes, as the
// display-list builders compare it); a pane with an order of its own leaves
// the arrays and their marks alone, its lists being sorted as they are
// built. The pane concerned is the current one, or with switchingPanes
// (the file window was left to change panes) the other one, which is made
// current for the sort and the current pane put back afterwards. Nothing
// happens while no disk is logged.
void ResortIfSameOrder(BOOL switchingPanes);
