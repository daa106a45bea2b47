// Sort orders of the panes, the comparator that decides every order of files
// and directories, the sorts of the display list and of the directories'
// file arrays, the sort dialog and the sort indicator, and the small name
// comparators that keep directory names in tree order.
#pragma once

#include "windows.h"

struct EntryHead;
struct SubdirInfo;

// A pane's order in five bytes.
struct SortSpec {
    BYTE key;        // 0 to 14
    BYTE pathFirst;  // compare the owners' full names first
    BYTE descending;
    BYTE charset;    // 0 OEM (ASCII letters folded), 1 ANSI (locale compare)
    BYTE timestamp;  // 0 written, 1 created, 2 accessed
};
static_assert(sizeof(SortSpec) == 5);

inline constexpr BYTE SORT_CHARSET_OEM = 0;
inline constexpr BYTE SORT_CHARSET_ANSI = 1;

// Sort keys (byte 0).
inline constexpr BYTE SORT_NAME = 0;
inline constexpr BYTE SORT_EXTENSION = 1;
inline constexpr BYTE SORT_DATE = 2;
inline constexpr BYTE SORT_SIZE = 3;
inline constexpr BYTE SORT_UNSORTED = 4;
inline constexpr BYTE SORT_NAME_DATE_DIR = 5;  // name, written date, directory
inline constexpr BYTE SORT_NAME_DIR_DATE = 6;  // name, directory without drive, date
inline constexpr BYTE SORT_LENGTH = 7;
inline constexpr BYTE SORT_TIME = 8;
inline constexpr BYTE SORT_NUMBER = 9;
inline constexpr BYTE SORT_VALUE = 10;
inline constexpr BYTE SORT_ALPHA = 11;
inline constexpr BYTE SORT_FULL = 12;
inline constexpr BYTE SORT_LEVEL = 13;    // directory lists handled top-down
inline constexpr BYTE SORT_CREATED = 14;
inline constexpr BYTE SORT_KEY_COUNT = 15;

// Timestamps of the date keys (byte 4).
inline constexpr BYTE SORT_STAMP_WRITTEN = 0;
inline constexpr BYTE SORT_STAMP_CREATED = 1;
inline constexpr BYTE SORT_STAMP_ACCESSED = 2;

// One row of the key table: the letter of the sort indicator (0: never
// shown), the dialog key (0: none), the word of the sort menu (null: none)
// and the state word the menu shows while the key is in force (null: none).
struct SortKeyInfo {
    char indicator;
    char dialogKey;
    const char16_t* menuWord;
    const char16_t* stateWord;
};
extern const SortKeyInfo kSortKeys[SORT_KEY_COUNT];

// Per pane: the file order, the directory order, and the order the window
// works with now (one of the two).
extern SortSpec gFileOrder[2];
extern SortSpec gDirOrder[2];
extern SortSpec* gPaneOrder[2];
// Directory names compared in number order (StrCmpLogicalW) instead of
// plainly; shared by both panes.
extern BOOL gTreeNumberOrder;
// The panes sort differently (split-screen sort mode "diff"); shared by both
// panes. While it is off, an order accepted in the sort dialog is given to
// the other pane as well.
extern BOOL gSplitSortDifferent;
// The order the directories' file arrays are kept in: set from the current
// pane's file order whenever the logged directories are re-sorted. The
// display-list builders compare a pane's order with it (first four bytes)
// to learn whether a list gathered in tree order is already sorted.
extern SortSpec gArrayOrder;
// The orders F12 restores: pane 0's file and directory orders as they stand
// at the end of start-up (SaveDefaultSortOrders).
extern SortSpec gDefaultFileOrder;
extern SortSpec gDefaultDirOrder;
// Per pane: the order is lost (1) or kept (0) when the file window is left;
// cleared each time the sort dialog opens, toggled there with X.
extern BYTE gSortExitFlag[2];
// Makes the sort dialog treat an unchanged order as changed; an accepted
// change clears it.
extern BOOL gSortResortNeeded;

// The orders of both panes from the settings' working values (method, order
// and character set), the two shared switches likewise.
void InitSortOrders();
// Keeps pane 0's orders as the defaults F12 restores; called once the
// settings and the command line have been applied.
void SaveDefaultSortOrders();

// Plain name order: an empty name first, drive entries last (two of them
// equal); ANSI: the locale's compare without case; OEM: unit by unit with
// ASCII letters folded to upper case. The character set is the current
// pane's.
int CompareNames(const WCHAR* a, const WCHAR* b);
// Tree order of two records given as pointers to record pointers (qsort
// form): their long names in number order when gTreeNumberOrder is on, else
// CompareNames; ties by wcscmp.
int CompareEntryNames(const void* a, const void* b);
// The same order between a name (a const WCHAR*) and a record given as a
// pointer to its pointer (bsearch form), by CompareNames and wcscmp.
int FindEntryName(const void* name, const void* record);
// StrCmpLogicalW.
int CompareLogical(const WCHAR* a, const WCHAR* b);

// Compare of two base names: the parts before the last dot, trailing blanks
// removed (a name whose only dot is its first character is a base name
// whole). An empty name sorts first, a drive entry after every other name
// (two of them equal). ANSI: the locale's compare without case; OEM: ASCII
// letters folded to upper case, a base that is a prefix of the other first.
// The character set is the current pane's.
int CompareBaseNames(const WCHAR* a, const WCHAR* b);

// The comparator of every file and directory order: negative when a goes
// first, 0, or positive. A record with attribute 0x10 is compared under the
// current pane's directory order, any other under its file order.
int SortFileList(const EntryHead* a, const EntryHead* b);
// SortFileList for qsort: a and b point to record pointers.
int FileListCompare(const void* a, const void* b);
// Stable natural merge sort of count record pointers with SortFileList;
// scratch holds count pointers.
void FileListMergeSort(EntryHead** list, DWORD count, EntryHead** scratch);
// Sorts count record pointers: stably through scratch when one is given and
// count is above 1, otherwise with qsort (records that compare equal may
// change places).
void SortFileListEntries(EntryHead** list, DWORD count, EntryHead** scratch);
// Sorts the first count entries of the display list inside the busy state;
// when no scratch memory can be had, the list is still sorted, unstably.
void SortGlobalFileList(DWORD count);
// Sorts the display list by level (key 13), then puts the pane's key back.
void SortGlobalFileListByKey(DWORD count);

// Sorts dir's file array in place in the current pane's order; drive
// entries stay behind the ordinary ones and are no longer counted in
// dwFiles. While the pane has a display list the array keeps the key of
// gArrayOrder (the list is marked for sorting instead). In split screen with
// the panes sorting differently, when only the current pane's file window is
// open, the other pane's order is used. A pane's current entry in the array
// is followed to its new place, and that pane's list index with it. Mark 16
// of bRefresh is cleared.
void SortDirFiles(SubdirInfo* dir);
// Copies the current pane's file order into gArrayOrder and sorts the file
// arrays of the logged directories of every disk (only pdiCurrent while an
// archive tree is active): all of them, or with all 0 those marked 4 or 16
// in bRefresh, clearing both marks.
void ResortLoggedDirs(BOOL all);
// Sorts the file arrays from dir onward in tree order while the level is
// not above dir's (later siblings of dir included): all of them, or with
// all 0 those marked 16, clearing the mark.
void ResortBranch(SubdirInfo* dir, BOOL all);

// The sort dialog for the current pane's order on the command lines. Keys
// set the sort key (and end), toggle the order's switches and the shared
// switches, F12 restores the defaults, F1 asks for help topic 58. Returns 1
// when the order was accepted as changed (then with tree set the directory
// chains of every logged disk are put in tree order again) and 0 when Esc
// restored the order or a key letter left it as it was.
int SortOrderDialog(BOOL tree);
// A sort indicator into text (15 units with the terminator): nine
// horizontal lines, a right tee, the key letter (upper case when
// descending), 'p' or a blank for path first, the timestamp letter, a left
// tee. FALSE (nothing written) for the keys that are never shown.
BOOL SortIndicatorString(const SortSpec& order, WCHAR* text);
// Draws the pane's sort indicator at the foot of its window frame.
void SortIndicatorText(WORD pane);
// v for the name keys, !v for the date and time keys, 0 for the others.
int SortIsReversed(int v);
// Duplicate-name order of display-list entries i and j (0-based): long names
// without case then exactly, a long name before an inline one; equal names
// with mode 2 or 3 on the same disk give -1, and with mode 3 the owners'
// full names without the drive decide.
int CompareGlobalListEntries(DWORD i, DWORD j, int mode);

// Logs again, from its root through the branch worker, every disk marked
// for refresh, and clears the marks; with flag, in the other pane's order
// when the current pane's differs from the array order.
void RefreshFlaggedDisks(BOOL flag);
