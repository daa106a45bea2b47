// Pointer arrays sorted by address and their bisection search.
#include "ui/sorted_nodes.h"

#include "settings/quit.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {
constexpr const char* kModule = "Qui";

uint64_t AsU64(const void* pointer) { return uint64_t(reinterpret_cast<uintptr_t>(pointer)); }
} // namespace

void** GrowPtrArray(void** array, size_t oldCount, size_t count) {
    if (count > SIZE_MAX / sizeof(void*)) count = SIZE_MAX / sizeof(void*); // fails as too large
    auto** grown = static_cast<void**>(
        CHECKED_REALLOC(array, (count ? count : 1) * sizeof(void*), kModule));
    if (count > oldCount) std::fill(grown + oldCount, grown + count, nullptr);
    return grown;
}

void** gPtrArray = nullptr;
DWORD gPtrArrayCapacity = 0;

void** GrowPtrArray(INT n) {
    const uint64_t need = n < -2 ? 0 : uint64_t(int64_t(n) + 2);
    if (gPtrArray && need <= gPtrArrayCapacity) return gPtrArray;
    uint64_t capacity = gPtrArray ? gPtrArrayCapacity : need <= 130 ? 130 : 260;
    if (capacity == 0) capacity = 130;
    while (capacity < need) capacity *= 2;
    if (capacity > UINT32_MAX || capacity > SIZE_MAX / sizeof(void*)) return nullptr;
    const size_t kept = gPtrArray ? gPtrArrayCapacity : 0;
    auto** grown = static_cast<void**>(std::realloc(gPtrArray, size_t(capacity) * sizeof(void*)));
    if (!grown) return nullptr;
    std::fill(grown + kept, grown + capacity, nullptr);
    gPtrArray = grown;
    gPtrArrayCapacity = DWORD(capacity);
    return grown;
}

int CompareU64(const void* a, const void* b) {
    const uint64_t x = *static_cast<const uint64_t*>(a);
    const uint64_t y = *static_cast<const uint64_t*>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

void SortPtrArray(void** array, size_t count) {
    std::sort(array, array + count, [](const void* a, const void* b) {
        const uint64_t x = AsU64(a), y = AsU64(b);
        return CompareU64(&x, &y) < 0;
    });
}

BOOL FindInSortedNodes(const void* node, void* const* sorted, size_t count) {
    const uint64_t key = AsU64(node);
    size_t low = 0, high = count;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        const uint64_t at = AsU64(sorted[middle]);
        const int order = CompareU64(&at, &key);
        if (order == 0) return TRUE;
        if (order < 0) low = middle + 1;
        else high = middle;
    }
    return FALSE;
}
