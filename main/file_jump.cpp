// The file window's jump target.
#include "main/file_jump.h"

WCHAR gJumpDir[JUMP_PATH_UNITS] = {};
WCHAR gJumpFile[JUMP_PATH_UNITS] = {};
