// Small helpers several families of the layer share (see posix_util.h).
#include "internal/posix_util.h"
#include "internal/sys.h"
#include "qposix_path.h"
#include "qwcrt.h"

#include <cerrno>
#include <vector>

int WriteWhole(int fd, const void* bytes, size_t n) {
    const char* p = static_cast<const char*>(bytes);
    while (n > 0) {
        ssize_t w = QSysWrite(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (w == 0) return EIO;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return 0;
}

std::string PosixParent(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

void AppendPercentEncoded(std::string_view bytes, std::string* out, size_t limit) {
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : bytes) {
        if (out->size() >= limit) break;
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '/' || c == '-' || c == '.' || c == '_' || c == '~';
        if (keep) {
            *out += static_cast<char>(c);
        } else {
            *out += '%';
            *out += kHex[c >> 4];
            *out += kHex[c & 15];
        }
    }
}

std::string Utf8String(const WCHAR* text, size_t units) {
    std::vector<char> bytes(units * 3 + 1);
    SSIZE_T n = Utf16ToUtf8(text, static_cast<SSIZE_T>(units), bytes.data(), bytes.size());
    return std::string(bytes.data(), n < 0 ? 0 : static_cast<size_t>(n));
}

std::string Utf8String(const WCHAR* text) {
    return Utf8String(text, wcslen(text));
}
