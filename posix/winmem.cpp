// VirtualAlloc regions on anonymous mappings, recorded in a table of 256
// slots so that VirtualFree knows their lengths, and the Global and Local
// memory blocks on the C heap.
#include "winmem.h"
#include "errhandlingapi.h"
#include "winerror.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// One region per slot; address 0 marks a free slot.
struct VirtualRegion {
    uintptr_t address;
    size_t length;
};

struct VirtualRegionTable {
    std::mutex lock; // a leaf lock
    VirtualRegion slots[QPOSIX_VIRTUAL_REGIONS];
};

VirtualRegionTable gRegions;

size_t PageSize() { return static_cast<size_t>(::sysconf(_SC_PAGESIZE)); }

size_t RoundToPages(size_t n) {
    size_t page = PageSize();
    return (n + page - 1) / page * page;
}

int ProtectionBits(DWORD protect) {
    switch (protect) {
    case PAGE_NOACCESS: return PROT_NONE;
    case PAGE_READONLY: return PROT_READ;
    default: return PROT_READ | PROT_WRITE;
    }
}

// The region that holds [address, address + size); null when none does.
// Called with the table locked.
VirtualRegion* RegionHolding(uintptr_t address, size_t size) {
    for (VirtualRegion& r : gRegions.slots) {
        if (r.address == 0 || address < r.address) continue;
        size_t offset = address - r.address;
        size_t span = RoundToPages(r.length);
        if (offset < span && size <= span - offset) return &r;
    }
    return nullptr;
}

LPVOID CommitInRegion(LPVOID address, SIZE_T size, DWORD protect) {
    uintptr_t a = reinterpret_cast<uintptr_t>(address);
    // Under the lock, so that the region cannot be released (and its
    // address given to another mapping) between the look-up and mprotect.
    std::lock_guard<std::mutex> guard(gRegions.lock);
    VirtualRegion* r = RegionHolding(a, size);
    if (!r) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return nullptr;
    }
    if (size > 0) {
        uintptr_t first = a & ~(static_cast<uintptr_t>(PageSize()) - 1);
        size_t span = RoundToPages(a + size - first);
        if (::mprotect(reinterpret_cast<void*>(first), span, ProtectionBits(protect)) != 0) {
            SetLastErrorFromErrno(errno);
            return nullptr;
        }
    }
    return address;
}

} // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD, DWORD protect) {
    // Memory reserved here is already mapped; committing it only has to give
    // the pages the protection asked for. Memory not reserved here cannot be
    // committed: handing the address back would let the caller write to
    // pages that are not there.
    if (address) return CommitInRegion(address, size, protect);

    void* p = ::mmap(nullptr, size, ProtectionBits(protect), MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(gRegions.lock);
        for (VirtualRegion& r : gRegions.slots) {
            if (r.address != 0) continue;
            r.address = reinterpret_cast<uintptr_t>(p);
            r.length = size;
            return p;
        }
    }
    ::munmap(p, size);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    uintptr_t a = reinterpret_cast<uintptr_t>(address);
    size_t unmapLength = 0;
    {
        std::lock_guard<std::mutex> guard(gRegions.lock);
        VirtualRegion* found = nullptr;
        // A null address must not match a free slot.
        for (VirtualRegion& r : gRegions.slots)
            if (a != 0 && r.address == a) found = &r;
        if (!found) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (freeType & MEM_RELEASE) {
            unmapLength = found->length;
            found->address = 0;
            found->length = 0;
        } else if (freeType & MEM_DECOMMIT) {
            // Discarding past the region would throw away pages of whatever
            // mapping lies behind it.
            size_t span = RoundToPages(found->length);
            if (size > span) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            // Under the lock, so that a release cannot unmap the region and
            // let another mapping take its place first.
            ::madvise(address, size ? size : found->length, MADV_DONTNEED);
        }
    }
    // The slot is free already; the pages stay mapped until here, so no new
    // mapping can take the address before the slot is empty.
    if (unmapLength) ::munmap(address, unmapLength);
    return TRUE;
}

namespace {
// The block header before the data: the requested size, padded to 16 bytes
// so that the data keeps malloc's alignment.
constexpr size_t kGlobalHeader = 16;

unsigned char* GlobalBlock(HGLOBAL memory) {
    return static_cast<unsigned char*>(memory) - kGlobalHeader;
}
} // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T size) {
    // A size whose header would wrap the total must fail, not yield a tiny
    // block that GlobalSize reports as huge.
    if (size > SIZE_MAX - kGlobalHeader) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* block = (flags & GMEM_ZEROINIT) ? std::calloc(1, kGlobalHeader + size)
                                          : std::malloc(kGlobalHeader + size);
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    uint64_t stored = size;
    std::memcpy(block, &stored, sizeof stored);
    return static_cast<unsigned char*>(block) + kGlobalHeader;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    if (memory) std::free(GlobalBlock(memory));
    return nullptr;
}

LPVOID GlobalLock(HGLOBAL memory) { return memory; }

BOOL GlobalUnlock(HGLOBAL) {
    SetLastError(ERROR_SUCCESS);
    return FALSE;
}

SIZE_T GlobalSize(HGLOBAL memory) {
    if (!memory) return 0;
    uint64_t stored;
    std::memcpy(&stored, GlobalBlock(memory), sizeof stored);
    return static_cast<SIZE_T>(stored);
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}
