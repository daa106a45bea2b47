// Heap questions the memory tests ask: how many bytes are live, whether a
// pointer starts a live heap block and how large that block was asked to be.
// Under AddressSanitizer the answers are exact; otherwise glibc's counters
// stand in, and a block's size is at least what was asked.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define QTEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QTEST_ASAN 1
#endif
#endif

#ifdef QTEST_ASAN
// The sanitizer runtime's allocator queries (not every compiler ships their
// header).
extern "C" {
size_t __sanitizer_get_current_allocated_bytes(void);
int __sanitizer_get_ownership(const volatile void* p);
size_t __sanitizer_get_allocated_size(const volatile void* p);
}
#else
#include <malloc.h>
#endif

namespace qtest {

inline constexpr bool kExactHeap =
#ifdef QTEST_ASAN
    true;
#else
    false;
#endif

// Bytes in live heap blocks of the whole process.
inline size_t LiveHeapBytes() {
#ifdef QTEST_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// The size a live block starting at p was allocated with. Under
// AddressSanitizer: exactly, and 0 when p does not start a live block.
// Otherwise p must start a live block, and the answer is its usable size,
// which may be larger.
inline size_t HeapBlockSize(const void* p) {
#ifdef QTEST_ASAN
    return __sanitizer_get_ownership(p) ? __sanitizer_get_allocated_size(p) : 0;
#else
    return malloc_usable_size(const_cast<void*>(p));
#endif
}

} // namespace qtest
