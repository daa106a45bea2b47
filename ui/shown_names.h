// Names as the screen shows them: every drawer of a directory or file name
// lays the name out in cells through these two routines, so that escaped
// bytes read as what they are and double-width characters keep the branch
// lines, columns and frame to their right in place.
#pragma once

#include "windows.h"

#include <string>
#include <string_view>

// Appends to cells the cells that show name readably, one unit per cell: a
// byte that was not UTF-8 (U+DC80..U+DCFF) as U+FFFD; the escaped '\', '*'
// and '?' (U+DC5C, U+DC2A, U+DC3F) as those characters; a character beyond
// U+FFFF (a surrogate pair) and any other lone surrogate as one U+FFFD; a
// character the terminal shows two columns wide followed by a blank for its
// right half, as the renderer wants it.
void AppendShownName(std::u16string& cells, std::u16string_view name);
// Cuts a row of cells to width: a longer row ends in mark in its last cell,
// and a double-width character that would lose its right half to the mark
// gives way to a blank.
void CutShownCells(std::u16string& cells, size_t width, WCHAR mark);
