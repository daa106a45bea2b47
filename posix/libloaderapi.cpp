// Modules through dlopen, the pseudo modules answered from the layer's own
// name table, the program path, the command line and the process identity.
#include "libloaderapi.h"
#include "errhandlingapi.h"
#include "internal/api_table.h"
#include "processenv.h"
#include "processthreadsapi.h"
#include "qposix_path.h"
#include "qwcrt.h"
#include "stringapiset.h"
#include "winerror.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

struct LOADED_LIBRARY {
    void* handle; // the dlopen handle, also the module handle handed out
    WCHAR* name;  // owned
    int refs;
};

constexpr int kLibrarySlots = 16;

struct LibraryTable {
    std::mutex lock;
    LOADED_LIBRARY slots[kLibrarySlots];
};

LibraryTable& Libraries() {
    static LibraryTable* table = new LibraryTable();
    return *table;
}

const char* const kPseudoModules[] = {
    "kernel32", "kernelbase", "user32",  "gdi32",   "shell32",  "shlwapi",
    "advapi32", "ole32",      "oleaut32", "version", "psapi",   "mpr",
    "netapi32", "comdlg32",   "winspool", "winspool.drv", "ntdll"};

// True when the last component of name, lower-cased, cut to 31 characters
// and without a trailing ".dll", names a system library the layer emulates.
bool IsPseudoModuleName(LPCWSTR name) {
    const WCHAR* last = name;
    for (const WCHAR* p = name; *p; p++)
        if (*p == '/' || *p == '\\') last = p + 1;
    char lower[32];
    size_t n = 0;
    for (; last[n] && n < 31; n++) {
        WCHAR c = last[n];
        if (c > 0x7F) return false;
        lower[n] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    lower[n] = 0;
    if (n >= 4 && std::strcmp(lower + n - 4, ".dll") == 0) lower[n - 4] = 0;
    for (const char* m : kPseudoModules)
        if (std::strcmp(lower, m) == 0) return true;
    return false;
}

// The program's path in POSIX form, from /proc/self/exe.
bool ProgramPosixPath(char* out, size_t size) {
    ssize_t n = ::readlink("/proc/self/exe", out, size - 1);
    if (n <= 0) return false;
    out[n] = 0;
    return true;
}

// Copies text into buffer with the result rules of GetModuleFileName for the
// program path: the length when it fits; otherwise size - 1 units and a
// terminator, error 122, result size.
DWORD CopyModuleName(const WCHAR* text, LPWSTR buffer, DWORD size) {
    size_t len = wcslen(text);
    if (!buffer) return static_cast<DWORD>(len + 1);
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (len < size) {
        wmemcpy(buffer, text, len + 1);
        return static_cast<DWORD>(len);
    }
    wmemcpy(buffer, text, size - 1);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

WCHAR* gCommandLine = nullptr;
std::mutex gCommandLineLock;

} // namespace

HMODULE LoadLibraryW(LPCWSTR name) {
    if (!name) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (IsPseudoModuleName(name)) return QPOSIX_SYSTEM_MODULE;

    WCHAR full[4097];
    bool bare = !wcschr(name, '/') && !wcschr(name, '\\');
    if (bare) {
        // Only the program's own directory: never the system's search path.
        WCHAR program[4097];
        DWORD n = GetModuleFileNameW(nullptr, program, 4097);
        if (n == 0 || n >= 4097) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        WCHAR* slash = wcsrchr(program, '\\');
        size_t dirLen = slash ? static_cast<size_t>(slash - program) + 1 : 0;
        size_t nameLen = wcslen(name);
        if (dirLen + nameLen > 4096) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return nullptr;
        }
        wmemcpy(full, program, dirLen);
        wmemcpy(full + dirLen, name, nameLen + 1);
        name = full;
    }
    const char* posix = PathToPosix(name);
    void* handle = ::dlopen(posix, RTLD_NOW);
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    WCHAR stored[4097];
    if (PathFromPosix(posix, stored, 4097) < 0) wcsncpy_s(stored, 4097, name, _TRUNCATE);

    LibraryTable& t = Libraries();
    std::lock_guard<std::mutex> guard(t.lock);
    for (LOADED_LIBRARY& slot : t.slots) {
        if (slot.handle == handle) {
            slot.refs++;
            return reinterpret_cast<HMODULE>(handle);
        }
    }
    for (LOADED_LIBRARY& slot : t.slots) {
        if (slot.handle) continue;
        WCHAR* copy = _wcsdup(stored);
        if (!copy) break;
        slot.handle = handle;
        slot.name = copy;
        slot.refs = 1;
        return reinterpret_cast<HMODULE>(handle);
    }
    ::dlclose(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

HMODULE LoadLibraryA(LPCSTR name) {
    if (!name) return LoadLibraryW(nullptr);
    WCHAR wide[4097];
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 4097) == 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    return LoadLibraryW(wide);
}

HMODULE GetModuleHandleW(LPCWSTR name) {
    if (!name) return QPOSIX_PROGRAM_MODULE;
    if (IsPseudoModuleName(name)) return QPOSIX_SYSTEM_MODULE;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    // An ordinal is a value below 0x10000 in place of the name: not offered.
    if (!name || reinterpret_cast<uintptr_t>(name) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (module == QPOSIX_PROGRAM_MODULE || module == QPOSIX_SYSTEM_MODULE) {
        FARPROC f = ApiTableLookup(name);
        if (!f) SetLastError(ERROR_PROC_NOT_FOUND);
        return f;
    }
    bool loaded = false;
    {
        LibraryTable& t = Libraries();
        std::lock_guard<std::mutex> guard(t.lock);
        for (const LOADED_LIBRARY& slot : t.slots)
            if (module && slot.handle == module) loaded = true;
    }
    // A handle the table does not know is never handed to the loader.
    void* symbol = loaded ? ::dlsym(module, name) : nullptr;
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module) {
    if (!module) return TRUE;
    LibraryTable& t = Libraries();
    WCHAR* freed = nullptr;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        for (LOADED_LIBRARY& slot : t.slots) {
            if (slot.handle != module) continue;
            ::dlclose(slot.handle);
            if (--slot.refs == 0) {
                freed = slot.name;
                slot = LOADED_LIBRARY{};
            }
            break;
        }
    }
    std::free(freed);
    return TRUE;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    if (!module || module == QPOSIX_PROGRAM_MODULE) {
        char posix[4096];
        WCHAR path[4097];
        if (!ProgramPosixPath(posix, sizeof posix) || PathFromPosix(posix, path, 4097) < 0) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        return CopyModuleName(path, buffer, size);
    }
    LibraryTable& t = Libraries();
    std::lock_guard<std::mutex> guard(t.lock);
    for (const LOADED_LIBRARY& slot : t.slots) {
        if (!slot.handle || slot.handle != module) continue;
        size_t len = wcslen(slot.name);
        if (!buffer || len >= size) return static_cast<DWORD>(len + 1);
        wmemcpy(buffer, slot.name, len + 1);
        return static_cast<DWORD>(len);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    WCHAR wide[4097];
    DWORD n = GetModuleFileNameW(module, wide, 4097);
    if (n == 0 || n >= 4097) return 0;
    int need = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (!buffer) return static_cast<DWORD>(need);
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (static_cast<DWORD>(need) <= size) {
        WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, static_cast<int>(size), nullptr, nullptr);
        return static_cast<DWORD>(need - 1);
    }
    WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(size - 1), buffer,
                        static_cast<int>(size), nullptr, nullptr);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

LPWSTR GetCommandLineW() {
    static WCHAR empty[1] = {0};
    std::lock_guard<std::mutex> guard(gCommandLineLock);
    return gCommandLine ? gCommandLine : empty;
}

void SetCommandLineW(LPCWSTR line) {
    WCHAR* copy = line ? _wcsdup(line) : nullptr;
    std::lock_guard<std::mutex> guard(gCommandLineLock);
    // The previous copy is kept: a caller may still hold it.
    gCommandLine = copy;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)); }

HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)); }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }
