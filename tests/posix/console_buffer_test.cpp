// Screen buffers and the console output functions, run on the test
// process's own console: text with controls, wrapping, TAB and LF modes,
// page switches, sizes and windows, fills, rectangle copies, code page 437
// forms, error codes and reference counts.
#include "console_fixture.h"
#include "internal/console.h"
#include "internal/console_input.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using qtest::CursorOf;
using qtest::ReadRow;
using qtest::ScratchBuffer;
using qtest::Write;

constexpr DWORD kSentinel = 0xDEADBEEF;

bool SameCoord(COORD a, COORD b) { return a.X == b.X && a.Y == b.Y; }

// The buffers in the session's list.
int BufferCount() {
    ConsoleStateGuard state;
    int n = 0;
    for (CONSOLE_SCREEN_BUFFER* b = gConsole.buffers; b; b = b->next) n++;
    return n;
}

int32_t ShapeOf(HANDLE handle) {
    ConsoleStateGuard state;
    return ConsoleLookupBuffer(handle)->cursorShape;
}

TEST(ConsoleBuffer, WrappingAtTheEndOfARow) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    Write(h, std::u16string(80, u'a'));
    EXPECT_TRUE(SameCoord(CursorOf(h), {0, 1})) << "wrap on: column 0 of the next row";

    SetConsoleCursorPosition(h, {0, 24});
    Write(h, u"last row");
    SetConsoleCursorPosition(h, {0, 24});
    Write(h, std::u16string(80, u'z'));
    EXPECT_TRUE(SameCoord(CursorOf(h), {0, 24})) << "the page scrolled up one row";
    EXPECT_EQ(ReadRow(h, 23, 0, 3), u"zzz");
    EXPECT_EQ(ReadRow(h, 24, 0, 3), u"   ");

    SetConsoleMode(h, ENABLE_PROCESSED_OUTPUT);
    SetConsoleCursorPosition(h, {0, 3});
    Write(h, std::u16string(80, u'a') + u"b");
    EXPECT_TRUE(SameCoord(CursorOf(h), {79, 3})) << "wrap off: the cursor stays on the last column";
    EXPECT_EQ(ReadRow(h, 3, 78, 2), u"ab") << "the 81st character replaced the 80th";
}

TEST(ConsoleBuffer, Tabs) {
    struct Case {
        const char* what;
        int width;       // page width
        DWORD mode;      // output mode
        SHORT column;    // cursor column before the TAB
        COORD after;     // cursor after it
        int spaces;      // cells set to blanks from the starting column
    };
    const DWORD wrap = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    const Case cases[] = {
        {"from column 7 one space to 8", 80, wrap, 7, {8, 0}, 1},
        {"from column 8 to 16", 80, wrap, 8, {16, 0}, 8},
        {"from column 0 to 8", 80, wrap, 0, {8, 0}, 8},
        {"wrap off at the last column: stops there", 83, ENABLE_PROCESSED_OUTPUT, 82, {82, 0}, 1},
        {"wrap off before the last column: stops on it", 83, ENABLE_PROCESSED_OUTPUT, 81, {82, 0}, 2},
        {"wrap on at the end of a row: ends at column 0 below", 83, wrap, 81, {0, 1}, 2},
    };
    for (const Case& c : cases) {
        ScratchBuffer b;
        HANDLE h = b.handle();
        ASSERT_TRUE(SetConsoleScreenBufferSize(h, {SHORT(c.width), 25})) << c.what;
        FillConsoleOutputCharacterW(h, u'x', DWORD(c.width), {0, 0}, nullptr);
        SetConsoleMode(h, c.mode);
        SetConsoleCursorPosition(h, {c.column, 0});
        Write(h, u"\t");
        EXPECT_TRUE(SameCoord(CursorOf(h), c.after)) << c.what;
        EXPECT_EQ(ReadRow(h, 0, c.column, c.spaces), std::u16string(size_t(c.spaces), u' ')) << c.what;
        if (c.column + c.spaces < c.width) {
            EXPECT_EQ(ReadRow(h, 0, c.column + c.spaces, 1), u"x") << c.what;
        }
    }
}

TEST(ConsoleBuffer, ControlCharacters) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    SetConsoleCursorPosition(h, {5, 2});
    Write(h, u"\n");
    EXPECT_TRUE(SameCoord(CursorOf(h), {0, 3})) << "LF returns to column 0";
    SetConsoleMode(h, ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT | DISABLE_NEWLINE_AUTO_RETURN);
    SetConsoleCursorPosition(h, {5, 2});
    Write(h, u"\n");
    EXPECT_TRUE(SameCoord(CursorOf(h), {5, 3})) << "without auto return LF only moves down";
    Write(h, u"\r");
    EXPECT_TRUE(SameCoord(CursorOf(h), {0, 3}));
    Write(h, u"\b");
    EXPECT_TRUE(SameCoord(CursorOf(h), {0, 3})) << "BS at column 0 stays";
    Write(h, u"ab\b");
    EXPECT_TRUE(SameCoord(CursorOf(h), {1, 3}));
    Write(h, u"\x0b\x0c");
    EXPECT_EQ(ReadRow(h, 3, 1, 2), u"\x0b\x0c") << "VT and FF are stored as characters";

    size_t before = qtest::ConsoleTerminal().OutputSize();
    Write(h, u"\a");
    EXPECT_NE(qtest::ConsoleTerminal().WaitFor("\a", 5000, before), std::string::npos);
    EXPECT_TRUE(SameCoord(CursorOf(h), {3, 3})) << "the bell changes no cell";

    SetConsoleMode(h, 0);
    SetConsoleCursorPosition(h, {0, 5});
    Write(h, u"\n\t\a");
    EXPECT_EQ(ReadRow(h, 5, 0, 3), u"\n\t\a") << "without processed output controls are characters";
}

TEST(ConsoleBuffer, VirtualTerminalSequences) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    SetConsoleMode(h, ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT |
                          ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    SetConsoleCursorPosition(h, {3, 4});
    Write(h, u"main");
    Write(h, u"\x1b[?1049h");
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(h, &info);
    EXPECT_TRUE(SameCoord(info.dwSize, {80, 25})) << "the alternate page has the window's size";
    EXPECT_TRUE(SameCoord(info.dwCursorPosition, {7, 4}));
    Write(h, u"alt");
    EXPECT_EQ(ReadRow(h, 4, 7, 3), u"alt");
    Write(h, u"\x1b[?1049h"); // already on: nothing changes
    EXPECT_EQ(ReadRow(h, 4, 7, 3), u"alt");
    Write(h, u"\x1b[?1049l");
    EXPECT_EQ(ReadRow(h, 4, 3, 7), u"main   ") << "the main page comes back unchanged";
    EXPECT_TRUE(SameCoord(CursorOf(h), {7, 4}));

    Write(h, u"\x1b[5 q");
    EXPECT_EQ(ShapeOf(h), 5);
    Write(h, u"\x1b[ q");
    EXPECT_EQ(ShapeOf(h), 0);
    Write(h, u"\x1b[?25l");
    CONSOLE_CURSOR_INFO cursor;
    GetConsoleCursorInfo(h, &cursor);
    EXPECT_FALSE(cursor.bVisible);
    Write(h, u"\x1b[?25h");
    GetConsoleCursorInfo(h, &cursor);
    EXPECT_TRUE(cursor.bVisible);

    SetConsoleCursorPosition(h, {0, 6});
    Write(h, u"a\x1b[31mb\x1b[mc");
    EXPECT_EQ(ReadRow(h, 6, 0, 4), u"abc ") << "other sequences are ignored and write nothing";
    SetConsoleCursorPosition(h, {0, 7});
    Write(h, u"\x1bxy");
    EXPECT_EQ(ReadRow(h, 7, 0, 3), u"\x1bxy") << "ESC without [ is a character";
    SetConsoleCursorPosition(h, {0, 8});
    Write(h, u"ab\x1b[?10");
    EXPECT_EQ(ReadRow(h, 8, 0, 3), u"ab ") << "an unfinished sequence drops the rest";
    SetConsoleCursorPosition(h, {0, 9});
    Write(h, u"ab\x1b[");
    EXPECT_EQ(ReadRow(h, 9, 0, 3), u"ab ");
    SetConsoleCursorPosition(h, {0, 10});
    Write(h, u"ab\x1b");
    EXPECT_EQ(ReadRow(h, 10, 0, 3), u"ab\x1b") << "ESC as the last unit is a character";

    SetConsoleMode(h, ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT);
    SetConsoleCursorPosition(h, {0, 11});
    Write(h, u"\x1b[?1049h");
    EXPECT_EQ(ReadRow(h, 11, 0, 8), u"\x1b[?1049h") << "without processing the sequence is text";
}

TEST(ConsoleBuffer, SizesAndWindows) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    SetLastError(kSentinel);
    EXPECT_FALSE(SetConsoleScreenBufferSize(h, {79, 25})) << "smaller than the window";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(kSentinel);
    EXPECT_FALSE(SetConsoleScreenBufferSize(h, {32767, 32767})) << "an absurd size";
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(h, &info);
    EXPECT_TRUE(SameCoord(info.dwSize, {80, 25})) << "failures change nothing";

    ASSERT_TRUE(SetConsoleScreenBufferSize(h, {200, 100}));
    GetConsoleScreenBufferInfo(h, &info);
    EXPECT_TRUE(SameCoord(info.dwSize, {200, 100}));
    EXPECT_TRUE(SameCoord(info.dwMaximumWindowSize, {80, 25})) << "never more than the terminal";

    SMALL_RECT window = {100, 50, 179, 74};
    EXPECT_TRUE(SetConsoleWindowInfo(h, TRUE, &window));
    GetConsoleScreenBufferInfo(h, &info);
    EXPECT_EQ(info.srWindow.Left, 100);
    EXPECT_EQ(info.srWindow.Bottom, 74);
    SMALL_RECT move = {-100, -50, -100, -50};
    EXPECT_TRUE(SetConsoleWindowInfo(h, FALSE, &move));
    GetConsoleScreenBufferInfo(h, &info);
    EXPECT_EQ(info.srWindow.Left, 0);
    EXPECT_EQ(info.srWindow.Right, 79);

    struct Bad {
        const char* what;
        BOOL absolute;
        SMALL_RECT window;
    };
    const Bad bad[] = {
        {"wider than the terminal", TRUE, {0, 0, 80, 24}},
        {"past the page", TRUE, {150, 0, 200, 24}},
        {"negative", TRUE, {-1, 0, 78, 24}},
        {"left of right", TRUE, {10, 0, 9, 24}},
        {"relative edges that leave the 16-bit range", FALSE, {0, 0, 32767, 0}},
        {"relative edges far below zero", FALSE, {-32768, 0, 0, 0}},
    };
    for (const Bad& c : bad) {
        SetLastError(kSentinel);
        EXPECT_FALSE(SetConsoleWindowInfo(h, c.absolute, &c.window)) << c.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << c.what;
    }
    GetConsoleScreenBufferInfo(h, &info);
    EXPECT_EQ(info.srWindow.Left, 0);
    EXPECT_EQ(info.srWindow.Right, 79);

    SetConsoleCursorPosition(h, {150, 90});
    GetConsoleScreenBufferInfo(h, &info);
    EXPECT_EQ(info.srWindow.Right, 150) << "the window follows the cursor the least distance";
    EXPECT_EQ(info.srWindow.Bottom, 90);
    COORD largest = GetLargestConsoleWindowSize(h);
    EXPECT_TRUE(SameCoord(largest, {80, 25}));

    ASSERT_TRUE(SetConsoleScreenBufferSize(h, {100, 30}));
    GetConsoleScreenBufferInfo(h, &info);
    EXPECT_TRUE(SameCoord(info.dwCursorPosition, {99, 29})) << "a cursor outside moves in";
    EXPECT_EQ(info.srWindow.Right, 99) << "the window is clamped into the page";
    EXPECT_EQ(info.srWindow.Left, 20);
}

TEST(ConsoleBuffer, Fills) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    DWORD written = kSentinel;
    EXPECT_TRUE(FillConsoleOutputCharacterW(h, u'#', 100, {70, 24}, &written));
    EXPECT_EQ(written, 10u) << "never past the page's last cell";
    EXPECT_EQ(ReadRow(h, 24, 68, 12), u"  ##########");
    EXPECT_TRUE(FillConsoleOutputAttribute(h, 0x1E, 15, {75, 3}, &written));
    EXPECT_EQ(written, 15u) << "on into the next row";
    EXPECT_EQ(qtest::ReadAttribute(h, 74, 3), 7);
    EXPECT_EQ(qtest::ReadAttribute(h, 75, 3), 0x1E);
    EXPECT_EQ(qtest::ReadAttribute(h, 9, 4), 0x1E);
    EXPECT_EQ(qtest::ReadAttribute(h, 10, 4), 7);
    EXPECT_EQ(ReadRow(h, 4, 9, 1), u" ") << "an attribute fill keeps the characters";
    EXPECT_TRUE(FillConsoleOutputCharacterA(h, char(0xB0), 2, {0, 0}, &written));
    EXPECT_EQ(ReadRow(h, 0, 0, 2), u"\u2591\u2591") << "code page 437 0xB0";

    for (COORD origin : {COORD{-1, 0}, COORD{80, 0}, COORD{0, 25}}) {
        SetLastError(kSentinel);
        written = kSentinel;
        EXPECT_FALSE(FillConsoleOutputAttribute(h, 7, 1, origin, &written));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(written, 0u);
    }
}

TEST(ConsoleBuffer, RectangleCopies) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    std::vector<CHAR_INFO> cells(4 * 3);
    for (size_t i = 0; i < cells.size(); i++) {
        cells[i].Char.UnicodeChar = WCHAR(u'a' + i);
        cells[i].Attributes = WORD(0x10 + i);
    }
    // The region reaches past the right edge: only the inside part is copied
    // and the cut region comes back.
    SMALL_RECT region = {78, 2, 81, 4};
    EXPECT_TRUE(WriteConsoleOutputW(h, cells.data(), {4, 3}, {0, 0}, &region));
    EXPECT_EQ(region.Left, 78);
    EXPECT_EQ(region.Right, 79);
    EXPECT_EQ(region.Bottom, 4);
    EXPECT_EQ(ReadRow(h, 2, 78, 2), u"ab");
    EXPECT_EQ(ReadRow(h, 4, 78, 2), u"ij");
    EXPECT_EQ(qtest::ReadAttribute(h, 79, 3), 0x15);

    // A negative corner: buffer cell (0, 0) is the caller's cell (origin +
    // the distance from the corner as given).
    region = {-2, -1, 1, 1};
    EXPECT_TRUE(WriteConsoleOutputW(h, cells.data(), {4, 3}, {0, 0}, &region));
    EXPECT_EQ(region.Left, 0);
    EXPECT_EQ(region.Top, 0);
    EXPECT_EQ(region.Right, 1);
    EXPECT_EQ(region.Bottom, 1);
    EXPECT_EQ(ReadRow(h, 0, 0, 2), u"gh");
    EXPECT_EQ(ReadRow(h, 1, 0, 2), u"kl");

    // Reading back with an origin inside the caller's array.
    std::vector<CHAR_INFO> back(4 * 3);
    region = {78, 2, 79, 3};
    EXPECT_TRUE(ReadConsoleOutputW(h, back.data(), {4, 3}, {1, 1}, &region));
    EXPECT_EQ(back[5].Char.UnicodeChar, u'a');
    EXPECT_EQ(back[10].Char.UnicodeChar, u'f');

    struct Outside {
        const char* what;
        COORD size, origin;
    };
    const Outside outside[] = {
        {"origin right of the array", {4, 3}, {4, 0}},
        {"origin below the array", {4, 3}, {0, 3}},
        {"negative origin", {4, 3}, {-1, 0}},
        {"empty array", {0, 0}, {0, 0}},
    };
    for (const Outside& c : outside) {
        region = {10, 10, 12, 12};
        EXPECT_TRUE(WriteConsoleOutputW(h, cells.data(), c.size, c.origin, &region)) << c.what;
        EXPECT_EQ(region.Right, 9) << c.what;
        EXPECT_EQ(region.Bottom, 9) << c.what;
    }
}

TEST(ConsoleBuffer, CodePage437Forms) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    CHAR_INFO cells[3] = {};
    cells[0].Char.AsciiChar = char(0x82); // e acute
    cells[1].Char.AsciiChar = char(0xDB); // full block
    cells[2].Char.AsciiChar = 'A';
    for (CHAR_INFO& c : cells) c.Attributes = 7;
    SMALL_RECT region = {0, 0, 2, 0};
    EXPECT_TRUE(WriteConsoleOutputA(h, cells, {3, 1}, {0, 0}, &region));
    EXPECT_EQ(ReadRow(h, 0, 0, 3), u"\u00e9\u2588A");

    Write(h, u"");
    SetConsoleCursorPosition(h, {0, 1});
    Write(h, u"\u4e00\u00e9");
    CHAR_INFO back[2] = {};
    region = {0, 1, 1, 1};
    EXPECT_TRUE(ReadConsoleOutputA(h, back, {2, 1}, {0, 0}, &region));
    EXPECT_EQ(back[0].Char.AsciiChar, '?') << "no code page 437 byte";
    EXPECT_EQ(static_cast<unsigned char>(back[1].Char.AsciiChar), 0x82);

    SetConsoleCursorPosition(h, {0, 2});
    DWORD written = 0;
    EXPECT_TRUE(WriteConsoleA(h, "\x82\xb0z", 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(ReadRow(h, 2, 0, 3), u"\u00e9\u2591z");

    region = {0, 0, 0, 0};
    EXPECT_TRUE(WriteConsoleOutputA(h, cells, {0, 5}, {0, 0}, &region)) << "no cells: a stand-in";
    EXPECT_EQ(region.Right, -1);
}

TEST(ConsoleBuffer, ErrorCodes) {
    HANDLE notConsole = reinterpret_cast<HANDLE>(uintptr_t(0x7FFF0000));
    CONSOLE_SCREEN_BUFFER_INFO info;
    CONSOLE_SCREEN_BUFFER_INFOEX ex = {};
    ex.cbSize = sizeof ex;
    CONSOLE_CURSOR_INFO cursor = {25, TRUE};
    CONSOLE_FONT_INFO font;
    CHAR_INFO cell = {};
    SMALL_RECT region = {0, 0, 0, 0};
    DWORD value = 0;
    struct Case {
        const char* what;
        std::function<BOOL()> call;
    };
    const Case cases[] = {
        {"SetConsoleActiveScreenBuffer", [&] { return SetConsoleActiveScreenBuffer(notConsole); }},
        {"GetConsoleScreenBufferInfo", [&] { return GetConsoleScreenBufferInfo(notConsole, &info); }},
        {"GetConsoleScreenBufferInfoEx", [&] { return GetConsoleScreenBufferInfoEx(notConsole, &ex); }},
        {"SetConsoleScreenBufferInfoEx", [&] { return SetConsoleScreenBufferInfoEx(notConsole, &ex); }},
        {"SetConsoleScreenBufferSize", [&] { return SetConsoleScreenBufferSize(notConsole, {90, 30}); }},
        {"SetConsoleWindowInfo", [&] { return SetConsoleWindowInfo(notConsole, TRUE, &region); }},
        {"GetConsoleCursorInfo", [&] { return GetConsoleCursorInfo(notConsole, &cursor); }},
        {"SetConsoleCursorInfo", [&] { return SetConsoleCursorInfo(notConsole, &cursor); }},
        {"SetConsoleCursorPosition", [&] { return SetConsoleCursorPosition(notConsole, {0, 0}); }},
        {"SetConsoleTextAttribute", [&] { return SetConsoleTextAttribute(notConsole, 7); }},
        {"FillConsoleOutputAttribute",
         [&] { return FillConsoleOutputAttribute(notConsole, 7, 1, {0, 0}, &value); }},
        {"FillConsoleOutputCharacterW",
         [&] { return FillConsoleOutputCharacterW(notConsole, u'x', 1, {0, 0}, &value); }},
        {"WriteConsoleOutputW",
         [&] { return WriteConsoleOutputW(notConsole, &cell, {1, 1}, {0, 0}, &region); }},
        {"ReadConsoleOutputW",
         [&] { return ReadConsoleOutputW(notConsole, &cell, {1, 1}, {0, 0}, &region); }},
        {"WriteConsoleW", [&] { return WriteConsoleW(notConsole, u"x", 1, &value, nullptr); }},
        {"WriteConsoleA", [&] { return WriteConsoleA(notConsole, "x", 1, &value, nullptr); }},
        {"GetConsoleMode", [&] { return GetConsoleMode(notConsole, &value); }},
        {"SetConsoleMode", [&] { return SetConsoleMode(notConsole, 3); }},
        {"GetCurrentConsoleFont", [&] { return GetCurrentConsoleFont(notConsole, FALSE, &font); }},
        {"the input handle is no screen buffer",
         [&] { return SetConsoleCursorPosition(qtest::ConsoleIn(), {0, 0}); }},
    };
    qtest::ConsoleTerminal();
    for (const Case& c : cases) {
        SetLastError(kSentinel);
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << c.what;
    }

    HANDLE h = qtest::ConsoleOut();
    const Case invalid[] = {
        {"cursor size 0", [&] { CONSOLE_CURSOR_INFO c = {0, TRUE}; return SetConsoleCursorInfo(h, &c); }},
        {"cursor size 101", [&] { CONSOLE_CURSOR_INFO c = {101, TRUE}; return SetConsoleCursorInfo(h, &c); }},
        {"cursor left of the page", [&] { return SetConsoleCursorPosition(h, {-1, 0}); }},
        {"cursor right of the page", [&] { return SetConsoleCursorPosition(h, {80, 0}); }},
        {"cursor below the page", [&] { return SetConsoleCursorPosition(h, {0, 25}); }},
        {"extended information of 95 bytes", [&] {
             CONSOLE_SCREEN_BUFFER_INFOEX e = {};
             e.cbSize = 95;
             return GetConsoleScreenBufferInfoEx(h, &e);
         }},
        {"setting extended information of 0 bytes", [&] {
             CONSOLE_SCREEN_BUFFER_INFOEX e = {};
             return SetConsoleScreenBufferInfoEx(h, &e);
         }},
    };
    for (const Case& c : invalid) {
        SetLastError(kSentinel);
        EXPECT_FALSE(c.call()) << c.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << c.what;
    }

    SetLastError(kSentinel);
    EXPECT_EQ(CreateConsoleScreenBuffer(GENERIC_READ, 0, nullptr, 2, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(kSentinel);
    EXPECT_EQ(GetStdHandle(5), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kSentinel);
    COORD largest = GetLargestConsoleWindowSize(notConsole);
    EXPECT_TRUE(largest.X == 0 && largest.Y == 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    COORD size = GetConsoleFontSize(notConsole, 3);
    EXPECT_TRUE(size.X == 8 && size.Y == 16) << "the font size needs no handle";
}

TEST(ConsoleBuffer, StandardHandles) {
    HANDLE out = qtest::ConsoleOut();
    EXPECT_EQ(GetStdHandle(STD_ERROR_HANDLE), out);
    EXPECT_NE(qtest::ConsoleIn(), out);
    DWORD mode = 0;
    EXPECT_TRUE(GetConsoleMode(qtest::ConsoleIn(), &mode));
    EXPECT_EQ(mode, 0x1F7u);
    EXPECT_TRUE(GetConsoleMode(out, &mode));
    EXPECT_EQ(mode, 3u);
    CONSOLE_FONT_INFO font = {};
    EXPECT_TRUE(GetCurrentConsoleFont(out, FALSE, &font));
    EXPECT_EQ(font.dwFontSize.X, 8);
    EXPECT_EQ(font.dwFontSize.Y, 16);

    ScratchBuffer b;
    EXPECT_TRUE(SetConsoleMode(b.handle(), 0xFF));
    EXPECT_TRUE(GetConsoleMode(b.handle(), &mode));
    EXPECT_EQ(mode, 0x1Fu) << "the output mode keeps its five bits";
}

TEST(ConsoleBuffer, ReferenceCounts) {
    HANDLE out = qtest::ConsoleOut();
    const int before = BufferCount();

    HANDLE h = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr, 1, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(BufferCount(), before + 1);
    EXPECT_TRUE(SetConsoleActiveScreenBuffer(h));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(BufferCount(), before + 1) << "the active buffer stays";
    EXPECT_TRUE(SetConsoleActiveScreenBuffer(out));
    EXPECT_EQ(BufferCount(), before) << "no handle and no longer shown: freed";

    h = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr, 1, nullptr);
    EXPECT_TRUE(SetConsoleActiveScreenBuffer(h));
    HANDLE second = CreateFileW(u"CONOUT$", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetConsoleActiveScreenBuffer(out));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(BufferCount(), before + 1) << "the handle CONOUT$ gave still refers to it";
    Write(second, u"still usable");
    EXPECT_EQ(ReadRow(second, 0, 0, 5), u"still");
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(BufferCount(), before);

    HANDLE input = CreateFileW(u"CONIN$", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(input, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(GetConsoleMode(input, nullptr));
    EXPECT_TRUE(CloseHandle(input));
}

TEST(ConsoleBuffer, PaletteAndAttributes) {
    ScratchBuffer b;
    HANDLE h = b.handle();
    CONSOLE_SCREEN_BUFFER_INFOEX ex = {};
    ex.cbSize = sizeof ex;
    ASSERT_TRUE(GetConsoleScreenBufferInfoEx(h, &ex));
    COLORREF palette[16];
    ConsoleDefaultPalette(palette);
    EXPECT_EQ(std::memcmp(ex.ColorTable, palette, sizeof palette), 0);
    EXPECT_EQ(ex.wPopupAttributes, 0xF5);
    EXPECT_FALSE(ex.bFullscreenSupported);
    EXPECT_EQ(ex.wAttributes, 7);

    ex.wAttributes = 0x1E;
    ASSERT_TRUE(SetConsoleScreenBufferInfoEx(h, &ex));
    Write(h, u"x");
    EXPECT_EQ(qtest::ReadAttribute(h, 0, 0), 0x1E) << "text takes the buffer's attribute";
    EXPECT_TRUE(SetConsoleTextAttribute(h, 0x2F));
    Write(h, u"y");
    EXPECT_EQ(qtest::ReadAttribute(h, 1, 0), 0x2F);
}

} // namespace
