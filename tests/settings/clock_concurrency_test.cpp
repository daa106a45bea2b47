// The clock thread suspended and resumed thousands of times, around real
// child programs, while the main thread allocates, formats and draws: no
// deadlock (a watchdog turns one into a failure) and the clock still ticks
// afterwards; and the clock's repeat indicator beside a main thread that
// plays a repeated macro. Run under ThreadSanitizer too.
#include "../platform/platform_fixture.h"
#include "watchdog.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "posix/qposix_process.h"
#include "settings/clock.h"
#include "ui/progress.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using ClockConcurrency = qtest::PlatformTest;

// Waits (up to a generous limit) until the clock has drawn over the marks
// left in its time field.
bool ClockDrew() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (qtest::ShadowText(0, gScreenCols - 11, 8) != u"########") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST_F(ClockConcurrency, SuspendedAroundChildProgramsWhileTheMainThreadAllocates) {
    qtest::Watchdog watchdog(600);
    ScrPutStr(0, gScreenCols - 11, "########", 0x07);
    StatusThreadControl(1);
    ASSERT_TRUE(StatusThreadRunning());
    ASSERT_TRUE(ClockDrew()) << "the clock thread never ticked";

    SetBusy(1);
    size_t kept = 0;
    int children = 0;
    for (int i = 0; i < 3000; i++) {
        std::vector<std::unique_ptr<std::string>> blocks;
        for (int k = 0; k < 8; k++) {
            char text[64];
            snprintf(text, sizeof text, "block %d of round %d", k, i);
            blocks.push_back(std::make_unique<std::string>(text));
        }
        ScrPutStr(5, 0, blocks.back()->c_str(), 0x07);
        kept += blocks.size();
        StatusThreadControl(0);
        EXPECT_FALSE(StatusThreadRunning());
        if (i % 100 == 0) {
            EXPECT_EQ(ShellRunCommand(u"/bin/true", FALSE), 0);
            children++;
        }
        StatusThreadControl(1);
    }
    SetBusy(0);
    EXPECT_EQ(kept, 3000u * 8);
    EXPECT_EQ(children, 30);

    // Still alive after it all: it draws again.
    StatusThreadControl(0);
    ScrPutStr(0, gScreenCols - 11, "########", 0x07);
    StatusThreadControl(1);
    EXPECT_TRUE(ClockDrew()) << "the clock thread stopped ticking";
    StatusThreadControl(0);
}

// The main thread plays a repeated macro, run after run, while the clock
// thread reads its runs left for the "P" indicator.
TEST_F(ClockConcurrency, TheRepeatIndicatorBesideAPlayingMacro) {
    qtest::Watchdog watchdog(600);
    const KeyCode keys[3] = {'x', 'y', 'z'};
    auto indicator = [] { return qtest::ShadowText(gMessageRow, gScreenMaxCol, 1); };
    StatusThreadControl(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool shown = false;
    long played = 0;
    while (!shown && std::chrono::steady_clock::now() < deadline) {
        MacroLoadKeys(keys, 3, 1000);
        while (MacroKeysLeft() > 0) {
            ASSERT_EQ(KbdGetKeyEx(TRUE, nullptr), keys[played % 3]);
            played++;
            if (indicator() == u"P") shown = true;
        }
    }
    EXPECT_TRUE(shown) << "the clock never showed P over " << played << " keys";
    MacroStop();
    // Off again once the macro is gone.
    const auto clearBy = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (indicator() != u" " && std::chrono::steady_clock::now() < clearBy)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(indicator(), u" ");
    StatusThreadControl(0);
}

} // namespace
