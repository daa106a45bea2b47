// The clock: date arithmetic and reading against an independent calendar,
// and its tick driven by a clock of the test's own on the test console:
// what it redraws, the day change of the "TODAY" filters, the busy marks
// and Esc, the recording and repeat indicators and the error dialog's
// countdown.
#include "../platform/platform_fixture.h"
#include "menu/macros.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/packed_dates.h"
#include "platform/screen.h"
#include "settings/clock.h"
#include "settings/colours.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/find_log.h"
#include "ui/numbers_dates.h"
#include "ui/progress.h"

#include <chrono>
#include <cstring>
#include <string>

namespace {

namespace chr = std::chrono;

struct Ymd {
    int year, month, day;
    bool operator==(const Ymd&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Ymd& d) {
    return out << d.year << '-' << d.month << '-' << d.day;
}

// The calendar of the standard library as the oracle.
Ymd Oracle(int year, int month, int day, int delta) {
    const chr::sys_days start = chr::year(year) / chr::month(unsigned(month)) / chr::day(unsigned(day));
    const chr::year_month_day moved{start + chr::days(delta)};
    return {int(moved.year()), int(unsigned(moved.month())), int(unsigned(moved.day()))};
}

Ymd AddDays(Ymd d, int delta) {
    DateAddDays(d.year, d.month, d.day, delta);
    return d;
}

Ymd Parse(WORD format, const char* text) {
    const WORD saved = gDateFormat;
    gDateFormat = format;
    Ymd d{-1, -1, -1};
    ParseDateText(d.year, d.month, d.day, text);
    gDateFormat = saved;
    return d;
}

TEST(ClockDates, TextsReadInEveryFormatAndCentury) {
    struct Case {
        const char* what;
        WORD format;
        const char* text;
        Ymd expected;
    };
    const Case cases[] = {
        {"format 0, a leap day of year 24", 0, "29-02-24", {2024, 2, 29}},
        {"79 is this century", 0, "01-01-79", {2079, 1, 1}},
        {"80 is the last one", 0, "01-01-80", {1980, 1, 1}},
        {"format 1 reads month first, blank before", 1, " 3-07-31", {2031, 3, 7}},
        {"format 2 reads year first, '.' separates", 2, "99.12.31", {1999, 12, 31}},
        {"format 3 with a full year and '/'", 3, "31/12/2079", {2079, 12, 31}},
        {"format 4", 4, "12-25-1601", {1601, 12, 25}},
        {"format 5", 5, "2100-02-28", {2100, 2, 28}},
        {"a year of 1600 still has two digits", 3, "01-01-1600", {3500, 1, 1}},
        {"format 6 reads nothing", 6, "01-01-2020", {2000, 0, 0}},
        {"a missing number is 0", 0, "15-06", {2000, 6, 15}},
    };
    for (const Case& c : cases) EXPECT_EQ(Parse(c.format, c.text), c.expected) << c.what;
}

TEST(ClockDates, DaysAddUpOutsideTheTwoDigitCentury) {
    struct Case {
        const char* what;
        Ymd from;
        int delta;
    };
    const Case cases[] = {
        {"a leap day to March", {2024, 2, 29}, 1},
        {"the last day a two-digit year can hold, and on", {2079, 12, 31}, 1},
        {"1979 into 1980", {1979, 12, 31}, 1},
        {"2100 is no leap year", {2100, 2, 28}, 1},
        {"2000 is one", {2000, 2, 28}, 1},
        {"back over a leap day", {2024, 3, 1}, -1},
        {"back a week across a year", {2026, 1, 3}, -7},
        {"a long way forward", {1601, 1, 1}, 200000},
        {"a day past the month's end counts on", {2026, 4, 31}, 0},
    };
    for (const Case& c : cases) {
        const Ymd expected = c.from.day == 31 && c.from.month == 4
                                 ? Oracle(c.from.year, 5, 1, c.delta)
                                 : Oracle(c.from.year, c.from.month, c.from.day, c.delta);
        EXPECT_EQ(AddDays(c.from, c.delta), expected) << c.what;
    }
    // Every day of four centuries, one day on and a week back.
    for (Ymd d{1900, 1, 1}; d.year < 2300; d = AddDays(d, 1)) {
        ASSERT_EQ(AddDays(d, 1), Oracle(d.year, d.month, d.day, 1)) << d;
        ASSERT_EQ(AddDays(d, -7), Oracle(d.year, d.month, d.day, -7)) << d;
    }
    EXPECT_EQ(AddDays({2026, 13, 1}, 1), (Ymd{2026, 13, 1})) << "an impossible month is kept";
    EXPECT_EQ(AddDays({9999, 12, 31}, 5), (Ymd{9999, 12, 31})) << "the calendar's end holds";
}

// ---- the tick ------------------------------------------------------------------------------

SYSTEMTIME At(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME t{};
    t.wYear = WORD(year);
    t.wMonth = WORD(month);
    t.wDay = WORD(day);
    t.wHour = WORD(hour);
    t.wMinute = WORD(minute);
    t.wSecond = WORD(second);
    const chr::weekday wd{chr::sys_days(chr::year(year) / chr::month(unsigned(month)) / chr::day(unsigned(day)))};
    t.wDayOfWeek = WORD(wd.c_encoding());
    return t;
}

void CompileTimeClock(LPSYSTEMTIME out) { *out = At(2026, 3, 10, 12, 0, 0); }

class ClockTickTest : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        savedSettings_ = gSettings;
        gDateFormat = 0;
        gTwelveHourClock = 0;
        gClockLongDate = FALSE;
        gClockShown = TRUE;
        ClockStateInit(&state_);
    }
    void TearDown() override {
        ErrorCountdownStop();
        while (gBusyFlag) SetBusy(0);
        gFindLogActive = 0;
        gInterruptRequested = 0;
        gInterruptOnAnyKey = 0;
        if (MacroRecordingActive()) KeyLogMacroRecord(KEYLOG_END_RECORDING, 0, 0, nullptr);
        MacroStop();
        InitFilterSlots();
        FreeFileColourRules(&gFileColourRules);
        gSettings = savedSettings_;
        PlatformTest::TearDown();
    }
    DWORD Tick(const SYSTEMTIME& now) { return ClockTick(&state_, now); }
    // The time field of row 0 at 80 columns.
    std::u16string TimeField() { return qtest::ShadowText(0, 80 - 11, 8); }

    ClockState state_{};
    Settings savedSettings_{};
};

TEST_F(ClockTickTest, AnUnchangedTimeRedrawsNothing) {
    EXPECT_EQ(Tick(At(2026, 3, 10, 9, 5, 7)), 250u);
    EXPECT_EQ(TimeField(), u" 9:05:07");
    EXPECT_EQ(qtest::ShadowText(0, 60, 8), u"10-03-26");
    // Cells painted over by the windows stay as they are until the time
    // text changes.
    ScrPutStr(0, 60, "dddddddddddddddddddd", 0x07);
    Tick(At(2026, 3, 10, 9, 5, 7));
    EXPECT_EQ(qtest::ShadowText(0, 60, 20), u"dddddddddddddddddddd");
    Tick(At(2026, 3, 10, 9, 5, 8));
    EXPECT_EQ(TimeField(), u" 9:05:08");
    EXPECT_EQ(qtest::ShadowText(0, 60, 8), u"dddddddd") << "the date waits for the next minute";
    Tick(At(2026, 3, 10, 9, 6, 0));
    EXPECT_EQ(qtest::ShadowText(0, 60, 8), u"10-03-26");

    gClockLongDate = TRUE;
    Tick(At(2026, 3, 10, 9, 7, 0));
    EXPECT_EQ(qtest::ShadowText(1, 2, 19), u"Tue 10 Mar, 2026   ");
    EXPECT_EQ(qtest::ShadowText(1, 21, 8), u" 9:07:00");
}

TEST_F(ClockTickTest, TheDayChangeMovesTodayInBothPanesAndTheColourRules) {
    PackedNowSetClockForTest(CompileTimeClock);
    char message[128];
    for (int pane = 0; pane < 2; pane++)
        ASSERT_EQ(CompileFilterText(u">=TODAY-7,<01-01-2030", &gFilterSlots[pane], message,
                                    sizeof message, nullptr),
                  FILTER_OK);
    const std::string colours = "EXE: BLUE\n>=TODAY-7: RED\n";
    ApplyColourFile(reinterpret_cast<const BYTE*>(colours.data()), colours.size(), gColourTable,
                    &gSettings.bColourHistory, &gExtraColours, &gFileColourRules);
    PackedNowSetClockForTest(nullptr);
    ASSERT_EQ(gFileColourRules.count, 2u);

    const PackedDate weekAgo = PackDate(2026, 3, 3);
    const PackedDate fixed = PackDate(2030, 1, 1);
    auto dates = [] {
        std::vector<PackedDate> out;
        for (int pane = 0; pane < 2; pane++)
            for (DWORD i = 0; i < gFilterSlots[pane].count; i++)
                out.push_back(gFilterSlots[pane].items[i].date);
        const FileColourRule& rule = gFileColourRules.rules[1];
        for (DWORD i = 0; i < rule.count; i++) out.push_back(rule.items[i].date);
        return out;
    };
    ASSERT_EQ(dates(), (std::vector<PackedDate>{weekAgo, fixed, weekAgo, fixed, weekAgo}));

    struct Step {
        const char* what;
        SYSTEMTIME now;
        PackedDate today7;
    };
    const Step steps[] = {
        {"the first tick only learns the day", At(2026, 3, 10, 23, 59, 58), weekAgo},
        {"no change within the day", At(2026, 3, 10, 23, 59, 59), weekAgo},
        {"midnight moves the relative dates one day", At(2026, 3, 11, 0, 0, 0), PackDate(2026, 3, 4)},
        {"a later minute of the day moves nothing", At(2026, 3, 11, 0, 1, 0), PackDate(2026, 3, 4)},
        {"three midnights slept over move three days", At(2026, 3, 14, 8, 0, 0), PackDate(2026, 3, 7)},
        {"the same minute of a later day, over the month's end", At(2026, 4, 1, 8, 0, 30),
         PackDate(2026, 3, 25)},
        {"a clock set back moves them back", At(2026, 3, 31, 8, 0, 45), PackDate(2026, 3, 24)},
    };
    for (const Step& s : steps) {
        Tick(s.now);
        EXPECT_EQ(dates(), (std::vector<PackedDate>{s.today7, fixed, s.today7, fixed, s.today7}))
            << s.what;
    }
}

TEST_F(ClockTickTest, BusyMarksTurnAndEscInterrupts) {
    const SYSTEMTIME now = At(2026, 3, 10, 9, 0, 0);
    SetBusy(1);
    const std::u16string frames[4] = {u"\u2502", u"\\", u"-", u"/"};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(Tick(now), 100u) << "busy ticks are faster";
        for (int row : {1, int(gMessageRow) - 1})
            for (int column : {0, int(gScreenMaxCol)})
                EXPECT_EQ(qtest::ShadowText(row, column, 1), frames[i % 4])
                    << "tick " << i << " row " << row << " column " << column;
    }
    EXPECT_EQ(gInterruptRequested.load(), 0u);

    // While FIND & LOG reads the keyboard itself the clock leaves it alone.
    gFindLogActive = 1;
    qtest::Put(qtest::Tap(VK_ESCAPE, 1, 27));
    Tick(now);
    EXPECT_EQ(gInterruptRequested.load(), 0u);
    EXPECT_GT(qtest::Pending(), 0);
    gFindLogActive = 0;
    Tick(now);
    EXPECT_EQ(gInterruptRequested.load(), 1u);

    // A plain key typed while busy is kept for the main thread.
    gInterruptRequested = 0;
    qtest::Put(qtest::Tap('A', 0x1E, u'a'));
    Tick(now);
    EXPECT_EQ(gInterruptRequested.load(), 0u);
    EXPECT_EQ(TypeAheadKeys(), 1);
    TypeAheadDrop();

    // An operation that any key stops takes the plain key as the request
    // and does not deliver it again afterwards.
    gInterruptOnAnyKey = 1;
    qtest::Put(qtest::Tap('A', 0x1E, u'a'));
    Tick(now);
    gInterruptOnAnyKey = 0;
    EXPECT_EQ(gInterruptRequested.load(), 1u);
    EXPECT_EQ(TypeAheadKeys(), 0);
    EXPECT_EQ(KbdFlush(TRUE), 0) << "only the key's release is left";
    gInterruptRequested = 0;

    // Not busy: Esc is the window's key, and the corners are SetBusy's.
    SetBusy(0);
    qtest::Put(qtest::Tap(VK_ESCAPE, 1, 27));
    EXPECT_EQ(Tick(now), 250u);
    EXPECT_EQ(gInterruptRequested.load(), 0u);
    EXPECT_GT(qtest::Pending(), 0);
}

TEST_F(ClockTickTest, TheRecordingIndicatorBlinksAndIsClearedAfterwards) {
    const SYSTEMTIME now = At(2026, 3, 10, 9, 0, 0);
    const int row = gMessageRow, column = gScreenMaxCol;
    ScrPutStr(row, column, "x", 0x07);
    Tick(now);
    EXPECT_EQ(qtest::ShadowText(row, column, 1), u"x") << "nothing recorded: the cell is the window's";
    KeyLogMacroRecord(KEYLOG_START_RECORDING, 0, 0, nullptr);
    for (int i = 0; i < 4; i++) {
        Tick(now);
        EXPECT_EQ(qtest::ShadowText(row, column, 1), i % 2 ? u" " : u"R") << "tick " << i;
    }
    Tick(now);
    KeyLogMacroRecord(KEYLOG_END_RECORDING, 0, 0, nullptr);
    Tick(now);
    EXPECT_EQ(qtest::ShadowText(row, column, 1), u" ");
}

// The message row's right end as the clock leaves it: the runs field (11
// cells), the gap and the indicator.
std::u16string IndicatorEnd() { return qtest::ShadowText(gMessageRow, gScreenMaxCol - 12, 13); }

TEST_F(ClockTickTest, ARepeatedMacroBlinksPWithTheRunsLeft) {
    const KeyCode keys[2] = {'a', 'b'};
    struct Case {
        const char* what;
        int keys;
        int32_t repeat;
        const char16_t* shown; // the "P" phase; null: the cells stay the window's
    };
    const Case cases[] = {
        {"five runs left", 2, 5, u"          5 P"},
        {"the count in groups", 2, 1234567, u"  1,234,567 P"},
        {"the last run is no count", 2, 1, nullptr},
        {"a loop marker is no count", 2, -2, nullptr},
        {"no keys left to play", 0, 5, nullptr},
    };
    const SYSTEMTIME now = At(2026, 3, 10, 9, 0, 0);
    const std::u16string window = u"wwwwwwwwwwwww";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScrPutStr(gMessageRow, gScreenMaxCol - 12, "wwwwwwwwwwwww", 0x07);
        MacroLoadKeys(keys, c.keys, c.repeat);
        for (int i = 0; i < 4; i++) {
            Tick(now);
            if (!c.shown)
                EXPECT_EQ(IndicatorEnd(), window) << "tick " << i;
            else
                EXPECT_EQ(IndicatorEnd(), i % 2 ? u"             " : c.shown) << "tick " << i;
        }
        MacroStop();
        Tick(now);
        EXPECT_EQ(IndicatorEnd(), c.shown ? u"             " : window) << "cleared at the end";
    }
}

TEST_F(ClockTickTest, TheRunsFollowTheMacroAndYieldToRecording) {
    const SYSTEMTIME now = At(2026, 3, 10, 9, 0, 0);
    const KeyCode keys[1] = {'a'};
    MacroLoadKeys(keys, 1, 3);
    Tick(now);
    EXPECT_EQ(IndicatorEnd(), u"          3 P");
    Tick(now);
    // The run ends and the next begins: one run fewer.
    EXPECT_EQ(KbdGetKeyEx(TRUE, nullptr), KeyCode('a'));
    EXPECT_EQ(qtest::ShadowText(gBottomRow, gScreenMaxCol - 10, 11), u"          2")
        << "the key reader's own count";
    // That count's cells on the bottom row are never the clock's.
    ScrPutStr(gBottomRow, gScreenMaxCol - 10, "reader-runs", 0x07);
    Tick(now);
    EXPECT_EQ(IndicatorEnd(), u"          2 P");
    // Recording shows "R" alone, the runs taken away.
    KeyLogMacroRecord(KEYLOG_START_RECORDING, 0, 0, nullptr);
    Tick(now);
    EXPECT_EQ(IndicatorEnd(), u"             ");
    Tick(now);
    EXPECT_EQ(IndicatorEnd(), u"            R");
    EXPECT_EQ(qtest::ShadowText(gBottomRow, gScreenMaxCol - 10, 11), u"reader-runs");
}

TEST_F(ClockTickTest, TheErrorDialogAnswersWhenItsCountdownEnds) {
    struct Case {
        const char* what;
        BYTE timeout, answer, searchAnswer;
        BOOL search;
        DWORD ticks; // 0: never answers
        KeyCode key;
    };
    const Case cases[] = {
        {"one second, the default answer", 1, 'S', 'R', FALSE, 10, 'S'},
        {"a zero answer reads as Cancel", 1, 0, 'R', FALSE, 10, 'C'},
        {"Ctrl-Search errors take their own answer", 1, 'N', 'R', TRUE, 10, 'R'},
        {"three seconds", 2, 'R', 0, FALSE, 30, 'R'},
        {"no timeout never answers", 0, 'S', 'R', FALSE, 0, 0},
        {"a value past the table never answers", 9, 'S', 'R', FALSE, 0, 0},
    };
    const SYSTEMTIME now = At(2026, 3, 10, 9, 0, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gSettings.bErrorTimeout = c.timeout;
        gSettings.bErrorDefault = c.answer;
        gSettings.bSearchErrorDefault = c.searchAnswer;
        EXPECT_EQ(ErrorCountdownStart(12, c.search), c.ticks != 0);
        const DWORD limit = c.ticks ? c.ticks : 1000;
        for (DWORD i = 1; i < limit; i++) {
            EXPECT_EQ(Tick(now), c.ticks ? 100u : 250u);
            ASSERT_EQ(qtest::Pending(), 0) << "answered early, tick " << i;
            if (c.ticks && i == 10 && c.ticks > 10) {
                EXPECT_EQ(qtest::ShadowText(12, 48, 6), u"    2s");
            }
        }
        Tick(now);
        if (c.key) {
            ASSERT_GT(qtest::Pending(), 0);
            EXPECT_EQ(KbdFlush(TRUE), c.key);
        }
        for (int i = 0; i < 20; i++) Tick(now);
        EXPECT_EQ(qtest::Pending(), 0) << "one answer only";
        ErrorCountdownStop();
    }
}

} // namespace
