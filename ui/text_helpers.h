// Small helpers of the dialogue layer: moving the remembered text cursor of
// the single-character writers.
#pragma once

#include "windows.h"

inline constexpr WORD CURSOR_UP = 1;
inline constexpr WORD CURSOR_DOWN = 2;
inline constexpr WORD CURSOR_LEFT = 3;
inline constexpr WORD CURSOR_RIGHT = 4;

// Moves the remembered cursor (gCursorRow, gCursorCol) one cell and puts the
// console cursor there: up (row 0 wraps to 250), down (rows 249 and 250 wrap
// to 0), left (column 0 wraps to 1023 one row up), right (column 1023 wraps
// to 0 one row down). The drawing primitives drop cells outside the screen,
// so a cursor that has wrapped beyond it draws nothing.
void CycleCursorRow(WORD direction);
