// The console API on the terminal: standard handles, control handlers,
// titles, screen buffers and the console output functions. The console
// starts on the first call that needs it; when the process has no terminal
// these functions fail with error 6 (GetStdHandle returns null).
#pragma once

#include "minwinbase.h"
#include "wincon.h"

// ---- session ------------------------------------------------------------------

// STD_INPUT_HANDLE gives the console input handle; STD_OUTPUT_HANDLE and
// STD_ERROR_HANDLE the same handle on the default screen buffer. Null when
// the console is unavailable; INVALID_HANDLE_VALUE with error 6 for any
// other number.
HANDLE GetStdHandle(DWORD which);

// Returns TRUE to tell the console the event was handled.
typedef BOOL (*PHANDLER_ROUTINE)(DWORD event);

// handler null: add TRUE makes Ctrl+C ignored, FALSE attends to it again.
// Otherwise adds (at most 16; the 17th fails with error 8) or removes the
// newest registration of handler (error 87 when it is not registered).
// Handlers run newest first on the console's input thread; for close and
// shut-down events the process ends after they return.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);

// Stores the title (at most 1023 units) and sends it to the terminal without
// control characters. FALSE when the console is unavailable.
BOOL SetConsoleTitleW(LPCWSTR title);
// The title from code page 437; a null title counts as empty.
BOOL SetConsoleTitleA(LPCSTR title);
// Copies at most size - 1 units of the stored title, terminated, and returns
// the stored title's whole length; 0 for size 0 or without a console.
DWORD GetConsoleTitleW(LPWSTR buffer, DWORD size);

// Rings the terminal's bell. Always TRUE.
BOOL MessageBeep(UINT type);

// The layer's own: claims the end of the process for the calling thread.
// The program calls it before its own clean-up on the normal way out; the
// console's terminating events (close, shut-down, an unhandled interrupt,
// a lost terminal) and its exit-time restore claim it too. The first claim
// wins and returns TRUE (again TRUE for the same thread); a claim from
// another thread never returns, because the owner is ending the process.
// So the program's clean-up and the control handlers never run at once, and
// at most one of them runs.
BOOL ConsoleBeginExit();

// Gives the terminal back for good, as the program ends with a message of
// its own on the normal screen: the terminal's settings and screen as they
// were found, and the console reads and draws nothing any more. FALSE with
// error 6 when the console is unavailable.
BOOL FreeConsole();
// The layer's own: while the terminal is given back (FreeConsole, or a
// child program's turn), writes text to the terminal and waits for one key.
// Returns at once without a terminal or while the program's screen shows.
void ConsolePromptKey(const char* text);

// ---- screen buffers ---------------------------------------------------------------

// A new buffer of the terminal's size; flags must be CONSOLE_TEXTMODE_BUFFER
// (else error 87). INVALID_HANDLE_VALUE with 87 without a console, 8 when
// memory or a handle is short.
HANDLE CreateConsoleScreenBuffer(DWORD access, DWORD shareMode,
                                 const SECURITY_ATTRIBUTES* security, DWORD flags,
                                 LPVOID reserved);
// Shows the buffer; the previously active one is freed when no handle refers
// to it any more (never the default buffer).
BOOL SetConsoleActiveScreenBuffer(HANDLE buffer);
BOOL GetConsoleScreenBufferInfo(HANDLE buffer, PCONSOLE_SCREEN_BUFFER_INFO info);
// cbSize must be 96 (else error 87).
BOOL GetConsoleScreenBufferInfoEx(HANDLE buffer, PCONSOLE_SCREEN_BUFFER_INFOEX info);
// Takes the colour table (repainting the terminal when it changed) and the
// attribute; size, cursor and window fields are ignored. cbSize must be 96.
BOOL SetConsoleScreenBufferInfoEx(HANDLE buffer, PCONSOLE_SCREEN_BUFFER_INFOEX info);
// Resizes the current page; not smaller than the window (error 87); error 8
// when the cells cannot be had, the page unchanged.
BOOL SetConsoleScreenBufferSize(HANDLE buffer, COORD size);
// Moves the window, absolute or relative to its edges; error 87 when it
// would leave the page or be larger than the terminal.
BOOL SetConsoleWindowInfo(HANDLE buffer, BOOL absolute, const SMALL_RECT* window);
// The terminal's columns and rows; {0, 0} with error 6.
COORD GetLargestConsoleWindowSize(HANDLE buffer);
BOOL GetConsoleCursorInfo(HANDLE buffer, PCONSOLE_CURSOR_INFO info);
// Size must be 1..100 (else error 87).
BOOL SetConsoleCursorInfo(HANDLE buffer, const CONSOLE_CURSOR_INFO* info);
// The position must lie in the page (else error 87); the window follows it.
BOOL SetConsoleCursorPosition(HANDLE buffer, COORD position);
BOOL SetConsoleTextAttribute(HANDLE buffer, WORD attribute);

// Set length cells from origin onward, row by row, never past the page's
// last cell; *written receives the cells set. Error 87 for an origin
// outside the page.
BOOL FillConsoleOutputAttribute(HANDLE buffer, WORD attribute, DWORD length, COORD origin,
                                LPDWORD written);
BOOL FillConsoleOutputCharacterW(HANDLE buffer, WCHAR character, DWORD length, COORD origin,
                                 LPDWORD written);
// The character from code page 437 ('?' when it does not convert).
BOOL FillConsoleOutputCharacterA(HANDLE buffer, CHAR character, DWORD length, COORD origin,
                                 LPDWORD written);

// Copy between the caller's size.X x size.Y cells and the buffer rectangle
// *region (inclusive), origin being the caller's cell at the region's
// top-left corner. The region is cut to the page and to the caller's array
// and returned as cut (empty when origin lies outside the array).
BOOL WriteConsoleOutputW(HANDLE buffer, const CHAR_INFO* cells, COORD size, COORD origin,
                         PSMALL_RECT region);
BOOL ReadConsoleOutputW(HANDLE buffer, PCHAR_INFO cells, COORD size, COORD origin,
                        PSMALL_RECT region);
// The same with 8-bit characters of code page 437 ('?' for what does not
// convert); error 8 when the temporary cells cannot be had.
BOOL WriteConsoleOutputA(HANDLE buffer, const CHAR_INFO* cells, COORD size, COORD origin,
                         PSMALL_RECT region);
BOOL ReadConsoleOutputA(HANDLE buffer, PCHAR_INFO cells, COORD size, COORD origin,
                        PSMALL_RECT region);

// Writes text at the cursor with the buffer's attribute, following its
// output mode (controls, wrapping, and with virtual-terminal processing the
// page switch, cursor visibility and cursor shape sequences).
BOOL WriteConsoleW(HANDLE buffer, const void* text, DWORD count, LPDWORD written,
                   LPVOID reserved);
// The bytes in code page 437; *written is the byte count.
BOOL WriteConsoleA(HANDLE buffer, const void* text, DWORD count, LPDWORD written,
                   LPVOID reserved);

// A screen buffer's output mode, or the console input mode.
BOOL GetConsoleMode(HANDLE handle, LPDWORD mode);
// Output mode: the value AND 0x1F. Input mode: without
// ENABLE_EXTENDED_FLAGS the quick-edit bit is kept as it was; the mouse is
// reported while ENABLE_MOUSE_INPUT is set and quick edit is not.
BOOL SetConsoleMode(HANDLE handle, DWORD mode);

// Font 0 of 8 x 16 pixels.
BOOL GetCurrentConsoleFont(HANDLE buffer, BOOL maximumWindow, PCONSOLE_FONT_INFO font);
COORD GetConsoleFontSize(HANDLE buffer, DWORD font);

// ---- input --------------------------------------------------------------------------

// Input handles are GetStdHandle(STD_INPUT_HANDLE) and "CONIN$" opened by
// CreateFileW. Any other handle, or no console, gives error 6 and FALSE;
// records null with a count above 0 gives error 87. *read (or *written)
// is set to 0 first.

// Takes up to count records from the queue in order, waiting until there is
// at least one (even for count 0). Key records read here are what
// GetKeyState, GetAsyncKeyState and ToUnicode report on.
BOOL ReadConsoleInputW(HANDLE input, PINPUT_RECORD records, DWORD count, LPDWORD read);
// The same, with the characters of key records in code page 437: a
// character that has no byte there becomes 0.
BOOL ReadConsoleInputA(HANDLE input, PINPUT_RECORD records, DWORD count, LPDWORD read);
// Copies up to count records without removing them and without waiting
// (*read may be 0); characters as ReadConsoleInputA gives them.
BOOL PeekConsoleInputA(HANDLE input, PINPUT_RECORD records, DWORD count, LPDWORD read);
// Appends the records as they are (no mouse filter, no Ctrl+C handling).
// When the queue is full (65536 records) the rest is refused: *written
// tells how many were taken, and the result is FALSE with error 8.
BOOL WriteConsoleInputW(HANDLE input, const INPUT_RECORD* records, DWORD count, LPDWORD written);
// Discards every queued record.
BOOL FlushConsoleInputBuffer(HANDLE input);

// ---- the layer's own ------------------------------------------------------------------------

// Starts the console if needed; the terminal's descriptor, or -1 when the
// process has no terminal (the console is then unavailable).
int ConsoleTtyFd();
// Starts the console if needed; TRUE when the terminal answered the kitty
// keyboard query and its protocol is in use.
BOOL ConsoleKittyKeyboardActive();


// Fills buffer (96 bytes) with the names of the control-key state's bits,
// each followed by a blank, in this order: "LCtrl ", "RCtrl ", "LAlt ",
// "RAlt ", "Shift ", "enh ", "num ", "caps "; empty when none is set.
void KeyTestModifierText(char* buffer, DWORD state);

// Shows every console input record as a line on the console (keys with
// their virtual key, scan code, character and modifiers, mouse events,
// resizes, focus changes) until Esc is pressed twice in a row. Mouse
// reporting is on and Ctrl+C arrives as a key meanwhile (input mode 0x98,
// which stays set). Returns 0, or 1 after writing "quilb --keys: no
// terminal" to the standard error stream when there is no console.
int ConsoleKeyTest();
