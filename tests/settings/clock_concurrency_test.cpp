// The clock thread suspended and resumed thousands of times, around real
// child programs, while the main thread allocates, formats and draws: no
// deadlock (a watchdog turns one into a failure) and the clock still ticks
// afterwards. Run under ThreadSanitizer too.
#include "../platform/platform_fixture.h"
#include "watchdog.h"
#include "platform/console_session.h"
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

} // namespace
