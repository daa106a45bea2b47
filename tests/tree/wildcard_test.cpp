// Wildcard matching: the edge cases of the four entries as one table, the
// matcher against a plain reference on generated patterns, and patterns
// whose many stars would make a plain walk run for ever.
#include "tree/wildcard.h"

#include "settings/settings.h"
#include "wildcard_reference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// U+25C4 and U+25BA delimit a set.
#define SET(x) u"\u25C4" x u"\u25BA"

enum class Entry { FileName, Flags11, Flags27, Flags59 };

struct Case {
    const char* shows;
    Entry entry;
    const char16_t* pattern;   // the name pattern for FileName
    const char16_t* extension; // FileName only
    const char16_t* name;
    int trailingExact;
    int expected;
};

int RunCase(const Case& c) {
    gSettings.bTrailingQExact = static_cast<BYTE>(c.trailingExact);
    switch (c.entry) {
    case Entry::FileName: {
        FnMatchPattern p{};
        std::u16string(c.pattern).copy(p.name, FNMATCH_PATTERN_UNITS - 1);
        std::u16string(c.extension).copy(p.extension, FNMATCH_PATTERN_UNITS - 1);
        return fnmatch(&p, c.name);
    }
    case Entry::Flags11: return FnMatchFlags11(c.pattern, c.name);
    case Entry::Flags27: return FnMatchFlags27(c.pattern, c.name);
    case Entry::Flags59: return FnMatchFlags59(c.pattern, c.name);
    }
    return -1;
}

const Case kCases[] = {
    {"any name, txt extension, case ignored", Entry::FileName, u"*", u"txt", u"Report.TXT", 0, 1},
    {"a name without extension wants an empty or * extension", Entry::FileName, u"*", u"txt", u"report", 0, 0},
    {"*.* takes a name without extension", Entry::FileName, u"*", u"*", u"Makefile", 0, 1},
    {"an empty extension pattern takes a name without one", Entry::FileName, u"make*", u"", u"Makefile", 0, 1},
    {"a leading dot is no extension", Entry::FileName, u"*", u"", u".bashrc", 0, 1},
    {"a leading dot is no extension, so bashrc is no extension pattern", Entry::FileName, u"*", u"bashrc", u".bashrc", 0, 0},
    {"the last dot splits", Entry::FileName, u"a.b", u"c", u"a.b.c", 0, 1},
    {"the name part stops at the last dot", Entry::FileName, u"a", u"b.c", u"a.b.c", 0, 0},
    {"trailing ? may match nothing: ab", Entry::FileName, u"ab??", u"*", u"ab", 0, 1},
    {"trailing ? may match nothing: abc", Entry::FileName, u"ab??", u"*", u"abc", 0, 1},
    {"trailing ? takes at most one each", Entry::FileName, u"ab??", u"*", u"abcde", 0, 0},
    {"exact trailing ?: ab fails", Entry::FileName, u"ab??", u"*", u"ab", 1, 0},
    {"exact trailing ?: abc fails", Entry::FileName, u"ab??", u"*", u"abc", 1, 0},
    {"exact trailing ?: four characters match", Entry::FileName, u"ab??", u"*", u"abcd", 1, 1},
    {"a ? before a literal never matches nothing", Entry::FileName, u"ab?x", u"*", u"abx", 0, 0},
    {"? never takes the dot of the extension", Entry::FileName, u"ab??", u"c", u"ab.c", 1, 0},
    {"loose trailing ? with an extension", Entry::FileName, u"ab??", u"c", u"ab.c", 0, 1},
    {"a range matches a capital", Entry::FileName, SET(u"a-c"), u"*", u"B", 0, 1},
    {"a negated range", Entry::FileName, SET(u"!a-c"), u"*", u"B", 0, 0},
    {"a negated range takes what it lacks", Entry::FileName, SET(u"^a-c"), u"*", u"d", 0, 1},
    {"range bounds are lower-cased", Entry::FileName, SET(u"A-C") u"x", u"*", u"bX", 0, 1},
    {"a - before the closer is a character", Entry::FileName, SET(u"a-"), u"*", u"-", 0, 1},
    {"a - before the closer is no range", Entry::FileName, SET(u"a-"), u"*", u"b", 0, 0},
    {"a set without closer fails", Entry::FileName, u"\u25C4" u"ab", u"*", u"a", 0, 0},
    {"a set needs a character", Entry::FileName, u"a" SET(u"a-z"), u"*", u"a", 0, 0},
    {"brackets are ordinary characters", Entry::FileName, u"[a]*", u"*", u"[a]b", 0, 1},
    {"brackets are no set", Entry::FileName, u"[a]*", u"*", u"ab", 0, 0},
    {"non-ASCII letters compare lower-cased", Entry::FileName, u"\u00C9t\u00C9", u"txt", u"\u00E9t\u00E9.TXT", 0, 1},
    {"star then set", Entry::FileName, u"*" SET(u"0-9"), u"log", u"app7.log", 0, 1},
    {"* and ? after a star take one character each", Entry::FileName, u"a*?b", u"*", u"ab", 0, 0},
    {"a star run ending the name part matches", Entry::FileName, u"a*??", u"*", u"ab", 0, 1},
    {"a star stops at the name part", Entry::FileName, u"*x", u"y", u"ax.y", 0, 1},
    {"one level: the file", Entry::Flags11, u"C:\\data\\*.log", nullptr, u"C:\\data\\x.log", 0, 1},
    {"one level: not below", Entry::Flags11, u"C:\\data\\*.log", nullptr, u"C:\\data\\x\\y.log", 0, 0},
    {"a final star passes backslashes", Entry::Flags11, u"C:\\data\\*", nullptr, u"C:\\data\\x\\y.log", 0, 1},
    {"a backslash is no escape", Entry::Flags11, u"x\\*", nullptr, u"x\\yz", 0, 1},
    {"a backslash is no escape for a star", Entry::Flags11, u"x\\*", nullptr, u"x*", 0, 0},
    {"? never takes a slash", Entry::Flags11, u"a?b", nullptr, u"a/b", 0, 0},
    {"a set listing a slash fails", Entry::Flags11, u"a" SET(u"/x"), nullptr, u"ax", 0, 0},
    {"without ** a double star stays in its level", Entry::Flags11, u"C:\\**.log", nullptr, u"C:\\a\\b.log", 0, 0},
    {"** passes directories", Entry::Flags27, u"C:\\data\\**\\*.log", nullptr, u"C:\\data\\a\\b\\z.log", 0, 1},
    {"**\\ may stand for no directory", Entry::Flags27, u"C:\\**\\data\\*.log", nullptr, u"C:\\data\\x.log", 0, 1},
    {"without ** no directory may not vanish", Entry::Flags11, u"C:\\**\\data\\*.log", nullptr, u"C:\\data\\x.log", 0, 0},
    {"** still wants the last separator", Entry::Flags27, u"C:\\data\\**\\*.log", nullptr, u"C:\\data\\z.log", 0, 0},
    {"** without a separator after it", Entry::Flags27, u"C:\\**.log", nullptr, u"C:\\a\\b.log", 0, 1},
    {"a single star after ** stays in its level", Entry::Flags27, u"C:\\**\\x*c", nullptr, u"C:\\a\\xb\\c", 0, 0},
    {"a single star after ** within its level", Entry::Flags27, u"C:\\**\\x*c", nullptr, u"C:\\a\\xbc", 0, 1},
    {"case is ignored in paths", Entry::Flags27, u"c:\\DATA\\**", nullptr, u"C:\\data\\x", 0, 1},
    {"a path that runs out on the way", Entry::Flags59, u"C:\\data\\sub\\*.txt", nullptr, u"C:\\data", 0, 1},
    {"a path that leaves the pattern", Entry::Flags59, u"C:\\data\\sub\\*.txt", nullptr, u"C:\\other", 0, 0},
    {"a path that runs out inside a star's reach", Entry::Flags59, u"C:\\pro*\\src\\*.c", nullptr, u"C:\\projects", 0, 1},
    {"a star's level that cannot match", Entry::Flags59, u"C:\\pro*x\\src", nullptr, u"C:\\pro\\a", 0, 0},
    {"without the leading-part flag a short path fails", Entry::Flags27, u"C:\\data\\sub\\*.txt", nullptr, u"C:\\data", 0, 0},
};

TEST(Wildcard, EdgeCasesOfTheFourEntries) {
    for (const Case& c : kCases) EXPECT_EQ(RunCase(c), c.expected) << c.shows;
    gSettings.bTrailingQExact = 0;
}

TEST(Wildcard, EscapesWithoutTheNoEscapeFlag) {
    struct Row {
        const char16_t* pattern;
        const char16_t* name;
        int expected;
    } rows[] = {
        {u"a\\*", u"a*", 1},
        {u"a\\*", u"ab", 0},
        {u"*\\?", u"ab?", 1},
        {u"*\\?", u"abc", 0},
        {SET(u"\\\u25BA") u"x", u"\u25BAx", 1},
        {u"a\\", u"a\\", 1},
    };
    gFnMatchFlags = 0;
    for (const Row& r : rows)
        EXPECT_EQ(FnMatchCore(r.pattern, r.name), r.expected) << "row " << (&r - rows);
    gFnMatchFlags = FNM_NO_ESCAPE;
    EXPECT_EQ(FnMatchCore(u"a\\*", u"a\\bc"), 1);
}

// Stars that each could start anywhere: a plain walk tries every way of
// cutting the name, which does not end in any reasonable time.
TEST(Wildcard, ManyStarsAgainstALongNameKeepTheirAnswers) {
    std::u16string as(255, u'a');
    FnMatchPattern p{};
    std::u16string(u"*a*a*a*a*a*a*a*a*b").copy(p.name, 255);
    p.extension[0] = u'*';
    EXPECT_EQ(fnmatch(&p, as.c_str()), 0);
    std::u16string(u"*a*a*a*a*a*a*a*a*a").copy(p.name, 255);
    EXPECT_EQ(fnmatch(&p, as.c_str()), 1);
    EXPECT_EQ(FnMatchFlags27(u"*a*a*a*a*a*a*a*a*b", as.c_str()), 0);
    // A path that ends inside a star's reach may still grow into a match.
    EXPECT_EQ(FnMatchFlags59(u"*a*a*a*a*a*a*a*a*b", as.c_str()), 1);
    EXPECT_EQ(FnMatchFlags59(u"*a*a*a*a*a*a*a*a*b\\", (as + u"\\x").c_str()), 0);
    EXPECT_EQ(FnMatchFlags11(u"*a*a*a*a*a*a*a*a*", as.c_str()), 1);

    // A long path needs more room than the matcher keeps at hand.
    std::u16string path;
    for (int i = 0; i < 200; i++) path += u"\\aaaaaaaa";
    std::u16string stars;
    for (int i = 0; i < 16; i++) stars += u"**a";
    EXPECT_EQ(FnMatchFlags27((stars + u"b").c_str(), path.c_str()), 0);
    EXPECT_EQ(FnMatchFlags27((stars + u"a").c_str(), path.c_str()), 1);
    EXPECT_EQ(FnMatchFlags11((stars + u"a").c_str(), path.c_str()), 0);
}

// The matcher and the reference agree on every pattern without sets, for
// every flag set and both trailing-? settings.
TEST(Wildcard, AgreesWithThePlainReference) {
    const char16_t patternChars[] = u"aAb.\\/*?";
    const char16_t nameChars[] = u"abB.\\/";
    std::mt19937 random(20);
    int matches = 0;
    for (int i = 0; i < 40000; i++) {
        std::u16string pattern, name;
        size_t pl = random() % 9, nl = random() % 11;
        for (size_t k = 0; k < pl; k++) pattern += patternChars[random() % 8];
        for (size_t k = 0; k < nl; k++) name += nameChars[random() % 6];
        unsigned flags = random() % 64;
        bool exact = random() % 2;
        gFnMatchFlags = flags;
        gSettings.bTrailingQExact = exact;
        int got = FnMatchCore(pattern.c_str(), name.c_str());
        bool want = qtest::WildcardReference(pattern, name, flags, exact).Matches();
        ASSERT_EQ(got, want ? 1 : 0) << "flags " << flags << " exact " << exact << " pattern "
                                     << std::string(pattern.begin(), pattern.end()) << " name "
                                     << std::string(name.begin(), name.end());
        matches += got;
    }
    gSettings.bTrailingQExact = 0;
    // Both answers are well represented.
    EXPECT_GT(matches, 2000);
    EXPECT_LT(matches, 38000);
}

} // namespace
