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
// The file display format the settings start with (0..3); a value outside
// gives the settings' default, 2.
WORD FileDisplayFormatFromSetting(unsigned value);
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

// What one file entry shows: 0 long name, 1 name, size, attributes and
// date, 2 name, size and attributes (several columns), 3 name only (many
// columns), 4 autoview's narrow column, 5 name and one-line description.
extern WORD gFileDisplayFormat;
// The name width of format 5 and the base of the autoview column.
extern WORD gLongNameWidth;
// Rows of one file column.
extern WORD gFileRows;
// Width of the name part of a file row, and the user's limit for it (255
// none).
extern BYTE gNameFieldWidth;
extern BYTE gNameLengthLimit;
// A statistics panel stands beside each half while split screen is on.
extern DWORD gSplitPanels;
// The small file window's first row as the user chose it (0 none) and the
// form it is kept in, which follows the settings' window-sizing switch.
extern BYTE gSmallWindowUserRow;
extern BYTE gSmallWindowStored;
// Raised when every part of the screen must be drawn again (the halves
// were exchanged).
extern DWORD gScreenRepaintAll;
// The last row index of the tree window's lines.
extern WORD gTreeLastRowIndex;

// The size the size keys ask for; the caller applies it. 65535 rows stands
// for the largest size. The flags say which of the two changed.
extern WORD gSizeRequestRows;
extern WORD gSizeRequestCols;
extern BOOL gSizeWidthChanged;
extern BOOL gSizeHeightChanged;
// The size Alt-F7 keeps while the screen is maximised (0 none).
extern WORD gSavedSizeRows;
extern WORD gSavedSizeCols;

// Recomputes the tree width, the halves, the file columns, the name field
// width and the rows for the current pane (and in split screen the other
// pane) from the screen width, autoview, split screen and display format.
// direction 1 halves gLongNameWidth, 0 doubles it, anything else keeps it.
void ComputeFileWinLayout(int direction);

// The split arrangement the settings ask for: a value outside 0..2 (65535
// where it was never set) counts as 0, none.
BYTE SplitLayoutFromSetting(unsigned value);

// Where pane's sort indicator stands: on the line above the small file
// window (row 1 while the pane's full-height file window is open), ending
// ten columns left of the half's reference column.
void SortIndicatorPosition(WORD pane, int* row, int* column);

// Draws (on) or erases the frame pieces that move with the layout: the left
// frame column, the split column and the line above the small file window.
void DrawMainFrame(BOOL on);

// The frame of autoview: the narrow file column's box with its separator
// and, with full, the right frame column on every row (else only on the
// statistics panel's lines); the autoview column's text width is stored in
// the current pane.
void DrawFileWindowFrame(BOOL full);

// Toggles autoview of the current pane: on, the display format and window
// mode are kept aside and replaced by 4 and 7, the list narrows to one
// column (the cursor entry kept on the page: *listIndex stays, *row is its
// row) and, without split screen, the statistics panel and the path line
// are saved; off, all of it is put back. The command menu of the new window
// mode is shown unless busy or the directory picker is open.
void StartAutoview(DWORD* listIndex, DWORD* row);

// Repaints the current pane's frame, tree and path line after a size or
// layout change, or after an external program gave the screen back.
void RedrawPaneFrame();

// Copies the other pane's per-pane figures to pane toSide: every disk's
// matching and tagged counts and bytes, every directory's flag byte, counts
// and bytes and its files' flag bytes; with noListHeader clear, also the
// display list header's counts.
void CopySideState(BOOL noListHeader, WORD toSide);

// The split-mode dialog on the command lines: N, C, B choose the
// arrangement (C on more than 100 columns, B on 122 or more), S swaps the
// halves in split screen. Returns 4137 when split screen is on and the
// layout changed, else 0.
int SplitModeDialog();

// Alt-Home, Alt-Up and Alt-Down move the boundary between the tree and the
// small file window (never above row 8 nor below gMessageRow - 2). Returns
// 4119 when it moved, else 0.
int WindowHeightKey(int key, BOOL noRedraw);

// The console-size keys Alt-F7, Alt-F8, Alt-Shift-F8, Alt-F9 and
// Alt-Shift-F9: sets gSizeRequestRows and gSizeRequestCols and the changed
// flags; always 1.
int ConsoleSizeKey(int key);
