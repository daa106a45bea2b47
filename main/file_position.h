// The position indicator on the bottom frame of the tree and file windows,
// and its input mode that asks for a position to go to.
#pragma once

#include "windows.h"

// Shows the position index (0-based) of total on the frame (inputMode 0)
// and returns index; with inputMode 1 asks for a 1-based position and
// returns it, 0 when none is given. Until the indicator's drawing and its
// field exist, nothing is drawn and the input mode gives no position.
DWORD ShowFilePositionEx(int inputMode, int frameStyle, DWORD index, DWORD total);
