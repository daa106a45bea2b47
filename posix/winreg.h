// The registry. This platform keeps none: every key is missing, so callers
// take the branch for an absent key or value.
#pragma once

#include "wintypes.h"

typedef HANDLE HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

// The predefined root keys.
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))

// Access rights and value types callers pass or test for.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_DWORD = 4;

// Stores null in *result (when result is given) and returns 2
// (ERROR_FILE_NOT_FOUND) for every key. The last error is not changed.
LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);

// Returns 2 (ERROR_FILE_NOT_FOUND) and writes nothing: no type, no data, no
// size. The last error is not changed.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);

// Returns 0: there is nothing to close.
LONG RegCloseKey(HKEY key);
