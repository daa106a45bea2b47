// The process-wide window state: which window owns the keyboard, what each of
// the two panes lists and where it stands, and the split-screen switches. The
// window loops write it; the key reader, the screen layer and the menus read
// it. Main thread only, except where a field says otherwise.
#pragma once

#include "windows.h"

struct DiskInfo;
struct SubdirInfo;
struct FileEntry;

// Values of gWindowMode that the lower layers test.
inline constexpr WORD WM_TREE = 1;
inline constexpr WORD WM_FILE = 2;
inline constexpr WORD WM_ARCHIVE_DIR = 3;
inline constexpr WORD WM_ARCHIVE_FILE = 4;
inline constexpr WORD WM_VIEWER = 5;
inline constexpr WORD WM_VIEW_TAGGED = 6;
inline constexpr WORD WM_AUTOVIEW = 7;
inline constexpr WORD WM_LOG_DIALOG = 8;
inline constexpr WORD WM_APP_MENU = 11;
inline constexpr WORD WM_QUIT_QUESTION = 16;
inline constexpr WORD WM_LINE_EDITOR = 18;
inline constexpr WORD WM_PICK_LIST = 19;
inline constexpr WORD WM_INFO_SCREEN = 20;
inline constexpr WORD WM_ERROR_LINE = 22;
inline constexpr WORD WM_TEXT_COMPARE = 25;

// The window or dialog that has the keyboard (1 tree, 2 file window, ...).
extern WORD gWindowMode;
// The pane that has the keyboard (0 or 1); changed only by SetCurrentPane.
extern WORD gCurrentPane;
// The screen half the current pane is drawn in: 0 left, 1 right.
extern WORD gCurrentSide;
// Split screen is on; the panes are drawn in exchanged halves.
extern DWORD gSplitScreen;
extern DWORD gPanesSwapped;
// Arrangement of the halves in split screen (0 none, 1 current, 2 both),
// after narrowing to what the screen allows.
extern WORD gSplitLayout;
// Per pane: what the file window lists (1 directory, 2 archive, 3 branch,
// 4 showall, 5 global), whether only tagged entries are listed, whether
// directories are listed instead of files, and autoview.
extern WORD gDisplayMode[2];
extern DWORD gTaggedOnly[2];
extern DWORD gDirMode[2];
extern DWORD gAutoview[2];
// The modifier of the command menu now shown: 0 plain, 1 Ctrl, 2 Alt,
// 3 Shift.
extern WORD gMenuModifier;
// Raised when the window loop should draw its command menu again (the key
// reader raises it after a macro ends and on the release of Ctrl or Alt
// that it only removes).
extern DWORD gMenuRedrawPending;
// The information screen refreshes itself once a second: a key pressed
// meanwhile stops the refresh, not the directory reads it makes.
extern DWORD gAutoRefresh;
// The directory picker is open.
extern DWORD gPickerActive;
// How the tree window colours its rows: 0 by the directory's attributes,
// 1 and 2 all rows in the directory colour.
extern WORD gTreeDisplayMode;

// Everything a pane keeps while the other pane has the keyboard. Records 0
// and 1 belong to the panes; 2 and 3 hold the directory picker's position.
struct PaneState {
    DWORD CurrentIndex; // cursor entry in the display list
    DWORD FirstShown;   // first display-list entry shown
    DWORD PaneColumn;   // first screen column: 0, or gSplitColumn on side 1
    DWORD FileAreaRow;  // first row of the file area
    DWORD FileAreaColumn;
    DWORD FileColumns;
    DWORD PageSize;
    DWORD ColumnWidth;
    DWORD EntryWidth; // width of one entry's text
    DWORD NameWidth;
    BYTE Colour; // the normal colour in force for the pane
    DWORD FileWindowKept;
    DiskInfo* Disk;
    SubdirInfo* Directory;
    WCHAR Path[2050];
    DWORD TreeTop;
    DWORD TreeColumn;
    DWORD TreeRow;
    DWORD TreeLineCount;
    DWORD SmallFileWindow; // the file window is the small one under the tree
    DWORD FileWindowOpen;  // the pane's file window has the keyboard
    DWORD ListRebuilt;
    DWORD PendingKey;
    // The pane's display list must be sorted when next built, whatever the
    // order of the walk: set by the directory sorter and the file window,
    // cleared by the global list builder.
    DWORD ResortPending;
};

extern PaneState gPanes[4];

// Per pane: the entry under the file cursor, kept on the same file when its
// directory is sorted again; cleared whenever that directory's files are
// freed.
extern FileEntry* gPaneCurrentEntry[2];

// Makes pane current: gCurrentSide becomes pane, or 1 - pane when split
// screen is on and the panes are swapped.
void SetCurrentPane(WORD pane);
