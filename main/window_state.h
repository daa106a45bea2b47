// The process-wide window state: which window owns the keyboard, what each of
// the two panes lists and where it stands, and the split-screen switches. The
// window loops write it; the key reader, the screen layer and the menus read
// it. Main thread only, except where a field says otherwise.
#pragma once

#include "windows.h"

struct DiskInfo;
struct SubdirInfo;
struct FileEntry;

// Values of gWindowMode: the window or dialog that stores it while it has
// the keyboard.
inline constexpr WORD WM_EXPAND_PARAMETERS = 0; // execute: expanding the %-parameters
inline constexpr WORD WM_TREE = 1;
inline constexpr WORD WM_FILE = 2; // directory, branch, showall or global list
inline constexpr WORD WM_ARCHIVE_DIR = 3;
inline constexpr WORD WM_ARCHIVE_FILE = 4;
inline constexpr WORD WM_VIEWER = 5;      // also help and an external viewer's run
inline constexpr WORD WM_VIEW_TAGGED = 6; // the tagged files viewed one after another
inline constexpr WORD WM_AUTOVIEW = 7;
inline constexpr WORD WM_LOG_DIALOG = 8;
inline constexpr WORD WM_SPACE_WINDOW = 9; // available space
inline constexpr WORD WM_EXECUTE_PROMPT = 10;
inline constexpr WORD WM_APP_MENU = 11;
inline constexpr WORD WM_APP_MENU_EDITOR = 12;
inline constexpr WORD WM_PRINT_KEYS = 13;
inline constexpr WORD WM_PRINT_OPTIONS = 14;   // the print options menu, first state
inline constexpr WORD WM_PRINT_OPTIONS_2 = 15; // and second state
inline constexpr WORD WM_QUIT_QUESTION = 16;
inline constexpr WORD WM_RELEASE_DIALOG = 17;
inline constexpr WORD WM_LINE_EDITOR = 18; // also the destination-path prompt
inline constexpr WORD WM_PICK_LIST = 19;
inline constexpr WORD WM_INFO_SCREEN = 20;
inline constexpr WORD WM_SPEED_SEARCH = 21; // find and speed-search lines
inline constexpr WORD WM_ERROR_DIALOG = 22;
inline constexpr WORD WM_ERROR_LINE = 23;
inline constexpr WORD WM_LOG_OPTION = 24; // the log option question of an interrupted log
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
// and 1 belong to the panes; the directory picker keeps its position in
// record 3 when opened from pane 0 and in record 2 from pane 1.
struct PaneState {
    DWORD CurrentIndex; // cursor entry in the display list
    DWORD FirstShown;   // first display-list entry shown
    DWORD PaneColumn;   // first screen column: 0, or gSplitColumn on side 1
    // The file area, laid out by the file window layout.
    DWORD FileAreaRow;    // first row
    DWORD FileAreaColumn; // PaneColumn + 1
    DWORD FileColumns;
    DWORD PageSize;    // entries per page: rows times columns
    DWORD ColumnWidth; // distance between two columns' starts; 0 with one column
    DWORD EntryWidth;  // width of one entry's text
    DWORD NameWidth;
    BYTE Colour; // the normal colour in force for the pane
    // In split screen the pane's half keeps its file list when the keyboard
    // goes elsewhere; logging the pane's disk again clears it.
    DWORD FileWindowKept;
    DiskInfo* Disk;
    SubdirInfo* Directory;
    WCHAR Path[2050]; // full path of Directory
    DWORD TreeTop;    // first tree line shown
    DWORD TreeColumn; // column offset of the tree cursor bar
    DWORD TreeRow;    // cursor row of the tree window
    DWORD TreeLineCount;
    DWORD SmallFileWindow; // the file window is the small one under the tree
    DWORD FileWindowOpen;  // the pane's file window has the keyboard
    DWORD ListRebuilt;     // cleared whenever the pane's display list is rebuilt
    // The tree window's typed speed search in two parts (at most 30 and 10
    // characters used), and where typed characters go.
    WCHAR TreeSearchMain[41];
    WCHAR TreeSearchSecond[41];
    BYTE TreeSearchMainLen;
    BYTE TreeSearchSecondLen;
    BYTE TreeSearchToSecond;
    WCHAR TreeSearchText[40]; // shown on the tree's speed-search line
    DWORD SearchState;        // 520 during the step after Shift+Backspace
    // The tree position a tree speed search or the picker started from.
    DWORD SavedTreeTop;
    DWORD SavedTreeRow;
    DWORD SavedTreeColumn;
    // The file window's typed speed search: name and extension parts (at
    // most 20 characters each), and where typed characters go (':' toggles).
    WCHAR FileSearchMain[21];
    WCHAR FileSearchSecond[21];
    BYTE FileSearchMainLen;
    BYTE FileSearchSecondLen;
    BYTE FileSearchToSecond;
    WCHAR FileSearchText[40];
    DWORD PendingKey; // acted on when the pane's window next has the keyboard
    // Handed with the tree position to the batch command-file runner.
    BYTE QlistFlag;
    WORD QlistWord;
    DWORD ViewerWord;
    // The archive window's place, kept by the archive lister and reader.
    void* ArchiveCurrent;
    void* ArchiveRoot;
    // The entry under the file cursor lives in gPaneCurrentEntry[pane]
    // below (records 0 and 1), where the directory-changing commands clear
    // it.
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
// screen is on and the panes are swapped. The only writer of gCurrentPane
// and gCurrentSide.
void SetCurrentPane(WORD pane);

// The initial values of the window state, once the settings and the
// command line are read: both panes at the top of their lists, pane 0 in
// column 0, both file windows small when the settings ask for it and closed,
// no speed-search texts, pane 0 in the normal colour, both panes listing
// one directory's files, untagged ones included.
void InitWindowState(BOOL smallFileWindow);

// Saves the current position into pane's record: pdiCurrent, psiCurrent and
// its full name, the normal colour and the tree cursor's column.
void SavePane(WORD pane);
// Puts pane's record back: pdiCurrent and psiCurrent, and the disk's tree
// position for the pane from the record's top and row.
void RestorePane(WORD pane);

// Split screen on: the current position goes into pane 0, the panes are not
// swapped, and pane 1 starts as a copy of pane 0.
void SplitScreenOn();
// Split screen off: both panes back at the top of their lists, pane 0 lists
// untagged entries too; when pane 1 was current the two panes' records,
// sort orders and speed-search memories are exchanged, so that pane 0
// carries on where pane 1 stood; then pane 0 is current.
void SplitScreenOff();
