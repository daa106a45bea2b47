// Arrays of record pointers sorted by address and searched by bisection:
// how an operation that removes many tree records at once tells, for each
// link it meets, whether it leads to one of them.
#pragma once

#include "wintypes.h"

#include <cstddef>

// array grown (or, when null, made) to hold count pointers; the pointers it
// held are kept and the new places are null. Allocation failure is fatal.
// Release with free().
void** GrowPtrArray(void** array, size_t oldCount, size_t count);
// The shared pointer array that bulk operations collect records in, and the
// entries it holds (0 before the first growth).
extern void** gPtrArray;
extern DWORD gPtrArrayCapacity;
// Makes gPtrArray hold at least n + 2 entries: an existing array doubles
// until it does; a new one starts with 130 entries (n + 2 up to 130), 260
// (up to 260), or 260 doubled until it fits. New entries are null. Returns
// the array, or null when the memory could not be had (the old array and
// its capacity then stay).
void** GrowPtrArray(INT n);
// Orders two pointer-sized values (given by address, as qsort passes them)
// as unsigned 64-bit numbers: -1, 0 or 1.
int CompareU64(const void* a, const void* b);
// Sorts count pointers by address (CompareU64).
void SortPtrArray(void** array, size_t count);
// Whether node is among the count pointers of sorted (ascending by
// address), by bisection.
BOOL FindInSortedNodes(const void* node, void* const* sorted, size_t count);
