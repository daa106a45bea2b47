// The progress line on the test process's own console over a clock of the
// test's own: the bar and its percent, the time, time-left and rate texts,
// /QP, the end with its key, the throughput model's fit, and the busy state
// around a running display.
#include "../platform/platform_fixture.h"
#include "main/startup_options.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/settings.h"
#include "ui/command_menus.h"
#include "ui/progress.h"

#include <chrono>
#include <cstring>
#include <string>

namespace {

using qtest::ConsoleAttrs;
using qtest::ConsoleText;
using qtest::ShadowText;

// The clock the progress line reads: milliseconds and a counter of 1 MHz,
// moved only by the test.
DWORD gFakeTicks = 0;
LONGLONG gFakeCounter = 0;
LONGLONG gFakeFrequency = 1000000;
const ProgressClock kFakeClock = {
    [] { return gFakeTicks; },
    [](LONGLONG* now) {
        *now = gFakeCounter;
        return TRUE;
    },
    [](LONGLONG* f) {
        *f = gFakeFrequency;
        return gFakeFrequency != 0 ? TRUE : FALSE;
    },
};

void Advance(DWORD milliseconds) {
    gFakeTicks += milliseconds;
    gFakeCounter += LONGLONG(milliseconds) * 1000;
}

class ProgressTest : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        gFakeTicks = 100000;
        gFakeCounter = 987654321;
        gFakeFrequency = 1000000;
        ProgressSetClock(&kFakeClock);
        gProgressNoRate = 0;
        gKiloUnit = 1024;
        gSettings.bCopyDonePrompt = 0;
    }
    void TearDown() override {
        // Whatever the test left running ends, so that the next one starts idle.
        if (ProgressStateNow().lastPercent != 200) ShowProgress(4, 1);
        ProgressSetClock(nullptr);
        gProgressNoRate = 0;
        gSettings.bCopyDonePrompt = 0;
        PlatformTest::TearDown();
    }
    // The bottom row from the column, as the screen holds it (the shadow,
    // which follows the layout's width on any screen size).
    static std::u16string Bottom(int column, int count) {
        return ShadowText(gBottomRow, column, count);
    }
};

std::u16string Repeat(char16_t c, int n) {
    return std::u16string(size_t(n), c);
}

// Lines (U+2500) and squares (U+25A0) of a bar as drawn.
std::u16string Bar(int lines) {
    return Repeat(u'\u2500', lines) + Repeat(u'\u25A0', 33 - lines);
}

TEST(ProgressTexts, TheBarTurnsOneCellPerThreePercent) {
    const struct {
        int percent;
        int lines;
        const char* what;
    } kCases[] = {
        {0, 0, "nothing done"},
        {2, 0, "below 3 % no line cell"},
        {3, 1, "3 % gives the first"},
        {50, 16, "half way"},
        {99, 33, "99 % already fills the bar"},
        {100, 33, "100 %"},
        {250, 33, "past 100 % the bar stays full"},
        {-7, 0, "a percent below 0 draws no line"},
    };
    for (const auto& c : kCases) {
        char bar[39];
        ProgressBarText(c.percent, bar);
        ASSERT_EQ(std::strlen(bar), 38u) << c.what;
        const std::string text(bar);
        EXPECT_EQ(text.find_first_not_of('\xC4'), size_t(c.lines)) << c.what;
        EXPECT_EQ(text.substr(size_t(c.lines), size_t(33 - c.lines)),
                  std::string(size_t(33 - c.lines), '\xFE'))
            << c.what;
        EXPECT_EQ(text.substr(33), "     ") << c.what;
    }
}

TEST(ProgressTexts, TimeAndLeftTextsTakeHoursOnlyWhenNeeded) {
    const struct {
        DWORD seconds;
        const char* time;
        const char* left;
    } kCases[] = {
        {0, "Time: 00:00", "Left: 00:00 "},
        {59, "Time: 00:59", "Left: 00:59 "},
        {61, "Time: 01:01", "Left: 01:01 "},
        {3599, "Time: 59:59", "Left: 59:59 "},
        {3600, "Time: 1:00:00", "Left: 1:00:00 "},
        {3725, "Time: 1:02:05", "Left: 1:02:05 "},
        {359999, "Time: 99:59:59", "Left: 99:59:59 "},
        {360000, "Time: 100:00:00", "Left: 100:00:00 "},
    };
    for (const auto& c : kCases) {
        char time[32], left[32];
        ProgressTimeText(c.seconds, time, sizeof time);
        ProgressLeftText(c.seconds, left, sizeof left);
        EXPECT_STREQ(time, c.time) << c.seconds;
        EXPECT_STREQ(left, c.left) << c.seconds;
    }
}

TEST(ProgressTexts, RateTextHasOneTruncatedDecimal) {
    const struct {
        ULONGLONG rate;
        DWORD unit;
        const char* text;
        const char* what;
    } kCases[] = {
        {1500, 1024, "(1.4 KB/s)      ", "1500 bytes a second in 1024-byte kilobytes"},
        {1500, 1000, "(1.5 KB/s)      ", "the same in 1000-byte kilobytes"},
        {12345ull * 1024, 1024, "(12.3 MB/s)      ", "12345 kilobytes a second"},
        {1029, 1024, "(1.0 KB/s)      ", "a remainder of 5 bytes is not half a kilobyte"},
        {12005ull * 1024, 1024, "(12.0 MB/s)      ", "5 kilobytes over 12 MB are no half megabyte"},
        {500, 1024, "(0.4 KB/s)      ", "below one kilobyte"},
        {999ull * 1024 + 1023, 1024, "(999.9 KB/s)      ", "the largest kilobyte figure"},
        {1000ull * 1024, 1024, "(1.0 MB/s)      ", "the first megabyte figure"},
        {2048, 0, "(2.0 KB/s)      ", "a unit of 0 reads as 1024"},
    };
    for (const auto& c : kCases) {
        char text[64];
        ProgressRateText(c.rate, c.unit, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.what;
    }
}

// A display 1 s in, with so many bytes moved since the last time text.
ProgressState Running(DWORD elapsed, DWORD moved, LONGLONG expected) {
    ProgressState s{};
    s.percentTotal = s.bytesExpected = expected;
    s.percentDone = s.bytesDone = moved;
    s.bytesSinceShown = moved;
    s.elapsed = elapsed;
    s.lastPercent = 200;
    s.timingShown = 1;
    s.kiloUnit = 1024;
    return s;
}

TEST(ProgressTexts, TimeDisplayShowsTheRateOnlyOnWideScreensAndRealSteps) {
    const struct {
        DWORD moved;
        LONGLONG step;
        int cols;
        const char* text;
        const char* what;
    } kCases[] = {
        {1500, 1500, 96, "Time: 00:01  Left: 18:31:05  (1.4 KB/s)      ",
         "96 columns show the rate"},
        {1500, 1500, 95, "Time: 00:01  Left: 18:31:05  ", "95 columns never do"},
        {1500, 1500, 80, "Time: 00:01  Left: 18:31:05  ", "nor do 80"},
        {1500, 1, 120, "Time: 00:01  Left: 18:31:05  ", "a step of one byte shows none"},
        {12345u * 1024, 4096, 96, "Time: 00:01  Left: 00:06     (12.3 MB/s)     ",
         "a wide rate is cut to the 45 columns"},
    };
    for (const auto& c : kCases) {
        ProgressState s = Running(1, c.moved, 100000000);
        char text[96];
        ProgressTimeDisplay(&s, nullptr, 0, false, c.step, c.cols, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.what;
        EXPECT_LE(std::strlen(text), 45u) << c.what;
        EXPECT_EQ(s.bytesSinceShown, 0u) << c.what << ": the bytes went into a sample";
        EXPECT_EQ(s.byteSamples[0], c.moved) << c.what;
        EXPECT_EQ(s.secondStamps[0], 1u) << c.what;
    }
}

TEST(ProgressTexts, TimeDisplayHoursAndTheEstimatesWithoutARate) {
    // An hour in: the hours form, and the time left from the bytes.
    ProgressState s = Running(3725, 3725, 7450);
    char text[96];
    ProgressTimeDisplay(&s, nullptr, 0, false, 1, 80, text, sizeof text);
    EXPECT_STREQ(text, "Time: 1:02:05  Left: 1:02:05   ");

    // Nothing moved since the last text but half done: the time left comes
    // from the percent (3725 s for half of it, plus one second).
    s = Running(3725, 0, 1000);
    s.percentDone = 500;
    s.bytesSinceShown = 0;
    ProgressTimeDisplay(&s, nullptr, 0, false, 1, 96, text, sizeof text);
    EXPECT_STREQ(text, "Time: 1:02:05  Left: 1:02:06   ");

    // At the end the left time is 00:00 whatever the estimate.
    s = Running(5, 100, 100000);
    ProgressTimeDisplay(&s, nullptr, 0, true, 1, 80, text, sizeof text);
    EXPECT_STREQ(text, "Time: 00:05  Left: 00:00     ");

    // At second 0 only the time text.
    s = Running(0, 100, 100000);
    ProgressTimeDisplay(&s, nullptr, 0, false, 100, 96, text, sizeof text);
    EXPECT_STREQ(text, "Time: 00:00");
    EXPECT_EQ(s.bytesSinceShown, 100u) << "the bytes wait for the first second";
}

TEST(ProgressTexts, TheRateSpansTheSamplesOfTheLastMinute) {
    ProgressState s = Running(1, 1000, 1000000);
    char text[96];
    ProgressTimeDisplay(&s, nullptr, 0, false, 1000, 96, text, sizeof text);
    EXPECT_STREQ(text, "Time: 00:01  Left: 16:39     (0.9 KB/s)      ");
    // Three seconds later 5000 more: 6000 bytes over the 2 s since the
    // oldest sample's stamp.
    s.elapsed = 3;
    s.bytesSinceShown = 5000;
    s.bytesDone += 5000;
    ProgressTimeDisplay(&s, nullptr, 0, false, 5000, 96, text, sizeof text);
    EXPECT_STREQ(text, "Time: 00:03  Left: 05:31     (2.9 KB/s)      ");
    // Sixty-one samples later the first has fallen out of the ring.
    for (DWORD second = 4; second < 65; second++) {
        s.elapsed = second;
        s.bytesSinceShown = 2048;
        ProgressTimeDisplay(&s, nullptr, 0, false, 2048, 96, text, sizeof text);
    }
    int filled = 0;
    for (DWORD stamp : s.secondStamps)
        filled += stamp != 0;
    EXPECT_EQ(filled, 60);
    EXPECT_EQ(s.secondStamps[59], 5u);
    EXPECT_NE(std::string(text).find("(2.0 KB/s)"), std::string::npos) << text;
}

// ---- the throughput model -------------------------------------------------------------

TEST(ThroughputModel, TheSeedsAloneGiveAFirstGuess) {
    const struct {
        LONGLONG files;
        LONGLONG bytes;
        DWORD seconds;
        const char* what;
    } kCases[] = {
        {1, 268435456, 3, "one 256 MiB file: 2.565 s, rounded up"},
        {10, 0, 1, "ten empty files: 50 ms"},
        {1000, 0, 5, "a thousand empty files: 5 s"},
        {0, 0, 0, "nothing left"},
        {1000000, 100000000000000, 359999, "a huge copy stops at 99:59:59"},
    };
    for (const auto& c : kCases) {
        ThroughputState m;
        ThroughputModelStart(&m, c.files, c.bytes, 1000000, 5000);
        EXPECT_EQ(m.active, 1u) << c.what;
        EXPECT_EQ(ThroughputModelEstimate(&m, 5000), c.seconds) << c.what;
    }
}

TEST(ThroughputModel, WithoutACounterFrequencyTheModelStaysOff) {
    ThroughputState m;
    ThroughputModelStart(&m, 10, 1000, 0, 5000);
    EXPECT_EQ(m.active, 0u);
    const double sums = m.Sw;
    ThroughputModelFileDone(&m, 100, 1, 9000);
    EXPECT_EQ(m.Sw, sums) << "an inactive model takes no sample";
    EXPECT_EQ(m.filesLeft, 0.0);
}

TEST(ThroughputModel, FinishedFilesTeachTheDiskSpeed) {
    // A slow disk: 1 MiB a second, files of 1 MiB. After a hundred of them
    // the ten left (10 MiB) take about ten seconds, not the seeds' 0.1 s.
    const LONGLONG MiB = 1048576;
    ThroughputState m;
    LONGLONG counter = 0;
    ThroughputModelStart(&m, 110, 110 * MiB, 1000000, counter);
    for (int i = 0; i < 100; i++) {
        counter += 1000000;
        ThroughputModelFileDone(&m, MiB, 1, counter);
    }
    EXPECT_EQ(m.filesLeft, 10.0);
    EXPECT_EQ(m.bytesLeft, double(10 * MiB));
    const DWORD left = ThroughputModelEstimate(&m, counter);
    EXPECT_GE(left, 9u);
    EXPECT_LE(left, 11u);

    // Many small files that cost 0.1 s each whatever their size: the fit
    // learns the cost per file.
    ThroughputModelStart(&m, 1100, 1100, 1000000, 0);
    counter = 0;
    for (int i = 0; i < 1000; i++) {
        counter += 100000;
        ThroughputModelFileDone(&m, 1, 0, counter);
    }
    EXPECT_NEAR(double(ThroughputModelEstimate(&m, counter)), 10.0, 1.0) << "100 files of 0.1 s";
}

TEST(ThroughputModel, SkipsAndTheRunningFile) {
    ThroughputState m;
    ThroughputModelStart(&m, 3, 3000, 1000, 0);
    // A skip: the interval is no sample, and the file leaves the counts.
    ThroughputModelSkip(&m, 1000);
    EXPECT_EQ(m.intervalUnmeasured, 1u);
    EXPECT_EQ(m.filesLeft, 2.0);
    EXPECT_EQ(m.bytesLeft, 2000.0);
    const double swBefore = m.Sw, swtBefore = m.Swt;
    ThroughputModelFileDone(&m, 1000, 1, 400000);
    EXPECT_EQ(m.Sw, swBefore) << "the skipped file's interval taught nothing";
    EXPECT_EQ(m.Swt, swtBefore);
    EXPECT_EQ(m.filesLeft, 2.0) << "counted once, by the skip";
    EXPECT_EQ(m.intervalUnmeasured, 0u) << "a new interval started";
    EXPECT_EQ(m.intervalStart, 400000);

    // The counts never fall below 0.
    ThroughputModelFileDone(&m, 5000, 1, 401000);
    ThroughputModelFileDone(&m, 5000, 1, 402000);
    ThroughputModelFileDone(&m, 5000, 1, 403000);
    EXPECT_EQ(m.filesLeft, 0.0);
    EXPECT_EQ(m.bytesLeft, 0.0);

    // The bytes the running file moved no longer count as left: 256 MiB
    // already moved of the 256 MiB left leave the per-file cost only.
    ThroughputModelStart(&m, 1, 268435456, 1000, 0);
    m.intervalBytes = 268435456;
    EXPECT_EQ(ThroughputModelEstimate(&m, 100), 1u) << "5 ms, rounded up";
    // A mark starts the interval again and forgets its bytes.
    ThroughputModelMark(&m, 700);
    EXPECT_EQ(m.intervalBytes, 0.0);
    EXPECT_EQ(m.intervalStart, 700);
    EXPECT_EQ(ThroughputModelEstimate(&m, 800), 3u);
}

// ---- the display on the screen --------------------------------------------------------

TEST_F(ProgressTest, StartShowsTheEmptyBarTimeAndCancelKey) {
    ShowProgress(0, 1000);
    EXPECT_EQ(Bottom(0, 33), Bar(0));
    EXPECT_EQ(Bottom(33, 4), u"  0%");
    EXPECT_EQ(Bottom(40, 11), u"Time: 00:00");
    EXPECT_EQ(Bottom(69, 10), u"Esc Cancel");
    EXPECT_EQ(ScrGetAttr(gBottomRow, 69), gKeyLetterAttr) << "Esc is highlighted";
    EXPECT_EQ(ScrGetAttr(gBottomRow, 72), gMessageAttr);
    EXPECT_EQ(ProgressStateNow().timedActive, 1u);
}

TEST_F(ProgressTest, PercentAndBarFollowTheSteps) {
    struct Step {
        int mode;
        LONGLONG n;
    };
    const struct {
        const char* what;
        LONGLONG total;
        std::initializer_list<Step> steps;
        const char16_t* percent; // at column 34
        int lines;
    } kCases[] = {
        {"half done: 16 line cells and 50% at 34", 1000, {{1, 500}}, u"50%", 16},
        {"everything done still shows 99 in mode 1", 1000, {{1, 1000}}, u"99%", 33},
        {"more than everything still 99", 1000, {{1, 900}, {1, 900}}, u"99%", 33},
        {"the forced redraw shows 100", 1000, {{1, 1000}, {2, 0}}, u"100%", 33},
        {"taking bytes back lowers the bar", 1000, {{1, 600}, {3, 300}}, u"30%", 10},
        {"a skipped file counts at least 65535", 200000, {{6, 10}}, u"32%", 10},
        {"a skipped big file counts its size", 200000, {{6, 100000}}, u"50%", 16},
        {"a skipped item counts one", 4, {{7, 0}, {7, 0}}, u"50%", 16},
        {"skips may pass 100: shown as 100",
         4,
         {{7, 0}, {7, 0}, {7, 0}, {7, 0}, {7, 0}},
         u"100%",
         33},
        {"a total of 0 counts as 1", 0, {{1, 1}}, u"99%", 33},
        {"mode 5 shows the empty bar again", 1000, {{1, 500}, {5, 0}}, u" 0%", 0},
        {"taking back more than was done shows 0", 1000, {{1, 100}, {3, 500}}, u" 0%", 0},
    };
    for (const auto& c : kCases) {
        ShowProgress(0, c.total);
        for (const Step& s : c.steps)
            ShowProgress(s.mode, s.n);
        EXPECT_EQ(Bottom(34, int(std::char_traits<char16_t>::length(c.percent))), c.percent)
            << c.what;
        EXPECT_EQ(Bottom(0, 33), Bar(c.lines)) << c.what;
        ShowProgress(4, 1);
    }
}

TEST_F(ProgressTest, TheTimeTextFollowsTheClockSecondBySecond) {
    ShowProgress(0, 10000000);
    ShowProgress(1, 100);
    Advance(400);
    ShowProgress(1, 100);
    EXPECT_EQ(Bottom(40, 11), u"Time: 00:00") << "within the first second nothing is redrawn";
    Advance(700);
    ShowProgress(1, 100);
    EXPECT_EQ(Bottom(40, 11), u"Time: 00:01");
    EXPECT_EQ(Bottom(51, 8), u"  Left: ");
    Advance(3724000);
    ShowProgress(1, 100);
    EXPECT_EQ(Bottom(40, 13), u"Time: 1:02:05");
}

TEST_F(ProgressTest, WideScreensShowTheRate) {
    // The console is 80 columns: the wider layouts are read from the shadow.
    // The last row is one step of 5 GB (a whole file copied at once): its
    // rate is not cut down to 32 bits.
    const struct {
        int cols;
        LONGLONG step;
        const char16_t* text;
    } kCases[] = {
        {96, 1500, u"Time: 00:01  Left: 18:31:05  (1.4 KB/s)     "},
        {95, 1500, u"Time: 00:01  Left: 18:31:05                 "},
        {96, 12345 * 1024, u"Time: 00:01  Left: 00:06     (12.3 MB/s)    "},
        {96, 5000000000, u"Time: 00:01  Left: 00:00     (4882.8 MB/s)  "},
    };
    for (const auto& c : kCases) {
        ScrSetupLayout(25, c.cols, 1);
        ScrClearArea(gBottomRow, 0, gBottomRow, gScreenMaxCol, 0x07);
        ShowProgress(0, 100000000);
        EXPECT_EQ(Bottom(c.cols - 11, 10), u"Esc Cancel") << c.cols;
        Advance(1000);
        ShowProgress(1, c.step);
        // 44 columns: at 95 the cancel key starts at the 45th.
        EXPECT_EQ(Bottom(40, 44), c.text) << c.cols;
        ShowProgress(4, 1);
    }
    ScrSetupLayout(25, 80, 1);
}

TEST_F(ProgressTest, TheModelsEstimateReplacesTheRates) {
    ShowProgress(0, 100000000);
    ThroughputStart(1000000, 100000000000000);
    EXPECT_EQ(ThroughputStateNow().active, 1u);
    Advance(1000);
    ShowProgress(1, 4096);
    EXPECT_EQ(Bottom(40, 29), u"Time: 00:01  Left: 99:59:59  ");
    EXPECT_EQ(ThroughputStateNow().intervalBytes, 4096.0) << "mode 1 feeds the running interval";
    ShowProgress(3, 10000);
    EXPECT_EQ(ThroughputStateNow().intervalBytes, 0.0) << "never below 0";
    ShowProgress(4, 1);
    EXPECT_EQ(ThroughputStateNow().active, 0u) << "the end stops the model";
}

TEST_F(ProgressTest, WithQPNoTimeIsShownOrKept) {
    gProgressNoRate = 1;
    ShowProgress(0, 1000);
    EXPECT_EQ(Bottom(40, 11), Repeat(u' ', 11));
    Advance(5000);
    ShowProgress(1, 500);
    EXPECT_EQ(Bottom(34, 3), u"50%");
    EXPECT_EQ(Bottom(40, 20), Repeat(u' ', 20));
    EXPECT_EQ(ProgressStateNow().timedActive, 0u);

    // Nor does the busy state redraw a line without timing: it is a busy
    // state of its own.
    ScrPutStr(gBottomRow, 0, "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 0x07);
    SetBusy(1);
    EXPECT_EQ(Bottom(0, 3), u"xxx");
    SetBusy(0);
}

TEST_F(ProgressTest, TheEndClearsTheRowsAndResetsTheCounters) {
    ScrPutStr(gMessageRow, 0, "message", 0x07);
    ScrPutStr(gHintRow, 0, "hints", 0x07);
    ShowProgress(0, 1000);
    ShowProgress(1, 700);
    ShowProgress(4, 1);
    EXPECT_EQ(ConsoleText(gMessageRow, 0, 7), Repeat(u' ', 7));
    EXPECT_EQ(ConsoleText(gHintRow, 0, 5), Repeat(u' ', 5));
    EXPECT_EQ(ConsoleText(gBottomRow, 0, 80), Repeat(u' ', 80));
    EXPECT_EQ(ProgressStateNow().lastPercent, 200u);
    EXPECT_EQ(ProgressBytesDone(), 0);
    EXPECT_EQ(ProgressStateNow().timedActive, 0u);
}

TEST_F(ProgressTest, TheEndWaitsForAKeyWhenTheSettingsAskForOne) {
    const struct {
        BYTE prompt;
        LONGLONG n;
        int left; // input records left after the end
    } kCases[] = {
        {1, 4, 0},
        {1, 1, 1},
        {0, 4, 1},
    };
    for (const auto& c : kCases) {
        gSettings.bCopyDonePrompt = c.prompt;
        qtest::Put({qtest::Key('X', 0x2D, u'x', 0)});
        ShowProgress(0, 100);
        ShowProgress(4, c.n);
        EXPECT_EQ(qtest::Pending(), c.left) << "setting " << int(c.prompt) << ", n " << c.n;
        EXPECT_EQ(ConsoleText(gBottomRow, 0, 80), Repeat(u' ', 80));
        FlushConsoleInputBuffer(gConIn);
    }
}

TEST_F(ProgressTest, ABusyStateRedrawsTheTimedLine) {
    ShowProgress(0, 1000);
    ShowProgress(1, 500);
    ScrPutStr(gBottomRow, 0, "some question over the line           ", 0x07);
    SetBusy(1);
    EXPECT_EQ(Bottom(0, 33), Bar(16));
    EXPECT_EQ(Bottom(34, 3), u"50%");
    SetBusy(1);
    ScrPutStr(gBottomRow, 0, "x", 0x07);
    EXPECT_EQ(Bottom(0, 1), u"x") << "only the outermost entry redraws";
    SetBusy(0);
    SetBusy(0);
}

TEST_F(ProgressTest, EndBusyRedrawLeavesEveryLevelAndDrawsTheMenu) {
    ScrPutWStr(1, 0, u"A", 0x1F);
    ScrClearArea(gMessageRow, 0, gBottomRow, gScreenMaxCol, 0x07);
    SetBusy(1);
    SetBusy(1);
    SetBusy(1);
    ScrPutWStr(1, 0, u"*", 0x70);
    EndBusyRedraw();
    EXPECT_EQ(gBusyFlag.load(), 0u);
    EXPECT_EQ(ConsoleText(1, 0, 1), u"A");
    EXPECT_NE(ConsoleText(gMessageRow, 0, 80), Repeat(u' ', 80)) << "the menu is drawn again";
    SetBusy(1);
    SetBusy(0);
    EXPECT_EQ(gBusyFlag.load(), 0u) << "the depth went back to 0";

    // While the information screen refreshes itself its busy state stays.
    gAutoRefresh = 1;
    SetBusy(1);
    EndBusyRedraw();
    EXPECT_EQ(gBusyFlag.load(), 1u);
    gAutoRefresh = 0;
    SetBusy(0);
    // Nothing busy: nothing is drawn.
    ScrClearArea(gMessageRow, 0, gBottomRow, gScreenMaxCol, 0x07);
    EndBusyRedraw();
    EXPECT_EQ(ConsoleText(gMessageRow, 0, 80), Repeat(u' ', 80));
}

TEST_F(ProgressTest, AMarkThatNeverEndsDelaysTheEndOfBusyOnlyBriefly) {
    // A clock thread that never finishes its mark: the end waits its 50 ms
    // and puts the corners back all the same.
    ScrPutWStr(gMessageRow - 1, 0, u"C", 0x1E);
    SetBusy(1);
    ScrPutWStr(gMessageRow - 1, 0, u"|", 0x70);
    const DWORD expired = BusyWaitsExpired();
    gBusyDrawing = 1;
    const auto start = std::chrono::steady_clock::now();
    SetBusy(0);
    const auto waited = std::chrono::steady_clock::now() - start;
    gBusyDrawing = 0;
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_EQ(BusyWaitsExpired(), expired + 1);
    EXPECT_EQ(gBusyFlag.load(), 0u);
    EXPECT_EQ(ConsoleText(gMessageRow - 1, 0, 1), u"C");
    EXPECT_EQ(ConsoleAttrs(gMessageRow - 1, 0, 1)[0], 0x1E);
}

} // namespace
