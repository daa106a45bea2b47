// The line editor that every prompt reads its answer with, and the command
// histories it offers and adds to. This is the editor's basic form: one
// line of text edited in place (insert or overwrite, cursor keys, Home and
// End, Backspace and Delete, horizontal scroll when the text is wider than
// the field), a proposed answer shown highlighted, the history of the
// prompt's list recalled with Up, Down and F3, and every key it does not
// handle returned to the caller.
#pragma once

#include "platform/keyboard.h"
#include "windows.h"

// Insert (nonzero) or overwrite (0), common to every prompt; Ins toggles it.
extern DWORD gInsertMode;

// passKeys bits: the function keys that end the edit and are returned.
inline constexpr DWORD PASS_F1 = 1u << 0;
inline constexpr DWORD PASS_F3 = 1u << 2;
inline constexpr DWORD PASS_F7 = 1u << 6;
inline constexpr DWORD PASS_F9 = 1u << 8;
// The passKeys bit of a function key (F1-F9, F11, F12), 0 for F10 and
// other keys.
DWORD PassKeyBit(KeyCode key);

// Edits text in place on screen row row from column column and returns the
// key that ended the edit: 13 Enter, 27 Esc (the text is then not written
// back), the function keys whose passKeys bit is set, and every other key
// that is not an editing key (Alt-F7 2166, Tab, ...). The field is as wide
// as the text the caller passes (callers pad with blanks); a U+0001 in it
// marks where the cursor starts, else the cursor starts after the last
// non-blank character. The visible part ends at the right edge of the
// screen and scrolls with the cursor. echo '*' shows '*' for every
// character; 'A' and 'X' turn typed letters upper case. listId names the
// history list (0 none). finish: 1 cut the text at the cursor, 2 drop
// trailing blanks, 3 drop the blanks after the cursor, 4 cut at the end of
// the text, 5 end it with U+0001; other values keep the field's blanks.
// singleKey returns after every handled key. With proposal the text is a
// proposed answer shown highlighted: the first character typed replaces
// it, a cursor key makes it ordinary text. helpTopic is shown by F1 when
// F1 is not passed (0: the topic of the tree or file window). The accepted
// text joins the list's history (not for lists 4, 14, 16, 21, 25, 37, 40,
// 42 and 46, whose callers add it themselves or keep none). Window mode 18
// while it runs.
KeyCode InputLine(WORD row, WORD column, WCHAR* text, char echo, WORD listId, BYTE finish,
                  BOOL singleKey, BOOL proposal, DWORD passKeys, int helpTopic);

// Adds an accepted text to a history list (1 to 47): an equal entry (case
// ignored, except in lists 24, 29, 30 and 32) moves to the front with the
// new text; otherwise the text becomes the newest entry, the oldest
// unmarked one going when 64 unmarked entries are held. Empty texts and
// lists without a history are ignored.
void AddToHistory(WORD list, const WCHAR* text);
// The number of entries of a list, and entry index (0 the newest) without
// its mark; null past the end.
DWORD HistoryCount(WORD list);
const WCHAR* HistoryEntry(WORD list, DWORD index);
// Empties every list.
void HistFreeAll();
// Reads the history file into the lists; with allocateArrays (start-up)
// the remembered choices of its toggles line are applied too. The file is
// not read yet: the lists stay as they are.
void HistLoad(int allocateArrays);
// Writes the history file and, with writeScript, the cd-on-exit script
// (a cd line to lastPath when a cd flag is set and lastPath is given);
// unused is not read. The files are not written yet.
void HistSave(int writeScript, const WCHAR* lastPath, int cdFlag, int unused, int cdFlag2);
