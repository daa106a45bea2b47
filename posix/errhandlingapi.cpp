// The per-thread last error and the errno table.
#include "errhandlingapi.h"
#include "winerror.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

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

DWORD FilePathNotFoundCode(const char* posixPath) {
    // The parent: the path without its last component and trailing slashes.
    char parent[4097];
    size_t n = posixPath ? std::strlen(posixPath) : 0;
    if (n >= sizeof parent) n = sizeof parent - 1;
    if (n) std::memcpy(parent, posixPath, n);
    parent[n] = 0;
    while (n > 1 && parent[n - 1] == '/') parent[--n] = 0;
    char* slash = std::strrchr(parent, '/');
    if (!slash)
        std::strcpy(parent, ".");
    else
        slash[slash == parent ? 1 : 0] = 0;
    struct stat st;
    return ::stat(parent, &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND
                                                           : ERROR_PATH_NOT_FOUND;
}

DWORD PathErrnoToWin32Error(int err, const char* posixPath) {
    switch (err) {
    case ENOENT: return FilePathNotFoundCode(posixPath);
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    default: return ErrnoToWin32Error(err);
    }
}
