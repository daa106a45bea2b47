// File version resources. Programs on this platform carry none, so every
// file is unversioned and callers take their no-version branch.
#pragma once

#include "wintypes.h"

typedef UINT* PUINT;

// Stores 0 in *handle (when handle is given), sets last error 1812
// (ERROR_RESOURCE_TYPE_NOT_FOUND) and returns 0, for every path.
DWORD GetFileVersionInfoSizeW(LPCWSTR path, LPDWORD handle);

// Sets last error 1812 and returns FALSE; data is not written.
BOOL GetFileVersionInfoW(LPCWSTR path, DWORD handle, DWORD size, LPVOID data);

// Stores null in *value and 0 in *length (each when given) and returns
// FALSE: no block holds any value. The last error is not changed.
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* value, PUINT length);
