// The console session on the test process's own terminal: start-up choices,
// control handlers, titles, the terminal clipboard, the renderer's frames
// and their failures, resizes, handing the terminal away and back, the
// standard streams and the record sink.
#include "console_fixture.h"
#include "internal/console.h"
#include "internal/console_input.h"
#include "internal/sys.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using qtest::ConsoleTerminal;
using qtest::ReadRow;
using qtest::ScratchBuffer;
using qtest::Write;

constexpr size_t npos = std::string::npos;
constexpr DWORD kSentinel = 0xDEADBEEF;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(2);
    }
    return true;
}

struct termios SlaveSettings() {
    struct termios t;
    std::memset(&t, 0, sizeof t);
    tcgetattr(ConsoleTerminal().Master(), &t);
    return t;
}

// Resizes the terminal and tells the console, as the kernel would.
void ResizeTerminal(int rows, int columns) {
    ConsoleTerminal().SetSize(rows, columns);
    ConsoleTerminal().ResizeScreen(rows, columns);
    raise(SIGWINCH);
}

bool TerminalSizeIs(int32_t rows, int32_t columns) {
    return WaitFor([&] {
        int32_t r, c;
        ConsoleGetTerminalSize(&r, &c);
        return r == rows && c == columns;
    });
}

TEST(ConsoleSession, ColourDepth) {
    struct Case {
        const char* what;
        const char* quilbColors;
        const char* colorTerm;
        const char* term;
        int32_t depth;
    };
    const Case cases[] = {
        {"QUILB_COLORS wins over COLORTERM", "256", "truecolor", "xterm", 256},
        {"QUILB_COLORS 24", "24", nullptr, nullptr, 24},
        {"QUILB_COLORS 24bit", "24bit", nullptr, nullptr, 24},
        {"QUILB_COLORS truecolor", "truecolor", nullptr, nullptr, 24},
        {"QUILB_COLORS with a word that means nothing is 16", "lots", "24bit", "xterm-256color", 16},
        {"QUILB_COLORS 16", "16", "truecolor", nullptr, 16},
        {"an empty QUILB_COLORS counts as unset", "", "24bit", nullptr, 24},
        {"COLORTERM truecolor", nullptr, "truecolor", "xterm", 24},
        {"COLORTERM 24bit", nullptr, "24bit", "xterm", 24},
        {"another COLORTERM falls through to TERM", nullptr, "yes", "xterm-256color", 256},
        {"TERM with 256color", nullptr, nullptr, "screen-256color-bce", 256},
        {"plain TERM", nullptr, nullptr, "xterm", 16},
        {"nothing set", nullptr, nullptr, nullptr, 16},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConsoleColourDepth(c.quilbColors, c.colorTerm, c.term), c.depth) << c.what;
}

TEST(ConsoleSession, QueryAnswers) {
    struct Case {
        const char* what;
        std::vector<std::string> reads;
        bool kitty;
        bool attributes;
    };
    const Case cases[] = {
        {"both answers at once", {"\x1b[?1u\x1b[?62;22c"}, true, true},
        {"device attributes only", {"\x1b[?62;22c"}, false, true},
        {"answers cut anywhere", {"\x1b", "[?", "15", "u\x1b[", "?6", "c"}, true, true},
        {"keys typed before the answer", {"abc\x1b[?62c"}, false, true},
        {"a non-private CSI u is a key, not an answer", {"\x1b[97u"}, false, false},
        {"a broken sequence restarts at ESC", {"\x1b[?1;\x1b[?64c"}, false, true},
        {"nothing", {"plain typing"}, false, false},
    };
    for (const Case& c : cases) {
        CONSOLE_QUERY_SCAN scan;
        for (const std::string& p : c.reads)
            ConsoleQueryScan(&scan, reinterpret_cast<const unsigned char*>(p.data()), p.size());
        EXPECT_EQ(scan.kittyAnswer, c.kitty) << c.what;
        EXPECT_EQ(scan.attributesAnswer, c.attributes) << c.what;
    }
}

TEST(ConsoleSession, StartUpSetsTheTerminalUp) {
    qtest::ConsoleOut();
    size_t setup = ConsoleTerminal().WaitFor(
        "\x1b[?1049h\x1b[?7l\x1b[?1004h\x1b[22;0t\x1b[?1036s\x1b[?1036h\x1b[>4;2m\x1b[?9001h", 5000);
    size_t query = ConsoleTerminal().Output().find("\x1b[?u\x1b[c");
    ASSERT_NE(query, npos);
    ASSERT_NE(setup, npos) << "no kitty answer: modifyOtherKeys and win32-input-mode";
    EXPECT_LT(query, setup);
    struct termios t = SlaveSettings();
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(t.c_iflag & (ICRNL | IXON));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_FALSE(ConsoleKittyKeyboardActive());
    EXPECT_EQ(ConsoleTtyFd() >= 0, true);
}

int gHandlerLog[8];
std::atomic<int> gHandlerCount{0};
BOOL Declines(DWORD event) {
    gHandlerLog[gHandlerCount++ & 7] = 100 + int(event);
    return FALSE;
}
BOOL Accepts(DWORD event) {
    gHandlerLog[gHandlerCount++ & 7] = 200 + int(event);
    return TRUE;
}

TEST(ConsoleSession, ControlHandlers) {
    qtest::ConsoleOut();
    for (int i = 0; i < 16; i++) ASSERT_TRUE(SetConsoleCtrlHandler(Declines, TRUE));
    SetLastError(kSentinel);
    EXPECT_FALSE(SetConsoleCtrlHandler(Declines, TRUE)) << "the 17th";
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    for (int i = 0; i < 16; i++) ASSERT_TRUE(SetConsoleCtrlHandler(Declines, FALSE));
    SetLastError(kSentinel);
    EXPECT_FALSE(SetConsoleCtrlHandler(Declines, FALSE)) << "no longer registered";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // Newest first, stopping at the first that handles the event.
    ASSERT_TRUE(SetConsoleCtrlHandler(Declines, TRUE));
    ASSERT_TRUE(SetConsoleCtrlHandler(Accepts, TRUE));
    gHandlerCount = 0;
    EXPECT_TRUE(ConsoleDispatchCtrlEvent(CTRL_CLOSE_EVENT));
    EXPECT_EQ(gHandlerCount.load(), 1);
    EXPECT_EQ(gHandlerLog[0], 202);

    // Removal takes the newest registration and keeps the order of the rest.
    ASSERT_TRUE(SetConsoleCtrlHandler(Declines, TRUE)); // Declines, Accepts, Declines
    ASSERT_TRUE(SetConsoleCtrlHandler(Declines, FALSE));
    gHandlerCount = 0;
    EXPECT_TRUE(ConsoleDispatchCtrlEvent(CTRL_C_EVENT));
    EXPECT_EQ(gHandlerLog[0], 200) << "Accepts is the newest again";
    ASSERT_TRUE(SetConsoleCtrlHandler(Accepts, FALSE));
    gHandlerCount = 0;
    EXPECT_FALSE(ConsoleDispatchCtrlEvent(CTRL_SHUTDOWN_EVENT));
    EXPECT_EQ(gHandlerLog[0], 106);
    ASSERT_TRUE(SetConsoleCtrlHandler(Declines, FALSE));

    EXPECT_TRUE(SetConsoleCtrlHandler(nullptr, TRUE));
    EXPECT_TRUE(gConsole.ignoreCtrlC);
    EXPECT_TRUE(SetConsoleCtrlHandler(nullptr, FALSE));
    EXPECT_FALSE(gConsole.ignoreCtrlC);
}

TEST(ConsoleSession, Titles) {
    qtest::TestTerminal& t = ConsoleTerminal();
    qtest::ConsoleOut();
    size_t mark = t.OutputSize();
    const std::u16string title = u"ab\x01" u"c\x9b\x7f" u"d\u00e9";
    EXPECT_TRUE(SetConsoleTitleW(title.c_str()));
    EXPECT_NE(t.WaitFor("\x1b]0;abcd\xc3\xa9\x1b\\", 5000, mark), npos)
        << "control and C1 characters never reach the terminal";
    WCHAR buffer[64];
    EXPECT_EQ(GetConsoleTitleW(buffer, 64), title.size());
    EXPECT_EQ(std::u16string(buffer), title) << "the stored title keeps them";
    EXPECT_EQ(GetConsoleTitleW(buffer, 3), title.size());
    EXPECT_EQ(std::u16string(buffer), u"ab");
    EXPECT_EQ(GetConsoleTitleW(buffer, 0), 0u);

    mark = t.OutputSize();
    const WCHAR escaped[] = {u'n', 0xDC9B, u'[', u'3', u'1', u'm', 0xD83D, u'!', 0};
    EXPECT_TRUE(SetConsoleTitleW(escaped));
    EXPECT_NE(t.WaitFor("\x1b]0;n\xef\xbf\xbd[31m\xef\xbf\xbd!\x1b\\", 5000, mark), npos)
        << "bytes of names that were not UTF-8 never reach the terminal raw";

    std::u16string longTitle(1500, u'x');
    EXPECT_TRUE(SetConsoleTitleW(longTitle.c_str()));
    std::vector<WCHAR> big(2000);
    EXPECT_EQ(GetConsoleTitleW(big.data(), 2000), 1023u);

    mark = t.OutputSize();
    EXPECT_TRUE(SetConsoleTitleA("\x82t"));
    EXPECT_NE(t.WaitFor("\x1b]0;\xc3\xa9t\x1b\\", 5000, mark), npos) << "code page 437";
    EXPECT_TRUE(SetConsoleTitleA(nullptr));
    EXPECT_EQ(GetConsoleTitleW(buffer, 64), 0u);
    EXPECT_EQ(ConsoleTitleBuffer()[0], 0);
}

TEST(ConsoleSession, TerminalClipboardAndBell) {
    qtest::TestTerminal& t = ConsoleTerminal();
    qtest::ConsoleOut();
    struct Case {
        std::string bytes;
        const char* sent;
    };
    const Case cases[] = {
        {"hello", "\x1b]52;c;aGVsbG8=\a"},
        {"ab", "\x1b]52;c;YWI=\a"},
        {"abc", "\x1b]52;c;YWJj\a"},
        {"", "\x1b]52;c;\a"},
        {std::string("\xff\x00\x10", 3), "\x1b]52;c;/wAQ\a"},
    };
    for (const Case& c : cases) {
        size_t mark = t.OutputSize();
        EXPECT_TRUE(ConsoleSetTerminalClipboard(c.bytes.data(), c.bytes.size()));
        EXPECT_NE(t.WaitFor(c.sent, 5000, mark), npos) << qtest::Hex(c.sent);
    }
    std::string huge(700001, 'x');
    EXPECT_FALSE(ConsoleSetTerminalClipboard(huge.data(), huge.size()));

    size_t mark = t.OutputSize();
    EXPECT_TRUE(MessageBeep(0));
    EXPECT_NE(t.WaitFor("\a", 5000, mark), npos);
}

TEST(ConsoleSession, RendererShowsTheActiveWindow) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    SetConsoleTextAttribute(h, 0x1E);
    SetConsoleCursorPosition(h, {5, 2});
    Write(h, u"Hello");
    ASSERT_TRUE(qtest::WaitShown(2, 5, "Hello"));
    ASSERT_TRUE(ConsoleTerminal().WaitScreen(
        [](const qtest::VtScreen& s) {
            return s.CursorVisible() && s.CursorRow() == 2 && s.CursorColumn() == 10;
        },
        5000));
    ConsoleTerminal().WithScreen([](const qtest::VtScreen& s) {
        qtest::VtCell cell = s.Cell(2, 5);
        EXPECT_TRUE(VTERM_COLOR_IS_INDEXED(&cell.fg));
        EXPECT_EQ(cell.fg.indexed.idx, 11) << "console yellow 14 is ANSI bright yellow";
        EXPECT_EQ(cell.bg.indexed.idx, 4) << "console blue 1 is ANSI blue 4";
        EXPECT_TRUE(s.AltScreen());
    });
}

TEST(ConsoleSession, AFailedFrameWriteRepaintsTheNextFrame) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    Write(h, u"AAAA");
    ASSERT_TRUE(qtest::WaitShown(0, 0, "AAAA"));
    size_t mark = ConsoleTerminal().OutputSize();
    QSysInjectFault(QSYS_WRITE, 1, EIO);
    SetConsoleCursorPosition(h, {0, 5});
    Write(h, u"BBBB");
    EXPECT_TRUE(qtest::WaitShown(5, 0, "BBBB")) << "the lost frame was sent again";
    std::string after = ConsoleTerminal().Output().substr(mark);
    EXPECT_NE(after.find("AAAA"), npos) << "as a repaint of everything";
    QSysClearFaults();
}

TEST(ConsoleSession, AFrameThatDoesNotFitRepaintsLater) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    Write(h, u"first");
    ASSERT_TRUE(qtest::WaitShown(0, 0, "first"));
    // Let the renderer finish whatever it still had to send (the cursor
    // after the text), so that only the frame below can change the output.
    for (size_t last = SIZE_MAX; last != ConsoleTerminal().OutputSize();) {
        last = ConsoleTerminal().OutputSize();
        Sleep(60);
    }
    ConsoleTestSetOutputLimit(16);
    size_t mark = ConsoleTerminal().OutputSize();
    SetConsoleCursorPosition(h, {0, 3});
    Write(h, u"a line far too long for sixteen bytes");
    Sleep(100);
    EXPECT_EQ(ConsoleTerminal().OutputSize(), mark) << "a frame that did not fit is not sent at all";
    ConsoleTestSetOutputLimit(0);
    SetConsoleCursorPosition(h, {0, 6});
    Write(h, u"x");
    EXPECT_TRUE(qtest::WaitShown(3, 0, "a line far too long")) << "the next frame repaints";
    EXPECT_TRUE(qtest::WaitShown(0, 0, "first"));
}

TEST(ConsoleSession, ResizesGrowPagesAndReportTheSize) {
    HANDLE in = qtest::ConsoleIn();
    HANDLE out = qtest::ConsoleOut();
    ASSERT_TRUE(SetConsoleMode(in, 0x1F7 | ENABLE_WINDOW_INPUT));
    {
        ConsoleStateGuard state;
        INPUT_RECORD drop[64];
        while (ConsoleQueueRead(drop, 64, true) > 0) {
        }
    }
    ResizeTerminal(30, 100);
    ASSERT_TRUE(TerminalSizeIs(30, 100));
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(out, &info);
    EXPECT_GE(info.dwSize.X, 100);
    EXPECT_GE(info.dwSize.Y, 30);
    EXPECT_EQ(info.srWindow.Right - info.srWindow.Left + 1, 100);
    EXPECT_EQ(info.srWindow.Bottom - info.srWindow.Top + 1, 30);
    {
        ConsoleStateGuard state;
        INPUT_RECORD records[8];
        size_t n = ConsoleQueueRead(records, 8, true);
        ASSERT_EQ(n, 1u);
        EXPECT_EQ(records[0].EventType, WINDOW_BUFFER_SIZE_EVENT);
        EXPECT_EQ(records[0].Event.WindowBufferSizeEvent.dwSize.X, 100);
        EXPECT_EQ(records[0].Event.WindowBufferSizeEvent.dwSize.Y, 30);
    }
    Write(out, u"");
    EXPECT_TRUE(ConsoleTerminal().WaitScreen(
        [](const qtest::VtScreen& s) { return s.Columns() == 100; }, 5000));

    ResizeTerminal(20, 60);
    ASSERT_TRUE(TerminalSizeIs(20, 60));
    GetConsoleScreenBufferInfo(out, &info);
    EXPECT_GE(info.dwSize.X, 100) << "a smaller terminal leaves the pages as they are";
    EXPECT_EQ(info.srWindow.Right - info.srWindow.Left + 1, 60);
    EXPECT_EQ(info.dwMaximumWindowSize.X, 60);

    ConsoleTerminal().SetSize(0, 70);
    raise(SIGWINCH);
    Sleep(100);
    EXPECT_TRUE(TerminalSizeIs(20, 60)) << "a size with 0 rows is not taken";
    ResizeTerminal(25, 12000);
    EXPECT_TRUE(TerminalSizeIs(25, 9999)) << "12000 columns are kept as 9999";

    ResizeTerminal(25, 80);
    ASSERT_TRUE(TerminalSizeIs(25, 80));
    ASSERT_TRUE(SetConsoleMode(in, 0x1F7));
    ConsoleStateGuard state;
    INPUT_RECORD drop[64];
    while (ConsoleQueueRead(drop, 64, true) > 0) {
    }
}

TEST(ConsoleSession, ReleaseHandsTheTerminalBackAndContinueLeavesItThere) {
    qtest::TestTerminal& t = ConsoleTerminal();
    HANDLE out = qtest::ConsoleOut();
    SetConsoleCursorPosition(out, {0, 12});
    Write(out, u"before the child");
    ASSERT_TRUE(qtest::WaitShown(12, 0, "before the child"));

    size_t mark = t.OutputSize();
    ConsoleRelease();
    ASSERT_NE(t.WaitFor("\x1b[?1049l\x1b[23;0t", 5000, mark), npos);
    EXPECT_NE(t.Output().find("\x1b[?1006l\x1b[?1002l\x1b[?1000l\x1b[?1004l\x1b[>4m\x1b[?9001l", mark),
              npos);
    struct termios cooked = SlaveSettings();
    EXPECT_TRUE(cooked.c_lflag & ICANON) << "the terminal's own settings are back";
    EXPECT_EQ(std::memcmp(&cooked.c_lflag, &gConsole.saved.c_lflag, sizeof cooked.c_lflag), 0);

    // Output while a child program has the terminal: nothing is drawn, and a
    // continue signal must not take the terminal from the child.
    Write(out, u"while released");
    size_t released = t.OutputSize();
    raise(SIGCONT);
    Sleep(200);
    EXPECT_EQ(t.Output().find("\x1b[?1049h", released), npos);
    EXPECT_TRUE(SlaveSettings().c_lflag & ICANON) << "still the child's settings";
    EXPECT_EQ(t.OutputSize(), released) << "the renderer writes nothing";

    ConsoleReacquire();
    EXPECT_NE(t.WaitFor("\x1b[?1049h", 5000, released), npos);
    EXPECT_FALSE(SlaveSettings().c_lflag & ICANON);
    EXPECT_TRUE(qtest::WaitShown(12, 0, "before the child")) << "everything repainted";
}

TEST(ConsoleSession, StandardStreamText) {
    qtest::TestTerminal& t = ConsoleTerminal();
    HANDLE out = qtest::ConsoleOut();
    int fd = ::open(t.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    FILE* stream = ConsoleStdStreamOpen(fd, STD_OUTPUT_HANDLE);
    ASSERT_NE(stream, nullptr);

    SetConsoleCursorPosition(out, {0, 10});
    // One UTF-8 character in two writes of the unbuffered stream.
    fputc(0xC3, stream);
    EXPECT_EQ(ReadRow(out, 10, 0, 1), u" ") << "the first byte waits for the rest";
    fputc(0xA9, stream);
    EXPECT_EQ(ReadRow(out, 10, 0, 2), u"\u00e9 ");
    fputs("\x82|a\nb", stream);
    EXPECT_EQ(ReadRow(out, 10, 0, 4), u"\u00e9\u00e9|a") << "not UTF-8: code page 437";
    EXPECT_EQ(ReadRow(out, 11, 0, 1), u"b") << "LF as CR LF";
    fputs("\xe2\x82", stream);
    fputs("\xac!", stream);
    EXPECT_EQ(ReadRow(out, 11, 1, 2), u"\u20ac!");

    // With the terminal handed away the bytes go straight to it.
    ConsoleRelease();
    size_t mark = t.OutputSize();
    fputs("straight\xc3", stream);
    fputs("\xa9\n", stream);
    EXPECT_NE(t.WaitFor("straight\xc3\xa9", 5000, mark), npos);
    ConsoleReacquire();
    fputs("\xc3", stream);
    EXPECT_EQ(fclose(stream), 0);
    ::close(fd);
}

TEST(ConsoleSession, RecordSink) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    ASSERT_TRUE(SetConsoleScreenBufferSize(h, {80, 50}));
    SMALL_RECT window = {0, 10, 79, 34};
    ASSERT_TRUE(SetConsoleWindowInfo(h, TRUE, &window));
    auto key = [](WORD vk, DWORD state, BOOL down) {
        INPUT_RECORD r = {};
        r.EventType = KEY_EVENT;
        r.Event.KeyEvent.bKeyDown = down;
        r.Event.KeyEvent.wRepeatCount = 1;
        r.Event.KeyEvent.wVirtualKeyCode = vk;
        r.Event.KeyEvent.dwControlKeyState = state;
        return r;
    };
    INPUT_RECORD mouse = {};
    mouse.EventType = MOUSE_EVENT;
    mouse.Event.MouseEvent.dwMousePosition = {3, 0};

    ConsoleStateGuard state;
    INPUT_RECORD got[8];
    while (ConsoleQueueRead(got, 8, true) > 0) {
    }
    struct Case {
        const char* what;
        INPUT_RECORD record;
        bool queued;
        bool ctrlC;
    };
    const Case cases[] = {
        {"Ctrl+C with processed input", key(0x43, LEFT_CTRL_PRESSED, TRUE), false, true},
        {"its key up", key(0x43, RIGHT_CTRL_PRESSED, FALSE), false, false},
        {"Ctrl+Alt+C is a key", key(0x43, LEFT_CTRL_PRESSED | LEFT_ALT_PRESSED, TRUE), true, false},
        {"C alone", key(0x43, 0, TRUE), true, false},
        {"a mouse event without mouse reporting", mouse, false, false},
    };
    for (const Case& c : cases) {
        gConsole.ctrlCPending = false;
        ConsoleInputSink(nullptr, &c.record);
        EXPECT_EQ(ConsoleQueueRead(got, 8, true), c.queued ? 1u : 0u) << c.what;
        EXPECT_EQ(gConsole.ctrlCPending, c.ctrlC) << c.what;
    }

    gConsole.ignoreCtrlC = TRUE;
    INPUT_RECORD ctrlC = key(0x43, LEFT_CTRL_PRESSED, TRUE);
    ConsoleInputSink(nullptr, &ctrlC);
    EXPECT_FALSE(gConsole.ctrlCPending) << "ignored";
    gConsole.ignoreCtrlC = FALSE;
    gConsole.inputMode = 0x1F6;
    ConsoleInputSink(nullptr, &ctrlC);
    EXPECT_EQ(ConsoleQueueRead(got, 8, true), 1u) << "without processed input it is a key";
    gConsole.inputMode = 0x1F7;

    gConsole.mouseReporting = true;
    ConsoleInputSink(nullptr, &mouse);
    ASSERT_EQ(ConsoleQueueRead(got, 8, true), 1u);
    // The decoder has already placed positions in buffer coordinates (its
    // context is the active page's window); the sink keeps them as they are.
    EXPECT_EQ(got[0].Event.MouseEvent.dwMousePosition.X, 3);
    EXPECT_EQ(got[0].Event.MouseEvent.dwMousePosition.Y, 0);
    gConsole.mouseReporting = false;
    gConsole.ctrlCPending = false;
}

TEST(ConsoleSession, QueueGrowsKeepingTheOrder) {
    qtest::ConsoleOut();
    ConsoleStateGuard state;
    INPUT_RECORD drop[64];
    while (ConsoleQueueRead(drop, 64, true) > 0) {
    }
    for (int i = 0; i < 300; i++) {
        INPUT_RECORD r = {};
        r.EventType = KEY_EVENT;
        r.Event.KeyEvent.wRepeatCount = WORD(i);
        ConsoleQueueInput(&r);
    }
    EXPECT_EQ(gConsoleInput.queue.capacity, 512u);
    std::vector<INPUT_RECORD> got(400);
    ASSERT_EQ(ConsoleQueueRead(got.data(), 400, true), 300u);
    for (int i = 0; i < 300; i++) ASSERT_EQ(got[i].Event.KeyEvent.wRepeatCount, i);
}

TEST(ConsoleSession, MouseReportingFollowsTheInputMode) {
    qtest::TestTerminal& t = ConsoleTerminal();
    HANDLE in = qtest::ConsoleIn();
    size_t mark = t.OutputSize();
    ASSERT_TRUE(SetConsoleMode(in, 0x98));
    EXPECT_NE(t.WaitFor("\x1b[?1000h\x1b[?1002h\x1b[?1006h", 5000, mark), npos);
    DWORD mode = 0;
    GetConsoleMode(in, &mode);
    EXPECT_EQ(mode, 0x98u);
    mark = t.OutputSize();
    ASSERT_TRUE(SetConsoleMode(in, 0x1F7));
    EXPECT_NE(t.WaitFor("\x1b[?1006l\x1b[?1002l\x1b[?1000l", 5000, mark), npos)
        << "quick edit takes the mouse away";
    ASSERT_TRUE(SetConsoleMode(in, 0x17));
    GetConsoleMode(in, &mode);
    EXPECT_EQ(mode, 0xD7u) << "without extended flags the quick-edit bit (0x40) stays as it was";
    ASSERT_TRUE(SetConsoleMode(in, 0x1F7));
}

std::atomic<int> gFed{0};
std::string gFedBytes;
void Observe(const unsigned char* bytes, size_t count) {
    gFedBytes.append(reinterpret_cast<const char*>(bytes), count);
    gFed++;
}
std::atomic<int> gCtrlCEvents{0};
BOOL CountCtrlC(DWORD event) {
    if (event == CTRL_C_EVENT) gCtrlCEvents++;
    return TRUE;
}

TEST(ConsoleSession, InputReachesTheDecoderAndCtrlCTheHandlers) {
    qtest::ConsoleOut();
    ConsoleTestSetFeedObserver(Observe);
    ConsoleTerminal().Write("typed");
    EXPECT_TRUE(WaitFor([] {
        ConsoleStateGuard state;
        return gFedBytes.find("typed") != npos;
    }));

    ASSERT_TRUE(SetConsoleCtrlHandler(CountCtrlC, TRUE));
    {
        ConsoleStateGuard state;
        INPUT_RECORD r = {};
        r.EventType = KEY_EVENT;
        r.Event.KeyEvent.bKeyDown = TRUE;
        r.Event.KeyEvent.wVirtualKeyCode = 0x43;
        r.Event.KeyEvent.dwControlKeyState = LEFT_CTRL_PRESSED;
        ConsoleInputSink(nullptr, &r);
    }
    ConsoleTerminal().Write("z"); // more input: the input thread looks
    EXPECT_TRUE(WaitFor([] { return gCtrlCEvents.load() == 1; }));
    ASSERT_TRUE(SetConsoleCtrlHandler(CountCtrlC, FALSE));
    ConsoleTestSetFeedObserver(nullptr);
}

} // namespace
