// Windows attributes, mode words and times of file system objects, and the
// name match of the find functions.
#include "internal/fileinfo.h"
#include "fileapi.h"
#include "internal/sys.h"
#include "stringapiset.h"
#include "timezoneapi.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

bool IsSpecial(uint32_t mode) {
    return S_ISCHR(mode) || S_ISBLK(mode) || S_ISFIFO(mode) || S_ISSOCK(mode);
}

FILETIME FromStatx(const struct statx_timestamp& t) {
    struct timespec s;
    s.tv_sec = static_cast<time_t>(t.tv_sec);
    s.tv_nsec = static_cast<long>(t.tv_nsec);
    return FileTimeFromTimespec(s);
}

} // namespace

std::string_view FileNamePart(const char* posixPath) {
    size_t n = std::strlen(posixPath);
    while (n > 0 && posixPath[n - 1] == '/') n--;
    size_t start = n;
    while (start > 0 && posixPath[start - 1] != '/') start--;
    return std::string_view(posixPath + start, n - start);
}

DWORD FileAttributesFromMode(uint32_t lmode, bool targetIsDirectory, std::string_view name) {
    DWORD attrs = 0;
    if (S_ISLNK(lmode)) {
        attrs |= FILE_ATTRIBUTE_REPARSE_POINT;
        if (targetIsDirectory) attrs |= FILE_ATTRIBUTE_DIRECTORY;
    } else if (S_ISDIR(lmode)) {
        attrs |= FILE_ATTRIBUTE_DIRECTORY;
    }
    // A link's own mode always allows writing, so a link is never read-only.
    if (!(lmode & S_IWUSR)) attrs |= FILE_ATTRIBUTE_READONLY;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") {
        attrs |= FILE_ATTRIBUTE_HIDDEN;
        if (IsSpecial(lmode)) attrs |= FILE_ATTRIBUTE_DEVICE;
        return attrs;
    }
    if (S_ISREG(lmode) || S_ISLNK(lmode)) return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
    if (IsSpecial(lmode)) return attrs | FILE_ATTRIBUTE_DEVICE;
    return attrs;
}

DWORD FileAttributesOf(const struct stat& lst, const char* posixPath) {
    bool targetDir = false;
    if (S_ISLNK(lst.st_mode)) {
        struct stat target;
        targetDir = ::stat(posixPath, &target) == 0 && S_ISDIR(target.st_mode);
    }
    return FileAttributesFromMode(lst.st_mode, targetDir, FileNamePart(posixPath));
}

bool FileTimesOf(int fd, const char* path, bool nofollow, FILETIME* creation, FILETIME* access,
                 FILETIME* write) {
    struct statx sx;
    int flags = path ? (nofollow ? AT_SYMLINK_NOFOLLOW : 0) : AT_EMPTY_PATH;
    if (::statx(path ? AT_FDCWD : fd, path ? path : "", flags,
                STATX_ATIME | STATX_MTIME | STATX_BTIME, &sx) != 0)
        return false;
    if (access) *access = FromStatx(sx.stx_atime);
    if (write) *write = FromStatx(sx.stx_mtime);
    if (creation)
        *creation = (sx.stx_mask & STATX_BTIME) ? FromStatx(sx.stx_btime) : FromStatx(sx.stx_mtime);
    return true;
}

int FileFactsAt(int dirfd, const char* path, FILE_FACTS* out) {
    struct statx sx;
    if (QSysStatx(dirfd, path, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return errno;
    *out = FILE_FACTS{};
    out->mode = sx.stx_mode;
    out->size = sx.stx_size;
    out->blocks = sx.stx_blocks;
    out->uid = sx.stx_uid;
    out->gid = sx.stx_gid;
    out->access = FromStatx(sx.stx_atime);
    out->write = FromStatx(sx.stx_mtime);
    out->creation = (sx.stx_mask & STATX_BTIME) ? FromStatx(sx.stx_btime) : out->write;
    // The attribute is only meaningful where the kernel says it reports it.
    out->mountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
                     (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    if (S_ISLNK(sx.stx_mode)) {
        // A dangling link, or one that loops, is still described: as a link
        // without a target.
        struct statx target;
        int saved = errno;
        if (QSysStatx(dirfd, path, 0, STATX_TYPE | STATX_MODE, &target) == 0)
            out->targetMode = target.stx_mode;
        errno = saved;
    }
    return 0;
}

DWORD FileFactsAttributes(const FILE_FACTS& facts, std::string_view name) {
    return FileAttributesFromMode(facts.mode, S_ISDIR(facts.targetMode), name);
}

FILE_MODE_WORD FileFactsModeWord(const FILE_FACTS& facts) {
    return FileModeWordFromMode(facts.targetMode ? facts.targetMode : facts.mode);
}

DWORD FileFactsFindTag(const FILE_FACTS& facts, std::string_view name) {
    if (S_ISLNK(facts.mode)) return FIND_DATA_SYMLINK_TAG;
    if (S_ISDIR(facts.mode) && facts.mountRoot && name != "." && name != "..")
        return FIND_DATA_MOUNT_TAG;
    return 0;
}

void FilePermissionText(uint32_t lmode, uint32_t perm, char* out) {
    char type = '-';
    if (S_ISDIR(lmode))
        type = 'd';
    else if (S_ISLNK(lmode))
        type = 'l';
    else if (S_ISCHR(lmode))
        type = 'c';
    else if (S_ISBLK(lmode))
        type = 'b';
    else if (S_ISFIFO(lmode))
        type = 'p';
    else if (S_ISSOCK(lmode))
        type = 's';
    out[0] = type;
    static const char kLetters[] = "rwxrwxrwx";
    for (int i = 0; i < 9; i++) out[1 + i] = (perm & (0400u >> i)) ? kLetters[i] : '-';
    // The special bits take the execute place of their class: lower case
    // when that class may also execute.
    if (perm & S_ISUID) out[3] = (perm & S_IXUSR) ? 's' : 'S';
    if (perm & S_ISGID) out[6] = (perm & S_IXGRP) ? 's' : 'S';
    if (perm & S_ISVTX) out[9] = (perm & S_IXOTH) ? 't' : 'T';
    out[10] = ' ';
    for (int i = 0; i < 4; i++) out[11 + i] = static_cast<char>('0' + ((perm >> (9 - 3 * i)) & 7));
    out[15] = 0;
}

namespace {

// One character of a name or pattern: a surrogate pair counts as one.
size_t CharUnits(const WCHAR* s) {
    return (s[0] >= 0xD800 && s[0] <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) ? 2 : 1;
}

WCHAR Lower(WCHAR u) {
    CharLowerBuffW(&u, 1);
    return u;
}

} // namespace

bool FindMatchName(const WCHAR* pattern, const WCHAR* name) {
    if (pattern[0] == '*' && pattern[1] == '.' && pattern[2] == 0) {
        for (const WCHAR* q = name; *q; q++)
            if (*q == '.') return false;
        return true;
    }
    const WCHAR* p = pattern;
    const WCHAR* n = name;
    const WCHAR* star = nullptr; // the pattern just after the last "*"
    const WCHAR* resume = nullptr; // where the name takes up again after it
    while (*n) {
        if (*p == '*') {
            while (*p == '*') p++;
            star = p;
            resume = n;
            continue;
        }
        size_t units = CharUnits(n);
        if (*p == '?') {
            p++;
            n += units;
            continue;
        }
        if (*p && units == 1 && Lower(*p) == Lower(*n)) {
            p++;
            n++;
            continue;
        }
        if (*p && units == 2 && p[0] == n[0] && p[1] == n[1]) {
            p += 2;
            n += 2;
            continue;
        }
        if (!star) return false;
        // Let the last "*" take one more character of the name.
        resume += CharUnits(resume);
        n = resume;
        p = star;
    }
    while (*p == '*') p++;
    return *p == 0;
}
