// The keyboard functions besides the console input: characters of keys
// under a keyboard state, the key that types a character, the state of a
// key as the console input records last read said, the fixed US layout,
// and the DOS-style _getch and _kbhit.
#include "internal/console.h"
#include "internal/console_input.h"
#include "internal/terminput_decoder.h"
#include "consoleapi.h"
#include "errhandlingapi.h"
#include "stringapiset.h"
#include "winuser.h"

#include <poll.h>

#include <atomic>
#include <cstdio>

namespace {

constexpr DWORD kCtrlBits = LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED;
constexpr DWORD kAltBits = LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED;
constexpr SHORT kDown = static_cast<SHORT>(0x8000);

// The second byte of the keys that _getch reports as two bytes.
struct ExtendedKey {
    WORD vk;
    int code;
};
constexpr ExtendedKey kExtendedKeys[] = {
    {VK_F1, 59},     {VK_F2, 60},     {VK_F3, 61},    {VK_F4, 62},     {VK_F5, 63},
    {VK_F6, 64},     {VK_F7, 65},     {VK_F8, 66},    {VK_F9, 67},     {VK_F10, 68},
    {VK_F11, 133},   {VK_F12, 134},   {VK_HOME, 71},  {VK_UP, 72},     {VK_PRIOR, 73},
    {VK_LEFT, 75},   {VK_RIGHT, 77},  {VK_END, 79},   {VK_DOWN, 80},   {VK_NEXT, 81},
    {VK_INSERT, 82}, {VK_DELETE, 83},
};

const ExtendedKey* FindExtendedKey(WORD vk) {
    for (const ExtendedKey& k : kExtendedKeys)
        if (k.vk == vk) return &k;
    return nullptr;
}

// The byte _getch returns after the first one of an extended key; -1 none.
std::atomic<int> gPushedBack{-1};

// The code page 437 byte of a character above 127; -1 when it has none.
int OemByte(WCHAR c) {
    LastErrorSaver keep;
    char byte = 0;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_OEMCP, 0, &c, 1, &byte, 1, nullptr, &usedDefault);
    return n == 1 && !usedDefault ? static_cast<unsigned char>(byte) : -1;
}

// What _getch makes of one record: a first byte (with *second the byte that
// follows, or -1), or -1 when the record gives no key.
int GetchBytes(const INPUT_RECORD& r, int* second) {
    *second = -1;
    if (r.EventType != KEY_EVENT || !r.Event.KeyEvent.bKeyDown) return -1;
    const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
    WCHAR c = k.uChar.UnicodeChar;
    if (c != 0) {
        // A character code page 437 lacks is skipped: returned as 0 it would
        // read as the start of an extended key and take the next key with it.
        return c <= 127 ? c : OemByte(c);
    }
    const ExtendedKey* key = FindExtendedKey(k.wVirtualKeyCode);
    if (!key) return -1;
    *second = key->code;
    if (k.wVirtualKeyCode == VK_F11 || k.wVirtualKeyCode == VK_F12) return 224;
    if (k.wVirtualKeyCode >= VK_F1 && k.wVirtualKeyCode <= VK_F10) return 0;
    return (k.dwControlKeyState & ENHANCED_KEY) ? 224 : 0;
}

bool DeliversKey(const INPUT_RECORD& r) {
    int second;
    return GetchBytes(r, &second) >= 0;
}

} // namespace

DWORD KeyboardStateToControlState(const BYTE* keys) {
    auto down = [keys](WORD a, WORD b, WORD c) {
        return ((keys[a] | keys[b] | keys[c]) & 0x80) != 0;
    };
    DWORD state = 0;
    if (down(VK_SHIFT, VK_LSHIFT, VK_RSHIFT)) state |= SHIFT_PRESSED;
    if (down(VK_CONTROL, VK_LCONTROL, VK_RCONTROL)) state |= LEFT_CTRL_PRESSED;
    if (down(VK_MENU, VK_LMENU, VK_RMENU)) state |= LEFT_ALT_PRESSED;
    if (keys[VK_CAPITAL] & 1) state |= CAPSLOCK_ON;
    return state;
}

int ToUnicode(UINT key, UINT, const BYTE* keys, LPWSTR buffer, int size, UINT) {
    if (!buffer || size < 1) return 0;
    int c;
    if (key == VK_PACKET) {
        ConsoleStateGuard state;
        c = static_cast<int>(gConsole.lastPacketChar);
        if (c == 0) return 0;
    } else {
        c = VkToChar(key, keys ? KeyboardStateToControlState(keys) : 0);
        if (c < 0) return 0;
    }
    buffer[0] = static_cast<WCHAR>(c);
    if (size > 1) buffer[1] = 0;
    return 1;
}

int ToAscii(UINT key, UINT scan, const BYTE* keys, WORD* out, UINT flags) {
    if (!out) return 0;
    WCHAR c[2];
    if (ToUnicode(key, scan, keys, c, 2, flags) != 1) return 0;
    LastErrorSaver keep;
    char byte = 0;
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(CP_ACP, 0, c, 1, &byte, 1, nullptr, &usedDefault) != 1 || usedDefault)
        return 0;
    *out = static_cast<unsigned char>(byte);
    return 1;
}

SHORT VkKeyScanW(WCHAR c) {
    static constexpr DWORD kShiftStates[4] = {0, SHIFT_PRESSED, LEFT_CTRL_PRESSED,
                                              LEFT_CTRL_PRESSED | SHIFT_PRESSED};
    for (int pass = 0; pass < 2; pass++) {
        for (int shift = 0; shift < 4; shift++) {
            for (UINT vk = 1; vk <= 254; vk++) {
                bool pad = vk >= VK_NUMPAD0 && vk <= VK_DIVIDE;
                if (pad != (pass == 1) || VkScanCode(vk, nullptr) == 0) continue;
                if (VkToChar(vk, kShiftStates[shift]) == c) return static_cast<SHORT>(shift << 8 | vk);
            }
        }
    }
    return -1;
}

HKL GetKeyboardLayout(DWORD) { return reinterpret_cast<HKL>(static_cast<uintptr_t>(0x04090409)); }

HKL ActivateKeyboardLayout(HKL layout, UINT) { return layout; }

SHORT GetKeyState(int key) {
    DWORD state = 0, last = 0;
    ConsoleLastKeyState(&state, &last);
    switch (key) {
    case VK_NUMLOCK: return (state & NUMLOCK_ON) ? 1 : 0;
    case VK_CAPITAL: return (state & CAPSLOCK_ON) ? 1 : 0;
    case VK_CONTROL:
    case VK_LCONTROL:
    case VK_RCONTROL: return (state & kCtrlBits) ? kDown : 0;
    case VK_MENU:
    case VK_LMENU:
    case VK_RMENU: return (state & kAltBits) ? kDown : 0;
    case VK_SHIFT:
    case VK_LSHIFT:
    case VK_RSHIFT: return (state & SHIFT_PRESSED) ? kDown : 0;
    default: return last != 0 && static_cast<DWORD>(key) == last ? kDown : 0;
    }
}

SHORT GetAsyncKeyState(int key) { return static_cast<SHORT>(GetKeyState(key) & kDown); }

int _getch() {
    int pushed = gPushedBack.exchange(-1);
    if (pushed >= 0) return pushed;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (!in) return std::getc(stdin);
    for (;;) {
        INPUT_RECORD r;
        DWORD n = 0;
        if (!ReadConsoleInputW(in, &r, 1, &n) || n == 0) return -1;
        int second;
        int first = GetchBytes(r, &second);
        if (first < 0) continue;
        if (second >= 0) gPushedBack.store(second);
        return first;
    }
}

int _kbhit() {
    if (gPushedBack.load() >= 0) return 1;
    if (!GetStdHandle(STD_INPUT_HANDLE)) {
        struct pollfd fd = {0, POLLIN, 0};
        return poll(&fd, 1, 0) > 0 ? 1 : 0;
    }
    return ConsoleQueueHas(DeliversKey) ? 1 : 0;
}
