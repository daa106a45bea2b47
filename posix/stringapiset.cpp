// Code pages, case changes in the "C.UTF-8" locale and the Windows string
// comparisons.
#include "stringapiset.h"
#include "errhandlingapi.h"
#include "internal/utf.h"
#include "qwcrt.h"
#include "winerror.h"

#include <locale.h>
#include <wctype.h>

#include <cstring>

namespace {

// Windows-1252, its five undefined bytes taken as the code points of the
// same value, and code page 437 with the control characters kept as controls.
const WCHAR kAnsiTable[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007,
    0x0008, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x000E, 0x000F,
    0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017,
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F,
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F,
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

const WCHAR kOemTable[256] = {
    0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007,
    0x0008, 0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x000E, 0x000F,
    0x0010, 0x0011, 0x0012, 0x0013, 0x0014, 0x0015, 0x0016, 0x0017,
    0x0018, 0x0019, 0x001A, 0x001B, 0x001C, 0x001D, 0x001E, 0x001F,
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x007F,
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

const WCHAR* TableFor(UINT codePage) {
    return codePage == CP_OEMCP || codePage == 437 ? kOemTable : kAnsiTable;
}

// The byte of a table page for a unit, or -1 when the page has none.
int TableByte(const WCHAR* table, WCHAR u) {
    if (table[u & 0xFF] == u) return u & 0xFF; // most pages keep most bytes in place
    for (int b = 0; b < 256; b++)
        if (table[b] == u) return b;
    return -1;
}

// The case locale, made once; null when the system has no UTF-8 locale, in
// which case only ASCII letters change case.
locale_t CaseLocale() {
    static locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (!l) l = newlocale(LC_CTYPE_MASK, "UTF-8", static_cast<locale_t>(0));
        return l;
    }();
    return loc;
}

WCHAR UpperUnit(WCHAR u) {
    locale_t loc = CaseLocale();
    if (!loc) return static_cast<WCHAR>(towupper(u));
    wint_t r = ::towupper_l(u, loc);
    return r <= 0xFFFF ? static_cast<WCHAR>(r) : u;
}

WCHAR LowerUnit(WCHAR u) {
    locale_t loc = CaseLocale();
    if (!loc) return static_cast<WCHAR>(towlower(u));
    wint_t r = ::towlower_l(u, loc);
    return r <= 0xFFFF ? static_cast<WCHAR>(r) : u;
}

// A byte of the ANSI page with its case changed, "?" when the changed
// character has no byte in the page.
char CaseAnsiByte(char c, bool upper) {
    WCHAR u = kAnsiTable[static_cast<unsigned char>(c)];
    WCHAR v = upper ? UpperUnit(u) : LowerUnit(u);
    int b = TableByte(kAnsiTable, v);
    return static_cast<char>(b < 0 ? '?' : b);
}

bool IsCharValue(const void* p) { return reinterpret_cast<uintptr_t>(p) < 0x10000; }

void Recode(LPCSTR src, LPSTR dest, size_t n, const WCHAR* from, const WCHAR* to) {
    for (size_t i = 0; i < n; i++) {
        int b = TableByte(to, from[static_cast<unsigned char>(src[i])]);
        dest[i] = static_cast<char>(b < 0 ? '?' : b);
    }
}

int CompareUnits(LPCWSTR s, size_t sn, LPCWSTR t, size_t tn, bool ignoreCase) {
    size_t n = sn < tn ? sn : tn;
    for (size_t i = 0; i < n; i++) {
        WCHAR a = ignoreCase ? LowerUnit(s[i]) : s[i];
        WCHAR b = ignoreCase ? LowerUnit(t[i]) : t[i];
        if (a != b) return a < b ? -1 : 1;
    }
    return sn == tn ? 0 : (sn < tn ? -1 : 1);
}

} // namespace

BOOL GetCPInfo(UINT codePage, LPCPINFO info) {
    if (!info) return FALSE;
    std::memset(info, 0, sizeof *info);
    info->MaxCharSize = codePage == CP_UTF8 ? 4 : 1;
    info->DefaultChar[0] = '?';
    return TRUE;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR out,
                        int size) {
    if (!text || size < 0 || (size > 0 && !out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = length < 0 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    size_t cap = static_cast<size_t>(size);
    size_t need;
    if (codePage == CP_UTF8) {
        size_t stored;
        bool invalid;
        need = Utf8Decode(text, n, size ? out : nullptr, cap, false, &stored, &invalid);
        if (invalid && (flags & MB_ERR_INVALID_CHARS)) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
    } else {
        need = n;
        if (size && need <= cap) {
            const WCHAR* table = TableFor(codePage);
            for (size_t i = 0; i < n; i++) out[i] = table[static_cast<unsigned char>(text[i])];
        }
    }
    if (size == 0) return static_cast<int>(need);
    if (need > cap) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(need);
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR text, int length, LPSTR out, int size,
                        LPCSTR defaultChar, LPBOOL usedDefault) {
    if (!text || size < 0 || (size > 0 && !out)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = length < 0 ? wcslen(text) + 1 : static_cast<size_t>(length);
    size_t cap = static_cast<size_t>(size);
    size_t need;
    if (usedDefault) *usedDefault = FALSE;
    if (codePage == CP_UTF8) {
        size_t stored;
        need = Utf16Encode(text, n, size ? out : nullptr, cap, &stored);
    } else {
        need = n;
        const WCHAR* table = TableFor(codePage);
        char fallback = defaultChar && defaultChar[0] ? defaultChar[0] : '?';
        for (size_t i = 0; i < n; i++) {
            int b = TableByte(table, text[i]);
            if (b < 0 && usedDefault) *usedDefault = TRUE;
            if (size && need <= cap) out[i] = b < 0 ? fallback : static_cast<char>(b);
        }
    }
    if (size == 0) return static_cast<int>(need);
    if (need > cap) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(need);
}

LPWSTR CharUpperW(LPWSTR s) {
    if (IsCharValue(s)) {
        WCHAR u = static_cast<WCHAR>(reinterpret_cast<uintptr_t>(s));
        return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(UpperUnit(u)));
    }
    for (WCHAR* p = s; *p; p++) *p = UpperUnit(*p);
    return s;
}

LPWSTR CharLowerW(LPWSTR s) {
    if (IsCharValue(s)) {
        WCHAR u = static_cast<WCHAR>(reinterpret_cast<uintptr_t>(s));
        return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(LowerUnit(u)));
    }
    for (WCHAR* p = s; *p; p++) *p = LowerUnit(*p);
    return s;
}

DWORD CharUpperBuffW(LPWSTR s, DWORD length) {
    for (DWORD i = 0; i < length; i++) s[i] = UpperUnit(s[i]);
    return length;
}

DWORD CharLowerBuffW(LPWSTR s, DWORD length) {
    for (DWORD i = 0; i < length; i++) s[i] = LowerUnit(s[i]);
    return length;
}

LPSTR CharUpperA(LPSTR s) {
    if (IsCharValue(s)) {
        char c = static_cast<char>(reinterpret_cast<uintptr_t>(s) & 0xFF);
        return reinterpret_cast<LPSTR>(
            static_cast<uintptr_t>(static_cast<unsigned char>(CaseAnsiByte(c, true))));
    }
    for (char* p = s; *p; p++) *p = CaseAnsiByte(*p, true);
    return s;
}

LPSTR CharLowerA(LPSTR s) {
    if (IsCharValue(s)) {
        char c = static_cast<char>(reinterpret_cast<uintptr_t>(s) & 0xFF);
        return reinterpret_cast<LPSTR>(
            static_cast<uintptr_t>(static_cast<unsigned char>(CaseAnsiByte(c, false))));
    }
    for (char* p = s; *p; p++) *p = CaseAnsiByte(*p, false);
    return s;
}

DWORD CharUpperBuffA(LPSTR s, DWORD length) {
    for (DWORD i = 0; i < length; i++) s[i] = CaseAnsiByte(s[i], true);
    return length;
}

DWORD CharLowerBuffA(LPSTR s, DWORD length) {
    for (DWORD i = 0; i < length; i++) s[i] = CaseAnsiByte(s[i], false);
    return length;
}

BOOL IsCharAlphaW(WCHAR c) {
    locale_t loc = CaseLocale();
    if (!loc) return iswalpha(c) ? TRUE : FALSE;
    return ::iswalpha_l(c, loc) ? TRUE : FALSE;
}

BOOL CharToOemA(LPCSTR src, LPSTR dest) {
    Recode(src, dest, std::strlen(src) + 1, kAnsiTable, kOemTable);
    return TRUE;
}

BOOL CharToOemBuffA(LPCSTR src, LPSTR dest, DWORD length) {
    Recode(src, dest, length, kAnsiTable, kOemTable);
    return TRUE;
}

BOOL OemToCharA(LPCSTR src, LPSTR dest) {
    Recode(src, dest, std::strlen(src) + 1, kOemTable, kAnsiTable);
    return TRUE;
}

BOOL OemToCharBuffA(LPCSTR src, LPSTR dest, DWORD length) {
    Recode(src, dest, length, kOemTable, kAnsiTable);
    return TRUE;
}

int lstrcmpW(LPCWSTR s, LPCWSTR t) { return CompareUnits(s, wcslen(s), t, wcslen(t), false); }

int lstrcmpiW(LPCWSTR s, LPCWSTR t) { return CompareUnits(s, wcslen(s), t, wcslen(t), true); }

int lstrcmpiA(LPCSTR s, LPCSTR t) {
    for (;; s++, t++) {
        unsigned char a = static_cast<unsigned char>(CaseAnsiByte(*s, false));
        unsigned char b = static_cast<unsigned char>(CaseAnsiByte(*t, false));
        if (a != b) return a < b ? -1 : 1;
        if (!a) return 0;
    }
}

LPWSTR lstrcpyW(LPWSTR d, LPCWSTR s) { return wcscpy(d, s); }

LPWSTR lstrcpynW(LPWSTR d, LPCWSTR s, int n) {
    if (n < 1) return d;
    int i = 0;
    for (; i < n - 1 && s[i]; i++) d[i] = s[i];
    d[i] = 0;
    return d;
}

int CompareStringW(DWORD, DWORD flags, LPCWSTR s, int sLength, LPCWSTR t, int tLength) {
    if (!s || !t) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t sn = sLength < 0 ? wcslen(s) : static_cast<size_t>(sLength);
    size_t tn = tLength < 0 ? wcslen(t) : static_cast<size_t>(tLength);
    return CompareUnits(s, sn, t, tn, (flags & NORM_IGNORECASE) != 0) + 2;
}

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    int64_t product = static_cast<int64_t>(a) * b;
    int64_t q = product / c;
    int64_t r = product % c;
    // Half away from zero: compare twice the remainder with the divisor.
    uint64_t r2 = static_cast<uint64_t>(r < 0 ? -r : r) * 2;
    uint64_t cabs = static_cast<uint64_t>(c < 0 ? -static_cast<int64_t>(c) : c);
    if (r2 >= cabs) q += ((product < 0) != (c < 0)) ? -1 : 1;
    if (q > INT32_MAX || q < INT32_MIN) return -1;
    return static_cast<int>(q);
}

BOOL IsTextUnicode(const void* bytes, int length, int* tests) {
    const auto* b = static_cast<const unsigned char*>(bytes);
    int found = 0;
    if (length & 1) found |= IS_TEXT_UNICODE_ODD_LENGTH;
    bool signature = b && length >= 2 && b[0] == 0xFF && b[1] == 0xFE;
    if (signature) found |= IS_TEXT_UNICODE_SIGNATURE;
    if (b && length >= 2 && b[0] == 0xFE && b[1] == 0xFF) found |= IS_TEXT_UNICODE_REVERSE_SIGNATURE;
    if (tests) *tests &= found;
    return signature ? TRUE : FALSE;
}
