// File attributes and POSIX modes by path: GetFileAttributesW and its Ex
// form, SetFileAttributesW, GetCompressedFileSizeW, and the mode-word and
// mode-text functions.
#include "errhandlingapi.h"
#include "fileapi.h"
#include "internal/fileinfo.h"
#include "internal/sys.h"
#include "qposix_modes.h"
#include "qposix_path.h"
#include "qwcrt.h"
#include "winerror.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The POSIX form of a path given to one of these functions, or null for a
// null or empty path: that would otherwise map to the root directory and
// describe, or change, "/".
const char* PosixOf(LPCWSTR path) {
    if (!path || !path[0]) return nullptr;
    return PathToPosix(path);
}

// statx of a POSIX path, a final link followed or not; 0 or the errno.
int StatPath(const char* posix, bool follow, unsigned mask, struct statx* out) {
    return QSysStatx(AT_FDCWD, posix, follow ? 0 : AT_SYMLINK_NOFOLLOW, mask, out) == 0 ? 0
                                                                                      : errno;
}

} // namespace

DWORD GetFileAttributesW(LPCWSTR path) {
    const char* posix = PosixOf(path);
    if (!posix) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    FILE_FACTS facts;
    if (int err = FileFactsAt(AT_FDCWD, posix, &facts)) {
        SetLastError(PathErrnoToWin32Error(err, posix));
        return INVALID_FILE_ATTRIBUTES;
    }
    return FileFactsAttributes(facts, FileNamePart(posix));
}

BOOL GetFileAttributesExW(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID info) {
    auto* out = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(info);
    if (level != GetFileExInfoStandard || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const char* posix = PosixOf(path);
    if (!posix) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    FILE_FACTS facts;
    if (int err = FileFactsAt(AT_FDCWD, posix, &facts)) {
        SetLastError(PathErrnoToWin32Error(err, posix));
        return FALSE;
    }
    out->dwFileAttributes = FileFactsAttributes(facts, FileNamePart(posix));
    out->ftCreationTime = facts.creation;
    out->ftLastAccessTime = facts.access;
    out->ftLastWriteTime = facts.write;
    uint64_t size = S_ISDIR(facts.mode) ? 0 : facts.size;
    out->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    out->nFileSizeLow = static_cast<DWORD>(size);
    return TRUE;
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
    const char* posix = PosixOf(path);
    if (!posix) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    struct statx st;
    if (int err = StatPath(posix, true, STATX_MODE, &st)) {
        SetLastError(PathErrnoToWin32Error(err, posix));
        return FALSE;
    }
    mode_t old = st.stx_mode & 07777;
    mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (old & ~mode_t(0222)) : (old | S_IWUSR);
    if (mode != old && QSysChmod(posix, mode) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

DWORD GetCompressedFileSizeW(LPCWSTR path, LPDWORD high) {
    const char* posix = PosixOf(path);
    if (!posix) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_SIZE;
    }
    struct statx st;
    if (int err = StatPath(posix, true, STATX_SIZE | STATX_BLOCKS, &st)) {
        SetLastError(PathErrnoToWin32Error(err, posix));
        return INVALID_FILE_SIZE;
    }
    uint64_t allocated = st.stx_blocks * 512;
    uint64_t size = st.stx_size < allocated ? st.stx_size : allocated;
    if (high) *high = static_cast<DWORD>(size >> 32);
    // The low half may itself be 0xFFFFFFFF: the last error tells success.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

FILE_MODE_WORD FileGetModeWord(LPCWSTR path) {
    const char* posix = PosixOf(path);
    if (!posix) return FILE_MODE_UNKNOWN;
    struct statx st;
    if (StatPath(posix, true, STATX_MODE, &st) == 0 || StatPath(posix, false, STATX_MODE, &st) == 0)
        return FileModeWordFromMode(st.stx_mode);
    return FILE_MODE_UNKNOWN;
}

namespace {

constexpr size_t kModeTextMax = 63;

bool IsBlank(WCHAR u) { return u == ' '; }
bool IsOctal(WCHAR u) { return u >= '0' && u <= '7'; }

// The process umask, read without changing it where the system tells it
// (setting it to read it back would let another thread create a file under
// the wrong mask meanwhile).
mode_t ProcessUmask() {
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            unsigned value;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                std::fclose(f);
                return static_cast<mode_t>(value & 0777);
            }
        }
        std::fclose(f);
    }
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    mode_t m = ::umask(022);
    ::umask(m);
    return m;
}

// The text without blanks around it: start and length.
const WCHAR* Trim(LPCWSTR text, size_t* length) {
    while (IsBlank(*text)) text++;
    size_t n = wcslen(text);
    while (n > 0 && IsBlank(text[n - 1])) n--;
    *length = n;
    return text;
}

// One to four octal digits: their value; -1 when the text is not octal
// digits only, -2 when it has more than four.
int OctalValue(const WCHAR* s, size_t n) {
    if (n == 0) return -1;
    int value = 0;
    for (size_t i = 0; i < n; i++) {
        if (!IsOctal(s[i])) return -1;
        value = value * 8 + (s[i] - '0');
        if (i >= 4) return -2;
    }
    return value;
}

unsigned WhoMask(WCHAR u) {
    switch (u) {
    case 'u': return 04700;
    case 'g': return 02070;
    case 'o': return 01007;
    case 'a': return 07777;
    default: return 0;
    }
}

// The three bits of class u, g or o of a mode.
unsigned ClassBits(unsigned mode, WCHAR who) {
    switch (who) {
    case 'u': return (mode >> 6) & 7;
    case 'g': return (mode >> 3) & 7;
    default: return mode & 7;
    }
}

} // namespace

int FileModeApplyText(LPCWSTR text, int mode, BOOL isDirectory) {
    if (!text) return -1;
    size_t n;
    const WCHAR* s = Trim(text, &n);
    if (n == 0 || n > kModeTextMax) return -1;
    unsigned m = static_cast<unsigned>(mode) & 07777;
    if (n == 2 && s[1] == 'R' && s[0] == '+') return static_cast<int>(m & 07555);
    if (n == 2 && s[1] == 'R' && s[0] == '-') return static_cast<int>(m | 0200);
    int octal = OctalValue(s, n);
    if (octal >= 0) return octal;
    if (octal == -2) return -1;

    bool umaskRead = false;
    mode_t umaskBits = 0;
    size_t i = 0;
    for (;;) {
        unsigned who = 0;
        for (; i < n && WhoMask(s[i]); i++) who |= WhoMask(s[i]);
        if (!who) {
            if (!umaskRead) umaskBits = ProcessUmask();
            umaskRead = true;
        }
        unsigned mask = who ? who : (07777 & ~static_cast<unsigned>(umaskBits));
        bool operations = false;
        while (i < n && (s[i] == '+' || s[i] == '-' || s[i] == '=')) {
            WCHAR op = s[i++];
            operations = true;
            unsigned bits = 0;
            if (i < n && (s[i] == 'u' || s[i] == 'g' || s[i] == 'o')) {
                bits = ClassBits(m, s[i++]) * 0111;
            } else {
                for (; i < n; i++) {
                    WCHAR c = s[i];
                    if (c == 'r')
                        bits |= 0444;
                    else if (c == 'w')
                        bits |= 0222;
                    else if (c == 'x')
                        bits |= 0111;
                    else if (c == 'X')
                        bits |= ((m & 0111) || isDirectory) ? 0111 : 0;
                    else if (c == 's')
                        bits |= 06000;
                    else if (c == 't')
                        bits |= 01000;
                    else
                        break;
                }
            }
            bits &= mask;
            if (op == '+')
                m |= bits;
            else if (op == '-')
                m &= ~bits;
            else
                m = (m & ~mask) | bits;
        }
        if (!operations) return -1;
        if (i == n) break;
        if (s[i] != ',') return -1;
        i++;
    }
    return static_cast<int>(m);
}

int FileModeMatchesText(LPCWSTR text, int mode) {
    if (!text) return -1;
    while (IsBlank(*text)) text++;
    size_t n = wcslen(text);
    if (n == 0) return -1;
    unsigned m = static_cast<unsigned>(mode) & 07777;
    if (IsOctal(text[0])) {
        size_t digits = 0;
        while (IsOctal(text[digits])) digits++;
        size_t rest = digits;
        while (IsBlank(text[rest])) rest++;
        if (rest != n) return -1;
        int value = OctalValue(text, digits);
        if (value < 0) return -1;
        return m == static_cast<unsigned>(value) ? 1 : 0;
    }

    bool all = true;
    size_t i = 0;
    for (;;) {
        bool u = false, g = false, o = false, anyWho = false;
        for (; i < n; i++) {
            WCHAR c = text[i];
            if (c == 'u')
                u = true;
            else if (c == 'g')
                g = true;
            else if (c == 'o')
                o = true;
            else if (c == 'a')
                u = g = o = true;
            else
                break;
            anyWho = true;
        }
        if (i == n || (text[i] != '+' && text[i] != '-' && text[i] != '=')) return -1;
        WCHAR op = text[i++];
        unsigned letters = 0;
        bool sGiven = false, tGiven = false;
        for (; i < n; i++) {
            WCHAR c = text[i];
            if (c == 'r')
                letters |= 4;
            else if (c == 'w')
                letters |= 2;
            else if (c == 'x')
                letters |= 1;
            else if (c == 's')
                sGiven = true;
            else if (c == 't')
                tGiven = true;
            else
                break;
        }
        while (i < n && IsBlank(text[i])) i++;
        if (i < n && text[i] != ',') return -1;

        if (!anyWho) u = g = o = true;
        const bool selected[3] = {u, g, o};
        const unsigned triplet[3] = {(m >> 6) & 7, (m >> 3) & 7, m & 7};
        bool any = false, every = true;
        for (int k = 0; k < 3; k++) {
            if (!selected[k]) continue;
            bool holds = op == '+'   ? (triplet[k] & letters) == letters
                         : op == '-' ? (triplet[k] & letters) == 0
                                     : triplet[k] == letters;
            any = any || holds;
            every = every && holds;
        }
        bool holds = (op == '+' && !anyWho) ? any : every;
        unsigned special = 0;
        if (sGiven) special |= (anyWho ? ((u ? 04000u : 0) | (g ? 02000u : 0)) : 06000u);
        if (tGiven) special |= 01000;
        if (sGiven || tGiven) {
            if (op == '-')
                holds = holds && (m & special) == 0;
            else if (op == '=' || anyWho)
                holds = holds && (m & special) == special;
            else
                holds = holds && (m & special) != 0;
        }
        all = all && holds;
        if (i == n) break;
        i++; // the ","; the next clause starts right after it
    }
    return all ? 1 : 0;
}

DWORD FileSetModeText(LPCWSTR path, LPCWSTR text, FILE_MODE_WORD* newMode) {
    const char* posix = PosixOf(path);
    DWORD code = ERROR_SUCCESS;
    struct statx st;
    int err = posix ? StatPath(posix, true, STATX_TYPE | STATX_MODE, &st) : ENOENT;
    int mode = -1;
    if (!posix) {
        code = ERROR_FILE_NOT_FOUND;
    } else if (err) {
        code = PathErrnoToWin32Error(err, posix);
    } else if ((mode = FileModeApplyText(text, st.stx_mode & 07777, S_ISDIR(st.stx_mode))) < 0) {
        code = ERROR_INVALID_PARAMETER;
    } else if (static_cast<unsigned>(mode) != (st.stx_mode & 07777u) &&
               QSysChmod(posix, static_cast<mode_t>(mode)) != 0) {
        code = ErrnoToWin32Error(errno);
    }
    if (code != ERROR_SUCCESS) {
        SetLastError(code);
        return code;
    }
    if (newMode) *newMode = FileModeWordFromMode(static_cast<uint32_t>(mode));
    return ERROR_SUCCESS;
}

namespace {

// "user:group" of the ids, names where the system knows them.
std::string OwnerGroupText(uid_t uid, gid_t gid) {
    std::vector<char> buffer(1024);
    std::string text;
    for (;;) {
        struct passwd pw;
        struct passwd* found = nullptr;
        int r = ::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found);
        if (r == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        text = (r == 0 && found) ? found->pw_name : std::to_string(uid);
        break;
    }
    text += ':';
    for (;;) {
        struct group gr;
        struct group* found = nullptr;
        int r = ::getgrgid_r(gid, &gr, buffer.data(), buffer.size(), &found);
        if (r == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        text += (r == 0 && found) ? std::string(found->gr_name) : std::to_string(gid);
        break;
    }
    return text;
}

} // namespace

int FileOwnerText(LPCWSTR path, char* permissionText, LPWSTR ownerText, size_t ownerUnits) {
    const char* posix = PosixOf(path);
    if (!posix) return 0;
    FILE_FACTS facts;
    if (FileFactsAt(AT_FDCWD, posix, &facts) != 0) return 0;
    if (permissionText) {
        uint32_t perm = facts.targetMode ? facts.targetMode : facts.mode;
        FilePermissionText(facts.mode, perm & 07777, permissionText);
    }
    if (ownerText && ownerUnits > 0) {
        std::string owner = OwnerGroupText(facts.uid, facts.gid);
        if (Utf8ToUtf16(owner.c_str(), -1, ownerText, ownerUnits, true) < 0) ownerText[0] = 0;
    }
    return 1;
}

BOOL FileIsOwnDirectory(LPCWSTR path) {
    const char* posix = PosixOf(path);
    if (!posix) return FALSE;
    FILE_FACTS facts;
    if (FileFactsAt(AT_FDCWD, posix, &facts) != 0) return FALSE;
    return S_ISDIR(facts.mode) && facts.uid == ::geteuid();
}
