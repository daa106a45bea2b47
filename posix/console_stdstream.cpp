// The standard output and error streams while the console shows its screen:
// what the program prints goes into the console's default buffer as text
// (UTF-8, else code page 437; LF as CR LF) instead of through the program's
// screen; while a child program has the terminal it goes straight there.
#include "internal/console.h"
#include "internal/posix_util.h"
#include "internal/utf.h"
#include "stringapiset.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMaxConsoleWrite = 268435456; // 256 MiB

struct STD_STREAM_COOKIE {
    int fd;
    DWORD stdNumber;
    // The start of a UTF-8 character whose other bytes the next write brings.
    unsigned char carry[3];
    size_t carryLength;
    bool heap;  // freed when the stream is closed
    bool inUse; // a stream has it
};

// The cookies of the streams on descriptors 1 and 2 (the standard output
// and error streams) live as long as the process.
STD_STREAM_COOKIE gStdCookies[2];

size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool ValidUtf8(const unsigned char* s, size_t n) {
    size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        if (b < 0x80) {
            i++;
            continue;
        }
        size_t length = SequenceLength(b);
        if (length == 0 || i + length > n) return false;
        unsigned char low = 0x80, high = 0xBF;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
        if (s[i + 1] < low || s[i + 1] > high) return false;
        for (size_t k = 2; k < length; k++)
            if ((s[i + k] & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

// Trailing bytes that begin a UTF-8 character without finishing it: 0..3.
size_t IncompleteTail(const unsigned char* s, size_t n) {
    for (size_t k = 1; k <= 3 && k <= n; k++) {
        unsigned char b = s[n - k];
        if ((b & 0xC0) == 0x80) continue;
        size_t length = SequenceLength(b);
        return length > k ? k : 0;
    }
    return 0;
}

bool WriteAll(int fd, const void* bytes, size_t length) {
    return WriteWhole(fd, bytes, length) == 0;
}

// Text into the console: UTF-8 when the bytes are strict UTF-8, else code
// page 437; every LF as CR LF. Nothing is written when memory is short.
void WriteToConsole(STD_STREAM_COOKIE* cookie, HANDLE handle, const char* buffer, size_t size) {
    size_t total = cookie->carryLength + size;
    auto* bytes = static_cast<unsigned char*>(std::malloc(total));
    if (!bytes) return;
    std::memcpy(bytes, cookie->carry, cookie->carryLength);
    std::memcpy(bytes + cookie->carryLength, buffer, size);
    cookie->carryLength = 0;

    size_t keep = IncompleteTail(bytes, total);
    size_t body = total - keep;
    bool utf8 = ValidUtf8(bytes, body);
    if (!utf8) {
        keep = 0;
        body = total;
    }
    size_t lineFeeds = 0;
    for (size_t i = 0; i < body; i++)
        if (bytes[i] == '\n') lineFeeds++;
    auto* units = static_cast<WCHAR*>(std::malloc((body + lineFeeds + 1) * sizeof(WCHAR)));
    auto* text = static_cast<WCHAR*>(std::malloc((body + 1) * sizeof(WCHAR)));
    if (units && text) {
        size_t count;
        if (utf8) {
            size_t stored = 0;
            Utf8Decode(reinterpret_cast<const char*>(bytes), body, text, body, false, &stored);
            count = stored;
        } else {
            int n = body ? MultiByteToWideChar(CP_OEMCP, 0, reinterpret_cast<const char*>(bytes),
                                               static_cast<int>(body), text, static_cast<int>(body))
                         : 0;
            count = n > 0 ? static_cast<size_t>(n) : 0;
        }
        size_t out = 0;
        for (size_t i = 0; i < count; i++) {
            if (text[i] == u'\n') units[out++] = u'\r';
            units[out++] = text[i];
        }
        if (out > 0) ConsoleWriteText(handle, units, static_cast<DWORD>(out), nullptr);
    }
    std::memcpy(cookie->carry, bytes + body, keep);
    cookie->carryLength = keep;
    std::free(text);
    std::free(units);
    std::free(bytes);
}

HANDLE ConsoleHandleFor(STD_STREAM_COOKIE* cookie) {
    HANDLE handle = GetStdHandle(cookie->stdNumber);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

ssize_t ConsoleStdStreamWrite(void* object, const char* buffer, size_t size) {
    auto* cookie = static_cast<STD_STREAM_COOKIE*>(object);
    if (size == 0) return 0;
    if (gConsole.raw.load() && size <= kMaxConsoleWrite) {
        if (HANDLE handle = ConsoleHandleFor(cookie)) {
            WriteToConsole(cookie, handle, buffer, size);
            return static_cast<ssize_t>(size);
        }
    }
    if (cookie->carryLength > 0) {
        bool ok = WriteAll(cookie->fd, cookie->carry, cookie->carryLength);
        cookie->carryLength = 0;
        if (!ok) return -1;
    }
    return WriteAll(cookie->fd, buffer, size) ? static_cast<ssize_t>(size) : -1;
}

int ConsoleStdStreamClose(void* object) {
    auto* cookie = static_cast<STD_STREAM_COOKIE*>(object);
    // An unfinished character is shown as what its bytes are, not lost.
    if (cookie->carryLength > 0) {
        HANDLE handle = gConsole.raw.load() ? ConsoleHandleFor(cookie) : nullptr;
        if (handle) {
            WCHAR units[3];
            int n = MultiByteToWideChar(CP_OEMCP, 0, reinterpret_cast<const char*>(cookie->carry),
                                        static_cast<int>(cookie->carryLength), units, 3);
            if (n > 0) ConsoleWriteText(handle, units, static_cast<DWORD>(n), nullptr);
        } else {
            WriteAll(cookie->fd, cookie->carry, cookie->carryLength);
        }
    }
    cookie->carryLength = 0;
    cookie->inUse = false;
    if (cookie->heap) std::free(cookie);
    return 0;
}

FILE* OpenStream(STD_STREAM_COOKIE* cookie) {
    cookie_io_functions_t functions = {};
    functions.write = ConsoleStdStreamWrite;
    functions.close = ConsoleStdStreamClose;
    FILE* stream = fopencookie(cookie, "w", functions);
    if (stream) setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

} // namespace

FILE* ConsoleStdStreamOpen(int fd, DWORD stdNumber) {
    STD_STREAM_COOKIE* cookie;
    if ((fd == 1 || fd == 2) && !gStdCookies[fd - 1].inUse) {
        cookie = &gStdCookies[fd - 1];
    } else {
        cookie = static_cast<STD_STREAM_COOKIE*>(std::calloc(1, sizeof(STD_STREAM_COOKIE)));
        if (!cookie) return nullptr;
        cookie->heap = true;
    }
    cookie->fd = fd;
    cookie->stdNumber = stdNumber;
    cookie->carryLength = 0;
    cookie->inUse = true;
    FILE* stream = OpenStream(cookie);
    if (!stream) {
        cookie->inUse = false;
        if (cookie->heap) std::free(cookie);
    }
    return stream;
}
