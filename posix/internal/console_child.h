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

// What a test sees of the four functions above: each call as it is made,
// with the prompt's text or the clipboard's bytes (null and 0 otherwise).
// The console keeps none of it; without an observer (the default) nothing
// is passed on.
enum class ConsoleChildCall { Release, Reacquire, PromptKey, TerminalClipboard };
typedef void (*ConsoleChildCallObserver)(ConsoleChildCall call, const void* bytes, size_t length);
void ConsoleTestSetChildCallObserver(ConsoleChildCallObserver observer);
