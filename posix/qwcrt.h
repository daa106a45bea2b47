// The wide-string runtime on 16-bit units: wcs*/wmem* functions, ASCII-only
// case mapping, Unicode 5.1 character classes, number parsing, the narrow
// helpers libc lacks and the invalid-parameter stop of the bounded copies.
// Nothing here depends on the locale; nothing allocates except _wcsdup.
//
// Functions whose libc namesake takes wchar_t* are plain C++ overloads on
// WCHAR*. Those whose libc namesake has the same or a convertible signature
// (towupper, iswalpha, strtol, atol, ...) live in namespace qposix and are
// reached through function-like macros below, so that program code never
// calls the locale-dependent libc versions by accident (a DWORD argument
// would otherwise pick libc's wint_t overload), while libc, libstdc++ and the
// libraries loaded at run time keep calling their own.
#pragma once

// Include the libc declarations first, so that the redirects below cannot
// rewrite them.
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <cstring>
#include <cerrno>

#include "wintypes.h"
#include "winerror.h"

// ---- character classes --------------------------------------------------

// Class mask bits of a code point.
inline constexpr WORD QW_UPPER = 0x001;
inline constexpr WORD QW_LOWER = 0x002;
inline constexpr WORD QW_DIGIT = 0x004;
inline constexpr WORD QW_SPACE = 0x008;
inline constexpr WORD QW_PUNCT = 0x010;
inline constexpr WORD QW_CONTROL = 0x020;
inline constexpr WORD QW_BLANK = 0x040;
inline constexpr WORD QW_XDIGIT = 0x080;
inline constexpr WORD QW_ALPHA = 0x100;
inline constexpr WORD QW_DEFINED = 0x200;

// The class mask of c; 0 for values outside 0..0xFFFF.
WORD WideClassMask(int c);

// Digit value of a unit: 0-9 for the decimal digits of the digit table,
// 10-35 for ASCII letters, -1 otherwise.
int WideDigitValue(int c);

// Program code calls these through the macros below. towupper and towlower
// map 'a'-'z' and 'A'-'Z' only and return every other value unchanged. The
// class tests return the bits of c's mask that the class asks for (non-zero
// means true, not 1): alpha 0x103, alnum 0x107, print 0x157, graph 0x117,
// the others their one bit; iswctype(c, mask) is c's mask AND mask. strtol
// and atol are strtol_base below (atol in base 10).
namespace qposix {
int towupper(int c);
int towlower(int c);
int iswctype(int c, int mask);
int iswalpha(int c);
int iswalnum(int c);
int iswdigit(int c);
int iswxdigit(int c);
int iswspace(int c);
int iswupper(int c);
int iswlower(int c);
int iswpunct(int c);
int iswcntrl(int c);
int iswprint(int c);
int iswgraph(int c);
long strtol(const char* s, char** end, int base);
long atol(const char* s);
} // namespace qposix

#define towupper(c) ::qposix::towupper(c)
#define towlower(c) ::qposix::towlower(c)
#define iswctype(c, m) ::qposix::iswctype(c, m)
#define iswalpha(c) ::qposix::iswalpha(c)
#define iswalnum(c) ::qposix::iswalnum(c)
#define iswdigit(c) ::qposix::iswdigit(c)
#define iswxdigit(c) ::qposix::iswxdigit(c)
#define iswspace(c) ::qposix::iswspace(c)
#define iswupper(c) ::qposix::iswupper(c)
#define iswlower(c) ::qposix::iswlower(c)
#define iswpunct(c) ::qposix::iswpunct(c)
#define iswcntrl(c) ::qposix::iswcntrl(c)
#define iswprint(c) ::qposix::iswprint(c)
#define iswgraph(c) ::qposix::iswgraph(c)
#define strtol(s, e, b) ::qposix::strtol(s, e, b)
#define atol(s) ::qposix::atol(s)

// ---- strings of 16-bit units ---------------------------------------------

// Strings end in a 0 unit; lengths and counts are in units. Comparison is by
// unsigned unit value, case folding is 'A'-'Z' <-> 'a'-'z' only. Null
// arguments are the caller's fault: these functions check nothing.

// Units before the terminator.
size_t wcslen(const WCHAR* s);
// Copies s with its terminator; returns d.
WCHAR* wcscpy(WCHAR* d, const WCHAR* s);
// Writes exactly n units: s, then 0s once s ends; no terminator when s has
// n or more units. Returns d.
WCHAR* wcsncpy(WCHAR* d, const WCHAR* s, size_t n);
// Appends s; returns d.
WCHAR* wcscat(WCHAR* d, const WCHAR* s);
// Appends at most n units of s and always a terminator; returns d.
WCHAR* wcsncat(WCHAR* d, const WCHAR* s, size_t n);
// -1, 0 or 1.
int wcscmp(const WCHAR* s, const WCHAR* t);
// Difference of the first differing units within n (the last compared unit
// is at n - 1); 0 when equal or n is 0.
int wcsncmp(const WCHAR* s, const WCHAR* t, size_t n);
// Difference of the first differing units after folding 'A'-'Z' down.
int _wcsicmp(const WCHAR* s, const WCHAR* t);
// As _wcsicmp over at most n units; 0 when n is 0.
int _wcsnicmp(const WCHAR* s, const WCHAR* t, size_t n);
// -1, 0 or 1 over exactly n units, zero units included.
int wmemcmp(const WCHAR* s, const WCHAR* t, size_t n);
// First / last unit equal to c (c = 0 finds the terminator), else null. A c
// that no unit can hold (negative, above 0xFFFF) is never found.
WCHAR* wcschr(const WCHAR* s, int c);
WCHAR* wcsrchr(const WCHAR* s, int c);
// First occurrence of t in s; s itself for an empty t; else null.
WCHAR* wcsstr(const WCHAR* s, const WCHAR* t);
// First unit of s that is in set; null when none or set is empty.
WCHAR* wcspbrk(const WCHAR* s, const WCHAR* set);
// Length of the prefix of s made of units of set (0 for an empty set).
size_t wcsspn(const WCHAR* s, const WCHAR* set);
// Length of the prefix of s free of units of set (all of s for an empty set).
size_t wcscspn(const WCHAR* s, const WCHAR* set);
// Re-entrant tokeniser: starts at s, or at *context when s is null; skips
// delimiters, ends the token by overwriting the next delimiter with 0 and
// saves the position after it in *context. Null (with *context at the end)
// when only delimiters remain; an empty delim returns the whole rest.
WCHAR* wcstok(WCHAR* s, const WCHAR* delim, WCHAR** context);
// New heap copy of s, freed with free(); null when memory is short.
WCHAR* _wcsdup(const WCHAR* s);
// Fold 'a'-'z' up / 'A'-'Z' down, reverse the units; in place, return s.
WCHAR* _wcsupr(WCHAR* s);
WCHAR* _wcslwr(WCHAR* s);
WCHAR* _wcsrev(WCHAR* s);
// First of n units equal to c, else null.
WCHAR* wmemchr(const WCHAR* s, int c, size_t n);
// Sets n units to c; returns d.
WCHAR* wmemset(WCHAR* d, int c, size_t n);
// Copy n units; wmemmove allows the ranges to overlap. Return d.
WCHAR* wmemcpy(WCHAR* d, const WCHAR* s, size_t n);
WCHAR* wmemmove(WCHAR* d, const WCHAR* s, size_t n);

// Count for wcsncpy_s that asks for truncation instead of a stop.
inline constexpr size_t _TRUNCATE = static_cast<size_t>(-1);

// Copies s with its terminator into d of size units and returns 0. Stops the
// program (InvalidParameter) when d is null or size 0, and, after storing an
// empty string in d, when s is null or not shorter than size.
errno_t wcscpy_s(WCHAR* d, size_t size, const WCHAR* s);
// Copies min(count, length of s) units and a terminator into d of size units
// and returns 0; s is read no further than count (or size) units. A count of
// 0 stores an empty string. With count _TRUNCATE a source that does not fit
// is cut to size - 1 units and the result is STRUNCATE (80). Stops the
// program when d is null or size 0, and, after emptying d, when s is null
// or the units to copy do not fit.
errno_t wcsncpy_s(WCHAR* d, size_t size, const WCHAR* s, size_t count);

// Writes "qposix: invalid parameter to <name>" to standard error and aborts.
[[noreturn]] void InvalidParameter(const char* name);

// ---- number conversion -----------------------------------------------------

// The one parser behind every conversion: skips white space, takes a sign,
// reads digits of the base (0 and 16 take a 0x prefix, 0 with a leading zero
// is octal), saturates at limit (limit + 1 for a negative number) with
// errno ERANGE, and sets *end after the last digit taken (to text when none).
int64_t wcstol_core(const WCHAR* text, WCHAR** end, int base, uint64_t limit);

// Decimal, saturating at the 32-bit (_wtoi, _wtol) or 64-bit (_wtoi64) range.
int _wtoi(const WCHAR* s);
LONG _wtol(const WCHAR* s);
int64_t _wtoi64(const WCHAR* s);
// wcstol_core with the 32-bit signed range. Bases 2-36, or 0 for a prefix.
LONG wcstol(const WCHAR* s, WCHAR** end, int base);
// As wcstol with the bound 0xFFFFFFFF for either sign: on overflow ERANGE
// and 0xFFFFFFFF; a '-' number gives its 32-bit two's complement.
ULONG wcstoul(const WCHAR* s, WCHAR** end, int base);
// Narrow strtol (qposix::strtol and atol, base 10, are the same): skips
// ASCII white space, then parses at most 95 bytes with wcstol_core and the
// 64-bit range; bytes from 127 up are no digits. *end points into s (to s
// itself when nothing was converted).
long strtol_base(const char* s, char** end, int base);

// ---- narrow helpers ---------------------------------------------------------

// Differences of the first differing bytes (unsigned) after folding
// 'A'-'Z' down: to the terminator, within n bytes, or over exactly n bytes
// (_memicmp, zero bytes included).
int _stricmp(const char* s, const char* t);
int _strnicmp(const char* s, const char* t, size_t n);
int _memicmp(const void* s, const void* t, size_t n);
// ASCII folding and reversal in place; return s.
char* _strupr(char* s);
char* _strlwr(char* s);
char* _strrev(char* s);
// Writes value in radix 2-36 (lower-case letters) and returns buffer, which
// must hold 34 bytes. Radix 10 is signed, every other radix unsigned 32-bit;
// a radix out of range gives an empty string.
char* _itoa(int value, char* buffer, int radix);

// Latin-1 widening: with a null dest, the length of src; otherwise up to n
// units, the terminator included when it comes within n; returns the units
// written before the terminator.
intptr_t LatinToWide(WCHAR* dest, const char* src, size_t n);
// Latin-1 narrowing: -1 with errno EILSEQ at a unit above 255 (bytes before
// it are written); otherwise as LatinToWide.
intptr_t WideToLatin(char* dest, const WCHAR* src, size_t n);
