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

// The heights Alt-F9 and the widths Alt-F8 step through when the command
// line gave lists (/ROWS:, /COLS:), and the index of the entry taken last;
// an index equal to the count stands past the last entry, so that the next
// step forward takes the first one and the next step back the last one.
inline constexpr size_t SIZE_ROW_LIST_MAX = 25;
inline constexpr size_t SIZE_COL_LIST_MAX = 15;
extern WORD gRowSizeList[SIZE_ROW_LIST_MAX];
extern WORD gRowSizeCount;
extern WORD gRowSizePos;
extern WORD gColSizeList[SIZE_COL_LIST_MAX];
extern WORD gColSizeCount;
extern WORD gColSizePos;

// Recomputes the widths and halves above for the current pane from the
// screen width, the pane's autoview flag and the split screen. direction is
// accepted for the long-name width of the file list (callers pass -1).
void ComputeFileWinLayout(int direction);
