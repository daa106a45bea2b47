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
             {"CSI A is still Up", ESC "[A", Tap(VK_UP, 0x48, 0, N | E)},
             {"CSI 97 u is a tap", ESC "[97u", Tap('A', 0x1E, 'a', N)},
             {"CSI 27 ~ is no key", ESC "[27~", {}},
             {"focus in", ESC "[I", Focus(true)},
             {"mouse works the same", ESC "[<0;3;4M" ESC "[<0;3;4m",
              Cat({Mouse(2, 3, 1, N, 0), Mouse(2, 3, 0, N, 0)})},
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

} // namespace
