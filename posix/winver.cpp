// The file-version functions with their fixed answers: no file carries a
// version resource here.
#include "winver.h"
#include "errhandlingapi.h"
#include "winerror.h"

DWORD GetFileVersionInfoSizeW(LPCWSTR, LPDWORD handle) {
    if (handle) *handle = 0;
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}

BOOL GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}

BOOL VerQueryValueW(LPCVOID, LPCWSTR, LPVOID* value, PUINT length) {
    if (value) *value = nullptr;
    if (length) *length = 0;
    return FALSE;
}
