// Byte-range locks on file handles: LockFileEx and UnlockFileEx as open
// file description locks, which belong to the handle's descriptor rather
// than to the process, so that closing some other handle to the same file
// never drops them.
#include "errhandlingapi.h"
#include "fileapi.h"
#include "internal/handles.h"
#include "winerror.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <limits>

namespace {

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// Applies one lock request (F_RDLCK, F_WRLCK or F_UNLCK) to the range, with
// or without waiting for a conflicting lock to go.
BOOL LockRange(HANDLE file, short type, bool wait, DWORD reserved, DWORD lengthLow,
               DWORD lengthHigh, LPOVERLAPPED overlapped) {
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return FALSE;
    if (f->fd < 0) return Fail(ERROR_INVALID_HANDLE);
    const uint64_t length = uint64_t(lengthHigh) << 32 | lengthLow;
    if (!overlapped || reserved != 0 || length == 0) return Fail(ERROR_INVALID_PARAMETER);
    const uint64_t offset = uint64_t(overlapped->OffsetHigh) << 32 | overlapped->Offset;
    constexpr uint64_t kMax = uint64_t(std::numeric_limits<off_t>::max());
    if (offset > kMax) return Fail(ERROR_INVALID_PARAMETER);
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = off_t(offset);
    // A range past the largest offset is everything from the start on,
    // which a length of 0 says to the kernel.
    lock.l_len = length > kMax - offset ? 0 : off_t(length);
    int rc;
    do {
        rc = ::fcntl(f->fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) return TRUE;
    if (errno == EAGAIN || errno == EACCES) return Fail(ERROR_LOCK_VIOLATION);
    // A lock of a kind the descriptor was not opened for.
    if (errno == EBADF) return Fail(ERROR_ACCESS_DENIED);
    SetLastErrorFromErrno(errno);
    return FALSE;
}

} // namespace

BOOL LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD lengthLow, DWORD lengthHigh,
                LPOVERLAPPED overlapped) {
    const short type = (flags & LOCKFILE_EXCLUSIVE_LOCK) ? F_WRLCK : F_RDLCK;
    return LockRange(file, type, !(flags & LOCKFILE_FAIL_IMMEDIATELY), reserved, lengthLow,
                     lengthHigh, overlapped);
}

BOOL UnlockFileEx(HANDLE file, DWORD reserved, DWORD lengthLow, DWORD lengthHigh,
                  LPOVERLAPPED overlapped) {
    return LockRange(file, F_UNLCK, false, reserved, lengthLow, lengthHigh, overlapped);
}
