// The path-based operations that change the file system (copy, move,
// delete, directories, links) and the functions that name files (full path
// names, short names, temporary names, path search).
#include "fileapi.h"
#include "errhandlingapi.h"
#include "internal/fileops.h"
#include "internal/posix_util.h"
#include "internal/sys.h"
#include "libloaderapi.h"
#include "qposix_path.h"
#include "qprintf.h"
#include "qwcrt.h"
#include "winerror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

bool IsSeparator(WCHAR c) {
    return c == '\\' || c == '/';
}
bool IsAsciiLetter(WCHAR c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
WCHAR UpperLetter(WCHAR c) {
    return c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 32) : c;
}

// The POSIX form of a path argument, kept beyond PathToPosix's rotating
// buffers. A null path gives 87, an empty one 3 (it names nothing; the
// mapping would make it the root).
bool PosixArg(LPCWSTR path, std::string* out, DWORD* error) {
    if (!path) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (!path[0]) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    *out = PathToPosix(path);
    return true;
}

} // namespace

// ---- copy and move -----------------------------------------------------------

BOOL CopyFileExW(LPCWSTR existingName, LPCWSTR newName, LPPROGRESS_ROUTINE progress, LPVOID data,
                 LPBOOL cancel, DWORD flags) {
    std::string source, dest;
    DWORD err;
    if (!PosixArg(existingName, &source, &err) || !PosixArg(newName, &dest, &err)) return Fail(err);
    err = FileCopyData(source.c_str(), dest.c_str(), (flags & COPY_FILE_FAIL_IF_EXISTS) != 0,
                       progress, data, cancel);
    return err ? Fail(err) : TRUE;
}

BOOL CopyFileW(LPCWSTR existingName, LPCWSTR newName, BOOL failIfExists) {
    return CopyFileExW(existingName, newName, nullptr, nullptr, nullptr,
                       failIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0);
}

namespace {

} // namespace

namespace {

// Whether two paths of one file name the same directory entry (the same
// name in the same directory), rather than two hard links of it. When a
// directory cannot be looked at, they are taken as one entry.
bool SameEntry(const std::string& a, const std::string& b) {
    auto name = [](const std::string& p) { return p.substr(p.rfind('/') + 1); };
    if (name(a) != name(b)) return false;
    struct stat da, db;
    if (::stat(PosixParent(a).c_str(), &da) != 0 || ::stat(PosixParent(b).c_str(), &db) != 0)
        return true;
    return da.st_dev == db.st_dev && da.st_ino == db.st_ino;
}

} // namespace

BOOL MoveFileWithProgressW(LPCWSTR existingName, LPCWSTR newName, LPPROGRESS_ROUTINE progress,
                           LPVOID data, DWORD flags) {
    std::string source, dest;
    DWORD err;
    if (!PosixArg(existingName, &source, &err) || !PosixArg(newName, &dest, &err)) return Fail(err);
    const char* src = source.c_str();
    const char* dst = dest.c_str();
    bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;

    struct stat sl;
    if (::lstat(src, &sl) != 0) return Fail(PathErrnoToWin32Error(errno, src));
    struct stat dl;
    bool destExists = ::lstat(dst, &dl) == 0;
    bool same = destExists && dl.st_dev == sl.st_dev && dl.st_ino == sl.st_ino;
    if (destExists && !same) {
        if (!replace || S_ISDIR(dl.st_mode) || S_ISDIR(sl.st_mode))
            return Fail(ERROR_ALREADY_EXISTS);
    }
    if (same && !S_ISDIR(sl.st_mode) && sl.st_nlink > 1 && !SameEntry(source, dest)) {
        // Two hard links of one file: rename would succeed and change
        // nothing. The move ends with the target's name alone.
        if (!replace) return Fail(ERROR_ALREADY_EXISTS);
        if (QSysUnlink(src) != 0) return Fail(PathErrnoToWin32Error(errno, src));
        return TRUE;
    }

    int r = (replace || same) ? QSysRename(src, dst) : QSysRenameNoReplaceOrCheck(src, dst);
    if (r == 0) return TRUE;
    int e = errno;
    if (e == EXDEV) {
        if (S_ISDIR(sl.st_mode) || !(flags & MOVEFILE_COPY_ALLOWED))
            return Fail(ERROR_NOT_SAME_DEVICE);
        // A link moves as a link: copying would put its target's data in its
        // place.
        err = S_ISLNK(sl.st_mode) ? FileCopyLink(src, dst, replace, sl)
                                  : FileCopyData(src, dst, !replace, progress, data, nullptr, true);
        if (err) return Fail(err);
        // The copy is complete and on the disk; only now may the source go.
        // When it cannot, both files remain.
        if (QSysUnlink(src) != 0) return Fail(ErrnoToWin32Error(errno));
        return TRUE;
    }
    if (e == ENOTEMPTY || e == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
    if (e == ENOENT) return Fail(PathErrnoToWin32Error(e, dst));
    return Fail(PathErrnoToWin32Error(e, src));
}

BOOL MoveFileExW(LPCWSTR existingName, LPCWSTR newName, DWORD flags) {
    return MoveFileWithProgressW(existingName, newName, nullptr, nullptr, flags);
}

BOOL MoveFileW(LPCWSTR existingName, LPCWSTR newName) {
    return MoveFileWithProgressW(existingName, newName, nullptr, nullptr, MOVEFILE_COPY_ALLOWED);
}

// ---- directories, deletion and links -------------------------------------------

BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES) {
    std::string path;
    DWORD err;
    if (!PosixArg(name, &path, &err)) return Fail(err);
    if (QSysMkdir(path.c_str(), 0777) != 0)
        return Fail(errno == EEXIST ? ERROR_ALREADY_EXISTS
                                    : PathErrnoToWin32Error(errno, path.c_str()));
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR name) {
    std::string path;
    DWORD err;
    if (!PosixArg(name, &path, &err)) return Fail(err);
    // "link\" names the link, which is what is removed, never its target.
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const char* p = path.c_str();
    struct stat st;
    if (::lstat(p, &st) != 0) return Fail(PathErrnoToWin32Error(errno, p));
    if (S_ISLNK(st.st_mode)) {
        if (QSysUnlink(p) != 0) return Fail(PathErrnoToWin32Error(errno, p));
        return TRUE;
    }
    if (QSysRmdir(p) != 0) {
        if (errno == ENOTEMPTY || errno == EEXIST) return Fail(ERROR_DIR_NOT_EMPTY);
        if (errno == ENOTDIR) return Fail(ERROR_DIRECTORY);
        return Fail(PathErrnoToWin32Error(errno, p));
    }
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR name) {
    std::string path;
    DWORD err;
    if (!PosixArg(name, &path, &err)) return Fail(err);
    const char* p = path.c_str();
    struct stat st;
    if (::lstat(p, &st) != 0) return Fail(PathErrnoToWin32Error(errno, p));
    if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    // A read-only file is not deleted; a link's own mode always allows it.
    if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) return Fail(ERROR_ACCESS_DENIED);
    if (QSysUnlink(p) != 0) return Fail(PathErrnoToWin32Error(errno, p));
    return TRUE;
}

BOOL DecryptFileW(LPCWSTR, DWORD) {
    return Fail(ERROR_NOT_SUPPORTED);
}

BOOL CreateHardLinkW(LPCWSTR newName, LPCWSTR existingName, LPSECURITY_ATTRIBUTES) {
    std::string made, existing;
    DWORD err;
    if (!PosixArg(newName, &made, &err) || !PosixArg(existingName, &existing, &err))
        return Fail(err);
    if (QSysLink(existing.c_str(), made.c_str()) != 0)
        return Fail(errno == EEXIST ? ERROR_ALREADY_EXISTS
                                    : PathErrnoToWin32Error(errno, made.c_str()));
    return TRUE;
}

BOOLEAN CreateSymbolicLinkW(LPCWSTR linkName, LPCWSTR target, DWORD) {
    std::string link;
    DWORD err;
    if (!PosixArg(linkName, &link, &err)) return static_cast<BOOLEAN>(Fail(err));
    // An empty target would map to the root.
    if (!target || !target[0]) return static_cast<BOOLEAN>(Fail(ERROR_INVALID_PARAMETER));
    std::string to = PathToPosix(target);
    if (QSysSymlink(to.c_str(), link.c_str()) != 0)
        return static_cast<BOOLEAN>(Fail(
            errno == EEXIST ? ERROR_ALREADY_EXISTS : PathErrnoToWin32Error(errno, link.c_str())));
    return 1;
}

// ---- names -----------------------------------------------------------------------

namespace {

// The current directory in its Windows form ("X:\..." or, under no drive
// letter, "\..."); false with the error when it cannot be read.
bool CurrentDirectory(std::u16string* out, DWORD* error) {
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), std::free);
    if (!cwd) {
        *error = errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrnoToWin32Error(errno);
        return false;
    }
    size_t room = std::strlen(cwd.get()) + 8;
    std::vector<WCHAR> wide(room);
    int n = PathFromPosix(cwd.get(), wide.data(), room);
    if (n < 0) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    out->assign(wide.data(), static_cast<size_t>(n));
    return true;
}

// Splits an absolute Windows path into its root ("X:\", "\\" or "\") and
// the rest.
void SplitRoot(const std::u16string& path, std::u16string* root, std::u16string* rest) {
    // "\\?\X:\..." keeps its drive as the root: ".." never climbs above it.
    if (path.size() >= 6 && path.compare(0, 4, u"\\\\?\\") == 0 && IsAsciiLetter(path[4]) &&
        path[5] == ':') {
        *root = u"\\\\?\\";
        *root += {UpperLetter(path[4]), u':', u'\\'};
        *rest = path.substr(6);
        return;
    }
    if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') {
        *root = {UpperLetter(path[0]), u':', u'\\'};
        *rest = path.substr(2);
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        *root = u"\\\\";
        *rest = path.substr(2);
    } else {
        *root = u"\\";
        *rest = IsSeparator(path[0]) ? path.substr(1) : path;
    }
}

// The full path of name, or false with the error.
bool FullPath(const WCHAR* name, std::u16string* result, DWORD* error) {
    if (!name || !name[0]) {
        *error = ERROR_INVALID_NAME;
        return false;
    }
    std::u16string given(name);
    std::u16string root, rest;
    if ((IsAsciiLetter(given[0]) && given.size() >= 2 && given[1] == ':') ||
        (given.size() >= 2 && IsSeparator(given[0]) && IsSeparator(given[1]))) {
        SplitRoot(given, &root, &rest);
    } else if (IsSeparator(given[0])) {
        // The root of the current directory's drive; under no drive letter,
        // or with no current directory, the root stays without a drive.
        std::u16string cwd, ignored;
        DWORD unused;
        root = u"\\";
        if (CurrentDirectory(&cwd, &unused)) SplitRoot(cwd, &root, &ignored);
        if (root == u"\\\\") root = u"\\";
        rest = given.substr(1);
    } else {
        // No current directory means no answer: a guessed one would name
        // another file.
        std::u16string cwd;
        if (!CurrentDirectory(&cwd, error)) return false;
        SplitRoot(cwd, &root, &rest);
        rest += u'\\';
        rest += given;
    }

    std::vector<std::u16string> parts;
    size_t i = 0;
    while (i <= rest.size()) {
        size_t j = i;
        while (j < rest.size() && !IsSeparator(rest[j]))
            j++;
        std::u16string part = rest.substr(i, j - i);
        if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.push_back(std::move(part));
        }
        i = j + 1;
    }
    *result = root;
    for (size_t k = 0; k < parts.size(); k++) {
        if (k) *result += u'\\';
        *result += parts[k];
    }
    if (IsSeparator(given.back()) && !parts.empty()) *result += u'\\';
    return true;
}

// Copies a finished path into out the way GetFullPathNameW answers.
DWORD DeliverPath(const std::u16string& path, DWORD size, LPWSTR out, LPWSTR* filePart) {
    size_t len = path.size();
    if (!out || size < len + 1) return static_cast<DWORD>(len + 1);
    wmemcpy(out, path.data(), len);
    out[len] = 0;
    if (filePart) {
        WCHAR* last = wcsrchr(out, '\\');
        *filePart = (last && last[1]) ? last + 1 : (last ? nullptr : out);
    }
    return static_cast<DWORD>(len);
}

} // namespace

DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR out, LPWSTR* filePart) {
    std::u16string full;
    DWORD err;
    if (!FullPath(name, &full, &err)) {
        SetLastError(err);
        return 0;
    }
    return DeliverPath(full, size, out, filePart);
}

DWORD GetShortPathNameW(LPCWSTR longPath, LPWSTR out, DWORD size) {
    std::string path;
    DWORD err;
    if (!PosixArg(longPath, &path, &err)) return Fail(err);
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return Fail(PathErrnoToWin32Error(errno, path.c_str()));
    size_t len = wcslen(longPath);
    if (!out || size < len + 1) return static_cast<DWORD>(len + 1);
    if (out != longPath) wmemmove(out, longPath, len + 1);
    return static_cast<DWORD>(len);
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR out, DWORD size) {
    if (!longPath) return Fail(ERROR_INVALID_PARAMETER);
    if (!longPath[0]) return Fail(ERROR_PATH_NOT_FOUND);
    const char* path = PathToPosix(longPath);
    struct stat st;
    if (::lstat(path, &st) != 0) return Fail(PathErrnoToWin32Error(errno, path));
    size_t len = std::strlen(longPath);
    if (!out || size < len + 1) return static_cast<DWORD>(len + 1);
    if (out != longPath) std::memmove(out, longPath, len + 1);
    return static_cast<DWORD>(len);
}

namespace {

// directory + separator + prefix + number + ".tmp"; false when it does not
// fit MAX_PATH units with the terminator.
bool TempName(LPCWSTR directory, const std::u16string& prefix, unsigned number,
              std::u16string* name) {
    *name = directory;
    if (!name->empty() && !IsSeparator(name->back())) *name += u'\\';
    *name += prefix;
    WCHAR digits[8];
    _snwprintf(digits, 8, u"%X", number);
    *name += digits;
    *name += u".tmp";
    return name->size() < MAX_PATH;
}

} // namespace

UINT GetTempFileNameW(LPCWSTR directory, LPCWSTR prefix, UINT unique, LPWSTR out) {
    if (!directory || !out) return Fail(ERROR_INVALID_PARAMETER);
    std::u16string pre;
    for (size_t i = 0; prefix && prefix[i] && i < 3; i++)
        pre += prefix[i];
    std::u16string name;
    if (unique != 0) {
        if (!TempName(directory, pre, unique & 0xFFFF, &name)) {
            out[0] = 0;
            return Fail(ERROR_FILENAME_EXCED_RANGE);
        }
        wmemcpy(out, name.c_str(), name.size() + 1);
        return unique;
    }
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    unsigned number =
        (static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(ts.tv_nsec)) & 0xFFFF;
    // 0 would read as failure.
    if (number == 0) number = 1;
    for (unsigned tries = 0; tries < 0x10000; tries++) {
        if (!TempName(directory, pre, number, &name)) {
            out[0] = 0;
            return Fail(ERROR_FILENAME_EXCED_RANGE);
        }
        const char* posix = PathToPosix(name.c_str());
        int fd = QSysOpen(posix, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            QSysClose(fd);
            wmemcpy(out, name.c_str(), name.size() + 1);
            return number;
        }
        if (errno != EEXIST) return Fail(PathErrnoToWin32Error(errno, posix));
        number = (number + 1) & 0xFFFF;
        if (number == 0) number = 1;
    }
    return Fail(ERROR_FILE_EXISTS);
}

namespace {

bool IsAbsoluteElement(const std::u16string& e) {
    return (!e.empty() && IsSeparator(e[0])) ||
           (e.size() >= 2 && IsAsciiLetter(e[0]) && e[1] == ':');
}

// True when the path names something a search may answer with.
bool Acceptable(const std::u16string& path, bool program, bool allowDirectory) {
    const char* posix = PathToPosix(path.c_str());
    struct stat st;
    if (::stat(posix, &st) != 0) return false;
    if (program) return S_ISREG(st.st_mode) && ::faccessat(AT_FDCWD, posix, X_OK, AT_EACCESS) == 0;
    return allowDirectory || !S_ISDIR(st.st_mode);
}

// The default search list: the program's own directory, the current
// directory unless a program is sought, then PATH's absolute elements.
std::vector<std::u16string> DefaultSearchList(bool program) {
    std::vector<std::u16string> list;
    WCHAR self[4097];
    DWORD n = GetModuleFileNameW(nullptr, self, 4097);
    if (n > 0 && n < 4097) {
        WCHAR* slash = wcsrchr(self, '\\');
        if (slash) list.emplace_back(self, static_cast<size_t>(slash - self));
    }
    if (!program) list.emplace_back(u".");
    const char* path = std::getenv("PATH");
    size_t total = 0;
    for (const auto& e : list)
        total += e.size() + 1;
    while (path && *path) {
        const char* end = std::strchr(path, ':');
        std::string element(path, end ? static_cast<size_t>(end - path) : std::strlen(path));
        path = end ? end + 1 : nullptr;
        if (element.empty() || element[0] != '/') continue;
        std::vector<WCHAR> wide(element.size() + 8);
        int w = PathFromPosix(element.c_str(), wide.data(), wide.size());
        if (w < 0) continue;
        if (total + static_cast<size_t>(w) + 1 > 6999) break;
        total += static_cast<size_t>(w) + 1;
        list.emplace_back(wide.data(), static_cast<size_t>(w));
    }
    return list;
}

// The search itself; 0 with *error set when nothing is found.
DWORD Search(LPCWSTR pathList, LPCWSTR fileName, LPCWSTR extension, DWORD size, LPWSTR out,
             LPWSTR* filePart, bool program, DWORD* error) {
    if (!fileName || !fileName[0]) {
        *error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    std::u16string name(fileName);
    if (extension && extension[0] && name.find(u'.') == std::u16string::npos) name += extension;

    auto answer = [&](const std::u16string& found) -> DWORD {
        std::u16string full;
        if (!FullPath(found.c_str(), &full, error)) return 0;
        return DeliverPath(full, size, out, filePart);
    };

    bool named = IsSeparator(name[0]) || (name.size() >= 2 && name[1] == ':');
    if (named || (program && name.find_first_of(u"\\/") != std::u16string::npos)) {
        if (Acceptable(name, program, true)) return answer(name);
        *error = ERROR_FILE_NOT_FOUND;
        return 0;
    }

    std::vector<std::u16string> list;
    if (pathList) {
        std::u16string given(pathList);
        size_t i = 0;
        while (i <= given.size()) {
            size_t j = given.find(u';', i);
            if (j == std::u16string::npos) j = given.size();
            list.push_back(given.substr(i, j - i));
            i = j + 1;
        }
    } else {
        list = DefaultSearchList(program);
    }
    for (const std::u16string& element : list) {
        if (element.empty() || element.size() > 259) continue;
        if (program && !IsAbsoluteElement(element)) continue;
        std::u16string candidate = element;
        if (!IsSeparator(candidate.back())) candidate += u'\\';
        candidate += name;
        if (Acceptable(candidate, program, false)) return answer(candidate);
    }
    *error = ERROR_FILE_NOT_FOUND;
    return 0;
}

} // namespace

DWORD SearchPathW(LPCWSTR pathList, LPCWSTR fileName, LPCWSTR extension, DWORD size, LPWSTR out,
                  LPWSTR* filePart) {
    DWORD err = ERROR_SUCCESS;
    DWORD n = Search(pathList, fileName, extension, size, out, filePart, false, &err);
    if (n == 0) SetLastError(err);
    return n;
}

DWORD SearchProgramPathW(LPCWSTR pathList, LPCWSTR fileName, LPCWSTR extension, DWORD size,
                         LPWSTR out, LPWSTR* filePart) {
    DWORD err = ERROR_SUCCESS;
    DWORD n = Search(pathList, fileName, extension, size, out, filePart, true, &err);
    if (n == 0) SetLastError(err);
    return n;
}
