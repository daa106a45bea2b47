// The tree window's line list and its layout switches.
#include "main/tree_window.h"

WCHAR* gTreeLines[2] = {nullptr, nullptr};
DWORD gTreeLineRows[2] = {0, 0};
WORD gTreeIndent = 3;
WORD gTreeFirstLine = 0;
