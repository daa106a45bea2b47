// The C-runtime functions on descriptors and paths that the program uses:
// open, stat, read and write, sizes, access, threads and a few helpers.
// UTF-16 paths go through PathToPosix, 8-bit paths through its narrow form.
#pragma once

// The record below is read through st_atime/st_mtime/st_ctime, which libc's
// header defines as st_atim.tv_sec etc.: include it first so the names
// always mean the same here.
#include <sys/stat.h>

#include "wintypes.h"

inline constexpr int _O_RDONLY = 0;
inline constexpr int _O_WRONLY = 1;
inline constexpr int _O_RDWR = 2;
inline constexpr int _O_APPEND = 0x8;
inline constexpr int _O_NOINHERIT = 0x80;
inline constexpr int _O_CREAT = 0x100;
inline constexpr int _O_TRUNC = 0x200;
inline constexpr int _O_EXCL = 0x400;
inline constexpr int _O_TEXT = 0x4000;
inline constexpr int _O_BINARY = 0x8000;
inline constexpr int _S_IWRITE = 0x80;
inline constexpr int _S_IREAD = 0x100;
inline constexpr unsigned _S_IFDIR = 0x4000;
inline constexpr unsigned _S_IFCHR = 0x2000;
inline constexpr unsigned _S_IFREG = 0x8000;

struct QSTAT_TIME {
    int64_t tv_sec;
};

// The C-runtime stat record; read the times as st_atime, st_mtime, st_ctime.
struct QSTAT {
    uint32_t st_dev;
    uint64_t st_ino;
    uint16_t st_mode; // 0x4000 dir, 0x2000 char device, 0x8000 other; 0x100 read, 0x80 write, 0x40 exec
    int16_t st_nlink;
    int16_t st_uid;
    int16_t st_gid;
    uint32_t st_rdev;
    int64_t st_size;
    QSTAT_TIME st_atim;
    QSTAT_TIME st_mtim;
    QSTAT_TIME st_ctim;
};

int _wopen(LPCWSTR path, int oflag, int pmode = 0);
// 0, or -1 with errno set.
int _stat(LPCSTR path, QSTAT* out);
int _wstat(LPCWSTR path, QSTAT* out);
int _read(int fd, void* buffer, unsigned count);
int _write(int fd, const void* buffer, unsigned count);
int64_t _filelengthi64(int fd);
// -1 on error or above 2147483647.
LONG _filelength32(int fd);
// 0 or the errno value.
int _chsize(int fd, LONG size);
// 1 at or past the end, 0 before it, -1 on error.
int _eof(int fd);
// Only the read (4) and write (2) bits of mode are asked.
int _waccess(LPCWSTR path, int mode);
// Always 3, drive C:.
int _getdrive();
int _mkdir(LPCSTR path);
typedef unsigned (*QTHREAD_START)(void* argument);
// Starts a detached thread running start(argument); the thread identifier,
// or -1 (as uintptr_t) when it cannot start.
uintptr_t _beginthreadex(void* security, unsigned stackSize, QTHREAD_START start, void* argument,
                         unsigned initFlag, unsigned* threadId);
[[noreturn]] void _endthreadex(unsigned code);
// Returns free heap memory to the system; 0.
int _heapmin();
// Copies when destination, size and source are valid and the source fits;
// otherwise clears the destination and stops the program.
errno_t strcpy_s(char* dest, size_t size, const char* src);
// Rotates the low 16 bits left; the bits above stay.
unsigned _rotl16(unsigned value, int shift);
