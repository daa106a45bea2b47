// The formatter of the layer: FormatCore reads a narrow or a wide format with
// Windows conventions and writes bytes or 16-bit units into a counting sink;
// the printf-style functions set a sink up and apply their own result rules.
#include "qprintf.h"

#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <unistd.h>

#include "internal/libc_format.h"

namespace {

// ---- the sink -------------------------------------------------------------------

// Counts n more units. The count saturates instead of wrapping; the int
// results below turn anything past INT_MAX into -1 anyway.
void Advance(FORMAT_SINK* sink, size_t n) {
    sink->count = (SIZE_MAX - sink->count < n) ? SIZE_MAX : sink->count + n;
}

void StoreAt(FORMAT_SINK* sink, size_t index, uint32_t unit) {
    if (sink->wide)
        static_cast<WCHAR*>(sink->buffer)[index] = static_cast<WCHAR>(unit);
    else
        static_cast<char*>(sink->buffer)[index] = static_cast<char>(static_cast<uint8_t>(unit));
}

// Produces n copies of unit. Only the copies that fit reach the buffer, so a
// huge width costs no more than the room the sink has.
void StoreRepeat(FORMAT_SINK* sink, uint32_t unit, size_t n) {
    if (sink->count < sink->capacity) {
        size_t room = sink->capacity - sink->count;
        size_t stored = n < room ? n : room;
        for (size_t i = 0; i < stored; ++i)
            StoreAt(sink, sink->count + i, unit);
    }
    Advance(sink, n);
}

void Store(FORMAT_SINK* sink, uint32_t unit) {
    if (sink->count < sink->capacity)
        StoreAt(sink, sink->count, unit);
    Advance(sink, 1);
}

void StoreText(FORMAT_SINK* sink, const char* text, size_t n) {
    for (size_t i = 0; i < n; ++i)
        Store(sink, static_cast<uint8_t>(text[i]));
}

// Produces one unit of text. A unit above 255 has no byte in a narrow sink:
// the error flag is set and the caller stops formatting.
bool PutUnit(FORMAT_SINK* sink, uint32_t unit) {
    if (!sink->wide && unit > 0xFF) {
        sink->error = true;
        return false;
    }
    Store(sink, unit);
    return true;
}

// Padding count for a field of width units holding length units.
size_t PadFor(int width, size_t length) {
    size_t w = width > 0 ? static_cast<size_t>(width) : 0;
    return w > length ? w - length : 0;
}

// ---- arguments ------------------------------------------------------------------

// Draws arguments from a va_list or from the callbacks of FORMAT_ARGS.
struct ArgReader {
    FORMAT_ARGS* source;

    // bits is 32 or 64: the size of the argument slot. 8- and 16-bit values
    // arrive promoted to int and are narrowed by the caller.
    int64_t Integer(int bits) {
        if (source->list != nullptr) {
            if (bits == 64)
                return static_cast<int64_t>(va_arg(*source->list, long long));
            return va_arg(*source->list, int);
        }
        int64_t value = source->NextInteger ? source->NextInteger(source->context, bits) : 0;
        return bits == 64 ? value : static_cast<int32_t>(value);
    }
    double Double() {
        if (source->list != nullptr)
            return va_arg(*source->list, double);
        return source->NextDouble ? source->NextDouble(source->context) : 0.0;
    }
    const void* Pointer() {
        if (source->list != nullptr)
            return va_arg(*source->list, const void*);
        return source->NextPointer ? source->NextPointer(source->context) : nullptr;
    }
};

// ---- format parsing ---------------------------------------------------------------

enum class StringWidth { Unset, Narrow, Wide };

template <typename Unit> uint32_t UnitAt(const Unit* p) {
    return static_cast<uint32_t>(static_cast<std::make_unsigned_t<Unit>>(*p));
}

// Reads a run of decimal digits. A number too large for an int saturates at
// INT_MAX rather than overflowing.
template <typename Unit> int ReadDecimal(const Unit*& p) {
    int value = 0;
    for (uint32_t u = UnitAt(p); u >= '0' && u <= '9'; u = UnitAt(++p)) {
        int digit = static_cast<int>(u - '0');
        value = value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
    }
    return value;
}

// Whether a %s/%c-family conversion takes a 16-bit argument.
bool TakesWide(uint32_t conversion, StringWidth width, bool fmtWide) {
    if (width == StringWidth::Narrow)
        return false;
    if (width == StringWidth::Wide)
        return true;
    bool lower = conversion == 's' || conversion == 'c';
    return lower ? fmtWide : !fmtWide;
}

// Writes a string argument padded to width; false when a 16-bit unit could
// not enter a narrow sink (formatting stops there).
bool FormatString(FORMAT_SINK* sink, const void* arg, bool wideArg, unsigned flags, int width,
                  int precision) {
    if (arg == nullptr) {
        arg = "(null)";
        wideArg = false;
    }
    // Never read past the precision: the text need not be terminated there.
    size_t limit = precision < 0 ? SIZE_MAX : static_cast<size_t>(precision);
    size_t length = 0;
    if (wideArg) {
        const WCHAR* s = static_cast<const WCHAR*>(arg);
        while (length < limit && s[length] != 0)
            ++length;
    } else {
        const char* s = static_cast<const char*>(arg);
        while (length < limit && s[length] != 0)
            ++length;
    }
    size_t pad = PadFor(width, length);
    if (!(flags & FMT_LEFT))
        StoreRepeat(sink, (flags & FMT_ZERO) ? '0' : ' ', pad);
    for (size_t i = 0; i < length; ++i) {
        uint32_t unit = wideArg ? static_cast<const WCHAR*>(arg)[i]
                                : static_cast<uint8_t>(static_cast<const char*>(arg)[i]);
        if (!PutUnit(sink, unit))
            return false;
    }
    if (flags & FMT_LEFT)
        StoreRepeat(sink, ' ', pad);
    return true;
}

// Writes one character argument padded to width. A 16-bit character that a
// narrow sink cannot hold is dropped with its padding, without an error.
void FormatChar(FORMAT_SINK* sink, int32_t arg, bool wideArg, unsigned flags, int width) {
    uint32_t unit;
    if (wideArg) {
        unit = static_cast<uint32_t>(arg) & 0xFFFF;
        if (!sink->wide && unit > 0xFF)
            return;
    } else {
        unit = static_cast<uint32_t>(arg) & 0xFF;
    }
    size_t pad = PadFor(width, 1);
    if (!(flags & FMT_LEFT))
        StoreRepeat(sink, (flags & FMT_ZERO) ? '0' : ' ', pad);
    Store(sink, unit);
    if (flags & FMT_LEFT)
        StoreRepeat(sink, ' ', pad);
}

[[noreturn]] void PercentNAbort() {
    // %n would let a format write to memory; no caller of the layer needs it.
    // The message goes straight to descriptor 2: naming libc's stderr object
    // would make the programs define it by copy relocation.
    static const char kMessage[] = "qposix: %n in a printf format\n";
    ssize_t written = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)written;
    std::abort();
}

template <typename Unit>
void FormatLoop(FORMAT_SINK* sink, const Unit* p, bool fmtWide, ArgReader& args) {
    for (;;) {
        uint32_t u = UnitAt(p);
        if (u == 0)
            return;
        ++p;
        if (u != '%') {
            if (!PutUnit(sink, u))
                return;
            continue;
        }

        unsigned flags = 0;
        for (bool more = true; more;) {
            switch (UnitAt(p)) {
            case '-': flags |= FMT_LEFT; break;
            case '+': flags |= FMT_PLUS; break;
            case ' ': flags |= FMT_SPACE; break;
            case '#': flags |= FMT_ALT; break;
            case '0': flags |= FMT_ZERO; break;
            default: more = false; continue;
            }
            ++p;
        }

        int width = 0;
        if (UnitAt(p) == '*') {
            ++p;
            int32_t w = static_cast<int32_t>(args.Integer(32));
            if (w < 0) {
                flags |= FMT_LEFT;
                // The magnitude of INT_MIN is no int; it saturates like digits do.
                width = w == INT_MIN ? INT_MAX : -w;
            } else {
                width = w;
            }
        } else {
            width = ReadDecimal(p);
        }

        int precision = -1;
        if (UnitAt(p) == '.') {
            ++p;
            if (UnitAt(p) == '*') {
                ++p;
                int32_t v = static_cast<int32_t>(args.Integer(32));
                precision = v < 0 ? -1 : v;
            } else {
                precision = ReadDecimal(p);
            }
        }

        int bits = 32;
        StringWidth stringWidth = StringWidth::Unset;
        bool resume = false;
        switch (UnitAt(p)) {
        case 'h':
            ++p;
            bits = 16;
            if (UnitAt(p) == 'h') {
                ++p;
                bits = 8;
            }
            stringWidth = StringWidth::Narrow;
            break;
        case 'l':
            ++p;
            if (UnitAt(p) == 'l') {
                ++p;
                bits = 64;
            }
            stringWidth = StringWidth::Wide;
            break;
        case 'w':
            ++p;
            stringWidth = StringWidth::Wide;
            break;
        case 'L':
        case 'j':
        case 'z':
        case 't':
            ++p;
            bits = 64;
            break;
        case 'I': {
            ++p;
            uint32_t first = UnitAt(p);
            if (first == '6' || first == '3') {
                uint32_t second = first == '6' ? '4' : '2';
                if (UnitAt(p + 1) == second) {
                    p += 2;
                    bits = first == '6' ? 64 : 32;
                } else {
                    // Not a size after all: the '%' and the digit are text.
                    Store(sink, '%');
                    Store(sink, first);
                    ++p;
                    resume = true;
                }
            } else {
                bits = 64;
            }
            break;
        }
        default: break;
        }
        if (resume)
            continue;

        uint32_t conversion = UnitAt(p);
        if (conversion == 0)
            return; // an unfinished conversion writes nothing
        ++p;

        switch (conversion) {
        case '%': Store(sink, '%'); break;
        case 'd':
        case 'i': {
            int64_t v = args.Integer(bits == 64 ? 64 : 32);
            if (bits == 8)
                v = static_cast<int8_t>(v);
            else if (bits == 16)
                v = static_cast<int16_t>(v);
            else if (bits == 32)
                v = static_cast<int32_t>(v);
            bool negative = v < 0;
            uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            FormatInteger(sink, magnitude, negative, 'd', flags, width, precision);
            break;
        }
        case 'u':
        case 'o':
        case 'x':
        case 'X': {
            uint64_t v = static_cast<uint64_t>(args.Integer(bits == 64 ? 64 : 32));
            if (bits != 64)
                v &= (bits == 32) ? 0xFFFFFFFFu : (1u << bits) - 1;
            FormatInteger(sink, v, false, static_cast<int>(conversion),
                          flags & ~(FMT_PLUS | FMT_SPACE), width, precision);
            break;
        }
        case 'p': {
            uint64_t v = reinterpret_cast<uintptr_t>(args.Pointer());
            FormatInteger(sink, v, false, 'p', flags & FMT_LEFT, width, 16);
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            FormatFloat(sink, static_cast<int>(conversion), flags, width, precision,
                        args.Double());
            break;
        case 'c':
        case 'C': {
            int32_t v = static_cast<int32_t>(args.Integer(32));
            FormatChar(sink, v, TakesWide(conversion, stringWidth, fmtWide), flags, width);
            break;
        }
        case 's':
        case 'S': {
            const void* s = args.Pointer();
            if (!FormatString(sink, s, TakesWide(conversion, stringWidth, fmtWide), flags, width,
                              precision))
                return;
            break;
        }
        case 'n': PercentNAbort();
        default:
            // Not a conversion: the '%' and the unit are text; whatever was
            // read between them is dropped.
            Store(sink, '%');
            if (!PutUnit(sink, conversion))
                return;
            break;
        }
    }
}

// Appends the decimal digits of a non-negative value.
char* AppendDecimal(char* out, int value) {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0)
        *out++ = digits[--n];
    return out;
}

// Only this many characters of one floating conversion reach the sink.
constexpr size_t kFloatTextMax = 511;
// From this precision on, every digit of a double's exact decimal expansion
// (at most 1074 after the point, 767 significant) is shown and the rest are
// zeros, so a larger precision only adds trailing zeros.
constexpr int kFloatPrecisionCap = 1100;
// With the precision capped, a conversion is at most about 1420 characters;
// a width of 4096 already pads past the 511 characters that are kept.
constexpr int kFloatWidthCap = 4096;

} // namespace

// ---- public conversions -------------------------------------------------------------

void FormatInteger(FORMAT_SINK* sink, uint64_t magnitude, bool negative, int conversion,
                   unsigned flags, int width, int precision) {
    unsigned base = 10;
    const char* digitSet = "0123456789abcdef";
    if (conversion == 'o') {
        base = 8;
    } else if (conversion == 'x') {
        base = 16;
    } else if (conversion == 'X' || conversion == 'p') {
        base = 16;
        digitSet = "0123456789ABCDEF";
    }

    char digits[24]; // least significant first; 22 octal digits fill 64 bits
    size_t digitCount = 0;
    for (uint64_t m = magnitude; m != 0; m /= base)
        digits[digitCount++] = digitSet[m % base];

    if (precision < 0)
        precision = 1;
    else
        flags &= ~FMT_ZERO;
    size_t zeros = static_cast<size_t>(precision) > digitCount
                       ? static_cast<size_t>(precision) - digitCount
                       : 0;

    char prefix[3];
    size_t prefixLength = 0;
    if (negative)
        prefix[prefixLength++] = '-';
    else if ((conversion == 'd' || conversion == 'i') && (flags & FMT_PLUS))
        prefix[prefixLength++] = '+';
    else if ((conversion == 'd' || conversion == 'i') && (flags & FMT_SPACE))
        prefix[prefixLength++] = ' ';
    if ((conversion == 'x' || conversion == 'X') && (flags & FMT_ALT) && magnitude != 0) {
        prefix[prefixLength++] = '0';
        prefix[prefixLength++] = static_cast<char>(conversion);
    }
    // Octal's alternate form guarantees a leading 0: digits of a non-zero
    // value never begin with one, so one is added unless precision zeros are.
    if (conversion == 'o' && (flags & FMT_ALT) && zeros == 0)
        zeros = 1;

    size_t pad = PadFor(width, prefixLength + zeros + digitCount);
    bool left = flags & FMT_LEFT;
    if (!left && !(flags & FMT_ZERO))
        StoreRepeat(sink, ' ', pad);
    StoreText(sink, prefix, prefixLength);
    if (!left && (flags & FMT_ZERO))
        StoreRepeat(sink, '0', pad);
    StoreRepeat(sink, '0', zeros);
    while (digitCount > 0)
        Store(sink, static_cast<uint8_t>(digits[--digitCount]));
    if (left)
        StoreRepeat(sink, ' ', pad);
}

void FormatFloat(FORMAT_SINK* sink, int conversion, unsigned flags, int width, int precision,
                 double value) {
    if (conversion == 0 || std::strchr("eEfFgGaA", conversion) == nullptr)
        return; // only these may reach libc with a double
    bool upper = conversion == 'A' || conversion == 'E' || conversion == 'F' || conversion == 'G';

    uint64_t bits = std::bit_cast<uint64_t>(value);
    bool negative = (bits >> 63) != 0;
    uint64_t exponent = (bits >> 52) & 0x7FF;
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);

    if (exponent == 0x7FF) {
        const char* sign = negative              ? "-"
                           : (flags & FMT_PLUS)  ? "+"
                           : (flags & FMT_SPACE) ? " "
                                                 : "";
        const char* text;
        if (mantissa == 0) {
            text = upper ? "INF" : "inf";
        } else {
            bool quiet = (mantissa >> 51) != 0;
            uint64_t payload = mantissa & ((uint64_t{1} << 51) - 1);
            if (quiet && negative && payload == 0)
                text = upper ? "NAN(IND)" : "nan(ind)"; // the sign text is then "-"
            else if (quiet)
                text = upper ? "NAN" : "nan";
            else
                text = upper ? "NAN(SNAN)" : "nan(snan)";
        }
        size_t signLength = std::strlen(sign);
        size_t textLength = std::strlen(text);
        size_t pad = PadFor(width, signLength + textLength);
        if (!(flags & FMT_LEFT))
            StoreRepeat(sink, ' ', pad);
        StoreText(sink, sign, signLength);
        StoreText(sink, text, textLength);
        if (flags & FMT_LEFT)
            StoreRepeat(sink, ' ', pad);
        return;
    }

    if (width < 0)
        width = 0;
    // A huge request would make libc build gigabytes of digits of which at
    // most 511 characters are kept. Reduce it to one whose first 511
    // characters are the same: past the cap the precision only adds zeros,
    // so the width shrinks by the same amount to keep the padding (except
    // for %g without '#', whose trailing zeros are stripped anyway).
    if (precision > kFloatPrecisionCap) {
        bool stripped = (conversion == 'g' || conversion == 'G') && !(flags & FMT_ALT);
        if (!stripped) {
            int excess = precision - kFloatPrecisionCap;
            width = width > excess ? width - excess : 0;
        }
        precision = kFloatPrecisionCap;
    }
    if (width > kFloatWidthCap)
        width = kFloatWidthCap;

    char format[40];
    char* out = format;
    *out++ = '%';
    if (flags & FMT_LEFT)
        *out++ = '-';
    if (flags & FMT_PLUS)
        *out++ = '+';
    if (flags & FMT_SPACE)
        *out++ = ' ';
    if (flags & FMT_ALT)
        *out++ = '#';
    if (flags & FMT_ZERO)
        *out++ = '0';
    out = AppendDecimal(out, width);
    if (precision >= 0) {
        *out++ = '.';
        out = AppendDecimal(out, precision);
    }
    *out++ = static_cast<char>(conversion);
    *out = 0;

    char text[kFloatTextMax + 1];
    int produced = qposix::LibcFormatDouble(text, sizeof text, format, value);
    if (produced <= 0)
        return;
    size_t length = static_cast<size_t>(produced);
    StoreText(sink, text, length < kFloatTextMax ? length : kFloatTextMax);
}

// ---- the formatter ----------------------------------------------------------------

void FormatCoreArgs(FORMAT_SINK* sink, const void* fmt, bool fmtWide, FORMAT_ARGS* args) {
    ArgReader reader{args};
    if (fmtWide)
        FormatLoop(sink, static_cast<const WCHAR*>(fmt), true, reader);
    else
        FormatLoop(sink, static_cast<const unsigned char*>(fmt), false, reader);
}

void FormatCore(FORMAT_SINK* sink, const void* fmt, bool fmtWide, va_list args) {
    // A va_list parameter may be an array type that decayed to a pointer;
    // only a local copy can be addressed portably.
    va_list local;
    va_copy(local, args);
    FORMAT_ARGS source{};
    source.list = &local;
    FormatCoreArgs(sink, fmt, fmtWide, &source);
    va_end(local);
}

namespace {

// The int result of a count; a count that an int cannot hold gives -1.
int CountResult(size_t count) {
    return count > static_cast<size_t>(INT_MAX) ? -1 : static_cast<int>(count);
}

size_t Smaller(size_t a, size_t b) { return a < b ? a : b; }

} // namespace

int FormatAlloc(bool wide, void** out, const void* fmt, va_list args) {
    *out = nullptr;
    // FormatCore reads its own copy of args, so the list serves both passes.
    FORMAT_SINK measure{wide, nullptr, 0, 0, false};
    FormatCore(&measure, fmt, wide, args);
    // No buffer is handed out with a -1: a caller that treats -1 as failure
    // must not be left holding memory to free.
    if (measure.error || CountResult(measure.count) < 0)
        return -1;
    size_t unitSize = wide ? sizeof(WCHAR) : sizeof(char);
    void* buffer = std::malloc((measure.count + 1) * unitSize);
    if (buffer == nullptr)
        return -1;
    FORMAT_SINK sink{wide, buffer, measure.count, 0, false};
    FormatCore(&sink, fmt, wide, args);
    StoreAt(&sink, Smaller(sink.count, measure.count), 0);
    *out = buffer;
    return static_cast<int>(measure.count);
}

// ---- wide wrappers ----------------------------------------------------------------

int _vsnwprintf(WCHAR* buf, size_t count, const WCHAR* fmt, va_list args) {
    FORMAT_SINK sink{true, count > 0 ? buf : nullptr, count > 0 ? count - 1 : 0, 0, false};
    FormatCore(&sink, fmt, true, args);
    if (count == 0)
        return -1;
    buf[Smaller(sink.count, count - 1)] = 0;
    if (sink.error || sink.count >= count)
        return -1;
    return CountResult(sink.count);
}

int _snwprintf(WCHAR* buf, size_t count, const WCHAR* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int result = _vsnwprintf(buf, count, fmt, args);
    va_end(args);
    return result;
}

int swprintf(WCHAR* buf, size_t count, const WCHAR* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FORMAT_SINK sink{true, count > 0 ? buf : nullptr, count, 0, false};
    FormatCore(&sink, fmt, true, args);
    va_end(args);
    if (!sink.error && sink.count < count) {
        buf[sink.count] = 0;
        return CountResult(sink.count);
    }
    // The text did not leave room for its terminator: it is cut so that the
    // buffer always ends in one, and the caller learns of the loss from -1.
    if (count > 0)
        buf[Smaller(sink.count, count - 1)] = 0;
    return -1;
}

void swprintf_legacy(WCHAR* buf, const WCHAR* fmt, ...) {
    constexpr size_t kCapacity = 1024;
    va_list args;
    va_start(args, fmt);
    FORMAT_SINK sink{true, buf, kCapacity, 0, false};
    FormatCore(&sink, fmt, true, args);
    va_end(args);
    buf[Smaller(sink.count, kCapacity)] = 0;
}

// ---- narrow wrappers --------------------------------------------------------------
// The names are parenthesised so that the redirecting macros of qprintf.h,
// which need a '(' right after the name, leave these definitions alone.

namespace qposix {

int(sprintf)(char* buf, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FORMAT_SINK sink{false, buf, SIZE_MAX, 0, false};
    FormatCore(&sink, fmt, false, args);
    va_end(args);
    buf[sink.count] = 0;
    return sink.error ? -1 : CountResult(sink.count);
}

int(vsnprintf)(char* buf, size_t n, const char* fmt, va_list args) {
    FORMAT_SINK sink{false, n > 0 ? buf : nullptr, n > 0 ? n - 1 : 0, 0, false};
    FormatCore(&sink, fmt, false, args);
    if (n > 0)
        buf[Smaller(sink.count, n - 1)] = 0;
    return sink.error ? -1 : CountResult(sink.count);
}

int(snprintf)(char* buf, size_t n, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int result = (vsnprintf)(buf, n, fmt, args);
    va_end(args);
    return result;
}

} // namespace qposix

int _snprintf(char* buf, size_t n, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FORMAT_SINK sink{false, n > 0 ? buf : nullptr, n, 0, false};
    FormatCore(&sink, fmt, false, args);
    va_end(args);
    if (sink.count < n)
        buf[sink.count] = 0;
    if (sink.error || sink.count > n)
        return -1;
    return CountResult(sink.count);
}
