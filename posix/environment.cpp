// Environment variables as UTF-16 (with the cache that keeps handed-out
// values valid), and the current and temporary directories as Windows paths.
#include "processenv.h"
#include "errhandlingapi.h"
#include "internal/utf.h"
#include "qposix_path.h"
#include "qwcrt.h"
#include "winerror.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// ---- variable names and values ----------------------------------------------

// The UTF-8 form of a variable name into out (256 bytes). False for a null
// or empty name, one longer than 255 bytes, or one holding '=' (no variable
// can have such a name: getenv would match a longer name's value instead).
bool NameToUtf8(const WCHAR* name, char (&out)[QPOSIX_ENV_NAME_MAX_BYTES + 1]) {
    if (!name || !name[0]) return false;
    if (Utf16ToUtf8(name, -1, out, sizeof out) < 0) return false;
    return std::strchr(out, '=') == nullptr;
}

// The current value of a variable, copied out of the environment; false when
// it is not set or the name is unusable.
bool ReadVariable(const WCHAR* name, std::string* value) {
    char utf8[QPOSIX_ENV_NAME_MAX_BYTES + 1];
    if (!NameToUtf8(name, utf8)) return false;
    const char* v = ::getenv(utf8);
    if (!v) return false;
    value->assign(v);
    return true;
}

// Units the UTF-16 form of a value needs, without the terminator. Bytes that
// are not valid UTF-8 take the byte escape, so that a value read and set
// again, or used as a path, keeps its bytes.
size_t WideLength(const std::string& value) {
    return Utf8Decode(value.data(), value.size(), nullptr, 0, true, nullptr);
}

// Decodes a value into out, which holds WideLength + 1 units; terminated.
void DecodeValue(const std::string& value, WCHAR* out, size_t length) {
    size_t stored = 0;
    Utf8Decode(value.data(), value.size(), out, length, true, &stored);
    out[stored] = 0;
}

// ---- the cache of UTF-16 values ----------------------------------------------

struct EnvEntry {
    std::string name;              // UTF-8; empty while the entry is free
    std::string value;             // the UTF-8 value the UTF-16 string was made from
    std::unique_ptr<WCHAR[]> wide; // handed out by EnvGetW
};

struct EnvCache {
    std::mutex lock; // a leaf: nothing else is locked while it is held
    EnvEntry entries[QPOSIX_ENV_CACHE_ENTRIES];
};

// Never destroyed, so that values handed out stay valid while static
// destructors of other objects still run.
EnvCache& Cache() {
    static EnvCache* cache = new EnvCache();
    return *cache;
}

// ---- buffers -------------------------------------------------------------------

// The size rule of the directory functions: length + 1 when there is no
// buffer or it is smaller than the text and its terminator; otherwise the
// text is copied and its length returned.
DWORD CopyOut(const WCHAR* text, size_t length, LPWSTR buffer, DWORD size) {
    if (!buffer || size < length + 1) return static_cast<DWORD>(length + 1);
    wmemcpy(buffer, text, length);
    buffer[length] = 0;
    return static_cast<DWORD>(length);
}

// The current directory as a Windows path; false with the last error set
// when it cannot be read.
bool CurrentDirectory(std::vector<WCHAR>* out, size_t* length) {
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    // A drive letter, its colon and a backslash at most are added; each byte
    // gives at most one unit.
    out->resize(std::strlen(cwd) + 4);
    int n = PathFromPosix(cwd, out->data(), out->size());
    std::free(cwd);
    if (n < 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    *length = static_cast<size_t>(n);
    return true;
}

} // namespace

const WCHAR* EnvGetW(const WCHAR* name) {
    char utf8[QPOSIX_ENV_NAME_MAX_BYTES + 1];
    if (!NameToUtf8(name, utf8)) return nullptr;
    // Read outside the lock: the cache only compares with what was read.
    const char* current = ::getenv(utf8);
    if (!current) return nullptr;
    std::string value(current);

    EnvCache& cache = Cache();
    std::lock_guard<std::mutex> hold(cache.lock);
    EnvEntry* entry = nullptr;
    for (EnvEntry& e : cache.entries) {
        if (e.name.empty()) {
            if (!entry) entry = &e;
            // Entries fill in order and are never freed: no name after the
            // first free one.
            break;
        }
        if (e.name == utf8) {
            entry = &e;
            break;
        }
    }
    if (!entry) return nullptr;
    if (entry->wide && entry->name == utf8 && entry->value == value) return entry->wide.get();

    size_t length = WideLength(value);
    std::unique_ptr<WCHAR[]> wide(new WCHAR[length + 1]);
    DecodeValue(value, wide.get(), length);
    entry->name = utf8;
    entry->value = std::move(value);
    entry->wide = std::move(wide);
    return entry->wide.get();
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    // Converted straight from the environment rather than copied from the
    // cache: the copy never reads a cached string that another thread may
    // replace meanwhile, and a name the full cache cannot take still answers.
    std::string value;
    if (!ReadVariable(name, &value)) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    size_t length = WideLength(value);
    if (!buffer || size < length + 1) return static_cast<DWORD>(length + 1);
    DecodeValue(value, buffer, length);
    // An empty value also returns 0; a cleared last error tells it from an
    // unset variable.
    if (length == 0) SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(length);
}

BOOL SetEnvironmentVariableW(LPCWSTR name, LPCWSTR value) {
    char utf8[QPOSIX_ENV_NAME_MAX_BYTES + 1];
    if (!NameToUtf8(name, utf8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!value) {
        if (::unsetenv(utf8) != 0) {
            SetLastErrorFromErrno(errno);
            return FALSE;
        }
        return TRUE;
    }
    size_t units = wcslen(value);
    size_t bytes = Utf16Encode(value, units, nullptr, 0, nullptr);
    std::string text(bytes, '\0');
    Utf16Encode(value, units, text.data(), bytes, nullptr);
    if (::setenv(utf8, text.c_str(), 1) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
    std::vector<WCHAR> path;
    size_t length;
    if (!CurrentDirectory(&path, &length)) return 0;
    return CopyOut(path.data(), length, buffer, size);
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::vector<WCHAR> path;
    size_t length;
    if (!CurrentDirectory(&path, &length)) return 0;
    if (length == 0) return 0;
    if (length > QPOSIX_PATH_MAX_UNITS) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (!buffer || size < length + 1) return static_cast<DWORD>(length + 1);
    for (size_t i = 0; i < length; i++)
        buffer[i] = path[i] < 256 ? static_cast<char>(path[i]) : '?';
    buffer[length] = 0;
    return static_cast<DWORD>(length);
}

BOOL SetCurrentDirectoryW(LPCWSTR path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // PathToPosix takes an empty path as the root; an empty directory name
    // names nothing, as chdir("") says.
    if (!path[0]) {
        SetLastErrorFromErrno(ENOENT);
        return FALSE;
    }
    if (::chdir(PathToPosix(path)) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

DWORD GetTempPathW(DWORD size, LPWSTR buffer) {
    const char* dir = ::getenv("TMPDIR");
    if (!dir || !dir[0]) dir = "/tmp";
    // Room for a drive letter, colon and backslash, the trailing backslash
    // and the terminator.
    std::vector<WCHAR> path(std::strlen(dir) + 5);
    int n = PathFromPosix(dir, path.data(), path.size());
    if (n < 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    size_t length = static_cast<size_t>(n);
    if (length == 0 || path[length - 1] != '\\') {
        path[length++] = '\\';
        path[length] = 0;
    }
    // A directory that no file function could map back is no temporary
    // directory.
    if (length > QPOSIX_PATH_MAX_UNITS) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return CopyOut(path.data(), length, buffer, size);
}
