// The per-thread last error and the errno table.
#include "errhandlingapi.h"
#include "winerror.h"

#include <cerrno>

namespace {
thread_local DWORD tLastError = 0;
}

DWORD GetLastError() { return tLastError; }

void SetLastError(DWORD code) { tLastError = code; }

DWORD ErrnoToWin32Error(int err) {
    switch (err) {
    case 0: return ERROR_SUCCESS;
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EACCES: return ERROR_ACCESS_DENIED;
    case EBUSY: return ERROR_SHARING_VIOLATION;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC: return ERROR_DISK_FULL;
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    default: return ERROR_GEN_FAILURE;
    }
}

DWORD SetLastErrorFromErrno(int err) {
    DWORD code = ErrnoToWin32Error(err);
    tLastError = code;
    return code;
}

UINT SetErrorMode(UINT) { return 0; }

BOOL IsDebuggerPresent() { return FALSE; }
