// The key-test mode: shows, line by line, every console input record the
// terminal produces (keys with virtual key, scan code, character and
// modifiers, mouse events, resizes, focus changes), which is how one checks
// what the input decoder makes of a terminal's keys.
#include "internal/keytest.h"
#include "internal/console.h"
#include "consoleapi.h"
#include "qposix_path.h"
#include "winuser.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

struct KeyName {
    WORD vk;
    const char* name;
};
constexpr KeyName kKeyNames[] = {
    {0x08, "Backspace"}, {0x09, "Tab"},        {0x0C, "Clear"},  {0x0D, "Enter"}, {0x10, "Shift"},
    {0x11, "Ctrl"},      {0x12, "Alt"},        {0x13, "Pause"},  {0x14, "CapsLock"},
    {0x1B, "Esc"},       {0x20, "Space"},      {0x21, "PgUp"},   {0x22, "PgDn"},  {0x23, "End"},
    {0x24, "Home"},      {0x25, "Left"},       {0x26, "Up"},     {0x27, "Right"}, {0x28, "Down"},
    {0x2C, "PrtSc"},     {0x2D, "Ins"},        {0x2E, "Del"},    {0x5B, "LWin"},  {0x5C, "RWin"},
    {0x5D, "Menu"},      {0x6A, "Num*"},       {0x6B, "Num+"},   {0x6C, "Num,"},  {0x6D, "Num-"},
    {0x6E, "Num."},      {0x6F, "Num/"},       {0x90, "NumLock"}, {0x91, "ScrollLock"},
    {0xBA, ";"},         {0xBB, "="},          {0xBC, ","},      {0xBD, "-"},     {0xBE, "."},
    {0xBF, "/"},         {0xC0, "`"},          {0xDB, "["},      {0xDC, "\\"},    {0xDD, "]"},
    {0xDE, "'"},         {0xE2, "<>"},         {0xE7, "Packet"},
};
static_assert(std::size(kKeyNames) == 46);

// The character of a key record as UTF-8 (at most 8 bytes with the
// terminator). A surrogate half alone is not a character: it shows as
// U+FFFD, so that the line stays valid UTF-8.
void CharacterText(WCHAR c, char* out) {
    WCHAR unit = c >= 0xD800 && c <= 0xDFFF ? u'\uFFFD' : c;
    if (Utf16ToUtf8(&unit, 1, out, 8) < 0) out[0] = 0;
}

} // namespace

void KeyTestModifierText(char* buffer, DWORD state) {
    snprintf(buffer, 96, "%s%s%s%s%s%s%s%s", state & LEFT_CTRL_PRESSED ? "LCtrl " : "",
             state & RIGHT_CTRL_PRESSED ? "RCtrl " : "", state & LEFT_ALT_PRESSED ? "LAlt " : "",
             state & RIGHT_ALT_PRESSED ? "RAlt " : "", state & SHIFT_PRESSED ? "Shift " : "",
             state & ENHANCED_KEY ? "enh " : "", state & NUMLOCK_ON ? "num " : "",
             state & CAPSLOCK_ON ? "caps " : "");
}

void KeyTestKeyName(WORD vk, char* name) {
    for (const KeyName& k : kKeyNames) {
        if (k.vk == vk) {
            snprintf(name, 16, "%s", k.name);
            return;
        }
    }
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        snprintf(name, 16, "%c", vk);
    else if (vk >= 0x60 && vk <= 0x69)
        snprintf(name, 16, "Num%u", unsigned(vk - 0x60));
    else if (vk >= 0x70 && vk <= 0x87)
        snprintf(name, 16, "F%u", unsigned(vk - 0x6F));
    else
        snprintf(name, 16, "%02X", unsigned(vk));
}

size_t KeyTestLine(const INPUT_RECORD* r, char* line) {
    char modifiers[96];
    int n;
    switch (r->EventType) {
    case KEY_EVENT: {
        const KEY_EVENT_RECORD& k = r->Event.KeyEvent;
        char name[16];
        KeyTestKeyName(k.wVirtualKeyCode, name);
        WCHAR c = k.uChar.UnicodeChar;
        char text[16] = "";
        if (c > 0x1F && c != 0x7F) {
            char utf8[8];
            CharacterText(c, utf8);
            snprintf(text, sizeof text, " '%s'", utf8);
        }
        KeyTestModifierText(modifiers, k.dwControlKeyState);
        n = snprintf(line, KEYTEST_LINE_BYTES, "key %-4s %-10s vk=%02X sc=%02X ch=%04X%s  %s\r\n",
                     k.bKeyDown ? "down" : "up", name, unsigned(k.wVirtualKeyCode),
                     unsigned(k.wVirtualScanCode), unsigned(c), text, modifiers);
        break;
    }
    case MOUSE_EVENT: {
        const MOUSE_EVENT_RECORD& m = r->Event.MouseEvent;
        KeyTestModifierText(modifiers, m.dwControlKeyState);
        DWORD f = m.dwEventFlags;
        n = snprintf(line, KEYTEST_LINE_BYTES, "mouse %d,%d buttons=%08X %s%s%s%s %s\r\n",
                     m.dwMousePosition.X, m.dwMousePosition.Y, unsigned(m.dwButtonState),
                     f & MOUSE_MOVED ? "moved " : "", f & DOUBLE_CLICK ? "double " : "",
                     f & MOUSE_WHEELED ? "wheel " : "", f & MOUSE_HWHEELED ? "hwheel " : "",
                     modifiers);
        break;
    }
    case WINDOW_BUFFER_SIZE_EVENT:
        n = snprintf(line, KEYTEST_LINE_BYTES, "size %dx%d\r\n", r->Event.WindowBufferSizeEvent.dwSize.X,
                     r->Event.WindowBufferSizeEvent.dwSize.Y);
        break;
    case FOCUS_EVENT:
        n = snprintf(line, KEYTEST_LINE_BYTES, "focus %s\r\n", r->Event.FocusEvent.bSetFocus ? "in" : "out");
        break;
    default: n = snprintf(line, KEYTEST_LINE_BYTES, "event %d\r\n", int(r->EventType)); break;
    }
    if (n < 0) n = 0;
    return size_t(n) < KEYTEST_LINE_BYTES ? size_t(n) : KEYTEST_LINE_BYTES - 1;
}

int ConsoleKeyTest() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!in || !out) {
        fputs("quilb --keys: no terminal\n", stderr);
        return 1;
    }
    SetConsoleMode(in, ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT | ENABLE_EXTENDED_FLAGS);
    auto show = [out](const char* text, size_t length) {
        WCHAR wide[512];
        SSIZE_T units = Utf8ToUtf16(text, SSIZE_T(length), wide, 512, false);
        DWORD written;
        if (units > 0) WriteConsoleW(out, wide, DWORD(units), &written, nullptr);
    };
    char line[KEYTEST_LINE_BYTES];
    int n = snprintf(line, sizeof line,
                     "quilb --keys: kitty keyboard protocol %s; press Esc twice to stop\r\n\r\n",
                     ConsoleKittyKeyboardActive() ? "on" : "off (xterm keys)");
    show(line, size_t(n));
    int escapes = 0;
    for (;;) {
        INPUT_RECORD r;
        DWORD read = 0;
        if (!ReadConsoleInputW(in, &r, 1, &read) || read == 0) return 0;
        show(line, KeyTestLine(&r, line));
        if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown)
            escapes = r.Event.KeyEvent.wVirtualKeyCode == VK_ESCAPE ? escapes + 1 : 0;
        if (escapes == 2) return 0;
    }
}
