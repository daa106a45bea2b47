// The tree window's screen as the tree loop draws it again: the tree lines
// with the cursor, and the whole screen around them.
#pragma once

#include "windows.h"

// The screen column where a directory of level 0 would have its branch
// connector on the current side: a directory's cursor column (its level
// times gTreeIndent) is counted from here. The root has no connector; its
// bar starts on the mark cell (DrawTreeCursorBar).
int TreeFirstColumn();

// The tree window of the current pane (the redraw request 4119): the tree
// lines from the pane's first shown line, the cursor bar and the cursor
// mark on the cursor's row, and the path line of the cursor's directory,
// which becomes psiCurrent. The lines are built first when the pane has
// none. Nothing without a current disk.
void RedrawTreeWindow();

// Everything (the redraw request 4137, also after a size change): the
// frame and the statistics panel, the lines of the layout, the TREE menu,
// the tree lines built anew, then RedrawTreeWindow.
void RedrawTreeScreen();
