// The generated character-class table (wctype_table.cpp, made by
// gen_wctype.py): the mask of code point c is
// gWctypePages[gWctypeIndex[c >> 8]][c & 0xFF].
#pragma once

#include "wintypes.h"

// Distinct 256-entry pages; identical pages are stored once.
inline constexpr int WCTYPE_PAGE_COUNT = 62;

// Page number of each high byte.
extern const BYTE gWctypeIndex[256];
// Class masks (the QW_* bits of qwcrt.h) of each page, by low byte.
extern const WORD gWctypePages[WCTYPE_PAGE_COUNT][256];
