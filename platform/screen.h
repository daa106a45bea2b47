// The shadow screen and the drawing primitives: every cell the program draws
// goes into a fixed array of cells in memory first and then, one row run at a
// time, to the console, so that the program can read its screen back and save
// and restore rectangles without asking the console. Also the code page 437
// box characters, the current colours, the beep, the clock and date texts of
// the status line and the painting of the tree window from its line list.
//
// Rows and columns are 0-based, row first. The primitives keep every cell
// inside the screen (gScreenRows x gScreenCols, never more than the array):
// the part of a run outside it is dropped. The main thread and the clock
// thread may draw at once; the shadow screen has its own lock, never held
// across a console call.
#pragma once

#include "windows.h"

// One cell: the UTF-16 unit in bits 0-15, the attribute byte in bits 16-23,
// laid out like the console's CHAR_INFO.
typedef uint32_t ScreenCell;

inline constexpr int SHADOW_ROWS = 250;
inline constexpr int SHADOW_COLS = 1024;

inline constexpr ScreenCell MakeCell(WCHAR c, BYTE attr) {
    return ScreenCell(c) | ScreenCell(attr) << 16;
}
inline constexpr WCHAR CellChar(ScreenCell cell) {
    return WCHAR(cell & 0xFFFF);
}
inline constexpr BYTE CellAttr(ScreenCell cell) {
    return BYTE(cell >> 16);
}

// The position last given to ScrSetCursorPos, which ScrPutCharAt writes at
// and moves on.
extern WORD gCursorRow;
extern WORD gCursorCol;
// The normal text colour (initially 0x07).
extern BYTE gNormalAttr;
// Code page 437 bytes that draw as box and block characters, by byte: 0 for
// a byte that converts through the code page. Filled by InitBoxChars.
extern WCHAR gOemBoxMap[256];

// ---- cells ---------------------------------------------------------------------------

// Fills gOemBoxMap (once; later calls do nothing).
void InitBoxChars();

// Stores the position and puts the console cursor there.
void ScrSetCursorPos(int row, int column);
// Writes one cell and shows it, then moves the remembered cursor one cell to
// the right (after column 1023 to column 0 of the next row).
void ScrPutChar(int row, int column, WCHAR character, BYTE attr);
// The same at the remembered cursor.
void ScrPutCharAt(WCHAR character, BYTE attr);
// Writes the units of a terminated string from the column.
void ScrPutWStr(int row, int column, const WCHAR* text, BYTE attr);
// Writes exactly n units (zero units included).
void ScrPutWStrN(int row, int column, const WCHAR* text, int n, BYTE attr);
// Writes an 8-bit string: bytes up to 0x80 as the units of the same value,
// bytes above through gOemBoxMap or else code page 437. At most 1027 bytes
// are taken, more than any row holds.
void ScrPutStr(int row, int column, const char* text, BYTE attr);
// ScrPutStr in gNormalAttr.
void ScrPutStrDefault(int row, int column, const char* text);
// Writes n bytes (at most 1025) converted through code page 437.
void ScrPutStrN(int row, int column, const char* text, int n, BYTE attr);
// ScrPutStrN with the attribute read through attr (note the order).
void ScrPutWStrAttrPtr(const char* text, int n, int row, int column, const BYTE* attr);
// A line of n cells: first at the column; when n > 1, middle (unless 0,
// which keeps the cells) up to the last cell, and last (unless 0) at
// column + n - 1. All n cells take attr.
void ScrHLine(int row, int column, int n, WCHAR first, WCHAR middle, WCHAR last, BYTE attr);
// ScrHLine with the three characters given as code page 437 bytes.
void ScrHLineOem(int row, int column, int n, BYTE first, BYTE middle, BYTE last, BYTE attr);
// Sets the attribute of n cells of a row, characters unchanged.
void ScrFillAttr(int row, int column, BYTE attr, int n);
void ScrFillAttrRun(const BYTE* attr, int n, int row, int column);
// Blanks in attr over the rectangle, in the console and the shadow screen;
// nothing when bottom < top.
void ScrClearArea(int top, int left, int bottom, int right, BYTE attr);
// Blanks over the whole console buffer, and attr too when withAttr; the
// shadow screen is not changed.
void ScrClearScreen(BOOL withAttr, BYTE attr);

// ---- reading back ----------------------------------------------------------------------

// The attribute of a shadow cell (0 outside the screen).
BYTE ScrGetAttr(int row, int column);
// The low bytes of n shadow characters, unconverted (0 outside the array).
void ScrGetChars(int row, int column, char* out, int n);
// n shadow characters (0 outside the array).
void ScrGetWChars(int row, int column, WCHAR* out, int n);
// Reads the rectangle from the console into cells (its size); FALSE when the
// console read fails.
BOOL ScrReadRect(int top, int left, int bottom, int right, CHAR_INFO* cells);
// n cells of a row read from the console as code page 437 bytes (0xFA for
// what has none). On failure the buffer is left unchanged.
void ScrReadText(int row, int column, char* out, int n);
// Writes cells (the rectangle's size, row-major) to the console rectangle.
void ScrFlushRect(int top, int left, int bottom, int right, const ScreenCell* cells);

// ---- saved rectangles ----------------------------------------------------------------------

// A new heap array of the rectangle's cells from the shadow screen (0 for
// cells outside the array), owned by the caller until ScrRestoreRect. Null
// for an empty rectangle, and when memory is short (after "Fatal Error -
// out of memory" on the error line).
ScreenCell* ScrSaveRect(int top, int left, int bottom, int right);
// The same, read from the console (which may hold what the shadow screen
// does not, as at start-up).
ScreenCell* ScrSaveRectConsole(int top, int left, int bottom, int right);
// Writes a saved rectangle back to the console and the shadow screen and
// frees it; a rectangle narrower than the screen has its rows written once
// more from the shadow screen across the whole width. Null does nothing.
void ScrRestoreRect(int top, int left, int bottom, int right, ScreenCell* saved);

// ---- colours, sound, clock -------------------------------------------------------------------

// Slot 3 sets gNormalAttr and returns its previous value; other slots return
// 0. The console's text attribute becomes attr in every case.
BYTE ScrSetColor(int slot, BYTE attr);
// The bell, when beeps are on.
void ScrBeep();
// The time of day as "%2d:%02d:%02d%s"; buffer of at least 16 bytes. With
// twelveHour, hours 0-11 take "am" and 12-23 "pm" (hour 0 shows 12, 13-23
// show hour - 12), after a blank unless fourDigitYear.
void FormatClockText(const SYSTEMTIME& time, BOOL twelveHour, BOOL fourDigitYear, char* out);
// The date as "%2d-%02d-%02d" in the order of dateOrder (0 and 3 day, month,
// year; 1 and 4 month, day, year; 2 and 5 year, month, day; other values
// three zeros); the year in full with fourDigitYear, else its last two
// digits. Buffer of at least 16 bytes.
void FormatDateText(const SYSTEMTIME& time, int dateOrder, BOOL fourDigitYear, char* out);
// The two texts for the local time now, in the configured formats (the date
// format of the number formatters: 3-5 have four-digit years).
void ScrClockText(char* out);
void ScrDateText(char* out);

// ---- the tree window
// -----------------------------------------------------------------------------

struct SubdirInfo;

// The directory colours of the tree window: the DIRECTORY colour and those
// of junction, encrypted, hidden, system and read-only directories. The
// colour loader keeps them equal to its table.
struct TREE_COLOURS {
    BYTE directory;
    BYTE junction;
    BYTE encrypted;
    BYTE hidden;
    BYTE system;
    BYTE readOnly;
};
extern TREE_COLOURS gTreeColours;

// The tree model's answer for a directory of a tree row: its level (0 for
// the root) and attributes: the tree records' own (TreeDirFacts); a null
// function gives every row the DIRECTORY colour.
typedef void (*TreeDirFactsFn)(const SubdirInfo* dir, WORD* level, WORD* attributes);
extern TreeDirFactsFn gTreeDirFacts;

// The colour ScrPaintTreeLines gives the name part of a directory's row:
// by its attributes (junction, encrypted, hidden, system, read-only, first
// that differs from the DIRECTORY colour wins) unless the tree is shown in
// plain colours; the root always in the DIRECTORY colour.
BYTE TreeDirRowColour(const SubdirInfo* dir);

// Copies the units of text into row line of the current pane's tree line
// list from the column (never past the row's text), and the directory
// pointer into the row when dir is given. Rows outside the list are left.
void ScrPutLineBuf(int line, int column, const WCHAR* text, const SubdirInfo* dir);
// Paints the tree window of the current pane from list row first on, on
// screen rows 2 onward, coloured by each row's directory.
void ScrPaintTreeLines(int first);
// Paints the directory picker's tree rows (screen rows 3 to rows - 6) from
// list row first in gNormalAttr.
void ScrPaintTreeLine(int first);
