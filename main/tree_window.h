// The tree window's line list: per pane, the rows that the tree builder
// fills and the screen layer paints. A row holds gTreeWidth units of text
// and, from unit gTreeWidth on, the row's SubdirInfo pointer (four units,
// stored unaligned), null for a row without a directory.
#pragma once

#include "windows.h"

struct SubdirInfo;

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

// Paints (attr the bar colour) or takes away (attr gNormalAttr) the cursor
// bar on window row row (0: the first tree row) of a directory whose branch
// connector stands at screen column column: that cell and a run over the
// name (the tree's width while the size column shows). Taken away, the
// name gets back its attribute colour.
void DrawTreeCursorBar(int row, int column, BYTE attr, const SubdirInfo* dir);
// Shows the cursor row's mark (screen row row) in the bar colour, a blank
// mark as U+2192.
void DrawCursorMark(int row);
// Writes path on row 0 of the current side, fitted to the tree pane's
// width, in the branch path colour in branch display mode when one is set.
void DrawPathLine(const WCHAR* path);
// DrawPathLine while the pane shows a branch, showall or global list and
// is not in autoview.
void DrawPathLineIfTree(const WCHAR* path);
// Puts the current file entryPath into the title (with the title layout's
// file bit): in the volume-and-path layout as the path line of the entry's
// full path, else as "D:\name" (root) or "D: name", or "archive : name".
void FormatPathLine(const WCHAR* entryPath);

// The marks as drawn: gMarkLogged and gMarkUnlogged, exchanged by the
// start-up option /AK.
WCHAR LoggedMark();
WCHAR UnloggedMark();

// The start-up debug switch (/DEB): a tree row without a directory stops
// the program with a dump instead of being passed over.
extern BOOL gDebugSwitch;

// The directory of tree-line row (a list index); mode 1 also draws the tree
// scroll mark, mode 2 that of the picker and archive tree; caller names the
// call site. Null for a row without a directory; under the start-up debug
// switch (/DEB) such a row asked for with mode 1 or 2 ends the program with
// a dump of the tree's state on standard output and in QBK.LOG of the data
// folder (status -1).
SubdirInfo* FindPathFromPos(DWORD row, int mode, int caller);
