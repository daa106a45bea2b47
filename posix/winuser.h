// Window and keyboard functions of the Windows API: the virtual-key codes,
// the keyboard state as the console input last reported it (a US PC
// layout, never a live keyboard), and the DOS-style key reads.
#pragma once

#include "wintypes.h"

// ---- virtual-key codes -----------------------------------------------------------------------
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

// ---- keyboard state -------------------------------------------------------------------

typedef HANDLE HKL;

// The control-key state a 256-byte keyboard state stands for: SHIFT_PRESSED,
// LEFT_CTRL_PRESSED or LEFT_ALT_PRESSED when bit 7 is set for the key or
// either of its left and right keys; CAPSLOCK_ON when bit 0 of VK_CAPITAL is
// set. The layer's own.
DWORD KeyboardStateToControlState(const BYTE* keys);

// The character a key types under a keyboard state (keys may be null: no
// modifiers), into buffer, terminated when size is above 1. VK_PACKET gives
// the character of the last VK_PACKET key read from the console. Returns 1
// when a character was stored, 0 when the key types none, and for a null
// buffer or a size below 1. Scan code and flags are not used.
int ToUnicode(UINT key, UINT scan, const BYTE* keys, LPWSTR buffer, int size, UINT flags);
// The same character as one byte of Windows-1252 in *out: 1, or 0 when
// there is none (or out is null).
int ToAscii(UINT key, UINT scan, const BYTE* keys, WORD* out, UINT flags);
// The key that types c: (shift state << 8) | virtual key, the shift state
// being 0 none, 1 Shift, 2 Ctrl, 3 both; keys off the numeric pad are
// preferred, and fewer modifiers before more. -1 when no key types it.
SHORT VkKeyScanW(WCHAR c);
// Always the US English layout, 0x04090409.
HKL GetKeyboardLayout(DWORD thread);
// Returns layout; the layout in use does not change.
HKL ActivateKeyboardLayout(HKL layout, UINT flags);
// From the key records read last through ReadConsoleInputW: Num Lock and
// Caps Lock give 1 when on; Shift, Ctrl and Alt (either side) give 0x8000
// (negative) when the last key record read had them; any other key gives
// 0x8000 while it is the key last pressed and not yet released.
SHORT GetKeyState(int key);
// GetKeyState(key) & 0x8000.
SHORT GetAsyncKeyState(int key);

// ---- DOS-style key reads ------------------------------------------------------------------

// Waits for a key press and returns it the DOS way: a character as its byte
// (characters above 127 in code page 437); a function, arrow or editing key
// as two calls, 0 or 224 and then the key's code (F1 0 59, Up 224 72, F12
// 224 134). Characters that code page 437 lacks are skipped, never returned
// as 0, which would swallow the next key as an extended code. Without a
// console: the next byte of the standard input. -1 when reading fails.
int _getch();
// Non-zero when _getch would return at once with a key (a second byte
// waiting, or a key press it would deliver queued); nothing is removed.
// Without a console: whether the standard input has bytes ready.
int _kbhit();

// ---- windows ------------------------------------------------------------------------------

// The terminal has no window system. The layer answers with a fixed world of
// pseudo windows sized from the terminal: the console window (0x10010, only
// while the console has a terminal), the desktop (0x10020) and one monitor
// (0x10030). A cell counts as 8 x 16 pixels.

typedef HANDLE HMONITOR;
typedef HANDLE HWINEVENTHOOK;
typedef HANDLE HRGN;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

typedef struct _RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *PRECT, *LPRECT;

typedef struct _POINT {
    LONG x;
    LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct _MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
    DWORD lPrivate;
} MSG, *PMSG, *LPMSG;

typedef struct _GUITHREADINFO {
    DWORD cbSize; // must be 72
    DWORD flags;
    HWND hwndActive;
    HWND hwndFocus;
    HWND hwndCapture;
    HWND hwndMenuOwner;
    HWND hwndMoveSize;
    HWND hwndCaret;
    RECT rcCaret;
} GUITHREADINFO, *PGUITHREADINFO, *LPGUITHREADINFO;

typedef BOOL (*WNDENUMPROC)(HWND window, LPARAM value);
typedef void (*WINEVENTPROC)(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object,
                             LONG child, DWORD thread, DWORD time);

inline constexpr int GWL_STYLE = -16;
inline constexpr LONG WS_MAXIMIZE = 0x01000000;
inline constexpr LONG WS_CAPTION = 0x00C00000;
inline constexpr LONG WS_VISIBLE = 0x10000000;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;

inline constexpr DWORD MONITOR_DEFAULTTONULL = 0;
inline constexpr DWORD MONITOR_DEFAULTTOPRIMARY = 1;
inline constexpr DWORD MONITOR_DEFAULTTONEAREST = 2;

inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_CXVIRTUALSCREEN = 78;
inline constexpr int SM_CYVIRTUALSCREEN = 79;

inline constexpr UINT SPI_GETSCREENSAVEACTIVE = 16;
inline constexpr UINT SPI_SETSCREENSAVEACTIVE = 17;
inline constexpr UINT SPI_GETWORKAREA = 48;

// 0x10010 while the console has a terminal (starting it if needed), else
// null.
HWND GetConsoleWindow();
// 0x10020.
HWND GetDesktopWindow();
// Calls callback once with the console window and value when there is one;
// TRUE in any case.
BOOL EnumWindows(WNDENUMPROC callback, LPARAM value);
// TRUE for the console window and the desktop.
BOOL IsWindow(HWND window);
// FALSE: the pseudo windows are never minimised or maximised.
BOOL IsIconic(HWND window);
BOOL IsZoomed(HWND window);
// 0x10030 for any window.
HMONITOR MonitorFromWindow(HWND window, DWORD flags);
// The console title for the console window, empty text for any other:
// at most size - 1 units and a terminator; the units copied. 0 for a size
// below 1 or a null buffer.
int GetWindowTextW(HWND window, LPWSTR buffer, int size);
// 0, 0, columns x 8, rows x 16 of the terminal for the console window and
// the desktop (starting the console); error 6 and FALSE for any other
// window, error 87 for a null rectangle.
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL GetClientRect(HWND window, LPRECT rect);
// GWL_STYLE of the console window or the desktop: WS_VISIBLE | WS_MAXIMIZE
// | WS_CAPTION. Anything else: 0.
LONG GetWindowLongW(HWND window, int index);
// The console window and the desktop belong to this process: its id into
// *process (may be null) and 1. Any other window: 0 and 0.
DWORD GetWindowThreadProcessId(HWND window, LPDWORD process);
// cbSize must be 72 (else error 87); the record is cleared (cbSize kept)
// and the active and focus windows are the console window.
BOOL GetGUIThreadInfo(DWORD thread, PGUITHREADINFO info);
// TRUE for the console window and the desktop, FALSE for others; nothing
// changes.
BOOL ShowWindow(HWND window, int command);
BOOL SetForegroundWindow(HWND window);
BOOL RedrawWindow(HWND window, const RECT* update, HRGN region, UINT flags);
BOOL SetWindowPos(HWND window, HWND after, int x, int y, int cx, int cy, UINT flags);
// The console window's value, 0x10010.
HWND SetActiveWindow(HWND window);
// No window receives messages: 0.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DispatchMessageW(const MSG* message);
// Clears the record and returns 0, as if the message queue were quitting.
BOOL GetMessageW(LPMSG message, HWND window, UINT first, UINT last);
// No hook is installed: null.
HWINEVENTHOOK SetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE module, WINEVENTPROC callback,
                              DWORD process, DWORD thread, DWORD flags);
// SM_CXSCREEN and SM_CXVIRTUALSCREEN: columns x 8; SM_CYSCREEN and
// SM_CYVIRTUALSCREEN: rows x 16; any other index 0. Starts the console.
int GetSystemMetrics(int index);
// SPI_GETWORKAREA: the screen rectangle into data (a RECT);
// SPI_GETSCREENSAVEACTIVE: FALSE into data (a BOOL); both TRUE, or FALSE
// with error 87 for null data. SPI_SETSCREENSAVEACTIVE: TRUE. Any other
// action: FALSE.
BOOL SystemParametersInfoW(UINT action, UINT value, PVOID data, UINT flags);
// The mouse is always at 0, 0. FALSE for a null point.
BOOL GetCursorPos(LPPOINT point);
BOOL SetCursorPos(int x, int y);
BOOL ClipCursor(const RECT* rect);

// ---- message boxes --------------------------------------------------------------------------

inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_RETRYCANCEL = 0x5;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr UINT MB_DEFBUTTON1 = 0x000;
inline constexpr UINT MB_DEFBUTTON2 = 0x100;
inline constexpr UINT MB_DEFBUTTON3 = 0x200;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Asks on the terminal itself: hands the terminal back to its normal mode
// and screen, writes the caption, ": ", the text and a prompt for the
// buttons of the type (type & 15: MB_OK "Press Enter", MB_YESNO "[Y]es or
// [N]o", ...; other values as MB_OK), and reads a line: its first letter
// chooses a button, an empty line or the end of input the default button
// ((type >> 8) & 15, the first when out of range); any other letter asks
// again. Then the program's screen is taken back and repainted. Without a
// terminal it writes to the standard error stream and reads the standard
// input. Control characters of text and caption (other than line feed,
// carriage return and tab) are shown as U+FFFD, never sent to the terminal.
// Text is cut at 4096 bytes of UTF-8, the caption at 512. Returns IDOK,
// IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES or IDNO.
int MessageBoxW(HWND window, LPCWSTR text, LPCWSTR caption, UINT type);
// Text (at most 4096 bytes) and caption (at most 512) in Windows-1252,
// null as empty; then MessageBoxW.
int MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type);

static_assert(sizeof(RECT) == 16 && sizeof(POINT) == 8);
static_assert(sizeof(GUITHREADINFO) == 72 && offsetof(GUITHREADINFO, hwndActive) == 8 &&
              offsetof(GUITHREADINFO, rcCaret) == 56);
static_assert(sizeof(MSG) == 48 && offsetof(MSG, wParam) == 16 && offsetof(MSG, time) == 32 &&
              offsetof(MSG, pt) == 36);
