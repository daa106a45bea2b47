// The PCRE2 binding: both widths loaded beside the program and bound by
// name, patterns converted and compiled by their encoding, and the searches
// of strings, of buffers of a longer text, and of names to rename.
#include "tree/regex.h"

#include "libloaderapi.h"
#include "qposix_path.h"
#include "qprintf.h"
#include "qwcrt.h"
#include "stringapiset.h"

#include <algorithm>
#include <type_traits>
#include <cstdlib>
#include <cstring>

Pcre2Api gPcre2Api8;
Pcre2Api gPcre2Api16;
BOOL gRegexSupport = FALSE;

namespace {

void WriteError(char* error, size_t size, const char* text) {
    if (error && size) snprintf(error, size, "%s", text);
}

// The library's message for a PCRE2 error code. The codes are the same for
// both widths; the 8-bit library gives 8-bit text.
void LibraryMessage(int code, char* text, size_t size) {
    text[0] = 0;
    if (gPcre2Api8.get_error_message &&
        gPcre2Api8.get_error_message(code, text, size) == PCRE2_ERROR_NOMEMORY)
        text[size - 1] = 0;
    if (!text[0]) snprintf(text, size, "PCRE2 error %d", code);
}

// The function "pcre2_<name>_<width>" of library, as an untyped address.
void* Lookup(HMODULE library, const char* name, const char* width) {
    char full[96];
    snprintf(full, sizeof full, "pcre2_%s_%s", name, width);
    return reinterpret_cast<void*>(GetProcAddress(library, full));
}

int Width(const RegexMatcher* m) { return m->encoding == REGEX_UTF16 ? 2 : 1; }

enum class Found { None, Partial, Full };

// One search of subject (units of the matcher's width) from start, partial
// matches at the end reported when no whole match is found.
Found SearchOnce(RegexMatcher* m, const void* subject, size_t units, size_t start, size_t* s,
                 size_t* e) {
    Pcre2Api* a = m->api;
    // The JIT's fast scans read 16-bit text at even addresses only: text at
    // an odd address would be searched wrongly, so the interpreter takes it.
    uint32_t options = PCRE2_PARTIAL_SOFT;
    if (Width(m) == 2 && (reinterpret_cast<uintptr_t>(subject) & 1)) options |= PCRE2_NO_JIT;
    int rc = a->match(m->code, subject, units, start, options, m->data, a->matchContext);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT)
        rc = a->match(m->code, subject, units, start, PCRE2_PARTIAL_SOFT | PCRE2_NO_JIT, m->data,
                      a->matchContext);
    if (rc < 0 && rc != PCRE2_ERROR_PARTIAL) return Found::None;
    const PCRE2_SIZE* vector = a->get_ovector_pointer(m->data);
    *s = vector[0];
    *e = vector[1];
    return rc == PCRE2_ERROR_PARTIAL ? Found::Partial : Found::Full;
}

pcre2_code* Compile(LPCWSTR pattern, BOOL caseSensitive, int encoding, char* error,
                    size_t errorSize, Pcre2Api** apiOut) {
    if (!gRegexSupport || !pattern) return nullptr;
    if (encoding < REGEX_OEM || encoding > REGEX_ANSI) {
        WriteError(error, errorSize, "Unknown regular expression encoding");
        return nullptr;
    }
    uint32_t options = PCRE2_MULTILINE;
    if (encoding == REGEX_UTF8 || encoding == REGEX_UTF16)
        options |= PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF;
    if (!caseSensitive) options |= PCRE2_CASELESS;

    // A converted pattern that does not fit is refused whole: compiling the
    // part that fitted would match something else than the user wrote.
    char converted[REGEX_PATTERN_BYTES];
    const void* text = converted;
    bool fits = true;
    if (encoding == REGEX_OEM || encoding == REGEX_ANSI) {
        const char fallback[2] = {encoding == REGEX_OEM ? '\xFA' : '\xB7', 0};
        fits = WideCharToMultiByte(encoding == REGEX_OEM ? CP_OEMCP : CP_ACP, 0, pattern, -1,
                                   converted, sizeof converted, fallback, nullptr) > 0;
    } else if (encoding == REGEX_UTF8) {
        fits = Utf16ToUtf8(pattern, -1, converted, sizeof converted) >= 0;
    } else {
        text = pattern;
    }
    if (!fits) {
        WriteError(error, errorSize, "The regular expression is too long");
        return nullptr;
    }

    Pcre2Api* api = encoding == REGEX_UTF16 ? &gPcre2Api16 : &gPcre2Api8;
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled =
        api->compile(text, PCRE2_ZERO_TERMINATED, options, &code, &offset, api->compileContext);
    if (!compiled) {
        if (error && errorSize) {
            char message[160];
            LibraryMessage(code, message, sizeof message);
            snprintf(error, errorSize, "%s at column %u", message, static_cast<unsigned>(offset + 1));
        }
        return nullptr;
    }
    *apiOut = api;
    return compiled;
}

} // namespace

void Pcre2Unbind(Pcre2Api* api, const char* width) {
    if (api->library) {
        auto freeCompile = reinterpret_cast<void (*)(pcre2_compile_context*)>(
            Lookup(api->library, "compile_context_free", width));
        auto freeMatch = reinterpret_cast<void (*)(pcre2_match_context*)>(
            Lookup(api->library, "match_context_free", width));
        if (api->compileContext && freeCompile) freeCompile(api->compileContext);
        if (api->matchContext && freeMatch) freeMatch(api->matchContext);
        FreeLibrary(api->library);
    }
    *api = Pcre2Api{};
}

int Pcre2Bind(Pcre2Api* api, const char* const* libraries, const char* width) {
    *api = Pcre2Api{};
    HMODULE library = nullptr;
    for (; libraries && *libraries && !library; libraries++) {
        WCHAR name[260];
        if (MultiByteToWideChar(CP_UTF8, 0, *libraries, -1, name, 260) > 0)
            library = LoadLibraryW(name);
    }
    if (!library) return 0;

    api->library = library;
    auto bind = [&](auto& field, const char* name) {
        field = reinterpret_cast<std::remove_reference_t<decltype(field)>>(Lookup(library, name, width));
        return field != nullptr;
    };
    bool ok = bind(api->compile, "compile");
    ok = bind(api->match, "match") && ok;
    ok = bind(api->match_data_create_from_pattern, "match_data_create_from_pattern") && ok;
    ok = bind(api->get_ovector_pointer, "get_ovector_pointer") && ok;
    ok = bind(api->jit_compile, "jit_compile") && ok;
    ok = bind(api->code_free, "code_free") && ok;
    ok = bind(api->match_data_free, "match_data_free") && ok;
    ok = bind(api->get_error_message, "get_error_message") && ok;
    ok = bind(api->compile_context_create, "compile_context_create") && ok;
    ok = bind(api->match_context_create, "match_context_create") && ok;
    ok = bind(api->set_newline, "set_newline") && ok;
    ok = bind(api->set_heap_limit, "set_heap_limit") && ok;
    bind(api->substitute, "substitute");
    if (ok) {
        api->compileContext = api->compile_context_create(nullptr);
        api->matchContext = api->match_context_create(nullptr);
        ok = api->compileContext && api->matchContext;
    }
    if (!ok) {
        Pcre2Unbind(api, width);
        return 0;
    }
    api->set_newline(api->compileContext, PCRE2_NEWLINE_ANYCRLF);
    api->set_heap_limit(api->matchContext, 65536);
    return 1;
}

BOOL Pcre2Init() {
    static const char* const k8[] = {"libpcre2-8.so", "libpcre2-8.so.0", nullptr};
    static const char* const k16[] = {"libpcre2-16.so", "libpcre2-16.so.0", nullptr};
    gRegexSupport = FALSE;
    if (Pcre2Bind(&gPcre2Api8, k8, "8")) gRegexSupport = Pcre2Bind(&gPcre2Api16, k16, "16");
    return gRegexSupport;
}

void Pcre2Release() {
    gRegexSupport = FALSE;
    Pcre2Unbind(&gPcre2Api16, "16");
    Pcre2Unbind(&gPcre2Api8, "8");
}

int RegexValidate(LPCWSTR pattern, BOOL caseSensitive, int encoding, char* error, size_t errorSize) {
    Pcre2Api* api = nullptr;
    pcre2_code* code = Compile(pattern, caseSensitive, encoding, error, errorSize, &api);
    if (!code) return 0;
    api->code_free(code);
    return 1;
}

RegexMatcher* RegexCreate(LPCWSTR pattern, BOOL caseSensitive, int encoding, char* error,
                          size_t errorSize) {
    Pcre2Api* api = nullptr;
    pcre2_code* code = Compile(pattern, caseSensitive, encoding, error, errorSize, &api);
    if (!code) return nullptr;
    // Without JIT support the interpreter serves: the result is not needed.
    api->jit_compile(code, PCRE2_JIT_PARTIAL_SOFT);
    auto* m = static_cast<RegexMatcher*>(std::calloc(1, sizeof(RegexMatcher)));
    pcre2_match_data* data = m ? api->match_data_create_from_pattern(code, nullptr) : nullptr;
    if (!data) {
        std::free(m);
        api->code_free(code);
        WriteError(error, errorSize, "Not enough memory");
        return nullptr;
    }
    m->api = api;
    m->code = code;
    m->data = data;
    m->encoding = encoding;
    return m;
}

void RegexFree(RegexMatcher* matcher) {
    if (!matcher) return;
    matcher->api->match_data_free(matcher->data);
    matcher->api->code_free(matcher->code);
    std::free(matcher);
}

int RegexMatchString(RegexMatcher* matcher, const void* subject, size_t length, size_t start,
                     size_t* matchStart, size_t* matchLength) {
    if (!matcher || !subject) return 0;
    size_t w = static_cast<size_t>(Width(matcher));
    size_t units = length / w;
    size_t from = (start + w - 1) / w;
    if (from > units) return 0;
    size_t s = 0, e = 0;
    if (SearchOnce(matcher, subject, units, from, &s, &e) != Found::Full) return 0;
    if (matchStart) *matchStart = s * w;
    if (matchLength) *matchLength = (e - s) * w;
    return 1;
}

int RegexSearchBuffer(RegexMatcher* matcher, const void* buffer, size_t length, size_t startLimit,
                      size_t* matchStart, size_t* matchLength, size_t* overlap,
                      size_t* minimumOverlap) {
    if (!matcher || !buffer) return 0;
    size_t w = static_cast<size_t>(Width(matcher));
    bool full = false;
    size_t fullStart = 0, fullLength = 0;
    size_t partialStart = length;
    bool partial = false;
    // A 16-bit text may start at either byte of the buffer: each phase is
    // searched, so a match at an odd offset is found too.
    for (size_t r = 0; r < w; r++) {
        size_t units = length > r ? (length - r) / w : 0;
        size_t from = startLimit <= r ? 0 : (startLimit - r + w - 1) / w;
        if (from >= units) continue;
        size_t s = 0, e = 0;
        Found found = SearchOnce(matcher, static_cast<const char*>(buffer) + r, units, from, &s, &e);
        size_t at = r + s * w;
        if (found == Found::Full && (!full || at < fullStart)) {
            full = true;
            fullStart = at;
            fullLength = (e - s) * w;
        } else if (found == Found::Partial && at < partialStart) {
            partial = true;
            partialStart = at;
        }
    }
    if (full) {
        if (matchStart) *matchStart = fullStart;
        if (matchLength) *matchLength = fullLength;
        return 1;
    }
    size_t carry = partial ? std::min<size_t>(w + length - partialStart, 65536) : (w == 2 ? 3 : 1);
    carry = std::min(carry, length / 2);
    if (overlap) *overlap = carry;
    if (minimumOverlap) *minimumOverlap = std::min(w, carry);
    return 0;
}

int RegexRename(RegexMatcher* matcher, LPCWSTR name, LPCWSTR replacement, int selector,
                LPWSTR output, size_t outputSize, char* error, size_t errorSize) {
    if (!matcher || matcher->encoding != REGEX_UTF16 || !matcher->api->substitute) {
        WriteError(error, errorSize, "A regex rename needs PCRE2 10.35 or later");
        return -1;
    }
    const uint32_t kOptions = PCRE2_SUBSTITUTE_EXTENDED | PCRE2_SUBSTITUTE_UNSET_EMPTY |
                              PCRE2_SUBSTITUTE_UNKNOWN_UNSET | PCRE2_SUBSTITUTE_REPLACEMENT_ONLY |
                              PCRE2_SUBSTITUTE_MATCHED;
    const char* kTooLong = "The new name is too long";
    size_t length = wcslen(name);

    // The next whole match from start.
    auto next = [&](const size_t* start, size_t* s, size_t* e) {
        return *start <= length && SearchOnce(matcher, name, length, *start, s, e) == Found::Full;
    };
    // Where the search goes on after a match: an empty match moves on by one
    // character, never into the middle of a surrogate pair.
    auto advance = [&](size_t s, size_t e) {
        if (e != s) return e;
        bool pair = e + 1 < length && name[e] >= 0xD800 && name[e] <= 0xDBFF &&
                    name[e + 1] >= 0xDC00 && name[e + 1] <= 0xDFFF;
        return e + (pair ? 2 : 1);
    };

    size_t first = 0;
    size_t limit = selector > 0 ? static_cast<size_t>(selector) : SIZE_MAX;
    if (selector < 0) {
        size_t count = 0, start = 0, s = 0, e = 0;
        while (next(&start, &s, &e)) {
            count++;
            start = advance(s, e);
        }
        size_t last = static_cast<size_t>(-static_cast<long long>(selector));
        first = count > last ? count - last : 0;
    }

    size_t out = 0, copied = 0, index = 0, start = 0, s = 0, e = 0;
    int replaced = 0;
    while (static_cast<size_t>(replaced) < limit && next(&start, &s, &e)) {
        if (index++ >= first) {
            if (out + (s - copied) >= outputSize) {
                WriteError(error, errorSize, kTooLong);
                return -1;
            }
            wmemcpy(output + out, name + copied, s - copied);
            out += s - copied;
            PCRE2_SIZE room = outputSize - out;
            int rc = matcher->api->substitute(matcher->code, name, length, start, kOptions,
                                              matcher->data, matcher->api->matchContext,
                                              replacement, PCRE2_ZERO_TERMINATED, output + out, &room);
            if (rc < 0) {
                if (rc == PCRE2_ERROR_NOMEMORY) {
                    WriteError(error, errorSize, kTooLong);
                } else if (error && errorSize) {
                    LibraryMessage(rc, error, errorSize);
                }
                return -1;
            }
            out += room;
            copied = e;
            replaced++;
        }
        start = advance(s, e);
    }
    if (out + (length - copied) >= outputSize) {
        WriteError(error, errorSize, kTooLong);
        return -1;
    }
    wmemcpy(output + out, name + copied, length - copied);
    output[out + length - copied] = 0;
    return replaced;
}
