// Windows attributes and times of file system objects.
#include "internal/fileinfo.h"
#include "fileapi.h"
#include "timezoneapi.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

DWORD FileAttributesOf(const struct stat& lst, const char* posixPath) {
    DWORD attrs = 0;
    bool special = S_ISCHR(lst.st_mode) || S_ISBLK(lst.st_mode) || S_ISFIFO(lst.st_mode) ||
                   S_ISSOCK(lst.st_mode);
    if (S_ISLNK(lst.st_mode)) {
        attrs |= FILE_ATTRIBUTE_REPARSE_POINT;
        struct stat target;
        if (::stat(posixPath, &target) == 0 && S_ISDIR(target.st_mode))
            attrs |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (S_ISDIR(lst.st_mode)) {
        attrs |= FILE_ATTRIBUTE_DIRECTORY;
    }
    // A link's own mode always allows writing, so a link is never read-only.
    if (!(lst.st_mode & S_IWUSR)) attrs |= FILE_ATTRIBUTE_READONLY;
    const char* slash = std::strrchr(posixPath, '/');
    const char* name = slash ? slash + 1 : posixPath;
    if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
        attrs |= FILE_ATTRIBUTE_HIDDEN;
        if (special) attrs |= FILE_ATTRIBUTE_DEVICE;
        return attrs;
    }
    if (S_ISREG(lst.st_mode) || S_ISLNK(lst.st_mode)) return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
    if (special) return attrs | FILE_ATTRIBUTE_DEVICE;
    return attrs;
}

bool FileTimesOf(int fd, const char* path, bool nofollow, FILETIME* creation, FILETIME* access,
                 FILETIME* write) {
    struct statx sx;
    int flags = path ? (nofollow ? AT_SYMLINK_NOFOLLOW : 0) : AT_EMPTY_PATH;
    if (::statx(path ? AT_FDCWD : fd, path ? path : "", flags,
                STATX_ATIME | STATX_MTIME | STATX_BTIME, &sx) != 0)
        return false;
    auto ts = [](const struct statx_timestamp& t) {
        struct timespec s;
        s.tv_sec = static_cast<time_t>(t.tv_sec);
        s.tv_nsec = static_cast<long>(t.tv_nsec);
        return FileTimeFromTimespec(s);
    };
    if (access) *access = ts(sx.stx_atime);
    if (write) *write = ts(sx.stx_mtime);
    if (creation) *creation = (sx.stx_mask & STATX_BTIME) ? ts(sx.stx_btime) : ts(sx.stx_mtime);
    return true;
}
