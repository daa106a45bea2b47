// How many terminal columns the character in one console cell takes, as
// the console's renderer draws it: what a drawer needs to lay text out in
// cells so that whatever stands right of it keeps its column.
#pragma once

#include "wintypes.h"

// 2 for a unit the terminal shows two columns wide (the renderer then wants
// the next cell to be a blank of the same colour), else 1: controls, lone
// surrogates and characters of no width each take the one cell they are
// drawn in.
int ConsoleUnitCells(WCHAR unit);
