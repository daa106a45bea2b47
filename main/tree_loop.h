// The tree window's command loop: reads one key at a time, runs the tree
// speed search over typed characters, and dispatches plain, Shift, Ctrl,
// Alt and internal keys to their commands; opens the file window on the
// current directory and takes back the key it ends with.
#pragma once

#include "platform/keyboard.h"
#include "windows.h"

// The tree position the loop works on: the first tree line shown, the
// cursor row (0 = the first tree row) and the cursor column (level times
// gTreeIndent).
struct TreePosition {
    DWORD top;
    WORD row;
    WORD column;
};

// Per pane, the lengths and the part switch of the last search that a
// command key ended; Shift+Backspace and the double quote take the text
// back from them (the characters stay in the pane's buffers).
struct TreeSearchKept {
    BYTE mainLen;
    BYTE secondLen;
    BYTE toSecond;
};
extern TreeSearchKept gTreeSearchKept[2];

// Longest texts of the two search parts.
inline constexpr int TREE_SEARCH_MAIN_MAX = 30;
inline constexpr int TREE_SEARCH_SECOND_MAX = 10;

// One search step on the tree list: code 4121 (after a typed character or
// Shift+Backspace) or 4122 (the next match); returns the key the loop
// handles next (4119 when the cursor moved, 0 for none). The loop's own
// step hands the code to the list movement; tests put a fake in its place.
typedef KeyCode (*TreeSearchStepFn)(KeyCode code, TreePosition* pos);
extern TreeSearchStepFn gTreeSearchStep;

// The speed search's part of a key, on the current pane's search state.
// Returns true when the key was a search key and is done with (*next is
// then the key to handle next, 0 for none); false when the key runs its
// command, after a search in progress was ended (its lengths kept aside)
// where the key asks for it. keyFlags is the key reader's information:
// 0x200 Shift held, 0x100 the keypad's *, + or -.
bool TreeSearchKey(KeyCode key, DWORD keyFlags, TreePosition* pos, KeyCode* next);

// A drag or click on the tree rows (the scroll track): where the window's
// top and the cursor row go for window row r (screen row less 2), with L
// the disk's tree rows below the root, R the window's last row index and F
// the root's list index. moved is false when neither changed; repaint when
// the top changed.
struct ScrollDragResult {
    DWORD top;
    WORD row;
    bool repaint;
    bool moved;
};
ScrollDragResult ScrollTrackDrag(int r, DWORD L, int R, DWORD F, DWORD top, WORD row);

// The alternative key assignment (/AK): "+" and "=" select the next disk,
// "-" and "_" the previous one, ",", ".", "<" and ">" do nothing (0), Del
// releases the directory's read files (the plain key 11). Other keys pass
// unchanged, and every key passes while the assignment is off.
KeyCode TreeAltKeyTranslate(KeyCode key);
// A key the file window ended with, as the tree takes it under the
// alternative assignment: "," and "." become "-" and "+".
KeyCode TreeAltReturnKey(KeyCode key);

// The file window the loop enters: FileWindowLoop; tests put a recorder in
// its place.
extern KeyCode (*gTreeFileWindow)(int first);

// Runs the loop from key (0: read one first) until a quit is confirmed;
// returns the quit key ('q', Ctrl-Q or Alt-Q) for the shut-down.
KeyCode TreeWindowLoop(KeyCode key);
