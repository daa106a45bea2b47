// The pseudo windows on the test process's own terminal (80 x 25): which
// windows exist, their rectangles, styles, owners and texts, the screen
// metrics as the terminal grows, and the printing functions that fail
// cleanly with error 120 instead of stopping the program.
#include "console_fixture.h"
#include "internal/console.h"
#include "internal/missing.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;

HWND W(uintptr_t value) { return reinterpret_cast<HWND>(value); }

const HWND kConsole = W(0x10010);
const HWND kDesktop = W(0x10020);
const HWND kMonitor = W(0x10030);
const HWND kOther = W(0x10014);

void ResizeTerminal(int rows, int columns) {
    qtest::ConsoleTerminal().SetSize(rows, columns);
    qtest::ConsoleTerminal().ResizeScreen(rows, columns);
    raise(SIGWINCH);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        int32_t r, c;
        ConsoleGetTerminalSize(&r, &c);
        if (r == rows && c == columns) return;
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the console never saw the size";
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::vector<std::pair<HWND, LPARAM>> gEnumerated;
BOOL Enumerate(HWND window, LPARAM value) {
    gEnumerated.push_back({window, value});
    return FALSE; // the result does not matter
}

TEST(WindowFunctions, TheFixedWindows) {
    qtest::ConsoleOut();
    EXPECT_EQ(GetConsoleWindow(), kConsole) << "the console has a terminal";
    EXPECT_EQ(GetDesktopWindow(), kDesktop);
    EXPECT_EQ(SetActiveWindow(nullptr), kConsole);
    EXPECT_EQ(MonitorFromWindow(kConsole, MONITOR_DEFAULTTONEAREST), kMonitor);
    gEnumerated.clear();
    EXPECT_TRUE(EnumWindows(Enumerate, 42));
    ASSERT_EQ(gEnumerated.size(), 1u);
    EXPECT_EQ(gEnumerated[0].first, kConsole);
    EXPECT_EQ(gEnumerated[0].second, 42);
    EXPECT_TRUE(EnumWindows(nullptr, 0)) << "no callback, nothing called";

    struct Case {
        const char* what;
        HWND window;
        bool known;
    };
    const Case cases[] = {
        {"the console window", kConsole, true},
        {"the desktop", kDesktop, true},
        {"the monitor is not a window", kMonitor, false},
        {"a handle-table value", kOther, false},
        {"null", nullptr, false},
    };
    const LONG style = WS_VISIBLE | WS_MAXIMIZE | WS_CAPTION;
    for (const Case& c : cases) {
        EXPECT_EQ(IsWindow(c.window), c.known) << c.what;
        EXPECT_FALSE(IsIconic(c.window)) << c.what;
        EXPECT_FALSE(IsZoomed(c.window)) << c.what;
        EXPECT_EQ(ShowWindow(c.window, SW_RESTORE), c.known) << c.what;
        EXPECT_EQ(SetForegroundWindow(c.window), c.known) << c.what;
        EXPECT_EQ(RedrawWindow(c.window, nullptr, nullptr, 0), c.known) << c.what;
        EXPECT_EQ(SetWindowPos(c.window, nullptr, 1, 2, 3, 4, 0), c.known) << c.what;
        EXPECT_EQ(GetWindowLongW(c.window, GWL_STYLE), c.known ? style : 0) << c.what;
        EXPECT_EQ(GetWindowLongW(c.window, -20), 0) << c.what << ": only the style is known";
        DWORD process = kSentinel;
        EXPECT_EQ(GetWindowThreadProcessId(c.window, &process), c.known ? 1u : 0u) << c.what;
        EXPECT_EQ(process, c.known ? DWORD(getpid()) : 0u) << c.what;
        RECT rect = {-1, -1, -1, -1};
        SetLastError(kSentinel);
        EXPECT_EQ(GetWindowRect(c.window, &rect), c.known) << c.what;
        EXPECT_EQ(GetLastError(), c.known ? kSentinel : ERROR_INVALID_HANDLE) << c.what;
        if (c.known) {
            EXPECT_EQ(rect.left, 0);
            EXPECT_EQ(rect.top, 0);
            EXPECT_EQ(rect.right, 640) << c.what << ": 80 columns of 8 pixels";
            EXPECT_EQ(rect.bottom, 400) << c.what << ": 25 rows of 16 pixels";
        }
        RECT client = {};
        EXPECT_EQ(GetClientRect(c.window, &client), c.known) << c.what;
        EXPECT_EQ(std::memcmp(&client, &rect, sizeof rect) == 0, c.known) << c.what;
    }
    SetLastError(kSentinel);
    EXPECT_FALSE(GetWindowRect(kConsole, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetWindowThreadProcessId(kConsole, nullptr), 1u) << "the process id is optional";
}

TEST(WindowFunctions, ThreadInfoMessagesAndHooks) {
    qtest::ConsoleOut();
    GUITHREADINFO info;
    std::memset(&info, 0x55, sizeof info);
    info.cbSize = 72;
    ASSERT_TRUE(GetGUIThreadInfo(0, &info));
    EXPECT_EQ(info.cbSize, 72u);
    EXPECT_EQ(info.flags, 0u);
    EXPECT_EQ(info.hwndActive, kConsole);
    EXPECT_EQ(info.hwndFocus, kConsole);
    EXPECT_EQ(info.hwndCaret, nullptr) << "the rest is cleared";
    EXPECT_EQ(info.rcCaret.bottom, 0);
    info.cbSize = 64;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetGUIThreadInfo(0, &info));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(kSentinel);
    EXPECT_FALSE(GetGUIThreadInfo(0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    MSG message;
    std::memset(&message, 0x55, sizeof message);
    EXPECT_EQ(GetMessageW(&message, nullptr, 0, 0), 0) << "as if the queue were quitting";
    EXPECT_EQ(message.hwnd, nullptr);
    EXPECT_EQ(message.message, 0u);
    EXPECT_EQ(SendMessageW(kConsole, 0x10, 0, 0), 0);
    EXPECT_EQ(DispatchMessageW(&message), 0);
    EXPECT_EQ(SetWinEventHook(3, 3, nullptr, nullptr, 0, 0, 0), nullptr);

    POINT point = {7, 7};
    EXPECT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, 0);
    EXPECT_EQ(point.y, 0);
    EXPECT_TRUE(SetCursorPos(10, 10));
    EXPECT_TRUE(ClipCursor(nullptr));
}

TEST(WindowFunctions, ScreenMetricsFollowTheTerminal) {
    qtest::ConsoleOut();
    struct Case {
        const char* what;
        int rows, columns;
        int width, height;
    };
    const Case sizes[] = {
        {"80 x 25", 25, 80, 640, 400},
        {"a 120-column terminal is 960 pixels wide", 40, 120, 960, 640},
    };
    for (const Case& s : sizes) {
        ResizeTerminal(s.rows, s.columns);
        EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), s.width) << s.what;
        EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), s.width) << s.what;
        EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), s.height) << s.what;
        EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), s.height) << s.what;
        EXPECT_EQ(GetSystemMetrics(2), 0) << s.what << ": any other index";
        RECT work = {};
        EXPECT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) << s.what;
        EXPECT_EQ(work.right, s.width) << s.what;
        EXPECT_EQ(work.bottom, s.height) << s.what;
        RECT window = {};
        GetWindowRect(kConsole, &window);
        EXPECT_EQ(window.right, s.width) << s.what;
    }
    ResizeTerminal(25, 80);

    BOOL active = TRUE;
    EXPECT_TRUE(SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0));
    EXPECT_FALSE(active);
    EXPECT_TRUE(SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, 1, nullptr, 0));
    EXPECT_FALSE(SystemParametersInfoW(0x2000, 0, &active, 0)) << "any other action";
    SetLastError(kSentinel);
    EXPECT_FALSE(SystemParametersInfoW(SPI_GETWORKAREA, 0, nullptr, 0)) << "nowhere to store";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(WindowFunctions, TheConsoleWindowsTextIsTheTitle) {
    qtest::ConsoleOut();
    ASSERT_TRUE(SetConsoleTitleW(u"quilb \x1b title"));
    struct Case {
        const char* what;
        HWND window;
        int size;
        int result;
        std::u16string text;
    };
    const Case cases[] = {
        {"the whole title, control characters as stored", kConsole, 64, 13, u"quilb \x1b title"},
        {"cut to size - 1 units", kConsole, 6, 5, u"quilb"},
        {"room for the terminator only", kConsole, 1, 0, u""},
        {"another window has no text", kDesktop, 64, 0, u""},
    };
    for (const Case& c : cases) {
        WCHAR buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), WCHAR(0x7777));
        EXPECT_EQ(GetWindowTextW(c.window, buffer, c.size), c.result) << c.what;
        EXPECT_EQ(std::u16string(buffer), c.text) << c.what;
    }
    WCHAR untouched[2] = {0x7777, 0x7777};
    EXPECT_EQ(GetWindowTextW(kConsole, untouched, 0), 0);
    EXPECT_EQ(untouched[0], 0x7777) << "size 0 writes nothing";
    EXPECT_EQ(GetWindowTextW(kConsole, nullptr, 10), 0);
}

TEST(MissingFunctions, PrintingFailsWithError120AndTheProgramGoesOn) {
    EXPECT_EQ(ERROR_CALL_NOT_IMPLEMENTED, 120u);
    HANDLE printer = reinterpret_cast<HANDLE>(uintptr_t(0x4321));
    HDC dc = reinterpret_cast<HDC>(uintptr_t(0x4322));
    struct Case {
        const char* name;
        std::function<bool()> failed; // called with the last error at a sentinel
    };
    const Case cases[] = {
        {"EnumPrintersW",
         [] {
             DWORD needed = kSentinel, returned = kSentinel;
             BYTE buffer[64];
             return !EnumPrintersW(2, nullptr, 2, buffer, sizeof buffer, &needed, &returned) &&
                    needed == 0 && returned == 0;
         }},
        {"OpenPrinterW",
         [&] {
             HANDLE h = printer;
             WCHAR name[] = u"LPT1";
             return !OpenPrinterW(name, &h, nullptr) && h == nullptr;
         }},
        {"ClosePrinter", [&] { return !ClosePrinter(printer); }},
        {"StartDocPrinterW",
         [&] {
             DOC_INFO_1W doc = {};
             return StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)) == 0;
         }},
        {"EndDocPrinter", [&] { return !EndDocPrinter(printer); }},
        {"StartPagePrinter", [&] { return !StartPagePrinter(printer); }},
        {"EndPagePrinter", [&] { return !EndPagePrinter(printer); }},
        {"WritePrinter",
         [&] {
             DWORD written = kSentinel;
             char bytes[] = "text";
             return !WritePrinter(printer, bytes, 4, &written) && written == 0;
         }},
        {"PrintDlgW",
         [] {
             PRINTDLGW dialog = {};
             dialog.lStructSize = sizeof dialog;
             return !PrintDlgW(&dialog);
         }},
        {"CreateFontIndirectW",
         [] {
             LOGFONTW font = {};
             return CreateFontIndirectW(&font) == nullptr;
         }},
        {"DeleteDC", [&] { return !DeleteDC(dc); }},
        {"StartDocW",
         [&] {
             DOCINFOW doc = {};
             return StartDocW(dc, &doc) <= 0;
         }},
        {"EndDoc", [&] { return EndDoc(dc) <= 0; }},
        {"StartPage", [&] { return StartPage(dc) <= 0; }},
        {"EndPage", [&] { return EndPage(dc) <= 0; }},
        {"GetDeviceCaps", [&] { return GetDeviceCaps(dc, 8) == 0; }},
        {"GetTextAlign", [&] { return GetTextAlign(dc) == GDI_ERROR; }},
        {"SetTextAlign", [&] { return SetTextAlign(dc, 0) == GDI_ERROR; }},
        {"SelectObject", [&] { return SelectObject(dc, printer) == nullptr; }},
        {"SetBkMode", [&] { return SetBkMode(dc, 1) == 0; }},
        {"SetMapMode", [&] { return SetMapMode(dc, 1) == 0; }},
        {"TextOutA", [&] { return !TextOutA(dc, 0, 0, "x", 1); }},
    };
    for (const Case& c : cases) {
        SetLastError(kSentinel);
        EXPECT_TRUE(c.failed()) << c.name;
        EXPECT_EQ(GetLastError(), ERROR_CALL_NOT_IMPLEMENTED) << c.name;
    }
}

} // namespace
