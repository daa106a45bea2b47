// The key reader: turns the console's input records into the program's key
// codes, one integer per key press, after the keys the program queued for
// itself (the push-back stack, then a running keyboard macro, whose control
// codes it carries out). It composes characters typed as Alt + keypad
// digits, follows AltGr layouts, shows the Ctrl, Alt and Shift menus while a
// modifier is held alone, turns mouse clicks into keys and reports a changed
// terminal size as a key.
//
// The push-back stack, the macro buffer and the typed-ahead keys are shared
// with the clock thread (which takes type-ahead through KbdFlush): change
// them only through the functions here, which take their lock.
#pragma once

#include "windows.h"

#include <atomic>

// ---- key codes ---------------------------------------------------------------------------

// A character is its own code; a special key is 0x100 + its virtual-key
// code; Shift adds 0x200 (ordinary keys drop the 0x100, grey keys keep it),
// Ctrl 0x400, Ctrl+Shift 0x600, Alt 0x800, Alt+Shift 0xA00, Ctrl+Alt 0xC00;
// codes from 0x1000 up are keys the program queues for itself; -1 is STOP.
typedef int32_t KeyCode;

inline constexpr KeyCode KC_SPECIAL = 0x100;
inline constexpr KeyCode KC_SHIFT = 0x200;
inline constexpr KeyCode KC_CTRL = 0x400;
inline constexpr KeyCode KC_CTRL_SHIFT = 0x600;
inline constexpr KeyCode KC_ALT = 0x800;
inline constexpr KeyCode KC_ALT_SHIFT = 0xA00;
inline constexpr KeyCode KC_CTRL_ALT = 0xC00;
inline constexpr KeyCode KC_INTERNAL = 0x1000;

// Families: letters by their upper-case code, digits by '0'-'9', function
// keys by number 1-12.
constexpr KeyCode KcCtrl(char letterOrDigit) {
    return KC_CTRL + letterOrDigit;
}
constexpr KeyCode KcAlt(char letterOrDigit) {
    return KC_ALT + letterOrDigit;
}
constexpr KeyCode KcF(int n) {
    return KC_SPECIAL + 0x6F + n;
}
constexpr KeyCode KcShF(int n) {
    return KC_SHIFT + 0x6F + n;
}
constexpr KeyCode KcCtrlF(int n) {
    return KC_CTRL + 0x6F + n;
}
constexpr KeyCode KcAltF(int n) {
    return KC_ALT + 0x6F + n;
}

inline constexpr KeyCode KC_STOP = -1;
inline constexpr KeyCode KC_BKSP = 0x08;
inline constexpr KeyCode KC_TAB = 0x09;
inline constexpr KeyCode KC_ENTER = 0x0D;
inline constexpr KeyCode KC_ESC = 0x1B;
inline constexpr KeyCode KC_SPACE = 0x20;
inline constexpr KeyCode KC_QUOTE = 0x22;
inline constexpr KeyCode KC_COMMA = 0x2C;
inline constexpr KeyCode KC_SEMI = 0x3B;
inline constexpr KeyCode KC_NUM5 = 0x10C;
inline constexpr KeyCode KC_PGUP = 0x121;
inline constexpr KeyCode KC_PGDN = 0x122;
inline constexpr KeyCode KC_END = 0x123;
inline constexpr KeyCode KC_HOME = 0x124;
inline constexpr KeyCode KC_LEFT = 0x125;
inline constexpr KeyCode KC_UP = 0x126;
inline constexpr KeyCode KC_RIGHT = 0x127;
inline constexpr KeyCode KC_DOWN = 0x128;
inline constexpr KeyCode KC_NUM_PLUS = 0x12B;
inline constexpr KeyCode KC_INS = 0x12D;
inline constexpr KeyCode KC_DEL = 0x12E;
inline constexpr KeyCode KC_F1 = 0x170;
inline constexpr KeyCode KC_F4 = 0x173;
inline constexpr KeyCode KC_F12 = 0x17B;
inline constexpr KeyCode KC_SH_BKSP = 0x208;
inline constexpr KeyCode KC_BTAB = 0x209;
inline constexpr KeyCode KC_SH_NUM5 = 0x20C;
inline constexpr KeyCode KC_SH_ENTER = 0x20D;
inline constexpr KeyCode KC_SH_ESC = 0x21B;
inline constexpr KeyCode KC_SH_NUM9 = 0x221;
inline constexpr KeyCode KC_SH_NUM3 = 0x222;
inline constexpr KeyCode KC_SH_NUM1 = 0x223;
inline constexpr KeyCode KC_SH_NUM7 = 0x224;
inline constexpr KeyCode KC_SH_NUM4 = 0x225;
inline constexpr KeyCode KC_SH_NUM8 = 0x226;
inline constexpr KeyCode KC_SH_NUM6 = 0x227;
inline constexpr KeyCode KC_SH_NUM2 = 0x228;
inline constexpr KeyCode KC_SH_NUM_INS = 0x22D;
inline constexpr KeyCode KC_SH_NUM_MINUS = 0x26D;
inline constexpr KeyCode KC_SH_PGUP = 0x321;
inline constexpr KeyCode KC_SH_PGDN = 0x322;
inline constexpr KeyCode KC_SH_END = 0x323;
inline constexpr KeyCode KC_SH_HOME = 0x324;
inline constexpr KeyCode KC_SH_LEFT = 0x325;
inline constexpr KeyCode KC_SH_UP = 0x326;
inline constexpr KeyCode KC_SH_RIGHT = 0x327;
inline constexpr KeyCode KC_SH_DOWN = 0x328;
inline constexpr KeyCode KC_SH_INS = 0x32D;
inline constexpr KeyCode KC_SH_DEL = 0x32E;
inline constexpr KeyCode KC_CTRL_BKSP = 0x408;
inline constexpr KeyCode KC_CTRL_TAB = 0x409;
inline constexpr KeyCode KC_CTRL_ENTER = 0x40D;
inline constexpr KeyCode KC_CTRL_BKSL = 0x41C;
inline constexpr KeyCode KC_CTRL_SPACE = 0x420;
inline constexpr KeyCode KC_CTRL_PGUP = 0x421;
inline constexpr KeyCode KC_CTRL_PGDN = 0x422;
inline constexpr KeyCode KC_CTRL_END = 0x423;
inline constexpr KeyCode KC_CTRL_HOME = 0x424;
inline constexpr KeyCode KC_CTRL_LEFT = 0x425;
inline constexpr KeyCode KC_CTRL_UP = 0x426;
inline constexpr KeyCode KC_CTRL_RIGHT = 0x427;
inline constexpr KeyCode KC_CTRL_DOWN = 0x428;
inline constexpr KeyCode KC_CTRL_INS = 0x42D;
inline constexpr KeyCode KC_CTRL_DEL = 0x42E;
inline constexpr KeyCode KC_CTRL_LBRACKET = 0x4DB;
inline constexpr KeyCode KC_CTRL_RBRACKET = 0x4DD;
inline constexpr KeyCode KC_CTRL_F12 = 0x47B;
inline constexpr KeyCode KC_CTRL_BTAB = 0x609;
inline constexpr KeyCode KC_CTRL_SH_LEFT = 0x625;
inline constexpr KeyCode KC_CTRL_SH_RIGHT = 0x627;
inline constexpr KeyCode KC_CTRL_SH_Q = 0x651;
inline constexpr KeyCode KC_ALT_HOME = 0x824;
inline constexpr KeyCode KC_ALT_LEFT = 0x825;
inline constexpr KeyCode KC_ALT_UP = 0x826;
inline constexpr KeyCode KC_ALT_RIGHT = 0x827;
inline constexpr KeyCode KC_ALT_DOWN = 0x828;
inline constexpr KeyCode KC_ALT_F12 = 0x87B;
inline constexpr KeyCode KC_ALT_SEMI = 0x8BA;
inline constexpr KeyCode KC_ALT_PERIOD = 0x8BE;
inline constexpr KeyCode KC_ALT_LBRACKET = 0x8DB;
inline constexpr KeyCode KC_ALT_BKSL = 0x8DC;
inline constexpr KeyCode KC_ALT_RBRACKET = 0x8DD;
inline constexpr KeyCode KC_SPLIT = 0x1020;
inline constexpr KeyCode KC_UNSPLIT = 0x1021;
inline constexpr KeyCode KC_DESCEND = 0x1022;
inline constexpr KeyCode KC_ASCEND = 0x1023;
inline constexpr KeyCode KC_TAG_UP = 0x1024;
inline constexpr KeyCode KC_TAG_DOWN = 0x1025;
inline constexpr KeyCode KC_RESIZED = 0x1029;
inline constexpr KeyCode KC_DMODE = 0x103B;
inline constexpr KeyCode KC_FMODE = 0x103C;

// Macro control codes, carried out by KbdMacroStep.
inline constexpr KeyCode KC_STOP_IF_DW = 0x1070;
inline constexpr KeyCode KC_STOP_IF_FW = 0x1071;
inline constexpr KeyCode KC_STOP_IF_MATCH = 0x1072;
inline constexpr KeyCode KC_STOP_IF_NOMATCH = 0x1073;
inline constexpr KeyCode KC_STOP_IF_TAGS = 0x1074;
inline constexpr KeyCode KC_STOP_IF_NOTAGS = 0x1075;
inline constexpr KeyCode KC_STOP_IF_SPLIT = 0x1076;
inline constexpr KeyCode KC_STOP_IF_UNSPLIT = 0x1077;
inline constexpr KeyCode KC_STOP_IF_DMODE = 0x1078;
inline constexpr KeyCode KC_STOP_IF_FMODE = 0x1079;
inline constexpr KeyCode KC_STOP_IF_NOT_VIEWER = 0x107A;
inline constexpr KeyCode KC_STOP_ON_ERROR = 0x107B;
inline constexpr KeyCode KC_STOP_ON_HOME = 0x107C;
inline constexpr KeyCode KC_STOP_ON_END = 0x107D;
inline constexpr KeyCode KC_WHILE_NOT_ERROR = 0x107E;
inline constexpr KeyCode KC_WHILE_NOT_HOME = 0x107F;
inline constexpr KeyCode KC_WHILE_NOT_END = 0x1080;
inline constexpr KeyCode KC_PAUSE = 0x1081;
inline constexpr KeyCode KC_SLEEP = 0x1082;
inline constexpr KeyCode KC_BEEP = 0x1083;

// ---- queued keys --------------------------------------------------------------------------

inline constexpr int KEY_PUSH_STACK_MAX = 256;
inline constexpr int MACRO_KEYS_MAX = 3071;

// Keys pushed back by the program, last in first out.
struct KEY_PUSH_STACK {
    WORD count;
    KeyCode keys[KEY_PUSH_STACK_MAX];
};
extern KEY_PUSH_STACK KeyPushStack;

// The running macro: keys are taken from index count - 1 down, so index 0
// is the macro's last key. length is the macro's full length (restored for a
// repeat); repeat is the runs left when positive, or minus the key count at
// a loop marker when negative.
struct MACRO_KEYS {
    KeyCode keys[MACRO_KEYS_MAX];
    WORD count;
    WORD length;
    int32_t repeat;
};
extern MACRO_KEYS gMacroKeys;

// Set by the macro's control codes: stop the macro when an error is
// reported, or when a cursor movement reaches the first or the last entry.
// The error line and the list movements read them.
struct MACRO_STOP_FLAGS {
    BOOL onError;
    BOOL onHome;
    BOOL onEnd;
};
extern MACRO_STOP_FLAGS MacroStopFlags;

// Pushes a key back; the next read returns it first. FALSE (nothing stored)
// when the stack holds 256 keys.
BOOL KbdStackKey(KeyCode key);
// Starts a macro of n keys in typing order (at most 3071; more are dropped)
// with the repeat counter; the stop flags are cleared.
void MacroLoadKeys(const KeyCode* keys, int n, int32_t repeat);
// Ends a running macro: count, length and repeat counter become 0.
void MacroStop();
// Keys of the running macro not yet taken (0 when none runs).
int MacroKeysLeft();
// While the reader is in its count mode (a running macro with keys to play
// and more than one run left), the runs left with the current one counted;
// else 0.
int32_t MacroRunsLeft();
// Keys typed ahead (KbdFlush) and not yet delivered. They come after every
// key of a running macro, its repeats and loops included, once each; ending
// a macro keeps them.
int TypeAheadKeys();
// Forgets the keys typed ahead.
void TypeAheadDrop();

// ---- what the windows above tell the reader ----------------------------------------------------

// Facts of the current pane's display list that the macro stop codes test.
struct MACRO_LIST_FACTS {
    BOOL listExists;
    DWORD matching; // entries that match the filter
    DWORD tagged;   // tagged entries
};
// The tree model's answer; while none is installed there is no display list.
typedef void (*MacroListFactsFn)(MACRO_LIST_FACTS* facts);
extern MacroListFactsFn gMacroListFacts;

// The window in charge takes macro keys also while busy (the file window,
// the information screen and the viewer set it).
extern BOOL gMacroKeysWhileBusy;
// The viewer shows no modifier menus (in hex edit, or by its own choice).
extern BOOL gModifierMenusOff;
// The line editor keeps Ctrl+Shift keys from the companion program.
extern BOOL gQaapKeysOff;
// Ctrl+Up and Ctrl+Down tag towards the list start and end in the file
// windows (KC_TAG_UP, KC_TAG_DOWN).
extern BOOL gCtrlArrowsTag;

// ---- state the reader keeps
// ----------------------------------------------------------------------

// The console input handle (null until KbdOpen).
extern HANDLE gConIn;
// The last plain character produced, 0 after any other key; the line editor
// reads it.
extern std::atomic<KeyCode> gLastChar;
// The keyboard layout types characters with AltGr (Ctrl + Alt).
extern std::atomic<BOOL> gAltGrLayout;

// ---- the readers
// ------------------------------------------------------------------------------------

// The prompt and dialog reader: a pushed-back key, else the next key of a
// running macro (0 when its last key is a control code), else a key from the
// console, read with the text cursor shown when showCursor is set and with
// the busy state lowered meanwhile. Ctrl+F12 toggles macro recording and
// Alt+F12 opens the MACRO command, both giving 0; while recording or key
// logging, other console keys go to the recorder. With upcase, 'a'-'z' come
// back upper-case.
KeyCode KbdGetKey(BOOL showCursor, BOOL upcase);
// The window loops' reader: with wait, a pushed-back key, else a macro key
// (not while busy unless gMacroKeysWhileBusy), else console records one at a
// time; without wait only the console. A changed terminal size gives
// KC_RESIZED after the new size is applied; a modifier pressed or released
// alone shows or takes down its command menu and gives 0; a mouse event
// gives the key of its click region or click code, with column << 16 | row
// in *flags (0xF0000000 added for click code 9, 0x200 with Shift); a key
// gives its control-key state in *flags (0x200 added with Shift, 0x100 for
// the keypad *, + and -). flags may be null.
KeyCode KbdGetKeyEx(BOOL wait, DWORD* flags);
// Reads the console until a key results, composing Alt + keypad digits:
// decimal (a first digit 0 gives the Unicode character, another the code
// page 437 byte below 256) or, after keypad + or 'u', hexadecimal.
KeyCode KbdReadChar();
// The key code of a key-down event. count is the number of characters the
// key typed, or -1 to have it computed from the layout (which also applies
// the Num Lock rule: while no line is edited, keypad digits move). With raw
// off, Alt+Down and Alt+Select count as Alt+[ and Alt+] as the prompts want
// them. Sets gLastChar.
KeyCode KbdMapKeyEvent(BOOL raw, const KEY_EVENT_RECORD* event, int count);
// Carries out a key just taken from the macro: a control code acts and gives
// 0, any other key is returned. After the macro's last key it repeats the
// macro or its loop, unless Esc is waiting.
KeyCode KbdMacroStep(KeyCode key);
// 1 as soon as a key, a mouse action or a size change waits (or a key is
// queued), 0 after milliseconds; key releases and mouse moves are removed.
int KbdWaitKey(DWORD milliseconds);
// Looks at the next console record without waiting: Esc (or a click that
// means Esc) empties the input and gives 27; another key press is read and
// returned, and unless returnOnly it is also kept as typed ahead, to be
// delivered again after a running macro's keys (TypeAheadKeys); anything
// else is removed and gives 0.
KeyCode KbdFlush(BOOL returnOnly);
// Puts a key-down event of the character into the console input.
void KbdPushKey(KeyCode character);
// Opens the console input (any previous handle closed) and sets its mode;
// with flush, empties it. Without a console input the program ends with
// status -1 after a message on standard error.
void KbdOpen(BOOL flush);
// Sets the console input mode for the mouse switch (window input always on);
// the first mode seen is kept for the end of the program.
void KbdSetInputMode();
// The console input mode found by the first KbdSetInputMode.
DWORD KbdSavedInputMode();
// Follows the keyboard layout of the console window's thread: when it
// changed, activates it and sets gAltGrLayout.
void KbdLayoutSync();
// The keypad digit of a key-down by its scan code (0-9, or '0'-'9' in hex
// mode, where any hex digit character counts as itself), 117 for keypad +,
// -1 for any other key.
int KbdKeypadDigit(const KEY_EVENT_RECORD* event, BOOL hex);
