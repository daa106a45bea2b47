// Rename and destination masks: one table of source, mask, entry times and
// the result or message, each row saying what it shows (and, where the
// behaviour is a choice of this program, why it is so); results refused
// rather than cut; stamp sections read from real files under UTC and a zone
// with daylight saving; the dates, names and count of a display-list entry;
// the sequence prompt driven by keys; and the full paths that the tree's
// seam completes.
#include "platform_fixture.h"
#include "regex_filters.h"
#include "tree_builder.h"
#include "watchdog.h"

#include "fixture.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/packed_dates.h"
#include "qposix_path.h"
#include "settings/paths.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/name_mask.h"
#include "tree/regex.h"
#include "tree/tree_records.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using qtest::Put;
using qtest::Tap;
using Text = std::u16string;

std::string Narrow(const Text& s) { return qtest::NarrowText(s); }

DosDateTime At(int year, int month, int day, int hour, int minute, int second, int hundredths) {
    DosDateTime t{};
    t.year = WORD(year);
    t.month = BYTE(month);
    t.day = BYTE(day);
    t.hour = BYTE(hour);
    t.minute = BYTE(minute);
    t.second = BYTE(second);
    t.hundredths = BYTE(hundredths);
    return t;
}

// The clock and the entry of the table: now, and the entry's accessed,
// created and written times.
const DosDateTime kNow = At(2026, 12, 11, 7, 5, 9, 47);
const DosDateTime kAccessed = At(2001, 9, 8, 10, 11, 12, 5);
const DosDateTime kCreated = At(1999, 3, 4, 5, 6, 7, 89);
const DosDateTime kWritten = At(2024, 2, 29, 23, 58, 7, 31);

BOOL TableEntryTime(void*, char which, DosDateTime* out) {
    *out = which == 'a' ? kAccessed : which == 'c' ? kCreated : kWritten;
    return TRUE;
}

// Counting without a prompt: a value below zero ends the operation, as Esc
// at the prompt does.
LONGLONG TableNext(int step, LONGLONG value) {
    return value + step < 0 ? -1 : value + step;
}

StampInputs TableInputs() {
    StampInputs in{};
    in.now = kNow;
    in.entryTime = TableEntryTime;
    in.directoryName = u"Reports";
    in.otherDirectoryName = u"Backup";
    in.volumeLabel = u"VOL1";
    in.taggedCount = 3;
    in.nextSequence = TableNext;
    return in;
}

struct MaskRow {
    const char* what;      // what the row shows
    const char16_t* source;
    const char16_t* mask;
    // The names the mask gives for `calls` entries in turn, joined by ','
    // ("(ended)" where the counter ran below zero), or the message.
    const char16_t* result;
    const char* message;
    // Why the program behaves so where the behaviour is its own choice;
    // null where the row shows a rule it was given.
    const char* reason = nullptr;
    int calls = 1;
    bool leadingDot = false;
    bool hidePcre2 = false;
};

// What the mask makes of the row: the check of every part on the error
// line, then for each call the stamp sections and the chain.
std::string RunRow(const MaskRow& row, Text* names) {
    UiScriptAnswers({});
    const int valid = ValidateRenameMask(row.mask);
    const auto& asked = UiQuestionsAsked();
    std::string shown = asked.empty() ? "" : Narrow(asked.back().path);
    UiScriptEnd();
    if (!valid) return shown.empty() ? "(no message)" : shown;
    if (!shown.empty()) return "(message for a valid mask: " + shown + ")";
    const StampInputs in = TableInputs();
    MaskSequence sequence{};
    for (int i = 0; i < row.calls; i++) {
        if (i) *names += u",";
        WCHAR expanded[MASK_TEXT_UNITS];
        const char* message = nullptr;
        const int rc = ExpandStampSections(in, &sequence, row.mask, expanded, MASK_TEXT_UNITS, &message);
        if (rc == MASK_ENDED) {
            *names += u"(ended)";
            break;
        }
        if (rc != MASK_OK) return message ? message : "(no message)";
        WCHAR out[NAME_MASK_UNITS];
        char text[256] = {};
        if (MatchSpecListCore(row.source, expanded, row.leadingDot, out, text, sizeof text) != MASK_OK) {
            if (out[0]) return "(refused with a name left in out)";
            return text;
        }
        *names += out;
    }
    return "";
}

class MaskTable : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        qtest::BindRegexFilters();
    }
    void TearDown() override {
        UiScriptEnd();
        qtest::UnbindRegexFilters();
        PlatformTest::TearDown();
    }
};

const char* const kInvalid = MASK_MSG_INVALID;

const MaskRow kRows[] = {
    // ---- the chain and the given cases
    {"a chain applies its parts in turn", u"a.doc", u"*.txt|*.bak", u"a.bak", nullptr},
    {"an odd number of ':' is refused", u"a.doc", u"a:yy.txt", nullptr, kInvalid},
    {"a replacement without R replaces plain text", u"report.txt", u"\"port\"view\"",
     u"review.txt", nullptr},
    {"a dotless name keeps no trailing dot", u"readme", u"*.*", u"readme", nullptr},
    {"a dotless name through a chain", u"readme", u"*.txt|*.", u"readme", nullptr},
    {"trailing blanks of a part are dropped", u"a.doc", u"*.bak   |*.*", u"a.bak", nullptr},
    {"unequal '<' and '>' are refused", u"a.doc", u"<x*.*", nullptr, kInvalid},
    {"a plain part may hold no quote", u"a.doc", u"a\"b.*", nullptr, kInvalid},
    {"an empty part is refused", u"a.doc", u"*.*||*.bak", nullptr, kInvalid,
     "an empty part would make an empty name"},
    // ---- the forms of one part, in order
    {"leading dot on: '*' goes in front", u"a.doc", u".txt", u"a.txt", nullptr, nullptr, 1, true},
    {"leading dot off: the part is a name", u"a.doc", u".txt", u".txt", nullptr},
    {"leading dot on: a part equal to the source is kept", u".txt", u".txt", u".txt", nullptr,
     nullptr, 1, true},
    {"*.* keeps the source", u"My File.tar.gz", u"*.*", u"My File.tar.gz", nullptr},
    {"a plain name is the result", u"a.doc", u"new.name", u"new.name", nullptr},
    {"a plain name loses one trailing dot", u"a.doc", u"new.", u"new", nullptr},
    {"a plain name keeps two trailing dots", u"a.doc", u"new..", u"new..", nullptr},
    {"*.*<...> appends the text", u"a.doc", u"*.*<.bak>", u"a.doc.bak", nullptr},
    {"a prefix before *.* replaces the start", u"abcd.txt", u"xy*.*", u"xycd.txt", nullptr},
    {"the prefix stops at the dot", u"a.txt", u"xy*.*", u"xy.txt", nullptr},
    {"a source shorter than the prefix gives the prefix", u"ab", u"long*.*", u"long", nullptr},
    {"a prefix holding '?' is walked by position", u"xyz.txt", u"a?*.*", u"ayz.txt", nullptr,
     "written as it stands the prefix would put '?' into the name"},
    {"*.ext replaces the extension", u"a.doc", u"*.bak", u"a.bak", nullptr},
    {"*.ext replaces only the last extension", u"a.tar.gz", u"*.tgz", u"a.tar.tgz", nullptr},
    {"*. removes the extension", u"a.doc", u"*.", u"a", nullptr},
    {"name.* keeps the source's extension", u"a.doc", u"new.*", u"new.doc", nullptr},
    {"name.* on a dotless source", u"readme", u"new.*", u"new", nullptr},
    // ---- by position
    {"literals replace source units", u"report.txt", u"*_old.*", u"re_old.txt", nullptr},
    {"an insertion consumes nothing", u"report.txt", u"<new_>*.*", u"new_report.txt", nullptr},
    {"'?' copies and '/' skips a unit", u"report.txt", u"?/*.*", u"rport.txt", nullptr,
     "'/' takes its source unit like '?', so '*' leaves it one"},
    {"'/' at the end drops the last unit", u"report.txt", u"*/.*", u"repor.txt", nullptr,
     "'/' takes its source unit like '?', so '*' leaves it one"},
    {"several '*': the first takes the count, the next the rest", u"abcd.txt", u"*<_>?*.*",
     u"abc_d.txt", nullptr, "the second '*' copies what is left; a third finds nothing"},
    {"a dot inside '<' '>' is no extension dot", u"a.txt", u"*<v1.2>.*", u"av1.2.txt", nullptr},
    {"the extension is walked too", u"a.txt", u"*.?x?", u"a.txt", nullptr},
    {"an extension literal replaces a unit", u"a.txt", u"*.?y*", u"a.tyt", nullptr},
    // ---- plain replacements and their options
    {"every occurrence, case ignored", u"fOo.boo", u"\"o\"0\"", u"f00.b00", nullptr},
    {"C keeps case in a plain search", u"fOo.txt", u"\"O\"0\"C", u"f0o.txt", nullptr},
    {"a number picks the occurrence", u"foo.boo", u"\"o\"0\"2", u"fo0.boo", nullptr},
    {"'-' counts from the end", u"foo.boo", u"\"o\"0\"-1", u"foo.bo0", nullptr},
    {"an occurrence that is not there changes nothing", u"foo.txt", u"\"o\"0\"5", u"foo.txt",
     nullptr},
    {"N: the name alone", u"foo.boo", u"\"o\"0\"N", u"f00.boo", nullptr,
     "N and B select the name (\"NnBb\"); without N, E or B the whole name"},
    {"E: the extension alone", u"foo.boo", u"\"o\"0\"E", u"foo.b00", nullptr,
     "E and B select the extension (\"EeBb\")"},
    {"B: both", u"foo.boo", u"\"o\"0\"B", u"f00.b00", nullptr, "B is the name and the extension"},
    {"E on a dotless name changes nothing", u"readme", u"\"e\"x\"E", u"readme", nullptr,
     "the extension of a dotless name is empty"},
    {"X: only a search text that is the whole scope", u"foo.txt", u"\"foo\"bar\"XN", u"bar.txt",
     nullptr, "X replaces only an exact match of the whole scope"},
    {"X: a longer scope is left alone", u"food.txt", u"\"foo\"bar\"XN", u"food.txt", nullptr,
     "X replaces only an exact match of the whole scope"},
    {"S: each character of the set", u"a_b-c.txt", u"\"_-\" \"S", u"a b c.txt", nullptr,
     "S reads the search text as a set of characters, each replaced"},
    {"I: the replacement goes before the occurrence", u"abc.txt", u"\"b\"x\"I", u"axbc.txt",
     nullptr, "I inserts, keeping the occurrence"},
    {"U: upper case after the replacement", u"Mixed.Txt", u"\"\"\"U", u"MIXED.TXT", nullptr,
     "an empty search text replaces nothing, so the part only changes case"},
    {"L with N: lower-case name", u"Mixed.Txt", u"\"\"\"LN", u"mixed.Txt", nullptr,
     "L lower-cases the scope"},
    {"W: each word capitalised", u"my file-name.txt", u"\"\"\"WN", u"My File-Name.txt", nullptr,
     "W starts a word after a blank, '_', '-' or '.'"},
    {"options are read upper-cased", u"foo.boo", u"\"o\"0\"n", u"f00.boo", nullptr},
    {"an option outside the plain set is refused", u"a.doc", u"\"a\"b\"Q", nullptr, kInvalid},
    {"a replacement part needs three quotes", u"a.doc", u"\"a\"b", nullptr, kInvalid},
    {"a replacement may hold no '*'", u"a.doc", u"\"a\"b*\"", nullptr, kInvalid},
    {"a replacement may hold no ':'", u"a.doc", u"\"a\"b:c\"", nullptr, kInvalid},
    {"a replacement that empties the name is refused", u"abc.txt", u"\"abc.txt\"\"", nullptr,
     MASK_MSG_BAD_RESULT},
    // ---- regular expressions
    {"a regex replaces every match", u"a1b2.txt", u"\"\\d\"#\"R", u"a#b#.txt", nullptr},
    {"a regex selector n: the first n", u"a1b2.txt", u"\"\\d\"#\"R1", u"a#b2.txt", nullptr},
    {"a regex selector -n: the last n", u"a1b2.txt", u"\"\\d\"#\"R-1", u"a1b#.txt", nullptr},
    {"a regex keeps case without C", u"aA.txt", u"\"A\"x\"R", u"ax.txt", nullptr},
    {"C makes a regex ignore case", u"aA.txt", u"\"A\"x\"RC", u"xx.txt", nullptr},
    {"a regex on the name alone", u"test.txt", u"\"t\"T\"RN", u"TesT.txt", nullptr,
     "the scope letters mean the same for both kinds"},
    {"a regex on the extension alone", u"test.txt", u"\"t\"T\"re", u"test.TxT", nullptr,
     "the scope letters mean the same for both kinds"},
    {"X anchors a regex to the whole scope", u"abc.txt", u"\"\\w+\"z\"RXN", u"z.txt", nullptr,
     "X replaces only an exact match of the whole scope"},
    {"X: no whole match, no change", u"a b.txt", u"\"\\w+\"z\"RXN", u"a b.txt", nullptr,
     "X replaces only an exact match of the whole scope"},
    {"I inserts with a regex too", u"a1.txt", u"\"\\d\"_\"RI", u"a_1.txt", nullptr,
     "I inserts, keeping the occurrence"},
    {"U after a regex", u"ab1.txt", u"\"\\d\"x\"RU", u"ABX.TXT", nullptr,
     "the case letters follow the replacement for both kinds"},
    {"groups in the replacement", u"2024-05 report.txt", u"\"(\\d+)-(\\d+)\"$2.$1\"RN",
     u"05.2024 report.txt", nullptr},
    {"a '|' inside a regex part does not split", u"cab.txt", u"\"a|b\"x\"R|*.bak", u"cxx.bak",
     nullptr},
    {"a ':' inside a regex part is no section", u"a1.txt", u"\"(\\d)\"-$1:\"R", u"a-1:.txt",
     nullptr},
    {"an empty pattern is refused", u"a.txt", u"\"\"x\"R", nullptr, MASK_MSG_EMPTY_REGEX},
    {"a pattern that does not compile", u"a.txt", u"\"a(b\"x\"R", nullptr,
     "Regex: missing closing parenthesis at column 4"},
    {"S is not a regex option", u"a.txt", u"\"a\"b\"RS", nullptr, kInvalid},
    {"'-' in regex options needs a digit", u"a.txt", u"\"a\"b\"R-", nullptr, kInvalid},
    {"a regex that empties the name is refused", u"a.txt", u"\"^.*$\"\"R", nullptr,
     MASK_MSG_BAD_RESULT},
    {"a regex that writes '/' is refused", u"a.txt", u"\"a\"x/y\"R", nullptr, MASK_MSG_BAD_RESULT},
    {"a regex that writes '\\' is refused", u"a.txt", u"\"a\"x\\\\y\"R", nullptr,
     MASK_MSG_BAD_RESULT},
    {"a regex that writes a control character is refused", u"a.txt", u"\"a\"\\x{1}\"R", nullptr,
     MASK_MSG_BAD_RESULT},
    {"without PCRE2 a regex part is refused", u"a1.txt", u"\"\\d\"#\"R", nullptr,
     MASK_MSG_NO_PCRE2, nullptr, 1, false, true},
    {"without PCRE2 a plain replacement still works", u"a1.txt", u"\"1\"#\"", u"a#.txt", nullptr,
     nullptr, 1, false, true},
    // ---- stamp sections
    {"a section without a letter uses the current time", u"a.txt", u"<:yyyymmdd:_>*.*",
     u"20261211_a.txt", nullptr,
     "a destination stamped by the copy says when it was made; the entry's dates are one letter "
     "away"},
    {":w takes the written time", u"a.txt", u"<:wyyyy-mm-dd hh.nn.ss:_>*.*",
     u"2024-02-29 23.58.07_a.txt", nullptr},
    {":a takes the accessed time and its day of the year", u"a.txt", u"<:ajjj:>*.*",
     u"251a.txt", nullptr},
    {":c takes the created time", u"a.txt", u"<:cyy:>*.*", u"99a.txt", nullptr},
    {"day of the year in a leap year", u"a.txt", u"<:wjjj:>*.*", u"060a.txt", nullptr},
    {"yy before 2000 and after", u"a.txt", u"<:cyy:-:wyy:>*.*", u"99-24a.txt", nullptr},
    {"cc alone is the century of now", u"a.txt", u"<:cc:>*.*", u"20a.txt", nullptr,
     "an even run of 'c' opening a section is centuries; an odd run names the created date"},
    {"ccc is the created century", u"a.txt", u"<:ccc:>*.*", u"19a.txt", nullptr,
     "an even run of 'c' opening a section is centuries; an odd run names the created date"},
    {"hundredths and tenths", u"a.txt", u"<:wtt-t:>*.*", u"31-3a.txt", nullptr},
    {"tokens ignore case", u"a.txt", u"<:WYYYYMMDD:>*.*", u"20240229a.txt", nullptr},
    {"directory, other pane and label", u"a.txt", u"<:%6-%j6-%v:_>*.*",
     u"Reports-Backup-VOL1_a.txt", nullptr},
    {"text in '<' '>' inside a section is copied", u"a.txt", u"<:yyyy<dy>mm:>*.*",
     u"2026dy12a.txt", nullptr,
     "it is written without its brackets and not read as tokens"},
    {"a letter that is no token is refused", u"a.txt", u"<:yyyyq:>*.*", nullptr, kInvalid,
     "a section holds tokens and separators only, so a typing error is caught"},
    {"'/' in a section is refused", u"a.txt", u"<:dd/mm:>*.*", nullptr, kInvalid,
     "a section holds tokens and separators only, so a typing error is caught"},
    {"an unclosed '<' in a section is refused", u"a.txt", u"<:yy<x:>*.*", nullptr, kInvalid},
    // ---- sequences
    {"digits count up by one", u"a.txt", u"<:001:_>*.*", u"001_a.txt,002_a.txt,003_a.txt",
     nullptr, "digits alone step by +1", 3},
    {"'i' counts up", u"a.txt", u"<:8i:>*.*", u"8a.txt,9a.txt,10a.txt", nullptr,
     "the width is the digits' count; a longer value is written whole", 3},
    {"'d' counts down to the end", u"a.txt", u"<:02d:>*.*", u"02a.txt,01a.txt,00a.txt,(ended)",
     nullptr, "below zero the operation asks for a new start", 4},
    {"a lone 'd' turns the counter round", u"a.txt", u"<:d1:>*.*", u"1a.txt,0a.txt,(ended)",
     nullptr, "a lone 'd' reverses the step of the mask's sequence when it starts", 3},
    {"x is the tagged count", u"a.txt", u"<:xd:>*.*", u"3a.txt,2a.txt,1a.txt", nullptr,
     "x alone starts at the count", 3},
    {"0x is the count less one", u"a.txt", u"<:00xd:>*.*", u"02a.txt,01a.txt,00a.txt", nullptr,
     "digits before x are added to the count less one; their number is the width", 3},
    {"the counter carries over a whole chain", u"a.txt", u"<:1:>*.*|<:1:>*.*",
     u"11a.txt,22a.txt", nullptr, "one counter per operation; every sequence writes its value", 2},
};

TEST_F(MaskTable, EveryRowGivesItsResultOrMessage) {
    for (const MaskRow& row : kRows) {
        SCOPED_TRACE(std::string(row.what) + " | " + Narrow(row.mask) +
                     (row.reason ? std::string(" | why: ") + row.reason : ""));
        // A row gives a name or a message, never both or neither.
        ASSERT_NE(row.result == nullptr, row.message == nullptr);
        if (row.hidePcre2) Pcre2Release();
        Text names;
        const std::string message = RunRow(row, &names);
        if (row.hidePcre2) qtest::BindRegexFilters();
        if (row.result) {
            EXPECT_EQ(message, "");
            EXPECT_EQ(Narrow(names), Narrow(row.result));
        } else {
            EXPECT_EQ(message, row.message);
        }
    }
}

// ---- results that do not fit are refused, never cut ----------------------------------

TEST(MaskLimits, ResultsLongerThanANameOrPathAreRefused) {
    const Text longDir(250, u'd');
    StampInputs in = TableInputs();
    in.directoryName = longDir.c_str();
    struct Case {
        const char* what;
        Text source;
        Text mask;
        int expected;
        const char* message;
    } cases[] = {
        {"a directory name five times passes a path", u"a.txt", u":%6%6%6%6%6:", MASK_TOO_LONG,
         MASK_MSG_TOO_LONG},
        {"a directory name inserted passes a name", u"abcdef.txt", u"<:%6:>*.*", MASK_TOO_LONG,
         MASK_MSG_TOO_LONG},
        {"an insertion of 255 units", u"a.txt", u"<" + Text(255, u'x') + u">*.*", MASK_TOO_LONG,
         MASK_MSG_TOO_LONG},
        {"a plain replacement that grows", u"aaa.txt", u"\"a\"" + Text(90, u'y') + u"\"",
         MASK_TOO_LONG, MASK_MSG_TOO_LONG},
        {"a name of exactly 255 units fits", u"a.txt", u"<" + Text(250, u'x') + u">*.*", MASK_OK,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR expanded[MASK_TEXT_UNITS];
        const char* message = nullptr;
        MaskSequence sequence{};
        int rc = ExpandStampSections(in, &sequence, c.mask.c_str(), expanded, MASK_TEXT_UNITS, &message);
        // Guard units behind the name: nothing may be written past its room.
        WCHAR out[NAME_MASK_UNITS + 8];
        for (WCHAR& u : out) u = 0xBEEF;
        char text[256] = {};
        if (rc == MASK_OK)
            rc = MatchSpecListCore(c.source.c_str(), expanded, FALSE, out, text, sizeof text);
        else
            out[0] = 0, snprintf(text, sizeof text, "%s", message ? message : "");
        EXPECT_EQ(rc, c.expected);
        for (size_t i = NAME_MASK_UNITS; i < NAME_MASK_UNITS + 8; i++) EXPECT_EQ(out[i], 0xBEEF);
        if (c.expected == MASK_OK) {
            EXPECT_LT(std::char_traits<char16_t>::length(out), NAME_MASK_UNITS);
        } else {
            EXPECT_EQ(out[0], 0) << "a refused result leaves no name";
            EXPECT_STREQ(text, c.message);
        }
    }
    // The counter stepping past the largest value it can write.
    MaskSequence sequence{};
    WCHAR expanded[MASK_TEXT_UNITS];
    const char* message = nullptr;
    ASSERT_EQ(ExpandStampSections(in, &sequence, u":4294967295:", expanded, MASK_TEXT_UNITS, &message),
              MASK_OK);
    EXPECT_EQ(Narrow(expanded), "4294967295");
    EXPECT_EQ(ExpandStampSections(in, &sequence, u":4294967295:", expanded, MASK_TEXT_UNITS, &message),
              MASK_TOO_LONG);
    EXPECT_STREQ(message, MASK_MSG_SEQUENCE_RANGE);
    EXPECT_EQ(expanded[0], 0);
}

class MaskEntry : public qtest::PlatformTest {
  protected:
    // A question nobody scripted answers at once; a prompt nobody typed for
    // ends the process instead of waiting for ever.
    qtest::Watchdog watchdog_{120};
    void SetUp() override {
        PlatformTest::SetUp();
        UiScriptAnswers({});
        qtest::ResetTreeState();
        ResetNameMaskSequence();
        PackedNowSetClockForTest(FixedClock);
    }
    void TearDown() override {
        UiScriptEnd();
        PackedNowSetClockForTest(nullptr);
        std::free(gFileList);
        gFileList = nullptr;
        gFMax = 0;
        gWindowMode = WM_TREE;
        gPanes[0].Directory = gPanes[1].Directory = nullptr;
        ResetNameMaskSequence();
        qtest::ResetTreeState();
        PlatformTest::TearDown();
    }
    static void FixedClock(LPSYSTEMTIME t) {
        *t = SYSTEMTIME{};
        t->wYear = 2026;
        t->wMonth = 12;
        t->wDay = 11;
        t->wDayOfWeek = 5;
        t->wHour = 7;
        t->wMinute = 5;
        t->wSecond = 9;
        t->wMilliseconds = 470;
    }
    static std::string Apply(const Text& mask, const WCHAR* source, LONG index, const WCHAR* path) {
        WCHAR out[MASK_TEXT_UNITS];
        if (ApplyNameMask(out, mask.c_str(), source, index, path) != 0) {
            EXPECT_EQ(out[0], 0);
            return "(refused)";
        }
        return Narrow(out);
    }
};

using Zone = qtest::ScopedZone;

Text WinPath(const std::string& posix) {
    WCHAR out[1025];
    return PathFromPosix(posix.c_str(), out, 1025) < 0 ? Text() : Text(out);
}

TEST_F(MaskEntry, StampTokensFromFilesUnderUtcAndADaylightSavingZone) {
    qtest::TempDir dir;
    const std::string summer = dir.Write("summer.txt", "x");
    const std::string century = dir.Write("century.txt", "x");
    // summer.txt: written 1 July 2024 12:00:00.47 UTC, accessed 15 January
    // 2024 23:30:00 UTC (winter: the next day in Berlin). century.txt:
    // written 31 December 1999 23:59:59 UTC (the next century in Berlin).
    const struct timespec summerTimes[2] = {{1705361400, 0}, {1719835200, 470000000}};
    const struct timespec centuryTimes[2] = {{946684799, 0}, {946684799, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, summer.c_str(), summerTimes, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, century.c_str(), centuryTimes, 0), 0);
    const Text summerPath = WinPath(summer);
    const Text centuryPath = WinPath(century);
    ASSERT_FALSE(summerPath.empty());
    const BYTE savedRule = gSettings.bStampTimezone;
    gSettings.bStampTimezone = 1;
    const Text summerMask =
        u":wyyyy-mm-dd hh.nn.ss tt t yy cc jjj:|:ayyyy-mm-dd hh.nn jjj:|:yyyymmdd hhnnsstt:";
    const Text centuryMask = u":wyyyy-mm-dd hh.nn.ss yy cc jjj:";
    const struct {
        const char* zone;
        const char* summer;
        const char* century;
    } zones[] = {
        {"UTC0", "2024-07-01 12.00.00 47 4 24 20 183|2024-01-15 23.30 015|20261211 07050947",
         "1999-12-31 23.59.59 99 19 365"},
        {"Europe/Berlin", "2024-07-01 14.00.00 47 4 24 20 183|2024-01-16 00.30 016|20261211 07050947",
         "2000-01-01 00.59.59 00 20 001"},
        {"CET-1CEST,M3.5.0,M10.5.0/3",
         "2024-07-01 14.00.00 47 4 24 20 183|2024-01-16 00.30 016|20261211 07050947",
         "2000-01-01 00.59.59 00 20 001"},
    };
    for (const auto& z : zones) {
        SCOPED_TRACE(z.zone);
        Zone zone(z.zone);
        EXPECT_EQ(Apply(summerMask, nullptr, -1, summerPath.c_str()), z.summer);
        EXPECT_EQ(Apply(centuryMask, nullptr, -1, centuryPath.c_str()), z.century);
    }
    // %6 of an explicit path is the directory holding the file.
    const Text dirPath = WinPath(dir.path());
    const Text dirName = dirPath.substr(dirPath.rfind(u'\\') + 1);
    EXPECT_EQ(Apply(u":%6:", nullptr, -1, summerPath.c_str()), Narrow(dirName));

    // Without a list index or a path the name is looked up in the cursor's
    // directory.
    {
        Zone zone("UTC0");
        ASSERT_GT(dirPath.size(), 3u);
        DiskInfo* disk = qtest::BuildDisk(char(dirPath[0]));
        psiCurrent = qtest::BuildDir(disk, dirPath.substr(3));
        pdiCurrent = disk;
        EXPECT_EQ(Apply(u":wyyyymmdd:-:%6:", u"summer.txt", -1, nullptr),
                  "20240701-" + Narrow(dirName));
    }
    gSettings.bStampTimezone = savedRule;
}

TEST_F(MaskEntry, AFileThatCannotBeFoundIsReportedAndNowIsUsed) {
    UiScriptAnswers({13});
    EXPECT_EQ(Apply(u"<:wyyyymmdd:>*.*", nullptr, -1, u"C:\\no\\such\\file.txt"), "<20261211>*.*");
    const auto& asked = UiQuestionsAsked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_STREQ(asked[0].kind, "ReportError");
    EXPECT_EQ(asked[0].drive, 'C');
    EXPECT_NE(asked[0].code, 0u);
    // A section without a letter looks nothing up.
    UiScriptAnswers({13});
    EXPECT_EQ(Apply(u":yyyy:", nullptr, -1, u"C:\\no\\such\\file.txt"), "2026");
    EXPECT_TRUE(UiQuestionsAsked().empty());
}

TEST_F(MaskEntry, AListedEntryGivesItsDatesDirectoryLabelAndTaggedCount) {
    DiskInfo* disk = qtest::BuildTree('X', u"docs\\a.txt docs\\b.txt work\\");
    snprintf(disk->szLabel, sizeof disk->szLabel, "%s", "LABEL7");
    pdiCurrent = disk;
    SubdirInfo* docs = nullptr;
    SubdirInfo* work = nullptr;
    for (SubdirInfo* d : qtest::DirsInOrder(disk)) {
        if (Text(d->pszFullName) == u"X:\\docs") docs = d;
        if (Text(d->pszFullName) == u"X:\\work") work = d;
    }
    ASSERT_TRUE(docs && work);
    psiCurrent = docs;
    gPanes[1].Directory = work;
    FileEntry* a = &docs->pFiles[0];
    a->dWritten = PackDate(2024, 2, 29);
    a->tWritten = PackTime(23, 58, 7, 310);
    a->dCreated = PackDate(1999, 3, 4);
    a->tCreated = PackTime(5, 6, 7, 890);
    a->dAccessed = PackDate(2001, 9, 8);
    a->tAccessed = PackTime(10, 11, 12, 50);
    a->bFlags[0] |= ENTRY_TAGGED;
    qtest::RecountTrees();
    BuildDisplayFileList(FALSE);
    ASSERT_NE(gFileList, nullptr);
    ASSERT_EQ(gFMax, 2u);
    const LONG index = ListEntries(gFileList)[0] == HeadOf(a) ? 0 : 1;

    EXPECT_EQ(Apply(u":wyyyymmdd hhnnsstt:-:cyyyy:-:ajjj:", nullptr, index, nullptr),
              "20240229 23580731-1999-251");
    EXPECT_EQ(Apply(u":%6-%j6-%v-x:", nullptr, index, nullptr), "docs-work-LABEL7-1");
    // In the archive file window every letter reads the stored written date.
    gWindowMode = WM_ARCHIVE_FILE;
    EXPECT_EQ(Apply(u":ayyyy:-:cyyyy:-:wyyyy:", nullptr, index, nullptr), "2024-2024-2024");
    gWindowMode = WM_TREE;
    qtest::FreeTrees();
}

// ---- the sequence prompt ----------------------------------------------------------------

std::vector<INPUT_RECORD> Enter() { return Tap(VK_RETURN, 0x1C, 13); }
std::vector<INPUT_RECORD> Esc() { return Tap(VK_ESCAPE, 0x01, 27); }
std::vector<INPUT_RECORD> Type(const std::string& text) {
    std::vector<INPUT_RECORD> records;
    for (char c : text) {
        const WORD vk = c >= 'a' && c <= 'z' ? WORD(c - 32) : WORD(c);
        const auto tap = Tap(vk, 0, WCHAR(c), 0);
        records.insert(records.end(), tap.begin(), tap.end());
    }
    return records;
}

TEST_F(MaskEntry, ASequenceBelowZeroAsksForANewStartAndEscEndsIt) {
    const Text linesBefore = qtest::ConsoleText(gMessageRow, 0, 40);
    const Text mask = u"<:2d:_>*.*";
    const struct {
        const char* what;
        std::vector<std::vector<INPUT_RECORD>> keys; // typed before the call
        const char* expected;
    } steps[] = {
        {"the start", {}, "<2_>*.*"},
        {"one down", {}, "<1_>*.*"},
        {"zero", {}, "<0_>*.*"},
        {"below zero: a text that is no number is asked again, then 7",
         {Type("x1"), Enter(), Type("7"), Enter()}, "<7_>*.*"},
        {"down from the new start", {}, "<6_>*.*"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        for (const auto& k : s.keys) Put(k);
        EXPECT_EQ(Apply(mask, u"a.txt", -1, nullptr), s.expected);
    }
    EXPECT_EQ(NameMaskSequence().value, 6);
    EXPECT_EQ(NameMaskSequence().step, -1);

    // Esc at the prompt gives -1: the operation ends with no name.
    ResetNameMaskSequence();
    EXPECT_EQ(Apply(u"<:0d:>*.*", u"a.txt", -1, nullptr), "<0>*.*");
    Put(Esc());
    EXPECT_EQ(Apply(u"<:0d:>*.*", u"a.txt", -1, nullptr), "(refused)");
    Put(Esc());
    EXPECT_EQ(PromptSequenceNumber(), -1);
    Put(Type("42"));
    Put(Enter());
    EXPECT_EQ(NextSequenceNumber(-1, 0), 42);
    EXPECT_EQ(NextSequenceNumber(1, 41), 42) << "no prompt while the sum is not negative";
    // The command lines are given back as they were.
    EXPECT_EQ(qtest::ConsoleText(gMessageRow, 0, 40), linesBefore);
}

TEST_F(MaskEntry, ShownMessagesOfTheEntryPoints) {
    UiScriptAnswers({});
    WCHAR out[NAME_MASK_UNITS];
    out[0] = u'z';
    EXPECT_EQ(MatchSpecList(u"abc.txt", u"\"abc.txt\"\"", out), -1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(MatchExtSpec(u"a.txt", (u"<" + Text(300, u'x') + u">*.*").c_str(), out), -1);
    EXPECT_EQ(ParseRenameMask(u"a:b"), 0);
    EXPECT_EQ(ValidateRenameMask(u"*.txt|\"a\"b\"Q|x:y"), 0);
    EXPECT_EQ(ParseRenameMask(u"*.bak"), 1);
    const auto& asked = UiQuestionsAsked();
    ASSERT_EQ(asked.size(), 4u) << "one message per failure; the chain stops at its first";
    EXPECT_EQ(Narrow(asked[0].path), MASK_MSG_BAD_RESULT);
    EXPECT_EQ(Narrow(asked[1].path), MASK_MSG_TOO_LONG);
    EXPECT_EQ(Narrow(asked[2].path), MASK_MSG_INVALID);
    EXPECT_EQ(Narrow(asked[3].path), MASK_MSG_INVALID);
    EXPECT_EQ(MatchSpecList(u"a.doc", u"*.txt|*.bak", out), 0);
    EXPECT_EQ(Narrow(out), "a.bak");
}

// ---- full paths through the tree's seam --------------------------------------------------

class TreePaths : public MaskEntry {
  protected:
    void SetUp() override {
        MaskEntry::SetUp();
        DiskInfo* d = qtest::BuildTree('D', u"work\\sub\\ logs\\");
        DiskInfo* e = qtest::BuildTree('E', u"photos\\2024\\");
        wcscpy_s(e->wszSavedPath[0], 1025, u"E:\\photos\\2024");
        pdiCurrent = d;
        for (SubdirInfo* dir : qtest::DirsInOrder(d))
            if (Text(dir->pszFullName) == u"D:\\work\\sub") psiCurrent = dir;
        ASSERT_NE(psiCurrent, nullptr);
        InstallTreePathSeam();
    }
    void TearDown() override {
        gPathTreeSeam = {};
        qtest::FreeTrees();
        MaskEntry::TearDown();
    }
};

TEST_F(TreePaths, MakeFullPathCompletesFromTheCursorDiskAndPanes) {
    const struct {
        const char* what;
        Text in;
        const char* out;
        int result;
        const char* reason;
    } cases[] = {
        {"dot-backslash joins the cursor's directory", u".\\x", "D:\\work\\sub\\x", 1, nullptr},
        {"a drive-relative path on another logged disk", u"E:x", "E:\\photos\\2024\\x", 1, nullptr},
        {"a drive-relative path on the current disk", u"D:y", "D:\\work\\sub\\y", 1,
         "the current disk shows the cursor's directory"},
        {"a disk that is not logged: its root", u"F:z", "F:\\z", 1, nullptr},
        {"a rooted path takes the current disk", u"\\top", "D:\\top", 1, nullptr},
        {"stamp sections are filled from now", u"D:\\logs\\:yyyymmdd:.txt", "D:\\logs\\20261211.txt",
         1, "two further colons make the path a mask of stamp sections from the current time"},
        {"without a drive every colon counts", u":yyyy:\\:mm:", "D:\\work\\sub\\2026\\12", 1,
         "two further colons make the path a mask of stamp sections from the current time"},
        {"sections may name the cursor's directory", u"D:\\logs\\:%6-yy:", "D:\\logs\\sub-26", 1,
         nullptr},
        {"one further colon is no mask", u"D:\\a:b", "D:\\a:b", 0, nullptr},
        {"a path mask that breaks the grammar fails", u"D:\\logs\\:q:.txt", "", -1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR out[FULL_PATH_UNITS];
        EXPECT_EQ(MakeFullPath(out, c.in.c_str()), c.result);
        EXPECT_EQ(Narrow(out), c.out);
    }
    // Leaving the tree for the process's view.
    gPathTreeSeam = {};
    PathContext context;
    GetPathContext(&context);
    EXPECT_EQ(context.currentDrive, 0);
    EXPECT_EQ(context.lastPanePath, nullptr);
    EXPECT_EQ(context.expandStamps, nullptr);
    InstallTreePathSeam();
    GetPathContext(&context);
    EXPECT_EQ(Narrow(context.currentDir), "D:\\work\\sub");
    EXPECT_EQ(context.currentDrive, 'D');
    ASSERT_NE(context.lastPanePath, nullptr);
    EXPECT_EQ(context.lastPanePath('G'), nullptr);
    EXPECT_EQ(Narrow(context.lastPanePath('e')), "E:\\photos\\2024");
}

} // namespace
