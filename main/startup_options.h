// Start-up switches that the command line sets before the program starts
// its work and the lower layers read.
#pragma once

#include "windows.h"

// On at start; the option /NOAPI clears both. On, a file copy (and a move)
// goes through the layer's whole-file copy; off, through the copy engine's
// own buffered read and write loop.
extern DWORD gSystemCopy;
extern DWORD gSystemMove;
