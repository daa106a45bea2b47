// Text conversion between UTF-8 and UTF-16, and the mapping between Windows
// paths (drive letters, backslashes) and POSIX paths through the drive map.
// File-name bytes that are not valid UTF-8 travel in UTF-16 as U+DC80..U+DCFF
// ("byte escape") and convert back to the same bytes.
#pragma once

#include "wintypes.h"

// Decodes UTF-8 (length < 0: up to the zero byte) into out (outUnits
// including the terminator). Invalid bytes become 0xDC00 + byte with escape
// on, the unit of the byte's value with it off. Returns the units written
// without the terminator, or -1 when not everything fit; out is terminated
// whenever outUnits >= 1.
SSIZE_T Utf8ToUtf16(const char* text, SSIZE_T length, WCHAR* out, size_t outUnits, bool escape);

// Encodes UTF-16 (length < 0: up to the zero unit) into out (outBytes
// including the terminator). U+DC80..U+DCFF give back the escaped byte;
// unpaired surrogates take the three-byte form. Returns the bytes written
// without the terminator, or -1 when not everything fit (out is then
// terminated after the last character that fitted).
SSIZE_T Utf16ToUtf8(const WCHAR* text, SSIZE_T length, char* out, size_t outBytes);

// Longest path PathToPosix takes, in units of the Windows path and in bytes
// of the POSIX result.
inline constexpr size_t QPOSIX_PATH_MAX_UNITS = 4095;
inline constexpr size_t QPOSIX_PATH_MAX_BYTES = 4095;

// Windows path -> POSIX path (UTF-8) in one of four per-thread buffers used
// in rotation: the result stays valid until the same thread has made four
// more calls; never free it. Null gives null. A drive letter that is not
// mapped gives a path below a file ("/dev/null/..."), which no call can open
// or create. A path too long to map gives a path that every system call
// refuses with ENAMETOOLONG (so the caller's error is 206), never a cut one.
const char* PathToPosix(const WCHAR* path);
// The same for an 8-bit path, each byte taken as one unit.
const char* PathToPosix(const char* path);

// POSIX path -> Windows path: the drive letter whose mount path is the
// longest prefix, ':' and the rest with backslashes. A path under no drive
// letter keeps its POSIX form with backslashes ("\home\x"), which maps back
// to the same POSIX path. Returns the length written, or -1 when the output
// (outUnits, including the terminator) is too small.
int PathFromPosix(const char* posix, WCHAR* out, size_t outUnits);

// The display form of a drive-letter path: the drive's mount path (or the
// display name of a share or remote drive) in place of "X:", '/' separators.
// Returns the length written (at most outUnits - 1); 0 when outUnits < 2.
int PathMapDriveLetter(const WCHAR* path, WCHAR* out, size_t outUnits);

// The reverse, for text the user types: a display path, a POSIX path or a
// path starting with "~" becomes a drive-letter path; anything else is
// copied unchanged. Returns the length written.
int PathFindDriveLetter(const WCHAR* text, WCHAR* out, size_t outUnits);
