// libFuzzer target for the never-log list reader: arbitrary bytes are read
// as a QNOLOG.INI image in whichever encoding their first bytes choose, and
// every entry made must keep the shape the matcher relies on; then a few
// directory paths (and the patterns themselves) are tested against the list.
//
// Input: the bytes of the file, nothing else, so that any QNOLOG.INI is a
// seed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "qwcrt.h"
#include "settings/nolog.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "nolog_fuzz: %s\n", what);
    abort();
}

void Require(bool holds, const char* what) {
    if (!holds) Fail(what);
}

size_t Count(const WCHAR* text, WCHAR unit) {
    size_t n = 0;
    for (; *text; text++) n += *text == unit;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NoLogList list{};
    NoLogListParse(&list, data, size);
    Require(list.count >= 0 && list.count <= list.capacity, "count outside the array");
    for (LONG i = 0; i < list.count; i++) {
        const NoLogEntry& e = list.entries[i];
        Require(e.pattern && e.pattern[0], "an entry without a pattern");
        const size_t length = wcslen(e.pattern);
        // The longest line plus the "*:\" put in front of it.
        Require(length <= NOLOG_LINE_UNITS + 3, "a pattern longer than a line");
        Require(e.pattern[0] != u';', "a comment became a pattern");
        for (const WCHAR* p = e.pattern; *p; p++)
            Require(*p != u'\r' && *p != u'\n', "a line end inside a pattern");
        if (e.nameOnly) Require(!Count(e.pattern, u'\\') && !e.deep, "a name entry with a path");
        else if (!e.deep) Require(e.depth == Count(e.pattern, u'\\'), "depth is not the backslash count");
        IsNoLogPath(0, e.pattern); // the global list is empty: never a match
        NoLogListMatches(&list, DWORD(Count(e.pattern, u'\\')), e.pattern);
    }
    static const WCHAR* const kPaths[] = {u"C:\\", u"C:\\Windows", u"D:\\src\\a\\obj",
                                          u"E:\\x\\y\\z\\node_modules"};
    for (const WCHAR* path : kPaths) {
        const int got = NoLogListMatches(&list, DWORD(Count(path, u'\\')), path);
        Require(got == 0 || got == 1, "a match answer other than 0 or 1");
    }
    NoLogListFree(&list);
    Require(list.count == 0 && !list.entries, "the list was not emptied");
    return 0;
}
