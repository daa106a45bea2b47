// Tests of the wide-string runtime: the generated class table, the class and
// case functions, the string, number and narrow functions, the stops of the
// bounded copies, and differential runs of the number parsers against glibc.
#include <gtest/gtest.h>

#include "windows.h"
#include "unicode/wctype_table.h"

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace std::literals;

// Helpers of qwcrt_libc_probe.cpp, which calls glibc's own functions.
long long LibcWcstol(const char* text, int base, size_t* endOffset, int* error);
unsigned long long LibcWcstoul(const char* text, int base, size_t* endOffset, int* error);
long long LibcStrtol(const char* text, int base, size_t* endOffset, int* error);
int LibcTowupper(int c);
int LibcTowlower(int c);

namespace {

// Readable form of a 16-bit string for failure messages: ASCII as itself,
// everything else as \uXXXX.
std::string Show(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out.push_back("0123456789ABCDEF"[(c >> shift) & 0xF]);
        }
    }
    return out;
}

// The seed of the randomised tests: QUILB_TEST_SEED when set, so that a
// failure can be replayed, otherwise a fresh one.
uint64_t TestSeed() {
    if (const char* env = getenv("QUILB_TEST_SEED")) return strtoull(env, nullptr, 0);
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) | device();
}

// ---- the generated class table -----------------------------------------------

TEST(WctypeTable, Latin1RangesHaveTheirFixedMasks) {
    struct Row {
        const char* what;
        std::vector<std::pair<int, int>> ranges;
        WORD mask;
    };
    const Row rows[] = {
        {"controls", {{0x00, 0x08}, {0x0E, 0x1F}, {0x7F, 0x84}, {0x86, 0x9F}}, 0x020},
        {"space controls (tab is not blank)", {{0x09, 0x0D}, {0x85, 0x85}}, 0x028},
        {"space", {{0x20, 0x20}}, 0x048},
        {"punctuation and symbols",
         {{0x21, 0x2F},
          {0x3A, 0x40},
          {0x5B, 0x60},
          {0x7B, 0x7E},
          {0xA1, 0xA9},
          {0xAB, 0xAC},
          {0xAE, 0xB1},
          {0xB4, 0xB4},
          {0xB6, 0xB8},
          {0xBB, 0xBF},
          {0xD7, 0xD7},
          {0xF7, 0xF7}},
         0x010},
        {"ASCII digits", {{0x30, 0x39}}, 0x084},
        {"upper-case hex letters", {{0x41, 0x46}}, 0x181},
        {"other upper-case letters", {{0x47, 0x5A}, {0xC0, 0xD6}, {0xD8, 0xDE}}, 0x101},
        {"lower-case hex letters", {{0x61, 0x66}}, 0x182},
        {"other lower-case letters", {{0x67, 0x7A}, {0xDF, 0xF6}, {0xF8, 0xFF}}, 0x102},
        {"no-break space is space but not blank", {{0xA0, 0xA0}}, 0x008},
        {"ordinal indicators and micro", {{0xAA, 0xAA}, {0xB5, 0xB5}, {0xBA, 0xBA}}, 0x112},
        {"soft hyphen", {{0xAD, 0xAD}}, 0x030},
        {"superscript digits", {{0xB2, 0xB3}, {0xB9, 0xB9}}, 0x014},
    };
    int covered[256] = {};
    for (const Row& row : rows) {
        for (auto [first, last] : row.ranges) {
            for (int c = first; c <= last; c++) {
                covered[c]++;
                EXPECT_EQ(WideClassMask(c), row.mask) << row.what << ": U+" << std::hex << c;
            }
        }
    }
    // The rows above are the whole range, each code point once.
    for (int c = 0; c < 256; c++)
        EXPECT_EQ(covered[c], 1) << "U+" << std::hex << c;
}

TEST(WctypeTable, IdenticalPagesAreStoredOnce) {
    for (int a = 0; a < WCTYPE_PAGE_COUNT; a++) {
        for (int b = a + 1; b < WCTYPE_PAGE_COUNT; b++)
            EXPECT_NE(memcmp(gWctypePages[a], gWctypePages[b], sizeof gWctypePages[a]), 0)
                << "pages " << a << " and " << b;
    }
    int users[WCTYPE_PAGE_COUNT] = {};
    for (int hi = 0; hi < 256; hi++) {
        ASSERT_LT(gWctypeIndex[hi], WCTYPE_PAGE_COUNT);
        users[gWctypeIndex[hi]]++;
    }
    for (int page = 0; page < WCTYPE_PAGE_COUNT; page++)
        EXPECT_GT(users[page], 0) << "page " << page << " is never used";

    // The large blocks share one page each: ideographs and syllables (0x300)
    // and surrogates, private use and some symbol blocks (0x200).
    auto uniform = [](int page, WORD mask) {
        return std::all_of(std::begin(gWctypePages[page]), std::end(gWctypePages[page]),
                           [mask](WORD m) { return m == mask; });
    };
    const int letters = gWctypeIndex[0x4E];
    const int symbols = gWctypeIndex[0xD8];
    EXPECT_TRUE(uniform(letters, 0x300));
    EXPECT_TRUE(uniform(symbols, 0x200));
    EXPECT_EQ(users[letters], 157);
    EXPECT_EQ(users[symbols], 38);
    EXPECT_EQ(gWctypeIndex[0xAC], letters);
    EXPECT_EQ(gWctypeIndex[0xE0], symbols);
}

TEST(WctypeTable, MasksAboveLatin1FollowTheGeneralCategory) {
    struct Row {
        const char* what;
        int c;
        WORD mask;
    };
    const Row rows[] = {
        {"Lu", 0x0100, 0x301},
        {"Lu added in Unicode 5.1", 0x0370, 0x301},
        {"Ll", 0x0101, 0x302},
        {"Lt is upper and lower", 0x01C5, 0x303},
        {"Lm", 0x02B0, 0x300},
        {"Lo", 0x05D0, 0x300},
        {"Lo, CJK ideograph", 0x4E00, 0x300},
        {"Lo, last Hangul syllable", 0xD7A3, 0x300},
        {"Nl", 0x2160, 0x300},
        {"Nd is no hex digit", 0x0660, 0x204},
        {"Pc", 0x203F, 0x210},
        {"Pd", 0x2010, 0x210},
        {"Ps", 0x2045, 0x210},
        {"Pe", 0x2046, 0x210},
        {"Pi", 0x2018, 0x210},
        {"Pf", 0x2019, 0x210},
        {"Po", 0x055C, 0x210},
        {"Zs is not blank", 0x2000, 0x208},
        {"Zl", 0x2028, 0x208},
        {"Zp", 0x2029, 0x208},
        {"Cf", 0x200B, 0x220},
        {"Mn", 0x0300, 0x200},
        {"Mc", 0x0903, 0x200},
        {"Me", 0x20DD, 0x200},
        {"Sm", 0x2200, 0x200},
        {"Sc", 0x20AC, 0x200},
        {"Sk", 0x02C2, 0x200},
        {"So", 0x2100, 0x200},
        {"No", 0x2070, 0x200},
        {"Co", 0xF8FF, 0x200},
        {"Cs", 0xD800, 0x200},
        {"unassigned", 0x0378, 0},
        {"unassigned after the last Hangul syllable", 0xD7A4, 0},
        {"noncharacter", 0xFFFF, 0},
        {"assigned only after 5.1", 0x9FC4, 0},
        {"assigned only after 5.1", 0x20B9, 0},
        // Exceptions to the category rule.
        {"Thai mark MAI HAN-AKAT is a letter", 0x0E31, 0x300},
        {"Thai vowel marks are letters", 0x0E34, 0x300},
        {"Thai PHINTHU is a letter", 0x0E3A, 0x300},
        {"unassigned after PHINTHU stays 0", 0x0E3B, 0},
        {"Thai MAITAIKHU is a letter", 0x0E47, 0x300},
        {"Thai YAMAKKAN is a letter", 0x0E4E, 0x300},
        {"Thai FONGMAN keeps its category", 0x0E4F, 0x210},
        {"Lao marks keep their category", 0x0EB1, 0x200},
        {"ideographic space is blank", 0x3000, 0x248},
        {"byte-order mark is a blank control", 0xFEFF, 0x260},
        {"fullwidth zero is a hex digit", 0xFF10, 0x284},
        {"fullwidth nine is a hex digit", 0xFF19, 0x284},
        {"fullwidth colon keeps its category", 0xFF1A, 0x210},
        {"fullwidth A is a hex digit", 0xFF21, 0x381},
        {"fullwidth F is a hex digit", 0xFF26, 0x381},
        {"fullwidth G is no hex digit", 0xFF27, 0x301},
        {"fullwidth a is a hex digit", 0xFF41, 0x382},
        {"fullwidth f is a hex digit", 0xFF46, 0x382},
        {"fullwidth g is no hex digit", 0xFF47, 0x302},
    };
    for (const Row& row : rows)
        EXPECT_EQ(WideClassMask(row.c), row.mask) << row.what << ": U+" << std::hex << row.c;
}

// ---- class and case functions -------------------------------------------------

TEST(WideClass, TestsReturnTheMaskedBits) {
    struct Row {
        const char* what;
        int (*test)(int);
        int c;
        int expected;
    };
    // iswctype with a fixed mask, for rows that test a single class bit.
    auto blank = [](int c) { return iswctype(c, 0x40); };
    auto any = [](int c) { return iswctype(c, 0xFFFF); };
    const Row rows[] = {
        {"iswalpha of A gives its bits, not 1", ::qposix::iswalpha, 'A', 0x101},
        {"iswalpha of z", ::qposix::iswalpha, 'z', 0x102},
        {"iswalpha of a digit", ::qposix::iswalpha, '7', 0},
        {"iswalnum of a digit", ::qposix::iswalnum, '5', 0x004},
        {"iswalnum of F", ::qposix::iswalnum, 'F', 0x101},
        {"iswdigit of superscript two", ::qposix::iswdigit, 0xB2, 0x004},
        {"iswdigit of an Arabic-Indic digit", ::qposix::iswdigit, 0x0663, 0x004},
        {"iswxdigit of f", ::qposix::iswxdigit, 'f', 0x080},
        {"iswxdigit of g", ::qposix::iswxdigit, 'g', 0},
        {"iswxdigit of an Arabic-Indic digit", ::qposix::iswxdigit, 0x0663, 0},
        {"iswspace of no-break space", ::qposix::iswspace, 0xA0, 0x008},
        {"no-break space is not blank", blank, 0xA0, 0},
        {"space is blank", blank, ' ', 0x040},
        {"tab is not blank", blank, '\t', 0},
        {"iswalpha of feminine ordinal", ::qposix::iswalpha, 0xAA, 0x102},
        {"iswalpha of micro sign", ::qposix::iswalpha, 0xB5, 0x102},
        {"iswpunct of feminine ordinal", ::qposix::iswpunct, 0xAA, 0x010},
        {"iswupper of a title-case letter", ::qposix::iswupper, 0x01C5, 0x001},
        {"iswlower of a title-case letter", ::qposix::iswlower, 0x01C5, 0x002},
        {"iswlower of E acute", ::qposix::iswlower, 0xE9, 0x002},
        {"iswcntrl of soft hyphen", ::qposix::iswcntrl, 0xAD, 0x020},
        {"iswcntrl of byte-order mark", ::qposix::iswcntrl, 0xFEFF, 0x020},
        {"iswprint of space", ::qposix::iswprint, ' ', 0x040},
        {"iswprint of tab", ::qposix::iswprint, '\t', 0},
        {"iswprint of an ideograph", ::qposix::iswprint, 0x4E00, 0x100},
        {"iswprint of a combining mark", ::qposix::iswprint, 0x0300, 0},
        {"iswgraph of space", ::qposix::iswgraph, ' ', 0},
        {"iswgraph of !", ::qposix::iswgraph, '!', 0x010},
        {"iswspace of ideographic space", ::qposix::iswspace, 0x3000, 0x008},
        {"above the BMP is in no class", any, 0x10000, 0},
        {"above the BMP is in no class", ::qposix::iswalpha, 0x10041, 0},
        {"negative values are in no class", any, -1, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.test(row.c), row.expected) << row.what << ": 0x" << std::hex << row.c;
}

TEST(WideCase, FoldsAsciiLettersOnly) {
    struct Row {
        const char* what;
        int c;
        int upper;
        int lower;
    };
    const Row rows[] = {
        {"a and A", 'a', 'A', 'a'},
        {"z", 'z', 'Z', 'z'},
        {"Z", 'Z', 'Z', 'z'},
        {"characters beside the letters", '@', '@', '@'},
        {"characters beside the letters", '[', '[', '['},
        {"characters beside the letters", '`', '`', '`'},
        {"characters beside the letters", '{', '{', '{'},
        {"e acute is unchanged", 0xE9, 0xE9, 0xE9},
        {"E acute is unchanged", 0xC9, 0xC9, 0xC9},
        {"fullwidth a is unchanged", 0xFF41, 0xFF41, 0xFF41},
        {"a above the BMP is unchanged", 0x10061, 0x10061, 0x10061},
        {"negative values are unchanged", -1, -1, -1},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(towupper(row.c), row.upper) << row.what;
        EXPECT_EQ(towlower(row.c), row.lower) << row.what;
    }
}

// Program code reaches the runtime's case mapping even with a DWORD argument
// (which would otherwise pick libc's wint_t function) and even under a UTF-8
// locale, in which glibc's own function maps e acute.
TEST(WideCase, ProgramCodeIgnoresTheLocaleThatGlibcFollows) {
    std::string saved = ::setlocale(LC_ALL, nullptr);
    ASSERT_NE(::setlocale(LC_ALL, "C.UTF-8"), nullptr) << "the C.UTF-8 locale is missing";
    const DWORD eAcute = 0xE9, capitalEAcute = 0xC9;
    const int ours = towupper(0xE9);
    const int oursDword = towupper(eAcute);
    const int oursLower = towlower(capitalEAcute);
    const int glibcUpper = LibcTowupper(0xE9);
    const int glibcLower = LibcTowlower(0xC9);
    ::setlocale(LC_ALL, saved.c_str());

    EXPECT_EQ(ours, 0xE9);
    EXPECT_EQ(oursDword, 0xE9);
    EXPECT_EQ(oursLower, 0xC9);
    EXPECT_EQ(glibcUpper, 0xC9);
    EXPECT_EQ(glibcLower, 0xE9);
}

TEST(WideDigitValue, AsciiAndTheSeventeenDecimalBlocks) {
    const int zeroes[] = {0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66, 0x0CE6,
                          0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10};
    for (int zero : zeroes) {
        for (int d = 0; d < 10; d++)
            EXPECT_EQ(WideDigitValue(zero + d), d) << "U+" << std::hex << zero + d;
        EXPECT_EQ(WideDigitValue(zero - 1), -1) << "before U+" << std::hex << zero;
        EXPECT_EQ(WideDigitValue(zero + 10), -1) << "after U+" << std::hex << zero;
    }
    struct Row {
        const char* what;
        int c;
        int value;
    };
    const Row rows[] = {
        {"0", '0', 0},
        {"9", '9', 9},
        {"a", 'a', 10},
        {"z", 'z', 35},
        {"A", 'A', 10},
        {"Z", 'Z', 35},
        {"before 0", '/', -1},
        {"after 9", ':', -1},
        {"before A", '@', -1},
        {"after Z", '[', -1},
        {"before a", '`', -1},
        {"after z", '{', -1},
        {"DEL", 0x7F, -1},
        {"superscript two has no value", 0xB2, -1},
        {"fullwidth A is no digit", 0xFF21, -1},
        {"above the BMP", 0x10030, -1},
        {"negative", -1, -1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(WideDigitValue(row.c), row.value) << row.what;
}

// ---- comparison ---------------------------------------------------------------

TEST(WideCompare, ResultConventions) {
    struct Row {
        const char* what;
        int (*compare)(std::u16string_view, std::u16string_view, size_t);
        std::u16string_view s, t;
        size_t n;
        int expected;
    };
    auto cmp = [](std::u16string_view s, std::u16string_view t, size_t) {
        return wcscmp(s.data(), t.data());
    };
    auto ncmp = [](std::u16string_view s, std::u16string_view t, size_t n) {
        return wcsncmp(s.data(), t.data(), n);
    };
    auto icmp = [](std::u16string_view s, std::u16string_view t, size_t) {
        return _wcsicmp(s.data(), t.data());
    };
    auto nicmp = [](std::u16string_view s, std::u16string_view t, size_t n) {
        return _wcsnicmp(s.data(), t.data(), n);
    };
    auto mem = [](std::u16string_view s, std::u16string_view t, size_t n) {
        return wmemcmp(s.data(), t.data(), n);
    };
    const Row rows[] = {
        {"wcscmp z against a gives 1", cmp, u"z", u"a", 0, 1},
        {"wcscmp a against z gives -1", cmp, u"a", u"z", 0, -1},
        {"wcscmp equal", cmp, u"abc", u"abc", 0, 0},
        {"wcscmp prefix is smaller", cmp, u"ab", u"abc", 0, -1},
        {"wcscmp is unsigned", cmp, u"\u8000", u"a", 0, 1},
        {"wcsncmp z against a with n 1 gives the difference", ncmp, u"z", u"a", 1, 25},
        {"wcsncmp n 0", ncmp, u"z", u"a", 0, 0},
        {"wcsncmp equal within n", ncmp, u"abc", u"abd", 2, 0},
        {"wcsncmp differs at n-1", ncmp, u"abc", u"abd", 3, -1},
        {"wcsncmp stops at the terminator", ncmp, u"ab", u"abc", 5, -'c'},
        {"wcsncmp equal strings shorter than n", ncmp, u"ab", u"ab", 9, 0},
        {"wcsncmp is unsigned", ncmp, u"\uFFFF", u"a", 1, 0xFFFF - 'a'},
        {"_wcsicmp folds ASCII", icmp, u"HeLLo", u"hEllO", 0, 0},
        {"_wcsicmp difference of folded units", icmp, u"ABC", u"abd", 0, -1},
        {"_wcsicmp folds to lower case", icmp, u"_", u"A", 0, '_' - 'a'},
        {"_wcsicmp does not fold A diaeresis", icmp, u"\u00C4", u"\u00E4", 0, 0xC4 - 0xE4},
        {"_wcsicmp shorter string", icmp, u"ab", u"ABc", 0, -'c'},
        {"_wcsnicmp equal within n", nicmp, u"abcX", u"ABCy", 3, 0},
        {"_wcsnicmp differs within n", nicmp, u"abcX", u"ABCz", 4, 'x' - 'z'},
        {"_wcsnicmp n 0", nicmp, u"a", u"b", 0, 0},
        {"_wcsnicmp stops at the terminator", nicmp, u"ab", u"AB", 10, 0},
        {"wmemcmp goes past zero units", mem, u"a\0b"sv, u"a\0c"sv, 3, -1},
        {"wmemcmp equal", mem, u"a\0b"sv, u"a\0b"sv, 3, 0},
        {"wmemcmp gives 1, not the difference", mem, u"z", u"a", 1, 1},
        {"wmemcmp is unsigned", mem, u"\uFFFF", u"\u0001", 1, 1},
        {"wmemcmp n 0", mem, u"a", u"b", 0, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.compare(row.s, row.t, row.n), row.expected) << row.what;
}

int Sign(int v) {
    return (v > 0) - (v < 0);
}

// The sign of every comparison agrees with an ordering by unsigned unit
// values, on strings that mix ASCII with units above 0x7FFF.
TEST(WideCompare, SignAgreesWithUnitOrderOnRandomStrings) {
    const uint64_t seed = TestSeed();
    SCOPED_TRACE("QUILB_TEST_SEED=" + std::to_string(seed));
    std::mt19937_64 rng(seed);
    const char16_t alphabet[] = {u'a', u'B', u'b', u'_', 0x00E4, 0x00C4, 0x8000, 0xFFFF};
    auto randomString = [&] {
        std::u16string s(rng() % 5, u' ');
        for (char16_t& c : s)
            c = alphabet[rng() % std::size(alphabet)];
        return s;
    };
    auto lowerAscii = [](std::u16string s) {
        for (char16_t& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
        return s;
    };
    for (int i = 0; i < 5000; i++) {
        std::u16string s = randomString(), t = randomString();
        size_t n = rng() % 6;
        SCOPED_TRACE(Show(s) + " | " + Show(t) + " | n=" + std::to_string(n));
        EXPECT_EQ(wcscmp(s.c_str(), t.c_str()), Sign(s.compare(t)));
        EXPECT_EQ(Sign(wcsncmp(s.c_str(), t.c_str(), n)),
                  Sign(s.substr(0, n).compare(t.substr(0, n))));
        EXPECT_EQ(Sign(_wcsicmp(s.c_str(), t.c_str())), Sign(lowerAscii(s).compare(lowerAscii(t))));
        EXPECT_EQ(Sign(_wcsnicmp(s.c_str(), t.c_str(), n)),
                  Sign(lowerAscii(s.substr(0, n)).compare(lowerAscii(t.substr(0, n)))));
        size_t common = std::min(s.size(), t.size());
        EXPECT_EQ(wmemcmp(s.c_str(), t.c_str(), common),
                  Sign(s.substr(0, common).compare(t.substr(0, common))));
    }
}

// ---- searching ----------------------------------------------------------------

TEST(WideSearch, FindsByUnitValue) {
    constexpr ptrdiff_t kNull = -1;
    struct Row {
        const char* what;
        ptrdiff_t (*find)(const WCHAR*, std::u16string_view, int);
        std::u16string_view s;
        std::u16string_view arg;
        int c;
        ptrdiff_t expected; // index into s, or kNull
    };
    auto chr = [](const WCHAR* s, std::u16string_view, int c) {
        const WCHAR* p = wcschr(s, c);
        return p ? p - s : kNull;
    };
    auto rchr = [](const WCHAR* s, std::u16string_view, int c) {
        const WCHAR* p = wcsrchr(s, c);
        return p ? p - s : kNull;
    };
    auto str = [](const WCHAR* s, std::u16string_view t, int) {
        const WCHAR* p = wcsstr(s, t.data());
        return p ? p - s : kNull;
    };
    auto pbrk = [](const WCHAR* s, std::u16string_view set, int) {
        const WCHAR* p = wcspbrk(s, set.data());
        return p ? p - s : kNull;
    };
    auto spn = [](const WCHAR* s, std::u16string_view set, int) {
        return static_cast<ptrdiff_t>(wcsspn(s, set.data()));
    };
    auto cspn = [](const WCHAR* s, std::u16string_view set, int) {
        return static_cast<ptrdiff_t>(wcscspn(s, set.data()));
    };
    const Row rows[] = {
        {"wcschr first", chr, u"abcabc", u"", 'b', 1},
        {"wcschr missing", chr, u"abc", u"", 'x', kNull},
        {"wcschr of 0 is the terminator", chr, u"abc", u"", 0, 3},
        {"wcschr above 0x7FFF", chr, u"a\uFFFFb", u"", 0xFFFF, 1},
        {"wcschr of a value no unit holds", chr, u"a\u0041b", u"", 0x10041, kNull},
        {"wcsrchr last", rchr, u"abcabc", u"", 'b', 4},
        {"wcsrchr missing", rchr, u"abc", u"", 'x', kNull},
        {"wcsrchr of 0 is the terminator", rchr, u"abc", u"", 0, 3},
        {"wcsstr first occurrence", str, u"abababc", u"abc", 0, 4},
        {"wcsstr overlapping start", str, u"aab", u"ab", 0, 1},
        {"wcsstr missing", str, u"abab", u"abc", 0, kNull},
        {"wcsstr longer than s", str, u"ab", u"abc", 0, kNull},
        {"wcsstr empty t gives s", str, u"abc", u"", 0, 0},
        {"wcsstr in empty s", str, u"", u"a", 0, kNull},
        {"wcspbrk first of set", pbrk, u"hello, world", u" ,", 0, 5},
        {"wcspbrk none", pbrk, u"hello", u"xyz", 0, kNull},
        {"wcspbrk empty set", pbrk, u"hello", u"", 0, kNull},
        {"wcsspn prefix", spn, u"aabac", u"ab", 0, 4},
        {"wcsspn whole", spn, u"abba", u"ab", 0, 4},
        {"wcsspn empty set", spn, u"abc", u"", 0, 0},
        {"wcscspn prefix", cspn, u"abc,d", u",;", 0, 3},
        {"wcscspn empty set is the whole length", cspn, u"abc", u"", 0, 3},
        {"wcscspn first unit in set", cspn, u";abc", u",;", 0, 0},
    };
    for (const Row& row : rows) {
        std::u16string s(row.s);
        EXPECT_EQ(row.find(s.c_str(), row.arg, row.c), row.expected) << row.what;
    }

    const std::u16string_view units = u"ab\0cb"sv;
    EXPECT_EQ(wmemchr(units.data(), 'c', units.size()), units.data() + 3) << "past a zero unit";
    EXPECT_EQ(wmemchr(units.data(), 0, units.size()), units.data() + 2);
    EXPECT_EQ(wmemchr(units.data(), 'c', 3), nullptr) << "only n units";
    EXPECT_EQ(wmemchr(units.data(), 'a', 0), nullptr);
}

// ---- copying and editing --------------------------------------------------------

// A buffer of 16 units filled with a canary, to see what a call wrote.
struct Buffer {
    static constexpr WCHAR kCanary = 0xCCCC;
    WCHAR units[16];
    Buffer() { std::fill(std::begin(units), std::end(units), kCanary); }
    explicit Buffer(std::u16string_view text) : Buffer() {
        std::copy(text.begin(), text.end(), units);
        units[text.size()] = 0;
    }
    std::u16string_view View(size_t n) const { return {units, n}; }
};

TEST(WideCopy, CopyAndAppendRules) {
    {
        Buffer b;
        EXPECT_EQ(wcscpy(b.units, u"abc"), b.units);
        EXPECT_EQ(Show(b.View(5)), Show(u"abc\0\xCCCC"sv)) << "wcscpy copies the terminator";
    }
    {
        Buffer b;
        EXPECT_EQ(wcsncpy(b.units, u"ab", 5), b.units);
        EXPECT_EQ(Show(b.View(6)), Show(u"ab\0\0\0\xCCCC"sv)) << "wcsncpy pads n units with 0";
    }
    {
        Buffer b;
        wcsncpy(b.units, u"abcdef", 3);
        EXPECT_EQ(Show(b.View(4)), Show(u"abc\xCCCC"sv)) << "wcsncpy adds no terminator";
    }
    {
        Buffer b(u"ab");
        EXPECT_EQ(wcscat(b.units, u"cd"), b.units);
        EXPECT_EQ(Show(b.View(6)), Show(u"abcd\0\xCCCC"sv)) << "wcscat";
    }
    {
        Buffer b(u"ab");
        EXPECT_EQ(wcsncat(b.units, u"cdef", 2), b.units);
        EXPECT_EQ(Show(b.View(6)), Show(u"abcd\0\xCCCC"sv)) << "wcsncat always terminates";
    }
    {
        Buffer b(u"ab");
        wcsncat(b.units, u"c", 5);
        EXPECT_EQ(Show(b.View(5)), Show(u"abc\0\xCCCC"sv)) << "wcsncat of a short source";
    }
    {
        Buffer b;
        EXPECT_EQ(wmemset(b.units, 0x8001, 3), b.units);
        EXPECT_EQ(Show(b.View(4)), Show(u"\x8001\x8001\x8001\xCCCC"sv)) << "wmemset";
    }
    {
        Buffer b;
        EXPECT_EQ(wmemcpy(b.units, u"a\0b"sv.data(), 3), b.units);
        EXPECT_EQ(Show(b.View(4)), Show(u"a\0b\xCCCC"sv)) << "wmemcpy copies n units";
    }
    {
        Buffer b(u"abcdef");
        EXPECT_EQ(wmemmove(b.units + 2, b.units, 4), b.units + 2);
        EXPECT_EQ(Show(b.View(6)), Show(u"ababcd"sv)) << "wmemmove forwards overlap";
        wmemmove(b.units, b.units + 2, 4);
        EXPECT_EQ(Show(b.View(6)), Show(u"abcdcd"sv)) << "wmemmove backwards overlap";
    }
}

TEST(WideCopy, InPlaceEditsAndDuplicates) {
    struct Row {
        const char* what;
        WCHAR* (*edit)(WCHAR*);
        std::u16string_view in, out;
    };
    const Row rows[] = {
        {"_wcsupr folds ASCII only", _wcsupr, u"abz\u00E9AZ[`{", u"ABZ\u00E9AZ[`{"},
        {"_wcslwr folds ASCII only", _wcslwr, u"ABZ\u00C9az@[", u"abz\u00C9az@["},
        {"_wcsrev odd length", _wcsrev, u"abc", u"cba"},
        {"_wcsrev even length", _wcsrev, u"ab\xD83D\xDE00",
         u"\xDE00\xD83D"
         u"ba"},
        {"_wcsrev one unit", _wcsrev, u"a", u"a"},
        {"_wcsrev empty", _wcsrev, u"", u""},
    };
    for (const Row& row : rows) {
        Buffer b(row.in);
        EXPECT_EQ(row.edit(b.units), b.units) << row.what;
        EXPECT_EQ(Show(b.View(row.out.size() + 2)), Show(std::u16string(row.out) + u"\0\xCCCC"s))
            << row.what;
    }

    const std::u16string source = u"copy \u00E9\uFFFF";
    WCHAR* copy = _wcsdup(source.c_str());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, source.c_str());
    EXPECT_EQ(Show(std::u16string_view(copy, source.size() + 1)),
              Show(std::u16string_view(source.c_str(), source.size() + 1)));
    free(copy);
}

// wcsncpy and wcsncat write exactly their units, on random lengths.
TEST(WideCopy, BoundedCopiesWriteExactlyTheirUnits) {
    const uint64_t seed = TestSeed();
    SCOPED_TRACE("QUILB_TEST_SEED=" + std::to_string(seed));
    std::mt19937_64 rng(seed);
    for (int i = 0; i < 2000; i++) {
        std::u16string src(rng() % 9, u'x');
        for (char16_t& c : src)
            c = static_cast<char16_t>('a' + rng() % 26);
        const size_t n = rng() % 10;
        SCOPED_TRACE("src=" + Show(src) + " n=" + std::to_string(n));

        Buffer copy;
        wcsncpy(copy.units, src.c_str(), n);
        for (size_t k = 0; k < std::size(copy.units); k++) {
            WCHAR expected = k >= n ? Buffer::kCanary : k < src.size() ? src[k] : 0;
            ASSERT_EQ(copy.units[k], expected) << "wcsncpy unit " << k;
        }

        const std::u16string head(rng() % 5, u'h');
        Buffer cat(head);
        wcsncat(cat.units, src.c_str(), n);
        std::u16string expected = head + src.substr(0, n);
        EXPECT_EQ(Show(cat.View(expected.size() + 2)), Show(expected + u"\0\xCCCC"s))
            << "wcsncat onto " << Show(head);

        Buffer rev(src);
        _wcsrev(rev.units);
        std::u16string reversed(src.rbegin(), src.rend());
        EXPECT_EQ(Show(rev.View(src.size())), Show(reversed)) << "_wcsrev";
        _wcsrev(rev.units);
        EXPECT_EQ(Show(rev.View(src.size() + 2)), Show(src + u"\0\xCCCC"s)) << "_wcsrev twice";
    }
}

// ---- the tokeniser ---------------------------------------------------------------

std::vector<std::u16string> Tokens(std::u16string text, const WCHAR* delim) {
    std::vector<std::u16string> tokens;
    WCHAR* context = nullptr;
    for (WCHAR* t = wcstok(text.data(), delim, &context); t != nullptr;
         t = wcstok(nullptr, delim, &context))
        tokens.emplace_back(t);
    return tokens;
}

TEST(WideTokens, SplitsAtRunsOfDelimiters) {
    struct Row {
        const char* what;
        std::u16string_view text;
        const WCHAR* delim;
        std::vector<std::u16string> tokens;
    };
    const Row rows[] = {
        {"runs of commas around tokens", u",,a,,b", u",", {u"a", u"b"}},
        {"trailing delimiters", u"a,b,,", u",", {u"a", u"b"}},
        {"several delimiters", u"a;b, c", u",; ", {u"a", u"b", u"c"}},
        {"only delimiters", u",,,", u",", {}},
        {"empty text", u"", u",", {}},
        {"empty delimiter set returns the whole rest", u"a,b", u"", {u"a,b"}},
        {"delimiter above 0x7FFF", u"a\uFFFFb", u"\uFFFF", {u"a", u"b"}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> got, expected;
        for (auto& t : Tokens(std::u16string(row.text), row.delim))
            got.push_back(Show(t));
        for (auto& t : row.tokens)
            expected.push_back(Show(t));
        EXPECT_EQ(got, expected) << row.what;
    }
}

TEST(WideTokens, OverwritesOneDelimiterAndKeepsItsPlace) {
    std::u16string text = u",,a,,b";
    WCHAR* context = nullptr;
    WCHAR* first = wcstok(text.data(), u",", &context);
    ASSERT_EQ(first, text.data() + 2);
    EXPECT_EQ(text[3], 0) << "the delimiter after the token is overwritten";
    EXPECT_EQ(text[4], u',') << "only one delimiter is overwritten";
    EXPECT_EQ(context, text.data() + 4);
    EXPECT_EQ(wcstok(nullptr, u",", &context), text.data() + 5);
    EXPECT_EQ(context, text.data() + 6) << "a last token saves the end";
    EXPECT_EQ(wcstok(nullptr, u",", &context), nullptr);
    EXPECT_EQ(context, text.data() + 6);
    EXPECT_EQ(wcstok(nullptr, u",", &context), nullptr) << "stays at the end";

    // The delimiter set may change between calls.
    std::u16string mixed = u"a,b;c";
    context = nullptr;
    EXPECT_EQ(wcstok(mixed.data(), u";", &context), mixed.data());
    EXPECT_EQ(Show(mixed.data()), "a,b");
    EXPECT_EQ(wcstok(nullptr, u",", &context), mixed.data() + 4);
}

TEST(WideTokens, AgreesWithASplitOnRandomTexts) {
    const uint64_t seed = TestSeed();
    SCOPED_TRACE("QUILB_TEST_SEED=" + std::to_string(seed));
    std::mt19937_64 rng(seed);
    const char16_t alphabet[] = {u'a', u'b', u',', u';'};
    for (int i = 0; i < 2000; i++) {
        std::u16string text(rng() % 13, u' ');
        for (char16_t& c : text)
            c = alphabet[rng() % std::size(alphabet)];
        std::vector<std::string> expected, got;
        std::u16string run;
        for (char16_t c : text + u",") {
            if (c == u',' || c == u';') {
                if (!run.empty()) expected.push_back(Show(run));
                run.clear();
            } else {
                run.push_back(c);
            }
        }
        for (auto& t : Tokens(text, u",;"))
            got.push_back(Show(t));
        EXPECT_EQ(got, expected) << Show(text);
    }
}

// ---- bounded copies ---------------------------------------------------------------

TEST(WideSecureCopy, CopiesThatSucceedOrTruncate) {
    struct Row {
        const char* what;
        size_t size;
        std::u16string_view src;
        bool terminated; // false: src has no terminator (count stops the read)
        bool nullSrc;
        size_t count;
        errno_t result;
        std::u16string_view dest;
    };
    const size_t T = _TRUNCATE;
    const Row rows[] = {
        {"truncate: 10 units into 4 leave 3", 4, u"0123456789", true, false, T, STRUNCATE, u"012"},
        {"truncate: source exactly fits", 4, u"abc", true, false, T, 0, u"abc"},
        {"truncate: source one too long", 4, u"abcd", true, false, T, STRUNCATE, u"abc"},
        {"truncate into one unit", 1, u"abc", true, false, T, STRUNCATE, u""},
        {"truncate reads no further than size", 4, u"abcd", false, false, T, STRUNCATE, u"abc"},
        {"count 0 stores an empty string", 4, u"abc", true, false, 0, 0, u""},
        {"count 0 with a null source", 4, u"", true, true, 0, 0, u""},
        {"count below the length", 4, u"abcdef", true, false, 2, 0, u"ab"},
        {"count above the length", 4, u"ab", true, false, 9, 0, u"ab"},
        {"count one below size", 4, u"abcdef", true, false, 3, 0, u"abc"},
        {"source unterminated within count", 8, u"ab", false, false, 2, 0, u"ab"},
    };
    for (const Row& row : rows) {
        // The source lives in its own exact-size allocation, so that a read
        // past the units that matter is caught by the address sanitizer.
        std::vector<WCHAR> src(row.src.begin(), row.src.end());
        if (row.terminated) src.push_back(0);
        Buffer b(u"zzzzzzzzzz");
        errno_t result =
            wcsncpy_s(b.units, row.size, row.nullSrc ? nullptr : src.data(), row.count);
        EXPECT_EQ(result, row.result) << row.what;
        EXPECT_EQ(Show(b.units), Show(row.dest)) << row.what;
        EXPECT_EQ(b.units[row.size], u'z') << row.what << ": wrote past size";
    }

    Buffer b(u"zzzzzzzz");
    EXPECT_EQ(wcscpy_s(b.units, 4, u"abc"), 0);
    EXPECT_EQ(Show(b.View(5)), Show(u"abc\0z"sv)) << "wcscpy_s fits";
}

// Reports in the dying child whether the destination was emptied before the
// stop: the handler runs when InvalidParameter aborts, after its message.
const WCHAR* gDestAtAbort;
void ReportDestAtAbort(int) {
    const char* text = gDestAtAbort[0] == 0 ? "dest: empty\n" : "dest: kept\n";
    ssize_t ignored = write(2, text, strlen(text));
    (void)ignored;
}

TEST(QwcrtDeathTest, InvalidParameterWritesTheNameAndAborts) {
    EXPECT_DEATH(InvalidParameter("SomeFunction"), "^qposix: invalid parameter to SomeFunction\n$");
}

TEST(QwcrtDeathTest, BoundedCopiesStopOnBadArguments) {
    struct Row {
        const char* what;
        void (*call)(WCHAR* dest);
        const char* message;
    };
    static const WCHAR kLong[] = u"0123456789";
    const Row rows[] = {
        {"wcscpy_s null dest", [](WCHAR*) { wcscpy_s(nullptr, 4, u"a"); },
         "^qposix: invalid parameter to wcscpy_s\ndest: kept\n$"},
        {"wcscpy_s size 0 writes nothing", [](WCHAR* d) { wcscpy_s(d, 0, u"a"); },
         "^qposix: invalid parameter to wcscpy_s\ndest: kept\n$"},
        {"wcscpy_s null source empties dest", [](WCHAR* d) { wcscpy_s(d, 4, nullptr); },
         "^qposix: invalid parameter to wcscpy_s\ndest: empty\n$"},
        {"wcscpy_s length equal to size", [](WCHAR* d) { wcscpy_s(d, 4, u"abcd"); },
         "^qposix: invalid parameter to wcscpy_s\ndest: empty\n$"},
        {"wcscpy_s length above size", [](WCHAR* d) { wcscpy_s(d, 4, kLong); },
         "^qposix: invalid parameter to wcscpy_s\ndest: empty\n$"},
        {"wcsncpy_s null dest", [](WCHAR*) { wcsncpy_s(nullptr, 4, u"a", 1); },
         "^qposix: invalid parameter to wcsncpy_s\ndest: kept\n$"},
        {"wcsncpy_s size 0 writes nothing", [](WCHAR* d) { wcsncpy_s(d, 0, u"a", _TRUNCATE); },
         "^qposix: invalid parameter to wcsncpy_s\ndest: kept\n$"},
        {"wcsncpy_s null source empties dest", [](WCHAR* d) { wcsncpy_s(d, 4, nullptr, 1); },
         "^qposix: invalid parameter to wcsncpy_s\ndest: empty\n$"},
        {"wcsncpy_s null source with truncate",
         [](WCHAR* d) { wcsncpy_s(d, 4, nullptr, _TRUNCATE); },
         "^qposix: invalid parameter to wcsncpy_s\ndest: empty\n$"},
        {"wcsncpy_s count-limited copy equal to size", [](WCHAR* d) { wcsncpy_s(d, 4, kLong, 4); },
         "^qposix: invalid parameter to wcsncpy_s\ndest: empty\n$"},
        {"wcsncpy_s whole source too long", [](WCHAR* d) { wcsncpy_s(d, 4, u"abcd", 9); },
         "^qposix: invalid parameter to wcsncpy_s\ndest: empty\n$"},
    };
    for (const Row& row : rows) {
        WCHAR dest[8] = u"keep";
        EXPECT_DEATH(
            {
                gDestAtAbort = dest;
                signal(SIGABRT, ReportDestAtAbort);
                row.call(dest);
            },
            row.message)
            << row.what;
    }
}

// ---- number conversion ---------------------------------------------------------------

struct ParseRow {
    const char* what;
    std::u16string_view text;
    int base;
    int64_t value;
    size_t end; // offset of the end pointer
    bool erange;
};

// Runs rows through parse, which returns the value and sets the end pointer.
template <typename Parse> void CheckParses(const ParseRow* rows, size_t count, Parse parse) {
    for (size_t i = 0; i < count; i++) {
        const ParseRow& row = rows[i];
        std::u16string text(row.text);
        WCHAR* end = nullptr;
        errno = 0;
        int64_t value = parse(text.c_str(), &end, row.base);
        int error = errno;
        EXPECT_EQ(value, row.value) << row.what << ": " << Show(text);
        EXPECT_EQ(end - text.c_str(), static_cast<ptrdiff_t>(row.end)) << row.what;
        EXPECT_EQ(error, row.erange ? ERANGE : 0) << row.what;
    }
}

TEST(WideNumbers, Wcstol) {
    const ParseRow rows[] = {
        {"base 0 reads 0x1A as hex", u"0x1A", 0, 26, 4, false},
        {"base 0 reads 017 as octal", u"017", 0, 15, 3, false},
        {"an Arabic-Indic three", u"\u0663", 0, 3, 1, false},
        {"base 16, 0x alone converts nothing", u"0x", 16, 0, 0, false},
        {"base 0, 0x alone converts nothing", u"  0x", 0, 0, 0, false},
        {"base 0, 0x without hex digit converts nothing", u"-0xg", 0, 0, 0, false},
        {"base 0 reads 08 as 0, ending after the 0", u"08", 0, 0, 1, false},
        {"no-break space is white space", u"\u00A012", 10, 12, 3, false},
        {"ideographic space is white space", u"\u30007", 10, 7, 2, false},
        {"tab, newline and space", u"\t\n 42", 10, 42, 5, false},
        {"fullwidth digits", u"\uFF11\uFF12", 10, 12, 2, false},
        {"fullwidth zero and x make a hex prefix", u"\uFF10x1f", 0, 31, 4, false},
        {"Arabic-Indic zero selects octal in base 0", u"\u066017", 0, 15, 3, false},
        {"Arabic-Indic zero and x make a hex prefix", u"\u0660X10", 16, 16, 4, false},
        {"digits of different scripts mix", u"1\u0662\u09E63", 10, 1203, 4, false},
        {"superscript two is no digit", u"\u00B2", 10, 0, 0, false},
        {"fullwidth A is no hex digit", u"\uFF21", 16, 0, 0, false},
        {"base 36 letters of both cases", u"zZ", 36, 35 * 36 + 35, 2, false},
        {"a digit not below the base stops", u"129", 2, 1, 1, false},
        {"base 1 converts nothing", u"1", 1, 0, 0, false},
        {"base 37 converts nothing", u"1", 37, 0, 0, false},
        {"a negative base converts nothing", u"1", -2, 0, 0, false},
        {"white space and sign alone", u"  -", 10, 0, 0, false},
        {"white space, sign and junk", u" +x", 10, 0, 0, false},
        {"two signs", u"+-1", 10, 0, 0, false},
        {"base 10 reads the 0 of 0x", u"0x1", 10, 0, 1, false},
        {"upper-case X prefix", u"0XfF", 16, 255, 4, false},
        {"hex prefix after a sign", u"-0x10", 0, -16, 5, false},
        {"largest value", u"2147483647", 10, 2147483647, 10, false},
        {"one above saturates", u"2147483648", 10, 2147483647, 10, true},
        {"smallest value", u"-2147483648", 10, -2147483648LL, 11, false},
        {"one below saturates", u"-2147483649", 10, -2147483648LL, 11, true},
        {"digits after the overflow are consumed", u"99999999999x", 10, 2147483647, 11, true},
        {"hex overflow", u"0x100000000", 0, 2147483647, 11, true},
    };
    CheckParses(rows, std::size(rows),
                [](const WCHAR* s, WCHAR** end, int base) { return wcstol(s, end, base); });
}

TEST(WideNumbers, Wcstoul) {
    const ParseRow rows[] = {
        {"-1 wraps without ERANGE", u"-1", 10, 0xFFFFFFFF, 2, false},
        {"4294967295 fits", u"4294967295", 10, 0xFFFFFFFF, 10, false},
        {"4294967296 saturates", u"4294967296", 10, 0xFFFFFFFF, 10, true},
        {"-4294967295 is the two's complement", u"-4294967295", 10, 1, 11, false},
        {"-4294967296 saturates to all ones", u"-4294967296", 10, 0xFFFFFFFF, 11, true},
        {"-2147483649 wraps", u"-2147483649", 10, 0x7FFFFFFF, 11, false},
        {"hex all ones", u"0xFFFFFFFF", 0, 0xFFFFFFFF, 10, false},
        {"0x alone converts nothing", u"0x", 0, 0, 0, false},
        {"base 1 converts nothing", u"7", 1, 0, 0, false},
    };
    CheckParses(rows, std::size(rows), [](const WCHAR* s, WCHAR** end, int base) {
        return int64_t{wcstoul(s, end, base)};
    });
}

TEST(WideNumbers, CoreSaturatesAtTheLimitOrOneBeyondForNegatives) {
    const ParseRow rows[] = {
        {"at the limit", u"100", 10, 100, 3, false},
        {"above the limit", u"101", 10, 100, 3, true},
        {"negative may reach limit + 1", u"-101", 10, -101, 4, false},
        {"negative beyond limit + 1", u"-102", 10, -101, 4, true},
        {"64-bit largest", u"9223372036854775807", 10, INT64_MAX, 19, false},
        {"64-bit above", u"9223372036854775808", 10, INT64_MAX, 19, true},
        {"64-bit smallest", u"-9223372036854775808", 10, INT64_MIN, 20, false},
        {"64-bit below", u"-9223372036854775809", 10, INT64_MIN, 20, true},
        {"64-bit far above in base 36", u"zzzzzzzzzzzzzzzzzzzz", 36, INT64_MAX, 20, true},
    };
    for (size_t i = 0; i < std::size(rows); i++) {
        uint64_t limit = i < 4 ? 100 : 0x7FFFFFFFFFFFFFFF;
        CheckParses(&rows[i], 1, [limit](const WCHAR* s, WCHAR** end, int base) {
            return wcstol_core(s, end, base, limit);
        });
    }
}

TEST(WideNumbers, DecimalShortcuts) {
    struct Row {
        const char* what;
        int64_t (*parse)(const WCHAR*);
        std::u16string_view text;
        int64_t value;
        bool erange;
    };
    auto wtoi = [](const WCHAR* s) -> int64_t { return _wtoi(s); };
    auto wtol = [](const WCHAR* s) -> int64_t { return _wtol(s); };
    auto wtoi64 = [](const WCHAR* s) -> int64_t { return _wtoi64(s); };
    const Row rows[] = {
        {"_wtoi blanks and -2147483649 saturate", wtoi, u"  -2147483649", INT32_MIN, true},
        {"_wtoi 99999999999 saturates", wtoi, u"99999999999", INT32_MAX, true},
        {"_wtoi is decimal, not octal", wtoi, u"010", 10, false},
        {"_wtoi reads no hex prefix", wtoi, u"0x10", 0, false},
        {"_wtoi stops at junk", wtoi, u"-12abc", -12, false},
        {"_wtol saturates at 32 bits", wtol, u"3000000000", INT32_MAX, true},
        {"_wtoi64 beyond 32 bits", wtoi64, u"3000000000", 3000000000LL, false},
        {"_wtoi64 saturates", wtoi64, u"-99999999999999999999", INT64_MIN, true},
    };
    for (const Row& row : rows) {
        errno = 0;
        EXPECT_EQ(row.parse(std::u16string(row.text).c_str()), row.value) << row.what;
        EXPECT_EQ(errno, row.erange ? ERANGE : 0) << row.what;
    }
}

TEST(NarrowNumbers, StrtolThroughTheWideParser) {
    struct Row {
        const char* what;
        std::string text;
        int base;
        int64_t value;
        size_t end;
        bool erange;
    };
    const std::string zeros94(94, '0');
    const Row rows[] = {
        {"white space and sign", "  \t-12abc", 10, -12, 6, false},
        {"nothing converted leaves the end at the argument", "   abc", 10, 0, 0, false},
        {"0x alone converts nothing", " 0x", 16, 0, 0, false},
        {"a byte from 127 up ends the number", "12\xB3", 10, 12, 2, false},
        {"a high byte is no white space",
         "\xA0"
         "5",
         10, 0, 0, false},
        {"vertical tab and form feed are white space", "\v\f7", 10, 7, 3, false},
        {"a number is cut after 95 characters", zeros94 + "12345", 10, 1, 95, false},
        {"the cut counts after white space", "   " + zeros94 + "12", 10, 1, 98, false},
        {"64-bit largest", "9223372036854775807", 10, INT64_MAX, 19, false},
        {"64-bit above", "9223372036854775808", 10, INT64_MAX, 19, true},
        {"64-bit smallest", "-9223372036854775808", 10, INT64_MIN, 20, false},
        {"hex prefix in base 0", "0x7fffffffffffffff", 0, INT64_MAX, 18, false},
        {"octal in base 0", "0777", 0, 511, 4, false},
        {"base 37 converts nothing", "12", 37, 0, 0, false},
    };
    for (const Row& row : rows) {
        for (auto parse : {+[](const char*s, char**e, int b) -> long { return strtol(s, e, b); },
                           +[](const char*s, char**e, int b) { return strtol_base(s, e, b); }}) {
            char* end = nullptr;
            errno = 0;
            EXPECT_EQ(parse(row.text.c_str(), &end, row.base), row.value) << row.what;
            EXPECT_EQ(errno, row.erange ? ERANGE : 0) << row.what;
            EXPECT_EQ(end - row.text.c_str(), static_cast<ptrdiff_t>(row.end)) << row.what;
        }
    }
    EXPECT_EQ(atol("  42z"), 42);
    EXPECT_EQ(atol("0x10"), 0) << "atol is decimal";
    EXPECT_EQ(atol("-9000000000"), -9000000000LL) << "atol is 64-bit";
}

// ---- differential runs against glibc -----------------------------------------------------

// A random ASCII number text: white space, a sign, perhaps a base prefix, and
// a body that is either random digits and letters (with some junk) or a value
// near one of the 32- and 64-bit bounds written in the base.
std::string RandomNumberText(std::mt19937_64& rng, int base) {
    std::string text;
    for (int i = static_cast<int>(rng() % 3); i > 0; i--)
        text.push_back(" \t\n\v\f\r"[rng() % 6]);
    switch (rng() % 4) {
    case 1:
        text.push_back('+');
        break;
    case 2:
        text.push_back('-');
        break;
    default:
        break;
    }
    int bodyBase = base == 0 ? 10 : base;
    switch (rng() % 8) {
    case 0:
        text += "0x";
        bodyBase = base == 0 ? 16 : base;
        break;
    case 1:
        text += "0X";
        bodyBase = base == 0 ? 16 : base;
        break;
    case 2:
        text += "0";
        bodyBase = base == 0 ? 8 : base;
        break;
    default:
        break;
    }
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (rng() % 3 == 0) {
        static const unsigned __int128 bounds[] = {
            0x7FFFFFFF,         0x80000000,         0xFFFFFFFF,        0x100000000,
            0x7FFFFFFFFFFFFFFF, 0x8000000000000000, 0xFFFFFFFFFFFFFFFF};
        unsigned __int128 value = bounds[rng() % std::size(bounds)];
        value = value + (rng() % 5) - 2;
        std::string body;
        do {
            char c = digits[static_cast<int>(value % bodyBase)];
            body.insert(body.begin(), rng() % 2 ? c : static_cast<char>(toupper(c)));
            value /= bodyBase;
        } while (value != 0);
        text += body;
    } else {
        static const char pool[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFXZ0000111";
        static const char junk[] = " +-x._";
        for (int i = static_cast<int>(rng() % 25); i > 0; i--)
            text.push_back(rng() % 16 == 0 ? junk[rng() % 6] : pool[rng() % (sizeof pool - 1)]);
    }
    if (rng() % 4 == 0) text.push_back("g z-9"[rng() % 5]);
    return text;
}

// glibc ends "0x" without a hexadecimal digit after the 0; this runtime
// converts nothing and leaves the end at the start of the text.
size_t ExpectedEnd(const std::string& text, int base, size_t libcEnd) {
    if ((base == 0 || base == 16) && libcEnd > 0 && text[libcEnd - 1] == '0' &&
        (text[libcEnd] == 'x' || text[libcEnd] == 'X')) {
        size_t start = text.find_first_not_of(" \t\n\v\f\r");
        if (start != std::string::npos && (text[start] == '+' || text[start] == '-')) start++;
        if (start == libcEnd - 1) return 0;
    }
    return libcEnd;
}

int RandomBase(std::mt19937_64& rng) {
    int base = static_cast<int>(rng() % 36); // 0..35, 1 stands for 36
    return base == 1 ? 36 : base;
}

TEST(Differential, WcstolAndWcstoulAgreeWithGlibc) {
    const uint64_t seed = TestSeed();
    SCOPED_TRACE("QUILB_TEST_SEED=" + std::to_string(seed));
    std::mt19937_64 rng(seed);
    for (int i = 0; i < 30000 && !::testing::Test::HasFailure(); i++) {
        const int base = RandomBase(rng);
        const std::string text = RandomNumberText(rng, base);
        // The sign counts only as the first unit after the white space.
        const size_t first = text.find_first_not_of(" \t\n\v\f\r");
        const bool negative = first != std::string::npos && text[first] == '-';
        std::u16string wide(text.begin(), text.end());
        SCOPED_TRACE("base " + std::to_string(base) + " text \"" + text + "\"");

        size_t libcEnd;
        int libcError;
        long long libc = LibcWcstol(text.c_str(), base, &libcEnd, &libcError);
        WCHAR* end = nullptr;
        errno = 0;
        LONG ours = wcstol(wide.c_str(), &end, base);
        int error = errno;
        if (libcError == ERANGE || libc > INT32_MAX || libc < INT32_MIN) {
            EXPECT_EQ(ours, libc > 0 ? INT32_MAX : INT32_MIN) << "wcstol saturation";
            EXPECT_EQ(error, ERANGE) << "wcstol saturation";
        } else {
            EXPECT_EQ(ours, libc) << "wcstol";
            EXPECT_EQ(error, 0) << "wcstol";
        }
        EXPECT_EQ(static_cast<size_t>(end - wide.c_str()), ExpectedEnd(text, base, libcEnd))
            << "wcstol end";

        unsigned long long libcU = LibcWcstoul(text.c_str(), base, &libcEnd, &libcError);
        errno = 0;
        ULONG oursU = wcstoul(wide.c_str(), &end, base);
        error = errno;
        unsigned long long magnitude = negative ? 0 - libcU : libcU;
        if (libcError == ERANGE || magnitude > 0xFFFFFFFF) {
            EXPECT_EQ(oursU, 0xFFFFFFFFu) << "wcstoul saturation";
            EXPECT_EQ(error, ERANGE) << "wcstoul saturation";
        } else {
            EXPECT_EQ(oursU, static_cast<ULONG>(libcU)) << "wcstoul";
            EXPECT_EQ(error, 0) << "wcstoul";
        }
        EXPECT_EQ(static_cast<size_t>(end - wide.c_str()), ExpectedEnd(text, base, libcEnd))
            << "wcstoul end";
    }
}

TEST(Differential, NarrowStrtolAgreesWithGlibc) {
    const uint64_t seed = TestSeed();
    SCOPED_TRACE("QUILB_TEST_SEED=" + std::to_string(seed));
    std::mt19937_64 rng(seed);
    for (int i = 0; i < 30000 && !::testing::Test::HasFailure(); i++) {
        const int base = RandomBase(rng);
        std::string text = RandomNumberText(rng, base);
        // Bytes above ASCII are neither digits nor white space for either.
        if (rng() % 8 == 0)
            text.insert(rng() % (text.size() + 1), 1, static_cast<char>(0x80 + rng() % 0x80));
        SCOPED_TRACE("base " + std::to_string(base) + " text \"" + text + "\"");

        size_t libcEnd;
        int libcError;
        long long libc = LibcStrtol(text.c_str(), base, &libcEnd, &libcError);
        char* end = nullptr;
        errno = 0;
        long ours = strtol(text.c_str(), &end, base);
        EXPECT_EQ(ours, libc);
        EXPECT_EQ(errno, libcError);
        EXPECT_EQ(static_cast<size_t>(end - text.c_str()), ExpectedEnd(text, base, libcEnd));
    }
}

// ---- narrow helpers --------------------------------------------------------------------------

TEST(NarrowStrings, FoldingComparisons) {
    struct Row {
        const char* what;
        int result;
        int expected;
    };
    const Row rows[] = {
        {"_stricmp equal after folding", _stricmp("HeLLo", "hEllO"), 0},
        {"_stricmp difference of folded bytes", _stricmp("ABC", "abd"), -1},
        {"_stricmp folds to lower case", _stricmp("_", "A"), '_' - 'a'},
        {"_stricmp bytes are unsigned and not folded", _stricmp("\xC4", "\xE4"), 0xC4 - 0xE4},
        {"_stricmp longer string", _stricmp("a", ""), 'a'},
        {"_strnicmp equal within n", _strnicmp("abcX", "ABCy", 3), 0},
        {"_strnicmp differs within n", _strnicmp("abcX", "ABCz", 4), 'x' - 'z'},
        {"_strnicmp n 0", _strnicmp("a", "b", 0), 0},
        {"_strnicmp stops at the terminator", _strnicmp("ab\0x", "AB\0y", 4), 0},
        {"_memicmp goes past zero bytes", _memicmp("A\0b", "a\0C", 3), 'b' - 'c'},
        {"_memicmp equal", _memicmp("A\0b", "a\0B", 3), 0},
        {"_memicmp n 0", _memicmp("a", "b", 0), 0},
        {"_memicmp bytes are unsigned", _memicmp("\xFF", "a", 1), 0xFF - 'a'},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.result, row.expected) << row.what;
}

TEST(NarrowStrings, InPlaceEdits) {
    struct Row {
        const char* what;
        char* (*edit)(char*);
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"_strupr ASCII only", _strupr, "abz\xE9@[`{", "ABZ\xE9@[`{"},
        {"_strlwr ASCII only", _strlwr, "ABZ\xC9@[`{", "abz\xC9@[`{"},
        {"_strrev odd", _strrev, "abc", "cba"},
        {"_strrev even", _strrev, "abcd", "dcba"},
        {"_strrev empty", _strrev, "", ""},
    };
    for (const Row& row : rows) {
        char buf[16];
        strcpy(buf, row.in);
        EXPECT_EQ(row.edit(buf), buf) << row.what;
        EXPECT_STREQ(buf, row.out) << row.what;
    }
}

TEST(NarrowStrings, Itoa) {
    struct Row {
        const char* what;
        int value;
        int radix;
        const char* text;
    };
    const Row rows[] = {
        {"zero", 0, 10, "0"},
        {"negative decimal", -123, 10, "-123"},
        {"smallest int in decimal", INT32_MIN, 10, "-2147483648"},
        {"largest int", INT32_MAX, 10, "2147483647"},
        {"negative hex is unsigned", -1, 16, "ffffffff"},
        {"negative binary is unsigned", -1, 2, "11111111111111111111111111111111"},
        {"negative octal is unsigned", -8, 8, "37777777770"},
        {"hex letters are lower case", 0xABCDEF, 16, "abcdef"},
        {"radix 36", 35, 36, "z"},
        {"radix 1 gives an empty string", 10, 1, ""},
        {"radix 37 gives an empty string", 10, 37, ""},
        {"negative radix gives an empty string", 10, -10, ""},
    };
    for (const Row& row : rows) {
        char buf[40];
        memset(buf, 'Q', sizeof buf);
        EXPECT_EQ(_itoa(row.value, buf, row.radix), buf) << row.what;
        EXPECT_STREQ(buf, row.text) << row.what;
    }
}

TEST(Latin1, Conversions) {
    {
        EXPECT_EQ(LatinToWide(nullptr, "h\xE9llo", 0), 5) << "null dest gives the length";
        Buffer b;
        EXPECT_EQ(LatinToWide(b.units, "h\xE9\xFF", 8), 3);
        EXPECT_EQ(Show(b.View(5)), Show(u"h\u00E9\u00FF\0\xCCCC"sv)) << "bytes keep their value";
        Buffer cut;
        EXPECT_EQ(LatinToWide(cut.units, "hello", 3), 3);
        EXPECT_EQ(Show(cut.View(4)), Show(u"hel\xCCCC"sv)) << "no terminator beyond n";
        Buffer fits;
        EXPECT_EQ(LatinToWide(fits.units, "ab", 3), 2);
        EXPECT_EQ(Show(fits.View(4)), Show(u"ab\0\xCCCC"sv)) << "terminator within n";
    }
    struct Row {
        const char* what;
        std::u16string_view src;
        bool nullDest;
        size_t n;
        intptr_t result;
        int error;
        std::string_view written; // bytes after the call, up to the first 'Q'
    };
    const Row rows[] = {
        {"null dest gives the length", u"h\u00E9", true, 0, 2, 0, ""},
        {"null dest with a unit above 255", u"a\u0100", true, 0, -1, EILSEQ, ""},
        {"U+0100 is refused", u"\u0100", false, 8, -1, EILSEQ, ""},
        {"bytes before the bad unit are written", u"ab\u0100c", false, 8, -1, EILSEQ, "ab"},
        {"terminated within n", u"a\u00FFc", false, 8, 3, 0,
         "a\xFF"
         "c\0"sv},
        {"cut at n", u"abc", false, 2, 2, 0, "ab"},
        {"a bad unit beyond n is not read", u"a\u0100", false, 1, 1, 0, "a"},
    };
    for (const Row& row : rows) {
        std::u16string src(row.src);
        char buf[16];
        memset(buf, 'Q', sizeof buf);
        errno = 0;
        EXPECT_EQ(WideToLatin(row.nullDest ? nullptr : buf, src.c_str(), row.n), row.result)
            << row.what;
        EXPECT_EQ(errno, row.error) << row.what;
        EXPECT_EQ(std::string_view(buf, std::string_view(buf, sizeof buf).find('Q')), row.written)
            << row.what;
    }
}

} // namespace
