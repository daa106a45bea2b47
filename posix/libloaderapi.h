// Modules: shared libraries loaded through the dynamic loader, and the
// pseudo modules of the program and of the system libraries whose functions
// the layer itself provides.
#pragma once

#include "wintypes.h"

typedef INT_PTR (*FARPROC)();

// The program's own module and the one module standing for every system
// library the layer emulates ("kernel32", "user32", ...).
#define QPOSIX_PROGRAM_MODULE (reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000)))
#define QPOSIX_SYSTEM_MODULE (reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7FF00000)))

// Loads a library. A bare name is looked for only in the program's own
// directory, never on the system's library path. Errors: 126 not found,
// 206 name too long, 8 no free slot.
HMODULE LoadLibraryW(LPCWSTR name);
HMODULE LoadLibraryA(LPCSTR name);
HMODULE GetModuleHandleW(LPCWSTR name);
// Entry point by name; for the pseudo modules, the layer's own function.
// Error 127 when there is none.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
