// The busy state that brackets long operations: the clock thread animates
// its marks in the corners of the window area and turns Esc into an
// interrupt request, and the key reader serves no macro keys while it is on.
#pragma once

#include "windows.h"

#include <atomic>

// Raised while the busy state is on; read by the clock thread and the key
// reader.
extern std::atomic<DWORD> gBusyFlag;
// Raised by the clock thread while it draws a busy mark.
extern std::atomic<DWORD> gBusyDrawing;
// Set by the clock thread when Esc is pressed during the busy state; cleared
// when the busy state starts and ends, and by the readers that act on it.
extern std::atomic<DWORD> gInterruptRequested;
// Raised by an operation that any key, not only Esc, should stop: while it
// is set the clock thread takes every key typed during the busy state as
// an interrupt request instead of keeping it typed ahead.
extern std::atomic<DWORD> gInterruptOnAnyKey;

// on non-zero enters the busy state, zero leaves it; calls nest by a count.
// The first entry saves the four corner cells of the window area (row 1 and
// the row above the command lines, first and last column), clears the
// interrupt request and raises gBusyFlag; the last exit lowers gBusyFlag and
// the request, waits (up to 50 ms) until the clock thread has finished a
// mark, and puts the corners back. An exit at depth 0 still does the
// latter.
void SetBusy(int on);

// Leaves the busy state for the life of a question that waits for a key
// (so that the clock thread neither polls the keyboard nor animates its
// marks meanwhile) and enters it again at the end, when it was on.
struct BusyPause {
    bool was = gBusyFlag != 0;
    BusyPause() {
        if (was) SetBusy(0);
    }
    ~BusyPause() {
        if (was) SetBusy(1);
    }
    BusyPause(const BusyPause&) = delete;
    BusyPause& operator=(const BusyPause&) = delete;
};

// ---- progress display ------------------------------------------------------------

// Progress of a running operation (n = 0 counts as 1): mode 0 starts a
// display expecting n bytes (and forgets the "All" answers of the
// encryption questions and the volume the encryption test remembers);
// mode 1 adds n bytes done (65535, 69999 and 70000 mark a finished file);
// mode 3 takes n bytes back (a file whose copy failed); mode 4 ends the
// display. The counters are kept; the bar is not drawn yet.
void ShowProgress(int mode, LONGLONG n);
// The bytes the running display counts as done.
LONGLONG ProgressBytesDone();
// Starts a new measuring interval of the copy rate (before each file).
void ThroughputMark();
