// Stdio streams of the layer: Windows modes and paths turned into libc's,
// the table of streams opened in binary mode, 16-bit text written and read as
// UTF-16LE or UTF-8, CR LF read as LF, and printf on streams.
//
// The definitions carry parenthesised names and the calls to libc's own
// fopen, fclose and fgets are written "(::fopen)(...)": the redirecting
// macros of qstdio.h need a '(' right after the name, so both stay as they are.
#include "qstdio.h"
#include "qposix_path.h"
#include "qprintf.h"
#include "qwcrt.h"
#include "internal/utf.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// ---- the binary stream table ---------------------------------------------------

// A stream not in the table is a text stream. The lock is a leaf: it is held
// for one lookup or one change of a slot, never during I/O.
std::mutex gBinaryLock;
FILE* gBinarySlots[STREAM_BINARY_SLOTS];

// Holds a slot for a binary open in progress, so that the file is opened
// only when its mark is sure to be kept.
FILE* Reserved() {
    static char marker;
    return reinterpret_cast<FILE*>(&marker);
}

// Index of the slot holding stream, or STREAM_BINARY_SLOTS. Lock held.
size_t FindSlot(FILE* stream) {
    for (size_t i = 0; i < STREAM_BINARY_SLOTS; i++)
        if (gBinarySlots[i] == stream) return i;
    return STREAM_BINARY_SLOTS;
}

// Clears every slot holding stream. Lock held.
void ClearStream(FILE* stream) {
    for (FILE*& slot : gBinarySlots)
        if (slot == stream) slot = nullptr;
}

// ---- units fgetwc still owes ---------------------------------------------------

// Units a read decoded beyond the one it returned (the low half of a
// surrogate pair, further bytes of an invalid sequence) or that fgetws looked
// ahead at. They belong to the thread that read them and to one stream each,
// so a thread that reads two streams in turn loses neither's units. They are
// valid only while the stream stays where the read left it.
struct PendingUnits {
    FILE* stream;
    int64_t position; // ftello after the read; -1 when the stream cannot tell
    WCHAR units[4];
    size_t count;
};

thread_local std::vector<PendingUnits> tPending;

// The stream's position, leaving errno alone (a pipe answers -1 with ESPIPE).
int64_t StreamPosition(FILE* stream) {
    int saved = errno;
    int64_t position = ftello(stream);
    errno = saved;
    return position;
}

PendingUnits* FindPending(FILE* stream) {
    for (PendingUnits& p : tPending)
        if (p.stream == stream) return &p;
    return nullptr;
}

void DropPending(FILE* stream) {
    for (size_t i = 0; i < tPending.size(); i++) {
        if (tPending[i].stream == stream) {
            tPending.erase(tPending.begin() + static_cast<ptrdiff_t>(i));
            return;
        }
    }
}

// The next unit this thread owes from stream. Units kept before the stream
// was moved (a seek, a rewind, a narrow read, another thread's read) no
// longer belong at its position and are dropped.
bool TakePending(FILE* stream, WCHAR* unit) {
    PendingUnits* p = FindPending(stream);
    if (p == nullptr) return false;
    if (p->position != StreamPosition(stream)) {
        DropPending(stream);
        return false;
    }
    *unit = p->units[0];
    p->count--;
    std::memmove(p->units, p->units + 1, p->count * sizeof(WCHAR));
    if (p->count == 0) DropPending(stream);
    return true;
}

// Keeps units (at most 3) after those already owed, or in front of them
// when front is set (a unit read ahead and given back).
void KeepPending(FILE* stream, const WCHAR* units, size_t count, bool front) {
    PendingUnits* p = FindPending(stream);
    if (p == nullptr) {
        tPending.push_back(PendingUnits{stream, StreamPosition(stream), {}, 0});
        p = &tPending.back();
    }
    if (front) {
        std::memmove(p->units + count, p->units, p->count * sizeof(WCHAR));
        std::memcpy(p->units, units, count * sizeof(WCHAR));
    } else {
        std::memcpy(p->units + p->count, units, count * sizeof(WCHAR));
    }
    p->count += count;
}

// Locks the stream for the whole of one layer call, so that other threads'
// reads and writes come before or after it, never inside.
struct StreamLock {
    FILE* stream;
    explicit StreamLock(FILE* s) : stream(s) { flockfile(stream); }
    ~StreamLock() { funlockfile(stream); }
    StreamLock(const StreamLock&) = delete;
    StreamLock& operator=(const StreamLock&) = delete;
};

// ---- reading ---------------------------------------------------------------------

// One unit of UTF-16LE. A lone last byte is no unit: end of input.
WCHAR ReadUtf16le(FILE* stream, bool* end) {
    int low = getc_unlocked(stream);
    int high = low == EOF ? EOF : getc_unlocked(stream);
    *end = low == EOF || high == EOF;
    return *end ? QWEOF : static_cast<WCHAR>(low | (high << 8));
}

// Length of the sequence a lead byte starts. Bytes that start no sequence
// stand alone, except F5-FF, whose continuation bytes are taken with them
// and then given back one unit each.
size_t SequenceLength(int lead) {
    if (lead < 0xC2) return 1;
    if (lead <= 0xDF) return 2;
    if (lead <= 0xEF) return 3;
    if (lead <= 0xF4) return 4;
    return 3;
}

// One UTF-8 sequence, of which the first unit is returned and the rest kept
// for the following calls. The sequence ends early at the end of input or
// at a byte that is not a continuation byte, which is given back to the
// stream. Decoding without the byte escape gives each byte of a cut or
// invalid sequence as the unit of its own value.
WCHAR ReadUtf8(FILE* stream, bool* end) {
    int lead = getc_unlocked(stream);
    *end = lead == EOF;
    if (*end) return QWEOF;
    char bytes[4];
    bytes[0] = static_cast<char>(lead);
    size_t n = 1;
    size_t length = SequenceLength(lead);
    while (n < length) {
        int c = getc_unlocked(stream);
        if (c == EOF) break;
        if ((c & 0xC0) != 0x80) {
            ungetc(c, stream);
            break;
        }
        bytes[n++] = static_cast<char>(c);
    }
    WCHAR units[4];
    size_t stored = 0;
    Utf8Decode(bytes, n, units, 4, false, &stored, nullptr, true);
    if (stored == 0) return static_cast<WCHAR>(lead);
    if (stored > 1) KeepPending(stream, units + 1, stored - 1, false);
    return units[0];
}

// The next unit and whether the input ended (or failed) instead. The
// caller holds the stream's lock.
WCHAR NextUnit(FILE* stream, bool binary, bool* end) {
    WCHAR unit;
    if (TakePending(stream, &unit)) {
        *end = false;
        return unit;
    }
    return binary ? ReadUtf16le(stream, end) : ReadUtf8(stream, end);
}

// ---- writing ---------------------------------------------------------------------

int WriteUtf16le(const WCHAR* units, size_t count, FILE* stream) {
    unsigned char bytes[512];
    size_t i = 0;
    while (i < count) {
        size_t n = 0;
        for (; i < count && n < sizeof bytes; i++) {
            bytes[n++] = static_cast<unsigned char>(units[i] & 0xFF);
            bytes[n++] = static_cast<unsigned char>(units[i] >> 8);
        }
        if (fwrite(bytes, 1, n, stream) != n) return -1;
    }
    return 0;
}

// In pieces of at most 200 units, 199 when the 200th is a high surrogate, so
// that a pair always lands in one piece and takes its four-byte form.
int WriteUtf8(const WCHAR* units, size_t count, FILE* stream) {
    constexpr size_t kPiece = 200;
    char bytes[1024];
    size_t i = 0;
    while (i < count) {
        size_t piece = count - i < kPiece ? count - i : kPiece;
        if (piece == kPiece && units[i + kPiece - 1] >= 0xD800 && units[i + kPiece - 1] <= 0xDBFF)
            piece--;
        SSIZE_T n = Utf16ToUtf8(units + i, static_cast<SSIZE_T>(piece), bytes, sizeof bytes);
        if (n < 0) return -1; // three bytes a unit at most: cannot happen
        size_t length = static_cast<size_t>(n);
        if (fwrite(bytes, 1, length, stream) != length) return -1;
        i += piece;
    }
    return 0;
}

// ---- formatting ------------------------------------------------------------------

// The formatted text of one stream printf call, in a heap buffer.
struct FormattedText {
    void* buffer = nullptr;
    size_t length = 0;    // units to write
    bool flagged = false; // a 16-bit unit above 255 met a narrow format
    ~FormattedText() { std::free(buffer); }
};

// Formats like FormatAlloc but keeps the text made before a unit that a
// narrow format could not hold, which the stream forms still write. False
// (errno set) when the length does not fit the int result or memory is short.
bool FormatText(FormattedText* text, bool wide, const void* fmt, va_list args) {
    FORMAT_SINK measure{wide, nullptr, 0, 0, false};
    FormatCore(&measure, fmt, wide, args);
    if (measure.count > static_cast<size_t>(INT_MAX)) {
        errno = EOVERFLOW;
        return false;
    }
    size_t unitSize = wide ? sizeof(WCHAR) : sizeof(char);
    text->buffer = std::malloc((measure.count + 1) * unitSize);
    if (text->buffer == nullptr) {
        errno = ENOMEM;
        return false;
    }
    FORMAT_SINK sink{wide, text->buffer, measure.count, 0, false};
    FormatCore(&sink, fmt, wide, args);
    text->length = sink.count < measure.count ? sink.count : measure.count;
    if (wide)
        static_cast<WCHAR*>(text->buffer)[text->length] = 0;
    else
        static_cast<char*>(text->buffer)[text->length] = 0;
    text->flagged = measure.error;
    return true;
}

// The result of a stream printf call whose text was written (or not).
int FormatResult(const FormattedText& text, bool written) {
    if (!written) return -1;
    if (text.flagged) {
        errno = EILSEQ;
        return -1;
    }
    return static_cast<int>(text.length);
}

} // namespace

// ---- opening and modes -------------------------------------------------------------

bool StreamLibcMode(const char* windowsMode, char* out) {
    bool binary = false;
    size_t w = 0;
    for (size_t i = 0; windowsMode != nullptr && i < 15; i++) {
        char c = windowsMode[i];
        if (c == 0 || c == ',') break;
        if (std::strchr("DNRSTcnt", c) != nullptr) continue;
        if (c == 'b') binary = true;
        out[w++] = c;
    }
    out[w] = 0;
    return binary;
}

FILE* StreamOpenPosix(const char* posixPath, const char* mode) {
    if (posixPath == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    char libcMode[16];
    bool binary = StreamLibcMode(mode, libcMode);
    size_t slot = STREAM_BINARY_SLOTS;
    if (binary) {
        // The slot is taken before the open: a full table must not cost the
        // file its contents ("wb" truncates) and then leave a stream whose
        // 16-bit text would silently go out as UTF-8.
        std::lock_guard<std::mutex> guard(gBinaryLock);
        slot = FindSlot(nullptr);
        if (slot == STREAM_BINARY_SLOTS) {
            errno = EMFILE;
            return nullptr;
        }
        gBinarySlots[slot] = Reserved();
    }
    FILE* stream = (::fopen)(posixPath, libcMode);
    int openError = errno;
    {
        std::lock_guard<std::mutex> guard(gBinaryLock);
        // A stream closed by libc's own fclose may have left its address
        // behind; a new stream at that address starts with its own mark.
        if (stream != nullptr) ClearStream(stream);
        if (binary) gBinarySlots[slot] = stream;
    }
    if (stream != nullptr) DropPending(stream);
    errno = openError;
    return stream;
}

int StreamSetMode(FILE* stream, bool binary) {
    if (stream == nullptr) {
        errno = EINVAL;
        return -1;
    }
    std::lock_guard<std::mutex> guard(gBinaryLock);
    if (!binary) {
        ClearStream(stream);
        return 0;
    }
    if (FindSlot(stream) != STREAM_BINARY_SLOTS) return 0;
    size_t slot = FindSlot(nullptr);
    if (slot == STREAM_BINARY_SLOTS) {
        errno = EMFILE;
        return -1;
    }
    gBinarySlots[slot] = stream;
    return 0;
}

bool StreamIsBinary(FILE* stream) {
    if (stream == nullptr) return false;
    std::lock_guard<std::mutex> guard(gBinaryLock);
    return FindSlot(stream) != STREAM_BINARY_SLOTS;
}

FILE* _wfopen(LPCWSTR path, LPCWSTR mode) {
    if (path == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    // Only the part before a ',' counts. A unit outside ASCII is refused:
    // cut to a byte it could turn into a mode letter such as 'b' or 'w'.
    char narrow[16];
    size_t i = 0;
    for (; i < 15 && mode[i] != 0 && mode[i] != ','; i++) {
        if (mode[i] > 0x7F) {
            errno = EINVAL;
            return nullptr;
        }
        narrow[i] = static_cast<char>(mode[i]);
    }
    narrow[i] = 0;
    return StreamOpenPosix(PathToPosix(path), narrow);
}

namespace qposix {

FILE*(fopen)(const char* path, const char* mode) {
    if (path == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    return StreamOpenPosix(PathToPosix(path), mode);
}

int(fclose)(FILE* stream) {
    if (stream == nullptr) {
        errno = EINVAL;
        return EOF;
    }
    {
        std::lock_guard<std::mutex> guard(gBinaryLock);
        ClearStream(stream);
    }
    DropPending(stream);
    return (::fclose)(stream);
}

} // namespace qposix

// ---- 16-bit text -------------------------------------------------------------------

int StreamWriteW(const WCHAR* units, size_t count, FILE* stream) {
    if (stream == nullptr || (units == nullptr && count > 0)) {
        errno = EINVAL;
        return -1;
    }
    bool binary = StreamIsBinary(stream);
    StreamLock lock(stream);
    return binary ? WriteUtf16le(units, count, stream) : WriteUtf8(units, count, stream);
}

int fputws(const WCHAR* s, FILE* stream) {
    if (s == nullptr) {
        errno = EINVAL;
        return -1;
    }
    return StreamWriteW(s, wcslen(s), stream);
}

namespace qposix {

WORD(fputwc)(WCHAR c, FILE* stream) {
    return StreamWriteW(&c, 1, stream) == 0 ? c : QWEOF;
}

WORD(fgetwc)(FILE* stream) {
    if (stream == nullptr) {
        errno = EINVAL;
        return QWEOF;
    }
    bool binary = StreamIsBinary(stream);
    StreamLock lock(stream);
    bool end;
    return NextUnit(stream, binary, &end);
}

char*(fgets)(char* buf, int n, FILE* stream) {
    if (buf == nullptr || stream == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    bool binary = StreamIsBinary(stream);
    StreamLock lock(stream);
    char* line = (::fgets)(buf, n, stream);
    if (line == nullptr || binary) return line;
    size_t length = std::strlen(line);
    if (length >= 2 && line[length - 1] == '\n' && line[length - 2] == '\r') {
        line[length - 2] = '\n';
        line[length - 1] = 0;
    } else if (length >= 1 && length == static_cast<size_t>(n) - 1 && line[length - 1] == '\r') {
        // The buffer filled up on the CR: when the LF follows, the line
        // ends here, in LF, as if the buffer had been larger.
        int c = getc_unlocked(stream);
        if (c == '\n')
            line[length - 1] = '\n';
        else if (c != EOF)
            ungetc(c, stream);
    }
    return line;
}

int(fgetpos)(FILE* stream, int64_t* position) {
    if (stream == nullptr || position == nullptr) {
        errno = EINVAL;
        return -1;
    }
    off_t where = ftello(stream);
    if (where < 0) return -1;
    *position = where;
    return 0;
}

} // namespace qposix

WCHAR* fgetws(WCHAR* buf, int n, FILE* stream) {
    if (buf == nullptr || stream == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    if (n < 1) return nullptr;
    bool binary = StreamIsBinary(stream);
    StreamLock lock(stream);
    size_t room = static_cast<size_t>(n) - 1;
    size_t count = 0;
    while (count < room) {
        bool end;
        WCHAR unit = NextUnit(stream, binary, &end);
        if (end) break;
        if (unit == '\n' && !binary && count > 0 && buf[count - 1] == '\r') {
            buf[count - 1] = '\n';
            break;
        }
        buf[count++] = unit;
        if (unit == '\n') break;
        if (unit == '\r' && !binary && count == room) {
            // The buffer filled up on the CR: as fgets, take the LF that
            // follows into this line, or give the unit back.
            WCHAR next = NextUnit(stream, binary, &end);
            if (end) break;
            if (next == '\n')
                buf[count - 1] = '\n';
            else
                KeepPending(stream, &next, 1, true);
        }
    }
    buf[count] = 0;
    return count == 0 ? nullptr : buf;
}

// ---- formatted output -------------------------------------------------------------

int vfwprintf(FILE* stream, const WCHAR* fmt, va_list args) {
    if (stream == nullptr || fmt == nullptr) {
        errno = EINVAL;
        return -1;
    }
    FormattedText text;
    if (!FormatText(&text, true, fmt, args)) return -1;
    bool written = StreamWriteW(static_cast<WCHAR*>(text.buffer), text.length, stream) == 0;
    return FormatResult(text, written);
}

int fwprintf(FILE* stream, const WCHAR* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int result = vfwprintf(stream, fmt, args);
    va_end(args);
    return result;
}

int wprintf(const WCHAR* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int result = vfwprintf(stdout, fmt, args);
    va_end(args);
    return result;
}

namespace qposix {

int(vfprintf)(FILE* stream, const char* fmt, va_list args) {
    if (stream == nullptr || fmt == nullptr) {
        errno = EINVAL;
        return -1;
    }
    FormattedText text;
    if (!FormatText(&text, false, fmt, args)) return -1;
    bool written = text.length == 0 || fwrite(text.buffer, 1, text.length, stream) == text.length;
    return FormatResult(text, written);
}

int(fprintf)(FILE* stream, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int result = (vfprintf)(stream, fmt, args);
    va_end(args);
    return result;
}

int(printf)(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int result = (vfprintf)(stdout, fmt, args);
    va_end(args);
    return result;
}

} // namespace qposix
