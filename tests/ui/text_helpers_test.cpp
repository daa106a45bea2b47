// Paths and names fitted into columns (never past their width), buffers
// filled and trimmed, texts searched and wrapped, typed paths expanded
// through the drive map, the filters' cache of compiled expressions, the
// shared pointer array, and the scroll-bar marks and rule lines on the test
// process's own console.
#include "platform_fixture.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "qposix_drives.h"
#include "settings/colours.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/regex_filters.h"
#include "tree_builder.h"
#include "ui/filter_cache.h"
#include "ui/sorted_nodes.h"
#include "ui/text_helpers.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using qtest::ConsoleText;

constexpr char16_t kMark = 0x25BA;
// What a buffer holds beyond the part a helper may write.
constexpr char16_t kGuard = u'#';

std::u16string Letters(size_t n, char16_t first = u'a') {
    std::u16string s;
    for (size_t i = 0; i < n; i++) s += char16_t(first + i % 26);
    return s;
}

// A buffer of guard units; the helper's text must end where it should and
// leave every unit after its terminator alone.
struct Guarded {
    explicit Guarded(size_t room) : units(room + 8, kGuard) {}
    WCHAR* data() { return units.data(); }
    std::u16string Text() const { return std::u16string(units.data()); }
    bool IntactFrom(size_t from) const {
        for (size_t i = from; i < units.size(); i++)
            if (units[i] != kGuard) return false;
        return true;
    }
    std::vector<WCHAR> units;
};

// The display form "/tmp/qtest-fit" of drive Q:, and the display mode and
// branch path colour that FitPathToWidth reads, put back afterwards.
class PathFitting : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(DriveMapSet('Q', "/tmp/qtest-fit", nullptr));
        gFitMarkLength = 0;
    }
    void TearDown() override {
        DriveMapClear('Q');
        gFitMarkLength = 0;
        gDisplayMode[0] = gDisplayMode[1] = 1;
        gExtraColours.currPath = savedPathColour_;
    }
    BYTE savedPathColour_ = gExtraColours.currPath;
};

TEST_F(PathFitting, PathsFillExactlyTheirWidth) {
    const std::u16string path100 = u"/" + Letters(99);
    const struct {
        const char* why;
        std::u16string path;
        WORD width;
        std::u16string text;
    } kCases[] = {
        {"shortened around dots", path100, 40, path100.substr(0, 18) + u"..." + path100.substr(81)},
        {"fits with blanks", u"/abcdefghi", 15, u"/abcdefghi     "},
        {"fits exactly", u"/abcdefghi", 10, u"/abcdefghi"},
        {"22 columns keep the head", path100, 22,
         path100.substr(0, 18) + u"..." + path100.substr(99)},
        {"below 22 columns the end", path100, 21, path100.substr(79)},
        {"a narrow column", path100, 5, path100.substr(95)},
        {"no width", path100, 0, u""},
        {"display form", u"Q:\\data\\x", 25, u"/tmp/qtest-fit/data/x    "},
        {"display form cut", u"Q:\\data\\x", 20, u"tmp/qtest-fit/data/x"},
    };
    for (const auto& c : kCases) {
        Guarded out(c.width);
        FitPathToWidth(out.data(), c.path.c_str(), c.width);
        EXPECT_EQ(out.Text(), c.text) << c.why;
        EXPECT_EQ(out.Text().size(), size_t(c.width)) << c.why;
        EXPECT_TRUE(out.IntactFrom(size_t(c.width) + 1)) << c.why << ": wrote past the width";
    }
    // A width above the longest path is taken as 1024.
    const std::u16string path2000 = u"/" + Letters(1999);
    Guarded out(1024);
    FitPathToWidth(out.data(), path2000.c_str(), 3000);
    EXPECT_EQ(out.Text().size(), 1024u);
    EXPECT_TRUE(out.IntactFrom(1025));
}

TEST_F(PathFitting, TheResultIsTheShownLengthOfTheMarkedPart) {
    const std::u16string path100 = u"/" + Letters(99);
    const struct {
        const char* why;
        std::u16string path;
        DWORD mark;
        WORD width;
        bool branch;
        BYTE colour;
        WORD result;
    } kCases[] = {
        {"no mark", u"Q:\\data\\x", 0, 40, false, 0, 0},
        {"display length of the mark", u"Q:\\data\\x", 7, 40, false, 0, 19},
        {"a separator shown as '/'", u"Q:\\data\\x", 8, 40, false, 0, 20},
        {"mark past the end", u"Q:\\data\\x", 50, 40, false, 0, 21},
        {"shortened: whole length", path100, 80, 40, false, 0, 100},
        {"branch without colour", path100, 80, 40, true, 0, 100},
        {"branch, short mark", path100, 10, 40, true, 0x1E, 10},
        {"branch, mark less what was cut", path100, 80, 40, true, 0x1E, 20},
        {"branch, mark mostly cut", path100, 70, 40, true, 0x1E, 18},
    };
    for (const auto& c : kCases) {
        gFitMarkLength = c.mark;
        gDisplayMode[gCurrentPane & 1] = c.branch ? 3 : 1;
        gExtraColours.currPath = c.colour;
        WCHAR out[1025];
        EXPECT_EQ(FitPathToWidth(out, c.path.c_str(), c.width), c.result) << c.why;
    }
}

TEST(NameFitting, CutTextsEndInTheMarkAndStayInTheirRoom) {
    const std::u16string long300 = Letters(300);
    const struct {
        std::u16string text;
        WORD n;
        std::u16string result;
    } kCases[] = {
        {u"abcdef", 4, u"abc" + std::u16string(1, kMark)},
        {u"abcdef", 6, u"abcdef"},
        {u"abcdef", 7, u"abcdef"},
        {u"abcdef", 1, std::u16string(1, kMark)},
        {u"abcdef", 0, u""},
        {u"", 5, u""},
        {long300, 300, long300.substr(0, 255) + std::u16string(1, kMark)},
    };
    for (const auto& c : kCases) {
        Guarded out(std::min<size_t>(c.n, 256));
        EXPECT_EQ(TruncateWithMark(out.data(), c.text.c_str(), c.n), c.result.size()) << c.n;
        EXPECT_EQ(out.Text(), c.result) << c.n;
        EXPECT_TRUE(out.IntactFrom(c.result.size() + 1)) << c.n;
    }

    const std::string narrow300(300, 'x');
    const struct {
        const char* text;
        WORD width;
        const char* result;
    } kNarrow[] = {
        {"abcdef", 4, "abc"},  {"abcdef", 6, "abcdef"},
        {"abc", 10, "abc"},    {narrow300.c_str(), 300, nullptr}, // 255 of them
    };
    for (const auto& c : kNarrow) {
        char out[300];
        const std::string expected = c.result ? c.result : std::string(255, 'x');
        EXPECT_EQ(StrCopyTrunc(out, c.text, c.width), expected.size()) << c.width;
        EXPECT_EQ(std::string(out), expected) << c.width;
    }
    char untouched[4] = "zz";
    EXPECT_EQ(StrCopyTrunc(untouched, "abc", 0), 0);
    EXPECT_STREQ(untouched, "zz") << "width 0 copies nothing";
}

// A display list of file entries made from names, as the list builder
// leaves it, for the helpers that read names by list index.
class ListNames : public ::testing::Test {
  protected:
    void Use(const std::vector<std::u16string>& names) {
        entries_.assign(names.size(), FileEntry{});
        block_.assign(sizeof(DisplayFileList) / sizeof(void*) + names.size() + 1, nullptr);
        list_ = reinterpret_cast<DisplayFileList*>(block_.data());
        for (size_t i = 0; i < names.size(); i++) {
            qtest::StoreEntryName(&entries_[i], names[i]);
            ListEntries(list_)[i] = reinterpret_cast<EntryHead*>(&entries_[i]);
        }
        gFileList = list_;
        gFMax = DWORD(names.size());
    }
    void TearDown() override {
        for (FileEntry& e : entries_) std::free(e.pszLongName);
        gFileList = nullptr;
        gFMax = 0;
    }
    std::vector<FileEntry> entries_;
    std::vector<void*> block_;
    DisplayFileList* list_ = nullptr;
};

TEST_F(ListNames, NameColumnsAreTwentyWideAndKeepShortExtensions) {
    const std::u16string m(1, kMark);
    const struct {
        std::u16string name;
        std::u16string column;
    } kCases[] = {
        {u"short.txt", u"short.txt           "},
        {u"exactly-twenty-chars", u"exactly-twenty-chars"},
        {u"a-rather-long-file-name.c", u"a-rather-long-fil" + m + u".c"},
        {u"a-rather-long-file-name.txt", u"a-rather-long-f" + m + u".txt"},
        {u"a-rather-long-name.json", u"a-rather-long-" + m + u".json"},
        {u"a-rather-long-name.markdown", u"a-rather-long-" + m + u".mar" + m},
        {u"no-extension-at-all-here", u"no-extension-at-all" + m},
        {u"early.dot-then-a-long-name", u"early.dot-then-a-lo" + m},
    };
    std::vector<std::u16string> names;
    for (const auto& c : kCases) names.push_back(c.name);
    Use(names);
    for (size_t i = 0; i < std::size(kCases); i++) {
        WCHAR out[21];
        FormatNameColumn(out, INT(i));
        EXPECT_EQ(std::u16string(out), kCases[i].column) << i;
    }
    WCHAR out[21];
    FormatNameColumn(out, INT(names.size()));
    EXPECT_EQ(std::u16string(out), std::u16string(20, u' ')) << "past the list";
}

TEST_F(ListNames, NamesFromTheListShareAWidth) {
    Use({u"report.txt", u"a-very-long-name-of-a-file.txt"});
    WCHAR name[1025] = {0};
    WCHAR out[257];
    EXPECT_EQ(FitFileDisplayName(out, name, 0, 8), 8);
    EXPECT_EQ(std::u16string(name), u"report.txt") << "the buffer is filled from the list";
    EXPECT_EQ(std::u16string(out), u"report." + std::u16string(1, kMark));
    WCHAR given[1025] = u"kept";
    EXPECT_EQ(FitFileDisplayName(out, given, 1, 8), 4) << "a given name is used";
    WCHAR none[1025] = {0};
    EXPECT_EQ(FitFileDisplayName(out, none, -1, 8), 0);
    EXPECT_EQ(FitFileDisplayName(out, given, 0, 0), 0);

    const struct {
        const char* why;
        std::u16string a, b;
        WORD width;
        std::u16string outA, outB;
    } kCases[] = {
        {"both fit", u"abc", u"defg", 10, u"abc", u"defg"},
        // B counts as 15 (cut to the width): A gets 10 * 100 / (25 * 100 / 15).
        {"shares by length", u"aaaaaaaaaa", u"bbbbbbbbbbbbbbbbbbbb", 15,
         u"aaaaa" + std::u16string(1, kMark), u"bbbbbbbb" + std::u16string(1, kMark)},
        {"equal lengths", u"aaaaaaaaaa", u"bbbbbbbbbb", 10, u"aaaa" + std::u16string(1, kMark),
         u"bbbb" + std::u16string(1, kMark)},
        {"no width", u"abc", u"def", 0, u"", u""},
    };
    for (const auto& c : kCases) {
        std::u16string a = c.a, b = c.b;
        a.resize(1025);
        b.resize(1025);
        WCHAR outA[257], outB[257];
        EXPECT_EQ(FitTwoNamesToWidth(outA, outB, a.data(), b.data(), -1, c.width), c.outA.size())
            << c.why;
        EXPECT_EQ(std::u16string(outA), c.outA) << c.why;
        EXPECT_EQ(std::u16string(outB), c.outB) << c.why;
        EXPECT_LE(std::u16string(outA).size() + std::u16string(outB).size(), size_t(c.width))
            << c.why;
    }
    WCHAR fromList[1025] = {0};
    WCHAR other[1025] = u"x.c";
    WCHAR outA[257], outB[257];
    FitTwoNamesToWidth(outA, outB, fromList, other, 0, 40);
    EXPECT_EQ(std::u16string(outA), u"report.txt");
}

TEST(PathText, ShortenedLabelledAndEnclosedPaths) {
    // Longer than 1024: cut at the last backslash within the first 1025.
    const std::u16string head = u"C:\\" + Letters(900);
    const std::u16string longPath = head + u"\\" + Letters(200) + u"\\tail";
    std::vector<WCHAR> out(1026, kGuard);
    ShortenPath(out.data(), longPath.c_str());
    EXPECT_EQ(std::u16string(out.data()), head);
    const std::u16string noBackslash = u"/" + Letters(1500);
    ShortenPath(out.data(), noBackslash.c_str());
    EXPECT_EQ(std::u16string(out.data()), noBackslash.substr(0, 1024));
    ShortenPath(out.data(), u"C:\\short\\path");
    EXPECT_EQ(std::u16string(out.data()), u"C:\\short\\path");

    const struct {
        const char16_t* text;
        const char16_t* rest;
    } kLabels[] = {
        {u"/usr/share", u"/usr/share"}, {u"Target:  C:\\x", u"C:\\x"}, {u"no colon", u"no colon"},
        {u"C:\\dir", u"\\dir"},          {u"Label:", u""},
    };
    for (const auto& c : kLabels) {
        std::u16string text = c.text;
        EXPECT_EQ(std::u16string(SkipLabelPrefix(text.data())), c.rest);
    }
    EXPECT_EQ(SkipLabelPrefix(static_cast<WCHAR*>(nullptr)), nullptr);

    const struct {
        const char16_t* text;
        BOOL enclosed;
    } kSlashes[] = {{u"/a/", TRUE}, {u"/ab.*/", TRUE}, {u"//", FALSE}, {u"/a", FALSE},
                    {u"a/", FALSE}, {u"", FALSE}};
    for (const auto& c : kSlashes) EXPECT_EQ(IsSlashEnclosed(c.text), c.enclosed);
}

TEST_F(PathFitting, TypedPathsExpandToEitherForm) {
    const struct {
        const char* why;
        const char16_t* typed;
        DWORD n;
        DWORD toSlash;
        const char16_t* result;
    } kCases[] = {
        {"display to drive", u"/tmp/qtest-fit/data", 100, 0, u"Q:\\data"},
        {"slashes turned", u"Q:/data/x", 100, 0, u"Q:\\data\\x"},
        {"trailing separator kept", u"/tmp/qtest-fit/data/", 100, 0, u"Q:\\data\\"},
        {"drive to display", u"Q:\\data\\x", 100, 1, u"/tmp/qtest-fit/data/x"},
        {"trailing slash kept", u"Q:\\data\\", 100, 1, u"/tmp/qtest-fit/data/"},
        {"first n only", u"Q:\\data\\xyz", 7, 1, u"/tmp/qtest-fit/data"},
        {"relative", u"sub/dir", 100, 0, u"sub\\dir"},
    };
    for (const auto& c : kCases) {
        WCHAR out[1026];
        const DWORD length = ExpandTypedPath(c.typed, c.n, out, c.toSlash);
        EXPECT_EQ(std::u16string(out), c.result) << c.why;
        EXPECT_EQ(length, std::u16string(c.result).size()) << c.why;
    }
}

TEST_F(PathFitting, EnteredTextsExpandTheirPathPart) {
    const struct {
        const char* why;
        std::u16string text;
        DWORD toSlash;
        ULONGLONG size;
        std::u16string result;
    } kCases[] = {
        {"separator and rest follow", u"Q:\\data\\\x0001rest", 1, 100,
         u"/tmp/qtest-fit/data/\x0001rest"},
        {"shorter result padded", u"/tmp/qtest-fit/x   ", 0, 100,
         u"Q:\\x" + std::u16string(15, u' ')},
        {"too large for the room", u"Q:\\data", 1, 12, u"Q:\\data"},
        {"exactly the room", u"Q:\\data", 1, 20, u"/tmp/qtest-fit/data"},
    };
    for (const auto& c : kCases) {
        std::vector<WCHAR> text(c.text.begin(), c.text.end());
        text.resize(101, 0);
        ExpandInputPath(text.data(), c.toSlash, c.size);
        EXPECT_EQ(std::u16string(text.data()), c.result) << c.why;
    }
    // A path part over 1024 units is left as it is.
    std::u16string huge = u"Q:\\" + Letters(1100);
    std::vector<WCHAR> text(huge.begin(), huge.end());
    text.resize(3000, 0);
    ExpandInputPath(text.data(), 1, 3000);
    EXPECT_EQ(std::u16string(text.data()), huge);
}

TEST(PathText, ModePrefixesHideTheirFlags) {
    const struct {
        std::u16string text;
        ULONGLONG room;
        std::u16string visible, flags;
    } kCases[] = {
        {u"plain", 8, u"plain", u""},
        {u"\uFDD3plain", 8, u"plain", u""},
        {u"\uFDD3\uFFFEcw\uFFFEtext", 8, u"text", u"cw"},
        {u"\uFFFEcw\uFFFEtext", 8, u"text", u"cw"},
        {u"\uFDEF\uFFFEtext", 8, u"text", u""}, // no second mark
        {u"\uFDD3\uFFFEabcdef\uFFFEx", 4, u"x", u"abc"},
        {u"\uFDF0plain", 8, u"\uFDF0plain", u""}, // outside the prefix range
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(std::u16string(MarkerText(c.text.c_str())), c.visible);
        std::vector<WCHAR> flags(c.room + 2, kGuard);
        MarkerFlags(c.text.c_str(), flags.data(), c.room);
        EXPECT_EQ(std::u16string(flags.data()), c.flags);
        EXPECT_EQ(flags[c.room], kGuard) << "at most room units written";
    }
    EXPECT_EQ(MarkerText(nullptr), nullptr);
}

TEST(BufferText, FillTrimAndSearch) {
    WCHAR wide[8];
    std::fill(std::begin(wide), std::end(wide), kGuard);
    FillBlanks(wide, 4);
    EXPECT_EQ(std::u16string(wide), u"   ");
    EXPECT_EQ(wide[4], kGuard);
    char narrow[8];
    std::memset(narrow, '#', sizeof narrow);
    FillBlanksA(narrow, 3);
    EXPECT_STREQ(narrow, "  ");
    EXPECT_EQ(narrow[3], '#');
    std::fill(std::begin(wide), std::end(wide), kGuard);
    FillChars(wide, u'-', 3);
    EXPECT_EQ(std::u16string(wide, 4), u"---#") << "no terminator";

    const struct {
        const char16_t* text;
        const char16_t* trimmed;
    } kTrims[] = {
        {u"abc   ", u"abc"}, {u"   ", u""}, {u"a b", u"a b"}, {u"a\t ", u"a\t"}, {u"", u""},
    };
    for (const auto& c : kTrims) {
        std::u16string s = c.text;
        EXPECT_EQ(std::u16string(TrimRight(s.data())), c.trimmed);
        const std::u16string text = c.text, trimmed = c.trimmed;
        std::string n(text.begin(), text.end());
        EXPECT_EQ(std::string(TrimRightA(n.data())), std::string(trimmed.begin(), trimmed.end()));
    }

    const struct {
        const char* hay;
        const char* needle;
        int at; // -1: none
    } kNarrow[] = {{"Hello World", "WORLD", 6}, {"Hello", "hello", 0}, {"abc", "abcd", -1},
                   {"", "", -1},              {"x\xC4y", "\xE4", -1},  {"a-b", "A-B", 0}};
    for (const auto& c : kNarrow) {
        const char* found = StrStrNoCaseA(c.hay, c.needle);
        EXPECT_EQ(found ? int(found - c.hay) : -1, c.at) << c.hay << " / " << c.needle;
    }
    const struct {
        const char16_t* hay;
        const char16_t* needle;
        int at;
    } kWide[] = {{u"Hello World", u"WORLD", 6},
                 {u"xHeLLo", u"hello", 1},
                 {u"", u"", 0},
                 {u"abc", u"abcd", -1},
                 {u"abc", u"x", -1}};
    for (const auto& c : kWide) {
        const WCHAR* found = StrStrNoCase(c.hay, c.needle);
        EXPECT_EQ(found ? int(found - c.hay) : -1, c.at);
    }

    BYTE fold[256];
    for (int i = 0; i < 256; i++) fold[i] = BYTE(i >= 'a' && i <= 'z' ? i - 32 : i);
    const BYTE a[] = "Hello", b[] = "hELLO";
    EXPECT_TRUE(MemEqualFolded(a, b, 5, fold));
    EXPECT_FALSE(MemEqualFolded(a, b, 5, nullptr));
    EXPECT_TRUE(MemEqualFolded(a, a, 5, nullptr));
    EXPECT_FALSE(MemEqualFolded(a, reinterpret_cast<const BYTE*>("Help!"), 5, fold));
}

TEST(BufferText, WrapBreaksStartCommandsAndByteSwaps) {
    const struct {
        const char16_t* text;
        DWORD width;
        DWORD length;
        const char16_t* next;
    } kWraps[] = {
        {u"hello world", 8, 5, u"world"},
        {u"hello world", 11, 11, u""},
        {u"hello   world", 9, 7, u"world"}, // the last blank within the width
        {u"abcdefghij", 4, 4, u"efghij"},
        {u" abcdefgh", 4, 4, u"defgh"}, // a blank at position 0 does not count
        {u"ab cd ef", 5, 5, u"ef"},     // the blank right at the width
    };
    for (const auto& c : kWraps) {
        const WCHAR* next = nullptr;
        EXPECT_EQ(FindWrapBreak(c.text, c.width, &next), c.length) << c.width;
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(std::u16string(next), c.next) << c.width;
    }

    const struct {
        const char16_t* command;
        const char16_t* result;
    } kStarts[] = {
        {u"START \"\" /B prog arg", u"prog arg"},
        {u"start   /WAIT /MIN  prog", u"prog"},
        {u"START prog", u"prog"},
        {u"STARTER prog", u"STARTER prog"},
        {u"prog START", u"prog START"},
    };
    for (const auto& c : kStarts) {
        std::u16string s = c.command;
        StripStartCommand(s.data());
        EXPECT_EQ(std::u16string(s.c_str()), c.result);
    }

    EXPECT_EQ(SwapBytes16(0x1234), 0x3412);
    EXPECT_EQ(SwapBytes16(0xABCD1234u), 0x3412) << "only the low 16 bits";
    std::u16string text = u"\u4100\u4200";
    SwapBytes16(text.data());
    EXPECT_EQ(text, u"AB");
}

TEST(FilespecCache, WholeFilespecsAreKeysAndSlotsAreReplacedInTurn) {
    qtest::BindRegexFilters();
    FilespecCacheClear();
    // Two expressions that share their first 260 characters.
    const std::u16string stem(260, u'a');
    const std::u16string b = stem + u"b", c = stem + u"c";
    EXPECT_TRUE(FilespecCacheLookup(b.c_str(), b.c_str()));
    EXPECT_FALSE(FilespecCacheLookup(c.c_str(), b.c_str())) << "a pattern shared by long filespecs";
    EXPECT_TRUE(FilespecCacheLookup(c.c_str(), c.c_str()));
    EXPECT_FALSE(FilespecCacheLookup(b.c_str(), c.c_str()));

    // A fifth expression takes the slot after the one replaced last, whatever was
    // used since: after A B C D, A again, then E, A is gone.
    FilespecCacheClear();
    const ULONGLONG before = FilespecCacheCompileCount();
    const struct {
        const char16_t* expression;
        bool compiles;
    } kSteps[] = {
        {u"^a", true}, {u"^b", true}, {u"^c", true}, {u"^d", true}, {u"^a", false},
        {u"^e", true}, // replaces slot 0 (^a)
        {u"^b", false}, {u"^a", true}, // replaces slot 1 (^b)
        {u"^b", true},                 // replaces slot 2 (^c)
        {u"^d", false}, {u"^e", false}, {u"^a", false},
    };
    ULONGLONG expected = before;
    for (const auto& step : kSteps) {
        const WCHAR name[] = {step.expression[1], u'x', 0};
        EXPECT_TRUE(FilespecCacheLookup(step.expression, name));
        expected += step.compiles ? 1 : 0;
        EXPECT_EQ(FilespecCacheCompileCount(), expected)
            << std::string(1, char(step.expression[1]));
    }
    EXPECT_FALSE(FilespecCacheLookup(u"(", u"(")) << "an expression that does not compile";
    const std::u16string tooLong(1100, u'a');
    EXPECT_FALSE(FilespecCacheLookup(u"a", tooLong.c_str())) << "a name over 1040 bytes";
    FilespecCacheClear();
}

TEST(PointerArray, GrowsInStepsAndKeepsItsEntries) {
    std::free(gPtrArray);
    gPtrArray = nullptr;
    gPtrArrayCapacity = 0;
    const struct {
        bool fresh;
        INT n;
        DWORD capacity;
    } kCases[] = {
        {true, 0, 130},  {true, 128, 130},   {true, 129, 260}, {true, 200, 260},
        {true, 300, 520}, {true, 1000, 1040}, {false, 100, 1040}, {false, 1039, 2080},
    };
    for (const auto& c : kCases) {
        if (c.fresh) {
            std::free(gPtrArray);
            gPtrArray = nullptr;
            gPtrArrayCapacity = 0;
        }
        const DWORD old = gPtrArrayCapacity;
        if (old) gPtrArray[old - 1] = &gPtrArrayCapacity;
        void** array = GrowPtrArray(c.n);
        ASSERT_NE(array, nullptr);
        EXPECT_EQ(array, gPtrArray);
        EXPECT_EQ(gPtrArrayCapacity, c.capacity) << c.n;
        if (old) {
            EXPECT_EQ(array[old - 1], &gPtrArrayCapacity) << "kept";
        }
        for (DWORD i = old; i < gPtrArrayCapacity; i++) ASSERT_EQ(array[i], nullptr) << i;
    }
    std::free(gPtrArray);
    gPtrArray = nullptr;
    gPtrArrayCapacity = 0;
}

TEST(ScrollMarks, RowsForPositions) {
    const struct {
        DWORD p, total, rows;
        int top, row;
    } kCases[] = {
        {0, 100, 20, 2, 2},   {100, 100, 20, 2, 21}, {50, 100, 20, 2, 11}, // top + 10 - 1
        {1, 100, 20, 2, 2},   {99, 100, 20, 2, 20},  {150, 100, 20, 2, 21},
        {3000000000u, 4000000000u, 20, 2, 16},       {5, 10, 1, 7, 7},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(ScrollMarkRow(c.p, c.total, c.rows, c.top), c.row) << c.p << " of " << c.total;

    const struct {
        DWORD p, total, rows;
        int row;
    } kArc[] = {{0, 100, 20, 3}, {1, 100, 20, 3}, {50, 100, 20, 10}, {100, 100, 20, 19}};
    for (const auto& c : kArc) EXPECT_EQ(ScrollMarkRowArc(c.p, c.total, c.rows), c.row) << c.p;

    const struct {
        DWORD p, total, rows;
        int first, row;
    } kList[] = {{0, 100, 10, 5, 5}, {100, 100, 10, 5, 14}, {50, 100, 10, 5, 9}, {7, 0, 10, 5, 14}};
    for (const auto& c : kList)
        EXPECT_EQ(ScrollMarkRowList(c.p, c.total, c.rows, c.first), c.row) << c.p;
}

// The scroll-bar characters of the block style, or of the line style with
// arrows on the bar's first and last rows; put back afterwards.
class ScreenHelpers : public qtest::PlatformTest {
  protected:
    void TearDown() override {
        gIniWorking = saved_;
        qtest::PlatformTest::TearDown();
    }
    void Style(bool block) {
        gIniWorking.scrollTrack = block ? 0x2591 : 0x2502;
        gIniWorking.scrollThumb = block ? 0x2593 : 0x2195;
        gIniWorking.scrollUp = block ? 0x2593 : 0x2191;
        gIniWorking.scrollDown = block ? 0x2593 : 0x2193;
    }
    IniWorkingValues saved_ = gIniWorking;
};

TEST_F(ScreenHelpers, LineStyleMarksShowArrowsAtTheEnds) {
    Style(false);
    DrawScrollTrack(2, 0, 12, 0x07);
    const struct {
        DWORD p;
        int row;
        char16_t mark;
    } kCases[] = {{0, 2, 0x2191}, {50, 6, 0x2195}, {100, 11, 0x2193}};
    for (const auto& c : kCases) {
        DrawScrollThumb(c.p, 100, 10, TRUE);
        EXPECT_EQ(ConsoleText(c.row, 0, 1), std::u16string(1, c.mark)) << c.p;
    }
    std::u16string bar;
    for (int row = 2; row < 12; row++) bar += ConsoleText(row, 0, 1);
    EXPECT_EQ(bar, u"\u2502\u2502\u2502\u2502\u2502\u2502\u2502\u2502\u2502\u2193")
        << "earlier marks are track again";
}

TEST_F(ScreenHelpers, ScrollMarksMoveAndLeaveTheTrackBehind) {
    Style(true);
    const std::u16string track(1, char16_t(0x2591)), thumb(1, char16_t(0x2593));
    DrawScrollTrack(2, 0, 22, 0x07);
    EXPECT_EQ(ConsoleText(2, 0, 1), track);
    EXPECT_EQ(ConsoleText(21, 0, 1), track);
    EXPECT_EQ(ConsoleText(22, 0, 1), u" ") << "the bottom row is not part of the track";

    DrawScrollThumb(0, 100, 20, FALSE);
    EXPECT_EQ(ConsoleText(2, 0, 1), thumb);
    DrawScrollThumb(50, 100, 20, TRUE);
    EXPECT_EQ(ConsoleText(2, 0, 1), track) << "the old mark is track again";
    EXPECT_EQ(ConsoleText(11, 0, 1), thumb);

    // The second half of split screen, and the file window's first row.
    gSplitScreen = 1;
    gCurrentSide = 1;
    gPanes[gCurrentPane & 1].FileWindowOpen = 1;
    gPanes[gCurrentPane & 1].FileAreaRow = 5;
    DrawScrollThumb(100, 100, 10, FALSE);
    EXPECT_EQ(ConsoleText(14, gSplitColumn, 1), thumb);
    gWindowMode = WM_ARCHIVE_FILE;
    DrawScrollThumb(0, 100, 10, FALSE);
    EXPECT_EQ(ConsoleText(5, 0, 1), thumb) << "archive file window: column 0";

    gPanes[gCurrentPane & 1].PaneColumn = 3;
    DrawScrollThumbList(5, 10, 50, 100);
    EXPECT_EQ(ConsoleText(5, 3, 1), track);
    EXPECT_EQ(ConsoleText(9, 3, 1), thumb);
    EXPECT_EQ(ConsoleText(14, 3, 1), track);
    EXPECT_EQ(ConsoleText(15, 3, 1), u" ");
    gPanes[gCurrentPane & 1] = PaneState{};
    gCurrentSide = 0;
}

TEST_F(ScreenHelpers, RuleLinesStretchTheirMiddle) {
    MakeRuleLine(5, 4, "\xDA\xC4\xBF", 0x07);
    EXPECT_EQ(ConsoleText(5, 19, 8), u"\u250C\u2500\u2500\u2500\u2500\u2500\u2510 ");
    EXPECT_EQ(ConsoleText(5, 18, 1), u" ");
    MakeRuleLine(6, 0, "plain", 0x07);
    EXPECT_EQ(ConsoleText(6, 19, 6), u"plain ");
    MakeRuleLine(7, 3, "ab", 0x07);
    EXPECT_EQ(ConsoleText(7, 19, 3), u"ab ") << "too short to stretch";
}

} // namespace
