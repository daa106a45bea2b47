// DeviceIoControl: symbolic-link targets as reparse points.
#include "ioapiset.h"
#include "errhandlingapi.h"
#include "internal/handles.h"
#include "qposix_path.h"
#include "qwcrt.h"
#include "winerror.h"

#include <unistd.h>

#include <cstring>

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID, DWORD, LPVOID out, DWORD outSize,
                     LPDWORD returned, LPOVERLAPPED) {
    if (returned) *returned = 0;
    if (code != FSCTL_GET_REPARSE_POINT) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    FILE_OBJECT* f = HandleLookupFile(device);
    if (!f) return FALSE;
    char target[4096];
    ssize_t len = f->path ? ::readlink(f->path, target, sizeof target - 1) : -1;
    if (len < 0) {
        SetLastError(ERROR_NOT_A_REPARSE_POINT);
        return FALSE;
    }
    target[len] = 0;
    WCHAR wide[4097];
    bool relative = target[0] != '/';
    SSIZE_T n;
    if (relative) {
        // A backslash byte inside a component must not turn into a
        // separator: the name escape keeps it one character of the name.
        n = NameFromPosix(target, len, wide, 4097);
        for (SSIZE_T i = 0; i < n; i++)
            if (wide[i] == '/') wide[i] = '\\';
    } else {
        n = PathFromPosix(target, wide, 4097);
    }
    if (n < 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    size_t units = static_cast<size_t>(n);
    size_t total = 4 * units + 28;
    if (!out || outSize < total) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memset(out, 0, total);
    auto* r = static_cast<REPARSE_DATA_BUFFER*>(out);
    r->ReparseTag = IO_REPARSE_TAG_SYMLINK;
    r->ReparseDataLength = static_cast<USHORT>(total - 8);
    auto& s = r->SymbolicLinkReparseBuffer;
    s.SubstituteNameOffset = 0;
    s.SubstituteNameLength = static_cast<USHORT>(2 * (units + 4));
    s.PrintNameOffset = static_cast<USHORT>(2 * (units + 4));
    s.PrintNameLength = static_cast<USHORT>(2 * units);
    s.Flags = relative ? SYMLINK_FLAG_RELATIVE : 0;
    // The substitute name "\??\target", then the print name "target".
    WCHAR* p = s.PathBuffer;
    wmemcpy(p, u"\\??\\", 4);
    wmemcpy(p + 4, wide, units);
    wmemcpy(p + 4 + units, wide, units);
    if (returned) *returned = static_cast<DWORD>(total);
    return TRUE;
}
