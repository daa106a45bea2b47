// UTF-8 <-> UTF-16 with the byte escape, and Windows <-> POSIX path mapping
// through the drive map.
#include "qposix_path.h"
#include "internal/utf.h"
#include "qposix_drives.h"
#include "qwcrt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr WCHAR kEscapeBase = 0xDC00;

// The byte escape (invalid UTF-8 bytes) and the name escape ("\", "*", "?").
bool IsEscapedByte(WCHAR u) {
    return (u >= 0xDC80 && u <= 0xDCFF) || u == QPOSIX_NAME_ESCAPE_BACKSLASH ||
           u == QPOSIX_NAME_ESCAPE_STAR || u == QPOSIX_NAME_ESCAPE_QUESTION;
}

// The unit a byte of a name travels as: the name escape for the bytes a
// Windows path gives a meaning, else the decoded unit itself.
WCHAR NameEscape(WCHAR u) {
    return (u == '\\' || u == '*' || u == '?') ? static_cast<WCHAR>(kEscapeBase + u) : u;
}

bool IsHighSurrogate(WCHAR u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(WCHAR u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool IsSlash(WCHAR u) { return u == '/' || u == '\\'; }

// Length of the UTF-8 sequence starting at s[0] and its code point, or 0
// when s[0] starts no sequence within n bytes. *malformed is set for a
// sequence whose bytes are well shaped but whose value no UTF-8 encoder
// writes: an overlong form, an encoded surrogate, or a value above U+10FFFF.
size_t DecodeSequence(const unsigned char* s, size_t n, uint32_t* cp, bool* malformed) {
    *malformed = false;
    unsigned char b = s[0];
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    size_t len;
    uint32_t v;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        v = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        v = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        v = b & 0x07;
    } else {
        return 0;
    }
    if (len > n) return 0;
    for (size_t i = 1; i < len; i++) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        v = (v << 6) | (s[i] & 0x3F);
    }
    *malformed = v > 0x10FFFF || (len == 3 && (v < 0x800 || (v >= 0xD800 && v <= 0xDFFF))) ||
                 (len == 4 && v < 0x10000);
    *cp = v;
    return len;
}

} // namespace

size_t Utf8Decode(const char* text, size_t n, WCHAR* out, size_t cap, bool escape, size_t* stored,
                  bool* invalid, bool keepForms) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t need = 0;
    size_t kept = 0;
    bool full = false;
    if (invalid) *invalid = false;
    for (size_t i = 0; i < n;) {
        uint32_t cp;
        bool malformed;
        size_t len = DecodeSequence(s + i, n - i, &cp, &malformed);
        if (malformed && keepForms && !escape) {
            malformed = false;
            if (cp > 0x10FFFF) len = 0;
        }
        WCHAR units[2];
        size_t count = 1;
        if (len == 0 || (malformed && escape)) {
            // Escaped, every byte of a malformed form comes back as itself.
            units[0] = static_cast<WCHAR>(escape ? kEscapeBase + s[i] : s[i]);
            len = 1;
            if (invalid) *invalid = true;
        } else if (malformed) {
            // Decoded, an overlong form would give a character (a "/", a NUL)
            // that its bytes never name.
            units[0] = 0xFFFD;
            if (invalid) *invalid = true;
        } else if (cp < 0x10000) {
            units[0] = static_cast<WCHAR>(cp);
        } else {
            units[0] = static_cast<WCHAR>((cp >> 10) + 0xD7C0);
            units[1] = static_cast<WCHAR>((cp & 0x3FF) + 0xDC00);
            count = 2;
        }
        if (out && !full && kept + count <= cap) {
            for (size_t k = 0; k < count; k++) out[kept + k] = units[k];
            kept += count;
        } else {
            full = true;
        }
        need += count;
        i += len;
    }
    if (stored) *stored = kept;
    return need;
}

size_t Utf16Encode(const WCHAR* text, size_t n, char* out, size_t cap, size_t* stored) {
    size_t need = 0;
    size_t kept = 0;
    bool full = false;
    for (size_t i = 0; i < n; i++) {
        WCHAR u = text[i];
        unsigned char bytes[4];
        size_t count;
        if (IsHighSurrogate(u) && i + 1 < n && IsLowSurrogate(text[i + 1])) {
            uint32_t cp = 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) +
                          (static_cast<uint32_t>(text[i + 1]) - 0xDC00);
            bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            count = 4;
            i++;
        } else if (IsEscapedByte(u)) {
            bytes[0] = static_cast<unsigned char>(u - kEscapeBase);
            count = 1;
        } else if (u < 0x80) {
            bytes[0] = static_cast<unsigned char>(u);
            count = 1;
        } else if (u < 0x800) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
            bytes[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
            count = 2;
        } else {
            bytes[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
            bytes[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
            count = 3;
        }
        if (out && !full && kept + count <= cap) {
            std::memcpy(out + kept, bytes, count);
            kept += count;
        } else {
            full = true;
        }
        need += count;
    }
    if (stored) *stored = kept;
    return need;
}

SSIZE_T Utf8ToUtf16(const char* text, SSIZE_T length, WCHAR* out, size_t outUnits, bool escape) {
    size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    if (outUnits == 0) return -1;
    size_t stored;
    size_t need = Utf8Decode(text, n, out, outUnits - 1, escape, &stored);
    out[stored] = 0;
    return need == stored ? static_cast<SSIZE_T>(need) : -1;
}

SSIZE_T NameFromPosix(const char* name, SSIZE_T length, WCHAR* out, size_t outUnits) {
    SSIZE_T n = Utf8ToUtf16(name, length, out, outUnits, true);
    // The three bytes are ASCII, so each decoded to the unit of its value.
    for (WCHAR* q = out; outUnits > 0 && *q; q++) *q = NameEscape(*q);
    return n;
}

SSIZE_T Utf16ToUtf8(const WCHAR* text, SSIZE_T length, char* out, size_t outBytes) {
    size_t n = length < 0 ? wcslen(text) : static_cast<size_t>(length);
    if (outBytes == 0) return -1;
    size_t stored;
    size_t need = Utf16Encode(text, n, out, outBytes - 1, &stored);
    out[stored] = 0;
    return need == stored ? static_cast<SSIZE_T>(need) : -1;
}

namespace {

constexpr size_t kPathBufferBytes = 8192;
thread_local char tPathBuffers[4][kPathBufferBytes];
thread_local unsigned tPathCounter = 0;

char* NextPathBuffer() { return tPathBuffers[tPathCounter++ % 4]; }

// A path the kernel refuses with ENAMETOOLONG before looking at it (its
// length reaches PATH_MAX), so a path that cannot be mapped whole fails with
// error 206 and never names another, shorter path.
const char* TooLongPath(char* buffer) {
    std::memset(buffer, '/', 4096);
    buffer[4096] = 0;
    return buffer;
}

// Converts units [from, to) of the working copy after the prefix already in
// buffer, turning backslashes into slashes.
const char* FinishPosixPath(char* buffer, size_t prefixLen, const WCHAR* rest, size_t restLen) {
    WCHAR work[QPOSIX_PATH_MAX_UNITS + 1];
    for (size_t i = 0; i < restLen; i++) work[i] = rest[i] == '\\' ? WCHAR('/') : rest[i];
    size_t room = QPOSIX_PATH_MAX_BYTES + 1 - prefixLen;
    if (prefixLen > QPOSIX_PATH_MAX_BYTES ||
        Utf16ToUtf8(work, static_cast<SSIZE_T>(restLen), buffer + prefixLen, room) < 0) {
        return TooLongPath(buffer);
    }
    return buffer;
}

} // namespace

const char* PathToPosix(const WCHAR* path) {
    if (!path) return nullptr;
    char* buffer = NextPathBuffer();
    const WCHAR* p = path;
    if (p[0] == '\\' && p[1] == '\\' && p[2] == '?' && p[3] == '\\') {
        p += 4;
        // "\\?\UNC\server\share" names a share, which the layer does not
        // serve that way; below a file it is not found, rather than being
        // taken for the relative path "UNC/server/share" of another file.
        if ((p[0] == 'U' || p[0] == 'u') && (p[1] == 'N' || p[1] == 'n') &&
            (p[2] == 'C' || p[2] == 'c') && (p[3] == 0 || IsSlash(p[3]))) {
            std::strcpy(buffer, "/dev/null/unc-path-not-served");
            return buffer;
        }
    }
    size_t len = wcslen(p);
    if (len > QPOSIX_PATH_MAX_UNITS) return TooLongPath(buffer);

    if (p[0] == '\\') return FinishPosixPath(buffer, 0, p, len);
    if (len == 0) {
        std::strcpy(buffer, "/");
        return buffer;
    }
    if (PathHasDrive(p)) {
        char mount[QPOSIX_PATH_MAX_BYTES + 1];
        size_t prefixLen;
        if (!DriveMapGetMount(p[0], mount, sizeof mount)) {
            // Below a file, so nothing can ever be opened or created there,
            // not even by root.
            prefixLen = static_cast<size_t>(std::snprintf(
                buffer, kPathBufferBytes, "/dev/null/nonexistent-drive-%c:", static_cast<char>(p[0])));
        } else if (std::strcmp(mount, "/") == 0) {
            prefixLen = 0;
        } else {
            prefixLen = std::strlen(mount);
            std::memcpy(buffer, mount, prefixLen);
        }
        const WCHAR* rest = p + 2;
        size_t restLen = len - 2;
        if (restLen == 0 || !IsSlash(rest[0])) {
            // "D:" is the drive's root; "D:dir" is taken from the root too.
            buffer[prefixLen++] = '/';
        }
        return FinishPosixPath(buffer, prefixLen, rest, restLen);
    }
    return FinishPosixPath(buffer, 0, p, len);
}

const char* PathToPosix(const char* path) {
    if (!path) return nullptr;
    size_t len = std::strlen(path);
    if (len > QPOSIX_PATH_MAX_UNITS) return TooLongPath(NextPathBuffer());
    WCHAR wide[QPOSIX_PATH_MAX_UNITS + 1];
    for (size_t i = 0; i <= len; i++) wide[i] = static_cast<unsigned char>(path[i]);
    return PathToPosix(wide);
}

namespace {

// PathFromPosix, with the name escape applied to the names in the path or,
// for text the user typed, not.
int PosixToWindows(const char* posix, WCHAR* out, size_t outUnits, bool nameEscape) {
    if (outUnits < 4) return -1;
    int letter;
    size_t prefixLen;
    size_t w = 0;
    const char* rest = posix;
    if (DriveFindForPath(posix, &letter, &prefixLen)) {
        out[w++] = static_cast<WCHAR>(letter);
        out[w++] = ':';
        rest = posix + prefixLen;
        if (rest[0] != '/') out[w++] = '\\';
    }
    SSIZE_T n = nameEscape ? NameFromPosix(rest, -1, out + w, outUnits - w)
                           : Utf8ToUtf16(rest, -1, out + w, outUnits - w, true);
    if (n < 0) return -1;
    for (WCHAR* q = out + w; *q; q++)
        if (*q == '/') *q = '\\';
    return static_cast<int>(w + static_cast<size_t>(n));
}

} // namespace

int PathFromPosix(const char* posix, WCHAR* out, size_t outUnits) {
    return PosixToWindows(posix, out, outUnits, true);
}

namespace {

// Appends units to out (capacity outUnits including the terminator), cutting
// at the capacity; returns the new length.
size_t Append(WCHAR* out, size_t outUnits, size_t w, const WCHAR* s, size_t n) {
    for (size_t i = 0; i < n && w + 1 < outUnits; i++) out[w++] = s[i];
    out[w] = 0;
    return w;
}

int CopyCut(const WCHAR* s, WCHAR* out, size_t outUnits) {
    return static_cast<int>(Append(out, outUnits, 0, s, wcslen(s)));
}

} // namespace

int PathMapDriveLetter(const WCHAR* path, WCHAR* out, size_t outUnits) {
    if (outUnits < 2) return 0;
    out[0] = 0;
    if (!path || !path[0]) return 0;
    if (!PathHasDrive(path)) return CopyCut(path, out, outUnits);

    WCHAR start[QPOSIX_PATH_MAX_UNITS + 1];
    size_t startLen;
    if (DriveMappedPath(path[0], start, QPOSIX_PATH_MAX_UNITS + 1)) {
        startLen = wcslen(start);
        if (startLen > 0 && start[startLen - 1] == '/') start[--startLen] = 0;
    } else {
        char mount[QPOSIX_PATH_MAX_BYTES + 1];
        if (!DriveMapGetMount(path[0], mount, sizeof mount)) return CopyCut(path, out, outUnits);
        if (std::strcmp(mount, "/") == 0) {
            startLen = 0;
        } else {
            SSIZE_T n = Utf8ToUtf16(mount, -1, start, QPOSIX_PATH_MAX_UNITS + 1, true);
            if (n < 0) return CopyCut(path, out, outUnits);
            startLen = static_cast<size_t>(n);
        }
    }
    size_t w = Append(out, outUnits, 0, start, startLen);
    const WCHAR* rest = path + 2;
    if (!IsSlash(rest[0])) w = Append(out, outUnits, w, u"/", 1);
    for (; *rest; rest++) {
        WCHAR c = *rest == '\\' ? WCHAR('/') : *rest;
        w = Append(out, outUnits, w, &c, 1);
    }
    if (w > 1 && out[w - 1] == '/') out[--w] = 0;
    return static_cast<int>(w);
}

int PathFindDriveLetter(const WCHAR* text, WCHAR* out, size_t outUnits) {
    if (outUnits == 0) return 0;
    out[0] = 0;
    if (!text) return 0;

    // A share or remote drive typed by its display name (a URL) goes back to
    // its letter.
    for (int letter = 'A'; letter <= 'Z'; letter++) {
        WCHAR name[QPOSIX_PATH_MAX_UNITS + 1];
        if (!DriveMappedPath(letter, name, QPOSIX_PATH_MAX_UNITS + 1)) continue;
        size_t n = wcslen(name);
        if (n > 0 && name[n - 1] == '/') name[--n] = 0;
        if (n == 0 || _wcsnicmp(name, text, n) != 0) continue;
        if (text[n] != 0 && !IsSlash(text[n])) continue;
        WCHAR head[3] = {static_cast<WCHAR>(letter), ':', '\\'};
        size_t w = Append(out, outUnits, 0, head, 3);
        const WCHAR* rest = text + n;
        while (IsSlash(*rest)) rest++;
        for (; *rest; rest++) {
            WCHAR c = *rest == '/' ? WCHAR('\\') : *rest;
            w = Append(out, outUnits, w, &c, 1);
        }
        return static_cast<int>(w);
    }

    char posix[QPOSIX_PATH_MAX_BYTES + 1];
    bool haveposix = false;
    if (text[0] == '/' && text[1] != '/') {
        haveposix = Utf16ToUtf8(text, -1, posix, sizeof posix) >= 0;
    } else if (text[0] == '~' && (text[1] == 0 || IsSlash(text[1]))) {
        const char* home = std::getenv("HOME");
        size_t homeLen = home ? std::strlen(home) : 0;
        if (home && homeLen < QPOSIX_PATH_MAX_BYTES) {
            std::memcpy(posix, home, homeLen);
            WCHAR rest[QPOSIX_PATH_MAX_UNITS + 1];
            size_t r = 0;
            for (const WCHAR* q = text + 1; *q && r < QPOSIX_PATH_MAX_UNITS; q++)
                rest[r++] = *q == '\\' ? WCHAR('/') : *q;
            haveposix = text[1 + r] == 0 &&
                        Utf16ToUtf8(rest, static_cast<SSIZE_T>(r), posix + homeLen,
                                    sizeof posix - homeLen) >= 0;
        }
    }
    if (haveposix) {
        int n = PosixToWindows(posix, out, outUnits, false);
        if (n >= 0) return n;
    }
    return CopyCut(text, out, outUnits);
}
