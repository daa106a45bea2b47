// The light-weight shell functions (the shlwapi.h family): the natural order
// in which file lists are sorted, the relative-path test, and the file stream
// this platform does not offer.
#include "shlwapi.h"
#include "stringapiset.h"
#include "winerror.h"

namespace {

bool IsDigit(WCHAR c) {
    return c >= '0' && c <= '9';
}

// One unit lower-cased in the case locale.
WCHAR Lower(WCHAR c) {
    CharLowerBuffW(&c, 1);
    return c;
}

} // namespace

int StrCmpLogicalW(LPCWSTR a, LPCWSTR b) {
    static const WCHAR kEmpty[1] = {0};
    if (!a) a = kEmpty;
    if (!b) b = kEmpty;
    for (;;) {
        if (!*a) return *b ? -1 : 0;
        if (!*b) return 1;
        if (!IsDigit(*a) || !IsDigit(*b)) {
            WCHAR ca = Lower(*a), cb = Lower(*b);
            if (ca != cb) return ca > cb ? 1 : -1;
            a++;
            b++;
            continue;
        }
        // Two runs of digits: compared as the numbers they stand for.
        const WCHAR* runA = a;
        const WCHAR* runB = b;
        while (*a == '0')
            a++;
        while (*b == '0')
            b++;
        const WCHAR* digitsA = a;
        const WCHAR* digitsB = b;
        while (IsDigit(*a))
            a++;
        while (IsDigit(*b))
            b++;
        size_t lenA = static_cast<size_t>(a - digitsA);
        size_t lenB = static_cast<size_t>(b - digitsB);
        if (lenA != lenB) return lenA > lenB ? 1 : -1;
        for (size_t i = 0; i < lenA; i++)
            if (digitsA[i] != digitsB[i]) return digitsA[i] > digitsB[i] ? 1 : -1;
        // The same number: more leading zeros sort first.
        size_t allA = static_cast<size_t>(a - runA);
        size_t allB = static_cast<size_t>(b - runB);
        if (allA != allB) return allA > allB ? -1 : 1;
    }
}

BOOL PathIsRelativeW(LPCWSTR path) {
    if (!path || !path[0]) return TRUE;
    if (path[0] == '/' || path[0] == '\\') return FALSE;
    return path[1] == ':' ? FALSE : TRUE;
}

HRESULT SHCreateStreamOnFileW(LPCWSTR, DWORD, IStream** stream) {
    if (stream) *stream = nullptr;
    return E_NOTIMPL;
}
