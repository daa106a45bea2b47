// Virtual memory regions on anonymous mappings, and the Global and Local
// memory handles of the clipboard and printing code (plain heap blocks whose
// handle is the data pointer).
#pragma once

#include "memoryapi.h"

// VirtualAlloc allocation types and VirtualFree free types.
inline constexpr DWORD MEM_COMMIT = 0x1000;
inline constexpr DWORD MEM_RESERVE = 0x2000;
inline constexpr DWORD MEM_DECOMMIT = 0x4000;
inline constexpr DWORD MEM_RELEASE = 0x8000;
// Page protection; PAGE_READONLY and PAGE_READWRITE come with the file
// mappings.
inline constexpr DWORD PAGE_NOACCESS = 0x01;

// Regions VirtualAlloc keeps at once.
inline constexpr int QPOSIX_VIRTUAL_REGIONS = 256;

// With a null address: a new anonymous private mapping of size bytes, zero
// filled, whatever the type (reserving and committing are the same here):
// PAGE_NOACCESS gives no access, PAGE_READONLY read only, any other
// protection read and write (never execute). The region is recorded for
// VirtualFree; at most QPOSIX_VIRTUAL_REGIONS are held at once. Returns its
// address; null with last error 8 when the mapping fails (size 0 included)
// or every slot is taken, and then nothing stays mapped.
// With an address: committing inside a region made here; the pages of
// [address, address + size) get the protection asked for (so memory
// reserved with PAGE_NOACCESS becomes usable), and the address is returned
// unchanged. An address range not inside one region fails with last error
// 487 and changes nothing.
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect);

// address must be one VirtualAlloc returned for a new region. MEM_RELEASE
// unmaps the whole region and frees its slot (size is ignored);
// MEM_DECOMMIT discards the pages of the first size bytes (all of them for
// size 0), which then read as zeros; any other type does nothing. Returns
// TRUE; FALSE with last error 87 for an address that is not a region's
// start, and for a decommit larger than the region (nothing is discarded).
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

typedef HANDLE HGLOBAL;
typedef HANDLE HLOCAL;

// GlobalAlloc flags; only GMEM_ZEROINIT changes anything here.
inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GMEM_DDESHARE = 0x2000;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
inline constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// A memory block of size bytes (zero-filled with GMEM_ZEROINIT). The handle
// is the data pointer, 16-byte aligned. Null with last error 8 when the
// memory is short or the size cannot be allocated at all.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T size);
// Frees a block from GlobalAlloc; nothing for null. Returns null.
HGLOBAL GlobalFree(HGLOBAL memory);
// The block's data: the handle itself (blocks never move).
LPVOID GlobalLock(HGLOBAL memory);
// Sets the last error to 0 and returns FALSE: the block is no longer locked.
BOOL GlobalUnlock(HGLOBAL memory);
// The size given to GlobalAlloc; 0 for null.
SIZE_T GlobalSize(HGLOBAL memory);

// Frees a block the layer allocated with malloc for the caller (a message
// text, for example) with free. Returns null.
HLOCAL LocalFree(HLOCAL memory);
