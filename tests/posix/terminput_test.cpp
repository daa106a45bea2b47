// The terminal input decoder: one table of byte sequences and the records they
// decode to (each row also fed a byte at a time and glued to its neighbours),
// the behaviour that needs time or state, the keyboard tables, the
// process-wide entry points, and a round trip against libvterm's encoder.
#include "internal/terminput_decoder.h"

#include <gtest/gtest.h>

#include <vterm.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace std::string_literals;

#define ESC "\x1b"

namespace {

constexpr DWORD N = NUMLOCK_ON;
constexpr DWORD E = ENHANCED_KEY;
constexpr DWORD S = SHIFT_PRESSED;
constexpr DWORD LC = LEFT_CTRL_PRESSED;
constexpr DWORD RC = RIGHT_CTRL_PRESSED;
constexpr DWORD LA = LEFT_ALT_PRESSED;
constexpr DWORD RA = RIGHT_ALT_PRESSED;

using Records = std::vector<INPUT_RECORD>;

// ---- records: making and showing ---------------------------------------------------------

INPUT_RECORD Key(bool down, WORD vk, WORD scan, WCHAR ch, DWORD state) {
    INPUT_RECORD r{};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = down;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.wVirtualKeyCode = vk;
    r.Event.KeyEvent.wVirtualScanCode = scan;
    r.Event.KeyEvent.uChar.UnicodeChar = ch;
    r.Event.KeyEvent.dwControlKeyState = state;
    return r;
}

Records Down(WORD vk, WORD scan, WCHAR ch, DWORD state) { return {Key(true, vk, scan, ch, state)}; }
Records Up(WORD vk, WORD scan, WCHAR ch, DWORD state) { return {Key(false, vk, scan, ch, state)}; }
Records Tap(WORD vk, WORD scan, WCHAR ch, DWORD state) {
    return {Key(true, vk, scan, ch, state), Key(false, vk, scan, ch, state)};
}

Records Mouse(SHORT x, SHORT y, DWORD buttons, DWORD state, DWORD flags) {
    INPUT_RECORD r{};
    r.EventType = MOUSE_EVENT;
    r.Event.MouseEvent.dwMousePosition = {x, y};
    r.Event.MouseEvent.dwButtonState = buttons;
    r.Event.MouseEvent.dwControlKeyState = state;
    r.Event.MouseEvent.dwEventFlags = flags;
    return {r};
}

Records Focus(bool in) {
    INPUT_RECORD r{};
    r.EventType = FOCUS_EVENT;
    r.Event.FocusEvent.bSetFocus = in;
    return {r};
}

Records Cat(std::initializer_list<Records> parts) {
    Records all;
    for (const Records& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string Describe(const INPUT_RECORD& r) {
    char text[160];
    switch (r.EventType) {
    case KEY_EVENT: {
        const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
        std::snprintf(text, sizeof text, "key %s vk=0x%02X scan=0x%02X ch=U+%04X state=0x%03X rep=%u",
                      k.bKeyDown ? "down" : "up", k.wVirtualKeyCode, k.wVirtualScanCode,
                      static_cast<unsigned>(k.uChar.UnicodeChar),
                      static_cast<unsigned>(k.dwControlKeyState), k.wRepeatCount);
        break;
    }
    case MOUSE_EVENT: {
        const MOUSE_EVENT_RECORD& m = r.Event.MouseEvent;
        std::snprintf(text, sizeof text, "mouse (%d,%d) buttons=0x%08X state=0x%03X flags=%u",
                      m.dwMousePosition.X, m.dwMousePosition.Y,
                      static_cast<unsigned>(m.dwButtonState),
                      static_cast<unsigned>(m.dwControlKeyState),
                      static_cast<unsigned>(m.dwEventFlags));
        break;
    }
    case FOCUS_EVENT:
        std::snprintf(text, sizeof text, "focus %s", r.Event.FocusEvent.bSetFocus ? "in" : "out");
        break;
    default:
        std::snprintf(text, sizeof text, "event 0x%X", r.EventType);
        break;
    }
    return text;
}

std::vector<std::string> Describe(const Records& records) {
    std::vector<std::string> lines;
    for (const INPUT_RECORD& r : records)
        lines.push_back(Describe(r));
    return lines;
}

// ---- a decoder with a recording sink --------------------------------------------------------

void Collect(void* user, const INPUT_RECORD* records, size_t count) {
    static_cast<Records*>(user)->insert(static_cast<Records*>(user)->end(), records,
                                        records + count);
}

struct Harness {
    TERMINAL_DECODER d;
    Records out;
    const TERMINAL_INPUT_CONTEXT* context = nullptr;
    uint64_t now = 1000;

    explicit Harness(bool kitty = false, bool linuxConsole = false) {
        TerminalInputInit(&d);
        d.kittyActive = kitty;
        TerminalSetLinuxConsole(&d, linuxConsole);
    }
    bool Feed(const std::string& bytes) {
        return TerminalInputDecode(&d, reinterpret_cast<const unsigned char*>(bytes.data()),
                                   bytes.size(), now, context, Collect, &out) != FALSE;
    }
    // Feeds in pieces of `piece` bytes (0: all at once); true when bytes stay pending.
    bool FeedInPieces(const std::string& bytes, size_t piece) {
        if (piece == 0 || bytes.empty())
            return Feed(bytes);
        bool pending = false;
        for (size_t i = 0; i < bytes.size(); i += piece)
            pending = Feed(bytes.substr(i, piece));
        return pending;
    }
    // The terminal falls silent for the decoder's time-out.
    void Silence() {
        now += TerminalInputTimeout(&d);
        TerminalInputFlushPending(&d, now, context, Collect, &out);
    }
    std::vector<std::string> Take() {
        std::vector<std::string> lines = Describe(out);
        out.clear();
        return lines;
    }
};

// ---- the table ---------------------------------------------------------------------------

struct Row {
    const char* name;
    std::string bytes;
    Records expected;
    bool silence = false; // the terminal falls silent after the bytes
};

struct Group {
    const char* name;
    bool kitty;
    bool linuxConsole;
    std::vector<Row> rows;
};

// Rows of a group are glued together, so a row leaves nothing behind that
// changes its neighbours: buttons are released, kitty modifiers let go, no
// two adjacent rows press the same button at the same place, and reports of
// the lock state keep Num Lock on.
const std::vector<Group>& Table() {
    static const std::vector<Group> groups = {
        {"xterm",
         false,
         false,
         {
             // Text and control bytes.
             {"lower-case letter", "a", Tap('A', 0x1E, 'a', N)},
             {"capital letter adds Shift", "A", Tap('A', 0x1E, 'A', N | S)},
             {"shifted punctuation is its key with Shift", "!", Tap('1', 0x02, '!', N | S)},
             {"space", " ", Tap(VK_SPACE, 0x39, ' ', N)},
             {"DEL byte is Backspace", "\x7f", Tap(VK_BACK, 0x0E, 8, N)},
             {"BS byte is Ctrl+Backspace", "\x08", Tap(VK_BACK, 0x0E, 127, N | LC)},
             {"NUL is Ctrl+Space", "\x00"s, Tap(VK_SPACE, 0x39, ' ', N | LC)},
             {"0x01 is Ctrl+A", "\x01", Tap('A', 0x1E, 1, N | LC)},
             {"tab", "\t", Tap(VK_TAB, 0x0F, 9, N)},
             {"carriage return is Enter", "\r", Tap(VK_RETURN, 0x1C, 13, N)},
             {"0x1C is Ctrl+backslash", "\x1c", Tap(VK_OEM_5, 0x2B, 28, N | LC)},
             {"0x1E is Ctrl+Shift+6", "\x1e", Tap('6', 0x07, 30, N | LC | S)},
             {"0x1F is Ctrl+Shift+minus", "\x1f", Tap(VK_OEM_MINUS, 0x0C, 31, N | LC | S)},
             // UTF-8.
             {"two-byte character is a packet", "\xc3\xa9", Tap(VK_PACKET, 0, 0xE9, N)},
             {"three-byte character", "\xe4\xb8\xad", Tap(VK_PACKET, 0, 0x4E2D, N)},
             {"emoji is two packets, a surrogate pair", "\xf0\x9f\x98\x80",
              Cat({Tap(VK_PACKET, 0, 0xD83D, N), Tap(VK_PACKET, 0, 0xDE00, N)})},
             {"overlong two-byte form dropped", "\xc0\xaf" "b", Tap('B', 0x30, 'b', N)},
             {"overlong three-byte form dropped", "\xe0\x80\xaf" "b", Tap('B', 0x30, 'b', N)},
             {"overlong four-byte form dropped", "\xf0\x8f\xbf\xbf" "b", Tap('B', 0x30, 'b', N)},
             {"encoded surrogate dropped", "\xed\xa0\xbd" "b", Tap('B', 0x30, 'b', N)},
             {"value above U+10FFFF dropped", "\xf4\x90\x80\x80" "b", Tap('B', 0x30, 'b', N)},
             {"lead bytes that start nothing dropped", "\xf5\xff\x80" "b", Tap('B', 0x30, 'b', N)},
             {"a bad continuation drops only the lead", "\xe4\xb8" "b", Tap('B', 0x30, 'b', N)},
             // ESC and Alt.
             {"ESC and a letter is Alt+letter", ESC "x", Tap('X', 0x2D, 'x', N | LA)},
             {"ESC and a control byte is Ctrl+Alt", ESC "\x01", Tap('A', 0x1E, 0, N | LA | LC)},
             {"ESC and a UTF-8 character is Alt+character", ESC "\xc3\xa9",
              Tap(VK_PACKET, 0, 0xE9, N | LA)},
             {"ESC and a broken character is Escape", ESC "\xff" "b",
              Cat({Tap(VK_ESCAPE, 0x01, 27, N), Tap('B', 0x30, 'b', N)})},
             {"two ESC then a letter: Escape, then Alt+letter", ESC ESC "x",
              Cat({Tap(VK_ESCAPE, 0x01, 27, N), Tap('X', 0x2D, 'x', N | LA)})},
             {"ESC before a sequence is Alt", ESC ESC "[A", Tap(VK_UP, 0x48, 0, N | E | LA)},
             {"lone ESC after its time-out is Escape", ESC, Tap(VK_ESCAPE, 0x01, 27, N), true},
             {"two ESC after the time-out are two Escapes", ESC ESC,
              Cat({Tap(VK_ESCAPE, 0x01, 27, N), Tap(VK_ESCAPE, 0x01, 27, N)}), true},
             {"ESC [ after the time-out is Alt+[", ESC "[", Tap(VK_OEM_4, 0x1A, '[', N | LA),
              true},
             {"ESC O after the time-out is Alt+Shift+O", ESC "O", Tap('O', 0x18, 'O', N | LA | S),
              true},
             {"ESC ESC [ after the time-out: Escape, Alt+[", ESC ESC "[",
              Cat({Tap(VK_ESCAPE, 0x01, 27, N), Tap(VK_OEM_4, 0x1A, '[', N | LA)}), true},
             {"ESC and a cut-off character after the time-out is Escape", ESC "\xc3",
              Tap(VK_ESCAPE, 0x01, 27, N), true},
             {"parameters cut off by the time-out are dropped", ESC "[1;5", {}, true},
             // SS3.
             {"SS3 P is F1", ESC "OP", Tap(VK_F1, 0x3B, 0, N)},
             {"SS3 A is Up", ESC "OA", Tap(VK_UP, 0x48, 0, N | E)},
             {"SS3 with a modifier digit", ESC "O5P", Tap(VK_F1, 0x3B, 0, N | LC)},
             {"SS3 M is keypad Enter", ESC "OM", Tap(VK_RETURN, 0x1C, 13, N | E)},
             {"SS3 j is keypad *", ESC "Oj", Tap(VK_MULTIPLY, 0x37, '*', N)},
             {"SS3 o is keypad /, an extended key", ESC "Oo", Tap(VK_DIVIDE, 0x35, '/', N | E)},
             {"SS3 p is keypad 0", ESC "Op", Tap(VK_NUMPAD0, 0x52, '0', N)},
             {"SS3 X is keypad =", ESC "OX", Tap(VK_OEM_PLUS, 0x0D, '=', N)},
             {"SS3 a is Ctrl+Up (rxvt)", ESC "Oa", Tap(VK_UP, 0x48, 0, N | E | LC)},
             {"SS3 G makes nothing", ESC "OG", {}},
             {"ESC O before a control byte is Alt+Shift+O", ESC "O\r",
              Cat({Tap('O', 0x18, 'O', N | LA | S), Tap(VK_RETURN, 0x1C, 13, N)})},
             // CSI keys.
             {"CSI A is Up", ESC "[A", Tap(VK_UP, 0x48, 0, N | E)},
             {"xterm modifier 5 is Ctrl", ESC "[1;5A", Tap(VK_UP, 0x48, 0, N | E | LC)},
             {"xterm modifier 2 on F1 is Shift", ESC "[1;2P", Tap(VK_F1, 0x3B, 0, N | S)},
             {"xterm modifier 10 is Meta+Shift", ESC "[1;10C", Tap(VK_RIGHT, 0x4D, 0, N | E | LA | S)},
             {"CSI E is Clear", ESC "[E", Tap(VK_CLEAR, 0x4C, 0, N)},
             {"CSI F is End", ESC "[F", Tap(VK_END, 0x4F, 0, N | E)},
             {"CSI H is Home", ESC "[H", Tap(VK_HOME, 0x47, 0, N | E)},
             {"CSI Z is Shift+Tab", ESC "[Z", Tap(VK_TAB, 0x0F, 9, N | S)},
             {"CSI 3 ~ is Delete", ESC "[3~", Tap(VK_DELETE, 0x53, 0, N | E)},
             {"CSI 5;3 ~ is Alt+Page Up", ESC "[5;3~", Tap(VK_PRIOR, 0x49, 0, N | E | LA)},
             {"CSI 15 ~ is F5", ESC "[15~", Tap(VK_F5, 0x3F, 0, N)},
             {"CSI 24 ~ is F12", ESC "[24~", Tap(VK_F12, 0x58, 0, N)},
             {"CSI 25 ~ is Shift+F3", ESC "[25~", Tap(VK_F3, 0x3D, 0, N | S)},
             {"CSI 34 ~ is Shift+F10", ESC "[34~", Tap(VK_F10, 0x44, 0, N | S)},
             {"CSI [ A is the Linux console's F1", ESC "[[A", Tap(VK_F1, 0x3B, 0, N)},
             {"CSI [ and another letter makes nothing", ESC "[[Z" "b", Tap('B', 0x30, 'b', N)},
             {"unknown tilde code makes nothing", ESC "[99~", {}},
             {"rxvt CSI a is Shift+Up", ESC "[a", Tap(VK_UP, 0x48, 0, N | E | S)},
             {"rxvt arrows take no parameters", ESC "[1;5a", {}},
             {"rxvt $ is Shift", ESC "[2$", Tap(VK_INSERT, 0x52, 0, N | E | S)},
             {"rxvt ^ is Ctrl", ESC "[5^", Tap(VK_PRIOR, 0x49, 0, N | E | LC)},
             {"rxvt @ is Ctrl+Shift", ESC "[11@", Tap(VK_F1, 0x3B, 0, N | LC | S)},
             {"a status report makes nothing", ESC "[0n", {}},
             {"a sequence with an intermediate makes nothing", ESC "[1 A", {}},
             {"a CSI cut by a control byte is dropped", ESC "[1\x01",
              Tap('A', 0x1E, 1, N | LC)},
             {"focus in", ESC "[I", Focus(true)},
             {"focus out", ESC "[O", Focus(false)},
             {"paste markers are swallowed", ESC "[200~abc" ESC "[201~",
              Cat({Tap('A', 0x1E, 'a', N), Tap('B', 0x30, 'b', N), Tap('C', 0x2E, 'c', N)})},
             {"answers to the start-up query make nothing", ESC "[?31u" ESC "[?62;22c", {}},
             {"secondary attributes make nothing", ESC "[>1;2;3c", {}},
             // xterm modifyOtherKeys and CSI u without the kitty protocol.
             {"modifyOtherKeys Ctrl+Tab", ESC "[27;5;9~", Tap(VK_TAB, 0x0F, 0, N | LC)},
             {"modifyOtherKeys Shift+Enter", ESC "[27;2;13~", Tap(VK_RETURN, 0x1C, 13, N | S)},
             {"modifyOtherKeys Ctrl+Shift+1", ESC "[27;6;33~", Tap('1', 0x02, 0, N | LC | S)},
             {"modifyOtherKeys Alt+a", ESC "[27;3;97~", Tap('A', 0x1E, 'a', N | LA)},
             {"modifyOtherKeys Ctrl+e-acute is a packet", ESC "[27;5;233~",
              Tap(VK_PACKET, 0, 0xE9, N | LC)},
             {"CSI u Ctrl+a", ESC "[97;5u", Tap('A', 0x1E, 1, N | LC)},
             {"CSI u Ctrl+Backspace", ESC "[127;5u", Tap(VK_BACK, 0x0E, 127, N | LC)},
             {"CSI u keypad Enter", ESC "[57414u", Tap(VK_RETURN, 0x1C, 13, N | E)},
             // win32-input-mode.
             {"win32 key down and up of a letter", ESC "[65;30;97;1;32;1_" ESC "[65;30;97;0;32;1_",
              Tap('A', 0x1E, 'a', N)},
             {"win32 repeat count", ESC "[65;30;97;1;32;3_",
              Cat({Tap('A', 0x1E, 'a', N), Tap('A', 0x1E, 'a', N), Tap('A', 0x1E, 'a', N)})},
             {"win32 AltGr gives the character alone", ESC "[81;16;64;1;41;1_",
              Tap('2', 0x03, '@', N | S)},
             {"win32 Ctrl+A is passed as sent", ESC "[65;30;1;1;40;1_" ESC "[65;30;1;0;40;1_",
              Tap('A', 0x1E, 1, N | LC)},
             {"win32 enhanced Up", ESC "[38;72;0;1;288;1_", Down(VK_UP, 0x48, 0, N | E)},
             {"win32 surrogate halves are joined",
              ESC "[0;0;55357;1;32;1_" ESC "[0;0;56832;1;32;1_",
              Cat({Tap(VK_PACKET, 0, 0xD83D, N), Tap(VK_PACKET, 0, 0xDE00, N)})},
             {"win32 lone low surrogate dropped", ESC "[0;0;56832;1;32;1_", {}},
             {"win32 lone high surrogate dropped", ESC "[0;0;55357;1;32;1_" "b",
              Tap('B', 0x30, 'b', N)},
             {"win32 key code wider than 16 bits is no key", ESC "[65601;0;0;1;32;1_", {}},
             // Mouse.
             {"SGR left press and release", ESC "[<0;10;5M" ESC "[<0;10;5m",
              Cat({Mouse(9, 4, 1, N, 0), Mouse(9, 4, 0, N, 0)})},
             {"second press in place is a double click, a third is single",
              ESC "[<0;20;5M" ESC "[<0;20;5m" ESC "[<0;20;5M" ESC "[<0;20;5m" ESC "[<0;20;5M"
              ESC "[<0;20;5m",
              Cat({Mouse(19, 4, 1, N, 0), Mouse(19, 4, 0, N, 0), Mouse(19, 4, 1, N, DOUBLE_CLICK),
                   Mouse(19, 4, 0, N, 0), Mouse(19, 4, 1, N, 0), Mouse(19, 4, 0, N, 0)})},
             {"wheel up", ESC "[<64;1;1M", Mouse(0, 0, 120u << 16, N, MOUSE_WHEELED)},
             {"wheel down", ESC "[<65;3;3M", Mouse(2, 2, 0xFF88u << 16, N, MOUSE_WHEELED)},
             {"wheel left", ESC "[<66;3;3M", Mouse(2, 2, 0xFF88u << 16, N, MOUSE_HWHEELED)},
             {"wheel right", ESC "[<67;3;3M", Mouse(2, 2, 120u << 16, N, MOUSE_HWHEELED)},
             {"right-button drag", ESC "[<2;5;5M" ESC "[<34;6;5M" ESC "[<2;6;5m",
              Cat({Mouse(4, 4, RIGHTMOST_BUTTON_PRESSED, N, 0),
                   Mouse(5, 4, RIGHTMOST_BUTTON_PRESSED, N, MOUSE_MOVED), Mouse(5, 4, 0, N, 0)})},
             {"middle press with Shift, Alt and Ctrl", ESC "[<29;7;7M" ESC "[<29;7;7m",
              Cat({Mouse(6, 6, FROM_LEFT_2ND_BUTTON_PRESSED, N | S | LA | LC, 0),
                   Mouse(6, 6, 0, N | S | LA | LC, 0)})},
             {"column and row 0 are the first cell, never -1", ESC "[<0;0;0M" ESC "[<0;0;0m",
              Cat({Mouse(0, 0, 1, N, 0), Mouse(0, 0, 0, N, 0)})},
             {"huge coordinates saturate", ESC "[<0;99999999999;70000M" ESC "[<0;99999999999;70000m",
              Cat({Mouse(32767, 32767, 1, N, 0), Mouse(32767, 32767, 0, N, 0)})},
             {"extra buttons make nothing", ESC "[<128;1;1M" ESC "[<128;1;1m", {}},
             {"X10 press and release", ESC "[M H%" ESC "[M#H%",
              Cat({Mouse(39, 4, 1, N, 0), Mouse(39, 4, 0, N, 0)})},
             {"X10 bytes of 32 are the first cell", ESC "[M!  " ESC "[M#  ",
              Cat({Mouse(0, 0, FROM_LEFT_2ND_BUTTON_PRESSED, N, 0), Mouse(0, 0, 0, N, 0)})},
             {"X10 wheel down", ESC "[Ma!!", Mouse(0, 0, 0xFF88u << 16, N, MOUSE_WHEELED)},
             {"X10 button byte below 32 makes nothing", ESC "[M\x1f!!", {}},
         }},
        {"Linux console",
         false,
         true,
         {
             {"CSI [ A is F1", ESC "[[A", Tap(VK_F1, 0x3B, 0, N)},
             {"CSI [ E is F5", ESC "[[E", Tap(VK_F5, 0x3F, 0, N)},
             {"CSI 25 ~ is Shift+F1", ESC "[25~", Tap(VK_F1, 0x3B, 0, N | S)},
             {"CSI 34 ~ is Shift+F8", ESC "[34~", Tap(VK_F8, 0x42, 0, N | S)},
             {"CSI 1 ~ is Home", ESC "[1~", Tap(VK_HOME, 0x47, 0, N | E)},
         }},
        {"kitty",
         true,
         false,
         {
             {"press and release of a", ESC "[97;1:1u" ESC "[97;1:3u",
              Cat({Down('A', 0x1E, 'a', 0), Up('A', 0x1E, 'a', 0)})},
             {"press, repeat and release", ESC "[97;1:1u" ESC "[97;1:2u" ESC "[97;1:3u",
              Cat({Down('A', 0x1E, 'a', 0), Down('A', 0x1E, 'a', 0), Up('A', 0x1E, 'a', 0)})},
             {"Ctrl+a", ESC "[97;5:1u" ESC "[97;5:3u",
              Cat({Down('A', 0x1E, 1, LC), Up('A', 0x1E, 1, LC)})},
             {"Shift+a with its text and shifted key", ESC "[97:65;2:1;65u" ESC "[97:65;2:3u",
              Cat({Down('A', 0x1E, 'A', S), Up('A', 0x1E, 'A', S)})},
             {"Caps Lock is reported in the lock state", ESC "[97;65:1;65u" ESC "[97;65:3u",
              Cat({Down('A', 0x1E, 'A', CAPSLOCK_ON), Up('A', 0x1E, 'A', CAPSLOCK_ON)})},
             {"keypad 0 with Num Lock", ESC "[57399;129:1u" ESC "[57399;129:3u",
              Cat({Down(VK_NUMPAD0, 0x52, '0', N), Up(VK_NUMPAD0, 0x52, '0', N)})},
             {"keypad Enter is enhanced", ESC "[57414;1:1u", Down(VK_RETURN, 0x1C, 13, E)},
             {"keypad = types =", ESC "[57415;1:1u", Down(VK_OEM_PLUS, 0x0D, '=', 0)},
             {"F13", ESC "[57376;1:1u", Down(VK_F13, 0, 0, 0)},
             {"Escape", ESC "[27;1:1u", Down(VK_ESCAPE, 0x01, 27, 0)},
             {"left Ctrl held around c",
              ESC "[57442;5:1u" ESC "[99;5:1u" ESC "[99;5:3u" ESC "[57442;1:3u",
              Cat({Down(VK_CONTROL, 0x1D, 0, LC), Down('C', 0x2E, 3, LC), Up('C', 0x2E, 3, LC),
                   Up(VK_CONTROL, 0x1D, 0, 0)})},
             {"right Ctrl held around c",
              ESC "[57448;5:1u" ESC "[99;5:1u" ESC "[99;5:3u" ESC "[57448;1:3u",
              Cat({Down(VK_CONTROL, 0x1D, 0, RC | E), Down('C', 0x2E, 3, RC),
                   Up('C', 0x2E, 3, RC), Up(VK_CONTROL, 0x1D, 0, E)})},
             {"AltGr+q typing @ gives the @ key",
              ESC "[57449;3:1u" ESC "[113;3:1;64u" ESC "[113;3:3u" ESC "[57449;1:3u",
              Cat({Down(VK_MENU, 0x38, 0, RA | E), Down('2', 0x03, '@', S), Up('2', 0x03, '@', S),
                   Up(VK_MENU, 0x38, 0, E)})},
             {"a character of another layout is a packet, released as pressed",
              ESC "[228::39;1:1;228u" ESC "[228::39;1:3u",
              Cat({Down(VK_PACKET, 0, 0xE4, 0), Up(VK_PACKET, 0, 0xE4, 0)})},
             {"an emoji press is two packets; its release makes nothing",
              ESC "[128512;1:1;128512u" ESC "[128512;1:3u",
              Cat({Down(VK_PACKET, 0, 0xD83D, 0), Down(VK_PACKET, 0, 0xDE00, 0)})},
             {"Ctrl+Up press and release", ESC "[1;5:1A" ESC "[1;5:3A",
              Cat({Down(VK_UP, 0x48, 0, LC | E), Up(VK_UP, 0x48, 0, LC | E)})},
             {"Delete press", ESC "[3;1:1~", Down(VK_DELETE, 0x53, 0, E)},
             {"27 is no modifyOtherKeys under kitty", ESC "[27;5;9~", {}},
             {"media keys type nothing", ESC "[57428;1:1u" ESC "[57428;1:3u", {}},
             {"level-3 shift types nothing", ESC "[57453;1:1u" ESC "[57453;1:3u", {}},
             {"a surrogate code is no character", ESC "[55357;1:1u", {}},
             {"a code beyond Unicode is no character", ESC "[1114112;1:1u", {}},
             {"an invalid text falls back to the key", ESC "[97;1:1;55357u" ESC "[97;1:3u",
              Cat({Down('A', 0x1E, 'a', 0), Up('A', 0x1E, 'a', 0)})},
         }},
        {"kitty, short forms",
         true,
         false,
         {
             // First: a kitty key sets the lock state the mouse reports.
             {"mouse works the same", ESC "[<0;3;4M" ESC "[<0;3;4m",
              Cat({Mouse(2, 3, 1, N, 0), Mouse(2, 3, 0, N, 0)})},
             // The short form of an unmodified key is its press; the
             // release comes in the long form.
             {"CSI A is an Up press", ESC "[A", Down(VK_UP, 0x48, 0, E)},
             {"CSI 97 u is a press of a", ESC "[97u", Down('A', 0x1E, 'a', 0)},
             {"Enter pressed and released", ESC "[13u" ESC "[13;1:3u",
              Cat({Down(VK_RETURN, 0x1C, 13, 0), Up(VK_RETURN, 0x1C, 13, 0)})},
             {"Enter pressed, repeated twice, released",
              ESC "[13u" ESC "[13;1:2u" ESC "[13;1:2u" ESC "[13;1:3u",
              Cat({Down(VK_RETURN, 0x1C, 13, 0), Down(VK_RETURN, 0x1C, 13, 0),
                   Down(VK_RETURN, 0x1C, 13, 0), Up(VK_RETURN, 0x1C, 13, 0)})},
             {"Escape pressed and released", ESC "[27u" ESC "[27;1:3u",
              Cat({Down(VK_ESCAPE, 0x01, 27, 0), Up(VK_ESCAPE, 0x01, 27, 0)})},
             {"Tab pressed and released", ESC "[9u" ESC "[9;1:3u",
              Cat({Down(VK_TAB, 0x0F, 9, 0), Up(VK_TAB, 0x0F, 9, 0)})},
             {"Backspace pressed and released", ESC "[127u" ESC "[127;1:3u",
              Cat({Down(VK_BACK, 0x0E, 8, 0), Up(VK_BACK, 0x0E, 8, 0)})},
             {"Up pressed and released", ESC "[A" ESC "[1;1:3A",
              Cat({Down(VK_UP, 0x48, 0, E), Up(VK_UP, 0x48, 0, E)})},
             {"F5 pressed and released", ESC "[15~" ESC "[15;1:3~",
              Cat({Down(VK_F5, 0x3F, 0, 0), Up(VK_F5, 0x3F, 0, 0)})},
             {"left Shift alone pressed and released", ESC "[57441u" ESC "[57441;2:3u",
              Cat({Down(VK_SHIFT, 0x2A, 0, S), Up(VK_SHIFT, 0x2A, 0, 0)})},
             {"CSI 27 ~ is no key", ESC "[27~", {}},
             {"focus in", ESC "[I", Focus(true)},
             {"focus out", ESC "[O", Focus(false)},
         }},
    };
    return groups;
}

TEST(TerminalInputTable, EachRowAlone) {
    for (const Group& g : Table()) {
        for (const Row& row : g.rows) {
            SCOPED_TRACE(std::string(g.name) + ": " + row.name);
            Harness h(g.kitty, g.linuxConsole);
            EXPECT_EQ(h.Feed(row.bytes), row.silence);
            if (row.silence)
                h.Silence();
            EXPECT_EQ(h.d.pendingLength, 0);
            EXPECT_EQ(h.Take(), Describe(row.expected));
        }
    }
}

TEST(TerminalInputTable, EachRowByteByByte) {
    for (const Group& g : Table()) {
        for (const Row& row : g.rows) {
            SCOPED_TRACE(std::string(g.name) + ": " + row.name);
            Harness h(g.kitty, g.linuxConsole);
            EXPECT_EQ(h.FeedInPieces(row.bytes, 1), row.silence);
            if (row.silence)
                h.Silence();
            EXPECT_EQ(h.Take(), Describe(row.expected));
        }
    }
}

// All rows of a group as one stream, cut only where a row needs the terminal
// to fall silent, and fed whole and in pieces of several sizes.
TEST(TerminalInputTable, RowsGluedTogether) {
    for (const Group& g : Table()) {
        for (size_t piece : {0, 1, 2, 3, 5, 7}) {
            SCOPED_TRACE(std::string(g.name) + ", pieces of " + std::to_string(piece));
            Harness h(g.kitty, g.linuxConsole);
            Records expected;
            std::vector<const char*> rowOf; // the row each expected record belongs to
            std::string stream;
            for (const Row& row : g.rows) {
                stream += row.bytes;
                expected.insert(expected.end(), row.expected.begin(), row.expected.end());
                rowOf.insert(rowOf.end(), row.expected.size(), row.name);
                if (row.silence) {
                    EXPECT_TRUE(h.FeedInPieces(stream, piece)) << row.name;
                    h.Silence();
                    stream.clear();
                }
            }
            EXPECT_FALSE(h.FeedInPieces(stream, piece));
            const std::vector<std::string> got = h.Take();
            const std::vector<std::string> want = Describe(expected);
            size_t i = 0;
            while (i < got.size() && i < want.size() && got[i] == want[i])
                ++i;
            if (i < got.size() || i < want.size())
                ADD_FAILURE() << "record " << i << " differs, in row \""
                              << (i < rowOf.size() ? rowOf[i] : "(past the end)") << "\"\n  got:  "
                              << (i < got.size() ? got[i] : "(none)") << "\n  want: "
                              << (i < want.size() ? want[i] : "(none)");
        }
    }
}


// ---- time, state and limits ------------------------------------------------------------

std::string SgrPress(int button, int column, int row) {
    return ESC "[<" + std::to_string(button) + ";" + std::to_string(column) + ";" +
           std::to_string(row) + "M";
}

std::vector<DWORD> MouseFlags(const Records& records) {
    std::vector<DWORD> flags;
    for (const INPUT_RECORD& r : records)
        if (r.EventType == MOUSE_EVENT)
            flags.push_back(r.Event.MouseEvent.dwEventFlags);
    return flags;
}

TEST(TerminalInputMouse, DoubleClicks) {
    struct Step {
        uint64_t at;
        std::string bytes;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<DWORD> flags; // of every mouse record, in order
    };
    const std::string left = SgrPress(0, 10, 5);
    const std::string leftUp = ESC "[<0;10;5m";
    const std::vector<Case> cases = {
        {"500 ms apart is a double click", {{0, left}, {0, leftUp}, {500, left}}, {0, 0, DOUBLE_CLICK}},
        {"501 ms apart are two clicks", {{0, left}, {0, leftUp}, {501, left}}, {0, 0, 0}},
        {"another cell is a new click", {{0, left}, {100, SgrPress(0, 11, 5)}}, {0, 0}},
        {"another button is a new click", {{0, left}, {100, SgrPress(2, 10, 5)}}, {0, 0}},
        {"a third click is single, a fourth double",
         {{0, left}, {100, left}, {200, left}, {300, left}},
         {0, DOUBLE_CLICK, 0, DOUBLE_CLICK}},
        {"a clock going back makes no double click", {{1000, left}, {900, left}}, {0, 0}},
        {"motion and wheel between do not matter",
         {{0, left}, {50, ESC "[<32;10;5M"}, {60, ESC "[<64;10;5M"}, {100, left}},
         {0, MOUSE_MOVED, MOUSE_WHEELED, DOUBLE_CLICK}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        for (const Step& step : c.steps) {
            h.now = step.at;
            h.Feed(step.bytes);
        }
        EXPECT_EQ(MouseFlags(h.out), c.flags);
    }
}

// With the window known, a position is clamped into the window and moved by
// its origin, so it is a buffer position inside the window.
TEST(TerminalInputMouse, PositionsInsideTheWindow) {
    struct Case {
        const char* name;
        SMALL_RECT window;
        std::string report;
        SHORT x, y;
    };
    const SMALL_RECT w = {5, 10, 84, 34};
    const std::vector<Case> cases = {
        {"first cell is the window origin", w, ESC "[<64;1;1M", 5, 10},
        {"cell 0 is the first cell", w, ESC "[<64;0;0M", 5, 10},
        {"last cell", w, ESC "[<64;80;25M", 84, 34},
        {"beyond the window is its edge", w, ESC "[<64;81;26M", 84, 34},
        {"huge numbers are the edge", w, ESC "[<64;99999999999;4294967296M", 84, 34},
        {"X10 at its largest", w, ESC "[M`\xff\xff", 84, 34},
        {"X10 byte 32 is the first cell", w, ESC "[M`  ", 5, 10},
        {"a window at the end of the range", {32700, 32760, 32767, 32767}, ESC "[<64;1000;1000M",
         32767, 32767},
        {"an empty window pins to its origin", {5, 6, 4, 5}, ESC "[<64;50;50M", 5, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TERMINAL_INPUT_CONTEXT context{c.window, TRUE};
        Harness h;
        h.context = &context;
        h.Feed(c.report);
        ASSERT_EQ(h.out.size(), 1u);
        EXPECT_EQ(h.out[0].Event.MouseEvent.dwMousePosition.X, c.x);
        EXPECT_EQ(h.out[0].Event.MouseEvent.dwMousePosition.Y, c.y);
    }
}

TEST(TerminalInputMouse, ReportsWithoutMouseReportingAreTrackedButNotRecorded) {
    TERMINAL_INPUT_CONTEXT context{{0, 0, 79, 24}, FALSE};
    Harness h;
    h.context = &context;
    h.Feed(SgrPress(0, 3, 3));
    EXPECT_TRUE(h.out.empty());
    context.mouseReporting = TRUE;
    h.Feed(ESC "[<32;4;3M");
    EXPECT_EQ(h.Take(), Describe(Mouse(3, 2, FROM_LEFT_1ST_BUTTON_PRESSED, N, MOUSE_MOVED)));
}

// An unfinished sequence is held up to 128 bytes. One that grows beyond is
// dropped up to its final byte, however it is cut into reads, and none of it
// comes back as typed characters.
TEST(TerminalInputLimits, SequencesLongerThanThePendingBuffer) {
    const std::string zeros123(123, '0');
    const std::string zeros124(124, '0');
    const std::string digits(300, '1');
    struct Case {
        const char* name;
        std::string bytes;
        Records expected;
    };
    const std::vector<Case> cases = {
        {"128 bytes before the final are decoded", ESC "[" + zeros123 + "1;5A",
         Tap(VK_UP, 0x48, 0, N | E | LC)},
        {"129 bytes before the final are dropped", ESC "[" + zeros124 + "1;5A" "b",
         Tap('B', 0x30, 'b', N)},
        {"the Alt prefix counts", ESC ESC "[" + zeros123.substr(1) + "1;5A",
         Tap(VK_UP, 0x48, 0, N | E | LC | LA)},
        {"the Alt prefix counts, one more", ESC ESC "[" + zeros123 + "1;5A" "b",
         Tap('B', 0x30, 'b', N)},
        {"a long sequence ends at its final", ESC "[" + digits + "A" "xy",
         Cat({Tap('X', 0x2D, 'x', N), Tap('Y', 0x15, 'y', N)})},
        {"an rxvt $ ends it too", ESC "[" + digits + "$b", Tap('B', 0x30, 'b', N)},
        {"a control byte ends it and is kept", ESC "[" + digits + "\r",
         Tap(VK_RETURN, 0x1C, 13, N)},
    };
    for (const Case& c : cases) {
        for (size_t piece : {0, 1, 100, 127, 128, 129, 200}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            Harness h;
            EXPECT_FALSE(h.FeedInPieces(c.bytes, piece));
            EXPECT_EQ(h.Take(), Describe(c.expected));
        }
    }
}

TEST(TerminalInputLimits, ALongSequenceCutOffIsAbandonedAfterTheTimeOut) {
    Harness h;
    EXPECT_TRUE(h.Feed(ESC "[" + std::string(300, '1')));
    EXPECT_EQ(h.d.pendingLength, 0);
    EXPECT_EQ(TerminalInputTimeout(&h.d), 1000u);
    h.Silence();
    EXPECT_FALSE(h.Feed("b"));
    EXPECT_EQ(h.Take(), Describe(Tap('B', 0x30, 'b', N)));
}

// Reads are decoded in slices; a sequence across a slice boundary is whole.
TEST(TerminalInputLimits, LongReads) {
    for (size_t before : {511, 512, 1000, 5000}) {
        SCOPED_TRACE(before);
        Harness h;
        EXPECT_FALSE(h.Feed(std::string(before, 'a') + ESC "[1;5A"));
        ASSERT_EQ(h.out.size(), 2 * before + 2);
        EXPECT_EQ(Describe(h.out[2 * before]), Describe(Key(true, VK_UP, 0x48, 0, N | E | LC)));
        EXPECT_EQ(Describe(h.out[2 * before - 1]), Describe(Key(false, 'A', 0x1E, 'a', N)));
    }
}

TEST(TerminalInputTiming, TimeOuts) {
    struct Case {
        const char* name;
        std::string before; // fed first, complete
        std::string pending;
        DWORD timeout;
    };
    const std::vector<Case> cases = {
        {"a lone ESC", "", ESC, 40},
        {"ESC [", "", ESC "[", 40},
        {"ESC O", "", ESC "O", 40},
        {"two ESC", "", ESC ESC, 40},
        {"a cut-off character", "", "\xe4\xb8", 40},
        {"CSI and a parameter", "", ESC "[1", 1000},
        {"CSI and a marker", "", ESC "[<", 1000},
        {"ESC once win32-input-mode is in use", ESC "[65;30;97;1;32;1_", ESC, 1000},
        {"ESC once CSI _ announced encoded keys", ESC "[_", ESC, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        EXPECT_FALSE(h.Feed(c.before));
        EXPECT_TRUE(h.Feed(c.pending));
        EXPECT_EQ(TerminalInputTimeout(&h.d), c.timeout);
    }
}

// The lock state a terminal reports stays until the next report and goes
// into every key and mouse record.
TEST(TerminalInputState, LockState) {
    struct Case {
        const char* name;
        bool kitty;
        std::string report;
        std::string probe;
        Records expected; // of the probe
    };
    const std::vector<Case> cases = {
        {"Num Lock after a reset", false, "", "a", Tap('A', 0x1E, 'a', N)},
        {"CSI _ clears it", false, ESC "[_", "a", Tap('A', 0x1E, 'a', 0)},
        {"win32-input-mode reports Caps Lock", false, ESC "[20;58;0;1;160;1_" ESC "[20;58;0;0;160;1_",
         "a", Tap('A', 0x1E, 'a', N | CAPSLOCK_ON)},
        {"win32-input-mode reports Scroll Lock, seen by the mouse", false, ESC "[0;0;0;0;224;1_",
         ESC "[<64;1;1M", Mouse(0, 0, 120u << 16, N | SCROLLLOCK_ON | CAPSLOCK_ON, MOUSE_WHEELED)},
        {"kitty reports Caps Lock, seen by the mouse", true,
         ESC "[57358;65:1u" ESC "[57358;65:3u", ESC "[<64;1;1M",
         Mouse(0, 0, 120u << 16, CAPSLOCK_ON, MOUSE_WHEELED)},
        {"a kitty report without modifiers clears it", true, ESC "[97;1:3u", ESC "[<64;1;1M",
         Mouse(0, 0, 120u << 16, 0, MOUSE_WHEELED)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(c.kitty);
        h.Feed(c.report);
        h.out.clear();
        h.Feed(c.probe);
        EXPECT_EQ(h.Take(), Describe(c.expected));
    }
}

// Ctrl and Alt are reported right or left as the modifier keys held say;
// leaving the window forgets them, as their release is not seen.
TEST(TerminalInputState, KittyModifiersForgottenWhenFocusLeaves) {
    Harness h(true);
    h.Feed(ESC "[57448;5:1u");
    h.out.clear();
    h.Feed(ESC "[99;5:1u");
    EXPECT_EQ(h.Take(), Describe(Down('C', 0x2E, 3, RC)));
    h.Feed(ESC "[O" ESC "[99;5:1u");
    EXPECT_EQ(h.Take(), Describe(Cat({Focus(false), Down('C', 0x2E, 3, LC)})));
}

TEST(TerminalInputState, StartUpQueryAnswers) {
    Harness h;
    EXPECT_FALSE(h.d.kittyAnswerSeen);
    EXPECT_FALSE(h.d.deviceAttributesSeen);
    h.Feed(ESC "[?31u");
    EXPECT_TRUE(h.d.kittyAnswerSeen);
    EXPECT_FALSE(h.d.deviceAttributesSeen);
    h.FeedInPieces(ESC "[?62;22c", 1);
    EXPECT_TRUE(h.d.deviceAttributesSeen);
    EXPECT_TRUE(h.out.empty());
}

// ---- the keyboard tables -------------------------------------------------------------------

TEST(TerminalInputKeyboard, VkToChar) {
    struct Case {
        UINT vk;
        DWORD state;
        int expected;
    };
    const Case cases[] = {
        {'A', 0, 'a'},
        {'A', S, 'A'},
        {'A', CAPSLOCK_ON, 'A'},
        {'A', CAPSLOCK_ON | S, 'a'},
        {'A', CAPSLOCK_ON | S | LC, 1},
        {'A', LC | RA, -1},
        {'A', LA, 'a'},
        {'2', LC | S, 0},
        {'2', LC, -1},
        {'6', RC | S, 30},
        {VK_OEM_MINUS, LC | S, 31},
        {VK_OEM_MINUS, LC, -1},
        {VK_RETURN, LC, 10},
        {VK_RETURN, LC | S, -1},
        {VK_BACK, LC, 127},
        {VK_OEM_4, LC, 27},
        {VK_OEM_102, LC, 28},
        {VK_OEM_6, LC, 29},
        {VK_SPACE, LC, ' '},
        {VK_CANCEL, LC, 3},
        {VK_NUMPAD5, 0, '5'},
        {VK_NUMPAD5, S, -1},
        {VK_NUMPAD5, LA, -1},
        {VK_DECIMAL, S, '.'},
        {VK_MULTIPLY, S | LA, '*'},
        {VK_SEPARATOR, 0, -1},
        {'1', S, '!'},
        {'1', LA, '1'},
        {VK_OEM_7, S, '"'},
        {VK_OEM_102, S, '|'},
        {VK_F1, 0, -1},
        {300, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VkToChar(c.vk, c.state), c.expected) << "vk 0x" << std::hex << c.vk
                                                        << " state 0x" << c.state;
}

TEST(TerminalInputKeyboard, CharToVk) {
    struct Case {
        uint32_t c;
        WORD vk;
        BOOL shift;
    };
    const Case cases[] = {
        {'a', 'A', FALSE},       {'Z', 'Z', TRUE},           {'7', '7', FALSE},
        {'*', '8', TRUE},        {'+', VK_OEM_PLUS, TRUE},   {'\\', VK_OEM_5, FALSE},
        {'|', VK_OEM_5, TRUE},   {' ', VK_SPACE, FALSE},     {'~', VK_OEM_3, TRUE},
        {'"', VK_OEM_7, TRUE},   {'/', VK_OEM_2, FALSE},     {127, 0, FALSE},
        {31, 0, FALSE},          {0xE9, 0, FALSE},
    };
    for (const Case& c : cases) {
        BOOL shift = 2;
        EXPECT_EQ(CharToVk(c.c, &shift), c.vk) << "U+" << std::hex << c.c;
        EXPECT_EQ(shift, c.shift) << "U+" << std::hex << c.c;
    }
}

TEST(TerminalInputKeyboard, ScanCodes) {
    struct Case {
        UINT vk;
        WORD scan;
        BOOL extended;
    };
    const Case cases[] = {
        {VK_UP, 0x48, TRUE},       {VK_RETURN, 0x1C, FALSE},   {VK_DIVIDE, 0x35, TRUE},
        {VK_OEM_2, 0x35, FALSE},   {VK_RCONTROL, 0x1D, TRUE},  {VK_CONTROL, 0x1D, FALSE},
        {VK_CANCEL, 0x46, TRUE},   {VK_SCROLL, 0x46, FALSE},   {VK_F11, 0x57, FALSE},
        {VK_F13, 0, FALSE},        {VK_SEPARATOR, 0, FALSE},   {'Q', 0x10, FALSE},
        {VK_NUMPAD0, 0x52, FALSE}, {VK_INSERT, 0x52, TRUE},    {300, 0, FALSE},
    };
    for (const Case& c : cases) {
        BOOL extended = 2;
        EXPECT_EQ(VkScanCode(c.vk, &extended), c.scan) << "vk 0x" << std::hex << c.vk;
        EXPECT_EQ(extended, c.extended) << "vk 0x" << std::hex << c.vk;
    }
}

// ---- the process-wide decoder ------------------------------------------------------------

Records gSunk;

void TestSink(const INPUT_RECORD* records, size_t count) {
    gSunk.insert(gSunk.end(), records, records + count);
}

TERMINAL_INPUT_CONTEXT gTestContext;

void TestContext(TERMINAL_INPUT_CONTEXT* context) { *context = gTestContext; }

std::vector<std::string> TakeSunk() {
    std::vector<std::string> lines = Describe(gSunk);
    gSunk.clear();
    return lines;
}

void FeedProcess(const std::string& bytes, uint64_t now) {
    TerminalInputFeed(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), now);
}

TEST(TerminalInputProcess, EntryPoints) {
    TerminalInputSetSink(TestSink);
    TerminalInputReset(false);
    EXPECT_EQ(TerminalInputTimeoutMs(), -1);

    FeedProcess("a" ESC, 1000);
    EXPECT_EQ(TakeSunk(), Describe(Tap('A', 0x1E, 'a', N)));
    EXPECT_EQ(TerminalInputTimeoutMs(), 40);
    TerminalInputFlushPending(1040);
    EXPECT_EQ(TakeSunk(), Describe(Tap(VK_ESCAPE, 0x01, 27, N)));
    EXPECT_EQ(TerminalInputTimeoutMs(), -1);
    FeedProcess(ESC "[1;5", 1100);
    EXPECT_EQ(TerminalInputTimeoutMs(), 1000);
    TerminalInputFlushPending(2100);
    EXPECT_TRUE(gSunk.empty());

    // Mouse positions come through the context source.
    gTestContext = {{10, 20, 89, 44}, TRUE};
    TerminalInputSetContextSource(TestContext);
    FeedProcess(ESC "[<64;1;1M", 3000);
    EXPECT_EQ(TakeSunk(), Describe(Mouse(10, 20, 120u << 16, N, MOUSE_WHEELED)));
    gTestContext.mouseReporting = FALSE;
    FeedProcess(ESC "[<64;1;1M", 3000);
    EXPECT_TRUE(gSunk.empty());
    TerminalInputSetContextSource(nullptr);
    FeedProcess(ESC "[<64;1;1M", 3000);
    EXPECT_EQ(TakeSunk(), Describe(Mouse(0, 0, 120u << 16, N, MOUSE_WHEELED)));

    // The start-up query and the kitty protocol.
    EXPECT_FALSE(TerminalInputKittyAnswerSeen());
    EXPECT_FALSE(TerminalInputDeviceAttributesSeen());
    FeedProcess(ESC "[?31u" ESC "[?62c", 4000);
    EXPECT_TRUE(TerminalInputKittyAnswerSeen());
    EXPECT_TRUE(TerminalInputDeviceAttributesSeen());
    TerminalInputSetKittyActive(true);
    FeedProcess(ESC "[97;1:1u", 4000);
    EXPECT_EQ(TakeSunk(), Describe(Down('A', 0x1E, 'a', 0)));

    // A reset forgets everything but the sink, and knows the Linux console.
    TerminalInputReset(true);
    EXPECT_FALSE(TerminalInputKittyAnswerSeen());
    FeedProcess(ESC "[25~" ESC "[97;1:1u", 5000);
    // Without the kitty protocol a CSI u key is a whole tap.
    EXPECT_EQ(TakeSunk(), Describe(Cat({Tap(VK_F1, 0x3B, 0, N | S), Tap('A', 0x1E, 'a', N)})));

    // Without a sink the records are dropped.
    TerminalInputSetSink(nullptr);
    FeedProcess("abc", 6000);
    EXPECT_TRUE(gSunk.empty());
    TerminalInputReset(false);
}


// ---- round trip through libvterm's encoder --------------------------------------------------

// libvterm plays the terminal: its keyboard and mouse functions write the
// bytes a terminal would send for a key or a mouse action.
class VtermEncoder {
  public:
    VtermEncoder() : vt_(vterm_new(25, 200)) {
        vterm_set_utf8(vt_, 1);
        vterm_screen_reset(vterm_obtain_screen(vt_), 1);
        vterm_output_set_callback(vt_, Capture, this);
    }
    ~VtermEncoder() { vterm_free(vt_); }
    VtermEncoder(const VtermEncoder&) = delete;
    VtermEncoder& operator=(const VtermEncoder&) = delete;

    // Sets a terminal mode, as the program would by writing to the terminal.
    void Mode(const std::string& sequence) {
        vterm_input_write(vt_, sequence.data(), sequence.size());
        out_.clear();
    }
    std::string Key(VTermKey key, int mods) {
        out_.clear();
        vterm_keyboard_key(vt_, key, static_cast<VTermModifier>(mods));
        return out_;
    }
    std::string Char(uint32_t c, int mods) {
        out_.clear();
        vterm_keyboard_unichar(vt_, c, static_cast<VTermModifier>(mods));
        return out_;
    }
    VTerm* vt() { return vt_; }
    std::string Take() {
        std::string bytes;
        bytes.swap(out_);
        return bytes;
    }

  private:
    static void Capture(const char* bytes, size_t length, void* user) {
        static_cast<VtermEncoder*>(user)->out_.append(bytes, length);
    }
    VTerm* vt_;
    std::string out_;
};

// Decodes what a terminal sent for one key, letting a lone ESC time out.
Records DecodeKey(const std::string& bytes) {
    Harness h;
    if (h.Feed(bytes))
        h.Silence();
    return h.out;
}

DWORD StateOf(int mods) {
    return ((mods & VTERM_MOD_SHIFT) ? S : 0) | ((mods & VTERM_MOD_ALT) ? LA : 0) |
           ((mods & VTERM_MOD_CTRL) ? LC : 0);
}

std::string Printable(const std::string& bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c < 0x20 || c > 0x7E ? "\\x%02x" : "%c", c);
        text += hex;
    }
    return text;
}

// One key down and one key up of `vk` holding exactly the modifiers `state`.
void ExpectOneKey(const Records& records, WORD vk, DWORD state, const std::string& bytes) {
    SCOPED_TRACE("bytes " + Printable(bytes));
    ASSERT_EQ(records.size(), 2u) << ::testing::PrintToString(Describe(records));
    EXPECT_TRUE(records[0].Event.KeyEvent.bKeyDown);
    EXPECT_FALSE(records[1].Event.KeyEvent.bKeyDown);
    for (const INPUT_RECORD& r : records) {
        EXPECT_EQ(r.EventType, KEY_EVENT);
        EXPECT_EQ(r.Event.KeyEvent.wVirtualKeyCode, vk);
        EXPECT_EQ(r.Event.KeyEvent.dwControlKeyState & (S | LA | RA | LC | RC), state);
    }
}

TEST(TerminalInputRoundTrip, NamedKeysWithEveryModifier) {
    struct Named {
        VTermKey key;
        WORD vk;
    };
    std::vector<Named> keys = {
        {VTERM_KEY_ENTER, VK_RETURN}, {VTERM_KEY_TAB, VK_TAB},
        {VTERM_KEY_BACKSPACE, VK_BACK}, {VTERM_KEY_ESCAPE, VK_ESCAPE},
        {VTERM_KEY_UP, VK_UP},         {VTERM_KEY_DOWN, VK_DOWN},
        {VTERM_KEY_LEFT, VK_LEFT},     {VTERM_KEY_RIGHT, VK_RIGHT},
        {VTERM_KEY_INS, VK_INSERT},    {VTERM_KEY_DEL, VK_DELETE},
        {VTERM_KEY_HOME, VK_HOME},     {VTERM_KEY_END, VK_END},
        {VTERM_KEY_PAGEUP, VK_PRIOR},  {VTERM_KEY_PAGEDOWN, VK_NEXT},
    };
    for (int f = 1; f <= 12; ++f)
        keys.push_back({static_cast<VTermKey>(VTERM_KEY_FUNCTION(f)),
                        static_cast<WORD>(VK_F1 + f - 1)});
    VtermEncoder vt;
    for (const Named& k : keys) {
        for (int mods = 0; mods < 8; ++mods) {
            // Alt+Escape is sent as two ESC bytes, which read as two Escapes.
            if (k.key == VTERM_KEY_ESCAPE && mods == VTERM_MOD_ALT)
                continue;
            SCOPED_TRACE("vk 0x" + std::to_string(k.vk) + " mods " + std::to_string(mods));
            const std::string bytes = vt.Key(k.key, mods);
            ExpectOneKey(DecodeKey(bytes), k.vk, StateOf(mods), bytes);
        }
    }
}

// In the application modes the cursor keys and the keypad send SS3 forms.
TEST(TerminalInputRoundTrip, ApplicationCursorAndKeypad) {
    struct Named {
        VTermKey key;
        WORD vk;
    };
    std::vector<Named> keys = {
        {VTERM_KEY_UP, VK_UP},           {VTERM_KEY_LEFT, VK_LEFT},
        {VTERM_KEY_HOME, VK_HOME},       {VTERM_KEY_KP_MULT, VK_MULTIPLY},
        {VTERM_KEY_KP_PLUS, VK_ADD},     {VTERM_KEY_KP_COMMA, VK_SEPARATOR},
        {VTERM_KEY_KP_MINUS, VK_SUBTRACT}, {VTERM_KEY_KP_PERIOD, VK_DECIMAL},
        {VTERM_KEY_KP_DIVIDE, VK_DIVIDE}, {VTERM_KEY_KP_ENTER, VK_RETURN},
        {VTERM_KEY_KP_EQUAL, VK_OEM_PLUS},
    };
    for (int d = 0; d <= 9; ++d)
        keys.push_back({static_cast<VTermKey>(VTERM_KEY_KP_0 + d), static_cast<WORD>(VK_NUMPAD0 + d)});
    VtermEncoder vt;
    vt.Mode(ESC "=" ESC "[?1h");
    for (const Named& k : keys) {
        SCOPED_TRACE("vk 0x" + std::to_string(k.vk));
        const std::string bytes = vt.Key(k.key, 0);
        ExpectOneKey(DecodeKey(bytes), k.vk, 0, bytes);
    }
    // The cursor keys with modifiers leave the application form.
    const std::string bytes = vt.Key(VTERM_KEY_UP, VTERM_MOD_CTRL | VTERM_MOD_SHIFT);
    ExpectOneKey(DecodeKey(bytes), VK_UP, LC | S, bytes);
}

// Letters with Alt and Ctrl; libvterm sends Shift as the capital letter.
TEST(TerminalInputRoundTrip, Letters) {
    VtermEncoder vt;
    for (char c = 'a'; c <= 'z'; ++c) {
        for (int mods : {0, +VTERM_MOD_ALT, +VTERM_MOD_CTRL, VTERM_MOD_ALT | VTERM_MOD_CTRL}) {
            // Ctrl+H is the byte 0x08, which every terminal also sends for
            // Ctrl+Backspace; it reads as that.
            if (c == 'h' && (mods & VTERM_MOD_CTRL))
                continue;
            SCOPED_TRACE(std::string("letter ") + c + " mods " + std::to_string(mods));
            const std::string bytes = vt.Char(static_cast<uint32_t>(c), mods);
            const Records records = DecodeKey(bytes);
            ExpectOneKey(records, static_cast<WORD>(c - 32), StateOf(mods), bytes);
            const WCHAR expected = (mods & VTERM_MOD_CTRL) ? ((mods & VTERM_MOD_ALT) ? 0 : c - 96) : c;
            for (const INPUT_RECORD& r : records)
                EXPECT_EQ(r.Event.KeyEvent.uChar.UnicodeChar, expected);
        }
    }
}

// Digits and punctuation, plain and with Alt: the US key that types each.
TEST(TerminalInputRoundTrip, DigitsAndPunctuation) {
    struct Typed {
        char c;
        WORD vk;
        bool shift;
    };
    const Typed typed[] = {
        {'1', '1', false},           {'!', '1', true},           {'2', '2', false},
        {'@', '2', true},            {'0', '0', false},          {')', '0', true},
        {'-', VK_OEM_MINUS, false},  {'_', VK_OEM_MINUS, true},  {'=', VK_OEM_PLUS, false},
        {'+', VK_OEM_PLUS, true},    {'[', VK_OEM_4, false},     {'{', VK_OEM_4, true},
        {']', VK_OEM_6, false},      {'}', VK_OEM_6, true},      {'\\', VK_OEM_5, false},
        {'|', VK_OEM_5, true},       {';', VK_OEM_1, false},     {':', VK_OEM_1, true},
        {'\'', VK_OEM_7, false},     {'"', VK_OEM_7, true},      {',', VK_OEM_COMMA, false},
        {'<', VK_OEM_COMMA, true},   {'.', VK_OEM_PERIOD, false}, {'>', VK_OEM_PERIOD, true},
        {'/', VK_OEM_2, false},      {'?', VK_OEM_2, true},      {'`', VK_OEM_3, false},
        {'~', VK_OEM_3, true},
    };
    VtermEncoder vt;
    for (const Typed& t : typed) {
        for (int mods : {0, +VTERM_MOD_ALT}) {
            SCOPED_TRACE(std::string("character ") + t.c + " mods " + std::to_string(mods));
            const std::string bytes = vt.Char(static_cast<uint32_t>(t.c), mods);
            const Records records = DecodeKey(bytes);
            ExpectOneKey(records, t.vk, StateOf(mods) | (t.shift ? S : 0), bytes);
            for (const INPUT_RECORD& r : records)
                EXPECT_EQ(r.Event.KeyEvent.uChar.UnicodeChar, static_cast<WCHAR>(t.c));
        }
    }
}

TEST(TerminalInputRoundTrip, SpaceWithEveryModifier) {
    VtermEncoder vt;
    for (int mods = 0; mods < 8; ++mods) {
        SCOPED_TRACE("mods " + std::to_string(mods));
        const std::string bytes = vt.Char(' ', mods);
        ExpectOneKey(DecodeKey(bytes), VK_SPACE, StateOf(mods), bytes);
    }
}

// Characters beyond ASCII arrive as UTF-8 and become packets.
TEST(TerminalInputRoundTrip, CharactersBeyondAscii) {
    struct Text {
        uint32_t c;
        std::u16string units;
    };
    const Text texts[] = {{0xE9, u"\u00E9"}, {0x4E2D, u"\u4E2D"}, {0x1F600, u"\U0001F600"}};
    VtermEncoder vt;
    for (const Text& t : texts) {
        SCOPED_TRACE(t.c);
        const Records records = DecodeKey(vt.Char(t.c, 0));
        ASSERT_EQ(records.size(), 2 * t.units.size());
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].Event.KeyEvent.wVirtualKeyCode, VK_PACKET);
            EXPECT_EQ(records[i].Event.KeyEvent.uChar.UnicodeChar, t.units[i / 2]);
            EXPECT_EQ(records[i].Event.KeyEvent.bKeyDown, i % 2 == 0);
        }
    }
}

TEST(TerminalInputRoundTrip, PastedTextIsTypedText) {
    VtermEncoder vt;
    vt.Mode(ESC "[?2004h");
    vterm_keyboard_start_paste(vt.vt());
    vterm_keyboard_unichar(vt.vt(), 'x', VTERM_MOD_NONE);
    vterm_keyboard_end_paste(vt.vt());
    const std::string bytes = vt.Take();
    EXPECT_EQ(Describe(DecodeKey(bytes)), Describe(Tap('X', 0x2D, 'x', N)));
}

// The same mouse actions reported in the SGR form and in the X10 form.
TEST(TerminalInputRoundTrip, Mouse) {
    for (bool sgr : {true, false}) {
        SCOPED_TRACE(sgr ? "SGR reports" : "X10 reports");
        VtermEncoder vt;
        vt.Mode(sgr ? ESC "[?1000h" ESC "[?1002h" ESC "[?1006h" : ESC "[?1000h" ESC "[?1002h");
        VTerm* t = vt.vt();
        vterm_mouse_move(t, 4, 9, VTERM_MOD_NONE); // row 4, column 9
        vterm_mouse_button(t, 1, true, VTERM_MOD_NONE);
        vterm_mouse_move(t, 5, 9, VTERM_MOD_NONE);
        vterm_mouse_button(t, 1, false, VTERM_MOD_NONE);
        vterm_mouse_button(t, 3, true, VTERM_MOD_CTRL);
        vterm_mouse_button(t, 3, false, VTERM_MOD_CTRL);
        vterm_mouse_move(t, 0, 0, VTERM_MOD_NONE);
        vterm_mouse_button(t, 4, true, VTERM_MOD_SHIFT);
        vterm_mouse_button(t, 5, true, VTERM_MOD_NONE);
        vterm_mouse_button(t, 2, true, VTERM_MOD_ALT);
        vterm_mouse_button(t, 2, false, VTERM_MOD_ALT);
        const Records expected = Cat({
            Mouse(9, 4, FROM_LEFT_1ST_BUTTON_PRESSED, N, 0),
            Mouse(9, 5, FROM_LEFT_1ST_BUTTON_PRESSED, N, MOUSE_MOVED),
            Mouse(9, 5, 0, N, 0),
            Mouse(9, 5, RIGHTMOST_BUTTON_PRESSED, N | LC, 0),
            Mouse(9, 5, 0, N | LC, 0),
            Mouse(0, 0, 120u << 16, N | S, MOUSE_WHEELED),
            Mouse(0, 0, 0xFF88u << 16, N, MOUSE_WHEELED),
            Mouse(0, 0, FROM_LEFT_2ND_BUTTON_PRESSED, N | LA, 0),
            Mouse(0, 0, 0, N | LA, 0),
        });
        const std::string bytes = vt.Take();
        SCOPED_TRACE("bytes " + Printable(bytes));
        Harness h;
        EXPECT_FALSE(h.Feed(bytes));
        EXPECT_EQ(h.Take(), Describe(expected));
    }
}

} // namespace
