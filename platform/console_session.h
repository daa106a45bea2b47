// The file manager's console session as far as drawing and key reading need
// it: the screen geometry and the rows of the command lines, the output
// handle, the cursor shape, the session switches, and the resize that the
// key reader applies when the terminal changed size. Starting and ending the
// session (saving the terminal's screen, the alternate screen, the title)
// are not here yet.
#pragma once

#include "windows.h"

#include <atomic>

// Limits of the screen the program draws on.
inline constexpr int SCREEN_MIN_ROWS = 25;
inline constexpr int SCREEN_MAX_ROWS = 250;
inline constexpr int SCREEN_MIN_COLS = 80;
inline constexpr int SCREEN_MAX_COLS = 1024;
// Rows or columns in a size request that stand for the terminal's own size.
inline constexpr int SCREEN_SIZE_TERMINAL = 32767;

// Screen geometry: 43 x 96 until a size is applied, then within the limits.
// gScreenMaxRow and gScreenMaxCol are the last row and column.
extern WORD gScreenRows;
extern WORD gScreenCols;
extern WORD gScreenMaxRow;
extern WORD gScreenMaxCol;
// The three command lines (rows - 3, rows - 2, rows - 1) and the frame line
// under the window area (rows - 4).
extern WORD gMessageRow;
extern WORD gHintRow;
extern WORD gBottomRow;
extern WORD gFrameLastRow;
// The small file window under the tree: its first row (the tree window's
// height, at least 8), its rows, its last row, and the first row the
// layout computed for the current size.
extern WORD gSmallWindowRow;
extern WORD gSmallWindowRows;
extern WORD gSmallWindowLastRow;
extern WORD gSmallWindowDefaultRow;

// The console output handle every drawing primitive writes to.
extern HANDLE gConOut;

// True while a line is being edited or a visible cursor is wanted; with it
// false, keypad digits move even when Num Lock is on.
extern std::atomic<BOOL> gTextCursor;

// Switches of the screen session and of input that start-up options clear.
struct SESSION_SWITCHES {
    BOOL newConsole;    // draw on a screen buffer of the program's own
    BOOL restoreScreen; // restore the terminal's screen at the end
    BOOL beeps;         // ScrBeep sounds
    BOOL mouse;         // mouse input
    BOOL readAhead;     // directory read-ahead
};
extern SESSION_SWITCHES SessionSwitches;

// Raised by ConsoleTrackWindow when the terminal's size changed; the key
// reader then applies the new size and returns the resize key.
extern std::atomic<BOOL> gResizePending;

// Lays the screen out for rows x columns: the command lines, the frame row
// and the small file window. The tree window keeps its height when mode is 0
// and the height still fits; otherwise it takes 75 % of the rows between the
// frames. Then the window area's columns (ComputeFileWinLayout).
void ScrSetupLayout(int rows, int columns, int mode);

// Applies a screen size: rows and columns (SCREEN_SIZE_TERMINAL for the
// terminal's own size), each brought within the limits and within the
// terminal; sets the geometry above and the layout. The console's buffer
// and window are not resized: the program adopts the terminal's size. A
// terminal smaller than 80 x 25 leaves everything as it is. redraw and mode
// follow the layout rule of ScrSetupLayout (mode). Returns gScreenRows.
int ConsoleResize(int rows, int columns, int redraw, int mode);

// Sets the cursor: 0 hidden and parked in the last column of the message
// row, 1 a thin cursor at the remembered position, 2 a block there; any
// other value keeps the cursor and marks it wanted. Returns the previous
// shape (0 hidden, 1 thin, 2 block).
int ScrSetCursorShape(int shape);

// Writes an escape sequence to gConOut with virtual-terminal processing on,
// then puts the output mode back.
void WriteConsoleSeq(const char* sequence);

// Whether the user is selecting text in the console: never on a terminal,
// which selects text on its own without telling the program.
BOOL ConsoleSelecting();

// Called on each tick of the clock thread: when the console window's size
// changed since the last call and no input is pending, raises
// gResizePending and puts a wake-up menu event (command id
// CONSOLE_WAKEUP_MARKER) into the console input. Returns 1 when it posted
// the wake-up or input is pending, else 0. The first call only learns the
// size.
int ConsoleTrackWindow();

// Gives the console back at exit: leaves the alternate screen, puts back
// what the terminal showed before the session started (when the screen was
// saved), the cursor and the input mode. Safe to call when the session never
// started, and more than once.
void EndScreenSession();

// The command id of the program's own wake-up menu events ("QBME").
inline constexpr UINT CONSOLE_WAKEUP_MARKER = 0x51424D45;
