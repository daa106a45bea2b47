// The session temporary directory: each running file manager owns one
// directory QTMP000 to QTMP999 under QTEMP (else the system's temporary
// directory), where archivers, viewers, the error log and generated scripts
// put their files. It is taken by holding a lock on its QBK.PID, exported to
// child programs as "#QBTemp" and removed again at shut-down.
#pragma once

#include "wintypes.h"

#include <cstddef>

// Room of gSessionTempDir: at most 520 units and the terminator.
inline constexpr size_t SESSION_DIR_UNITS = 521;

// The session directory, without a trailing backslash; empty when the
// session has none.
extern WCHAR gSessionTempDir[SESSION_DIR_UNITS];

// The open QBK.PID of the session directory; null when none. Its lock is
// what tells other sessions that the directory is taken: it is held for the
// whole session and ends with the handle (also when the process dies).
extern HANDLE gPidHandle;

// Start-up: chooses the session directory. The base is QTEMP (at most 520
// units; one trailing ';' dropped), else GetTempPathW, with a backslash
// appended; it must be an existing directory. Candidates QTMP000 to QTMP999
// are examined in turn:
// - none there: it is created and examined again (when another session
//   created it a moment before, it is examined again as well); when it
//   cannot be created it becomes the session directory, without QBK.PID;
// - a plain file: deleted and replaced by a directory (kept when it cannot
//   be deleted, and the next number tried);
// - a directory of this user, not a link: taken when the lock on its
//   QBK.PID (made when missing) can be had, so a stale directory is reused
//   with whatever it holds; a live session's lock sends the search on;
// - anything else (a link, another user's directory) is left alone.
// A taken directory gets the process id in QBK.PID ("%04lx", no line end),
// gPidHandle keeps the file open and locked. "#QBTemp" is set to the
// directory, and gSessionTempDir then holds its short form. With no
// directory at all two lines on standard output ask for QTEMP, TEMP or TMP
// and one key is waited for; the session then runs without one.
// Also fills the session's part of gSessionEndWork: the session directory's
// removal and the tree cursor's directory (through gPathTreeSeam).
void SetupSessionTemp();

// Shut-down (and the console's close events): removes the directory this
// session holds. While the lock is still held everything in it but QBK.PID
// is removed (a path of fewer than 4 units is never emptied); then QBK.PID
// is deleted, closed, and the emptied directory removed. A directory this
// session never locked is left alone: another session may own it. Nothing
// happens on a second call.
void CleanupSessionTemp();

// Removes a directory with everything in it: read-only, hidden and system
// attributes are cleared before a file or directory is deleted. A link is
// removed itself, never entered, whether it is the path given or an entry
// below it, so nothing outside the tree is touched. Returns 0, or the last
// Windows error met (files that cannot be deleted leave their directories
// behind; the rest is still removed).
DWORD RemoveDirTree(const WCHAR* path);

// Test hook: the key wait after the no-directory message goes to wait
// instead of the console (nullptr puts the console back).
void SessionTempSetKeyWaitForTest(void (*wait)());
