// File handles: CreateFile and the functions on open files.
#include "fileapi.h"
#include "errhandlingapi.h"
#include "internal/console_open.h"
#include "internal/fileinfo.h"
#include "internal/handles.h"
#include "internal/sys.h"
#include "qposix_drives.h"
#include "qposix_path.h"
#include "qwcrt.h"
#include "stringapiset.h"
#include "timezoneapi.h"
#include "winerror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Removes the path on close only while it still names the file that was
// opened: another file that took the name meanwhile is left alone.
void CloseFileObject(void* object) {
    auto* f = static_cast<FILE_OBJECT*>(object);
    if (f->fd >= 0) ::close(f->fd);
    if (f->deleteOnClose && f->path) {
        struct stat st;
        if (::lstat(f->path, &st) == 0 && static_cast<uint64_t>(st.st_dev) == f->dev &&
            static_cast<uint64_t>(st.st_ino) == f->ino)
            ::unlink(f->path);
    }
    std::free(f->path);
    delete f;
}

void RegisterFileType() {
    static std::once_flag once;
    std::call_once(once, [] { HandleRegisterType(HANDLE_TYPE_FILE, CloseFileObject); });
}

bool EqualsIgnoreCase(LPCWSTR a, const char16_t* b) { return _wcsicmp(a, b) == 0; }

bool EndsWithSeparator(LPCWSTR name) {
    size_t n = wcslen(name);
    return n > 0 && (name[n - 1] == '\\' || name[n - 1] == '/');
}

HANDLE Fail(DWORD code) {
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
}

int Descriptor(const FILE_OBJECT* f) { return f->fd; }

} // namespace

HANDLE HandleFromDescriptor(int fd) {
    RegisterFileType();
    auto* f = new (std::nothrow) FILE_OBJECT{};
    HANDLE h = f ? HandleAllocate(HANDLE_TYPE_FILE, f) : nullptr;
    if (!h) {
        delete f;
        ::close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    f->fd = fd;
    struct stat st;
    if (::fstat(fd, &st) == 0) {
        f->dev = st.st_dev;
        f->ino = st.st_ino;
    }
    return h;
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
    if (!name) return Fail(ERROR_INVALID_PARAMETER);
    if (EqualsIgnoreCase(name, u"CONIN$") || EqualsIgnoreCase(name, u"CONOUT$")) {
        HANDLE h = ConsoleOpenByName(EqualsIgnoreCase(name, u"CONIN$"));
        return h ? h : INVALID_HANDLE_VALUE;
    }
    const char* posix = EqualsIgnoreCase(name, u"NUL") ? "/dev/null" : PathToPosix(name);

    int mode;
    if ((access & GENERIC_ALL) || ((access & GENERIC_READ) && (access & GENERIC_WRITE)))
        mode = O_RDWR;
    else if (access & (GENERIC_WRITE | FILE_WRITE_DATA))
        mode = O_WRONLY;
    else
        mode = O_RDONLY;
    int oflags = mode | O_CLOEXEC;
    bool creates = false;
    switch (disposition) {
    case CREATE_NEW: oflags |= O_CREAT | O_EXCL; creates = true; break;
    case CREATE_ALWAYS: oflags |= O_CREAT | O_TRUNC; creates = true; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: oflags |= O_CREAT; creates = true; break;
    case TRUNCATE_EXISTING: oflags |= O_TRUNC; break;
    default: return Fail(ERROR_INVALID_PARAMETER);
    }
    mode_t perms = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

    FILE_OBJECT object{};
    object.fd = -1;
    struct stat lst;
    bool existed = ::lstat(posix, &lst) == 0;
    int fd = -1;
    if (existed) {
        struct stat target;
        bool haveTarget = ::stat(posix, &target) == 0;
        bool targetDir = haveTarget && S_ISDIR(target.st_mode);
        if (S_ISLNK(lst.st_mode) && (flags & FILE_FLAG_OPEN_REPARSE_POINT)) {
            fd = ::open(posix, O_PATH | O_NOFOLLOW | O_CLOEXEC);
            object.isLink = 1;
            object.isDirectory = targetDir;
        } else if (targetDir) {
            if (!(flags & FILE_FLAG_BACKUP_SEMANTICS))
                return Fail(EndsWithSeparator(name) ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
            fd = ::open(posix, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            object.isDirectory = 1;
        } else if (haveTarget && !S_ISREG(target.st_mode) && mode == O_RDONLY && !creates) {
            // A device, fifo or socket read without data: a reference to the
            // path, so that opening never blocks on a fifo.
            fd = ::open(posix, O_PATH | O_CLOEXEC);
            object.noData = 1;
        } else {
            fd = QSysOpen(posix, oflags, perms);
        }
    } else {
        fd = QSysOpen(posix, oflags, perms);
    }
    if (fd < 0) return Fail(PathErrnoToWin32Error(errno, posix));

    RegisterFileType();
    auto* f = new (std::nothrow) FILE_OBJECT(object);
    char* path = ::strdup(posix);
    HANDLE h = (f && path) ? HandleAllocate(HANDLE_TYPE_FILE, f) : nullptr;
    bool deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    if (!h) {
        ::close(fd);
        if (deleteOnClose) ::unlink(posix);
        delete f;
        std::free(path);
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    f->fd = fd;
    f->path = path;
    f->deleteOnClose = deleteOnClose;
    struct stat st;
    if (::fstat(fd, &st) == 0) {
        f->dev = st.st_dev;
        f->ino = st.st_ino;
    }
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                     ? ERROR_ALREADY_EXISTS
                     : ERROR_SUCCESS);
    return h;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    WCHAR wide[4097];
    if (!name || MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 4097) == 0)
        return Fail(ERROR_INVALID_PARAMETER);
    return CreateFileW(wide, access, share, security, disposition, flags, templateFile);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD length, LPDWORD read, LPOVERLAPPED overlapped) {
    if (read) *read = 0;
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return FALSE;
    if (f->noData || length == 0) return TRUE;
    off_t base = overlapped ? static_cast<off_t>((static_cast<uint64_t>(overlapped->OffsetHigh) << 32) |
                                                 overlapped->Offset)
                            : 0;
    DWORD done = 0;
    while (done < length) {
        char* p = static_cast<char*>(buffer) + done;
        ssize_t n = overlapped ? QSysPread(Descriptor(f), p, length - done, base + done)
                               : QSysRead(Descriptor(f), p, length - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (read) *read = done;
            SetLastError(errno == EISDIR ? ERROR_INVALID_FUNCTION : ErrnoToWin32Error(errno));
            return FALSE;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (read) *read = done;
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD written,
               LPOVERLAPPED overlapped) {
    if (written) *written = 0;
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return FALSE;
    off_t base = overlapped ? static_cast<off_t>((static_cast<uint64_t>(overlapped->OffsetHigh) << 32) |
                                                 overlapped->Offset)
                            : 0;
    DWORD done = 0;
    while (done < length) {
        const char* p = static_cast<const char*>(buffer) + done;
        ssize_t n = overlapped ? QSysPwrite(Descriptor(f), p, length - done, base + done)
                               : QSysWrite(Descriptor(f), p, length - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (written) *written = done;
            SetLastErrorFromErrno(errno);
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return FALSE;
    if (QSysFsync(f->fd) != 0 && errno != EINVAL) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

namespace {

bool Seek(HANDLE file, int64_t distance, DWORD method, int64_t* position) {
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return false;
    if (method > FILE_END) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    off_t r = ::lseek(f->fd, static_cast<off_t>(distance), kWhence[method]);
    if (r < 0) {
        // EINVAL from lseek means the position would be before the start.
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrnoToWin32Error(errno));
        return false;
    }
    *position = r;
    return true;
}

} // namespace

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    int64_t d = distanceHigh ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                    static_cast<uint32_t>(distance))
                             : static_cast<int64_t>(distance);
    int64_t pos;
    if (!Seek(file, d, method, &pos)) return INVALID_SET_FILE_POINTER;
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(pos);
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                      DWORD method) {
    int64_t pos;
    if (!Seek(file, distance.QuadPart, method, &pos)) return FALSE;
    if (newPosition) newPosition->QuadPart = pos;
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return FALSE;
    struct stat st;
    if (::fstat(f->fd, &st) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    size->QuadPart = st.st_size;
    return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) return INVALID_FILE_SIZE;
    if (high) *high = static_cast<DWORD>(static_cast<uint64_t>(size.QuadPart) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size.QuadPart);
}

BOOL SetEndOfFile(HANDLE file) {
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return FALSE;
    off_t pos = ::lseek(f->fd, 0, SEEK_CUR);
    if (pos < 0 || QSysFtruncate(f->fd, pos) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write) {
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return FALSE;
    bool ok = f->isLink ? FileTimesOf(-1, f->path, true, creation, access, write)
                        : FileTimesOf(f->fd, nullptr, false, creation, access, write);
    if (!ok) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write) {
    (void)creation; // the file systems keep no settable creation time
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return FALSE;
    auto given = [](const FILETIME* t) { return t && (t->dwLowDateTime || t->dwHighDateTime); };
    if (!given(access) && !given(write)) return TRUE;
    struct timespec ts[2];
    ts[0] = given(access) ? TimespecFromFileTime(*access) : timespec{0, UTIME_OMIT};
    ts[1] = given(write) ? TimespecFromFileTime(*write) : timespec{0, UTIME_OMIT};
    int r;
    if (f->isLink)
        r = QSysUtimensat(f->path, ts, AT_SYMLINK_NOFOLLOW);
    else if (f->noData && f->path)
        r = QSysUtimensat(f->path, ts, 0);
    else
        r = QSysFutimens(f->fd, ts);
    if (r != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return FALSE;
    struct stat st;
    int r = f->isLink ? ::lstat(f->path, &st) : ::fstat(f->fd, &st);
    if (r != 0 || !(f->isLink ? FileTimesOf(-1, f->path, true, &info->ftCreationTime,
                                            &info->ftLastAccessTime, &info->ftLastWriteTime)
                              : FileTimesOf(f->fd, nullptr, false, &info->ftCreationTime,
                                            &info->ftLastAccessTime, &info->ftLastWriteTime))) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    info->dwFileAttributes = FileAttributesOf(st, f->path ? f->path : "");
    info->dwVolumeSerialNumber = DeviceSerialNumber(st.st_dev);
    info->nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
    info->nFileSizeLow = static_cast<DWORD>(st.st_size);
    info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
    info->nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_ino) >> 32);
    info->nFileIndexLow = static_cast<DWORD>(st.st_ino);
    return TRUE;
}
