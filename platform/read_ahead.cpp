// The read-ahead engine: the table of directories keyed by FNV-1a, the queue
// the workers take from, the workers, and the serving of the owner's
// whole-directory searches from memory.
#include "platform/read_ahead.h"
#include "platform/dir_reading.h"
#include "remote/remote_drives.h"
#include "settings/quit.h"
#include "settings/settings.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

PrefetchDir** PrefetchTable = nullptr;
PrefetchDir* PrefetchQueue = nullptr;
PrefetchHandle* PrefetchOpenHandles = nullptr;
ULONGLONG PrefetchBytes = 0;
std::atomic<DWORD> PrefetchAbort{0};
DWORD PrefetchRecursive = 0;
std::atomic<DWORD> PrefetchActive{0};
HANDLE PrefetchWorkers[PREFETCH_MAX_WORKERS] = {};
DWORD PrefetchWorkerCount = 0;
CRITICAL_SECTION PrefetchLock;
thread_local DWORD PrefetchOwner = 0;
PrefetchCounters gPrefetchCounters;

namespace {

std::atomic<ULONGLONG> gPrefetchCap{PREFETCH_BYTES_CAP};
std::atomic<DWORD> gPrefetchGate{0};
std::atomic<DWORD> gReadDelay{0};
// Directories in state PREFETCH_READING; changed under PrefetchLock.
DWORD gPrefetchReading = 0;
// FindFirstFileExW was refused once where FindFirstFileW then worked.
std::atomic<bool> gFindExUnsupported{false};

constexpr size_t kRecordHeader = offsetof(PrefetchRecord, name);

// The state of a node being read by a worker whose branch was dropped
// meanwhile: it is already out of its chain, and the worker frees it when
// the read ends, without queueing its subdirectories.
constexpr DWORD kPrefetchDropped = 4;

WCHAR* PathOf(PrefetchDir* node) { return reinterpret_cast<WCHAR*>(
        reinterpret_cast<BYTE*>(node) + offsetof(PrefetchDir, path)); }

// Under PrefetchLock: the node equal to (hash, path) in the table, or null.
PrefetchDir* Lookup(DWORD hash, const WCHAR* path) {
    for (PrefetchDir* n = PrefetchTable[hash & 0xFFFF]; n; n = n->chain)
        if (n->hash == hash && wcscmp(PathOf(n), path) == 0) return n;
    return nullptr;
}

// Under PrefetchLock: node goes queued to the head of its chain and of the
// queue.
void Enter(PrefetchDir* node) {
    node->state = PREFETCH_QUEUED;
    PrefetchDir*& bucket = PrefetchTable[node->hash & 0xFFFF];
    node->chain = bucket;
    bucket = node;
    node->queuePrev = nullptr;
    node->queueNext = PrefetchQueue;
    if (PrefetchQueue) PrefetchQueue->queuePrev = node;
    PrefetchQueue = node;
    gPrefetchCounters.queued++;
}

void UnlinkQueue(PrefetchDir* node) {
    if (node->queuePrev)
        node->queuePrev->queueNext = node->queueNext;
    else
        PrefetchQueue = node->queueNext;
    if (node->queueNext) node->queueNext->queuePrev = node->queuePrev;
    node->queuePrev = node->queueNext = nullptr;
}

void UnlinkChain(PrefetchDir* node) {
    for (PrefetchDir** p = &PrefetchTable[node->hash & 0xFFFF]; *p; p = &(*p)->chain)
        if (*p == node) {
            *p = node->chain;
            node->chain = nullptr;
            return;
        }
}

void AppendRecord(PrefetchDir* node, const WIN32_FIND_DATAW& data) {
    const size_t nameLength = wcslen(data.cFileName);
    const WORD length = WORD((2 * nameLength + 55) & ~size_t(7));
    if (node->used + length > node->allocated) {
        ULONGLONG size = node->allocated ? node->allocated : 4096;
        while (node->used + length > size) size *= 2;
        node->buffer = static_cast<BYTE*>(CHECKED_REALLOC(node->buffer, size, "Qnt"));
        node->allocated = size;
    }
    BYTE* at = node->buffer + node->used;
    PrefetchRecord header{};
    header.attributes = data.dwFileAttributes;
    header.reserved0 = data.dwReserved0;
    header.reserved1 = data.dwReserved1;
    header.created = data.ftCreationTime;
    header.accessed = data.ftLastAccessTime;
    header.written = data.ftLastWriteTime;
    header.sizeHigh = data.nFileSizeHigh;
    header.sizeLow = data.nFileSizeLow;
    header.length = length;
    memcpy(at, &header, kRecordHeader);
    memcpy(at + kRecordHeader, data.cFileName, 2 * (nameLength + 1));
    // The padding up to the next record stays defined.
    memset(at + kRecordHeader + 2 * (nameLength + 1), 0,
           length - kRecordHeader - 2 * (nameLength + 1));
    node->used += length;
}

bool IsDotName(const WCHAR* name) {
    return name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0));
}

// Frees a list of nodes linked through chain.
void FreeChainList(PrefetchDir* node) {
    while (node) {
        PrefetchDir* next = node->chain;
        PrefetchFreeDir(node);
        node = next;
    }
}

// Everything of a read-ahead: the nodes of all chains, the open cached
// handles, the table and the lock. Workers must have ended.
void FreeAll() {
    while (PrefetchOpenHandles) {
        PrefetchHandle* h = PrefetchOpenHandles;
        PrefetchOpenHandles = h->next;
        PrefetchFreeDir(h->dir);
        free(h);
    }
    if (PrefetchTable) {
        for (DWORD i = 0; i < PREFETCH_BUCKETS; i++) FreeChainList(PrefetchTable[i]);
        free(PrefetchTable);
        PrefetchTable = nullptr;
    }
    PrefetchQueue = nullptr;
    PrefetchBytes = 0;
    gPrefetchReading = 0;
    PrefetchOwner = 0;
    DeleteCriticalSection(&PrefetchLock);
    PrefetchActive = 0;
    PrefetchWorkerCount = 0;
}

// The search of a pattern without the cache.
HANDLE OrdinaryFind(const WCHAR* pattern, WIN32_FIND_DATAW* data) {
    QioReadDelay();
    const std::u16string path = QioLongPath(pattern);
    if (gFindExUnsupported) return RdFindFirstFileW(path.c_str(), data);
    HANDLE h = RdFindFirstFileExW(path.c_str(), FindExInfoBasic, data, FindExSearchNameMatch,
                                  nullptr, 0);
    if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_INVALID_PARAMETER) return h;
    h = RdFindFirstFileW(path.c_str(), data);
    if (h != INVALID_HANDLE_VALUE) gFindExUnsupported = true;
    return h;
}

} // namespace

void PrefetchCountersReset() {
    PrefetchCounters& c = gPrefetchCounters;
    c.served = c.waited = c.takenFromQueue = c.readDirectly = c.queued = c.capWaits = 0;
    for (auto& reads : c.workerReads) reads = 0;
}

DWORD PrefetchHash(const WCHAR* text) {
    DWORD hash = 0x811c9dc5u;
    for (; *text; text++) hash = (hash ^ DWORD(*text)) * 16777619u;
    return hash;
}

PrefetchDir* qioPFNewDir(const WCHAR* path, const WCHAR* name) {
    const size_t pathLength = wcslen(path);
    const size_t nameLength = name ? wcslen(name) : 0;
    const size_t units = pathLength + (name ? 1 + nameLength : 0) + 1;
    auto* node = static_cast<PrefetchDir*>(
        CHECKED_CALLOC(1, offsetof(PrefetchDir, path) + units * sizeof(WCHAR), "Qnt"));
    WCHAR* out = PathOf(node);
    memcpy(out, path, pathLength * sizeof(WCHAR));
    if (name) {
        out[pathLength] = u'\\';
        memcpy(out + pathLength + 1, name, nameLength * sizeof(WCHAR));
    }
    out[units - 1] = 0;
    node->hash = PrefetchHash(out);
    return node;
}

void PrefetchFreeDir(PrefetchDir* node) {
    if (!node) return;
    free(node->buffer);
    free(node);
}

void qioPFRead(PrefetchDir* node) {
    QioReadDelay();
    const WCHAR* path = PathOf(node);
    std::u16string pattern = QioLongPath(path);
    pattern += u"\\*.*";
    WIN32_FIND_DATAW data;
    HANDLE h = RdFindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                  nullptr, 0);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
        h = RdFindFirstFileW(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
        node->error = GetLastError();
        return;
    }
    const bool skipHidden = (gSettings.bHideDirs & 1) != 0;
    PrefetchDir* found = nullptr; // newest first, linked through chain
    for (;;) {
        AppendRecord(node, data);
        const DWORD a = data.dwFileAttributes;
        // A directory another file system is mounted on is shown but not
        // entered, as a link is: the walker never asks for what is below it.
        if (PrefetchRecursive && (a & FILE_ATTRIBUTE_DIRECTORY) && !IsDotName(data.cFileName) &&
            !(a & FILE_ATTRIBUTE_REPARSE_POINT) && data.dwReserved0 != FIND_DATA_MOUNT_TAG &&
            !(skipHidden && (a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))) {
            PrefetchDir* sub = qioPFNewDir(path, data.cFileName);
            sub->chain = found;
            found = sub;
        }
        if (PrefetchAbort) break;
        if (!RdFindNextFileW(h, &data)) {
            // A listing cut short by a read error is never served as
            // complete: the node carries the error, as for a failed open.
            const DWORD error = GetLastError();
            if (error != ERROR_NO_MORE_FILES) {
                node->error = error;
                free(node->buffer);
                node->buffer = nullptr;
                node->used = node->allocated = 0;
            }
            break;
        }
    }
    RdFindClose(h);
    if (!found) return;
    EnterCriticalSection(&PrefetchLock);
    const bool dropped = node->state == kPrefetchDropped;
    while (found) {
        PrefetchDir* next = found->chain;
        found->chain = nullptr;
        if (dropped || Lookup(found->hash, PathOf(found)))
            PrefetchFreeDir(found);
        else
            Enter(found);
        found = next;
    }
    LeaveCriticalSection(&PrefetchLock);
}

DWORD qioPFThread(LPVOID parameter) {
    const auto index = DWORD(reinterpret_cast<uintptr_t>(parameter));
    if (PrefetchAbort) return 0;
    for (;;) {
        EnterCriticalSection(&PrefetchLock);
        while (PrefetchBytes < gPrefetchCap && PrefetchQueue) {
            PrefetchDir* node = PrefetchQueue;
            UnlinkQueue(node);
            node->state = PREFETCH_READING;
            gPrefetchReading++;
            LeaveCriticalSection(&PrefetchLock);
            while (gPrefetchGate && !PrefetchAbort) Sleep(1);
            qioPFRead(node);
            EnterCriticalSection(&PrefetchLock);
            gPrefetchReading--;
            gPrefetchCounters.workerReads[index]++;
            if (node->state == kPrefetchDropped) {
                PrefetchFreeDir(node);
            } else {
                node->state = PREFETCH_READ;
                PrefetchBytes += node->used;
            }
            if (PrefetchAbort) {
                LeaveCriticalSection(&PrefetchLock);
                return 0;
            }
        }
        if (PrefetchQueue) gPrefetchCounters.capWaits++;
        LeaveCriticalSection(&PrefetchLock);
        Sleep(1);
        if (PrefetchAbort) return 0;
    }
}

int qioPrefetchStart(const WCHAR* const* paths, DWORD count, BOOL recursive) {
    if (PrefetchActive || count == 0) return 0;
    PrefetchTable = static_cast<PrefetchDir**>(std::calloc(PREFETCH_BUCKETS, sizeof(PrefetchDir*)));
    if (!PrefetchTable) return 0;
    InitializeCriticalSection(&PrefetchLock);
    PrefetchRecursive = recursive ? 1 : 0;
    PrefetchQueue = nullptr;
    PrefetchOpenHandles = nullptr;
    PrefetchBytes = 0;
    gPrefetchReading = 0;
    PrefetchAbort = 0;
    PrefetchOwner = 1;
    for (DWORD i = count; i-- > 0;) {
        const WCHAR* path = paths[i];
        if (path[0] == u'\\' && path[1] == u'\\' && path[2] == u'?' && path[3] == u'\\') path += 4;
        PrefetchDir* node = qioPFNewDir(path, nullptr);
        WCHAR* own = PathOf(node);
        const size_t length = wcslen(own);
        if (length > 2 && own[length - 1] == u'\\') {
            own[length - 1] = 0;
            node->hash = PrefetchHash(own);
        }
        EnterCriticalSection(&PrefetchLock);
        if (Lookup(node->hash, own))
            PrefetchFreeDir(node);
        else
            Enter(node);
        LeaveCriticalSection(&PrefetchLock);
    }
    DWORD started = 0;
    for (DWORD k = 0; k < PREFETCH_MAX_WORKERS; k++) {
        HANDLE h = CreateThread(nullptr, 0, qioPFThread, reinterpret_cast<LPVOID>(uintptr_t(k)),
                                0, nullptr);
        if (!h) break;
        PrefetchWorkers[started++] = h;
    }
    if (started == 0) {
        FreeAll();
        return 0;
    }
    PrefetchWorkerCount = started;
    PrefetchActive = 1;
    return 1;
}

int qioPrefetchBranch(const WCHAR* path) { return qioPrefetchStart(&path, 1, TRUE); }

int qioPrefetchList(const WCHAR* const* paths, DWORD count) {
    return qioPrefetchStart(paths, count, FALSE);
}

void qioPrefetchDropBranch(const WCHAR* path) {
    if (!PrefetchActive || !PrefetchOwner || !path) return;
    if (path[0] == u'\\' && path[1] == u'\\' && path[2] == u'?' && path[3] == u'\\') path += 4;
    // Named as qioPrefetchStart names its directories.
    size_t length = wcslen(path);
    if (length > 2 && path[length - 1] == u'\\') length--;
    if (length == 0) return;
    EnterCriticalSection(&PrefetchLock);
    for (DWORD bucket = 0; bucket < PREFETCH_BUCKETS; bucket++) {
        PrefetchDir** link = &PrefetchTable[bucket];
        while (PrefetchDir* node = *link) {
            const WCHAR* p = PathOf(node);
            // The directory itself or one below it: compared exactly, and
            // only at a separator ("C:\a" holds "C:\a\b", not "C:\ab").
            const bool inBranch = wcsncmp(p, path, length) == 0 &&
                                  (p[length] == 0 || p[length] == u'\\');
            if (!inBranch) {
                link = &node->chain;
                continue;
            }
            *link = node->chain;
            node->chain = nullptr;
            if (node->state == PREFETCH_READING) {
                node->state = kPrefetchDropped;
                continue;
            }
            if (node->state == PREFETCH_QUEUED)
                UnlinkQueue(node);
            else if (node->state == PREFETCH_READ)
                PrefetchBytes -= node->used;
            PrefetchFreeDir(node);
        }
    }
    LeaveCriticalSection(&PrefetchLock);
}

void qioPrefetchEnd() {
    if (PrefetchActive) qioPrefetchStop();
}

void qioPrefetchStop() {
    if (!PrefetchTable) return;
    PrefetchAbort = 1;
    for (DWORD i = 0; i < PrefetchWorkerCount; i++) {
        WaitForSingleObject(PrefetchWorkers[i], INFINITE);
        CloseHandle(PrefetchWorkers[i]);
        PrefetchWorkers[i] = nullptr;
    }
    FreeAll();
}

void qioPFGetRecord(PrefetchHandle* handle, WIN32_FIND_DATAW* data) {
    const BYTE* at = handle->dir->buffer + handle->cursor;
    PrefetchRecord header;
    memcpy(&header, at, kRecordHeader);
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = header.attributes;
    data->dwReserved0 = header.reserved0;
    data->dwReserved1 = header.reserved1;
    data->ftCreationTime = header.created;
    data->ftLastAccessTime = header.accessed;
    data->ftLastWriteTime = header.written;
    data->nFileSizeHigh = header.sizeHigh;
    data->nFileSizeLow = header.sizeLow;
    const WCHAR* name = reinterpret_cast<const WCHAR*>(at + kRecordHeader);
    size_t n = 0;
    for (; n < MAX_PATH - 1 && name[n]; n++) data->cFileName[n] = name[n];
    data->cFileName[n] = 0;
    handle->cursor += header.length;
}

PrefetchHandle* PrefetchHandleOf(HANDLE find) {
    // Only the owner ever holds cached handles, and only it walks the list.
    if (!PrefetchOwner) return nullptr;
    for (PrefetchHandle* h = PrefetchOpenHandles; h; h = h->next)
        if (reinterpret_cast<HANDLE>(h) == find) return h;
    return nullptr;
}

HANDLE qioPrefetchFindFirst(const WCHAR* pattern, WIN32_FIND_DATAW* data) {
    if (!PrefetchActive || !PrefetchOwner) return OrdinaryFind(pattern, data);
    const WCHAR* p = pattern;
    if (p[0] == u'\\' && p[1] == u'\\' && p[2] == u'?' && p[3] == u'\\') p += 4;
    const size_t length = wcslen(p);
    size_t dirLength;
    if (length > 4 && wcscmp(p + length - 4, u"\\*.*") == 0)
        dirLength = length - 4;
    else if (length >= 3 && wcscmp(p + length - 2, u"\\*") == 0)
        dirLength = length - 2;
    else
        return OrdinaryFind(pattern, data);
    // Named as qioPrefetchStart names its directories: "X:\" is "X:".
    if (dirLength > 2 && p[dirLength - 1] == u'\\') dirLength--;
    const std::u16string directory(p, dirLength);
    const DWORD hash = PrefetchHash(directory.c_str());

    PrefetchDir* node = nullptr;
    bool waited = false;
    for (;;) {
        EnterCriticalSection(&PrefetchLock);
        PrefetchDir* found = Lookup(hash, directory.c_str());
        if (!found) {
            LeaveCriticalSection(&PrefetchLock);
            node = qioPFNewDir(directory.c_str(), nullptr);
            qioPFRead(node);
            gPrefetchCounters.readDirectly++;
            break;
        }
        if (found->state == PREFETCH_QUEUED) {
            UnlinkQueue(found);
            UnlinkChain(found);
            LeaveCriticalSection(&PrefetchLock);
            qioPFRead(found);
            node = found;
            gPrefetchCounters.takenFromQueue++;
            break;
        }
        if (found->state == PREFETCH_READ) {
            UnlinkChain(found);
            PrefetchBytes -= found->used;
            LeaveCriticalSection(&PrefetchLock);
            node = found;
            (waited ? gPrefetchCounters.waited : gPrefetchCounters.served)++;
            break;
        }
        LeaveCriticalSection(&PrefetchLock);
        waited = true;
        Sleep(1);
    }
    node->state = PREFETCH_NEW;
    if (node->error || node->used == 0) {
        const DWORD error = node->error ? node->error : ERROR_NO_MORE_FILES;
        PrefetchFreeDir(node);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    auto* handle = static_cast<PrefetchHandle*>(CHECKED_CALLOC(1, sizeof(PrefetchHandle), "Qnt"));
    handle->dir = node;
    handle->next = PrefetchOpenHandles;
    PrefetchOpenHandles = handle;
    qioPFGetRecord(handle, data);
    SetLastError(0);
    return reinterpret_cast<HANDLE>(handle);
}

BOOL qioFindNextFile(HANDLE find, WIN32_FIND_DATAW* data) {
    PrefetchHandle* handle = PrefetchHandleOf(find);
    if (!handle) return RdFindNextFileW(find, data);
    if (handle->cursor >= handle->dir->used) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    qioPFGetRecord(handle, data);
    return TRUE;
}

BOOL qioFindClose(HANDLE find) {
    PrefetchHandle* handle = PrefetchHandleOf(find);
    if (!handle) return RdFindClose(find);
    for (PrefetchHandle** p = &PrefetchOpenHandles; *p; p = &(*p)->next)
        if (*p == handle) {
            *p = handle->next;
            break;
        }
    PrefetchFreeDir(handle->dir);
    free(handle);
    return TRUE;
}

BOOL PrefetchWaitIdleForTest(DWORD timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!PrefetchActive) return TRUE;
        EnterCriticalSection(&PrefetchLock);
        const bool idle = PrefetchQueue == nullptr && gPrefetchReading == 0;
        LeaveCriticalSection(&PrefetchLock);
        if (idle) return TRUE;
        if (std::chrono::steady_clock::now() >= end) return FALSE;
        Sleep(1);
    }
}

void PrefetchSetCapForTest(ULONGLONG bytes) { gPrefetchCap = bytes ? bytes : PREFETCH_BYTES_CAP; }

void PrefetchSetGateForTest(BOOL closed) { gPrefetchGate = closed ? 1 : 0; }

DWORD PrefetchReadingForTest() {
    if (!PrefetchActive) return 0;
    EnterCriticalSection(&PrefetchLock);
    const DWORD reading = gPrefetchReading;
    LeaveCriticalSection(&PrefetchLock);
    return reading;
}

void QioSetReadDelayForTest(DWORD milliseconds) { gReadDelay = milliseconds; }

void QioReadDelay() {
    if (const DWORD delay = gReadDelay) Sleep(delay);
}
