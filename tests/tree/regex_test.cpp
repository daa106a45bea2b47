// The PCRE2 binding against the system's libraries, linked beside this test
// program: the four encodings, compile errors and refused patterns, buffer
// searches across a boundary, renames; and programs that find one library
// or none.
#include "tree/regex.h"

#include "qposix_path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <string>
#include <sys/wait.h>

namespace {

class Regex : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(Pcre2Init()) << "the PCRE2 links beside the test"; }
    static void TearDownTestSuite() { Pcre2Release(); }
    void SetUp() override {
        if (!gRegexSupport) {
            ASSERT_TRUE(Pcre2Init());
        }
    }
};

std::string Utf8(const std::u16string& s) {
    char out[4096];
    EXPECT_GE(Utf16ToUtf8(s.c_str(), -1, out, sizeof out), 0);
    return out;
}

struct MatchCase {
    const char* shows;
    const char16_t* pattern;
    int encoding;
    bool caseSensitive;
    std::string subject; // bytes as the matcher takes them
    int expected;
    size_t start, length; // in bytes, when matched
};

std::string Units(const std::u16string& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

TEST_F(Regex, EncodingsConvertAndMatch) {
    const MatchCase cases[] = {
        {"UTF-8, caseless beyond ASCII", u"caf\u00E9\\.TXT", REGEX_UTF8, false,
         Utf8(u"xCAF\u00C9.txt"), 1, 1, 9},
        {"UTF-8, one character is one dot", u"^.$", REGEX_UTF8, true, Utf8(u"\u00E9"), 1, 0, 2},
        {"UTF-8, case-sensitive", u"ABC", REGEX_UTF8, true, "abc", 0, 0, 0},
        {"UTF-16 in bytes", u"\u00E9+", REGEX_UTF16, true, Units(u"x\u00E9\u00E9y"), 1, 2, 4},
        {"UTF-16 caseless", u"\u00C9", REGEX_UTF16, false, Units(u"ab\u00E9"), 1, 4, 2},
        {"OEM page: u-umlaut is 0x81", u"\u00FC", REGEX_OEM, true, "x\x81", 1, 1, 1},
        {"OEM page: a character it lacks is 0xFA", u"a\u4E2Db", REGEX_OEM, true, "a\xFA" "b", 1, 0, 3},
        {"OEM page: and no question mark", u"a\u4E2Db", REGEX_OEM, true, "a?b", 0, 0, 0},
        {"ANSI page: u-umlaut is 0xFC", u"\u00FC", REGEX_ANSI, true, "x\xFC", 1, 1, 1},
        {"ANSI page: a character it lacks is 0xB7", u"a\u4E2Db", REGEX_ANSI, true, "a\xB7" "b", 1, 0, 3},
        {"ANSI page: and no question mark", u"a\u4E2Db", REGEX_ANSI, true, "a?b", 0, 0, 0},
        {"lines: ^ after a line feed", u"^b", REGEX_UTF8, true, "a\nb", 1, 2, 1},
        {"lines: $ before CR LF", u"a$", REGEX_UTF8, true, "a\r\nb", 1, 0, 1},
        {"lines: $ before a lone CR", u"a$", REGEX_ANSI, true, "a\rb", 1, 0, 1},
    };
    for (const MatchCase& c : cases) {
        char error[200] = "";
        RegexMatcher* m = RegexCreate(c.pattern, c.caseSensitive, c.encoding, error, sizeof error);
        ASSERT_NE(m, nullptr) << c.shows << ": " << error;
        size_t start = 99, length = 99;
        EXPECT_EQ(RegexMatchString(m, c.subject.data(), c.subject.size(), 0, &start, &length),
                  c.expected)
            << c.shows;
        if (c.expected) {
            EXPECT_EQ(start, c.start) << c.shows;
            EXPECT_EQ(length, c.length) << c.shows;
        }
        RegexFree(m);
    }
}

// Names whose bytes are not UTF-8 travel with escaped bytes; matching goes
// on around them in both Unicode encodings.
TEST_F(Regex, NamesWithEscapedBytes) {
    // The byte 0xE9 of a Latin-1 name, escaped.
    const char16_t escaped = 0xDCE9;
    const std::u16string name = u"caf" + std::u16string(1, escaped) + u".txt";
    std::string bytes = Utf8(name);
    ASSERT_EQ(bytes, std::string("caf\xE9.txt"));
    size_t start = 0, length = 0;

    RegexMatcher* m8 = RegexCreate(u"\\.TXT$", FALSE, REGEX_UTF8, nullptr, 0);
    ASSERT_NE(m8, nullptr);
    EXPECT_EQ(RegexMatchString(m8, bytes.data(), bytes.size(), 0, &start, &length), 1);
    EXPECT_EQ(start, 4u);
    EXPECT_EQ(length, 4u);
    RegexFree(m8);
    m8 = RegexCreate(u"^caf", TRUE, REGEX_UTF8, nullptr, 0);
    ASSERT_NE(m8, nullptr);
    EXPECT_EQ(RegexMatchString(m8, bytes.data(), bytes.size(), 0, &start, &length), 1);
    RegexFree(m8);

    RegexMatcher* m16 = RegexCreate(u"\\.TXT$", FALSE, REGEX_UTF16, nullptr, 0);
    ASSERT_NE(m16, nullptr);
    EXPECT_EQ(RegexMatchString(m16, name.data(), name.size() * 2, 0, &start, &length), 1);
    EXPECT_EQ(start, 8u);
    EXPECT_EQ(length, 8u);
    // The escaped unit is no character: nothing matches it as one.
    RegexMatcher* any = RegexCreate(u"f.\\.", TRUE, REGEX_UTF16, nullptr, 0);
    ASSERT_NE(any, nullptr);
    EXPECT_EQ(RegexMatchString(any, name.data(), name.size() * 2, 0, &start, &length), 0);
    RegexFree(any);
    WCHAR out[64];
    EXPECT_EQ(RegexRename(m16, name.c_str(), u".md", 0, out, 64, nullptr, 0), 1);
    EXPECT_EQ(std::u16string(out), u"caf" + std::u16string(1, escaped) + u".md");
    RegexFree(m16);
}

TEST_F(Regex, CompileErrorsNameTheColumn) {
    char error[200] = "";
    EXPECT_EQ(RegexValidate(u"a(b", FALSE, REGEX_UTF8, error, sizeof error), 0);
    std::string text = error;
    ASSERT_GE(text.size(), 11u);
    EXPECT_EQ(text.substr(text.size() - 11), "at column 4") << text;
    EXPECT_EQ(RegexCreate(u"a(b", FALSE, REGEX_UTF16, error, sizeof error), nullptr);
    EXPECT_NE(std::string(error).find("at column 4"), std::string::npos) << error;
    // A short buffer is cut, never overrun.
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(RegexValidate(u"a(b", FALSE, REGEX_UTF8, small, 5), 0);
    EXPECT_EQ(small[4], 0);
    EXPECT_EQ(small[5], 'x');
    // No buffer, no text.
    EXPECT_EQ(RegexValidate(u"a(b", FALSE, REGEX_UTF8, nullptr, 0), 0);
    EXPECT_EQ(RegexValidate(u"a(b)", FALSE, REGEX_UTF8, error, sizeof error), 1);
}

// A pattern is refused whole when its conversion does not fit, rather than
// compiled cut short (where "a{1000}b" would become "a{1000}").
TEST_F(Regex, PatternsWhoseConversionDoesNotFitAreRefused) {
    struct Row {
        const char* shows;
        std::u16string pattern;
        int encoding;
        int expected;
    } rows[] = {
        {"1039 bytes and the terminator fit", std::u16string(1039, u'a'), REGEX_UTF8, 1},
        {"1040 bytes do not", std::u16string(1040, u'a'), REGEX_UTF8, 0},
        {"two-byte characters count as two", std::u16string(520, u'\u00E9'), REGEX_UTF8, 0},
        {"519 of them fit", std::u16string(519, u'\u00E9'), REGEX_UTF8, 1},
        {"OEM page, 1040 bytes", std::u16string(1040, u'a'), REGEX_OEM, 0},
        {"ANSI page, 1039 bytes", std::u16string(1039, u'a'), REGEX_ANSI, 1},
        {"UTF-16 is not converted", std::u16string(3000, u'a'), REGEX_UTF16, 1},
    };
    for (const Row& r : rows) {
        char error[200] = "";
        EXPECT_EQ(RegexValidate(r.pattern.c_str(), FALSE, r.encoding, error, sizeof error), r.expected)
            << r.shows;
        if (!r.expected) {
            EXPECT_STREQ(error, "The regular expression is too long") << r.shows;
        }
    }
    // The part that would have fitted is a different pattern.
    std::u16string cut = std::u16string(1036, u'x') + u"a{2}b";
    char error[200] = "";
    EXPECT_EQ(RegexCreate(cut.c_str(), TRUE, REGEX_ANSI, error, sizeof error), nullptr);
    EXPECT_STREQ(error, "The regular expression is too long");
}

TEST_F(Regex, MatchStringOffsetsInBytes) {
    RegexMatcher* m = RegexCreate(u"b", TRUE, REGEX_UTF16, nullptr, 0);
    ASSERT_NE(m, nullptr);
    std::string s = Units(u"abab");
    size_t start = 0, length = 0;
    EXPECT_EQ(RegexMatchString(m, s.data(), s.size(), 0, &start, &length), 1);
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(length, 2u);
    // An odd start is rounded up to the next unit.
    EXPECT_EQ(RegexMatchString(m, s.data(), s.size(), 3, &start, &length), 1);
    EXPECT_EQ(start, 6u);
    EXPECT_EQ(RegexMatchString(m, s.data(), s.size(), 7, &start, &length), 0);
    EXPECT_EQ(RegexMatchString(m, s.data(), s.size(), 9, &start, &length), 0);
    // A match that the subject's end cuts is no match.
    RegexMatcher* whole = RegexCreate(u"abc", TRUE, REGEX_UTF8, nullptr, 0);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(RegexMatchString(whole, "xab", 3, 0, &start, &length), 0);
    RegexFree(whole);
    RegexFree(m);
}

// The search over a text read in 64 KiB buffers: a match that the end of
// one buffer cuts is reported partial, and the bytes carried over let the
// next buffer find it.
TEST_F(Regex, AMatchAcrossABufferBoundaryIsFoundThroughTheOverlap) {
    const size_t kBuffer = 65536;
    struct Row {
        const char* shows;
        int encoding;
        std::string text; // "needle" starts 4 units before the buffer's end
        size_t unit, overlap, minimum;
    };
    std::string utf16 = Units(std::u16string(kBuffer / 2 - 4, u'x') + u"needle and more");
    const Row rows[] = {
        {"8-bit", REGEX_UTF8, std::string(kBuffer - 4, 'x') + "NEEDLE and more", 1, 5, 1},
        {"16-bit", REGEX_UTF16, utf16, 2, 10, 2},
    };
    for (const Row& r : rows) {
        RegexMatcher* m = RegexCreate(u"needle", FALSE, r.encoding, nullptr, 0);
        ASSERT_NE(m, nullptr) << r.shows;
        size_t start = 0, length = 0, overlap = 0, minimum = 0;
        EXPECT_EQ(RegexSearchBuffer(m, r.text.data(), kBuffer, 0, &start, &length, &overlap, &minimum), 0)
            << r.shows;
        EXPECT_EQ(overlap, r.overlap) << r.shows;
        EXPECT_EQ(minimum, r.minimum) << r.shows;
        // The next buffer begins with the bytes carried over.
        std::string next = r.text.substr(kBuffer - overlap);
        EXPECT_EQ(RegexSearchBuffer(m, next.data(), next.size(), 0, &start, &length, &overlap, &minimum), 1)
            << r.shows;
        EXPECT_EQ(kBuffer - r.overlap + start, kBuffer - 4 * r.unit) << r.shows;
        EXPECT_EQ(length, 6 * r.unit) << r.shows;
        RegexFree(m);
    }
}

TEST_F(Regex, SearchBufferPhasesLimitsAndPlainOverlaps) {
    RegexMatcher* m16 = RegexCreate(u"needle", TRUE, REGEX_UTF16, nullptr, 0);
    ASSERT_NE(m16, nullptr);
    size_t start = 0, length = 0, overlap = 0, minimum = 0;
    // UTF-16 text that starts at an odd byte.
    std::string odd = "\x01" + Units(u"a needle");
    ASSERT_EQ(RegexSearchBuffer(m16, odd.data(), odd.size(), 0, &start, &length, &overlap, &minimum), 1);
    EXPECT_EQ(start, 5u);
    EXPECT_EQ(length, 12u);
    // Of both phases the earlier match wins.
    std::string both = Units(u"....needle") + std::string(1, '\0') + Units(u"needle");
    ASSERT_EQ(RegexSearchBuffer(m16, both.data(), both.size(), 0, &start, &length, &overlap, &minimum), 1);
    EXPECT_EQ(start, 8u);
    // Nothing to find: three bytes carried, at least one unit.
    std::string none(100, 'x');
    EXPECT_EQ(RegexSearchBuffer(m16, none.data(), none.size(), 0, &start, &length, &overlap, &minimum), 0);
    EXPECT_EQ(overlap, 3u);
    EXPECT_EQ(minimum, 2u);
    RegexFree(m16);

    RegexMatcher* m8 = RegexCreate(u"needle", TRUE, REGEX_UTF8, nullptr, 0);
    ASSERT_NE(m8, nullptr);
    EXPECT_EQ(RegexSearchBuffer(m8, none.data(), none.size(), 0, &start, &length, &overlap, &minimum), 0);
    EXPECT_EQ(overlap, 1u);
    EXPECT_EQ(minimum, 1u);
    // No match starts before the limit.
    std::string twice = "needle needle";
    ASSERT_EQ(RegexSearchBuffer(m8, twice.data(), twice.size(), 1, &start, &length, &overlap, &minimum), 1);
    EXPECT_EQ(start, 7u);
    // A partial match of most of a small buffer carries at most half of it.
    std::string tiny = "xneedl";
    EXPECT_EQ(RegexSearchBuffer(m8, tiny.data(), tiny.size(), 0, &start, &length, &overlap, &minimum), 0);
    EXPECT_EQ(overlap, 3u);
    RegexFree(m8);
}

TEST_F(Regex, RenameTable) {
    struct Row {
        const char* shows;
        const char16_t* pattern;
        const char16_t* name;
        const char16_t* replacement;
        int selector;
        int expected;
        const char16_t* result;
    } rows[] = {
        {"every match", u"\\d", u"a1b2", u"#", 0, 2, u"a#b#"},
        {"the first", u"\\d", u"a1b2", u"#", 1, 1, u"a#b2"},
        {"the last", u"\\d", u"a1b2", u"#", -1, 1, u"a1b#"},
        {"more than there are, from the front", u"\\d", u"a1b2", u"#", 5, 2, u"a#b#"},
        {"more than there are, from the back", u"\\d", u"a1b2", u"#", -5, 2, u"a#b#"},
        {"the last two of three", u"\\d", u"1a2b3", u"#", -2, 2, u"1a#b#"},
        {"no match keeps the name", u"z", u"a1b2", u"#", 0, 0, u"a1b2"},
        {"groups", u"(\\w)(\\d)", u"a1b2", u"${2}${1}", 0, 2, u"1a2b"},
        {"case conversion of the extended syntax", u"^(\\w+)", u"readme.txt", u"\\U$1", 0, 1, u"README.txt"},
        {"an unset group is empty", u"a(x)?", u"ab", u"[$1]", 0, 1, u"[]b"},
        {"empty matches step one character", u"x*", u"ab", u"-", 0, 3, u"-a-b-"},
        {"and never split a surrogate pair", u"x*", u"\U0001F600", u"-", 0, 2, u"-\U0001F600-"},
        {"caseless by default", u"A", u"banana", u"o", 0, 3, u"bonono"},
    };
    for (const Row& r : rows) {
        char error[200] = "";
        RegexMatcher* m = RegexCreate(r.pattern, FALSE, REGEX_UTF16, error, sizeof error);
        ASSERT_NE(m, nullptr) << r.shows << ": " << error;
        WCHAR out[64];
        EXPECT_EQ(RegexRename(m, r.name, r.replacement, r.selector, out, 64, error, sizeof error),
                  r.expected)
            << r.shows << ": " << error;
        if (r.expected >= 0) {
            EXPECT_EQ(std::u16string(out), std::u16string(r.result)) << r.shows;
        }
        RegexFree(m);
    }
}

TEST_F(Regex, RenameFailures) {
    char error[200] = "";
    RegexMatcher* m = RegexCreate(u"\\d", FALSE, REGEX_UTF16, nullptr, 0);
    ASSERT_NE(m, nullptr);
    WCHAR out[8];
    // "a#b#" and its terminator need five units.
    EXPECT_EQ(RegexRename(m, u"a1b2", u"#", 0, out, 5, error, sizeof error), 2);
    EXPECT_EQ(RegexRename(m, u"a1b2", u"#", 0, out, 4, error, sizeof error), -1);
    EXPECT_STREQ(error, "The new name is too long");
    std::strcpy(error, "");
    EXPECT_EQ(RegexRename(m, u"a1b2", u"####", 0, out, 8, error, sizeof error), -1);
    EXPECT_STREQ(error, "The new name is too long");
    std::strcpy(error, "");
    // A replacement the library refuses: its own message.
    EXPECT_EQ(RegexRename(m, u"a1b2", u"${", 0, out, 8, error, sizeof error), -1);
    EXPECT_NE(std::string(error), "");
    EXPECT_NE(std::string(error), "The new name is too long");
    RegexFree(m);
    // Renames take 16-bit matchers only.
    RegexMatcher* m8 = RegexCreate(u"\\d", FALSE, REGEX_UTF8, nullptr, 0);
    ASSERT_NE(m8, nullptr);
    EXPECT_EQ(RegexRename(m8, u"a1b2", u"#", 0, out, 8, error, sizeof error), -1);
    EXPECT_STREQ(error, "A regex rename needs PCRE2 10.35 or later");
    RegexFree(m8);
}

TEST_F(Regex, BindingTakesTheFirstLibraryItFindsAndWantsEveryFunction) {
    Pcre2Api api{};
    const char* const list[] = {"libpcre2-none.so", "libpcre2-16.so.0", nullptr};
    ASSERT_EQ(Pcre2Bind(&api, list, "16"), 1);
    EXPECT_NE(api.compileContext, nullptr);
    EXPECT_NE(api.matchContext, nullptr);
    EXPECT_NE(api.substitute, nullptr);
    Pcre2Unbind(&api, "16");
    EXPECT_EQ(api.library, nullptr);
    // The 8-bit library has no 16-bit functions: nothing stays bound.
    const char* const wrong[] = {"libpcre2-8.so.0", nullptr};
    std::memset(&api, 0x5A, sizeof api);
    EXPECT_EQ(Pcre2Bind(&api, wrong, "16"), 0);
    EXPECT_EQ(api.library, nullptr);
    EXPECT_EQ(api.compile, nullptr);
    EXPECT_EQ(api.compileContext, nullptr);
    const char* const missing[] = {"libpcre2-none.so", nullptr};
    EXPECT_EQ(Pcre2Bind(&api, missing, "8"), 0);
}

TEST_F(Regex, WithoutSupportNothingCompilesAndNothingBreaks) {
    Pcre2Release();
    char error[200] = "untouched";
    EXPECT_EQ(RegexValidate(u"a", FALSE, REGEX_UTF8, error, sizeof error), 0);
    EXPECT_EQ(RegexCreate(u"a", FALSE, REGEX_UTF16, error, sizeof error), nullptr);
    RegexFree(nullptr);
    size_t start = 0, length = 0, overlap = 0, minimum = 0;
    EXPECT_EQ(RegexMatchString(nullptr, "a", 1, 0, &start, &length), 0);
    EXPECT_EQ(RegexSearchBuffer(nullptr, "a", 1, 0, &start, &length, &overlap, &minimum), 0);
    WCHAR out[8];
    EXPECT_EQ(RegexRename(nullptr, u"a", u"b", 0, out, 8, error, sizeof error), -1);
    EXPECT_TRUE(Pcre2Init());
}

// The probe program, built where only some links lie beside it.
std::string RunProbe(const char* program) {
    std::string output;
    FILE* pipe = ::popen(program, "r");
    if (!pipe) return output;
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) output += line;
    int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) output += "exit failed\n";
    return output;
}

TEST(RegexLibraries, OnlyThe8BitLibraryLeavesSupportOff) {
    EXPECT_EQ(RunProbe(QUILB_REGEX_PROBE_ONLY8),
              "support 0\nbound8 1\nbound16 0\nvalidate 0\ncreate 0\nmatch 0\nsearch 0\n"
              "rename -1\ndone\n");
}

TEST(RegexLibraries, NoLibraryLeavesSupportOffAndNothingCrashes) {
    EXPECT_EQ(RunProbe(QUILB_REGEX_PROBE_NONE),
              "support 0\nbound8 0\nbound16 0\nvalidate 0\ncreate 0\nmatch 0\nsearch 0\n"
              "rename -1\ndone\n");
}

TEST(RegexLibraries, BothLibrariesBesideTheProbe) {
    EXPECT_EQ(RunProbe(QUILB_REGEX_PROBE_BOTH),
              "support 1\nbound8 1\nbound16 1\nvalidate 1\ncreate 1\nmatch 1\nsearch 1\n"
              "rename 1\ndone\n");
}

// PCRE2 is loaded at run time only: neither the program nor this test
// names it among the libraries it needs.
TEST(RegexLibraries, NoProgramLinksPcre2) {
    char self[4096] = "";
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    for (const char* program : {QUILB_PROGRAM, static_cast<const char*>(self)}) {
        std::string output = RunProbe((std::string("readelf -d '") + program + "'").c_str());
        EXPECT_NE(output.find("(NEEDED)"), std::string::npos) << program << "\n" << output;
        EXPECT_EQ(output.find("pcre"), std::string::npos) << program << "\n" << output;
    }
}

} // namespace
