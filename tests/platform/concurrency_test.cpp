// The clock thread and the main thread on the platform services at once:
// the clock draws its fields and takes type-ahead into the macro buffer
// while the main thread draws, saves and restores and plays the macro. Run
// under ThreadSanitizer too; a watchdog turns a deadlock into a failure.
#include "platform_fixture.h"
#include "../support/watchdog.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "ui/progress.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using qtest::Watchdog;

using PlatformConcurrency = qtest::PlatformTest;

TEST_F(PlatformConcurrency, ClockThreadDrawsAndTakesTypeAheadWhileAMacroPlays) {
    Watchdog watchdog(120);
    constexpr int kMacroKeys = 2000;
    constexpr int kTaken = 1200;
    constexpr int kTyped = 300;
    std::vector<KeyCode> macro;
    for (int i = 0; i < kMacroKeys; i++)
        macro.push_back(u'a' + i % 26);
    MacroLoadKeys(macro.data(), kMacroKeys, 0);
    SetBusy(1);
    gMacroKeysWhileBusy = TRUE;

    std::atomic<bool> stop{false};
    std::atomic<int> typeAhead{0};
    std::thread typist([&] {
        for (int i = 0; i < kTyped; i++) {
            qtest::Put(qtest::Tap('T', 0x14, u't', 0));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::thread clock([&] {
        while (!stop) {
            char text[16];
            ScrClockText(text);
            ScrPutStr(0, 60, text, 0x1F);
            ScrDateText(text);
            ScrPutStr(1, 60, text, 0x1F);
            WCHAR corner;
            ScrGetWChars(0, 0, &corner, 1);
            if (KbdFlush(FALSE) == u't') typeAhead++;
        }
    });

    std::u16string played;
    for (int i = 0; i < kTaken; i++) {
        DWORD flags = 0;
        played.push_back(char16_t(KbdGetKeyEx(TRUE, &flags)));
        const int row = 3 + i % 10;
        ScrPutStr(row, 0, "the main thread draws here", 0x07);
        ScrHLine(row, 30, 20, u'<', u'-', u'>', 0x17);
        if (i % 20 == 0) {
            // A dialog over the top rows, where the clock keeps drawing.
            ScreenCell* saved = ScrSaveRect(0, 0, 2, 79);
            ScrClearArea(0, 0, 2, 79, 0x70);
            ScrRestoreRect(0, 0, 2, 79, saved);
        }
    }
    typist.join();
    // Let the clock take what the typist left.
    for (int i = 0; i < 2000 && qtest::Pending() > 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop = true;
    clock.join();
    SetBusy(0);

    EXPECT_EQ(typeAhead.load(), kTyped) << "every typed key was taken";
    EXPECT_EQ(TypeAheadKeys(), kTyped) << "and kept for after the macro";
    EXPECT_EQ(MacroKeysLeft(), kMacroKeys - kTaken) << "no macro key lost or doubled";
    std::u16string expected;
    for (int i = 0; i < kTaken; i++)
        expected.push_back(char16_t(u'a' + i % 26));
    EXPECT_EQ(played, expected) << "the macro plays in order; type-ahead waits at its end";
    EXPECT_EQ(qtest::ShadowText(0, 62, 1), u":") << "the clock's field";
    EXPECT_EQ(qtest::ConsoleText(5, 0, 8), u"the main");
    MacroStop();
    TypeAheadDrop();
}

} // namespace
