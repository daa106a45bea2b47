// Where the file window is to go next: a directory and, inside it, the file
// to put the cursor on (empty for the directory itself). Set by the command
// that hands the window the jump key.
#pragma once

#include "windows.h"

inline constexpr size_t JUMP_PATH_UNITS = 1025;

extern WCHAR gJumpDir[JUMP_PATH_UNITS];
extern WCHAR gJumpFile[JUMP_PATH_UNITS];
