// The speed-search line in the tree's or the file window's lower frame.
#pragma once

#include "windows.h"

// Shows the search line: tree 1 for the tree's search, 0 for the file
// window's; text the search text; markCursor puts a cursor cell after it;
// state 0 searching, 1 ended, 2 no match.
void SpeedSearch(int tree, const WCHAR* text, int markCursor, int state);
