// A program that starts the regular-expression binding from its own
// directory and prints what it got, one "name value" line each, then uses
// every operation; the tests place it where one or both libraries are
// missing.
#include "tree/regex.h"

#include <cstdio>

int main() {
    BOOL support = Pcre2Init();
    std::printf("support %d\n", static_cast<int>(support));
    std::printf("bound8 %d\n", gPcre2Api8.library ? 1 : 0);
    std::printf("bound16 %d\n", gPcre2Api16.library ? 1 : 0);
    char error[200] = "untouched";
    std::printf("validate %d\n", RegexValidate(u"a+", FALSE, REGEX_UTF8, error, sizeof error));
    RegexMatcher* m8 = RegexCreate(u"a+", FALSE, REGEX_UTF8, error, sizeof error);
    RegexMatcher* m16 = RegexCreate(u"a+", FALSE, REGEX_UTF16, error, sizeof error);
    std::printf("create %d\n", m8 && m16 ? 1 : 0);
    size_t start = 0, length = 0, overlap = 0, minimum = 0;
    std::printf("match %d\n", RegexMatchString(m8, "xaa", 3, 0, &start, &length));
    std::printf("search %d\n",
                RegexSearchBuffer(m8, "xaa", 3, 0, &start, &length, &overlap, &minimum));
    WCHAR out[16];
    std::printf("rename %d\n", RegexRename(m16, u"xaa", u"b", 0, out, 16, error, sizeof error));
    RegexFree(m8);
    RegexFree(m16);
    Pcre2Release();
    std::printf("done\n");
    return 0;
}
