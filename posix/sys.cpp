// The layer's system-call wrappers and their fault injection for tests.
#include "internal/sys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <unistd.h>

#include <time.h>

#include <atomic>
#include <cerrno>

namespace {

struct Fault {
    std::atomic<unsigned> remaining{0}; // calls until the failing one; 0 = none
    std::atomic<int> err{0};
    std::atomic<bool> sticky{false}; // the failing call fails again and again
};

Fault gFaults[QSYS_COUNT];
std::atomic<int> gArmed{0};

std::atomic<unsigned> gDelays[QSYS_COUNT];
// Kinds with a delay set: the calls look no further while it is 0.
std::atomic<int> gDelayed{0};

// Sleeps the whole delay of one kind; a signal that breaks the sleep does
// not shorten it.
void Delay(QSysCall call) {
    const unsigned us = gDelays[call].load(std::memory_order_relaxed);
    if (us == 0) return;
    const int saved = errno;
    struct timespec left = {time_t(us / 1000000), long(us % 1000000) * 1000};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    errno = saved;
}

// True when this call is the one armed to fail; errno is then set.
bool InjectedFault(QSysCall call) {
    if (gArmed.load(std::memory_order_relaxed) == 0) return false;
    Fault& f = gFaults[call];
    unsigned left = f.remaining.load();
    while (left > 0) {
        if (left == 1 && f.sticky.load()) {
            errno = f.err.load();
            return true;
        }
        if (f.remaining.compare_exchange_weak(left, left - 1)) {
            if (left == 1) {
                gArmed.fetch_sub(1);
                errno = f.err.load();
                return true;
            }
            return false;
        }
    }
    return false;
}

// True when this call is the one armed to fail (errno set); a call that
// goes on first waits its kind's delay.
bool Injected(QSysCall call) {
    if (InjectedFault(call)) return true;
    if (gDelayed.load(std::memory_order_relaxed) != 0) Delay(call);
    return false;
}

} // namespace

namespace {

void Arm(QSysCall call, unsigned nth, int err, bool sticky) {
    Fault& f = gFaults[call];
    f.sticky.store(sticky);
    f.err.store(err);
    if (f.remaining.exchange(nth) == 0 && nth > 0) gArmed.fetch_add(1);
}

} // namespace

void QSysSetCallDelay(QSysCall call, unsigned microseconds) {
    if (call < 0 || call >= QSYS_COUNT) return;
    const unsigned was = gDelays[call].exchange(microseconds);
    if (was == 0 && microseconds != 0) gDelayed.fetch_add(1);
    if (was != 0 && microseconds == 0) gDelayed.fetch_sub(1);
}

void QSysClearDelays() {
    for (int call = 0; call < QSYS_COUNT; call++) QSysSetCallDelay(QSysCall(call), 0);
}

void QSysInjectFaultFrom(QSysCall call, unsigned nth, int err) { Arm(call, nth, err, true); }

void QSysInjectFault(QSysCall call, unsigned nth, int err) { Arm(call, nth, err, false); }

unsigned QSysFaultsArmed() { return unsigned(gArmed.load()); }

void QSysClearFaults() {
    for (Fault& f : gFaults) {
        f.remaining.store(0);
        f.sticky.store(false);
    }
    gArmed.store(0);
}

int QSysOpen(const char* path, int flags, mode_t mode) {
    return Injected(QSYS_OPEN) ? -1 : ::open(path, flags, mode);
}

ssize_t QSysRead(int fd, void* buffer, size_t count) {
    return Injected(QSYS_READ) ? -1 : ::read(fd, buffer, count);
}

ssize_t QSysWrite(int fd, const void* buffer, size_t count) {
    return Injected(QSYS_WRITE) ? -1 : ::write(fd, buffer, count);
}

ssize_t QSysPread(int fd, void* buffer, size_t count, off_t offset) {
    return Injected(QSYS_READ) ? -1 : ::pread(fd, buffer, count, offset);
}

ssize_t QSysPwrite(int fd, const void* buffer, size_t count, off_t offset) {
    return Injected(QSYS_WRITE) ? -1 : ::pwrite(fd, buffer, count, offset);
}

int QSysClose(int fd) {
    if (Injected(QSYS_CLOSE)) {
        int err = errno;
        ::close(fd); // the descriptor is gone either way, as after a real EIO
        errno = err;
        return -1;
    }
    return ::close(fd);
}

int QSysRename(const char* from, const char* to) {
    return Injected(QSYS_RENAME) ? -1 : ::rename(from, to);
}

int QSysRenameNoReplace(const char* from, const char* to) {
    return Injected(QSYS_RENAME) ? -1 : ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

int QSysRenameNoReplaceOrCheck(const char* from, const char* to) {
    int r = QSysRenameNoReplace(from, to);
    if (r != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        struct stat st;
        if (::lstat(to, &st) == 0) {
            errno = EEXIST;
            return -1;
        }
        r = QSysRename(from, to);
    }
    return r;
}

int QSysUnlink(const char* path) { return Injected(QSYS_UNLINK) ? -1 : ::unlink(path); }

int QSysRmdir(const char* path) { return Injected(QSYS_RMDIR) ? -1 : ::rmdir(path); }

int QSysMkdir(const char* path, mode_t mode) {
    return Injected(QSYS_MKDIR) ? -1 : ::mkdir(path, mode);
}

int QSysLink(const char* from, const char* to) {
    return Injected(QSYS_LINK) ? -1 : ::link(from, to);
}

int QSysSymlink(const char* target, const char* link) {
    return Injected(QSYS_SYMLINK) ? -1 : ::symlink(target, link);
}

ssize_t QSysCopyFileRange(int in, int out, size_t count) {
    return Injected(QSYS_COPY_FILE_RANGE) ? -1
                                          : ::copy_file_range(in, nullptr, out, nullptr, count, 0);
}

int QSysFtruncate(int fd, off_t size) {
    return Injected(QSYS_FTRUNCATE) ? -1 : ::ftruncate(fd, size);
}

int QSysFsync(int fd) { return Injected(QSYS_FSYNC) ? -1 : ::fsync(fd); }

int QSysChmod(const char* path, mode_t mode) {
    return Injected(QSYS_CHMOD) ? -1 : ::chmod(path, mode);
}

int QSysFchmod(int fd, mode_t mode) { return Injected(QSYS_CHMOD) ? -1 : ::fchmod(fd, mode); }

int QSysUtimensat(const char* path, const struct timespec times[2], int flags) {
    return Injected(QSYS_UTIMENS) ? -1 : ::utimensat(AT_FDCWD, path, times, flags);
}

int QSysFutimens(int fd, const struct timespec times[2]) {
    return Injected(QSYS_UTIMENS) ? -1 : ::futimens(fd, times);
}

int QSysFchown(int fd, uid_t uid, gid_t gid) {
    return Injected(QSYS_CHOWN) ? -1 : ::fchown(fd, uid, gid);
}

int QSysLchown(const char* path, uid_t uid, gid_t gid) {
    return Injected(QSYS_CHOWN) ? -1 : ::lchown(path, uid, gid);
}

ssize_t QSysReadlink(const char* path, char* buffer, size_t size) {
    return Injected(QSYS_READLINK) ? -1 : ::readlink(path, buffer, size);
}

int QSysStatx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) {
    return Injected(QSYS_STATX) ? -1 : ::statx(dirfd, path, flags, mask, out);
}

struct dirent* QSysReaddir(DIR* dir) {
    return Injected(QSYS_READDIR) ? nullptr : ::readdir(dir);
}
