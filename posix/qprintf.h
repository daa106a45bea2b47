// Formatted output with Windows conventions: in a wide format %s is a 16-bit
// string and %S an 8-bit one, %ld is 32 bits, %I64d 64 bits, and every
// bounded function has its own truncation and terminator rule. One formatter,
// FormatCore, writes into a counting sink; the printf-style functions are thin
// wrappers around it.
//
// The narrow functions share libc's names and signatures; they live in
// namespace qposix and program code reaches them through the function-like
// macros below, so libc and the libraries loaded at run time keep their own.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "wintypes.h"

// Output target of FormatCore. Every store checks count < capacity and drops
// the unit otherwise; count grows in any case, so capacity 0 measures.
struct FORMAT_SINK {
    bool wide;       // units are WCHAR when set, bytes otherwise
    void* buffer;    // may be null only when capacity is 0
    size_t capacity; // units that may be stored
    size_t count;    // units produced so far
    bool error;      // a 16-bit unit above 255 met a narrow sink
};

// Source of the arguments a format consumes. The va_list form is the normal
// one; a table form lets tests and the fuzzer feed arguments without a real
// variadic call. Arguments are drawn in format order: '*' widths and
// precisions, %c and integers through NextInteger (bits is 32 or 64, the size
// of the argument slot; 8- and 16-bit values travel as 32 and are narrowed by
// the formatter), floating values through NextDouble, %s and %p through
// NextPointer. A missing callback yields 0 or null.
struct FORMAT_ARGS {
    va_list* list;                       // when set, arguments come from here
    void* context;                       // otherwise from these callbacks
    int64_t (*NextInteger)(void* context, int bits);
    double (*NextDouble)(void* context);
    const void* (*NextPointer)(void* context);
};

// Formats fmt (bytes, or 16-bit units when fmtWide) into sink until the
// format's terminator, or until a 16-bit unit above 255 (of a string argument,
// or of a wide format's own text) meets a narrow sink: the error flag is set
// and what came before stays. Format and sink widths may differ; the wrappers
// always pair them. FormatCore reads a copy of
// args, so the caller's list is not consumed. A %n conversion writes
// "qposix: %n in a printf format" to standard error and aborts.
void FormatCore(FORMAT_SINK* sink, const void* fmt, bool fmtWide, va_list args);
void FormatCoreArgs(FORMAT_SINK* sink, const void* fmt, bool fmtWide, FORMAT_ARGS* args);

// Integer and floating conversions of FormatCore, usable on their own.
// flags is a set of FMT_* bits; width < 0 counts as 0; precision < 0 means
// none. FormatInteger writes magnitude (with '-' when negative) for
// conversion 'd'/'i', 'u', 'o', 'x', 'X' or 'p' (upper-case hexadecimal,
// no prefix). FormatFloat writes inf and nan texts itself and hands finite
// values to libc; at most 511 characters reach the sink, and a conversion
// other than e E f F g G a A writes nothing.
inline constexpr unsigned FMT_LEFT = 0x01;  // '-'
inline constexpr unsigned FMT_PLUS = 0x02;  // '+'
inline constexpr unsigned FMT_SPACE = 0x04; // ' '
inline constexpr unsigned FMT_ALT = 0x08;   // '#'
inline constexpr unsigned FMT_ZERO = 0x10;  // '0'
void FormatInteger(FORMAT_SINK* sink, uint64_t magnitude, bool negative, int conversion,
                   unsigned flags, int width, int precision);
void FormatFloat(FORMAT_SINK* sink, int conversion, unsigned flags, int width, int precision,
                 double value);

// Formats into a new heap buffer of count + 1 units (bytes when !wide),
// terminated, which the caller frees with free(). Returns count. Returns -1
// with *out null on the error flag, when the count does not fit an int, or
// when memory is short.
int FormatAlloc(bool wide, void** out, const void* fmt, va_list args);

// ---- wide wrappers ------------------------------------------------------------

// Capacity count - 1, always terminated; -1 when count is 0, the text did
// not fit or a unit could not be written.
int _vsnwprintf(WCHAR* buf, size_t count, const WCHAR* fmt, va_list args);
int _snwprintf(WCHAR* buf, size_t count, const WCHAR* fmt, ...);
// Capacity count; returns the units produced when they leave room for the
// terminator; otherwise -1 with the text cut and terminated at count - 1
// (nothing is written when count is 0).
int swprintf(WCHAR* buf, size_t count, const WCHAR* fmt, ...);
// The fixed-size form: at most 1024 units and a terminator, so buf must hold
// 1025 units.
void swprintf_legacy(WCHAR* buf, const WCHAR* fmt, ...);

// ---- narrow wrappers ----------------------------------------------------------

// sprintf writes unbounded and always terminates; snprintf and vsnprintf
// store at most n - 1 bytes and a terminator (nothing when n is 0, when buf
// may be null) and return the length the whole text needs. All return -1
// when a 16-bit string unit above 255 was met or the length exceeds INT_MAX.
namespace qposix {
int sprintf(char* buf, const char* fmt, ...);
int snprintf(char* buf, size_t n, const char* fmt, ...);
int vsnprintf(char* buf, size_t n, const char* fmt, va_list args);
} // namespace qposix

// Capacity n, terminated only when the text is shorter than n; returns the
// length when it is at most n, else -1 (a text of exactly n bytes is stored
// without a terminator, as callers of this function expect).
int _snprintf(char* buf, size_t n, const char* fmt, ...);

#define sprintf(...) ::qposix::sprintf(__VA_ARGS__)
#define snprintf(...) ::qposix::snprintf(__VA_ARGS__)
#define vsnprintf(...) ::qposix::vsnprintf(__VA_ARGS__)
