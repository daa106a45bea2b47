// The progress line of long operations (bar, percent, elapsed time, time
// left and rate on the bottom row, with the copy command's throughput
// model) and the busy state that brackets short ones: the clock thread
// animates its marks in the corners of the window area and turns Esc into an
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
// interrupt request and redraws a running timed progress line (else the
// taskbar turns indeterminate); every entry raises gBusyFlag. The last exit
// lowers gBusyFlag and
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

// What the progress line keeps between two calls (one per process).
struct ProgressState {
    LONGLONG percentTotal;  // what 100 % stands for
    LONGLONG percentDone;   // progress towards it
    LONGLONG bytesExpected; // what the time-left estimate works towards
    LONGLONG bytesDone;     // done for that estimate
    // Moved since the last time text; 64 bits, as one step may carry a
    // whole file of several gigabytes.
    ULONGLONG bytesSinceShown;
    DWORD lastPercent;         // the percent shown; 200 when none is
    DWORD timingShown;         // time, estimate and rate are shown
    DWORD timedActive;         // a display with timing runs (SetBusy redraws it)
    DWORD elapsed;             // whole seconds since the display started
    DWORD lastShownSeconds;    // elapsed value of the last time text
    DWORD lastTickSecond;      // (ticks + 500) / 1000 at the last clock update
    ULONGLONG byteSamples[60]; // bytes between two time texts, newest first
    DWORD secondStamps[60];    // elapsed at each sample, newest first; 0 empty
    DWORD kiloUnit;            // 1000 or 1024
};

// The copy command's model of the time left: a weighted least-squares fit
// of t = a + b * n over the finished files (a seconds per file, b seconds
// per byte), each file weighted 1 / (1048576 + n).
struct ThroughputState {
    DWORD active;
    DWORD intervalUnmeasured; // the running interval holds a skip
    double filesLeft;         // not below 0
    double bytesLeft;         // not below 0
    double intervalBytes;     // moved in the running interval
    double Swnn, Swn, Sw, Swnt, Swt;
    LONGLONG frequency;     // counter ticks per second
    LONGLONG intervalStart; // counter at the start of the interval
};
static_assert(sizeof(ThroughputState) == 88);

// The clock the progress line and the model read; tests put in their own.
struct ProgressClock {
    DWORD (*ticks)();               // milliseconds, as GetTickCount
    BOOL (*counter)(LONGLONG* now); // as QueryPerformanceCounter
    BOOL (*frequency)(LONGLONG* f); // as QueryPerformanceFrequency
};
// Replaces the clock; null puts the system's back.
void ProgressSetClock(const ProgressClock* clock);

// ---- the texts, pure ----

// The 38-byte bar (plus terminator): 33 small squares (code page 437 0xFE)
// and 5 blanks, the first percent / 3 squares (at most 33) made horizontal
// lines (0xC4).
void ProgressBarText(int percent, char out[39]);
// "Time: mm:ss" under one hour, else "Time: h:mm:ss".
void ProgressTimeText(DWORD seconds, char* out, size_t size);
// "Left: mm:ss " under one hour, else "Left: h:mm:ss ".
void ProgressLeftText(DWORD seconds, char* out, size_t size);
// The rate as "(q.d KB/s)" or "(q.d MB/s)" with one decimal, truncated,
// followed by six blanks; kilobytes are kiloUnit bytes (0 reads as 1024),
// megabytes 1000 kilobytes.
void ProgressRateText(ULONGLONG bytesPerSecond, DWORD kiloUnit, char* out, size_t size);

// The time display written at column 40 of the bottom row, computed from
// the state as of its elapsed seconds: the samples move on, the rate and
// the time left are worked out (the model's estimate when it runs, given
// the counter now), and bytesSinceShown is reset. Only the time text when
// elapsed is 0; the left text shows 00:00 when ending; the rate follows
// when stepBytes > 1 and the screen is at least 96 columns wide, cut so
// that the whole holds 45 characters.
void ProgressTimeDisplay(ProgressState* state, const ThroughputState* model, LONGLONG counterNow,
                         bool ending, LONGLONG stepBytes, int screenCols, char* out, size_t size);

// ---- the model, pure over counter values ----

// Clears the state; with a frequency above 0 seeds the sums with two
// samples (0 bytes in 5 ms, and 256 MiB in 2.565 s at a hundredth of its
// weight) and starts the model at counterNow.
void ThroughputModelStart(ThroughputState* m, LONGLONG files, LONGLONG bytes, LONGLONG frequency,
                          LONGLONG counterNow);
// A new interval starts at counterNow (while active).
void ThroughputModelMark(ThroughputState* m, LONGLONG counterNow);
// A file of bytes finished: a sample of the interval's duration (its size
// counted only when counted is nonzero) when the interval was measured;
// fewer files and bytes left; a new interval starts.
void ThroughputModelFileDone(ThroughputState* m, LONGLONG bytes, int counted, LONGLONG counterNow);
// A file of bytes skipped: its interval is no sample; fewer files and bytes
// left.
void ThroughputModelSkip(ThroughputState* m, LONGLONG bytes);
// Seconds left by the fit (the running interval counted as a sample once
// it has lasted more than half a second), at most 359999 (99:59:59); 0
// when the fit has no answer or a negative one.
DWORD ThroughputModelEstimate(const ThroughputState* m, LONGLONG counterNow);

// ---- the program's display ----

// Progress of a running operation on the bottom row (n = 0 counts as 1):
// 0 starts a display for n bytes (forgetting the "All" answers of the
// encryption questions and the volume the encryption test remembers);
// 1 adds n done (65535, 69999 and 70000 mark a finished file; never shows
// more than 99 %); 2 redraws; 3 takes n back; 4 ends it (n = 4 waits for a
// key first when the settings ask for one after an operation); 5 shows 0 %;
// 6 skips a file of n bytes; 7 skips one item. Time, estimate and rate are
// left out with /QP.
void ShowProgress(int mode, LONGLONG n);
// The bytes the running display counts as done.
LONGLONG ProgressBytesDone();
// The state of the display (for tests and the busy state).
const ProgressState& ProgressStateNow();
const ThroughputState& ThroughputStateNow();

// The model on the program's clock: started for a copy of files and
// bytes, a new interval before each file, a finished file (counted: its
// size is part of the sample) and a skipped one. The model stops at the
// next ShowProgress mode 0 or 4.
void ThroughputStart(LONGLONG files, LONGLONG bytes);
void ThroughputMark();
void ThroughputFileDone(LONGLONG bytes, int counted);
void ThroughputSkipFile(LONGLONG bytes);

// The platform's taskbar progress (0 none, 1 indeterminate, 2 normal,
// 4 error, 8 paused; a value of done out of total). No desktop here offers
// one, so both do nothing.
void TaskbarProgressState(DWORD state);
void TaskbarProgressValue(ULONGLONG done, ULONGLONG total);

// Before each key read of the window loops: a busy state left on (at any
// depth) ends and the command menu is drawn again, except while the
// information screen refreshes itself.
void EndBusyRedraw();
// How many times the end of a busy state stopped waiting for the clock
// thread's mark after 50 ms (that mark may then land on a corner already
// put back).
DWORD BusyWaitsExpired();
