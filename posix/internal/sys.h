// The system calls through which the layer changes files. Each can be made
// to fail on purpose, so that tests can show that no failure loses data:
// QSysInjectFault arms the nth call of one kind to fail with an errno.
// Each can also be slowed (QSysSetCallDelay), so that a test sees a long
// operation on a small tree, as on a slow disk.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

enum QSysCall : int {
    QSYS_OPEN,
    QSYS_READ,
    QSYS_WRITE,
    QSYS_CLOSE,
    QSYS_RENAME,
    QSYS_UNLINK,
    QSYS_RMDIR,
    QSYS_MKDIR,
    QSYS_LINK,
    QSYS_SYMLINK,
    QSYS_COPY_FILE_RANGE,
    QSYS_FTRUNCATE,
    QSYS_FSYNC,
    QSYS_CHMOD,
    QSYS_UTIMENS,
    QSYS_CHOWN,
    QSYS_READLINK,
    QSYS_STATX,
    QSYS_READDIR,
    QSYS_COUNT
};

int QSysOpen(const char* path, int flags, mode_t mode = 0);
ssize_t QSysRead(int fd, void* buffer, size_t count);
ssize_t QSysWrite(int fd, const void* buffer, size_t count);
ssize_t QSysPread(int fd, void* buffer, size_t count, off_t offset);
ssize_t QSysPwrite(int fd, const void* buffer, size_t count, off_t offset);
int QSysClose(int fd);
int QSysRename(const char* from, const char* to);
// rename that fails with EEXIST instead of replacing an existing target.
int QSysRenameNoReplace(const char* from, const char* to);
// The same where the file system cannot promise it (EINVAL, ENOSYS,
// EOPNOTSUPP): then a plain rename when the target does not exist just
// before. Never replaces a target that existed when it looked.
int QSysRenameNoReplaceOrCheck(const char* from, const char* to);
int QSysUnlink(const char* path);
int QSysRmdir(const char* path);
int QSysMkdir(const char* path, mode_t mode);
int QSysLink(const char* from, const char* to);
int QSysSymlink(const char* target, const char* link);
ssize_t QSysCopyFileRange(int in, int out, size_t count);
int QSysFtruncate(int fd, off_t size);
int QSysFsync(int fd);
int QSysChmod(const char* path, mode_t mode);
int QSysFchmod(int fd, mode_t mode);
int QSysUtimensat(const char* path, const struct timespec times[2], int flags);
int QSysFutimens(int fd, const struct timespec times[2]);
int QSysFchown(int fd, uid_t uid, gid_t gid);
int QSysLchown(const char* path, uid_t uid, gid_t gid);
ssize_t QSysReadlink(const char* path, char* buffer, size_t size);
// statx relative to dirfd (AT_FDCWD for the working directory).
int QSysStatx(int dirfd, const char* path, int flags, unsigned mask, struct statx* out);
// The next entry of a directory stream; null at the end with errno kept,
// null with errno set on a read error.
struct dirent* QSysReaddir(DIR* dir);

// Makes the nth call (1 = the next) of one kind fail with err without
// reaching the kernel; the calls before and after it run normally.
void QSysInjectFault(QSysCall call, unsigned nth, int err);
// Makes the nth call of one kind and every later one fail with err, until
// QSysClearFaults: a file system that always refuses the call.
void QSysInjectFaultFrom(QSysCall call, unsigned nth, int err);
// Disarms every injected fault.
void QSysClearFaults();
// The faults armed that have not fired yet.
unsigned QSysFaultsArmed();

// Every later call of one kind waits this many microseconds before it runs
// (0, the default, turns the wait off; an injected fault fails without
// waiting). The wait sleeps through signals to its end. Off, the calls pay
// one relaxed load.
void QSysSetCallDelay(QSysCall call, unsigned microseconds);
// Turns every delay off.
void QSysClearDelays();
