// The list of drive letters that can be logged, with each drive's type: the
// log dialogs offer it and LogDrive checks a letter against it.
#pragma once

#include "windows.h"

// The listed letters in letter order ('A'..'Z'), their drive types (the
// platform's codes 0-6, 8 for an external disk among the fixed ones) and
// how many there are.
extern BYTE gDriveLetters[26];
extern BYTE gDriveTypes[26];
extern WORD gDriveCount;

// Rebuilds the list from the logical drives (the platform's and the mounted
// remote letters). Returns letter when it is listed; with letter 0 the
// current drive; a letter that is not listed gives 0.
int BuildDriveList(int letter);
// 1 when letter (either case) is in the list, else 0 (0 for an empty list).
int DriveInList(int letter);
