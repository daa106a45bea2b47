// The copy engine: file data copied in 1 MiB steps with progress and cancel,
// an existing destination replaced only once the new copy is complete, and
// symbolic links made again rather than followed when they move.
#include "internal/fileops.h"
#include "errhandlingapi.h"
#include "internal/handles.h"
#include "internal/posix_util.h"
#include "internal/sys.h"
#include "handleapi.h"
#include "winerror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

namespace {

constexpr size_t kStep = 0x100000;

// A name in the same directory as target (so that a rename can put it in
// target's place) that no one else is likely to pick; the caller creates it
// exclusively and asks again for another attempt when it is taken.
std::string TempNameBeside(const std::string& target) {
    static std::atomic<uint64_t> counter{0};
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t x = (static_cast<uint64_t>(::getpid()) << 40) ^ (counter.fetch_add(1) << 20) ^
                 static_cast<uint64_t>(ts.tv_nsec) ^ (static_cast<uint64_t>(ts.tv_sec) << 30);
    // splitmix64 finaliser: neighbouring inputs give unrelated names.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    char name[40];
    std::snprintf(name, sizeof name, ".qcopy-%012llx.tmp",
                  static_cast<unsigned long long>(x & 0xFFFFFFFFFFFFull));
    return dir + name;
}

// What the copy writes into.
enum class DestKind {
    New,     // created by this call at the destination name
    Replace, // a temporary name that replaces the old destination at the end
    InPlace, // an existing device or fifo, written as it is
};

struct Destination {
    DestKind kind = DestKind::New;
    int fd = -1;
    std::string written; // the name the data goes to
    std::string target;  // the name the data ends up under
    dev_t dev = 0;       // identity of a file this call created, so that a
    ino_t ino = 0;       // cleanup never removes another that took its name
};

void RecordIdentity(Destination& d) {
    struct stat st;
    if (::fstat(d.fd, &st) == 0) {
        d.dev = st.st_dev;
        d.ino = st.st_ino;
    }
}

// Removes the file this call created, only while the name still stands for it.
void RemoveCreated(const Destination& d) {
    struct stat st;
    if (::lstat(d.written.c_str(), &st) == 0 && st.st_dev == d.dev && st.st_ino == d.ino)
        QSysUnlink(d.written.c_str());
}

void ClearNonBlocking(int fd) {
    int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0 && (fl & O_NONBLOCK)) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
}

// Opens the data's destination as the rules of FileCopyData say.
DWORD OpenDestination(const char* dest, const struct stat& src, bool failIfExists, bool asName,
                      Destination* d) {
    for (int attempt = 0; attempt < 4; attempt++) {
        struct stat lst;
        if (::lstat(dest, &lst) != 0) {
            if (errno != ENOENT) return PathErrnoToWin32Error(errno, dest);
            // Nothing there: created exclusively, so that a file that
            // appears meanwhile is never truncated.
            int fd = QSysOpen(dest, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                if (errno == EEXIST && !failIfExists) continue; // look again
                return PathErrnoToWin32Error(errno, dest);
            }
            d->kind = DestKind::New;
            d->fd = fd;
            d->written = d->target = dest;
            RecordIdentity(*d);
            return ERROR_SUCCESS;
        }
        if (failIfExists) return ERROR_FILE_EXISTS;

        // What the data would go into: the file a link leads to, or for a
        // move the name itself.
        struct stat st = lst;
        bool haveTarget = asName || ::stat(dest, &st) == 0;
        if (!haveTarget && errno != ENOENT) return PathErrnoToWin32Error(errno, dest);
        if (haveTarget) {
            if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
            if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) return ERROR_ACCESS_DENIED;
            if (st.st_dev == src.st_dev && st.st_ino == src.st_ino) return ERROR_SHARING_VIOLATION;
            if (!S_ISREG(st.st_mode) && !asName) {
                // A device or fifo takes the data as it is: it is never
                // truncated, replaced, given the source's attributes or
                // removed. Opening never waits for a fifo's reader.
                int fd = QSysOpen(dest, O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
                if (fd < 0) return PathErrnoToWin32Error(errno, dest);
                ClearNonBlocking(fd);
                d->kind = DestKind::InPlace;
                d->fd = fd;
                d->written = d->target = dest;
                return ERROR_SUCCESS;
            }
        }

        // An existing file (or a dangling link) stays as it is until the new
        // copy is complete. A link to a file has its target replaced, as
        // writing through the link would have changed the target.
        std::string target = dest;
        if (haveTarget && S_ISLNK(lst.st_mode) && !asName) {
            std::unique_ptr<char, decltype(&std::free)> real(::realpath(dest, nullptr), std::free);
            if (!real) return PathErrnoToWin32Error(errno, dest);
            target = real.get();
        }
        // Replacing needs the right to write the file itself, as writing
        // into it would; a running program may be replaced.
        if (haveTarget && S_ISREG(st.st_mode) &&
            ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno != ETXTBSY)
            return PathErrnoToWin32Error(errno, target.c_str());
        for (int tries = 0; tries < 100; tries++) {
            std::string temp = TempNameBeside(target);
            int fd = QSysOpen(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                if (errno == EEXIST) continue;
                return PathErrnoToWin32Error(errno, temp.c_str());
            }
            d->kind = DestKind::Replace;
            d->fd = fd;
            d->written = temp;
            d->target = target;
            RecordIdentity(*d);
            return ERROR_SUCCESS;
        }
        return ERROR_FILE_EXISTS;
    }
    return ERROR_FILE_EXISTS;
}

struct CopyState {
    int in = -1;
    int out = -1;
    int64_t total = 0;
    int64_t done = 0;
    bool readWrite = false; // copy_file_range cannot serve this pair
    std::unique_ptr<char[]> buffer;
    LPPROGRESS_ROUTINE progress = nullptr;
    LPVOID data = nullptr;
    HANDLE sourceHandle = nullptr;
    HANDLE destHandle = nullptr;
    bool quiet = false;
};

DWORD CopyErrno(int err) {
    return ErrnoToWin32Error(err);
}

// Writes all of n bytes.
DWORD WriteAll(int fd, const char* p, size_t n) {
    int err = WriteWhole(fd, p, n);
    return err ? CopyErrno(err) : ERROR_SUCCESS;
}

// One step of at most 1 MiB; *copied is 0 at the end of the source.
DWORD CopyStep(CopyState& s, size_t* copied) {
    *copied = 0;
    if (!s.readWrite) {
        ssize_t n;
        do
            n = QSysCopyFileRange(s.in, s.out, kStep);
        while (n < 0 && errno == EINTR);
        if (n > 0) {
            *copied = static_cast<size_t>(n);
            return ERROR_SUCCESS;
        }
        if (n < 0) {
            if (errno != EOPNOTSUPP && errno != ENOSYS && errno != EXDEV && errno != EINVAL)
                return CopyErrno(errno);
        } else if (s.done > 0 && s.done >= s.total) {
            return ERROR_SUCCESS;
        }
        // Not served, or nothing copied short of the size the file reports
        // (files of /proc report 0 and have data): the data is read instead,
        // here and for the rest of the copy.
        s.readWrite = true;
    }
    if (!s.buffer) {
        s.buffer.reset(new (std::nothrow) char[kStep]);
        if (!s.buffer) return ERROR_NOT_ENOUGH_MEMORY;
    }
    ssize_t n;
    do
        n = QSysRead(s.in, s.buffer.get(), kStep);
    while (n < 0 && errno == EINTR);
    if (n < 0) return CopyErrno(errno);
    if (n == 0) return ERROR_SUCCESS;
    DWORD err = WriteAll(s.out, s.buffer.get(), static_cast<size_t>(n));
    if (err) return err;
    *copied = static_cast<size_t>(n);
    return ERROR_SUCCESS;
}

// Calls the progress routine; true when the copy goes on. *stopped is set for
// PROGRESS_STOP.
bool Report(CopyState& s, DWORD reason, bool* stopped) {
    if (!s.progress || s.quiet) return true;
    LARGE_INTEGER total, done;
    total.QuadPart = s.total;
    done.QuadPart = s.done;
    DWORD answer =
        s.progress(total, done, total, done, 1, reason, s.sourceHandle, s.destHandle, s.data);
    switch (answer) {
    case PROGRESS_CANCEL:
        return false;
    case PROGRESS_STOP:
        *stopped = true;
        return false;
    case PROGRESS_QUIET:
        s.quiet = true;
        return true;
    default:
        return true;
    }
}

bool Cancelled(const BOOL* cancel) {
    // Another thread sets the flag while the copy runs.
    return cancel && __atomic_load_n(cancel, __ATOMIC_RELAXED) != 0;
}

DWORD CopyLoop(CopyState& s, const BOOL* cancel, bool* stopped) {
    if (!Report(s, CALLBACK_STREAM_SWITCH, stopped)) return ERROR_REQUEST_ABORTED;
    for (;;) {
        if (Cancelled(cancel)) return ERROR_REQUEST_ABORTED;
        size_t n;
        DWORD err = CopyStep(s, &n);
        if (err) return err;
        if (n == 0) return ERROR_SUCCESS;
        s.done += static_cast<int64_t>(n);
        if (!Report(s, CALLBACK_CHUNK_FINISHED, stopped)) return ERROR_REQUEST_ABORTED;
    }
}

// A file handle around a duplicate of fd for the progress routine.
DWORD MakeHandle(int fd, HANDLE* out) {
    int dup = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (dup < 0) return ErrnoToWin32Error(errno);
    LastErrorSaver keep;
    *out = HandleFromDescriptor(dup);
    return *out ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

// The source's owner and group when allowed, then its permission bits (a
// change of owner clears setuid), then its times. These failures leave a
// complete copy with the defaults of a new file, as a copy onto a file system
// without owners or modes must. Setuid and setgid stay only with the owner
// and group they were given for: a program copied by another user must not
// run with that user's rights.
void CopyAttributes(int fd, const struct stat& src) {
    if (QSysFchown(fd, src.st_uid, src.st_gid) != 0)
        QSysFchown(fd, static_cast<uid_t>(-1), src.st_gid);
    mode_t mode = src.st_mode & 07777;
    struct stat now;
    if (::fstat(fd, &now) != 0) {
        mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
    } else {
        if (now.st_uid != src.st_uid) mode &= ~static_cast<mode_t>(S_ISUID);
        if (now.st_gid != src.st_gid) mode &= ~static_cast<mode_t>(S_ISGID);
    }
    QSysFchmod(fd, mode);
    struct timespec times[2] = {src.st_atim, src.st_mtim};
    QSysFutimens(fd, times);
}

// Flushes the copy to the disk; file systems that cannot flush are taken as
// done.
DWORD Flush(int fd) {
    if (QSysFsync(fd) == 0 || errno == EINVAL || errno == EROFS) return ERROR_SUCCESS;
    return CopyErrno(errno);
}

// Flushes the directory that holds path, so that a new name in it survives
// a crash as well as the data does. A directory that cannot be opened for
// this is left as it is.
DWORD FlushDirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".")
                      : slash == 0               ? std::string("/")
                                                 : path.substr(0, slash);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ERROR_SUCCESS;
    DWORD err = Flush(fd);
    ::close(fd);
    return err;
}

} // namespace

DWORD FileCopyData(const char* source, const char* destination, bool failIfExists,
                   LPPROGRESS_ROUTINE progress, LPVOID data, const BOOL* cancel, bool forMove) {
    // A device, fifo or socket is not opened at all: a fifo would wait for a
    // writer, a device could act on the open and give data without end.
    struct stat src;
    if (::stat(source, &src) == 0 && !S_ISREG(src.st_mode) && !S_ISDIR(src.st_mode))
        return ERROR_ACCESS_DENIED;
    int in = QSysOpen(source, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (in < 0) return PathErrnoToWin32Error(errno, source);
    if (::fstat(in, &src) != 0 || !S_ISREG(src.st_mode)) {
        ::close(in);
        return ERROR_ACCESS_DENIED;
    }
    ClearNonBlocking(in);

    Destination d;
    DWORD err = OpenDestination(destination, src, failIfExists, forMove, &d);
    if (err) {
        ::close(in);
        return err;
    }

    CopyState s;
    s.in = in;
    s.out = d.fd;
    s.total = src.st_size;
    s.progress = progress;
    s.data = data;
    if (progress) {
        err = MakeHandle(in, &s.sourceHandle);
        if (!err) err = MakeHandle(d.fd, &s.destHandle);
    }
    bool stopped = false;
    if (!err) err = CopyLoop(s, cancel, &stopped);
    if (s.sourceHandle) CloseHandle(s.sourceHandle);
    if (s.destHandle) CloseHandle(s.destHandle);

    if (!err && d.kind != DestKind::InPlace) {
        CopyAttributes(d.fd, src);
        if (forMove || d.kind == DestKind::Replace) err = Flush(d.fd);
    }
    // The destination is closed first, so that its close is checked before
    // anything else: a failing close can mean the data never reached the disk.
    int closed = QSysClose(d.fd);
    if (!err && closed != 0) err = CopyErrno(errno);
    ::close(in);

    if (!err && d.kind == DestKind::Replace && QSysRename(d.written.c_str(), d.target.c_str()) != 0)
        err = PathErrnoToWin32Error(errno, d.target.c_str());

    if (err) {
        // Only what this call made is removed; the old destination, a
        // device or a fifo stays as it was. A new destination that the
        // progress routine stopped keeps what was copied.
        if (d.kind == DestKind::Replace || (d.kind == DestKind::New && !stopped)) RemoveCreated(d);
        return err;
    }
    // A move removes its source next: the new name must be as durable as the
    // data. Should that fail, the complete copy stays and the move reports
    // the error, keeping its source.
    if (forMove) err = FlushDirectoryOf(d.target);
    return err;
}

DWORD FileCopyLink(const char* source, const char* destination, bool replace,
                   const struct stat& sourceLstat) {
    size_t size = sourceLstat.st_size > 0 ? static_cast<size_t>(sourceLstat.st_size) + 1 : 4096;
    std::unique_ptr<char[]> target(new (std::nothrow) char[size]);
    if (!target) return ERROR_NOT_ENOUGH_MEMORY;
    ssize_t n = QSysReadlink(source, target.get(), size);
    if (n < 0) return PathErrnoToWin32Error(errno, source);
    if (static_cast<size_t>(n) >= size) return ERROR_GEN_FAILURE; // changed meanwhile
    target[static_cast<size_t>(n)] = 0;

    struct stat dl;
    bool exists = ::lstat(destination, &dl) == 0;
    std::string made = destination;
    if (exists) {
        if (!replace) return ERROR_FILE_EXISTS;
        if (S_ISDIR(dl.st_mode)) return ERROR_ACCESS_DENIED;
        // The link is made under a temporary name and renamed over the old
        // destination, which stays until then.
        int tries = 0;
        for (;;) {
            made = TempNameBeside(destination);
            if (QSysSymlink(target.get(), made.c_str()) == 0) break;
            if (errno != EEXIST || ++tries == 100)
                return PathErrnoToWin32Error(errno, made.c_str());
        }
    } else if (QSysSymlink(target.get(), destination) != 0) {
        return PathErrnoToWin32Error(errno, destination);
    }
    QSysLchown(made.c_str(), sourceLstat.st_uid, sourceLstat.st_gid);
    struct timespec times[2] = {sourceLstat.st_atim, sourceLstat.st_mtim};
    QSysUtimensat(made.c_str(), times, AT_SYMLINK_NOFOLLOW);
    if (exists && QSysRename(made.c_str(), destination) != 0) {
        DWORD err = PathErrnoToWin32Error(errno, destination);
        QSysUnlink(made.c_str());
        return err;
    }
    return FlushDirectoryOf(destination);
}
