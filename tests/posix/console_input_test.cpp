// The console input queue and the console input functions on the test
// process's own terminal: blocking reads and peeks, order across growth, the
// cap and the merging of mouse moves, handle errors, the code page 437 form
// of the A functions, Ctrl+C, mouse positions in buffer coordinates and the
// key tracking that the keyboard-state functions read.
#include "console_fixture.h"
#include "internal/console.h"
#include "internal/console_input.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using qtest::ConsoleTerminal;

constexpr DWORD kSentinel = 0xDEADBEEF;

INPUT_RECORD Key(WORD vk, WCHAR ch, BOOL down, DWORD state = 0) {
    INPUT_RECORD r = {};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = down;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.wVirtualKeyCode = vk;
    r.Event.KeyEvent.uChar.UnicodeChar = ch;
    r.Event.KeyEvent.dwControlKeyState = state;
    return r;
}

INPUT_RECORD Mouse(SHORT x, SHORT y, DWORD buttons, DWORD flags) {
    INPUT_RECORD r = {};
    r.EventType = MOUSE_EVENT;
    r.Event.MouseEvent.dwMousePosition = {x, y};
    r.Event.MouseEvent.dwButtonState = buttons;
    r.Event.MouseEvent.dwEventFlags = flags;
    return r;
}

HANDLE In() {
    HANDLE in = qtest::ConsoleIn();
    EXPECT_NE(in, nullptr);
    return in;
}

void Drain() { EXPECT_TRUE(FlushConsoleInputBuffer(In())); }

// Reads one record, waiting at most timeoutMs for it.
bool ReadOne(INPUT_RECORD* record, int timeoutMs = 5000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        DWORD n = 0;
        EXPECT_TRUE(PeekConsoleInputA(In(), record, 1, &n));
        if (n == 1) break;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    DWORD n = 0;
    return ReadConsoleInputW(In(), record, 1, &n) && n == 1;
}

void Put(const std::vector<INPUT_RECORD>& records) {
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputW(In(), records.data(), DWORD(records.size()), &written));
    ASSERT_EQ(written, records.size());
}

std::vector<INPUT_RECORD> TakeAll() {
    std::vector<INPUT_RECORD> got(CONSOLE_INPUT_QUEUE_MAX + 8);
    DWORD n = 0;
    DWORD peeked = 0;
    EXPECT_TRUE(PeekConsoleInputA(In(), got.data(), 1, &peeked));
    if (peeked == 0) return {};
    EXPECT_TRUE(ReadConsoleInputW(In(), got.data(), DWORD(got.size()), &n));
    got.resize(n);
    return got;
}

TEST(ConsoleInput, ReadWaitsForInputAndPeekDoesNot) {
    Drain();
    INPUT_RECORD r;
    DWORD n = kSentinel;
    ASSERT_TRUE(PeekConsoleInputA(In(), &r, 1, &n));
    EXPECT_EQ(n, 0u) << "a peek at an empty queue returns at once";

    std::atomic<bool> done{false};
    INPUT_RECORD got = {};
    DWORD read = 0;
    std::thread reader([&] {
        ReadConsoleInputW(In(), &got, 1, &read);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(done.load()) << "a read of an empty queue waits";
    ConsoleTerminal().Write("x");
    reader.join();
    ASSERT_EQ(read, 1u);
    EXPECT_EQ(got.EventType, KEY_EVENT);
    EXPECT_TRUE(got.Event.KeyEvent.bKeyDown);
    EXPECT_EQ(got.Event.KeyEvent.wVirtualKeyCode, 'X');
    EXPECT_EQ(got.Event.KeyEvent.wVirtualScanCode, 0x2D);
    EXPECT_EQ(got.Event.KeyEvent.uChar.UnicodeChar, u'x');
    ASSERT_TRUE(ReadOne(&got));
    EXPECT_FALSE(got.Event.KeyEvent.bKeyDown) << "then its key up";
}

TEST(ConsoleInput, ReadOfNoRecordsStillWaitsForOne) {
    Drain();
    std::atomic<bool> done{false};
    DWORD read = kSentinel;
    std::thread reader([&] {
        ReadConsoleInputW(In(), nullptr, 0, &read);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done.load());
    Put({Key('A', u'a', TRUE)});
    reader.join();
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(TakeAll().size(), 1u) << "the record stays queued";
}

TEST(ConsoleInput, RecordsKeepTheirOrderAsTheQueueGrows) {
    Drain();
    std::vector<INPUT_RECORD> records;
    for (int i = 0; i < 300; i++) records.push_back(Key('A', WCHAR(i + 1), TRUE));
    Put(records);
    {
        ConsoleStateGuard state;
        EXPECT_GE(gConsoleInput.queue.capacity, 512u) << "the ring grew past 256";
    }
    // Read in uneven slices, so that the head wraps around the ring.
    std::vector<INPUT_RECORD> got;
    for (DWORD slice : {7u, 250u, 1u, 100u}) {
        std::vector<INPUT_RECORD> part(slice);
        DWORD n = 0;
        if (got.size() == 300) break;
        ASSERT_TRUE(ReadConsoleInputW(In(), part.data(), slice, &n));
        got.insert(got.end(), part.begin(), part.begin() + n);
    }
    ASSERT_EQ(got.size(), 300u);
    for (int i = 0; i < 300; i++) ASSERT_EQ(got[i].Event.KeyEvent.uChar.UnicodeChar, i + 1) << i;
}

TEST(ConsoleInput, AFullQueueRefusesMoreAndSaysSo) {
    Drain();
    std::vector<INPUT_RECORD> records(CONSOLE_INPUT_QUEUE_MAX + 100);
    for (size_t i = 0; i < records.size(); i++) records[i] = Key('A', WCHAR(i & 0x7FFF), TRUE);
    DWORD written = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(WriteConsoleInputW(In(), records.data(), DWORD(records.size()), &written));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(written, CONSOLE_INPUT_QUEUE_MAX);
    {
        ConsoleStateGuard state;
        EXPECT_EQ(gConsoleInput.queue.capacity, CONSOLE_INPUT_QUEUE_MAX) << "memory stays bounded";
        INPUT_RECORD typed = Key('B', u'b', TRUE);
        EXPECT_FALSE(ConsoleQueueInput(&typed)) << "decoded input is dropped too";
    }
    std::vector<INPUT_RECORD> got = TakeAll();
    ASSERT_EQ(got.size(), CONSOLE_INPUT_QUEUE_MAX) << "the first records are kept";
    EXPECT_EQ(got.front().Event.KeyEvent.uChar.UnicodeChar, 0);
    EXPECT_EQ(got.back().Event.KeyEvent.uChar.UnicodeChar, (CONSOLE_INPUT_QUEUE_MAX - 1) & 0x7FFF);
    Put({Key('C', u'c', TRUE)});
    EXPECT_EQ(TakeAll().size(), 1u) << "room again once read";
}

TEST(ConsoleInput, MouseMovesAtTheTailMerge) {
    const INPUT_RECORD click = Mouse(1, 1, FROM_LEFT_1ST_BUTTON_PRESSED, 0);
    const INPUT_RECORD move1 = Mouse(2, 1, 0, MOUSE_MOVED);
    const INPUT_RECORD move2 = Mouse(3, 1, 0, MOUSE_MOVED);
    const INPUT_RECORD move3 = Mouse(4, 2, 0, MOUSE_MOVED);
    const INPUT_RECORD drag = Mouse(5, 2, FROM_LEFT_1ST_BUTTON_PRESSED, MOUSE_MOVED);
    const INPUT_RECORD wheel1 = Mouse(5, 2, 0x00780000, MOUSE_WHEELED);
    const INPUT_RECORD wheel2 = Mouse(5, 2, 0x00780000, MOUSE_WHEELED);
    const INPUT_RECORD key = Key('A', u'a', TRUE);
    struct Case {
        const char* what;
        std::vector<INPUT_RECORD> in;
        std::vector<SHORT> columnsOut; // the columns of the records that stay
    };
    const Case cases[] = {
        {"moves in a row become the last one", {move1, move2, move3}, {4}},
        {"a click ends the run", {move1, click, move2, move3}, {2, 1, 4}},
        {"a key ends the run", {move1, key, move2}, {2, 0, 3}},
        {"a move with a button held does not replace one without", {move1, drag}, {2, 5}},
        {"wheel turns are all kept", {wheel1, wheel2}, {5, 5}},
    };
    for (const Case& c : cases) {
        Drain();
        Put(c.in);
        std::vector<INPUT_RECORD> got = TakeAll();
        std::vector<SHORT> columns;
        for (const INPUT_RECORD& r : got)
            columns.push_back(r.EventType == MOUSE_EVENT ? r.Event.MouseEvent.dwMousePosition.X : 0);
        EXPECT_EQ(columns, c.columnsOut) << c.what;
    }
    Drain();
    Put({move1});
    INPUT_RECORD r;
    DWORD n = 0;
    ASSERT_TRUE(ReadConsoleInputW(In(), &r, 1, &n));
    Put({move2});
    EXPECT_EQ(TakeAll().size(), 1u) << "a move already read is not replaced";
}

TEST(ConsoleInput, HandleAndArgumentErrors) {
    HANDLE out = qtest::ConsoleOut();
    HANDLE freed = CreateFileW(u"CONIN$", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(freed, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(freed));
    struct Handle {
        const char* what;
        HANDLE h;
    };
    const Handle bad[] = {
        {"a screen buffer", out},
        {"null", nullptr},
        {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE},
        {"a closed console input handle", freed},
    };
    INPUT_RECORD r = Key('A', u'a', TRUE);
    for (const Handle& b : bad) {
        DWORD n = kSentinel;
        SetLastError(kSentinel);
        EXPECT_FALSE(ReadConsoleInputW(b.h, &r, 1, &n)) << b.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << b.what;
        EXPECT_EQ(n, 0u) << b.what;
        n = kSentinel;
        SetLastError(kSentinel);
        EXPECT_FALSE(ReadConsoleInputA(b.h, &r, 1, &n)) << b.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << b.what;
        SetLastError(kSentinel);
        EXPECT_FALSE(PeekConsoleInputA(b.h, &r, 1, &n)) << b.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << b.what;
        n = kSentinel;
        SetLastError(kSentinel);
        EXPECT_FALSE(WriteConsoleInputW(b.h, &r, 1, &n)) << b.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << b.what;
        EXPECT_EQ(n, 0u) << b.what;
        SetLastError(kSentinel);
        EXPECT_FALSE(FlushConsoleInputBuffer(b.h)) << b.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << b.what;
    }
    DWORD n = kSentinel;
    SetLastError(kSentinel);
    EXPECT_FALSE(WriteConsoleInputW(In(), nullptr, 1, &n)) << "no records to write";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(kSentinel);
    EXPECT_FALSE(PeekConsoleInputA(In(), nullptr, 4, &n)) << "nowhere to copy to";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // CONIN$ opened by name reaches the same queue.
    HANDLE conin = CreateFileW(u"CONIN$", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(conin, INVALID_HANDLE_VALUE);
    Drain();
    ASSERT_TRUE(WriteConsoleInputW(conin, &r, 1, &n));
    EXPECT_EQ(TakeAll().size(), 1u);
    CloseHandle(conin);
}

TEST(ConsoleInput, AnsiReadsGiveCodePage437Bytes) {
    struct Case {
        const char* what;
        WCHAR in;
        WCHAR out;
    };
    const Case cases[] = {
        {"ASCII stays", u'a', u'a'},
        {"e acute is 0x82", 0x00E9, 0x82},
        {"a box-drawing character has its byte", 0x2591, 0xB0},
        {"the euro sign has none: 0, not '?'", 0x20AC, 0},
        {"a CJK character has none", 0x4E2D, 0},
        {"a surrogate half has none", 0xD83D, 0},
        {"a control character stays", 27, 27},
    };
    for (const Case& c : cases) {
        Drain();
        Put({Key(VK_PACKET, c.in, TRUE)});
        INPUT_RECORD r;
        DWORD n = 0;
        ASSERT_TRUE(PeekConsoleInputA(In(), &r, 1, &n)) << c.what;
        ASSERT_EQ(n, 1u) << c.what;
        EXPECT_EQ(r.Event.KeyEvent.uChar.UnicodeChar, c.out) << c.what << " (peek)";
        ASSERT_TRUE(ReadConsoleInputA(In(), &r, 1, &n)) << c.what;
        ASSERT_EQ(n, 1u) << c.what << ": the peek left the record";
        EXPECT_EQ(r.Event.KeyEvent.uChar.UnicodeChar, c.out) << c.what << " (read)";
    }
    Drain();
    INPUT_RECORD mouse = Mouse(0x4E2D, 3, 0, 0);
    Put({mouse});
    INPUT_RECORD r;
    DWORD n = 0;
    ASSERT_TRUE(ReadConsoleInputA(In(), &r, 1, &n));
    EXPECT_EQ(r.Event.MouseEvent.dwMousePosition.X, 0x4E2D) << "only key records change";
}

TEST(ConsoleInput, CtrlCFollowsProcessedInput) {
    HANDLE in = In();
    Drain();
    ASSERT_TRUE(SetConsoleMode(in, 0x1F7));
    ConsoleTerminal().Write("\x03z");
    INPUT_RECORD r;
    ASSERT_TRUE(ReadOne(&r));
    EXPECT_EQ(r.Event.KeyEvent.wVirtualKeyCode, 'Z') << "Ctrl+C never reaches the queue";

    ASSERT_TRUE(SetConsoleMode(in, 0x1F6));
    Drain();
    ConsoleTerminal().Write("\x03");
    ASSERT_TRUE(ReadOne(&r));
    EXPECT_EQ(r.EventType, KEY_EVENT);
    EXPECT_EQ(r.Event.KeyEvent.wVirtualKeyCode, 0x43);
    EXPECT_EQ(r.Event.KeyEvent.uChar.UnicodeChar, 3);
    EXPECT_TRUE(r.Event.KeyEvent.dwControlKeyState & LEFT_CTRL_PRESSED);
    ASSERT_TRUE(SetConsoleMode(in, 0x1F7));
    ASSERT_TRUE(ReadOne(&r));
    Drain();
}

TEST(ConsoleInput, MousePositionsAreBufferCoordinates) {
    qtest::ScratchBuffer b;
    ASSERT_TRUE(SetConsoleScreenBufferSize(b.handle(), {80, 50}));
    SMALL_RECT window = {0, 10, 79, 34};
    ASSERT_TRUE(SetConsoleWindowInfo(b.handle(), TRUE, &window));
    HANDLE in = In();
    ASSERT_TRUE(SetConsoleMode(in, 0x98));
    Drain();
    ConsoleTerminal().Write("\x1b[<0;1;1M\x1b[<0;1;1m");
    INPUT_RECORD r;
    ASSERT_TRUE(ReadOne(&r));
    ASSERT_EQ(r.EventType, MOUSE_EVENT);
    EXPECT_EQ(r.Event.MouseEvent.dwMousePosition.X, 0);
    EXPECT_EQ(r.Event.MouseEvent.dwMousePosition.Y, 10) << "terminal row 0 is window row 10";
    EXPECT_EQ(r.Event.MouseEvent.dwButtonState, FROM_LEFT_1ST_BUTTON_PRESSED);
    ASSERT_TRUE(ReadOne(&r));
    EXPECT_EQ(r.Event.MouseEvent.dwButtonState, 0u) << "the release";

    ASSERT_TRUE(SetConsoleMode(in, 0x1F7));
    ConsoleTerminal().Write("\x1b[<0;1;1M\x1b[<0;1;1mq");
    ASSERT_TRUE(ReadOne(&r));
    EXPECT_EQ(r.EventType, KEY_EVENT) << "without mouse input the click is not queued";
    Drain();
}

TEST(ConsoleInput, ReadsTrackTheKeyHeldAndItsState) {
    struct Case {
        const char* what;
        std::vector<INPUT_RECORD> records;
        DWORD key;
        DWORD state;
        DWORD packet;
    };
    const Case cases[] = {
        {"a key down is held", {Key('A', u'a', TRUE, SHIFT_PRESSED)}, 'A', SHIFT_PRESSED, 0},
        {"its key up releases it", {Key('A', u'a', TRUE), Key('A', u'a', FALSE)}, 0, 0, 0},
        {"the key up of another key does not",
         {Key('A', u'a', TRUE), Key('B', u'b', FALSE, LEFT_CTRL_PRESSED)},
         'A',
         LEFT_CTRL_PRESSED,
         0},
        {"a mouse record leaves the state of the last key record",
         {Key('A', u'a', TRUE, LEFT_ALT_PRESSED), Mouse(1, 1, 0, 0)},
         'A',
         LEFT_ALT_PRESSED,
         0},
        {"a VK_PACKET key keeps its character",
         {Key(VK_PACKET, 0x20AC, TRUE), Key(VK_PACKET, 0x20AC, FALSE)},
         0,
         0,
         0x20AC},
    };
    for (const Case& c : cases) {
        Drain();
        {
            ConsoleStateGuard state;
            gConsole.lastKey = 0;
            gConsole.lastControlKeyState = 0;
            gConsole.lastPacketChar = 0;
        }
        Put(c.records);
        std::vector<INPUT_RECORD> peek(c.records.size());
        DWORD n = 0;
        ASSERT_TRUE(PeekConsoleInputA(In(), peek.data(), DWORD(peek.size()), &n));
        DWORD state = kSentinel, key = kSentinel;
        ConsoleLastKeyState(&state, &key);
        EXPECT_EQ(key, 0u) << c.what << ": a peek tracks nothing";
        TakeAll();
        ConsoleLastKeyState(&state, &key);
        EXPECT_EQ(key, c.key) << c.what;
        EXPECT_EQ(state, c.state) << c.what;
        ConsoleStateGuard guard;
        EXPECT_EQ(gConsole.lastPacketChar, c.packet) << c.what;
    }
    Drain();
}

} // namespace
