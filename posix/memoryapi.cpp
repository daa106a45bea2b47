// File mappings and their views. A view never faults: pages past the end of
// the file are zero pages, and a file that shrinks under a view has the lost
// pages replaced by zero pages when they are touched.
#include "memoryapi.h"
#include "errhandlingapi.h"
#include "internal/handles.h"
#include "winerror.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

struct FILE_MAPPING_OBJECT {
    int32_t fd;
    int32_t writable;
    uint64_t size;
};

void CloseMapping(void* object) {
    auto* m = static_cast<FILE_MAPPING_OBJECT*>(object);
    ::close(m->fd);
    delete m;
}

// The view table. The fault handler reads it without a lock, so the fields
// are atomics; changes are made under the mutex.
constexpr int kViews = 64;
struct ViewSlot {
    std::atomic<uintptr_t> address{0};
    std::atomic<size_t> length{0};
    std::atomic<int> writable{0};
};
ViewSlot gViews[kViews];
std::mutex gViewLock;
struct sigaction gPreviousBus;

// A bus error inside a view is a page the file no longer has: give the view
// a zero page there and go on. Any other bus error goes to the handler that
// was there before, or ends the process as it would have.
void OnBusError(int sig, siginfo_t* info, void* context) {
    uintptr_t addr = reinterpret_cast<uintptr_t>(info->si_addr);
    for (ViewSlot& v : gViews) {
        uintptr_t base = v.address.load(std::memory_order_acquire);
        size_t len = v.length.load(std::memory_order_acquire);
        if (base == 0 || addr < base || addr >= base + len) continue;
        uintptr_t page = addr & ~(static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE)) - 1);
        int prot = PROT_READ | (v.writable.load() ? PROT_WRITE : 0);
        if (::mmap(reinterpret_cast<void*>(page), static_cast<size_t>(::sysconf(_SC_PAGESIZE)),
                   prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED)
            return;
    }
    if (gPreviousBus.sa_flags & SA_SIGINFO) {
        if (gPreviousBus.sa_sigaction) {
            gPreviousBus.sa_sigaction(sig, info, context);
            return;
        }
    } else if (gPreviousBus.sa_handler != SIG_DFL && gPreviousBus.sa_handler != SIG_IGN) {
        gPreviousBus.sa_handler(sig);
        return;
    }
    ::signal(SIGBUS, SIG_DFL);
    ::raise(SIGBUS);
}

void InstallBusHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa = {};
        sa.sa_sigaction = OnBusError;
        sa.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGBUS, &sa, &gPreviousBus);
    });
}

void RegisterMappingType() {
    static std::once_flag once;
    std::call_once(once, [] { HandleRegisterType(HANDLE_TYPE_MAPPING, CloseMapping); });
}

size_t PageSize() { return static_cast<size_t>(::sysconf(_SC_PAGESIZE)); }

} // namespace

HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maxHigh,
                          DWORD maxLow, LPCWSTR) {
    FILE_OBJECT* f = HandleLookupFile(file);
    if (!f) return nullptr;
    struct stat st;
    if (::fstat(f->fd, &st) != 0) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    uint64_t size = (maxHigh || maxLow) ? (static_cast<uint64_t>(maxHigh) << 32) | maxLow
                                        : static_cast<uint64_t>(st.st_size);
    if (size == 0) {
        SetLastError(ERROR_FILE_INVALID);
        return nullptr;
    }
    bool writable = (protect & 0xFF) == PAGE_READWRITE;
    if (writable && size > static_cast<uint64_t>(st.st_size) &&
        ::ftruncate(f->fd, static_cast<off_t>(size)) != 0) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    int fd = ::fcntl(f->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    RegisterMappingType();
    auto* m = new (std::nothrow) FILE_MAPPING_OBJECT{fd, writable ? 1 : 0, size};
    HANDLE h = m ? HandleAllocate(HANDLE_TYPE_MAPPING, m) : nullptr;
    if (!h) {
        ::close(fd);
        delete m;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return h;
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T bytes) {
    auto* m = static_cast<FILE_MAPPING_OBJECT*>(HandleLookup(mapping, HANDLE_TYPE_MAPPING));
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
    if (offset >= m->size || offset % PageSize() != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    size_t length = bytes ? bytes : static_cast<size_t>(m->size - offset);
    bool writable = (access & FILE_MAP_WRITE) && m->writable;
    int prot = PROT_READ | (writable ? PROT_WRITE : 0);

    struct stat st;
    if (::fstat(m->fd, &st) != 0) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    // Zero pages for the whole view first; the part the file has is mapped
    // over them.
    void* view = ::mmap(nullptr, length, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (view == MAP_FAILED) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    size_t backed = offset >= fileSize ? 0
                    : fileSize - offset < length ? static_cast<size_t>(fileSize - offset)
                                                 : length;
    if (backed > 0 && ::mmap(view, backed, prot, MAP_SHARED | MAP_FIXED, m->fd,
                             static_cast<off_t>(offset)) == MAP_FAILED) {
        int err = errno;
        ::munmap(view, length);
        SetLastErrorFromErrno(err);
        return nullptr;
    }
    InstallBusHandler();
    std::lock_guard<std::mutex> guard(gViewLock);
    for (ViewSlot& v : gViews) {
        if (v.address.load() != 0) continue;
        v.length.store(length, std::memory_order_release);
        v.writable.store(writable ? 1 : 0);
        v.address.store(reinterpret_cast<uintptr_t>(view), std::memory_order_release);
        return view;
    }
    ::munmap(view, length);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

BOOL UnmapViewOfFile(LPCVOID address) {
    uintptr_t a = reinterpret_cast<uintptr_t>(address);
    std::lock_guard<std::mutex> guard(gViewLock);
    for (ViewSlot& v : gViews) {
        if (a == 0 || v.address.load() != a) continue;
        size_t len = v.length.load();
        v.address.store(0, std::memory_order_release);
        ::munmap(const_cast<void*>(address), len);
        return TRUE;
    }
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
}
