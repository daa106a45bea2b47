// C-runtime functions on descriptors and paths.
#include "qio.h"
#include "qposix_path.h"
#include "qwcrt.h"

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

int _wopen(LPCWSTR path, int oflag, int pmode) {
    static const int kAccess[] = {O_RDONLY, O_WRONLY, O_RDWR, O_RDONLY};
    int flags = kAccess[oflag & 3];
    if (oflag & _O_APPEND) flags |= O_APPEND;
    if (oflag & _O_TRUNC) flags |= O_TRUNC;
    if (oflag & _O_EXCL) flags |= O_EXCL;
    if (oflag & _O_NOINHERIT) flags |= O_CLOEXEC;
    mode_t mode = 0;
    if (oflag & _O_CREAT) {
        flags |= O_CREAT;
        mode = (pmode & _S_IWRITE) ? 0666 : 0444;
    }
    const char* posix = PathToPosix(path);
    if (!posix) {
        errno = EINVAL;
        return -1;
    }
    return ::open(posix, flags, mode);
}

namespace {

int StatInto(const char* posix, QSTAT* out) {
    struct stat st;
    if (!posix || ::stat(posix, &st) != 0) return -1;
    std::memset(out, 0, sizeof *out);
    out->st_dev = static_cast<uint32_t>(st.st_dev);
    out->st_ino = st.st_ino;
    unsigned mode = S_ISDIR(st.st_mode) ? _S_IFDIR : S_ISCHR(st.st_mode) ? _S_IFCHR : _S_IFREG;
    mode |= 0x100;
    if (st.st_mode & S_IWUSR) mode |= 0x80;
    if ((st.st_mode & S_IXUSR) || S_ISDIR(st.st_mode)) mode |= 0x40;
    out->st_mode = static_cast<uint16_t>(mode);
    out->st_nlink = static_cast<int16_t>(st.st_nlink);
    out->st_size = st.st_size;
    out->st_atim.tv_sec = st.st_atim.tv_sec;
    out->st_mtim.tv_sec = st.st_mtim.tv_sec;
    out->st_ctim.tv_sec = st.st_ctim.tv_sec;
    return 0;
}

} // namespace

int _stat(LPCSTR path, QSTAT* out) { return StatInto(PathToPosix(path), out); }

int _wstat(LPCWSTR path, QSTAT* out) { return StatInto(PathToPosix(path), out); }

int _read(int fd, void* buffer, unsigned count) {
    return static_cast<int>(::read(fd, buffer, count));
}

int _write(int fd, const void* buffer, unsigned count) {
    return static_cast<int>(::write(fd, buffer, count));
}

int64_t _filelengthi64(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

LONG _filelength32(int fd) {
    int64_t n = _filelengthi64(fd);
    return n < 0 || n > 2147483647 ? -1 : static_cast<LONG>(n);
}

int _chsize(int fd, LONG size) { return ::ftruncate(fd, size) == 0 ? 0 : errno; }

int _eof(int fd) {
    off_t pos = ::lseek(fd, 0, SEEK_CUR);
    struct stat st;
    if (pos < 0 || ::fstat(fd, &st) != 0) return -1;
    return pos >= st.st_size ? 1 : 0;
}

int _waccess(LPCWSTR path, int mode) {
    int how = ((mode & 4) ? R_OK : 0) | ((mode & 2) ? W_OK : 0);
    const char* posix = PathToPosix(path);
    if (!posix) {
        errno = EINVAL;
        return -1;
    }
    return ::access(posix, how ? how : F_OK);
}

int _getdrive() { return 3; }

int _mkdir(LPCSTR path) { return ::mkdir(PathToPosix(path), 0777); }

namespace {

constexpr size_t kThreadLocalRoom = 256 * 1024;

struct ThreadStart {
    QTHREAD_START start;
    void* argument;
};

void* RunThread(void* record) {
    ThreadStart s = *static_cast<ThreadStart*>(record);
    delete static_cast<ThreadStart*>(record);
    s.start(s.argument);
    return nullptr;
}

} // namespace

uintptr_t _beginthreadex(void*, unsigned stackSize, QTHREAD_START start, void* argument,
                         unsigned, unsigned* threadId) {
    auto* record = new (std::nothrow) ThreadStart{start, argument};
    if (!record) return static_cast<uintptr_t>(-1);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (stackSize) {
        // The layer's per-thread buffers live in thread-local storage, which
        // takes its room from the stack: a size near the system minimum
        // would make the thread fail to start.
        size_t floor = PTHREAD_STACK_MIN + kThreadLocalRoom;
        pthread_attr_setstacksize(&attr, stackSize < floor ? floor : stackSize);
    }
    pthread_t thread;
    int r = pthread_create(&thread, &attr, RunThread, record);
    pthread_attr_destroy(&attr);
    if (r == EINVAL && stackSize) r = pthread_create(&thread, nullptr, RunThread, record);
    if (r == 0) pthread_detach(thread);
    if (r != 0) {
        delete record;
        return static_cast<uintptr_t>(-1);
    }
    if (threadId) *threadId = static_cast<unsigned>(thread);
    return static_cast<uintptr_t>(thread);
}

void _endthreadex(unsigned) { pthread_exit(nullptr); }

int _heapmin() {
    ::malloc_trim(0);
    return 0;
}

errno_t strcpy_s(char* dest, size_t size, const char* src) {
    if (dest && size > 0 && src) {
        size_t n = ::strnlen(src, size);
        if (n < size) {
            std::memcpy(dest, src, n + 1);
            return 0;
        }
    }
    if (dest && size > 0) dest[0] = 0;
    InvalidParameter("strcpy_s");
}

unsigned _rotl16(unsigned value, int shift) {
    unsigned low = value & 0xFFFF;
    int s = shift & 15;
    unsigned rotated = s ? ((low << s) | (low >> (16 - s))) & 0xFFFF : low;
    return (value & ~0xFFFFu) | rotated;
}
