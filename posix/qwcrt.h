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

size_t wcslen(const WCHAR* s);
WCHAR* wcscpy(WCHAR* d, const WCHAR* s);
WCHAR* wcsncpy(WCHAR* d, const WCHAR* s, size_t n);
WCHAR* wcscat(WCHAR* d, const WCHAR* s);
WCHAR* wcsncat(WCHAR* d, const WCHAR* s, size_t n);
int wcscmp(const WCHAR* s, const WCHAR* t);
int wcsncmp(const WCHAR* s, const WCHAR* t, size_t n);
int _wcsicmp(const WCHAR* s, const WCHAR* t);
int _wcsnicmp(const WCHAR* s, const WCHAR* t, size_t n);
int wmemcmp(const WCHAR* s, const WCHAR* t, size_t n);
WCHAR* wcschr(const WCHAR* s, int c);
WCHAR* wcsrchr(const WCHAR* s, int c);
WCHAR* wcsstr(const WCHAR* s, const WCHAR* t);
WCHAR* wcspbrk(const WCHAR* s, const WCHAR* set);
size_t wcsspn(const WCHAR* s, const WCHAR* set);
size_t wcscspn(const WCHAR* s, const WCHAR* set);
WCHAR* wcstok(WCHAR* s, const WCHAR* delim, WCHAR** context);
WCHAR* _wcsdup(const WCHAR* s);
WCHAR* _wcsupr(WCHAR* s);
WCHAR* _wcslwr(WCHAR* s);
WCHAR* _wcsrev(WCHAR* s);
WCHAR* wmemchr(const WCHAR* s, int c, size_t n);
WCHAR* wmemset(WCHAR* d, int c, size_t n);
WCHAR* wmemcpy(WCHAR* d, const WCHAR* s, size_t n);
WCHAR* wmemmove(WCHAR* d, const WCHAR* s, size_t n);

// Count for wcsncpy_s that asks for truncation instead of a stop.
inline constexpr size_t _TRUNCATE = static_cast<size_t>(-1);

// Bounded copies: stop the program through InvalidParameter on a null or
// too small destination; wcsncpy_s with _TRUNCATE returns STRUNCATE (80)
// when it had to cut.
errno_t wcscpy_s(WCHAR* d, size_t size, const WCHAR* s);
errno_t wcsncpy_s(WCHAR* d, size_t size, const WCHAR* s, size_t count);

// Writes "qposix: invalid parameter to <name>" to standard error and aborts.
[[noreturn]] void InvalidParameter(const char* name);

// ---- number conversion -----------------------------------------------------

// The one parser behind every conversion: skips white space, takes a sign,
// reads digits of the base (0 and 16 take a 0x prefix, 0 with a leading zero
// is octal), saturates at limit (limit + 1 for a negative number) with
// errno ERANGE, and sets *end after the last digit taken (to text when none).
int64_t wcstol_core(const WCHAR* text, WCHAR** end, int base, uint64_t limit);

int _wtoi(const WCHAR* s);
LONG _wtol(const WCHAR* s);
int64_t _wtoi64(const WCHAR* s);
LONG wcstol(const WCHAR* s, WCHAR** end, int base);
ULONG wcstoul(const WCHAR* s, WCHAR** end, int base);
long strtol_base(const char* s, char** end, int base);

// ---- narrow helpers ---------------------------------------------------------

int _stricmp(const char* s, const char* t);
int _strnicmp(const char* s, const char* t, size_t n);
int _memicmp(const void* s, const void* t, size_t n);
char* _strupr(char* s);
char* _strlwr(char* s);
char* _strrev(char* s);
char* _itoa(int value, char* buffer, int radix);

// Latin-1 widening: with a null dest, the length of src; otherwise up to n
// units, the terminator included when it comes within n; returns the units
// written before the terminator.
intptr_t LatinToWide(WCHAR* dest, const char* src, size_t n);
// Latin-1 narrowing: -1 with errno EILSEQ at a unit above 255 (bytes before
// it are written); otherwise as LatinToWide.
intptr_t WideToLatin(char* dest, const WCHAR* src, size_t n);
