// Base types of the Windows API subset the program is written against.
// Integer widths follow the Windows ABI (LONG and DWORD are 32 bits), not
// Linux `long`; a WCHAR is one 16-bit UTF-16 unit, never the platform wchar_t.
#pragma once

#include <cstddef>
#include <cstdint>

typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* PCWSTR;
typedef char CHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;

typedef int32_t BOOL;
typedef uint8_t BOOLEAN;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef LONG* PLONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORD64;
typedef int64_t INT64;
typedef uint64_t UINT64;
typedef size_t SIZE_T;
typedef ptrdiff_t SSIZE_T;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef int32_t HRESULT;
typedef int errno_t;

typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BOOL* LPBOOL;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;

// Handles carry values the layer hands out (0x10000 + 4 * slot for the handle
// table, fixed values for modules and the console window); they are never
// dereferenced.
typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef HANDLE HMODULE;
typedef HANDLE HINSTANCE;
typedef HANDLE HWND;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr DWORD MAX_PATH = 260;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

static_assert(sizeof(WCHAR) == 2, "WCHAR is one UTF-16 unit");
static_assert(sizeof(BOOL) == 4 && sizeof(LONG) == 4 && sizeof(DWORD) == 4 && sizeof(UINT) == 4);
static_assert(sizeof(WORD) == 2 && sizeof(BYTE) == 1 && sizeof(SHORT) == 2);
static_assert(sizeof(LONGLONG) == 8 && sizeof(ULONGLONG) == 8);
static_assert(sizeof(HANDLE) == sizeof(void*) && sizeof(ULONG_PTR) == sizeof(void*));
static_assert(sizeof(HRESULT) == 4);
