// Calls glibc's own wide-character and number functions, so the runtime's
// tests can compare with libc: where the rules coincide the results must
// agree, and where the runtime is locale-independent on purpose the
// difference can be shown. The one file that names wchar_t; it must never
// include windows.h or qwcrt.h, whose redirecting macros would hide libc.
#include <cerrno>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>

namespace {

std::wstring WidenAscii(const char* text) {
    std::wstring wide;
    for (const char* p = text; *p != 0; p++)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    return wide;
}

} // namespace

// glibc's wcstol (64-bit long) on an ASCII text widened unit by unit, in the
// current locale. Returns the value; *endOffset is the end pointer as an
// index into text and *error the errno it left (0 when untouched).
long long LibcWcstol(const char* text, int base, size_t* endOffset, int* error) {
    std::wstring wide = WidenAscii(text);
    wchar_t* end = nullptr;
    errno = 0;
    long value = ::wcstol(wide.c_str(), &end, base);
    *error = errno;
    *endOffset = static_cast<size_t>(end - wide.c_str());
    return value;
}

// glibc's wcstoul (64-bit unsigned long), as LibcWcstol.
unsigned long long LibcWcstoul(const char* text, int base, size_t* endOffset, int* error) {
    std::wstring wide = WidenAscii(text);
    wchar_t* end = nullptr;
    errno = 0;
    unsigned long value = ::wcstoul(wide.c_str(), &end, base);
    *error = errno;
    *endOffset = static_cast<size_t>(end - wide.c_str());
    return value;
}

// glibc's narrow strtol (64-bit long), as LibcWcstol.
long long LibcStrtol(const char* text, int base, size_t* endOffset, int* error) {
    char* end = nullptr;
    errno = 0;
    long value = ::strtol(text, &end, base);
    *error = errno;
    *endOffset = static_cast<size_t>(end - text);
    return value;
}

// glibc's towupper and towlower of c in the current locale.
int LibcTowupper(int c) {
    return static_cast<int>(::towupper(static_cast<wint_t>(c)));
}
int LibcTowlower(int c) {
    return static_cast<int>(::towlower(static_cast<wint_t>(c)));
}
