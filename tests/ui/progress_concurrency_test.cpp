// The nested busy state entered and left thousands of times on the main
// thread while a clock thread ticks without pause, drawing its marks into
// the corners: the corners come back whole after every outermost end, the
// flag follows the depth, and nothing races (run under ThreadSanitizer too).
#include "../platform/platform_fixture.h"
#include "fixture.h"
#include "watchdog.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "settings/clock.h"
#include "ui/progress.h"

#include <atomic>
#include <string>
#include <thread>

namespace {

using qtest::ShadowText;
using ProgressConcurrency = qtest::PlatformTest;

struct CornerCell {
    int row;
    int column;
    const char16_t* text;
    BYTE attr;
};

TEST_F(ProgressConcurrency, NestedBusyBesideTheTickingClockPutsTheCornersBack) {
    qtest::Watchdog watchdog(600);
    const CornerCell corners[4] = {
        {1, 0, u"a", 0x1E},
        {1, gScreenMaxCol, u"b", 0x2E},
        {gMessageRow - 1, 0, u"c", 0x3E},
        {gMessageRow - 1, gScreenMaxCol, u"d", 0x4E},
    };
    for (const CornerCell& c : corners)
        ScrPutWStr(c.row, c.column, c.text, c.attr);

    std::atomic<bool> stop{false};
    std::atomic<long> ticks{0};
    // Stopped and joined on every way out, a failed assertion included.
    struct Joiner {
        std::atomic<bool>& stop;
        std::thread& thread;
        ~Joiner() {
            stop = true;
            if (thread.joinable()) thread.join();
        }
    };
    std::thread clock([&] {
        ClockState state;
        ClockStateInit(&state);
        while (!stop) {
            SYSTEMTIME now;
            GetLocalTime(&now);
            ClockTick(&state, now);
            ticks++;
        }
    });
    Joiner joiner{stop, clock};

    int checked = 0, marksSeen = 0;
    for (int round = 0; round < 3000; round++) {
        const DWORD expired = BusyWaitsExpired();
        const int depth = 1 + round % 3;
        for (int d = 0; d < depth; d++) {
            SetBusy(1);
            ASSERT_EQ(gBusyFlag.load(), 1u);
        }
        // Let the clock draw now and then, so that marks really are on the
        // corners when the state ends.
        if (round % 100 == 0) {
            const long seen = ticks;
            ASSERT_TRUE(qtest::WaitUntil([&] { return ticks > seen + 2; }));
            if (ShadowText(1, 0, 1) != u"a") marksSeen++;
        }
        for (int d = depth; d > 1; d--) {
            SetBusy(0);
            ASSERT_EQ(gBusyFlag.load(), 1u) << "still " << d - 1 << " deep";
        }
        SetBusy(0);
        ASSERT_EQ(gBusyFlag.load(), 0u);
        // A mark the clock had begun before the end and not finished within
        // the end's wait may still land; only then is a corner allowed to
        // differ.
        if (BusyWaitsExpired() != expired) {
            ASSERT_TRUE(qtest::WaitUntil([] { return gBusyDrawing == 0; }));
            for (const CornerCell& c : corners)
                ScrPutWStr(c.row, c.column, c.text, c.attr);
            continue;
        }
        for (const CornerCell& c : corners) {
            ASSERT_EQ(ShadowText(c.row, c.column, 1), c.text) << "round " << round;
            ASSERT_EQ(ScrGetAttr(c.row, c.column), c.attr) << "round " << round;
        }
        checked++;
    }
    EXPECT_GT(checked, 0);
    EXPECT_GT(marksSeen, 0) << "the clock drew its marks while busy";
}

} // namespace
