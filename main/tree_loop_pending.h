// The tree window's command loop, in the least form that lets the program
// run and end: until the tree commands are built, it redraws, quits, and
// beeps for every other key.
#pragma once

#include "platform/keyboard.h"

// Runs the loop from key (0: read one first) until a quit key is confirmed:
// 'q' (after the quit question when the settings ask for it), Ctrl-Q or
// Alt-Q, which it returns. The redraw requests 4119 and 4137 and a size
// change draw the tree window again; every other key sounds one beep and
// changes nothing.
KeyCode TreeWindowLoop(KeyCode key);
