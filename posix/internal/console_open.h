// How CreateFileW reaches the console: "CONIN$" and "CONOUT$" name the
// console's input and active output handles, which the console owns.
#pragma once

#include "wintypes.h"

// The console's input handle (input true) or active screen buffer; null with
// the last error set when there is no console.
HANDLE ConsoleOpenByName(bool input);
