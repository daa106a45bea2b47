// POSIX permissions carried through Win32-shaped records, and changed or
// tested by mode texts ("u+x,g-w", "755", "+R"): the layer's own file-mode
// service, used by the attribute command, the filespec filters and the file
// information panel.
#pragma once

#include "wintypes.h"

// The mode word, carried in dwReserved1 of the find data: FILE_MODE_KNOWN
// (0x8000) | the 12 permission bits (setuid 0x800, setgid 0x400, sticky
// 0x200, then rwx for owner, group and others); FILE_MODE_UNKNOWN (0x4000)
// alone when no mode is known.
typedef WORD FILE_MODE_WORD;
inline constexpr FILE_MODE_WORD FILE_MODE_KNOWN = 0x8000;
inline constexpr FILE_MODE_WORD FILE_MODE_UNKNOWN = 0x4000;

// The mode word of a path: of the object a final link points to, else (a
// dangling link) of the link itself; FILE_MODE_UNKNOWN when the path cannot
// be examined (also for a null or empty path). Does not set the last error.
FILE_MODE_WORD FileGetModeWord(LPCWSTR path);

// Applies a mode text to a 12-bit mode and returns the new 12-bit mode, or
// -1 when the text is not valid. Blanks around the text are ignored; a text
// of more than 63 characters is not valid (it is never cut into another
// one). "+R" clears every write bit, "-R" sets the owner write bit; one to
// four octal digits give the mode itself; otherwise clauses separated by ","
// of who letters (u, g, o, a; none: every bit the process umask allows),
// then one or more operations "+", "-" or "=", each followed by permission
// letters r, w, x, X (x when the mode already has an execute bit or
// isDirectory), s, t, or by one of u, g, o (copy that class's bits).
int FileModeApplyText(LPCWSTR text, int mode, BOOL isDirectory);

// Tests a 12-bit mode against a mode text: 1 when it matches, 0 when not,
// -1 when the text is not valid. One to four octal digits match that exact
// mode; otherwise every clause ("," separated; blanks allowed before a ",")
// of who letters, one operator and letters r, w, x, s, t must hold: "+" the
// selected classes have all the letters (without who letters: any class
// has), "-" none of them, "=" exactly them.
int FileModeMatchesText(LPCWSTR text, int mode);

// Changes the permissions of path (a final link followed) by a mode text.
// Returns 0 and stores the new mode word in *newMode (when given), 87 for a
// text that is not valid, the path error when the path cannot be examined
// (2 or 3 for a missing file or directory), or the Windows code of the
// failed chmod; the mode is changed only when the text changes it. A failure
// code is also left as the last error.
DWORD FileSetModeText(LPCWSTR path, LPCWSTR text, FILE_MODE_WORD* newMode);

// Whether path is a directory itself (a final link is not followed, so a
// link to a directory is not one) owned by the process's effective user.
// FALSE for anything else, also when the path cannot be examined. Does not
// set the last error.
BOOL FileIsOwnDirectory(LPCWSTR path);

// Bytes of the permission text of FileOwnerText, terminator included.
inline constexpr size_t FILE_PERMISSION_TEXT_SIZE = 16;

// Describes the owner and permissions of path (a final link not followed):
// permissionText (FILE_PERMISSION_TEXT_SIZE bytes) receives the type letter
// (d, l, c, b, p, s or - for a regular file), nine rwx letters with s/S and
// t/T for the set-id and sticky bits (the target's bits for a link that
// resolves) and " %04o" of the 12 bits, e.g. "-rwxr-x--- 0750"; ownerText
// (ownerUnits units with the terminator) receives "user:group", numeric ids
// where no name is known, empty when it does not fit. Returns 1, or 0 when
// the path cannot be examined (the outputs are then left alone).
int FileOwnerText(LPCWSTR path, char* permissionText, LPWSTR ownerText, size_t ownerUnits);
