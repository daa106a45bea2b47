// The key reader: the push-back stack and the macro buffer with its control
// codes, the modifier arithmetic that makes key codes of console key events,
// Alt + keypad composition, and the two readers of the prompts and the
// window loops.
#include "platform/keyboard.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "main/window_state.h"
#include "menu/macros.h"
#include "menu/qaap.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/numbers_dates.h"
#include "ui/progress.h"
#include "remote/remote_drives.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

KEY_PUSH_STACK KeyPushStack = {};
MACRO_KEYS gMacroKeys = {};
MACRO_STOP_FLAGS MacroStopFlags = {};
MacroListFactsFn gMacroListFacts = nullptr;
BOOL gMacroKeysWhileBusy = FALSE;
BOOL gModifierMenusOff = FALSE;
BOOL gQaapKeysOff = FALSE;
BOOL gCtrlArrowsTag = FALSE;
HANDLE gConIn = nullptr;
std::atomic<KeyCode> gLastChar{0};
std::atomic<BOOL> gAltGrLayout{FALSE};

namespace {

// Guards KeyPushStack, gMacroKeys, MacroStopFlags and the record put aside
// by a resize. Held only for a few stores, never across a console call.
std::mutex gKeyLock;

// Keys typed ahead while the program was busy (taken by KbdFlush), in
// typing order. They wait until a running macro has played all its keys,
// repeats and loops included, and are then delivered once each: they never
// become part of the macro. With the macro they share the room of 3071
// keys.
KeyCode gTypeAhead[MACRO_KEYS_MAX];
int gTypeAheadCount = 0;

// The size the last window-size record reported (0 x 0 before the first).
std::atomic<int32_t> gReportedColumns{0};
std::atomic<int32_t> gReportedRows{0};

// A key or mouse record read together with a resize, handled on the next
// read instead of being lost.
bool gHeldRecordValid = false;
INPUT_RECORD gHeldRecord = {};

// The non-modifier key last pressed and not yet released, as the reader saw
// the records (the console's own tracking moves on to Ctrl once Ctrl's press
// is read, which is too late for Ctrl pressed while Up is held).
std::atomic<WORD> gKeyHeld{0};

// The layout last seen (null before the first sync).
std::atomic<HKL> gLayout{nullptr};

DWORD gSavedInputMode = 0;
bool gHaveSavedInputMode = false;

constexpr DWORD kCtrlBits = LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED;
constexpr DWORD kAltBits = LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED;

HANDLE Input() {
    return gConIn ? gConIn : GetStdHandle(STD_INPUT_HANDLE);
}

// Keys that only modify or lock: their presses make no key.
bool IsModifierKey(WORD vk) {
    switch (vk) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_CAPITAL:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case 255:
        return true;
    default:
        return false;
    }
}

// The scan codes of the keypad's digit keys.
bool IsKeypadDigitScan(WORD scan) {
    switch (scan) {
    case 0x47:
    case 0x48:
    case 0x49:
    case 0x4B:
    case 0x4C:
    case 0x4D:
    case 0x4F:
    case 0x50:
    case 0x51:
    case 0x52:
        return true;
    default:
        return false;
    }
}

void TrackHeldKey(const INPUT_RECORD& record) {
    if (record.EventType != KEY_EVENT) return;
    const KEY_EVENT_RECORD& k = record.Event.KeyEvent;
    if (IsModifierKey(k.wVirtualKeyCode)) return;
    if (k.bKeyDown)
        gKeyHeld = k.wVirtualKeyCode;
    else if (gKeyHeld == k.wVirtualKeyCode)
        gKeyHeld = 0;
}

// Reads one record, waiting for it; a read that returns nothing is retried.
void ReadRecord(INPUT_RECORD* record) {
    for (;;) {
        DWORD n = 0;
        if (ReadConsoleInputW(Input(), record, 1, &n) && n == 1) {
            TrackHeldKey(*record);
            return;
        }
        Sleep(10);
    }
}

// Removes the record at the head of the input.
void StoreReportedSize(const INPUT_RECORD& record);

// Removes the record at the head of the input; a size it reports is kept.
void RemoveRecord() {
    INPUT_RECORD record;
    DWORD n = 0;
    if (!ReadConsoleInputW(Input(), &record, 1, &n) || n != 1) return;
    TrackHeldKey(record);
    if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) StoreReportedSize(record);
}

bool PeekRecord(INPUT_RECORD* record) {
    DWORD n = 0;
    return PeekConsoleInputA(Input(), record, 1, &n) && n == 1;
}

void StoreReportedSize(const INPUT_RECORD& record) {
    gReportedColumns = record.Event.WindowBufferSizeEvent.dwSize.X;
    gReportedRows = record.Event.WindowBufferSizeEvent.dwSize.Y;
}

// A resize is due when the clock thread flagged one and the terminal last
// reported a size other than the screen's.
bool ResizeDue() {
    if (!gResizePending) return false;
    const int32_t columns = gReportedColumns;
    const int32_t rows = gReportedRows;
    return columns > 0 && (columns != gScreenCols || rows != gScreenRows);
}

void ApplyResize() {
    ConsoleResize(SCREEN_SIZE_TERMINAL, SCREEN_SIZE_TERMINAL, 1, 0);
    ScrSetCursorShape(0);
    gResizePending = FALSE;
    gReportedColumns = gScreenCols;
    gReportedRows = gScreenRows;
}

bool MenusAllowed() {
    return !gBusyFlag && gWindowMode != WM_PICK_LIST && !gPickerActive && !gModifierMenusOff;
}

bool MacroKeysAllowed() {
    return !gBusyFlag || gMacroKeysWhileBusy;
}

bool PopPushedKey(KeyCode* key) {
    std::lock_guard<std::mutex> guard(gKeyLock);
    if (KeyPushStack.count == 0) return false;
    *key = KeyPushStack.keys[--KeyPushStack.count];
    return true;
}

enum class MacroTake { None, Key, Nothing };

// Takes macro keys until one gives a key to deliver. Nothing when the
// macro's last key gave none.
MacroTake TakeMacroKey(KeyCode* key) {
    for (bool first = true;; first = false) {
        KeyCode taken;
        {
            std::lock_guard<std::mutex> guard(gKeyLock);
            if (gMacroKeys.count == 0) {
                if (!first) return MacroTake::Nothing;
                if (gTypeAheadCount == 0) return MacroTake::None;
                *key = gTypeAhead[0];
                gTypeAheadCount--;
                std::memmove(&gTypeAhead[0], &gTypeAhead[1], gTypeAheadCount * sizeof(KeyCode));
                return MacroTake::Key;
            }
            taken = gMacroKeys.keys[--gMacroKeys.count];
        }
        const KeyCode result = KbdMacroStep(taken);
        if (result != 0) {
            *key = result;
            return MacroTake::Key;
        }
    }
}

// Whether an Esc key press waits at the head of the input; when one does,
// the input is emptied. Other records stay where they are.
bool TakePendingEsc() {
    INPUT_RECORD record;
    if (!PeekRecord(&record)) return false;
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown ||
        record.Event.KeyEvent.wVirtualKeyCode != VK_ESCAPE)
        return false;
    FlushConsoleInputBuffer(Input());
    return true;
}

// The macro PAUSE: asks on the bottom row and reads keys from the console
// until Y, N or Esc. True for Y.
bool MacroPause() {
    ScreenCell* saved = ScrSaveRect(gMessageRow, 0, gBottomRow, gScreenMaxCol);
    ScrClearArea(gBottomRow, 0, gBottomRow, gScreenMaxCol, gMessageAttr);
    ScrPutStr(gBottomRow, 0, "Macro: Paused - Continue?", gMessageAttr);
    ScrBeep();
    KeyCode key;
    do {
        key = KbdReadChar();
        if (key >= 'a' && key <= 'z') key -= 32;
    } while (key != KC_ESC && key != 'N' && key != 'Y');
    ScrRestoreRect(gMessageRow, 0, gBottomRow, gScreenMaxCol, saved);
    return key == 'Y';
}

// After the macro's last key: a waiting Esc ends every repetition; else a
// repeat count runs the macro again, a loop marker goes back to the key after
// it.
void EndOfMacroRun() {
    int32_t runsLeft = 0;
    if (TakePendingEsc()) {
        std::lock_guard<std::mutex> guard(gKeyLock);
        gMacroKeys.repeat = 0;
        gMacroKeys.length = 0;
    } else {
        std::lock_guard<std::mutex> guard(gKeyLock);
        if (gMacroKeys.repeat > 0) {
            const int32_t was = gMacroKeys.repeat--;
            if (was > 1) {
                gMacroKeys.count = gMacroKeys.length;
                runsLeft = gMacroKeys.repeat;
            }
        } else if (gMacroKeys.repeat < 0) {
            gMacroKeys.count = WORD(-gMacroKeys.repeat);
        }
    }
    if (runsLeft > 1) {
        char text[24];
        FormatNumberPicture(text, runsLeft, "###,###,###");
        ScrPutStr(gBottomRow, gScreenMaxCol - 10, text, gMessageAttr);
    }
    gMenuRedrawPending = 1;
}

// Whether a stop code's condition holds now.
bool StopConditionHolds(KeyCode code) {
    const PaneState& pane = gPanes[gCurrentPane];
    MACRO_LIST_FACTS facts = {};
    if (gMacroListFacts) gMacroListFacts(&facts);
    switch (code) {
    case KC_STOP_IF_DW:
        return !pane.FileWindowOpen;
    case KC_STOP_IF_FW:
        return pane.FileWindowOpen != 0;
    case KC_STOP_IF_MATCH:
        return facts.listExists && facts.matching > 0;
    case KC_STOP_IF_NOMATCH:
        return pane.FileWindowOpen && (!facts.listExists || facts.matching == 0);
    case KC_STOP_IF_TAGS:
        return facts.tagged > 0;
    case KC_STOP_IF_NOTAGS:
        return facts.listExists && facts.tagged == 0;
    case KC_STOP_IF_SPLIT:
        return gSplitScreen != 0;
    case KC_STOP_IF_UNSPLIT:
        return gSplitScreen == 0;
    case KC_STOP_IF_DMODE:
        return gDirMode[gCurrentPane] != 0;
    case KC_STOP_IF_FMODE:
        return gDirMode[gCurrentPane] == 0;
    case KC_STOP_IF_NOT_VIEWER:
        return gWindowMode != WM_VIEWER && gWindowMode != WM_VIEW_TAGGED &&
               gWindowMode != WM_AUTOVIEW;
    default:
        return false;
    }
}

void MarkLoop(BOOL MACRO_STOP_FLAGS::*flag) {
    std::lock_guard<std::mutex> guard(gKeyLock);
    MacroStopFlags.*flag = TRUE;
    gMacroKeys.repeat = -int32_t(gMacroKeys.count);
}

void SetStopFlag(BOOL MACRO_STOP_FLAGS::*flag) {
    std::lock_guard<std::mutex> guard(gKeyLock);
    MacroStopFlags.*flag = TRUE;
}

// ---- Alt + keypad composition and the event reader below it ----------------------------------

enum class EventKind { KeyDown, AltReleased, MouseKey };

struct Event {
    EventKind kind;
    INPUT_RECORD record;
    KeyCode key;
};

// The next event that matters for composing characters: key presses other
// than modifiers (the companion program takes Ctrl+Shift keys when that
// interface is on), the release of Alt, and mouse actions as their keys.
// first, when given, is handled before anything is read.
Event NextEvent(const INPUT_RECORD** first) {
    for (;;) {
        Event e = {};
        if (*first) {
            e.record = **first;
            *first = nullptr;
        } else {
            ReadRecord(&e.record);
        }
        switch (e.record.EventType) {
        case KEY_EVENT: {
            const KEY_EVENT_RECORD& k = e.record.Event.KeyEvent;
            const DWORD state = k.dwControlKeyState;
            if (k.bKeyDown) {
                if (IsModifierKey(k.wVirtualKeyCode)) continue;
                KbdLayoutSync();
                if (gQaapOn && !gQaapKeysOff && (state & kCtrlBits) && (state & SHIFT_PRESSED) &&
                    k.wVirtualKeyCode != VK_LEFT && k.wVirtualKeyCode != VK_RIGHT) {
                    QaapStatus(1, '-', (state & kAltBits) ? '~' : '^', k.wVirtualKeyCode,
                               int(gPanes[gCurrentPane].CurrentIndex));
                    continue;
                }
                e.kind = EventKind::KeyDown;
                return e;
            }
            if (k.wVirtualKeyCode == VK_MENU && !(state & RIGHT_ALT_PRESSED)) {
                // The Alt menu that Alt's press showed goes with its release,
                // also when the release ends a composition.
                if (gMenuModifier == 2) ShowCommandMenu(0, 0);
                e.kind = EventKind::AltReleased;
                return e;
            }
            if (k.wVirtualKeyCode == VK_CONTROL && gMenuModifier == 1) gMenuModifier = 0;
            continue;
        }
        case MOUSE_EVENT: {
            const MOUSE_EVENT_RECORD& m = e.record.Event.MouseEvent;
            const bool mereMove =
                (m.dwEventFlags & MOUSE_MOVED) &&
                !(m.dwButtonState & (FROM_LEFT_1ST_BUTTON_PRESSED | RIGHTMOST_BUTTON_PRESSED));
            if (!SessionSwitches.mouse || mereMove) continue;
            e.key = HotMouseToKey(&m);
            if (e.key == 0) continue;
            e.kind = EventKind::MouseKey;
            return e;
        }
        case WINDOW_BUFFER_SIZE_EVENT:
            StoreReportedSize(e.record);
            continue;
        default:
            continue;
        }
    }
}

// The character of a finished composition, 0 for none.
KeyCode ComposedChar(const int* digits, int n, bool hex) {
    if (n == 0) return 0;
    int value = 0;
    if (hex) {
        for (int i = 0; i < n; i++) {
            const int c = digits[i];
            value = value * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        }
        return value;
    }
    for (int i = 0; i < n; i++)
        value = value * 10 + digits[i];
    if (digits[0] != 0 && value < 256) {
        const char byte = static_cast<char>(value);
        WCHAR unit = 0;
        if (MultiByteToWideChar(CP_OEMCP, 0, &byte, 1, &unit, 1) != 1) return 0;
        return unit;
    }
    return value;
}

// Reads until a key results, composing Alt + keypad digits. *state and *vk
// receive the control-key state and virtual key of the key press that made
// the key (0 for a composed character's release and for mouse keys).
KeyCode ReadComposed(BOOL raw, const INPUT_RECORD* first, DWORD* state, WORD* vk) {
    int digits[4] = {};
    int n = 0;
    bool hex = false;
    bool composing = false;
    *state = 0;
    *vk = 0;
    for (;;) {
        const Event e = NextEvent(&first);
        if (e.kind == EventKind::MouseKey) return e.key;
        if (e.kind == EventKind::AltReleased) {
            if (!composing) continue;
            const KeyCode c = ComposedChar(digits, n, hex);
            composing = hex = false;
            n = 0;
            if (c != 0) {
                gLastChar = c;
                return c;
            }
            continue;
        }
        const KEY_EVENT_RECORD& k = e.record.Event.KeyEvent;
        const DWORD st = k.dwControlKeyState;
        *state = st;
        *vk = k.wVirtualKeyCode;
        const bool alt = (st & LEFT_ALT_PRESSED) || (!gAltGrLayout && (st & RIGHT_ALT_PRESSED));
        const bool grey = st & ENHANCED_KEY;
        if (alt && (!grey || hex)) {
            const int d = KbdKeypadDigit(&k, hex);
            const WCHAR ch = k.uChar.UnicodeChar;
            if (d == 117 || (composing && (ch == u'u' || ch == u'U'))) {
                hex = composing = true;
                n = 0;
                continue;
            }
            if (d >= 0 && !(d == 8 && !composing && !hex && k.wVirtualScanCode == 0x48)) {
                if (n == 4) n = 0;
                digits[n++] = d;
                composing = true;
                continue;
            }
            composing = hex = false;
            n = 0;
        }
        const KeyCode key = KbdMapKeyEvent(raw, &k, -1);
        if (key != 0) return key;
    }
}

// Moves a key that a macro delivers into the flags word of the window
// loops' reader.
KeyCode MacroKeyFlags(KeyCode key, DWORD* flags) {
    DWORD f = 0;
    if (key >= 0 && key < KC_INTERNAL && (key & KC_SHIFT)) f = 0x200;
    if (key == '_' || (gWindowMode == WM_AUTOVIEW && key >= 'A' && key <= 'Z')) f = 0x200;
    if (key == KC_NUM_PLUS) {
        key = '+';
        f = 0x100;
    }
    if (flags) *flags = f;
    return key;
}

bool RecordingKeys() {
    return MacroRecordingActive();
}

} // namespace

// ---- queued keys --------------------------------------------------------------------------

BOOL KbdStackKey(KeyCode key) {
    std::lock_guard<std::mutex> guard(gKeyLock);
    if (KeyPushStack.count >= KEY_PUSH_STACK_MAX) return FALSE;
    KeyPushStack.keys[KeyPushStack.count++] = key;
    return TRUE;
}

void MacroLoadKeys(const KeyCode* keys, int n, int32_t repeat) {
    if (n < 0) n = 0;
    if (n > MACRO_KEYS_MAX) n = MACRO_KEYS_MAX;
    std::lock_guard<std::mutex> guard(gKeyLock);
    for (int i = 0; i < n; i++)
        gMacroKeys.keys[n - 1 - i] = keys[i];
    gMacroKeys.count = WORD(n);
    gMacroKeys.length = WORD(n);
    gMacroKeys.repeat = repeat;
    MacroStopFlags = {};
}

void MacroStop() {
    std::lock_guard<std::mutex> guard(gKeyLock);
    gMacroKeys.count = 0;
    gMacroKeys.length = 0;
    gMacroKeys.repeat = 0;
}

int MacroKeysLeft() {
    std::lock_guard<std::mutex> guard(gKeyLock);
    return gMacroKeys.count;
}

int32_t MacroRunsLeft() {
    std::lock_guard<std::mutex> guard(gKeyLock);
    return gMacroKeys.count > 0 && gMacroKeys.repeat > 1 ? gMacroKeys.repeat : 0;
}

int TypeAheadKeys() {
    std::lock_guard<std::mutex> guard(gKeyLock);
    return gTypeAheadCount;
}

void TypeAheadDrop() {
    std::lock_guard<std::mutex> guard(gKeyLock);
    gTypeAheadCount = 0;
}

KeyCode KbdMacroStep(KeyCode key) {
    bool last;
    {
        std::lock_guard<std::mutex> guard(gKeyLock);
        last = gMacroKeys.count == 0;
    }
    KeyCode result = key;
    if (key >= KC_STOP_IF_DW && key <= KC_BEEP) {
        result = 0;
        bool stop = false;
        switch (key) {
        case KC_STOP_ON_ERROR:
            SetStopFlag(&MACRO_STOP_FLAGS::onError);
            break;
        case KC_STOP_ON_HOME:
            SetStopFlag(&MACRO_STOP_FLAGS::onHome);
            break;
        case KC_STOP_ON_END:
            SetStopFlag(&MACRO_STOP_FLAGS::onEnd);
            break;
        case KC_WHILE_NOT_ERROR:
            MarkLoop(&MACRO_STOP_FLAGS::onError);
            break;
        case KC_WHILE_NOT_HOME:
            MarkLoop(&MACRO_STOP_FLAGS::onHome);
            break;
        case KC_WHILE_NOT_END:
            MarkLoop(&MACRO_STOP_FLAGS::onEnd);
            break;
        case KC_PAUSE:
            stop = !MacroPause();
            break;
        case KC_SLEEP:
            Sleep(1000);
            break;
        case KC_BEEP:
            ScrBeep();
            break;
        default:
            stop = StopConditionHolds(key);
            break;
        }
        if (stop) {
            MacroStop();
            return 0;
        }
    }
    if (last) EndOfMacroRun();
    return result;
}

// ---- the modifier arithmetic ----------------------------------------------------------------

KeyCode KbdMapKeyEvent(BOOL raw, const KEY_EVENT_RECORD* event, int count) {
    WORD vk = event->wVirtualKeyCode;
    const WORD scan = event->wVirtualScanCode;
    WCHAR ch = event->uChar.UnicodeChar;
    DWORD st = event->dwControlKeyState;
    const bool enhanced = st & ENHANCED_KEY;
    const bool altGr = gAltGrLayout;
    WCHAR c = ch;
    if (count == -1) {
        const bool keypad = IsKeypadDigitScan(scan) && !enhanced;
        // A keypad key reporting a movement without a character while Num
        // Lock is on was pressed with Shift.
        if (keypad && ch == 0 && (st & NUMLOCK_ON) && !(vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9))
            st |= SHIFT_PRESSED;
        if (!gTextCursor && (st & NUMLOCK_ON) && ch >= u'0' && ch <= u'9' && ch != vk) {
            static constexpr WORD kMoves[9] = {VK_END,   VK_DOWN, VK_NEXT, VK_LEFT, VK_CLEAR,
                                               VK_RIGHT, VK_HOME, VK_UP,   VK_PRIOR};
            st &= ~NUMLOCK_ON;
            if (ch != u'0') {
                vk = kMoves[ch - u'1'];
                ch = 0;
            }
        }
        BYTE keys[256] = {};
        const bool altGrHeld = altGr && (st & RIGHT_ALT_PRESSED);
        if (st & SHIFT_PRESSED) keys[VK_SHIFT] = 0x80;
        if ((st & kCtrlBits) || altGrHeld) keys[VK_CONTROL] = 0x80;
        if (st & kAltBits) keys[VK_MENU] = 0x80;
        if (st & CAPSLOCK_ON) keys[VK_CAPITAL] = 0x01;
        if (altGrHeld) keys[VK_RMENU] = 0x80;
        WCHAR typed[3] = {};
        count = ToUnicode(vk, scan, keys, typed, 2, 0);
        c = count > 0 ? typed[0] : 0;
    }
    const bool shift = st & SHIFT_PRESSED;
    KeyCode code = 0;
    bool plain = false;
    if (count <= 0) {
        bool ctrl = st & kCtrlBits;
        bool alt = st & kAltBits;
        if (altGr && (st & RIGHT_ALT_PRESSED)) {
            // Right Alt (with Ctrl) is AltGr, no modifier; with left Alt as
            // well it is Alt alone.
            alt = (st & LEFT_ALT_PRESSED) != 0;
            ctrl = false;
        }
        KeyCode offset = ctrl && alt ? KC_CTRL_ALT : alt ? KC_ALT : ctrl ? KC_CTRL : 0;
        if (shift) offset += KC_SHIFT;
        // A character the layout does not know (AltGr on another layout)
        // stands for itself; control characters that Ctrl makes do not.
        if (ch >= 0x20 && ch != 0x7F && ch != 0xE0) {
            code = ch + offset;
            plain = offset == 0;
        } else {
            code = vk + offset;
            if (ctrl && vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9)
                code = u'0' + (vk - VK_NUMPAD0) + offset;
            else if (!ctrl && !alt && !(shift && !enhanced))
                code += KC_SPECIAL;
        }
    } else {
        const bool isLetter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
        if (altGr && (st & RIGHT_ALT_PRESSED) &&
            ((c >= 0x5B && c <= 0x60) || c < u'A' || c > u'z' ||
             (isLetter && !(st & LEFT_ALT_PRESSED)))) {
            code = c;
            plain = true;
        } else if (count != 1) {
            code = c;
            plain = true;
        } else {
            const bool alt = (st & LEFT_ALT_PRESSED) || (!altGr && (st & RIGHT_ALT_PRESSED));
            const bool ctrl = st & kCtrlBits;
            if (!alt) {
                if (ctrl) {
                    if (ch == 28)
                        code = KC_CTRL_BKSL;
                    else if (vk == 'Q' && shift)
                        code = KC_CTRL_SH_Q;
                    else
                        code = KC_CTRL + vk;
                } else if (!shift) {
                    code = (vk == VK_OEM_MINUS && scan == 0x35 && enhanced) ? u'/' : c;
                    plain = true;
                } else if (c == 8 || c == 9 || c == 13 || c == 27) {
                    code = KC_SHIFT + c;
                } else {
                    code = c;
                    plain = true;
                }
            } else {
                code = (shift ? KC_ALT_SHIFT : KC_ALT) + vk;
            }
        }
    }
    if (!raw) {
        if (code == 0xCDB || code == 0x828) code = KC_ALT_LBRACKET;
        if (code == 0xCDD || code == 0x829) code = KC_ALT_RBRACKET;
    }
    gLastChar = plain ? code : 0;
    return code;
}

int KbdKeypadDigit(const KEY_EVENT_RECORD* event, BOOL hex) {
    int digit = -1;
    // clang-format off
    switch (event->wVirtualScanCode) {
    case 0x47: digit = 7; break;
    case 0x48: digit = 8; break;
    case 0x49: digit = 9; break;
    case 0x4B: digit = 4; break;
    case 0x4C: digit = 5; break;
    case 0x4D: digit = 6; break;
    case 0x4F: digit = 1; break;
    case 0x50: digit = 2; break;
    case 0x51: digit = 3; break;
    case 0x52: digit = 0; break;
    case 0x4E: return 117;
    default: break;
    }
    // clang-format on
    if (digit >= 0) return hex ? '0' + digit : digit;
    const WCHAR c = event->uChar.UnicodeChar;
    if (hex && ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
        return c;
    return -1;
}

KeyCode KbdReadChar() {
    DWORD state;
    WORD vk;
    return ReadComposed(FALSE, nullptr, &state, &vk);
}

// ---- the readers
// ------------------------------------------------------------------------------------

KeyCode KbdGetKey(BOOL showCursor, BOOL upcase) {
    KeyCode key = 0;
    bool queued = PopPushedKey(&key);
    if (!queued) {
        const MacroTake taken = TakeMacroKey(&key);
        if (taken == MacroTake::Nothing) return 0;
        queued = taken == MacroTake::Key;
    }
    if (!queued) {
        if (showCursor) ScrSetCursorShape(1);
        const BOOL editing = gTextCursor;
        gTextCursor = TRUE;
        const bool busy = gBusyFlag != 0;
        if (busy) SetBusy(0);
        key = KbdReadChar();
        if (busy) SetBusy(1);
        gTextCursor = editing;
        if (showCursor) ScrSetCursorShape(0);
        if (key == KC_CTRL_F12) {
            KeyLogMacroRecord(MacroRecordingActive() ? KEYLOG_END_RECORDING
                                                     : KEYLOG_START_RECORDING,
                              0, 0, nullptr);
            return 0;
        }
        if (key == KC_ALT_F12) {
            MacroCommand(1);
            return 0;
        }
        if (RecordingKeys()) KeyLogMacroRecord(KEYLOG_KEY, key, 0, nullptr);
    }
    if (upcase && key >= 'a' && key <= 'z') key -= 32;
    return key;
}

KeyCode KbdGetKeyEx(BOOL wait, DWORD* flags) {
    if (flags) *flags = 0;
    if (wait) {
        KeyCode key = 0;
        if (PopPushedKey(&key)) {
            if (flags && key >= 0 && key < KC_INTERNAL && (key & KC_SHIFT)) *flags = 0x200;
            return key;
        }
        if (MacroKeysAllowed()) {
            const MacroTake taken = TakeMacroKey(&key);
            if (taken == MacroTake::Nothing) return 0;
            if (taken == MacroTake::Key) return MacroKeyFlags(key, flags);
        }
    }
    for (;;) {
        INPUT_RECORD record;
        bool held = false;
        {
            std::lock_guard<std::mutex> guard(gKeyLock);
            if (wait && gHeldRecordValid) {
                record = gHeldRecord;
                gHeldRecordValid = false;
                held = true;
            }
        }
        if (!held) ReadRecord(&record);
        if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) StoreReportedSize(record);
        // Only the window loops' own reads apply a resize: the clock thread's
        // look at the input must not change the geometry under the drawing.
        if (wait && ResizeDue()) {
            ApplyResize();
            if (record.EventType == KEY_EVENT || record.EventType == MOUSE_EVENT) {
                std::lock_guard<std::mutex> guard(gKeyLock);
                gHeldRecord = record;
                gHeldRecordValid = true;
            }
            return KC_RESIZED;
        }
        switch (record.EventType) {
        case MENU_EVENT:
        case FOCUS_EVENT:
            if (record.EventType == MENU_EVENT &&
                record.Event.MenuEvent.dwCommandId == CONSOLE_WAKEUP_MARKER)
                continue;
            if (gMenuModifier == 1 || gMenuModifier == 2) ShowCommandMenu(0, 0);
            continue;
        case MOUSE_EVENT: {
            if (!SessionSwitches.mouse) continue;
            const MOUSE_EVENT_RECORD& m = record.Event.MouseEvent;
            const WORD mode = gWindowMode;
            if ((m.dwButtonState & RIGHTMOST_BUTTON_PRESSED) &&
                !(m.dwEventFlags & (MOUSE_MOVED | DOUBLE_CLICK | MOUSE_WHEELED)) &&
                (mode == WM_TREE || mode == WM_FILE || mode == WM_ARCHIVE_FILE ||
                 mode == WM_AUTOVIEW)) {
                // A right double click is a different action: wait for it to
                // show up and drop its records.
                Sleep(500);
                INPUT_RECORD next[3];
                DWORD n = 0;
                if (PeekConsoleInputA(Input(), next, 3, &n) && n == 3 &&
                    next[2].EventType == MOUSE_EVENT &&
                    (next[2].Event.MouseEvent.dwEventFlags & DOUBLE_CLICK)) {
                    DWORD read = 0;
                    ReadConsoleInputW(Input(), next, 3, &read);
                }
            }
            KeyCode key = HotMouseToKey(&m);
            if (key == 0) continue;
            int row = m.dwMousePosition.Y;
            const int column = m.dwMousePosition.X;
            const PaneState& pane = gPanes[gCurrentPane];
            if ((mode == WM_FILE || mode == WM_ARCHIVE_FILE) && !gPickerActive) {
                if (key == HOT_WINDOW_CLICK) {
                    if (row > gScreenRows - 5)
                        key = 4139;
                    else if (DWORD(row) < pane.FileAreaRow)
                        key = 4138;
                    else
                        key = HOT_RIGHT_CLICK;
                }
                if (pane.SmallFileWindow) {
                    const int tree = gSmallWindowRow;
                    row = row >= tree ? row - tree + 2 : tree - 1;
                }
            }
            if (flags) {
                *flags = DWORD(column) << 16 | DWORD(row & 0xFFFF);
                if (key == 9) *flags += 0xF0000000u;
                if (m.dwControlKeyState & SHIFT_PRESSED) *flags |= 0x200;
            }
            return key;
        }
        case KEY_EVENT:
            break;
        default:
            continue;
        }

        KEY_EVENT_RECORD& k = record.Event.KeyEvent;
        const WORD vk = k.wVirtualKeyCode;
        const int modifier = vk == VK_CONTROL ? 1 : vk == VK_MENU ? 2 : vk == VK_SHIFT ? 3 : 0;
        const bool inputLine = gWindowMode == WM_LINE_EDITOR;
        if (!k.bKeyDown) {
            if (modifier && MenusAllowed() && !inputLine && gMenuModifier == modifier) {
                ShowCommandMenu(0, 0);
                return 0;
            }
            continue;
        }
        if (vk == VK_LWIN || vk == VK_RWIN) return 0;
        if (vk == VK_CAPITAL || vk == 255 || ConsoleSelecting()) continue;
        if (modifier) {
            if (vk == VK_CONTROL && gKeyHeld == VK_UP) return KC_CTRL_UP;
            if (vk == VK_CONTROL && gKeyHeld == VK_DOWN) return KC_CTRL_DOWN;
            if (!MenusAllowed() || inputLine) continue;
            if (modifier == 2 && gAltGrLayout && (k.dwControlKeyState & RIGHT_ALT_PRESSED))
                continue;
            const WORD mode = gWindowMode;
            if (modifier == 3 && mode != WM_VIEWER && mode != WM_VIEW_TAGGED && mode != WM_AUTOVIEW)
                continue;
            ShowCommandMenu(WORD(modifier), 0);
            return 0;
        }
        if (gMenuModifier != 0 && !(k.dwControlKeyState & (kCtrlBits | kAltBits | SHIFT_PRESSED)) &&
            vk != VK_F4) {
            // A key pressed while a modifier's menu is up counts as pressed
            // with that modifier.
            const WORD shown = gMenuModifier;
            ShowCommandMenu(0, 0);
            gMenuModifier = 0;
            if (shown == 3 && vk == VK_ESCAPE) return 0;
            k.dwControlKeyState |= shown == 1   ? LEFT_CTRL_PRESSED
                                   : shown == 2 ? LEFT_ALT_PRESSED
                                                : SHIFT_PRESSED;
        }
        DWORD state = 0;
        WORD keyVk = 0;
        KeyCode key = ReadComposed(TRUE, &record, &state, &keyVk);
        if (key == 0) continue;
        if (flags) {
            DWORD f = state;
            if (state & SHIFT_PRESSED) f += 0x200;
            if (keyVk == VK_MULTIPLY || keyVk == VK_ADD || keyVk == VK_SUBTRACT) f += 0x100;
            *flags = f;
        }
        if (key == '-' && keyVk == VK_SUBTRACT && (state & SHIFT_PRESSED) &&
            gWindowMode != WM_AUTOVIEW)
            key = KC_SH_NUM_MINUS;
        const WORD mode = gWindowMode;
        if (gCtrlArrowsTag && (mode == WM_FILE || mode == WM_ARCHIVE_FILE || mode == WM_AUTOVIEW)) {
            if (key == KC_CTRL_UP) key = KC_TAG_UP;
            if (key == KC_CTRL_DOWN) key = KC_TAG_DOWN;
        }
        if (RecordingKeys()) KeyLogMacroRecord(KEYLOG_KEY, key, flags ? *flags : 0, nullptr);
        return key;
    }
}

int KbdWaitKey(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(gKeyLock);
            if (KeyPushStack.count != 0 || gMacroKeys.count != 0 || gTypeAheadCount != 0)
                return 1;
        }
        INPUT_RECORD record;
        if (PeekRecord(&record)) {
            switch (record.EventType) {
            case KEY_EVENT:
                if (record.Event.KeyEvent.bKeyDown) return 1;
                break;
            case MOUSE_EVENT: {
                const MOUSE_EVENT_RECORD& m = record.Event.MouseEvent;
                if (!((m.dwEventFlags & MOUSE_MOVED) && (m.dwButtonState & 0xFFFF) == 0)) return 1;
                break;
            }
            case WINDOW_BUFFER_SIZE_EVENT:
                return 1;
            default:
                break;
            }
            RemoveRecord();
            continue;
        }
        if (GetTickCount() - start >= milliseconds) return 0;
        Sleep(50);
    }
}

KeyCode KbdFlush(BOOL returnOnly) {
    INPUT_RECORD record;
    if (!PeekRecord(&record)) return 0;
    if (record.EventType == KEY_EVENT) {
        const KEY_EVENT_RECORD& k = record.Event.KeyEvent;
        if (!k.bKeyDown) {
            RemoveRecord();
            if (k.wVirtualKeyCode == VK_CONTROL || k.wVirtualKeyCode == VK_MENU)
                gMenuRedrawPending = 1;
            return 0;
        }
        if (k.wVirtualKeyCode == VK_ESCAPE) {
            FlushConsoleInputBuffer(Input());
            return KC_ESC;
        }
        // A modifier pressed alone makes no key: reading it would wait for
        // the next key press.
        if (IsModifierKey(k.wVirtualKeyCode)) {
            RemoveRecord();
            return 0;
        }
        DWORD flags = 0;
        const KeyCode key = KbdGetKeyEx(FALSE, &flags);
        if (!returnOnly && key != 0) {
            std::lock_guard<std::mutex> guard(gKeyLock);
            if (gMacroKeys.count + gTypeAheadCount < MACRO_KEYS_MAX)
                gTypeAhead[gTypeAheadCount++] = key;
        }
        return key;
    }
    if (record.EventType == MOUSE_EVENT) {
        const MOUSE_EVENT_RECORD& m = record.Event.MouseEvent;
        const bool press = (m.dwButtonState & FROM_LEFT_1ST_BUTTON_PRESSED) &&
                           !(m.dwEventFlags & (MOUSE_MOVED | MOUSE_WHEELED));
        if (press && HotRegionLookup(FALSE, m.dwMousePosition.Y, m.dwMousePosition.X) == KC_ESC) {
            FlushConsoleInputBuffer(Input());
            return KC_ESC;
        }
    }
    RemoveRecord();
    return 0;
}

void KbdPushKey(KeyCode character) {
    INPUT_RECORD record = {};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = TRUE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.uChar.UnicodeChar = WCHAR(character);
    DWORD written = 0;
    WriteConsoleInputW(Input(), &record, 1, &written);
}

void KbdOpen(BOOL flush) {
    if (gConIn) CloseHandle(gConIn);
    gConIn = RdCreateFileW(u"CONIN$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (gConIn == INVALID_HANDLE_VALUE || gConIn == nullptr) {
        gConIn = nullptr;
        fprintf(stderr, "\nFatal Error - Could not open keyboard input handle\n");
        exit(-1);
    }
    KbdSetInputMode();
    if (flush) {
        FlushConsoleInputBuffer(gConIn);
        INPUT_RECORD record;
        PeekRecord(&record);
    }
}

void KbdSetInputMode() {
    DWORD mode = 0;
    GetConsoleMode(Input(), &mode);
    if (!gHaveSavedInputMode) {
        gSavedInputMode = mode;
        gHaveSavedInputMode = true;
    }
    if (SessionSwitches.mouse) {
        mode &= ~(ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                  ENABLE_QUICK_EDIT_MODE);
        mode |= ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT | ENABLE_EXTENDED_FLAGS;
    } else {
        mode &=
            ~(ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT);
        mode |= ENABLE_WINDOW_INPUT;
    }
    SetConsoleMode(Input(), mode);
}

DWORD KbdSavedInputMode() {
    return gSavedInputMode;
}

void KbdLayoutSync() {
    // The console window belongs to this process's own pseudo window; its
    // thread's layout is the program's.
    static const DWORD thread = [] {
        DWORD process = 0;
        return GetWindowThreadProcessId(GetConsoleWindow(), &process);
    }();
    const HKL layout = GetKeyboardLayout(thread);
    if (gLayout.exchange(layout) == layout) return;
    ActivateKeyboardLayout(layout, 0);
    BOOL altGr = FALSE;
    for (int c = 0; c < 256 && !altGr; c++) {
        const SHORT scan = VkKeyScanW(WCHAR(c));
        if (scan != -1 && ((scan >> 8) & 6) == 6) altGr = TRUE;
    }
    gAltGrLayout = altGr;
}
