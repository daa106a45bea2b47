// The memory status from sysinfo, and the system directory.
#include "winsysinfo.h"
#include "internal/memstatus.h"
#include "qposix_path.h"

#include <sys/sysinfo.h>

#include <cstring>

namespace {
// The virtual address space reported: the 47-bit user space of x86-64.
constexpr SIZE_T kVirtualSpace = 0x800000000000ull;
} // namespace

void MemoryStatusFromSysinfo(const struct sysinfo* info, MEMORYSTATUS* status) {
    std::memset(status, 0, sizeof *status);
    status->dwLength = sizeof *status;
    if (!info) return;
    uint64_t unit = info->mem_unit ? info->mem_unit : 1;
    uint64_t totalRam = info->totalram;
    uint64_t availRam = static_cast<uint64_t>(info->freeram) + info->bufferram;
    status->dwTotalPhys = totalRam * unit;
    status->dwAvailPhys = availRam * unit;
    status->dwTotalPageFile = (static_cast<uint64_t>(info->totalswap) + totalRam) * unit;
    status->dwAvailPageFile = (static_cast<uint64_t>(info->freeswap) + availRam) * unit;
    status->dwTotalVirtual = kVirtualSpace;
    status->dwAvailVirtual = kVirtualSpace;
    // More available than total cannot be a load; it is taken as none in use
    // rather than wrapping to a huge percentage.
    if (totalRam != 0 && availRam <= totalRam)
        status->dwMemoryLoad = static_cast<DWORD>(100 - availRam * 100 / totalRam);
}

void GlobalMemoryStatus(LPMEMORYSTATUS status) {
    if (!status) return;
    struct sysinfo info;
    MemoryStatusFromSysinfo(::sysinfo(&info) == 0 ? &info : nullptr, status);
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
    WCHAR path[MAX_PATH];
    int length = PathFromPosix("/usr/bin", path, MAX_PATH);
    if (length < 0) return 0;
    UINT needed = static_cast<UINT>(length) + 1;
    if (!buffer || size < needed) return needed;
    std::memcpy(buffer, path, needed * sizeof(WCHAR));
    return static_cast<UINT>(length);
}
