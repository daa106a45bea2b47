// The statistics figures of the panel and the branch sums behind them, which
// the list builders, tagging, sorting and the filters read as well.
#pragma once

#include "windows.h"

struct SubdirInfo;

// The figures of the panel for the current pane: files (or directories when
// the pane lists directories) and bytes, matching files and bytes, tagged
// files and bytes, and the directories whose files are read.
extern DWORD gStatFiles;
extern ULONGLONG gStatBytes;
extern DWORD gStatMatchFiles;
extern ULONGLONG gStatMatchBytes;
extern DWORD gStatTagFiles;
extern ULONGLONG gStatTagBytes;
extern DWORD gStatLoggedDirs;

// The size column of the tree window: 0 none; 1 bytes of the directory,
// 2 of its branch, 3 and 4 tagged bytes, 5 and 6 file count, 7 and 8 tagged
// file count (odd one directory, even the whole branch).
extern WORD gTreeSizeMode;

// The branch totals of dir (dir and every directory below it) for the
// current pane. With reset the seven figures are replaced by the sums:
// listing files, the read directories holding files add their file, match
// and tag counters; listing directories, every directory adds its
// subdirectory count and bytes, counts as one matching directory when it
// passes the filter, and adds its tag counters. Returns gStatMatchFiles.
// Without reset only gStatLoggedDirs changes and the matching files of the
// branch are returned.
DWORD SumBranchStats(SubdirInfo* dir, BOOL reset);

// The branch walk shared by the size column, printing, sorting and the
// commands that copy branches: dir and every directory below it. A read
// directory counts; an unread one, or one whose files must be read again,
// clears *completeOut (when given). With stopAtFirst returns 1 at the first
// counted directory. Otherwise sums over the counted directories that hold
// files: with minimum each file's size but at least 65535; else with bytes
// the tagged bytes of the current pane (tagged) or the file bytes, without
// bytes the tagged file count (tagged) or the file count. 0 for a null dir.
ULONGLONG BranchHasUnlogged(SubdirInfo* dir, DWORD* completeOut, BOOL stopAtFirst, BOOL tagged,
                            BOOL bytes, BOOL minimum);

// The size figure of dir under gTreeSizeMode. With row null returns it
// (without a figure for the mode, and with mode 0, the directory's own file
// bytes). Otherwise writes the size column into the tree row of width
// units: the row is blank-padded and the column, "(" for one directory, "["
// for a fully read branch, "{" otherwise, the number (bytes in units of
// gKiloUnit rounded up) and the suffix k, t, # or a diamond, ends in the
// row's last visible column (width - 2); unit width - 1 ends the text. An
// unread directory without a figure shows "?" there.
ULONGLONG FormatCountK(SubdirInfo* dir, WCHAR* row, WORD width);

// The disk figures of pdiCurrent for the current pane (directories in place
// of files while the pane lists directories); in global mode with two or
// more disks, every disk of the ring. With countLogged also
// gStatLoggedDirs.
void SumDiskStats(BOOL countLogged);
// The figures of dir's directory list (the pane lists directories);
// returns the matching count.
DWORD SumDirStats(SubdirInfo* dir);
// The figures of the current pane's list, computed and drawn: the disk's
// in display modes 3 to 5 (ShowDiskStats); else the directory list's
// (listing directories) or psiCurrent's own files, with the directory's
// own tagged figures. Nothing is drawn without a panel for the pane.
void ShowListStats();

// The title of a pane in split screen into out (room for width + 1 units):
// "<tree: %s>" while the pane's tree window is shown, else "<directory:
// %s>", "<archive: %s>", "<branch: %s>", "<showall: %s>" or "<global: %s>"
// by its display mode, with the pane's filter text (cut with U+25BA where
// it would pass the room the title has), then U+2500 up to width units.
// Returns the length of the title before the line.
size_t TreeTitleText(WORD pane, WCHAR* out, size_t width);
// Redraws the title of pane on row 1 of its half after a filter change,
// then its pane mark; nothing without split screen or with the pane's
// autoview on.
void FormatTreeTitle(WORD pane);

struct DiskInfo;

// Redraws the figures of the statistics panel for the current pane (disk
// figures: the branch's in display mode 3, the disk's otherwise).
void ShowDiskStats();
// Rewrites the panel's heading ("DISK Statistics     ") and "Current
// Directory" lines for the tree window, and the panel's joints with the
// frame's top and bottom lines.
void ShowStatsHeader();
// Writes disk's running directory, file and byte figures into the panel
// while it is logged.
void ShowLogProgress(DiskInfo* disk);
// The logo box: in the middle of the screen (centred, at start-up) or in
// the tree window area (0, while the first disk is logged).
void ShowLogoBox(int centred);
// The whole screen frame with the statistics panel(s) and pane titles:
// the screen is cleared (all of it with withCommandLines, else all but the
// three command lines), the outer frame, the pane titles and marks, the
// panel(s) with the date and time, the split column in split screen, then
// the tree window's frame (with the logo box while a tree or full-disk
// log runs, and the tree command menu, when withCommandLines). A file
// window that is not the small one gets its empty area instead.
void ShowStatsPanel(int withCommandLines);
// The panel box of 22 columns from column c with its frame, its labels
// for the window that has the keyboard, highlighted value fields, and on
// screens of more than 30 rows the program line and the maker's notice;
// withClock also draws the date and time of row 0.
void ShowStatistics(int c, BOOL withClock);
// The right panel, and with both panels of split screen the left one.
void ShowStatisticsAgain(BOOL withClock);
// The pane's mark on row 0 at its half's first column: '#' while the pane
// shows a "show files with" result, else a diamond while it lists only
// tagged entries, else '-' while its filter is in force, else a blank.
void DrawPaneMark(WORD pane);
// Set once the logo box has been drawn.
extern BOOL gLogoShown;
// The current directory's name (row 19, cut to 20 cells with U+25BA) and
// its figures (file or subdirectory count and bytes on rows 20 and 21)
// in the statistics panel.
void ShowCurrentDirName();
void ShowCurrentDirStats();
