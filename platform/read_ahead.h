// The read-ahead engine: up to four worker threads read whole directories
// into memory ahead of the thread that walks a branch, which asks for each
// directory through qioPrefetchFindFirst. A directory already read is handed
// over from memory; one being read is waited for; one still queued, or never
// queued, is read at once by the asking thread. Only the thread that started
// read-ahead uses the cache, and only for whole-directory listings.
#pragma once

#include "windows.h"

#include <atomic>

// One directory of the cache; made zero-filled with room for its path.
struct PrefetchDir {
    PrefetchDir* chain;     // next node of the same bucket
    PrefetchDir* queuePrev; // towards the head of the queue
    PrefetchDir* queueNext; // towards the tail
    DWORD state;            // PREFETCH_NEW ... PREFETCH_READ
    DWORD error;            // error of the failed search, 0 when read
    BYTE* buffer;           // packed PrefetchRecords
    ULONGLONG used;
    ULONGLONG allocated; // 4096 at first, doubled until the next record fits
    DWORD hash;          // FNV-1a of the path
    WCHAR path[1]; // without "\\?\" and without a trailing backslash; NUL-terminated
};

inline constexpr DWORD PREFETCH_NEW = 0;
inline constexpr DWORD PREFETCH_QUEUED = 1;
inline constexpr DWORD PREFETCH_READING = 2;
inline constexpr DWORD PREFETCH_READ = 3;

// One entry as the search returned it, packed in the directory's buffer.
struct PrefetchRecord {
    DWORD attributes;
    DWORD reserved0;
    DWORD reserved1; // the mode word
    FILETIME created;
    FILETIME accessed;
    FILETIME written;
    DWORD sizeHigh;
    DWORD sizeLow;
    WORD length; // (2 x name length + 55) with the low three bits cleared
    WCHAR name[1]; // NUL-terminated
};
static_assert(offsetof(PrefetchRecord, reserved0) == 4);
static_assert(offsetof(PrefetchRecord, reserved1) == 8);
static_assert(offsetof(PrefetchRecord, created) == 12);
static_assert(offsetof(PrefetchRecord, written) == 28);
static_assert(offsetof(PrefetchRecord, sizeHigh) == 36);
static_assert(offsetof(PrefetchRecord, sizeLow) == 40);
static_assert(offsetof(PrefetchRecord, length) == 44);
static_assert(offsetof(PrefetchRecord, name) == 46);

// The find handle of a cached listing.
struct PrefetchHandle {
    PrefetchHandle* next;
    PrefetchDir* dir;
    ULONGLONG cursor; // byte offset of the next record
};

inline constexpr DWORD PREFETCH_BUCKETS = 65536;
inline constexpr DWORD PREFETCH_MAX_WORKERS = 4;
inline constexpr ULONGLONG PREFETCH_BYTES_CAP = 0x8000000; // 128 MiB

extern PrefetchDir** PrefetchTable; // PREFETCH_BUCKETS bucket heads
extern PrefetchDir* PrefetchQueue;
extern PrefetchHandle* PrefetchOpenHandles; // owner thread only
extern ULONGLONG PrefetchBytes;             // bytes of directories read and still held
extern std::atomic<DWORD> PrefetchAbort;
extern DWORD PrefetchRecursive;
extern std::atomic<DWORD> PrefetchActive;
extern HANDLE PrefetchWorkers[PREFETCH_MAX_WORKERS];
extern DWORD PrefetchWorkerCount;
extern CRITICAL_SECTION PrefetchLock;
extern thread_local DWORD PrefetchOwner;

// Always-on counters of how the owner's requests were served.
struct PrefetchCounters {
    std::atomic<ULONGLONG> served{0};         // handed over from memory
    std::atomic<ULONGLONG> waited{0};         // found being read and waited for
    std::atomic<ULONGLONG> takenFromQueue{0}; // found queued and read by the asker
    std::atomic<ULONGLONG> readDirectly{0};   // never queued and read by the asker
    std::atomic<ULONGLONG> queued{0};         // directories entered in the queue
    std::atomic<ULONGLONG> workerReads[PREFETCH_MAX_WORKERS] = {};
    std::atomic<ULONGLONG> capWaits{0}; // worker pauses while the cap was reached
};
extern PrefetchCounters gPrefetchCounters;
// Sets every counter to 0.
void PrefetchCountersReset();

// 32-bit FNV-1a over the UTF-16 units of text.
DWORD PrefetchHash(const WCHAR* text);

// Starts read-ahead of the paths (directories, without "\\?\"), the first
// read first, and in the calling thread only. Returns 1, or 0 when
// read-ahead is already active, the list is empty, or no worker started.
int qioPrefetchStart(const WCHAR* const* paths, DWORD count, BOOL recursive);
// One branch, with the subdirectories found queued as they are read.
int qioPrefetchBranch(const WCHAR* path);
// A list of directories, without recursion.
int qioPrefetchList(const WCHAR* const* paths, DWORD count);
// Forgets the branch of path (without "\\?\", no trailing backslash): the
// directory and every directory below it that is queued or read and not
// open is freed, its bytes no longer count against the cap, and one being
// read is dropped when its read ends, its subdirectories not queued. For a
// branch that the walker will never ask for (a never-log directory). Owner
// thread only; nothing when read-ahead is not active.
void qioPrefetchDropBranch(const WCHAR* path);
// qioPrefetchStop when read-ahead is active.
void qioPrefetchEnd();
// Stops the workers (each after the directory it is reading) and frees
// every node, buffer and open cached handle.
void qioPrefetchStop();

// A new node for path, or path + "\" + name, with its hash.
PrefetchDir* qioPFNewDir(const WCHAR* path, const WCHAR* name);
// Reads the whole directory into the node; a failed search, or a listing
// cut short by a read error, leaves the error in the node. Any thread.
void qioPFRead(PrefetchDir* node);
// The worker procedure.
DWORD qioPFThread(LPVOID unused);
// Copies the record at the cursor into data and advances the cursor.
void qioPFGetRecord(PrefetchHandle* handle, WIN32_FIND_DATAW* data);

// The cached handle find stands for, when the calling thread owns
// read-ahead and find is one of its open cached handles; else null.
PrefetchHandle* PrefetchHandleOf(HANDLE find);
// Frees a node and its buffer.
void PrefetchFreeDir(PrefetchDir* node);

// ---- test and benchmark hooks -----------------------------------------------

// Waits until no directory is queued or being read; FALSE after timeoutMs.
BOOL PrefetchWaitIdleForTest(DWORD timeoutMs);
// The cap on bytes held (0 puts 128 MiB back).
void PrefetchSetCapForTest(ULONGLONG bytes);
// While closed, a worker that has taken a directory waits before reading it.
void PrefetchSetGateForTest(BOOL closed);
// Directories now being read by workers.
DWORD PrefetchReadingForTest();
// Every directory open (cached or ordinary) first sleeps this long, as on a
// slow file system.
void QioSetReadDelayForTest(DWORD milliseconds);
// Sleeps for the injected delay, if any.
void QioReadDelay();
