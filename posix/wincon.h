// Records and constants of the console API: cells, coordinates, buffer
// information, cursor and font records, input records and their events, and
// the mode, attribute and control-event numbers. The layouts are the Windows
// ones (programs and the input decoder depend on them), pinned below.
#pragma once

#include "wintypes.h"

#include <cstddef>

typedef DWORD COLORREF; // 0x00BBGGRR

typedef struct _COORD {
    SHORT X;
    SHORT Y;
} COORD, *PCOORD;

typedef struct _SMALL_RECT {
    SHORT Left;
    SHORT Top;
    SHORT Right;
    SHORT Bottom;
} SMALL_RECT, *PSMALL_RECT;

// One cell: a UTF-16 unit (or an 8-bit character for the A functions) and
// its attribute.
typedef struct _CHAR_INFO {
    union {
        WCHAR UnicodeChar;
        CHAR AsciiChar;
    } Char;
    WORD Attributes;
} CHAR_INFO, *PCHAR_INFO;

typedef struct _CONSOLE_SCREEN_BUFFER_INFO {
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
} CONSOLE_SCREEN_BUFFER_INFO, *PCONSOLE_SCREEN_BUFFER_INFO;

typedef struct _CONSOLE_SCREEN_BUFFER_INFOEX {
    ULONG cbSize; // must be 96
    COORD dwSize;
    COORD dwCursorPosition;
    WORD wAttributes;
    SMALL_RECT srWindow;
    COORD dwMaximumWindowSize;
    WORD wPopupAttributes;
    BOOL bFullscreenSupported;
    COLORREF ColorTable[16];
} CONSOLE_SCREEN_BUFFER_INFOEX, *PCONSOLE_SCREEN_BUFFER_INFOEX;

typedef struct _CONSOLE_CURSOR_INFO {
    DWORD dwSize; // percent of the cell, 1..100
    BOOL bVisible;
} CONSOLE_CURSOR_INFO, *PCONSOLE_CURSOR_INFO;

typedef struct _CONSOLE_FONT_INFO {
    DWORD nFont;
    COORD dwFontSize;
} CONSOLE_FONT_INFO, *PCONSOLE_FONT_INFO;

// ---- input records -------------------------------------------------------------

typedef struct _KEY_EVENT_RECORD {
    BOOL bKeyDown;
    WORD wRepeatCount;
    WORD wVirtualKeyCode;
    WORD wVirtualScanCode;
    union {
        WCHAR UnicodeChar;
        CHAR AsciiChar;
    } uChar;
    DWORD dwControlKeyState;
} KEY_EVENT_RECORD;

typedef struct _MOUSE_EVENT_RECORD {
    COORD dwMousePosition;
    DWORD dwButtonState;
    DWORD dwControlKeyState;
    DWORD dwEventFlags;
} MOUSE_EVENT_RECORD;

typedef struct _WINDOW_BUFFER_SIZE_RECORD {
    COORD dwSize;
} WINDOW_BUFFER_SIZE_RECORD;

typedef struct _MENU_EVENT_RECORD {
    UINT dwCommandId;
} MENU_EVENT_RECORD;

typedef struct _FOCUS_EVENT_RECORD {
    BOOL bSetFocus;
} FOCUS_EVENT_RECORD;

typedef struct _INPUT_RECORD {
    WORD EventType;
    union {
        KEY_EVENT_RECORD KeyEvent;
        MOUSE_EVENT_RECORD MouseEvent;
        WINDOW_BUFFER_SIZE_RECORD WindowBufferSizeEvent;
        MENU_EVENT_RECORD MenuEvent;
        FOCUS_EVENT_RECORD FocusEvent;
    } Event;
} INPUT_RECORD, *PINPUT_RECORD;

// Event types.
inline constexpr WORD KEY_EVENT = 0x1;
inline constexpr WORD MOUSE_EVENT = 0x2;
inline constexpr WORD WINDOW_BUFFER_SIZE_EVENT = 0x4;
inline constexpr WORD MENU_EVENT = 0x8;
inline constexpr WORD FOCUS_EVENT = 0x10;

// Control-key state of key and mouse events.
inline constexpr DWORD RIGHT_ALT_PRESSED = 0x1;
inline constexpr DWORD LEFT_ALT_PRESSED = 0x2;
inline constexpr DWORD RIGHT_CTRL_PRESSED = 0x4;
inline constexpr DWORD LEFT_CTRL_PRESSED = 0x8;
inline constexpr DWORD SHIFT_PRESSED = 0x10;
inline constexpr DWORD NUMLOCK_ON = 0x20;
inline constexpr DWORD SCROLLLOCK_ON = 0x40;
inline constexpr DWORD CAPSLOCK_ON = 0x80;
inline constexpr DWORD ENHANCED_KEY = 0x100;

// Mouse buttons and event flags.
inline constexpr DWORD FROM_LEFT_1ST_BUTTON_PRESSED = 0x1;
inline constexpr DWORD RIGHTMOST_BUTTON_PRESSED = 0x2;
inline constexpr DWORD FROM_LEFT_2ND_BUTTON_PRESSED = 0x4;
inline constexpr DWORD FROM_LEFT_3RD_BUTTON_PRESSED = 0x8;
inline constexpr DWORD FROM_LEFT_4TH_BUTTON_PRESSED = 0x10;
inline constexpr DWORD MOUSE_MOVED = 0x1;
inline constexpr DWORD DOUBLE_CLICK = 0x2;
inline constexpr DWORD MOUSE_WHEELED = 0x4;
inline constexpr DWORD MOUSE_HWHEELED = 0x8;

// ---- modes ----------------------------------------------------------------------

// Input modes.
inline constexpr DWORD ENABLE_PROCESSED_INPUT = 0x1;
inline constexpr DWORD ENABLE_LINE_INPUT = 0x2;
inline constexpr DWORD ENABLE_ECHO_INPUT = 0x4;
inline constexpr DWORD ENABLE_WINDOW_INPUT = 0x8;
inline constexpr DWORD ENABLE_MOUSE_INPUT = 0x10;
inline constexpr DWORD ENABLE_INSERT_MODE = 0x20;
inline constexpr DWORD ENABLE_QUICK_EDIT_MODE = 0x40;
inline constexpr DWORD ENABLE_EXTENDED_FLAGS = 0x80;
inline constexpr DWORD ENABLE_AUTO_POSITION = 0x100;
inline constexpr DWORD ENABLE_VIRTUAL_TERMINAL_INPUT = 0x200;

// Output modes.
inline constexpr DWORD ENABLE_PROCESSED_OUTPUT = 0x1;
inline constexpr DWORD ENABLE_WRAP_AT_EOL_OUTPUT = 0x2;
inline constexpr DWORD ENABLE_VIRTUAL_TERMINAL_PROCESSING = 0x4;
inline constexpr DWORD DISABLE_NEWLINE_AUTO_RETURN = 0x8;
inline constexpr DWORD ENABLE_LVB_GRID_WORLDWIDE = 0x10;

// ---- attributes -----------------------------------------------------------------

inline constexpr WORD FOREGROUND_BLUE = 0x1;
inline constexpr WORD FOREGROUND_GREEN = 0x2;
inline constexpr WORD FOREGROUND_RED = 0x4;
inline constexpr WORD FOREGROUND_INTENSITY = 0x8;
inline constexpr WORD BACKGROUND_BLUE = 0x10;
inline constexpr WORD BACKGROUND_GREEN = 0x20;
inline constexpr WORD BACKGROUND_RED = 0x40;
inline constexpr WORD BACKGROUND_INTENSITY = 0x80;
inline constexpr WORD COMMON_LVB_LEADING_BYTE = 0x100;
inline constexpr WORD COMMON_LVB_TRAILING_BYTE = 0x200;
inline constexpr WORD COMMON_LVB_GRID_HORIZONTAL = 0x400;
inline constexpr WORD COMMON_LVB_GRID_LVERTICAL = 0x800;
inline constexpr WORD COMMON_LVB_GRID_RVERTICAL = 0x1000;
inline constexpr WORD COMMON_LVB_REVERSE_VIDEO = 0x4000;
inline constexpr WORD COMMON_LVB_UNDERSCORE = 0x8000;

// ---- handles, buffers and control events ------------------------------------------

inline constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
inline constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
inline constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

inline constexpr DWORD CONSOLE_TEXTMODE_BUFFER = 1;

inline constexpr DWORD CTRL_C_EVENT = 0;
inline constexpr DWORD CTRL_BREAK_EVENT = 1;
inline constexpr DWORD CTRL_CLOSE_EVENT = 2;
inline constexpr DWORD CTRL_LOGOFF_EVENT = 5;
inline constexpr DWORD CTRL_SHUTDOWN_EVENT = 6;

// ---- pinned layouts ------------------------------------------------------------------

static_assert(sizeof(COORD) == 4 && offsetof(COORD, Y) == 2);
static_assert(sizeof(SMALL_RECT) == 8 && offsetof(SMALL_RECT, Bottom) == 6);
static_assert(sizeof(CHAR_INFO) == 4 && offsetof(CHAR_INFO, Attributes) == 2);
static_assert(sizeof(CONSOLE_SCREEN_BUFFER_INFO) == 22);
static_assert(offsetof(CONSOLE_SCREEN_BUFFER_INFO, wAttributes) == 8 &&
              offsetof(CONSOLE_SCREEN_BUFFER_INFO, srWindow) == 10 &&
              offsetof(CONSOLE_SCREEN_BUFFER_INFO, dwMaximumWindowSize) == 18);
static_assert(sizeof(CONSOLE_SCREEN_BUFFER_INFOEX) == 96);
static_assert(offsetof(CONSOLE_SCREEN_BUFFER_INFOEX, dwSize) == 4 &&
              offsetof(CONSOLE_SCREEN_BUFFER_INFOEX, wAttributes) == 12 &&
              offsetof(CONSOLE_SCREEN_BUFFER_INFOEX, srWindow) == 14 &&
              offsetof(CONSOLE_SCREEN_BUFFER_INFOEX, dwMaximumWindowSize) == 22 &&
              offsetof(CONSOLE_SCREEN_BUFFER_INFOEX, wPopupAttributes) == 26 &&
              offsetof(CONSOLE_SCREEN_BUFFER_INFOEX, bFullscreenSupported) == 28 &&
              offsetof(CONSOLE_SCREEN_BUFFER_INFOEX, ColorTable) == 32);
static_assert(sizeof(CONSOLE_CURSOR_INFO) == 8 && sizeof(CONSOLE_FONT_INFO) == 8);
static_assert(sizeof(KEY_EVENT_RECORD) == 16);
static_assert(offsetof(KEY_EVENT_RECORD, wRepeatCount) == 4 &&
              offsetof(KEY_EVENT_RECORD, wVirtualKeyCode) == 6 &&
              offsetof(KEY_EVENT_RECORD, wVirtualScanCode) == 8 &&
              offsetof(KEY_EVENT_RECORD, uChar) == 10 &&
              offsetof(KEY_EVENT_RECORD, dwControlKeyState) == 12);
static_assert(sizeof(MOUSE_EVENT_RECORD) == 16 &&
              offsetof(MOUSE_EVENT_RECORD, dwButtonState) == 4 &&
              offsetof(MOUSE_EVENT_RECORD, dwControlKeyState) == 8 &&
              offsetof(MOUSE_EVENT_RECORD, dwEventFlags) == 12);
static_assert(sizeof(WINDOW_BUFFER_SIZE_RECORD) == 4 && sizeof(MENU_EVENT_RECORD) == 4 &&
              sizeof(FOCUS_EVENT_RECORD) == 4);
static_assert(sizeof(INPUT_RECORD) == 20 && offsetof(INPUT_RECORD, Event) == 4);
