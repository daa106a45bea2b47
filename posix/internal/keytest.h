// The key-test mode's text: one line per console input record, and the
// names of modifier bits. Pure functions, so that every line can be checked
// without a terminal.
#pragma once

#include "wincon.h"

#include <cstddef>

// Longest line of the key tester, in bytes with the terminator.
inline constexpr size_t KEYTEST_LINE_BYTES = 256;

// The line the key tester shows for a record, as UTF-8 ending in "\r\n",
// cut to fit line (KEYTEST_LINE_BYTES bytes with the terminator). Returns
// its length.
size_t KeyTestLine(const INPUT_RECORD* record, char* line);

// The name of a virtual key as the key tester shows it: "Enter", "PgUp",
// "A", "Num5", "F13", ... or two hex digits; into name (16 bytes).
void KeyTestKeyName(WORD virtualKey, char* name);
