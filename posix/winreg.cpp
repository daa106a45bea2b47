// The registry functions with their fixed answers: no key exists.
#include "winreg.h"
#include "winerror.h"

LONG RegOpenKeyExW(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY result) {
    // Callers that close whatever key they got must not close stale memory.
    if (result) *result = nullptr;
    return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

LONG RegQueryValueExW(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
    return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

LONG RegCloseKey(HKEY) { return static_cast<LONG>(ERROR_SUCCESS); }
