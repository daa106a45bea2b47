// The dialogue layer's clipboard text: 8-bit OEM text (as the listings and
// the viewer produce it) put on the clipboard as Unicode text, replacing or
// extending what it holds.
#pragma once

#include <cstddef>

#include "windows.h"

// What ClipboardText and ClipboardTextA do.
inline constexpr int CLIPBOARD_REPLACE = 1;
inline constexpr int CLIPBOARD_APPEND = 2;
inline constexpr int CLIPBOARD_EMPTY = 3;

// CLIPBOARD_EMPTY empties the clipboard. Returns 1, or 0 for any other
// operation.
int ClipboardText(int operation);

// Puts length bytes of text (code page 437; a NUL ends it early) on the
// clipboard: CLIPBOARD_REPLACE replaces the clipboard's text, CLIPBOARD_APPEND
// adds it after the text the clipboard holds. flag is kept for callers that
// pass it and changes nothing. Returns 1, or 0 for an unknown operation or
// when memory runs out.
int ClipboardTextA(int operation, const char* text, size_t length, BOOL flag);
