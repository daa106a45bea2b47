// The key reader with input records written to the test process's own
// console: the key codes and flags of every family of keys, the Num Lock
// keypad, Alt + keypad composition in decimal and hexadecimal, AltGr, the
// modifier menus, mouse clicks with their positions, size changes, the keys
// the companion program takes, and the queued keys: the push-back stack,
// macros with their control codes, loops, repeats, pauses and type-ahead.
#include "platform_fixture.h"
#include "main/window_state.h"
#include "menu/macros.h"
#include "menu/qaap.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/progress.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using qtest::ConsoleText;
using qtest::Key;
using qtest::MenuRecord;
using qtest::Mouse;
using qtest::Pending;
using qtest::Put;
using qtest::SizeRecord;
using qtest::Tap;

using KeyboardTest = qtest::PlatformTest;

constexpr DWORD SHIFT = SHIFT_PRESSED;
constexpr DWORD LCTRL = LEFT_CTRL_PRESSED;
constexpr DWORD RCTRL = RIGHT_CTRL_PRESSED;
constexpr DWORD LALT = LEFT_ALT_PRESSED;
constexpr DWORD RALT = RIGHT_ALT_PRESSED;
constexpr DWORD CAPS = CAPSLOCK_ON;
constexpr DWORD NUM = NUMLOCK_ON;
constexpr DWORD ENH = ENHANCED_KEY;
constexpr DWORD kNoFlags = 0xFFFFFFFF;

// The US keyboard's set-1 scan codes of the keys the tables use.
WORD ScanOf(WORD vk) {
    switch (vk) {
    case VK_ESCAPE:
        return 0x01;
    case VK_BACK:
        return 0x0E;
    case VK_TAB:
        return 0x0F;
    case VK_RETURN:
        return 0x1C;
    case VK_SPACE:
        return 0x39;
    case VK_PRIOR:
        return 0x49;
    case VK_NEXT:
        return 0x51;
    case VK_UP:
        return 0x48;
    case VK_DOWN:
        return 0x50;
    case VK_LEFT:
        return 0x4B;
    case VK_RIGHT:
        return 0x4D;
    case VK_INSERT:
        return 0x52;
    case VK_DELETE:
        return 0x53;
    case VK_MULTIPLY:
        return 0x37;
    case VK_ADD:
        return 0x4E;
    case VK_SUBTRACT:
        return 0x4A;
    case VK_OEM_1:
        return 0x27;
    case VK_OEM_4:
        return 0x1A;
    case VK_OEM_5:
        return 0x2B;
    case VK_OEM_6:
        return 0x1B;
    case VK_OEM_PERIOD:
        return 0x34;
    case '0':
        return 0x0B;
    case '8':
        return 0x09;
    case 'A':
        return 0x1E;
    case 'E':
        return 0x12;
    case 'Q':
        return 0x10;
    case 'X':
        return 0x2D;
    default:
        return vk >= VK_F1 && vk <= VK_F10 ? WORD(0x3B + vk - VK_F1)
                                           : WORD(vk == VK_F12 ? 0x58 : 0);
    }
}

// A key press as the console reports it, and its release.
std::vector<INPUT_RECORD> Press(WORD vk, WCHAR ch, DWORD state) {
    return Tap(vk, ScanOf(vk), ch, state);
}

KeyCode ReadEx(DWORD* flags = nullptr) {
    DWORD f = 0;
    const KeyCode key = KbdGetKeyEx(TRUE, &f);
    if (flags) *flags = f;
    return key;
}

struct Row {
    const char* what;
    WORD vk;
    WCHAR ch;
    DWORD state;
    KeyCode code;
    DWORD flags;
};

void RunRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        FlushConsoleInputBuffer(gConIn);
        Put(Press(row.vk, row.ch, row.state));
        DWORD flags = 0;
        EXPECT_EQ(ReadEx(&flags), row.code) << row.what;
        if (row.flags != kNoFlags) {
            EXPECT_EQ(flags, row.flags) << row.what;
        }
    }
}

TEST_F(KeyboardTest, EveryFamilyOfKeys) {
    RunRows({
        {"a letter", 'A', u'a', 0, 0x61, 0},
        {"Shift makes the capital", 'A', u'A', SHIFT, 0x41, SHIFT | 0x200},
        {"Caps Lock too", 'A', u'A', CAPS, 0x41, CAPS},
        {"Tab", VK_TAB, 9, 0, 9, 0},
        {"Shift+Tab", VK_TAB, 9, SHIFT, 0x209, kNoFlags},
        {"Ctrl+Tab", VK_TAB, 9, LCTRL, 0x409, LCTRL},
        {"Ctrl+Shift+Tab", VK_TAB, 9, LCTRL | SHIFT, 0x609, kNoFlags},
        {"Backspace", VK_BACK, 8, 0, 8, kNoFlags},
        {"Shift+Backspace", VK_BACK, 8, SHIFT, 0x208, kNoFlags},
        {"Ctrl+Backspace", VK_BACK, 127, LCTRL, 0x408, kNoFlags},
        {"Enter", VK_RETURN, 13, 0, 13, kNoFlags},
        {"Shift+Enter", VK_RETURN, 13, SHIFT, 0x20D, kNoFlags},
        {"Ctrl+Enter", VK_RETURN, 10, LCTRL, 0x40D, kNoFlags},
        {"Esc", VK_ESCAPE, 27, 0, 27, kNoFlags},
        {"Shift+Esc", VK_ESCAPE, 27, SHIFT, 0x21B, kNoFlags},
        {"Space", VK_SPACE, u' ', 0, 0x20, kNoFlags},
        {"Ctrl+Space", VK_SPACE, u' ', LCTRL, 0x420, kNoFlags},
        {"F1", VK_F1, 0, 0, 368, 0},
        {"Shift+F1", VK_F1, 0, SHIFT, 0x270, kNoFlags},
        {"Ctrl+F1", VK_F1, 0, LCTRL, 0x470, kNoFlags},
        {"Alt+F1", VK_F1, 0, LALT, 0x870, kNoFlags},
        {"F12", VK_F12, 0, 0, 0x17B, kNoFlags},
        {"PgUp, a grey key", VK_PRIOR, 0, ENH, 0x121, ENH},
        {"Shift+PgUp keeps the 0x100", VK_PRIOR, 0, ENH | SHIFT, 0x321, kNoFlags},
        {"Ctrl+PgUp", VK_PRIOR, 0, ENH | LCTRL, 0x421, kNoFlags},
        {"Up", VK_UP, 0, ENH, 0x126, kNoFlags},
        {"Shift+Up", VK_UP, 0, ENH | SHIFT, 0x326, kNoFlags},
        {"Ctrl+Up", VK_UP, 0, ENH | LCTRL, 0x426, kNoFlags},
        {"Alt+Up", VK_UP, 0, ENH | LALT, 0x826, kNoFlags},
        {"Alt+Down stays itself for the window loops", VK_DOWN, 0, ENH | LALT, 0x828, kNoFlags},
        {"Ctrl+Shift+Left", VK_LEFT, 0, ENH | LCTRL | SHIFT, 0x625, kNoFlags},
        {"Ctrl+Shift+Right", VK_RIGHT, 0, ENH | LCTRL | SHIFT, 0x627, kNoFlags},
        {"Ins", VK_INSERT, 0, ENH, 0x12D, kNoFlags},
        {"Shift+Ins", VK_INSERT, 0, ENH | SHIFT, 0x32D, kNoFlags},
        {"Del", VK_DELETE, 0, ENH, 0x12E, kNoFlags},
        {"Ctrl+Del", VK_DELETE, 0, ENH | LCTRL, 0x42E, kNoFlags},
        {"Ctrl+A", 'A', 1, LCTRL, 0x441, LCTRL},
        {"Ctrl+A with Caps Lock", 'A', 1, LCTRL | CAPS, 0x441, kNoFlags},
        {"Ctrl+Shift+A is Ctrl+A", 'A', 1, LCTRL | SHIFT, 0x441, kNoFlags},
        {"Ctrl+Shift+Q has a code of its own", 'Q', 17, LCTRL | SHIFT, 0x651, kNoFlags},
        {"right Ctrl", 'A', 1, RCTRL, 0x441, kNoFlags},
        {"Alt+X", 'X', u'x', LALT, 0x858, LALT},
        {"right Alt on a layout without AltGr", 'X', u'x', RALT, 0x858, kNoFlags},
        {"Alt+Shift+X", 'X', u'X', LALT | SHIFT, 0xA58, kNoFlags},
        {"Ctrl+Alt+X, with the control character a terminal sends", 'X', 0x18, LALT | LCTRL, 0xC58,
         kNoFlags},
        {"Ctrl+0", '0', 0, LCTRL, 0x430, kNoFlags},
        {"Alt+0 on the top row", '0', u'0', LALT, 0x830, kNoFlags},
        {"Ctrl+\\", VK_OEM_5, 28, LCTRL, 0x41C, kNoFlags},
        {"Alt+\\", VK_OEM_5, u'\\', LALT, 0x8DC, kNoFlags},
        {"Ctrl+[", VK_OEM_4, 27, LCTRL, 0x4DB, kNoFlags},
        {"Ctrl+]", VK_OEM_6, 29, LCTRL, 0x4DD, kNoFlags},
        {"Alt+;", VK_OEM_1, u';', LALT, 0x8BA, kNoFlags},
        {"Alt+.", VK_OEM_PERIOD, u'.', LALT, 0x8BE, kNoFlags},
        {"Alt+[", VK_OEM_4, u'[', LALT, 0x8DB, kNoFlags},
        {"a Windows key gives nothing", VK_LWIN, 0, 0, 0, kNoFlags},
        {"keypad *", VK_MULTIPLY, u'*', NUM, u'*', NUM | 0x100},
        {"keypad +", VK_ADD, u'+', NUM, u'+', NUM | 0x100},
        {"Shift+keypad -", VK_SUBTRACT, u'-', NUM | SHIFT, 0x26D, NUM | SHIFT | 0x300},
        {"a character no key types", VK_PACKET, 0xE9, 0, 0xE9, kNoFlags},
    });
    // The keypad slash that reports the minus key's code.
    FlushConsoleInputBuffer(gConIn);
    Put(Tap(VK_OEM_MINUS, 0x35, u'-', ENH));
    EXPECT_EQ(ReadEx(), u'/');
    // Shift+keypad - in autoview stays a minus.
    gWindowMode = WM_AUTOVIEW;
    Put(Press(VK_SUBTRACT, u'-', NUM | SHIFT));
    EXPECT_EQ(ReadEx(), u'-');
}

TEST_F(KeyboardTest, PromptReaderNormalisesAltBrackets) {
    const struct {
        const char* what;
        WORD vk;
        WCHAR ch;
        DWORD state;
        KeyCode code;
    } kCases[] = {
        {"Alt+Down reads as Alt+[", VK_DOWN, 0, ENH | LALT, 0x8DB},
        {"Ctrl+Alt+[ reads as Alt+[", VK_OEM_4, 0, LCTRL | LALT, 0x8DB},
        {"Ctrl+Alt+] reads as Alt+]", VK_OEM_6, 0, LCTRL | LALT, 0x8DD},
        {"Alt+Up is left alone", VK_UP, 0, ENH | LALT, 0x826},
    };
    for (const auto& c : kCases) {
        Put(Press(c.vk, c.ch, c.state));
        EXPECT_EQ(KbdGetKey(FALSE, FALSE), c.code) << c.what;
    }
    Put(Press('Q', u'q', 0));
    EXPECT_EQ(KbdGetKey(FALSE, TRUE), u'Q') << "upper-cased on request";
    Put(Press('Q', u'q', 0));
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), u'q');
    EXPECT_EQ(gLastChar.load(), u'q');
    Put(Press(VK_F1, 0, 0));
    KbdGetKey(FALSE, FALSE);
    EXPECT_EQ(gLastChar.load(), 0) << "cleared by a key that is no character";
}

TEST_F(KeyboardTest, NumLockKeypad) {
    const struct {
        const char* what;
        WORD vk, scan;
        WCHAR ch;
        DWORD state;
        BOOL editing;
        KeyCode code;
    } kCases[] = {
        {"keypad 8 moves up", VK_NUMPAD8, 0x48, u'8', NUM, FALSE, 0x126},
        {"keypad 8 while a line is edited types 8", VK_NUMPAD8, 0x48, u'8', NUM, TRUE, u'8'},
        {"keypad 1 is End", VK_NUMPAD1, 0x4F, u'1', NUM, FALSE, 0x123},
        {"keypad 5 is NUM5", VK_NUMPAD5, 0x4C, u'5', NUM, FALSE, 0x10C},
        {"keypad 0 stays 0", VK_NUMPAD0, 0x52, u'0', NUM, FALSE, u'0'},
        {"Shift+keypad 8 reports Up: SH_NUM8", VK_UP, 0x48, 0, NUM, FALSE, 0x226},
        {"Shift+keypad 1: SH_NUM1", VK_END, 0x4F, 0, NUM, FALSE, 0x223},
        {"Shift+keypad 5: SH_NUM5", VK_CLEAR, 0x4C, 0, NUM, FALSE, 0x20C},
        {"Shift+keypad 0: SH_NUM_INS", VK_INSERT, 0x52, 0, NUM, FALSE, 0x22D},
        {"keypad 8 without Num Lock", VK_UP, 0x48, 0, 0, FALSE, 0x126},
        {"Ctrl+keypad 5 is Ctrl+5", VK_NUMPAD5, 0x4C, 0, NUM | LCTRL, FALSE, 0x435},
        {"the grey Up is no keypad key", VK_UP, 0x48, 0, NUM | ENH, FALSE, 0x126},
        {"the top-row 8 is a digit", '8', 0x09, u'8', NUM, FALSE, u'8'},
    };
    for (const auto& c : kCases) {
        FlushConsoleInputBuffer(gConIn);
        gTextCursor = c.editing;
        Put(Tap(c.vk, c.scan, c.ch, c.state));
        EXPECT_EQ(ReadEx(), c.code) << c.what;
    }
    gTextCursor = FALSE;
}

// Alt pressed, keys pressed and released with Alt held, Alt released.
std::vector<INPUT_RECORD> WithAlt(const std::vector<std::vector<INPUT_RECORD>>& keys) {
    std::vector<INPUT_RECORD> records = {Key(VK_MENU, 0x38, 0, LALT)};
    for (const auto& k : keys)
        records.insert(records.end(), k.begin(), k.end());
    records.push_back(Key(VK_MENU, 0x38, 0, 0, FALSE));
    return records;
}

std::vector<INPUT_RECORD> Pad(char key) {
    static const struct {
        char key;
        WORD vk, scan;
    } kPad[] = {{'0', VK_NUMPAD0, 0x52}, {'1', VK_NUMPAD1, 0x4F}, {'2', VK_NUMPAD2, 0x50},
                {'3', VK_NUMPAD3, 0x51}, {'4', VK_NUMPAD4, 0x4B}, {'5', VK_NUMPAD5, 0x4C},
                {'6', VK_NUMPAD6, 0x4D}, {'7', VK_NUMPAD7, 0x47}, {'8', VK_NUMPAD8, 0x48},
                {'9', VK_NUMPAD9, 0x49}, {'+', VK_ADD, 0x4E}};
    for (const auto& p : kPad)
        if (p.key == key) return Tap(p.vk, p.scan, 0, LALT | NUM);
    return {};
}

std::vector<INPUT_RECORD> Letter(char c) {
    const WORD vk = WORD(c >= 'a' ? c - 32 : c);
    return Tap(vk, 0, WCHAR(c), LALT);
}

TEST_F(KeyboardTest, AltKeypadComposition) {
    const struct {
        const char* what;
        std::vector<std::vector<INPUT_RECORD>> keys;
        KeyCode code;
    } kCases[] = {
        {"130 is a code page 437 byte: e acute", {Pad('1'), Pad('3'), Pad('0')}, 0xE9},
        {"0233 with a leading 0 is Unicode", {Pad('0'), Pad('2'), Pad('3'), Pad('3')}, 0xE9},
        {"65 is A", {Pad('6'), Pad('5')}, u'A'},
        {"a fifth digit starts over",
         {Pad('1'), Pad('2'), Pad('3'), Pad('4'), Pad('6'), Pad('5')},
         u'A'},
        {"a number of 256 or more is Unicode", {Pad('9'), Pad('7'), Pad('3'), Pad('1')}, 0x2603},
        {"keypad + switches to hexadecimal",
         {Pad('+'), Pad('2'), Pad('5'), Pad('0'), Pad('0')},
         0x2500},
        {"hexadecimal takes letters", {Pad('+'), Letter('e'), Pad('9')}, 0xE9},
        {"u after a digit switches to hexadecimal",
         {Pad('0'), Letter('u'), Pad('2'), Pad('5'), Pad('0'), Pad('0')},
         0x2500},
        {"a letter with Alt is an Alt key", {Letter('x')}, 0x858},
        {"u alone with Alt is Alt+U", {Letter('u')}, 0x855},
    };
    for (const auto& c : kCases) {
        FlushConsoleInputBuffer(gConIn);
        Put(WithAlt(c.keys));
        EXPECT_EQ(KbdReadChar(), c.code) << c.what;
    }
    // The keypad Up without Num Lock as the first key is Alt+Up, not a digit.
    FlushConsoleInputBuffer(gConIn);
    Put(WithAlt({Tap(VK_UP, 0x48, 0, LALT)}));
    EXPECT_EQ(KbdReadChar(), 0x826);
    // The window loops' reader composes too; Alt's press shows the Alt menu
    // first, and its release takes it down.
    FlushConsoleInputBuffer(gConIn);
    Put(WithAlt({Pad('1'), Pad('3'), Pad('0')}));
    EXPECT_EQ(ReadEx(), 0);
    EXPECT_EQ(gMenuModifier, 2);
    EXPECT_EQ(ReadEx(), 0xE9);
    EXPECT_EQ(gMenuModifier, 0);
}

TEST_F(KeyboardTest, KeypadDigitsByScanCode) {
    const struct {
        WORD scan;
        WCHAR ch;
        BOOL hex;
        int digit;
    } kCases[] = {
        {0x47, 0, FALSE, 7},    {0x48, 0, FALSE, 8},      {0x49, 0, FALSE, 9},
        {0x4B, 0, FALSE, 4},    {0x4C, 0, FALSE, 5},      {0x4D, 0, FALSE, 6},
        {0x4F, 0, FALSE, 1},    {0x50, 0, FALSE, 2},      {0x51, 0, FALSE, 3},
        {0x52, 0, FALSE, 0},    {0x4E, 0, FALSE, 117},    {0x52, 0, TRUE, '0'},
        {0x49, 0, TRUE, '9'},   {0x12, u'e', TRUE, u'e'}, {0x12, u'e', FALSE, -1},
        {0x22, u'g', TRUE, -1}, {0x02, u'1', FALSE, -1},  {0x02, u'1', TRUE, u'1'},
    };
    for (const auto& c : kCases) {
        const INPUT_RECORD r = Key(0, c.scan, c.ch, LALT);
        EXPECT_EQ(KbdKeypadDigit(&r.Event.KeyEvent, c.hex), c.digit)
            << "scan 0x" << std::hex << c.scan << (c.hex ? " in hex" : "");
    }
}

TEST_F(KeyboardTest, AltGrLayout) {
    gAltGrLayout = TRUE;
    const struct {
        const char* what;
        WORD vk;
        WCHAR ch;
        DWORD state;
        KeyCode code;
    } kCases[] = {
        {"AltGr+E gives the euro sign", 'E', 0x20AC, RALT | LCTRL, 0x20AC},
        {"AltGr with a character of the base layout", 'Q', u'@', RALT | LCTRL, u'@'},
        {"left Alt is still Alt", 'E', u'e', LALT, 0x845},
        {"left Alt with AltGr held is Alt", 'E', 0, LALT | RALT | LCTRL, 0x845},
    };
    for (const auto& c : kCases) {
        FlushConsoleInputBuffer(gConIn);
        Put(Press(c.vk, c.ch, c.state));
        EXPECT_EQ(ReadEx(), c.code) << c.what;
    }
    Put(Press('E', 0x20AC, RALT | LCTRL));
    ReadEx();
    EXPECT_EQ(gLastChar.load(), 0x20AC) << "a typed character";
    // Right Alt pressed alone on an AltGr layout shows no Alt menu.
    Put({Key(VK_MENU, 0x38, 0, RALT | LCTRL | ENH)});
    Put(Press('X', u'x', 0));
    EXPECT_EQ(ReadEx(), u'x');
    EXPECT_EQ(gMenuModifier, 0);
}

TEST_F(KeyboardTest, ModifierMenus) {
    struct Case {
        const char* what;
        std::function<void()> setup;
        std::vector<INPUT_RECORD> records;
        KeyCode code;
        WORD menu;
    };
    const Case kCases[] = {
        {"Ctrl alone shows the Ctrl menu", [] {}, {Key(VK_CONTROL, 0x1D, 0, LCTRL)}, 0, 1},
        {"right Ctrl alone", [] {}, {Key(VK_CONTROL, 0x1D, 0, RCTRL | ENH)}, 0, 1},
        {"Alt alone shows the Alt menu", [] {}, {Key(VK_MENU, 0x38, 0, LALT)}, 0, 2},
        {"Shift alone does nothing in the tree",
         [] {},
         {Key(VK_SHIFT, 0x2A, 0, SHIFT), Key('X', 0x2D, u'x', 0)},
         u'x',
         0},
        {"Shift alone shows the Shift menu in the viewer",
         [] { gWindowMode = WM_VIEWER; },
         {Key(VK_SHIFT, 0x2A, 0, SHIFT)},
         0,
         3},
        {"nothing while busy",
         [] { SetBusy(1); },
         {Key(VK_CONTROL, 0x1D, 0, LCTRL), Key('X', 0x2D, u'x', 0)},
         u'x',
         0},
        {"nothing in the line editor",
         [] { gWindowMode = WM_LINE_EDITOR; },
         {Key(VK_CONTROL, 0x1D, 0, LCTRL), Key('X', 0x2D, u'x', 0)},
         u'x',
         0},
        {"nothing under the directory picker",
         [] { gPickerActive = 1; },
         {Key(VK_MENU, 0x38, 0, LALT), Key('X', 0x2D, u'x', 0)},
         u'x',
         0},
        {"nothing when the viewer switched the menus off",
         [] { gModifierMenusOff = TRUE; },
         {Key(VK_CONTROL, 0x1D, 0, LCTRL), Key('X', 0x2D, u'x', 0)},
         u'x',
         0},
        {"a key pressed while the Alt menu is up counts as Alt",
         [] { ShowCommandMenu(2, 1); },
         {Key('X', 0x2D, u'x', 0)},
         0x858,
         0},
        {"a key pressed while the Ctrl menu is up counts as Ctrl",
         [] { ShowCommandMenu(1, 1); },
         {Key('B', 0x30, u'b', 0)},
         0x442,
         0},
        {"Esc in the Shift menu only closes it",
         [] {
             gWindowMode = WM_VIEWER;
             ShowCommandMenu(3, 1);
         },
         {Key(VK_ESCAPE, 0x01, 27, 0)},
         0,
         0},
        {"F4 is not taken into the menu",
         [] { ShowCommandMenu(2, 1); },
         {Key(VK_F4, 0x3E, 0, 0)},
         0x173,
         2},
        {"a focus change takes the Alt menu down",
         [] { ShowCommandMenu(2, 1); },
         {[] {
              INPUT_RECORD r = {};
              r.EventType = FOCUS_EVENT;
              return r;
          }(),
          Key('X', 0x2D, u'x', 0)},
         u'x',
         0},
        {"a menu event takes the Alt menu down",
         [] { ShowCommandMenu(2, 1); },
         {MenuRecord(7), Key('X', 0x2D, u'x', 0)},
         u'x',
         0},
        {"the program's own wake-up event changes nothing",
         [] { ShowCommandMenu(2, 1); },
         {MenuRecord(CONSOLE_WAKEUP_MARKER), Key('X', 0x2D, u'x', 0)},
         0x858,
         0},
    };
    for (const Case& c : kCases) {
        FlushConsoleInputBuffer(gConIn);
        gWindowMode = WM_TREE;
        gPickerActive = 0;
        gModifierMenusOff = FALSE;
        ShowCommandMenu(0, 1);
        c.setup();
        Put(c.records);
        EXPECT_EQ(ReadEx(), c.code) << c.what;
        if (gBusyFlag) SetBusy(0);
        EXPECT_EQ(gMenuModifier, c.menu) << c.what;
    }
    // Releasing the modifier takes its menu down again.
    gWindowMode = WM_TREE;
    Put({Key(VK_CONTROL, 0x1D, 0, LCTRL), Key(VK_CONTROL, 0x1D, 0, 0, FALSE)});
    EXPECT_EQ(ReadEx(), 0);
    EXPECT_EQ(gMenuModifier, 1);
    EXPECT_EQ(ReadEx(), 0);
    EXPECT_EQ(gMenuModifier, 0);
    // Ctrl pressed while Up is held is Ctrl+Up.
    Put({Key(VK_UP, 0x48, 0, ENH), Key(VK_CONTROL, 0x1D, 0, LCTRL)});
    EXPECT_EQ(ReadEx(), 0x126);
    EXPECT_EQ(ReadEx(), 0x426);
}

TEST_F(KeyboardTest, MouseClicksAndTheirPositions) {
    HotText(gBottomRow, 10, 0, 1, u'v', u"View");
    struct Case {
        const char* what;
        std::function<void()> setup;
        std::vector<INPUT_RECORD> records;
        KeyCode code;
        DWORD flags;
    };
    const DWORD left = FROM_LEFT_1ST_BUTTON_PRESSED;
    const DWORD right = RIGHTMOST_BUTTON_PRESSED;
    const Case kCases[] = {
        {"a tree row", [] {}, {Mouse(10, 5, left, 0)}, 4117, 10u << 16 | 5},
        {"with Shift", [] {}, {Mouse(10, 5, left, 0, SHIFT)}, 4117, 10u << 16 | 5 | 0x200},
        {"a key hint", [] {}, {Mouse(11, 24, left, 0)}, u'v', 11u << 16 | 24},
        {"the middle button is Enter",
         [] {},
         {Mouse(3, 3, FROM_LEFT_2ND_BUTTON_PRESSED, 0)},
         13,
         3u << 16 | 3},
        {"the wheel forward in the tree",
         [] {},
         {Mouse(3, 3, 0x00780000, MOUSE_WHEELED)},
         0x126,
         kNoFlags},
        {"the wheel backward with Shift",
         [] {},
         {Mouse(3, 3, 0xFF880000, MOUSE_WHEELED, SHIFT)},
         0x122,
         kNoFlags},
        {"a mere move is no key",
         [] {},
         {Mouse(3, 3, 0, MOUSE_MOVED), Key('X', 0x2D, u'x', 0)},
         u'x',
         0},
        {"no mouse when it is switched off",
         [] { SessionSwitches.mouse = FALSE; },
         {Mouse(10, 5, left, 0), Key('X', 0x2D, u'x', 0)},
         u'x',
         0},
        {"the other half of a split screen is Tab, marked",
         [] { gSplitScreen = 1; },
         {Mouse(60, 5, left, 0)},
         9,
         (60u << 16 | 5) + 0xF0000000u},
        {"above the file area of the file window",
         [] {
             gWindowMode = WM_FILE;
             gPanes[0].FileAreaRow = 2;
         },
         {Mouse(10, 1, left, 0)},
         4138,
         kNoFlags},
        {"below the file area of the file window",
         [] { gWindowMode = WM_FILE; },
         {Mouse(10, 21, left, 0)},
         4139,
         kNoFlags},
        {"a row of the small file window counts from its top",
         [] {
             gWindowMode = WM_FILE;
             gPanes[0].SmallFileWindow = 1;
         },
         {Mouse(7, 19, left, 0)},
         4117,
         7u << 16 | (19 - 17 + 2)},
        {"above the small file window the tree row before it",
         [] {
             gWindowMode = WM_FILE;
             gPanes[0].SmallFileWindow = 1;
             gPanes[0].FileAreaRow = 17;
         },
         {Mouse(7, 10, left, 0)},
         27,
         7u << 16 | 16},
        {"a right click on a file row",
         [] { gWindowMode = WM_FILE; },
         {Mouse(7, 6, right, 0), Key('X', 0x2D, u'x', 0)},
         14,
         7u << 16 | 6},
    };
    for (const Case& c : kCases) {
        FlushConsoleInputBuffer(gConIn);
        gWindowMode = WM_TREE;
        gSplitScreen = 0;
        gPanes[0] = PaneState{};
        SessionSwitches.mouse = TRUE;
        c.setup();
        Put(c.records);
        DWORD flags = 0;
        EXPECT_EQ(ReadEx(&flags), c.code) << c.what;
        if (c.flags != kNoFlags) {
            EXPECT_EQ(flags, c.flags) << c.what;
        }
    }
    SessionSwitches.mouse = TRUE;
}

TEST_F(KeyboardTest, RightDoubleClickIsWaitedForAndDropped) {
    gWindowMode = WM_FILE;
    const DWORD right = RIGHTMOST_BUTTON_PRESSED;
    Put({Mouse(7, 6, right, 0), Mouse(7, 6, 0, 0), Mouse(7, 6, right, 0),
         Mouse(7, 6, right, DOUBLE_CLICK), Key('Z', 0x2C, u'z', 0)});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadEx(), 14);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
    // The release, the second press and the double click are gone.
    EXPECT_EQ(ReadEx(), u'z');
}

TEST_F(KeyboardTest, SizeChangesBecomeTheResizeKey) {
    // A pending resize with the terminal reporting a size other than the
    // screen's: the terminal's size is applied.
    ScrSetupLayout(43, 96, 1);
    gResizePending = TRUE;
    Put({SizeRecord(80, 25)});
    EXPECT_EQ(ReadEx(), KC_RESIZED);
    EXPECT_EQ(gScreenRows, 25);
    EXPECT_EQ(gScreenCols, 80);
    EXPECT_EQ(gMessageRow, 22);
    EXPECT_FALSE(gResizePending.load());

    // The same size again: no resize.
    gResizePending = TRUE;
    Put({SizeRecord(80, 25), Key('X', 0x2D, u'x', 0)});
    EXPECT_EQ(ReadEx(), u'x');
    gResizePending = FALSE;

    // A key read together with a resize is kept for the next read.
    ScrSetupLayout(43, 96, 1);
    gResizePending = TRUE;
    Put({Key('K', 0x25, u'k', 0), Key('Z', 0x2C, u'z', 0)});
    EXPECT_EQ(ReadEx(), KC_RESIZED);
    ASSERT_EQ(ReadEx(), u'k');
    EXPECT_EQ(ReadEx(), u'z');

    // The clock thread's look at the input never resizes.
    ScrSetupLayout(43, 96, 1);
    gResizePending = TRUE;
    Put({Key('X', 0x2D, u'x', 0)});
    EXPECT_EQ(KbdFlush(TRUE), u'x');
    EXPECT_EQ(gScreenRows, 43);
    gResizePending = FALSE;
    ScrSetupLayout(25, 80, 1);
}

TEST_F(KeyboardTest, TerminalResizeReachesTheWindowLoops) {
    qtest::TestTerminal& terminal = qtest::PlatformTerminal();
    ConsoleTrackWindow();
    // The window loop reads on its own thread while this one plays the
    // clock thread's ticks.
    auto resize = [&](int rows, int columns) {
        KeyCode key = 0;
        std::atomic<bool> done{false};
        std::thread loop([&] {
            while ((key = ReadEx()) == 0) {
            }
            done = true;
        });
        terminal.SetSize(rows, columns);
        terminal.ResizeScreen(rows, columns);
        raise(SIGWINCH);
        for (int i = 0; i < 2000 && !done; i++) {
            ConsoleTrackWindow();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!done) KbdPushKey(u'!'); // wakes the reader for the failure to show
        loop.join();
        return key;
    };
    EXPECT_EQ(resize(30, 100), KC_RESIZED);
    EXPECT_EQ(gScreenRows, 30);
    EXPECT_EQ(gScreenCols, 100);
    EXPECT_EQ(gMessageRow, 27);
    EXPECT_EQ(resize(25, 80), KC_RESIZED);
    EXPECT_EQ(gScreenRows, 25);
    EXPECT_EQ(gScreenCols, 80);
}

// ---- queued keys
// ------------------------------------------------------------------------------------

TEST_F(KeyboardTest, PushedBackKeysComeFirstLastInFirstOut) {
    Put(Press('X', u'x', 0));
    ASSERT_TRUE(KbdStackKey(u'a'));
    ASSERT_TRUE(KbdStackKey(0x321));
    MacroLoadKeys(std::vector<KeyCode>{u'm'}.data(), 1, 0);
    DWORD flags = 0;
    EXPECT_EQ(ReadEx(&flags), 0x321);
    EXPECT_EQ(flags, 0x200u) << "a pushed Shift code carries the Shift flag";
    EXPECT_EQ(ReadEx(&flags), u'a');
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(ReadEx(), u'm') << "then the macro";
    EXPECT_EQ(ReadEx(), u'x') << "then the console";
    for (int i = 0; i < KEY_PUSH_STACK_MAX; i++)
        ASSERT_TRUE(KbdStackKey(i));
    EXPECT_FALSE(KbdStackKey(999)) << "the 257th key is dropped";
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), KEY_PUSH_STACK_MAX - 1);
    KeyPushStack.count = 0;
}

TEST_F(KeyboardTest, MacroKeysAndTheirFlags) {
    ASSERT_EQ(LoadMacro("F7,a,_,NUM+,SH_F1"), 5);
    DWORD flags = 0;
    EXPECT_EQ(ReadEx(&flags), 0x176);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(ReadEx(&flags), u'a');
    EXPECT_EQ(ReadEx(&flags), u'_');
    EXPECT_EQ(flags, 0x200u);
    EXPECT_EQ(ReadEx(&flags), u'+') << "the keypad plus of a macro";
    EXPECT_EQ(flags, 0x100u);
    EXPECT_EQ(ReadEx(&flags), 0x270);
    EXPECT_EQ(flags, 0x200u);
    EXPECT_EQ(MacroKeysLeft(), 0);
    EXPECT_EQ(gMenuRedrawPending, 1u) << "the window loop redraws its menu after a macro";
}

TEST_F(KeyboardTest, StopCodes) {
    struct Case {
        KeyCode code;
        const char* name;
        std::function<void()> holds;  // a state in which the code stops the macro
        std::function<void()> passes; // one in which it does not
    };
    static MACRO_LIST_FACTS facts;
    gMacroListFacts = [](MACRO_LIST_FACTS* f) { *f = facts; };
    auto list = [](BOOL exists, DWORD matching, DWORD tagged) {
        facts = {exists, matching, tagged};
    };
    const Case kCases[] = {
        {KC_STOP_IF_DW, "STOP_IF_DW", [] { gPanes[0].FileWindowOpen = 0; },
         [] { gPanes[0].FileWindowOpen = 1; }},
        {KC_STOP_IF_FW, "STOP_IF_FW", [] { gPanes[0].FileWindowOpen = 1; },
         [] { gPanes[0].FileWindowOpen = 0; }},
        {KC_STOP_IF_MATCH, "STOP_IF_MATCH", [&] { list(TRUE, 3, 0); }, [&] { list(TRUE, 0, 0); }},
        {KC_STOP_IF_NOMATCH, "STOP_IF_NOMATCH",
         [&] {
             gPanes[0].FileWindowOpen = 1;
             list(TRUE, 0, 0);
         },
         [&] {
             gPanes[0].FileWindowOpen = 1;
             list(TRUE, 2, 0);
         }},
        {KC_STOP_IF_TAGS, "STOP_IF_TAGS", [&] { list(TRUE, 1, 4); }, [&] { list(TRUE, 1, 0); }},
        {KC_STOP_IF_NOTAGS, "STOP_IF_NOTAGS", [&] { list(TRUE, 1, 0); },
         [&] { list(FALSE, 0, 0); }},
        {KC_STOP_IF_SPLIT, "STOP_IF_SPLIT", [] { gSplitScreen = 1; }, [] { gSplitScreen = 0; }},
        {KC_STOP_IF_UNSPLIT, "STOP_IF_UNSPLIT", [] { gSplitScreen = 0; }, [] { gSplitScreen = 1; }},
        {KC_STOP_IF_DMODE, "STOP_IF_DMODE", [] { gDirMode[0] = 1; }, [] { gDirMode[0] = 0; }},
        {KC_STOP_IF_FMODE, "STOP_IF_FMODE", [] { gDirMode[0] = 0; }, [] { gDirMode[0] = 1; }},
        {KC_STOP_IF_NOT_VIEWER, "STOP_IF_NOT_VIEWER", [] { gWindowMode = WM_TREE; },
         [] { gWindowMode = WM_VIEWER; }},
    };
    for (const Case& c : kCases) {
        for (bool stops : {true, false}) {
            gPanes[0] = PaneState{};
            gSplitScreen = 0;
            gDirMode[0] = 0;
            gWindowMode = WM_TREE;
            list(FALSE, 0, 0);
            (stops ? c.holds : c.passes)();
            const std::string text = std::string(c.name) + ",x";
            ASSERT_EQ(LoadMacro(text.c_str()), 2);
            FlushConsoleInputBuffer(gConIn);
            Put(Press('Z', u'z', 0));
            EXPECT_EQ(KbdGetKey(FALSE, FALSE), stops ? 0 : u'x')
                << c.name << (stops ? " stops" : " passes");
            EXPECT_EQ(MacroKeysLeft(), 0) << c.name;
            EXPECT_EQ(Pending(), 2) << c.name << ": the console's key is still there";
        }
    }
    gWindowMode = WM_TREE;
}

TEST_F(KeyboardTest, StopFlagsAndLoops) {
    ASSERT_EQ(LoadMacro("STOP_ON_ERROR,STOP_ON_HOME,a"), 3);
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), u'a');
    EXPECT_TRUE(MacroStopFlags.onError);
    EXPECT_TRUE(MacroStopFlags.onHome);
    EXPECT_FALSE(MacroStopFlags.onEnd);

    // A loop marker repeats the keys after it until something stops the
    // macro.
    ASSERT_EQ(LoadMacro("a,WHILE_NOT_END,b,c"), 4);
    std::string got;
    for (int i = 0; i < 7; i++)
        got.push_back(char(KbdGetKey(FALSE, FALSE)));
    EXPECT_EQ(got, "abcbcbc");
    EXPECT_TRUE(MacroStopFlags.onEnd);
    EXPECT_GT(MacroKeysLeft(), 0) << "still looping";
    MacroStop();

    // Esc waiting when the loop runs out ends it, and is taken.
    ASSERT_EQ(LoadMacro("WHILE_NOT_HOME,b"), 2);
    Put(Press(VK_ESCAPE, 27, 0));
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), u'b');
    EXPECT_EQ(MacroKeysLeft(), 0);
    EXPECT_EQ(Pending(), 0);

    // A control code as the macro's last key gives no key at all.
    ASSERT_EQ(LoadMacro("a,BEEP"), 2);
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), u'a');
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), 0);
}

TEST_F(KeyboardTest, RepeatCountRunsTheMacroAgain) {
    ScrPutStr(gBottomRow, 60, "....................", 0x07);
    const KeyCode keys[] = {u'a', u'b'};
    MacroLoadKeys(keys, 2, 3);
    std::string got;
    got.push_back(char(ReadEx()));
    got.push_back(char(ReadEx()));
    EXPECT_EQ(ConsoleText(gBottomRow, gScreenMaxCol - 10, 11), u"          2")
        << "the runs left, while more than one";
    for (int i = 0; i < 4; i++)
        got.push_back(char(ReadEx()));
    EXPECT_EQ(got, "ababab");
    EXPECT_EQ(MacroKeysLeft(), 0);
    // A key typed while the macro ran is not swallowed when it ends.
    MacroLoadKeys(keys, 2, 0);
    Put(Press('X', u'x', 0));
    Put(Press('Y', u'y', 0));
    EXPECT_EQ(ReadEx(), u'a');
    EXPECT_EQ(ReadEx(), u'b');
    EXPECT_EQ(ReadEx(), u'x');
}

TEST_F(KeyboardTest, PauseAsksAndWaitsForAnAnswer) {
    ScrPutStr(gBottomRow, 0, "the command line", gMessageAttr);
    const struct {
        const char* what;
        std::vector<INPUT_RECORD> answer;
        KeyCode next;
    } kCases[] = {
        {"Y goes on", Press('Y', u'y', 0), u'b'},
        {"other keys are not answers",
         [] {
             auto r = Press('Q', u'q', 0);
             auto y = Press('Y', u'Y', SHIFT);
             r.insert(r.end(), y.begin(), y.end());
             return r;
         }(),
         u'b'},
        {"N stops", Press('N', u'n', 0), 0},
        {"Esc stops", Press(VK_ESCAPE, 27, 0), 0},
    };
    for (const auto& c : kCases) {
        FlushConsoleInputBuffer(gConIn);
        ASSERT_EQ(LoadMacro("a,PAUSE,b"), 3);
        Put(c.answer);
        Put(Press('Z', u'z', 0));
        EXPECT_EQ(KbdGetKey(FALSE, FALSE), u'a') << c.what;
        EXPECT_EQ(KbdGetKey(FALSE, FALSE), c.next) << c.what;
        EXPECT_EQ(ConsoleText(gBottomRow, 0, 16), u"the command line") << c.what << ": restored";
        MacroStop();
    }
}

TEST_F(KeyboardTest, SleepWaitsASecond) {
    ASSERT_EQ(LoadMacro("SLEEP,a"), 2);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), u'a');
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(950));
}

TEST_F(KeyboardTest, BusyStateHoldsMacroKeysBack) {
    ASSERT_EQ(LoadMacro("a"), 1);
    Put(Press('Z', u'z', 0));
    SetBusy(1);
    EXPECT_EQ(ReadEx(), u'z') << "the console while busy";
    Put(Press('Z', u'z', 0));
    gMacroKeysWhileBusy = TRUE;
    EXPECT_EQ(ReadEx(), u'a') << "unless the window allows macro keys";
    // The prompt reader lowers the busy state while it waits.
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), u'z');
    EXPECT_EQ(gBusyFlag.load(), 1u);
    SetBusy(0);
}

TEST_F(KeyboardTest, TypeAheadThroughFlush) {
    const struct {
        const char* what;
        std::vector<INPUT_RECORD> records;
        BOOL returnOnly;
        KeyCode result;
        int pendingAfter;
        int typedAhead;
    } kCases[] = {
        {"nothing waiting", {}, FALSE, 0, 0, 0},
        {"a key is kept as typed ahead", Press('X', u'x', 0), FALSE, u'x', 1, 1},
        {"only returned", Press('X', u'x', 0), TRUE, u'x', 1, 0},
        {"Esc empties the input",
         {Key(VK_ESCAPE, 1, 27, 0), Key('X', 0x2D, u'x', 0)},
         FALSE,
         27,
         0,
         0},
        {"Esc with Shift too",
         {Key(VK_ESCAPE, 1, 27, SHIFT), Key('X', 0x2D, u'x', 0)},
         FALSE,
         27,
         0,
         0},
        {"a release is removed", {Key('X', 0x2D, u'x', 0, FALSE)}, FALSE, 0, 0, 0},
        {"a modifier pressed alone is removed, the next key stays",
         {Key(VK_CONTROL, 0x1D, 0, LCTRL), Key('Q', 0x10, u'q', 0)},
         TRUE,
         0,
         1,
         0},
        {"a size record is removed", {SizeRecord(80, 25)}, FALSE, 0, 0, 0},
    };
    for (const auto& c : kCases) {
        FlushConsoleInputBuffer(gConIn);
        TypeAheadDrop();
        gMenuRedrawPending = 0;
        if (!c.records.empty()) Put(c.records);
        EXPECT_EQ(KbdFlush(c.returnOnly), c.result) << c.what;
        EXPECT_EQ(Pending(), c.pendingAfter) << c.what;
        EXPECT_EQ(TypeAheadKeys(), c.typedAhead) << c.what;
        EXPECT_EQ(MacroKeysLeft(), 0) << c.what;
    }
    // Releasing Ctrl asks for the menu to be drawn again.
    FlushConsoleInputBuffer(gConIn);
    gMenuRedrawPending = 0;
    Put({Key(VK_CONTROL, 0x1D, 0, 0, FALSE)});
    EXPECT_EQ(KbdFlush(FALSE), 0);
    EXPECT_EQ(gMenuRedrawPending, 1u);

    // Type-ahead during a macro comes after the macro's keys.
    FlushConsoleInputBuffer(gConIn);
    ASSERT_EQ(LoadMacro("a,b"), 2);
    Put({Key('X', 0x2D, u'x', 0)});
    EXPECT_EQ(KbdFlush(FALSE), u'x');
    std::string got;
    for (int i = 0; i < 3; i++)
        got.push_back(char(ReadEx()));
    EXPECT_EQ(got, "abx");
}

// A key typed ahead while a repeating or looping macro plays is delivered
// once, after the macro; the macro's own keys play unchanged on every pass.
TEST_F(KeyboardTest, TypeAheadNeverBecomesPartOfARepeatingMacro) {
    const KeyCode keys[] = {u'x', u'y'};
    MacroLoadKeys(keys, 2, 3);
    std::string got;
    got.push_back(char(ReadEx()));
    Put({Key('T', 0x14, u't', 0)});
    EXPECT_EQ(KbdFlush(FALSE), u't');
    for (int i = 0; i < 6; i++)
        got.push_back(char(ReadEx()));
    EXPECT_EQ(got, "xyxyxyt") << "three runs of the macro, then the typed key once";
    EXPECT_EQ(MacroKeysLeft(), 0);
    EXPECT_EQ(TypeAheadKeys(), 0);
    Put(Press('Z', u'z', 0));
    EXPECT_EQ(ReadEx(), u'z') << "then the console";

    // In a loop: the keys after the marker repeat without the typed key;
    // when a stop code ends the loop, the typed key comes once.
    FlushConsoleInputBuffer(gConIn);
    ASSERT_EQ(LoadMacro("a,WHILE_NOT_END,b,STOP_IF_SPLIT,c"), 5);
    gSplitScreen = 0;
    got.clear();
    got.push_back(char(ReadEx()));
    Put({Key('T', 0x14, u't', 0)});
    EXPECT_EQ(KbdFlush(FALSE), u't');
    for (int i = 0; i < 6; i++)
        got.push_back(char(ReadEx()));
    gSplitScreen = 1;
    got.push_back(char(ReadEx()));
    EXPECT_EQ(got, "abcbcbcb");
    EXPECT_EQ(ReadEx(), 0) << "the stop code ends the macro";
    EXPECT_EQ(ReadEx(), u't');
    EXPECT_EQ(MacroKeysLeft(), 0);
    EXPECT_EQ(TypeAheadKeys(), 0);

    // A loop ended from outside (a stop flag met an error) keeps the key too.
    ASSERT_EQ(LoadMacro("WHILE_NOT_ERROR,b"), 2);
    Put({Key('T', 0x14, u't', 0)});
    EXPECT_EQ(KbdFlush(FALSE), u't');
    got.clear();
    for (int i = 0; i < 3; i++)
        got.push_back(char(ReadEx()));
    MacroStop();
    got.push_back(char(ReadEx()));
    EXPECT_EQ(got, "bbbt");
    gSplitScreen = 0;
}

TEST_F(KeyboardTest, WaitingForInput) {
    auto elapsed = [](DWORD timeout) {
        const auto start = std::chrono::steady_clock::now();
        const int result = KbdWaitKey(timeout);
        return std::make_pair(result, std::chrono::steady_clock::now() - start);
    };
    auto [none, waited] = elapsed(150);
    EXPECT_EQ(none, 0);
    EXPECT_GE(waited, std::chrono::milliseconds(140));

    Put({Key('X', 0x2D, u'x', 0, FALSE), Mouse(1, 1, 0, MOUSE_MOVED), Key('Y', 0x15, u'y', 0)});
    EXPECT_EQ(KbdWaitKey(1000), 1);
    EXPECT_EQ(Pending(), 1) << "the release and the move are removed";
    FlushConsoleInputBuffer(gConIn);
    Put({Mouse(1, 1, FROM_LEFT_1ST_BUTTON_PRESSED, 0)});
    EXPECT_EQ(KbdWaitKey(0), 1) << "a click";
    FlushConsoleInputBuffer(gConIn);
    Put({SizeRecord(80, 25)});
    EXPECT_EQ(KbdWaitKey(0), 1) << "a size change";
    FlushConsoleInputBuffer(gConIn);
    KbdStackKey(u'q');
    EXPECT_EQ(KbdWaitKey(0), 1) << "a pushed-back key";
    KeyPushStack.count = 0;
}

TEST_F(KeyboardTest, PushedCharactersAndRecording) {
    KbdPushKey(u'x');
    KbdPushKey(0x20AC);
    EXPECT_EQ(ReadEx(), u'x');
    EXPECT_EQ(ReadEx(), 0x20AC);

    // Ctrl+F12 switches recording on and off; the keys in between are
    // recorded and play back the same.
    std::vector<INPUT_RECORD> typed = Press(VK_F12, 0, LCTRL);
    for (const auto& k : {Press(VK_F7, 0, 0), Press('A', u'a', 0), Press('B', u'b', 0),
                          Press(VK_F8, 0, 0), Press(VK_F12, 0, LCTRL)})
        typed.insert(typed.end(), k.begin(), k.end());
    Put(typed);
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), 0);
    EXPECT_TRUE(MacroRecordingActive());
    std::vector<KeyCode> read;
    for (int i = 0; i < 4; i++)
        read.push_back(KbdGetKey(FALSE, FALSE));
    EXPECT_EQ(read, (std::vector<KeyCode>{0x176, u'a', u'b', 0x177}));
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), 0);
    EXPECT_FALSE(MacroRecordingActive());
    const std::string recorded = MacroRecordedText();
    ASSERT_EQ(LoadMacro(recorded.c_str()), 4) << recorded;
    read.clear();
    for (int i = 0; i < 4; i++)
        read.push_back(KbdGetKey(FALSE, FALSE));
    EXPECT_EQ(read, (std::vector<KeyCode>{0x176, u'a', u'b', 0x177}));

    // Alt+F12 in a prompt runs the last macro again.
    Put(Press(VK_F12, 0, LALT));
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), 0);
    EXPECT_EQ(KbdGetKey(FALSE, FALSE), 0x176);
    MacroStop();
}

TEST_F(KeyboardTest, CursorShownOnlyWhileAPromptReads) {
    gTextCursor = FALSE;
    Put(Press('X', u'x', 0));
    EXPECT_EQ(KbdGetKey(TRUE, FALSE), u'x');
    CONSOLE_CURSOR_INFO info = {};
    GetConsoleCursorInfo(gConOut, &info);
    EXPECT_FALSE(info.bVisible) << "hidden again after the read";
    EXPECT_FALSE(gTextCursor.load());
    EXPECT_EQ(ScrSetCursorShape(2), 0);
    EXPECT_EQ(ScrSetCursorShape(1), 2);
    EXPECT_TRUE(gTextCursor.load());
    EXPECT_EQ(ScrSetCursorShape(0), 1);
    CONSOLE_SCREEN_BUFFER_INFO screen = {};
    GetConsoleScreenBufferInfo(gConOut, &screen);
    EXPECT_EQ(screen.dwCursorPosition.X, 79);
    EXPECT_EQ(screen.dwCursorPosition.Y, 22) << "parked in the last column of the message row";
}

TEST_F(KeyboardTest, InputModeFollowsTheMouseSwitch) {
    DWORD mode = 0;
    SessionSwitches.mouse = FALSE;
    KbdSetInputMode();
    ASSERT_TRUE(GetConsoleMode(gConIn, &mode));
    EXPECT_TRUE(mode & ENABLE_WINDOW_INPUT);
    EXPECT_FALSE(mode & (ENABLE_MOUSE_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                         ENABLE_PROCESSED_INPUT));
    SessionSwitches.mouse = TRUE;
    KbdOpen(TRUE);
    ASSERT_TRUE(GetConsoleMode(gConIn, &mode));
    EXPECT_TRUE(mode & ENABLE_MOUSE_INPUT);
    EXPECT_TRUE(mode & ENABLE_WINDOW_INPUT);
    EXPECT_FALSE(mode & (ENABLE_QUICK_EDIT_MODE | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT));
    EXPECT_TRUE(KbdSavedInputMode() & ENABLE_PROCESSED_INPUT)
        << "the mode found first is kept for the end";
    Put(Press('X', u'x', 0));
    EXPECT_EQ(ReadEx(), u'x') << "the reopened input reads";
}

TEST_F(KeyboardTest, CompanionTakesCtrlShiftKeys) {
    gQaapOn = 1;
    Put(Press('A', 1, LCTRL | SHIFT));
    Put(Press('X', u'x', 0));
    EXPECT_EQ(ReadEx(), u'x') << "Ctrl+Shift+A went to the companion";
    Put(Press(VK_LEFT, 0, LCTRL | SHIFT | ENH));
    EXPECT_EQ(ReadEx(), 0x625) << "Ctrl+Shift+Left stays the program's";
    gQaapKeysOff = TRUE;
    Put(Press('A', 1, LCTRL | SHIFT));
    EXPECT_EQ(ReadEx(), 0x441) << "not while the line editor keeps them";
    gQaapOn = 0;
    Put(Press('A', 1, LCTRL | SHIFT));
    gQaapKeysOff = FALSE;
    EXPECT_EQ(ReadEx(), 0x441) << "nor with the interface off";
}

} // namespace
