// Stdio streams opened from Windows paths and Windows mode strings, 16-bit
// text on them (UTF-16LE on binary streams, UTF-8 on text streams, CR LF read
// as LF), and the stream forms of the printf family with Windows conventions.
//
// The stream is libc's FILE*. Functions that share a libc name and argument
// list (fopen, fclose, fgets, fgetwc, fputwc, fgetpos, fprintf, printf,
// vfprintf) live in namespace qposix and program code reaches them through
// the function-like macros at the end, so libc, libstdc++ and the libraries
// loaded at run time keep calling libc's own. Those whose libc namesake takes
// wchar_t (fputws, fgetws, fwprintf, wprintf, vfwprintf) are plain overloads
// on WCHAR. Program code calls the names unqualified: "std::fopen(" does not
// survive the macros.
#pragma once

// Include the libc declarations first, so that the redirects below cannot
// rewrite them (wchar.h declares fgetwc and fputwc).
#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "wintypes.h"

// What fgetwc answers at the end of the input and fputwc on failure: the
// 16-bit end-of-file unit of the Windows runtime. libc's WEOF is a different
// value and never equals a result of these functions.
inline constexpr WORD QWEOF = 0xFFFF;

// Most binary streams open at the same time. A binary open beyond it fails
// with EMFILE before the file is touched.
inline constexpr size_t STREAM_BINARY_SLOTS = 256;

// ---- opening and modes ----------------------------------------------------------

// Builds libc's mode from a Windows mode into out (16 bytes): copying stops
// at the first ',' (a ",ccs=..." suffix is dropped: text streams are UTF-8),
// at the terminator or after 15 characters; the Windows-only letters D N R S
// T c n t are dropped ("D" does not delete the file on close); 'b' is kept.
// Returns true when the mode asks for a binary stream.
bool StreamLibcMode(const char* windowsMode, char* out);

// Opens posixPath with the mode StreamLibcMode builds and records whether the
// stream is binary. Returns the stream, or null with errno set: by fopen,
// EINVAL for a null argument, EMFILE when a binary stream is asked for and
// STREAM_BINARY_SLOTS are open (then the file is neither created nor
// truncated).
FILE* StreamOpenPosix(const char* posixPath, const char* mode);

// Marks an open stream binary (16-bit text as UTF-16LE) or text (UTF-8).
// Returns 0, or -1 with errno EMFILE when the binary table is full (the
// stream then stays text) and EINVAL for a null stream.
int StreamSetMode(FILE* stream, bool binary);

// Whether the stream is marked binary.
bool StreamIsBinary(FILE* stream);

// Opens a 16-bit Windows path (through PathToPosix) with a 16-bit mode of at
// most 15 significant units; as StreamOpenPosix. A mode unit outside ASCII
// gives null with EINVAL.
FILE* _wfopen(LPCWSTR path, LPCWSTR mode);

namespace qposix {
// Opens an 8-bit Windows path (narrow PathToPosix); as StreamOpenPosix.
FILE* fopen(const char* path, const char* mode);
// Forgets the stream's binary mark and this thread's pending units of it,
// then closes it. libc's result; EOF with EINVAL for a null stream.
int fclose(FILE* stream);
} // namespace qposix

// ---- 16-bit text ----------------------------------------------------------------

// Writes count units: on a binary stream two bytes each, low byte first; on
// a text stream as UTF-8 (a surrogate pair within the units is never split;
// units U+DC80..U+DCFF write the byte they carry). The whole call holds the
// stream's lock, so concurrent writers do not interleave inside it. 0, or -1
// at the first failed write (errno from libc; EINVAL for a null stream).
int StreamWriteW(const WCHAR* units, size_t count, FILE* stream);

// StreamWriteW of the string up to its terminator; 0 or -1.
int fputws(const WCHAR* s, FILE* stream);

namespace qposix {
// StreamWriteW of one unit: the unit, or QWEOF on failure.
WORD fputwc(WCHAR c, FILE* stream);

// The next unit. Units this thread still owes from an earlier read of the
// same stream come first (the low half of a surrogate pair, further bytes
// of an invalid sequence), as long as the stream has not been moved since.
// Binary stream: two bytes, low byte first. Text stream: one UTF-8
// sequence; a byte that starts no valid sequence, and each byte of a cut or
// invalid one, gives the unit of its own value (Latin-1), so no byte is
// lost. QWEOF at the end of the input (also for a lone last byte of a
// binary stream) or on a read error.
WORD fgetwc(FILE* stream);

// libc's fgets (the bytes of one line, at most n - 1 of them, terminated);
// on a text stream a line ending in CR LF ends in LF instead, also when the
// CR is the last byte that fits and the LF comes next. Null at end of input
// or on error; null with EINVAL for a null stream or buffer.
char* fgets(char* buf, int n, FILE* stream);

// Stores ftello's result in *position; 0, or -1 (nothing stored) on failure.
int fgetpos(FILE* stream, int64_t* position);
} // namespace qposix

// Reads units with fgetwc until n - 1 units, the end of the input, or after a
// line feed; on a text stream a line ending in CR LF ends in LF instead (also
// across the end of the buffer, as fgets). Terminates buf when n >= 1 and
// returns it; null when n < 1, buf or stream is null, or nothing was read.
WCHAR* fgetws(WCHAR* buf, int n, FILE* stream);

// ---- formatted output -----------------------------------------------------------

// Format with the layer's formatter (qprintf.h: %s in a wide format is a
// 16-bit string, %ld 32 bits, %I64d 64 bits), then write. The wide forms
// write through StreamWriteW and return the units written; the narrow forms
// write the bytes with one fwrite and return their count. -1 when the text
// cannot be allocated or fully written (errno ENOMEM or libc's), for a null
// stream (EINVAL), and when a 16-bit string unit above 255 met a narrow
// format: the text before that unit is still written and errno is EILSEQ.
int vfwprintf(FILE* stream, const WCHAR* fmt, va_list args);
int fwprintf(FILE* stream, const WCHAR* fmt, ...);
int wprintf(const WCHAR* fmt, ...);

namespace qposix {
int vfprintf(FILE* stream, const char* fmt, va_list args);
int fprintf(FILE* stream, const char* fmt, ...);
int printf(const char* fmt, ...);
} // namespace qposix

#define fopen(...) ::qposix::fopen(__VA_ARGS__)
#define fclose(...) ::qposix::fclose(__VA_ARGS__)
#define fgets(...) ::qposix::fgets(__VA_ARGS__)
#define fgetpos(...) ::qposix::fgetpos(__VA_ARGS__)
#define fgetwc(...) ::qposix::fgetwc(__VA_ARGS__)
#define fputwc(...) ::qposix::fputwc(__VA_ARGS__)
#define vfprintf(...) ::qposix::vfprintf(__VA_ARGS__)
#define fprintf(...) ::qposix::fprintf(__VA_ARGS__)
#define printf(...) ::qposix::printf(__VA_ARGS__)
