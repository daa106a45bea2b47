// The geometry of the window area that follows the screen size and the split
// screen: the columns of the two halves and the width of the tree rows. The
// screen set-up of the console session calls ComputeFileWinLayout after
// every size change.
#pragma once

#include "windows.h"

// First column of the right half in split screen, and the column before it.
extern WORD gSplitColumn;
extern WORD gLeftLastColumn;
// Width of a tree row's text, and the 16-bit units of one row of the tree
// line list (the text, then the directory pointer): always gTreeWidth + 4.
extern WORD gTreeWidth;
extern WORD gTreeLineStride;
// The user's choice of split arrangement (0 none, 1 current, 2 both), which
// gSplitLayout narrows to what the screen allows.
extern BYTE gSplitLayoutSetting;

// Recomputes the widths and halves above for the current pane from the
// screen width, the pane's autoview flag and the split screen. direction is
// accepted for the long-name width of the file list (callers pass -1).
void ComputeFileWinLayout(int direction);
