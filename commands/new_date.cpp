// New date: one time stamp of one item, written through the file utilities
// so that remote drive letters and long paths are served alike.
#include "commands/new_date.h"

#include "platform/file_utils.h"

DWORD SetFileTimesEx(int timeIndex, const WCHAR* path, int listIndex, FILETIME time) {
    (void)listIndex;
    if (!path || !path[0]) return ERROR_INVALID_PARAMETER;
    const DWORD attributes = qioGetFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error ? error : ERROR_FILE_NOT_FOUND;
    }
    // A path names the item itself, a file or a directory: it is opened
    // with backup semantics either way.
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly && !qioSetFileAttributes(path, attributes & ~FILE_ATTRIBUTE_READONLY)) {
        const DWORD error = GetLastError();
        return error ? error : ERROR_ACCESS_DENIED;
    }
    const DWORD error = qioSetFileTime(timeIndex, 0, path, TRUE, &time);
    if (readOnly && !qioSetFileAttributes(path, attributes)) {
        const DWORD restore = GetLastError();
        if (!error) return restore ? restore : ERROR_ACCESS_DENIED;
    }
    return error;
}
