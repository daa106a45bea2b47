// Filespecs: the splitting of a typed filter, the item syntax and what it
// refuses, the compiled operators, and the entry test over one table of
// (filespec, entry) cases; IsComplexMask; the slots.
#include "main/statistics.h"
#include "main/window_state.h"
#include "platform/packed_dates.h"
#include "qwcrt.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/regex.h"
#include "tree/tree_records.h"
#include "regex_filters.h"
#include "tree_builder.h"
#include "ui/filter_cache.h"
#include "ui/numbers_dates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using qtest::BuildDir;
using qtest::BuildDisk;
using qtest::BuildFiles;

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? char(c) : '?';
    return out;
}

// The injected clock: 10 March 2026, 14:00.
void FixedClock(LPSYSTEMTIME out) {
    *out = SYSTEMTIME{};
    out->wYear = 2026;
    out->wMonth = 3;
    out->wDay = 10;
    out->wHour = 14;
}

// The settings a row runs under.
struct Switches {
    bool inclusive = false;    // "<" and ">" include the value
    bool trailingStar = false; // trailing '*' without '.' means "*.*"
    bool leadingDot = false;   // leading '.' means "*."
    WORD dateFormat = 0;       // day-month-year
};

class Filespec : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { qtest::BindRegexFilters(); }
    static void TearDownTestSuite() { qtest::UnbindRegexFilters(); }
    void SetUp() override {
        qtest::FreeTrees();
        PackedNowSetClockForTest(FixedClock);
        disk_ = BuildDisk('X');
        data_ = BuildDir(disk_, u"data");
        pdiCurrent = disk_;
        psiCurrent = data_;
        gTreeSizeMode = 0;
        Apply(Switches{});
    }
    void TearDown() override {
        std::free(slot_.items);
        slot_ = FilterSlot{};
        PackedNowSetClockForTest(nullptr);
        Apply(Switches{});
        gDateFormat = 1;
        qtest::FreeTrees();
    }
    static void Apply(const Switches& s) {
        gSettings.bDateSizeInclusive = s.inclusive;
        gSettings.bTrailingStarDot = s.trailingStar;
        gSettings.bLeadingDotStar = s.leadingDot;
        gDateFormat = s.dateFormat;
    }
    // A file of data_ with that name, size and last-write date.
    FileEntry* File(const std::u16string& name, ULONGLONG size = 10,
                    PackedDate written = PackDate(2024, 6, 1)) {
        BuildFiles(data_, {{name, size}});
        data_->pFiles[0].dWritten = written;
        return &data_->pFiles[0];
    }
    // Compiles text into the test's slot; the result of CompileFilterText.
    int Compile(const std::u16string& text, std::string* message = nullptr) {
        char said[300] = {};
        const int result = CompileFilterText(text.c_str(), &slot_, said, sizeof said, nullptr);
        if (message) *message = said;
        return result;
    }
    DiskInfo* disk_ = nullptr;
    SubdirInfo* data_ = nullptr;
    FilterSlot slot_{};
};

// ---- one table: filespec and entry -> passes ----------------------------------------------

struct Case {
    const char* what;
    const char16_t* filter;
    const char16_t* name;
    ULONGLONG size;
    PackedDate written;
    Switches switches;
    bool pass;
};

constexpr PackedDate D(unsigned y, unsigned m, unsigned d) { return PackDate(y, m, d); }
constexpr PackedDate kDay = D(2024, 6, 1);
constexpr Switches kPlain{};
constexpr Switches kIncl{true, false, false, 0};
constexpr Switches kStar{false, true, false, 0};
constexpr Switches kDot{false, false, true, 0};
constexpr Switches kMdy{false, false, false, 1};
constexpr Switches kYmd{false, false, false, 5};

const Case kCases[] = {
    // Names, exclusions and what a pattern without a dot means.
    {"*.txt,-a* keeps a .txt file not beginning with a", u"*.txt,-a*", u"b.txt", 1, kDay, kStar, true},
    {"*.txt,-a* drops a .txt file beginning with a", u"*.txt,-a*", u"apple.txt", 1, kDay, kStar, false},
    {"*.txt,-a* drops other extensions", u"*.txt,-a*", u"b.doc", 1, kDay, kStar, false},
    {"without the trailing-star setting -a* drops only names without extension", u"*.txt,-a*",
     u"apple.txt", 1, kDay, kPlain, true},
    {"a* alone is a* with no extension", u"a*", u"apple", 1, kDay, kPlain, true},
    {"a* alone does not match a name with extension", u"a*", u"apple.txt", 1, kDay, kPlain, false},
    {"abc matches abc without extension", u"abc", u"abc", 1, kDay, kPlain, true},
    {"abc does not match abc.txt", u"abc", u"abc.txt", 1, kDay, kPlain, false},
    {"abc does not match abcd", u"abc", u"abcd", 1, kDay, kPlain, false},
    {"names compare without case", u"*.TXT", u"read.txt", 1, kDay, kPlain, true},
    {"a long extension is matched whole", u"*.html", u"index.htm", 1, kDay, kPlain, false},
    {"a long extension matches itself", u"*.html", u"index.html", 1, kDay, kPlain, true},
    {"a trailing dot of two is dropped", u"a.b.", u"a.b", 1, kDay, kPlain, true},
    {"a leading dot stands for itself", u".profile", u".profile", 1, kDay, kPlain, true},
    {"a leading dot stands for itself, not for every extension", u".txt", u"a.txt", 1, kDay, kPlain, false},
    {"with the leading-dot setting .txt is *.txt", u".txt", u"a.txt", 1, kDay, kDot, true},
    {"only exclusions pass what none of them matches", u"-*.bak,-*.tmp", u"a.txt", 1, kDay, kPlain, true},
    {"only exclusions drop what one of them matches", u"-*.bak,-*.tmp", u"a.tmp", 1, kDay, kPlain, false},
    {"*.* passes everything", u"*.*", u"noext", 1, kDay, kPlain, true},
    // Splitting: blanks, ';', quotes and labels.
    {"a blank separates items", u"a.txt b.txt", u"b.txt", 1, kDay, kPlain, true},
    {"';' separates items", u"a.txt;b.txt", u"b.txt", 1, kDay, kPlain, true},
    {"blanks beside a comma are one separator", u"a.txt , b.txt", u"b.txt", 1, kDay, kPlain, true},
    {"a quoted name keeps its blank", u"\"my file.txt\"", u"my file.txt", 1, kDay, kPlain, true},
    {"a quoted name is one item", u"\"my file.txt\"", u"file.txt", 1, kDay, kPlain, false},
    {"a quoted name keeps its comma", u"\"a,b.txt\"", u"a,b.txt", 1, kDay, kPlain, true},
    {"an unbalanced quote is closed", u"\"my file.txt", u"my file.txt", 1, kDay, kPlain, true},
    {"a quoted exclusion", u"-\"my file.txt\"", u"my file.txt", 1, kDay, kPlain, false},
    {"a label before ':' is skipped", u"Texts: *.txt", u"a.txt", 1, kDay, kPlain, true},
    {"a label is not a pattern", u"Texts: *.txt", u"Texts", 1, kDay, kPlain, false},
    // Every operator on sizes, plain and excluded, without and with the
    // inclusive setting.
    {"<S100: 99", u"<S100", u"f", 99, kDay, kPlain, true},
    {"<S100: 100", u"<S100", u"f", 100, kDay, kPlain, false},
    {"<S100 inclusive: 100", u"<S100", u"f", 100, kDay, kIncl, true},
    {"<S100 inclusive: 101", u"<S100", u"f", 101, kDay, kIncl, false},
    {"-<S100 is >=: 100", u"-<S100", u"f", 100, kDay, kPlain, true},
    {"-<S100 is >=: 99", u"-<S100", u"f", 99, kDay, kPlain, false},
    {"-<S100 inclusive is >: 100", u"-<S100", u"f", 100, kDay, kIncl, false},
    {"-<S100 inclusive is >: 101", u"-<S100", u"f", 101, kDay, kIncl, true},
    {"<=S100: 100", u"<=S100", u"f", 100, kDay, kPlain, true},
    {"=<S100: 101", u"=<S100", u"f", 101, kDay, kPlain, false},
    {"-<=S100 is >: 100", u"-<=S100", u"f", 100, kDay, kPlain, false},
    {"-<=S100 is >: 101", u"-<=S100", u"f", 101, kDay, kIncl, true},
    {">S100: 100", u">S100", u"f", 100, kDay, kPlain, false},
    {">S100: 101", u">S100", u"f", 101, kDay, kPlain, true},
    {">S100 inclusive: 100", u">S100", u"f", 100, kDay, kIncl, true},
    {">S100 inclusive: 99", u">S100", u"f", 99, kDay, kIncl, false},
    {"->S100 is <=: 100", u"->S100", u"f", 100, kDay, kPlain, true},
    {"->S100 is <=: 101", u"->S100", u"f", 101, kDay, kPlain, false},
    {"->S100 inclusive is <: 100", u"->S100", u"f", 100, kDay, kIncl, false},
    {"->S100 inclusive is <: 99", u"->S100", u"f", 99, kDay, kIncl, true},
    {">=S100: 100", u">=S100", u"f", 100, kDay, kPlain, true},
    {"=>S100: 99", u"=>S100", u"f", 99, kDay, kPlain, false},
    {"->=S100 is <: 100", u"->=S100", u"f", 100, kDay, kPlain, false},
    {"->=S100 is <: 99", u"->=S100", u"f", 99, kDay, kIncl, true},
    {"=S100: 100", u"=S100", u"f", 100, kDay, kPlain, true},
    {"=S100: 99", u"=S100", u"f", 99, kDay, kPlain, false},
    {"-=S100: 100", u"-=S100", u"f", 100, kDay, kPlain, false},
    {"-=S100: 99", u"-=S100", u"f", 99, kDay, kPlain, true},
    {"<>S100 is not equal", u"<>S100", u"f", 100, kDay, kPlain, false},
    {"><S100 is not equal", u"><S100", u"f", 101, kDay, kPlain, true},
    {"the inclusive setting leaves = alone", u"=S100", u"f", 101, kDay, kIncl, false},
    {"digit grouping in a size", u"=S1,000", u"f", 1000, kDay, kPlain, true},
    {"a lower-case s", u">s5", u"f", 6, kDay, kPlain, true},
    {"-=S0 keeps a file that is not empty", u"-=S0", u"f", 5, kDay, kPlain, true},
    {"-=S0 drops an empty file", u"-=S0", u"f", 0, kDay, kPlain, false},
    {"a size range keeps what lies inside", u">S10,<S20", u"f", 15, kDay, kPlain, true},
    {"a size range drops what lies above", u">S10,<S20", u"f", 25, kDay, kPlain, false},
    {"a size test and a name test must both hold", u"*.txt,>S10", u"a.txt", 5, kDay, kPlain, false},
    {"a size test and a name test both holding", u"*.txt,>S10", u"a.txt", 50, kDay, kPlain, true},
    // Dates.
    {"=d on the same day", u"=1.6.2024", u"f", 1, D(2024, 6, 1), kPlain, true},
    {"=d on the next day", u"=1.6.2024", u"f", 1, D(2024, 6, 2), kPlain, false},
    {"a date range: the first day is out", u">1.1.2020,<1.2.2020", u"f", 1, D(2020, 1, 1), kPlain, false},
    {"a date range: a day inside", u">1.1.2020,<1.2.2020", u"f", 1, D(2020, 1, 15), kPlain, true},
    {"a date range: the last day is out", u">1.1.2020,<1.2.2020", u"f", 1, D(2020, 2, 1), kPlain, false},
    {"a date range: a later day is out", u">1.1.2020,<1.2.2020", u"f", 1, D(2021, 5, 5), kPlain, false},
    {"> alone passes every later day", u">1.1.2020", u"f", 1, D(2021, 5, 5), kPlain, true},
    {"> alone drops the day itself", u">1.1.2020", u"f", 1, D(2020, 1, 1), kPlain, false},
    {"a range or another date", u">1.1.2020,<1.2.2020,=5.5.2021", u"f", 1, D(2021, 5, 5), kPlain, true},
    {"month-day-year order", u"=6/1/2024", u"f", 1, D(2024, 6, 1), kMdy, true},
    {"year-month-day order", u"=2024-06-01", u"f", 1, D(2024, 6, 1), kYmd, true},
    {"six digits without separators", u"=010624", u"f", 1, D(2024, 6, 1), kPlain, true},
    {"a two-digit year below 80 is 2000 and more", u"=1.1.23", u"f", 1, D(2023, 1, 1), kPlain, true},
    {"a two-digit year below 80 is not the year 23", u"=1.1.23", u"f", 1, D(23, 1, 1), kPlain, false},
    {"a two-digit year from 80 is 1900 and more", u"=1.1.85", u"f", 1, D(1985, 1, 1), kPlain, true},
    {"79 is the last year of the short form", u"=31.12.79", u"f", 1, D(2079, 12, 31), kPlain, true},
    {">=TODAY-7 keeps the seventh day back", u">=TODAY-7", u"f", 1, D(2026, 3, 3), kPlain, true},
    {">=TODAY-7 drops the eighth day back", u">=TODAY-7", u"f", 1, D(2026, 3, 2), kPlain, false},
    {">=today-7 keeps today", u">=today-7", u"f", 1, D(2026, 3, 10), kPlain, true},
    {"TODAY-10 reaches into February", u"=TODAY-10", u"f", 1, D(2026, 2, 28), kPlain, true},
    {"=TODAY", u"=TODAY", u"f", 1, D(2026, 3, 10), kPlain, true},
    {"an excluded date", u"-=1.6.2024", u"f", 1, D(2024, 6, 1), kPlain, false},
    // Lengths: the display name, the full name, and the full name beyond the
    // current directory X:\data.
    {"<L6 on a name of 5", u"<L6", u"abc.d", 1, kDay, kPlain, true},
    {"<L6 on a name of 6", u"<L6", u"abcdef", 1, kDay, kPlain, false},
    {"=F12 on X:\\data\\a.tx", u"=F12", u"a.tx", 1, kDay, kPlain, true},
    {"=f11 on X:\\data\\a.tx", u"=f11", u"a.tx", 1, kDay, kPlain, false},
    {"=R5 on X:\\data\\a.tx", u"=R5", u"a.tx", 1, kDay, kPlain, true},
    {"a length range", u">L2,<L5", u"abc", 1, kDay, kPlain, true},
    // Regular expressions: searched in the name, without case.
    {"a regex matches", u"/^a.*\\.txt$/", u"abc.txt", 1, kDay, kPlain, true},
    {"a regex matches without case", u"/^a.*\\.txt$/", u"ABC.TXT", 1, kDay, kPlain, true},
    {"a regex that does not match", u"/^a.*\\.txt$/", u"b.txt", 1, kDay, kPlain, false},
    {"a regex finds a part of the name", u"/[0-9]{3}/", u"img1234.png", 1, kDay, kPlain, true},
    {"a regex on a name beyond ASCII", u"/^caf\u00e9/", u"caf\u00e9.txt", 1, kDay, kPlain, true},
};

TEST_F(Filespec, EveryCaseOfTheTable) {
    for (const Case& c : kCases) {
        Apply(c.switches);
        FileEntry* entry = File(c.name, c.size, c.written);
        ASSERT_EQ(Compile(c.filter), FILTER_OK) << c.what;
        EXPECT_EQ(FileMatchesFilespec(slot_.items, slot_.count, entry, FALSE), c.pass ? 1 : 0)
            << c.what;
        EXPECT_EQ(FileMatchesFilespec(slot_.items, slot_.count, entry, TRUE), c.pass ? 0 : 1)
            << c.what << " (inverted)";
    }
}

TEST_F(Filespec, NoItemsPassEveryEntryAndNoneInverted) {
    FileEntry* entry = File(u"x.y");
    EXPECT_EQ(FileMatchesFilespec(nullptr, 0, entry, FALSE), 1);
    EXPECT_EQ(FileMatchesFilespec(nullptr, 0, entry, TRUE), 0);
    InitFilterSlots();
    EXPECT_EQ(gFilterSlots[0].count, 0);
    EXPECT_EQ(SlotPasses(gFilterSlots[0], entry), 1);
}

TEST_F(Filespec, DirectoriesAreTestedByNameAndTheirSizeIsUnknownUntilRead) {
    SubdirInfo* read = BuildDir(disk_, u"read");
    BuildFiles(read, {{u"a", 300}, {u"b", 200}});
    SubdirInfo* unread = BuildDir(disk_, u"unread");
    unread->bLogged = 0;
    const struct {
        const char16_t* filter;
        SubdirInfo* dir;
        bool pass;
    } rows[] = {
        {u"=S500", read, true},    {u">S499", read, true},   {u"=S0", unread, false},
        {u">S0", unread, false},   {u"<S1", unread, true},   {u"=S?", unread, true},
        {u"-=S?", read, true},     {u"re*", read, true},     {u"re*", unread, false},
        {u"=F9", unread, true},    {u"=L6", unread, true},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(Compile(row.filter), FILTER_OK) << Narrow(row.filter);
        EXPECT_EQ(FileMatchesFilespec(slot_.items, slot_.count, row.dir, FALSE), row.pass ? 1 : 0)
            << Narrow(row.filter) << " on " << Narrow(row.dir->pszFullName);
    }
}

TEST_F(Filespec, BadTextsAreRefusedAndTheSlotIsKept) {
    ASSERT_EQ(Compile(u"*.c"), FILTER_OK);
    const char16_t* bad[] = {
        u"a**b",      u"a\\b",        u"x/y.txt",     u">S1x",     u"<<S1",       u"<>=S1",
        u">",         u"=l",          u"a\"b",        u",a",       u"a,,b",       u"\"a\"b",
        u">TODAY-",   u">TODAY-x",    u">32.1.2020",  u">1.13.2020", u">1.1.1500", u">1.1.2080",
        u">1.1",      u">1.1.2020.1", u">1.1.20x",    u"=12345",   u"-",          u"\"\"",
    };
    for (const char16_t* text : bad) {
        std::string message;
        EXPECT_EQ(Compile(text, &message), FILTER_INVALID) << Narrow(text);
        EXPECT_EQ(message, "Invalid filter") << Narrow(text);
        EXPECT_EQ(std::u16string(slot_.fullText), u"*.c") << "kept after " << Narrow(text);
    }
}

TEST_F(Filespec, RegexErrorsSayWhy) {
    std::string message;
    EXPECT_EQ(Compile(u"/a(/", &message), FILTER_REGEX_BAD);
    EXPECT_EQ(message.rfind("Regex: ", 0), 0u) << message;
    EXPECT_GT(message.size(), 7u) << "the library's reason follows";
    EXPECT_EQ(Compile(u"/" + std::u16string(256, u'a') + u"/", &message), FILTER_REGEX_TOO_LONG);
    EXPECT_EQ(message, "Regex too long");
    EXPECT_EQ(Compile(u"/" + std::u16string(255, u'a') + u"/", &message), FILTER_OK);
    // Two slashes alone are a name, and a name may not hold '/'.
    EXPECT_EQ(Compile(u"//", &message), FILTER_INVALID);
}

TEST_F(Filespec, RegexWithoutTheLibraryIsRefused) {
    FileEntry* entry = File(u"abc");
    ASSERT_EQ(Compile(u"/^a/"), FILTER_OK);
    FilespecCacheClear();
    Pcre2Release();
    std::string message;
    EXPECT_EQ(Compile(u"/^b/", &message), FILTER_REGEX_NO_LIBRARY);
    EXPECT_EQ(message, "A regex filter needs the PCRE2 DLLs");
    EXPECT_EQ(std::u16string(slot_.fullText), u"/^a/");
    // A compiled regex item matches nothing without the library.
    EXPECT_EQ(FileMatchesFilespec(slot_.items, slot_.count, entry, FALSE), 0);
    ASSERT_TRUE(Pcre2Init());
    EXPECT_EQ(FileMatchesFilespec(slot_.items, slot_.count, entry, FALSE), 1);
}

TEST_F(Filespec, RegexCacheKeepsFourExpressionsAndGivesTheRightAnswers) {
    // Six expressions in turn, twice round: each answer must be its own
    // expression's even as the cache replaces the oldest.
    const char16_t* expressions[] = {u"^a", u"^b", u"^c", u"^d", u"^e", u"^f"};
    FilespecItem item{};
    item.kind = FS_REGEX;
    for (int round = 0; round < 2; round++)
        for (const char16_t* e : expressions) {
            wcscpy(item.pattern, e);
            const WCHAR name[] = {e[1], u'x', 0};
            const WCHAR other[] = {u'z', e[1], 0};
            EXPECT_EQ(FilespecCacheLookup(&item, name), 1) << Narrow(e);
            EXPECT_EQ(FilespecCacheLookup(&item, other), 0) << Narrow(e);
        }
}

TEST_F(Filespec, CompiledItemsHoldOperatorsKindsAndCanonicalTexts) {
    const struct {
        const char16_t* text;
        Switches switches;
        DWORD kind;
        WORD op;
        DWORD exclude;
        const char16_t* pattern;
        const char16_t* extension;
        const char16_t* canonical;
        DWORD notAll;
    } rows[] = {
        {u"*.*", kPlain, FS_WILDCARD, 0, 0, u"*", u"*", u"*.*", 0},
        {u"abc", kPlain, FS_NAME, 0, 0, u"abc", u"", u"abc.", 1},
        {u"a*", kPlain, FS_WILDCARD, 0, 0, u"a*", u"", u"a*.", 1},
        {u"a*", kStar, FS_WILDCARD, 0, 0, u"a*", u"*", u"a*.*", 1},
        {u"*", kStar, FS_WILDCARD, 0, 0, u"*", u"*", u"*.*", 0},
        {u"-\"my f.txt\"", kPlain, FS_NAME, 0, 1, u"my f", u"txt", u"-\"my f.txt\"", 1},
        {u".txt", kDot, FS_WILDCARD, 0, 0, u"*", u"txt", u"*.txt", 1},
        {u"<S5", kPlain, FS_SIZE, FS_LT, 0, u"<S5", u"", u"<S5", 1},
        {u"-<S5", kIncl, FS_SIZE, FS_GT, 0, u"-<S5", u"", u"-<S5", 1},
        {u"-=L5", kPlain, FS_NAME_LENGTH, FS_EQ, 1, u"-=L5", u"", u"-=L5", 1},
        {u"<>r5", kPlain, FS_RELATIVE_LENGTH, FS_EQ, 1, u"<>r5", u"", u"<>r5", 1},
        {u">=1.2.2003", kPlain, FS_DATE, FS_GE, 0, u">=1.2.2003", u"", u">=1.2.2003", 1},
    };
    for (const auto& row : rows) {
        Apply(row.switches);
        FilespecItem item;
        DWORD notAll = 7;
        ASSERT_EQ(CompileFilespec(row.text, &item, &notAll), 1) << Narrow(row.text);
        EXPECT_EQ(item.kind, row.kind) << Narrow(row.text);
        EXPECT_EQ(item.op, row.op) << Narrow(row.text);
        EXPECT_EQ(item.exclude, row.exclude) << Narrow(row.text);
        EXPECT_EQ(std::u16string(item.pattern), row.pattern) << Narrow(row.text);
        EXPECT_EQ(std::u16string(item.extension), row.extension) << Narrow(row.text);
        EXPECT_EQ(std::u16string(gFilespecCanonical), row.canonical) << Narrow(row.text);
        EXPECT_EQ(notAll, row.notAll) << Narrow(row.text);
    }
    FilespecItem item;
    ASSERT_EQ(CompileFilespec(u">=1.2.2003", &item, nullptr), 1);
    EXPECT_EQ(item.date, PackDate(2003, 2, 1));
    ASSERT_EQ(CompileFilespec(u"=S?", &item, nullptr), 1);
    EXPECT_EQ(item.value, -1);
    ASSERT_EQ(CompileFilespec(u"=S12,345", &item, nullptr), 1);
    EXPECT_EQ(item.value, 12345);
}

TEST_F(Filespec, SplittingCountsItemsAndTokenSaysWhatIsAComparison) {
    const struct {
        const char16_t* text;
        const char16_t* split;
        int count;
    } rows[] = {
        {u"a b", u"a,b", 2},
        {u"a;b c", u"a,b,c", 3},
        {u"a , ;b", u"a,,b", 3},
        {u"  a   b  ", u"a,b", 2},
        {u"\"a b\" c", u"\"a b\",c", 2},
        {u"\"a;b", u"\"a;b\"", 1},
        {u"label : x y", u"x,y", 2},
        {u"/a:b/", u"/a:b/", 1},
        {u">S1,000 a", u">S1,000,a", 2},
        {u"<L1,234,567,b", u"<L1,234,567,b", 2},
        {u">S1,23 x", u">S1,23,x", 3},
    };
    for (const auto& row : rows) {
        WCHAR text[64] = {};
        wcscpy(text, row.text);
        EXPECT_EQ(SplitFilespecText(text), row.count) << Narrow(row.text);
        EXPECT_EQ(std::u16string(text), row.split) << Narrow(row.text);
    }
    DWORD comparison = 9;
    EXPECT_EQ(FilespecToken(u"<S5,abc", &comparison), 1);
    EXPECT_EQ(comparison, 1u);
    EXPECT_EQ(FilespecToken(u"abc,<S5", &comparison), 1);
    EXPECT_EQ(comparison, 0u);
    DWORD any = 0;
    EXPECT_EQ(ParseFilespecList(u"abc,<S5", 2, &any), 1);
    EXPECT_EQ(any, 1u);
    EXPECT_EQ(ParseFilespecList(u"abc,a\\b", 2, &any), 0);
}

TEST_F(Filespec, FullAndShortTextsOfASlot) {
    ASSERT_EQ(Compile(u"abc  -x*.tmp; \"q r\""), FILTER_OK);
    EXPECT_EQ(std::u16string(slot_.fullText), u"abc.,-x*.tmp,\"q r.\"");
    EXPECT_EQ(slot_.count, 3);
    EXPECT_EQ(slot_.active, 1u);
    EXPECT_EQ(std::u16string(slot_.shortText), u"abc.,-x*.tmp,\"\u25BA");
    ASSERT_EQ(Compile(u"*.txt"), FILTER_OK);
    EXPECT_EQ(std::u16string(slot_.shortText), u"*.txt");
    ASSERT_EQ(Compile(u"*.*"), FILTER_OK);
    EXPECT_EQ(slot_.active, 0u);
    ASSERT_EQ(Compile(u"   "), FILTER_OK) << "an empty text is *.*";
    EXPECT_EQ(std::u16string(slot_.fullText), u"*.*");
    // A text whose canonical items pass 1024 units keeps what fits.
    std::u16string many;
    for (int i = 0; i < 300; i++) many += u"abcd" + std::u16string(1, char16_t('a' + i % 26)) + u",";
    many.pop_back();
    BOOL truncated = FALSE;
    ASSERT_EQ(CompileFilterText(many.c_str(), &slot_, nullptr, 0, &truncated), FILTER_OK);
    EXPECT_TRUE(truncated);
    EXPECT_LT(wcslen(slot_.fullText), 1024u);
    EXPECT_EQ(slot_.count, 300) << "every item is still compiled";
}

TEST_F(Filespec, CopyFilterSlotGivesTheTargetItsOwnItems) {
    InitFilterSlots();
    ASSERT_EQ(CompileFilterText(u"*.c,*.h", &gFilterSlots[0], nullptr, 0, nullptr), FILTER_OK);
    gFilterSlots[0].modeWord = 3;
    CopyFilterSlot(&gFilterSlots[1], &gFilterSlots[0]);
    EXPECT_NE(gFilterSlots[1].items, gFilterSlots[0].items);
    EXPECT_EQ(gFilterSlots[1].count, 2);
    EXPECT_EQ(gFilterSlots[1].modeWord, 3u);
    EXPECT_EQ(std::u16string(gFilterSlots[1].fullText), u"*.c,*.h");
    ASSERT_EQ(CompileFilterText(u"*.x", &gFilterSlots[0], nullptr, 0, nullptr), FILTER_OK);
    EXPECT_EQ(std::u16string(gFilterSlots[1].items[1].extension), u"h");
    InitFilterSlots();
    for (const FilterSlot& slot : gFilterSlots) {
        EXPECT_EQ(slot.count, 0);
        EXPECT_EQ(slot.active, 0u);
        EXPECT_EQ(std::u16string(slot.shortText), u"*.*");
        EXPECT_EQ(std::u16string(slot.items[0].pattern), u"*.*");
    }
}

TEST(ComplexMask, Table) {
    const struct {
        const char16_t* text;
        int mask;
    } rows[] = {
        {u"*.*", 0},      {u"name.txt", 0}, {u"*", 0},        {u"a*.txt", 1},  {u"*.t*", 1},
        {u"*a.txt", 1},   {u"a.*", 0},      {u"*.txt", 0},    {u"a?.txt", 1},  {u"c:x", 1},
        {u"\"a b\"", 1},  {u"a|b", 1},      {u"a<b", 1},      {u"a/b", 1},     {u"noext", 0},
        {u"a.b.c*", 1},   {u"a*b", 1},      {u"", 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IsComplexMask(row.text), row.mask) << Narrow(row.text);
}

TEST(Dates, JulianDayAndItsInverse) {
    EXPECT_EQ(JulianDay(DateRecord{1, 1, 2000}), 2451545u);
    EXPECT_EQ(JulianDay(DateRecord{1, 3, 2024}) - JulianDay(DateRecord{28, 2, 2024}), 2u);
    for (DWORD day = JulianDay(DateRecord{1, 1, 1601}); day < JulianDay(DateRecord{1, 1, 2100});
         day += 37) {
        const DateRecord date = DateFromJulianDay(day);
        EXPECT_EQ(JulianDay(date), day);
        ASSERT_GE(date.month, 1);
        ASSERT_LE(date.month, 12);
    }
    const DateRecord leap = DateFromJulianDay(JulianDay(DateRecord{1, 3, 2024}) - 1);
    EXPECT_EQ(leap.day, 29);
    EXPECT_EQ(leap.month, 2);
}

TEST(Dates, ComparePackedDateGoesFieldByField) {
    const auto at = [](unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi) {
        return PackedDateTime64(PackDate(y, mo, d), PackTime(h, mi, 0, 0));
    };
    EXPECT_EQ(ComparePackedDate(at(2024, 1, 1, 0, 0), at(2024, 1, 1, 0, 0)), 0);
    EXPECT_EQ(ComparePackedDate(at(2024, 1, 2, 0, 0), at(2024, 1, 1, 23, 59)), 1);
    EXPECT_EQ(ComparePackedDate(at(2023, 12, 31, 23, 0), at(2024, 1, 1, 0, 0)), -1);
    EXPECT_EQ(ComparePackedDate(at(2024, 1, 1, 10, 5), at(2024, 1, 1, 10, 4)), 1);
    EXPECT_EQ(ComparePackedDate(PackedDateTime64(PackDate(2024, 1, 1), PackTime(0, 0, 0, 5)),
                                PackedDateTime64(PackDate(2024, 1, 1), PackTime(0, 0, 0, 6))),
              -1);
}

} // namespace
