// The compiled expressions of regular-expression filters, kept per text.
#include "ui/filter_cache.h"

#include "tree/filter.h"
#include "tree/regex.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

struct CachedExpression {
    WCHAR text[FILESPEC_PATTERN_UNITS];
    RegexMatcher* matcher;
    ULONGLONG used; // the lookup count when last used; 0 for a free slot
};

std::mutex gCacheLock;
CachedExpression gCache[4];
ULONGLONG gLookups;

RegexMatcher* Find(const WCHAR* text) {
    for (CachedExpression& entry : gCache)
        if (entry.matcher && wcscmp(entry.text, text) == 0) {
            entry.used = ++gLookups;
            return entry.matcher;
        }
    RegexMatcher* matcher = RegexCreate(text, FALSE, REGEX_UTF8, nullptr, 0);
    if (!matcher) return nullptr;
    CachedExpression* oldest = &gCache[0];
    for (CachedExpression& entry : gCache)
        if (entry.used < oldest->used) oldest = &entry;
    RegexFree(oldest->matcher);
    const size_t n = std::min<size_t>(wcslen(text), FILESPEC_PATTERN_UNITS - 1);
    std::memcpy(oldest->text, text, n * sizeof(WCHAR));
    oldest->text[n] = 0;
    oldest->matcher = matcher;
    oldest->used = ++gLookups;
    return matcher;
}

} // namespace

int FilespecCacheLookup(const FilespecItem* item, const WCHAR* name) {
    if (!gRegexSupport || !item) return 0;
    // Room for a name of 1024 units at four bytes each.
    char utf8[4 * 1025 + 1];
    const int nameUnits = int(std::min<size_t>(wcslen(name), 1024));
    const int bytes = nameUnits ? WideCharToMultiByte(CP_UTF8, 0, name, nameUnits, utf8,
                                                      int(sizeof utf8 - 1), nullptr, nullptr)
                                : 0;
    if (nameUnits && bytes <= 0) return 0;
    utf8[bytes] = 0;
    const std::lock_guard<std::mutex> hold(gCacheLock);
    RegexMatcher* matcher = Find(item->pattern);
    if (!matcher) return 0;
    size_t start = 0, length = 0;
    return RegexMatchString(matcher, utf8, size_t(bytes), 0, &start, &length) ? 1 : 0;
}

void FilespecCacheClear() {
    const std::lock_guard<std::mutex> hold(gCacheLock);
    for (CachedExpression& entry : gCache) {
        RegexFree(entry.matcher);
        entry = CachedExpression{};
    }
}
