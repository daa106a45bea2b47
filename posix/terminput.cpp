// The terminal input decoder: bytes from the terminal in, console INPUT_RECORDs
// out. The core works on an explicit state record, a clock value and a context;
// the process-wide entry points at the end wrap one decoder for the console's
// input thread.
#include "internal/terminput_decoder.h"

#include <array>
#include <iterator>
#include <cstring>
#include <type_traits>

// The console's record sink, which queues what the decoder makes. It is
// registered through TerminalInputSetSink rather than called by name, so the
// decoder links without the console; the declaration pins its signature.
void ConsoleInputSink(const INPUT_RECORD* records, size_t count);
static_assert(std::is_same_v<decltype(&ConsoleInputSink), TERMINAL_INPUT_SINK_FN>);

namespace {

constexpr unsigned char ESC = 0x1B;
constexpr DWORD kAltBits = LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED;
constexpr DWORD kCtrlBits = LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED;
constexpr DWORD kModifierBits = kAltBits | kCtrlBits | SHIFT_PRESSED;

// ---- the keyboard tables -----------------------------------------------------------------------

struct KeyInfo {
    uint8_t scan;
    bool extended;
    uint8_t plain;   // character typed without Shift; 0 none
    uint8_t shifted; // character typed with Shift; 0 none
};

constexpr std::array<KeyInfo, 256> BuildKeyTable() {
    std::array<KeyInfo, 256> t{};
    auto scan = [&t](WORD vk, uint8_t code, bool extended = false) {
        t[vk].scan = code;
        t[vk].extended = extended;
    };
    auto chars = [&t](WORD vk, char plain, char shifted) {
        t[vk].plain = static_cast<uint8_t>(plain);
        t[vk].shifted = static_cast<uint8_t>(shifted);
    };

    scan(VK_CANCEL, 0x46, true);
    scan(VK_PRIOR, 0x49, true);
    scan(VK_NEXT, 0x51, true);
    scan(VK_END, 0x4F, true);
    scan(VK_HOME, 0x47, true);
    scan(VK_LEFT, 0x4B, true);
    scan(VK_UP, 0x48, true);
    scan(VK_RIGHT, 0x4D, true);
    scan(VK_DOWN, 0x50, true);
    scan(VK_INSERT, 0x52, true);
    scan(VK_DELETE, 0x53, true);
    scan(VK_LWIN, 0x5B, true);
    scan(VK_RWIN, 0x5C, true);
    scan(VK_APPS, 0x5D, true);
    scan(VK_DIVIDE, 0x35, true);
    scan(VK_RCONTROL, 0x1D, true);
    scan(VK_RMENU, 0x38, true);

    scan(VK_BACK, 0x0E);
    scan(VK_TAB, 0x0F);
    scan(VK_CLEAR, 0x4C);
    scan(VK_RETURN, 0x1C);
    scan(VK_SHIFT, 0x2A);
    scan(VK_CONTROL, 0x1D);
    scan(VK_MENU, 0x38);
    scan(VK_PAUSE, 0x1D);
    scan(VK_CAPITAL, 0x3A);
    scan(VK_ESCAPE, 0x01);
    scan(VK_SPACE, 0x39);
    scan(VK_SNAPSHOT, 0x54);
    for (WORD d = 1; d <= 9; ++d)
        scan('0' + d, static_cast<uint8_t>(0x01 + d));
    scan('0', 0x0B);
    constexpr uint8_t kLetters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                      0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                      0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    for (WORD i = 0; i < 26; ++i)
        scan('A' + i, kLetters[i]);
    constexpr uint8_t kPad[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
    for (WORD i = 0; i < 10; ++i)
        scan(VK_NUMPAD0 + i, kPad[i]);
    scan(VK_MULTIPLY, 0x37);
    scan(VK_ADD, 0x4E);
    scan(VK_SUBTRACT, 0x4A);
    scan(VK_DECIMAL, 0x53);
    for (WORD i = 0; i < 10; ++i)
        scan(VK_F1 + i, static_cast<uint8_t>(0x3B + i));
    scan(VK_F11, 0x57);
    scan(VK_F12, 0x58);
    scan(VK_NUMLOCK, 0x45);
    scan(VK_SCROLL, 0x46);
    scan(VK_LSHIFT, 0x2A);
    scan(VK_RSHIFT, 0x36);
    scan(VK_LCONTROL, 0x1D);
    scan(VK_LMENU, 0x38);
    scan(VK_OEM_1, 0x27);
    scan(VK_OEM_PLUS, 0x0D);
    scan(VK_OEM_COMMA, 0x33);
    scan(VK_OEM_MINUS, 0x0C);
    scan(VK_OEM_PERIOD, 0x34);
    scan(VK_OEM_2, 0x35);
    scan(VK_OEM_3, 0x29);
    scan(VK_OEM_4, 0x1A);
    scan(VK_OEM_5, 0x2B);
    scan(VK_OEM_6, 0x1B);
    scan(VK_OEM_7, 0x28);
    scan(VK_OEM_102, 0x56);

    chars(VK_BACK, 8, 8);
    chars(VK_TAB, 9, 9);
    chars(VK_RETURN, 13, 13);
    chars(VK_ESCAPE, 27, 27);
    chars(VK_SPACE, ' ', ' ');
    chars(VK_CANCEL, 3, 3);
    constexpr char kDigitsShifted[11] = ")!@#$%^&*(";
    for (WORD d = 0; d <= 9; ++d) {
        chars('0' + d, static_cast<char>('0' + d), kDigitsShifted[d]);
        chars(VK_NUMPAD0 + d, static_cast<char>('0' + d), 0);
    }
    chars(VK_MULTIPLY, '*', '*');
    chars(VK_ADD, '+', '+');
    chars(VK_SUBTRACT, '-', '-');
    chars(VK_DECIMAL, '.', 0);
    chars(VK_DIVIDE, '/', '/');
    chars(VK_OEM_1, ';', ':');
    chars(VK_OEM_PLUS, '=', '+');
    chars(VK_OEM_COMMA, ',', '<');
    chars(VK_OEM_MINUS, '-', '_');
    chars(VK_OEM_PERIOD, '.', '>');
    chars(VK_OEM_2, '/', '?');
    chars(VK_OEM_3, '`', '~');
    chars(VK_OEM_4, '[', '{');
    chars(VK_OEM_5, '\\', '|');
    chars(VK_OEM_6, ']', '}');
    chars(VK_OEM_7, '\'', '"');
    chars(VK_OEM_102, '\\', '|');
    return t;
}

constexpr std::array<KeyInfo, 256> kKeys = BuildKeyTable();

bool IsNumpadKey(UINT vk) { return vk >= VK_NUMPAD0 && vk <= VK_DIVIDE; }

// A Unicode scalar value: what may become a character of a record.
bool IsScalar(int64_t c) { return c >= 0 && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// ---- records out ---------------------------------------------------------------------------

enum Mode { kTap = 0, kPress = 1, kRepeat = 2, kRelease = 3 };

// The key record last made by a key emission, for the kitty release memory.
struct KeyMemo {
    bool made;
    WORD vk;
    WCHAR ch;
    DWORD state;
};

// Collects records and hands them to the sink in batches, in order.
struct Output {
    TERMINAL_DECODER* d;
    const TERMINAL_INPUT_CONTEXT* context;
    TERMINAL_RECORD_SINK sink;
    void* user;
    uint64_t now;
    INPUT_RECORD batch[64];
    size_t count;

    void Put(const INPUT_RECORD& record) {
        if (sink == nullptr)
            return;
        batch[count++] = record;
        if (count == std::size(batch))
            Flush();
    }
    void Flush() {
        if (count > 0 && sink != nullptr)
            sink(user, batch, count);
        count = 0;
    }
};

// One KEY_EVENT, repeat count 1. `enhanced` above 0 sets ENHANCED_KEY, -1
// takes it from the table, 0 leaves it off.
void EmitKeyRecord(Output& o, bool down, WORD vk, int enhanced, WCHAR ch, DWORD state) {
    INPUT_RECORD r{};
    r.EventType = KEY_EVENT;
    KEY_EVENT_RECORD& k = r.Event.KeyEvent;
    k.bKeyDown = down ? TRUE : FALSE;
    k.wRepeatCount = 1;
    k.wVirtualKeyCode = vk;
    BOOL extended = FALSE;
    k.wVirtualScanCode = vk == VK_PACKET ? 0 : VkScanCode(vk, &extended);
    k.uChar.UnicodeChar = ch;
    if (enhanced > 0 || (enhanced < 0 && extended))
        state |= ENHANCED_KEY;
    k.dwControlKeyState = state;
    o.Put(r);
}

// A key in a mode: a tap is a key down and a key up, a press and a repeat a
// key down, a release a key up. The lock state is added to `state`; a
// character of -1 is what the key types under that state.
KeyMemo EmitKey(Output& o, int mode, WORD vk, int enhanced, int64_t ch, DWORD state) {
    state |= o.d->lockState;
    if (ch < 0) {
        const int typed = VkToChar(vk, state);
        ch = typed < 0 ? 0 : typed;
    }
    const WCHAR unit = static_cast<WCHAR>(ch);
    if (mode != kRelease)
        EmitKeyRecord(o, true, vk, enhanced, unit, state);
    if (mode == kTap || mode == kRelease)
        EmitKeyRecord(o, false, vk, enhanced, unit, state);
    return KeyMemo{true, vk, unit, state};
}

// A character as the key that types it, or as VK_PACKET when no key does.
// Characters that are not Unicode scalar values make nothing, so no lone
// surrogate ever reaches the queue.
KeyMemo EmitCharKey(Output& o, int mode, int64_t c, DWORD state) {
    if (!IsScalar(c))
        return KeyMemo{};
    if (c >= 32 && c <= 126) {
        BOOL shift = FALSE;
        const WORD vk = CharToVk(static_cast<uint32_t>(c), &shift);
        if (vk != 0)
            return EmitKey(o, mode, vk, -1, (state & kCtrlBits) ? -1 : c,
                           state | (shift ? SHIFT_PRESSED : 0));
    }
    if (c >= 32 && c != 127) {
        if (c > 0xFFFF) {
            const int64_t v = c - 0x10000;
            EmitKey(o, mode, VK_PACKET, 0, 0xD800 + (v >> 10), state);
            return EmitKey(o, mode, VK_PACKET, 0, 0xDC00 + (v & 0x3FF), state);
        }
        return EmitKey(o, mode, VK_PACKET, 0, c, state);
    }
    if (c == 127)
        return EmitKey(o, mode, VK_BACK, -1, -1, state);
    // Control bytes are Ctrl and a key; 0x08 is Ctrl+Backspace, since 0x7F is
    // the Backspace key of every terminal.
    switch (c) {
    case 0:
        return EmitKey(o, mode, VK_SPACE, -1, -1, state | LEFT_CTRL_PRESSED);
    case 8:
        return EmitKey(o, mode, VK_BACK, -1, -1, state | LEFT_CTRL_PRESSED);
    case 9:
        return EmitKey(o, mode, VK_TAB, -1, -1, state);
    case 13:
        return EmitKey(o, mode, VK_RETURN, -1, -1, state);
    case 27:
        return EmitKey(o, mode, VK_ESCAPE, -1, -1, state);
    case 28:
        return EmitKey(o, mode, VK_OEM_5, -1, -1, state | LEFT_CTRL_PRESSED);
    case 29:
        return EmitKey(o, mode, VK_OEM_6, -1, -1, state | LEFT_CTRL_PRESSED);
    case 30:
        return EmitKey(o, mode, '6', -1, -1, state | LEFT_CTRL_PRESSED | SHIFT_PRESSED);
    case 31:
        return EmitKey(o, mode, VK_OEM_MINUS, -1, -1, state | LEFT_CTRL_PRESSED | SHIFT_PRESSED);
    default: // 1..26: Ctrl and a letter
        return EmitKey(o, mode, static_cast<WORD>(c + 64), -1, -1, state | LEFT_CTRL_PRESSED);
    }
}

void EmitEscapeKey(Output& o) { EmitKey(o, kTap, VK_ESCAPE, -1, -1, 0); }

void EmitFocus(Output& o, bool focus) {
    INPUT_RECORD r{};
    r.EventType = FOCUS_EVENT;
    r.Event.FocusEvent.bSetFocus = focus ? TRUE : FALSE;
    o.Put(r);
}

// ---- mouse -------------------------------------------------------------------------------------

// A cell index from a report (counted from 1; 0 is taken as 1) as a position
// inside the window, or inside the range of a SHORT when no window is known.
SHORT MousePosition(int64_t cell, const TERMINAL_INPUT_CONTEXT* context, bool vertical) {
    int64_t pos = cell - 1;
    if (pos < 0)
        pos = 0;
    if (context != nullptr) {
        const int64_t first = vertical ? context->window.Top : context->window.Left;
        const int64_t last = vertical ? context->window.Bottom : context->window.Right;
        const int64_t span = last - first;
        if (pos > span)
            pos = span;
        if (pos < 0)
            pos = 0;
        pos += first;
    }
    if (pos < 0)
        pos = 0;
    if (pos > 32767)
        pos = 32767;
    return static_cast<SHORT>(pos);
}

void TerminalMouseEvent(Output& o, int64_t b, int64_t column, int64_t row, bool release) {
    TERMINAL_DECODER* d = o.d;
    // Buttons 8 to 11 (back, forward, ...) are none of the console's buttons;
    // read as their low bits they would click the left or right button.
    if (b & 128)
        return;
    const SHORT x = MousePosition(column, o.context, false);
    const SHORT y = MousePosition(row, o.context, true);
    DWORD state = d->lockState;
    if (b & 4)
        state |= SHIFT_PRESSED;
    if (b & 8)
        state |= LEFT_ALT_PRESSED;
    if (b & 16)
        state |= LEFT_CTRL_PRESSED;

    INPUT_RECORD r{};
    r.EventType = MOUSE_EVENT;
    MOUSE_EVENT_RECORD& m = r.Event.MouseEvent;
    m.dwMousePosition.X = x;
    m.dwMousePosition.Y = y;
    m.dwControlKeyState = state;
    if (b & 64) {
        m.dwEventFlags = (b & 2) ? MOUSE_HWHEELED : MOUSE_WHEELED;
        const int64_t low = b & 3;
        const SHORT delta = (low == 0 || low == 3) ? 120 : -120;
        m.dwButtonState = d->mouse.buttons | (static_cast<DWORD>(static_cast<WORD>(delta)) << 16);
    } else if (b & 32) {
        m.dwEventFlags = MOUSE_MOVED;
        m.dwButtonState = d->mouse.buttons;
    } else {
        static constexpr DWORD kButtonBits[4] = {FROM_LEFT_1ST_BUTTON_PRESSED,
                                                 FROM_LEFT_2ND_BUTTON_PRESSED,
                                                 RIGHTMOST_BUTTON_PRESSED, 0};
        const int button = static_cast<int>(b & 3);
        if (release) {
            d->mouse.buttons &= button == 3 ? 0 : ~kButtonBits[button];
            m.dwEventFlags = 0;
        } else if (button != 3) {
            d->mouse.buttons |= kButtonBits[button];
            const bool again = d->mouse.lastButton == button && d->mouse.lastColumn == x &&
                               d->mouse.lastRow == y && o.now >= d->mouse.lastPressTime &&
                               o.now - d->mouse.lastPressTime < 501;
            if (again) {
                m.dwEventFlags = DOUBLE_CLICK;
                d->mouse.lastButton = -1; // a third click is a single one again
            } else {
                m.dwEventFlags = 0;
                d->mouse.lastButton = button;
                d->mouse.lastColumn = x;
                d->mouse.lastRow = y;
                d->mouse.lastPressTime = o.now;
            }
        }
        m.dwButtonState = d->mouse.buttons;
    }
    if (o.context == nullptr || o.context->mouseReporting)
        o.Put(r);
}

// ---- UTF-8 -------------------------------------------------------------------------------------

enum class Utf8Status { kOk, kIncomplete, kInvalid };

struct Utf8Char {
    Utf8Status status;
    uint32_t cp;
    size_t used;
};

// Only the shortest form of a scalar value is accepted: overlong forms,
// encoded surrogates and values above U+10FFFF make the lead byte invalid.
Utf8Char DecodeUtf8(const unsigned char* p, size_t n) {
    const unsigned char lead = p[0];
    size_t need;
    uint32_t cp;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        cp = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        cp = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return {Utf8Status::kInvalid, 0, 1};
    }
    for (size_t i = 1; i <= need; ++i) {
        if (i >= n)
            return {Utf8Status::kIncomplete, 0, 0};
        const unsigned char c = p[i];
        const unsigned char lo = i == 1 ? low : 0x80;
        const unsigned char hi = i == 1 ? high : 0xBF;
        if (c < lo || c > hi)
            return {Utf8Status::kInvalid, 0, 1};
        cp = (cp << 6) | (c & 0x3F);
    }
    return {Utf8Status::kOk, cp, need + 1};
}

// ---- CSI parameters ------------------------------------------------------------------------

constexpr int kMaxParams = 8;
constexpr int kMaxSubParams = 4;
constexpr int32_t kParamMax = 0x7FFFFFFF;

struct CsiParams {
    int32_t v[kMaxParams][kMaxSubParams]; // -1 when absent
    int count;                            // 0 when there are none
    unsigned char marker;                 // '<', '=', '>', '?' or 0
    bool odd;                             // intermediates or a misplaced marker
};

// Parameter n (from 1), sub-parameter s (from 1); -1 when absent.
int32_t Param(const CsiParams& p, int n, int s = 1) {
    if (n < 1 || n > p.count)
        return -1;
    return p.v[n - 1][s - 1];
}

CsiParams ParseParams(const unsigned char* p, size_t n) {
    CsiParams out;
    for (auto& param : out.v)
        for (int32_t& value : param)
            value = -1;
    out.marker = 0;
    out.odd = false;
    size_t i = 0;
    if (n > 0 && (p[0] == '<' || p[0] == '=' || p[0] == '>' || p[0] == '?'))
        out.marker = p[i++];
    const bool any = i < n;
    int index = 0, sub = 0;
    int64_t value = -1;
    auto store = [&] {
        if (index < kMaxParams && sub < kMaxSubParams)
            out.v[index][sub] = static_cast<int32_t>(value);
    };
    for (; i < n; ++i) {
        const unsigned char c = p[i];
        if (c >= '0' && c <= '9') {
            // Saturates: a huge number stays huge instead of wrapping round.
            value = (value < 0 ? 0 : value) * 10 + (c - '0');
            if (value > kParamMax)
                value = kParamMax;
        } else if (c == ';') {
            store();
            if (index < kMaxParams)
                ++index;
            sub = 0;
            value = -1;
        } else if (c == ':') {
            store();
            if (sub < kMaxSubParams)
                ++sub;
            value = -1;
        } else {
            out.odd = true;
        }
    }
    store();
    out.count = any ? (index < kMaxParams ? index + 1 : kMaxParams) : 0;
    return out;
}

// The xterm modifier parameter m as control-key bits.
DWORD XtermModifiers(int64_t m) {
    if (m < 2)
        return 0;
    const int64_t n = m - 1;
    DWORD state = 0;
    if (n & 1)
        state |= SHIFT_PRESSED;
    if (n & (2 | 8))
        state |= LEFT_ALT_PRESSED;
    if (n & 4)
        state |= LEFT_CTRL_PRESSED;
    return state;
}

// The code of a "CSI code ~" key; adds SHIFT_PRESSED for the shifted function
// keys. 0 when the code is no key.
WORD TildeCodeToVk(int64_t code, DWORD* state, bool linuxConsole) {
    switch (code) {
    case 1:
    case 7:
        return VK_HOME;
    case 2:
        return VK_INSERT;
    case 3:
        return VK_DELETE;
    case 4:
    case 8:
        return VK_END;
    case 5:
        return VK_PRIOR;
    case 6:
        return VK_NEXT;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
        return static_cast<WORD>(VK_F1 + (code - 11));
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
        return static_cast<WORD>(VK_F6 + (code - 17));
    case 23:
        return VK_F11;
    case 24:
        return VK_F12;
    default:
        break;
    }
    static constexpr int kShifted[8] = {25, 26, 28, 29, 31, 32, 33, 34};
    for (int i = 0; i < 8; ++i) {
        if (kShifted[i] == code) {
            *state |= SHIFT_PRESSED;
            return static_cast<WORD>((linuxConsole ? VK_F1 : VK_F3) + i);
        }
    }
    return 0;
}

// The keys the legacy and kitty tables share: arrows, Clear, End, Home, F1..F4.
WORD LetterFinalToVk(unsigned char final) {
    switch (final) {
    case 'A':
        return VK_UP;
    case 'B':
        return VK_DOWN;
    case 'C':
        return VK_RIGHT;
    case 'D':
        return VK_LEFT;
    case 'E':
        return VK_CLEAR;
    case 'F':
        return VK_END;
    case 'H':
        return VK_HOME;
    case 'P':
        return VK_F1;
    case 'Q':
        return VK_F2;
    case 'R':
        return VK_F3;
    case 'S':
        return VK_F4;
    default:
        return 0;
    }
}

// "$", "^" and "@" end rxvt's Shift, Ctrl and Ctrl+Shift forms of the "~" keys.
bool RxvtFinal(unsigned char final, DWORD* extra) {
    switch (final) {
    case '$':
        *extra = SHIFT_PRESSED;
        return true;
    case '^':
        *extra = LEFT_CTRL_PRESSED;
        return true;
    case '@':
        *extra = LEFT_CTRL_PRESSED | SHIFT_PRESSED;
        return true;
    default:
        return false;
    }
}

void EmitTildeKey(Output& o, int mode, int64_t code, DWORD state) {
    const WORD vk = TildeCodeToVk(code, &state, o.d->linuxConsole != FALSE);
    if (vk != 0)
        EmitKey(o, mode, vk, -1, -1, state);
}

// ---- kitty CSI u keys ----------------------------------------------------------------------

struct KittyKey {
    WORD vk;
    int enhanced;
    int ch; // -1: computed
};

// The functional keys the kitty protocol numbers in the private-use area and
// its numbers for Escape, Tab, Enter and Backspace.
bool KittyFunctionalKey(int64_t code, KittyKey* key) {
    if (code >= 57399 && code <= 57408) {
        *key = {static_cast<WORD>(VK_NUMPAD0 + (code - 57399)), 0, -1};
        return true;
    }
    if (code >= 57376 && code <= 57387) {
        *key = {static_cast<WORD>(VK_F13 + (code - 57376)), -1, -1};
        return true;
    }
    if (code >= 57417 && code <= 57426) {
        static constexpr WORD kPadMoves[10] = {VK_LEFT,  VK_RIGHT, VK_UP,  VK_DOWN,   VK_PRIOR,
                                               VK_NEXT,  VK_HOME,  VK_END, VK_INSERT, VK_DELETE};
        *key = {kPadMoves[code - 57417], 0, -1};
        return true;
    }
    switch (code) {
    case 57409:
        *key = {VK_DECIMAL, -1, -1};
        return true;
    case 57410:
        *key = {VK_DIVIDE, -1, -1};
        return true;
    case 57411:
        *key = {VK_MULTIPLY, -1, -1};
        return true;
    case 57412:
        *key = {VK_SUBTRACT, -1, -1};
        return true;
    case 57413:
        *key = {VK_ADD, -1, -1};
        return true;
    case 57414:
        *key = {VK_RETURN, 1, -1};
        return true;
    case 57415:
        *key = {VK_OEM_PLUS, -1, '='};
        return true;
    case 57416:
        *key = {VK_SEPARATOR, -1, -1};
        return true;
    case 57427:
        *key = {VK_CLEAR, -1, -1};
        return true;
    case 57358:
        *key = {VK_CAPITAL, -1, -1};
        return true;
    case 57359:
        *key = {VK_SCROLL, -1, -1};
        return true;
    case 57360:
        *key = {VK_NUMLOCK, -1, -1};
        return true;
    case 57361:
        *key = {VK_SNAPSHOT, -1, -1};
        return true;
    case 57362:
        *key = {VK_PAUSE, -1, -1};
        return true;
    case 57363:
        *key = {VK_APPS, -1, -1};
        return true;
    case 57444:
        *key = {VK_LWIN, -1, -1};
        return true;
    case 57450:
        *key = {VK_RWIN, -1, -1};
        return true;
    case 27:
        *key = {VK_ESCAPE, -1, -1};
        return true;
    case 9:
        *key = {VK_TAB, -1, -1};
        return true;
    case 13:
        *key = {VK_RETURN, -1, -1};
        return true;
    case 127:
        *key = {VK_BACK, -1, -1};
        return true;
    default:
        return false;
    }
}

// The kitty numbers of the modifier keys, with the key and the control-key bit.
bool KittyModifierKey(int64_t code, WORD* vk, int* enhanced, DWORD* bit) {
    switch (code) {
    case 57441: // left Shift
    case 57447: // right Shift
        *vk = VK_SHIFT, *enhanced = -1, *bit = SHIFT_PRESSED;
        return true;
    case 57442:
        *vk = VK_CONTROL, *enhanced = -1, *bit = LEFT_CTRL_PRESSED;
        return true;
    case 57443:
        *vk = VK_MENU, *enhanced = -1, *bit = LEFT_ALT_PRESSED;
        return true;
    case 57448:
        *vk = VK_CONTROL, *enhanced = 1, *bit = RIGHT_CTRL_PRESSED;
        return true;
    case 57449:
        *vk = VK_MENU, *enhanced = 1, *bit = RIGHT_ALT_PRESSED;
        return true;
    default:
        return false;
    }
}

// The last step of a text key: the character on its own.
void EmitKittyText(Output& o, int mode, int64_t code, int64_t c, DWORD state) {
    TERMINAL_DECODER* d = o.d;
    if (mode == kRelease) {
        if (c < 0x10000)
            EmitKey(o, kRelease, VK_PACKET, 0, c, state);
        return;
    }
    const KeyMemo memo = EmitCharKey(o, mode, c, state);
    if (mode == kPress && c < 0x10000 && memo.made) {
        d->lastKittyPress.code = static_cast<int32_t>(code);
        d->lastKittyPress.virtualKey = memo.vk;
        d->lastKittyPress.character = memo.ch;
        d->lastKittyPress.state = memo.state;
    }
}

// A "CSI code ; modifiers ; text u" key in a mode, `state` holding the modifiers.
void EmitCsiUKey(Output& o, const CsiParams& p, int mode, DWORD state, int64_t text) {
    TERMINAL_DECODER* d = o.d;
    const int64_t code = Param(p, 1);
    const int64_t base = Param(p, 1, 3);

    KittyKey key;
    if (KittyFunctionalKey(code, &key)) {
        EmitKey(o, mode, key.vk, key.enhanced, key.ch, state);
        return;
    }
    WORD modifierVk;
    int enhanced;
    DWORD bit;
    if (KittyModifierKey(code, &modifierVk, &enhanced, &bit)) {
        if (mode == kRelease)
            d->trackedModifiers &= ~bit;
        else
            d->trackedModifiers |= bit;
        state = (state & ~kModifierBits) | d->trackedModifiers;
        EmitKey(o, mode, modifierVk, enhanced, -1, state);
        return;
    }
    if (code < 32 || !IsScalar(code))
        return;
    // The rest of kitty's private-use numbers are functional keys the console
    // has no key for (media keys, Hyper, Meta, level shifts, F25 and up);
    // they type nothing.
    if (code >= 0xE000 && code <= 0xF8FF)
        return;
    if (!(text >= 1 && IsScalar(text)))
        text = -1;

    // A release of the text key last pressed repeats that press's record.
    if (mode == kRelease && d->lastKittyPress.code == code) {
        EmitKeyRecord(o, false, d->lastKittyPress.virtualKey, -1, d->lastKittyPress.character,
                      d->lastKittyPress.state);
        d->lastKittyPress = {};
        return;
    }

    int64_t ch = -1;
    if (code < 128)
        ch = code;
    else if (base >= 1 && base <= 127)
        ch = base;
    BOOL shift = FALSE;
    const WORD vk = ch > 0 ? CharToVk(static_cast<uint32_t>(ch), &shift) : 0;
    const bool ctrl = (state & kCtrlBits) != 0;
    if (vk != 0) {
        if (text > 0 && !ctrl && VkToChar(vk, d->lockState | state) != text) {
            // Another layout: the text is what was typed, not the US key.
            EmitKittyText(o, mode, code, text, state & ~(SHIFT_PRESSED | kAltBits));
            return;
        }
        EmitKey(o, mode, vk, -1, (text > 0 && !ctrl) ? text : -1, state);
        return;
    }
    if (ctrl)
        return;
    if (text < 0) {
        if (state & kAltBits)
            return;
        EmitKittyText(o, mode, code, code, state & ~SHIFT_PRESSED);
        return;
    }
    EmitKittyText(o, mode, code, text, state & ~(SHIFT_PRESSED | kAltBits));
}

// ---- win32-input-mode ----------------------------------------------------------------------

// CSI Vk ; Sc ; Uc ; Kd ; Cs ; Rc _
void EmitWin32Key(Output& o, const CsiParams& p) {
    TERMINAL_DECODER* d = o.d;
    auto get = [&p](int n, int64_t absent) {
        const int64_t v = Param(p, n);
        return v < 0 ? absent : v;
    };
    const int64_t vk = get(1, 0);
    const int64_t uc = get(3, 0);
    const int64_t kd = get(4, 0);
    const int64_t cs = get(5, 0);
    int64_t rc = get(6, 1);
    if (rc < 1 || rc > 64)
        rc = 1;
    d->encodedKeysSeen = TRUE;
    d->lockState = static_cast<DWORD>(cs & 0xE0);
    if (vk == 0 && uc == 0)
        return;
    // A key code or character unit wider than 16 bits is no key: truncated it
    // would become some other key.
    if (vk > 0xFFFF || uc > 0xFFFF)
        return;
    const bool down = kd > 0;
    const bool ctrl = (cs & kCtrlBits) != 0;
    const bool altGr = ctrl && (cs & kAltBits) != 0;
    const DWORD charState = altGr ? 0 : static_cast<DWORD>(cs & 15);

    // A character beyond 16 bits arrives as two key events, one per surrogate;
    // they are joined, and a half without its partner is dropped.
    if (uc >= 0xD800 && uc <= 0xDFFF) {
        if (!down)
            return;
        if (uc < 0xDC00) {
            d->win32HighSurrogate = static_cast<WCHAR>(uc);
            return;
        }
        if (d->win32HighSurrogate != 0) {
            const int64_t c = 0x10000 + ((d->win32HighSurrogate - 0xD800) << 10) + (uc - 0xDC00);
            for (int64_t i = 0; i < rc; ++i)
                EmitCharKey(o, kTap, c, charState);
        }
        d->win32HighSurrogate = 0;
        return;
    }
    if (down)
        d->win32HighSurrogate = 0;

    if (uc >= 32 && uc != 127 && (!ctrl || altGr)) {
        if (down)
            for (int64_t i = 0; i < rc; ++i)
                EmitCharKey(o, kTap, uc, charState);
        return;
    }
    for (int64_t i = 0; i < rc; ++i)
        EmitKeyRecord(o, down, static_cast<WORD>(vk), (cs & 0x100) ? 1 : 0,
                      static_cast<WCHAR>(uc), d->lockState | static_cast<DWORD>(cs & 31));
}

// ---- CSI dispatch --------------------------------------------------------------------------

void DispatchLegacy(Output& o, const CsiParams& p, unsigned char final, bool altPrefix) {
    TERMINAL_DECODER* d = o.d;
    DWORD state = p.count >= 2 ? XtermModifiers(Param(p, 2)) : 0;
    if (altPrefix)
        state |= LEFT_ALT_PRESSED;
    if (const WORD vk = LetterFinalToVk(final)) {
        EmitKey(o, kTap, vk, -1, -1, state);
        return;
    }
    DWORD extra = 0;
    if (RxvtFinal(final, &extra)) {
        EmitTildeKey(o, kTap, Param(p, 1), state | extra);
        return;
    }
    switch (final) {
    case 'Z':
        EmitKey(o, kTap, VK_TAB, -1, -1, state | SHIFT_PRESSED);
        return;
    case 'a':
    case 'b':
    case 'c':
    case 'd':
        if (p.count == 0) {
            static constexpr WORD kArrows[4] = {VK_UP, VK_DOWN, VK_RIGHT, VK_LEFT};
            EmitKey(o, kTap, kArrows[final - 'a'], -1, -1, state | SHIFT_PRESSED);
        }
        return;
    case 'I':
    case 'O':
        if (p.count == 0) {
            EmitFocus(o, final == 'I');
            if (final == 'O')
                d->trackedModifiers = 0;
        }
        return;
    case '~': {
        const int64_t code = Param(p, 1);
        if (code == 200 || code == 201) {
            d->paste = code == 200 ? TRUE : FALSE;
        } else if (code == 27 && !d->kittyActive) {
            // xterm's modifyOtherKeys: the character with its modifiers.
            const int64_t k = Param(p, 3);
            EmitCharKey(o, kTap, k < 0 ? 0 : k, state);
        } else {
            EmitTildeKey(o, kTap, code, state);
        }
        return;
    }
    case 'u':
        if (p.count >= 1)
            EmitCsiUKey(o, p, kTap, state, p.count >= 3 ? Param(p, 3) : -1);
        return;
    case '_':
        if (p.count > 0) {
            EmitWin32Key(o, p);
        } else {
            d->encodedKeysSeen = TRUE;
            d->lockState = 0;
        }
        return;
    default:
        return;
    }
}

void DispatchKitty(Output& o, const CsiParams& p, unsigned char final, bool altPrefix) {
    TERMINAL_DECODER* d = o.d;
    int64_t m = Param(p, 2);
    if (m <= 0)
        m = 1;
    const int64_t n = m - 1;
    DWORD state = 0;
    if (n & 1)
        state |= SHIFT_PRESSED;
    if (n & (2 | 32))
        state |= (d->trackedModifiers & kAltBits) == RIGHT_ALT_PRESSED ? RIGHT_ALT_PRESSED
                                                                       : LEFT_ALT_PRESSED;
    if (n & 4)
        state |= (d->trackedModifiers & kCtrlBits) == RIGHT_CTRL_PRESSED ? RIGHT_CTRL_PRESSED
                                                                         : LEFT_CTRL_PRESSED;
    if (altPrefix)
        state |= LEFT_ALT_PRESSED;
    d->lockState = ((n & 128) ? NUMLOCK_ON : 0) | ((n & 64) ? CAPSLOCK_ON : 0);
    const int64_t type = Param(p, 2, 2);
    const int mode = (type >= 1 && type <= 3) ? static_cast<int>(type) : kPress;

    if (const WORD vk = LetterFinalToVk(final)) {
        EmitKey(o, mode, vk, -1, -1, state);
        return;
    }
    DWORD extra = 0;
    if (RxvtFinal(final, &extra)) {
        EmitTildeKey(o, mode, Param(p, 1), state | extra);
        return;
    }
    switch (final) {
    case 'Z':
        EmitKey(o, mode, VK_TAB, -1, -1, state | SHIFT_PRESSED);
        return;
    case '~': {
        const int64_t code = Param(p, 1);
        if (code == 200 || code == 201)
            d->paste = code == 200 ? TRUE : FALSE;
        else
            EmitTildeKey(o, mode, code, state);
        return;
    }
    case 'u':
        EmitCsiUKey(o, p, mode, state, p.count >= 3 ? Param(p, 3) : -1);
        return;
    case '_':
        EmitWin32Key(o, p);
        return;
    default:
        return;
    }
}

void DispatchCsi(Output& o, const CsiParams& p, unsigned char final, bool altPrefix) {
    TERMINAL_DECODER* d = o.d;
    if (p.odd)
        return; // no key sequence carries intermediates
    switch (p.marker) {
    case '?':
        if (final == 'u')
            d->kittyAnswerSeen = TRUE;
        else if (final == 'c')
            d->deviceAttributesSeen = TRUE;
        return;
    case '<':
        if (final == 'M' || final == 'm') {
            const int64_t b = Param(p, 1);
            const int64_t column = Param(p, 2);
            const int64_t row = Param(p, 3);
            TerminalMouseEvent(o, b < 0 ? 0 : b, column < 0 ? 1 : column, row < 0 ? 1 : row,
                               final == 'm');
        }
        return;
    case '=':
    case '>':
        return;
    default:
        break;
    }
    // While the kitty protocol is on, a key sent in its short form (no
    // modifier or event field: "CSI 13 u", "CSI A") is a press; its release
    // follows in the long form. Only the focus reports keep their meaning.
    const bool focusReport = p.count == 0 && (final == 'I' || final == 'O');
    if (d->kittyActive && !focusReport)
        DispatchKitty(o, p, final, altPrefix);
    else
        DispatchLegacy(o, p, final, altPrefix);
}

// ---- the byte scanner ----------------------------------------------------------------------

// The outcome of decoding at one position: bytes used, or incomplete (the
// bytes from this position stay pending).
struct Step {
    size_t used;
    bool incomplete;
};

constexpr Step kIncomplete{0, true};

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Skips the rest of a sequence too long to hold: parameter bytes up to the
// final byte (consumed) or a byte that cannot be part of a sequence (kept).
// Clears `discarding` when the sequence has ended.
size_t SkipDiscarded(TERMINAL_DECODER* d, const unsigned char* p, size_t n) {
    for (size_t k = 0; k < n; ++k) {
        const unsigned char c = p[k];
        if (c == '$' && d->discardAfterDigit) {
            d->discarding = FALSE;
            return k + 1;
        }
        if (c >= 0x20 && c <= 0x3F) {
            d->discardAfterDigit = IsDigit(c) ? TRUE : FALSE;
            continue;
        }
        d->discarding = FALSE;
        return c >= 0x40 && c <= 0x7E ? k + 1 : k;
    }
    return n;
}

// p[0] is ESC and p[1] "["; `prefix` is 1 when an Alt-prefix ESC precedes p.
Step DecodeCsi(Output& o, const unsigned char* p, size_t n, size_t prefix) {
    TERMINAL_DECODER* d = o.d;
    const bool alt = prefix > 0;
    size_t j = 2;
    if (j >= n)
        return kIncomplete;
    if (p[j] == '[') { // the Linux console's F1..F5: CSI [ A..E
        if (j + 1 >= n)
            return kIncomplete;
        const unsigned char f = p[j + 1];
        if (f >= 'A' && f <= 'E') {
            EmitKey(o, kTap, static_cast<WORD>(VK_F1 + (f - 'A')), -1, -1,
                    alt ? LEFT_ALT_PRESSED : 0);
            return {j + 2, false};
        }
        return {f >= 0x20 && f <= 0x7E ? j + 2 : j + 1, false};
    }
    if (p[j] == 'M') { // X10 mouse: CSI M b column row, each plus 32
        if (j + 3 >= n)
            return kIncomplete;
        // A button byte below 32 is no report of any button.
        if (p[j + 1] >= 32) {
            const int64_t b = p[j + 1] - 32;
            TerminalMouseEvent(o, b, p[j + 2] - 32, p[j + 3] - 32, (b & 0x63) == 3);
        }
        return {j + 4, false};
    }
    const bool marker = p[j] == '<' || p[j] == '=' || p[j] == '>' || p[j] == '?';
    for (size_t k = j; k < n; ++k) {
        const unsigned char c = p[k];
        // rxvt ends its Shift forms with "$" right after the digits.
        const bool rxvtFinal = c == '$' && !marker && k > j && IsDigit(p[k - 1]);
        if (!rxvtFinal && c >= 0x20 && c <= 0x3F) {
            // An unfinished sequence is held up to 128 bytes; one that grows
            // beyond is dropped whole, up to its final byte, and never comes
            // back as typed characters.
            if (prefix + k + 1 > TERMINAL_PENDING_MAX) {
                d->discarding = TRUE;
                d->discardAfterDigit = IsDigit(c) ? TRUE : FALSE;
                return {k + 1 + SkipDiscarded(d, p + k + 1, n - k - 1), false};
            }
            continue;
        }
        if (rxvtFinal || (c >= 0x40 && c <= 0x7E)) {
            DispatchCsi(o, ParseParams(p + j, k - j), c, alt);
            return {k + 1, false};
        }
        return {k, false}; // not a sequence: dropped, decoding resumes at this byte
    }
    return kIncomplete;
}

// p[0] is ESC and p[1] "O".
Step DecodeSs3(Output& o, const unsigned char* p, size_t n, bool alt) {
    size_t j = 2;
    if (j >= n)
        return kIncomplete;
    int m = 0;
    if (IsDigit(p[j])) {
        m = p[j] - '0';
        ++j;
        if (j >= n)
            return kIncomplete;
    }
    const unsigned char f = p[j];
    if (f < 0x20 || f > 0x7E) {
        // Not a sequence: Alt+O, and the byte is decoded on its own.
        EmitCharKey(o, kTap, 'O', LEFT_ALT_PRESSED);
        return {2, false};
    }
    DWORD state = (m >= 2 && m <= 9) ? XtermModifiers(m) : 0;
    if (alt)
        state |= LEFT_ALT_PRESSED;
    WORD vk = 0;
    int enhanced = -1;
    if (const WORD letter = LetterFinalToVk(f)) {
        vk = letter;
    } else if (f == 'M') {
        vk = VK_RETURN;
        enhanced = 1;
    } else if (f >= 'a' && f <= 'd') {
        static constexpr WORD kArrows[4] = {VK_UP, VK_DOWN, VK_RIGHT, VK_LEFT};
        vk = kArrows[f - 'a'];
        state |= LEFT_CTRL_PRESSED;
    } else if (f >= 'j' && f <= 'o') {
        static constexpr WORD kOperators[6] = {VK_MULTIPLY, VK_ADD,     VK_SEPARATOR,
                                               VK_SUBTRACT, VK_DECIMAL, VK_DIVIDE};
        vk = kOperators[f - 'j'];
    } else if (f >= 'p' && f <= 'y') {
        vk = static_cast<WORD>(VK_NUMPAD0 + (f - 'p'));
    } else if (f == 'X') {
        EmitKey(o, kTap, VK_OEM_PLUS, -1, '=', state);
        return {j + 1, false};
    }
    if (vk != 0)
        EmitKey(o, kTap, vk, enhanced, -1, state);
    return {j + 1, false};
}

// p[0] is ESC, n >= 2.
Step DecodeEscape(Output& o, const unsigned char* p, size_t n, size_t prefix) {
    if (p[1] == '[')
        return DecodeCsi(o, p, n, prefix);
    if (p[1] == 'O')
        return DecodeSs3(o, p, n, prefix > 0);
    if (p[1] < 0x80) {
        EmitCharKey(o, kTap, p[1], LEFT_ALT_PRESSED);
        return {2, false};
    }
    const Utf8Char u = DecodeUtf8(p + 1, n - 1);
    if (u.status == Utf8Status::kIncomplete)
        return kIncomplete;
    if (u.status == Utf8Status::kInvalid) {
        // A broken character after ESC: the Escape key, then the broken
        // bytes are dropped as anywhere else.
        EmitEscapeKey(o);
        return {1, false};
    }
    EmitCharKey(o, kTap, u.cp, LEFT_ALT_PRESSED);
    return {1 + u.used, false};
}

Step DecodeOne(Output& o, const unsigned char* p, size_t n) {
    const unsigned char c = p[0];
    if (c < 0x80 && c != ESC) {
        EmitCharKey(o, kTap, c, 0);
        return {1, false};
    }
    if (c >= 0x80) {
        const Utf8Char u = DecodeUtf8(p, n);
        if (u.status == Utf8Status::kIncomplete)
            return kIncomplete;
        if (u.status == Utf8Status::kInvalid)
            return {1, false};
        EmitCharKey(o, kTap, u.cp, 0);
        return {u.used, false};
    }
    if (n < 2)
        return kIncomplete;
    if (p[1] == ESC) {
        if (n < 3)
            return kIncomplete;
        if (p[2] == '[' || p[2] == 'O') { // ESC before a sequence is Alt
            const Step s = DecodeEscape(o, p + 1, n - 1, 1);
            return s.incomplete ? s : Step{s.used + 1, false};
        }
        EmitEscapeKey(o);
        return {1, false};
    }
    return DecodeEscape(o, p, n, 0);
}

// Decodes a whole buffer; what is unfinished at its end becomes the pending bytes.
void DecodeBuffer(Output& o, const unsigned char* buf, size_t len) {
    TERMINAL_DECODER* d = o.d;
    size_t i = 0;
    if (d->discarding)
        i = SkipDiscarded(d, buf, len);
    while (i < len) {
        const Step s = DecodeOne(o, buf + i, len - i);
        if (s.incomplete) {
            const size_t tail = len - i;
            // Only a CSI grows long, and it is discarded before passing 128.
            if (tail <= TERMINAL_PENDING_MAX) {
                std::memmove(d->pending, buf + i, tail);
                d->pendingLength = static_cast<int32_t>(tail);
            }
            return;
        }
        i += s.used;
    }
}

Output MakeOutput(TERMINAL_DECODER* d, uint64_t now, const TERMINAL_INPUT_CONTEXT* context,
                  TERMINAL_RECORD_SINK sink, void* user) {
    Output o;
    o.d = d;
    o.context = context;
    o.sink = sink;
    o.user = user;
    o.now = now;
    o.count = 0;
    return o;
}

} // namespace

// ---- the keyboard tables -----------------------------------------------------------------------

WORD VkScanCode(UINT virtualKey, BOOL* extended) {
    const bool known = virtualKey < kKeys.size();
    if (extended != nullptr)
        *extended = known && kKeys[virtualKey].extended ? TRUE : FALSE;
    return known ? kKeys[virtualKey].scan : 0;
}

int VkToChar(UINT vk, DWORD state) {
    if (vk > 255)
        return -1;
    const bool shift = (state & SHIFT_PRESSED) != 0;
    const bool ctrl = (state & kCtrlBits) != 0;
    const bool alt = (state & kAltBits) != 0;
    const bool letter = vk >= 'A' && vk <= 'Z';
    if (ctrl) {
        if (alt)
            return -1;
        if (letter)
            return static_cast<int>(vk) - 64;
        if (shift) {
            switch (vk) {
            case '2':
                return 0;
            case '6':
                return 30;
            case VK_OEM_MINUS:
                return 31;
            default:
                return -1;
            }
        }
        switch (vk) {
        case VK_CANCEL:
            return 3;
        case VK_BACK:
            return 127;
        case VK_RETURN:
            return 10;
        case VK_ESCAPE:
        case VK_OEM_4:
            return 27;
        case VK_SPACE:
            return 32;
        case VK_OEM_5:
        case VK_OEM_102:
            return 28;
        case VK_OEM_6:
            return 29;
        default:
            return -1;
        }
    }
    if (letter) {
        const bool caps = (state & CAPSLOCK_ON) != 0;
        return static_cast<int>(shift != caps ? vk : vk + 32);
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9)
        return (shift || alt) ? -1 : kKeys[vk].plain;
    if (IsNumpadKey(vk))
        return kKeys[vk].plain != 0 ? kKeys[vk].plain : -1;
    const uint8_t c = shift ? kKeys[vk].shifted : kKeys[vk].plain;
    return c != 0 ? c : -1;
}

WORD CharToVk(uint32_t c, BOOL* shiftNeeded) {
    auto result = [shiftNeeded](WORD vk, bool shift) {
        if (shiftNeeded != nullptr)
            *shiftNeeded = shift ? TRUE : FALSE;
        return vk;
    };
    if (c >= 'a' && c <= 'z')
        return result(static_cast<WORD>(c - 32), false);
    if (c >= 'A' && c <= 'Z')
        return result(static_cast<WORD>(c), true);
    if (c >= '0' && c <= '9')
        return result(static_cast<WORD>(c), false);
    if (c > 31 && c < 128)
        for (WORD vk = 32; vk <= 254; ++vk)
            if (!IsNumpadKey(vk) && kKeys[vk].plain == c)
                return result(vk, false);
    if (c > 32 && c < 128)
        for (WORD vk = 32; vk <= 254; ++vk)
            if (!IsNumpadKey(vk) && kKeys[vk].shifted == c)
                return result(vk, true);
    return result(0, false);
}

// ---- the core ------------------------------------------------------------------------------

void TerminalInputInit(TERMINAL_DECODER* decoder) {
    std::memset(decoder, 0, sizeof *decoder);
    decoder->lockState = NUMLOCK_ON;
    decoder->mouse.lastButton = -1;
}

void TerminalSetLinuxConsole(TERMINAL_DECODER* decoder, BOOL linuxConsole) {
    decoder->linuxConsole = linuxConsole ? TRUE : FALSE;
}

BOOL TerminalInputDecode(TERMINAL_DECODER* decoder, const unsigned char* bytes, size_t count,
                         uint64_t nowMs, const TERMINAL_INPUT_CONTEXT* context,
                         TERMINAL_RECORD_SINK sink, void* sinkUser) {
    constexpr size_t kSlice = 512;
    Output o = MakeOutput(decoder, nowMs, context, sink, sinkUser);
    size_t offset = 0;
    do {
        const size_t slice = count - offset < kSlice ? count - offset : kSlice;
        unsigned char buf[TERMINAL_PENDING_MAX + kSlice];
        const size_t held = static_cast<size_t>(decoder->pendingLength);
        std::memcpy(buf, decoder->pending, held);
        if (slice > 0)
            std::memcpy(buf + held, bytes + offset, slice);
        decoder->pendingLength = 0;
        DecodeBuffer(o, buf, held + slice);
        offset += slice;
    } while (offset < count);
    o.Flush();
    return decoder->pendingLength > 0 || decoder->discarding ? TRUE : FALSE;
}

DWORD TerminalInputTimeout(const TERMINAL_DECODER* decoder) {
    const unsigned char* p = decoder->pending;
    const int32_t n = decoder->pendingLength;
    if (decoder->discarding)
        return 1000;
    if (n >= 3 && p[0] == ESC && p[1] == '[' && p[2] >= 0x30 && p[2] <= 0x3F)
        return 1000;
    if (n >= 1 && p[0] == ESC && decoder->encodedKeysSeen)
        return 1000;
    return 40;
}

void TerminalInputFlushPending(TERMINAL_DECODER* decoder, uint64_t nowMs,
                               const TERMINAL_INPUT_CONTEXT* context, TERMINAL_RECORD_SINK sink,
                               void* sinkUser) {
    Output o = MakeOutput(decoder, nowMs, context, sink, sinkUser);
    decoder->discarding = FALSE; // a sequence cut off for good
    while (decoder->pendingLength > 0) {
        unsigned char buf[TERMINAL_PENDING_MAX];
        const size_t n = static_cast<size_t>(decoder->pendingLength);
        std::memcpy(buf, decoder->pending, n);
        decoder->pendingLength = 0;
        if (buf[0] != ESC)
            break; // an unfinished character
        if (n == 1) {
            EmitEscapeKey(o);
            break;
        }
        if (n == 2) {
            if (buf[1] == ESC) {
                EmitEscapeKey(o);
                EmitEscapeKey(o);
            } else if (buf[1] < 0x80) {
                EmitCharKey(o, kTap, buf[1], LEFT_ALT_PRESSED);
            } else {
                EmitEscapeKey(o); // and the cut-off character is dropped
            }
            break;
        }
        if (buf[1] == '[' && buf[2] >= 0x30 && buf[2] <= 0x3F)
            break; // a sequence cut off in its parameters
        size_t rest;
        if (buf[1] == ESC || buf[1] >= 0x80) {
            EmitEscapeKey(o);
            rest = 1;
        } else {
            EmitCharKey(o, kTap, buf[1], LEFT_ALT_PRESSED);
            rest = 2;
        }
        DecodeBuffer(o, buf + rest, n - rest);
    }
    o.Flush();
}

// ---- the process-wide decoder --------------------------------------------------------------

namespace {

TERMINAL_DECODER MakeInitialDecoder() {
    TERMINAL_DECODER d;
    TerminalInputInit(&d);
    return d;
}

TERMINAL_DECODER gDecoder = MakeInitialDecoder();
TERMINAL_INPUT_SINK_FN gSink = nullptr;
TERMINAL_CONTEXT_FN gContextSource = nullptr;

void ForwardToSink(void* user, const INPUT_RECORD* records, size_t count) {
    const TERMINAL_INPUT_SINK_FN sink = *static_cast<TERMINAL_INPUT_SINK_FN*>(user);
    if (sink != nullptr)
        sink(records, count);
}

// Runs a core call with the current context, or none when no source is set.
template <typename Call>
void WithContext(Call call) {
    if (gContextSource == nullptr) {
        call(static_cast<const TERMINAL_INPUT_CONTEXT*>(nullptr));
        return;
    }
    TERMINAL_INPUT_CONTEXT context{};
    gContextSource(&context);
    call(static_cast<const TERMINAL_INPUT_CONTEXT*>(&context));
}

} // namespace

void TerminalInputReset(bool linuxConsole) {
    TerminalInputInit(&gDecoder);
    TerminalSetLinuxConsole(&gDecoder, linuxConsole ? TRUE : FALSE);
}

void TerminalInputFeed(const unsigned char* bytes, size_t count, uint64_t nowMs) {
    WithContext([&](const TERMINAL_INPUT_CONTEXT* context) {
        TerminalInputDecode(&gDecoder, bytes, count, nowMs, context, ForwardToSink, &gSink);
    });
}

void TerminalInputFlushPending(uint64_t nowMs) {
    WithContext([&](const TERMINAL_INPUT_CONTEXT* context) {
        TerminalInputFlushPending(&gDecoder, nowMs, context, ForwardToSink, &gSink);
    });
}

int TerminalInputTimeoutMs() {
    if (gDecoder.pendingLength == 0 && !gDecoder.discarding)
        return -1;
    return static_cast<int>(TerminalInputTimeout(&gDecoder));
}

void TerminalInputSetSink(TERMINAL_INPUT_SINK_FN sink) { gSink = sink; }

void TerminalInputSetContextSource(TERMINAL_CONTEXT_FN source) { gContextSource = source; }

void TerminalInputSetKittyActive(bool active) { gDecoder.kittyActive = active ? TRUE : FALSE; }

bool TerminalInputKittyAnswerSeen() { return gDecoder.kittyAnswerSeen != FALSE; }

bool TerminalInputDeviceAttributesSeen() { return gDecoder.deviceAttributesSeen != FALSE; }
