// The special folders of the shell on the XDG base and user directories,
// the item lists that name them, the shell allocator, and the shell
// functions that have no meaning on a terminal (the shlobj.h family).
#include "shlobj.h"
#include "errhandlingapi.h"
#include "internal/shell.h"
#include "internal/sys.h"
#include "qposix_path.h"
#include "winerror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// home + "/" + rest, with "/" for an empty home and no doubled separator.
std::string JoinHome(const std::string& home, const char* rest) {
    std::string base = home;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + "/" + rest;
}

// The whole of a small text file; empty when it cannot be read. Files larger
// than a user-dirs.dirs can sensibly be are read no further than 1 MiB.
std::string ReadSmallFile(const std::string& path) {
    std::string text;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return text;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return text;
    }
    char buf[4096];
    while (text.size() < (1u << 20)) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

// The value of one user-dirs.dirs line after "KEY=": quoted or up to the end
// of the line, a backslash taking the next character as it is (the file is
// written in shell quoting, so an escaped quote does not end the value).
std::string LineValue(const std::string& line, size_t start) {
    size_t i = start;
    bool quoted = i < line.size() && line[i] == '"';
    if (quoted) i++;
    std::string value;
    for (; i < line.size(); i++) {
        char c = line[i];
        if (quoted && c == '"') break;
        if (c == '\\' && i + 1 < line.size()) c = line[++i];
        value += c;
    }
    return value;
}

constexpr BYTE kListMark0 = 'q';
constexpr BYTE kListMark1 = 'p';
constexpr size_t kListBytes = 10;

// The folder of an id as a Windows path of at most MAX_PATH units.
BOOL FolderToWindows(int id, LPWSTR path, bool create) {
    std::string posix;
    if (!path) return FALSE;
    if (SpecialFolderPath(id, &posix) != 0) {
        path[0] = 0;
        return FALSE;
    }
    if (create) ShellMakeDirs(posix);
    if (PathFromPosix(posix.c_str(), path, MAX_PATH) < 0) {
        path[0] = 0;
        return FALSE;
    }
    return TRUE;
}

// ---- the shell allocator ----------------------------------------------------------

HRESULT MallocQueryInterface(IMalloc*, REFIID, void** object) {
    if (object) *object = nullptr;
    return E_NOINTERFACE;
}
ULONG MallocAddRef(IMalloc*) {
    return 1;
}
ULONG MallocRelease(IMalloc*) {
    return 1;
}
void* MallocAlloc(IMalloc*, SIZE_T size) {
    return std::malloc(size);
}
void* MallocRealloc(IMalloc*, void* block, SIZE_T size) {
    return std::realloc(block, size);
}
void MallocFree(IMalloc*, void* block) {
    std::free(block);
}
SIZE_T MallocGetSize(IMalloc*, void*) {
    return static_cast<SIZE_T>(-1);
}
int MallocDidAlloc(IMalloc*, void*) {
    return -1;
}
void MallocHeapMinimize(IMalloc*) {}

const IMallocVtbl kMallocVtbl = {
    MallocQueryInterface, MallocAddRef,  MallocRelease,  MallocAlloc,        MallocRealloc,
    MallocFree,           MallocGetSize, MallocDidAlloc, MallocHeapMinimize,
};
IMalloc gShellMalloc = {&kMallocVtbl};

} // namespace

// ---- folders as POSIX paths ------------------------------------------------------

void ShellMakeDirs(const std::string& dir) {
    for (size_t pos = 1; pos <= dir.size(); pos++) {
        if (pos == dir.size() || dir[pos] == '/') {
            std::string part = dir.substr(0, pos);
            struct stat st;
            if (::stat(part.c_str(), &st) != 0) QSysMkdir(part.c_str(), 0700);
        }
    }
}

std::string ShellHomeDir() {
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) : std::string();
}

std::string XdgBaseDir(const char* variable, const char* underHome) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    return JoinHome(ShellHomeDir(), underHome);
}

void XdgUserDirsRead(const char* key, const char* defaultName, std::string* out) {
    std::string home = ShellHomeDir();
    *out = home + "/" + defaultName;
    std::string text = ReadSmallFile(XdgBaseDir("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
    size_t keyLen = std::strlen(key);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() <= keyLen || line.compare(0, keyLen, key) != 0 || line[keyLen] != '=')
            continue;
        std::string value = LineValue(line, keyLen + 1);
        if (value.compare(0, 5, "$HOME") == 0)
            *out = home + value.substr(5);
        else if (!value.empty() && value[0] == '/')
            *out = value;
    }
}

int SpecialFolderPath(int id, std::string* out) {
    switch (id & 0xFF) {
    case 0x00:
    case 0x10:
        XdgUserDirsRead("XDG_DESKTOP_DIR", "Desktop", out);
        return 0;
    case 0x05:
        XdgUserDirsRead("XDG_DOCUMENTS_DIR", "Documents", out);
        return 0;
    case 0x08:
        *out = JoinHome(ShellHomeDir(), ".local/share/recently-used");
        return 0;
    case 0x15:
        XdgUserDirsRead("XDG_TEMPLATES_DIR", "Templates", out);
        return 0;
    case 0x1A:
        *out = XdgBaseDir("XDG_CONFIG_HOME", ".config");
        return 0;
    case 0x1C:
        *out = XdgBaseDir("XDG_DATA_HOME", ".local/share");
        return 0;
    case 0x20:
    case 0x21:
        *out = XdgBaseDir("XDG_CACHE_HOME", ".cache");
        return 0;
    case 0x24:
        *out = "/usr";
        return 0;
    case 0x25:
        *out = "/usr/bin";
        return 0;
    case 0x26:
        *out = "/usr/local";
        return 0;
    case 0x27:
        XdgUserDirsRead("XDG_PICTURES_DIR", "Pictures", out);
        return 0;
    case 0x28: {
        std::string home = ShellHomeDir();
        *out = home.empty() ? std::string("/") : home;
        return 0;
    }
    default:
        return -1;
    }
}

// ---- the shell functions ------------------------------------------------------------

BOOL SHGetSpecialFolderPathW(HWND, LPWSTR path, int id, BOOL create) {
    return FolderToWindows(id, path, create != FALSE);
}

HRESULT SHGetSpecialFolderLocation(HWND, int id, PIDLIST_ABSOLUTE* list) {
    if (!list) return E_INVALIDARG;
    std::string unused;
    if (SpecialFolderPath(id, &unused) != 0) {
        *list = nullptr;
        return E_FAIL;
    }
    BYTE* bytes = static_cast<BYTE*>(std::malloc(kListBytes));
    if (!bytes) {
        *list = nullptr;
        return E_OUTOFMEMORY;
    }
    const WORD size = 8;
    const DWORD folder = static_cast<DWORD>(id);
    const WORD end = 0;
    std::memcpy(bytes, &size, 2);
    bytes[2] = kListMark0;
    bytes[3] = kListMark1;
    std::memcpy(bytes + 4, &folder, 4);
    std::memcpy(bytes + 8, &end, 2);
    *list = reinterpret_cast<PIDLIST_ABSOLUTE>(bytes);
    return S_OK;
}

BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path) {
    if (!path) return FALSE;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(list);
    if (!bytes || bytes[0] != 8 || bytes[2] != kListMark0 || bytes[3] != kListMark1) {
        path[0] = 0;
        return FALSE;
    }
    DWORD folder;
    std::memcpy(&folder, bytes + 4, 4);
    return FolderToWindows(static_cast<int>(folder), path, false);
}

HRESULT SHGetMalloc(LPMALLOC* allocator) {
    if (!allocator) return E_INVALIDARG;
    *allocator = &gShellMalloc;
    return S_OK;
}

void SHAddToRecentDocs(UINT, LPCVOID) {}

DWORD SHFormatDrive(HWND, UINT, UINT, UINT) {
    return SHFMT_ERROR;
}
