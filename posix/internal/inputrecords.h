// Console input records, control-key and mouse constants and the virtual-key
// codes, laid out exactly as the Windows console API lays them out. They are
// what the terminal input decoder produces and the console input queue holds.
#pragma once

#include "wintypes.h"

#include <cstddef>

// ---- records -------------------------------------------------------------------------------

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
} KEY_EVENT_RECORD, *PKEY_EVENT_RECORD;

typedef struct _MOUSE_EVENT_RECORD {
    COORD dwMousePosition;
    DWORD dwButtonState;
    DWORD dwControlKeyState;
    DWORD dwEventFlags;
} MOUSE_EVENT_RECORD, *PMOUSE_EVENT_RECORD;

typedef struct _WINDOW_BUFFER_SIZE_RECORD {
    COORD dwSize;
} WINDOW_BUFFER_SIZE_RECORD, *PWINDOW_BUFFER_SIZE_RECORD;

typedef struct _MENU_EVENT_RECORD {
    UINT dwCommandId;
} MENU_EVENT_RECORD, *PMENU_EVENT_RECORD;

typedef struct _FOCUS_EVENT_RECORD {
    BOOL bSetFocus;
} FOCUS_EVENT_RECORD, *PFOCUS_EVENT_RECORD;

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

static_assert(sizeof(COORD) == 4 && offsetof(COORD, Y) == 2);
static_assert(sizeof(SMALL_RECT) == 8 && offsetof(SMALL_RECT, Bottom) == 6);
static_assert(sizeof(KEY_EVENT_RECORD) == 16);
static_assert(offsetof(KEY_EVENT_RECORD, wRepeatCount) == 4);
static_assert(offsetof(KEY_EVENT_RECORD, wVirtualKeyCode) == 6);
static_assert(offsetof(KEY_EVENT_RECORD, wVirtualScanCode) == 8);
static_assert(offsetof(KEY_EVENT_RECORD, uChar) == 10 && sizeof(KEY_EVENT_RECORD::uChar) == 2);
static_assert(offsetof(KEY_EVENT_RECORD, dwControlKeyState) == 12);
static_assert(sizeof(MOUSE_EVENT_RECORD) == 16);
static_assert(offsetof(MOUSE_EVENT_RECORD, dwButtonState) == 4);
static_assert(offsetof(MOUSE_EVENT_RECORD, dwControlKeyState) == 8);
static_assert(offsetof(MOUSE_EVENT_RECORD, dwEventFlags) == 12);
static_assert(sizeof(WINDOW_BUFFER_SIZE_RECORD) == 4 && sizeof(MENU_EVENT_RECORD) == 4);
static_assert(sizeof(FOCUS_EVENT_RECORD) == 4);
static_assert(sizeof(INPUT_RECORD) == 20 && offsetof(INPUT_RECORD, Event) == 4);

// ---- event types -------------------------------------------------------------------------------

inline constexpr WORD KEY_EVENT = 0x0001;
inline constexpr WORD MOUSE_EVENT = 0x0002;
inline constexpr WORD WINDOW_BUFFER_SIZE_EVENT = 0x0004;
inline constexpr WORD MENU_EVENT = 0x0008;
inline constexpr WORD FOCUS_EVENT = 0x0010;

// ---- control-key state (key and mouse records) --------------------------------------------

inline constexpr DWORD RIGHT_ALT_PRESSED = 0x0001;
inline constexpr DWORD LEFT_ALT_PRESSED = 0x0002;
inline constexpr DWORD RIGHT_CTRL_PRESSED = 0x0004;
inline constexpr DWORD LEFT_CTRL_PRESSED = 0x0008;
inline constexpr DWORD SHIFT_PRESSED = 0x0010;
inline constexpr DWORD NUMLOCK_ON = 0x0020;
inline constexpr DWORD SCROLLLOCK_ON = 0x0040;
inline constexpr DWORD CAPSLOCK_ON = 0x0080;
inline constexpr DWORD ENHANCED_KEY = 0x0100;

// ---- mouse buttons and event flags -------------------------------------------------------------

inline constexpr DWORD FROM_LEFT_1ST_BUTTON_PRESSED = 0x0001;
inline constexpr DWORD RIGHTMOST_BUTTON_PRESSED = 0x0002;
inline constexpr DWORD FROM_LEFT_2ND_BUTTON_PRESSED = 0x0004;
inline constexpr DWORD FROM_LEFT_3RD_BUTTON_PRESSED = 0x0008;
inline constexpr DWORD FROM_LEFT_4TH_BUTTON_PRESSED = 0x0010;

inline constexpr DWORD MOUSE_MOVED = 0x0001;
inline constexpr DWORD DOUBLE_CLICK = 0x0002;
inline constexpr DWORD MOUSE_WHEELED = 0x0004;
inline constexpr DWORD MOUSE_HWHEELED = 0x0008;

// ---- virtual keys (a US PC keyboard; letters and digits are their ASCII codes) ------------

inline constexpr WORD VK_CANCEL = 0x03;
inline constexpr WORD VK_BACK = 0x08;
inline constexpr WORD VK_TAB = 0x09;
inline constexpr WORD VK_CLEAR = 0x0C;
inline constexpr WORD VK_RETURN = 0x0D;
inline constexpr WORD VK_SHIFT = 0x10;
inline constexpr WORD VK_CONTROL = 0x11;
inline constexpr WORD VK_MENU = 0x12;
inline constexpr WORD VK_PAUSE = 0x13;
inline constexpr WORD VK_CAPITAL = 0x14;
inline constexpr WORD VK_ESCAPE = 0x1B;
inline constexpr WORD VK_SPACE = 0x20;
inline constexpr WORD VK_PRIOR = 0x21;
inline constexpr WORD VK_NEXT = 0x22;
inline constexpr WORD VK_END = 0x23;
inline constexpr WORD VK_HOME = 0x24;
inline constexpr WORD VK_LEFT = 0x25;
inline constexpr WORD VK_UP = 0x26;
inline constexpr WORD VK_RIGHT = 0x27;
inline constexpr WORD VK_DOWN = 0x28;
inline constexpr WORD VK_SNAPSHOT = 0x2C;
inline constexpr WORD VK_INSERT = 0x2D;
inline constexpr WORD VK_DELETE = 0x2E;
inline constexpr WORD VK_LWIN = 0x5B;
inline constexpr WORD VK_RWIN = 0x5C;
inline constexpr WORD VK_APPS = 0x5D;
inline constexpr WORD VK_NUMPAD0 = 0x60;
inline constexpr WORD VK_NUMPAD1 = 0x61;
inline constexpr WORD VK_NUMPAD2 = 0x62;
inline constexpr WORD VK_NUMPAD3 = 0x63;
inline constexpr WORD VK_NUMPAD4 = 0x64;
inline constexpr WORD VK_NUMPAD5 = 0x65;
inline constexpr WORD VK_NUMPAD6 = 0x66;
inline constexpr WORD VK_NUMPAD7 = 0x67;
inline constexpr WORD VK_NUMPAD8 = 0x68;
inline constexpr WORD VK_NUMPAD9 = 0x69;
inline constexpr WORD VK_MULTIPLY = 0x6A;
inline constexpr WORD VK_ADD = 0x6B;
inline constexpr WORD VK_SEPARATOR = 0x6C;
inline constexpr WORD VK_SUBTRACT = 0x6D;
inline constexpr WORD VK_DECIMAL = 0x6E;
inline constexpr WORD VK_DIVIDE = 0x6F;
inline constexpr WORD VK_F1 = 0x70;
inline constexpr WORD VK_F2 = 0x71;
inline constexpr WORD VK_F3 = 0x72;
inline constexpr WORD VK_F4 = 0x73;
inline constexpr WORD VK_F5 = 0x74;
inline constexpr WORD VK_F6 = 0x75;
inline constexpr WORD VK_F7 = 0x76;
inline constexpr WORD VK_F8 = 0x77;
inline constexpr WORD VK_F9 = 0x78;
inline constexpr WORD VK_F10 = 0x79;
inline constexpr WORD VK_F11 = 0x7A;
inline constexpr WORD VK_F12 = 0x7B;
inline constexpr WORD VK_F13 = 0x7C;
inline constexpr WORD VK_F24 = 0x87;
inline constexpr WORD VK_NUMLOCK = 0x90;
inline constexpr WORD VK_SCROLL = 0x91;
inline constexpr WORD VK_LSHIFT = 0xA0;
inline constexpr WORD VK_RSHIFT = 0xA1;
inline constexpr WORD VK_LCONTROL = 0xA2;
inline constexpr WORD VK_RCONTROL = 0xA3;
inline constexpr WORD VK_LMENU = 0xA4;
inline constexpr WORD VK_RMENU = 0xA5;
inline constexpr WORD VK_OEM_1 = 0xBA;      // ; :
inline constexpr WORD VK_OEM_PLUS = 0xBB;   // = +
inline constexpr WORD VK_OEM_COMMA = 0xBC;  // , <
inline constexpr WORD VK_OEM_MINUS = 0xBD;  // - _
inline constexpr WORD VK_OEM_PERIOD = 0xBE; // . >
inline constexpr WORD VK_OEM_2 = 0xBF;      // / ?
inline constexpr WORD VK_OEM_3 = 0xC0;      // ` ~
inline constexpr WORD VK_OEM_4 = 0xDB;      // [ {
inline constexpr WORD VK_OEM_5 = 0xDC;      // \ |
inline constexpr WORD VK_OEM_6 = 0xDD;      // ] }
inline constexpr WORD VK_OEM_7 = 0xDE;      // ' "
inline constexpr WORD VK_OEM_102 = 0xE2;    // \ | on the 102-key board
inline constexpr WORD VK_PACKET = 0xE7;     // a character no key of the layout types
