// The shell's bulk file operations (the shellapi.h family): SHFileOperationW
// over lists of files and whole trees, with the tree copy and removal it is
// built on; deletes that may be undone go to the freedesktop trash.
#include "shellapi.h"
#include "errhandlingapi.h"
#include "internal/fileops.h"
#include "internal/posix_util.h"
#include "internal/shell.h"
#include "internal/sys.h"
#include "qposix_path.h"
#include "qwcrt.h"
#include "winerror.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Paths of a tree walk, "%s/%s", stay below this many bytes with the
// terminator.
constexpr size_t kPathBytes = 4096;

// dir + "/" + name; false when the result would be too long.
bool JoinPath(const std::string& dir, const char* name, std::string* out) {
    *out = dir;
    if (out->empty() || out->back() != '/') *out += '/';
    *out += name;
    return out->size() < kPathBytes;
}

// The names in an open directory stream, without "." and "..". Read whole
// before anything is changed, so that a removal or a new entry cannot make
// the listing skip or repeat names. Returns 0 or the read error, which is
// never taken for the end of the listing.
DWORD ReadNames(DIR* dir, std::vector<std::string>* names) {
    for (;;) {
        errno = 0;
        struct dirent* e = QSysReaddir(dir);
        if (!e) return errno ? ErrnoToWin32Error(errno) : ERROR_SUCCESS;
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names->emplace_back(e->d_name);
    }
}

// Opens a directory for listing without following a link that took its
// place after it was examined. Null with errno set.
DIR* OpenDirectory(const char* path) {
    int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return nullptr;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        int e = errno;
        ::close(fd);
        errno = e;
    }
    return dir;
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// True when target is the directory source (described by sourceStat) or
// lies anywhere below it, by the identity of each directory above the
// nearest part of target that exists, links resolved: a copy there would
// copy its own copy without end.
bool TargetInsideSource(const struct stat& sourceStat, const std::string& target) {
    std::string existing = target;
    struct stat st;
    while (::lstat(existing.c_str(), &st) != 0) {
        while (existing.size() > 1 && existing.back() == '/')
            existing.pop_back();
        std::string parent = PosixParent(existing);
        if (parent == existing) break;
        existing = parent;
    }
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(existing.c_str(), nullptr),
                                                     std::free);
    if (!real) return false; // nothing there can be the source; making it fails later
    std::string p = real.get();
    for (;;) {
        if (::stat(p.c_str(), &st) == 0 && st.st_dev == sourceStat.st_dev &&
            st.st_ino == sourceStat.st_ino)
            return true;
        if (p == "/") return false;
        p = PosixParent(p);
    }
}

DWORD CopyEntry(const std::string& source, const std::string& target, bool forMove, bool top);

DWORD CopyLink(const std::string& source, const struct stat& st, const std::string& target) {
    char text[kPathBytes];
    ssize_t n = QSysReadlink(source.c_str(), text, sizeof text);
    if (n < 0) return ErrnoToWin32Error(errno);
    if (static_cast<size_t>(n) >= sizeof text) return ERROR_FILENAME_EXCED_RANGE;
    text[n] = 0;
    if (QSysSymlink(text, target.c_str()) != 0) return ErrnoToWin32Error(errno);
    // Owner and times as far as allowed; the link itself is complete without.
    QSysLchown(target.c_str(), st.st_uid, st.st_gid);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    QSysUtimensat(target.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return ERROR_SUCCESS;
}

DWORD CopyDirectory(const std::string& source, const struct stat& st, const std::string& target,
                    bool forMove, bool top) {
    if (top && TargetInsideSource(st, target)) return ERROR_INVALID_PARAMETER;
    const mode_t perm = st.st_mode & 07777;
    // Made writable for the owner while it is filled; a read-only source
    // directory gets its own bits back at the end.
    bool made = QSysMkdir(target.c_str(), perm | S_IRWXU) == 0;
    if (!made) {
        if (errno != EEXIST) return PathErrnoToWin32Error(errno, target.c_str());
        // An existing directory is copied into. Below the top, a link there
        // is not followed: the copy never writes outside the target tree.
        struct stat tst;
        bool isDir = (top ? ::stat(target.c_str(), &tst) : ::lstat(target.c_str(), &tst)) == 0 &&
                     S_ISDIR(tst.st_mode);
        if (!isDir) return ERROR_FILE_EXISTS;
    }

    DWORD err = ERROR_SUCCESS;
    std::unique_ptr<DIR, DirCloser> dir(OpenDirectory(source.c_str()));
    std::vector<std::string> names;
    if (!dir)
        err = ErrnoToWin32Error(errno);
    else
        err = ReadNames(dir.get(), &names);
    dir.reset();
    for (size_t i = 0; !err && i < names.size(); i++) {
        std::string from, to;
        if (!JoinPath(source, names[i].c_str(), &from) || !JoinPath(target, names[i].c_str(), &to))
            err = ERROR_FILENAME_EXCED_RANGE;
        else
            err = CopyEntry(from, to, forMove, false);
    }

    if (made && (perm & S_IRWXU) != S_IRWXU) {
        // The bits mkdir gave, less the owner bits the source lacks.
        struct stat now;
        if (::lstat(target.c_str(), &now) == 0) {
            mode_t mode = (now.st_mode & 07777 & ~S_IRWXU) | (now.st_mode & perm & S_IRWXU);
            QSysChmod(target.c_str(), mode);
        }
    }
    return err;
}

DWORD CopyEntry(const std::string& source, const std::string& target, bool forMove, bool top) {
    if (source.size() >= kPathBytes || target.size() >= kPathBytes)
        return ERROR_FILENAME_EXCED_RANGE;
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0) return PathErrnoToWin32Error(errno, source.c_str());
    if (S_ISLNK(st.st_mode)) return CopyLink(source, st, target);
    if (S_ISDIR(st.st_mode)) return CopyDirectory(source, st, target, forMove, top);
    if (S_ISFIFO(st.st_mode)) {
        // A fifo is made again; opening it would wait for a writer.
        if (::mkfifo(target.c_str(), st.st_mode & 07777) != 0) return ErrnoToWin32Error(errno);
        return ERROR_SUCCESS;
    }
    // Devices and sockets are not copied: a device read gives data without
    // end or acts on the device, a socket has no data to copy.
    if (!S_ISREG(st.st_mode)) return ERROR_ACCESS_DENIED;
    return FileCopyData(source.c_str(), target.c_str(), false, nullptr, nullptr, nullptr, forMove);
}

DWORD RemoveEntry(const std::string& path) {
    if (path.size() >= kPathBytes) return ERROR_FILENAME_EXCED_RANGE;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return PathErrnoToWin32Error(errno, path.c_str());
    if (!S_ISDIR(st.st_mode)) return QSysUnlink(path.c_str()) == 0 ? 0 : ErrnoToWin32Error(errno);

    std::unique_ptr<DIR, DirCloser> dir(OpenDirectory(path.c_str()));
    if (!dir) return ErrnoToWin32Error(errno);
    std::vector<std::string> names;
    DWORD err = ReadNames(dir.get(), &names);
    dir.reset();
    for (size_t i = 0; !err && i < names.size(); i++) {
        std::string child;
        err = JoinPath(path, names[i].c_str(), &child) ? RemoveEntry(child)
                                                       : ERROR_FILENAME_EXCED_RANGE;
    }
    if (err) return err;
    return QSysRmdir(path.c_str()) == 0 ? 0 : ErrnoToWin32Error(errno);
}

// Flushes the whole file system that holds path, so that a tree copied in
// place of a rename is on the disk before its source goes.
DWORD SyncFileSystemOf(const std::string& path) {
    int fd = ::open(PosixParent(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ErrnoToWin32Error(errno);
    int r = ::syncfs(fd);
    int e = errno;
    ::close(fd);
    return r == 0 ? ERROR_SUCCESS : ErrnoToWin32Error(e);
}

// The error of a failed rename of source to target: a missing name is the
// target's directory when the source is there.
DWORD RenameError(int err, const std::string& source, const std::string& target) {
    return PathErrnoToWin32Error(err, err == ENOENT ? target.c_str() : source.c_str());
}

DWORD MoveItem(const std::string& source, const std::string& target) {
    struct stat st;
    if (::lstat(source.c_str(), &st) != 0) return PathErrnoToWin32Error(errno, source.c_str());
    if (QSysRename(source.c_str(), target.c_str()) == 0) return ERROR_SUCCESS;
    int e = errno;
    if (e != EXDEV) return RenameError(e, source, target);
    // Another file system: the source goes only once the whole copy is done
    // and on the disk.
    DWORD err = TreeCopy(source.c_str(), target.c_str(), true);
    if (!err) err = SyncFileSystemOf(target);
    if (!err) err = TreeRemove(source.c_str());
    return err;
}

DWORD RenameItem(const std::string& source, const std::string& target) {
    struct stat st, tst;
    if (::lstat(source.c_str(), &st) != 0) return PathErrnoToWin32Error(errno, source.c_str());
    // Another file under the new name is never replaced; the same file under
    // another of its names is a rename that changes nothing.
    bool same =
        ::lstat(target.c_str(), &tst) == 0 && tst.st_dev == st.st_dev && tst.st_ino == st.st_ino;
    int r = same ? QSysRename(source.c_str(), target.c_str())
                 : QSysRenameNoReplaceOrCheck(source.c_str(), target.c_str());
    if (r == 0) return ERROR_SUCCESS;
    if (errno == EEXIST) return ERROR_ALREADY_EXISTS;
    return RenameError(errno, source, target);
}

// The POSIX form of a list item, without trailing separators ("dir\" names
// the directory itself; its name is what a copy into a directory takes).
std::string ItemPath(LPCWSTR item) {
    std::string path = PathToPosix(item);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

DWORD RunItem(UINT operation, FILEOP_FLAGS flags, const std::string& source,
              const std::string* dest, bool destIsDir) {
    if (operation == FO_DELETE)
        return (flags & FOF_ALLOWUNDO) ? TrashItem(source.c_str()) : TreeRemove(source.c_str());
    if (!dest) return ERROR_INVALID_PARAMETER;
    if (operation == FO_RENAME) return RenameItem(source, *dest);
    std::string target = *dest;
    if (destIsDir) {
        size_t slash = source.rfind('/');
        std::string base = slash == std::string::npos ? source : source.substr(slash + 1);
        if (!JoinPath(*dest, base.c_str(), &target)) return ERROR_FILENAME_EXCED_RANGE;
    }
    return operation == FO_COPY ? TreeCopy(source.c_str(), target.c_str())
                                : MoveItem(source, target);
}

int Finish(DWORD code) {
    if (code) SetLastError(code);
    return static_cast<int>(code);
}

} // namespace

DWORD TreeCopy(const char* source, const char* target, bool forMove) {
    return CopyEntry(source, target, forMove, true);
}

DWORD TreeRemove(const char* path) {
    return RemoveEntry(path);
}

int SHFileOperationW(LPSHFILEOPSTRUCTW op) {
    if (!op) return Finish(ERROR_INVALID_PARAMETER);
    op->fAnyOperationsAborted = FALSE;
    if (!op->pFrom || !op->pFrom[0]) return Finish(ERROR_INVALID_PARAMETER);
    const UINT operation = op->wFunc;
    if (operation != FO_MOVE && operation != FO_COPY && operation != FO_DELETE &&
        operation != FO_RENAME)
        return Finish(ERROR_INVALID_PARAMETER);

    std::string dest;
    bool haveDest = op->pTo && op->pTo[0];
    bool destIsDir = false;
    if (haveDest) {
        dest = PathToPosix(op->pTo);
        struct stat st;
        destIsDir = ::stat(dest.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    DWORD err = ERROR_SUCCESS;
    for (LPCWSTR item = op->pFrom; *item && !err; item += wcslen(item) + 1)
        err = RunItem(operation, op->fFlags, ItemPath(item), haveDest ? &dest : nullptr, destIsDir);
    return Finish(err);
}

DWORD_PTR SHGetFileInfoW(LPCWSTR, DWORD, SHFILEINFOW* info, UINT infoSize, UINT) {
    if (info && infoSize >= sizeof(SHFILEINFOW)) std::memset(info, 0, sizeof(SHFILEINFOW));
    return 0;
}
