// The terminal input decoder as the console's input thread sees it: bytes
// read from the terminal go in, console input records come out through the
// console's record sink (internal/console_input.h). Called with the console
// state lock held, except during the start-up query, before the console's
// threads exist.
#pragma once

#include <cstddef>
#include <cstdint>

// Forgets every unfinished sequence and tracked state; linuxConsole is set
// when TERM is exactly "linux".
void TerminalInputReset(bool linuxConsole);
// Decodes the bytes after those still pending; nowMs is the monotonic clock
// in milliseconds.
void TerminalInputFeed(const unsigned char* bytes, size_t count, uint64_t nowMs);
// Called when TerminalInputTimeoutMs has passed without more input: the
// pending bytes count as complete.
void TerminalInputFlushPending(uint64_t nowMs);
// Milliseconds until pending bytes must be flushed; -1 when nothing is
// pending.
int TerminalInputTimeoutMs();
