// libFuzzer target for the wildcard matcher: a pattern, a name and a flag
// set. Short inputs without sets must give the answer of the plain
// reference matcher; every input must end quickly (the run's per-input
// time-out catches a walk that grows with the number of stars).
//
// Input: byte 0 the flag set (bits 0-5) and the trailing-? setting (bit 6);
// byte 1 the pattern length; then the pattern and the name, one character
// per byte from a small alphabet (the low four bits choose it).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/settings.h"
#include "tests/tree/wildcard_reference.h"
#include "tree/wildcard.h"

namespace {

const char16_t kAlphabet[16] = {u'a', u'A', u'b', u'.', u'\\', u'/', u'*', u'?',
                                FNM_SET_OPEN, FNM_SET_CLOSE, u'!', u'-',
                                u'^', 0xE9, 0xC9, u'z'};

std::u16string Decode(const uint8_t* data, size_t size) {
    std::u16string text;
    for (size_t i = 0; i < size; i++) text += kAlphabet[data[i] & 15];
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    unsigned flags = data[0] & 63;
    bool exact = data[0] & 64;
    size_t patternLength = data[1];
    data += 2;
    size -= 2;
    if (patternLength > size) patternLength = size;
    std::u16string pattern = Decode(data, patternLength);
    std::u16string name = Decode(data + patternLength, size - patternLength);
    if (pattern.size() > 255 || name.size() > 1024) return 0;

    gSettings.bTrailingQExact = exact;
    gFnMatchFlags = flags;
    int got = FnMatchCore(pattern.c_str(), name.c_str());
    if (got != 0 && got != 1) abort();

    size_t stars = 0;
    bool sets = false;
    for (char16_t c : pattern) {
        stars += c == u'*';
        sets = sets || c == FNM_SET_OPEN;
    }
    if (!sets && stars <= 5 && name.size() <= 24) {
        bool want = qtest::WildcardReference(pattern, name, flags, exact).Matches();
        if (got != (want ? 1 : 0)) {
            fprintf(stderr, "wildcard_fuzz: matcher %d, reference %d\n", got, want ? 1 : 0);
            abort();
        }
    }

    // The file-name entry with the pattern as its name part.
    FnMatchPattern record{};
    pattern.copy(record.name, FNMATCH_PATTERN_UNITS - 1);
    record.extension[0] = u'*';
    int file = fnmatch(&record, name.c_str());
    if (file != 0 && file != 1) abort();
    return 0;
}
