// The key-test mode: the line shown for each kind of record (key names,
// characters, modifiers, mouse flags, sizes, focus), the modifier text, and
// the loop on the test process's own console: the header, the input mode it
// sets and the rule that only two Esc presses in a row end it.
#include "console_fixture.h"
#include "internal/keytest.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

INPUT_RECORD Key(WORD vk, WORD scan, WCHAR ch, BOOL down, DWORD state) {
    INPUT_RECORD r = {};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = down;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.wVirtualKeyCode = vk;
    r.Event.KeyEvent.wVirtualScanCode = scan;
    r.Event.KeyEvent.uChar.UnicodeChar = ch;
    r.Event.KeyEvent.dwControlKeyState = state;
    return r;
}

INPUT_RECORD Mouse(SHORT x, SHORT y, DWORD buttons, DWORD flags, DWORD state) {
    INPUT_RECORD r = {};
    r.EventType = MOUSE_EVENT;
    r.Event.MouseEvent.dwMousePosition = {x, y};
    r.Event.MouseEvent.dwButtonState = buttons;
    r.Event.MouseEvent.dwEventFlags = flags;
    r.Event.MouseEvent.dwControlKeyState = state;
    return r;
}

std::string Line(const INPUT_RECORD& r) {
    char line[KEYTEST_LINE_BYTES];
    size_t n = KeyTestLine(&r, line);
    EXPECT_EQ(n, std::char_traits<char>::length(line));
    return std::string(line, n);
}

TEST(KeyTest, ModifierText) {
    struct Case {
        const char* what;
        DWORD state;
        const char* text;
    };
    const Case cases[] = {
        {"nothing", 0, ""},
        {"left Ctrl", LEFT_CTRL_PRESSED, "LCtrl "},
        {"every bit, in the fixed order",
         LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED | LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED | SHIFT_PRESSED |
             ENHANCED_KEY | NUMLOCK_ON | CAPSLOCK_ON,
         "LCtrl RCtrl LAlt RAlt Shift enh num caps "},
        {"Scroll Lock has no name", SCROLLLOCK_ON, ""},
        {"right Alt and Caps Lock", RIGHT_ALT_PRESSED | CAPSLOCK_ON, "RAlt caps "},
    };
    for (const Case& c : cases) {
        char text[96];
        KeyTestModifierText(text, c.state);
        EXPECT_STREQ(text, c.text) << c.what;
    }
}

TEST(KeyTest, KeyNames) {
    struct Case {
        WORD vk;
        const char* name;
    };
    const Case cases[] = {
        {0x08, "Backspace"}, {0x0D, "Enter"}, {0x1B, "Esc"}, {0x21, "PgUp"}, {0x2E, "Del"},
        {0x6C, "Num,"},      {0x91, "ScrollLock"}, {0xDC, "\\"}, {0xE2, "<>"}, {0xE7, "Packet"},
        {'7', "7"},          {'Q', "Q"},      {0x60, "Num0"}, {0x69, "Num9"}, {0x70, "F1"},
        {0x7C, "F13"},       {0x87, "F24"},   {0x88, "88"}, {0x5F, "5F"}, {0x01, "01"},
        {0xFF, "FF"},
    };
    for (const Case& c : cases) {
        char name[16];
        KeyTestKeyName(c.vk, name);
        EXPECT_STREQ(name, c.name) << "vk 0x" << std::hex << c.vk;
    }
}

TEST(KeyTest, LinesForEveryKindOfRecord) {
    INPUT_RECORD size = {};
    size.EventType = WINDOW_BUFFER_SIZE_EVENT;
    size.Event.WindowBufferSizeEvent.dwSize = {100, 30};
    INPUT_RECORD focusIn = {};
    focusIn.EventType = FOCUS_EVENT;
    focusIn.Event.FocusEvent.bSetFocus = TRUE;
    INPUT_RECORD focusOut = {};
    focusOut.EventType = FOCUS_EVENT;
    INPUT_RECORD menu = {};
    menu.EventType = MENU_EVENT;
    struct Case {
        const char* what;
        INPUT_RECORD record;
        std::string line;
    };
    const Case cases[] = {
        {"a letter with its character", Key('A', 0x1E, u'a', TRUE, NUMLOCK_ON),
         "key down A          vk=41 sc=1E ch=0061 'a'  num \r\n"},
        {"Ctrl+C: a control character has no text", Key('C', 0x2E, 3, TRUE, LEFT_CTRL_PRESSED),
         "key down C          vk=43 sc=2E ch=0003  LCtrl \r\n"},
        {"Esc released", Key(VK_ESCAPE, 0x01, 27, FALSE, 0), "key up   Esc        vk=1B sc=01 ch=001B  \r\n"},
        {"an enhanced arrow", Key(VK_UP, 0x48, 0, TRUE, LEFT_CTRL_PRESSED | ENHANCED_KEY),
         "key down Up         vk=26 sc=48 ch=0000  LCtrl enh \r\n"},
        {"Backspace's DEL has no text", Key(VK_BACK, 0x0E, 0x7F, TRUE, 0),
         "key down Backspace  vk=08 sc=0E ch=007F  \r\n"},
        {"a character beyond ASCII in UTF-8", Key(VK_PACKET, 0, 0x00E9, TRUE, 0),
         "key down Packet     vk=E7 sc=00 ch=00E9 '\xc3\xa9'  \r\n"},
        {"a CJK character", Key(VK_PACKET, 0, 0x4E2D, TRUE, 0),
         "key down Packet     vk=E7 sc=00 ch=4E2D '\xe4\xb8\xad'  \r\n"},
        {"a high surrogate half alone shows as U+FFFD", Key(VK_PACKET, 0, 0xD83D, TRUE, 0),
         "key down Packet     vk=E7 sc=00 ch=D83D '\xef\xbf\xbd'  \r\n"},
        {"and a low one", Key(VK_PACKET, 0, 0xDE00, FALSE, 0),
         "key up   Packet     vk=E7 sc=00 ch=DE00 '\xef\xbf\xbd'  \r\n"},
        {"a double click with Shift",
         Mouse(9, 4, FROM_LEFT_1ST_BUTTON_PRESSED, DOUBLE_CLICK, SHIFT_PRESSED),
         "mouse 9,4 buttons=00000001 double  Shift \r\n"},
        {"the wheel", Mouse(2, 1, 0x00780000, MOUSE_WHEELED, 0), "mouse 2,1 buttons=00780000 wheel  \r\n"},
        {"a move and a horizontal wheel at once", Mouse(0, 0, 0, MOUSE_MOVED | MOUSE_HWHEELED, 0),
         "mouse 0,0 buttons=00000000 moved hwheel  \r\n"},
        {"a release", Mouse(3, 3, 0, 0, NUMLOCK_ON), "mouse 3,3 buttons=00000000  num \r\n"},
        {"a resize", size, "size 100x30\r\n"},
        {"focus in", focusIn, "focus in\r\n"},
        {"focus out", focusOut, "focus out\r\n"},
        {"any other event", menu, "event 8\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(Line(c.record), c.line) << c.what;
}

// The rows of the default buffer above its cursor, newest last.
std::vector<std::u16string> LastRows(int count) {
    HANDLE out = qtest::ConsoleOut();
    COORD cursor = qtest::CursorOf(out);
    std::vector<std::u16string> rows;
    for (int y = cursor.Y - count; y < cursor.Y; y++) rows.push_back(qtest::ReadRow(out, y, 0, 16));
    return rows;
}

TEST(KeyTest, RunsUntilEscTwiceInARow) {
    HANDLE in = qtest::ConsoleIn();
    HANDLE out = qtest::ConsoleOut();
    ASSERT_TRUE(FlushConsoleInputBuffer(in));
    ASSERT_TRUE(SetConsoleCursorPosition(out, {0, 0}));
    std::atomic<bool> done{false};
    int result = -1;
    std::thread tester([&] {
        result = ConsoleKeyTest();
        done = true;
    });
    auto put = [&](std::vector<INPUT_RECORD> records) {
        DWORD written;
        ASSERT_TRUE(WriteConsoleInputW(in, records.data(), DWORD(records.size()), &written));
    };
    const INPUT_RECORD escDown = Key(VK_ESCAPE, 1, 27, TRUE, 0);
    const INPUT_RECORD escUp = Key(VK_ESCAPE, 1, 27, FALSE, 0);
    // Esc, a, Esc: the key between resets the count.
    put({escDown, escUp, Key('A', 0x1E, u'a', TRUE, 0), Key('A', 0x1E, u'a', FALSE, 0), escDown,
         escUp});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(done.load()) << "Esc, a, Esc does not stop";
    DWORD mode = 0;
    ASSERT_TRUE(GetConsoleMode(in, &mode));
    EXPECT_EQ(mode, 0x98u) << "mouse and window input on, processed input off";
    // The key up between the two presses leaves the count.
    put({escDown});
    tester.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(qtest::ReadRow(out, 0, 0, 80),
              u"quilb --keys: kitty keyboard protocol off (xterm keys); press Esc twice to stop ");
    const std::vector<std::u16string> expected = {
        u"key down Esc    ", u"key up   Esc    ", u"key down A      ", u"key up   A      ",
        u"key down Esc    ", u"key up   Esc    ", u"key down Esc    "};
    EXPECT_EQ(LastRows(7), expected) << "one line per record, the last Esc shown too";
    ASSERT_TRUE(SetConsoleMode(in, 0x1F7));
}

} // namespace
