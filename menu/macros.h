// Keyboard macros: the names of the key codes, macro text (inline or from a
// .qbm file) turned into keys for the key reader to play, the macro recorder
// and the MACRO command's repeat of the last macro. The key log and the
// recorder's file and save dialog are not built yet: a recording is kept in
// memory as macro text.
#pragma once

#include "windows.h"
#include "platform/keyboard.h"

// One row of the key-name table: a key code and its name as macros write it.
struct KeyNameRow {
    KeyCode code;
    const char* name;
};
// The 227 rows, then an end row with code 0 and an empty name.
extern const KeyNameRow gKeyNames[];
inline constexpr int KEY_NAME_COUNT = 227;

// The code of a key name, 0 when the text is not one. The part before the
// first underscore (all of it without one) must match with case, the rest
// ignoring it: CTRL_a and ALT_f1 are names, ctrl_A, Enter and f1 are not.
KeyCode KeyNameToCode(const char* name);
// The name a recording writes for a code: the table's first spelling, never
// the alternative spellings or the control words; null when the code has
// none (a code below 256 is then its character).
const char* KeyCodeName(KeyCode code);

// Loads macro text into the key reader's macro buffer: items separated by
// commas (runs of commas count as one), each a key name or characters typed
// one by one; a double quote up to its closing quote (before the next "RET")
// keeps commas inside the item; an item starting "STOP" (not "STOP_") ends the
// text. "@name" reads the macro file name (".qbm" added when the name has no
// extension): ";" lines are comments, lines join with commas. At most 3071
// keys ("Macro buffer full - truncated" beyond). Returns the keys loaded, 0
// for none, -1 when the file cannot be opened ("Unable to open macro file").
int LoadMacro(const char* text);

// Operations of KeyLogMacroRecord.
inline constexpr int KEYLOG_OPEN = 0;
inline constexpr int KEYLOG_START_RECORDING = 1;
inline constexpr int KEYLOG_KEY = 2;
inline constexpr int KEYLOG_STRING = 3;
inline constexpr int KEYLOG_CLOSE = 4;
inline constexpr int KEYLOG_END_RECORDING = 5;
inline constexpr int KEYLOG_STAMP = 6;

// The macro recorder: KEYLOG_START_RECORDING starts a new recording,
// KEYLOG_KEY adds key to it (names as items of their own, characters typed
// in a row as one item), KEYLOG_END_RECORDING ends it. The other operations
// belong to the key log and do nothing. Returns 0.
int KeyLogMacroRecord(int operation, KeyCode key, DWORD flags, const char* text);
// Whether a recording runs (the key readers hand it every key they read).
BOOL MacroRecordingActive();
// The text of the current or last recording, which LoadMacro plays back.
const char* MacroRecordedText();

// The MACRO command. With repeatLast, the last macro loaded is loaded again;
// the dialog that asks for a macro is not built yet.
void MacroCommand(int repeatLast);
