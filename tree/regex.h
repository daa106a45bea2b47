// Regular expressions through PCRE2, loaded at run time: the 8-bit and the
// 16-bit library are looked for beside the program, bound by function name,
// and regular expressions are offered only when both are there. Nothing
// links PCRE2; its interface is written out here from its documentation.
#pragma once

#include "wintypes.h"

#include <cstddef>
#include <cstdint>

// The parts of PCRE2's interface the binding uses.
typedef size_t PCRE2_SIZE;
inline constexpr PCRE2_SIZE PCRE2_ZERO_TERMINATED = ~static_cast<PCRE2_SIZE>(0);
inline constexpr uint32_t PCRE2_CASELESS = 0x00000008u;
inline constexpr uint32_t PCRE2_MULTILINE = 0x00000400u;
inline constexpr uint32_t PCRE2_UCP = 0x00020000u;
inline constexpr uint32_t PCRE2_UTF = 0x00080000u;
inline constexpr uint32_t PCRE2_MATCH_INVALID_UTF = 0x04000000u;
inline constexpr uint32_t PCRE2_PARTIAL_SOFT = 0x00000010u;
inline constexpr uint32_t PCRE2_NO_JIT = 0x00002000u;
inline constexpr uint32_t PCRE2_JIT_PARTIAL_SOFT = 0x00000002u;
inline constexpr uint32_t PCRE2_NEWLINE_ANYCRLF = 5;
inline constexpr uint32_t PCRE2_SUBSTITUTE_EXTENDED = 0x00000200u;
inline constexpr uint32_t PCRE2_SUBSTITUTE_UNSET_EMPTY = 0x00000400u;
inline constexpr uint32_t PCRE2_SUBSTITUTE_UNKNOWN_UNSET = 0x00000800u;
inline constexpr uint32_t PCRE2_SUBSTITUTE_MATCHED = 0x00010000u;
inline constexpr uint32_t PCRE2_SUBSTITUTE_REPLACEMENT_ONLY = 0x00020000u;
inline constexpr int PCRE2_ERROR_NOMATCH = -1;
inline constexpr int PCRE2_ERROR_PARTIAL = -2;
inline constexpr int PCRE2_ERROR_JIT_STACKLIMIT = -46;
inline constexpr int PCRE2_ERROR_NOMEMORY = -48;

// The library's records are opaque; units are bytes (8-bit) or 16-bit
// units, passed as untyped pointers so one record serves both widths.
struct pcre2_code;
struct pcre2_match_data;
struct pcre2_compile_context;
struct pcre2_match_context;
struct pcre2_general_context;

// One bound library, 8-bit or 16-bit.
struct Pcre2Api {
    HMODULE library;
    pcre2_code* (*compile)(const void* pattern, PCRE2_SIZE length, uint32_t options, int* error,
                           PCRE2_SIZE* errorOffset, pcre2_compile_context* context);
    int (*match)(const pcre2_code* code, const void* subject, PCRE2_SIZE length, PCRE2_SIZE start,
                 uint32_t options, pcre2_match_data* data, pcre2_match_context* context);
    pcre2_match_data* (*match_data_create_from_pattern)(const pcre2_code* code,
                                                        pcre2_general_context* general);
    PCRE2_SIZE* (*get_ovector_pointer)(pcre2_match_data* data);
    int (*jit_compile)(pcre2_code* code, uint32_t options);
    void (*code_free)(pcre2_code* code);
    void (*match_data_free)(pcre2_match_data* data);
    int (*get_error_message)(int error, void* buffer, PCRE2_SIZE units);
    pcre2_compile_context* (*compile_context_create)(pcre2_general_context* general);
    pcre2_match_context* (*match_context_create)(pcre2_general_context* general);
    int (*set_newline)(pcre2_compile_context* context, uint32_t newline);
    int (*set_heap_limit)(pcre2_match_context* context, uint32_t kibibytes);
    // Optional: libraries before 10.35 lack what RegexRename needs.
    int (*substitute)(const pcre2_code* code, const void* subject, PCRE2_SIZE length,
                      PCRE2_SIZE start, uint32_t options, pcre2_match_data* data,
                      pcre2_match_context* context, const void* replacement,
                      PCRE2_SIZE replacementLength, void* output, PCRE2_SIZE* outputLength);
    pcre2_compile_context* compileContext;
    pcre2_match_context* matchContext;
};

extern Pcre2Api gPcre2Api8;
extern Pcre2Api gPcre2Api16;

// Set at start-up when both widths are bound.
extern BOOL gRegexSupport;

// How a pattern and its subjects are encoded.
enum RegexEncoding : int {
    REGEX_OEM = 0,   // 8-bit, code page 437; unconvertible characters 0xFA
    REGEX_UTF8 = 1,  // 8-bit, UTF-8
    REGEX_UTF16 = 2, // 16-bit, UTF-16
    REGEX_ANSI = 3,  // 8-bit, Windows-1252; unconvertible characters 0xB7
};

// Bytes a converted 8-bit pattern may take, its terminator included.
inline constexpr size_t REGEX_PATTERN_BYTES = 1040;

struct RegexMatcher {
    Pcre2Api* api;
    pcre2_code* code;
    pcre2_match_data* data;
    int encoding;
};

// Binds the 8-bit library and, when that works, the 16-bit one; sets and
// returns gRegexSupport.
BOOL Pcre2Init();

// Loads the first of the null-terminated list of names that LoadLibraryW
// finds, looks up every function as "pcre2_<name>_<width>" and makes the
// two contexts (newline any of CR, LF, CRLF; heap limit 64 MiB). 1 when
// bound; 0 with the library freed and api cleared.
int Pcre2Bind(Pcre2Api* api, const char* const* libraries, const char* width);

// Frees the contexts and the library of a binding and clears the record.
void Pcre2Unbind(Pcre2Api* api, const char* width);

// Unbinds both widths and clears gRegexSupport (tests, shut-down).
void Pcre2Release();

// Error texts are written only when error is given with a nonzero size:
// the library's message with " at column N", "Not enough memory", or why a
// pattern was refused before compiling.

// 1 when pattern compiles with the options of its encoding, else 0.
int RegexValidate(LPCWSTR pattern, BOOL caseSensitive, int encoding, char* error, size_t errorSize);

// A matcher for pattern, or null (no regex support, no compile, no memory).
RegexMatcher* RegexCreate(LPCWSTR pattern, BOOL caseSensitive, int encoding, char* error,
                          size_t errorSize);

// Frees the matcher; null is accepted.
void RegexFree(RegexMatcher* matcher);

// Searches subject (length and start in bytes) for a whole match: 1 with
// its start and length in bytes, else 0.
int RegexMatchString(RegexMatcher* matcher, const void* subject, size_t length, size_t start,
                     size_t* matchStart, size_t* matchLength);

// Searches one buffer of a longer text (length in bytes; no match may start
// before startLimit). 1 with the earliest whole match; else 0 with the
// bytes of its end to carry into the next buffer (*overlap, at least
// *minimumOverlap) so that a match running over the end is found there.
int RegexSearchBuffer(RegexMatcher* matcher, const void* buffer, size_t length, size_t startLimit,
                      size_t* matchStart, size_t* matchLength, size_t* overlap,
                      size_t* minimumOverlap);

// Replaces matches of a 16-bit matcher in name by replacement (PCRE2's
// extended substitution syntax): selector 0 every match, n the first n, -n
// the last n. Writes the new name (output size in units, terminator
// included) and returns the number of replacements, or -1.
int RegexRename(RegexMatcher* matcher, LPCWSTR name, LPCWSTR replacement, int selector,
                LPWSTR output, size_t outputSize, char* error, size_t errorSize);
