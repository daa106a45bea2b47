// The keyboard-state functions and the DOS-style key reads, with records put
// into the console input of the test process's own terminal: the key that
// types each character, characters under a keyboard state, the state of
// keys after records are read, and _getch and _kbhit over the DOS extended
// keys and characters that code page 437 lacks.
#include "console_fixture.h"
#include "internal/console.h"
#include "internal/terminput_decoder.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

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

HANDLE In() { return qtest::ConsoleIn(); }

void Put(const std::vector<INPUT_RECORD>& records) {
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputW(In(), records.data(), DWORD(records.size()), &written));
}

// Reads every queued record, as a program's key reader would.
void ReadAll() {
    for (;;) {
        INPUT_RECORD r;
        DWORD n = 0;
        ASSERT_TRUE(PeekConsoleInputA(In(), &r, 1, &n));
        if (n == 0) return;
        ASSERT_TRUE(ReadConsoleInputW(In(), &r, 1, &n));
    }
}

DWORD StateOf(int shiftState) {
    DWORD state = 0;
    if (shiftState & 1) state |= SHIFT_PRESSED;
    if (shiftState & 2) state |= LEFT_CTRL_PRESSED;
    return state;
}

TEST(Keyboard, VkKeyScanFindsTheKeyThatTypesACharacter) {
    struct Case {
        const char* what;
        WCHAR c;
        SHORT expected;
    };
    const Case cases[] = {
        {"a capital is Shift and the letter", u'A', 0x0141},
        {"a small letter is the letter alone", u'a', 0x0041},
        {"a control character is Ctrl and the letter", 1, 0x0241},
        {"'*' is Shift+8, not the numeric pad key", u'*', 0x0138},
        {"'+' is Shift and the = key, not the pad", u'+', 0x01BB},
        {"NUL is Ctrl+Shift+2", 0, 0x0332},
        {"Escape", 27, 0x001B},
        {"Enter's line feed is Ctrl+Enter", 10, 0x020D},
        {"a character no key types", 0x00E9, -1},
        {"a character beyond the layout", 0x4E2D, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(VkKeyScanW(c.c), c.expected) << c.what;

    // Every printable ASCII character round-trips through the key found.
    for (WCHAR c = 32; c < 127; c++) {
        SHORT v = VkKeyScanW(c);
        ASSERT_NE(v, -1) << "U+" << std::hex << int(c);
        EXPECT_EQ(VkToChar(UINT(v & 0xFF), StateOf(v >> 8)), c) << "U+" << std::hex << int(c);
        EXPECT_LE(v >> 8, 1) << "printable characters need at most Shift: U+" << std::hex << int(c);
    }
}

TEST(Keyboard, KeyboardStateToControlState) {
    struct Case {
        const char* what;
        std::vector<std::pair<WORD, BYTE>> keys;
        DWORD state;
    };
    const Case cases[] = {
        {"nothing held", {}, 0},
        {"Shift", {{VK_SHIFT, 0x80}}, SHIFT_PRESSED},
        {"right Shift", {{VK_RSHIFT, 0x80}}, SHIFT_PRESSED},
        {"right Ctrl counts as Ctrl", {{VK_RCONTROL, 0x80}}, LEFT_CTRL_PRESSED},
        {"left Alt", {{VK_LMENU, 0x81}}, LEFT_ALT_PRESSED},
        {"Caps Lock toggled on", {{VK_CAPITAL, 0x01}}, CAPSLOCK_ON},
        {"Caps Lock held but not toggled", {{VK_CAPITAL, 0x80}}, 0},
        {"a toggle bit is not a key held", {{VK_SHIFT, 0x01}}, 0},
        {"everything", {{VK_SHIFT, 0x80}, {VK_CONTROL, 0x80}, {VK_MENU, 0x80}, {VK_CAPITAL, 1}},
         SHIFT_PRESSED | LEFT_CTRL_PRESSED | LEFT_ALT_PRESSED | CAPSLOCK_ON},
    };
    for (const Case& c : cases) {
        BYTE keys[256] = {};
        for (auto [vk, value] : c.keys) keys[vk] = value;
        EXPECT_EQ(KeyboardStateToControlState(keys), c.state) << c.what;
    }
}

TEST(Keyboard, ToUnicodeAndToAscii) {
    BYTE shift[256] = {};
    shift[VK_SHIFT] = 0x80;
    BYTE caps[256] = {};
    caps[VK_CAPITAL] = 1;
    BYTE ctrl[256] = {};
    ctrl[VK_CONTROL] = 0x80;
    struct Case {
        const char* what;
        UINT vk;
        const BYTE* keys;
        int result;
        WCHAR c;
    };
    const Case cases[] = {
        {"a letter without a state", 'A', nullptr, 1, u'a'},
        {"with Shift", 'A', shift, 1, u'A'},
        {"with Caps Lock", 'A', caps, 1, u'A'},
        {"with Ctrl", 'A', ctrl, 1, 1},
        {"Shift+1", '1', shift, 1, u'!'},
        {"an arrow types nothing", VK_UP, nullptr, 0, 0},
        {"Ctrl+1 types nothing", '1', ctrl, 0, 0},
    };
    for (const Case& c : cases) {
        WCHAR buffer[3] = {0x7777, 0x7777, 0x7777};
        EXPECT_EQ(ToUnicode(c.vk, 0, c.keys, buffer, 3, 0), c.result) << c.what;
        if (c.result) {
            EXPECT_EQ(buffer[0], c.c) << c.what;
            EXPECT_EQ(buffer[1], 0) << c.what << ": terminated";
        }
        WORD byte = 0x7777;
        EXPECT_EQ(ToAscii(c.vk, 0, c.keys, &byte, 0), c.result) << c.what;
        if (c.result) {
            EXPECT_EQ(byte, c.c) << c.what;
        }
    }
    WCHAR one[2] = {0x7777, 0x7777};
    EXPECT_EQ(ToUnicode('A', 0, nullptr, one, 1, 0), 1);
    EXPECT_EQ(one[1], 0x7777) << "no room for a terminator, none written";
    EXPECT_EQ(ToUnicode('A', 0, nullptr, one, 0, 0), 0) << "size 0";
    EXPECT_EQ(ToUnicode('A', 0, nullptr, nullptr, 2, 0), 0) << "no buffer";
    EXPECT_EQ(ToAscii('A', 0, nullptr, nullptr, 0), 0) << "no output";

    // VK_PACKET: the character of the last VK_PACKET key read.
    struct Packet {
        const char* what;
        WCHAR c;
        int ascii;   // ToAscii's result
        WORD byte;   // its Windows-1252 byte
    };
    const Packet packets[] = {
        {"e acute", 0x00E9, 1, 0xE9},
        {"the euro sign is 0x80 in Windows-1252", 0x20AC, 1, 0x80},
        {"a CJK character has no byte", 0x4E2D, 0, 0},
    };
    for (const Packet& p : packets) {
        Put({Key(VK_PACKET, p.c, TRUE), Key(VK_PACKET, p.c, FALSE)});
        ReadAll();
        WCHAR buffer[2] = {};
        EXPECT_EQ(ToUnicode(VK_PACKET, 0, nullptr, buffer, 2, 0), 1) << p.what;
        EXPECT_EQ(buffer[0], p.c) << p.what;
        WORD byte = 0x7777;
        EXPECT_EQ(ToAscii(VK_PACKET, 0, nullptr, &byte, 0), p.ascii) << p.what;
        if (p.ascii) {
            EXPECT_EQ(byte, p.byte) << p.what;
        }
    }
    EXPECT_EQ(uintptr_t(GetKeyboardLayout(0)), 0x04090409u);
    HKL other = reinterpret_cast<HKL>(uintptr_t(0x04070407));
    EXPECT_EQ(ActivateKeyboardLayout(other, 0), other);
    EXPECT_EQ(uintptr_t(GetKeyboardLayout(0)), 0x04090409u) << "the layout stays US";
}

TEST(Keyboard, KeyStateFollowsTheRecordsRead) {
    const SHORT down = SHORT(0x8000);
    struct Case {
        const char* what;
        std::vector<INPUT_RECORD> records;
        int key;
        SHORT state;
    };
    const Case cases[] = {
        {"Shift with a shifted key", {Key('A', u'A', TRUE, SHIFT_PRESSED)}, VK_SHIFT, down},
        {"a key record without Shift clears it, whatever the terminal holds",
         {Key('A', u'A', TRUE, SHIFT_PRESSED), Key('B', u'b', TRUE)}, VK_LSHIFT, 0},
        {"right Ctrl answers for the left one too", {Key('A', 1, TRUE, RIGHT_CTRL_PRESSED)},
         VK_LCONTROL, down},
        {"Alt", {Key('X', u'x', TRUE, LEFT_ALT_PRESSED)}, VK_RMENU, down},
        {"Num Lock on is 1", {Key('A', u'a', TRUE, NUMLOCK_ON)}, VK_NUMLOCK, 1},
        {"Caps Lock off is 0", {Key('A', u'a', TRUE, NUMLOCK_ON)}, VK_CAPITAL, 0},
        {"the key held down", {Key(VK_F5, 0, TRUE)}, VK_F5, down},
        {"released", {Key(VK_F5, 0, TRUE), Key(VK_F5, 0, FALSE)}, VK_F5, 0},
        {"another key is not held", {Key(VK_F5, 0, TRUE)}, VK_F6, 0},
    };
    for (const Case& c : cases) {
        Put({Key(VK_F9, 0, TRUE), Key(VK_F9, 0, FALSE)}); // a neutral start
        ReadAll();
        Put(c.records);
        ReadAll();
        EXPECT_EQ(GetKeyState(c.key), c.state) << c.what;
        EXPECT_EQ(GetAsyncKeyState(c.key), SHORT(c.state & down)) << c.what;
    }
}

TEST(Keyboard, GetchReadsKeysTheDosWay) {
    const DWORD enh = ENHANCED_KEY;
    INPUT_RECORD mouse = {};
    mouse.EventType = MOUSE_EVENT;
    struct Case {
        const char* what;
        std::vector<INPUT_RECORD> records;
        std::vector<int> bytes;
    };
    const Case cases[] = {
        {"a letter", {Key('A', u'a', TRUE), Key('A', u'a', FALSE)}, {97}},
        {"Enter", {Key(VK_RETURN, 13, TRUE)}, {13}},
        {"the Up arrow, enhanced", {Key(VK_UP, 0, TRUE, enh)}, {224, 72}},
        {"Up on the numeric pad", {Key(VK_UP, 0, TRUE)}, {0, 72}},
        {"F1", {Key(VK_F1, 0, TRUE)}, {0, 59}},
        {"F10", {Key(VK_F10, 0, TRUE)}, {0, 68}},
        {"F12", {Key(VK_F12, 0, TRUE)}, {224, 134}},
        {"Delete", {Key(VK_DELETE, 0, TRUE, enh)}, {224, 83}},
        {"e acute as its code page 437 byte", {Key(VK_PACKET, 0x00E9, TRUE)}, {0x82}},
        {"key ups, mouse events and Shift alone are skipped",
         {Key('A', u'a', FALSE), mouse, Key(VK_SHIFT, 0, TRUE, SHIFT_PRESSED), Key('B', u'b', TRUE)},
         {98}},
        {"a character code page 437 lacks is skipped, not read as an extended prefix",
         {Key(VK_PACKET, 0x20AC, TRUE), Key('B', u'b', TRUE)}, {98}},
        {"so are CJK characters", {Key(VK_PACKET, 0x4E2D, TRUE), Key('C', u'c', TRUE)}, {99}},
        {"and surrogate halves",
         {Key(VK_PACKET, 0xD83D, TRUE), Key(VK_PACKET, 0xDE00, TRUE), Key('D', u'd', TRUE)}, {100}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(FlushConsoleInputBuffer(In()));
        Put(c.records);
        std::vector<int> got;
        for (size_t i = 0; i < c.bytes.size(); i++) got.push_back(_getch());
        EXPECT_EQ(got, c.bytes) << c.what;
        EXPECT_EQ(_kbhit(), 0) << c.what << ": nothing left over";
    }
}

TEST(Keyboard, KbhitSaysWhetherGetchWouldReturn) {
    struct Case {
        const char* what;
        std::vector<INPUT_RECORD> records;
        int hit;
    };
    const Case cases[] = {
        {"nothing queued", {}, 0},
        {"only a key up", {Key('A', u'a', FALSE)}, 0},
        {"Shift alone", {Key(VK_SHIFT, 0, TRUE, SHIFT_PRESSED)}, 0},
        {"only a character _getch skips", {Key(VK_PACKET, 0x20AC, TRUE)}, 0},
        {"a key behind records it skips", {Key('A', u'a', FALSE), Key('Z', u'z', TRUE)}, 1},
        {"an extended key", {Key(VK_F1, 0, TRUE)}, 1},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(FlushConsoleInputBuffer(In()));
        if (!c.records.empty()) Put(c.records);
        EXPECT_EQ(_kbhit(), c.hit) << c.what;
        DWORD n = 0;
        INPUT_RECORD r[4];
        ASSERT_TRUE(PeekConsoleInputA(In(), r, 4, &n));
        EXPECT_EQ(n, c.records.size()) << c.what << ": nothing removed";
    }
    ASSERT_TRUE(FlushConsoleInputBuffer(In()));
    Put({Key(VK_F1, 0, TRUE)});
    EXPECT_EQ(_getch(), 0);
    EXPECT_EQ(_kbhit(), 1) << "the second byte waits";
    EXPECT_EQ(_getch(), 59);
    EXPECT_EQ(_kbhit(), 0);
}

} // namespace
