// The wide-string runtime on 16-bit units: string and memory functions,
// ASCII-only case mapping, the Unicode 5.1 class tests, number parsing, the
// narrow helpers libc lacks and the invalid-parameter stop.
// Everything is locale-independent and compares by unit value.
#include "qwcrt.h"

#include <sys/uio.h>
#include <unistd.h>

#include "unicode/wctype_table.h"

namespace {

// ASCII-only folding; every other unit (also U+00C0..U+00FF) is unchanged.
inline unsigned FoldLower(unsigned c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}
inline unsigned FoldUpper(unsigned c) {
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

// Units before the terminator, scanning no further than max units.
size_t BoundedLength(const WCHAR* s, size_t max) {
    size_t n = 0;
    while (n < max && s[n] != 0)
        n++;
    return n;
}

} // namespace

// ---- character classes --------------------------------------------------

WORD WideClassMask(int c) {
    if (c < 0 || c > 0xFFFF) return 0;
    return gWctypePages[gWctypeIndex[c >> 8]][c & 0xFF];
}

int WideDigitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c < 128) return -1;
    // First unit of each further block of ten decimal digits: Arabic-Indic,
    // Extended Arabic-Indic, Devanagari, Bengali, Gurmukhi, Gujarati, Oriya,
    // Telugu, Kannada, Malayalam, Thai, Lao, Tibetan, Myanmar, Khmer,
    // Mongolian, Fullwidth.
    static constexpr int kZeroes[] = {0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6,
                                      0x0B66, 0x0C66, 0x0CE6, 0x0D66, 0x0E50, 0x0ED0,
                                      0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};
    for (int zero : kZeroes) {
        if (c >= zero && c < zero + 10) return c - zero;
    }
    return -1;
}

// The parenthesised names keep the redirecting macros of qwcrt.h from
// expanding in the definitions.
namespace qposix {

int(towupper)(int c) {
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}
int(towlower)(int c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}
int(iswctype)(int c, int mask) {
    return WideClassMask(c) & mask;
}
int(iswalpha)(int c) {
    return WideClassMask(c) & (QW_ALPHA | QW_UPPER | QW_LOWER);
}
int(iswalnum)(int c) {
    return WideClassMask(c) & (QW_ALPHA | QW_UPPER | QW_LOWER | QW_DIGIT);
}
int(iswdigit)(int c) {
    return WideClassMask(c) & QW_DIGIT;
}
int(iswxdigit)(int c) {
    return WideClassMask(c) & QW_XDIGIT;
}
int(iswspace)(int c) {
    return WideClassMask(c) & QW_SPACE;
}
int(iswupper)(int c) {
    return WideClassMask(c) & QW_UPPER;
}
int(iswlower)(int c) {
    return WideClassMask(c) & QW_LOWER;
}
int(iswpunct)(int c) {
    return WideClassMask(c) & QW_PUNCT;
}
int(iswcntrl)(int c) {
    return WideClassMask(c) & QW_CONTROL;
}
int(iswprint)(int c) {
    return WideClassMask(c) & (QW_ALPHA | QW_BLANK | QW_PUNCT | QW_DIGIT | QW_LOWER | QW_UPPER);
}
int(iswgraph)(int c) {
    return WideClassMask(c) & (QW_ALPHA | QW_PUNCT | QW_DIGIT | QW_LOWER | QW_UPPER);
}

} // namespace qposix

// ---- strings of 16-bit units ---------------------------------------------

size_t wcslen(const WCHAR* s) {
    const WCHAR* p = s;
    while (*p != 0)
        p++;
    return static_cast<size_t>(p - s);
}

WCHAR* wcscpy(WCHAR* d, const WCHAR* s) {
    WCHAR* p = d;
    while ((*p++ = *s++) != 0) {
    }
    return d;
}

WCHAR* wcsncpy(WCHAR* d, const WCHAR* s, size_t n) {
    size_t i = 0;
    for (; i < n && s[i] != 0; i++)
        d[i] = s[i];
    for (; i < n; i++)
        d[i] = 0;
    return d;
}

WCHAR* wcscat(WCHAR* d, const WCHAR* s) {
    wcscpy(d + wcslen(d), s);
    return d;
}

WCHAR* wcsncat(WCHAR* d, const WCHAR* s, size_t n) {
    WCHAR* p = d + wcslen(d);
    size_t i = 0;
    for (; i < n && s[i] != 0; i++)
        p[i] = s[i];
    p[i] = 0;
    return d;
}

int wcscmp(const WCHAR* s, const WCHAR* t) {
    while (*s != 0 && *s == *t) {
        s++;
        t++;
    }
    // WCHAR is unsigned, so units above 0x7FFF sort after ASCII.
    return *s < *t ? -1 : *s > *t ? 1 : 0;
}

int wcsncmp(const WCHAR* s, const WCHAR* t, size_t n) {
    if (n == 0) return 0;
    size_t i = 0;
    while (i < n - 1 && s[i] != 0 && s[i] == t[i])
        i++;
    return static_cast<int>(s[i]) - static_cast<int>(t[i]);
}

int _wcsicmp(const WCHAR* s, const WCHAR* t) {
    for (;; s++, t++) {
        unsigned a = FoldLower(*s), b = FoldLower(*t);
        if (a != b || a == 0) return static_cast<int>(a) - static_cast<int>(b);
    }
}

int _wcsnicmp(const WCHAR* s, const WCHAR* t, size_t n) {
    for (size_t i = 0; i < n; i++) {
        unsigned a = FoldLower(s[i]), b = FoldLower(t[i]);
        if (a != b || a == 0) return static_cast<int>(a) - static_cast<int>(b);
    }
    return 0;
}

int wmemcmp(const WCHAR* s, const WCHAR* t, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (s[i] != t[i]) return s[i] < t[i] ? -1 : 1;
    }
    return 0;
}

// c is compared by value: a value no unit can hold (negative or above
// 0xFFFF) is never found.
WCHAR* wcschr(const WCHAR* s, int c) {
    for (;; s++) {
        if (*s == c) return const_cast<WCHAR*>(s);
        if (*s == 0) return nullptr;
    }
}

WCHAR* wcsrchr(const WCHAR* s, int c) {
    const WCHAR* found = nullptr;
    for (;; s++) {
        if (*s == c) found = s;
        if (*s == 0) return const_cast<WCHAR*>(found);
    }
}

WCHAR* wcsstr(const WCHAR* s, const WCHAR* t) {
    if (*t == 0) return const_cast<WCHAR*>(s);
    for (; *s != 0; s++) {
        size_t i = 0;
        while (t[i] != 0 && s[i] == t[i])
            i++;
        if (t[i] == 0) return const_cast<WCHAR*>(s);
    }
    return nullptr;
}

namespace {
bool InSet(WCHAR c, const WCHAR* set) {
    for (; *set != 0; set++) {
        if (*set == c) return true;
    }
    return false;
}
} // namespace

WCHAR* wcspbrk(const WCHAR* s, const WCHAR* set) {
    for (; *s != 0; s++) {
        if (InSet(*s, set)) return const_cast<WCHAR*>(s);
    }
    return nullptr;
}

size_t wcsspn(const WCHAR* s, const WCHAR* set) {
    size_t n = 0;
    while (s[n] != 0 && InSet(s[n], set))
        n++;
    return n;
}

size_t wcscspn(const WCHAR* s, const WCHAR* set) {
    size_t n = 0;
    while (s[n] != 0 && !InSet(s[n], set))
        n++;
    return n;
}

WCHAR* wcstok(WCHAR* s, const WCHAR* delim, WCHAR** context) {
    WCHAR* p = s != nullptr ? s : *context;
    while (*p != 0 && InSet(*p, delim))
        p++;
    if (*p == 0) {
        *context = p;
        return nullptr;
    }
    WCHAR* token = p;
    while (*p != 0 && !InSet(*p, delim))
        p++;
    if (*p != 0) *p++ = 0;
    *context = p;
    return token;
}

WCHAR* _wcsdup(const WCHAR* s) {
    size_t bytes = (wcslen(s) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<WCHAR*>(malloc(bytes));
    if (copy != nullptr) memcpy(copy, s, bytes);
    return copy;
}

WCHAR* _wcsupr(WCHAR* s) {
    for (WCHAR* p = s; *p != 0; p++)
        *p = static_cast<WCHAR>(FoldUpper(*p));
    return s;
}

WCHAR* _wcslwr(WCHAR* s) {
    for (WCHAR* p = s; *p != 0; p++)
        *p = static_cast<WCHAR>(FoldLower(*p));
    return s;
}

WCHAR* _wcsrev(WCHAR* s) {
    size_t n = wcslen(s);
    for (size_t i = 0; i < n / 2; i++) {
        WCHAR c = s[i];
        s[i] = s[n - 1 - i];
        s[n - 1 - i] = c;
    }
    return s;
}

WCHAR* wmemchr(const WCHAR* s, int c, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (s[i] == c) return const_cast<WCHAR*>(s + i);
    }
    return nullptr;
}

WCHAR* wmemset(WCHAR* d, int c, size_t n) {
    for (size_t i = 0; i < n; i++)
        d[i] = static_cast<WCHAR>(c);
    return d;
}

WCHAR* wmemcpy(WCHAR* d, const WCHAR* s, size_t n) {
    if (n != 0) memcpy(d, s, n * sizeof(WCHAR));
    return d;
}

WCHAR* wmemmove(WCHAR* d, const WCHAR* s, size_t n) {
    if (n != 0) memmove(d, s, n * sizeof(WCHAR));
    return d;
}

void InvalidParameter(const char* name) {
    // One write(2) straight to descriptor 2: no stdio lock or buffer is
    // involved, and the program names no libc data object (a copy of stderr
    // in the executable would carry a libc name).
    static const char kHead[] = "qposix: invalid parameter to ";
    static const char kTail[] = "\n";
    iovec parts[] = {{const_cast<char*>(kHead), sizeof kHead - 1},
                     {const_cast<char*>(name), strlen(name)},
                     {const_cast<char*>(kTail), sizeof kTail - 1}};
    ssize_t ignored = writev(STDERR_FILENO, parts, 3);
    (void)ignored;
    abort();
}

errno_t wcscpy_s(WCHAR* d, size_t size, const WCHAR* s) {
    if (d == nullptr || size == 0) InvalidParameter("wcscpy_s");
    // The length is measured only as far as it matters, so an unterminated
    // source is not read past size units.
    if (s == nullptr || BoundedLength(s, size) >= size) {
        d[0] = 0;
        InvalidParameter("wcscpy_s");
    }
    wcscpy(d, s);
    return 0;
}

errno_t wcsncpy_s(WCHAR* d, size_t size, const WCHAR* s, size_t count) {
    if (d == nullptr || size == 0) InvalidParameter("wcsncpy_s");
    if (count == 0) {
        d[0] = 0;
        return 0;
    }
    if (s == nullptr) {
        d[0] = 0;
        InvalidParameter("wcsncpy_s");
    }
    if (count == _TRUNCATE) {
        size_t n = BoundedLength(s, size);
        if (n < size) {
            wmemcpy(d, s, n + 1);
            return 0;
        }
        wmemcpy(d, s, size - 1);
        d[size - 1] = 0;
        return STRUNCATE;
    }
    // The source need not be terminated within count units.
    size_t n = BoundedLength(s, count);
    if (n >= size) {
        d[0] = 0;
        InvalidParameter("wcsncpy_s");
    }
    wmemcpy(d, s, n);
    d[n] = 0;
    return 0;
}

// ---- number conversion -----------------------------------------------------

namespace {

// The result of one scan: the magnitude read (already saturated at the
// bound of its sign) and how it was read.
struct NumberScan {
    uint64_t magnitude;
    bool negative;
    bool overflow;
};

// Steps 1-5 of every conversion: white space, sign, base prefix, digits with
// saturation at positiveBound or negativeBound, and the end pointer.
NumberScan ScanNumber(const WCHAR* text, WCHAR** end, int base, uint64_t positiveBound,
                      uint64_t negativeBound) {
    NumberScan scan{0, false, false};
    if (base == 1 || base < 0 || base > 36) {
        if (end != nullptr) *end = const_cast<WCHAR*>(text);
        return scan;
    }
    const WCHAR* p = text;
    while (WideClassMask(*p) & QW_SPACE)
        p++;
    if (*p == '-') {
        scan.negative = true;
        p++;
    } else if (*p == '+') {
        p++;
    }
    if (base == 0 || base == 16) {
        if (WideDigitValue(*p) == 0 && (p[1] == 'x' || p[1] == 'X')) {
            p += 2;
            base = 16;
        } else if (base == 0) {
            base = WideDigitValue(*p) == 0 ? 8 : 10;
        }
    }
    const uint64_t bound = scan.negative ? negativeBound : positiveBound;
    const uint64_t radix = static_cast<uint64_t>(base);
    const WCHAR* digitsStart = p;
    for (int digit; (digit = WideDigitValue(*p)) >= 0 && digit < base; p++) {
        if (scan.overflow) continue;
        if ((bound - static_cast<uint64_t>(digit)) / radix < scan.magnitude) {
            scan.magnitude = bound;
            scan.overflow = true;
        } else {
            scan.magnitude = scan.magnitude * radix + static_cast<uint64_t>(digit);
        }
    }
    if (end != nullptr) *end = const_cast<WCHAR*>(p == digitsStart ? text : p);
    return scan;
}

} // namespace

int64_t wcstol_core(const WCHAR* text, WCHAR** end, int base, uint64_t limit) {
    NumberScan scan = ScanNumber(text, end, base, limit, limit + 1);
    if (scan.overflow) errno = ERANGE;
    // Negation in unsigned arithmetic: the bound of a negative number may be
    // 2^63, which has no positive int64_t form.
    return static_cast<int64_t>(scan.negative ? 0 - scan.magnitude : scan.magnitude);
}

int _wtoi(const WCHAR* s) {
    return static_cast<int>(wcstol_core(s, nullptr, 10, 0x7FFFFFFF));
}

LONG _wtol(const WCHAR* s) {
    return static_cast<LONG>(wcstol_core(s, nullptr, 10, 0x7FFFFFFF));
}

int64_t _wtoi64(const WCHAR* s) {
    return wcstol_core(s, nullptr, 10, 0x7FFFFFFFFFFFFFFF);
}

LONG wcstol(const WCHAR* s, WCHAR** end, int base) {
    return static_cast<LONG>(wcstol_core(s, end, base, 0x7FFFFFFF));
}

ULONG wcstoul(const WCHAR* s, WCHAR** end, int base) {
    NumberScan scan = ScanNumber(s, end, base, 0xFFFFFFFF, 0xFFFFFFFF);
    if (scan.overflow) {
        errno = ERANGE;
        return 0xFFFFFFFF;
    }
    ULONG value = static_cast<ULONG>(scan.magnitude);
    return scan.negative ? 0 - value : value;
}

long strtol_base(const char* s, char** end, int base) {
    // The wide parser sees at most 95 bytes after the white space; bytes from
    // 127 up become 127, which is no digit, space or sign.
    constexpr size_t kMaxUnits = 95;
    const char* p = s;
    while ((*p >= 0x09 && *p <= 0x0D) || *p == ' ')
        p++;
    WCHAR wide[kMaxUnits + 1];
    size_t n = 0;
    for (; n < kMaxUnits && p[n] != 0; n++) {
        auto byte = static_cast<unsigned char>(p[n]);
        wide[n] = byte < 127 ? byte : 127;
    }
    wide[n] = 0;
    WCHAR* wideEnd = nullptr;
    int64_t value = wcstol_core(wide, &wideEnd, base, 0x7FFFFFFFFFFFFFFF);
    if (end != nullptr) *end = const_cast<char*>(wideEnd == wide ? s : p + (wideEnd - wide));
    return static_cast<long>(value);
}

namespace qposix {

long(strtol)(const char* s, char** end, int base) {
    return strtol_base(s, end, base);
}
long(atol)(const char* s) {
    return strtol_base(s, nullptr, 10);
}

} // namespace qposix

// ---- narrow helpers ---------------------------------------------------------

int _stricmp(const char* s, const char* t) {
    for (;; s++, t++) {
        unsigned a = FoldLower(static_cast<unsigned char>(*s));
        unsigned b = FoldLower(static_cast<unsigned char>(*t));
        if (a != b || a == 0) return static_cast<int>(a) - static_cast<int>(b);
    }
}

int _strnicmp(const char* s, const char* t, size_t n) {
    for (size_t i = 0; i < n; i++) {
        unsigned a = FoldLower(static_cast<unsigned char>(s[i]));
        unsigned b = FoldLower(static_cast<unsigned char>(t[i]));
        if (a != b || a == 0) return static_cast<int>(a) - static_cast<int>(b);
    }
    return 0;
}

int _memicmp(const void* s, const void* t, size_t n) {
    auto* a = static_cast<const unsigned char*>(s);
    auto* b = static_cast<const unsigned char*>(t);
    for (size_t i = 0; i < n; i++) {
        unsigned x = FoldLower(a[i]), y = FoldLower(b[i]);
        if (x != y) return static_cast<int>(x) - static_cast<int>(y);
    }
    return 0;
}

char* _strupr(char* s) {
    for (char* p = s; *p != 0; p++)
        *p = static_cast<char>(FoldUpper(static_cast<unsigned char>(*p)));
    return s;
}

char* _strlwr(char* s) {
    for (char* p = s; *p != 0; p++)
        *p = static_cast<char>(FoldLower(static_cast<unsigned char>(*p)));
    return s;
}

char* _strrev(char* s) {
    size_t n = strlen(s);
    for (size_t i = 0; i < n / 2; i++) {
        char c = s[i];
        s[i] = s[n - 1 - i];
        s[n - 1 - i] = c;
    }
    return s;
}

char* _itoa(int value, char* buffer, int radix) {
    if (radix < 2 || radix > 36) {
        buffer[0] = 0;
        return buffer;
    }
    // Radix 10 alone is signed; the magnitude of INT_MIN fits the unsigned.
    char* p = buffer;
    auto magnitude = static_cast<uint32_t>(value);
    if (radix == 10 && value < 0) {
        *p++ = '-';
        magnitude = 0 - magnitude;
    }
    char digits[32];
    int n = 0;
    do {
        uint32_t digit = magnitude % static_cast<uint32_t>(radix);
        digits[n++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        magnitude /= static_cast<uint32_t>(radix);
    } while (magnitude != 0);
    while (n > 0)
        *p++ = digits[--n];
    *p = 0;
    return buffer;
}

intptr_t LatinToWide(WCHAR* dest, const char* src, size_t n) {
    if (dest == nullptr) return static_cast<intptr_t>(strlen(src));
    for (size_t i = 0; i < n; i++) {
        dest[i] = static_cast<unsigned char>(src[i]);
        if (src[i] == 0) return static_cast<intptr_t>(i);
    }
    return static_cast<intptr_t>(n);
}

intptr_t WideToLatin(char* dest, const WCHAR* src, size_t n) {
    if (dest == nullptr) {
        size_t length = 0;
        for (; src[length] != 0; length++) {
            if (src[length] > 0xFF) {
                errno = EILSEQ;
                return -1;
            }
        }
        return static_cast<intptr_t>(length);
    }
    for (size_t i = 0; i < n; i++) {
        if (src[i] > 0xFF) {
            errno = EILSEQ;
            return -1;
        }
        dest[i] = static_cast<char>(src[i]);
        if (src[i] == 0) return static_cast<intptr_t>(i);
    }
    return static_cast<intptr_t>(n);
}
