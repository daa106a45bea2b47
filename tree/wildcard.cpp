// The wildcard matcher: one recursive walk over pattern and name that
// branches only at stars, with a record of the (pattern, name) positions
// already known to fail, so that many stars against a long name cost
// polynomial time and give the answers of the plain walk.
#include "tree/wildcard.h"

#include "settings/settings.h"
#include "stringapiset.h"
#include "qwcrt.h"

#include <cstdlib>
#include <cstring>

DWORD gFnMatchFlags = 0;

namespace {

// One match in progress. The name part ends before stop: stop is the length
// of the name, or the position of its last "." under extension split.
struct Match {
    const WCHAR* pattern;
    const WCHAR* name;
    size_t length;
    size_t stop;
    DWORD flags;
    bool trailingExact; // "?" always needs a character of the name part
    uint8_t* failed;    // one bit per (pattern offset, name offset); null: none kept
    size_t stride;      // name offsets per pattern offset
};

WCHAR Fold(WCHAR c) {
    if (c < 0x80) return static_cast<WCHAR>(towlower(c));
    return static_cast<WCHAR>(
        reinterpret_cast<uintptr_t>(CharLowerW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(c)))));
}

bool Escapes(const Match& m) { return !(m.flags & FNM_NO_ESCAPE); }

// Reads the set whose items start at p against the name character c. Returns
// the position after the closer, or null when the set cannot match at all
// (no closer, or "/" listed while "/" is literal). *hit tells whether c is
// in the set, negation applied.
const WCHAR* ReadSet(const Match& m, const WCHAR* p, WCHAR c, bool* hit) {
    bool negate = false;
    if (*p == '!' || *p == '^') {
        negate = true;
        p++;
    }
    WCHAR folded = Fold(c);
    bool inside = false;
    bool listsSlash = false;
    for (;;) {
        WCHAR lo = *p;
        if (lo == 0) return nullptr;
        if (lo == FNM_SET_CLOSE) {
            p++;
            break;
        }
        if (lo == '\\' && Escapes(m)) {
            lo = *++p;
            if (lo == 0) return nullptr;
        }
        p++;
        WCHAR hi = lo;
        // A "-" just before the closer is an item of its own.
        if (*p == '-' && p[1] != FNM_SET_CLOSE && p[1] != 0) {
            hi = *++p;
            if (hi == '\\' && Escapes(m)) {
                hi = *++p;
                if (hi == 0) return nullptr;
            }
            p++;
        }
        if (lo == '/' || hi == '/') listsSlash = true;
        if (Fold(lo) <= folded && folded <= Fold(hi)) inside = true;
    }
    if (listsSlash && (m.flags & FNM_SLASH_LITERAL)) return nullptr;
    *hit = negate ? !inside : inside;
    return p;
}

int Walk(Match& m, const WCHAR* p, size_t s);

// Walk from a star's next item, remembering failures: the answer depends on
// the two positions alone, so each pair is worked out once.
int WalkOnce(Match& m, const WCHAR* p, size_t s) {
    if (!m.failed) return Walk(m, p, s);
    size_t bit = static_cast<size_t>(p - m.pattern) * m.stride + s;
    uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
    if (m.failed[bit >> 3] & mask) return 0;
    int result = Walk(m, p, s);
    if (!result) m.failed[bit >> 3] |= mask;
    return result;
}

// p is at a "*".
int Star(Match& m, const WCHAR* p, size_t s) {
    p++;
    bool twin = false;
    if (*p == '*') {
        twin = true;
        p++;
        // "**\" may stand for no directory at all, as long as a later
        // backslash of the pattern still separates what follows.
        if ((m.flags & (FNM_PATH | FNM_DOUBLE_STAR)) == (FNM_PATH | FNM_DOUBLE_STAR) && *p == '\\' &&
            wcschr(p + 1, '\\'))
            p++;
    }
    // Stars and "?" directly after take one character each.
    for (; *p == '*' || *p == '?'; p++, s++) {
        if (s >= m.stop) return *p == '?' && m.trailingExact ? 0 : 1;
        if ((m.flags & FNM_SLASH_LITERAL) && m.name[s] == '/') return 0;
    }
    if (*p == 0) return 1;

    bool set = *p == FNM_SET_OPEN;
    WCHAR literal = *p;
    if (literal == '\\' && Escapes(m) && p[1]) literal = p[1];
    literal = Fold(literal);
    bool passes = twin && (m.flags & FNM_DOUBLE_STAR);
    for (size_t i = s; i < m.stop; i++) {
        WCHAR c = m.name[i];
        // A separator the star may not pass: the next item must take it.
        if (((m.flags & FNM_PATH) && c == '\\' && !passes) ||
            ((m.flags & FNM_SLASH_LITERAL) && c == '/'))
            return WalkOnce(m, p, i);
        if ((set || Fold(c) == literal) && WalkOnce(m, p, i)) return 1;
    }
    // A path that ends inside the star's reach may still be the leading
    // part of one that matches.
    return (m.flags & FNM_LEADING_PART) && m.stop == m.length ? 1 : 0;
}

int Walk(Match& m, const WCHAR* p, size_t s) {
    for (;;) {
        WCHAR c = *p;
        if (c == 0) return s >= m.stop;
        if (c == '*') return Star(m, p, s);
        if (c == '?') {
            if (s >= m.stop) {
                // Trailing "?" may be left over when the name part is used up.
                if (m.trailingExact) return 0;
                while (*p == '?') p++;
                return *p == 0;
            }
            if ((m.flags & FNM_SLASH_LITERAL) && m.name[s] == '/') return 0;
            p++;
            s++;
            continue;
        }
        if (c == FNM_SET_OPEN) {
            if (s >= m.stop) return 0;
            WCHAR n = m.name[s];
            if ((m.flags & FNM_SLASH_LITERAL) && n == '/') return 0;
            bool hit = false;
            const WCHAR* next = ReadSet(m, p + 1, n, &hit);
            if (!next || !hit) return 0;
            p = next;
            s++;
            continue;
        }
        if (c == '\\' && Escapes(m) && p[1]) c = *++p;
        if (s < m.stop && Fold(c) == Fold(m.name[s])) {
            p++;
            s++;
            continue;
        }
        return (m.flags & FNM_LEADING_PART) ? s >= m.stop : 0;
    }
}

// Name offsets past which the name part ends.
size_t NamePartStop(LPCWSTR name, size_t length, DWORD flags) {
    if (!(flags & FNM_SPLIT_EXTENSION)) return length;
    const WCHAR* dot = wcsrchr(name, '.');
    return dot && dot > name ? static_cast<size_t>(dot - name) : length;
}

int MatchUnder(DWORD flags, LPCWSTR pattern, LPCWSTR name) {
    Match m{};
    m.pattern = pattern;
    m.name = name;
    m.length = wcslen(name);
    m.stop = NamePartStop(name, m.length, flags);
    m.flags = flags;
    m.trailingExact = gSettings.bTrailingQExact != 0;
    if (!wcschr(pattern, '*')) return Walk(m, pattern, 0);

    // Room for every pair a filespec entry can give stays on the stack;
    // longer paths take it from the heap, and without it the walk is only
    // slower.
    uint8_t local[8448];
    m.stride = m.length + 1;
    size_t bytes = (wcslen(pattern) * m.stride + 7) / 8;
    bool heap = bytes > sizeof local;
    m.failed = heap ? static_cast<uint8_t*>(std::calloc(bytes, 1)) : local;
    if (!heap) std::memset(local, 0, bytes);
    int result = Walk(m, pattern, 0);
    if (heap) std::free(m.failed);
    return result;
}

} // namespace

int FnMatchCore(LPCWSTR pattern, LPCWSTR name) { return MatchUnder(gFnMatchFlags, pattern, name); }

int fnmatch(const FnMatchPattern* pattern, LPCWSTR name) {
    constexpr DWORD flags = FNM_SLASH_LITERAL | FNM_NO_ESCAPE | FNM_SPLIT_EXTENSION;
    if (!MatchUnder(flags, pattern->name, name)) return 0;
    const WCHAR* dot = wcsrchr(name, '.');
    if (dot && dot > name) return MatchUnder(flags, pattern->extension, dot + 1);
    const WCHAR* e = pattern->extension;
    return e[0] == 0 || (e[0] == '*' && e[1] == 0);
}

int FnMatchFlags11(LPCWSTR pattern, LPCWSTR path) {
    return MatchUnder(FNM_SLASH_LITERAL | FNM_NO_ESCAPE | FNM_PATH, pattern, path);
}

int FnMatchFlags27(LPCWSTR pattern, LPCWSTR path) {
    return MatchUnder(FNM_SLASH_LITERAL | FNM_NO_ESCAPE | FNM_PATH | FNM_DOUBLE_STAR, pattern, path);
}

int FnMatchFlags59(LPCWSTR pattern, LPCWSTR path) {
    return MatchUnder(FNM_SLASH_LITERAL | FNM_NO_ESCAPE | FNM_PATH | FNM_DOUBLE_STAR | FNM_LEADING_PART,
                      pattern, path);
}
