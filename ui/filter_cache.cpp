// The compiled expressions of regular-expression filters, kept per text.
#include "ui/filter_cache.h"

#include "tree/filter.h"
#include "tree/regex.h"

#include <mutex>
#include <string>

namespace {

struct CachedExpression {
    // The whole text: two expressions that share a long beginning are
    // different expressions.
    std::u16string text;
    RegexMatcher* matcher;
};

std::mutex gCacheLock;
CachedExpression gCache[4];
size_t gLastReplaced = 3; // the first replacement takes slot 0
ULONGLONG gCompiles;

RegexMatcher* Find(const WCHAR* text) {
    for (CachedExpression& entry : gCache)
        if (entry.matcher && entry.text == text) return entry.matcher;
    gLastReplaced = (gLastReplaced + 1) % 4;
    CachedExpression& slot = gCache[gLastReplaced];
    RegexFree(slot.matcher);
    slot.matcher = nullptr;
    slot.text.clear();
    gCompiles++;
    RegexMatcher* matcher = RegexCreate(text, FALSE, REGEX_UTF8, nullptr, 0);
    if (!matcher) return nullptr;
    slot.text = text;
    slot.matcher = matcher;
    return matcher;
}

} // namespace

BOOL FilespecCacheLookup(const WCHAR* filespec, const WCHAR* name) {
    if (!gRegexSupport || !filespec || !name) return FALSE;
    // Names are matched in UTF-8 of at most 1040 bytes; a longer one matches
    // nothing.
    char utf8[1041];
    const int nameUnits = int(wcslen(name));
    const int bytes = nameUnits ? WideCharToMultiByte(CP_UTF8, 0, name, nameUnits, utf8,
                                                      int(sizeof utf8 - 1), nullptr, nullptr)
                                : 0;
    if (nameUnits && bytes <= 0) return FALSE;
    utf8[bytes] = 0;
    const std::lock_guard<std::mutex> hold(gCacheLock);
    RegexMatcher* matcher = Find(filespec);
    if (!matcher) return FALSE;
    size_t start = 0, length = 0;
    return RegexMatchString(matcher, utf8, size_t(bytes), 0, &start, &length) ? TRUE : FALSE;
}

int FilespecCacheLookup(const FilespecItem* item, const WCHAR* name) {
    return item && FilespecCacheLookup(item->pattern, name) ? 1 : 0;
}

void FilespecCacheClear() {
    const std::lock_guard<std::mutex> hold(gCacheLock);
    for (CachedExpression& entry : gCache) {
        RegexFree(entry.matcher);
        entry = CachedExpression{};
    }
    gLastReplaced = 3;
}

ULONGLONG FilespecCacheCompileCount() {
    const std::lock_guard<std::mutex> hold(gCacheLock);
    return gCompiles;
}
