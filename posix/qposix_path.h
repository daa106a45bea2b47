// Text conversion between UTF-8 and UTF-16, and the mapping between Windows
// paths (drive letters, backslashes) and POSIX paths through the drive map.
// File-name bytes that are not valid UTF-8 travel in UTF-16 as U+DC80..U+DCFF
// ("byte escape") and convert back to the same bytes; inside names, the bytes
// a Windows path gives a meaning travel the same way (the name escape below).
#pragma once

#include "wintypes.h"

// Decodes UTF-8 (length < 0: up to the zero byte) into out (outUnits
// including the terminator). Invalid bytes become 0xDC00 + byte with escape
// on, the unit of the byte's value with it off. An overlong form, an encoded
// surrogate or a value above U+10FFFF never decodes to its value: escaped
// byte by byte with escape on, one U+FFFD with it off. Returns the units written
// without the terminator, or -1 when not everything fit; out is terminated
// whenever outUnits >= 1.
SSIZE_T Utf8ToUtf16(const char* text, SSIZE_T length, WCHAR* out, size_t outUnits, bool escape);

// Encodes UTF-16 (length < 0: up to the zero unit) into out (outBytes
// including the terminator). U+DC80..U+DCFF, and the three units of the name
// escape below, give back the escaped byte; other unpaired surrogates take
// the three-byte form. Returns the bytes written
// without the terminator, or -1 when not everything fit (out is then
// terminated after the last character that fitted).
SSIZE_T Utf16ToUtf8(const WCHAR* text, SSIZE_T length, char* out, size_t outBytes);

// Name escape. A Linux file name may hold the bytes that a Windows path gives
// a meaning: the separator "\" and the wildcards "*" and "?". Where a name or
// a POSIX path becomes a Windows path, each of them travels as U+DC00 + byte
// (U+DC5C, U+DC2A, U+DC3F): lone low surrogates that no UTF-8 decodes to and
// that the byte escape never makes. Utf16ToUtf8, and so PathToPosix, give
// back the byte. A listed name joined to its directory therefore names the
// same file again: "a\b" never splits into directory "a" and file "b", and a
// file named "x*" looked up by its listed name is never taken for a search.
inline constexpr WCHAR QPOSIX_NAME_ESCAPE_BACKSLASH = 0xDC5C;
inline constexpr WCHAR QPOSIX_NAME_ESCAPE_STAR = 0xDC2A;
inline constexpr WCHAR QPOSIX_NAME_ESCAPE_QUESTION = 0xDC3F;

// One file name (bytes, length < 0: up to the zero byte) -> UTF-16 with the
// byte escape and the name escape, into out (outUnits including the
// terminator). Returns the units written without the terminator, or -1 when
// not everything fit (out is then terminated whenever outUnits >= 1).
SSIZE_T NameFromPosix(const char* name, SSIZE_T length, WCHAR* out, size_t outUnits);

// Whether s begins with a drive: an ASCII letter and ':' ("C:", "c:dir").
inline bool PathHasDrive(const WCHAR* s) {
    return ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z')) && s[1] == ':';
}
// Whether s begins with a drive's root: a drive and a separator ("C:\",
// "C:/").
inline bool PathHasDriveRoot(const WCHAR* s) {
    return PathHasDrive(s) && (s[2] == '\\' || s[2] == '/');
}

// Longest path PathToPosix takes, in units of the Windows path and in bytes
// of the POSIX result.
inline constexpr size_t QPOSIX_PATH_MAX_UNITS = 4095;
inline constexpr size_t QPOSIX_PATH_MAX_BYTES = 4095;

// Windows path -> POSIX path (UTF-8) in one of four per-thread buffers used
// in rotation: the result stays valid until the same thread has made four
// more calls; never free it. Null gives null. A drive letter that is not
// mapped gives a path below a file ("/dev/null/..."), which no call can open
// or create; so does the long UNC form "\\?\UNC\...", whose shares the
// layer does not serve. A path too long to map gives a path that every system call
// refuses with ENAMETOOLONG (so the caller's error is 206), never a cut one.
const char* PathToPosix(const WCHAR* path);
// The same for an 8-bit path, each byte taken as one unit.
const char* PathToPosix(const char* path);

// POSIX path -> Windows path: the drive letter whose mount path is the
// longest prefix, ':' and the rest with backslashes; the names in it carry
// the byte escape and the name escape. A path under no drive letter keeps its
// POSIX form with backslashes ("\home\x"). Either maps back to the same
// POSIX path. Returns the length written, or -1 when the output
// (outUnits, including the terminator) is too small.
int PathFromPosix(const char* posix, WCHAR* out, size_t outUnits);

// The display form of a drive-letter path: the drive's mount path (or the
// display name of a share or remote drive) in place of "X:", '/' separators.
// Returns the length written (at most outUnits - 1); 0 when outUnits < 2.
int PathMapDriveLetter(const WCHAR* path, WCHAR* out, size_t outUnits);

// The reverse, for text the user types: a display path, a POSIX path or a
// path starting with "~" becomes a drive-letter path; anything else is
// copied unchanged. Typed "\", "*" and "?" keep their Windows meaning here
// (separator and wildcards): no name escape is applied. Returns the length
// written.
int PathFindDriveLetter(const WCHAR* text, WCHAR* out, size_t outUnits);
