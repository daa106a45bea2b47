// The console input records and the virtual-key codes, as the terminal input
// decoder produces them and the console input queue holds them.
#pragma once

#include "wincon.h"
#include "winuser.h"
