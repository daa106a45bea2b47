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
