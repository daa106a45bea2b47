// The switch of the QAAP companion interface and its status call. The
// companion's status file is not written yet: the call only answers for the
// switch, which is off unless a start-up option turns it on.
#pragma once

#include "windows.h"

// The interface is on (the options /QB and /QB1 set it).
extern DWORD gQaapOn;
// The interface speaks its current form (/QB) rather than its first one
// (/QB1).
extern DWORD gQaapCurrentForm;

// Sends a status record (operation 1 update, 2 update and close; status and
// state letters, an argument byte, a display-list index) to the companion.
// Returns 0; nothing happens while the interface is off.
int QaapStatus(int operation, int status, int state, int argument, int index);
// True when the companion asks for the mouse wheel (its flag file starts
// with '0'). The companion's files are not kept yet: always false.
BOOL ReadQbrFlag();
