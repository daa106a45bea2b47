// Directory searches: FindFirstFileExW, FindNextFileW and FindClose on the
// search object FIND_STATE (handle type 3), with the Windows name patterns.
#include "errhandlingapi.h"
#include "fileapi.h"
#include "handleapi.h"
#include "internal/fileinfo.h"
#include "internal/handles.h"
#include "internal/sys.h"
#include "qposix_drives.h"
#include "qposix_path.h"
#include "qwcrt.h"
#include "winerror.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace {

constexpr size_t kPatternUnits = 259;
constexpr size_t kDirectoryUnits = 4094;

// One search. A search of one exact name has no stream and nothing more to
// give after its first entry.
struct FIND_STATE {
    DIR* stream;
    int pseudoDue; // 2: "." then ".."; 1: ".."; 0 at a drive's mount path
    WCHAR pattern[kPatternUnits + 1];
    bool matchAll; // "*" or "*.*": every name, unmatched
    char directory[QPOSIX_PATH_MAX_BYTES + 1]; // without trailing slashes, except "/"
};

void CloseFindState(void* object) {
    auto* s = static_cast<FIND_STATE*>(object);
    if (s->stream) ::closedir(s->stream);
    delete s;
}

void RegisterFindType() {
    static std::once_flag once;
    std::call_once(once, [] { HandleRegisterType(HANDLE_TYPE_FIND, CloseFindState); });
}

HANDLE Fail(DWORD code) {
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
}

bool IsSeparator(WCHAR u) { return u == '\\' || u == '/'; }

bool HasWildcard(const WCHAR* s) {
    for (; *s; s++)
        if (*s == '*' || *s == '?') return true;
    return false;
}

// True when a drive letter's mount path is exactly this directory.
bool IsDriveMountPath(const char* directory) {
    int letter;
    size_t prefixLen;
    if (!DriveFindForPath(directory, &letter, &prefixLen)) return false;
    if (prefixLen == 0) return std::strcmp(directory, "/") == 0;
    return prefixLen == std::strlen(directory);
}

// Facts of an entry whose own statx failed for a reason other than its
// disappearance (a directory that may be read but not searched, an I/O
// error): its type from the directory entry, no mode known, so that the
// entry is still listed and a later operation on it reports its own error.
FILE_FACTS FactsFromDirectoryEntry(unsigned char type) {
    FILE_FACTS f{};
    switch (type) {
    case DT_DIR: f.mode = S_IFDIR; break;
    case DT_LNK: f.mode = S_IFLNK; break;
    case DT_FIFO: f.mode = S_IFIFO; break;
    case DT_CHR: f.mode = S_IFCHR; break;
    case DT_BLK: f.mode = S_IFBLK; break;
    case DT_SOCK: f.mode = S_IFSOCK; break;
    default: f.mode = S_IFREG; break;
    }
    // Not known to be read-only: the owner write bit stands for "unknown".
    f.mode |= S_IWUSR;
    return f;
}

void FillFindData(WIN32_FIND_DATAW* data, const FILE_FACTS& facts, bool modeKnown,
                  std::string_view name, const WCHAR* wideName) {
    std::memset(data, 0, sizeof *data);
    data->dwFileAttributes = FileFactsAttributes(facts, name);
    data->ftCreationTime = facts.creation;
    data->ftLastAccessTime = facts.access;
    data->ftLastWriteTime = facts.write;
    if (S_ISREG(facts.mode)) {
        data->nFileSizeHigh = static_cast<DWORD>(facts.size >> 32);
        data->nFileSizeLow = static_cast<DWORD>(facts.size);
    }
    data->dwReserved0 = FileFactsFindTag(facts, name);
    data->dwReserved1 = modeKnown ? FileFactsModeWord(facts) : FILE_MODE_UNKNOWN;
    wcscpy_s(data->cFileName, MAX_PATH, wideName);
}

// The next entry of a directory search into data: 0, 18 at the end, or the
// Windows error of a failed read.
DWORD NextEntry(FIND_STATE* s, WIN32_FIND_DATAW* data) {
    int dirFd = ::dirfd(s->stream);
    while (s->pseudoDue > 0) {
        const char* name = s->pseudoDue == 2 ? "." : "..";
        const WCHAR* wide = s->pseudoDue == 2 ? u"." : u"..";
        s->pseudoDue--;
        bool starDot = s->pattern[0] == '*' && s->pattern[1] == '.' && s->pattern[2] == 0;
        if (!s->matchAll && !starDot && !FindMatchName(s->pattern, wide)) continue;
        FILE_FACTS facts;
        int err = FileFactsAt(dirFd, name, &facts);
        if (err == ENOENT) continue;
        bool known = err == 0;
        if (!known) facts = FactsFromDirectoryEntry(DT_DIR);
        FillFindData(data, facts, known, name, wide);
        return ERROR_SUCCESS;
    }
    for (;;) {
        errno = 0;
        struct dirent* e = QSysReaddir(s->stream);
        if (!e) {
            // A failed read is not the end of the listing: a caller that
            // copies, mirrors or deletes must not take a part for the whole.
            return errno ? ErrnoToWin32Error(errno) : ERROR_NO_MORE_FILES;
        }
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        WCHAR wide[MAX_PATH];
        if (NameFromPosix(e->d_name, -1, wide, MAX_PATH) < 0) continue;
        if (!s->matchAll && !FindMatchName(s->pattern, wide)) continue;
        FILE_FACTS facts;
        int err = FileFactsAt(dirFd, e->d_name, &facts);
        if (err == ENOENT) continue; // gone since the directory was read
        bool known = err == 0;
        if (!known) facts = FactsFromDirectoryEntry(e->d_type);
        FillFindData(data, facts, known, e->d_name, wide);
        return ERROR_SUCCESS;
    }
}

} // namespace

HANDLE FindFirstFileExW(LPCWSTR path, FINDEX_INFO_LEVELS, LPVOID findData, FINDEX_SEARCH_OPS,
                        LPVOID, DWORD) {
    auto* data = static_cast<WIN32_FIND_DATAW*>(findData);
    if (!data) return Fail(ERROR_INVALID_PARAMETER);
    if (!path || !path[0]) return Fail(ERROR_FILE_NOT_FOUND);

    // The pattern: after the last separator, else after a leading "X:".
    size_t len = wcslen(path);
    size_t patternStart = 0;
    for (size_t i = 0; i < len; i++)
        if (IsSeparator(path[i])) patternStart = i + 1;
    if (patternStart == 0 && len >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        patternStart = 2;
    const WCHAR* pattern = path + patternStart;
    size_t patternLen = len - patternStart;
    if (patternLen == 0) return Fail(ERROR_FILE_NOT_FOUND);
    // No entry name is that long; cutting the pattern would match others.
    if (patternLen > kPatternUnits) return Fail(ERROR_FILENAME_EXCED_RANGE);

    if (patternStart > kDirectoryUnits) return Fail(ERROR_FILENAME_EXCED_RANGE);
    WCHAR directoryW[kDirectoryUnits + 2];
    if (patternStart == 0) {
        directoryW[0] = '.';
        directoryW[1] = 0;
    } else {
        std::memcpy(directoryW, path, patternStart * sizeof(WCHAR));
        directoryW[patternStart] = 0;
    }
    const char* posix = PathToPosix(directoryW);
    size_t posixLen = std::strlen(posix);
    if (posixLen == 0 || posixLen > QPOSIX_PATH_MAX_BYTES)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    while (posixLen > 1 && posix[posixLen - 1] == '/') posixLen--;

    auto* s = new (std::nothrow) FIND_STATE{};
    if (!s) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    std::memcpy(s->directory, posix, posixLen);
    s->directory[posixLen] = 0;
    std::memcpy(s->pattern, pattern, patternLen * sizeof(WCHAR));
    s->pattern[patternLen] = 0;

    struct statx st;
    if (QSysStatx(AT_FDCWD, s->directory, 0, STATX_TYPE, &st) != 0 || !S_ISDIR(st.stx_mode)) {
        delete s;
        return Fail(ERROR_PATH_NOT_FOUND);
    }

    if (HasWildcard(s->pattern)) {
        s->matchAll = wcscmp(s->pattern, u"*") == 0 || wcscmp(s->pattern, u"*.*") == 0;
        s->pseudoDue = IsDriveMountPath(s->directory) ? 0 : 2;
        int fd = QSysOpen(s->directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            DWORD code = PathErrnoToWin32Error(errno, s->directory);
            delete s;
            return Fail(code == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : code);
        }
        s->stream = ::fdopendir(fd);
        if (!s->stream) {
            DWORD code = ErrnoToWin32Error(errno);
            ::close(fd);
            delete s;
            return Fail(code);
        }
        DWORD code = NextEntry(s, data);
        if (code != ERROR_SUCCESS) {
            CloseFindState(s);
            return Fail(code == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : code);
        }
    } else {
        // One entry, named exactly: its name is never matched against others.
        char name[kPatternUnits * 3 + 1];
        char full[QPOSIX_PATH_MAX_BYTES + 2 + sizeof name];
        WCHAR wide[MAX_PATH];
        FILE_FACTS facts;
        bool root = std::strcmp(s->directory, "/") == 0;
        if (Utf16ToUtf8(s->pattern, -1, name, sizeof name) < 0 ||
            std::snprintf(full, sizeof full, "%s/%s", root ? "" : s->directory, name) < 0 ||
            FileFactsAt(AT_FDCWD, full, &facts) != 0 ||
            NameFromPosix(name, -1, wide, MAX_PATH) < 0) {
            delete s;
            return Fail(ERROR_FILE_NOT_FOUND);
        }
        FillFindData(data, facts, true, name, wide);
    }

    RegisterFindType();
    HANDLE h = HandleAllocate(HANDLE_TYPE_FIND, s);
    if (!h) {
        CloseFindState(s);
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    SetLastError(ERROR_SUCCESS);
    return h;
}

HANDLE FindFirstFileW(LPCWSTR path, LPWIN32_FIND_DATAW findData) {
    return FindFirstFileExW(path, FindExInfoStandard, findData, FindExSearchNameMatch, nullptr, 0);
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData) {
    auto* s = static_cast<FIND_STATE*>(HandleLookup(find, HANDLE_TYPE_FIND));
    if (!s) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!findData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD code = s->stream ? NextEntry(s, findData) : ERROR_NO_MORE_FILES;
    if (code != ERROR_SUCCESS) {
        SetLastError(code);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    // Only a find handle: a file or thread handle passed here by mistake
    // stays open.
    if (!HandleLookup(find, HANDLE_TYPE_FIND)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(find);
}
