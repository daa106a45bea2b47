// What the process, clipboard and share code needs of the console session:
// handing the terminal to a child program and taking it back, a key prompt
// while the terminal is handed over, and the terminal's clipboard sequence.
// Every use of the console by that code goes through these four functions.
#pragma once

#include "consoleapi.h"
#include "wintypes.h"

#include <cstddef>

// Hands the terminal to a child program: the terminal gets its own settings
// back and the console reads and draws nothing until ConsoleReacquire.
// Starts the console if needed; does nothing when it is unavailable.
void ConsoleRelease();
// Takes the terminal back after a child program: raw mode again and a full
// repaint. Does nothing when the console never started.
void ConsoleReacquire();
// ConsolePromptKey (consoleapi.h) shows text and waits for one key while
// the terminal is handed over.
// Sends bytes to the terminal's clipboard (the OSC 52 sequence). FALSE when
// the terminal cannot take it (no terminal, the Linux console, too long).
BOOL ConsoleSetTerminalClipboard(const void* bytes, size_t length);

// Calls of the four functions above, counted by the console session for
// tests and diagnostics, with the last prompt and clipboard bytes kept.
struct ConsoleChildCalls {
    int release;
    int reacquire;
    int promptKey;
    int terminalClipboard;
    char lastPrompt[128];
    char lastClipboard[256]; // the first bytes of the last clipboard text, terminated
    size_t lastClipboardLength;
};
// A copy of the calls counted so far.
ConsoleChildCalls ConsoleChildCallsForTest();
// Starts counting afresh.
void ConsoleChildCallsResetForTest();
