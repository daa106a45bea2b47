// Many threads on the console at once: writers on two buffers, a thread the
// layer suspends and resumes, window changes by signal and terminal input,
// all together; afterwards the terminal must show exactly the active
// buffer. Run under ThreadSanitizer too; a watchdog turns a deadlock into a
// failure.
#include "console_fixture.h"
#include "internal/console.h"
#include "../support/watchdog.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using qtest::Watchdog;

std::atomic<bool> gStop{false};

DWORD LayerThread(LPVOID parameter) {
    HANDLE out = static_cast<HANDLE>(parameter);
    std::mt19937 rng(7);
    CONSOLE_SCREEN_BUFFER_INFO info;
    std::vector<CHAR_INFO> cells(16);
    while (!gStop.load()) {
        WCHAR title[32];
        for (int i = 0; i < 31; i++) title[i] = WCHAR(u'a' + rng() % 26);
        title[31] = 0;
        SetConsoleTitleW(title);
        GetConsoleScreenBufferInfo(out, &info);
        SMALL_RECT region = {0, 0, 3, 3};
        ReadConsoleOutputW(out, cells.data(), {4, 4}, {0, 0}, &region);
        DWORD written;
        WriteConsoleW(out, u"layer\r\n", 7, &written, nullptr);
    }
    return 0;
}

TEST(ConsoleConcurrency, WritersSuspensionResizesAndInputTogether) {
    Watchdog dog(180);
    qtest::TestTerminal& terminal = qtest::ConsoleTerminal();
    HANDLE out = qtest::ConsoleOut();
    HANDLE second = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr, 1, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    gStop = false;

    std::vector<std::thread> threads;
    threads.emplace_back([out] {
        std::mt19937 rng(1);
        const std::u16string texts[] = {u"text ", u"\r\n", u"\t", u"\x01\x7f", u"line\n", u"\b"};
        while (!gStop.load()) {
            const std::u16string& p = texts[rng() % 6];
            DWORD written;
            WriteConsoleW(out, p.data(), DWORD(p.size()), &written, nullptr);
            CONSOLE_SCREEN_BUFFER_INFO info;
            if (GetConsoleScreenBufferInfo(out, &info) && rng() % 8 == 0)
                SetConsoleCursorPosition(out, {SHORT(rng() % info.dwSize.X), SHORT(rng() % info.dwSize.Y)});
            if (rng() % 16 == 0) SetConsoleTextAttribute(out, WORD(rng() & 0xFF));
        }
    });
    threads.emplace_back([out, second] {
        std::mt19937 rng(2);
        std::vector<CHAR_INFO> cells(10 * 4);
        while (!gStop.load()) {
            for (CHAR_INFO& c : cells) {
                c.Char.UnicodeChar = WCHAR(u'A' + rng() % 26);
                c.Attributes = WORD(rng() & 0xFF);
            }
            SMALL_RECT region = {SHORT(rng() % 90), SHORT(rng() % 30), 0, 0};
            region.Right = SHORT(region.Left + 9);
            region.Bottom = SHORT(region.Top + 3);
            WriteConsoleOutputW(rng() % 2 ? out : second, cells.data(), {10, 4}, {0, 0}, &region);
            DWORD written;
            FillConsoleOutputAttribute(second, WORD(rng() & 0xFF), 50, {0, 0}, &written);
            if (rng() % 32 == 0) SetConsoleActiveScreenBuffer(rng() % 2 ? out : second);
        }
    });
    threads.emplace_back([&terminal] {
        std::mt19937 rng(3);
        while (!gStop.load()) {
            int rows = 15 + int(rng() % 30), columns = 40 + int(rng() % 90);
            terminal.SetSize(rows, columns);
            terminal.ResizeScreen(rows, columns);
            raise(SIGWINCH);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    threads.emplace_back([&terminal] {
        while (!gStop.load()) {
            terminal.Write("keys typed \x1b[A");
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    HANDLE layer = CreateThread(nullptr, 0, LayerThread, out, 0, nullptr);
    ASSERT_NE(layer, nullptr);

    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    int suspensions = 0;
    while (std::chrono::steady_clock::now() < end) {
        ASSERT_NE(SuspendThread(layer), 0xFFFFFFFFu);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // Suspended or not, the console stays usable by everyone else.
        DWORD written;
        EXPECT_TRUE(WriteConsoleW(out, u"main ", 5, &written, nullptr));
        ASSERT_NE(ResumeThread(layer), 0xFFFFFFFFu);
        suspensions++;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    gStop = true;
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(WaitForSingleObject(layer, 60000), WAIT_OBJECT_0);
    CloseHandle(layer);
    EXPECT_GT(suspensions, 10);

    // Settle: a known size, the default buffer shown, and then the terminal
    // must show its window cell for cell.
    terminal.SetSize(25, 80);
    terminal.ResizeScreen(25, 80);
    raise(SIGWINCH);
    ASSERT_TRUE(SetConsoleActiveScreenBuffer(out));
    EXPECT_TRUE(CloseHandle(second));
    DWORD written;
    WriteConsoleW(out, u"settled", 7, &written, nullptr);
    auto matches = [out](const qtest::VtScreen& s) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (!GetConsoleScreenBufferInfo(out, &info)) return false;
        if (s.Rows() != 25 || s.Columns() != 80) return false;
        if (info.srWindow.Right - info.srWindow.Left != 79) return false;
        std::vector<CHAR_INFO> cells(80 * 25);
        SMALL_RECT region = info.srWindow;
        if (!ReadConsoleOutputW(out, cells.data(), {80, 25}, {0, 0}, &region)) return false;
        for (int r = 0; r < 25; r++) {
            for (int c = 0; c < 80; c++) {
                qtest::VtCell cell = s.Cell(r, c);
                uint32_t shown = ConsoleDisplayChar(cells[size_t(r) * 80 + c].Char.UnicodeChar);
                char32_t got = cell.text.empty() ? U' ' : cell.text[0];
                if (got != shown) return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(terminal.WaitScreen(matches, 20000)) << "the screen settles on the buffer";
}

} // namespace
