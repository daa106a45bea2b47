// Virtual memory regions (protection, the 256-slot limit, commit, decommit
// and release) and the Global and Local memory blocks.
#include "heap_probe.h"
#include "winmem.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kSentinelError = 0xBADC0DE;

size_t Page() { return static_cast<size_t>(::sysconf(_SC_PAGESIZE)); }

// The "rwx" letters /proc/self/maps shows for the mapping holding address;
// empty when nothing is mapped there.
std::string Protection(const void* address) {
    uintptr_t a = reinterpret_cast<uintptr_t>(address);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        uintptr_t lo, hi;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &lo, &hi, perms) != 3) continue;
        if (a >= lo && a < hi) return std::string(perms, 3);
    }
    return "";
}

// The process's virtual size in kB.
long VmSizeKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0) return std::stol(line.substr(7));
    return -1;
}

// Releases every region a test still holds, also when it fails midway.
struct Regions {
    std::vector<void*> held;
    ~Regions() {
        for (void* p : held) VirtualFree(p, 0, MEM_RELEASE);
    }
    void* Alloc(SIZE_T size, DWORD protect = PAGE_READWRITE) {
        void* p = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, protect);
        if (p) held.push_back(p);
        return p;
    }
    bool Release(void* p) {
        std::erase(held, p);
        return VirtualFree(p, 0, MEM_RELEASE);
    }
};

// ---- VirtualAlloc / VirtualFree -------------------------------------------------

TEST(VirtualMemory, ProtectionOfANewRegion) {
    struct Row {
        const char* what;
        DWORD protect;
        const char* expected;
    };
    const Row rows[] = {
        {"no access", PAGE_NOACCESS, "---"},
        {"read only", PAGE_READONLY, "r--"},
        {"read and write", PAGE_READWRITE, "rw-"},
        {"execute-read-write is never executable", 0x40, "rw-"},
        {"execute only becomes read and write", 0x10, "rw-"},
        {"no protection bits", 0, "rw-"},
    };
    Regions regions;
    for (const Row& r : rows) {
        void* p = regions.Alloc(3 * Page(), r.protect);
        ASSERT_NE(p, nullptr) << r.what;
        EXPECT_EQ(Protection(p), r.expected) << r.what;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % Page(), 0u) << r.what;
    }
}

TEST(VirtualMemory, NewRegionIsZeroFilledAndWritableToItsEnd) {
    Regions regions;
    const SIZE_T size = 2 * Page() + 100; // not a whole number of pages
    auto* p = static_cast<unsigned char*>(regions.Alloc(size));
    ASSERT_NE(p, nullptr);
    for (SIZE_T i = 0; i < size; i++) ASSERT_EQ(p[i], 0) << i;
    std::memset(p, 0x77, size);
    EXPECT_EQ(p[size - 1], 0x77);
    EXPECT_TRUE(regions.Release(p));
    EXPECT_EQ(Protection(p), "") << "release unmaps the region";
}

TEST(VirtualMemory, MappingFailuresGiveError8) {
    struct Row {
        const char* what;
        SIZE_T size;
    };
    const Row rows[] = {
        {"size 0", 0},
        {"larger than the address space", SIZE_T{1} << 62},
        {"the largest size", SIZE_MAX},
    };
    for (const Row& r : rows) {
        SetLastError(kSentinelError);
        EXPECT_EQ(VirtualAlloc(nullptr, r.size, MEM_COMMIT, PAGE_READWRITE), nullptr) << r.what;
        EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY) << r.what;
    }
}

TEST(VirtualMemory, The257thRegionFailsAndLeavesNothingMapped) {
    Regions regions;
    std::set<void*> distinct;
    for (int i = 0; i < QPOSIX_VIRTUAL_REGIONS; i++) {
        void* p = regions.Alloc(Page());
        ASSERT_NE(p, nullptr) << "region " << i + 1;
        distinct.insert(p);
    }
    EXPECT_EQ(distinct.size(), 256u);

    // A large request, so that a mapping left behind would show in the
    // process's size.
    const SIZE_T big = SIZE_T{1} << 30;
    long before = VmSizeKb();
    SetLastError(kSentinelError);
    EXPECT_EQ(VirtualAlloc(nullptr, big, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_LT(VmSizeKb() - before, static_cast<long>(big / 1024 / 2));

    // Releasing one region frees its slot for the next allocation.
    void* freed = regions.held[100];
    EXPECT_TRUE(regions.Release(freed));
    void* again = regions.Alloc(big);
    EXPECT_NE(again, nullptr);
    SetLastError(kSentinelError);
    EXPECT_EQ(VirtualAlloc(nullptr, Page(), MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
}

TEST(VirtualRegionConcurrency, ThreadsFillTheTableWithoutLosingASlot) {
    constexpr int kThreads = 8;
    constexpr int kEach = QPOSIX_VIRTUAL_REGIONS / kThreads;
    std::vector<void*> got[kThreads];
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([&got, t] {
            for (int round = 0; round < 50; round++) {
                for (int i = 0; i < kEach; i++)
                    got[t].push_back(VirtualAlloc(nullptr, Page(), MEM_COMMIT, PAGE_READWRITE));
                if (round == 49) break;
                for (void* p : got[t]) VirtualFree(p, 0, MEM_RELEASE);
                got[t].clear();
            }
        });
    for (std::thread& t : threads) t.join();
    Regions regions;
    for (auto& list : got)
        for (void* p : list) {
            EXPECT_NE(p, nullptr);
            if (p) regions.held.push_back(p);
        }
    std::set<void*> distinct(regions.held.begin(), regions.held.end());
    EXPECT_EQ(distinct.size(), 256u);
    EXPECT_EQ(VirtualAlloc(nullptr, Page(), MEM_COMMIT, PAGE_READWRITE), nullptr)
        << "all 256 slots are held";
}

TEST(VirtualMemory, FreeOfAnAddressThatIsNoRegionFailsWith87) {
    Regions regions;
    auto* region = static_cast<unsigned char*>(regions.Alloc(4 * Page()));
    ASSERT_NE(region, nullptr);
    void* released = regions.Alloc(Page());
    ASSERT_TRUE(regions.Release(released));
    int onTheStack = 0;
    void* onTheHeap = std::malloc(64);
    struct Row {
        const char* what;
        void* address;
        SIZE_T size;
        DWORD type;
    };
    const Row rows[] = {
        {"null, while free slots exist", nullptr, 0, MEM_RELEASE},
        {"a stack address", &onTheStack, 0, MEM_RELEASE},
        {"a heap block", onTheHeap, 0, MEM_RELEASE},
        {"inside a region, not its start", region + Page(), 0, MEM_RELEASE},
        {"a region already released", released, 0, MEM_RELEASE},
        {"decommit of no region", &onTheStack, 0, MEM_DECOMMIT},
        {"decommit larger than the region", region, 5 * Page(), MEM_DECOMMIT},
    };
    region[0] = 1;
    region[4 * Page() - 1] = 2;
    for (const Row& r : rows) {
        SetLastError(kSentinelError);
        EXPECT_EQ(VirtualFree(r.address, r.size, r.type), FALSE) << r.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << r.what;
    }
    EXPECT_EQ(region[0], 1) << "a refused decommit discards nothing";
    EXPECT_EQ(region[4 * Page() - 1], 2);
    EXPECT_EQ(Protection(region), "rw-");
    std::free(onTheHeap);
}

TEST(VirtualMemory, DecommitDiscardsThePagesAsked) {
    struct Row {
        const char* what;
        SIZE_T size; // in bytes; 0 = the whole region
        DWORD type;
        bool firstKept, secondKept, thirdKept;
    };
    const size_t page = Page();
    const Row rows[] = {
        {"size 0 decommits the whole region", 0, MEM_DECOMMIT, false, false, false},
        {"the first page", page, MEM_DECOMMIT, false, true, true},
        {"part of a page takes the whole page", page + 1, MEM_DECOMMIT, false, false, true},
        {"exactly the region", 3 * page, MEM_DECOMMIT, false, false, false},
        {"a type that is neither does nothing", 0, MEM_COMMIT, true, true, true},
        {"no type does nothing", 0, 0, true, true, true},
    };
    for (const Row& r : rows) {
        Regions regions;
        auto* p = static_cast<unsigned char*>(regions.Alloc(3 * page));
        ASSERT_NE(p, nullptr) << r.what;
        p[0] = 'a';
        p[page] = 'b';
        p[2 * page] = 'c';
        SetLastError(kSentinelError);
        EXPECT_EQ(VirtualFree(p, r.size, r.type), TRUE) << r.what;
        EXPECT_EQ(GetLastError(), kSentinelError) << r.what;
        EXPECT_EQ(p[0], r.firstKept ? 'a' : 0) << r.what;
        EXPECT_EQ(p[page], r.secondKept ? 'b' : 0) << r.what;
        EXPECT_EQ(p[2 * page], r.thirdKept ? 'c' : 0) << r.what;
        EXPECT_EQ(Protection(p), "rw-") << r.what << ": the region stays mapped";
    }
}

TEST(VirtualMemory, CommitInsideAReservedRegion) {
    Regions regions;
    const size_t page = Page();
    auto* base = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 4 * page, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(base, nullptr);
    regions.held.push_back(base);
    EXPECT_EQ(Protection(base), "---");

    // Committing returns the address given and makes the pages usable.
    SetLastError(kSentinelError);
    EXPECT_EQ(VirtualAlloc(base + page, page + 10, MEM_COMMIT, PAGE_READWRITE), base + page);
    EXPECT_EQ(GetLastError(), kSentinelError);
    EXPECT_EQ(Protection(base), "---") << "pages before the range keep theirs";
    EXPECT_EQ(Protection(base + page), "rw-");
    EXPECT_EQ(Protection(base + 2 * page), "rw-") << "the page holding the range's end";
    EXPECT_EQ(Protection(base + 3 * page), "---") << "pages after the range keep theirs";
    base[page] = 'x';
    base[3 * page - 1] = 'y';
    EXPECT_EQ(VirtualAlloc(base + page, page, MEM_COMMIT, PAGE_READONLY), base + page);
    EXPECT_EQ(Protection(base + page), "r--");
    EXPECT_EQ(base[page], 'x') << "committing again keeps the data";
    EXPECT_EQ(VirtualAlloc(base, 0, MEM_COMMIT, PAGE_READWRITE), base) << "nothing to change";
}

TEST(VirtualMemory, CommitOutsideEveryRegionFailsWith487) {
    Regions regions;
    const size_t page = Page();
    auto* region = static_cast<unsigned char*>(regions.Alloc(2 * page, PAGE_NOACCESS));
    ASSERT_NE(region, nullptr);
    alignas(4096) static unsigned char notARegion[4096];
    struct Row {
        const char* what;
        void* address;
        SIZE_T size;
    };
    const Row rows[] = {
        {"memory no region holds", notARegion, 16},
        {"a range running past the region's end", region + page, page + 1},
        {"a size past the end of the address space", region, SIZE_MAX},
    };
    for (const Row& r : rows) {
        SetLastError(kSentinelError);
        EXPECT_EQ(VirtualAlloc(r.address, r.size, MEM_COMMIT, PAGE_READWRITE), nullptr) << r.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS) << r.what;
    }
    EXPECT_EQ(Protection(region), "---") << "a refused commit changes nothing";
    EXPECT_EQ(Protection(region + page), "---");
}

// ---- Global and Local memory ----------------------------------------------------------

TEST(GlobalMemory, ZeroInitBlockOf100Bytes) {
    HGLOBAL h = GlobalAlloc(GMEM_ZEROINIT, 100);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalSize(h), 100u);
    auto* bytes = static_cast<unsigned char*>(GlobalLock(h));
    EXPECT_EQ(static_cast<void*>(bytes), h) << "the handle is the data";
    for (int i = 0; i < 100; i++) ASSERT_EQ(bytes[i], 0) << i;
    SetLastError(kSentinelError);
    EXPECT_EQ(GlobalUnlock(h), FALSE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(GlobalMemory, BlocksHoldTheirSizeAndAreUsableToTheEnd) {
    struct Row {
        const char* what;
        UINT flags;
        SIZE_T size;
    };
    const Row rows[] = {
        {"empty block", GMEM_FIXED, 0},
        {"one byte", GMEM_FIXED, 1},
        {"clipboard block given away", GMEM_DDESHARE | GHND, 4097},
        {"private copy", GHND, 12345},
        {"fixed zeroed", GPTR, 31},
    };
    size_t before = qtest::LiveHeapBytes();
    for (const Row& r : rows) {
        HGLOBAL h = GlobalAlloc(r.flags, r.size);
        ASSERT_NE(h, nullptr) << r.what;
        EXPECT_EQ(GlobalSize(h), r.size) << r.what;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(h) % 16, 0u) << r.what << ": malloc's alignment";
        auto* p = static_cast<unsigned char*>(GlobalLock(h));
        if (r.flags & GMEM_ZEROINIT) {
            for (SIZE_T i = 0; i < r.size; i++) ASSERT_EQ(p[i], 0) << r.what << " at " << i;
        }
        // Writing every byte: AddressSanitizer stops a block that is short.
        std::memset(p, 0xCC, r.size);
        EXPECT_EQ(GlobalSize(h), r.size) << r.what << ": the data does not reach the size";
        GlobalUnlock(h);
        EXPECT_EQ(GlobalFree(h), nullptr) << r.what;
    }
    if constexpr (qtest::kExactHeap) {
        EXPECT_EQ(qtest::LiveHeapBytes(), before) << "GlobalFree frees the whole block";
    }
}

TEST(GlobalMemory, NullHandlesAndImpossibleSizes) {
    EXPECT_EQ(GlobalSize(nullptr), 0u);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
    EXPECT_EQ(GlobalLock(nullptr), nullptr);
    // Sizes whose block header would wrap the total: a tiny block that
    // claims a huge size must never come back.
    const SIZE_T sizes[] = {SIZE_MAX, SIZE_MAX - 15};
    for (SIZE_T size : sizes) {
        SetLastError(kSentinelError);
        EXPECT_EQ(GlobalAlloc(GMEM_FIXED, size), nullptr) << size;
        EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY) << size;
        EXPECT_EQ(GlobalAlloc(GHND, size), nullptr) << size;
    }
}

TEST(LocalMemory, FreeReleasesAMallocBlock) {
    size_t before = qtest::LiveHeapBytes();
    void* text = std::malloc(200);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(LocalFree(text), nullptr);
    if constexpr (qtest::kExactHeap) {
        EXPECT_EQ(qtest::LiveHeapBytes(), before);
    }
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

} // namespace
