// The console input queue: the ring of input records that the decoder's
// record sink, the resize step and WriteConsoleInputW fill, the object behind
// the console input handle, and the reading core of the console input
// functions.
#pragma once

#include "wincon.h"

#include <cstddef>

// Records the queue holds at most. Beyond it new records are dropped: a
// program that stops reading while the terminal keeps sending (a mouse held
// down and moved, a paste of a large text) must not grow without limit.
inline constexpr size_t CONSOLE_INPUT_QUEUE_MAX = 65536;

// A ring of records: capacity 0 until the first record, then 256, doubled
// whenever a record arrives at a full ring, up to CONSOLE_INPUT_QUEUE_MAX.
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

// Appends one record and wakes every reader waiting for input. A mouse move
// that arrives while the record at the tail is also a move replaces it (the
// reader wants where the mouse is, not every cell it crossed). Returns false
// when the record was dropped: the queue holds CONSOLE_INPUT_QUEUE_MAX
// records, or the ring cannot grow. Console state lock held.
bool ConsoleQueueInput(const INPUT_RECORD* record);

// The record sink of the terminal input decoder (context is unused). Mouse
// events are dropped while the terminal does not report the mouse (their
// positions already are buffer coordinates: the decoder adds the window's
// origin); Ctrl+C with processed input is not queued but marks a Ctrl+C
// event for the input thread (unless Ctrl+C is ignored); everything else is
// queued. Console state lock held.
void ConsoleInputSink(void* context, const INPUT_RECORD* record);

// Copies up to count records from the head of the queue, removing them when
// remove is set; returns the number copied. Console state lock held.
size_t ConsoleQueueRead(INPUT_RECORD* records, size_t count, bool remove);

// Empties the queue. Console state lock held.
void ConsoleQueueFlush();

// Whether some queued record satisfies match. Takes the console state lock
// (match runs under it and must not take it); removes nothing.
bool ConsoleQueueHas(bool (*match)(const INPUT_RECORD& record));

// The core of the console input functions. Sets *read (may be null) to 0,
// starts the console and checks that handle is the console input (else
// error 6, FALSE). With wait, blocks until the queue holds a record (also
// for count 0). Copies up to count records in order; with remove they leave
// the queue and the key records among them update the last-key tracking of
// the keyboard-state functions (key held down, control-key state of the
// last key record, last VK_PACKET character). records may be null only for
// count 0 (else error 87). Takes the console state lock.
BOOL ConsoleReadInput(HANDLE handle, INPUT_RECORD* records, DWORD count, DWORD* read, bool remove,
                      bool wait);

// Turns the characters of key records into code page 437 in place, as the
// A functions deliver them: a character above 127 becomes its byte (0x80 to
// 0xFF, in the low byte of the unit), or 0 when code page 437 has none.
void ConsoleRecordsToAnsi(INPUT_RECORD* records, DWORD count);

// Sets the console input mode (the quick-edit rule of SetConsoleMode) and
// switches mouse reporting on the terminal to match. Console state lock held.
void ConsoleSetInputMode(DWORD mode);
