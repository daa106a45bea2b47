// Code pages (UTF-8, Windows-1252 as "ANSI", code page 437 as "OEM"), case
// changes through the system's Unicode tables, and the Windows string
// comparisons and copies.
#pragma once

#include "wintypes.h"

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_OEMCP = 1;
inline constexpr UINT CP_UTF8 = 65001;
// MultiByteToWideChar: fail with ERROR_NO_UNICODE_TRANSLATION on invalid
// input instead of converting it.
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;

inline constexpr DWORD NORM_IGNORECASE = 0x1;
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;

struct CPINFO {
    UINT MaxCharSize;
    BYTE DefaultChar[2];
    BYTE LeadByte[12];
};
typedef CPINFO* LPCPINFO;
static_assert(sizeof(CPINFO) == 20);

BOOL GetCPInfo(UINT codePage, LPCPINFO info);
// length -1: up to and including the terminator, which is then counted.
// size 0 returns the units needed; 0 with error 122 when they do not fit.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR out,
                        int size);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int length, LPSTR out,
                        int size, LPCSTR defaultChar, LPBOOL usedDefault);

// A value below 0x10000 in place of the pointer is one character, whose
// case-changed value is returned; otherwise the string changes in place.
LPWSTR CharUpperW(LPWSTR s);
LPWSTR CharLowerW(LPWSTR s);
DWORD CharUpperBuffW(LPWSTR s, DWORD length);
DWORD CharLowerBuffW(LPWSTR s, DWORD length);
LPSTR CharUpperA(LPSTR s);
LPSTR CharLowerA(LPSTR s);
DWORD CharUpperBuffA(LPSTR s, DWORD length);
DWORD CharLowerBuffA(LPSTR s, DWORD length);
BOOL IsCharAlphaW(WCHAR c);
BOOL CharToOemA(LPCSTR src, LPSTR dest);
BOOL CharToOemBuffA(LPCSTR src, LPSTR dest, DWORD length);
BOOL OemToCharA(LPCSTR src, LPSTR dest);
BOOL OemToCharBuffA(LPCSTR src, LPSTR dest, DWORD length);

int lstrcmpW(LPCWSTR s, LPCWSTR t);
int lstrcmpiW(LPCWSTR s, LPCWSTR t);
int lstrcmpiA(LPCSTR s, LPCSTR t);
LPWSTR lstrcpyW(LPWSTR d, LPCWSTR s);
LPWSTR lstrcpynW(LPWSTR d, LPCWSTR s, int n);
int CompareStringW(DWORD locale, DWORD flags, LPCWSTR s, int sLength, LPCWSTR t, int tLength);
// a * b / c with the 64-bit product, rounded half away from zero; -1 when c
// is 0 or the result leaves the 32-bit range.
int MulDiv(int a, int b, int c);

inline constexpr int IS_TEXT_UNICODE_SIGNATURE = 0x8;
inline constexpr int IS_TEXT_UNICODE_REVERSE_SIGNATURE = 0x80;
inline constexpr int IS_TEXT_UNICODE_ODD_LENGTH = 0x200;
// Tells UTF-16LE text by its byte-order mark alone: TRUE only when the bytes
// begin FF FE. The tests found (odd length, signature, reversed signature)
// are ANDed with *tests and stored there when tests is given.
BOOL IsTextUnicode(const void* bytes, int length, int* tests);
