// The never-log list: the reader of QNOLOG.INI (three encodings, the line
// rules that turn a line into path, name and "**" patterns) and the test of
// one directory path against the list.
#include "settings/nolog.h"

#include "menu/locator.h"
#include "qwcrt.h"
#include "settings/settings_files.h"
#include "settings/quit.h"
#include "stringapiset.h"
#include "tree/wildcard.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

NoLogList gNoLogList = {nullptr, 0, 0};

namespace {

constexpr const char* kModule = "Qnl";

void AddEntry(NoLogList* list, const std::u16string& pattern, DWORD deep, DWORD nameOnly,
              DWORD depth) {
    if (list->count < 0) return;
    if (list->count == list->capacity) {
        const LONG capacity = list->capacity ? list->capacity * 2 : 16;
        list->entries = static_cast<NoLogEntry*>(
            CHECKED_REALLOC(list->entries, size_t(capacity) * sizeof(NoLogEntry), kModule));
        list->capacity = capacity;
    }
    NoLogEntry& entry = list->entries[list->count++];
    entry.pattern = CHECKED_WCSDUP(pattern.c_str(), kModule);
    entry.deep = deep;
    entry.nameOnly = nameOnly;
    entry.depth = depth;
}

// Every "**" must open a "**\": a pattern where one does not is refused.
bool DoubleStarsWellFormed(const std::u16string& pattern) {
    for (size_t at = pattern.find(u"**"); at != pattern.npos; at = pattern.find(u"**", at + 2))
        if (at + 2 >= pattern.size() || pattern[at + 2] != u'\\') return false;
    return true;
}

// The lines of a decoded text, each handed over without its line end.
template <typename Unit, typename Each>
void SplitLines(const Unit* text, size_t size, Unit lineFeed, Each each) {
    size_t start = 0;
    while (start < size) {
        const Unit* end = std::find(text + start, text + size, lineFeed);
        const size_t length = size_t(end - (text + start));
        each(text + start, length);
        start += length + 1;
    }
}

} // namespace

void NoLogListAddLine(NoLogList* list, const WCHAR* line, size_t length) {
    if (list->count < 0) return;
    // The line ends at its first carriage return or line feed (or a null).
    size_t end = 0;
    while (end < length && line[end] != u'\r' && line[end] != u'\n' && line[end] != 0) end++;
    // A longer line is dropped whole: its tail is never taken for a line of
    // its own, which would be a pattern nobody wrote.
    if (end > NOLOG_LINE_UNITS) return;
    if (end == 0 || line[0] == u';') return;
    std::u16string pattern(line, end);
    while (!pattern.empty() && pattern.back() == u' ') pattern.pop_back();
    if (!pattern.empty() && pattern.back() == u'\\') pattern.pop_back();
    // Nothing left (a line of blanks or a lone backslash) names no directory.
    if (pattern.empty()) return;
    if (!DoubleStarsWellFormed(pattern)) return;

    if (pattern.find(u'\\') == pattern.npos) {
        AddEntry(list, pattern, 0, 1, 0);
        return;
    }
    if (pattern[0] == u'\\') {
        pattern.insert(0, u"*:");
    } else if (pattern[0] == u'*') {
        if (pattern.size() > 1 && pattern[1] == u':') {
            if (pattern.size() < 3 || pattern[2] != u'\\') return;
        } else {
            pattern.insert(0, u"*:\\");
        }
    }
    const size_t deepAt = pattern.find(u"**\\");
    if (deepAt != pattern.npos) {
        AddEntry(list, pattern, 1, 0, 0);
        // The same without its first "**\": a name right inside the directory
        // before it matches as well.
        std::u16string direct = pattern;
        direct.erase(deepAt, 3);
        AddEntry(list, direct, 1, 0, 0);
        return;
    }
    AddEntry(list, pattern, 0, 0, DWORD(std::count(pattern.begin(), pattern.end(), u'\\')));
}

void NoLogListParse(NoLogList* list, const BYTE* data, size_t size) {
    if (list->count < 0 || !data) return;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        // UTF-16LE; an odd last byte is no character.
        const size_t units = (size - 2) / 2;
        std::u16string text(units, 0);
        for (size_t i = 0; i < units; i++)
            text[i] = WCHAR(data[2 + 2 * i] | (data[3 + 2 * i] << 8));
        SplitLines(text.data(), text.size(), WCHAR(u'\n'),
                   [&](const WCHAR* line, size_t length) { NoLogListAddLine(list, line, length); });
        return;
    }
    UINT codePage = CP_OEMCP;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        codePage = CP_UTF8;
        data += 3;
        size -= 3;
    }
    const char* bytes = reinterpret_cast<const char*>(data);
    std::u16string wide;
    SplitLines(bytes, size, '\n', [&](const char* line, size_t length) {
        // A line's characters never outnumber its bytes; what cannot fit
        // the limit is not converted at all.
        const char* cut = std::find(line, line + length, '\r');
        const size_t bytesBeforeEnd = size_t(cut - line);
        if (bytesBeforeEnd == 0) return; // an empty line: a comment
        if (bytesBeforeEnd > size_t(INT_MAX)) return;
        const int n = int(bytesBeforeEnd);
        const int units = MultiByteToWideChar(codePage, 0, line, n, nullptr, 0);
        if (units <= 0) return;
        wide.assign(size_t(units), 0);
        MultiByteToWideChar(codePage, 0, line, n, wide.data(), units);
        NoLogListAddLine(list, wide.data(), wide.size());
    });
}

int NoLogListMatches(const NoLogList* list, DWORD level, const WCHAR* path) {
    if (!list || list->count <= 0 || !path) return 0;
    const WCHAR* lastSlash = wcsrchr(path, u'\\');
    const WCHAR* lastName = lastSlash ? lastSlash + 1 : path;
    for (LONG i = 0; i < list->count; i++) {
        const NoLogEntry& entry = list->entries[i];
        if (entry.nameOnly) {
            if (FnMatchFlags11(entry.pattern, lastName)) return 1;
        } else if (entry.deep) {
            if (FnMatchFlags27(entry.pattern, path)) return 1;
        } else if (entry.depth == 0 || entry.depth == level) {
            if (FnMatchFlags11(entry.pattern, path)) return 1;
        }
    }
    return 0;
}

void NoLogListFree(NoLogList* list) {
    for (LONG i = 0; i < list->count; i++) std::free(list->entries[i].pattern);
    std::free(list->entries);
    list->entries = nullptr;
    list->capacity = 0;
    if (list->count > 0) list->count = 0;
}

int LoadNoLogList() {
    if (gNoLogList.count < 0) return 0;
    NoLogListFree(&gNoLogList);
    const WCHAR* found = FindProgram(u"QNOLOG.INI");
    if (!found) return 0;
    const std::u16string path = found; // FindProgram's buffer is reused by the next call
    std::string bytes;
    if (!ReadSettingsText(path.c_str(), &bytes)) return 0;
    NoLogListParse(&gNoLogList, reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
    return int(gNoLogList.count);
}

int IsNoLogPath(DWORD level, const WCHAR* path) { return NoLogListMatches(&gNoLogList, level, path); }

void DisableNoLogList() {
    NoLogListFree(&gNoLogList);
    gNoLogList.count = -1;
}
