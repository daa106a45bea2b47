// The command lines of the text compare window. The compare itself is not
// built yet: its menu draws nothing.
#pragma once

#include "windows.h"

// Draws the compare window's command lines for modifier (0 plain, 1 Ctrl,
// 2 Alt).
void VurCommandMenu(WORD modifier);
