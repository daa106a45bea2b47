// Small helpers of the dialogue layer: fitting paths and names into screen
// columns, filling, trimming and searching texts, expanding typed paths, the
// scroll bars of the windows, and moving the remembered text cursor of the
// single-character writers.
#pragma once

#include "windows.h"

// ---- fitting paths and names ---------------------------------------------------------------

// Longest path the helpers take, in units (without the terminator).
inline constexpr size_t TEXT_PATH_UNITS = 1024;

// The leading units of the next FitPathToWidth source whose shown length it
// reports (0 for none), so that the caller can colour that leading part.
extern DWORD gFitMarkLength;

// Writes the display form of src (as the user sees it, at most 1025 units)
// into dst in exactly w = min(width, 1024) units, terminated: a form that
// fits is padded with blanks; a longer one becomes its first 18 units, "..."
// and its last w - 21 units; below 22 columns, its last w units. dst holds
// w + 1 units. Returns the shown length of the first gFitMarkLength units of
// src (one more when they end in a separator shown as '/') when the form
// fits; when it was shortened, the form's whole length, except while the
// current pane shows a branch and a branch path colour is configured: then
// the marked length when below 19, else that length less what was cut when
// above 17, else 18.
WORD FitPathToWidth(WCHAR* dst, const WCHAR* src, WORD width);
// src into dst: at most m = min(n, 256) units, a longer text cut to m units
// of which the last is U+25BA. n 0 gives an empty text. dst holds m + 1
// units. Returns the length written.
WORD TruncateWithMark(WCHAR* dst, const WCHAR* src, WORD n);
// The 8-bit form: width 0 writes nothing and gives 0; a text longer than
// m = min(width, 256) bytes is cut to m - 1, a text of m bytes or fewer is
// copied whole. dst holds m + 1 bytes. Returns the length written.
WORD StrCopyTrunc(char* dst, const char* src, WORD width);
// When nameBuf is empty and listIndex is an entry of the display list,
// nameBuf (room for a name of 1024 units) first receives that entry's
// display name. Then TruncateWithMark(dst, nameBuf, width). 0 when width is
// 0 or the name is empty.
WORD FitFileDisplayName(WCHAR* dst, WCHAR* nameBuf, INT listIndex, WORD width);
// Two names sharing width columns (nameA filled from the display list as
// FitFileDisplayName does): names that together fit are copied whole;
// otherwise A gets its share of width in proportion to its length and B
// the rest, each cut with TruncateWithMark. Returns the length of A.
WORD FitTwoNamesToWidth(WCHAR* dstA, WCHAR* dstB, WCHAR* nameA, WCHAR* nameB, INT listIndex,
                        WORD width);
// The name of display-list entry listIndex in exactly 20 columns: a longer
// name is cut with U+25BA, keeping its extension when its last '.' stands
// after the 14th unit. dst holds 21 units; an index outside the list gives
// 20 blanks.
void FormatNameColumn(WCHAR* dst, INT listIndex);
// src into dst (1025 units): a path longer than 1024 units is cut at the last
// backslash of its first 1025 units (at 1024 units when it has none there).
void ShortenPath(WCHAR* dst, const WCHAR* src);
// A path beginning with '/' as it is; otherwise the text after the first ':'
// and the blanks after it (the whole text without ':'). Null gives null.
WCHAR* SkipLabelPrefix(WCHAR* s);
const WCHAR* SkipLabelPrefix(const WCHAR* s);
// At least 3 units, the first and the last '/'.
BOOL IsSlashEnclosed(const WCHAR* s);
// The first n units of a typed path into dst (1026 units): with toSlash 0 in
// drive-letter form with backslashes, else in display form with slashes; a
// typed path that ended in a separator keeps one at its end (while the
// result stays under 1024 units). Returns the length.
DWORD ExpandTypedPath(const WCHAR* src, DWORD n, WCHAR* dst, DWORD toSlash);
// Expands the path part of an entered text in place (up to U+0001, else
// the text without its trailing blanks) with ExpandTypedPath; what follows
// it stays, and a result shorter than the text is padded with blanks to the
// text's length. Nothing changes when the result would not fit size units
// (terminator included) or the path part is longer than 1024 units.
void ExpandInputPath(WCHAR* text, DWORD toSlash, ULONGLONG size);

// Texts with an in-band mode prefix: a first unit in U+FDD0-U+FDEF is
// skipped; when U+FFFE follows, the visible text starts after the second
// U+FFFE (after the first when there is no second), and the units between
// the two are flags. MarkerText gives the visible text (null for null);
// MarkerFlags empties flags and copies the flag units into it, at most
// n - 1 of them (n 0 writes nothing).
const WCHAR* MarkerText(const WCHAR* s);
void MarkerFlags(const WCHAR* s, WCHAR* flags, ULONGLONG n);

// ---- buffers and text ----------------------------------------------------------------------

// n - 1 blanks and a terminator; n 0 writes nothing.
void FillBlanksA(char* buf, WORD n);
void FillBlanks(WCHAR* buf, WORD n);
// n copies of c, no terminator.
void FillChars(WCHAR* buf, WCHAR c, WORD n);
// Remove the trailing blanks (' ' only); return s.
char* TrimRightA(char* s);
WCHAR* TrimRight(WCHAR* s);
// Writes the 8-bit template at column 19 of row in colour; with extra above
// 0 (a template of 3 or more bytes and a line under 1024) the line is the
// template's first byte, length + extra - 2 of its second, and its last.
void MakeRuleLine(WORD row, WORD extra, const char* tmpl, BYTE colour);
// The first place of needle in hay, 'a'-'z' equal to 'A'-'Z', other bytes
// exact; null when there is none or hay is empty.
const char* StrStrNoCaseA(const char* hay, const char* needle);
// The first place of needle in hay by the platform's comparison without
// case and non-spacing marks; null when needle is longer or nothing matches.
const WCHAR* StrStrNoCase(const WCHAR* hay, const WCHAR* needle);
// n bytes of a and b equal after the 256-entry folding table fold (plain
// bytes without one).
BOOL MemEqualFolded(const BYTE* a, const BYTE* b, DWORD n, const BYTE* fold);
// The length of the first line of text in width columns: the whole text
// when it fits (*next its end); else up to the last blank at a position
// from 1 to width (*next after the run of blanks there), else width.
DWORD FindWrapBreak(const WCHAR* text, DWORD width, const WCHAR** next);
// A command line beginning with the word "START " loses it with its blanks,
// an empty title "\"\" " and every following "/switch" word with its blanks;
// the rest moves to the front of cmd.
void StripStartCommand(WCHAR* cmd);
// The two bytes of the low 16 bits of v exchanged; the text form exchanges
// the bytes of every unit of s in place.
WORD SwapBytes16(DWORD v);
void SwapBytes16(WCHAR* s);

// ---- scroll bars ----------------------------------------------------------------------------

// The row of the position mark of p of total over rows rows from row top:
// top for p 0, the last row for p == total, else
// top + rows * 100 / (total * 100 / p), one less when that lies below the
// top row, never past the last row.
int ScrollMarkRow(DWORD p, DWORD total, DWORD rows, int top);
// The archive window's mark row: rows 3 to rows,
// (rows - 2) * 100 / (total * 100 / p) + 1, at least 3.
int ScrollMarkRowArc(DWORD p, DWORD total, DWORD rows);
// The pick lists' mark row, counted from firstRow: rows * 100 /
// (total * 100 / p) rows down, the division skipped when total * 100 < p;
// the first row for p 0 and the last for p == total.
int ScrollMarkRowList(DWORD p, DWORD total, DWORD rows, int firstRow);
// The settings' track character (the block in the block style) in rows top
// to bottom - 1 of column col.
void DrawScrollTrack(WORD top, WORD col, WORD bottom, BYTE colour);
// The position mark of the tree and file windows (column 0, or the split
// column for the second half; top row 2, or the pane's first list row while
// it shows files): the settings' mark for the bar's first row, its last row
// or the rows between. With eraseOld the track cell under the pane's
// previous mark is drawn again first.
void DrawScrollThumb(DWORD p, DWORD total, DWORD rows, BOOL eraseOld);
// The archive window's mark (column 1, or one past the split column or the
// autoview pane's width + 2 columns).
void DrawScrollThumbArc(DWORD p, DWORD total, DWORD rows);
// The pick list's track in rows top to top + rows - 1 and its mark.
void DrawScrollThumbList(WORD top, DWORD rows, DWORD p, DWORD total);

// ---- the text cursor ------------------------------------------------------------------------

inline constexpr WORD CURSOR_UP = 1;
inline constexpr WORD CURSOR_DOWN = 2;
inline constexpr WORD CURSOR_LEFT = 3;
inline constexpr WORD CURSOR_RIGHT = 4;

// Moves the remembered cursor (gCursorRow, gCursorCol) one cell and puts the
// console cursor there: up (row 0 wraps to 250), down (rows 249 and 250 wrap
// to 0), left (column 0 wraps to 1023 one row up), right (column 1023 wraps
// to 0 one row down). The drawing primitives drop cells outside the screen,
// so a cursor that has wrapped beyond it draws nothing.
void CycleCursorRow(WORD direction);
