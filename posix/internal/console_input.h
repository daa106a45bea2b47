// The console input queue as far as the console session needs it: the ring
// of input records that the decoder's record sink and the resize step fill,
// and the object behind the console input handle.
#pragma once

#include "wincon.h"

#include <cstddef>

// A ring of records: capacity 0 until the first record, then 256, doubled
// whenever a record arrives at a full ring.
struct INPUT_QUEUE {
    INPUT_RECORD* records = nullptr;
    size_t capacity = 0;
    size_t head = 0;
    size_t count = 0;
};

// The object of every console input handle (one per process).
struct CONSOLE_INPUT {
    INPUT_QUEUE queue;
};

extern CONSOLE_INPUT gConsoleInput;

// Appends one record and wakes every reader waiting for input; the record is
// dropped when the ring cannot grow. Console state lock held.
void ConsoleQueueInput(const INPUT_RECORD* record);

// The record sink of the terminal input decoder (context is unused). Mouse
// events are dropped while the terminal does not report the mouse, else
// moved into buffer coordinates; Ctrl+C with processed input is not queued
// but marks a Ctrl+C event for the input thread (unless Ctrl+C is ignored);
// everything else is queued. Console state lock held.
void ConsoleInputSink(void* context, const INPUT_RECORD* record);

// Copies up to count records from the head of the queue, removing them when
// remove is set; returns the number copied. Console state lock held.
size_t ConsoleQueueRead(INPUT_RECORD* records, size_t count, bool remove);

// Sets the console input mode (the quick-edit rule of SetConsoleMode) and
// switches mouse reporting on the terminal to match. Console state lock held.
void ConsoleSetInputMode(DWORD mode);
