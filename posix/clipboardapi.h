// The clipboard functions of the Windows API on a terminal system: text and
// file lists go to the desktop's clipboard through wl-copy, xclip or xsel,
// and to the terminal through its clipboard sequence; pasting asks the same
// tools and falls back to the program's own last copy.
#pragma once

#include "wintypes.h"

#include <cstddef>

// Clipboard formats. Only CF_UNICODETEXT is read; CF_UNICODETEXT and
// CF_HDROP are written; every other format is accepted and dropped.
inline constexpr UINT CF_TEXT = 1;
inline constexpr UINT CF_OEMTEXT = 7;
inline constexpr UINT CF_UNICODETEXT = 13;
inline constexpr UINT CF_HDROP = 15;

// The header of a CF_HDROP block: pFiles is the offset of the name list
// (UTF-16 names each ending in a zero unit, the list ending in an empty
// name); fWide must be nonzero. 20 bytes.
typedef struct _DROPFILES {
    DWORD pFiles;
    struct {
        LONG x;
        LONG y;
    } pt;
    BOOL fNC;
    BOOL fWide;
} DROPFILES, *LPDROPFILES;
static_assert(sizeof(DROPFILES) == 20 && offsetof(DROPFILES, fWide) == 16);

// Opens the clipboard (always succeeds; the window is not used). Forgets
// the text last read and the block GetClipboardData last handed out.
BOOL OpenClipboard(HWND owner);
// Drops the text and file list set so far; TRUE.
BOOL EmptyClipboard();
// While open: CF_UNICODETEXT replaces the text, CF_HDROP the file list (the
// clipboard owns the GlobalAlloc block from then on and frees the one it
// replaces); any other format is freed and dropped. Returns data. Null with
// last error 6 when the clipboard is not open.
HANDLE SetClipboardData(UINT format, HANDLE data);
// While open and for CF_UNICODETEXT only: the clipboard's text (read from
// the desktop's tool once per opening, else the program's own last copy) in
// a new block that the clipboard owns until the next call, the next
// opening or the close. Null for other formats, when not open, or when
// there is no text.
HANDLE GetClipboardData(UINT format);
// CF_UNICODETEXT only: whether the clipboard holds text that is not empty.
BOOL IsClipboardFormatAvailable(UINT format);
// Hands what was set since opening to the desktop and the terminal, then
// frees everything the clipboard holds; TRUE.
BOOL CloseClipboard();
