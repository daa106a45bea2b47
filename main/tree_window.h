// The tree window's line list: per pane, the rows that the tree builder
// fills and the screen layer paints. A row holds gTreeWidth units of text
// and, from unit gTreeWidth on, the row's SubdirInfo pointer (four units,
// stored unaligned), null for a row without a directory.
#pragma once

#include "windows.h"

// Per pane: the rows (gTreeLineStride units each) and how many there are.
extern WCHAR* gTreeLines[2];
extern DWORD gTreeLineRows[2];
// Columns per tree level: 3, or 2 for the condensed tree.
extern WORD gTreeIndent;
// List index of the root's row: 0, or 3 with three empty rows above it.
extern WORD gTreeFirstLine;
// The marks of a directory whose files are read but not its subdirectories
// (initially U+00B7) and of one whose files are not read (initially '+').
extern WCHAR gMarkLogged;
extern WCHAR gMarkUnlogged;

// Rebuilds the current pane's tree lines for pdiCurrent (one row per shown
// directory, the root first) and sets the disk's tree line count.
void showtree();
// Writes path on the path line (row 0) of the current pane, fitted to the
// pane's width, and puts it into the terminal title when the title layout
// asks for the path there.
void ShowPathLine(const WCHAR* path);
// Sets the terminal title for path: a drive path of more than one level
// gives its last component with shortForm (unless the path line shows the
// volume-and-path form), any other drive path its display form; a path
// without a drive its last component.
void SetPathTitle(int shortForm, const WCHAR* path);

// The directory of tree-line row (a list index); mode 1 also draws the tree
// scroll mark, mode 2 that of the picker and archive tree; caller names the
// call site. Null for a row without a directory.
struct SubdirInfo;
SubdirInfo* FindPathFromPos(DWORD row, int mode, int caller);
