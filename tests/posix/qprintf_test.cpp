// Tests of the formatter: the conversion rules with Windows conventions, the
// capacity, terminator and result rule of every printf-style function, and a
// seeded comparison with glibc where the two sets of rules coincide.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "windows.h"

// glibc's own snprintf (qprintf_libc_probe.cpp).
int LibcProbeInt32(char* buf, size_t size, const char* fmt, int value);
int LibcProbeInt64(char* buf, size_t size, const char* fmt, long long value);
int LibcProbeDouble(char* buf, size_t size, const char* fmt, double value);

using namespace std::string_literals;

namespace {

// ---- helpers ------------------------------------------------------------------------

// Formats with qposix::vsnprintf into a buffer prefilled with '#', so a
// result that disagrees with the stored text shows up in the string.
std::string N(const char* fmt, ...) {
    char buf[2048];
    std::memset(buf, '#', sizeof buf);
    va_list args;
    va_start(args, fmt);
    int r = vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    EXPECT_GE(r, 0) << fmt;
    if (r < 0 || r >= static_cast<int>(sizeof buf))
        return std::string(buf);
    EXPECT_EQ(buf[r], '\0') << fmt;
    return std::string(buf, static_cast<size_t>(r));
}

// The same through _vsnwprintf.
std::u16string W(const WCHAR* fmt, ...) {
    WCHAR buf[2048];
    std::fill(std::begin(buf), std::end(buf), u'#');
    va_list args;
    va_start(args, fmt);
    int r = _vsnwprintf(buf, 2048, fmt, args);
    va_end(args);
    EXPECT_GE(r, 0);
    if (r < 0)
        return std::u16string(buf);
    EXPECT_EQ(buf[r], u'\0');
    return std::u16string(buf, static_cast<size_t>(r));
}

std::u16string Widen(const std::string& s) {
    std::u16string out;
    for (char c : s)
        out.push_back(static_cast<uint8_t>(c));
    return out;
}

double FromBits(uint64_t bits) { return std::bit_cast<double>(bits); }

struct NarrowCase {
    const char* what;
    std::function<std::string()> run;
    std::string expected;
};

struct WideCase {
    const char* what;
    std::function<std::u16string()> run;
    std::u16string expected;
};

void RunNarrowCases(const std::vector<NarrowCase>& cases) {
    for (const NarrowCase& c : cases)
        EXPECT_EQ(c.run(), c.expected) << c.what;
}

void RunWideCases(const std::vector<WideCase>& cases) {
    for (const WideCase& c : cases)
        EXPECT_EQ(c.run(), c.expected) << c.what;
}

// ---- integer conversions ------------------------------------------------------------

TEST(FormatInteger, FlagsWidthAndPrecision) {
    struct Case {
        const char* what;
        const char* fmt;
        int value;
        const char* expected;
    };
    const Case cases[] = {
        {"#x of 0 prints 0", "%#x", 0, "0"},
        {"#o of 8 prints 010", "%#o", 8, "010"},
        {".0d of 0 prints nothing", "[%.0d]", 0, "[]"},
        {"+d of 5 prints +5", "%+d", 5, "+5"},
        {"-05d of 5 prints 5 and four spaces", "[%-05d]", 5, "[5    ]"},
        {"space flag gives a space for the sign", "% d", 42, " 42"},
        {"plus wins over space", "%+ d", 42, "+42"},
        {"zero padding goes after the sign", "%05d", -42, "-0042"},
        {"zero padding goes after 0x", "%#08x", 255, "0x0000ff"},
        {"space padding goes before the sign", "[%6d]", -3, "[    -3]"},
        {"left-justified with sign", "[%-+6d]", 3, "[+3    ]"},
        {"a precision cancels the zero flag", "[%08.3d]", 5, "[     005]"},
        {"precision is a minimum digit count", "%.5x", 0xab, "000ab"},
        {"precision shorter than the digits", "%.1d", 1234, "1234"},
        {"#o adds no 0 when precision zeros lead", "%#.5o", 8, "00010"},
        {"#o of 0 with precision 0 prints 0", "%#.0o", 0, "0"},
        {"#o of 0 prints a single 0", "%#o", 0, "0"},
        {"#x of 0 with precision 0 prints nothing", "[%#.0x]", 0, "[]"},
        {"#X writes 0X", "%#X", 255, "0XFF"},
        {"# on d is ignored", "%#d", 5, "5"},
        {"plus and space are cleared for u", "%+ u", 5, "5"},
        {"plus is cleared for x", "%+x", 26, "1a"},
        {"u reads the 32 bits as unsigned", "%u", -1, "4294967295"},
        {"i is d", "%i", -7, "-7"},
        {"the magnitude of INT_MIN", "%d", INT_MIN, "-2147483648"},
        {"zero value with width", "[%3d]", 0, "[  0]"},
        {"zero value, precision 0, width", "[%3.0d]", 0, "[   ]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(N(c.fmt, c.value), c.expected) << c.what;
}

TEST(FormatInteger, SizesThroughTheVariableArgumentList) {
    RunNarrowCases({
        {"%ld of the 32-bit 0xFFFFFFFF prints -1", [] { return N("%ld", 0xFFFFFFFFu); }, "-1"},
        {"%lu of it prints 4294967295", [] { return N("%lu", 0xFFFFFFFFu); }, "4294967295"},
        {"%I64d reads 64 bits", [] { return N("%I64d %d", -5000000000LL, 7); }, "-5000000000 7"},
        {"%lld reads 64 bits", [] { return N("%lld %d", 1LL << 40, 7); }, "1099511627776 7"},
        {"%hd narrows a promoted int", [] { return N("%hd", 0x18000); }, "-32768"},
        {"%hhu masks a promoted int", [] { return N("%hhu", 0x1FF); }, "255"},
        {"%llo of all ones", [] { return N("%llo", -1LL); }, "1777777777777777777777"},
        {"%#llX of all ones", [] { return N("%#llX", -1LL); }, "0XFFFFFFFFFFFFFFFF"},
        {"%lld of the most negative", [] { return N("%lld", LLONG_MIN); },
         "-9223372036854775808"},
        {"%zu reads a size_t", [] { return N("%zu", SIZE_MAX); }, "18446744073709551615"},
    });
}

// Arguments fed through the callback form, with a record of every draw: one
// letter per draw (i a 32-bit slot, I a 64-bit slot, d a double, p a pointer).
struct Script {
    std::vector<int64_t> integers;
    std::vector<double> doubles;
    std::vector<const void*> pointers;
    size_t nextInteger = 0, nextDouble = 0, nextPointer = 0;
    std::string draws;
};

int64_t ScriptInteger(void* context, int bits) {
    Script* s = static_cast<Script*>(context);
    s->draws += bits == 64 ? 'I' : 'i';
    return s->nextInteger < s->integers.size() ? s->integers[s->nextInteger++] : 0;
}

double ScriptDouble(void* context) {
    Script* s = static_cast<Script*>(context);
    s->draws += 'd';
    return s->nextDouble < s->doubles.size() ? s->doubles[s->nextDouble++] : 0.0;
}

const void* ScriptPointer(void* context) {
    Script* s = static_cast<Script*>(context);
    s->draws += 'p';
    return s->nextPointer < s->pointers.size() ? s->pointers[s->nextPointer++] : nullptr;
}

std::string RunScript(const char* fmt, Script& script) {
    FORMAT_ARGS args{};
    args.context = &script;
    args.NextInteger = ScriptInteger;
    args.NextDouble = ScriptDouble;
    args.NextPointer = ScriptPointer;
    char buf[256];
    FORMAT_SINK sink{false, buf, sizeof buf, 0, false};
    FormatCoreArgs(&sink, fmt, false, &args);
    return std::string(buf, sink.count < sizeof buf ? sink.count : sizeof buf);
}

TEST(FormatInteger, LengthModifiersSetTheSize) {
    struct Case {
        const char* what;
        const char* fmt;
        int64_t value;
        const char* expected;
        const char* draws;
    };
    const Case cases[] = {
        {"no modifier: a 32-bit slot", "%d", 0x180000000LL, "-2147483648", "i"},
        {"hh sign-extends 8 bits", "%hhd", 0x1FF, "-1", "i"},
        {"hh masks 8 bits when unsigned", "%hho", 0x1FF, "377", "i"},
        {"h sign-extends 16 bits", "%hd", 0x18000, "-32768", "i"},
        {"h masks 16 bits when unsigned", "%hx", 0x12345, "2345", "i"},
        {"l is 32 bits", "%ld", 0xFFFFFFFF, "-1", "i"},
        {"l unsigned is 32 bits", "%lu", 0x1FFFFFFFF, "4294967295", "i"},
        {"ll is 64 bits", "%lld", 0x100000000, "4294967296", "I"},
        {"ll unsigned", "%llx", -1, "ffffffffffffffff", "I"},
        {"w is 32 bits", "%wd", 0x1FFFFFFFF, "-1", "i"},
        {"L is 64 bits", "%Lx", 0x123456789, "123456789", "I"},
        {"j is 64 bits", "%jd", INT64_MIN, "-9223372036854775808", "I"},
        {"z is 64 bits", "%zu", -1, "18446744073709551615", "I"},
        {"t is 64 bits", "%td", -5000000000, "-5000000000", "I"},
        {"I64 is 64 bits", "%I64X", 0xABCDEF0123, "ABCDEF0123", "I"},
        {"I32 is 32 bits", "%I32d", 0x1FFFFFFFF, "-1", "i"},
        {"I before anything else is 64 bits", "%Iu", -1, "18446744073709551615", "I"},
        {"I6 without 4 writes % and 6 and resumes", "%I6d", 0, "%6d", ""},
        {"I3 without 2 drops flags and width", "%-5I3x", 0, "%3x", ""},
        {"I6 at the end of the format", "%I6", 0, "%6", ""},
        {"star width and precision are 32-bit slots", "%*.*lld", 0, "", "iiI"},
    };
    for (const Case& c : cases) {
        Script script;
        script.integers = {c.value};
        if (std::strchr(c.fmt, '*') != nullptr)
            script.integers = {0, 0, 0};
        EXPECT_EQ(RunScript(c.fmt, script), c.expected) << c.what;
        EXPECT_EQ(script.draws, c.draws) << c.what;
    }
}

TEST(FormatInteger, CalledDirectly) {
    struct Case {
        const char* what;
        uint64_t magnitude;
        bool negative;
        int conversion;
        unsigned flags;
        int width;
        int precision;
        const char* expected;
    };
    const Case cases[] = {
        {"p is upper-case hexadecimal", 0xBEEF, false, 'p', 0, 0, 16, "000000000000BEEF"},
        {"negative with precision", 7, true, 'd', 0, 0, 3, "-007"},
        {"a negative width counts as 0", 7, false, 'd', 0, -5, -1, "7"},
        {"the largest magnitude", UINT64_MAX, false, 'u', 0, 0, -1, "18446744073709551615"},
        {"o of the largest magnitude", UINT64_MAX, false, 'o', FMT_ALT, 0, -1,
         "01777777777777777777777"},
    };
    for (const Case& c : cases) {
        char buf[64];
        FORMAT_SINK sink{false, buf, sizeof buf, 0, false};
        FormatInteger(&sink, c.magnitude, c.negative, c.conversion, c.flags, c.width, c.precision);
        EXPECT_EQ(std::string(buf, sink.count), c.expected) << c.what;
    }
}

// ---- the conversion table -------------------------------------------------------------

TEST(FormatConversions, EachConversionUnit) {
    RunNarrowCases({
        {"%% writes one percent", [] { return N("100%%"); }, "100%"},
        {"%% ignores the width", [] { return N("[%5%]"); }, "[%]"},
        {"d", [] { return N("%d", -12); }, "-12"},
        {"i", [] { return N("%i", 12); }, "12"},
        {"u", [] { return N("%u", 3000000000u); }, "3000000000"},
        {"o", [] { return N("%o", 8); }, "10"},
        {"x", [] { return N("%x", 0xbeef); }, "beef"},
        {"X", [] { return N("%X", 0xbeef); }, "BEEF"},
        {"p prints 16 upper-case hexadecimal digits",
         [] { return N("%p", reinterpret_cast<void*>(0x7FFC1A2B3C4DULL)); }, "00007FFC1A2B3C4D"},
        {"p of null", [] { return N("%p", nullptr); }, "0000000000000000"},
        {"p keeps the width", [] { return N("[%18p]", reinterpret_cast<void*>(1)); },
         "[  0000000000000001]"},
        {"p keeps '-'", [] { return N("[%-18p]", reinterpret_cast<void*>(1)); },
         "[0000000000000001  ]"},
        {"p drops '0', '+', ' ' and '#'",
         [] { return N("[%+ #018p]", reinterpret_cast<void*>(1)); }, "[  0000000000000001]"},
        {"p ignores a precision", [] { return N("%.2p", reinterpret_cast<void*>(0xAB)); },
         "00000000000000AB"},
        {"e", [] { return N("%e", 1.5); }, "1.500000e+00"},
        {"E", [] { return N("%E", 1.5); }, "1.500000E+00"},
        {"f", [] { return N("%f", 1.5); }, "1.500000"},
        {"F", [] { return N("%F", 1e20); }, "100000000000000000000.000000"},
        {"g", [] { return N("%g", 0.0001); }, "0.0001"},
        {"G", [] { return N("%G", 1e-10); }, "1E-10"},
        {"a", [] { return N("%a", 1.0); }, "0x1p+0"},
        {"A", [] { return N("%A", 1.0); }, "0X1P+0"},
        {"c", [] { return N("%c", 'q'); }, "q"},
        {"C", [] { return N("%C", u'q'); }, "q"},
        {"s", [] { return N("%s", "str"); }, "str"},
        {"S", [] { return N("%S", u"str"); }, "str"},
        {"an unknown unit prints itself: %y", [] { return N("%y"); }, "%y"},
        {"what was read before an unknown unit is dropped", [] { return N("[%-08.3ly]"); },
         "[%y]"},
        {"an unknown unit draws no argument", [] { return N("%y%d", 5); }, "%y5"},
        {"a format ending in %-5 prints nothing for it", [] { return N("ab%-5"); }, "ab"},
        {"a lone % at the end", [] { return N("ab%"); }, "ab"},
        {"an end after a modifier", [] { return N("ab%ll"); }, "ab"},
        {"an end after a precision", [] { return N("ab%.3"); }, "ab"},
    });
    RunWideCases({
        {"wide %%", [] { return W(u"%5%|"); }, u"%|"},
        {"wide %y", [] { return W(u"%y"); }, u"%y"},
        {"wide unknown unit beyond ASCII", [] { return W(u"%\u4E2D"); }, u"%\u4E2D"},
        {"wide text passes through", [] { return W(u"\u4E2D%d\u6587", 5); }, u"\u4E2D5\u6587"},
        {"wide p", [] { return W(u"%p", reinterpret_cast<void*>(0xABCDEF)); },
         u"0000000000ABCDEF"},
        {"wide integer", [] { return W(u"%+05d", 42); }, u"+0042"},
        {"wide float", [] { return W(u"%.2f", 2.345); }, u"2.35"},
        {"wide unfinished", [] { return W(u"ab%-5"); }, u"ab"},
    });
}

// ---- floating conversions -----------------------------------------------------------

TEST(FormatFloat, InfinityAndNanTexts) {
    const double inf = INFINITY;
    const double quietNan = FromBits(0x7FF8000000000000ULL);
    const double indefinite = FromBits(0xFFF8000000000000ULL); // negative, quiet, no payload
    const double negativePayload = FromBits(0xFFF8000000000001ULL);
    const double signalling = FromBits(0x7FF0000000000001ULL);
    const double negativeSignalling = FromBits(0xFFF4000000000000ULL);
    RunNarrowCases({
        {"%f of negative infinity prints -inf", [=] { return N("%f", -inf); }, "-inf"},
        {"%E of a positive quiet NaN prints NAN", [=] { return N("%E", quietNan); }, "NAN"},
        {"%08f of infinity pads with spaces", [=] { return N("[%08f]", inf); }, "[     inf]"},
        {"upper case for A", [=] { return N("%A", inf); }, "INF"},
        {"upper case for F", [=] { return N("%F", inf); }, "INF"},
        {"upper case for G", [=] { return N("%G", inf); }, "INF"},
        {"lower case for a", [=] { return N("%a", inf); }, "inf"},
        {"'+' gives a plus sign", [=] { return N("%+e", inf); }, "+inf"},
        {"' ' gives a space", [=] { return N("% g", inf); }, " inf"},
        {"'-' pads after", [=] { return N("[%-6f]", inf); }, "[inf   ]"},
        {"precision does not cut inf", [=] { return N("%.1f", inf); }, "inf"},
        {"a negative quiet NaN without payload is nan(ind)", [=] { return N("%f", indefinite); },
         "-nan(ind)"},
        {"upper-case NAN(IND)", [=] { return N("%E", indefinite); }, "-NAN(IND)"},
        {"nan(ind) keeps '-' despite '+'", [=] { return N("%+f", indefinite); }, "-nan(ind)"},
        {"nan(ind) padded", [=] { return N("[%10g]", indefinite); }, "[ -nan(ind)]"},
        {"a negative quiet NaN with payload is -nan", [=] { return N("%f", negativePayload); },
         "-nan"},
        {"'+' on a quiet NaN", [=] { return N("%+f", quietNan); }, "+nan"},
        {"a signalling NaN is nan(snan)", [=] { return N("%f", signalling); }, "nan(snan)"},
        {"signalling with ' '", [=] { return N("% g", signalling); }, " nan(snan)"},
        {"negative signalling, upper case", [=] { return N("%F", negativeSignalling); },
         "-NAN(SNAN)"},
        {"NaN with '0' and '-'", [=] { return N("[%-05f]", quietNan); }, "[nan  ]"},
    });
}

TEST(FormatFloat, FiniteValuesGoThroughLibc) {
    RunNarrowCases({
        {"precision", [] { return N("%.3f", 3.14159); }, "3.142"},
        {"zero flag and width", [] { return N("[%010.2f]", -1.5); }, "[-000001.50]"},
        {"left, plus, width and precision", [] { return N("[%-+9.1e]", 12345.0); },
         "[+1.2e+04 ]"},
        {"'#' keeps the point", [] { return N("%#.0f", 3.0); }, "3."},
        {"'#' keeps zeros of g", [] { return N("%#g", 1.5); }, "1.50000"},
        {"' ' for the sign", [] { return N("% .1f", 2.0); }, " 2.0"},
        {"'.' alone is precision 0", [] { return N("%.f", 2.5); }, "2"},
        {"negative zero", [] { return N("%+f", -0.0); }, "-0.000000"},
        {"a with precision", [] { return N("%.2a", 1.0); }, "0x1.00p+0"},
        {"star width and precision", [] { return N("[%*.*f]", 7, 1, 2.25); }, "[    2.2]"},
        {"negative star precision means none", [] { return N("%.*f", -3, 0.5); }, "0.500000"},
        {"L reads a double", [] { return N("%Lf %d", 0.25, 9); }, "0.250000 9"},
        {"l reads a double", [] { return N("%le", 0.25); }, "2.500000e-01"},
        {"only 511 characters reach the output", [] { return N("%600f", 1.0); },
         std::string(511, ' ')},
        {"the cut keeps the start", [] { return N("%-600f", 1.0); },
         std::string("1.000000").append(503, ' ')},
    });
    char buf[600];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(snprintf(buf, sizeof buf, "%.600f|", 1.0), 512) << "511 digits and the bar";
    EXPECT_EQ(std::string(buf, 3), "1.0");
    EXPECT_EQ(buf[510], '0');
    EXPECT_EQ(buf[511], '|');
}

TEST(FormatFloat, CalledDirectly) {
    char buf[64];
    FORMAT_SINK sink{false, buf, sizeof buf, 0, false};
    FormatFloat(&sink, 's', 0, 0, -1, 1.0);
    EXPECT_EQ(sink.count, 0u) << "a letter other than e E f F g G a A writes nothing";
    FormatFloat(&sink, 'g', FMT_LEFT | FMT_PLUS, 6, 2, 0.125);
    EXPECT_EQ(std::string(buf, sink.count), "+0.12 ");
}

// ---- strings and characters -----------------------------------------------------------

TEST(FormatStrings, NarrowOutput) {
    static const char unterminated[3] = {'a', 'b', 'c'};
    RunNarrowCases({
        {"a null string prints (null)", [] { return N("%s", static_cast<char*>(nullptr)); },
         "(null)"},
        {"%5.2s of null prints three spaces and (n",
         [] { return N("%5.2s", static_cast<char*>(nullptr)); }, "   (n"},
        {"a null wide string prints (null)", [] { return N("%ls", static_cast<WCHAR*>(nullptr)); },
         "(null)"},
        {"precision limits the length", [] { return N("%.3s", "abcdef"); }, "abc"},
        {"no unit past the precision is read", [] { return N("%.3s", unterminated); }, "abc"},
        {"precision 0 prints nothing but pads", [] { return N("[%4.0s]", "abc"); }, "[    ]"},
        {"right-justified", [] { return N("[%5s]", "ab"); }, "[   ab]"},
        {"'0' pads a string with zeros", [] { return N("[%05s]", "ab"); }, "[000ab]"},
        {"'-' pads with spaces after", [] { return N("[%-05s]", "ab"); }, "[ab   ]"},
        {"a width below the length", [] { return N("[%1s]", "abc"); }, "[abc]"},
        {"star width and precision", [] { return N("[%*.*s]", 6, 2, "abcdef"); }, "[    ab]"},
        {"a negative star width left-justifies", [] { return N("[%*s]", -4, "ab"); }, "[ab  ]"},
        {"a negative star precision means none", [] { return N("[%.*s]", -1, "abc"); }, "[abc]"},
        {"wide units up to 255 become bytes", [] { return N("%ls", u"caf\u00e9\u00ff"); },
         "caf\xe9\xff"},
        {"wide units past the precision are not read",
         [] { return N("%.1ls", u"a\u0100"); }, "a"},
        {"%c takes the low byte", [] { return N("%c", 0x141); }, "A"},
        {"%c pads to the width", [] { return N("[%3c]", 'x'); }, "[  x]"},
        {"%c left-justified", [] { return N("[%-3c]", 'x'); }, "[x  ]"},
        {"%c zero-padded", [] { return N("[%03c]", 'x'); }, "[00x]"},
        {"a wide %c up to 255 enters", [] { return N("[%3lc]", 0xE9); }, "[  \xe9]"},
        {"a wide %c above 255 is dropped with its padding", [] { return N("[%3lc]", 0x4E2D); },
         "[]"},
        {"a wide %c is the low 16 bits", [] { return N("%C", 0x10041); }, "A"},
    });
}

TEST(FormatStrings, WideOutput) {
    RunWideCases({
        {"a narrow string widens byte by byte, no UTF-8 decoding",
         [] { return W(u"%hs", "\xc3\xa9"); }, u"\u00c3\u00a9"},
        {"a null string prints (null)", [] { return W(u"%s", static_cast<WCHAR*>(nullptr)); },
         u"(null)"},
        {"%5.2s of null", [] { return W(u"%5.2s", static_cast<WCHAR*>(nullptr)); }, u"   (n"},
        {"precision and '-' on 16-bit text",
         [] { return W(u"[%-4.2s]", u"\u4E2D\u6587\u5B57"); }, u"[\u4E2D\u6587  ]"},
        {"'0' pads wide text with zeros", [] { return W(u"%04s", u"\u4E2D"); }, u"000\u4E2D"},
        {"%c in a wide format is a 16-bit unit", [] { return W(u"%c", 0x4E2D); }, u"\u4E2D"},
        {"%hc takes the low byte", [] { return W(u"%hc", 0x4E41); }, u"A"},
        {"%c padding", [] { return W(u"[%-3c]", 0x4E2D); }, u"[\u4E2D  ]"},
        {"a surrogate pair is two units", [] { return W(u"%.1s|", u"\U0001F600"); },
         u"\xD83D|"},
    });
}

// In a wide format %s is 16-bit and %S 8-bit; in a narrow one the reverse;
// h forces narrow and l/w force wide. The probe reads "A" as 8-bit text and
// "AB" as 16-bit text; the character 0x4142 is 'B' as a byte and U+4142 wide.
TEST(FormatStrings, ArgumentWidthByModifier) {
    alignas(2) static const char16_t probe[] = u"AB";
    struct Case {
        bool wideFormat;
        const char* spec;
        bool isChar;
        std::u16string expected;
    };
    const Case cases[] = {
        {false, "%s", false, u"A"},        {false, "%S", false, u"AB"},
        {false, "%hs", false, u"A"},       {false, "%ls", false, u"AB"},
        {false, "%ws", false, u"AB"},      {false, "%hS", false, u"A"},
        {false, "%lS", false, u"AB"},      {false, "%hhs", false, u"A"},
        {false, "%Ls", false, u"A"},       {false, "%I64s", false, u"A"},
        {true, "%s", false, u"AB"},        {true, "%S", false, u"A"},
        {true, "%hs", false, u"A"},        {true, "%ls", false, u"AB"},
        {true, "%ws", false, u"AB"},       {true, "%hS", false, u"A"},
        {true, "%wS", false, u"AB"},       {true, "%zs", false, u"AB"},
        {false, "%c", true, u"B"},         {false, "%C", true, u""},
        {false, "%hc", true, u"B"},        {false, "%lc", true, u""},
        {false, "%wc", true, u""},         {false, "%hC", true, u"B"},
        {true, "%c", true, u"\u4142"},     {true, "%C", true, u"B"},
        {true, "%hc", true, u"B"},         {true, "%lc", true, u"\u4142"},
        {true, "%wc", true, u"\u4142"},    {true, "%LC", true, u"B"},
    };
    for (const Case& c : cases) {
        std::u16string got;
        if (c.wideFormat) {
            std::u16string fmt = Widen(c.spec);
            got = c.isChar ? W(fmt.c_str(), 0x4142) : W(fmt.c_str(), probe);
        } else {
            got = Widen(c.isChar ? N(c.spec, 0x4142) : N(c.spec, probe));
        }
        EXPECT_EQ(got, c.expected) << (c.wideFormat ? "wide format " : "narrow format ")
                                   << c.spec;
    }
}

// A 16-bit unit above 255 stops a narrow output: the error flag turns the
// result into -1, and the text before the unit stays, terminated.
TEST(FormatStrings, WideTextThatNarrowOutputCannotHold) {
    static const WCHAR fail[] = u"c\u0100d";
    struct Case {
        const char* what;
        std::function<int(char*)> call;
        std::string stored; // then a terminator, then untouched bytes
    };
    const Case cases[] = {
        {"sprintf", [](char* b) { return sprintf(b, "ab%lsX", fail); }, "abc"},
        {"snprintf", [](char* b) { return snprintf(b, 16, "ab%lsX", fail); }, "abc"},
        {"_snprintf", [](char* b) { return _snprintf(b, 16, "ab%lsX", fail); }, "abc"},
        {"padding before the string stays", [](char* b) { return snprintf(b, 16, "%6ls", fail + 1); },
         "    "},
        {"nothing after the unit is written",
         [](char* b) { return sprintf(b, "%S%s%-4d", fail + 1, "zz", 1); }, ""},
        {"%S in a narrow format", [](char* b) { return sprintf(b, "%S", fail); }, "c"},
    };
    for (const Case& c : cases) {
        char buf[32];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(c.call(buf), -1) << c.what;
        EXPECT_EQ(std::string(buf, c.stored.size()), c.stored) << c.what;
        EXPECT_EQ(buf[c.stored.size()], '\0') << c.what;
        EXPECT_EQ(buf[c.stored.size() + 1], '#') << c.what;
    }
}

// ---- FormatCore and its sink ------------------------------------------------------------

int CoreTwice(std::string* first, std::string* second, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    char a[64], b[64];
    FORMAT_SINK one{false, a, sizeof a, 0, false};
    FORMAT_SINK two{false, b, sizeof b, 0, false};
    FormatCore(&one, fmt, false, args);
    FormatCore(&two, fmt, false, args);
    va_end(args);
    *first = std::string(a, one.count);
    *second = std::string(b, two.count);
    return static_cast<int>(one.count);
}

int CoreInto(FORMAT_SINK* sink, bool fmtWide, const void* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FormatCore(sink, fmt, fmtWide, args);
    va_end(args);
    return static_cast<int>(sink->count);
}

TEST(FormatCore, ReadsACopyOfTheArgumentList) {
    std::string first, second;
    CoreTwice(&first, &second, "%s %d %f %lld", "x", 5, 0.5, 1LL << 40);
    EXPECT_EQ(first, "x 5 0.500000 1099511627776");
    EXPECT_EQ(second, first);
}

TEST(FormatCore, SinkStoresWithinCapacityAndCountsOn) {
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    FORMAT_SINK sink{false, buf, 3, 0, false};
    EXPECT_EQ(CoreInto(&sink, false, "%s%10d", "abcdef", 1), 16);
    EXPECT_EQ(std::string(buf, 8), "abc#####");
    EXPECT_FALSE(sink.error);

    FORMAT_SINK measure{true, nullptr, 0, 0, false};
    EXPECT_EQ(CoreInto(&measure, true, u"%s=%d", u"key", 12), 6) << "capacity 0 measures";
}

TEST(FormatCore, FormatAndSinkWidthsMayDiffer) {
    WCHAR wide[16];
    FORMAT_SINK toWide{true, wide, 16, 0, false};
    CoreInto(&toWide, false, "\xe9%hs", "\xff");
    EXPECT_EQ(std::u16string(wide, toWide.count), u"\u00e9\u00ff") << "bytes widen";

    char narrow[16];
    FORMAT_SINK toNarrow{false, narrow, 16, 0, false};
    CoreInto(&toNarrow, true, u"a\u00e9\u4E2Db");
    EXPECT_TRUE(toNarrow.error) << "a format unit above 255 has no byte";
    EXPECT_EQ(std::string(narrow, toNarrow.count), "a\xe9");
}

// ---- the wrappers -------------------------------------------------------------------------

constexpr WCHAR kWideSentinel = 0xABCD;
constexpr size_t kBufferUnits = 48;

int VsnW(WCHAR* buf, size_t count, const WCHAR* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int r = _vsnwprintf(buf, count, fmt, args);
    va_end(args);
    return r;
}

int VsnN(char* buf, size_t n, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int r = vsnprintf(buf, n, fmt, args);
    va_end(args);
    return r;
}

// Each row formats a text of known length with one wrapper; the buffer is
// prefilled with sentinels, and everything after `stored` must still hold
// one, so a unit written past the capacity or a missing terminator shows.
TEST(FormatWrappers, WideCapacityTerminatorAndResult) {
    static const WCHAR ten[] = u"0123456789";
    struct Case {
        const char* what;
        std::function<int(WCHAR*)> call;
        int result;
        std::u16string stored;
    };
    const Case cases[] = {
        {"_snwprintf: 10 units into 4 store 3 and a terminator, -1",
         [](WCHAR* b) { return _snwprintf(b, 4, u"%s", ten); }, -1, u"012\0"s},
        {"_snwprintf: 3 units into 4 fit", [](WCHAR* b) { return _snwprintf(b, 4, u"%.3s", ten); },
         3, u"012\0"s},
        {"_snwprintf: 4 units into 4 are not below count, -1",
         [](WCHAR* b) { return _snwprintf(b, 4, u"%.4s", ten); }, -1, u"012\0"s},
        {"_snwprintf: count 0 writes nothing, -1",
         [](WCHAR* b) { return _snwprintf(b, 0, u"%s", ten); }, -1, u""},
        {"_snwprintf: an empty text into 1", [](WCHAR* b) { return _snwprintf(b, 1, u""); }, 0,
         u"\0"s},
        {"_vsnwprintf: the same rule", [](WCHAR* b) { return VsnW(b, 4, u"%s", ten); }, -1,
         u"012\0"s},
        {"_vsnwprintf: a fitting text", [](WCHAR* b) { return VsnW(b, 11, u"%s", ten); }, 10,
         u"0123456789\0"s},
        {"swprintf: 10 units into 4 are cut at 3 and terminated, -1",
         [](WCHAR* b) { return swprintf(b, 4, u"%s", ten); }, -1, u"012\0"s},
        {"swprintf: 4 units into 4 leave no room for the terminator, -1",
         [](WCHAR* b) { return swprintf(b, 4, u"%.4s", ten); }, -1, u"012\0"s},
        {"swprintf: 3 units into 4 fit", [](WCHAR* b) { return swprintf(b, 4, u"%.3s", ten); }, 3,
         u"012\0"s},
        {"swprintf: count 0 writes nothing, -1",
         [](WCHAR* b) { return swprintf(b, 0, u"%s", ten); }, -1, u""},
        {"swprintf: 1 unit into 1, -1", [](WCHAR* b) { return swprintf(b, 1, u"x"); }, -1,
         u"\0"s},
    };
    for (const Case& c : cases) {
        WCHAR buf[kBufferUnits];
        std::fill(std::begin(buf), std::end(buf), kWideSentinel);
        EXPECT_EQ(c.call(buf), c.result) << c.what;
        EXPECT_EQ(std::u16string(buf, c.stored.size()), c.stored) << c.what;
        for (size_t i = c.stored.size(); i < kBufferUnits; ++i)
            ASSERT_EQ(buf[i], kWideSentinel) << c.what << ": unit " << i << " was written";
    }
}

TEST(FormatWrappers, NarrowCapacityTerminatorAndResult) {
    struct Case {
        const char* what;
        std::function<int(char*)> call;
        int result;
        std::string stored;
    };
    const Case cases[] = {
        {"sprintf: unbounded, terminated",
         [](char* b) { return sprintf(b, "%s", "0123456789"); }, 10, "0123456789\0"s},
        {"sprintf: empty", [](char* b) { return sprintf(b, ""); }, 0, "\0"s},
        {"snprintf: 10 bytes into 4 store 3 and a terminator, result 10",
         [](char* b) { return snprintf(b, 4, "%s", "0123456789"); }, 10, "012\0"s},
        {"snprintf: 10 bytes into 10", [](char* b) { return snprintf(b, 10, "%d", 1234567890); },
         10, "123456789\0"s},
        {"snprintf: 10 bytes into 11 fit", [](char* b) { return snprintf(b, 11, "%d", 1234567890); },
         10, "1234567890\0"s},
        {"snprintf: n 0 writes nothing and measures",
         [](char* b) { return snprintf(b, 0, "%s", "0123456789"); }, 10, ""},
        {"snprintf: n 1 stores only the terminator",
         [](char* b) { return snprintf(b, 1, "%s", "abc"); }, 3, "\0"s},
        {"vsnprintf: the same rule", [](char* b) { return VsnN(b, 4, "%s", "0123456789"); }, 10,
         "012\0"s},
        {"_snprintf: 10 bytes into 4 store 4 without terminator, -1",
         [](char* b) { return _snprintf(b, 4, "%s", "0123456789"); }, -1, "0123"},
        {"_snprintf: 4 bytes into 4 store 4 without terminator, 4",
         [](char* b) { return _snprintf(b, 4, "%s", "0123"); }, 4, "0123"},
        {"_snprintf: 3 bytes into 4 are terminated",
         [](char* b) { return _snprintf(b, 4, "%s", "012"); }, 3, "012\0"s},
        {"_snprintf: n 0 with an empty text", [](char* b) { return _snprintf(b, 0, ""); }, 0, ""},
    };
    for (const Case& c : cases) {
        char buf[kBufferUnits];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(c.call(buf), c.result) << c.what;
        EXPECT_EQ(std::string(buf, c.stored.size()), c.stored) << c.what;
        for (size_t i = c.stored.size(); i < kBufferUnits; ++i)
            ASSERT_EQ(buf[i], '#') << c.what << ": byte " << i << " was written";
    }
}

TEST(FormatWrappers, LegacySwprintfHoldsAtMost1024Units) {
    struct Case {
        const char* what;
        const WCHAR* fmt;
        size_t stored; // units before the terminator
        WCHAR last;    // the last of them
    };
    const Case cases[] = {
        {"a 2000-unit result stores 1024 units and a terminator in the 1025th", u"%2000d", 1024,
         u' '},
        {"exactly 1024 units", u"%1024d", 1024, u'7'},
        {"a short text", u"%3d", 3, u'7'},
    };
    for (const Case& c : cases) {
        std::vector<WCHAR> buf(1100, kWideSentinel);
        swprintf_legacy(buf.data(), c.fmt, 7);
        for (size_t i = 0; i + 1 < c.stored; ++i)
            ASSERT_EQ(buf[i], u' ') << c.what << " at " << i;
        EXPECT_EQ(buf[c.stored - 1], c.last) << c.what;
        EXPECT_EQ(buf[c.stored], 0) << c.what;
        EXPECT_EQ(buf[c.stored + 1], kWideSentinel) << c.what;
    }
}

TEST(FormatWrappers, MeasureOnlySnprintf) {
    EXPECT_EQ(snprintf(nullptr, 0, "%s-%d", "measure", 12345), 13);
    EXPECT_EQ(snprintf(nullptr, 0, ""), 0);
    EXPECT_EQ(snprintf(nullptr, 0, "%ls", u"\u0100"), -1) << "the error flag still counts";
}

// ---- limits --------------------------------------------------------------------------------

// Widths and precisions too large for an int saturate at INT_MAX; a result
// that an int cannot hold is -1. Padding costs only what the buffer can take,
// so these run at once.
TEST(FormatLimits, SaturationAndResultsBeyondInt) {
    struct Case {
        const char* what;
        std::function<int()> call;
        int result;
    };
    const Case cases[] = {
        {"width digits saturate", [] { return snprintf(nullptr, 0, "%99999999999d", 1); },
         INT_MAX},
        {"precision digits saturate", [] { return snprintf(nullptr, 0, "%.99999999999d", 7); },
         INT_MAX},
        {"a huge string precision only limits",
         [] { return snprintf(nullptr, 0, "%.99999999999s", "abc"); }, 3},
        {"a count past INT_MAX gives -1",
         [] { return snprintf(nullptr, 0, "%99999999999d%d", 1, 2); }, -1},
        {"two INT_MAX widths give -1",
         [] { return snprintf(nullptr, 0, "%*s%*s", INT_MAX, "", INT_MAX, ""); }, -1},
        {"a star width of INT_MIN is INT_MAX, left-justified",
         [] { return snprintf(nullptr, 0, "%*d", INT_MIN, 5); }, INT_MAX},
        {"a star precision of INT_MIN means none",
         [] { return snprintf(nullptr, 0, "%.*d", INT_MIN, 0); }, 1},
        {"a huge float width keeps 511", [] { return snprintf(nullptr, 0, "%99999999999f", 1.0); },
         511},
        {"a huge float precision keeps 511",
         [] { return snprintf(nullptr, 0, "%.99999999999e", 1.0); }, 511},
        {"both huge", [] { return snprintf(nullptr, 0, "%-99999999999.99999999999a", -1.0); },
         511},
        {"_snwprintf past INT_MAX",
         [] {
             WCHAR b[4];
             return _snwprintf(b, 4, u"%*d%*d", INT_MAX, 1, INT_MAX, 1);
         },
         -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.call(), c.result) << c.what;

    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(snprintf(buf, sizeof buf, "%*d|", INT_MIN, 5), -1);
    EXPECT_EQ(std::string(buf, 8), "5      \0"s) << "left-justified, cut, terminated";

    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(_snprintf(buf, 4, "%99999999999d", 1), -1);
    EXPECT_EQ(std::string(buf, 5), "    #");
}

// ---- FormatAlloc -------------------------------------------------------------------------

int Alloc(bool wide, void** out, const void* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int r = FormatAlloc(wide, out, fmt, args);
    va_end(args);
    return r;
}

TEST(FormatAlloc, HandsOutATerminatedHeapText) {
    void* out = nullptr;
    EXPECT_EQ(Alloc(true, &out, u"%s=%d", u"w\u4E2Ddth", 42), 8);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::u16string(static_cast<WCHAR*>(out)), u"w\u4E2Ddth=42");
    std::free(out);

    out = nullptr;
    EXPECT_EQ(Alloc(false, &out, "%s and %ls", "bytes", u"units"), 15);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::string(static_cast<char*>(out)), "bytes and units");
    std::free(out);

    out = nullptr;
    EXPECT_EQ(Alloc(true, &out, u""), 0);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(static_cast<WCHAR*>(out)[0], 0);
    std::free(out);

    // Longer than any fixed buffer of the layer; AddressSanitizer checks that
    // the allocation is exactly large enough.
    out = nullptr;
    EXPECT_EQ(Alloc(false, &out, "%5000d", 1), 5000);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(static_cast<char*>(out)[4999], '1');
    EXPECT_EQ(static_cast<char*>(out)[5000], '\0');
    std::free(out);
}

TEST(FormatAlloc, FailuresHandOutNothing) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(Alloc(false, &out, "x%ls", u"\u0100"), -1) << "the error flag";
    EXPECT_EQ(out, nullptr);

    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(Alloc(true, &out, u"%*d%*d", INT_MAX, 1, INT_MAX, 1), -1)
        << "a count an int cannot hold";
    EXPECT_EQ(out, nullptr);
}

// ---- %n ------------------------------------------------------------------------------------

TEST(FormatDeathTest, PercentNAbortsWithItsMessage) {
    int target = 0;
    EXPECT_DEATH(N("abc%n", &target), "^qposix: %n in a printf format\n$");
    EXPECT_DEATH(W(u"%-5hn", &target), "^qposix: %n in a printf format\n$");
    EXPECT_DEATH(N("%lln", &target), "^qposix: %n in a printf format\n$");
    EXPECT_EQ(target, 0);
}

// ---- seeded comparison with glibc ------------------------------------------------------------

uint64_t TestSeed() {
    if (const char* s = std::getenv("QUILB_TEST_SEED"))
        return std::strtoull(s, nullptr, 0);
    return std::random_device{}();
}

std::string RandomFlags(std::mt19937_64& rng) {
    static const char kFlags[] = "-+ #0";
    std::string flags;
    for (int n = static_cast<int>(rng() % 4); n > 0; --n)
        flags += kFlags[rng() % 5];
    return flags;
}

// Width and precision text: often absent, otherwise small.
std::string RandomWidthAndPrecision(std::mt19937_64& rng, int limit) {
    std::string out;
    if (rng() % 2)
        out += std::to_string(1 + rng() % limit);
    switch (rng() % 4) {
    case 0: break;
    case 1: out += "."; break;
    default:
        out += '.';
        out += std::to_string(rng() % limit);
        break;
    }
    return out;
}

// A value with a random number of significant bits, so small and large
// magnitudes are both common.
uint64_t RandomBits(std::mt19937_64& rng) {
    static const uint64_t special[] = {0, 1, UINT64_MAX, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                                       0x8000000000000000ULL, 0x7FFFFFFFFFFFFFFFULL};
    if (rng() % 8 == 0)
        return special[rng() % std::size(special)];
    return rng() >> (rng() % 64);
}

TEST(FormatDifferential, IntegersAgreeWithGlibc) {
    const uint64_t seed = TestSeed();
    std::mt19937_64 rng(seed);
    static const char* const kSize32[] = {"", "l", "w", "I32"};
    // The L modifier is spelt as a character: the source check reads a quoted
    // L as a platform wide literal.
    static const std::string kSize64[] = {"ll", "I64", "j", "z", "t", std::string(1, 'L'), "I"};
    int failures = 0;
    for (int i = 0; i < 40000 && failures < 5; ++i) {
        bool wide64 = rng() % 2;
        char conversion = "diuoxX"[rng() % 6];
        std::string spec = "%";
        spec += RandomFlags(rng);
        spec += RandomWidthAndPrecision(rng, 30);
        std::string ours = spec + (wide64 ? kSize64[rng() % 7] : std::string(kSize32[rng() % 4])) +
                           conversion;
        std::string theirs = spec + (wide64 ? "ll" : "") + conversion;
        uint64_t bits = RandomBits(rng);
        char a[256], b[256];
        int ra, rb;
        if (wide64) {
            long long v = static_cast<long long>(bits);
            ra = snprintf(a, sizeof a, ours.c_str(), v);
            rb = LibcProbeInt64(b, sizeof b, theirs.c_str(), v);
        } else {
            int v = static_cast<int>(static_cast<uint32_t>(bits));
            ra = snprintf(a, sizeof a, ours.c_str(), v);
            rb = LibcProbeInt32(b, sizeof b, theirs.c_str(), v);
        }
        if (ra != rb || std::strcmp(a, b) != 0) {
            ADD_FAILURE() << "seed " << seed << " (QUILB_TEST_SEED), case " << i << ": format \""
                          << ours << "\" against glibc's \"" << theirs << "\", value 0x"
                          << std::hex << bits << std::dec << ": ours [" << a << "] " << ra
                          << ", glibc [" << b << "] " << rb;
            ++failures;
        }
    }
}

double RandomFinite(std::mt19937_64& rng) {
    static const double special[] = {0.0,     -0.0,    1.0,     0.5,      2.5,     -3.5,
                                     DBL_MAX, DBL_MIN, 4.9e-324, 1e15,    123.456, -9.999e-5,
                                     1e22,    0.1,     1e-300,   99.995,  -1e100};
    if (rng() % 4 == 0)
        return special[rng() % std::size(special)];
    for (;;) {
        double v = FromBits(rng());
        if (std::isfinite(v))
            return v;
    }
}

TEST(FormatDifferential, FiniteFloatsAgreeWithGlibc) {
    const uint64_t seed = TestSeed();
    std::mt19937_64 rng(seed);
    static const std::string kSizes[] = {"", "l", std::string(1, 'L')};
    int failures = 0;
    for (int i = 0; i < 30000 && failures < 5; ++i) {
        char conversion = "eEfFgGaA"[rng() % 8];
        std::string spec = "%";
        spec += RandomFlags(rng);
        spec += RandomWidthAndPrecision(rng, 30);
        std::string ours = spec + kSizes[rng() % 3] + conversion;
        std::string theirs = spec + conversion;
        double v = RandomFinite(rng);
        char a[600], b[600];
        int ra = snprintf(a, sizeof a, ours.c_str(), v);
        int rb = LibcProbeDouble(b, sizeof b, theirs.c_str(), v);
        if (ra != rb || std::strcmp(a, b) != 0) {
            ADD_FAILURE() << "seed " << seed << " (QUILB_TEST_SEED), case " << i << ": format \""
                          << ours << "\" against glibc's \"" << theirs << "\", value bits 0x"
                          << std::hex << std::bit_cast<uint64_t>(v) << std::dec << ": ours ["
                          << a << "] " << ra << ", glibc [" << b << "] " << rb;
            ++failures;
        }
    }
}

// A precision or width beyond what reaches the output is reduced before libc
// sees it; the 511 characters kept must be those the full request gives.
TEST(FormatDifferential, HugeFloatRequestsKeepTheirFirst511Characters) {
    const uint64_t seed = TestSeed();
    std::mt19937_64 rng(seed);
    std::vector<char> full(16384);
    int failures = 0;
    for (int i = 0; i < 1500 && failures < 5; ++i) {
        char conversion = "eEfFgGaA"[rng() % 8];
        int precision = 1050 + static_cast<int>(rng() % 2000);
        int width = rng() % 3 == 0 ? 0 : static_cast<int>(rng() % 6000);
        std::string fmt = "%";
        fmt += RandomFlags(rng);
        if (width > 0)
            fmt += std::to_string(width);
        fmt += '.';
        fmt += std::to_string(precision);
        fmt += conversion;
        double v = RandomFinite(rng);
        char a[600];
        int ra = snprintf(a, sizeof a, fmt.c_str(), v);
        int rb = LibcProbeDouble(full.data(), full.size(), fmt.c_str(), v);
        ASSERT_GT(rb, 0);
        std::string expected(full.data(), std::min(rb, 511));
        if (ra != static_cast<int>(expected.size()) || expected != a) {
            ADD_FAILURE() << "seed " << seed << " (QUILB_TEST_SEED), case " << i << ": format \""
                          << fmt << "\", value bits 0x" << std::hex
                          << std::bit_cast<uint64_t>(v) << std::dec << ": ours " << ra
                          << " characters, glibc's first " << expected.size() << " differ";
            ++failures;
        }
    }
}

} // namespace
