// The file manager's console session: the platform start-up (the #QB
// environment variables, the control handler, the home and tools folders),
// the start and end of the screen session (the minimum terminal size, the
// terminal's screen saved and put back, the alternate screen), the screen
// geometry and the rows of the command lines, size changes, the cursor
// shape, the console title, the palette, the window tracking that tells the
// key reader about a resize, and a few system facts for the information
// screen.
#pragma once

#include "windows.h"

#include <atomic>

// Limits of the screen the program draws on.
inline constexpr int SCREEN_MIN_ROWS = 25;
inline constexpr int SCREEN_MAX_ROWS = 250;
inline constexpr int SCREEN_MIN_COLS = 80;
inline constexpr int SCREEN_MAX_COLS = 1024;
// The smallest terminal the session starts on and follows. A terminal of
// 24 rows is drawn on whole (the command lines on its last three rows), so
// the screen takes 24 rows there rather than a 25th row nobody sees.
inline constexpr int SCREEN_TERMINAL_MIN_ROWS = 24;
// Rows or columns in a size request that stand for the terminal's own size.
inline constexpr int SCREEN_SIZE_TERMINAL = 32767;

// The program's version, as the title and "#QBVersion" show it.
inline constexpr char QB_VERSION_TEXT[] = "2.9.11";

// Screen geometry: 43 x 96 until a size is applied, then within the limits.
// gScreenMaxRow and gScreenMaxCol are the last row and column.
extern WORD gScreenRows;
extern WORD gScreenCols;
extern WORD gScreenMaxRow;
extern WORD gScreenMaxCol;
// Cells of the screen times two (the bytes of a row-major 16-bit copy).
extern DWORD gScreenCellBytes;
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
// The share of the rows between the frames that the tree window takes, in
// percent; 0 (unset) or above 99 means 75.
extern BYTE gTreeSizePercent;
// The first size ever applied (for the size keys) and whether the screen is
// one of the classic 80-column modes of 25, 43 or 50 rows.
extern WORD gFirstScreenRows;
extern WORD gFirstScreenCols;
extern BOOL gClassicVideoMode;
// Row and column adjustments of the maximised size (signed), added to the
// terminal's largest size by ConsoleLargestSize.
extern SHORT gMaxRowAdjust;
extern SHORT gMaxColAdjust;
// The largest usable size as ConsoleLargestSize last found it.
extern WORD gLargestRows;
extern WORD gLargestCols;

// The console output handle every drawing primitive writes to, and the
// standard output handle.
extern HANDLE gConOut;
extern HANDLE gStdOut;

// The program's console window, found by a unique title at the session's
// start, and its rectangle then.
extern HWND gConsoleWindow;
extern RECT gConsoleWindowRect;
// Set by the platform start-up and never cleared: the console is hosted by a
// terminal, so the console window is never moved or sized and no separate
// screen buffer is used.
extern BOOL gTerminalHost;
// The system's major version (GetVersionExW), for decisions that depend on
// it.
extern DWORD gOsMajorVersion;

// True while a line is being edited or a visible cursor is wanted; with it
// false, keypad digits move even when Num Lock is on.
extern std::atomic<BOOL> gTextCursor;

// Switches of the screen session and of input that start-up options clear.
struct SESSION_SWITCHES {
    BOOL newConsole;    // draw on a screen buffer of the program's own
    BOOL restoreScreen; // save the terminal's screen at the start, put it back at the end
    BOOL beeps;         // ScrBeep sounds
    BOOL mouse;         // mouse input
    BOOL readAhead;     // directory read-ahead
};
extern SESSION_SWITCHES SessionSwitches;

// Raised by ConsoleTrackWindow when the terminal's size changed; the key
// reader then applies the new size and returns the resize key.
extern std::atomic<BOOL> gResizePending;

// The console title's layout, set from the command line: up to eight item
// letters in order ('V' version, 'Q' product name, 'O' and 'P' the object
// text, 'T' the next title text), the title flags, and up to two title
// texts of their own.
inline constexpr DWORD TITLE_FLAG_OBJECT = 0x01;
inline constexpr DWORD TITLE_FLAG_OBJECT_LINE = 0x02;
inline constexpr DWORD TITLE_FLAG_PRODUCT = 0x04;
inline constexpr DWORD TITLE_FLAG_VERSION = 0x08;
inline constexpr DWORD TITLE_FLAG_PATH_SPLIT = 0x10;
struct TITLE_LAYOUT {
    char items[8];
    int itemCount;
    DWORD flags;
    WCHAR texts[2][128];
    int textCount;
};
extern TITLE_LAYOUT gTitleLayout;

// A ready-made horizontal rule: 1023 code page 437 line bytes (0xC4) and a
// terminator, filled when the screen session starts.
extern char gHLineText[1024];

// What the console control handler does before the process ends on a close,
// log-off or shut-down event, filled in by the subsystems that own the
// work: the current directory (FALSE when there is none), saving the
// histories and the cd-on-exit script for it, and removing the session
// directory. Empty entries are skipped.
struct SESSION_END_WORK {
    BOOL (*currentDirectory)(WCHAR* out, DWORD units);
    void (*saveHistories)(const WCHAR* currentDirectory);
    void (*removeSessionDirectory)();
};
extern SESSION_END_WORK gSessionEndWork;

// The taskbar's progress object, made when the session starts; null where
// the desktop offers none (always, on this platform).
extern LPVOID gTaskbarList;

// ---- start and end -------------------------------------------------------------------

// The first step of start-up: installs ConsoleCtrlHandler, sets the error
// mode, records the start-up, program and tools folders (RecordStartupFolders)
// and exports "#QBExe", "#QBVersion", "#QBHome", "#QBDrive", "#QBTools",
// "#QBArgs", "#QBMyDocuments", "#QBDesktop", "#QBFavorites", "#QBStartMenu"
// and "#QBLine"; fills the box-character map and sets gTerminalHost.
void PlatformStartup();

// Starts the screen session on the terminal's own size (rows and columns
// are accepted for the callers that ask for one). Finds the console window
// (none: a message box and exit status -1); refuses a terminal of fewer than
// 80 columns or 24 rows with a message on standard error and exit status 1,
// the terminal given back first; saves what the terminal shows when the
// save-screen switch is on; applies the size, enters the alternate screen
// and syncs the keyboard layout. A viewer code page of 0 (none given on the
// command line) becomes 1, the OEM code page.
void StartScreenSession(int rows, int columns);

// Gives the console back at exit: leaves the alternate screen, puts back
// what the terminal showed before the session started (when it was saved),
// the cursor and the input mode, and closes the console input. Safe to call
// when the session never started, and more than once.
void EndScreenSession();

// ---- size and layout -------------------------------------------------------------------

// Lays the screen out for rows x columns: the command lines, the frame row
// and the small file window. The tree window keeps its height when mode is 0
// and the height still fits; otherwise it takes gTreeSizePercent of the rows
// between the frames. Then the window area's columns (ComputeFileWinLayout).
void ScrSetupLayout(int rows, int columns, int mode);

// Applies a screen size: rows and columns (SCREEN_SIZE_TERMINAL for the
// terminal's own size). On the alternate screen the terminal's own size is
// simply adopted; an explicit size is brought within the limits and within
// the terminal and set on the console buffer and window, the screen's
// contents kept. A terminal smaller than 80 x 24 changes nothing. Then the
// layout (ScrSetupLayout with mode). Returns gScreenRows.
int ConsoleResize(int rows, int columns, int redraw, int mode);

// GetLargestConsoleWindowSize, at least 80 x 25, plus the maximised-size
// adjustments; the result within the limits is also kept in gLargestRows
// and gLargestCols. X is the columns, Y the rows.
COORD ConsoleLargestSize();

// The screen's columns and rows in dwSize; the rest of the record zero.
void ConsoleGetSize(CONSOLE_SCREEN_BUFFER_INFO* info);

// Whether the console window may still be moved or sized by the program:
// false once the platform start-up found the console hosted by a terminal.
BOOL ConsoleReady();

// ---- screen, cursor, title ---------------------------------------------------------------

// Enters (on) or leaves the alternate screen, for the output handle that
// first used it; the output mode, attribute and cursor survive the switch.
void ConsoleAltScreen(BOOL on);
// Shows or hides the terminal's cursor while the alternate screen is
// active on gConOut.
void ConsoleCursorVisible(BOOL visible);
// Writes an escape sequence to gConOut with virtual-terminal processing on,
// then puts the output mode back.
void WriteConsoleSeq(const char* sequence);
// The terminal's default cursor shape.
void ConsoleCursorDefault();

// Sets the cursor: 0 hidden and parked in the last column of the message
// row, 1 a thin cursor at the remembered position, 2 a block there; any
// other value keeps the cursor and marks it wanted. Returns the previous
// shape (0 hidden, 1 thin, 2 block).
int ScrSetCursorShape(int shape);

// Builds the console title from gTitleLayout and the path text and sets it
// (mode is accepted for the callers). A title of 254 units or more is cut to
// 253 units followed by U+25BA. The title is also returned through out when
// out is given (at least 256 units).
void SetConsoleTitleText(int mode, const WCHAR* path, WCHAR* out = nullptr);

// Sets palette entry index (0-15) to colour 0xRRGGBB, the old colour into
// *old (when given). FALSE without the extended buffer-information calls or
// for an index above 15.
BOOL ConsoleSetPalette(int index, DWORD colour, DWORD* old);

// Whether the user is selecting text in the console: never on a terminal,
// which selects text on its own without telling the program.
BOOL ConsoleSelecting();

// The console control handler: Ctrl+C and Ctrl+Break are handled (TRUE) and
// ignored. Close, log-off and shut-down: the histories and the cd-on-exit
// script for the current directory when the console input is open, the
// session directory removed, the companion told that the program quits;
// FALSE, so that the process ends.
BOOL ConsoleCtrlHandler(DWORD event);

// The program's console window, found by setting a unique title and
// enumerating the windows; null when there is none. Does not wait when the
// platform has no console window at all. pauseMs is the wait between the
// 50 tries.
HWND FindOwnConsoleWindow(DWORD pauseMs = 100);

// Called on each tick of the clock thread: when the console window's size
// changed since the last call and no input is pending, raises
// gResizePending and puts a wake-up menu event (command id
// CONSOLE_WAKEUP_MARKER) into the console input. Returns 1 when it posted
// the wake-up or input is pending, else 0. The first comparison is with the
// rectangle kept when the screen session started; before a session, the
// first call only learns the size.
int ConsoleTrackWindow();

// 0: moves the console window back to its rectangle at start; otherwise
// keeps its current rectangle as that. Around child programs.
void ConsoleSetWindowPos(int flag);

// The command id of the program's own wake-up menu events ("QBME").
inline constexpr UINT CONSOLE_WAKEUP_MARKER = 0x51424D45;

// Whether the program runs in the desktop terminal whose own session
// variable ("WT_SESSION") is set; the start-up trace reports it.
BOOL ConsoleWindowsTerminal();

// ---- system facts for the information screen ------------------------------------------------

// The memory status: the extended call when the platform offers it by
// name, else GlobalMemoryStatus copied into the larger record. TRUE.
BOOL SysMemoryStatus(MEMORYSTATUSEX* status);
// The performance counts: 0 (and *count 0) where neither performance
// library can be loaded, as here.
DWORD SysPerformanceInfo(DWORD* count);
// The screen-saver switch: with set, sets it to value; returns the state.
BOOL ScreenSaverActive(BOOL set, BOOL value);
// The work area of the console window's monitor (whole monitor or work area
// by the flag when the monitor calls are offered, else the work area).
BOOL ConsoleMonitorInfo(RECT* rect, BOOL wholeMonitor);
// Resolves a shortcut file into target (units); 1 on success; on failure
// target is emptied and 0 returned.
int ShellObjectHelper(const WCHAR* shortcut, WCHAR* target, DWORD units);
// Answer 0 to the text compare's screen check and the size key's mode
// query, so that those callers keep or apply the size themselves.
int ConsoleCheckStub(int value);
int ConsoleModeStub();
